// A second opinion: generated modules played by our player and by libxmp (loaded at run time, in
// this process), compared tick by tick. The song position must match exactly; the level of a
// constant sample, in volume steps, within one step and 1.5 %; the pitch of a square wave at the
// distance in cents that the two clocks make. The modules leave out what our player does
// differently on purpose (vibrato, arpeggio, binary D and F20, jumps at tick 0 of their row, key
// off, fadeout, envelope tails, note-only XM cells, samples switched under a tone portamento, odd
// negative finetunes, pan); tremolo and MOD finetunes, which differ by design, are checked as
// differences.
#include "tests/sound/music_test_util.h"
#include "tests/sound/music_xmp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

namespace {

const int skip_frames = 100;  // the reference ramps volume changes over the first frames of a tick

struct Tick {
    int order, row, tick, speed;
    double level;      // mean of left plus right
    double frequency;  // of the square wave, 0 when it cannot be measured
};

// Frequency from the rising zero crossings of left plus right, placed between frames.
double frequency_of(const std::vector<int> &signal)
{
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t f = size_t(skip_frames) + 1; f < signal.size(); f++) {
        if (signal[f - 1] < 0 && signal[f] >= 0) {
            double at = double(f - 1) + double(-signal[f - 1]) / double(signal[f] - signal[f - 1]);
            if (first < 0) first = at;
            last = at;
            crossings++;
        }
    }
    return crossings >= 3 ? (crossings - 1) * 44100.0 / (last - first) : 0.0;
}

Tick measure(int order, int row, int tick, int speed, const std::vector<int> &signal)
{
    double sum = 0;
    for (size_t f = skip_frames; f < signal.size(); f++) sum += signal[f];
    return {order, row, tick, speed, sum / double(signal.size() - skip_frames), frequency_of(signal)};
}

std::vector<Tick> render_ours(const std::string &bytes, bool xm, int ticks)
{
    std::unique_ptr<MusicModule, void (*)(MusicModule *)> module(music_test_load(bytes, xm), music_free_module);
    std::vector<Tick> out;
    if (!module) return out;
    music_test_start(module.get());
    for (int i = 0; i < ticks; i++) {
        MusicTestTick t = music_test_tick(module.get());
        std::vector<int> signal;
        for (int f = 0; f < t.frames; f++) signal.push_back(t.left[f] + t.right[f]);
        // The speed the tick played at, after its row's effects, as libxmp reports it.
        out.push_back(measure(t.order, t.row, t.tick, g_music_speed, signal));
    }
    g_music_current_module = nullptr;
    return out;
}

std::vector<Tick> render_xmp(const std::string &bytes, bool xm, int ticks)
{
    std::vector<Tick> out;
    music_xmp_play(music_xmp(), bytes, xm, ticks, [&out](const xmp_frame_info &info, const std::vector<int> &sums) {
        out.push_back(measure(info.pos, info.row, info.frame, info.speed, sums));
    });
    return out;
}

void expect_same_position(const std::vector<Tick> &ours, const std::vector<Tick> &theirs, int ticks)
{
    ASSERT_EQ(int(ours.size()), ticks);
    ASSERT_EQ(int(theirs.size()), ticks);
    for (int i = 0; i < ticks; i++) {
        const Tick &a = ours[i], &b = theirs[i];
        ASSERT_TRUE(a.order == b.order && a.row == b.row && a.tick == b.tick && a.speed == b.speed)
            << "tick " << i << ": ours " << a.order << "/" << a.row << "/" << a.tick << " speed " << a.speed
            << ", libxmp " << b.order << "/" << b.row << "/" << b.tick << " speed " << b.speed;
    }
}

// Levels in volume steps: ours has 256 per step on the constant sample (16384 at volume 64),
// libxmp's scale is taken from the first tick, which every scene makes a volume-64 tick of the
// constant sample. Ours plays 64 as 63.
void expect_same_levels(const std::vector<Tick> &ours, const std::vector<Tick> &theirs)
{
    double full = theirs[0].level;
    ASSERT_GT(full, 0.0);
    for (size_t i = 0; i < ours.size(); i++) {
        double a = ours[i].level / 256.0;
        double b = std::min(63.0, theirs[i].level / full * 64.0);
        EXPECT_NEAR(a, b, 1.0 + 0.015 * b) << "tick " << i << " (" << ours[i].order << "/" << ours[i].row << "/"
                                          << ours[i].tick << ")";
    }
}

double cents_between(double ours, double theirs) { return 1200.0 * std::log2(ours / theirs); }

