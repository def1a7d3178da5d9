// The options screens' own state and the sound-output switch they share. Main thread.
#pragma once

#include <cstdint>

// The theme index when the options screen was entered, or -1: leaving with another one reloads the
// menu theme.
extern int32_t g_options_entry_theme;
// The reload the options screen calls (menu_theme_reload; tests count the calls through it).
extern void (*g_options_theme_reload)(void);

// Sound output off (music stopped, device closed) or on (device opened, every sound loaded again,
// the game module of g_music_track playing); a start that fails leaves it off. Saves the options.
void menu_sound_output_switch(void);
