// The audio stand-in on its headless back end: buffer checks, locks, lost buffers, volume, the mixer.
#include "platform/audio.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

struct Enumerated {
    std::vector<bool> has_id;
    int stop_after = -1;
};

WAVEFORMATEX pcm_format(int channels)
{
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = WORD(channels);
    format.nSamplesPerSec = 44100;
    format.nBlockAlign = WORD(2 * channels);
    format.nAvgBytesPerSec = 44100u * format.nBlockAlign;
    format.wBitsPerSample = 16;
    return format;
}

// A device of the headless back end, with its clock under the test's control.
struct HeadlessAudio : ::testing::Test {
    IDirectSound8 *device = nullptr;

    void SetUp() override
    {
        audio_headless_set_device_count(1);
        audio_headless_set_failures(0);
        ASSERT_EQ(DirectSoundCreate8(nullptr, &device, nullptr), DS_OK);
        ASSERT_EQ(device->SetCooperativeLevel(this, DSSCL_PRIORITY), DS_OK);
        ASSERT_EQ(audio_capture_start(device, 1 << 16), 1);
    }
    void TearDown() override
    {
        if (device) device->Release();
        EXPECT_EQ(audio_live_buffer_count(), 0);
    }

    IDirectSoundBuffer8 *make(int channels, const std::vector<int16_t> &samples, DWORD flags = 0xE2)
    {
        WAVEFORMATEX format = pcm_format(channels);
        DSBUFFERDESC desc = {};
        desc.dwSize = 36;
        desc.dwFlags = flags;
        desc.dwBufferBytes = DWORD(samples.size() * 2);
        desc.lpwfxFormat = &format;
        IDirectSoundBuffer *buffer = nullptr;
        EXPECT_EQ(device->CreateSoundBuffer(&desc, &buffer, nullptr), DS_OK);
        if (!buffer) return nullptr;
        void *region1, *region2;
        DWORD bytes1, bytes2;
        EXPECT_EQ(buffer->Lock(0, 0, &region1, &bytes1, &region2, &bytes2, DSBLOCK_ENTIREBUFFER), DS_OK);
        memcpy(region1, samples.data(), bytes1);
        EXPECT_EQ(buffer->Unlock(region1, bytes1, region2, bytes2), DS_OK);
        return buffer;
    }

    // Advances the clock and returns the stereo frames mixed meanwhile.
    std::vector<int16_t> run(int frames)
    {
        EXPECT_EQ(audio_headless_advance(device, frames), frames);
        std::vector<int16_t> out(2 * size_t(frames));
        EXPECT_EQ(audio_capture_read(device, out.data(), frames), frames);
        return out;
    }

    static DWORD cursor(IDirectSoundBuffer8 *buffer)
    {
        DWORD play = 1234, write = 0;
        EXPECT_EQ(buffer->GetCurrentPosition(&play, &write), DS_OK);
        return play;
    }
    static DWORD status(IDirectSoundBuffer8 *buffer)
    {
        DWORD value = 0;
        EXPECT_EQ(buffer->GetStatus(&value), DS_OK);
        return value;
    }
};

std::vector<int16_t> ramp(int count, int start = 1)
{
    std::vector<int16_t> samples(size_t(count), 0);
    for (int i = 0; i < count; i++) samples[size_t(i)] = int16_t(start + i);
    return samples;
}

}  // namespace

TEST_F(HeadlessAudio, BufferDescriptionsAreChecked)
{
    WAVEFORMATEX format = pcm_format(1);
    DSBUFFERDESC desc = {};
    desc.dwSize = sizeof(DSBUFFERDESC);
    desc.dwFlags = DSBCAPS_STATIC | DSBCAPS_CTRLVOLUME;
    desc.dwBufferBytes = 4;
    desc.lpwfxFormat = &format;
    IDirectSoundBuffer *buffer = nullptr;
    ASSERT_EQ(device->CreateSoundBuffer(&desc, &buffer, nullptr), DS_OK);
    buffer->Release();

    desc.dwBufferBytes = 0;  // an empty effect
    EXPECT_EQ(device->CreateSoundBuffer(&desc, &buffer, nullptr), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer, nullptr);
    desc.dwBufferBytes = 3;
    EXPECT_EQ(device->CreateSoundBuffer(&desc, &buffer, nullptr), DSERR_INVALIDPARAM);
    desc.dwBufferBytes = 100;
    desc.dwSize = 36;
    format.nSamplesPerSec = 22050;
    EXPECT_EQ(device->CreateSoundBuffer(&desc, &buffer, nullptr), DSERR_BADFORMAT);
    format = pcm_format(2);
    format.nBlockAlign = 2;
    EXPECT_EQ(device->CreateSoundBuffer(&desc, &buffer, nullptr), DSERR_BADFORMAT);
    desc.lpwfxFormat = nullptr;
    EXPECT_EQ(device->CreateSoundBuffer(&desc, &buffer, nullptr), DSERR_INVALIDPARAM);
    EXPECT_EQ(audio_live_buffer_count(), 0);

    audio_headless_set_failures(AUDIO_FAIL_BUFFER);
    format = pcm_format(1);
    desc.lpwfxFormat = &format;
    EXPECT_EQ(device->CreateSoundBuffer(&desc, &buffer, nullptr), DSERR_OUTOFMEMORY);
    EXPECT_EQ(buffer, nullptr);
    audio_headless_set_failures(0);
}

