// The engine's triangle mesh: one MeshObject, MeshVertex and MeshFace for the whole engine, and
// the operations that construct, build, free, transform and give normals to meshes.
//
// Face normals: n = normalise((p2 - p0) x (p1 - p0)) over the corner positions; a point q inside
// the triangle then gives ((q - a) x (b - a)) . n > 0 on each edge (a, b) in winding order. A face
// of zero area gets the zero normal, never NaN. The builders make closed meshes whose normals point
// outward.
//
// Ownership: the caller allocates a MeshObject (new) and initialises it with mesh_construct; the
// vertex and face arrays (malloc), keyframes, edge table and child object belong to the mesh and
// mesh_free_arrays releases them; mesh_free_body_shapes releases the body's shapes. mesh_delete
// does both and deletes the object.
#pragma once

#include "geometry/body.h"

#include <cstdint>

struct MeshVertex {
    float position[3];  // object space
    float saved_position[3];
    float world_position[3];
    float normal[3];
    float world_normal[3];
    float uv0[2];
    float uv1[2];
    float color[4];  // r, g, b, a in 0..1
    float blend_weights[4];
    uint8_t bone_indices[4];
    int32_t mark;       // working mark of the render-object builder
    int16_t grid_cell;  // PointGrid cell, 0 to 63
};

struct MeshFace {
    int32_t v[3];           // vertex indices
    MeshVertex *corner[3];  // the same vertices; mesh_link_face_vertices sets them
    float normal[3];
    float world_normal[3];
    float uv[6];   // u, v of corners 0, 1, 2
    int16_t part;  // 0 to 8
    int16_t texture_id;
    int16_t texture_id2;
    int32_t lightmap_page;
    int32_t lightmap_page2;
    uint16_t material;
    uint8_t build_flag;  // the render-object builder's per-face byte
    int32_t tag;         // 32 bits: the physics stores collider slot x 16384 + face
    float color[4];
    // Written by the physics' face preparation, kept apart from the texture coordinates.
    float centre[3];        // world centroid
    float half_extents[3];  // world half sizes of the face's box about the centre
    float radius;           // about the local centroid
    int32_t edge_flags[3];  // edges first-second, second-third, third-first
    uint8_t mark[8];        // one byte per physics worker
};

// One undirected edge of a mesh: the two vertex indices, then a word the physics sets to 0.
struct MeshEdgeRecord {
    int32_t a;
    int32_t b;
    int32_t flag;
};
static_assert(sizeof(MeshEdgeRecord) == 12);

// The mesh's edge table, filled by the physics' face preparation; released with the mesh.
struct MeshEdgeTable {
    MeshEdgeRecord *records;
    int32_t count;
    int32_t capacity;
    // The records by vertex (mesh_edge_table_index_vertices): those touching vertex v are
    // vertex_edges[vertex_first[v]] .. vertex_edges[vertex_first[v + 1] - 1], in table order. Valid
    // while indexed_count equals count and indexed_vertices the mesh's vertex count; an append
    // makes it invalid.
    int32_t *vertex_first;
    int32_t *vertex_edges;
    int32_t indexed_count;
    int32_t indexed_vertices;
};

// One vertex of a keyframe: 24 bytes, position first.
struct MeshKeyframeVertex {
    float position[3];
    float normal[3];
};
static_assert(sizeof(MeshKeyframeVertex) == 24);

constexpr int32_t kMeshMaxKeyframes = 256;

// MeshObject::flags bits.
enum : uint32_t {
    kMeshFlagBodyMatrices = 0x100,    // place the mesh by its body's world and rotation matrices
    kMeshFlagStoredMatrices = 0x200,  // place the mesh by its matrix and rotation_matrix as stored
};

struct MeshObject {
    char name[128];
    uint32_t flags;
    int32_t object_type;  // 2 ordinary; 3 marks PALES objects while the hole opener builds face lists
    int32_t vertex_count;
    int32_t face_count;
    int32_t vertex_capacity;
    int32_t face_capacity;
    float position[3];
    float rotation[3];  // Euler angles in degrees (order: vecmath.h)
    MeshVertex *vertices;
    MeshFace *faces;
    float matrix[16];           // object to world, from the rotation and position
    float rotation_matrix[16];  // the same rotation without translation
    float bounds[6];            // xmin, xmax, ymin, ymax, zmin, zmax
    float bounding_radius;      // negative: not computed yet (see mesh_radius)
    float centre[3];            // mesh_center writes the mean of the vertex positions here
    int32_t rotating;           // course play's turning objects
    float hit_distance;         // distance from p0 of the last segment hit
    float hit_point[3];
    int32_t hit_face;
    uint8_t moved;          // moved in this frame: the physics wakes bodies near it
    // Changed (mesh_touch) by every write to the vertex or face arrays, object or world data (the
    // physics' placement of a body's mesh at a step's end too): the physics keeps a collider's
    // world data from step to step while this and its matrix stay, and a body's object-space
    // vertices, and a resting body's placed mesh, while this stays.
    uint64_t revision;
    uint8_t inverted_copy;  // made by mesh_inverted_copy
    int32_t drawn;
    int32_t occluding;
    int32_t frame_word;  // per-frame word of the editor
    int32_t keyframe_count;
    MeshKeyframeVertex *keyframes[kMeshMaxKeyframes];  // vertex_count records each (malloc)
    MeshEdgeTable *edge_table;                         // owned
    MeshObject *child;                                 // owned; drawn and cast in place of the object when present
    MeshObject *companion;                             // the scene's lit copy; not owned
    RigidBody body;
};

