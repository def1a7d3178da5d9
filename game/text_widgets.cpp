// The hole editor's text widgets (see text_widgets.h).
#include "game/text_widgets.h"

#include "game/app.h"
#include "game/font.h"
#include "game/menu_pictures.h"
#include "game/text_entry.h"
#include "game/ui.h"
#include "game/widgets.h"
#include "render/render_draw.h"
#include "script/config_main.h"

#include <cstdio>
#include <cstring>

char g_wrap_text[1024];
char g_wrap_lines[10][512];
char g_edit_text[512];
int32_t g_edit_length;
int32_t g_edit_par = 4;
int32_t g_caret_blink;

namespace {

const int32_t kBreakSearch = 250;  // characters of a line's start where breaks are tried
const float kWhite[3] = {1.0f, 1.0f, 1.0f};

RenderContext *ctx() { return &g_render_context; }
float line_height() { return (float)g_font_primary.line_height; }

// The widgets' hit rule: strict on all four sides, against bounds truncated toward zero.
bool inside(float left, float top, float right, float bottom)
{
    return (int32_t)left < g_mouse_x && g_mouse_x < (int32_t)right && (int32_t)top < g_mouse_y &&
           g_mouse_y < (int32_t)bottom;
}

void text(Font *font, float x, float y, const char *s, float scale, const float *colour)
{
    font_draw_text(font, (int32_t)x, (int32_t)y, s, scale, colour[0], colour[1], colour[2]);
}

// Scale of the toolbar and save item texts: the line height plus 4 pixels.
float tall_scale(float s)
{
    float lh = line_height();
    return lh > 0.0f ? s * (lh + 4.0f) / lh : s;
}

// Where the line starting at `rest` (length n) ends: before the first space-ended prefix whose
// next letter would pass max_width, else at the end of the text.
int32_t line_length(const char *rest, int32_t n, int32_t max_width, float scale)
{
    int32_t m = n < kBreakSearch ? n : kBreakSearch;
    char candidate[kBreakSearch + 1];
    for (int32_t k = 1; k < m; k++) {
        if (rest[k - 1] != ' ') continue;
        memcpy(candidate, rest, size_t(k) + 1);
        candidate[k + 1] = '\0';
        if ((float)font_text_width(&g_font_primary, candidate) * scale > (float)max_width) return k;
    }
    return n;
}

}  // namespace

int32_t text_wrap_lines(int32_t max_width, float scale)
{
    for (char *line : g_wrap_lines) line[0] = '\0';
    const int32_t length = (int32_t)strnlen(g_wrap_text, sizeof g_wrap_text - 1);
    int32_t p = 0, n = 0;
    while (p < length && n < kWrapLinesMax) {
        const char *rest = g_wrap_text + p;
        int32_t cut = line_length(rest, length - p, max_width, scale);
        int32_t skip = rest[0] == ' ' ? 1 : 0;
        // A line longer than its slot keeps what fits; the rest of it is not shown.
        int32_t keep = cut - skip;
        if (keep > (int32_t)sizeof g_wrap_lines[0] - 1) keep = (int32_t)sizeof g_wrap_lines[0] - 1;
        memcpy(g_wrap_lines[n], rest + skip, size_t(keep));
        g_wrap_lines[n][keep] = '\0';
        p += cut;
        n++;
    }
    return n;
}

void text_draw_wrapped(float x, float y)
{
    float sx = g_ui_scale_x;
    int32_t max_width = (int32_t)((float)ctx()->width * 0.8f - x);
    int32_t n = text_wrap_lines(max_width, sx * 2.0f / 3.0f);
    for (int32_t i = 0; i < n; i++)
        text(&g_font_secondary, x, (float)(int32_t)(y + 0.5f * sx * line_height() * (float)i), g_wrap_lines[i],
             0.5f * sx, kWhite);
}

