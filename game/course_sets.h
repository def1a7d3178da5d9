// The course-set selection (screen state 2): its globals and the reader of a set's "desc.txt".
// The handler and its leave function are declared in game/menus.h. Main thread.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kSetRows = 8;                 // visible rows of the list
constexpr int32_t kSetThumbnailSlot = 800;  // thumbnail i lives in texture slot 800 + i
constexpr int32_t kSetThumbnailMax = 128;   // slots 800..927: the white texture at 949 stays clear
constexpr int32_t kSetRealThumbnails = 8;   // with more pictures only the middle 8 are loaded
constexpr int32_t kSetHintFrames = 150;
constexpr int32_t kSetCursorHoldFrames = 25;
constexpr int kSetDescriptionLines = 4;
constexpr int kSetDescriptionLength = 512;  // 511 characters and the terminator

// The texture table's tag of the thumbnails: releasing with it frees them and nothing else.
extern const char kSetThumbnailTag[];

// Screen state, kept from the set-up (first frame after the screen is entered) until it is left.
extern uint8_t g_set_screen_ready;     // 0 until set up; cleared when the screen is left
extern int32_t g_set_list_top;         // first visible row, 0 .. count - 8
extern int32_t g_set_selected;         // the chosen set, -1 for none
extern int32_t g_set_preview_row;      // the visible row whose set is previewed
extern int32_t g_set_preview_counter;  // -9..0 while switching (rises), 10..1 after a load (falls)
extern int32_t g_set_cursor_hold;      // frames left in which the cursor is put back
extern int32_t g_set_cursor_x, g_set_cursor_y;
extern int32_t g_set_hint_counter;     // frames left of the "choose a set" hint
extern uint8_t g_set_source_personal;  // 0: the shipped sets of "data/parcours", 1: the saves folder's
extern int32_t g_set_thumbnail_count;  // frames of the previewed set (0: no preview)
extern char g_set_description[kSetDescriptionLines][kSetDescriptionLength];
extern uint8_t g_course_set_is_personal;  // handed to course play with g_course_set_folder

// The course-set list from the start folder's "data/parcours" (0) or the saves folder (1): their
// sub-folders. The working folder ends at the start folder.
void menu_course_set_list_fill(uint8_t personal);
// The NPERSO item's action: the list refilled from the other source, its first set chosen and
// previewed; course play then gets that source's folders and g_course_set_is_personal.
void menu_course_set_switch_source(void);

// Reads a "desc.txt" held in memory: lines end at '\n'; of the first four, each gives the text
// between its first two double quotes (at most 511 characters), or "" when it has no such pair.
// Lines past the fourth are ignored; missing lines are "".
void menu_course_set_read_description(const char *text, size_t size,
                                      char lines[kSetDescriptionLines][kSetDescriptionLength]);
