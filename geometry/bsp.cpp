// The face BSP (a bounding-box tree over a mesh's faces) and its queries, and the light BSP's ray.
#include "geometry/bsp.h"

#include "geometry/geometry_local.h"
#include "geometry/vecmath.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

uint8_t g_face_bsp_builder = 1;
float g_face_bsp_split = 0.5f;
uint8_t g_carve_flag;

namespace {

// Deeper nodes become leaves whatever their size; this also bounds the query stacks.
constexpr int kMaxDepth = 48;

struct Builder {
    const float *bounds;        // 6 per face
    std::vector<float> centre;  // 3 per face
    std::vector<FaceBspNode> nodes;
    std::vector<int32_t> leaf_faces;
    int32_t leaf_size;
};

void node_bounds(const Builder &b, const int32_t *faces, int32_t count, FaceBspNode *node)
{
    for (int k = 0; k < 3; k++) {
        node->lo[k] = INFINITY;
        node->hi[k] = -INFINITY;
    }
    for (int32_t i = 0; i < count; i++) {
        const float *box = b.bounds + size_t(faces[i]) * 6;
        for (int k = 0; k < 3; k++) {
            node->lo[k] = fminf(node->lo[k], box[k]);
            node->hi[k] = fmaxf(node->hi[k], box[3 + k]);
        }
    }
}

// Splits faces[0..count) in two non-empty groups along the longest axis of their centres;
// returns the size of the first group, or 0 when the centres cannot be told apart.
int32_t split_faces(Builder &b, int32_t *faces, int32_t count)
{
    float lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY};
    for (int32_t i = 0; i < count; i++) {
        const float *c = &b.centre[size_t(faces[i]) * 3];
        for (int k = 0; k < 3; k++) {
            lo[k] = fminf(lo[k], c[k]);
            hi[k] = fmaxf(hi[k], c[k]);
        }
    }
    int axis = 0;
    for (int k = 1; k < 3; k++)
        if (hi[k] - lo[k] > hi[axis] - lo[axis]) axis = k;
    if (!(hi[axis] > lo[axis])) return 0;
    float split = std::clamp(g_face_bsp_split, 0.05f, 0.95f);
    auto key = [&](int32_t f) { return b.centre[size_t(f) * 3 + axis]; };
    if (g_face_bsp_builder == 0) {
        float threshold = lo[axis] + split * (hi[axis] - lo[axis]);
        int32_t *middle = std::stable_partition(faces, faces + count, [&](int32_t f) { return key(f) < threshold; });
        int32_t first = int32_t(middle - faces);
        if (first > 0 && first < count) return first;
    }
    std::sort(faces, faces + count,
              [&](int32_t a, int32_t c) { return key(a) < key(c) || (key(a) == key(c) && a < c); });
    int32_t first = int32_t(lroundf(float(count) * split));
    return std::clamp(first, int32_t(1), count - 1);
}

void build_node(Builder &b, int32_t *faces, int32_t count, int depth)
{
    size_t index = b.nodes.size();
    b.nodes.push_back(FaceBspNode{});
    node_bounds(b, faces, count, &b.nodes[index]);
    int32_t first = (count > b.leaf_size && depth < kMaxDepth) ? split_faces(b, faces, count) : 0;
    if (first == 0) {
        b.nodes[index].first = int32_t(b.leaf_faces.size());
        b.nodes[index].count = count;
        b.leaf_faces.insert(b.leaf_faces.end(), faces, faces + count);
        return;
    }
    build_node(b, faces, first, depth + 1);
    b.nodes[index].first = int32_t(b.nodes.size());
    b.nodes[index].count = 0;
    build_node(b, faces + first, count - first, depth + 1);
}

template <class T>
T *copy_out(const std::vector<T> &v)
{
    T *out = static_cast<T *>(malloc(std::max<size_t>(1, v.size()) * sizeof(T)));
    if (out && !v.empty()) memcpy(out, v.data(), v.size() * sizeof(T));
    return out;
}

