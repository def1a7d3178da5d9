// The course-set selection screen on the headless device: sets written into a temporary
// data/parcours, frames run as the main loop would, the thumbnails read from the texture table.
#include "codecs/codecs.h"
#include "game/app.h"
#include "game/course_sets.h"
#include "game/files.h"
#include "game/font.h"
#include "game/menus.h"
#include "game/screen.h"
#include "platform/gpu/headless/gpu_headless.h"
#include "render/render.h"
#include "script/config_main.h"
#include "tests/game/headless_device.h"
#include "tests/test_util.h"
#include "tools/data_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

class CourseSetTest : public ::testing::Test {
protected:
    TestFolders folders;
    std::string sets = folders.run + "/data/parcours/";
    RenderContext *context = &g_render_context;
    char *saved_jouer = g_menu_texts[MENU_JOUER];
    char *saved_nperso = g_menu_texts[MENU_NPERSO];
    std::string saves = folders.user + "/Saves";
    char saved_saves[sizeof g_saves_folder] = {};

    void SetUp() override
    {
        ASSERT_TRUE(test_headless_device_open(context, 1920, 1080));
        ASSERT_TRUE(data_write_fonts(folders.run + "/data"));
        font_init(context);  // the rows' hover boxes are as high as the font
        _getcwd(g_start_dir, sizeof g_start_dir);
        static char jouer[] = "JOUER";
        g_menu_texts[MENU_JOUER] = jouer;
        static char nperso[] = "NPERSO";
        g_menu_texts[MENU_NPERSO] = nperso;
        memcpy(saved_saves, g_saves_folder, sizeof saved_saves);
        snprintf(g_saves_folder, sizeof g_saves_folder, "%s/", saves.c_str());
        std::filesystem::create_directories(saves);
        g_screen_state = kScreenCourseSets;
        g_set_screen_ready = 0;
        g_mouse_x = g_mouse_y = 5;
    }

    void TearDown() override
    {
        menu_course_set_leave();
        for (Font *f : {&g_font_primary, &g_font_secondary}) font_release_textures(f), font_reset(f);
        render_shutdown_device(context);
        render_context_destroy(context);
        EXPECT_EQ(gpu_headless_live_resources(), 0);
        gpu_headless_reset();
        g_mouse_left_down = 0;
        g_course_set_count = 0;
        g_menu_texts[MENU_JOUER] = saved_jouer;
        g_menu_texts[MENU_NPERSO] = saved_nperso;
        memcpy(g_saves_folder, saved_saves, sizeof saved_saves);
        g_set_source_personal = g_course_set_is_personal = 0;
    }

    // A set of `count` square pictures 8 pixels wide, named in listing order (under `root`, the
    // shipped sets' folder unless given).
    void write_set(const std::string &name, int count, const char *extension = "png", std::string root = "")
    {
        if (root.empty()) root = sets;
        std::filesystem::create_directories(root + name);
        std::vector<uint8_t> pixels(8 * 8 * 4, 200);
        ImageData image = {pixels.data(), 8, 8, 1, 0};
        for (int i = 0; i < count; i++) {
            char path[64];
            snprintf(path, sizeof path, "/hole%03d.%s", i, extension);
            std::string file = root + name + path;
            ASSERT_TRUE(extension[0] == 'p' ? png_write_file(file.c_str(), &image)
                                            : jp2_write_file(file.c_str(), &image));
        }
    }

    // The list as the play menu fills it (then the folder of set `gone` removed), and the screen
    // entered anew.
    void enter(const std::string &gone = "")
    {
        g_course_set_count = 0;
        if (_chdir("data/parcours") == 0) ui_course_set_list_fill();
        _chdir(g_start_dir);
        if (!gone.empty()) std::filesystem::remove_all(sets + gone);
        g_set_screen_ready = 0;
        frame();
    }

    void frame(int count = 1)
    {
        for (int i = 0; i < count; i++) {
            ASSERT_TRUE(render_begin_frame(context));
            menu_course_set_screen();
            render_end_frame(context);
        }
    }

    void click_at(int x, int y)
    {
        g_mouse_x = x, g_mouse_y = y;
        g_mouse_left_down = 1;
        frame();
    }
    void click_row(int row) { click_at(640, 560 + 50 * row); }
    void click_down_arrow() { click_at(640, 970); }
    void click_jouer() { click_at(1440, 650); }
    void click_nperso() { click_at(1440, 770); }

