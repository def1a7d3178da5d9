// The OpenGL back end against the CPU reference: random texture-stage configurations, vertex and
// pixel programs drawn as points and rectangles, every pixel off texel and primitive edges within
// 2/255; a failure prints its seed and what it drew.
#include "platform/gpu/gpu_effect.h"
#include "platform/gpu/gpu_effect_local.h"
#include "tests/gl/gl_test_util.h"
#include "tests/gl/gpu_reference.h"

#include <cstring>
#include <random>
#include <string>

namespace {

class GpuGlDifferentialTest : public GlTest {
protected:
    ID3DXEffect *effect = nullptr;
    GpuEffectDesc desc;
    std::string last_error;

    void TearDown() override
    {
        if (effect) effect->Release();
        effect = nullptr;
        GlTest::TearDown();
    }
    // Creates the effect (and its parsed form for the reference); false with the message.
    bool create(const std::string &text)
    {
        if (effect) effect->Release();
        effect = nullptr;
        ID3DXBuffer *errors = nullptr;
        HRESULT hr = D3DXCreateEffect(device, text.data(), UINT(text.size()), nullptr, nullptr, 0, nullptr, &effect, &errors);
        last_error = errors ? static_cast<const char *>(errors->GetBufferPointer()) : "";
        if (errors) errors->Release();
        desc = GpuEffectDesc{};
        GpuParseError error;
        gpu_effect_parse(text.data(), text.size(), &desc, &error);
        return SUCCEEDED(hr);
    }
    const GpuProgram *program(GpuShaderKind kind)
    {
        for (const auto &p : desc.programs)
            if (p->kind == kind) return p.get();
        return nullptr;
    }
    // The vertex constants the device holds once the pass began (literal values and parameters).
    void constants_into(RefMachine *m)
    {
        const GpuState &s = *gpu_device(device)->state;
        memcpy(m->c, s.vs_constants, sizeof m->c);
    }
};

std::string effect_text(const std::string &constants, const std::string &vertex, const std::string &pixel)
{
    std::string s = "TECHNIQUE T0\n{\n  PASS P0\n  {\n" + constants;
    if (!vertex.empty()) s += "    VertexShader =\n    decl\n    {\n    }\n    asm\n    {\n" + vertex + "    };\n";
    if (!pixel.empty()) s += "    PixelShader =\n    asm\n    {\n" + pixel + "    };\n";
    return s + "  }\n}\n";
}

// ---- fixed-function stages -----------------------------------------------------------------------

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
    StageVertex corners[4];  // a fan: top-left, top-right, bottom-right, bottom-left
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

// Corner colours affine across the rectangle (as the reference assumes), inside 0..255.
void random_colours(std::mt19937 &rng, uint32_t out[4])
{
    out[0] = out[1] = out[2] = out[3] = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        int base = int(rng() % 64) + 96, dx = int(rng() % 97) - 48, dy = int(rng() % 97) - 48;
        const int corner[4] = {base, base + dx, base + dx + dy, base + dy};
        for (int k = 0; k < 4; k++) out[k] |= uint32_t(corner[k]) << shift;
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
    uint32_t d[4], s[4];
    random_colours(rng, d);
    random_colours(rng, s);
    const float xy[4][2] = {{8, 8}, {56, 8}, {56, 56}, {8, 56}};
    for (int k = 0; k < 4; k++) c.corners[k] = StageVertex{xy[k][0], xy[k][1], 0, 1, d[k], s[k], {}};
    // Coordinates from -1 to 2 so that both addressing modes show.
    for (int set = 0; set < 2; set++)
        for (int axis = 0; axis < 2; axis++) {
            float from = float(rng() % 100) / 50.0f - 1.0f, to = float(rng() % 100) / 50.0f;
            for (int k = 0; k < 4; k++) c.corners[k].uv[set][axis] = (axis == 0 ? k == 1 || k == 2 : k >= 2) ? to : from;
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

TEST_F(GpuGlDifferentialTest, FixedFunctionStages)
{
    IDirect3DTexture9 *textures[2] = {random_texture(7), random_texture(8)};
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
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x404040, 1.0f, 0);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, c.corners, sizeof c.corners[0]), D3D_OK);
        std::vector<uint32_t> got = read_pixels();

