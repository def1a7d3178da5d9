// The menu theme on the headless device: the name order and the palette's arrangement, then whole
// loads of a theme scene written here, its reload and release, and the themes that load nothing.
#include "game/menu_theme.h"
#include "game/files.h"
#include "platform/gpu/headless/gpu_headless.h"
#include "script/config_main.h"
#include "tests/game/headless_device.h"
#include "tests/scene/scene_test_util.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

namespace {

constexpr int32_t kBump = 3;  // a texture below 128: it has a map slot
const char *const kDescending[] = {"START", "PALES", "DECORBLOC", "BLOC_B", "BLOC_A"};

// The boxes off-centre and lifted as a scene file may hold them (DECORBLOC 4 x 1.5 x 8).
void add_boxes(SceneWorld *world, bool decorbloc = true)
{
    const struct {
        const char *name;
        float size[3], at[3];
    } boxes[] = {{"BLOC_A", {2, 1, 2}, {5, 3, -7}},
                 {"PALES", {1, 2, 0.5f}, {-1, 0, 1}},
                 {"DECORBLOC", {4, 1.5f, 8}, {0, -2, 0}},
                 {"START", {2, 0.5f, 2}, {}},
                 {"BLOC_B", {2, 1, 2}, {}}};
    for (const auto &b : boxes) {
        if (!decorbloc && strcmp(b.name, "DECORBLOC") == 0) continue;
        MeshObject *m = scene_test_make_block(b.name, b.size[0], b.size[1], b.size[2]);
        for (int32_t v = 0; v < m->vertex_count; v++)
            for (int k = 0; k < 3; k++) m->vertices[v].position[k] += b.at[k];
        scene_add_object(world, m);
    }
}

// Descending names, centred on x and z, the bottom (y maximum) on 0 and PALES 0.2 lower.
void expect_palette(const SceneWorld *world)
{
    ASSERT_EQ(world->object_count, 5);
    for (int32_t i = 0; i < 5; i++) {
        const MeshObject *o = world->objects[i];
        SCOPED_TRACE(o->name);
        EXPECT_STREQ(o->name, kDescending[i]);
        EXPECT_FLOAT_EQ(o->bounds[0] + o->bounds[1], 0.0f);
        EXPECT_FLOAT_EQ(o->bounds[4] + o->bounds[5], 0.0f);
        EXPECT_FLOAT_EQ(o->bounds[3], i == 1 ? 0.2f : 0.0f);
    }
    EXPECT_FLOAT_EQ(world->objects[4]->bounds[2], -1.0f);  // BLOC_A is 1 high
    EXPECT_FLOAT_EQ(g_block_step, 0.75f);
    EXPECT_FLOAT_EQ(g_block_snap_x, 4.0f / 32.0f);
    EXPECT_FLOAT_EQ(g_block_snap_z, 8.0f / 32.0f);
}

uint8_t leaf_alpha(int x, int y) { return uint8_t(x * 16 + y * 3); }

class ThemeTest : public ::testing::Test {
protected:
    TestFolders folders;
    RenderContext *context = &g_render_context;
    // The theme fields a script read filled: each test starts without them and gives them back.
    char **const fields[6] = {g_theme_names,     g_theme_scene_files, g_theme_sky_left,
                              g_theme_sky_front, g_theme_sky_right,   g_theme_sky_back};
    char *saved_fields[6][THEME_MAX] = {};

    void SetUp() override
    {
        for (int k = 0; k < 6; k++) {
            std::copy(fields[k], fields[k] + THEME_MAX, saved_fields[k]);
            std::fill(fields[k], fields[k] + THEME_MAX, nullptr);
        }
        ASSERT_TRUE(test_headless_device_open(context, 640, 360));
        *render_var_ref(context, "D") = 64;
    }

    void TearDown() override
    {
        menu_resources_free();
        g_hole_world.options = g_menu_world.options = 0;
        g_menu_world.renderer = nullptr;
        for (int k = 0; k < 6; k++) std::copy(saved_fields[k], saved_fields[k] + THEME_MAX, fields[k]);
        g_theme_index = 0;
        g_texture_feuilles = 17;
        g_block_step = 0.5f;
        g_block_snap_x = g_block_snap_z = 0.0f;
        render_shutdown_device(context);
        render_context_destroy(context);
        EXPECT_EQ(gpu_headless_live_resources(), 0);
        gpu_headless_reset();
    }

