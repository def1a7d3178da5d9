// What the editor reads and writes: the hole's description, its name relative to the saves folder,
// the save of the hole and the lit copies the save makes stale.
#include "course/editor.h"

#include "course/course_local.h"
#include "game/files.h"
#include "geometry/vecmath.h"
#include "platform/system.h"
#include "script/config_main.h"
#include "shader/shader_text.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

constexpr uint32_t kEditorSaveFlags = 2;      // no void maps
constexpr uint32_t kEditorSaveLitFlags = 0x70E;  // the lighting written too

bool is_separator(char c) { return c == '/' || c == '\\'; }

// The position after the last separator of path (0 without one).
size_t last_part(const char *path)
{
    size_t start = 0;
    for (size_t k = 0; path[k]; k++)
        if (is_separator(path[k])) start = k + 1;
    return start;
}

void description_path(char *out, size_t size)
{
    snprintf(out, size, "%s%s.txt", g_saves_folder, g_editor.hole_name);
}

// Deletes the lit copy of every theme of the hole saved at path (under the saves folder).
void delete_lit_copies(const char *path)
{
    char base[kEditorHoleNameMax];
    const size_t folder = strlen(g_saves_folder);
    snprintf(base, sizeof base, "%s", strlen(path) > folder ? path + folder : path);
    editor_strip_extension(base);
    // The course folder and the hole's file name.
    const size_t split = last_part(base);
    char course[kEditorHoleNameMax] = "";
    if (split > 0) snprintf(course, sizeof course, "%.*s", int(split - 1), base);
    const int32_t themes = config_theme_count();
    for (int32_t i = 0; i < themes; i++) {
        char lit[FOLDER_PATH_MAX + 2 * kEditorHoleNameMax];
        if (!hole_lit_copy_path(g_lit_cache_folder_personal, course, base + split, i, lit, sizeof lit)) continue;
        FILE *file = sys_fopen(lit, "rb");
        if (!file) continue;
        fclose(file);
        sys_remove(lit);
    }
}

}  // namespace

int hole_lit_copy_path(const char *folder, const char *course, const char *hole, int32_t theme_index, char *out,
                       size_t out_size)
{
    if (out_size > 0) out[0] = '\0';
    if (theme_index < 0 || theme_index > 15 || out_size == 0) return 0;
    const char letter = "ABCDEFGHIJKLMNOP"[theme_index];
    const int n = course && course[0] ? snprintf(out, out_size, "%s/%s/%s%c.qel", folder, course, hole, letter)
                                      : snprintf(out, out_size, "%s/%s%c.qel", folder, hole, letter);
    if (n < 0 || size_t(n) >= out_size) {
        out[0] = '\0';
        return 0;
    }
    return 1;
}

int hole_plain_path(uint8_t personal, const char *course, const char *hole, char *out, size_t out_size)
{
    if (out_size == 0) return 0;
    // The saves folder ends with its separator: the editor's plain names hold "//", which is accepted.
    const int n = personal ? snprintf(out, out_size, "%s/%s/%s.qel", g_saves_folder, course, hole)
                           : snprintf(out, out_size, "data/parcours/%s/%s.qel", course, hole);
    if (n < 0 || size_t(n) >= out_size) {
        out[0] = '\0';
        return 0;
    }
    return 1;
}

void editor_strip_extension(char *path)
{
    char *dot = strrchr(path + last_part(path), '.');
    if (dot) *dot = '\0';
}

void editor_relative_hole_name(void)
{
    char name[kEditorHoleNameMax], folder[kEditorHoleNameMax];
    snprintf(name, sizeof name, "%s", g_editor.hole_name);
    snprintf(folder, sizeof folder, "%s", g_saves_folder);
    for (char *text : {name, folder}) {
        for (char *c = text; *c; c++)
            if (*c == '/') *c = '\\';
        str_to_upper(text);
    }
    const size_t folder_length = strlen(folder);
    for (size_t k = strlen(name); k-- > 1;) {
        if (name[k] != '\\' || k + 1 != folder_length) continue;
        if (memcmp(name, folder, folder_length) != 0) continue;
        memmove(g_editor.hole_name, g_editor.hole_name + k + 1, strlen(g_editor.hole_name + k + 1) + 1);
        return;
    }
}

