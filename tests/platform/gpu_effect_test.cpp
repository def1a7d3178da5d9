// The effect stand-in: reading effect text as the shader compiler writes it, technique choice from
// the caps, passes applied to the device, and the messages of text it refuses.
#include "platform/gpu/gpu_effect.h"
#include "platform/gpu/gpu_effect_local.h"
#include "platform/gpu/headless/gpu_headless.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

// Heap allocations through new while counting is on (main thread; the test turns it on).
// Through pointers, so that the compiler does not pair new with free by name.
static bool g_count_new;
static int g_new_count;
static void *(*volatile g_malloc)(size_t) = malloc;
static void (*volatile g_free)(void *) = free;

void *operator new(size_t size)
{
    if (g_count_new) g_new_count++;
    if (void *p = g_malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void *operator new[](size_t size) { return operator new(size); }
void operator delete(void *p) noexcept { g_free(p); }
void operator delete[](void *p) noexcept { g_free(p); }
void operator delete(void *p, size_t) noexcept { g_free(p); }
void operator delete[](void *p, size_t) noexcept { g_free(p); }

namespace {

// Two techniques as the compiler joins them: T0 with a vs.1.1 and ps.1.4 pair, T1 with two
// fixed-function passes (the second with the two-sided stencil preset).
const char EFFECT[] = R"(TEXTURE Tex;
MATRIX WORLD;
VECTOR color;
DWORD flags;

TECHNIQUE T0
{

  PASS P0
  {
    Texture[0] = <Tex>;
    ColorOp[0] = Modulate;
    ColorArg1[0] = Texture;
    ColorArg2[0] = Diffuse;
    MagFilter[0] = Linear;
    AddressU[0] = Clamp;
    TexCoordIndex[1] = 1;
    AlphaBlendEnable = True;
    SrcBlend = SrcAlpha;
    DestBlend = invDestColor;
    AlphaRef = 0x80;
    CullMode = None;

    VertexShaderConstant4[0] = <WORLD>;
    VertexShaderConstant1[4] = { 3.14159274f,0.15915494f,6.28318548f,4.71238899f };
    VertexShaderConstant1[5] = <color>;
    VertexShaderConstant1[6] = <flags>;

    VertexShader =
    decl
    {
    }
    asm
    {
      vs.1.1
      dcl_position v0
      dcl_normal v3
      dcl_texcoord0 v7
      m4x4 r0,v0,c0
      mov oPos,r0
      mov a0.x,c4.x
      mov oD0,c[5+a0.x]
      mul oT0.xy,v7,-c4.xy
    };

    PixelShader =
    asm
    {
      ps.1.4
      def  c0, 0.50000000f,0.50000000f,-1.5500992e-006f,0.0f

      texld r0,t0
      texcrd r1.rgb,t1
      phase
      mul_x2 r0,r0,1 - r1.xyz
      dp3_x2 r0,r0_bias,-r1_bias
    };

  }
}

TECHNIQUE T1
{

  PASS P0
  {
    ColorOp[0] = SelectArg1;
    ColorArg1[0] = Diffuse;
    ZWriteEnable = False;
    ZFunc = LessEqual;

  }

  PASS P1
  {
    AlphaBlendEnable = True;
    SrcBlend = Zero;
    DestBlend = One;
    StencilEnable = True;
    ShadeMode = Flat;
    StencilRef = 0x1;
    StencilMask = 0xffffffff;
    TwoSidedStencilMode = True;
    StencilPass = Incr;
    Ccw_StencilPass = Decr;
    Ccw_StencilFunc = Always;
    CullMode = None;

  }
}
)";

D3DPRESENT_PARAMETERS present_parameters()
{
    D3DPRESENT_PARAMETERS p = {};
    p.BackBufferWidth = 32;
    p.BackBufferHeight = 32;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.Windowed = TRUE;
    return p;
}

class GpuEffectTest : public ::testing::Test {
protected:
    IDirect3D9 *d3d = nullptr;
    IDirect3DDevice9 *device = nullptr;

    void SetUp() override
    {
        gpu_headless_reset();
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS p = present_parameters();
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &device),
                  D3D_OK);
    }

    void TearDown() override
    {
        EXPECT_EQ(device->Release(), 0u);
        d3d->Release();
        EXPECT_EQ(gpu_headless_live_resources(), 0);
        gpu_headless_reset();
    }

    ID3DXEffect *create(const std::string &text)
    {
        ID3DXEffect *effect = nullptr;
        ID3DXBuffer *errors = nullptr;
        HRESULT hr = D3DXCreateEffect(device, text.data(), UINT(text.size()), nullptr, nullptr,
                                      D3DXSHADER_PREFER_FLOW_CONTROL, nullptr, &effect, &errors);
        EXPECT_EQ(hr, D3D_OK) << (errors ? (const char *)errors->GetBufferPointer() : "");
        if (errors) errors->Release();
        return effect;
    }

    // The message of text that must fail, with the effect left null.
    std::string refused(const std::string &text)
    {
        ID3DXEffect *effect = nullptr;
        ID3DXBuffer *errors = nullptr;
        HRESULT hr = D3DXCreateEffect(device, text.data(), UINT(text.size()), nullptr, nullptr, 0, nullptr, &effect,
                                      &errors);
        EXPECT_TRUE(FAILED(hr));
        EXPECT_EQ(effect, nullptr);
        if (!errors) return "";
        std::string message((const char *)errors->GetBufferPointer());
        EXPECT_EQ(errors->GetBufferSize(), message.size() + 1);
        errors->Release();
        return message;
    }

    // Line and column of a message "effect(LINE,COLUMN): error: ...".
    static std::pair<int, int> where(const std::string &message)
    {
        int line = -1, column = -1;
        sscanf(message.c_str(), "effect(%d,%d)", &line, &column);
        return {line, column};
    }

    static std::string pass_text(const std::string &body)
    {
        return "TECHNIQUE T0\n{\n  PASS P0\n  {\n" + body + "  }\n}\n";
    }

    static std::string vertex_shader(const std::string &code)
    {
        return pass_text("    VertexShader =\n    asm\n    {\n" + code + "    };\n");
    }
};

