// The list dialogs' shared state, frame and input, and the player lister (see dialog.h).
#include "game/dialog.h"

#include "game/app.h"
#include "game/files.h"
#include "game/font.h"
#include "game/menu_pictures.h"
#include "game/screen.h"
#include "game/ui.h"
#include "game/widgets.h"
#include "platform/system.h"
#include "render/render_draw.h"

#include <cstring>

int32_t g_dialog_scroll;
int32_t g_dialog_dragging;
char g_player_dialog_file[1024];

namespace {

RenderContext *ctx() { return &g_render_context; }
float line_height() { return (float)g_font_primary.line_height; }

const float kTitleColour[3] = {0.1f, 0.9f, 1.0f};

// Text drawn at the primary font's scale g_ui_scale_x, top-left at (x, y) pixels.
void text_at(const char *text, float x, float y, const float *colour)
{
    font_draw_text(&g_font_primary, (int32_t)x, (int32_t)y, text, g_ui_scale_x, colour[0], colour[1], colour[2]);
}

}  // namespace

void ui_players_dialog_init(void)
{
    g_player_dialog_file[0] = '\0';
    char here[1024];
    bool back = _getcwd(here, sizeof here) != nullptr;
    g_file_count = 0;
    if (_chdir(g_players_folder) == 0) ui_file_list_fill("*.dat");
    if (back) _chdir(here);
    g_dialog_scroll = 0;
    g_dialog_x = 290.0f * g_ui_scale_x;
    g_dialog_y = 10.0f;
}

DialogHover ui_dialog_frame_draw(float width, float height, const char *title)
{
    RenderContext *c = ctx();
    float sx = g_ui_scale_x, x0 = g_dialog_x, y0 = g_dialog_y;
    float w = width * sx, h = height * sx, bar = kDialogBar * sx;
    float list_h = (kDialogListBottom - kDialogBar) * sx;
    render_set_mode(1, c, 0);
    render_set_mode(4, c, 5);
    render_set_mode(6, c, 1);
    texture_bind(c, kSlotPanel);
    float o = (float)c->width / 160.0f;
    render_draw_2d_quad_rgba(c, x0 + o, y0 + o, w, h, 0, 0, 0, 0, 0, 0, 0, 0.5f);

    DialogHover hover = {};
    hover.title = ui_panel_draw(x0, y0, w, bar);
    ui_panel_draw(x0, y0 + bar, w - bar, list_h);
    ui_panel_draw(x0 + w - bar, y0 + bar, bar, list_h);
    float own_top = kDialogListBottom * sx, own_h = h - bar - own_top;
    if (own_h > 0.0f) ui_panel_draw(x0, y0 + own_top, w, own_h);
    ui_panel_draw(x0, y0 + h - bar, w, bar);

    float arrow_x = x0 + w - bar / 2.0f;
    hover.scroll_up = ui_list_scroll_up_button(arrow_x, y0 + bar + 8.0f * sx);
    hover.scroll_down = ui_list_scroll_down_button(arrow_x, y0 + own_top - 40.0f * sx);

    if (title) {
        float tw = (float)font_text_width(&g_font_primary, title) * sx;
        float lift = (kDialogBar - line_height()) * sx / 2.0f;
        text_at(title, x0 + (w - tw) / 2.0f, y0 + (lift > 0.0f ? lift : 0.0f), kTitleColour);
    }
    render_set_mode(6, c, 1);
    return hover;
}

float ui_dialog_row_height(void) { return 1.2f * line_height() * g_ui_scale_x; }

float ui_dialog_row_top(int32_t i) { return g_dialog_y + kDialogBar * g_ui_scale_x + ui_dialog_row_height() * i; }

int32_t ui_dialog_row_at_cursor(float width)
{
    if (g_dialog_dragging) return -1;
    float mx = (float)g_mouse_x, my = (float)g_mouse_y;
    float list_w = (width - kDialogBar) * g_ui_scale_x;
    if (!(g_dialog_x < mx && mx < g_dialog_x + list_w)) return -1;
    for (int32_t i = 0; i < kDialogRows; i++) {
        int32_t n = g_dialog_scroll + i;
        if (n < 0 || n >= g_file_count) continue;
        // Rows meet without a gap: row i holds its top up to the pixel before the next row's.
        float top = ui_dialog_row_top(i);
        if (top <= my && my < top + ui_dialog_row_height()) return n;
    }
    return -1;
}

int32_t ui_dialog_rows_draw_names(float width)
{
    int32_t hovered = ui_dialog_row_at_cursor(width);
    float pad = (ui_dialog_row_height() - line_height() * g_ui_scale_x) / 2.0f;
    for (int32_t i = 0; i < kDialogRows; i++) {
        int32_t n = g_dialog_scroll + i;
        if (n < 0 || n >= g_file_count) continue;
        char stem[FILE_NAME_MAX];
        size_t length = strcspn(g_file_names[n], ".");
        if (length >= sizeof stem) length = sizeof stem - 1;
        memcpy(stem, g_file_names[n], length);
        stem[length] = '\0';
        text_at(stem, g_dialog_x + 10.0f * g_ui_scale_x, ui_dialog_row_top(i) + pad,
                n == hovered ? g_menu_color : g_menu_color + 3);
    }
    return hovered;
}

bool ui_dialog_text_button(const char *text, float cx, float cy)
{
    if (!text) return false;
    float tw = (float)font_text_width(&g_font_primary, text) * g_ui_scale_x;
    float th = line_height() * g_ui_scale_x;
    bool hover = ui_cursor_inside(cx - tw / 2.0f, cy - th / 2.0f, tw, th);
    text_at(text, cx - tw / 2.0f, cy - th / 2.0f, hover ? g_menu_color : g_menu_color + 3);
    return hover;
}

bool ui_dialog_escape(void)
{
    if (!g_key_down[27]) return false;
    g_key_down[27] = 0;
    return true;
}

void ui_dialog_wheel(void)
{
    if (g_wheel_delta > 0) ui_dialog_scroll_by(1);
    if (g_wheel_delta < 0) ui_dialog_scroll_by(-1);
    g_wheel_delta = 0;
}

void ui_dialog_scroll_by(int32_t rows)
{
    int32_t last = g_file_count - kDialogRows > 0 ? g_file_count - kDialogRows : 0;
    int32_t scroll = g_dialog_scroll + rows;
    g_dialog_scroll = scroll < 0 ? 0 : (scroll > last ? last : scroll);
}

int ui_dialog_take_press(const DialogHover *hover)
{
    if (g_mouse_left_down == 0) g_dialog_dragging = 0;
    if (g_mouse_left_down != 1) return 0;
    // The press that starts a drag stays pending: the button held is what keeps the drag going.
    if (hover->title) g_dialog_dragging = 1;
    if (g_dialog_dragging) return 0;
    g_mouse_left_down = 0;
    if (hover->scroll_up || hover->scroll_down) {
        ui_dialog_scroll_by(hover->scroll_up ? -1 : 1);
        ui_play_click_sound();
    }
    return 1;
}

void ui_dialog_drag_step(void)
{
    if (!g_dialog_dragging) return;
    g_dialog_x += (float)(g_mouse_x - g_mouse_prev_x);
    g_dialog_y += (float)(g_mouse_y - g_mouse_prev_y);
}
