// The game's folders, options and player files, file lists and hole descriptions, in temporary
// folders standing for the working folder and drive C:.
#include "game/files.h"
#include "platform/system.h"
#include "script/config_main.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

class FilesTest : public ::testing::Test, protected TestFolders {
protected:
    void SetUp() override
    {
        // The options' first-run values: tests run in one process must not see each other's.
        g_music_on = 1;
        g_theme_index = 0;
        g_sound_effects_on = 1;
        g_music_track = 0;
        g_option_resolution = 1;
        g_option_glow = 1;
        g_option_hole_variant = 0;
        g_sound_card_on = 1;
        g_option_aim_line = 0;
        g_option_replay = 1;
        g_option_hole_drawing = 0;
        g_option_vsync = 1;
    }

    void ini(const std::string &game_path)
    {
        test_write_file(run + "/repertoire.ini", "[Path]\r\nGamePath=" + game_path + "\r\n");
    }

    static std::string windows_form(std::string posix)
    {
        for (char &c : posix)
            if (c == '/') c = '\\';
        return posix;
    }
};

TEST_F(FilesTest, DefaultGamePathLivesOnDriveC)
{
    EXPECT_TRUE(app_load_folder_settings());
    EXPECT_STREQ(g_saves_folder, "c:/ZAV Games/Saves/");
    EXPECT_STREQ(g_options_path, "c:/ZAV Games/Saves/OPTIONS.DAT");
    EXPECT_STREQ(g_lit_cache_folder, "c:/ZAV Games/QEL");
    EXPECT_STREQ(g_troubleshooting_path, "c:/ZAV Games/troubleshooting.html");
    for (const char *sub : {"Captures", "Saves", "Players", "QEL", "QELPERSO"})
        EXPECT_TRUE(std::filesystem::is_directory(user + "/ZAV Games/" + sub)) << sub;
    EXPECT_EQ(std::filesystem::file_size(user + "/ZAV Games/Saves/OPTIONS.DAT"), 28u);
    char cwd[512];
    EXPECT_STREQ(_getcwd(cwd, sizeof cwd), g_start_dir);  // back where it started
    EXPECT_FALSE(app_load_folder_settings());              // not the first run any more
}

TEST_F(FilesTest, RootedGamePathStaysOnTheStartDrive)
{
    std::string rooted = windows_form(temp / "rooted/golf");
    ini(rooted);
    app_load_folder_settings();
    EXPECT_EQ(std::string(g_saves_folder), temp / "rooted/golf/Saves/");
    EXPECT_TRUE(std::filesystem::is_directory(temp / "rooted/golf/QELPERSO"));
}

TEST_F(FilesTest, FirstRunOptionsImageIsExact)
{
    app_load_folder_settings();
    std::string bytes = test_read_file(user + "/ZAV Games/Saves/OPTIONS.DAT");
    const unsigned char golden[28] = {1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0,
                                      1, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0};
    ASSERT_EQ(bytes.size(), 28u);
    EXPECT_EQ(memcmp(bytes.data(), golden, 28), 0);
}

TEST_F(FilesTest, OptionsRoundTripAndOddValuesAreChecked)
{
    app_load_folder_settings();
    g_theme_index = 2;
    g_music_track = 2;
    g_option_vsync = 0;
    g_option_hole_drawing = 1;
    ASSERT_EQ(app_options_save(), 1);
    std::string saved = test_read_file(user + "/ZAV Games/Saves/OPTIONS.DAT");
    g_theme_index = g_music_track = 0;
    g_option_vsync = 1;
    app_options_load();
    EXPECT_EQ(g_theme_index, 2);
    EXPECT_EQ(g_music_track, 2);
    EXPECT_EQ(g_option_vsync, 0);
    ASSERT_EQ(app_options_save(), 1);
    EXPECT_EQ(test_read_file(user + "/ZAV Games/Saves/OPTIONS.DAT"), saved);

    saved[2] = saved[3] = char(0xFF);  // theme index 0xFFFF
    saved[8] = 9;                      // music track 9
    test_write_file(user + "/ZAV Games/Saves/OPTIONS.DAT", saved);
    app_options_load();
    EXPECT_EQ(g_theme_index, 0);
    EXPECT_EQ(g_music_track, 0);

    test_write_file(user + "/ZAV Games/Saves/OPTIONS.DAT", "short");
    g_option_vsync = 7;
    app_options_load();
    EXPECT_EQ(g_option_vsync, 7);  // nothing read from a short file
}

