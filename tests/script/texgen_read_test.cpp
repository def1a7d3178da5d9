// The texture-script reader: the byte-order mark, unusable entries, bounds of names, texts and
// tables, unclosed blocks, and the UTF-16 helpers.
#include "tests/script/texgen_test_util.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstring>

namespace {

using TexgenReadTest = TexgenTest;

TEST_F(TexgenReadTest, ByteOrderMark)
{
    test_write_file(temp / "be.txt", "\xFE\xFF" + texgen_test_utf16(u"END").substr(2));
    test_write_file(temp / "second.txt", "A\xFE");
    test_write_file(temp / "ascii.txt", "COMPOSITION { ONDE=(1,2) }");
    test_write_file(temp / "empty.txt", "");
    testing::internal::CaptureStdout();
    TexgenScript *be = texgen_script_read((temp / "be.txt").c_str());
    TexgenScript *second = texgen_script_read((temp / "second.txt").c_str());
    testing::internal::GetCapturedStdout();
    EXPECT_NE(be, nullptr);
    EXPECT_NE(second, nullptr);
    texgen_script_free(be);
    texgen_script_free(second);

    for (const char *name : {"ascii.txt", "empty.txt"}) {
        testing::internal::CaptureStderr();
        std::string path = temp / name;
        EXPECT_EQ(texgen_script_read(path.c_str()), nullptr);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), path + " : Not a Unicode UTF16 File\n");
    }
    EXPECT_EQ(texgen_script_read((temp / "missing.txt").c_str()), nullptr);
}

TEST_F(TexgenReadTest, UnusableEntriesAreDropped)
{
    write_png("ok.png", 2, 2, std::vector<uint8_t>(16, 9));
    test_write_file(temp / "bad.png", "not a picture");
    TexgenScript *script = read(u"FONTES {\r\n"
                                u"NOFILE {\r\nSIZE=20\r\n}\r\n"
                                u"NOSIZE {\r\nFICHIER=\"DejaVuSans.ttf\"\r\n}\r\n"
                                u"MISSING {\r\nFICHIER=\"none.ttf\"\r\nSIZE=20\r\n}\r\n"
                                u"HUGE {\r\nFICHIER=\"DejaVuSans.ttf\"\r\nSIZE=5000\r\n}\r\n"
                                u"HALF {\r\nFICHIER=\"DejaVuSans.ttf\r\nSIZE=20\r\n}\r\n"
                                u"GOOD {\r\nFICHIER=\"DejaVuSans.ttf\"\r\nSIZE=20\r\n}\r\n"
                                u"}\r\n"
                                u"BITMAPS {\r\n"
                                u"NOSOURCE {\r\nOUTLINE=1\r\n}\r\n"
                                u"MISSING {\r\nFICHIER=\"none.png\"\r\n}\r\n"
                                u"BAD {\r\nFICHIER=\"bad.png\"\r\n}\r\n"
                                u"GOOD {\r\nFICHIER=\"ok.png\"\r\n}\r\n"
                                u"}\r\n"
                                u"COMPOSITION { TEXTE=MISSING (1,1) \"x\" MOSAIC=BAD (0,0) }");
    ASSERT_NE(script, nullptr);
    ASSERT_EQ(script->font_count, 1);
    EXPECT_EQ(texgen_test_narrow(script->fonts[0].name), "GOOD");
    ASSERT_EQ(script->bitmap_count, 1);
    EXPECT_EQ(texgen_test_narrow(script->bitmaps[0].name), "GOOD");
    EXPECT_EQ(texgen_find_font(script, u"MISSING"), -1);
    // Steps naming them are kept and draw nothing.
    ASSERT_EQ(script->step_count, 2);
    uint8_t *picture = texgen_render(script);
    ASSERT_NE(picture, nullptr);
    free(picture);
    texgen_script_free(script);
}

TEST_F(TexgenReadTest, NamesAndTextsAreBoundedToTheirBuffers)
{
    std::string long_name(600, 'N');
    std::string words;
    for (int i = 0; i < 100; i++) words += " mot" + std::to_string(i);
    std::string game(511, 'G');
    texgen_set_game_name(game.c_str());
    TexgenScript *script =
        read(texgen_test_u16("FONTES { " + long_name + " {\r\nFICHIER=\"DejaVuSans.ttf\"\r\nSIZE=20\r\n}\r\n}\r\n" +
                             "COMPOSITION {\r\nTEXTE=" + std::string(300, 'F') + " (1,2) \"debut" + words + "\"\r\n" +
                             "TEXTE=F (3,4) \"$x$\"\r\nONDE=(5,6)\r\n}\r\n"));
    ASSERT_NE(script, nullptr);
    ASSERT_EQ(script->font_count, 1);
    EXPECT_EQ(texgen_wide_length(script->fonts[0].name), TEXGEN_NAME_UNITS - 1);
    ASSERT_EQ(script->step_count, 3);
    EXPECT_EQ(texgen_wide_length(script->steps[0].name), TEXGEN_WORD_UNITS - 1 - 6);  // the word less "TEXTE="
    EXPECT_EQ(script->steps[0].y, 2);
    EXPECT_EQ(texgen_wide_length(script->steps[0].text), TEXGEN_TEXT_UNITS - 1);
    EXPECT_EQ(texgen_test_narrow(script->steps[0].text).substr(0, 15), "debut mot0 mot1");
    EXPECT_EQ(texgen_wide_length(script->steps[1].text), TEXGEN_TEXT_UNITS - 1);
    EXPECT_EQ(script->steps[1].text[0], u'G');
    // The words after the long text are read where they stand.
    EXPECT_EQ(script->steps[2].kind, TEXGEN_ONDE);
    EXPECT_EQ(script->steps[2].param_b, 6);
    texgen_script_free(script);
}

