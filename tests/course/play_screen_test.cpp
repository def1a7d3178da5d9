// The play screen on the headless back ends, with its input queued as a player would give it and the
// clock held (17 ms a frame): course sets built with the editor's own operations and save path,
// played from the first hole to the final card.
#include "course/editor.h"
#include "course/hole.h"
#include "course/play_screen_local.h"
#include "game/app.h"
#include "game/course_sets.h"
#include "game/files.h"
#include "game/font.h"
#include "game/menu_theme.h"
#include "game/menus.h"
#include "game/play_requests.h"
#include "game/screen.h"
#include "game/sounds.h"
#include "game/ui.h"
#include "platform/gpu/headless/gpu_headless.h"
#include "render/render_draw.h"
#include "render/texture.h"
#include "script/config_main.h"
#include "sound/music_local.h"
#include "tests/config_test_util.h"
#include "tests/course/course_test_util.h"
#include "tests/test_util.h"
#include "tools/data_writer.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::function<void(PlayState *)> g_script;
void run_script(PlayState *state)
{
    sys_clock_advance_ms(17.0);  // every frame 17 ms after the last: a frame factor of 1
    if (g_script) g_script(state);
}

// The strokes a power of the charge reaches: 0.2 in the frame the press is taken, then 0.2 more
// in every frame it is held (factor 1).
float charged_power(int32_t held_frames)
{
    float power = 0.2f;
    for (int32_t k = 0; k < held_frames; k++) power += 1.0f * 0.2f;
    return power;
}

// One turn as the frame hook saw it at its first frame.
struct Turn {
    int32_t hole_index, player;
    int32_t music;
    std::string banner;  // the banner's line naming the hole
};

struct PlayScreen : ::testing::Test {
    ConfigRestore config;  // SetUp reads the data's script.txt
    TestFolders folders;
    std::string data = folders.run + "/data";
    std::string players;
    int32_t start = -1, bloc = -1, cup = -1, wall = -1;
    std::vector<Turn> turns;

    static void SetUpTestSuite() { setenv("ZAVGOLF_TRACE", "1", 1); }
    static void TearDownTestSuite() { unsetenv("ZAVGOLF_TRACE"); }

    void SetUp() override
    {
        window_reset();
        window_headless_set_desktop(960, 540);
        WNDCLASSA wc{};
        wc.lpfnWndProc = app_window_proc;
        wc.lpszClassName = "PlayScreenTest";
        RegisterClassA(&wc);
        g_hwnd = CreateWindowExA(0, "PlayScreenTest", "PlayScreenTest", WS_POPUP, 0, 0, 960, 540, nullptr, nullptr,
                                 nullptr, nullptr);
        ASSERT_NE(g_hwnd, nullptr);
        gpu_headless_reset();
        render_context_construct(&g_render_context);
        g_render_context.width = 960, g_render_context.height = 540;
        ASSERT_EQ(render_create_device(&g_render_context), 1);
        g_ui_scale_x = g_ui_scale_y = 0.5f;

        g_sound_card_on = 0;
        g_option_replay = 0;
        g_option_aim_line = 1;
        g_theme_index = 0;
        app_load_folder_settings();
        players = folders.user + "/ZAV Games/Players/";
        ASSERT_TRUE(data_write_script(data) && data_write_fonts(data));
        config_read_file(g_main_config_table, "data/txt/script.txt");
        font_init(&g_render_context);
        set_player(0, "Ann", PLAYER_MARKER_REAL);
        set_player(1, "Nobody", PLAYER_MARKER_NONE);
        make_palette();

        g_quit = 0;
        g_screen_state = kScreenCoursePlay;
        g_mouse_left_down = g_mouse_right_down = g_wheel_delta = 0;
        memset(g_key_down, 0, sizeof g_key_down);
        window_headless_set_cursor(480, 270);
        g_mouse_x = 480, g_mouse_y = 270;
        g_camera_yaw = 180.0f;
        g_camera_pitch = -30.0f;
        sys_clock_hold(true);
        g_play_frame_hook = run_script;
        g_script = nullptr;
    }

