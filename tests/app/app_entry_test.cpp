// The process entry, driven through the headless window.
#include "app/app_main.h"
#include "game/app.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

namespace {

TEST(WinMainTest, OpensTheDesktopSizedWindowAndEndsOnF12)
{
    TestFolders folders;  // no data folder: the game's name falls back
    window_reset();
    window_headless_set_desktop(1280, 720);
    g_key_down[65] = 1;
    window_headless_push(WM_KEYDOWN, VK_F12, 0);
    char no_arguments[] = "";
    EXPECT_EQ(WinMain(nullptr, nullptr, no_arguments, SW_SHOW), 0);
    EXPECT_STREQ(g_game_name, "ZAV Mini Golf");
    EXPECT_EQ(g_screen_width, 1280);
    EXPECT_EQ(g_screen_height, 720);
    EXPECT_NE(g_hwnd, nullptr);
    EXPECT_EQ(g_key_down[65], 0);
    EXPECT_EQ(g_key_down[VK_F12], 1);
    window_reset();
    window_headless_set_desktop(1920, 1080);
}

}  // namespace
