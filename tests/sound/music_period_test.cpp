// Note periods: the octave table, the finetune rows of MOD periods, and note periods at finetunes
// between the table's steps.
#include "sound/music_local.h"

#include <gtest/gtest.h>

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
