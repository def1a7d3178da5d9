// The play screen. Until it lands, choosing a course set comes straight back to the main menu.
#include "course/course.h"
#include "game/menus.h"
#include "game/screen.h"

void course_play_screen(void)
{
    app_trace("course play %s", g_course_set_folder);
    g_screen_state = kScreenMainMenu;
}
