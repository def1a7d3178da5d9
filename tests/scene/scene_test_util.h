// The test hole of the scene tests and of bench_scene: GROUND tiles as the editor lays them, boxes
// stored as hole blocks are (top normals y > 0), plants and a slanted sun. No test framework
// here, so the benchmark can use it.
#pragma once

#include "codecs/codecs.h"
#include "geometry/mesh.h"
#include "geometry/mesh_edit.h"
#include "geometry/vecmath.h"
#include "platform/gpu/headless/gpu_headless.h"
#include "render/render.h"
#include "render/render_draw.h"
#include "scene/scene.h"
#include "scene/scene_local.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

// The game's render context on the headless device, for the length of a test or benchmark.
struct SceneTestDevice {
    int made = 0;
    // What the device itself holds (built-in effects, the renderer's embedded objects): not leaks.
    int registry_base = 0;
    int live_base = 0;
    SceneTestDevice()
    {
        gpu_headless_reset();
        render_context_construct(&g_render_context);
        g_render_context.width = 64;
        g_render_context.height = 32;
        made = render_create_device(&g_render_context);
        registry_base = g_render_registry.count;
        live_base = gpu_headless_live_resources();
    }
    ~SceneTestDevice()
    {
        render_shutdown_device(&g_render_context);
        render_context_destroy(&g_render_context);
        gpu_headless_reset();
    }
    SceneTestDevice(const SceneTestDevice &) = delete;
    SceneTestDevice &operator=(const SceneTestDevice &) = delete;
};

// A world for one test: on the heap (its tables are large), released whole at the end.
struct SceneTestWorld {
    std::unique_ptr<SceneWorld> world = std::make_unique<SceneWorld>();
    ~SceneTestWorld()
    {
        world_release_and_reset(world.get());
        world_release_effects(world.get());
    }
};

constexpr int32_t kSceneTestTrunkTexture = 16;
constexpr int32_t kSceneTestLeafTexture = 17;

// One editor tile of 10 x 10 around the origin: vertex (r, c) at (10r - 5, 0, 10c - 5), texture
// coordinates (3r, 3c), faces (0, 1, 3) and (0, 3, 2) of the GROUND material 7.
inline MeshObject *scene_test_make_tile()
{
    MeshObject *tile = mesh_new();
    if (!tile || !mesh_alloc_arrays(tile, 4)) {
        mesh_delete(tile);
        return nullptr;
    }
    tile->vertex_count = 4;
    for (int k = 0; k < 4; k++) {
        int r = k / 2, c = k % 2;
        MeshVertex &v = tile->vertices[k];
        v.position[0] = 10.0f * float(r) - 5.0f;
        v.position[2] = 10.0f * float(c) - 5.0f;
        v.uv0[0] = 3.0f * float(r);
        v.uv0[1] = 3.0f * float(c);
        for (float &channel : v.color) channel = 1.0f;
    }
    static const int32_t corners[2][3] = {{0, 1, 3}, {0, 3, 2}};
    tile->face_count = 2;
    for (int f = 0; f < 2; f++) {
        MeshFace &face = tile->faces[f];
        memcpy(face.v, corners[f], sizeof face.v);
        face.material = 7;
    }
    mesh_link_face_vertices(tile);
    mesh_compute_normals(tile);
    tile->object_type = 2;
    return tile;
}

// A box block as the theme stores it: centred on x and z, standing on y = 0 (y down, so its top
// is at -size_y), built outward and then inverted so that its top normal has y > 0.
inline MeshObject *scene_test_make_block(const char *name, float size_x, float size_y, float size_z)
{
    MeshObject *block = mesh_new();
    if (!block || !mesh_build_box(block, size_x, size_y, size_z)) {
        mesh_delete(block);
        return nullptr;
    }
    for (int32_t v = 0; v < block->vertex_count; v++) block->vertices[v].position[1] -= 0.5f * size_y;
    mesh_invert_in_place(block);
    for (int32_t f = 0; f < block->face_count; f++) {
        block->faces[f].material = 5;
        block->faces[f].texture_id = int16_t(1 + f % 4);
    }
    snprintf(block->name, sizeof block->name, "%s", name);
    block->object_type = 2;
    return block;
}

