// Whole-mesh operations: welded normals, copies, inversion, tag extraction, the scratch,
// simplification and segment hits.
#include "geometry/mesh_edit.h"

#include "geometry/geometry_local.h"
#include "geometry/vecmath.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <vector>

MeshObject *g_current_mesh;

namespace {

template <class T>
T *copy_array(const T *source, int32_t count)
{
    if (!source || count <= 0) return nullptr;
    T *out = static_cast<T *>(malloc(size_t(count) * sizeof(T)));
    if (out) memcpy(static_cast<void *>(out), source, size_t(count) * sizeof(T));
    return out;
}

// A new object with the header of `mesh` and no owned data (arrays, keyframes, tables, child,
// shapes all empty), ready for the caller to fill.
MeshObject *new_with_header(const MeshObject *mesh)
{
    MeshObject *copy = mesh_new();
    if (!copy) return nullptr;
    memcpy(static_cast<void *>(copy), mesh, sizeof(MeshObject));
    // A body colliding with its own mesh (the ball) collides with its own copy's.
    if (mesh->body.collision_mesh == mesh) copy->body.collision_mesh = copy;
    copy->vertices = nullptr;
    copy->faces = nullptr;
    copy->vertex_count = copy->face_count = 0;
    copy->vertex_capacity = copy->face_capacity = 0;
    copy->keyframe_count = 0;
    memset(copy->keyframes, 0, sizeof copy->keyframes);
    copy->edge_table = nullptr;
    copy->child = nullptr;
    copy->body.shape_tree = nullptr;
    copy->body.sphere_tree = nullptr;
    copy->body.point_grid = nullptr;
    mesh_touch(copy);
    return copy;
}

bool grow(void **array, int32_t *capacity, int32_t needed, size_t element)
{
    if (needed <= *capacity) return true;
    if (needed > kGeometryMaxElements) return false;
    int32_t wanted = std::max(needed, std::min(kGeometryMaxElements, std::max(int32_t(256), *capacity * 2)));
    void *grown = realloc(*array, size_t(wanted) * element);
    if (!grown) return false;
    *array = grown;
    *capacity = wanted;
    return true;
}

// Records the hit in the mesh when it is nearer than `best` (a parameter along the segment).
bool test_face(MeshObject *mesh, int32_t f, const float *p0, const float *d, float *best)
{
    const MeshFace &face = mesh->faces[f];
    for (int32_t v : face.v)
        if (v < 0 || v >= mesh->vertex_count) return false;
    float t;
    if (!geometry_segment_triangle(p0, d, mesh->vertices[face.v[0]].world_position,
                                   mesh->vertices[face.v[1]].world_position, mesh->vertices[face.v[2]].world_position,
                                   &t) ||
        t >= *best)
        return false;
    *best = t;
    for (int k = 0; k < 3; k++) mesh->hit_point[k] = p0[k] + d[k] * t;
    mesh->hit_distance = vec3_length(d) * t;
    mesh->hit_face = f;
    return true;
}

}  // namespace

void mesh_compute_normals_welded(MeshObject *mesh)
{
    geometry_accumulate_normals(mesh);
    int32_t n = mesh->vertex_count;
    std::vector<float> sums(size_t(n) * 3);
    for (int32_t i = 0; i < n; i++) memcpy(&sums[size_t(i) * 3], mesh->vertices[i].normal, sizeof(float) * 3);
    // Sweep the vertices in x order; only those within the tolerance on x can be within it at all.
    std::vector<int32_t> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    auto x = [&](int32_t i) { return mesh->vertices[i].position[0]; };
    std::sort(order.begin(), order.end(), [&](int32_t a, int32_t b) { return x(a) < x(b) || (x(a) == x(b) && a < b); });
    float eps = g_weld_epsilon;
    for (int32_t i = 0; i < n; i++) {
        int32_t v = order[size_t(i)];
        float *normal = mesh->vertices[v].normal;
        vec3_set(normal, 0.0f, 0.0f, 0.0f);
        int32_t start = i;
        while (start > 0 && x(v) - x(order[size_t(start - 1)]) <= eps) start--;
        for (int32_t j = start; j < n && x(order[size_t(j)]) - x(v) <= eps; j++) {
            int32_t w = order[size_t(j)];
            float d[3];
            if (vec3_length(vec3_sub(d, mesh->vertices[w].position, mesh->vertices[v].position)) > eps) continue;
            for (int c = 0; c < 3; c++) normal[c] += sums[size_t(w) * 3 + c];
        }
        vec3_normalize(normal);
    }
    mesh_touch(mesh);
}

