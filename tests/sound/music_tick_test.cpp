// Playback tick by tick on generated modules: song position, effects traced per tick, rendering,
// loops and envelopes.
#include "tests/sound/music_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

const int C2 = 428;  // ProTracker C-2: note 49, period 855 at finetune 0

struct ModuleFree {
    void operator()(MusicModule *module) const { music_free_module(module); }
};
using ModulePtr = std::unique_ptr<MusicModule, ModuleFree>;

// Four channels, sample 1 the constant sample, sample 2 a long one-shot sample.
MusicWriterSong mod_song()
{
    MusicWriterSong song;
    song.orders = {0};
    song.samples.push_back(music_test_dc_sample());
    MusicWriterSample once;
    once.data = music_test_constant(4000, 0x4000);
    song.samples.push_back(once);
    music_writer_cell(song, 0, 0, 0);
    return song;
}

MusicWriterCell &cell(MusicWriterSong &song, int pattern, int row, int channel = 0, int rows = 64)
{
    return music_writer_cell(song, pattern, row, channel, rows);
}

ModulePtr start(const MusicWriterSong &song, bool xm)
{
    ModulePtr module(music_test_load(xm ? music_write_xm(song) : music_write_mod(song), xm));
    music_test_start(module.get());
    return module;
}

// Volume heard on channel 0 in a tick of the constant sample (16384 at full gain).
int heard(const MusicTestTick &t) { return int(std::lround(music_test_level(t) / 256.0)); }

std::vector<int> heard_ticks(MusicModule *module, int count)
{
    std::vector<int> volumes;
    for (int i = 0; i < count; i++) volumes.push_back(heard(music_test_tick(module)));
    return volumes;
}

std::vector<int> periods(MusicModule *module, int count, bool effective = false)
{
    std::vector<int> values;
    for (int i = 0; i < count; i++) {
        music_test_tick(module);
        values.push_back(effective ? g_music_channels[0].effective_period : g_music_channels[0].period);
    }
    return values;
}

// Two channels, instrument 1 a constant 16-bit sample of 16384 at volume 64, panned centre.
MusicWriterSong xm_song()
{
    MusicWriterSong song;
    song.channels = 2;
    song.orders = {0};
    MusicWriterSample dc;
    dc.data = music_test_constant(64, 16384);
    dc.sixteen_bit = true;
    dc.loop_length = 64;
    dc.loop_type = 1;
    song.instruments.push_back(music_test_instrument(dc));
    return song;
}

}  // namespace

// ---- song position ------------------------------------------------------------------------------

TEST(MusicTickPosition, SpeedAndTempoEffects)
{
    MusicWriterSong song = mod_song();
    cell(song, 0, 0) = {0, 0, 0, 0xF, 0x20};
    cell(song, 0, 1) = {0, 0, 0, 0xF, 0x21};
    cell(song, 0, 2) = {0, 0, 0, 0xF, 0x7D};
    cell(song, 0, 3) = {0, 0, 0, 0xF, 0x96};
    cell(song, 0, 4) = {0, 0, 0, 0xF, 0x01};
    ModulePtr module = start(song, false);
    EXPECT_EQ(g_music_samples_per_tick, 882);  // a MOD starts at 50.0 ticks per second
    MusicTestTick t = music_test_tick(module.get());
    EXPECT_EQ(g_music_speed, 32);  // 32 is still a speed
    EXPECT_EQ(t.frames, 882);
    for (int i = 1; i < 32; i++) EXPECT_EQ(music_test_tick(module.get()).row, 0);
    t = music_test_tick(module.get());
    EXPECT_EQ(t.row, 1);
    EXPECT_EQ(g_music_speed, 32);  // 33 is a BPM
    EXPECT_FLOAT_EQ(g_music_tick_rate, 13.2f);
    EXPECT_EQ(t.frames, 3340);  // the new frames per tick count from the row's own tick
    for (int i = 1; i < 32; i++) music_test_tick(module.get());
    // BPM 125: 44100 over the double product 50.0000000745 is 881, not 882.
    t = music_test_tick(module.get());
    EXPECT_EQ(t.row, 2);
    EXPECT_EQ(g_music_tick_rate, 50.0f);
    EXPECT_EQ(t.frames, 881);
    for (int i = 1; i < 32; i++) music_test_tick(module.get());
    t = music_test_tick(module.get());
    EXPECT_EQ(t.frames, 734);  // BPM 150
    for (int i = 1; i < 32; i++) music_test_tick(module.get());
    music_test_tick(module.get());
    EXPECT_EQ(g_music_speed, 1);
    EXPECT_EQ(g_music_row, 5);
}

