// Frames, viewports, the projection and lights switched on; the built-in effects and their
// techniques.
#include "tests/render/render_test_util.h"

#include "render/render_draw.h"

#include <chrono>
#include <string>
#include <thread>

namespace {

class RenderFrameTest : public RenderTest {
protected:
    void SetUp() override
    {
        RenderTest::SetUp();
        make_device(false);
    }

    D3DVIEWPORT9 viewport()
    {
        D3DVIEWPORT9 v = {};
        context->device->GetViewport(&v);
        return v;
    }
};

// Row vector p (w = 1) times the device's VIEW and PROJECTION: clip coordinates.
void project(IDirect3DDevice9 *device, const float *p, float *clip)
{
    float view[16], projection[16], v[4];
    device->GetTransform(D3DTS_VIEW, view);
    device->GetTransform(D3DTS_PROJECTION, projection);
    for (int c = 0; c < 4; c++) v[c] = p[0] * view[c] + p[1] * view[4 + c] + p[2] * view[8 + c] + view[12 + c];
    for (int c = 0; c < 4; c++)
        clip[c] =
            v[0] * projection[c] + v[1] * projection[4 + c] + v[2] * projection[8 + c] + v[3] * projection[12 + c];
}

TEST_F(RenderFrameTest, ProjectionUnprojectsOntoTheViewRay)
{
    EXPECT_EQ(context->near_plane, 0.5f);
    EXPECT_EQ(context->far_plane, 300.0f);
    context->focal = 20.0f;
    render_set_projection(context);
    const float view[16] = {0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0, 3, -2, 5, 1};  // turned and moved
    render_set_view_matrix(context, view);

    const float points[][2] = {{32, 16}, {0, 0}, {63, 31}, {10, 25}};
    for (const auto &s : points) {
        SCOPED_TRACE(testing::Message() << "screen " << s[0] << ", " << s[1]);
        float p[3], clip[4];
        render_unproject_point(s[0], s[1], p);
        project(context->device, p, clip);
        ASSERT_NEAR(clip[3], 1.0f, 1e-4f);  // view depth 1
        EXPECT_NEAR((clip[0] / clip[3] + 1.0f) * 32.0f, s[0], 1e-3f);
        EXPECT_NEAR((1.0f - clip[1] / clip[3]) * 16.0f, s[1], 1e-3f);
    }

    // Depth runs from 0 at the near plane to 1 at the far plane: a hole 150 units away is drawn.
    const float *m = context->projection_matrix;
    EXPECT_LT((150.0f * m[10] + m[14]) / 150.0f, 1.0f);
    EXPECT_NEAR((0.5f * m[10] + m[14]) / 0.5f, 0.0f, 1e-5f);
    EXPECT_NEAR((300.0f * m[10] + m[14]) / 300.0f, 1.0f, 1e-5f);
    EXPECT_NEAR(m[5], m[0] * 2.0f, 1e-6f);  // the window's aspect

    // A render target with "M" = 0 is square; bad planes keep the projection.
    *render_var_ref(context, "M") = 0;
    *render_var_ref(context, "J") = 19;
    render_set_projection(context);
    EXPECT_EQ(m[5], m[0]);
    float kept[16];
    memcpy(kept, m, sizeof kept);
    context->far_plane = context->near_plane;
    render_set_projection(context);
    EXPECT_EQ(memcmp(kept, m, sizeof kept), 0);
}

TEST_F(RenderFrameTest, ViewportIsClampedAndEmptyIgnored)
{
    D3DVIEWPORT9 v = viewport();
    EXPECT_EQ(v.Width, 64u);
    EXPECT_EQ(v.Height, 32u);
    render_set_viewport_rect(context, -10, 5, 100, 20);
    v = viewport();
    EXPECT_EQ(v.X, 0u);
    EXPECT_EQ(v.Y, 5u);
    EXPECT_EQ(v.Width, 64u);
    EXPECT_EQ(v.Height, 15u);
    EXPECT_EQ(v.MaxZ, 1.0f);
    const int32_t empty[][4] = {{10, 10, 10, 20}, {20, 10, 10, 20}, {70, 0, 90, 10}, {0, -5, 10, 0}};
    for (const auto &e : empty) {
        render_set_viewport_rect(context, e[0], e[1], e[2], e[3]);
        D3DVIEWPORT9 now = viewport();
        EXPECT_EQ(memcmp(&now, &v, sizeof v), 0) << e[0] << " " << e[1] << " " << e[2] << " " << e[3];
    }
    render_set_full_viewport(context);
    EXPECT_EQ(viewport().Height, 32u);
}

TEST_F(RenderFrameTest, PresentedFramesKeepTheirStatistics)
{
    for (int i = 0; i < 3; i++) {
        ASSERT_TRUE(render_begin_frame(context));
        render_clear_frame(context);
        render_end_frame(context);
        render_present_frame(context);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(gpu_headless_present_count(context->device), 3);
    EXPECT_GE(context->frame_ms, 2.0f);
    EXPECT_GT(context->frames_per_second, 0.0f);
    EXPECT_LT(context->frames_per_second, 500.0f);
}

TEST_F(RenderFrameTest, LightsSwitchedOnAreListedOnce)
{
    light_set_point(context, 3, 0, 0, 0, 1, 1, 1, 0, 10);
    light_set_directional(context, 7, 0, 1, 0, 1, 1, 1);
    light_enable(context, 3);
    light_enable(context, 7);
    light_enable(context, 3);
    light_enable(context, 5000);
    BOOL on = FALSE;
    context->device->GetLightEnable(3, &on);
    EXPECT_TRUE(on);
    ASSERT_EQ(context->lights_on_count, 2);
    light_send_disabled(context, 3);
    ASSERT_EQ(context->lights_on_count, 1);
    EXPECT_EQ(context->lights_on[0], 7);
    context->device->GetLightEnable(3, &on);
    EXPECT_FALSE(on);
}

using RenderBuiltinTest = RenderTest;

TEST_F(RenderBuiltinTest, EveryBuiltinCreatesWithItsTechniques)
{
    const int technique_counts[9] = {1, 1, 1, 1, 1, 1, 5, 5, 8};
    for (bool two_sided : {true, false}) {
        SCOPED_TRACE(two_sided ? "two-sided stencil" : "one-sided stencil");
        D3DCAPS9 caps;
        gpu_headless_default_caps(&caps);
        if (!two_sided) caps.StencilCaps &= ~DWORD(D3DSTENCILCAPS_TWOSIDED);
        gpu_headless_set_caps(&caps);
        make_device(false);
        for (int n = 0; n < kRenderBuiltinEffects; n++) {
            SCOPED_TRACE(n);
            ID3DXEffect *effect = context->effects[n];
            if (n >= 9) {
                EXPECT_EQ(effect, nullptr);
                continue;
            }
            ASSERT_NE(effect, nullptr) << render_builtin_text(n);
            for (int t = 0; t < 9; t++) {
                std::string name = "T" + std::to_string(t);
                EXPECT_EQ(effect->GetTechniqueByName(name.c_str()) != nullptr, t < technique_counts[n]) << name;
            }
            // Every technique but the two-sided one can be drawn on this device.
            D3DXHANDLE valid = nullptr;
            ASSERT_EQ(effect->FindNextValidTechnique(nullptr, &valid), D3D_OK);
            EXPECT_EQ(valid, effect->GetTechniqueByName(n == 8 && !two_sided ? "T1" : "T0"));
        }
        EXPECT_EQ(context->effects[6]->GetCurrentTechnique(), context->effects[6]->GetTechniqueByName("T0"));
        EXPECT_EQ(context->current_pair_effect, context->effects[6]);
        EXPECT_EQ(context->effects[8]->GetCurrentTechnique(),
                  context->effects[8]->GetTechniqueByName(two_sided ? "T0" : "T1"));
        EXPECT_EQ(context->current_third_effect, context->effects[8]);
        render_shutdown_device(context);
        EXPECT_EQ(gpu_headless_live_resources(), 0);
    }
}

}  // namespace
