// The worker pool: every executor gives bit-identical runs; the pool's own edge cases. Also run
// under ThreadSanitizer.
#include "tests/physics/physics_test_util.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>

namespace {

// FNV-1a over the bit patterns of every body's motion state.
uint64_t state_hash(const PhysicsWorld *world, uint64_t h)
{
    auto mix = [&h](const void *data, size_t size) {
        const unsigned char *p = static_cast<const unsigned char *>(data);
        for (size_t k = 0; k < size; k++) h = (h ^ p[k]) * 1099511628211ull;
    };
    for (int32_t i = 0; i < world->body_count; i++) {
        const RigidBody *b = world->bodies[i];
        mix(b->position, sizeof b->position);
        mix(b->quaternion, sizeof b->quaternion);
        mix(b->velocity, sizeof b->velocity);
        mix(b->angular_velocity, sizeof b->angular_velocity);
        mix(&b->asleep, 1);
        mix(&b->wake_timer, sizeof b->wake_timer);
        // The step's broad phase, and the heights and order it leaves for the next one (islands
        // write them once).
        const CandidateList &list = world->candidate_lists[i];
        mix(&list.count, sizeof list.count);
        for (int32_t c = 0; c < list.count; c++) mix(&list.body[c], sizeof list.body[c]);
        mix(&world->body_heights[i], sizeof world->body_heights[i]);
        mix(&world->body_order[i], sizeof world->body_order[i]);
        mix(&world->body_rank[i], sizeof world->body_rank[i]);
    }
    mix(&world->substeps_used, sizeof world->substeps_used);
    return h;
}

struct Executor {
    int32_t workers;
    int32_t min_jobs;
};

// A walled tray of half size `half` in the game's world (restitution 0.5, friction 0.4): its mesh.
MeshObject *add_tray(TestGame &game, float half)
{
    TestMeshBuilder tray;
    tray.walled_tray(half);
    game.add(tray.build(), 0.5f, 0.4f);
    return game.meshes.back().get();
}

// A sphere of radius r at (x, y, z) as the trays hold them (restitution 0.3, friction 0.2, awake
// five sub-steps), added to the game's world.
RigidBody *add_tray_sphere(TestGame &game, RigidBody *b, float r, float x, float y, float z)
{
    test_sphere_body(b, r, x, y, z);
    b->restitution = 0.3f;
    b->friction = 0.2f;
    b->wake_timer = 5;
    physics_add_body(game.world.get(), b);
    return b;
}

// Steps of 0.035 of the world, the hash after each: `before` runs before each one (given its
// number), and the test waits `rest` after each (the pool threads go to sleep).
template <class Before>
std::vector<uint64_t> hashed_steps(PhysicsWorld *world, int steps, std::chrono::microseconds rest, Before before)
{
    std::vector<uint64_t> hashes;
    uint64_t h = 1469598103934665603ull;
    for (int s = 0; s < steps; s++) {
        before(s);
        world->frame_time = 0.035f;
        physics_world_step(world);
        h = state_hash(world, h);
        hashes.push_back(h);
        if (rest.count() > 0) std::this_thread::sleep_for(rest);
    }
    return hashes;
}

// The game's ball struck down the slope into the cup; the hash of every step.
std::vector<uint64_t> ball_run(Executor executor, int steps)
{
    physics_set_workers(executor.workers, executor.min_jobs);
    TestGame game;
    test_slope_and_cup(game);
    RigidBody *ball = game.place_ball(-1.3f, -0.235f, 0.0f);
    ball->velocity[0] = 1.6f;
    std::vector<uint64_t> hashes;
    uint64_t h = 1469598103934665603ull;
    for (int s = 0; s < steps; s++) {
        game.step();
        h = state_hash(game.world.get(), h);
        hashes.push_back(h);
    }
    EXPECT_TRUE(ball->asleep);
    return hashes;
}

// Spheres and balls dropped into a walled tray: many bodies, so every phase uses the pool. With
// `rest`, the test waits that long after each step (the pool threads go to sleep).
std::vector<uint64_t> tray_run(Executor executor, int steps, std::chrono::microseconds rest = {})
{
    physics_set_workers(executor.workers, executor.min_jobs);
    TestGame game;
    add_tray(game, 1.0f);
    game.place_ball(0.0f, -0.5f, 0.0f);
    std::vector<RigidBody> spheres(24);
    for (int k = 0; k < 24; k++)
        add_tray_sphere(game, &spheres[size_t(k)], 0.08f, -0.7f + 0.2f * float(k % 8), -0.3f - 0.25f * float(k / 8),
                        -0.5f + 0.13f * float(k % 7));
    return hashed_steps(game.world.get(), steps, rest, [](int) {});
}

TEST(PhysicsPool, EveryExecutorGivesTheSameBallRun)
{
    const int steps = 150;
    std::vector<uint64_t> reference = ball_run({0, 1}, steps);
    EXPECT_EQ(ball_run({0, 1}, steps), reference);
    for (int32_t workers : {1, 2, 8}) EXPECT_EQ(ball_run({workers, 1}, steps), reference) << workers;
    EXPECT_EQ(ball_run({kPhysicsWorkers, 2}, steps), reference);
    physics_set_workers(kPhysicsWorkers, 0);
}

TEST(PhysicsPool, ManyBodiesRunTheSameOnThePoolAndInline)
{
    const int steps = 60;
    std::vector<uint64_t> reference = tray_run({0, 1}, steps);
    for (int32_t workers : {2, 8}) EXPECT_EQ(tray_run({workers, 1}, steps), reference) << workers;
    physics_set_workers(kPhysicsWorkers, 0);
}

// Rows of three spheres side by side on the tray's floor, each row's middle one touching both others
// at one height (a tie that the whole body order settles), and rolling; rows straddle the pool's
// ranges. With `lift`, the tray rises a little in steps 10 to 19 (a moving collider). The counts of
// island steps and whole-order lookups over the run go to *islands and *lookups.
std::vector<uint64_t> rows_run(Executor executor, int steps, uint64_t *islands, uint64_t *lookups,
                               std::chrono::microseconds rest = {}, bool lift = false)
{
    physics_set_workers(executor.workers, executor.min_jobs);
    TestGame game;
    MeshObject *tray_mesh = add_tray(game, 1.0f);
    game.place_ball(-0.8f, -0.1f, -0.8f);
    constexpr int kRows = 7;
    std::vector<RigidBody> spheres(3 * kRows);
    for (int row = 0; row < kRows; row++)
        for (int k = 0; k < 3; k++) {
            // Centres 0.15 apart: the middle sphere overlaps both of its neighbours.
            RigidBody *s = add_tray_sphere(game, &spheres[size_t(3 * row + k)], 0.08f, -0.45f + 0.15f * float(k),
                                           -0.08f, -0.75f + 0.25f * float(row));
            s->velocity[2] = 0.2f;
        }
    const uint64_t island_steps = g_physics_island_steps, island_lookups = g_physics_island_lookups.load();
    std::vector<uint64_t> hashes = hashed_steps(game.world.get(), steps, rest, [&](int s) {
        if (lift && s >= 10 && s < 20) {
            tray_mesh->position[1] -= 0.003f;
            tray_mesh->moved = 1;
        }
    });
    *islands = g_physics_island_steps - island_steps;
    *lookups = g_physics_island_lookups.load() - island_lookups;
    return hashes;
}

TEST(PhysicsPool, IslandsRunTheSameAsTheSubStepsOneByOne)
{
    // Inline, and on pools whose workers step islands: bodies that touch two of one height meet
    // them in the whole body order, looked up from every range's heights.
    const int steps = 40;
    uint64_t islands = 0, lookups = 0;
    const std::vector<uint64_t> reference = rows_run({0, 1}, steps, &islands, &lookups);
    EXPECT_EQ(islands, 0u);
    for (int32_t workers : {2, 3, 8}) {
        EXPECT_EQ(rows_run({workers, 1}, steps, &islands, &lookups), reference) << workers;
        EXPECT_GT(islands, uint64_t(steps / 2)) << workers;
        EXPECT_GT(lookups, 0u) << workers;
    }
    // The pool's threads asleep as each step begins (their islands taken by the others, or by the
    // stepping thread); and the measured executor, which changes its pool's size as it goes.
    EXPECT_EQ(rows_run({kPhysicsWorkers, 1}, 20, &islands, &lookups, std::chrono::microseconds(2000)),
              std::vector<uint64_t>(reference.begin(), reference.begin() + 20));
    EXPECT_GT(islands, 0u);
    EXPECT_EQ(rows_run({kPhysicsWorkers, 0}, steps, &islands, &lookups), reference);
    // Steps whose collider moves take their sub-steps one by one (the step after too, which moves
    // the tray from where it was).
    const std::vector<uint64_t> lifted = rows_run({0, 1}, steps, &islands, &lookups, {}, true);
    EXPECT_NE(lifted, reference);
    EXPECT_EQ(rows_run({8, 1}, steps, &islands, &lookups, {}, true), lifted);
    EXPECT_LE(islands, uint64_t(steps - 11));
    physics_set_workers(kPhysicsWorkers, 0);
}

TEST(PhysicsPool, TheMeasuredExecutorRunsAsInlineWhileItTriesEveryPoolSize)
{
    // The default executor times steps inline and on pools of 2, 4 and 8 workers, parking and
    // waking threads as it changes between them (the stepping thread takes the ranges of threads
    // still waking); then a smaller pool than the threads that exist.
    const int steps = 120;
    std::vector<uint64_t> reference = tray_run({0, 1}, steps);
    EXPECT_EQ(tray_run({kPhysicsWorkers, 0}, steps), reference);
    EXPECT_EQ(tray_run({3, 0}, steps), reference);
    // Threads asleep at every step's first phase: woken by it, or late and their ranges taken.
    EXPECT_EQ(tray_run({kPhysicsWorkers, 1}, 20, std::chrono::microseconds(2000)),
              std::vector<uint64_t>(reference.begin(), reference.begin() + 20));
    physics_set_workers(kPhysicsWorkers, 0);
}

// The body order the collide jobs walk: the exchange sort (largest y first) of the entries
// (height, body) in body order.
std::vector<BodyOrderEntry> exchange_sorted(const PhysicsWorld *world)
{
    const int32_t n = world->body_count;
    std::vector<BodyOrderEntry> entries(size_t(n), BodyOrderEntry{0.0f, -1});
    for (int32_t p = 0; p < n; p++) {
        const BodyOrderEntry e = world->body_order[p];
        EXPECT_TRUE(e.body >= 0 && e.body < n && entries[size_t(e.body)].body < 0) << e.body;
        if (e.body >= 0 && e.body < n) entries[size_t(e.body)] = e;
    }
    for (int32_t p = 0; p < n; p++)
        for (int32_t q = p + 1; q < n; q++)
            if (entries[size_t(q)].y > entries[size_t(p)].y) std::swap(entries[size_t(p)], entries[size_t(q)]);
    return entries;
}

// The candidate pairs of a step about to run: the predicted centres nearer than the radii and
// margins, or the lower body without prediction.
std::vector<uint8_t> candidate_pairs_of(const PhysicsWorld *world)
{
    const int32_t n = world->body_count;
    const float T = world->frame_time;
    std::vector<std::array<float, 3>> at(static_cast<size_t>(n));
    std::vector<float> margin(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; i++) {
        const RigidBody *b = world->bodies[i];
        for (int k = 0; k < 3; k++)
            at[size_t(i)][size_t(k)] = b->position[k] + (b->no_prediction ? 0.0f : b->velocity[k] * T);
        margin[size_t(i)] = T * T * vec3_length(b->force) * b->inverse_mass;
    }
    std::vector<uint8_t> pairs(size_t(n * n), 0);
    for (int32_t i = 0; i < n; i++) {
        pairs[size_t(i * n + i)] = 1;
        for (int32_t j = i + 1; j < n; j++) {
            const RigidBody *a = world->bodies[i], *b = world->bodies[j];
            float d[3];
            vec3_sub(d, at[size_t(i)].data(), at[size_t(j)].data());
            const float reach = a->radius + b->radius + margin[size_t(i)] + margin[size_t(j)];
            if (vec3_length(d) < reach || a->no_prediction) pairs[size_t(i * n + j)] = pairs[size_t(j * n + i)] = 1;
        }
    }
    return pairs;
}

// A step's broad phase (against the pairs taken before it) and body order, checked against their
// definitions; and the same on every executor (the pool takes the pairs in one job per body, this
// thread in one loop).
std::vector<uint8_t> checked_step_record(PhysicsWorld *world, const std::vector<uint8_t> &pairs)
{
    const int32_t n = world->body_count;
    std::vector<uint8_t> record;
    for (int32_t i = 0; i < n; i++) {
        std::vector<int16_t> expected;
        for (int32_t j = 0; j < n; j++) {
            EXPECT_EQ(world->candidate_pairs[i][j], pairs[size_t(i * n + j)]) << i << " " << j;
            if (j != i && world->candidate_pairs[i][j]) expected.push_back(int16_t(j));
            record.push_back(world->candidate_pairs[i][j]);
        }
        EXPECT_EQ(world->candidate_pairs[i][i], 1);
        const CandidateList &list = world->candidate_lists[i];
        if (expected.size() > size_t(kPhysicsListedCandidates)) {
            EXPECT_EQ(list.count, -1) << i;
        } else {
            EXPECT_EQ(std::vector<int16_t>(list.body, list.body + (list.count > 0 ? list.count : 0)), expected) << i;
        }
    }
    const std::vector<BodyOrderEntry> sorted = exchange_sorted(world);
    for (int32_t p = 0; p < n; p++) {
        EXPECT_EQ(world->body_order[p].body, sorted[size_t(p)].body) << p;
        EXPECT_EQ(world->body_rank[world->body_order[p].body], p);
        record.push_back(uint8_t(world->body_order[p].body));
    }
    return record;
}

// The ball and spheres dropped in layers of equal heights into a small tray: heights tie until the
// bodies meet, then pass each other; they wake each other and fall asleep. A body without
// prediction pairs with every later one: more candidates than a list holds. 37 bodies: the pair
// tests taken four at a time have some left over.
std::vector<std::vector<uint8_t>> crowd_run(Executor executor, int steps, int32_t *overflowing)
{
    physics_set_workers(executor.workers, executor.min_jobs);
    TestGame game;
    add_tray(game, 0.4f);
    game.place_ball(0.0f, -0.1f, 0.0f);
    std::vector<RigidBody> spheres(36);
    for (int k = 0; k < 36; k++) {
        RigidBody *b = add_tray_sphere(game, &spheres[size_t(k)], 0.09f, -0.25f + 0.17f * float(k % 4),
                                       -0.2f - 0.19f * float(k / 12), -0.25f + 0.17f * float((k / 4) % 3));
        b->velocity[0] = k % 5 == 0 ? 0.4f : 0.0f;
        b->no_prediction = k % 9 == 0 ? 1 : 0;
    }
    std::vector<std::vector<uint8_t>> records;
    *overflowing = 0;
    for (int s = 0; s < steps; s++) {
        game.world->frame_time = 0.035f;
        const std::vector<uint8_t> pairs = candidate_pairs_of(game.world.get());
        physics_world_step(game.world.get());
        for (int32_t i = 0; i < game.world->body_count; i++) *overflowing += game.world->candidate_lists[i].count < 0;
        records.push_back(checked_step_record(game.world.get(), pairs));
        records.push_back(std::vector<uint8_t>());
        const uint64_t h = state_hash(game.world.get(), 1469598103934665603ull);
        for (int k = 0; k < 8; k++) records.back().push_back(uint8_t(h >> (8 * k)));
    }
    return records;
}

TEST(PhysicsPool, BroadPhaseListsAndBodyOrderHoldOnEveryExecutor)
{
    const int steps = 80;
    int32_t overflowing = 0;
    const std::vector<std::vector<uint8_t>> reference = crowd_run({0, 1}, steps, &overflowing);
    EXPECT_GT(overflowing, 0);  // the lists' overflow is taken too
    for (int32_t workers : {2, 8}) EXPECT_EQ(crowd_run({workers, 1}, steps, &overflowing), reference) << workers;
    physics_set_workers(kPhysicsWorkers, 0);
}

TEST(PhysicsPool, EmptyWorldsFewBodiesRestartsAndShutdown)
{
    physics_set_workers(kPhysicsWorkers, 1);
    auto world = test_new_world();
    physics_world_reset(world.get());
    world->frame_time = 0.035f;
    world->base_substeps = 5;
    physics_world_step(world.get());                           // no bodies: every phase returns at once
    EXPECT_EQ(physics_worker_threads(), kPhysicsWorkers - 1);  // the stepping thread is worker 0
    EXPECT_EQ(g_physics_workers_started.load(), 1);

    RigidBody a, b;
    test_sphere_body(&a, 0.1f, 0, 0, 0);
    test_sphere_body(&b, 0.1f, 5, 0, 0);
    a.velocity[0] = 1.0f;
    a.wake_timer = b.wake_timer = 10;
    physics_add_body(world.get(), &a);
    physics_add_body(world.get(), &b);
    world->wake_time = 5;
    for (int s = 0; s < 5; s++) physics_world_step(world.get());  // fewer bodies than workers
    EXPECT_GT(a.position[0], 0.1f);

    // A second start while the workers exist starts no threads; every slot is free after a step.
    physics_start_workers(world.get());
    physics_start_workers(world.get());
    EXPECT_EQ(physics_worker_threads(), kPhysicsWorkers - 1);  // the stepping thread is worker 0
    EXPECT_EQ(physics_collide_jobs_pending(), 0);
    EXPECT_EQ(physics_wake_jobs_pending(), 0);
    EXPECT_EQ(physics_correct_jobs_pending(), 0);
    EXPECT_EQ(physics_free_wake_slot(), 0);
    physics_stop_workers();

    physics_shutdown();
    EXPECT_EQ(physics_worker_threads(), 0);
    EXPECT_EQ(g_physics_workers_started.load(), 0);
    float x = a.position[0];
    physics_world_step(world.get());                           // threads made again
    EXPECT_EQ(physics_worker_threads(), kPhysicsWorkers - 1);  // the stepping thread is worker 0
    EXPECT_GT(a.position[0], x);
    physics_shutdown();
    physics_set_workers(kPhysicsWorkers, 0);
}

double cpu_seconds(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

TEST(PhysicsPool, IdleWorkersTakeNoProcessorTime)
{
    // The default executor runs a one-body world's phases on the stepping thread: the pool's
    // threads exist, but they must sleep rather than spin while the steps run.
    physics_set_workers(kPhysicsWorkers, 0);
    TestGame game;
    test_slope_and_cup(game);
    RigidBody *ball = game.place_ball(-1.3f, -0.235f, 0.0f);
    ball->velocity[0] = 1.6f;
    game.step();
    ASSERT_EQ(physics_worker_threads(), kPhysicsWorkers - 1);
    double process = cpu_seconds(CLOCK_PROCESS_CPUTIME_ID), thread = cpu_seconds(CLOCK_THREAD_CPUTIME_ID);
    for (int s = 0; s < 150; s++) game.step();
    double process_spent = cpu_seconds(CLOCK_PROCESS_CPUTIME_ID) - process;
    double thread_spent = cpu_seconds(CLOCK_THREAD_CPUTIME_ID) - thread;
    EXPECT_LT(process_spent, thread_spent * 1.25 + 0.01);
    physics_shutdown();
}

}  // namespace