    // Width of the texture in a slot, 0 when empty.
    int slot_width(int32_t slot)
    {
        const TextureRecord *record = context->main_textures.slots ? context->main_textures.slots[slot] : nullptr;
        return record ? record->width : 0;
    }

    bool in_start_folder()
    {
        char cwd[512];
        return _getcwd(cwd, sizeof cwd) && strcmp(cwd, g_start_dir) == 0;
    }
};

TEST_F(CourseSetTest, PicturesBecomeThumbnailsWithOnlyTheMiddleEightReal)
{
    struct Case {
        const char *set;
        int pictures, frames, first_real, real;
    } cases[] = {
        {"Three", 3, 3, 0, 3},
        {"Twelve", 12, 12, 2, 8},
        {"Many", 130, 128, 60, 8},  // at most 128 frames: slot 949 and on stay the menus'
        {"Gone", 2, 0, 0, 0},       // listed, then its folder removed
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.set);
        std::filesystem::remove_all(sets);
        write_set(c.set, c.pictures);
        enter(c.frames == 0 ? c.set : "");
        ASSERT_EQ(g_set_thumbnail_count, c.frames);
        for (int i = 0; i < c.frames; i++)
            EXPECT_EQ(slot_width(800 + i), i >= c.first_real && i < c.first_real + c.real ? 8 : 32) << i;
        EXPECT_EQ(slot_width(800 + c.frames), 0);
        EXPECT_TRUE(in_start_folder());
    }
}

TEST_F(CourseSetTest, WithoutPngTheJpeg2000PicturesAreShown)
{
    write_set("Jp2", 2, "jp2");
    enter();
    ASSERT_EQ(g_set_thumbnail_count, 2);
    EXPECT_EQ(slot_width(800), 8);
    EXPECT_EQ(slot_width(801), 8);
}

