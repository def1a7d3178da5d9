// Operands, expressions and statements: whole translated sections in assembler, HLSL and
// recorded-operation form, the resolver's edge cases, and errors that let translation go on.
#include "tests/shader/shader_test_util.h"

namespace {

using Lines = std::vector<std::string>;

class TranslateTest : public CompilerTest {
protected:
    TextLineList out;

    TranslateTest() { shader_scratch_reset(); }
    ~TranslateTest() override
    {
        shader_line_list_free(&out);
        shader_set_work_registers(false);
    }

    // Constants WORLD c0, VIEWPROJ c4, one c8 (with a value), LIGHT0..2 c9..c11, trigo_cst c12,
    // trigo_cst2 c13; the outputs and inputs the translator needs.
    void setup(bool hlsl)
    {
        shader_free_tables(c);
        c->syntax_error = c->modifier_error = 0;
        c->hlsl_mode = hlsl;
        c->model2 = hlsl;
        shader_set_work_registers(hlsl);
        shader_add_constant(c, dup("WORLD"), 1);
        shader_add_constant(c, dup("VIEWPROJ"), 1);
        shader_add_constant(c, dup("one"), 2);
        shader_set_constant_text(c, "one", dup("1.0f,1.0f,1.0f,1.0f"));
        if (hlsl) {
            shader_add_constant_array(c, 3, 2, dup("LIGHT"));
        } else {
            for (const char *name : {"LIGHT0", "LIGHT1", "LIGHT2"}) shader_add_constant(c, dup(name), 2);
        }
        shader_add_constant(c, dup("trigo_cst"), 2);
        shader_add_constant(c, dup("trigo_cst2"), 2);
        const char *outputs[][3] = {
            {"oPos", "oPos", "o.p0"}, {"oDiffuse", "oD0", "o.v0"}, {"oTexture0", "oT0", "o.t0"}};
        for (auto &o : outputs) shader_name_map_add(c, &c->register_map, o[0], hlsl ? o[2] : o[1]);
        const char *inputs[][3] = {{"iPos", "v0", "i.v0"}, {"iNorm", "v3", "i.v3"}, {"iTexture0", "v7", "i.v7"}};
        for (auto &i : inputs) shader_name_map_add(c, &c->input_map, i[0], hlsl ? i[2] : i[1]);
    }

    // The lines of one normalised section, translated with fresh locals.
    Lines translate(const char *section)
    {
        int position = 0;
        char *normal = shader_normalise_statements(section, &position);
        EXPECT_NE(normal, nullptr) << section;
        shader_line_list_free(&out);
        shader_clear_locals(c);
        shader_translate_section(c, normal, &out);
        free(normal);
        return lines_of(out);
    }

