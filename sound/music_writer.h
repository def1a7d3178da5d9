// Writes XM and 31-sample MOD module files from a description in code, for the tests and the data
// tools. Values are written as given (loops, finetunes, volumes), so that odd files can be made too.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct MusicWriterSample {
    std::string name;
    std::vector<int16_t> data;  // MOD and 8-bit XM keep the high byte of each value
    int volume = 64;
    int finetune = 0;     // MOD -8 to 7, XM -128 to 127
    int loop_start = 0;   // in samples
    int loop_length = 0;  // in samples; MOD writes no loop (one word) for 0
    int loop_type = 0;    // XM type bits 0 and 1: 1 forward, 2 ping-pong
    int panning = 128;    // XM
    int relative_note = 0;
    bool sixteen_bit = false;  // XM
};

struct MusicWriterEnvelope {
    std::vector<std::pair<int, int>> points;  // (tick, value 0 to 64), at most 12
    int type = 0;                             // bit 0 on, bit 1 sustain, bit 2 loop
    int sustain = 0, loop_start = 0, loop_end = 0;
};

struct MusicWriterInstrument {
    std::string name;
    std::vector<MusicWriterSample> samples;
    std::vector<uint8_t> note_map;  // sample of notes 1 to 96; missing entries are 0
    MusicWriterEnvelope volume, panning;
    int fadeout = 0;
};

struct MusicWriterCell {
    int note = 0;        // XM 1 to 96, 97 key off; MOD the Amiga period; 0 none
    int instrument = 0;  // XM instrument or MOD sample
    int volume = 0;      // XM volume column
    int effect = 0;
    int parameter = 0;
};

struct MusicWriterPattern {
    int rows = 64;                       // MOD patterns always have 64
    std::vector<MusicWriterCell> cells;  // row after row, channels in each
    std::string packed;                  // XM: written instead of the cells when not empty
};

struct MusicWriterSong {
    std::string name;
    int channels = 4;
    std::vector<int> orders;  // the song: its length is the number of entries
    std::vector<MusicWriterPattern> patterns;
    std::vector<MusicWriterSample> samples;          // MOD samples 1 to 31 in order
    std::vector<MusicWriterInstrument> instruments;  // XM instruments 1 and up
    int speed = 6, bpm = 125, restart = 0, flags = 0;  // XM header
    std::string tag = "M.K.";                          // MOD format tag; "16CH" writes 256 orders
};

// The cell of a channel at a row of a pattern, making the pattern (of `rows` rows) when missing.
MusicWriterCell &music_writer_cell(MusicWriterSong &song, int pattern, int row, int channel, int rows = 64);
// ProTracker period at finetune 0 of octave 1 to 3 (C-1 is 856) and semitone 0 to 11.
int music_writer_amiga_period(int octave, int semitone);

std::string music_write_mod(const MusicWriterSong &song);
std::string music_write_xm(const MusicWriterSong &song);
// Writes a file whole or not at all (temporary file, then rename); 1 on success, 0 on failure.
int music_writer_save(const char *path, const std::string &bytes);
