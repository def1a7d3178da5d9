// The window stand-in's front: class and window records, the message queue with its release rule,
// dispatch to the window procedure, cursor and quit.
#include "platform/window.h"
#include "platform/window_local.h"

#include <cstring>
#include <deque>

namespace {

// A release is held until its press was taken this long ago: longer than one frame at any rate
// the game runs, so every loop sees the press in a frame of its own.
const int64_t RELEASE_HOLD_MS = 50;

struct QueuedMessage {
    MSG msg;
    bool input;  // from the person (held by the release rule), not posted by the program
};

struct WindowState {
    const WindowBackend *backend;
    WNDCLASSA window_class;
    std::string class_name;
    bool class_registered;
    WindowRecord *window;
    std::deque<QueuedMessage> queue;
    int64_t press_taken_ms[258];  // virtual keys, then the left and right buttons
    POINT cursor;
};

WindowState g_window;
int g_desktop_dummy;

int64_t now_ms()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return count.QuadPart / (frequency.QuadPart / 1000);
}

const WindowBackend *backend()
{
    if (!g_window.backend) g_window.backend = sys_headless() ? window_backend_headless() : window_backend_sdl();
    return g_window.backend;
}

// Index of the press a release answers, or -1 when the message is not a press or release.
int press_slot(const MSG &msg)
{
    switch (msg.message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
        return int(msg.wParam & 0xFF);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
        return 256;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
        return 257;
    default:
        return -1;
    }
}

bool is_release(UINT message) { return message == WM_KEYUP || message == WM_LBUTTONUP || message == WM_RBUTTONUP; }

// True when the front message may be taken now.
bool front_ready(int64_t *due_ms)
{
    const QueuedMessage &front = g_window.queue.front();
    if (!front.input || !is_release(front.msg.message)) return true;
    int64_t due = g_window.press_taken_ms[press_slot(front.msg)] + RELEASE_HOLD_MS;
    if (due_ms) *due_ms = due;
    return now_ms() >= due;
}

void take_front(MSG *msg)
{
    QueuedMessage front = g_window.queue.front();
    g_window.queue.pop_front();
    int slot = press_slot(front.msg);
    if (front.input && slot >= 0 && !is_release(front.msg.message)) g_window.press_taken_ms[slot] = now_ms();
    *msg = front.msg;
}

void enqueue(HWND window, UINT message, WPARAM wparam, LPARAM lparam, bool input)
{
    MSG msg{};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wparam;
    msg.lParam = lparam;
    msg.time = DWORD(now_ms());
    msg.pt = g_window.cursor;
    g_window.queue.push_back({msg, input});
}

}  // namespace

void window_input(UINT message, WPARAM wparam, LPARAM lparam)
{
    HWND window = g_window.window;
    if (message == WM_MOUSEMOVE && !g_window.queue.empty()) {
        QueuedMessage &last = g_window.queue.back();
        if (last.input && last.msg.message == WM_MOUSEMOVE) {
            last.msg.lParam = lparam;
            last.msg.pt = g_window.cursor;
            return;
        }
    }
    enqueue(window, message, wparam, lparam, true);
}

void window_set_cursor(int x, int y)
{
    g_window.cursor.x = x;
    g_window.cursor.y = y;
}

ATOM RegisterClassA(const WNDCLASSA *window_class)
{
    if (!window_class || !window_class->lpfnWndProc) return 0;
    g_window.window_class = *window_class;
    g_window.class_name = window_class->lpszClassName ? window_class->lpszClassName : "";
    g_window.class_registered = true;
    return 1;
}

HWND CreateWindowExA(DWORD, const char *class_name, const char *title, DWORD, int x, int y, int width, int height,
                     HWND, HMENU, HINSTANCE, void *)
{
    if (!g_window.class_registered || g_window.window || !class_name || g_window.class_name != class_name)
        return nullptr;
    auto *window = new WindowRecord{g_window.window_class.lpfnWndProc, title ? title : "", nullptr};
    if (!backend()->open(window, x, y, width, height)) {
        delete window;
        return nullptr;
    }
    g_window.window = window;
    return window;
}

BOOL ShowWindow(HWND window, int show)
{
    if (!window || window != g_window.window) return FALSE;
    backend()->show(g_window.window, show != SW_HIDE);
    return TRUE;
}

