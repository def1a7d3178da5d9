// The render-mode table: device states reaching the next draw, the batch flushed under the old
// state, and unknown modes or values changing nothing.
#include "tests/render/render_test_util.h"

#include "platform/system.h"
#include "render/render_draw.h"
#include "tests/test_util.h"

#include <string>

namespace {

class RenderModeTest : public RenderTest {
protected:
    void SetUp() override
    {
        RenderTest::SetUp();
        make_device(false);
    }

    // Queues one screen triangle in the 2D batch.
    void queue_triangle()
    {
        ASSERT_NE(context->batch, nullptr);
        RenderBatchVertex *v = context->batch + 3 * context->batch_triangles;
        v[0] = {0, 0, 0, 1, 0xFFFFFFFF, 0, 0};
        v[1] = {8, 0, 0, 1, 0xFFFFFFFF, 1, 0};
        v[2] = {0, 8, 0, 1, 0xFFFFFFFF, 0, 1};
        context->batch_triangles++;
    }
};

TEST_F(RenderModeTest, DeviceModesReachTheDraw)
{
    struct Case {
        int32_t mode, value;
        D3DRENDERSTATETYPE state;
        DWORD expected;
    };
    const Case cases[] = {
        {1, 17, D3DRS_ZWRITEENABLE, FALSE},
        {4, 1, D3DRS_CULLMODE, D3DCULL_CCW},
        {6, 18, D3DRS_DESTBLEND, D3DBLEND_ONE},
        {11, 4, D3DRS_ZBIAS, 4},
        {12, 1, D3DRS_STENCILPASS, D3DSTENCILOP_INCR},
        {13, 1, D3DRS_DITHERENABLE, TRUE},
        {21, 257, D3DRS_ALPHAFUNC, D3DCMP_GREATER},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " = " << c.value);
        render_set_mode(c.mode, context, c.value);
        GpuDrawRecord draw = render_test_draw_probe(context->device);
        EXPECT_EQ(draw.render_states[c.state], c.expected);
        EXPECT_EQ(context->mode_value[c.mode], c.value);
    }
    // The states that go with them, and the variables they keep.
    GpuDrawRecord draw = render_test_draw_probe(context->device);
    EXPECT_EQ(draw.render_states[D3DRS_ZENABLE], DWORD(TRUE));
    EXPECT_EQ(draw.render_states[D3DRS_ALPHABLENDENABLE], DWORD(TRUE));
    EXPECT_EQ(draw.render_states[D3DRS_SRCBLEND], DWORD(D3DBLEND_SRCALPHA));
    EXPECT_EQ(draw.render_states[D3DRS_STENCILZFAIL], DWORD(D3DSTENCILOP_KEEP));
    EXPECT_EQ(render_var_get(context, "Q"), 17);
    EXPECT_EQ(render_var_get(context, "P"), 1);
    EXPECT_EQ(render_var_get(context, "N"), 2);

    // Off again: blending, depth, stencil.
    render_set_mode(6, context, 0);
    render_set_mode(1, context, 0);
    render_set_mode(12, context, 0);
    render_set_mode(4, context, 5);
    draw = render_test_draw_probe(context->device);
    EXPECT_EQ(draw.render_states[D3DRS_ALPHABLENDENABLE], DWORD(FALSE));
    EXPECT_EQ(draw.render_states[D3DRS_ZENABLE], DWORD(FALSE));
    EXPECT_EQ(draw.render_states[D3DRS_STENCILENABLE], DWORD(FALSE));
    EXPECT_EQ(draw.render_states[D3DRS_CULLMODE], DWORD(D3DCULL_NONE));
}

TEST_F(RenderModeTest, AQueuedQuadKeepsTheOldState)
{
    render_set_mode(6, context, 0);
    ASSERT_TRUE(render_begin_frame(context));
    gpu_headless_clear_draws();
    queue_triangle();
    render_set_mode(6, context, 1);
    ASSERT_EQ(gpu_headless_draw_count(), 1);
    EXPECT_EQ(gpu_headless_draw(0)->render_states[D3DRS_ALPHABLENDENABLE], DWORD(FALSE));
    EXPECT_EQ(context->batch_triangles, 0);
    queue_triangle();
    render_end_frame(context);
    ASSERT_EQ(gpu_headless_draw_count(), 2);
    EXPECT_EQ(gpu_headless_draw(1)->render_states[D3DRS_ALPHABLENDENABLE], DWORD(TRUE));
}

TEST_F(RenderModeTest, UnknownModeChangesNothing)
{
    TempDir dir;
    TestPathRestore restore;
    sys_path_reset(dir.path.c_str(), (dir / "c").c_str());
    g_render_log_opened = false;
    render_set_mode(6, context, 1);
    render_set_mode(21, context, 100);
    GpuDrawRecord before = render_test_draw_probe(context->device);
    int32_t modes_before[kRenderModes];
    memcpy(modes_before, context->mode_value, sizeof modes_before);
    auto variables = [&] {
        std::string all;
        for (RenderVariable *v = context->variables.first; v; v = v->next)
            all += std::string(v->name) + "=" + std::to_string(v->value) + " ";
        return all;
    };
    std::string variables_before = variables();
    RenderBatchVertex *batch = context->batch;

    const int32_t unknown[][2] = {{6, 7}, {11, 17}, {13, 2}, {21, 266}, {21, -1}, {7, 99},
                                  {9, 5}, {27, 5},  {40, 1}, {-3, 0},   {16, 52}};
    for (int round = 0; round < 2; round++)
        for (const auto &u : unknown) render_set_mode(u[0], context, u[1]);

    GpuDrawRecord after = render_test_draw_probe(context->device);
    EXPECT_EQ(memcmp(before.render_states, after.render_states, sizeof before.render_states), 0);
    EXPECT_EQ(memcmp(before.sampler_states, after.sampler_states, sizeof before.sampler_states), 0);
    EXPECT_EQ(memcmp(modes_before, context->mode_value, sizeof modes_before), 0);
    EXPECT_EQ(variables_before, variables());
    EXPECT_EQ(context->batch, batch);

    // One line for each mode, however often it is called.
    std::string log = test_read_file(dir / "rar3a_log.txt");
    for (int32_t mode : {6, 11, 13, 21, 7, 9, 27, 40, 16}) {  // modes out of range share one line
        std::string needle = "mode " + std::to_string(mode) + " ";
        size_t first = log.find(needle);
        EXPECT_NE(first, std::string::npos) << needle;
        EXPECT_EQ(log.find(needle, first + 1), std::string::npos) << needle << log;
    }
}

}  // namespace