// Pitch: where both sound a measurable tone, ours lies `low` to `high` cents above the distance
// that the clocks make at that tick: our periods are integers, a little below the exact ones.
// Returns the number of ticks compared.
int expect_same_pitch(const std::vector<Tick> &ours, const std::vector<Tick> &theirs,
                      const std::function<double(const Tick &)> &clocks, double low, double high)
{
    int compared = 0;
    for (size_t i = 0; i < ours.size(); i++) {
        if (ours[i].frequency <= 0 || theirs[i].frequency <= 0) continue;
        double difference = cents_between(ours[i].frequency, theirs[i].frequency) - clocks(ours[i]);
        EXPECT_NEAR(difference, (low + high) / 2, (high - low) / 2)
            << "tick " << i << " (" << ours[i].order << "/" << ours[i].row << "/" << ours[i].tick << "): "
            << ours[i].frequency << " Hz against " << theirs[i].frequency << " Hz";
        compared++;
    }
    return compared;
}

#define REQUIRE_XMP()                                                                                              \
    if (!music_xmp()) GTEST_SKIP() << "libxmp.so.4 is not installed"

const int C2 = 428;

MusicWriterSample square(int cycle)
{
    MusicWriterSample s;
    for (int i = 0; i < cycle; i++) s.data.push_back(int16_t(i < cycle / 2 ? 0x4000 : -0x4000));
    s.loop_length = cycle;
    s.loop_type = 1;
    return s;
}

// ---- scenes -------------------------------------------------------------------------------------

MusicWriterSong mod_level_scene()
{
    MusicWriterSong song;
    song.orders = {0, 1};
    song.samples.push_back(music_test_dc_sample());
    MusicWriterSample ramp;
    for (int i = 0; i < 8000; i++) ramp.data.push_back(int16_t((i % 4000) * 4));
    song.samples.push_back(ramp);
    MusicWriterCell rows[] = {
        {C2, 1, 0, 0, 0},      {0, 0, 0, 0xC, 0x20},  {0, 0, 0, 0xA, 0x04},  {0, 0, 0, 0xA, 0x30},
        {0, 0, 0, 0xE, 0xA8},  {0, 0, 0, 0xE, 0xB4},  {0, 0, 0, 0xC, 0x20},  {0, 0, 0, 0xA, 0xF0},
        {0, 0, 0, 0xA, 0x0F},  {0, 0, 0, 0xE, 0xC3},  {C2, 1, 0, 0xE, 0xD2}, {0, 0, 0, 0xF, 0x03},
        {0, 0, 0, 0xF, 0x7D},  {0, 0, 0, 0xF, 0x96},  {0, 0, 0, 0xA, 0x02},  {0, 0, 0, 0xD, 0x00},
    };
    for (int r = 0; r < 16; r++) music_writer_cell(song, 0, r, 0) = rows[r];
    music_writer_cell(song, 1, 0, 0) = {C2, 2, 0, 0x9, 0x04};
    music_writer_cell(song, 1, 2, 0) = {C2, 2, 0, 0x9, 0x0A};
    music_writer_cell(song, 1, 3, 0) = {0, 0, 0, 0xC, 0x30};
    music_writer_cell(song, 1, 4, 0) = {0, 0, 0, 0xD, 0x00};
    return song;
}

MusicWriterSong mod_pitch_scene()
{
    MusicWriterSong song;
    song.orders = {0, 1};
    // Finetune 0, +1 to +7, and the even negatives.
    int finetunes[] = {0, 1, 2, 3, 4, 5, 6, 7, -2, -4, -6, -8};
    for (int finetune : finetunes) {
        MusicWriterSample s = square(16);
        s.finetune = finetune;
        song.samples.push_back(s);
    }
    // C-1, A-1, F#2 and C-3 with each sample in turn.
    int notes[][2] = {{1, 0}, {1, 9}, {2, 6}, {3, 0}};
    music_writer_cell(song, 0, 0, 1) = {0, 0, 0, 0xF, 2};
    for (int row = 0; row < 48; row++)
        music_writer_cell(song, 0, row, 0) = {music_writer_amiga_period(notes[row % 4][0], notes[row % 4][1]),
                                              row / 4 + 1, 0, 0, 0};
    music_writer_cell(song, 0, 48, 0) = {0, 0, 0, 0xD, 0x00};
    MusicWriterCell slides[] = {
        {C2, 1, 0, 0xF, 6},   {0, 0, 0, 0x1, 0x04},  {0, 0, 0, 0x2, 0x06},  {0, 0, 0, 0xE, 0x13},
        {0, 0, 0, 0xE, 0x25}, {856, 0, 0, 0x3, 0x08}, {0, 0, 0, 0x3, 0x00},  {0, 0, 0, 0x3, 0x00},
        {214, 0, 0, 0x3, 0x20}, {0, 0, 0, 0x3, 0x00}, {0, 0, 0, 0xD, 0x00},
    };
    for (int r = 0; r < 11; r++) music_writer_cell(song, 1, r, 0) = slides[r];
    return song;
}

