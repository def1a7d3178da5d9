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
#include <functional>

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

// The background gives the pixels the fill at 150 it stands for; the haze that stands for the
// twenty fills from 60 on leaves a surface nearer than 60 as drawn and mixes farther ones toward
// the horizon colour by their depth.
TEST_F(HoleViewGl, TheHorizonStandInsLeaveThePixelsOfTheFillsTheyReplace)
{
    ASSERT_NO_FATAL_FAILURE(open(128, 128));
    g_hole_world.renderer = context;
    vec3_set(g_hole_world.ambient_colour, 0.2f, 0.4f, 0.1f);
    const float w = float(width), h = float(height);
    const float depths[3] = {20.0f, 120.0f, 280.0f};
    const float colours[3][3] = {{0.9f, 0.0f, 0.2f}, {0.9f, 0.5f, 0.2f}, {0.9f, 1.0f, 0.2f}};
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
        hole_view_haze(stand_ins);
        for (int k = 0; k < 3; k++) {
            const float d = depths[k], x0 = (float(k) * 0.6f - 0.9f) * d, x1 = x0 + 0.5f * d;
            const float corners[4][3] = {{x0, -0.3f * d, d}, {x1, -0.3f * d, d}, {x1, 0.3f * d, d}, {x0, 0.3f * d, d}};
            render_draw_3d_quad(context, corners, colours[k][0], colours[k][1], colours[k][2], 1.0f);
        }
        hole_view_haze(false);
        render_end_frame(context);
        read_back_buffer(png);
    };
    frame(false, "hole_view_gltest_fills.png");
    const std::vector<uint8_t> fills = rgba;
    frame(true, "hole_view_gltest_stand_ins.png");
    const int columns[3] = {30, 60, 92};
    for (int k = 0; k < 3; k++) {
        SCOPED_TRACE(depths[k]);
        // The share of the horizon colour: none before 60, all of it at 800.
        const float share = std::fmax(0.0f, (depths[k] - 60.0f) / 740.0f);
        int want[3];
        for (int c = 0; c < 3; c++)
            want[c] = int(std::lround(255.0 * ((1.0f - share) * colours[k][c] + share * 0.01f * float(g_horizon_tint[c]))));
        EXPECT_TRUE(gl_pixel_near(at(columns[k], 64), want[0], want[1], want[2], 2));
        const uint8_t *plain = &fills[(size_t(64) * width + columns[k]) * 4];
        if (k == 0) {
            EXPECT_TRUE(gl_pixel_near(at(columns[k], 64), plain[0], plain[1], plain[2], 0));
        }
    }
    // Beside the squares the background is the fill's.
    int differing = 0;
    for (int y : {4, 123})
        for (int x = 0; x < width; x++)
            for (int c = 0; c < 3; c++) differing += at(x, y)[c] != fills[(size_t(y) * width + x) * 4 + c];
    EXPECT_EQ(differing, 0);
}

namespace {

constexpr uint16_t kWood = 2 << 2;    // a rail's material: texture 2 above clear blending bits
constexpr uint16_t kBright = 3 << 2;  // stone

// A box [x0, x1] x [top, 0] x [z0, z1] of one material, wound as the theme stores blocks.
MeshObject *box(const char *name, float x0, float x1, float top, float z0, float z1, uint16_t material)
{
    CourseMeshBuilder b;
    b.quad({x0, top, z0}, {x1, top, z0}, {x1, top, z1}, {x0, top, z1}, {0, -1, 0}, material);
    b.quad({x0, 0, z0}, {x1, 0, z0}, {x1, 0, z1}, {x0, 0, z1}, {0, 1, 0}, material);
    b.quad({x0, top, z0}, {x1, top, z0}, {x1, 0, z0}, {x0, 0, z0}, {0, 0, -1}, material);
    b.quad({x0, top, z1}, {x1, top, z1}, {x1, 0, z1}, {x0, 0, z1}, {0, 0, 1}, material);
    b.quad({x0, top, z0}, {x0, top, z1}, {x0, 0, z1}, {x0, 0, z0}, {-1, 0, 0}, material);
    b.quad({x1, top, z0}, {x1, top, z1}, {x1, 0, z1}, {x1, 0, z0}, {1, 0, 0}, material);
    return b.build(name);
}

class RailGl : public HoleViewGl {
protected:
    int32_t rail = -1, bright = -1;

    // The grid, a rail along x at z = 0, and a tall block behind it (toward -z) when asked.
    void build(bool with_block)
    {
        world_release_and_reset(&g_hole_world);
        for (float *colour : {g_menu_world.ambient_colour, g_menu_world.light_colour})
            colour[0] = colour[1] = colour[2] = 0.4f;
        g_hole_world.renderer = context;
        editor_build_ground_grid();
        rail = add(box("BLOC_RAIL", -2.0f, 2.0f, -0.6f, -0.15f, 0.15f, kWood));
        if (with_block) bright = add(box("BLOC_TALL", -1.0f, 1.0f, -1.5f, -1.5f, -0.8f, kBright));
        world_compute_object_bounds(&g_hole_world);
    }

    int32_t add(MeshObject *m)
    {
        const int32_t i = scene_add_object(&g_hole_world, m);
        if (i >= 0) scene_set_render_object(&g_hole_world, i, course_mesh_shade_and_build(m, 0));
        return i;
    }

