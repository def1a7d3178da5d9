// The scene file: round trips, load flags, hostile input, and the whole-or-nothing writer.
#include "tests/scene/scene_test_util.h"

#include "scene/scene_local.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <tuple>

namespace {

// The editor hole of the round trip: every stored field set to something other than its default.
void make_editor_hole(SceneWorld *world)
{
    scene_test_make_hole(world, 30, 3);
    for (int32_t i = 0; i < world->object_count; i++) {
        MeshObject *mesh = world->objects[i];
        mesh->rotation[0] = 0.25f * float(i % 3);
        mesh->position[1] = -0.5f * float(i % 2);
        for (int32_t v = 0; v < mesh->vertex_count; v++) {
            MeshVertex &vertex = mesh->vertices[v];
            vertex.uv1[0] = 0.1f * float(v);
            vertex.uv1[1] = 0.2f * float(i % 7);
            for (int c = 0; c < 4; c++) vertex.color[c] = 0.125f * float((v + c) % 8);
        }
        for (int32_t f = 0; f < mesh->face_count; f++) {
            MeshFace &face = mesh->faces[f];
            for (int k = 0; k < 6; k++) face.uv[k] = 0.5f * float(k + f);
            face.texture_id2 = int16_t(-1 - f % 2);
            face.part = int16_t(f % 9);
            face.build_flag = uint8_t(f % 3);
            face.material = uint16_t(5 + f % 7);
        }
    }
    world->scene_word_1 = -1;
    world->view[0] = 1.5f;
    world->light_factor = 1.25f;
    world->lightmap_tile_size = 8;
    world->ambient_colour[2] = 0.55f;
    world->light_colour[1] = 0.6f;
    snprintf(world->textures[17].name, sizeof world->textures[17].name, "textures/leaves");
    world->textures[17].options = 1;
    snprintf(world->textures[3].name, sizeof world->textures[3].name, "textures/rock");
}

void expect_same_objects(const SceneWorld *a, const SceneWorld *b)
{
    ASSERT_EQ(a->object_count, b->object_count);
    for (int32_t i = 0; i < a->object_count; i++) {
        const MeshObject *x = a->objects[i], *y = b->objects[i];
        SCOPED_TRACE(i);
        EXPECT_STREQ(x->name, y->name);
        EXPECT_EQ(x->object_type, y->object_type);
        EXPECT_EQ(memcmp(x->position, y->position, sizeof x->position), 0);
        EXPECT_EQ(memcmp(x->rotation, y->rotation, sizeof x->rotation), 0);
        ASSERT_EQ(x->vertex_count, y->vertex_count);
        ASSERT_EQ(x->face_count, y->face_count);
        for (int32_t v = 0; v < x->vertex_count; v++) {
            const MeshVertex &p = x->vertices[v], &q = y->vertices[v];
            EXPECT_EQ(memcmp(p.position, q.position, sizeof p.position), 0);
            EXPECT_EQ(memcmp(p.normal, q.normal, sizeof p.normal), 0);
            EXPECT_EQ(memcmp(p.uv0, q.uv0, sizeof p.uv0), 0);
            EXPECT_EQ(memcmp(p.uv1, q.uv1, sizeof p.uv1), 0);
            EXPECT_EQ(memcmp(p.color, q.color, sizeof p.color), 0);
        }
        for (int32_t f = 0; f < x->face_count; f++) {
            const MeshFace &p = x->faces[f], &q = y->faces[f];
            EXPECT_EQ(memcmp(p.v, q.v, sizeof p.v), 0);
            EXPECT_EQ(memcmp(p.normal, q.normal, sizeof p.normal), 0);
            EXPECT_EQ(memcmp(p.uv, q.uv, sizeof p.uv), 0);
            EXPECT_EQ(p.material, q.material);
            EXPECT_EQ(p.texture_id, q.texture_id);
            EXPECT_EQ(p.texture_id2, q.texture_id2);
            EXPECT_EQ(p.part, q.part);
            EXPECT_EQ(p.build_flag, q.build_flag);
            EXPECT_EQ(q.corner[2], &y->vertices[q.v[2]]);
        }
    }
}

// What a failed load must leave as it was.
auto snapshot(const SceneWorld *w)
{
    return std::make_tuple(w->object_count, w->vegetal_count, w->first_block_index, w->ambient_colour[0],
                           w->light_vector[0]);
}

std::string save_to_string(const SceneWorld *world, const TempDir &dir, uint32_t flags = 2)
{
    std::string path = dir / "saved.qel";
    EXPECT_EQ(scene_save(world, path.c_str(), 0, 0, 0, flags), 1);
    return test_read_file(path);
}

std::string payload(uint16_t version = 1) { return std::string(reinterpret_cast<const char *>(&version), 2); }
template <class T>
void put(std::string &s, T value)
{
    s.append(reinterpret_cast<const char *>(&value), sizeof value);
}

}  // namespace