        RefImage want;
        ref_image_init(&want, kWidth, kHeight, 0x404040);
        RefRect rect = {8, 8, 56, 56, fragment_of(c.corners[0]), fragment_of(c.corners[1]), fragment_of(c.corners[3])};
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

// ---- vertex programs -----------------------------------------------------------------------------

// POSITION, NORMAL, TEXCOORD0 as four floats, COLOR0 as a D3DCOLOR.
struct ProgramVertex {
    float position[4], normal[4], texcoord[4];
    uint32_t colour;
};
const D3DVERTEXELEMENT9 kProgramVertex[] = {
    {0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITION, 0},
    {0, 16, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_NORMAL, 0},
    {0, 32, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_TEXCOORD, 0},
    {0, 48, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
    D3DDECL_END(),
};

std::string random_source(std::mt19937 &rng, bool relative_ok)
{
    static const char *const inputs[] = {"v3", "v7", "v5", "r0", "r1", "r2", "r3", "c1", "c5", "c9"};
    std::string s = rng() % 4 == 0 ? "-" : "";
    if (relative_ok && rng() % 5 == 0)
        s += "c[a0.x + " + std::to_string(rng() % 8) + "]";
    else
        s += inputs[rng() % 10];
    if (rng() % 2) {
        s += ".";
        int n = int(rng() % 4) + 1;
        for (int i = 0; i < n; i++) s += "xyzw"[rng() % 4];
    }
    return s;
}

std::string random_vertex_program(unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s = "      vs.1.1\n      dcl_position v0\n      dcl_normal v3\n      dcl_texcoord0 v7\n"
                    "      dcl_color0 v5\n      mov r0, v3\n      mov r1, v7\n      mov r2, v5\n      mov r3, c2\n"
                    "      mov a0.x, c16.x\n";
    static const char *const ops[] = {"mov", "add", "sub", "mul", "mad", "dp3", "dp4", "min", "max", "sge", "slt"};
    static const int sources[] = {1, 2, 2, 2, 3, 2, 2, 2, 2, 2, 2};
    int count = int(rng() % 8) + 4;
    for (int i = 0; i < count; i++) {
        int op = int(rng() % 11);
        std::string line = std::string("      ") + ops[op] + " r" + std::to_string(rng() % 4);
        if (rng() % 2) {
            line += ".";
            for (int c = 0; c < 4; c++)
                if (rng() % 2 || (c == 3 && line.back() == '.')) line += "xyzw"[c];
        }
        for (int k = 0; k < sources[op]; k++) line += ", " + random_source(rng, true);
        s += line + "\n";
    }
    s += "      mov oPos, v0\n      mad oD0, r" + std::to_string(rng() % 4) + ", c20, c21\n";
    return s;
}

std::string vertex_constants(unsigned seed)
{
    std::mt19937 rng(seed * 7919u);
    std::string s;
    char text[160];
    for (int r = 0; r < 16; r++) {
        float v[4];
        for (float &x : v) x = float(int(rng() % 201) - 100) / 100.0f;
        snprintf(text, sizeof text, "    VertexShaderConstant1[%d] = { %gf, %gf, %gf, %gf };\n", r, v[0], v[1], v[2], v[3]);
        s += text;
    }
    snprintf(text, sizeof text, "    VertexShaderConstant1[16] = { %d.0f, 0.0f, 0.0f, 0.0f };\n", int(rng() % 8));
    s += text;
    s += "    VertexShaderConstant1[20] = { 0.25f, 0.25f, 0.25f, 0.25f };\n";
    s += "    VertexShaderConstant1[21] = { 0.5f, 0.5f, 0.5f, 0.5f };\n";
    return s;
}

TEST_F(GpuGlDifferentialTest, VertexPrograms)
{
    IDirect3DVertexDeclaration9 *decl = nullptr;
    ASSERT_EQ(device->CreateVertexDeclaration(kProgramVertex, &decl), D3D_OK);
    // One point per vertex, at the centres of an 8 x 8 grid of pixels.
    ProgramVertex points[64];
    std::mt19937 values(99);
    auto value = [&]() { return float(int(values() % 201) - 100) / 100.0f; };
    for (int i = 0; i < 64; i++) {
        ProgramVertex &p = points[i];
        float px = 4.5f + 8.0f * float(i % 8), py = 4.5f + 8.0f * float(i / 8);
        float position[4] = {px / 32.0f - 1.0f, 1.0f - py / 32.0f, 0.5f, 1.0f};
        memcpy(p.position, position, sizeof position);
        for (int c = 0; c < 4; c++) {
            p.normal[c] = value();
            p.texcoord[c] = value();
        }
        p.colour = uint32_t(values());
    }
    int failures = 0;
    for (unsigned seed = 1; seed <= 300 && failures < 3; seed++) {
        std::string text = effect_text(vertex_constants(seed), random_vertex_program(seed), "");
        ASSERT_TRUE(create(text)) << last_error << "\n" << text;
        const GpuProgram *vp = program(GPU_SHADER_VERTEX);
        ASSERT_NE(vp, nullptr);
        UINT passes = 0;
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        ASSERT_EQ(effect->Begin(&passes, 0), D3D_OK);
        effect->BeginPass(0);
        device->SetVertexDeclaration(decl);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_POINTLIST, 64, points, sizeof points[0]), D3D_OK);
        RefMachine m = {};
        constants_into(&m);
        effect->EndPass();
        effect->End();
        std::vector<uint32_t> got = read_pixels();
        for (int i = 0; i < 64 && failures < 3; i++) {
            const ProgramVertex &p = points[i];
            memcpy(m.v[0], p.position, sizeof p.position);
            memcpy(m.v[3], p.normal, sizeof p.normal);
            memcpy(m.v[7], p.texcoord, sizeof p.texcoord);
            RefColour colour = ref_colour(p.colour);
            float c[4] = {colour.r, colour.g, colour.b, colour.a};
            memcpy(m.v[5], c, sizeof c);
            memset(m.r, 0, sizeof m.r);
            ref_run(*vp, &m, nullptr, nullptr);
            uint32_t want = ref_pack(RefColour{m.o_d[0][0], m.o_d[0][1], m.o_d[0][2], 1});
            uint32_t have = got[size_t(4 + 8 * (i / 8)) * kWidth + size_t(4 + 8 * (i % 8))];
            if (gl_colour_near(have, want)) continue;
            failures++;
            ADD_FAILURE() << "seed " << seed << ", vertex " << i << ": " << gl_colour_near(have, want).message() << "\n"
                          << text;
        }
    }
    decl->Release();
}

