// Mesh objects: construction, arrays, release, normals, world transforms and the edge table.
#include "geometry/geometry_local.h"
#include "geometry/vecmath.h"

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

// Angle at corner p between the edges toward a and b (0 when an edge has no length).
float corner_angle(const float *p, const float *a, const float *b)
{
    float u[3], v[3];
    vec3_sub(u, a, p);
    vec3_sub(v, b, p);
    float lengths = vec3_length(u) * vec3_length(v);
    if (!(lengths > 0.0f)) return 0.0f;
    float c = vec3_dot(u, v) / lengths;
    return acosf(fmaxf(-1.0f, fminf(1.0f, c)));
}

void free_keyframes(MeshObject *mesh)
{
    // Most meshes have no keyframes: a release of a world's meshes would otherwise be mostly
    // calls of free on null.
    for (MeshKeyframeVertex *&frame : mesh->keyframes) {
        if (!frame) continue;
        free(frame);
        frame = nullptr;
    }
    mesh->keyframe_count = 0;
}

void free_edge_table(MeshObject *mesh)
{
    if (!mesh->edge_table) return;
    free(mesh->edge_table->records);
    free(mesh->edge_table->vertex_first);
    free(mesh->edge_table->vertex_edges);
    delete mesh->edge_table;
    mesh->edge_table = nullptr;
}

}  // namespace

float *geometry_face_normal(float *out, const float *p0, const float *p1, const float *p2)
{
    float e1[3], e2[3];
    vec3_sub(e1, p1, p0);
    vec3_sub(e2, p2, p0);
    vec3_cross(out, e2, e1);
    float length = vec3_length(out);
    // A sliver whose cross product underflows is as flat as a zero-area face.
    if (!(length > 1e-30f) || !std::isfinite(length)) return vec3_set(out, 0.0f, 0.0f, 0.0f);
    return vec3_scale(out, out, 1.0f / length);
}

bool geometry_face_corners(const MeshObject *mesh, const MeshFace *face, const float *corners[3])
{
    for (int k = 0; k < 3; k++) {
        int32_t v = face->v[k];
        if (v < 0 || v >= mesh->vertex_count) return false;
        corners[k] = mesh->vertices[v].position;
    }
    return true;
}

void mesh_touch(MeshObject *mesh)
{
    // Shared by every mesh, so that a mesh made where another was freed never shows an old one's
    // revision.
    static std::atomic<uint64_t> next{1};
    mesh->revision = next.fetch_add(1, std::memory_order_relaxed);
}

MeshObject *mesh_construct(void *memory)
{
    MeshObject *mesh = static_cast<MeshObject *>(memory);
    memset(memory, 0, sizeof(MeshObject));
    mat4_identity(mesh->matrix);
    mat4_identity(mesh->rotation_matrix);
    mesh->bounding_radius = -1.0f;
    mesh->hit_face = -1;
    mesh_body_init(&mesh->body);
    mesh_touch(mesh);
    return mesh;
}

MeshObject *mesh_new()
{
    MeshObject *mesh = new (std::nothrow) MeshObject;
    return mesh ? mesh_construct(mesh) : nullptr;
}

void mesh_delete(MeshObject *mesh)
{
    if (!mesh) return;
    mesh_free_arrays(mesh);
    mesh_free_body_shapes(&mesh->body);
    delete mesh;
}

int mesh_alloc_arrays(MeshObject *mesh, int32_t capacity)
{
    free(mesh->vertices);
    free(mesh->faces);
    free_keyframes(mesh);
    free_edge_table(mesh);
    mesh->vertices = nullptr;
    mesh->faces = nullptr;
    mesh->vertex_count = mesh->face_count = 0;
    mesh->vertex_capacity = mesh->face_capacity = 0;
    mesh_touch(mesh);
    if (capacity < 0 || capacity > kGeometryMaxElements / 2) return 0;
    if (capacity == 0) return 1;
    mesh->vertices = static_cast<MeshVertex *>(calloc(size_t(capacity), sizeof(MeshVertex)));
    mesh->faces = static_cast<MeshFace *>(calloc(size_t(capacity) * 2, sizeof(MeshFace)));
    if (!mesh->vertices || !mesh->faces) {
        free(mesh->vertices);
        free(mesh->faces);
        mesh->vertices = nullptr;
        mesh->faces = nullptr;
        return 0;
    }
    mesh->vertex_capacity = capacity;
    mesh->face_capacity = capacity * 2;
    return 1;
}

