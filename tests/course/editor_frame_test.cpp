// The hole editor's screen on the headless device at 1920 x 1080 (one virtual unit a pixel), with
// a stand-in font (10 pixels a character, lines 40 high), the interface texts as their keys and a
// small palette (DECORBLOC, START, then BLOC_nn) arranged as the theme loader arranges it.
#include "course/editor_frame.h"
#include "course/hole.h"
#include "game/app.h"
#include "game/files.h"
#include "game/menu_theme.h"
#include "game/play_requests.h"
#include "game/screen.h"
#include "game/ui.h"
#include "platform/gpu/headless/gpu_headless.h"
#include "render/render_draw.h"
#include "script/config_main.h"
#include "tests/course/course_test_util.h"
#include "tests/game/fake_font.h"
#include "tests/game/headless_device.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

// Toolbar buttons (x 10 .. 10 + 10 a character, 32 high from their virtual y) and other points.
struct Point {
    int32_t x, y;
};
const Point kEdNew = {15, 50}, kEdLoad = {15, 90}, kEdSave = {15, 130}, kEdCreate = {15, 170}, kBorneStart = {15, 210},
            kLighting = {15, 250}, kNewTree = {15, 290}, kRetour = {15, 370};
const Point kView = {960, 500};                     // in the view, away from the panel, the toolbar and the edges
const Point kBand = {960, 960};                     // the band's middle slot
const Point kOui = {826, 640}, kNon = {1093, 640};  // the confirmation box's answers
const Point kPanelSave = {430, 660};                // the panel's EDSAVE item (scale 0.75, from x 420, y 650)
const Point kNameField = {50, 580};                 // the NAME field (from y 570, 20 high, 100 wide)
const Point kParBar = {150, 624};                   // the PAR slider's bar (x 15 .. 207, y 620 .. 628): PAR 7

class HoleEditorFrame : public ::testing::Test, protected TestFolders {
protected:
    RenderContext *context = &g_render_context;
    FakePrimaryFont font{10, 40};
    std::string saves = temp / "Saves";
    int32_t start = -1;
    char *saved_texts[MENU_TEXT_COUNT] = {};

    void SetUp() override
    {
        ASSERT_TRUE(test_headless_device_open(context, 1920, 1080));
        g_ui_scale_x = g_ui_scale_y = 1.0f;
        memcpy(saved_texts, g_menu_texts, sizeof saved_texts);  // a script's texts come back after
        for (int t = 0; t < MENU_TEXT_COUNT; t++) g_menu_texts[t] = const_cast<char *>(g_menu_text_keys[t]);
        fs::create_directories(saves + "/course");
        snprintf(g_saves_folder, sizeof g_saves_folder, "%s/", saves.c_str());
        ASSERT_NE(_getcwd(g_start_dir, sizeof g_start_dir), nullptr);
        make_palette(12);
        g_editor_frame = EditorFrameState{};
        g_screen_state = kScreenEditor;
        g_frame_factor = 1.0f;
        frame(kView);  // starts the course
    }

    void TearDown() override
    {
        hole_editor_leave();
        scene_shutdown();  // the light workers of a lit view
        world_release_and_reset(&g_menu_world);
        lightmap_atlas_free(context);
        course_decal_release_storage();
        memcpy(g_menu_texts, saved_texts, sizeof saved_texts);
        render_shutdown_device(context);
        render_context_destroy(context);
        EXPECT_EQ(gpu_headless_live_resources(), 0);
        gpu_headless_reset();
        memset(g_key_down, 0, sizeof g_key_down);
        g_mouse_left_down = g_mouse_right_down = g_wheel_delta = 0;
        g_load_dialog_open = g_save_dialog_mode = 0;
        g_screen_state = kScreenMainMenu;
        g_block_step = 0.5f;
        g_block_snap_x = g_block_snap_z = 0.0f;
    }

