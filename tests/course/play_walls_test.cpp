// Walls hold the ball: seeded strikes along a railed lane and at a long wall, flat and on a slope;
// no ball centre may pass a wall's inner face.
#include "tests/course/course_test_util.h"

#include "game/files.h"

#include <random>

namespace {

// A wall's inner face: the plane z = `z` facing -`sign` along z, from x0 to x1, up to y `top`.
struct Wall {
    float z, sign, x0, x1, top;
};

// Strikes from `at` at `yaw` with `power`; the depth of the centre past the wall's inner face in
// the frame it first passes over the face (not beyond its ends); a ball that passes above the
// wall's top flew over it and gives 0.
float strike_depth(PlayState *state, const float *at, float yaw, float power, const std::vector<Wall> &walls)
{
    play_sim_place_ball(state, at[0], at[1], at[2]);
    play_sim_strike(state, yaw, -30.0f, power);
    for (int frame = 0; frame < 200; frame++) {
        const uint32_t events = play_frame_logic(state, 1.0f);
        const float *p = state->ball.body->position;
        if (events & (kPlayEventWater | kPlayEventOutOfCourse)) break;
        for (const Wall &wall : walls) {
            const float depth = wall.sign * (p[2] - wall.z);
            if (depth > 0.0f && p[0] > wall.x0 && p[0] < wall.x1) return p[1] > wall.top ? depth : 0.0f;
        }
        if (state->ball.body->asleep) break;
    }
    return 0.0f;
}

}  // namespace

TEST(CoursePlaySim, WallsHoldTheBall)
{
    g_sound_card_on = 0;
    std::mt19937 random(20261207);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    int passed = 0;
    {
        // Four 4 x 4 tiles along +x between rails 0.3 above the green: inner faces at z = -2 and 2.
        CourseHole hole;
        for (int k = 0; k < 4; k++) hole.block("BLOC_LANE", 4.0f * float(k), 0, 0, 4, 0.45f, 4);
        hole.block("START", -4, 0, 0, 4, 0.45f, 4);
        for (float side : {-1.0f, 1.0f}) hole.block("BLOC_RAIL", 6, 0, side * 2.125f, 20, 0.75f, 0.25f, 3);
        hole.finish();
        CoursePlay play;
        ASSERT_TRUE(play_setup_hole_collision(&play.state));
        const std::vector<Wall> rails = {{-2.0f, -1.0f, -4.0f, 16.0f, -0.75f}, {2.0f, 1.0f, -4.0f, 16.0f, -0.75f}};
        for (int k = 0; k < 1000; k++) {
            const float side = k % 2 ? 1.0f : -1.0f;
            const float at[3] = {-1.0f + 6.0f * unit(random), -0.55f, 1.5f * (unit(random) - 0.5f)};
            const float angle = 10.0f + 70.0f * unit(random), power = 1.0f + 14.2f * unit(random);
            // Yaw 180 strikes along +x; turning it sends the ball toward one rail.
            const float depth = strike_depth(&play.state, at, 180.0f - side * angle, power, rails);
            if (depth > 0.0f) passed++;
        }
    }
    for (int slope = 0; slope < 2; slope++) {
        // A 60-long wall along x with its inner face at z = 5, the green before it flat or falling
        // 7 degrees toward it.
        CourseHole hole;
        CourseMeshBuilder green;
        const float drop = slope ? 15.0f * tanf(7.0f * 3.14159265f / 180.0f) : 0.0f;
        green.quad({-30, -0.45f - drop, -10}, {30, -0.45f - drop, -10}, {30, -0.45f, 5}, {-30, -0.45f, 5}, {0, -1, 0},
                   5);
        green.quad({-30, 0, -10}, {30, 0, -10}, {30, 0, 5}, {-30, 0, 5}, {0, 1, 0}, 5);
        scene_add_object(hole.world, green.build("BLOC_GREEN"));
        hole.block("START", -40, 0, 0, 1, 0.45f, 1);
        hole.block("BLOC_WALL", 0, 0, 5.125f, 60, 0.75f, 0.25f, 3);
        hole.finish();
        CoursePlay play;
        ASSERT_TRUE(play_setup_hole_collision(&play.state));
        for (int k = 0; k < 100; k++) {
            const float z = -6.0f * unit(random);
            const float at[3] = {-20.0f + 40.0f * unit(random), -0.55f - drop * (5.0f - z) / 15.0f, z};
            const float angle = 10.0f + 70.0f * unit(random), power = 1.0f + 14.2f * unit(random);
            // Yaw 270 strikes along +z, toward the wall; 90 degrees is square on.
            const float yaw = 270.0f + (k % 2 ? 1.0f : -1.0f) * (90.0f - angle);
            if (strike_depth(&play.state, at, yaw, power, {{5.0f, 1.0f, -30.0f, 30.0f, -0.75f}}) > 0.0f) passed++;
        }
    }
    EXPECT_EQ(passed, 0);  // before the physics held the centre in front of every face, 1 of these 1,200 did
}
