// Lit copies: the lightmap section written and read back, resampled, refused when damaged; the
// hole opener's and the editor's sequences with scene calls only.
#include "tests/scene/scene_test_util.h"

#include "scene/scene_local.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

// A small lit hole: 3 blocks with lightmaps (the second prepared reduced), tiles prepared reduced.
void make_lit_hole(SceneWorld *world, int32_t t = 16)
{
    scene_test_make_hole(world, 3, 1);
    world->lit = 1;
    world->lightmap_tile_size = t;
    for (int32_t i = 0; i < world->object_count; i++) world->prepare_modes[i] = 2;
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

// The lit-copy tests light on the headless device.
struct SceneLitCopy : ::testing::Test {
    SceneTestDevice device;
    TempDir dir;
    SceneTestWorld source, target;
    SceneWorld *world = target.world.get();
    void TearDown() override { scene_shutdown(); }
    // The lit hole of tile size t, saved as a lit copy.
    std::string lit_file(int32_t t = 16)
    {
        make_lit_hole(source.world.get(), t);
        return saved(source.world.get(), dir, 1, 10);
    }
};

}  // namespace

TEST_F(SceneLitCopy, LightmapSectionRoundTrip)
{
    std::string file = lit_file();
    ASSERT_TRUE(has_lightmap_section(file));
    EXPECT_FALSE(has_lightmap_section(saved(source.world.get(), dir, 0, 10)));  // not lit
    EXPECT_FALSE(has_lightmap_section(saved(source.world.get(), dir, 1, 2)));   // no flag 8
    EXPECT_TRUE(has_lightmap_section(saved(source.world.get(), dir, 1, 0x70E)));

    ASSERT_EQ(scene_load_memory(world, file.data(), file.size(), 0x4), 1);
    EXPECT_STREQ(scene_last_error(), "");
    EXPECT_EQ(world->lightmap_tile_size, 16);
    EXPECT_EQ(world->lit, 1);
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
    // Saved again from what was read: the same lightmaps (the reduced preparation has put its light
    // in the vertex colours, which the first world never had).
    std::vector<SceneTestSection> again = scene_test_unpack(saved(world, dir, 1, 10));
    ASSERT_EQ(again.size(), 4u);
    EXPECT_TRUE(again.back().payload == scene_test_unpack(file).back().payload);
}

TEST_F(SceneLitCopy, ReducedObjectsStoreNoTexels)
{
    std::string file = lit_file();
    ASSERT_EQ(scene_load_memory(world, file.data(), file.size(), 0x4), 1);
    EXPECT_EQ(world->prepare_modes[226], 2);
    EXPECT_EQ(world->lightmaps[226], nullptr);
}

