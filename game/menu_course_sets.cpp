// The course-set selection (state 2). Until it lands it offers only the way back.
#include "game/menus.h"
#include "game/screen.h"
#include "game/widgets.h"
#include "script/config_main.h"

char g_course_set_folder[1024];

void menu_course_set_screen(void)
{
    if (menu_take_click(menu_text_button(menu_text(MENU_RETOUR), 810.0f))) g_screen_state = kScreenPlayMenu;
}

void menu_course_set_leave(void) {}
