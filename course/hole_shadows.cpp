// The plants' shadows of a hole, made once per hole: each plant's cover mask seen from the sun and
// its texture, the masks laid as decals onto inverted copies of the objects near the middle (one
// receiver render object per object), and the point-in-shadow test on the masks.
#include "course/hole.h"

#include "course/course.h"
#include "game/files.h"
#include "geometry/bsp.h"
#include "geometry/mesh_edit.h"
#include "geometry/vecmath.h"
#include "render/render_draw.h"
#include "scene/scene.h"

#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

constexpr float kLargePlant = 3.0f;    // a larger size parameter makes a large plant
constexpr uint8_t kShadowCover = 150;  // mask bytes above it are shadow
constexpr float kMaskReach = 9.8f;     // the mask's span across the sun's rays
constexpr int32_t kReceiverVertices = 4000;
constexpr int32_t kReceiverIndices = 12000;

RenderContext *hole_context(const SceneWorld *world) { return world->renderer ? world->renderer : &g_render_context; }

// The plants that get shadows: the first 256.
int32_t shadow_count(const SceneWorld *world)
{
    if (world->vegetal_count <= 0) return 0;
    return world->vegetal_count < kHoleShadowMaxVegetals ? world->vegetal_count : kHoleShadowMaxVegetals;
}

uint8_t truncated_byte(float value)
{
    if (!(value > 0.0f)) return 0;
    return value >= 255.0f ? 255 : uint8_t(value);
}

// What a shadow texel holds for a mask byte: the colour, and the cover as alpha (times the
// ambient's grey on the simple path).
struct TexelRule {
    bool simple;
    uint8_t colour[3];
    float grey;
};

TexelRule texel_rule()
{
    const float *ambient = g_menu_world.ambient_colour;
    TexelRule rule = {};
    rule.simple = g_option_hole_drawing == 0;
    rule.grey = 0.35f * ambient[0] + 0.4f * ambient[1] + 0.25f * ambient[2];
    for (int k = 0; k < 3; k++)
        rule.colour[k] = rule.simple ? 0 : g_option_hole_variant ? 255 : truncated_byte(ambient[k] * 255.0f);
    return rule;
}

// Plant j's mask (kept in the world's tables) and its texture in slot 1200 + j.
void make_mask(SceneWorld *world, RenderContext *context, int32_t j, const TexelRule &rule)
{
    const bool large = world->vegetal_params[j].size > kLargePlant;
    const int32_t side = rule.simple ? (large ? 64 : 32) : (large ? 128 : 64);
    free(world->shadow_masks[j]);  // a second build without a free in between
    world->shadow_masks[j] = nullptr;
    world->shadow_mask_sizes[j] = 0;
    uint8_t *pixels = static_cast<uint8_t *>(calloc(size_t(side) * size_t(side), 4));
    uint8_t *mask = pixels ? world_rasterise_object_map(side, side, world, j) : nullptr;
    if (!mask) {
        free(pixels);
        return;
    }
    world->shadow_masks[j] = mask;
    world->shadow_mask_sizes[j] = side;
    for (int32_t k = 0; k < side * side; k++) {
        uint8_t *texel = pixels + 4 * size_t(k);
        for (int c = 0; c < 3; c++) texel[c] = rule.colour[c];
        texel[3] = rule.simple ? truncated_byte(float(mask[k]) * rule.grey) : mask[k];
    }
    texture_create_from_pixels(context, kTextureAlpha, SCENE_SHADOW_TEXTURE_BASE + j, side, side, pixels, side, side);
    free(pixels);
}

void delete_receiver(RenderObject *&receiver)
{
    if (!receiver) return;
    render_object_free(receiver);
    delete receiver;
    receiver = nullptr;
}

// An empty receiver with its buffers (handles null when they cannot be made); null without memory.
RenderObject *new_receiver(RenderContext *context, bool detailed)
{
    RenderObject *receiver = new (std::nothrow) RenderObject();
    if (!receiver) return nullptr;
    render_object_init(receiver);
    receiver->context = context;
    receiver->device = context->device;
    receiver->flags = detailed ? kHoleReceiverFlagsDetailed : kHoleReceiverFlagsSimple;
    render_object_create_vertex_buffer(receiver, kReceiverVertices, kReceiverIndices, 0);
    receiver->vertices_in_use = 0;
    receiver->indices_in_use = 0;
    return receiver;
}

