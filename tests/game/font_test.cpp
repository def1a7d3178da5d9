// Bitmap fonts: style files, the raster steps, glyph boxes and packing with DejaVu, widths, drawing
// and release, on the headless device.
#include "game/font.h"
#include "game/ui.h"
#include "platform/gpu/headless/gpu_headless.h"
#include "render/render.h"
#include "render/render_draw.h"
#include "tests/test_util.h"
#include "tools/data_writer.h"

#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace {

class FontTest : public ::testing::Test {
protected:
    TestFolders folders;
    RenderContext *context = &g_render_context;
    FontStyle style;
    Font font;

    void SetUp() override
    {
        gpu_headless_reset();
        render_context_construct(context);
        context->width = 256, context->height = 64;
        ASSERT_EQ(render_create_device(context), 1);
        font_style_init(&style);
        ASSERT_EQ(FT_Init_FreeType(&style.library), 0);
        memset(&font, 0, sizeof font);
        font_reset(&font);
        font.context = context;
        test_write_file(folders.run + "/Bold.ttf", test_read_file(ZAV_DEJAVU_SANS_BOLD));
    }

    void TearDown() override
    {
        free(strip_);
        font_style_release(&style);
        FT_Done_FreeType(style.library);
        for (Font *f : {&font, &g_font_primary, &g_font_secondary}) {
            font_release_textures(f);
            font_reset(f);
        }
        render_shutdown_device(context);
        render_context_destroy(context);
        EXPECT_EQ(gpu_headless_live_resources(), 0);
        gpu_headless_reset();
        g_text_alpha = 1.0f;
    }

    // A style file in the working folder (BODY lines, then OUTLINE lines), read into `style`.
    void parse(const char *name, const std::string &body, const std::string &outline = "",
               const std::string &face = "  NAME = \"Bold.ttf\"\r\n")
    {
        test_write_file(folders.run + "/" + name, "DATA\r\n{\r\n BODY\r\n {\r\n" + face + body +
                                                      " }\r\n OUTLINE\r\n {\r\n" + outline + " }\r\n}\r\n");
        if (face.find("Bold") != std::string::npos) {
            ASSERT_EQ(font_parse_style_file(name, &style), 1);
        }
    }

    // The strip of every glyph with the current style; freed by TearDown.
    uint8_t *strip()
    {
        free(strip_);
        return strip_ = font_build_glyph_atlas(&style);
    }
    uint8_t *strip_ = nullptr;

    // The opaque pixels of the strip in row order, as red + 256 x green + 65536 x blue.
    std::vector<int> opaque_pixels()
    {
        std::vector<int> out;
        for (size_t i = 0; i < (size_t)style.line_width * style.line_height; i++)
            if (strip_[4 * i + 3] == 255) out.push_back(strip_[4 * i] | strip_[4 * i + 1] << 8 | strip_[4 * i + 2] << 16);
        return out;
    }

    // The current style's strip of every glyph (the one built already, if any), handed to `font`.
    void make_font()
    {
        ASSERT_TRUE(strip_ != nullptr || strip() != nullptr);
        font_create_atlas_texture(&font, kFontPrimarySlot, strip_, style.line_width, style.line_height,
                                  style.glyph_start);
        strip_ = nullptr;
        font.letter_spacing = -2;
        font.space_width = 8;
    }
};

// Runs of non-empty columns of an RGBA strip, as (first column, width).
std::vector<std::pair<int, int>> ink_runs(const uint8_t *rgba, int width, int height)
{
    std::vector<std::pair<int, int>> runs;
    for (int x = 0, start = -1; x <= width; x++) {
        bool ink = false;
        for (int y = 0; x < width && y < height && !ink; y++) ink = rgba[((size_t)y * width + x) * 4 + 3] != 0;
        if (ink && start < 0) start = x;
        if (!ink && start >= 0) runs.push_back({start, x - start}), start = -1;
    }
    return runs;
}

TextureRecord *slot_record(int32_t slot)
{
    TextureTable *table = &g_render_context.main_textures;
    return table->slots ? table->slots[slot] : nullptr;
}

