// Helpers of the music tests: modules loaded from bytes in memory, a player set up on one module,
// and one tick run with its position and frames kept.
#pragma once

#include "sound/music_local.h"
#include "sound/music_writer.h"

#include <cstdio>
#include <string>
#include <vector>

// Loads module bytes with the reader of their type; null when the reader refuses them.
inline MusicModule *music_test_load(const std::string &bytes, bool xm)
{
    if (bytes.empty()) return nullptr;
    FILE *file = fmemopen(const_cast<char *>(bytes.data()), bytes.size(), "rb");
    if (!file) return nullptr;
    MusicModule *module = new MusicModule();
    int32_t ok = xm ? music_load_xm(file, module) : music_load_mod(file, module);
    fclose(file);
    if (ok) return module;
    music_free_module(module);
    return nullptr;
}

// The player's state at the start of a module, as a switch to it leaves it.
inline void music_test_start(MusicModule *module)
{
    music_build_period_table();
    g_music_current_module = module;
    music_reset_channels();
    g_music_tick_rate = 50.0f;
    g_music_samples_per_tick = 882;
    g_music_speed = 6;
    if (module && module->type == 1) {
        g_music_speed = module->default_speed;
        music_set_tempo(module->default_bpm);
    }
    g_music_order_position = 0;
    g_music_row = 0;
    g_music_tick = 0;
    g_music_song_ended = 0;
    g_music_buffered_frames = 0;
    g_music_volume = 1.0f;
}

// Where a tick played and how many frames it rendered; channel 0's frames are kept.
struct MusicTestTick {
    int order, row, tick, speed, frames;
    std::vector<int16_t> left, right;
};

inline MusicTestTick music_test_tick(MusicModule *module, int channel = 0)
{
    MusicTestTick t = {g_music_order_position, g_music_row, g_music_tick, g_music_speed, 0, {}, {}};
    g_music_buffered_frames = 0;
    if (module && module->type == 1) music_tick_xm(module);
    else music_tick_mod(module);
    t.frames = g_music_buffered_frames;
    for (int f = 0; f < t.frames; f++) {
        t.left.push_back(g_music_channel_buffers[channel][2 * f]);
        t.right.push_back(g_music_channel_buffers[channel][2 * f + 1]);
    }
    return t;
}

inline std::vector<int16_t> music_test_constant(int count, int value)
{
    return std::vector<int16_t>(size_t(count), int16_t(value));
}

// A sample of 64 bytes of 0x40 looped whole: 16384 wherever it is read.
inline MusicWriterSample music_test_dc_sample()
{
    MusicWriterSample s;
    s.data = music_test_constant(64, 0x4000);
    s.loop_start = 0;
    s.loop_length = 64;
    s.loop_type = 1;
    return s;
}

// One cycle of a square wave over 64 samples, looped.
inline MusicWriterSample music_test_square_sample()
{
    MusicWriterSample s;
    for (int i = 0; i < 64; i++) s.data.push_back(int16_t(i < 32 ? 0x4000 : -0x4000));
    s.loop_start = 0;
    s.loop_length = 64;
    s.loop_type = 1;
    return s;
}

// An XM instrument holding one sample for every note.
inline MusicWriterInstrument music_test_instrument(const MusicWriterSample &sample)
{
    MusicWriterInstrument instrument;
    instrument.samples.push_back(sample);
    return instrument;
}

// Songs that use every effect, loop kind and envelope kind: seeds of the fuzz tests.
inline MusicWriterSong music_test_seed_song(bool xm)
{
    MusicWriterSong song;
    song.channels = xm ? 6 : 4;
    song.orders = {0, 1, 0};
    song.speed = 3;
    song.bpm = 140;
    int effects[] = {0x0, 0x1, 0x2, 0x3, 0x4, 0x5, 0x6, 0x7, 0x8, 0x9, 0xA, 0xB, 0xC, 0xD, 0xE, 0xF};
    for (int p = 0; p < 2; p++) {
        for (int row = 0; row < 24; row++) {
            for (int c = 0; c < song.channels; c++) {
                int effect = effects[(row + c + p) % 16];
                int parameter = (row * 37 + c * 11) & 0xFF;
                if (effect == 0xB || effect == 0xD) parameter &= 1;
                if (effect == 0xF) parameter = 2 + (row & 3);
                int note = xm ? 1 + (row * 7 + c) % 96 : music_writer_amiga_period(1 + c % 3, row % 12);
                if (row % 5 == 4) note = xm ? 97 : 0;
                int volume = xm ? 0x10 + row : 0;
                music_writer_cell(song, p, row, c, 24) = {note, 1 + (row + c) % 2, volume, effect, parameter};
            }
        }
    }
    MusicWriterSample wave = music_test_square_sample();
    MusicWriterSample once;
    for (int i = 0; i < 300; i++) once.data.push_back(int16_t(i * 97));
    if (!xm) {
        song.samples = {wave, once};
        song.samples[1].finetune = -3;
        return song;
    }
    wave.sixteen_bit = true;
    wave.loop_type = 2;
    MusicWriterInstrument first = music_test_instrument(wave);
    first.samples.push_back(once);
    first.note_map.assign(96, 0);
    for (int n = 48; n < 96; n++) first.note_map[n] = 1;
    first.volume = {{{0, 64}, {5, 20}, {9, 50}, {30, 0}}, 7, 2, 1, 3};
    first.panning = {{{0, 0}, {8, 64}, {16, 32}}, 5, 1, 0, 2};
    first.fadeout = 800;
    MusicWriterInstrument second = music_test_instrument(once);
    second.volume = {{{0, 10}, {4, 64}}, 1, 0, 0, 0};
    song.instruments = {first, second, MusicWriterInstrument()};
    return song;
}

// Loads bytes as music_load_module would decide their type and, when they load, plays a few ticks.
inline void music_test_fuzz_one(const uint8_t *data, size_t size, int ticks)
{
    std::string bytes(reinterpret_cast<const char *>(data), size);
    bool xm = bytes.compare(0, 10, "Extended M") == 0;
    MusicModule *module = music_test_load(bytes, xm);
    if (!module) return;
    music_test_start(module);
    for (int i = 0; i < ticks; i++) {
        g_music_buffered_frames = 0;
        if (xm) music_tick_xm(module);
        else music_tick_mod(module);
    }
    g_music_current_module = nullptr;
    music_free_module(module);
}
