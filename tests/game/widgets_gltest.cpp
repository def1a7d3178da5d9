// Widgets over a page drawn with OpenGL at 640 x 360: the back buffer (kept as widgets_gltest.png)
// is probed for the page's sampled pixels, the panel's shades, the labels' colours, the hovered
// arrow's tint and the pointer's shadow.
#include "game/app.h"
#include "game/pages.h"
#include "game/ui.h"
#include "game/widgets.h"
#include "tests/game/game_gl_util.h"
#include "tools/data_writer.h"

namespace {

class WidgetsGlTest : public GameGlTest {
protected:
    PageSlot page = {};

    void TearDown() override
    {
        ui_page_free(&g_page_tiles, &page);
        GameGlTest::TearDown();
        g_ui_scale_x = g_ui_scale_y = 1.0f;
    }

    void write_picture(const std::string &name, int w, int h, const std::vector<uint8_t> &pixels)
    {
        std::filesystem::create_directories(std::filesystem::path(folders.run + "/" + name).parent_path());
        ImageData image = {const_cast<uint8_t *>(pixels.data()), w, h, 1, 0};
        ASSERT_EQ(png_write_file((folders.run + "/" + name).c_str(), &image), 1);
    }

    static std::vector<uint8_t> plain(int w, int h, uint8_t r, uint8_t g, uint8_t b)
    {
        std::vector<uint8_t> pixels;
        for (int i = 0; i < w * h; i++) pixels.insert(pixels.end(), {r, g, b, 255});
        return pixels;
    }

    // Pixels of the 4 x 4 page picture: blocks of dull colours with green equal to blue.
    static const uint8_t *page_colour(const std::vector<uint8_t> &picture, int x, int y)
    {
        return &picture[(size_t((y * 3) / 360) * 4 + (x * 3) / 640) * 4];
    }

    bool selection_coloured(int x0, int y0, int x1, int y1) const
    {
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++)
                if (at(x, y)[2] - at(x, y)[1] > 60 && at(x, y)[0] - at(x, y)[1] > 30) return true;
        return false;
    }
};

TEST_F(WidgetsGlTest, PagePanelLabelsArrowRowAndPointer)
{
    open(640, 360);
    render_set_mode(7, context, 67);  // 32-bit textures, so that the page's pixels come back exact
    g_ui_scale_x = 640.0f / 1920.0f, g_ui_scale_y = 360.0f / 1080.0f;
    std::vector<uint8_t> picture;
    for (int i = 0; i < 16; i++) picture.insert(picture.end(), {uint8_t(30 + 12 * i), uint8_t(40 + 5 * i), uint8_t(40 + 5 * i), 255});
    write_picture("page.png", 4, 4, picture);
    write_picture("data/gfx/panel.png", 8, 8, plain(8, 8, 200, 100, 50));
    write_picture("data/gfx/arrow.png", 32, 32, plain(32, 32, 255, 255, 255));
    std::vector<uint8_t> pointer = plain(32, 32, 255, 255, 255);
    pointer[3] = 0;  // a transparent corner
    write_picture("data/gfx/mouse0.png", 32, 32, pointer);
    ASSERT_TRUE(data_write_fonts(folders.run + "/data"));
    menu_load_pictures(context);

    page.mode = kPageStill;
    page.level = 1.5f;
    ui_page_load(&g_page_tiles, &page, "page.png");

    ASSERT_TRUE(render_begin_frame(context));
    render_clear_frame(context);
    ui_page_draw(&g_page_tiles, &page);
    g_mouse_x = 0, g_mouse_y = 0;
    ui_panel_draw(20, 20, 150, 60);
    EXPECT_EQ(menu_text_button("JOUER", 300), 0);
    g_mouse_x = 320, g_mouse_y = 200;
    EXPECT_EQ(menu_text_button("OPTIONS", 600), 1);
    g_mouse_x = 500, g_mouse_y = 45;
    EXPECT_TRUE(ui_list_scroll_up_button(500, 40));
    ui_list_item_hit(900, 320, 1);
    ui_list_item_text("ROW", 900, 320);
    g_mouse_x = 560, g_mouse_y = 300;
    ui_pointer_draw();
    render_end_frame(context);
    read_back_buffer("widgets_gltest.png");

    // The page where no widget lies.
    for (auto [x, y] : {std::pair{600, 20}, {40, 200}, {200, 340}, {420, 150}}) {
        const uint8_t *want = page_colour(picture, x, y);
        EXPECT_TRUE(gl_pixel_near(at(x, y), want[0], want[1], want[2], 3)) << x << ", " << y;
    }
    // Panel: body 0.7 of its texel (200, 100, 50), lighter top, darker bottom.
    for (auto [y, shade] : {std::pair{50, 7}, {20, 9}, {80, 5}})
        EXPECT_TRUE(gl_pixel_near(at(95, y), 20 * shade, 10 * shade, 5 * shade, 3)) << "row " << y;
    // Labels: selection colour only on the hovered one.
    EXPECT_TRUE(selection_coloured(220, 185, 420, 215));
    EXPECT_FALSE(selection_coloured(220, 85, 420, 115));
    // The hovered arrow is tinted red.
    const uint8_t *arrow = at(500, 45);
    EXPECT_GE(arrow[0] - arrow[1], 51);
    EXPECT_GE(arrow[0] - arrow[2], 51);
    // The pointer's shadow, beyond the pointer's own right edge, darkens the page.
    const uint8_t *page_there = page_colour(picture, 572, 306);
    EXPECT_LT(at(572, 306)[0], page_there[0] - 10);
    EXPECT_TRUE(gl_pixel_near(at(565, 305), 255, 255, 255, 3));
}

}  // namespace
