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
            // (A sliding ball meets the floor's whole friction and the slow ones the game's damping.)
            EXPECT_GT(travelled, speed * 0.15f) << speed << " " << angle;
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

TEST(PhysicsScenario, FastBallDoesNotPassAThinWallNorSinksHalfIntoIt)
{
    const struct {
        float speed;
        int substeps;  // 0: the game's 5 to 9 a frame
    } cases[] = {{8, 0}, {15, 0}, {20, 0}, {40, 0}, {3, 1}, {8, 1}, {20, 1}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.speed << " " << c.substeps);
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
        if (c.substeps > 0) {
            game.world->base_substeps = c.substeps;
            game.world->adaptive_substeps = 0;
        }
        ball->velocity[0] = c.speed;
        float furthest = 0.0f;
        for (int s = 0; s < 100 && !ball->asleep; s++) {
            game.step();
            furthest = std::max(furthest, ball->position[0]);
        }
        EXPECT_LE(furthest, 1.0f - 0.05f + 1e-5f);  // at most half the radius into the wall
        EXPECT_LT(ball->position[0], 0.95f);        // bounced back
    }
}

// Hard strokes at a slant into a rail: the ball's centre stays at least half its radius from the
// rail's face in every frame (it came within 2% of it).
TEST(PhysicsScenario, HardSlantedStrokesSinkAtMostHalfTheBallIntoARail)
{
    float nearest = 1.0f;
    for (float speed : {9.0f, 12.0f, 15.0f})
        for (float degrees = 15.0f; degrees < 90.0f; degrees += 10.0f) {
            TestGame game;
            TestMeshBuilder floor, rail;
            floor.floor(-30, 30, -30, 30, 0);
            game.add(floor.build());
            rail.quad({-30, 0, 1}, {30, 0, 1}, {30, -0.3f, 1}, {-30, -0.3f, 1}, {0, 0, -1});
            rail.quad({-30, -0.3f, 1}, {30, -0.3f, 1}, {30, -0.3f, 1.25f}, {-30, -0.3f, 1.25f}, {0, -1, 0});
            game.add(rail.build(), 0.7f, 0.4f);
            RigidBody *ball = game.place_ball(0.0f, -0.1f, 0.0f);
            vec3_set(ball->velocity, speed * cosf(degrees * kDegToRad), 0.0f, speed * sinf(degrees * kDegToRad));
            for (int s = 0; s < 40; s++) {
                game.step();
                if (ball->position[1] > -0.3f) nearest = std::min(nearest, 1.0f - ball->position[2]);
            }
        }
    EXPECT_GE(nearest, 0.05f - 1e-5f);
}

// The hit the players saw launch the ball: fast, spinning hard, square into an end wall. Friction
// stops the slip at the wall; it does not turn the spin round and throw the ball up.
TEST(PhysicsScenario, WallHitNeverReversesTheSpin)
{
    for (float sign : {1.0f, -1.0f}) {
        SCOPED_TRACE(sign);
        TestGame game;
        TestMeshBuilder floor, wall;
        floor.floor(-10, 10, -3, 3, 0);
        game.add(floor.build(), 0.4f, 0.4f);
        wall.quad({2, 0.1f, -3}, {2, 0.1f, 3}, {2, -0.3f, 3}, {2, -0.3f, -3}, {-1, 0, 0});
        game.add(wall.build(), 0.7f, 0.4f);
        RigidBody *ball = game.place_ball(1.5f, -0.1f, 0.0f);
        vec3_set(ball->velocity, 8.78f, 0.0f, 0.0f);
        vec3_set(ball->angular_velocity, 0.0f, sign * 14.4f, sign * 46.6f);
        float up = 0.0f;
        for (int s = 0; s < 3; s++) {
            game.step();
            up = std::max(up, -ball->velocity[1]);
        }
        EXPECT_LT(ball->velocity[0], -2.0f);  // turned back
        // The spin is slowed, not turned round (it came out at -24.5 and 52 when friction could
        // overshoot), and the ball is not thrown up (4.5 with topspin).
        EXPECT_GE(sign * ball->angular_velocity[2], -0.1f * 46.6f);
        EXPECT_LE(up, 0.3f * 8.78f);
    }
}

// A 7-degree ramp rising toward +x from a flat at y 0 to a flat top 3 further on; `wall`: a wall
// across the foot of the ramp (the ramp then falls toward it, from x 0 down to 3).
void test_ramp(TestGame &game, float degrees, bool wall)
{
    const float rise = 3.0f * tanf(degrees * kDegToRad);
    TestMeshBuilder grass;
    grass.floor(-3, 0, -3, 3, 0);
    if (wall) {
        grass.quad({0, 0, -3}, {3, rise, -3}, {3, rise, 3}, {0, 0, 3}, {0, -1, 0});
        TestMeshBuilder w;
        w.quad({3, rise, -3}, {3, rise, 3}, {3, rise - 0.4f, 3}, {3, rise - 0.4f, -3}, {-1, 0, 0});
        game.add(w.build(), 0.7f, 0.4f);
    } else {
        grass.quad({0, 0, -3}, {3, -rise, -3}, {3, -rise, 3}, {0, 0, 3}, {0, -1, 0});
        grass.floor(3, 30, -3, 3, -rise);
    }
    game.add(grass.build(), 0.4f, 0.4f);
}

