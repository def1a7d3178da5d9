// The main loop: one message, the music fade, the background, the Escape rules and the dispatch to
// the screen handlers with their cross-fade, the pointer, screenshots, and course play, which runs
// its own loop outside the frame.
#include "app/app_loop.h"

#include "course/course.h"
#include "course/editor_frame.h"
#include "game/app.h"
#include "game/files.h"
#include "game/menus.h"
#include "game/screen.h"
#include "game/ui.h"
#include "game/widgets.h"
#include "geometry/vecmath.h"
#include "render/render_draw.h"
#include "sound/music.h"

#include <cstdio>

ScreenRow g_screen_rows[kScreenRows] = {
    {kScreenMainMenu, menu_main_screen, nullptr},
    {kScreenPlayMenu, menu_play_screen, nullptr},
    {kScreenCourseSets, menu_course_set_screen, menu_course_set_leave},
    {kScreenOptions, menu_options_screen, nullptr},
    {kScreenCredits, menu_credits_screen, nullptr},
    {kScreenHighScores, menu_high_scores_screen, menu_high_scores_leave},
    {kScreenEditor, hole_editor_frame, hole_editor_leave},
};

namespace {

const int KEY_ESCAPE = 27;
const int KEY_F9 = 120;
const float FADE_STEP = 0.05f;  // of the frame factor: a fade lasts 20 units of 17 ms

int32_t g_last_seen_state = kScreenPlayMenu;
bool g_first_frame_shown;

const ScreenRow *row_of(int32_t state)
{
    for (const ScreenRow &row : g_screen_rows)
        if (row.state == state && row.handler) return &row;
    return nullptr;
}

void run_handler(int32_t state, float alpha)
{
    g_ui_alpha = g_text_alpha = alpha;
    if (const ScreenRow *row = row_of(state)) row->handler();
}

// The editor and course play take the whole screen: changes into or out of them cut.
bool cuts(int32_t from, int32_t to)
{
    return from == kScreenEditor || to == kScreenEditor || from == kScreenCoursePlay || to == kScreenCoursePlay;
}

void release_thumbnails()
{
    TextureTable *table = &g_render_context.main_textures;
    const char *kept = table->group_tag;
    table->group_tag = "thumbnails";
    texture_release_all(table);
    table->group_tag = kept;
}

// A screen the state left that is no longer drawn runs its leave function.
void leave_unless_shown(int32_t state)
{
    if (state == g_screen_state || (g_fade_busy && state == g_fade_previous_state)) return;
    for (const ScreenRow &row : g_screen_rows)
        if (row.state == state && row.leave) row.leave();
}

// A change of screen seen after a handler or Escape: a cut, or the start of a cross-fade.
void begin_change(int32_t from)
{
    int32_t to = g_screen_state;
    if (cuts(from, to)) {
        app_trace("state %d -> %d cut", from, to);
        g_fade_busy = 0;
        g_fade_fraction = 0.0f;
        g_fade_previous_state = to;
        leave_unless_shown(from);
        return;
    }
    app_trace("state %d -> %d fade", from, to);
    g_fade_previous_state = from;
    g_fade_busy = 1;
    g_fade_fraction = 0.0f;
}

void dispatch()
{
    if (!g_fade_busy) {
        int32_t before = g_screen_state;
        g_fade_previous_state = before;
        if (!row_of(before)) return;
        run_handler(before, 1.0f);
        if (g_screen_state != before) begin_change(before);
        return;
    }
    int32_t fading_out = g_fade_previous_state, fading_in = g_screen_state;
    run_handler(fading_out, 1.0f - g_fade_fraction);
    run_handler(g_screen_state, g_fade_fraction);
    g_fade_fraction += g_frame_factor * FADE_STEP;
    if (g_fade_fraction > 1.0f) {
        g_fade_busy = 0;
        g_fade_fraction = 0.0f;
        g_fade_previous_state = g_screen_state;
        app_trace("fade end %d", g_screen_state);
    }
    // A handler that moved on during the fade, or the fade's end, may leave a screen unshown.
    leave_unless_shown(fading_out);
    if (fading_in != fading_out) leave_unless_shown(fading_in);
}

// Escape leaves any screen but the main menu and the editor for the main menu, as a handler would.
void escape_to_main_menu()
{
    if (g_screen_state == kScreenMainMenu || g_screen_state == kScreenEditor || !g_key_down[KEY_ESCAPE]) return;
    g_key_down[KEY_ESCAPE] = 0;
    int32_t from = g_screen_state;
    g_screen_state = kScreenMainMenu;
    // During a fade the screen that was fading in is drawn no more: it is left at once, so that
    // its next visit sets itself up again. The fade goes on towards the main menu.
    if (!g_fade_busy)
        begin_change(from);
    else
        leave_unless_shown(from);
}

void draw_background(RenderContext *context)
{
    if (g_screen_state == kScreenEditor) return;
    render_set_mode(1, context, 0);
    bool dimmed = g_screen_state == kScreenCredits || g_screen_state == kScreenHighScores;
    g_background_page.level = dimmed ? 0.75f : 1.5f;
    ui_page_draw(&g_page_tiles, &g_background_page);
}

void draw_frame(RenderContext *context)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    int64_t frequency = g_frame_counter_frequency > 0 ? g_frame_counter_frequency : 1;
    g_frame_factor = float(double(now.QuadPart - g_frame_last_count) * 1000.0 / double(frequency) * 0.05882353);
    g_frame_last_count = now.QuadPart;
    render_clear_frame(context);
    draw_background(context);
    if (g_quit_request == 1) g_quit = 1;
    g_up_vector[0] = 0.0f, g_up_vector[1] = -1.0f, g_up_vector[2] = 0.0f;
    escape_to_main_menu();
    dispatch();
    if (g_key_down[KEY_ESCAPE] == 1) g_quit = 1;
    ui_pointer_draw();
    if (g_key_down[KEY_F9]) {
        g_key_down[KEY_F9] = 0;
        char base[FOLDER_PATH_MAX + 16];
        snprintf(base, sizeof base, "%sscreenshot", g_folder_captures);
        render_save_screenshot_tga(context, base);
    }
    render_end_frame(context);
    render_present_frame(context);
    if (!g_first_frame_shown) {
        g_first_frame_shown = true;
        app_trace("loop");
    }
}

