// The 2D batch appenders and the immediate 3D drawing, seen through the draws the device recorded.
#include "tests/render/render_test_util.h"

#include "geometry/mesh.h"
#include "render/render_draw.h"

#include <cmath>
#include <vector>

namespace {

class Render2DTest : public RenderTest {
protected:
    void SetUp() override
    {
        RenderTest::SetUp();
        make_device(false);
        ASSERT_TRUE(render_begin_frame(context));
        gpu_headless_clear_draws();
    }

    void TearDown() override
    {
        render_end_frame(context);
        RenderTest::TearDown();
    }

    std::vector<uint8_t> flushed()
    {
        int before = gpu_headless_draw_count();
        render_flush_2d_batch(context);
        if (gpu_headless_draw_count() != before + 1) return {};
        return gpu_headless_draw(before)->user_vertices;
    }
};

void put_float(std::vector<uint8_t> &out, float f)
{
    uint8_t b[4];
    memcpy(b, &f, 4);
    out.insert(out.end(), b, b + 4);
}

TEST_F(Render2DTest, AQuadIsTwoClockwiseTrianglesOfExactVertices)
{
    render_draw_2d_quad_rgba(context, 10, 20, 30, 40, 0.25f, 0.5f, 0.75f, 1.0f, 1.0f, 0.5f, 0.0f, 0.5f);
    EXPECT_EQ(context->batch_triangles, 2);
    std::vector<uint8_t> expected;
    const float corners[6][4] = {{10, 20, 0.25f, 0.5f}, {40, 20, 0.75f, 0.5f}, {40, 60, 0.75f, 1.0f},
                                 {10, 20, 0.25f, 0.5f}, {40, 60, 0.75f, 1.0f}, {10, 60, 0.25f, 1.0f}};
    for (const auto &c : corners) {
        put_float(expected, c[0]);
        put_float(expected, c[1]);
        put_float(expected, 0.0f);
        put_float(expected, 1.0f);
        const uint8_t colour[4] = {0x00, 0x7F, 0xFF, 0x7F};  // B, G, R, A
        expected.insert(expected.end(), colour, colour + 4);
        put_float(expected, c[2]);
        put_float(expected, c[3]);
    }
    EXPECT_EQ(flushed(), expected);
    EXPECT_EQ(gpu_headless_draw(0)->fvf, DWORD(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1));
}

TEST_F(Render2DTest, TheBatchFlushesBeforeItWouldPass511Triangles)
{
    memset(context->batch, 0, sizeof(RenderBatchVertex) * 3 * kRenderBatchTriangles);
    context->batch_triangles = 509;
    render_batch_add_2d_rect(context, 0, 0, 4, 4, 1, 1, 1);
    EXPECT_EQ(gpu_headless_draw_count(), 0);
    EXPECT_EQ(context->batch_triangles, 511);

    context->batch_triangles = 510;
    render_batch_add_2d_rect(context, 0, 0, 4, 4, 1, 1, 1);
    ASSERT_EQ(gpu_headless_draw_count(), 1);
    EXPECT_EQ(gpu_headless_draw(0)->primitive_count, 510u);
    EXPECT_EQ(context->batch_triangles, 2);
}

TEST_F(Render2DTest, ATextureOrModeChangeDrawsWhatWasQueued)
{
    render_draw_2d_quad(context, 0, 0, 8, 8, 0, 0, 1, 1, 1, 1, 1);
    texture_bind(context, 7);
    EXPECT_EQ(gpu_headless_draw_count(), 1);
    texture_bind(context, 7);  // the same id: nothing to draw
    render_draw_2d_quad(context, 0, 0, 8, 8, 0, 0, 1, 1, 1, 1, 1);
    EXPECT_EQ(gpu_headless_draw_count(), 1);
    render_set_mode(6, context, 1);
    EXPECT_EQ(gpu_headless_draw_count(), 2);
    EXPECT_EQ(context->batch_triangles, 0);
}

TEST_F(Render2DTest, AParkedOrFreedBatchDrawsAtOnce)
{
    RenderBatchVertex *batch = context->batch;
    for (int value : {88, 0}) {
        SCOPED_TRACE(value);
        render_set_mode(27, context, value);
        ASSERT_EQ(context->batch, nullptr);
        int before = gpu_headless_draw_count();
        render_draw_2d_line(context, 0, 0, 5, 5);
        ASSERT_EQ(gpu_headless_draw_count(), before + 1);
        EXPECT_EQ(gpu_headless_draw(before)->primitive_count, 2u);
        EXPECT_EQ(context->batch_triangles, 0);
        if (value == 88) {
            render_set_mode(27, context, 88);  // given back
            EXPECT_EQ(context->batch, batch);
        }
    }
    render_set_mode(27, context, 1);
    EXPECT_NE(context->batch, nullptr);
}

TEST_F(Render2DTest, ColoursAreClampedAndNonFiniteCornersDrawNothing)
{
    render_batch_add_2d_rect(context, 0, 0, 4, 4, 1.5f, -1.0f, NAN);
    EXPECT_EQ(context->batch[0].colour, 0xFFFF0000u);  // no wrap past 255, no negative or NaN bits
    EXPECT_EQ(context->batch[0].u, 0.0f);

    const float nan = NAN, inf = INFINITY;
    render_draw_2d_quad(context, nan, 0, 8, 8, 0, 0, 1, 1, 1, 1, 1);
    render_draw_2d_quad(context, 0, 0, inf, 8, 0, 0, 1, 1, 1, 1, 1);
    render_draw_2d_quad_rgba(context, 0, 0, 8, 8, 0, nan, 1, 1, 1, 1, 1, 1);
    render_draw_2d_line(context, 0, 0, inf, 3);
    EXPECT_EQ(context->batch_triangles, 2);
}

TEST_F(Render2DTest, ALineIsAQuadOnePixelWide)
{
    render_draw_2d_line(context, 2, 10, 12, 10);
    const RenderBatchVertex *v = context->batch;
    EXPECT_EQ(v[0].colour, 0xFFFFFFFFu);
    EXPECT_FLOAT_EQ(v[0].x, 2.0f);
    EXPECT_FLOAT_EQ(v[0].y, 9.5f);
    EXPECT_FLOAT_EQ(v[1].x, 12.0f);
    EXPECT_FLOAT_EQ(v[2].y, 10.5f);
    // A point still gives one pixel.
    render_draw_2d_line(context, 3, 3, 3, 3);
    EXPECT_EQ(context->batch_triangles, 4);
    EXPECT_FLOAT_EQ(v[6 + 1].x - v[6].x, 1.0f);
}

TEST_F(Render2DTest, ImmediateDrawsUseTheTransformsAndBoundTexture)
{
    std::vector<uint8_t> pixels(4 * 4 * 4, 0xFF);
    texture_create_in_slot(&context->main_textures, 3, 4, 4, pixels.data(), 4, 4, 0);
    texture_bind(context, 3);
    const float world[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 6, 7, 1};
    render_set_world_matrix(context, world);
    render_draw_2d_quad(context, 0, 0, 8, 8, 0, 0, 1, 1, 1, 1, 1);  // queued: drawn first

    const float p0[3] = {0, 0, 0}, p1[3] = {1, 2, 3};
    render_draw_3d_line(context, p0, p1);
    const float corners[4][3] = {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}};
    render_draw_3d_quad(context, corners, 1.0f, 0.0f, 0.0f, 0.5f);
    MeshVertex a = {}, b = {}, c = {};
    a.position[0] = 1;
    b.position[1] = 1;
    c.position[2] = 1;
    MeshFace face = {};
    face.corner[0] = &a;
    face.corner[1] = &b;
    face.corner[2] = &c;
    face.uv[4] = 0.5f;
    face.color[0] = face.color[3] = 1.0f;
    render_draw_3d_triangle(context, &face);

