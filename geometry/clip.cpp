// Clip regions from a light point through a face's edges, and the clipping of triangles to them.
#include "geometry/clip.h"

#include "geometry/geometry_local.h"
#include "geometry/vecmath.h"

#include <cmath>
#include <cstdlib>

namespace {

float plane_value(const float *plane, const float *p)
{
    return plane[0] * p[0] + plane[1] * p[1] + plane[2] * p[2] + plane[3];
}

// One corner of a polygon being clipped: an existing vertex, or a new one not yet stored.
struct Corner {
    int32_t index;  // -1: new
    ClipVertex vertex;
};

ClipVertex between(const ClipVertex &a, const ClipVertex &b, float t)
{
    ClipVertex v;
    for (int k = 0; k < 3; k++) v.position[k] = a.position[k] + (b.position[k] - a.position[k]) * t;
    v.s = a.s + (b.s - a.s) * t;
    v.t = a.t + (b.t - a.t) * t;
    v.depth = a.depth + (b.depth - a.depth) * t;
    v.mark = 1;
    return v;
}

// A triangle cut by three planes has at most 6 corners in exact arithmetic; rounding near a plane
// can make the sides alternate, which gives at most 4, 6 and then 9 corners.
constexpr int kMaxCorners = 9;

// Cuts the polygon by one plane, keeping the side at or above -epsilon. Returns the new size, or
// -1 when the pieces would not fit `out`.
int cut(const Corner *in, int n, const float *plane, Corner *out)
{
    const float eps = g_clip_epsilon;
    int m = 0;
    for (int i = 0; i < n; i++) {
        const Corner &a = in[i];
        const Corner &b = in[(i + 1) % n];
        float va = plane_value(plane, a.vertex.position) + eps;
        float vb = plane_value(plane, b.vertex.position) + eps;
        int needed = (va >= 0.0f) + ((va >= 0.0f) != (vb >= 0.0f));
        if (m + needed > kMaxCorners) return -1;
        if (va >= 0.0f) out[m++] = a;
        if ((va >= 0.0f) != (vb >= 0.0f)) out[m++] = Corner{-1, between(a.vertex, b.vertex, va / (va - vb))};
    }
    return m;
}

// Clips triangle i; returns the number of triangles kept.
int32_t clip_triangle(ClipBuffer *buffer, int32_t i, const ClipRegion *region)
{
    ClipTriangle *tri = &buffer->triangles[i];
    tri->marker = 0;
    for (int32_t v : tri->v)
        if (v < 0 || v >= buffer->vertex_count) return 0;
    if (region->plane_count <= 0 || region->plane_count > 3) return 0;
    bool whole = true;
    for (int p = 0; p < region->plane_count; p++) {
        int outside = 0;
        for (int32_t v : tri->v)
            if (plane_value(region->planes[p], buffer->vertices[v].position) < -g_clip_epsilon) outside++;
        if (outside == 3) return 0;
        if (outside > 0) whole = false;
    }
    if (whole) {
        tri->marker = -1;
        tri->cut = 0;
        tri->source = i;
        for (int32_t v : tri->v) buffer->vertices[v].mark = 1;
        return 1;
    }
    Corner a[kMaxCorners], b[kMaxCorners];
    int n = 3;
    for (int k = 0; k < 3; k++) a[k] = Corner{tri->v[k], buffer->vertices[tri->v[k]]};
    for (int p = 0; p < region->plane_count && n >= 3; p++) {
        n = cut(a, n, region->planes[p], b);
        for (int k = 0; k < n; k++) a[k] = b[k];
    }
    if (n < 3) return 0;
    int fresh = 0;
    for (int k = 0; k < n; k++)
        if (a[k].index < 0) fresh++;
    if (buffer->vertex_count + fresh > buffer->vertex_capacity ||
        buffer->triangle_count + n - 2 > buffer->triangle_capacity)
        return 0;
    for (int k = 0; k < n; k++) {
        if (a[k].index < 0) {
            a[k].index = buffer->vertex_count;
            buffer->vertices[buffer->vertex_count++] = a[k].vertex;
        }
        buffer->vertices[a[k].index].mark = 1;
    }
    for (int k = 1; k + 1 < n; k++)
        buffer->triangles[buffer->triangle_count++] = ClipTriangle{{a[0].index, a[k].index, a[k + 1].index}, -1, 1, i};
    return n - 2;
}

}  // namespace

int clip_buffer_init(ClipBuffer *buffer, int32_t vertex_capacity, int32_t triangle_capacity)
{
    *buffer = ClipBuffer{};
    if (vertex_capacity < 0 || triangle_capacity < 0 || vertex_capacity > kGeometryMaxElements ||
        triangle_capacity > kGeometryMaxElements)
        return 0;
    buffer->vertices = static_cast<ClipVertex *>(calloc(size_t(vertex_capacity) + 1, sizeof(ClipVertex)));
    buffer->triangles = static_cast<ClipTriangle *>(calloc(size_t(triangle_capacity) + 1, sizeof(ClipTriangle)));
    if (!buffer->vertices || !buffer->triangles) {
        clip_buffer_free(buffer);
        return 0;
    }
    buffer->vertex_capacity = vertex_capacity;
    buffer->triangle_capacity = triangle_capacity;
    return 1;
}

void clip_buffer_free(ClipBuffer *buffer)
{
    free(buffer->vertices);
    free(buffer->triangles);
    *buffer = ClipBuffer{};
}

int clip_bsp_query(ClipRegion *out, const MeshObject *mesh, int32_t face, float lx, float ly, float lz)
{
    *out = ClipRegion{};
    vec3_set(out->apex, lx, ly, lz);
    if (face < 0 || face >= mesh->face_count) return 0;
    const float *p[3];
    for (int k = 0; k < 3; k++) {
        int32_t v = mesh->faces[face].v[k];
        if (v < 0 || v >= mesh->vertex_count) return 0;
        p[k] = mesh->vertices[v].world_position;
    }
    for (int k = 0; k < 3; k++) {
        float u[3], w[3], *plane = out->planes[k];
        vec3_sub(u, p[k], out->apex);
        vec3_sub(w, p[(k + 1) % 3], out->apex);
        vec3_cross(plane, u, w);
        if (!(vec3_length(plane) > 0.0f)) return 0;
        vec3_normalize(plane);
        plane[3] = -vec3_dot(plane, out->apex);
        // Face inward: the opposite corner must lie clearly inside.
        float side = plane_value(plane, p[(k + 2) % 3]);
        if (fabsf(side) <= 1e-7f) return 0;
        if (side < 0.0f)
            for (int c = 0; c < 4; c++) plane[c] = -plane[c];
    }
    out->plane_count = 3;
    return 1;
}

int32_t clip_bsp_clip_faces(ClipBuffer *buffer, int32_t first, int32_t count, const ClipRegion *region)
{
    if (first < 0) first = 0;
    int64_t last = int64_t(first) + (count < 0 ? 0 : count);
    int32_t end = last > buffer->triangle_count ? buffer->triangle_count : int32_t(last);
    int32_t kept = 0;
    for (int32_t i = first; i < end; i++)
        if (buffer->triangles[i].marker == 1) kept += clip_triangle(buffer, i, region);
    return kept;
}

int32_t clip_bsp_clip_vertices(const ClipRegion *region, ClipBuffer *buffer)
{
    return clip_bsp_clip_faces(buffer, 0, buffer->triangle_count, region);
}
