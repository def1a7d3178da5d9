// The 2D batch appenders (screen quads, rectangles and lines queued as XYZRHW triangles) and the
// immediate 3D lines, quads and triangles drawn at once under the current transforms.
#include "render/render_draw.h"
#include "render/render_local.h"

#include "geometry/mesh.h"

#include <cmath>
#include <cstring>

namespace {

// The batch holds at most this many triangles before it is drawn.
constexpr int32_t kBatchLimit = kRenderBatchTriangles - 1;

// One vertex of the immediate 3D drawing: XYZ | DIFFUSE | TEX1.
struct WorldVertex {
    float x, y, z;
    uint32_t colour;
    float u, v;
};
static_assert(sizeof(WorldVertex) == 24);
constexpr DWORD kWorldFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;
constexpr DWORD kScreenFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// One channel clamped to 0..1 (NaN as 0) in 8 bits: values above 1 would wrap otherwise.
inline uint32_t channel(float c)
{
    if (!(c > 0.0f)) return 0;
    if (c >= 1.0f) return 255;
    return uint32_t(c * 255.0f);
}

inline uint32_t pack_colour(float r, float g, float b, float a)
{
    return channel(a) << 24 | channel(r) << 16 | channel(g) << 8 | channel(b);
}

// All finite: infinity and NaN times 0 give NaN.
inline bool finite(float a, float b, float c, float d) { return a * 0.0f + b * 0.0f + c * 0.0f + d * 0.0f == 0.0f; }

// Room for `triangles` more in the batch, drawing what it holds first when it would pass the
// limit; null while the batch is parked or freed (mode 27).
RenderBatchVertex *batch_room(RenderContext *context, int32_t triangles)
{
    if (!context->batch) return nullptr;
    if (context->batch_triangles + triangles > kBatchLimit) render_flush_2d_batch(context);
    RenderBatchVertex *at = context->batch + 3 * context->batch_triangles;
    context->batch_triangles += triangles;
    return at;
}

// Two triangles (0, 1, 2) and (0, 2, 3) of four screen corners, queued, or drawn at once without
// a batch.
inline void append_quad(RenderContext *context, const RenderBatchVertex &c0, const RenderBatchVertex &c1,
                        const RenderBatchVertex &c2, const RenderBatchVertex &c3)
{
    RenderBatchVertex local[6];
    RenderBatchVertex *out = batch_room(context, 2);
    if (!out) out = local;
    out[0] = c0;
    out[1] = c1;
    out[2] = c2;
    out[3] = c0;
    out[4] = c2;
    out[5] = c3;
    if (out != local || !context->device) return;
    context->device->SetFVF(kScreenFvf);
    context->device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, local, sizeof(RenderBatchVertex));
}

inline void screen_rect(RenderContext *context, float x, float y, float w, float h, float u0, float v0, float u1,
                        float v1, uint32_t colour)
{
    if (!finite(x, y, w, h) || !finite(u0, v0, u1, v1)) return;
    append_quad(context, RenderBatchVertex{x, y, 0.0f, 1.0f, colour, u0, v0},
                RenderBatchVertex{x + w, y, 0.0f, 1.0f, colour, u1, v0},
                RenderBatchVertex{x + w, y + h, 0.0f, 1.0f, colour, u1, v1},
                RenderBatchVertex{x, y + h, 0.0f, 1.0f, colour, u0, v1});
}

void draw_world(RenderContext *context, D3DPRIMITIVETYPE type, UINT count, const WorldVertex *vertices)
{
    render_flush_2d_batch(context);
    if (!context->device) return;
    context->device->SetFVF(kWorldFvf);
    context->device->DrawPrimitiveUP(type, count, vertices, sizeof(WorldVertex));
}

bool finite_point(const float *p) { return p && std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]); }

WorldVertex world_vertex(const float *p, uint32_t colour, float u, float v)
{
    return WorldVertex{p[0], p[1], p[2], colour, u, v};
}

}  // namespace

void render_draw_2d_quad(RenderContext *context, float x, float y, float w, float h, float u0, float v0, float u1,
                         float v1, float r, float g, float b)
{
    screen_rect(context, x, y, w, h, u0, v0, u1, v1, pack_colour(r, g, b, 1.0f));
}

