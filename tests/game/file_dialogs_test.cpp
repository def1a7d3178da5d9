// The editor's course dialogs and the saved-game dialog over a temporary saves folder, on the
// headless device at 1920 x 1080 (one unit is one pixel), with a stand-in font 40 pixels high.
#include "game/file_dialogs.h"
#include "game/app.h"
#include "game/dialog.h"
#include "game/menus.h"
#include "game/player_dialog.h"
#include "game/screen.h"
#include "game/text_entry.h"
#include "game/text_widgets.h"
#include "game/ui.h"
#include "game/widgets.h"
#include "platform/gpu/headless/gpu_headless.h"
#include "render/render.h"
#include "render/render_draw.h"
#include "script/config_main.h"
#include "tests/game/fake_font.h"
#include "tests/game/headless_device.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class FileDialogTest : public ::testing::Test, protected TestFolders {
protected:
    RenderContext *context = &g_render_context;
    FakePrimaryFont font{10, 40};
    std::string saves = temp / "Saves";
    const char *returned = nullptr;

    std::function<void()> open_dialog = [this] { returned = ui_hole_open_dialog(); };
    std::function<void()> save_dialog = [this] { returned = ui_hole_save_dialog(); };
    std::function<void()> create_dialog = [] { ui_course_create_dialog(); };

    char *saved_texts[sizeof g_menu_texts / sizeof g_menu_texts[0]] = {};

    void SetUp() override
    {
        ASSERT_TRUE(test_headless_device_open(context, 1920, 1080));
        g_ui_scale_x = g_ui_scale_y = 1.0f;
        fs::create_directories(saves);
        snprintf(g_saves_folder, sizeof g_saves_folder, "%s/", saves.c_str());
        ASSERT_NE(_getcwd(g_start_dir, sizeof g_start_dir), nullptr);
        const MenuText shown[] = {MENU_CHARGER,   MENU_SAUVER, MENU_EDCREATE, MENU_RETOUR,
                                  MENU_CANTWRITE, MENU_ERR3,   MENU_JOUER,    MENU_PLAYER};
        // Only these texts, the keys themselves; the texts read from a script come back after.
        memcpy(saved_texts, g_menu_texts, sizeof saved_texts);
        for (char *&text : g_menu_texts) text = nullptr;
        for (MenuText t : shown) g_menu_texts[t] = const_cast<char *>(g_menu_text_keys[t]);
        g_load_dialog_open = g_save_dialog_mode = g_save_refused = g_dialog_dragging = 0;
        g_upper_case = 0;
    }

    void TearDown() override
    {
        memcpy(g_menu_texts, saved_texts, sizeof saved_texts);
        render_shutdown_device(context);
        render_context_destroy(context);
        gpu_headless_reset();
        g_mouse_left_down = g_key_printable = g_wheel_delta = 0;
        g_key_down[27] = 0;
        g_load_dialog_open = g_save_dialog_mode = g_save_refused = 0;
    }

    void make_course(const std::string &name, int holes)
    {
        fs::create_directories(saves + "/" + name);
        for (int i = 0; i < holes; i++)
            test_write_file(saves + "/" + name + "/hole" + (i < 10 ? "0" : "") + std::to_string(i) + ".qel", "QEL");
    }

    static std::string native(const char *path)
    {
        char out[4096];
        if (!path || !sys_native_path(path, out, sizeof out)) return "";
        return fs::weakly_canonical(out).string();
    }
    static std::string working_folder()
    {
        char here[4096];
        return _getcwd(here, sizeof here) ? native(here) : "";
    }
    std::string under_saves(const std::string &rest) const { return fs::weakly_canonical(saves + rest).string(); }

    // One frame with the cursor at (x, y) and, when `press`, the button just pressed; the cursor
    // is then kept as the last frame's, as the main loop keeps it.
    void frame(const std::function<void()> &dialog, float x, float y, bool press = false)
    {
        g_mouse_x = int32_t(x), g_mouse_y = int32_t(y);
        if (press) g_mouse_left_down = 1;
        ASSERT_TRUE(render_begin_frame(context));
        dialog();
        render_end_frame(context);
        g_mouse_prev_x = g_mouse_x, g_mouse_prev_y = g_mouse_y;
    }
    void press_at(const std::function<void()> &dialog, float ux, float uy)
    {
        frame(dialog, g_dialog_x + ux, g_dialog_y + uy, true);
    }
    void press_entry(const std::function<void()> &dialog, const char *name)
    {
        int32_t n = entry(name);
        ASSERT_GE(n, g_dialog_scroll) << name;
        ASSERT_LT(n, g_dialog_scroll + kDialogRows) << name;
        frame(dialog, g_dialog_x + 100, ui_dialog_row_top(n - g_dialog_scroll) + ui_dialog_row_height() / 2, true);
    }
    void confirm(const std::function<void()> &dialog) { press_at(dialog, 125, 722); }
    void back(const std::function<void()> &dialog) { press_at(dialog, 375, 722); }
    void type(const std::function<void()> &dialog, const char *text)
    {
        for (const char *c = text; *c; c++) {
            g_key_char = *c, g_key_printable = 1;
            frame(dialog, 0, 0);
        }
    }
    void escape(const std::function<void()> &dialog)
    {
        g_key_down[27] = 1;
        frame(dialog, 0, 0);
    }
    static int32_t entry(const char *name)
    {
        for (int32_t i = 0; i < g_file_count; i++)
            if (strcmp(g_file_names[i], name) == 0) return i;
        return -1;
    }
    static std::vector<std::string> entries()
    {
        return std::vector<std::string>(g_file_names, g_file_names + g_file_count);
    }

    void open_save(void)
    {
        ui_course_open_dialog_init();
        g_save_dialog_mode = 1;
    }
};

