// The script parser on sound scripts: locals, loops, switches and returns, and a failed script
// read past in the configuration reader.
#include "platform/system.h"
#include "script/config.h"
#include "tests/script/script_parser_test_util.h"
#include "tests/test_util.h"

namespace {

TEST_F(ScriptParserTest, LocalsWithInitialisers)
{
    ASSERT_TRUE(parse("{\n"
                      "void f()\n"
                      "{\n"
                      "    int i = -3;\n"
                      "    float r = 2.5;\n"
                      "    int t[3] = {1, 2, 3};\n"
                      "    float u[2] = {0.5,   # the list runs on\n"
                      "                  -4};\n"
                      "    hash h;\n"
                      "    vector v;\n"
                      "    matrix m[2];\n"
                      "    char *s;\n"
                      "}\n"
                      "}\n"))
        << listing();
    const ScriptFunction *f = function("f");
    ASSERT_EQ(f->local_count, 8);
    EXPECT_EQ(f->statement_count, 0);
    EXPECT_EQ(f->locals[0].int_value, -3);
    EXPECT_FLOAT_EQ(f->locals[1].float_value, 2.5f);
    const int32_t *t = static_cast<const int32_t *>(f->locals[2].data);
    EXPECT_EQ(f->locals[2].type, 4);
    EXPECT_EQ(t[0] + 10 * t[1] + 100 * t[2], 321);
    const float *u = static_cast<const float *>(f->locals[3].data);
    EXPECT_EQ(f->locals[3].type, 6);
    EXPECT_FLOAT_EQ(u[0], 0.5f);
    EXPECT_FLOAT_EQ(u[1], -4.0f);
    EXPECT_EQ(f->locals[4].type, 8);
    EXPECT_EQ(f->locals[5].struct_index, 0);
    EXPECT_EQ(f->locals[6].count, 2);
    EXPECT_EQ(f->locals[6].struct_index, 1);
    EXPECT_NE(f->locals[6].data, nullptr);
    EXPECT_EQ(f->locals[7].type, 3);
    EXPECT_EQ(f->locals[8].count, -1);  // untouched slots
}

TEST_F(ScriptParserTest, LoopsSwitchesAndReturns)
{
    ASSERT_TRUE(parse("{\n"
                      "int f(int a)\n"
                      "{\n"
                      "    for (i = 0; i < 10; i++)\n"
                      "        total += i;\n"
                      "    for(j = 9; j >= 0; j--) { k++; }\n"
                      "    for (n = 1; n < 100; n += n) ;\n"
                      "    while (a != 0) {\n"
                      "        a -= 1;\n"
                      "    }\n"
                      "    while (busy()) wait();\n"
                      "    switch (a) {\n"
                      "    case 1: b = \"x=y\"; break;\n"
                      "    case 2:\n"
                      "        break;\n"
                      "    }\n"
                      "    return a * 2;\n"
                      "}\n"
                      "}\n"))
        << listing();
    EXPECT_EQ(records(function("f")),
              "FOR i | 0 | i < 10 | ++\n"
              "OPERATION total += i\n"
              "NEXT \n"
              "FOR j | 9 | j >= 0 | --\n"
              "OPERATION k ++ \n"
              "NEXT }\n"
              "FOR n | 1 | n < 100 | n += n\n"
              "NEXT \n"
              "WHILE a != 0\n"
              "OPERATION a -= 1\n"
              "ENDWHILE }\n"
              "WHILE busy()\n"
              "ACTION wait()\n"
              "ENDWHILE \n"
              "SWITCH a\n"
              "CASE 1\n"
              "OPERATION b = \"x=y\"\n"
              "BREAK break\n"
              "CASE 2\n"
              "BREAK break\n"
              "ENDSWITCH }\n"
              "RETOUR a * 2\n");
}

// The configuration reader hands a kind-13 section to the parser and reads on behind its block.
class ScriptSectionTest : public ScriptParserTest {
protected:
    TempDir temp;
    TestPathRestore restore;
    static inline int32_t distance;

    void SetUp() override
    {
        ScriptParserTest::SetUp();
        sys_path_reset(temp.path.c_str(), (temp / "user").c_str());
    }

    void read(const std::string &text)
    {
        static const ConfigKeyDescriptor table[] = {
            {CONFIG_SECTION, "PARAMS", nullptr, nullptr, nullptr, nullptr, 0},
            {CONFIG_INT, "DISTANCE", nullptr, &distance, nullptr, nullptr, 0},
            {CONFIG_SECTION_END, "", nullptr, nullptr, nullptr, nullptr, 0},
            {CONFIG_SCRIPT, "SCRIPT", nullptr, nullptr, nullptr, nullptr, 0},
            {CONFIG_END, "", nullptr, nullptr, nullptr, nullptr, 0},
        };
        std::string crlf;
        for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        test_write_file(temp / "c.txt", crlf);
        distance = 0;
        config_read_file(table, "c.txt");
    }
};

TEST_F(ScriptSectionTest, AFailedScriptIsReadPastToItsClosingBrace)
{
    // Read as configuration words, the rest of the script would open PARAMS again and set 5.
    read("PARAMS\n{\nDISTANCE = 9\n}\nSCRIPT\n{\nvoid f()\n{\n  else\n  x = PARAMS;\n  if (a) {\n"
         "    DISTANCE = 5;\n  }\n}\n}\n");
    EXPECT_EQ(distance, 9);
    EXPECT_EQ(listing(), "f::Warning ligne n\xB0" "9 [else] no if matching else\r\n");
}

}  // namespace