void enter_course_play()
{
    if (g_last_seen_state == kScreenCourseSets) release_thumbnails();
    g_last_seen_state = kScreenCoursePlay;
    course_play_screen();
    // Play ran its own frames: the clock restarts, and the screen it chose is entered at once.
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    g_frame_last_count = now.QuadPart;
    app_trace("state %d -> %d cut", kScreenCoursePlay, g_screen_state);
    g_fade_busy = 0;
    g_fade_fraction = 0.0f;
    g_fade_previous_state = g_screen_state;
}

}  // namespace

void app_loop_reset(void)
{
    g_last_seen_state = kScreenPlayMenu;
    g_first_frame_shown = false;
}

void app_loop_pass(void)
{
    g_mouse_prev_x = g_mouse_x;
    g_mouse_prev_y = g_mouse_y;
    if (!app_pump_one_message()) {  // one message at most; it clears the wheel first
        g_quit = 1;
    } else {
        if (g_sound_card_on == 1) music_set_fade_mode(g_music_on == 1 ? 4 : 3);
        if (g_screen_state != g_last_seen_state) {
            if (g_last_seen_state == kScreenCourseSets) release_thumbnails();
            g_last_seen_state = g_screen_state;
        }
        RenderContext *context = &g_render_context;
        if (render_begin_frame(context)) draw_frame(context);
    }
    // Once quitting, play is never entered.
    if (g_screen_state == kScreenCoursePlay && !g_quit) enter_course_play();
}