TEST_F(GpuEffectTest, ParsesTheCompilersTextIntoTechniquesPassesAndPrograms)
{
    GpuEffectDesc desc;
    GpuParseError error;
    ASSERT_TRUE(gpu_effect_parse(EFFECT, sizeof EFFECT - 1, &desc, &error)) << error.message;
    ASSERT_EQ(desc.parameters.size(), 4u);
    EXPECT_EQ(desc.parameters[1].type, GPU_PARAM_MATRIX);
    ASSERT_EQ(desc.techniques.size(), 2u);
    EXPECT_EQ(desc.techniques[1].passes.size(), 2u);
    ASSERT_EQ(desc.programs.size(), 2u);

    const GpuProgram &vs = *desc.programs[0];
    EXPECT_EQ(vs.version, D3DVS_VERSION(1, 1));
    ASSERT_EQ(vs.code.size(), 8u);
    EXPECT_EQ(vs.code[1].op, GPU_OP_DCL);
    EXPECT_EQ(vs.code[1].usage, D3DDECLUSAGE_NORMAL);
    EXPECT_EQ(vs.code[1].dest.index, 3);
    const GpuInstruction &relative = vs.code[6];
    EXPECT_TRUE(relative.sources[0].relative);
    EXPECT_EQ(relative.sources[0].index, 5);
    const GpuInstruction &negated = vs.code[7];
    EXPECT_EQ(negated.dest.mask, 0x3);
    EXPECT_EQ(negated.sources[1].modifier, GPU_MOD_NEGATE);
    EXPECT_EQ(negated.sources[1].swizzle[2], 1);  // .xy reads as .xyyy
    EXPECT_EQ(negated.line, 43);

    const GpuProgram &ps = *desc.programs[1];
    EXPECT_EQ(ps.version, D3DPS_VERSION(1, 4));
    ASSERT_EQ(ps.code.size(), 6u);
    EXPECT_EQ(ps.code[0].op, GPU_OP_DEF);
    EXPECT_FLOAT_EQ(ps.code[0].values[2], -1.5500992e-006f);
    EXPECT_EQ(ps.code[2].dest.mask, 0x7);
    EXPECT_EQ(ps.code[3].op, GPU_OP_PHASE);
    EXPECT_EQ(ps.code[4].shift, 1);
    EXPECT_EQ(ps.code[4].sources[1].modifier, GPU_MOD_COMPLEMENT);
    EXPECT_EQ(ps.code[5].sources[0].modifier, GPU_MOD_BIAS);
    EXPECT_EQ(ps.code[5].sources[1].modifier, GPU_MOD_BIAS_NEGATE);
}