TEST_F(FontTest, StyleFilesSetTheRecordAsReadInOrder)
{
    auto fields = [&] {
        return std::vector<int>{style.body_top[0], style.body_top[1], style.body_top[2], style.body_bottom[0],
                                style.body_bottom[1], style.shadow_on, style.shadow_dx, style.shadow_dy,
                                style.size, style.outline_size};
    };
    // The second file reads into the same record: a negative first component and no shadow keys keep
    // the first file's colour and shadow. SHADOW_X moves the shadow down only; sizes are clamped, and
    // so are colour channels past a byte, even past a float's range.
    const struct {
        const char *body, *outline;
        std::vector<int> want;
    } cases[] = {
        {"  SIZE = 12\r\n  COLOR = (10,20,30,255)\r\n  DOWN = (200,100,50,0)\r\n  SHADOW = 3\r\n",
         "  COLOR = (1,2,3,4)\r\n", {10, 20, 30, 200, 100, 1, 3, 3, 12, 1}},
        {"  COLOR = (-1,90,90,255)\r\n", "", {10, 20, 30, 200, 100, 1, 3, 3, 12, 1}},
        {"  SHADOW_X = 3\r\n  SHADOW_Y = 0\r\n  SIZE = 5000\r\n", "  SIZE = 99\r\n", {10, 20, 30, 200, 100, 1, 0, 3, 96, 8}},
        {"  COLOR = (7e77,300,2.5,255)\r\n", "", {255, 255, 2, 255, 255, 1, 0, 3, 96, 8}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.body);
        parse("a.txt", c.body, c.outline);
        EXPECT_EQ(fields(), c.want);
    }
}

TEST_F(FontTest, GradientRunsFromTopRowToBottomRow)
{
    parse("a.txt", "  SIZE = 10\r\n  COLOR = (0,0,0,255)\r\n  DOWN = (250,0,0,255)\r\n", "  SIZE = 0\r\n");
    ASSERT_NE(strip(), nullptr);
    // Opaque pixels, read row by row, grow redder.
    std::vector<int> reds = opaque_pixels();  // green and blue are 0
    ASSERT_FALSE(reds.empty());
    EXPECT_TRUE(std::is_sorted(reds.begin(), reds.end()));
    EXPECT_LT(reds.front(), 125);
    EXPECT_GT(reds.back(), 125);
}

TEST_F(FontTest, OutlineRingsAppearOnlyWithOutlineSize)
{
    for (int rings : {0, 1}) {
        SCOPED_TRACE(rings);
        parse("a.txt", "  SIZE = 10\r\n  COLOR = (255,255,255,255)\r\n",
              "  COLOR = (255,0,0,255)\r\n  SIZE = " + std::to_string(rings) + "\r\n");
        ASSERT_NE(strip(), nullptr);
        int reddish = 0;
        for (size_t i = 0; i < (size_t)style.line_width * style.line_height; i++)
            reddish += strip_[4 * i] > strip_[4 * i + 1] + 40;
        EXPECT_EQ(reddish > 0, rings > 0);
    }
}

TEST_F(FontTest, DilationRingsWithHalfCoverageAndKeepsTheBorderEmpty)
{
    uint8_t *mask = (uint8_t *)calloc(25, 1);
    mask[12] = 255;  // (2, 2)
    mask[6] = 255;   // (1, 1): its left and upper neighbours lie on the border
    mask = font_dilate_mask(mask, 5, 5);
    const uint8_t expected[25] = {0, 0,   0,   0,   0,  //
                                  0, 255, 128, 0,   0,  //
                                  0, 128, 255, 128, 0,  //
                                  0, 0,   128, 0,   0,  //
                                  0, 0,   0,   0,   0};
    for (int i = 0; i < 25; i++) EXPECT_EQ(mask[i], expected[i]) << "at " << i % 5 << ", " << i / 5;
    free(mask);
}