    void TearDown() override
    {
        g_play_frame_hook = nullptr;
        g_script = nullptr;
        sys_clock_hold(false);
        hole_free_shadows();
        world_release_and_reset(&g_hole_world);
        world_release_and_reset(&g_menu_world);
        lightmap_atlas_free(&g_render_context);
        for (Font *f : {&g_font_primary, &g_font_secondary}) font_release_textures(f), font_reset(f);
        texture_release_all(&g_render_context.main_textures);
        render_shutdown_device(&g_render_context);
        render_context_destroy(&g_render_context);
        scene_shutdown();
        window_reset();
        window_headless_set_desktop(1920, 1080);
        g_quit = 0;
        g_screen_state = kScreenMainMenu;
        leave_requested = restart_requested = options_open = 0;
        g_block_step = 0.5f;
        g_block_snap_x = g_block_snap_z = 0.0f;
    }

    static void set_player(int k, const char *name, int32_t marker)
    {
        memset(&g_player_record[k], 0, sizeof g_player_record[k]);
        snprintf(g_player_record[k].name, sizeof g_player_record[k].name, "%s", name);
        g_player_record[k].marker = marker;
    }

    // The theme's pieces: DECORBLOC, a START half a block high, a flat BLOC, the cup block (its
    // SOL floor the block's bottom) and a thin wall, arranged as the theme loader arranges them.
    void make_palette()
    {
        world_release_and_reset(&g_menu_world);
        scene_add_object(&g_menu_world, scene_test_make_block("DECORBLOC", 2.0f, 1.0f, 2.0f));
        scene_add_object(&g_menu_world, scene_test_make_block("START", 2.0f, 0.5f, 2.0f));
        scene_add_object(&g_menu_world, scene_test_make_block("BLOC", 2.0f, 1.0f, 2.0f));
        scene_add_object(&g_menu_world, course_cup_block(1.0f, 0.3f));
        MeshObject *w = scene_test_make_block("BLOC_WALL", 0.25f, 1.3f, 2.0f);
        for (int32_t f = 0; f < w->face_count; f++) w->faces[f].material = 3;
        scene_add_object(&g_menu_world, w);
        menu_theme_arrange_palette(&g_menu_world);
        const float sun[3] = {0.48f, 0.8f, 0.36f};
        memcpy(g_menu_world.light_vector, sun, sizeof sun);
        for (int32_t i = 0; i < g_menu_world.object_count; i++) {
            const char *name = g_menu_world.objects[i]->name;
            if (hole_name_is(name, "START")) start = i;
            if (hole_name_is(name, "BLOC")) bloc = i;
            if (hole_name_is(name, "BLOC_CUP")) cup = i;
            if (hole_name_is(name, "BLOC_WALL")) wall = i;
        }
    }

    std::string set_folder(const std::string &set) const { return data + "/parcours/" + set; }

    // A hole made in the editor and saved into the set: START at x 0, a flat block at 2, the cup
    // at 4 with the wall behind it (along +x); without START, or with a plant, when asked.
    void make_hole(const std::string &set, const std::string &hole, int32_t par, bool with_start = true,
                   bool with_plant = false)
    {
        editor_start_new_course();
        if (with_start) {
            ASSERT_GE(editor_place_block_at(start, 0.0f, 0.0f, 0, 0.0f), 0);
        }
        ASSERT_GE(editor_place_block_at(bloc, 2.0f, 0.0f, 0, 0.0f), 0);
        ASSERT_GE(editor_place_block_at(cup, 4.0f, 0.0f, 0, 0.0f), 0);
        ASSERT_GE(editor_place_block_at(wall, 5.125f, 0.0f, 0, 0.0f), 0);
        if (with_plant) {
            ASSERT_GE(editor_add_plant_at(kVegetalTree, 2.0f, 6.0f), 0);
        }
        fs::create_directories(set_folder(set));
        const std::string path = set_folder(set) + "/" + hole + ".qel";
        ASSERT_EQ(editor_save_hole_to(path.c_str()), 1);
        ASSERT_EQ(app_write_hole_description((set_folder(set) + "/" + hole + ".txt").c_str(), hole.c_str(), par), 1);
        world_release_and_reset(&g_hole_world);
    }

    // The play screen on the set, its trace returned.
    std::string play(const std::string &set)
    {
        snprintf(g_course_set_folder, sizeof g_course_set_folder, "data/parcours/%s/", set.c_str());
        g_course_set_is_personal = 0;
        testing::internal::CaptureStdout();
        course_play_screen();
        return testing::internal::GetCapturedStdout();
    }

