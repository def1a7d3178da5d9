// The drawn pointer, the list arrows and the list rows.
#include "game/widgets.h"

#include "game/app.h"
#include "game/font.h"
#include "game/menu_pictures.h"
#include "game/ui.h"
#include "render/render_draw.h"

namespace {

RenderContext *ctx() { return &g_render_context; }
float font_height() { return (float)g_font_primary.line_height; }

// A 32 x 32 (scaled) arrow centred on x, its shadow at (+3, +3); red while hovered. Upside down
// swaps the texture's v, mirrored its u.
bool arrow(int32_t slot, float x, float y, bool upside_down, bool mirrored = false)
{
    RenderContext *c = ctx();
    float w = 32.0f * g_ui_scale_x, h = 32.0f * g_ui_scale_y;
    float left = x - 16.0f * g_ui_scale_x;
    float v0 = upside_down ? 1.0f : 0.0f, v1 = 1.0f - v0;
    float u0 = mirrored ? 1.0f : 0.0f, u1 = 1.0f - u0;
    bool hover = ui_cursor_inside(left, y, w, 32.0f * g_ui_scale_x);
    render_set_mode(6, c, 1);
    texture_bind(c, slot);
    render_draw_2d_quad_rgba(c, left + 3.0f, y + 3.0f, w, h, u0, v0, u1, v1, 0.0f, 0.0f, 0.0f, 0.5f);
    float gb = hover ? 0.5f : 1.0f;
    render_draw_2d_quad_rgba(c, left, y, w, h, u0, v0, u1, v1, 1.0f, gb, gb, 1.0f);
    render_set_mode(6, c, 0);
    return hover;
}

float text_top(float virtual_y) { return virtual_y * g_ui_scale_y - font_height() * g_ui_scale_y * 0.5f; }

}  // namespace

void ui_pointer_draw(void)
{
    RenderContext *c = ctx();
    float w = 32.0f * g_ui_scale_x, h = 32.0f * g_ui_scale_y;
    float x = (float)g_mouse_x, y = (float)g_mouse_y;
    render_set_mode(6, c, 1);
    texture_bind(c, kSlotMouse0);
    render_draw_2d_quad_rgba(c, x + 3.0f, y + 3.0f, w, h, 0.0f, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.5f);
    render_draw_2d_quad_rgba(c, x, y, w, h, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f);
    render_set_mode(6, c, 0);
}

bool ui_list_scroll_up_button(float x, float y) { return arrow(kSlotArrow, x, y, false); }
bool ui_list_scroll_down_button(float x, float y) { return arrow(kSlotArrow, x, y, true); }
bool ui_list_page_up_button(float x, float y) { return arrow(kSlotArrowHover, x, y, false); }
bool ui_list_page_down_button(float x, float y) { return arrow(kSlotArrowHover, x, y, true); }
bool ui_list_page_down_mirrored_button(float x, float y) { return arrow(kSlotArrowHover, x, y, true, true); }

int ui_list_item_text(const char *text, float virtual_y, float x)
{
    if (!text) return 0;
    float width = (float)font_text_width(&g_font_primary, text);
    font_draw_text(&g_font_primary, (int32_t)(x - width * g_ui_scale_x * 0.5f), (int32_t)text_top(virtual_y), text,
                   g_ui_scale_x, 0.875f, 0.875f, 0.875f);
    return 0;
}

int ui_list_item_hit(float virtual_y, float x, int selected)
{
    float y_pix = virtual_y * g_ui_scale_y, half_h = 0.8f * font_height() * g_ui_scale_y / 2.0f;
    bool hover = ui_cursor_inside(x - 125.0f, y_pix - half_h, 250.0f, 2.0f * half_h);
    if (hover || selected) {
        RenderContext *c = ctx();
        float h = 0.9f * font_height() * g_ui_scale_y;
        render_set_mode(6, c, 1);
        texture_bind(c, kSlotWhite);
        render_draw_2d_quad_rgba(c, x - 125.0f, y_pix - h / 2.0f, 250.0f, h, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f,
                                 0.25f);
        render_set_mode(6, c, 0);
    }
    return hover ? 1 : 0;
}

int ui_list_item_button(const char *text, float virtual_y, float x, int selected)
{
    if (!text) return 0;
    float width = (float)font_text_width(&g_font_primary, text) * g_ui_scale_x;
    float y_pix = virtual_y * g_ui_scale_y, half_h = 0.8f * font_height() * g_ui_scale_y / 2.0f;
    bool hover = ui_cursor_inside(x - width / 2.0f, y_pix - half_h, width, 2.0f * half_h);
    const float *colour = hover || selected ? g_menu_color : g_menu_color + 3;
    font_draw_text(&g_font_primary, (int32_t)(x - width * 0.5f), (int32_t)text_top(virtual_y), text, g_ui_scale_x,
                   colour[0], colour[1], colour[2]);
    return hover ? 1 : 0;
}
