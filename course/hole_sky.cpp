// What surrounds a hole in its view: the sky cylinder and the horizon fill, both tinted by the
// hole's first light colour (its ambient colour), and the sun glare of the play screen.
#include "course/hole_view.h"

#include "course/course_local.h"
#include "game/menu_pictures.h"
#include "geometry/vecmath.h"
#include "render/render_draw.h"

#include <cmath>

int32_t g_horizon_tint[3] = {15, 15, 15};

namespace {

constexpr int32_t kSkyPanels = 20;
constexpr float kSkyRadius = 100.0f;
constexpr float kSkyTop = -60.0f;  // y points down
// The panels go on below the ground in their pictures' last row: the ground ends before the sky,
// and between the two nothing but the sky may show.
constexpr float kSkyFoot = 60.0f;
constexpr int32_t kSkyFirstTexture = 1500;
constexpr int32_t kHorizonTexture = 1000;
constexpr float kGlareDistance = 80.0f;
constexpr float kBackgroundDepth = 150.0f;  // the fill behind everything, behind the sky too
// The haze over what lies ahead: none before 60, then a steady share of the horizon colour per
// unit of depth. From the lowest camera the ground from 60 ahead to the sky lies within ten rows
// of a 1080-row screen, where a steeper haze would step from row to row; this one gives the
// farthest ground about a twentieth of the horizon colour.
constexpr float kHazeStart = 60.0f;
constexpr float kHazeEnd = 800.0f;
constexpr float kFadeHeight = 0.25f;  // screen height (-1..1 units) over which the fill fades upward

// The first light colour's r, g, b at length 1 (as they are when black).
void unit_light_colour(float *rgb)
{
    const float *c = g_hole_world.ambient_colour;
    vec3_set(rgb, c[0], c[1], c[2]);
    const float length = vec3_length(rgb);
    if (length > 0.0f) vec3_scale(rgb, rgb, 1.0f / length);
}

int32_t percent(float value)
{
    if (!(value > 0.0f)) return 0;  // a colour that is not a number tints nothing
    return value >= 100.0f ? 100 : int32_t(value);
}

// Sets mode to value; gives back the value it had (-1 never set).
int32_t swap_mode(RenderContext *context, int32_t mode, int32_t value)
{
    const int32_t old = context->mode_value[mode];
    render_set_mode(mode, context, value);
    return old;
}

// Gives the mode its old value back, or `fallback` when it had none.
void restore_mode(RenderContext *context, int32_t mode, int32_t old, int32_t fallback)
{
    render_set_mode(mode, context, old >= 0 ? old : fallback);
}

// The horizon colour (r, g, b in 0..1), g_horizon_tint set from the first light colour.
void horizon_colour(float *rgb)
{
    float c[3];
    unit_light_colour(c);
    g_horizon_tint[0] = percent(c[0] * 100.0f + 15.0f);
    g_horizon_tint[1] = percent(c[1] * 100.0f + 15.0f);
    g_horizon_tint[2] = percent(c[2] * 130.0f + 15.0f);
    for (int k = 0; k < 3; k++) rgb[k] = float(g_horizon_tint[k]) * 0.01f;
}

// A colour channel as the vertex colour of a draw holds it.
uint32_t channel_byte(float value) { return value >= 1.0f ? 255u : value > 0.0f ? uint32_t(value * 255.0f) : 0u; }

// Without a picture in the horizon's slot the device's white stands in: the fill is its colour at
// alpha 1, so it hides what it covers.
bool horizon_opaque(const RenderContext *context)
{
    static_assert(kHorizonTexture >= 0 && kHorizonTexture < kTextureSlots);
    const TextureTable &table = context->main_textures;
    return !table.slots || !table.slots[kHorizonTexture] || !table.slots[kHorizonTexture]->texture;
}

// The picture's v below which (down the screen) every row of the horizon picture has alpha 0,
// with a row's margin for the filtering.
float horizon_clear_v()
{
    const float line = float(kHorizonSide / 2);
    return (line + kHorizonFoot * (float(kHorizonSide) - 1.0f - line) + 2.0f) / float(kHorizonSide);
}

// The screen rectangle (0, 0)..(width, height) in the horizon colour at view depth `distance`,
// blended by mode-6 value `blend`.
void draw_fill(float width, float height, float distance, int32_t blend_value, const float *rgb)
{
    // A screen rectangle at depth 0 would cover everything drawn before it: the rectangle stands
    // at the view depth `distance` instead (inside the far plane), so the depth test keeps what
    // is nearer, and it writes no depth, so the sky drawn again over it shows.
    RenderContext *context = hole_render_context(&g_hole_world);
    const float *p = context->projection_matrix;
    const float w = float(context->width), h = float(context->height);
    if (!(p[0] > 0.0f) || !(p[5] > 0.0f) || !(w > 0.0f) || !(h > 0.0f)) return;
    const float d = std::fmin(distance, 0.999f * context->far_plane);
    if (!(d > context->near_plane)) return;
    // Screen x -1..1 left to right, y 1..-1 top to bottom; the device's view has y negated.
    const float nx0 = -1.0f, nx1 = 2.0f * width / w - 1.0f;
    float ny0 = 1.0f, ny1 = 1.0f - 2.0f * height / h;
    const float horizon = hole_view_horizon_y();
    if (blend_value != 0 && !horizon_opaque(context)) {
        // Blended, the picture changes only the rows where its alpha is above 0: the fill covers
        // those alone (twenty full-screen layers cost more than the rest of the frame).
        ny0 = std::fmin(ny0, horizon + kFadeHeight);
        ny1 = std::fmax(ny1, horizon - 2.0f * kFadeHeight * (horizon_clear_v() - 0.5f));
        if (!(ny0 > ny1)) return;
    }
    const float x0 = nx0 * d / p[0], x1 = nx1 * d / p[0], y0 = -ny0 * d / p[5], y1 = -ny1 * d / p[5];
    const float corners[4][3] = {{x0, y0, d}, {x1, y0, d}, {x1, y1, d}, {x0, y1, d}};
    float eye_to_world[16];
    if (!mat4_invert(context->view_matrix, eye_to_world)) return;

    // The picture's middle row on the horizon line, its top kFadeHeight above it; clamped beyond.
    const float v0 = 0.5f - (ny0 - horizon) * (0.5f / kFadeHeight);
    const float v1 = 0.5f - (ny1 - horizon) * (0.5f / kFadeHeight);

    render_set_world_matrix(context, eye_to_world);
    texture_bind(context, kHorizonTexture);
    const int32_t blend = swap_mode(context, 6, blend_value);
    const int32_t depth = swap_mode(context, 1, 17);
    const int32_t wrap = swap_mode(context, 5, 0);
    render_draw_3d_quad_uv(context, corners, 0.0f, v0, 1.0f, v1, rgb[0], rgb[1], rgb[2], 1.0f);
    restore_mode(context, 5, wrap, 1);
    restore_mode(context, 1, depth, 1);
    restore_mode(context, 6, blend, 0);
    float identity[16];
    render_set_world_matrix(context, mat4_identity(identity));
}

// What is drawn between far_begin and far_end lands at the far end of the depth range: under the
// depth test it shows only where nothing was drawn. False when the viewport could not be read (the
// draws then keep their depth).
bool far_begin(RenderContext *context, D3DVIEWPORT9 *saved)
{
    render_flush_2d_batch(context);
    if (!context->device || context->device->GetViewport(saved) != D3D_OK) return false;
    D3DVIEWPORT9 at_far = *saved;
    at_far.MinZ = at_far.MaxZ = 1.0f;
    context->device->SetViewport(&at_far);
    return true;
}

void far_end(RenderContext *context, const D3DVIEWPORT9 &saved, bool changed)
{
    render_flush_2d_batch(context);
    if (changed) context->device->SetViewport(&saved);
}

}  // namespace