    // Records each turn at its first frame.
    void record_turn(const PlayState *s, int32_t *last_turn)
    {
        const int32_t key = s->hole_index * 2 + s->player;
        if (s->hole_done || key == *last_turn) return;
        *last_turn = key;
        char banner[256];
        play_hud_banner_hole_line(s, banner, sizeof banner);
        turns.push_back({s->hole_index, s->player, g_music_next_module.load(), banner});
    }

    static void press(UINT message, int32_t x = 480, int32_t y = 270)
    {
        window_headless_push(WM_MOUSEMOVE, 0, LPARAM(x | y << 16));
        window_headless_push(message, 0, 0);
    }
    static void key(int vk) { window_headless_push(WM_KEYDOWN, WPARAM(vk), 0); }
    bool player_file(const char *name) const { return fs::exists(players + name + ".dat"); }

    // The simulation on a saved hole (PAR 2, yaw 180, pitch -30): the first of some charges' powers
    // that holes out in one, or -1.
    static float holing_power(const std::string &saved)
    {
        float power = -1.0f;
        for (int32_t held : {14, 13, 15, 12, 16, 11, 17, 10, 18}) {
            g_hole_strokes_p1[0] = -1;
            CoursePlay sim;
            sim.state.par = 2;
            if (!play_sim_open(&sim.state, saved.c_str())) break;
            for (int f = 0; f < 300 && !sim.state.ball.body->asleep; f++) play_frame_logic(&sim.state, 1.0f);
            if (!play_sim_strike(&sim.state, 180.0f, -30.0f, charged_power(held))) break;
            for (int f = 0; f < 800 && !sim.state.hole_done; f++) play_frame_logic(&sim.state, 1.0f);
            if (g_hole_strokes_p1[0] == 1) {
                power = charged_power(held);
                break;
            }
        }
        world_release_and_reset(&g_hole_world);
        return power;
    }
};

bool has(const std::string &trace, const std::string &line)
{
    return trace.find("trace " + line + "\n") != std::string::npos;
}

template <class T>
T at(const std::string &bytes, size_t offset)
{
    T value{};
    if (offset + sizeof(T) <= bytes.size()) memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

}  // namespace

TEST_F(PlayScreen, ASetWithoutHolesShowsTheTotalsColumnAloneAndWritesNothing)
{
    fs::create_directories(set_folder("Empty"));
    test_write_file(set_folder("Empty") + "/picture.png", "not a hole");
    press(WM_LBUTTONDOWN);  // the final card's click
    gpu_headless_clear_draws();
    const std::string trace = play("Empty");
    EXPECT_TRUE(has(trace, "course play data/parcours/Empty/"));
    EXPECT_TRUE(has(trace, "final card"));
    EXPECT_EQ(g_screen_state, kScreenMainMenu);
    EXPECT_EQ(g_quit, 0);
    EXPECT_FALSE(player_file("Ann"));
    for (int32_t i = 0; i < kPlayMaxHoles; i++) ASSERT_EQ(g_hole_par_table[i], -1) << i;

    // Nothing of the table right of its one column (the row labels stand on its left).
    const float left = 480.0f - 12.5f, right = 480.0f + 12.5f;
    int32_t in_column = 0;
    for (int d = 0; d < gpu_headless_draw_count(); d++) {
        const std::vector<uint8_t> &bytes = gpu_headless_draw(d)->user_vertices;
        for (size_t k = 0; k + sizeof(RenderBatchVertex) <= bytes.size(); k += sizeof(RenderBatchVertex)) {
            RenderBatchVertex v;
            memcpy(&v, bytes.data() + k, sizeof v);
            if (v.y < 405.0f || v.y > 475.0f || v.x < left - 2.0f) continue;
            EXPECT_LE(v.x, right + 2.0f);
            in_column++;
        }
    }
    EXPECT_GT(in_column, 0);
}

TEST_F(PlayScreen, AHoleWithoutStartIsSkippedAndReleased)
{
    make_hole("Skip", "hole01", 3, false, true);
    int32_t frames = 0;
    g_script = [&](PlayState *) { frames++; };
    press(WM_LBUTTONDOWN);
    const std::string trace = play("Skip");
    EXPECT_TRUE(has(trace, "hole open Skip/hole01 lit"));
    EXPECT_EQ(frames, 0);
    EXPECT_EQ(g_hole_strokes_p1[0], -1);
    EXPECT_EQ(g_hole_par_table[0], 3);
    // Its plant's shadow went with it.
    EXPECT_EQ(g_hole_world.vegetal_count, 0);
    EXPECT_EQ(g_hole_world.shadow_masks[0], nullptr);
    const TextureTable &table = g_render_context.main_textures;
    EXPECT_TRUE(!table.slots || !table.slots[SCENE_SHADOW_TEXTURE_BASE]);
    EXPECT_TRUE(has(trace, "final card"));
    EXPECT_FALSE(player_file("Ann"));
}

