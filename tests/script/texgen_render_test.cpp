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

TEST_F(TexgenRenderTest, StepsOfUnknownKindsDrawNothing)
{
    TexgenScript *script = (TexgenScript *)calloc(1, sizeof(TexgenScript));
    script->step_count = 3;
    script->steps[0].kind = 0;
    script->steps[1].kind = 11;
    script->steps[2].kind = -1;
    texgen_set_output_size(4, 4);
    uint8_t *picture = texgen_render(script);
    ASSERT_NE(picture, nullptr);
    for (int i = 0; i < 64; i++) EXPECT_EQ(picture[i], 0);
    free(picture);
    texgen_script_free(script);
}

} // namespace
