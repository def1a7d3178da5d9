// The window stand-in: one window, a message queue with the Windows messages and virtual-key codes
// the game reads, the window procedure call, the cursor and quit. SDL2 back end on a desktop; a
// headless back end whose input tests queue, in headless mode.
#pragma once

#include "platform/system.h"

#include <cstdint>

typedef unsigned UINT;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef void *HBRUSH;
typedef void *HCURSOR;
typedef void *HICON;
typedef void *HMENU;
typedef uint16_t ATOM;
typedef LRESULT (*WNDPROC)(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

struct POINT {
    long x, y;
};

struct RECT {
    long left, top, right, bottom;
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

struct WNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    const char *lpszMenuName;
    const char *lpszClassName;
};

#define WM_DESTROY 0x0002
#define WM_ACTIVATE 0x0006
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_ACTIVATEAPP 0x001C
#define WM_SETCURSOR 0x0020
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_RBUTTONDOWN 0x0204
#define WM_RBUTTONUP 0x0205
#define WM_MOUSEWHEEL 0x020A

#define WA_INACTIVE 0
#define WA_ACTIVE 1
#define WHEEL_DELTA 120

#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

#define WS_POPUP 0x80000000u
#define SW_HIDE 0
#define SW_SHOW 5
#define BLACK_BRUSH 4

#define LOWORD(l) ((uint16_t)((uintptr_t)(l) & 0xFFFF))
#define HIWORD(l) ((uint16_t)(((uintptr_t)(l) >> 16) & 0xFFFF))
#define GET_WHEEL_DELTA_WPARAM(w) ((short)HIWORD(w))
#define MAKEWPARAM(lo, hi) ((WPARAM)(((uint32_t)(uint16_t)(lo)) | (((uint32_t)(uint16_t)(hi)) << 16)))

// Virtual-key codes the game reads.
#define VK_BACK 8
#define VK_TAB 9
#define VK_RETURN 13
#define VK_SHIFT 16
#define VK_CONTROL 17
#define VK_MENU 18
#define VK_CAPITAL 20
#define VK_ESCAPE 27
#define VK_SPACE 32
#define VK_PRIOR 33
#define VK_NEXT 34
#define VK_END 35
#define VK_HOME 36
#define VK_LEFT 37
#define VK_UP 38
#define VK_RIGHT 39
#define VK_DOWN 40
#define VK_INSERT 45
#define VK_DELETE 46
#define VK_NUMPAD0 96
#define VK_MULTIPLY 106
#define VK_ADD 107
#define VK_SUBTRACT 109
#define VK_DECIMAL 110
#define VK_DIVIDE 111
#define VK_F1 112
#define VK_F9 120
#define VK_F12 123
#define VK_F24 135
#define VK_LSHIFT 160
#define VK_RSHIFT 161
#define VK_OEM_PLUS 187
#define VK_OEM_COMMA 188
#define VK_OEM_MINUS 189
#define VK_OEM_PERIOD 190
#define VK_OEM_2 191
#define VK_OEM_3 192
#define VK_OEM_4 219
#define VK_OEM_5 220
#define VK_OEM_6 221
#define VK_OEM_7 222
#define VK_OEM_8 223

ATOM RegisterClassA(const WNDCLASSA *window_class);
// The one window: borderless at (x, y), able to carry an OpenGL context. Null on failure.
HWND CreateWindowExA(DWORD ex_style, const char *class_name, const char *title, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, void *param);
BOOL ShowWindow(HWND window, int show);
BOOL UpdateWindow(HWND window);
BOOL DestroyWindow(HWND window);
// Stands for the desktop; GetClientRect of it gives the screen's size.
HWND GetDesktopWindow(void);
BOOL GetClientRect(HWND window, RECT *rect);
void *GetStockObject(int object);

// Input a person gives reaches the queue with one rule: a button or key release is held back
// until its press has been taken at least a frame earlier, so no loop sees both in one frame.
BOOL PeekMessageA(MSG *msg, HWND window, UINT filter_min, UINT filter_max, UINT remove);
// Waits for a message; 0 for WM_QUIT, -1 when the headless queue is empty.
BOOL GetMessageA(MSG *msg, HWND window, UINT filter_min, UINT filter_max);
BOOL TranslateMessage(const MSG *msg);
LRESULT DispatchMessageA(const MSG *msg);
// WM_CLOSE destroys the window (which sends WM_DESTROY); other messages return 0.
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
BOOL PostMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void PostQuitMessage(int exit_code);

BOOL GetCursorPos(POINT *point);
BOOL SetCursorPos(int x, int y);
HCURSOR SetCursor(HCURSOR cursor);

// The back end's own window (an SDL_Window*), for the OpenGL context; null when headless.
void *window_native_handle(HWND window);
// Drops the person's input numbered within [message_min, message_max] that waits in the queue or
// the back end, releases held back by the rule above among it: input given before now that the
// caller wants none of. Returns how many messages went.
int window_discard_input(UINT message_min, UINT message_max);

// Headless controls for tests: the desktop's size, input as the person would give it (subject to
// the release rule above), and the cursor's position. Reset clears queue, window and class.
void window_headless_set_desktop(int width, int height);
void window_headless_push(UINT message, WPARAM wparam, LPARAM lparam);
void window_headless_set_cursor(int x, int y);
void window_reset(void);
