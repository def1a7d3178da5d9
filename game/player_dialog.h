// The play menu's player dialog and course play's yes/no box: immediate-mode, one call per frame
// by their owners. Main thread.
#pragma once

#include <cstdint>

// The player dialog: positive while it runs, 0 for a choice (g_player_dialog_file, dialog.h),
// -1 for one frame after it was left without one. The play menu opens it and reads the choice.
extern int32_t g_player_dialog_state;
extern int32_t g_player_dialog_target;  // 1 or 2: the player being chosen
extern int32_t g_player_dialog_ready;   // 1 once the dialog has taken its starting avatar
extern int32_t g_player_avatar;         // 0..5, shown and given to a new player
// The MENUS text shown under the name line after SELECT could not make the player (ERR5: the name
// cannot be a file name; ERR3: the file could not be written), until the next key or press; -1 none.
extern int32_t g_player_dialog_message;

// Layout inside the 700 x 924 box (units of g_ui_scale_x from its top-left): the rows from 48,
// the avatar picture (128 square) at (70, 723) between its arrows centred on x 35 and x 233, the
// name line from (290, 730) with the message line below it, SELECT centred at (700 / 3, 900) and
// RETOUR at (1400 / 3, 900).
const float kPlayerDialogWidth = 700.0f;
const float kPlayerDialogHeight = 924.0f;

// One frame of the player dialog over the player files listed by ui_players_dialog_init. A row
// picks that player; SELECT confirms it or, with none picked, makes the typed name a new player
// (or picks "<name>.dat" when it exists); RETOUR leaves without a choice.
void player_dialog(void);
// One frame of the confirmation box (CERTAIN while leave_requested is set, else CERTAIN2): 1 for
// OUI, -1 for NON (both requests cleared), 0 while unanswered. Any press is taken.
int32_t ui_confirm_box(void);
