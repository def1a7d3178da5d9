// Sound effects: the process's one audio device and up to 512 effects, each a static buffer of
// 16-bit mono samples at 44100 Hz, loaded from Ogg Vorbis or WAV files and played, looped, stopped
// and attenuated. All calls run on the main thread; the music player makes its stream buffer on the
// same device.
#pragma once

#include "platform/audio.h"

#include <cstdint>

#define SOUND_SLOT_COUNT 512

// One loaded effect; the loader's caller owns it until sound_release_buffer or the shut-down.
struct SoundEffect {
    int32_t slot;
    IDirectSoundBuffer *buffer;
    IDirectSoundBuffer8 *buffer8;  // the same buffer; every call goes through it
};

// The device while one is open, else null.
extern IDirectSound8 *g_sound_device;
// 1 once sound_init_system has succeeded; never cleared.
extern int32_t g_sound_enabled;

// Opens the device on the window: 1 when it is open, 0 when not (no device is normal: run silent).
int32_t sound_init_system(HWND window);
// Releases every effect still in a slot, in slot order, then the device.
void sound_shutdown_system(void);
int32_t sound_open_device(HWND window);
void sound_release_device(void);
// Enumeration callback: counts the entries that carry a device id. Always TRUE.
BOOL sound_count_device_callback(GUID *device, const char *description, const char *module, void *context);

// A new effect of `bytes` bytes in the first free slot; null when no slot is free, no device is
// open or the buffer cannot be made (0 bytes among others).
SoundEffect *sound_create_buffer(int32_t bytes);
// Copies `bytes` bytes of samples into the effect from its start (at most its size).
void sound_fill_buffer(SoundEffect *effect, const void *samples, int32_t bytes);
// Frees the slot, the buffer and the record; null is accepted.
void sound_release_buffer(SoundEffect *effect);

// Stop, then Play from the buffer's position: a finished one-shot starts again from its start, a
// still playing effect goes on. Nothing while no device was ever opened; null is accepted.
void sound_play_effect(SoundEffect *effect, int32_t loop);
void sound_stop_effect(SoundEffect *effect);
// Attenuation (1 - volume) x -10000 hundredths of a decibel; volume is 0 to 1.
void sound_set_effect_volume(SoundEffect *effect, float volume);

// Loads an effect: Ogg Vorbis first, else a PCM WAV file (8- or 16-bit); several channels are
// averaged into one and other rates brought to 44100 Hz. Null when the file is missing, truncated
// or unusable (compressed WAV data among others, with a line in the log), or when sound is off.
SoundEffect *sound_load_effect(const char *path);
// The file's Ogg Vorbis stream decoded whole to signed 8-bit samples, channels interleaved
// (g_ogg_sample_count x the larger of g_ogg_channel_count and 2 bytes, the caller frees with free());
// null when it is not Ogg Vorbis or decoding fails. Sets the three g_ogg_ values.
int8_t *sound_decode_ogg_file(const char *path);
// An effect from a WAV file: its "fmt " and "data" chunks found among any others, brought to mono.
SoundEffect *sound_load_wav(const char *path);
// Linear resampling of `count` samples at `rate` to 44100 Hz into a new buffer (free()) of
// g_resampled_sample_count samples; null for a rate below 1 or fewer than two samples.
int16_t *sound_resample_to_44100(const int16_t *samples, int32_t count, int32_t rate);

extern int32_t g_ogg_sample_count;
extern int32_t g_ogg_channel_count;
extern int32_t g_ogg_sample_rate;
extern int32_t g_resampled_sample_count;