int build(FaceBsp *bsp, int32_t parameter, const MeshObject *mesh, bool with_vertices)
{
    bsp_free_face_leaf_lists(bsp);
    bsp_free_face_tree_leaves(bsp);
    static std::atomic<uint64_t> next_build{1};
    bsp->build_id = next_build.fetch_add(1, std::memory_order_relaxed);
    bsp->mesh = mesh;
    int32_t face_total = mesh->face_count;
    if (face_total <= 0) return 1;
    bsp->face_bounds = static_cast<float *>(malloc(size_t(face_total) * 6 * sizeof(float)));
    if (!bsp->face_bounds) return 0;
    try {
        Builder b;
        b.bounds = bsp->face_bounds;
        b.leaf_size = parameter < 1 ? 4 : std::min(parameter, int32_t(1024));
        b.centre.resize(size_t(face_total) * 3);
        std::vector<int32_t> faces;
        for (int32_t f = 0; f < face_total; f++) {
            const float *p[3];
            float *box = bsp->face_bounds + size_t(f) * 6;
            if (!geometry_face_corners(mesh, &mesh->faces[f], p)) {
                memset(box, 0, 6 * sizeof(float));
                continue;
            }
            for (int k = 0; k < 3; k++) {
                box[k] = fminf(p[0][k], fminf(p[1][k], p[2][k]));
                box[3 + k] = fmaxf(p[0][k], fmaxf(p[1][k], p[2][k]));
                b.centre[size_t(f) * 3 + k] = (p[0][k] + p[1][k] + p[2][k]) * 0.33333334f;
            }
            faces.push_back(f);
        }
        if (!faces.empty()) build_node(b, faces.data(), int32_t(faces.size()), 0);
        bsp->nodes = copy_out(b.nodes);
        bsp->leaf_faces = copy_out(b.leaf_faces);
        if (!bsp->nodes || !bsp->leaf_faces) throw std::bad_alloc();
        bsp->node_count = int32_t(b.nodes.size());
        bsp->face_count = int32_t(b.leaf_faces.size());
        if (bsp->node_count == 0) {
            free(bsp->nodes);
            bsp->nodes = nullptr;
        }
        if (with_vertices && bsp->node_count > 0) {
            bsp->leaf_vertices =
                static_cast<FaceBspLeafVertices *>(calloc(size_t(bsp->node_count), sizeof(FaceBspLeafVertices)));
            if (!bsp->leaf_vertices) throw std::bad_alloc();
            bsp->leaf_vertices_count = bsp->node_count;
            std::vector<int32_t> used;
            for (int32_t n = 0; n < bsp->node_count; n++) {
                const FaceBspNode &node = bsp->nodes[n];
                if (node.count == 0) continue;
                used.clear();
                for (int32_t i = 0; i < node.count; i++)
                    for (int32_t v : mesh->faces[bsp->leaf_faces[node.first + i]].v) used.push_back(v);
                std::sort(used.begin(), used.end());
                used.erase(std::unique(used.begin(), used.end()), used.end());
                bsp->leaf_vertices[n].vertices = copy_out(used);
                if (!bsp->leaf_vertices[n].vertices) throw std::bad_alloc();
                bsp->leaf_vertices[n].count = int32_t(used.size());
            }
        }
    } catch (const std::bad_alloc &) {
        bsp_free_face_leaf_lists(bsp);
        bsp_free_face_tree_leaves(bsp);
        return 0;
    }
    return 1;
}

bool push_face(FaceBspResult *r, int32_t face)
{
    if (r->count == r->capacity) {
        int32_t capacity = r->capacity ? r->capacity * 2 : 64;
        int32_t *grown = static_cast<int32_t *>(realloc(r->faces, size_t(capacity) * sizeof(int32_t)));
        if (!grown) return false;
        r->faces = grown;
        r->capacity = capacity;
    }
    r->faces[r->count++] = face;
    return true;
}

