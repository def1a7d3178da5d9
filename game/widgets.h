// Immediate-mode widgets of menus, dialogs and the play screen: each draws itself for this frame
// through the 2D batch and returns whether the cursor is strictly inside it. Text positions are
// virtual (1920 x 1080), panels and frames take pixels. Main thread.
#pragma once

#include <cstdint>

struct SoundEffect;

// Whole run. Selection colour r, g, b then menu text colour r, g, b, each 0..1.
extern float g_menu_color[6];
extern float g_dialog_x, g_dialog_y;  // top-left of the last pop-up or dialog
extern char *g_hud_message;           // play-screen message line; null: none
extern char *g_hud_top_text;          // play-screen top line; null: none
extern SoundEffect *g_sound_click;    // null until sound starts: plays nothing
extern SoundEffect *g_sound_tok;

// Plays the tick (or, below, the click) when the sound card and effects are on.
void ui_play_tok_sound(void);
void ui_play_click_sound(void);
// The menus' click rule: hovered with a press pending (state 1) plays the click, clears the press
// and gives 1. A state of -1, left by a page, is no click.
int menu_take_click(int hovered);
// Strict: left < mx < left + w and top < my < top + h.
bool ui_cursor_inside(float left, float top, float w, float h);

bool ui_panel_draw(float x, float y, float w, float h);
bool ui_panel_draw_sunken(float x, float y, float w, float h, float shade);
bool ui_frame_draw(int32_t slot, float x, float y, float w, float h);
// Centred box with one or two lines and, for fraction >= 0, a progress bar. 1 when it took a
// click (any non-zero button state), which it clears.
int ui_popup_message_box(const char *line1, const char *line2, float fraction);

int menu_text_button(const char *text, float virtual_y);
void menu_text_label(const char *text, float virtual_y);
void menu_text_title(const char *text, float virtual_y);

void ui_hud_text_right(const char *text, float virtual_y);
void ui_hud_message_line(void);
// A clickable line centred on virtual x 150, fading with the cursor's distance. Leaves
// g_text_alpha at 1.
int ui_hud_text_box(const char *text, float virtual_y);
void ui_hud_top_line(void);

// The drawn pointer at the cursor, with its shadow.
void ui_pointer_draw(void);
// List arrows centred on x, top at y (pixels): true while hovered; the caller acts on a click.
bool ui_list_scroll_up_button(float x, float y);
bool ui_list_scroll_down_button(float x, float y);
bool ui_list_page_up_button(float x, float y);
bool ui_list_page_down_button(float x, float y);
// The page-down arrow mirrored left to right: the page arrows' picture is a left chevron, so this
// one points right (the avatar picker's "next").
bool ui_list_page_down_mirrored_button(float x, float y);
// A grey label centred on x (pixels) at virtual y; returns 0.
int ui_list_item_text(const char *text, float virtual_y, float x);
// The row box x +- 125 around virtual y; highlighted when hovered or selected. 1 while hovered.
int ui_list_item_hit(float virtual_y, float x, int selected);
// A text centred on x in the selection colour when hovered or selected. 1 while hovered.
int ui_list_item_button(const char *text, float virtual_y, float x, int selected);