MeshObject *mesh_duplicate(const MeshObject *mesh)
{
    MeshObject *copy = new_with_header(mesh);
    if (!copy) return nullptr;
    bool ok = true;
    if (mesh->vertex_capacity > 0 || mesh->face_capacity > 0 || mesh->vertex_count > 0 || mesh->face_count > 0) {
        int32_t vertex_room = std::max(mesh->vertex_capacity, mesh->vertex_count);
        int32_t face_room = std::max(mesh->face_capacity, mesh->face_count);
        copy->vertices = static_cast<MeshVertex *>(calloc(size_t(std::max(1, vertex_room)), sizeof(MeshVertex)));
        copy->faces = static_cast<MeshFace *>(calloc(size_t(std::max(1, face_room)), sizeof(MeshFace)));
        ok = copy->vertices && copy->faces;
        if (ok) {
            if (mesh->vertex_count > 0)
                memcpy(copy->vertices, mesh->vertices, size_t(mesh->vertex_count) * sizeof(MeshVertex));
            if (mesh->face_count > 0)
                memcpy(static_cast<void *>(copy->faces), mesh->faces, size_t(mesh->face_count) * sizeof(MeshFace));
            copy->vertex_count = mesh->vertex_count;
            copy->face_count = mesh->face_count;
            copy->vertex_capacity = vertex_room;
            copy->face_capacity = face_room;
            mesh_link_face_vertices(copy);
        }
    }
    for (int32_t k = 0; ok && k < mesh->keyframe_count && k < kMeshMaxKeyframes; k++) {
        if (!mesh->keyframes[k]) continue;
        copy->keyframes[k] = copy_array(mesh->keyframes[k], mesh->vertex_count);
        ok = copy->keyframes[k] || mesh->vertex_count == 0;
    }
    copy->keyframe_count = std::clamp(mesh->keyframe_count, 0, kMeshMaxKeyframes);
    if (ok && mesh->edge_table) {
        MeshEdgeTable *table = mesh_edge_table_reset(copy, mesh->edge_table->capacity);
        ok = table != nullptr;
        if (ok && mesh->edge_table->count > 0) {
            memcpy(table->records, mesh->edge_table->records, size_t(mesh->edge_table->count) * sizeof(MeshEdgeRecord));
            table->count = mesh->edge_table->count;
        }
        if (ok && mesh_edge_table_vertex_first(mesh->edge_table, mesh->vertex_count))
            mesh_edge_table_index_vertices(table, copy->vertex_count);
    }
    if (ok && mesh->child) {
        copy->child = mesh_duplicate(mesh->child);
        ok = copy->child != nullptr;
    }
    if (!ok) {
        mesh_delete(copy);
        return nullptr;
    }
    return copy;
}

