// The plants' shadows of g_hole_world on the headless device: the point test's edges on a mask
// written by hand, the receivers' radius and reach, the texel rules read back from the textures,
// the plant cap and the release.
#include "course/hole.h"
#include "game/files.h"
#include "render/render_draw.h"
#include "tests/course/course_test_util.h"
#include "tests/test_util.h"

#include <cmath>
#include <cstdlib>

namespace {

struct HoleShadows : ::testing::Test {
    TestFolders folders;  // the renderer's log goes there
    SceneTestDevice device;
    SceneWorld *world = &g_hole_world;
    const int32_t old_drawing = g_option_hole_drawing, old_variant = g_option_hole_variant;

    void SetUp() override
    {
        g_option_hole_drawing = 1;
        g_option_hole_variant = 0;
        reset();
        const float ambient[4] = {0.2f, 0.6f, 1.5f, 1.0f};  // the last is limited to 255
        memcpy(g_menu_world.ambient_colour, ambient, sizeof ambient);
    }
    void TearDown() override
    {
        hole_free_shadows();
        world_release_and_reset(world);
        world_release_and_reset(&g_menu_world);
        course_decal_release_storage();
        g_option_hole_drawing = old_drawing;
        g_option_hole_variant = old_variant;
    }
    // An empty hole under a sun with no zero component (the point test at infinity needs that).
    void reset()
    {
        hole_free_shadows();
        world_release_and_reset(world);
        world->renderer = &g_render_context;
        vec3_set(world->light_vector, 0.48f, 0.8f, 0.36f);
    }
    // A plant of the size standing at (x, y, z), 4 high: a tree of the test hole when built, else empty.
    int32_t plant(float x, float y, float z, float size, bool built = false)
    {
        const int32_t j = world->vegetal_count;
        VegetalParams params = {};
        VegetalInstance instance = {};
        if (built)
            scene_test_add_plant(world, 0);
        else
            scene_add_vegetal(world, &params, &instance);
        if (world->vegetal_count != j + 1) return -1;
        world->vegetal_params[j].size = size;
        vec3_set(world->vegetal_slots[j][0].position, x, y, z);
        world->vegetal_slots[j][0].bounds_min_y = -4.0f;
        return j;
    }
    // A block standing at (x, y, z); its index.
    int32_t block(float x, float y, float z, float side = 2.0f)
    {
        MeshObject *b = scene_test_make_block("BLOC", side, 1.0f, side);
        vec3_set(b->position, x, y, z);
        return scene_add_object(world, b);
    }
    int32_t receivers() const
    {
        int32_t n = 0;
        for (const RenderObject *r : world->shadow_receivers) n += r != nullptr;
        return n;
    }
    const TextureRecord *shadow_texture(int32_t j) const
    {
        const TextureTable &table = g_render_context.main_textures;
        return table.slots ? table.slots[SCENE_SHADOW_TEXTURE_BASE + j] : nullptr;
    }
};

}  // namespace

