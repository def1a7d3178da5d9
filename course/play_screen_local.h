// Internals of the play screen: one run of a course set, and the pieces its files share (the frame
// loop, the head-up texts and buttons, the score cards). Main thread only.
#pragma once

#include "course/course_local.h"

#include <cstddef>
#include <cstdint>

constexpr int32_t kPlayPreviewSlot = 1025;  // the hole's preview on the score card
constexpr int32_t kPlaySetNameMax = 256;

// Everything one run of course_play_screen keeps.
struct PlayRun {
    PlayState state;
    char set_name[kPlaySetNameMax] = "";  // the set folder's last part, shown by the banner
    int32_t hole_count = 0;               // listed holes, at most kPlayMaxHoles
    int32_t turn_hole = 0;                // the hole the current turn plays
    uint8_t lit_now = 0;                  // the hole being opened was lit (not read from its copy)
};

// Players of the run by the records' markers: 2 when player 2's is negative, else 1 when player
// 1's is, else 0.
int32_t play_player_count(void);
// Columns of the cards: the listed holes, at most kPlayMaxHoles.
int32_t play_card_columns(void);

// ---- the frame loop (play_frame.cpp) ------------------------------------------------------------

// One player's turn on the set-up hole, frame by frame, until the hole is done or a quit came
// (g_quit set).
void play_run_turn(PlayRun *run);

// ---- head-up texts and buttons (play_hud.cpp) ---------------------------------------------------

// The side buttons drawn (or, with the options panel open, its top line): the code of the one
// under the cursor (3 REDO, 2 NEXT, 1 OPTIONS, 666 RETOUR), 0 for none.
int32_t play_hud_side_buttons(const PlayState *state);
// A pending click on the hovered button acts (not during a replay), the options panel runs, and
// the leave and restart requests ask for confirmation.
void play_hud_act(PlayState *state, int32_t hovered);
// The player's name and avatar, strokes, PAR and the replay line.
void play_hud_draw(const PlayState *state);
// The banner's line naming the hole: the NIV text and the hole's number from 1 ("Hole n°1").
void play_hud_banner_hole_line(const PlayState *state, char *out, size_t size);
// The hole-out and end timers (strokes stored, the hole closed) with their texts, and the banner.
void play_hud_timers(PlayState *state, const char *set_name);

// ---- score cards (score_card.cpp) -------------------------------------------------------------

// The final card with the totals column, drawn and presented once.
void play_draw_final_card(void);
enum PlayCardAnswer { kPlayCardScore, kPlayCardSkip, kPlayCardQuit };
// Waits for a button press (score), Escape (skip) or a quit message (score, then quit).
PlayCardAnswer play_wait_on_final_card(void);
