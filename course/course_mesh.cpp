// Mesh utilities on hole objects (ground height, picking boxes) and the tests of hole-object kinds
// by name. Shading and local bounds are in game/course_mesh.cpp.
#include "course/course_local.h"

#include "geometry/mesh_edit.h"
#include "render/render.h"
#include "shader/shader_text.h"

#include <cmath>
#include <cstring>

int32_t g_first_block_index = kPlayFirstHoleObject;

namespace {

void bounds_start(float *b)
{
    b[0] = b[2] = b[4] = 10000.0f;
    b[1] = b[3] = b[5] = -10000.0f;
}

void bounds_add(float *b, const float *p)
{
    for (int k = 0; k < 3; k++) {
        if (p[k] < b[2 * k]) b[2 * k] = p[k];
        if (p[k] > b[2 * k + 1]) b[2 * k + 1] = p[k];
    }
}

// The segment against a box of the object's world bounds scaled by `scale`, retried inside out.
bool pick_box(MeshObject *object, const float *p0, const float *p1, float scale)
{
    MeshObject *box = mesh_new();
    if (!box) return false;
    mesh_update_world_transform(object);
    float b[6];
    bounds_start(b);
    for (int32_t i = 0; i < object->vertex_count; i++) bounds_add(b, object->vertices[i].world_position);
    bool hit = false;
    if (mesh_build_box(box, scale * (b[1] - b[0]), scale * (b[3] - b[2]), scale * (b[5] - b[4]))) {
        box->position[0] = 0.5f * (b[0] + b[1]);
        box->position[1] = 0.5f * (b[2] + b[3]);
        box->position[2] = 0.5f * (b[4] + b[5]);
        mesh_update_world_transform(box);
        hit = mesh_segment_hit(box, p0, p1);
        if (!hit) {
            mesh_invert_in_place(box);
            mesh_update_world_transform(box);
            hit = mesh_segment_hit(box, p0, p1);
        }
    }
    object->hit_distance = hit ? box->hit_distance : 100000.0f;
    mesh_delete(box);
    return hit;
}

}  // namespace

float course_ground_height_at(float x, float y, float z)
{
    (void)y;
    const SceneWorld *world = &g_hole_world;
    float h = 0.0f;
    for (int32_t i = g_first_block_index < 0 ? 0 : g_first_block_index; i < world->object_count; i++) {
        const MeshObject *o = world->objects[i];
        if (!o) continue;
        const float *b = o->bounds;
        if (b[0] < x && x < b[1] && b[4] < z && z < b[5] && b[2] < h) h = b[2];
    }
    // A theme without a reference block leaves the step at 0: no snapping rather than a division by it.
    if (!(g_block_step > 0.0f)) return h;
    return g_block_step * float(int32_t(h / g_block_step));
}

bool editor_pick_object_box(MeshObject *object, const float *p0, const float *p1)
{
    return pick_box(object, p0, p1, 0.7f);
}

bool editor_pick_box(MeshObject *object, const float *p0, const float *p1) { return pick_box(object, p0, p1, 1.0f); }

bool course_box_segment_hit(const float *corner_a, const float *corner_b, const float *p0, const float *p1)
{
    MeshObject *box = mesh_new();
    if (!box) return false;
    bool hit = false;
    if (mesh_build_box(box, corner_b[0] - corner_a[0], corner_b[1] - corner_a[1], corner_b[2] - corner_a[2])) {
        for (int k = 0; k < 3; k++) box->position[k] = 0.5f * (corner_a[k] + corner_b[k]);
        mesh_update_world_transform(box);
        hit = mesh_segment_hit(box, p0, p1);
    }
    mesh_delete(box);
    return hit;
}

// ---- kinds ------------------------------------------------------------------------------------------

int hole_name_has(const char *name, const char *word) { return name && word && str_has_substring(name, word); }

int hole_name_is(const char *name, const char *word) { return name && word && strcmp(name, word) == 0; }

int play_hole_is_playable(const SceneWorld *world)
{
    int bloc = 0, start = 0;
    for (int32_t i = 0; i < world->object_count; i++) {
        const MeshObject *o = world->objects[i];
        if (!o) continue;
        bloc |= hole_name_has(o->name, "BLOC");
        start |= hole_name_has(o->name, "START");
    }
    return bloc && start;
}
