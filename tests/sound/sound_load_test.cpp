// Effect loading from files the test makes: Ogg Vorbis through libvorbisenc, WAV of several rates and
// sample sizes, and damaged files of both kinds.
#include "sound/sound.h"
#include "sound/sound_local.h"
#include "tests/sound/sound_test_util.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

struct EffectLoading : ::testing::Test {
    TempDir dir;

    void SetUp() override
    {
        audio_headless_set_device_count(1);
        audio_headless_set_failures(0);
        ASSERT_EQ(sound_init_system(nullptr), 1);
    }
    void TearDown() override
    {
        sound_shutdown_system();
        EXPECT_EQ(audio_live_buffer_count(), 0);
    }

    std::string file(const std::string &name, const std::string &bytes)
    {
        std::string path = dir / name;
        test_write_file(path, bytes);
        return path;
    }

    // The samples an effect holds.
    static std::vector<int16_t> contents(SoundEffect *effect)
    {
        void *region1, *region2;
        DWORD bytes1, bytes2;
        EXPECT_EQ(effect->buffer8->Lock(0, 0, &region1, &bytes1, &region2, &bytes2, DSBLOCK_ENTIREBUFFER), DS_OK);
        std::vector<int16_t> samples(bytes1 / 2);
        memcpy(samples.data(), region1, bytes1);
        effect->buffer8->Unlock(region1, bytes1, region2, bytes2);
        return samples;
    }
};

int open_file_count()
{
    int count = 0;
    if (DIR *fds = opendir("/proc/self/fd")) {
        while (readdir(fds)) count++;
        closedir(fds);
    }
    return count;
}

}  // namespace

TEST(Resampling, LinearInterpolationAcrossZeroToCountMinusTwo)
{
    const int16_t input[] = {0, 1000, 2000, 3000};
    int16_t *out = sound_resample_to_44100(input, 4, 22050);
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(g_resampled_sample_count, 8);
    EXPECT_EQ(std::vector<int16_t>(out, out + 8), (std::vector<int16_t>{0, 250, 500, 750, 1000, 1250, 1500, 1750}));
    free(out);

    // At 44100 Hz the count stays and the positions step by (n - 2) / n.
    std::vector<int16_t> ramp;
    for (int i = 0; i < 10; i++) ramp.push_back(int16_t(1000 * i));
    out = sound_resample_to_44100(ramp.data(), 10, 44100);
    ASSERT_EQ(g_resampled_sample_count, 10);
    for (int i = 0; i < 10; i++) EXPECT_NEAR(out[i], 800 * i, 1) << i;
    free(out);

    // Undefined arithmetic is refused.
    EXPECT_EQ(sound_resample_to_44100(input, 4, 0), nullptr);
    EXPECT_EQ(g_resampled_sample_count, 0);
    EXPECT_EQ(sound_resample_to_44100(input, 1, 22050), nullptr);
    EXPECT_EQ(sound_resample_to_44100(input, 4, -5), nullptr);
    std::vector<int16_t> long_input(1000, 7);
    EXPECT_EQ(sound_resample_to_44100(long_input.data(), 1000, 1), nullptr);  // over ten minutes
    out = sound_resample_to_44100(input, 2, 2000000000);        // shorter than one sample
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(g_resampled_sample_count, 0);
    free(out);
}

// A page lost from the middle of the stream is a gap to decode across, not a sign that the file is
// a WAV.
TEST_F(EffectLoading, HoleInOggStreamIsSkipped)
{
    std::vector<float> noise(2 * 44100);
    std::mt19937 random(7);
    for (float &sample : noise) sample = float(int(random() % 2001) - 1000) / 2500.0f;
    std::string bytes = test_encode_ogg(noise, 1, 44100);
    std::vector<size_t> pages;
    for (size_t at = bytes.find("OggS"); at != std::string::npos; at = bytes.find("OggS", at + 1)) pages.push_back(at);
    ASSERT_GE(pages.size(), 6u);
    size_t cut = pages.size() / 2;
    std::string holed = bytes.substr(0, pages[cut]) + bytes.substr(pages[cut + 1]);

    int8_t *whole = sound_decode_ogg_file(file("whole.ogg", bytes).c_str());
    ASSERT_NE(whole, nullptr);
    int8_t *gapped = sound_decode_ogg_file(file("holed.ogg", holed).c_str());
    ASSERT_NE(gapped, nullptr);
    // Before the hole the two decodes agree.
    EXPECT_EQ(memcmp(whole, gapped, 1000), 0);
    free(whole);
    free(gapped);

    SoundEffect *effect = sound_load_effect(file("holed.ogg", holed).c_str());
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(int(contents(effect).size()), g_ogg_sample_count);
}

