// The process entry: reads the game's name, opens the one desktop-sized window and runs the game.
#include "app/app_main.h"
#include "game/app.h"

#include "script/text_reader.h"

#include <cstdio>
#include <cstring>

namespace {

const char *const DEFAULT_GAME_NAME = "ZAV Mini Golf";

void read_game_name()
{
    TextReader reader{};
    text_reader_open(&reader, "data/txt/nameofgame.ini");
    g_game_name[0] = '\0';
    if (!text_reader_at_end(&reader)) text_reader_gets(&reader, g_game_name, sizeof g_game_name);
    text_reader_close(&reader);
    if (!g_game_name[0]) snprintf(g_game_name, sizeof g_game_name, "%s", DEFAULT_GAME_NAME);
}

}  // namespace

int WinMain(HINSTANCE instance, HINSTANCE, char *, int show)
{
    g_instance = instance;
    read_game_name();

    WNDCLASSA window_class{};
    window_class.lpfnWndProc = app_window_proc;
    window_class.hInstance = instance;
    window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    window_class.lpszClassName = g_game_name;
    RegisterClassA(&window_class);

    RECT desktop{};
    GetClientRect(GetDesktopWindow(), &desktop);
    g_screen_width = int32_t(desktop.right - desktop.left);
    g_screen_height = int32_t(desktop.bottom - desktop.top);
    g_display_scale = 1.0f;

    g_hwnd = CreateWindowExA(0, g_game_name, g_game_name, WS_POPUP, 0, 0, g_screen_width, g_screen_height, nullptr,
                             nullptr, instance, nullptr);
    if (!g_hwnd) {
        // Nothing could be shown: say so rather than run a game nobody sees.
        fprintf(stderr, "%s: cannot open the game's window\n", g_game_name);
        return 1;
    }
    ShowWindow(g_hwnd, show);
    UpdateWindow(g_hwnd);

    memset(g_key_down, 0, sizeof g_key_down);
    app_game_main();
    PostMessageA(g_hwnd, WM_CLOSE, 0, 0);
    return 0;
}
