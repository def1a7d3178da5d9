// The editor's toolbar down the left side, the NAME/PAR panel above the palette band, and the
// hint line.
#include "course/editor_frame.h"

#include "game/app.h"
#include "game/font.h"
#include "game/menu_pictures.h"
#include "game/ui.h"
#include "render/render_draw.h"
#include "script/config_main.h"

#include <cstdio>

namespace {

constexpr float kSaveItemY = 150.0f;  // the panel's EDSAVE item, virtual units below its top line

struct ToolbarButton {
    MenuText text;
    float virtual_y;
    int32_t result;
};

const ToolbarButton kToolbar[] = {
    {MENU_EDNEW, 40.0f, 5},     {MENU_EDLOAD, 80.0f, 1},      {MENU_EDSAVE, 120.0f, 2},
    {MENU_EDCREATE, 160.0f, 4}, {MENU_BORNESTART, 200.0f, 8}, {MENU_LIGHTING, 240.0f, 3},
    {MENU_NEWTREE, 280.0f, 6},  {MENU_NEWBUISSON, 320.0f, 7}, {MENU_RETOUR, 360.0f, 666},
};

RenderContext *ctx() { return &g_render_context; }
float line_height() { return float(g_font_primary.line_height); }

void white_text(float x, float y, const char *text)
{
    font_draw_text(&g_font_primary, int32_t(x), int32_t(y), text, 0.5f * g_ui_scale_x, 1.0f, 1.0f, 1.0f);
}

// The panel's top line: H - W/6 - W/8 - half a scaled line.
float panel_top()
{
    const RenderContext *c = ctx();
    return float(c->height - c->width / 6 - c->width / 8) - 0.5f * line_height() * g_ui_scale_x;
}

// The NAME field and the PAR slider read the keys and the button themselves: while a dialog is
// open they are drawn without input.
void draw_fields(float top)
{
    const float sx = g_ui_scale_x;
    const bool blocked = editor_dialog_open();
    const uint8_t printable = g_key_printable;
    const int32_t left_down = g_mouse_left_down;
    if (blocked) g_key_printable = 0, g_mouse_left_down = 0;
    ui_text_entry_field(15.0f * sx, top + 70.0f * sx);
    ui_par_slider(15.0f * sx, top + 100.0f * sx);
    if (blocked) g_key_printable = printable, g_mouse_left_down = left_down;
}

}  // namespace

int32_t editor_draw_toolbar(void)
{
    RenderContext *c = ctx();
    const int32_t w = c->width, h = c->height;
    render_set_mode(1, c, 0);
    render_set_mode(6, c, 1);
    texture_bind(c, kSlotPanel);
    render_draw_2d_quad_rgba(c, 0.0f, float(h - w / 8), float(w), float(w / 8), 0, 0, 1, 1, 0, 0, 0, 0.75f);
    render_set_mode(6, c, 0);
    int32_t result = -1;
    for (const ToolbarButton &b : kToolbar) {
        const int32_t flags = b.text == MENU_LIGHTING ? (g_editor.lit_view ? 64 : 0) + 12 : 12;
        if (ui_toolbar_button(menu_text(b.text), b.virtual_y, flags)) result = b.result;
    }
    return editor_dialog_open() ? -1 : result;
}

void editor_draw_panel(void)
{
    RenderContext *c = ctx();
    const int32_t w = c->width, h = c->height;
    const float sx = g_ui_scale_x, lh = line_height(), top = panel_top();
    render_set_mode(1, c, 0);
    render_set_mode(6, c, 1);
    texture_bind(c, kSlotPanel);
    render_draw_2d_quad_rgba(c, 12.0f * sx, top + 2.0f, float(w / 4), float(w / 6), 0, 0, 1, 1, 0, 0, 0, 0.35f);
    render_set_mode(6, c, 1);
    render_draw_2d_quad_rgba(c, 10.0f * sx, top, float(w / 4), float(w / 6), 0, 0, 1, 1, 1, 1, 1, 0.35f);
    render_set_mode(6, c, 0);

    char line[kEditorHoleNameMax + 128];
    snprintf(line, sizeof line, "%s: %s", menu_text(MENU_EDDOCNAME), g_editor.hole_name);
    white_text(15.0f * sx, float(h - w / 8) - 0.5f * lh * sx, line);
    white_text(15.0f * sx, top, menu_text(MENU_EDNFO));
    white_text(15.0f * sx, top + 40.0f * sx, menu_text(MENU_EDDESCRIPTION));
    draw_fields(top);

    const char *save = menu_text(MENU_EDSAVE);
    const float x = 10.0f * sx + float(w / 4) - sx * (float(font_text_width(&g_font_primary, save)) + 20.0f * sx);
    if (menu_text_item_hover(x, top + kSaveItemY * sx) && g_mouse_left_down == 1 && !editor_dialog_open()) {
        g_mouse_left_down = 0;
        // A hole never saved or opened has no file for its name and par to go beside.
        if (!editor_hole_has_file())
            g_editor_frame.message = MENU_ERR9;
        else if (!editor_write_description())
            g_editor_frame.message = MENU_ERR3;  // and the next frame's preview
    }
}

int editor_panel_contains(int32_t x, int32_t y)
{
    const RenderContext *c = ctx();
    const float sx = g_ui_scale_x;
    const float left = 10.0f * sx, right = left + float(c->width / 5);
    const float top = float(c->height - c->width / 4 - c->width / 8) + 2.0f - 0.5f * line_height() * sx;
    return left < float(x) && float(x) < right && top < float(y) && float(y) < top + float(c->width / 4) ? 1 : 0;
}

void editor_draw_hint(void)
{
    if (g_editor.message_frames <= 0) return;
    g_editor.message_frames--;
    const RenderContext *c = ctx();
    snprintf(g_wrap_text, sizeof g_wrap_text, "%s", g_editor.hint >= 0 ? menu_text(MenuText(g_editor.hint)) : "");
    text_draw_wrapped(float(c->width) * 0.2857143f,
                      float(c->height - c->width / 8) - line_height() * 3.0f * g_ui_scale_x * 0.5f);
}
