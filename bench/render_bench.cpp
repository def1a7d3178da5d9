// Costs of the renderer's core on the headless device, each against a reference measured in the
// same run: a device reset against the registry's own release and restore of the same objects, the
// 2D batch against the same vertices drawn in a few calls, and the draw routine against its calls
// written out by hand. With a display (tests/gl/run_xvfb.sh gives one) the reference frame also
// runs on OpenGL: small against headless, and full-screen against its background alone (on
// llvmpipe one full-screen textured quad costs about twelve bare clears and presents).
// Prints one ratio line for each pair whose two benchmarks ran.
#include "render/render_draw.h"
#include "render/render_local.h"

#include "platform/gpu/headless/gpu_headless.h"

#include "bench/bench_best.h"

#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kObjects = 1000;

// The game's context on a headless device with dynamic buffers.
RenderContext *headless_context()
{
    setenv("ZAVGOLF_HEADLESS", "1", 1);
    gpu_headless_reset();
    RenderContext *context = &g_render_context;
    render_context_construct(context);
    context->width = 64;
    context->height = 64;
    *render_var_ref(context, "R") = 1;
    if (!render_create_device(context)) return nullptr;
    return context;
}

// The headless context with a frame begun, or null with the benchmark skipped.
RenderContext *framed_context(benchmark::State &state)
{
    RenderContext *context = headless_context();
    if (context && render_begin_frame(context)) return context;
    state.SkipWithError("no device");
    return nullptr;
}

void end_context(RenderContext *context)
{
    render_shutdown_device(context);
    render_context_destroy(context);
    g_render_dynamic_buffers = 0;
}

// Dynamic objects of 256 coloured, textured vertices and 128 triangles each.
std::vector<RenderObject *> make_objects(RenderContext *context)
{
    std::vector<RenderObject *> objects;
    for (int i = 0; i < kObjects; i++) {
        RenderObject *object = render_object_init(new RenderObject);
        object->context = context;
        object->device = context->device;
        object->flags = 0x87;
        object->dynamic = 1;
        render_object_create_vertex_buffer(object, 256, 384, 0);
        objects.push_back(object);
    }
    return objects;
}

void free_objects(std::vector<RenderObject *> &objects)
{
    for (RenderObject *object : objects) {
        render_object_free(object);
        delete object;
    }
    objects.clear();
}

void BM_ResetDevice(benchmark::State &state)
{
    RenderContext *context = headless_context();
    if (!context) {
        state.SkipWithError("no device");
        return;
    }
    std::vector<RenderObject *> objects = make_objects(context);
    for (auto _ : state) {
        gpu_headless_lose_device(context->device, true);
        benchmark::DoNotOptimize(render_begin_frame(context));
    }
    if (context->device->TestCooperativeLevel() != D3D_OK) state.SkipWithError("the reset failed");
    free_objects(objects);
    end_context(context);
}
BENCHMARK(BM_ResetDevice)->Unit(benchmark::kMicrosecond);

// The reference: the registry's release and restore of the same objects alone.
void BM_RegistryOnly(benchmark::State &state)
{
    RenderContext *context = headless_context();
    if (!context) {
        state.SkipWithError("no device");
        return;
    }
    std::vector<RenderObject *> objects = make_objects(context);
    for (auto _ : state) {
        render_registry_release_buffers(context->device);
        render_registry_restore_buffers(context->device);
    }
    free_objects(objects);
    end_context(context);
}
BENCHMARK(BM_RegistryOnly)->Unit(benchmark::kMicrosecond);

// 2000 screen quads through the batch, drawn as it fills and at the end.
void BM_Batch2D(benchmark::State &state)
{
    RenderContext *context = framed_context(state);
    if (!context) return;
    for (auto _ : state) {
        gpu_headless_clear_draws();
        for (int i = 0; i < 2000; i++)
            render_draw_2d_quad(context, float(i % 64), float(i / 64), 8.0f, 8.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f, 0.5f,
                                0.25f);
        render_flush_2d_batch(context);
    }
    render_end_frame(context);
    end_context(context);
}
BENCHMARK(BM_Batch2D)->Unit(benchmark::kMicrosecond);

// The reference: the same vertices, made beforehand, in four calls.
void BM_Prebatched(benchmark::State &state)
{
    RenderContext *context = framed_context(state);
    if (!context) return;
    for (int i = 0; i < 2000; i++)
        render_draw_2d_quad(context, float(i % 64), float(i / 64), 8.0f, 8.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f, 0.5f,
                            0.25f);
    std::vector<RenderBatchVertex> vertices(context->batch, context->batch + 3 * context->batch_triangles);
    context->batch_triangles = 0;
    vertices.resize(12000, vertices.back());
    for (auto _ : state) {
        gpu_headless_clear_draws();
        context->device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
        for (int part = 0; part < 4; part++)
            context->device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1000, vertices.data() + 3000 * part,
                                             sizeof(RenderBatchVertex));
    }
    render_end_frame(context);
    end_context(context);
}
BENCHMARK(BM_Prebatched)->Unit(benchmark::kMicrosecond);

