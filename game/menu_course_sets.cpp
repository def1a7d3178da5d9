// The course-set selection (state 2), frame by frame: the list of sets with its arrows, the buttons,
// the switch between the shipped sets and the player's own, the hover that switches the preview,
// and the preview's thumbnail row and description lines.
#include "game/app.h"
#include "game/course_set_local.h"
#include "game/files.h"
#include "game/font.h"
#include "game/menu_pictures.h"
#include "game/menus.h"
#include "game/screen.h"
#include "game/ui.h"
#include "game/widgets.h"
#include "platform/system.h"
#include "render/render.h"
#include "render/render_draw.h"
#include "script/config_main.h"

#include <cstdio>
#include <cstring>

char g_course_set_folder[1024];
uint8_t g_course_set_is_personal;

uint8_t g_set_screen_ready;
int32_t g_set_list_top;
int32_t g_set_selected = -1;
int32_t g_set_preview_row;
int32_t g_set_preview_counter;
int32_t g_set_cursor_hold;
int32_t g_set_cursor_x, g_set_cursor_y;
int32_t g_set_hint_counter;
uint8_t g_set_source_personal;
int32_t g_set_thumbnail_count;
char g_set_description[kSetDescriptionLines][kSetDescriptionLength];

namespace {

RenderContext *ctx() { return &g_render_context; }
float list_x() { return (float)(ctx()->width / 3); }
float buttons_x() { return 0.75f * (float)ctx()->width; }
float row_y(int row) { return 560.0f + 50.0f * (float)row; }

// Text centred on x (pixels) around virtual y, at `scale` times the text scale.
void text_centred(const char *text, float x, float virtual_y, float scale, const float rgb[3])
{
    float s = scale * g_ui_scale_x, width = (float)font_text_width(&g_font_primary, text) * s;
    float top = virtual_y * g_ui_scale_y - scale * (float)g_font_primary.line_height * g_ui_scale_y * 0.5f;
    font_draw_text(&g_font_primary, (int32_t)(x - width * 0.5f), (int32_t)top, text, s, rgb[0], rgb[1], rgb[2]);
}

// The list's first set chosen and previewed (nothing with an empty list), the list at its top.
void start_list(void)
{
    g_set_list_top = 0;
    g_set_cursor_x = g_mouse_x;
    g_set_cursor_y = g_mouse_y;
    g_set_selected = g_course_set_count > 0 ? 0 : -1;  // an empty list has no first set to choose
    g_set_preview_row = 0;
    g_set_preview_counter = 10;
    g_set_cursor_hold = kSetCursorHoldFrames;
    g_set_hint_counter = 0;
}

void set_up(void)
{
    g_set_screen_ready = 1;
    g_set_source_personal = 0;
    g_course_set_is_personal = 0;
    start_list();
    app_trace("set list %d", g_course_set_count);
    if (g_course_set_count > 0) menu_course_set_load_preview(0);
}

// The panel brightens while the hint runs.
void draw_list_panel(void)
{
    RenderContext *c = ctx();
    float alpha = 0.25f + (float)g_set_hint_counter * (1.0f / (float)kSetHintFrames) * 0.4f;
    render_set_mode(6, c, 1);
    texture_bind(c, kSlotWhite);
    render_draw_2d_quad_rgba(c, 185.0f * g_ui_scale_x, 0.0f, (float)(c->width / 3) + 60.0f * g_ui_scale_x,
                             (float)c->height, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, alpha * g_ui_alpha);
    render_set_mode(6, c, 0);
}

// The visible rows below the count; the hovered one, or -1.
int draw_rows(void)
{
    int hovered = -1;
    for (int row = 0; row < kSetRows && g_set_list_top + row < g_course_set_count; row++) {
        int32_t set = g_set_list_top + row;
        if (ui_list_item_hit(row_y(row), list_x(), set == g_set_selected)) hovered = row;
        ui_list_item_text(g_course_set_names[set], row_y(row), list_x());
    }
    return hovered;
}

void scroll(int32_t rows)
{
    int32_t last_top = g_course_set_count > kSetRows ? g_course_set_count - kSetRows : 0;
    int32_t top = g_set_list_top;
    g_set_list_top += rows;
    if (g_set_list_top > last_top) g_set_list_top = last_top;
    if (g_set_list_top < 0) g_set_list_top = 0;
    g_set_selected = -1;
    // Other sets stand under the rows now: no visible row is the one previewed.
    if (g_set_list_top != top) g_set_preview_row = -1;
}

void play_chosen_set(void)
{
    if (g_set_selected < 0 || g_set_selected >= g_course_set_count) {
        g_set_hint_counter = kSetHintFrames;
        return;
    }
    const char *name = g_course_set_names[g_set_selected];
    const char *root = g_set_source_personal ? g_saves_folder : "data/parcours/";
    char folder[sizeof g_course_set_folder];
    int length = snprintf(folder, sizeof folder, "%s%s/", root, name);
    if (length < 0 || size_t(length) >= sizeof folder) return;  // a cut path would name another folder
    memcpy(g_course_set_folder, folder, size_t(length) + 1);
    g_course_set_is_personal = g_set_source_personal;
    g_set_screen_ready = 0;
    g_screen_state = kScreenCoursePlay;
}

// Hovered and clicked, only while the screen takes input (the widget draws either way).
bool clicked(bool active, int hovered) { return active && menu_take_click(hovered); }

// The buttons and labels of the right column; sets *play, *source and *back when clicked. The
// NPERSO item is the switch to the player's own sets and back, lit while they are shown.
void draw_buttons(bool active, bool *play, bool *source, bool *back)
{
    static const float grey[3] = {0.875f, 0.875f, 0.875f};
    float x = buttons_x();
    *play = clicked(active, ui_list_item_button(menu_text(MENU_JOUER), 650.0f, x, 0));
    char label[128];
    for (int p = 0; p < 2; p++) {
        snprintf(label, sizeof label, "%s %d: %c%.63s%c", menu_text(MENU_PLAYER), p + 1, '"', g_player_record[p].name,
                 '"');
        text_centred(label, x, 690.0f + 40.0f * (float)p, 1.0f, grey);
    }
    *source = clicked(active, ui_list_item_button(menu_text(MENU_NPERSO), 770.0f, x, g_set_source_personal));
    *back = clicked(active, ui_list_item_button(menu_text(MENU_RETOUR), 810.0f, x, 0));
}

// A click on a row chooses its set; the preview switches to it unless it shows it already.
void choose_row(int row)
{
    g_set_selected = g_set_list_top + row;
    if (row == g_set_preview_row) return;
    g_set_preview_counter = -9;
    g_set_preview_row = row;
}

// Which set the preview shows: the hovered one while none is chosen, else the chosen one. The
// switch loads when the counter climbs to 0.
void hover_preview(int hovered)
{
    if (hovered >= 0 && menu_take_click(1)) {
        choose_row(hovered);
        return;
    }
    bool chosen = g_set_selected >= 0;
    if (g_set_preview_counter == 0 && (chosen || hovered >= 0)) {
        int row = chosen ? g_set_selected - g_set_list_top : hovered;
        menu_course_set_load_preview(g_set_list_top + row);
        g_set_preview_row = row;
    } else if (hovered < 0) {
        if (!chosen && g_set_preview_counter > 0) g_set_preview_counter -= 10;
    } else if (g_set_preview_counter > 0 && !chosen && hovered != g_set_preview_row) {
        g_set_preview_counter = -9;
        g_set_preview_row = hovered;
    }
}

// The preview's animation and the cursor hold after a slow load.
void run_counters(void)
{
    if (g_set_preview_counter > 0) {
        if (g_set_preview_counter > 1) g_set_preview_counter--;
    } else {
        g_set_preview_counter++;
    }
    if (g_set_cursor_hold > 0) {
        g_set_cursor_hold--;
        SetCursorPos(g_set_cursor_x, g_set_cursor_y);
        g_mouse_x = g_set_cursor_x;
        g_mouse_y = g_set_cursor_y;
        if (g_set_cursor_hold == 0) app_trace("set hold end");
    }
}

// A row of framed squares centred on virtual (960, 200), shrunk as a whole to fit the width.
void draw_thumbnails(void)
{
    int32_t n = g_set_thumbnail_count;
    if (n <= 0) return;
    RenderContext *c = ctx();
    float side = (128.0f + (float)g_set_preview_counter * 12.2f) * g_ui_scale_y, gap = 8.0f * g_ui_scale_y;
    float total = (float)n * side + (float)(n - 1) * gap;
    if (total > (float)c->width) {
        float k = (float)c->width / total;
        side *= k, gap *= k, total = (float)c->width;
    }
    float left = 960.0f * g_ui_scale_x - total * 0.5f, top = 200.0f * g_ui_scale_y - side * 0.5f;
    float border = 3.0f * g_ui_scale_y;
    render_set_mode(6, c, 1);
    for (int32_t i = 0; i < n; i++) {
        float x = left + (float)i * (side + gap);
        texture_bind(c, kSlotWhite);
        render_draw_2d_quad_rgba(c, x - border, top - border, side + 2.0f * border, side + 2.0f * border, 0.0f, 0.0f,
                                 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, g_ui_alpha);
        texture_bind(c, kSetThumbnailSlot + i);
        render_draw_2d_quad_rgba(c, x, top, side, side, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, g_ui_alpha);
    }
    render_set_mode(6, c, 0);
}

void draw_description(void)
{
    static const float white[3] = {1.0f, 1.0f, 1.0f};
    for (int n = 0; n < kSetDescriptionLines; n++)
        if (g_set_description[n][0])
            text_centred(g_set_description[n], (float)(ctx()->width / 2), 300.0f + 30.0f * (float)n, 2.0f / 3.0f,
                         white);
}

}  // namespace

