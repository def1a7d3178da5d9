// The audio stand-in across threads: the wall-clock cursor, a ring writer racing the mixer, and the
// SDL back end on its dummy and disk drivers (with a stalled callback).
#include "platform/audio.h"
#include "platform/audio_local.h"
#include "tests/test_util.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

const int RATE = 44100;

int64_t frames_between(int64_t from_ns, int64_t to_ns) { return (to_ns - from_ns) * RATE / 1000000000; }

WAVEFORMATEX pcm_format(int channels)
{
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = WORD(channels);
    format.nSamplesPerSec = RATE;
    format.nBlockAlign = WORD(2 * channels);
    format.nAvgBytesPerSec = RATE * format.nBlockAlign;
    format.wBitsPerSample = 16;
    return format;
}

IDirectSoundBuffer8 *make_buffer(IDirectSound8 *device, int channels, DWORD bytes, const int16_t *samples)
{
    WAVEFORMATEX format = pcm_format(channels);
    DSBUFFERDESC desc = {36, DSBCAPS_STATIC | DSBCAPS_GETCURRENTPOSITION2, bytes, 0, &format, {}};
    IDirectSoundBuffer *buffer = nullptr;
    EXPECT_EQ(device->CreateSoundBuffer(&desc, &buffer, nullptr), DS_OK);
    if (!buffer) return nullptr;
    void *region1, *region2;
    DWORD bytes1, bytes2;
    EXPECT_EQ(buffer->Lock(0, 0, &region1, &bytes1, &region2, &bytes2, DSBLOCK_ENTIREBUFFER), DS_OK);
    if (samples) memcpy(region1, samples, bytes1);
    else memset(region1, 0, bytes1);
    buffer->Unlock(region1, bytes1, region2, bytes2);
    return buffer;
}

DWORD play_cursor(IDirectSoundBuffer8 *buffer)
{
    DWORD play = 0;
    EXPECT_EQ(buffer->GetCurrentPosition(&play, nullptr), DS_OK);
    return play;
}

// Runs a test body with the SDL back end on one of SDL's drivers, then puts the headless switch back.
struct SdlDriver {
    SdlDriver(const char *driver, const std::string &file = "")
    {
        unsetenv("ZAVGOLF_HEADLESS");
        setenv("SDL_AUDIODRIVER", driver, 1);
        if (!file.empty()) setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    }
    ~SdlDriver()
    {
        setenv("ZAVGOLF_HEADLESS", "1", 1);
        unsetenv("SDL_AUDIODRIVER");
        unsetenv("SDL_DISKAUDIOFILE");
    }
};

}  // namespace

TEST(AudioClock, PacedHeadlessCursorFollowsTheWallClock)
{
    IDirectSound8 *device = nullptr;
    ASSERT_EQ(DirectSoundCreate8(nullptr, &device, nullptr), DS_OK);
    audio_headless_set_paced(device, 1);
    IDirectSoundBuffer8 *buffer = make_buffer(device, 1, 10 * RATE * 2, nullptr);
    ASSERT_NE(buffer, nullptr);

    int64_t before_play = audio_now_ns();
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    int64_t after_play = audio_now_ns();
    Sleep(150);
    int64_t before_read = audio_now_ns();
    int64_t frames = play_cursor(buffer) / 2;
    int64_t after_read = audio_now_ns();
    EXPECT_GE(frames, frames_between(after_play, before_read) - 1);
    EXPECT_LE(frames, frames_between(before_play, after_read) + 1);

    buffer->Release();
    device->Release();
}

