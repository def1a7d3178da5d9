// Loads share their objects, plants and checksum among the light workers: the same world for any
// worker count, and a faulty file refused with the fault that reading it in order meets first.
#include "tests/scene/fingerprint_util.h"
#include "tests/scene/scene_test_util.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// 40 blocks in rows, 3 plants and a texture: several objects to an item, and both kinds of plant.
std::string saved_hole(const TempDir &dir)
{
    SceneTestWorld source;
    scene_test_make_block_grid(source.world.get(), 40, 8);
    for (int32_t k = 0; k < 3; k++) scene_test_add_plant(source.world.get(), k);
    snprintf(source.world->textures[2].name, sizeof source.world->textures[2].name, "rock");  // all 4 sections
    std::string path = dir / "hole.qel";
    EXPECT_EQ(scene_save(source.world.get(), path.c_str(), 0, 0, 0, 2), 1);
    return test_read_file(path);
}

uint64_t fingerprint(const SceneWorld *world)
{
    Fingerprint print;
    bool linked = true;
    add_objects(print, world, &linked);
    add_plants(print, world, &linked);
    EXPECT_TRUE(linked);
    return print.value;
}

// Where object k's record starts in the object section's payload, and where its vertices do.
size_t object_at(const std::string &objects, int32_t k)
{
    size_t at = 2 + 4;
    for (int32_t n = 0; n < k; n++) {
        const size_t name = uint8_t(objects[at]);
        uint32_t vertices, faces;
        memcpy(&vertices, &objects[at + 1 + name + 28], 4);
        memcpy(&faces, &objects[at + 1 + name + 32], 4);
        at += 1 + name + 36 + size_t(vertices) * 56 + size_t(faces) * 58;
    }
    return at;
}
size_t vertices_of(const std::string &objects, int32_t k)
{
    const size_t at = object_at(objects, k);
    return at + 1 + uint8_t(objects[at]) + 36;
}

// 12 blocks with lightmaps (every other one prepared reduced) on the tiles, saved as a lit copy.
std::string saved_lit_hole(const TempDir &dir)
{
    SceneTestWorld source;
    SceneWorld *world = source.world.get();
    scene_test_make_hole(world, 12, 1);
    world->lit = 1;
    world->lightmap_tile_size = 16;
    for (int32_t i = 0; i < world->object_count; i++) world->prepare_modes[i] = 2;
    for (int32_t k = 0; k < 12; k++) scene_test_fake_lightmaps(world, 225 + k, 16, uint8_t(1 + k % 2));
    std::string path = dir / "lit.qel";
    EXPECT_EQ(scene_save(world, path.c_str(), 1, 1, 0, 10), 1);
    return test_read_file(path);
}

// The sections packed again, the CRC of section `bad_crc` (-1: none) made wrong.
std::string pack_with(const std::vector<SceneTestSection> &sections, int bad_crc)
{
    std::string file = scene_test_pack(sections);
    size_t at = 24;
    for (int k = 0; k < bad_crc; k++) {
        uint32_t packed;
        memcpy(&packed, &file[at + 8], 4);
        at += 20 + packed;
    }
    if (bad_crc >= 0) file[at + 12] ^= 1;
    return file;
}

int section_index(const std::vector<SceneTestSection> &sections, const char *tag)
{
    for (size_t k = 0; k < sections.size(); k++)
        if (sections[k].tag == tag) return int(k);
    return -1;
}

// A faulty file and the reason its load must give: the same with one worker and with four.
struct FaultCase {
    const char *what;
    std::string file;
    const char *reason;
};

void expect_refused(const std::vector<FaultCase> &cases, uint32_t flags)
{
    for (int32_t workers : {1, 4}) {
        scene_set_light_workers(workers);
        for (const FaultCase &c : cases) {
            SCOPED_TRACE(std::string(c.what) + ", workers " + std::to_string(workers));
            SceneTestWorld holder;
            EXPECT_EQ(scene_load_memory(holder.world.get(), c.file.data(), c.file.size(), flags), 0);
            EXPECT_STREQ(scene_last_error(), c.reason);
            EXPECT_EQ(holder.world->object_count, 0);
            EXPECT_EQ(holder.world->vegetal_count, 0);
        }
    }
    scene_set_light_workers(0);
}

}  // namespace

TEST(SceneLoadThreads, SameWorldForAnyWorkerCount)
{
    TempDir dir;
    const std::string file = saved_hole(dir);
    uint64_t reference = 0;
    for (int32_t workers : {1, 2, 4}) {
        SCOPED_TRACE(workers);
        scene_set_light_workers(workers);
        SceneTestWorld holder;
        ASSERT_EQ(scene_load_memory(holder.world.get(), file.data(), file.size(), 0x4C), 0);
        ASSERT_EQ(holder.world->object_count, 40);
        ASSERT_EQ(holder.world->vegetal_count, 3);
        const uint64_t print = fingerprint(holder.world.get());
        if (workers == 1)
            reference = print;
        else
            EXPECT_EQ(print, reference);
    }
    scene_set_light_workers(0);
}