MusicWriterSample xm_dc(bool sixteen, int loop_type)
{
    MusicWriterSample s;
    s.data = music_test_constant(64, 16384);
    s.sixteen_bit = sixteen;
    s.loop_length = 64;
    s.loop_type = loop_type;
    return s;
}

MusicWriterSong xm_level_scene()
{
    MusicWriterSong song;
    song.channels = 2;
    song.orders = {0, 1};
    song.instruments.push_back(music_test_instrument(xm_dc(true, 1)));
    song.instruments.push_back(music_test_instrument(xm_dc(false, 2)));
    MusicWriterInstrument looped = music_test_instrument(xm_dc(true, 1));
    looped.volume = {{{0, 64}, {6, 16}, {10, 48}, {20, 0}}, 5, 0, 1, 2};
    song.instruments.push_back(looped);
    MusicWriterInstrument held = music_test_instrument(xm_dc(false, 1));
    held.volume = {{{0, 0}, {5, 64}, {9, 24}, {30, 0}}, 3, 2, 0, 0};
    song.instruments.push_back(held);
    MusicWriterInstrument falling = music_test_instrument(xm_dc(true, 1));
    falling.volume = {{{0, 64}, {12, 0}}, 1, 0, 0, 0};
    song.instruments.push_back(falling);
    MusicWriterCell rows[] = {
        {49, 1, 0, 0, 0},      {0, 0, 0x30, 0, 0},    {0, 0, 0, 0xA, 0x04},  {0, 0, 0, 0xA, 0x20},
        {0, 0, 0, 0xE, 0xA4},  {0, 0, 0, 0xE, 0xB8},  {0, 0, 0, 0xC, 0x40},  {0, 0, 0x20, 0, 0},
        {0, 0, 0, 0xE, 0xC3},  {49, 1, 0, 0xE, 0xD2}, {0, 0, 0, 0xF, 0x03},  {0, 0, 0, 0xF, 0x7D},
        {61, 2, 0, 0, 0},      {0, 0, 0x50, 0, 0},    {0, 0, 0, 0xF, 0x96},  {0, 0, 0, 0xD, 0x00},
    };
    for (int r = 0; r < 16; r++) music_writer_cell(song, 0, r, 0, 16) = rows[r];
    music_writer_cell(song, 1, 0, 0, 32) = {49, 3, 0, 0xF, 0x06};
    music_writer_cell(song, 1, 8, 0, 32) = {37, 4, 0, 0, 0};
    music_writer_cell(song, 1, 16, 0, 32) = {49, 5, 0, 0, 0};
    music_writer_cell(song, 1, 19, 0, 32) = {0, 0, 0, 0xD, 0x00};
    return song;
}

MusicWriterSong xm_pitch_scene()
{
    MusicWriterSong song;
    song.channels = 1;
    song.orders = {0, 1};
    song.speed = 2;
    MusicWriterInstrument instrument;
    int relative[] = {0, -12, 7, 12}, finetune[] = {0, 16, 100, -32};
    for (int i = 0; i < 4; i++) {
        MusicWriterSample s = square(16);
        s.sixteen_bit = i % 2 == 0;
        s.relative_note = relative[i];
        s.finetune = finetune[i];
        instrument.samples.push_back(s);
    }
    instrument.note_map.assign(96, 0);
    for (int n = 0; n < 96; n++) instrument.note_map[n] = uint8_t((n / 6) % 4);
    song.instruments.push_back(instrument);
    MusicWriterInstrument edges = music_test_instrument(square(16));
    edges.samples[0].finetune = -128;
    edges.samples.push_back(square(16));
    edges.samples[1].finetune = 127;
    edges.note_map.assign(96, 0);
    for (int n = 48; n < 96; n++) edges.note_map[n] = 1;
    song.instruments.push_back(edges);
    song.instruments.push_back(music_test_instrument(square(16)));
    int row = 0;
    for (int note = 25; note <= 70; note += 3, row++) music_writer_cell(song, 0, row, 0) = {note, 1, 0, 0, 0};
    music_writer_cell(song, 0, row++, 0) = {40, 2, 0, 0, 0};
    music_writer_cell(song, 0, row++, 0) = {60, 2, 0, 0, 0};
    music_writer_cell(song, 0, row, 0) = {0, 0, 0, 0xD, 0x00};
    // Slides on an instrument of one sample: a tone portamento keeps its sample in both players.
    MusicWriterCell slides[] = {
        {49, 3, 0, 0xF, 6},     {0, 0, 0, 0x1, 0x04},  {0, 0, 0, 0x2, 0x06}, {0, 0, 0, 0xE, 0x13},
        {0, 0, 0, 0xE, 0x25},   {37, 3, 0, 0x3, 0x08}, {0, 0, 0, 0x3, 0x00}, {0, 0, 0, 0x3, 0x00},
        {61, 3, 0, 0x3, 0x20},  {0, 0, 0, 0x3, 0x00},  {0, 0, 0, 0xD, 0x00},
    };
    for (int r = 0; r < 11; r++) music_writer_cell(song, 1, r, 0, 16) = slides[r];
    return song;
}