void menu_course_set_screen(void)
{
    // While it fades out after being left the screen only draws: setting up or acting on input
    // then would load thumbnails, or start play, from a screen no longer shown.
    bool active = g_screen_state == kScreenCourseSets;
    if (active && !g_set_screen_ready) set_up();

    static const float title_colour[3] = {1.0f, 0.5f, 0.1f};
    draw_list_panel();
    // The title names the sets shown.
    text_centred(menu_text(g_set_source_personal ? MENU_NPERSO : MENU_NPREDEFS), list_x(), 450.0f, 1.0f,
                 title_colour);
    if (clicked(active, ui_list_scroll_up_button(list_x(), 480.0f * g_ui_scale_y))) scroll(-1);
    int hovered = draw_rows();
    if (clicked(active, ui_list_scroll_down_button(list_x(), 960.0f * g_ui_scale_y))) scroll(1);
    bool play, source, back;
    draw_buttons(active, &play, &source, &back);
    if (g_set_hint_counter > 0) g_set_hint_counter--;

    if (source) menu_course_set_switch_source();
    if (play) play_chosen_set();
    if (back) {
        g_set_screen_ready = 0;
        g_screen_state = kScreenPlayMenu;
    }
    if (active && g_screen_state == kScreenCourseSets) {
        hover_preview(hovered);
        run_counters();
    }
    draw_thumbnails();
    draw_description();
}

void menu_course_set_list_fill(uint8_t personal)
{
    g_course_set_count = 0;
    _chdir(g_start_dir);
    if (personal ? _chdir(g_saves_folder) == 0 : _chdir("data/parcours") == 0) ui_course_set_list_fill();
    _chdir(g_start_dir);
}

void menu_course_set_switch_source(void)
{
    g_set_source_personal = g_set_source_personal ? 0 : 1;
    g_course_set_is_personal = g_set_source_personal;
    menu_course_set_list_fill(g_set_source_personal);
    start_list();
    app_trace("set source %s list %d", g_set_source_personal ? "personal" : "shipped", g_course_set_count);
    // The other source's thumbnails and lines go even when this one has no set to show.
    menu_course_set_load_preview(0);
}

void menu_course_set_leave(void)
{
    g_set_screen_ready = 0;
    app_trace("thumbnails released %d", menu_course_set_release_thumbnails());
}
