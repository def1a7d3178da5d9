// The high-score table: the real players of the players folder, best (lowest) average over par
// first. Built once each time the high-score screen is entered. Main thread.
#pragma once

#include "game/files.h"

#include <cstdint>

#pragma pack(push, 1)
struct HighScoreRow {
    char name[64];              // NUL-terminated, cut at 63 characters
    int32_t score;              // total over par / courses finished, truncated toward zero
    int32_t courses_finished;
};
#pragma pack(pop)
static_assert(sizeof(HighScoreRow) == 72, "high-score row layout");

const int HIGH_SCORE_ROWS_SHOWN = 14;

// One row per listed file; the first g_high_score_count (at most 14) are shown.
extern HighScoreRow g_high_score_rows[FILE_LIST_MAX];
extern int32_t g_high_score_count;
extern uint8_t g_high_scores_ready;  // 1 once built since the screen was entered

// The row of a record: its name and score. 0 for a record that is not a real player (marker -1).
int high_score_row_of(const PlayerRecord *record, HighScoreRow *row);
// Sorts by score, lowest first; equal scores keep their order.
void high_score_sort(HighScoreRow *rows, int32_t count);
// The table from the file list (g_file_names, as ui_players_dialog_init leaves it) read in the
// players folder: files that cannot be read whole are skipped. Sets g_high_scores_ready.
void high_scores_build(void);
