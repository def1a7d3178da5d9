// The OpenGL back end's textures, texture stages and stencil.
#include "tests/gl/gl_test_util.h"

#include <cstring>
#include <string>

namespace {

const uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kBlack = 0, kWhite = 0xFFFFFF;

class GpuGlTextureTest : public GlTest {
protected:
    IDirect3DTexture9 *make(UINT w, UINT h, UINT levels, D3DFORMAT format)
    {
        IDirect3DTexture9 *t = nullptr;
        EXPECT_EQ(device->CreateTexture(w, h, levels, 0, format, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        return t;
    }
    // Fills a level (or a rectangle of it) with one 32-bit texel value.
    static void fill(IDirect3DTexture9 *t, UINT level, uint32_t bits, const RECT *rect = nullptr, DWORD flags = 0)
    {
        D3DSURFACE_DESC desc;
        t->GetLevelDesc(level, &desc);
        RECT r = rect ? *rect : RECT{0, 0, long(desc.Width), long(desc.Height)};
        UINT bpp = desc.Format == D3DFMT_A8R8G8B8 || desc.Format == D3DFMT_X8R8G8B8 ? 4 : 2;
        D3DLOCKED_RECT locked;
        ASSERT_EQ(t->LockRect(level, &locked, rect, flags), D3D_OK);
        for (long y = 0; y < r.bottom - r.top; y++)
            for (long x = 0; x < r.right - r.left; x++)
                memcpy(static_cast<uint8_t *>(locked.pBits) + y * locked.Pitch + x * long(bpp), &bits, bpp);
        t->UnlockRect(level);
    }
    // A textured screen rectangle with coordinates u0..u1, v0..v1 in white.
    void draw_textured(float x0, float y0, float x1, float y1, float u1 = 1.0f, float v1 = 1.0f)
    {
        GlScreenVertex v[4];
        screen_quad(v, x0, y0, x1, y1, 0xFFFFFFFF);
        v[1].u = v[2].u = u1;
        v[2].v = v[3].v = v1;
        device->SetFVF(GL_SCREEN_FVF);
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, v, sizeof v[0]), D3D_OK);
    }
};

TEST_F(GpuGlTextureTest, FormatsWithinTheirQuantisation)
{
    // Drawn with its alpha over white: colour x a + white x (1 - a) shows both.
    const struct {
        D3DFORMAT format;
        uint32_t bits;
        uint32_t rgb;  // the colour the bits stand for, in 8 bits
        int alpha;
        int step;  // one quantisation step of the format, in 8-bit units
    } cases[] = {
        {D3DFMT_A8R8G8B8, 0x80C08040, 0xC08040, 0x80, 1},
        {D3DFMT_X8R8G8B8, 0x00C08040, 0xC08040, 0xFF, 1},
        {D3DFMT_R5G6B5, (0xC0 >> 3) << 11 | (0x80 >> 2) << 5 | (0x40 >> 3), 0xC08040, 0xFF, 8},
        {D3DFMT_X1R5G5B5, (0xC0 >> 3) << 10 | (0x80 >> 3) << 5 | (0x40 >> 3), 0xC08040, 0xFF, 8},
        {D3DFMT_A4R4G4B4, 0x8C84, 0xCC8844, 0x88, 17},
    };
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.format);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, kWhite, 1.0f, 0);
        IDirect3DTexture9 *t = make(4, 4, 1, c.format);
        fill(t, 0, c.bits);
        device->SetTexture(0, t);
        draw_textured(0, 0, 16, 16);
        device->SetTexture(0, nullptr);
        t->Release();
        uint32_t want = 0;
        for (int shift = 0; shift < 24; shift += 8) {
            int channel = int((c.rgb >> shift) & 0xFF);
            want |= uint32_t((channel * c.alpha + 255 * (255 - c.alpha) + 127) / 255) << shift;
        }
        EXPECT_TRUE(gl_colour_near(pixel(8, 8), want, c.step + 1));
    }
}

TEST_F(GpuGlTextureTest, MinifiedQuadShowsItsLevel)
{
    const uint32_t colours[5] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFF00FFFF};
    IDirect3DTexture9 *t = make(16, 16, 5, D3DFMT_A8R8G8B8);
    for (UINT level = 0; level < 5; level++) fill(t, level, colours[level]);
    device->SetTexture(0, t);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    for (int level = 0; level < 4; level++) {
        SCOPED_TRACE(level);
        float side = float(16 >> level);
        draw_textured(32, 32, 32 + side, 32 + side);
        EXPECT_TRUE(gl_colour_near(pixel(32 + int(side) / 2, 32 + int(side) / 2), colours[level]));
    }
    device->SetTexture(0, nullptr);
    t->Release();
}

