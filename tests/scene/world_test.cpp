// The world's tables and helpers, bounds and links, and the release operations.
#include "tests/scene/scene_test_util.h"

#include "render/render.h"
#include "scene/scene_local.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

MeshObject *add_block(SceneWorld *world, float x, float y, float z, float sx, float sy, float sz, float yaw = 0.0f)
{
    MeshObject *block = scene_test_make_block("BLOC", sx, sy, sz);
    block->position[0] = x;
    block->position[1] = y;
    block->position[2] = z;
    block->rotation[1] = yaw;
    EXPECT_GE(scene_add_object(world, block), 0);
    return block;
}

std::vector<int32_t> links_of(const SceneWorld *world, int32_t i)
{
    const ObjectLinks *links = world->links[i];
    if (!links) return {};
    return std::vector<int32_t>(links->index, links->index + links->count);
}

// A render object with buffers on the headless device, so it sits in the registry.
RenderObject *make_render_object()
{
    RenderObject *object = render_object_init(new RenderObject);
    object->flags = kRenderDiffuse;
    render_object_create_vertex_buffer(object, 3, 3, 0);
    return object;
}

}  // namespace

TEST(SceneWorld, AddObjectRefusedWhenFull)
{
    SceneTestWorld holder;
    SceneWorld *world = holder.world.get();
    for (int32_t i = 0; i < SCENE_MAX_OBJECTS; i++) ASSERT_EQ(scene_add_object(world, mesh_new()), i);
    MeshObject *extra = mesh_new();
    EXPECT_EQ(scene_add_object(world, extra), -1);
    EXPECT_EQ(world->object_count, SCENE_MAX_OBJECTS);
    mesh_delete(extra);  // refused, so still ours
    EXPECT_EQ(scene_add_object(world, nullptr), -1);
    EXPECT_EQ(scene_set_render_object(world, SCENE_MAX_OBJECTS, nullptr), 0);
    EXPECT_EQ(scene_set_render_object(world, -1, nullptr), 0);

    VegetalParams params = {};
    for (int32_t j = 0; j < SCENE_MAX_VEGETALS; j++) ASSERT_EQ(scene_add_vegetal(world, &params, nullptr), j);
    EXPECT_EQ(scene_add_vegetal(world, &params, nullptr), -1);
    EXPECT_EQ(world->vegetal_count, SCENE_MAX_VEGETALS);
}

