// Helpers shared by the geometry core's own files.
#pragma once

#include "geometry/mesh.h"

#include <cstddef>

// The engine's face normal of the triangle (p0, p1, p2): normalise((p2 - p0) x (p1 - p0)), or the
// zero vector for a triangle of zero area. Returns out.
float *geometry_face_normal(float *out, const float *p0, const float *p1, const float *p2);

// The three corner positions of a face, or false when an index lies outside the vertex array.
bool geometry_face_corners(const MeshObject *mesh, const MeshFace *face, const float *corners[3]);

// Face normals, and in every vertex's normal the unnormalised sum of the normals of the faces
// around it, each weighted by the face's angle at that vertex.
void geometry_accumulate_normals(MeshObject *mesh);

// Largest element count that the mesh allocators accept for one array (keeps byte sizes in range).
constexpr int32_t kGeometryMaxElements = 1 << 24;

// Where the segment p0 + t d (t in 0..1) meets the triangle (a, b, c), from either side, edges
// included; false for a triangle of no area or a segment parallel to it.
bool geometry_segment_triangle(const float *p0, const float *d, const float *a, const float *b, const float *c,
                               float *t);
