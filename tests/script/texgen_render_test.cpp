// The texture-script renderer: the same script gives the same bytes.
#include "tests/script/texgen_test_util.h"

#include <cstdlib>

namespace {

using TexgenRenderTest = TexgenTest;

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

}  // namespace