    // A w x h picture; alpha from `alpha` when given, else opaque.
    void write_picture(const std::string &name, int w, int h, uint32_t rgb, uint8_t (*alpha)(int, int) = nullptr)
    {
        std::vector<uint8_t> pixels;
        for (int i = 0; i < w * h; i++)
            pixels.insert(pixels.end(), {uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb),
                                         alpha ? alpha(i % w, i / w) : uint8_t(255)});
        std::filesystem::create_directories(std::filesystem::path(folders.run + "/" + name).parent_path());
        ImageData image = {pixels.data(), w, h, 1, 0};
        ASSERT_EQ(png_write_file((folders.run + "/" + name + ".png").c_str(), &image), 1);
    }

    // The theme scene: the boxes, the 12 x 8 leaf texture 17 and a bump texture.
    void write_scene(const char *path, bool leaves = true, bool decorbloc = true)
    {
        auto world = std::make_unique<SceneWorld>();
        add_boxes(world.get(), decorbloc);
        if (leaves) snprintf(world->textures[17].name, 128, "tex/leaves"), world->textures[17].options = 1;
        snprintf(world->textures[kBump].name, 128, "tex/bump");
        write_picture("tex/leaves", 12, 8, 0x20A040, leaf_alpha);
        write_picture("tex/bump", 16, 16, 0x808080);
        std::filesystem::create_directories(folders.run + "/themes");
        ASSERT_EQ(scene_save(world.get(), path, 0, 0, 0, 0), 1);
        world_release_and_reset(world.get());
    }

    // Theme t: its scene, skies "<sky>_l", "_f", "_r", "_b", ambient (c, c, c + 10), light 2c.
    static void set_theme(int t, const char *scene, const char *sky, int c)
    {
        static std::string names[THEME_MAX][4];
        char **skies[4] = {g_theme_sky_left, g_theme_sky_front, g_theme_sky_right, g_theme_sky_back};
        for (int s = 0; s < 4; s++) skies[s][t] = (names[t][s] = std::string(sky) + "_" + "lfrb"[s]).data();
        g_theme_names[t] = const_cast<char *>("theme");
        g_theme_scene_files[t] = const_cast<char *>(scene);
        g_theme_ambient_r[t] = g_theme_ambient_g[t] = c, g_theme_ambient_b[t] = c + 10;
        g_theme_light_r[t] = g_theme_light_g[t] = g_theme_light_b[t] = 2 * c;
    }

    // A 64 square, a 96 x 48 picture, none on the right, a 128 square.
    void write_skies(const std::string &sky)
    {
        write_picture(sky + "_l", 64, 64, 0x3060C0);
        write_picture(sky + "_f", 96, 48, 0x3060C0);
        write_picture(sky + "_b", 128, 128, 0x3060C0);
    }

    const TextureRecord *slot(int32_t id) const
    {
        return context->main_textures.slots ? context->main_textures.slots[id] : nullptr;
    }
    int presents() const { return gpu_headless_present_count(context->device); }
    size_t logged(const std::string &word) const
    {
        const std::string text = test_read_file(folders.run + "/rar3a_log.txt");
        size_t n = 0;
        for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) n++;
        return n;
    }

    static void expect_colours(int c)
    {
        const float ambient[4] = {c * 0.01f, c * 0.01f, (c + 10) * 0.01f, 1.0f};
        const float light[4] = {2 * c * 0.01f, 2 * c * 0.01f, 2 * c * 0.01f, 1.0f};
        for (int k = 0; k < 4; k++) {
            EXPECT_FLOAT_EQ(g_menu_world.ambient_colour[k], ambient[k]) << k;
            EXPECT_FLOAT_EQ(g_menu_world.light_colour[k], light[k]) << k;
        }
    }
};