// Damaged copies of good files: cut short, bytes changed. Each loads or fails, without a report from
// the sanitizers and without leaving a buffer or a file behind.
TEST_F(EffectLoading, DamagedFilesFailCleanly)
{
    std::string ogg = test_encode_ogg(test_sine(8000, 1, 44100, 700, 0.5), 1, 44100, 0.1f);
    std::string wav = test_wav_16bit(std::vector<int16_t>(500, 300), 11025);
    int files_before = open_file_count();
    std::mt19937 random(18);
    for (int round = 0; round < 150; round++) {
        for (const std::string *good : {&ogg, &wav}) {
            std::string bytes = *good;
            if (round % 3 == 0) bytes.resize(random() % bytes.size());
            int changes = 1 + int(random() % 8);
            for (int i = 0; i < changes && !bytes.empty(); i++) bytes[random() % bytes.size()] = char(random());
            SoundEffect *effect = sound_load_effect(file("damaged", bytes).c_str());
            sound_release_buffer(effect);
        }
    }
    EXPECT_EQ(open_file_count(), files_before);
    EXPECT_EQ(audio_live_buffer_count(), 0);
}

TEST_F(EffectLoading, SixteenBitWavIsBroughtTo44100)
{
    SoundEffect *effect = sound_load_wav(file("slow.wav", test_wav_16bit({0, 1000, 2000, 3000}, 22050)).c_str());
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(contents(effect), (std::vector<int16_t>{0, 250, 500, 750, 1000, 1250, 1500, 1750}));
    sound_release_buffer(effect);

    std::vector<int16_t> samples(300, -1234);
    struct Case {
        uint32_t rate;
        size_t count;
    } cases[] = {{22050, 600}, {11025, 1200}, {44100, 300}, {48000, 275}, {8000, 1653}};
    for (const Case &c : cases) {
        effect = sound_load_effect(file("rate.wav", test_wav_16bit(samples, c.rate)).c_str());
        ASSERT_NE(effect, nullptr) << c.rate;
        EXPECT_EQ(contents(effect), std::vector<int16_t>(c.count, -1234)) << c.rate;
        sound_release_buffer(effect);
    }

    // An odd data size drops its last byte.
    std::string data = "\x10\x00\x20\x00\x30\x00\x40";
    data.resize(7);
    TestWavHeader header;
    effect = sound_load_wav(file("odd.wav", test_wav_file(header, data)).c_str());
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(contents(effect).size(), 3u);
    sound_release_buffer(effect);
}

TEST_F(EffectLoading, OggIsDecodedToEightBitsAndWidened)
{
    const int count = 22050;
    std::vector<float> signal = test_sine(count, 1, 44100, 441.0, 0.5);
    std::string path = file("tone.ogg", test_encode_ogg(signal, 1, 44100));
    int files_before = open_file_count();
    SoundEffect *effect = sound_load_effect(path.c_str());
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(g_ogg_sample_count, count);
    EXPECT_EQ(g_ogg_channel_count, 1);
    // The file is closed once, by the decoder's own clean-up, and not left open.
    EXPECT_EQ(open_file_count(), files_before);

    std::vector<int16_t> samples = contents(effect);
    ASSERT_EQ(samples.size(), size_t(count));
    double error = 0;
    for (int i = 0; i < count; i++) {
        EXPECT_EQ(samples[size_t(i)] & 0xFF, 0) << i;
        double expected = signal[size_t(i)] * 32768.0;
        error += (samples[size_t(i)] - expected) * (samples[size_t(i)] - expected);
    }
    EXPECT_LT(std::sqrt(error / count), 600.0);  // 8-bit steps of 256 and the codec's own loss

    // Played, it comes out at the signal's level.
    sound_play_effect(effect, 0);
    ASSERT_EQ(audio_capture_start(g_sound_device, count), 1);
    audio_headless_advance(g_sound_device, count);
    std::vector<int16_t> out(2 * size_t(count));
    ASSERT_EQ(audio_capture_read(g_sound_device, out.data(), count), count);
    int peak = 0;
    for (int16_t value : out) peak = std::max(peak, std::abs(int(value)));
    EXPECT_NEAR(peak, 16384, 1200);
}

