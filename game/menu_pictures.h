// The front end's fixed texture slots and the pictures loaded into them once the renderer runs,
// the editor's unit disc and the two marker frames. Main thread; whole run.
#pragma once

#include <cstdint>

struct RenderContext;
struct RenderObject;

enum : int32_t {
    kSlotWhite = 949,  // 16 x 16 opaque white
    kSlotAvatarFirst = 950,  // avatars 1 to 6 in 950..955
    kSlotHorizon = 1000,
    kSlotGlow = 1001,
    kSlotUp = 1015,
    kSlotFolderBack = 1016,
    kSlotFolder = 1017,
    kSlotButton = 1018,
    kSlotPanel = 1019,
    kSlotArrowHover = 1020,
    kSlotArrow = 1021,
    kSlotMouse1 = 1022,
    kSlotMouse0 = 1023,
    kSlotBall = 2030,
};

constexpr int kGlowSide = 256;
// The horizon picture: white, its alpha by row; the horizon line is row kHorizonSide / 2. Its alpha
// is kHorizonAlpha on the line, fading to 0 upward at the top row and downward at kHorizonFoot of
// the way to the bottom row: the hole view's background fill shows only about the horizon, where
// the sky, drawn over it, may leave a gap.
constexpr int kHorizonSide = 64;
constexpr float kHorizonAlpha = 0.25f;
constexpr float kHorizonFoot = 0.2f;

extern RenderObject *g_menu_disc;              // null until built
extern RenderObject *g_menu_marker_frames[2];  // red, blue; null until built

// Empties the texture table, then loads every menu picture, the white texture, both fonts, the
// avatars, the horizon picture and the glow spot. A missing picture gives a transparent 16 x 16 texture and a log line.
void menu_load_pictures(RenderContext *context);
void menu_disc_mesh_build(void);
// Builds both frames anew, freeing the ones built before.
void menu_marker_frames_build(void);
// Frees the disc and both frames (shut-down).
void menu_pictures_free(void);
// The glow spot's 256 x 256 RGBA pixels (malloc; the caller frees).
uint8_t *menu_glow_spot_pixels(void);
// The horizon picture's pixels (malloc; the caller frees): white; alpha kHorizonAlpha on the
// middle row, fading smoothly to 0 toward the top row and kHorizonFoot of the way to the bottom.
uint8_t *menu_horizon_pixels(void);
// A picture as a square RGBA image with its alpha, padded with transparent pixels to its larger
// side; a missing one is 16 x 16 transparent. Sets *side; the caller frees.
uint8_t *menu_load_square_picture(const char *name, int32_t *side);
