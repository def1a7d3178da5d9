// The SDL2 back end of the audio stand-in: the default output opened for 16-bit stereo at 44100 Hz,
// its callback running the common mixer.
#include "platform/audio.h"
#include "platform/audio_local.h"

#include <SDL.h>

namespace {

const int CALLBACK_FRAMES = 1024;

void sdl_callback(void *user, Uint8 *stream, int length)
{
    AudioDevice *device = static_cast<AudioDevice *>(user);
    std::lock_guard<std::mutex> lock(device->mutex);
    audio_mix(device, reinterpret_cast<int16_t *>(stream), length / 4);
    device->clock_ns = audio_now_ns();
}

}  // namespace

void audio_sdl_device_names(std::vector<std::string> &names)
{
    names.clear();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return;
    int count = SDL_GetNumAudioDevices(0);
    // -1: the driver cannot list its devices, but has a default one.
    if (count < 0) names.push_back("Default output");
    for (int i = 0; i < count; i++) {
        const char *name = SDL_GetAudioDeviceName(i, 0);
        names.push_back(name ? name : "Output");
    }
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

int audio_sdl_open(AudioDevice *device)
{
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return 0;
    SDL_AudioSpec want = {};
    want.freq = AUDIO_RATE;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = CALLBACK_FRAMES;
    want.callback = sdl_callback;
    want.userdata = device;
    // No changes allowed: SDL converts when the hardware wants another format.
    SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    if (id == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return 0;
    }
    device->sdl_device = id;
    SDL_PauseAudioDevice(id, 0);
    return 1;
}

void audio_sdl_close(AudioDevice *device)
{
    if (device->sdl_device == 0) return;
    SDL_CloseAudioDevice(device->sdl_device);
    device->sdl_device = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}
