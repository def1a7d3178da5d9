// The ray tree of the face lists: a bounding-volume tree over the world's triangles, answering
// whether a segment is blocked. Read-only once built, so any number of threads query it.
#include "scene/scene_local.h"

#include "geometry/mesh.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

const int32_t LEAF_SIZE = 4;
const int32_t STACK_DEPTH = 64;

struct RayTriangle {
    float p0[3], e1[3], e2[3];
};

// A leaf holds `count` triangles from `first`; a branch has count 0 and its children at `first`
// and `first + 1`.
struct RayNode {
    float box[6];  // min x, y, z, max x, y, z
    int32_t first;
    int32_t count;
};

struct Builder {
    RayTriangle *triangles;
    float (*centres)[3];
    int32_t *order;
    RayNode *nodes;
    int32_t node_count;
    uint64_t *keys;  // the selection's work space, one per triangle
};

// A float's bits turned so that unsigned order is the float order; both zeros map to one key.
uint32_t sortable_bits(float value)
{
    if (value == 0.0f) value = 0.0f;
    uint32_t bits;
    memcpy(&bits, &value, 4);
    return bits & 0x80000000u ? ~bits : bits | 0x80000000u;
}

void box_of(const Builder &b, int32_t first, int32_t count, float box[6])
{
    for (int a = 0; a < 3; a++) {
        box[a] = INFINITY;
        box[a + 3] = -INFINITY;
    }
    for (int32_t k = first; k < first + count; k++) {
        const RayTriangle &t = b.triangles[b.order[k]];
        for (int a = 0; a < 3; a++) {
            float corners[3] = {t.p0[a], t.p0[a] + t.e1[a], t.p0[a] + t.e2[a]};
            for (float c : corners) {
                box[a] = std::min(box[a], c);
                box[a + 3] = std::max(box[a + 3], c);
            }
        }
    }
}

// Median split on the box's longest axis; depth stays near log2 of the triangle count.
void build_node(Builder &b, int32_t node, int32_t first, int32_t count)
{
    RayNode &n = b.nodes[node];
    box_of(b, first, count, n.box);
    if (count <= LEAF_SIZE) {
        n.first = first;
        n.count = count;
        return;
    }
    int axis = 0;
    for (int a = 1; a < 3; a++)
        if (n.box[a + 3] - n.box[a] > n.box[axis + 3] - n.box[axis]) axis = a;
    int32_t half = count / 2;
    // The half with the smaller (centre, index) keys goes left. Keys packed in one integer each and
    // selected in a run of their own: the same halves as a compare of centres, ties by index, at a
    // fraction of the cost of comparing through the index.
    uint64_t *keys = b.keys + first;
    for (int32_t k = 0; k < count; k++) {
        int32_t t = b.order[first + k];
        keys[k] = uint64_t(sortable_bits(b.centres[t][axis])) << 32 | uint32_t(t);
    }
    std::nth_element(keys, keys + half, keys + count);
    for (int32_t k = 0; k < count; k++) b.order[first + k] = int32_t(uint32_t(keys[k]));
    int32_t children = b.node_count;
    b.node_count += 2;
    n.first = children;
    n.count = 0;
    build_node(b, children, first, half);
    build_node(b, children + 1, first + half, count - half);
}

bool segment_hits_box(const float box[6], const float origin[3], const float inverse[3])
{
    float near = 0.0f, far = 1.0f;
    for (int a = 0; a < 3; a++) {
        float t0 = (box[a] - origin[a]) * inverse[a], t1 = (box[a + 3] - origin[a]) * inverse[a];
        if (t0 > t1) std::swap(t0, t1);
        if (t0 > far || t1 < near) return false;
        near = std::max(near, t0);
        far = std::min(far, t1);
    }
    return near <= far;
}

// Moeller-Trumbore: the triangle crosses the open segment origin + t d, 0 < t < 1.
bool segment_hits_triangle(const RayTriangle &t, const float origin[3], const float d[3])
{
    float p[3] = {d[1] * t.e2[2] - d[2] * t.e2[1], d[2] * t.e2[0] - d[0] * t.e2[2], d[0] * t.e2[1] - d[1] * t.e2[0]};
    float det = t.e1[0] * p[0] + t.e1[1] * p[1] + t.e1[2] * p[2];
    if (std::fabs(det) < 1e-12f) return false;
    float inv = 1.0f / det;
    float s[3] = {origin[0] - t.p0[0], origin[1] - t.p0[1], origin[2] - t.p0[2]};
    float u = (s[0] * p[0] + s[1] * p[1] + s[2] * p[2]) * inv;
    if (u < 0.0f || u > 1.0f) return false;
    float q[3] = {s[1] * t.e1[2] - s[2] * t.e1[1], s[2] * t.e1[0] - s[0] * t.e1[2], s[0] * t.e1[1] - s[1] * t.e1[0]};
    float v = (d[0] * q[0] + d[1] * q[1] + d[2] * q[2]) * inv;
    if (v < 0.0f || u + v > 1.0f) return false;
    float at = (t.e2[0] * q[0] + t.e2[1] * q[1] + t.e2[2] * q[2]) * inv;
    return at > 0.0f && at < 1.0f;
}

}  // namespace

// Built in two steps: the face lists take a copy of the world triangles (cheap), and the nodes are
// made on the first lighting (ray_tree_finish), so an open that never lights pays no build.
struct SceneRayTree {
    RayNode *nodes;
    RayTriangle *triangles;  // in leaf order once finished; as gathered before
    float (*centres)[3];     // of the gathered triangles, until finished
    int32_t node_count;
    int32_t triangle_count;
    bool finished;
};