void mesh_invert_in_place(MeshObject *mesh)
{
    for (int32_t f = 0; f < mesh->face_count; f++) {
        MeshFace *face = &mesh->faces[f];
        std::swap(face->v[1], face->v[2]);
        std::swap(face->corner[1], face->corner[2]);
        std::swap(face->uv[2], face->uv[4]);
        std::swap(face->uv[3], face->uv[5]);
        // Edges 0-1, 1-2, 2-0 become 0-2, 2-1, 1-0: the first and last change places.
        std::swap(face->edge_flags[0], face->edge_flags[2]);
        vec3_scale(face->normal, face->normal, -1.0f);
        vec3_scale(face->world_normal, face->world_normal, -1.0f);
    }
    for (int32_t i = 0; i < mesh->vertex_count; i++) {
        vec3_scale(mesh->vertices[i].normal, mesh->vertices[i].normal, -1.0f);
        vec3_scale(mesh->vertices[i].world_normal, mesh->vertices[i].world_normal, -1.0f);
    }
    for (int32_t k = 0; k < mesh->keyframe_count && k < kMeshMaxKeyframes; k++) {
        if (!mesh->keyframes[k]) continue;
        for (int32_t i = 0; i < mesh->vertex_count; i++)
            vec3_scale(mesh->keyframes[k][i].normal, mesh->keyframes[k][i].normal, -1.0f);
    }
    mesh_touch(mesh);
}

MeshObject *mesh_inverted_copy(const MeshObject *mesh)
{
    MeshObject *copy = mesh_duplicate(mesh);
    if (!copy) return nullptr;
    mesh_invert_in_place(copy);
    copy->inverted_copy = 1;
    return copy;
}

MeshObject *mesh_extract_tagged_faces(const MeshObject *mesh, int32_t tag)
{
    MeshObject *out = new_with_header(mesh);
    if (!out) return nullptr;
    std::vector<int32_t> remap(size_t(std::max(0, mesh->vertex_count)), -1);
    int32_t faces = 0;
    for (int32_t f = 0; f < mesh->face_count; f++) {
        const MeshFace &face = mesh->faces[f];
        bool valid = face.tag == tag;
        for (int32_t v : face.v) valid = valid && v >= 0 && v < mesh->vertex_count;
        if (!valid) continue;
        faces++;
        for (int32_t v : face.v) remap[size_t(v)] = 0;
    }
    int32_t vertices = 0;
    for (int32_t &r : remap)
        if (r == 0)
            r = vertices++;
        else
            r = -1;
    if (faces == 0) return out;
    bool ok = mesh_alloc_arrays(out, std::max(vertices, (faces + 1) / 2)) != 0;
    for (int32_t k = 0; ok && k < mesh->keyframe_count && k < kMeshMaxKeyframes; k++) {
        if (!mesh->keyframes[k]) continue;
        out->keyframes[k] = static_cast<MeshKeyframeVertex *>(malloc(size_t(vertices) * sizeof(MeshKeyframeVertex)));
        ok = out->keyframes[k] != nullptr;
        for (int32_t v = 0; ok && v < mesh->vertex_count; v++)
            if (remap[size_t(v)] >= 0) out->keyframes[k][remap[size_t(v)]] = mesh->keyframes[k][v];
    }
    if (!ok) {
        mesh_delete(out);
        return nullptr;
    }
    out->keyframe_count = std::clamp(mesh->keyframe_count, 0, kMeshMaxKeyframes);
    for (int32_t v = 0; v < mesh->vertex_count; v++)
        if (remap[size_t(v)] >= 0) out->vertices[remap[size_t(v)]] = mesh->vertices[v];
    out->vertex_count = vertices;
    for (int32_t f = 0; f < mesh->face_count; f++) {
        const MeshFace &face = mesh->faces[f];
        if (face.tag != tag || remap.empty()) continue;
        bool valid = true;
        for (int32_t v : face.v) valid = valid && v >= 0 && v < mesh->vertex_count;
        if (!valid) continue;
        MeshFace &copy = out->faces[out->face_count++];
        copy = face;
        for (int k = 0; k < 3; k++) copy.v[k] = remap[size_t(face.v[k])];
    }
    mesh_link_face_vertices(out);
    return out;
}

MeshPtr mesh_extract_tag_copy(int32_t tag)
{
    if (!g_current_mesh) return MeshPtr(mesh_new());
    return MeshPtr(mesh_extract_tagged_faces(g_current_mesh, tag));
}

