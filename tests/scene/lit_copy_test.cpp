// Lit copies: the lightmap section written and read back, resampled, refused when damaged.
#include "tests/scene/scene_test_util.h"

#include "scene/scene_local.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// A small lit hole: 3 blocks with lightmaps (the second prepared reduced), tiles without.
void make_lit_hole(SceneWorld *world, int32_t t = 16)
{
    scene_test_make_hole(world, 3, 1);
    world->lit = 1;
    world->lightmap_tile_size = t;
    scene_test_fake_lightmaps(world, 225, t, 1);
    scene_test_fake_lightmaps(world, 226, t, 2);
    scene_test_fake_lightmaps(world, 227, t, 1);
}

std::string saved(const SceneWorld *world, const TempDir &dir, uint8_t lit, uint32_t flags)
{
    std::string path = dir / "lit.qel";
    EXPECT_EQ(scene_save(world, path.c_str(), lit, 1, 0, flags), 1);
    return test_read_file(path);
}

bool has_lightmap_section(const std::string &file)
{
    for (const SceneTestSection &section : scene_test_unpack(file))
        if (section.tag == "LMAP") return true;
    return false;
}

}  // namespace

TEST(SceneLitCopy, LightmapSectionRoundTrip)
{
    TempDir dir;
    SceneTestWorld source, target;
    make_lit_hole(source.world.get());
    std::string file = saved(source.world.get(), dir, 1, 10);
    ASSERT_TRUE(has_lightmap_section(file));
    EXPECT_FALSE(has_lightmap_section(saved(source.world.get(), dir, 0, 10)));  // not lit
    EXPECT_FALSE(has_lightmap_section(saved(source.world.get(), dir, 1, 2)));   // no flag 8
    EXPECT_TRUE(has_lightmap_section(saved(source.world.get(), dir, 1, 0x70E)));

    SceneWorld *world = target.world.get();
    ASSERT_EQ(scene_load_memory(world, file.data(), file.size(), 0x4), 0);
    EXPECT_STREQ(scene_last_error(), "");
    EXPECT_EQ(world->lightmap_tile_size, 16);
    for (int32_t i : {225, 227}) {
        SCOPED_TRACE(i);
        const ObjectLightmaps *a = source.world->lightmaps[i], *b = world->lightmaps[i];
        ASSERT_NE(b, nullptr);
        ASSERT_EQ(b->face_count, a->face_count);
        ASSERT_EQ(b->texel_bytes, a->texel_bytes);
        EXPECT_EQ(memcmp(a->texels, b->texels, size_t(a->texel_bytes)), 0);
        for (int32_t f = 0; f < a->face_count; f++) {
            EXPECT_EQ(b->faces[f].cells, a->faces[f].cells);
            EXPECT_EQ(memcmp(b->faces[f].ab, a->faces[f].ab, sizeof a->faces[f].ab), 0);
        }
        EXPECT_EQ(world->prepare_modes[i], 1);
    }
    EXPECT_EQ(world->lightmaps[224], nullptr);
    // Saved again from what was read: the same bytes.
    EXPECT_TRUE(saved(world, dir, 1, 10) == file);
}

TEST(SceneLitCopy, ReducedObjectsStoreNoTexels)
{
    TempDir dir;
    SceneTestWorld source, target;
    make_lit_hole(source.world.get());
    std::string file = saved(source.world.get(), dir, 1, 10);
    SceneWorld *world = target.world.get();
    ASSERT_EQ(scene_load_memory(world, file.data(), file.size(), 0x4), 0);
    EXPECT_EQ(world->prepare_modes[226], 2);
    EXPECT_EQ(world->lightmaps[226], nullptr);
    // Without flag 4 (the editor's 0x4C has it) the reader frees the buffers it read.
    SceneTestWorld freed;
    ASSERT_EQ(scene_load_memory(freed.world.get(), file.data(), file.size(), 0x48), 0);
    EXPECT_EQ(freed.world->lightmaps[225], nullptr);
}

TEST(SceneLitCopy, TileSizeResampled)
{
    TempDir dir;
    SceneTestWorld source, target;
    make_lit_hole(source.world.get(), 16);
    std::string file = saved(source.world.get(), dir, 1, 10);
    SceneWorld *world = target.world.get();
    ASSERT_EQ(scene_load_memory(world, file.data(), file.size(), 0x24), 0);  // 4 asked
    EXPECT_EQ(world->lightmap_tile_size, 4);
    const ObjectLightmaps *a = source.world->lightmaps[225], *b = world->lightmaps[225];
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->tile_size, 4);
    for (int32_t f = 0; f < 3; f++) {
        // 16 to 4: texel (x, y) of the smaller block is texel (4x, 4y) of the stored one.
        const FaceLightmap &small = b->faces[f], &large = a->faces[f];
        int32_t w = small.cells, stored = large.cells * 4;
        ASSERT_EQ(small.texel_offset + w * w * 3 <= b->texel_bytes, true);
        for (int32_t y = 0; y < w; y++)
            for (int32_t x = 0; x < w; x++)
                EXPECT_EQ(b->texels[small.texel_offset + 3 * (y * w + x)],
                          a->texels[large.texel_offset + 3 * (4 * y * stored + 4 * x)]);
    }
}

TEST(SceneLitCopy, DamagedLightmapRefused)
{
    TempDir dir;
    SceneTestWorld source, target;
    make_lit_hole(source.world.get(), 4);
    std::string file = saved(source.world.get(), dir, 1, 10);
    std::vector<SceneTestSection> sections = scene_test_unpack(file);
    ASSERT_EQ(sections.back().tag, "LMAP");
    const std::string lmap = sections.back().payload;
    SceneWorld *world = target.world.get();
    scene_test_make_hole(world, 1, 0);
    const int32_t before = world->object_count;
    auto refused = [&](const std::string &payload, const char *what) {
        SCOPED_TRACE(what);
        std::vector<SceneTestSection> changed = sections;
        changed.back().payload = payload;
        std::string bytes = scene_test_pack(changed);
        EXPECT_EQ(scene_load_memory(world, bytes.data(), bytes.size(), 0x5C), 0);
        EXPECT_STRNE(scene_last_error(), "");
        EXPECT_EQ(world->object_count, before);
        EXPECT_EQ(world->lightmaps[before + 225], nullptr);
    };
    refused(lmap.substr(0, lmap.size() - 1), "a texel short");
    refused(lmap + "x", "a texel too many");
    std::string t = lmap;
    t[2] = 5;
    refused(t, "tile size 5");
    std::string count = lmap;
    count[6] = 1;
    refused(count, "another object count");
    // The first stored face follows 225 tile records of 5 bytes and object 225's mode and count.
    const size_t face = 2 + 8 + 225 * 5 + 5;
    std::string cells = lmap;
    cells[face] = 3;
    refused(cells, "3 cells");
    std::string ab = lmap;
    const float outside = 1.5f;
    memcpy(&ab[face + 1], &outside, 4);
    refused(ab, "a corner outside the block");
    std::string faces = lmap;
    faces[face - 4] = 11;
    refused(faces, "another face count");
    for (size_t cut = 0; cut < file.size(); cut += 7) {
        std::string truncated = file.substr(0, cut);
        EXPECT_EQ(scene_load_memory(world, truncated.data(), truncated.size(), 0x5C), 0);
        ASSERT_EQ(world->object_count, before);
    }
}
