// Minimising the window pauses the music threads; activating it again lets them go on, but only
// while playback runs. Played for real on the headless sound device.
#include "game/app.h"
#include "game/files.h"
#include "sound/music.h"
#include "sound/music_local.h"
#include "sound/music_writer.h"
#include "sound/sound.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

namespace {

class ShellMusic : public ::testing::Test, protected TestFolders {
protected:
    void SetUp() override
    {
        audio_headless_set_device_count(1);
        ASSERT_EQ(sound_init_system(nullptr), 1);
        audio_headless_set_paced(g_sound_device, 1);
        music_reset_player();

        MusicWriterSample sample;
        sample.data.assign(256, 0);
        for (int i = 0; i < 256; i++) sample.data[size_t(i)] = int16_t(i < 128 ? 8000 : -8000);
        sample.loop_length = 256;
        sample.loop_type = 1;
        MusicWriterInstrument instrument;
        instrument.samples.push_back(sample);
        MusicWriterSong song;
        song.channels = 2;
        song.orders = {0};
        song.patterns.resize(1);
        song.patterns[0].rows = 16;
        song.patterns[0].cells.resize(32);
        song.patterns[0].cells[0] = {49, 1, 0, 0, 0};
        song.instruments.push_back(instrument);
        test_write_file(run + "/menu.zik", music_write_xm(song));
        ASSERT_EQ(music_load_module("menu.zik"), 0);
        g_sound_card_on = 1;
    }
    void TearDown() override
    {
        music_stop_playback();
        // A module loaded but never played is still the table's.
        for (int32_t i = 0; i < g_music_module_count; i++) {
            music_free_module(g_music_modules[i]);
            g_music_modules[i] = nullptr;
        }
        sound_shutdown_system();
    }

    void activate(int state, int minimised) { app_window_proc(nullptr, WM_ACTIVATE, MAKEWPARAM(state, minimised), 0); }

    // Whether the stream thread is paused, leaving it as it was.
    static bool stream_paused()
    {
        bool paused = SuspendThread(g_music_stream_thread) == 1;
        if (!paused) ResumeThread(g_music_stream_thread);
        return paused;
    }
};

TEST_F(ShellMusic, MinimisingPausesAndActivatingResumes)
{
    music_start_playback();
    ASSERT_EQ(g_music_running, 1);
    activate(WA_INACTIVE, 1);
    EXPECT_TRUE(stream_paused());
    activate(WA_ACTIVE, 0);
    EXPECT_FALSE(stream_paused());
    // A minimised window activated at once: paused, then going on in the same message.
    activate(WA_ACTIVE, 1);
    EXPECT_FALSE(stream_paused());
}

TEST_F(ShellMusic, NothingToResumeWhilePlaybackIsStopped)
{
    activate(WA_INACTIVE, 1);
    activate(WA_ACTIVE, 0);
    EXPECT_EQ(g_music_running, 0);
    EXPECT_EQ(g_music_stream_thread, nullptr);
}

TEST_F(ShellMusic, TheSoundCardOptionOffLeavesTheThreadsAlone)
{
    music_start_playback();
    g_sound_card_on = 0;
    activate(WA_INACTIVE, 1);
    EXPECT_FALSE(stream_paused());
}

}  // namespace