TEST(MusicTickPosition, PatternBreakRowIsBinary)
{
    MusicWriterSong song = mod_song();
    song.orders = {0, 1};
    cell(song, 0, 0) = {0, 0, 0, 0xD, 0x10};
    cell(song, 1, 0);
    ModulePtr module = start(song, false);
    for (int i = 0; i < 6; i++) EXPECT_EQ(music_test_tick(module.get()).row, 0);
    EXPECT_EQ(g_music_order_position, 1);
    EXPECT_EQ(g_music_row, 16);
    EXPECT_EQ(g_music_tick, 0);
    EXPECT_EQ(g_music_song_ended, 0);
}

TEST(MusicTickPosition, RowsRunToThePatternsEnd)
{
    MusicWriterSong mod = mod_song();
    mod.orders = {0, 0};
    cell(mod, 0, 0) = {0, 0, 0, 0xF, 1};
    ModulePtr module = start(mod, false);
    for (int i = 0; i < 64; i++) {
        MusicTestTick t = music_test_tick(module.get());
        EXPECT_EQ(t.order, 0);
        EXPECT_EQ(t.row, i);
    }
    EXPECT_EQ(g_music_order_position, 1);
    EXPECT_EQ(g_music_row, 0);

    MusicWriterSong xm = xm_song();
    xm.orders = {0, 1};
    xm.speed = 1;
    cell(xm, 0, 0, 0, 32);
    cell(xm, 1, 0, 0, 16);
    module = start(xm, true);
    for (int i = 0; i < 32; i++) EXPECT_EQ(music_test_tick(module.get()).row, i);
    EXPECT_EQ(g_music_order_position, 1);
    for (int i = 0; i < 16; i++) EXPECT_EQ(music_test_tick(module.get()).order, 1);
    EXPECT_EQ(g_music_order_position, 0);
    EXPECT_EQ(g_music_song_ended, 1);
}

TEST(MusicTickPosition, SongEndSetsTheFlagAndWraps)
{
    MusicWriterSong song = mod_song();
    song.orders = {0, 1};
    cell(song, 0, 0) = {0, 0, 0, 0xF, 1};
    cell(song, 1, 63);
    ModulePtr module = start(song, false);
    for (int i = 0; i < 127; i++) music_test_tick(module.get());
    EXPECT_EQ(g_music_song_ended, 0);
    EXPECT_EQ(g_music_order_position, 1);
    music_test_tick(module.get());
    EXPECT_EQ(g_music_song_ended, 1);
    EXPECT_EQ(g_music_order_position, 0);
    EXPECT_EQ(g_music_row, 0);
}

// B at tick 0 replaces its own row at once: the channels after it take the new row's cells.
TEST(MusicTickPosition, PositionJumpReadsTheNewRowAtOnce)
{
    MusicWriterSong song = mod_song();
    song.orders = {0, 1, 2};
    cell(song, 0, 0, 0) = {0, 0, 0, 0xB, 2};
    cell(song, 0, 0, 1) = {C2, 1, 0, 0xC, 0x10};
    cell(song, 1, 0);
    cell(song, 2, 0, 1) = {C2, 1, 0, 0xC, 0x30};
    cell(song, 2, 1, 0) = {0, 0, 0, 0xB, 9};  // past the song: back to its start
    ModulePtr module = start(song, false);
    music_test_tick(module.get());
    EXPECT_EQ(g_music_order_position, 2);
    EXPECT_EQ(g_music_channels[1].volume, 0x30);
    for (int i = 1; i < 7; i++) music_test_tick(module.get());
    EXPECT_EQ(g_music_order_position, 0);
    EXPECT_EQ(g_music_row, 0);
    EXPECT_EQ(g_music_song_ended, 1);
}

