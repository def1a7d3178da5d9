// The OpenGL back end under Xvfb: what the device draws, probed pixel by pixel one pixel inside
// every edge, within 2/255.
#include "platform/gpu/gl/gpu_gl_local.h"
#include "platform/gpu/gpu_local.h"
#include "platform/gpu/headless/gpu_headless.h"
#include "platform/system.h"
#include "tests/gl/gl_test_util.h"

#include <GL/gl.h>

#include <cstring>
#include <string>

namespace {

const uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kBlack = 0, kWhite = 0xFFFFFF;

class GpuGlTest : public GlTest {
protected:
    // Expects `inside` one pixel within [x0, x1) x [y0, y1) at its corners and centre, and
    // `outside` one pixel beyond each edge that lies inside the back buffer.
    void expect_rect(int x0, int y0, int x1, int y1, uint32_t inside, uint32_t outside)
    {
        std::vector<uint32_t> p = read_pixels();
        auto at = [&](int x, int y) { return p[size_t(y) * kWidth + size_t(x)]; };
        const int in[][2] = {{x0, y0}, {x1 - 1, y0}, {x0, y1 - 1}, {x1 - 1, y1 - 1}, {(x0 + x1) / 2, (y0 + y1) / 2}};
        for (const auto &q : in) EXPECT_TRUE(gl_colour_near(at(q[0], q[1]), inside)) << "inside at " << q[0] << "," << q[1];
        const int out[][2] = {{x0 - 1, y0}, {x1, y0}, {x0, y0 - 1}, {x0, y1}, {x1, y1 - 1}, {x1 - 1, y1}};
        for (const auto &q : out) {
            if (q[0] < 0 || q[1] < 0 || q[0] >= kWidth || q[1] >= kHeight) continue;
            EXPECT_TRUE(gl_colour_near(at(q[0], q[1]), outside)) << "outside at " << q[0] << "," << q[1];
        }
    }
};

TEST_F(GpuGlTest, ClearFillsOnlyTheViewport)
{
    device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1.0f, 0);
    D3DVIEWPORT9 v = {16, 8, 20, 24, 0, 1};
    ASSERT_EQ(device->SetViewport(&v), D3D_OK);
    // Depth clears too while z-writes are off: nothing at z 0.5 passes LESSEQUAL against 0.
    device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kRed, 0.0f, 0);
    device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    expect_rect(16, 8, 36, 32, kRed, kBlue);
    draw_screen_quad(0, 0, kWidth, kHeight, kGreen, 0.5f);
    expect_rect(16, 8, 36, 32, kRed, kBlue);
}

TEST_F(GpuGlTest, OnePixelQuadAtTheOrigin)
{
    draw_screen_quad(0, 0, 1, 1, kWhite);
    expect_rect(0, 0, 1, 1, kWhite, kBlack);
}

TEST_F(GpuGlTest, ViewportPlacesTheDrawing)
{
    D3DVIEWPORT9 v = {16, 32, 32, 16, 0, 1};
    ASSERT_EQ(device->SetViewport(&v), D3D_OK);
    // Transformed positions under identity matrices: clip space -1..1 is the viewport.
    struct {
        float x, y, z;
        uint32_t colour;
    } quad[4] = {{-1, 1, 0.5f, kRed}, {1, 1, 0.5f, kRed}, {1, -1, 0.5f, kRed}, {-1, -1, 0.5f, kRed}};
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad, sizeof quad[0]), D3D_OK);
    expect_rect(16, 32, 48, 48, kRed, kBlack);
    // Screen positions are the back buffer's, whatever the viewport.
    draw_screen_quad(20, 36, 24, 40, kGreen);
    expect_rect(20, 36, 24, 40, kGreen, kRed);
}

TEST_F(GpuGlTest, DepthTestAndWrite)
{
    const struct {
        const char *name;
        DWORD z_enable, z_write;
        uint32_t want;  // a near red quad, then a far green one
    } cases[] = {
        {"test and write", TRUE, TRUE, kRed},
        {"no test", FALSE, TRUE, kGreen},
        {"test without write", TRUE, FALSE, kGreen},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlack, 1.0f, 0);
        device->SetRenderState(D3DRS_ZENABLE, c.z_enable);
        device->SetRenderState(D3DRS_ZWRITEENABLE, c.z_write);
        draw_screen_quad(8, 8, 40, 40, kRed, 0.2f);
        device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
        draw_screen_quad(8, 8, 40, 40, kGreen, 0.8f);
        EXPECT_TRUE(gl_colour_near(pixel(20, 20), c.want));
    }
}

