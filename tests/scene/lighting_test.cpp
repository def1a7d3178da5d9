// Lighting: texels of a tile and a box under the sun and in shadow, in both windings; degenerate
// faces, a full atlas, companions' coordinates, play's light test, the reduced preparation and the
// editor's clear.
#include "tests/scene/lighting_test_util.h"

#include "geometry/list.h"
#include "geometry/vecmath.h"
#include "render/render_object.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

const float kOverhead[3] = {0.0f, 1.0f, 0.0f};
const float kSlanted[3] = {0.70710678f, 0.70710678f, 0.0f};  // travels +x and down: shadows fall on +x

struct SceneLighting : ::testing::Test {
    SceneTestDevice device;
    SceneTestWorld holder;
    SceneWorld *world = holder.world.get();

    void TearDown() override { scene_shutdown(); }

    // ambient + light x lambert x lit, as bytes.
    std::array<int, 3> expected(float lambert, float lit) const
    {
        std::array<int, 3> out;
        for (int c = 0; c < 3; c++) {
            float v = world->ambient_colour[c] + world->light_colour[c] * lambert * lit;
            out[size_t(c)] = int(std::min(v, 1.0f) * 255.0f);
        }
        return out;
    }
};

void expect_near(const std::array<int, 3> &got, const std::array<int, 3> &want, int tolerance = 1)
{
    for (int c = 0; c < 3; c++) EXPECT_NEAR(got[size_t(c)], want[size_t(c)], tolerance) << "channel " << c;
}

}  // namespace

TEST_F(SceneLighting, SunAndShadows)
{
    ASSERT_TRUE(device.made);
    const float ground_under[3] = {0.2f, 0.0f, 0.3f}, ground_open[3] = {3.5f, 0.0f, 3.0f};
    const float top[3] = {0.3f, -2.0f, 0.2f}, side[3] = {1.0f, -1.0f, 0.3f}, far_side[3] = {1.0f, -1.3f, -0.2f};
    const float near_side[3] = {-1.0f, -1.3f, 0.2f}, bottom[3] = {0.3f, 0.0f, -0.2f};
    const float in_shadow[3] = {2.0f, 0.0f, 0.1f}, beyond[3] = {-3.5f, 0.0f, 0.0f};

    auto relight = [&](const float *sun, int32_t box_type) {
        world_release_and_reset(world);
        lighting_make_scene(world, false, true, sun);
        world->objects[1]->object_type = box_type;
        lighting_light_all(world);
    };
    relight(kOverhead, 2);
    ASSERT_TRUE(world->lightmaps[0] && world->lightmaps[1]);
    EXPECT_EQ(world->object_marks[0], 1);
    EXPECT_EQ(world->lighting_flag, 1);
    expect_near(lighting_colour_at(world, 0, ground_under), expected(1, 0));
    expect_near(lighting_colour_at(world, 0, ground_open), expected(1, 1));
    expect_near(lighting_colour_at(world, 1, top), expected(1, 1));
    expect_near(lighting_colour_at(world, 1, side), expected(0, 0));
    expect_near(lighting_colour_at(world, 1, bottom), expected(1, 0));
    // Unlit sides are uniform: one cell.
    for (int32_t f = 0; f < world->objects[1]->face_count; f++)
        if (std::fabs(world->objects[1]->faces[f].world_normal[1]) < 0.5f) {
            EXPECT_EQ(world->lightmaps[1]->faces[f].cells, 1);
        }

    // A slanted sun: the shadow on the far side of the box, the far side itself unlit.
    relight(kSlanted, 2);
    const float lambert = 0.70710678f;
    expect_near(lighting_colour_at(world, 0, in_shadow), expected(lambert, 0));
    expect_near(lighting_colour_at(world, 0, beyond), expected(lambert, 1));
    expect_near(lighting_colour_at(world, 1, far_side), expected(lambert, 0));
    expect_near(lighting_colour_at(world, 1, near_side), expected(lambert, 1));

    // An object of type 3 casts no shadow.
    relight(kOverhead, 3);
    expect_near(lighting_colour_at(world, 0, ground_under), expected(1, 1));
}

// Both windings light alike: every combination of an inverted tile and an inward box gives the
// colours of the first at the same world points.
// The shadows come from the blocks where the face lists found them, even when the lighting runs
// after a block has moved: the ray tree is made late, but from the triangles of that moment.
TEST_F(SceneLighting, ShadowsFromTheFaceListsMoment)
{
    ASSERT_TRUE(device.made);
    const float ground_under[3] = {0.2f, 0.0f, 0.3f};
    lighting_make_scene(world, false, true, kOverhead);
    world_setup_lighting_textures(world);
    world_build_object_face_lists(world, -2);
    world->objects[1]->position[0] = 30.0f;  // off the tile
    mesh_update_world_transform(world->objects[1]);
    lightmap_compute_all(world, 0);
    expect_near(lighting_colour_at(world, 0, ground_under), expected(1, 0));
    // New face lists see the block gone.
    world_build_object_face_lists(world, -2);
    lightmap_compute_all(world, 0);
    expect_near(lighting_colour_at(world, 0, ground_under), expected(1, 1));
}

