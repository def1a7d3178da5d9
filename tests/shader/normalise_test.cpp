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