// The row is stretched by one tick per unit of EEx: the tick counter runs on past the speed.
TEST(MusicTickPosition, PatternDelayStretchesTheRow)
{
    MusicWriterSong song = mod_song();
    cell(song, 0, 0) = {C2, 1, 0, 0xE, 0xE2};
    cell(song, 0, 1) = {0, 0, 0, 0xA, 0x01};
    ModulePtr module = start(song, false);
    for (int i = 0; i < 8; i++) {
        MusicTestTick t = music_test_tick(module.get());
        EXPECT_EQ(t.row, 0);
        EXPECT_EQ(t.tick, i);
    }
    EXPECT_EQ(g_music_row, 1);
    EXPECT_EQ(g_music_tick, 0);
}

TEST(MusicTickPosition, PatternLoopReplaysItsRows)
{
    MusicWriterSong song = mod_song();
    cell(song, 0, 0) = {0, 0, 0, 0xF, 1};
    cell(song, 0, 1) = {0, 0, 0, 0xE, 0x60};
    cell(song, 0, 2) = {0, 0, 0, 0xE, 0x62};
    for (int row = 0; row < 4; row++) cell(song, 0, row, 1) = {C2, 1, 0, 0xC, row};
    ModulePtr module = start(song, false);
    // The row holding E62 is replaced by the loop row at once, twice, then plays.
    std::vector<int> played;
    for (int i = 0; i < 6; i++) {
        music_test_tick(module.get());
        played.push_back(g_music_channels[1].volume);
    }
    EXPECT_EQ(played, (std::vector<int>{0, 1, 1, 1, 2, 3}));
}

// ---- effects ------------------------------------------------------------------------------------

TEST(MusicTickEffects, VolumeSlides)
{
    MusicWriterSong song = mod_song();
    cell(song, 0, 0) = {C2, 1, 0, 0xC, 0x40};
    cell(song, 0, 1) = {0, 0, 0, 0xA, 0x04};
    cell(song, 0, 2) = {0, 0, 0, 0xA, 0x20};
    cell(song, 0, 3) = {0, 0, 0, 0xE, 0xA4};
    cell(song, 0, 4) = {0, 0, 0, 0xE, 0xB8};
    cell(song, 0, 5) = {0, 0, 0, 0xA, 0xF0};
    cell(song, 0, 6) = {0, 0, 0, 0xA, 0x0F};
    ModulePtr module = start(song, false);
    EXPECT_EQ(heard_ticks(module.get(), 6), (std::vector<int>{63, 63, 63, 63, 63, 63}));  // 64 plays as 63
    EXPECT_EQ(heard_ticks(module.get(), 6), (std::vector<int>{63, 59, 55, 51, 47, 43}));
    EXPECT_EQ(heard_ticks(module.get(), 6), (std::vector<int>{43, 45, 47, 49, 51, 53}));
    EXPECT_EQ(heard_ticks(module.get(), 6), (std::vector<int>{57, 57, 57, 57, 57, 57}));
    EXPECT_EQ(heard_ticks(module.get(), 6), (std::vector<int>{49, 49, 49, 49, 49, 49}));
    EXPECT_EQ(heard_ticks(module.get(), 6), (std::vector<int>{49, 63, 63, 63, 63, 63}));
    EXPECT_EQ(heard_ticks(module.get(), 6), (std::vector<int>{63, 48, 33, 18, 3, 0}));
}

