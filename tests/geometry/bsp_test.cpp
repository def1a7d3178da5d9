// The face BSP against brute force, its leaf vertices, triangle query and release, and the light
// BSP's shadow ray.
#include "geometry/bsp.h"
#include "geometry/mesh.h"
#include "geometry/vecmath.h"
#include "tests/geometry/bsp_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <vector>

namespace {

TEST(FaceBsp, SphereQueryMatchesBruteForce)
{
    std::mt19937 random(5);
    std::uniform_real_distribution<float> u(-6, 6), r(0, 3);
    MeshObject *mesh = bsp_test_random_mesh(random, 400);
    float matrix[16];
    mat4_identity(matrix);
    mat4_rotate_euler_deg(matrix, 20, 35, -50);
    mat4_translate(matrix, 3, -2, 7);
    struct Setting {
        int32_t parameter;
        uint8_t builder;
        float split;
    };
    const Setting settings[] = {{4, 1, 0.5f}, {16, 1, 0.5f}, {3, 0, 0.25f}, {9, 0, 0.25f}, {1, 1, 0.5f}};
    for (const Setting &s : settings) {
        g_face_bsp_builder = s.builder;
        g_face_bsp_split = s.split;
        FaceBsp bsp{};
        ASSERT_EQ(bsp_build_face_tree(&bsp, s.parameter, mesh), 1);
        for (int q = 0; q < 200; q++) {
            float local[3] = {u(random), u(random), u(random)}, world[3];
            float radius = r(random);
            mat4_transform_point(world, matrix, local);
            int worker = q % kFaceBspWorkers;
            const FaceBspResult *result =
                bsp_query_face_tree_sphere(&bsp, world[0], world[1], world[2], radius, worker, matrix);
            ASSERT_NE(result, nullptr);
            std::vector<int32_t> got(result->faces, result->faces + result->count);
            std::vector<int32_t> sorted = got;
            std::sort(sorted.begin(), sorted.end());
            EXPECT_TRUE(std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end()) << "a face twice";
            // The local point is found again through the inverse up to rounding: allow for it.
            std::vector<int32_t> wide = bsp_test_brute_sphere(mesh, local, radius + 1e-4f);
            std::vector<int32_t> narrow = bsp_test_brute_sphere(mesh, local, std::max(0.0f, radius - 1e-4f));
            EXPECT_TRUE(std::includes(sorted.begin(), sorted.end(), narrow.begin(), narrow.end()));
            EXPECT_TRUE(std::includes(wide.begin(), wide.end(), sorted.begin(), sorted.end()));
            // Same query, same order.
            const FaceBspResult *again =
                bsp_query_face_tree_sphere(&bsp, world[0], world[1], world[2], radius, worker, matrix);
            EXPECT_TRUE(std::equal(got.begin(), got.end(), again->faces, again->faces + again->count));
        }
        bsp_free_face_tree(&bsp);
    }
    g_face_bsp_builder = 1;
    g_face_bsp_split = 0.5f;
    mesh_delete(mesh);
}

// A kept query gives the tree query's faces in its order, whether it filters the kept faces or
// queries afresh: along a wandering path with small and large steps, a matrix that changes (the
// kept sphere is in the tree's frame), a tree built again (another mesh, the same storage) and
// radii that are zero, negative or NaN.
TEST(FaceBsp, KeptSphereQueryGivesTheTreeQuerysFaces)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<float> step(-0.1f, 0.1f), jump(-4, 4), r(0, 1.2f);
    MeshObject *meshes[2] = {bsp_test_random_mesh(random, 400), bsp_test_random_mesh(random, 300)};
    float matrices[2][16];
    mat4_identity(matrices[0]);
    mat4_identity(matrices[1]);
    mat4_rotate_euler_deg(matrices[1], 10, -40, 25);
    mat4_translate(matrices[1], 1, 2, -3);
    FaceBsp bsp{};
    ASSERT_EQ(bsp_build_face_tree(&bsp, 8, meshes[0]), 1);
    FaceBspSphereKeep keep{};
    float c[3] = {0, 0, 0};
    int filtered = 0, found = 0;
    for (int q = 0; q < 3000; q++) {
        SCOPED_TRACE(q);
        float radius = r(random);
        if (q == 1499) radius = 2.0f;
        if (q == 1500) {
            // Inside the sphere just kept, over a tree built again: the new tree's faces.
            ASSERT_EQ(bsp_build_face_tree(&bsp, 4, meshes[1]), 1);
            radius = 1.0f;
        } else {
            for (float &x : c) x = std::clamp(x + (q % 97 == 0 ? jump(random) : step(random)), -4.0f, 4.0f);
        }
        if (q % 211 == 0) radius = q % 2 ? -1.0f : std::nanf("");
        if (q % 101 == 0) radius = 0.0f;
        // The matrix changes every 700 queries; a third of the time there is none.
        const float *matrix = (q / 700) % 3 == 1 ? matrices[1] : ((q / 700) % 3 == 2 ? nullptr : matrices[0]);
        const int worker = q % kFaceBspWorkers;
        const uint64_t kept_before = keep.build_id;
        const float kept_centre = keep.centre[0];
        const FaceBspResult *kept = bsp_query_face_tree_sphere_kept(&bsp, c[0], c[1], c[2], radius, worker, matrix,
                                                                    &keep, 0.3f);
        ASSERT_NE(kept, nullptr);
        std::vector<int32_t> got(kept->faces, kept->faces + kept->count);
        if (keep.build_id == kept_before && keep.centre[0] == kept_centre) filtered++;
        found += kept->count;
        const FaceBspResult *tree = bsp_query_face_tree_sphere(&bsp, c[0], c[1], c[2], radius, worker, matrix);
        ASSERT_TRUE(std::equal(got.begin(), got.end(), tree->faces, tree->faces + tree->count));
    }
    // Most queries along the path filter the kept faces, and the spheres meet faces.
    EXPECT_GT(filtered, 1000);
    EXPECT_GT(found, 3000);
    EXPECT_EQ(bsp_query_face_tree_sphere_kept(&bsp, 0, 0, 0, 1, kFaceBspWorkers, nullptr, &keep, 0.1f), nullptr);
    bsp_sphere_keep_free(&keep);
    bsp_free_face_tree(&bsp);
    for (MeshObject *m : meshes) mesh_delete(m);
}

