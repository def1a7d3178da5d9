// Plants: the build and its levels, the draw's preparation, the shadow mask and the standard
// effect.
#include "tests/scene/scene_test_util.h"

#include "scene/scene_local.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace {

VegetalInstance tree_instance()
{
    VegetalInstance instance = {};
    instance.kind = kVegetalTree;
    instance.trunk_radius = 0.04f;
    instance.crown_scale = 0.7f;
    instance.card_size = 0.4f;
    instance.values[0] = 12;
    instance.values[1] = 50;
    instance.variant = kVegetalTree;
    return instance;
}

std::vector<float> positions(const VegetalObject &object)
{
    std::vector<float> out;
    for (int k = 0; k < object.mesh_count; k++)
        for (int32_t v = 0; v < object.meshes[k]->vertex_count; v++)
            out.insert(out.end(), object.meshes[k]->vertices[v].position, object.meshes[k]->vertices[v].position + 3);
    return out;
}

int32_t faces(const VegetalObject &object)
{
    int32_t count = 0;
    for (int k = 0; k < object.mesh_count; k++) count += object.meshes[k]->face_count;
    return count;
}

// The mask byte course play's point-in-shadow test reads for the point (in shadow above 150), or -1
// outside the mask.
int mask_at(const SceneWorld *world, int32_t j, const uint8_t *mask, int32_t side, const float *x)
{
    const float *p = world->vegetal_slots[j][0].position, *l = world->light_vector;
    float q[3], n[3], a0[3], a1[3];
    for (int c = 0; c < 3; c++) q[c] = p[c] - 1000.0f * l[c];
    for (int c = 0; c < 3; c++) n[c] = p[c] - q[c];
    vec3_normalize(n);
    mat4_orient_to_direction(a0, n, 0);
    mat4_orient_to_direction(a1, n, 1);
    float t = -(vec3_dot(n, q) - vec3_dot(n, p)) / (vec3_dot(n, x) - vec3_dot(n, q));
    if (!(t > 0.0f && t < 1.0f)) return -1;
    float d[3];
    for (int c = 0; c < 3; c++) d[c] = q[c] + t * (x[c] - q[c]) - p[c];
    int32_t u = int32_t(vec3_dot(d, a0) / 9.8f * float(side));
    int32_t v = int32_t((vec3_dot(d, a1) / 9.8f + 0.5f) * float(side));
    if (u < 0 || u >= side || v < 0 || v >= side) return -1;
    return mask[v * side + u];
}

}  // namespace

// A tree built near (detail 0), cleared with the other plants a test builds.
struct SceneVegetal : ::testing::Test {
    VegetalInstance instance = tree_instance();
    VegetalObject tree = {}, other = {};
    void SetUp() override { ASSERT_EQ(vegetal_build(&tree, &instance, 6.0f, 0), 1); }
    void TearDown() override
    {
        vegetal_clear(&tree);
        vegetal_clear(&other);
    }
};

TEST_F(SceneVegetal, BuildDeterministic)
{
    ASSERT_EQ(vegetal_build(&other, &instance, 6.0f, 0), 1);
    EXPECT_EQ(positions(tree), positions(other));
    ASSERT_EQ(vegetal_build(&other, &instance, 6.0f, 0), 1);  // again over a built plant
    EXPECT_EQ(positions(tree), positions(other));
    instance.values[1] = 51;
    ASSERT_EQ(vegetal_build(&other, &instance, 6.0f, 0), 1);
    EXPECT_NE(positions(tree), positions(other));
}

TEST_F(SceneVegetal, NearHasMoreFacesThanFar)
{
    ASSERT_EQ(vegetal_build(&other, &instance, 6.0f, 1), 1);
    EXPECT_GT(faces(tree), 2 * faces(other));
    EXPECT_EQ(tree.detail, 0);
    EXPECT_EQ(other.detail, 1);
    EXPECT_NEAR(other.bounds_min_y, tree.bounds_min_y, 1.5f);  // the same plant from afar
}

TEST_F(SceneVegetal, TreeAndBushBounds)
{
    instance.kind = instance.variant = kVegetalBush;
    instance.values[0] = 0;
    ASSERT_EQ(vegetal_build(&other, &instance, 0.5f, 0), 1);
    // y points down: the top is the minimum, the foot at 0.
    EXPECT_LT(tree.bounds_min_y, -6.0f);
    EXPECT_EQ(tree.bounds_max_y, 0.0f);
    EXPECT_LT(other.bounds_min_y, -0.5f);
    EXPECT_GT(other.bounds_min_y, tree.bounds_min_y / 2.0f);
    EXPECT_EQ(tree.crown_pivot[1], -6.0f);
    // The trunk's faces point out of it.
    const MeshObject *trunk = tree.meshes[0];
    for (int32_t f = 0; f < 12; f++) {
        const float *p = trunk->vertices[trunk->faces[f].v[0]].position;
        float radial[3] = {p[0], 0.0f, p[2]};
        EXPECT_GT(vec3_dot(trunk->faces[f].normal, radial), 0.0f) << f;
    }
}