    void expect_clean()
    {
        EXPECT_EQ(c->syntax_error, 0) << c->error_statement;
        EXPECT_EQ(c->modifier_error, 0) << c->error_statement;
    }
};

const char *kProducts = "a=iPos; b=iNorm; x=a*b; x.xyz=a.xyz*b.x; y=a.x*b.xy; z=a/b; w=a|b; v=a^b; a=a^b;";

TEST_F(TranslateTest, ProductsDivisionDotAndCross)
{
    setup(false);
    EXPECT_EQ(translate(kProducts), (Lines{"mov r0,v0", "mov r1,v3", "mul r2,r0,r1",
                                           // a one-letter operand is repeated to the destination's width
                                           "mul r2.xyz,r0.xyz,r1.xxx",
                                           // without a destination swizzle the longer operand sets it
                                           "mul r3.xy,r0.x,r1.xy", "mov r3,r3.xy",
                                           // division goes through the reciprocal of the fourth component
                                           "rcp r7,r1.w", "mul r4,r0,r7", "dp3 r5,r0,r1",
                                           "mul r7,r0.yzxw,r1.zxyw", "mad r6,-r0.zxyw,r1.yzxw,r7",
                                           // the destination is an operand: the cross product lands elsewhere
                                           "mul r8,r0.yzxw,r1.zxyw", "mad r7,-r0.zxyw,r1.yzxw,r8", "mov r0,r7"}));
    expect_clean();

    setup(true);
    EXPECT_EQ(translate(kProducts),
              (Lines{"r0 = i.v0;", "r1 = i.v3;", "r2 = r0 * r1;", "r2.xyz = r0.xyz * r1.xxx;", "r3.xy = r0.x * r1.xy;",
                     "r3 = r3.xy;", "r4 = r0 / r1;", "r7.x = dot(r0.xyz,r1.xyz);", "r5 = r7.xxxx;",
                     "r6.xyz = cross( r0.xyz , r1.xyz );", "r6.w = 0.0;", "r7.xyz = cross( r0.xyz , r1.xyz );",
                     "r7.w = 0.0;", "r0 = r7;"}));
    expect_clean();
    // A destination with a swizzle takes the dot product in one line.
    EXPECT_EQ(translate("a=iPos; w.x=a|a.xyz;"), (Lines{"r0 = i.v0;", "r1.x = dot(r0.xyz,r0.xyz);"}));
}

const char *kMatrices = "a=iPos; b=a*3WORLD; a=a*4WORLD; oPos.xy=a.xy*b; oDiffuse=-a; oTexture0=-a*b+iNorm;";

TEST_F(TranslateTest, MatrixProductsWriteMasksAndSigns)
{
    setup(false);
    EXPECT_EQ(translate(kMatrices),
              (Lines{"mov r0,v0",
                     // three rows, and the fourth component from the constant that holds 0
                     "m3x3 r1.xyz,r0,c0", "mov r1.w,c12.x",
                     // a matrix product may not write its own source
                     "m4x4 r2,r0,c0", "mov r0,r2",
                     // an operand without swizzle takes the write mask's components
                     "mul oPos.xy,r0.xy,r1.xy",
                     // a leading sign negates the first term
                     "mov oD0,-r0", "mul r3,r0,r1", "mov r2,-r3", "add oT0,r2,v3"}));
    expect_clean();

    setup(true);
    EXPECT_EQ(translate(kMatrices),
              (Lines{"r0 = i.v0;", "r2.xyz = r0.xyz;", "r2.w = 0.0f;", "r1 = mul(r2,WORLD);", "r2 = mul(r0,WORLD);",
                     "r0 = r2;", "o.p0.xy = r0.xy * r1.xy;", "o.v0 = -r0;", "r3 = r0 * r1;", "r2 = -r3;",
                     "o.t0 = r2 + i.v3;"}));
    expect_clean();
}

TEST_F(TranslateTest, RelativeAddressing)
{
    setup(false);
    EXPECT_EQ(translate("a=iPos; c=iNorm; x=LIGHT[a.x]; y=LIGHT[1].xyz; z=(a+c)*LIGHT[a.y+1];"),
              (Lines{"mov r0,v0", "mov r1,v3", "mov r5,r0.x", "mov a0.x,r5", "mov r2,c[9+a0.x]", "mov r3,c10.xyz",
                     // (a+c) stays in r5 while the index is loaded through r7
                     "add r5,r0,r1", "add r7.x,r0.y,1", "mov r7,r7.x", "mov a0.x,r7", "mul r4,r5,c[9+a0.x]"}));
    expect_clean();

    // At shader model 2 the address register is loaded with mova.
    c->model2 = 1;
    EXPECT_EQ(translate("a=iPos; x=LIGHT[a.x];"),
              (Lines{"mov r0,v0", "mov r2,r0.x", "mova a0.x,r2", "mov r1,c[9+a0.x]"}));

    // Indexing reaches constants only.
    c->model2 = 0;
    translate("a=iPos; x=a[a.x];");
    EXPECT_EQ(c->syntax_error, 1);
}

TEST_F(TranslateTest, RelativeAddressingHlsl)
{
    setup(true);
    EXPECT_EQ(translate("a=iPos; x=LIGHT[a.x+1];"), (Lines{"r0 = i.v0;", "r2.x = r0.x + 1;", "r1 = LIGHT[r2.x];"}));
    expect_clean();
}

TEST_F(TranslateTest, UnbalancedOrTooDeepLoopsAreErrors)
{
    setup(true);
    translate("rep(1); rep(1); rep(1); rep(1); endrep; endrep; endrep; endrep;");
    expect_clean();
    Lines five = translate("rep(1); rep(1); rep(1); rep(1); rep(1);");
    EXPECT_EQ(c->syntax_error, 1);
    EXPECT_EQ(five.size(), 8u);
    c->syntax_error = 0;
    translate("endrep;");
    EXPECT_EQ(c->syntax_error, 1);
    c->syntax_error = 0;
    translate("rep(n);");
    EXPECT_EQ(c->syntax_error, 1);
}

TEST_F(TranslateTest, ErrorsKeepTheFirstStatementAndTranslationGoesOn)
{
    setup(false);
    Lines lines = translate("a=iPos; junk; b=undeclared; c=a;");
    EXPECT_EQ(c->syntax_error, 1);
    EXPECT_STREQ(c->error_statement, "junk");
    EXPECT_EQ(lines.back(), "mov r2,r0");

    c->syntax_error = 0;
    translate("a=iPos; b=nothing+a;");
    EXPECT_EQ(c->syntax_error, 1);
    EXPECT_STREQ(c->error_statement, "b=nothing+a");

    // A "=" inside an expression.
    c->syntax_error = 0;
    translate("a=iPos; b=a=a;");
    EXPECT_EQ(c->syntax_error, 1);

    // Widths that do not fit: a+0.5 with a four-component a; a.x+0.5 is fine.
    c->syntax_error = 0;
    translate("a=iPos; b=a.x+0.5;");
    expect_clean();
    translate("a=iPos; b=a+0.5; c=a.x;");
    EXPECT_EQ(c->modifier_error, 1);
    EXPECT_STREQ(c->error_statement, "b=a+0.5");
    c->modifier_error = 0;
    translate("a=iPos; b.x=a;");
    EXPECT_EQ(c->modifier_error, 1);
}

TEST_F(TranslateTest, RegistersOfTheTechnique)
{
    setup(false);
    translate("r11=iPos; r9=r10;");
    expect_clean();
    // r12 at shader model 1 would silently alias r1: refused.
    EXPECT_EQ(translate("r12=iPos;"), (Lines{"mov r1,v0"}));
    EXPECT_EQ(c->syntax_error, 1);
    c->syntax_error = 0;
    c->model2 = 1;
    EXPECT_EQ(translate("r12=iPos;"), (Lines{"mov r12,v0"}));
    translate("r20=iPos;");
    EXPECT_EQ(c->syntax_error, 1);
    c->syntax_error = 0;
    c->hlsl_mode = 1;
    translate("r20=iPos; r31=r20;");
    expect_clean();
}

TEST_F(TranslateTest, RecordedConstantOperations)
{
    setup(false);
    c->target = 2;
    PassConstBlock *block = shader_pass_block_construct(new PassConstBlock);
    c->current_const_block = block;
    EXPECT_EQ(translate("tmp=iPos*4WORLD; oPos=tmp*4VIEWPROJ; oDiffuse=one; r1=LIGHT[r0.x]; r2=r0^r1; r3=r0/r1;"
                        "r4.xy=r1.xy+r2.xy; r5=r1|r2;"),
              Lines{});
    expect_clean();
    struct Expected {
        uint32_t op;
        int dest, src1, src2, matrix;
        uint8_t mask, relative;
    } expected[] = {
        {8, 256, 282, -1, 0, 0xF, 0},   // r0 = v0 * WORLD
        {8, 269, 256, -1, 4, 0xF, 0},   // oPos = r0 * VIEWPROJ
        {0, 270, 8, -1, -1, 0xF, 0},    // oD0 = c8
        {0, 262, 256, -1, -1, 0xF, 0},  // the index into a temporary (r1 to r5 are taken)
        {0, 268, 262, -1, -1, 0xF, 0},  // ... and into a0
        {0, 257, 9, -1, -1, 0xF, 1},    // r1 = c[9+a0.x]
        {10, 258, 256, 257, -1, 0xF, 0}, // cross product
        {4, 262, 257, -1, -1, 0xF, 0},  // reciprocal, then product
        {3, 259, 256, 262, -1, 0xF, 0},
        {1, 260, 257, 258, -1, 0x3, 0}, // masked addition
        {13, 261, 257, 258, -1, 0xF, 0},
    };
    ASSERT_EQ(block->op_count, std::size(expected));
    for (size_t i = 0; i < std::size(expected); i++) {
        const ConstOp &op = block->ops[i];
        EXPECT_EQ(op.op, expected[i].op) << i;
        EXPECT_EQ(op.dest, expected[i].dest) << i;
        EXPECT_EQ(op.src1, expected[i].src1) << i;
        EXPECT_EQ(op.src2, expected[i].src2) << i;
        EXPECT_EQ(op.matrix, expected[i].matrix) << i;
        EXPECT_EQ(op.dest_mask, expected[i].mask) << i;
        EXPECT_EQ(op.relative, expected[i].relative) << i;
    }
    delete block;
}

TEST_F(TranslateTest, UpperCaseProgramForm)
{
    setup(false);
    c->target = 1;
    EXPECT_EQ(translate("oPos=iPos*4WORLD; oTexture0=iPos*3WORLD;"),
              (Lines{"DP4 oPos.x,v0,WORLD[0]", "DP4 oPos.y,v0,WORLD[1]", "DP4 oPos.z,v0,WORLD[2]",
                     "DP4 oPos.w,v0,WORLD[3]", "DP3 oT0.x,v0,WORLD[0]", "DP3 oT0.y,v0,WORLD[1]",
                     "DP3 oT0.z,v0,WORLD[2]", "MOV oT0.w,trigo_cst.x"}));
    // The last statement of pixel code writes the program's colour result.
    c->pixel_side = 1;
    EXPECT_EQ(translate("oDiffuse=iPos+iNorm; oDiffuse=iPos;"), (Lines{"ADD_SAT oD0,v0,v3", "MOV result.color,v0"}));
}

TEST_F(TranslateTest, WidthsAndSwizzles)
{
    EXPECT_EQ(shader_operand_width("0.25"), 0);
    EXPECT_EQ(shader_operand_width("oPos"), 4);
    EXPECT_EQ(shader_operand_width("r0.zw"), 2);
    EXPECT_EQ(shader_operand_width("c[8+a0.x].y"), 1);
    EXPECT_EQ(shader_operand_width("o.v0"), 4);
    EXPECT_EQ(shader_operand_width_by_name(c, "0.25"), 1);
    strcpy(c->function_param_names[1], "p");
    c->function_param_types[1] = 6;
    EXPECT_EQ(shader_operand_width_by_name(c, "p"), 2);

    char *s = shader_scratch_format(c, "r1.x");
    shader_format_swizzle(c, s, "r0.xyz");
    EXPECT_STREQ(s, "r1.xxx");
    s = shader_scratch_format(c, "r1");
    shader_format_swizzle(c, s, "r0.xy");
    EXPECT_STREQ(s, "r1.xy");
    s = shader_scratch_format(c, "0.5");
    shader_format_swizzle(c, s, "r0.xy");
    EXPECT_STREQ(s, "0.5");
    s = shader_scratch_format(c, "r1.yz");
    shader_format_swizzle(c, s, "r0.x");
    EXPECT_STREQ(s, "r1.yz");

    char result[SHADER_SCRATCH_SIZE];
    shader_match_swizzle_width_1(c, result, "r2", "r0.xyz");
    EXPECT_STREQ(result, "r2.xyz");
    shader_match_swizzle_width_1(c, result, "r2", "0.5");
    EXPECT_STREQ(result, "r2.x");
    shader_match_swizzle_width_2(c, result, "r2", "r0", "r1.xy");
    EXPECT_STREQ(result, "r2.xy");

    std::string first, second;
    EXPECT_EQ(shader_split_two_operands("a-b+c", &first, &second), 1);
    EXPECT_EQ(first, "a");
    EXPECT_EQ(second, "b+c");
    EXPECT_EQ(shader_split_two_operands("(a+b)", &first, &second), 0);
    EXPECT_EQ(shader_split_two_operands("-a*b", &first, &second), 1);
    EXPECT_EQ(first, "");
    // A sign after an operator belongs to its operand.
    EXPECT_EQ(shader_split_two_operands("a*-b", &first, &second), 0);

    std::string arguments[2];
    EXPECT_EQ(shader_split_arguments("f(a,b),c,d", arguments, 2), 3);
    EXPECT_EQ(arguments[0], "f(a,b)");
    EXPECT_EQ(arguments[1], "c");
    EXPECT_EQ(shader_split_arguments("", arguments, 2), 0);
}

TEST_F(TranslateTest, ScratchPoolIsBounded)
{
    for (int i = 0; i < SHADER_SCRATCH_COUNT; i++) shader_scratch_take(c);
    EXPECT_EQ(c->syntax_error, 0);
    char *spare = shader_scratch_format(c, "%s", "past the end");
    EXPECT_STREQ(spare, "past the end");
    EXPECT_STREQ(c->capacity_error, "Too many operand strings in one statement");
    shader_scratch_reset();

    // An operand text longer than a scratch string is an error, not an overflow.
    setup(true);
    c->capacity_error[0] = 0;
    std::string name(100, 'n');
    shader_add_constant(c, dup(name.c_str()), 2);
    translate(("x=" + name + ";").c_str());
    EXPECT_STREQ(c->capacity_error, "Too many characters in an operand");
}

TEST_F(TranslateTest, RunningOutOfTemporariesIsAnError)
{
    setup(false);
    std::string section;
    for (int i = 0; i < 30; i++) section.append("v").append(std::to_string(i)).append("=iPos;");
    Lines lines = translate(section.c_str());
    EXPECT_EQ(c->syntax_error, 1);
    EXPECT_STREQ(c->capacity_error, "Too many temporary registers in use");
    for (const std::string &line : lines) EXPECT_EQ(line.find("r-1"), std::string::npos) << line;
}

TEST_F(TranslateTest, OverlongStatementIsAnError)
{
    setup(false);
    std::string section = "x=iPos" + std::string(1500, '+') + "iPos;";
    translate(section.c_str());
    EXPECT_STREQ(c->capacity_error, "Too many characters in one statement");
}

TEST_F(TranslateTest, BareStatementsAndBuiltinNames)
{
    setup(false);
    // "phase" alone writes the pixel shader 1.4 phase marker.
    EXPECT_EQ(translate("phase;"), (Lines{"phase"}));
    EXPECT_EQ(c->phase_done, 1);
    expect_clean();
    // Built-in names are recognised by prefix; the library is not there yet.
    translate("a=iPos; x=saturate(a);");
    EXPECT_EQ(c->syntax_error, 1);
}

} // namespace