TEST_F(FontTest, HalvingTruncatesTheAverage)
{
    // A 2 x 1 fill picture: every opaque 2 x 2 block averages 1 and 2 (1.5) and 3 and 4 (3.5).
    std::vector<uint8_t> fill = {1, 3, 0, 255, 2, 4, 0, 255};
    ImageData image = {fill.data(), 2, 1, 1, 0};
    ASSERT_EQ(png_write_file((folders.run + "/fill.png").c_str(), &image), 1);
    parse("a.txt", "  SIZE = 10\r\n  BITMAP = \"fill.png\"\r\n", "  SIZE = 0\r\n");
    ASSERT_NE(strip(), nullptr);
    std::vector<int> opaque = opaque_pixels();
    EXPECT_GT(opaque.size(), 100u);
    EXPECT_EQ(std::count(opaque.begin(), opaque.end(), 0x0301), (long)opaque.size());
}

// Synthetic strips: 223 glyphs of `glyph` columns, 10 empty columns apart.
uint8_t *synthetic_strip(int glyph, int height, std::vector<int32_t> *starts, int *width)
{
    *width = kFontGlyphCount * (glyph + 10);
    uint8_t *rgba = (uint8_t *)calloc((size_t)*width * height * 4, 1);
    starts->assign(kFontGlyphCount + 1, *width);
    for (int i = 0; i < kFontGlyphCount; i++) {
        (*starts)[i] = i * (glyph + 10);
        for (int y = 0; y < height; y++)
            for (int x = 0; x < glyph; x++) rgba[((size_t)y * *width + (*starts)[i] + x) * 4 + 3] = 255;
    }
    return rgba;
}

TEST_F(FontTest, PagesHoldWholeLinesAndStopAtTheirSlotRange)
{
    struct Case {
        int line_height, glyph, first_slot, lines_per_page, glyphs_per_line, last_page;
    } cases[] = {
        {50, 40, kFontPrimarySlot, 5, 5, 8},        // 257 / 51 = 5 lines; 45 lines on 9 pages
        {130, 40, kFontPrimarySlot, 1, 5, 12},      // 45 one-line pages: the primary font stops at 13
        {130, 40, kFontSecondarySlot, 1, 5, 15},    // and the secondary at 16
        {20, 300, kFontPrimarySlot, 12, 1, 12},     // too wide for a page: width 0
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line_height);
        std::vector<int32_t> starts;
        int width;
        uint8_t *rgba = synthetic_strip(c.glyph, c.line_height, &starts, &width);
        font_release_textures(&font);
        font_create_atlas_texture(&font, c.first_slot, rgba, width, c.line_height, starts.data());
        EXPECT_EQ(font.last_page, c.last_page);
        int per_page = c.lines_per_page * c.glyphs_per_line;
        for (int i = 0; i < kFontGlyphCount; i++) {
            const FontGlyph &g = font.glyphs[i];
            int page = i / per_page, line = i % per_page / c.glyphs_per_line;
            bool drawn = c.glyph < 256 && page <= c.last_page;
            ASSERT_EQ(g.width, drawn ? c.glyph : 0) << "glyph " << i;
            if (!drawn) continue;
            ASSERT_EQ(std::vector<int>({g.texture, g.page_y, g.page_x}),
                      std::vector<int>({c.first_slot + page, line * (c.line_height + 1),
                                        i % c.glyphs_per_line * (c.glyph + 10)})) << "glyph " << i;
        }
        for (int p = 0; p <= font.last_page; p++)
            EXPECT_NE(slot_record(c.first_slot + p), nullptr);
    }
    font_release_textures(&font);
    for (int p = 0; p < 16; p++) {
        EXPECT_EQ(slot_record(kFontPrimarySlot + p), nullptr);
        EXPECT_EQ(slot_record(kFontSecondarySlot + p), nullptr);
    }
}

