// Picture effects of the texture scripts: ONDE, ONDEOMBREE and EMBOSS against the formulas.
#include "tests/script/texgen_test_util.h"

#include <cmath>

namespace {

// Pixel (x, y) holds red x, green y and blue 7 x + 3 y (a 160 x 128 picture fits in bytes).
std::vector<uint8_t> coordinates_picture()
{
    return texgen_test_picture(g_texgen_width, g_texgen_height, [](int x, int y) {
        return (uint32_t)x << 24 | (uint32_t)y << 16 | (uint32_t)((7 * x + 3 * y) & 255) << 8 | 0x55;
    });
}

const uint8_t *at(const std::vector<uint8_t> &picture, int x, int y)
{
    return &picture[((size_t)y * g_texgen_width + x) * 4];
}

// The ripple's height, written out from its definition.
double height(double a, double b, double ex, double ey)
{
    double reach = std::sqrt(80.0 * 80.0 + 64.0 * 64.0);
    double d = std::min(std::sqrt(ex * ex + ey * ey) / reach, 1.0);
    return a * (1 - d) * (std::sin(b * 3.14159 * d) + 1) * 0.5;
}

TexgenStep effect(int32_t kind, int32_t a, int32_t b, int32_t x, int32_t y)
{
    TexgenStep step = {};
    step.kind = kind;
    step.param_a = a;
    step.param_b = b;
    step.x = x;
    step.y = y;
    return step;
}

class TexgenEffectTest : public TexgenTest {
protected:
    void SetUp() override
    {
        TexgenTest::SetUp();
        texgen_set_output_size(160, 128);
    }
};

TEST_F(TexgenEffectTest, RippleWithoutAmplitudeLeavesThePicture)
{
    std::vector<uint8_t> picture = coordinates_picture(), before = picture;
    TexgenStep step = effect(TEXGEN_ONDE, 0, 5, 0, 0);
    texgen_draw_ripple(picture.data(), &step);
    EXPECT_EQ(picture, before);
}

TEST_F(TexgenEffectTest, RippleMovesPixelsWhereTheFormulaSays)
{
    std::vector<uint8_t> picture = coordinates_picture();
    TexgenStep step = effect(TEXGEN_ONDE, 30, 4, 0, 0);
    texgen_draw_ripple(picture.data(), &step);
    int moved = 0;
    for (int r = 0; r < 128; r += 3)
        for (int c = 0; c < 160; c += 5) {
            double dx = c - 80, dy = r - 64;
            double gx = height(30, 4, dx + 1, dy) - height(30, 4, dx - 1, dy);
            double gy = height(30, 4, dx, dy + 1) - height(30, 4, dx, dy - 1);
            int sc = std::clamp((int)(c + gx), 0, 159), sr = std::clamp((int)(r + gy), 0, 127);
            ASSERT_EQ(at(picture, c, r)[0], sc) << c << "," << r;
            ASSERT_EQ(at(picture, c, r)[1], sr) << c << "," << r;
            ASSERT_EQ(at(picture, c, r)[3], 0x55);  // the fourth byte stays
            moved += sc != c || sr != r;
        }
    EXPECT_GT(moved, 100);
}

TEST_F(TexgenEffectTest, ShadedRipple)
{
    std::vector<uint8_t> plain = coordinates_picture(), shaded = plain, lit = plain;
    TexgenStep onde = effect(TEXGEN_ONDE, 25, 3, 0, 0);
    TexgenStep unlit = effect(TEXGEN_ONDEOMBREE, 25, 3, 0, 0);
    texgen_draw_ripple(plain.data(), &onde);
    texgen_draw_ripple(shaded.data(), &unlit);
    EXPECT_EQ(shaded, plain);  // no light: no shade

    // Lit from (800, -400): f = 1 + trunc(gx x + gy y) / 2048 on the moved pixel.
    TexgenStep light = effect(TEXGEN_ONDEOMBREE, 25, 3, 800, -400);
    texgen_draw_ripple(lit.data(), &light);
    int brighter = 0, darker = 0;
    for (int r = 0; r < 128; r += 7)
        for (int c = 0; c < 160; c += 3) {
            double dx = c - 80, dy = r - 64;
            double gx = height(25, 3, dx + 1, dy) - height(25, 3, dx - 1, dy);
            double gy = height(25, 3, dx, dy + 1) - height(25, 3, dx, dy - 1);
            double f = 1 + std::trunc(gx * 800 + gy * -400) / 2048;
            const uint8_t *source = at(plain, c, r);
            for (int k = 0; k < 3; k++)
                ASSERT_EQ(at(lit, c, r)[k], (int)std::clamp(std::trunc(source[k] * f), 0.0, 255.0)) << c << "," << r;
            brighter += f > 1.01, darker += f < 0.99;
        }
    EXPECT_GT(brighter, 10);
    EXPECT_GT(darker, 10);
}

TEST_F(TexgenEffectTest, EmbossLightsADiscOnAFlatPicture)
{
    // The spot at the design centre (80, 64 here), radius 40: flat at 255 in its middle, doubled there.
    std::vector<uint8_t> picture = texgen_test_picture(160, 128, [](int, int) { return 0x643CC8FFu; });
    TexgenStep step = effect(TEXGEN_EMBOSS, 0, 40, 640, 512);
    step.colour[0] = step.colour[1] = step.colour[2] = 1;
    texgen_draw_emboss(picture.data(), &step);
    EXPECT_EQ(at(picture, 80, 64)[0], 200);
    EXPECT_EQ(at(picture, 80, 64)[1], 120);
    EXPECT_EQ(at(picture, 80, 64)[2], 255);
    EXPECT_EQ(at(picture, 84, 66)[0], 200);  // t = 0.11: still flat
    // Half the radius away: 300 x 0.5 of 255.
    float m = 150.0f / 255.0f;
    EXPECT_EQ(at(picture, 100, 64)[0], (int)(2.0f * 100.0f * m));
    EXPECT_EQ(at(picture, 80, 44)[1], (int)(2.0f * 60.0f * m));
    // At and beyond the radius: black.
    for (int x : {0, 40, 121, 159}) EXPECT_EQ(at(picture, x, 64)[0], 0) << x;
    EXPECT_EQ(at(picture, 80, 0)[2], 0);
    EXPECT_EQ(at(picture, 80, 64)[3], 255);
}

TEST_F(TexgenEffectTest, EmbossShiftsTheLightAtEdges)
{
    // A square of 48 on 16, weights (1, 1, 1), a spot of radius 120 at the centre. At an edge the
    // relief steps by 3 x 32 and the lookup moves that far in the spot map.
    std::vector<uint8_t> picture = texgen_test_picture(
        160, 128, [](int x, int y) { return (x >= 60 && x < 100 && y >= 40 && y < 80) ? 0x303030FFu : 0x101010FFu; });
    TexgenStep step = effect(TEXGEN_EMBOSS, 0, 120, 640, 512);
    step.colour[0] = step.colour[1] = step.colour[2] = 1;
    texgen_draw_emboss(picture.data(), &step);
    // Flat relief: map (c + 80, r + 64), 18.4 pixels from the spot's centre for (98, 60): 253.
    EXPECT_EQ(at(picture, 98, 60)[0], (int)(2.0f * 48.0f * (253.0f / 255.0f)));
    EXPECT_EQ(at(picture, 58, 60)[0], (int)(2.0f * 16.0f * (244.0f / 255.0f)));
    // Left of the left edge the lookup moves 96 right, 75 from the centre: 112.
    EXPECT_EQ(at(picture, 59, 60)[0], (int)(2.0f * 16.0f * (112.0f / 255.0f)));
    // On the right edge it moves 96 left, 77 from the centre: 107.
    EXPECT_EQ(at(picture, 99, 60)[0], (int)(2.0f * 48.0f * (107.0f / 255.0f)));
    // Large weights push the lookup out of the map; it is held at the map's edge.
    TexgenStep steep = step;
    steep.colour[0] = steep.colour[1] = steep.colour[2] = 1000;
    std::vector<uint8_t> again =
        texgen_test_picture(160, 128, [](int x, int) { return x < 80 ? 0xFFFFFFFFu : 0x000000FFu; });
    texgen_draw_emboss(again.data(), &steep);
    EXPECT_EQ(at(again, 79, 60)[0], 0);
}

TEST_F(TexgenEffectTest, EmbossWithoutRadiusIsSkipped)
{
    std::vector<uint8_t> picture = coordinates_picture(), before = picture;
    for (int radius : {0, -10}) {
        TexgenStep step = effect(TEXGEN_EMBOSS, 0, radius, 640, 512);
        step.colour[0] = 1;
        texgen_draw_emboss(picture.data(), &step);
        EXPECT_EQ(picture, before);
    }
}

TEST_F(TexgenEffectTest, TinyPictures)
{
    for (int size : {1, 2, 3}) {
        texgen_set_output_size(size, size);
        std::vector<uint8_t> picture(size * size * 4, 77);
        TexgenStep onde = effect(TEXGEN_ONDEOMBREE, 1000000, 1000000, -1000000, 1000000);
        texgen_draw_ripple(picture.data(), &onde);
        TexgenStep emboss = effect(TEXGEN_EMBOSS, 0, 1, 1000000, -1000000);
        emboss.colour[0] = 1000000;
        emboss.colour[1] = -1000000;
        texgen_draw_emboss(picture.data(), &emboss);
    }
    SUCCEED();
}

}  // namespace
