// The mixer without threads: song ends, the stream whatever the block size, the fade out.
#include "tests/sound/music_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

const int C2 = 428;  // ProTracker C-2

// The table holds the given modules (module 0 current, from its start) and the commands their
// starting values; the modules are freed at the end.
struct MusicMixer : ::testing::Test {
    void SetUp() override
    {
        music_reset_player();
        music_set_fade_mode(-1);
        music_set_fade_step(0.1f);
        music_select_module(-1);
        music_set_loop(1);
        g_music_volume = 1.0f;
        g_music_buffered_frames = 0;
        memset(g_music_channel_buffers, 0, sizeof g_music_channel_buffers);
    }
    void TearDown() override
    {
        for (int i = 0; i < g_music_module_count; i++) music_free_module(g_music_modules[i]);
        music_reset_player();
        music_set_loop(0);
        g_music_volume = 1.0f;
    }

    void use(const std::vector<MusicModule *> &modules)
    {
        for (size_t i = 0; i < modules.size(); i++) {
            ASSERT_NE(modules[i], nullptr);
            g_music_modules[i] = modules[i];
        }
        g_music_module_count = int32_t(modules.size());
        g_music_module_loaded = 1;
        g_music_current_index = 0;
        g_music_current_module = modules[0];
        music_begin_module();
        g_music_buffered_frames = 0;
    }
};

// A MOD of `channels` channels whose channel 0 plays the constant sample at `volume` from row 0;
// `effect` and `parameter` go with that note.
MusicModule *mod_module(int channels = 4, int volume = 64, int effect = 0, int parameter = 0)
{
    MusicWriterSong song;
    song.tag = channels == 4 ? "M.K." : std::to_string(channels) + "CHN";
    song.channels = channels;
    song.orders = {0};
    song.samples.push_back(music_test_dc_sample());
    song.samples[0].volume = volume;
    music_writer_cell(song, 0, 0, 0) = {C2, 1, 0, effect, parameter};
    return music_test_load(music_write_mod(song), false);
}

// An XM whose four channels play square waves, a new note on every row, at `speed` and `bpm`.
MusicModule *xm_module(int speed = 2, int bpm = 150, int rows = 16)
{
    MusicWriterSong song;
    song.channels = 4;
    song.orders = {0, 1};
    song.speed = speed;
    song.bpm = bpm;
    song.instruments.push_back(music_test_instrument(music_test_square_sample()));
    for (int p = 0; p < 2; p++)
        for (int row = 0; row < rows; row++)
            for (int c = 0; c < 4; c++)
                if ((row + c) % 3 != 2)
                    music_writer_cell(song, p, row, c, rows) = {37 + (row * 5 + c * 7 + p) % 36, 1, 0x20 + c * 8, 0, 0};
    return music_test_load(music_write_xm(song), true);
}

std::vector<int16_t> render(int frames)
{
    const int16_t *block = music_render(frames);
    return std::vector<int16_t>(block, block + 2 * frames);
}

std::vector<int16_t> render_stream(int total, int per_call)
{
    std::vector<int16_t> all;
    for (int done = 0; done < total; done += per_call) {
        std::vector<int16_t> block = render(per_call);
        all.insert(all.end(), block.begin(), block.end());
    }
    return all;
}

// A render for the data tools plays at full volume and hands the player back as it found it, its
// faded-out volume too.
TEST_F(MusicMixer, AnOfflineRenderKeepsThePlayersVolume)
{
    use({mod_module(), mod_module(4, 32)});
    music_set_fade_mode(3);
    render(882);
    music_set_fade_mode(2);
    music_select_module(0);
    std::vector<int16_t> frames(2 * 882);
    music_render_offline(1, frames.data(), 882, nullptr, 0);
    EXPECT_NE(frames, std::vector<int16_t>(2 * 882, 0));
    EXPECT_EQ(g_music_volume, 0.0f);
    EXPECT_EQ(g_music_fade_mode, 2);
    EXPECT_EQ(g_music_next_module, 0);
    EXPECT_EQ(g_music_current_module, g_music_modules[0]);
}

// ---- module switch and song end -------------------------------------------------------------------

TEST_F(MusicMixer, ASongEndRestartsTheModuleWhenLooping)
{
    // F01 then D00 on row 0: the song ends after its first tick.
    use({mod_module(4, 64, 0xF, 1), mod_module(4, 32, 0xF, 1), mod_module(4, 16, 0xF, 1)});
    for (MusicModule *module : {g_music_modules[0], g_music_modules[1], g_music_modules[2]})
        module->patterns[0].columns[1][0].effect = 0xD;
    render(882);
    EXPECT_EQ(g_music_current_index, 0);
    EXPECT_EQ(g_music_song_ended, 0);
    EXPECT_EQ(g_music_order_position, 0);
    EXPECT_EQ(g_music_row, 0);
    EXPECT_EQ(g_music_speed, 6);  // not the song's F01
    EXPECT_EQ(g_music_samples_per_tick, 882);

    music_set_loop(0);
    std::vector<int> order;
    for (int i = 0; i < 4; i++) {
        render(882);
        order.push_back(g_music_current_index);
    }
    EXPECT_EQ(order, (std::vector<int>{1, 2, 0, 1}));
}

TEST_F(MusicMixer, TheStreamIsTheSameWhateverTheBlockSize)
{
    // 734 frames per tick at BPM 150: blocks end inside ticks.
    use({xm_module()});
    std::vector<int16_t> blocks = render_stream(10 * MUSIC_BLOCK_FRAMES, MUSIC_BLOCK_FRAMES);
    g_music_buffered_frames = 0;
    music_begin_module();
    std::vector<int16_t> pieces = render_stream(10 * MUSIC_BLOCK_FRAMES, 441);
    ASSERT_EQ(blocks.size(), pieces.size());
    EXPECT_TRUE(blocks == pieces);
    int loud = 0;
    for (int16_t v : blocks) loud += v != 0;
    EXPECT_GT(loud, int(blocks.size()) / 2);
}

TEST_F(MusicMixer, FadeOutReachesSilenceOnTheTenthTick)
{
    use({mod_module()});
    music_set_fade_mode(1);
    std::vector<int16_t> out;
    for (int tick = 1; tick <= 9; tick++) {
        out = render(882);
        EXPECT_EQ(g_music_fade_mode, 1) << tick;
    }
    EXPECT_FLOAT_EQ(g_music_volume, 0.099999927f);
    EXPECT_NE(out[1000], 0);
    EXPECT_EQ(render(882), std::vector<int16_t>(2 * 882, 0));
    EXPECT_EQ(g_music_volume, 0.0f);
    EXPECT_EQ(g_music_fade_mode, -1);
}

}  // namespace
