// The built-in effects 0 to 8, written as effect text (vs.1.1, ps.1.4 and texture stages only), and
// their creation on the context's device. The draw routine sets every parameter before each draw.
#include "render/render_local.h"

#include <cstdio>
#include <cstring>

namespace {

#define BUILTIN_MATRICES "MATRIX WORLD;\nMATRIX VIEWPROJ;\nVECTOR FADE;\n"
#define BUILTIN_CONSTANTS                                                                   \
    "    VertexShaderConstant4[0] = <WORLD>;\n    VertexShaderConstant4[4] = <VIEWPROJ>;\n" \
    "    VertexShaderConstant1[8] = <FADE>;\n"
// Colour and alpha of stage 0 from the texture times the diffuse colour; stage 1 off.
#define BUILTIN_STAGE0                                                             \
    "    ColorOp[0] = Modulate; ColorArg1[0] = Texture; ColorArg2[0] = Diffuse;\n" \
    "    AlphaOp[0] = Modulate; AlphaArg1[0] = Texture; AlphaArg2[0] = Diffuse;\n" \
    "    ColorOp[1] = Disable; AlphaOp[1] = Disable;\n"
// Stage 1 multiplies in its own texture.
#define BUILTIN_STAGE1                                                             \
    "    ColorOp[1] = Modulate; ColorArg1[1] = Texture; ColorArg2[1] = Current;\n" \
    "    AlphaOp[1] = Modulate; AlphaArg1[1] = Texture; AlphaArg2[1] = Current;\n" \
    "    ColorOp[2] = Disable; AlphaOp[2] = Disable;\n"
// Position through WORLD and VIEWPROJ, colour x FADE, both texture pairs.
#define BUILTIN_VS_TWO_PAIRS                                                                       \
    "    VertexShader =\n    decl\n    {\n    }\n    asm\n    {\n      vs.1.1\n"                   \
    "      dcl_position v0\n      dcl_color0 v5\n      dcl_texcoord0 v7\n      dcl_texcoord1 v8\n" \
    "      m4x4 r0, v0, c0\n      m4x4 oPos, r0, c4\n      mul oD0, v5, c8\n"                      \
    "      mov oT0.xy, v7\n      mov oT1.xy, v8\n    };\n"

// 0: untextured objects and the darkening quad: the vertex colour x FADE.
const char *const kEffect0 = BUILTIN_MATRICES R"(TECHNIQUE T0
{
  PASS P0
  {
    ColorOp[0] = SelectArg1; ColorArg1[0] = Diffuse;
    AlphaOp[0] = SelectArg1; AlphaArg1[0] = Diffuse;
    ColorOp[1] = Disable; AlphaOp[1] = Disable;
)" BUILTIN_CONSTANTS R"(    VertexShader =
    decl
    {
    }
    asm
    {
      vs.1.1
      dcl_position v0
      dcl_color0 v5
      m4x4 r0, v0, c0
      m4x4 oPos, r0, c4
      mul oD0, v5, c8
    };
  }
}
)";

// 1: one texture x the vertex colour x FADE.
const char *const kEffect1 = "TEXTURE Tex;\n" BUILTIN_MATRICES R"(TECHNIQUE T0
{
  PASS P0
  {
    Texture[0] = <Tex>;
)" BUILTIN_STAGE0 BUILTIN_CONSTANTS R"(    VertexShader =
    decl
    {
    }
    asm
    {
      vs.1.1
      dcl_position v0
      dcl_color0 v5
      dcl_texcoord0 v7
      m4x4 r0, v0, c0
      m4x4 oPos, r0, c4
      mul oD0, v5, c8
      mov oT0.xy, v7
    };
  }
}
)";

// 2: Tex on pair 0 x Tex2 on pair 1 (clamped), the alpha of Tex2, x FADE.
const char *const kEffect2 = "TEXTURE Tex;\nTEXTURE Tex2;\n" BUILTIN_MATRICES R"(TECHNIQUE T0
{
  PASS P0
  {
    Texture[0] = <Tex>;
    Texture[1] = <Tex2>;
    AddressU[1] = Clamp; AddressV[1] = Clamp;
    ColorOp[0] = Modulate; ColorArg1[0] = Texture; ColorArg2[0] = Diffuse;
    AlphaOp[0] = SelectArg1; AlphaArg1[0] = Diffuse;
)" BUILTIN_STAGE1 BUILTIN_CONSTANTS R"(    VertexShader =
    decl
    {
    }
    asm
    {
      vs.1.1
      dcl_position v0
      dcl_texcoord0 v7
      dcl_texcoord1 v8
      m4x4 r0, v0, c0
      m4x4 oPos, r0, c4
      mov oD0, c8
      mov oT0.xy, v7
      mov oT1.xy, v8
    };
  }
}
)";

