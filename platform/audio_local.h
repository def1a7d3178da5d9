// Internals of the audio stand-in shared by its front (audio_common.cpp) and its back ends.
#pragma once

#include "platform/audio.h"

#include <mutex>
#include <string>
#include <vector>

#define AUDIO_RATE 44100

struct AudioDevice;

struct AudioBuffer : IDirectSoundBuffer8 {
    AudioDevice *device = nullptr;
    ULONG refs = 1;
    uint8_t *bytes = nullptr;
    DWORD size = 0;
    DWORD flags = 0;
    int channels = 1;
    DWORD block_align = 2;
    DWORD frames = 0;  // whole frames in the buffer
    LONG volume = 0;
    float gain = 1.0f;
    bool playing = false;
    bool looping = false;
    bool lost = false;
    DWORD position = 0;  // next frame to mix
};

enum AudioBackendKind { AUDIO_BACKEND_HEADLESS, AUDIO_BACKEND_SDL };

// One device. `mutex` guards every field and every buffer's state; buffer memory handed out by Lock
// is written by its caller without it, in ranges the mixer is not reading, and Unlock takes it so
// that the mixer sees those writes.
struct AudioDevice : IDirectSound8 {
    std::mutex mutex;
    ULONG refs = 1;  // the creator's and one per live buffer
    AudioBackendKind backend = AUDIO_BACKEND_HEADLESS;
    uint32_t sdl_device = 0;
    DWORD cooperative_level = 0;
    std::vector<AudioBuffer *> buffers;

    // Wall-clock pacing: when on, entry points first mix the frames due since `clock_ns` once more
    // than `stall_ns` have passed (0 for the paced headless clock; the SDL callback normally keeps
    // `clock_ns` fresh, so this only runs when it stalls).
    bool clocked = false;
    int64_t stall_ns = 0;
    int64_t clock_ns = 0;

    // Capture queue of stereo frames (ring).
    std::vector<int16_t> capture;
    size_t capture_head = 0;
    size_t capture_count = 0;
};

// Nanoseconds of the monotonic clock.
int64_t audio_now_ns(void);

// Headless back end: enumeration count and the calls set to fail (AUDIO_FAIL_*).
int audio_headless_device_count(void);
int audio_headless_failures(void);

// Mixes `frames` stereo frames of every playing buffer into `out` (may be null) and the capture;
// advances the buffers. Caller holds the device's mutex.
void audio_mix(AudioDevice *device, int16_t *out, int frames);
// Mixes what the wall clock says is due (see AudioDevice). Caller holds the device's mutex.
void audio_catch_up(AudioDevice *device);

// SDL back end. Enumeration gives the output device names (empty when SDL has no audio).
void audio_sdl_device_names(std::vector<std::string> &names);
// Opens the default output and starts its callback; 0 when there is none.
int audio_sdl_open(AudioDevice *device);
// Stops the callback and closes the output; call without the device's mutex.
void audio_sdl_close(AudioDevice *device);
