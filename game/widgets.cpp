// Panels, frames, the pop-up box, centred menu texts and the play screen's lines.
#include "game/widgets.h"

#include "game/app.h"
#include "game/files.h"
#include "game/font.h"
#include "game/menu_pictures.h"
#include "game/ui.h"
#include "render/render_draw.h"
#include "sound/sound.h"

float g_menu_color[6] = {0.9f, 0.6f, 1.0f, 1.0f, 1.0f, 1.0f};
float g_dialog_x, g_dialog_y;
char *g_hud_message;
char *g_hud_top_text;
SoundEffect *g_sound_click;
SoundEffect *g_sound_tok;

namespace {

RenderContext *ctx() { return &g_render_context; }
float font_height() { return (float)g_font_primary.line_height; }
int32_t half_width() { return ctx()->width / 2; }

void play(SoundEffect *effect)
{
    if (effect && g_sound_card_on == 1 && g_sound_effects_on == 1) sound_play_effect(effect, 0);
}

// One textured quad with the panel picture's repeat: (w / 150, h / 150) over the body.
void panel_quad(float x, float y, float w, float h, float tu, float tv, float grey)
{
    render_draw_2d_quad_rgba(ctx(), x, y, w, h, 0.0f, 0.0f, tu, tv, grey, grey, grey, g_ui_alpha);
}

// The body and the seven border quads: light on the top and left, dark on the bottom and right.
bool bevelled(float x, float y, float w, float h, float body, float light, float dark)
{
    render_set_mode(4, ctx(), 5);
    texture_bind(ctx(), kSlotPanel);
    float tu = w / 150.0f, tv = h / 150.0f;
    panel_quad(x + 1, y + 1, w - 2, h - 2, tu, tv, body);
    panel_quad(x, y, 1, 1, tu, tv, light);
    panel_quad(x, y, w, 2, tu, tv, light);
    panel_quad(x, y, 2, h, tu, tv, light);
    panel_quad(x, y + h - 1, w, 2, tu, tv, dark);
    panel_quad(x + w - 1, y, 2, h, tu, tv, dark);
    panel_quad(x + w - 1, y + h - 1, 1, 1, tu, tv, dark);
    return ui_cursor_inside(x, y, w, h);
}

// Centred on W / 2 at virtual y, size factor s.
void centred_text(const char *text, float virtual_y, float s, float r, float g, float b)
{
    float y_pix = virtual_y * g_ui_scale_y;
    float width = (float)font_text_width(&g_font_primary, text);
    float scale = s * g_ui_scale_x;
    font_draw_text(&g_font_primary, (int32_t)(half_width() - width * scale * 0.5f),
                   (int32_t)(y_pix - s * font_height() * g_ui_scale_y * 0.5f), text, scale, r, g, b);
}

// Right-aligned 5 virtual units from the right edge.
void right_text(const char *text, float virtual_y, const float *colour)
{
    float sx = g_ui_scale_x;
    float width = (float)font_text_width(&g_font_primary, text);
    float x0 = (float)(int32_t)(1920.0f * sx - (width + 10.0f) * sx * 0.5f);
    font_draw_text(&g_font_primary, (int32_t)(x0 - width * sx * 0.5f),
                   (int32_t)(virtual_y * g_ui_scale_y - font_height() * g_ui_scale_y * 0.5f), text, sx, colour[0],
                   colour[1], colour[2]);
}

// Text centred on x (pixels).
void text_centred_on(const char *text, float cx, float y, float scale)
{
    float width = (float)font_text_width(&g_font_primary, text);
    font_draw_text(&g_font_primary, (int32_t)(cx - width * scale * 0.5f), (int32_t)y, text, scale, 1.0f, 1.0f, 1.0f);
}

void popup_bar(float bw, float fraction)
{
    RenderContext *c = ctx();
    float sx = g_ui_scale_x;
    float bx = g_dialog_x + 0.1f * bw, by = g_dialog_y + 4.5f * 48.0f * sx;
    float fill = fraction * 0.8f * bw, bar_h = 24.0f * sx;
    render_set_mode(6, c, 1);
    ui_panel_draw_sunken(bx, by, 0.8f * bw, bar_h, 0.45f);
    texture_bind(c, kSlotPanel);
    float o = (float)c->width / 320.0f;
    render_draw_2d_quad_rgba(c, bx + o, by + o, fill, bar_h, 0, 0, 0, 0, 0, 0, 0, 0.4f);
    ui_panel_draw(bx, by, fill, bar_h);
}

}  // namespace

bool ui_cursor_inside(float left, float top, float w, float h)
{
    float mx = (float)g_mouse_x, my = (float)g_mouse_y;
    return left < mx && mx < left + w && top < my && my < top + h;
}

int menu_take_click(int hovered)
{
    if (!hovered || g_mouse_left_down != 1) return 0;
    play(g_sound_click);
    g_mouse_left_down = 0;
    return 1;
}

void ui_play_tok_sound(void) { play(g_sound_tok); }
void ui_play_click_sound(void) { play(g_sound_click); }

bool ui_panel_draw(float x, float y, float w, float h) { return bevelled(x, y, w, h, 0.7f, 0.9f, 0.5f); }

bool ui_panel_draw_sunken(float x, float y, float w, float h, float shade)
{
    float lo = shade - 0.2f < 0.0f ? 0.0f : shade - 0.2f;
    float hi = shade + 0.2f > 1.0f ? 1.0f : shade + 0.2f;
    return bevelled(x, y, w, h, shade, lo, hi);
}