// ---- pixel programs ------------------------------------------------------------------------------

// XYZRHW | DIFFUSE | SPECULAR | TEX4.
struct PixelVertex {
    float x, y, z, rhw;
    uint32_t diffuse, specular;
    float uv[4][2];
};

struct PixelRun {
    const GpuProgram *program;
    IDirect3DTexture9 *stage_textures[6];
    bool unfair;  // a sample fell near a texel edge
};

RefColour sample_stage(int stage, const float *coord, void *user)
{
    PixelRun &run = *static_cast<PixelRun *>(user);
    if (stage < 0 || stage >= 6 || !run.stage_textures[stage]) return RefColour{1, 1, 1, 1};
    bool edge = false;
    RefColour c = ref_sample(gpu_texture(run.stage_textures[stage]), 0, coord[0], coord[1], D3DTADDRESS_WRAP,
                             D3DTADDRESS_WRAP, 0.03f, &edge);
    run.unfair = run.unfair || edge;
    return c;
}

bool shade_pixel(const RefFragment &f, void *user, RefColour *out)
{
    PixelRun &run = *static_cast<PixelRun *>(user);
    RefMachine m = {};
    float d[4] = {f.diffuse.r, f.diffuse.g, f.diffuse.b, f.diffuse.a};
    float s[4] = {f.specular.r, f.specular.g, f.specular.b, f.specular.a};
    memcpy(m.v[0], d, sizeof d);
    memcpy(m.v[1], s, sizeof s);
    for (int i = 0; i < 4; i++) {
        m.t[i][0] = f.texcoord[i][0];
        m.t[i][1] = f.texcoord[i][1];
        m.t[i][3] = 1.0f;
    }
    run.unfair = false;
    ref_run(*run.program, &m, sample_stage, &run);
    *out = RefColour{m.o_c[0], m.o_c[1], m.o_c[2], m.o_c[3]};
    return !run.unfair;
}

