// Course play's yes/no box before a course is left or a hole restarted.
#include "game/player_dialog.h"

#include "game/app.h"
#include "game/dialog.h"
#include "game/font.h"
#include "game/menu_pictures.h"
#include "game/play_requests.h"
#include "game/ui.h"
#include "game/widgets.h"
#include "render/render_draw.h"
#include "script/config_main.h"

int32_t ui_confirm_box(void)
{
    RenderContext *c = &g_render_context;
    float sx = g_ui_scale_x, w = 800.0f * sx, h = 144.0f * sx;
    g_dialog_x = (float)(c->width / 2) - 400.0f * sx;
    g_dialog_y = (float)(c->height / 2);
    render_set_mode(1, c, 0);
    render_set_mode(4, c, 5);
    render_set_mode(6, c, 1);
    texture_bind(c, kSlotPanel);
    float o = (float)c->width / 160.0f;
    render_draw_2d_quad_rgba(c, g_dialog_x + o, g_dialog_y + o, w, h, 0, 0, 0, 0, 0, 0, 0, 0.5f);
    ui_panel_draw(g_dialog_x, g_dialog_y, w, h);

    const char *question = menu_text(leave_requested ? MENU_CERTAIN : MENU_CERTAIN2);
    float qw = (float)font_text_width(&g_font_primary, question) * sx;
    font_draw_text(&g_font_primary, (int32_t)(g_dialog_x + (w - qw) / 2.0f), (int32_t)(g_dialog_y + 16.0f * sx),
                   question, sx, 1.0f, 1.0f, 1.0f);
    float answers_y = g_dialog_y + 100.0f * sx;
    bool yes = ui_dialog_text_button(menu_text(MENU_OUI), g_dialog_x + w / 3.0f, answers_y);
    bool no = ui_dialog_text_button(menu_text(MENU_NON), g_dialog_x + 2.0f * w / 3.0f, answers_y);

    if (g_mouse_left_down != 1) return 0;
    g_mouse_left_down = 0;
    if (!yes && !no) return 0;
    ui_play_click_sound();
    leave_requested = 0;
    restart_requested = 0;
    return yes ? 1 : -1;
}
