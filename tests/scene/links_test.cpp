// The links between touching objects against the rule written plainly: every pair of objects from
// the first block on whose boxes, grown by the clip tolerance, meet, taken in index order while
// both lists have room. Where no object reaches the cap the lists must be exactly these.
#include "tests/scene/scene_test_util.h"

#include "geometry/vecmath.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

namespace {

using Lists = std::vector<std::vector<int32_t>>;

// The grown box of object i, or false when it takes no part (no vertices, bounds not finite).
bool grown_box(const SceneWorld *world, int32_t i, float box[6])
{
    const MeshObject *mesh = world->objects[i];
    if (!mesh || mesh->vertex_count <= 0) return false;
    for (int k = 0; k < 6; k++) {
        box[k] = mesh->bounds[k] + ((k & 1) ? g_clip_epsilon : -g_clip_epsilon);
        if (!std::isfinite(box[k])) return false;
    }
    return true;
}

// The plain rule over every pair (after world_compute_bounds_and_links made the bounds); also the
// largest number of objects any one object touches.
Lists reference_links(const SceneWorld *world, int32_t *most_touched)
{
    const int32_t first = std::max(world->first_block_index, 0), n = world->object_count;
    const size_t count = size_t(n);
    std::vector<std::array<float, 6>> boxes(count);
    std::vector<bool> takes_part(count);
    for (int32_t i = first; i < n; i++) takes_part[size_t(i)] = grown_box(world, i, boxes[size_t(i)].data());
    auto meet = [&](int32_t i, int32_t j) {
        const float *a = boxes[size_t(i)].data(), *b = boxes[size_t(j)].data();
        for (int axis = 0; axis < 3; axis++)
            if (!(a[2 * axis] <= b[2 * axis + 1] && b[2 * axis] <= a[2 * axis + 1])) return false;
        return true;
    };
    Lists lists(count);
    std::vector<int32_t> touched(count, 0);
    for (int32_t i = first; i < n; i++)
        for (int32_t j = i + 1; takes_part[size_t(i)] && j < n; j++) {
            if (!takes_part[size_t(j)] || !meet(i, j)) continue;
            touched[size_t(i)]++, touched[size_t(j)]++;
            if (lists[size_t(i)].size() < size_t(SCENE_MAX_LINKS) &&
                lists[size_t(j)].size() < size_t(SCENE_MAX_LINKS)) {
                lists[size_t(i)].push_back(j);
                lists[size_t(j)].push_back(i);
            }
        }
    *most_touched = n ? *std::max_element(touched.begin(), touched.end()) : 0;
    return lists;
}

Lists world_links(const SceneWorld *world)
{
    Lists lists(size_t(world->object_count));
    for (int32_t i = 0; i < world->object_count; i++)
        if (const ObjectLinks *links = world->links[i])
            lists[size_t(i)].assign(links->index, links->index + links->count);
    return lists;
}

// One triangle of side 1 at (x, y, z): the smallest object a file can hold.
MeshObject *triangle_at(float x, float y, float z)
{
    MeshObject *mesh = mesh_new();
    mesh_alloc_arrays(mesh, 3);
    mesh->vertex_count = 3;
    mesh->face_count = 1;
    for (int k = 0; k < 3; k++) {
        mesh->vertices[k].position[0] = x + (k == 1 ? 1.0f : 0.0f);
        mesh->vertices[k].position[1] = y;
        mesh->vertices[k].position[2] = z + (k == 2 ? 1.0f : 0.0f);
        mesh->faces[0].v[k] = k;
    }
    mesh_link_face_vertices(mesh);
    return mesh;
}

}  // namespace

TEST(SceneLinks, BelowTheCapTheLinksAreEveryTouchingPair)
{
    struct Case {
        const char *what;
        void (*make)(SceneWorld *);
    } cases[] = {
        {"the test hole, its blocks closer so that they touch",
         [](SceneWorld *w) {
             scene_test_make_hole(w, 275, 15);
             for (int32_t k = 0; k < 275; k++) {
                 MeshObject *block = w->objects[w->first_block_index + k];
                 block->position[0] = -24.0f + 3.0f * float(k % 17);
                 block->position[2] = -24.0f + 3.0f * float(k / 17);
             }
         }},
        {"a grid of touching blocks", [](SceneWorld *w) { scene_test_make_block_grid(w, 1500, 37); }},
        {"129 at one place: each touches 128",
         [](SceneWorld *w) {
             w->first_block_index = 0;
             for (int k = 0; k < 129; k++) scene_add_object(w, triangle_at(0, 0, 0));
         }},
        {"random boxes, piles, empty and far-off objects",
         [](SceneWorld *w) {
             std::mt19937 rng(72);
             auto between = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
             w->first_block_index = 40;
             for (int k = 0; k < 1200; k++) {
                 const uint32_t kind = rng() % 20;
                 if (kind == 0) {
                     scene_add_object(w, mesh_new());  // no vertices
                     continue;
                 }
                 MeshObject *block =
                     scene_test_make_block("BLOC", between(0.2f, 4.0f), between(0.2f, 3.0f), between(0.2f, 4.0f));
                 const float at = kind == 1 ? 5.0f : between(-60.0f, 60.0f);  // a pile at (5, 0, 5)
                 block->position[0] = at;
                 block->position[1] = kind == 2 ? INFINITY : between(-1.0f, 1.0f);
                 block->position[2] = kind == 1 ? 5.0f : between(-60.0f, 60.0f);
                 block->rotation[1] = between(0.0f, 360.0f);
                 scene_add_object(w, block);
             }
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SceneTestWorld holder;
        SceneWorld *world = holder.world.get();
        c.make(world);
        world_compute_bounds_and_links(world);
        int32_t most = 0;
        const Lists want = reference_links(world, &most);
        ASSERT_LE(most, SCENE_MAX_LINKS);  // no object reaches past the cap
        ASSERT_GT(most, 3);
        EXPECT_TRUE(world_links(world) == want);
    }
}

TEST(SceneLinks, AllAtOnePlaceStayWithinTheCap)
{
    // 8192 objects that all touch: every list ascending, symmetric, within the cap.
    SceneTestWorld holder;
    SceneWorld *world = holder.world.get();
    world->first_block_index = 0;
    for (int32_t k = 0; k < SCENE_MAX_OBJECTS; k++) scene_add_object(world, triangle_at(0, 0, 0));
    world_compute_bounds_and_links(world);
    const Lists lists = world_links(world);
    int64_t total = 0;
    for (int32_t i = 0; i < SCENE_MAX_OBJECTS; i++) {
        const std::vector<int32_t> &list = lists[size_t(i)];
        ASSERT_LE(list.size(), size_t(SCENE_MAX_LINKS));
        ASSERT_TRUE(std::adjacent_find(list.begin(), list.end(), std::greater_equal<int32_t>()) == list.end()) << i;
        for (int32_t j : list) {
            ASSERT_NE(j, i);
            const std::vector<int32_t> &back = lists[size_t(j)];
            ASSERT_TRUE(std::binary_search(back.begin(), back.end(), i)) << i << " -> " << j;
        }
        total += int64_t(list.size());
    }
    EXPECT_GT(total, int64_t(SCENE_MAX_OBJECTS) * SCENE_MAX_LINKS / 2);  // most objects are linked fully
}
