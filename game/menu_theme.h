// The menu theme: the theme's block scene in the menu world, arranged as the editor's palette, and
// the block measures the editor takes from its reference block (the object named with DECORBLOC).
#pragma once

#include <cstdint>

struct SceneWorld;

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

// The current theme into the menu world behind its progress frame; its reload when the options
// screen is left with another theme; its release at shut-down.
void menu_theme_load(void);
void menu_theme_reload(void);
void menu_resources_free(void);
