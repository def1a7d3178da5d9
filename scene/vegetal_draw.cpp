// Drawing a plant: vertex colours shaded by the sun (rebuilt only when the light changes), the
// render objects made from them, and the two draws submitted: the trunk under the caller's world
// matrix, the crown swaying about its pivot with the leaves alpha-tested.
#include "scene/scene_local.h"

#include "geometry/mesh.h"
#include "geometry/vecmath.h"
#include "render/render.h"
#include "render/render_draw.h"

#include <algorithm>
#include <cstring>

namespace {

uint32_t colour_key(const float *light_vector, const float *ambient, const float *light_colour, float alpha)
{
    float values[12];
    memcpy(values, light_vector, 3 * sizeof(float));
    memcpy(values + 3, ambient, 4 * sizeof(float));
    memcpy(values + 7, light_colour, 4 * sizeof(float));
    values[11] = alpha;
    uint32_t hash = 2166136261u;
    for (float value : values) {
        uint32_t bits;
        memcpy(&bits, &value, sizeof bits);
        hash = (hash ^ bits) * 16777619u;
    }
    return hash ? hash : 1;  // 0 means none
}

// One-sided: plants are built with outward normals. Leaves wrap the light round the crown so its
// shadow side is not black.
void shade(MeshObject *mesh, bool leaves, const float *l, const float *ambient, const float *light, float alpha)
{
    for (int32_t v = 0; v < mesh->vertex_count; v++) {
        MeshVertex &vertex = mesh->vertices[v];
        float facing = -vec3_dot(vertex.normal, l);
        float lit = leaves ? std::max(0.0f, (facing + 0.5f) / 1.5f) : std::max(0.0f, facing);
        for (int c = 0; c < 3; c++) vertex.color[c] = std::min(1.0f, std::max(0.0f, ambient[c] + light[c] * lit));
        vertex.color[3] = alpha;
    }
}

}  // namespace

void vegetal_draw(VegetalObject *object, const float *eye, const float *light_vector, const float *ambient,
                  const float *light_colour, float alpha)
{
    (void)eye;  // the caller picks the level by distance
    if (!object || object->mesh_count < 2 || !object->meshes[0] || !object->meshes[1]) return;
    RenderContext *context = object->renderer ? object->renderer : &g_render_context;
    uint32_t key = colour_key(light_vector, ambient, light_colour, alpha);
    bool missing = context->device && (!object->render_objects[0] || !object->render_objects[1]);
    if (key != object->cache_key || missing) {
        float l[3] = {light_vector[0], light_vector[1], light_vector[2]};
        if (vec3_dot(l, l) > 0.0f) vec3_normalize(l);
        for (int k = 0; k < 2; k++) {
            shade(object->meshes[k], k == 1, l, ambient, light_colour, alpha);
            scene_render_object_delete(object->render_objects[k]);
            object->render_objects[k] = nullptr;
            if (context->device)
                object->render_objects[k] = render_build_mesh_render_objects(
                    context, object->meshes[k], kRenderDiffuse | kRenderTexColour | kRenderStatic, nullptr);
        }
        object->cache_key = key;
    }
    // Trunk: the caller's world matrix. Crown: turned by the sway about its pivot, then the same.
    VegetalDraw &trunk = object->draw[0], &crown = object->draw[1];
    memcpy(trunk.world, context->world_matrix, sizeof trunk.world);
    trunk.alpha_test = 0;
    trunk.alpha_ref = 0;
    const float *pivot = object->crown_pivot;
    mat4_identity(crown.world);
    mat4_translate(crown.world, -pivot[0], -pivot[1], -pivot[2]);
    mat4_rotate_euler_deg(crown.world, object->sway[0], object->sway[1], object->sway[2]);
    mat4_translate(crown.world, pivot[0], pivot[1], pivot[2]);
    render_mat4_multiply(crown.world, crown.world, context->world_matrix);
    crown.alpha_test = 1;
    crown.alpha_ref = 128;

    // The trunk, then the crown alpha-tested (on, reference 128, greater-equal), then the test off
    // and the caller's matrix back.
    if (!context->device || !object->render_objects[0] || !object->render_objects[1]) return;
    render_set_current_object(context, object->render_objects[0]);
    render_draw_current_object(context);
    render_set_mode(21, context, 264);
    render_set_mode(21, context, 128);
    render_set_mode(21, context, 257);
    render_set_world_matrix(context, crown.world);
    render_set_current_object(context, object->render_objects[1]);
    render_draw_current_object(context);
    render_set_mode(21, context, 265);
    render_set_world_matrix(context, trunk.world);
}