TEST_F(HoleShadows, PointInShadowEdges)
{
    const int32_t side = 8;
    ASSERT_EQ(plant(1.0f, 0.0f, 2.0f, 4.0f), 0);
    uint8_t *mask = static_cast<uint8_t *>(calloc(side * side, 1));
    world->shadow_masks[0] = mask;
    world->shadow_mask_sizes[0] = side;
    mask[2 * side + 5] = 150;
    mask[3 * side + 5] = 151;
    mask[4 * side + 0] = 255;

    // The middle of mask cell (column, row) on the plane through the plant across the sun's rays,
    // moved `beyond` units on along the rays.
    const float *p = world->vegetal_slots[0][0].position;
    float n[3] = {0.48f, 0.8f, 0.36f}, a0[3], a1[3];
    vec3_normalize(n);
    mat4_orient_to_direction(a0, n, 0);
    mat4_orient_to_direction(a1, n, 1);
    const struct {
        const char *what;
        float column, row, beyond, size;
        uint8_t want;
    } cases[] = {
        {"byte 150", 5, 2, 1, 4, 0},
        {"byte 151", 5, 3, 1, 4, 1},
        {"on the plane: t = 1", 5, 3, 0, 4, 0},
        {"toward the sun: t > 1", 5, 3, -1, 4, 0},
        {"size 3.0", 5, 3, 1, 3, 0},
        {"less than a column before the mask truncates into column 0", -0.9f, 4, 1, 4, 1},
        {"a whole column before the mask", -1.6f, 4, 1, 4, 0},
        {"past the last row", 5, float(side), 1, 4, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        world->vegetal_params[0].size = c.size;
        const float u = (c.column + 0.5f) / side * 9.8f, v = ((c.row + 0.5f) / side - 0.5f) * 9.8f;
        float x[3];
        for (int k = 0; k < 3; k++) x[k] = p[k] + u * a0[k] + v * a1[k] + c.beyond * n[k];
        EXPECT_EQ(hole_point_in_object_shadow(0, x[0], x[1], x[2]), c.want);
    }
    world->vegetal_params[0].size = 4.0f;
    EXPECT_EQ(hole_point_in_object_shadow(0, n[0] * INFINITY, n[1] * INFINITY, n[2] * INFINITY), 0);  // t = 0
    EXPECT_EQ(hole_point_in_object_shadow(1, p[0], p[1] + 1.0f, p[2]), 0);                            // no such plant
}

TEST_F(HoleShadows, ReceiversInsideTheStrictRadiusAndReachedOnly)
{
    const struct {
        int32_t drawing;
        float edge;
    } paths[] = {{1, 65.0f}, {0, 40.0f}};
    for (const auto &path : paths) {
        SCOPED_TRACE(path.drawing);
        g_option_hole_drawing = path.drawing;
        reset();
        // Plants on the tops of a block just inside and one at the edge, and at the middle, whose
        // shadow falls on a block 9 below the ground down the sun's rays.
        const int32_t inside = block(path.edge - 0.5f, 0, 0), at_edge = block(0, 0, -path.edge);
        const int32_t unreached = block(0, 0, 20), pit = block(5.4f, 9, 4.05f, 6);
        plant(path.edge - 0.5f, -1, 0, 2);
        plant(0, -1, -path.edge, 4);
        plant(0, 0, 0, 2);
        hole_build_shadows();
        for (int32_t i : {inside, pit}) {
            const RenderObject *r = world->shadow_receivers[i];
            ASSERT_NE(r, nullptr) << i;
            EXPECT_EQ(r->flags, path.drawing ? kHoleReceiverFlagsDetailed : kHoleReceiverFlagsSimple);
            EXPECT_GT(r->indices_in_use, 0);
        }
        EXPECT_EQ(world->shadow_receivers[at_edge], nullptr);
        EXPECT_EQ(world->shadow_receivers[unreached], nullptr);
        EXPECT_EQ(receivers(), 2);
        // Left as the builder says: recording, the context's own dynamic object, the tree's split.
        EXPECT_EQ(render_var_get(&g_render_context, "E"), 0);
        EXPECT_EQ(g_render_context.dynamic_object, &g_render_context.embedded_objects[0]);
        EXPECT_EQ(g_face_bsp_builder, 1);
        EXPECT_FLOAT_EQ(g_face_bsp_split, 0.5f);
    }
}

TEST_F(HoleShadows, MaskSidesAndTheThreeTexelRules)
{
    *render_var_ref(&g_render_context, "W") = 1;  // 32-bit textures, read back exactly
    const struct {
        const char *what;
        int32_t drawing, variant, large_side, small_side;
        int colour[3];
    } rules[] = {
        {"detailed, theme colour", 1, 0, 128, 64, {51, 153, 255}},
        {"detailed, white", 1, 1, 128, 64, {255, 255, 255}},
        {"simple", 0, 1, 64, 32, {0, 0, 0}},
    };
    const float grey = 0.35f * 0.2f + 0.4f * 0.6f + 0.25f * 1.5f;
    for (const auto &rule : rules) {
        SCOPED_TRACE(rule.what);
        g_option_hole_drawing = rule.drawing;
        g_option_hole_variant = rule.variant;
        reset();
        ASSERT_EQ(plant(0, 0, 0, 6.0f, true), 0);
        ASSERT_EQ(plant(20, 0, 0, 3.0f), 1);  // exactly 3.0: small
        hole_build_shadows();
        ASSERT_EQ(world->shadow_mask_sizes[0], rule.large_side);
        EXPECT_EQ(world->shadow_mask_sizes[1], rule.small_side);
        // The texel of the most covered mask byte and of an uncovered one.
        const uint8_t *mask = world->shadow_masks[0];
        const int32_t side = rule.large_side;
        const int32_t covered = int32_t(std::max_element(mask, mask + side * side) - mask);
        const int32_t empty = int32_t(std::find(mask, mask + side * side, 0) - mask);
        ASSERT_GT(mask[covered], 0);
        ASSERT_LT(empty, side * side);
        D3DLOCKED_RECT locked;
        IDirect3DTexture9 *texture = shadow_texture(0)->texture;
        ASSERT_TRUE(SUCCEEDED(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY)));
        for (int32_t k : {covered, empty}) {
            uint32_t argb;
            memcpy(&argb, static_cast<uint8_t *>(locked.pBits) + k / side * locked.Pitch + k % side * 4, 4);
            EXPECT_EQ(argb >> 16 & 255, uint32_t(rule.colour[0]));
            EXPECT_EQ(argb >> 8 & 255, uint32_t(rule.colour[1]));
            EXPECT_EQ(argb & 255, uint32_t(rule.colour[2]));
            EXPECT_EQ(argb >> 24, rule.drawing ? mask[k] : uint32_t(float(mask[k]) * grey)) << k;
        }
        texture->UnlockRect(0);
    }
}