// A ps.1.4 program that obeys the rules: texture instructions, then arithmetic, per phase; r0
// written last.
std::string random_pixel_program(unsigned seed)
{
    std::mt19937 rng(seed);
    bool phased = seed % 2 == 0;
    std::string s = "      ps.1.4\n";
    char text[160];
    for (int r = 0; r < 2; r++) {
        snprintf(text, sizeof text, "      def c%d, %.2f, %.2f, %.2f, %.2f\n", r, float(rng() % 200) / 100.0f - 1.0f,
                 float(rng() % 200) / 100.0f - 1.0f, float(rng() % 200) / 100.0f - 1.0f, float(rng() % 100) / 100.0f);
        s += text;
    }
    bool written[6] = {};
    static const char *const ops[] = {"add", "sub", "mul", "mad", "lrp", "dp3", "mov", "cmp"};
    static const int sources[] = {2, 2, 2, 3, 3, 2, 1, 3};
    static const char *const modifiers[] = {"", "", "_bx2", "_bias", "_x2"};
    auto arithmetic = [&](int count, bool colours) {
        for (int i = 0; i < count; i++) {
            int op = int(rng() % 8);
            std::string line = std::string("      ") + ops[op] + (rng() % 4 == 0 ? "_x2" : rng() % 4 == 0 ? "_sat" : "");
            int dest = int(rng() % 4);
            line += " r" + std::to_string(dest);
            for (int k = 0; k < sources[op]; k++) {
                std::vector<std::string> choices = {"c0", "c1"};
                for (int r = 0; r < 6; r++)
                    if (written[r]) choices.push_back("r" + std::to_string(r));
                if (colours) {
                    choices.push_back("v0");
                    choices.push_back("v1");
                }
                std::string src = choices[rng() % choices.size()];
                std::string mod = src[0] == 'c' ? "" : modifiers[rng() % 5];
                line += std::string(", ") + (rng() % 5 == 0 ? "-" : "") + src + mod;
            }
            written[dest] = true;
            s += line + "\n";
        }
    };
    auto textures = [&](int count, bool dependent) {
        for (int i = 0; i < count; i++) {
            int dest = int(rng() % 4);
            int t = int(rng() % 4);
            if (dependent && written[4] && rng() % 2) {
                s += "      texld r" + std::to_string(dest) + ", r4\n";
            } else if (!dependent && i == 0) {
                s += "      texcrd r4.rgb, t" + std::to_string(t) + "\n";
                written[4] = true;
                continue;
            } else {
                s += "      texld r" + std::to_string(dest) + ", t" + std::to_string(t) + "\n";
            }
            written[dest] = true;
        }
    };
    if (phased) {
        textures(int(rng() % 3) + 1, false);
        arithmetic(int(rng() % 3), false);
        s += "      phase\n";
        textures(int(rng() % 3) + 1, true);
    } else {
        textures(int(rng() % 3) + 1, true);
    }
    arithmetic(int(rng() % 4) + 1, true);
    std::vector<std::string> live;
    for (int r = 0; r < 6; r++)
        if (written[r]) live.push_back("r" + std::to_string(r));
    s += "      mad r0, " + live[rng() % live.size()] + ", c1, " + live[rng() % live.size()] + "\n";
    return s;
}

