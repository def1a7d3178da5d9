// The game's sounds (see sounds.h).
#include "game/sounds.h"

#include "game/app.h"
#include "game/widgets.h"
#include "sound/music.h"
#include "sound/sound.h"

SoundEffect *g_game_sounds[kGameSoundCount];
int32_t g_music_menu = -1;
int32_t g_music_game[3] = {-1, -1, -1};

namespace {

const char *const EFFECT_FILES[kGameSoundCount] = {
    "data/sound/son1.ogg",         "data/sound/son2.ogg",       "data/sound/hit.ogg",
    "data/sound/tok.ogg",          "data/sound/jingle.ogg",     "data/sound/jingle_start.ogg",
    "data/sound/jingle_end.ogg",   "data/sound/jingle_lost.ogg", "data/sound/plouf.ogg",
    "data/sound/wind.ogg",         "data/sound/windloop.ogg",   "data/sound/bird1.ogg",
    "data/sound/bird2.ogg",        "data/sound/crickets.ogg",
};

void forget_handles()
{
    for (SoundEffect *&effect : g_game_sounds) effect = nullptr;
    g_sound_click = g_sound_tok = nullptr;
    g_music_menu = -1;
    for (int32_t &index : g_music_game) index = -1;
}

}  // namespace

void app_load_sounds(void)
{
    g_music_menu = music_load_module("data/sound/menu.zik");
    for (int32_t &index : g_music_game) index = music_load_module("data/sound/music1.zik");
    for (int i = 0; i < kGameSoundCount; i++) g_game_sounds[i] = sound_load_effect(EFFECT_FILES[i]);
    for (int i = kSoundWind; i <= kSoundBird2; i++) sound_set_effect_volume(g_game_sounds[i], 0.9f);
    g_sound_click = g_game_sounds[kSoundClick];
    g_sound_tok = g_game_sounds[kSoundTok];
}

int app_sound_start(void)
{
    forget_handles();
    // Anything but 1 is a failure: no device is normal, and the game runs silent.
    if (sound_init_system(g_hwnd) != 1) return 0;
    music_reset_player();
    app_load_sounds();
    music_set_loop(1);
    music_set_fade_mode(3);
    music_start_playback();
    return 1;
}

void app_sound_stop(void)
{
    music_stop_playback();
    sound_shutdown_system();
    forget_handles();
}

void app_music_select(int32_t index)
{
    if (index >= 0) music_select_module(index);
}