// 3: Tex x (AMBIENT + LIGHTCOLOR max(0, n.l) attenuation) x FADE for objects with normals.
// LIGHTVEC is (position, 1) or (-direction, 0); LIGHTATTEN is (1, linear, range, 0).
const char *const kEffect3 = "TEXTURE Tex;\n" BUILTIN_MATRICES
                             "VECTOR AMBIENT;\nVECTOR LIGHTVEC;\nVECTOR LIGHTCOLOR;\nVECTOR LIGHTATTEN;\n"
                             R"(TECHNIQUE T0
{
  PASS P0
  {
    Texture[0] = <Tex>;
)" BUILTIN_STAGE0 BUILTIN_CONSTANTS R"(    VertexShaderConstant1[9] = <AMBIENT>;
    VertexShaderConstant1[10] = <LIGHTVEC>;
    VertexShaderConstant1[11] = <LIGHTCOLOR>;
    VertexShaderConstant1[12] = <LIGHTATTEN>;
    VertexShaderConstant1[13] = { 0.0f, 1.0f, 0.0f, 0.0f };
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
      m4x4 r0, v0, c0
      m4x4 oPos, r0, c4
      m3x3 r1.xyz, v3, c0
      dp3 r1.w, r1, r1
      rsq r1.w, r1.w
      mul r1.xyz, r1, r1.w
      mul r2.xyz, r0, c10.w
      add r2.xyz, c10, -r2
      dp3 r3.x, r2, r2
      rsq r3.y, r3.x
      mul r2.xyz, r2, r3.y
      rcp r3.z, r3.y
      mad r3.w, c12.y, r3.z, c12.x
      rcp r3.w, r3.w
      slt r4.x, r3.z, c12.z
      mul r3.w, r3.w, r4.x
      dp3 r4.y, r1, r2
      max r4.y, r4.y, c13.x
      mul r4.y, r4.y, r3.w
      mov r6, c9
      mad r5, c11, r4.y, r6
      mul oD0, r5, c8
      mov oT0.xy, v7
    };
  }
}
)";

// 4: the glare billboard: corner offsets in v0.xy along the camera's axes around CENTRE.
const char *const kEffect4 = "TEXTURE Tex;\n" BUILTIN_MATRICES
                             "VECTOR CENTRE;\nVECTOR CAMRIGHT;\nVECTOR CAMUP;\n"
                             R"(TECHNIQUE T0
{
  PASS P0
  {
    Texture[0] = <Tex>;
)" BUILTIN_STAGE0 BUILTIN_CONSTANTS R"(    VertexShaderConstant1[9] = <CENTRE>;
    VertexShaderConstant1[10] = <CAMRIGHT>;
    VertexShaderConstant1[11] = <CAMUP>;
    VertexShader =
    decl
    {
    }
    asm
    {
      vs.1.1
      dcl_position v0
      dcl_color0 v5
      dcl_texcoord0 v7
      mov r1, c9
      mad r0, v0.x, c10, r1
      mad r0, v0.y, c11, r0
      m4x4 oPos, r0, c4
      mul oD0, v5, c8
      mov oT0.xy, v7
    };
  }
}
)";

