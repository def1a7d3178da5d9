// The editor's model of a hole: its state, the GROUND grid, a new course, the cursor's grid point,
// and the per-frame transforms and render objects of the hole objects.
#include "course/editor.h"

#include "course/course_local.h"
#include "game/menu_theme.h"
#include "geometry/mesh_edit.h"
#include "geometry/vecmath.h"
#include "render/render_draw.h"
#include "script/config_main.h"

#include <cmath>
#include <cstdio>
#include <cstring>

EditorState g_editor;
float g_editor_camera_yaw = 0.0f, g_editor_camera_pitch = 0.0f, g_editor_camera_distance = 10.0f;

void editor_copy_theme_lights(SceneWorld *world)
{
    memcpy(world->ambient_colour, g_menu_world.ambient_colour, sizeof world->ambient_colour);
    memcpy(world->light_colour, g_menu_world.light_colour, sizeof world->light_colour);
    memcpy(world->light_vector, g_menu_world.light_vector, sizeof world->light_vector);
}

namespace {

// Truncation toward zero to whole steps; a step that is not positive (a theme without its
// reference block) leaves the value as it is rather than divide by it.
float snap_to(float value, float step)
{
    if (!(step > 0.0f) || !std::isfinite(value)) return value;
    return step * std::trunc(value / step);
}

// -50..50; a value that is not a number goes to -50.
float clamp_field(float value)
{
    if (!(value > -50.0f)) return -50.0f;
    return value > 50.0f ? 50.0f : value;
}

}  // namespace

void editor_show_hint(int32_t hint)
{
    g_editor.hint = hint;
    g_editor.message_frames = kEditorHintFrames;
}

void editor_build_ground_grid(void)
{
    SceneWorld *world = &g_hole_world;
    g_editor.placements = 0;
    world_release_and_reset(world);
    world_release_effects(world);
    editor_copy_theme_lights(world);
    world->first_block_index = -1;
    world->scene_word_1 = -1;
    world->load_progress = nullptr;
    render_set_mode(29, &g_render_context, 0x48);
    world_setup_lighting_textures(world);

    MeshObject *tile = mesh_new();
    if (!tile || !mesh_alloc_arrays(tile, 4)) {
        mesh_delete(tile);
        g_first_block_index = world->object_count;
        return;
    }
    tile->vertex_count = 4;
    for (int k = 0; k < 4; k++) {
        const int r = k / 2, c = k % 2;
        MeshVertex &v = tile->vertices[k];
        v.position[0] = 10.0f * float(r) - 5.0f;
        v.position[2] = 10.0f * float(c) - 5.0f;
        v.uv0[0] = 3.0f * float(r);
        v.uv0[1] = 3.0f * float(c);
    }
    // Under the engine's normal rule these face -y (up); GROUND never collides and holes are drawn
    // without culling, so the tiles stay as laid.
    static const int32_t corners[2][3] = {{0, 1, 3}, {0, 3, 2}};
    tile->face_count = 2;
    for (int f = 0; f < 2; f++) {
        MeshFace &face = tile->faces[f];
        memcpy(face.v, corners[f], sizeof face.v);
        // The material byte holds the texture id above its two blending bits.
        face.material = uint16_t(g_material_ground);
        face.texture_id = int16_t(g_material_ground >> 2);
        face.build_flag = 0;
        face.tag = 0;
    }
    mesh_link_face_vertices(tile);
    mesh_compute_normals(tile);
    tile->object_type = 2;
    for (int x = -70; x <= 70; x += 10) {
        for (int z = -70; z <= 70; z += 10) {
            MeshObject *copy = mesh_duplicate(tile);
            if (!copy) continue;
            snprintf(copy->name, sizeof copy->name, "GROUND");
            vec3_set(copy->position, float(x), 0.0f, float(z));
            vec3_set(copy->rotation, 0.0f, 0.0f, 0.0f);
            const int32_t i = scene_add_object(world, copy);
            if (i < 0) {
                mesh_delete(copy);
                continue;
            }
            scene_set_render_object(world, i, course_mesh_shade_and_build(copy, 0));
        }
    }
    mesh_delete(tile);
    g_first_block_index = world->object_count;
}

void editor_start_new_course(void)
{
    render_set_mode(7, &g_render_context, 15);
    g_load_dialog_open = 0;
    g_save_dialog_mode = 0;
    g_editor = EditorState{};  // every index -1, raise, yaw and angles 0, dialogs and lit view off
    editor_name_new_hole();
    g_editor_camera_yaw = 0.0f;
    g_editor_camera_pitch = 0.0f;  // clamped to -20 by the first frame
    g_editor_camera_distance = 10.0f;
    vec3_set(g_camera_target, 0.0f, 0.0f, 0.0f);
    editor_copy_theme_lights(&g_hole_world);
    g_hole_world.lighting_flag = 0;
    editor_build_ground_grid();
}

void editor_snap_ground_point(float *p)
{
    p[0] = clamp_field(snap_to(p[0], g_block_snap_x));
    p[1] = 0.0f;
    p[2] = clamp_field(snap_to(p[2], g_block_snap_z));
}

void editor_cursor_ground_point(int32_t mouse_x, int32_t mouse_y, float *p)
{
    RenderContext *context = &g_render_context;
    render_set_projection(context);
    float view[16];
    render_set_view_matrix(context, hole_view_matrix(view));
    float q[3] = {};
    render_unproject_point(float(mouse_x), float(mouse_y), q);
    const float *e = g_camera_eye;
    const float dy = q[1] - e[1];
    if (std::fabs(dy) > 1e-6f) {
        // Where the view ray meets the plane y = 0.
        const float t = std::fabs(e[1]) / dy;
        p[0] = e[0] + (q[0] - e[0]) * t;
        p[2] = e[2] + (q[2] - e[2]) * t;
    } else {
        p[0] = q[0];
        p[2] = q[2];
    }
    editor_snap_ground_point(p);
}

void editor_update_object_transforms(void) { world_compute_object_bounds(&g_hole_world); }

void editor_rebuild_render_objects(void)
{
    SceneWorld *world = &g_hole_world;
    for (int32_t i = 0; i < world->object_count; i++) {
        scene_set_render_object(world, i, nullptr);
        if (world->objects[i]) scene_set_render_object(world, i, course_mesh_shade_and_build(world->objects[i], 0));
    }
}
