// The list dialogs' shared state and the player lister (see dialog.h).
#include "game/dialog.h"

#include "game/files.h"
#include "game/ui.h"
#include "game/widgets.h"
#include "platform/system.h"

#include <cstring>

int32_t g_dialog_scroll;
int32_t g_dialog_dragging;
char g_player_dialog_file[1024];

void ui_players_dialog_init(void)
{
    g_player_dialog_file[0] = '\0';
    char here[1024];
    bool back = _getcwd(here, sizeof here) != nullptr;
    g_file_count = 0;
    if (_chdir(g_players_folder) == 0) ui_file_list_fill("*.dat");
    if (back) _chdir(here);
    g_dialog_scroll = 0;
    g_dialog_x = 290.0f * g_ui_scale_x;
    g_dialog_y = 10.0f;
}