// 5: the shadow darkening: clip-space corners, black at SHADOWALPHA.x where the stencil is not 0,
// clearing the stencil as it darkens.
const char *const kEffect5 = R"(VECTOR SHADOWALPHA;
TECHNIQUE T0
{
  PASS P0
  {
    ZEnable = False;
    ZWriteEnable = False;
    CullMode = None;
    AlphaBlendEnable = True;
    SrcBlend = SrcAlpha;
    DestBlend = InvSrcAlpha;
    StencilEnable = True;
    StencilFunc = NotEqual;
    StencilRef = 0;
    StencilPass = Replace;
    StencilFail = Keep;
    StencilZFail = Keep;
    ColorOp[0] = SelectArg1; ColorArg1[0] = Diffuse;
    AlphaOp[0] = SelectArg1; AlphaArg1[0] = Diffuse;
    ColorOp[1] = Disable; AlphaOp[1] = Disable;
    VertexShaderConstant1[0] = <SHADOWALPHA>;
    VertexShaderConstant1[1] = { 0.0f, 0.0f, 0.0f, 1.0f };
    VertexShader =
    decl
    {
    }
    asm
    {
      vs.1.1
      dcl_position v0
      mov oPos, v0
      mov r0, c1
      mul oD0, r0, c0.x
    };
  }
}
)";

// 6 and 7: Tex on pair 0 x Lightmap on pair 1 x the vertex colour x FADE; T0 a ps.1.4 program,
// T1, T2 and T4 two texture stages, T3 two passes (the lightmap multiplied into the frame). The
// lightmap is clamped in every technique: stage 0 still holds the texture's own addressing in T3.
#define PAIR_PARAMETERS "TEXTURE Tex;\nTEXTURE Lightmap;\n" BUILTIN_MATRICES
#define PAIR_STAGES_TECHNIQUE(name)                                                                                 \
    "TECHNIQUE " name                                                                                               \
    "\n{\n  PASS P0\n  {\n    Texture[0] = <Tex>;\n    Texture[1] = <Lightmap>;\n"                                  \
    "    AddressU[1] = Clamp; AddressV[1] = Clamp;\n"                                                               \
    "    ColorOp[0] = Modulate; ColorArg1[0] = Texture; ColorArg2[0] = Diffuse;\n"                                  \
    "    AlphaOp[0] = Modulate; AlphaArg1[0] = Texture; AlphaArg2[0] = Diffuse;\n" BUILTIN_STAGE1 BUILTIN_CONSTANTS \
        BUILTIN_VS_TWO_PAIRS "  }\n}\n"

const char *const kEffectPair = PAIR_PARAMETERS R"(TECHNIQUE T0
{
  PASS P0
  {
    Texture[0] = <Tex>;
    Texture[1] = <Lightmap>;
    AddressU[1] = Clamp; AddressV[1] = Clamp;
)" BUILTIN_CONSTANTS BUILTIN_VS_TWO_PAIRS R"(    PixelShader =
    asm
    {
      ps.1.4
      texld r0, t0
      texld r1, t1
      mul r0, r0, r1
      mul r0, r0, v0
    };
  }
}
)" PAIR_STAGES_TECHNIQUE("T1") PAIR_STAGES_TECHNIQUE("T2") R"(TECHNIQUE T3
{
  PASS P0
  {
    Texture[0] = <Tex>;
)" BUILTIN_STAGE0 BUILTIN_CONSTANTS BUILTIN_VS_TWO_PAIRS R"(  }
  PASS P1
  {
    Texture[0] = <Lightmap>;
    AddressU[0] = Clamp; AddressV[0] = Clamp;
    ColorOp[0] = SelectArg1; ColorArg1[0] = Texture;
    AlphaOp[0] = SelectArg1; AlphaArg1[0] = Texture;
    ColorOp[1] = Disable; AlphaOp[1] = Disable;
    AlphaBlendEnable = True;
    SrcBlend = DestColor;
    DestBlend = Zero;
    ZFunc = LessEqual;
    ZWriteEnable = False;
)" BUILTIN_CONSTANTS R"(    VertexShader =
    decl
    {
    }
    asm
    {
      vs.1.1
      dcl_position v0
      dcl_texcoord1 v8
      m4x4 r0, v0, c0
      m4x4 oPos, r0, c4
      mov oT0.xy, v8
    };
  }
}
)" PAIR_STAGES_TECHNIQUE("T4");