TEST_F(PlayScreen, TwoPlayersTakeEachHoleInTurn)
{
    make_hole("Pair", "hole01", 3);
    make_hole("Pair", "hole02", 4);
    set_player(1, "Bob", PLAYER_MARKER_REAL);
    int32_t last = -1;
    g_script = [&](PlayState *s) {
        record_turn(s, &last);
        if (s->end_timer == 0 && s->hole_done == 0) s->end_timer = 1;  // 0 strokes stored next frame
        if (s->hole_done && s->hole_index == 2) press(WM_LBUTTONDOWN);
    };
    const std::string trace = play("Pair");
    const std::vector<std::pair<int32_t, int32_t>> want = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};
    ASSERT_EQ(turns.size(), want.size());
    for (size_t k = 0; k < want.size(); k++) {
        EXPECT_EQ(turns[k].hole_index, want[k].first) << k;
        EXPECT_EQ(turns[k].player, want[k].second) << k;
        // The banner counts the holes from 1, as the score card does.
        EXPECT_EQ(turns[k].banner, "Hole n\xb0" + std::to_string(want[k].first + 1)) << k;
    }
    EXPECT_TRUE(has(trace, "hole done 0 player 1 strokes 0"));
    EXPECT_TRUE(has(trace, "hole done 0 player 2 strokes 0"));
    EXPECT_TRUE(has(trace, "hole done 1 player 2 strokes 0"));
    for (int32_t i = 0; i < 2; i++) {
        EXPECT_EQ(g_hole_strokes_p1[i], 0);
        EXPECT_EQ(g_hole_strokes_p2[i], 0);
    }
    // Each record gets its own two holes: 3 under PAR, then 4 under (clamped to 4) -> -7.
    for (const char *name : {"Ann", "Bob"}) {
        SCOPED_TRACE(name);
        const std::string bytes = test_read_file(players + name + ".dat");
        ASSERT_EQ(bytes.size(), 1052u);
        EXPECT_EQ(at<int16_t>(bytes, 1024), -7);
        EXPECT_EQ(at<int32_t>(bytes, 1032), 2);
        EXPECT_EQ(at<int32_t>(bytes, 1036), 1);
    }
}

TEST_F(PlayScreen, LeavingDuringPlayerOneLetsPlayerTwoFinishTheHoleAndScoresNothing)
{
    make_hole("Leave", "hole01", 3);
    make_hole("Leave", "hole02", 3);
    set_player(1, "Bob", PLAYER_MARKER_REAL);
    int32_t last = -1, frame = 0;
    // OUI of the confirmation box, centred a third across its 800 x 0.5 pixels.
    const int32_t yes_x = 480 - 200 + 400 / 3, yes_y = 270 + 50;
    g_script = [&](PlayState *s) {
        record_turn(s, &last);
        frame++;
        if (s->player == 0) {
            if (frame == 130) key(VK_ESCAPE);  // after the banner
            if (frame == 135) {
                EXPECT_EQ(leave_requested, 1);
                press(WM_LBUTTONDOWN, yes_x, yes_y);
            }
        } else if (s->end_timer == 0 && s->hole_done == 0) {
            s->end_timer = 1;
        }
        if (s->hole_done && s->player == 1) key(VK_ESCAPE);  // would leave a final card shown
    };
    const std::string trace = play("Leave");
    ASSERT_EQ(turns.size(), 2u);
    EXPECT_EQ(turns[1].hole_index, 0);
    EXPECT_EQ(turns[1].player, 1);
    EXPECT_EQ(g_hole_strokes_p1[0], -1);
    EXPECT_EQ(g_hole_strokes_p2[0], 0);
    EXPECT_FALSE(has(trace, "final card"));
    EXPECT_FALSE(player_file("Ann"));
    EXPECT_FALSE(player_file("Bob"));
    EXPECT_EQ(g_screen_state, kScreenMainMenu);
}