TEST(MusicTickEffects, Portamento)
{
    MusicWriterSong song = mod_song();
    cell(song, 0, 0) = {C2, 1, 0, 0, 0};
    cell(song, 0, 1) = {0, 0, 0, 0x1, 0x02};
    cell(song, 0, 2) = {0, 0, 0, 0x2, 0x03};
    cell(song, 0, 3) = {856, 0, 0, 0x3, 0x10};
    cell(song, 0, 4) = {0, 0, 0, 0x3, 0x00};
    cell(song, 0, 5) = {0, 0, 0, 0xE, 0x12};
    cell(song, 0, 6) = {0, 0, 0, 0x1, 0xFF};
    ModulePtr module = start(song, false);
    EXPECT_EQ(periods(module.get(), 6), (std::vector<int>{855, 855, 855, 855, 855, 855}));
    EXPECT_EQ(periods(module.get(), 6), (std::vector<int>{855, 851, 847, 843, 839, 835}));
    EXPECT_EQ(periods(module.get(), 6), (std::vector<int>{835, 841, 847, 853, 859, 865}));
    // Tone portamento to C-1 (1710) by 32 a tick, then on with the speed it keeps.
    EXPECT_EQ(periods(module.get(), 6), (std::vector<int>{865, 897, 929, 961, 993, 1025}));
    EXPECT_EQ(periods(module.get(), 6), (std::vector<int>{1025, 1057, 1089, 1121, 1153, 1185}));
    EXPECT_EQ(periods(module.get(), 6), (std::vector<int>{1181, 1181, 1181, 1181, 1181, 1181}));
    std::vector<int> up = periods(module.get(), 6);
    EXPECT_EQ(up[1], 1181 - 510);
    EXPECT_EQ(up[2], 233);  // the lowest MOD period
    EXPECT_EQ(up[5], 233);
}

TEST(MusicTickEffects, VibratoAndArpeggio)
{
    MusicWriterSong song = mod_song();
    cell(song, 0, 0) = {C2, 1, 0, 0x4, 0x48};  // the note start clears its own row's vibrato
    cell(song, 0, 1) = {0, 0, 0, 0x4, 0x48};
    cell(song, 0, 2) = {0, 0, 0, 0x0, 0x37};
    ModulePtr module = start(song, false);
    EXPECT_EQ(periods(module.get(), 6, true), (std::vector<int>{855, 855, 855, 855, 855, 855}));
    // Depth 8, speed 4: 2 x (table value x 8 / 256) on top of the period.
    EXPECT_EQ(periods(module.get(), 6, true), (std::vector<int>{855, 861, 865, 869, 869, 869}));
    EXPECT_EQ(g_music_channels[0].period, 855);
    // Arpeggio 3, 7: finetune rows 8, 11 and 15 in turn.
    int base = g_music_period_table[8][49], up3 = g_music_period_table[11][49], up7 = g_music_period_table[15][49];
    EXPECT_EQ(periods(module.get(), 6, true), (std::vector<int>{base, up3, up7, base, up3, up7}));
}

TEST(MusicTickEffects, NoteCutAndNoteDelay)
{
    MusicWriterSong song = mod_song();
    cell(song, 0, 0) = {C2, 1, 0, 0xC, 0x30};
    cell(song, 0, 1) = {0, 0, 0, 0xE, 0xC3};
    cell(song, 0, 2) = {C2, 1, 0, 0xE, 0xD2};
    ModulePtr module = start(song, false);
    EXPECT_EQ(heard_ticks(module.get(), 6), (std::vector<int>{48, 48, 48, 48, 48, 48}));
    EXPECT_EQ(heard_ticks(module.get(), 6), (std::vector<int>{48, 48, 48, 0, 0, 0}));
    EXPECT_EQ(heard_ticks(module.get(), 6), (std::vector<int>{0, 0, 63, 63, 63, 63}));
}

// Sample offset, and a one-shot sample that runs out: the channel stops (period 0) and writes
// zeros for the rest of the tick.
TEST(MusicTickEffects, SampleOffsetAndEndOfSample)
{
    MusicWriterSong song = mod_song();
    cell(song, 0, 0) = {C2, 2, 0, 0x9, 0x0E};
    ModulePtr module = start(song, false);
    MusicTestTick t = music_test_tick(module.get());
    double step = 14318181.0 / (2 * 855) / 50.0 / 882;
    EXPECT_NEAR(g_music_channels[0].position, 14 * 256 + 882 * step, 0.2);  // summed in single precision
    int ended = -1;
    for (int tick = 1; tick < 6 && ended < 0; tick++) {
        t = music_test_tick(module.get());
        for (int f = 0; f < t.frames; f++)
            if (t.left[f] == 0 && t.right[f] == 0) {
                ended = f;
                break;
            }
    }
    ASSERT_GT(ended, 0);
    for (int f = ended; f < t.frames; f++) EXPECT_EQ(t.left[f] | t.right[f], 0);
    EXPECT_EQ(g_music_channels[0].period, 0);
    t = music_test_tick(module.get());
    EXPECT_EQ(music_test_level(t), 0.0);
}

