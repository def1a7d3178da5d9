// The sound effects as the game plays them: each file written by the tool, decoded by the game's
// own Ogg loader to 8 bits, then measured (format, levels, envelopes, spectra, notes).
#include "sound/sound.h"
#include "tests/test_util.h"
#include "tests/tools/data_measure.h"
#include "tools/data_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

namespace {

const double rate = 44100.0;

struct Decoded {
    int channels = 0, rate = 0;
    std::vector<float> samples;
};

class DataSoundsTest : public ::testing::Test {
protected:
    static TempDir *temp;
    static std::map<std::string, Decoded> *sounds;

    static void SetUpTestSuite()
    {
        temp = new TempDir();
        sounds = new std::map<std::string, Decoded>();
        if (!data_write_sounds(*temp / "data")) return;
        for (const char *name : {"son1", "son2", "hit", "tok", "jingle_start", "jingle_end", "jingle",
                                 "jingle_lost", "plouf", "wind", "windloop", "bird1", "bird2", "crickets"}) {
            std::string path = *temp / ("data/sound/" + std::string(name) + ".ogg");
            int8_t *data = sound_decode_ogg_file(path.c_str());
            if (!data) continue;
            Decoded &d = (*sounds)[name];
            d.channels = g_ogg_channel_count;
            d.rate = g_ogg_sample_rate;
            for (int32_t i = 0; i < g_ogg_sample_count; i++) d.samples.push_back(float(data[i]) / 128.0f);
            free(data);
        }
    }
    static void TearDownTestSuite()
    {
        delete sounds;
        delete temp;
    }

