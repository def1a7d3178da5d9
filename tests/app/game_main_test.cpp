// The game main on the headless back ends: start-up in a temporary working folder with the default
// script and fonts, the main loop with recording screens under a clock that stands still, and
// shut-down.
#include "app/app_loop.h"
#include "app/app_main.h"
#include "game/app.h"
#include "game/files.h"
#include "game/font.h"
#include "game/menu_pictures.h"
#include "game/screen.h"
#include "game/ui.h"
#include "physics/physics.h"
#include "platform/audio.h"
#include "platform/gpu/headless/gpu_headless.h"
#include "render/render_draw.h"
#include "scene/scene.h"
#include "script/config_main.h"
#include "sound/music_local.h"
#include "tests/config_test_util.h"
#include "tests/scene/lighting_test_util.h"
#include "tests/test_util.h"
#include "tools/data_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

// What the recording screens saw.
std::vector<int> g_calls;     // the state of each handler call, in order
std::vector<float> g_alphas;  // the widgets' alpha each call saw
int g_leaves[1000];
int32_t g_change_to = -1;  // the next handler call moves to this state

void record(int32_t state)
{
    g_calls.push_back(state);
    g_alphas.push_back(g_ui_alpha);
    if (g_change_to >= 0) {
        g_screen_state = g_change_to;
        g_change_to = -1;
    }
}

template <int32_t S> void handler() { record(S); }
template <int32_t S> void leave() { g_leaves[S]++; }

class GameMainTest : public ::testing::Test {
protected:
    ConfigRestore config;  // the game main and one test read the run's script.txt
    TestFolders folders;
    std::string data = folders.run + "/data";
    ScreenRow saved_rows[kScreenRows];

    static void SetUpTestSuite() { setenv("ZAVGOLF_TRACE", "1", 1); }

    void SetUp() override
    {
        memcpy(saved_rows, g_screen_rows, sizeof saved_rows);
        window_reset();
        window_headless_set_desktop(960, 540);
        gpu_headless_reset();
        audio_headless_set_device_count(1);
        for (char *&page : g_presentation_pages) free(page), page = nullptr;
        ASSERT_TRUE(data_write_fonts(data));
        write_script("");
        g_quit = g_quit_request = 0;
        g_fade_busy = 0;
        g_calls.clear();
        memset(g_leaves, 0, sizeof g_leaves);
        g_change_to = -1;
        memset(g_key_down, 0, sizeof g_key_down);
        g_mouse_left_down = 0;

        WNDCLASSA wc{};
        wc.lpfnWndProc = app_window_proc;
        wc.lpszClassName = "GameMainTest";
        RegisterClassA(&wc);
        g_screen_width = 960, g_screen_height = 540;
        g_hwnd = CreateWindowExA(0, "GameMainTest", "GameMainTest", WS_POPUP, 0, 0, 960, 540, nullptr, nullptr,
                                 nullptr, nullptr);
        ASSERT_NE(g_hwnd, nullptr);
    }

    void TearDown() override
    {
        memcpy(g_screen_rows, saved_rows, sizeof saved_rows);
        sys_clock_hold(false);
        window_reset();
        window_headless_set_desktop(1920, 1080);
    }

    // The default script with its PRESENTATION block replaced by `pages` ("" for none).
    void write_script(const std::string &pages)
    {
        ASSERT_TRUE(data_write_script(data));
        std::string text = test_read_file(data + "/txt/script.txt");
        size_t begin = text.find("PRESENTATION"), end = text.find("}", begin);
        ASSERT_NE(end, std::string::npos);
        text.replace(begin, end + 1 - begin, "PRESENTATION\r\n{\r\n" + pages + "}");
        test_write_file(data + "/txt/script.txt", text);
    }

    // Start-up with the trace captured; the loop's tests then run passes themselves.
    std::string start(bool *made)
    {
        testing::internal::CaptureStdout();
        app_startup(made);
        return testing::internal::GetCapturedStdout();
    }

    // Passes of the loop, each 17 ms after the last on the held clock; the trace they printed.
    std::string passes(int count)
    {
        testing::internal::CaptureStdout();
        for (int i = 0; i < count && !g_quit; i++) {
            sys_clock_advance_ms(17.0);
            app_loop_pass();
        }
        return testing::internal::GetCapturedStdout();
    }

    void use_recording_screens()
    {
        g_screen_rows[0] = {kScreenMainMenu, handler<0>, leave<0>};
        g_screen_rows[1] = {kScreenPlayMenu, handler<1>, leave<1>};
        g_screen_rows[2] = {kScreenCourseSets, handler<2>, leave<2>};
        g_screen_rows[3] = {kScreenOptions, handler<3>, leave<3>};
        g_screen_rows[4] = {kScreenEditor, handler<111>, leave<111>};
        g_screen_rows[5] = {kScreenHighScores, handler<555>, leave<555>};
    }