TEST(SceneFile, RoundTripEditorHoleByteIdentical)
{
    TempDir dir;
    SceneTestWorld first, second;
    make_editor_hole(first.world.get());
    std::string path = dir / "hole.qel";
    ASSERT_EQ(scene_save(first.world.get(), path.c_str(), 0, 0, 0, 2), 1);
    EXPECT_STREQ(scene_last_error(), "");

    // As the editor opens a hole: released, the theme's light copied in, loaded with 0x4C.
    SceneWorld *world = second.world.get();
    world_release_and_reset(world);
    scene_test_copy_theme_light(world, first.world.get());
    EXPECT_EQ(scene_load(world, path.c_str(), 0x4C), 0);
    EXPECT_STREQ(scene_last_error(), "");
    std::string again = dir / "again.qel";
    ASSERT_EQ(scene_save(world, again.c_str(), 0, 0, 0, 2), 1);
    EXPECT_TRUE(test_read_file(path) == test_read_file(again));

    expect_same_objects(first.world.get(), world);
    EXPECT_EQ(world->first_block_index, 225);
    EXPECT_EQ(world->view[0], 1.5f);
    EXPECT_EQ(world->light_factor, 1.25f);
    EXPECT_EQ(world->lightmap_tile_size, 8);
    EXPECT_EQ(world->ambient_colour[2], 0.55f);
    EXPECT_EQ(memcmp(world->light_vector, first.world->light_vector, sizeof world->light_vector), 0);
    EXPECT_STREQ(world->textures[17].name, "textures/leaves");  // named, picture missing
    EXPECT_EQ(world->textures[17].pixels, nullptr);
    ASSERT_EQ(world->vegetal_count, 3);
    for (int32_t j = 0; j < 3; j++) {
        EXPECT_EQ(memcmp(&world->vegetal_params[j], &first.world->vegetal_params[j], sizeof(VegetalParams)), 0);
        EXPECT_EQ(world->vegetal_instances[j].random, g_vegetal_random);
        EXPECT_EQ(world->vegetal_instances[j].crown_scale, first.world->vegetal_instances[j].crown_scale);
        EXPECT_EQ(world->vegetal_slots[j][1].position[2], first.world->vegetal_slots[j][0].position[2]);
    }
    // Bounds and links are made by every load.
    ASSERT_NE(world->links[230], nullptr);
    EXPECT_LT(world->objects[230]->bounds[0], 10000.0f);
}

TEST(SceneFile, LoadFlags)
{
    TempDir dir;
    SceneTestWorld source;
    scene_test_make_hole(source.world.get(), 2, 1);
    source.world->ambient_colour[0] = 0.9f;
    source.world->light_vector[0] = -1.0f;
    source.world->lightmap_tile_size = 32;
    std::string file = save_to_string(source.world.get(), dir);

    struct Case {
        uint32_t flags;
        float ambient, vector;
        int32_t tile_size;
    } cases[] = {
        {0x00, 0.9f, -1.0f, 32}, {0x08, 0.35f, -1.0f, 32}, {0x40, 0.9f, 0.35777088f, 32},  {0x10, 0.9f, -1.0f, 16},
        {0x20, 0.9f, -1.0f, 4},  {0x30, 0.9f, -1.0f, 16},  {0x5C, 0.35f, 0.35777088f, 16},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.flags);
        SceneTestWorld holder;
        SceneWorld *world = holder.world.get();
        world->maps[40].in_use = 1;
        world->maps[40].width = world->maps[40].height = 2;
        world->maps[40].height_data = static_cast<uint8_t *>(calloc(4, 1));
        world->maps[40].map = static_cast<uint8_t *>(calloc(16, 1));
        EXPECT_EQ(scene_load_memory(world, file.data(), file.size(), c.flags), 0);
        EXPECT_EQ(world->ambient_colour[0], c.ambient);
        EXPECT_EQ(world->light_vector[0], c.vector);
        EXPECT_EQ(world->lightmap_tile_size, c.tile_size);
        // Flag 4 leaves the buffers to the caller; without it the maps go, the height data stays.
        EXPECT_EQ(world->maps[40].map != nullptr, (c.flags & 4) != 0);
        EXPECT_NE(world->maps[40].height_data, nullptr);
    }

    SceneTestWorld twice;
    ASSERT_EQ(scene_load_memory(twice.world.get(), file.data(), file.size(), 4), 0);
    ASSERT_EQ(scene_load_memory(twice.world.get(), file.data(), file.size(), 4), 0);
    EXPECT_EQ(twice.world->object_count, 2 * 227);  // appended
    EXPECT_EQ(twice.world->vegetal_count, 2);
}

