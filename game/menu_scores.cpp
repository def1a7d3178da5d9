// The high scores (555) and the credits (4). Until they land, each offers only the way back.
#include "game/menus.h"
#include "game/screen.h"
#include "game/widgets.h"
#include "script/config_main.h"

void menu_high_scores_screen(void)
{
    if (menu_take_click(menu_text_button(menu_text(MENU_RETOUR), 976.0f))) g_screen_state = kScreenMainMenu;
}

void menu_high_scores_leave(void) {}

void menu_credits_screen(void)
{
    if (menu_take_click(menu_text_button(menu_text(MENU_RETOUR), 952.5f))) g_screen_state = kScreenMainMenu;
}
