// The face BSP of a mesh: a bounding-box tree over its faces, built once in the mesh's local frame,
// each face in exactly one leaf. Queries return every face whose bounding box meets the query
// region, each once, in the tree's fixed order.
//
// Threads: the sphere query may run on the 8 physics workers at once over one tree; worker w
// writes only results[w]. The triangle query and collect-all use the main list and belong to one
// thread. Building and freeing happen when no query runs.
//
// Also the light BSP: whether a point sees the light, answered by a shadow ray.
#pragma once

#include <cstdint>

struct MeshObject;

constexpr int32_t kFaceBspWorkers = 8;

struct FaceBspNode {
    float lo[3];  // bounds of the faces below, local frame
    float hi[3];
    int32_t first;  // leaf: first entry in leaf_faces; inner: index of the second child
    int32_t count;  // leaf: number of faces (> 0); inner: 0, the first child follows the node
};

// A list of face indices; its storage is kept from query to query.
struct FaceBspResult {
    int32_t *faces;
    int32_t count;
    int32_t capacity;
    // The query's last matrix and its inverse (valid when inverse_ok is 1; 0: none kept): a
    // collider that did not move is not inverted again. Each worker's result fills whole cache
    // lines, so that workers querying one tree do not write to a line another one reads.
    uint8_t inverse_ok;
    float matrix[16];
    float inverse[16];
    uint8_t padding[44];
};
static_assert(sizeof(FaceBspResult) % 64 == 0);

// One face found by the triangle query, with the texture ids the decal builders group by.
struct FaceBspEntry {
    int32_t face;
    int16_t texture_id;
    int16_t texture_id2;
};

struct FaceBspEntryList {
    FaceBspEntry *entries;
    int32_t count;
    int32_t capacity;
};

// The vertices used by one leaf's faces, ascending (bsp_build_face_tree_with_vertices).
struct FaceBspLeafVertices {
    int32_t *vertices;
    int32_t count;
};

// A zeroed record is an empty tree.
struct FaceBsp {
    FaceBspNode *nodes;  // the root is nodes[0]; null: no tree
    int32_t node_count;
    int32_t *leaf_faces;  // the faces of every leaf, leaf after leaf
    int32_t face_count;
    float *face_bounds;                  // 6 floats per face of the mesh (lo, hi), local frame
    FaceBspLeafVertices *leaf_vertices;  // one per node (empty for inner nodes), or null
    int32_t leaf_vertices_count;
    const MeshObject *mesh;  // not owned; must outlive the tree
    FaceBspResult results[kFaceBspWorkers];
    FaceBspEntryList main;
    uint64_t build_id;  // new at every build, never given before (0: none)
};

// The faces of a larger sphere query, kept so that the queries after it whose spheres it holds
// filter them instead of walking the tree (bsp_query_face_tree_sphere_kept). Owned storage:
// bsp_sphere_keep_free.
struct FaceBspSphereKeep {
    int32_t *faces;
    int32_t count;
    int32_t capacity;
    uint64_t build_id;  // of the tree queried; 0: nothing kept
    float centre[3];    // the tree's frame, whatever matrix mapped it there
    float radius;
};

// Read when a tree is built. Builder 1 splits a node's faces at the `split` quantile of their
// centres along the longest axis (0.5: the median); builder 0 splits that axis's range at the
// fraction `split`. Any choice gives a valid tree.
extern uint8_t g_face_bsp_builder;
extern float g_face_bsp_split;
// Cleared by the hole code before each world preparation of a lighting run.
extern uint8_t g_carve_flag;

// Builds the tree over every face of the mesh (faces with an index outside the vertex array are
// left out), releasing the record's previous tree first. `parameter` is the most faces a leaf
// holds (callers pass 3 to 16; below 1 counts as 4). Returns 1, or 0 without memory (empty tree).
int bsp_build_face_tree(FaceBsp *bsp, int32_t parameter, const MeshObject *mesh);
// The same, plus the vertices of every leaf. Face tags are not touched.
int bsp_build_face_tree_with_vertices(FaceBsp *bsp, int32_t parameter, const MeshObject *mesh);

// The faces whose local bounding box meets the sphere (x, y, z, radius), the centre given in world
// space and mapped into the mesh's frame by the inverse of `matrix` (local to world; null:
// identity). Replaces worker's previous result; null for a worker outside 0..7. A singular matrix
// gives an empty result.
const FaceBspResult *bsp_query_face_tree_sphere(FaceBsp *bsp, float x, float y, float z, float radius, int32_t worker,
                                                const float *matrix);
// The same faces in the same order as bsp_query_face_tree_sphere, into the same result: from the
// faces kept in `keep` when its sphere holds this one in the tree's frame (same tree), else from a
// query of the sphere grown by `grow`, which `keep` then holds.
const FaceBspResult *bsp_query_face_tree_sphere_kept(FaceBsp *bsp, float x, float y, float z, float radius,
                                                     int32_t worker, const float *matrix, FaceBspSphereKeep *keep,
                                                     float grow);
void bsp_sphere_keep_free(FaceBspSphereKeep *keep);
// Main thread: the faces whose bounding box meets the triangle's box and straddles or touches its
// plane, points in the mesh's local frame. Replaces the main list.
const FaceBspEntryList *face_bsp_query_triangle(FaceBsp *bsp, const float *p0, const float *p1, const float *p2);
// Main thread: every face of every leaf, in leaf order. Replaces the main list.
const FaceBspEntryList *face_bsp_collect_all(FaceBsp *bsp);

// Frees the leaf face lists and the per-leaf vertices.
void bsp_free_face_leaf_lists(FaceBsp *bsp);
// Frees the node tree and the face bounds.
void bsp_free_face_tree_leaves(FaceBsp *bsp);
// Frees everything: leaf lists, node tree and query results; the record is left empty.
void bsp_free_face_tree(FaceBsp *bsp);

// The light BSP of a lit world: the world-space faces of its meshes and the direction the light
// travels (the world's light vector). Nothing here is owned.
struct LightBsp {
    MeshObject *const *meshes;
    int32_t mesh_count;
    float light_vector[3];
    float reach;  // length of the shadow ray; 0 or less: 10000
};

// 1 when the point lies in the lit region: the ray from it toward the light (against light_vector)
// meets no face of the meshes' world positions farther than 0.001 from the point; 0 in shadow.
int bsp_point_inside_solids(const LightBsp *bsp, const float *point);
