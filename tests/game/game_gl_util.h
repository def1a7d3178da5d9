// Fixture of the game's OpenGL tests: a hidden window of the test's size, the game's render context
// with its device on it, a temporary working folder, and the back buffer read back (and kept as a
// PNG beside the test program for review).
#pragma once

#include "codecs/codecs.h"
#include "game/font.h"
#include "game/menu_pictures.h"
#include "platform/gpu/gl/gpu_gl.h"
#include "platform/window.h"
#include "render/render.h"
#include "render/render_draw.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

class GameGlTest : public ::testing::Test {
protected:
    const std::string build_dir = std::filesystem::current_path().string();  // before the folders move
    TestFolders folders;
    RenderContext *context = &g_render_context;
    HWND window = nullptr;
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;  // the back buffer, rows top-down, alpha 255

    static LRESULT proc(HWND w, UINT message, WPARAM wparam, LPARAM lparam)
    {
        return DefWindowProcA(w, message, wparam, lparam);
    }

    // The window's procedure is `window_proc` (null: one that only passes messages on).
    void open(int w, int h, WNDPROC window_proc = nullptr)
    {
        width = w, height = h;
        window_reset();
        WNDCLASSA wc{};
        wc.lpfnWndProc = window_proc ? window_proc : proc;
        wc.lpszClassName = "GameGlTest";
        RegisterClassA(&wc);
        window = CreateWindowExA(0, "GameGlTest", "GameGlTest", WS_POPUP, 0, 0, w, h, nullptr, nullptr, nullptr,
                                 nullptr);
        ASSERT_NE(window, nullptr) << "no window: is DISPLAY set?";
        render_context_construct(context);
        context->window = window;
        context->width = w, context->height = h;
        ASSERT_EQ(render_create_device(context), 1);
    }

    void TearDown() override
    {
        for (Font *font : {&g_font_primary, &g_font_secondary}) font_release_textures(font), font_reset(font);
        menu_pictures_free();
        render_shutdown_device(context);
        render_context_destroy(context);
        if (window) DestroyWindow(window);
        window_reset();
        EXPECT_EQ(gpu_live_objects(), 0);
    }

    void read_back_buffer(const char *png_name)
    {
        rgba.assign(size_t(width) * height * 4, 255);
        IDirect3DSurface9 *surface = nullptr;
        ASSERT_EQ(context->device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface), D3D_OK);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        for (int i = 0; i < width * height; i++) {
            uint32_t p;
            memcpy(&p, static_cast<uint8_t *>(locked.pBits) + size_t(i / width) * locked.Pitch + 4 * (i % width), 4);
            rgba[4 * i] = uint8_t(p >> 16), rgba[4 * i + 1] = uint8_t(p >> 8), rgba[4 * i + 2] = uint8_t(p);
        }
        surface->UnlockRect();
        surface->Release();
        ImageData image = {rgba.data(), width, height, 1, 0};
        png_write_file((build_dir + "/" + png_name).c_str(), &image);
    }

    const uint8_t *at(int x, int y) const { return &rgba[(size_t(y) * width + x) * 4]; }
};

// Each channel within `tolerance` of (r, g, b).
inline ::testing::AssertionResult gl_pixel_near(const uint8_t *p, int r, int g, int b, int tolerance)
{
    if (std::abs(p[0] - r) <= tolerance && std::abs(p[1] - g) <= tolerance && std::abs(p[2] - b) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << int(p[0]) << ", " << int(p[1]) << ", " << int(p[2])
                                         << "), want (" << r << ", " << g << ", " << b << ")";
}
