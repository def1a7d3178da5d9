// Seed inputs of the Ogg fuzz target: short Ogg Vorbis files of one, two and three channels at two
// rates, and an empty stream, made with libvorbisenc.
#include "tests/sound/sound_test_util.h"

#include <cstdio>
#include <string>

namespace {

bool write_seed(const char *folder, const char *name, const std::string &bytes)
{
    std::string path = std::string(folder) + "/" + name;
    FILE *file = fopen(path.c_str(), "wb");
    if (!file || bytes.empty()) {
        if (file) fclose(file);
        return false;
    }
    bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) return 2;
    const char *folder = argv[1];
    bool ok = write_seed(folder, "mono-44100", test_encode_ogg(test_sine(2000, 1, 44100, 440, 0.5), 1, 44100, 0.0f)) &&
              write_seed(folder, "stereo-22050",
                         test_encode_ogg(test_sine(1500, 2, 22050, 300, 0.4), 2, 22050, 0.0f)) &&
              write_seed(folder, "three-44100", test_encode_ogg(test_sine(1000, 3, 44100, 900, 0.3), 3, 44100, 0.0f)) &&
              write_seed(folder, "empty", test_encode_ogg({}, 1, 44100, 0.0f));
    return ok ? 0 : 1;
}
