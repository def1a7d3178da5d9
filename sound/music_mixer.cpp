// The mixer: the commands, the fade and the module switch or song end between ticks, and the sum
// of the channel buffers into one block of stereo frames, saturated after every channel.
#include "sound/music_local.h"

#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Commands: set by the main thread at any time, read by the thread that renders.
std::atomic<int32_t> g_music_fade_mode{-1};
std::atomic<float> g_music_fade_step{0.1f};
std::atomic<int32_t> g_music_next_module{-1};
std::atomic<int32_t> g_music_loop{0};

// Whole playback: the saturation table (start to stop) and the block in flight.
int16_t *g_music_clip_table;
int16_t g_music_output_block[2 * MUSIC_BLOCK_FRAMES];

namespace {

int32_t clamp(int32_t value, int32_t low, int32_t high) { return value < low ? low : value > high ? high : value; }

// One tick's worth of the fade command. A completed command is cleared only when the main thread
// has not given a new one meanwhile.
void apply_fade(void)
{
    int32_t mode = g_music_fade_mode.load(std::memory_order_acquire);
    float volume = g_music_volume.load(std::memory_order_relaxed);
    bool done = false;
    switch (mode) {
    case 1:
        volume = volume - g_music_fade_step.load(std::memory_order_relaxed);
        if (volume < 0.0f) {
            volume = 0.0f;
            done = true;
        }
        break;
    case 2:
        volume = volume + g_music_fade_step.load(std::memory_order_relaxed);
        if (volume > 1.0f) {
            volume = 1.0f;
            done = true;
        }
        break;
    case 3:
        volume = 0.0f;
        done = true;
        break;
    case 4:
        volume = 1.0f;
        done = true;
        break;
    default: break;
    }
    if (volume > 1.0f) volume = 1.0f;
    g_music_volume.store(volume, std::memory_order_relaxed);
    if (done) g_music_fade_mode.compare_exchange_strong(mode, -1, std::memory_order_acq_rel);
}

// Makes a table entry the current module, from its start.
void make_current(int32_t index)
{
    g_music_current_index = index;
    g_music_current_module = index >= 0 && index < MUSIC_MAX_MODULES ? g_music_modules[index] : nullptr;
    music_begin_module();
}

// The selected module becomes current; false when nothing (or nothing valid) is selected. The
// selection is taken and cleared in one step, so that a newer one is never lost.
bool switch_module(void)
{
    if (g_music_module_loaded != 1 || g_music_next_module.load(std::memory_order_acquire) == -1) return false;
    int32_t next = g_music_next_module.exchange(-1, std::memory_order_acq_rel);
    if (next < 0 || next >= g_music_module_count || next >= MUSIC_MAX_MODULES || !g_music_modules[next]) return false;
    make_current(next);
    return true;
}

// The song has passed its end: the same module again, or the next one of the table.
void end_song(void)
{
    int32_t index = g_music_current_index;
    if (g_music_loop.load(std::memory_order_relaxed) != 1) {
        index++;
        if (index >= g_music_module_count || index >= MUSIC_MAX_MODULES) index = 0;
    }
    make_current(index);
}

// A module with more channels than the one before brings in channel buffers that hold frames of
// an earlier module: the frames already buffered there become silence.
void clear_new_channels(int32_t old_count)
{
    for (int32_t c = clamp(old_count, 0, MUSIC_CHANNELS); c < g_music_channel_count && c < MUSIC_CHANNELS; c++)
        memset(g_music_channel_buffers[c], 0, sizeof(int16_t) * 2 * size_t(g_music_buffered_frames));
}

// Runs ticks until `frames` frames are buffered in every channel.
void fill_channels(int32_t frames)
{
    while (g_music_buffered_frames < frames) {
        int32_t before = g_music_buffered_frames;
        apply_fade();
        MusicModule *module = g_music_current_module;
        if (module && module->type == 0) music_tick_mod(module);
        else music_tick_xm(module);
        int32_t count = g_music_channel_count;
        if (switch_module()) {
            clear_new_channels(count);
        } else if (g_music_module_loaded == 1 && g_music_song_ended == 1) {
            end_song();
            clear_new_channels(count);
        }
        if (g_music_buffered_frames <= before) {
            // A tick that renders nothing would never fill the block: the rest is silence.
            for (int32_t c = 0; c < MUSIC_CHANNELS; c++) music_render_silence(c, frames - g_music_buffered_frames);
            g_music_buffered_frames = frames;
        }
    }
}

// The sum of the channels' values from `start` to `end`, saturated through the clip table after
// each channel in channel order.
void mix_values(int32_t start, int32_t end, int32_t count)
{
    const int16_t *clip = g_music_clip_table + 65536;
    for (int32_t i = start; i < end; i++) {
        int32_t sum = 0;
        for (int32_t c = 0; c < count; c++) sum = clip[sum + g_music_channel_buffers[c][i]];
        g_music_output_block[i] = int16_t(sum);
    }
}

#if defined(__SSE2__)
// The same sums eight values at a time: a 16-bit saturating add stops at -32768..32767, and the
// maximum with -32767 then gives the same range. Returns the values done.
int32_t mix_values_wide(int32_t values, int32_t count)
{
    const __m128i lowest = _mm_set1_epi16(-32767);
    int32_t i = 0;
    for (; i + 8 <= values; i += 8) {
        __m128i sum = _mm_setzero_si128();
        for (int32_t c = 0; c < count; c++) {
            __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i *>(g_music_channel_buffers[c] + i));
            sum = _mm_max_epi16(_mm_adds_epi16(sum, in), lowest);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i *>(g_music_output_block + i), sum);
    }
    return i;
}
#else
int32_t mix_values_wide(int32_t, int32_t) { return 0; }
#endif

