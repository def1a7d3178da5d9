// Seed inputs of the module fuzz target: XM and MOD songs using every effect, loop and envelope
// kind, a 16-channel MOD, a small XM, a 15-sample MOD and the head of an S3M file.
#include "tests/sound/music_test_util.h"

#include <cstdio>
#include <string>

namespace {

bool write_seed(const char *folder, const char *name, const std::string &bytes)
{
    std::string path = std::string(folder) + "/" + name;
    FILE *file = fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) return 2;
    const char *folder = argv[1];
    MusicWriterSong wide = music_test_seed_song(false);
    wide.tag = "16CH";
    wide.channels = 16;
    MusicWriterSong small;
    small.channels = 1;
    small.orders = {0};
    music_writer_cell(small, 0, 0, 0, 4) = {49, 1, 0x40, 0, 0};
    small.instruments.push_back(music_test_instrument(music_test_dc_sample()));
    // The 15-sample form: title and 15 sample headers, song length, restart and orders, no tag.
    std::string mod = music_write_mod(music_test_seed_song(false));
    std::string old = mod.substr(0, 470) + mod.substr(950, 130) + mod.substr(1084);
    std::string s3m = std::string("s3m song") + std::string(20, '\0') +
                      std::string("\x1a\x10\0\0\x02\0\x01\0\x01\0\0\0\x20\x13\x02\0SCRM", 20);
    s3m.resize(1200, '\x40');
    bool ok = write_seed(folder, "old15.mod", old) && write_seed(folder, "head.s3m", s3m) &&
              write_seed(folder, "song.xm", music_write_xm(music_test_seed_song(true))) &&
              write_seed(folder, "song.mod", music_write_mod(music_test_seed_song(false))) &&
              write_seed(folder, "wide.mod", music_write_mod(wide)) &&
              write_seed(folder, "small.xm", music_write_xm(small));
    return ok ? 0 : 1;
}