TEST_F(PlayScreen, HoledByPressHoldAndReleaseAtThePowerTheSimulationHolesWith)
{
    // A dot in the set's folder: the description beside each hole is still found.
    make_hole("Set.2", "hole01", 2);
    make_hole("Set.2", "hole02", 3);

    const float power = holing_power(set_folder("Set.2") + "/hole01.qel");
    ASSERT_GT(power, 0.0f) << "no power holes out in the simulation";

    bool pressed = false, released = false;
    std::vector<float> struck;
    g_script = [&](PlayState *s) {
        if (s->hole_done) {
            pressed = released = false;
            if (s->hole_index == 2) press(WM_LBUTTONDOWN);  // the final card
            return;
        }
        if (!pressed && s->ball.body->asleep && s->strokes == 0 && s->banner_timer < 100) {
            g_camera_yaw = 180.0f;  // the player's aim
            g_camera_pitch = -30.0f;
            press(WM_LBUTTONDOWN);
            pressed = true;
        } else if (pressed && !released && s->power == power) {
            window_headless_push(WM_LBUTTONUP, 0, 0);
            released = true;
        }
        if (s->events & kPlayEventStroke) struck.push_back(power);
    };
    const std::string trace = play("Set.2");
    EXPECT_EQ(struck.size(), 2u);
    EXPECT_EQ(g_hole_strokes_p1[0], 1);
    EXPECT_EQ(g_hole_strokes_p1[1], 1);
    EXPECT_EQ(g_hole_par_table[0], 2);
    EXPECT_EQ(g_hole_par_table[1], 3);
    EXPECT_TRUE(has(trace, "hole open Set.2/hole01 lit"));
    EXPECT_TRUE(has(trace, "hole frame 1"));
    EXPECT_TRUE(has(trace, "holeout 1"));
    EXPECT_TRUE(has(trace, "hole done 1 player 1 strokes 1"));
    char stroke[64];
    snprintf(stroke, sizeof stroke, "stroke 1 power %.2f yaw 180", double(power));
    EXPECT_TRUE(has(trace, stroke)) << trace;
    EXPECT_TRUE(fs::exists(folders.user + "/ZAV Games/QEL/Set.2/hole01A.qel"));
    // One PAR under, then two: -1 and -2.
    const std::string bytes = test_read_file(players + "Ann.dat");
    ASSERT_EQ(bytes.size(), 1052u);
    EXPECT_EQ(at<int16_t>(bytes, 1024), -3);
    EXPECT_EQ(at<int32_t>(bytes, 1032), 2);
    EXPECT_EQ(at<int32_t>(bytes, 1036), 1);
    EXPECT_EQ(at<int32_t>(bytes, 1048), -1);
    EXPECT_FALSE(player_file("Nobody"));
}

// Clicks made before a turn shows are no strokes: player 1's two clicks queued while the first hole
// loads, and player 2's press made as player 1's turn ends and held until player 2's ball rests.
// Each turn still has no stroke and its ball on the tee when its player presses on a shown frame;
// that press then charges and strikes as ever.
TEST_F(PlayScreen, AClickBeforeATurnShowsIsNoStroke)
{
    make_hole("Early", "hole01", 3);
    set_player(1, "Bob", PLAYER_MARKER_REAL);
    for (int click = 0; click < 2; click++) {
        press(WM_LBUTTONDOWN);
        window_headless_push(WM_LBUTTONUP, 0, 0);
    }
    struct TurnSeen {
        int32_t frames = 0, asleep_at = 0, pressed_at = 0;
        int32_t strokes_before_press = -1;
        float tee[3] = {}, moved = -1.0f;
    } seen[2];
    g_script = [&](PlayState *s) {
        if (s->hole_done) {
            press(WM_LBUTTONDOWN);  // held into player 2's turn, or the final card's click
            return;
        }
        TurnSeen &t = seen[s->player];
        const float *ball = s->ball.body->position;
        if (++t.frames == 1) memcpy(t.tee, ball, sizeof t.tee);
        if (!t.asleep_at && s->ball.body->asleep) t.asleep_at = t.frames;
        if (s->player == 1 && t.asleep_at && t.frames == t.asleep_at + 3) window_headless_push(WM_LBUTTONUP, 0, 0);
        if (!t.pressed_at && s->ball.body->asleep && s->banner_timer < 60) {
            t.strokes_before_press = s->strokes;
            t.moved = hypotf(ball[0] - t.tee[0], ball[2] - t.tee[2]);
            g_camera_yaw = 180.0f;
            g_camera_pitch = -30.0f;
            press(WM_LBUTTONDOWN);
            t.pressed_at = t.frames;
        } else if (t.pressed_at && t.frames == t.pressed_at + 5) {
            window_headless_push(WM_LBUTTONUP, 0, 0);
        }
        if (t.pressed_at && (s->events & kPlayEventStroke)) s->end_timer = 1;  // the turn ends with it
    };
    const std::string trace = play("Early");
    for (int k = 0; k < 2; k++) {
        SCOPED_TRACE(k);
        EXPECT_GT(seen[k].asleep_at, 0);
        EXPECT_EQ(seen[k].strokes_before_press, 0);
        EXPECT_GE(seen[k].moved, 0.0f);
        EXPECT_LT(seen[k].moved, 1e-3f);
    }
    EXPECT_TRUE(has(trace, "hole done 0 player 1 strokes 1"));
    EXPECT_TRUE(has(trace, "hole done 0 player 2 strokes 1"));
    size_t dropped = 0;  // the trace line the whole-game run looks for, once a turn here
    for (size_t at = trace.find("trace turn press dropped\n"); at != std::string::npos;
         at = trace.find("trace turn press dropped\n", at + 1))
        dropped++;
    EXPECT_EQ(dropped, 2u);
}