TEST_F(HoleShadows, WithoutPlantsNothingIsBuiltOrFreed)
{
    block(0, 0, 0);
    RenderObject other;
    render_set_dynamic_object(&g_render_context, &other);
    *render_var_ref(&g_render_context, "E") = 1;
    hole_build_shadows();
    EXPECT_EQ(receivers(), 0);
    EXPECT_EQ(g_render_context.dynamic_object, &other);  // left as it was
    EXPECT_EQ(render_var_get(&g_render_context, "E"), 1);
    uint8_t stray = 0;
    world->shadow_masks[0] = &stray;
    hole_free_shadows();
    EXPECT_EQ(world->shadow_masks[0], &stray);
    world->shadow_masks[0] = nullptr;
    render_set_dynamic_object(&g_render_context, nullptr);
}

TEST_F(HoleShadows, AtMost256PlantsCastShadows)
{
    for (int32_t k = 0; k < 300; k++) plant(float(k % 20), 0, float(k / 20), 1.0f);
    ASSERT_EQ(world->vegetal_count, kHoleShadowMaxVegetals);  // the world's own cap
    world->vegetal_count = 300;                               // as if a loader let more through
    hole_build_shadows();
    EXPECT_NE(shadow_texture(kHoleShadowMaxVegetals - 1), nullptr);
    EXPECT_EQ(shadow_texture(kHoleShadowMaxVegetals), nullptr);
    EXPECT_EQ(world->shadow_masks[kHoleShadowMaxVegetals], nullptr);
    hole_free_shadows();
    world->vegetal_count = kHoleShadowMaxVegetals;
}

TEST_F(HoleShadows, FreeLeavesNoTextureAndNoReceiver)
{
    const int32_t registry = g_render_registry.count, live = gpu_headless_live_resources();
    for (int32_t k = 0; k < 3; k++) {
        block(4.0f * float(k), 0, 0);
        plant(4.0f * float(k), -1, 0, 2.0f + float(k));
    }
    hole_build_shadows();
    EXPECT_EQ(receivers(), 3);
    hole_free_shadows();
    EXPECT_EQ(receivers(), 0);
    for (int32_t j = 0; j < 3; j++) {
        EXPECT_EQ(shadow_texture(j), nullptr);
        EXPECT_EQ(world->shadow_masks[j], nullptr);
    }
    EXPECT_EQ(world->vegetal_count, 3);
    EXPECT_EQ(g_render_registry.count, registry);
    EXPECT_EQ(gpu_headless_live_resources(), live);
}
