// The scene's benchmarks over the test hole and grids of blocks; prints one "scene: <ratio> = <x>"
// line per pair of benchmarks that ran (scripts read these lines).
#include "bench/bench_best.h"
#include "scene/scene.h"
#include "tests/scene/scene_test_util.h"

#include <cmath>
#include <cstdio>
#include <memory>

namespace {

// A world of `count` touching blocks in a square-ish grid, built once per benchmark.
std::unique_ptr<SceneWorld> make_grid_world(int32_t count)
{
    auto world = std::make_unique<SceneWorld>();
    scene_test_make_block_grid(world.get(), count, int32_t(std::lround(std::sqrt(double(count)))));
    return world;
}

void run_links(benchmark::State &state, int32_t count)
{
    std::unique_ptr<SceneWorld> world = make_grid_world(count);
    for (auto _ : state) {
        world_compute_bounds_and_links(world.get());
        benchmark::DoNotOptimize(world->links[0]);
    }
    world_release_and_reset(world.get());
}

void BM_Links1024(benchmark::State &state) { run_links(state, 1024); }
BENCHMARK(BM_Links1024)->Unit(benchmark::kMillisecond);

void BM_Links8192(benchmark::State &state) { run_links(state, 8192); }
BENCHMARK(BM_Links8192)->Unit(benchmark::kMillisecond);

void print_ratio(const std::map<std::string, double> &times, const char *line, const char *a, const char *b)
{
    double time_a = 0.0, time_b = 0.0;
    double ratio = bench_ratio(times, a, b, &time_a, &time_b);
    if (ratio > 0.0) printf("scene: %s = %.2f\n", line, ratio);
}

}  // namespace

int main(int argc, char **argv)
{
    std::map<std::string, double> times = bench_run_best(argc, argv, 5);
    print_ratio(times, "links 8192 / links 1024", "BM_Links8192", "BM_Links1024");
    return 0;
}