// ---- rendering ----------------------------------------------------------------------------------

TEST(MusicTickRender, GainPanAndStep)
{
    MusicWriterSong song = mod_song();
    cell(song, 0, 0) = {3000, 0, 0, 0, 0};  // no such note, no sample
    cell(song, 0, 1) = {907, 2, 0, 0, 0};  // note 36, B-0
    ModulePtr module = start(song, false);
    MusicTestTick t = music_test_tick(module.get());
    EXPECT_EQ(music_test_level(t), 0.0);  // a channel without a period writes zeros
    for (int i = 1; i < 6; i++) music_test_tick(module.get());
    g_music_volume = 0.5f;
    g_music_channel_pans[0] = 0.25f;
    t = music_test_tick(module.get());
    EXPECT_EQ(g_music_channels[0].period, 1811);
    // Volume 64 plays as 63, halved to 31 before the 1/64.
    int s = 16384 * 31 / 64;
    EXPECT_EQ(t.left[10], int(s * 0.25f));
    EXPECT_EQ(t.left[10] + t.right[10], s);
    EXPECT_NEAR(g_music_channels[0].position, 14318181.0 / 3622 / 50.0, 0.01);
}

namespace {

// Indices read in turn from data holding 1000 x (index + 1), one source sample per frame.
std::vector<int> indices_read(int length, int loop_start, int loop_length, int loop_type, int xm, int frames)
{
    static int16_t data[64];
    for (int i = 0; i < 64; i++) data[i] = int16_t(i < length ? 1000 * (i + 1) : 0);
    MusicSample sample = {};
    sample.data = data;
    sample.length = length;
    sample.loop_start = loop_start;
    sample.loop_length = loop_length;
    sample.loop_type = loop_type;
    g_music_buffered_frames = 0;
    g_music_channels[0] = MusicChannel{};
    g_music_channels[0].period = 1;
    music_render_channel(0, &sample, 1.0, 1.0, 0.0f, frames, xm);
    std::vector<int> read;
    for (int f = 0; f < frames; f++) read.push_back(g_music_channel_buffers[0][2 * f + 1] / 1000 - 1);
    return read;
}

}  // namespace

TEST(MusicTickRender, SampleLoops)
{
    // MOD: loop start 2, length 4; lengths 0 and 2 mean no loop.
    EXPECT_EQ(indices_read(8, 2, 4, 0, 0, 12), (std::vector<int>{0, 1, 2, 3, 4, 5, 2, 3, 4, 5, 2, 3}));
    EXPECT_EQ(indices_read(8, 2, 2, 0, 0, 10), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, -1, -1}));
    // XM forward and ping-pong; a ping-pong turn reads one past the loop.
    EXPECT_EQ(indices_read(8, 2, 4, 1, 1, 12), (std::vector<int>{0, 1, 2, 3, 4, 5, 2, 3, 4, 5, 2, 3}));
    EXPECT_EQ(indices_read(8, 2, 4, 2, 1, 16),
              (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 5, 4, 3, 2, 3, 4, 5, 6, 5}));
    // A ping-pong loop that ends with the data turns on the last sample, never past it.
    EXPECT_EQ(indices_read(8, 4, 4, 2, 1, 12), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 7, 7, 6, 5}));
    EXPECT_EQ(indices_read(8, 0, 0, 0, 1, 10), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, -1, -1}));
    EXPECT_EQ(g_music_channels[0].period, 0);
    // A loop of no length plays once instead of dividing by zero.
    EXPECT_EQ(indices_read(8, 2, 0, 1, 1, 10), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, -1, -1}));
}

