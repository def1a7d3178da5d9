// The audio stand-in's front: enumeration, the device, buffers with their cursors, and the mixer.
#include "platform/audio.h"
#include "platform/audio_local.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <new>

const GUID IID_IDirectSoundBuffer8 = {0x6825A449, 0x7524, 0x4D82, {0x92, 0x0F, 0x50, 0xE3, 0x6A, 0xB3, 0xAB, 0x1E}};

namespace {

// Frames mixed per pass; the accumulators live on the stack.
const int MIX_CHUNK = 256;
// A catch-up after a longer stall mixes this much and lets the rest of the time go.
const int64_t MAX_CATCH_UP_FRAMES = 10 * AUDIO_RATE;
const int64_t NS_PER_SECOND = 1000000000;
// The size of the description record on the platform the game was written for.
const DWORD DESC_SIZE_32BIT = 36;

std::atomic<int> g_live_buffers{0};

AudioDevice *device_of(IDirectSound8 *device) { return static_cast<AudioDevice *>(device); }
AudioBuffer *buffer_of(IDirectSoundBuffer8 *buffer) { return static_cast<AudioBuffer *>(buffer); }

bool same_guid(const GUID &a, const GUID &b) { return memcmp(&a, &b, sizeof(GUID)) == 0; }

// Ids of the enumerated devices: a fixed prefix with the device's index.
GUID enumerated_id(int index)
{
    return GUID{0x7A410000u + DWORD(index), 0x7A41, 0x5544, {'z', 'a', 'v', 'a', 'u', 'd', 'i', 'o'}};
}

int64_t frames_in_ns(int64_t ns)
{
    return ns / NS_PER_SECOND * AUDIO_RATE + ns % NS_PER_SECOND * AUDIO_RATE / NS_PER_SECOND;
}

int64_t ns_of_frames(int64_t frames)
{
    return frames / AUDIO_RATE * NS_PER_SECOND + frames % AUDIO_RATE * NS_PER_SECOND / AUDIO_RATE;
}

void destroy_device(AudioDevice *device)
{
    if (device->backend == AUDIO_BACKEND_SDL) audio_sdl_close(device);
    delete device;
}

bool format_supported(const WAVEFORMATEX *format)
{
    return format->wFormatTag == WAVE_FORMAT_PCM && (format->nChannels == 1 || format->nChannels == 2) &&
           format->nSamplesPerSec == AUDIO_RATE && format->wBitsPerSample == 16 &&
           format->nBlockAlign == format->nChannels * 2 &&
           format->nAvgBytesPerSec == format->nSamplesPerSec * format->nBlockAlign;
}

// Adds `frames` frames of one buffer to the stereo accumulators, wrapping or ending at its end.
void mix_buffer(AudioBuffer *buffer, int32_t *sum, int frames)
{
    const int16_t *samples = reinterpret_cast<const int16_t *>(buffer->bytes);
    int done = 0;
    while (done < frames && buffer->playing) {
        int run = int(std::min<DWORD>(DWORD(frames - done), buffer->frames - buffer->position));
        const int16_t *from = samples + size_t(buffer->position) * buffer->channels;
        int32_t *to = sum + 2 * done;
        if (buffer->gain == 1.0f && buffer->channels == 1) {
            for (int i = 0; i < run; i++) {
                to[2 * i] += from[i];
                to[2 * i + 1] += from[i];
            }
        } else if (buffer->gain == 1.0f) {
            for (int i = 0; i < 2 * run; i++) to[i] += from[i];
        } else if (buffer->gain > 0.0f && buffer->channels == 1) {
            for (int i = 0; i < run; i++) {
                int32_t value = int32_t(float(from[i]) * buffer->gain);
                to[2 * i] += value;
                to[2 * i + 1] += value;
            }
        } else if (buffer->gain > 0.0f) {
            for (int i = 0; i < 2 * run; i++) to[i] += int32_t(float(from[i]) * buffer->gain);
        }
        buffer->position += DWORD(run);
        done += run;
        if (buffer->position >= buffer->frames) {
            buffer->position = 0;
            if (!buffer->looping) buffer->playing = false;
        }
    }
}

void capture_frames(AudioDevice *device, const int16_t *frames, int count)
{
    size_t capacity = device->capture.size() / 2;
    for (int i = 0; i < count && device->capture_count < capacity; i++) {
        size_t at = (device->capture_head + device->capture_count) % capacity;
        device->capture[2 * at] = frames[2 * i];
        device->capture[2 * at + 1] = frames[2 * i + 1];
        device->capture_count++;
    }
}

}  // namespace

