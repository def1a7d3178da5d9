// What the editor opens and how it steps through a course's holes, and its lit view: the hole lit
// as play lights it, with progress frames, and back to the flat view.
#include "course/editor_frame.h"

#include "course/course_local.h"
#include "course/hole.h"
#include "course/hole_view.h"
#include "game/app.h"
#include "game/files.h"
#include "game/screen.h"
#include "game/widgets.h"
#include "geometry/bsp.h"
#include "platform/system.h"
#include "render/render_draw.h"
#include "script/config_main.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kEditorLoadFlags = 0x4C;  // lightmap buffers kept (a lit save writes them), the theme's light
constexpr int32_t kHolesPerCourse = 18;      // numbered 00 .. 17

bool is_pales(const MeshObject *o) { return o && hole_name_is(o->name, "PALES"); }

void set_pales_type(SceneWorld *world, int32_t type)
{
    for (int32_t i = 0; i < world->object_count; i++)
        if (is_pales(world->objects[i])) world->objects[i]->object_type = type;
}

// The first block after load: the file's own when it lies within the objects.
void take_first_block(const SceneWorld *world)
{
    const int32_t first = world->first_block_index;
    g_first_block_index = first >= 0 && first <= world->object_count   ? first
                          : world->object_count < kPlayFirstHoleObject ? world->object_count
                                                                       : kPlayFirstHoleObject;
}

// The look point over the mean of the blocks' centres (DECOR objects aside); kept without any.
void look_at_blocks(const SceneWorld *world)
{
    float x = 0.0f, z = 0.0f;
    int32_t n = 0;
    for (int32_t i = g_first_block_index; i < world->object_count; i++) {
        const MeshObject *o = world->objects[i];
        if (!o || hole_name_has(o->name, "DECOR")) continue;
        x += 0.5f * (o->bounds[0] + o->bounds[1]);
        z += 0.5f * (o->bounds[4] + o->bounds[5]);
        n++;
    }
    if (n == 0) return;
    g_camera_target[0] = x / float(n);
    g_camera_target[2] = z / float(n);
}

// One frame of the lighting's progress: the hole, PATIENCE and its bar. The frame clock starts
// again after it, so that the next frame's factor does not count the lighting.
void progress_frame(float fraction, bool draw_plants)
{
    RenderContext *c = &g_render_context;
    if (!render_begin_frame(c)) return;
    render_clear_frame(c);
    render_set_mode(1, c, 1);
    hole_view_draw_from_orbit(draw_plants);
    render_set_mode(1, c, 0);
    ui_popup_message_box(menu_text(MENU_PATIENCE), nullptr, fraction);
    render_end_frame(c);
    render_present_frame(c);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    g_frame_last_count = now.QuadPart;
}

}  // namespace

int editor_open_hole(const char *path, int from_dialog)
{
    SceneWorld *world = &g_hole_world;
    char chosen[kEditorHoleNameMax];
    snprintf(chosen, sizeof chosen, "%s", path);  // the path may be the dialog's buffer
    g_editor.held_palette_index = g_editor.selected_object = g_editor.selected_plant = -1;
    g_load_dialog_open = 0;
    if (g_editor.lit_view) hole_free_shadows();
    g_editor.lit_view = 0;
    world_release_and_reset(world);
    world_release_effects(world);
    editor_copy_theme_lights(world);
    world->first_block_index = world->scene_word_1 = -1;
    world->load_progress = nullptr;
    world_setup_lighting_textures(world);

    const uint8_t lit = scene_load(world, chosen, kEditorLoadFlags);
    if ((!lit && scene_last_error()[0]) || hole_upgrade_old_materials(world) < 0) {
        // Nothing of the file is shown: an empty grid under no name, which a save cannot mistake
        // for the file that failed.
        editor_build_ground_grid();
        editor_name_new_hole();
        g_editor.changed = 0;
        g_editor_frame.message = MENU_ERR2;
        return 0;
    }
    take_first_block(world);
    if (lit) {
        editor_copy_theme_lights(world);
        g_editor.lit_view = 1;
        hole_build_shadows();
    } else {
        editor_rebuild_render_objects();
    }
    snprintf(g_editor.hole_name, sizeof g_editor.hole_name, "%s", chosen);
    editor_strip_extension(g_editor.hole_name);
    editor_relative_hole_name();
    editor_read_hole_description();
    editor_keep_description();
    if (from_dialog) look_at_blocks(world);
    g_editor.changed = 0;
    app_trace("editor open %s objects %d%s", g_editor.hole_name, int(world->object_count), lit ? " lit" : "");
    return 1;
}

