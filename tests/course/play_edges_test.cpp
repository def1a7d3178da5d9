// Balls at the edges of what bears them: rolled off a block's end over a lower surface they leave
// it, and no stroke ends with the ball asleep past an edge or never ends.
#include "tests/course/course_test_util.h"

#include "game/app.h"
#include "game/files.h"
#include "script/config_main.h"

#include <cstdio>

namespace {

constexpr float kRadius = 0.1f, kTop = -0.45f, kEnd = 5.0f;

void quiet_options()
{
    g_sound_card_on = 0;
    g_option_replay = 0;
    g_mouse_left_down = g_mouse_right_down = g_wheel_delta = 0;
}

// A lane of tiles along +x from the tee to its end at x 5, over a pool from 5 to 7 whose top lies
// 0.1 below the lane's.
void lane_over_water(CourseHole &hole)
{
    const float h = -kTop;
    hole.block("START", 0, 0, 0, 2, h, 2);
    hole.block("BLOC_FLAT", 2, 0, 0, 2, h, 2);
    hole.block("BLOC_FLAT", 4, 0, 0, 2, h, 2);
    hole.block("BLOC_WATER", 6, 0, 0, 2, h - 0.1f, 2, g_material_eau);
    hole.finish();
}

struct Ending {
    bool water = false, asleep = false;
    float x = 0.0f;
};

// Plays on until the ball sleeps or the water takes it (at most `frames`).
Ending play_out(PlayState *state, int frames)
{
    RigidBody *ball = state->ball.body;
    Ending out;
    for (int f = 0; f < frames; f++) {
        if (play_frame_logic(state, 1.0f) & kPlayEventWater) {
            out.water = true;
            return out;
        }
        if (ball->asleep) break;
    }
    out.asleep = ball->asleep != 0;
    out.x = ball->position[0];
    return out;
}

}  // namespace

// Balls rolled at the lane's end, straight and at 30 and 60 degrees, from a walk to a run, each
// from its centre at the edge: every one leaves the lane for the water; none rests past the edge.
TEST(CourseEdges, BallsRolledOffALaneEndLeaveIt)
{
    quiet_options();
    CourseHole hole;
    lane_over_water(hole);
    CoursePlay play;
    ASSERT_TRUE(play_setup_hole_collision(&play.state));
    RigidBody *ball = play.state.ball.body;
    for (float angle : {0.0f, 30.0f, 60.0f})
        for (float speed : {0.05f, 0.1f, 0.2f, 0.5f, 1.0f, 2.0f}) {
            SCOPED_TRACE(testing::Message() << angle << " degrees at " << speed);
            const float a = angle * 3.14159265f / 180.0f;
            play_sim_place_ball(&play.state, kEnd, kTop - kRadius, -0.5f);
            ball->asleep = 0;
            ball->wake_timer = g_physics_world.wake_time;  // as a rolling ball has it
            vec3_set(ball->velocity, speed * cosf(a), 0.0f, speed * sinf(a));
            const Ending out = play_out(&play.state, 600);
            EXPECT_TRUE(out.water) << "asleep " << out.asleep << " at x " << out.x;
        }
}

// Struck from 1 before the end so that it reaches the end at a walk, across the lane's width: the
// ball stops on the lane or goes into the water, and never sleeps with its centre past the edge.
TEST(CourseEdges, StrokesThatReachTheEndAtAWalk)
{
    quiet_options();
    CourseHole hole;
    lane_over_water(hole);
    CoursePlay play;
    PlayState &s = play.state;
    ASSERT_TRUE(play_setup_hole_collision(&s));
    int hanging = 0, unfinished = 0, strokes = 0, fell = 0;
    for (float z = -0.8f; z < 0.85f; z += 0.4f)
        for (float power = 1.0f; power < 1.08f; power += 0.004f) {
            play_sim_place_ball(&s, kEnd - 1.0f, kTop - kRadius, z);
            for (int f = 0; f < 300 && !s.ball.body->asleep; f++) play_frame_logic(&s, 1.0f);
            ASSERT_TRUE(play_sim_strike(&s, 180.0f, -30.0f, power));
            const Ending out = play_out(&s, 3600);
            strokes++;
            fell += out.water;
            if (!out.water && !out.asleep) unfinished++;
            if (out.asleep && out.x > kEnd) {
                hanging++;
                ADD_FAILURE() << "power " << power << " z " << z << ": asleep at x " << out.x;
            }
        }
    printf("figure: lane end: %d strokes, %d into the water, %d asleep past the edge, %d unfinished\n", strokes, fell,
           hanging, unfinished);
    EXPECT_EQ(unfinished, 0);
    EXPECT_GT(fell, strokes / 4);  // the powers span the end
}