// 8: shadow volumes. Vertices whose face looks away from the light (normal x3 WORLD) and whose
// pair 0 x is 1 move away from it by EXTRUDE.x; colour writes off. T0 counts both sides in one
// pass (two-sided stencil); T1 to T7 in two passes, front faces up and back faces down.
#define VOLUME_VS                                                                             \
    "    VertexShaderConstant4[0] = <WORLD>;\n    VertexShaderConstant4[4] = <VIEWPROJ>;\n"   \
    "    VertexShaderConstant1[8] = <LIGHTVEC>;\n    VertexShaderConstant1[9] = <EXTRUDE>;\n" \
    "    VertexShaderConstant1[10] = { 0.0f, 1.0f, 0.0f, 0.0f };\n"                           \
    "    VertexShader =\n    decl\n    {\n    }\n    asm\n    {\n      vs.1.1\n"              \
    "      dcl_position v0\n      dcl_normal v3\n      dcl_texcoord0 v7\n"                    \
    "      m4x4 r0, v0, c0\n      m3x3 r1.xyz, v3, c0\n"                                      \
    "      mul r2.xyz, r0, c8.w\n      add r2.xyz, r2, -c8\n"                                 \
    "      dp3 r3.x, r2, r2\n      rsq r3.x, r3.x\n      mul r2.xyz, r2, r3.x\n"              \
    "      dp3 r3.y, r1, r2\n      slt r3.z, c10.x, r3.y\n      mul r3.z, r3.z, v7.x\n"       \
    "      mul r3.z, r3.z, c9.x\n      mad r0.xyz, r2, r3.z, r0\n      m4x4 oPos, r0, c4\n"   \
    "      mov oD0, c10.x\n    };\n"
#define VOLUME_STATES                                                                                       \
    "    ZWriteEnable = False;\n    AlphaBlendEnable = True;\n    SrcBlend = Zero;\n    DestBlend = One;\n" \
    "    StencilEnable = True;\n    StencilFunc = Always;\n    StencilFail = Keep;\n"                       \
    "    StencilZFail = Keep;\n"
#define VOLUME_TWO_PASS_TECHNIQUE(name)                                                                                \
    "TECHNIQUE " name "\n{\n  PASS P0\n  {\n" VOLUME_STATES "    CullMode = Ccw;\n    StencilPass = Incr;\n" VOLUME_VS \
    "  }\n  PASS P1\n  {\n" VOLUME_STATES "    CullMode = Cw;\n    StencilPass = Decr;\n" VOLUME_VS "  }\n}\n"

const char *const kEffect8 =
    "MATRIX WORLD;\nMATRIX VIEWPROJ;\nVECTOR LIGHTVEC;\nVECTOR EXTRUDE;\n"
    "TECHNIQUE T0\n{\n  PASS P0\n  {\n" VOLUME_STATES
    "    CullMode = None;\n    TwoSidedStencilMode = True;\n    StencilPass = Incr;\n"
    "    Ccw_StencilFunc = Always;\n    Ccw_StencilPass = Decr;\n    Ccw_StencilFail = Keep;\n"
    "    Ccw_StencilZFail = Keep;\n" VOLUME_VS "  }\n}\n" VOLUME_TWO_PASS_TECHNIQUE("T1")
        VOLUME_TWO_PASS_TECHNIQUE("T2") VOLUME_TWO_PASS_TECHNIQUE("T3") VOLUME_TWO_PASS_TECHNIQUE("T4")
            VOLUME_TWO_PASS_TECHNIQUE("T5") VOLUME_TWO_PASS_TECHNIQUE("T6") VOLUME_TWO_PASS_TECHNIQUE("T7");

const char *const kTexts[9] = {kEffect0, kEffect1,    kEffect2,    kEffect3, kEffect4,
                               kEffect5, kEffectPair, kEffectPair, kEffect8};

}  // namespace

const char *render_builtin_text(int32_t n) { return n >= 0 && n < 9 ? kTexts[n] : nullptr; }

void render_builtin_create(RenderContext *context)
{
    if (!context->device) return;
    for (int32_t n = 0; n < 9; n++) {
        if (context->effects[n]) continue;
        ID3DXBuffer *errors = nullptr;
        const char *text = kTexts[n];
        HRESULT hr = D3DXCreateEffect(context->device, text, UINT(strlen(text)), nullptr, nullptr, 0, nullptr,
                                      &context->effects[n], &errors);
        if (SUCCEEDED(hr)) {
            if (errors) errors->Release();
            continue;
        }
        context->effects[n] = nullptr;
        char line[512];
        snprintf(line, sizeof line, "render_builtin_create: built-in effect %d: %s", int(n),
                 errors ? static_cast<const char *>(errors->GetBufferPointer()) : "not created");
        render_log_line(line);
        if (errors) errors->Release();
    }
}
