// The texture-script reader: sections, blocks, steps and their arguments, texts, the byte-order
// mark, bounds of names, texts and tables, and the UTF-16 helpers.
#include "tests/script/texgen_test_util.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstring>

namespace {

const char16_t *FULL_SCRIPT = u"FONTES {\r\n"
                              u"TITRE\r\n"
                              u"{\r\n"
                              u"  FICHIER = \"DejaVuSans.ttf\"\r\n"
                              u"  SIZE = 40\r\n"
                              u"  OMBRAGE=(3,-4)\r\n"
                              u"  GRAS\r\n"
                              u"  OUTLINE=2\r\n"
                              u"  DEGRADE=(10,20,30)/(200,210,220)\r\n"
                              u"  SINUS\r\n"
                              u"}\r\n"
                              u"}\r\n"
                              u"BITMAPS {\r\n"
                              u"FOND\r\n"
                              u"{\r\n"
                              u"  FICHIER=\"fond.bmp\"\r\n"
                              u"  OMBRAGE=(5,6)\r\n"
                              u"  OUTLINE=1\r\n"
                              u"}\r\n"
                              u"}\r\n"
                              u"COMPOSITION {\r\n"
                              u"MOSAIC=FOND (10,20)\r\n"
                              u"ETIRER=FOND (0,0)\r\n"
                              u"TEXTE=TITRE (100,200) \"Bonjour\"\r\n"
                              u"CTEXTE=TITRE (640,300) \"Le   jeu\r\n de $x$ !\"\r\n"
                              u"BITMAP=FOND (30,40)\r\n"
                              u"FBITMAP=FOND (50,-60)\r\n"
                              u"ONDE=(8,3)\r\n"
                              u"ONDEOMBREE=(9,4) (1,-2)\r\n"
                              u"EMBOSS=(640,512,300) (1,2,3)\r\n"
                              u"CARREDEGRADE=COULEUR(255,128,0) (100,110) (300,200)\r\n"
                              u"}\r\n";

using TexgenReadTest = TexgenTest;

TEST_F(TexgenReadTest, ReadsFontsBitmapsAndEveryStepWithItsArguments)
{
    write_png("fond.png", 4, 2, texgen_test_picture(4, 2, [](int x, int y) { return 0x10203040u + x + 16 * y; }));
    texgen_set_game_name("ZAV Golf");
    TexgenScript *script = read(FULL_SCRIPT);
    ASSERT_NE(script, nullptr);
    EXPECT_EQ(printed, "FONTES\nBITMAPS\nCOMPOSITION\n");

    ASSERT_EQ(script->font_count, 1);
    const TexgenFont &font = script->fonts[0];
    EXPECT_EQ(texgen_test_narrow(font.name), "TITRE");
    EXPECT_STREQ(font.file_name, "DejaVuSans.ttf");
    EXPECT_NE(font.face, nullptr);
    EXPECT_EQ(font.size, 40);
    EXPECT_EQ(font.shadow, 1);
    EXPECT_EQ(font.shadow_dx, 3);
    EXPECT_EQ(font.shadow_dy, -4);
    EXPECT_EQ(font.bold, 1);
    EXPECT_EQ(font.outline, 2);
    EXPECT_EQ(font.colour_mode, 2);  // SINUS after DEGRADE
    EXPECT_EQ(font.colour_top[0], 10);
    EXPECT_EQ(font.colour_top[2], 30);
    EXPECT_EQ(font.colour_bottom[0], 200);
    EXPECT_EQ(font.colour_bottom[2], 220);
    // DejaVu's box top (its tallest glyph) is about 1.2 em, at 39.6 pixels a em.
    EXPECT_GE(font.ascent, 45);
    EXPECT_LE(font.ascent, 52);
    EXPECT_EQ(font.bold_advance, (int)(font.face->size->metrics.y_ppem * 6.4));

    ASSERT_EQ(script->bitmap_count, 1);
    const TexgenBitmap &bitmap = script->bitmaps[0];
    EXPECT_EQ(texgen_test_narrow(bitmap.name), "FOND");
    EXPECT_STREQ(bitmap.file_name, "fond.bmp");
    EXPECT_EQ(bitmap.width, 4);
    EXPECT_EQ(bitmap.height, 2);
    ASSERT_NE(bitmap.pixels, nullptr);
    EXPECT_EQ(bitmap.pixels[(1 * 4 + 3) * 4 + 0], 0x10);
    EXPECT_EQ(bitmap.pixels[(1 * 4 + 3) * 4 + 3], 255);  // alpha mode 0
    EXPECT_EQ(bitmap.shadow, 1);
    EXPECT_EQ(bitmap.shadow_dx, 5);
    EXPECT_EQ(bitmap.shadow_dy, 6);
    EXPECT_EQ(bitmap.frame, 1);

    ASSERT_EQ(script->step_count, 10);
    const TexgenStep *s = script->steps;
    const int32_t kinds[10] = {TEXGEN_MOSAIC,  TEXGEN_ETIRER, TEXGEN_TEXTE,      TEXGEN_CTEXTE, TEXGEN_BITMAP,
                               TEXGEN_FBITMAP, TEXGEN_ONDE,   TEXGEN_ONDEOMBREE, TEXGEN_EMBOSS, TEXGEN_CARREDEGRADE};
    for (int i = 0; i < 10; i++) EXPECT_EQ(s[i].kind, kinds[i]) << i;
    EXPECT_EQ(texgen_test_narrow(s[0].name), "FOND");
    EXPECT_EQ(s[0].x, 10);
    EXPECT_EQ(s[0].y, 20);
    EXPECT_EQ(texgen_test_narrow(s[2].name), "TITRE");
    EXPECT_EQ(s[2].x, 100);
    EXPECT_EQ(s[2].y, 200);
    EXPECT_EQ(texgen_test_narrow(s[2].text), "Bonjour");
    EXPECT_EQ(s[3].x, 640);
    // Blanks and line ends between the words of a text become one blank; $x$ is the game's name.
    EXPECT_EQ(texgen_test_narrow(s[3].text), "Le jeu de ZAV Golf !");
    EXPECT_EQ(s[4].x, 30);
    EXPECT_EQ(s[5].y, -60);
    EXPECT_EQ(s[6].param_a, 8);
    EXPECT_EQ(s[6].param_b, 3);
    EXPECT_EQ(s[7].param_a, 9);
    EXPECT_EQ(s[7].param_b, 4);
    EXPECT_EQ(s[7].x, 1);
    EXPECT_EQ(s[7].y, -2);
    EXPECT_EQ(s[8].x, 640);
    EXPECT_EQ(s[8].y, 512);
    EXPECT_EQ(s[8].param_b, 300);
    EXPECT_EQ(s[8].colour[0], 1);
    EXPECT_EQ(s[8].colour[2], 3);
    EXPECT_EQ(s[9].colour[0], 255);
    EXPECT_EQ(s[9].colour[1], 128);
    EXPECT_EQ(s[9].x, 100);
    EXPECT_EQ(s[9].y, 110);
    EXPECT_EQ(s[9].size_w, 300);
    EXPECT_EQ(s[9].size_h, 200);
    EXPECT_EQ(texgen_find_font(script, u"TITRE"), 0);
    EXPECT_EQ(texgen_find_bitmap(script, u"FOND"), 0);
    EXPECT_EQ(texgen_find_bitmap(script, u"FON"), -1);
    texgen_script_free(script);
}

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

TEST_F(TexgenReadTest, KeywordPrecedenceAndTheLastWordRead)
{
    TexgenScript *script = read(u"COMPOSITION {\r\n"
                                u"CTEXTE=F (1,2) \"a\" ONDEOMBREE=(1,2) (3,4) FBITMAP=B (5,6) BITMAPS=B (7,8)\r\n"
                                u"MOSAIC=B ETIRER=B (9,9)\r\n"
                                u"}\r\n");
    ASSERT_NE(script, nullptr);
    ASSERT_EQ(script->step_count, 6);
    EXPECT_EQ(script->steps[0].kind, TEXGEN_CTEXTE);
    EXPECT_EQ(script->steps[1].kind, TEXGEN_ONDEOMBREE);
    EXPECT_EQ(script->steps[2].kind, TEXGEN_FBITMAP);
    EXPECT_EQ(script->steps[3].kind, TEXGEN_BITMAP);
    EXPECT_EQ(script->steps[3].x, 7);
    // MOSAIC's position word is "ETIRER=B", which the next test then records as a step of its own.
    EXPECT_EQ(script->steps[4].kind, TEXGEN_MOSAIC);
    EXPECT_EQ(script->steps[4].x, 0);
    EXPECT_EQ(script->steps[5].kind, TEXGEN_ETIRER);
    EXPECT_EQ(script->steps[5].x, 9);
    texgen_script_free(script);
}

TEST_F(TexgenReadTest, ValuesAfterTheFirstEqualsSign)
{
    TexgenScript *script =
        read(u"FONTES { A {\r\n"
             u"FICHIER=\"DejaVuSans.ttf\"\r\nSIZE=   40\r\nOMBRAGE= (1,2)\r\nDEGRADE=(1,2,x)/(4,5,6)\r\n"
             u"}\r\n}\r\n"
             u"COMPOSITION { EMBOSS=(1,2) (7,8,9) CARREDEGRADE=(1,2,3) (4,5) (6,7) }");
    ASSERT_NE(script, nullptr);
    ASSERT_EQ(script->font_count, 1);
    const TexgenFont &font = script->fonts[0];
    EXPECT_EQ(font.size, 40);
    EXPECT_EQ(font.shadow, 1);
    EXPECT_EQ(font.shadow_dx, 0);
    EXPECT_EQ(font.shadow_dy, 0);
    // A value that stops matching keeps the rest as they were.
    EXPECT_EQ(font.colour_mode, 1);
    EXPECT_EQ(font.colour_top[1], 2);
    EXPECT_EQ(font.colour_top[2], 0);
    EXPECT_EQ(font.colour_bottom[0], 0);
    ASSERT_EQ(script->step_count, 2);
    EXPECT_EQ(script->steps[0].x, 1);
    EXPECT_EQ(script->steps[0].y, 2);
    EXPECT_EQ(script->steps[0].param_b, 0);
    EXPECT_EQ(script->steps[0].colour[2], 9);
    // Without "COULEUR" the colour is not read; the position words are.
    EXPECT_EQ(script->steps[1].colour[0], 0);
    EXPECT_EQ(script->steps[1].x, 4);
    texgen_script_free(script);
}

TEST_F(TexgenReadTest, BlockBraces)
{
    // A font's '}' on its '{' line closes it unexamined, and its '}' line is examined; a bitmap's
    // '{' and '}' lines are not examined.
    write_png("p.png", 1, 1, {1, 2, 3, 4});
    TexgenScript *script =
        read(u"FONTES {\r\nA { SIZE=3 }\r\nB\r\n{\r\nFICHIER=\"DejaVuSans.ttf\"\r\nSIZE=30 }\r\n}\r\n"
             u"BITMAPS {\r\nP { OUTLINE=1\r\nFICHIER=\"p.x\"\r\n}\r\n"
             u"Q\r\n{\r\nFICHIER=\"p.x\"\r\nOUTLINE=1 }\r\n"
             u"R\r\n{\r\nFICHIER=\"p.x\"\r\nOUTLINE=1\r\n}\r\n}\r\n");
    ASSERT_NE(script, nullptr);
    ASSERT_EQ(script->font_count, 1);
    EXPECT_EQ(texgen_test_narrow(script->fonts[0].name), "B");
    EXPECT_EQ(script->fonts[0].size, 30);
    ASSERT_EQ(script->bitmap_count, 3);
    EXPECT_EQ(script->bitmaps[0].frame, 0);
    EXPECT_EQ(script->bitmaps[1].frame, 0);
    EXPECT_EQ(script->bitmaps[2].frame, 1);
    texgen_script_free(script);
}

TEST_F(TexgenReadTest, TextArguments)
{
    texgen_set_game_name("Golf");
    TexgenScript *script = read(u"COMPOSITION {\r\n"
                                u"TEXTE=F (0,0) \"un\"\r\n"
                                u"TEXTE=F (0,0) \"$x$ et $x\"\r\n"
                                u"TEXTE=F (0,0) \"a\"b\"\r\n"
                                u"TEXTE=F (0,0) sans\r\n"
                                u"TEXTE=F (0,0) \"ouvert  ONDE=(1,2)\r\n"
                                u"}\r\n");
    ASSERT_NE(script, nullptr);
    // The unclosed text runs to the end of the file, taking the closing brace with it.
    ASSERT_EQ(script->step_count, 5);
    EXPECT_EQ(texgen_test_narrow(script->steps[0].text), "un");
    EXPECT_EQ(texgen_test_narrow(script->steps[1].text), "Golf et $x");
    EXPECT_EQ(texgen_test_narrow(script->steps[2].text), "a");
    EXPECT_EQ(texgen_test_narrow(script->steps[3].text), "ans");
    EXPECT_EQ(texgen_test_narrow(script->steps[4].text), "ouvert ONDE=(1,2) }");
    texgen_script_free(script);
}

TEST_F(TexgenReadTest, ReadingStopsAtCompositionAndEnd)
{
    TexgenScript *script =
        read(u"junk COMPOSITION { ONDE=(1,2) } ONDE=(3,4) FONTES { A { FICHIER=\"DejaVuSans.ttf\"\r\n"
             u"SIZE=20 } }");
    ASSERT_NE(script, nullptr);
    EXPECT_EQ(printed, "junk\nCOMPOSITION\n");
    EXPECT_EQ(script->step_count, 1);
    EXPECT_EQ(script->font_count, 0);
    texgen_script_free(script);

    script = read(u"END COMPOSITION { ONDE=(1,2) }");
    ASSERT_NE(script, nullptr);
    EXPECT_EQ(script->step_count, 0);
    texgen_script_free(script);

    // A word is printed up to its first unit above 255.
    script = read(u"AB\u0100C");
    EXPECT_EQ(printed, "AB\n");
    texgen_script_free(script);
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

TEST_F(TexgenReadTest, PicturesFromFilesCountAgainstTheScriptsPixels)
{
    // Pictures from files share the bitmaps' budget with the clouds: a script naming one large
    // picture many times cannot hold it many times over.
    write_png("small.png", 8, 8, std::vector<uint8_t>(8 * 8 * 4, 9));
    write_png("large.png", 100, 100, std::vector<uint8_t>(100 * 100 * 4, 9));
    TexgenScript *script = (TexgenScript *)calloc(1, sizeof(TexgenScript));
    script->bitmap_count = 2;  // sizes only, standing for two clouds that leave 4096 pixels free
    script->bitmaps[0].width = script->bitmaps[1].width = 4096;
    script->bitmaps[0].height = 4096;
    script->bitmaps[1].height = 4095;
    for (const char *name : {"large", "small"}) {
        std::string block = std::string(" {\r\nFICHIER=\"") + name + ".png\"\r\n}\r\n";
        std::string bytes = texgen_test_utf16(texgen_test_u16(block)).substr(2);
        TexgenFile file = {(const uint8_t *)bytes.data(), bytes.size(), 0};
        std::u16string wide = texgen_test_u16(name);
        texgen_read_bitmaps(wide.c_str(), script, &file);
    }
    ASSERT_EQ(script->bitmap_count, 3);
    EXPECT_EQ(texgen_test_narrow(script->bitmaps[2].name), "small");
    texgen_script_free(script);
}

TEST_F(TexgenReadTest, PicturesOpenAsJpeg2000BeforePng)
{
    std::vector<uint8_t> red = texgen_test_picture(3, 2, [](int, int) { return 0xFF0000FFu; });
    std::vector<uint8_t> blue = texgen_test_picture(3, 2, [](int, int) { return 0x0000FFFFu; });
    ImageData jp2 = {red.data(), 3, 2, 1, 0};
    ASSERT_EQ(jp2_write_file((temp / "both.jp2").c_str(), &jp2), 1);
    write_png("both.png", 3, 2, blue);
    write_png("short.png", 3, 2, blue);
    // The extension written in the script is replaced whatever its length.
    TexgenScript *script = read(u"BITMAPS { A { \r\nFICHIER=\"both.tga\"\r\n}\r\n B {\r\nFICHIER=\"short.p\"\r\n}\r\n"
                                u"C {\r\nFICHIER=\"short\"\r\n} }");
    ASSERT_NE(script, nullptr);
    ASSERT_EQ(script->bitmap_count, 3);
    EXPECT_EQ(script->bitmaps[0].pixels[0], 255);
    EXPECT_EQ(script->bitmaps[0].pixels[2], 0);
    EXPECT_EQ(script->bitmaps[1].pixels[2], 255);
    EXPECT_EQ(script->bitmaps[2].width, 3);
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