TEST_F(SceneLighting, BothWindingsSameLight)
{
    const float points[][4] = {
        {0, 0.2f, 0.0f, 0.3f},  {0, 3.5f, 0.0f, 3.0f},   {0, 2.0f, 0.0f, 0.1f},   {0, -3.0f, 0.0f, -3.0f},
        {1, 0.3f, -2.0f, 0.2f}, {1, 1.0f, -1.2f, 0.3f},  {1, -1.0f, -1.2f, 0.3f}, {1, 0.3f, 0.0f, -0.2f},
        {1, 0.2f, -1.0f, 1.0f}, {1, 0.2f, -1.0f, -1.0f},
    };
    for (const float *sun : {kOverhead, kSlanted}) {
        std::vector<std::array<int, 3>> reference;
        for (int variant = 0; variant < 4; variant++) {
            SCOPED_TRACE(testing::Message() << "variant " << variant << " sun x " << sun[0]);
            world_release_and_reset(world);
            lighting_make_scene(world, variant & 1, variant & 2, sun);
            lighting_light_all(world);
            for (size_t k = 0; k < sizeof points / sizeof points[0]; k++) {
                std::array<int, 3> colour = lighting_colour_at(world, int32_t(points[k][0]), points[k] + 1);
                ASSERT_GE(colour[0], 0) << "point " << k;
                if (variant == 0)
                    reference.push_back(colour);
                else
                    expect_near(colour, reference[k]);
            }
        }
    }
}

TEST_F(SceneLighting, DegenerateFaceNoNaN)
{
    lighting_make_scene(world, false, true, kSlanted);
    MeshObject *tile = world->objects[0];
    // Face 1 collapses onto a line: zero area, zero normal.
    tile->vertices[3].position[0] = tile->vertices[0].position[0];
    tile->vertices[3].position[2] = tile->vertices[0].position[2];
    tile->vertices[2].position[0] = tile->vertices[0].position[0];
    mesh_compute_normals(tile);
    lighting_light_all(world);
    ASSERT_TRUE(world->lightmaps[0]);
    const ObjectLightmaps *maps = world->lightmaps[0];
    const FaceLightmap &flat = maps->faces[1];
    EXPECT_GT(flat.block_id, 0);
    int32_t w = flat.cells * maps->tile_size / 4;
    std::array<int, 3> ambient = expected(0, 0);
    for (int32_t t = 0; t < w * w; t++)
        for (int c = 0; c < 3; c++) EXPECT_EQ(maps->texels[flat.texel_offset + 3 * t + c], ambient[size_t(c)]);
    for (int32_t v = 0; v < world->companions[0]->vertex_count; v++)
        for (float x : world->companions[0]->vertices[v].uv1) EXPECT_TRUE(x >= 0.0f && x <= 1.0f) << x;
    mesh_prepare_world_object(world, 0, 0);
    for (int32_t v = 0; v < tile->vertex_count; v++)
        for (float x : tile->vertices[v].color) EXPECT_FALSE(std::isnan(x));
}

// With every page of the atlas taken the object keeps no lightmaps and is prepared reduced.
TEST_F(SceneLighting, AtlasFullFallsBackToReduced)
{
    lighting_make_scene(world, false, true, kOverhead);
    world_setup_lighting_textures(world);
    world_build_object_face_lists(world, -2);
    lightmap_compute_all(world, 0);
    ASSERT_EQ(world->object_marks[0], 1);
    int32_t cells = 512 / g_render_context.atlas_tile_size;
    for (uint8_t *&map : g_render_context.occupancy) {
        if (!map) map = static_cast<uint8_t *>(malloc(size_t(cells * cells)));
        memset(map, 1, size_t(cells * cells));
    }
    lightmap_compute_all(world, 1);
    EXPECT_EQ(world->lightmaps[1], nullptr);
    EXPECT_EQ(world->companions[1], nullptr);
    EXPECT_EQ(world->object_marks[1], 0);
    for (int32_t i = 0; i < 2; i++) mesh_prepare_world_object(world, i, 1);
    EXPECT_EQ(world->prepare_modes[0], 1);
    EXPECT_EQ(world->prepare_modes[1], 2);
    EXPECT_NE(world->render_objects[1], nullptr);
    EXPECT_EQ(world->render_objects[0]->light_slot, SCENE_SUN_SLOT);
}