    void make_palette(int32_t count)
    {
        world_release_and_reset(&g_menu_world);
        for (int32_t k = 0; k < count; k++) {
            char name[32];
            snprintf(name, sizeof name, k == 0 ? "DECORBLOC" : k == 1 ? "START" : "BLOC_%02d", int(k));
            scene_add_object(&g_menu_world, scene_test_make_block(name, 2.0f, k == 1 ? 0.5f : 1.0f, 2.0f));
        }
        menu_theme_arrange_palette(&g_menu_world);
        for (int32_t i = 0; i < g_menu_world.object_count; i++) {
            scene_set_render_object(&g_menu_world, i, course_mesh_shade_and_build(g_menu_world.objects[i], 1));
            if (hole_name_is(g_menu_world.objects[i]->name, "START")) start = i;
        }
    }

    // One frame of the editor with the cursor at p, a left press pending when asked.
    void frame(Point p, bool press = false)
    {
        g_mouse_x = p.x, g_mouse_y = p.y;
        if (press) g_mouse_left_down = 1;
        ASSERT_TRUE(render_begin_frame(context));
        hole_editor_frame();
        render_end_frame(context);
    }
    void click(Point p)
    {
        frame(p, true);
        frame(p);
    }
    void key(int code)
    {
        g_key_down[code] = 1;
        frame(kView);
    }
    // A palette block that is no START.
    int32_t bloc() const { return start == 2 ? 3 : 2; }
    // BORNESTART, then a click in the view: the placed START's index.
    int32_t place_start()
    {
        click(kBorneStart);
        EXPECT_EQ(g_editor.held_palette_index, start);
        const int32_t count = g_hole_world.object_count;
        click(kView);
        return g_hole_world.object_count == count + 1 ? count : -1;
    }
};

TEST_F(HoleEditorFrame, WheelOverBandScrollsPalette)
{
    ASSERT_EQ(g_editor.palette_first, 0);
    ASSERT_FLOAT_EQ(g_editor_camera_distance, 10.0f);
    const struct {
        Point at;
        int32_t wheel, turns;
        int32_t first;
        float distance;
    } cases[] = {
        {kBand, -1, 1, 1, 10.0f},  {kBand, -1, 10, 5, 10.0f},  // twelve blocks: up to 12 - 7
        {kBand, 1, 10, -1, 10.0f}, {kView, 1, 3, -1, 11.5f},  {kView, -1, 10, -1, 10.0f},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.at.y << " " << c.wheel << " x" << c.turns);
        for (int32_t k = 0; k < c.turns; k++) {
            g_wheel_delta = c.wheel;
            frame(c.at);
            EXPECT_EQ(g_wheel_delta, 0);
        }
        EXPECT_EQ(g_editor.palette_first, c.first);
        EXPECT_FLOAT_EQ(g_editor_camera_distance, c.distance);
    }
}

TEST_F(HoleEditorFrame, AToolbarClickNeverPlacesOrSelects)
{
    const int32_t placed = place_start();
    ASSERT_GE(placed, 0);
    EXPECT_EQ(g_editor.placements, 1);
    // Held: the toolbar's button acts, nothing is placed under it.
    g_editor.palette_first = 0;
    click({600, 960});  // slot 2 takes block 2
    ASSERT_EQ(g_editor.held_palette_index, 2);
    click(kEdCreate);
    EXPECT_EQ(g_save_dialog_mode, 2);
    EXPECT_EQ(g_hole_world.object_count, placed + 1);
    EXPECT_EQ(g_editor.held_palette_index, 2);
    key(VK_ESCAPE);  // the dialog closes, the editor stays
    EXPECT_EQ(g_save_dialog_mode, 0);
    EXPECT_EQ(g_screen_state, kScreenEditor);
    // Nothing held: a toolbar click selects nothing, even over a block.
    g_editor.held_palette_index = -1;
    click(kEdSave);
    EXPECT_EQ(g_save_dialog_mode, 1);
    EXPECT_EQ(g_editor.selected_object, -1);
    EXPECT_EQ(g_hole_world.object_count, placed + 1);
    EXPECT_EQ(g_editor.placements, 1);
}

