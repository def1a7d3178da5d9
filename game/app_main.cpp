// The game main. For now the window lives until the player quits (F12 or closing the window).
#include "game/app.h"

void app_game_main(void)
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    g_frame_counter_frequency = frequency.QuadPart;
    g_frame_last_count = now.QuadPart;

    MSG msg;
    for (;;) {
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            Sleep(10);
            continue;
        }
        if (!app_pump_one_message()) return;
    }
}