float hole_view_horizon_y(void)
{
    RenderContext *context = hole_render_context(&g_hole_world);
    const float *p = context->projection_matrix;
    float ahead[3] = {g_camera_target[0] - g_camera_eye[0], 0.0f, g_camera_target[2] - g_camera_eye[2]};
    const float length = vec3_length(ahead);
    if (!(length > 1e-6f) || !(p[5] > 0.0f)) return 2.0f;  // looking straight down: above the top
    float far_point[3], eye[3], d[3];
    for (int k = 0; k < 3; k++) far_point[k] = g_camera_eye[k] + ahead[k] * (100.0f / length);
    mat4_transform_point(d, context->view_matrix, far_point);
    mat4_transform_point(eye, context->view_matrix, g_camera_eye);
    vec3_sub(d, d, eye);
    if (!(d[2] > 1e-6f)) return 2.0f;
    const float y = -d[1] * p[5] / d[2];  // the device's view has y negated
    return y > 2.0f ? 2.0f : y < -2.0f ? -2.0f : y;
}

void hole_view_draw_sky(void)
{
    RenderContext *context = hole_render_context(&g_hole_world);
    float c[3];
    unit_light_colour(c);
    const float r = std::fmin(1.0f, c[0] + 0.1f), g = std::fmin(1.0f, c[1] + 0.1f);
    const float b = std::fmin(1.0f, c[2] * 1.3f + 0.1f);
    float identity[16];
    render_set_world_matrix(context, mat4_identity(identity));
    // The picture's rows from 0.00390625 (the top) to 0.99609375 (the foot, y 0); clamped below.
    const float v_top = 0.00390625f, v_foot = 0.99609375f;
    const float v_bottom = v_top + (v_foot - v_top) * (kSkyFoot - kSkyTop) / -kSkyTop;
    const int32_t wrap = context->mode_value[5];
    // Behind everything, the sky shows only where nothing was drawn (its panels are not shaded
    // under the ground, and the ground beyond its radius stays in front of it).
    D3DVIEWPORT9 viewport = {};
    const bool far = far_begin(context, &viewport);
    const int32_t depth = swap_mode(context, 1, 17);
    const float step = 2.0f * 3.1415927f * 0.05f;
    for (int32_t i = 0; i < kSkyPanels; i++) {
        const float a0 = float(i) * step, a1 = float(i + 1) * step;
        const float x0 = kSkyRadius * cosf(a0), z0 = kSkyRadius * sinf(a0);
        const float x1 = kSkyRadius * cosf(a1), z1 = kSkyRadius * sinf(a1);
        const float corners[4][3] = {{x0, kSkyTop, z0}, {x1, kSkyTop, z1}, {x1, kSkyFoot, z1}, {x0, kSkyFoot, z0}};
        const float u0 = float(i % 5) * 0.2f * 0.9921875f + 0.00390625f;
        const float u1 = float(i % 5 + 1) * 0.2f * 0.9921875f + 0.00390625f;
        texture_bind(context, kSkyFirstTexture + i / 5);
        render_set_mode(5, context, 0);  // after the binding, which sets the picture's own
        render_draw_3d_quad_uv(context, corners, u0, v_top, u1, v_bottom, r, g, b, 1.0f);
    }
    restore_mode(context, 1, depth, 1);
    restore_mode(context, 5, wrap, 1);
    far_end(context, viewport, far);
}

