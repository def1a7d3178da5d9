// The OpenGL back end's textures, texture stages and stencil, and its fixed-function stages
// against the CPU reference.
#include "tests/gl/gl_test_util.h"
#include "tests/gl/gpu_reference.h"

#include <cstring>
#include <random>
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

// ---- against the reference -----------------------------------------------------------------------

// XYZRHW | DIFFUSE | SPECULAR | TEX2.
struct StageVertex {
    float x, y, z, rhw;
    uint32_t diffuse, specular;
    float uv[2][2];
};

struct StageConfig {
    int stages;
    DWORD state[GPU_STAGES][GPU_STAGE_STATES];
    int texture[3];  // 0, 1 or -1 for none
    DWORD address[2];  // per texture (GL keeps sampler states in the texture)
    StageVertex corners[3];  // top-left, top-right, bottom-left
};

struct StageShading {
    const StageConfig *config;
    IDirect3DTexture9 *textures[2];
};

bool shade_stages(const RefFragment &f, void *user, RefColour *out)
{
    const StageShading &s = *static_cast<const StageShading *>(user);
    RefColour samples[GPU_STAGES];
    bool near_edge = false;
    for (int i = 0; i < GPU_STAGES; i++) {
        samples[i] = RefColour{1, 1, 1, 1};
        if (i >= s.config->stages || s.config->texture[i] < 0) continue;
        int t = s.config->texture[i];
        const float *uv = f.texcoord[s.config->state[i][D3DTSS_TEXCOORDINDEX]];
        DWORD address = s.config->address[t];
        samples[i] = ref_sample(gpu_texture(s.textures[t]), 0, uv[0], uv[1], address, address, 0.02f, &near_edge);
    }
    *out = ref_stages(s.config->state, f.diffuse, f.specular, samples);
    return !near_edge;
}

std::string describe(const StageConfig &c, unsigned seed)
{
    std::string s = "seed " + std::to_string(seed) + ":";
    for (int i = 0; i < c.stages; i++) {
        const DWORD *t = c.state[i];
        char text[160];
        snprintf(text, sizeof text, " [stage %d colour %lu(%lu,%lu) alpha %lu(%lu,%lu) texture %d set %lu]", i,
                 (unsigned long)t[D3DTSS_COLOROP], (unsigned long)t[D3DTSS_COLORARG1], (unsigned long)t[D3DTSS_COLORARG2],
                 (unsigned long)t[D3DTSS_ALPHAOP], (unsigned long)t[D3DTSS_ALPHAARG1], (unsigned long)t[D3DTSS_ALPHAARG2],
                 c.texture[i], (unsigned long)t[D3DTSS_TEXCOORDINDEX]);
        s += text;
    }
    return s;
}

// Colours affine across the rectangle and inside 0..255 at the fourth corner too.
void random_colours(std::mt19937 &rng, uint32_t *tl, uint32_t *tr, uint32_t *bl)
{
    *tl = *tr = *bl = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        int base = int(rng() % 64) + 96, dx = int(rng() % 97) - 48, dy = int(rng() % 97) - 48;
        *tl |= uint32_t(base) << shift;
        *tr |= uint32_t(base + dx) << shift;
        *bl |= uint32_t(base + dy) << shift;
    }
}

StageConfig random_config(unsigned seed)
{
    std::mt19937 rng(seed);
    static const DWORD ops[] = {D3DTOP_SELECTARG1, D3DTOP_SELECTARG2, D3DTOP_MODULATE, D3DTOP_MODULATE2X,
                                D3DTOP_MODULATE4X, D3DTOP_ADD, D3DTOP_ADDSIGNED, D3DTOP_ADDSIGNED2X,
                                D3DTOP_SUBTRACT, D3DTOP_DOTPRODUCT3};
    static const DWORD args[] = {D3DTA_DIFFUSE, D3DTA_SPECULAR, D3DTA_CURRENT, D3DTA_TEXTURE};
    StageConfig c = {};
    c.stages = int(rng() % 3) + 1;
    for (int i = 0; i < GPU_STAGES; i++) {
        DWORD *t = c.state[i];
        bool on = i < c.stages;
        t[D3DTSS_COLOROP] = on ? ops[rng() % 10] : DWORD(D3DTOP_DISABLE);
        t[D3DTSS_ALPHAOP] = on ? (rng() % 5 == 0 ? DWORD(D3DTOP_DISABLE) : ops[rng() % 9]) : DWORD(D3DTOP_DISABLE);
        t[D3DTSS_COLORARG1] = args[rng() % 4];
        t[D3DTSS_COLORARG2] = args[rng() % 4];
        t[D3DTSS_ALPHAARG1] = args[rng() % 4];
        t[D3DTSS_ALPHAARG2] = args[rng() % 4];
        t[D3DTSS_TEXCOORDINDEX] = rng() % 2;
    }
    for (int &t : c.texture) t = int(rng() % 3) - 1;
    for (DWORD &a : c.address) a = rng() % 2 ? D3DTADDRESS_WRAP : D3DTADDRESS_CLAMP;
    uint32_t d[3], s[3];
    random_colours(rng, &d[0], &d[1], &d[2]);
    random_colours(rng, &s[0], &s[1], &s[2]);
    const float xy[3][2] = {{8, 8}, {56, 8}, {8, 56}};
    for (int k = 0; k < 3; k++) {
        StageVertex &v = c.corners[k];
        v = StageVertex{xy[k][0], xy[k][1], 0, 1, d[k], s[k], {}};
    }
    // Coordinates from -1 to 2 so that both addressing modes show.
    for (int set = 0; set < 2; set++)
        for (int axis = 0; axis < 2; axis++) {
            float from = float(rng() % 100) / 50.0f - 1.0f, to = float(rng() % 100) / 50.0f;
            c.corners[0].uv[set][axis] = from;
            c.corners[1].uv[set][axis] = axis == 0 ? to : from;
            c.corners[2].uv[set][axis] = axis == 1 ? to : from;
        }
    return c;
}