// The object's inverted copy in world space as a mesh placed at the origin (simplified when
// detailed); null without memory.
MeshObject *receiver_mesh(MeshScratch *scratch, const MeshObject *object, bool detailed)
{
    scratch->vertex_count = 0;
    scratch->face_count = 0;
    MeshObject *copy = mesh_inverted_copy(object);
    if (!copy) return nullptr;
    mesh_update_world_transform(copy);
    const int appended = mesh_scratch_append_object(scratch, copy);
    mesh_delete(copy);
    MeshObject *mesh = appended ? mesh_from_scratch(scratch) : nullptr;
    if (mesh && detailed) {
        MeshObject *simplified = mesh_simplify(mesh);
        mesh_delete(mesh);
        mesh = simplified;
    }
    if (!mesh) return nullptr;
    mesh_compute_normals(mesh);
    vec3_set(mesh->position, 0.0f, 0.0f, 0.0f);
    vec3_set(mesh->rotation, 0.0f, 0.0f, 0.0f);
    mesh->flags = 0;
    return mesh;
}

// How plant j's decal is cast: the point it is centred on, the light behind it and its half size.
struct PlantCast {
    float point[3];
    float light[3];
    float half;
};

PlantCast plant_cast(const SceneWorld *world, int32_t j, bool detailed)
{
    const VegetalObject &plant = world->vegetal_slots[j][0];
    const float *sun = world->light_vector;
    PlantCast cast;
    vec3_set(cast.point, plant.position[0], plant.position[1], plant.position[2]);
    if (!detailed) cast.point[1] += 0.5f * (plant.bounds_min_y + plant.bounds_max_y);
    const float k = detailed ? 100.0f : 10.0f;
    for (int c = 0; c < 3; c++) cast.light[c] = cast.point[c] - k * sun[c];
    cast.half = detailed && world->vegetal_params[j].size >= kLargePlant ? 4.9f : 2.8f;
    return cast;
}

// False only when no decal of the cast can fall on the object: its bounding sphere stays outside
// the cone from the light around every ray through the rectangle (which reaches at most
// half x sqrt 5 from its centre, stretched away from a low light). The decal builder would make
// nothing there, so no receiver is made for it.
bool cast_may_reach(const PlantCast &cast, const MeshObject *object)
{
    float axis[3], to[3];
    vec3_sub(axis, cast.point, cast.light);
    const float distance = vec3_length(axis);
    if (!(distance > 0.0f)) return true;
    vec3_scale(axis, axis, 1.0f / distance);
    const float radius = mesh_radius(object);
    vec3_sub(to, object->position, cast.light);
    const float along = vec3_dot(to, axis);
    float across[3];
    vec3_scale(across, axis, along);
    vec3_sub(across, to, across);
    const float spread = cast.half * 2.2360680f / distance;
    return along + radius > 0.0f && vec3_length(across) - radius <= (along + radius) * spread * 1.01f + 0.01f;
}

// The plants whose decals may fall on the object; false when none may.
bool reachable_plants(const SceneWorld *world, const MeshObject *object, int32_t count, bool detailed, uint8_t *reach)
{
    bool any = false;
    for (int32_t j = 0; j < count; j++) {
        reach[j] = world->shadow_masks[j] && cast_may_reach(plant_cast(world, j, detailed), object);  // masked only
        any = any || reach[j];
    }
    return any;
}

// The masks of the plants that may reach laid onto the slot's mesh, into the current dynamic object.
void project_plants(SceneWorld *world, RenderContext *context, ColliderSlot *slot, int32_t count, bool detailed,
                    const uint8_t *reach)
{
    bool first = true;
    for (int32_t j = 0; j < count; j++) {
        if (!reach[j]) continue;
        const PlantCast cast = plant_cast(world, j, detailed);
        render_set_mode(4, context, 5);
        render_set_mode(6, context, 1);
        texture_bind(context, SCENE_SHADOW_TEXTURE_BASE + j);
        light_set_point(context, 1, cast.light[0], cast.light[1], cast.light[2], 1.0f, 1.0f, 1.0f, 0.0f, 50.0f);
        const int32_t mode = detailed ? (first ? 7 : 6) : (first ? 1 : 0);
        mesh_build_projected_decal(slot, cast.point[0], cast.point[1], cast.point[2], cast.half, cast.half, mode);
        first = false;
    }
}

// Object i's receiver, kept in the world's table when some plant's decal reached it.
void build_receiver(SceneWorld *world, RenderContext *context, int32_t i, MeshScratch *scratch, int32_t count,
                    bool detailed)
{
    delete_receiver(world->shadow_receivers[i]);  // a second build without a free in between
    uint8_t reach[kHoleShadowMaxVegetals];
    if (!reachable_plants(world, world->objects[i], count, detailed, reach)) return;
    RenderObject *receiver = new_receiver(context, detailed);
    if (!receiver) return;
    MeshObject *mesh = receiver_mesh(scratch, world->objects[i], detailed);
    ColliderSlot slot;
    if (mesh && physics_collider_init_with_vertices(mesh, &slot, detailed ? 9 : 3)) {
        mat4_identity(slot.matrix);
        slot.use_matrix = 1;
        render_set_dynamic_object(context, receiver);
        project_plants(world, context, &slot, count, detailed, reach);
    }
    physics_collider_release(&slot);
    mesh_delete(mesh);
    if (receiver->indices_in_use == 0) delete_receiver(receiver);
    world->shadow_receivers[i] = receiver;
}

}  // namespace

