// Internals of the music player shared by its files: period tables, module readers, channel
// state and the tick of each module type.
#pragma once

#include "platform/audio.h"
#include "sound/music.h"

#include <cstdio>

#define MUSIC_CHANNEL_BUFFER_FRAMES 15947
#define MUSIC_CHANNEL_BUFFER_VALUES (2 * MUSIC_CHANNEL_BUFFER_FRAMES)
#define MUSIC_NO_NOTE 65535
#define MUSIC_KEY_OFF 97

// ---- period tables ------------------------------------------------------------------------------

// Periods in 1/8 semitone steps, indexed from -8 to 96.
extern const int32_t *const g_music_octave_periods;
// 16 finetune rows (finetune 8r - 64 in 1/128 semitone) of 120 entries, notes 0 to 107 filled.
extern int32_t g_music_period_table[16][120];

void music_build_period_table(void);
// Period of a note (0 and up) at a finetune in 1/128 semitone; the note is clamped to 0 to 119
// and the finetune to -128 to 127.
int32_t music_compute_note_period(int32_t note, int32_t finetune);
// 28634112 / period: the XM player's frequency (0 for no period).
double music_convert_period_to_frequency(int32_t period);
int32_t music_compute_abs(int32_t value);

// ---- loading (each reader returns 1, or 0 when the file is cut short or corrupt) -------------

int32_t music_add_xm_module(const char *path);
int32_t music_add_mod_module(const char *path);
int32_t music_check_xm_file(const char *path);

int32_t music_load_xm(FILE *file, MusicModule *module);
int32_t music_load_mod(FILE *file, MusicModule *module);
int32_t music_read_xm_pattern(FILE *file, MusicModule *module, int32_t pattern);
int32_t music_read_xm_instrument(FILE *file, MusicModule *module, int32_t instrument);
int32_t music_read_xm_sample_header(FILE *file, MusicModule *module, MusicSample *sample, int32_t header_size);
int32_t music_read_xm_sample_data(FILE *file, MusicModule *module, MusicSample *sample);
int32_t music_read_mod_sample_header(FILE *file, MusicModule *module, int32_t sample);
int32_t music_read_mod_pattern(FILE *file, MusicModule *module, int32_t pattern, int32_t channel_count);
int32_t music_read_mod_sample_data(FILE *file, MusicModule *module, int32_t sample);

// ---- playback -----------------------------------------------------------------------------------

// State of one module channel. Owned, like the song position below, by the thread that renders.
struct MusicChannel {
    int32_t period;            // base period, 0 = silent
    int32_t effective_period;  // after vibrato and arpeggio
    int32_t tremolo_depth, tremolo_speed;
    int32_t sample;  // MOD sample number or XM instrument number
    float position;  // in source samples
    int32_t raw_period;
    int32_t volume;
    int32_t volume_slide, fine_volume_slide;
    int32_t note_cut_tick;  // -1 none
    int32_t note;
    int32_t finetune;  // MOD: finetune row; XM: the sample's finetune
    int32_t vibrato_depth, vibrato_speed, vibrato_position;
    int32_t tremolo_position;
    int32_t arpeggio_counter, arpeggio_x, arpeggio_y;
    int32_t porta_up_speed, porta_down_speed;
    int32_t tone_porta_speed, tone_porta_target;
    int32_t note_delay_tick;  // -1 none
    int32_t delayed_volume;
    float delayed_position;
    int32_t delayed_period;
    // XM only
    int32_t fade_level, fade_step;
    int32_t pattern_note;
    int32_t sample_index;
    int32_t volume_envelope_tick, panning_envelope_tick;
};

extern MusicChannel g_music_channels[MUSIC_CHANNELS];
extern float g_music_channel_pans[MUSIC_CHANNELS];  // share of a channel that goes left

// Song position of the current module.
extern int32_t g_music_speed;  // ticks per row
extern int32_t g_music_tick;
extern int32_t g_music_row;
extern int32_t g_music_order_position;
extern int32_t g_music_pattern_delay;
extern int32_t g_music_pattern_loop_row;
extern int32_t g_music_pattern_loop_count;

// What the ticks render into: interleaved stereo frames per module channel, not yet mixed.
extern int16_t g_music_channel_buffers[MUSIC_CHANNELS][MUSIC_CHANNEL_BUFFER_VALUES];
extern int32_t g_music_buffered_frames;
extern float g_music_tick_rate;           // ticks per second, 50.0 at start
extern int32_t g_music_samples_per_tick;  // frames per tick, 882 at start
extern int32_t g_music_channel_count;
// Master volume 0 to 1, changed by the fade commands once per tick.
extern std::atomic<float> g_music_volume;

