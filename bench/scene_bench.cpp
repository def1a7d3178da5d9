// The scene's benchmarks over the test hole and grids of blocks; prints one "scene: <ratio> = <x>"
// line per pair of benchmarks that ran (scripts read these lines).
#include "bench/bench_best.h"
#include "scene/scene.h"
#include "tests/scene/scene_test_util.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
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

// The bench hole (225 tiles, 275 blocks, 15 plants, a slanted sun) as a plain scene file.
const std::string &bench_hole_file()
{
    static std::string bytes;
    if (!bytes.empty()) return bytes;
    auto world = std::make_unique<SceneWorld>();
    scene_test_make_hole(world.get(), 275, 15);
    std::string path = (std::filesystem::temp_directory_path() / "bench_scene_hole.qel").string();
    if (scene_save(world.get(), path.c_str(), 0, 0, 0, 2)) {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::filesystem::remove(path);
    world_release_and_reset(world.get());
    return bytes;
}

void BM_PlainLoad(benchmark::State &state)
{
    const std::string &file = bench_hole_file();
    auto world = std::make_unique<SceneWorld>();
    for (auto _ : state) {
        if (scene_load_memory(world.get(), file.data(), file.size(), 0x5C) != 0 || scene_last_error()[0])
            state.SkipWithError(scene_last_error());
        state.PauseTiming();
        world_release_and_reset(world.get());
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PlainLoad)->Unit(benchmark::kMillisecond);

// The same file's sections inflated and nothing parsed: what any reader of packed sections pays.
void BM_InflateAlone(benchmark::State &state)
{
    const std::string &file = bench_hole_file();
    const uint8_t *bytes = reinterpret_cast<const uint8_t *>(file.data());
    for (auto _ : state) {
        uint16_t count = uint16_t(bytes[18] | bytes[19] << 8);
        size_t at = 24;
        for (int k = 0; k < count; k++) {
            uint32_t raw, packed;
            memcpy(&raw, bytes + at + 4, 4);
            memcpy(&packed, bytes + at + 8, 4);
            PackedBlock block = {PACKED_FILTER_NONE, packed, raw, const_cast<uint8_t *>(bytes + at + 20)};
            uint8_t *data = inflate_unpack_block(&block);
            benchmark::DoNotOptimize(codecs_crc32(0, data, raw));
            free(data);
            at += 20 + packed;
        }
    }
}
BENCHMARK(BM_InflateAlone)->Unit(benchmark::kMillisecond);

// The shadow masks course play makes for the bench hole's 15 plants.
void BM_ObjectMaps(benchmark::State &state)
{
    auto world = std::make_unique<SceneWorld>();
    scene_test_make_hole(world.get(), 275, 15);
    for (auto _ : state) {
        for (int32_t j = 0; j < world->vegetal_count; j++) {
            uint8_t *map = world_rasterise_object_map(128, 128, world.get(), j);
            benchmark::DoNotOptimize(map);
            free(map);
        }
    }
    world_release_and_reset(world.get());
}
BENCHMARK(BM_ObjectMaps)->Unit(benchmark::kMillisecond);

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
    print_ratio(times, "plain load / inflate alone", "BM_PlainLoad", "BM_InflateAlone");
    print_ratio(times, "15 object maps / lighting", "BM_ObjectMaps", "BM_LightingN");
    return 0;
}
