// The high scores (555) and the credits (4).
#include "game/app.h"
#include "game/font.h"
#include "game/high_scores.h"
#include "game/menu_pictures.h"
#include "game/menus.h"
#include "game/screen.h"
#include "game/ui.h"
#include "game/widgets.h"
#include "render/render.h"
#include "render/render_draw.h"
#include "script/config_main.h"

#include <cstdio>
#include <cstring>

HighScoreRow g_high_score_rows[FILE_LIST_MAX];
int32_t g_high_score_count;
uint8_t g_high_scores_ready;

namespace {

// The panel behind the table, in virtual units.
const float PANEL_LEFT = 320.0f, PANEL_RIGHT = 1600.0f, PANEL_TOP = 220.0f, PANEL_BOTTOM = 940.0f;
const float PANEL_BORDER = 3.0f;
const float ROW_FIRST_Y = 346.0f, ROW_STEP = 45.0f;

RenderContext *ctx() { return &g_render_context; }

// Text centred on x (pixels) at virtual y, in a colour.
void text_at(const char *text, float x, float virtual_y, const float *colour)
{
    float width = (float)font_text_width(&g_font_primary, text);
    float top = virtual_y * g_ui_scale_y - (float)g_font_primary.line_height * g_ui_scale_y * 0.5f;
    font_draw_text(&g_font_primary, (int32_t)(x - width * g_ui_scale_x * 0.5f), (int32_t)top, text, g_ui_scale_x,
                   colour[0], colour[1], colour[2]);
}

// A translucent body with a framed edge, corners in pixels.
void scores_panel(float left, float top, float right, float bottom)
{
    RenderContext *c = ctx();
    float w = right - left, h = bottom - top, b = PANEL_BORDER * g_ui_scale_x;
    render_set_mode(6, c, 1);
    render_set_mode(4, c, 5);
    texture_bind(c, kSlotPanel);
    render_draw_2d_quad_rgba(c, left, top, w, h, 0.0f, 0.0f, w / 150.0f, h / 150.0f, 0.7f, 0.7f, 0.7f,
                             0.5f * g_ui_alpha);
    texture_bind(c, kSlotWhite);
    const float edges[4][4] = {
        {left, top, w, b}, {left, bottom - b, w, b}, {left, top + b, b, h - 2 * b}, {right - b, top + b, b, h - 2 * b}};
    for (const auto &e : edges)
        render_draw_2d_quad_rgba(c, e[0], e[1], e[2], e[3], 0.0f, 0.0f, 1.0f, 1.0f, 0.9f, 0.9f, 0.9f,
                                 0.7f * g_ui_alpha);
    render_set_mode(6, c, 0);
}

// The credit lines under the title, one every 45 virtual units from 142.5 down to 907.5.
enum CreditStyle { kPlain, kTitle };
struct CreditLine {
    CreditStyle style;
    const char *text;
};
const CreditLine CREDITS[] = {
    {kTitle, "Design, programming and graphics"},
    {kPlain, "The ZAV Games team"},
    {kPlain, "---"},
    {kTitle, "Libraries"},
    {kPlain, "FreeType: portions (c) The FreeType Project (www.freetype.org)"},
    {kPlain, "libpng (c) The PNG Reference Library Authors"},
    {kPlain, "zlib (c) Jean-loup Gailly and Mark Adler"},
    {kPlain, "OpenJPEG (c) Universite catholique de Louvain (UCL), BSD licence"},
    {kPlain, "libvorbis and libogg (c) Xiph.Org Foundation, BSD licence"},
    {kPlain, "SDL2 (c) Sam Lantinga, zlib licence"},
    {kPlain, "---"},
    {kTitle, "Fonts"},
    {kPlain, "DejaVu fonts: (c) Bitstream, Inc.; DejaVu changes are in the public domain"},
    {kPlain, "Bitstream Vera is a trademark of Bitstream, Inc."},
    {kPlain, "---"},
    {kPlain, "Thank you for playing!"},
};
const float CREDITS_FIRST_Y = 142.5f, CREDITS_STEP = 45.0f;
static_assert(sizeof CREDITS / sizeof CREDITS[0] <= 18, "the credits end at 907.5");

}  // namespace

