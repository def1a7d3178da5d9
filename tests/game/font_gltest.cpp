// Text drawn with OpenGL: "Hi é" in white on black, the back buffer probed (and kept as
// font_gltest.png beside the test program).
#include "tests/game/game_gl_util.h"
#include "tools/data_writer.h"

#include <vector>

namespace {

class FontGlTest : public GameGlTest {
protected:
    bool bright(int x, int y) const { return at(x, y)[0] > 160 && at(x, y)[1] > 160 && at(x, y)[2] > 160; }
    // Rows holding a bright pixel in columns [x0, x1).
    std::vector<int> bright_rows(int x0, int x1) const
    {
        std::vector<int> rows;
        for (int y = 0; y < height; y++)
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
    open(256, 64);
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
    read_back_buffer("font_gltest.png");

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
