// The play menu (state 1). Until the player dialog lands it offers only the way back.
#include "game/menus.h"
#include "game/screen.h"
#include "game/widgets.h"
#include "script/config_main.h"

void menu_play_screen(void)
{
    if (menu_take_click(menu_text_button(menu_text(MENU_RETOUR), 647.0f))) g_screen_state = kScreenMainMenu;
}