TEST(MusicTickRender, TicksNeverOverfillTheChannelBuffers)
{
    MusicWriterSong song = mod_song();
    cell(song, 0, 0) = {C2, 1, 0, 0, 0};
    ModulePtr module = start(song, false);
    g_music_buffered_frames = MUSIC_CHANNEL_BUFFER_FRAMES - 100;
    music_tick_mod(module.get());
    EXPECT_EQ(g_music_buffered_frames, MUSIC_CHANNEL_BUFFER_FRAMES);
    music_tick_mod(module.get());
    EXPECT_EQ(g_music_buffered_frames, MUSIC_CHANNEL_BUFFER_FRAMES);
    // Without a module a tick renders silence.
    g_music_buffered_frames = 0;
    g_music_channel_buffers[5][0] = 7;
    music_tick_xm(nullptr);
    EXPECT_EQ(g_music_buffered_frames, 882);
    EXPECT_EQ(g_music_channel_buffers[5][0], 0);
}

// ---- XM -----------------------------------------------------------------------------------------

TEST(MusicTickXm, VolumeColumnKeyOffAndInstrumentOnlyCells)
{
    MusicWriterSong song = xm_song();
    cell(song, 0, 0, 0, 16) = {49, 1, 0x30, 0, 0};
    cell(song, 0, 1, 0, 16) = {0, 0, 0x50, 0, 0};
    cell(song, 0, 2, 0, 16) = {0, 0, 0x51, 0xC, 0x10};
    cell(song, 0, 3, 0, 16) = {0, 1, 0, 0, 0};
    cell(song, 0, 4, 0, 16) = {97, 0, 0, 0, 0};
    ModulePtr module = start(song, true);
    EXPECT_EQ(g_music_samples_per_tick, 881);
    EXPECT_EQ(heard_ticks(module.get(), 6), (std::vector<int>{32, 32, 32, 32, 32, 32}));
    EXPECT_EQ(heard_ticks(module.get(), 6), (std::vector<int>{63, 63, 63, 63, 63, 63}));
    EXPECT_EQ(heard_ticks(module.get(), 6), (std::vector<int>{16, 16, 16, 16, 16, 16}));  // 0x51 does nothing
    EXPECT_EQ(heard_ticks(module.get(), 6), (std::vector<int>{16, 16, 16, 16, 16, 16}));  // no new note
    EXPECT_EQ(heard_ticks(module.get(), 6), (std::vector<int>{0, 0, 0, 0, 0, 0}));  // key off stops at once
    EXPECT_EQ(g_music_channels[0].period, 0);
    EXPECT_EQ(g_music_channels[0].sample, 0);
}

TEST(MusicTickXm, NotePeriodsSlidesAndVibrato)
{
    MusicWriterSong song = xm_song();
    song.instruments[0].samples[0].relative_note = 12;
    song.instruments[0].samples[0].finetune = -56;
    cell(song, 0, 0, 0, 16) = {37, 1, 0, 0, 0};
    cell(song, 0, 1, 0, 16) = {0, 0, 0, 0x1, 0x02};
    cell(song, 0, 2, 0, 16) = {0, 0, 0, 0xE, 0x23};
    cell(song, 0, 3, 0, 16) = {0, 0, 0, 0x4, 0x48};
    ModulePtr module = start(song, true);
    int period = music_compute_note_period(49, -56);
    EXPECT_EQ(periods(module.get(), 6), (std::vector<int>(6, period)));
    // 1xx stores its parameter x 8 and applies it as it is.
    EXPECT_EQ(periods(module.get(), 6),
              (std::vector<int>{period, period - 16, period - 32, period - 48, period - 64, period - 80}));
    EXPECT_EQ(periods(module.get(), 6), (std::vector<int>(6, period - 80 + 24)));
    period = period - 56;
    // 8 x (table value x depth / 128).
    EXPECT_EQ(periods(module.get(), 4, true), (std::vector<int>{period, period + 48, period + 88, period + 112}));
    EXPECT_DOUBLE_EQ(music_convert_period_to_frequency(period), 28634112.0 / period);
}

// Transposed below note 0, the note plays as note 0 instead of reading before the table.
TEST(MusicTickXm, NegativeNotesPlayAsNoteZero)
{
    MusicWriterSong song = xm_song();
    song.instruments[0].samples[0].relative_note = -48;
    cell(song, 0, 0, 0, 16) = {2, 1, 0, 0, 0};
    ModulePtr module = start(song, true);
    MusicTestTick t = music_test_tick(module.get());
    EXPECT_EQ(g_music_channels[0].note, 0);
    EXPECT_EQ(g_music_channels[0].period, music_compute_note_period(0, 0));
    EXPECT_EQ(heard(t), 63);
}

