// The menu theme: the theme's block scene in the menu world (g_menu_world), arranged as the
// editor's palette, with the theme's colours, the leaf alpha map, the normal maps and the four sky
// textures; the block measures the editor takes from its reference block (the object named with
// DECORBLOC); and the progress frame shown while the scene loads. Main thread.
#pragma once

#include <cstdint>

struct SceneWorld;

// Sky textures LEFT, FRONT, RIGHT and BACK of the theme.
constexpr int32_t kMenuSkyFirstSlot = 1500;
constexpr int32_t kMenuSkySlots = 4;

// The QELBLOCS scene the menu world holds; empty when it holds none.
extern char g_menu_theme_scene[512];

// The reference block's measures: half its height (the stacking step) and its x and z extents / 32
// (the placement grid). A theme without one keeps these; a snap of 0 leaves positions unsnapped.
extern float g_block_step;
extern float g_block_snap_x;
extern float g_block_snap_z;

// Byte by byte as signed characters over the shorter length: 1 when a's first differing byte is
// the smaller, -1 when the larger; without a difference 1 when a is the shorter, else -1 (equal
// names give -1). Sorting with it puts the names in descending order.
int menu_theme_name_compare(const char *a, const char *b);

// Every object centred on x and z and standing on y = 0 (its y maximum, the bottom with y down, at
// 0; PALES objects 0.2 further down), local bounds recomputed, the block measures taken from the
// DECORBLOC object, then the objects sorted by menu_theme_name_compare. Needs no renderer.
void menu_theme_arrange_palette(SceneWorld *world);

// The theme record's ambient and light colours (percent) as the world's, alpha 1. Nothing for an
// index outside the records.
void menu_theme_apply_colours(SceneWorld *world, int32_t theme);

// The theme g_theme_index into the menu world behind its progress frame. A theme without a scene
// name loads nothing; a scene that does not load leaves the world empty (colours and sky are still
// the theme's). Traces "theme loaded <scene>" or "theme none".
void menu_theme_load(void);
// After the options screen changed the theme: with the same scene only the colours, lighting
// textures, normal maps and sky are redone ("theme reload colours"); else free and load.
void menu_theme_reload(void);
// Empties the menu world and frees the leaf map and the sky textures (shut-down).
void menu_resources_free(void);

// One progress frame (begin, content, end, present); also the scene loader's progress callback.
// The text is not shown: the frame always shows GAMELOAD.
void menu_theme_loading_frame(const char *text, float fraction);
// The frame's content inside a begun frame: the background page at level 0.75, GAMELOAD at
// virtual y 500 and the bar across the middle third filled to `fraction` (clamped to 0..1).
void menu_theme_loading_frame_draw(float fraction);
