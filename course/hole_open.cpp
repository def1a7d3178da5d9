// Opening a hole of a course set: the current theme's lit copy when it loads with its lightmaps,
// else the plain file lit with the theme's light and written as that copy; then the plants' shadows.
#include "course/hole.h"

#include "course/course.h"
#include "course/editor.h"
#include "game/files.h"
#include "geometry/mesh.h"
#include "geometry/vecmath.h"
#include "platform/system.h"
#include "render/render_draw.h"
#include "scene/scene.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kHoleLoadFlags = 0x5C;   // keep buffers, the theme's colours and light vector, tile 16
constexpr uint32_t kLitCopySaveFlags = 10;  // the lightmaps, no void maps
constexpr size_t kHolePathMax = FOLDER_PATH_MAX + 1024;

void hole_log(const char *format, const char *a, const char *b)
{
    char line[kHolePathMax + 256];
    snprintf(line, sizeof line, format, a, b);
    render_log_line(line);
}

// The lighting's progress; the play screen draws its score card from it.
void report(const SceneWorld *world, float fraction)
{
    if (world->load_progress) world->load_progress(nullptr, fraction);
}

void copy_theme_light(SceneWorld *hole)
{
    memcpy(hole->ambient_colour, g_menu_world.ambient_colour, sizeof hole->ambient_colour);
    memcpy(hole->light_vector, g_menu_world.light_vector, sizeof hole->light_vector);
    memcpy(hole->light_colour, g_menu_world.light_colour, sizeof hole->light_colour);
}

// An empty world under the theme's light, ready for a load.
void reset_for_load(SceneWorld *world)
{
    world_release_and_reset(world);
    world->first_block_index = world->scene_word_1 = -1;
    copy_theme_light(world);
    world_setup_lighting_textures(world);
}

// Only the whole name "PALES" (case-sensitive) marks turning blades here.
bool is_pales(const SceneWorld *world, int32_t i)
{
    return world->objects[i] && hole_name_is(world->objects[i]->name, "PALES");
}

void set_pales_type(SceneWorld *world, int32_t type)
{
    for (int32_t i = 0; i < world->object_count; i++)
        if (is_pales(world, i)) world->objects[i]->object_type = type;
}

// Lightmaps and preparation of every object of a plain hole, with the progress fractions.
void light_hole(SceneWorld *world, RenderContext *context)
{
    world_clear_keep_default(world);
    world_setup_lighting_textures(world);
    world_compute_object_bounds(world);
    world_compute_bounds_and_links(world);
    lightmap_atlas_free(context);
    copy_theme_light(world);
    world->face_list_byte = 0;
    world_setup_lighting_textures(world);
    world_alloc_all_map_slots(world);
    // Type 3 keeps the turning blades out of the shadow rays' faces.
    set_pales_type(world, 3);
    world_build_object_face_lists(world, -2);
    set_pales_type(world, 2);

    const int32_t count = world->object_count;
    report(world, 0.1f);
    for (int32_t i = 0; i < count; i++) {
        lightmap_compute_all(world, i);
        report(world, 0.1f + 0.45f * float(i) / float(count));
    }
    for (int32_t i = 0; i < count; i++) {
        if (is_pales(world, i)) {
            mesh_prepare_world_object(world, i, 0);
            continue;
        }
        mesh_prepare_world_object(world, i, 1);
        report(world, 0.55f + 0.45f * float(i) / float(count));
    }
    world->lit = 1;
}

// The file's last write in seconds, or -1 when it does not exist.
int64_t written_at(const char *path)
{
    _finddata_t found;
    const intptr_t handle = _findfirst(path, &found);
    if (handle == -1) return -1;
    _findclose(handle);
    return found.time_write;
}

// Loads the lit copy when it exists. A copy older than its plain file is of a hole since rewritten
// (a renewed course, a hole saved again), and one that fails to load or loads without lightmaps is
// of no use: either is deleted and the world emptied again, so the hole is lit afresh and the copy
// rewritten.
bool load_lit_copy(SceneWorld *world, RenderContext *context, const char *path, const char *plain)
{
    const int64_t copy_time = written_at(path);
    if (copy_time < 0) return false;
    if (copy_time < written_at(plain)) {
        hole_log("hole: lit copy %s older than its hole%s: lit again", path, "");
        sys_remove(path);
        return false;
    }
    render_set_mode(29, context, 72);
    world->face_list_byte = 0;  // the opener builds the face lists itself once the shadows are made
    const uint8_t result = scene_load(world, path, kHoleLoadFlags);
    if (result == 1 && hole_upgrade_old_materials(world) >= 0) return true;
    hole_log("hole: lit copy %s unusable (%s): lit again", path,
             result == 1             ? "a material out of range"
             : scene_last_error()[0] ? scene_last_error()
                                     : "no lightmaps");
    sys_remove(path);
    reset_for_load(world);
    return false;
}