TEST_F(HoleEditorFrame, EscapeWithADialogOpenDoesNothing)
{
    for (Point button : {kEdSave, kEdCreate, kEdLoad}) {
        SCOPED_TRACE(button.y);
        click(button);
        ASSERT_TRUE(g_save_dialog_mode || g_load_dialog_open);
        key(VK_ESCAPE);
        EXPECT_EQ(g_screen_state, kScreenEditor);
        EXPECT_EQ(g_key_down[VK_ESCAPE], 0);
        EXPECT_EQ(g_hole_world.object_count, 225);
    }
    // The confirmation box is a dialog too: Escape answers NON.
    ASSERT_GE(place_start(), 0);
    key(VK_ESCAPE);
    ASSERT_EQ(g_editor_frame.ask, kEditorAskLeave);
    key(VK_ESCAPE);
    EXPECT_EQ(g_editor_frame.ask, kEditorAskNone);
    EXPECT_EQ(g_screen_state, kScreenEditor);
    EXPECT_EQ(g_key_down[VK_ESCAPE], 0);
}

TEST_F(HoleEditorFrame, EscapeLeavesWithoutQuitting)
{
    g_load_dialog_open = 0;
    key(VK_ESCAPE);
    EXPECT_EQ(g_screen_state, kScreenMainMenu);
    // The main loop ends the game on an Escape left set after the screen's frame.
    EXPECT_EQ(g_key_down[VK_ESCAPE], 0);
    EXPECT_EQ(g_editor_frame.started, 0);
    EXPECT_EQ(g_hole_world.object_count, 0);
    // The next entry starts a new course.
    g_screen_state = kScreenEditor;
    frame(kView);
    EXPECT_EQ(g_hole_world.object_count, 225);
    EXPECT_EQ(g_editor.message_frames, kEditorHintFrames - 1);  // TOOLTIP1 again
    click(kRetour);
    EXPECT_EQ(g_screen_state, kScreenMainMenu);
}

TEST_F(HoleEditorFrame, NoRightArrowWithNineBlocksOrFewer)
{
    const Point right = {1920 - 48 + 16, 1080 - 120 + 16};  // inside the right arrow, where it shows
    const struct {
        int32_t blocks, first;
        int shown;
    } cases[] = {{9, 0, 0}, {9, -1, 0}, {9, -3, 0}, {5, -3, 0}, {10, 0, 1}, {10, 1, 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.blocks << " blocks from " << c.first);
        make_palette(c.blocks);
        g_editor.palette_first = c.first;
        g_mouse_x = right.x, g_mouse_y = right.y;
        ASSERT_TRUE(render_begin_frame(context));
        EXPECT_EQ(editor_draw_palette_arrows().right, c.shown);
        render_end_frame(context);
    }
}

TEST_F(HoleEditorFrame, ArrowsScrollByOneWithinTheirLimits)
{
    const Point left = {16, 1080 - 120 + 16}, right = {1920 - 48 + 16, 1080 - 120 + 16};
    click(right);
    EXPECT_EQ(g_editor.palette_first, 1);
    EXPECT_EQ(g_editor.palette_scroll, 240 - 5);  // one frame of the slide
    click(left);                                  // still sliding: the left arrow waits
    EXPECT_EQ(g_editor.palette_first, 1);
    for (int k = 0; k < 60; k++) frame(kView);
    EXPECT_EQ(g_editor.palette_scroll, 0);
    click(left);
    EXPECT_EQ(g_editor.palette_first, 0);
    for (int k = 0; k < 10; k++) click(right);
    EXPECT_EQ(g_editor.palette_first, 12 - 9);
}

TEST_F(HoleEditorFrame, PlacingTracesTheBlockAndWhereItShows)
{
    setenv("ZAVGOLF_TRACE", "1", 1);
    testing::internal::CaptureStdout();
    const int32_t placed = place_start();
    const std::string trace = testing::internal::GetCapturedStdout();
    unsetenv("ZAVGOLF_TRACE");
    ASSERT_GE(placed, 0);
    const MeshObject *o = g_hole_world.objects[placed];
    char name[32];
    float x = 0, z = 0;
    int sx = -1, sy = -1;
    const size_t at = trace.find("trace editor place ");
    ASSERT_NE(at, std::string::npos) << trace;
    ASSERT_EQ(sscanf(trace.c_str() + at, "trace editor place %31s %f %f screen %d %d", name, &x, &z, &sx, &sy), 5);
    EXPECT_STREQ(name, "START");
    EXPECT_NEAR(x, o->position[0], 0.01f);
    EXPECT_NEAR(z, o->position[2], 0.01f);
    // The top of the pad under the click, half a unit off the ground: a little above the cursor.
    EXPECT_NEAR(sx, kView.x, 10);
    EXPECT_LT(sy, kView.y);
    EXPECT_GT(sy, kView.y - 100);
    // A START stands one step up; a second one cannot be taken.
    EXPECT_FLOAT_EQ(o->position[1], -g_block_step);
    click(kBorneStart);
    EXPECT_EQ(g_editor.held_palette_index, -1);
}