void editor_read_hole_description(void)
{
    char path[FOLDER_PATH_MAX + kEditorHoleNameMax + 8];
    description_path(path, sizeof path);
    FILE *file = sys_fopen(path, "rb");
    if (!file) return;
    fclose(file);
    // The play screen's reader fills its own two values: keep them as they were.
    char play_name[sizeof g_hole_name];
    memcpy(play_name, g_hole_name, sizeof play_name);
    const int32_t play_par = g_hole_par;
    g_hole_par = g_edit_par;
    app_read_hole_description(path);
    snprintf(g_edit_text, sizeof g_edit_text, "%s", g_hole_name);
    g_edit_par = g_hole_par;
    g_edit_length = int32_t(strlen(g_edit_text));
    memcpy(g_hole_name, play_name, sizeof play_name);
    g_hole_par = play_par;
}

void editor_name_new_hole(void)
{
    snprintf(g_editor.hole_name, sizeof g_editor.hole_name, "%s", menu_text(MENU_NIVONULL));
    snprintf(g_edit_text, sizeof g_edit_text, "%s", menu_text(MENU_NIVONAMEDEFAULT));
    g_edit_length = int32_t(strlen(g_edit_text));
    g_edit_par = 4;
    editor_keep_description();
}

void editor_keep_description(void)
{
    snprintf(g_editor.kept_title, sizeof g_editor.kept_title, "%s", g_edit_text);
    g_editor.kept_par = g_edit_par;
}

int editor_has_changes(void)
{
    const bool described = strcmp(g_editor.kept_title, g_edit_text) == 0 && g_editor.kept_par == g_edit_par;
    return g_editor.changed || !described ? 1 : 0;
}

int editor_write_description(void)
{
    char path[FOLDER_PATH_MAX + kEditorHoleNameMax + 8];
    description_path(path, sizeof path);
    // The reader takes the title up to its second quote: a quote in it would cut it short.
    char title[sizeof g_edit_text];
    snprintf(title, sizeof title, "%s", g_edit_text);
    for (char *c = title; *c; c++)
        if (*c == '"') *c = '\'';
    g_editor.thumbnail_requested = 1;
    if (!app_write_hole_description(path, title, g_edit_par)) return 0;
    editor_keep_description();
    return 1;
}

int editor_save_hole_to(const char *path)
{
    SceneWorld *world = &g_hole_world;
    vec3_set(world->view, 0.0f, 0.0f, 10.0f);
    world->first_block_index = g_first_block_index;
    for (int32_t i = 0; i < world->object_count; i++) {
        MeshObject *o = world->objects[i];
        world->object_marks[i] = 0;
        if (!o) continue;
        o->object_type = 2;
        o->frame_word = 0;
        for (MeshObject *m : {o, world->companions[i]}) {
            if (!m) continue;
            for (int32_t f = 0; f < m->face_count; f++) m->faces[f].build_flag = 0;
        }
    }
    uint32_t flags = kEditorSaveFlags;
    if (g_editor.lit_view) {
        flags = kEditorSaveLitFlags;
        world->lit = 1;
    }
    // A failed write keeps the old name and the lit copies, which still match the file on disk.
    if (!scene_save(world, path, g_editor.lit_view != 0, 0, 0, flags)) return 0;
    delete_lit_copies(path);
    g_save_dialog_mode = 0;
    g_editor.held_palette_index = g_editor.selected_object = g_editor.selected_plant = -1;
    g_editor.changed = 0;
    snprintf(g_editor.hole_name, sizeof g_editor.hole_name, "%s", path);
    editor_strip_extension(g_editor.hole_name);
    editor_relative_hole_name();
    return 1;
}