// The lightmap coordinates of every companion corner lie inside its block's texels, whatever the
// block's size.
TEST_F(SceneLighting, CompanionUvInsideBlock)
{
    lighting_make_scene(world, false, true, kSlanted);
    // A tall post beside the box shades part of the box's top: a face of two cells.
    MeshObject *post = scene_test_make_block("BLOC", 1.0f, 4.0f, 1.0f);
    post->position[0] = -2.0f;
    scene_add_object(world, post);
    lighting_light_all(world);
    bool seen[5] = {};
    for (int32_t i = 0; i < world->object_count; i++) {
        const MeshObject *lit = world->companions[i];
        ASSERT_NE(lit, nullptr);
        for (int32_t f = 0; f < lit->face_count; f++) {
            const FaceLightmap &map = world->lightmaps[i]->faces[f];
            seen[map.cells] = true;
            ListNode<LightmapBlock> *block = list_get_atlas_page(&g_render_context.atlas_blocks, map.block_id);
            ASSERT_NE(block, nullptr);
            int32_t rect[4];
            lightmap_block_rect(&g_render_context, &block->value, rect);
            EXPECT_EQ(rect[2], map.cells * g_render_context.atlas_tile_size / 4);
            for (int k = 0; k < 3; k++) {
                const float *uv = lit->vertices[lit->faces[f].v[k]].uv1;
                EXPECT_EQ(lit->faces[f].lightmap_page, map.block_id);
                for (int a = 0; a < 2; a++) {
                    EXPECT_GE(uv[a] * float(rect[2 + a]), 0.5f - 1e-4f);
                    EXPECT_LE(uv[a] * float(rect[2 + a]), float(rect[2 + a]) - 0.5f + 1e-4f);
                }
            }
        }
    }
    EXPECT_TRUE(seen[1] && seen[2] && seen[4]);
}

// Play's light test and the lightmaps agree: lit over open ground, in shadow under the box.
TEST_F(SceneLighting, PointInsideSolidsAgrees)
{
    lighting_make_scene(world, false, true, kSlanted);
    lighting_light_all(world);
    const float lit_colour = float(expected(0.70710678f, 1)[0]);
    for (float x = -4.5f; x <= 4.5f; x += 0.5f) {
        float ground[3] = {x, 0.0f, 0.25f}, above[3] = {x, -0.05f, 0.25f};
        std::array<int, 3> colour = lighting_colour_at(world, 0, ground);
        if (std::fabs(x + 1.0f) < 0.3f || std::fabs(x - 3.0f) < 0.3f) continue;  // shadow edges
        SCOPED_TRACE(x);
        EXPECT_EQ(bsp_point_inside_solids(&world->light_bsp, above), colour[0] >= lit_colour - 1);
    }
}

// Without rays, a face lights the same in either winding: ambient + light x |n.L|.
TEST_F(SceneLighting, ReducedPreparationTwoSided)
{
    lighting_make_scene(world, false, true, kSlanted);
    MeshObject *inverted = mesh_duplicate(world->objects[0]);
    mesh_invert_in_place(inverted);
    scene_add_object(world, inverted);
    world_setup_lighting_textures(world);
    for (int32_t i : {0, 2}) {
        mesh_prepare_world_object(world, i, 1);  // no lightmaps: reduced
        EXPECT_EQ(world->prepare_modes[i], 2);
        EXPECT_NE(world->render_objects[i], nullptr);
    }
    std::array<int, 3> want = expected(0.70710678f, 1);
    for (int32_t v = 0; v < 4; v++) {
        for (int c = 0; c < 3; c++) {
            EXPECT_NEAR(world->objects[0]->vertices[v].color[c], world->objects[2]->vertices[v].color[c], 1e-6f);
            EXPECT_NEAR(world->objects[0]->vertices[v].color[c] * 255.0f, float(want[size_t(c)]), 1.0f);
        }
    }
}

TEST_F(SceneLighting, ClearForEditorDropsTree)
{
    lighting_make_scene(world, false, true, kOverhead);
    lighting_light_all(world);
    world->lit = 1;
    ASSERT_NE(world->ray_tree, nullptr);
    ASSERT_EQ(world->light_bsp.mesh_count, 2);
    world_clear_for_editor(world);
    EXPECT_EQ(world->ray_tree, nullptr);
    EXPECT_EQ(world->light_bsp.mesh_count, 0);
    EXPECT_EQ(world->companions[1], nullptr);
}