RefFragment fragment_of(const StageVertex &v)
{
    RefFragment f = {};
    f.diffuse = ref_colour(v.diffuse);
    f.specular = ref_colour(v.specular);
    for (int set = 0; set < 2; set++) {
        f.texcoord[set][0] = v.uv[set][0];
        f.texcoord[set][1] = v.uv[set][1];
    }
    return f;
}

class GpuGlDifferentialTest : public GpuGlTextureTest {};

TEST_F(GpuGlDifferentialTest, FixedFunctionStages)
{
    IDirect3DTexture9 *textures[2];
    std::mt19937 texels(7);
    for (IDirect3DTexture9 *&t : textures) {
        t = make(4, 4, 1, D3DFMT_A8R8G8B8);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(t->LockRect(0, &locked, nullptr, 0), D3D_OK);
        for (int y = 0; y < 4; y++)
            for (int x = 0; x < 4; x++) static_cast<uint32_t *>(locked.pBits)[y * locked.Pitch / 4 + x] = uint32_t(texels());
        t->UnlockRect(0);
    }
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2);
    int failures = 0;
    for (unsigned seed = 1; seed <= 200 && failures < 3; seed++) {
        StageConfig c = random_config(seed);
        for (int i = 0; i < GPU_STAGES; i++)
            for (DWORD state : {D3DTSS_COLOROP, D3DTSS_COLORARG1, D3DTSS_COLORARG2, D3DTSS_ALPHAOP, D3DTSS_ALPHAARG1,
                                D3DTSS_ALPHAARG2, D3DTSS_TEXCOORDINDEX})
                device->SetTextureStageState(DWORD(i), D3DTEXTURESTAGESTATETYPE(state), c.state[i][state]);
        for (int i = 0; i < 3; i++) {
            int t = c.texture[i];
            device->SetTexture(DWORD(i), t < 0 ? nullptr : textures[t]);
            DWORD address = t < 0 ? DWORD(D3DTADDRESS_WRAP) : c.address[t];
            device->SetSamplerState(DWORD(i), D3DSAMP_ADDRESSU, address);
            device->SetSamplerState(DWORD(i), D3DSAMP_ADDRESSV, address);
        }
        StageVertex quad[4] = {c.corners[0], c.corners[1], {}, c.corners[2]};
        // The fourth corner completes the affine attributes: tr + bl - tl.
        quad[2] = c.corners[1];
        quad[2].y = c.corners[2].y;
        for (int shift = 0; shift < 32; shift += 8)
            for (uint32_t StageVertex::*colour : {&StageVertex::diffuse, &StageVertex::specular}) {
                int value = int((c.corners[1].*colour >> shift) & 0xFF) + int((c.corners[2].*colour >> shift) & 0xFF) -
                            int((c.corners[0].*colour >> shift) & 0xFF);
                quad[2].*colour = (quad[2].*colour & ~(0xFFu << shift)) | uint32_t(value) << shift;
            }
        for (int set = 0; set < 2; set++)
            for (int axis = 0; axis < 2; axis++)
                quad[2].uv[set][axis] = c.corners[1].uv[set][axis] + c.corners[2].uv[set][axis] - c.corners[0].uv[set][axis];
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x404040, 1.0f, 0);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad, sizeof quad[0]), D3D_OK);
        std::vector<uint32_t> got = read_pixels();

        RefImage want;
        ref_image_init(&want, kWidth, kHeight, 0x404040);
        RefRect rect = {8, 8, 56, 56, fragment_of(c.corners[0]), fragment_of(c.corners[1]), fragment_of(c.corners[2])};
        StageShading shading = {&c, {textures[0], textures[1]}};
        ref_draw_rect(&want, rect, shade_stages, &shading);
        int bad = 0, compared = 0;
        for (size_t i = 0; i < got.size() && bad == 0; i++) {
            if (want.skip[i]) continue;
            compared++;
            if (gl_colour_near(got[i], want.pixels[i])) continue;
            bad++;
            ADD_FAILURE() << describe(c, seed) << " at " << i % kWidth << "," << i / kWidth << ": "
                          << gl_colour_near(got[i], want.pixels[i]).message();
        }
        failures += bad;
        if (bad == 0) {
            EXPECT_GT(compared, kWidth * kHeight / 4) << describe(c, seed);  // edges leave most
        }
    }
    for (int i = 0; i < 3; i++) device->SetTexture(DWORD(i), nullptr);
    for (IDirect3DTexture9 *t : textures) t->Release();
}

}  // namespace
