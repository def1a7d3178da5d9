// The interface pictures as the game loads them: sizes, alpha, the pages' layout, the texts drawn
// by the texture-script renderer, and the panel's seamless tiling.
#include "tools/data_pictures.h"
#include "tests/tools/data_test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct PictureCase {
    const char *name;
    int alpha_mode;  // as the game loads it
    int size;        // side of the square, 0 for a page
    bool has_alpha;  // drawn with alpha
};

const PictureCase g_pictures[] = {
    {"data/gfx/mouse0", 1, 64, true},
    {"data/gfx/mouse1", 1, 64, true},
    {"data/gfx/arrow", 1, 64, true},
    {"data/gfx/arrow_h", 1, 64, true},
    {"data/gfx/panel", 1, 128, false},
    {"data/gfx/button", 1, 64, false},
    {"data/gfx/folder", 1, 64, true},
    {"data/gfx/folder_back", 1, 64, true},
    {"data/gfx/up", 1, 64, true},
    {"data/gfx/ballgolf", 1, 256, false},
    {"data/gfx/no_preview", 0, 256, false},
    {"data/gfx/background", 0, 0, false},
    {"data/gfx/presentation1", 0, 0, false},
    {"data/perso/perso01", 1, 128, false},
    {"data/perso/perso02", 1, 128, false},
    {"data/perso/perso03", 1, 128, false},
    {"data/perso/perso04", 1, 128, false},
    {"data/perso/perso05", 1, 128, false},
    {"data/perso/perso06", 1, 128, false},
    {"data/logo/env", 0, 256, false},
    {"data/logo/env1", 0, 256, false},
    {"data/logo/env2", 0, 256, false},
    {"data/logo/light", 0, 128, false},
    {"data/logo/thunder", 1, 64, true},
};

using DataPicturesTest = DataRunFolderTest;

TEST_F(DataPicturesTest, LoadThroughTheGameLoader)
{
    EXPECT_EQ(sizeof g_pictures / sizeof g_pictures[0], 24u);
    for (const PictureCase &c : g_pictures) {
        SCOPED_TRACE(c.name);
        DataPicture picture(c.name, c.alpha_mode);
        ASSERT_TRUE(picture.loaded);
        int w = c.size ? c.size : 1280, h = c.size ? c.size : 1024;
        EXPECT_EQ(picture.image.width, w);
        EXPECT_EQ(picture.image.height, h);
    }
}

TEST_F(DataPicturesTest, AlphaWhereDrawnWithAlpha)
{
    for (const PictureCase &c : g_pictures) {
        SCOPED_TRACE(c.name);
        DataPicture picture(c.name, 1);  // the file's own alpha
        ASSERT_TRUE(picture.loaded);
        bool clear = false, solid = false, other = false;
        for (int y = 0; y < picture.image.height; y++)
            for (int x = 0; x < picture.image.width; x++) {
                uint8_t a = picture.at(x, y)[3];
                clear |= a == 0;
                solid |= a == 255;
                other |= a != 255;
            }
        EXPECT_TRUE(solid);
        if (c.has_alpha)
            EXPECT_TRUE(clear);
        else
            EXPECT_FALSE(other);
    }
    DataPicture pointer("data/gfx/mouse0", 1);
    ASSERT_TRUE(pointer.loaded);
    EXPECT_EQ(pointer.at(2, 2)[3], 255);  // the hot spot
    EXPECT_EQ(pointer.at(60, 4)[3], 0);
}

TEST_F(DataPicturesTest, PagesProbe)
{
    DataPicture page("data/gfx/background", 0);
    ASSERT_TRUE(page.loaded);
    const ImageData &image = page.image;
    double blue = 0, red = 0;
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < image.width; x++) {
            blue += page.at(x, y)[2];
            red += page.at(x, y)[0];
        }
    EXPECT_GT(blue, red * 1.3) << "a sky at the top";
    double third[3] = {0, 0, 0};
    for (int y = 0; y < image.height; y++)
        for (int x = 0; x < image.width; x++) third[x * 3 / image.width] += data_test_luma(page.at(x, y));
    double ratio = third[1] * 2 / (third[0] + third[2]);
    printf("figure: background middle third at %.2f of the outer thirds' luma\n", ratio);
    EXPECT_GE(ratio, 0.6);
    EXPECT_LE(ratio, 0.8);

    DataPicture ball("data/gfx/ballgolf", 1);
    ASSERT_TRUE(ball.loaded);
    int band = 0;
    for (int y = 0; y < ball.image.height; y++)
        for (int x = 0; x < ball.image.width; x++) {
            const uint8_t *p = ball.at(x, y);
            band += p[0] >= 150 && p[0] >= p[1] + 80 && p[0] >= p[2] + 80;
        }
    double share = (double)band / (ball.image.width * ball.image.height);
    EXPECT_GE(share, 0.03);
    EXPECT_LE(share, 0.20);
}

