// PNG reading of every colour type, writing, and refusal of broken files.
#include "codecs/codecs.h"
#include "platform/system.h"
#include "tests/codecs/codecs_test_util.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

class PngTest : public ::testing::Test {
protected:
    TempDir temp;
    TestPathRestore restore;

    void SetUp() override { sys_path_reset(temp.path.c_str(), (temp / "drive-c").c_str()); }

    // Loads PNG bytes from memory; the pixels as a vector, empty on failure.
    std::vector<uint8_t> load(const std::string &bytes, int alpha_mode, ImageData *image_out = nullptr)
    {
        ImageData image = {};
        if (!png_load_memory(bytes.data(), bytes.size(), &image, alpha_mode)) return {};
        std::vector<uint8_t> pixels(image.pixels, image.pixels + (size_t)image.width * image.height * 4);
        free(image.pixels);
        image.pixels = nullptr;
        if (image_out) *image_out = image;
        return pixels;
    }
};

TEST_F(PngTest, RgbaAndRgbRoundTrip)
{
    std::vector<uint8_t> pixels = test_picture(37, 23, 1);
    for (int has_alpha : {1, 0}) {
        ImageData source = test_image(pixels, 37, 23, has_alpha);
        std::string path = temp / "round.png";
        ASSERT_EQ(png_write_file(path.c_str(), &source), 1);
        std::string bytes = test_read_file(path);
        EXPECT_EQ((int)(uint8_t)bytes[25], has_alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB);

        ImageData image = {};
        ASSERT_EQ(png_load_file(path.c_str(), &image, 1), 1);
        EXPECT_EQ(image.width, 37);
        EXPECT_EQ(image.height, 23);
        EXPECT_EQ(image.has_alpha, has_alpha);
        EXPECT_EQ(image.one_byte, 0);
        for (size_t i = 0; i < pixels.size(); i++) {
            uint8_t expected = (i % 4 == 3 && !has_alpha) ? 255 : pixels[i];
            ASSERT_EQ(image.pixels[i], expected) << "byte " << i;
        }
        free(image.pixels);
        EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    }
}

// Colour types 0, 3 and 4 (beyond the 2 and 6 of the game's own pictures) come back as RGBA too.
TEST_F(PngTest, GreyPaletteAndGreyAlphaComeBackAsRgba)
{
    TestPng grey;
    grey.width = 3;
    grey.colour = PNG_COLOR_TYPE_GRAY;
    grey.rows = {0, 128, 255};
    EXPECT_EQ(load(test_png_bytes(grey), 1), (std::vector<uint8_t>{0, 0, 0, 255, 128, 128, 128, 255, 255, 255, 255, 255}));

    TestPng grey_alpha;
    grey_alpha.width = 2;
    grey_alpha.colour = PNG_COLOR_TYPE_GRAY_ALPHA;
    grey_alpha.rows = {10, 20, 200, 0};
    ImageData info;
    EXPECT_EQ(load(test_png_bytes(grey_alpha), 1, &info), (std::vector<uint8_t>{10, 10, 10, 20, 200, 200, 200, 0}));
    EXPECT_EQ(info.has_alpha, 1);
    EXPECT_EQ(load(test_png_bytes(grey_alpha), 0), (std::vector<uint8_t>{10, 10, 10, 255, 200, 200, 200, 255}));

    TestPng palette;
    palette.width = 3;
    palette.colour = PNG_COLOR_TYPE_PALETTE;
    palette.palette = {{255, 0, 0}, {0, 255, 0}, {1, 2, 3}};
    palette.trans_alpha = {255, 40};
    palette.rows = {2, 0, 1};
    EXPECT_EQ(load(test_png_bytes(palette), 1),
              (std::vector<uint8_t>{1, 2, 3, 255, 255, 0, 0, 255, 0, 255, 0, 40}));

    // Depths below 8: a 2-bit palette and a 1-bit grey row.
    TestPng small = palette;
    small.depth = 2;
    small.width = 4;
    small.trans_alpha.clear();
    small.rows = {0x24};  // indices 0, 2, 1, 0
    EXPECT_EQ(load(test_png_bytes(small), 1),
              (std::vector<uint8_t>{255, 0, 0, 255, 1, 2, 3, 255, 0, 255, 0, 255, 255, 0, 0, 255}));
    TestPng bits;
    bits.width = 3;
    bits.depth = 1;
    bits.colour = PNG_COLOR_TYPE_GRAY;
    bits.rows = {0xA0};  // 1, 0, 1
    EXPECT_EQ(load(test_png_bytes(bits), 1),
              (std::vector<uint8_t>{255, 255, 255, 255, 0, 0, 0, 255, 255, 255, 255, 255}));
}

