// Sound effects on the audio device: opening and closing it, the slot table, and the buffer calls.
#include "sound/sound.h"
#include "sound/sound_local.h"

#include <cmath>
#include <cstring>
#include <new>

// Whole run: the device and the slot table; the table's flags are cleared by each sound_init_system.
IDirectSound8 *g_sound_device;
int32_t g_sound_device_count;
int32_t g_sound_slot_in_use[SOUND_SLOT_COUNT];
SoundEffect *g_sound_slots[SOUND_SLOT_COUNT];
int32_t g_sound_enabled;

namespace {

// Every effect: 16-bit mono PCM at 44100 Hz.
WAVEFORMATEX effect_format()
{
    WAVEFORMATEX format;
    memset(&format, 0, sizeof format);
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = 44100;
    format.nAvgBytesPerSec = 88200;
    format.nBlockAlign = 2;
    format.wBitsPerSample = 16;
    format.cbSize = 0;
    return format;
}

int free_slot()
{
    for (int slot = 0; slot < SOUND_SLOT_COUNT; slot++)
        if (g_sound_slot_in_use[slot] != 1) return slot;
    return -1;
}

}  // namespace

int32_t sound_init_system(HWND window)
{
    memset(g_sound_slot_in_use, 0, sizeof g_sound_slot_in_use);
    if (!sound_open_device(window)) return 0;
    g_sound_enabled = 1;
    return 1;
}

void sound_shutdown_system(void)
{
    for (int slot = 0; slot < SOUND_SLOT_COUNT; slot++)
        if (g_sound_slot_in_use[slot] == 1) sound_release_buffer(g_sound_slots[slot]);
    sound_release_device();
}

int32_t sound_open_device(HWND window)
{
    g_sound_device_count = 0;
    DirectSoundEnumerateA(sound_count_device_callback, nullptr);
    if (g_sound_device_count < 1) return 0;
    // A device left open by an earlier start-up whose cooperative level was refused.
    sound_release_device();
    if (DirectSoundCreate8(nullptr, &g_sound_device, nullptr) < 0) return 0;
    // On failure the device stays open until sound_release_device.
    return SUCCEEDED(g_sound_device->SetCooperativeLevel(window, DSSCL_PRIORITY)) ? 1 : 0;
}

void sound_release_device(void)
{
    if (g_sound_device) g_sound_device->Release();
    g_sound_device = nullptr;
}

BOOL sound_count_device_callback(GUID *device, const char *, const char *, void *)
{
    if (device) g_sound_device_count++;
    return TRUE;
}

SoundEffect *sound_create_buffer(int32_t bytes)
{
    int slot = free_slot();
    if (slot < 0 || !g_sound_device || bytes <= 0) return nullptr;
    SoundEffect *effect = new (std::nothrow) SoundEffect{slot, nullptr, nullptr};
    if (!effect) return nullptr;

    WAVEFORMATEX format = effect_format();
    DSBUFFERDESC desc;
    memset(&desc, 0, sizeof desc);
    desc.dwSize = 36;
    desc.dwFlags = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_CTRLFREQUENCY | DSBCAPS_STATIC;
    desc.dwBufferBytes = DWORD(bytes);
    desc.lpwfxFormat = &format;
    // A buffer that was not made is never used: the effect is not made either.
    if (FAILED(g_sound_device->CreateSoundBuffer(&desc, &effect->buffer, nullptr))) {
        delete effect;
        return nullptr;
    }
    if (FAILED(effect->buffer->QueryInterface(IID_IDirectSoundBuffer8, reinterpret_cast<void **>(&effect->buffer8)))) {
        effect->buffer->Release();
        delete effect;
        return nullptr;
    }
    g_sound_slots[slot] = effect;
    g_sound_slot_in_use[slot] = 1;
    return effect;
}

void sound_fill_buffer(SoundEffect *effect, const void *samples, int32_t bytes)
{
    if (!effect || !samples || bytes <= 0) return;
    void *region1 = nullptr, *region2 = nullptr;
    DWORD bytes1 = 0, bytes2 = 0;
    if (FAILED(effect->buffer8->Lock(0, DWORD(bytes), &region1, &bytes1, &region2, &bytes2, 0))) return;
    DWORD count = bytes1 < DWORD(bytes) ? bytes1 : DWORD(bytes);
    memcpy(region1, samples, count);
    effect->buffer8->Unlock(region1, count, nullptr, 0);
}

void sound_release_buffer(SoundEffect *effect)
{
    if (!effect) return;
    if (effect->slot >= 0 && effect->slot < SOUND_SLOT_COUNT) g_sound_slot_in_use[effect->slot] = 0;
    effect->buffer8->Release();
    effect->buffer->Release();
    delete effect;
}

void sound_play_effect(SoundEffect *effect, int32_t loop)
{
    if (!effect || g_sound_enabled != 1) return;
    effect->buffer8->Stop();
    effect->buffer8->Play(0, 0, loop ? DSBPLAY_LOOPING : 0);
}

void sound_stop_effect(SoundEffect *effect)
{
    if (effect) effect->buffer8->Stop();
}

void sound_set_effect_volume(SoundEffect *effect, float volume)
{
    if (!effect) return;
    double attenuation = (1.0 - double(volume)) * -10000.0;
    // Out of range (or not a number) gives a value the buffer refuses, leaving its volume as it was.
    LONG value = attenuation > -2147483648.0 && attenuation < 2147483648.0 ? LONG(attenuation) : LONG(INT32_MIN);
    effect->buffer8->SetVolume(value);
}
