// The light workers: 1, 2 and 4 workers give byte-equal texels and companions.
#include "tests/scene/lighting_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Every object's texels and companion lightmap coordinates, as bytes.
std::string lit_bytes(const SceneWorld *world)
{
    std::string out;
    for (int32_t i = 0; i < world->object_count; i++) {
        const ObjectLightmaps *maps = world->lightmaps[i];
        if (!maps) continue;
        out.append(reinterpret_cast<const char *>(maps->texels), size_t(maps->texel_bytes));
        for (int32_t v = 0; v < world->companions[i]->vertex_count; v++)
            out.append(reinterpret_cast<const char *>(world->companions[i]->vertices[v].uv1), sizeof(float[2]));
    }
    return out;
}

}  // namespace

TEST(SceneLightThreads, SameTexelsForAnyWorkerCount)
{
    SceneTestDevice device;
    ASSERT_TRUE(device.made);
    std::string reference;
    for (int32_t workers : {1, 2, 4}) {
        SceneTestWorld holder;
        SceneWorld *world = holder.world.get();
        // Tiles of 64 texel rows and more, so that the rows go to the workers.
        world->lightmap_tile_size = 32;
        const float sun[3] = {0.48f, 0.8f, 0.36f};
        lighting_make_scene(world, false, true, sun);
        MeshObject *post = scene_test_make_block("BLOC", 1.0f, 3.0f, 1.0f);
        post->position[0] = -2.5f;
        post->position[2] = 1.5f;
        scene_add_object(world, post);
        scene_set_light_workers(workers);
        lighting_light_all(world);
        std::string bytes = lit_bytes(world);
        ASSERT_FALSE(bytes.empty());
        if (workers == 1)
            reference = bytes;
        else
            EXPECT_TRUE(bytes == reference) << workers << " workers";
    }
    scene_set_light_workers(0);
    scene_shutdown();
}

// Helpers still parked when the process ends by exit() (as on a lost display) must not abort it.
TEST(SceneLightThreadsDeathTest, ExitWithParkedHelpersEndsCleanly)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            scene_set_light_workers(4);
            std::atomic<int32_t> sum{0};
            light_pool_run(
                64, [](void *context, int32_t item) { *static_cast<std::atomic<int32_t> *>(context) += item; },
                &sum);
            exit(sum == 64 * 63 / 2 ? 0 : 2);
        },
        testing::ExitedWithCode(0), "");
}
