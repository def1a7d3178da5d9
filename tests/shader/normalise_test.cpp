// Statement normalisation: whole outputs of representative sections, flow labels, macros.
#include "tests/shader/shader_test_util.h"

namespace {

class NormaliseTest : public CompilerTest {
protected:
    void SetUp() override { shader_set_work_registers(false); }
    void TearDown() override { shader_set_work_registers(false); }

    // The normal form of a section, or "NULL" when it is refused.
    static std::string normalise(const char *section)
    {
        int position = 0;
        char *text = shader_normalise_statements(section, &position);
        std::string out = text ? text : "NULL";
        free(text);
        return out;
    }
};

TEST_F(NormaliseTest, OneStatementPerLine)
{
    EXPECT_EQ(normalise("tmp = iPos*4WORLD;\r\n\toPos=tmp*4VIEWPROJ; oDiffuse=one;\r\n"),
              "tmp=iPos*4WORLD\noPos=tmp*4VIEWPROJ\noDiffuse=one\n");
    EXPECT_EQ(normalise("a += b; c -= 2;"), "a=a+b\nc=c-2\n");
    EXPECT_EQ(normalise("x.xy+=f(a,b)-c;;"), "x.xy=x.xy+f(a,b)-c\n");
    EXPECT_EQ(normalise(""), "");
}

TEST_F(NormaliseTest, IfElseBecomesSelects)
{
    EXPECT_EQ(normalise("if(x>0.5)y=1; else y=0;"),
              "r11.x=sge(x,0.5)\nr11.y=slt(x,0.5)\nr10=(1)*r11.x\nr9=(0)*r11.y\ny=r10+r9\n");
    EXPECT_EQ(normalise("if(a<b){r0.xy=c;}"),
              "r11.x=sge(b,a)\nr11.y=slt(b,a)\nr10.xy=(c)*r11.x\nr10.zw=(r0.xy)*r11.y\nr0.xy=r10.xy+r10.zw\n");
    EXPECT_EQ(normalise("a=1; if(a>=b){v.x=n; w.xyz=m;} else {w.xyz=k;} z=a;"),
              "a=1\n"
              "r11.x=sge(a,b)\nr11.y=slt(a,b)\n"
              "r11.z=(n)*r11.x\nr11.w=(v.x)*r11.y\nv.x=r11.z+r11.w\n"
              "r10.xyz=(m)*r11.x\nr9.xyz=(k)*r11.y\nw.xyz=r10.xyz+r9.xyz\n"
              "z=a\n");
    // Two blocks in a row, and compound assignments inside a body.
    EXPECT_EQ(normalise("if(a>b)c+=d; if(e<=f){g-=1;}"),
              "r11.x=sge(a,b)\nr11.y=slt(a,b)\nr10=(c+d)*r11.x\nr9=(c)*r11.y\nc=r10+r9\n"
              "r11.x=sge(f,e)\nr11.y=slt(f,e)\nr10=(g-1)*r11.x\nr9=(g)*r11.y\ng=r10+r9\n");
}

TEST_F(NormaliseTest, HlslModeUsesItsWorkRegisters)
{
    shader_set_work_registers(true);
    EXPECT_EQ(normalise("if(x>0.5)y=1; else y=0;"),
              "r31.x=sge(x,0.5)\nr31.y=slt(x,0.5)\nr30=(1)*r31.x\nr29=(0)*r31.y\ny=r30+r29\n");
}

TEST_F(NormaliseTest, FlowStatements)
{
    EXPECT_EQ(normalise("if(a>=b){break;}"), "if(a>=b)break;\n");
    EXPECT_EQ(normalise("if(a<b)continue;"), "if(a<b)continue;\n");
    // In the else body the statement runs where the condition does not hold.
    EXPECT_EQ(normalise("if(a>b){x=1;} else {discard;}"),
              "r11.x=sge(a,b)\nr11.y=slt(a,b)\nr10=(1)*r11.x\nr9=(x)*r11.y\nx=r10+r9\nif(a<=b)discard;\n");
    EXPECT_EQ(normalise("if(a<=b)break; else continue;"), "if(a<=b)break;\nif(a>b)continue;\n");
    EXPECT_EQ(normalise("if(a>=b){x=1;}else{break;}"),
              "r11.x=sge(a,b)\nr11.y=slt(a,b)\nr10=(1)*r11.x\nr9=(x)*r11.y\nx=r10+r9\nif(a<b)break;\n");
}

TEST_F(NormaliseTest, BlocksThatCannotBeLoweredAreRefused)
{
    EXPECT_EQ(normalise("y=2; if(a){x=1;}"), "NULL");
    EXPECT_STREQ(g_shader_normalise_error, "if(a){x=1");
    EXPECT_EQ(normalise("if(a>b){x.xyzwx=1;}"), "NULL");
    EXPECT_EQ(normalise("if(a>b){if(c>d){x=1;}}"), "NULL");
    EXPECT_EQ(normalise("if(a>b){x=1;"), "NULL");
    EXPECT_EQ(normalise("if(a>){x=1;}"), "NULL");
    EXPECT_EQ(normalise("if(a>b){x=1;}else if(c>d){x=2;}"), "NULL");
}

TEST_F(NormaliseTest, SectionEndsBeforeTheNextHeader)
{
    const char *script = "oPos=a;[SHADER]\nr0=t0;";
    int position = 0;
    char *text = shader_normalise_statements(script, &position);
    EXPECT_STREQ(text, "oPos=a\n");
    EXPECT_STREQ(script + position, "[SHADER]\nr0=t0;");
    free(text);

    // A last statement without its ";" still ends at a header that starts a line.
    script = "x=1\r\n  [RENDER_STATE]\r\nCULL NONE";
    position = 0;
    text = shader_normalise_statements(script, &position);
    EXPECT_STREQ(text, "x=1\n");
    EXPECT_STREQ(script + position, "[RENDER_STATE]\r\nCULL NONE");
    free(text);

    // An index at the start of a statement is not a header.
    EXPECT_EQ(normalise("x=c[2];"), "x=c[2]\n");
}

TEST_F(NormaliseTest, StepFunctionsOnTheirOwn)
{
    char *braced = shader_brace_if_else("if(f(a)>b)c=d;}elsey=0;if(a){b=c;}");
    EXPECT_STREQ(braced, "if(f(a)>b){c=d;};}else{y=0;};if(a){b=c;};");
    free(braced);
    char *expanded = shader_expand_compound_assignment("a+=b;c=d;e-=f");
    EXPECT_STREQ(expanded, "a=a+b;;c=d;e=e-f;;");
    free(expanded);
}

TEST_F(NormaliseTest, FlowLabels)
{
    ShaderLabelList labels;
    shader_label_flow_statements("x=1", &labels, 1);
    shader_label_flow_statements("break", &labels, 0);
    shader_label_flow_statements("x=2", &labels, 0);
    shader_label_flow_statements("junk", &labels, 1);
    shader_label_flow_statements("discard", &labels, 1);
    ASSERT_EQ(labels.count, 3);
    EXPECT_STREQ(labels.first->name, "x");
    EXPECT_STREQ(labels.first->then_value, "1");
    EXPECT_STREQ(labels.first->else_value, "2");
    EXPECT_STREQ(labels.first->next->name, "bk1");
    EXPECT_EQ(labels.first->next->branch, 0u);
    EXPECT_STREQ(labels.last->name, "di2");
    EXPECT_STREQ(labels.last->discard_word, "discard");
    shader_label_list_free(&labels);
}

TEST_F(NormaliseTest, MacrosBecomeRecords)
{
    const char *section = "M(a,b)\r\n{\r\n  x = a;\r\n  y = b;\r\n}\r\n\r\n"
                          "N(p){ if(p>0){q=1;} r=q; }\r\n"
                          "[FUNCTIONS]\r\n";
    int position = 0;
    char *text = shader_normalise_lines(section, &position);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(section + position, "[FUNCTIONS]\r\n");
    EXPECT_EQ(shader_parse_macros(c, text), 1);
    free(text);

    ASSERT_EQ(c->macros.count, 2);
    const ShaderMacro &m = c->macros.first->value;
    EXPECT_STREQ(m.name, "M");
    EXPECT_STREQ(m.params, "a,b");
    EXPECT_STREQ(m.body, "x=a\ny=b\n");
    const ShaderMacro &n = c->macros.last->value;
    EXPECT_STREQ(n.name, "N");
    EXPECT_STREQ(n.params, "p");
    EXPECT_STREQ(n.body, "\nr11.x=sge(p,0)\nr11.y=slt(p,0)\nr10=(1)*r11.x\nr9=(q)*r11.y\nq=r10+r9\nr=q\n");
}

TEST_F(NormaliseTest, OversizedMacroIsACapacityError)
{
    std::string text = "BIG(a){" + std::string(3000, 'x') + "}OK(){y=1;}";
    EXPECT_EQ(shader_parse_macros(c, text.c_str()), 0);
    EXPECT_STREQ(c->capacity_error, "Too many characters in a macro body");
    ASSERT_EQ(c->macros.count, 1);
    EXPECT_STREQ(c->macros.first->value.name, "OK");
    EXPECT_STREQ(c->macros.first->value.body, "y=1\n");
}

} // namespace