TEST_F(FileDialogTest, ScrollStaysWithinTheList)
{
    const struct {
        int folders;  // with "..", one entry more
        int32_t last;
    } cases[] = {{6, 0}, {24, 15}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.folders);
        for (int i = 0; i < c.folders; i++) fs::create_directories(saves + "/course" + std::to_string(100 + i));
        ui_course_open_dialog_init();
        g_load_dialog_open = 1;
        ASSERT_EQ(g_file_count, c.folders + 1);
        for (int i = 0; i < 30; i++) {
            g_wheel_delta = 1;
            frame(open_dialog, 0, 0);
        }
        EXPECT_EQ(g_dialog_scroll, c.last);
        press_at(open_dialog, 476, 698 - 24);  // the down arrow
        EXPECT_EQ(g_dialog_scroll, c.last);
        press_at(open_dialog, 476, 48 + 24);  // the up arrow
        EXPECT_EQ(g_dialog_scroll, c.last > 0 ? c.last - 1 : 0);
        for (int i = 0; i < 30; i++) {
            g_wheel_delta = -1;
            frame(open_dialog, 0, 0);
        }
        EXPECT_EQ(g_dialog_scroll, 0);
        EXPECT_EQ(g_wheel_delta, 0);
        EXPECT_EQ(g_load_dialog_open, 1);
        fs::remove_all(saves);
        fs::create_directories(saves);
    }
}

TEST_F(FileDialogTest, ACourseHoldsEighteenHoles)
{
    const struct {
        int holes;
        const char *row;    // a hole picked from the list, or null
        const char *typed;  // then typed
        const char *saved;  // null: refused
        uint8_t upper;
    } cases[] = {
        {17, nullptr, "new", "/course/new.qel", 0},
        {18, nullptr, "new", nullptr, 0},
        {18, "hole05.qel", "", "/course/hole05.qel", 0},
        {18, nullptr, "HOLE07", "/course/hole07.qel", 1},  // an existing hole, typed in another case
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.holes << " " << (c.row ? c.row : c.typed));
        make_course("course", c.holes);
        open_save();
        press_entry(save_dialog, "course");
        ASSERT_EQ(working_folder(), under_saves("/course"));
        if (c.row) press_entry(save_dialog, c.row);
        g_upper_case = c.upper;
        type(save_dialog, c.typed);
        returned = nullptr;
        confirm(save_dialog);
        if (c.saved) {
            EXPECT_EQ(native(returned), under_saves(c.saved));
            EXPECT_EQ(g_save_dialog_mode, 0);
            EXPECT_EQ(working_folder(), native(g_start_dir));
        } else {
            EXPECT_EQ(returned, nullptr);
            EXPECT_EQ(g_save_refused, 1);
            EXPECT_EQ(g_save_dialog_mode, 1);
            type(save_dialog, "x");  // keys do not reach the name while the message shows
            EXPECT_STREQ(g_name_entry_text, c.typed);
            press_at(save_dialog, 250, 300);  // the next press clears it
            EXPECT_EQ(g_save_refused, 0);
            EXPECT_EQ(g_save_dialog_mode, 1);
            EXPECT_EQ(working_folder(), under_saves("/course"));
            back(save_dialog);
            EXPECT_EQ(g_save_dialog_mode, 0);
        }
        fs::remove_all(saves + "/course");
    }
}