TEST_F(CourseSetTest, DescriptionTakesOnlyTextBetweenAPairOfQuotes)
{
    struct Case {
        const char *name;
        std::string text;
        std::string lines[4];
    } cases[] = {
        {"pairs", "\"First\"\r\nA \"Second\" b\r\n", {"First", "Second", "", ""}},
        {"no quotes", "plain\n\"Two\"\n", {"", "Two", "", ""}},
        {"one quote", "\"half line\nx \"y\" z \"w\"\n", {"", "y", "", ""}},
        {"fifth ignored", "\"1\"\n\"2\"\n\"3\"\n\"4\"\n\"5\"\n", {"1", "2", "3", "4"}},
        {"long", "\"" + std::string(600, 'x') + "\"\n\"next\"", {std::string(511, 'x'), "next", "", ""}},
        {"empty", "", {"", "", "", ""}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        char lines[4][512];
        memset(lines, '?', sizeof lines);
        menu_course_set_read_description(c.text.data(), c.text.size(), lines);
        for (int n = 0; n < 4; n++) EXPECT_EQ(lines[n], c.lines[n]) << n;
    }
}

TEST_F(CourseSetTest, ListScrollsToItsLastEightRowsAndRowsStopAtTheCount)
{
    for (int i = 0; i < 11; i++) write_set("S" + std::to_string(10 + i), 0);
    enter();
    for (int i = 0; i < 5; i++) click_down_arrow();
    EXPECT_EQ(g_set_list_top, 3);
    EXPECT_EQ(g_set_selected, -1);  // scrolling clears the choice

    std::filesystem::remove_all(sets);
    for (int i = 0; i < 3; i++) write_set("T" + std::to_string(i), 0);
    enter();
    click_down_arrow();
    EXPECT_EQ(g_set_list_top, 0);
    frame(25);     // the cursor hold of the set-up ends
    click_row(5);  // no set there: the click stays pending, nothing is chosen
    EXPECT_EQ(g_mouse_left_down, 1);
    EXPECT_EQ(g_set_selected, -1);
    g_mouse_left_down = 0, g_mouse_y = 610;
    frame(12);  // hovering row 1 moves the preview there
    EXPECT_EQ(g_set_preview_row, 1);
    click_row(1);  // with nothing chosen a click on the previewed row chooses it
    EXPECT_EQ(g_set_selected, 1);
}

TEST_F(CourseSetTest, WithNoSetsJouerOnlyLightsTheHintWhichFades)
{
    enter();
    EXPECT_EQ(g_set_selected, -1);
    EXPECT_EQ(g_set_thumbnail_count, 0);
    g_course_set_folder[0] = '\0';
    click_jouer();
    EXPECT_EQ(g_set_hint_counter, 150);
    EXPECT_EQ(g_screen_state, kScreenCourseSets);
    EXPECT_STREQ(g_course_set_folder, "");
    frame(149);
    EXPECT_EQ(g_set_hint_counter, 1);
    frame();
    EXPECT_EQ(g_set_hint_counter, 0);
}

TEST_F(CourseSetTest, CursorIsPutBackFor25FramesAfterALoad)
{
    write_set("Alpha", 1);
    g_mouse_x = 960, g_mouse_y = 512;
    enter();
    for (int i = 1; i < 25; i++) {
        SCOPED_TRACE(i);
        g_mouse_x = 100 + i;
        frame();
        POINT at;
        GetCursorPos(&at);
        EXPECT_EQ(at.x, 960);
        EXPECT_EQ(g_mouse_x, 960);
    }
    g_mouse_x = 300;
    frame();
    EXPECT_EQ(g_mouse_x, 300);
}

TEST_F(CourseSetTest, AClickOnTheSecondRowChoosesAndPreviewsItsSetAndJouerPlaysIt)
{
    const uint8_t white[4 * 4 * 4] = {255};
    texture_create_from_pixels(context, 0, 949, 4, 4, white, 4, 4);
    write_set("Alpha", 3);
    write_set("Beta", 5);
    enter();
    frame(25);
    click_row(1);
    EXPECT_EQ(g_set_selected, 1);
    frame(10);  // the preview switches once the counter climbs back to 0
    EXPECT_EQ(g_set_thumbnail_count, 5);
    frame(25);  // the hold after the load ends
    click_jouer();
    EXPECT_STREQ(g_course_set_folder, "data/parcours/Beta/");
    EXPECT_EQ(g_screen_state, kScreenCoursePlay);
    EXPECT_EQ(g_set_screen_ready, 0);

    menu_course_set_leave();  // as the main loop does on leaving; course play then returns to 0
    g_screen_state = kScreenMainMenu;
    frame();  // drawn while fading out: neither sets up nor loads
    for (int32_t slot = 800; slot < 928; slot++) EXPECT_EQ(slot_width(slot), 0) << slot;
    EXPECT_GT(slot_width(949), 0);  // made untagged: not a thumbnail
}

// Whatever the pointer does while the preview switches, the clicked set is the one shown; after a
// scroll the row under the pointer shows its own set, not the one previewed before.
TEST_F(CourseSetTest, ThePreviewEndsOnTheClickedSetAndFollowsTheRowsAfterAScroll)
{
    for (int i = 0; i < 10; i++) write_set("S" + std::to_string(i), i + 1);  // S<i> has i + 1 pictures
    enter();
    frame(25);
    struct Case {
        const char *name;
        int clicked, then_y;  // the pointer's virtual y while the switch runs
    } cases[] = {
        {"pointer off the rows", 2, 100},
        {"pointer over another row", 4, 560},
        {"the previewed row again", 4, 610},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        click_row(c.clicked);
        EXPECT_EQ(g_set_selected, c.clicked);
        g_mouse_y = c.then_y;
        frame(10);
        EXPECT_EQ(g_set_thumbnail_count, c.clicked + 1);
        frame(25);
    }

    click_down_arrow();
    EXPECT_EQ(g_set_list_top, 1);
    EXPECT_EQ(g_set_selected, -1);
    g_mouse_left_down = 0, g_mouse_y = 560 + 50 * 4;  // the previewed row, which now holds S5
    frame(12);
    EXPECT_EQ(g_set_thumbnail_count, 6);
    frame(25);
    click_row(4);
    EXPECT_EQ(g_set_selected, 5);
    frame(25);
    click_jouer();
    EXPECT_STREQ(g_course_set_folder, "data/parcours/S5/");
}

TEST_F(CourseSetTest, LeavingByEscapeAndComingBackSetsTheScreenUpAgain)
{
    write_set("Alpha", 2);
    enter();
    click_down_arrow();
    ASSERT_EQ(g_set_selected, -1);
    g_screen_state = kScreenMainMenu;  // Escape
    menu_course_set_leave();
    EXPECT_EQ(slot_width(800), 0);
    g_screen_state = kScreenCourseSets;
    frame();
    EXPECT_EQ(g_set_selected, 0);
    EXPECT_EQ(g_set_thumbnail_count, 2);
}

TEST_F(CourseSetTest, NpersoSwitchesToTheCoursesOfTheSavesFolderAndBack)
{
    write_set("Meadow", 2);
    write_set("Mine", 3, "png", saves + "/");
    write_set("Trial", 1, "png", saves + "/");
    test_write_file(saves + "/Mine/desc.txt", "\"My own course\"\n\"Three holes\"\n");
    test_write_file(saves + "/OPTIONS.DAT", std::string(28, '\0'));  // a file: no course
    enter();
    frame(25);
    ASSERT_EQ(g_set_thumbnail_count, 2);

    click_nperso();
    EXPECT_EQ(g_set_source_personal, 1);
    EXPECT_EQ(g_course_set_is_personal, 1);
    ASSERT_EQ(g_course_set_count, 2);
    EXPECT_STREQ(g_course_set_names[0], "Mine");
    EXPECT_STREQ(g_course_set_names[1], "Trial");
    EXPECT_EQ(g_set_selected, 0);
    EXPECT_EQ(g_set_list_top, 0);
    EXPECT_EQ(g_set_thumbnail_count, 3);
    EXPECT_STREQ(g_set_description[0], "My own course");
    EXPECT_STREQ(g_set_description[1], "Three holes");
    EXPECT_TRUE(in_start_folder());

    frame(25);
    click_row(1);  // Trial, which has no desc.txt: no lines
    frame(10);
    EXPECT_EQ(g_set_thumbnail_count, 1);
    for (int n = 0; n < 4; n++) EXPECT_STREQ(g_set_description[n], "") << n;
    frame(25);
    click_jouer();
    EXPECT_EQ(std::string(g_course_set_folder), saves + "/Trial/");
    EXPECT_EQ(g_course_set_is_personal, 1);
    EXPECT_EQ(g_screen_state, kScreenCoursePlay);

    // Coming back starts on the shipped sets; the item switches to them again from the others.
    menu_course_set_leave();
    g_screen_state = kScreenCourseSets;
    enter();
    EXPECT_EQ(g_set_source_personal, 0);
    EXPECT_EQ(g_course_set_is_personal, 0);
    frame(25);
    click_nperso();
    frame(25);
    click_nperso();
    EXPECT_EQ(g_set_source_personal, 0);
    EXPECT_EQ(g_course_set_is_personal, 0);
    ASSERT_EQ(g_course_set_count, 1);
    EXPECT_STREQ(g_course_set_names[0], "Meadow");
    EXPECT_EQ(g_set_thumbnail_count, 2);
    frame(25);
    click_jouer();
    EXPECT_STREQ(g_course_set_folder, "data/parcours/Meadow/");
    EXPECT_EQ(g_course_set_is_personal, 0);
}

TEST_F(CourseSetTest, AnEmptySavesFolderShowsTheEmptyList)
{
    write_set("Meadow", 2);
    enter();
    frame(25);
    click_nperso();
    EXPECT_EQ(g_set_source_personal, 1);
    EXPECT_EQ(g_course_set_count, 0);
    EXPECT_EQ(g_set_selected, -1);
    EXPECT_EQ(g_set_thumbnail_count, 0);  // the shipped set's thumbnails went
    EXPECT_EQ(slot_width(800), 0);
    frame(25);
    g_course_set_folder[0] = '\0';
    click_jouer();
    EXPECT_EQ(g_set_hint_counter, 150);
    EXPECT_EQ(g_screen_state, kScreenCourseSets);
    EXPECT_STREQ(g_course_set_folder, "");

    // A saves folder that cannot be entered lists nothing either.
    snprintf(g_saves_folder, sizeof g_saves_folder, "%s/", (saves + "/gone").c_str());
    click_nperso();
    click_nperso();
    EXPECT_EQ(g_set_source_personal, 1);
    EXPECT_EQ(g_course_set_count, 0);
    EXPECT_TRUE(in_start_folder());
}

}  // namespace
