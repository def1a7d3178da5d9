// Helpers of the data tests: the data folder the build wrote, the configuration texts freed,
// pictures loaded through the game's loader, and measures on them.
#pragma once

#include "codecs/codecs.h"
#include "platform/system.h"
#include "script/config_main.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

// Frees what reading script.txt through the main table allocated.
inline void data_test_free_config_texts()
{
    auto release = [](char **texts, int count) {
        for (int i = 0; i < count; i++) {
            free(texts[i]);
            texts[i] = nullptr;
        }
    };
    for (char **texts :
         {g_theme_names, g_theme_scene_files, g_theme_sky_left, g_theme_sky_front, g_theme_sky_right, g_theme_sky_back})
        release(texts, THEME_MAX);
    release(g_menu_texts, MENU_TEXT_COUNT);
    release(g_presentation_pages, 4);
}

// A picture loaded by base name from the build's run folder; freed with the object.
struct DataPicture {
    ImageData image = {};
    bool loaded = false;

    DataPicture(const char *base_name, int alpha_mode)
    {
        loaded = image_load_by_base_name(base_name, &image, alpha_mode) == 1;
    }
    ~DataPicture() { free(image.pixels); }
    DataPicture(const DataPicture &) = delete;
    DataPicture &operator=(const DataPicture &) = delete;

    const uint8_t *at(int x, int y) const { return image.pixels + ((size_t)y * image.width + x) * 4; }
};

// The tests read the data folder the build wrote into its run folder.
class DataRunFolderTest : public ::testing::Test {
protected:
    TempDir user;
    TestPathRestore restore;
    void SetUp() override { sys_path_reset(ZAV_RUN_DIR, user.path.c_str()); }
};

// Relative luminance of an sRGB pixel, 0..1.
inline double data_test_luminance(const uint8_t *p)
{
    auto linear = [](uint8_t c) {
        double v = c / 255.0;
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(p[0]) + 0.7152 * linear(p[1]) + 0.0722 * linear(p[2]);
}

// Luma of the gamma-encoded bytes, 0..1: how light a pixel looks.
inline double data_test_luma(const uint8_t *p) { return (0.2126 * p[0] + 0.7152 * p[1] + 0.0722 * p[2]) / 255.0; }

// Mean absolute difference of the RGBA bytes of columns a and b (rows when `rows`).
inline double data_test_line_difference(const ImageData &image, int a, int b, bool rows)
{
    int n = rows ? image.width : image.height;
    double sum = 0;
    for (int i = 0; i < n; i++) {
        const uint8_t *p = image.pixels + (rows ? ((size_t)a * image.width + i) : ((size_t)i * image.width + a)) * 4;
        const uint8_t *q = image.pixels + (rows ? ((size_t)b * image.width + i) : ((size_t)i * image.width + b)) * 4;
        for (int k = 0; k < 4; k++) sum += std::abs(p[k] - q[k]);
    }
    return sum / n;
}

// A picture repeats without a seam: its last column (row) follows its first no more abruptly
// than any column (row) inside follows its neighbour.
inline void data_test_expect_wraps(const ImageData &image)
{
    for (bool rows : {false, true}) {
        SCOPED_TRACE(rows ? "rows" : "columns");
        int n = rows ? image.height : image.width;
        double inner = 0;
        for (int i = 0; i + 1 < n; i++) inner = std::fmax(inner, data_test_line_difference(image, i, i + 1, rows));
        EXPECT_LE(data_test_line_difference(image, n - 1, 0, rows), inner);
    }
}
