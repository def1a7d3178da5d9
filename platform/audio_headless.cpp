// The headless back end of the audio stand-in: devices in memory whose clock the caller advances (or
// the wall clock drives), and the switches that make start-up and buffer creation fail.
#include "platform/audio.h"
#include "platform/audio_local.h"

#include <atomic>

namespace {

std::atomic<int> g_device_count{1};
std::atomic<int> g_failures{0};

AudioDevice *headless_device(IDirectSound8 *handle)
{
    AudioDevice *device = static_cast<AudioDevice *>(handle);
    return device && device->backend == AUDIO_BACKEND_HEADLESS ? device : nullptr;
}

}  // namespace

int audio_headless_device_count(void) { return g_device_count; }
int audio_headless_failures(void) { return g_failures; }

void audio_headless_set_device_count(int count) { g_device_count = count < 0 ? 0 : count; }
void audio_headless_set_failures(int flags) { g_failures = flags; }

int audio_headless_advance(IDirectSound8 *handle, int frames)
{
    AudioDevice *device = headless_device(handle);
    if (!device || frames <= 0) return 0;
    std::lock_guard<std::mutex> lock(device->mutex);
    audio_mix(device, nullptr, frames);
    return frames;
}

void audio_headless_set_paced(IDirectSound8 *handle, int paced)
{
    AudioDevice *device = headless_device(handle);
    if (!device) return;
    std::lock_guard<std::mutex> lock(device->mutex);
    device->clocked = paced != 0;
    device->stall_ns = 0;
    device->clock_ns = audio_now_ns();
}
