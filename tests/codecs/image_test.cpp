// The TGA writer and the numbered screenshot names.
#include "codecs/codecs.h"
#include "platform/system.h"
#include "tests/codecs/codecs_test_util.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

class ImageTest : public ::testing::Test {
protected:
    TempDir temp;
    TestPathRestore restore;

    void SetUp() override { sys_path_reset(temp.path.c_str(), (temp / "drive-c").c_str()); }

    // Writes a 2 x 2 picture of one colour with the writer the extension names.
    void write_plain(const std::string &path, uint8_t r, uint8_t g, uint8_t b)
    {
        std::vector<uint8_t> pixels;
        for (int i = 0; i < 4; i++) pixels.insert(pixels.end(), {r, g, b, 255});
        ImageData image = test_image(pixels, 2, 2, 0);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        int ok = path.ends_with(".png") ? png_write_file(path.c_str(), &image) : jp2_write_file(path.c_str(), &image);
        ASSERT_EQ(ok, 1) << path;
    }

    // The red byte of the first pixel loaded by base name, or -1 when nothing loaded.
    int first_red(const std::string &name)
    {
        ImageData image = {};
        if (!image_load_by_base_name(name.c_str(), &image, 0)) return -1;
        int red = image.pixels[0];
        free(image.pixels);
        return red;
    }
};

TEST_F(ImageTest, TgaIs24BitBgrRowsBottomUp)
{
    // 3 x 2: top row red, green, blue; bottom row grey levels.
    std::vector<uint8_t> pixels = {255, 0, 0, 9, 0, 255, 0, 9, 0, 0, 255, 9, 10, 10, 10, 9, 20, 20, 20, 9, 30, 30, 30, 9};
    ImageData image = test_image(pixels, 3, 2, 1);
    std::string path = temp / "shot.tga";
    ASSERT_EQ(tga_write_file(path.c_str(), &image), 1);
    std::string bytes = test_read_file(path);
    ASSERT_EQ(bytes.size(), 18u + 18u);
    std::string header = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 24, 0};
    EXPECT_EQ(bytes.substr(0, 18), header);
    std::string body = {10, 10, 10, 20, 20, 20, 30, 30, 30, 0, 0, (char)255, 0, (char)255, 0, (char)255, 0, 0};
    EXPECT_EQ(bytes.substr(18), body);

    // Grey images write each byte three times.
    std::vector<uint8_t> grey = {7, 8};
    ImageData one = test_image(grey, 2, 1, 0);
    one.one_byte = 1;
    ASSERT_EQ(tga_write_file(path.c_str(), &one), 1);
    EXPECT_EQ(test_read_file(path).substr(18), std::string("\x07\x07\x07\x08\x08\x08"));

    ImageData empty = {};
    EXPECT_EQ(tga_write_file(path.c_str(), &empty), 0);
    EXPECT_EQ(tga_write_file((temp / "missing/x.tga").c_str(), &image), 0);
}

TEST_F(ImageTest, FirstFreeNumberedName)
{
    std::filesystem::create_directories(temp / "captures");
    std::string base = temp / "captures/screenshot";
    char name[512];
    ASSERT_EQ(tga_first_free_name(base.c_str(), name, sizeof name), 1);
    EXPECT_EQ(std::string(name), base + "0000.tga");
    for (int i = 0; i < 11; i++) test_write_file(base + (i < 10 ? "000" : "00") + std::to_string(i) + ".tga", "x");
    ASSERT_EQ(tga_first_free_name(base.c_str(), name, sizeof name), 1);
    EXPECT_EQ(std::string(name), base + "0011.tga");
    // A gap is filled first.
    std::filesystem::remove(base + "0003.tga");
    ASSERT_EQ(tga_first_free_name(base.c_str(), name, sizeof name), 1);
    EXPECT_EQ(std::string(name), base + "0003.tga");
    // In the game's form, with the captures folder as "%sscreenshot".
    ASSERT_EQ(_chdir(temp.path.c_str()), 0);
    ASSERT_EQ(tga_first_free_name(".\\captures\\screenshot", name, sizeof name), 1);
    EXPECT_EQ(std::string(name), ".\\captures\\screenshot0003.tga");
    EXPECT_EQ(tga_first_free_name(base.c_str(), name, 8), 0);
}

} // namespace
