// The play menu, its player dialog over a temporary players folder, and the confirmation box, on
// the headless device at 1920 x 1080 (one virtual unit is one pixel).
#include "game/player_dialog.h"
#include "game/app.h"
#include "game/dialog.h"
#include "game/files.h"
#include "game/font.h"
#include "game/menus.h"
#include "game/play_requests.h"
#include "game/screen.h"
#include "game/text_entry.h"
#include "game/ui.h"
#include "game/widgets.h"
#include "platform/gpu/headless/gpu_headless.h"
#include "render/render.h"
#include "render/render_draw.h"
#include "script/config_main.h"
#include "tests/game/headless_device.h"
#include "tests/test_util.h"
#include "tools/data_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

class PlayerDialogTest : public ::testing::Test, protected TestFolders {
protected:
    RenderContext *context = &g_render_context;
    std::string players = temp / "players/";

    char *saved_texts[sizeof g_menu_texts / sizeof g_menu_texts[0]] = {};

    void SetUp() override
    {
        ASSERT_TRUE(test_headless_device_open(context, 1920, 1080));
        ASSERT_TRUE(data_write_fonts(run + "/data"));
        font_init(context);
        ASSERT_GT(g_font_primary.line_height, 0);
        std::filesystem::create_directories(players);
        snprintf(g_players_folder, sizeof g_players_folder, "%s", players.c_str());
        ASSERT_NE(_getcwd(g_start_dir, sizeof g_start_dir), nullptr);
        const MenuText shown[] = {MENU_DEFJOUEUR, MENU_SELECT, MENU_RETOUR, MENU_PLAYER, MENU_JOUER,
                                  MENU_OUI,       MENU_NON,    MENU_ERR3,   MENU_ERR5};
        // Only these texts, the keys themselves; the texts read from a script come back after.
        memcpy(saved_texts, g_menu_texts, sizeof saved_texts);
        for (char *&text : g_menu_texts) text = nullptr;
        for (MenuText t : shown) g_menu_texts[t] = const_cast<char *>(g_menu_text_keys[t]);
        g_player_record[0] = record("Player", 0, PLAYER_MARKER_REAL);
        g_player_record[1] = record("Nobody", 0, PLAYER_MARKER_NONE);
        g_player_dialog_state = g_player_dialog_ready = g_dialog_dragging = 0;
        g_upper_case = 1;
        g_screen_state = kScreenPlayMenu;
    }

    void TearDown() override
    {
        memcpy(g_menu_texts, saved_texts, sizeof saved_texts);
        for (Font *f : {&g_font_primary, &g_font_secondary}) font_release_textures(f), font_reset(f);
        render_shutdown_device(context);
        render_context_destroy(context);
        gpu_headless_reset();
        g_mouse_left_down = g_key_printable = g_wheel_delta = 0;
        leave_requested = restart_requested = 0;
    }

    static PlayerRecord record(const char *name, int16_t avatar, int32_t marker)
    {
        PlayerRecord r;
        memset(&r, 0, sizeof r);
        snprintf(r.name, sizeof r.name, "%s", name);
        r.avatar = avatar, r.marker = marker, r.total_over_par = 7, r.holes_scored = 36, r.courses_finished = 2;
        return r;
    }
    void add_player(const char *name, int16_t avatar = 0)
    {
        PlayerRecord r = record(name, avatar, PLAYER_MARKER_REAL);
        ASSERT_EQ(player_record_save(&r), 1);
    }
    size_t player_files() const
    {
        size_t n = 0;
        for (auto &entry : std::filesystem::directory_iterator(players)) n += entry.is_regular_file();
        return n;
    }

