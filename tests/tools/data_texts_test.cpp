// The written texts read back through the game's own readers: CR LF line ends, values the reader
// keeps whole, every shown text set, one palette scene for the themes; the font style files and
// faces, the help page, and the whole data program's repeatability.
#include "game/font.h"
#include "platform/system.h"
#include "script/config_main.h"
#include "tests/config_test_util.h"
#include "tests/tools/data_test_util.h"
#include "tools/data_writer.h"

#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

namespace {

class DataTextsTest : public ::testing::Test {
protected:
    TempDir temp;
    TestPathRestore restore;
    ConfigRestore config;

    void SetUp() override
    {
        sys_path_reset(temp.path.c_str(), (temp / "user").c_str());
        ASSERT_TRUE(data_write_script(temp / "data"));
        ASSERT_TRUE(data_write_fonts(temp / "data"));
        ASSERT_TRUE(data_write_help(temp / "data"));
    }
    void TearDown() override { data_test_free_config_texts(); }
};

TEST_F(DataTextsTest, ShownTextsFollowTheRules)
{
    for (const auto &entry : std::filesystem::recursive_directory_iterator(temp / "data")) {
        std::string ext = entry.path().extension().string();
        if (ext != ".txt" && ext != ".ini") continue;
        std::string bytes = test_read_file(entry.path().string());
        ASSERT_FALSE(bytes.empty()) << entry.path();
        EXPECT_EQ(bytes.back(), '\n') << entry.path();
        for (size_t i = 0; i < bytes.size(); i++) {
            if (bytes[i] != '\n') continue;
            ASSERT_TRUE(i > 0 && bytes[i - 1] == '\r') << entry.path() << " at " << i;
        }
    }

    config_read_file(g_main_config_table, "data/txt/script.txt");
    // A quote inside a value would cut it short; every quoted line holds exactly two.
    std::string text = test_read_file(temp / "data/txt/script.txt");
    size_t lines = 0;
    for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
        size_t quotes = std::count(text.begin() + at, text.begin() + end, '"');
        EXPECT_TRUE(quotes == 0 || quotes == 2) << text.substr(at, end - at);
        lines += quotes == 2;
    }
    EXPECT_GE(lines, (size_t)MENU_TEXT_COUNT);
    for (int i = 0; i < MENU_TEXT_COUNT; i++) {
        SCOPED_TRACE(g_menu_text_keys[i]);
        ASSERT_NE(g_menu_texts[i], nullptr);
        std::string value = g_menu_texts[i];
        EXPECT_FALSE(value.empty());
        // A brace or "#" would end the MENUS block early or cut the line.
        for (char c : value) {
            EXPECT_TRUE(c >= 32 && c < 127) << (int)(unsigned char)c;
            EXPECT_EQ(strchr("\"{}#", c), nullptr) << c;
        }
        if (strncmp(g_menu_text_keys[i], "TOOLTIP", 7) == 0) {
            EXPECT_LT(value.size(), 250u);
        }
    }
    // The editor shows the default hole name in a 14-character field.
    EXPECT_LE(strlen(menu_text(MENU_NIVONAMEDEFAULT)), 14u);
    ASSERT_NE(g_presentation_pages[0], nullptr);
    EXPECT_STREQ(g_presentation_pages[0], "data/gfx/presentation1");
    EXPECT_EQ(g_presentation_pages[1], nullptr);
}

TEST_F(DataTextsTest, ThemesShareOnePaletteScene)
{
    config_read_file(g_main_config_table, "data/txt/script.txt");
    ASSERT_EQ(config_theme_count(), 3);
    std::set<std::string> skies;
    for (int t = 0; t < 3; t++) {
        SCOPED_TRACE(g_theme_names[t]);
        ASSERT_NE(g_theme_scene_files[t], nullptr);
        EXPECT_STREQ(g_theme_scene_files[t], "data/themes/garden/blocs.qel");
        for (char **sky : {g_theme_sky_left, g_theme_sky_front, g_theme_sky_right, g_theme_sky_back}) {
            ASSERT_NE(sky[t], nullptr);
            skies.insert(sky[t]);
        }
    }
    EXPECT_EQ(skies.size(), 12u);
}

using DataFontsTest = DataTextsTest;

