// The list dialogs of the menus and the editor: a movable box over the file list (g_file_names),
// at g_dialog_x, g_dialog_y (game/widgets.h), scrolled by g_dialog_scroll. Main thread.
#pragma once

#include <cstdint>

extern int32_t g_dialog_scroll;    // first file row shown
extern int32_t g_dialog_dragging;  // 1 while the title bar is held
extern char g_player_dialog_file[1024];  // the chosen player's file name ("<name>.dat"), or empty

// The player files ("*.dat" of the players folder) into the file list, no player chosen, scroll
// 0, the box at (290 sx, 10). The working folder is left as it was.
void ui_players_dialog_init(void);