int editor_step_hole_path(int32_t delta, char *out, size_t out_size)
{
    if (out_size == 0) return 0;
    out[0] = '\0';
    if (!editor_hole_has_file()) return 0;  // a new hole belongs to no course yet
    const char *name = g_editor.hole_name;
    const size_t n = strlen(name);
    if (n < 2 || !isdigit((unsigned char)name[n - 2]) || !isdigit((unsigned char)name[n - 1])) return 0;
    int32_t number = (name[n - 2] - '0') * 10 + (name[n - 1] - '0') + delta;
    if (number < 0) number = kHolesPerCourse - 1;
    if (number >= kHolesPerCourse) number = 0;
    const int length = snprintf(out, out_size, "%s%.*s%02d.qel", g_saves_folder, int(n - 2), name, int(number));
    FILE *file = length > 0 && size_t(length) < out_size ? sys_fopen(out, "rb") : nullptr;
    if (!file) {
        out[0] = '\0';
        return 0;
    }
    fclose(file);
    return 1;
}

void editor_lighting_run(void)
{
    RenderContext *c = &g_render_context;
    SceneWorld *world = &g_hole_world;
    g_editor.lighting_requested = 0;
    g_editor.held_palette_index = g_editor.selected_object = g_editor.selected_plant = -1;
    render_end_frame(c);  // the main loop's frame: the progress frames come between
    world_clear_for_editor(world);
    g_editor.thumbnail_requested = 1;
    for (int32_t i = 0; i < world->object_count; i++)
        if (world->objects[i]) world->objects[i]->object_type = 2;
    world_compute_object_bounds(world);
    world_compute_bounds_and_links(world);

    editor_copy_theme_lights(world);
    world->lighting_flag = 0;
    lightmap_atlas_free(c);
    world_setup_lighting_textures(world);
    world_clear_keep_default(world);
    world_setup_lighting_textures(world);
    world->map_slot_marker = 0;
    world_alloc_all_map_slots(world);
    // Type 3 keeps the turning blades out of the shadow rays' faces.
    set_pales_type(world, 3);
    world->light_factor = 1.0f;
    world_build_object_face_lists(world, -2);
    set_pales_type(world, 2);
    memset(world->object_marks, 0, sizeof world->object_marks);

    const int32_t count = world->object_count;
    for (int32_t i = 0; i < count; i++) {
        progress_frame(float(i) / float(count) * 0.5f, false);
        lightmap_compute_all(world, i);
    }
    for (int32_t i = 0; i < count; i++) {
        g_carve_flag = 0;
        mesh_prepare_world_object(world, i, is_pales(world->objects[i]) ? 0 : 1);
        if (i % 4 == 0) progress_frame((float(i) / float(count) + 1.0f) * 0.5f, i >= g_first_block_index);
    }
    world->lit = 1;
    hole_build_shadows();
    editor_show_hint(MENU_TOOLTIP4);
    g_editor.lit_view = 1;
    app_trace("editor lit on");
    render_begin_frame(c);  // the rest of the main loop's frame
}

void editor_lit_view_off(void)
{
    SceneWorld *world = &g_hole_world;
    g_editor.lit_view = 0;
    hole_free_shadows();
    world_clear_for_editor(world);
    lightmap_atlas_free(&g_render_context);
    editor_rebuild_render_objects();
    app_trace("editor lit off");
}