TEST_F(ThemeTest, NameCompareGivesDescendingOrder)
{
    const struct {
        const char *a, *b;
        int want;
    } cases[] = {
        {"b", "a", -1}, {"a", "b", 1}, {"ab", "a", -1},  {"a", "ab", 1},
        {"a", "a", -1}, {"", "", -1},  {"\xE9", "a", 1},  // signed bytes: above 127 sorts below ASCII
    };
    for (const auto &c : cases) EXPECT_EQ(menu_theme_name_compare(c.a, c.b), c.want) << c.a << " / " << c.b;
}

TEST_F(ThemeTest, ArrangeCentresStandsMeasuresAndSorts)
{
    auto world = std::make_unique<SceneWorld>();
    add_boxes(world.get());
    menu_theme_arrange_palette(world.get());
    expect_palette(world.get());
    world_release_and_reset(world.get());
}

TEST_F(ThemeTest, LoadArrangesThePaletteWithColoursLeafMapAndNormalMaps)
{
    write_scene("themes/a.qel");
    set_theme(0, "themes/a.qel", "sky/a", 40);
    const int before = presents();
    menu_theme_load();

    EXPECT_STREQ(g_menu_theme_scene, "themes/a.qel");
    expect_palette(&g_menu_world);
    expect_colours(40);
    for (int32_t i = 0; i < 5; i++) {
        EXPECT_NE(g_menu_world.render_objects[i], nullptr) << i;
        EXPECT_EQ(g_menu_world.play_render_objects[i], g_menu_world.render_objects[i]) << i;
    }
    EXPECT_GE(presents() - before, 3);  // the frames at 0.5 and 1.0 and the loader's own
    ASSERT_EQ(g_leaf_alpha_width, 12);
    ASSERT_EQ(g_leaf_alpha_height, 8);
    for (int p = 0; p < 12 * 8; p++) ASSERT_EQ(g_leaf_alpha_map[p], leaf_alpha(p % 12, p / 12)) << p;
    // The normal map remade from the height data that the release keeps.
    EXPECT_NE(g_menu_world.maps[kBump].map, nullptr);
    ASSERT_NE(slot(SCENE_MAP_TEXTURE_BASE + kBump), nullptr);
    EXPECT_EQ(slot(SCENE_MAP_TEXTURE_BASE + kBump)->width, 16);
}

TEST_F(ThemeTest, SkySlotsAreSquaresOfTheSmallerSideAtMostD)
{
    write_scene("themes/a.qel");
    set_theme(0, "themes/a.qel", "sky/a", 40);
    write_skies("sky/a");
    *render_var_ref(context, "X") = 1;  // mip chains; "Y" 0: no clamping
    menu_theme_load();
    // 64; 96 x 48 gives 48; the missing one the blank 16; 128 held to "D".
    const int32_t sides[4] = {64, 48, 16, 64};
    for (int32_t i = 0; i < 4; i++) {
        const TextureRecord *sky = slot(kMenuSkyFirstSlot + i);
        ASSERT_NE(sky, nullptr) << i;
        EXPECT_EQ(sky->width, sides[i]) << i;
        EXPECT_EQ(sky->height, sides[i]) << i;
        EXPECT_EQ(sky->mipmapped, 1u) << i;
        EXPECT_EQ(sky->clamp, 0u) << i;
    }
    EXPECT_EQ(logged("sky picture \"sky/a_r\" missing"), 1u);
}

TEST_F(ThemeTest, ReloadOfTheSameSceneLoadsNothingYetChangesColoursAndSky)
{
    write_scene("themes/a.qel");
    set_theme(0, "themes/a.qel", "sky/a", 40);
    set_theme(1, "themes/a.qel", "sky/b", 70);
    write_skies("sky/a");
    write_picture("sky/b_l", 32, 32, 0xC06030);
    menu_theme_load();
    MeshObject *first = g_menu_world.objects[0];
    first->frame_word = 777;  // a load would make new objects
    const int before = presents();

    g_theme_index = 1;
    menu_theme_reload();
    EXPECT_EQ(presents(), before);  // no loading frame: no scene_load
    EXPECT_EQ(g_menu_world.objects[0], first);
    EXPECT_EQ(first->frame_word, 777);
    expect_colours(70);
    EXPECT_EQ(slot(kMenuSkyFirstSlot)->width, 32);
    EXPECT_EQ(slot(kMenuSkyFirstSlot + 1)->width, 16);  // theme 1 has no front picture
    EXPECT_NE(g_menu_world.maps[kBump].map, nullptr);
    EXPECT_NE(slot(SCENE_MAP_TEXTURE_BASE + kBump), nullptr);
}

