// Preparation for drawing: an object with lightmaps draws its lit companion with the sun's light
// slot; any other object (and "PALES", whose turning would make baked light wrong) carries its
// light in its vertex colours, two-sided and without shadows.
#include "scene/scene_local.h"

#include "geometry/mesh.h"
#include "render/render.h"
#include "render/render_mesh.h"

#include <cmath>

namespace {

float clamp01(float v) { return v < 0.0f ? 0.0f : v > 1.0f ? 1.0f : v; }

// Vertex colours := ambient + sun x |n.L| of each vertex's world normal; alpha kept.
void light_vertices(const SceneWorld *world, MeshObject *object)
{
    float light[3] = {world->light_vector[0], world->light_vector[1], world->light_vector[2]};
    float length = std::sqrt(light[0] * light[0] + light[1] * light[1] + light[2] * light[2]);
    for (float &axis : light) axis = length > 1e-12f ? axis / length : 0.0f;
    for (int32_t v = 0; v < object->vertex_count; v++) {
        MeshVertex &vertex = object->vertices[v];
        const float *n = vertex.world_normal;
        float normal_length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        float along = n[0] * light[0] + n[1] * light[1] + n[2] * light[2];
        float lambert = normal_length > 1e-12f ? std::fabs(along) / normal_length : 0.0f;
        for (int c = 0; c < 3; c++)
            vertex.color[c] =
                clamp01(world->ambient_colour[c] + world->light_colour[c] * world->light_factor * lambert);
    }
}

}  // namespace

void mesh_prepare_world_object(SceneWorld *world, int32_t i, int32_t full)
{
    if (i < 0 || i >= world->object_count || !world->objects[i]) return;
    RenderContext *context = scene_context(world);
    MeshObject *object = world->objects[i];
    RenderObject *prepared;
    if (full && world->object_marks[i] && world->companions[i]) {
        prepared = render_build_mesh_render_objects(context, world->companions[i],
                                                    kRenderDiffuse | kRenderTexColour | kRenderLightmap | kRenderStatic,
                                                    nullptr);
        if (prepared) {
            prepared->light_slot = SCENE_SUN_SLOT;
            prepared->light_scale = world->light_factor;
        }
        world->prepare_modes[i] = 1;
    } else {
        mesh_update_world_transform(object);
        light_vertices(world, object);
        prepared = render_build_mesh_render_objects(context, object, kRenderDiffuse | kRenderTexColour | kRenderStatic,
                                                    nullptr);
        world->prepare_modes[i] = 2;
    }
    scene_set_render_object(world, i, prepared);
}
