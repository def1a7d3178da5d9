// The built-in function library: every member with an assembler form checked by value through the
// assembler interpreter against the C math library, the text forms of the other targets, and the
// calls that have no form or lack arguments.
#include "tests/shader/asm_interpreter.h"
#include "tests/shader/shader_test_util.h"

#include <cmath>

namespace {

using Lines = std::vector<std::string>;
typedef std::map<std::string, std::vector<float>> Parameters;

const uint32_t kEffect = 0x10002, kModel2 = 0x40000 | 0x2000 | 0x1000 | 0x800;

class BuiltinTest : public CompilerTest {
protected:
    char *text = nullptr;

    ~BuiltinTest() override
    {
        free(text);
        shader_release_compiler(c);
        shader_set_work_registers(false);
    }

    // The effect text of a one-pass script ("" when it does not compile).
    std::string compile(const std::string &level, const std::string &sections, uint32_t options = kEffect)
    {
        free(text);
        text = nullptr;
        shader_compiler_reset(c);
        std::string script = "[DEFINES] VECTOR a; VECTOR b; VECTOR k; MATRIX M; PSCONST half=0.5,0.25,0.75,1;\n"
                             "[TECHNIQUE] " + level + " [PASS0]\n" + sections;
        if (!shader_compile_script(c, script.c_str(), options)) return "";
        text = shader_build_effect_text(c);
        return text;
    }

    // Runs the vertex program of [POSITION] `code` with the parameters; gives oPos.
    AsmVector vertex(const std::string &code, const Parameters &p, bool model2 = false)
    {
        std::string effect = compile(model2 ? "MODEL2X" : "All", "[POSITION] " + code, kEffect | kModel2);
        EXPECT_NE(effect, "") << code << ": " << c->error_statement << " " << c->capacity_error;
        AsmMachine m;
        std::vector<std::string> lines;
        std::string error;
        EXPECT_TRUE(asm_program_of(effect, false, p, &m, &lines, &error)) << error;
        EXPECT_TRUE(asm_run(&m, lines, &error)) << error << "\n" << effect;
        return m.o_pos;
    }

    // Runs the pixel program of [SHADER] `code` with the colour and coordinate inputs; gives the
    // result (r0 of pixel shader 1.4, oC0 at shader model 2).
    AsmVector pixel(const std::string &code, AsmVector diffuse, AsmVector tex0, bool model2)
    {
        std::string effect = compile(model2 ? "MODEL2X" : "SHADERS",
                                     "[POSITION] oPos=iPos; [DIFFUSE] oDiffuse=iPos; [MAPPING0] oTexture0=iPos;"
                                     "[SHADER] " + code,
                                     kEffect | kModel2);
        EXPECT_NE(effect, "") << code << ": " << c->error_statement << " " << c->capacity_error;
        AsmMachine m;
        m.v[0] = diffuse;
        m.t[0] = tex0;
        std::vector<std::string> lines;
        std::string error;
        EXPECT_TRUE(asm_program_of(effect, true, {}, &m, &lines, &error)) << error;
        EXPECT_TRUE(asm_run(&m, lines, &error)) << error << "\n" << effect;
        return model2 ? m.o_c : m.r[0];
    }