void hole_build_shadows(void)
{
    SceneWorld *world = &g_hole_world;
    RenderContext *context = hole_context(world);
    const TexelRule rule = texel_rule();
    const int32_t count = shadow_count(world);
    if (count == 0) return;
    if (world->vegetal_count > count) {
        char line[96];
        snprintf(line, sizeof line, "hole: %d plants beyond %d cast no shadow", int(world->vegetal_count - count),
                 int(kHoleShadowMaxVegetals));
        render_log_line(line);
    }
    const bool detailed = !rule.simple;
    for (int32_t j = 0; j < count; j++) make_mask(world, context, j, rule);

    light_set_ambient(context, world->ambient_colour[0], world->ambient_colour[1], world->ambient_colour[2]);
    render_set_mode(17, context, 53);  // record face groups in the receiver; left so
    MeshScratch scratch = {};          // grows to the largest receiver's copy
    // The detailed receivers' trees split their boxes at a quarter; the split in use before comes back.
    const float split = g_face_bsp_split;
    if (detailed) {
        g_face_bsp_builder = 0;
        g_face_bsp_split = 0.25f;
    }
    const float radius = detailed ? kHoleReceiverRadiusDetailed : kHoleReceiverRadiusSimple;
    for (int32_t i = 0; i < world->object_count; i++) {
        const MeshObject *object = world->objects[i];
        if (object && vec3_length(object->position) < radius)
            build_receiver(world, context, i, &scratch, count, detailed);
    }
    if (detailed) {
        g_face_bsp_builder = 1;
        g_face_bsp_split = split;
    }
    mesh_scratch_free(&scratch);
    render_set_dynamic_object(context, nullptr);
}

void hole_free_shadows(void)
{
    SceneWorld *world = &g_hole_world;
    const int32_t count = shadow_count(world);
    if (count == 0) return;
    RenderContext *context = hole_context(world);
    for (int32_t j = 0; j < count; j++) {
        free(world->shadow_masks[j]);
        world->shadow_masks[j] = nullptr;
        world->shadow_mask_sizes[j] = 0;
        texture_release_slot(&context->main_textures, SCENE_SHADOW_TEXTURE_BASE + j);
    }
    // The device holds the texture bound last until another is bound: let the released one go.
    const int32_t bound = context->bound_texture[0] - SCENE_SHADOW_TEXTURE_BASE;
    if (bound >= 0 && bound < count) texture_bind(context, kRenderNoTexture);
    for (RenderObject *&receiver : world->shadow_receivers) delete_receiver(receiver);
}

uint8_t hole_point_in_object_shadow(int32_t j, float x, float y, float z)
{
    const SceneWorld *world = &g_hole_world;
    if (j < 0 || j >= shadow_count(world)) return 0;
    if (!(world->vegetal_params[j].size > kLargePlant)) return 0;
    const uint8_t *mask = world->shadow_masks[j];
    const int32_t side = world->shadow_mask_sizes[j];
    if (!mask || side <= 0) return 0;

    // The sun Q far behind the plant P; the plane through P across the sun's rays.
    const float *p = world->vegetal_slots[j][0].position, *sun = world->light_vector;
    float q[3], n[3], a0[3], a1[3];
    for (int k = 0; k < 3; k++) q[k] = p[k] - 1000.0f * sun[k];
    vec3_sub(n, p, q);
    if (!(vec3_length(n) > 0.0f)) return 0;
    vec3_normalize(n);
    mat4_orient_to_direction(a0, n, 0);
    mat4_orient_to_direction(a1, n, 1);
    const float point[3] = {x, y, z};
    const float nq = vec3_dot(n, q);
    const float t = -(nq - vec3_dot(n, p)) / (vec3_dot(n, point) - nq);
    if (!(t > 0.0f && t < 1.0f)) return 0;

    float d[3];
    for (int k = 0; k < 3; k++) d[k] = q[k] + t * (point[k] - q[k]) - p[k];
    const float u = vec3_dot(d, a0) / kMaskReach * float(side);
    const float v = (vec3_dot(d, a1) / kMaskReach + 0.5f) * float(side);
    // Truncated toward zero, then 0 <= u, v < side; tested as floats so no huge value is converted.
    if (!(u > -1.0f && u < float(side)) || !(v > -1.0f && v < float(side))) return 0;
    const int32_t column = int32_t(u), row = int32_t(v);
    return mask[size_t(row) * size_t(side) + size_t(column)] > kShadowCover ? 1 : 0;
}