TEST_F(HeadlessAudio, LockGivesTwoRegionsWhenTheRangeWraps)
{
    IDirectSoundBuffer8 *buffer = make(2, std::vector<int16_t>(200, 0));  // 400 bytes
    void *region1, *region2;
    DWORD bytes1, bytes2;
    ASSERT_EQ(buffer->Lock(100, 200, &region1, &bytes1, &region2, &bytes2, 0), DS_OK);
    EXPECT_EQ(bytes1, 200u);
    EXPECT_EQ(region2, nullptr);
    EXPECT_EQ(bytes2, 0u);
    EXPECT_EQ(buffer->Unlock(region1, bytes1, region2, bytes2), DS_OK);

    ASSERT_EQ(buffer->Lock(300, 200, &region1, &bytes1, &region2, &bytes2, 0), DS_OK);
    EXPECT_EQ(bytes1, 100u);
    EXPECT_EQ(bytes2, 100u);
    EXPECT_EQ(static_cast<uint8_t *>(region1) - static_cast<uint8_t *>(region2), 300);
    EXPECT_EQ(buffer->Unlock(region1, bytes1, region2, bytes2), DS_OK);

    // The length is ignored for the whole buffer.
    ASSERT_EQ(buffer->Lock(300, 7, &region1, &bytes1, &region2, &bytes2, DSBLOCK_ENTIREBUFFER), DS_OK);
    EXPECT_EQ(bytes1, 400u);
    EXPECT_EQ(region2, nullptr);

    EXPECT_EQ(buffer->Lock(400, 4, &region1, &bytes1, &region2, &bytes2, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->Lock(0, 401, &region1, &bytes1, &region2, &bytes2, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->Lock(0, 0, &region1, &bytes1, &region2, &bytes2, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->Lock(300, 200, &region1, &bytes1, nullptr, nullptr, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->Unlock(static_cast<uint8_t *>(region2) + 399, 2, nullptr, 0), DSERR_INVALIDPARAM);
    buffer->Release();
}

TEST_F(HeadlessAudio, LostBufferRefusesLockAndPlayUntilRestored)
{
    IDirectSoundBuffer8 *buffer = make(1, ramp(100));
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    audio_buffer_set_lost(buffer);
    EXPECT_EQ(status(buffer) & DSBSTATUS_BUFFERLOST, DSBSTATUS_BUFFERLOST);
    void *region1, *region2;
    DWORD bytes1, bytes2;
    EXPECT_EQ(buffer->Lock(0, 10, &region1, &bytes1, &region2, &bytes2, 0), DSERR_BUFFERLOST);
    EXPECT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DSERR_BUFFERLOST);
    // It goes on playing, so that a writer waiting on its cursor never hangs.
    run(30);
    EXPECT_EQ(cursor(buffer), 60u);
    EXPECT_EQ(buffer->Restore(), DS_OK);
    EXPECT_EQ(buffer->Lock(0, 10, &region1, &bytes1, &region2, &bytes2, 0), DS_OK);
    EXPECT_EQ(status(buffer), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    buffer->Release();
}

TEST_F(HeadlessAudio, VolumeIsInHundredthsOfADecibel)
{
    IDirectSoundBuffer8 *buffer = make(1, std::vector<int16_t>(64, 20000));
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    struct Case {
        LONG volume;
        int16_t level;
    } cases[] = {{0, 20000}, {-2000, 2000}, {-600, 10023}, {-1000, 6324}, {-5000, 63}, {-10000, 0}};
    for (const Case &c : cases) {
        ASSERT_EQ(buffer->SetVolume(c.volume), DS_OK);
        LONG read = 1;
        EXPECT_EQ(buffer->GetVolume(&read), DS_OK);
        EXPECT_EQ(read, c.volume);
        int16_t level = run(1)[0];
        EXPECT_NEAR(level, c.level, 1) << c.volume;
    }
    EXPECT_EQ(buffer->SetVolume(1), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->SetVolume(-10001), DSERR_INVALIDPARAM);
    LONG read = 1;
    buffer->GetVolume(&read);
    EXPECT_EQ(read, -10000);
    buffer->Release();

    // Only buffers made with the volume control have one.
    IDirectSoundBuffer8 *ring = make(2, std::vector<int16_t>(8, 0), DSBCAPS_STATIC | DSBCAPS_GETCURRENTPOSITION2);
    EXPECT_EQ(ring->SetVolume(-100), DSERR_CONTROLUNAVAIL);
    ring->Release();
}

TEST_F(HeadlessAudio, BuffersAreSummedAndClamped)
{
    IDirectSoundBuffer8 *a = make(1, std::vector<int16_t>(8, 30000));
    IDirectSoundBuffer8 *b = make(1, std::vector<int16_t>(8, 30000));
    IDirectSoundBuffer8 *c = make(2, {-30000, -1000, -30000, -1000, -30000, -1000});
    a->Play(0, 0, DSBPLAY_LOOPING);
    b->Play(0, 0, DSBPLAY_LOOPING);
    EXPECT_EQ(run(1)[0], 32767);
    c->Play(0, 0, DSBPLAY_LOOPING);
    std::vector<int16_t> out = run(1);
    EXPECT_EQ(out[0], 30000);  // the sum is clamped once, at the end
    EXPECT_EQ(out[1], 32767);
    b->Release();
    a->Release();
    c->Release();
    std::vector<int16_t> silence = run(2);
    EXPECT_EQ(silence, std::vector<int16_t>(4, 0));
}