TEST_F(PngTest, SixteenBitColourKeyAndInterlacedFilesAreDecoded)
{
    TestPng deep;
    deep.width = 2;
    deep.depth = 16;
    deep.rows = {0x12, 0x34, 0xAB, 0xCD, 0xFF, 0xFF, 0x00, 0x01, 0x80, 0x00, 0x7F, 0xFF};
    EXPECT_EQ(load(test_png_bytes(deep), 1), (std::vector<uint8_t>{0x12, 0xAB, 0xFF, 255, 0x00, 0x80, 0x7F, 255}));

    TestPng keyed;
    keyed.width = 2;
    keyed.rows = {1, 2, 3, 4, 5, 6};
    keyed.has_trans_colour = true;
    keyed.trans_colour.red = 4;
    keyed.trans_colour.green = 5;
    keyed.trans_colour.blue = 6;
    EXPECT_EQ(load(test_png_bytes(keyed), 1), (std::vector<uint8_t>{1, 2, 3, 255, 4, 5, 6, 0}));

    TestPng plain;
    plain.width = 19;
    plain.height = 11;
    plain.colour = PNG_COLOR_TYPE_RGB_ALPHA;
    plain.rows = test_picture(19, 11, 3);
    TestPng adam7 = plain;
    adam7.interlace = PNG_INTERLACE_ADAM7;
    std::string interlaced = test_png_bytes(adam7);
    EXPECT_NE(interlaced, test_png_bytes(plain));
    EXPECT_EQ(load(interlaced, 1), plain.rows);
}

TEST_F(PngTest, GreyImagesAreWrittenAsGrey)
{
    std::vector<uint8_t> grey = {0, 50, 100, 150, 200, 250};
    ImageData source = test_image(grey, 3, 2, 0);
    source.one_byte = 1;
    std::string path = temp / "grey.png";
    ASSERT_EQ(png_write_file(path.c_str(), &source), 1);
    EXPECT_EQ((int)(uint8_t)test_read_file(path)[25], PNG_COLOR_TYPE_GRAY);
    std::vector<uint8_t> rgba = load(test_read_file(path), 1);
    ASSERT_EQ(rgba.size(), 24u);
    for (int i = 0; i < 6; i++) EXPECT_EQ(rgba[4 * i + 1], grey[i]);
}

TEST_F(PngTest, TruncatedCorruptOrOversizedFilesFailAndLeaveTheImageAlone)
{
    TestPng picture;
    picture.width = 40;
    picture.height = 30;
    picture.colour = PNG_COLOR_TYPE_RGB_ALPHA;
    picture.rows = test_picture(40, 30, 4);
    std::string good = test_png_bytes(picture);
    ASSERT_FALSE(load(good, 1).empty());

    uint8_t sentinel = 0;
    ImageData image = {&sentinel, 7, 9, 1, 0};
    for (size_t cut = 0; cut < good.size(); cut += cut < 64 ? 1 : 37) {
        EXPECT_EQ(png_load_memory(good.data(), cut, &image, 1), 0) << "cut " << cut;
    }
    for (size_t at = 8; at < good.size(); at += 11) {
        std::string bad = good;
        bad[at] ^= 0x21;
        EXPECT_EQ(png_load_memory(bad.data(), bad.size(), &image, 1), 0) << "flip " << at;
    }
    EXPECT_EQ(image.pixels, &sentinel);
    EXPECT_EQ(image.width, 7);
    EXPECT_EQ(image.height, 9);

    // A header claiming 100000 x 100000 pixels is refused before anything is allocated for it.
    std::string huge = good.substr(0, 33);
    huge[16] = 0, huge[17] = 1, huge[18] = (char)0x86, huge[19] = (char)0xA0;
    huge[20] = 0, huge[21] = 1, huge[22] = (char)0x86, huge[23] = (char)0xA0;
    uint32_t crc = codecs_crc32(0, huge.data() + 12, 17);
    for (int i = 0; i < 4; i++) huge[29 + i] = (char)(crc >> (24 - 8 * i));
    huge += good.substr(33);
    EXPECT_EQ(png_load_memory(huge.data(), huge.size(), &image, 1), 0);

    EXPECT_EQ(png_load_file((temp / "missing.png").c_str(), &image, 1), 0);
    EXPECT_EQ(png_load_file(nullptr, &image, 1), 0);
    EXPECT_EQ(image.pixels, &sentinel);
}

TEST_F(PngTest, FailedWritesLeaveNothingBehind)
{
    std::vector<uint8_t> pixels = test_picture(4, 4, 5);
    ImageData source = test_image(pixels, 4, 4, 1);
    // Into a folder that does not exist: nothing written, no temporary.
    EXPECT_EQ(png_write_file((temp / "no/such/folder/x.png").c_str(), &source), 0);
    // An image a writer cannot take keeps the earlier file as it was.
    std::string path = temp / "keep.png";
    test_write_file(path, "earlier");
    ImageData empty = {};
    EXPECT_EQ(png_write_file(path.c_str(), &empty), 0);
    ImageData zero = test_image(pixels, 0, 4, 1);
    EXPECT_EQ(png_write_file(path.c_str(), &zero), 0);
    EXPECT_EQ(test_read_file(path), "earlier");
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

TEST_F(PngTest, DebugFontAtlasGoesToItsFixedPathOnDriveC)
{
    std::vector<uint8_t> pixels = test_picture(16, 4, 6);
    ImageData atlas = test_image(pixels, 16, 4, 1);
    // Without the folder the write fails quietly.
    png_write_debug_font_atlas(&atlas);
    EXPECT_FALSE(std::filesystem::exists(temp / "drive-c/programmation/font.png"));

    std::filesystem::create_directories(temp / "drive-c/programmation");
    png_write_debug_font_atlas(&atlas);
    ImageData image = {};
    ASSERT_EQ(png_load_file((temp / "drive-c/programmation/font.png").c_str(), &image, 1), 1);
    EXPECT_EQ(image.width, 16);
    EXPECT_EQ(memcmp(image.pixels, pixels.data(), pixels.size()), 0);
    free(image.pixels);
}

} // namespace
