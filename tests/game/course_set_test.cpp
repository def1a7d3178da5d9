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
#include "render/render_draw.h"
#include "script/config_main.h"
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
    RenderContext *context = &g_render_context;
    char *saved_texts[2] = {};

    void SetUp() override
    {
        gpu_headless_reset();
        render_context_construct(context);
        context->width = 1920, context->height = 1080;
        ASSERT_EQ(render_create_device(context), 1);
        ASSERT_TRUE(data_write_fonts(folders.run + "/data"));
        font_init(context);  // the rows' hover boxes are as high as the font
        _getcwd(g_start_dir, sizeof g_start_dir);
        static char jouer[] = "JOUER", retour[] = "RETOUR";
        saved_texts[0] = g_menu_texts[MENU_JOUER], saved_texts[1] = g_menu_texts[MENU_RETOUR];
        g_menu_texts[MENU_JOUER] = jouer, g_menu_texts[MENU_RETOUR] = retour;
        g_screen_state = kScreenCourseSets;
        g_set_screen_ready = 0;
        g_course_set_folder[0] = '\0';
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
        g_menu_texts[MENU_JOUER] = saved_texts[0], g_menu_texts[MENU_RETOUR] = saved_texts[1];
    }

    // A set of `count` square pictures of `side` in the given format, and optionally a desc.txt.
    void write_set(const std::string &name, int count, int side = 8, const char *extension = "png")
    {
        std::string folder = folders.run + "/data/parcours/" + name;
        std::filesystem::create_directories(folder);
        std::vector<uint8_t> pixels(size_t(side) * side * 4, 200);
        ImageData image = {pixels.data(), side, side, 1, 0};
        for (int i = 0; i < count; i++) {
            char file[32];
            snprintf(file, sizeof file, "/hole%03d.%s", i, extension);
            ASSERT_EQ(strcmp(extension, "png") == 0 ? png_write_file((folder + file).c_str(), &image)
                                                    : jp2_write_file((folder + file).c_str(), &image),
                      1);
        }
    }

    // The list as the play menu fills it.
    void list_sets()
    {
        g_course_set_count = 0;
        if (_chdir("data/parcours") == 0) ui_course_set_list_fill();
        _chdir(g_start_dir);
    }

    void frame(int count = 1)
    {
        for (int i = 0; i < count; i++) {
            ASSERT_TRUE(render_begin_frame(context));
            menu_course_set_screen();
            render_end_frame(context);
        }
    }

    void click_at(float x, float y)
    {
        g_mouse_x = int32_t(x), g_mouse_y = int32_t(y);
        g_mouse_left_down = 1;
        frame();
    }
    void click_row(int row) { click_at(640, 560 + 50 * row); }
    void click_down_arrow() { click_at(640, 970); }
    void click_jouer() { click_at(1440, 650); }

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
        int pictures, frames, first_real;
    } cases[] = {{3, 3, 0}, {12, 12, 2}, {130, 128, 60}};  // 128 frames at most: 949 stays white
    for (const Case &c : cases) {
        SCOPED_TRACE(c.pictures);
        std::filesystem::remove_all(folders.run + "/data/parcours");
        write_set("Set", c.pictures);
        list_sets();
        g_set_screen_ready = 0;
        frame();
        ASSERT_EQ(g_set_thumbnail_count, c.frames);
        int real_end = c.pictures < 8 ? c.pictures : c.first_real + 8;
        for (int i = 0; i < c.frames; i++)
            EXPECT_EQ(slot_width(800 + i), i >= c.first_real && i < real_end ? 8 : 32) << i;
        EXPECT_EQ(slot_width(800 + c.frames), 0);
        EXPECT_TRUE(in_start_folder());
    }
}

TEST_F(CourseSetTest, WithoutPngTheJpeg2000PicturesAreShown)
{
    write_set("Jp2", 2, 16, "jp2");
    list_sets();
    frame();
    ASSERT_EQ(g_set_thumbnail_count, 2);
    EXPECT_EQ(slot_width(800), 16);
    EXPECT_EQ(slot_width(801), 16);
}