int mesh_link_face_vertices(MeshObject *mesh)
{
    int ok = 1;
    for (int32_t f = 0; f < mesh->face_count; f++) {
        MeshFace *face = &mesh->faces[f];
        for (int k = 0; k < 3; k++) {
            int32_t v = face->v[k];
            bool valid = v >= 0 && v < mesh->vertex_count;
            face->corner[k] = valid ? &mesh->vertices[v] : nullptr;
            if (!valid) ok = 0;
        }
    }
    mesh_touch(mesh);
    return ok;
}

void mesh_free_arrays(MeshObject *mesh)
{
    free(mesh->vertices);
    free(mesh->faces);
    mesh->vertices = nullptr;
    mesh->faces = nullptr;
    mesh->vertex_count = mesh->face_count = 0;
    mesh->vertex_capacity = mesh->face_capacity = 0;
    free_keyframes(mesh);
    free_edge_table(mesh);
    mesh_delete(mesh->child);
    mesh->child = nullptr;
    mesh_touch(mesh);
}

float *mesh_center(MeshObject *mesh)
{
    double sum[3] = {0.0, 0.0, 0.0};
    for (int32_t i = 0; i < mesh->vertex_count; i++)
        for (int k = 0; k < 3; k++) sum[k] += mesh->vertices[i].position[k];
    for (int k = 0; k < 3; k++) mesh->centre[k] = mesh->vertex_count > 0 ? float(sum[k] / mesh->vertex_count) : 0.0f;
    return mesh->centre;
}

float mesh_radius(const MeshObject *mesh)
{
    float largest = 0.0f;
    for (int32_t i = 0; i < mesh->vertex_count; i++) largest = fmaxf(largest, vec3_length(mesh->vertices[i].position));
    return largest;
}

void geometry_accumulate_normals(MeshObject *mesh)
{
    for (int32_t i = 0; i < mesh->vertex_count; i++) vec3_set(mesh->vertices[i].normal, 0.0f, 0.0f, 0.0f);
    for (int32_t f = 0; f < mesh->face_count; f++) {
        MeshFace *face = &mesh->faces[f];
        const float *p[3];
        if (!geometry_face_corners(mesh, face, p)) {
            vec3_set(face->normal, 0.0f, 0.0f, 0.0f);
            continue;
        }
        geometry_face_normal(face->normal, p[0], p[1], p[2]);
        if (vec3_dot(face->normal, face->normal) == 0.0f) continue;
        for (int k = 0; k < 3; k++) {
            float angle = corner_angle(p[k], p[(k + 1) % 3], p[(k + 2) % 3]);
            float *n = mesh->vertices[face->v[k]].normal;
            for (int c = 0; c < 3; c++) n[c] += face->normal[c] * angle;
        }
    }
    mesh_touch(mesh);
}

void mesh_compute_normals(MeshObject *mesh)
{
    geometry_accumulate_normals(mesh);
    for (int32_t i = 0; i < mesh->vertex_count; i++) vec3_normalize(mesh->vertices[i].normal);
    mesh_touch(mesh);
}

void mesh_update_world_transform(MeshObject *mesh)
{
    mat4_identity(mesh->rotation_matrix);
    mat4_rotate_euler_deg(mesh->rotation_matrix, mesh->rotation[0], mesh->rotation[1], mesh->rotation[2]);
    mat4_copy(mesh->matrix, mesh->rotation_matrix);
    mat4_translate(mesh->matrix, mesh->position[0], mesh->position[1], mesh->position[2]);
    mesh_transform_by_matrices(mesh, mesh->matrix, mesh->rotation_matrix);
}

void mesh_transform_by_matrices(MeshObject *mesh, const float *m1, const float *m2)
{
    // Local copies: the matrices may be the mesh's own, and every store into a vertex would
    // otherwise make the compiler read them again.
    float point[16], vector[16];
    memcpy(point, m1, sizeof point);
    memcpy(vector, m2, sizeof vector);
    const int32_t vertices = mesh->vertex_count, faces = mesh->face_count;
    for (int32_t i = 0; i < vertices; i++) {
        MeshVertex *v = &mesh->vertices[i];
        mat4_transform_point(v->world_position, point, v->position);
        mat4_transform_vector(v->world_normal, vector, v->normal);
    }
    for (int32_t f = 0; f < faces; f++)
        mat4_transform_vector(mesh->faces[f].world_normal, vector, mesh->faces[f].normal);
    mesh_touch(mesh);
}

