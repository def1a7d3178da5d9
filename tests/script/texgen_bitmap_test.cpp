// Bitmap layers of the texture scripts: clouds tile without seams.
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

}  // namespace
