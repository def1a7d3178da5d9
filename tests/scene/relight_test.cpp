// Lighting one world again and again, as the editor's lit view does when it is switched on and off:
// the atlas holds the same blocks each time, the texels come out the same, nothing piles up.
#include "tests/scene/lighting_test_util.h"

#include "geometry/vecmath.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string texels_of(const SceneWorld *world)
{
    std::string out;
    for (int32_t i = 0; i < world->object_count; i++)
        if (const ObjectLightmaps *maps = world->lightmaps[i])
            out.append(reinterpret_cast<const char *>(maps->texels), size_t(maps->texel_bytes));
    return out;
}

}  // namespace

TEST(SceneRelight, FiftyLitViewsKeepTheAtlasAndTheTexels)
{
    SceneTestDevice device;
    ASSERT_EQ(device.made, 1);
    SceneTestWorld holder;
    SceneWorld *world = holder.world.get();
    const float sun[3] = {0.5f, 0.8f, 0.33f};
    lighting_make_scene(world, false, true, sun);
    for (int k = 0; k < 3; k++) {  // a few more blocks, one of them reduced as "PALES" are
        MeshObject *block = scene_test_make_block(k == 2 ? "PALES" : "BLOC", 1.0f, 1.0f + float(k), 1.0f);
        block->position[0] = -3.0f + 2.0f * float(k);
        block->position[2] = 2.5f;
        scene_add_object(world, block);
    }

    world_clear_for_editor(world);  // as the editor holds the world before its lit view: with its effect

    int32_t blocks = -1, live = -1;
    std::string texels;
    for (int turn = 0; turn < 50; turn++) {
        SCOPED_TRACE(turn);
        // Lit view on: the hole opener's lighting, then every object prepared for drawing.
        lighting_light_all(world);
        for (int32_t i = 0; i < world->object_count; i++)
            mesh_prepare_world_object(world, i, !scene_test_is_pales(world->objects[i]));
        world->lit = 1;
        if (turn == 0) {
            blocks = g_render_context.atlas_blocks.count;
            live = gpu_headless_live_resources();
            texels = texels_of(world);
            ASSERT_GT(blocks, 1);
            ASSERT_FALSE(texels.empty());
        }
        EXPECT_EQ(g_render_context.atlas_blocks.count, blocks);
        EXPECT_EQ(gpu_headless_live_resources(), live);
        ASSERT_TRUE(texels_of(world) == texels);
        // Lit view off.
        world_clear_for_editor(world);
        EXPECT_EQ(world->lightmaps[0], nullptr);
    }
    scene_shutdown();
}
