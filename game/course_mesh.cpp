// Flat shading with its render objects, and local bounds, of hole and palette objects.
#include "game/course_mesh.h"

#include "geometry/mesh.h"
#include "render/render.h"

namespace {

// Render-object builder flags of the flat-shaded objects.
constexpr uint32_t kCourseFlatBuildFlags = 135;

}  // namespace

RenderObject *course_mesh_shade_and_build(MeshObject *object, uint8_t face_flag)
{
    mesh_update_world_transform(object);
    for (int32_t i = 0; i < object->vertex_count; i++) {
        MeshVertex &v = object->vertices[i];
        float s = v.world_normal[0] + v.world_normal[1] + v.world_normal[2];
        if (s < 0.3f) s = 0.3f;
        if (s > 1.0f) s = 1.0f;
        v.color[0] = v.color[1] = v.color[2] = s;
        v.color[3] = 1.0f;
    }
    for (int32_t f = 0; f < object->face_count; f++) {
        object->faces[f].tag = 0;
        object->faces[f].build_flag = face_flag;
    }
    RenderObject *built = nullptr;
    if (g_render_context.device)
        built = render_build_mesh_render_objects(&g_render_context, object, kCourseFlatBuildFlags, nullptr);
    for (int32_t f = 0; f < object->face_count; f++) object->faces[f].build_flag = 0;
    return built;
}

void course_mesh_compute_bounds(MeshObject *object)
{
    float *b = object->bounds;
    b[0] = b[2] = b[4] = 10000.0f;
    b[1] = b[3] = b[5] = -10000.0f;
    for (int32_t i = 0; i < object->vertex_count; i++) {
        const float *p = object->vertices[i].position;
        for (int k = 0; k < 3; k++) {
            if (p[k] < b[2 * k]) b[2 * k] = p[k];
            if (p[k] > b[2 * k + 1]) b[2 * k + 1] = p[k];
        }
    }
}
