// The music player with its two threads, on the headless back end whose clock follows the wall
// clock: what it plays, the commands while it plays, and starting, suspending, resuming and
// stopping in every order.
#include "sound/sound.h"
#include "tests/sound/music_test_util.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// Ends the program when the steps under it take longer than `seconds`: a hung player thread
// cannot be recovered, and a hang must fail the run rather than stall it.
struct Watchdog {
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
    std::thread thread;

    Watchdog(int seconds, std::string what)
        : thread([this, seconds, what]() {
              std::unique_lock<std::mutex> lock(mutex);
              if (!changed.wait_for(lock, std::chrono::seconds(seconds), [this] { return done; })) {
                  fprintf(stderr, "music: hung in %s\n", what.c_str());
                  std::_Exit(1);
              }
          })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            done = true;
        }
        changed.notify_all();
        thread.join();
    }
};

// An XM of four channels of square waves, a note on most rows, whose song loops within a second.
std::string xm_bytes(int bpm = 125)
{
    MusicWriterSong song;
    song.channels = 4;
    song.orders = {0, 1};
    song.speed = 2;
    song.bpm = bpm;
    song.instruments.push_back(music_test_instrument(music_test_square_sample()));
    for (int p = 0; p < 2; p++)
        for (int row = 0; row < 16; row++)
            for (int c = 0; c < 4; c++)
                if ((row + c) % 3 != 2)
                    music_writer_cell(song, p, row, c, 16) = {37 + (row * 5 + c * 7 + p) % 36, 1, 0x20 + c * 8, 0, 0};
    return music_write_xm(song);
}

struct MusicThreads : ::testing::Test {
    TempDir dir;

    void SetUp() override
    {
        audio_headless_set_device_count(1);
        audio_headless_set_failures(0);
        ASSERT_EQ(sound_init_system(nullptr), 1);
        audio_headless_set_paced(g_sound_device, 1);
        music_reset_player();
        music_free_clip_table();  // an offline render of an earlier test may have left it
        music_set_fade_mode(-1);
        music_set_fade_step(0.1f);
        music_set_loop(1);
        g_music_volume = 1.0f;
    }
    void TearDown() override
    {
        {
            Watchdog watchdog(20, "the last stop");
            music_stop_playback();
        }
        drop_modules();
        sound_shutdown_system();
        EXPECT_EQ(audio_live_buffer_count(), 0);
        EXPECT_EQ(g_music_stream_thread, nullptr);
        EXPECT_EQ(g_music_mix_thread, nullptr);
        music_set_loop(0);
    }

    // Modules a stop has not freed, then an empty table.
    static void drop_modules()
    {
        for (int i = 0; i < g_music_module_count; i++) music_free_module(g_music_modules[i]);
        music_reset_player();
    }

    int load(const std::string &bytes, const std::string &name)
    {
        std::string path = dir / name;
        if (!music_writer_save(path.c_str(), bytes)) return -1;
        return music_load_module(path.c_str());
    }
};

std::vector<int16_t> capture_all(void)
{
    std::vector<int16_t> heard;
    int16_t chunk[2 * 4096];
    int got;
    while ((got = audio_capture_read(g_sound_device, chunk, 4096)) > 0)
        heard.insert(heard.end(), chunk, chunk + 2 * got);
    return heard;
}

// Frames from the first that is not silent up to the last that is not.
std::vector<int16_t> trim_silence(const std::vector<int16_t> &frames)
{
    size_t first = 0, last = frames.size();
    while (first < last && frames[first] == 0 && frames[first + 1] == 0) first += 2;
    while (last > first && frames[last - 2] == 0 && frames[last - 1] == 0) last -= 2;
    return std::vector<int16_t>(frames.begin() + long(first), frames.begin() + long(last));
}