    std::string finish(bool made)
    {
        testing::internal::CaptureStdout();
        app_shutdown(made);
        return testing::internal::GetCapturedStdout();
    }
};

bool has(const std::string &trace, const std::string &line) { return trace.find("trace " + line + "\n") != std::string::npos; }

TEST_F(GameMainTest, ScreensFadeOrCutAndEscapeLeavesThem)
{
    bool made = false;
    start(&made);
    ASSERT_TRUE(made);
    ASSERT_EQ(g_quit, 0);
    use_recording_screens();
    sys_clock_hold(true);

    // A click on OPTIONS: both screens draw for 20 frames of 17 ms, then only the options.
    g_change_to = kScreenOptions;
    std::string trace = passes(1);
    EXPECT_TRUE(has(trace, "state 0 -> 3 fade")) << trace;
    int both = 0;
    for (int frame = 0; frame < 30 && g_fade_busy; frame++) {
        g_calls.clear();
        passes(1);
        both += g_calls == std::vector<int>({0, 3});
    }
    EXPECT_EQ(both, 20);
    g_calls.clear();
    trace = passes(1);
    EXPECT_EQ(g_calls, std::vector<int>({3}));
    EXPECT_EQ(g_leaves[0], 1);

    // Into the editor and back cut; so do course play and its return.
    for (auto [from, to] : {std::pair{3, 111}, std::pair{111, 2}, std::pair{2, 888}}) {
        SCOPED_TRACE(std::to_string(from) + " -> " + std::to_string(to));
        ASSERT_EQ(g_screen_state, from);
        g_change_to = to;
        // Course play finds no hole and waits on its final card: the pass takes the move, the card
        // the click.
        if (to == kScreenCoursePlay) {
            window_headless_push(WM_MOUSEMOVE, 0, 0);
            window_headless_push(WM_LBUTTONDOWN, 0, 0);
        }
        trace = passes(1);
        EXPECT_TRUE(has(trace, "state " + std::to_string(from) + " -> " + std::to_string(to) + " cut")) << trace;
        EXPECT_EQ(g_fade_busy, 0);
        EXPECT_EQ(g_leaves[from], 1);
    }
    EXPECT_TRUE(has(trace, "state 888 -> 0 cut")) << trace;  // the play screen went back to the main menu
    EXPECT_EQ(g_screen_state, kScreenMainMenu);

    // Escape on a screen fades back to the main menu and runs the screen's leave function.
    g_change_to = kScreenOptions;
    passes(25);
    ASSERT_EQ(g_screen_state, kScreenOptions);
    g_leaves[3] = 0;
    g_key_down[27] = 1;
    trace = passes(1);
    EXPECT_TRUE(has(trace, "state 3 -> 0 fade")) << trace;
    EXPECT_EQ(g_quit, 0);
    passes(22);
    EXPECT_EQ(g_leaves[3], 1);
    EXPECT_EQ(g_screen_state, kScreenMainMenu);

    // Escape on the main menu ends the game.
    g_key_down[27] = 1;
    passes(1);
    EXPECT_EQ(g_quit, 1);
    finish(made);
    EXPECT_EQ(gpu_headless_live_resources(), 0);
}

TEST_F(GameMainTest, FadeAlphasAndEscapeDuringAFadeLeavesTheScreenFadingIn)
{
    bool made = false;
    start(&made);
    ASSERT_TRUE(made);
    use_recording_screens();
    sys_clock_hold(true);

    // The screen fading out starts opaque and the one fading in clear; the two always add to one.
    g_change_to = kScreenOptions;
    passes(1);
    for (int frame = 0; frame < 5; frame++) {
        g_calls.clear(), g_alphas.clear();
        passes(1);
        ASSERT_EQ(g_calls, std::vector<int>({0, 3}));
        if (frame == 0) {
            EXPECT_FLOAT_EQ(g_alphas[0], 1.0f);
        }
        EXPECT_GT(g_alphas[0], g_alphas[1]);
        EXPECT_NEAR(g_alphas[0] + g_alphas[1], 1.0f, 1e-6f);
    }
    g_key_down[27] = 1;
    passes(30);
    ASSERT_EQ(g_screen_state, kScreenMainMenu);

    // Escape two frames into a fade from the main menu: the screen that was fading in is left, so
    // that its next visit sets itself up again.
    for (int32_t to : {kScreenHighScores, kScreenCourseSets}) {
        SCOPED_TRACE(to);
        g_leaves[to] = 0;
        g_change_to = to;
        passes(3);
        ASSERT_EQ(g_fade_busy, 1);
        g_key_down[27] = 1;
        passes(25);
        EXPECT_EQ(g_screen_state, kScreenMainMenu);
        EXPECT_EQ(g_fade_busy, 0);
        EXPECT_EQ(g_quit, 0);
        EXPECT_EQ(g_leaves[to], 1);
    }
    finish(made);
}

