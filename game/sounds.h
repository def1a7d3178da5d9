// The game's sounds: the music modules and effects loaded whenever the sound output starts, and
// the starting and stopping of that output. Main thread.
#pragma once

#include <cstdint>

struct SoundEffect;

enum GameSound {
    kSoundClick,  // every menu click
    kSoundClick2,
    kSoundHit,
    kSoundTok,
    kSoundJingle,
    kSoundJingleStart,
    kSoundJingleEnd,
    kSoundJingleLost,
    kSoundPlouf,
    kSoundWind,  // the ambience: wind, its loop, two birds, crickets
    kSoundWindLoop,
    kSoundBird1,
    kSoundBird2,
    kSoundCrickets,
    kGameSoundCount
};

// Null while not loaded (sound off, or the file missing): playing null plays nothing.
extern SoundEffect *g_game_sounds[kGameSoundCount];
// Indices that music_load_module returned, -1 for a module that did not load.
extern int32_t g_music_menu;
extern int32_t g_music_game[3];

// Loads the modules and effects (the four first ambience effects at volume 0.9).
void app_load_sounds(void);
// Opens the device on the game's window, loads every sound and starts playback silent and
// looping. 1, or 0 when the device does not open (nothing loaded).
int app_sound_start(void);
// Stops the music, closes the device (which frees every effect) and forgets the handles.
void app_sound_stop(void);
// Selects a module by its kept index; -1 selects nothing.
void app_music_select(int32_t index);