bool push_entry(FaceBspEntryList *list, const MeshObject *mesh, int32_t face)
{
    if (list->count == list->capacity) {
        int32_t capacity = list->capacity ? list->capacity * 2 : 64;
        auto *grown = static_cast<FaceBspEntry *>(realloc(list->entries, size_t(capacity) * sizeof(FaceBspEntry)));
        if (!grown) return false;
        list->entries = grown;
        list->capacity = capacity;
    }
    const MeshFace &f = mesh->faces[face];
    list->entries[list->count++] = FaceBspEntry{face, f.texture_id, f.texture_id2};
    return true;
}

bool sphere_meets_box(const float *c, float r2, const float *lo, const float *hi)
{
    float d2 = 0.0f;
    for (int k = 0; k < 3; k++) {
        float e = c[k] < lo[k] ? lo[k] - c[k] : (c[k] > hi[k] ? c[k] - hi[k] : 0.0f);
        d2 += e * e;
    }
    return d2 <= r2;
}

// The triangle as its box and plane, for the triangle query.
struct TriangleRegion {
    float lo[3], hi[3];
    float normal[3];  // zero when the triangle has no area
    float d;
};

bool triangle_meets_box(const TriangleRegion &t, const float *lo, const float *hi)
{
    const float slack = g_bsp_epsilon;
    for (int k = 0; k < 3; k++)
        if (t.lo[k] > hi[k] + slack || t.hi[k] < lo[k] - slack) return false;
    float centre_side = t.d, reach = slack;
    for (int k = 0; k < 3; k++) {
        centre_side += t.normal[k] * 0.5f * (lo[k] + hi[k]);
        reach += fabsf(t.normal[k]) * 0.5f * (hi[k] - lo[k]);
    }
    return fabsf(centre_side) <= reach;
}

}  // namespace

int bsp_build_face_tree(FaceBsp *bsp, int32_t parameter, const MeshObject *mesh)
{
    return build(bsp, parameter, mesh, false);
}

int bsp_build_face_tree_with_vertices(FaceBsp *bsp, int32_t parameter, const MeshObject *mesh)
{
    return build(bsp, parameter, mesh, true);
}

namespace {

// The query centre in the tree's frame (the inverse of `matrix` kept in the worker's result);
// false for a singular matrix.
bool local_centre(FaceBspResult *result, float x, float y, float z, const float *matrix, float *c)
{
    vec3_set(c, x, y, z);
    if (!matrix) return true;
    if (!result->inverse_ok || memcmp(result->matrix, matrix, sizeof result->matrix) != 0) {
        result->inverse_ok = 0;
        memcpy(result->matrix, matrix, sizeof result->matrix);
        if (!mat4_invert(matrix, result->inverse)) return false;
        result->inverse_ok = 1;
    }
    mat4_transform_point(c, result->inverse, c);
    return true;
}

// The tree walk of the sphere query (local centre c) into `result`; false when memory ran out
// (the result holds the faces found until then).
bool query_sphere(FaceBsp *bsp, FaceBspResult *result, const float *c, float radius)
{
    float r2 = radius * radius;
    if (!(radius >= 0.0f)) return true;
    int32_t stack[kMaxDepth + 2];
    int top = 0;
    stack[top++] = 0;
    while (top > 0) {
        int32_t n = stack[--top];
        const FaceBspNode &node = bsp->nodes[n];
        if (!sphere_meets_box(c, r2, node.lo, node.hi)) continue;
        if (node.count == 0) {
            stack[top++] = node.first;  // second child after the first
            stack[top++] = n + 1;
            continue;
        }
        for (int32_t i = 0; i < node.count; i++) {
            int32_t face = bsp->leaf_faces[node.first + i];
            const float *box = bsp->face_bounds + size_t(face) * 6;
            if (sphere_meets_box(c, r2, box, box + 3) && !push_face(result, face)) return false;
        }
    }
    return true;
}

// The worker's result emptied and the sphere's centre in the tree's frame; false when there is
// nothing to search (no tree, or a centre the matrix cannot take back).
bool start_query(const FaceBsp *bsp, FaceBspResult *result, float x, float y, float z, const float *matrix, float *c)
{
    result->count = 0;
    return bsp->nodes && local_centre(result, x, y, z, matrix, c);
}

}  // namespace