    // One frame of `screen` with the cursor at (x, y) and, when `press`, the button just pressed.
    void frame(const std::function<void()> &screen, float x, float y, bool press = false)
    {
        g_mouse_x = int32_t(x), g_mouse_y = int32_t(y);
        if (press) g_mouse_left_down = 1;
        ASSERT_TRUE(render_begin_frame(context));
        screen();
        render_end_frame(context);
    }
    // The dialog opened for `target` over the players folder, as the play menu opens it.
    void open(int32_t target = 1)
    {
        ui_players_dialog_init();
        g_player_dialog_target = target, g_player_dialog_state = 1;
        g_name_entry_text[0] = '\0', g_name_entry_length = 0;
    }
    // A press on a point of the dialog, in units from its top-left.
    void press_at(float ux, float uy) { frame(player_dialog, g_dialog_x + ux, g_dialog_y + uy, true); }
    void press_row(int32_t i)
    {
        frame(player_dialog, g_dialog_x + 100, ui_dialog_row_top(i) + ui_dialog_row_height() / 2, true);
    }
    void select() { press_at(kPlayerDialogWidth / 3, 900); }
    void back() { press_at(2 * kPlayerDialogWidth / 3, 900); }
    void avatar_arrow(bool up) { press_at(up ? 233 : 35, 787); }
    void type(const char *text)
    {
        for (const char *c = text; *c; c++) {
            g_key_char = *c, g_key_printable = 1;
            frame(player_dialog, 0, 0);
        }
    }
};

using PlayMenuTest = PlayerDialogTest;
using ConfirmBoxTest = PlayerDialogTest;

TEST_F(PlayerDialogTest, NewPlayerIsWrittenWholeWithItsAvatar)
{
    open();
    avatar_arrow(true), avatar_arrow(true);
    type("Test");
    select();
    EXPECT_EQ(g_player_dialog_state, 0);
    EXPECT_EQ(g_player_dialog_ready, 0);
    EXPECT_STREQ(g_player_dialog_file, "Test.dat");
    std::string bytes = test_read_file(players + "Test.dat");
    ASSERT_EQ(bytes.size(), 1052u);
    PlayerRecord want;
    memset(&want, 0, sizeof want);
    strcpy(want.name, "Test");
    want.avatar = 2, want.marker = -1;
    EXPECT_EQ(memcmp(bytes.data(), &want, sizeof want), 0);  // every score zero, the name's tail too
}

