// The script parser's diagnostics: each message for its fault, on the right line, in the listing
// and through the log modes; which faults end the parse and which let it go on.
#include "platform/system.h"
#include "tests/script/script_parser_test_util.h"
#include "tests/test_util.h"

namespace {

// "n°" with the degree sign as the single byte 0xB0.
const std::string N = "n\xB0";

TEST_F(ScriptParserTest, StructureInsideAFunction)
{
    EXPECT_FALSE(parse("{\nvoid f()\n{\n  struct S { int a; };\n}\n}\n"));
    EXPECT_EQ(listing(), "f::ERROR: structure definition inside function\r\n");
}

TEST_F(ScriptParserTest, UnreadableStatementsEndTheParse)
{
    const char *bad[] = {"x = (1;", "if a > 1", "if () b();", "while (a", "{", "x = 1 }", "for (i; i < 2; i++)",
                         "for (i = 0; i < 2)", "= 3;", "break now;", "s = \"open;"};
    for (const char *statement : bad) {
        SCOPED_TRACE(statement);
        EXPECT_FALSE(parse(std::string("{\nint f()\n{\n  ok();\n  ") + statement + "\n  later();\n}\n}\n"));
        EXPECT_EQ(listing(), "f::Warning ligne " + N + "5 [" + statement + "]\r\n");
        EXPECT_EQ(records(function("f")), "ACTION ok()\n");
    }
}

TEST_F(ScriptParserTest, SwitchAndCaseWarningsLetCompilingGoOn)
{
    EXPECT_FALSE(parse("{\n"
                       "void f()\n"
                       "{\n"
                       "  switch x {\n"
                       "  case 1 a();\n"
                       "  case 2: b();\n"
                       "  }\n"
                       "}\n"
                       "void g()\n{\n}\n"
                       "}\n"));
    EXPECT_EQ(listing(), "f::Warning ligne " + N + "4 [switch x {] bad argument\r\n" +
                             "f::Warning ligne " + N + "5 [case 1 a();] syntax error\r\n");
    EXPECT_EQ(records(function("f")), "SWITCH \nCASE 2\nACTION b()\nENDSWITCH }\n");
    EXPECT_NE(function("g"), nullptr);
}

TEST_F(ScriptParserTest, BlocksLeftOpen)
{
    // A head whose one statement never comes.
    EXPECT_FALSE(parse("{\nvoid f()\n{\n  if (a)\n}\n}\n"));
    EXPECT_EQ(listing(), "f::Warning ligne " + N + "5 [}]\r\n");
    // A head waiting for its "{".
    EXPECT_FALSE(parse("{\nvoid f()\n{\n  while (a)\n  }\n  x {\n}\n}\n"));
    EXPECT_EQ(listing(), "f::Warning ligne " + N + "5 [}]\r\n");
    // The next function begins while a block is open.
    EXPECT_FALSE(parse("{\nvoid f()\n{\n  if (a) {\n    b();\nint g(int x)\n{\n}\n}\n"));
    EXPECT_EQ(listing(), "f::Warning ligne " + N + "6 [int g(int x)]\r\n");
    // A head ended by ";" is a declaration that cannot be read.
    EXPECT_FALSE(parse("{\nvoid f()\n{\n  int g(int x);\n}\n}\n"));
    EXPECT_EQ(listing(), "f::Erreur ligne " + N + "4 [int g(int x);] error in definition\r\n");
}

TEST_F(ScriptParserTest, TextEndingInsideABody)
{
    EXPECT_FALSE(parse("{\nvoid f()\n{\n  a = 1;\n  if (a) {\n"));
    EXPECT_EQ(listing(), "f::Erreur d'accolade " + N + "1\r\n");
    EXPECT_FALSE(parse("{\nvoid f()\n{\n"));
    EXPECT_EQ(listing(), "f::Erreur d'accolade " + N + "-1\r\n");
    // A list of values that never closes.
    EXPECT_FALSE(parse("{\nvoid f()\n{\n  int t[2] = {1,\n"));
    EXPECT_EQ(listing(), "f::Erreur d'accolade " + N + "-1\r\n");
}

TEST_F(ScriptParserTest, FunctionHeads)
{
    EXPECT_FALSE(parse("{\nvoid f(void)\n{\n}\nvoid g()\n{\n}\n}\n"));
    EXPECT_EQ(listing(), "f::Erreur definition de la fonction [f]\r\n");
    EXPECT_EQ(function("g"), nullptr);

    const char *bad[] = {"void f(int)", "void f(int a,)", "void f(string s)", "void f(int a[])", "void f(hash h)"};
    for (const char *head : bad) {
        SCOPED_TRACE(head);
        EXPECT_FALSE(parse(std::string("{\n") + head + "\n{\n}\n}\n"));
        EXPECT_EQ(listing(), "f::Erreur definition de la fonction [f]\r\n");
    }
    // A head without a body, a name that is none, an unclosed list, a second LOOP.
    EXPECT_FALSE(parse("{\nvoid f();\nvoid g()\n{\n}\n}\n"));
    EXPECT_EQ(listing(), "f::Erreur definition de la fonction [f]\r\n");
    EXPECT_FALSE(parse("{\nint x = (3);\n}\n"));
    EXPECT_EQ(listing(), "::Erreur definition de la fonction [int x =]\r\n");
    EXPECT_FALSE(parse("{\nvoid f(int a\n{\n}\n}\n"));
    EXPECT_EQ(listing(), "::Erreur definition de la fonction [f]\r\n");
    EXPECT_FALSE(parse("{\nLOOP()\n{\n}\nLOOP()\n{\n}\n}\n"));
    EXPECT_EQ(listing(), "LOOP::Erreur definition de la fonction [LOOP] defined twice\r\n");
}

TEST_F(ScriptParserTest, DeclarationsThatCannotBeRead)
{
    struct Case {
        const char *line;
        const char *reason;
    } locals[] = {{"int t[2] = {1};", "number of data do not match definition"},
                  {"float u[2] = {1, 2, 3};", "number of data do not match definition"},
                  {"int 5x;", "error in definition"},
                  {"int t[0];", "error in definition"},
                  {"int t[2] = {1, x};", "error in definition"},
                  {"int n = 99999999999;", "error in definition"},
                  {"vector v = 1;", "error in definition"},
                  {"char *s[2];", "error in definition"},
                  {"int a, b;", "error in definition"}};
    for (const Case &c : locals) {
        SCOPED_TRACE(c.line);
        EXPECT_FALSE(parse(std::string("{\nvoid f()\n{\n  ") + c.line + "\n}\n}\n"));
        EXPECT_EQ(listing(), "f::Erreur ligne " + N + "4 [" + c.line + "] " + c.reason + "\r\n");
    }
    Case globals[] = {{"int g = 3;", "error in definition"},
                      {"hash h;", "error in definition"},
                      {"struct Nope n;", "error in definition"},
                      {"float f[2] x;", "error in definition"},
                      {"struct S { int a; } x;", "error in definition"},
                      {"struct { int a; }", "error in definition"}};
    for (const Case &c : globals) {
        SCOPED_TRACE(c.line);
        EXPECT_FALSE(parse(std::string("{\nint ok;\n") + c.line + "\n  float b;\n}\n}\n"));
        EXPECT_EQ(listing(), std::string("::Erreur ligne ") + N + "3 [" + c.line + "] " + c.reason + "\r\n");
        EXPECT_EQ(g_script_program->global_count, 1);
    }
    EXPECT_FALSE(parse("{\nstruct S\n{\n  int a;\n  int b\n}\n}\n"));
    EXPECT_EQ(listing(), "::Erreur ligne " + N + "5 [  int b] error in definition\r\n");
    EXPECT_EQ(g_script_program->struct_count, 2);
    EXPECT_FALSE(parse("{\nstruct S\n{\n  int a;\n"));
    EXPECT_EQ(listing(), "::Warning ligne " + N + "4 [  int a;]\r\n");
}

TEST_F(ScriptParserTest, LogModes)
{
    g_script_log_mode = 2;
    EXPECT_FALSE(parse("{\nvoid f()\n{\n  x =\t(1;\n}\n}\n"));
    ASSERT_EQ(g_script_messages.count, 1);
    EXPECT_STREQ(g_script_messages.first->value, "In line 4, \"x = (1;\" -> [syntax error...]");

    // The message is cut to 255 characters, whatever the line holds.
    std::string long_statement = "x = (" + std::string(240, 'q') + ";";
    EXPECT_FALSE(parse("{\nvoid f()\n{\n" + long_statement + "\n}\n}\n"));
    ASSERT_EQ(g_script_messages.count, 2);
    EXPECT_EQ(strlen(g_script_messages.last->value), 255u);

    TempDir temp;
    TestPathRestore restore;
    sys_path_reset(temp.path.c_str(), (temp / "user").c_str());
    g_script_log_mode = 1;
    EXPECT_FALSE(parse("{\nvoid f()\n{\n  if (a) {}\n  else\n  else\n}\n}\n"));
    EXPECT_EQ(test_read_file(temp / SCRIPT_LOG_FILE), "In line 6, \"else\"\nno if matching else...\n");
    EXPECT_EQ(g_script_messages.count, 2);

    g_script_log_mode = 0;
    EXPECT_FALSE(parse("{\nvoid f()\n{\n  else\n}\n}\n"));
    EXPECT_EQ(g_script_messages.count, 2);
}

}  // namespace
