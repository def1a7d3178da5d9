// The texgen tool: a script using every kind of step rendered to a PNG, compared with the picture
// that the library renders for it.
#include "tests/script/texgen_test_util.h"

#include <cstdlib>

namespace {

using TexgenToolTest = TexgenTest;

int run_tool(const std::string &arguments)
{
    std::string command = std::string(ZAV_TEXGEN_TOOL) + " " + arguments + " > /dev/null 2>&1";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(TexgenToolTest, RendersAScriptUsingEveryStepKind)
{
    write_photo();
    std::u16string text = TEXGEN_TEST_EVERY_STEP;
    test_write_file(temp / "every.txt", texgen_test_utf16(text));
    ASSERT_EQ(run_tool(temp / "every.txt" + " " + temp / "every.png" + " 640 512"), 0);
    ImageData image = {};
    ASSERT_EQ(png_load_file((temp / "every.png").c_str(), &image, 0), 1);
    ASSERT_EQ(image.width, 640);
    ASSERT_EQ(image.height, 512);

    // The same picture as the library's, at the same size.
    texgen_set_output_size(640, 512);
    TexgenScript *script = read(text);
    ASSERT_NE(script, nullptr);
    uint8_t *picture = texgen_render(script);
    ASSERT_NE(picture, nullptr);
    int differing = 0;
    for (int i = 0; i < 640 * 512; i++)
        for (int k = 0; k < 3; k++) differing += image.pixels[i * 4 + k] != picture[i * 4 + k];
    EXPECT_EQ(differing, 0);
    free(picture);
    texgen_script_free(script);

    // What the steps leave, seen in the file: the red panel (the emboss's spot covers the picture and
    // its weights give no relief), the white text, the clouds' blues.
    auto colour = [&](int x, int y) {
        const uint8_t *p = image.pixels + ((size_t)y * 640 + x) * 4;
        return (uint32_t)p[0] << 16 | p[1] << 8 | p[2];
    };
    EXPECT_EQ(colour(150, 130), 0xFF0000u);
    int white = 0, blue = 0;
    for (int y = 340; y < 380; y++)
        for (int x = 60; x < 200; x++) white += colour(x, y) == 0xFFFFFFu;
    for (int y = 0; y < 40; y++)
        for (int x = 400; x < 640; x++) {
            uint32_t c = colour(x, y);
            blue += (c & 0xFF) > (c >> 16) && (c & 0xFF) > 0;
        }
    EXPECT_GT(white, 100);
    EXPECT_GT(blue, 1000);
    free(image.pixels);
}

}  // namespace
