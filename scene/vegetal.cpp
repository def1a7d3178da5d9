// Plants: the shared random table, the scratch records course play borrows, and the release of a
// built plant.
#include "scene/scene_local.h"

#include "geometry/mesh.h"
#include "geometry/mesh_edit.h"
#include "render/render_object.h"

#include <array>
#include <cstdlib>
#include <cstring>

namespace {

// A fixed linear congruential generator, so plants are the same on every run and host.
constexpr std::array<float, kVegetalRandomCount> make_random_table()
{
    std::array<float, kVegetalRandomCount> table{};
    uint32_t state = 0x2545F491u;
    for (float &value : table) {
        state = state * 1664525u + 1013904223u;
        value = float(state >> 8) * (1.0f / 16777216.0f);
    }
    return table;
}

constexpr std::array<float, kVegetalRandomCount> kRandomTable = make_random_table();

}  // namespace

const float *const g_vegetal_random = kRandomTable.data();

uint8_t *g_leaf_alpha_map = nullptr;
int32_t g_leaf_alpha_width = 0;
int32_t g_leaf_alpha_height = 0;

int vegetal_alloc_arrays(MeshScratch *scratch, int32_t n)
{
    if (!scratch) return 0;
    mesh_scratch_free(scratch);
    if (n <= 0 || n > (1 << 24)) return 0;
    scratch->vertices = static_cast<MeshVertex *>(calloc(size_t(n), sizeof(MeshVertex)));
    scratch->faces = static_cast<MeshFace *>(calloc(size_t(n), sizeof(MeshFace)));
    if (!scratch->vertices || !scratch->faces) {
        mesh_scratch_free(scratch);
        return 0;
    }
    scratch->vertex_capacity = n;
    scratch->face_capacity = n;
    return 1;
}

void vegetal_clear(VegetalObject *object)
{
    if (!object) return;
    for (int k = 0; k < 2; k++) {
        mesh_delete(object->meshes[k]);
        object->meshes[k] = nullptr;
        scene_render_object_delete(object->render_objects[k]);
        object->render_objects[k] = nullptr;
    }
    object->mesh_count = 0;
    object->cache_key = 0;
}
