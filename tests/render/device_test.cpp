// Device creation from the variables and caps, frames through loss and reset, and shutdown.
#include "tests/render/render_test_util.h"

#include "platform/system.h"
#include "tests/test_util.h"

namespace {

using RenderDeviceTest = RenderTest;

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

}  // namespace