namespace {

// The world triangles of the meshes with an area, with their centres; their count.
int32_t gather_triangles(MeshObject *const *meshes, int32_t mesh_count, RayTriangle *triangles, float (*centres)[3])
{
    int32_t count = 0;
    for (int32_t m = 0; m < mesh_count; m++) {
        const MeshObject *mesh = meshes[m];
        if (!mesh || !mesh->vertices || !mesh->faces) continue;
        for (int32_t f = 0; f < mesh->face_count; f++) {
            const MeshFace &face = mesh->faces[f];
            bool valid = true;
            for (int32_t v : face.v) valid = valid && v >= 0 && v < mesh->vertex_count;
            if (!valid) continue;
            const float *p[3] = {mesh->vertices[face.v[0]].world_position, mesh->vertices[face.v[1]].world_position,
                                 mesh->vertices[face.v[2]].world_position};
            RayTriangle &t = triangles[count];
            for (int a = 0; a < 3; a++) {
                t.p0[a] = p[0][a];
                t.e1[a] = p[1][a] - p[0][a];
                t.e2[a] = p[2][a] - p[0][a];
                centres[count][a] = (p[0][a] + p[1][a] + p[2][a]) / 3.0f;
            }
            float n[3] = {t.e1[1] * t.e2[2] - t.e1[2] * t.e2[1], t.e1[2] * t.e2[0] - t.e1[0] * t.e2[2],
                          t.e1[0] * t.e2[1] - t.e1[1] * t.e2[0]};
            if (n[0] * n[0] + n[1] * n[1] + n[2] * n[2] > 1e-20f) count++;  // no area blocks nothing
        }
    }
    return count;
}

}  // namespace

SceneRayTree *ray_tree_build(MeshObject *const *meshes, int32_t mesh_count)
{
    int64_t total = 0;
    for (int32_t m = 0; m < mesh_count; m++)
        if (meshes[m] && meshes[m]->vertices && meshes[m]->faces) total += std::max(meshes[m]->face_count, 0);
    size_t n = size_t(std::max<int64_t>(total, 1));
    SceneRayTree *tree = new (std::nothrow) SceneRayTree{};
    if (!tree) return nullptr;
    tree->triangles = static_cast<RayTriangle *>(malloc(n * sizeof(RayTriangle)));
    tree->centres = static_cast<float(*)[3]>(malloc(n * sizeof(float[3])));
    if (!tree->triangles || !tree->centres) {
        ray_tree_free(tree);
        return nullptr;
    }
    tree->triangle_count = gather_triangles(meshes, mesh_count, tree->triangles, tree->centres);
    return tree;
}

void ray_tree_finish(SceneRayTree *tree)
{
    if (!tree || tree->finished) return;
    tree->finished = true;
    const int32_t count = tree->triangle_count;
    size_t n = size_t(std::max(count, 1));
    Builder b = {};
    b.triangles = tree->triangles;
    b.centres = tree->centres;
    b.order = static_cast<int32_t *>(malloc(n * sizeof(int32_t)));
    b.keys = static_cast<uint64_t *>(malloc(n * sizeof(uint64_t)));
    // A binary tree over leaves of at least one triangle has fewer than twice as many nodes.
    b.nodes = static_cast<RayNode *>(malloc(2 * n * sizeof(RayNode)));
    RayTriangle *sorted = static_cast<RayTriangle *>(malloc(n * sizeof(RayTriangle)));
    if (!b.order || !b.keys || !b.nodes || !sorted) {
        // Without memory the tree stays empty: no shadows, as with no tree.
        free(b.nodes);
        free(sorted);
        tree->triangle_count = 0;
    } else {
        for (int32_t k = 0; k < count; k++) b.order[k] = k;
        b.node_count = 1;
        if (count > 0) build_node(b, 0, 0, count);
        // Triangles in leaf order, so that a leaf reads one run.
        for (int32_t k = 0; k < count; k++) sorted[k] = b.triangles[b.order[k]];
        free(tree->triangles);
        tree->nodes = b.nodes;
        tree->triangles = sorted;
        tree->node_count = count > 0 ? b.node_count : 0;
    }
    free(tree->centres);
    tree->centres = nullptr;
    free(b.order);
    free(b.keys);
}

int ray_tree_blocked(const SceneRayTree *tree, const float p0[3], const float p1[3])
{
    if (!tree || !tree->finished || tree->node_count == 0) return 0;
    float d[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
    float inverse[3];
    // Along an axis the segment does not move, a large factor stands for the infinite one.
    for (int a = 0; a < 3; a++) inverse[a] = d[a] != 0.0f ? 1.0f / d[a] : 1e30f;
    int32_t stack[STACK_DEPTH];
    int32_t depth = 0;
    stack[depth++] = 0;
    while (depth > 0) {
        const RayNode &n = tree->nodes[stack[--depth]];
        if (!segment_hits_box(n.box, p0, inverse)) continue;
        if (n.count > 0) {
            for (int32_t k = n.first; k < n.first + n.count; k++)
                if (segment_hits_triangle(tree->triangles[k], p0, d)) return 1;
        } else if (depth + 2 <= STACK_DEPTH) {
            stack[depth++] = n.first;
            stack[depth++] = n.first + 1;
        }
    }
    return 0;
}

void ray_tree_free(SceneRayTree *tree)
{
    if (!tree) return;
    free(tree->nodes);
    free(tree->triangles);
    free(tree->centres);
    delete tree;
}
