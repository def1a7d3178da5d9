// Runs whose every step is hashed and compared with hashes recorded once: any change to the
// physics' results (a contact more or less, a contact in another order, a rounding) shows here.
// Course play and its hole plans rely on the results staying exactly what they are. The hashes
// hold for every build of the tree (IEEE arithmetic, no contraction) and every executor.
#include "tests/physics/physics_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

struct Hash {
    uint64_t h = 1469598103934665603ull;
    void mix(const void *data, size_t size)
    {
        const unsigned char *p = static_cast<const unsigned char *>(data);
        for (size_t k = 0; k < size; k++) h = (h ^ p[k]) * 1099511628211ull;
    }
    void world(const PhysicsWorld *w)
    {
        for (int32_t i = 0; i < w->body_count; i++) {
            const RigidBody *b = w->bodies[i];
            mix(b->position, sizeof b->position);
            mix(b->quaternion, sizeof b->quaternion);
            mix(b->velocity, sizeof b->velocity);
            mix(b->angular_velocity, sizeof b->angular_velocity);
            mix(&b->asleep, 1);
            mix(&b->wake_timer, sizeof b->wake_timer);
        }
        mix(&w->substeps_used, sizeof w->substeps_used);
        int32_t events = 0;
        for (const CollisionEventNode *n = w->events.first; n; n = n->next) events++;
        mix(&events, sizeof events);
    }
};

// Strokes of every strength and direction down the slope into the cup scene: rolling, the edge
// pass on slope, green, cup and walls, sweeps of the fast ones, bounces off the walls.
uint64_t cup_strokes(int32_t workers)
{
    physics_set_workers(workers, 1);
    Hash hash;
    for (int s = 0; s < 14; s++) {
        TestGame game;
        test_slope_and_cup(game);
        RigidBody *ball = game.place_ball(-1.3f, -0.235f, -0.3f + 0.05f * float(s));
        const float angle = -0.6f + 0.09f * float(s), speed = 0.6f + 0.45f * float(s);
        ball->velocity[0] = speed * cosf(angle);
        ball->velocity[2] = speed * sinf(angle);
        ball->velocity[1] = s % 3 == 0 ? -0.8f : 0.0f;
        for (int k = 0; k < 140; k++) {
            game.step();
            hash.world(game.world.get());
        }
    }
    return hash.h;
}

// Spheres and the ball dropped into a walled tray: body pairs, sleep and wake.
uint64_t tray(int32_t workers, int32_t spheres)
{
    physics_set_workers(workers, 1);
    TestGame game;
    TestMeshBuilder t;
    t.walled_tray(1.0f);
    game.add(t.build(), 0.5f, 0.4f);
    RigidBody *ball = game.place_ball(0.0f, -0.5f, 0.0f);
    ball->velocity[0] = 1.2f;
    std::vector<RigidBody> bodies(static_cast<size_t>(spheres));
    for (int k = 0; k < spheres; k++) {
        RigidBody *b = &bodies[size_t(k)];
        test_sphere_body(b, 0.08f, -0.7f + 0.2f * float(k % 8), -0.3f - 0.25f * float(k / 8),
                         -0.5f + 0.13f * float(k % 7));
        b->restitution = 0.3f;
        b->friction = 0.2f;
        b->wake_timer = 5;
        physics_add_body(game.world.get(), b);
    }
    Hash hash;
    for (int s = 0; s < 90; s++) {
        game.world->frame_time = 0.035f;
        physics_world_step(game.world.get());
        hash.world(game.world.get());
    }
    return hash.h;
}

// The ball's mesh leaves every step placed whole with its body's matrices (the ball's shadow and
// the pair tests read it), although a one-body step places only what its contacts read.
TEST(PhysicsRecorded, BallMeshLeavesEachStepPlacedWhole)
{
    physics_set_workers(0, 0);
    TestGame game;
    test_slope_and_cup(game);
    RigidBody *ball = game.place_ball(-1.3f, -0.235f, 0.0f);
    ball->velocity[0] = 1.6f;
    ball->angular_velocity[2] = 3.0f;
    MeshObject *mesh = game.ball.get();
    const size_t vertices = size_t(mesh->vertex_count) * sizeof(MeshVertex);
    const size_t faces = size_t(mesh->face_count) * sizeof(MeshFace);
    std::vector<unsigned char> stepped(vertices + faces);
    ASSERT_NE(ball->point_grid, nullptr);
    // The grid's cells too, though the edge pass places only those it reads during the step.
    PointGrid grid;
    for (int s = 0; s < 40; s++) {
        SCOPED_TRACE(s);
        if (s == 20) {
            // The caller reshapes the mesh between steps: the next placement reads it again.
            for (int32_t v = 0; v < mesh->vertex_count; v++)
                vec3_scale(mesh->vertices[v].position, mesh->vertices[v].position, 1.01f);
            mesh_touch(mesh);
        }
        game.step();
        memcpy(stepped.data(), mesh->vertices, vertices);
        memcpy(stepped.data() + vertices, mesh->faces, faces);
        grid = *ball->point_grid;
        physics_body_prepare_mesh(ball);
        EXPECT_EQ(memcmp(stepped.data(), mesh->vertices, vertices), 0);
        EXPECT_EQ(memcmp(stepped.data() + vertices, mesh->faces, faces), 0);
        for (int c = 0; c < 64; c++)
            EXPECT_EQ(memcmp(grid.cells[c].world_point, ball->point_grid->cells[c].world_point, 3 * sizeof(float)), 0)
                << "cell " << c;
    }
    EXPECT_GT(ball->position[0], -1.0f);
    physics_set_workers(kPhysicsWorkers, 0);
}