TEST_F(FileDialogTest, UpNeverLeavesTheSavesFolder)
{
    make_course("course", 2);
    fs::create_directories(saves + "/course/inner");
    ui_course_open_dialog_init();
    g_load_dialog_open = 1;
    ASSERT_EQ(entries(), (std::vector<std::string>{"..", "course"}));
    press_entry(open_dialog, "..");
    EXPECT_EQ(working_folder(), under_saves(""));
    EXPECT_EQ(entries(), (std::vector<std::string>{"..", "course"}));
    press_entry(open_dialog, "course");
    press_entry(open_dialog, "inner");
    EXPECT_EQ(working_folder(), under_saves("/course/inner"));
    press_entry(open_dialog, "..");
    EXPECT_EQ(working_folder(), under_saves("/course"));
    EXPECT_EQ(entries(), (std::vector<std::string>{"..", "inner", "hole00.qel", "hole01.qel"}));
    press_entry(open_dialog, "..");
    press_entry(open_dialog, "..");
    EXPECT_EQ(working_folder(), under_saves(""));
    EXPECT_EQ(g_load_dialog_open, 1);
}

TEST_F(FileDialogTest, FoldersListBeforeScenes)
{
    test_write_file(saves + "/a.qel", "QEL");
    test_write_file(saves + "/notes.txt", "");
    fs::create_directories(saves + "/zeta");
    fs::create_directories(saves + "/Alpha");
    ui_course_open_dialog_init();
    EXPECT_EQ(entries(), (std::vector<std::string>{"..", "Alpha", "zeta", "a.qel"}));
    EXPECT_EQ(working_folder(), under_saves(""));
    EXPECT_EQ(g_dialog_x, 390.0f);
    EXPECT_EQ(g_dialog_y, 10.0f);
}

TEST_F(FileDialogTest, ADragStartsOnlyInTheTitleBar)
{
    make_course("course", 1);
    ui_course_open_dialog_init();
    g_load_dialog_open = 1;
    // A press on the list's free space (below the rows) takes the press and starts no drag.
    press_at(open_dialog, 200, 600);
    EXPECT_EQ(g_dialog_dragging, 0);
    EXPECT_EQ(g_mouse_left_down, 0);
    frame(open_dialog, g_dialog_x + 260, g_dialog_y + 610);
    EXPECT_EQ(g_dialog_x, 390.0f);

    frame(open_dialog, g_dialog_x + 100, g_dialog_y + 24);
    press_at(open_dialog, 100, 24);  // the title bar
    EXPECT_EQ(g_dialog_dragging, 1);
    frame(open_dialog, g_mouse_x + 30, g_mouse_y + 40);
    EXPECT_EQ(g_dialog_x, 420.0f);
    EXPECT_EQ(g_dialog_y, 50.0f);
    // A press on a row while the drag runs does nothing.
    press_entry(open_dialog, "course");
    EXPECT_EQ(working_folder(), under_saves(""));
    g_mouse_left_down = 0;
    frame(open_dialog, 0, 0);
    EXPECT_EQ(g_dialog_dragging, 0);
    press_entry(open_dialog, "course");
    EXPECT_EQ(working_folder(), under_saves("/course"));
}