// Both files through the game's own style reader, into one record in turn as the game reads them:
// what the second leaves out would keep the first one's value.
TEST_F(DataFontsTest, StyleFilesReadBack)
{
    struct Case {
        const char *file;
        int size;
        int top[3], bottom[3], outline[3];
    };
    const Case cases[] = {
        {"data/gfx/script_font.txt", 30, {255, 255, 255}, {200, 215, 235}, {20, 30, 55}},
        {"data/gfx/script_font2.txt", 28, {255, 255, 255}, {255, 255, 255}, {15, 15, 15}},
    };
    FontStyle style;
    font_style_init(&style);
    ASSERT_EQ(FT_Init_FreeType(&style.library), 0);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(font_parse_style_file(c.file, &style), 1);  // its face opens
        EXPECT_EQ(style.size, c.size);
        EXPECT_EQ(style.bold, 0);
        EXPECT_EQ(style.outline_size, 2);
        EXPECT_TRUE(style.shadow_on);
        EXPECT_EQ(style.shadow_dx, 3);
        EXPECT_EQ(style.shadow_alpha, 150);
        EXPECT_EQ(style.fill_pixels, nullptr);
        for (int k = 0; k < 3; k++) {
            EXPECT_EQ(style.body_top[k], c.top[k]) << k;
            EXPECT_EQ(style.body_bottom[k], c.bottom[k]) << k;
            EXPECT_EQ(style.outline_top[k], c.outline[k]) << k;
            EXPECT_EQ(style.outline_bottom[k], c.outline[k]) << k;
        }
    }
    font_style_release(&style);
    FT_Done_FreeType(style.library);
}

TEST_F(DataFontsTest, FacesOpen)
{
    FT_Library library = nullptr;
    ASSERT_EQ(FT_Init_FreeType(&library), 0);
    for (const char *face_path : {"data/fonts/DejaVuSans-Bold.ttf", "data/fonts/DejaVuSans.ttf"}) {
        SCOPED_TRACE(face_path);
        // The game opens it after _chdir, which the path layer keeps to itself: FreeType needs
        // the native path.
        char native[1024];
        ASSERT_EQ(sys_native_path(face_path, native, sizeof native), 1);
        FT_Face face = nullptr;
        ASSERT_EQ(FT_New_Face(library, native, 0, &face), 0);
        ASSERT_EQ(FT_Set_Pixel_Sizes(face, 0, 60), 0);
        // The printable Latin-1 codes have glyphs of their own; the control codes 127-159 draw
        // the face's missing-glyph box. Every code but the no-break space 160 leaves ink.
        int faults = 0;
        for (int code = 33; code < 256 && faults < 5; code++) {
            FT_UInt index = FT_Get_Char_Index(face, code);
            bool printable = code < 127 || code > 160;
            bool inked = FT_Load_Glyph(face, index, 0) == 0 &&
                         FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) == 0 && face->glyph->bitmap.width > 0 &&
                         face->glyph->bitmap.rows > 0;
            if ((printable && index == 0) || inked != (code != 160)) {
                ADD_FAILURE() << "code " << code << ": glyph " << index << ", ink " << inked;
                faults++;
            }
        }
        FT_Done_Face(face);
    }
    FT_Done_FreeType(library);
    std::string licence = test_read_file(temp / "data/fonts/LICENSE-DejaVu.txt");
    EXPECT_NE(licence.find("Bitstream"), std::string::npos);
    EXPECT_NE(licence.find("Permission is hereby granted"), std::string::npos);
}

using DataHelpTest = DataTextsTest;

TEST_F(DataHelpTest, PageNamedByIniExists)
{
    char name[260] = "";
    GetPrivateProfileStringA("Html", "FileName", ".\\html\\index.html", name, sizeof name, ".\\data\\txt\\html.ini");
    EXPECT_STREQ(name, "index.html");
    // The game changes into "html" beside the data folder before it opens the page.
    std::string page = test_read_file(temp / ("html/" + std::string(name)));
    ASSERT_FALSE(page.empty());
    EXPECT_NE(page.find("Permission is hereby granted"), std::string::npos);
    EXPECT_NE(page.find(g_data_game_name), std::string::npos);
    EXPECT_EQ(page.find("<script"), std::string::npos);
}

// Every file below `root`, by its path relative to it.
std::map<std::string, std::string> read_tree(const std::string &root)
{
    std::map<std::string, std::string> files;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files[std::filesystem::relative(entry.path(), root).string()] = test_read_file(entry.path().string());
    return files;
}

TEST(DataFilesTest, SameBytesTwice)
{
    TempDir temp;
    for (const char *run : {"a", "b"}) {
        std::string command = std::string("'") + ZAV_ZAVDATA_TOOL + "' '" + (temp / run) + "/data'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    std::map<std::string, std::string> a = read_tree(temp / "a"), b = read_tree(temp / "b");
    EXPECT_GT(a.size(), 8u);
    ASSERT_EQ(a.size(), b.size());
    for (const auto &[path, bytes] : a) {
        auto other = b.find(path);
        ASSERT_NE(other, b.end()) << path;
        EXPECT_TRUE(bytes == other->second) << path;
        EXPECT_EQ(path.find(".tmp"), std::string::npos) << path;
    }
}

}  // namespace
