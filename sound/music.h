// Music: tracker modules (XM and 31-sample ProTracker MOD) loaded into records and kept in a
// table in load order, for the player to render.
#pragma once

#include <atomic>
#include <cstdint>

#define MUSIC_CHANNELS 32
#define MUSIC_MAX_MODULES 64

// One pattern cell as loaded.
struct MusicCell {
    uint16_t note;       // 65535 none; XM 1 to 96 or 97 (key off); MOD index 0 to 107 in the period table
    uint8_t instrument;  // XM instrument or MOD sample number, 0 none
    uint16_t period;     // raw period of a MOD cell
    uint8_t volume;      // XM volume column, 0 when absent
    uint8_t effect;
    uint8_t parameter;
};

// Column c holds row_count cells of channel c; null for channels beyond the module's count.
struct MusicPattern {
    MusicCell *columns[MUSIC_CHANNELS];
    uint32_t row_count;
};

struct MusicEnvelopePoint {
    uint16_t position;  // ticks
    int16_t value;      // 0 to 64
};

struct MusicSample {
    char name[22];
    int32_t length;       // samples
    int32_t finetune;     // MOD -8 to 7, XM -128 to 127
    int32_t volume;       // 0 to 64
    int32_t loop_start;   // samples, within the data
    int32_t loop_length;  // samples; loop start + loop length never passes the length
    int32_t relative_note;
    int32_t loop_type;  // XM: 0 none, 1 forward, 2 ping-pong
    int32_t panning;    // XM: 0 to 255
    int16_t *data;      // null when the length is 0; MOD data carry 10 zero samples after the length
    int32_t is_16bit;
};

struct MusicInstrument {
    char name[22];
    int32_t sample_count;
    int32_t note_map[120];  // sample index for notes 1 to 96 at [note - 1]
    MusicEnvelopePoint volume_envelope[12];
    MusicEnvelopePoint panning_envelope[12];
    int32_t panning_point_count;
    int32_t volume_point_count;
    int32_t volume_sustain, volume_loop_start, volume_loop_end;  // point numbers 0 to 11
    int32_t panning_sustain, panning_loop_start, panning_loop_end;
    int32_t volume_type, panning_type;
    int32_t vibrato_type, vibrato_depth, vibrato_sweep, vibrato_rate;
    int32_t fadeout;
    MusicSample *samples;  // sample_count records, null when 0
};

struct MusicModule {
    int32_t type;           // 1 XM, 0 MOD
    int32_t channel_count;  // 1 to 32
    int32_t orders[256];
    int32_t pattern_count;
    MusicPattern *patterns;
    int32_t song_length;  // 0 to 256
    char name[20];
    MusicInstrument instruments[129];  // XM, 1 to instrument_count
    int32_t instrument_count;
    int32_t linear_frequency;
    MusicSample samples[32];  // MOD, 1 to 31
    int32_t restart_position;
    int32_t default_bpm;  // 32 to 255
    int32_t default_speed;
};

// The module table, filled on the main thread while the player is stopped. The current entry
// changes on the thread that renders.
extern MusicModule *g_music_modules[MUSIC_MAX_MODULES];
extern std::atomic<int32_t> g_music_module_count;
extern std::atomic<int32_t> g_music_current_index;
extern std::atomic<MusicModule *> g_music_current_module;
extern std::atomic<int32_t> g_music_module_loaded;  // 1 from the first addition on, never cleared
extern std::atomic<int32_t> g_music_song_ended;

// Empties the table (without freeing: stopping playback frees the modules) and builds the period
// table. Called before loading modules.
void music_reset_player(void);
// Loads an XM or MOD file (".zik") into the table; its index, or -1 when the file is missing,
// cut short or corrupt, or the table is full (nothing is added then).
int32_t music_load_module(const char *path);
// Frees a module and everything it holds; null is accepted.
void music_free_module(MusicModule *module);

// ---- the player (commands from the main thread; the music threads do the work) -----------------

// 1 between music_start_playback and music_stop_playback.
extern std::atomic<int32_t> g_music_running;

// Starts the two music threads streaming the current module through a looping buffer on the sound
// device. Nothing happens while playback runs already or when no device is open.
void music_start_playback(void);
// Ends both threads (resuming them first), frees every module of the table and the buffers. The
// table keeps its count with empty entries; nothing happens when playback is not running.
void music_stop_playback(void);
// Pause and go on with the two threads (the window being minimised, then active again); both
// accept a player that is not running.
void music_suspend_threads(void);
void music_resume_threads(void);
// Fade command read at the next tick: 1 fade out, 2 fade in (by the fade step per tick), 3
// silence, 4 full volume; -1 none. A command is cleared when it completes.
void music_set_fade_mode(int32_t mode);
// The module (table index) to switch to at the next tick; an index outside the table is ignored.
void music_select_module(int32_t index);
// Volume change per tick of a fade, 0.1 at start.
void music_set_fade_step(float step);
// 1: a song that ends starts again; otherwise the next module of the table follows.
void music_set_loop(int32_t flag);

// ---- for the data tools and their tests ---------------------------------------------------------

// The rate (source samples a second) at which the XM player steps a sample for a note (1 to 96)
// given the sample's relative note and finetune, from the player's own period functions: a sample
// rendered at this rate sounds at its own pitch when that note plays.
double music_xm_note_rate(int32_t note, int32_t relative_note, int32_t finetune);

// Where one tick of an offline render stood in the song.
struct MusicOfflineTick {
    int32_t order, row;
};

// Renders module `index` of the table from its start, alone, at full volume and without fades,
// into `frames` interleaved stereo frames (`out` holds 2 x frames values); at its end the song runs
// on from its first order. `ticks` (null for none) receives the position of each tick, up to
// `max_ticks`. Returns the frame at which g_music_song_ended was first raised, or -1 (also for an
// index without a module). Not while playback runs.
int32_t music_render_offline(int32_t index, int16_t *out, int32_t frames, MusicOfflineTick *ticks,
                             int32_t max_ticks);
