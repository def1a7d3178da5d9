// The two music modules: read back through the game's loader (form, key, motifs, bass), rendered
// through the game's player (levels, key, tempo) and, when libxmp is installed, played by it too.
// ZAV_MUSIC_WAV=1 also writes a 60 s render of each into the working folder, for listening.
#include "sound/music.h"
#include "sound/music_writer.h"
#include "tests/sound/music_xmp.h"
#include "tests/sound/sound_test_util.h"
#include "tests/test_util.h"
#include "tests/tools/data_measure.h"
#include "tools/data_synth.h"
#include "tools/data_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

const double rate = 44100.0;

struct Design {
    const char *file;
    int bpm, tonic_class, patterns;
    std::vector<int> section_orders;  // the first order of each section
};

const Design designs[] = {{"menu.zik", 100, 0, 8, {0, 2, 4, 6}}, {"music1.zik", 112, 5, 12, {0, 3, 6, 9}}};

bool in_major(int pitch_class, int tonic_class)
{
    static const bool scale[12] = {1, 0, 1, 0, 1, 1, 0, 1, 0, 1, 0, 1};
    return scale[((pitch_class - tonic_class) % 12 + 12) % 12];
}

// A note of one channel in song order.
struct Event {
    int row;  // from the song's start
    int midi;
};

class DataMusicTest : public ::testing::Test {
protected:
    static TempDir *temp;

    static void SetUpTestSuite()
    {
        temp = new TempDir();
        data_write_music(*temp / "data");
    }
    static void TearDownTestSuite() { delete temp; }

    void SetUp() override { music_reset_player(); }
    void TearDown() override
    {
        for (int i = 0; i < g_music_module_count; i++) {
            music_free_module(g_music_modules[i]);
            g_music_modules[i] = nullptr;
        }
        music_reset_player();
    }

    static std::string path(const Design &design) { return *temp / ("data/sound/" + std::string(design.file)); }

    // Loads a module; with `keep` a filter of instrument names whose cells stay (others cleared).
    MusicModule *load(const Design &design, bool (*keep)(const std::string &) = nullptr)
    {
        int32_t index = music_load_module(path(design).c_str());
        EXPECT_GE(index, 0) << design.file;
        if (index < 0) return nullptr;
        MusicModule *module = g_music_modules[index];
        if (keep) {
            for (int p = 0; p < module->pattern_count; p++)
                for (int c = 0; c < module->channel_count; c++)
                    for (uint32_t r = 0; r < module->patterns[p].row_count; r++) {
                        MusicCell &cell = module->patterns[p].columns[c][r];
                        if (cell.instrument && !keep(module->instruments[cell.instrument].name)) cell = {65535, 0, 0, 0, 0, 0};
                    }
        }
        return module;
    }
};

TempDir *DataMusicTest::temp;

bool is_drum(const std::string &name) { return name == "kick" || name == "snare" || name == "hat"; }

// The notes of the instrument named `name`, in song order.
std::vector<Event> events_of(const MusicModule *module, const char *name)
{
    std::vector<Event> out;
    for (int o = 0; o < module->song_length; o++) {
        const MusicPattern &pattern = module->patterns[module->orders[o]];
        for (uint32_t r = 0; r < pattern.row_count; r++)
            for (int c = 0; c < module->channel_count; c++) {
                const MusicCell &cell = pattern.columns[c][r];
                if (cell.note >= 1 && cell.note <= 96 && cell.instrument &&
                    std::string(module->instruments[cell.instrument].name) == name)
                    out.push_back({o * 64 + int(r), cell.note + 11});
            }
    }
    return out;
}

// Rows of a two-bar window and the steps between its notes.
std::pair<std::vector<int>, std::vector<int>> shape(const std::vector<Event> &events, int from)
{
    std::vector<int> rows, steps;
    int previous = -1;
    for (const Event &e : events) {
        if (e.row < from || e.row >= from + 32) continue;
        rows.push_back(e.row - from);
        if (previous >= 0) steps.push_back(e.midi - previous);
        previous = e.midi;
    }
    return {rows, steps};
}