    // The lines a [POSITION] statement writes in the vertex program (empty when it fails).
    Lines vertex_lines(const std::string &level, const std::string &code, uint32_t options = kEffect | kModel2)
    {
        std::string effect = compile(level, "[POSITION] " + code, options);
        Lines out;
        if (effect.empty()) return out;
        if (level == "MODEL3") {
            // The body follows the first two empty lines in a row of the main function.
            Lines all = lines_of(c->vertex_main_lines[0]);
            size_t i = 1;
            while (i < all.size() && !(all[i].empty() && all[i - 1].empty())) i++;
            while (i < all.size() && all[i].empty()) i++;
            for (; i < all.size() && !all[i].empty(); i++) out.push_back(all[i]);
            return out;
        }
        size_t start = effect.find('\n', effect.find("      vs.")) + 1;
        for (size_t at = start; at < effect.size();) {
            size_t end = effect.find('\n', at);
            std::string line = effect.substr(at, end - at);
            size_t lead = line.find_first_not_of(' ');
            if (lead == std::string::npos || line.find("};") != std::string::npos) break;
            if (line.compare(lead, 3, "dcl") != 0) out.push_back(line.substr(lead));
            at = end + 1;
        }
        return out;
    }
};

void expect_near(const AsmVector &got, const AsmVector &want, float bound, const std::string &what)
{
    for (size_t i = 0; i < 4; i++) EXPECT_NEAR(got[i], want[i], bound) << what << " component " << i;
}

AsmVector splat(float x)
{
    return {x, x, x, x};
}

const std::vector<float> kA = {0.5f, -0.25f, 0.75f, 2.0f};
const std::vector<float> kB = {0.6f, 0.5f, -0.8f, 0.2f};
const std::vector<float> kK = {0.25f, 0.75f, -1.0f, 0.5f};
// A matrix with rotation, scale and translation, row by row (row vectors).
const std::vector<float> kM = {0.0f, 1.0f, 0.0f, 0.0f, -2.0f, 0.0f, 0.0f, 0.0f,
                               0.0f, 0.0f, 3.0f, 0.0f, 5.0f, 6.0f, 7.0f, 1.0f};

float dot3(const std::vector<float> &a, const std::vector<float> &b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// ---- values ---------------------------------------------------------------------------------------

TEST_F(BuiltinTest, DotProducts)
{
    Parameters p = {{"a", kA}, {"b", kB}};
    float d3 = dot3(kA, kB), d4 = d3 + kA[3] * kB[3];
    expect_near(vertex("oPos=dot(a,b);", p), splat(d3), 1e-6f, "dot");
    expect_near(vertex("oPos=dot4(a,b);", p), splat(d4), 1e-6f, "dot4");
    expect_near(vertex("oPos=dot_sat(a,b);", p), splat(0), 1e-6f, "dot_sat");
    // Vectors stored in 0..1 as signed ones: dot(2a - 1, 2b - 1).
    AsmVector x = {0.9f, 0.2f, 0.6f, 1}, y = {0.3f, 0.8f, 0.5f, 1};
    float want = 0;
    for (size_t i = 0; i < 3; i++) want += (2 * x[i] - 1) * (2 * y[i] - 1);
    expect_near(pixel("Out=dotbx2(Diffuse,Tex0);", x, y, false), splat(want), 1e-6f, "dotbx2 at pixel shader 1.4");
    expect_near(pixel("Out=dotbx2(Diffuse,Tex0);", x, y, true), splat(want), 1e-6f, "dotbx2 at shader model 2");
}

TEST_F(BuiltinTest, LogarithmsExponentialsRoundingAndRoots)
{
    Parameters p = {{"a", {2.5f, -1.75f, 8.0f, -0.5f}}};
    expect_near(vertex("oPos=log2(a.z);", p), splat(3), 1e-6f, "log2");
    expect_near(vertex("oPos=exp2(a.x);", p), splat(std::exp2(2.5f)), 1e-5f, "exp2");
    expect_near(vertex("oPos=abs(a);", p), {2.5f, 1.75f, 8, 0.5f}, 1e-6f, "abs");
    expect_near(vertex("oPos=floor(a);", p), {2, -2, 8, -1}, 1e-6f, "floor");
    expect_near(vertex("oPos=a; oPos.xy=floor(a.wy);", p), {-1, -2, 8, -0.5f}, 1e-6f, "floor with selections");
    expect_near(vertex("oPos=rsq(a.z);", p), splat(1 / std::sqrt(8.0f)), 1e-6f, "rsq");
    expect_near(vertex("oPos=rsqrt(a.z);", p), splat(1 / std::sqrt(8.0f)), 1e-6f, "rsqrt");
}

// The series run on the reduced argument; each bound is the first left-out term at the edge of the
// range (for sin and cos b^7/5040 at b = pi/2, about 0.0047).
TEST_F(BuiltinTest, TrigonometricSeries)
{
    for (float x : {-9.0f, -3.0f, -1.5f, -0.4f, 0.0f, 0.7f, 1.57f, 2.5f, 3.1f, 4.0f, 10.0f}) {
        Parameters p = {{"a", {x, 0, 0, 0}}};
        std::string at = " at " + std::to_string(x);
        expect_near(vertex("oPos=sin(a.x);", p), splat(std::sin(x)), 0.005f, "sin" + at);
        expect_near(vertex("oPos=cos(a.x);", p), splat(std::cos(x)), 0.005f, "cos" + at);
    }
    // tan and atan: the series of x up to x^7; within |x| <= 0.5 the next term is below 3e-4.
    for (float x : {-0.5f, -0.2f, 0.0f, 0.3f, 0.5f}) {
        Parameters p = {{"a", {x, 0, 0, 0}}};
        std::string at = " at " + std::to_string(x);
        expect_near(vertex("oPos=tan(a.x);", p), splat(std::tan(x)), 1e-4f, "tan" + at);
        expect_near(vertex("oPos=atan(a.x);", p), splat(std::atan(x)), 3e-4f, "atan" + at);
        // asin and acos keep the coefficients 1/6, 1/120 and 1/5040 of their series: within
        // |x| <= 0.5 they are off by at most 0.0026 (asin(0.5) gives 0.5211).
        expect_near(vertex("oPos=asin(a.x);", p), splat(std::asin(x)), 0.0026f, "asin" + at);
        expect_near(vertex("oPos=acos(a.x);", p), splat(std::acos(x)), 0.0026f, "acos" + at);
    }
    // A destination with a selection takes the last line itself.
    expect_near(vertex("oPos=a; oPos.y=sin(a.x);", {{"a", {0.5f, 0, 0, 1}}}), {0.5f, std::sin(0.5f), 0, 1}, 0.005f,
                "sin into .y");
    // Pixel code at shader model 2 has sincos, which is exact here.
    expect_near(pixel("Out=sin(Diffuse.x); Out.x=cos(Diffuse.x);", {2, 0, 0, 0}, {}, true),
                {std::cos(2.0f), std::sin(2.0f), std::sin(2.0f), std::sin(2.0f)}, 1e-6f, "sincos");
}

// ---- forms ----------------------------------------------------------------------------------------

TEST_F(BuiltinTest, SineSeriesAgainstSincos)
{
    Lines series = vertex_lines("All", "x=sin(a.x); oPos=x;");
    ASSERT_EQ(series.size(), 23u);
    // x is r0; T (r1) is taken for the argument even when it needs none; W is r2, V r3.
    EXPECT_EQ(series.front(), "add r3.x,c0.x,c7.x");
    EXPECT_EQ(series[21], "mov r0.yzw,r0.x");
    // An output register cannot be read back for the copy: the last line writes all of it.
    series = vertex_lines("All", "oPos=sin(a.x);");
    ASSERT_EQ(series.size(), 21u);
    EXPECT_EQ(series.back(), "mul oPos,r2.x,r1.x");
    // The argument is already one component: used as it stands.
    EXPECT_EQ(vertex_lines("All", "oPos.x=cos(a.y);").front(), "add r2.x,c0.y,c7.w");
}

TEST_F(BuiltinTest, ExpressionForms)
{
    // A member that writes part of D returns that part; the statement moves it into D.
    EXPECT_EQ(vertex_lines("MODEL3", "x=vec3(a,b,k); oPos=x;"),
              (Lines{"r0.xyz = float3( a, b, k );", "r0 = r0.xyz;", "o.p0 = r0;"}));
    EXPECT_EQ(vertex_lines("MODEL3", "x.x=dot(a,b); oPos=x;"), (Lines{"r0.x = dot( a.xyz , b.xyz );", "o.p0 = r0;"}));
    EXPECT_EQ(vertex_lines("MODEL3", "x=dot(a,b); oPos=x;"),
              (Lines{"r0.x = dot( a.xyz , b.xyz );", "r0 = r0.xxxx;", "o.p0 = r0;"}));
    EXPECT_EQ(vertex_lines("MODEL3", "x.xy=bx2(a.xy); oPos=x;"),
              (Lines{"r0.xy = 2.0 * (a.xy - float2(0.5f,0.5f));", "o.p0 = r0;"}));
    EXPECT_EQ(vertex_lines("MODEL3", "x=log2(a.xyz); oPos=x;"), (Lines{"r0.xyz = log2( a.xyz );", "r0 = r0.xyz;",
                                                                       "o.p0 = r0;"}));
    EXPECT_EQ(vertex_lines("MODEL3", "x=mix(a,b,k); y=mod(a,b); oPos=x+y;"),
              (Lines{"r0 = lerp( a , b , k);", "r1 = fmod( a , b );", "o.p0 = r0 + r1;"}));
    EXPECT_EQ(vertex_lines("MODEL3", "rep(2); x=iter(0); endrep; oPos=x;"),
              (Lines{"[loop] for (int a0=0;a0<2;a0++)", "{", "r0.x = (float) a0;", "r0 = r0.x;", "}", "o.p0 = r0;"}));
    EXPECT_EQ(vertex_lines("MODEL3", "x=ValueToRGB(a.x); y=RGBToValue(x); oPos=y;"),
              (Lines{"r0.x = frac( 256.0f * a.x );", "r0.y = trunc( 256.0f * a.x) / 256.0f;",
                     "r0.zw = float2(0.0f,0.0f);", "r1.x = (256.0f * r0.g + r0.r)/256.0f;", "r1 = r1.xxxx;",
                     "o.p0 = r1;"}));
    EXPECT_EQ(vertex_lines("MODEL3", "x=sample.xyz(0,iTexture0); oPos=x;").front(), "r1 = tex2D(s0, i.v7.xy);");
    // clamp has one text in every form; the assembler's effect compiler refuses it.
    EXPECT_EQ(vertex_lines("All", "x=clamp(a,b,k); oPos=x;"), (Lines{"r0 = clamp( c0 , c1 , c2 )", "mov oPos,r0"}));
}

TEST_F(BuiltinTest, CallsWithoutAFormOrArgumentsAreErrors)
{
    const char *no_form[] = {"vec3(a,b,k)", "refract(a,b,k)", "smoothstep(a,b,k)", "log(a)", "exp(a)",
                             "trunc(a)", "round(a)", "degrees(a)", "radians(a)", "sqrt(a)", "reflect(a,b)",
                             "mod(a,b)", "atan2(a,b)", "sat(a)", "ValueToRGB(a)", "RGBToValue(a)", "pow(a,b)",
                             "sample.xyz(0,a)"};
    for (const char *call : no_form) {
        std::string statement = std::string("oPos=") + call;
        EXPECT_EQ(compile("All", "[POSITION] x=iPos; " + statement + ";"), "") << call;
        EXPECT_STREQ(c->capacity_error, "No form of this built-in function for the target") << call;
        EXPECT_EQ(c->error_statement, statement) << call;
    }
    for (const char *call : {"max(a)", "mix(a,b)", "clamp(a,b)", "atan2(a)", "interpolate(a,b,k)", "mixer",
                             "dot(a,b,k)"}) {
        EXPECT_EQ(compile("MODEL3", std::string("[POSITION] oPos=") + call + ";", kEffect | kModel2), "") << call;
        EXPECT_EQ(c->syntax_error, 1) << call;
    }
    // iter outside the expression forms is no call of iter; the name then resolves to nothing.
    EXPECT_EQ(compile("All", "[POSITION] oPos=iter(0);"), "");
}

TEST_F(BuiltinTest, RecordedOperations)
{
    shader_compiler_reset(c);
    ASSERT_TRUE(shader_compile_script(c,
                                      "[DEFINES] VECTOR a; VECTOR b;\n[TECHNIQUE] All [PASS0] [POSITION] "
                                      "x=sin(a); y=normalize(b); z=max(x,y); oPos=tgt(z,b);",
                                      0x4000))
        << c->error_statement;
    const PassConstBlock *block = c->pass_const_blocks[0];
    ASSERT_NE(block, nullptr);
    std::vector<uint32_t> ops;
    for (uint32_t i = 0; i < block->op_count; i++) ops.push_back(block->ops[i].op);
    EXPECT_EQ(ops, (std::vector<uint32_t>{14, 13, 5, 3, 11, 22}));
    // A member without a recorded operation has no form here.
    shader_compiler_reset(c);
    EXPECT_FALSE(shader_compile_script(c, "[DEFINES] VECTOR a;\n[TECHNIQUE] All [PASS0] [POSITION] oPos=mul(a,a);",
                                       0x4000));
}

} // namespace