TEST_F(GpuGlTest, BlendSourceAlpha)
{
    device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1.0f, 0);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);  // the default takes the texture's
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    draw_screen_quad(8, 8, 40, 40, 0x40FF0000);  // alpha 64
    // 64/255 of red over 191/255 of blue.
    EXPECT_TRUE(gl_colour_near(pixel(20, 20), 0x4000BF));
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    draw_screen_quad(8, 8, 40, 40, 0x00002000);
    EXPECT_TRUE(gl_colour_near(pixel(20, 20), 0x4020BF));
}

TEST_F(GpuGlTest, CullModesAgainstWindings)
{
    // Left: clockwise on screen; right: counter-clockwise.
    GlScreenVertex cw[3] = {{4, 4, 0, 1, kWhite, 0, 0}, {28, 4, 0, 1, kWhite, 0, 0}, {4, 28, 0, 1, kWhite, 0, 0}};
    GlScreenVertex ccw[3] = {{36, 4, 0, 1, kWhite, 0, 0}, {36, 28, 0, 1, kWhite, 0, 0}, {60, 4, 0, 1, kWhite, 0, 0}};
    const struct {
        DWORD mode;
        bool cw_shows, ccw_shows;
    } cases[] = {{D3DCULL_CCW, true, false}, {D3DCULL_CW, false, true}, {D3DCULL_NONE, true, true}};
    device->SetFVF(GL_SCREEN_FVF);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.mode);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
        device->SetRenderState(D3DRS_CULLMODE, c.mode);
        device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, cw, sizeof cw[0]);
        device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, ccw, sizeof ccw[0]);
        EXPECT_TRUE(gl_colour_near(pixel(8, 8), c.cw_shows ? kWhite : kBlack));
        EXPECT_TRUE(gl_colour_near(pixel(40, 8), c.ccw_shows ? kWhite : kBlack));
    }
}

// Linear table fog by the view depth of each pixel: nothing before its start, all of its colour
// from its end; a pixel halfway is half each. Off, or in another mode, it changes nothing.
TEST_F(GpuGlTest, LinearFogMixesByViewDepth)
{
    // A projection whose clip w is the view depth; three quads across the view at depths 5, 15, 25.
    float projection[16] = {};
    projection[0] = projection[5] = 1.0f;
    projection[10] = 100.0f / 99.0f, projection[11] = 1.0f, projection[14] = -100.0f / 99.0f;
    device->SetTransform(D3DTS_PROJECTION, projection);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    const float start = 10.0f, end = 20.0f;
    DWORD start_bits, end_bits;
    memcpy(&start_bits, &start, 4);
    memcpy(&end_bits, &end, 4);
    device->SetRenderState(D3DRS_FOGCOLOR, kBlue);
    device->SetRenderState(D3DRS_FOGSTART, start_bits);
    device->SetRenderState(D3DRS_FOGEND, end_bits);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    const struct {
        const char *name;
        DWORD enable, mode;
        uint32_t want[3];  // at depths 5, 15, 25
    } cases[] = {
        {"linear", TRUE, D3DFOG_LINEAR, {kRed, 0x800080, kBlue}},
        {"off", FALSE, D3DFOG_LINEAR, {kRed, kRed, kRed}},
        {"no table mode", TRUE, D3DFOG_NONE, {kRed, kRed, kRed}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlack, 1.0f, 0);
        device->SetRenderState(D3DRS_FOGENABLE, c.enable);
        device->SetRenderState(D3DRS_FOGTABLEMODE, c.mode);
        for (int k = 0; k < 3; k++) {
            const float d = 5.0f + 10.0f * float(k), x0 = (-1.0f + 0.66f * float(k)) * d, x1 = x0 + 0.6f * d;
            struct {
                float x, y, z;
                uint32_t colour;
            } quad[4] = {{x0, d, d, kRed}, {x1, d, d, kRed}, {x1, -d, d, kRed}, {x0, -d, d, kRed}};
            ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad, sizeof quad[0]), D3D_OK);
        }
        const int columns[3] = {8, 30, 52};
        for (int k = 0; k < 3; k++) EXPECT_TRUE(gl_colour_near(pixel(columns[k], 32), c.want[k])) << "quad " << k;
    }
    device->SetRenderState(D3DRS_FOGENABLE, FALSE);
}

TEST_F(GpuGlTest, AlphaTestCutsAt150)
{
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    device->SetRenderState(D3DRS_ALPHAREF, 150);
    device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    draw_screen_quad(0, 0, 32, 32, 0x96FFFFFF);  // alpha 150: cut
    draw_screen_quad(32, 0, 64, 32, 0x97FFFFFF);  // alpha 151: drawn
    device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
    draw_screen_quad(0, 32, 32, 64, 0x96FFFFFF);  // 150 >= 150: drawn
    draw_screen_quad(32, 32, 64, 64, 0x95FFFFFF);  // 149: cut
    EXPECT_TRUE(gl_colour_near(pixel(16, 16), kBlack));
    EXPECT_TRUE(gl_colour_near(pixel(48, 16), kWhite));
    EXPECT_TRUE(gl_colour_near(pixel(16, 48), kWhite));
    EXPECT_TRUE(gl_colour_near(pixel(48, 48), kBlack));
}