// Files from other programs: longer format chunks, chunks before the data, stereo; compressed data
// are refused.
TEST_F(EffectLoading, WavChunksAreWalkedAndChannelsMixed)
{
    std::string list = std::string("INFOISFT", 8) + std::string("\x05\x00\x00\x00tool\0", 9);  // odd: padded
    std::string fact = std::string("\x64\x00\x00\x00", 4);
    struct Case {
        const char *name;
        std::string bytes;
        size_t count;  // 0: refused
        int16_t sample;
    } cases[] = {
        {"fmt18-list", test_riff({{"fmt ", test_wav_format(1, 2, 22050, 16, 18)}, {"LIST", list},
                                  {"data", test_pcm16(100, {1000, -3000})}}), 200, -1000},
        {"extensible", test_riff({{"fmt ", test_wav_format(1, 2, 44100, 8, 40)}, {"fact", fact},
                                  {"data", std::string(200, char(192))}}), 100, 16384},
        {"data-first", test_riff({{"data", test_pcm16(50, {700})}, {"fmt ", test_wav_format(1, 1, 44100, 16)}}), 50,
         700},
        {"adpcm", test_riff({{"fmt ", test_wav_format(2, 1, 22050, 4, 18)}, {"data", std::string(100, 'x')}}), 0, 0},
        {"float", test_riff({{"fmt ", test_wav_format(3, 1, 44100, 32, 40)}, {"data", std::string(400, 'x')}}), 0, 0},
        {"24-bit", test_riff({{"fmt ", test_wav_format(1, 1, 44100, 24)}, {"data", std::string(300, 'x')}}), 0, 0},
        {"no-data", test_riff({{"fmt ", test_wav_format(1, 1, 44100, 16)}, {"LIST", list}}), 0, 0},
        {"not-riff", "RIFX" + test_wav_16bit(std::vector<int16_t>(100, 5), 44100).substr(4), 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SoundEffect *effect = sound_load_effect(file(c.name, c.bytes).c_str());
        if (c.count == 0) {
            EXPECT_EQ(effect, nullptr);
            continue;
        }
        ASSERT_NE(effect, nullptr);
        std::vector<int16_t> samples = contents(effect);
        EXPECT_EQ(samples.size(), c.count);
        EXPECT_EQ(samples[c.count / 2], c.sample);
        sound_release_buffer(effect);
    }
}

// Each channel its own tone: the effect is their average at 44100 Hz, of the file's duration.
TEST_F(EffectLoading, OggIsMixedDownAndBroughtTo44100)
{
    const double tones[3] = {300, 500, 800};
    struct Case {
        int channels, rate;
    } cases[] = {{2, 22050}, {1, 22050}, {3, 44100}, {2, 48000}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.channels << " channels at " << c.rate);
        int frames = c.rate / 2;
        std::vector<float> signal(size_t(frames) * size_t(c.channels));
        for (int i = 0; i < frames; i++)
            for (int k = 0; k < c.channels; k++)
                signal[size_t(i * c.channels + k)] = float(0.4 * std::sin(2 * M_PI * tones[k] * i / c.rate));
        SoundEffect *effect = sound_load_effect(file("tones.ogg", test_encode_ogg(signal, c.channels, c.rate)).c_str());
        ASSERT_NE(effect, nullptr);
        EXPECT_EQ(g_ogg_channel_count, c.channels);
        std::vector<int16_t> samples = contents(effect);
        EXPECT_NEAR(double(samples.size()), 22050.0, 220.0);

        double dot = 0, own = 0, theirs = 0;
        for (size_t i = 0; i < samples.size(); i++) {
            double mixed = 0;
            for (int k = 0; k < c.channels; k++) mixed += 0.4 * std::sin(2 * M_PI * tones[k] * double(i) / 44100.0);
            mixed = mixed / c.channels * 32768.0;
            dot += samples[i] * mixed;
            own += double(samples[i]) * samples[i];
            theirs += mixed * mixed;
        }
        EXPECT_GT(dot / std::sqrt(own * theirs), 0.95);
        sound_release_buffer(effect);
    }
}