int high_score_row_of(const PlayerRecord *record, HighScoreRow *row)
{
    if (record->marker != PLAYER_MARKER_REAL) return 0;
    memset(row, 0, sizeof *row);
    size_t length = strnlen(record->name, sizeof row->name - 1);
    memcpy(row->name, record->name, length);
    row->courses_finished = record->courses_finished;
    // A damaged file may count no course or fewer than none: no average then.
    row->score = record->courses_finished > 0
                     ? (int32_t)((double)record->total_over_par / (double)record->courses_finished)
                     : 0;
    return 1;
}

void high_score_sort(HighScoreRow *rows, int32_t count)
{
    for (int32_t pass = 0; pass + 1 < count; pass++) {
        bool swapped = false;
        for (int32_t i = 0; i + 1 < count - pass; i++) {
            if (rows[i].score <= rows[i + 1].score) continue;
            HighScoreRow kept = rows[i];
            rows[i] = rows[i + 1];
            rows[i + 1] = kept;
            swapped = true;
        }
        if (!swapped) break;
    }
}

void high_scores_build(void)
{
    int32_t count = 0;
    for (int32_t i = 0; i < g_file_count && i < FILE_LIST_MAX; i++) {
        PlayerRecord record;
        memset(&record, 0, sizeof record);
        if (!player_record_load(&record, g_file_names[i])) continue;
        if (high_score_row_of(&record, &g_high_score_rows[count])) count++;
    }
    high_score_sort(g_high_score_rows, count);
    g_high_score_count = count < HIGH_SCORE_ROWS_SHOWN ? count : HIGH_SCORE_ROWS_SHOWN;
    g_high_scores_ready = 1;
    app_trace("scores rows %d", g_high_score_count);
}

void menu_high_scores_screen(void)
{
    if (!g_high_scores_ready) high_scores_build();
    float sx = g_ui_scale_x, sy = g_ui_scale_y;
    if (g_menu_texts[MENU_SCORES]) menu_text_title(g_menu_texts[MENU_SCORES], 166.0f);
    scores_panel(PANEL_LEFT * sx, PANEL_TOP * sy, PANEL_RIGHT * sx, PANEL_BOTTOM * sy);

    float third = (float)ctx()->width / 3.0f;
    const float *head = g_menu_color;  // the selection colour
    text_at(menu_text(MENU_NOM0), third, 256.0f, head);
    text_at(menu_text(MENU_ELO), 2.0f * third, 256.0f, head);
    const float *plain = g_menu_color + 3;
    for (int32_t i = 0; i < g_high_score_count; i++) {
        const HighScoreRow &row = g_high_score_rows[i];
        float y = ROW_FIRST_Y + ROW_STEP * (float)i;
        char score[32];
        snprintf(score, sizeof score, "%d / %d", row.score, row.courses_finished);
        text_at(row.name, third, y, plain);
        text_at(score, 2.0f * third, y, plain);
    }

    if (menu_take_click(menu_text_button(menu_text(MENU_RETOUR), 976.0f))) {
        g_screen_state = kScreenMainMenu;
        g_high_scores_ready = 0;
    }
}

// Escape leaves without RETOUR: the table is built again on the next visit all the same.
void menu_high_scores_leave(void) { g_high_scores_ready = 0; }

void menu_credits_screen(void)
{
    char title[600];
    snprintf(title, sizeof title, "%s v2.3", g_game_name);
    menu_text_title(title, 97.5f);
    float y = CREDITS_FIRST_Y;
    for (const CreditLine &line : CREDITS) {
        if (line.style == kTitle) menu_text_title(line.text, y);
        else menu_text_label(line.text, y);
        y += CREDITS_STEP;
    }
    if (menu_take_click(menu_text_button(menu_text(MENU_RETOUR), 952.5f))) g_screen_state = kScreenMainMenu;
}
