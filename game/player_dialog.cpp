// The player dialog of the play menu: the player files as rows, an avatar picker, the typed name
// of a new player, SELECT and RETOUR.
#include "game/player_dialog.h"

#include "game/app.h"
#include "game/dialog.h"
#include "game/files.h"
#include "game/font.h"
#include "game/menu_pictures.h"
#include "game/screen.h"
#include "game/text_entry.h"
#include "game/ui.h"
#include "game/widgets.h"
#include "platform/system.h"
#include "render/render_draw.h"
#include "script/config_main.h"

#include <cstdio>
#include <cstring>

int32_t g_player_dialog_state;
int32_t g_player_dialog_target = 1;
int32_t g_player_dialog_ready;
int32_t g_player_avatar;
int32_t g_player_dialog_message = -1;

namespace {

const int32_t kNameMax = 16;
const int32_t kAvatarLast = 5;
const float kErrorColour[3] = {1.0f, 0.35f, 0.3f};

// Advanced once a frame while the dialog runs: the caret shows while it is 5 or less.
int32_t caret_blink;

int32_t clamp_avatar(int32_t avatar) { return avatar < 0 ? 0 : (avatar > kAvatarLast ? kAvatarLast : avatar); }

PlayerRecord &target_record() { return g_player_record[g_player_dialog_target == 2 ? 1 : 0]; }

// Pixels from the box's top-left, in units of g_ui_scale_x.
float at_x(float units) { return g_dialog_x + units * g_ui_scale_x; }
float at_y(float units) { return g_dialog_y + units * g_ui_scale_x; }

struct Hover {
    DialogHover frame;
    int32_t row;
    bool avatar_down, avatar_up, select, back;
};

void draw_avatar(void)
{
    RenderContext *c = &g_render_context;
    float side = 128.0f * g_ui_scale_x;
    render_set_mode(6, c, 1);
    texture_bind(c, kSlotAvatarFirst + clamp_avatar(g_player_avatar));
    render_draw_2d_quad_rgba(c, at_x(70), at_y(723), side, side, 0, 0, 1, 1, 1, 1, 1, g_ui_alpha);
}

void draw_name_line(void)
{
    char line[sizeof g_name_entry_text + 2];
    snprintf(line, sizeof line, caret_blink <= 5 ? "%s_" : "%s", g_name_entry_text);
    font_draw_text(&g_font_primary, (int32_t)at_x(290), (int32_t)at_y(730), line, g_ui_scale_x, g_menu_color[3],
                   g_menu_color[4], g_menu_color[5]);
    if (g_player_dialog_message >= 0) {
        float below = 1.2f * (float)g_font_primary.line_height;
        font_draw_text(&g_font_primary, (int32_t)at_x(290), (int32_t)at_y(730 + below),
                       menu_text(MenuText(g_player_dialog_message)), g_ui_scale_x, kErrorColour[0], kErrorColour[1],
                       kErrorColour[2]);
    }
}

Hover draw(void)
{
    Hover hover = {};
    hover.frame = ui_dialog_frame_draw(kPlayerDialogWidth, kPlayerDialogHeight, menu_text(MENU_DEFJOUEUR));
    hover.row = ui_dialog_rows_draw_names(kPlayerDialogWidth);
    draw_avatar();
    hover.avatar_down = ui_list_page_up_button(at_x(35), at_y(771));
    hover.avatar_up = ui_list_page_down_mirrored_button(at_x(233), at_y(771));
    draw_name_line();
    hover.select = ui_dialog_text_button(menu_text(MENU_SELECT), at_x(kPlayerDialogWidth / 3), at_y(900));
    hover.back = ui_dialog_text_button(menu_text(MENU_RETOUR), at_x(2 * kPlayerDialogWidth / 3), at_y(900));
    return hover;
}

// The row's player becomes the choice: its name into the name line, its avatar shown.
void choose_row(int32_t n)
{
    size_t length = strcspn(g_file_names[n], ".");
    if (length >= sizeof g_name_entry_text) length = sizeof g_name_entry_text - 1;
    memcpy(g_name_entry_text, g_file_names[n], length);
    g_name_entry_text[length] = '\0';
    g_name_entry_length = (int32_t)length;
    snprintf(g_player_dialog_file, sizeof g_player_dialog_file, "%s", g_file_names[n]);
    PlayerRecord record;
    if (player_record_load(&record, g_player_dialog_file)) g_player_avatar = clamp_avatar(record.avatar);
}

bool player_file_exists(const char *file_name)
{
    char path[FOLDER_PATH_MAX + 80];
    snprintf(path, sizeof path, "%s%s", g_players_folder, file_name);
    FILE *file = sys_fopen(path, "rb");
    if (!file) return false;
    fclose(file);
    return true;
}

// SELECT with no row chosen: the typed name's file when it exists (its player is never
// overwritten), else a new player written for it. False, with the message set, when it cannot be.
bool choose_typed_name(void)
{
    char file_name[sizeof g_name_entry_text + 8];
    snprintf(file_name, sizeof file_name, "%s.dat", g_name_entry_text);
    if (!player_name_is_safe(g_name_entry_text)) {
        g_player_dialog_message = MENU_ERR5;
        return false;
    }
    if (!player_file_exists(file_name)) {
        PlayerRecord record;
        memset(&record, 0, sizeof record);
        snprintf(record.name, sizeof record.name, "%s", g_name_entry_text);
        record.avatar = (int16_t)clamp_avatar(g_player_avatar);
        record.marker = PLAYER_MARKER_REAL;
        if (!player_record_save(&record)) {
            g_player_dialog_message = MENU_ERR3;
            return false;
        }
    }
    snprintf(g_player_dialog_file, sizeof g_player_dialog_file, "%s", file_name);
    return true;
}

void select_pressed(void)
{
    if (!g_player_dialog_file[0]) {
        if (g_name_entry_length <= 0 || !g_name_entry_text[0]) {
            g_player_dialog_state = -1;
            return;
        }
        if (!choose_typed_name()) {
            app_trace("player refused");
            return;
        }
    }
    g_player_dialog_state = 0;
    app_trace("player chosen %s", g_player_dialog_file);
}

void handle_press(const Hover &hover)
{
    if (hover.row >= 0) {
        ui_play_click_sound();
        choose_row(hover.row);
    } else if (hover.avatar_down || hover.avatar_up) {
        ui_play_click_sound();
        g_player_avatar = clamp_avatar(g_player_avatar + (hover.avatar_up ? 1 : -1));
    } else if (hover.select) {
        ui_play_click_sound();
        select_pressed();
    } else if (hover.back) {
        ui_play_click_sound();
        g_player_dialog_state = -1;
    }
}

}  // namespace

void player_dialog(void)
{
    if (!g_player_dialog_ready) {
        g_player_avatar = 0;
        g_player_dialog_ready = 1;
        g_player_avatar = clamp_avatar(target_record().avatar);
        g_player_dialog_message = -1;
        caret_blink = 0;
    }
    if (++caret_blink > 10) caret_blink = 0;

    Hover hover = draw();

    if (g_key_printable || g_mouse_left_down == 1) g_player_dialog_message = -1;
    ui_dialog_wheel();
    if (ui_dialog_take_press(&hover.frame)) handle_press(hover);
    ui_dialog_drag_step();
    if (g_key_printable) {
        ui_text_entry_key(g_key_char, &g_name_entry_length, g_name_entry_text, kNameMax, sizeof g_name_entry_text);
        g_key_printable = 0;
    }

    if (g_player_dialog_state <= 0) g_player_dialog_ready = 0;
    g_mouse_prev_x = g_mouse_x;
    g_mouse_prev_y = g_mouse_y;
}
