// Fingerprints of what a load and the lighting produce for the test hole: the plants' triangles,
// the loaded objects with their world data and links, and the lit texels. The loader and the
// lighting are tuned for speed; these pin their results to the bytes they gave before, so that a
// faster path that changes a single float fails here. A deliberate change of the plants' shapes or
// of the lighting rule updates the constants.
#include "tests/scene/lighting_test_util.h"
#include "tests/scene/fingerprint_util.h"
#include "tests/scene/scene_test_util.h"

#include "geometry/mesh.h"
#include "scene/scene_local.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string hex(uint64_t value)
{
    char text[24];
    snprintf(text, sizeof text, "%016" PRIx64, value);
    return text;
}

}  // namespace

TEST(SceneStableOutput, PlantTriangles)
{
    SceneTestWorld holder;
    scene_test_make_hole(holder.world.get(), 0, 15);
    Fingerprint print;
    bool linked = true;
    add_plants(print, holder.world.get(), &linked);
    EXPECT_TRUE(linked);
    EXPECT_EQ(hex(print.value), "da2ab8c8cd198af2");
}

TEST(SceneStableOutput, LoadedHole)
{
    TempDir dir;
    SceneTestWorld source, target;
    scene_test_make_hole(source.world.get(), 60, 4);
    std::string path = dir / "hole.qel";
    ASSERT_EQ(scene_save(source.world.get(), path.c_str(), 0, 0, 0, 2), 1);
    // Appended after an object already there, as tools load.
    MeshObject *first = scene_test_make_block("BLOC", 2.0f, 1.0f, 2.0f);
    first->position[0] = -64.0f;
    first->position[2] = -64.0f;
    ASSERT_GE(scene_add_object(target.world.get(), first), 0);
    SceneWorld *world = target.world.get();
    ASSERT_EQ(scene_load(world, path.c_str(), 0x5C), 0);
    ASSERT_STREQ(scene_last_error(), "");
    Fingerprint print;
    bool linked = true;
    add_objects(print, world, &linked);
    add_plants(print, world, &linked);
    EXPECT_TRUE(linked);
    EXPECT_EQ(hex(print.value), "11927f1a9769bfad");
}

TEST(SceneStableOutput, LitTexels)
{
    SceneTestDevice device;
    ASSERT_TRUE(device.made);
    SceneTestWorld holder;
    SceneWorld *world = holder.world.get();
    scene_test_make_hole(world, 30, 2);
    scene_set_light_workers(1);
    lighting_light_all(world);
    Fingerprint print;
    for (int32_t i = 0; i < world->object_count; i++) {
        const ObjectLightmaps *maps = world->lightmaps[i];
        print.add(maps != nullptr);
        if (!maps) continue;
        print.add(maps->texels, size_t(maps->texel_bytes));
        for (int32_t f = 0; f < maps->face_count; f++) {
            print.add(maps->faces[f].cells);
            print.add(maps->faces[f].ab);
        }
        // The lit copy drawn in its place, with its lightmap coordinates.
        bool linked = true;
        add_mesh(print, world->companions[i], &linked);
        EXPECT_TRUE(linked) << i;
    }
    scene_set_light_workers(0);
    scene_shutdown();
    EXPECT_EQ(hex(print.value), "4c91448a02a91ec4");
}

TEST(SceneStableOutput, LoadedLitCopy)
{
    SceneTestDevice device;
    ASSERT_TRUE(device.made);
    TempDir dir;
    std::string path = dir / "holeA.qel";
    {
        SceneTestWorld source;
        scene_test_make_hole(source.world.get(), 30, 2);
        scene_set_light_workers(1);
        lighting_light_all(source.world.get());
        for (int32_t i = 0; i < source.world->object_count; i++)
            mesh_prepare_world_object(source.world.get(), i, 1);
        source.world->lit = 1;
        ASSERT_EQ(scene_save(source.world.get(), path.c_str(), 1, 1, 0, 10), 1);
    }
    SceneTestWorld target;
    SceneWorld *world = target.world.get();
    ASSERT_EQ(scene_load(world, path.c_str(), 0x5C), 1);
    Fingerprint print;
    bool linked = true;
    add_objects(print, world, &linked);
    for (int32_t i = 0; i < world->object_count; i++) {
        print.add(world->companions[i] != nullptr);
        if (!world->companions[i]) continue;
        print.add(world->companions[i]->matrix);
        print.add(world->companions[i]->rotation_matrix);
        add_mesh(print, world->companions[i], &linked);
    }
    EXPECT_TRUE(linked);
    scene_set_light_workers(0);
    scene_shutdown();
    EXPECT_EQ(hex(print.value), "9858e561506f1821");
}
