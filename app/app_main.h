// The top floor: the process entry and the game's whole life once the window exists.
#pragma once

#include "platform/window.h"

#include <cstddef>

// 0 when the game ran; 1 when its window could not be opened.
int WinMain(HINSTANCE instance, HINSTANCE previous, char *command_line, int show);

// Start-up, the main loop over the screens and shut-down.
void app_game_main(void);

// The first display adapter's description, empty when it cannot be found.
void app_display_adapter_name(char *out, size_t size);