TEST_F(GameMainTest, EditorButtonEntersTheEditorAndEscapeComesBackWithoutQuitting)
{
    bool made = false;
    start(&made);
    ASSERT_TRUE(made);
    sys_clock_hold(true);
    passes(3);
    ASSERT_EQ(g_screen_state, kScreenMainMenu);
    // EDITOR, centred at virtual y 535 of the half-size screen.
    window_headless_push(WM_MOUSEMOVE, 0, LPARAM(480 | (268 << 16)));
    window_headless_push(WM_LBUTTONDOWN, 0, LPARAM(480 | (268 << 16)));
    std::string trace = passes(3);
    EXPECT_TRUE(has(trace, "state 0 -> 111 cut")) << trace;
    ASSERT_EQ(g_screen_state, kScreenEditor);
    EXPECT_EQ(g_hole_world.object_count, 225);  // the first frame started a new course
    g_mouse_left_down = 0;

    window_headless_push(WM_KEYDOWN, VK_ESCAPE, 0);
    trace = passes(3);
    EXPECT_TRUE(has(trace, "state 111 -> 0 cut")) << trace;
    EXPECT_EQ(g_screen_state, kScreenMainMenu);
    EXPECT_EQ(g_quit, 0);
    EXPECT_EQ(g_hole_world.object_count, 0);
    passes(3);
    EXPECT_EQ(g_quit, 0);

    // Shut down while the editor shows: its leave function frees the hole.
    window_headless_push(WM_LBUTTONDOWN, 0, LPARAM(480 | (268 << 16)));
    passes(3);
    ASSERT_EQ(g_screen_state, kScreenEditor);
    EXPECT_EQ(g_hole_world.object_count, 225);
    finish(made);
    EXPECT_EQ(g_hole_world.object_count, 0);
    EXPECT_EQ(gpu_headless_live_resources(), 0);
}

TEST_F(GameMainTest, ALostFramePumpsAndEntersPlayAndTheMusicFollowsItsOption)
{
    audio_headless_set_device_count(0);  // no music thread takes the fade commands
    bool made = false;
    start(&made);
    ASSERT_TRUE(made);
    use_recording_screens();
    sys_clock_hold(true);

    g_sound_card_on = 1;
    for (int music : {0, 1, 0}) {
        g_music_on = music;
        g_music_fade_mode = -1;
        passes(1);
        EXPECT_EQ(g_music_fade_mode, music ? 4 : 3);
    }
    g_music_fade_mode = -1;

    gpu_headless_lose_device(g_render_context.device, false);
    gpu_headless_clear_draws();
    g_screen_state = kScreenCoursePlay;
    window_headless_push(WM_MOUSEMOVE, 0, LPARAM(123 | (45 << 16)));
    window_headless_push(WM_LBUTTONDOWN, 0, 0);  // answers the final card of a set without holes
    g_calls.clear();
    std::string trace = passes(5);  // messages waiting before the move come one a frame
    EXPECT_EQ(gpu_headless_draw_count(), 0);
    EXPECT_TRUE(g_calls.empty());
    EXPECT_EQ(g_mouse_x, 123);
    EXPECT_NE(trace.find("trace course play"), std::string::npos) << trace;
    EXPECT_EQ(g_screen_state, kScreenMainMenu);
    finish(made);
}

TEST_F(GameMainTest, PatienceIsCentredAtHalfHeight)
{
    RenderContext *context = &g_render_context;
    render_context_construct(context);
    context->window = g_hwnd;
    context->width = 960, context->height = 540;
    ASSERT_EQ(render_create_device(context), 1);
    config_read_file(g_main_config_table, "data/txt/script.txt");
    menu_load_pictures(context);
    ASSERT_GE(g_font_primary.last_page, 0);
    gpu_headless_clear_draws();
    app_loading_frame();

    float left = 1e9f, right = -1e9f, top = 1e9f;
    for (int i = 0; i < gpu_headless_draw_count() && i < 256; i++) {
        const GpuDrawRecord *draw = gpu_headless_draw(i);
        for (size_t at = 0; at + sizeof(RenderBatchVertex) <= draw->user_vertices.size(); at += sizeof(RenderBatchVertex)) {
            RenderBatchVertex v;
            memcpy(&v, draw->user_vertices.data() + at, sizeof v);
            left = std::min(left, v.x), right = std::max(right, v.x), top = std::min(top, v.y);
        }
    }
    ASSERT_LT(left, right) << "no text drawn";
    EXPECT_NEAR((left + right) / 2.0f, 480.0f, 3.0f);
    EXPECT_NEAR(top, 270.0f, 1.0f);
    for (Font *font : {&g_font_primary, &g_font_secondary}) font_release_textures(font), font_reset(font);
    menu_pictures_free();
    texture_release_all(&context->main_textures);
    render_shutdown_device(context);
    render_context_destroy(context);
    EXPECT_EQ(gpu_headless_live_resources(), 0);
}

