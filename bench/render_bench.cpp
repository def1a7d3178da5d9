// Costs of the renderer's core on the headless device, each against a reference measured in the
// same run: a device reset against the registry's own release and restore of the same objects.
// Prints one ratio line for each pair whose two benchmarks ran.
#include "render/render_draw.h"
#include "render/render_local.h"

#include "platform/gpu/headless/gpu_headless.h"

#include "bench/bench_best.h"

#include <benchmark/benchmark.h>

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
    return 0;
}