TEST_F(SceneVegetal, FileRebuildsEqual)
{
    TempDir dir;
    SceneTestWorld source, target;
    scene_test_make_hole(source.world.get(), 0, 15);  // an editor hole's most
    std::string path = dir / "plants.qel";
    ASSERT_EQ(scene_save(source.world.get(), path.c_str(), 0, 0, 0, 2), 1);
    ASSERT_EQ(scene_load(target.world.get(), path.c_str(), 0x4C), 0);
    ASSERT_EQ(target.world->vegetal_count, 15);
    for (int32_t j = 0; j < 15; j++)
        for (int detail = 0; detail < 2; detail++) {
            const VegetalObject &a = source.world->vegetal_slots[j][detail],
                                &b = target.world->vegetal_slots[j][detail];
            EXPECT_EQ(positions(a), positions(b));
            EXPECT_EQ(memcmp(a.position, b.position, sizeof a.position), 0);
            EXPECT_EQ(b.detail, detail);
        }
}

TEST_F(SceneVegetal, ClearKeepsRecord)
{
    SceneTestWorld holder;
    scene_test_add_plant(holder.world.get(), 0);
    VegetalObject &object = holder.world->vegetal_slots[0][0];
    const float x = object.position[0];
    vegetal_clear(&object);
    EXPECT_EQ(object.meshes[0], nullptr);
    EXPECT_EQ(object.mesh_count, 0);
    EXPECT_EQ(object.position[0], x);
    EXPECT_EQ(object.textures_a[0], kSceneTestTrunkTexture);
}

TEST_F(SceneVegetal, HostileWordsClamped)
{
    const float nan = std::numeric_limits<float>::quiet_NaN(), huge = 1e30f;
    struct Case {
        const char *what;
        float size, radius, scale, card;
        int32_t branches, cards;
    } cases[] = {
        {"NaN everywhere", nan, nan, nan, nan, 0, 0},
        {"huge", huge, huge, huge, huge, 1 << 30, 1 << 30},
        {"negative", -5.0f, -1.0f, -1.0f, -1.0f, -7, -9},
        {"infinite", std::numeric_limits<float>::infinity(), 0.0f, 0.0f, 0.0f, 32, 400},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        instance.trunk_radius = c.radius;
        instance.crown_scale = c.scale;
        instance.card_size = c.card;
        instance.values[0] = c.branches;
        instance.values[1] = c.cards;
        ASSERT_EQ(vegetal_build(&other, &instance, c.size, 0), 1);
        EXPECT_LE(faces(other), 12 + 6 * 32 + 8 * 400);
        for (float value : positions(other)) ASSERT_TRUE(std::isfinite(value));
        EXPECT_GE(other.bounds_min_y, -60.0f);
    }
}