int song_ticks(const std::string &bytes, bool xm)
{
    // One pass of the song: until ours passes its end.
    std::unique_ptr<MusicModule, void (*)(MusicModule *)> module(music_test_load(bytes, xm), music_free_module);
    music_test_start(module.get());
    int ticks = 0;
    while (!g_music_song_ended && ticks < 5000) {
        music_test_tick(module.get());
        ticks++;
    }
    g_music_current_module = nullptr;
    return ticks - 1;
}

struct Played {
    std::vector<Tick> ours, theirs;
};

// Both players over one pass of the song, their positions compared.
Played play_both(const MusicWriterSong &song, bool xm)
{
    std::string bytes = xm ? music_write_xm(song) : music_write_mod(song);
    int ticks = song_ticks(bytes, xm);
    Played played = {render_ours(bytes, xm, ticks), render_xmp(bytes, xm, ticks)};
    expect_same_position(played.ours, played.theirs, ticks);
    return played;
}

}  // namespace

TEST(MusicXmp, ModPositionAndLevels)
{
    REQUIRE_XMP();
    Played played = play_both(mod_level_scene(), false);
    expect_same_levels(played.ours, played.theirs);
}

TEST(MusicXmp, XmPositionAndLevels)
{
    REQUIRE_XMP();
    Played played = play_both(xm_level_scene(), true);
    expect_same_levels(played.ours, played.theirs);
}

// Our tremolo moves on every tick, tick 0 included: it runs one tick ahead of ProTracker's.
TEST(MusicXmp, TremoloRunsOneTickAhead)
{
    REQUIRE_XMP();
    MusicWriterSong song;
    song.orders = {0};
    song.samples.push_back(music_test_dc_sample());
    music_writer_cell(song, 0, 0, 0) = {C2, 1, 0, 0xC, 0x40};
    music_writer_cell(song, 0, 1, 0) = {0, 0, 0, 0xC, 0x20};
    music_writer_cell(song, 0, 2, 0) = {0, 0, 0, 0x7, 0x48};
    music_writer_cell(song, 0, 3, 0) = {0, 0, 0, 0xD, 0x00};
    Played played = play_both(song, false);
    double step = played.theirs[0].level / 64.0;
    for (int i = 12; i < 17; i++)
        EXPECT_NEAR(played.ours[i].level / 256.0, played.theirs[i + 1].level / step, 1.0) << i;
    EXPECT_GT(std::fabs(played.ours[13].level / 256.0 - played.theirs[13].level / step), 4.0);
}

// Ours plays a MOD period at 14318181 / (2 x our period), our period being about twice the Amiga
// one, against the PAL clock's 7093789.2 / (2 x period): 15.9 cents higher. A finetune step is
// 1/16 semitone in ours and 1/8 in ProTracker: each step moves ours 6.25 cents from it.
TEST(MusicXmp, ModPitch)
{
    REQUIRE_XMP();
    MusicWriterSong song = mod_pitch_scene();
    Played played = play_both(song, false);
    double clocks = cents_between(14318181.0 / 4, 7093789.2 / 2);
    auto expected = [&](const Tick &t) {
        int sample = t.order == 0 ? std::min(t.row / 4, 11) : 0;
        return clocks - 6.25 * song.samples[size_t(sample)].finetune;
    };
    EXPECT_GT(expect_same_pitch(played.ours, played.theirs, expected, -0.5, 6.5), int(played.ours.size()) / 2);
}

// XM periods at 28634112 / period against 8363 Hz for C-4, and 881 frames to a tick against 882.
TEST(MusicXmp, XmPitch)
{
    REQUIRE_XMP();
    Played played = play_both(xm_pitch_scene(), true);
    double clocks = cents_between(28634112.0 / 3420, 8363.0) + cents_between(882, 881);
    auto expected = [&](const Tick &) { return clocks; };
    EXPECT_GT(expect_same_pitch(played.ours, played.theirs, expected, -1.0, 3.0), int(played.ours.size()) / 2);
}
