// The application shell: the one window and the input state every screen reads.
#pragma once

#include "platform/window.h"

#include <cstdint>

// Input state, written by app_window_proc (a screen that acts on a click clears the click itself).
extern int32_t g_mouse_left_down;
extern int32_t g_mouse_right_down;
extern int32_t g_mouse_x, g_mouse_y;
extern int32_t g_wheel_delta;  // -1 wheel forward or Up, +1 wheel back or Down, for one message
extern int32_t g_key_down[256];
extern int32_t g_key_char;  // Latin-1 letters as signed bytes: "é" is -23
extern uint8_t g_key_printable;
extern uint8_t g_caps_lock_on;
extern uint8_t g_shift_down;
extern uint8_t g_upper_case;

// Window globals, set by the process entry.
extern char g_game_name[512];
extern HINSTANCE g_instance;
extern HWND g_hwnd;
extern int32_t g_screen_width, g_screen_height;
extern float g_display_scale;

// Frame clock, shared with the game main.
extern int64_t g_frame_counter_frequency;
extern int64_t g_frame_last_count;

LRESULT app_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Handles at most one waiting message; false when it was WM_QUIT.
bool app_pump_one_message(void);
// Forgets the left button: its presses and releases still queued, and its state. A press made
// before a screen shows (while it loads) then acts on nothing there. True when a press was
// forgotten (queued, or the button down).
bool app_drop_left_button(void);
// Time since the previous call in units of 17 ms.
double app_frame_factor(void);
// Starts the frame clock anew: the next frame factor counts from now.
void app_frame_clock_start(void);
