// The hole editor's small widgets: a word-wrapped message, the NAME entry field, the PAR slider,
// the toolbar buttons and the save item. Immediate-mode: each call draws the widget for this frame
// from the globals below and the input state, and returns 1 while the cursor is over it (strictly
// inside its box, whose bounds are truncated to whole pixels). Positions are pixels. Main thread.
#pragma once

#include <cstdint>

// The message to wrap (written by the caller) and its wrapped lines.
extern char g_wrap_text[1024];
extern char g_wrap_lines[10][512];
// The hole's NAME and PAR as the editor's panel edits them (the entry field keeps at most 14
// characters; a title read from a file may be longer until it is edited).
extern char g_edit_text[512];
extern int32_t g_edit_length;
extern int32_t g_edit_par;  // 1..9
// Caret blink: the editor and the dialogs add 1 a frame and restart at 0 after 10.
extern int32_t g_caret_blink;

const int32_t kWrapLinesMax = 10;
const int32_t kEditTextMax = 14;

// Splits g_wrap_text into at most 10 lines, breaking after a space where the text up to the next
// word's first letter, measured with the primary font at `scale`, passes max_width. A line without
// such a break runs to the end of the text (kept to 511 characters); a line's one leading space is
// dropped. Returns the number of lines.
int32_t text_wrap_lines(int32_t max_width, float scale);
// Wraps g_wrap_text to 0.8 of the render width less x and draws it in white with the secondary
// font at 0.5 sx, its lines 0.5 sx primary line heights apart, from (x, y).
void text_draw_wrapped(float x, float y);
// The NAME field at (x, y): while the cursor is inside its box (twenty "W" wide), a pending typed
// key edits g_edit_text (and is taken) and the caret shows on blink counts 6 to 10.
int ui_text_entry_field(float x, float y);
// The EDPAR label, a nine-cell bar and the value. While the cursor is on the bar with the button
// down, g_edit_par follows it (the press is left for dragging). 1 while over the label's line.
int ui_par_slider(float x, float y);
// A toolbar text at (10 sy, virtual_y sy). Flags: 4 lifts it by 2 sy while hovered, 64 always;
// 8 draws it in the selection colour while hovered (else the menu text colour).
int ui_toolbar_button(const char *text, float virtual_y, int32_t flags);
// The EDSAVE label at (x, y), at the scale render width / 2560; lifted and in the selection colour
// while hovered.
int menu_text_item_hover(float x, float y);
