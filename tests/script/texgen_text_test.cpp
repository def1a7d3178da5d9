// Text layers of the texture scripts: masks and their growing, the halo and fill passes, gradients
// and waves, TEXTE and CTEXTE at different output sizes and at the picture's edges.
#include "tests/script/texgen_test_util.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

namespace {

struct Box {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;  // inclusive; x1 < 0 when empty
    int width() const { return x1 - x0 + 1; }
    int height() const { return y1 - y0 + 1; }
};

// Bounding box of the pixels whose colour is not `background` (0xRRGGBB).
Box ink_box(const uint8_t *picture, uint32_t background)
{
    Box box;
    for (int y = 0; y < g_texgen_height; y++)
        for (int x = 0; x < g_texgen_width; x++) {
            const uint8_t *p = picture + ((size_t)y * g_texgen_width + x) * 4;
            if (((uint32_t)p[0] << 16 | p[1] << 8 | p[2]) == background) continue;
            box.x0 = std::min(box.x0, x), box.x1 = std::max(box.x1, x);
            box.y0 = std::min(box.y0, y), box.y1 = std::max(box.y1, y);
        }
    return box;
}

std::vector<uint8_t> blank(uint8_t grey)
{
    std::vector<uint8_t> picture((size_t)g_texgen_width * g_texgen_height * 4, grey);
    return picture;
}

const uint8_t *pixel(const std::vector<uint8_t> &picture, int x, int y)
{
    return &picture[((size_t)y * g_texgen_width + x) * 4];
}

class TexgenTextTest : public TexgenTest {
protected:
    TexgenScript *script = nullptr;

    void TearDown() override
    {
        texgen_script_free(script);
        TexgenTest::TearDown();
    }

    // A script with one font "F" of the face and the block's extra lines.
    const TexgenFont &font(const std::string &lines, const char *face = "DejaVuSans.ttf")
    {
        texgen_script_free(script);
        std::filesystem::copy_file(TEXGEN_TEST_FONT_FOLDER + "/" + face, temp / face,
                                   std::filesystem::copy_options::skip_existing);
        script = read(
            texgen_test_u16("FONTES {\r\nF\r\n{\r\nFICHIER=\"" + std::string(face) + "\"\r\n" + lines + "}\r\n}\r\n"));
        EXPECT_EQ(script->font_count, 1);
        return script->fonts[0];
    }