BOOL UpdateWindow(HWND window) { return window && window == g_window.window; }

BOOL DestroyWindow(HWND window)
{
    if (!window || window != g_window.window) return FALSE;
    WindowRecord *record = g_window.window;
    record->proc(window, WM_DESTROY, 0, 0);
    backend()->close(record);
    g_window.window = nullptr;
    delete record;
    return TRUE;
}

HWND GetDesktopWindow(void) { return &g_desktop_dummy; }

BOOL GetClientRect(HWND window, RECT *rect)
{
    if (!rect || !window) return FALSE;
    int width = 0, height = 0;
    backend()->desktop_size(&width, &height);
    *rect = RECT{0, 0, width, height};
    return TRUE;
}

void *GetStockObject(int object) { return object == BLACK_BRUSH ? &g_desktop_dummy : nullptr; }

BOOL PeekMessageA(MSG *msg, HWND, UINT, UINT, UINT remove)
{
    if (!msg) return FALSE;
    if (g_window.queue.empty() || !front_ready(nullptr)) backend()->poll();
    if (g_window.queue.empty() || !front_ready(nullptr)) return FALSE;
    if (remove & PM_REMOVE) take_front(msg);
    else *msg = g_window.queue.front().msg;
    return TRUE;
}

BOOL GetMessageA(MSG *msg, HWND window, UINT filter_min, UINT filter_max)
{
    if (!msg) return -1;
    bool headless = backend() == window_backend_headless();
    while (!PeekMessageA(msg, window, filter_min, filter_max, PM_REMOVE)) {
        int64_t due = 0;
        if (!g_window.queue.empty() && !front_ready(&due)) {
            int64_t wait = due - now_ms();
            Sleep(DWORD(wait > 0 ? wait : 0));
            continue;
        }
        if (headless) return -1;
        backend()->wait(10);
    }
    return msg->message == WM_QUIT ? 0 : 1;
}

BOOL TranslateMessage(const MSG *msg) { return msg != nullptr && msg->message == WM_KEYDOWN; }

LRESULT DispatchMessageA(const MSG *msg)
{
    if (!msg || !g_window.window || (msg->hwnd && msg->hwnd != g_window.window)) return 0;
    return g_window.window->proc(g_window.window, msg->message, msg->wParam, msg->lParam);
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM, LPARAM)
{
    if (message == WM_CLOSE) DestroyWindow(window);
    return 0;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    enqueue(window, message, wparam, lparam, false);
    return TRUE;
}

void PostQuitMessage(int exit_code) { enqueue(nullptr, WM_QUIT, WPARAM(exit_code), 0, false); }

BOOL GetCursorPos(POINT *point)
{
    if (!point) return FALSE;
    *point = g_window.cursor;
    return TRUE;
}

BOOL SetCursorPos(int x, int y)
{
    window_set_cursor(x, y);
    if (g_window.window) backend()->warp(g_window.window, x, y);
    return TRUE;
}

HCURSOR SetCursor(HCURSOR cursor)
{
    backend()->show_pointer(cursor != nullptr);
    return nullptr;
}

void *window_native_handle(HWND window) { return window == g_window.window && window ? g_window.window->native : nullptr; }

int window_discard_input(UINT message_min, UINT message_max)
{
    backend()->poll();
    int discarded = 0;
    std::deque<QueuedMessage> &queue = g_window.queue;
    for (auto it = queue.begin(); it != queue.end();) {
        const UINT message = it->msg.message;
        if (it->input && message >= message_min && message <= message_max) {
            it = queue.erase(it);
            discarded++;
        } else {
            ++it;
        }
    }
    return discarded;
}

void window_headless_push(UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_MOUSEMOVE) window_set_cursor(short(LOWORD(lparam)), short(HIWORD(lparam)));
    window_input(message, wparam, lparam);
}

void window_headless_set_cursor(int x, int y) { window_set_cursor(x, y); }

void window_reset(void)
{
    if (g_window.window) {
        backend()->close(g_window.window);
        delete g_window.window;
    }
    const WindowBackend *chosen = g_window.backend;
    g_window = WindowState{};
    g_window.backend = chosen;
}