TEST_F(GpuGlTest, ReadBackIsTopDown)
{
    D3DRECT top = {0, 0, kWidth, 1};
    device->Clear(1, &top, D3DCLEAR_TARGET, kRed, 1.0f, 0);
    std::vector<uint32_t> p = read_pixels();
    EXPECT_TRUE(gl_colour_near(p[0], kRed));
    EXPECT_TRUE(gl_colour_near(p[kWidth - 1], kRed));
    EXPECT_TRUE(gl_colour_near(p[kWidth], kBlack));
    EXPECT_TRUE(gl_colour_near(p[size_t(kHeight - 1) * kWidth], kBlack));
}

TEST_F(GpuGlTest, EveryPrimitiveAndIndexSize)
{
    // A 4 x 4 grid of points 8 pixels apart from (8.5, 8.5), then one triangle at the lower right.
    GlScreenVertex grid[19];
    for (int i = 0; i < 16; i++) grid[i] = {8.5f + 8 * float(i % 4), 8.5f + 8 * float(i / 4), 0, 1, kWhite, 0, 0};
    grid[16] = {40, 40, 0, 1, kWhite, 0, 0};
    grid[17] = {60, 40, 0, 1, kWhite, 0, 0};
    grid[18] = {40, 60, 0, 1, kWhite, 0, 0};
    IDirect3DVertexBuffer9 *vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(sizeof grid, D3DUSAGE_WRITEONLY, GL_SCREEN_FVF, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    void *at;
    ASSERT_EQ(vb->Lock(0, 0, &at, 0), D3D_OK);
    memcpy(at, grid, sizeof grid);
    vb->Unlock();
    device->SetFVF(GL_SCREEN_FVF);
    device->SetStreamSource(0, vb, 0, sizeof(GlScreenVertex));
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);

    // Lit pixels of each draw: grid points, or the centre of the area a primitive covers.
    auto check = [&](const char *name, std::initializer_list<std::pair<int, int>> lit, std::pair<int, int> dark) {
        SCOPED_TRACE(name);
        std::vector<uint32_t> p = read_pixels();
        for (auto [x, y] : lit) EXPECT_TRUE(gl_colour_near(p[size_t(y) * kWidth + size_t(x)], kWhite)) << x << "," << y;
        EXPECT_TRUE(gl_colour_near(p[size_t(dark.second) * kWidth + size_t(dark.first)], kBlack));
        device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
    };
    device->DrawPrimitive(D3DPT_POINTLIST, 1, 2);  // vertices 1, 2
    check("points", {{16, 8}, {24, 8}}, {8, 8});
    device->DrawPrimitive(D3DPT_LINELIST, 0, 1);  // 0 -> 1 along row 8
    check("line list", {{10, 8}, {14, 8}}, {20, 8});
    device->DrawPrimitive(D3DPT_LINESTRIP, 0, 2);  // 0 -> 1 -> 2
    check("line strip", {{12, 8}, {20, 8}}, {30, 8});
    device->DrawPrimitive(D3DPT_TRIANGLELIST, 16, 1);
    check("triangle list", {{42, 42}, {56, 42}, {42, 56}}, {57, 57});
    GlScreenVertex strip[4] = {grid[0], grid[1], grid[4], grid[5]};
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, strip, sizeof strip[0]);
    check("strip from memory", {{10, 10}, {14, 14}}, {20, 12});
    device->SetStreamSource(0, vb, 0, sizeof(GlScreenVertex));

    const uint16_t fan16[] = {5, 6, 10, 9};
    const uint32_t list32[] = {10, 11, 15, 10, 15, 14};
    auto draw_indexed = [&](const void *indices, UINT size, D3DFORMAT format, D3DPRIMITIVETYPE type) {
        IDirect3DIndexBuffer9 *ib = nullptr;
        ASSERT_EQ(device->CreateIndexBuffer(size, 0, format, D3DPOOL_MANAGED, &ib, nullptr), D3D_OK);
        ASSERT_EQ(ib->Lock(0, 0, &at, 0), D3D_OK);
        memcpy(at, indices, size);
        ib->Unlock();
        device->SetIndices(ib);
        EXPECT_EQ(device->DrawIndexedPrimitive(type, 0, 0, 16, 0, 2), D3D_OK);
        device->SetIndices(nullptr);
        ib->Release();
    };
    draw_indexed(fan16, sizeof fan16, D3DFMT_INDEX16, D3DPT_TRIANGLEFAN);
    check("16-bit fan", {{18, 18}, {22, 22}}, {28, 28});
    draw_indexed(list32, sizeof list32, D3DFMT_INDEX32, D3DPT_TRIANGLELIST);
    check("32-bit list", {{26, 26}, {30, 30}}, {20, 20});
    device->SetStreamSource(0, nullptr, 0, 0);
    vb->Release();
}

