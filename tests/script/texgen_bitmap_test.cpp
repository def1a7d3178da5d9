// Bitmap layers of the texture scripts: clouds, feathered rectangles, MOSAIC, ETIRER, BITMAP,
// FBITMAP and CARREDEGRADE, drawn at 1280 x 1024 and at other sizes, partly outside the picture.
#include "tests/script/texgen_test_util.h"

#include <cmath>
#include <cstdlib>

namespace {

// A bitmap of the script's kind with pixels made by a function of (x, y) giving 0xRRGGBBAA.
template <typename F> TexgenBitmap make_bitmap(int w, int h, F colour)
{
    TexgenBitmap bitmap = {};
    std::vector<uint8_t> pixels = texgen_test_picture(w, h, colour);
    bitmap.pixels = (uint8_t *)malloc(pixels.size());
    memcpy(bitmap.pixels, pixels.data(), pixels.size());
    bitmap.width = w;
    bitmap.height = h;
    return bitmap;
}

struct Picture {
    std::vector<uint8_t> bytes;
    int width;

    Picture(uint8_t r, uint8_t g, uint8_t b)
        : bytes((size_t)g_texgen_width * g_texgen_height * 4), width(g_texgen_width)
    {
        for (size_t i = 0; i < bytes.size(); i += 4) bytes[i] = r, bytes[i + 1] = g, bytes[i + 2] = b;
    }
    uint8_t *data() { return bytes.data(); }
    // 0xRRGGBB of pixel (x, y).
    uint32_t at(int x, int y) const
    {
        const uint8_t *p = &bytes[((size_t)y * width + x) * 4];
        return (uint32_t)p[0] << 16 | p[1] << 8 | p[2];
    }
};

uint32_t rgb(double r, double g, double b) { return (uint32_t)r << 16 | (uint32_t)g << 8 | (uint32_t)b; }

// The rand() of the runtime the scripts were written against: the scripts' generator must match it.
struct ReferenceRandom {
    uint32_t state = 1;
    int next()
    {
        state = state * 214013u + 2531011u;
        return (int)((state >> 16) & 0x7FFF);
    }
};

using TexgenBitmapTest = TexgenTest;

TEST_F(TexgenBitmapTest, GeneratorAndMidpoints)
{
    ReferenceRandom reference;
    texgen_srand(1);
    for (int i = 0; i < 1000; i++) ASSERT_EQ(texgen_rand(), reference.next());

    // A span of three cells: the middle gets rand() % 3 + (p + q) / 2 - 3 / 2.
    texgen_srand(1);
    reference = ReferenceRandom();
    uint8_t row[3] = {100, 0, 200};
    texgen_random_fill_b(row, 0, 2, 0, 3);
    EXPECT_EQ(row[1], reference.next() % 3 + 150 - 1);
    // Each span draws one value, even where its cell keeps the value it holds: the halves of the span
    // of three are spans of two whose midpoints are their first cells.
    EXPECT_EQ(row[0], 100);
    EXPECT_EQ(row[2], 200);
    uint8_t column[3 * 4] = {};
    column[0] = 10, column[4] = 7, column[8] = 250;
    texgen_random_fill_c(column, 0, 2, 0, 4);
    EXPECT_EQ(column[4], 7);
    for (int i = 0; i < 5; i++) reference.next();
    EXPECT_EQ(texgen_rand(), reference.next());
}

TEST_F(TexgenBitmapTest, CloudsTileWithoutSeams)
{
    const int sizes[][2] = {{1, 1}, {1, 7}, {2, 2}, {5, 3}, {16, 16}, {33, 17}, {64, 40}};
    for (const auto &size : sizes) {
        int w = size[0], h = size[1];
        uint8_t *map = texgen_clouds_height_map(w, h);
        ASSERT_NE(map, nullptr);
        for (int x = 0; x <= w; x++)
            EXPECT_EQ(map[(size_t)h * (w + 1) + x], map[x]) << w << "x" << h << " column " << x;
        for (int y = 0; y <= h; y++) EXPECT_EQ(map[(size_t)y * (w + 1) + w], map[(size_t)y * (w + 1)]) << w << "x" << h;
        free(map);
    }

    // The bitmap is the map's first w x h cells times the colour; a tiled copy has no seam.
    texgen_srand(3);
    uint8_t *map = texgen_clouds_height_map(32, 24);
    texgen_srand(3);
    TexgenBitmap clouds = {};
    ASSERT_EQ(texgen_clouds_make(&clouds, 255, 128, 0, 32, 24), 1);
    int steps = 0, big_steps = 0;
    for (int y = 0; y < 24; y++)
        for (int x = 0; x < 32; x++) {
            const uint8_t *p = clouds.pixels + (y * 32 + x) * 4;
            uint8_t v = map[y * 33 + x];
            ASSERT_EQ(p[0], v);
            ASSERT_EQ(p[1], v * 128 / 255);
            ASSERT_EQ(p[2], 0);
            ASSERT_EQ(p[3], 255);
        }
    // Across the wrap (last column to first) the values step no more than between neighbours inside.
    for (int y = 0; y < 24; y++) {
        int across = std::abs(clouds.pixels[(y * 32 + 31) * 4] - clouds.pixels[(y * 32) * 4]);
        int inside = std::abs(map[y * 33 + 31] - map[y * 33 + 32]);
        EXPECT_EQ(across, inside);
        steps += across;
        big_steps += across > 64;
    }
    EXPECT_EQ(big_steps, 0) << steps;
    free(map);
    free(clouds.pixels);

    TexgenBitmap refused = {};
    EXPECT_EQ(texgen_clouds_make(&refused, 1, 1, 1, 0, 5), 0);
    EXPECT_EQ(texgen_clouds_make(&refused, 1, 1, 1, 5, -1), 0);
    EXPECT_EQ(texgen_clouds_make(&refused, 1, 1, 1, TEXGEN_MAX_CLOUDS_SIDE + 1, 5), 0);
    EXPECT_EQ(refused.pixels, nullptr);
}

TEST_F(TexgenBitmapTest, CloudsRepeatForTheSameScriptAndAreChecked)
{
    const char16_t *text = u"BITMAPS {\r\nC\r\n{\r\nCLOUDS=(255,255,255,40,30)\r\n}\r\n"
                           u"BIG\r\n{\r\nCLOUDS=(1,1,1,5000,2)\r\n}\r\n"
                           u"FLAT\r\n{\r\nCLOUDS=(1,1,1,0,20)\r\n}\r\n}\r\n";
    TexgenScript *first = read(text);
    texgen_rand();
    TexgenScript *second = read(text);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(first->bitmap_count, 1);
    ASSERT_EQ(second->bitmap_count, 1);
    EXPECT_EQ(memcmp(first->bitmaps[0].pixels, second->bitmaps[0].pixels, 40 * 30 * 4), 0);
    texgen_script_free(first);
    texgen_script_free(second);

    // The bitmaps of a script hold at most TEXGEN_MAX_SCRIPT_PIXELS pixels between them.
    TexgenScript *sizes = (TexgenScript *)calloc(1, sizeof(TexgenScript));
    sizes->bitmap_count = 2;
    sizes->bitmaps[0].width = sizes->bitmaps[1].width = 4096;
    sizes->bitmaps[0].height = 4096;
    sizes->bitmaps[1].height = 4096 - 2;
    EXPECT_TRUE(texgen_bitmap_fits(sizes, 4096, 2));
    EXPECT_FALSE(texgen_bitmap_fits(sizes, 4096, 3));
    free(sizes);
}

TEST_F(TexgenBitmapTest, FeatherWeight)
{
    // 20 x 20 with a border of 4: 0 at the edge, 1 from 4 pixels in, rounder at the corners.
    EXPECT_FLOAT_EQ(texgen_feather_weight(0, 10, 20, 20, 4), 0.0f);
    EXPECT_FLOAT_EQ(texgen_feather_weight(2, 10, 20, 20, 4), 0.5f);  // (6 x 8 - 32) / 32
    EXPECT_FLOAT_EQ(texgen_feather_weight(3, 10, 20, 20, 4), 0.75f);
    EXPECT_FLOAT_EQ(texgen_feather_weight(4, 10, 20, 20, 4), 1.0f);
    EXPECT_FLOAT_EQ(texgen_feather_weight(10, 10, 20, 20, 4), 1.0f);
    EXPECT_FLOAT_EQ(texgen_feather_weight(3, 3, 20, 20, 4), 0.53125f);  // (7 x 7 - 32) / 32
    EXPECT_FLOAT_EQ(texgen_feather_weight(0, 0, 20, 20, 4), 0.0f);
    EXPECT_FLOAT_EQ(texgen_feather_weight(4, 3, 20, 20, 4), 0.75f);
    EXPECT_FLOAT_EQ(texgen_feather_weight(19, 19, 20, 20, 4), 0.0f);
    EXPECT_FLOAT_EQ(texgen_feather_weight(5, 5, 20, 20, 0), 1.0f);  // no border
}

TEST_F(TexgenBitmapTest, BitmapBlendsByAlphaWithShadowAndFrame)
{
    // Columns of alpha 0, 128 and 255 in red over a grey picture.
    TexgenBitmap bitmap = make_bitmap(30, 20, [](int x, int) {
        return 0xFF000000u | (x < 10 ? 0 : x < 20 ? 128 : 255);
    });
    Picture picture(100, 100, 100);
    texgen_draw_bitmap(picture.data(), &bitmap, 200, 300);
    EXPECT_EQ(picture.at(205, 310), 0x646464u);
    float a = 128.0f / 255.0f;
    EXPECT_EQ(picture.at(215, 310), rgb(255.0f * a + 100.0f * (1 - a), 100.0f * (1 - a), 100.0f * (1 - a)));
    EXPECT_EQ(picture.at(225, 310), 0xFF0000u);
    EXPECT_EQ(picture.at(229, 319), 0xFF0000u);
    EXPECT_EQ(picture.at(230, 310), 0x646464u);
    EXPECT_EQ(picture.at(199, 299), 0x646464u);  // no frame

    // The shadow 3 x OMBRAGE away: half inside, less over a 6-pixel border; the frame in white.
    bitmap.shadow = 1;
    bitmap.shadow_dx = 10;
    bitmap.shadow_dy = 10;
    bitmap.frame = 1;
    Picture shadowed(200, 200, 200);
    texgen_draw_bitmap(shadowed.data(), &bitmap, 200, 300);
    EXPECT_EQ(shadowed.at(245, 340), 0x646464u);  // inside the shadow (230..259, 330..349), beside the bitmap
    float w = texgen_feather_weight(29, 15, 30, 20, 6);
    uint32_t edge = (uint32_t)(200.0f * (1.0f - w * w * 0.5f));
    EXPECT_EQ(shadowed.at(259, 345), rgb(edge, edge, edge));
    EXPECT_EQ(shadowed.at(260, 345), 0xC8C8C8u);
    EXPECT_EQ(shadowed.at(205, 310), 0xC8C8C8u);  // alpha 0 over the picture
    for (int x = 199; x <= 230; x++) EXPECT_EQ(shadowed.at(x, 299), 0xFFFFFFu) << x;
    for (int x = 199; x <= 230; x++) EXPECT_EQ(shadowed.at(x, 320), 0xFFFFFFu) << x;
    for (int y = 300; y <= 320; y++) EXPECT_EQ(shadowed.at(199, y), 0xFFFFFFu) << y;
    for (int y = 300; y <= 320; y++) EXPECT_EQ(shadowed.at(230, y), 0xFFFFFFu) << y;
    EXPECT_EQ(shadowed.at(231, 299), 0xC8C8C8u);
    free(bitmap.pixels);
}

TEST_F(TexgenBitmapTest, BitmapsPartlyOutsideThePictureAreClipped)
{
    TexgenBitmap bitmap =
        make_bitmap(40, 30, [](int x, int y) { return (uint32_t)(x * 6) << 24 | (uint32_t)(y * 8) << 16 | 0xFF; });
    bitmap.shadow = 1;
    bitmap.shadow_dx = -20;
    bitmap.shadow_dy = 30;
    bitmap.frame = 1;
    const int places[][2] = {{-20, -10}, {1260, 1010}, {-100, 500}, {600, -29}, {1279, 1023}, {-40, -30}, {5000, 0}};
    for (const auto &place : places) {
        Picture picture(1, 2, 3);
        texgen_draw_bitmap(picture.data(), &bitmap, place[0], place[1]);
        texgen_fbitmap_draw(picture.data(), place[0], place[1], 40, 30, bitmap.pixels);
        TexgenStep step = {};
        step.x = place[0];
        step.y = place[1];
        texgen_draw_mosaic(picture.data(), &bitmap, step.x, step.y);
        texgen_draw_stretched(picture.data(), &bitmap, step.x, step.y);
        step.size_w = 300;
        step.size_h = 200;
        step.colour[0] = 999;
        step.colour[1] = -5;
        texgen_draw_panel(picture.data(), &step);
    }
    Picture picture(1, 2, 3);
    texgen_draw_bitmap(picture.data(), &bitmap, -20, -10);
    EXPECT_EQ(picture.at(0, 0), rgb(20 * 6, 10 * 8, 0));
    EXPECT_EQ(picture.at(19, 19), rgb(39 * 6, 29 * 8, 0));
    EXPECT_EQ(picture.at(20, 5), 0xFFFFFFu);  // the right side of the frame
    free(bitmap.pixels);
}

TEST_F(TexgenBitmapTest, MosaicTilesTheBitmapAndWraps)
{
    TexgenBitmap bitmap =
        make_bitmap(5, 3, [](int x, int y) { return (uint32_t)(x * 40) << 24 | (uint32_t)(y * 90) << 16 | 7u << 8; });
    Picture picture(0, 0, 0);
    texgen_draw_mosaic(picture.data(), &bitmap, texgen_design_x(-7), texgen_design_y(4));
    for (int y : {0, 1, 2, 500, 1023})
        for (int x : {0, 1, 6, 7, 1279}) {
            int sx = ((x - 7) % 5 + 5) % 5, sy = (y + 4) % 3;
            EXPECT_EQ(picture.at(x, y), rgb(sx * 40, sy * 90, 7)) << x << "," << y;
        }

    // At half the size each bitmap pixel covers half a picture pixel: every other one is shown.
    texgen_set_output_size(640, 512);
    Picture half(0, 0, 0);
    texgen_draw_mosaic(half.data(), &bitmap, 0, 0);
    EXPECT_EQ(half.at(1, 1), rgb(2 * 40, 2 * 90, 7));
    EXPECT_EQ(half.at(3, 2), rgb(1 * 40, 1 * 90, 7));
    free(bitmap.pixels);
}

TEST_F(TexgenBitmapTest, StretchedBitmapCoversThePicture)
{
    TexgenBitmap bitmap =
        make_bitmap(2, 2, [](int x, int y) { return (uint32_t)(x ? 200 : 10) << 24 | (uint32_t)(y ? 200 : 10) << 16; });
    Picture picture(0, 0, 0);
    texgen_draw_stretched(picture.data(), &bitmap, 0, 0);
    // A step of 1/1280 a pixel: the first column and row of the bitmap almost everywhere.
    EXPECT_EQ(picture.at(0, 0), rgb(10, 10, 0));
    EXPECT_EQ(picture.at(640, 512), rgb(10, 10, 0));
    EXPECT_EQ(picture.at(1200, 1000), rgb(10, 10, 0));

    // 3 x 3 over 4 x 4: steps of 1/2.
    texgen_set_output_size(4, 4);
    TexgenBitmap three =
        make_bitmap(3, 3, [](int x, int y) { return (uint32_t)(x * 100) << 24 | (uint32_t)(y * 100) << 16; });
    Picture small(0, 0, 0);
    texgen_draw_stretched(small.data(), &three, 0, 0);
    const int expected[4] = {0, 0, 1, 1};
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++) EXPECT_EQ(small.at(x, y), rgb(expected[x] * 100, expected[y] * 100, 0));
    // A window shifted past the bitmap is held at its last pixels.
    texgen_draw_stretched(small.data(), &three, 2, -7);
    EXPECT_EQ(small.at(0, 3), rgb(200, 0, 0));
    free(bitmap.pixels);
    free(three.pixels);
}