TEST_F(ThemeTest, ReloadOfAnotherSceneFreesAndLoads)
{
    write_scene("themes/a.qel");
    write_scene("themes/b.qel", true, false);
    set_theme(0, "themes/a.qel", "sky/a", 40);
    set_theme(1, "themes/b.qel", "sky/a", 70);
    menu_theme_load();
    g_menu_world.objects[0]->frame_word = 777;
    const int before = presents();

    g_theme_index = 1;
    menu_theme_reload();
    EXPECT_GE(presents() - before, 3);
    EXPECT_STREQ(g_menu_theme_scene, "themes/b.qel");
    ASSERT_EQ(g_menu_world.object_count, 4);  // b has no DECORBLOC
    EXPECT_EQ(g_menu_world.objects[0]->frame_word, 0);
    EXPECT_STREQ(g_menu_world.objects[2]->name, "BLOC_B");
    expect_colours(70);

    menu_resources_free();
    for (int32_t i = 0; i < 4; i++) EXPECT_EQ(slot(kMenuSkyFirstSlot + i), nullptr) << i;
    EXPECT_EQ(g_leaf_alpha_map, nullptr);
    EXPECT_EQ(g_leaf_alpha_width, 0);
    EXPECT_EQ(g_menu_world.object_count, 0);
    EXPECT_EQ(slot(SCENE_MAP_TEXTURE_BASE + kBump), nullptr);
    EXPECT_STREQ(g_menu_theme_scene, "");
}

TEST_F(ThemeTest, ThemesThatLoadNothingLeaveTheMenusRunning)
{
    static char empty[] = "", missing[] = "themes/none.qel";
    const struct {
        const char *what;
        int index;
        char *scene;
        bool record;  // its colours and sky are still made, and a reload tries again
    } cases[] = {
        {"index past the records", 5, missing, false},
        {"negative index", -1, missing, false},
        {"record without QELBLOCS", 0, empty, false},
        {"missing scene file", 0, missing, true},
    };
    write_skies("sky/a");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        set_theme(0, c.scene, "sky/a", 40);
        g_theme_index = c.index;
        menu_theme_load();
        EXPECT_EQ(g_menu_world.object_count, 0);
        EXPECT_STREQ(g_menu_theme_scene, "");
        EXPECT_EQ(g_leaf_alpha_map, nullptr);
        EXPECT_EQ(slot(kMenuSkyFirstSlot) != nullptr, c.record);
        if (c.record) expect_colours(40);
        const int before = presents();
        menu_theme_reload();
        EXPECT_EQ(presents() > before, c.record);
        menu_resources_free();
    }
}

TEST_F(ThemeTest, NoLeafTextureAndNoReferenceBlockGiveOneLogLineEach)
{
    write_scene("themes/a.qel", false, false);
    set_theme(0, "themes/a.qel", "sky/a", 40);
    g_block_snap_x = 0.25f;
    menu_theme_load();
    EXPECT_STREQ(g_menu_theme_scene, "themes/a.qel");
    EXPECT_EQ(g_leaf_alpha_map, nullptr);
    EXPECT_EQ(g_leaf_alpha_width, 0);
    EXPECT_EQ(g_leaf_alpha_height, 0);
    EXPECT_FLOAT_EQ(g_block_step, 0.5f);
    EXPECT_FLOAT_EQ(g_block_snap_x, 0.25f);
    EXPECT_EQ(logged("no FEUILLES texture"), 1u);
    EXPECT_EQ(logged("no DECORBLOC"), 1u);
    g_texture_feuilles = SCENE_MAX_TEXTURES + 5;  // outside the table: no leaf texture either
    menu_theme_load();
    EXPECT_EQ(g_leaf_alpha_map, nullptr);
}

}  // namespace