TEST_F(DataMusicTest, ReadsBackAsComposed)
{
    int fewest_motifs = 1000;
    for (const Design &design : designs) {
        SCOPED_TRACE(design.file);
        MusicModule *module = load(design);
        ASSERT_NE(module, nullptr);
        EXPECT_EQ(module->type, 1);
        EXPECT_EQ(module->default_bpm, design.bpm);
        EXPECT_EQ(module->default_speed, 6);
        EXPECT_EQ(module->song_length, design.patterns);
        for (int p = 0; p < module->pattern_count; p++) EXPECT_EQ(module->patterns[p].row_count, 64u);

        std::vector<Event> lead = events_of(module, "lead");
        ASSERT_GT(lead.size(), 100u);
        int in_scale = 0, small_steps = 0;
        for (size_t k = 0; k < lead.size(); k++) {
            in_scale += in_major(lead[k].midi % 12, design.tonic_class);
            if (k) small_steps += std::abs(lead[k].midi - lead[k - 1].midi) <= 2;
        }
        EXPECT_GE(in_scale, 0.9 * double(lead.size()));
        EXPECT_GE(small_steps, 0.6 * double(lead.size() - 1));

        // Each section's opening two bars come back, same rhythm and intervals, 3 times or more.
        int rows = module->song_length * 64;
        for (int order : design.section_orders) {
            auto motif = shape(lead, order * 64);
            int count = 0;
            for (int from = 0; from < rows; from += 32) count += shape(lead, from) == motif;
            EXPECT_GE(count, 3) << "section at order " << order;
            fewest_motifs = std::min(fewest_motifs, count);
        }

        // The bass on each bar's first row is the root of the triad the pad plays in that bar.
        std::vector<Event> bass = events_of(module, "bass"), pad = events_of(module, "pad");
        int bars = rows / 16, rooted = 0;
        for (int bar = 0; bar < bars; bar++) {
            int count[12] = {};
            for (const Event &e : pad)
                if (e.row / 16 == bar) count[e.midi % 12]++;
            int best_root = -1, best = 0;
            for (int root = 0; root < 12; root++)
                for (int third : {3, 4}) {
                    int score = count[root] + count[(root + third) % 12] + count[(root + 7) % 12];
                    if (score > best) best = score, best_root = root;
                }
            for (const Event &e : bass)
                if (e.row == bar * 16) rooted += e.midi % 12 == best_root;
        }
        EXPECT_GE(rooted, 0.9 * bars);
    }
    printf("figure: fewest recurrences of a section's motif %d\n", fewest_motifs);
}

// Frames of a render of `seconds`, and the frame at which the song ended.
struct Render {
    std::vector<int16_t> frames;  // interleaved stereo
    int32_t ended;
    std::vector<MusicOfflineTick> ticks;
};

Render render(int32_t index, double seconds)
{
    Render out;
    int32_t frames = int32_t(seconds * rate);
    out.frames.resize(2 * size_t(frames));
    out.ticks.resize(size_t(frames / 700));
    out.ended = music_render_offline(index, out.frames.data(), frames, out.ticks.data(), int32_t(out.ticks.size()));
    return out;
}

// Left plus right, 1 = full scale.
std::vector<float> mono(const std::vector<int16_t> &frames)
{
    std::vector<float> out(frames.size() / 2);
    for (size_t i = 0; i < out.size(); i++) out[i] = float((frames[2 * i] + frames[2 * i + 1]) / 32768.0);
    return out;
}

void write_wav(const std::string &path, const int16_t *frames, size_t count)
{
    TestWavHeader stereo;
    stereo.channels = 2;
    test_write_file(path, test_wav_file(stereo, std::string(reinterpret_cast<const char *>(frames), 4 * count)));
}