TEST_F(MusicThreads, TheStreamEqualsAnOfflineRender)
{
    ASSERT_EQ(load(xm_bytes(), "music1.zik"), 0);
    ASSERT_EQ(audio_capture_start(g_sound_device, 5 * 44100), 1);
    {
        Watchdog watchdog(20, "playing two seconds");
        music_start_playback();
        ASSERT_EQ(g_music_running, 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(2000));
        music_stop_playback();
    }
    EXPECT_EQ(g_music_running, 0);
    std::vector<int16_t> heard = trim_silence(capture_all());
    audio_capture_stop(g_sound_device);

    // The same module rendered block after block on this thread, from the state a start leaves.
    drop_modules();
    ASSERT_EQ(load(xm_bytes(), "music1.zik"), 0);
    memset(g_music_channel_buffers, 0, sizeof g_music_channel_buffers);
    g_music_buffered_frames = 0;
    music_begin_module();
    std::vector<int16_t> offline;
    while (offline.size() < heard.size() + 4 * MUSIC_BLOCK_FRAMES) {
        const int16_t *block = music_render(MUSIC_BLOCK_FRAMES);
        offline.insert(offline.end(), block, block + 2 * MUSIC_BLOCK_FRAMES);
    }
    offline = trim_silence(offline);

    // Two seconds less the ring's first 640 ms of silence and the start: more than a second of music.
    ASSERT_GT(heard.size(), size_t(2 * 44100));
    ASSERT_LE(heard.size(), offline.size());
    size_t same = 0;
    while (same < heard.size() && heard[same] == offline[same]) same++;
    EXPECT_EQ(same, heard.size()) << "first difference at frame " << same / 2;
}

