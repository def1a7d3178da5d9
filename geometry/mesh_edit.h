// Operations on whole meshes: welded normals, copies, inversion, tag extraction, the scratch that
// gathers meshes into one, simplification and segment hit tests.
//
// Every function returning a MeshObject * returns a new object (mesh_new) that the caller owns
// and releases with mesh_delete; the argument stays the caller's.
#pragma once

#include "geometry/mesh.h"

#include <memory>

// The mesh that mesh_extract_tag_copy and the intro's shadow volume work on; not owned.
extern MeshObject *g_current_mesh;

// As mesh_compute_normals, but vertices lying within g_weld_epsilon (0.001) of each other share one
// normal: the angle-weighted mean over the faces around all of them.
void mesh_compute_normals_welded(MeshObject *mesh);

// A deep copy: header, arrays (same capacities), keyframes, edge table and child, with the face
// pointers relinked. The body's shapes are not copied (the copy's body has none). Null without memory.
MeshObject *mesh_duplicate(const MeshObject *mesh);
// A copy with every face's second and third corners swapped and every normal negated; its
// inverted_copy marker is set.
MeshObject *mesh_inverted_copy(const MeshObject *mesh);
// Swaps every face's second and third corners (with their texture coordinates and edge flags)
// and negates the face, vertex and keyframe normals.
void mesh_invert_in_place(MeshObject *mesh);

// A new object holding only the faces whose tag equals `tag`, with the vertices they use (in their
// original order) and the keyframes of those vertices; the header (name, transform, flags) is
// copied. Null without memory.
MeshObject *mesh_extract_tagged_faces(const MeshObject *mesh, int32_t tag);

// Owns a mesh: releases it with mesh_delete, so a copy of the handle can never free it twice.
struct MeshDeleter {
    void operator()(MeshObject *mesh) const { mesh_delete(mesh); }
};
typedef std::unique_ptr<MeshObject, MeshDeleter> MeshPtr;

// The faces of one tag of g_current_mesh as an owned mesh; empty when there is no current mesh.
MeshPtr mesh_extract_tag_copy(int32_t tag);

// A growable pair of vertex and face arrays; emptied by setting both counts to 0, released by
// mesh_scratch_free. A zeroed record is an empty scratch.
struct MeshScratch {
    MeshVertex *vertices;
    int32_t vertex_count;
    int32_t vertex_capacity;
    MeshFace *faces;
    int32_t face_count;
    int32_t face_capacity;
};

// Appends the object's vertices in world space (positions and normals from its world fields,
// texture coordinates and colours as they are) and its faces (normals from the world normals),
// indices offset by the scratch's vertex count. Faces with a bad index are left out. Returns 1, or
// 0 without memory (the scratch is then unchanged).
int mesh_scratch_append_object(MeshScratch *scratch, const MeshObject *mesh);
void mesh_scratch_free(MeshScratch *scratch);
// A new object holding a copy of the scratch's vertices and faces, faces linked; the caller
// computes normals. Null without memory.
MeshObject *mesh_from_scratch(const MeshScratch *scratch);

// A simplified copy. This version simplifies nothing yet: it returns mesh_duplicate's copy.
MeshObject *mesh_simplify(const MeshObject *mesh);

// 1 when the segment p0 -> p1 meets a face of the mesh (world positions, either side of the face,
// edges included); the hit nearest p0 wins and its distance from p0, point and face index are
// left in hit_distance, hit_point and hit_face. 0 on a miss, the hit fields unchanged.
int mesh_segment_hit(MeshObject *mesh, const float *p0, const float *p1);
// The same test against one face; 0 for a face index outside the mesh.
int mesh_face_segment_hit(MeshObject *mesh, int32_t face, const float *p0, const float *p1);