TEST_F(GpuGlTest, StencilHasEightBits)
{
    device->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0xAB);
    device->SetRenderState(D3DRS_STENCILENABLE, TRUE);
    device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    device->SetRenderState(D3DRS_STENCILREF, 0x2B);  // equal in the low bits only
    draw_screen_quad(0, 0, 32, 64, kRed);
    device->SetRenderState(D3DRS_STENCILREF, 0xAB);
    draw_screen_quad(32, 0, 64, 64, kGreen);
    EXPECT_TRUE(gl_colour_near(pixel(16, 32), kBlack));
    EXPECT_TRUE(gl_colour_near(pixel(48, 32), kGreen));
}

TEST_F(GpuGlTest, AdapterNameIsTheRenderer)
{
    char name[256] = "";
    sys_display_adapter_name(name, sizeof name);
    const char *renderer = reinterpret_cast<const char *>(glGetString(GL_RENDERER));
    ASSERT_NE(renderer, nullptr);
    EXPECT_STREQ(name, renderer);
}

TEST_F(GpuGlTest, LostDeviceResetsAndDrawsTheSame)
{
    // A small scene of depth, blending and a viewport, the same before and after a reset.
    auto scene = [&]() {
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x204060, 1.0f, 0);
        device->BeginScene();
        draw_screen_quad(4, 4, 40, 40, kRed, 0.3f);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        draw_screen_quad(20, 20, 60, 60, 0x8000FF00, 0.6f);
        D3DVIEWPORT9 v = {40, 0, 24, 24, 0, 1};
        device->SetViewport(&v);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1.0f, 0);
        device->EndScene();
    };
    device->EndScene();
    scene();
    std::vector<uint32_t> before = read_pixels();
    gpu_headless_lose_device(device, true);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    ASSERT_EQ(device->Reset(&present), D3D_OK);
    scene();
    EXPECT_EQ(read_pixels(), before);
    EXPECT_TRUE(gl_colour_near(before[size_t(10) * kWidth + 10], kRed));
    device->BeginScene();
}

TEST_F(GpuGlTest, APairThatDoesNotLinkIsTriedOnce)
{
    GlDevice *g = gl_device(gpu_device(device));
    // Both compile; the vertex half has no main, so the pair cannot link.
    GLuint vs = gl_compile(g, GL_VERTEX_SHADER, "#version 120\nvec4 unused() { return vec4(0.0); }\n");
    GLuint fs = gl_compile(g, GL_FRAGMENT_SHADER, "#version 120\nvoid main() { gl_FragColor = vec4(1.0); }\n");
    ASSERT_NE(vs, 0u);
    ASSERT_NE(fs, 0u);
    gpu_gl_reset_stats();
    EXPECT_EQ(gl_link(g, vs, fs), -1);
    EXPECT_EQ(gl_link(g, vs, fs), -1);
    EXPECT_EQ(gpu_gl_stats()->programs_linked, 1);
}

TEST_F(GpuGlTest, RepeatedFrameLinksAndUploadsNothing)
{
    IDirect3DTexture9 *texture = nullptr;
    ASSERT_EQ(device->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    *static_cast<uint32_t *>(locked.pBits) = 0xFF80FF40;
    texture->UnlockRect(0);
    auto frame = [&]() {
        device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
        draw_screen_quad(0, 0, 32, 64, 0xFFFF8080);  // no texture: the colour
        device->SetTexture(0, texture);
        draw_screen_quad(32, 0, 64, 64, 0xFFFF8080);  // MODULATE: texture x colour
        device->SetTexture(0, nullptr);
    };
    frame();
    EXPECT_TRUE(gl_colour_near(pixel(16, 32), 0xFF8080));
    EXPECT_TRUE(gl_colour_near(pixel(48, 32), 0x808020));
    gpu_gl_reset_stats();
    frame();
    EXPECT_EQ(gpu_gl_stats()->programs_linked, 0);
    EXPECT_EQ(gpu_gl_stats()->shaders_compiled, 0);
    EXPECT_EQ(gpu_gl_stats()->texture_uploads, 0);
    EXPECT_EQ(gpu_gl_stats()->draws, 2);
    texture->Release();
}

}  // namespace
