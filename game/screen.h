// The screen state that every floor shares: the current screen and its cross-fade, quitting, the
// frame factor, the cursor of the last frame, the menus' background page, and the trace lines the
// end-to-end tests wait for. The main loop (app/) drives them; the screens read and change them.
#pragma once

#include "game/pages.h"

#include <cstdint>

enum : int32_t {
    kScreenMainMenu = 0,
    kScreenPlayMenu = 1,
    kScreenCourseSets = 2,
    kScreenOptions = 3,
    kScreenCredits = 4,
    kScreenEditor = 111,
    kScreenHighScores = 555,
    kScreenCoursePlay = 888,
};

extern int32_t g_screen_state;          // a handler moves on by writing another screen
extern int32_t g_fade_busy;             // 1 while two screens cross-fade
extern int32_t g_fade_previous_state;   // the screen fading out, or the last frame's screen
extern float g_fade_fraction;           // 0 to just above 1 during a fade
extern int32_t g_quit_request;          // the main menu's quit button
extern int32_t g_quit;                  // the loop ends after the frame that sets it
extern float g_frame_factor;            // the last frame's time in 17 ms units
extern int32_t g_mouse_prev_x, g_mouse_prev_y;  // the cursor at the start of the frame

// The menus' background picture ("data/gfx/background.png"), drawn still behind every menu.
extern PageSlot g_background_page;

// The background page drawn still at `level` for one draw, whatever level and mode its owner keeps
// it at; nothing before the page is loaded, so that its tiles are uploaded once its pixels exist.
void app_background_draw_still(float level);

// True when ZAVGOLF_TRACE is set.
bool app_trace_on(void);
// With the trace on: "trace " and the formatted text as one flushed line on stdout.
void app_trace(const char *format, ...) __attribute__((format(printf, 1, 2)));

// One frame with the PATIENCE text, white, centred, at scale render width / 1280.
void app_loading_frame(void);