TEST_F(FontTest, DejaVuBoldBoxesAndWidths)
{
    parse("a.txt", "  SIZE = 20\r\n  COLOR = (255,255,255,255)\r\n  SHADOW = 3\r\n", "  SIZE = 1\r\n");
    make_font();
    ASSERT_GE(font.last_page, 0);
    for (int i = 0; i < kFontGlyphCount; i++) {
        EXPECT_EQ(font.glyphs[i].width > 0, i + kFontFirstCode != 160) << "code " << i + kFontFirstCode;
        EXPECT_GT(font.glyphs[i].atlas_x, i > 0 ? font.glyphs[i - 1].atlas_x : -1) << "code " << i + kFontFirstCode;
    }

    // "é" alone has the same ink width as its box in the line.
    uint8_t *alone = font_build_text_strip(&style, "\xe9");
    ASSERT_NE(alone, nullptr);
    auto runs = ink_runs(alone, style.line_width, style.line_height);
    free(alone);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(font.glyphs[font.glyph_of_char[0xe9]].width, runs[0].second);

    auto w = [&](int code) { return font.glyphs[code - kFontFirstCode].width; };
    const std::pair<const char *, int> widths[] = {
        {"AB", w('A') + w('B') - 4}, {"   ", 24}, {"", 0}, {"\x07", w('!') - 2}, {"\xe9", w(0xe9) - 2}};
    for (auto [text, want] : widths) EXPECT_EQ(font_text_width(&font, text), want) << text;
}

// With the shipped style files and faces every glyph but 160 leaves exactly one run of ink, so
// the boxes from the pen equal the boxes of a scan for runs.
TEST_F(FontTest, ShippedStylesLeaveOneInkRunPerGlyph)
{
    ASSERT_TRUE(data_write_fonts(folders.run + "/data"));
    for (const char *file : {"data/gfx/script_font.txt", "data/gfx/script_font2.txt"}) {
        SCOPED_TRACE(file);
        ASSERT_EQ(font_parse_style_file(file, &style), 1);
        ASSERT_NE(strip(), nullptr);
        auto runs = ink_runs(strip_, style.line_width, style.line_height);
        font_release_textures(&font);
        make_font();
        ASSERT_EQ(runs.size(), (size_t)kFontGlyphCount - 1);
        for (int i = 0, run = 0; i < kFontGlyphCount; i++) {
            if (i + kFontFirstCode != 160) {
                EXPECT_EQ(std::make_pair(font.glyphs[i].atlas_x, font.glyphs[i].width), runs[run++]) << i;
            }
        }
    }
}

// The box of the strip's pixels with any alpha: left, top, right, bottom (exclusive).
std::vector<int> ink_box(const uint8_t *rgba, int width, int height)
{
    std::vector<int> box = {width, height, 0, 0};
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            if (rgba[((size_t)y * width + x) * 4 + 3]) {
                box[0] = std::min(box[0], x), box[1] = std::min(box[1], y);
                box[2] = std::max(box[2], x + 1), box[3] = std::max(box[3], y + 1);
            }
    return box;
}

TEST_F(FontTest, ShadowXMovesTheShadowDownAndShadowYRight)
{
    // Offsets of 8 at the doubled rendering size move the halved shadow by 4.
    const struct {
        const char *keys;
        int right, down;
    } cases[] = {
        {"", 0, 0},  // read first: the record keeps a shadow once one is set
        {"  SHADOW_X = 8\r\n  SHADOW_Y = 0\r\n", 0, 4},
        {"  SHADOW_X = 0\r\n  SHADOW_Y = 8\r\n", 4, 0},
        {"  SHADOW = 8\r\n", 4, 4},
    };
    std::vector<int> plain;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.keys);
        parse("a.txt", std::string("  SIZE = 16\r\n  COLOR = (255,255,255,255)\r\n") + c.keys, "  SIZE = 0\r\n");
        uint8_t *rgba = font_build_text_strip(&style, "I");
        ASSERT_NE(rgba, nullptr);
        std::vector<int> box = ink_box(rgba, style.line_width, style.line_height);
        free(rgba);
        if (plain.empty()) plain = box;
        EXPECT_EQ(box, std::vector<int>({plain[0], plain[1], plain[2] + c.right, plain[3] + c.down}));
    }
}

