// The score card between holes (the next hole's preview and the load's progress bar over the
// table of PARs and scores), the final card with each player's total, and the wait on it.
#include "course/play_screen_local.h"

#include "game/app.h"
#include "game/files.h"
#include "game/font.h"
#include "game/menu_pictures.h"
#include "game/screen.h"
#include "game/ui.h"
#include "game/widgets.h"
#include "platform/window.h"
#include "render/render_draw.h"
#include "render/texture.h"
#include "script/config_main.h"

#include <cmath>
#include <cstdio>
#include <initializer_list>

namespace {

constexpr int32_t kKeyEscape = 27;

// A hole's score: strokes over PAR, clamped to -4..+4.
int32_t clamped_score(int32_t strokes, int32_t par)
{
    const int32_t d = strokes - par;
    return d < -4 ? -4 : d > 4 ? 4 : d;
}

// "+n" above zero, "n" otherwise.
void signed_text(char *out, size_t size, int32_t value) { snprintf(out, size, value > 0 ? "+%d" : "%d", value); }

void text_at(const char *text, float x, float y, float scale, float r, float g, float b)
{
    font_draw_text(&g_font_primary, int32_t(x), int32_t(y), text, scale, r, g, b);
}

float text_width(const char *text, float scale) { return float(font_text_width(&g_font_primary, text)) * scale; }

void draw_background(RenderContext *c)
{
    render_set_mode(1, c, 0);
    app_background_draw_still(0.75f);
}

void white_quad(RenderContext *c, float x, float y, float w, float h, float grey, float alpha)
{
    texture_bind(c, kSlotWhite);
    render_draw_2d_quad_rgba(c, x, y, w, h, 0, 0, 1, 1, grey, grey, grey, alpha);
}

// The table's grid, its PARs and scores over `holes` columns, plus the totals column when
// `totals`; row labels on its left.
void draw_table(RenderContext *c, int32_t holes, bool totals)
{
    const float sx = g_ui_scale_x, sy = g_ui_scale_y, column = 50.0f * sx;
    const int32_t players = play_player_count();
    const int32_t n = holes + (totals ? 1 : 0);
    const float x0 = float(c->width) / 2.0f - float(n) * column / 2.0f;
    const float bottom = (players == 2 ? 1020.0f : 950.0f) * sy;

    texture_bind(c, kSlotWhite);
    for (float y : {810.0f, 880.0f, 950.0f, 1020.0f})
        if (y < 1000.0f || players == 2) render_draw_2d_line(c, x0, y * sy, x0 + column * float(n), y * sy);
    for (int32_t i = 0; i <= n; i++)
        render_draw_2d_line(c, x0 + column * float(i), 810.0f * sy, x0 + column * float(i), bottom);

    char text[32];
    const int32_t *strokes[2] = {g_hole_strokes_p1, g_hole_strokes_p2};
    const float score_y[2] = {900.0f * sy, 970.0f * sy};
    for (int32_t i = 0; i < holes; i++) {
        const float centre = x0 + column * float(i) + 25.0f * sx;
        if (g_hole_par_table[i] >= 0) {
            snprintf(text, sizeof text, "%d", g_hole_par_table[i]);
            text_at(text, centre - text_width(text, sx) / 2.0f, 820.0f * sy, sx, 1.0f, 0.0f, 0.0f);
        }
        for (int32_t p = 0; p < 2; p++) {
            if (strokes[p][i] < 0) continue;
            signed_text(text, sizeof text, clamped_score(strokes[p][i], g_hole_par_table[i]));
            text_at(text, centre - text_width(text, 0.5f * sx) / 2.0f, score_y[p], 0.5f * sx, 1.0f, 1.0f, 1.0f);
        }
    }
    if (totals) {
        const float centre = x0 + column * float(holes) + 25.0f * sx;
        for (int32_t p = 0; p < (players == 2 ? 2 : 1); p++) {
            int32_t total = 0;
            for (int32_t i = 0; i < holes; i++)
                if (strokes[p][i] >= 0) total += clamped_score(strokes[p][i], g_hole_par_table[i]);
            signed_text(text, sizeof text, total);
            text_at(text, centre - text_width(text, 0.5f * sx) / 2.0f, score_y[p], 0.5f * sx, g_menu_color[0],
                    g_menu_color[1], g_menu_color[2]);
        }
    }

    const float right = x0 - 20.0f * sx;
    const char *par = menu_text(MENU_EDPAR), *score = menu_text(MENU_SCORE);
    text_at(par, right - text_width(par, 0.5f * sx), 820.0f * sy, 0.5f * sx, 1.0f, 0.0f, 0.0f);
    text_at(score, right - text_width(score, 0.5f * sx), 890.0f * sy, 0.5f * sx, 1.0f, 1.0f, 1.0f);
    if (players == 2) text_at(score, right - text_width(score, sx), 960.0f * sy, sx, 1.0f, 1.0f, 1.0f);
}

// Ends the 2D drawing and shows the frame.
void present(RenderContext *c)
{
    render_set_mode(6, c, 0);
    render_set_mode(1, c, 1);
    render_end_frame(c);
    render_present_frame(c);
}

}  // namespace

