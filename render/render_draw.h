// Drawing with the render context: render modes, frames and viewports, the projection, the 2D batch
// and immediate drawing, and the draw of the current render object. Every call runs on the main
// thread and takes the context first, except render_set_mode (mode, context, value).
#pragma once

#include "render/render.h"

struct MeshFace;

// ---- render modes -------------------------------------------------------------------------------

// One numbered render-state switch: flushes the 2D batch, keeps the value, sets the variables and
// device states of the mode. An unknown mode or value changes nothing (one log line per mode).
void render_set_mode(int32_t mode, RenderContext *context, int32_t value);

// ---- frames, viewports, projection -------------------------------------------------------------

// Colour 0, depth 1, stencil 0 over the viewport.
void render_clear_frame(RenderContext *context);
// Depth 1 over the viewport, the colour kept (a picture drawn over another view).
void render_clear_depth(RenderContext *context);
// Presents the back buffer; frame_ms and the smoothed frames_per_second follow.
void render_present_frame(RenderContext *context);
void render_set_full_viewport(RenderContext *context);
// Pixels, corners (x0, y0) to (x1, y1), clamped to the window; an empty rectangle changes nothing.
void render_set_viewport_rect(RenderContext *context, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
// The perspective projection from focal, near_plane, far_plane and the window, kept and sent.
void render_set_projection(RenderContext *context);
// Linear fog by each pixel's view depth: what is drawn after mixes toward rgb (0..1) from none at
// `start` ahead of the eye to all of it at `end`. Null rgb switches it off. Flushes the 2D batch.
void render_set_fog(RenderContext *context, const float *rgb, float start, float end);
// The deferred effect list: the renderer keeps none, so there is nothing to empty.
void render_clear_effect_render_list(RenderContext *context);
// Switches light slot n on (light_send_disabled switches it off).
void light_enable(RenderContext *context, int32_t n);

// ---- 2D batch (screen pixels, colours 0..1, the bound texture) ----------------------------------

void render_draw_2d_quad(RenderContext *context, float x, float y, float w, float h, float u0, float v0, float u1,
                         float v1, float r, float g, float b);
void render_draw_2d_quad_rgba(RenderContext *context, float x, float y, float w, float h, float u0, float v0, float u1,
                              float v1, float r, float g, float b, float a);
// Texture coordinates 0: the colour times texel (0, 0) of the bound texture.
void render_batch_add_2d_rect(RenderContext *context, float x, float y, float w, float h, float r, float g, float b);
// A white line one pixel wide.
void render_draw_2d_line(RenderContext *context, float x0, float y0, float x1, float y1);

// ---- immediate 3D drawing (current transforms and bound texture, drawn at once) -----------------

void render_draw_3d_line(RenderContext *context, const float *p0, const float *p1);
// Corners in order around the quad (x, y, z each).
void render_draw_3d_quad(RenderContext *context, const float corners[4][3], float r, float g, float b, float a);
void render_draw_3d_quad_uv(RenderContext *context, const float corners[4][3], float u0, float v0, float u1, float v1,
                            float r, float g, float b, float a);
// The face's corner positions, texture coordinates and colour.
void render_draw_3d_triangle(RenderContext *context, const MeshFace *face);

// ---- captures of the back buffer (before the frame is presented) --------------------------------

struct ImageData;
// The back buffer as RGBA rows top-down (alpha 255), malloc'd into image->pixels. 1, or 0 (logged).
int render_read_back_buffer(RenderContext *context, ImageData *image);
// Writes "<base>NNNN.tga" under the first free number. 1, or 0 and one log line.
int render_save_screenshot_tga(RenderContext *context, const char *base);
// Writes a 256 x 256 RGB PNG, the back buffer averaged by area. 1, or 0 and one log line.
int render_save_thumbnail_png(RenderContext *context, const char *path);

// ---- render objects ----------------------------------------------------------------------------

void render_set_current_object(RenderContext *context, RenderObject *object);
// Null: the context's own dynamic object.
void render_set_dynamic_object(RenderContext *context, RenderObject *object);
// Draws the current object with its effect, range by range, consulting draw_hooks when set.
void render_draw_current_object(RenderContext *context);
