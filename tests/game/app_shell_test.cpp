// The window procedure's input state, driven through the headless window as a person would.
#include "game/app.h"
#include "game/files.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window_reset();
        memset(g_key_down, 0, sizeof g_key_down);
        g_caps_lock_on = g_shift_down = g_upper_case = 0;
        g_mouse_left_down = g_mouse_right_down = 0;
        g_sound_card_on = 0;
        WNDCLASSA wc{};
        wc.lpfnWndProc = app_window_proc;
        wc.lpszClassName = "Shell";
        RegisterClassA(&wc);
        g_hwnd = CreateWindowExA(0, "Shell", "Shell", WS_POPUP, 0, 0, 640, 480, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(g_hwnd, nullptr);
    }
    void TearDown() override { window_reset(); }

    void send(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) { app_window_proc(g_hwnd, message, wparam, lparam); }
    void press(int vk) { send(WM_KEYDOWN, WPARAM(vk)); }
    void release(int vk) { send(WM_KEYUP, WPARAM(vk)); }
};

TEST_F(ShellTest, CapsLockFlipsAndHoldsUntilPressedAgain)
{
    press(VK_CAPITAL);
    release(VK_CAPITAL);
    press('7');
    EXPECT_EQ(g_key_char, -24);  // è
    press('9');
    EXPECT_EQ(g_key_char, -25);  // ç
    press(VK_CAPITAL);
    press('7');
    EXPECT_EQ(g_key_char, '7');
}

TEST_F(ShellTest, WheelAndArrowsLastOneMessage)
{
    send(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA));
    EXPECT_EQ(g_wheel_delta, -1);
    send(WM_MOUSEMOVE);
    EXPECT_EQ(g_wheel_delta, 0);
    send(WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA));
    EXPECT_EQ(g_wheel_delta, 1);
    press(VK_UP);
    EXPECT_EQ(g_wheel_delta, -1);
    release(VK_UP);
    EXPECT_EQ(g_wheel_delta, 0);
    press(VK_DOWN);
    EXPECT_EQ(g_wheel_delta, 1);
    EXPECT_TRUE(app_pump_one_message());
    EXPECT_EQ(g_wheel_delta, 0);
}

TEST_F(ShellTest, AClickQueuedInOneFrameIsSeenDown)
{
    window_headless_push(WM_LBUTTONDOWN, 0, 0);
    window_headless_push(WM_LBUTTONUP, 0, 0);
    // One frame of the main loop drains what is waiting.
    for (int i = 0; i < 10; i++) app_pump_one_message();
    EXPECT_EQ(g_mouse_left_down, 1);
    Sleep(60);
    for (int i = 0; i < 10; i++) app_pump_one_message();
    EXPECT_EQ(g_mouse_left_down, 0);
}

TEST_F(ShellTest, FrameFactorCountsSeventeenMillisecondUnits)
{
    g_frame_counter_frequency = 1000000000;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    g_frame_last_count = now.QuadPart - 34000000;  // 34 ms ago
    double factor = app_frame_factor();
    EXPECT_GE(factor, 2.0 * 0.99);
    EXPECT_LT(factor, 2.5);
    EXPECT_LT(app_frame_factor(), 0.5);  // measured from the previous call
}

}  // namespace
