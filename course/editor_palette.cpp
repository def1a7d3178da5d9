// The editor's palette band: the theme's blocks in ten sliding slots along the bottom of the
// screen, its arrows, and the held block and cursor square drawn in the view.
#include "course/editor_frame.h"

#include "course/course_local.h"
#include "game/app.h"
#include "game/menu_pictures.h"
#include "game/ui.h"
#include "game/widgets.h"
#include "geometry/vecmath.h"
#include "render/render_draw.h"

#include <cmath>
#include <cstring>

namespace {

constexpr float kPi = 3.14159265f;
constexpr int32_t kSlideStep = 5;        // pixels a frame
constexpr float kItemScale = 0.25f;      // of the block in its slot
constexpr float kItemTilt = -45.0f;      // degrees about x, so the top shows
constexpr float kItemNearPlane = 0.05f;  // a small block comes close to the slot's eye
constexpr float kHeldLift = 0.1f;

RenderContext *ctx() { return &g_render_context; }

RenderObject *palette_object(int32_t k)
{
    return k >= 0 && k < g_menu_world.object_count ? g_menu_world.render_objects[k] : nullptr;
}

// White vertex colours with the given alpha (the slot's fade).
void set_vertex_colours(RenderObject *object, float alpha)
{
    if (object->vertex_count <= 0) return;
    render_object_lock_vertices(object);
    if (!object->locked_vertices) return;
    for (int32_t i = 0; i < object->vertex_count; i++) render_vertex_set_color_argb(object, i, 1.0f, 1.0f, 1.0f, alpha);
    render_object_unlock_vertices(object);
}

// The projection of a viewport of w x h pixels with the view's own angle of view.
void set_slot_projection(RenderContext *c, int32_t w, int32_t h)
{
    const int32_t width = c->width, height = c->height;
    const float focal = c->focal, near_plane = c->near_plane;
    const float full_focal = focal > 0.0f ? focal : 0.4f * float(width);
    c->focal = full_focal * float(w) / float(width);
    c->near_plane = kItemNearPlane;
    c->width = w, c->height = h;
    render_set_projection(c);
    c->width = width, c->height = height;
    c->focal = focal, c->near_plane = near_plane;
}

void restore_view(RenderContext *c)
{
    render_set_full_viewport(c);
    render_set_projection(c);
}

void draw_object(RenderContext *c, RenderObject *object, const float *world)
{
    render_set_world_matrix(c, world);
    render_set_current_object(c, object);
    render_draw_current_object(c);
}

}  // namespace

void editor_palette_slide(void)
{
    int32_t &scroll = g_editor.palette_scroll;
    if (scroll > 0) scroll = scroll > kSlideStep ? scroll - kSlideStep : 0;
    if (scroll < 0) scroll = scroll < -kSlideStep ? scroll + kSlideStep : 0;
}

int editor_draw_palette_item(int32_t index, float x, float y, float slot_width, float size)
{
    RenderContext *c = ctx();
    RenderObject *object = palette_object(index);
    const MeshObject *block = object ? g_menu_world.objects[index] : nullptr;
    const float w = float(c->width);
    const float x0 = x > 0.0f ? x : 0.0f, x1 = x + slot_width < w ? x + slot_width : w;
    if (!block || x1 - x0 < 5.0f) return 0;
    const float centre = 0.5f * (x0 + x1);
    float alpha = 1.0f;
    if (centre < 0.3f * w)
        alpha = centre / (0.3f * w);
    else if (centre > 0.7f * w)
        alpha = 1.0f - (centre - 0.7f * w) / (0.3f * w);
    const float mx = float(g_mouse_x), my = float(g_mouse_y);
    const int hovered = x0 < mx && mx < x1 && y < my && my < y + size && 0.15f * w < mx && mx < 0.85f * w;

    const int32_t vx0 = int32_t(x0), vy0 = int32_t(y), vx1 = int32_t(x1), vy1 = int32_t(y + size);
    if (vx1 <= vx0 || vy1 <= vy0) return hovered;  // an empty viewport would keep the last one
    set_vertex_colours(object, hovered ? 1.0f : (alpha < 0.9f ? alpha : 0.9f));
    render_set_viewport_rect(c, vx0, vy0, vx1, vy1);
    set_slot_projection(c, vx1 - vx0, vy1 - vy0);
    render_clear_depth(c);
    // The slot's eye on the block's centre, upright as the hole's camera.
    const float distance = mesh_radius(block) * 0.5f + 0.2f;
    const float eye[3] = {0.0f, 0.0f, -distance}, origin[3] = {0.0f, 0.0f, 0.0f};
    float view[16], world[16], up[3];
    memcpy(up, g_up_vector, sizeof up);
    vec3_set(g_up_vector, 0.0f, 1.0f, 0.0f);
    mat4_look_at(view, eye, origin);
    memcpy(g_up_vector, up, sizeof up);
    render_set_view_matrix(c, view);
    mat4_identity(world);
    mat4_translate(world, -0.5f * (block->bounds[0] + block->bounds[1]), -0.5f * (block->bounds[2] + block->bounds[3]),
                   -0.5f * (block->bounds[4] + block->bounds[5]));
    if (hovered) mat4_rotate_euler_deg(world, 0.0f, g_editor.hover_angle, 0.0f);
    mat4_rotate_euler_deg(world, kItemTilt, 0.0f, 0.0f);
    mat4_scale(world, kItemScale, kItemScale, kItemScale);
    render_set_mode(1, c, 1);
    render_set_mode(4, c, 5);
    render_set_mode(6, c, 1);
    draw_object(c, object, world);
    render_set_mode(6, c, 0);
    restore_view(c);
    return hovered;
}