// The channel buffers' first `values` values summed into the block.
void mix_channels(int32_t values)
{
    int32_t count = clamp(g_music_channel_count, 0, MUSIC_CHANNELS);
    mix_values(mix_values_wide(values, count), values, count);
}

}  // namespace

// ---- commands -----------------------------------------------------------------------------------

void music_set_fade_mode(int32_t mode) { g_music_fade_mode.store(mode, std::memory_order_release); }
void music_select_module(int32_t index) { g_music_next_module.store(index, std::memory_order_release); }
void music_set_fade_step(float step) { g_music_fade_step.store(step, std::memory_order_relaxed); }
void music_set_loop(int32_t flag) { g_music_loop.store(flag, std::memory_order_relaxed); }

// ---- rendering ----------------------------------------------------------------------------------

void music_begin_module(void)
{
    g_music_tick_rate = 50.0f;
    g_music_samples_per_tick = 882;
    music_reset_channels();
    g_music_speed = 6;
    MusicModule *module = g_music_current_module;
    if (module && module->type == 1) {
        g_music_speed = module->default_speed;
        music_set_tempo(module->default_bpm);
    }
    g_music_song_ended = 0;
    g_music_order_position = 0;
    g_music_row = 0;
    g_music_tick = 0;
}

int16_t *music_render(int32_t frames)
{
    int32_t n = clamp(frames, 0, MUSIC_BLOCK_FRAMES);
    // Playback builds the table before its threads start; an offline render builds it here.
    if (!g_music_clip_table) music_build_clip_table();
    if (!g_music_clip_table) {
        memset(g_music_output_block, 0, sizeof g_music_output_block);
        return g_music_output_block;
    }
    MusicModule *module = g_music_current_module;
    g_music_channel_count = module ? clamp(module->channel_count, 0, MUSIC_CHANNELS) : 0;
    fill_channels(n);
    mix_channels(2 * n);

    // The frames past the block stay for the next call.
    int32_t kept = 2 * (g_music_buffered_frames - n);
    for (int32_t c = 0; c < g_music_channel_count && kept > 0; c++)
        memmove(g_music_channel_buffers[c], g_music_channel_buffers[c] + 2 * n, sizeof(int16_t) * size_t(kept));
    g_music_buffered_frames = g_music_buffered_frames - n < 0 ? 0 : g_music_buffered_frames - n;
    return g_music_output_block;
}

void music_build_clip_table(void)
{
    if (!g_music_clip_table) g_music_clip_table = new (std::nothrow) int16_t[MUSIC_CLIP_ENTRIES];
    if (!g_music_clip_table) {
        fprintf(stderr, "music: no memory for the clip table\n");
        return;
    }
    for (int32_t j = 0; j < MUSIC_CLIP_ENTRIES; j++) g_music_clip_table[j] = int16_t(clamp(j - 65536, -32767, 32767));
}

void music_free_clip_table(void)
{
    delete[] g_music_clip_table;
    g_music_clip_table = nullptr;
}
