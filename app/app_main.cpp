// The game main. For now a placeholder frame: the renderer's device clears the window to one
// colour and the 2D batch draws a centred rectangle of another, every frame until the player quits
// (F12 or closing the window).
#include "app/app_main.h"
#include "game/app.h"
#include "render/render_draw.h"

#include <cstdio>

namespace {

const D3DCOLOR PLACEHOLDER_COLOUR = D3DCOLOR_ARGB(0xFF, 0x20, 0x40, 0x60);
const float RECTANGLE_COLOUR[3] = {0xE0 / 255.0f, 0xC0 / 255.0f, 0x40 / 255.0f};

void draw_placeholder_frame(RenderContext *context)
{
    if (!render_begin_frame(context)) return;
    context->device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, PLACEHOLDER_COLOUR, 1.0f, 0);
    float w = float(context->width), h = float(context->height);
    render_batch_add_2d_rect(context, w * 3 / 8, h * 3 / 8, w / 4, h / 4, RECTANGLE_COLOUR[0], RECTANGLE_COLOUR[1],
                             RECTANGLE_COLOUR[2]);
    render_end_frame(context);
    context->device->Present(nullptr, nullptr, nullptr, nullptr);
}

}  // namespace

void app_game_main(void)
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    g_frame_counter_frequency = frequency.QuadPart;
    g_frame_last_count = now.QuadPart;

    RenderContext *context = &g_render_context;
    render_context_construct(context);
    context->window = g_hwnd;
    context->instance = g_instance;
    context->width = g_screen_width;
    context->height = g_screen_height;
    bool drawing = render_create_device(context) != 0;
    if (!drawing) {
        fprintf(stderr, "%s: no graphics device; the window stays empty\n", g_game_name);
        render_log_line("app_game_main: no graphics device; the window stays empty");
    }

    MSG msg;
    for (bool running = true; running;) {
        if (drawing) {
            draw_placeholder_frame(context);
        } else if (!PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            Sleep(10);
            continue;
        }
        while (running && PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) running = app_pump_one_message();
    }
    render_shutdown_device(context);
    render_context_destroy(context);
}