TEST_F(PlayScreen, ListedStrokesAreTakenAtRestInPlayOrderAcrossHoles)
{
    make_hole("Listed", "hole01", 2);
    make_hole("Listed", "hole02", 3);
    const float power = holing_power(set_folder("Listed") + "/hole01.qel");
    ASSERT_GT(power, 0.0f) << "no power holes out in the simulation";

    // Two strokes for two holes: the second waits for the second hole, not for the first one's
    // ball to stop; a third is left over.
    char text[128];
    snprintf(text, sizeof text, "180,-30,%.9g; 180,-30,%.9g; 90,-40,1", double(power), double(power));
    setenv("ZAVGOLF_STROKES", text, 1);
    play_listed_strokes_reset();
    bool waited_last_frame = false;
    int32_t strokes_at_rest = 0, strokes = 0;
    g_script = [&](PlayState *s) {
        if (s->events & kPlayEventStroke) {
            strokes++;
            if (waited_last_frame) strokes_at_rest++;
        }
        waited_last_frame = play_waits_for_shot(s);
        if (s->hole_done && s->hole_index == 2) press(WM_LBUTTONDOWN);  // the final card
    };
    const std::string trace = play("Listed");
    unsetenv("ZAVGOLF_STROKES");
    play_listed_strokes_reset();

    EXPECT_TRUE(has(trace, "strokes listed 3"));
    EXPECT_EQ(strokes, 2);
    EXPECT_EQ(strokes_at_rest, 2);
    EXPECT_EQ(g_hole_strokes_p1[0], 1);
    EXPECT_EQ(g_hole_strokes_p1[1], 1);
    char stroke[80];
    snprintf(stroke, sizeof stroke, "stroke 1 power %.2f yaw 180 pitch -30 listed", double(power));
    EXPECT_TRUE(has(trace, stroke)) << trace;
    EXPECT_TRUE(has(trace, "hole done 1 player 1 strokes 1"));
    EXPECT_TRUE(has(trace, "score Ann holes 2 over par -3"));
    EXPECT_EQ(at<int16_t>(test_read_file(players + "Ann.dat"), 1024), -3);
}

