// The options screens, the high scores and the credits on the headless device and sound output,
// clicked as the main loop calls them: one frame per call, the cursor on a button's centre.
#include "game/app.h"
#include "game/dialog.h"
#include "game/files.h"
#include "game/font.h"
#include "game/high_scores.h"
#include "game/menu_options.h"
#include "game/menu_theme.h"
#include "game/menus.h"
#include "game/screen.h"
#include "game/sounds.h"
#include "game/ui.h"
#include "platform/gpu/headless/gpu_headless.h"
#include "render/render.h"
#include "render/render_draw.h"
#include "script/config_main.h"
#include "sound/music.h"
#include "sound/sound.h"
#include "tests/config_test_util.h"
#include "tests/game/headless_device.h"
#include "tests/test_util.h"
#include "tools/data_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

namespace {

// Button rows of the options screen and of the in-game panel.
const float EFFECTS_Y = 400, MUSIC_Y = 445, OUTPUT_Y = 490, BACK_Y = 535;
const float PANEL_EFFECTS_Y = 512, PANEL_BACK_Y = 647;
// Bytes of OPTIONS.DAT.
const int MUSIC_BYTE = 0, EFFECTS_BYTE = 4, OUTPUT_BYTE = 16;

int g_reload_calls;
void count_reload() { g_reload_calls++; }

class MenuScreensTest : public ::testing::Test, protected TestFolders {
protected:
    ConfigRestore config;  // SetUp reads the data's script.txt
    RenderContext *context = &g_render_context;
    std::string options_file = user + "/ZAV Games/Saves/OPTIONS.DAT";
    static TempDir *sound_data;  // the sound files, written once for every test

    static void SetUpTestSuite()
    {
        sound_data = new TempDir;
        ASSERT_TRUE(data_write_sounds(sound_data->path) && data_write_music(sound_data->path));
    }
    static void TearDownTestSuite() { delete sound_data; }

    void SetUp() override
    {
        g_music_on = g_sound_effects_on = g_sound_card_on = 1;
        g_theme_index = g_music_track = 0;
        app_load_folder_settings();
        std::filesystem::create_directories(run + "/data");
        std::filesystem::copy(sound_data->path + "/sound", run + "/data/sound");
        ASSERT_TRUE(data_write_script(run + "/data") && data_write_fonts(run + "/data"));
        config_read_file(g_main_config_table, "data/txt/script.txt");
        snprintf(g_game_name, sizeof g_game_name, "%s", g_data_game_name);
        ASSERT_TRUE(test_headless_device_open(context, 1920, 1080));
        font_init(context);
        g_options_theme_reload = count_reload;
        g_reload_calls = 0;
        g_screen_state = kScreenOptions;
    }

    void TearDown() override
    {
        app_sound_stop();
        audio_headless_set_failures(0);
        EXPECT_EQ(audio_live_buffer_count(), 0);
        for (Font *f : {&g_font_primary, &g_font_secondary}) font_release_textures(f), font_reset(f);
        render_shutdown_device(context);
        render_context_destroy(context);
        EXPECT_EQ(gpu_headless_live_resources(), 0);
        g_options_theme_reload = menu_theme_reload;
        g_options_entry_theme = -1;
        g_screen_state = kScreenMainMenu;
        g_mouse_left_down = g_high_scores_ready = 0;
    }

    // Sound running as the game main leaves it: the menu music selected.
    void start_sound()
    {
        ASSERT_EQ(app_sound_start(), 1);
        app_music_select(g_music_menu);
    }

