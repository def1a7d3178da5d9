// Seed inputs of the PNG fuzz target: every colour type, small depths, 16 bits, transparency and
// interlace, from libpng's writer through the tests' helper, and files of the engine's own writer.
#include "codecs/codecs.h"
#include "tests/codecs/codecs_test_util.h"

#include <cstdio>
#include <string>

namespace {

int write_bytes(const char *folder, const char *name, const std::string &bytes)
{
    std::string path = std::string(folder) + "/" + name;
    FILE *file = bytes.empty() ? nullptr : fopen(path.c_str(), "wb");
    if (!file) return 0;
    int ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}

TestPng made(int width, int height, int depth, int colour, int bytes_per_row)
{
    TestPng png;
    png.width = width;
    png.height = height;
    png.depth = depth;
    png.colour = colour;
    png.rows = test_random_bytes((size_t)bytes_per_row * height, (uint32_t)(depth * 16 + colour));
    return png;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) return 2;
    const char *folder = argv[1];
    TestPng grey = made(5, 4, 8, PNG_COLOR_TYPE_GRAY, 5);
    TestPng grey1 = made(9, 3, 1, PNG_COLOR_TYPE_GRAY, 2);
    TestPng grey_alpha = made(4, 4, 8, PNG_COLOR_TYPE_GRAY_ALPHA, 8);
    TestPng rgb16 = made(3, 3, 16, PNG_COLOR_TYPE_RGB, 18);
    TestPng keyed = made(4, 2, 8, PNG_COLOR_TYPE_RGB, 12);
    keyed.has_trans_colour = true;
    keyed.trans_colour.red = keyed.rows[0];
    TestPng palette = made(6, 5, 4, PNG_COLOR_TYPE_PALETTE, 3);
    for (int i = 0; i < 16; i++) palette.palette.push_back(png_color{(uint8_t)(i * 16), (uint8_t)(255 - i), (uint8_t)i});
    palette.trans_alpha = {0, 128, 255};
    TestPng adam7 = made(11, 9, 8, PNG_COLOR_TYPE_RGB_ALPHA, 44);
    adam7.interlace = PNG_INTERLACE_ADAM7;

    std::vector<uint8_t> pixels = test_picture(12, 7, 3);
    ImageData rgba = test_image(pixels, 12, 7, 1);
    ImageData rgb = test_image(pixels, 12, 7, 0);
    std::string base = std::string(folder) + "/";
    int ok = write_bytes(folder, "grey", test_png_bytes(grey)) && write_bytes(folder, "grey1", test_png_bytes(grey1)) &&
             write_bytes(folder, "grey-alpha", test_png_bytes(grey_alpha)) &&
             write_bytes(folder, "rgb16", test_png_bytes(rgb16)) && write_bytes(folder, "keyed", test_png_bytes(keyed)) &&
             write_bytes(folder, "palette", test_png_bytes(palette)) &&
             write_bytes(folder, "adam7", test_png_bytes(adam7)) &&
             png_write_file((base + "engine-rgba").c_str(), &rgba) &&
             png_write_file((base + "engine-rgb").c_str(), &rgb);
    return ok ? 0 : 1;
}
