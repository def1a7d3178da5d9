// In-memory holes for the course tests: 225 GROUND stand-ins, then blocks built as the theme
// stores them (top faces with normals y > 0), on g_hole_world, released when the test ends.
#pragma once

#include "course/course.h"
#include "course/course_local.h"
#include "script/config_main.h"
#include "tests/scene/scene_test_util.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

// Clears g_hole_world and the physics world before and after a test.
struct CourseHole {
    SceneWorld *world = &g_hole_world;
    CourseHole()
    {
        world_release_and_reset(world);
        physics_set_workers(0, 2);
        MeshObject *tile = scene_test_make_tile();
        for (int k = 0; k < kPlayFirstHoleObject; k++) {
            MeshObject *copy = mesh_duplicate(tile);
            snprintf(copy->name, sizeof copy->name, "GROUND");
            copy->position[0] = float(k % 15 * 10 - 70);
            copy->position[2] = float(k / 15 * 10 - 70);
            scene_add_object(world, copy);
        }
        mesh_delete(tile);
        world->first_block_index = kPlayFirstHoleObject;
    }
    ~CourseHole()
    {
        physics_world_reset(&g_physics_world);
        world_release_and_reset(world);
    }
    CourseHole(const CourseHole &) = delete;
    CourseHole &operator=(const CourseHole &) = delete;

    // A box block standing at (x, y, z) (y: its bottom), every face of `material`; its index.
    int32_t block(const char *name, float x, float y, float z, float sx, float sy, float sz, int32_t material = 5)
    {
        MeshObject *b = scene_test_make_block(name, sx, sy, sz);
        for (int32_t f = 0; f < b->face_count; f++) b->faces[f].material = uint16_t(material);
        vec3_set(b->position, x, y, z);
        return scene_add_object(world, b);
    }
    // Bounds and links, as a load leaves them.
    void finish() { world_compute_bounds_and_links(world); }
};

// The play state of one test with its ball.
struct CoursePlay {
    PlayState state;
    CoursePlay() { play_ball_create(&state.ball); }
    ~CoursePlay()
    {
        play_teardown_hole(&state);
        play_ball_free(&state.ball);
    }
    CoursePlay(const CoursePlay &) = delete;
    CoursePlay &operator=(const CoursePlay &) = delete;
};

// Faces wound so that each normal points along its `facing` (outward), one material per face; the
// built object is then inverted into the stored convention.
struct CourseMeshBuilder {
    std::vector<std::array<float, 3>> points;
    std::vector<std::array<int32_t, 3>> tris;
    std::vector<uint16_t> materials;

    void triangle(const std::array<float, 3> &a, const std::array<float, 3> &b, const std::array<float, 3> &c,
                  const std::array<float, 3> &facing, uint16_t material)
    {
        float ab[3], ac[3], n[3];
        vec3_sub(ab, b.data(), a.data());
        vec3_sub(ac, c.data(), a.data());
        vec3_cross(n, ac, ab);  // the engine's normal: (p2 - p0) x (p1 - p0)
        const int32_t base = int32_t(points.size());
        points.push_back(a);
        points.push_back(b);
        points.push_back(c);
        if (vec3_dot(n, facing.data()) >= 0)
            tris.push_back({base, base + 1, base + 2});
        else
            tris.push_back({base, base + 2, base + 1});
        materials.push_back(material);
    }
    void quad(const std::array<float, 3> &a, const std::array<float, 3> &b, const std::array<float, 3> &c,
              const std::array<float, 3> &d, const std::array<float, 3> &facing, uint16_t material)
    {
        triangle(a, b, c, facing, material);
        triangle(a, c, d, facing, material);
    }
    MeshObject *build(const char *name)
    {
        MeshObject *m = mesh_new();
        mesh_alloc_arrays(m, int32_t(points.size() > tris.size() ? points.size() : tris.size()));
        m->vertex_count = int32_t(points.size());
        for (size_t i = 0; i < points.size(); i++)
            vec3_set(m->vertices[i].position, points[i][0], points[i][1], points[i][2]);
        m->face_count = int32_t(tris.size());
        for (size_t f = 0; f < tris.size(); f++) {
            for (int k = 0; k < 3; k++) m->faces[f].v[k] = tris[f][k];
            m->faces[f].material = materials[f];
        }
        mesh_link_face_vertices(m);
        mesh_compute_normals(m);
        mesh_invert_in_place(m);
        snprintf(m->name, sizeof m->name, "%s", name);
        m->object_type = 2;
        return m;
    }
};

// A 2 x 2 block `height` high with a round cup of `radius` whose SOL floor is the block's bottom
// (its lowest point): grass top, walls of material 3, the floor of the configured SOL.
inline MeshObject *course_cup_block(float height, float radius)
{
    const int n = 32;
    const float kTwoPi = 6.2831853f;
    CourseMeshBuilder b;
    for (int i = 0; i < n; i++) {
        const float t0 = kTwoPi * float(i) / float(n), t1 = kTwoPi * float(i + 1) / float(n), tm = 0.5f * (t0 + t1);
        const float c0 = cosf(t0), s0 = sinf(t0), c1 = cosf(t1), s1 = sinf(t1);
        const float e0 = 1.0f / fmaxf(fabsf(c0), fabsf(s0)), e1 = 1.0f / fmaxf(fabsf(c1), fabsf(s1));
        const std::array<float, 3> in0 = {radius * c0, -height, radius * s0}, in1 = {radius * c1, -height, radius * s1};
        const std::array<float, 3> out0 = {e0 * c0, -height, e0 * s0}, out1 = {e1 * c1, -height, e1 * s1};
        const std::array<float, 3> bot0 = {radius * c0, 0, radius * s0}, bot1 = {radius * c1, 0, radius * s1};
        b.quad(in0, out0, out1, in1, {0, -1, 0}, 5);
        b.quad(in0, in1, bot1, bot0, {-cosf(tm), 0, -sinf(tm)}, 3);
        b.triangle({0, 0, 0}, bot0, bot1, {0, -1, 0}, uint16_t(g_material_sol));
    }
    const float h = -height;
    b.quad({-1, h, -1}, {1, h, -1}, {1, 0, -1}, {-1, 0, -1}, {0, 0, -1}, 3);
    b.quad({-1, h, 1}, {1, h, 1}, {1, 0, 1}, {-1, 0, 1}, {0, 0, 1}, 3);
    b.quad({-1, h, -1}, {-1, h, 1}, {-1, 0, 1}, {-1, 0, -1}, {-1, 0, 0}, 3);
    b.quad({1, h, -1}, {1, h, 1}, {1, 0, 1}, {1, 0, -1}, {1, 0, 0}, 3);
    return b.build("BLOC_CUP");
}

// The cup hole: START at x 0, a flat block at 2, the cup block at 4 (cup centre (4, 0)), a back
// wall 0.3 above the green and 0.25 thick beyond it; all 0.45 high. PAR 2 at hole 0.
inline void course_cup_hole(CourseHole &hole)
{
    const float h = 0.45f;
    hole.block("START", 0, 0, 0, 2, h, 2);
    hole.block("BLOC_FLAT", 2, 0, 0, 2, h, 2);
    MeshObject *cup = course_cup_block(h, 0.3f);
    cup->position[0] = 4.0f;
    scene_add_object(hole.world, cup);
    hole.block("BLOC_WALL", 5.125f, 0, 0, 0.25f, h + 0.3f, 2, 3);
    hole.finish();
}
