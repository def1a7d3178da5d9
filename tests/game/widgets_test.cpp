// Widgets, menu pictures and full-screen pages on the headless device, read back from the quads
// the 2D batch sent to the device.
#include "game/widgets.h"
#include "game/app.h"
#include "game/font.h"
#include "game/menu_pictures.h"
#include "game/pages.h"
#include "game/ui.h"
#include "platform/gpu/headless/gpu_headless.h"
#include "render/render.h"
#include "render/render_draw.h"
#include "tests/game/headless_device.h"
#include "tests/test_util.h"
#include "tools/data_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

namespace {

// One queued quad: its top-left and bottom-right corners and its packed ARGB colour.
struct Quad {
    float x0, y0, x1, y1;
    uint32_t colour;
};

class FrontEndTest : public ::testing::Test {
protected:
    TestFolders folders;
    RenderContext *context = &g_render_context;

    void SetUp() override { ASSERT_TRUE(test_headless_device_open(context, 1920, 1080)); }

    void TearDown() override
    {
        for (Font *f : {&g_font_primary, &g_font_secondary}) font_release_textures(f), font_reset(f);
        menu_pictures_free();
        ui_page_free(&g_page_tiles, &page);
        render_shutdown_device(context);
        render_context_destroy(context);
        EXPECT_EQ(gpu_headless_live_resources(), 0);
        gpu_headless_reset();
        g_mouse_left_down = 0;
        g_key_down[13] = g_key_down[27] = 0;
        g_ui_scale_x = g_ui_scale_y = g_text_alpha = g_ui_alpha = 1.0f;
    }

    void load_fonts()
    {
        ASSERT_TRUE(data_write_fonts(folders.run + "/data"));
        font_init(context);
        ASSERT_GE(g_font_primary.last_page, 0);
    }

    // The quads the draw sends to the device.
    std::vector<Quad> quads_of(const std::function<void()> &draw)
    {
        EXPECT_TRUE(render_begin_frame(context));
        gpu_headless_clear_draws();
        draw();
        render_end_frame(context);
        std::vector<Quad> out;
        for (int d = 0; d < gpu_headless_draw_count(); d++) {
            const std::vector<uint8_t> &bytes = gpu_headless_draw(d)->user_vertices;
            for (size_t at = 0; at + 6 * sizeof(RenderBatchVertex) <= bytes.size();
                 at += 6 * sizeof(RenderBatchVertex)) {
                RenderBatchVertex v[6];
                memcpy(v, bytes.data() + at, sizeof v);
                out.push_back({v[0].x, v[0].y, v[2].x, v[2].y, v[0].colour});
            }
        }
        return out;
    }

    // One draw of the page, and what it returned.
    int draw_page()
    {
        int finished = 0;
        quads_of([&] { finished = ui_page_draw(&g_page_tiles, &page); });
        return finished;
    }