// Texture ids an old material byte may carry: the id above the two blending bits of 16.
constexpr uint32_t kOldMaterialIdLimit = 1u << 14;

// A face of an older save: its material is its texture id (as 16 bits), not 0.
bool old_face(const MeshFace &face) { return face.texture_id != 0 && face.material == uint16_t(face.texture_id); }

// The first texture id of an older save's face in `mesh` that no material can hold, or 0.
uint32_t id_too_large(const MeshObject *mesh)
{
    if (!mesh || !mesh->faces) return 0;
    for (int32_t f = 0; f < mesh->face_count; f++)
        if (old_face(mesh->faces[f]) && mesh->faces[f].material >= kOldMaterialIdLimit) return mesh->faces[f].material;
    return 0;
}

int32_t upgrade_faces(MeshObject *mesh)
{
    int32_t changed = 0;
    if (!mesh || !mesh->faces) return 0;
    for (int32_t f = 0; f < mesh->face_count; f++) {
        MeshFace &face = mesh->faces[f];
        if (!old_face(face)) continue;
        face.material = uint16_t(face.material << 2);  // below the limit: nothing shifts out
        changed++;
    }
    return changed;
}

}  // namespace

int32_t hole_upgrade_old_materials(SceneWorld *world)
{
    // Checked whole before anything changes: a refused hole is not half converted.
    for (int32_t i = 0; i < world->object_count; i++) {
        uint32_t id = id_too_large(world->objects[i]);
        if (!id) id = id_too_large(world->companions[i]);
        if (!id) continue;
        char text[16];
        snprintf(text, sizeof text, "%u", unsigned(id));
        hole_log("hole: a face's old material %s is a texture id above %s, which no material holds: refused", text,
                 "16383");
        return -1;
    }
    int32_t changed = 0;
    for (int32_t i = 0; i < world->object_count; i++) {
        const int32_t faces = upgrade_faces(world->objects[i]);
        if (faces == 0) continue;
        changed += faces;
        upgrade_faces(world->companions[i]);
        if (world->render_objects[i]) mesh_prepare_world_object(world, i, world->prepare_modes[i] == 1);
    }
    if (changed) {
        char count[16];
        snprintf(count, sizeof count, "%d", int(changed));
        hole_log("hole: %s faces of an older save given their material%s", count, "");
    }
    return changed;
}

int hole_open(const char *hole, const char *course, uint8_t personal)
{
    SceneWorld *world = &g_hole_world;
    RenderContext *context = &g_render_context;
    char plain[kHolePathMax], copy[kHolePathMax];
    hole_plain_path(personal, course, hole, plain, sizeof plain);  // "" when too long: the load fails
    const char *root = personal ? g_lit_cache_folder_personal : g_lit_cache_folder;
    // A theme index outside the sixteen letters names no copy: the hole is lit in memory only.
    const bool has_copy = hole_lit_copy_path(root, course, hole, g_theme_index, copy, sizeof copy) != 0;
    if (has_copy) {
        char folder[kHolePathMax];
        snprintf(folder, sizeof folder, "%s/%s", root, course);
        _mkdir(folder);  // an existing folder is the usual case
    } else {
        char theme[16];
        snprintf(theme, sizeof theme, "%d", int(g_theme_index));
        hole_log("hole: %s: theme %s has no lit copy, lit in memory", plain, theme);
    }

    render_set_mode(7, context, 15);
    vec3_set(g_camera_target, 0.0f, 0.0f, 0.0f);
    g_load_dialog_open = 0;
    g_save_dialog_mode = 0;
    world->play_mode = 1;
    world->renderer = context;
    reset_for_load(world);

    if (!has_copy || !load_lit_copy(world, context, copy, plain)) {
        render_set_mode(29, context, 71);
        world->face_list_byte = 0;
        const uint8_t result = scene_load(world, plain, kHoleLoadFlags);
        // A plain file that cannot be read leaves the world empty and makes no copy.
        if (result == 0 && scene_last_error()[0]) return 0;
        if (hole_upgrade_old_materials(world) < 0) {
            hole_log("hole: %s not opened%s", plain, "");
            reset_for_load(world);
            return 0;
        }
        // A file that held lightmaps was lit from them by the reader: it is saved as it is.
        if (result == 0) light_hole(world, context);
        if (has_copy) scene_save(world, copy, 1, 1, 0, kLitCopySaveFlags);  // whole or not at all; logged
        lightmap_atlas_free_page_pixels(context);
    }

    copy_theme_light(world);
    hole_build_shadows();
    world_free_maps_and_objects(world);
    world_build_object_face_lists(world, -2);
    return 1;
}
