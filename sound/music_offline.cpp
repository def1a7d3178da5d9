// The player run without threads or device, for the data tools and their tests: the tuning of a
// note and a whole module rendered into memory.
#include "sound/music_local.h"

#include <algorithm>
#include <cstring>

double music_xm_note_rate(int32_t note, int32_t relative_note, int32_t finetune)
{
    return music_convert_period_to_frequency(music_compute_note_period(note + relative_note, finetune));
}

int32_t music_render_offline(int32_t index, int16_t *out, int32_t frames, MusicOfflineTick *ticks,
                             int32_t max_ticks)
{
    if (!out || index < 0 || index >= g_music_module_count || index >= MUSIC_MAX_MODULES || !g_music_modules[index])
        return -1;
    // With the table marked empty the mixer neither switches modules nor restarts the song at its
    // end, so the song-end flag stays raised for the caller to see.
    int32_t loaded = g_music_module_loaded.exchange(0);
    int32_t fade = g_music_fade_mode.exchange(-1);
    int32_t next = g_music_next_module.exchange(-1);
    float volume = g_music_volume.exchange(1.0f);
    int32_t previous_index = g_music_current_index;
    MusicModule *previous = g_music_current_module;
    bool own_clip_table = !g_music_clip_table;
    music_build_period_table();
    g_music_current_index = index;
    g_music_current_module = g_music_modules[index];
    music_begin_module();
    g_music_buffered_frames = 0;

    int32_t ended = -1, done = 0, tick = 0;
    while (done < frames) {
        // A whole tick at a time, so that each tick's position and the song's end are seen.
        int32_t n = g_music_buffered_frames > 0 ? g_music_buffered_frames : g_music_samples_per_tick;
        n = std::min({n, frames - done, int32_t(MUSIC_BLOCK_FRAMES)});
        if (g_music_buffered_frames < n) {
            if (ticks && tick < max_ticks) ticks[tick] = {g_music_order_position, g_music_row};
            tick++;
        }
        const int16_t *block = music_render(n);
        memcpy(out + 2 * size_t(done), block, sizeof(int16_t) * 2 * size_t(n));
        done += n;
        if (ended < 0 && g_music_song_ended == 1) ended = done + g_music_buffered_frames;
    }

    g_music_current_module = previous;
    g_music_current_index = previous_index;
    g_music_buffered_frames = 0;
    g_music_module_loaded = loaded;
    g_music_fade_mode = fade;
    g_music_next_module = next;
    g_music_volume = volume;
    if (own_clip_table) music_free_clip_table();
    return ended;
}