TEST_F(SceneVegetal, DrawPreparesSwayMatrix)
{
    SceneTestDevice device;
    ASSERT_EQ(device.made, 1);
    SceneTestWorld holder;
    scene_test_add_plant(holder.world.get(), 0);
    VegetalObject &plant = holder.world->vegetal_slots[0][0];
    float world_matrix[16];
    mat4_identity(world_matrix);
    mat4_translate(world_matrix, 10.0f, 0.0f, 20.0f);
    render_set_world_matrix(&g_render_context, world_matrix);
    const float light[3] = {0.0f, 1.0f, 0.0f}, ambient[4] = {0.2f, 0.2f, 0.2f, 1.0f}, sun[4] = {0.8f, 0.8f, 0.8f, 1.0f};
    const float eye[3] = {0.0f, -5.0f, -20.0f};
    plant.sway[2] = 10.0f;
    const std::vector<uint8_t> pixels(4 * 4 * 4, 0x80);
    for (int32_t id : {kSceneTestTrunkTexture, kSceneTestLeafTexture})
        texture_create_in_slot(&g_render_context.main_textures, id, 4, 4, pixels.data(), 4, 4, 0);
    ASSERT_TRUE(render_begin_frame(&g_render_context));
    gpu_headless_clear_draws();
    vegetal_draw(&plant, eye, light, ambient, sun, 1.0f);
    render_end_frame(&g_render_context);
    ASSERT_NE(plant.render_objects[0], nullptr);
    ASSERT_NE(plant.render_objects[1], nullptr);

    // Two draws: the trunk without the alpha test, the crown with it, each under its matrix.
    std::vector<const GpuDrawRecord *> draws;
    for (int k = 0; k < gpu_headless_draw_count(); k++)
        if (gpu_headless_draw(k)->indexed) draws.push_back(gpu_headless_draw(k));
    ASSERT_EQ(draws.size(), 2u);
    const GpuDrawRecord *trunk = draws[0], *crown = draws[1];
    EXPECT_EQ(trunk->render_states[D3DRS_ALPHATESTENABLE], DWORD(FALSE));
    EXPECT_EQ(crown->render_states[D3DRS_ALPHATESTENABLE], DWORD(TRUE));
    EXPECT_EQ(crown->render_states[D3DRS_ALPHAREF], 128u);
    EXPECT_EQ(g_render_context.world_matrix[12], 10.0f);  // the caller's matrix is back

    // The trunk stands at the plant's place; the crown turns about its pivot, which stays put.
    EXPECT_EQ(memcmp(plant.draw[0].world, world_matrix, sizeof world_matrix), 0);
    float pivot[3], moved[3];
    mat4_transform_point(pivot, plant.draw[1].world, plant.crown_pivot);
    EXPECT_NEAR(pivot[0], 10.0f, 1e-4);
    EXPECT_NEAR(pivot[1], plant.crown_pivot[1], 1e-4);
    EXPECT_NEAR(pivot[2], 20.0f, 1e-4);
    const float top[3] = {0.0f, plant.crown_pivot[1] - 2.0f, 0.0f};
    mat4_transform_point(moved, plant.draw[1].world, top);
    EXPECT_GT(std::fabs(moved[0] - 10.0f), 0.3f);

    // Lit from above (y down): the trunk's sides get the ambient alone, a leaf facing up the sun.
    const MeshVertex &side = plant.meshes[0]->vertices[0];
    EXPECT_NEAR(side.color[0], 0.2f, 0.05f);
    // Colours and render objects are rebuilt only when the light changes.
    RenderObject *first = plant.render_objects[1];
    uint32_t key = plant.cache_key;
    plant.sway[2] = -10.0f;
    vegetal_draw(&plant, eye, light, ambient, sun, 1.0f);
    EXPECT_EQ(plant.cache_key, key);
    EXPECT_EQ(plant.render_objects[1], first);
    const float evening[3] = {1.0f, 0.2f, 0.0f};
    vegetal_draw(&plant, eye, evening, ambient, sun, 1.0f);
    EXPECT_NE(plant.cache_key, key);
    EXPECT_GT(side.color[0] + plant.meshes[0]->vertices[6].color[0], 0.5f);
    world_release_and_reset(holder.world.get());
    EXPECT_EQ(g_render_registry.count, device.registry_base);
}

// A world holding plant 0.
struct SceneObjectMap : ::testing::Test {
    SceneTestWorld holder;
    SceneWorld *world = holder.world.get();
    void SetUp() override { scene_test_add_plant(world, 0); }
};

TEST_F(SceneObjectMap, MatchesPointInShadowMaths)
{
    // The mask spans 9.8 units along a0 from the plant: a light under which the plant's height
    // lies along a0, so that the trunk falls inside it.
    const float lights[][3] = {{0.5f, 1.0f, 0.25f}, {1.0f, 0.4f, 0.0f}, {0.0f, 0.4f, 1.0f},  {-1.0f, 0.4f, 0.0f},
                               {0.0f, 0.4f, -1.0f}, {0.7f, 0.5f, 0.7f}, {-0.7f, 0.5f, -0.7f}};
    const float up[3] = {0.0f, -1.0f, 0.0f};
    bool found = false;
    for (const auto &l : lights) {
        float n[3] = {l[0], l[1], l[2]}, a0[3];
        vec3_normalize(n);
        mat4_orient_to_direction(a0, n, 0);
        if (vec3_dot(up, a0) < 0.3f) continue;
        memcpy(world->light_vector, n, sizeof n);
        found = true;
        break;
    }
    ASSERT_TRUE(found);
    const int32_t side = 128;
    uint8_t *mask = world_rasterise_object_map(side, side, world, 0);
    ASSERT_NE(mask, nullptr);

    // Points behind the trunk's middle (along the light) are in its shadow; points off to the
    // side of the sun's line, or toward the sun, are not.
    const VegetalObject &plant = world->vegetal_slots[0][0];
    for (float along : {2.5f, 4.0f, 6.0f}) {  // beyond the plane through the plant, as shadows are
        float x[3];
        for (int c = 0; c < 3; c++) x[c] = plant.position[c] + (c == 1 ? -1.5f : 0.0f) + along * world->light_vector[c];
        EXPECT_GT(mask_at(world, 0, mask, side, x), 150) << along;
        x[0] += 6.0f, x[2] -= 12.0f;
        EXPECT_LE(mask_at(world, 0, mask, side, x), 150) << along;
    }
    int covered = 0;
    for (int32_t p = 0; p < side * side; p++) covered += mask[p] > 150;
    EXPECT_GT(covered, 100);  // the crown's cover, not only the trunk
    free(mask);
    EXPECT_EQ(world_rasterise_object_map(side, side, world, 1), nullptr);
    EXPECT_EQ(world_rasterise_object_map(0, side, world, 0), nullptr);
}