TEST(CourseSetDescriptionTest, OnlyTextBetweenAPairOfQuotesIsTaken)
{
    const std::string long_text(600, 'x');
    struct Case {
        const char *name;
        std::string text;
        const char *lines[4];
    } cases[] = {
        {"pairs", "\"First\"\r\nA \"Second\" b\r\n", {"First", "Second", "", ""}},
        {"no quotes", "plain\n\"Two\"\n", {"", "Two", "", ""}},
        {"one quote", "\"half line\nx \"y\" z \"w\"\n", {"", "y", "", ""}},
        {"fifth ignored", "\"1\"\n\"2\"\n\"3\"\n\"4\"\n\"5\"\n", {"1", "2", "3", "4"}},
        {"pair across lines", "\"a\n\"b\"", {"", "b", "", ""}},
        {"no last newline", "\"end\"", {"end", "", "", ""}},
        {"empty", "", {"", "", "", ""}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        char lines[4][512];
        memset(lines, '?', sizeof lines);
        menu_course_set_read_description(c.text.data(), c.text.size(), lines);
        for (int n = 0; n < 4; n++) EXPECT_STREQ(lines[n], c.lines[n]) << n;
    }
    char lines[4][512];
    std::string text = "\"" + long_text + "\"\n\"next\"";
    menu_course_set_read_description(text.data(), text.size(), lines);
    EXPECT_EQ(strlen(lines[0]), 511u);
    EXPECT_STREQ(lines[1], "next");
}

TEST_F(CourseSetTest, ListScrollsToItsLastEightRowsAndRowsStopAtTheCount)
{
    for (int i = 0; i < 11; i++) write_set("S" + std::to_string(10 + i), 0);
    list_sets();
    frame();
    for (int i = 0; i < 5; i++) click_down_arrow();
    EXPECT_EQ(g_set_list_top, 3);
    EXPECT_EQ(g_set_selected, -1);  // scrolling clears the choice

    std::filesystem::remove_all(folders.run + "/data/parcours");
    for (int i = 0; i < 3; i++) write_set("T" + std::to_string(i), 0);
    list_sets();
    g_set_screen_ready = 0;
    frame();
    click_down_arrow();
    EXPECT_EQ(g_set_list_top, 0);
    frame(25);     // the cursor hold of the set-up ends
    click_row(5);  // no set there: the click stays pending, nothing is chosen
    EXPECT_EQ(g_mouse_left_down, 1);
    EXPECT_EQ(g_set_selected, -1);
    g_mouse_left_down = 0;
    g_mouse_y = 610;
    frame(12);  // hovering row 1 moves the preview there
    EXPECT_EQ(g_set_preview_row, 1);
    click_row(1);  // with nothing chosen a click on the previewed row chooses it
    EXPECT_EQ(g_set_selected, 1);
}

TEST_F(CourseSetTest, JouerWithoutAChoiceLightsTheHintWhichFades)
{
    list_sets();  // no sets at all: nothing previewed, nothing chosen
    frame();
    EXPECT_EQ(g_set_selected, -1);
    EXPECT_EQ(g_set_thumbnail_count, 0);
    click_jouer();
    EXPECT_EQ(g_set_hint_counter, 150);
    EXPECT_EQ(g_screen_state, kScreenCourseSets);
    EXPECT_STREQ(g_course_set_folder, "");
    frame(149);
    EXPECT_EQ(g_set_hint_counter, 1);
    frame();
    EXPECT_EQ(g_set_hint_counter, 0);
    EXPECT_TRUE(in_start_folder());
}

TEST_F(CourseSetTest, CursorIsPutBackFor25FramesAfterALoad)
{
    write_set("Alpha", 1);
    list_sets();
    g_mouse_x = 960, g_mouse_y = 512;
    frame();
    for (int i = 1; i < 25; i++) {
        SCOPED_TRACE(i);
        g_mouse_x = 100 + i, g_mouse_y = 100;
        frame();
        POINT at;
        GetCursorPos(&at);
        EXPECT_EQ(at.x, 960);
        EXPECT_EQ(g_mouse_x, 960);
    }
    g_mouse_x = 300;
    frame();
    EXPECT_EQ(g_mouse_x, 300);
    EXPECT_EQ(g_set_cursor_hold, 0);
}

TEST_F(CourseSetTest, AClickOnAnotherRowMovesOnlyThePreviewAndJouerPlaysTheChoice)
{
    const uint8_t white[4 * 4 * 4] = {255};
    texture_create_from_pixels(context, 0, 949, 4, 4, white, 4, 4);
    write_set("Alpha", 3);
    write_set("Beta", 5);
    list_sets();
    frame(25);
    ASSERT_EQ(g_set_thumbnail_count, 3);
    click_row(1);
    frame(10);  // the preview switches once the counter climbs back to 0
    EXPECT_EQ(g_set_thumbnail_count, 5);
    EXPECT_EQ(g_set_selected, 0);
    frame(25);  // the hold after the load ends
    click_jouer();
    EXPECT_STREQ(g_course_set_folder, "data/parcours/Alpha/");
    EXPECT_EQ(g_screen_state, kScreenCoursePlay);
    EXPECT_EQ(g_set_screen_ready, 0);

    menu_course_set_leave();  // as the main loop does on leaving; course play then returns to 0
    g_screen_state = kScreenMainMenu;
    frame();  // fading out: draws, neither sets up nor loads
    for (int32_t slot = 800; slot < 928; slot++) EXPECT_EQ(slot_width(slot), 0) << slot;
    EXPECT_GT(slot_width(949), 0);  // the white texture was made untagged and stays
}

TEST_F(CourseSetTest, LeavingByEscapeAndComingBackSetsTheScreenUpAgain)
{
    write_set("Alpha", 2);
    list_sets();
    frame();
    click_down_arrow();
    ASSERT_EQ(g_set_selected, -1);
    g_screen_state = kScreenMainMenu;  // Escape
    menu_course_set_leave();
    EXPECT_EQ(slot_width(800), 0);
    g_screen_state = kScreenCourseSets;
    frame();
    EXPECT_EQ(g_set_selected, 0);
    EXPECT_EQ(g_set_thumbnail_count, 2);
    EXPECT_GT(slot_width(801), 0);
}

TEST_F(CourseSetTest, AListedSetWhoseFolderIsGoneGivesNoPreview)
{
    write_set("Gone", 2);
    list_sets();
    std::filesystem::remove_all(folders.run + "/data/parcours/Gone");
    frame();
    EXPECT_EQ(g_set_thumbnail_count, 0);
    EXPECT_EQ(slot_width(800), 0);
    EXPECT_TRUE(in_start_folder());
}

}  // namespace
