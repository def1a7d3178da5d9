// The editor's block and plant operations: take, place, select, move, drop, turn, raise, delete,
// add a plant. The editor frame runs them on clicks and keys; the data tools call them directly.
#include "course/editor.h"

#include "course/course_local.h"
#include "game/menu_theme.h"
#include "geometry/mesh_edit.h"
#include "geometry/vecmath.h"
#include "render/render.h"
#include "script/config_main.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr float kPickMinDepth = 2.5f;  // objects nearer the camera than this are not picked

const MeshObject *palette_block(int32_t i)
{
    return i >= 0 && i < g_menu_world.object_count ? g_menu_world.objects[i] : nullptr;
}

bool hole_has_start(const SceneWorld *world)
{
    for (int32_t i = 0; i < world->object_count; i++)
        if (world->objects[i] && hole_name_is(world->objects[i]->name, "START")) return true;
    return false;
}

// Distance of point q in front of the camera, along its view direction.
float view_depth(const float *q)
{
    float forward[3], offset[3];
    vec3_sub(forward, g_camera_target, g_camera_eye);
    vec3_normalize(forward);
    vec3_sub(offset, q, g_camera_eye);
    return vec3_dot(offset, forward);
}

void count_placement()
{
    g_editor.placements++;
    if (g_editor.placements % 5 == 0) editor_show_hint(g_editor.placements % 10 == 0 ? MENU_TOOLTIP7 : MENU_TOOLTIP8);
}

MeshObject *selected_block()
{
    const int32_t i = g_editor.selected_object;
    return i >= g_first_block_index && i >= 0 ? play_object(&g_hole_world, i) : nullptr;
}

bool plant_valid(int32_t j) { return j >= 0 && j < g_hole_world.vegetal_count; }

void place_plant(int32_t j, float x, float y, float z)
{
    for (VegetalObject &object : g_hole_world.vegetal_slots[j]) vec3_set(object.position, x, y, z);
}

// The nearest plant whose near meshes' boxes (0.4 r x r x 0.4 r about its position) the segment
// from the eye to p meets; -1 none.
int32_t pick_plant(const float *p)
{
    SceneWorld *world = &g_hole_world;
    int32_t best = -1;
    float best_distance = 1.0e9f;
    for (int32_t j = 0; j < world->vegetal_count; j++) {
        const VegetalObject &near = world->vegetal_slots[j][0];
        if (view_depth(near.position) <= kPickMinDepth) continue;
        for (int32_t m = 0; m < near.mesh_count && m < 2; m++) {
            if (!near.meshes[m]) continue;
            const float r = mesh_radius(near.meshes[m]);
            MeshObject *box = mesh_new();
            if (!box) continue;
            if (mesh_build_box(box, 0.4f * r, r, 0.4f * r)) {
                memcpy(box->position, near.position, sizeof box->position);
                if (editor_pick_box(box, g_camera_eye, p) && box->hit_distance < best_distance) {
                    best_distance = box->hit_distance;
                    best = j;
                }
            }
            mesh_delete(box);
        }
    }
    return best;
}

}  // namespace

int editor_take_block(int32_t palette_index)
{
    const MeshObject *block = palette_block(palette_index);
    if (!block || g_editor.lit_view) return 0;
    if (hole_name_is(block->name, "START") && hole_has_start(&g_hole_world)) return 0;
    if (g_hole_world.object_count >= kEditorMaxObjects) {
        g_editor.too_many_blocks = 1;
        return 0;
    }
    g_editor.yaw = 0;
    g_editor.raise = 0.0f;
    editor_show_hint(MENU_TOOLTIP6);
    g_editor.held_palette_index = palette_index;
    return 1;
}

int32_t editor_place_held_block(const float *p)
{
    const MeshObject *block = palette_block(g_editor.held_palette_index);
    if (!block) return -1;
    SceneWorld *world = &g_hole_world;
    editor_update_object_transforms();
    float y = hole_name_is(block->name, "START") ? p[1] - g_block_step : course_ground_height_at(p[0], p[1], p[2]);
    y -= g_editor.raise;
    MeshObject *copy = mesh_duplicate(block);
    if (!copy) return -1;
    vec3_set(copy->rotation, 0.0f, float(g_editor.yaw), 0.0f);
    vec3_set(copy->position, p[0], y, p[2]);
    copy->object_type = 2;
    const int32_t i = scene_add_object(world, copy);
    if (i < 0) {
        mesh_delete(copy);
        return -1;
    }
    g_editor.held_palette_index = -1;
    g_editor.changed = 1;
    editor_rebuild_render_objects();
    world_compute_object_bounds(world);
    world_compute_bounds_and_links(world);
    count_placement();
    return i;
}

int32_t editor_place_block_at(int32_t palette_index, float x, float z, int32_t yaw, float raise)
{
    if (!editor_take_block(palette_index)) return -1;
    float p[3] = {x, 0.0f, z};
    editor_snap_ground_point(p);
    g_editor.yaw = yaw;
    g_editor.raise = raise > 0.0f ? raise : 0.0f;
    return editor_place_held_block(p);
}

