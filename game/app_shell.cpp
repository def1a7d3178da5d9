// The process entry, the window procedure that keeps the input state, and the shell's two small
// services: pumping one message and the frame factor.
#include "game/app.h"
#include "game/files.h"

#include "sound/music.h"

#include <cstdio>
#include <cstring>

int32_t g_mouse_left_down;
int32_t g_mouse_right_down;
int32_t g_mouse_x, g_mouse_y;
int32_t g_wheel_delta;
int32_t g_key_down[256];
int32_t g_key_char;
uint8_t g_key_printable;
uint8_t g_caps_lock_on;
uint8_t g_shift_down;
uint8_t g_upper_case;

char g_game_name[512];
HINSTANCE g_instance;
HWND g_hwnd;
int32_t g_screen_width, g_screen_height;
float g_display_scale;

int64_t g_frame_counter_frequency;
int64_t g_frame_last_count;

namespace {

struct ShiftedChar {
    int vk;
    int plain;
    int shifted;  // -1: the key's own code, not printable
};

// The digit row and punctuation as a French keyboard gives them.
const ShiftedChar g_shifted_chars[] = {
    {48, '0', -32}, {49, '1', -1},  {50, '2', -23},  {51, '3', '"'}, {52, '4', '\''}, {53, '5', '('},
    {54, '6', '-'}, {55, '7', -24}, {56, '8', -1},   {57, '9', -25}, {219, 219, ')'}, {191, ':', '/'},
    {187, '=', '+'}, {110, '.', ';'}, {190, '.', ';'}, {188, ',', '?'}, {223, '!', '!'},
};

void update_shift()
{
    g_shift_down = g_key_down[VK_SHIFT] || g_key_down[VK_LSHIFT] || g_key_down[VK_RSHIFT];
}

void map_character(int vk)
{
    g_key_char = vk;
    g_key_printable = (vk >= 106 && vk <= 134) ? 0 : 1;
    for (const ShiftedChar &entry : g_shifted_chars) {
        if (entry.vk != vk) continue;
        g_key_printable = 1;
        if (!g_upper_case) {
            g_key_char = entry.plain;
        } else if (entry.shifted == -1) {
            g_key_printable = 0;
        } else {
            g_key_char = entry.shifted;
        }
        return;
    }
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD0 + 9) {
        g_key_char = '0' + (vk - VK_NUMPAD0);
    } else if (vk == VK_TAB || (vk >= VK_PRIOR && vk <= VK_HOME) || vk == VK_LSHIFT || vk == VK_RSHIFT) {
        g_key_printable = 0;
    } else if (vk == VK_CAPITAL) {
        g_caps_lock_on = !g_caps_lock_on;
    }
}

void key_down(HWND window, int vk)
{
    if (vk == VK_UP) g_wheel_delta = -1;
    if (vk == VK_DOWN) g_wheel_delta = 1;
    g_key_down[vk] = 1;
    if (vk == VK_F12) PostMessageA(window, WM_QUIT, 0, 0);
    update_shift();
    g_upper_case = g_caps_lock_on || g_shift_down;
    map_character(vk);
}

}  // namespace

LRESULT app_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    g_upper_case = g_caps_lock_on || g_shift_down;
    g_wheel_delta = 0;
    switch (message) {
    case WM_LBUTTONDOWN: g_mouse_left_down = 1; break;
    case WM_LBUTTONUP: g_mouse_left_down = 0; break;
    case WM_RBUTTONDOWN: g_mouse_right_down = 1; break;
    case WM_RBUTTONUP: g_mouse_right_down = 0; break;
    case WM_MOUSEWHEEL: {
        short turn = GET_WHEEL_DELTA_WPARAM(wparam);
        if (turn > 0) g_wheel_delta = -1;
        if (turn < 0) g_wheel_delta = 1;
        break;
    }
    case WM_MOUSEMOVE: {
        POINT at;
        if (GetCursorPos(&at)) {
            g_mouse_x = int32_t(at.x);
            g_mouse_y = int32_t(at.y);
        }
        break;
    }
    case WM_SETCURSOR:
        SetCursor(nullptr);
        return TRUE;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_ACTIVATEAPP:
        return 0;
    case WM_ACTIVATE:
        if (g_sound_card_on == 1) {
            if (HIWORD(wparam)) music_suspend_threads();
            if (LOWORD(wparam) != WA_INACTIVE && g_music_running == 1) music_resume_threads();
        }
        return 0;
    case WM_KEYDOWN:
        key_down(window, int(wparam & 0xFF));
        break;
    case WM_KEYUP:
        g_key_down[wparam & 0xFF] = 0;
        update_shift();
        if (g_shift_down) g_upper_case = 1;
        break;
    default:
        break;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

bool app_pump_one_message(void)
{
    g_wheel_delta = 0;
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) return true;
    if (GetMessageA(&msg, nullptr, 0, 0) == 0) return false;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return true;
}

bool app_drop_left_button(void)
{
    const bool held = g_mouse_left_down == 1;
    const int presses = window_discard_input(WM_LBUTTONDOWN, WM_LBUTTONDOWN);
    window_discard_input(WM_LBUTTONUP, WM_LBUTTONUP);
    g_mouse_left_down = 0;
    return held || presses > 0;
}

void app_frame_clock_start(void)
{
    LARGE_INTEGER value;
    QueryPerformanceFrequency(&value);
    g_frame_counter_frequency = value.QuadPart;
    QueryPerformanceCounter(&value);
    g_frame_last_count = value.QuadPart;
}

double app_frame_factor(void)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    int64_t frequency = g_frame_counter_frequency > 0 ? g_frame_counter_frequency : 1;
    double elapsed_ms = double((now.QuadPart - g_frame_last_count) * 1000) / double(frequency);
    g_frame_last_count = now.QuadPart;
    return elapsed_ms * 0.05882353;
}
