// Cost of the music player's rendering: one minute of a generated eight-channel XM rendered block
// by block with our mixer, and the same module rendered by libxmp (loaded at run time) as the
// reference. Prints the ratio of the two times; 1.0 or below is the target.
#include "sound/music_local.h"
#include "sound/music_writer.h"
#include "tests/sound/music_xmp.h"

#include "bench/bench_best.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

const int MINUTE_BLOCKS = 60 * 44100 / MUSIC_BLOCK_FRAMES;  // 750 blocks of 80 ms

MusicWriterSample wave_sample(int length, bool sixteen, int loop_type, double (*shape)(double))
{
    MusicWriterSample s;
    for (int i = 0; i < length; i++) s.data.push_back(int16_t(std::lround(20000.0 * shape(double(i) / length))));
    s.sixteen_bit = sixteen;
    s.loop_type = loop_type;
    s.loop_start = 0;
    s.loop_length = loop_type ? length : 0;
    return s;
}

double square(double t) { return t < 0.5 ? 1.0 : -1.0; }
double sine(double t) { return std::sin(2.0 * M_PI * t); }
double drum(double t) { return std::sin(2.0 * M_PI * 40.0 * t * (1.0 - t)) * (1.0 - t) * (1.0 - t); }

// Eight channels: bass, chords with envelopes on a ping-pong sample, a lead with vibrato and
// portamento, drums on a one-shot sample; four patterns of 64 rows at speed 6 and BPM 125.
std::string minute_song()
{
    MusicWriterSong song;
    song.channels = 8;
    song.orders = {0, 1, 2, 3, 1, 2, 3, 0};
    MusicWriterInstrument bass;
    bass.samples.push_back(wave_sample(64, false, 1, square));
    MusicWriterInstrument pad;
    pad.samples.push_back(wave_sample(256, true, 2, sine));
    pad.volume = {{{0, 0}, {8, 64}, {20, 40}, {60, 30}}, 7, 2, 1, 3};
    pad.panning = {{{0, 16}, {30, 48}, {60, 16}}, 5, 0, 0, 2};
    pad.fadeout = 512;
    MusicWriterInstrument kick;
    kick.samples.push_back(wave_sample(6000, true, 0, drum));
    song.instruments = {bass, pad, kick};
    const int chord[4] = {0, 4, 7, 11};
    for (int p = 0; p < 4; p++) {
        for (int row = 0; row < 64; row++) {
            int root = 37 + (p * 5 + row / 16 * 7) % 12;
            if (row % 4 == 0) music_writer_cell(song, p, row, 0) = {root - 12, 1, 0x30, 0, 0};
            if (row % 8 == 2) music_writer_cell(song, p, row, 1) = {root, 1, 0, 0xA, 0x02};
            for (int c = 0; c < 4; c++)
                if (row % 16 == c) music_writer_cell(song, p, row, 2 + c) = {root + 12 + chord[c], 2, 0x28, 0, 0};
            if (row % 2 == 0)
                music_writer_cell(song, p, row, 6) = {root + 24 + (row * 3) % 12, 1, 0x38, row % 4 ? 0x4 : 0x3,
                                                      row % 4 ? 0x46 : 0x20};
            if (row % 4 == 0 || row % 16 == 10) music_writer_cell(song, p, row, 7) = {25, 3, 0x40, 0, 0};
        }
    }
    return music_write_xm(song);
}

MusicModule *load_ours(const std::string &bytes)
{
    FILE *file = fmemopen(const_cast<char *>(bytes.data()), bytes.size(), "rb");
    if (!file) return nullptr;
    MusicModule *module = new MusicModule();
    int32_t ok = music_load_xm(file, module);
    fclose(file);
    if (ok) return module;
    music_free_module(module);
    return nullptr;
}

void BM_RenderMinuteOurs(benchmark::State &state)
{
    std::string bytes = minute_song();
    MusicModule *module = load_ours(bytes);
    if (!module) {
        state.SkipWithError("the module does not load");
        return;
    }
    music_build_period_table();
    music_build_clip_table();
    g_music_current_module = module;
    g_music_volume = 1.0f;
    int64_t checksum = 0;
    for (auto _ : state) {
        g_music_buffered_frames = 0;
        music_begin_module();
        for (int block = 0; block < MINUTE_BLOCKS; block++) {
            const int16_t *out = music_render(MUSIC_BLOCK_FRAMES);
            checksum += out[block % (2 * MUSIC_BLOCK_FRAMES)];
        }
    }
    benchmark::DoNotOptimize(checksum);
    g_music_current_module = nullptr;
    music_free_module(module);
    music_free_clip_table();
}
BENCHMARK(BM_RenderMinuteOurs)->Unit(benchmark::kMillisecond);

void BM_RenderMinuteLibxmp(benchmark::State &state)
{
    const MusicXmp *x = music_xmp();
    if (!x) {
        state.SkipWithError("libxmp.so.4 is missing");
        return;
    }
    std::string bytes = minute_song();
    xmp_context context = x->create_context();
    if (x->load_module_from_memory(context, bytes.data(), long(bytes.size())) != 0) {
        x->free_context(context);
        state.SkipWithError("libxmp does not load the module");
        return;
    }
    std::vector<int16_t> block(2 * MUSIC_BLOCK_FRAMES);
    int64_t checksum = 0;
    for (auto _ : state) {
        x->start_player(context, 44100, 0);
        x->set_player(context, XMP_PLAYER_INTERP, XMP_INTERP_LINEAR);
        x->set_player(context, XMP_PLAYER_MODE, XMP_MODE_FT2);
        for (int b = 0; b < MINUTE_BLOCKS; b++) {
            x->play_buffer(context, block.data(), MUSIC_BLOCK_BYTES, 0);
            checksum += block[size_t(b) % block.size()];
        }
        x->end_player(context);
    }
    benchmark::DoNotOptimize(checksum);
    x->release_module(context);
    x->free_context(context);
}
BENCHMARK(BM_RenderMinuteLibxmp)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv)
{
    std::map<std::string, double> times = bench_run_best(argc, argv, 7);
    double ours = 0.0, theirs = 0.0;
    double ratio = bench_ratio(times, "BM_RenderMinuteOurs", "BM_RenderMinuteLibxmp", &ours, &theirs);
    if (ratio > 0.0)
        printf("music: one minute rendered in %.2f ms (libxmp %.2f ms), ratio ours / libxmp = %.3f\n", ours, theirs,
               ratio);
    return 0;
}
