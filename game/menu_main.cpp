// The main menu (state 0): six buttons, the later one winning where two overlap.
#include "game/dialog.h"
#include "game/menus.h"
#include "game/screen.h"
#include "game/widgets.h"
#include "script/config_main.h"

namespace {

struct MainButton {
    MenuText label;
    float virtual_y;
};

const MainButton BUTTONS[] = {
    {MENU_JOUER, 490.0f}, {MENU_EDITOR, 535.0f}, {MENU_SCORES, 580.0f},
    {MENU_OPTIONS, 625.0f}, {MENU_INFOS, 715.0f}, {MENU_QUITTER, 760.0f},
};

}  // namespace

void menu_main_screen(void)
{
    int hovered = -1;
    for (int i = 0; i < int(sizeof BUTTONS / sizeof BUTTONS[0]); i++)
        if (menu_text_button(menu_text(BUTTONS[i].label), BUTTONS[i].virtual_y)) hovered = i;
    if (!menu_take_click(hovered >= 0)) return;
    switch (BUTTONS[hovered].label) {
    case MENU_JOUER: g_screen_state = kScreenPlayMenu; break;
    // The editor's first frame starts its new course (game/ cannot reach the editor's model).
    case MENU_EDITOR: g_screen_state = kScreenEditor; break;
    case MENU_SCORES:
        ui_players_dialog_init();
        g_screen_state = kScreenHighScores;
        break;
    case MENU_OPTIONS: g_screen_state = kScreenOptions; break;
    case MENU_INFOS: g_screen_state = kScreenCredits; break;
    case MENU_QUITTER: g_quit_request = 1; break;
    default: break;
    }
}