int ui_text_entry_field(float x, float y)
{
    float sy = g_ui_scale_y;
    float right = x + (float)font_text_width(&g_font_primary, "WWWWWWWWWWWWWWWWWWWW") * sy * 0.5f;
    bool hover = inside(x, y, right, y + line_height() * sy * 0.5f);
    char shown[sizeof g_edit_text + 2];
    snprintf(shown, sizeof shown, hover && g_caret_blink > 5 ? "%s_" : "%s", g_edit_text);
    if (hover && g_key_printable) {
        ui_text_entry_key(g_key_char, &g_edit_length, g_edit_text, kEditTextMax, sizeof g_edit_text);
        g_key_printable = 0;
    }
    text(&g_font_primary, x, y, shown, sy * 0.5f, kWhite);
    return hover ? 1 : 0;
}

int ui_par_slider(float x, float y)
{
    RenderContext *c = ctx();
    float sy = g_ui_scale_y, lh = line_height();
    float fw = (float)(c->width / 10), cell = fw / 9.0f;
    float bt = y + 0.5f * lh * sy;
    text(&g_font_primary, x, y - 2.0f, menu_text(MENU_EDPAR), sy * 0.5f, kWhite);

    render_set_mode(1, c, 0);
    render_set_mode(6, c, 1);
    texture_bind(c, kSlotButton);
    render_draw_2d_quad_rgba(c, x, bt, fw, 8.0f, 0, 0, 1, 1, 0, 0, 0, 0.3f);
    bool hover = inside(x, bt, x + fw, bt + 8.0f);
    float at = (float)(g_edit_par - 1) * cell;
    render_draw_2d_quad_rgba(c, x + at, bt - 2.0f, cell, 14.0f, 0, 0, 1, 1, 0, 0, 0, 0.3f);
    render_set_mode(6, c, 0);
    render_draw_2d_quad(c, x - 2.0f, bt - 2.0f, fw, 8.0f, 0, 0, 1, 1, 0.9f, 0.9f, 0.9f);
    render_draw_2d_quad(c, x - 2.0f + at, bt - 4.0f, fw / 8.0f, 14.0f, 0, 0, 1, 1, 1.0f, hover ? 0.0f : 1.0f,
                        hover ? 0.0f : 1.0f);

    char value[16];
    snprintf(value, sizeof value, "%d", g_edit_par);
    text(&g_font_primary, x + fw + 5.0f, bt, value, sy * 0.5f, kWhite);
    if (hover && g_mouse_left_down != 0 && fw > 0.0f) {
        int32_t par = (int32_t)(((float)g_mouse_x - x) * 9.0f / fw) + 1;
        g_edit_par = par < 1 ? 1 : (par > 9 ? 9 : par);
    }
    render_set_mode(1, c, 1);
    return inside(x, y - 0.5f * lh * sy, x + fw, y + 0.5f * lh * sy) ? 1 : 0;
}

int ui_toolbar_button(const char *label, float virtual_y, int32_t flags)
{
    if (!label) return 0;
    float sy = g_ui_scale_y;
    float l = 10.0f * sy, t = virtual_y * sy;
    float r = l + (float)font_text_width(&g_font_primary, label) * sy, b = t + 0.8f * line_height() * sy;
    bool hover = inside(l, t, r, b);
    float grow = 0.0f;
    if ((flags & 4) && hover) grow += 2.0f * sy;
    if (flags & 64) grow += 2.0f * sy;
    const float *colour = (flags & 8) && hover ? g_menu_color : g_menu_color + 3;
    g_font_primary.alpha = 1.0f;
    text(&g_font_primary, l - grow, t - grow, label, tall_scale(sy), colour);
    g_font_primary.alpha = 1.0f;
    return hover ? 1 : 0;
}

int menu_text_item_hover(float x, float y)
{
    const char *label = menu_text(MENU_EDSAVE);
    float s = (float)ctx()->width * 0.5f / 1280.0f;
    float w = (float)font_text_width(&g_font_primary, label) * s;
    bool hover = inside(x, y, x + w, y + 0.9f * line_height() * s);
    g_font_primary.alpha = 1.0f;
    if (hover)
        text(&g_font_primary, x - 2.0f * s, y - 2.0f * s, label, tall_scale(s), g_menu_color);
    else
        text(&g_font_primary, x, y, label, tall_scale(s), g_menu_color + 3);
    g_font_primary.alpha = 1.0f;
    return hover ? 1 : 0;
}
