// Per frame: clearing and presenting with the frame statistics, viewports, the projection, and
// switching lights on.
#include "render/render_draw.h"
#include "render/render_local.h"

#include "platform/system.h"

#include <cstdio>
#include <cstring>

namespace {

void set_viewport(RenderContext *context, DWORD x, DWORD y, DWORD w, DWORD h)
{
    context->viewport = D3DVIEWPORT9{x, y, w, h, 0.0f, 1.0f};
    if (context->device) context->device->SetViewport(&context->viewport);
}

int32_t clamp(int32_t v, int32_t low, int32_t high) { return v < low ? low : v > high ? high : v; }

}  // namespace

void render_clear_frame(RenderContext *context)
{
    if (!context->device) return;
    // Stencil too: shadow volumes count in it from 0 each frame.
    context->device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0, 1.0f, 0);
}

void render_clear_depth(RenderContext *context)
{
    if (!context->device) return;
    context->device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
}

void render_present_frame(RenderContext *context)
{
    if (!context->device) return;
    context->device->Present(nullptr, nullptr, nullptr, nullptr);
    LARGE_INTEGER now = {}, frequency = {};
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    int64_t last = context->present_last_count;
    context->present_last_count = now.QuadPart;
    if (last == 0 || frequency.QuadPart <= 0 || now.QuadPart <= last) return;
    context->frame_ms = float(double(now.QuadPart - last) * 1000.0 / double(frequency.QuadPart));
    float rate = 1000.0f / context->frame_ms;
    context->frames_per_second =
        context->frames_per_second > 0.0f ? 0.9f * context->frames_per_second + 0.1f * rate : rate;
}

void render_set_full_viewport(RenderContext *context)
{
    if (context->width <= 0 || context->height <= 0) return;
    set_viewport(context, 0, 0, DWORD(context->width), DWORD(context->height));
}

void render_set_viewport_rect(RenderContext *context, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    x0 = clamp(x0, 0, context->width);
    x1 = clamp(x1, 0, context->width);
    y0 = clamp(y0, 0, context->height);
    y1 = clamp(y1, 0, context->height);
    // The device refuses an empty viewport; the one in place stays.
    if (x1 <= x0 || y1 <= y0) return;
    set_viewport(context, DWORD(x0), DWORD(y0), DWORD(x1 - x0), DWORD(y1 - y0));
}

void render_set_projection(RenderContext *context)
{
    float zn = context->near_plane, zf = context->far_plane;
    if (context->width <= 0 || context->height <= 0 || !(zn > 0.0f) || !(zf > zn)) {
        char line[128];
        snprintf(line, sizeof line, "render_set_projection: no projection for near %g, far %g", double(zn), double(zf));
        render_log_line(line);
        return;
    }
    float w = float(context->width), h = float(context->height);
    float f = context->focal > 0.0f ? context->focal : 0.4f * w;
    float *p = context->projection_matrix;
    memset(p, 0, sizeof context->projection_matrix);
    p[0] = 2.0f * f / w;
    // A render target other than the back buffer is square when "M" is 0.
    bool square = render_var_get(context, "M") == 0 && render_var_get(context, "J") != 13;
    p[5] = square ? p[0] : p[0] * w / h;
    p[10] = zf / (zf - zn);
    p[11] = 1.0f;
    p[14] = -zn * zf / (zf - zn);
    if (context->device) context->device->SetTransform(D3DTS_PROJECTION, p);
}

void render_set_fog(RenderContext *context, const float *rgb, float start, float end)
{
    IDirect3DDevice9 *device = context->device;
    if (!device) return;
    render_flush_2d_batch(context);
    if (!rgb) {
        device->SetRenderState(D3DRS_FOGENABLE, FALSE);
        return;
    }
    auto byte = [](float v) { return v >= 1.0f ? 255u : v > 0.0f ? uint32_t(v * 255.0f + 0.5f) : 0u; };
    DWORD start_bits, end_bits;
    memcpy(&start_bits, &start, 4);
    memcpy(&end_bits, &end, 4);
    device->SetRenderState(D3DRS_FOGCOLOR, 0xFF000000u | byte(rgb[0]) << 16 | byte(rgb[1]) << 8 | byte(rgb[2]));
    device->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_LINEAR);
    device->SetRenderState(D3DRS_FOGSTART, start_bits);
    device->SetRenderState(D3DRS_FOGEND, end_bits);
    device->SetRenderState(D3DRS_FOGENABLE, TRUE);
}

void render_clear_effect_render_list(RenderContext *) {}

void light_enable(RenderContext *context, int32_t n)
{
    if (n < 0 || n >= kRenderLightSlots) return;
    context->lights[n].enabled = 1;
    if (context->device) context->device->LightEnable(DWORD(n), TRUE);
    for (int32_t i = 0; i < context->lights_on_count; i++)
        if (context->lights_on[i] == n) return;
    if (context->lights_on_count < kRenderLightsOn) {
        context->lights_on[context->lights_on_count++] = n;
        return;
    }
    char line[96];
    snprintf(line, sizeof line, "light_enable: more than %d lights on; light %d is not drawn", kRenderLightsOn, int(n));
    render_log_line(line);
}