int32_t editor_draw_palette_slots(void)
{
    RenderContext *c = ctx();
    const int32_t s = c->width / 8;
    if (s <= 0) return -1;
    const float w = float(c->width), h = float(c->height), slot = float(s);
    int32_t hovered = -1;
    for (int32_t i = -1; i <= 8; i++) {
        const int32_t k = g_editor.palette_first + i;
        if (k < 0 || k >= g_menu_world.object_count) continue;
        const float phase = sinf((float((i + 1) * s) + float(g_editor.palette_scroll)) * kPi / (9.0f * slot));
        const float size = (0.9f * phase + 0.1f) * slot;
        const float x = w * float(i) / 8.0f + float(g_editor.palette_scroll);
        if (editor_draw_palette_item(k, x, h - slot / 2.0f - size * 0.5f, slot, size) && !g_editor.lit_view)
            hovered = k;
    }
    render_set_mode(1, c, 0);
    return hovered;
}

void editor_palette_hover(int32_t hovered)
{
    if (hovered != g_editor.hovered_palette_index) {
        g_editor.hovered_palette_index = hovered;
        g_editor.hover_angle = 0.0f;
    }
    g_editor.hover_angle += 1.0f;
}

int editor_palette_arrow_left(float y)
{
    RenderContext *c = ctx();
    const float w = 32.0f * g_ui_scale_x, h = 32.0f * g_ui_scale_y;
    const bool hovered = ui_cursor_inside(0.0f, y, w, h);
    render_set_mode(6, c, 1);
    texture_bind(c, kSlotArrowHover);
    render_draw_2d_quad(c, 0.0f, y, w, h, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f, hovered ? 0.0f : 1.0f, hovered ? 0.0f : 1.0f);
    render_set_mode(6, c, 0);
    return hovered ? 1 : 0;
}

int editor_palette_arrow_right(float x, float y)
{
    RenderContext *c = ctx();
    const float w = 32.0f * g_ui_scale_x, h = 32.0f * g_ui_scale_y;
    const bool hovered = ui_cursor_inside(x, y, w, h);
    render_set_mode(6, c, 1);
    texture_bind(c, kSlotArrowHover);
    render_draw_2d_quad(c, x, y, w, h, 1.0f, 0.0f, 0.0f, 1.0f, 1.0f, hovered ? 0.0f : 1.0f, hovered ? 0.0f : 1.0f);
    render_set_mode(6, c, 0);
    return hovered ? 1 : 0;
}

EditorArrows editor_draw_palette_arrows(void)
{
    const RenderContext *c = ctx();
    const int32_t count = g_menu_world.object_count;
    const float y = float(c->height - c->width / 16);
    EditorArrows arrows;
    if (g_editor.palette_first > 0) arrows.left = editor_palette_arrow_left(y);
    // Nine blocks or fewer never need it, whatever palette_first the clamps left.
    if (count > 9 && g_editor.palette_first < count - 9)
        arrows.right = editor_palette_arrow_right(float(c->width) - float(c->width) * 0.025f, y);
    return arrows;
}

void editor_palette_arrow_click(const EditorArrows &arrows)
{
    const int32_t s = ctx()->width / 8, count = g_menu_world.object_count;
    int32_t &first = g_editor.palette_first;
    if (arrows.left && g_editor.palette_scroll == 0) {
        first--;
        g_editor.palette_scroll = -s;
    }
    if (arrows.right) {
        first++;
        g_editor.palette_scroll = s;
    }
    const int32_t wanted = first;
    if (first > count - 9) first = count - 9;
    if (first < -3) first = -3;
    if (first != wanted) g_editor.palette_scroll = 0;  // the slide stops at a limit
}

void editor_draw_held_block(float *p)
{
    RenderContext *c = ctx();
    editor_cursor_ground_point(g_mouse_x, g_mouse_y, p);
    RenderObject *object = palette_object(g_editor.held_palette_index);
    if (!object) return;
    const float ground = course_ground_height_at(p[0], p[1], p[2]);
    // The higher of the ground and the raise, y pointing down.
    const float y = ground < -g_editor.raise ? ground : -g_editor.raise;
    float world[16];
    mat4_identity(world);
    mat4_rotate_euler_deg(world, 0.0f, float(g_editor.yaw), 0.0f);
    mat4_translate(world, p[0], y - kHeldLift, p[2]);
    render_set_mode(1, c, 1);
    render_set_mode(4, c, 5);
    draw_object(c, object, world);
}

void editor_draw_cursor_marker(float x, float y, float z)
{
    (void)y;
    RenderContext *c = ctx();
    float identity[16];
    render_set_world_matrix(c, mat4_identity(identity));
    const float corners[4][3] = {{x - 3.0f, -0.01f, z - 3.0f},
                                 {x + 3.0f, -0.01f, z - 3.0f},
                                 {x + 3.0f, -0.01f, z + 3.0f},
                                 {x - 3.0f, -0.01f, z + 3.0f}};
    render_set_mode(1, c, 1);
    render_set_mode(4, c, 5);
    render_set_mode(6, c, 1);
    texture_bind(c, kSlotGlow);
    render_draw_3d_quad_uv(c, corners, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f);
    render_set_mode(6, c, 0);
}
