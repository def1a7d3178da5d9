// Play rules that nothing else would notice breaking: a hole-out needs the ball asleep in the cup,
// the average score is an integer division, the replay runs at quarter speed from frame to frame,
// and strokes play their sounds through handles that outlive the sound output switched off and on.
#include "tests/course/course_test_util.h"

#include "game/app.h"
#include "game/files.h"
#include "game/sounds.h"
#include "geometry/vecmath.h"
#include "platform/audio.h"
#include "script/config_main.h"
#include "sound/sound.h"
#include "tests/test_util.h"
#include "tools/data_writer.h"

namespace {

struct PlayRules : ::testing::Test {
    CourseHole hole;

    void SetUp() override
    {
        g_sound_card_on = 0;
        g_option_replay = 0;
        g_mouse_left_down = g_mouse_right_down = g_wheel_delta = 0;
        course_cup_hole(hole);
    }
};

bool playing(const SoundEffect *effect)
{
    DWORD status = 0;
    return effect && SUCCEEDED(effect->buffer8->GetStatus(&status)) && (status & DSBSTATUS_PLAYING);
}

}  // namespace

TEST_F(PlayRules, TheBallHolesOutOnlyAsleepInTheCup)
{
    CoursePlay play;
    PlayState &s = play.state;
    s.par = 3;
    ASSERT_TRUE(play_setup_hole_collision(&s));
    // Resting on the cup's SOL floor holes out; the same place rolled over at speed does not.
    const struct {
        const char *what;
        float speed;
        bool holed;
    } cases[] = {{"rolling over the cup", 2.0f, false}, {"asleep in the cup", 0.0f, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        play_sim_place_ball(&s, 4.0f, -0.1f, 0.0f);
        if (c.speed > 0.0f) {
            s.ball.body->asleep = 0;
            vec3_set(s.ball.body->velocity, c.speed, 0.0f, 0.0f);
        }
        s.holeout_timer = 0;
        s.events = 0;
        play_find_block_under_ball(&s);
        ASSERT_EQ(s.block_material, g_material_sol);  // the ball is over the cup's floor either way
        play_run_tests(&s, 1.0f);
        EXPECT_EQ(s.holeout_timer, c.holed ? 150 : 0);
        EXPECT_EQ((s.events & kPlayEventHoled) != 0, c.holed);
    }
}

TEST_F(PlayRules, TheAverageOfACourseIsAnIntegerDivision)
{
    TempDir temp;
    snprintf(g_players_folder, sizeof g_players_folder, "%s/", temp.path.c_str());
    for (int k = 0; k < 2; k++) {
        memset(&g_player_record[k], 0, sizeof g_player_record[k]);
        snprintf(g_player_record[k].name, sizeof g_player_record[k].name, "%s", k ? "Second" : "First");
        g_player_record[k].marker = PLAYER_MARKER_REAL;  // both real: two players
    }
    for (int32_t i = 0; i < kPlayMaxHoles; i++) g_hole_strokes_p1[i] = g_hole_strokes_p2[i] = g_hole_par_table[i] = -1;
    g_hole_par_table[0] = g_hole_par_table[1] = 3;
    g_hole_strokes_p1[0] = 1, g_hole_strokes_p1[1] = 0;  // -2 and -3: S = -5 over 2 holes
    g_hole_strokes_p2[0] = 6, g_hole_strokes_p2[1] = 5;  // +3 and +2: S = 5 over 2 holes
    g_file_count = 2;
    play_score_course();
    g_file_count = 0;
    EXPECT_EQ(g_player_record[0].average_sum, -2.0f);  // truncated toward zero: not -2.5, not -3
    EXPECT_EQ(g_player_record[1].average_sum, 2.0f);
    EXPECT_EQ(g_player_record[0].total_over_par, -5);
    EXPECT_EQ(g_player_record[1].holes_scored, 2);
}

TEST_F(PlayRules, TheReplayRunsAtAQuarterSpeedBetweenRecordedFrames)
{
    CoursePlay play;
    PlayState &s = play.state;
    list_clear(&s.replay_list);
    // Half a turn about x from frame a to frame b.
    list_append_value9(&s.replay_list, ReplayFrame{0, 10.0f, {0, -0.1f, 0}, {1, 0, 0, 0}});
    list_append_value9(&s.replay_list, ReplayFrame{0, 30.0f, {8, -0.1f, 0}, {0, 1, 0, 0}});
    s.replaying = 1;
    s.replay_time = 10.0f;
    const struct {
        float factor, time, x;
    } steps[] = {{4.0f, 11.0f, 0.4f}, {8.0f, 13.0f, 1.2f}, {60.0f, 28.0f, 7.2f}};
    for (const auto &step : steps) {
        SCOPED_TRACE(step.time);
        play_replay_step(&s, step.factor);
        EXPECT_EQ(s.replaying, 1);
        EXPECT_FLOAT_EQ(s.replay_time, step.time);
        EXPECT_NEAR(s.ball.body->position[0], step.x, 1e-5f);
        // The ball turns from a toward b: w = cos(u x 90 degrees).
        const float u = (step.time - 10.0f) / 20.0f;
        EXPECT_NEAR(s.ball.body->quaternion[0], cosf(u * 1.5707963f), 1e-4f);
    }
    play_replay_step(&s, 12.0f);  // past the last frame: the replay ends
    EXPECT_EQ(s.replaying, 0);
    list_clear(&s.replay_list);
}

TEST_F(PlayRules, StrokesSoundThroughTheOutputSwitchedOffAndOn)
{
    TestFolders folders;
    ASSERT_TRUE(data_write_sounds(folders.run + "/data"));
    audio_headless_set_device_count(1);
    audio_headless_set_failures(0);
    g_sound_card_on = g_sound_effects_on = 1;
    ASSERT_EQ(app_sound_start(), 1);
    {
        CoursePlay play;
        PlayState &s = play.state;
        s.par = 2;
        ASSERT_TRUE(play_setup_hole_collision(&s));
        for (int stroke = 0; stroke < 2; stroke++) {
            SCOPED_TRACE(stroke);
            if (stroke == 1) {  // the options screen switches the output off and on: every effect is freed
                app_sound_stop();
                ASSERT_EQ(app_sound_start(), 1);
            }
            play_sim_place_ball(&s, 0.0f, -0.55f, 0.0f);
            ASSERT_NE(g_game_sounds[kSoundHit], nullptr);
            ASSERT_FALSE(playing(g_game_sounds[kSoundHit]));
            ASSERT_TRUE(play_sim_strike(&s, 180.0f, -30.0f, 1.0f));
            EXPECT_TRUE(playing(g_game_sounds[kSoundHit]));
            for (int f = 0; f < 30; f++) play_frame_logic(&s, 1.0f);
        }
    }
    app_sound_stop();
    g_sound_card_on = 0;
    EXPECT_EQ(audio_live_buffer_count(), 0);
}

namespace {

// The orbit camera after one update with the cursor at (x, y), the right button as given.
void camera_at(int32_t x, int32_t y, int32_t right_down, int32_t wheel = 0)
{
    g_mouse_x = x, g_mouse_y = y, g_mouse_right_down = right_down, g_wheel_delta = wheel;
    play_camera_update();
}

}  // namespace

TEST(PlayCamera, LimitsRatesAndNoJumpOnTheNextPress)
{
    vec3_set(g_camera_pivot, 0.0f, 0.0f, 0.0f);
    g_camera_yaw = 0.0f, g_camera_pitch = -40.0f, g_camera_distance = 5.0f;
    camera_at(100, 100, 0);
    // 0.35 degrees a pixel: right turns the yaw down, down raises the pitch.
    camera_at(200, 120, 1);
    EXPECT_FLOAT_EQ(g_camera_yaw, -35.0f);
    EXPECT_FLOAT_EQ(g_camera_pitch, -33.0f);
    camera_at(200, 300, 1);
    EXPECT_FLOAT_EQ(g_camera_pitch, -20.0f);
    camera_at(200, -300, 1);
    EXPECT_FLOAT_EQ(g_camera_pitch, -65.0f);
    // Moves with the button up change nothing, and the next press starts from where it is.
    camera_at(900, 900, 0);
    camera_at(900, 900, 1);
    EXPECT_FLOAT_EQ(g_camera_yaw, -35.0f);
    EXPECT_FLOAT_EQ(g_camera_pitch, -65.0f);
    // The wheel moves the eye half a unit a step, within 1.6 to 10.
    camera_at(900, 900, 0, -1);
    EXPECT_FLOAT_EQ(g_camera_distance, 4.5f);
    for (int i = 0; i < 20; i++) camera_at(900, 900, 0, -1);
    EXPECT_FLOAT_EQ(g_camera_distance, 1.6f);
    for (int i = 0; i < 30; i++) camera_at(900, 900, 0, 1);
    EXPECT_FLOAT_EQ(g_camera_distance, 10.0f);
    // The eye lies that far from the target.
    float to_eye[3];
    vec3_sub(to_eye, g_camera_eye, g_camera_target);
    EXPECT_NEAR(vec3_length(to_eye), 10.0f, 1e-4f);
    g_mouse_right_down = g_wheel_delta = 0;
}