TEST_F(GpuEffectTest, PassesApplyTheirStatesAndEndPutsThemBack)
{
    ID3DXEffect *effect = create(EFFECT);
    ASSERT_NE(effect, nullptr);
    IDirect3DTexture9 *texture;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    float world[16];
    for (int i = 0; i < 16; i++) world[i] = float(i);
    const D3DXVECTOR4 colour = {0.25f, 0.5f, 0.75f, 1.0f};
    D3DXHANDLE t0 = effect->GetTechniqueByName("T0");
    ASSERT_NE(t0, nullptr);
    ASSERT_EQ(effect->SetTechnique(t0), D3D_OK);
    ASSERT_EQ(effect->SetMatrix("WORLD", world), D3D_OK);
    ASSERT_EQ(effect->SetVector(effect->GetParameterByName(nullptr, "color"), &colour), D3D_OK);
    ASSERT_EQ(effect->SetTexture("Tex", texture), D3D_OK);
    EXPECT_EQ(effect->SetVector("WORLD", &colour), D3DERR_INVALIDCALL);
    EXPECT_EQ(effect->SetMatrix("nothing", world), D3DERR_INVALIDCALL);
    texture->Release();  // the effect holds it

    UINT passes = 0;
    ASSERT_EQ(effect->Begin(&passes, 0), D3D_OK);
    EXPECT_EQ(passes, 1u);
    ASSERT_EQ(effect->BeginPass(0), D3D_OK);
    DWORD value;
    device->GetRenderState(D3DRS_DESTBLEND, &value);
    EXPECT_EQ(value, DWORD(D3DBLEND_INVDESTCOLOR));
    device->GetRenderState(D3DRS_ALPHAREF, &value);
    EXPECT_EQ(value, 0x80u);
    device->GetSamplerState(0, D3DSAMP_ADDRESSU, &value);
    EXPECT_EQ(value, DWORD(D3DTADDRESS_CLAMP));
    device->GetTextureStageState(1, D3DTSS_TEXCOORDINDEX, &value);
    EXPECT_EQ(value, 1u);

    device->SetFVF(0x112);  // position, normal, one pair: what the vertex shader declares
    float vertices[3][8] = {};
    device->BeginScene();
    gpu_headless_clear_draws();
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, vertices, 32), D3D_OK);
    const GpuDrawRecord *r = gpu_headless_draw(0);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->vertex_shader_version, D3DVS_VERSION(1, 1));
    EXPECT_EQ(r->pixel_shader_version, D3DPS_VERSION(1, 4));
    EXPECT_EQ(r->textures[0], static_cast<IDirect3DBaseTexture9 *>(texture));
    EXPECT_EQ(r->render_states[D3DRS_CULLMODE], DWORD(D3DCULL_NONE));
    EXPECT_EQ(r->stage_states[0][D3DTSS_COLORARG2], DWORD(D3DTA_DIFFUSE));
    // The matrix reaches c0..c3 transposed: c1 holds its second column.
    EXPECT_EQ(r->vs_constants[1][0], 1.0f);
    EXPECT_EQ(r->vs_constants[1][3], 13.0f);
    EXPECT_FLOAT_EQ(r->vs_constants[4][1], 0.15915494f);
    EXPECT_EQ(r->vs_constants[5][2], 0.75f);
    EXPECT_EQ(r->ps_constants[0][0], 0.5f);

    // A value set inside a pass reaches the device when committed.
    world[4] = 100.0f;
    effect->SetMatrix("WORLD", world);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, vertices, 32);
    EXPECT_EQ(gpu_headless_draw(1)->vs_constants[0][1], 4.0f);
    effect->CommitChanges();
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, vertices, 32);
    EXPECT_EQ(gpu_headless_draw(2)->vs_constants[0][1], 100.0f);
    device->EndScene();

    EXPECT_EQ(effect->BeginPass(0), D3DERR_INVALIDCALL);  // a pass is open
    EXPECT_EQ(effect->EndPass(), D3D_OK);
    EXPECT_EQ(effect->End(), D3D_OK);
    device->GetRenderState(D3DRS_CULLMODE, &value);
    EXPECT_EQ(value, DWORD(D3DCULL_CCW));
    device->GetSamplerState(0, D3DSAMP_ADDRESSU, &value);
    EXPECT_EQ(value, DWORD(D3DTADDRESS_WRAP));
    IDirect3DBaseTexture9 *bound;
    device->GetTexture(0, &bound);
    EXPECT_EQ(bound, nullptr);
    device->BeginScene();
    gpu_headless_clear_draws();
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, vertices, 32);
    EXPECT_EQ(gpu_headless_draw(0)->vertex_shader_version, 0u);
    EXPECT_EQ(gpu_headless_draw(0)->pixel_shader_version, 0u);
    device->EndScene();
    effect->Release();
}

