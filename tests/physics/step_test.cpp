// The world step on hand-made cases: integration order and sleep.
#include "tests/physics/physics_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

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

// The body order against a plain exchange sort, over heights from a few values (ties are common),
// then from many (bodies pass each other, now and then onto a tie), changed a few at a time: the
// order kept from the last sort must be taken only while the heights compare as they did, ties and
// all; a height that is not a number sorts as the exchange sort has it.
TEST(PhysicsStep, BodyOrderIsTheExchangeSortOfTheHeights)
{
    auto world = test_new_world();
    std::mt19937 random(7);
    const float values[] = {0.0f, -0.0f, 0.5f, 1.0f, 1.0f, 2.0f, NAN};
    std::vector<float> heights(40, 0.0f);
    int32_t checked = 0;
    for (int round = 0; round < 5000; round++) {
        // 12 bodies, 37 (the scan's four at a time and some left), and 0, 1 and 2.
        const int32_t n = round < 2900 || round >= 3000 ? (round / 100 % 2 ? 37 : 12) : int32_t(round % 3);
        for (int change = 0; change < 2; change++) {
            float y = values[random() % (round % 50 == 0 ? 7 : 6)];
            if (round >= 3000 && round % 40 != 0) y = float(random() % 100000) / 1000.0f;
            heights[random() % (round / 100 % 2 ? 40 : 14)] = y;
        }
        std::vector<BodyOrderEntry> expected;
        for (int32_t i = 0; i < n; i++) {
            world->body_heights[i] = heights[size_t(i)];
            expected.push_back(BodyOrderEntry{heights[size_t(i)], i});
        }
        for (int32_t p = 0; p < n; p++)
            for (int32_t q = p + 1; q < n; q++)
                if (expected[size_t(q)].y > expected[size_t(p)].y) std::swap(expected[size_t(p)], expected[size_t(q)]);
        physics_sort_body_order(world.get(), n);
        for (int32_t p = 0; p < n; p++) {
            ASSERT_EQ(world->body_order[p].body, expected[size_t(p)].body) << "round " << round << " place " << p;
            ASSERT_EQ(memcmp(&world->body_order[p].y, &expected[size_t(p)].y, sizeof(float)), 0);
            ASSERT_EQ(world->body_rank[expected[size_t(p)].body], p);
            checked++;
        }
    }
    EXPECT_GT(checked, 50000);
}

}  // namespace