TEST_F(GpuGlTextureTest, ShortChainIsNotBlack)
{
    // Two levels of a 64 x 64 texture drawn at 4 x 4: the last level there is, not black.
    IDirect3DTexture9 *t = make(64, 64, 2, D3DFMT_X8R8G8B8);
    fill(t, 0, 0xFF0000);
    fill(t, 1, 0x00FF00);
    device->SetTexture(0, t);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    draw_textured(0, 0, 4, 4);
    EXPECT_TRUE(gl_colour_near(pixel(2, 2), kGreen));
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    draw_textured(8, 0, 12, 4);
    EXPECT_TRUE(gl_colour_near(pixel(10, 2), kRed));
    device->SetTexture(0, nullptr);
    t->Release();
}

TEST_F(GpuGlTextureTest, OnlyTheDirtyRectangleReachesTheScreen)
{
    IDirect3DTexture9 *t = make(8, 8, 1, D3DFMT_X8R8G8B8);
    fill(t, 0, 0xFF0000);
    device->SetTexture(0, t);
    draw_textured(0, 0, 32, 32);
    RECT left = {0, 0, 4, 8}, right = {4, 0, 8, 8};
    fill(t, 0, 0x00FF00, &left, D3DLOCK_NO_DIRTY_UPDATE | D3DLOCK_NOSYSLOCK);
    fill(t, 0, 0x0000FF, &right, D3DLOCK_NO_DIRTY_UPDATE | D3DLOCK_NOSYSLOCK);
    ASSERT_EQ(t->AddDirtyRect(&left), D3D_OK);
    draw_textured(0, 0, 32, 32);
    EXPECT_TRUE(gl_colour_near(pixel(8, 16), kGreen));
    EXPECT_TRUE(gl_colour_near(pixel(24, 16), kRed));
    device->SetTexture(0, nullptr);
    t->Release();
}

TEST_F(GpuGlTextureTest, ClampAndWrapDifferAtTheFarEdge)
{
    // Texels red, green; u runs 0 to 1.5 across 48 pixels: the far edge is u 1.47.
    IDirect3DTexture9 *t = make(2, 1, 1, D3DFMT_X8R8G8B8);
    RECT first = {0, 0, 1, 1}, second = {1, 0, 2, 1};
    fill(t, 0, 0xFF0000, &first);
    fill(t, 0, 0x00FF00, &second);
    device->SetTexture(0, t);
    draw_textured(0, 0, 48, 8, 1.5f);
    device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    draw_textured(0, 16, 48, 24, 1.5f);
    EXPECT_TRUE(gl_colour_near(pixel(46, 4), kRed));
    EXPECT_TRUE(gl_colour_near(pixel(46, 20), kGreen));
    EXPECT_TRUE(gl_colour_near(pixel(4, 4), kRed));
    device->SetTexture(0, nullptr);
    t->Release();
}

TEST_F(GpuGlTextureTest, UnboundStageDrawsTheVertexColour)
{
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    draw_screen_quad(0, 0, 16, 16, 0xFF336699);
    EXPECT_TRUE(gl_colour_near(pixel(8, 8), 0x336699));
}

class GpuGlStateTest : public GlTest {
protected:
    // Shows stencil values 0 to 3 as colours (anything else stays black).
    std::vector<uint32_t> stencil_picture()
    {
        const uint32_t colours[4] = {kRed, kGreen, kBlue, kWhite};
        device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
        device->SetRenderState(D3DRS_ZENABLE, FALSE);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRS_TWOSIDEDSTENCILMODE, FALSE);
        device->SetRenderState(D3DRS_STENCILENABLE, TRUE);
        device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
        device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
        for (int k = 0; k < 4; k++) {
            device->SetRenderState(D3DRS_STENCILREF, DWORD(k));
            draw_screen_quad(0, 0, kWidth, kHeight, colours[k]);
        }
        return read_pixels();
    }
};

TEST_F(GpuGlStateTest, ZBiasWinsOverACoplanarQuad)
{
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
    draw_screen_quad(0, 0, 64, 64, kRed, 0.5f);
    draw_screen_quad(0, 0, 32, 64, kGreen, 0.5f);
    device->SetRenderState(D3DRS_ZBIAS, 4);
    draw_screen_quad(32, 0, 64, 64, kBlue, 0.5f);
    EXPECT_TRUE(gl_colour_near(pixel(16, 32), kRed));
    EXPECT_TRUE(gl_colour_near(pixel(48, 32), kBlue));
}

