// The options screens. Until they land, each offers only the way back.
#include "game/menus.h"
#include "game/screen.h"
#include "game/widgets.h"
#include "script/config_main.h"

void menu_options_screen(void)
{
    if (menu_take_click(menu_text_button(menu_text(MENU_RETOUR), 535.0f))) g_screen_state = kScreenMainMenu;
}

int menu_ingame_options_screen(void) { return menu_take_click(menu_text_button(menu_text(MENU_RETOUR), 647.0f)); }
