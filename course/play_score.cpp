// End-of-course scoring into the players' records.
#include "course/course_local.h"

#include "game/files.h"
#include "game/screen.h"

namespace {

// Strokes over PAR on one hole, clamped to -4..+4.
int32_t hole_score(int32_t strokes, int32_t par)
{
    int32_t d = strokes - par;
    return d < -4 ? -4 : d > 4 ? 4 : d;
}

void score_player(PlayerRecord *record, const int32_t *strokes)
{
    // The tables hold 128 holes; a longer list scores its first 128.
    const int32_t holes = g_file_count < kPlayMaxHoles ? g_file_count : kPlayMaxHoles;
    int32_t sum = 0, scored = 0;
    for (int32_t i = 0; i < holes; i++) {
        if (strokes[i] < 0) continue;
        sum += hole_score(strokes[i], g_hole_par_table[i]);
        scored++;
    }
    if (scored == 0) return;
    app_trace("score %.64s holes %d over par %d", record->name, int(scored), int(sum));
    record->total_over_par = int16_t(uint16_t(record->total_over_par) + uint16_t(sum));
    record->holes_scored += scored;
    record->courses_finished += 1;
    record->average_sum += float(sum / scored);
    player_record_save(record);
}

}  // namespace

void play_score_course()
{
    const bool two = g_player_record[1].marker < 0;
    if (!two && g_player_record[0].marker >= 0) return;
    score_player(&g_player_record[0], g_hole_strokes_p1);
    if (two) score_player(&g_player_record[1], g_hole_strokes_p2);
}