// Files that loaded before the loaders learnt chunks, down-mixing and Ogg resampling keep every
// sample: the sound tests' and fuzz seeds' WAV inputs and mono 44,100 Hz Ogg inputs, with the hashes
// of their effects as the earlier loader made them.
TEST_F(EffectLoading, KnownInputsKeepTheirSamples)
{
    auto wave = [](int count) {
        std::vector<int16_t> samples;
        for (int i = 0; i < count; i++) samples.push_back(int16_t((i * 2731) % 30000 - 15000));
        return samples;
    };
    TestWavHeader eight;
    eight.bits = 8;
    eight.rate = 8000;
    TestWavHeader odd;
    odd.rate = 32000;
    TestWavHeader eight44;
    eight44.bits = 8;
    std::string odd16 = "\x10\x00\x20\x00\x30\x00\x40";
    odd16.resize(7);
    struct Case {
        const char *name;
        std::string bytes;
        uint64_t hash;
    } cases[] = {
        {"silence8", test_wav_file(eight44, std::string(50, char(128))), 0x1fc05eb337858375ull},
        {"top8", test_wav_file(eight44, std::string(50, char(255))), 0x2bf23d4834c555adull},
        {"slow", test_wav_16bit({0, 1000, 2000, 3000}, 22050), 0xedf4d6be2dc5def0ull},
        {"11025", test_wav_16bit(std::vector<int16_t>(300, -1234), 11025), 0x3e48343b3c9fa485ull},
        {"48000", test_wav_16bit(std::vector<int16_t>(300, -1234), 48000), 0xd833c44c3df5d502ull},
        {"odd", test_wav_file(TestWavHeader(), odd16), 0xe15a39f70368f99aull},
        {"seed-22050", test_wav_16bit(wave(64), 22050), 0x1b33435ffc989032ull},
        {"seed-44100", test_wav_16bit(wave(40), 44100), 0x6dd7ef2725a49a90ull},
        {"seed-11025", test_wav_16bit(wave(20), 11025), 0x3600d65211b341c4ull},
        {"seed-8bit", test_wav_file(eight, std::string("\x80\xff\x00\x40\xc0\x7f\x81", 7)), 0xe4b9e2e102f3564full},
        {"seed-odd", test_wav_file(odd, std::string("\x01\x02\x03\x04\x05", 5)), 0xbe812877516b3b49ull},
        {"tone", test_encode_ogg(test_sine(22050, 1, 44100, 441.0, 0.5), 1, 44100), 0xc6b5334946c8660eull},
        {"seed-mono", test_encode_ogg(test_sine(2000, 1, 44100, 440, 0.5), 1, 44100, 0.0f), 0x52d7186eacd681e7ull},
        {"damage-source", test_encode_ogg(test_sine(8000, 1, 44100, 700, 0.5), 1, 44100, 0.1f), 0x5800503b131df6e5ull},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SoundEffect *effect = sound_load_effect(file(c.name, c.bytes).c_str());
        ASSERT_NE(effect, nullptr);
        uint64_t hash = 14695981039346656037ull;  // FNV-1a over the samples' bytes
        for (int16_t sample : contents(effect)) {
            for (int shift : {0, 8}) hash = (hash ^ ((uint16_t(sample) >> shift) & 0xFF)) * 1099511628211ull;
        }
        EXPECT_EQ(hash, c.hash);
        sound_release_buffer(effect);
    }
}
