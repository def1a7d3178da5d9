// Whole compiles: the effect text of the smallest standard script, technique choice by the device's
// capabilities, HLSL mode, user functions and macros in both modes, declarations and GL text.
#include "tests/shader/shader_test_util.h"

namespace {

using Lines = std::vector<std::string>;

const uint32_t kEffect = 0x10002;
const uint32_t kMultitexture = 0x800, kDot3 = 0x1000, kPs14 = 0x2000, kPs20 = 0x40000;
const uint32_t kAllCaps = kMultitexture | kDot3 | kPs14 | kPs20;

// The smallest standard script: XYZ NORMAL TEX0, one, WORLD and VIEWPROJ, one pass for all cards.
const char *const kSmallest = "// the smallest standard script\r\n"
                              "[VERTEXFORMAT]\r\n"
                              "XYZ NORMAL TEX0\r\n"
                              "[DEFINES]\r\n"
                              "CONST one=1.0,1.0,1.0,1.0;\r\n"
                              "MATRIX WORLD;\r\n"
                              "MATRIX VIEWPROJ;\r\n"
                              "[TECHNIQUE]\r\n"
                              "All Cards\r\n"
                              "[PASS0]\r\n"
                              "[POSITION]\r\n"
                              "tmp=iPos*4WORLD;\r\n"
                              "oPos=tmp*4VIEWPROJ;\r\n"
                              "[DIFFUSE]\r\n"
                              "oDiffuse=one;\r\n"
                              "[RENDER_STATE]\r\n"
                              "BLEND TRUE\r\n"
                              "SRCBLEND SRCALPHA\r\n"
                              "DSTBLEND INVSRCALPHA\r\n"
                              "COLOROP[0] MODULATE\r\n"
                              "COLORARG1[0] DIFFUSE\r\n"
                              "[END]\r\n";

const char *const kSmallestEffect =
    "MATRIX WORLD;\n"
    "MATRIX VIEWPROJ;\n"
    "\n"
    "TECHNIQUE T0\n"
    "{\n"
    "  \n"
    "  PASS P0\n"
    "  {\n"
    "    ColorOp[0] = Modulate;\n"
    "    ColorArg1[0] = Diffuse;\n"
    "    AlphaBlendEnable = True;\n"
    "    SrcBlend = SrcAlpha;\n"
    "    DestBlend = InvSrcAlpha;\n"
    "    \n"
    "    \n"
    "    VertexShaderConstant1[0] = { 1.00000000f,1.00000000f,1.00000000f,1.00000000f };\n"
    "    VertexShaderConstant4[1] = <WORLD>;\n"
    "    VertexShaderConstant4[5] = <VIEWPROJ>;\n"
    "    VertexShaderConstant1[9] = { 3.14159274f,0.15915494f,6.28318548f,4.71238899f };\n"
    "    VertexShaderConstant1[10] = { 0.00000000f,1.57079637f,1.00000000f,3.14159274f };\n"
    "    VertexShaderConstant1[11] = { 0.16666667f,0.00833333f,0.00019841f,0.50000000f };\n"
    "    VertexShaderConstant1[12] = { 0.33333334f,0.13333334f,0.05396825f,0.10000000f };\n"
    "    VertexShaderConstant1[13] = { -0.33333334f,0.20000000f,-0.14285715f,0.25000000f };\n"
    "    \n"
    "    VertexShader =\n"
    "    decl\n"
    "    {\n"
    "    }\n"
    "    asm\n"
    "    {\n"
    "      vs.1.1\n"
    "      dcl_position v0\n"
    "      dcl_normal v3\n"
    "      dcl_texcoord0 v7\n"
    "      m4x4 r0,v0,c1\n"
    "      m4x4 oPos,r0,c5\n"
    "      mov oD0,c0\n"
    "    };\n"
    "    \n"
    "    \n"
    "  }\n"
    "}\n"
    "\n";

class ScriptTest : public CompilerTest {
protected:
    char *text = nullptr;

    ~ScriptTest() override
    {
        free(text);
        shader_release_compiler(c);
        shader_set_work_registers(false);
    }

