// The main loop's pieces, apart so that tests can drive them: the table of screens, start-up, one
// pass of the loop, and shut-down. app_game_main runs them in that order.
#pragma once

#include <cstdint>

// One screen state: its handler, called once per frame (twice during a cross-fade), and the
// function run once the screen is no longer shown (null for none).
struct ScreenRow {
    int32_t state;
    void (*handler)(void);
    void (*leave)(void);
};

constexpr int kScreenRows = 7;
// Tests may put recording handlers in it.
extern ScreenRow g_screen_rows[kScreenRows];

// The 22 steps up to the loop. False when the game must end without the loop: the device could
// not be made (the troubleshooting page is written and opened) or a quit came during the intro or
// the pages. `device_made` tells the caller whether shut-down has a renderer to release.
bool app_startup(bool *device_made);
// One frame of the main loop; the loop ends once g_quit is set.
void app_loop_pass(void);
// The loop's own memory back to a fresh start (the first frame's trace, the last seen screen).
void app_loop_reset(void);
// Runs the leave functions of the screens still shown and releases everything start-up made.
void app_shutdown(bool device_made);

// Writes the troubleshooting page to g_troubleshooting_path: with a problem (not null), that problem
// and what to do about the game's files; else the graphics card's page naming the adapter. 1, or 0
// when it cannot be written.
int app_write_troubleshooting_page(const char *adapter, const char *problem);
