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

}  // namespace