// A note whose instrument, note map entry or pattern does not exist is silent.
TEST(MusicTickXm, IndicesFromTheFileAreChecked)
{
    MusicWriterSong song = xm_song();
    song.orders = {0, 1, 0};
    song.instruments[0].note_map.assign(96, 0);
    song.instruments[0].note_map[49] = 3;  // note 50: sample 3 of 1
    cell(song, 0, 0, 0, 16) = {49, 1, 0, 0xF, 1};
    cell(song, 0, 1, 0, 16) = {49, 9, 0, 0, 0};
    cell(song, 0, 2, 0, 16) = {49, 1, 0, 0, 0};
    cell(song, 0, 3, 0, 16) = {50, 1, 0, 0, 0};
    cell(song, 0, 4, 0, 16) = {49, 1, 0, 0, 0};
    cell(song, 0, 5, 0, 16) = {0, 0, 0, 0xB, 1};
    cell(song, 1, 0, 0, 16) = {49, 1, 0, 0, 0};
    std::string bytes = music_write_xm(song);
    bytes[80 + 1] = 7;  // order 1 names pattern 7 of 2
    ModulePtr module(music_test_load(bytes, true));
    ASSERT_TRUE(module);
    music_test_start(module.get());
    EXPECT_EQ(heard_ticks(module.get(), 6), (std::vector<int>{63, 0, 63, 0, 63, 63}));
    // The missing pattern plays as 64 empty rows (its row 0 under the jump's tick): the note goes on.
    for (int row = 1; row < 64; row++) {
        MusicTestTick t = music_test_tick(module.get());
        EXPECT_EQ(t.order, 1);
        EXPECT_EQ(heard(t), 63);
    }
    EXPECT_EQ(g_music_order_position, 2);
}

TEST(MusicTickXm, FadeoutEnvelopesAndPan)
{
    MusicWriterSong song = xm_song();
    MusicWriterInstrument &instrument = song.instruments[0];
    instrument.fadeout = 4096;
    instrument.volume.points = {{0, 64}, {4, 0}, {8, 32}, {100, 32}};
    instrument.volume.type = 1;
    instrument.panning.points = {{0, 48}, {100, 48}};
    instrument.panning.type = 1;
    cell(song, 0, 0, 0, 16) = {49, 1, 0, 0, 0};
    ModulePtr module = start(song, true);
    std::vector<int> levels;
    float curved = float(0.5 * (1.0 + std::sqrt(0.5)));
    for (int tick = 0; tick < 12; tick++) {
        MusicTestTick t = music_test_tick(module.get());
        int row = tick / 6;
        double envelope = tick < 4 ? (64 - 16 * tick) / 64.0 : tick < 8 ? 8.0 * (tick - 4) / 64.0 : 0.5;
        double gain = 63 * double(65536 - 4096 * row) / 4194304.0 * envelope;
        int s = int(16384 * gain);
        EXPECT_EQ(t.left[5] + t.right[5], s) << tick;
        EXPECT_EQ(t.left[5], int(s * curved)) << tick;
    }
}

// With no panning envelope a sample's pan is scaled by the channel's (0.5 at first) and then
// curved: a centred sample comes out about 15 % left.
TEST(MusicTickXm, PanWithoutEnvelope)
{
    MusicWriterSong song = xm_song();
    cell(song, 0, 0, 0, 16) = {49, 1, 0, 0, 0};
    cell(song, 0, 1, 0, 16) = {0, 0, 0, 0x8, 0xFF};
    ModulePtr module = start(song, true);
    MusicTestTick t = music_test_tick(module.get());
    double p = 128 / 255.0 * 0.5;
    float curved = float(0.5 - 0.5 * std::sqrt(1.0 - 2.0 * p));
    EXPECT_NEAR(curved, 0.147, 0.001);
    EXPECT_EQ(t.left[3], int(16128 * curved));
    for (int i = 0; i < 6; i++) t = music_test_tick(module.get());
    EXPECT_FLOAT_EQ(g_music_channel_pans[0], 1.0f);
    p = 128 / 255.0;
    EXPECT_EQ(t.left[3], int(16128 * float(0.5 + 0.5 * std::sqrt(2.0 * p - 1.0))));
}

