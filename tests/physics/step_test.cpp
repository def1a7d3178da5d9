// The world step on hand-made cases: integration order and sleep.
#include "tests/physics/physics_test_util.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct StepWorld {
    std::unique_ptr<PhysicsWorld> world = test_new_world();
    StepWorld(float rest_speed = 0.05f, float rest_spin = 0.125f)
    {
        g_physics_rest_speed = rest_speed;
        g_physics_rest_spin = rest_spin;
        physics_world_reset(world.get());
        world->frame_time = 1.0f;
        world->base_substeps = 5;
        world->gravity = 0.0f;
    }
    ~StepWorld() { physics_world_reset(world.get()); }
};

TEST(PhysicsStep, FreeFallFollowsTheIntegrationOrder)
{
    StepWorld w;
    w.world->gravity = 2.0f;
    w.world->adaptive_substeps = 0;
    RigidBody body;
    test_sphere_body(&body, 0.1f, 0, 0, 0);
    body.velocity[1] = 1.0f;
    body.wake_timer = 100;
    physics_add_body(w.world.get(), &body);
    physics_world_step(w.world.get());
    // Sub-step 0 runs on the stroke's force (none): only the sub-steps after it feel gravity, and
    // each moves by the velocity it started with.
    float dt = 1.0f / 5.0f, y = 0.0f, v = 1.0f;
    for (int k = 0; k < 5; k++) {
        y += v * dt;
        if (k > 0) v += 2.0f * 1.0f * dt;
    }
    EXPECT_EQ(body.position[1], y);
    EXPECT_EQ(body.velocity[1], v);
    EXPECT_EQ(body.predicted_position[1], y);
    EXPECT_EQ(body.asleep, 0);
}

TEST(PhysicsStep, SleepAfterTheWakeTimerRunsOut)
{
    StepWorld w;
    w.world->adaptive_substeps = 0;
    w.world->base_substeps = 1;
    RigidBody body;
    test_sphere_body(&body, 0.1f, 0, 0, 0);
    body.wake_timer = 3;
    physics_add_body(w.world.get(), &body);
    for (int k = 0; k < 3; k++) {
        physics_world_step(w.world.get());
        EXPECT_EQ(body.asleep, 0) << k;
    }
    EXPECT_EQ(body.wake_timer, 0);
    physics_world_step(w.world.get());
    EXPECT_EQ(body.asleep, 1);

    // Moving and asleep: motion zeroed and awake, not integrated.
    body.velocity[0] = 1.0f;
    physics_world_step(w.world.get());
    EXPECT_EQ(body.asleep, 0);
    EXPECT_EQ(body.position[0], 0.0f);
    EXPECT_EQ(body.velocity[0], 0.0f);
}

}  // namespace