TEST_F(FilesTest, ThemeIndexPastTheConfiguredThemes)
{
    g_theme_index = 5;
    EXPECT_FALSE(app_options_check_theme(3));
    EXPECT_EQ(g_theme_index, 0);
    g_theme_index = 2;
    EXPECT_TRUE(app_options_check_theme(3));
    EXPECT_EQ(g_theme_index, 2);
    EXPECT_FALSE(app_options_check_theme(0));
    EXPECT_EQ(g_theme_index, 0);
}

TEST_F(FilesTest, DefaultPlayerFilesHoldNoStaleNameBytes)
{
    app_load_folder_settings();
    memset(g_player_record[0].name, 'z', sizeof g_player_record[0].name);
    player_create_default_records();
    std::string first = std::string(menu_text(MENU_NOM0)[0] ? menu_text(MENU_NOM0) : "Player");
    std::string bytes = test_read_file(user + "/ZAV Games/Players/" + first + ".dat");
    ASSERT_EQ(bytes.size(), 1052u);
    for (size_t i = first.size(); i < 1024; i++) ASSERT_EQ(bytes[i], '\0') << i;
}

TEST_F(FilesTest, AFailedWriteKeepsTheOldOptions)
{
    app_load_folder_settings();
    std::string before = test_read_file(user + "/ZAV Games/Saves/OPTIONS.DAT");
    std::filesystem::create_directories(user + "/ZAV Games/Saves/OPTIONS.DAT.tmp");
    g_option_vsync = 0;
    EXPECT_EQ(app_options_save(), 0);
    EXPECT_EQ(test_read_file(user + "/ZAV Games/Saves/OPTIONS.DAT"), before);
}

TEST_F(FilesTest, DefaultPlayersAndRecordsRoundTrip)
{
    app_load_folder_settings();
    player_create_default_records();
    std::string first = std::string(menu_text(MENU_NOM0)[0] ? menu_text(MENU_NOM0) : "Player") + ".dat";
    std::string second = std::string(menu_text(MENU_NOM1)[0] ? menu_text(MENU_NOM1) : "Nobody") + ".dat";
    EXPECT_EQ(std::filesystem::file_size(user + "/ZAV Games/Players/" + first), 1052u);

    PlayerRecord record{};
    ASSERT_EQ(player_record_load(&record, second.c_str()), 1);
    EXPECT_EQ(record.marker, PLAYER_MARKER_NONE);
    ASSERT_EQ(player_record_load(&record, first.c_str()), 1);
    EXPECT_EQ(record.marker, PLAYER_MARKER_REAL);

    record.total_over_par = -7;
    record.avatar = 3;
    record.average_sum = 1.25f;
    record.holes_scored = 18;
    record.courses_finished = 2;
    ASSERT_EQ(player_record_save(&record), 1);
    std::string bytes = test_read_file(user + "/ZAV Games/Players/" + first);
    ASSERT_EQ(bytes.size(), 1052u);
    EXPECT_EQ((unsigned char)bytes[1024], 0xF9);  // -7, little-endian
    EXPECT_EQ((unsigned char)bytes[1025], 0xFF);
    PlayerRecord back{};
    ASSERT_EQ(player_record_load(&back, first.c_str()), 1);
    EXPECT_EQ(memcmp(&back, &record, sizeof record), 0);

    // A name without its terminator is cut, never read past.
    std::string unterminated(1052, 'x');
    test_write_file(user + "/ZAV Games/Players/long.dat", unterminated);
    ASSERT_EQ(player_record_load(&back, "long.dat"), 1);
    EXPECT_EQ(strlen(back.name), 1023u);
    EXPECT_EQ(player_record_load(&back, "missing.dat"), 0);
}