TEST_F(HoleEditorFrame, AsksBeforeDiscarding)
{
    ASSERT_GE(place_start(), 0);
    ASSERT_EQ(editor_save_hole_to((saves + "/course/hole04.qel").c_str()), 1);
    ASSERT_EQ(editor_save_hole_to((saves + "/course/hole03.qel").c_str()), 1);
    ASSERT_EQ(g_editor.changed, 0);
    ASSERT_GE(editor_place_block_at(bloc(), 10.0f, 10.0f, 0, 0.0f), 0);  // a change
    const int32_t count = g_hole_world.object_count;

    const struct {
        const char *what;
        EditorAsk ask;
    } asks[] = {{"Escape", kEditorAskLeave},
                {"F2", kEditorAskStepHole},
                {"EDLOAD", kEditorAskOpen},
                {"EDNEW", kEditorAskNewHole},
                {"RETOUR", kEditorAskLeave}};
    auto ask = [&](const std::string &what) {
        if (what == "Escape")
            key(VK_ESCAPE);
        else if (what == "F2")
            key(VK_F1 + 1);
        else if (what == "EDLOAD")
            click(kEdLoad);
        else if (what == "EDNEW")
            click(kEdNew);
        else
            click(kRetour);
    };
    for (const auto &a : asks) {
        SCOPED_TRACE(a.what);
        ask(a.what);
        ASSERT_EQ(g_editor_frame.ask, a.ask);
        EXPECT_EQ(leave_requested, 1);
        frame(kView);  // the box waits; clicks elsewhere are its own
        click(kView);
        EXPECT_EQ(g_editor_frame.ask, a.ask);
        click(kNon);
        EXPECT_EQ(g_editor_frame.ask, kEditorAskNone);
        EXPECT_EQ(leave_requested, 0);
        EXPECT_EQ(g_hole_world.object_count, count);
        EXPECT_EQ(g_load_dialog_open, 0);
        EXPECT_STREQ(g_editor.hole_name, "course/hole03");
        EXPECT_EQ(g_screen_state, kScreenEditor);
    }
    // OUI acts.
    ask("F2");
    click(kOui);
    EXPECT_STREQ(g_editor.hole_name, "course/hole04");
    EXPECT_EQ(g_hole_world.object_count, count - 1);
    EXPECT_EQ(g_editor.changed, 0);
    ask("EDLOAD");  // opened, not changed: no box
    EXPECT_EQ(g_editor_frame.ask, kEditorAskNone);
    EXPECT_EQ(g_load_dialog_open, 1);
    key(VK_ESCAPE);
    ASSERT_EQ(g_load_dialog_open, 0);

    // After a save nothing asks; after a change Escape and OUI leave.
    ASSERT_GE(editor_place_block_at(bloc(), -10.0f, 10.0f, 0, 0.0f), 0);
    ASSERT_EQ(editor_save_hole_to((saves + "/course/hole05.qel").c_str()), 1);
    click(kEdNew);
    EXPECT_EQ(g_editor_frame.ask, kEditorAskNone);
    EXPECT_EQ(g_hole_world.object_count, 225);
    ASSERT_GE(place_start(), 0);
    key(VK_ESCAPE);
    click(kOui);
    EXPECT_EQ(g_screen_state, kScreenMainMenu);
    EXPECT_EQ(g_key_down[VK_ESCAPE], 0);
}

