// Modules cut, flipped and padded at random: each loads or fails cleanly, and those that load play
// without reading out of bounds or dividing by zero (checked by the sanitizers).
#include "tests/sound/music_test_util.h"

#include <gtest/gtest.h>

#include <random>

namespace {

void mutate_and_play(const std::string &seed, uint32_t random_seed, int rounds)
{
    std::mt19937 random(random_seed);
    for (int round = 0; round < rounds; round++) {
        std::string bytes = seed;
        int changes = 1 + int(random() % 8);
        for (int i = 0; i < changes; i++) {
            size_t at = random() % bytes.size();
            switch (random() % 4) {
            case 0: bytes[at] = char(random()); break;
            case 1: bytes[at] = char(bytes[at] ^ (1 << (random() % 8))); break;
            case 2: bytes[at] = char(random() % 2 ? 0xFF : 0x00); break;
            case 3: bytes.insert(at, 1 + random() % 4, char(random())); break;
            }
        }
        if (random() % 4 == 0) bytes.resize(random() % bytes.size());
        music_test_fuzz_one(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(), 12);
    }
}

}  // namespace

TEST(MusicFuzz, SeedsLoadAndPlay)
{
    for (bool xm : {true, false}) {
        MusicWriterSong song = music_test_seed_song(xm);
        std::string bytes = xm ? music_write_xm(song) : music_write_mod(song);
        MusicModule *module = music_test_load(bytes, xm);
        ASSERT_NE(module, nullptr);
        music_free_module(module);
        music_test_fuzz_one(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(), 200);
    }
}

TEST(MusicFuzz, MutatedXmModules)
{
    mutate_and_play(music_write_xm(music_test_seed_song(true)), 1, 1500);
}

TEST(MusicFuzz, MutatedModModules)
{
    mutate_and_play(music_write_mod(music_test_seed_song(false)), 2, 1500);
}
