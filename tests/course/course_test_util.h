// In-memory holes for the course tests: 225 GROUND stand-ins, then blocks built as the theme
// stores them (top faces with normals y > 0), on g_hole_world, released when the test ends.
#pragma once

#include "course/course.h"
#include "course/course_local.h"
#include "tests/scene/scene_test_util.h"

#include <gtest/gtest.h>

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
