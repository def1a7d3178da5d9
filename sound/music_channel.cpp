// Channel state, envelopes and the rendering of one channel's frames for one tick.
#include "sound/music_local.h"

#include <cstring>

// Renderer state: touched only by the thread that renders, handed between threads with the block.
MusicChannel g_music_channels[MUSIC_CHANNELS];
float g_music_channel_pans[MUSIC_CHANNELS] = {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f,
                                              0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f,
                                              0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f};
int32_t g_music_speed = 6;
int32_t g_music_tick;
int32_t g_music_row;
int32_t g_music_order_position;
int32_t g_music_pattern_delay;
int32_t g_music_pattern_loop_row;
int32_t g_music_pattern_loop_count;

int16_t g_music_channel_buffers[MUSIC_CHANNELS][MUSIC_CHANNEL_BUFFER_VALUES];
int32_t g_music_buffered_frames;
float g_music_tick_rate = 50.0f;
int32_t g_music_samples_per_tick = 882;
int32_t g_music_channel_count;
std::atomic<float> g_music_volume{1.0f};

namespace {

const MusicCell empty_cell = {MUSIC_NO_NOTE, 0, 0, 0, 0, 0};

const MusicPattern *pattern_at(const MusicModule *module, int32_t order_position)
{
    if (!module || !module->patterns || order_position < 0 || order_position >= 256) return nullptr;
    int32_t pattern = module->orders[order_position];
    if (pattern < 0 || pattern >= module->pattern_count) return nullptr;
    return &module->patterns[pattern];
}

int32_t clamp_point(int32_t point) { return point < 0 ? 0 : point > 11 ? 11 : point; }

// The value (0 to 1) on the first of segments 0 to `segments` - 1 that holds the tick; false when
// none does.
bool envelope_segment(const MusicEnvelopePoint *points, int32_t segments, int32_t tick, double *value)
{
    for (int32_t k = 0; k < segments; k++) {
        int32_t x0 = points[k].position, x1 = points[k + 1].position;
        if (x0 <= tick && tick < x1) {
            double y0 = points[k].value, y1 = points[k + 1].value;
            *value = (y0 + (y1 - y0) * (tick - x0) / (x1 - x0)) / 64.0;
            return true;
        }
    }
    return false;
}

const MusicInstrument *instrument_of(int32_t instrument)
{
    const MusicModule *module = g_music_current_module;
    if (!module || instrument < 1 || instrument > module->instrument_count || instrument > 128) return nullptr;
    return &module->instruments[instrument];
}

}  // namespace

void music_reset_channels(void)
{
    for (int32_t c = 0; c < MUSIC_CHANNELS; c++) {
        g_music_channel_pans[c] = 0.5f;
        // Whole records, so that a module starts the same way every time it is played.
        g_music_channels[c] = MusicChannel{};
        g_music_channels[c].note_cut_tick = -1;
        g_music_channels[c].note_delay_tick = -1;
    }
    g_music_pattern_delay = 0;
    g_music_pattern_loop_row = 0;
    g_music_pattern_loop_count = 0;
    MusicModule *module = g_music_current_module;
    g_music_channel_count = module ? module->channel_count : 0;
}

void music_set_tempo(int32_t bpm)
{
    double rate = double(bpm) * 2.0 * double(0.2f);
    if (rate <= 0.0) return;
    g_music_tick_rate = float(rate);
    g_music_samples_per_tick = int32_t(44100.0 / rate);
}

const MusicCell *music_cell_at(const MusicModule *module, int32_t order_position, int32_t row, int32_t channel)
{
    const MusicPattern *pattern = pattern_at(module, order_position);
    if (!pattern || row < 0 || uint32_t(row) >= pattern->row_count || channel < 0 || channel >= MUSIC_CHANNELS ||
        !pattern->columns[channel])
        return &empty_cell;
    return &pattern->columns[channel][row];
}

int32_t music_row_count_at(const MusicModule *module, int32_t order_position)
{
    const MusicPattern *pattern = pattern_at(module, order_position);
    return pattern && pattern->row_count > 0 ? int32_t(pattern->row_count) : 64;
}

// ---- envelopes ----------------------------------------------------------------------------------

double music_envelope_plain(const MusicEnvelopePoint *points, int32_t tick)
{
    double value = 0.0;
    return envelope_segment(points, 11, tick, &value) ? value : 0.0;
}

double music_envelope_sustain(const MusicEnvelopePoint *points, int32_t sustain, int32_t tick)
{
    sustain = clamp_point(sustain);
    double value = 0.0;
    if (sustain >= 1 && envelope_segment(points, sustain, tick, &value)) return value;
    return points[sustain].value / 64.0;
}

