// Headless window back end: no screen; tests queue the input and set the desktop's size.
#include "platform/window_local.h"

namespace {

int g_desktop_width = 1920;
int g_desktop_height = 1080;

bool headless_open(WindowRecord *window, int, int, int, int)
{
    window->native = nullptr;
    return true;
}

void headless_close(WindowRecord *) {}
void headless_show(WindowRecord *, bool) {}
void headless_poll(void) {}
void headless_wait(int) {}

void headless_desktop_size(int *width, int *height)
{
    *width = g_desktop_width;
    *height = g_desktop_height;
}

void headless_warp(WindowRecord *, int, int) {}
void headless_show_pointer(bool) {}

const WindowBackend g_headless = {headless_open, headless_close,        headless_show,  headless_poll,
                                  headless_wait, headless_desktop_size, headless_warp,  headless_show_pointer};

}  // namespace

const WindowBackend *window_backend_headless(void) { return &g_headless; }

void window_headless_set_desktop(int width, int height)
{
    g_desktop_width = width;
    g_desktop_height = height;
}
