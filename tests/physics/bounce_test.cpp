// The ball against a wall: the normal speed it leaves with over what it came in with is the wall's
// restitution, rolling or sliding, on the floor or in the air, at any speed.
#include "tests/physics/physics_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

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
// the floor or 0.2 above it (gravity then off, so that it meets the wall in the air).
Hit hit_wall(float speed, float restitution, bool rolling, bool airborne)
{
    TestGame game;
    if (!airborne) game.add(test_prepared(test_floor(20.0f)), 0.4f, 0.4f);
    game.add(test_wall(1.0f, -0.3f), restitution, 0.4f);
    RigidBody *ball = game.place_ball(0.85f, airborne ? -0.3f : -0.1f, 0.0f);
    if (airborne) game.world->gravity = 0.0f;
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
    for (float e : {0.4f, 0.7f, 1.0f})
        for (int mode = 0; mode < 3; mode++)
            for (float speed : {0.5f, 1.0f, 2.0f, 4.0f, 8.0f, 12.0f, 16.0f, 20.0f, 25.0f}) {
                const bool rolling = mode == 0, airborne = mode == 2;
                const Hit hit = hit_wall(speed, e, rolling, airborne);
                const float ratio = hit.in > 0.0f ? hit.out / hit.in : 0.0f;
                if (print)
                    printf("e %.1f %s %5.1f: in %6.3f out %6.3f ratio %.3f\n", e,
                           mode == 0 ? "rolling" : mode == 1 ? "sliding" : "in air ", speed, hit.in, hit.out, ratio);
                EXPECT_NEAR(ratio, e, 0.1f) << "e " << e << " mode " << mode << " speed " << speed;
            }
}
