// Demo: plays a generated Ogg effect and a generated WAV effect through SDL's "disk" audio driver
// into a raw file (16-bit stereo, 44100 Hz), then finds both effects in that file sample for sample.
//   sound_demo [output.raw]
#include "sound/sound.h"
#include "tests/sound/sound_test_util.h"
#include "tests/test_util.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

std::vector<int16_t> contents(SoundEffect *effect)
{
    void *region1, *region2;
    DWORD bytes1, bytes2;
    std::vector<int16_t> samples;
    if (FAILED(effect->buffer8->Lock(0, 0, &region1, &bytes1, &region2, &bytes2, DSBLOCK_ENTIREBUFFER))) return samples;
    samples.resize(bytes1 / 2);
    memcpy(samples.data(), region1, bytes1);
    effect->buffer8->Unlock(region1, bytes1, region2, bytes2);
    return samples;
}

void play_to_end(SoundEffect *effect)
{
    sound_play_effect(effect, 0);
    DWORD status = DSBSTATUS_PLAYING;
    for (int waited = 0; waited < 10000 && (status & DSBSTATUS_PLAYING); waited += 10) {
        Sleep(10);
        effect->buffer8->GetStatus(&status);
    }
}

// Where the effect's samples appear on both channels of the output at or after frame `from`; -1 if
// nowhere.
long find_effect(const std::vector<int16_t> &out, long from, const std::vector<int16_t> &effect)
{
    size_t lead = 0;
    while (lead < effect.size() && effect[lead] == 0) lead++;
    long frames = long(out.size() / 2);
    for (long at = from; at < frames; at++) {
        if (out[2 * size_t(at)] == 0) continue;
        long start = at - long(lead);
        if (start < from || start + long(effect.size()) > frames) return -1;
        for (size_t i = 0; i < effect.size(); i++)
            if (out[2 * (size_t(start) + i)] != effect[i] || out[2 * (size_t(start) + i) + 1] != effect[i]) return -1;
        return start;
    }
    return -1;
}

}  // namespace

int main(int argc, char **argv)
{
    std::string output = argc > 1 ? argv[1] : "sound_demo.raw";
    unsetenv("ZAVGOLF_HEADLESS");
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", output.c_str(), 1);

    TempDir dir;
    std::vector<float> chirp(17640);
    for (size_t i = 0; i < chirp.size(); i++) {
        double t = double(i) / 44100.0;
        chirp[i] = float(0.6 * std::exp(-4.0 * t) * std::sin(2.0 * 3.14159265358979 * (400.0 + 600.0 * t) * t));
    }
    test_write_file(dir / "chirp.ogg", test_encode_ogg(chirp, 1, 44100));
    std::vector<int16_t> ding(8820);
    for (size_t i = 0; i < ding.size(); i++)
        ding[i] = int16_t(12000.0 * std::exp(-6.0 * double(i) / 22050.0) * std::sin(double(i) * 0.2));
    test_write_file(dir / "ding.wav", test_wav_16bit(ding, 22050));

    if (!sound_init_system(nullptr)) {
        fprintf(stderr, "sound_demo: no audio device\n");
        return 1;
    }
    SoundEffect *ogg = sound_load_effect((dir / "chirp.ogg").c_str());
    SoundEffect *wav = sound_load_effect((dir / "ding.wav").c_str());
    if (!ogg || !wav) {
        fprintf(stderr, "sound_demo: the generated effects did not load\n");
        sound_shutdown_system();
        return 1;
    }
    std::vector<int16_t> ogg_samples = contents(ogg), wav_samples = contents(wav);
    play_to_end(ogg);
    play_to_end(wav);
    Sleep(200);
    sound_shutdown_system();

    std::string bytes = test_read_file(output);
    std::vector<int16_t> out(bytes.size() / 4 * 2);
    memcpy(out.data(), bytes.data(), out.size() * 2);
    long ogg_at = find_effect(out, 0, ogg_samples);
    long wav_at = ogg_at < 0 ? -1 : find_effect(out, ogg_at + long(ogg_samples.size()), wav_samples);
    printf("sound_demo: %zu frames written to %s; Ogg effect (%zu samples) at frame %ld, WAV effect (%zu samples) "
           "at frame %ld\n",
           out.size() / 2, output.c_str(), ogg_samples.size(), ogg_at, wav_samples.size(), wav_at);
    return ogg_at >= 0 && wav_at >= 0 ? 0 : 1;
}
