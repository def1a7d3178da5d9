// The compile entry on the headless device: effects made with technique T0, failures reported with
// their script line, recompiles and releases; and the error-line mapping and listings.
#include "tests/shader/shader_test_util.h"

#include "platform/gpu/gpu_effect.h"
#include "platform/gpu/headless/gpu_headless.h"

namespace {

const char *const kSmallest = "[VERTEXFORMAT]\n"
                              "XYZ NORMAL TEX0\n"
                              "[DEFINES]\n"
                              "CONST one=1.0,1.0,1.0,1.0;\n"
                              "MATRIX WORLD;\n"
                              "MATRIX VIEWPROJ;\n"
                              "[TECHNIQUE]\n"
                              "All Cards\n"
                              "[PASS0]\n"
                              "[POSITION]\n"
                              "tmp=iPos*4WORLD;\n"
                              "oPos=tmp*4VIEWPROJ;\n"
                              "[DIFFUSE]\n"
                              "oDiffuse=one;\n"
                              "[RENDER_STATE]\n"
                              "BLEND TRUE\n"
                              "COLOROP[0] MODULATE\n"
                              "[END]\n";

std::vector<std::string> g_logged;

class CompileTest : public HeadlessDeviceTest {
protected:
    // The render-object fields the compile entry works on.
    uint32_t flags = 0;
    ShaderCompiler *compiler = nullptr;
    ID3DXEffect *effect = nullptr;
    ShaderObjectFields object = {&flags, &compiler, &effect, nullptr, {1, 1, 1, 0}, nullptr};
    char *message = nullptr;

    void SetUp() override
    {
        HeadlessDeviceTest::SetUp();
        object.device = device;
        g_logged.clear();
    }

    void TearDown() override
    {
        free(message);
        shader_release_object(&object);
        HeadlessDeviceTest::TearDown();
    }