TEST_F(GpuEffectTest, BeginAndEndAllocateNothingOnceWarm)
{
    ID3DXEffect *effect = create(EFFECT);
    ASSERT_NE(effect, nullptr);
    ASSERT_EQ(effect->SetTechnique(effect->GetTechniqueByName("T0")), D3D_OK);
    UINT passes = 0;
    for (int frame = 0; frame < 3; frame++) {
        SCOPED_TRACE(frame);
        g_new_count = 0;
        g_count_new = frame > 0;
        ASSERT_EQ(effect->Begin(&passes, 0), D3D_OK);
        ASSERT_EQ(effect->End(), D3D_OK);
        g_count_new = false;
        if (frame > 0) {
            EXPECT_EQ(g_new_count, 0);
        }
    }
    effect->Release();
}

TEST_F(GpuEffectTest, SecondTechniqueRunsTwoFixedFunctionPasses)
{
    ID3DXEffect *effect = create(EFFECT);
    ASSERT_NE(effect, nullptr);
    ASSERT_EQ(effect->SetTechnique("T1"), D3D_OK);
    UINT passes;
    ASSERT_EQ(effect->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(passes, 2u);
    DWORD value;
    effect->BeginPass(0);
    device->GetRenderState(D3DRS_ZWRITEENABLE, &value);
    EXPECT_EQ(value, DWORD(FALSE));
    effect->EndPass();
    effect->BeginPass(1);
    device->GetRenderState(D3DRS_CCW_STENCILPASS, &value);
    EXPECT_EQ(value, DWORD(D3DSTENCILOP_DECR));
    device->GetRenderState(D3DRS_STENCILMASK, &value);
    EXPECT_EQ(value, 0xFFFFFFFFu);
    device->GetRenderState(D3DRS_ZWRITEENABLE, &value);
    EXPECT_EQ(value, DWORD(FALSE));  // passes set only what they name
    effect->EndPass();
    effect->End();
    device->GetRenderState(D3DRS_ZWRITEENABLE, &value);
    EXPECT_EQ(value, DWORD(TRUE));

    // With DONOTSAVESTATE the pass's states stay.
    effect->Begin(&passes, D3DXFX_DONOTSAVESTATE);
    effect->BeginPass(0);
    effect->EndPass();
    effect->End();
    device->GetRenderState(D3DRS_ZWRITEENABLE, &value);
    EXPECT_EQ(value, DWORD(FALSE));
    effect->Release();
}

TEST_F(GpuEffectTest, FindNextValidTechniqueStartsAfterTheOneGivenAndHonoursCaps)
{
    ID3DXEffect *effect = create(EFFECT);
    ASSERT_NE(effect, nullptr);
    D3DXHANDLE t0 = effect->GetTechniqueByName("T0"), t1 = effect->GetTechniqueByName("T1"), next;
    EXPECT_EQ(effect->GetTechniqueByName("T7"), nullptr);
    ASSERT_EQ(effect->SetTechnique(t1), D3D_OK);
    EXPECT_EQ(effect->SetTechnique(nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(effect->GetCurrentTechnique(), t1);
    ASSERT_EQ(effect->FindNextValidTechnique(nullptr, &next), D3D_OK);
    EXPECT_EQ(next, t0);
    ASSERT_EQ(effect->FindNextValidTechnique(t0, &next), D3D_OK);
    EXPECT_EQ(next, t1);
    EXPECT_TRUE(FAILED(effect->FindNextValidTechnique(t1, &next)));
    EXPECT_EQ(next, nullptr);

    // A device without pixel shaders refuses T0; one without two-sided stencil refuses T1.
    D3DCAPS9 caps;
    gpu_headless_default_caps(&caps);
    caps.PixelShaderVersion = D3DPS_VERSION(1, 1);
    gpu_headless_set_caps(&caps);
    ASSERT_EQ(effect->FindNextValidTechnique(nullptr, &next), D3D_OK);
    EXPECT_EQ(next, t1);
    caps.StencilCaps = 0;
    gpu_headless_set_caps(&caps);
    EXPECT_TRUE(FAILED(effect->FindNextValidTechnique(nullptr, &next)));
    gpu_headless_default_caps(&caps);
    caps.VertexShaderVersion = D3DVS_VERSION(1, 0);
    gpu_headless_set_caps(&caps);
    ASSERT_EQ(effect->FindNextValidTechnique(nullptr, &next), D3D_OK);
    EXPECT_EQ(next, t1);
    effect->Release();

    // Fixed-function stages: dot3 needs its cap, and no stage beyond the device's count.
    const std::string dot3 = pass_text("    ColorOp[0] = DotProduct3;\n");
    const std::string stage3 = pass_text("    ColorOp[3] = Modulate;\n");
    gpu_headless_default_caps(&caps);
    caps.TextureOpCaps = 0;
    caps.MaxSimultaneousTextures = 2;
    gpu_headless_set_caps(&caps);
    for (const std::string &text : {dot3, stage3}) {
        effect = create(text);
        ASSERT_NE(effect, nullptr);
        EXPECT_TRUE(FAILED(effect->FindNextValidTechnique(nullptr, &next))) << text;
        effect->Release();
    }
}

TEST_F(GpuEffectTest, VertexProgramInputsMustComeFromTheVertexFormat)
{
    ID3DXEffect *effect = create(EFFECT);
    ASSERT_NE(effect, nullptr);
    UINT passes;
    effect->Begin(&passes, 0);
    effect->BeginPass(0);
    device->SetFVF(0x142);  // no normal
    float vertices[3][6] = {};
    device->BeginScene();
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, vertices, 24), D3DERR_INVALIDCALL);
    device->EndScene();
    effect->EndPass();
    effect->End();
    effect->Release();
}

TEST_F(GpuEffectTest, MalformedTextFailsWithItsLineNumber)
{
    struct Case {
        std::string text;
        int line;
        const char *words;
    } cases[] = {
        {pass_text("    CullMode = None\n    ZEnable = True;\n"), 6, "expected ';'"},
        {pass_text("    CullMode = Sideways;\n"), 5, "not a value of CullMode"},
        {pass_text("    Texture[0] = <Missing>;\n"), 5, "undeclared parameter"},
        {"MATRIX M;\n" + pass_text("    Texture[0] = <M>;\n"), 6, "not a texture"},
        {pass_text("    ColorOp[8] = Modulate;\n"), 5, "index out of range"},
        {pass_text("    Blending = On;\n"), 5, "unknown state"},
        {pass_text("    VertexShaderConstant1[3] = { 1.0f, 2.0f };\n"), 5, "expected 4 numbers"},
        {"VECTOR v;\nVECTOR v;\n", 2, "declared twice"},
        {"TECHNIQUE T0\n{\n  PASS P0\n  {\n", 5, "pass not closed"},
        {"TECHNIQUE T0\n{\n  PASS P0\n  {\n    VertexShader =\n    asm\n    {\n      vs.1.1\n", 7, "not closed"},
        {vertex_shader("      mov oPos, v0\n"), 8, "version"},
        {vertex_shader("      ps.1.4\n"), 8, "vertex shader"},
        {vertex_shader("      vs.3.0\n"), 8, "unsupported shader version"},
        {vertex_shader("      vs.1.1\n      mov r12, v0\n"), 9, "out of range"},
        {vertex_shader("      vs.1.1\n      mov r0, v0, v1\n"), 9, "takes 2 operands"},
        {vertex_shader("      vs.1.1\n      mova a0.x, v0.x\n"), 9, "not an instruction of this shader version"},
        {vertex_shader("      vs.1.1\n      texld r0, t0\n"), 9, "not an instruction"},
        {vertex_shader("      vs.1.1\n      mov r0.yx, v0\n"), 9, "bad write mask"},
        {vertex_shader("      vs.1.1\n      mov r0, v0.q\n"), 9, "bad swizzle"},
        {vertex_shader("      vs.1.1\n      mov v0, r0\n"), 9, "cannot be written"},
        {vertex_shader("      vs.1.1\n      m4x4 r0, v0, c94\n"), 9, "past the last constant"},
        {vertex_shader("      vs.2.x\n      dcl_normal v3\n      dcl_color0 v3\n"), 10, "declared twice"},
        {pass_text("    PixelShader =\n    asm\n    {\n      ps.1.4\n      phase\n      phase\n    };\n"), 10,
         "phase appears twice"},
        {pass_text("    PixelShader =\n    asm\n    {\n      ps.1.4\n      dcl t0\n    };\n"), 9, "not part of ps.1.4"},
        {pass_text("    PixelShader =\n    asm\n    {\n      ps.2.x\n      texld r0, t0\n    };\n"), 9,
         "takes 3 operands"},
    };
    for (const Case &c : cases) {
        std::string message = refused(c.text);
        EXPECT_EQ(where(message).first, c.line) << c.text << message;
        EXPECT_NE(message.find(c.words), std::string::npos) << c.text << message;
    }
}

TEST_F(GpuEffectTest, ExpressionStyleLinesAndBadRegistersInAssemblerFail)
{
    const char *lines[] = {
        "r0 = clamp( r0, 0.0f, 1.0f);",
        "if (r0.x>=c4.x) break",
        "[loop] for (int a0=0;a0<4;a0++)",
        "discard",
        "{",
    };
    for (const char *line : lines) {
        std::string message = refused(vertex_shader(std::string("      vs.1.1\n      ") + line + "\n"));
        EXPECT_EQ(where(message), std::make_pair(9, 7)) << line;
        EXPECT_NE(message.find("expression-style"), std::string::npos) << message;
    }
    std::string message = refused(vertex_shader("      vs.1.1\n      mov r0, v0\n      add r0, r-1, v0\n"));
    EXPECT_EQ(where(message), std::make_pair(10, 15));
    EXPECT_NE(message.find("invalid register 'r-1'"), std::string::npos) << message;
    // A comment may say anything.
    ID3DXEffect *effect = create(vertex_shader("      vs.1.1 // x = f(y)\n      mov oPos, v0 ; oPos = v0\n"));
    ASSERT_NE(effect, nullptr);
    effect->Release();
}

TEST_F(GpuEffectTest, HlslIsRefusedWithAMessage)
{
    const char *texts[] = {
        "static float4 it0;\nTexture Tex;\nfloat4x4 WORLD;\n",
        "Texture Tex;\n\nstruct VS_INPUT\n{\nfloat4 v0 : POSITION;\n};\n",
        "TECHNIQUE T0\n{\n  PASS P0\n  {\n    VertexShader = compile vs_3_0 RenderPassVS0();\n  }\n}\n",
        "technique10 T0\n{\n  pass P0\n  {\n  }\n}\n",
    };
    for (const char *text : texts) {
        std::string message = refused(text);
        EXPECT_NE(message.find("HLSL is not supported"), std::string::npos) << message;
        EXPECT_GT(where(message).first, 0);
        EXPECT_EQ(message.find("subscript"), std::string::npos);
    }
}

TEST_F(GpuEffectTest, ModelTwoProgramsAndTheirForms)
{
    const std::string text = pass_text(
        "    VertexShader =\n    decl\n    {\n      stream 0;\n      float v0[3];\n      d3dcolor v5[1];\n    }\n"
        "    asm\n    {\n      vs.2.x\n      dcl_position v0\n      dcl_texcoord v4\n      mova a0.x, v0.x\n"
        "      mov r20, c[a0.x + 200]\n      call l0\n      ret\n      label l0\n      mov r11, r20\n      ret\n"
        "    };\n"
        "    PixelShader =\n    asm\n    {\n      ps.2.x\n      def  c3, -1.5500992e-006f, -2.1701389e-005f,  "
        "0.0026041667f, 0.00026041668f\n\n      dcl v0\n      dcl t0.xy\n\n      dcl_2d s0\n"
        "      texld r0, t0, s0\n      sincos r1.y, r0.x, c3, c3\n      add r0, r0, 0.5f\n      mov oC0, r0\n"
        "    };\n");
    GpuEffectDesc desc;
    GpuParseError error;
    ASSERT_TRUE(gpu_effect_parse(text.data(), text.size(), &desc, &error)) << error.line << ": " << error.message;
    const GpuProgram &vs = *desc.programs[0];
    EXPECT_TRUE(vs.extended);
    EXPECT_EQ(vs.version, D3DVS_VERSION(2, 0));
    ASSERT_EQ(vs.streams.size(), 2u);
    EXPECT_EQ(vs.streams[1].input, 5);
    EXPECT_EQ(vs.streams[1].type, D3DDECLTYPE_D3DCOLOR);
    EXPECT_EQ(vs.code[3].sources[0].index, 200);
    EXPECT_EQ(vs.code[4].op, GPU_OP_CALL);
    EXPECT_EQ(vs.code[4].sources[0].file, GPU_REG_LABEL);
    const GpuProgram &ps = *desc.programs[1];
    EXPECT_EQ(ps.code[1].usage, D3DDECLUSAGE_COLOR);
    EXPECT_EQ(ps.code[2].dest.mask, 0x3);
    EXPECT_TRUE(ps.code[3].sampler_2d);
    EXPECT_EQ(ps.code[4].source_count, 2);
    EXPECT_EQ(ps.code[4].sources[1].file, GPU_REG_SAMPLER);
    EXPECT_EQ(ps.code[6].sources[1].file, GPU_REG_IMMEDIATE);
    EXPECT_EQ(ps.code[6].sources[1].immediate, 0.5f);

    // The device reports vs 1.1 and ps 1.4, so this technique is not valid on it.
    ID3DXEffect *effect = create(text);
    ASSERT_NE(effect, nullptr);
    D3DXHANDLE next;
    EXPECT_TRUE(FAILED(effect->FindNextValidTechnique(nullptr, &next)));
    effect->Release();
}

TEST_F(GpuEffectTest, CreationArgumentsAndEmptyEffects)
{
    ID3DXEffect *effect = nullptr;
    const D3DXMACRO defines[] = {{"A", "1"}, {nullptr, nullptr}};
    EXPECT_EQ(D3DXCreateEffect(device, EFFECT, sizeof EFFECT - 1, defines, nullptr, 0, nullptr, &effect, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateEffect(nullptr, EFFECT, sizeof EFFECT - 1, nullptr, nullptr, 0, nullptr, &effect, nullptr),
              D3DERR_INVALIDCALL);
    // Text without techniques makes an effect that has nothing to begin.
    effect = create("MATRIX WORLD;\n");
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->GetTechniqueByName("T0"), nullptr);
    UINT passes;
    EXPECT_EQ(effect->Begin(&passes, 0), D3DERR_INVALIDCALL);
    effect->Release();
    // Only the given length is read.
    EXPECT_EQ(refused(std::string(EFFECT, 36)).find("effect(3,"), 0u);
}

}  // namespace