TEST_F(GpuGlDifferentialTest, PixelPrograms)
{
    IDirect3DTexture9 *textures[2] = {random_texture(11), random_texture(12)};
    // Coordinates affine across the rectangle: set i runs over 1 + i/2 texture widths.
    PixelVertex quad[4];
    const float xy[4][2] = {{8, 8}, {56, 8}, {56, 56}, {8, 56}};
    const uint32_t diffuse[4] = {0xFF8040C0, 0xC0A060A0, 0xA0C08080, 0xE0A060A0};  // affine: br = tr + bl - tl
    for (int k = 0; k < 4; k++) {
        PixelVertex &v = quad[k];
        v = PixelVertex{xy[k][0], xy[k][1], 0, 1, diffuse[k], 0x80406080, {}};
        for (int set = 0; set < 4; set++) {
            float span = 1.0f + 0.5f * float(set);
            v.uv[set][0] = (xy[k][0] - 8.0f) / 48.0f * span + 0.1f * float(set);
            v.uv[set][1] = (xy[k][1] - 8.0f) / 48.0f * span - 0.2f * float(set);
        }
    }
    RefFragment corners[3];
    for (int k = 0; k < 3; k++) {
        const PixelVertex &v = quad[k == 0 ? 0 : k == 1 ? 1 : 3];
        corners[k] = RefFragment{ref_colour(v.diffuse), ref_colour(v.specular), {}};
        for (int set = 0; set < 4; set++) {
            corners[k].texcoord[set][0] = v.uv[set][0];
            corners[k].texcoord[set][1] = v.uv[set][1];
            corners[k].texcoord[set][3] = 1.0f;
        }
    }
    int failures = 0;
    for (unsigned seed = 1; seed <= 200 && failures < 3; seed++) {
        std::string text = effect_text("", "", random_pixel_program(seed));
        ASSERT_TRUE(create(text)) << last_error << "\n" << text;
        PixelRun run = {program(GPU_SHADER_PIXEL), {}, false};
        for (int stage = 0; stage < 6; stage++) {
            run.stage_textures[stage] = textures[(seed + unsigned(stage)) % 2];
            device->SetTexture(DWORD(stage), run.stage_textures[stage]);
        }
        UINT passes = 0;
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x404040, 1.0f, 0);
        ASSERT_EQ(effect->Begin(&passes, 0), D3D_OK);
        effect->BeginPass(0);
        device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX4);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad, sizeof quad[0]), D3D_OK);
        effect->EndPass();
        effect->End();
        std::vector<uint32_t> got = read_pixels();
        RefImage want;
        ref_image_init(&want, kWidth, kHeight, 0x404040);
        ref_draw_rect(&want, RefRect{8, 8, 56, 56, corners[0], corners[1], corners[2]}, shade_pixel, &run);
        for (size_t i = 0; i < got.size(); i++) {
            if (want.skip[i] || gl_colour_near(got[i], want.pixels[i])) continue;
            failures++;
            ADD_FAILURE() << "seed " << seed << " at " << i % kWidth << "," << i / kWidth << ": "
                          << gl_colour_near(got[i], want.pixels[i]).message() << "\n" << text;
            break;
        }
    }
    for (int stage = 0; stage < 6; stage++) device->SetTexture(DWORD(stage), nullptr);
    for (IDirect3DTexture9 *t : textures) t->Release();
}

TEST_F(GpuGlDifferentialTest, SecondColourTargetFailsAtItsLine)
{
    std::string text = effect_text("", "", "      ps.2.0\n      mov oC0, c0\n      mov oC1, c0\n");
    EXPECT_FALSE(create(text));
    EXPECT_NE(last_error.find("effect(10,"), std::string::npos) << last_error << "\n" << text;
}

TEST_F(GpuGlDifferentialTest, SecondIdenticalDrawLinksNothing)
{
    std::string text = effect_text(vertex_constants(1), random_vertex_program(1), random_pixel_program(2));
    ASSERT_TRUE(create(text)) << last_error;
    IDirect3DVertexDeclaration9 *decl = nullptr;
    ASSERT_EQ(device->CreateVertexDeclaration(kProgramVertex, &decl), D3D_OK);
    ProgramVertex p = {{0, 0, 0.5f, 1}, {}, {}, 0xFFFFFFFF};
    auto draw = [&]() {
        UINT passes = 0;
        effect->Begin(&passes, 0);
        effect->BeginPass(0);
        device->SetVertexDeclaration(decl);
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &p, sizeof p), D3D_OK);
        effect->EndPass();
        effect->End();
    };
    draw();
    gpu_gl_reset_stats();
    draw();
    EXPECT_EQ(gpu_gl_stats()->programs_linked, 0);
    EXPECT_EQ(gpu_gl_stats()->shaders_compiled, 0);
    EXPECT_EQ(gpu_gl_stats()->draws, 1);
    decl->Release();
}

}  // namespace