double music_envelope_loop(const MusicEnvelopePoint *points, int32_t loop_start, int32_t loop_end, int32_t tick)
{
    int32_t start = points[clamp_point(loop_start)].position;
    int32_t end = points[clamp_point(loop_end)].position;
    if (tick > start) {
        // A loop of no length holds at its start.
        tick = end > start ? start + (tick - start) % (end - start) : start;
    }
    return music_envelope_plain(points, tick);
}

double music_eval_volume_envelope(int32_t instrument, int32_t tick)
{
    const MusicInstrument *i = instrument_of(instrument);
    return i ? music_envelope_plain(i->volume_envelope, tick) : 0.0;
}

double music_eval_volume_envelope_sustain(int32_t instrument, int32_t tick)
{
    const MusicInstrument *i = instrument_of(instrument);
    return i ? music_envelope_sustain(i->volume_envelope, i->volume_sustain, tick) : 0.0;
}

double music_eval_volume_envelope_loop(int32_t instrument, int32_t tick)
{
    const MusicInstrument *i = instrument_of(instrument);
    return i ? music_envelope_loop(i->volume_envelope, i->volume_loop_start, i->volume_loop_end, tick) : 0.0;
}

double music_eval_panning_envelope(int32_t instrument, int32_t tick)
{
    const MusicInstrument *i = instrument_of(instrument);
    return i ? music_envelope_plain(i->panning_envelope, tick) : 0.0;
}

double music_eval_panning_envelope_sustain(int32_t instrument, int32_t tick)
{
    const MusicInstrument *i = instrument_of(instrument);
    return i ? music_envelope_sustain(i->panning_envelope, i->panning_sustain, tick) : 0.0;
}

double music_eval_panning_envelope_loop(int32_t instrument, int32_t tick)
{
    const MusicInstrument *i = instrument_of(instrument);
    return i ? music_envelope_loop(i->panning_envelope, i->panning_loop_start, i->panning_loop_end, tick) : 0.0;
}

// ---- rendering ----------------------------------------------------------------------------------

void music_render_silence(int32_t channel, int32_t frames)
{
    memset(&g_music_channel_buffers[channel][2 * g_music_buffered_frames], 0, sizeof(int16_t) * 2 * size_t(frames));
}

