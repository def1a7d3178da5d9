// The 3D scenes' pictures as the game loads them: the palette's textures repeat without seams and
// the leaves keep a clean mask; the sky quarters join round the world, take their theme's colours
// once the view tints them, and hold the sun where the scene's light comes from.
#include "tests/config_test_util.h"
#include "tests/tools/data_test_util.h"
#include "tools/data_pictures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char *const g_textures[] = {"01_turf", "02_wood",  "03_stone", "05_grass", "06_kerb", "07_meadow", "08_water",
                                  "09_red",  "10_white", "11_sand",  "12_roof",  "16_bark", "17_leaves"};

using DataThemeTexturesTest = DataRunFolderTest;

TEST_F(DataThemeTexturesTest, ThirteenTileable)
{
    for (const char *name : g_textures) {
        SCOPED_TRACE(name);
        DataPicture texture(("data/themes/garden/tex/" + std::string(name)).c_str(), 1);
        ASSERT_TRUE(texture.loaded);
        ASSERT_EQ(texture.image.width, 256);
        ASSERT_EQ(texture.image.height, 256);
        bool leaves = std::string(name) == "17_leaves";
        bool transparent = false;
        for (int i = 0; i < 256 * 256; i++) transparent |= texture.image.pixels[i * 4 + 3] != 255;
        EXPECT_EQ(transparent, leaves);
        data_test_expect_wraps(texture.image);
    }
}

TEST_F(DataThemeTexturesTest, LeavesCoverage)
{
    DataPicture leaves("data/themes/garden/tex/17_leaves", 1);
    ASSERT_TRUE(leaves.loaded);
    int covered = 0, rim = 0, n = leaves.image.width * leaves.image.height;
    for (int i = 0; i < n; i++) {
        uint8_t a = leaves.image.pixels[i * 4 + 3];
        covered += a == 255;
        rim += a != 0 && a != 255;
    }
    printf("figure: leaves %.1f%% covered, %.1f%% rim\n", 100.0 * covered / n, 100.0 * rim / n);
    EXPECT_GE(covered, n * 3 / 10);
    EXPECT_LE(covered, n * 7 / 10);
    EXPECT_LT(rim, n / 10);
}

// The four quarters of a theme's sky side by side, LEFT to BACK, tinted as the hole view draws them.
struct Panorama {
    int width = 0, height = 0;
    std::vector<float> rgb;  // 0..1, tinted
    int clipped = 0;         // pixels with a channel at 255 in the files

    const float *at(int x, int y) const { return &rgb[((size_t)y * width + x) * 3]; }
};

class DataSkiesTest : public DataRunFolderTest {
protected:
    ConfigRestore config;
    Panorama skies[3];

    void SetUp() override
    {
        DataRunFolderTest::SetUp();
        config_read_file(g_main_config_table, "data/txt/script.txt");
        ASSERT_EQ(config_theme_count(), 3);
        for (int t = 0; t < 3; t++) {
            SCOPED_TRACE(g_theme_names[t]);
            int ambient[3] = {g_theme_ambient_r[t], g_theme_ambient_g[t], g_theme_ambient_b[t]};
            float tint[3];
            data_sky_tint(ambient, tint);
            const char *names[] = {g_theme_sky_left[t], g_theme_sky_front[t], g_theme_sky_right[t],
                                   g_theme_sky_back[t]};
            Panorama &p = skies[t];
            for (int q = 0; q < 4; q++) {
                ASSERT_NE(names[q], nullptr);
                DataPicture quarter(names[q], 0);
                ASSERT_TRUE(quarter.loaded) << names[q];
                ASSERT_EQ(quarter.image.width, 512);
                ASSERT_EQ(quarter.image.height, 512);
                if (q == 0) {
                    p.width = 2048;
                    p.height = 512;
                    p.rgb.resize((size_t)p.width * p.height * 3);
                }
                for (int y = 0; y < 512; y++)
                    for (int x = 0; x < 512; x++) {
                        const uint8_t *s = quarter.at(x, y);
                        p.clipped += s[0] == 255 || s[1] == 255 || s[2] == 255;
                        float *d = &p.rgb[((size_t)y * p.width + q * 512 + x) * 3];
                        for (int k = 0; k < 3; k++) d[k] = s[k] / 255.0f * tint[k];
                    }
            }
        }
    }
    void TearDown() override { data_test_free_config_texts(); }

    static float column_difference(const Panorama &p, int a, int b)
    {
        float sum = 0;
        for (int y = 0; y < p.height; y++)
            for (int k = 0; k < 3; k++) sum += std::fabs(p.at(a, y)[k] - p.at(b, y)[k]);
        return sum / p.height;
    }
    // Mean of channel k (or of the luma for k = 3) over a block of the panorama.
    static float mean(const Panorama &p, int x0, int y0, int x1, int y1, int k)
    {
        double sum = 0;
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++) {
                const float *c = p.at(x, y);
                sum += k < 3 ? c[k] : 0.2126f * c[0] + 0.7152f * c[1] + 0.0722f * c[2];
            }
        return (float)(sum / ((double)(x1 - x0) * (y1 - y0)));
    }
};

TEST_F(DataSkiesTest, QuartersJoin)
{
    for (int t = 0; t < 3; t++) {
        SCOPED_TRACE(t);
        const Panorama &p = skies[t];
        float inner = 0;
        for (int x = 0; x + 1 < p.width; x++)
            if ((x + 1) % 512 != 0) inner = std::fmax(inner, column_difference(p, x, x + 1));
        for (int q = 0; q < 4; q++) EXPECT_LE(column_difference(p, q * 512 + 511, (q + 1) % 4 * 512), inner) << q;
    }
}

TEST_F(DataSkiesTest, TintedColours)
{
    const Panorama &garden = skies[0], &desert = skies[1], &night = skies[2];
    EXPECT_GE(mean(garden, 0, 0, 2048, 8, 2), mean(garden, 0, 0, 2048, 8, 0) + 0.1f);
    EXPECT_GE(mean(desert, 0, 400, 2048, 431, 0), mean(desert, 0, 400, 2048, 431, 2));
    EXPECT_LT(mean(night, 0, 0, 2048, 8, 3), 0.25f);
    for (const Panorama &p : skies) EXPECT_LE(p.clipped, p.width * p.height / 100);
}

TEST_F(DataSkiesTest, SunWhereTheLightIs)
{
    for (int t = 0; t < 3; t++) {
        int brightest = 0;
        float best = -1;
        for (int band = 0; band < 2048 / 64; band++) {
            float v = mean(skies[t], band * 64, 0, band * 64 + 64, 512, 3);
            if (v > best) {
                best = v;
                brightest = band;
            }
        }
        printf("figure: theme %d brightest band at columns %d-%d\n", t, brightest * 64, brightest * 64 + 63);
        EXPECT_EQ(brightest * 64 / 512, 2) << "theme " << t << ": not in RIGHT";
    }
}

}  // namespace