// A writer fills a looping ring block by block behind the cursor while the paced clock plays it: the
// output holds every block once, in order. The writer keeps a second of sound ahead, so that a
// machine busy with other tests may stall it for that long.
TEST(AudioClock, RingWriterAheadOfThePacedCursorLosesNothing)
{
    const int block = 2205, blocks = 40;
    const DWORD block_bytes = block * 4, ring_bytes = block_bytes * blocks;
    IDirectSound8 *device = nullptr;
    ASSERT_EQ(DirectSoundCreate8(nullptr, &device, nullptr), DS_OK);
    ASSERT_EQ(audio_capture_start(device, 3 * RATE), 1);
    IDirectSoundBuffer8 *ring = make_buffer(device, 2, ring_bytes, nullptr);
    ASSERT_NE(ring, nullptr);

    std::atomic<bool> stop{false};
    int next_value = 1;
    DWORD write_cursor = 0;
    std::vector<int16_t> frames(2 * block);
    auto write_block = [&]() {
        for (int i = 0; i < block; i++) {
            frames[2 * size_t(i)] = int16_t(next_value);
            frames[2 * size_t(i) + 1] = int16_t(-next_value);
        }
        void *region1, *region2;
        DWORD bytes1, bytes2;
        ASSERT_EQ(ring->Lock(write_cursor, block_bytes, &region1, &bytes1, &region2, &bytes2, 0), DS_OK);
        memcpy(region1, frames.data(), bytes1);
        if (region2) memcpy(region2, reinterpret_cast<uint8_t *>(frames.data()) + bytes1, bytes2);
        ring->Unlock(region1, bytes1, region2, bytes2);
        write_cursor = (write_cursor + block_bytes) % ring_bytes;
        next_value++;
    };
    for (int i = 0; i < blocks / 2; i++) write_block();

    audio_headless_set_paced(device, 1);
    ASSERT_EQ(ring->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    std::thread writer([&]() {
        while (!stop) {
            DWORD play = play_cursor(ring);
            DWORD room = play > write_cursor ? play - write_cursor : play + ring_bytes - write_cursor;
            if (room >= ring_bytes / 2) write_block();
            else Sleep(1);
        }
    });
    std::vector<int16_t> out;
    int16_t chunk[2 * 1024];
    int64_t until = audio_now_ns() + 600000000;
    while (audio_now_ns() < until) {
        int got = audio_capture_read(device, chunk, 1024);
        out.insert(out.end(), chunk, chunk + 2 * got);
        Sleep(5);
    }
    stop = true;
    writer.join();
    ring->Stop();
    int got;
    while ((got = audio_capture_read(device, chunk, 1024)) > 0) out.insert(out.end(), chunk, chunk + 2 * got);

    // Silence follows once the ring is stopped.
    size_t count = out.size() / 2;
    while (count > 0 && out[2 * (count - 1)] == 0) count--;
    ASSERT_GT(count, size_t(4 * block));
    for (size_t i = 0; i < count; i++) {
        int16_t expected = int16_t(1 + i / block);
        ASSERT_EQ(out[2 * i], expected) << "frame " << i;
        ASSERT_EQ(out[2 * i + 1], -expected) << "frame " << i;
    }
    ring->Release();
    device->Release();
}

// A writer that stops after one block (its thread suspended, say) hands that block over with Unlock:
// the mixer on another thread reads it later without a race.
TEST(AudioClock, UnlockHandsTheWrittenBytesToTheMixer)
{
    const int frames = 1024;
    IDirectSound8 *device = nullptr;
    ASSERT_EQ(DirectSoundCreate8(nullptr, &device, nullptr), DS_OK);
    ASSERT_EQ(audio_capture_start(device, frames), 1);
    IDirectSoundBuffer8 *ring = make_buffer(device, 2, frames * 4, nullptr);
    ASSERT_NE(ring, nullptr);
    ASSERT_EQ(ring->Play(0, 0, DSBPLAY_LOOPING), DS_OK);

    // Relaxed on purpose: only Unlock may order the writes before the mixer's reads.
    std::atomic<bool> written{false};
    std::thread writer([&]() {
        void *region1, *region2;
        DWORD bytes1, bytes2;
        ASSERT_EQ(ring->Lock(0, frames * 4, &region1, &bytes1, &region2, &bytes2, 0), DS_OK);
        int16_t *values = static_cast<int16_t *>(region1);
        for (int i = 0; i < 2 * frames; i++) values[i] = 1234;
        ring->Unlock(region1, bytes1, region2, bytes2);
        written.store(true, std::memory_order_relaxed);
    });
    while (!written.load(std::memory_order_relaxed)) std::this_thread::yield();
    EXPECT_EQ(audio_headless_advance(device, frames), frames);
    std::vector<int16_t> out(2 * frames);
    ASSERT_EQ(audio_capture_read(device, out.data(), frames), frames);
    EXPECT_EQ(out[0], 1234);
    EXPECT_EQ(out[2 * frames - 1], 1234);
    writer.join();
    ring->Release();
    device->Release();
}

TEST(AudioSdl, DiskDriverReceivesTheMixBitForBit)
{
    TempDir dir;
    std::string file = dir / "out.raw";
    const int count = 13230;
    std::vector<int16_t> tone(count);
    for (int i = 0; i < count; i++) tone[size_t(i)] = int16_t((i % 1000) * 20 - 9999);  // never 0
    {
        SdlDriver driver("disk", file);
        IDirectSound8 *device = nullptr;
        ASSERT_EQ(DirectSoundCreate8(nullptr, &device, nullptr), DS_OK);
        ASSERT_EQ(audio_capture_start(device, 4 * RATE), 1);
        IDirectSoundBuffer8 *buffer = make_buffer(device, 1, count * 2, tone.data());
        ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
        DWORD status = DSBSTATUS_PLAYING;
        for (int waited = 0; waited < 5000 && (status & DSBSTATUS_PLAYING); waited += 10) {
            Sleep(10);
            buffer->GetStatus(&status);
        }
        EXPECT_EQ(status, 0u);
        buffer->Release();
        device->Release();
    }
    std::string bytes = test_read_file(file);
    size_t frames = bytes.size() / 4;
    std::vector<int16_t> out(2 * frames);
    memcpy(out.data(), bytes.data(), 4 * frames);
    size_t start = 0;
    while (start < frames && out[2 * start] == 0) start++;
    ASSERT_GE(frames, start + count + 1);
    for (int i = 0; i < count; i++) {
        ASSERT_EQ(out[2 * (start + size_t(i))], tone[size_t(i)]) << i;
        ASSERT_EQ(out[2 * (start + size_t(i)) + 1], tone[size_t(i)]) << i;
    }
    EXPECT_EQ(out[2 * (start + count)], 0);
}

TEST(AudioSdl, DummyDriverCursorAdvancesAndAStalledCallbackFallsBackOnTheWallClock)
{
    SdlDriver driver("dummy");
    IDirectSound8 *device = nullptr;
    ASSERT_EQ(DirectSoundCreate8(nullptr, &device, nullptr), DS_OK);
    IDirectSoundBuffer8 *buffer = make_buffer(device, 1, 20 * RATE * 2, nullptr);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    Sleep(200);
    DWORD before_stall = play_cursor(buffer);
    EXPECT_GT(before_stall, 0u);

    SDL_AudioDeviceID id = static_cast<AudioDevice *>(device)->sdl_device;
    SDL_LockAudioDevice(id);  // the callback cannot run now
    Sleep(700);
    DWORD during_stall = play_cursor(buffer);
    SDL_UnlockAudioDevice(id);
    EXPECT_GE(int64_t(during_stall - before_stall) / 2, RATE / 2);

    buffer->Release();
    device->Release();
}
