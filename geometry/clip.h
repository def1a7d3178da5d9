// Clip regions: the convex pyramid from a light point through the three edges of a face. A point
// inside it is lit through the face, so projecting it from the light lands inside the face. The
// decal builders clip their triangles to it.
#pragma once

#include <cstdint>

struct MeshObject;

// Up to three planes (a, b, c, d), unit normals; a point p is inside when a p.x + b p.y + c p.z + d
// >= -g_clip_epsilon for every plane. plane_count 0: the region holds nothing.
struct ClipRegion {
    float planes[3][4];
    int32_t plane_count;
    float apex[3];
};

// A working vertex of the decal builders: position, decal coordinates, a mark, a depth difference.
struct ClipVertex {
    float position[3];
    float s, t;
    int32_t mark;  // set to 1 for the vertices of pieces kept inside a region
    float depth;
};

// A triangle of the working store. marker: 1 selects it for clipping; after clipping -1 means kept
// (inside), 0 dropped (outside, or replaced by its pieces). cut: 0 for a triangle kept whole, 1 for
// a piece made by cutting. source: the triangle a piece was cut from (itself when kept whole).
struct ClipTriangle {
    int32_t v[3];
    int32_t marker;
    int32_t cut;
    int32_t source;
};

// Caller-owned working store with fixed capacities (clip_buffer_init); clipping appends pieces
// while room lasts and drops what does not fit.
struct ClipBuffer {
    ClipVertex *vertices;
    int32_t vertex_count;
    int32_t vertex_capacity;
    ClipTriangle *triangles;
    int32_t triangle_count;
    int32_t triangle_capacity;
};

// Allocates the store (counts 0). Returns 1, or 0 without memory (the store is then empty).
int clip_buffer_init(ClipBuffer *buffer, int32_t vertex_capacity, int32_t triangle_capacity);
void clip_buffer_free(ClipBuffer *buffer);

// The region of face `face` of the mesh (world positions) seen from the light point. Returns 1, or
// 0 (region empty) for a bad face index, a face of no area or a light in the face's plane.
int clip_bsp_query(ClipRegion *out, const MeshObject *mesh, int32_t face, float lx, float ly, float lz);

// Clips the selected triangles (marker 1) among triangles [first, first + count) to the region:
// a triangle wholly inside is kept (marker -1, cut 0); one wholly outside is dropped (marker 0);
// one that crosses is dropped and its inside part appended as pieces (marker -1, cut 1), with new
// vertices interpolated. The vertices of everything kept get mark 1. Returns the number of
// triangles kept, pieces included.
int32_t clip_bsp_clip_faces(ClipBuffer *buffer, int32_t first, int32_t count, const ClipRegion *region);
// The same over every triangle the buffer holds on entry: the caster's faces in the shadow builder,
// whose kept-whole faces (marker -1, cut 0) are then cast uncut.
int32_t clip_bsp_clip_vertices(const ClipRegion *region, ClipBuffer *buffer);