// Initialises the memory of a MeshObject: identity matrices, counts and pointers zero, bounding
// radius -1, the body initialised. Returns the same pointer. Never fails.
MeshObject *mesh_construct(void *memory);
// A new constructed object (new); null only when memory runs out.
MeshObject *mesh_new();
// mesh_free_arrays, mesh_free_body_shapes, then delete. Null does nothing.
void mesh_delete(MeshObject *mesh);

// Gives the mesh a new revision, never given before. The functions here that write the vertex
// or face arrays call it; code that writes them itself calls it after the writes.
void mesh_touch(MeshObject *mesh);

// Releases the previous arrays (with the keyframes and edge table, which index them) and
// allocates zeroed room for `capacity` vertices and 2 x `capacity` faces; the counts are 0 and the
// caller raises them as it fills. Returns 1, or 0 when the capacity is negative or too large or
// memory runs out (the mesh is then empty).
int mesh_alloc_arrays(MeshObject *mesh, int32_t capacity);
// Sets every face's corner pointers from its indices; an index outside the vertex array gives
// null. Returns 1 when every index was valid, else 0.
int mesh_link_face_vertices(MeshObject *mesh);
// Frees everything the mesh owns (arrays, keyframes, edge table, child object); counts 0,
// pointers null. The record and its body stay.
void mesh_free_arrays(MeshObject *mesh);

// Makes the mesh a box of 8 vertices and 12 faces of the given sizes, centred on the object's
// origin (so on its position once transformed), normals computed. Returns 1, 0 without memory.
int mesh_build_box(MeshObject *mesh, float size_x, float size_y, float size_z);
// A new sphere: 2 x detail rings and 4 x detail segments (detail clamped to 1..64), poles shared,
// the seam doubled for texture coordinates. Null without memory.
MeshObject *mesh_build_sphere(float radius, int32_t detail);
// A new sphere of radius 0.1 with 257 vertices and 480 faces: the drawn ball.
MeshObject *mesh_build_ball();
// Writes faces i and i + 1 as the triangles (a, b, c) and (a, c, d) of a quad, with the texture
// coordinates (0, 0), (1, 0), (1, 1), (0, 1) at a, b, c, d; links them when the indices are
// valid. Returns 1, or 0 (nothing written) when the faces do not fit the face capacity.
int mesh_set_quad(MeshObject *mesh, int32_t face, int32_t a, int32_t b, int32_t c, int32_t d);

// The mean of the vertex positions, stored in mesh->centre; returns mesh->centre.
float *mesh_center(MeshObject *mesh);
// The largest distance of a vertex position from the object's origin (0 for no vertices).
float mesh_radius(const MeshObject *mesh);

// Face normals, then vertex normals as the angle-weighted mean of the normals of the faces around
// each vertex index. Degenerate faces get a zero normal and add nothing.
void mesh_compute_normals(MeshObject *mesh);

// matrix := Euler rotation then translation by the position, rotation_matrix := the rotation;
// then every vertex's world position and world normal and every face's world normal.
void mesh_update_world_transform(MeshObject *mesh);
// World positions := position x m1; world normals of vertices and faces := normal x m2.
void mesh_transform_by_matrices(MeshObject *mesh, const float *m1, const float *m2);

// Releases the mesh's edge table and makes an empty one with room for `capacity` records;
// null when the capacity is negative or memory runs out (the mesh then has no table).
MeshEdgeTable *mesh_edge_table_reset(MeshObject *mesh, int32_t capacity);
// Appends (a, b, flag); the record's index, or -1 when the table is full.
int32_t mesh_edge_table_append(MeshEdgeTable *table, int32_t a, int32_t b, int32_t flag);
// Index of the record holding the pair (a, b) in either order, -1 when none (or no table).
int32_t mesh_edge_table_find(const MeshEdgeTable *table, int32_t a, int32_t b);
// Builds the table's index of records by vertex for a mesh of vertex_count vertices (records with
// an end outside 0 .. vertex_count - 1 are left out). Success 1, failure 0 (no index).
int32_t mesh_edge_table_index_vertices(MeshEdgeTable *table, int32_t vertex_count);
// The index when it matches the table and a mesh of vertex_count vertices, else null.
inline const int32_t *mesh_edge_table_vertex_first(const MeshEdgeTable *table, int32_t vertex_count)
{
    return table && table->vertex_first && table->indexed_count == table->count &&
                   table->indexed_vertices == vertex_count
               ? table->vertex_first
               : nullptr;
}
// The same search over any table of `count` records of `words_per_record` i32 words (at least 2)
// whose first two words are the vertex pair, such as the shadow-volume builder's 5-word records.
int32_t mesh_edge_table_find(const int32_t *records, int32_t count, int32_t words_per_record, int32_t a, int32_t b);

// A new PointGrid over the mesh's local bounding box: extents of 1 to 4 cells per axis, in
// proportion to the box's sides (the longest side gets 4); sets every vertex's grid_cell. Null
// without memory. The caller (the body) owns it.
PointGrid *mesh_build_cell_grid(MeshObject *mesh);