TEST_F(DataMusicTest, SoundsInKeyAndTime)
{
    double worst_share = 1.0, worst_period = 0.0;
    for (const Design &design : designs) {
        SCOPED_TRACE(design.file);
        double row_seconds = 60.0 / design.bpm / 4.0, song = design.patterns * 64 * row_seconds;

        ASSERT_NE(load(design), nullptr);
        Render whole = render(g_music_module_count - 1, 2.0 * song + 1.0);
        std::vector<float> mix = mono(whole.frames);
        EXPECT_NEAR(whole.ended / rate, song, row_seconds);
        double quietest = 1.0;
        for (size_t from = 0; from + size_t(2 * rate) <= size_t(2 * song * rate); from += size_t(rate / 2))
            quietest = std::min(quietest, measure_rms(mix, from, size_t(2 * rate)));
        EXPECT_GE(measure_db(quietest), -40.0);
        size_t clipped = 0;
        for (int16_t value : whole.frames) clipped += value >= 32767 || value <= -32767;
        EXPECT_LT(double(clipped), 0.001 * double(whole.frames.size()));
        if (getenv("ZAV_MUSIC_WAV"))
            write_wav((std::filesystem::current_path() / (std::string(design.file) + ".wav")).string(),
                      whole.frames.data(), std::min(whole.frames.size() / 2, size_t(60 * 44100)));

        // Key: the chroma of the tuned parts, folded from spectra of 4096 frames.
        ASSERT_NE(load(design, [](const std::string &name) { return !is_drum(name); }), nullptr);
        std::vector<float> tuned = mono(render(g_music_module_count - 1, song).frames);
        double chroma[12] = {};
        for (size_t from = 0; from + 4096 <= tuned.size(); from += 4096) {
            std::vector<double> spectrum = measure_spectrum(tuned, from, 4096, 4096);
            for (size_t k = 1; k < spectrum.size(); k++) {
                double hz = double(k) * rate / 4096.0;
                if (hz < 60.0 || hz > 5000.0) continue;
                int pitch_class = int(std::lround(12.0 * std::log2(hz / 440.0) + 69.0)) % 12;
                chroma[pitch_class] += spectrum[k] * spectrum[k];
            }
        }
        double total = 0.0, shares[12] = {};
        for (double energy : chroma) total += energy;
        for (int tonic = 0; tonic < 12; tonic++)
            for (int pc = 0; pc < 12; pc++) shares[tonic] += in_major(pc, tonic) ? chroma[pc] / total : 0.0;
        EXPECT_EQ(std::max_element(shares, shares + 12) - shares, design.tonic_class);
        EXPECT_GE(shares[design.tonic_class], 0.85);
        worst_share = std::min(worst_share, shares[design.tonic_class]);

        // Time: the drums alone. The player's ticks are a whole number of frames, so its clock runs
        // a few hundredths of a percent fast: each bar's grid starts at that bar's low onset.
        ASSERT_NE(load(design, is_drum), nullptr);
        std::vector<float> drums = mono(render(g_music_module_count - 1, song).frames);
        // Onsets above 400 Hz in 5 ms windows, and under 150 Hz in 20 ms windows (a kick's slow
        // cycles would make shorter windows flicker).
        std::vector<float> high = drums, low = drums;
        SynthBiquad high_pass[2] = {synth_biquad(SYNTH_HIGHPASS, 400.0, 0.7), synth_biquad(SYNTH_HIGHPASS, 400.0, 0.7)};
        SynthBiquad low_pass[2] = {synth_biquad(SYNTH_LOWPASS, 150.0, 0.7), synth_biquad(SYNTH_LOWPASS, 150.0, 0.7)};
        for (float &value : high) value = synth_biquad_run(&high_pass[1], synth_biquad_run(&high_pass[0], value));
        for (float &value : low) value = synth_biquad_run(&low_pass[1], synth_biquad_run(&low_pass[0], value));
        std::vector<double> onsets = measure_onsets(high, rate, 6.0, 25.0, 0.03);
        std::vector<double> low_onsets = measure_onsets(low, rate, 6.0, 20.0, 0.05, 20.0);
        double bar = 16 * row_seconds, sixteenth = row_seconds;
        int bars = design.patterns * 4;
        for (int b = 0; b < bars; b++) {
            double anchor = -1.0;
            for (double t : low_onsets)
                if (anchor < 0.0 && std::fabs(t - b * bar) < 0.06) anchor = t;
            ASSERT_GE(anchor, 0.0) << "no low onset on beat 1 of bar " << b;
            // The finer onset of the same hit.
            double nearest = 1.0;
            for (double t : onsets)
                if (std::fabs(t - anchor) < std::fabs(nearest)) nearest = t - anchor;
            if (std::fabs(nearest) < 0.03) anchor += nearest;
            for (double t : onsets) {
                if (t < anchor - 0.03 || t >= anchor + bar - 0.03) continue;
                double steps = (t - anchor) / sixteenth;
                EXPECT_LE(std::fabs(steps - std::round(steps)) * sixteenth, 0.020) << "bar " << b << " at " << t;
            }
        }
        // The onset envelope repeats at the beat or a multiple of it.
        std::vector<double> levels = measure_rms_windows(drums, rate), flux(levels.size(), 0.0);
        for (size_t i = 1; i < levels.size(); i++) flux[i] = std::max(0.0, levels[i] - levels[i - 1]);
        double beat = 4 * row_seconds, window = measure_window_seconds(rate);
        size_t low_lag = size_t(0.9 * beat / window), high_lag = size_t(4.5 * beat / window);
        std::vector<double> correlation(high_lag + 2, 0.0);
        for (size_t lag = low_lag - 1; lag <= high_lag + 1; lag++)
            for (size_t i = 0; i + lag < flux.size(); i++) correlation[lag] += flux[i] * flux[i + lag];
        size_t best = low_lag;
        for (size_t lag = low_lag; lag <= high_lag; lag++)
            if (correlation[lag] > correlation[best]) best = lag;
        double a = correlation[best - 1], b = correlation[best], c = correlation[best + 1];
        double period = (double(best) + 0.5 * (a - c) / (a - 2 * b + c)) * window;
        double beats = period / beat;
        EXPECT_NEAR(beats, std::round(beats), 0.01 * std::round(beats)) << "period " << period;
        worst_period = std::max(worst_period, std::fabs(beats / std::round(beats) - 1.0));
    }
    printf("figure: key share %.3f, beat period off by %.2f%% at most\n", worst_share, 100.0 * worst_period);
}