    // The message of a compile ("" on success).
    std::string compile(const char *script)
    {
        free(message);
        message = shader_compile_object(&object, script);
        return message ? message : "";
    }
};

TEST_F(CompileTest, AFailedCompileIsNeverReportedAsSuccessLater)
{
    const char *broken = "[TECHNIQUE] All\n[PASS0]\n[POSITION]\noPos=iPos;\njunk;\n";
    std::string first = compile(broken);
    EXPECT_EQ(first, "Syntax error in line : 4 : \"junk\"");
    EXPECT_EQ(effect, nullptr);
    EXPECT_NE(compiler, nullptr);
    // The object keeps its compiler; asking again reports the failure again.
    EXPECT_EQ(compile(broken), first);
    EXPECT_EQ(flags & SHADER_OBJECT_EFFECT_READY, 0u);
    // A script that compiles makes the effect on the same object.
    EXPECT_EQ(compile(kSmallest), "");
    EXPECT_NE(effect, nullptr);
}

TEST_F(CompileTest, FailureMessages)
{
    EXPECT_EQ(compile("[TECHNIQUE] SHADERS [PASS0] [POSITION] oPos=iPos;"), "");
    shader_release_object(&object);
    object.caps.ps14 = 0;
    EXPECT_EQ(compile("[TECHNIQUE] SHADERS [PASS0] [POSITION] oPos=iPos;"),
              "No technique of the script fits the device");
    EXPECT_EQ(compile("[TECHNIQUE] All [PASS0] [RENDER_STATE] CULL SIDEWAYS [POSITION] oPos=iPos;"),
              "Error: RS:'SIDEWAYS'");
    // An error in the first line is line 0.
    EXPECT_EQ(compile("[TECHNIQUE] All [PASS0] [POSITION] oPos=iPos+0.5;"),
              "Syntax error on modifiers in line : 0 : \"oPos=iPos+0.5\"");
    EXPECT_EQ(compile("[DEFINES] TEXTURE a; TEXTURE b; TEXTURE c; TEXTURE d; TEXTURE e; TEXTURE f; TEXTURE g;\n"
                      "TEXTURE h; TEXTURE i; TEXTURE j; TEXTURE k; TEXTURE l; TEXTURE m; TEXTURE n; TEXTURE o;\n"
                      "TEXTURE p; TEXTURE q;\n"),
              "Too many textures in line : -1 : \"\"");

    object.log_line = [](const char *line) { g_logged.push_back(line); };
    compile("[TECHNIQUE] All [PASS0] [POSITION] x;");
    EXPECT_EQ(g_logged, (std::vector<std::string>{"Syntax error in line : 0 : \"x\""}));
    EXPECT_EQ(compile(nullptr), "ERROR: no shader script");
}

TEST_F(CompileTest, AssemblerTheDeviceRefusesMapsToItsSection)
{
    // Flow statements have no vs.1.1 form; the device refuses the text.
    std::string report = compile("[TECHNIQUE] All\n[PASS0]\n[POSITION]\noPos=iPos;\nif(iPos.x>iPos.y)break;\n"
                                 "[SHADER]\nr0=Diffuse;\n");
    EXPECT_EQ(report.rfind("Error in line (owner script) : 5\n", 0), 0u) << report;
    EXPECT_NE(report.find("expression-style statement"), std::string::npos);
}

TEST(ShaderErrorLines, StatementsFoundInTheScript)
{
    const char *script = "[POSITION]\n"
                         "  x += y; # comment\n"
                         "z = a+\n"
                         "\n"
                         "b;\n";
    EXPECT_EQ(shader_find_error_line("[POSITION]", script), 0);
    // The error text X=X+Y is also found written X+=Y.
    EXPECT_EQ(shader_find_error_line("x=x+y", script), 1);
    // A statement over two lines is reported at the earlier one.
    EXPECT_EQ(shader_find_error_line("z=a+b", script), 2);
    EXPECT_EQ(shader_find_error_line("comment", script), -1);

    char out[64] = "unchanged";
    shader_split_state_assignment("A=A-B", out, sizeof out);
    EXPECT_STREQ(out, "A-=B");
    strcpy(out, "unchanged");
    shader_split_state_assignment("A=AB+C", out, sizeof out);
    EXPECT_STREQ(out, "unchanged");
    shader_split_state_assignment("A=A", out, sizeof out);
    EXPECT_STREQ(out, "unchanged");

    EXPECT_EQ(shader_number_in_parentheses("effect(12,3): error: x"), 12);
    EXPECT_EQ(shader_number_in_parentheses("a,b(12,3)"), -1);
    EXPECT_EQ(shader_number_in_parentheses("(x,3)"), -1);
    EXPECT_EQ(shader_find_script_line_in_pass("[SHADER]", "[PASS0]\n#PASS\n[SHADER]\n", 0), -1);
    EXPECT_EQ(shader_find_script_line_in_pass("[SHADER]", "[PASS0]\n[SHADER]\n", 0), 1);
    EXPECT_EQ(shader_find_script_line_in_block("b", "a\nb\nb\n", 2), 2);
}

TEST(ShaderErrorLines, Listings)
{
    std::string text;
    for (int i = 1; i <= 12345; i++) text += i == 7 ? "seven\n" : i == 12345 ? "last\n" : "x\n";
    char *numbered = shader_make_line_listing(text.c_str(), 1);
    std::string listing = numbered;
    free(numbered);
    EXPECT_EQ(listing.rfind("0001\tx\r\n", 0), 0u);
    EXPECT_NE(listing.find("\r\n0007\tseven\r\n"), std::string::npos);
    // Only the first four characters of a number are kept.
    EXPECT_EQ(listing.substr(listing.size() - 11), "1234\tlast\r\n");
    char *plain = shader_make_line_listing("a\nb", 0);
    EXPECT_STREQ(plain, "a\r\nb\r\n");
    free(plain);
    char *empty = shader_make_line_listing("", 1);
    EXPECT_STREQ(empty, "");
    free(empty);
    // The listing is cut at its buffer's size.
    std::string long_text(200000, 'x');
    char *cut = shader_make_line_listing(long_text.c_str(), 0);
    EXPECT_EQ(strlen(cut), 131071u);
    free(cut);

    EXPECT_EQ(shader_count_text_lines("a\nb\n"), 2);
    EXPECT_EQ(shader_count_text_lines("a\nb"), 2);
    EXPECT_EQ(shader_text_line_at("a\n}\nc\n}\n", 2), 4);
    EXPECT_EQ(shader_text_line_at("a\n}\nc\n", 2), 3);
}

} // namespace