TEST_F(SceneObjectMap, ZeroLeafAlphaLeavesTrunk)
{
    uint8_t *opaque = world_rasterise_object_map(64, 64, world, 0);
    std::vector<uint8_t> clear(16, 0);
    g_leaf_alpha_map = clear.data();
    g_leaf_alpha_width = g_leaf_alpha_height = 4;
    uint8_t *trunk = world_rasterise_object_map(64, 64, world, 0);
    g_leaf_alpha_map = nullptr;
    g_leaf_alpha_width = g_leaf_alpha_height = 0;
    ASSERT_NE(opaque, nullptr);
    ASSERT_NE(trunk, nullptr);
    int leaves = 0, trunk_pixels = 0;
    for (int p = 0; p < 64 * 64; p++) {
        EXPECT_LE(trunk[p], opaque[p]);
        leaves += opaque[p] > 150;
        trunk_pixels += trunk[p] > 150;
    }
    EXPECT_GT(trunk_pixels, 0);
    EXPECT_GT(leaves, 4 * trunk_pixels);
    free(opaque);
    free(trunk);
}

TEST_F(SceneObjectMap, ZeroLightVectorGivesZeros)
{
    memset(world->light_vector, 0, sizeof world->light_vector);
    uint8_t *mask = world_rasterise_object_map(32, 32, world, 0);
    ASSERT_NE(mask, nullptr);
    for (int p = 0; p < 32 * 32; p++) ASSERT_EQ(mask[p], 0);
    free(mask);
}

TEST(SceneEffects, ShadowScriptCompiles)
{
    SceneTestDevice device;
    ASSERT_EQ(device.made, 1);
    SceneTestWorld holder;
    world_clear_for_editor(holder.world.get());
    RenderObject *holder_object = holder.world->standard_effects[0];
    ASSERT_NE(holder_object, nullptr);
    ASSERT_NE(holder_object->effect, nullptr);
    for (const char *name : {"WORLD", "VIEWPROJ", "Tex", "Shadow", "Decal"})
        EXPECT_NE(holder_object->effect->GetParameterByName(nullptr, name), nullptr) << name;
    EXPECT_STREQ(holder_object->texture_names[1], "Tex");
    EXPECT_STREQ(holder_object->texture_names[2], "Shadow");
}

TEST(SceneEffects, EnsureAfterReleaseMakesOne)
{
    SceneTestDevice device;
    ASSERT_EQ(device.made, 1);
    TempDir dir;
    SceneTestWorld holder;
    SceneWorld *world = holder.world.get();
    scene_test_make_hole(world, 1, 0);
    std::string path = dir / "hole.qel";
    ASSERT_EQ(scene_save(world, path.c_str(), 0, 0, 0, 2), 1);
    world_release_and_reset(world);
    ASSERT_EQ(scene_load(world, path.c_str(), 0x4C), 0);
    RenderObject *made = world->standard_effects[0];
    ASSERT_NE(made, nullptr);
    world_clear_for_editor(world);  // one is there: kept
    world_release_and_reset(world);
    EXPECT_EQ(world->standard_effects[0], made);
    world_release_effects(world);
    EXPECT_EQ(world->standard_effects[0], nullptr);
    EXPECT_EQ(g_render_registry.count, device.registry_base);
    world_clear_for_editor(world);
    EXPECT_NE(world->standard_effects[0], nullptr);
    world_release_effects(world);
    EXPECT_EQ(gpu_headless_live_resources(), device.live_base);
}

TEST(SceneEffects, NoDeviceMakesNone)
{
    SceneTestWorld holder;
    world_clear_for_editor(holder.world.get());
    EXPECT_EQ(holder.world->standard_effects[0], nullptr);
}