TEST_F(TexgenBitmapTest, FadedBitmap)
{
    TexgenBitmap bitmap =
        make_bitmap(50, 40, [](int x, int y) { return (uint32_t)(x * 5) << 24 | (uint32_t)(y * 6) << 16 | 0xFF00u; });
    Picture picture(0, 0, 100);
    texgen_fbitmap_draw(picture.data(), 300, 200, 50, 40, bitmap.pixels);
    int b = (int)(std::sqrt(50.0 * 50 + 40 * 40) * 0.1);  // 6
    ASSERT_EQ(b, 6);
    EXPECT_EQ(picture.at(300 + 25, 200 + 20), rgb(25 * 5, 20 * 6, 255));  // inside: the source itself
    EXPECT_EQ(picture.at(300 + 7, 200 + 7), rgb(7 * 5, 7 * 6, 255));
    for (int i : {0, 3, 6, 44, 49}) {
        float a = texgen_feather_weight(i, 20, 50, 40, b);
        float a2 = a * a;
        uint32_t blue = (uint32_t)(255.0f * a2 + 100.0f * (1 - a2));
        EXPECT_EQ(picture.at(300 + i, 220), rgb((uint32_t)(i * 5 * a2), (uint32_t)(120 * a2), blue)) << i;
    }
    EXPECT_EQ(picture.at(300, 220), rgb(0, 0, 100));
    EXPECT_EQ(picture.at(350, 220), rgb(0, 0, 100));

    // At twice the size the bitmap is drawn twice as large, reading only its own pixels.
    texgen_set_output_size(2560, 2048);
    Picture large(0, 0, 100);
    texgen_fbitmap_draw(large.data(), 600, 400, 50, 40, bitmap.pixels);
    EXPECT_EQ(large.at(600 + 50, 400 + 40), rgb(25 * 5, 20 * 6, 255));
    EXPECT_EQ(large.at(600 + 51, 400 + 41), rgb(25 * 5, 20 * 6, 255));
    EXPECT_EQ(large.at(600 + 100, 400 + 40), rgb(0, 0, 100));
    free(bitmap.pixels);
}