    // One frame of a screen, the cursor on the centre of the row at virtual y, with or without a
    // click pending. The left and right ends of what it drew.
    std::pair<float, float> frame(const std::function<void()> &screen, float y, bool press)
    {
        g_mouse_x = 960, g_mouse_y = int32_t(y), g_mouse_left_down = press;
        EXPECT_TRUE(render_begin_frame(context));
        gpu_headless_clear_draws();
        screen();
        render_end_frame(context);
        std::pair<float, float> ends = {1e9f, -1e9f};
        for (int d = 0; d < gpu_headless_draw_count(); d++) {
            const std::vector<uint8_t> &bytes = gpu_headless_draw(d)->user_vertices;
            for (size_t at = 0; at + sizeof(RenderBatchVertex) <= bytes.size(); at += sizeof(RenderBatchVertex)) {
                RenderBatchVertex v;
                memcpy(&v, bytes.data() + at, sizeof v);
                ends = {std::min(ends.first, v.x), std::max(ends.second, v.x)};
            }
        }
        return ends;
    }
    void click_options(float y) { frame(menu_options_screen, y, true); }

    int options_byte(int offset)
    {
        std::string bytes = test_read_file(options_file);
        return bytes.size() == OPTIONS_FILE_SIZE ? (unsigned char)bytes[offset] : -1;
    }

    // Effects and music modules loaded.
    static int loaded_sounds()
    {
        int n = g_music_menu >= 0;
        for (SoundEffect *effect : g_game_sounds) n += effect != nullptr;
        for (int32_t index : g_music_game) n += index >= 0;
        return n;
    }
    static constexpr int ALL_SOUNDS = kGameSoundCount + 4;