// The frames of every tick and its position, as libxmp plays the module.
struct XmpTick {
    int order, row;
    std::vector<int> sums;  // left plus right
};

std::vector<XmpTick> render_xmp(const MusicXmp *x, const std::string &bytes, int ticks)
{
    std::vector<XmpTick> out;
    music_xmp_play(x, bytes, true, ticks, [&out](const xmp_frame_info &info, const std::vector<int> &sums) {
        out.push_back({info.pos, info.row, sums});
    });
    return out;
}

double rms_of(const std::vector<double> &values)
{
    double sum = 0.0;
    for (double v : values) sum += v * v;
    return values.empty() ? 0.0 : std::sqrt(sum / double(values.size()));
}

TEST_F(DataMusicTest, SecondPlayerAgrees)
{
    const MusicXmp *x = music_xmp();
    if (!x) GTEST_SKIP() << "libxmp.so.4 is not installed";

    // Calibration: one channel holding a constant sample at volume 64, written the same way.
    MusicWriterSong one;
    one.channels = 1;
    one.orders = {0};
    MusicWriterSample constant;
    constant.data.assign(64, 0x2000);
    constant.loop_length = 64;
    constant.loop_type = 1;
    constant.sixteen_bit = true;
    MusicWriterInstrument holder;
    holder.samples.push_back(constant);
    one.instruments.push_back(holder);
    music_writer_cell(one, 0, 0, 0) = {49, 1, 0x50, 0, 0};
    std::string one_bytes = music_write_xm(one);
    test_write_file(*temp / "one.xm", one_bytes);
    ASSERT_GE(music_load_module((*temp / "one.xm").c_str()), 0);
    Render ours_one = render(g_music_module_count - 1, 1.0);
    std::vector<XmpTick> theirs_one = render_xmp(x, one_bytes, 40);
    ASSERT_EQ(theirs_one.size(), 40u);
    double ours_level = 0.0, theirs_level = 0.0;
    for (size_t f = 10000; f < 30000; f++) ours_level += (ours_one.frames[2 * f] + ours_one.frames[2 * f + 1]) / 20000.0;
    int count = 0;
    for (size_t t = 10; t < 30; t++)
        for (int v : theirs_one[t].sums) theirs_level += v, count++;
    theirs_level /= count;
    ASSERT_GT(theirs_level, 0.0);
    double scale = ours_level / theirs_level;

    double largest = 0.0;
    for (const Design &design : designs) {
        SCOPED_TRACE(design.file);
        int song_ticks = design.patterns * 64 * 6;
        ASSERT_NE(load(design), nullptr);
        double song = design.patterns * 64 * 15.0 / design.bpm;
        Render ours = render(g_music_module_count - 1, song + 1.0);
        std::vector<XmpTick> theirs = render_xmp(x, test_read_file(path(design)), song_ticks);
        ASSERT_EQ(int(theirs.size()), song_ticks);
        ASSERT_GT(ours.ended, 0);

        // The same rows in the same order, tick by tick.
        for (int t = 0; t < song_ticks; t++)
            ASSERT_TRUE(ours.ticks[size_t(t)].order == theirs[size_t(t)].order &&
                        ours.ticks[size_t(t)].row == theirs[size_t(t)].row)
                << "tick " << t << ": ours " << ours.ticks[size_t(t)].order << "/" << ours.ticks[size_t(t)].row
                << ", libxmp " << theirs[size_t(t)].order << "/" << theirs[size_t(t)].row;

        // Levels of each four bars (one pattern, 384 ticks), ours in our ticks' frames.
        double frames_per_tick = double(ours.ended) / song_ticks;
        for (int section = 0; section < design.patterns; section++) {
            std::vector<double> a, b;
            size_t from = size_t(section * 384 * frames_per_tick), to = size_t((section + 1) * 384 * frames_per_tick);
            for (size_t f = from; f < to; f++) a.push_back(ours.frames[2 * f] + ours.frames[2 * f + 1]);
            for (int t = section * 384; t < (section + 1) * 384; t++)
                for (int v : theirs[size_t(t)].sums) b.push_back(v * scale);
            double difference = measure_db(rms_of(a) / rms_of(b));
            EXPECT_NEAR(difference, 0.0, 1.0) << "section " << section;
            largest = std::max(largest, std::fabs(difference));
        }
    }
    printf("figure: largest level difference from libxmp over four bars %.2f dB\n", largest);
}

}  // namespace
