// Transforms and lights: what reaches the device, the slots' state, the resend after a reset, and
// the unprojection of screen points.
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

TEST_F(RenderLightTest, AmbientAndDirectionalLightsAsSent)
{
    light_set_ambient(context, 1.0f, 0.5f, 0.0f);
    DWORD ambient = 0;
    context->device->GetRenderState(D3DRS_AMBIENT, &ambient);
    EXPECT_EQ(ambient, 0x00FF7F00u);
    EXPECT_EQ(context->ambient[1], 0.5f);

    light_set_directional(context, 1023, 0.0f, 0.0f, -5.0f, 0.25f, 0.5f, 0.75f);
    EXPECT_EQ(context->lights[1023].position[2], -1.0f);
    EXPECT_EQ(context->light_used[1023], 1);
    D3DLIGHT9 light = device_light(1023);
    EXPECT_EQ(light.Type, D3DLIGHT_DIRECTIONAL);
    EXPECT_EQ(light.Direction.z, -1.0f);
    EXPECT_EQ(light.Diffuse.g, 0.5f);
    EXPECT_EQ(light.Specular.a, 0.0f);
    EXPECT_FALSE(device_enabled(1023));

    light_set_directional(context, 2, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f);
    EXPECT_EQ(context->lights[2].position[0], 0.0f);
    EXPECT_EQ(device_light(2).Direction.z, 0.0f);
    // Slots outside the table are ignored.
    light_set_directional(context, 1024, 0.0f, 1.0f, 0.0f, 1.0f, 1.0f, 1.0f);
    light_set_point(context, -1, 0.0f, 1.0f, 0.0f, 1.0f, 1.0f, 1.0f, 0.1f, 10.0f);
    light_send_disabled(context, 5000);
}

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

TEST_F(RenderLightTest, WorldAndViewMatricesOnTheDevice)
{
    float base[16], m[16], device_matrix[16];
    mat4_translate(mat4_identity(base), 0.0f, 10.0f, 0.0f);
    memcpy(context->base_matrix, base, sizeof base);
    mat4_translate(mat4_identity(m), 1.0f, 2.0f, 3.0f);
    render_set_world_matrix(context, m);
    context->device->GetTransform(D3DTS_WORLD, device_matrix);
    EXPECT_EQ(device_matrix[13], 12.0f);
    EXPECT_EQ(context->world_matrix[13], 2.0f);

    mat4_identity(m);
    render_set_view_matrix(context, m);
    context->device->GetTransform(D3DTS_VIEW, device_matrix);
    const float flipped[16] = {1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    for (int i = 0; i < 16; i++) {
        EXPECT_EQ(device_matrix[i], flipped[i]) << i;
        EXPECT_EQ(context->view_matrix[i], i % 5 == 0 ? 1.0f : 0.0f) << i;
    }
}

TEST_F(RenderLightTest, TheScreenCentreUnprojectsOntoTheViewAxis)
{
    float view[16], out[3];
    render_set_view_matrix(context, mat4_identity(view));
    render_unproject_point(32.0f, 16.0f, out);
    EXPECT_FLOAT_EQ(out[0], 0.0f);
    EXPECT_FLOAT_EQ(out[1], 0.0f);
    EXPECT_FLOAT_EQ(out[2], 1.0f);

    // A camera at (3, 4, 5): the centre lies one unit in front of it; the right edge and the
    // bottom edge go toward +x and +y (the game's y grows downward on screen).
    mat4_translate(mat4_identity(view), -3.0f, -4.0f, -5.0f);
    render_set_view_matrix(context, view);
    render_unproject_point(32.0f, 16.0f, out);
    EXPECT_FLOAT_EQ(out[0], 3.0f);
    EXPECT_FLOAT_EQ(out[1], 4.0f);
    EXPECT_FLOAT_EQ(out[2], 6.0f);
    render_unproject_point(64.0f, 32.0f, out);
    EXPECT_FLOAT_EQ(out[0], 4.0f);
    EXPECT_FLOAT_EQ(out[1], 5.0f);

    // Without a usable projection the point stays at the origin.
    float zero[16] = {};
    context->device->SetTransform(D3DTS_PROJECTION, zero);
    render_unproject_point(32.0f, 16.0f, out);
    EXPECT_EQ(out[2], 0.0f);
}

}  // namespace
