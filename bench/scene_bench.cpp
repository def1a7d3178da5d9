// The scene's benchmarks over the test hole and grids of blocks; prints one "scene: <ratio> = <x>"
// line per pair of benchmarks that ran (scripts read these lines).
#include "bench/bench_best.h"
#include "scene/scene.h"
#include "tests/scene/scene_test_util.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

// A world of `count` touching blocks in a square-ish grid, built once per benchmark.
std::unique_ptr<SceneWorld> make_grid_world(int32_t count)
{
    auto world = std::make_unique<SceneWorld>();
    scene_test_make_block_grid(world.get(), count, int32_t(std::lround(std::sqrt(double(count)))));
    return world;
}

// Both cases run over 8192 blocks in all, the smaller one over eight worlds in turn, so that both
// find the same share of their meshes in the caches (the editor calls this once after a change,
// with cold caches): the ratio then shows how the work grows, not whether 1024 meshes fit the cache.
void run_links(benchmark::State &state, int32_t count)
{
    std::vector<std::unique_ptr<SceneWorld>> worlds;
    for (int32_t n = 0; n < 8192; n += count) worlds.push_back(make_grid_world(count));
    size_t turn = 0;
    for (auto _ : state) {
        SceneWorld *world = worlds[turn++ % worlds.size()].get();
        world_compute_bounds_and_links(world);
        benchmark::DoNotOptimize(world->links[0]);
    }
    for (auto &world : worlds) world_release_and_reset(world.get());
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