TEST(PhysicsScenario, BallRolledUpARampNeverSleepsOnIt)
{
    // Before the rest count-down waited on slopes, 19 of these speeds left the ball asleep halfway
    // up at the top of its travel.
    for (float speed = 1.0f; speed < 2.9f; speed += 0.03f) {
        SCOPED_TRACE(speed);
        TestGame game;
        test_ramp(game, 7.0f, false);
        RigidBody *ball = game.place_ball(-1.0f, -0.1f, 0.0f);
        ball->velocity[0] = speed;
        int steps = 0;
        run_until_asleep(game, 3000, &steps);
        EXPECT_TRUE(ball->asleep);
        EXPECT_FALSE(ball->position[0] > 0.0f && ball->position[0] < 3.0f) << ball->position[0];
    }
}

// A rail along the ramp does not hold the ball on it: grazing a wall that cannot bear its weight
// is no resting contact, and the ball rolls down beside it.
TEST(PhysicsScenario, BallBesideARailOnARampRollsDownIt)
{
    const struct {
        float up, toward;  // speeds up the ramp and toward the rail
    } cases[] = {{0.5f, 0.3f}, {1.5f, 0.1f}, {0.0f, 0.01f}, {1.0f, 0.03f}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.up << " " << c.toward);
        TestGame game;
        test_ramp(game, 7.0f, false);
        TestMeshBuilder rail;
        rail.quad({-3, 0.1f, 0.5f}, {3, 0.1f, 0.5f}, {3, -0.8f, 0.5f}, {-3, -0.8f, 0.5f}, {0, 0, -1});
        game.add(rail.build(), 0.7f, 0.4f);
        const float x = 0.5f, y = -tanf(7.0f * kDegToRad) * x - 0.1f / cosf(7.0f * kDegToRad);
        RigidBody *ball = game.place_ball(x, y, 0.35f);
        vec3_set(ball->velocity, c.up, 0.0f, c.toward);
        int steps = 0;
        run_until_asleep(game, 3000, &steps);
        EXPECT_TRUE(ball->asleep);
        EXPECT_LT(ball->position[0], 0.0f);  // down on the flat (the first two stayed against the rail)
    }
}

TEST(PhysicsScenario, BallSleepsOnAGentleSlopeAndAgainstAWallOnASteepOne)
{
    const struct {
        float degrees, x;
        bool wall;
    } cases[] = {{1.5f, 1.5f, false}, {7.0f, 1.5f, true}, {12.0f, 2.0f, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.degrees);
        TestGame game;
        test_ramp(game, c.degrees, c.wall);
        const float slope = tanf(c.degrees * kDegToRad);
        const float y = (c.wall ? 1.0f : -1.0f) * slope * c.x - 0.1f / cosf(c.degrees * kDegToRad);
        RigidBody *ball = game.place_ball(c.x, y, 0.0f);
        int steps = 0;
        run_until_asleep(game, 1500, &steps);
        EXPECT_TRUE(ball->asleep);
        if (c.wall) {
            EXPECT_GT(ball->position[0], 2.85f);  // rolled down to the wall
        }
    }
}

}  // namespace

// A step's events are its own whatever earlier steps recorded: the nodes of spent events are
// used again, and a run after another one (or one whose caller empties the list itself) lists the
// same events, whole and linked both ways.
TEST(PhysicsScenario, EventsOfAStepDoNotDependOnEarlierSteps)
{
    struct Event {
        CollisionEvent e;
        bool operator==(const Event &o) const
        {
            return e.kind == o.e.kind && e.event_class == o.e.event_class && e.body == o.e.body &&
                   e.other == o.e.other && e.normal_speed == o.e.normal_speed && e.point[0] == o.e.point[0] &&
                   e.point[1] == o.e.point[1] && e.point[2] == o.e.point[2];
        }
    };
    auto run = [](bool caller_clears) {
        TestGame game;
        test_slope_and_cup(game);
        RigidBody *ball = game.place_ball(-1.3f, -0.235f, 0.0f);
        ball->velocity[0] = 1.6f;
        std::vector<std::vector<Event>> steps;
        for (int s = 0; s < 80; s++) {
            game.step();
            const CollisionEventList &list = game.world->events;
            std::vector<Event> events;
            const CollisionEventNode *before = nullptr;
            for (const CollisionEventNode *n = list.first; n; before = n, n = n->next) {
                EXPECT_EQ(n->prev, before);
                events.push_back(Event{n->value});
            }
            EXPECT_EQ(list.last, before);
            EXPECT_EQ(list.count, int32_t(events.size()));
            steps.push_back(events);
            if (caller_clears) physics_event_list_clear(&game.world->events);
        }
        return steps;
    };
    const auto first = run(false), again = run(false), cleared = run(true);
    size_t total = 0;
    for (const auto &s : first) total += s.size();
    EXPECT_GT(total, 20u);
    EXPECT_TRUE(first == again);
    EXPECT_TRUE(first == cleared);
}