int32_t play_player_count(void)
{
    if (g_player_record[1].marker < 0) return 2;
    return g_player_record[0].marker < 0 ? 1 : 0;
}

int32_t play_card_columns(void)
{
    return g_file_count < kPlayMaxHoles ? (g_file_count > 0 ? g_file_count : 0) : kPlayMaxHoles;
}

void play_draw_score_card(const char *first, float progress)
{
    (void)first;
    RenderContext *c = &g_render_context;
    if (!render_begin_frame(c)) return;
    if (!(progress >= 0.0f)) progress = 0.0f;  // NaN too
    if (progress > 1.0f) progress = 1.0f;
    render_set_mode(4, c, 5);
    render_clear_frame(c);
    draw_background(c);
    render_set_mode(6, c, 1);

    const float sx = g_ui_scale_x, sy = g_ui_scale_y, w = float(c->width), h = float(c->height);
    const float shadow = w / 160.0f, half = 256.0f * sx;
    white_quad(c, w / 2.0f - half - 1.0f + shadow, h / 2.0f - half - 1.0f + shadow, 512.0f * sx + 2.0f,
               512.0f * sx + 2.0f, 0.0f, 0.5f);
    white_quad(c, w / 2.0f - half - 1.0f, h / 2.0f - half - 1.0f, 512.0f * sx + 2.0f, 512.0f * sx + 2.0f, 0.85f, 1.0f);
    texture_bind(c, kPlayPreviewSlot);
    render_draw_2d_quad_rgba(c, w / 2.0f - half, h / 2.0f - half, 512.0f * sx, 512.0f * sx, 0, 0, 1, 1, 1, 1, 1, 1);

    if (g_menu_texts[MENU_GAMELOAD]) menu_text_label(g_menu_texts[MENU_GAMELOAD], 90.0f);

    const float x0 = w / 3.0f, box_x = x0 - 8.0f * sy, box_w = x0 + 16.0f * sy;
    white_quad(c, box_x + shadow, 148.0f * sy + shadow, box_w, 32.0f * sy, 0.0f, 0.5f);
    white_quad(c, box_x, 148.0f * sy, box_w, 32.0f * sy, 0.0f, 1.0f);
    white_quad(c, x0 - 5.0f * sy, 151.5f * sy, x0 + 10.0f * sy, 26.0f * sy, 1.0f, 1.0f);
    white_quad(c, x0, 155.0f * sy, w * progress / 3.0f, 20.0f * sy, 0.4f, 1.0f);

    draw_table(c, play_card_columns(), false);
    present(c);
}

void play_draw_final_card(void)
{
    RenderContext *c = &g_render_context;
    if (!render_begin_frame(c)) return;
    render_set_mode(4, c, 5);
    render_clear_frame(c);
    draw_background(c);
    render_set_mode(6, c, 1);
    const int32_t holes = play_card_columns();
    const float column = 50.0f * g_ui_scale_x, table = column * float(holes + 1);
    white_quad(c, float(c->width) / 2.0f - table / 2.0f, 810.0f * g_ui_scale_y, table, 140.0f * g_ui_scale_y, 0.0f,
               0.5f);
    draw_table(c, holes, true);
    present(c);
}

PlayCardAnswer play_wait_on_final_card(void)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    g_frame_last_count = now.QuadPart;
    // Only a press made while the card shows answers it.
    g_mouse_left_down = g_mouse_right_down = 0;
    for (;;) {
        MSG waiting;
        if (!PeekMessageA(&waiting, nullptr, 0, 0, PM_NOREMOVE)) {
            Sleep(5);  // nothing is redrawn: no need to spin
            continue;
        }
        if (!app_pump_one_message()) return kPlayCardQuit;
        if (g_mouse_left_down || g_mouse_right_down) {
            g_mouse_left_down = g_mouse_right_down = 0;
            return kPlayCardScore;
        }
        if (g_key_down[kKeyEscape]) {
            g_key_down[kKeyEscape] = 0;
            return kPlayCardSkip;
        }
    }
}
