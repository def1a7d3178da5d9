// Internals of the window stand-in: the window record and the back-end interface.
#pragma once

#include "platform/window.h"

#include <string>

struct WindowRecord {
    WNDPROC proc;
    std::string title;
    void *native;  // the back end's window
};

// What a back end provides. Input it reads goes to window_input().
struct WindowBackend {
    bool (*open)(WindowRecord *window, int x, int y, int width, int height);
    void (*close)(WindowRecord *window);
    void (*show)(WindowRecord *window, bool visible);
    void (*poll)(void);
    void (*wait)(int ms);  // waits for input, at most `ms` milliseconds
    void (*desktop_size)(int *width, int *height);
    void (*warp)(WindowRecord *window, int x, int y);
    void (*show_pointer)(bool visible);
};

const WindowBackend *window_backend_sdl(void);
const WindowBackend *window_backend_headless(void);

// Input from the back end, queued under the release rule; motion is coalesced.
void window_input(UINT message, WPARAM wparam, LPARAM lparam);
// Where the pointer is, in window (= screen) pixels.
void window_set_cursor(int x, int y);