    PageSlot page = {};
};

uint32_t argb(float r, float g, float b, float a)
{
    auto c = [](float v) { return uint32_t(v * 255.0f); };
    return c(a) << 24 | c(r) << 16 | c(g) << 8 | c(b);
}

using WidgetTest = FrontEndTest;

TEST_F(WidgetTest, EdgesAreOutsideAndOnePixelInIsInside)
{
    load_fonts();
    const int jouer = font_text_width(&g_font_primary, "JOUER");
    const float half_fh = g_font_primary.line_height * 0.8f * 0.5f;
    struct Case {
        const char *name;
        std::function<bool()> hover;
        float left, right, top, bottom;  // the edges; the middle of each lies inside
    } cases[] = {
        {"panel", [] { return ui_panel_draw(100, 200, 300, 50); }, 100, 400, 200, 250},
        {"sunken", [] { return ui_panel_draw_sunken(100, 200, 300, 50, 0.45f); }, 100, 400, 200, 250},
        {"frame", [] { return ui_frame_draw(kSlotButton, 100, 200, 300, 50); }, 100, 400, 200, 250},
        {"button", [] { return menu_text_button("JOUER", 490) == 1; }, 960.0f - jouer / 2, 960.0f + jouer / 2,
         490 - half_fh, 490 + half_fh},
        {"arrow", [] { return ui_list_scroll_down_button(500, 300); }, 484, 516, 300, 332},
        {"row", [] { return ui_list_item_hit(600, 700, 0) == 1; }, 575, 825, 600 - half_fh, 600 + half_fh},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        float mid_x = (c.left + c.right) / 2, mid_y = (c.top + c.bottom) / 2;
        struct Probe {
            float x, y;
            bool inside;
        } probes[] = {
            {c.left, mid_y, false}, {c.left + 1, mid_y, true}, {c.right, mid_y, false},  {c.right - 1, mid_y, true},
            {mid_x, c.top, false},  {mid_x, c.top + 1, true},  {mid_x, c.bottom, false}, {mid_x, c.bottom - 1, true},
        };
        for (const Probe &p : probes) {
            g_mouse_x = int32_t(p.x), g_mouse_y = int32_t(p.y);
            if (p.x != float(g_mouse_x) || p.y != float(g_mouse_y)) continue;  // edges between pixels
            bool hover = false;
            quads_of([&] { hover = c.hover(); });
            EXPECT_EQ(hover, p.inside) << "at " << p.x << ", " << p.y;
        }
    }
}

TEST_F(WidgetTest, ButtonsAreCentredAndGrowInTheSelectionColourWhenHovered)
{
    load_fonts();
    int hovered = -1;
    EXPECT_TRUE(quads_of([&] { hovered = menu_text_button(nullptr, 490); }).empty());
    EXPECT_EQ(hovered, 0);

    float widths[2];
    for (int hover = 0; hover < 2; hover++) {
        SCOPED_TRACE(hover);
        g_mouse_x = hover ? 960 : 10, g_mouse_y = 490;
        std::vector<Quad> quads = quads_of([&] { hovered = menu_text_button("OPTIONS", 490); });
        EXPECT_EQ(hovered, hover);
        ASSERT_EQ(quads.size(), 7u);
        EXPECT_NEAR((quads.front().x0 + quads.back().x1) / 2, 960.0f, 1.0f);
        widths[hover] = quads.back().x1 - quads.front().x0;
        const float *c = g_menu_color + (hover ? 0 : 3);
        for (const Quad &q : quads) EXPECT_EQ(q.colour, argb(c[0], c[1], c[2], 1.0f));
    }
    EXPECT_NEAR(widths[1], 1.2f * widths[0], 1.0f);
}

TEST_F(WidgetTest, PopUpBarAndClicks)
{
    load_fonts();
    const float bar_y = 540 + 4.5f * 48;
    for (float fraction : {-1.0f, 0.5f}) {
        SCOPED_TRACE(fraction);
        std::vector<Quad> quads = quads_of([&] { ui_popup_message_box("A", "B", fraction); });
        EXPECT_FLOAT_EQ(g_dialog_x, 560.0f);
        EXPECT_FLOAT_EQ(g_dialog_y, 540.0f);
        bool bar = false;
        float bottom = 0;
        for (const Quad &q : quads) {
            bar = bar || q.y0 == bar_y;
            if (q.x0 == 560.0f && q.y0 == 540.0f) bottom = std::max(bottom, q.y1);
        }
        EXPECT_EQ(bar, fraction >= 0);
        EXPECT_FLOAT_EQ(bottom, 540 + (fraction >= 0 ? 5.5f : 4.5f) * 48);
    }
    // The box takes any pressed state, -1 included; the menus' rule takes only 1.
    for (int down : {-1, 1}) {
        g_mouse_left_down = down;
        EXPECT_EQ(menu_take_click(1), down == 1);
        EXPECT_EQ(g_mouse_left_down, down == 1 ? 0 : -1);
    }
    g_mouse_left_down = -1;
    int took = 0;
    quads_of([&] { took = ui_popup_message_box("A", "", -1); });
    EXPECT_EQ(took, 1);
    EXPECT_EQ(g_mouse_left_down, 0);
}

TEST_F(WidgetTest, HudTextBoxFadesWithTheCursorAndLeavesTextAlphaAtOne)
{
    load_fonts();
    g_mouse_x = 150 + 1920 / 8, g_mouse_y = 0;  // half of the fade to the right
    std::vector<Quad> quads = quads_of([] { ui_hud_text_box("REDO", 45); });
    ASSERT_FALSE(quads.empty());
    EXPECT_NEAR(double(quads[0].colour >> 24), 127.0, 1.0);
    EXPECT_EQ(g_text_alpha, 1.0f);
}

using MenuPicturesTest = FrontEndTest;

TEST_F(MenuPicturesTest, GlowSpotIsWhiteInTheMiddleAndClearAtTheCorners)
{
    uint8_t *spot = menu_glow_spot_pixels();
    ASSERT_NE(spot, nullptr);
    auto at = [&](int x, int y) { return spot + (size_t(y) * kGlowSide + x) * 4; };
    EXPECT_EQ(memcmp(at(128, 128), "\xff\xff\xff\xff", 4), 0);
    EXPECT_EQ(memcmp(at(0, 0), "\0\0\0\0", 4), 0);
    EXPECT_EQ(memcmp(at(255, 255), "\0\0\0\0", 4), 0);
    EXPECT_EQ(at(192, 128)[0], 127);  // d = 0.5: v = 0.5
    EXPECT_EQ(at(192, 128)[3], 63);   // trunc(0.25 x 255)
    free(spot);
}

TEST_F(MenuPicturesTest, MarkerFramesBuiltTwiceLeaveOnlyTheSecondSet)
{
    menu_marker_frames_build();
    int live = gpu_headless_live_resources(), registered = g_render_registry.count;
    RenderObject *first = g_menu_marker_frames[0];
    ASSERT_NE(first, nullptr);
    menu_marker_frames_build();
    EXPECT_EQ(gpu_headless_live_resources(), live);
    EXPECT_EQ(g_render_registry.count, registered);
}

TEST_F(MenuPicturesTest, MissingAndNonSquarePicturesKeepTheirTransparency)
{
    int32_t side = 0;
    uint8_t *missing = menu_load_square_picture("data/gfx/none.png", &side);
    ASSERT_EQ(side, 16);
    EXPECT_EQ(std::vector<uint8_t>(missing, missing + 16 * 16 * 4), std::vector<uint8_t>(16 * 16 * 4));
    free(missing);

    // A 3 x 2 pointer with a transparent top-left corner: padded to 3 x 3 with transparent rows.
    std::vector<uint8_t> pixels(3 * 2 * 4, 200);
    pixels[3] = 0;
    ImageData image = {pixels.data(), 3, 2, 1, 0};
    ASSERT_EQ(png_write_file((folders.run + "/mouse.png").c_str(), &image), 1);
    uint8_t *square = menu_load_square_picture("mouse.png", &side);
    ASSERT_EQ(side, 3);
    EXPECT_EQ(square[3], 0);
    EXPECT_EQ(square[7], 200);
    EXPECT_EQ(std::vector<uint8_t>(square + 3 * 2 * 4, square + 3 * 3 * 4), std::vector<uint8_t>(3 * 4));
    free(square);
}

using PageTest = FrontEndTest;

TEST_F(PageTest, LevelsGiveColourAndAlpha)
{
    page.mode = kPageStill;
    page.level = 0.75f;
    std::vector<Quad> quads = quads_of([&] { EXPECT_EQ(ui_page_draw(&g_page_tiles, &page), 0); });
    ASSERT_EQ(quads.size(), 40u);
    EXPECT_EQ(quads[0].colour, argb(0.75f, 0.75f, 0.75f, 0.5f));
    EXPECT_EQ(page.level, 0.75f);
}

TEST_F(PageTest, EscapeAndClicksByMode)
{
    // Escape in the fade-in mirrors the level into the fade-out; the still mode ignores it.
    page.level = 0.3f;
    for (int mode : {int(page.mode), int(kPageStill)}) {
        page.mode = uint8_t(mode);
        g_key_down[27] = 1;
        draw_page();
        EXPECT_FLOAT_EQ(page.level, 2.7f);
        EXPECT_EQ(g_key_down[27], mode == kPageStill);
    }
    g_key_down[27] = 0;

    // Holding for a click: the level waits, the press is kept at -1, the fade-out then ends it.
    page = PageSlot{page.pixels, 1.6f, 0.25f, 0, kPageHoldForClick, 0, page.tiles_uploaded, page.width, page.height};
    EXPECT_EQ(draw_page(), 0);
    EXPECT_EQ(g_mouse_left_down, -1);
    EXPECT_FLOAT_EQ(page.level, 1.6f);
    g_mouse_left_down = 1;
    draw_page();
    EXPECT_EQ(page.clicked, 1);
    EXPECT_EQ(g_mouse_left_down, -1);
    int finished = 0, draws = 0;
    while (!finished && draws++ < 10) finished = draw_page();
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(page.level, 3.0f);

    // Return ends the hold as a click does, and is taken.
    page = PageSlot{page.pixels, 1.6f, 0.25f, 0, kPageHoldForClick, 0, page.tiles_uploaded, page.width, page.height};
    g_mouse_left_down = 0;
    g_key_down[13] = 1;
    draw_page();
    EXPECT_EQ(page.clicked, 1);
    EXPECT_EQ(g_key_down[13], 0);
    draw_page();
    EXPECT_FLOAT_EQ(page.level, 1.85f);

    // Fade-in only: done past 1.1, tiles released, uploaded again by the next draw.
    page = PageSlot{page.pixels, 1.095f, 0.01f, 0, kPageFadeIn, 0, page.tiles_uploaded, page.width, page.height};
    EXPECT_EQ(draw_page(), 1);
    EXPECT_EQ(page.tiles_uploaded, 0u);
    EXPECT_EQ(context->main_textures.slots[kPageFirstSlot], nullptr);
    gpu_headless_clear_uploads();
    draw_page();
    EXPECT_GE(gpu_headless_upload_count(), 40);
}

TEST_F(PageTest, GridsStayWithinTheirSlots)
{
    struct Case {
        int width, height, cols, rows, side;
    } cases[] = {{1920, 1080, 8, 5, 256}, {1280, 1024, 6, 5, 256}, {3840, 2160, 8, 5, 512}, {640, 360, 3, 2, 256}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.width);
        context->width = c.width, context->height = c.height;
        ui_page_grid(&g_page_tiles);
        EXPECT_EQ(std::vector<int>({g_page_tiles.cols, g_page_tiles.rows, g_page_tiles.tile_side}),
                  std::vector<int>({c.cols, c.rows, c.side}));
        EXPECT_LE(g_page_tiles.cols * g_page_tiles.rows, kPageSlots);
    }
    context->width = 1920, context->height = 1080;
}

