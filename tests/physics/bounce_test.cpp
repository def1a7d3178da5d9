// The ball against a wall: the normal speed it leaves with over what it came in with is the wall's
// restitution, rolling or sliding, on the floor or in the air, at any speed.
#include "tests/physics/physics_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace {

// A wall across x at `x` (facing -x) from y `top` down to the floor at y = 0, 40 wide along z.
MeshPtr test_wall(float x, float top)
{
    TestMeshBuilder b;
    b.quad({x, top, -20}, {x, top, 20}, {x, 0.5f, 20}, {x, 0.5f, -20}, {-1, 0, 0});
    return b.build();
}

struct Hit {
    float in, out;  // normal speeds into the wall before and away from it after
};

// The ball from 0.05 before the wall, at `speed` along +x, rolling (spin to match) or sliding; on
// the floor or 0.2 above it (gravity then off, so that it meets the wall in the air); the step cut
// into `substeps`.
Hit hit_wall(float speed, float restitution, bool rolling, bool airborne, int substeps)
{
    TestGame game;
    // A floor without friction: what the ball leaves the wall with is not then taken from it by the
    // floor's grip on its spin, while the floor's contacts are met in every sub-step all the same.
    if (!airborne) game.add(test_prepared(test_floor(20.0f)), 0.4f, 0.0f);
    game.add(test_wall(1.0f, -0.3f), restitution, 0.4f);
    RigidBody *ball = game.place_ball(0.85f, airborne ? -0.3f : -0.1f, 0.0f);
    if (airborne) game.world->gravity = 0.0f;
    game.world->base_substeps = substeps;
    game.world->adaptive_substeps = 0;
    ball->velocity[0] = speed;
    ball->velocity[1] = 0.0f;
    // Rolling along +x on a floor below (+y): w x (0, r, 0) = -v, so w = (0, 0, v / r).
    if (rolling) ball->angular_velocity[2] = speed / ball->radius;
    Hit hit{0.0f, 0.0f};
    for (int frame = 0; frame < 400; frame++) {
        const float before = ball->velocity[0];
        game.step();
        if (before > 0.0f && ball->velocity[0] < before * 0.5f) {
            hit.in = before;
            hit.out = -ball->velocity[0];
            for (int k = 0; k < 2; k++) {
                game.step();
                hit.out = fmaxf(hit.out, -ball->velocity[0]);
            }
            return hit;
        }
    }
    return hit;
}

}  // namespace

TEST(PhysicsBounce, StraightHitsTakeTheWallsRestitution)
{
    const bool print = getenv("ZAV_PRINT_BOUNCES") != nullptr;
    for (int substeps : {2, 5, 9})
        for (float e : {0.4f, 0.7f, 1.0f})
            for (int mode = 0; mode < 3; mode++)
                for (float speed : {0.5f, 1.0f, 2.0f, 4.0f, 8.0f, 12.0f, 16.0f, 20.0f, 25.0f}) {
                    const bool rolling = mode == 0, airborne = mode == 2;
                    const Hit hit = hit_wall(speed, e, rolling, airborne, substeps);
                    const float ratio = hit.in > 0.0f ? hit.out / hit.in : 0.0f;
                    if (print)
                        printf("e %.1f %s %5.1f x%d: in %6.3f out %6.3f ratio %.3f\n", e,
                               mode == 0 ? "rolling" : mode == 1 ? "sliding" : "in air ", speed, substeps, hit.in,
                               hit.out, ratio);
                    EXPECT_NEAR(ratio, e, 0.1f) << "e " << e << " mode " << mode << " speed " << speed << " x"
                                                << substeps;
                }
}

// Seeded hits of a corner of two walls at any angle, speed, spin and height: the face struck first
// sends the ball back at no less than half its restitution's share of the speed it came in with.
TEST(PhysicsBounce, NoHitOfACornerSwallowsTheBounce)
{
    std::mt19937 random(4021);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const float kTwoPi = 6.2831853f;
    int hits = 0, weak = 0;
    for (int k = 0; k < 2000; k++) {
        const float e = k % 3 == 0 ? 0.4f : k % 3 == 1 ? 0.7f : 1.0f;
        const bool airborne = k % 5 == 0;
        TestGame game;
        if (!airborne) game.add(test_prepared(test_floor(20.0f)), 0.4f, 0.4f);
        TestMeshBuilder walls;  // faces at x = 1 and z = 1, facing back into the corner's inside
        walls.quad({1, -0.3f, -20}, {1, -0.3f, 1}, {1, 0.5f, 1}, {1, 0.5f, -20}, {-1, 0, 0});
        walls.quad({-20, -0.3f, 1}, {1, -0.3f, 1}, {1, 0.5f, 1}, {-20, 0.5f, 1}, {0, 0, -1});
        game.add(walls.build(), e, 0.4f);
        const float x0 = 0.2f + 0.6f * unit(random), z0 = 0.2f + 0.6f * unit(random);
        RigidBody *ball = game.place_ball(x0, airborne ? -0.3f : -0.1f, z0);
        if (airborne) game.world->gravity = 0.0f;
        const float speed = 0.5f + 24.5f * unit(random), heading = 0.25f * kTwoPi * unit(random);
        vec3_set(ball->velocity, speed * cosf(heading), 0.0f, speed * sinf(heading));
        const float spin = airborne ? 0.0f : unit(random);  // 1: rolling
        vec3_set(ball->angular_velocity, -spin * ball->velocity[2] / 0.1f, 0.0f, spin * ball->velocity[0] / 0.1f);
        for (int frame = 0; frame < 400; frame++) {
            const float vx = ball->velocity[0], vz = ball->velocity[2];
            const float gap_x = 0.9f - ball->position[0], gap_z = 0.9f - ball->position[2];
            game.step();
            const bool back_x = vx > 0.0f && ball->velocity[0] < 0.5f * vx;
            const bool back_z = vz > 0.0f && ball->velocity[2] < 0.5f * vz;
            if (!back_x && !back_z) continue;
            // The face struck first: the one turned back, or of two the one the ball was nearer in time.
            const bool along_x = back_x && (!back_z || gap_x / vx <= gap_z / vz);
            const int axis = along_x ? 0 : 2;
            const float in = along_x ? vx : vz;
            float out = -ball->velocity[axis];
            for (int more = 0; more < 2; more++) {
                game.step();
                out = fmaxf(out, -ball->velocity[axis]);
            }
            if (in > 0.5f) {
                hits++;
                if (out < 0.5f * e * in) {
                    weak++;
                    ADD_FAILURE() << "e " << e << " in " << in << " out " << out << (along_x ? " x" : " z")
                                  << (airborne ? " in the air" : "") << " spin " << spin << " from " << x0 << ", " << z0;
                }
            }
            break;
        }
    }
    EXPECT_GT(hits, 1500);
    EXPECT_EQ(weak, 0);
}