void render_draw_2d_quad_rgba(RenderContext *context, float x, float y, float w, float h, float u0, float v0, float u1,
                              float v1, float r, float g, float b, float a)
{
    screen_rect(context, x, y, w, h, u0, v0, u1, v1, pack_colour(r, g, b, a));
}

void render_batch_add_2d_rect(RenderContext *context, float x, float y, float w, float h, float r, float g, float b)
{
    screen_rect(context, x, y, w, h, 0.0f, 0.0f, 0.0f, 0.0f, pack_colour(r, g, b, 1.0f));
}

void render_draw_2d_line(RenderContext *context, float x0, float y0, float x1, float y1)
{
    if (!finite(x0, y0, x1, y1)) return;
    float dx = x1 - x0, dy = y1 - y0;
    float length = std::sqrt(dx * dx + dy * dy);
    if (!(length > 0.0f) || !std::isfinite(length)) {
        dx = 1.0f;  // a point: one pixel
        dy = 0.0f;
        length = 1.0f;
        x1 = x0 + 1.0f;
    }
    // Half a pixel to each side, turned like a rectangle's top edge so that the winding matches.
    float mx = 0.5f * dy / length, my = -0.5f * dx / length;
    const uint32_t white = 0xFFFFFFFFu;
    append_quad(context, RenderBatchVertex{x0 + mx, y0 + my, 0.0f, 1.0f, white, 0.0f, 0.0f},
                RenderBatchVertex{x1 + mx, y1 + my, 0.0f, 1.0f, white, 0.0f, 0.0f},
                RenderBatchVertex{x1 - mx, y1 - my, 0.0f, 1.0f, white, 0.0f, 0.0f},
                RenderBatchVertex{x0 - mx, y0 - my, 0.0f, 1.0f, white, 0.0f, 0.0f});
}

void render_draw_3d_line(RenderContext *context, const float *p0, const float *p1)
{
    if (!finite_point(p0) || !finite_point(p1)) return;
    const WorldVertex vertices[2] = {world_vertex(p0, 0xFFFFFFFFu, 0.0f, 0.0f),
                                     world_vertex(p1, 0xFFFFFFFFu, 1.0f, 0.0f)};
    draw_world(context, D3DPT_LINELIST, 1, vertices);
}

void render_draw_3d_quad_uv(RenderContext *context, const float corners[4][3], float u0, float v0, float u1, float v1,
                            float r, float g, float b, float a)
{
    for (int i = 0; i < 4; i++)
        if (!finite_point(corners[i])) return;
    if (!finite(u0, v0, u1, v1)) return;
    uint32_t colour = pack_colour(r, g, b, a);
    const float us[4] = {u0, u1, u1, u0};
    const float vs[4] = {v0, v0, v1, v1};
    static const int kOrder[6] = {0, 1, 2, 0, 2, 3};
    WorldVertex vertices[6];
    for (int i = 0; i < 6; i++) {
        int c = kOrder[i];
        vertices[i] = world_vertex(corners[c], colour, us[c], vs[c]);
    }
    draw_world(context, D3DPT_TRIANGLELIST, 2, vertices);
}

void render_draw_3d_quad(RenderContext *context, const float corners[4][3], float r, float g, float b, float a)
{
    render_draw_3d_quad_uv(context, corners, 0.0f, 0.0f, 1.0f, 1.0f, r, g, b, a);
}

void render_draw_3d_triangle(RenderContext *context, const MeshFace *face)
{
    if (!face) return;
    const float *c = face->color;
    uint32_t colour = pack_colour(c[0], c[1], c[2], c[3]);
    WorldVertex vertices[3];
    for (int i = 0; i < 3; i++) {
        const MeshVertex *corner = face->corner[i];
        if (!corner || !finite_point(corner->position)) return;
        vertices[i] = world_vertex(corner->position, colour, face->uv[2 * i], face->uv[2 * i + 1]);
    }
    draw_world(context, D3DPT_TRIANGLELIST, 1, vertices);
}
