// The save keeps to the reader's rules: a world the reader would refuse is not written (the earlier
// file stays, one log line names the field), and every world it writes opens to the same bytes.
#include "tests/scene/scene_test_util.h"

#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <functional>
#include <random>

namespace {

// A small hole: three blocks from object 0 on, a plant and a texture.
void make_small_hole(SceneWorld *world)
{
    world->first_block_index = 0;
    for (int k = 0; k < 3; k++) {
        MeshObject *block = scene_test_make_block("BLOC", 1.0f, 1.0f, 1.0f);
        block->position[0] = 3.0f * float(k);
        scene_add_object(world, block);
    }
    scene_test_add_plant(world, 0);
    snprintf(world->textures[2].name, sizeof world->textures[2].name, "textures/rock");
}

int count_lines(const std::string &text, const std::string &part)
{
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) n++;
    return n;
}

}  // namespace

TEST(SceneSave, AWorldTheReaderWouldRefuseIsNotWritten)
{
    TestFolders folders;  // the log lands in the run folder
    const float nan = std::nanf(""), inf = INFINITY;
    using Edit = std::function<void(SceneWorld *)>;
    auto texture = [](const char *name) -> Edit {
        return [name](SceneWorld *w) { snprintf(w->textures[2].name, sizeof w->textures[2].name, "%s", name); };
    };
    const struct {
        const char *what;
        Edit edit;
        const char *named;  // in the log line and scene_last_error
    } cases[] = {
        {"absolute texture name", texture("/etc/rock"), "texture 2 \"/etc/rock\""},
        {"back-slash texture name", texture("\\rock"), "texture 2"},
        {"drive letter", texture("C:rock"), "texture 2"},
        {"parent folder", texture("textures/../../rock"), "texture 2"},
        {"parent alone", texture(".."), "texture 2"},
        {"NaN position", [&](SceneWorld *w) { w->objects[1]->position[0] = nan; }, "object 1 \"BLOC\": position"},
        {"a name that would break the log line",
         [&](SceneWorld *w) {
             snprintf(w->objects[1]->name, sizeof w->objects[1]->name, "BL\nOC");
             w->objects[1]->rotation[0] = nan;
         },
         "object 1 \"BL?OC\": rotation"},
        {"infinite rotation", [&](SceneWorld *w) { w->objects[2]->rotation[1] = -inf; }, "object 2 \"BLOC\": rotation"},
        {"NaN vertex", [&](SceneWorld *w) { w->objects[0]->vertices[3].uv1[1] = nan; },
         "object 0 \"BLOC\": vertex 3 uv1"},
        {"infinite colour", [&](SceneWorld *w) { w->objects[0]->vertices[5].color[3] = inf; }, "vertex 5 colour"},
        {"infinite face normal", [&](SceneWorld *w) { w->objects[1]->faces[2].normal[1] = inf; }, "face 2 normal"},
        {"NaN face uv", [&](SceneWorld *w) { w->objects[1]->faces[0].uv[5] = nan; }, "object 1 \"BLOC\": face 0 uv"},
        {"vertex index past the end", [](SceneWorld *w) { w->objects[2]->faces[1].v[1] = w->objects[2]->vertex_count; },
         "face 1 vertex index"},
        {"negative vertex index", [](SceneWorld *w) { w->objects[2]->faces[1].v[0] = -1; }, "face 1 vertex index -1"},
        {"NaN setting", [&](SceneWorld *w) { w->light_factor = nan; }, "settings: light factor"},
        {"infinite view", [&](SceneWorld *w) { w->view[2] = inf; }, "settings: view"},
        {"first block index", [](SceneWorld *w) { w->first_block_index = SCENE_MAX_OBJECTS + 1; }, "first block index"},
        {"tile size", [](SceneWorld *w) { w->lightmap_tile_size = 12; }, "lightmap tile size 12"},
        {"NaN plant parameter", [&](SceneWorld *w) { w->vegetal_params[0].bend = nan; }, "plant 0: parameter"},
        {"infinite plant position", [&](SceneWorld *w) { w->vegetal_slots[0][0].position[1] = inf; },
         "plant 0: position"},
    };
    const std::string path = folders.run + "/hole.qel", log = folders.run + "/rar3a_log.txt";
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        SceneTestWorld holder;
        SceneWorld *world = holder.world.get();
        make_small_hole(world);
        ASSERT_EQ(scene_save(world, "hole.qel", 0, 0, 0, 2), 1);
        const std::string earlier = test_read_file(path), log_before = test_read_file(log);
        c.edit(world);
        EXPECT_EQ(scene_save(world, "hole.qel", 0, 0, 0, 2), 0);
        EXPECT_NE(std::string(scene_last_error()).find(c.named), std::string::npos) << scene_last_error();
        EXPECT_TRUE(test_read_file(path) == earlier);
        const std::string logged = test_read_file(log).substr(log_before.size());
        EXPECT_EQ(count_lines(logged, "\n"), 1) << logged;
        EXPECT_EQ(count_lines(logged, c.named), 1) << logged;
    }

    // The lightmap section of a lit save: corners outside the block, a preparation mode past 2.
    for (int lightmap_case = 0; lightmap_case < 2; lightmap_case++) {
        SCOPED_TRACE(lightmap_case);
        SceneTestWorld holder;
        SceneWorld *world = holder.world.get();
        make_small_hole(world);
        for (int32_t i = 0; i < 3; i++) scene_test_fake_lightmaps(world, i, world->lightmap_tile_size, 1);
        ASSERT_EQ(scene_save(world, "hole.qel", 1, 0, 0, 10), 1);
        const std::string earlier = test_read_file(path);
        if (lightmap_case == 0)
            world->lightmaps[1]->faces[4].ab[2] = nan;
        else
            world->prepare_modes[2] = 3;
        EXPECT_EQ(scene_save(world, "hole.qel", 1, 0, 0, 10), 0);
        EXPECT_NE(std::string(scene_last_error())
                      .find(lightmap_case == 0 ? "object 1 \"BLOC\": face 4 lightmap"
                                               : "object 2 \"BLOC\": preparation mode 3"),
                  std::string::npos)
            << scene_last_error();
        EXPECT_TRUE(test_read_file(path) == earlier);
        // The same world saved unlit carries no lightmaps, so nothing in them can stop it.
        EXPECT_EQ(scene_save(world, "hole.qel", 0, 0, 0, 2), 1);
    }
}