TEST_F(PlayerDialogTest, ChosenRowWinsOverTypingAndExistingNamesAreNeverOverwritten)
{
    add_player("alice", 4), add_player("Bob");
    const std::string bob = test_read_file(players + "Bob.dat");
    struct Case {
        const char *name;
        std::function<void()> act;
        const char *file;
    } cases[] = {
        {"row then typing", [&] { press_row(0), type("zed"); }, "alice.dat"},
        {"existing name", [&] { type("Bob"); }, "Bob.dat"},
        {"existing name in another case", [&] { type("bob"); }, "bob.dat"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        open();
        c.act();
        select();
        EXPECT_EQ(g_player_dialog_state, 0);
        EXPECT_STREQ(g_player_dialog_file, c.file);
        EXPECT_EQ(player_files(), 2u);
        EXPECT_EQ(test_read_file(players + "Bob.dat"), bob);
    }
    open();
    press_row(0);
    EXPECT_STREQ(g_name_entry_text, "alice");  // the name up to its "."
    EXPECT_EQ(g_name_entry_length, 5);
    EXPECT_EQ(g_player_avatar, 4);
}

TEST_F(PlayerDialogTest, NamesThatCannotBeFilesStayOpenWithTheMessage)
{
    for (const char *name : {".x", "a:b", "a/b", "..", "x?"}) {
        SCOPED_TRACE(name);
        open();
        type(name);
        select();
        EXPECT_EQ(g_player_dialog_state, 1);
        EXPECT_EQ(g_player_dialog_message, MENU_ERR5);
        EXPECT_EQ(g_player_dialog_file[0], '\0');
        EXPECT_EQ(player_files(), 0u);
        frame(player_dialog, 0, 0);
        EXPECT_EQ(g_player_dialog_message, MENU_ERR5);  // shown until the next key
        type("\b");
        EXPECT_EQ(g_player_dialog_message, -1);
    }
    // A folder that cannot be written refuses a good name too, and says so differently.
    snprintf(g_players_folder, sizeof g_players_folder, "%s", (temp / "missing/").c_str());
    open();
    type("Zoe");
    select();
    EXPECT_EQ(g_player_dialog_state, 1);
    EXPECT_EQ(g_player_dialog_message, MENU_ERR3);
}

TEST_F(PlayerDialogTest, EmptyNameOrBackLeavesWithoutAChoice)
{
    for (bool by_back : {false, true}) {
        SCOPED_TRACE(by_back);
        open();
        by_back ? back() : select();
        EXPECT_EQ(g_player_dialog_state, -1);
        EXPECT_EQ(g_player_dialog_ready, 0);
        EXPECT_EQ(g_player_dialog_file[0], '\0');
    }
    EXPECT_EQ(player_files(), 0u);
}

TEST_F(PlayerDialogTest, AvatarStaysWithinItsSix)
{
    g_player_record[0].avatar = 99;  // as a damaged file could hold
    open();
    frame(player_dialog, 0, 0);
    EXPECT_EQ(g_player_avatar, 5);
    for (int i = 0; i < 8; i++) avatar_arrow(false);
    EXPECT_EQ(g_player_avatar, 0);
    for (int i = 0; i < 8; i++) avatar_arrow(true);
    EXPECT_EQ(g_player_avatar, 5);
}

TEST_F(PlayerDialogTest, AvatarArrowsPointApart)
{
    open();
    ASSERT_TRUE(render_begin_frame(context));
    gpu_headless_clear_draws();
    player_dialog();
    render_end_frame(context);
    // The texture's u across each arrow (its top-left quad corner, then its bottom-right), by the
    // arrow's left edge: the page arrows' picture is a left chevron.
    std::vector<std::pair<float, float>> left_u, right_u;
    for (int d = 0; d < gpu_headless_draw_count(); d++) {
        const std::vector<uint8_t> &bytes = gpu_headless_draw(d)->user_vertices;
        for (size_t at = 0; at + 6 * sizeof(RenderBatchVertex) <= bytes.size(); at += 6 * sizeof(RenderBatchVertex)) {
            RenderBatchVertex v[6];
            memcpy(v, bytes.data() + at, sizeof v);
            auto near = [](float a, float b) { return std::fabs(a - b) < 1.0f; };
            if (!near(v[2].x - v[0].x, 32.0f) || !near(v[0].y, g_dialog_y + 771)) continue;  // no shadow
            if (near(v[0].x, g_dialog_x + 35 - 16)) left_u.push_back({v[0].u, v[2].u});
            if (near(v[0].x, g_dialog_x + 233 - 16)) right_u.push_back({v[0].u, v[2].u});
        }
    }
    ASSERT_EQ(left_u.size(), 1u);
    ASSERT_EQ(right_u.size(), 1u);
    EXPECT_LT(left_u[0].first, left_u[0].second);    // as drawn: left
    EXPECT_GT(right_u[0].first, right_u[0].second);  // mirrored: right
}

TEST_F(PlayerDialogTest, DragMovesTheBoxAndRowsIgnorePressesMeanwhile)
{
    add_player("alice"), add_player("bob");
    open();
    float x0 = g_dialog_x, y0 = g_dialog_y;
    g_mouse_prev_x = int32_t(x0 + 300), g_mouse_prev_y = int32_t(y0 + 20);
    frame(player_dialog, x0 + 300, y0 + 20, true);
    EXPECT_EQ(g_dialog_dragging, 1);
    frame(player_dialog, x0 + 340, y0 + 45);
    EXPECT_FLOAT_EQ(g_dialog_x, x0 + 40);
    EXPECT_FLOAT_EQ(g_dialog_y, y0 + 25);
    // Still held, over a row: no choice.
    float row_y = ui_dialog_row_top(0) + ui_dialog_row_height() / 2;
    frame(player_dialog, g_dialog_x + 100 - 40, row_y - 100);
    frame(player_dialog, g_dialog_x + 100, row_y);
    EXPECT_EQ(g_player_dialog_file[0], '\0');
    EXPECT_EQ(g_mouse_left_down, 1);
    g_mouse_left_down = 0;
    frame(player_dialog, g_mouse_x, g_mouse_y);
    EXPECT_EQ(g_dialog_dragging, 0);
    press_row(1);
    EXPECT_STREQ(g_player_dialog_file, "bob.dat");
    EXPECT_EQ(g_mouse_left_down, 0);
}

TEST_F(PlayerDialogTest, ScrollStaysWithinTheList)
{
    for (int count : {7, 25}) {
        SCOPED_TRACE(count);
        std::filesystem::remove_all(players), std::filesystem::create_directories(players);
        for (int i = 0; i < count; i++) add_player(("p" + std::to_string(100 + i)).c_str());
        open();
        const int32_t last = count > 10 ? count - 10 : 0;
        for (int i = 0; i < 30; i++) press_at(676, 674);  // the scroll column's down arrow
        EXPECT_EQ(g_dialog_scroll, last);
        for (int i = 0; i < 30; i++) g_wheel_delta = -1, frame(player_dialog, 0, 0);
        EXPECT_EQ(g_dialog_scroll, 0);
        for (int i = 0; i < 30; i++) g_wheel_delta = 1, frame(player_dialog, 0, 0);
        EXPECT_EQ(g_dialog_scroll, last);
        press_row(count > 10 ? 9 : count - 1);  // the last row shown is the last player
        EXPECT_EQ(std::string(g_player_dialog_file), "p" + std::to_string(100 + count - 1) + ".dat");
    }
}

TEST_F(PlayMenuTest, StartNeedsARealFirstPlayerAndListsTheSets)
{
    const float centre = 1920 / 2;
    struct Case {
        int32_t marker;
        bool sets_folder;
        int32_t state, sets;
    } cases[] = {{PLAYER_MARKER_NONE, true, kScreenPlayMenu, -1},
                 {-1, true, kScreenCourseSets, 2},
                 {-1, false, kScreenCourseSets, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.marker << (c.sets_folder ? " with sets" : " without sets"));
        std::filesystem::remove_all(run + "/data/parcours");
        if (c.sets_folder) {
            for (const char *set : {"forest", "beach"})
                std::filesystem::create_directories(run + "/data/parcours/" + set);
            test_write_file(run + "/data/parcours/readme.txt", "not a set");
        }
        g_player_record[0].marker = c.marker;
        g_screen_state = kScreenPlayMenu, g_course_set_count = -1;
        frame(menu_play_screen, centre, 512, true);
        EXPECT_EQ(g_mouse_left_down, 0);
        EXPECT_EQ(g_screen_state, c.state);
        EXPECT_EQ(g_course_set_count, c.sets);
        char cwd[512];
        EXPECT_STREQ(_getcwd(cwd, sizeof cwd), g_start_dir);
    }
}

TEST_F(PlayMenuTest, ChosenPlayerIsLoadedIntoTheTarget)
{
    add_player("bob", 3);
    frame(menu_play_screen, 1920 / 2, 602, true);  // the PLAYER 2 label
    EXPECT_EQ(g_player_dialog_state, 1);
    EXPECT_EQ(g_player_dialog_target, 2);
    EXPECT_EQ(g_file_count, 1);
    press_row(0);
    frame(menu_play_screen, g_dialog_x + kPlayerDialogWidth / 3, g_dialog_y + 900, true);
    EXPECT_EQ(g_player_dialog_state, 0);
    EXPECT_STREQ(g_player_record[1].name, "bob");
    EXPECT_EQ(g_player_record[1].marker, -1);
    EXPECT_EQ(g_player_record[1].avatar, 3);
    EXPECT_STREQ(g_player_record[0].name, "Player");

    frame(menu_play_screen, 1920 / 2, 557, true);  // PLAYER 1, then RETOUR: unchanged, closed
    frame(menu_play_screen, g_dialog_x + 2 * kPlayerDialogWidth / 3, g_dialog_y + 900, true);
    EXPECT_EQ(g_player_dialog_state, 0);
    EXPECT_STREQ(g_player_record[0].name, "Player");
    frame(menu_play_screen, 1920 / 2, 647, true);
    EXPECT_EQ(g_screen_state, kScreenMainMenu);
}

TEST_F(PlayMenuTest, BackAfterARowWasChosenKeepsTheOldPlayer)
{
    add_player("bob", 3);
    frame(menu_play_screen, 1920 / 2, 557, true);  // the PLAYER 1 label
    press_row(0);
    ASSERT_STREQ(g_player_dialog_file, "bob.dat");
    frame(menu_play_screen, g_dialog_x + 2 * kPlayerDialogWidth / 3, g_dialog_y + 900, true);  // RETOUR
    EXPECT_EQ(g_player_dialog_state, 0);
    EXPECT_STREQ(g_player_record[0].name, "Player");
    EXPECT_EQ(g_player_record[0].avatar, 0);
}

TEST_F(ConfirmBoxTest, AnswersClearBothRequestsAndEveryPressIsTaken)
{
    const float oui_x = 560 + 800 / 3.0f, non_x = 560 + 1600 / 3.0f;  // the box spans 560..1360
    leave_requested = restart_requested = 1;
    for (float x : {oui_x, non_x, 960.0f}) {
        int32_t answer = 7;
        frame([&] { answer = ui_confirm_box(); }, x, 640);  // hovered, not pressed
        EXPECT_EQ(answer, 0);
    }
    EXPECT_EQ(leave_requested + restart_requested, 2);
    struct Case {
        float x, y;
        int32_t answer;
        int32_t requests_left;
    } cases[] = {{960, 560, 0, 2}, {oui_x, 640, 1, 0}, {non_x, 640, -1, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.answer);
        leave_requested = restart_requested = 1;
        int32_t answer = 7;
        frame([&] { answer = ui_confirm_box(); }, c.x, c.y, true);
        EXPECT_EQ(answer, c.answer);
        EXPECT_EQ(g_mouse_left_down, 0);
        EXPECT_EQ(leave_requested + restart_requested, c.requests_left);
    }
}

TEST_F(ConfirmBoxTest, AsksCertainWhenLeavingElseCertain2)
{
    char leave[] = "LEAVE?", restart[] = "RESTART?";
    g_menu_texts[MENU_CERTAIN] = leave, g_menu_texts[MENU_CERTAIN2] = restart;
    for (bool leaving : {true, false}) {
        SCOPED_TRACE(leaving);
        leave_requested = leaving, restart_requested = !leaving;
        ASSERT_TRUE(render_begin_frame(context));
        gpu_headless_clear_draws();
        ui_confirm_box();
        render_end_frame(context);
        // The question's glyphs: the quads that start on its line, 16 below the box's top (the
        // answers' start about 100 - half a line below it).
        size_t glyphs = 0;
        for (int d = 0; d < gpu_headless_draw_count(); d++) {
            const std::vector<uint8_t> &bytes = gpu_headless_draw(d)->user_vertices;
            for (size_t at = 0; at + 6 * sizeof(RenderBatchVertex) <= bytes.size();
                 at += 6 * sizeof(RenderBatchVertex)) {
                RenderBatchVertex v[6];
                memcpy(v, bytes.data() + at, sizeof v);
                glyphs += v[0].y >= g_dialog_y + 8 && v[0].y < g_dialog_y + 40 && v[2].y - v[0].y < 60;
            }
        }
        EXPECT_EQ(glyphs, strlen(leaving ? leave : restart));
    }
}

}  // namespace