int editor_select_at(const float *p)
{
    SceneWorld *world = &g_hole_world;
    if (g_editor.lit_view || g_editor.held_palette_index >= 0 || g_editor.selected_object >= 0 ||
        g_editor.selected_plant >= 0)
        return 0;
    if (world->object_count <= g_first_block_index && world->vegetal_count == 0) return 0;
    const int32_t plant = pick_plant(p);
    if (plant >= 0) {
        g_editor.selected_plant = plant;
        g_editor.changed = 1;
        return 1;
    }
    g_editor.raise = 0.0f;
    int32_t best = -1;
    float best_distance = 1.0e9f;
    for (int32_t i = g_first_block_index < 0 ? 0 : g_first_block_index; i < world->object_count; i++) {
        MeshObject *o = world->objects[i];
        if (!o || view_depth(o->position) <= kPickMinDepth) continue;
        if (editor_pick_object_box(o, g_camera_eye, p) && o->hit_distance < best_distance) {
            best_distance = o->hit_distance;
            best = i;
        }
    }
    if (best < 0) return 0;
    const MeshObject *o = world->objects[best];
    g_editor.selected_object = best;
    g_editor.changed = 1;  // it follows the cursor from now on
    g_editor.raise = -o->position[1];
    g_editor.yaw = int32_t(o->rotation[1]);
    editor_show_hint(MENU_TOOLTIP5);
    return 1;
}

void editor_move_selected(const float *p)
{
    if (MeshObject *o = selected_block()) {
        course_mesh_compute_bounds(o);
        vec3_set(o->position, p[0], -g_editor.raise, p[2]);
        vec3_set(o->rotation, 0.0f, float(g_editor.yaw), 0.0f);
    } else if (plant_valid(g_editor.selected_plant)) {
        place_plant(g_editor.selected_plant, p[0], -g_editor.raise, p[2]);
    }
}

void editor_drop_selected(const float *p)
{
    if (MeshObject *o = selected_block()) {
        vec3_set(o->position, p[0], -g_editor.raise, p[2]);
        vec3_set(o->rotation, 0.0f, float(g_editor.yaw), 0.0f);
        g_editor.selected_object = -1;
        g_editor.changed = 1;
        editor_rebuild_render_objects();
        editor_update_object_transforms();
        count_placement();
    } else if (plant_valid(g_editor.selected_plant)) {
        place_plant(g_editor.selected_plant, p[0], 0.0f, p[2]);
        g_editor.selected_plant = -1;
        g_editor.changed = 1;
    }
}

void editor_turn(void)
{
    if (g_editor.held_palette_index >= 0 || g_editor.selected_object >= 0) g_editor.yaw += 90;
}

void editor_raise_by(float steps)
{
    g_editor.raise += steps * g_block_step;
    if (!(g_editor.raise > 0.0f)) g_editor.raise = 0.0f;
}

int editor_delete_selected(void)
{
    SceneWorld *world = &g_hole_world;
    if (g_editor.lit_view) return 0;
    if (MeshObject *o = selected_block()) {
        const int32_t i = g_editor.selected_object;
        world_clear_for_editor(world);
        scene_set_render_object(world, i, nullptr);
        mesh_delete(o);
        const int32_t last = world->object_count - 1;
        world->objects[i] = world->objects[last];
        world->objects[last] = nullptr;
        world->object_count = last;
        g_editor.selected_object = -1;
        g_editor.changed = 1;
        editor_rebuild_render_objects();
        editor_update_object_transforms();
        return 1;
    }
    if (plant_valid(g_editor.selected_plant)) {
        scene_remove_vegetal(world, g_editor.selected_plant);
        g_editor.selected_plant = -1;
        g_editor.changed = 1;
        return 1;
    }
    return 0;
}

int32_t editor_add_plant_at(int32_t kind, float x, float z)
{
    SceneWorld *world = &g_hole_world;
    if (g_editor.lit_view || world->vegetal_count >= kEditorMaxPlants) return -1;
    if (kind != kVegetalTree && kind != kVegetalBush) return -1;
    const bool tree = kind == kVegetalTree;
    VegetalParams p = {};
    p.kind = kind;
    p.leaf_density = 1.0f;
    p.trunk_taper = 0.5f;
    // The random words are drawn in this order: 3, 5, 9.
    p.trunk_radius = float(rand() % 3 + 3) * 0.01f;
    p.crown_scale = 0.7f;
    p.crown_radius = float(rand() % 70 + (tree ? 150 : 250)) * 0.01f;
    p.branches = 12.0f;
    p.leaf_cards = 50.0f;
    p.card_size = 0.4f;
    p.size = tree ? float(rand() % 30 + 50) * 0.1f : float(rand() % 10) * 0.1f;
    if (tree) {
        p.levels = 3;
        p.bend = 0.0f;
    }
    const int32_t t = g_texture_tronc, l = g_texture_feuilles;
    const int32_t tree_set[5] = {t, t, t, l, l}, bush_set[5] = {t, l, l, l, l};
    memcpy(p.textures_a, tree ? tree_set : bush_set, sizeof p.textures_a);
    memcpy(p.textures_b, tree ? tree_set : bush_set, sizeof p.textures_b);
    VegetalInstance instance = {};
    instance.kind = kind;
    instance.trunk_radius = p.trunk_radius;
    instance.crown_scale = p.crown_scale;
    instance.card_size = p.card_size;
    instance.values[0] = int32_t(p.branches);
    instance.values[1] = int32_t(p.leaf_cards);
    instance.variant = tree ? kind : kind - 1;
    const int32_t j = scene_add_vegetal(world, &p, &instance);
    if (j < 0) return -1;
    for (int32_t detail = 0; detail < 2; detail++) {
        VegetalObject &object = world->vegetal_slots[j][detail];
        object.renderer = &g_render_context;
        vegetal_build(&object, &world->vegetal_instances[j], p.size, detail);
        vec3_set(object.position, x, 0.0f, z);
    }
    g_editor.changed = 1;
    return j;
}