TEST_F(FilesTest, FoldersListBeforeScenes)
{
    for (const char *name : {"b.qel", "a.qel", "notes.txt"}) test_write_file(run + "/" + name, "");
    std::filesystem::create_directories(run + "/Set2");
    ui_folder_and_scene_list_fill();
    std::vector<std::string> names(g_file_names, g_file_names + g_file_count);
    EXPECT_EQ(names, (std::vector<std::string>{"..", "Set2", "a.qel", "b.qel"}));

    ui_file_list_fill("*.qel");
    EXPECT_EQ(g_file_count, 2);
    EXPECT_EQ(ui_file_count("*.qel"), 2);
    EXPECT_EQ(ui_file_count("*.png"), 0);

    g_course_set_count = 0;
    ui_course_set_list_fill();
    ASSERT_EQ(g_course_set_count, 1);
    EXPECT_STREQ(g_course_set_names[0], "Set2");
}

TEST_F(FilesTest, HoleDescriptionRoundTrip)
{
    ASSERT_EQ(app_write_hole_description("hole1.txt", "Ten Oaks", 3), 1);
    EXPECT_EQ(test_read_file(run + "/hole1.txt"), "NAME \"Ten Oaks\"\nPAR 3\n");
    app_read_hole_description("hole1.txt");
    EXPECT_STREQ(g_hole_name, "Ten Oaks");
    EXPECT_EQ(g_hole_par, 3);

    test_write_file(run + "/hole2.txt", "NAME \"Windmill\"\r\nPRA 4\r\n");
    app_read_hole_description("hole2.txt");
    EXPECT_STREQ(g_hole_name, "Windmill");
    EXPECT_EQ(g_hole_par, 4);

    app_read_hole_description("missing.txt");
    EXPECT_STREQ(g_hole_name, "Windmill");
    EXPECT_EQ(g_hole_par, 5);

    test_write_file(run + "/hole3.txt", "NAME no quotes\r\nPAR x\r\n");
    app_read_hole_description("hole3.txt");
    EXPECT_STREQ(g_hole_name, "");
    EXPECT_EQ(g_hole_par, 5);

    test_write_file(run + "/hole4.txt", "NAME \"Ten Oaks\r\nPAR 2\r\n");
    app_read_hole_description("hole4.txt");
    EXPECT_STREQ(g_hole_name, "");  // no closing quote: no title, not the rest of the line
    EXPECT_EQ(g_hole_par, 2);
}

using HoleDescriptionTest = FilesTest;

// The editor's field admits '"', which would end the title early: it is written as an apostrophe.
TEST_F(HoleDescriptionTest, QuotesBecomeApostrophes)
{
    const struct {
        const char *title, *written, *read;
    } cases[] = {
        {"Ten \"Oaks\"", "NAME \"Ten 'Oaks'\"\nPAR 3\n", "Ten 'Oaks'"},
        {"\"", "NAME \"'\"\nPAR 3\n", "'"},
        {"Two\r\nlines", "NAME \"Two  lines\"\nPAR 3\n", "Two  lines"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.title);
        g_hole_par = 5;
        ASSERT_EQ(app_write_hole_description("hole.txt", c.title, 3), 1);
        EXPECT_EQ(test_read_file(run + "/hole.txt"), c.written);
        app_read_hole_description("hole.txt");
        EXPECT_STREQ(g_hole_name, c.read);
        EXPECT_EQ(g_hole_par, 3);
    }
}

}  // namespace
