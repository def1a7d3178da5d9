// The render device: failures, frames through loss and reset, what creation and reset make.
#include "tests/render/render_test_util.h"

#include "platform/system.h"
#include "render/render_draw.h"
#include "tests/test_util.h"

namespace {

using RenderDeviceTest = RenderTest;

TEST_F(RenderDeviceTest, FailuresAreLoggedAndReported)
{
    TempDir dir;
    TestPathRestore restore;
    sys_path_reset(dir.path.c_str(), (dir / "c").c_str());
    g_render_log_opened = false;
    gpu_headless_fail_next(GPU_FAIL_CREATE_DEVICE, 1);
    EXPECT_EQ(render_create_device(context), 0);
    EXPECT_EQ(context->device, nullptr);
    EXPECT_FALSE(render_begin_frame(context));
    render_end_frame(context);
    context->width = 0;
    EXPECT_EQ(render_create_device(context), 0);
    std::string log = test_read_file(dir / "rar3a_log.txt");
    EXPECT_NE(log.find("could not be created"), std::string::npos) << log;
    EXPECT_NE(log.find("no size"), std::string::npos) << log;
}

TEST_F(RenderDeviceTest, FramesSkipWhileLostAndResetTheRenderersOwnResources)
{
    make_device(true);
    ASSERT_TRUE(render_begin_frame(context));
    render_end_frame(context);

    // A render texture in the default pool and a built-in effect: both must be dealt with
    // before Reset can succeed.
    ASSERT_EQ(context->device->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                             &context->render_textures[2], nullptr),
              D3D_OK);
    context->effects[9] = make_effect();
    gpu_headless_lose_device(context->device, false);
    EXPECT_FALSE(render_begin_frame(context));
    gpu_headless_lose_device(context->device, true);
    gpu_headless_fail_next(GPU_FAIL_RESET, 1);
    EXPECT_FALSE(render_begin_frame(context));  // the reset fails: still not reset
    EXPECT_EQ(context->device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_FALSE(render_begin_frame(context));  // tried again, and it works
    EXPECT_EQ(context->device->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(context->render_textures[2], nullptr);
    UINT passes = 0;
    EXPECT_EQ(context->effects[9]->Begin(&passes, 0), D3D_OK);
    context->effects[9]->End();
    EXPECT_TRUE(render_begin_frame(context));
    render_end_frame(context);
}

TEST_F(RenderDeviceTest, CreationMakesBatchBuiltinsAndEmbeddedObjects)
{
    // Modes given before the device exists take effect with it.
    render_set_mode(6, context, 1);
    render_set_mode(1, context, 0);
    make_device(true);
    ASSERT_NE(context->batch, nullptr);
    for (int n = 0; n < kRenderBuiltinEffects; n++) EXPECT_EQ(context->effects[n] != nullptr, n < 9) << n;
    EXPECT_EQ(context->current_pair_effect, context->effects[6]);

    const RenderObject &dynamic = context->embedded_objects[0];
    EXPECT_EQ(context->dynamic_object, &dynamic);
    EXPECT_NE(dynamic.vertex_buffer, nullptr);
    EXPECT_NE(dynamic.index_buffer, nullptr);
    EXPECT_NE(dynamic.vertex_copy, nullptr);  // carried through resets from its copy

    const RenderObject &glare = context->embedded_objects[1];
    EXPECT_EQ(glare.effect, context->effects[4]);
    ASSERT_EQ(glare.ranges.count, 1);
    EXPECT_EQ(glare.ranges.first->value.texture1, 1001);
    EXPECT_EQ(glare.indices_in_use, 6);
    EXPECT_NE(gpu_headless_index_bytes(glare.index_buffer), nullptr);

    GpuDrawRecord draw = render_test_draw_probe(context->device);
    EXPECT_EQ(draw.render_states[D3DRS_ALPHABLENDENABLE], DWORD(TRUE));
    EXPECT_EQ(draw.render_states[D3DRS_ZENABLE], DWORD(FALSE));
    EXPECT_EQ(draw.render_states[D3DRS_LIGHTING], DWORD(FALSE));
    EXPECT_EQ(draw.stage_states[0][D3DTSS_ALPHAOP], DWORD(D3DTOP_MODULATE));

    // All of it survives a reset, and shutdown gives it all back.
    gpu_headless_lose_device(context->device, true);
    EXPECT_FALSE(render_begin_frame(context));
    EXPECT_EQ(context->device->TestCooperativeLevel(), D3D_OK);
    EXPECT_NE(context->embedded_objects[0].vertex_buffer, nullptr);
    render_shutdown_device(context);
    EXPECT_EQ(context->batch, nullptr);
    EXPECT_EQ(context->dynamic_object, nullptr);
    EXPECT_EQ(gpu_headless_live_resources(), 0);
}

TEST_F(RenderDeviceTest, ResetReplaysModesTransformsViewportAndAmbient)
{
    make_device(true);
    const int32_t modes[][2] = {{1, 17}, {4, 1}, {5, 0},   {6, 18},  {11, 4},
                                {12, 1}, {13, 1}, {21, 150}, {21, 257}, {21, 264}};
    for (const auto &m : modes) render_set_mode(m[0], context, m[1]);
    float world[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 1, 2, 3, 1};
    float view[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -4, 0, 9, 1};
    render_set_world_matrix(context, world);
    render_set_view_matrix(context, view);
    context->focal = 30.0f;
    render_set_projection(context);
    render_set_viewport_rect(context, 4, 2, 40, 30);
    light_set_ambient(context, 0.5f, 0.25f, 1.0f);
    GpuDrawRecord before = render_test_draw_probe(context->device);
    D3DVIEWPORT9 viewport_before = {}, viewport_after = {};
    context->device->GetViewport(&viewport_before);

    gpu_headless_lose_device(context->device, true);
    EXPECT_FALSE(render_begin_frame(context));
    ASSERT_EQ(context->device->TestCooperativeLevel(), D3D_OK);
    GpuDrawRecord after = render_test_draw_probe(context->device);
    context->device->GetViewport(&viewport_after);

    EXPECT_EQ(memcmp(after.render_states, before.render_states, sizeof before.render_states), 0);
    EXPECT_EQ(after.render_states[D3DRS_ZBIAS], 4u);
    EXPECT_EQ(after.render_states[D3DRS_ALPHAREF], 150u);
    EXPECT_EQ(memcmp(after.sampler_states, before.sampler_states, sizeof before.sampler_states), 0);
    EXPECT_EQ(memcmp(after.stage_states, before.stage_states, sizeof before.stage_states), 0);
    EXPECT_EQ(memcmp(after.world, before.world, sizeof before.world), 0);
    EXPECT_EQ(memcmp(after.view, before.view, sizeof before.view), 0);
    EXPECT_EQ(memcmp(after.projection, before.projection, sizeof before.projection), 0);
    EXPECT_EQ(after.projection[11], 1.0f);
    EXPECT_EQ(memcmp(&viewport_after, &viewport_before, sizeof viewport_before), 0);
    EXPECT_EQ(viewport_after.X, 4u);
}

}  // namespace
