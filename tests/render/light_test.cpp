// Lights: sent again to the device after a reset and after a repeated creation.
#include "tests/render/render_test_util.h"

#include "geometry/vecmath.h"

namespace {

class RenderLightTest : public RenderTest {
protected:
    void SetUp() override
    {
        RenderTest::SetUp();
        make_device(true);
    }

    D3DLIGHT9 device_light(int n)
    {
        D3DLIGHT9 light = {};
        context->device->GetLight(DWORD(n), &light);
        return light;
    }

    bool device_enabled(int n)
    {
        BOOL on = FALSE;
        context->device->GetLightEnable(DWORD(n), &on);
        return on != FALSE;
    }
};

TEST_F(RenderLightTest, LightsAreSentAgainAfterAResetAndAfterARepeatedCreation)
{
    light_set_directional(context, 3, 1.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f);
    context->lights[3].enabled = 1;
    context->device->LightEnable(3, TRUE);
    light_set_point(context, 7, 5.0f, 6.0f, 7.0f, 0.2f, 0.3f, 0.4f, 0.5f, 9.0f);
    for (int round = 0; round < 2; round++) {
        if (round == 0) {
            gpu_headless_lose_device(context->device, true);
            EXPECT_FALSE(render_begin_frame(context));
        } else {
            EXPECT_EQ(render_create_device(context), 1);  // new display settings: a reset
        }
        EXPECT_EQ(device_light(3).Type, D3DLIGHT_DIRECTIONAL);
        EXPECT_EQ(device_light(3).Direction.x, 1.0f);
        EXPECT_TRUE(device_enabled(3));
        EXPECT_EQ(device_light(7).Position.z, 7.0f);
        EXPECT_EQ(device_light(7).Range, 9.0f);
        EXPECT_FALSE(device_enabled(7));
        EXPECT_FALSE(device_enabled(8));
    }
}

}  // namespace