// Plant k as the editor adds it, built: a tree when k is even, else a bush, on a grid of points.
inline void scene_test_add_plant(SceneWorld *world, int32_t k)
{
    const int32_t t = kSceneTestTrunkTexture, l = kSceneTestLeafTexture;
    const bool tree = k % 2 == 0;
    VegetalParams p = {};
    p.kind = tree ? kVegetalTree : kVegetalBush;
    p.leaf_density = 1.0f;
    p.trunk_taper = 0.5f;
    p.trunk_radius = float(k % 3 + 3) * 0.01f;
    p.crown_scale = 0.7f;
    p.crown_radius = float(k * 17 % 70 + (tree ? 150 : 250)) * 0.01f;
    p.branches = 12.0f;
    p.leaf_cards = 50.0f;
    p.card_size = 0.4f;
    p.size = tree ? float(k * 7 % 30 + 50) * 0.1f : float(k % 10) * 0.1f;
    p.levels = tree ? 3 : 0;
    const int32_t tree_set[10] = {t, t, t, l, l, t, t, t, l, l};
    const int32_t bush_set[10] = {t, l, l, l, l, t, l, l, l, l};
    memcpy(p.textures_a, tree ? tree_set : bush_set, sizeof p.textures_a);
    memcpy(p.textures_b, (tree ? tree_set : bush_set) + 5, sizeof p.textures_b);
    VegetalInstance instance = {};
    instance.kind = p.kind;
    instance.trunk_radius = p.trunk_radius;
    instance.crown_scale = p.crown_scale;
    instance.card_size = p.card_size;
    instance.values[0] = int32_t(p.branches);
    instance.values[1] = int32_t(p.leaf_cards);
    instance.variant = tree ? p.kind : p.kind - 1;
    int32_t j = scene_add_vegetal(world, &p, &instance);
    if (j < 0) return;
    const float x = -60.0f + float(k % 5) * 30.0f, z = -55.0f + float(k / 5 % 5) * 30.0f;
    for (int32_t detail = 0; detail < 2; detail++) {
        VegetalObject &object = world->vegetal_slots[j][detail];
        object.position[0] = x;
        object.position[2] = z;
        vegetal_build(&object, &world->vegetal_instances[j], p.size, detail);
    }
}

// Fills an empty world: the 225 GROUND tiles (first block index 225), `blocks` boxes of varied
// sizes on a grid over the tiles with yaws in steps of 90 degrees (block 0 "START", some "PALES"
// and "DECOR"), `plants` plants and a slanted sun.
inline void scene_test_make_hole(SceneWorld *world, int32_t blocks, int32_t plants)
{
    MeshObject *tile = scene_test_make_tile();
    for (int x = -70; x <= 70; x += 10) {
        for (int z = -70; z <= 70; z += 10) {
            MeshObject *copy = tile ? mesh_duplicate(tile) : nullptr;
            if (!copy) continue;
            snprintf(copy->name, sizeof copy->name, "GROUND");
            copy->position[0] = float(x);
            copy->position[2] = float(z);
            if (scene_add_object(world, copy) < 0) mesh_delete(copy);
        }
    }
    mesh_delete(tile);
    world->first_block_index = world->object_count;
    for (int32_t k = 0; k < blocks; k++) {
        const char *name = k == 0 ? "START" : k % 11 == 5 ? "PALES" : k % 13 == 7 ? "DECOR" : "BLOC";
        MeshObject *block = scene_test_make_block(name, 2.0f + float(k % 3), 1.0f + float(k % 2), 2.0f + float(k % 4));
        if (!block) continue;
        block->position[0] = -64.0f + float(k % 17) * 8.0f;
        block->position[2] = -64.0f + float(k / 17 % 17) * 8.0f;
        block->rotation[1] = float(90 * (k % 4));
        if (scene_add_object(world, block) < 0) mesh_delete(block);
    }
    for (int32_t k = 0; k < plants; k++) scene_test_add_plant(world, k);
    float sun[3] = {0.5f, 1.0f, 0.25f};
    vec3_normalize(sun);
    memcpy(world->light_vector, sun, sizeof sun);
}