// A ball at rest leaves every step placed whole too (a step may keep the world data its last end
// left), also when the caller moves it between steps.
TEST(PhysicsRecorded, RestingBallMeshStaysPlacedWhole)
{
    physics_set_workers(0, 0);
    TestGame game;
    test_slope_and_cup(game);
    RigidBody *ball = game.place_ball(-1.3f, -0.235f, 0.0f);
    ball->velocity[0] = 1.6f;
    MeshObject *mesh = game.ball.get();
    for (int s = 0; s < 1000 && !ball->asleep; s++) game.step();
    ASSERT_TRUE(ball->asleep);
    const size_t vertices = size_t(mesh->vertex_count) * sizeof(MeshVertex);
    const size_t faces = size_t(mesh->face_count) * sizeof(MeshFace);
    std::vector<unsigned char> stepped(vertices + faces);
    for (float shift : {0.0f, 0.05f, 0.0f, -0.05f}) {
        SCOPED_TRACE(shift);
        ball->position[2] += shift;
        for (int s = 0; s < 3; s++) game.step();
        memcpy(stepped.data(), mesh->vertices, vertices);
        memcpy(stepped.data() + vertices, mesh->faces, faces);
        physics_body_prepare_mesh(ball);
        EXPECT_EQ(memcmp(stepped.data(), mesh->vertices, vertices), 0);
        EXPECT_EQ(memcmp(stepped.data() + vertices, mesh->faces, faces), 0);
        // Three steps more with nothing changed, from the world data the placement above wrote.
        for (int s = 0; s < 3; s++) game.step();
        EXPECT_EQ(memcmp(stepped.data(), mesh->vertices, vertices), 0);
    }
    physics_set_workers(kPhysicsWorkers, 0);
}

// Spheres and the ball on a plate, a pendulum of three boxes swinging down onto them: the joint
// pass. Once the spheres sleep, the plate lifts them a little each step: a moved collider wakes
// what rests on it.
uint64_t pendulum_and_lift(int32_t workers)
{
    physics_set_workers(workers, 1);
    TestGame game;
    TestMeshBuilder plate;
    plate.floor(-1.2f, 1.2f, -1.2f, 1.2f, 0);
    game.add(plate.build(), 0.4f, 0.4f);
    MeshObject *lift = game.meshes.back().get();
    game.place_ball(0.6f, -0.2f, 0.1f);
    std::vector<RigidBody> spheres(12);
    for (int k = 0; k < 12; k++) {
        RigidBody *b = &spheres[size_t(k)];
        test_sphere_body(b, 0.08f, -0.6f + 0.25f * float(k % 4), -0.09f, -0.3f + 0.3f * float(k / 4));
        b->restitution = 0.3f;
        b->friction = 0.2f;
        b->wake_timer = 5;
        physics_add_body(game.world.get(), b);
    }
    RigidBody boxes[3];
    test_add_pendulum(game.world.get(), boxes, -0.6f, -1.3f, 0.0f);
    Hash hash;
    for (int s = 0; s < 160; s++) {
        if (s >= 100 && s < 120) {
            lift->position[1] -= 0.002f;
            lift->moved = 1;
        }
        game.world->frame_time = 0.035f;
        physics_world_step(game.world.get());
        hash.world(game.world.get());
    }
    return hash.h;
}

TEST(PhysicsRecorded, RunsKeepTheirRecordedHashes)
{
    const uint64_t kCup = 0x85c446f93f6081cbull, kTray8 = 0x03f3ddfaa87f5472ull, kTray40 = 0x90a703504c6236d2ull;
    const uint64_t kPendulum = 0xd5f9937a020e8870ull;
    for (int32_t workers : {0, 1, 2, 8}) {
        SCOPED_TRACE(workers);
        EXPECT_EQ(cup_strokes(workers), kCup) << std::hex << cup_strokes(workers);
        EXPECT_EQ(tray(workers, 8), kTray8) << std::hex << tray(workers, 8);
        EXPECT_EQ(tray(workers, 40), kTray40) << std::hex << tray(workers, 40);
        EXPECT_EQ(pendulum_and_lift(workers), kPendulum) << std::hex << pendulum_and_lift(workers);
    }
    physics_set_workers(kPhysicsWorkers, 0);
}

}  // namespace