// ---- envelopes ----------------------------------------------------------------------------------

TEST(MusicEnvelope, PlainSustainAndLoop)
{
    MusicEnvelopePoint points[12] = {{0, 64}, {10, 32}, {20, 0}, {30, 16}};
    EXPECT_DOUBLE_EQ(music_envelope_plain(points, 0), 1.0);
    EXPECT_DOUBLE_EQ(music_envelope_plain(points, 5), 48 / 64.0);
    EXPECT_DOUBLE_EQ(music_envelope_plain(points, 25), 8 / 64.0);
    EXPECT_DOUBLE_EQ(music_envelope_plain(points, 30), 0.0);  // after the last point
    EXPECT_DOUBLE_EQ(music_envelope_plain(points, 500), 0.0);
    EXPECT_DOUBLE_EQ(music_envelope_sustain(points, 1, 5), 48 / 64.0);
    EXPECT_DOUBLE_EQ(music_envelope_sustain(points, 1, 15), 32 / 64.0);  // holds at the sustain point
    EXPECT_DOUBLE_EQ(music_envelope_sustain(points, 1, 900), 32 / 64.0);
    EXPECT_DOUBLE_EQ(music_envelope_sustain(points, 0, 5), 1.0);
    EXPECT_DOUBLE_EQ(music_envelope_loop(points, 1, 3, 35), music_envelope_plain(points, 15));
    EXPECT_DOUBLE_EQ(music_envelope_loop(points, 1, 3, 5), 48 / 64.0);
    // A loop whose ends are one point holds there; point numbers past the 12 are held at the last.
    EXPECT_DOUBLE_EQ(music_envelope_loop(points, 2, 2, 77), 0.0);
    EXPECT_DOUBLE_EQ(music_envelope_loop(points, 1, 1, 77), 32 / 64.0);
    EXPECT_DOUBLE_EQ(music_envelope_sustain(points, 200, 25), 8 / 64.0);
    EXPECT_DOUBLE_EQ(music_envelope_loop(points, 200, 255, 25), 1.0);  // point 11 is at tick 0
}

TEST(MusicEnvelope, InstrumentsOfTheCurrentModule)
{
    MusicWriterSong song = xm_song();
    song.instruments[0].volume = {{{0, 64}, {10, 0}}, 1, 0, 0, 1};
    song.instruments[0].panning = {{{0, 0}, {10, 64}, {20, 32}}, 1, 1, 0, 2};
    ModulePtr module = start(song, true);
    EXPECT_DOUBLE_EQ(music_eval_volume_envelope(1, 5), 0.5);
    EXPECT_DOUBLE_EQ(music_eval_volume_envelope_sustain(1, 5), 1.0);
    EXPECT_DOUBLE_EQ(music_eval_volume_envelope_loop(1, 15), 0.5);
    EXPECT_DOUBLE_EQ(music_eval_panning_envelope(1, 15), 48 / 64.0);
    EXPECT_DOUBLE_EQ(music_eval_panning_envelope_sustain(1, 15), 1.0);
    EXPECT_DOUBLE_EQ(music_eval_panning_envelope_loop(1, 25), 0.5);
    EXPECT_DOUBLE_EQ(music_eval_volume_envelope(2, 5), 0.0);
    EXPECT_DOUBLE_EQ(music_eval_panning_envelope(0, 5), 0.0);
    g_music_current_module = nullptr;
    EXPECT_DOUBLE_EQ(music_eval_volume_envelope(1, 5), 0.0);
}

TEST(MusicTempo, FramesPerTickFromBpm)
{
    music_set_tempo(125);
    EXPECT_EQ(g_music_tick_rate, 50.0f);
    EXPECT_EQ(g_music_samples_per_tick, 881);
    music_set_tempo(150);
    EXPECT_EQ(g_music_samples_per_tick, 734);
    music_set_tempo(0);  // no tick rate: nothing changes
    EXPECT_EQ(g_music_samples_per_tick, 734);
}