// A lit copy read with one worker and with four: the same companions and texels.
TEST(SceneLoadThreads, LitCopySameCompanionsForAnyWorkerCount)
{
    SceneTestDevice device;
    ASSERT_TRUE(device.made);
    TempDir dir;
    const std::string file = saved_lit_hole(dir);
    uint64_t reference = 0;
    for (int32_t workers : {1, 4}) {
        SCOPED_TRACE(workers);
        scene_set_light_workers(workers);
        SceneTestWorld holder;
        SceneWorld *world = holder.world.get();
        ASSERT_EQ(scene_load_memory(world, file.data(), file.size(), 0x5C), 1);
        Fingerprint print;
        bool linked = true;
        int32_t companions = 0;
        for (int32_t i = 0; i < world->object_count; i++) {
            if (!world->companions[i]) continue;
            companions++;
            add_mesh(print, world->companions[i], &linked);
            print.add(world->lightmaps[i]->texels, size_t(world->lightmaps[i]->texel_bytes));
        }
        EXPECT_TRUE(linked);
        EXPECT_EQ(companions, 6);  // those of mode 1
        if (workers == 1)
            reference = print.value;
        else
            EXPECT_EQ(print.value, reference);
    }
    scene_set_light_workers(0);
    scene_shutdown();
}

TEST(SceneLoadThreads, FirstFaultInFileOrderIsReported)
{
    TempDir dir;
    const std::vector<SceneTestSection> sections = scene_test_unpack(saved_hole(dir));
    ASSERT_EQ(sections.size(), 4u);
    const std::string &objects = sections[2].payload, &plants = sections[3].payload;
    float nan = std::nanf("");
    const std::string nan_bytes(reinterpret_cast<const char *>(&nan), 4), index_8("\x08\x00\x00\x00", 4);
    // Object k's first face given vertex index 8 of 8, or its first vertex a NaN.
    auto bad_index = [&](std::string payload, int32_t k) {
        return payload.replace(vertices_of(objects, k) + 8 * 56, 4, index_8);
    };
    auto bad_vertex = [&](std::string payload, int32_t k) { return payload.replace(vertices_of(objects, k), 4, nan_bytes); };
    // Record k's vertex count past what the section holds.
    auto cut_record = [&](std::string payload, int32_t k) {
        return payload.replace(vertices_of(objects, k) - 8, 4, std::string("\x00\x00\x01\x00", 4));
    };
    auto pack = [&](const std::string &object_payload, const std::string &plant_payload, bool bad_crc) {
        std::vector<SceneTestSection> changed = sections;
        changed[2].payload = object_payload;
        changed[3].payload = plant_payload;
        return pack_with(changed, bad_crc ? 2 : -1);
    };
    const std::string newer_objects = std::string("\x02\x00", 2) + objects.substr(2);
    const std::string short_plants = plants.substr(0, plants.size() - 5);
    expect_refused({
        {"a bad index before a NaN", pack(bad_vertex(bad_index(objects, 19), 30), plants, false),
         "vertex index out of range"},
        {"a NaN before a bad index", pack(bad_index(bad_vertex(objects, 19), 30), plants, false),
         "vertex value not finite"},
        {"a NaN before a cut record", pack(cut_record(bad_vertex(objects, 21), 33), plants, false),
         "vertex value not finite"},
        {"a cut record alone", pack(cut_record(objects, 33), plants, false), "object arrays cut short"},
        {"a checksum before a bad object", pack(bad_index(objects, 5), plants, true), "section checksum mismatch"},
        {"a checksum before a newer version", pack(newer_objects, plants, true), "section checksum mismatch"},
        {"a newer version alone", pack(newer_objects, plants, false), "newer section version"},
        {"a bad object before bad plants", pack(bad_index(objects, 12), short_plants, false),
         "vertex index out of range"},
        {"a checksum before bad plants", pack(objects, short_plants, true), "section checksum mismatch"},
    }, 0x4C);
}

// The lightmap section is read on the workers too: its faults keep their place after the objects'.
TEST(SceneLoadThreads, LitCopyFaultsInFileOrder)
{
    TempDir dir;
    const std::vector<SceneTestSection> sections = scene_test_unpack(saved_lit_hole(dir));
    const int objects = section_index(sections, "OBJS"), lightmaps = section_index(sections, "LMAP");
    ASSERT_GE(objects, 0);
    ASSERT_EQ(lightmaps, int(sections.size()) - 1);
    std::string bad_object = sections[objects].payload;
    bad_object.replace(vertices_of(bad_object, 230) + 8 * 56, 4, std::string("\x08\x00\x00\x00", 4));
    const std::string newer = std::string("\x02\x00", 2) + sections[lightmaps].payload.substr(2);
    std::string bad_mode = sections[lightmaps].payload;
    bad_mode[2 + 4 + 4] = 3;  // the first object's preparation mode
    auto with = [&](int index, const std::string &payload) {
        std::vector<SceneTestSection> changed = sections;
        changed[size_t(index)].payload = payload;
        return changed;
    };
    std::vector<SceneTestSection> no_settings = with(lightmaps, bad_mode);
    no_settings.erase(no_settings.begin());
    expect_refused({
        {"a bad object before a lightmap checksum", pack_with(with(objects, bad_object), lightmaps),
         "vertex index out of range"},
        {"a checksum before a newer version", pack_with(with(lightmaps, newer), lightmaps), "section checksum mismatch"},
        {"a newer version alone", pack_with(with(lightmaps, newer), -1), "newer section version"},
        {"a checksum before a bad mode", pack_with(with(lightmaps, bad_mode), lightmaps), "section checksum mismatch"},
        {"a bad mode alone", pack_with(with(lightmaps, bad_mode), -1), "bad preparation mode"},
        {"a bad mode before missing settings", pack_with(no_settings, -1), "bad preparation mode"},
    }, 0x5C);
    scene_shutdown();
}
