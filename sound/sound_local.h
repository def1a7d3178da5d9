// Internals of the sound effects: the slot table and the loaders' stream forms.
#pragma once

#include "sound/sound.h"

#include <cstdio>

// The longest effect a loader accepts: ten minutes at 44100 Hz. Longer claims in a file are taken
// as damage, not as sound.
#define SOUND_MAX_SAMPLES (600 * 44100)

// Devices counted by the last enumeration.
extern int32_t g_sound_device_count;
// 1 marks a slot in use; the slot table keeps a second, non-owning pointer to each effect.
extern int32_t g_sound_slot_in_use[SOUND_SLOT_COUNT];
extern SoundEffect *g_sound_slots[SOUND_SLOT_COUNT];

// The loaders on an open file. Both take the file and close it, whatever the outcome; `name` names
// the file in the log.
int8_t *sound_decode_ogg_stream(FILE *file);
SoundEffect *sound_load_wav_stream(FILE *file, const char *name);
// The effect of sound_decode_ogg_stream's data, which it frees: down-mixed, brought to 44100 Hz.
SoundEffect *sound_effect_from_ogg(int8_t *decoded);
