// The game's ball in the game's settings: bounces, rolls, a cup and a thin wall.
#include "tests/physics/physics_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// Runs until the ball sleeps (or `limit` steps); the largest y (deepest point) it reached.
float run_until_asleep(TestGame &game, int limit, int *steps)
{
    RigidBody *ball = game.body();
    float deepest = -1e9f;
    int s = 0;
    for (; s < limit && !ball->asleep; s++) {
        game.step();
        EXPECT_TRUE(test_finite(ball->position));
        deepest = std::max(deepest, ball->position[1]);
    }
    *steps = s;
    return deepest;
}

TEST(PhysicsScenario, DroppedBallBouncesLowerEachTimeAndSleeps)
{
    TestGame game;
    TestMeshBuilder b;
    b.floor(-3, 3, -3, 3, 0);
    game.add(b.build(), 0.7f, 0.4f);
    RigidBody *ball = game.place_ball(0.2f, -2.1f, 0.3f);
    std::vector<float> apexes;
    bool rising = false, loud = false;
    float previous = ball->position[1], apex = previous, deepest = previous;
    int s = 0;
    for (; s < 2000 && !ball->asleep; s++) {
        game.step();
        for (CollisionEventNode *e = game.world->events.first; e; e = e->next) {
            EXPECT_EQ(e->value.kind, 3);
            EXPECT_EQ(e->value.other, 0);
            if (e->value.normal_speed < -2.0f) loud = true;
        }
        float y = ball->position[1];
        deepest = std::max(deepest, y);
        if (y < previous) {
            rising = true;
            apex = y;
        } else if (rising && y > previous) {
            apexes.push_back(apex);
            rising = false;
        }
        previous = y;
    }
    EXPECT_TRUE(ball->asleep);
    EXPECT_TRUE(loud);  // the impact the game clicks on
    ASSERT_GE(apexes.size(), 2u);
    EXPECT_LT(apexes[0], -0.5f);
    for (size_t k = 1; k < apexes.size(); k++) EXPECT_GT(apexes[k], apexes[k - 1]) << k;
    EXPECT_LT(deepest, -0.05f);
    EXPECT_NEAR(ball->position[1], -0.1f, 0.01f);
    // Asleep, it stays where it is.
    float rest[3] = {ball->position[0], ball->position[1], ball->position[2]};
    for (int k = 0; k < 20; k++) game.step();
    EXPECT_EQ(ball->position[1], rest[1]);
    EXPECT_EQ(game.world->events.count, 0);
}

TEST(PhysicsScenario, RolledBallsStopAndSleepOnTheFloor)
{
    for (float speed : {0.2f, 0.5f, 1.0f, 2.0f, 4.0f})
        for (float angle : {0.0f, 30.0f, 75.0f, 140.0f}) {
            TestGame game;
            TestMeshBuilder b;
            b.floor(-30, 30, -30, 30, 0);
            game.add(b.build());
            RigidBody *ball = game.place_ball(0.2f, -0.1f, 0.3f);
            ball->velocity[0] = speed * cosf(angle * kDegToRad);
            ball->velocity[2] = speed * sinf(angle * kDegToRad);
            int steps = 0;
            float deepest = run_until_asleep(game, 2000, &steps);
            EXPECT_TRUE(ball->asleep) << speed << " " << angle;
            EXPECT_LT(deepest, -0.08f) << speed << " " << angle;
            // It travelled the way it was rolled.
            float travelled = (ball->position[0] - 0.2f) * cosf(angle * kDegToRad) +
                              (ball->position[2] - 0.3f) * sinf(angle * kDegToRad);
            EXPECT_GT(travelled, speed * 0.2f) << speed << " " << angle;
        }
}

TEST(PhysicsScenario, BallStruckDownASlopeEndsAsleepInTheCup)
{
    for (float speed : {1.3f, 1.6f, 2.0f}) {
        TestGame game;
        test_slope_and_cup(game);
        RigidBody *ball = game.place_ball(-1.3f, -0.235f, 0.0f);
        ball->velocity[0] = speed;
        int steps = 0;
        float deepest = run_until_asleep(game, 3000, &steps);
        ASSERT_TRUE(ball->asleep) << speed;
        EXPECT_GT(ball->position[0], 1.35f) << speed;
        EXPECT_LT(ball->position[0], 1.65f) << speed;
        EXPECT_GT(ball->position[2], -0.15f) << speed;
        EXPECT_LT(ball->position[2], 0.15f) << speed;
        EXPECT_GT(ball->position[1], 0.0f) << speed;  // below the rim
        EXPECT_LT(deepest, 0.25f - 0.05f) << speed;   // never through the cup's floor
    }
}

TEST(PhysicsScenario, FastBallDoesNotPassAThinWall)
{
    for (float speed : {8.0f, 20.0f, 40.0f}) {
        TestGame game;
        // The floor and the wall are separate colliders, as course play makes them (grass and the
        // other faces).
        TestMeshBuilder floor, wall;
        floor.floor(-30, 30, -30, 30, 0);
        game.add(floor.build());
        wall.quad({1.0f, 0.0f, -1}, {1.0f, 0.0f, 1}, {1.0f, -0.5f, 1}, {1.0f, -0.5f, -1}, {-1, 0, 0});
        wall.quad({1.02f, 0.0f, -1}, {1.02f, 0.0f, 1}, {1.02f, -0.5f, 1}, {1.02f, -0.5f, -1}, {1, 0, 0});
        game.add(wall.build(), 0.7f, 0.4f);
        RigidBody *ball = game.place_ball(0.0f, -0.1f, 0.1f);
        ball->velocity[0] = speed;
        float furthest = 0.0f;
        for (int s = 0; s < 100 && !ball->asleep; s++) {
            game.step();
            furthest = std::max(furthest, ball->position[0]);
        }
        EXPECT_LT(furthest, 1.0f) << speed;
        EXPECT_LT(ball->position[0], 0.95f) << speed;  // bounced back
    }
}

}  // namespace
