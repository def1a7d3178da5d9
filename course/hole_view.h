// Drawing one view of g_hole_world: sky, horizon tint, the hole objects (the editor's flat or lit
// view, or the play view with the ball's occluders), the plants' shadow receivers, the plants and
// the sun glare; and the play screen's orbit camera that draws it. Holes are drawn without
// culling (render mode 4 = 5) on every path. Main thread, inside a frame.
#pragma once

#include <cstdint>

struct RenderObject;

// Plants are drawn only while this is non-zero; the editor sets it every frame, play leaves it 1.
extern uint8_t g_draw_plants;
// The background, the sky and the haze toward the horizon are drawn only while non-zero (1; tests
// compare the hole with and without them).
extern uint8_t g_hole_view_haze;
// The horizon fill's colour in percent (r, g, b), from the last hole_view_fill_horizon.
extern int32_t g_horizon_tint[3];

// The editor's view: the eye from g_editor_camera_yaw, pitch and distance about g_camera_target
// (its y set to -1), then hole_view_draw(0, -1).
void hole_view_draw_from_orbit(bool draw_plants);
// Mode 0: the editor's objects (its shadow receivers too in lit view); any other mode: the play
// view, the value passed on to hole_draw_shadow_receivers. Pass -1 one pass; passes 0 and 1 split
// the objects by whether they hide the ball (g_camera_pivot; g_current_block is the one it rests
// on): pass 0 draws the sky, the clear objects, the receivers and the plants, pass 1 only the
// objects that hide the ball, see-through. Sets each object's drawn and occluding flags.
void hole_view_draw(int32_t mode, int32_t pass);
// Whether object i's world bounds may show under the context's view and projection (nothing
// 150 or more ahead, nothing behind the near plane, not off one screen edge on every face).
bool hole_view_box_visible(int32_t object_index);
// The sky cylinder (20 panels, radius 100, textures 1500..1503) tinted by the ambient colour, from
// y -60 to the ground and on below it (to y 60) in the pictures' last row. Drawn at the far end of
// the depth range without writing depth, it shows only where nothing was drawn before it.
void hole_view_draw_sky(void);
// Tints with the horizon colour what lies `distance` or more ahead, over the pixel rectangle
// (0, 0)..(width, height) of the screen; texture 1000 bound, blended.
void hole_view_fill_horizon(float width, float height, float distance);
// The horizon line's height on the screen (-1 bottom .. 1 top, held within -2..2) in the current
// view: where the horizontal of the view's direction meets it. The fills' picture fades upward
// from it.
float hole_view_horizon_y(void);
// The first thing drawn in a view whose depth was just cleared: the horizon colour behind
// everything, over (0, 0)..(width, height) (hole_view_fill_horizon at depth 150; a colour clear of
// the viewport when the fill is opaque and covers it).
void hole_view_fill_background(float width, float height);
// Switches the haze toward the horizon on or off for what is drawn next: each pixel mixes toward
// the horizon colour by its view depth, linearly from none at 60 (all of it at 800, far beyond the
// sky). Off while g_hole_view_haze is 0.
void hole_view_haze(bool on);
// The haze for an object with these world bounds (x min, max, y min, max, z min, max): on when a
// corner lies 60 or more ahead, else off (none of its pixels would take any).
void hole_view_haze_for_box(const float *bounds);
// The renderer's glare billboard twice toward the sun from g_camera_target (play screen).
void hole_view_draw_sun_glare(void);

// The play screen's camera: play_camera_update (mouse, wheel, clamps), then hole_view_draw(1,
// flag). Returns 0.
int32_t play_camera_update_and_draw(int32_t flag);

// The plants' shadow receivers of the objects drawn this frame, lifted a thousandth of the light
// vector toward the sun. With g_option_hole_drawing 0 blended; else with use_callback through the
// world's shadow effect and hole_shadow_effect_callback, without it alpha-tested. Nothing, and no
// render mode changed, for a hole without plants.
void hole_draw_shadow_receivers(int32_t use_callback);
// The draw hook of the receivers' face groups: binds the face's texture (+ 640 with
// g_option_hole_variant) as "Tex" and the plant's shadow texture as "Shadow", and sways the
// decal with the plant's phase ("Decal"). Always true (the group is drawn).
bool hole_shadow_effect_callback(RenderObject *receiver, int32_t texture, int32_t shadow_texture, int32_t fourth);
