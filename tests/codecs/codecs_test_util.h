// Test pictures for the codec tests and the fuzz corpus: PNG files of any colour type, depth and
// interlace written by libpng's own writer (independent of ours), and pixel patterns.
#pragma once

#include "codecs/codecs.h"

#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

struct TestPng {
    int width = 1;
    int height = 1;
    int depth = 8;
    int colour = PNG_COLOR_TYPE_RGB;
    int interlace = PNG_INTERLACE_NONE;
    std::vector<uint8_t> rows;  // height rows, each packed exactly as the PNG stores it
    std::vector<png_color> palette;
    std::vector<uint8_t> trans_alpha;  // tRNS of a palette image
    bool has_trans_colour = false;     // tRNS colour key of a grey or RGB image
    png_color_16 trans_colour = {};
};

inline void test_png_write_chunk(png_structp png, png_bytep data, size_t size)
{
    ((std::string *)png_get_io_ptr(png))->append((const char *)data, size);
}

inline void test_png_flush(png_structp) {}

// The PNG file of the description, or an empty string when libpng refuses it.
inline std::string test_png_bytes(const TestPng &in)
{
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    size_t stride = in.rows.size() / in.height;
    std::vector<png_bytep> rows(in.height);
    for (int y = 0; y < in.height; y++) rows[y] = (png_bytep)in.rows.data() + y * stride;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return std::string();
    }
    png_set_write_fn(png, &out, test_png_write_chunk, test_png_flush);
    png_set_IHDR(png, info, in.width, in.height, in.depth, in.colour, in.interlace, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!in.palette.empty()) png_set_PLTE(png, info, in.palette.data(), (int)in.palette.size());
    if (!in.trans_alpha.empty())
        png_set_tRNS(png, info, in.trans_alpha.data(), (int)in.trans_alpha.size(), nullptr);
    if (in.has_trans_colour) png_set_tRNS(png, info, nullptr, 0, (png_color_16p)&in.trans_colour);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

inline std::vector<uint8_t> test_random_bytes(size_t size, uint32_t seed)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; i++) {
        seed = seed * 1664525u + 1013904223u;
        bytes[i] = (uint8_t)(seed >> 24);
    }
    return bytes;
}

// A smooth RGBA picture (gradients with some noise), the kind of content the game's pictures hold.
inline std::vector<uint8_t> test_picture(int width, int height, uint32_t seed)
{
    std::vector<uint8_t> noise = test_random_bytes((size_t)width * height, seed);
    std::vector<uint8_t> pixels((size_t)width * height * 4);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            uint8_t *p = &pixels[((size_t)y * width + x) * 4];
            p[0] = (uint8_t)(x * 255 / (width > 1 ? width - 1 : 1));
            p[1] = (uint8_t)(y * 255 / (height > 1 ? height - 1 : 1));
            p[2] = (uint8_t)(noise[(size_t)y * width + x] & 0x3F);
            p[3] = (uint8_t)((x + y) * 7);
        }
    return pixels;
}

inline ImageData test_image(std::vector<uint8_t> &pixels, int width, int height, int has_alpha)
{
    ImageData image = {};
    image.pixels = pixels.data();
    image.width = width;
    image.height = height;
    image.has_alpha = has_alpha;
    return image;
}
