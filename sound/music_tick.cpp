// One tick of a MOD or an XM module: the row's effects, every channel's frames for the tick, and
// the advance of tick, row and order. Both module types share the structure; Rules holds what
// differs.
#include "sound/music_local.h"

#include <algorithm>
#include <cmath>

namespace {

const int32_t half_sine[32] = {0,   24,  49,  74,  97,  120, 141, 161, 180, 197, 212, 224, 235, 244, 250, 253,
                               255, 253, 250, 244, 235, 224, 212, 197, 180, 161, 141, 120, 97,  74,  49,  24};

struct Rules {
    bool xm;
    int32_t lowest, highest;  // period limits
    int32_t fine;             // period units per step of E1x and E2x
    int32_t slide;            // period units per unit of a stored portamento speed
    int32_t stored;           // stored portamento speed per unit of an effect parameter
};

int32_t clamp(int32_t value, int32_t low, int32_t high) { return value < low ? low : value > high ? high : value; }

int32_t wave(int32_t position)
{
    int32_t value = half_sine[position & 31];
    return (position & 63) >= 32 ? -value : value;
}

int32_t slide_from(int32_t parameter)
{
    int32_t high = parameter >> 4, low = parameter & 15;
    if (low && !high) return -low;
    return high;
}

void read_cells(const MusicModule *module, const MusicCell **cells)
{
    for (int32_t c = 0; c < MUSIC_CHANNELS; c++)
        cells[c] = music_cell_at(module, g_music_order_position, g_music_row, c);
}

void next_order(const MusicModule *module)
{
    g_music_order_position++;
    if (g_music_order_position >= module->song_length) {
        g_music_order_position = 0;
        g_music_song_ended = 1;
    }
}

// Effect B. A target past the song wraps to its start, as the song's end does.
void jump_to_order(const MusicModule *module, int32_t order)
{
    g_music_order_position = order;
    if (order >= module->song_length) {
        g_music_order_position = 0;
        g_music_song_ended = 1;
    }
    g_music_row = 0;
    g_music_tick = 0;
    g_music_pattern_loop_row = 0;
}

void pattern_loop(const MusicModule *module, const MusicCell **cells, int32_t count)
{
    if (count == 0) {
        g_music_pattern_loop_row = g_music_row;
        return;
    }
    g_music_pattern_loop_count = g_music_pattern_loop_count == 0 ? count : g_music_pattern_loop_count - 1;
    if (g_music_pattern_loop_count > 0) {
        g_music_row = g_music_pattern_loop_row;
        read_cells(module, cells);
    }
}

void row_start_extended(const MusicModule *module, const MusicCell **cells, int32_t c, const Rules &rules)
{
    MusicChannel &ch = g_music_channels[c];
    int32_t x = cells[c]->parameter >> 4, y = cells[c]->parameter & 15;
    switch (x) {
    case 0x1: ch.porta_up_speed = y; break;
    case 0x2: ch.porta_down_speed = y; break;
    case 0x6: pattern_loop(module, cells, y); break;
    case 0x8:
        if (rules.xm) g_music_channel_pans[c] = y / 16.0f;
        break;
    case 0xA: ch.fine_volume_slide = y; break;
    case 0xB: ch.fine_volume_slide = -y; break;
    case 0xC: ch.note_cut_tick = y; break;
    case 0xE:
        if (g_music_pattern_delay == 0) g_music_pattern_delay = y;
        break;
    }
}

// Tick 0 of a row: the effects that take their parameters, in channel order. B and E6x read the
// cells again from their new row at once, for the channels that follow.
void row_start(const MusicModule *module, const MusicCell **cells, const Rules &rules)
{
    for (int32_t c = 0; c < g_music_channel_count; c++) {
        MusicChannel &ch = g_music_channels[c];
        ch.note_delay_tick = -1;
        ch.fine_volume_slide = 0;
        ch.volume_slide = 0;
        ch.note_cut_tick = -1;
        if (rules.xm) ch.fade_level = ch.fade_level > ch.fade_step ? ch.fade_level - ch.fade_step : 0;
        const MusicCell *cell = cells[c];
        int32_t p = cell->parameter, x = p >> 4, y = p & 15;
        bool note = cell->note != MUSIC_NO_NOTE;
        switch (cell->effect) {
        case 0x0:
            ch.arpeggio_counter = 0;
            ch.arpeggio_x = x;
            ch.arpeggio_y = y;
            break;
        case 0x1:
            if (p) ch.porta_up_speed = p * rules.stored;
            break;
        case 0x2:
            if (p) ch.porta_down_speed = p * rules.stored;
            break;
        case 0x4:
            if (y) ch.vibrato_depth = y;
            if (x) ch.vibrato_speed = x;
            if (note) ch.vibrato_position = 0;
            break;
        case 0x6: ch.volume_slide = slide_from(p); break;
        case 0x7:
            if (y) ch.tremolo_depth = y;
            if (x) ch.tremolo_speed = x;
            if (note) ch.tremolo_position = 0;
            break;
        case 0x8:
            if (rules.xm) g_music_channel_pans[c] = p / 255.0f;
            break;
        case 0xB:
            jump_to_order(module, p);
            read_cells(module, cells);
            break;
        case 0xE: row_start_extended(module, cells, c, rules); break;
        case 0xF:
            if (p <= 32) g_music_speed = p;
            else music_set_tempo(p);
            break;
        }
    }
}

// ---- note starts --------------------------------------------------------------------------------

void start_mod_note(MusicModule *module, MusicChannel &ch, const MusicCell *cell)
{
    int32_t e = cell->effect, p = cell->parameter;
    bool porta = e == 3 || e == 5;
    bool note = cell->note != MUSIC_NO_NOTE;
    bool sample = cell->instrument >= 1 && cell->instrument <= 31;
    ch.volume_slide = 0;
    if (sample) ch.sample = cell->instrument;
    if (note) ch.raw_period = cell->period;
    if (!porta && g_music_pattern_delay == 0) ch.position = 0.0f;
    ch.vibrato_depth = ch.vibrato_speed = ch.vibrato_position = 0;
    if (sample && e != 5 && e != 6 && g_music_pattern_delay == 0) ch.volume = module->samples[ch.sample].volume;
    if (e == 0xC) ch.volume = p;
    if (ch.sample < 1 || ch.sample > 31) return;
    ch.finetune = module->samples[ch.sample].finetune + 8;
    if (note) ch.note = cell->note;
    int32_t period = g_music_period_table[clamp(ch.finetune, 0, 15)][clamp(ch.note, 0, 119)];
    if (!porta) {
        ch.period = period;
        return;
    }
    ch.tone_porta_target = period;
    if (e == 3 && p) ch.tone_porta_speed = p;
    if (e == 5) ch.volume_slide = slide_from(p);
}

const MusicInstrument *xm_instrument(const MusicModule *module, int32_t instrument)
{
    if (instrument < 1 || instrument > module->instrument_count || instrument > 128) return nullptr;
    const MusicInstrument *i = &module->instruments[instrument];
    return i->samples ? i : nullptr;
}

// The sample a channel plays: its instrument's sample at its sample index, if both exist.
MusicSample *xm_channel_sample(MusicModule *module, const MusicChannel &ch)
{
    const MusicInstrument *instrument = xm_instrument(module, ch.sample);
    if (!instrument || ch.sample_index < 0 || ch.sample_index >= instrument->sample_count) return nullptr;
    return &instrument->samples[ch.sample_index];
}

// A note with an instrument, note or sample that does not exist silences the channel.
void start_xm_note(MusicModule *module, MusicChannel &ch, const MusicCell *cell)
{
    if (cell->note == MUSIC_KEY_OFF) {
        ch.period = 0;
        ch.sample = 0;
        ch.volume = 0;
        return;
    }
    int32_t e = cell->effect, p = cell->parameter;
    bool porta = e == 3 || e == 5;
    if (cell->instrument) ch.sample = cell->instrument;
    ch.vibrato_depth = ch.vibrato_speed = ch.vibrato_position = 0;
    ch.volume_slide = 0;
    const MusicInstrument *instrument = xm_instrument(module, ch.sample);
    int32_t index = instrument && cell->note >= 1 && cell->note <= 96 ? instrument->note_map[cell->note - 1] : -1;
    if (index < 0 || index >= (instrument ? instrument->sample_count : 0)) {
        ch.period = 0;
        return;
    }
    const MusicSample *sample = &instrument->samples[index];
    ch.sample_index = index;
    ch.pattern_note = cell->note;
    ch.finetune = sample->finetune;
    ch.note = cell->note + sample->relative_note;
    if (ch.note < 0) ch.note = 0;
    int32_t period = music_compute_note_period(ch.note, ch.finetune);
    ch.fade_level = 65536;
    ch.fade_step = instrument->fadeout;
    ch.volume_envelope_tick = 0;
    ch.panning_envelope_tick = 0;
    if (!porta && g_music_pattern_delay == 0) ch.position = 0.0f;
    if (e != 5 && e != 6) ch.volume = sample->volume;
    if (e == 0xC) ch.volume = p;
    if (!porta) {
        ch.period = period;
        return;
    }
    ch.tone_porta_target = period;
    if (e == 3 && p) ch.tone_porta_speed = p * 8;
    if (e == 5) ch.volume_slide = slide_from(p);
}

// ---- per tick -----------------------------------------------------------------------------------

// Arpeggio, vibrato and portamento; the effective period is the one heard this tick.
void shape_period(MusicChannel &ch, const MusicCell *cell, const Rules &rules)
{
    int32_t e = cell->effect, p = cell->parameter;
    ch.effective_period = ch.period;
    if (e == 0 && p != 0) {
        int32_t add = ch.arpeggio_counter == 0 ? 0 : ch.arpeggio_counter == 1 ? ch.arpeggio_x : ch.arpeggio_y;
        if (rules.xm) {
            ch.effective_period = music_compute_note_period(ch.note, clamp(ch.finetune + 16 * add, -128, 127));
        } else {
            ch.period = g_music_period_table[clamp(ch.finetune + add, 0, 15)][clamp(ch.note, 0, 119)];
            ch.effective_period = ch.period;
        }
        ch.arpeggio_counter = (ch.arpeggio_counter + 1) % 3;
        return;
    }
    if (e == 4 || e == 6) {
        int32_t offset = rules.xm ? 8 * (wave(ch.vibrato_position) * ch.vibrato_depth / 128)
                                  : 2 * (wave(ch.vibrato_position) * ch.vibrato_depth / 256);
        ch.effective_period = ch.period + offset;
        ch.vibrato_position += ch.vibrato_speed;
        return;
    }
    if (g_music_tick == 0) return;
    if (e == 1) ch.period = ch.period - rules.slide * ch.porta_up_speed < rules.lowest
                                ? rules.lowest
                                : ch.period - rules.slide * ch.porta_up_speed;
    if (e == 2) ch.period = ch.period + rules.slide * ch.porta_down_speed > rules.highest
                                ? rules.highest
                                : ch.period + rules.slide * ch.porta_down_speed;
    if (e == 3 || e == 5) {
        int32_t step = rules.slide * ch.tone_porta_speed;
        if (ch.period < ch.tone_porta_target)
            ch.period = ch.period + step > ch.tone_porta_target ? ch.tone_porta_target : ch.period + step;
        else
            ch.period = ch.period - step < ch.tone_porta_target ? ch.tone_porta_target : ch.period - step;
    }
    ch.effective_period = ch.period;
}

double xm_envelope(const MusicEnvelopePoint *points, int32_t type, int32_t sustain, int32_t loop_start,
                   int32_t loop_end, int32_t tick)
{
    if (type & 2) return music_envelope_sustain(points, sustain, tick);
    if (type & 4) return music_envelope_loop(points, loop_start, loop_end, tick);
    return music_envelope_plain(points, tick);
}

float xm_pan(const MusicInstrument *instrument, const MusicSample *sample, const MusicChannel &ch, int32_t c)
{
    double p;
    if (instrument->panning_type != 0)
        p = xm_envelope(instrument->panning_envelope, instrument->panning_type, instrument->panning_sustain,
                        instrument->panning_loop_start, instrument->panning_loop_end, ch.panning_envelope_tick);
    else
        p = sample->panning / 255.0 * g_music_channel_pans[c];
    if (p < 0.0) p = 0.0;
    if (p > 1.0) p = 1.0;
    return float(p >= 0.5 ? 0.5 * (1.0 + std::sqrt(2.0 * p - 1.0)) : 0.5 - 0.5 * std::sqrt(1.0 - 2.0 * p));
}

void channel_tick(MusicModule *module, int32_t c, const MusicCell *cell, const Rules &rules, int32_t frames)
{
    MusicChannel &ch = g_music_channels[c];
    int32_t e = cell->effect, p = cell->parameter, x = p >> 4, y = p & 15;
    int32_t tick = g_music_tick;
    if (tick == 0 && rules.xm && cell->note != MUSIC_NO_NOTE) start_xm_note(module, ch, cell);
    if (tick == 0 && !rules.xm && (cell->note != MUSIC_NO_NOTE || cell->instrument)) start_mod_note(module, ch, cell);
    if (tick == 0 && e == 9) ch.position = float(p * 256);
    if (ch.note_cut_tick == tick) {
        ch.volume = 0;
        ch.note_cut_tick = -1;
    }
    if (e == 0xE && x == 0xD && tick == 0) {
        ch.delayed_volume = ch.volume;
        ch.delayed_position = ch.position;
        ch.delayed_period = ch.period;
        ch.volume = 0;
        ch.note_delay_tick = y;
    }
    if (ch.note_delay_tick >= 0 && tick == ch.note_delay_tick) {
        ch.volume = ch.delayed_volume;
        ch.position = ch.delayed_position;
        ch.period = ch.delayed_period;
        ch.note_delay_tick = -1;
    }

    MusicSample *sample = nullptr;
    if (rules.xm) sample = xm_channel_sample(module, ch);
    else if (ch.sample >= 1 && ch.sample <= 31) sample = &module->samples[ch.sample];
    if (ch.period <= 0 || !sample || !sample->data) {
        music_render_silence(c, frames);
        return;
    }

    if (e == 0xE && x == 1 && tick == 0) ch.period = std::max(ch.period - rules.fine * y, rules.lowest);
    if (e == 0xE && x == 2 && tick == 0) ch.period = std::min(ch.period + rules.fine * y, rules.highest);
    if (e == 0xE && x == 5) sample->finetune = y >= 8 ? y - 16 : y;
    if (e == 0xC) ch.volume = p;
    if (e == 0xA) ch.volume_slide = slide_from(p);
    if (rules.xm && cell->volume >= 16 && cell->volume <= 80) ch.volume = cell->volume - 16;
    shape_period(ch, cell, rules);

    int32_t tremolo = 0;
    if (e == 7) {
        tremolo = wave(ch.tremolo_position) * ch.tremolo_depth / 64;
        ch.tremolo_position += ch.tremolo_speed;
    }
    ch.volume = clamp(ch.volume + (tick == 0 ? ch.fine_volume_slide : ch.volume_slide), 0, 63);
    int32_t v = clamp(ch.volume + tremolo, 0, 63);

    double gain, frequency;
    float pan;
    if (rules.xm) {
        const MusicInstrument *instrument = &module->instruments[ch.sample];
        double envelope = 1.0;
        if (instrument->volume_type != 0)
            envelope = xm_envelope(instrument->volume_envelope, instrument->volume_type, instrument->volume_sustain,
                                   instrument->volume_loop_start, instrument->volume_loop_end,
                                   ch.volume_envelope_tick);
        gain = v * double(g_music_volume.load()) * ch.fade_level / 4194304.0 * envelope;
        pan = xm_pan(instrument, sample, ch, c);
        ch.volume_envelope_tick++;
        ch.panning_envelope_tick++;
        frequency = ch.effective_period > 0 ? music_convert_period_to_frequency(ch.effective_period) : 0.0;
    } else {
        gain = clamp(int32_t(float(v) * g_music_volume.load()), 0, 63) / 64.0;
        pan = g_music_channel_pans[c];
        frequency = ch.effective_period > 0 ? 14318181.0 / (2.0 * ch.effective_period) : 0.0;
    }
    if (frequency <= 0.0 || tick < ch.note_delay_tick) {
        music_render_silence(c, frames);
        return;
    }
    double step = frequency / g_music_tick_rate / g_music_samples_per_tick;
    music_render_channel(c, sample, step, gain, pan, frames, rules.xm ? 1 : 0);
}

// The tick counter reaches the speed ("at or past", so that a pattern delay, which lets it run on,
// stretches the row tick by tick).
void advance(const MusicModule *module, const MusicCell *const *cells)
{
    g_music_tick++;
    if (g_music_tick < g_music_speed) return;
    if (g_music_pattern_delay > 0) {
        g_music_pattern_delay--;
        return;
    }
    bool jumped = false;
    for (int32_t c = 0; c < g_music_channel_count; c++) {
        if (cells[c]->effect != 0xD) continue;
        g_music_row = cells[c]->parameter;
        next_order(module);
        g_music_tick = 0;
        jumped = true;
    }
    if (!jumped) {
        g_music_row++;
        g_music_tick = 0;
    }
    if (g_music_row > music_row_count_at(module, g_music_order_position) - 1) {
        next_order(module);
        g_music_pattern_loop_row = 0;
        g_music_row = 0;
    }
}

void run_tick(MusicModule *module, const Rules &rules)
{
    int32_t room = MUSIC_CHANNEL_BUFFER_FRAMES - g_music_buffered_frames;
    if (!module) {
        int32_t frames = clamp(g_music_samples_per_tick, 0, room);
        for (int32_t c = 0; c < MUSIC_CHANNELS; c++) music_render_silence(c, frames);
        g_music_buffered_frames += frames;
        return;
    }
    g_music_channel_count = clamp(module->channel_count, 0, MUSIC_CHANNELS);
    const MusicCell *cells[MUSIC_CHANNELS];
    read_cells(module, cells);
    if (g_music_tick == 0) row_start(module, cells, rules);
    // After the row's effects, which may change the frames per tick. Never more than the buffers hold.
    int32_t frames = clamp(g_music_samples_per_tick, 0, room);
    for (int32_t c = 0; c < g_music_channel_count; c++) channel_tick(module, c, cells[c], rules, frames);
    advance(module, cells);
    g_music_buffered_frames += frames;
}

}  // namespace

void music_tick_mod(MusicModule *module)
{
    Rules rules = {false, g_music_period_table[15][71], g_music_period_table[0][0], 2, 2, 1};
    run_tick(module, rules);
}

void music_tick_xm(MusicModule *module)
{
    if (module) module->linear_frequency = 0;
    Rules rules = {true, music_compute_note_period(95, 0), music_compute_note_period(0, 0), 8, 1, 8};
    run_tick(module, rules);
}
