// The play view drawn with OpenGL at 256 x 256 (kept as hole_view_gltest.png and
// hole_view_gltest_culled.png): the editor's GROUND grid and one flat-shaded block under a black
// light, seen by the play camera. GROUND tiles and block tops are wound opposite ways, so both
// show only because holes are drawn without culling; the culled frame shows that the probes see it.
#include "course/course_local.h"
#include "course/editor.h"
#include "course/hole_view.h"
#include "geometry/mesh_edit.h"
#include "geometry/vecmath.h"
#include "tests/course/course_test_util.h"
#include "tests/game/game_gl_util.h"

#include <cmath>

namespace {

constexpr float kBlockHeight = 1.0f;

class HoleViewGl : public GameGlTest {
protected:
    void TearDown() override
    {
        g_hole_cull_mode = 5;
        world_release_and_reset(&g_hole_world);
        world_release_effects(&g_hole_world);
        lightmap_atlas_free(context);
        world_release_and_reset(&g_menu_world);
        GameGlTest::TearDown();
    }

    // The hole: the editor's grid, and a flat-shaded 2 x 1 x 2 block at the middle as the theme
    // stores it (faces of their own vertices built outward, then inverted, so that its top's
    // normal has y > 0).
    void build_hole()
    {
        for (float *colour : {g_menu_world.ambient_colour, g_menu_world.light_colour})
            colour[0] = colour[1] = colour[2] = 0.0f;
        g_hole_world.renderer = context;
        editor_build_ground_grid();
        const float h = -kBlockHeight;
        CourseMeshBuilder b;
        b.quad({-1, h, -1}, {1, h, -1}, {1, h, 1}, {-1, h, 1}, {0, -1, 0}, 5);
        b.quad({-1, 0, -1}, {1, 0, -1}, {1, 0, 1}, {-1, 0, 1}, {0, 1, 0}, 5);
        b.quad({-1, h, -1}, {1, h, -1}, {1, 0, -1}, {-1, 0, -1}, {0, 0, -1}, 3);
        b.quad({-1, h, 1}, {1, h, 1}, {1, 0, 1}, {-1, 0, 1}, {0, 0, 1}, 3);
        b.quad({-1, h, -1}, {-1, h, 1}, {-1, 0, 1}, {-1, 0, -1}, {-1, 0, 0}, 3);
        b.quad({1, h, -1}, {1, h, 1}, {1, 0, 1}, {1, 0, -1}, {1, 0, 0}, 3);
        MeshObject *block = b.build("BLOC");
        const int32_t i = scene_add_object(&g_hole_world, block);
        ASSERT_GE(i, 0);
        scene_set_render_object(&g_hole_world, i, course_mesh_shade_and_build(block, 0));
        world_compute_object_bounds(&g_hole_world);
    }

    void draw(const char *png)
    {
        vec3_set(g_camera_pivot, 0.0f, -kBlockHeight, 0.0f);
        g_camera_yaw = 30.0f, g_camera_pitch = -40.0f, g_camera_distance = 5.0f;
        ASSERT_TRUE(render_begin_frame(context));
        render_clear_frame(context);
        play_camera_update_and_draw(-1);
        render_end_frame(context);
        read_back_buffer(png);
    }

    // The pixel of a world point under the device's view and projection; false off the screen.
    bool project(const float *p, int *x, int *y) const
    {
        float view[16], projection[16], q[3];
        context->device->GetTransform(D3DTS_VIEW, view);
        context->device->GetTransform(D3DTS_PROJECTION, projection);
        mat4_transform_point(q, view, p);
        if (!(q[2] > 1.0f)) return false;
        mat4_transform_project(projection, q);
        *x = int((q[0] + 1.0f) * 0.5f * float(width));
        *y = int((1.0f - q[1]) * 0.5f * float(height));
        return *x >= 16 && *x < width - 16 && *y >= 16 && *y < height - 16;
    }
};

bool differs_by(const uint8_t *a, const uint8_t *b, int amount)
{
    for (int c = 0; c < 3; c++)
        if (std::abs(a[c] - b[c]) >= amount) return true;
    return false;
}

}  // namespace