TEST_F(PageTest, ARenderSizeChangedAfterTheLoadNeitherOverrunsNorLeaksTiles)
{
    context->width = 640, context->height = 360;
    ui_page_load(&g_page_tiles, &page, nullptr);
    page.mode = kPageStill;
    page.level = 1.0f;
    context->width = 1920, context->height = 1080;
    draw_page();  // the pixels stay 640 x 360
    EXPECT_NE(context->main_textures.slots[kPageFirstSlot + 39], nullptr);
    context->width = 640, context->height = 360;
    ui_page_free(&g_page_tiles, &page);
    for (int32_t i = 0; i < kPageSlots; i++) ASSERT_EQ(context->main_textures.slots[kPageFirstSlot + i], nullptr) << i;
    context->width = 1920, context->height = 1080;
}

TEST_F(PageTest, SmallPicturesSampleInBoundsAndMissingOnesAreBlack)
{
    std::vector<uint8_t> pixels(4 * 4 * 4);
    for (size_t i = 0; i < pixels.size(); i++) pixels[i] = uint8_t(i * 3 + 1);
    ImageData image = {pixels.data(), 4, 4, 1, 0};
    ASSERT_EQ(png_write_file((folders.run + "/tiny.png").c_str(), &image), 1);
    ui_page_load(&g_page_tiles, &page, "tiny.png");
    ASSERT_NE(page.pixels, nullptr);
    const uint8_t *last = page.pixels + (size_t(1080 - 1) * 1920 + 1920 - 1) * 4;
    EXPECT_EQ(memcmp(last, &pixels[(2 * 4 + 2) * 4], 3), 0);  // (1919 x 3) div 1920 = 2
    EXPECT_EQ(memcmp(page.pixels, &pixels[0], 3), 0);

    ui_page_load(&g_page_tiles, &page, "none.png");
    for (size_t i = 0; i < size_t(1920) * 1080 * 4; i += 4097) ASSERT_EQ(page.pixels[i], 0);
}

}  // namespace