    // The sum of FreeType's own rendering of each glyph of the text.
    static int64_t glyph_coverage(const TexgenFont &font, const char16_t *text)
    {
        int64_t sum = 0;
        for (; *text; text++) {
            FT_Load_Glyph(font.face, FT_Get_Char_Index(font.face, *text), FT_LOAD_IGNORE_TRANSFORM);
            FT_Render_Glyph(font.face->glyph, FT_RENDER_MODE_NORMAL);
            const FT_Bitmap &b = font.face->glyph->bitmap;
            for (unsigned r = 0; r < b.rows; r++)
                for (unsigned c = 0; c < b.width; c++) sum += b.buffer[r * b.pitch + c];
        }
        return sum;
    }
};

TEST(TexgenMaskTest, GrowingPass)
{
    // One full pixel gains a ring of 128; a partly covered pixel with no covered neighbour is
    // dropped while its neighbours grow; the border stays empty.
    uint8_t *mask = (uint8_t *)calloc(7 * 6, 1);
    mask[2 * 7 + 2] = 255;
    mask[3 * 7 + 5] = 100;
    mask[0 * 7 + 3] = 255;
    mask = texgen_mask_grow(mask, 7, 6);
    const uint8_t expected[6][7] = {
        {0, 0, 0, 0, 0, 0, 0},     {0, 0, 128, 128, 0, 0, 0}, {0, 128, 255, 128, 0, 128, 0},
        {0, 0, 128, 0, 128, 0, 0}, {0, 0, 0, 0, 0, 128, 0},   {0, 0, 0, 0, 0, 0, 0},
    };
    for (int y = 0; y < 6; y++)
        for (int x = 0; x < 7; x++) EXPECT_EQ(mask[y * 7 + x], expected[y][x]) << x << "," << y;
    free(mask);
}

TEST(TexgenMaskTest, ManyGrowingPassesAtOnce)
{
    // The halo's passes taken at once give what as many single passes give, on masks with seeds
    // inside, on the border and in the corners, for every count up to past settling and for a count
    // whose single passes would take hours.
    std::mt19937 random(7);
    for (int round = 0; round < 60; round++) {
        int w = 1 + (int)(random() % 11), h = 1 + (int)(random() % 9);
        std::vector<uint8_t> start((size_t)w * h);
        int seeds = (int)(random() % 4);
        for (int s = 0; s < seeds; s++) start[random() % (w * h)] = (random() % 2) ? 255 : (uint8_t)(1 + random() % 200);
        uint8_t *step = (uint8_t *)malloc(start.size());
        memcpy(step, start.data(), start.size());
        for (int passes = 0; passes <= w + h + 4; passes++) {
            if (passes > 0) step = texgen_mask_grow(step, w, h);
            uint8_t *once = (uint8_t *)malloc(start.size());
            memcpy(once, start.data(), start.size());
            once = texgen_mask_grow_times(once, w, h, passes);
            ASSERT_EQ(std::vector<uint8_t>(once, once + start.size()), std::vector<uint8_t>(step, step + start.size()))
                << w << "x" << h << " round " << round << " passes " << passes;
            free(once);
        }
        // Settled: the last two counts repeat with a period of two.
        uint8_t *many = (uint8_t *)malloc(start.size());
        memcpy(many, start.data(), start.size());
        many = texgen_mask_grow_times(many, w, h, 1000000 + (w + h + 4) % 2);
        EXPECT_EQ(std::vector<uint8_t>(many, many + start.size()), std::vector<uint8_t>(step, step + start.size()))
            << w << "x" << h << " round " << round;
        free(many);
        free(step);
    }
}

TEST_F(TexgenTextTest, MaskHoldsEveryGlyph)
{
    const TexgenFont &f = font("SIZE=40\r\n");
    uint8_t *mask = texgen_text_mask(u"HI", &f);
    ASSERT_NE(mask, nullptr);
    int w = g_texgen_text_width, h = g_texgen_text_height;
    EXPECT_EQ(h, f.ascent + 1);  // both glyphs stand on the base line
    int64_t sum = 0;
    for (int i = 0; i < w * h; i++) sum += mask[i];
    EXPECT_EQ(sum, glyph_coverage(f, u"HI"));
    // The H's top row is the cap height below the ascent.
    FT_Load_Glyph(f.face, FT_Get_Char_Index(f.face, u'H'), FT_LOAD_IGNORE_TRANSFORM);
    int top = f.ascent - (int)(f.face->glyph->metrics.horiBearingY >> 6);
    int row_sum = 0, above = 0;
    for (int x = 0; x < w; x++) row_sum += mask[top * w + x], above += mask[(top - 1) * w + x];
    EXPECT_GT(row_sum, 0);
    EXPECT_EQ(above, 0);
    free(mask);

    // Bold widens every glyph's advance by a tenth of the size and smears the rows.
    const TexgenFont &bold = font("SIZE=40\r\nGRAS\r\n");
    uint8_t *bold_mask = texgen_text_mask(u"HI", &bold);
    ASSERT_NE(bold_mask, nullptr);
    EXPECT_EQ(g_texgen_text_width, w + 2 * bold.bold_advance / 64);
    int64_t bold_sum = 0;
    for (int i = 0; i < g_texgen_text_width * g_texgen_text_height; i++) bold_sum += bold_mask[i];
    EXPECT_GT(bold_sum, sum);
    free(bold_mask);

    EXPECT_EQ(texgen_text_mask(u"", &bold), nullptr);
    EXPECT_EQ(g_texgen_text_width, 0);
}

TEST_F(TexgenTextTest, GlyphsOverhangingTheMaskAreClipped)
{
    // Slanted glyphs reach past their advance and 'j' starts left of its pen: the copies are cut
    // to the mask.
    for (const char *face : {"DejaVuSans-Oblique.ttf", "DejaVuSerif-Italic.ttf", "DejaVuSans.ttf"}) {
        const TexgenFont &f = font("SIZE=60\r\n", face);
        for (const char16_t *text : {u"fff", u"jjj", u"j", u"f", u"W/f", u"\u0301"}) {
            uint8_t *mask = texgen_text_mask(text, &f);
            ASSERT_NE(mask, nullptr) << face;
            int64_t sum = 0;
            for (int i = 0; i < g_texgen_text_width * g_texgen_text_height; i++) sum += mask[i];
            EXPECT_GT(sum, 0);
            EXPECT_LE(sum, glyph_coverage(f, text));
            free(mask);
        }
    }
}

TEST_F(TexgenTextTest, HaloDarkensUnderTheTextAndGrowsWithTheOutline)
{
    const TexgenFont &plain = font("SIZE=40\r\n");
    std::vector<uint8_t> picture = blank(255);
    texgen_text_halo_pass(&plain, 100, picture.data(), u"\u2588", 200, 0);
    Box box = ink_box(picture.data(), 0xFFFFFF);
    // The block's mask is 34 x 60 with its full rows from 11 to 58; shown at half size from (98, 198).
    EXPECT_EQ(pixel(picture, 110, 220)[0], 127);  // half of white
    EXPECT_EQ(pixel(picture, 110, 220)[3], 255);  // the fourth byte is left alone
    EXPECT_GE(box.x0, 98);
    EXPECT_LE(box.x1, 98 + 40 / 2);
    EXPECT_GE(box.y0, 198);

    std::vector<uint8_t> shadow = blank(255);
    texgen_text_halo_pass(&plain, 100, shadow.data(), u"\u2588", 200, 1);
    EXPECT_EQ(pixel(shadow, 110, 220)[0], 0);  // shadow mode: black under the text

    const TexgenFont &outlined = font("SIZE=40\r\nOUTLINE=3\r\n");
    std::vector<uint8_t> grown = blank(255);
    texgen_text_halo_pass(&outlined, 100, grown.data(), u"\u2588", 200, 0);
    Box wide = ink_box(grown.data(), 0xFFFFFF);
    // Three mask pixels more on each side: one and a half output pixels.
    EXPECT_GE(box.x0 - wide.x0, 1);
    EXPECT_LE(box.x0 - wide.x0, 2);
    EXPECT_GE(wide.x1 - box.x1, 1);
    EXPECT_LE(wide.x1 - box.x1, 2);
    EXPECT_GE(box.y0 - wide.y0, 1);

    // A huge OUTLINE is drawn at once, as the count of the same parity it settles to.
    const TexgenFont &huge = font("SIZE=40\r\nOUTLINE=1000001\r\n");
    std::vector<uint8_t> a = blank(255);
    texgen_text_halo_pass(&huge, 100, a.data(), u"\u2588", 200, 0);
    const TexgenFont &settled = font("SIZE=40\r\nOUTLINE=" + std::to_string(40 + 66 + 2 + 1) + "\r\n");
    std::vector<uint8_t> b = blank(255);
    texgen_text_halo_pass(&settled, 100, b.data(), u"\u2588", 200, 0);
    EXPECT_EQ(a, b);
}

TEST_F(TexgenTextTest, FillPaintsTheGradientWhereTheTextCovers)
{
    const TexgenFont &f = font("SIZE=40\r\nDEGRADE=(250,10,0)/(10,250,100)\r\n");
    for (int scale = 1; scale <= 2; scale++) {
        texgen_set_output_size(1280 * scale, 1024 * scale);
        std::vector<uint8_t> black = blank(0), white = blank(255);
        int drawn = texgen_text_fill_pass(u"\u2588\u2588", black.data(), 50, 60, &f, 0);
        texgen_text_fill_pass(u"\u2588\u2588", white.data(), 50, 60, &f, 0);
        EXPECT_EQ(drawn, (int)((g_texgen_text_width / 2) * g_texgen_scale_x));
        int full = 0, last_row = -1, last_green = -1;
        for (int j = 0; j < 60 * scale; j++)
            for (int i = 0; i < drawn; i++) {
                const uint8_t *p = pixel(black, 50 + i, 60 + j), *q = pixel(white, 50 + i, 60 + j);
                if (p[0] != q[0] || p[1] != q[1] || p[2] != q[2]) continue;  // partly covered
                float t = std::min((float)j / 21.0f, 1.0f);
                EXPECT_EQ(p[0], (int)(250 + (10 - 250) * t)) << i << "," << j;
                EXPECT_EQ(p[1], (int)(10 + (250 - 10) * t)) << i << "," << j;
                EXPECT_EQ(p[2], (int)(0 + (100 - 0) * t)) << i << "," << j;
                full++;
                last_row = j;
                last_green = p[1];
            }
        EXPECT_GT(full, 200 * scale * scale);
        EXPECT_GT(last_row, 21);  // rows past the gradient keep its bottom colour
        EXPECT_EQ(last_green, 250);
    }

    // Shadow mode halves what lies under the text.
    texgen_set_output_size(1280, 1024);
    std::vector<uint8_t> grey = blank(200);
    texgen_text_fill_pass(u"\u2588", grey.data(), 50, 60, &f, 1);
    EXPECT_EQ(pixel(grey, 58, 75)[0], 100);
}

TEST_F(TexgenTextTest, SinusWavesWithAPeriodOf180Pixels)
{
    const TexgenFont &f = font("SIZE=80\r\nDEGRADE=(0,0,0)/(255,255,255)\r\nSINUS\r\n");
    std::u16string blocks(14, u'\u2588');
    std::vector<uint8_t> black = blank(0), white = blank(255);
    texgen_text_fill_pass(blocks.c_str(), black.data(), 10, 10, &f, 0);
    texgen_text_fill_pass(blocks.c_str(), white.data(), 10, 10, &f, 0);
    auto full = [&](int i, int j) { return pixel(black, 10 + i, 10 + j)[0] == pixel(white, 10 + i, 10 + j)[0]; };
    int compared = 0;
    for (int j = 0; j < 60; j++)
        for (int i = 0; i < 200; i++) {
            if (!full(i, j) || !full(i + 180, j)) continue;
            EXPECT_EQ(pixel(black, 10 + i, 10 + j)[0], pixel(black, 10 + i + 180, 10 + j)[0]) << i << "," << j;
            compared++;
        }
    EXPECT_GT(compared, 1000);
    // Column 45 is a crest and 135 a trough: row j takes the colour of row j + 6 or j - 6 (7 times
    // the sine, cut towards zero), within the gradient's rows.
    int checked = 0;
    for (int i : {45, 135})
        for (int j = 0; j < 60; j++) {
            if (!full(i, j)) continue;
            int t = std::clamp(i == 45 ? j + 6 : j - 6, 0, 40);
            EXPECT_EQ(pixel(black, 10 + i, 10 + j)[0], (int)(255.0f * ((float)t / 41.0f))) << i << "," << j;
            checked++;
        }
    EXPECT_GT(checked, 30);
}

TEST_F(TexgenTextTest, TextStepsScaleWithTheOutput)
{
    font("SIZE=40\r\nDEGRADE=(255,255,255)/(255,255,255)\r\n");
    TexgenStep step = {};
    step.kind = TEXGEN_TEXTE;
    step.x = 400;
    step.y = 300;
    char16_t text[TEXGEN_TEXT_UNITS] = u"\u2588 A";
    step.text = text;
    std::vector<uint8_t> full_size = blank(0);
    texgen_draw_text(full_size.data(), &script->fonts[0], &step);
    Box big = ink_box(full_size.data(), 0);
    // SIZE 40 shows a block a em high at about 20 pixels (the mask is twice that).
    EXPECT_GE(big.height(), 19);
    EXPECT_LE(big.height(), 26);
    EXPECT_GE(big.x0, 398);
    EXPECT_LE(big.x0, 402);

    texgen_set_output_size(640, 512);
    std::vector<uint8_t> half_size = blank(0);
    texgen_draw_text(half_size.data(), &script->fonts[0], &step);
    Box small = ink_box(half_size.data(), 0);
    EXPECT_NEAR(small.x0, big.x0 / 2, 1);
    EXPECT_NEAR(small.y0, big.y0 / 2, 1);
    EXPECT_NEAR(small.width(), big.width() / 2, 2);
    EXPECT_NEAR(small.height(), big.height() / 2, 2);

    // CTEXTE centres the text on x.
    texgen_set_output_size(1280, 1024);
    step.kind = TEXGEN_CTEXTE;
    std::vector<uint8_t> centred = blank(0);
    texgen_draw_text(centred.data(), &script->fonts[0], &step);
    Box c = ink_box(centred.data(), 0);
    EXPECT_NEAR((c.x0 + c.x1) / 2.0, 400.0, 3.0);
    EXPECT_EQ(c.width(), big.width());
    EXPECT_EQ(c.y0, big.y0);
}

TEST_F(TexgenTextTest, ShadowIsDrawnFirstAtItsOffset)
{
    const TexgenFont &f = font("SIZE=40\r\nOMBRAGE=(10,5)\r\nDEGRADE=(255,255,255)/(255,255,255)\r\n");
    ASSERT_EQ(f.shadow, 1);
    TexgenStep step = {};
    step.kind = TEXGEN_TEXTE;
    step.x = 100;
    step.y = 100;
    char16_t text[TEXGEN_TEXT_UNITS] = u"\u2588";
    step.text = text;
    std::vector<uint8_t> picture = blank(200);
    texgen_draw_text(picture.data(), &f, &step);
    // Offsets in 640 x 480 units: the shadow's block is at (120, 110), 20 and 10.67 pixels away, the
    // text's at (100, 100); each shows about 17 x 24 pixels, 5 rows below its top.
    EXPECT_EQ(pixel(picture, 108, 115)[0], 255);  // the text, drawn last
    EXPECT_EQ(pixel(picture, 128, 132)[0], 0);    // the shadow: black halo, then half of that
    EXPECT_EQ(pixel(picture, 128, 150)[0], 200);
    EXPECT_EQ(pixel(picture, 150, 132)[0], 200);
}

TEST_F(TexgenTextTest, TextAtThePicturesEdges)
{
    const TexgenFont &f =
        font("SIZE=90\r\nOMBRAGE=(-30,40)\r\nOUTLINE=4\r\nGRAS\r\nSINUS\r\nDEGRADE=(1,2,3)/(200,100,50)\r\n");
    TexgenStep step = {};
    char16_t wide[TEXGEN_TEXT_UNITS] = u"Wjjf \u2588 \u00e9\u00c9 bord gauche droit haut bas";
    step.text = wide;
    const int places[][2] = {{-20, -40}, {1270, 1000}, {-600, 500}, {600, 1020}, {1279, -10}, {-5000, 5000}};
    for (int size : {1280, 8, 2000}) {
        texgen_set_output_size(size, size * 4 / 5 + 1);
        for (const auto &place : places)
            for (int kind : {TEXGEN_TEXTE, TEXGEN_CTEXTE}) {
                std::vector<uint8_t> picture = blank(90);
                step.kind = kind;
                step.x = place[0];
                step.y = place[1];
                texgen_draw_text(picture.data(), &f, &step);
            }
    }
    SUCCEED();
}

}  // namespace
