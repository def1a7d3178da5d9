// Balls at the edges of what bears them: rolled off a block's end over a lower surface they leave
// it, and no stroke ends with the ball asleep past an edge or never ends.
#include "tests/course/course_test_util.h"

#include "game/app.h"
#include "game/files.h"
#include "script/config_main.h"

#include <cstdio>

namespace {

constexpr float kRadius = 0.1f;

void quiet_options()
{
    g_sound_card_on = 0;
    g_option_replay = 0;
    g_mouse_left_down = g_mouse_right_down = g_wheel_delta = 0;
}

struct EdgeOutcome {
    bool asleep_past_edge = false, left = false, unfinished = false;
    int frames = 0;
    float x = 0, y = 0;
};

}  // namespace

// A lane of tiles ends at x 5 over a pool whose top lies 0.1 below the lane's: balls struck at the
// end so that they reach it at a walk.
TEST(CourseEdges, LaneEndOverWater)
{
    quiet_options();
    CourseHole hole;
    const float h = 0.45f;
    hole.block("START", 0, 0, 0, 2, h, 2);
    hole.block("BLOC_FLAT", 2, 0, 0, 2, h, 2);
    hole.block("BLOC_FLAT", 4, 0, 0, 2, h, 2);
    hole.block("BLOC_WATER", 6, 0, 0, 2, h - 0.1f, 2, g_material_eau);
    hole.finish();
    CoursePlay play;
    PlayState &s = play.state;
    s.par = 3;
    ASSERT_TRUE(play_setup_hole_collision(&s));
    RigidBody *ball = s.ball.body;
    int hanging = 0, total = 0;
    for (int zi = 0; zi < 3; zi++) {
        for (float power = 0.96f; power < 1.2f; power += 0.004f) {
            const float z = -0.8f + 0.2f * float(zi);
            play_sim_place_ball(&s, 4.0f, -h - kRadius, z);
            for (int f = 0; f < 300 && !ball->asleep; f++) play_frame_logic(&s, 1.0f);
            ASSERT_TRUE(play_sim_strike(&s, 180.0f, -30.0f, power));
            EdgeOutcome out;
            int f = 0;
            for (; f < 3000; f++) {
                const uint32_t events = play_frame_logic(&s, 1.0f);
                if (events & (kPlayEventWater | kPlayEventOutOfCourse)) {
                    out.left = true;
                    break;
                }
                if (ball->asleep) break;
            }
            out.frames = f;
            out.x = ball->position[0];
            out.y = ball->position[1];
            out.unfinished = f == 3000;
            out.asleep_past_edge = ball->asleep && !out.left && ball->position[0] > 5.0f;
            total++;
            if (out.asleep_past_edge || out.unfinished) hanging++;
            printf("z %.2f power %.3f: left %d frames %d at x %.3f y %.3f asleep %d\n", z, power, out.left, out.frames,
                   out.x, out.y, ball->asleep);
        }
    }
    printf("%d of %d hang\n", hanging, total);
    EXPECT_EQ(hanging, 0);
}