void music_reset_channels(void);
void music_tick_mod(MusicModule *module);
void music_tick_xm(MusicModule *module);
// Tick rate BPM x 2 x 0.2f (product in double, stored as float) and frames per tick 44100 over
// the double product, truncated: 881 at 125, 734 at 150.
void music_set_tempo(int32_t bpm);

// Frames of one channel for one tick at the buffered frame: silence, or a sample played from the
// channel's position with a step in source samples per frame, a gain and the left share of it.
// A sample without a loop that runs out stops the channel (period 0).
void music_render_silence(int32_t channel, int32_t frames);
void music_render_channel(int32_t channel, const MusicSample *sample, double step, double gain, float pan,
                          int32_t frames, int32_t xm);

// Envelopes of the current module's instrument (1 to 128) at an envelope tick; 0 for an
// instrument that does not exist.
double music_eval_volume_envelope(int32_t instrument, int32_t tick);
double music_eval_volume_envelope_sustain(int32_t instrument, int32_t tick);
double music_eval_volume_envelope_loop(int32_t instrument, int32_t tick);
double music_eval_panning_envelope(int32_t instrument, int32_t tick);
double music_eval_panning_envelope_sustain(int32_t instrument, int32_t tick);
double music_eval_panning_envelope_loop(int32_t instrument, int32_t tick);

// The same on 12 points; point numbers are clamped to 0 to 11.
double music_envelope_plain(const MusicEnvelopePoint *points, int32_t tick);
double music_envelope_sustain(const MusicEnvelopePoint *points, int32_t sustain, int32_t tick);
double music_envelope_loop(const MusicEnvelopePoint *points, int32_t loop_start, int32_t loop_end, int32_t tick);

// The cell of a channel at a row of the pattern that an order entry names; an empty cell for a
// missing pattern, row or column.
const MusicCell *music_cell_at(const MusicModule *module, int32_t order_position, int32_t row, int32_t channel);
// Rows of the pattern that an order entry names (64 for a missing pattern).
int32_t music_row_count_at(const MusicModule *module, int32_t order_position);

// ---- mixer, stream and threads ------------------------------------------------------------------

#define MUSIC_BLOCK_FRAMES 3528                        // rendered and written at a time (80 ms)
#define MUSIC_BLOCK_BYTES (4 * MUSIC_BLOCK_FRAMES)     // 14112
#define MUSIC_RING_FRAMES (8 * MUSIC_BLOCK_FRAMES)     // the looping stream buffer (640 ms)
#define MUSIC_RING_BYTES (4 * MUSIC_RING_FRAMES)       // 112896
#define MUSIC_CLIP_ENTRIES 131072

// Whole playback (start to stop): the ring, its write cursor (stream thread), the saturation
// table, and the block that the two threads hand back and forth.
extern IDirectSoundBuffer8 *g_music_stream_buffer;
extern int32_t g_music_write_cursor;
extern int16_t *g_music_clip_table;  // entry j: j - 65536 held to -32767..32767
extern int16_t g_music_output_block[2 * MUSIC_BLOCK_FRAMES];

// Commands: written by the main thread, read once per tick by the thread that renders.
extern std::atomic<int32_t> g_music_fade_mode;  // -1 none
extern std::atomic<float> g_music_fade_step;
extern std::atomic<int32_t> g_music_next_module;  // -1 none
extern std::atomic<int32_t> g_music_loop;

// Thread control. The block belongs to the stream thread while ready is 1, to the mix thread while
// the request is 1; each flag is stored with release and read with acquire, so the block's frames
// and the player's state travel with it.
extern std::atomic<int32_t> g_music_block_ready;
extern std::atomic<int32_t> g_music_render_request;
extern std::atomic<int32_t> g_music_quit;
extern std::atomic<int32_t> g_music_threads_ended;
extern HANDLE g_music_stream_thread;
extern HANDLE g_music_mix_thread;

// The current module from its start: tempo 50 ticks per second (882 frames) or the XM module's
// own speed and BPM, channels reset, position 0, song end cleared.
void music_begin_module(void);
// Renders n frames (at most one block) of the current module into g_music_output_block, ticking
// as needed and keeping the frames left over for the next call; returns the block.
int16_t *music_render(int32_t frames);
void music_build_clip_table(void);
void music_free_clip_table(void);

// The ring for `frames` frames on the sound device, cleared, write cursor 0; 1, or 0 when it cannot
// be made.
int32_t music_create_stream_buffer(int32_t frames);
// Waits until half the ring ahead of the write cursor has been played (or the player quits), then
// copies `bytes` bytes at the write cursor, wrapping, and advances the cursor.
void music_write_stream(const void *data, int32_t bytes);
void music_copy_bytes(void *destination, const void *source, int32_t bytes);
DWORD music_run_stream_thread(void *parameter);
DWORD music_run_mix_thread(void *parameter);