int64_t audio_now_ns(void)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void audio_mix(AudioDevice *device, int16_t *out, int frames)
{
    int32_t sum[2 * MIX_CHUNK];
    int16_t block[2 * MIX_CHUNK];
    while (frames > 0) {
        int n = std::min(frames, MIX_CHUNK);
        memset(sum, 0, sizeof(int32_t) * 2 * size_t(n));
        for (AudioBuffer *buffer : device->buffers)
            if (buffer->playing) mix_buffer(buffer, sum, n);
        int16_t *to = out ? out : block;
        for (int i = 0; i < 2 * n; i++) to[i] = int16_t(std::clamp(sum[i], -32768, 32767));
        if (!device->capture.empty()) capture_frames(device, to, n);
        if (out) out += 2 * n;
        frames -= n;
    }
}

void audio_catch_up(AudioDevice *device)
{
    if (!device->clocked) return;
    int64_t now = audio_now_ns();
    int64_t elapsed = now - device->clock_ns;
    if (elapsed <= 0 || elapsed < device->stall_ns) return;
    int64_t frames = frames_in_ns(elapsed);
    if (frames == 0) return;
    if (frames > MAX_CATCH_UP_FRAMES) {
        audio_mix(device, nullptr, int(MAX_CATCH_UP_FRAMES));
        device->clock_ns = now;
        return;
    }
    audio_mix(device, nullptr, int(frames));
    device->clock_ns += ns_of_frames(frames);
}

// ---- enumeration and creation -------------------------------------------------------------------

HRESULT DirectSoundEnumerateA(LPDSENUMCALLBACKA callback, void *context)
{
    if (!callback) return DSERR_INVALIDPARAM;
    std::vector<std::string> names;
    if (sys_headless()) {
        for (int i = 0; i < audio_headless_device_count(); i++) names.push_back("Headless output");
    } else {
        audio_sdl_device_names(names);
    }
    if (!callback(nullptr, "Primary Sound Driver", "", context)) return DS_OK;
    for (size_t i = 0; i < names.size(); i++) {
        GUID id = enumerated_id(int(i));
        if (!callback(&id, names[i].c_str(), "zavaudio", context)) break;
    }
    return DS_OK;
}

HRESULT DirectSoundCreate8(const GUID *id, IDirectSound8 **out, void *outer)
{
    if (!out) return DSERR_INVALIDPARAM;
    *out = nullptr;
    if (outer) return DSERR_NOAGGREGATION;
    if (id) return DSERR_NODRIVER;

    AudioDevice *device = new (std::nothrow) AudioDevice;
    if (!device) return DSERR_OUTOFMEMORY;
    device->clock_ns = audio_now_ns();
    if (sys_headless()) {
        if ((audio_headless_failures() & AUDIO_FAIL_CREATE) || audio_headless_device_count() < 1) {
            delete device;
            return DSERR_NODRIVER;
        }
        device->backend = AUDIO_BACKEND_HEADLESS;
    } else {
        // The callback normally drives the cursors; the wall clock takes over when it stalls.
        device->backend = AUDIO_BACKEND_SDL;
        device->clocked = true;
        device->stall_ns = NS_PER_SECOND / 4;
        if (!audio_sdl_open(device)) {
            delete device;
            return DSERR_NODRIVER;
        }
    }
    *out = device;
    return DS_OK;
}

