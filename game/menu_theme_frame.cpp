// The progress frame shown while the theme's scene loads: the background page dimmed, GAMELOAD
// and a bar across the middle third of the screen.
#include "game/menu_pictures.h"
#include "game/menu_theme.h"
#include "game/screen.h"
#include "game/ui.h"
#include "game/widgets.h"

#include "render/render_draw.h"
#include "script/config_main.h"

void menu_theme_loading_frame_draw(float fraction)
{
    RenderContext *c = &g_render_context;
    if (!(fraction >= 0.0f)) fraction = 0.0f;  // NaN too
    if (fraction > 1.0f) fraction = 1.0f;
    render_set_mode(4, c, 5);
    render_set_mode(1, c, 1);
    render_clear_frame(c);
    render_set_mode(1, c, 0);

    app_background_draw_still(0.75f);
    if (g_menu_texts[MENU_GAMELOAD]) menu_text_label(g_menu_texts[MENU_GAMELOAD], 500.0f);

    const float x0 = float(c->width) / 3.0f, s = g_ui_scale_y, shadow = float(c->width) / 160.0f;
    render_set_mode(6, c, 1);
    texture_bind(c, kSlotWhite);
    const float box_x = x0 - 8.0f * s, box_y = 548.0f * s, box_w = x0 + 16.0f * s, box_h = 32.0f * s;
    render_draw_2d_quad_rgba(c, box_x + shadow, box_y + shadow, box_w, box_h, 0, 0, 1, 1, 0, 0, 0, 0.5f);
    render_draw_2d_quad_rgba(c, box_x, box_y, box_w, box_h, 0, 0, 1, 1, 0, 0, 0, 1);
    render_draw_2d_quad_rgba(c, box_x + 3.0f * s, box_y + 3.0f * s, box_w - 6.0f * s, box_h - 6.0f * s, 0, 0, 1, 1, 1,
                             1, 1, 1);
    render_draw_2d_quad_rgba(c, x0, 555.0f * s, fraction * x0, 20.0f * s, 0, 0, 1, 1, 0.4f, 0.4f, 0.4f, 1);
    render_set_mode(6, c, 0);
    render_set_mode(1, c, 1);
}

void menu_theme_loading_frame(const char *text, float fraction)
{
    (void)text;
    RenderContext *c = &g_render_context;
    if (!render_begin_frame(c)) return;
    menu_theme_loading_frame_draw(fraction);
    render_end_frame(c);
    render_present_frame(c);
}