const FaceBspResult *bsp_query_face_tree_sphere(FaceBsp *bsp, float x, float y, float z, float radius, int32_t worker,
                                                const float *matrix)
{
    if (worker < 0 || worker >= kFaceBspWorkers) return nullptr;
    FaceBspResult *result = &bsp->results[worker];
    float c[3];
    if (!start_query(bsp, result, x, y, z, matrix, c)) return result;
    query_sphere(bsp, result, c, radius);
    return result;
}

const FaceBspResult *bsp_query_face_tree_sphere_kept(FaceBsp *bsp, float x, float y, float z, float radius,
                                                     int32_t worker, const float *matrix, FaceBspSphereKeep *keep,
                                                     float grow)
{
    if (worker < 0 || worker >= kFaceBspWorkers) return nullptr;
    FaceBspResult *result = &bsp->results[worker];
    float c[3];
    if (!start_query(bsp, result, x, y, z, matrix, c)) return result;
    if (!(radius >= 0.0f)) return result;
    // The kept sphere holds this one in the tree's frame (the faces' boxes are there), with room
    // for the rounding of both box tests: every face this sphere meets, the kept one met.
    const bool same_tree = keep->build_id == bsp->build_id && bsp->build_id != 0;
    float d[3];
    const float apart = vec3_length(vec3_sub(d, c, keep->centre));
    const float scale = fmaxf(fabsf(c[0]), fmaxf(fabsf(c[1]), fabsf(c[2])));
    const float room = 1e-3f * keep->radius + 1e-6f * (1.0f + scale);
    if (!(same_tree && apart + radius + room <= keep->radius)) {
        const float kept_radius = radius + (grow > 0.0f ? grow : 0.0f);
        keep->build_id = 0;
        result->count = 0;
        bool whole = query_sphere(bsp, result, c, kept_radius);
        if (whole && keep->capacity < result->count) {
            auto *grown = static_cast<int32_t *>(realloc(keep->faces, size_t(result->count) * sizeof(int32_t)));
            if (grown) {
                keep->faces = grown;
                keep->capacity = result->count;
            }
            whole = grown != nullptr;
        }
        if (!whole) {
            // Nothing kept without memory: the plain query.
            result->count = 0;
            query_sphere(bsp, result, c, radius);
            return result;
        }
        if (result->count > 0) memcpy(keep->faces, result->faces, size_t(result->count) * sizeof(int32_t));
        keep->count = result->count;
        keep->build_id = bsp->build_id;
        vec3_set(keep->centre, c[0], c[1], c[2]);
        keep->radius = kept_radius;
    }
    // The kept faces in the tree's order, tested as the tree walk tests them.
    result->count = 0;
    const float r2 = radius * radius;
    for (int32_t i = 0; i < keep->count; i++) {
        const int32_t face = keep->faces[i];
        const float *box = bsp->face_bounds + size_t(face) * 6;
        if (sphere_meets_box(c, r2, box, box + 3) && !push_face(result, face)) return result;
    }
    return result;
}

void bsp_sphere_keep_free(FaceBspSphereKeep *keep)
{
    free(keep->faces);
    *keep = FaceBspSphereKeep{};
}

