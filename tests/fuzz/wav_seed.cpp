// Seed inputs of the WAV fuzz target: 8- and 16-bit files at several rates, an odd data size, files
// too short to resample, and files as other programs write them (longer format chunks, LIST and fact
// chunks, stereo, a compressed format).
#include "tests/sound/sound_test_util.h"

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

std::vector<int16_t> wave(int count)
{
    std::vector<int16_t> samples;
    for (int i = 0; i < count; i++) samples.push_back(int16_t((i * 2731) % 30000 - 15000));
    return samples;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) return 2;
    const char *folder = argv[1];
    TestWavHeader eight;
    eight.bits = 8;
    eight.rate = 8000;
    TestWavHeader odd;
    odd.rate = 32000;
    bool ok = write_seed(folder, "16bit-22050", test_wav_16bit(wave(64), 22050)) &&
              write_seed(folder, "16bit-44100", test_wav_16bit(wave(40), 44100)) &&
              write_seed(folder, "16bit-11025", test_wav_16bit(wave(20), 11025)) &&
              write_seed(folder, "8bit-8000", test_wav_file(eight, std::string("\x80\xff\x00\x40\xc0\x7f\x81", 7))) &&
              write_seed(folder, "odd-size", test_wav_file(odd, std::string("\x01\x02\x03\x04\x05", 5))) &&
              write_seed(folder, "one-sample", test_wav_16bit(wave(1), 44100)) &&
              write_seed(folder, "fmt18-list-stereo",
                         test_riff({{"fmt ", test_wav_format(1, 2, 22050, 16, 18)},
                                    {"LIST", std::string("INFOISFT\x05\0\0\0tool\0", 17)},
                                    {"data", test_pcm16(40, {1000, -3000})}})) &&
              write_seed(folder, "extensible-fact",
                         test_riff({{"fmt ", test_wav_format(1, 2, 44100, 8, 40)},
                                    {"fact", std::string("\x20\0\0\0", 4)},
                                    {"data", std::string(64, char(192))}})) &&
              write_seed(folder, "adpcm", test_riff({{"fmt ", test_wav_format(2, 1, 22050, 4, 18)},
                                                     {"data", std::string(32, 'x')}}));
    return ok ? 0 : 1;
}
