// Note periods: the octave table, the finetune rows of MOD periods, and note periods at finetunes
// between the table's steps.
#include "sound/music_local.h"

#include <gtest/gtest.h>

TEST(MusicPeriod, OctaveTableRunsFromMinusEightToNinetySix)
{
    EXPECT_EQ(g_music_octave_periods[-8], 15356);
    EXPECT_EQ(g_music_octave_periods[0], 14494);
    EXPECT_EQ(g_music_octave_periods[96], 7247);
    for (int i = -8; i < 96; i++) EXPECT_GT(g_music_octave_periods[i], g_music_octave_periods[i + 1]) << i;
}

TEST(MusicPeriod, TableRowsAreFinetunesAndHoldTheLimits)
{
    music_build_period_table();
    EXPECT_EQ(g_music_period_table[8][36], 1811);
    EXPECT_EQ(g_music_period_table[15][71], 233);   // lowest MOD period
    EXPECT_EQ(g_music_period_table[0][0], 14919);   // highest MOD period
    EXPECT_EQ(g_music_period_table[8][37] / 2, 855);  // C-1, Amiga 856
    EXPECT_EQ(g_music_period_table[8][49] / 2, 427);  // C-2, Amiga 428
    EXPECT_EQ(g_music_period_table[8][107], 29);
    EXPECT_EQ(g_music_period_table[8][108], 0);  // only notes 0 to 107 are filled
    // Even rows fall in 1/8 semitone steps. The odd rows below 8 (finetunes -7, -5, -3, -1) take
    // their fraction from the finetune plus 128 and land a step higher: -1 plays as +1.
    for (int row = 0; row < 14; row += 2) EXPECT_GT(g_music_period_table[row][40], g_music_period_table[row + 2][40]);
    for (int row = 9; row < 15; row++) EXPECT_GT(g_music_period_table[row][40], g_music_period_table[row + 1][40]);
    for (int note = 0; note < 108; note++) EXPECT_EQ(g_music_period_table[7][note], g_music_period_table[9][note]);
    // Row 8 is finetune 0: the entry is a quarter of the note's period.
    EXPECT_EQ(g_music_period_table[8][36], music_compute_note_period(36, 0) / 4);
}

TEST(MusicPeriod, NotePeriodInterpolatesBetweenSteps)
{
    // Octave 0 uses four times the table.
    EXPECT_EQ(music_compute_note_period(0, 0), 4 * 14494);
    EXPECT_EQ(music_compute_note_period(0, 16), 4 * g_music_octave_periods[1]);
    // Octave 1, finetune -56: between steps -3 and -2, half way.
    EXPECT_EQ(music_compute_note_period(12, -56), (2 * 14811 + 2 * 14705) / 2);
    // Octave 4 (C-4 of an XM module, note 49).
    EXPECT_EQ(music_compute_note_period(49, 0), 3420);
    EXPECT_DOUBLE_EQ(music_convert_period_to_frequency(3420), 28634112.0 / 3420);
    EXPECT_EQ(music_compute_note_period(95, 0), 239);
    EXPECT_EQ(music_compute_abs(-7), 7);
    EXPECT_EQ(music_compute_abs(7), 7);
}

// A note below 0 (a low note with a negative relative note) would index far before the table:
// it plays as note 0. Notes and finetunes past the ranges are held at their ends.
TEST(MusicPeriod, NotesAndFinetunesOutOfRangeAreClamped)
{
    EXPECT_EQ(music_compute_note_period(-5, 0), music_compute_note_period(0, 0));
    EXPECT_EQ(music_compute_note_period(-300, -128), music_compute_note_period(0, -128));
    EXPECT_EQ(music_compute_note_period(500, 0), music_compute_note_period(119, 0));
    EXPECT_EQ(music_compute_note_period(40, 900), music_compute_note_period(40, 127));
    EXPECT_EQ(music_compute_note_period(40, -900), music_compute_note_period(40, -128));
    EXPECT_GT(music_compute_note_period(119, 127), 0);
}
