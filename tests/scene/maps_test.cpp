// The world's textures and map slots: height data, normal maps, and the slots a release frees.
#include "tests/scene/scene_test_util.h"

#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// A grey picture of `side` x `side` whose grey is grey(x, y), written as "<name>.png".
template <class Grey>
void write_picture(const std::string &name, int32_t side, Grey grey)
{
    std::vector<uint8_t> pixels(size_t(side) * size_t(side) * 4);
    for (int32_t y = 0; y < side; y++) {
        for (int32_t x = 0; x < side; x++) {
            uint8_t *p = &pixels[4 * (size_t(y) * size_t(side) + size_t(x))];
            p[0] = p[1] = p[2] = uint8_t(grey(x, y));
            p[3] = 255;
        }
    }
    ImageData image = {pixels.data(), side, side, 1, 0};
    ASSERT_EQ(png_write_file((name + ".png").c_str(), &image), 1);
}

struct MapsTest : ::testing::Test {
    TestFolders folders;
    SceneTestDevice device;
    std::unique_ptr<SceneWorld> world = std::make_unique<SceneWorld>();
    void TearDown() override { world_release_and_reset(world.get()); }
};

bool slot_used(int32_t slot)
{
    return g_render_context.main_textures.slots && g_render_context.main_textures.slots[slot];
}

}  // namespace

TEST_F(MapsTest, NormalMapFromRamp)
{
    write_picture("ramp", 8, [](int32_t x, int32_t) { return 100 + 10 * x; });
    write_picture("flat", 4, [](int32_t, int32_t) { return 90; });
    ASSERT_EQ(scene_set_texture(world.get(), 5, "ramp", 0), 1);
    ASSERT_EQ(scene_set_texture(world.get(), 6, "flat", 0), 1);
    int32_t width = 0, height = 0;
    ASSERT_NE(scene_texture_pixels(world.get(), 5, &width, &height), nullptr);
    EXPECT_EQ(width, 8);
    EXPECT_EQ(world->maps[5].height_data[3], 130);
    world_alloc_all_map_slots(world.get());
    EXPECT_EQ(world->map_slot_marker, 1);

    const uint8_t *ramp = world->maps[5].map;
    ASSERT_NE(ramp, nullptr);
    // A constant slope: every texel alike, leaning against x (the height rises with x).
    for (int32_t p = 1; p < 64; p++) ASSERT_EQ(memcmp(ramp, ramp + 4 * p, 4), 0) << p;
    EXPECT_LT(ramp[0], 127);
    EXPECT_EQ(ramp[1], 127);
    EXPECT_GT(ramp[2], 200);
    const uint8_t flat[4] = {127, 127, 255, 255};
    EXPECT_EQ(memcmp(world->maps[6].map, flat, 4), 0);
    EXPECT_TRUE(slot_used(645));
    EXPECT_TRUE(slot_used(646));
}

TEST_F(MapsTest, MapsRebuiltAfterFree)
{
    write_picture("bumps", 8, [](int32_t x, int32_t y) { return (x * 37 + y * 11) % 256; });
    ASSERT_EQ(scene_set_texture(world.get(), 9, "bumps", 0), 1);
    world_alloc_all_map_slots(world.get());
    std::vector<uint8_t> first(world->maps[9].map, world->maps[9].map + 8 * 8 * 4);

    world_free_maps_and_objects(world.get());
    EXPECT_EQ(world->maps[9].map, nullptr);
    EXPECT_EQ(world->map_slot_marker, 0);
    ASSERT_NE(world->maps[9].height_data, nullptr);
    EXPECT_TRUE(slot_used(649));  // play still draws with it
    world_alloc_all_map_slots(world.get());
    ASSERT_NE(world->maps[9].map, nullptr);
    EXPECT_EQ(memcmp(first.data(), world->maps[9].map, first.size()), 0);

    // The caller's rebuild of one slot from its height data (the theme reload).
    world_free_maps_and_objects(world.get());
    world_build_normal_map_from_height(world.get(), 9, world->maps[9].height_data);
    ASSERT_NE(world->maps[9].map, nullptr);
    EXPECT_EQ(memcmp(first.data(), world->maps[9].map, first.size()), 0);
}

TEST_F(MapsTest, ReleaseFreesOwnSlots)
{
    write_picture("a", 4, [](int32_t x, int32_t) { return 50 * x; });
    ASSERT_EQ(scene_set_texture(world.get(), 5, "a", 0), 1);
    ASSERT_EQ(scene_set_texture(world.get(), 17, "a", 1), 1);
    EXPECT_EQ(scene_set_texture(world.get(), 18, "missing", 0), 0);  // logged, left empty
    EXPECT_EQ(scene_set_texture(world.get(), 640, "a", 0), 0);
    world_alloc_all_map_slots(world.get());
    // Slots the world did not make: another user's texture and another world's plant shadow.
    const uint8_t pixel[4] = {1, 2, 3, 4};
    texture_create_in_slot(&g_render_context.main_textures, 100, 1, 1, pixel, 1, 1, 0);
    texture_create_in_slot(&g_render_context.main_textures, 1203, 1, 1, pixel, 1, 1, 0);
    std::vector<int32_t> used;
    for (int32_t slot = 0; slot < kTextureSlots; slot++)
        if (slot_used(slot)) used.push_back(slot);
    EXPECT_EQ(used, (std::vector<int32_t>{5, 17, 100, 645, 657, 1203}));

    world_release_and_reset(world.get());
    used.clear();
    for (int32_t slot = 0; slot < kTextureSlots; slot++)
        if (slot_used(slot)) used.push_back(slot);
    EXPECT_EQ(used, (std::vector<int32_t>{100, 1203}));
    EXPECT_EQ(world->textures[18].name[0], 0);
}