TEST_F(HoleEditorFrame, AFailedSaveShowsItsErrorAndKeepsTheName)
{
    snprintf(g_editor.hole_name, sizeof g_editor.hole_name, "course/hole01");
    click(kEdSave);
    ASSERT_EQ(g_save_dialog_mode, 1);
    // The dialog gives a path where a folder stands: the scene cannot be written there.
    fs::create_directories(saves + "/hole02.qel");
    for (const char *c = "hole02"; *c; c++) {
        g_key_char = *c, g_key_printable = 1;
        frame(kView);
    }
    g_key_char = 13, g_key_printable = 1;
    frame(kView);
    EXPECT_EQ(g_save_dialog_mode, 0);
    EXPECT_EQ(g_editor_frame.message, MENU_ERR3);
    EXPECT_STREQ(g_editor.hole_name, "course/hole01");
    click(kView);  // the click closes the box and places nothing
    EXPECT_EQ(g_editor_frame.message, -1);
    EXPECT_EQ(g_hole_world.object_count, 225);
}

TEST_F(HoleEditorFrame, ThePanelsSaveWritesTheDescriptionAndThumbnailOnly)
{
    // A hole without a file: nothing is written beside no file.
    frame(kPanelSave, true);
    EXPECT_EQ(g_editor_frame.message, MENU_ERR9);
    click(kView);
    EXPECT_EQ(g_editor_frame.message, -1);
    EXPECT_TRUE(fs::is_empty(saves + "/course"));
    EXPECT_EQ(std::distance(fs::directory_iterator(saves), fs::directory_iterator()), 1);

    snprintf(g_editor.hole_name, sizeof g_editor.hole_name, "course/hole01");
    snprintf(g_edit_text, sizeof g_edit_text, "Long lane");
    g_edit_par = 3;
    click(kPanelSave);
    const std::string description = test_read_file(saves + "/course/hole01.txt");
    EXPECT_NE(description.find("NAME \"Long lane\""), std::string::npos) << description;
    EXPECT_NE(description.find("PAR 3"), std::string::npos) << description;
    EXPECT_TRUE(fs::exists(saves + "/course/hole01.png"));  // written by the frame after the click
    EXPECT_EQ(g_editor.thumbnail_requested, 0);
    EXPECT_FALSE(fs::exists(saves + "/course/hole01.qel"));
    EXPECT_EQ(g_hole_world.object_count, 225);
}

TEST_F(HoleEditorFrame, LitViewSavesLitAndGoesBackToTheFlatView)
{
    ASSERT_GE(place_start(), 0);
    click(kNewTree);
    ASSERT_EQ(g_hole_world.vegetal_count, 1);
    const int32_t presents = gpu_headless_present_count(context->device);
    click(kLighting);  // requested; the next frame lights
    EXPECT_EQ(g_editor.lit_view, 1);
    EXPECT_NE(g_hole_world.shadow_masks[0], nullptr);
    EXPECT_GT(gpu_headless_present_count(context->device), presents);  // progress frames
    EXPECT_EQ(g_editor.message_frames, kEditorHintFrames - 1);         // TOOLTIP4
    EXPECT_EQ(g_editor.hint, MENU_TOOLTIP4);

    // Nothing is taken or placed while lit.
    click(kBorneStart);
    click(kView);
    EXPECT_EQ(g_hole_world.object_count, 226);

    const std::string path = saves + "/course/hole07.qel";
    ASSERT_EQ(editor_save_hole_to(path.c_str()), 1);
    const std::string bytes = test_read_file(path);
    ASSERT_GE(bytes.size(), 12u);
    uint32_t flags = 0;
    for (int k = 3; k >= 0; k--) flags = flags << 8 | uint8_t(bytes[8 + k]);
    EXPECT_EQ(flags, 0x70Eu);

    click(kLighting);
    EXPECT_EQ(g_editor.lit_view, 0);
    for (int32_t i = 0; i < g_hole_world.object_count; i++) {
        SCOPED_TRACE(i);
        EXPECT_NE(g_hole_world.render_objects[i], nullptr);
        EXPECT_EQ(g_hole_world.shadow_receivers[i], nullptr);
        EXPECT_EQ(g_hole_world.lightmaps[i], nullptr);
    }

    // The lit file opens lit, with its shadows.
    ASSERT_EQ(editor_open_hole(path.c_str(), 1), 1);
    EXPECT_EQ(g_editor.lit_view, 1);
    EXPECT_EQ(g_hole_world.vegetal_count, 1);
    EXPECT_NE(g_hole_world.shadow_masks[0], nullptr);
}

