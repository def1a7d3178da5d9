// The window stand-in on its headless back end: coalesced motion, dropped input, close and quit.
#include "platform/window.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<UINT> g_seen;

LRESULT record_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    g_seen.push_back(message);
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

class WindowTest : public ::testing::Test {
protected:
    HWND window = nullptr;

    void SetUp() override
    {
        window_reset();
        g_seen.clear();
        window_headless_set_desktop(1920, 1080);
        WNDCLASSA wc{};
        wc.lpfnWndProc = record_proc;
        wc.lpszClassName = "Golf";
        ASSERT_NE(RegisterClassA(&wc), 0);
        window = CreateWindowExA(0, "Golf", "Golf", WS_POPUP, 0, 0, 1920, 1080, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override { window_reset(); }

    // Drains the queue as a frame of the main loop does; returns the messages it dispatched.
    std::vector<UINT> drain()
    {
        g_seen.clear();
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        return g_seen;
    }
};

TEST_F(WindowTest, MotionIsCoalescedAndTheCursorFollows)
{
    window_headless_push(WM_MOUSEMOVE, 0, LPARAM(10 | (20 << 16)));
    window_headless_push(WM_MOUSEMOVE, 0, LPARAM(30 | (40 << 16)));
    EXPECT_EQ(drain(), (std::vector<UINT>{WM_MOUSEMOVE}));
    POINT at;
    ASSERT_TRUE(GetCursorPos(&at));
    EXPECT_EQ(at.x, 30);
    EXPECT_EQ(at.y, 40);
    SetCursorPos(5, 6);
    GetCursorPos(&at);
    EXPECT_EQ(at.x, 5);
}

// Dropping the left button's input takes every queued press and release of it, the releases the
// rule holds back too, and leaves the rest queued in order; a later press comes through as ever.
TEST_F(WindowTest, DiscardedInputGoesWholeAndTheRestStays)
{
    window_headless_push(WM_KEYDOWN, 'A', 0);
    for (int click = 0; click < 2; click++) {
        window_headless_push(WM_LBUTTONDOWN, 0, 0);
        window_headless_push(WM_LBUTTONUP, 0, 0);
    }
    window_headless_push(WM_RBUTTONDOWN, 0, 0);
    window_headless_push(WM_LBUTTONDOWN, 0, 0);  // still held
    PostMessageA(window, WM_LBUTTONDOWN, 0, 0);  // the program's own: not the person's input
    EXPECT_EQ(window_discard_input(WM_LBUTTONDOWN, WM_LBUTTONUP), 5);
    EXPECT_EQ(drain(), (std::vector<UINT>{WM_KEYDOWN, WM_RBUTTONDOWN, WM_LBUTTONDOWN}));
    EXPECT_EQ(window_discard_input(WM_LBUTTONDOWN, WM_LBUTTONUP), 0);
    window_headless_push(WM_LBUTTONDOWN, 0, 0);
    EXPECT_EQ(drain(), (std::vector<UINT>{WM_LBUTTONDOWN}));
}

TEST_F(WindowTest, CloseDestroysAndQuits)
{
    window_headless_push(WM_CLOSE, 0, 0);
    MSG msg;
    ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 1);
    DispatchMessageA(&msg);
    EXPECT_EQ(g_seen, (std::vector<UINT>{WM_CLOSE, WM_DESTROY}));
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);  // WM_QUIT
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), -1);  // headless: nothing left
}

}  // namespace