TEST_F(SceneLitCopy, TileSizeResampled)
{
    std::string file = lit_file(16);
    ASSERT_EQ(scene_load_memory(world, file.data(), file.size(), 0x24), 1);  // 4 asked
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

TEST_F(SceneLitCopy, DamagedLightmapRefused)
{
    std::string file = lit_file(4);
    std::vector<SceneTestSection> sections = scene_test_unpack(file);
    ASSERT_EQ(sections.back().tag, "LMAP");
    const std::string lmap = sections.back().payload;
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
    // The first stored face follows 225 tile records of 5 bytes and object 225's mode and count.
    const size_t face = 2 + 8 + 225 * 5 + 5;
    const float outside = 1.5f;
    char corner[4];
    memcpy(corner, &outside, 4);
    const struct {
        size_t at;
        std::string bytes;
        const char *what;
    } patches[] = {{2, "\x05", "tile size 5"},       {6, "\x01", "another object count"},
                   {face, "\x03", "3 cells"},         {face + 1, std::string(corner, 4), "a corner outside the block"},
                   {face - 4, "\x0b", "another face count"}};
    for (const auto &c : patches) refused(std::string(lmap).replace(c.at, c.bytes.size(), c.bytes), c.what);
    for (size_t cut = 0; cut < file.size(); cut += 7) {
        std::string truncated = file.substr(0, cut);
        EXPECT_EQ(scene_load_memory(world, truncated.data(), truncated.size(), 0x5C), 0);
        ASSERT_EQ(world->object_count, before);
    }
}

namespace {

// What a recording progress callback saw.
std::vector<std::pair<std::string, float>> g_progress;
void record_progress(const char *text, float fraction) { g_progress.emplace_back(text, fraction); }
bool saw(const char *text)
{
    for (const auto &call : g_progress)
        if (call.first == text) return true;
    return false;
}

struct Opened {
    std::vector<float> bounds;
    std::vector<int32_t> links;
    std::vector<uint8_t> modes;
    std::vector<int> drawn;
    std::vector<int> light_answers;
};

Opened what_play_reads(const SceneWorld *hole)
{
    Opened o;
    for (int32_t i = 0; i < hole->object_count; i++) {
        o.bounds.insert(o.bounds.end(), hole->objects[i]->bounds, hole->objects[i]->bounds + 6);
        if (hole->links[i])
            o.links.insert(o.links.end(), hole->links[i]->index, hole->links[i]->index + hole->links[i]->count);
        o.links.push_back(-1);
        o.modes.push_back(hole->prepare_modes[i]);
        o.drawn.push_back(hole->play_render_objects[i] != nullptr);
    }
    for (float x = -60.0f; x <= 60.0f; x += 7.5f)
        for (float z = -60.0f; z <= 60.0f; z += 7.5f) {
            const float p[3] = {x, -0.05f, z};
            o.light_answers.push_back(bsp_point_inside_solids(&hole->light_bsp, p));
        }
    return o;
}

// The texels of the objects drawn with lightmaps (a file stores no others).
std::vector<uint8_t> texels_of(const SceneWorld *world)
{
    std::vector<uint8_t> out;
    for (int32_t i = 0; i < world->object_count; i++)
        if (world->lightmaps[i] && world->prepare_modes[i] == 1)
            out.insert(out.end(), world->lightmaps[i]->texels,
                       world->lightmaps[i]->texels + world->lightmaps[i]->texel_bytes);
    return out;
}

// A theme light and a small plain hole of blocks (one of them PALES) and 15 plants: a load, light and release cycle
// with every plant an editor hole holds.
struct SceneOpener : SceneLitCopy {
    SceneTestWorld theme, hole;
    std::string plain = dir / "hole.qel", copy = dir / "holeA.qel";

    void SetUp() override
    {
        const float ambient[4] = {0.3f, 0.3f, 0.35f, 1.0f}, light[4] = {0.6f, 0.55f, 0.5f, 1.0f};
        memcpy(theme.world->ambient_colour, ambient, sizeof ambient);
        memcpy(theme.world->light_colour, light, sizeof light);
        SceneTestWorld source;
        scene_test_make_hole(source.world.get(), 8, 15);
        ASSERT_EQ(scene_save(source.world.get(), plain.c_str(), 0, 0, 0, 2), 1);
        g_progress.clear();
        hole.world->load_progress = record_progress;
    }
};

}  // namespace

TEST_F(SceneOpener, OpenerPlainThenLitCopy)
{
    SceneWorld *world = hole.world.get();
    ASSERT_EQ(scene_test_open_hole(world, theme.world.get(), plain, copy), 0);
    EXPECT_STREQ(scene_last_error(), "");
    EXPECT_TRUE(saw("lighting"));
    EXPECT_FALSE(saw("ligthing and shadows..."));
    const Opened first = what_play_reads(world);
    SceneTestWorld reference;  // the lit copy's texels, kept by flag 4
    ASSERT_EQ(scene_load(reference.world.get(), copy.c_str(), 0x5C), 1);
    ASSERT_GT(texels_of(reference.world.get()).size(), 1000u);

    g_progress.clear();
    ASSERT_EQ(scene_test_open_hole(world, theme.world.get(), plain, copy), 1);
    EXPECT_EQ(world->lit, 1);
    EXPECT_TRUE(saw("ligthing and shadows..."));
    EXPECT_FALSE(saw("lighting"));
    const Opened second = what_play_reads(world);
    EXPECT_EQ(first.bounds, second.bounds);
    EXPECT_EQ(first.links, second.links);
    EXPECT_EQ(first.modes, second.modes);
    EXPECT_EQ(first.drawn, second.drawn);
    EXPECT_EQ(first.light_answers, second.light_answers);
    EXPECT_EQ(std::count(first.drawn.begin(), first.drawn.end(), 1), world->object_count);
    // The copy of the copy: the same texels.
    SceneTestWorld again;
    ASSERT_EQ(scene_load(again.world.get(), copy.c_str(), 0x5C), 1);
    EXPECT_TRUE(texels_of(again.world.get()) == texels_of(reference.world.get()));
}

TEST_F(SceneOpener, FilesIdenticalAcrossWorkerCounts)
{
    std::string bytes[2];
    const int32_t workers[2] = {1, 4};
    for (int k = 0; k < 2; k++) {
        scene_set_light_workers(workers[k]);
        std::remove(copy.c_str());
        ASSERT_EQ(scene_test_open_hole(hole.world.get(), theme.world.get(), plain, copy), 0);
        bytes[k] = test_read_file(copy);
    }
    ASSERT_GT(bytes[0].size(), 1000u);
    EXPECT_TRUE(bytes[0] == bytes[1]);
}

TEST_F(SceneOpener, PlainFileWithLightmapsResaved)
{
    // An editor save in lit view holds lightmaps: the opener takes them as they are.
    ASSERT_EQ(scene_test_open_hole(hole.world.get(), theme.world.get(), plain, copy), 0);
    std::rename(copy.c_str(), plain.c_str());
    g_progress.clear();
    ASSERT_EQ(scene_test_open_hole(hole.world.get(), theme.world.get(), plain, copy), 1);
    EXPECT_FALSE(saw("lighting"));  // not lit again
    EXPECT_EQ(hole.world->lit, 1);
    SceneTestWorld a, b;
    ASSERT_EQ(scene_load(a.world.get(), plain.c_str(), 0x5C), 1);
    ASSERT_EQ(scene_load(b.world.get(), copy.c_str(), 0x5C), 1);
    EXPECT_TRUE(texels_of(a.world.get()) == texels_of(b.world.get()));
}

TEST_F(SceneOpener, EditorLitSaveThenOpen)
{
    // Lit view, saved with 0x70E, opened with 0x4C.
    SceneWorld *world = hole.world.get();
    ASSERT_EQ(scene_load(world, plain.c_str(), 0x4C), 0);
    world_clear_for_editor(world);
    world_compute_object_bounds(world);
    world_compute_bounds_and_links(world);
    world->light_factor = 1.0f;
    world_setup_lighting_textures(world);
    world_alloc_all_map_slots(world);
    world_build_object_face_lists(world, -2);
    for (int32_t i = 0; i < world->object_count; i++) lightmap_compute_all(world, i);
    for (int32_t i = 0; i < world->object_count; i++)
        mesh_prepare_world_object(world, i, !scene_test_is_pales(world->objects[i]));
    world->lit = 1;
    std::string saved_path = dir / "edited.qel";
    ASSERT_EQ(scene_save(world, saved_path.c_str(), 1, 0, 0, 0x70E), 1);
    const std::vector<uint8_t> texels = texels_of(world);

    SceneTestWorld opened;
    ASSERT_EQ(scene_load(opened.world.get(), saved_path.c_str(), 0x4C), 1);
    EXPECT_EQ(opened.world->lit, 1);
    EXPECT_TRUE(texels_of(opened.world.get()) == texels);

    // Lit view off: the objects stay; companions, lightmaps and marks go.
    SceneWorld *edited = opened.world.get();
    const int32_t objects = edited->object_count;
    world_clear_for_editor(edited);
    EXPECT_EQ(edited->object_count, objects);
    EXPECT_EQ(edited->lit, 0);
    for (int32_t i = 0; i < objects; i++)
        ASSERT_TRUE(!edited->companions[i] && !edited->lightmaps[i] && !edited->object_marks[i] &&
                    !edited->objects[i]->companion)
            << i;
}

TEST_F(SceneOpener, KeepBuffersFlag04)
{
    ASSERT_EQ(scene_test_open_hole(hole.world.get(), theme.world.get(), plain, copy), 0);
    SceneTestWorld kept, freed;
    ASSERT_EQ(scene_load(kept.world.get(), copy.c_str(), 0x4C), 1);
    ASSERT_EQ(scene_load(freed.world.get(), copy.c_str(), 0x48), 1);
    EXPECT_FALSE(texels_of(kept.world.get()).empty());
    EXPECT_TRUE(texels_of(freed.world.get()).empty());
    EXPECT_NE(freed.world->companions[228], nullptr);  // lit all the same
}

TEST_F(SceneOpener, ThemeLoadResultZero)
{
    SceneTestWorld source;
    const char *names[] = {"DECORBLOC", "BLOC1", "START"};
    for (const char *name : names) scene_add_object(source.world.get(), scene_test_make_block(name, 2.0f, 1.0f, 2.0f));
    std::string path = dir / "theme.qel";
    ASSERT_EQ(scene_save(source.world.get(), path.c_str(), 0, 0, 0, 2), 1);
    g_progress.clear();
    theme.world->load_progress = record_progress;
    EXPECT_EQ(scene_load(theme.world.get(), path.c_str(), 4), 0);
    EXPECT_STREQ(scene_last_error(), "");
    EXPECT_EQ(theme.world->lit, 0);
    EXPECT_TRUE(saw("loading"));
}

TEST_F(SceneOpener, ProgressTextOnlyWithLightmaps)
{
    // The plain file's open shows no such text (OpenerPlainThenLitCopy).
    ASSERT_EQ(scene_test_open_hole(hole.world.get(), theme.world.get(), plain, copy), 0);
    g_progress.clear();
    SceneTestWorld lit;
    lit.world->load_progress = record_progress;
    ASSERT_EQ(scene_load(lit.world.get(), copy.c_str(), 0x5C), 1);
    ASSERT_TRUE(saw("ligthing and shadows..."));
    for (size_t k = 1; k < g_progress.size(); k++) EXPECT_GE(g_progress[k].second, g_progress[k - 1].second);
    EXPECT_EQ(g_progress.back().second, 1.0f);
}