TEST_F(FileDialogTest, EscapeOrRetourReturnsToTheStartFolder)
{
    make_course("course", 1);
    const struct {
        const char *name;
        std::function<void()> dialog;
        int32_t *flag;
        int32_t open;
        bool retour;
    } cases[] = {
        {"open", open_dialog, &g_load_dialog_open, 1, false},
        {"save", save_dialog, &g_save_dialog_mode, 1, false},
        {"create", create_dialog, &g_save_dialog_mode, 2, false},
        {"open by RETOUR", open_dialog, &g_load_dialog_open, 1, true},
        {"save by RETOUR", save_dialog, &g_save_dialog_mode, 1, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ui_course_open_dialog_init();
        *c.flag = c.open;
        if (c.open == 1) press_entry(c.dialog, "course");
        EXPECT_NE(working_folder(), native(g_start_dir));
        if (c.retour)
            back(c.dialog);
        else
            escape(c.dialog);
        EXPECT_EQ(*c.flag, 0);
        EXPECT_EQ(g_key_down[27], 0);
        EXPECT_EQ(working_folder(), native(g_start_dir));
    }
}

TEST_F(FileDialogTest, OpenReturnsTheChosenScene)
{
    make_course("course", 3);
    ui_course_open_dialog_init();
    g_load_dialog_open = 1;
    press_entry(open_dialog, "course");
    EXPECT_EQ(returned, nullptr);
    press_entry(open_dialog, "hole02.qel");
    EXPECT_EQ(native(returned), under_saves("/course/hole02.qel"));
    EXPECT_EQ(g_load_dialog_open, 0);
    EXPECT_EQ(working_folder(), native(g_start_dir));
}

TEST_F(FileDialogTest, AnEntryThatIsNoFolderDoesNothing)
{
    fs::create_directories(saves + "/ghost");
    open_save();
    fs::remove(saves + "/ghost");
    press_entry(save_dialog, "ghost");
    EXPECT_EQ(working_folder(), under_saves(""));
    EXPECT_EQ(entry("ghost"), 1);
    EXPECT_EQ(g_save_dialog_mode, 1);
    EXPECT_STREQ(g_name_entry_text, "");
}

TEST_F(FileDialogTest, CreateMakesTheFolderInTheSavesFolder)
{
    ui_course_open_dialog_init();
    _chdir(g_start_dir);  // wherever the working folder is
    g_save_dialog_mode = 2;
    type(create_dialog, "Parcours2\r");
    EXPECT_TRUE(fs::is_directory(saves + "/parcours2"));
    EXPECT_EQ(g_save_dialog_mode, 0);
    EXPECT_EQ(working_folder(), native(g_start_dir));

    // An existing folder simply closes the dialog.
    ui_course_open_dialog_init();
    g_save_dialog_mode = 2;
    type(create_dialog, "parcours2");
    confirm(create_dialog);
    EXPECT_EQ(g_save_dialog_mode, 0);
    EXPECT_EQ(g_save_refused, 0);
}

TEST_F(FileDialogTest, AFolderThatCannotBeMadeShowsErr3)
{
    test_write_file(saves + "/taken", "a file");
    make_course("course", 1);
    ui_course_open_dialog_init();
    g_save_dialog_mode = 2;
    press_entry(create_dialog, "course");  // rows have no action here
    EXPECT_EQ(working_folder(), under_saves(""));
    EXPECT_STREQ(g_name_entry_text, "");
    type(create_dialog, "taken");
    confirm(create_dialog);
    EXPECT_EQ(g_save_refused, 1);
    EXPECT_EQ(g_save_dialog_mode, 2);
    EXPECT_TRUE(fs::is_regular_file(saves + "/taken"));
    press_at(create_dialog, 250, 300);
    EXPECT_EQ(g_save_refused, 0);
    EXPECT_EQ(g_save_dialog_mode, 2);
}

TEST_F(FileDialogTest, AnEmptyNameDoesNothing)
{
    make_course("course", 1);
    open_save();
    confirm(save_dialog);
    type(save_dialog, "\r");
    EXPECT_EQ(returned, nullptr);
    EXPECT_EQ(g_save_dialog_mode, 1);
    EXPECT_EQ(g_save_refused, 0);

    ui_course_open_dialog_init();
    g_save_dialog_mode = 2;
    confirm(create_dialog);
    type(create_dialog, "\r");
    EXPECT_EQ(g_save_dialog_mode, 2);
    EXPECT_EQ(g_save_refused, 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(saves), fs::directory_iterator()), 1);
}

TEST_F(FileDialogTest, SavedGameDialogInThePlayMenu)
{
    test_write_file(saves + "/one.sav", "");
    test_write_file(saves + "/two.sav", "");
    ui_saves_dialog_init();
    EXPECT_EQ(entries(), (std::vector<std::string>{"one.sav", "two.sav"}));
    EXPECT_EQ(working_folder(), native(g_start_dir));
    g_load_dialog_open = 1;
    g_player_dialog_state = 0;
    g_screen_state = kScreenPlayMenu;
    // The play menu's buttons are not there while it shows: a press on RETOUR's place does nothing.
    frame(menu_play_screen, 960, 647, true);
    EXPECT_EQ(g_screen_state, kScreenPlayMenu);
    EXPECT_EQ(g_load_dialog_open, 1);
    press_entry(menu_play_screen, "two.sav");
    EXPECT_EQ(g_load_dialog_open, 0);
    EXPECT_EQ(g_screen_state, kScreenPlayMenu);
}

}  // namespace