TEST(FaceBsp, EdgeCasesOfBuildAndQuery)
{
    FaceBsp bsp{};
    MeshObject *mesh = mesh_new();
    ASSERT_EQ(bsp_build_face_tree(&bsp, 4, mesh), 1);  // no faces: an empty tree
    EXPECT_EQ(bsp_query_face_tree_sphere(&bsp, 0, 0, 0, 100, 0, nullptr)->count, 0);
    EXPECT_EQ(bsp_query_face_tree_sphere(&bsp, 0, 0, 0, 100, 8, nullptr), nullptr);
    EXPECT_EQ(bsp_query_face_tree_sphere(&bsp, 0, 0, 0, 100, -1, nullptr), nullptr);

    mesh_build_box(mesh, 2, 2, 2);
    mesh->faces[4].v[1] = 99;                          // a bad index: left out of the tree
    ASSERT_EQ(bsp_build_face_tree(&bsp, 0, mesh), 1);  // rebuilding releases the previous tree
    const FaceBspResult *all = bsp_query_face_tree_sphere(&bsp, 0, 0, 0, 10, 3, nullptr);
    EXPECT_EQ(all->count, 11);
    for (int32_t i = 0; i < all->count; i++) EXPECT_NE(all->faces[i], 4);
    float flat[16] = {};
    EXPECT_EQ(bsp_query_face_tree_sphere(&bsp, 0, 0, 0, 10, 3, flat)->count, 0);
    EXPECT_EQ(bsp_query_face_tree_sphere(&bsp, 0, 0, 5, 0.5f, 3, nullptr)->count, 0);
    // Touching counts: the +z side lies at z = 1.
    EXPECT_EQ(bsp_query_face_tree_sphere(&bsp, 0, 0, 2, 1.0f, 3, nullptr)->count, 2);

    const FaceBspEntryList *list = face_bsp_collect_all(&bsp);
    EXPECT_EQ(list->count, 11);
    std::set<int32_t> faces;
    for (int32_t i = 0; i < list->count; i++) faces.insert(list->entries[i].face);
    EXPECT_EQ(faces.size(), 11u);

    bsp_free_face_tree(&bsp);
    EXPECT_EQ(bsp.nodes, nullptr);
    EXPECT_EQ(bsp.results[3].faces, nullptr);
    EXPECT_EQ(bsp.main.entries, nullptr);
    bsp_free_face_tree(&bsp);  // twice is harmless
    EXPECT_EQ(bsp_query_face_tree_sphere(&bsp, 0, 0, 0, 10, 0, nullptr)->count, 0);
    bsp_free_face_tree(&bsp);
    mesh_delete(mesh);
}