namespace {

// Random worlds that keep every rule: bytes of every kind where the format stores them as they are,
// and the floats' corners (zeros of both signs, a denormal, the largest) where the load does not
// compute with them. Lit worlds keep their coordinates moderate, for the reader's own lighting.
struct WorldMaker {
    std::mt19937 rng;
    bool lit = false;

    explicit WorldMaker(uint32_t seed) : rng(seed) {}

    uint32_t below(uint32_t n) { return uint32_t(rng() % n); }
    float between(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); }
    float any_float()
    {
        static const float corners[] = {0.0f, -0.0f, FLT_MIN / 8.0f, FLT_MAX, -FLT_MAX, 1e-38f};
        if (below(8) == 0) return corners[below(6)];
        return between(-1000.0f, 1000.0f);
    }
    float coordinate() { return lit ? between(-20.0f, 20.0f) : any_float(); }

    std::string object_name()
    {
        std::string name(below(128), ' ');
        for (char &c : name) c = char(1 + below(255));
        return name;
    }

    // Segments of harmless bytes joined by either separator; never "..", never a drive.
    std::string texture_name()
    {
        static const char bytes[] = "abcdefghijklmnopqrstuvwxyz0123456789_-. ABC";
        std::string name;
        for (uint32_t s = 0, segments = 1 + below(3); s < segments; s++) {
            if (s) name += below(2) ? '/' : '\\';
            std::string part;
            do {
                part.assign(1 + below(12), ' ');
                for (char &c : part) c = bytes[below(sizeof bytes - 1)];
            } while (part == ".." || (s == 0 && part.size() > 1 && part[1] == ':'));
            name += part;
        }
        return name.substr(0, 127);
    }

    MeshObject *object()
    {
        MeshObject *mesh = mesh_new();
        const int32_t vertices = int32_t(below(13)), faces = vertices ? int32_t(below(13)) : 0;
        mesh_alloc_arrays(mesh, 12);
        snprintf(mesh->name, sizeof mesh->name, "%s", object_name().c_str());
        mesh->object_type = int32_t(rng());
        for (int k = 0; k < 3; k++) mesh->position[k] = coordinate(), mesh->rotation[k] = coordinate();
        mesh->vertex_count = vertices;
        for (int32_t v = 0; v < vertices; v++) {
            MeshVertex &vertex = mesh->vertices[v];
            for (float *field : {vertex.position, vertex.normal})
                for (int k = 0; k < 3; k++) field[k] = coordinate();
            for (int k = 0; k < 2; k++) vertex.uv0[k] = any_float(), vertex.uv1[k] = any_float();
            for (float &c : vertex.color) c = any_float();
        }
        mesh->face_count = faces;
        for (int32_t f = 0; f < faces; f++) {
            MeshFace &face = mesh->faces[f];
            for (int32_t &v : face.v) v = int32_t(below(uint32_t(vertices)));
            for (float &n : face.normal) n = any_float();
            for (float &uv : face.uv) uv = any_float();
            face.material = uint16_t(rng());
            face.texture_id = int16_t(rng());
            face.texture_id2 = int16_t(rng());
            face.part = int16_t(rng());
            face.build_flag = uint8_t(rng());
        }
        mesh_link_face_vertices(mesh);
        return mesh;
    }