TEST_F(GameMainTest, ADeviceFailureWritesTheTroubleshootingPageAndHandsItToTheShell)
{
    std::string shell_log = folders.temp / "shell.log";
    setenv("ZAVGOLF_SHELL", ("log:" + shell_log).c_str(), 1);
    sys_set_display_adapter_name("Adapter <Nine> & Co");
    gpu_headless_fail_next(GPU_FAIL_CREATE_DEVICE, 8);
    testing::internal::CaptureStdout();
    app_game_main();
    std::string trace = testing::internal::GetCapturedStdout();
    setenv("ZAVGOLF_SHELL", "off", 1);
    gpu_headless_reset();

    std::string page = test_read_file(folders.user + "/ZAV Games/troubleshooting.html");
    EXPECT_NE(page.find("<i>Adapter &lt;Nine&gt; &amp; Co</i>"), std::string::npos) << page;
    EXPECT_NE(page.find("TroubleShooting"), std::string::npos);
    EXPECT_NE(test_read_file(shell_log).find("troubleshooting.html"), std::string::npos);
    EXPECT_FALSE(has(trace, "intro start")) << trace;
    EXPECT_TRUE(has(trace, "exit")) << trace;
    EXPECT_EQ(gpu_headless_live_resources(), 0);
}

TEST_F(GameMainTest, AnUnreadableScriptGetsAPageAboutItWithoutTheGraphicsCard)
{
    std::filesystem::remove(data + "/txt/script.txt");
    bool made = false;
    start(&made);
    finish(made);
    std::string page = test_read_file(folders.user + "/ZAV Games/troubleshooting.html");
    EXPECT_NE(page.find("cannot read data/txt/script.txt"), std::string::npos) << page;
    EXPECT_NE(page.find("</html>"), std::string::npos) << page;
    for (const char *graphics : {"graphics card", "Graphic Card", "<a href", "D3DX9"})
        EXPECT_EQ(page.find(graphics), std::string::npos) << graphics;
}

TEST_F(GameMainTest, PagesStopAtTheFirstMissingAndAStoredThemePastTheThemesRunsTheFirst)
{
    write_script("PAGE1 = \"data/gfx/none1\"\r\nPAGE3 = \"data/gfx/none3\"\r\n");
    // OPTIONS.DAT of an earlier run with theme 9: the script has three.
    app_load_folder_settings();
    g_theme_index = 9;
    ASSERT_EQ(app_options_save(), 1);
    bool made = false;
    std::string trace = start(&made);
    EXPECT_TRUE(has(trace, "page 1 end")) << trace;
    EXPECT_EQ(trace.find("page 2"), std::string::npos) << trace;
    EXPECT_EQ(trace.find("page 3"), std::string::npos) << trace;
    EXPECT_EQ(g_theme_index, 0);
    finish(made);
}

TEST_F(GameMainTest, AQuitDuringTheIntroEndsTheGameWithoutPagesOrLoop)
{
    write_script("PAGE1 = \"data/gfx/none1\"\r\n");
    window_headless_push(WM_QUIT, 0, 0);  // the intro's first frame takes it
    testing::internal::CaptureStdout();
    app_game_main();
    std::string trace = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(has(trace, "intro end steps 0")) << trace;
    EXPECT_FALSE(has(trace, "page 1 start")) << trace;
    EXPECT_FALSE(has(trace, "loop")) << trace;
    EXPECT_TRUE(has(trace, "exit")) << trace;
    EXPECT_EQ(gpu_headless_live_resources(), 0);
}

// Start-up, a world lit by two light workers, shut-down, and the process's own exit.
void light_then_exit()
{
    bool made = false;
    app_startup(&made);
    auto world = std::make_unique<SceneWorld>();
    const float sun[3] = {0.48f, 0.8f, 0.36f};
    lighting_make_scene(world.get(), false, true, sun);
    scene_set_light_workers(2);
    lighting_light_all(world.get());
    world_release_and_reset(world.get());
    world_release_effects(world.get());
    app_shutdown(made);
    exit(0);
}

TEST_F(GameMainTest, ExitsZeroAfterLighting)
{
    EXPECT_EXIT(light_then_exit(), testing::ExitedWithCode(0), "");
}

}  // namespace