    ASSERT_EQ(gpu_headless_draw_count(), 4);
    EXPECT_TRUE(gpu_headless_draw(0)->fvf & D3DFVF_XYZRHW);
    IDirect3DTexture9 *texture = context->main_textures.slots[3]->texture;
    const D3DPRIMITIVETYPE types[3] = {D3DPT_LINELIST, D3DPT_TRIANGLELIST, D3DPT_TRIANGLELIST};
    const UINT counts[3] = {1, 2, 1};
    for (int i = 0; i < 3; i++) {
        SCOPED_TRACE(i);
        const GpuDrawRecord *draw = gpu_headless_draw(1 + i);
        EXPECT_EQ(draw->type, types[i]);
        EXPECT_EQ(draw->primitive_count, counts[i]);
        EXPECT_EQ(draw->fvf, DWORD(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1));
        EXPECT_EQ(draw->stride, 24u);
        EXPECT_EQ(draw->textures[0], texture);
        EXPECT_EQ(draw->world[12], 5.0f);
    }
    const uint8_t *line = gpu_headless_draw(1)->user_vertices.data();
    EXPECT_EQ(render_test_read<float>(line, 24 + 8), 3.0f);   // z of the end
    EXPECT_EQ(render_test_read<float>(line, 24 + 16), 1.0f);  // u runs 0 to 1
    const uint8_t *quad = gpu_headless_draw(2)->user_vertices.data();
    EXPECT_EQ(render_test_read<uint32_t>(quad, 12), 0x7FFF0000u);
    EXPECT_EQ(render_test_read<float>(quad, 2 * 24 + 16), 1.0f);  // corner 2 at u 1, v 1
    const uint8_t *triangle = gpu_headless_draw(3)->user_vertices.data();
    EXPECT_EQ(render_test_read<float>(triangle, 2 * 24 + 8), 1.0f);
    EXPECT_EQ(render_test_read<float>(triangle, 2 * 24 + 16), 0.5f);
    EXPECT_EQ(render_test_read<uint32_t>(triangle, 12), 0xFFFF0000u);
}

}  // namespace