    void plant(SceneWorld *world)
    {
        VegetalParams p = {};
        p.kind = below(2) ? kVegetalTree : kVegetalBush;
        float *words = &p.leaf_density;
        for (int k = 0; k < 9; k++) words[k] = between(0.0f, 2.0f);
        p.size = between(0.2f, 6.0f);
        p.levels = int32_t(below(4));
        p.bend = between(-1.0f, 1.0f);
        for (uint32_t &word : p.reserved) word = rng();
        for (int k = 0; k < 5; k++) p.textures_a[k] = int32_t(rng()), p.textures_b[k] = int32_t(rng());
        VegetalInstance instance = {};
        instance.kind = p.kind;
        instance.trunk_radius = between(0.01f, 0.06f);
        instance.crown_scale = between(0.3f, 1.0f);
        for (uint32_t &word : instance.word3) word = rng();
        instance.values[0] = int32_t(below(16));
        instance.values[1] = int32_t(below(60));
        instance.card_size = between(0.1f, 0.6f);
        instance.variant = int32_t(rng());
        for (uint32_t &word : instance.reserved) word = rng();
        const int32_t j = scene_add_vegetal(world, &p, &instance);
        for (float &c : world->vegetal_slots[j][0].position) c = between(-50.0f, 50.0f);
    }

    void world(SceneWorld *world)
    {
        for (uint32_t k = 0, n = below(7); k < n; k++) {
            SceneTexture &texture = world->textures[below(SCENE_MAX_TEXTURES)];
            snprintf(texture.name, sizeof texture.name, "%s", texture_name().c_str());
            texture.options = uint8_t(rng());
        }
        for (uint32_t k = 0, n = below(13); k < n; k++) scene_add_object(world, object());
        for (uint32_t k = 0, n = below(3) ? 0 : 1 + below(3); k < n; k++) plant(world);
        world->first_block_index = int32_t(below(SCENE_MAX_OBJECTS + 2)) - 1;
        world->scene_word_1 = int32_t(rng());
        for (float *field : {world->view, world->light_vector})
            for (int k = 0; k < 3; k++) field[k] = lit ? between(-1.0f, 1.0f) : any_float();
        for (float *field : {world->ambient_colour, world->light_colour})
            for (int k = 0; k < 4; k++) field[k] = lit ? between(0.0f, 1.0f) : any_float();
        world->light_factor = lit ? between(0.5f, 2.0f) : any_float();
        world->lightmap_tile_size = 4 << below(6);
        if (!lit) return;
        // As the hole opener leaves a world before it writes the lit copy: lightmaps at the world's
        // tile size (the one the lit copy's reader takes), the other objects prepared reduced, their
        // light in their vertex colours (which the reader's lighting computes alike).
        for (int32_t i = 0; i < world->object_count; i++) {
            if (world->objects[i]->face_count > 0 && below(4))
                scene_test_fake_lightmaps(world, i, world->lightmap_tile_size, 1);
            else
                mesh_prepare_world_object(world, i, 0);
        }
    }
};

// The tags of the sections whose payloads differ (a missing one too).
std::string differing_sections(const std::string &x, const std::string &y)
{
    std::vector<SceneTestSection> a = scene_test_unpack(x), b = scene_test_unpack(y);
    std::string out;
    for (size_t k = 0; k < std::max(a.size(), b.size()); k++)
        if (k >= a.size() || k >= b.size() || a[k].tag != b[k].tag || a[k].payload != b[k].payload)
            out += (k < a.size() ? a[k].tag : b[k].tag) + " ";
    return out.empty() ? "none (the header)" : out;
}

}  // namespace

TEST(SceneSave, GeneratedWorldsOpenToTheSameBytes)
{
    TestFolders folders;
    SceneTestDevice device;
    ASSERT_EQ(device.made, 1);
    int lit_loads = 0;
    for (uint32_t seed = 1; seed <= 200; seed++) {
        SCOPED_TRACE(seed);
        WorldMaker make(seed);
        make.lit = seed % 4 == 0;
        SceneTestWorld first, second;
        make.world(first.world.get());
        const uint8_t lit = make.lit ? 1 : 0;
        const uint32_t flags = make.lit ? 10 : 2, a = make.rng();
        ASSERT_EQ(scene_save(first.world.get(), "first.qel", lit, a, 0, flags), 1) << scene_last_error();
        lit_loads += scene_load(second.world.get(), "first.qel", 4);  // lightmaps kept, as the editor keeps them
        ASSERT_STREQ(scene_last_error(), "");
        ASSERT_EQ(scene_save(second.world.get(), "again.qel", lit, a, 0, flags), 1) << scene_last_error();
        const std::string once = test_read_file(folders.run + "/first.qel");
        ASSERT_FALSE(once.empty());
        const std::string twice = test_read_file(folders.run + "/again.qel");
        ASSERT_TRUE(once == twice) << "sections that differ: " << differing_sections(once, twice);
    }
    EXPECT_GE(lit_loads, 40);  // most lit worlds were read back through the reader's own lighting
    scene_shutdown();
}
