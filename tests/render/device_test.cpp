// Device creation from the variables and caps, frames through loss and reset, and shutdown.
#include "tests/render/render_test_util.h"

#include "platform/system.h"
#include "tests/test_util.h"

namespace {

using RenderDeviceTest = RenderTest;

TEST_F(RenderDeviceTest, CreationReadsTheCapsIntoVariablesAndFlags)
{
    make_device(true);
    EXPECT_EQ(g_render_first_device, context->device);
    EXPECT_EQ(render_var_get(context, "T"), 1);
    EXPECT_EQ(render_var_get(context, "D"), 4096);
    EXPECT_EQ(render_var_get(context, "A"), 1);
    EXPECT_EQ(render_var_get(context, "S"), 1);
    EXPECT_EQ(render_var_get(context, "Pixel Shaders 2.0"), 0);
    EXPECT_EQ(g_render_cap_multitexture, 1);
    EXPECT_EQ(g_render_cap_dot3, 1);
    EXPECT_EQ(g_render_cap_ps14, 1);
    EXPECT_EQ(g_render_cap_ps20, 0);
    EXPECT_EQ(context->present.PresentationInterval, UINT(D3DPRESENT_INTERVAL_ONE));
    EXPECT_TRUE(context->present.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER);
    render_shutdown_device(context);
    EXPECT_EQ(g_render_first_device, nullptr);

    // Other caps and variables.
    D3DCAPS9 caps;
    gpu_headless_default_caps(&caps);
    caps.VertexShaderVersion = D3DVS_VERSION(1, 0);
    caps.PixelShaderVersion = D3DPS_VERSION(2, 0);
    caps.MaxSimultaneousTextures = 1;
    caps.TextureOpCaps = 0;
    caps.StencilCaps = 0;
    caps.RasterCaps = 0;
    caps.MaxTextureWidth = 2048;
    gpu_headless_set_caps(&caps);
    *render_var_ref(context, "L") = 0;
    *render_var_ref(context, "R") = 1;
    ASSERT_EQ(render_create_device(context), 1);
    EXPECT_EQ(render_var_get(context, "T"), 0);  // no vertex shaders: software processing
    EXPECT_EQ(g_render_dynamic_buffers, 0);
    EXPECT_EQ(render_var_get(context, "D"), 2048);
    EXPECT_EQ(render_var_get(context, "A"), 0);
    EXPECT_EQ(render_var_get(context, "S"), 0);
    EXPECT_EQ(render_var_get(context, "Pixel Shaders 2.0"), 1);
    EXPECT_EQ(g_render_cap_multitexture, 0);
    EXPECT_EQ(g_render_cap_dot3, 0);
    EXPECT_EQ(g_render_cap_ps14, 1);
    EXPECT_EQ(g_render_cap_ps20, 1);
    EXPECT_EQ(context->present.PresentationInterval, D3DPRESENT_INTERVAL_IMMEDIATE);
}

TEST_F(RenderDeviceTest, FailuresAreLoggedAndReported)
{
    TempDir dir;
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
    context->effects[4] = make_effect();
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
    EXPECT_EQ(context->effects[4]->Begin(&passes, 0), D3D_OK);
    context->effects[4]->End();
    EXPECT_TRUE(render_begin_frame(context));
    render_end_frame(context);
}

TEST_F(RenderDeviceTest, ShutdownDetachesTheDevicesObjects)
{
    make_device(false);
    RenderObject *object = make_object(0x2, 3, 3);
    render_object_create_vertex_buffer(&context->embedded_objects[0], 0, 0, 0);
    context->embedded_objects[0].flags = 0x2;
    render_object_create_vertex_buffer(&context->embedded_objects[0], 8, 6, 0);
    render_shutdown_device(context);
    EXPECT_EQ(g_render_registry.count, 0);
    EXPECT_EQ(object->vertex_buffer, nullptr);
    EXPECT_EQ(context->embedded_objects[0].vertex_buffer, nullptr);
    EXPECT_EQ(gpu_headless_live_resources(), 0);
    delete_object(object);
}

}  // namespace
