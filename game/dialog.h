// The list dialogs of the menus and the editor: a movable box over the file list (g_file_names),
// at g_dialog_x, g_dialog_y (game/widgets.h), scrolled by g_dialog_scroll. Main thread.
//
// Every list dialog shares one frame, measured in units of g_ui_scale_x from the box's top-left:
// a title bar 48 high, the list of ten rows from 48 to 698 with a scroll column 48 wide on its
// right, and a bottom bar 48 high at the box's foot. What lies between the list and the bottom bar
// (the player dialog's avatar) is the dialog's own. A dialog's frame, each frame:
//   hover = ui_dialog_frame_draw(...); row = ui_dialog_rows_draw_names(...) or its own rows;
//   its buttons; then ui_dialog_escape / ui_dialog_wheel as it wants them, and
//   if (ui_dialog_take_press(width)) act on what was hovered; ui_dialog_drag_step().
#pragma once

#include <cstdint>

extern int32_t g_dialog_scroll;          // first file row shown
extern int32_t g_dialog_dragging;        // 1 while the title bar is held
extern char g_player_dialog_file[1024];  // the chosen player's file name ("<name>.dat"), or empty

const float kDialogBar = 48.0f;          // title and bottom bars, scroll column width
const float kDialogListBottom = 698.0f;  // the list and its scroll column run from 48 to here
const int32_t kDialogRows = 10;
const float kDialogFileWidth = 500.0f;  // the editor's and saved-game dialogs' box
const float kDialogFileHeight = 746.0f;

// What the frame found under the cursor when it was drawn.
struct DialogHover {
    bool title;                   // the title bar (where a drag starts)
    bool scroll_up, scroll_down;  // the scroll column's arrows
};

// The player files ("*.dat" of the players folder) into the file list, no player chosen, scroll
// 0, the box at (290 sx, 10). The working folder is left as it was.
void ui_players_dialog_init(void);

// Shadow, title bar with the title (colour 0.1, 0.9, 1.0), list panel, scroll column with its two
// arrows, bottom bar, and a panel over whatever lies between list and bottom bar, for a box of
// `width` x `height` units. Leaves depth test off, culling off and blending on.
DialogHover ui_dialog_frame_draw(float width, float height, const char *title);
// Row i's top and height in pixels (rows are 1.2 line heights of the primary font).
float ui_dialog_row_top(int32_t i);
float ui_dialog_row_height(void);
// The index in g_file_names of the shown row under the cursor; -1 for none or while a drag runs.
int32_t ui_dialog_row_at_cursor(float width);
// The shown rows as entry names up to their first "." (the selection colour under the cursor);
// returns the hovered entry's index, or -1.
int32_t ui_dialog_rows_draw_names(float width);
// A text centred on (cx, cy) pixels, in the selection colour while hovered, else the menu text
// colour. True while hovered (strictly inside its text box).
bool ui_dialog_text_button(const char *text, float cx, float cy);

// Escape pressed: the key is cleared and true returned; the caller closes its dialog.
bool ui_dialog_escape(void);
// The wheel scrolls one row per notch (forward up); the delta is cleared.
void ui_dialog_wheel(void);
// Moves the list by `rows`, kept within 0 .. max(0, g_file_count - 10).
void ui_dialog_scroll_by(int32_t rows);
// This frame's press: a released button ends a drag; a press on the title bar starts one (and is
// left pending while it runs); any other press, unless a drag runs, is taken (cleared) and 1 is
// returned, so the caller acts on what it hovered. The scroll arrows act here (with the click).
int ui_dialog_take_press(const DialogHover *hover);
// While a drag runs, the box follows the cursor's step since g_mouse_prev_x, g_mouse_prev_y.
void ui_dialog_drag_step(void);
