// The hole editor's screen (state 111): one frame of the orbit camera, the hole view, the toolbar,
// the palette band, the NAME/PAR panel and the hints, which turns clicks and keys into the model's
// operations (course/editor.h); the files, course navigation and lit view it runs; leaving it.
// Main thread; the main loop calls the frame between its own frame begin and end.
#pragma once

#include "course/editor.h"

// What the confirmation box was opened for: the action waits for OUI.
enum EditorAsk : int32_t {
    kEditorAskNone = 0,
    kEditorAskLeave,     // Escape or RETOUR
    kEditorAskOpen,      // EDLOAD: the open dialog
    kEditorAskNewHole,   // EDNEW
    kEditorAskStepHole,  // F1 or F2: ask_path
};

// The screen's own state. Whole stay in the editor: `started` is set by the first frame and
// cleared by leaving, so every entry starts a new course.
struct EditorFrameState {
    int32_t started = 0;
    int32_t ask = kEditorAskNone;                // the confirmation box shows while not none
    char ask_path[kEditorHoleNameMax] = "";      // the hole F1 or F2 would open
    int32_t message = -1;                        // MenuText of the box shown until the next click; -1 none
    int32_t last_mouse_x = 0, last_mouse_y = 0;  // the cursor of the previous frame
};
extern EditorFrameState g_editor_frame;

// Screen state 111: starts a new course on the first frame after entering, then runs one frame.
void hole_editor_frame(void);
// Leaves the editor for the main menu: Escape cleared, dialogs closed, the hole released.
void editor_leave(void);
// The screen's leave function (the main loop runs it once the editor is no longer shown, and at
// shut-down): frees the hole, its shadows and lighting; nothing when the editor was left already.
void hole_editor_leave(void);

// ---- parts of the frame ---------------------------------------------------------------------------

// 1 while the open, save or create dialog or the confirmation box runs: the view, the toolbar and
// the keys of the editor wait.
int editor_dialog_open(void);

// The band's backdrop, then the nine buttons: the action code of the last hovered (5 new, 1 open,
// 2 save, 4 create course, 8 take START, 3 lighting, 6 tree, 7 bush, 666 leave), or -1 when none
// is or while a dialog is open.
int32_t editor_draw_toolbar(void);
// The band's arrows under the cursor this frame.
struct EditorArrows {
    int left = 0;
    int right = 0;
};
// palette_scroll 5 pixels toward 0, a frame of the slide.
void editor_palette_slide(void);
// The ten slots from palette_first - 1, larger toward the middle: the block under the cursor, or
// -1 (always -1 in the lit view).
int32_t editor_draw_palette_slots(void);
// The hovered block's spin: back to 0 when another block is hovered, then 1 degree a frame.
void editor_palette_hover(int32_t hovered);
// The left arrow while palette_first > 0, the right one while more than nine blocks leave some
// past the last slot.
EditorArrows editor_draw_palette_arrows(void);
// A click on a hovered arrow moves palette_first by one and starts the slide (the left one only
// with the slide at rest); palette_first then stays within -3 .. count - 9, the lower limit
// winning.
void editor_palette_arrow_click(const EditorArrows &arrows);
// Palette block k in a slot at (x, y) of width slot_width, its viewport size high, faded toward
// the screen's sides: 1 while the cursor is over it (and between 0.15 W and 0.85 W).
int editor_draw_palette_item(int32_t index, float x, float y, float slot_width, float size);
// The band's arrows: 1 while the cursor is over them.
int editor_palette_arrow_left(float y);
int editor_palette_arrow_right(float x, float y);
// Draws the held palette block where it would go; the cursor's grid point into p.
void editor_draw_held_block(float *p);
// The 6 x 6 square under the cursor at (x, z), just above the ground.
void editor_draw_cursor_marker(float x, float y, float z);
// 1 once the hole was saved or opened (its name is no longer the name of no hole).
int editor_hole_has_file(void);
// The NAME/PAR panel; its EDSAVE item writes the hole's description and asks for a thumbnail (ERR9
// for a hole without a file, ERR3 when the description cannot be written).
void editor_draw_panel(void);
// 1 while (x, y) lies inside the panel, where a click is not a click in the view.
int editor_panel_contains(int32_t x, int32_t y);
// The hint of the frame, while it lasts.
void editor_draw_hint(void);

// ---- files, course navigation, lit view ------------------------------------------------------

// Opens the scene file at path into the hole (flat, or lit with its shadows when it was saved
// lit), with its name and description; from the dialog, the camera looks at its blocks. 1, or 0
// when it cannot be read: a new grid, the name of no hole and ERR2 until the next click.
int editor_open_hole(const char *path, int from_dialog);
// F1 and F2 (their presses taken): the previous or next hole of the course, asked first when the
// hole, its NAME or its PAR holds changes; only with no dialog open and when that hole's file exists.
void editor_function_keys(void);
// The hole F1 (-1) or F2 (+1) opens: the same course, the number of the name's last two digits
// one down or up (00 after 17, 17 before 00), into out. 1 when the hole has a file, its name ends
// in two digits and the other hole's file exists, else 0 (so never after New hole, until a save).
int editor_step_hole_path(int32_t delta, char *out, size_t out_size);
// Lights the hole as play does, drawing PATIENCE progress frames between the objects (it ends the
// frame being drawn first and begins a new one last), then its plants' shadows: the lit view.
void editor_lighting_run(void);
// Back to the flat view: shadows and lighting freed, the flat render objects rebuilt.
void editor_lit_view_off(void);
