// The hole editor's model: the hole under edit is g_hole_world (225 GROUND tiles, then blocks
// copied from the theme palette in g_menu_world, and up to 15 plants), the operations that the
// editor frame runs on clicks and keys, and the save path. Everything here needs no screen; the
// data tools build the shipped holes with the same calls. Main thread only. y points down.
#pragma once

#include "game/file_dialogs.h"
#include "game/text_widgets.h"

#include <cstddef>
#include <cstdint>

struct MeshObject;

constexpr int32_t kEditorMaxObjects = 500;  // GROUND tiles included
constexpr int32_t kEditorMaxPlants = 15;
constexpr int32_t kEditorHintFrames = 550;
constexpr int32_t kEditorHoleNameMax = 2600;

struct EditorState {
    int32_t held_palette_index = -1;  // palette block being placed
    int32_t selected_object = -1;     // hole object being moved
    int32_t selected_plant = -1;
    int32_t hovered_palette_index = -1;
    float hover_angle = 0.0f;
    int32_t palette_first = 0;
    int32_t palette_scroll = 0;
    float raise = 0.0f;  // above the ground, never below 0
    int32_t yaw = 0;     // degrees, +90 a turn, not wrapped
    int32_t placements = 0;
    int32_t message_frames = 0;
    int32_t hint = -1;  // MenuText of the hint shown, -1 none
    int32_t lit_view = 0;
    int32_t lighting_requested = 0;
    int32_t thumbnail_requested = 0;
    int32_t too_many_blocks = 0;
    int32_t needs_intro = 1;
    int32_t changed = 0;                      // the hole changed since it was opened, saved or started
    char hole_name[kEditorHoleNameMax] = "";  // relative to the saves folder, without extension
    // NAME and PAR as last opened, written or started: edits since then are changes too.
    char kept_title[512] = "";
    int32_t kept_par = 0;
};

extern EditorState g_editor;
extern float g_editor_camera_yaw, g_editor_camera_pitch, g_editor_camera_distance;
// g_load_dialog_open, g_save_dialog_mode (game/file_dialogs.h) and the hole's NAME and PAR as the
// panel edits them, g_edit_text, g_edit_length, g_edit_par (game/text_widgets.h).

// ---- model ------------------------------------------------------------------------------------------

// Empties the hole and lays the 15 x 15 GROUND tiles of 10 x 10 at -70..70; g_first_block_index 225.
void editor_build_ground_grid(void);
// Resets the editor (names, PAR 4, camera, indices) and builds the grid.
void editor_start_new_course(void);
// Snaps x and z down toward zero to the theme's grid (unsnapped where a snap is not positive), then
// clamps them to -50..50; y := 0.
void editor_snap_ground_point(float *p);
// The snapped grid point where the cursor's view ray meets y = 0, into p.
void editor_cursor_ground_point(int32_t mouse_x, int32_t mouse_y, float *p);
// Every hole object's matrix from its rotation and position, and its world-space bounds.
void editor_update_object_transforms(void);
// Frees and rebuilds the flat-shaded render object of every hole object.
void editor_rebuild_render_objects(void);
// Shows hint text `hint` (a MenuText) for 550 frames.
void editor_show_hint(int32_t hint);

// ---- operations -----------------------------------------------------------------------------------

// Takes palette block i: refused (0) for a second exact START, or with more than 499 hole objects
// (too_many_blocks := 1), or for no such block; else 1, held with yaw and raise 0.
int editor_take_block(int32_t palette_index);
// Places the held block at grid point p (START one step above the ground, others on the highest
// block under p), less raise: its index, or -1.
int32_t editor_place_held_block(const float *p);
// Take, then place at (x, z) snapped and clamped, turned by yaw and lifted by raise: the index, or -1.
int32_t editor_place_block_at(int32_t palette_index, float x, float z, int32_t yaw, float raise);
// Picks a plant, else a block, on the segment from the eye to grid point p (objects within 2.5 in
// front of the camera left out): 1 with a selection.
int editor_select_at(const float *p);
// The selected block or plant follows grid point p at height -raise.
void editor_move_selected(const float *p);
// Drops the selected block at p (at -raise) or the selected plant on the ground at p.
void editor_drop_selected(const float *p);
// +90 degrees while something is held or selected.
void editor_turn(void);
// raise += steps x g_block_step, never below 0.
void editor_raise_by(float steps);
// Deletes the selected block (the last object takes its index) or the selected plant: 1, or 0.
int editor_delete_selected(void);
// A tree (kind 3) or bush (kind 2) at (x, 0, z): its plant index, or -1 with 15 plants, in lit
// view or for another kind.
int32_t editor_add_plant_at(int32_t kind, float x, float z);

// ---- files ----------------------------------------------------------------------------------------

// "<folder>/<course>/<hole><letter>.qel" (without "<course>/" when course is empty), the letter
// "ABCDEFGHIJKLMNOP"[theme_index]: 1, or 0 (out "") outside 0..15 or when it does not fit.
int hole_lit_copy_path(const char *folder, const char *course, const char *hole, int32_t theme_index, char *out,
                       size_t out_size = kEditorHoleNameMax);
// The plain hole file: "data/parcours/<course>/<hole>.qel" for a shipped set, else
// "<saves folder>/<course>/<hole>.qel". 1, or 0 (out "") when it does not fit.
int hole_plain_path(uint8_t personal, const char *course, const char *hole, char *out,
                    size_t out_size = kEditorHoleNameMax);
// The path without the extension of its last part (a "." after the last separator).
void editor_strip_extension(char *path);
// Rewrites hole_name relative to the saves folder (separators and case aside); unchanged otherwise.
void editor_relative_hole_name(void);
// NAME, its length and PAR from "<saves><hole_name>.txt"; a missing file changes nothing.
void editor_read_hole_description(void);
// A hole without a file: the name of no hole, the default NAME and PAR 4 (kept as unchanged), so
// that nothing is written under another hole's name.
void editor_name_new_hole(void);
// The NAME and PAR shown are those of the files: later edits count as changes.
void editor_keep_description(void);
// 1 when the hole or its NAME or PAR changed since it was opened, saved or started.
int editor_has_changes(void);
// Writes "<saves><hole_name>.txt" whole (a '"' in the name becomes '\'') and asks for a thumbnail:
// 1 (the NAME and PAR then kept), or 0 when it cannot be written.
int editor_write_description(void);
// Saves the hole to path (flags 2, or 0x70E and the lit marker in lit view), deletes its lit copy
// of each theme and takes its name: 1. A failed save returns 0 and changes no name and no file.
int editor_save_hole_to(const char *path);