    const std::vector<float> &get(const char *name)
    {
        static const std::vector<float> none;
        auto found = sounds->find(name);
        EXPECT_NE(found, sounds->end()) << name << " was not written or does not decode";
        return found == sounds->end() ? none : found->second.samples;
    }
    static std::string path(const char *name) { return *temp / ("data/sound/" + std::string(name) + ".ogg"); }
};

TempDir *DataSoundsTest::temp;
std::map<std::string, Decoded> *DataSoundsTest::sounds;

double peak_of(const std::vector<float> &s, size_t from = 0, size_t count = SIZE_MAX)
{
    double peak = 0.0;
    for (size_t i = from; i < s.size() && i - from < count; i++) peak = std::max(peak, double(std::fabs(s[i])));
    return peak;
}

size_t at(double seconds) { return size_t(seconds * rate); }

TEST_F(DataSoundsTest, FormatAndLevels)
{
    struct Row {
        const char *name;
        double seconds, peak_db;
    };
    const Row table[] = {{"son1", 0.04, -6},        {"son2", 0.06, -6},   {"hit", 0.12, -3},
                         {"tok", 0.06, -6},         {"jingle_start", 1.0, -3}, {"jingle_end", 2.0, -3},
                         {"jingle", 0.8, -4},       {"jingle_lost", 1.2, -4},  {"plouf", 0.8, -3},
                         {"wind", 3.0, -9},         {"windloop", 8.0, -12},    {"bird1", 1.0, -12},
                         {"bird2", 1.0, -12},       {"crickets", 2.0, -15}};
    audio_headless_set_device_count(1);
    audio_headless_set_failures(0);
    ASSERT_EQ(sound_init_system(nullptr), 1);
    for (const Row &row : table) {
        SCOPED_TRACE(row.name);
        const std::vector<float> &s = get(row.name);
        ASSERT_FALSE(s.empty());
        EXPECT_EQ(sounds->at(row.name).channels, 1);
        EXPECT_EQ(sounds->at(row.name).rate, 44100);
        EXPECT_NEAR(double(s.size()) / rate, row.seconds, 0.1 * row.seconds);
        EXPECT_NEAR(measure_db(peak_of(s)), row.peak_db, 1.5);
        if (std::string(row.name) != "windloop") {
            EXPECT_LE(std::fabs(s[0]), 2.0 / 128.0);
            EXPECT_EQ(peak_of(s, s.size() - at(0.010)), 0.0);
        }
        SoundEffect *effect = sound_load_effect(path(row.name).c_str());
        EXPECT_NE(effect, nullptr);
        sound_release_buffer(effect);
    }
    sound_shutdown_system();
}

TEST_F(DataSoundsTest, Envelopes)
{
    for (const char *name : {"hit", "tok"}) {
        SCOPED_TRACE(name);
        std::vector<double> rms = measure_rms_windows(get(name), rate);
        ASSERT_GT(rms.size(), 4u);
        size_t loudest = size_t(std::max_element(rms.begin(), rms.end()) - rms.begin());
        EXPECT_LT(loudest, 2u);  // within the first 10 ms
        // By the end: the last window with sound in it.
        size_t last = rms.size() - 1;
        while (last > 0 && rms[last] == 0.0) last--;
        EXPECT_LT(measure_db(std::min(rms.back(), rms[last]) / rms[loudest]), -30.0);
    }

    const std::vector<float> &wind = get("wind");
    double best = 0.0;
    size_t best_at = 0;
    for (size_t from = 0; from + at(0.5) <= wind.size(); from += at(0.05)) {
        double level = measure_rms(wind, from, at(0.5));
        if (level > best) best = level, best_at = from;
    }
    EXPECT_GE(best_at, at(0.75));
    EXPECT_LE(best_at + at(0.5), at(2.25));
    EXPECT_LE(measure_db(measure_rms(wind, 0, at(0.25)) / best), -12.0);
    EXPECT_LE(measure_db(measure_rms(wind, wind.size() - at(0.25), at(0.25)) / best), -12.0);

    const std::vector<float> &loop = get("windloop");
    ASSERT_GT(loop.size(), at(2.0));
    double first = measure_rms(loop, 0, at(1.0)), last = measure_rms(loop, loop.size() - at(1.0), at(1.0));
    EXPECT_NEAR(measure_db(first / last), 0.0, 2.0);
    float largest = 0.0f;
    for (size_t i = 1; i < loop.size(); i++) largest = std::max(largest, std::fabs(loop[i] - loop[i - 1]));
    EXPECT_LE(std::fabs(loop.front() - loop.back()), largest);
}

TEST_F(DataSoundsTest, Spectra)
{
    struct Partials {
        const char *name;
        std::vector<double> hz;
    };
    const Partials partials[] = {{"hit", {1800, 3200}}, {"tok", {700, 1400}}, {"son1", {2000}}, {"son2", {1000}}};
    for (const Partials &p : partials) {
        SCOPED_TRACE(p.name);
        const std::vector<float> &s = get(p.name);
        std::vector<MeasurePeak> peaks = measure_peaks(measure_spectrum(s, 0, s.size(), 16384), rate, 100, 10000);
        ASSERT_GE(peaks.size(), p.hz.size());
        std::vector<double> strongest;
        for (size_t k = 0; k < p.hz.size(); k++) strongest.push_back(peaks[k].hz);
        std::sort(strongest.begin(), strongest.end());
        for (size_t k = 0; k < p.hz.size(); k++) EXPECT_NEAR(strongest[k], p.hz[k], 0.05 * p.hz[k]);
    }

    const std::pair<const char *, double> centroids[] = {{"plouf", 2000}, {"wind", 1000}, {"windloop", 1000}};
    for (const auto &[name, limit] : centroids) {
        const std::vector<float> &s = get(name);
        EXPECT_LT(measure_centroid(measure_spectrum(s, 0, s.size(), 1 << 19), rate), limit) << name;
    }

    for (const char *name : {"bird1", "bird2"}) {
        SCOPED_TRACE(name);
        const std::vector<float> &s = get(name);
        double peak = measure_peaks(measure_spectrum(s, 0, s.size(), 65536), rate, 100, 20000).at(0).hz;
        EXPECT_GE(peak, 2500.0);
        EXPECT_LE(peak, 5000.0);
        // The widest sweep of a chirp: peak frequencies of 5 ms steps while the sound lasts.
        std::vector<double> rms = measure_rms_windows(s, rate);
        double loudest = *std::max_element(rms.begin(), rms.end()), widest = 0.0;
        for (size_t i = 0; i < rms.size();) {
            if (measure_db(rms[i] / loudest) < -12.0) {
                i++;
                continue;
            }
            double low = 1e9, high = 0.0;
            for (; i < rms.size() && measure_db(rms[i] / loudest) >= -12.0; i++) {
                size_t window = size_t(measure_window_seconds(rate) * rate);
                double hz = measure_pitch(s, rate, i * window, 2 * window, 1000, 10000);
                low = std::min(low, hz), high = std::max(high, hz);
            }
            widest = std::max(widest, high - low);
        }
        EXPECT_GE(widest, 500.0);
    }

    const std::vector<float> &crickets = get("crickets");
    EXPECT_NEAR(measure_pitch(crickets, rate, 0, crickets.size()), 4500.0, 225.0);
    std::vector<double> envelope = measure_rms_windows(crickets, rate);
    std::vector<float> level(envelope.begin(), envelope.end());
    double mean = 0.0;
    for (float v : level) mean += v / double(level.size());
    for (float &v : level) v = float(v - mean);
    // The envelope sampled every 5 ms: its pulsing, above the slow rhythm of the chirps.
    double pulse = measure_pitch(level, 1.0 / measure_window_seconds(rate), 0, level.size(), 10.0, 90.0);
    EXPECT_GE(pulse, 25.0);
    EXPECT_LE(pulse, 35.0);
}

TEST_F(DataSoundsTest, JinglesPlayTheirNotes)
{
    // The pitch of each note heard just after its onset.
    auto notes_of = [](const std::vector<float> &s, const std::vector<double> &onsets) {
        std::vector<double> out;
        for (double t : onsets) out.push_back(measure_pitch(s, rate, at(t + 0.01), at(0.09), 100, 3000));
        return out;
    };

    const std::vector<float> &start = get("jingle_start");
    std::vector<double> onsets = measure_onsets(start, rate);
    ASSERT_EQ(onsets.size(), 4u);
    std::vector<double> notes = notes_of(start, onsets);
    const double expected[4] = {72, 76, 79, 84};
    for (int k = 0; k < 4; k++) EXPECT_NEAR(measure_cents(notes[size_t(k)], measure_midi_hz(expected[k])), 0.0, 30.0) << k;

    const std::vector<float> &jingle = get("jingle");
    EXPECT_NEAR(measure_cents(measure_pitch(jingle, rate, at(0.02), at(0.25)), measure_midi_hz(67)), 0.0, 30.0);
    EXPECT_NEAR(measure_cents(measure_pitch(jingle, rate, at(0.34), at(0.3)), measure_midi_hz(64)), 0.0, 30.0);

    const std::vector<float> &end = get("jingle_end");
    EXPECT_GE(measure_flatness(measure_spectrum(end, 0, at(0.08), 4096), rate, 500, 8000), 0.3);
    std::vector<double> after;
    for (double t : measure_onsets(end, rate))
        if (t >= 0.08 && t < 0.5) after.push_back(t);
    ASSERT_GE(after.size(), 3u);
    std::vector<double> rising = notes_of(end, after);
    for (size_t k = 1; k < rising.size(); k++) EXPECT_GT(rising[k], rising[k - 1]) << k;

    const std::vector<float> &lost = get("jingle_lost");
    size_t quarter = lost.size() / 4;
    double first = measure_pitch(lost, rate, 0, quarter), last = measure_pitch(lost, rate, 3 * quarter, quarter);
    EXPECT_LE(measure_cents(last, first), -500.0);
}

}  // namespace