TEST_F(HoleViewGl, GroundAndBlockTopsVisibleFromThePlayCamera)
{
    ASSERT_NO_FATAL_FAILURE(open(256, 256));
    ASSERT_NO_FATAL_FAILURE(build_hole());
    draw("hole_view_gltest.png");

    const float top[3] = {0.0f, -kBlockHeight, 0.0f};
    int top_x, top_y;
    ASSERT_TRUE(project(top, &top_x, &top_y));
    // The nearest GROUND tile whose centre shows well away from the block.
    int ground_x = -1, ground_y = -1;
    float nearest = 1e9f;
    for (int32_t i = 0; i < g_first_block_index; i++) {
        const float *c = g_hole_world.objects[i]->position;
        float to_eye[3];
        int x, y;
        const float distance = vec3_length(vec3_sub(to_eye, g_camera_eye, c));
        if (!project(c, &x, &y) || std::hypot(x - top_x, y - top_y) < 60.0 || distance >= nearest) continue;
        nearest = distance, ground_x = x, ground_y = y;
    }
    ASSERT_GE(ground_x, 0) << "no GROUND tile centre on screen";
    ASSERT_LT(nearest, 40.0f);
    const uint8_t *ground = at(ground_x, ground_y), *block = at(top_x, top_y), *sky = at(width / 2, 4);

    EXPECT_TRUE(gl_pixel_near(ground, 77, 77, 77, 10)) << "GROUND at " << ground_x << ", " << ground_y;
    for (int c = 0; c < 3; c++) EXPECT_GE(block[c], 230) << "block top at " << top_x << ", " << top_y;
    EXPECT_TRUE(differs_by(sky, ground, 40) && differs_by(sky, block, 40))
        << "sky (" << int(sky[0]) << ", " << int(sky[1]) << ", " << int(sky[2]) << ")";

    const std::vector<uint8_t> drawn = rgba;
    g_hole_cull_mode = 1;
    draw("hole_view_gltest_culled.png");
    const size_t g = (size_t(ground_y) * width + ground_x) * 4, t = (size_t(top_y) * width + top_x) * 4;
    EXPECT_TRUE(differs_by(&rgba[g], &drawn[g], 20) || differs_by(&rgba[t], &drawn[t], 20))
        << "culling changed neither probe";
}

// The background and the horizon layers give the pixels the fills they stand for gave: the fill at
// 150 first, then over a scene of surfaces nearer than 60, between 60 and 150 and nothing at all,
// the 20 blended fills from 60 on, 1.5 apart.
TEST_F(HoleViewGl, TheHorizonStandInsLeaveThePixelsOfTheFillsTheyReplace)
{
    ASSERT_NO_FATAL_FAILURE(open(128, 128));
    g_hole_world.renderer = context;
    vec3_set(g_hole_world.ambient_colour, 0.2f, 0.4f, 0.1f);
    const float w = float(width), h = float(height);
    auto frame = [&](bool stand_ins, const char *png) {
        ASSERT_TRUE(render_begin_frame(context));
        render_clear_frame(context);
        render_set_projection(context);
        float view[16];
        render_set_view_matrix(context, mat4_identity(view));
        render_set_mode(6, context, 1);
        render_set_mode(1, context, 1);
        if (stand_ins)
            hole_view_fill_background(w, h);
        else
            hole_view_fill_horizon(w, h, 150.0f);
        // Three opaque squares writing depth, across the left, middle and right of the view.
        texture_bind(context, kRenderNoTexture);
        const float depths[3] = {20.0f, 70.0f, 100.0f};
        for (int k = 0; k < 3; k++) {
            const float d = depths[k], x0 = (float(k) * 0.6f - 0.9f) * d, x1 = x0 + 0.5f * d;
            const float corners[4][3] = {{x0, -0.3f * d, d}, {x1, -0.3f * d, d}, {x1, 0.3f * d, d}, {x0, 0.3f * d, d}};
            render_draw_3d_quad(context, corners, 0.9f, 0.5f * float(k), 0.2f, 1.0f);
        }
        if (stand_ins) {
            hole_view_fill_horizon_layers(w, h);
        } else {
            for (int i = 0; i < 20; i++) hole_view_fill_horizon(w, h, 60.0f + float(i) * 1.5f);
        }
        render_end_frame(context);
        read_back_buffer(png);
    };
    frame(false, "hole_view_gltest_fills.png");
    const std::vector<uint8_t> fills = rgba;
    frame(true, "hole_view_gltest_stand_ins.png");
    // The near square shows, the two far ones are under the horizon colour like the background.
    const uint8_t *near = &fills[(size_t(64) * width + 20) * 4], *far = &fills[(size_t(64) * width + 100) * 4];
    const uint8_t *empty = &fills[(size_t(4) * width + 64) * 4];
    EXPECT_TRUE(gl_pixel_near(near, 229, 0, 51, 2)) << int(near[0]) << ", " << int(near[1]) << ", " << int(near[2]);
    EXPECT_TRUE(gl_pixel_near(far, empty[0], empty[1], empty[2], 0));
    int differing = 0;
    for (size_t i = 0; i < rgba.size(); i++) differing += rgba[i] != fills[i];
    EXPECT_EQ(differing, 0);
}
