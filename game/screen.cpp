// The shared screen state and the trace printer (see screen.h).
#include "game/screen.h"

#include "game/font.h"
#include "render/render_draw.h"
#include "script/config_main.h"

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

void app_background_draw_still(float level)
{
    if (!g_background_page.pixels) return;
    const float kept_level = g_background_page.level;
    const uint8_t kept_mode = g_background_page.mode;
    g_background_page.level = level;
    g_background_page.mode = kPageStill;
    ui_page_draw(&g_page_tiles, &g_background_page);
    g_background_page.level = kept_level;
    g_background_page.mode = kept_mode;
}

bool app_trace_on(void) { return getenv("ZAVGOLF_TRACE") != nullptr; }

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

void app_loading_frame(void)
{
    RenderContext *context = &g_render_context;
    if (!render_begin_frame(context)) return;
    render_clear_frame(context);
    const char *text = menu_text(MENU_PATIENCE);
    float scale = float(context->width) / 1280.0f;
    float width = float(font_text_width(&g_font_primary, text)) * scale;
    render_set_mode(1, context, 1);
    font_draw_text(&g_font_primary, int32_t(float(context->width) / 2.0f - width / 2.0f), context->height / 2, text,
                   scale, 1.0f, 1.0f, 1.0f);
    render_end_frame(context);
    render_present_frame(context);
}
