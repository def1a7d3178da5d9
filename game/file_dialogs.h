// The hole editor's course dialogs (open a hole, save a hole, create a course) and the saved-game
// dialog, on the shared list-dialog frame (dialog.h) in a 500 x 746 box. Courses are folders of the
// saves folder; holes are ".qel" files inside them. The owner sets a dialog's open flag, calls its
// init, then calls the dialog once a frame while the flag is set; the dialog clears the flag when
// it is done and leaves the working folder at g_start_dir. Main thread.
//
// Layout (units of g_ui_scale_x from the box's top-left): the title centred in the title bar, the
// ten rows from 48, the typed name (save and create) on a sunken line under the rows, ending at
// 690; SAUVER or EDCREATE centred on x 125 and RETOUR on x 375 of the bottom bar; the CANTWRITE or
// ERR3 message in the centred pop-up box.
#pragma once

#include "game/files.h"

#include <cstdint>

extern int32_t g_load_dialog_open;                      // the open-hole dialog's flag, also the saved-game dialog's
extern int32_t g_save_dialog_mode;                      // 0 none, 1 the save-hole dialog, 2 the create-course dialog
extern int32_t g_save_refused;                          // 1 while the pop-up shows why a name was refused
extern char g_dialog_file_path[FOLDER_PATH_MAX + 160];  // the path chosen by open or save

const int32_t kCourseHolesMax = 18;

// Working folder := the saves folder, its sub-folders then its scenes listed, scroll 0, the box at
// (390 sx, 10), the typed name emptied. Run before each of the three editor dialogs.
void ui_course_open_dialog_init(void);
// One frame of the open dialog (title CHARGER): a folder row enters it (".." goes up, never above
// the saves folder), a scene row is the choice. Returns g_dialog_file_path ("<folder>/<file>") on
// the frame of the choice, else null. RETOUR and Escape close it.
const char *ui_hole_open_dialog(void);
// One frame of the save dialog (title SAUVER): rows browse as in the open dialog, a scene row
// gives its name; SAUVER or Return with a name returns "<folder>/<name>.qel" and closes, unless the
// name is new and the folder holds 18 holes already (CANTWRITE until the next press). Null while
// it runs. RETOUR and Escape close it.
const char *ui_hole_save_dialog(void);
// One frame of the create dialog (title EDCREATE) over the current list, whose rows do nothing:
// EDCREATE or Return with a name makes that folder in the saves folder and closes (an existing
// folder simply closes); a folder that cannot be made shows ERR3 and the dialog stays.
void ui_course_create_dialog(void);
// The "*.sav" files of the saves folder into the list, scroll 0, the box at (390 sx, 10).
void ui_saves_dialog_init(void);
// One frame of the saved-game dialog (title CHARGER): a row or RETOUR closes it; nothing is done
// with the choice.
void ui_saves_dialog(void);