// `count` blocks of 2 x 2 x 2 side by side in rows of `row` along x, touching their neighbours:
// the same density for any count.
inline void scene_test_make_block_grid(SceneWorld *world, int32_t count, int32_t row)
{
    world->first_block_index = world->object_count;
    for (int32_t k = 0; k < count; k++) {
        MeshObject *block = scene_test_make_block("BLOC", 2.0f, 2.0f, 2.0f);
        if (!block) continue;
        block->position[0] = 2.0f * float(k % row);
        block->position[2] = 2.0f * float(k / row);
        if (scene_add_object(world, block) < 0) mesh_delete(block);
    }
}

// One section of a scene file as raw bytes: the tag and the payload (its version word first).
struct SceneTestSection {
    std::string tag;
    std::string payload;
};

inline void scene_test_put(std::string &out, const void *data, size_t size)
{
    out.append(static_cast<const char *>(data), size);
}

// A scene file of the sections, each packed and checksummed as the writer does.
inline std::string scene_test_pack(const std::vector<SceneTestSection> &sections, uint16_t version = 1,
                                   uint32_t flags = 2)
{
    std::string file = "SCNF";
    const uint16_t header[2] = {version, 24};
    scene_test_put(file, header, sizeof header);
    const uint32_t words[2] = {flags, 0};
    scene_test_put(file, words, sizeof words);
    const uint8_t bytes[2] = {0, 0};
    scene_test_put(file, bytes, sizeof bytes);
    const uint16_t count = uint16_t(sections.size());
    scene_test_put(file, &count, sizeof count);
    const uint32_t zero = 0;
    scene_test_put(file, &zero, sizeof zero);
    for (const SceneTestSection &section : sections) {
        PackedBlock block = {};
        deflate_pack_block(&block, section.payload.data(), uint32_t(section.payload.size()), PACKED_FILTER_NONE);
        const uint32_t record[4] = {0, uint32_t(section.payload.size()), block.packed_size,
                                    codecs_crc32(0, section.payload.data(), section.payload.size())};
        file.append(section.tag.substr(0, 4));
        scene_test_put(file, record + 1, 12);
        scene_test_put(file, &zero, sizeof zero);
        scene_test_put(file, block.data, block.packed_size);
        free(block.data);
    }
    return file;
}

// The sections of a file the writer made (empty when it is not one), payloads inflated.
inline std::vector<SceneTestSection> scene_test_unpack(const std::string &file)
{
    std::vector<SceneTestSection> sections;
    if (file.size() < 24) return sections;
    uint16_t count;
    memcpy(&count, file.data() + 18, 2);
    size_t at = 24;
    for (int k = 0; k < count && at + 20 <= file.size(); k++) {
        uint32_t raw, packed;
        memcpy(&raw, file.data() + at + 4, 4);
        memcpy(&packed, file.data() + at + 8, 4);
        if (at + 20 + packed > file.size()) break;
        PackedBlock block = {PACKED_FILTER_NONE, packed, raw,
                             reinterpret_cast<uint8_t *>(const_cast<char *>(file.data() + at + 20))};
        uint8_t *bytes = inflate_unpack_block(&block);
        if (!bytes) break;
        sections.push_back({file.substr(at, 4), std::string(reinterpret_cast<char *>(bytes), raw)});
        free(bytes);
        at += 20 + packed;
    }
    return sections;
}

// Lightmaps for object i as the lighting leaves them, with preparation mode `mode`: cells 1, 2 and 4
// in turn, corners inside the block, and texels that tell objects, faces and places apart.
inline void scene_test_fake_lightmaps(SceneWorld *world, int32_t i, int32_t t, uint8_t mode)
{
    const MeshObject *mesh = world->objects[i];
    int64_t bytes = 0;
    for (int32_t f = 0; f < mesh->face_count; f++) {
        int32_t w = (1 << (f % 3)) * t / 4;
        bytes += int64_t(w) * w * 3;
    }
    ObjectLightmaps *maps = scene_lightmaps_new(mesh->face_count, t, bytes);
    if (!maps) return;
    int64_t at = 0;
    for (int32_t f = 0; f < mesh->face_count; f++) {
        FaceLightmap &face = maps->faces[f];
        face.cells = uint8_t(1 << (f % 3));
        const float ab[6] = {0.0f, 0.0f, 1.0f, 0.0f, 0.25f, 1.0f};
        memcpy(face.ab, ab, sizeof ab);
        face.texel_offset = int32_t(at);
        face.block_id = 3 + f;
        int32_t w = face.cells * t / 4;
        for (int32_t k = 0; k < w * w * 3; k++) maps->texels[at + k] = uint8_t(i * 7 + f * 13 + k);
        at += int64_t(w) * w * 3;
    }
    scene_lightmaps_free(world->lightmaps[i]);
    world->lightmaps[i] = maps;
    world->prepare_modes[i] = mode;
}