constexpr int kRanges = 20;

// An object of 20 draw ranges of 50 triangles, each with its own texture, drawn by built-in 1.
RenderObject *ranged_object(RenderContext *context)
{
    std::vector<uint8_t> pixels(16 * 16 * 4, 0x80);
    for (int r = 0; r < kRanges; r++)
        texture_create_in_slot(&context->main_textures, r + 1, 16, 16, pixels.data(), 16, 16, 0);
    RenderObject *object = render_object_init(new RenderObject);
    object->flags = 0x87;
    render_object_create_vertex_buffer(object, 100 * kRanges, 150 * kRanges, 0);
    if (render_object_lock_indices(object)) {
        for (int i = 0; i < 150 * kRanges; i++) render_object_write_index(object, i, uint32_t(i % (100 * kRanges)));
        render_object_unlock_indices(object);
    }
    for (int r = 0; r < kRanges; r++) {
        RenderDrawRange range = {};
        range.first_index = 150 * r;
        range.end_index = 150 * r + 150;
        range.lowest_vertex = 0;
        range.vertex_end = 100 * kRanges;
        range.texture1 = uint16_t(r + 1);
        list_add_rec30(&object->ranges, range);
    }
    object->has_draw_ranges = 1;
    object->vertices_in_use = 100 * kRanges;
    object->indices_in_use = 150 * kRanges;
    return object;
}

void BM_DrawRanges(benchmark::State &state)
{
    RenderContext *context = framed_context(state);
    if (!context) return;
    RenderObject *object = ranged_object(context);
    render_set_current_object(context, object);
    for (auto _ : state) {
        gpu_headless_clear_draws();
        render_draw_current_object(context);
    }
    render_end_frame(context);
    render_object_free(object);
    delete object;
    end_context(context);
}
BENCHMARK(BM_DrawRanges)->Unit(benchmark::kMicrosecond);

// The reference: the calls the draw routine makes for that object, written out by hand.
void BM_DrawRangesDirect(benchmark::State &state)
{
    RenderContext *context = framed_context(state);
    if (!context) return;
    RenderObject *object = ranged_object(context);
    IDirect3DDevice9 *device = context->device;
    ID3DXEffect *effect = context->effects[1];
    const float zero[4] = {0, 0, 0, 0}, one[4] = {1, 1, 1, 1};
    for (auto _ : state) {
        gpu_headless_clear_draws();
        object->effect = effect;
        UINT passes = 0;
        effect->Begin(&passes, 0);
        render_effect_set_world_matrix(object);
        render_effect_set_viewproj_matrix(object);
        for (const char *name :
             {"AMBIENT", "LIGHTVEC", "LIGHTCOLOR", "LIGHTATTEN", "CENTRE", "CAMRIGHT", "CAMUP", "EXTRUDE"})
            effect->SetVector(name, zero);
        device->SetFVF(render_fvf_for_format(object->format));
        device->SetStreamSource(0, object->vertex_buffer, 0, UINT(object->stride));
        device->SetIndices(object->index_buffer);
        for (int r = 0; r < kRanges; r++) {
            texture_bind_to_effect(object, r + 1, "Tex");
            device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
            effect->SetVector("FADE", one);
            effect->BeginPass(0);
            effect->CommitChanges();
            device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, UINT(100 * kRanges), UINT(150 * r), 50);
            effect->EndPass();
            render_object_release_captured(object);
        }
        effect->End();
        texture_bind(context, context->bound_texture[0]);
        object->effect = nullptr;
    }
    render_end_frame(context);
    render_object_free(object);
    delete object;
    end_context(context);
}
BENCHMARK(BM_DrawRangesDirect)->Unit(benchmark::kMicrosecond);

// ---- the reference frame --------------------------------------------------------------------------

HWND g_window;

LRESULT window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    return DefWindowProcA(window, message, wparam, lparam);
}

// The game's context at the size; on OpenGL (one window, made once) or headless. Null when none.
RenderContext *frame_context(bool gl, int width, int height)
{
    setenv("ZAVGOLF_HEADLESS", gl ? "0" : "1", 1);
    gpu_headless_reset();
    if (gl && !g_window) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = window_proc;
        wc.lpszClassName = "bench_render";
        RegisterClassA(&wc);
        g_window = CreateWindowExA(0, "bench_render", "bench_render", WS_POPUP, 0, 0, width, height, nullptr, nullptr,
                                   nullptr, nullptr);
        if (!g_window) return nullptr;
    }
    RenderContext *context = &g_render_context;
    render_context_construct(context);
    context->window = gl ? g_window : nullptr;
    context->width = width;
    context->height = height;
    *render_var_ref(context, "W") = 1;
    *render_var_ref(context, "L") = 0;  // no waiting for the display
    if (!render_create_device(context)) {
        end_context(context);
        return nullptr;
    }
    std::vector<uint8_t> pixels(64 * 64 * 4);
    for (size_t i = 0; i < pixels.size(); i++) pixels[i] = uint8_t(i * 7);
    texture_create_in_slot(&context->main_textures, 1, 64, 64, pixels.data(), 64, 64, 0);
    texture_create_in_slot(&context->main_textures, 2, 64, 64, pixels.data(), 64, 64, kTextureAlpha);
    return context;
}