TEST(SceneWorld, BoundsAndLinks)
{
    struct Case {
        const char *name;
        float gap;  // between two 2 x 2 x 2 blocks along x
        bool linked;
    } cases[] = {
        {"touching", 0.0f, true},     {"overlapping", -0.5f, true}, {"within the tolerance", 0.015f, true},
        {"0.05 apart", 0.05f, false}, {"far apart", 3.0f, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SceneTestWorld holder;
        SceneWorld *world = holder.world.get();
        add_block(world, 0.0f, 0.0f, 0.0f, 2.0f, 2.0f, 2.0f);
        add_block(world, 2.0f + c.gap, 0.0f, 0.0f, 2.0f, 2.0f, 2.0f);
        world_compute_bounds_and_links(world);
        EXPECT_EQ(links_of(world, 0), c.linked ? std::vector<int32_t>{1} : std::vector<int32_t>{});
        EXPECT_EQ(links_of(world, 1), c.linked ? std::vector<int32_t>{0} : std::vector<int32_t>{});
    }

    {
        SCOPED_TRACE("ground tiles take no part; an empty object has no bounds");
        SceneTestWorld holder;
        SceneWorld *world = holder.world.get();
        scene_test_make_hole(world, 0, 0);
        ASSERT_EQ(world->first_block_index, 225);
        add_block(world, 0.0f, 0.0f, 0.0f, 2.0f, 2.0f, 2.0f);   // stands on tiles
        add_block(world, 0.0f, -2.0f, 0.0f, 2.0f, 2.0f, 2.0f);  // on top of it
        int32_t empty = scene_add_object(world, mesh_new());
        world_compute_bounds_and_links(world);
        EXPECT_EQ(links_of(world, 112), std::vector<int32_t>{});
        EXPECT_EQ(links_of(world, 225), std::vector<int32_t>{226});
        EXPECT_EQ(links_of(world, 226), std::vector<int32_t>{225});
        EXPECT_EQ(links_of(world, empty), std::vector<int32_t>{});
        const float *b = world->objects[empty]->bounds;
        EXPECT_EQ(b[0], 10000.0f);
        EXPECT_EQ(b[1], -10000.0f);
        // A tile is world-space: the one at (0, 0, 0) covers -5..5.
        const float *tile = world->objects[112]->bounds;
        EXPECT_FLOAT_EQ(tile[0], -5.0f);
        EXPECT_FLOAT_EQ(tile[5], 5.0f);
    }

    {
        SCOPED_TRACE("a yaw of 90 swaps the x and z extents");
        SceneTestWorld holder;
        SceneWorld *world = holder.world.get();
        add_block(world, 10.0f, 0.0f, 20.0f, 2.0f, 1.0f, 4.0f, 90.0f);
        world_compute_object_bounds(world);
        const float want[6] = {8.0f, 12.0f, -1.0f, 0.0f, 19.0f, 21.0f};  // standing on y = 0, y down
        for (int k = 0; k < 6; k++) EXPECT_NEAR(world->objects[0]->bounds[k], want[k], 1e-4) << k;
    }

    {
        SCOPED_TRACE("200 touching objects: capped at 128, ascending, symmetric");
        SceneTestWorld holder;
        SceneWorld *world = holder.world.get();
        for (int k = 0; k < 200; k++) add_block(world, 0.001f * float(k), 0.0f, 0.0f, 1.0f, 1.0f, 1.0f);
        world_compute_bounds_and_links(world);
        EXPECT_EQ(world->links[0]->count, SCENE_MAX_LINKS);
        for (int32_t i = 0; i < 200; i++) {
            std::vector<int32_t> list = links_of(world, i);
            ASSERT_LE(list.size(), size_t(SCENE_MAX_LINKS));
            ASSERT_TRUE(std::is_sorted(list.begin(), list.end()) &&
                        std::adjacent_find(list.begin(), list.end()) == list.end());
            for (int32_t j : list) {
                std::vector<int32_t> back = links_of(world, j);
                ASSERT_TRUE(std::count(back.begin(), back.end(), i)) << i << " -> " << j;
            }
        }
    }

    {
        SCOPED_TRACE("a grid: each block links its eight neighbours, and links follow a removal");
        SceneTestWorld holder;
        SceneWorld *world = holder.world.get();
        scene_test_make_block_grid(world, 25, 5);
        world_compute_bounds_and_links(world);
        EXPECT_EQ(links_of(world, 12), (std::vector<int32_t>{6, 7, 8, 11, 13, 16, 17, 18}));
        EXPECT_EQ(links_of(world, 0), (std::vector<int32_t>{1, 5, 6}));
        mesh_delete(world->objects[24]);
        world->objects[24] = nullptr;
        world->object_count = 24;
        world_compute_bounds_and_links(world);
        EXPECT_EQ(world->links[24], nullptr);
        EXPECT_EQ(links_of(world, 18), (std::vector<int32_t>{12, 13, 14, 17, 19, 22, 23}));
    }
}

TEST(SceneWorld, SharedHandleFreedOnce)
{
    SceneTestDevice device;
    ASSERT_EQ(device.made, 1);
    SceneTestWorld holder;
    SceneWorld *world = holder.world.get();
    scene_test_make_hole(world, 3, 0);
    int32_t base = g_render_registry.count;
    int live = gpu_headless_live_resources();  // the device's own: built-in effects, embedded objects

    // One handle in both tables, a second pair of distinct handles, and a replacement.
    ASSERT_EQ(scene_set_render_object(world, 0, make_render_object()), 1);
    world->render_objects[1] = make_render_object();
    world->play_render_objects[1] = make_render_object();
    ASSERT_EQ(scene_set_render_object(world, 2, make_render_object()), 1);
    EXPECT_EQ(g_render_registry.count, base + 4);
    RenderObject *shared = world->render_objects[0];
    EXPECT_EQ(world->play_render_objects[0], shared);
    ASSERT_EQ(scene_set_render_object(world, 2, make_render_object()), 1);  // frees the old one once
    EXPECT_EQ(g_render_registry.count, base + 4);
    ASSERT_EQ(scene_set_render_object(world, 1, world->render_objects[1]), 1);  // keeps it, frees play's
    EXPECT_EQ(g_render_registry.count, base + 3);
    EXPECT_EQ(world->play_render_objects[1], world->render_objects[1]);

    world_clear_keep_default(world);
    EXPECT_EQ(g_render_registry.count, base);
    for (int32_t i = 0; i < 3; i++) EXPECT_TRUE(!world->render_objects[i] && !world->play_render_objects[i]) << i;

    // The release does the same with a shared handle, a receiver and an effect holder.
    ASSERT_EQ(scene_set_render_object(world, 5, make_render_object()), 1);
    world->shadow_receivers[5] = make_render_object();
    world->standard_effects[0] = make_render_object();
    world_release_and_reset(world);
    EXPECT_EQ(g_render_registry.count, base + 1);  // the effect stays
    world_release_effects(world);
    EXPECT_EQ(g_render_registry.count, base);
    EXPECT_EQ(world->standard_effects[0], nullptr);
    EXPECT_EQ(gpu_headless_live_resources(), live);
}

TEST(SceneWorld, ReleaseKeepsCallerFields)
{
    SceneTestWorld holder;
    SceneWorld *world = holder.world.get();
    auto progress = [](const char *, float) {};
    RenderContext other = {};
    world->renderer = &other;
    world->play_mode = 1;
    for (int32_t option : {2, 5, 40}) scene_set_option(world, option);  // 40 is out of range: ignored
    world->load_progress = progress;
    scene_test_make_hole(world, 30, 3);
    world->lit = world->lighting_flag = world->map_slot_marker = 1;
    world->ambient_colour[0] = 0.9f;
    world->lightmap_tile_size = 4;
    world->object_marks[3] = 1;
    world->maps[5].in_use = 1;
    world->maps[5].height_data = static_cast<uint8_t *>(calloc(16, 1));
    world->shadow_masks[2] = static_cast<uint8_t *>(calloc(16, 1));
    world->lightmaps[4] = scene_lightmaps_new(1, 4, 48);
    world->textures[3].pixels = static_cast<uint8_t *>(calloc(16, 1));
    world_compute_bounds_and_links(world);

    world_release_and_reset(world);
    EXPECT_EQ(world->renderer, &other);
    EXPECT_EQ(world->play_mode, 1);
    EXPECT_EQ(world->options, (1u << 2) | (1u << 5));
    EXPECT_EQ(world->load_progress, +progress);
    world->renderer = nullptr;

    // Everything else is as in a new world.
    auto fresh = std::make_unique<SceneWorld>();
    EXPECT_EQ(world->object_count + world->vegetal_count + world->lit + world->lighting_flag + world->map_slot_marker, 0);
    EXPECT_EQ(world->first_block_index, fresh->first_block_index);
    EXPECT_EQ(memcmp(world->ambient_colour, fresh->ambient_colour, sizeof world->ambient_colour), 0);
    EXPECT_EQ(world->lightmap_tile_size, fresh->lightmap_tile_size);
    for (int32_t i = 0; i < 300; i++)
        ASSERT_TRUE(!world->objects[i] && !world->links[i] && !world->lightmaps[i] && !world->object_marks[i]) << i;
    EXPECT_EQ(world->maps[5].height_data, nullptr);
    EXPECT_EQ(world->shadow_masks[2], nullptr);
    EXPECT_EQ(world->textures[3].pixels, nullptr);
    EXPECT_EQ(world->textures[3].slot, -1);
}

TEST(SceneWorld, ClearForEditorKeepsObjects)
{
    SceneTestWorld holder;
    SceneWorld *world = holder.world.get();
    scene_test_make_hole(world, 10, 2);
    world_compute_bounds_and_links(world);
    world->lit = world->lighting_flag = 1;
    world->face_list_byte = 0;
    world->light_factor = 1.5f;
    world->maps[17].in_use = 1;
    world->maps[17].height_data = static_cast<uint8_t *>(calloc(4, 1));
    world->maps[17].map = static_cast<uint8_t *>(calloc(16, 1));
    world->map_slot_marker = 1;
    MeshObject *companion = mesh_duplicate(world->objects[230]);
    world->companions[230] = companion;
    world->objects[230]->companion = companion;
    world->object_marks[230] = world->prepare_modes[230] = 1;
    world->lightmaps[230] = scene_lightmaps_new(1, 4, 48);
    world->light_meshes[0] = world->objects[230];
    world->light_bsp = LightBsp{world->light_meshes, 1, {0.0f, 1.0f, 0.0f}, 1000.0f};
    MeshObject *kept = world->objects[231];

    world_clear_keep_default(world);
    EXPECT_TRUE(!world->companions[230] && !world->objects[230]->companion && !world->lightmaps[230] &&
                !world->object_marks[230] && !world->prepare_modes[230] && !world->links[230]);
    EXPECT_EQ(world->lit, 1);  // the default clear keeps lighting state and face lists
    EXPECT_EQ(world->light_bsp.mesh_count, 1);

    world_clear_for_editor(world);
    EXPECT_EQ(world->object_count, 235);
    EXPECT_EQ(world->objects[231], kept);
    EXPECT_EQ(world->vegetal_count, 2);
    EXPECT_EQ(world->lit + world->lighting_flag + world->face_list_byte + world->light_bsp.mesh_count, 0);
    EXPECT_EQ(world->light_factor, 1.5f);
    EXPECT_TRUE(!world->light_bsp.meshes && !world->light_meshes[0] && !world->ray_tree);
    EXPECT_NE(world->maps[17].map, nullptr);

    world_free_maps_and_objects(world);
    EXPECT_EQ(world->maps[17].map, nullptr);
    EXPECT_NE(world->maps[17].height_data, nullptr);  // rebuilt from later
    EXPECT_EQ(world->map_slot_marker, 0);
}

TEST(SceneWorld, VegetalSlotMovesLast)
{
    SceneTestWorld holder;
    SceneWorld *world = holder.world.get();
    for (int32_t k = 0; k < 4; k++) scene_test_add_plant(world, k);
    ASSERT_EQ(world->vegetal_count, 4);
    // Moving the last plant moves the ownership of its meshes with it.
    MeshObject *mesh = world->vegetal_slots[3][0].meshes[0];
    ASSERT_NE(mesh, nullptr);
    const VegetalParams last = world->vegetal_params[3];
    const float x = world->vegetal_slots[3][1].position[0];

    ASSERT_EQ(scene_remove_vegetal(world, 1), 1);
    EXPECT_EQ(world->vegetal_count, 3);
    EXPECT_EQ(memcmp(&world->vegetal_params[1], &last, sizeof last), 0);
    EXPECT_EQ(world->vegetal_slots[1][0].meshes[0], mesh);
    EXPECT_EQ(world->vegetal_slots[1][1].position[0], x);
    EXPECT_EQ(world->vegetal_slots[3][0].meshes[0], nullptr);
    EXPECT_EQ(world->vegetal_params[3].kind, 0);

    ASSERT_EQ(scene_remove_vegetal(world, 2), 1);  // the last one itself
    EXPECT_EQ(world->vegetal_count, 2);
    EXPECT_EQ(scene_remove_vegetal(world, 2), 0);
    EXPECT_EQ(scene_remove_vegetal(world, -1), 0);
}