// ---- the device ---------------------------------------------------------------------------------

ULONG IDirectSound8::AddRef()
{
    AudioDevice *device = device_of(this);
    std::lock_guard<std::mutex> lock(device->mutex);
    return ++device->refs;
}

ULONG IDirectSound8::Release()
{
    AudioDevice *device = device_of(this);
    ULONG left;
    {
        std::lock_guard<std::mutex> lock(device->mutex);
        left = --device->refs;
    }
    if (left == 0) destroy_device(device);
    return left;
}

HRESULT IDirectSound8::SetCooperativeLevel(HWND, DWORD level)
{
    AudioDevice *device = device_of(this);
    if (level < DSSCL_NORMAL || level > DSSCL_WRITEPRIMARY) return DSERR_INVALIDPARAM;
    if (device->backend == AUDIO_BACKEND_HEADLESS && (audio_headless_failures() & AUDIO_FAIL_COOPERATIVE))
        return DSERR_GENERIC;
    std::lock_guard<std::mutex> lock(device->mutex);
    device->cooperative_level = level;
    return DS_OK;
}

HRESULT IDirectSound8::CreateSoundBuffer(const DSBUFFERDESC *desc, IDirectSoundBuffer **out, void *outer)
{
    AudioDevice *device = device_of(this);
    if (!out) return DSERR_INVALIDPARAM;
    *out = nullptr;
    if (outer) return DSERR_NOAGGREGATION;
    if (!desc || (desc->dwSize != DESC_SIZE_32BIT && desc->dwSize != sizeof(DSBUFFERDESC)) || !desc->lpwfxFormat)
        return DSERR_INVALIDPARAM;
    if (!format_supported(desc->lpwfxFormat)) return DSERR_BADFORMAT;
    if (desc->dwBufferBytes < DSBSIZE_MIN || desc->dwBufferBytes > DSBSIZE_MAX) return DSERR_INVALIDPARAM;
    bool headless = device->backend == AUDIO_BACKEND_HEADLESS;
    if (headless && (audio_headless_failures() & AUDIO_FAIL_BUFFER)) return DSERR_OUTOFMEMORY;

    AudioBuffer *buffer = new (std::nothrow) AudioBuffer;
    int16_t *storage = new (std::nothrow) int16_t[(desc->dwBufferBytes + 1) / 2];
    if (!buffer || !storage) {
        delete buffer;
        delete[] storage;
        return DSERR_OUTOFMEMORY;
    }
    buffer->device = device;
    buffer->bytes = reinterpret_cast<uint8_t *>(storage);
    buffer->size = desc->dwBufferBytes;
    buffer->flags = desc->dwFlags;
    buffer->channels = desc->lpwfxFormat->nChannels;
    buffer->block_align = desc->lpwfxFormat->nBlockAlign;
    buffer->frames = buffer->size / buffer->block_align;
    memset(buffer->bytes, headless ? 0x5A : 0, buffer->size);
    {
        std::lock_guard<std::mutex> lock(device->mutex);
        try {
            device->buffers.push_back(buffer);
        } catch (const std::bad_alloc &) {
            delete[] storage;
            delete buffer;
            return DSERR_OUTOFMEMORY;
        }
        device->refs++;
    }
    g_live_buffers++;
    *out = buffer;
    return DS_OK;
}

// ---- buffers ------------------------------------------------------------------------------------

HRESULT IDirectSoundBuffer8::QueryInterface(const GUID &iid, void **out)
{
    if (!out) return DSERR_INVALIDPARAM;
    *out = nullptr;
    if (!same_guid(iid, IID_IDirectSoundBuffer8)) return DSERR_NOINTERFACE;
    AddRef();
    *out = this;
    return DS_OK;
}

ULONG IDirectSoundBuffer8::AddRef()
{
    AudioBuffer *buffer = buffer_of(this);
    std::lock_guard<std::mutex> lock(buffer->device->mutex);
    return ++buffer->refs;
}

