// The texture-script renderer: output size and scales, the picture it hands back, freeing.
#include "tests/script/texgen_test_util.h"

#include <cstdlib>

namespace {

using TexgenRenderTest = TexgenTest;

TEST_F(TexgenRenderTest, OutputSizeSetsTheScales)
{
    texgen_set_output_size(640, 512);
    EXPECT_EQ(g_texgen_width, 640);
    EXPECT_EQ(g_texgen_height, 512);
    EXPECT_FLOAT_EQ(g_texgen_scale_x, 0.5f);
    EXPECT_FLOAT_EQ(g_texgen_scale_y, 0.5f);
    EXPECT_FLOAT_EQ(g_texgen_scale640_x, 1.0f);
    EXPECT_FLOAT_EQ(g_texgen_scale640_y, 512.0f / 480.0f);
    EXPECT_EQ(texgen_design_x(101), 50);
    EXPECT_EQ(texgen_design_y(-101), -50);  // towards zero

    texgen_set_output_size(1920, 1080);
    EXPECT_EQ(texgen_design_x(1280), 1920);
    EXPECT_EQ(texgen_design_y(1024), 1080);
    EXPECT_EQ(texgen_design_x(100), 150);
    EXPECT_EQ(texgen_design_y(100), 105);  // 105.46875

    texgen_set_output_size(1280, 1024);
    EXPECT_EQ(texgen_design_x(777), 777);
    EXPECT_EQ(texgen_design_y(-3), -3);
}

TEST_F(TexgenRenderTest, PictureStartsBlackAtTheSetSize)
{
    TexgenScript *script = read(u"COMPOSITION { }");
    ASSERT_NE(script, nullptr);
    texgen_set_output_size(33, 7);
    uint8_t *picture = texgen_render(script);
    ASSERT_NE(picture, nullptr);
    for (int i = 0; i < 33 * 7 * 4; i++) ASSERT_EQ(picture[i], 0) << i;
    free(picture);

    texgen_set_output_size(0, 7);
    EXPECT_EQ(texgen_render(script), nullptr);
    texgen_set_output_size(-5, 7);
    EXPECT_EQ(texgen_render(script), nullptr);
    texgen_set_output_size(100000, 100000);
    EXPECT_EQ(texgen_render(script), nullptr);
    texgen_script_free(script);
    texgen_script_free(nullptr);
}

TEST_F(TexgenRenderTest, TheSameScriptGivesTheSameBytes)
{
    write_png("photo.png", 40, 30, texgen_test_picture(40, 30, [](int x, int y) {
                  return (uint32_t)(x * 6) << 24 | (uint32_t)(y * 8) << 16 | 0x80FF;
              }));
    texgen_set_game_name("Zav");
    texgen_set_output_size(320, 256);
    TexgenScript *first = read(TEXGEN_TEST_EVERY_STEP);
    TexgenScript *second = read(TEXGEN_TEST_EVERY_STEP);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(first->step_count, 10);
    uint8_t *a = texgen_render(first);
    uint8_t *b = texgen_render(second);
    uint8_t *c = texgen_render(first);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(memcmp(a, b, 320 * 256 * 4), 0);
    EXPECT_EQ(memcmp(a, c, 320 * 256 * 4), 0);
    free(a);
    free(b);
    free(c);
    texgen_script_free(first);
    texgen_script_free(second);
}

TEST_F(TexgenRenderTest, PositionsScaleWithTheOutput)
{
    TexgenScript *script = read(u"COMPOSITION {\r\nCARREDEGRADE=COULEUR(200,100,50) (400,300) (320,256)\r\n"
                                u"EMBOSS=(0,0,0) (1,1,1)\r\n}\r\n");
    ASSERT_NE(script, nullptr);
    for (int width : {1280, 640, 1920}) {
        int height = width * 4 / 5;
        texgen_set_output_size(width, height);
        uint8_t *picture = texgen_render(script);
        ASSERT_NE(picture, nullptr);
        float s = (float)width / 1280.0f;
        auto colour = [&](int x, int y) {
            const uint8_t *p = picture + ((size_t)y * width + x) * 4;
            return (uint32_t)p[0] << 16 | p[1] << 8 | p[2];
        };
        // The panel's middle and the black just outside its scaled corner.
        EXPECT_EQ(colour((int)(560 * s), (int)(428 * s)), 0xC86432u) << width;
        EXPECT_EQ(colour((int)(400 * s) - 1, (int)(428 * s)), 0u) << width;
        EXPECT_EQ(colour((int)(720 * s) + (int)(16 * s) + 17, (int)(428 * s)), 0u) << width;
        free(picture);
    }
    texgen_script_free(script);
}

}  // namespace
