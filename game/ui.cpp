// The interface globals, 1.0 until the game main sets them.
#include "game/ui.h"

float g_ui_scale_x = 1.0f;
float g_ui_scale_y = 1.0f;
float g_ui_alpha = 1.0f;
float g_text_alpha = 1.0f;
