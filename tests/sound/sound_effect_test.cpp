// Sound effects on the headless audio back end: start-up, a full slot table, failed buffers, volume.
#include "sound/sound.h"
#include "sound/sound_local.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

// Each test starts closed, as at the start of the game, and leaves no buffer behind.
struct SoundEffects : ::testing::Test {
    void SetUp() override
    {
        audio_headless_set_device_count(1);
        audio_headless_set_failures(0);
        g_sound_enabled = 0;
    }
    void TearDown() override
    {
        sound_shutdown_system();
        audio_headless_set_device_count(1);
        audio_headless_set_failures(0);
        EXPECT_EQ(audio_live_buffer_count(), 0);
    }

    // An effect holding `samples`, filled as the loaders fill one.
    static SoundEffect *effect_of(const std::vector<int16_t> &samples)
    {
        SoundEffect *effect = sound_create_buffer(int32_t(samples.size() * 2));
        sound_fill_buffer(effect, samples.data(), int32_t(samples.size() * 2));
        return effect;
    }

    // The left channel of the next `frames` frames of output.
    static std::vector<int16_t> output(int frames)
    {
        EXPECT_EQ(audio_capture_start(g_sound_device, frames), 1);
        audio_headless_advance(g_sound_device, frames);
        std::vector<int16_t> stereo(2 * size_t(frames));
        EXPECT_EQ(audio_capture_read(g_sound_device, stereo.data(), frames), frames);
        std::vector<int16_t> left;
        for (int i = 0; i < frames; i++) {
            EXPECT_EQ(stereo[2 * size_t(i)], stereo[2 * size_t(i) + 1]);
            left.push_back(stereo[2 * size_t(i)]);
        }
        return left;
    }

    static bool playing(SoundEffect *effect)
    {
        DWORD status = 0;
        effect->buffer8->GetStatus(&status);
        return status & DSBSTATUS_PLAYING;
    }
};

}  // namespace

TEST_F(SoundEffects, NoDeviceMeansInitFailsAndSoundStaysOff)
{
    audio_headless_set_device_count(0);  // only the primary entry, without an id
    EXPECT_EQ(sound_init_system(nullptr), 0);
    EXPECT_EQ(g_sound_device_count, 0);
    EXPECT_EQ(g_sound_enabled, 0);
    EXPECT_EQ(g_sound_device, nullptr);
    EXPECT_EQ(sound_create_buffer(100), nullptr);
    EXPECT_EQ(sound_load_effect("data/sound/hit.ogg"), nullptr);

    audio_headless_set_device_count(1);
    audio_headless_set_failures(AUDIO_FAIL_CREATE);
    EXPECT_EQ(sound_init_system(nullptr), 0);
    EXPECT_EQ(g_sound_device, nullptr);

    // A refused cooperative level fails too; the device stays until it is released.
    audio_headless_set_failures(AUDIO_FAIL_COOPERATIVE);
    EXPECT_EQ(sound_init_system(nullptr), 0);
    EXPECT_NE(g_sound_device, nullptr);
    EXPECT_EQ(g_sound_enabled, 0);
    sound_release_device();
    EXPECT_EQ(g_sound_device, nullptr);
}

// The options screen may switch the sound card on again after a start-up whose cooperative level
// was refused: the device left open then is let go, not lost.
TEST_F(SoundEffects, InitAgainAfterARefusedLevelReleasesTheDeviceLeftOpen)
{
    audio_headless_set_failures(AUDIO_FAIL_COOPERATIVE);
    EXPECT_EQ(sound_init_system(nullptr), 0);
    IDirectSound8 *first = g_sound_device;
    ASSERT_NE(first, nullptr);
    first->AddRef();  // our own hold, to see whether start-up gives up its own

    audio_headless_set_failures(0);
    EXPECT_EQ(sound_init_system(nullptr), 1);
    EXPECT_NE(g_sound_device, first);
    EXPECT_EQ(first->Release(), 0u);
}

TEST_F(SoundEffects, AFullTableAnEmptyEffectAndNullEffectsNeverCrash)
{
    ASSERT_EQ(sound_init_system(nullptr), 1);
    EXPECT_EQ(sound_create_buffer(0), nullptr);
    EXPECT_EQ(sound_create_buffer(-2), nullptr);
    for (int i = 0; i < SOUND_SLOT_COUNT; i++) ASSERT_NE(sound_create_buffer(8), nullptr) << i;
    EXPECT_EQ(sound_create_buffer(8), nullptr);
    EXPECT_EQ(audio_live_buffer_count(), SOUND_SLOT_COUNT);

    sound_release_buffer(nullptr);
    sound_play_effect(nullptr, 0);
    sound_stop_effect(nullptr);
    sound_set_effect_volume(nullptr, 0.5f);
    sound_fill_buffer(nullptr, "ab", 2);
}

TEST_F(SoundEffects, AFailedBufferTakesNoSlot)
{
    ASSERT_EQ(sound_init_system(nullptr), 1);
    audio_headless_set_failures(AUDIO_FAIL_BUFFER);
    EXPECT_EQ(sound_create_buffer(64), nullptr);
    audio_headless_set_failures(0);
    SoundEffect *effect = sound_create_buffer(64);
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->slot, 0);
}

TEST_F(SoundEffects, VolumeBecomesHundredthsOfADecibel)
{
    ASSERT_EQ(sound_init_system(nullptr), 1);
    SoundEffect *effect = sound_create_buffer(64);
    struct Case {
        float volume;
        LONG expected;
    } cases[] = {{1.0f, 0}, {0.75f, -2500}, {0.5f, -5000}, {0.0f, -10000}, {0.9f, -1000}};
    for (const Case &c : cases) {
        sound_set_effect_volume(effect, c.volume);
        LONG read = 1;
        EXPECT_EQ(effect->buffer8->GetVolume(&read), DS_OK);
        EXPECT_EQ(read, c.expected) << c.volume;
    }
    // Outside 0..1, or not a number: the buffer refuses it and keeps its volume.
    sound_set_effect_volume(effect, 0.9f);
    sound_set_effect_volume(effect, 1.5f);
    sound_set_effect_volume(effect, -3.0f);
    sound_set_effect_volume(effect, std::numeric_limits<float>::quiet_NaN());
    sound_set_effect_volume(effect, 1e30f);
    LONG read = 1;
    effect->buffer8->GetVolume(&read);
    EXPECT_EQ(read, -1000);
}
