// JPEG 2000 writing and reading, in both the JP2 box format and the raw code stream.
#include "codecs/codecs.h"
#include "platform/system.h"
#include "tests/codecs/codecs_test_util.h"
#include "tests/codecs/jp2_test_util.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

class Jp2Test : public ::testing::Test {
protected:
    TempDir temp;
    TestPathRestore restore;

    void SetUp() override { sys_path_reset(temp.path.c_str(), (temp / "drive-c").c_str()); }
};

TEST_F(Jp2Test, WrittenThenReadKeepsSizeAndPixels)
{
    struct Case {
        const char *name;
        int width, height, has_alpha;
        const char *signature;
        size_t signature_size;
    } cases[] = {
        {"rgb.jp2", 33, 17, 0, "\0\0\0\x0cjP  \r\n\x87\n", 12},
        {"rgba.J2K", 20, 31, 1, "\xff\x4f\xff\x51", 4},
        {"tiny.jp2", 1, 1, 1, "\0\0\0\x0cjP  ", 8},
        {"strip.j2k", 64, 2, 0, "\xff\x4f", 2},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> pixels = test_picture(c.width, c.height, c.width);
        ImageData source = test_image(pixels, c.width, c.height, c.has_alpha);
        std::string path = temp / c.name;
        ASSERT_EQ(jp2_write_file(path.c_str(), &source), 1) << c.name;
        EXPECT_EQ(test_read_file(path).compare(0, c.signature_size, std::string(c.signature, c.signature_size)), 0)
            << c.name;

        ImageData image = {};
        ASSERT_EQ(jp2_load_file(path.c_str(), &image, 1), 1) << c.name;
        EXPECT_EQ(image.width, c.width);
        EXPECT_EQ(image.height, c.height);
        EXPECT_EQ(image.has_alpha, c.has_alpha);
        int worst = 0;
        for (size_t i = 0; i < pixels.size(); i++) {
            int expected = (i % 4 == 3 && !c.has_alpha) ? 255 : pixels[i];
            worst = std::max(worst, std::abs(image.pixels[i] - expected));
        }
        EXPECT_LE(worst, 1) << c.name;
        free(image.pixels);
    }
}

TEST_F(Jp2Test, GreyIsOneComponentAndAlphaModeZeroIsOpaque)
{
    std::vector<uint8_t> grey = {0, 40, 80, 120, 160, 200, 240, 255, 7};
    ImageData source = test_image(grey, 3, 3, 0);
    source.one_byte = 1;
    std::string path = temp / "grey.jp2";
    ASSERT_EQ(jp2_write_file(path.c_str(), &source), 1);
    ImageData image = {};
    ASSERT_EQ(jp2_load_file(path.c_str(), &image, 1), 1);
    for (int i = 0; i < 9; i++) {
        EXPECT_EQ(image.pixels[4 * i], grey[i]);
        EXPECT_EQ(image.pixels[4 * i + 2], grey[i]);
        EXPECT_EQ(image.pixels[4 * i + 3], 255);
    }
    free(image.pixels);

    std::vector<uint8_t> pixels = test_picture(9, 9, 1);
    ImageData rgba = test_image(pixels, 9, 9, 1);
    ASSERT_EQ(jp2_write_file(path.c_str(), &rgba), 1);
    ASSERT_EQ(jp2_load_file(path.c_str(), &image, 0), 1);
    EXPECT_EQ(image.has_alpha, 0);
    for (int i = 0; i < 81; i++) EXPECT_EQ(image.pixels[4 * i + 3], 255);
    free(image.pixels);
}

TEST_F(Jp2Test, TruncatedCorruptOrForeignFilesFailAndLeaveTheImageAlone)
{
    std::vector<uint8_t> pixels = test_picture(24, 24, 8);
    ImageData source = test_image(pixels, 24, 24, 1);
    for (const char *name : {"cut.jp2", "cut.j2k"}) {
        std::string path = temp / name;
        ASSERT_EQ(jp2_write_file(path.c_str(), &source), 1);
        std::string good = test_read_file(path);

        uint8_t sentinel = 0;
        ImageData image = {&sentinel, 3, 4, 0, 0};
        for (size_t cut = 0; cut < good.size(); cut += cut < 200 ? 3 : 41)
            EXPECT_EQ(jp2_load_memory(good.data(), cut, &image, 1), 0) << name << " cut " << cut;
        // Flipped bytes may still decode to something; they must not crash or overrun.
        for (size_t at = 0; at < good.size(); at += 7) {
            std::string bad = good;
            bad[at] ^= 0x40;
            ImageData out = {};
            if (jp2_load_memory(bad.data(), bad.size(), &out, 1)) free(out.pixels);
        }
        EXPECT_EQ(image.pixels, &sentinel);
        EXPECT_EQ(image.width, 3);
    }
    ImageData image = {};
    std::string png_bytes = "\x89PNG\r\n\x1a\n0000";
    EXPECT_EQ(jp2_load_memory(png_bytes.data(), png_bytes.size(), &image, 1), 0);
    EXPECT_EQ(jp2_load_file((temp / "missing.jp2").c_str(), &image, 1), 0);
    EXPECT_EQ(image.pixels, nullptr);
}

// Files from other programs declare their colour space: sYCC is shown as RGB, spaces that cannot be
// shown are a failed load rather than wrong colours.
TEST_F(Jp2Test, ColourSpacesAreConvertedOrRefused)
{
    const int width = 12, height = 7;
    std::vector<uint8_t> pixels = test_picture(width, height, 5), ycc = pixels, cmyk(width * height * 4, 40);
    for (int i = 0; i < width * height; i++) {
        double r = pixels[4 * i], g = pixels[4 * i + 1], b = pixels[4 * i + 2];
        ycc[4 * i] = uint8_t(0.299 * r + 0.587 * g + 0.114 * b + 0.5);
        ycc[4 * i + 1] = uint8_t(-0.168736 * r - 0.331264 * g + 0.5 * b + 128.5);
        ycc[4 * i + 2] = uint8_t(0.5 * r - 0.418688 * g - 0.081312 * b + 128.5);
    }
    ImageData rgb_image = test_image(pixels, width, height, 0), ycc_image = test_image(ycc, width, height, 0);
    ImageData cmyk_image = test_image(cmyk, width, height, 1);
    std::string file = temp / "space.jp2";
    struct Case {
        const char *name;
        std::string bytes;
        bool loads;
    } cases[] = {
        {"sYCC", test_jp2_in_space(file, ycc_image, 18), true},
        {"sRGB", test_jp2_in_space(file, rgb_image, 16), true},
        {"CMYK", test_jp2_in_space(file, cmyk_image, 12), false},
        {"CIELab", test_jp2_in_space(file, rgb_image, 14), false},
        {"e-YCC", test_jp2_in_space(file, ycc_image, 24), false},
    };
    for (Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.bytes.empty());
        ImageData image = {};
        ASSERT_EQ(jp2_load_memory(c.bytes.data(), c.bytes.size(), &image, 1), c.loads ? 1 : 0);
        if (!c.loads) {
            EXPECT_EQ(image.pixels, nullptr);
            continue;
        }
        EXPECT_EQ(image.has_alpha, 0);
        int worst = 0;
        for (int i = 0; i < width * height * 4; i++)
            worst = std::max(worst, std::abs(image.pixels[i] - (i % 4 == 3 ? 255 : pixels[i])));
        EXPECT_LE(worst, 2);
        free(image.pixels);
    }
}

} // namespace