TEST_F(MusicThreads, CommandsReachThePlayingThreads)
{
    ASSERT_EQ(load(xm_bytes(), "music1.zik"), 0);
    ASSERT_EQ(load(xm_bytes(150), "music2.zik"), 1);
    Watchdog watchdog(20, "commands");
    music_set_fade_mode(3);
    music_start_playback();
    music_select_module(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(g_music_current_index, 1);
    EXPECT_EQ(g_music_next_module, -1);
    EXPECT_EQ(g_music_volume, 0.0f);
    EXPECT_EQ(g_music_fade_mode, -1);

    music_set_fade_mode(2);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_EQ(g_music_volume, 1.0f);
    EXPECT_EQ(g_music_fade_mode, -1);

    music_set_loop(0);
    music_set_fade_step(0.025f);
    music_set_fade_mode(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    music_stop_playback();
    EXPECT_LT(g_music_volume, 1.0f);
}

TEST_F(MusicThreads, StartSuspendResumeAndStopInEveryOrderNeverHang)
{
    enum { START, STOP, SUSPEND, RESUME };
    const char *names[] = {"start", "stop", "suspend", "resume"};
    std::string bytes = xm_bytes();
    for (int sequence = 0; sequence < 64; sequence++) {
        drop_modules();
        ASSERT_EQ(load(bytes, "music1.zik"), 0);
        int ops[3] = {sequence % 4, sequence / 4 % 4, sequence / 16};
        std::string what = std::string(names[ops[0]]) + ", " + names[ops[1]] + ", " + names[ops[2]] + ", stop";
        Watchdog watchdog(20, what);
        for (int i = 0; i < 3; i++) {
            switch (ops[i]) {
            case START: music_start_playback(); break;
            case STOP: music_stop_playback(); break;
            case SUSPEND: music_suspend_threads(); break;
            case RESUME: music_resume_threads(); break;
            }
            // Some steps land while the threads start, others once they stream.
            if ((sequence + i) % 2) std::this_thread::sleep_for(std::chrono::milliseconds(15));
        }
        music_stop_playback();
        EXPECT_EQ(g_music_running, 0) << what;
        EXPECT_EQ(audio_live_buffer_count(), 0) << what;
        EXPECT_EQ(g_music_stream_thread, nullptr) << what;
    }
}

TEST_F(MusicThreads, StopWhileSuspendedEndsTheThreadsAndFreesTheModules)
{
    ASSERT_EQ(load(xm_bytes(), "music1.zik"), 0);
    MusicModule *module = g_music_modules[0];
    // Stopping what never started changes nothing.
    music_stop_playback();
    EXPECT_EQ(g_music_modules[0], module);
    EXPECT_EQ(g_music_current_module.load(), module);

    Watchdog watchdog(20, "stop while suspended");
    music_start_playback();
    HANDLE stream = g_music_stream_thread;
    music_start_playback();  // already running: the same threads
    EXPECT_EQ(g_music_stream_thread, stream);
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    music_suspend_threads();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    music_stop_playback();
    EXPECT_EQ(g_music_running, 0);
    EXPECT_EQ(g_music_threads_ended, 2);
    // Freed modules leave no pointer behind; the table keeps its count.
    EXPECT_EQ(g_music_modules[0], nullptr);
    EXPECT_EQ(g_music_current_module.load(), nullptr);
    EXPECT_EQ(g_music_module_count, 1);
    EXPECT_EQ(g_music_stream_buffer, nullptr);

    // A new start on the emptied table plays silence, and stops.
    music_start_playback();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    music_suspend_threads();
    music_resume_threads();
    music_stop_playback();
}

TEST_F(MusicThreads, StopReturnsWhenThePlayCursorNeverMoves)
{
    ASSERT_EQ(load(xm_bytes(), "music1.zik"), 0);
    audio_headless_set_paced(g_sound_device, 0);
    Watchdog watchdog(20, "stop with a stalled cursor");
    music_start_playback();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    music_stop_playback();
    EXPECT_EQ(g_music_running, 0);
}

TEST_F(MusicThreads, SuspendedThreadsRenderNothing)
{
    ASSERT_EQ(load(xm_bytes(), "music1.zik"), 0);
    Watchdog watchdog(20, "suspension");
    music_set_fade_mode(3);
    music_start_playback();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    music_suspend_threads();
    // A block already asked for may still be rendered before the threads reach their next sleep.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    music_set_fade_mode(2);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(g_music_volume, 0.0f);
    EXPECT_EQ(g_music_fade_mode, 2);
    music_resume_threads();
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_EQ(g_music_volume, 1.0f);
}

TEST_F(MusicThreads, NoDeviceOrNoBufferNoPlayer)
{
    ASSERT_EQ(load(xm_bytes(), "music1.zik"), 0);
    audio_headless_set_failures(AUDIO_FAIL_BUFFER);
    music_start_playback();
    EXPECT_EQ(g_music_running, 0);
    EXPECT_EQ(g_music_clip_table, nullptr);
    audio_headless_set_failures(0);

    sound_shutdown_system();
    music_start_playback();
    EXPECT_EQ(g_music_running, 0);
    EXPECT_EQ(g_music_stream_thread, nullptr);
    music_suspend_threads();
    music_resume_threads();
    music_stop_playback();
    EXPECT_NE(g_music_modules[0], nullptr);
}

TEST_F(MusicThreads, TheWriterWaitsForThePlayCursor)
{
    audio_headless_set_paced(g_sound_device, 0);
    ASSERT_EQ(music_create_stream_buffer(MUSIC_RING_FRAMES), 1);
    ASSERT_EQ(g_music_stream_buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    audio_headless_advance(g_sound_device, MUSIC_BLOCK_FRAMES);  // one block played: a quarter of the room
    std::vector<uint8_t> block(MUSIC_BLOCK_BYTES, 0x33);
    std::atomic<bool> written{false};
    Watchdog watchdog(20, "the writer");
    std::thread writer([&]() {
        music_write_stream(block.data(), MUSIC_BLOCK_BYTES);
        written = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_FALSE(written);
    audio_headless_advance(g_sound_device, 2 * MUSIC_BLOCK_FRAMES);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_FALSE(written);
    audio_headless_advance(g_sound_device, MUSIC_BLOCK_FRAMES);  // half the ring
    writer.join();
    EXPECT_TRUE(written);
    EXPECT_EQ(g_music_write_cursor, MUSIC_BLOCK_BYTES);
    g_music_stream_buffer->Release();
    g_music_stream_buffer = nullptr;
}

}  // namespace
