// Static mesh colliders: slot set-up and refresh, and the per-face data and edge table that the
// contact routines read.
#include "physics/physics_local.h"

#include <cmath>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace {

constexpr float kThird = 0.33333334f;

// The face's three corner vertices, or false when an index lies outside the vertex array.
bool face_vertices(const MeshObject *mesh, const MeshFace *face, const MeshVertex *out[3])
{
    for (int k = 0; k < 3; k++) {
        int32_t v = face->v[k];
        if (v < 0 || v >= mesh->vertex_count) return false;
        out[k] = &mesh->vertices[v];
    }
    return true;
}

// fmaxf and fminf as the library gives them (a NaN argument yields the other one), inlined: the
// calls were most of the face-box pass.
inline float larger(float a, float b)
{
    if (a != a) return b;
    if (b != b) return a;
    return a > b ? a : b;
}
inline float smaller(float a, float b)
{
    if (a != a) return b;
    if (b != b) return a;
    return a < b ? a : b;
}

// Centre and half extents of every face from the world corners.
void update_face_boxes(MeshObject *mesh)
{
    for (int32_t f = 0; f < mesh->face_count; f++) {
        MeshFace *face = &mesh->faces[f];
        const MeshVertex *c[3];
        if (!face_vertices(mesh, face, c)) continue;
        for (int k = 0; k < 3; k++) {
            float a = c[0]->world_position[k], b = c[1]->world_position[k], e = c[2]->world_position[k];
            float centre = (a + b + e) * kThird;
            float hi = larger(a, larger(b, e)), lo = smaller(a, smaller(b, e));
            face->centre[k] = centre;
            face->half_extents[k] = larger(hi - centre, centre - lo);
        }
    }
}

// The slot's matrix as the mesh's own transform gives it: Euler rotation, then translation.
void transform_matrix(const MeshObject *mesh, float *m)
{
    mat4_identity(m);
    mat4_rotate_euler_deg(m, mesh->rotation[0], mesh->rotation[1], mesh->rotation[2]);
    mat4_translate(m, mesh->position[0], mesh->position[1], mesh->position[2]);
}

int32_t init_slot(MeshObject *object, ColliderSlot *slot, float restitution, float friction, int32_t parameter,
                  bool with_vertices)
{
    slot->restitution = restitution;
    slot->friction = friction;
    slot->object = object;
    slot->use_matrix = 0;
    slot->applied_valid = 0;
    slot->passed_valid = 0;
    slot->in_use = 0;
    int built = with_vertices ? bsp_build_face_tree_with_vertices(&slot->face_bsp, parameter, object)
                              : bsp_build_face_tree(&slot->face_bsp, parameter, object);
    if (!built) return 0;
    slot->in_use = 1;
    mesh_update_world_transform(object);
    transform_matrix(object, slot->matrix);
    return 1;
}

// Vertex cells of the merge: two vertices closer than sqrt(1e-5) lie in the same or neighbouring
// cells, so the merge looks at 27 cells instead of every earlier vertex.
struct CellKey {
    int64_t x, y, z;
    bool operator==(const CellKey &o) const { return x == o.x && y == o.y && z == o.z; }
};

struct CellKeyHash {
    size_t operator()(const CellKey &k) const
    {
        uint64_t h = uint64_t(k.x) * 0x9E3779B97F4A7C15ull;
        h ^= uint64_t(k.y) * 0xC2B2AE3D27D4EB4Full + (h << 6) + (h >> 2);
        h ^= uint64_t(k.z) * 0x165667B19E3779F9ull + (h << 6) + (h >> 2);
        return size_t(h);
    }
};

int64_t cell_of(float coordinate, double inverse_size)
{
    double c = std::floor(double(coordinate) * inverse_size);
    const double limit = 4.0e15;
    return int64_t(c < -limit ? -limit : (c > limit ? limit : c));
}

// map[v] = the representative v merges into: of the earlier representatives j within squared
// distance g_bsp_epsilon, the one of largest index; v itself when there is none.
std::vector<int32_t> merge_vertices(const MeshObject *mesh)
{
    const int32_t n = mesh->vertex_count;
    std::vector<int32_t> map(size_t(n > 0 ? n : 0));
    const float limit = g_bsp_epsilon;
    const double inverse_size = 1.0 / (std::sqrt(double(limit)) * 1.0001);
    std::unordered_map<CellKey, std::vector<int32_t>, CellKeyHash> cells;
    for (int32_t v = 0; v < n; v++) {
        const float *p = mesh->vertices[v].position;
        map[size_t(v)] = v;
        if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) continue;
        CellKey key{cell_of(p[0], inverse_size), cell_of(p[1], inverse_size), cell_of(p[2], inverse_size)};
        int32_t best = -1;
        for (int dx = -1; dx <= 1; dx++)
            for (int dy = -1; dy <= 1; dy++)
                for (int dz = -1; dz <= 1; dz++) {
                    auto found = cells.find(CellKey{key.x + dx, key.y + dy, key.z + dz});
                    if (found == cells.end()) continue;
                    for (int32_t j : found->second) {
                        float d[3];
                        vec3_sub(d, p, mesh->vertices[j].position);
                        if (vec3_dot(d, d) < limit && j > best) best = j;
                    }
                }
        if (best >= 0) map[size_t(v)] = best;
        else cells[key].push_back(v);
    }
    return map;
}

uint64_t pair_key(int32_t a, int32_t b)
{
    uint32_t lo = uint32_t(a < b ? a : b), hi = uint32_t(a < b ? b : a);
    return (uint64_t(lo) << 32) | hi;
}

}  // namespace