TEST_F(HoleEditorFrame, NewHoleThenThePanelsSaveLeavesThePreviousHolesFilesAlone)
{
    ASSERT_GE(place_start(), 0);
    const std::string base = saves + "/course/hole01";
    ASSERT_EQ(editor_save_hole_to((base + ".qel").c_str()), 1);
    snprintf(g_edit_text, sizeof g_edit_text, "First");
    g_edit_par = 3;
    click(kPanelSave);
    ASSERT_TRUE(fs::exists(base + ".png"));
    std::string before[3];
    const char *extensions[3] = {".qel", ".txt", ".png"};
    for (int k = 0; k < 3; k++) before[k] = test_read_file(base + extensions[k]);
    ASSERT_NE(before[1].find("NAME \"First\""), std::string::npos);

    click(kEdNew);  // saved and described: nothing to ask
    ASSERT_EQ(g_editor_frame.ask, kEditorAskNone);
    EXPECT_STREQ(g_editor.hole_name, "NIVONULL");
    EXPECT_STREQ(g_edit_text, "NIVONAMEDEFAULT");
    EXPECT_EQ(g_edit_par, 4);
    EXPECT_EQ(editor_has_changes(), 0);

    // The panel's save finds no file to go beside; the lighting's thumbnail has nowhere to go; F1
    // and F2 have no course to step through.
    frame(kPanelSave, true);
    EXPECT_EQ(g_editor_frame.message, MENU_ERR9);
    click(kView);
    click(kLighting);
    ASSERT_EQ(g_editor.lit_view, 1);
    click(kLighting);
    key(VK_F1 + 1);
    key(VK_F1);
    EXPECT_EQ(g_editor_frame.ask, kEditorAskNone);
    EXPECT_STREQ(g_editor.hole_name, "NIVONULL");
    for (int k = 0; k < 3; k++) EXPECT_EQ(test_read_file(base + extensions[k]), before[k]) << extensions[k];
    EXPECT_EQ(std::distance(fs::directory_iterator(saves + "/course"), fs::directory_iterator()), 3);
}

TEST_F(HoleEditorFrame, NameAndParEditsAreChangesUntilThePanelWritesThem)
{
    ASSERT_GE(place_start(), 0);
    ASSERT_EQ(editor_save_hole_to((saves + "/course/hole02.qel").c_str()), 1);
    ASSERT_EQ(editor_save_hole_to((saves + "/course/hole01.qel").c_str()), 1);
    snprintf(g_edit_text, sizeof g_edit_text, "Lane");
    g_edit_length = 4;
    EXPECT_EQ(editor_has_changes(), 1);
    click(kPanelSave);  // written: no longer a change
    ASSERT_EQ(editor_has_changes(), 0);

    // A letter typed into NAME: F2 asks before the edit would be lost; NON keeps it.
    g_key_char = 'x', g_key_printable = 1;
    frame(kNameField);
    ASSERT_STREQ(g_edit_text, "Lanex");
    key(VK_F1 + 1);
    EXPECT_EQ(g_editor_frame.ask, kEditorAskStepHole);
    click(kNon);
    EXPECT_STREQ(g_editor.hole_name, "course/hole01");
    EXPECT_STREQ(g_edit_text, "Lanex");

    // Written by the panel: no longer a change. A PAR dragged on the slider is one.
    click(kPanelSave);
    EXPECT_NE(test_read_file(saves + "/course/hole01.txt").find("NAME \"Lanex\""), std::string::npos);
    EXPECT_EQ(editor_has_changes(), 0);
    click(kParBar);
    ASSERT_EQ(g_edit_par, 7);
    key(VK_ESCAPE);
    EXPECT_EQ(g_editor_frame.ask, kEditorAskLeave);
    click(kNon);
    EXPECT_EQ(g_screen_state, kScreenEditor);

    // The scene's save writes no NAME or PAR: still asked; OUI opens hole02 with its own.
    ASSERT_EQ(editor_save_hole_to((saves + "/course/hole01.qel").c_str()), 1);
    key(VK_F1 + 1);
    ASSERT_EQ(g_editor_frame.ask, kEditorAskStepHole);
    click(kOui);
    EXPECT_STREQ(g_editor.hole_name, "course/hole02");
    EXPECT_EQ(editor_has_changes(), 0);
}

}  // namespace