ULONG IDirectSoundBuffer8::Release()
{
    AudioBuffer *buffer = buffer_of(this);
    AudioDevice *device = buffer->device;
    ULONG left;
    {
        std::lock_guard<std::mutex> lock(device->mutex);
        left = --buffer->refs;
        if (left == 0) std::erase(device->buffers, buffer);
    }
    if (left == 0) {
        delete[] reinterpret_cast<int16_t *>(buffer->bytes);
        delete buffer;
        g_live_buffers--;
        device->Release();
    }
    return left;
}

HRESULT IDirectSoundBuffer8::Lock(DWORD offset, DWORD bytes, void **region1, DWORD *bytes1, void **region2,
                                  DWORD *bytes2, DWORD flags)
{
    AudioBuffer *buffer = buffer_of(this);
    if (!region1 || !bytes1 || (flags & ~DSBLOCK_ENTIREBUFFER)) return DSERR_INVALIDPARAM;
    *region1 = nullptr;
    *bytes1 = 0;
    if (region2) *region2 = nullptr;
    if (bytes2) *bytes2 = 0;

    std::lock_guard<std::mutex> lock(buffer->device->mutex);
    audio_catch_up(buffer->device);
    if (buffer->lost) return DSERR_BUFFERLOST;
    if (flags & DSBLOCK_ENTIREBUFFER) {
        *region1 = buffer->bytes;
        *bytes1 = buffer->size;
        return DS_OK;
    }
    if (offset >= buffer->size || bytes == 0 || bytes > buffer->size) return DSERR_INVALIDPARAM;
    DWORD first = std::min(bytes, buffer->size - offset);
    if (first < bytes && (!region2 || !bytes2)) return DSERR_INVALIDPARAM;
    *region1 = buffer->bytes + offset;
    *bytes1 = first;
    if (first < bytes) {
        *region2 = buffer->bytes;
        *bytes2 = bytes - first;
    }
    return DS_OK;
}

HRESULT IDirectSoundBuffer8::Unlock(void *region1, DWORD bytes1, void *region2, DWORD bytes2)
{
    AudioBuffer *buffer = buffer_of(this);
    auto inside = [buffer](void *region, DWORD count) {
        uint8_t *at = static_cast<uint8_t *>(region);
        return at >= buffer->bytes && at <= buffer->bytes + buffer->size &&
               count <= DWORD(buffer->bytes + buffer->size - at);
    };
    if (!region1 || !inside(region1, bytes1)) return DSERR_INVALIDPARAM;
    if (region2 && !inside(region2, bytes2)) return DSERR_INVALIDPARAM;
    // Taking the lock publishes the caller's writes to the mixer, whichever thread mixes next.
    std::lock_guard<std::mutex> lock(buffer->device->mutex);
    return DS_OK;
}

HRESULT IDirectSoundBuffer8::Play(DWORD reserved, DWORD priority, DWORD flags)
{
    AudioBuffer *buffer = buffer_of(this);
    if (reserved != 0 || priority != 0) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> lock(buffer->device->mutex);
    audio_catch_up(buffer->device);
    if (buffer->lost) return DSERR_BUFFERLOST;
    buffer->playing = true;
    buffer->looping = (flags & DSBPLAY_LOOPING) != 0;
    return DS_OK;
}

HRESULT IDirectSoundBuffer8::Stop()
{
    AudioBuffer *buffer = buffer_of(this);
    std::lock_guard<std::mutex> lock(buffer->device->mutex);
    audio_catch_up(buffer->device);
    buffer->playing = false;
    return DS_OK;
}