int mesh_scratch_append_object(MeshScratch *scratch, const MeshObject *mesh)
{
    int64_t vertices = int64_t(scratch->vertex_count) + mesh->vertex_count;
    int64_t faces = int64_t(scratch->face_count) + mesh->face_count;
    if (vertices > kGeometryMaxElements || faces > kGeometryMaxElements) return 0;
    if (!grow(reinterpret_cast<void **>(&scratch->vertices), &scratch->vertex_capacity, int32_t(vertices),
              sizeof(MeshVertex)) ||
        !grow(reinterpret_cast<void **>(&scratch->faces), &scratch->face_capacity, int32_t(faces), sizeof(MeshFace)))
        return 0;
    int32_t base = scratch->vertex_count;
    for (int32_t i = 0; i < mesh->vertex_count; i++) {
        MeshVertex v = mesh->vertices[i];
        memcpy(v.position, v.world_position, sizeof v.position);
        memcpy(v.normal, v.world_normal, sizeof v.normal);
        scratch->vertices[scratch->vertex_count++] = v;
    }
    for (int32_t f = 0; f < mesh->face_count; f++) {
        MeshFace face = mesh->faces[f];
        bool valid = true;
        for (int32_t v : face.v) valid = valid && v >= 0 && v < mesh->vertex_count;
        if (!valid) continue;
        for (int k = 0; k < 3; k++) {
            face.v[k] += base;
            face.corner[k] = nullptr;  // the scratch's arrays move as they grow
        }
        memcpy(face.normal, face.world_normal, sizeof face.normal);
        scratch->faces[scratch->face_count++] = face;
    }
    return 1;
}

void mesh_scratch_free(MeshScratch *scratch)
{
    free(scratch->vertices);
    free(scratch->faces);
    *scratch = MeshScratch{};
}

MeshObject *mesh_from_scratch(const MeshScratch *scratch)
{
    MeshObject *mesh = mesh_new();
    if (!mesh) return nullptr;
    if (scratch->vertex_count > 0 || scratch->face_count > 0) {
        mesh->vertices =
            static_cast<MeshVertex *>(calloc(size_t(std::max(1, scratch->vertex_count)), sizeof(MeshVertex)));
        mesh->faces = static_cast<MeshFace *>(calloc(size_t(std::max(1, scratch->face_count)), sizeof(MeshFace)));
        if (!mesh->vertices || !mesh->faces) {
            mesh_delete(mesh);
            return nullptr;
        }
        if (scratch->vertex_count > 0)
            memcpy(mesh->vertices, scratch->vertices, size_t(scratch->vertex_count) * sizeof(MeshVertex));
        if (scratch->face_count > 0)
            memcpy(static_cast<void *>(mesh->faces), scratch->faces, size_t(scratch->face_count) * sizeof(MeshFace));
        mesh->vertex_count = mesh->vertex_capacity = scratch->vertex_count;
        mesh->face_count = mesh->face_capacity = scratch->face_count;
        for (int32_t i = 0; i < mesh->vertex_count; i++)
            memcpy(mesh->vertices[i].world_position, mesh->vertices[i].position, sizeof(float) * 3);
        mesh_link_face_vertices(mesh);
    }
    return mesh;
}

MeshObject *mesh_simplify(const MeshObject *mesh) { return mesh_duplicate(mesh); }

int mesh_segment_hit(MeshObject *mesh, const float *p0, const float *p1)
{
    float d[3];
    vec3_sub(d, p1, p0);
    float best = INFINITY;
    bool hit = false;
    for (int32_t f = 0; f < mesh->face_count; f++)
        if (test_face(mesh, f, p0, d, &best)) hit = true;
    return hit ? 1 : 0;
}

int mesh_face_segment_hit(MeshObject *mesh, int32_t face, const float *p0, const float *p1)
{
    if (face < 0 || face >= mesh->face_count) return 0;
    float d[3];
    vec3_sub(d, p1, p0);
    float best = INFINITY;
    return test_face(mesh, face, p0, d, &best) ? 1 : 0;
}