// Body pixels are the texts' light fill; outline pixels the halo, which darkens the ground to half.
bool body_pixel(const uint8_t *p) { return p[0] >= 190 && p[1] >= 190 && p[2] >= 170; }
bool outline_pixel(const uint8_t *p) { return data_test_luminance(p) < 0.05; }

TEST_F(DataPicturesTest, TextDrawnByTextureScripts)
{
    DataPicture page("data/gfx/presentation1", 0);
    ASSERT_TRUE(page.loaded);
    const int *box = g_data_title_box;
    int body = 0, outline = 0, area = (box[2] - box[0]) * (box[3] - box[1]);
    for (int y = box[1]; y < box[3]; y++)
        for (int x = box[0]; x < box[2]; x++) {
            body += body_pixel(page.at(x, y));
            outline += outline_pixel(page.at(x, y));
        }
    EXPECT_GE(body, area / 50);
    EXPECT_GE(outline, area / 50);
    // Nothing of the text reaches the box's corners.
    for (int corner = 0; corner < 4; corner++) {
        int x0 = corner & 1 ? box[2] - 24 : box[0], y0 = corner & 2 ? box[3] - 12 : box[1];
        for (int y = y0; y < y0 + 12; y++)
            for (int x = x0; x < x0 + 24; x++) {
                ASSERT_FALSE(body_pixel(page.at(x, y))) << x << ", " << y;
                ASSERT_FALSE(outline_pixel(page.at(x, y))) << x << ", " << y;
            }
    }

    // At half the size, boxed down: the title stays tall, its letters stand apart from the halo.
    int first = -1, last = -1;
    double body_sum = 0, outline_sum = 0;
    int body_count = 0, outline_count = 0;
    for (int y = box[1] / 2; y < box[3] / 2; y++)
        for (int x = box[0] / 2; x < box[2] / 2; x++) {
            uint8_t p[3];
            for (int k = 0; k < 3; k++)
                p[k] = (uint8_t)((page.at(2 * x, 2 * y)[k] + page.at(2 * x + 1, 2 * y)[k] +
                                  page.at(2 * x, 2 * y + 1)[k] + page.at(2 * x + 1, 2 * y + 1)[k] + 2) /
                                 4);
            if (body_pixel(p)) {
                if (first < 0) first = y;
                last = y;
                body_sum += data_test_luminance(p);
                body_count++;
            } else if (outline_pixel(p)) {
                outline_sum += data_test_luminance(p);
                outline_count++;
            }
        }
    ASSERT_GT(body_count, 0);
    ASSERT_GT(outline_count, 0);
    double contrast = (body_sum / body_count + 0.05) / (outline_sum / outline_count + 0.05);
    printf("figure: title at 640 x 512: %d rows, contrast %.1f:1\n", last - first + 1, contrast);
    EXPECT_GE(last - first + 1, 24);
    EXPECT_GE(contrast, 4.5);

    DataPicture card("data/gfx/no_preview", 0);
    ASSERT_TRUE(card.loaded);
    int caption = 0, above = 0;
    for (int y = 0; y < card.image.height; y++)
        for (int x = 0; x < card.image.width; x++)
            if (body_pixel(card.at(x, y)) && card.at(x, y)[0] < 250) (y >= 128 ? caption : above)++;
    EXPECT_GT(caption, 300) << "the caption's ink in the lower half";
}

TEST_F(DataPicturesTest, TileablePanelWraps)
{
    DataPicture panel("data/gfx/panel", 1);
    ASSERT_TRUE(panel.loaded);
    data_test_expect_wraps(panel.image);
}

}  // namespace
