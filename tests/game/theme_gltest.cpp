// The theme's load and its progress frame drawn with OpenGL at 960 x 540 over a background
// picture: the back buffer (kept as theme_gltest_50.png and theme_gltest_100.png) is scanned for
// the bar's black box, white inset and grey fill, and for GAMELOAD's text.
#include "game/files.h"
#include "game/menu_theme.h"
#include "game/screen.h"
#include "game/ui.h"
#include "geometry/mesh.h"
#include "scene/scene.h"
#include "script/config_main.h"
#include "tests/game/game_gl_util.h"
#include "tools/data_writer.h"

#include <cstdlib>
#include <memory>

namespace {

// The background (200, 160, 80) at level 0.75: colour 0.75 and alpha 0.5 over black.
const int kBackground[3] = {75, 60, 30};

class ThemeGlTest : public GameGlTest {
protected:
    static char *text(const char *s) { return const_cast<char *>(s); }

    void TearDown() override
    {
        menu_resources_free();
        ui_page_free(&g_page_tiles, &g_background_page);
        g_menu_world.renderer = nullptr;
        g_menu_texts[MENU_GAMELOAD] = nullptr;
        g_theme_names[0] = g_theme_scene_files[0] = nullptr;
        g_ui_scale_x = g_ui_scale_y = 1.0f;
        g_block_step = 0.5f;
        g_block_snap_x = g_block_snap_z = 0.0f;
        GameGlTest::TearDown();
    }

    void write_picture(const std::string &name, int w, int h, uint8_t r, uint8_t g, uint8_t b, uint8_t a)
    {
        std::vector<uint8_t> pixels;
        for (int i = 0; i < w * h; i++) pixels.insert(pixels.end(), {r, g, b, a});
        std::filesystem::create_directories(std::filesystem::path(folders.run + "/" + name).parent_path());
        ImageData image = {pixels.data(), w, h, 1, 0};
        ASSERT_EQ(png_write_file((folders.run + "/" + name).c_str(), &image), 1);
    }

    // The test theme: one reference block and the leaf texture.
    void write_theme()
    {
        auto world = std::make_unique<SceneWorld>();
        MeshObject *block = mesh_new();
        ASSERT_TRUE(mesh_build_box(block, 2, 1, 2));
        snprintf(block->name, sizeof block->name, "DECORBLOC");
        scene_add_object(world.get(), block);
        snprintf(world->textures[17].name, 128, "tex/leaves");
        write_picture("tex/leaves.png", 8, 8, 40, 160, 60, 128);
        std::filesystem::create_directories(folders.run + "/themes");
        ASSERT_EQ(scene_save(world.get(), "themes/test.qel", 0, 0, 0, 0), 1);
        world_release_and_reset(world.get());
        g_theme_names[0] = text("test");
        g_theme_scene_files[0] = text("themes/test.qel");
        g_theme_index = 0;
    }

    // First and last (exclusive) of the run of pixels along a row or column that `is` accepts.
    template <typename Is>
    std::pair<int, int> span(bool row, int fixed, int from, int to, Is is) const
    {
        int first = -1, last = -1;
        for (int v = from; v < to; v++) {
            const uint8_t *p = row ? at(v, fixed) : at(fixed, v);
            if (!is(p)) continue;
            if (first < 0) first = v;
            last = v + 1;
        }
        return {first, last};
    }
};

bool black(const uint8_t *p) { return p[0] < 16 && p[1] < 16 && p[2] < 16; }
bool white(const uint8_t *p) { return p[0] > 235 && p[1] > 235 && p[2] > 235; }
bool grey(const uint8_t *p) { return std::abs(p[0] - 102) < 8 && std::abs(p[1] - 102) < 8 && std::abs(p[2] - 102) < 8; }
// Text in GAMELOAD's grey, brighter than the background by far.
bool text_pixel(const uint8_t *p) { return p[0] > 140 && p[2] > 140; }

TEST_F(ThemeGlTest, LoadsTheThemeAndDrawsTheProgressFrame)
{
    setenv("ZAVGOLF_TRACE", "1", 1);  // the CTest entry sets it too, before the first trace
    open(960, 540);
    render_set_mode(7, context, 67);  // 32-bit textures: the background comes back exact
    g_ui_scale_x = g_ui_scale_y = 0.5f;
    write_picture("data/gfx/background.png", 16, 16, 200, 160, 80, 255);
    ASSERT_TRUE(data_write_fonts(folders.run + "/data"));
    menu_load_pictures(context);
    g_background_page.mode = kPageStill;
    g_background_page.level = 1.5f;
    ui_page_load(&g_page_tiles, &g_background_page, "data/gfx/background");
    g_menu_texts[MENU_GAMELOAD] = text("Loading the theme");
    write_theme();

    ::testing::internal::CaptureStdout();
    menu_theme_load();
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("trace theme loaded themes/test.qel\n"), std::string::npos) << out;
    EXPECT_EQ(g_menu_world.object_count, 1);
    EXPECT_EQ(g_leaf_alpha_width, 8);
    EXPECT_FLOAT_EQ(g_background_page.level, 1.5f);  // the frame's 0.75 is its own

    const float s = 0.5f, x0 = 320.0f;
    for (float fraction : {0.5f, 1.0f}) {
        SCOPED_TRACE(fraction);
        ASSERT_TRUE(render_begin_frame(context));
        menu_theme_loading_frame_draw(fraction);
        render_end_frame(context);
        read_back_buffer(fraction < 1.0f ? "theme_gltest_50.png" : "theme_gltest_100.png");

        EXPECT_TRUE(gl_pixel_near(at(20, 20), kBackground[0], kBackground[1], kBackground[2], 3));
        // Across the bar at the fill's middle row, and down it at a column inside the fill.
        const int row = int(565 * s), column = int(x0) + 10;
        auto [bx0, bx1] = span(true, row, 0, width, black);
        auto [by0, by1] = span(false, column, 0, height, black);
        EXPECT_NEAR(bx0, x0 - 8 * s, 2);
        EXPECT_NEAR(bx1, 2 * x0 + 8 * s, 2);
        EXPECT_NEAR(by0, 548 * s, 2);
        EXPECT_NEAR(by1, 580 * s, 2);
        auto [wx0, wx1] = span(true, row, 0, width, white);
        auto [wy0, wy1] = span(false, int(x0) - 2, 0, height, white);  // left of the fill
        EXPECT_NEAR(wx0, x0 - 5 * s, 2);
        EXPECT_NEAR(wx1, 2 * x0 + 5 * s, 2);
        EXPECT_NEAR(wy0, 551 * s, 2);
        EXPECT_NEAR(wy1, 577 * s, 2);
        auto [gx0, gx1] = span(true, row, 0, width, grey);
        EXPECT_NEAR(gx0, x0, 2);
        EXPECT_NEAR(gx1, x0 + fraction * x0, 2);
        // The drop shadow, width / 160 right and down, darkens the background below the box.
        EXPECT_TRUE(gl_pixel_near(at(int(x0) + 40, int(580 * s) + 3), kBackground[0] / 2, kBackground[1] / 2,
                                  kBackground[2] / 2, 3));
        // GAMELOAD about y 500 sy, none far above it.
        int text_pixels = 0, stray = 0;
        for (int y = 0; y < height; y++)
            for (int x = 300; x < 660; x++) {
                if (!text_pixel(at(x, y))) continue;
                if (std::abs(y - int(500 * s)) < 20)
                    text_pixels++;
                else if (y < int(500 * s))
                    stray++;
            }
        EXPECT_GT(text_pixels, 50);
        EXPECT_EQ(stray, 0);
    }
}

}  // namespace