TEST_F(GpuGlStateTest, FlatShadingTakesTheFirstVertex)
{
    GlScreenVertex v[3] = {{0, 0, 0, 1, 0xFFFF0000, 0, 0}, {64, 0, 0, 1, 0xFF00FF00, 0, 0}, {0, 64, 0, 1, 0xFF0000FF, 0, 0}};
    device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    device->SetFVF(GL_SCREEN_FVF);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof v[0]);
    EXPECT_TRUE(gl_colour_near(pixel(4, 4), kRed));
    EXPECT_TRUE(gl_colour_near(pixel(50, 4), kRed));
    EXPECT_TRUE(gl_colour_near(pixel(4, 50), kRed));
}

// A box turned towards the viewer, its faces clockwise seen from outside, as transformed vertices.
void draw_box(IDirect3DDevice9 *device)
{
    static const float corners[8][3] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                                        {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
    static const int faces[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {3, 7, 6, 2}, {0, 4, 7, 3}, {1, 2, 6, 5}};
    struct {
        float x, y, z;
    } v[36];
    int n = 0;
    const float c = 0.8f, s = 0.6f;  // turned about y, then about x
    for (const auto &f : faces) {
        const int order[6] = {f[0], f[1], f[2], f[0], f[2], f[3]};
        for (int i : order) {
            float x = corners[i][0] * 0.4f, y = corners[i][1] * 0.4f, z = corners[i][2] * 0.4f;
            float x1 = c * x + s * z, z1 = -s * x + c * z;
            float y2 = c * y - s * z1, z2 = s * y + c * z1;
            v[n++] = {x1, y2, 0.5f + 0.5f * z2};
        }
    }
    device->SetFVF(D3DFVF_XYZ);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 12, v, sizeof v[0]);
}

TEST_F(GpuGlStateTest, TwoSidedStencilEqualsTwoOneSidedPasses)
{
    // The floor cuts the box: faces behind it fail the depth test and leave their count.
    auto volume = [&](bool two_sided) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0, 1.0f, 1);
        device->SetRenderState(D3DRS_ZENABLE, TRUE);
        device->SetRenderState(D3DRS_STENCILENABLE, FALSE);
        draw_screen_quad(0, 0, 32, 64, kWhite, 0.5f);
        device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
        device->SetRenderState(D3DRS_STENCILENABLE, TRUE);
        device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
        if (two_sided) {
            device->SetRenderState(D3DRS_TWOSIDEDSTENCILMODE, TRUE);
            device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
            device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_INCR);
            device->SetRenderState(D3DRS_CCW_STENCILFUNC, D3DCMP_ALWAYS);
            device->SetRenderState(D3DRS_CCW_STENCILPASS, D3DSTENCILOP_DECR);
            draw_box(device);
        } else {
            device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
            device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_INCR);
            draw_box(device);
            device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
            device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_DECR);
            draw_box(device);
        }
        device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
        return stencil_picture();
    };
    std::vector<uint32_t> one = volume(false), two = volume(true);
    EXPECT_EQ(one, two);
    // Outside the box 1, where the floor cuts it 2 (a front face passed, the back one failed).
    EXPECT_TRUE(gl_colour_near(one[size_t(2) * kWidth + 2], kGreen));
    EXPECT_TRUE(gl_colour_near(one[size_t(32) * kWidth + 28], kBlue));
    EXPECT_TRUE(gl_colour_near(one[size_t(32) * kWidth + 36], kGreen));
}

TEST_F(GpuGlStateTest, StencilOpsWrapAtTheEnds)
{
    const struct {
        D3DSTENCILOP op;
        DWORD before, after;
    } cases[] = {
        {D3DSTENCILOP_KEEP, 5, 5},       {D3DSTENCILOP_ZERO, 7, 0},       {D3DSTENCILOP_REPLACE, 7, 9},
        {D3DSTENCILOP_INCRSAT, 255, 255}, {D3DSTENCILOP_DECRSAT, 0, 0},  {D3DSTENCILOP_INVERT, 0x0F, 0xF0},
        {D3DSTENCILOP_INCR, 255, 0},     {D3DSTENCILOP_DECR, 0, 255},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.op);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_STENCIL, 0, 1.0f, c.before);
        device->SetRenderState(D3DRS_STENCILENABLE, TRUE);
        device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
        device->SetRenderState(D3DRS_STENCILREF, 9);
        device->SetRenderState(D3DRS_STENCILPASS, c.op);
        draw_screen_quad(0, 0, 32, 64, kBlack);
        device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
        device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
        device->SetRenderState(D3DRS_STENCILREF, c.after);
        draw_screen_quad(0, 0, 64, 64, kGreen);
        EXPECT_TRUE(gl_colour_near(pixel(16, 32), kGreen));
        EXPECT_TRUE(gl_colour_near(pixel(48, 32), c.before == c.after ? kGreen : kBlack));
    }
}

}  // namespace
