// Course play's costs against the physics step of the same hole, measured in the same run: the
// ball's shadow built on the hole's two local colliders, as every frame of play builds it, against
// one physics step with the ball rolling, and one whole logic frame of play (which runs one such
// step) against the step alone. Prints "ball shadow / physics step = r" and
// "play frame / physics step = r". Also the opening of a hole of 240 objects from its lit copy
// against its first opening, which lights it: "hole open: lit copy / lighting = r".
#include "bench/bench_best.h"
#include "course/course.h"
#include "course/hole.h"
#include "game/files.h"
#include "render/render_draw.h"
#include "tests/scene/scene_test_util.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

// The test hole of the scene benchmarks, set up for one player, with the ball rolling off its tee.
struct BenchHole {
    PlayState state;
    float position[3];
    float velocity[3] = {1.2f, 0.0f, 0.7f};
    bool ready = false;

    BenchHole()
    {
        setenv("ZAVGOLF_HEADLESS", "1", 1);
        g_sound_card_on = 0;
        gpu_headless_reset();
        render_context_construct(&g_render_context);
        g_render_context.width = 64;
        g_render_context.height = 64;
        if (!render_create_device(&g_render_context)) return;
        if (!play_ball_create(&state.ball)) return;
        build();
    }
    ~BenchHole()
    {
        teardown();
        play_ball_free(&state.ball);
        course_decal_release_storage();
        render_shutdown_device(&g_render_context);
        render_context_destroy(&g_render_context);
    }
    // The play hole in g_hole_world, set up for play: the same every time.
    void build()
    {
        world_release_and_reset(&g_hole_world);
        scene_test_make_hole(&g_hole_world, 275, 0);
        world_compute_bounds_and_links(&g_hole_world);
        if (!play_setup_hole_collision(&state)) return;
        state.ball.sphere->flags |= kMeshFlagBodyMatrices;
        memcpy(position, state.ball.body->position, sizeof position);
        render_set_mode(17, &g_render_context, 53);  // record, as the play screen does
        ready = state.shadow_meshes[0] || state.shadow_meshes[1];
    }
    // Gives g_hole_world back empty (the hole openings use it).
    void teardown()
    {
        play_teardown_hole(&state);
        world_release_and_reset(&g_hole_world);
        ready = false;
    }

    void roll()
    {
        RigidBody *b = state.ball.body;
        memcpy(b->position, position, sizeof position);
        memcpy(b->velocity, velocity, sizeof velocity);
        b->asleep = 0;
    }
};

BenchHole *g_bench = nullptr;

void BM_BallShadow(benchmark::State &bench)
{
    if (!g_bench->ready) bench.SkipWithError("no hole");
    g_bench->roll();
    const float *p = g_bench->state.ball.body->position, *l = g_hole_world.light_vector;
    for (auto _ : bench) {
        light_set_point(&g_render_context, 1, p[0] - 50 * l[0], p[1] - 50 * l[1], p[2] - 50 * l[2], 1, 1, 1, 0, 100);
        for (int k = 0; k < 2; k++)
            if (g_bench->state.shadow_meshes[k])
                mesh_build_projected_decal_editor(g_bench->state.ball.sphere, &g_render_context,
                                                  &g_bench->state.shadow_slots[k]);
        benchmark::DoNotOptimize(g_render_context.dynamic_object->indices_in_use);
    }
}
BENCHMARK(BM_BallShadow);

void BM_PhysicsStep(benchmark::State &bench)
{
    if (!g_bench->ready) bench.SkipWithError("no hole");
    for (auto _ : bench) {
        g_bench->roll();
        g_physics_world.frame_time = 0.035f;
        physics_world_step(&g_physics_world);
    }
}
BENCHMARK(BM_PhysicsStep);

// One logic frame of play with the ball rolling: the frame's one physics step and all around it.
void BM_PlayFrame(benchmark::State &bench)
{
    if (!g_bench->ready) bench.SkipWithError("no hole");
    for (auto _ : bench) {
        g_bench->roll();
        g_bench->state.physics_accumulator = 1.0f;  // one step in this frame
        benchmark::DoNotOptimize(play_frame_logic(&g_bench->state, 1.0f));
    }
}
BENCHMARK(BM_PlayFrame);

