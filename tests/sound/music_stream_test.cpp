// The stream buffer and its writer on the headless audio back end, without the player's threads:
// the cleared ring, the room rule, writes that wrap into two regions, a lost buffer.
#include "sound/music_local.h"
#include "sound/sound.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

struct MusicStream : ::testing::Test {
    void SetUp() override
    {
        audio_headless_set_device_count(1);
        audio_headless_set_failures(0);
        ASSERT_EQ(sound_init_system(nullptr), 1);
    }
    void TearDown() override
    {
        if (g_music_stream_buffer) g_music_stream_buffer->Release();
        g_music_stream_buffer = nullptr;
        g_music_quit = 0;
        sound_shutdown_system();
        EXPECT_EQ(audio_live_buffer_count(), 0);
    }

    static std::vector<uint8_t> ring()
    {
        void *region1 = nullptr, *region2 = nullptr;
        DWORD bytes1 = 0, bytes2 = 0;
        std::vector<uint8_t> bytes;
        if (FAILED(g_music_stream_buffer->Lock(0, 0, &region1, &bytes1, &region2, &bytes2, DSBLOCK_ENTIREBUFFER)))
            return bytes;
        bytes.assign(static_cast<uint8_t *>(region1), static_cast<uint8_t *>(region1) + bytes1);
        g_music_stream_buffer->Unlock(region1, bytes1, region2, bytes2);
        return bytes;
    }

    static DWORD play_cursor()
    {
        DWORD play = 0;
        g_music_stream_buffer->GetCurrentPosition(&play, nullptr);
        return play;
    }
};

// One block of bytes that differ from block to block and from the ring's cleared state.
std::vector<uint8_t> block_of(int seed)
{
    std::vector<uint8_t> bytes(MUSIC_BLOCK_BYTES);
    for (size_t i = 0; i < bytes.size(); i++) bytes[i] = uint8_t(1 + (i * 7 + size_t(seed) * 31) % 251);
    return bytes;
}

bool holds(const std::vector<uint8_t> &ring, size_t at, const uint8_t *bytes, size_t count)
{
    return at + count <= ring.size() && memcmp(ring.data() + at, bytes, count) == 0;
}

TEST_F(MusicStream, TheRingStartsClearedWithTheCursorAtZero)
{
    g_music_write_cursor = 999;
    ASSERT_EQ(music_create_stream_buffer(MUSIC_RING_FRAMES), 1);
    std::vector<uint8_t> bytes = ring();
    ASSERT_EQ(bytes.size(), size_t(MUSIC_RING_BYTES));
    EXPECT_EQ(bytes, std::vector<uint8_t>(MUSIC_RING_BYTES, 0));  // not the back end's fill pattern
    EXPECT_EQ(g_music_write_cursor, 0);
    g_music_stream_buffer->Release();
    g_music_stream_buffer = nullptr;

    audio_headless_set_failures(AUDIO_FAIL_BUFFER);
    EXPECT_EQ(music_create_stream_buffer(MUSIC_RING_FRAMES), 0);
    EXPECT_EQ(g_music_stream_buffer, nullptr);
}

TEST_F(MusicStream, WritesGoAheadWhileHalfTheRingIsFree)
{
    ASSERT_EQ(music_create_stream_buffer(MUSIC_RING_FRAMES), 1);
    // The ring has not played: equal cursors count as a free ring, and five blocks fit before the
    // room ahead of the write cursor falls under half the ring.
    for (int block = 0; block < 5; block++) music_write_stream(block_of(block).data(), MUSIC_BLOCK_BYTES);
    EXPECT_EQ(g_music_write_cursor, 5 * MUSIC_BLOCK_BYTES);
    std::vector<uint8_t> bytes = ring();
    for (int block = 0; block < 5; block++)
        EXPECT_TRUE(holds(bytes, size_t(block) * MUSIC_BLOCK_BYTES, block_of(block).data(), MUSIC_BLOCK_BYTES));

    // The sixth would wait for the cursor; a player that quits gives up waiting.
    g_music_quit = 1;
    music_write_stream(block_of(5).data(), MUSIC_BLOCK_BYTES);
    EXPECT_EQ(g_music_write_cursor, 5 * MUSIC_BLOCK_BYTES);
    EXPECT_EQ(ring(), bytes);
}

TEST_F(MusicStream, ABlockPastTheEndWrapsIntoTwoRegions)
{
    ASSERT_EQ(music_create_stream_buffer(MUSIC_RING_FRAMES), 1);
    ASSERT_EQ(g_music_stream_buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    // Play cursor 49392 and write cursor half a block before the end: exactly half the ring free.
    audio_headless_advance(g_sound_device, 12348);
    ASSERT_EQ(play_cursor(), 49392u);
    const int half = MUSIC_BLOCK_BYTES / 2;
    g_music_write_cursor = MUSIC_RING_BYTES - half;
    std::vector<uint8_t> block = block_of(9);
    music_write_stream(block.data(), MUSIC_BLOCK_BYTES);

    EXPECT_EQ(g_music_write_cursor, half);
    std::vector<uint8_t> bytes = ring();
    EXPECT_TRUE(holds(bytes, MUSIC_RING_BYTES - half, block.data(), half));
    EXPECT_TRUE(holds(bytes, 0, block.data() + half, half));
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + half, bytes.end() - half),
              std::vector<uint8_t>(MUSIC_RING_BYTES - 2 * half, 0));
}

TEST_F(MusicStream, WhatIsWrittenIsWhatThePlayCursorPlays)
{
    ASSERT_EQ(music_create_stream_buffer(MUSIC_RING_FRAMES), 1);
    std::vector<uint8_t> block = block_of(3);
    // A lost buffer is restored and written all the same.
    audio_buffer_set_lost(g_music_stream_buffer);
    music_write_stream(block.data(), MUSIC_BLOCK_BYTES);
    DWORD status = 0;
    g_music_stream_buffer->GetStatus(&status);
    EXPECT_EQ(status & DSBSTATUS_BUFFERLOST, 0u);

    ASSERT_EQ(audio_capture_start(g_sound_device, MUSIC_BLOCK_FRAMES + 8), 1);
    ASSERT_EQ(g_music_stream_buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    audio_headless_advance(g_sound_device, MUSIC_BLOCK_FRAMES + 8);
    std::vector<int16_t> heard(2 * (MUSIC_BLOCK_FRAMES + 8));
    ASSERT_EQ(audio_capture_read(g_sound_device, heard.data(), MUSIC_BLOCK_FRAMES + 8), MUSIC_BLOCK_FRAMES + 8);
    audio_capture_stop(g_sound_device);
    EXPECT_EQ(memcmp(heard.data(), block.data(), MUSIC_BLOCK_BYTES), 0);
    EXPECT_EQ(std::vector<int16_t>(heard.end() - 16, heard.end()), std::vector<int16_t>(16, 0));
}

}  // namespace
