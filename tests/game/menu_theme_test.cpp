// The theme's objects as the editor's palette: name order and arrangement.
#include "game/menu_theme.h"
#include "geometry/mesh.h"
#include "scene/scene.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(MenuThemeNames, CompareGivesDescendingOrder)
{
    const struct {
        const char *a, *b;
        int want;
    } cases[] = {
        {"b", "a", -1}, {"a", "b", 1}, {"ab", "a", -1}, {"a", "ab", 1}, {"a", "a", -1}, {"", "", -1},
        {"\xE9", "a", 1},  // signed bytes: above 127 sorts below ASCII
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.a) + " / " + c.b);
        EXPECT_EQ(menu_theme_name_compare(c.a, c.b), c.want);
    }
}

TEST(MenuThemeArrange, CentresStandsMeasuresAndSorts)
{
    auto world = std::make_unique<SceneWorld>();
    const struct {
        const char *name;
        float size[3], at[3];
    } boxes[] = {{"BLOC_A", {2, 1, 2}, {5, 3, -7}}, {"PALES", {1, 2, 0.5f}, {-1, 0, 1}},
                 {"DECORBLOC", {4, 1.5f, 8}, {0, -2, 0}}, {"START", {2, 0.5f, 2}, {}}, {"BLOC_B", {2, 1, 2}, {}}};
    for (const auto &b : boxes) {
        MeshObject *m = mesh_new();
        mesh_build_box(m, b.size[0], b.size[1], b.size[2]);
        for (int32_t v = 0; v < m->vertex_count; v++)
            for (int k = 0; k < 3; k++) m->vertices[v].position[k] += b.at[k];
        snprintf(m->name, sizeof m->name, "%s", b.name);
        scene_add_object(world.get(), m);
    }
    menu_theme_arrange_palette(world.get());

    const char *order[] = {"START", "PALES", "DECORBLOC", "BLOC_B", "BLOC_A"};
    for (int32_t i = 0; i < 5; i++) {
        SCOPED_TRACE(order[i]);
        const MeshObject *o = world->objects[i];
        EXPECT_STREQ(o->name, order[i]);
        const float *b = o->bounds;
        EXPECT_FLOAT_EQ(b[0] + b[1], 0.0f);
        EXPECT_FLOAT_EQ(b[4] + b[5], 0.0f);
        EXPECT_FLOAT_EQ(b[3], i == 1 ? 0.2f : 0.0f);  // the bottom on y = 0, PALES lower
    }
    EXPECT_FLOAT_EQ(world->objects[4]->bounds[2], -1.0f);
    EXPECT_FLOAT_EQ(g_block_step, 0.75f);
    EXPECT_FLOAT_EQ(g_block_snap_x, 4.0f / 32.0f);
    EXPECT_FLOAT_EQ(g_block_snap_z, 8.0f / 32.0f);
    world_release_and_reset(world.get());
    g_block_step = 0.5f;
    g_block_snap_x = g_block_snap_z = 0.0f;
}

}  // namespace
