// The shared screen state and the trace printer (see screen.h).
#include "game/screen.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

int32_t g_screen_state;
int32_t g_fade_busy;
int32_t g_fade_previous_state;
float g_fade_fraction;
int32_t g_quit_request;
int32_t g_quit;
float g_frame_factor = 1.0f;
int32_t g_mouse_prev_x, g_mouse_prev_y;
PageSlot g_background_page;

bool app_trace_on(void)
{
    static const bool on = getenv("ZAVGOLF_TRACE") != nullptr;
    return on;
}

void app_trace(const char *format, ...)
{
    if (!app_trace_on()) return;
    char line[1024];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    printf("trace %s\n", line);
    fflush(stdout);
}
