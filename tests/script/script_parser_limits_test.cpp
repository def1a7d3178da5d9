// The script parser at its limits: a script may reach each limit and is refused with a message
// one step beyond it, never writing past a table (AddressSanitizer watches).
#include "tests/script/script_parser_test_util.h"

namespace {

const std::string N = "n\xB0";

std::string numbered(const char *format, int count)
{
    std::string out;
    char line[64];
    for (int i = 0; i < count; i++) {
        snprintf(line, sizeof line, format, i);
        out += line;
    }
    return out;
}

std::string function_of(const std::string &body) { return "{\nvoid f()\n{\n" + body + "}\n}\n"; }

TEST_F(ScriptParserTest, Parameters)
{
    std::string twelve = numbered("int p%d, ", 11) + "float last";
    ASSERT_TRUE(parse("{\nvoid f(" + twelve + ")\n{\n}\n}\n")) << listing();
    EXPECT_EQ(function("f")->parameter_count, 12);
    EXPECT_FALSE(parse("{\nvoid f(" + twelve + ", int more)\n{\n}\n}\n"));
    EXPECT_EQ(listing(), "f::Erreur definition de la fonction [f] too many parameters (12)\r\n");
    EXPECT_EQ(function("f")->parameter_count, 12);
}

TEST_F(ScriptParserTest, Locals)
{
    ASSERT_TRUE(parse(function_of(numbered("int v%d;\n", 64)))) << listing();
    EXPECT_EQ(function("f")->local_count, 64);
    EXPECT_FALSE(parse(function_of(numbered("int v%d;\n", 65))));
    EXPECT_EQ(listing(), "f::Erreur ligne " + N + "68 [int v64;] too many locals (64)\r\n");
    EXPECT_EQ(function("f")->local_count, 64);
}

TEST_F(ScriptParserTest, Statements)
{
    ASSERT_TRUE(parse(function_of(numbered("a%d = 1;\n", 4096)))) << listing();
    EXPECT_EQ(function("f")->statement_count, 4096);
    EXPECT_FALSE(parse(function_of(numbered("a%d = 1;\n", 4097))));
    EXPECT_EQ(listing(), "f::Erreur ligne " + N + "4100 [a4096 = 1;] too many statements (4096)\r\n");
    // A closing record that no longer fits is refused too.
    EXPECT_FALSE(parse(function_of(numbered("a%d = 1;\n", 4094) + "if (x) y();\n")));
    EXPECT_EQ(listing(), "f::Erreur ligne " + N + "4098 [if (x) y();] too many statements (4096)\r\n");
    EXPECT_EQ(function("f")->statement_count, 4096);
}

TEST_F(ScriptParserTest, StructuresAndMembers)
{
    std::string fourteen = numbered("struct S%d { int a; }\n", 14);
    ASSERT_TRUE(parse("{\n" + fourteen + "}\n")) << listing();
    EXPECT_EQ(g_script_program->struct_count, 16);
    EXPECT_FALSE(parse("{\n" + fourteen + "struct More { int a; }\n}\n"));
    EXPECT_EQ(listing(), "::Erreur ligne " + N + "16 [struct More { int a; }] too many structures (16)\r\n");
    EXPECT_EQ(g_script_program->struct_count, 16);

    ASSERT_TRUE(parse("{\nstruct Big\n{\n" + numbered("int m%d;\n", 128) + "}\n}\n")) << listing();
    EXPECT_EQ(g_script_program->structs[2].member_count, 128);
    EXPECT_EQ(g_script_program->structs[2].member_offsets[127], 127);
    EXPECT_FALSE(parse("{\nstruct Big\n{\n" + numbered("int m%d;\n", 129) + "}\n}\n"));
    EXPECT_EQ(listing(), "::Erreur ligne " + N + "132 [int m128;] too many members (128)\r\n");
    EXPECT_EQ(g_script_program->struct_count, 2);
}

TEST_F(ScriptParserTest, Globals)
{
    ASSERT_TRUE(parse("{\n" + numbered("float g%d;\n", 256) + "}\n")) << listing();
    EXPECT_EQ(g_script_program->global_count, 256);
    EXPECT_FALSE(parse("{\n" + numbered("float g%d;\n", 257) + "}\n"));
    EXPECT_EQ(listing(), "::Erreur ligne " + N + "258 [float g256;] too many globals (256)\r\n");
}

TEST_F(ScriptParserTest, NestedBlocks)
{
    ASSERT_TRUE(parse(function_of(std::string(64 * 1, ' ') + numbered("while (w%d) {\n", 64) + std::string(64, '}') +
                                  "\n")))
        << listing();
    EXPECT_EQ(function("f")->statement_count, 128);
    EXPECT_FALSE(parse(function_of(numbered("if (c%d)\n", 65) + "x();\n")));
    EXPECT_EQ(listing(), "f::Erreur ligne " + N + "68 [if (c64)] blocks nested too deeply (64)\r\n");
}

TEST_F(ScriptParserTest, LineAndStatementLengths)
{
    std::string fits = "x = " + std::string(250, '1') + ";";  // 255 characters
    ASSERT_TRUE(parse(function_of(fits + "\n"))) << listing();
    EXPECT_EQ(strlen(function("f")->statements[0].text2), 250u);
    std::string over = "x = " + std::string(251, '1') + ";";
    EXPECT_FALSE(parse(function_of(over + "\n")));
    EXPECT_EQ(listing(),
              "f::Erreur ligne " + N + "4 [" + over.substr(0, 255) + "] statement longer than 255 characters\r\n");

    std::string line = "int g; # " + std::string(247, 'c');
    EXPECT_FALSE(parse("{\n" + line + "\nint h;\n}\n"));
    EXPECT_EQ(listing(), "::Erreur ligne " + N + "2 [" + line.substr(0, 255) + "] line longer than 255 characters\r\n");
    EXPECT_EQ(g_script_program->global_count, 0);
    ASSERT_TRUE(parse("{\n" + line.substr(0, 255) + "\n}\n"));
}

TEST_F(ScriptParserTest, Storage)
{
    ASSERT_TRUE(parse("{\nint big[16384];\nstruct S { float a[16383]; int b; }\n}\n")) << listing();
    EXPECT_FALSE(parse("{\nint big[16385];\n}\n"));
    EXPECT_EQ(listing(), "::Erreur ligne " + N + "2 [int big[16385];] array or structure larger than 65536 bytes\r\n");
    EXPECT_FALSE(parse("{\nstruct S { float a[16384]; int b; }\n}\n"));
    EXPECT_FALSE(parse("{\nmatrix m[1025];\n}\n"));  // 64 bytes each
    EXPECT_FALSE(parse(function_of("int n[2147483647];\n")));
}

TEST_F(ScriptParserTest, ListingIsBoundedAndSaysWhenFull)
{
    // Each bad label is a warning, after which compiling goes on.
    EXPECT_FALSE(parse(function_of("switch (a) {\n" + numbered("case %d x();\n", 300) + "}\nlast();\n")));
    std::string text = listing();
    EXPECT_EQ(int(text.size()), g_script_listing_length);
    EXPECT_LT(g_script_listing_length, SCRIPT_LISTING_SIZE);
    EXPECT_EQ(text.substr(text.size() - 14), "listing full\r\n");
    std::string first = "f::Warning ligne " + N + "5 [case 0 x();] syntax error\r\n";
    EXPECT_EQ(text.substr(0, first.size()), first);
    EXPECT_EQ(records(function("f")), "SWITCH a\nENDSWITCH }\nACTION last()\n");
}

TEST_F(ScriptParserTest, LineNumbersBeyondSixteenBits)
{
    ASSERT_TRUE(parse("{\nvoid f()\n{\n" + std::string(70000, '\n') + "a = 1;\n}\n}\n")) << listing();
    EXPECT_EQ(function("f")->statement_lines[0], 65535);
}

}  // namespace