TEST(SceneFile, BadInputRefusedWorldUnchanged)
{
    TempDir dir;
    SceneTestWorld source;
    SceneWorld *small = source.world.get();
    small->first_block_index = 0;
    for (int k = 0; k < 3; k++) scene_add_object(small, scene_test_make_block("BLOC", 1.0f, 1.0f, 1.0f));
    scene_test_add_plant(small, 0);
    snprintf(small->textures[2].name, sizeof small->textures[2].name, "rock");
    std::string file = save_to_string(small, dir);
    ASSERT_GT(file.size(), 400u);

    SceneTestWorld target;
    SceneWorld *world = target.world.get();
    scene_test_make_hole(world, 1, 1);
    world->ambient_colour[0] = 0.8f;
    const auto before = snapshot(world);
    auto refused = [&](const std::string &bytes, const char *what) {
        SCOPED_TRACE(what);
        EXPECT_EQ(scene_load_memory(world, bytes.data(), bytes.size(), 0x4C), 0);
        EXPECT_STRNE(scene_last_error(), "");
        EXPECT_TRUE(snapshot(world) == before);
    };

    for (size_t cut = 0; cut < file.size(); cut++) refused(file.substr(0, cut), "truncated");
    std::vector<SceneTestSection> sections = scene_test_unpack(file);
    ASSERT_EQ(sections.size(), 4u);
    for (size_t at = 24, k = 0; k < sections.size(); k++) {
        uint32_t packed;
        memcpy(&packed, file.data() + at + 8, 4);
        std::string flipped = file;
        flipped[at + 20 + packed / 2] ^= 0x20;
        refused(flipped, "a flipped byte in a section");
        at += 20 + packed;
    }

    std::string newer = file;
    newer[4] = 2;
    refused(newer, "newer format version");
    auto with = [&](size_t index, const std::string &replacement) {
        std::vector<SceneTestSection> changed = sections;
        changed[index].payload = replacement;
        return scene_test_pack(changed);
    };
    const std::string &sets = sections[0].payload, &texs = sections[1].payload, &objs = sections[2].payload;
    refused(with(0, payload(2) + sets.substr(2)), "newer section version");
    refused(with(0, sets.substr(0, sets.size() - 1)), "settings cut short");
    refused(with(0, sets + "x"), "settings too long");
    std::string bad_t = sets;
    bad_t[bad_t.size() - 4] = 12;
    refused(with(0, bad_t), "tile size 12");
    std::string nan = sets;
    float not_a_number = std::nanf("");
    memcpy(&nan[2 + 8], &not_a_number, 4);
    refused(with(0, nan), "a NaN setting");

    auto texture_list = [](int32_t id, const std::string &name) {
        std::string s = payload();
        put<uint32_t>(s, 1);
        put<int32_t>(s, id);
        put<uint8_t>(s, 0);
        put<uint8_t>(s, uint8_t(name.size()));
        return s + name;
    };
    refused(with(1, texture_list(640, "rock")), "texture id 640");
    refused(with(1, texture_list(1, "/etc/passwd")), "absolute texture name");
    refused(with(1, texture_list(1, "c:rock")), "drive letter");
    refused(with(1, texture_list(1, "a/../../rock")), "parent folder");
    refused(with(1, texture_list(1, std::string("ro\0ck", 5))), "NUL in a name");
    std::string twice = texture_list(1, "a");
    twice[2] = 2;
    twice += std::string("\x01\x00\x00\x00\x00\x01", 6) + "b";
    refused(with(1, twice), "repeated texture id");
    std::string many = texs;
    put<uint32_t>(many, 0);
    memcpy(&many[2], "\xff\xff\xff\x0f", 4);
    refused(with(1, many), "texture count");

    // The first object is 1 + 4 + 4 + 24 + 8 bytes of header from offset 6, its name "BLOC".
    const size_t first = 2 + 4;
    const size_t vertices_at = first + 1 + 4 + 4 + 24 + 8;
    char nan_bytes[4];
    memcpy(nan_bytes, &not_a_number, 4);
    const struct {
        size_t at;
        std::string bytes;
        const char *what;
    } patches[] = {{2, std::string("\x00\x00\x01\x00", 4), "object count"},
                   {first, "\xc8", "name longer than its record"},
                   {vertices_at - 8, std::string("\x41\x42\x0f\x00", 4), "vertex count over the limit"},
                   {vertices_at + 8 * 56, std::string("\x08\x00\x00\x00", 4), "vertex index 8 of 8"},
                   {vertices_at + 4, std::string(nan_bytes, 4), "a NaN vertex"}};
    for (const auto &c : patches) refused(with(2, std::string(objs).replace(c.at, c.bytes.size(), c.bytes)), c.what);
    std::vector<SceneTestSection> no_objects = {sections[0], sections[1], sections[3]};
    refused(scene_test_pack(no_objects), "no objects section");
    std::vector<SceneTestSection> swapped = {sections[0], sections[2], sections[1], sections[3]};
    refused(scene_test_pack(swapped), "sections out of order");

    // The world's table has room for 8192 objects in all.
    SceneTestWorld full;
    scene_test_make_block_grid(full.world.get(), SCENE_MAX_OBJECTS - 2, 90);
    EXPECT_EQ(scene_load_memory(full.world.get(), file.data(), file.size(), 0x4C), 0);
    EXPECT_EQ(full.world->object_count, SCENE_MAX_OBJECTS - 2);
    EXPECT_STRNE(scene_last_error(), "");

    struct PathCase {
        const char *what;
        const char *path;
    } paths[] = {{"no path", nullptr}, {"missing file", "/nonexistent/none.qel"}, {"a folder", dir.path.c_str()}};
    for (const PathCase &c : paths) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(scene_load(world, c.path, 0x4C), 0);
        EXPECT_STRNE(scene_last_error(), "");
        EXPECT_TRUE(snapshot(world) == before);
    }
    EXPECT_EQ(scene_load_memory(world, file.data(), file.size(), 0x4C), 0);
    EXPECT_STREQ(scene_last_error(), "");
    EXPECT_EQ(world->object_count, std::get<0>(before) + 3);
}

