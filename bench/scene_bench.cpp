// The scene's benchmarks over the test hole and grids of blocks; prints one "scene: <ratio> = <x>"
// line per pair of benchmarks that ran (scripts read these lines).
#include "bench/bench_best.h"
#include "scene/scene_local.h"
#include "tests/scene/scene_test_util.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
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

// A scene file of 8192 one-triangle objects, all at one place (every pair touches) or each on a
// square of its own: the same records but their positions.
std::string triangles_file(bool touching)
{
    auto world = std::make_unique<SceneWorld>();
    world->first_block_index = 0;
    for (int32_t k = 0; k < SCENE_MAX_OBJECTS; k++) {
        MeshObject *mesh = mesh_new();
        mesh_alloc_arrays(mesh, 3);
        mesh->vertex_count = 3;
        mesh->face_count = 1;
        for (int c = 0; c < 3; c++) {
            mesh->vertices[c].position[0] = c == 1 ? 1.0f : 0.0f;
            mesh->vertices[c].position[2] = c == 2 ? 1.0f : 0.0f;
            mesh->faces[0].v[c] = c;
        }
        if (!touching) {
            mesh->position[0] = 4.0f * float(k % 91);
            mesh->position[2] = 4.0f * float(k / 91);
        }
        if (scene_add_object(world.get(), mesh) < 0) mesh_delete(mesh);
    }
    std::string path = (std::filesystem::temp_directory_path() / "bench_scene_triangles.qel").string();
    std::string bytes;
    if (scene_save(world.get(), path.c_str(), 0, 0, 0, 2)) {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::filesystem::remove(path);
    world_release_and_reset(world.get());
    return bytes;
}

// Loading such a file: its bounds and links with the rest.
void run_triangles(benchmark::State &state, bool touching)
{
    const std::string file = triangles_file(touching);
    auto world = std::make_unique<SceneWorld>();
    for (auto _ : state) {
        if (scene_load_memory(world.get(), file.data(), file.size(), 0) != 0 || scene_last_error()[0])
            state.SkipWithError(scene_last_error());
        state.PauseTiming();
        world_release_and_reset(world.get());
        state.ResumeTiming();
    }
    state.counters["file_bytes"] = double(file.size());
}

void BM_LoadTouching8192(benchmark::State &state) { run_triangles(state, true); }
BENCHMARK(BM_LoadTouching8192)->Unit(benchmark::kMillisecond);

void BM_LoadApart8192(benchmark::State &state) { run_triangles(state, false); }
BENCHMARK(BM_LoadApart8192)->Unit(benchmark::kMillisecond);

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

// ---- lighting ----------------------------------------------------------------------------------

// Workers of the many-worker case: min(4, hardware threads).
int32_t many_workers() { return int32_t(std::clamp(std::thread::hardware_concurrency(), 1u, 4u)); }

// The bench hole and the game's render context on the headless device, made on first use.
SceneWorld *lighting_world()
{
    static SceneTestDevice device;
    static std::unique_ptr<SceneWorld> world;
    if (!world) {
        world = std::make_unique<SceneWorld>();
        scene_test_make_hole(world.get(), 275, 15);
    }
    return world.get();
}

// The hole opener's lighting: set-up, face lists, then every object's lightmaps.
void light_hole(SceneWorld *world, int32_t workers)
{
    scene_set_light_workers(workers);
    world_clear_keep_default(world);
    world_setup_lighting_textures(world);
    world_build_object_face_lists(world, -2);
    for (int32_t i = 0; i < world->object_count; i++) lightmap_compute_all(world, i);
}

std::string texels_of(const SceneWorld *world)
{
    std::string out;
    for (int32_t i = 0; i < world->object_count; i++)
        if (const ObjectLightmaps *maps = world->lightmaps[i])
            out.append(reinterpret_cast<const char *>(maps->texels), size_t(maps->texel_bytes));
    return out;
}

void run_lighting(benchmark::State &state, int32_t workers)
{
    SceneWorld *world = lighting_world();
    for (auto _ : state) light_hole(world, workers);
}

void BM_Lighting1(benchmark::State &state) { run_lighting(state, 1); }
BENCHMARK(BM_Lighting1)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_LightingN(benchmark::State &state) { run_lighting(state, many_workers()); }
BENCHMARK(BM_LightingN)->Unit(benchmark::kMillisecond)->Iterations(1);

// ---- opening a hole -----------------------------------------------------------------------------

// The bench hole as a plain file in a folder of its own, the theme's light, and the world it opens in.
struct OpenBench {
    std::string folder = (std::filesystem::temp_directory_path() / "bench_scene_open").string();
    std::string plain = folder + "/hole.qel", copy = folder + "/holeA.qel";
    std::unique_ptr<SceneWorld> theme = std::make_unique<SceneWorld>(), hole = std::make_unique<SceneWorld>();

    OpenBench()
    {
        lighting_world();  // the device
        std::filesystem::create_directories(folder);
        const std::string &bytes = bench_hole_file();
        std::ofstream(plain, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    }
    ~OpenBench()
    {
        world_release_and_reset(hole.get());
        world_release_effects(hole.get());
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

OpenBench &open_bench()
{
    static OpenBench bench;
    return bench;
}

// The first open of a hole on a theme: lit with N workers, the lit copy written.
void BM_FirstOpen(benchmark::State &state)
{
    OpenBench &b = open_bench();
    scene_set_light_workers(many_workers());
    for (auto _ : state) {
        std::filesystem::remove(b.copy);
        if (scene_test_open_hole(b.hole.get(), b.theme.get(), b.plain, b.copy) != 0) state.SkipWithError("first open");
    }
}
BENCHMARK(BM_FirstOpen)->Unit(benchmark::kMillisecond)->Iterations(1);

// Every later open: the lit copy read and lit from its lightmaps.
void BM_LitCopyOpen(benchmark::State &state)
{
    OpenBench &b = open_bench();
    if (!std::filesystem::exists(b.copy)) scene_test_open_hole(b.hole.get(), b.theme.get(), b.plain, b.copy);
    for (auto _ : state)
        if (scene_test_open_hole(b.hole.get(), b.theme.get(), b.plain, b.copy) != 1) state.SkipWithError("lit copy");
}
BENCHMARK(BM_LitCopyOpen)->Unit(benchmark::kMillisecond);

// A plain load with the reduced preparation of every object: what an unlit open costs at least.
void BM_UnlitOpen(benchmark::State &state)
{
    OpenBench &b = open_bench();
    for (auto _ : state) {
        world_release_and_reset(b.hole.get());
        scene_load(b.hole.get(), b.plain.c_str(), 0x5C);
        for (int32_t i = 0; i < b.hole->object_count; i++) mesh_prepare_world_object(b.hole.get(), i, 0);
    }
}
BENCHMARK(BM_UnlitOpen)->Unit(benchmark::kMillisecond);

// One worker against N, with the texels of both runs compared byte for byte.
void print_lighting(const std::map<std::string, double> &times)
{
    double one = 0.0, many = 0.0;
    double ratio = bench_ratio(times, "BM_Lighting1", "BM_LightingN", &one, &many);
    if (ratio <= 0.0) return;
    int32_t n = many_workers();
    if (n < 2) {
        printf("scene: lighting 1 worker / N workers = skipped (one hardware thread)\n");
        return;
    }
    SceneWorld *world = lighting_world();
    light_hole(world, 1);
    std::string single = texels_of(world);
    light_hole(world, n);
    bool same = texels_of(world) == single;
    printf("scene: lighting 1 worker / %d workers = %.2f (texels %s)\n", int(n), ratio, same ? "identical" : "differ");
}

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
    print_ratio(times, "links 8192 touching / links 8192 apart", "BM_LoadTouching8192", "BM_LoadApart8192");
    print_ratio(times, "plain load / inflate alone", "BM_PlainLoad", "BM_InflateAlone");
    print_ratio(times, "15 object maps / lighting", "BM_ObjectMaps", "BM_LightingN");
    print_ratio(times, "lit-copy open / first open", "BM_LitCopyOpen", "BM_FirstOpen");
    print_ratio(times, "lit-copy open / unlit open", "BM_LitCopyOpen", "BM_UnlitOpen");
    print_lighting(times);
    scene_shutdown();
    return 0;
}