void hole_view_fill_horizon(float width, float height, float distance)
{
    float c[3];
    horizon_colour(c);
    draw_fill(width, height, distance, 1, c);
}

void hole_view_fill_background(float width, float height)
{
    float c[3];
    horizon_colour(c);
    RenderContext *context = hole_render_context(&g_hole_world);
    // Over a frame just cleared an opaque fill covers the whole view with its colour: a colour clear
    // of the viewport gives the same pixels without drawing them.
    if (!context->device || !horizon_opaque(context) || width < float(context->width) ||
        height < float(context->height)) {
        draw_fill(width, height, kBackgroundDepth, 1, c);
        return;
    }
    render_flush_2d_batch(context);
    const D3DCOLOR colour = 0xFF000000u | channel_byte(c[0]) << 16 | channel_byte(c[1]) << 8 | channel_byte(c[2]);
    context->device->Clear(0, nullptr, D3DCLEAR_TARGET, colour, 1.0f, 0);
}

void hole_view_haze(bool on)
{
    RenderContext *context = hole_render_context(&g_hole_world);
    if (!on || !g_hole_view_haze) {
        render_set_fog(context, nullptr, 0.0f, 0.0f);
        return;
    }
    float c[3];
    horizon_colour(c);
    render_set_fog(context, c, kHazeStart, kHazeEnd);
}

void hole_view_haze_for_box(const float *bounds)
{
    const float *view = hole_render_context(&g_hole_world)->view_matrix;
    float farthest = -1e30f;
    for (int k = 0; k < 8; k++) {
        const float corner[3] = {bounds[k & 1], bounds[2 + (k >> 1 & 1)], bounds[4 + (k >> 2)]};
        float p[3];
        mat4_transform_point(p, view, corner);
        farthest = std::fmax(farthest, p[2]);
    }
    hole_view_haze(farthest >= kHazeStart);
}

void hole_view_draw_sun_glare(void)
{
    RenderContext *context = hole_render_context(&g_hole_world);
    RenderObject *glare = &context->embedded_objects[1];
    const float *sun = g_hole_world.light_vector;
    float at[3];
    for (int k = 0; k < 3; k++) at[k] = g_camera_target[k] - sun[k] * kGlareDistance;
    const struct {
        float colour[4];
        float scale;
    } draws[2] = {{{0.95f, 0.95f, 1.0f, 1.0f}, 50.0f}, {{1.0f, 0.85f, 0.5f, 1.0f}, 150.0f}};

    // Over the sky alone, behind everything: the glare's quads, 50 and 150 across, cut through the
    // ground, which they lit beyond a line across the screen (near the eye with the sun behind it).
    D3DVIEWPORT9 viewport = {};
    const bool far = far_begin(context, &viewport);
    const int32_t blend = swap_mode(context, 6, 2);  // source alpha added
    const int32_t depth = swap_mode(context, 1, 17);
    for (const auto &draw : draws) {
        render_object_lock_vertices(glare);
        for (int32_t i = 0; i < glare->vertices_in_use; i++)
            render_vertex_set_color_argb(glare, i, draw.colour[0], draw.colour[1], draw.colour[2], draw.colour[3]);
        render_object_unlock_vertices(glare);
        float m[16];
        mat4_identity(m);
        mat4_scale(m, draw.scale, draw.scale, draw.scale);
        mat4_translate(m, at[0], at[1], at[2]);
        render_set_world_matrix(context, m);
        render_set_current_object(context, glare);
        render_draw_current_object(context);
    }
    restore_mode(context, 1, depth, 1);
    restore_mode(context, 6, blend, 0);
    far_end(context, viewport, far);
    float identity[16];
    render_set_world_matrix(context, mat4_identity(identity));
}