    // The play frame's two passes with the ball at (0, -0.1, ball_z), the eye toward +z; then
    // `after`, as the play screen draws its aim line and arrow.
    void play_frame(float ball_z, const char *png, const std::function<void()> &after = {})
    {
        vec3_set(g_camera_pivot, 0.0f, -0.1f, ball_z);
        g_camera_yaw = 90.0f, g_camera_pitch = -20.0f, g_camera_distance = 5.0f;
        ASSERT_TRUE(render_begin_frame(context));
        render_clear_frame(context);
        play_camera_update_and_draw(0);
        play_camera_update_and_draw(1);
        if (after) after();
        render_end_frame(context);
        read_back_buffer(png);
        ASSERT_GT(g_camera_eye[2], ball_z + 2.0f) << "the eye is not on the rail's +z side";
    }
};

}  // namespace

// Opaque materials hide what stands behind them; a rail that hides the ball is drawn see-through,
// one layer deep, without stripes of its own faces blended over each other.
TEST_F(RailGl, ARailIsOpaqueAndSeeThroughOnlyOverTheBallWithoutStripes)
{
    ASSERT_NO_FATAL_FAILURE(open(256, 256));
    ASSERT_NO_FATAL_FAILURE(build(false));
    ASSERT_NO_FATAL_FAILURE(play_frame(1.5f, "rail_gltest_alone.png"));
    ASSERT_EQ(g_hole_world.objects[rail]->occluding, 0);
    const float face[3] = {0.0f, -0.3f, 0.15f};
    int fx, fy;
    ASSERT_TRUE(project(face, &fx, &fy));
    const std::vector<uint8_t> alone = rgba;

    ASSERT_NO_FATAL_FAILURE(build(true));
    ASSERT_NO_FATAL_FAILURE(play_frame(1.5f, "rail_gltest_block.png"));
    for (int dx = -20; dx <= 20; dx += 10) {
        const size_t k = (size_t(fy) * width + size_t(fx + dx)) * 4;
        EXPECT_FALSE(differs_by(&rgba[k], &alone[k], 4)) << "the rail at " << fx + dx << ", " << fy;
    }

    // The ball just behind the rail: the rail hides it and is drawn see-through, its face toward
    // the eye once over the ground behind it (not its bottom or back, lighter in this light).
    const uint8_t *front = &alone[(size_t(fy) * width + size_t(fx)) * 4];
    ASSERT_NO_FATAL_FAILURE(build(false));
    ASSERT_NO_FATAL_FAILURE(play_frame(-0.4f, "rail_gltest_hiding.png"));
    ASSERT_EQ(g_hole_world.objects[rail]->occluding, 1);
    {
        int x, y;
        ASSERT_TRUE(project(face, &x, &y));
        const uint8_t *ground = at(width / 2, height - 8), *p = at(x, y);
        for (int c = 0; c < 3; c++)
            EXPECT_NEAR(p[c], 0.4 * front[c] + 0.6 * ground[c], 6.0)
                << "channel " << c << " at " << x << ", " << y << ": front " << int(front[c]) << ", ground " << int(ground[c]);
    }
    const float left[3] = {-1.6f, -0.3f, 0.15f}, right[3] = {1.6f, -0.3f, 0.15f};
    int lx, ly, rx, ry;
    ASSERT_TRUE(project(left, &lx, &ly) && project(right, &rx, &ry));
    int spots = 0;
    const uint8_t *previous = nullptr;
    for (int s = 0; s <= 16; s++) {
        const int x = lx + (rx - lx) * s / 16, y = ly + (ry - ly) * s / 16;
        const uint8_t *p = at(x, y);
        if (previous) {
            EXPECT_FALSE(differs_by(p, previous, 24)) << "stripes on the rail's face at " << x << ", " << y;
        }
        previous = p;
        spots++;
    }
    EXPECT_EQ(spots, 17);
}

// What the play screen draws after the hole (the aim line, the strike arrow) lies by the ball, so
// behind a rail that hides it: it shows through the see-through rail as through no rail at all.
TEST_F(RailGl, WhatIsDrawnAfterASeeThroughRailShowsThroughIt)
{
    ASSERT_NO_FATAL_FAILURE(open(256, 256));
    ASSERT_NO_FATAL_FAILURE(build(false));
    const float mark[4][3] = {{-0.3f, -0.09f, -0.9f}, {0.3f, -0.09f, -0.9f}, {0.3f, -0.09f, -0.3f}, {-0.3f, -0.09f, -0.3f}};
    auto draw_mark = [&] {
        render_set_mode(1, context, 1);
        render_set_mode(6, context, 0);
        texture_bind(context, kRenderNoTexture);
        render_draw_3d_quad(context, mark, 1.0f, 0.0f, 0.0f, 1.0f);
    };
    ASSERT_NO_FATAL_FAILURE(play_frame(-0.4f, "rail_gltest_mark.png", draw_mark));
    ASSERT_EQ(g_hole_world.objects[rail]->occluding, 1);
    const float behind[3] = {0.0f, -0.09f, -0.5f};
    ASSERT_TRUE(mesh_segment_hit(g_hole_world.objects[rail], g_camera_eye, behind)) << "the mark is not behind the rail";
    int x, y;
    ASSERT_TRUE(project(behind, &x, &y));
    const uint8_t *p = at(x, y);
    EXPECT_TRUE(p[0] > 200 && p[1] < 60 && p[2] < 60)
        << "the mark behind the rail at " << x << ", " << y << ": " << int(p[0]) << ", " << int(p[1]) << ", " << int(p[2]);
}