TEST_F(FontTest, SetUpEndsWithTheFinalSpacingAndAZeroDivisorMeasuresNothing)
{
    ASSERT_TRUE(data_write_fonts(folders.run + "/data"));
    font_init(context);
    for (Font *f : {&g_font_primary, &g_font_secondary}) {
        ASSERT_GE(f->last_page, 0);
        const int a = f->glyphs['A' - kFontFirstCode].width, b = f->glyphs['B' - kFontFirstCode].width;
        EXPECT_EQ(font_text_width(f, "AB"), a + b - 4);       // letter spacing -2 after each glyph
        EXPECT_EQ(font_text_width(f, "A B"), a + b - 4 + 8);  // a space of 8
    }

    // A width divisor of 0 (or below) neither divides nor draws: the font measures 0, like an empty one.
    for (float divisor : {0.0f, -0.0f, -2.0f}) {
        SCOPED_TRACE(divisor);
        g_font_primary.width_divisor = divisor;
        EXPECT_EQ(font_text_width(&g_font_primary, "AB C"), 0);
        ASSERT_TRUE(render_begin_frame(context));
        gpu_headless_clear_draws();
        font_draw_text(&g_font_primary, 0, 0, "AB", 1.0f, 1.0f, 1.0f, 1.0f);
        render_end_frame(context);
        EXPECT_EQ(gpu_headless_draw_count(), 0);
    }
    g_font_primary.width_divisor = 1e-30f;  // a width past the integers' range
    EXPECT_EQ(font_text_width(&g_font_primary, "AB"), INT32_MAX);
}

TEST_F(FontTest, DrawingQueuesOneFadedQuadPerGlyph)
{
    parse("a.txt", "  SIZE = 20\r\n");
    make_font();
    font.alpha = 0.5f;
    g_text_alpha = 0.6f;
    ASSERT_TRUE(render_begin_frame(context));
    gpu_headless_clear_draws();
    font_draw_text(&font, 10, 20, "A B", 2.0f, 1.0f, 0.5f, 0.0f);
    render_end_frame(context);
    // Both glyphs lie on one page: one draw of two quads.
    ASSERT_EQ(gpu_headless_draw_count(), 1);
    const GpuDrawRecord *draw = gpu_headless_draw(0);
    ASSERT_EQ(draw->user_vertices.size(), 12 * sizeof(RenderBatchVertex));
    RenderBatchVertex v[12];
    memcpy(v, draw->user_vertices.data(), sizeof v);
    const FontGlyph &a = font.glyphs['A' - kFontFirstCode];
    for (int q = 0; q < 2; q++) {
        SCOPED_TRACE(q);
        EXPECT_EQ(v[6 * q].colour, 0x4CFF7F00u);  // alpha trunc(0.5 x 0.6 x 255) = 76
        EXPECT_EQ(std::vector<float>({v[6 * q].x, v[6 * q].y, v[6 * q + 2].y - v[6 * q].y}),
                  std::vector<float>({q == 0 ? 10.0f : 10.0f + 2.0f * (a.width - 2 + 8), 20.0f,
                                      2.0f * font.line_height}));
    }
}

TEST_F(FontTest, MissingFaceOrStyleGivesAnEmptyFont)
{
    parse("data/gfx/script_font.txt", "", "", "  NAME = \"nowhere.ttf\"\r\n");
    // No second style file at all.
    font_init(context);
    for (Font *f : {&g_font_primary, &g_font_secondary}) {
        EXPECT_EQ(f->last_page, -1);
        EXPECT_EQ(font_text_width(f, "AB C"), 0);
    }
    ASSERT_TRUE(render_begin_frame(context));
    gpu_headless_clear_draws();
    font_draw_text(&g_font_primary, 0, 0, "AB", 1.0f, 1.0f, 1.0f, 1.0f);
    render_end_frame(context);
    EXPECT_EQ(gpu_headless_draw_count(), 0);
}

}  // namespace
