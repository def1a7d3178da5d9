// Text drawn with OpenGL: "Hi é" in white on black, the back buffer probed (and kept as
// font_gltest.png beside the test program).
#include "game/font.h"
#include "platform/gpu/gl/gpu_gl.h"
#include "platform/window.h"
#include "render/render.h"
#include "render/render_draw.h"
#include "tests/test_util.h"
#include "tools/data_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 256, kHeight = 64;

LRESULT window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    return DefWindowProcA(window, message, wparam, lparam);
}

class FontGlTest : public ::testing::Test {
protected:
    std::string m_png = std::filesystem::current_path().string() + "/font_gltest.png";  // before the folders move
    TestFolders folders;
    RenderContext *context = &g_render_context;
    HWND window = nullptr;
    std::vector<uint8_t> rgb;  // the back buffer, RGBA (alpha 255), rows top-down

    void SetUp() override
    {
        window_reset();
        WNDCLASSA wc{};
        wc.lpfnWndProc = window_proc;
        wc.lpszClassName = "FontGlTest";
        RegisterClassA(&wc);
        window = CreateWindowExA(0, "FontGlTest", "FontGlTest", WS_POPUP, 0, 0, kWidth, kHeight, nullptr, nullptr,
                                 nullptr, nullptr);
        ASSERT_NE(window, nullptr) << "no window: is DISPLAY set?";
        render_context_construct(context);
        context->window = window;
        context->width = kWidth;
        context->height = kHeight;
        ASSERT_EQ(render_create_device(context), 1);
    }

    void TearDown() override
    {
        font_release_textures(&g_font_primary);
        font_release_textures(&g_font_secondary);
        font_reset(&g_font_primary);
        font_reset(&g_font_secondary);
        render_shutdown_device(context);
        render_context_destroy(context);
        if (window) DestroyWindow(window);
        window_reset();
        EXPECT_EQ(gpu_live_objects(), 0);
    }

    void read_back_buffer()
    {
        rgb.assign(size_t(kWidth) * kHeight * 4, 255);
        IDirect3DSurface9 *surface = nullptr;
        ASSERT_EQ(context->device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface), D3D_OK);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        for (int y = 0; y < kHeight; y++)
            for (int x = 0; x < kWidth; x++) {
                uint32_t p = reinterpret_cast<const uint32_t *>(static_cast<uint8_t *>(locked.pBits) +
                                                                size_t(y) * size_t(locked.Pitch))[x];
                uint8_t *out = &rgb[(size_t(y) * kWidth + x) * 4];
                out[0] = uint8_t(p >> 16), out[1] = uint8_t(p >> 8), out[2] = uint8_t(p);
            }
        surface->UnlockRect();
        surface->Release();
        ImageData image = {rgb.data(), kWidth, kHeight, 1, 0};
        png_write_file(m_png.c_str(), &image);
    }

    const uint8_t *at(int x, int y) const { return &rgb[(size_t(y) * kWidth + x) * 4]; }
    bool bright(int x, int y) const { return at(x, y)[0] > 160 && at(x, y)[1] > 160 && at(x, y)[2] > 160; }
    // Rows holding a bright pixel in columns [x0, x1).
    std::vector<int> bright_rows(int x0, int x1) const
    {
        std::vector<int> rows;
        for (int y = 0; y < kHeight; y++)
            for (int x = x0; x < x1; x++)
                if (bright(x, y)) {
                    rows.push_back(y);
                    break;
                }
        return rows;
    }
};

TEST_F(FontGlTest, HiEAcuteShowsStemsGapsAndAccent)
{
    ASSERT_TRUE(data_write_fonts(folders.run + "/data"));
    // White letters with a black ring and no shadow, so that body pixels are the body colour.
    test_write_file(folders.run + "/data/gfx/script_font.txt",
                    "DATA\r\n{\r\n BODY\r\n {\r\n  NAME = \"data/fonts/DejaVuSans-Bold.ttf\"\r\n  SIZE = 30\r\n"
                    "  COLOR = (255,255,255,255)\r\n }\r\n OUTLINE\r\n {\r\n  COLOR = (0,0,0,255)\r\n  SIZE = 1\r\n"
                    " }\r\n}\r\n");
    font_init(context);
    Font *font = &g_font_primary;
    ASSERT_GE(font->last_page, 0);

    ASSERT_TRUE(render_begin_frame(context));
    render_clear_frame(context);
    font_draw_text(font, 8, 8, "Hi \xe9", 1.0f, 1.0f, 1.0f, 1.0f);
    render_end_frame(context);
    read_back_buffer();

    const int wh = font->glyphs['H' - kFontFirstCode].width, wi = font->glyphs['i' - kFontFirstCode].width;
    const int h0 = 8, i0 = h0 + wh - 2, e0 = i0 + wi - 2 + 8;
    const int e1 = e0 + font->glyphs[0xe9 - kFontFirstCode].width;

    // Two stems a quarter down the H, their middles white.
    std::vector<int> rows = bright_rows(h0, h0 + wh);
    ASSERT_GT(rows.size(), 10u);
    int y = rows.front() + int(rows.size()) / 4;
    std::vector<int> middles;
    for (int x = h0, start = -1; x <= h0 + wh; x++) {
        bool b = x < h0 + wh && bright(x, y);
        if (b && start < 0) start = x;
        if (!b && start >= 0) middles.push_back((start + x - 1) / 2), start = -1;
    }
    ASSERT_EQ(middles.size(), 2u) << "row " << y;
    for (int x : middles)
        for (int c = 0; c < 3; c++) EXPECT_GE(at(x, y)[c], 255 - 24) << "stem at " << x << ", " << y;

    // Between the H's right stem and the i a column without letter.
    bool gap = false;
    for (int x = middles[1] + 1; x < i0 + wi && !gap; x++) gap = bright_rows(x, x + 1).empty();
    EXPECT_TRUE(gap);

    // The é: its bright rows make two runs, the accent above the bowl.
    std::vector<int> e_rows = bright_rows(e0, e1);
    ASSERT_FALSE(e_rows.empty());
    int runs = 1;
    for (size_t k = 1; k < e_rows.size(); k++) runs += e_rows[k] != e_rows[k - 1] + 1;
    EXPECT_EQ(runs, 2);
    EXPECT_LT(e_rows.front(), rows.front() + int(rows.size()) / 3);
}

}  // namespace