    static bool playing(SoundEffect *effect)
    {
        DWORD status = 0;
        effect->buffer8->GetStatus(&status);
        return status & DSBSTATUS_PLAYING;
    }
};

TempDir *MenuScreensTest::sound_data;

TEST_F(MenuScreensTest, EachSwitchRewritesItsOptionsByte)
{
    start_sound();
    const struct {
        const char *name;
        float y;
        int offset;
        int32_t *option;
    } cases[] = {{"SOUNDON", EFFECTS_Y, EFFECTS_BYTE, &g_sound_effects_on},
                 {"MUSICON", MUSIC_Y, MUSIC_BYTE, &g_music_on},
                 {"SOUNDCARD", OUTPUT_Y, OUTPUT_BYTE, &g_sound_card_on}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::string before = test_read_file(options_file);
        ASSERT_EQ(options_byte(c.offset), 1);
        click_options(c.y);
        EXPECT_EQ(g_mouse_left_down, 0);
        EXPECT_EQ(*c.option, 0);
        before[c.offset] = 0;
        EXPECT_EQ(test_read_file(options_file), before);  // that byte alone
        click_options(c.y);
        EXPECT_EQ(*c.option, 1);
        EXPECT_EQ(options_byte(c.offset), 1);
    }
    EXPECT_EQ(g_screen_state, kScreenOptions);
}

TEST_F(MenuScreensTest, OutputOffThenOnReloadsEverySoundAndPlaysTheGameTrack)
{
    start_sound();
    g_music_track = 2;
    click_options(OUTPUT_Y);
    EXPECT_EQ(g_sound_card_on, 0);
    EXPECT_EQ(loaded_sounds(), 0);
    EXPECT_EQ(g_sound_device, nullptr);

    click_options(OUTPUT_Y);
    EXPECT_EQ(g_sound_card_on, 1);
    ASSERT_EQ(loaded_sounds(), ALL_SOUNDS);
    EXPECT_EQ(g_music_running, 1);
    // The player takes the selection at its next tick; the menu module would be entry 0.
    audio_headless_set_paced(g_sound_device, 1);
    auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (g_music_current_index != g_music_game[2] && std::chrono::steady_clock::now() < give_up)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(g_music_current_index, g_music_game[2]);
}

TEST_F(MenuScreensTest, WhileTheOutputIsOffMusicIsOnlySavedAndAFailedStartSavesItOff)
{
    // As after a failed start-up: the file still says on, the option is off and nothing runs.
    ASSERT_EQ(options_byte(OUTPUT_BYTE), 1);
    g_sound_card_on = 0;
    click_options(MUSIC_Y);
    EXPECT_EQ(options_byte(MUSIC_BYTE), 0);
    EXPECT_EQ(loaded_sounds(), 0);
    EXPECT_EQ(g_music_running, 0);
    for (int failures : {AUDIO_FAIL_CREATE, AUDIO_FAIL_COOPERATIVE}) {
        SCOPED_TRACE(failures);
        audio_headless_set_failures(failures);
        click_options(OUTPUT_Y);
        EXPECT_EQ(g_sound_card_on, 0);
        EXPECT_EQ(options_byte(OUTPUT_BYTE), 0);
        EXPECT_EQ(loaded_sounds(), 0);
        EXPECT_EQ(g_music_running, 0);
    }
}

TEST_F(MenuScreensTest, ClickSoundsOnlyWithEffectsOnButTheClickIsTakenEitherWay)
{
    start_sound();
    SoundEffect *click = g_game_sounds[kSoundClick];
    ASSERT_NE(click, nullptr);
    g_sound_effects_on = 0;
    click_options(MUSIC_Y);
    EXPECT_EQ(g_mouse_left_down, 0);
    EXPECT_EQ(g_music_on, 0);
    EXPECT_FALSE(playing(click));
    g_sound_effects_on = 1;
    click_options(MUSIC_Y);
    EXPECT_EQ(g_music_on, 1);
    EXPECT_TRUE(playing(click));
}

TEST_F(MenuScreensTest, BackReloadsTheThemeOnlyWhenItChanged)
{
    for (int32_t theme : {0, 1}) {
        SCOPED_TRACE(theme);
        g_screen_state = kScreenOptions;
        frame(menu_options_screen, 100, false);  // entering, nothing under the cursor
        g_theme_index = theme;
        click_options(BACK_Y);
        EXPECT_EQ(g_screen_state, kScreenMainMenu);
        EXPECT_EQ(g_reload_calls, theme);
        EXPECT_EQ(g_options_entry_theme, -1);
    }
}

TEST_F(MenuScreensTest, InGamePanelSwitchesAndReturnsOneOnBackOnly)
{
    g_screen_state = kScreenCoursePlay;
    const struct {
        float y;
        bool press;
        int back;
    } frames[] = {{PANEL_BACK_Y, false, 0}, {PANEL_EFFECTS_Y, true, 0}, {PANEL_BACK_Y, true, 1}};
    for (const auto &f : frames) {
        int back = -1;
        frame([&] { back = menu_ingame_options_screen(); }, f.y, f.press);
        EXPECT_EQ(back, f.back);
    }
    EXPECT_EQ(options_byte(EFFECTS_BYTE), 0);
    EXPECT_EQ(g_screen_state, kScreenCoursePlay);
    EXPECT_EQ(g_reload_calls, 0);
}

TEST_F(MenuScreensTest, HighScoresAreBuiltOncePerVisit)
{
    player_create_default_records();  // one real player and the placeholder
    ui_players_dialog_init();
    g_screen_state = kScreenHighScores;
    frame(menu_high_scores_screen, 100, false);
    ASSERT_EQ(g_high_score_count, 1);
    EXPECT_STREQ(g_high_score_rows[0].name, "Player");

    PlayerRecord late = g_player_record[0];
    snprintf(late.name, sizeof late.name, "Late");
    ASSERT_EQ(player_record_save(&late), 1);
    frame(menu_high_scores_screen, 100, false);
    EXPECT_EQ(g_high_score_count, 1);

    frame(menu_high_scores_screen, 976, true);  // RETOUR
    EXPECT_EQ(g_screen_state, kScreenMainMenu);
    EXPECT_EQ(g_high_scores_ready, 0);
    ui_players_dialog_init();
    frame(menu_high_scores_screen, 100, false);
    EXPECT_EQ(g_high_score_count, 2);
    menu_high_scores_leave();  // left by Escape
    EXPECT_EQ(g_high_scores_ready, 0);
}

TEST_F(MenuScreensTest, CreditsFitTheScreenAndGoBack)
{
    g_screen_state = kScreenCredits;
    auto [left, right] = frame(menu_credits_screen, 100, false);
    EXPECT_GE(left, 0.0f);
    EXPECT_LE(right, 1920.0f);
    frame(menu_credits_screen, 952.5f, true);
    EXPECT_EQ(g_screen_state, kScreenMainMenu);
}

}  // namespace