const FaceBspEntryList *face_bsp_query_triangle(FaceBsp *bsp, const float *p0, const float *p1, const float *p2)
{
    FaceBspEntryList *list = &bsp->main;
    list->count = 0;
    if (!bsp->nodes) return list;
    TriangleRegion t;
    for (int k = 0; k < 3; k++) {
        t.lo[k] = fminf(p0[k], fminf(p1[k], p2[k]));
        t.hi[k] = fmaxf(p0[k], fmaxf(p1[k], p2[k]));
    }
    geometry_face_normal(t.normal, p0, p1, p2);
    t.d = -vec3_dot(t.normal, p0);
    int32_t stack[kMaxDepth + 2];
    int top = 0;
    stack[top++] = 0;
    while (top > 0) {
        int32_t n = stack[--top];
        const FaceBspNode &node = bsp->nodes[n];
        if (!triangle_meets_box(t, node.lo, node.hi)) continue;
        if (node.count == 0) {
            stack[top++] = node.first;
            stack[top++] = n + 1;
            continue;
        }
        for (int32_t i = 0; i < node.count; i++) {
            int32_t face = bsp->leaf_faces[node.first + i];
            const float *box = bsp->face_bounds + size_t(face) * 6;
            if (triangle_meets_box(t, box, box + 3) && !push_entry(list, bsp->mesh, face)) return list;
        }
    }
    return list;
}

const FaceBspEntryList *face_bsp_collect_all(FaceBsp *bsp)
{
    FaceBspEntryList *list = &bsp->main;
    list->count = 0;
    for (int32_t i = 0; i < bsp->face_count; i++)
        if (!push_entry(list, bsp->mesh, bsp->leaf_faces[i])) break;
    return list;
}

void bsp_free_face_leaf_lists(FaceBsp *bsp)
{
    free(bsp->leaf_faces);
    bsp->leaf_faces = nullptr;
    bsp->face_count = 0;
    if (bsp->leaf_vertices) {
        for (int32_t n = 0; n < bsp->leaf_vertices_count; n++) free(bsp->leaf_vertices[n].vertices);
        free(bsp->leaf_vertices);
        bsp->leaf_vertices = nullptr;
        bsp->leaf_vertices_count = 0;
    }
}

void bsp_free_face_tree_leaves(FaceBsp *bsp)
{
    bsp->build_id = 0;
    free(bsp->nodes);
    bsp->nodes = nullptr;
    bsp->node_count = 0;
    free(bsp->face_bounds);
    bsp->face_bounds = nullptr;
}

void bsp_free_face_tree(FaceBsp *bsp)
{
    bsp_free_face_leaf_lists(bsp);
    bsp_free_face_tree_leaves(bsp);
    for (FaceBspResult &r : bsp->results) {
        free(r.faces);
        r = FaceBspResult{};
    }
    free(bsp->main.entries);
    bsp->main = FaceBspEntryList{nullptr, 0, 0};
    bsp->mesh = nullptr;
}

int bsp_point_inside_solids(const LightBsp *bsp, const float *point)
{
    float toward[3] = {-bsp->light_vector[0], -bsp->light_vector[1], -bsp->light_vector[2]};
    vec3_normalize(toward);
    if (vec3_dot(toward, toward) == 0.0f) return 1;
    float reach = bsp->reach > 0.0f ? bsp->reach : 10000.0f;
    float d[3];
    vec3_scale(d, toward, reach);
    // A point lying on a surface must not shadow itself.
    float nearest = g_weld_epsilon / reach;
    for (int32_t m = 0; m < bsp->mesh_count; m++) {
        const MeshObject *mesh = bsp->meshes[m];
        if (!mesh) continue;
        for (int32_t f = 0; f < mesh->face_count; f++) {
            const MeshFace &face = mesh->faces[f];
            bool valid = true;
            for (int32_t v : face.v) valid = valid && v >= 0 && v < mesh->vertex_count;
            if (!valid) continue;
            float t;
            if (geometry_segment_triangle(point, d, mesh->vertices[face.v[0]].world_position,
                                          mesh->vertices[face.v[1]].world_position,
                                          mesh->vertices[face.v[2]].world_position, &t) &&
                t > nearest)
                return 0;
        }
    }
    return 1;
}
