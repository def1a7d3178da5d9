// The high-score table built from player files in a temporary players folder.
#include "game/dialog.h"
#include "game/files.h"
#include "game/high_scores.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

class HighScoreTest : public ::testing::Test, protected TestFolders {
protected:
    std::string players = user + "/ZAV Games/Players/";

    void SetUp() override
    {
        app_load_folder_settings();
        g_high_scores_ready = 0;
    }

    static PlayerRecord record_of(const std::string &name, int16_t total, int32_t courses, int32_t marker = -1)
    {
        PlayerRecord record;
        memset(&record, 0, sizeof record);
        snprintf(record.name, sizeof record.name, "%s", name.c_str());
        record.total_over_par = total;
        record.courses_finished = courses;
        record.marker = marker;
        return record;
    }

    static void add_player(const std::string &name, int16_t total, int32_t courses, int32_t marker = -1)
    {
        PlayerRecord record = record_of(name, total, courses, marker);
        ASSERT_EQ(player_record_save(&record), 1);
    }

    // The players listed as the main menu lists them, then the table.
    static std::vector<std::string> build()
    {
        ui_players_dialog_init();
        high_scores_build();
        EXPECT_EQ(g_high_scores_ready, 1);
        std::vector<std::string> names;
        for (int32_t i = 0; i < g_high_score_count; i++) names.push_back(g_high_score_rows[i].name);
        return names;
    }
};

TEST_F(HighScoreTest, ScoreIsTheAverageOverParTruncatedTowardZero)
{
    const struct {
        int16_t total;
        int32_t courses, score;
    } cases[] = {{7, 2, 3}, {-7, 2, -3}, {9, 3, 3}, {-1, 3, 0}, {5, 0, 0}, {5, -2, 0}, {-32768, 1, -32768}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.total << " over " << c.courses);
        PlayerRecord record = record_of("p", c.total, c.courses);
        HighScoreRow row;
        ASSERT_EQ(high_score_row_of(&record, &row), 1);
        EXPECT_EQ(row.score, c.score);
        EXPECT_EQ(row.courses_finished, c.courses);
    }
}

TEST_F(HighScoreTest, OnlyRealPlayersAreListed)
{
    add_player("Ann", 4, 1);
    add_player("Nobody", 0, 0, PLAYER_MARKER_NONE);
    add_player("Odd", 0, 0, 0);
    EXPECT_EQ(build(), std::vector<std::string>{"Ann"});
}

TEST_F(HighScoreTest, TwentyPlayersKeepTheFourteenLowest)
{
    for (int i = 0; i < 20; i++) add_player("p" + std::to_string(10 + i), int16_t(19 - i), 1);
    std::vector<std::string> names = build();
    ASSERT_EQ(names.size(), 14u);
    for (int i = 0; i < 14; i++) {
        EXPECT_EQ(g_high_score_rows[i].score, i);
        EXPECT_EQ(names[i], "p" + std::to_string(29 - i));
    }
}

TEST_F(HighScoreTest, EqualScoresKeepTheListingOrder)
{
    add_player("a", 4, 2);
    add_player("b", 1, 1);
    add_player("c", 6, 3);
    add_player("d", 3, 3);
    add_player("e", -2, 1);
    EXPECT_EQ(build(), (std::vector<std::string>{"e", "b", "d", "a", "c"}));
}

TEST_F(HighScoreTest, FilesThatAreNotWholeRecordsAreSkipped)
{
    add_player("whole", 2, 1);
    test_write_file(players + "short.dat", std::string(1000, '\x01'));
    test_write_file(players + "empty.dat", "");
    // A name without its end: the row keeps 63 characters and ends there.
    PlayerRecord record = record_of("", -4, 1);
    memset(record.name, 'n', sizeof record.name);
    std::string bytes(reinterpret_cast<const char *>(&record), sizeof record);
    test_write_file(players + "long.dat", bytes + "trailing bytes");
    std::vector<std::string> names = build();
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], std::string(63, 'n'));
    EXPECT_EQ(names[1], "whole");
}

}  // namespace