TEST(SceneFile, UnknownSectionSkipped)
{
    TempDir dir;
    SceneTestWorld source, target;
    scene_test_make_hole(source.world.get(), 1, 0);
    std::vector<SceneTestSection> sections = scene_test_unpack(save_to_string(source.world.get(), dir));
    sections.insert(sections.begin() + 1, {"ZZZZ", "anything at all"});
    sections.push_back({"LATE", std::string(10, '\xff')});
    std::string file = scene_test_pack(sections);
    EXPECT_EQ(scene_load_memory(target.world.get(), file.data(), file.size(), 0x4C), 0);
    EXPECT_STREQ(scene_last_error(), "");
    EXPECT_EQ(target.world->object_count, 226);
}

TEST(SceneFile, SaveFailureKeepsOldFile)
{
    TempDir dir;
    SceneTestWorld holder;
    SceneWorld *world = holder.world.get();
    scene_test_make_hole(world, 2, 0);
    std::string path = dir / "hole.qel";
    ASSERT_EQ(scene_save(world, path.c_str(), 0, 0, 0, 2), 1);
    std::string earlier = test_read_file(path);

    // The writer's temporary cannot be made: the save fails and the earlier file stays.
    std::filesystem::create_directory(path + ".tmp");
    scene_add_object(world, scene_test_make_block("BLOC", 1.0f, 1.0f, 1.0f));
    EXPECT_EQ(scene_save(world, path.c_str(), 0, 0, 0, 2), 0);
    EXPECT_STRNE(scene_last_error(), "");
    EXPECT_TRUE(test_read_file(path) == earlier);
    EXPECT_EQ(scene_save(world, (dir / "missing/hole.qel").c_str(), 0, 0, 0, 2), 0);
    EXPECT_EQ(scene_save(world, nullptr, 0, 0, 0, 2), 0);
}

TEST(SceneFile, FileSizeLimit)
{
    // Sparse files: a file of exactly 256 MB is read (and refused as no scene file); one byte more
    // is refused before it is read whole.
    TempDir dir;
    SceneTestWorld holder;
    const struct {
        uintmax_t bytes;
        const char *error;
    } cases[] = {{uintmax_t(256) << 20, "not a scene file"}, {(uintmax_t(256) << 20) + 1, "file too large"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.bytes);
        std::string path = dir / "large.qel";
        std::ofstream(path, std::ios::binary).close();
        std::filesystem::resize_file(path, c.bytes);
        EXPECT_EQ(scene_load(holder.world.get(), path.c_str(), 0), 0);
        EXPECT_STREQ(scene_last_error(), c.error);
        std::filesystem::remove(path);
    }
}

TEST(SceneFile, ProgressNeverDecreases)
{
    TempDir dir;
    SceneTestWorld source, target;
    make_editor_hole(source.world.get());
    std::string file = save_to_string(source.world.get(), dir);
    static std::vector<std::pair<std::string, float>> calls;
    calls.clear();
    target.world->load_progress = [](const char *text, float fraction) { calls.emplace_back(text, fraction); };
    ASSERT_EQ(scene_load_memory(target.world.get(), file.data(), file.size(), 0x5C), 0);
    ASSERT_GE(calls.size(), 4u);
    for (size_t k = 0; k < calls.size(); k++) {
        EXPECT_EQ(calls[k].first, "loading");
        EXPECT_GE(calls[k].second, k ? calls[k - 1].second : 0.0f);
    }
    EXPECT_EQ(calls.back().second, 1.0f);
    EXPECT_LE(calls[calls.size() - 2].second, 0.5f);
}