TEST_F(PlayScreen, ACourseOfTheSavesFolderIsReadFromThereAndLitUnderThePersonalRoot)
{
    make_hole("Mine", "hole01", 2);
    const std::string saves = g_saves_folder;  // the game's name of the folder below
    fs::rename(set_folder("Mine"), folders.user + "/ZAV Games/Saves/Mine");  // where the editor keeps them
    const float power = holing_power(saves + "Mine/hole01.qel");
    ASSERT_GT(power, 0.0f) << "no power holes out in the simulation";

    char text[64];
    snprintf(text, sizeof text, "180,-30,%.9g", double(power));
    setenv("ZAVGOLF_STROKES", text, 1);
    play_listed_strokes_reset();
    g_script = [&](PlayState *s) {
        if (s->hole_done && s->hole_index == 1) press(WM_LBUTTONDOWN);  // the final card
    };
    // As the course-set screen hands over a set of the saves folder.
    snprintf(g_course_set_folder, sizeof g_course_set_folder, "%sMine/", saves.c_str());
    g_course_set_is_personal = 1;
    testing::internal::CaptureStdout();
    course_play_screen();
    const std::string trace = testing::internal::GetCapturedStdout();
    unsetenv("ZAVGOLF_STROKES");
    play_listed_strokes_reset();

    EXPECT_TRUE(has(trace, "hole open Mine/hole01 lit")) << trace;
    EXPECT_TRUE(has(trace, "hole done 0 player 1 strokes 1")) << trace;
    EXPECT_EQ(g_hole_par_table[0], 2);  // its description read beside it
    EXPECT_TRUE(fs::exists(folders.user + "/ZAV Games/QELPERSO/Mine/hole01A.qel"));
    EXPECT_FALSE(fs::exists(folders.user + "/ZAV Games/QEL/Mine"));
    EXPECT_EQ(at<int16_t>(test_read_file(players + "Ann.dat"), 1024), -1);
}

TEST_F(PlayScreen, TheFinalCardEscapeWritesNothingAndAQuitScoresFirst)
{
    make_hole("One", "hole01", 3);
    const struct {
        int vk;
        bool written, quit;
    } cases[] = {{VK_ESCAPE, false, false}, {VK_F12, true, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.vk);
        fs::remove(players + "Ann.dat");
        g_quit = 0;
        g_script = [&](PlayState *s) {
            if (s->end_timer == 0 && !s->hole_done) s->end_timer = 1;
            if (s->hole_done) key(c.vk);
        };
        const std::string trace = play("One");
        EXPECT_TRUE(has(trace, "final card"));
        EXPECT_EQ(player_file("Ann"), c.written);
        EXPECT_EQ(g_quit, c.quit ? 1 : 0);
        EXPECT_EQ(g_screen_state, kScreenMainMenu);
    }
}

TEST_F(PlayScreen, TheMusicModuleCyclesByHoleIndex)
{
    for (const char *hole : {"hole01", "hole02", "hole03", "hole04"}) make_hole("Tunes", hole, 3);
    const int32_t menu = g_music_menu, game[3] = {g_music_game[0], g_music_game[1], g_music_game[2]};
    g_music_menu = 6;
    g_music_game[0] = 7, g_music_game[1] = 8, g_music_game[2] = 9;
    int32_t last = -1;
    g_script = [&](PlayState *s) {
        record_turn(s, &last);
        if (s->end_timer == 0 && !s->hole_done) s->end_timer = 1;
        if (s->hole_done && s->hole_index == 4) key(VK_ESCAPE);
    };
    play("Tunes");
    const int32_t want[4] = {7, 8, 9, 7};
    ASSERT_EQ(turns.size(), 4u);
    for (int k = 0; k < 4; k++) EXPECT_EQ(turns[k].music, want[k]) << k;
    EXPECT_EQ(g_music_next_module.load(), 6);  // the menu's again
    g_music_next_module = -1;
    g_music_menu = menu;
    memcpy(g_music_game, game, sizeof game);
}

TEST_F(PlayScreen, AtMost128HolesArePlayedStoredAndScored)
{
    // 128 holes that cannot be read, then two that could be played: only the first 128 count.
    fs::create_directories(set_folder("Long"));
    for (int32_t k = 0; k < kPlayMaxHoles; k++) {
        char name[32];
        snprintf(name, sizeof name, "/hole%03d.qel", int(k));
        test_write_file(set_folder("Long") + name, "not a scene");
    }
    make_hole("Long", "hole128", 3);
    make_hole("Long", "hole129", 3);
    int32_t frames = 0;
    g_script = [&](PlayState *) { frames++; };
    press(WM_LBUTTONDOWN);
    const std::string trace = play("Long");
    EXPECT_EQ(frames, 0);
    for (int32_t i = 0; i < kPlayMaxHoles; i++) {
        ASSERT_EQ(g_hole_par_table[i], 5) << i;
        ASSERT_EQ(g_hole_strokes_p1[i], -1) << i;
    }
    EXPECT_FALSE(has(trace, "hole open Long/hole128 lit"));
    EXPECT_TRUE(has(trace, "final card"));
    EXPECT_FALSE(player_file("Ann"));
}