// An editor-made hole of 225 tiles, 15 blocks and 5 plants as a plain file in a folder of its own,
// opened under the theme's light; the play hole is put aside meanwhile.
struct OpenBench {
    std::string folder = (std::filesystem::temp_directory_path() / "bench_course_open").string();
    std::string copy = folder + "/QELPERSO/bench/holeA.qel";
    bool ready = false;

    OpenBench()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
        std::filesystem::create_directories(folder + "/Saves/bench");
        std::filesystem::create_directories(folder + "/QELPERSO");
        snprintf(g_saves_folder, sizeof g_saves_folder, "%s/Saves/", folder.c_str());
        snprintf(g_lit_cache_folder_personal, sizeof g_lit_cache_folder_personal, "%s/QELPERSO", folder.c_str());
        g_theme_index = 0;
        g_bench->teardown();
        scene_test_make_hole(&g_hole_world, 15, 5);
        const std::string plain = folder + "/Saves/bench/hole.qel";
        ready = g_hole_world.object_count == 240 && scene_save(&g_hole_world, plain.c_str(), 0, 0, 0, 2) == 1;
        world_release_and_reset(&g_hole_world);
    }
    ~OpenBench()
    {
        hole_free_shadows();
        lightmap_atlas_free(&g_render_context);
        scene_shutdown();  // no parked light workers while the play benchmarks run
        g_bench->build();
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    void open()
    {
        if (!hole_open("hole", "bench", 1)) ready = false;
    }
    // What the play screen releases when it leaves a hole, before it opens the next one.
    void leave(benchmark::State *bench = nullptr)
    {
        if (bench) bench->PauseTiming();
        hole_free_shadows();
        world_release_and_reset(&g_hole_world);
        lightmap_atlas_free(&g_render_context);
        if (bench) bench->ResumeTiming();
    }
};

// The first opening under a theme: the plain file lit, the lit copy written.
void BM_HoleOpenLighting(benchmark::State &bench)
{
    OpenBench open;
    if (!open.ready) bench.SkipWithError("no hole");
    for (auto _ : bench) {
        std::filesystem::remove(open.copy);
        open.open();
        open.leave(&bench);
    }
    if (!open.ready) bench.SkipWithError("hole not opened");
}
BENCHMARK(BM_HoleOpenLighting)->Unit(benchmark::kMillisecond)->Iterations(1);

// Every later opening: the lit copy read, lit from its lightmaps.
void BM_HoleOpenLitCopy(benchmark::State &bench)
{
    OpenBench open;
    if (!open.ready) bench.SkipWithError("no hole");
    open.open();  // the copy
    open.leave();
    for (auto _ : bench) {
        open.open();
        open.leave(&bench);
    }
    if (!open.ready || !std::filesystem::exists(open.copy)) bench.SkipWithError("no lit copy");
}
BENCHMARK(BM_HoleOpenLitCopy)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv)
{
    BenchHole hole;
    g_bench = &hole;
    std::map<std::string, double> times = bench_run_best(argc, argv, 5);
    double shadow = 0.0, step = 0.0;
    double ratio = bench_ratio(times, "BM_BallShadow", "BM_PhysicsStep", &shadow, &step);
    if (ratio > 0.0) printf("ball shadow / physics step = %.3f\n", ratio);
    double frame = 0.0;
    ratio = bench_ratio(times, "BM_PlayFrame", "BM_PhysicsStep", &frame, &step);
    if (ratio > 0.0) printf("play frame / physics step = %.3f\n", ratio);
    double copy = 0.0, lighting = 0.0;
    ratio = bench_ratio(times, "BM_HoleOpenLitCopy", "BM_HoleOpenLighting", &copy, &lighting);
    if (ratio > 0.0) printf("hole open: lit copy / lighting = %.3f\n", ratio);
    g_bench = nullptr;
    scene_shutdown();  // the light workers
    return 0;
}