int32_t physics_collider_init(MeshObject *object, ColliderSlot *slot, float restitution, float friction,
                              int32_t bsp_parameter)
{
    if (!object || !slot) return 0;
    return init_slot(object, slot, restitution, friction, bsp_parameter, false);
}

int32_t physics_collider_init_with_vertices(MeshObject *object, ColliderSlot *slot, int32_t bsp_parameter)
{
    if (!object || !slot) return 0;
    return init_slot(object, slot, 0.0f, 0.0f, bsp_parameter, true);
}

void physics_collider_release(ColliderSlot *slot)
{
    bsp_free_face_tree(&slot->face_bsp);
    slot->in_use = 0;
    slot->use_matrix = 0;
    slot->applied_valid = 0;
    slot->passed_valid = 0;
}

void physics_collider_update(ColliderSlot *slot)
{
    MeshObject *mesh = slot->object;
    if (!mesh) return;
    float target[16];
    if (slot->use_matrix) {
        mat4_copy(target, slot->matrix);
    } else {
        float input[6];
        memcpy(input, mesh->position, sizeof mesh->position);
        memcpy(input + 3, mesh->rotation, sizeof mesh->rotation);
        if (!slot->transform_valid || memcmp(input, slot->transform_input, sizeof input) != 0) {
            transform_matrix(mesh, slot->transform_matrix);
            memcpy(slot->transform_input, input, sizeof input);
            slot->transform_valid = 1;
        }
        mat4_copy(target, slot->transform_matrix);
    }
    // An unchanged transform gives the same world data: within a step, and across steps while the
    // mesh is the one the last pass left (its revision, arrays and counts; for the mesh's own
    // transform also its matrix). The vertex pass is skipped then.
    if (memcmp(target, slot->applied_matrix, sizeof target) == 0) {
        if (slot->applied_valid) return;
        if (slot->passed_valid && slot->passed_revision == mesh->revision && slot->passed_vertices == mesh->vertices &&
            slot->passed_faces == mesh->faces && slot->passed_vertex_count == mesh->vertex_count &&
            slot->passed_face_count == mesh->face_count &&
            (slot->use_matrix || memcmp(mesh->matrix, target, sizeof target) == 0)) {
            if (!slot->use_matrix) mat4_copy(slot->matrix, target);
            return;
        }
    }
    if (slot->use_matrix) {
        float rotation[16];
        mat4_copy(rotation, target);
        rotation[12] = rotation[13] = rotation[14] = 0.0f;
        mesh_transform_by_matrices(mesh, target, rotation);
    } else {
        mesh_update_world_transform(mesh);
        mat4_copy(slot->matrix, target);
    }
    update_face_boxes(mesh);
    mat4_copy(slot->applied_matrix, target);
    slot->passed_valid = 1;
    slot->passed_revision = mesh->revision;
    slot->passed_vertices = mesh->vertices;
    slot->passed_faces = mesh->faces;
    slot->passed_vertex_count = mesh->vertex_count;
    slot->passed_face_count = mesh->face_count;
}

void physics_prepare_mesh_faces(MeshObject *object)
{
    if (!object) return;
    mesh_update_world_transform(object);
    for (int32_t f = 0; f < object->face_count; f++) {
        MeshFace *face = &object->faces[f];
        const MeshVertex *c[3];
        if (!face_vertices(object, face, c)) continue;
        float centroid[3];
        for (int k = 0; k < 3; k++)
            centroid[k] = (c[0]->position[k] + c[1]->position[k] + c[2]->position[k]) * kThird;
        float largest = 0.0f;
        for (int k = 0; k < 3; k++) {
            float d[3];
            vec3_sub(d, c[k]->position, centroid);
            largest = fmaxf(largest, vec3_dot(d, d));
        }
        face->radius = sqrtf(largest);
    }
    update_face_boxes(object);

    int64_t capacity = int64_t(object->face_count) * 3;
    MeshEdgeTable *table = mesh_edge_table_reset(object, capacity > 0 && capacity < (1 << 30) ? int32_t(capacity) : 0);
    std::vector<int32_t> map = merge_vertices(object);
    std::unordered_map<uint64_t, int32_t> index;
    index.reserve(size_t(capacity > 0 ? capacity : 0));
    for (int32_t f = 0; f < object->face_count; f++) {
        MeshFace *face = &object->faces[f];
        const MeshVertex *c[3];
        bool valid = face_vertices(object, face, c);
        for (int e = 0; e < 3; e++) {
            face->edge_flags[e] = 0;
            if (!valid || !table) continue;
            int32_t a = map[size_t(face->v[e])], b = map[size_t(face->v[(e + 1) % 3])];
            auto found = index.find(pair_key(a, b));
            if (found == index.end()) {
                int32_t r = mesh_edge_table_append(table, a, b, 0);
                if (r >= 0) index.emplace(pair_key(a, b), r);
            }
        }
    }
    for (int32_t f = 0; f < object->face_count && table; f++) {
        MeshFace *face = &object->faces[f];
        const MeshVertex *c[3];
        if (!face_vertices(object, face, c)) continue;
        for (int e = 0; e < 3; e++) {
            int32_t a = map[size_t(face->v[e])], b = map[size_t(face->v[(e + 1) % 3])];
            auto found = index.find(pair_key(a, b));
            const MeshEdgeRecord *r = found == index.end() ? nullptr : &table->records[found->second];
            face->edge_flags[e] = r && r->a == a && r->b == b ? 1 : 0;
        }
    }
    mesh_edge_table_index_vertices(table, object->vertex_count);
}