HRESULT IDirectSoundBuffer8::SetVolume(LONG volume)
{
    AudioBuffer *buffer = buffer_of(this);
    if (!(buffer->flags & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
    if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> lock(buffer->device->mutex);
    audio_catch_up(buffer->device);
    buffer->volume = volume;
    // Exactly 1 at 0 so that samples pass through bit for bit, exactly 0 at the minimum.
    if (volume == DSBVOLUME_MAX) buffer->gain = 1.0f;
    else if (volume == DSBVOLUME_MIN) buffer->gain = 0.0f;
    else buffer->gain = float(std::pow(10.0, double(volume) / 2000.0));
    return DS_OK;
}

HRESULT IDirectSoundBuffer8::GetVolume(LONG *volume)
{
    AudioBuffer *buffer = buffer_of(this);
    if (!volume) return DSERR_INVALIDPARAM;
    if (!(buffer->flags & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
    std::lock_guard<std::mutex> lock(buffer->device->mutex);
    *volume = buffer->volume;
    return DS_OK;
}

HRESULT IDirectSoundBuffer8::GetCurrentPosition(DWORD *play_cursor, DWORD *write_cursor)
{
    AudioBuffer *buffer = buffer_of(this);
    std::lock_guard<std::mutex> lock(buffer->device->mutex);
    audio_catch_up(buffer->device);
    DWORD at = buffer->position * buffer->block_align;
    if (play_cursor) *play_cursor = at;
    if (write_cursor) *write_cursor = at;
    return DS_OK;
}

HRESULT IDirectSoundBuffer8::GetStatus(DWORD *status)
{
    AudioBuffer *buffer = buffer_of(this);
    if (!status) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> lock(buffer->device->mutex);
    audio_catch_up(buffer->device);
    *status = 0;
    if (buffer->playing) *status |= buffer->looping ? DSBSTATUS_PLAYING | DSBSTATUS_LOOPING : DSBSTATUS_PLAYING;
    if (buffer->lost) *status |= DSBSTATUS_BUFFERLOST;
    return DS_OK;
}

HRESULT IDirectSoundBuffer8::Restore()
{
    AudioBuffer *buffer = buffer_of(this);
    std::lock_guard<std::mutex> lock(buffer->device->mutex);
    buffer->lost = false;
    return DS_OK;
}

// ---- controls -----------------------------------------------------------------------------------

int audio_capture_start(IDirectSound8 *handle, int frames)
{
    if (!handle || frames <= 0) return 0;
    AudioDevice *device = device_of(handle);
    std::lock_guard<std::mutex> lock(device->mutex);
    try {
        device->capture.assign(2 * size_t(frames), 0);
    } catch (const std::bad_alloc &) {
        device->capture.clear();
        return 0;
    }
    device->capture_head = 0;
    device->capture_count = 0;
    return 1;
}

int audio_capture_read(IDirectSound8 *handle, int16_t *out, int max_frames)
{
    if (!handle || !out || max_frames <= 0) return 0;
    AudioDevice *device = device_of(handle);
    std::lock_guard<std::mutex> lock(device->mutex);
    audio_catch_up(device);
    size_t capacity = device->capture.size() / 2;
    int moved = 0;
    while (moved < max_frames && device->capture_count > 0) {
        out[2 * moved] = device->capture[2 * device->capture_head];
        out[2 * moved + 1] = device->capture[2 * device->capture_head + 1];
        device->capture_head = (device->capture_head + 1) % capacity;
        device->capture_count--;
        moved++;
    }
    return moved;
}

void audio_capture_stop(IDirectSound8 *handle)
{
    if (!handle) return;
    AudioDevice *device = device_of(handle);
    std::lock_guard<std::mutex> lock(device->mutex);
    std::vector<int16_t>().swap(device->capture);
    device->capture_head = 0;
    device->capture_count = 0;
}

void audio_buffer_set_lost(IDirectSoundBuffer8 *handle)
{
    if (!handle) return;
    AudioBuffer *buffer = buffer_of(handle);
    std::lock_guard<std::mutex> lock(buffer->device->mutex);
    buffer->lost = true;
}

int audio_live_buffer_count(void) { return g_live_buffers; }