TEST_F(TexgenReadTest, TablesHoldAtMost256Entries)
{
    write_png("p.png", 1, 1, {1, 2, 3, 4});
    std::string text = "FONTES {\r\n";
    for (int i = 0; i < 260; i++)
        text += "F" + std::to_string(i) + " {\r\nFICHIER=\"DejaVuSans.ttf\"\r\nSIZE=12\r\n}\r\n";
    text += "}\r\nBITMAPS {\r\n";
    for (int i = 0; i < 260; i++) text += "B" + std::to_string(i) + " {\r\nFICHIER=\"p.png\"\r\n}\r\n";
    text += "}\r\nCOMPOSITION {\r\n";
    for (int i = 0; i < 300; i++) text += "TEXTE=F" + std::to_string(i) + " (" + std::to_string(i) + ",0) \"t\"\r\n";
    text += "}\r\n";
    TexgenScript *script = read(texgen_test_u16(text));
    ASSERT_NE(script, nullptr);
    EXPECT_EQ(script->font_count, 256);
    EXPECT_EQ(texgen_test_narrow(script->fonts[255].name), "F255");
    EXPECT_EQ(script->bitmap_count, 256);
    EXPECT_EQ(script->step_count, 256);
    EXPECT_EQ(script->steps[255].x, 255);
    texgen_script_free(script);
}

TEST_F(TexgenReadTest, UnclosedBlocksEndWithTheFile)
{
    TexgenScript *script = read(u"COMPOSITION { ONDE=(1,2) EMBOSS=(1,2,3)");
    ASSERT_NE(script, nullptr);
    EXPECT_EQ(script->step_count, 2);
    texgen_script_free(script);
    script = read(u"FONTES { A { FICHIER=\"DejaVuSans.ttf\"\r\nSIZE=20\r\n");
    ASSERT_NE(script, nullptr);
    EXPECT_EQ(script->font_count, 0);  // the '{' line of the font is its first: nothing examined
    texgen_script_free(script);
    script = read(u"FONTES { A\r\n{\r\nFICHIER=\"DejaVuSans.ttf\"\r\nSIZE=20");
    ASSERT_NE(script, nullptr);
    EXPECT_EQ(script->font_count, 1);
    texgen_script_free(script);
    script = read(u"BITMAPS {");
    ASSERT_NE(script, nullptr);
    texgen_script_free(script);
}

TEST(TexgenWideTest, Helpers)
{
    EXPECT_EQ(texgen_wide_str_contains(u"CTEXTE=A", u"TEXTE"), 1);
    EXPECT_EQ(texgen_wide_str_contains(u"TEXT", u"TEXTE"), 0);
    EXPECT_EQ(texgen_wide_str_contains(u"abc", u""), 1);
    EXPECT_EQ(texgen_wide_str_contains(u"", u"a"), 0);
    EXPECT_EQ(texgen_wide_str_contains(u"", u""), 0);

    char narrow[8];
    texgen_wide_to_narrow(u"a\u00e9b\u0101c", narrow, sizeof narrow);
    EXPECT_STREQ(narrow, "a\xe9"
                         "b");
    texgen_wide_to_narrow(u"", narrow, sizeof narrow);
    EXPECT_STREQ(narrow, "");
    texgen_wide_to_narrow(u"abcdefghij", narrow, sizeof narrow);
    EXPECT_STREQ(narrow, "abcdefg");

    char16_t wide[8];
    EXPECT_EQ(texgen_format_wide(wide, 8, u"%s-%d%%", u"ab", -12), 7);
    EXPECT_EQ(texgen_test_narrow(wide), "ab--12%");
    EXPECT_EQ(texgen_format_wide(wide, 4, u"%s", u"abcdef"), 3);
    EXPECT_EQ(texgen_test_narrow(wide), "abc");

    EXPECT_STREQ(texgen_replace_extension("a/b.png", "jp2"), "a/b.jp2");
    EXPECT_STREQ(texgen_replace_extension("a/b.j", "jp2"), "a/b.jp2");
    EXPECT_STREQ(texgen_replace_extension("b.", "png"), "b.png");
    EXPECT_STREQ(texgen_replace_extension("./dir.d/name", "png"), "./dir.d/name.png");
    EXPECT_STREQ(texgen_replace_extension("x.tar.jpeg", "png"), "x.tar.png");
    EXPECT_STREQ(texgen_replace_extension(std::string(1100, 'a').c_str(), "png"), "");
}

}  // namespace
