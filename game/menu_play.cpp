// The play menu (state 1): the two players, chosen through the player dialog it hosts, and the
// way on to the course sets.
#include "game/app.h"
#include "game/course_sets.h"
#include "game/dialog.h"
#include "game/file_dialogs.h"
#include "game/files.h"
#include "game/menus.h"
#include "game/player_dialog.h"
#include "game/screen.h"
#include "game/text_entry.h"
#include "game/widgets.h"
#include "platform/system.h"
#include "script/config_main.h"

#include <cstdio>

namespace {

enum PlayButton { kPlayStart, kPlayPlayer1, kPlayPlayer2, kPlayBack, kPlayButtonCount };

// The course sets of "data/parcours" for the next screen; the working folder ends at the start
// folder.
void start_course_sets(void)
{
    g_screen_state = kScreenCourseSets;
    menu_course_set_list_fill(0);
}

void open_player_dialog(int32_t target)
{
    ui_players_dialog_init();
    g_player_dialog_target = target;
    g_player_dialog_state = 1;
    g_name_entry_text[0] = '\0';
    g_name_entry_length = 0;
    app_trace("player dialog %d", target);
}

void buttons(void)
{
    // Room for the longest label the precisions allow: PLAYER, a number, the quoted name.
    char labels[2][sizeof g_player_record[0].name + 64];
    for (int i = 0; i < 2; i++)
        snprintf(labels[i], sizeof labels[i], "%.40s %d: %c%.1023s%c", menu_text(MENU_PLAYER), i + 1, '"',
                 g_player_record[i].name, '"');
    const char *texts[kPlayButtonCount] = {menu_text(MENU_JOUER), labels[0], labels[1], menu_text(MENU_RETOUR)};
    const float ys[kPlayButtonCount] = {512.0f, 557.0f, 602.0f, 647.0f};
    int hovered = -1;
    for (int b = 0; b < kPlayButtonCount; b++)
        if (menu_text_button(texts[b], ys[b])) hovered = b;
    if (!menu_take_click(hovered >= 0)) return;
    switch (hovered) {
    case kPlayStart:
        if (g_player_record[0].marker < 0) start_course_sets();
        break;
    case kPlayPlayer1: open_player_dialog(1); break;
    case kPlayPlayer2: open_player_dialog(2); break;
    case kPlayBack: g_screen_state = kScreenMainMenu; break;
    }
}

}  // namespace

void menu_play_screen(void)
{
    if (g_player_dialog_state <= 0 && g_load_dialog_open != 1) buttons();
    // Nothing in the menus sets the saved-game dialog's flag: it shows only when another screen did.
    if (g_load_dialog_open == 1) ui_saves_dialog();
    if (g_player_dialog_state > 0) {
        player_dialog();
        if (g_player_dialog_state == 0)
            player_record_load(&g_player_record[g_player_dialog_target == 2 ? 1 : 0], g_player_dialog_file);
    }
    g_mouse_prev_x = g_mouse_x;
    g_mouse_prev_y = g_mouse_y;
    if (g_player_dialog_state < 0) g_player_dialog_state = 0;
}
