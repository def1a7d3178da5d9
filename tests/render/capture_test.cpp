// Captures of the back buffer on the headless device: TGA screenshots under the first free name,
// area-averaged thumbnails, failures that leave no file, and captures that never block a Reset.
#include "tests/render/render_test_util.h"

#include "codecs/codecs.h"
#include "render/render_draw.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

class RenderCaptureTest : public RenderTest {
protected:
    std::string folder;

    void SetUp() override
    {
        RenderTest::SetUp();
        char pattern[] = "/tmp/render-capture-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override
    {
        std::filesystem::remove_all(folder);
        RenderTest::TearDown();
    }
    // Four quadrants: red, green, blue, white, each cleared through its own viewport.
    void clear_quadrants()
    {
        const D3DCOLOR colours[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
        DWORD w = DWORD(context->width) / 2, h = DWORD(context->height) / 2;
        for (int q = 0; q < 4; q++) {
            D3DVIEWPORT9 v = {DWORD(q % 2) * w, DWORD(q / 2) * h, w, h, 0, 1};
            context->device->SetViewport(&v);
            context->device->Clear(0, nullptr, D3DCLEAR_TARGET, colours[q], 1.0f, 0);
        }
    }
    static size_t log_lines()
    {
        std::ifstream log("rar3a_log.txt");
        std::string line;
        size_t n = 0;
        while (std::getline(log, line)) n++;
        return n;
    }
};

TEST_F(RenderCaptureTest, ScreenshotHoldsTheQuadrantsBottomUp)
{
    make_device(false);
    clear_quadrants();
    std::string base = folder + "/shot";
    ASSERT_EQ(render_save_screenshot_tga(context, base.c_str()), 1);
    ASSERT_EQ(render_save_screenshot_tga(context, base.c_str()), 1);
    EXPECT_TRUE(std::filesystem::exists(base + "0001.tga"));
    std::ifstream file(base + "0000.tga", std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 18u + 64u * 32u * 3u);
    EXPECT_EQ(bytes[2], 2);  // uncompressed true colour
    EXPECT_EQ(bytes[12] | bytes[13] << 8, 64);
    EXPECT_EQ(bytes[14] | bytes[15] << 8, 32);
    // Rows bottom-up, pixels B, G, R: the first row is the bottom one (blue, then white).
    auto at = [&](int x, int row) { return bytes.data() + 18 + (size_t(row) * 64 + size_t(x)) * 3; };
    const struct {
        int x, row;
        uint8_t b, g, r;
    } probes[] = {{0, 0, 255, 0, 0}, {63, 0, 255, 255, 255}, {0, 31, 0, 0, 255}, {63, 31, 0, 255, 0},
                  {31, 15, 255, 0, 0}, {32, 16, 0, 255, 0}};
    for (const auto &p : probes) {
        SCOPED_TRACE(std::to_string(p.x) + "," + std::to_string(p.row));
        EXPECT_EQ(at(p.x, p.row)[0], p.b);
        EXPECT_EQ(at(p.x, p.row)[1], p.g);
        EXPECT_EQ(at(p.x, p.row)[2], p.r);
    }
}

TEST_F(RenderCaptureTest, ThumbnailAveragesByArea)
{
    context->width = context->height = 512;
    make_device(false);
    // The left half a one-pixel checkerboard of black and white, the right half green.
    std::vector<D3DRECT> white;
    for (long y = 0; y < 512; y++)
        for (long x = y % 2; x < 256; x += 2) white.push_back(D3DRECT{x, y, x + 1, y + 1});
    context->device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x000000, 1.0f, 0);
    context->device->Clear(DWORD(white.size()), white.data(), D3DCLEAR_TARGET, 0xFFFFFF, 1.0f, 0);
    D3DRECT right = {256, 0, 512, 512};
    context->device->Clear(1, &right, D3DCLEAR_TARGET, 0x00FF00, 1.0f, 0);
    std::string path = folder + "/thumb.png";
    ASSERT_EQ(render_save_thumbnail_png(context, path.c_str()), 1);
    ImageData image = {};
    ASSERT_EQ(png_load_file(path.c_str(), &image, 0), 1);
    ASSERT_EQ(image.width, 256);
    ASSERT_EQ(image.height, 256);
    const uint8_t *grey = image.pixels + (size_t(100) * 256 + 40) * 4, *green = image.pixels + (size_t(100) * 256 + 200) * 4;
    for (int c = 0; c < 3; c++) EXPECT_NEAR(grey[c], 128, 1) << c;
    EXPECT_EQ(green[0], 0);
    EXPECT_EQ(green[1], 255);
    EXPECT_EQ(green[2], 0);
    free(image.pixels);
}

TEST_F(RenderCaptureTest, UnwritableFolderGivesNoFileAndOneLogLine)
{
    make_device(false);
    std::string missing = folder + "/missing/thumb.png";
    render_log_line("capture test");  // the run's first line empties the log
    size_t before = log_lines();
    EXPECT_EQ(render_save_thumbnail_png(context, missing.c_str()), 0);
    EXPECT_EQ(log_lines(), before + 1);
    EXPECT_FALSE(std::filesystem::exists(folder + "/missing"));
    EXPECT_EQ(render_save_screenshot_tga(context, (folder + "/missing/shot").c_str()), 0);
    EXPECT_EQ(log_lines(), before + 2);
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

TEST_F(RenderCaptureTest, CaptureDuringAFrameLeavesResetPossible)
{
    make_device(false);
    ASSERT_TRUE(render_begin_frame(context));
    ImageData image = {};
    ASSERT_EQ(render_read_back_buffer(context, &image), 1);
    free(image.pixels);
    render_end_frame(context);
    gpu_headless_lose_device(context->device, true);
    EXPECT_FALSE(render_begin_frame(context));  // resets
    EXPECT_EQ(context->device->TestCooperativeLevel(), D3D_OK);
}

}  // namespace
