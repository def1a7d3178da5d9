// The headless play simulation: a stroke into the cup, scored; the frame logic's rules.
#include "tests/course/course_test_util.h"

#include "game/app.h"
#include "game/files.h"
#include "game/play_requests.h"
#include "script/config_main.h"
#include "tests/test_util.h"


namespace {

struct CupOutcome {
    int holed_frame = -1, timer = 0, block = -1, done_after = -1;
    float position[3] = {};
};

// Settles the ball on START, strikes toward the cup (yaw 180 runs along +x) with a fixed power,
// and plays until the hole is closed.
CupOutcome play_cup(PlayState *state)
{
    CupOutcome out;
    for (int f = 0; f < 300 && !state->ball.body->asleep; f++) play_frame_logic(state, 1.0f);
    EXPECT_TRUE(play_sim_strike(state, 180.0f, -30.0f, 3.0f));
    for (int f = 0; f < 600; f++) {
        if (!(play_frame_logic(state, 1.0f) & kPlayEventHoled)) continue;
        out = {f, state->holeout_timer, state->block, -1, {}};
        memcpy(out.position, state->ball.body->position, sizeof out.position);
        break;
    }
    for (int f = 1; f <= 200 && out.holed_frame >= 0 && out.done_after < 0; f++) {
        play_frame_logic(state, 1.0f);
        if (state->hole_done) out.done_after = f;
    }
    return out;
}

void quiet_options()
{
    g_sound_card_on = 0;
    g_option_replay = 0;
    g_mouse_left_down = g_mouse_right_down = g_wheel_delta = 0;
    for (int32_t i = 0; i < kPlayMaxHoles; i++) g_hole_strokes_p1[i] = g_hole_strokes_p2[i] = g_hole_par_table[i] = -1;
}

void set_player(int k, const char *name, int32_t marker)
{
    memset(&g_player_record[k], 0, sizeof g_player_record[k]);
    snprintf(g_player_record[k].name, sizeof g_player_record[k].name, "%s", name);
    g_player_record[k].marker = marker;
}

template <class T>
T at(const std::string &bytes, size_t offset)
{
    T value{};
    if (offset + sizeof(T) <= bytes.size()) memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

}  // namespace

TEST(CoursePlaySim, BallStruckTowardTheCupHolesOutAndIsScored)
{
    quiet_options();
    TempDir temp;
    const std::string saved = temp / "cup.qel";
    CupOutcome first, opened;
    {
        CourseHole hole;
        course_cup_hole(hole);
        ASSERT_TRUE(scene_save(hole.world, saved.c_str(), 0, 0, 0, 2));
        CoursePlay play;
        play.state.par = 2;
        ASSERT_TRUE(play_setup_hole_collision(&play.state));
        first = play_cup(&play.state);
        ASSERT_GE(first.holed_frame, 0);
        EXPECT_EQ(first.block, kPlayFirstHoleObject + 2);  // the cup block
        EXPECT_NEAR(first.position[0], 4.0f, 0.2f);
        EXPECT_EQ(first.timer, 149);  // 150, counted once in the frame that set it
        EXPECT_EQ(first.done_after, 149);
        EXPECT_EQ(g_hole_strokes_p1[0], 1);
        EXPECT_EQ(play.state.hole_done, 1);
        EXPECT_EQ(play.state.hole_index, 1);

        // Scoring: player 1 alone (player 2 stands for no player).
        snprintf(g_players_folder, sizeof g_players_folder, "%s/", temp.path.c_str());
        set_player(0, "Tester", PLAYER_MARKER_REAL);
        set_player(1, "Nobody", PLAYER_MARKER_NONE);
        g_file_count = 1;
        g_hole_par_table[0] = 2;
        play_score_course();
        const std::string bytes = test_read_file(temp / "Tester.dat");
        ASSERT_EQ(bytes.size(), 1052u);
        EXPECT_EQ(at<int16_t>(bytes, 1024), -1);
        EXPECT_EQ(at<float>(bytes, 1028), -1.0f);
        EXPECT_EQ(at<int32_t>(bytes, 1032), 1);
        EXPECT_EQ(at<int32_t>(bytes, 1036), 1);
        EXPECT_EQ(at<int32_t>(bytes, 1048), -1);
        EXPECT_FALSE(std::filesystem::exists(temp / "Nobody.dat"));
    }
    {
        CourseHole hole;  // the saved hole replaces what this builds
        CoursePlay play;
        play.state.par = 2;
        ASSERT_TRUE(play_sim_open(&play.state, saved.c_str()));
        opened = play_cup(&play.state);
    }
    EXPECT_EQ(opened.holed_frame, first.holed_frame);
    EXPECT_EQ(memcmp(opened.position, first.position, sizeof first.position), 0);
    EXPECT_EQ(opened.done_after, 149);
}

TEST(CoursePlaySim, PlayLogicTable)
{
    quiet_options();
    CourseHole hole;
    course_cup_hole(hole);
    const int32_t flat = kPlayFirstHoleObject + 1, cup = kPlayFirstHoleObject + 2;
    hole.block("DECOR", 8, 0, 0, 2, 0.45f, 2);
    hole.block("BLOC_WATER", 10, 0, 0, 2, 0.1f, 2, 8);
    hole.block("BLOC_SOL", 12, 0, 0, 2, 0.45f, 2, 7);
    hole.finish();
    CoursePlay play;
    PlayState &s = play.state;
    s.par = 3;
    ASSERT_TRUE(play_setup_hole_collision(&s));
    RigidBody *ball = s.ball.body;

    {
        SCOPED_TRACE("strike");
        play_sim_place_ball(&s, 2, -0.55f, 0);
        vec3_set(g_camera_eye, 1, 0, 0);
        vec3_set(g_camera_target, 0, 0, 0);
        g_mouse_left_down = 1;
        play_charge_and_strike(&s, 1.0f);
        g_mouse_left_down = 0;
        play_charge_and_strike(&s, 1.0f);
        EXPECT_FLOAT_EQ(ball->velocity[0], -0.2f);  // released in the first charging frame
        EXPECT_EQ(s.strokes, 1);
        play_sim_place_ball(&s, 2, -0.55f, 0);
        g_mouse_left_down = 1;
        for (int f = 0; f < 100; f++) play_charge_and_strike(&s, 1.0f);
        EXPECT_GE(s.power, 15.0f);
        EXPECT_LT(s.power, 15.2f + 1e-4f);
        g_mouse_left_down = 0;
        play_sim_place_ball(&s, 2, -0.55f, 0);
        s.power = 5.0f;
        vec3_set(g_camera_eye, 0, -5, 0);  // straight down
        play_charge_and_strike(&s, 1.0f);
        EXPECT_EQ(vec3_length(ball->velocity), 0.0f);
    }
    {
        SCOPED_TRACE("steps");
        play_sim_place_ball(&s, 2, -0.55f, 0);
        ball->asleep = 0;
        s.physics_accumulator = 0.0f;
        play_advance_physics(&s, 1.0f);
        EXPECT_EQ(s.physics_accumulator, 1.0f);  // no step yet
        play_advance_physics(&s, 1.0f);
        EXPECT_EQ(s.physics_accumulator, 1.0f);  // one step
        s.physics_accumulator = 0.0f;
        play_advance_physics(&s, 3.5f);
        EXPECT_EQ(s.physics_accumulator, 0.5f);  // three steps, 0.5 carried
    }
    {
        SCOPED_TRACE("block under the ball");
        struct Case {
            float x, y;
            int32_t block;
        } cases[] = {
            {2, -0.55f, flat}, {0, -0.55f, -1},  // START is skipped
            {8, -0.55f, -1},                     // DECOR is skipped
            {2, 0.05f, flat},  {2, 0.15f, -1},   // 0.1 below the lowest point at most
            {4, -0.1f, cup},                     // in the cup
        };
        for (const Case &c : cases) {
            play_sim_place_ball(&s, c.x, c.y, 0);
            play_find_block_under_ball(&s);
            EXPECT_EQ(s.block, c.block) << c.x << " " << c.y;
        }
    }
    auto replay_frames = [&](std::initializer_list<int32_t> strokes) {
        list_clear(&s.replay_list);
        float t = 0.0f;
        for (int32_t k : strokes)
            list_append_value9(&s.replay_list, ReplayFrame{k, t += 10.0f, {4, -0.1f, 0}, {1, 0, 0, 0}});
    };
    auto hole_out = [&](int32_t strokes) {
        play_sim_place_ball(&s, 4, -0.1f, 0);
        s.strokes = strokes;
        s.holeout_timer = s.replaying = 0;
        play_find_block_under_ball(&s);
        play_run_tests(&s, 1.0f);
    };
    {
        SCOPED_TRACE("hole-out");
        g_option_replay = 1;
        replay_frames({0, 0, 1, 1, 2, 3});
        hole_out(3);
        EXPECT_EQ(s.replaying, 1);
        EXPECT_EQ(s.replay_time, 30.0f);  // the first frame of stroke 1
        replay_frames({0, 1, 2, 3});
        hole_out(4);
        EXPECT_EQ(s.replaying, 0);
        // SOL more than 0.2 above the block's lowest point does not hole out.
        play_sim_place_ball(&s, 12, -0.55f, 0);
        s.holeout_timer = 0;
        play_find_block_under_ball(&s);
        play_run_tests(&s, 1.0f);
        EXPECT_EQ(s.block, kPlayFirstHoleObject + 6);
        EXPECT_EQ(s.holeout_timer, 0);
    }
    {
        SCOPED_TRACE("replay: a missing start frame is never read");
        replay_frames({0, 0, 4});
        hole_out(3);  // no frame of stroke 1: from the first frame
        EXPECT_EQ(s.replaying, 1);
        EXPECT_EQ(s.replay_time, 10.0f);
        for (int f = 0; f < 400 && s.replaying; f++) play_replay_step(&s, 1.0f);
        EXPECT_EQ(s.replaying, 0);
        list_clear(&s.replay_list);
        hole_out(3);  // nothing recorded: no replay
        EXPECT_EQ(s.replaying, 0);
        EXPECT_EQ(s.holeout_timer, 150);
        g_option_replay = 0;
    }
    {
        SCOPED_TRACE("water and falls");
        play_sim_place_ball(&s, 2, -0.55f, 0);
        s.yaw_at_stroke = 123;
        for (int32_t k = 0; k < 4; k++) s.block_history[k] = 230 + k;
        play_sim_place_ball(&s, 10, -0.05f, 0);
        vec3_set(s.stroke_start, 2, -0.55f, 0);
        ball->asleep = 0;
        vec3_set(ball->velocity, 1, 0, 0);
        play_find_block_under_ball(&s);
        play_run_tests(&s, 1.0f);
        EXPECT_EQ(ball->position[0], 2.0f);
        EXPECT_EQ(ball->asleep, 1);
        EXPECT_EQ(g_camera_yaw, 123.0f);
        EXPECT_EQ(s.block_history[1], -1);
        EXPECT_EQ(s.block_history[2], 232);
        // A fall before the first stroke goes back to where set-up placed the ball.
        ASSERT_TRUE(play_setup_hole_collision(&s));
        float start[3];
        memcpy(start, ball->position, sizeof start);
        vec3_set(ball->position, 50, 1, 50);
        play_find_block_under_ball(&s);
        play_run_tests(&s, 1.0f);
        EXPECT_EQ(memcmp(ball->position, start, sizeof start), 0);
    }
    {
        SCOPED_TRACE("advance rule");
        struct Case {
            int32_t players, player, advanced;
            const int32_t *table;
        } cases[] = {{1, 0, 1, g_hole_strokes_p1}, {2, 0, 0, g_hole_strokes_p1}, {2, 1, 1, g_hole_strokes_p2}};
        for (const Case &c : cases) {
            s.player_count = c.players;
            s.player = c.player;
            s.hole_index = 5;
            s.strokes = 7;
            s.replaying = 0;
            s.holeout_timer = 1;
            play_run_timers(&s);
            EXPECT_EQ(c.table[5], 7);
            EXPECT_EQ(s.hole_index, 5 + c.advanced);
            EXPECT_EQ(s.hole_done, 1);
        }
        s.hole_index = 200;  // past the tables: played, not stored
        s.holeout_timer = 1;
        play_run_timers(&s);
        EXPECT_EQ(s.hole_index, 201);
    }
    {
        SCOPED_TRACE("scoring wraps the 16-bit total");
        TempDir temp;
        snprintf(g_players_folder, sizeof g_players_folder, "%s/", temp.path.c_str());
        set_player(0, "Wrap", PLAYER_MARKER_REAL);
        set_player(1, "Nobody", PLAYER_MARKER_NONE);
        g_player_record[0].total_over_par = 32767;
        for (int32_t i = 0; i < kPlayMaxHoles; i++) g_hole_strokes_p1[i] = -1;
        g_hole_strokes_p1[0] = 9;
        g_hole_strokes_p1[1] = 1;
        g_hole_par_table[0] = g_hole_par_table[1] = 3;
        g_file_count = 600;  // longer lists read 128 columns
        play_score_course();
        EXPECT_EQ(g_player_record[0].total_over_par, -32767);  // 32767 + (4 - 2) wraps
        EXPECT_EQ(g_player_record[0].holes_scored, 2);
        EXPECT_EQ(g_player_record[0].average_sum, 1.0f);  // 2 / 2
        g_file_count = 0;
    }
}

// A stroke ends where it ends whatever the frame rate: the physics takes fixed steps, and the
// rolling look (which turns the ball's collision sphere) turns it a step's worth after each step.
TEST(CoursePlaySim, AStrokeEndsAtOnePlaceAtEveryFrameRate)
{
    quiet_options();
    CourseHole hole;
    const float h = 0.45f;
    hole.block("START", 0, 0, 0, 2, h, 2);
    for (int k = 1; k <= 5; k++) hole.block("BLOC_FLAT", 2.0f * float(k), 0, 0, 2, h, 2);
    hole.block("BLOC_WALL", 11.125f, 0, 0, 0.25f, h + 0.3f, 2, 3);
    hole.block("BLOC_RAIL", 6, 0, -1.125f, 10, h + 0.3f, 0.25f, 3);
    hole.block("BLOC_RAIL", 6, 0, 1.125f, 10, h + 0.3f, 0.25f, 3);
    hole.finish();
    float first[3] = {};
    for (float factor : {1.0f, 1.7f, 3.0f, 6.5f}) {
        SCOPED_TRACE(factor);
        CoursePlay play;
        ASSERT_TRUE(play_setup_hole_collision(&play.state));
        RigidBody *ball = play.state.ball.body;
        for (int f = 0; f < 300 && !ball->asleep; f++) play_frame_logic(&play.state, 1.0f);
        // Along the lane, a little toward a rail, hard enough to come back off the far wall.
        ASSERT_TRUE(play_sim_strike(&play.state, 172.0f, -20.0f, 9.0f));
        int f = 0;
        float furthest = ball->position[0];
        for (; f < 3000; f++) {
            const bool before = ball->asleep != 0;
            play_frame_logic(&play.state, factor);
            furthest = fmaxf(furthest, ball->position[0]);
            if (before && ball->asleep) break;
        }
        ASSERT_LT(f, 3000) << "the ball did not stop";
        if (factor == 1.0f) {
            memcpy(first, ball->position, sizeof first);
            EXPECT_GT(furthest, 10.5f) << "the ball did not reach the far wall";
        } else {
            EXPECT_EQ(memcmp(first, ball->position, sizeof first), 0)
                << ball->position[0] << " " << ball->position[2] << " against " << first[0] << " " << first[2];
        }
    }
}
