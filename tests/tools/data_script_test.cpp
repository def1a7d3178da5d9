// The written configuration reads back through the game's own reader, and every text file of the
// data folder ends its lines with CR LF.
#include "platform/system.h"
#include "script/config_main.h"
#include "script/text_reader.h"
#include "tests/test_util.h"
#include "tools/data_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

class DataScriptTest : public ::testing::Test {
protected:
    TempDir temp;

    void SetUp() override
    {
        sys_path_reset(temp.path.c_str(), (temp / "user").c_str());
        ASSERT_TRUE(data_write_script(temp / "data"));
    }
    void TearDown() override
    {
        for (char *&text : g_menu_texts) {
            free(text);
            text = nullptr;
        }
    }
};

TEST_F(DataScriptTest, EveryMenuTextAndSettingReadsBack)
{
    config_read_file(g_main_config_table, "data/txt/script.txt");
    for (int i = 0; i < MENU_TEXT_COUNT; i++) {
        ASSERT_NE(g_menu_texts[i], nullptr) << g_menu_text_keys[i];
        EXPECT_GT(strlen(g_menu_texts[i]), 0u) << g_menu_text_keys[i];
    }
    EXPECT_STREQ(menu_text(MENU_RETOUR), "Back");
    EXPECT_STREQ(menu_text(MENU_SCORE), "Score");
    EXPECT_STREQ(menu_text(MENU_SCORE2), "Total");
    EXPECT_STREQ(menu_text(MENU_PLAY), "Play");
    EXPECT_STREQ(menu_text(MENU_PLAYERPWD), "Password");
    EXPECT_EQ(config_theme_count(), 3);
    ASSERT_NE(g_theme_scene_files[2], nullptr);
    EXPECT_STREQ(g_theme_scene_files[2], "data/themes/night/blocs.qel");
    EXPECT_EQ(g_theme_light_b[2], 85);
    EXPECT_EQ(g_menu_text_selected_g, 80);
    EXPECT_EQ(g_setting_restitution_normal, 700);
    EXPECT_EQ(g_material_herbe, 5);
    ASSERT_NE(g_presentation_pages[0], nullptr);
    EXPECT_EQ(g_presentation_pages[1], nullptr);
}

TEST_F(DataScriptTest, NameFileGivesTheGameName)
{
    TextReader reader{};
    text_reader_open(&reader, "data/txt/nameofgame.ini");
    char line[512] = "";
    text_reader_gets(&reader, line, sizeof line);
    EXPECT_STREQ(line, g_data_game_name);
    text_reader_close(&reader);
}

TEST_F(DataScriptTest, TextFilesEndTheirLinesWithCarriageReturns)
{
    for (const auto &entry : std::filesystem::recursive_directory_iterator(temp / "data")) {
        std::string ext = entry.path().extension().string();
        if (ext != ".txt" && ext != ".ini") continue;
        std::string bytes = test_read_file(entry.path().string());
        for (size_t i = 0; i < bytes.size(); i++) {
            if (bytes[i] != '\n') continue;
            ASSERT_TRUE(i > 0 && bytes[i - 1] == '\r') << entry.path() << " at " << i;
        }
    }
}

}  // namespace