namespace {

class GpuPixelShader14Test : public GpuEffectTest {
protected:
    // The code's first line is line 8 of the effect, indented 6 columns.
    static std::string pixel_shader(const std::string &code)
    {
        return pass_text("    PixelShader =\n    asm\n    {\n      ps.1.4\n" + code + "    };\n");
    }
};

TEST_F(GpuPixelShader14Test, PixelShader14Rules)
{
    std::string nine_adds;
    for (int i = 0; i < 9; i++) nine_adds += "      add r0, r0, r0\n";
    const struct {
        std::string code;
        int line, column;
        const char *words;
    } refused_cases[] = {
        {"      texld r0, t0\n      mul r1, r0, r0\n      texld r2, t1\n", 11, 7, "after arithmetic"},
        {"      texld r0, t0\n      texld r1, t1\n      texld r2, t2\n      texld r3, t3\n      texld r4, t4\n"
         "      texld r5, t5\n      texcrd r0, t0\n",
         15, 7, "more than 6 texture"},
        {"      texld r0, t0\n" + nine_adds, 18, 7, "more than 8 arithmetic"},
        {"      texcrd r0, t0\n      texld r1, r0\n      phase\n      mov r0, r1\n", 10, 17, "only after phase"},
        {"      texld r0, t0\n      phase\n      texld r1, r2\n      mov r0, r1\n", 11, 17, "did not write"},
        {"      texld r0, t0\n      mul r0, r0, t1\n", 10, 19, "only by texld and texcrd"},
        {"      texld r0, t0\n      mul r0, r0, v0\n      phase\n      texld r1, t1\n", 10, 19, "only after phase"},
        {"      texld r0, t0\n      mul r0, r0, r3\n", 10, 19, "read before it is written"},
    };
    for (const auto &c : refused_cases) {
        SCOPED_TRACE(c.code);
        std::string message = refused(pixel_shader(c.code));
        EXPECT_EQ(where(message), std::make_pair(c.line, c.column)) << message;
        EXPECT_NE(message.find(c.words), std::string::npos) << message;
    }
    const char *accepted[] = {
        // One phase, the whole program the second.
        "      texld r0, t0\n      texld r1, t1\n      mul r0, r0, r1\n      mul r0, r0, v0\n",
        // A coordinate kept in phase 1, sampled through in phase 2; numbers as operands.
        "      texcrd r1.rgb, t1\n      texld r0, t0\n      phase\n      texld r2, r1\n      mul r0, r0, r2\n"
        "      mad r0, r0, 0.5, v0\n",
    };
    for (const char *code : accepted) {
        ID3DXEffect *effect = create(pixel_shader(code));
        EXPECT_NE(effect, nullptr) << code;
        if (effect) effect->Release();
    }
}

}  // namespace
