// Playback tick by tick on generated modules: pattern delay and loop, envelopes.
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

// ---- envelopes ----------------------------------------------------------------------------------

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