// Fifty built-in objects: one quad of four coloured, textured vertices, drawn by built-in 1.
RenderObject *quad_object(RenderContext *context)
{
    RenderObject *object = render_object_init(new RenderObject);
    object->flags = 0x87;
    render_object_create_vertex_buffer(object, 4, 6, 0);
    render_object_lock_vertices(object);
    const float corners[4][2] = {{-0.2f, 0.2f}, {0.2f, 0.2f}, {0.2f, -0.2f}, {-0.2f, -0.2f}};
    for (int i = 0; i < 4; i++) {
        render_vertex_set_position(object, i, corners[i][0], corners[i][1], 0.5f);
        render_vertex_set_color_argb(object, i, 1, 1, 1, 1);
        render_vertex_set_texcoord0(object, i, float(i == 1 || i == 2), float(i >= 2));
    }
    render_object_unlock_vertices(object);
    if (render_object_lock_indices(object)) {
        static const uint32_t kQuad[6] = {0, 1, 2, 0, 2, 3};
        for (int i = 0; i < 6; i++) render_object_write_index(object, i, kQuad[i]);
        render_object_unlock_indices(object);
    }
    object->vertices_in_use = 4;
    object->indices_in_use = 6;
    (void)context;
    return object;
}

// Clear, the full-screen background, then (unless `background_only`) 300 alpha text quads and 50
// built-in objects, all scaled with the screen; presented, and finished on OpenGL.
void draw_frame(RenderContext *context, RenderObject *object, bool background_only, bool gl)
{
    if (!render_begin_frame(context)) return;
    render_clear_frame(context);
    float w = float(context->width), h = float(context->height);
    texture_bind(context, 1);
    render_draw_2d_quad(context, 0, 0, w, h, 0, 0, 1, 1, 1, 1, 1);
    if (!background_only) {
        render_set_mode(6, context, 1);
        texture_bind(context, 2);
        // Glyph-sized quads, 8 x 12 at 1920 x 1080: the same picture at every size.
        for (int i = 0; i < 300; i++)
            render_draw_2d_quad_rgba(context, float((i * 37) % int(w)), float((i * 53) % int(h)), w / 240, h / 90, 0, 0,
                                     0.1f, 0.2f, 1, 1, 1, 0.8f);
        render_set_mode(6, context, 0);
        render_set_current_object(context, object);
        for (int i = 0; i < 50; i++) render_draw_current_object(context);
    }
    render_end_frame(context);
    render_present_frame(context);
    if (gl) glFinish();
}

void frame_benchmark(benchmark::State &state, bool gl, int width, int height, bool background_only)
{
    RenderContext *context = frame_context(gl, width, height);
    if (!context) {
        state.SkipWithError(gl ? "no OpenGL device (is DISPLAY set?)" : "no device");
        return;
    }
    RenderObject *object = quad_object(context);
    for (auto _ : state) draw_frame(context, object, background_only, gl);
    render_object_free(object);
    delete object;
    end_context(context);
}

void BM_FrameGlSmall(benchmark::State &state) { frame_benchmark(state, true, 64, 64, false); }
BENCHMARK(BM_FrameGlSmall)->Unit(benchmark::kMicrosecond);
void BM_FrameHeadless(benchmark::State &state) { frame_benchmark(state, false, 64, 64, false); }
BENCHMARK(BM_FrameHeadless)->Unit(benchmark::kMicrosecond);
void BM_FrameGlFull(benchmark::State &state) { frame_benchmark(state, true, 1920, 1080, false); }
BENCHMARK(BM_FrameGlFull)->Unit(benchmark::kMicrosecond);
void BM_BackgroundOnly(benchmark::State &state) { frame_benchmark(state, true, 1920, 1080, true); }
BENCHMARK(BM_BackgroundOnly)->Unit(benchmark::kMicrosecond);

void print_ratio(const std::map<std::string, double> &times, const char *a, const char *b)
{
    double time_a = 0.0, time_b = 0.0;
    double ratio = bench_ratio(times, a, b, &time_a, &time_b);
    if (ratio > 0.0) printf("ratio %s / %s = %.2f\n", a, b, ratio);
}

}  // namespace

int main(int argc, char **argv)
{
    std::map<std::string, double> times = bench_run_best(argc, argv, 5);
    print_ratio(times, "BM_ResetDevice", "BM_RegistryOnly");
    print_ratio(times, "BM_Batch2D", "BM_Prebatched");
    print_ratio(times, "BM_DrawRanges", "BM_DrawRangesDirect");
    print_ratio(times, "BM_FrameGlSmall", "BM_FrameHeadless");
    print_ratio(times, "BM_FrameGlFull", "BM_BackgroundOnly");
    if (g_window) DestroyWindow(g_window);
    return 0;
}
