// Helpers of the texture-script tests: UTF-16LE script files, a folder holding a DejaVu face and
// test pictures, and reading a script made in the test.
#pragma once

#include "codecs/codecs.h"
#include "platform/system.h"
#include "script/texgen_local.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// The DejaVu face the build found (the one the data folder carries), and its folder.
inline const char *TEXGEN_TEST_FONT_FOLDER_FACE = ZAV_DEJAVU_SANS;
inline const std::string TEXGEN_TEST_FONT_FOLDER = std::filesystem::path(ZAV_DEJAVU_SANS).parent_path().string();

// The bytes of a script file: the byte-order mark FF FE, then the text in UTF-16LE.
inline std::string texgen_test_utf16(const std::u16string &text)
{
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : text) {
        bytes.push_back((char)(unit & 0xFF));
        bytes.push_back((char)(unit >> 8));
    }
    return bytes;
}

inline std::u16string texgen_test_u16(const std::string &ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// A picture of w x h RGBA pixels from a function of (x, y) giving 0xRRGGBBAA.
template <typename F> std::vector<uint8_t> texgen_test_picture(int w, int h, F colour)
{
    std::vector<uint8_t> pixels((size_t)w * h * 4);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            uint32_t c = colour(x, y);
            uint8_t *p = &pixels[((size_t)y * w + x) * 4];
            p[0] = (uint8_t)(c >> 24);
            p[1] = (uint8_t)(c >> 16);
            p[2] = (uint8_t)(c >> 8);
            p[3] = (uint8_t)c;
        }
    return pixels;
}

// Each test works in a folder of its own, which is also the font folder; it holds DejaVuSans.ttf.
class TexgenTest : public ::testing::Test {
protected:
    TempDir temp;
    TestPathRestore restore;

    void SetUp() override
    {
        sys_path_reset(temp.path.c_str(), (temp / "user").c_str());
        std::filesystem::copy_file(TEXGEN_TEST_FONT_FOLDER_FACE, temp / "DejaVuSans.ttf");
        g_texgen_font_folder = temp.path.c_str();
        texgen_set_game_name(nullptr);
        texgen_set_output_size(1280, 1024);
    }

    void TearDown() override
    {
        g_texgen_font_folder = ".";
        texgen_set_output_size(1280, 1024);
    }

    // Writes a PNG (RGBA when has_alpha, else RGB) into the folder.
    void write_png(const std::string &name, int w, int h, std::vector<uint8_t> pixels, int has_alpha = 1)
    {
        ImageData image = {pixels.data(), w, h, has_alpha, 0};
        ASSERT_EQ(png_write_file((temp / name).c_str(), &image), 1);
    }

    // "photo.png", 40 x 30, for the scripts below.
    void write_photo()
    {
        write_png("photo.png", 40, 30, texgen_test_picture(40, 30, [](int x, int y) {
                      return (uint32_t)(x * 6) << 24 | (uint32_t)(y * 8) << 16 | 0x80FF;
                  }));
    }

    // Reads a script with the given text, written as "script.txt" in the folder.
    TexgenScript *read(const std::u16string &text)
    {
        test_write_file(temp / "script.txt", texgen_test_utf16(text));
        testing::internal::CaptureStdout();
        TexgenScript *script = texgen_script_read((temp / "script.txt").c_str());
        fflush(stdout);
        printed = testing::internal::GetCapturedStdout();
        return script;
    }

    std::string printed;  // what the last read wrote to the standard output
};

// A script with every kind of step, over a clouds bitmap and "photo.png".
inline const char16_t *TEXGEN_TEST_EVERY_STEP =
    u"FONTES {\r\n"
    u"TITRE\r\n{\r\nFICHIER=\"DejaVuSans.ttf\"\r\nSIZE=80\r\nOMBRAGE=(3,3)\r\n"
    u"OUTLINE=2\r\nDEGRADE=(255,255,255)/(255,255,255)\r\n}\r\n"
    u"PETIT\r\n{\r\nFICHIER=\"DejaVuSans.ttf\"\r\nSIZE=30\r\nGRAS\r\nSINUS\r\n"
    u"DEGRADE=(0,0,255)/(0,255,0)\r\n}\r\n}\r\n"
    u"BITMAPS {\r\n"
    u"NUAGE\r\n{\r\nCLOUDS=(120,160,255,64,48)\r\n}\r\n"
    u"PHOTO\r\n{\r\nFICHIER=\"photo.png\"\r\nOMBRAGE=(4,4)\r\n"
    u"OUTLINE=1\r\n}\r\n}\r\n"
    u"COMPOSITION {\r\n"
    u"ETIRER=NUAGE (0,0)\r\n"
    u"MOSAIC=NUAGE (10,20)\r\n"
    u"CARREDEGRADE=COULEUR(255,0,0) (100,110) (400,300)\r\n"
    u"BITMAP=PHOTO (800,150)\r\n"
    u"FBITMAP=PHOTO (800,600)\r\n"
    u"TEXTE=TITRE (120,700) \"Golf de $x$\"\r\n"
    u"CTEXTE=PETIT (640,900) \"Au centre\"\r\n"
    u"ONDEOMBREE=(4,4) (300,-200)\r\n"
    u"ONDE=(3,2)\r\n"
    u"EMBOSS=(640,512,2000) (0,0,0)\r\n"
    u"}\r\n";

inline std::string texgen_test_narrow(const char16_t *text)
{
    std::string out;
    for (; text && *text; text++) out.push_back(*text < 128 ? (char)*text : '?');
    return out;
}
