// XM and MOD module files from a description in code.
#include "sound/music_writer.h"

#include "platform/system.h"

#include <algorithm>

namespace {

void put8(std::string &out, int value) { out.push_back(char(value & 0xFF)); }
void put16le(std::string &out, int value)
{
    put8(out, value);
    put8(out, value >> 8);
}
void put32le(std::string &out, uint32_t value)
{
    put16le(out, int(value & 0xFFFF));
    put16le(out, int(value >> 16));
}
void put16be(std::string &out, int value)
{
    put8(out, value >> 8);
    put8(out, value);
}
void put_text(std::string &out, const std::string &text, size_t size)
{
    std::string field = text.substr(0, std::min(text.size(), size));
    field.resize(size, '\0');
    out += field;
}

const MusicWriterCell *cell_of(const MusicWriterSong &song, int pattern, int row, int channel)
{
    if (pattern < 0 || pattern >= int(song.patterns.size())) return nullptr;
    size_t index = size_t(row) * song.channels + channel;
    const MusicWriterPattern &p = song.patterns[pattern];
    return index < p.cells.size() ? &p.cells[index] : nullptr;
}

int pattern_total(const MusicWriterSong &song)
{
    int highest = 0;
    for (int order : song.orders) highest = std::max(highest, order);
    return std::max(highest + 1, int(song.patterns.size()));
}

std::string xm_packed_cells(const MusicWriterSong &song, int pattern, int rows)
{
    std::string out;
    for (int r = 0; r < rows; r++) {
        for (int c = 0; c < song.channels; c++) {
            const MusicWriterCell *cell = cell_of(song, pattern, r, c);
            MusicWriterCell empty;
            if (!cell) cell = &empty;
            int mask = 0x80 | (cell->note ? 1 : 0) | (cell->instrument ? 2 : 0) | (cell->volume ? 4 : 0) |
                       (cell->effect ? 8 : 0) | (cell->parameter ? 16 : 0);
            if (mask == 0x9F) {
                // Every field present: the unpacked form, the note first.
                put8(out, cell->note);
                mask = 0x1E;
            } else {
                put8(out, mask);
            }
            if (mask & 1) put8(out, cell->note);
            if (mask & 2) put8(out, cell->instrument);
            if (mask & 4) put8(out, cell->volume);
            if (mask & 8) put8(out, cell->effect);
            if (mask & 16) put8(out, cell->parameter);
        }
    }
    return out;
}

void xm_envelope(std::string &out, const MusicWriterEnvelope &envelope)
{
    for (int i = 0; i < 12; i++) {
        bool used = i < int(envelope.points.size());
        put16le(out, used ? envelope.points[i].first : 0);
        put16le(out, used ? envelope.points[i].second : 0);
    }
}

void xm_sample_data(std::string &out, const MusicWriterSample &sample)
{
    int previous = 0;
    for (int16_t value : sample.data) {
        int v = sample.sixteen_bit ? value : value >> 8;
        put8(out, v - previous);
        if (sample.sixteen_bit) put8(out, (v - previous) >> 8);
        previous = v;
    }
}

void xm_instrument(std::string &out, const MusicWriterInstrument &instrument)
{
    if (instrument.samples.empty()) {
        put32le(out, 29);
        put_text(out, instrument.name, 22);
        put8(out, 0);
        put16le(out, 0);
        return;
    }
    put32le(out, 263);
    put_text(out, instrument.name, 22);
    put8(out, 0);
    put16le(out, int(instrument.samples.size()));
    put32le(out, 40);
    for (int n = 0; n < 96; n++) put8(out, n < int(instrument.note_map.size()) ? instrument.note_map[n] : 0);
    xm_envelope(out, instrument.volume);
    xm_envelope(out, instrument.panning);
    put8(out, int(instrument.volume.points.size()));
    put8(out, int(instrument.panning.points.size()));
    put8(out, instrument.volume.sustain);
    put8(out, instrument.volume.loop_start);
    put8(out, instrument.volume.loop_end);
    put8(out, instrument.panning.sustain);
    put8(out, instrument.panning.loop_start);
    put8(out, instrument.panning.loop_end);
    put8(out, instrument.volume.type);
    put8(out, instrument.panning.type);
    for (int i = 0; i < 4; i++) put8(out, 0);  // vibrato type, sweep, depth, rate
    put16le(out, instrument.fadeout);
    out.append(22, '\0');
    for (const MusicWriterSample &s : instrument.samples) {
        int width = s.sixteen_bit ? 2 : 1;
        put32le(out, uint32_t(s.data.size() * width));
        put32le(out, uint32_t(s.loop_start * width));
        put32le(out, uint32_t(s.loop_length * width));
        put8(out, s.volume);
        put8(out, s.finetune);
        put8(out, (s.loop_type & 3) | (s.sixteen_bit ? 0x10 : 0));
        put8(out, s.panning);
        put8(out, s.relative_note);
        put8(out, 0);
        put_text(out, s.name, 22);
    }
    for (const MusicWriterSample &s : instrument.samples) xm_sample_data(out, s);
}

}  // namespace