inline bool scene_test_is_pales(const MeshObject *object) { return strcmp(object->name, "PALES") == 0; }

inline void scene_test_copy_theme_light(SceneWorld *hole, const SceneWorld *theme)
{
    memcpy(hole->ambient_colour, theme->ambient_colour, sizeof hole->ambient_colour);
    memcpy(hole->light_vector, theme->light_vector, sizeof hole->light_vector);
    memcpy(hole->light_colour, theme->light_colour, sizeof hole->light_colour);
}

// The hole opener with scene and render calls only (its course steps, such as the plants' shadows,
// left out): the lit copy when it exists, else the plain file lit here (progress "lighting") and
// written as the lit copy. The load's result, or -1 when the lit copy could not be written.
inline int scene_test_open_hole(SceneWorld *hole, const SceneWorld *theme, const std::string &plain,
                                const std::string &copy)
{
    world_release_and_reset(hole);
    hole->first_block_index = hole->scene_word_1 = -1;
    scene_test_copy_theme_light(hole, theme);
    world_setup_lighting_textures(hole);
    if (FILE *lit = fopen(copy.c_str(), "rb")) {
        fclose(lit);
        // Blocks read from a lit copy keep no pixel copies, and the face lists are built once, last.
        render_set_mode(29, scene_context(hole), 72);
        hole->face_list_byte = 0;
        uint8_t result = scene_load(hole, copy.c_str(), 0x5C);
        scene_test_copy_theme_light(hole, theme);
        world_free_maps_and_objects(hole);
        world_build_object_face_lists(hole, -2);
        return result;
    }
    render_set_mode(29, scene_context(hole), 71);  // blocks lit here keep pixel copies until the save
    hole->face_list_byte = 0;
    uint8_t result = scene_load(hole, plain.c_str(), 0x5C);
    if (result == 0 && scene_last_error()[0]) return result;  // failed: no lit copy of it
    if (result == 0) {
        world_clear_keep_default(hole);
        world_setup_lighting_textures(hole);
        world_compute_object_bounds(hole);
        world_compute_bounds_and_links(hole);
        lightmap_atlas_free(scene_context(hole));
        scene_test_copy_theme_light(hole, theme);
        hole->face_list_byte = 0;
        world_setup_lighting_textures(hole);
        world_alloc_all_map_slots(hole);
        for (int32_t i = 0; i < hole->object_count; i++)
            if (scene_test_is_pales(hole->objects[i])) hole->objects[i]->object_type = 3;
        world_build_object_face_lists(hole, -2);
        for (int32_t i = 0; i < hole->object_count; i++)
            if (scene_test_is_pales(hole->objects[i])) hole->objects[i]->object_type = 2;
        const int32_t count = hole->object_count;
        for (int32_t i = 0; i < count; i++) {
            lightmap_compute_all(hole, i);
            if (hole->load_progress) hole->load_progress("lighting", 0.1f + 0.45f * float(i) / float(count));
        }
        for (int32_t i = 0; i < count; i++)
            mesh_prepare_world_object(hole, i, scene_test_is_pales(hole->objects[i]) ? 0 : 1);
        hole->lit = 1;
    }
    int written = scene_save(hole, copy.c_str(), 1, 1, 0, 10);
    lightmap_atlas_free_page_pixels(scene_context(hole));
    scene_test_copy_theme_light(hole, theme);
    world_free_maps_and_objects(hole);
    world_build_object_face_lists(hole, -2);
    return written ? result : -1;
}