MeshEdgeTable *mesh_edge_table_reset(MeshObject *mesh, int32_t capacity)
{
    free_edge_table(mesh);
    if (capacity < 0 || capacity > kGeometryMaxElements) return nullptr;
    MeshEdgeTable *table = new (std::nothrow) MeshEdgeTable{nullptr, 0, 0, nullptr, nullptr, -1, 0};
    if (!table) return nullptr;
    if (capacity > 0) {
        table->records = static_cast<MeshEdgeRecord *>(calloc(size_t(capacity), sizeof(MeshEdgeRecord)));
        if (!table->records) {
            delete table;
            return nullptr;
        }
    }
    table->capacity = capacity;
    mesh->edge_table = table;
    return table;
}

int32_t mesh_edge_table_append(MeshEdgeTable *table, int32_t a, int32_t b, int32_t flag)
{
    if (!table || table->count >= table->capacity) return -1;
    table->records[table->count] = MeshEdgeRecord{a, b, flag};
    table->indexed_count = -1;
    return table->count++;
}

int32_t mesh_edge_table_index_vertices(MeshEdgeTable *table, int32_t vertex_count)
{
    if (!table) return 0;
    free(table->vertex_first);
    free(table->vertex_edges);
    table->vertex_first = table->vertex_edges = nullptr;
    table->indexed_count = -1;
    if (vertex_count < 0 || vertex_count > kGeometryMaxElements || table->count < 0) return 0;
    auto valid = [&](const MeshEdgeRecord &r) { return r.a >= 0 && r.b >= 0 && r.a < vertex_count && r.b < vertex_count; };
    int32_t *first = static_cast<int32_t *>(calloc(size_t(vertex_count) + 1, sizeof(int32_t)));
    if (!first) return 0;
    size_t entries = 0;
    for (int32_t e = 0; e < table->count; e++) {
        const MeshEdgeRecord &r = table->records[e];
        if (!valid(r)) continue;
        first[r.a + 1]++;
        if (r.b != r.a) first[r.b + 1]++;
        entries += r.b != r.a ? 2 : 1;
    }
    for (int32_t v = 0; v < vertex_count; v++) first[v + 1] += first[v];
    int32_t *edges = static_cast<int32_t *>(malloc((entries > 0 ? entries : 1) * sizeof(int32_t)));
    std::vector<int32_t> fill(first, first + vertex_count);
    if (!edges) {
        free(first);
        return 0;
    }
    for (int32_t e = 0; e < table->count; e++) {
        const MeshEdgeRecord &r = table->records[e];
        if (!valid(r)) continue;
        edges[fill[size_t(r.a)]++] = e;
        if (r.b != r.a) edges[fill[size_t(r.b)]++] = e;
    }
    table->vertex_first = first;
    table->vertex_edges = edges;
    table->indexed_vertices = vertex_count;
    table->indexed_count = table->count;
    return 1;
}

int32_t mesh_edge_table_find(const int32_t *records, int32_t count, int32_t words_per_record, int32_t a, int32_t b)
{
    if (!records || words_per_record < 2) return -1;
    for (int32_t i = 0; i < count; i++) {
        const int32_t *r = records + size_t(i) * size_t(words_per_record);
        if ((r[0] == a && r[1] == b) || (r[0] == b && r[1] == a)) return i;
    }
    return -1;
}

int32_t mesh_edge_table_find(const MeshEdgeTable *table, int32_t a, int32_t b)
{
    if (!table) return -1;
    for (int32_t i = 0; i < table->count; i++) {
        const MeshEdgeRecord &r = table->records[i];
        if ((r.a == a && r.b == b) || (r.a == b && r.b == a)) return i;
    }
    return -1;
}

bool geometry_segment_triangle(const float *p0, const float *d, const float *a, const float *b, const float *c,
                               float *t)
{
    float e1[3], e2[3], pv[3], tv[3], qv[3];
    vec3_sub(e1, b, a);
    vec3_sub(e2, c, a);
    vec3_cross(pv, d, e2);
    float det = vec3_dot(e1, pv);
    if (!(fabsf(det) > 1e-30f)) return false;
    float inverse = 1.0f / det;
    vec3_sub(tv, p0, a);
    float u = vec3_dot(tv, pv) * inverse;
    if (u < 0.0f || u > 1.0f) return false;
    vec3_cross(qv, tv, e1);
    float v = vec3_dot(d, qv) * inverse;
    if (v < 0.0f || u + v > 1.0f) return false;
    float s = vec3_dot(e2, qv) * inverse;
    if (!(s >= 0.0f && s <= 1.0f)) return false;
    *t = s;
    return true;
}