MusicWriterCell &music_writer_cell(MusicWriterSong &song, int pattern, int row, int channel, int rows)
{
    if (int(song.patterns.size()) <= pattern) song.patterns.resize(size_t(pattern) + 1);
    MusicWriterPattern &p = song.patterns[pattern];
    if (p.cells.empty()) p.rows = rows;
    size_t needed = size_t(p.rows) * song.channels;
    if (p.cells.size() < needed) p.cells.resize(needed);
    return p.cells[size_t(row) * song.channels + channel];
}

int music_writer_amiga_period(int octave, int semitone)
{
    static const int periods[36] = {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
                                    428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
                                    214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};
    int index = (octave - 1) * 12 + semitone;
    return index >= 0 && index < 36 ? periods[index] : 0;
}

std::string music_write_mod(const MusicWriterSong &song)
{
    std::string out;
    put_text(out, song.name, 20);
    for (int s = 0; s < 31; s++) {
        MusicWriterSample empty;
        const MusicWriterSample &sample = s < int(song.samples.size()) ? song.samples[s] : empty;
        put_text(out, sample.name, 22);
        put16be(out, int((sample.data.size() + 1) / 2));
        put8(out, sample.finetune & 0x0F);
        put8(out, sample.volume);
        put16be(out, sample.loop_start / 2);
        put16be(out, sample.loop_length ? sample.loop_length / 2 : 1);
    }
    bool sixteen = song.tag == "16CH";
    int order_count = sixteen ? 256 : 128;
    put8(out, int(song.orders.size()));
    put8(out, 127);
    for (int i = 0; i < order_count; i++) put8(out, i < int(song.orders.size()) ? song.orders[i] : 0);
    put_text(out, song.tag, 4);
    int patterns = pattern_total(song);
    for (int p = 0; p < patterns; p++) {
        for (int r = 0; r < 64; r++) {
            for (int c = 0; c < song.channels; c++) {
                const MusicWriterCell *cell = cell_of(song, p, r, c);
                MusicWriterCell none;
                if (!cell) cell = &none;
                put8(out, (cell->instrument & 0xF0) | ((cell->note >> 8) & 0x0F));
                put8(out, cell->note);
                put8(out, ((cell->instrument & 0x0F) << 4) | (cell->effect & 0x0F));
                put8(out, cell->parameter);
            }
        }
    }
    for (const MusicWriterSample &sample : song.samples) {
        for (int16_t value : sample.data) put8(out, value >> 8);
        if (sample.data.size() % 2) put8(out, 0);
    }
    return out;
}

std::string music_write_xm(const MusicWriterSong &song)
{
    std::string out = "Extended Module: ";
    put_text(out, song.name, 20);
    put8(out, 0x1A);
    put_text(out, "zavgolf", 20);
    put16le(out, 0x0104);
    put32le(out, 276);
    put16le(out, int(song.orders.size()));
    put16le(out, song.restart);
    put16le(out, song.channels);
    int patterns = pattern_total(song);
    put16le(out, patterns);
    put16le(out, int(song.instruments.size()));
    put16le(out, song.flags);
    put16le(out, song.speed);
    put16le(out, song.bpm);
    for (int i = 0; i < 256; i++) put8(out, i < int(song.orders.size()) ? song.orders[i] : 0);
    for (int p = 0; p < patterns; p++) {
        int rows = p < int(song.patterns.size()) ? song.patterns[p].rows : 64;
        std::string packed = p < int(song.patterns.size()) && !song.patterns[p].packed.empty()
                                 ? song.patterns[p].packed
                                 : xm_packed_cells(song, p, rows);
        put32le(out, 9);
        put8(out, 0);
        put16le(out, rows);
        put16le(out, int(packed.size()));
        out += packed;
    }
    for (const MusicWriterInstrument &instrument : song.instruments) xm_instrument(out, instrument);
    return out;
}

int music_writer_save(const char *path, const std::string &bytes)
{
    return sys_write_whole(path, bytes.data(), bytes.size());
}