    // Compiles into a fresh compiler; the effect text when it compiled, else "".
    std::string compile(const char *script, uint32_t options)
    {
        free(text);
        text = nullptr;
        shader_compiler_reset(c);
        if (!shader_compile_script(c, script, options)) return "";
        text = shader_build_effect_text(c);
        return text;
    }
};

TEST_F(ScriptTest, SmallestStandardScript)
{
    EXPECT_EQ(compile(kSmallest, kEffect | kAllCaps), kSmallestEffect);
    EXPECT_EQ(c->const_register_count, 14);
    EXPECT_EQ(c->vertex_format, 0x4u | 0x8u | 0x40u);
    EXPECT_EQ(c->pass_count, 1);
}

TEST_F(ScriptTest, NoTechniqueFitsIsAFailure)
{
    EXPECT_EQ(compile("[TECHNIQUE] SHADERS [PASS0] [POSITION] oPos=iPos;", kEffect | kMultitexture), "");
    EXPECT_EQ(c->no_technique, 1);
    EXPECT_EQ(c->syntax_error, 0);
}

TEST_F(ScriptTest, BadDeclarationsAndTooManyTechniques)
{
    EXPECT_EQ(compile("[DEFINES] MATRIX M[x]; [TECHNIQUE] All [PASS0] [POSITION] oPos=iPos;", kEffect), "");
    EXPECT_EQ(c->syntax_error, 1);
    EXPECT_STREQ(c->error_statement, "M[x]");

    std::string five;
    for (int i = 0; i < 5; i++) five += "[TECHNIQUE] All [PASS0] [POSITION] oPos=iPos;\n";
    EXPECT_EQ(compile(five.c_str(), kEffect), "");
    EXPECT_STREQ(c->capacity_error, "Too many techniques");
}

// A model-2 pass with vertex and pixel functions, a macro of two arguments and a sampled texture.
const char *const kFunctions = "[VERTEXFORMAT] XYZ NORMAL DIFFUSE TEX0\n"
                               "[DEFINES] MATRIX WVP; VECTOR LightDir; PSCONST tint=1,0.5,0.25,1; TEXTURE Decal;\n"
                               "[MACROS]\n"
                               "SCALE(v,k)\n"
                               "{\n"
                               "  w = v*k;\n"
                               "  w\n"
                               "}\n"
                               "[TECHNIQUE] MODEL2X\n"
                               "[PASS0]\n"
                               "[FUNCTIONS]\n"
                               "float3 lambert(vector3 n, vector3 l) { d = n|l; d }\n"
                               "[POSITION] oPos=iPos*4WVP;\n"
                               "[DIFFUSE] oDiffuse=lambert(iNorm,LightDir)*iDiffuse; oDiffuse.w=SCALAR_ONE;\n"
                               "[MAPPING0] oTexture0=SCALE(iTexture0,SCALAR_HALF);\n"
                               "[PSFUNCTIONS]\n"
                               "float4 shade(vec4 c) { e = c*tint; e }\n"
                               "[SHADER] Out=shade(Diffuse);\n"
                               "[RENDER_STATE] TEXTURE[0] Decal\n";

TEST_F(ScriptTest, UserFunctionsAndMacrosInHlsl)
{
    std::string script = std::string(kFunctions);
    script.replace(script.find("MODEL2X"), 7, "MODEL3");
    std::string effect = compile(script.c_str(), kEffect | kAllCaps);
    ASSERT_NE(effect, "") << c->error_statement;
    for (const char *expected : {"float3 lambert(float3 n,float3 l)\n{\n  float4 r0;\n  float4 r1;\n"
                                 "  r1.x = dot(n.xyz,l.xyz);\n  r0 = r1.xxxx;\n  return r0;\n}\n",
                                 "  r0.xyz = lambert(i.v3,LightDir);\n  o.v0 = r0 * i.v5;\n",
                                 "  r0 = i.v7;\n  r1 = trigo_cst2.w;\n  r2 = r0 * r1;\n  o.t0 = r2;\n",
                                 "float4 shade(float4 c)\n{\n  float4 r0;\n  r0 = c * tint;\n  return r0;\n}\n",
                                 "  r0 = shade(i.v0);\n  o.Out = r0;\n  return o;\n",
                                 "sampler s0 = \nsampler_state\n{\n  Texture = <Decal>;\n"}) {
        EXPECT_NE(effect.find(expected), std::string::npos) << expected << "\n---\n" << effect;
    }
    // Where each function and main function begins in the text, for error mapping.
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = effect.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(effect.substr(at, end - at));
    EXPECT_EQ(lines[(size_t)c->vertex_function_line_numbers[0]], "float3 lambert(float3 n,float3 l)");
    EXPECT_EQ(lines[(size_t)c->vertex_main_line_numbers[0]], "VS_OUTPUT0 RenderPassVS0(VS_INPUT i)");
    EXPECT_EQ(lines[(size_t)c->pixel_function_line_numbers[0]], "float4 shade(float4 c)");
    EXPECT_EQ(lines[(size_t)c->pixel_main_line_numbers[0]], "PS_OUTPUT RenderPassPS0(VS_OUTPUT0 i)");
    EXPECT_STREQ(c->vertex_function_names[0], "lambert");
}

TEST_F(ScriptTest, MacroArgumentsSplitAtTopLevelCommas)
{
    const char *script = "[DEFINES] VECTOR a; VECTOR b;\n"
                         "[MACROS]\nMIX3(x,y,z){ t = x+y; t = t*z; t }\n"
                         "[TECHNIQUE] All [PASS0] [POSITION] v=iPos; oPos=MIX3(a, b, v*v);\n";
    std::string effect = compile(script, kEffect);
    ASSERT_NE(effect, "") << c->error_statement;
    EXPECT_NE(effect.find("      mov r0,v0\n"
                          // the expression argument is computed in the caller, then all three are bound
                          "      mul r1,r0,r0\n"
                          "      mov r2,c0\n"
                          "      mov r3,c1\n"
                          "      mov r4,r1\n"
                          "      add r5,r2,r3\n"
                          "      mul r5,r5,r4\n"
                          "      mov oPos,r5\n"),
              std::string::npos)
        << effect;
    // A macro called with the wrong number of arguments is an error.
    EXPECT_EQ(compile("[MACROS]\nM(x,y){x}\n[TECHNIQUE] All [PASS0] [POSITION] oPos=M(iPos);", kEffect), "");
    EXPECT_EQ(c->syntax_error, 1);
    // A macro that calls itself stops with an error, at once.
    EXPECT_EQ(compile("[MACROS]\nM(x){y=M(x);y}\n[TECHNIQUE] All [PASS0] [POSITION] oPos=M(iPos);", kEffect), "");
    EXPECT_STREQ(c->capacity_error, "A macro calls itself");
    // Macros that each call the next twice would expand 2^16 times: the compile stops early.
    std::string chain = "[MACROS]\n";
    for (int k = 0; k < 16; k++) {
        char macro[64];
        snprintf(macro, sizeof macro, "M%d(x){y=M%d(x);y=M%d(y);y}\n", k, k + 1, k + 1);
        chain += macro;
    }
    chain += "M16(x){x}\n[TECHNIQUE] All [PASS0] [POSITION] oPos=M0(iPos);";
    EXPECT_EQ(compile(chain.c_str(), kEffect), "");
    EXPECT_LT(c->effect_lines.count, 10000);
}

TEST_F(ScriptTest, GlProgramText)
{
    const char *xyz = "[VERTEXFORMAT] XYZ [DEFINES] MATRIX M;\n[TECHNIQUE] MODEL2X [PASS0] [POSITION] oPos=iPos*4M;";
    EXPECT_EQ(compile(xyz, 0x1 | kAllCaps),
              "attribute vec4 VertexPosition;\n"
              "\n"
              "uniform mat4 M;\n"
              "const vec4 trigo_mod = vec4( 3.14159274,0.15915494,6.28318548,4.71238899 );\n"
              "const vec4 trigo_cst = vec4( 0.00000000,1.57079637,1.00000000,3.14159274 );\n"
              "const vec4 trigo_cst2 = vec4( 0.16666667,0.00833333,0.00019841,0.50000000 );\n"
              "const vec4 trigo_cst3 = vec4( 0.33333334,0.13333334,0.05396825,0.10000000 );\n"
              "const vec4 trigo_cst4 = vec4( -0.33333334,0.20000000,-0.14285715,0.25000000 );\n"
              "\n"
              "void main(void)\n"
              "{\n"
              "  \n"
              "  vec4 r0;\n  vec4 r1;\n  vec4 r2;\n  vec4 r3;\n  vec4 r4;\n  vec4 r5;\n"
              "  vec4 r6;\n  vec4 r7;\n  vec4 r8;\n  vec4 r9;\n  vec4 r10;\n  vec4 r11;\n"
              "  vec4 r12;\n  vec4 r13;\n  vec4 r14;\n  vec4 r15;\n  vec4 r29;\n  vec4 r30;\n"
              "  vec4 r31;\n"
              "  \n"
              "  \n"
              "  gl_Position = M * VertexPosition;\n"
              "}\n");
    std::string morph = compile("[VERTEXFORMAT] XYZ MORPH\n[TECHNIQUE] MODEL2X [PASS0] [POSITION] oPos=iPos;",
                                0x1 | kAllCaps);
    EXPECT_EQ(morph.rfind("attribute vec4 VertexPosition;\nattribute vec3 VertexNormal;\n"
                          "attribute vec4 VertexPosition2;\nattribute vec3 VertexNormal2;\n"
                          "attribute vec2 MultiTexCoord0;\n\n",
                          0),
              0u);

    std::string arb = compile("[DEFINES] MATRIX M;\n[TECHNIQUE] All [PASS0] [POSITION] oPos=iPos*4M;", 0x1);
    EXPECT_EQ(arb.rfind("!!ARBvp1.0\nATTRIB iPos = vertex.attrib[0];\n", 0), 0u);
    EXPECT_NE(arb.find("PARAM M[4] = { program.env[0..3] };\n"), std::string::npos);
    EXPECT_NE(arb.find("DP4 oPos.x,iPos,M[0];\nDP4 oPos.y,iPos,M[1];\n"), std::string::npos);
    EXPECT_EQ(arb.substr(arb.size() - 4), "END\n");
}

} // namespace