TEST_F(TexgenBitmapTest, PanelWithItsShadow)
{
    TexgenStep step = {};
    step.kind = TEXGEN_CARREDEGRADE;
    step.x = 100;
    step.y = 200;
    step.size_w = 300;
    step.size_h = 150;
    step.colour[0] = 255;
    step.colour[1] = 128;
    Picture picture(200, 200, 200);
    texgen_draw_panel(picture.data(), &step);
    EXPECT_EQ(picture.at(250, 275), rgb(255, 128, 0));
    EXPECT_EQ(picture.at(100, 200), 0xC8C8C8u);  // the corner: weight 0, and no shadow there yet
    // Fading over 24 pixels from the left edge (left of the shadow).
    for (int i : {0, 6, 12, 15, 24}) {
        float a = texgen_feather_weight(i, 75, 300, 150, 24);
        float a2 = a * a;
        EXPECT_EQ(picture.at(100 + i, 275), rgb((uint32_t)(255 * a2 + 200 * (1 - a2)),
                                                (uint32_t)(128 * a2 + 200 * (1 - a2)), (uint32_t)(200 * (1 - a2))))
            << i;
    }
    // The shadow, 16 pixels right and down, shows only its fading border beside the panel.
    auto shade = [](float a) {
        uint32_t v = (uint32_t)(200.0f * (1.0f - a * a * 0.5f));
        return rgb(v, v, v);
    };
    EXPECT_EQ(picture.at(405, 280), shade(texgen_feather_weight(289, 64, 300, 150, 24)));
    EXPECT_NE(picture.at(405, 280), 0xC8C8C8u);
    EXPECT_EQ(picture.at(415, 280), 0xC8C8C8u);  // weight 0 on the shadow's last column
    EXPECT_EQ(picture.at(250, 360), shade(texgen_feather_weight(134, 144, 300, 150, 24)));
    EXPECT_EQ(picture.at(250, 366), 0xC8C8C8u);
    Picture dark(200, 200, 200);
    texgen_feather_rect_darken(dark.data(), 10, 10, 100, 80, 6);
    EXPECT_EQ(dark.at(60, 50), 0x646464u);
    EXPECT_EQ(dark.at(12, 50), shade(texgen_feather_weight(2, 40, 100, 80, 6)));
    EXPECT_EQ(dark.at(9, 50), 0xC8C8C8u);

    // At half the output size positions, sizes and the fade halve; the shadow offset does not.
    texgen_set_output_size(640, 512);
    Picture half(200, 200, 200);
    texgen_draw_panel(half.data(), &step);
    EXPECT_EQ(half.at(125, 137), rgb(255, 128, 0));
    EXPECT_EQ(half.at(50, 137), 0xC8C8C8u);
    float a = texgen_feather_weight(6, 37, 150, 75, 12);
    EXPECT_EQ(half.at(56, 137), rgb((uint32_t)(255 * a * a + 200 * (1 - a * a)),
                                    (uint32_t)(128 * a * a + 200 * (1 - a * a)), (uint32_t)(200 * (1 - a * a))));
    EXPECT_EQ(half.at(205, 140), shade(texgen_feather_weight(139, 24, 150, 75, 24)));  // offset 16, border 24
    EXPECT_EQ(half.at(215, 140), 0xC8C8C8u);
}

}  // namespace