TEST(FaceBsp, TriangleQueryIsConservativeAndCarriesTextures)
{
    // A 20 x 20 grid of unit squares on the plane y = 0, texture id = column.
    MeshObject *mesh = bsp_test_grid_mesh(20);
    FaceBsp bsp{};
    ASSERT_EQ(bsp_build_face_tree(&bsp, 4, mesh), 1);
    const float a[3] = {2.5f, 0, 2.5f}, b[3] = {7.5f, 0, 2.5f}, c[3] = {2.5f, 0, 9.5f};
    const FaceBspEntryList *list = face_bsp_query_triangle(&bsp, a, b, c);
    std::set<int32_t> found;
    for (int32_t i = 0; i < list->count; i++) {
        found.insert(list->entries[i].face);
        EXPECT_EQ(list->entries[i].texture_id, mesh->faces[list->entries[i].face].texture_id);
    }
    EXPECT_EQ(found.size(), size_t(list->count));
    // Every face under a point of the triangle is there.
    for (int i = 0; i <= 20; i++) {
        for (int j = 0; i + j <= 20; j++) {
            float p[3];
            for (int k = 0; k < 3; k++) p[k] = a[k] + (b[k] - a[k]) * i / 20.0f + (c[k] - a[k]) * j / 20.0f;
            for (int32_t f : bsp_test_faces_under(mesh, p)) EXPECT_TRUE(found.count(f)) << f;
        }
    }
    // Faces far from the triangle's box are not.
    for (int32_t f : found) {
        const float *p = mesh->vertices[mesh->faces[f].v[0]].position;
        EXPECT_TRUE(p[0] >= 1 && p[0] <= 8 && p[2] >= 1 && p[2] <= 10) << f;
    }
    // A triangle above the plane touches nothing.
    const float a2[3] = {2.5f, 1, 2.5f}, b2[3] = {7.5f, 1, 2.5f}, c2[3] = {2.5f, 1, 9.5f};
    EXPECT_EQ(face_bsp_query_triangle(&bsp, a2, b2, c2)->count, 0);
    // A vertical triangle standing on the plane touches the faces along its foot.
    const float a3[3] = {4.5f, -1, 4.5f}, b3[3] = {6.5f, -1, 4.5f}, c3[3] = {4.5f, 1, 4.5f};
    EXPECT_GT(face_bsp_query_triangle(&bsp, a3, b3, c3)->count, 0);
    bsp_free_face_tree(&bsp);
    mesh_delete(mesh);
}

TEST(LightBsp, ShadowRayBlockedByAWall)
{
    MeshObject *wall = mesh_new();
    mesh_build_box(wall, 10, 20, 0.2f);
    vec3_set(wall->position, 0, 0, 5);
    mesh_update_world_transform(wall);
    MeshObject *ground = mesh_new();
    mesh_build_box(ground, 100, 1, 100);
    vec3_set(ground->position, 0, 0.5f, 0);  // top face at y = 0 (y down)
    mesh_update_world_transform(ground);
    MeshObject *meshes[2] = {wall, ground};
    LightBsp light{meshes, 2, {0, 1, -1}, 0};  // the light comes from above (-y) and from +z

    const float behind[3] = {0, -1, 0};  // the wall lies between it and the light
    EXPECT_EQ(bsp_point_inside_solids(&light, behind), 0);
    const float beside[3] = {20, -1, 0};
    EXPECT_EQ(bsp_point_inside_solids(&light, beside), 1);
    const float in_front[3] = {0, -1, 8};
    EXPECT_EQ(bsp_point_inside_solids(&light, in_front), 1);
    const float on_ground[3] = {20, 0, 0};  // on a face: no shadow from itself
    EXPECT_EQ(bsp_point_inside_solids(&light, on_ground), 1);
    light.reach = 3;  // the wall lies beyond the ray (7 away)
    EXPECT_EQ(bsp_point_inside_solids(&light, behind), 1);
    LightBsp none{nullptr, 0, {0, 0, 0}, 0};
    EXPECT_EQ(bsp_point_inside_solids(&none, behind), 1);
    mesh_delete(wall);
    mesh_delete(ground);
}

}  // namespace