bool ui_frame_draw(int32_t slot, float x, float y, float w, float h)
{
    RenderContext *c = ctx();
    render_set_mode(4, c, 5);
    render_set_mode(6, c, 0);
    texture_bind(c, slot);
    render_draw_2d_quad(c, x, y, w, h, 0.0f, 0.0f, 1.0f, 1.0f, 0.7f, 0.7f, 0.7f);
    render_set_mode(6, c, 0);
    return ui_cursor_inside(x, y, w, h);
}

int ui_popup_message_box(const char *line1, const char *line2, float fraction)
{
    RenderContext *c = ctx();
    float sx = g_ui_scale_x;
    float bw = 800.0f * sx;
    g_dialog_x = (float)half_width() - bw / 2.0f;
    g_dialog_y = (float)(c->height / 2);
    render_set_mode(6, c, 1);
    render_set_mode(4, c, 5);
    render_set_mode(1, c, 0);
    texture_bind(c, kSlotPanel);
    bool two_lines = line2 && line2[0];
    float bh = (two_lines ? (fraction >= 0.0f ? 5.5f : 4.5f) : 2.5f) * 48.0f * sx;
    float o = (float)c->width * 5.0f * 0.00125f;
    render_draw_2d_quad_rgba(c, g_dialog_x + o, g_dialog_y + o, bw, bh, 0, 0, 0, 0, 0, 0, 0, 0.5f);
    ui_panel_draw(g_dialog_x, g_dialog_y, bw, bh);
    float cx = g_dialog_x + bw / 2.0f;
    if (line1 && two_lines) {
        text_centred_on(line1, cx, g_dialog_y + 2.5f * 48.0f * sx / 4.0f, sx);
        text_centred_on(line2, cx, g_dialog_y + 2.5f * 48.0f * sx, sx);
    } else if (line1) {
        text_centred_on(line1, cx, g_dialog_y + bh / 4.0f, sx);
    }
    if (fraction >= 0.0f) popup_bar(bw, fraction);
    if (!g_mouse_left_down) return 0;
    ui_play_click_sound();
    g_mouse_left_down = 0;
    return 1;
}

int menu_text_button(const char *text, float virtual_y)
{
    if (!text) return 0;
    float y_pix = virtual_y * g_ui_scale_y;
    int32_t width = font_text_width(&g_font_primary, text);
    float cx = (float)half_width(), mx = (float)g_mouse_x, my = (float)g_mouse_y;
    float half_h = font_height() * 0.8f * g_ui_scale_y * 0.5f;
    bool hover = cx - (float)(width / 2) < mx && mx < cx + (float)(width / 2) && y_pix - half_h < my &&
                 my < y_pix + half_h;
    const float *colour = hover ? g_menu_color : g_menu_color + 3;
    centred_text(text, virtual_y, hover ? 1.2f : 1.0f, colour[0], colour[1], colour[2]);
    return hover ? 1 : 0;
}

void menu_text_label(const char *text, float virtual_y) { centred_text(text, virtual_y, 1.0f, 0.8f, 0.8f, 0.8f); }

void menu_text_title(const char *text, float virtual_y)
{
    if (text) centred_text(text, virtual_y, 1.0f, 1.0f, 0.5f, 0.1f);
}

void ui_hud_text_right(const char *text, float virtual_y)
{
    static const float grey[3] = {0.9f, 0.9f, 0.9f};
    if (text) right_text(text, virtual_y, grey);
}

void ui_hud_message_line(void)
{
    if (g_hud_message) right_text(g_hud_message, 300.0f, g_menu_color);
}

void ui_hud_top_line(void)
{
    RenderContext *c = ctx();
    render_set_mode(6, c, 1);
    g_text_alpha = 1.0f;
    if (g_hud_top_text) {
        float sx = g_ui_scale_x, width = (float)font_text_width(&g_font_primary, g_hud_top_text);
        font_draw_text(&g_font_primary, (int32_t)(150.0f * sx - width * sx * 0.5f),
                       (int32_t)(45.0f * g_ui_scale_y - font_height() * g_ui_scale_y * 0.5f), g_hud_top_text, sx,
                       1.0f, 1.0f, 1.0f);
    }
    g_text_alpha = 1.0f;
    render_set_mode(6, c, 0);
}

int ui_hud_text_box(const char *text, float virtual_y)
{
    RenderContext *c = ctx();
    render_set_mode(6, c, 1);
    if (!text) {
        render_set_mode(6, c, 0);
        return 0;
    }
    float sx = g_ui_scale_x, sy = g_ui_scale_y;
    float width = (float)font_text_width(&g_font_primary, text), fh = font_height();
    float x = 150.0f * sx;
    float left = x - width * sx / 2.0f, right = x + width * sx / 2.0f;
    float top = virtual_y * sy - fh * sy / 2.0f, bottom = virtual_y * sy + fh * sy / 2.0f;
    int32_t quarter = c->width / 4;
    float dx = quarter > 0 ? ((float)g_mouse_x - (left + right) / 2.0f) / (float)quarter : 1.0f;
    float dy = ((float)g_mouse_y - top) / 300.0f;
    dx = dx < 0.0f ? 0.0f : (dx > 1.0f ? 1.0f : dx);
    dy = dy < 0.0f ? 0.0f : (dy > 1.0f ? 1.0f : dy);
    g_text_alpha = (1.0f - dx) * (1.0f - dy);
    bool hover = ui_cursor_inside(left, top, right - left, bottom - top);
    float s = hover ? 1.2f : 1.0f;
    font_draw_text(&g_font_primary, (int32_t)((float)(int32_t)x - width * sx * s * 0.5f),
                   (int32_t)(virtual_y * sy - s * fh * sy * 0.5f), text, sx * s, 1.0f, 1.0f, hover ? 0.0f : 1.0f);
    g_text_alpha = 1.0f;
    render_set_mode(6, c, 0);
    return hover ? 1 : 0;
}