namespace {

// Within a tick the position runs in fixed point with 31 fraction bits, so that adding the step is
// exact and the positions of a run can be made ahead of the arithmetic; the channel keeps it as a
// float between ticks.
const int32_t FRACTION_BITS = 31;
const int64_t FRACTION_MASK = (int64_t(1) << FRACTION_BITS) - 1;
const double FIXED_ONE = double(int64_t(1) << FRACTION_BITS);

int64_t fixed_of(int64_t index) { return index << FRACTION_BITS; }

// Frames per batch of the common case: positions first, then the rest of the arithmetic over the
// batch in loops the compiler vectorises.
const int32_t RUN_BATCH = 64;

// One frame: the interpolated value at the fractional part, times the gain, split by the pan.
inline void put_frame(int16_t *out, int32_t a, int32_t b, double frac, double gain, float pan)
{
    int32_t s = int32_t((a + double(b - a) * frac) * gain);
    int32_t left = int32_t(float(s) * pan);
    out[0] = int16_t(left);
    out[1] = int16_t(s - left);
}

// The common case, frames from `f` on while the position stays below `limit`: index k and the one
// after it (reading backwards: `mirror` - k and the one before it) are inside the data and no
// loop wraps. Returns the frame where it stopped.
template <bool backward>
int32_t render_run(const int16_t *data, int16_t *out, int64_t &position, int64_t step, double gain, float pan,
                   int32_t f, int32_t frames, int64_t limit, int32_t mirror)
{
    int32_t fraction[RUN_BATCH], a[RUN_BATCH], d[RUN_BATCH];
    int64_t p = position;
    while (f < frames && p < limit) {
        // The frames of this batch whose positions stay below the limit.
        int32_t n = frames - f < RUN_BATCH ? frames - f : RUN_BATCH;
        if (step > 0 && (limit - p + step - 1) / step < n) n = int32_t((limit - p + step - 1) / step);
        int64_t at = p;
        for (int32_t i = 0; i < n; i++, at += step) {
            int32_t k = int32_t(at >> FRACTION_BITS);
            int32_t read = backward ? mirror - k : k;
            fraction[i] = int32_t(at & FRACTION_MASK);
            a[i] = data[read];
            d[i] = data[backward ? read - 1 : read + 1] - a[i];
        }
        p = at;
        int16_t *to = out + 2 * f;
        for (int32_t i = 0; i < n; i++) {
            double frac = fraction[i] * (1.0 / FIXED_ONE);
            int32_t s = int32_t((a[i] + d[i] * frac) * gain);
            int32_t left = int32_t(float(s) * pan);
            to[2 * i] = int16_t(left);
            to[2 * i + 1] = int16_t(s - left);
        }
        f += n;
    }
    position = p;
    return f;
}

// Mode 0 plays once (ending past `last`), 1 loops forward, 2 loops ping-pong. Runs without wraps go
// through render_run; the frames at the loop's ends and at the sample's end one by one.
template <int mode>
void render_frames(MusicChannel &ch, int16_t *out, const MusicSample *sample, double step, double gain, float pan,
                   int32_t frames, int32_t last)
{
    const int16_t *data = sample->data;
    int32_t length = sample->length;
    int32_t ls = sample->loop_start, ll = sample->loop_length;
    int64_t position = int64_t(double(ch.position) * FIXED_ONE);
    int64_t advance = int64_t(step * FIXED_ONE + 0.5);
    int64_t forward_end = fixed_of(mode == 0 ? int64_t(length) - 1 : int64_t(ls) + ll - 1);
    int64_t back_start = fixed_of(int64_t(ls) + ll + 1), back_end = fixed_of(int64_t(ls) + 2 * int64_t(ll) - 1);
    for (int32_t f = 0; f < frames; f++, position += advance) {
        if (position < forward_end) {
            f = render_run<false>(data, out, position, advance, gain, pan, f, frames, forward_end, 0);
            if (f == frames) break;
        } else if (mode == 2 && position >= back_start && position < back_end) {
            f = render_run<true>(data, out, position, advance, gain, pan, f, frames, back_end, 2 * (ls + ll));
            if (f == frames) break;
        }
        int32_t k = int32_t(position >> FRACTION_BITS);
        int64_t fraction = position & FRACTION_MASK;
        int32_t read = k, next = k + 1;
        if (mode == 0 && k > last) {
            // The sample has ended: the channel stops for the rest of the tick and after.
            ch.period = 0;
            ch.position = float(double(position) / FIXED_ONE);
            memset(out + 2 * f, 0, sizeof(int16_t) * 2 * size_t(frames - f));
            return;
        }
        if (mode == 1) {
            if (k > ls && k - ls >= ll) {
                read = ls + (k - ls) % ll;
                position = fixed_of(read) | fraction;
                next = read + 1;
            }
            if (next == ls + ll) next = ls;
        }
        if (mode == 2 && k > ls) {
            // Forward through the loop, then back; a turn reads one past the loop.
            int32_t m = k - ls;
            if (m >= 2 * ll) {
                m %= 2 * ll;
                position = fixed_of(ls + m) | fraction;
            }
            read = m < ll ? ls + m : ls + ll - (m - ll);
            int32_t m1 = m + 1 == 2 * ll ? 0 : m + 1;
            next = m1 < ll ? ls + m1 : ls + ll - (m1 - ll);
            // At the end of the data the turn reads the last sample, never past it.
            if (read >= length) read = length - 1;
        }
        int32_t a = data[read];
        int32_t b = next >= length ? a : data[next];
        put_frame(out + 2 * f, a, b, double(fraction) / FIXED_ONE, gain, pan);
    }
    ch.position = float(double(position) / FIXED_ONE);
}

}  // namespace

void music_render_channel(int32_t channel, const MusicSample *sample, double step, double gain, float pan,
                          int32_t frames, int32_t xm)
{
    MusicChannel &ch = g_music_channels[channel];
    int16_t *out = &g_music_channel_buffers[channel][2 * g_music_buffered_frames];
    int32_t ll = sample->loop_length;
    int32_t mode = xm ? sample->loop_type : (ll != 0 && ll != 2 ? 1 : 0);
    if (ll <= 0) mode = 0;
    // Gains stay within 1 (volume 63/64 at most), so values stay within 16 bits.
    if (gain > 1.0) gain = 1.0;
    if (gain < -1.0) gain = -1.0;
    // Past this index a sample played once has ended (MOD data carry zeros after the length).
    int32_t last = xm ? sample->length - 1 : sample->length;
    if (mode == 1) render_frames<1>(ch, out, sample, step, gain, pan, frames, last);
    else if (mode == 2) render_frames<2>(ch, out, sample, step, gain, pan, frames, last);
    else render_frames<0>(ch, out, sample, step, gain, pan, frames, last);
}
