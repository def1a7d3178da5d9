// The synth kit: generators, envelopes and filters on float signals, and the Ogg Vorbis writer.
#include "tools/data_synth.h"

#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

const double two_pi = 2.0 * std::numbers::pi;

double wrap_phase(double phase) { return phase - std::floor(phase); }

}  // namespace

float synth_noise(DataRandom *random) { return 2.0f * data_random_float(random) - 1.0f; }

// ---- oscillators --------------------------------------------------------------------------------

float synth_oscillator_next(SynthOscillator *oscillator, double hz, double rate)
{
    double p = oscillator->phase;
    double value = 0.0;
    switch (oscillator->wave) {
    case SYNTH_SINE: value = std::sin(two_pi * p); break;
    case SYNTH_TRIANGLE: value = p < 0.25 ? 4.0 * p : p < 0.75 ? 2.0 - 4.0 * p : 4.0 * p - 4.0; break;
    case SYNTH_SAW: value = p < 0.5 ? 2.0 * p : 2.0 * p - 2.0; break;
    case SYNTH_PULSE: value = p < oscillator->width ? 1.0 : -1.0; break;
    }
    oscillator->phase = wrap_phase(p + hz / rate);
    return float(value);
}

float synth_fm_next(SynthFm *fm, double hz, double ratio, double index, double rate)
{
    double value = std::sin(two_pi * fm->carrier_phase + index * std::sin(two_pi * fm->modulator_phase));
    fm->carrier_phase = wrap_phase(fm->carrier_phase + hz / rate);
    fm->modulator_phase = wrap_phase(fm->modulator_phase + ratio * hz / rate);
    return float(value);
}

// ---- envelopes ----------------------------------------------------------------------------------

double synth_adsr(double t, double attack, double decay, double sustain, double release_at, double release)
{
    if (t < 0.0) return 0.0;
    double level;
    if (t < attack) level = t / attack;
    else if (t < attack + decay) level = 1.0 - (1.0 - sustain) * (t - attack) / decay;
    else level = sustain;
    if (t < release_at) return level;
    if (release <= 0.0 || t >= release_at + release) return 0.0;
    return synth_adsr(release_at, attack, decay, sustain, release_at + 1.0, release) *
           (1.0 - (t - release_at) / release);
}

double synth_exp(double t, double attack, double tau)
{
    if (t < 0.0) return 0.0;
    if (t < attack) return t / attack;
    return std::exp(-(t - attack) / tau);
}

// ---- filters ------------------------------------------------------------------------------------

SynthOnePole synth_one_pole(double cutoff_hz, double rate)
{
    return {1.0 - std::exp(-two_pi * cutoff_hz / rate), 0.0};
}

float synth_one_pole_lowpass(SynthOnePole *filter, float x)
{
    filter->y += filter->a * (double(x) - filter->y);
    return float(filter->y);
}

float synth_one_pole_highpass(SynthOnePole *filter, float x) { return x - synth_one_pole_lowpass(filter, x); }

SynthBiquad synth_biquad(SynthBiquadKind kind, double hz, double q, double rate)
{
    SynthBiquad filter = {};
    synth_biquad_tune(&filter, kind, hz, q, rate);
    return filter;
}

void synth_biquad_tune(SynthBiquad *filter, SynthBiquadKind kind, double hz, double q, double rate)
{
    double w = two_pi * std::clamp(hz, 1.0, 0.49 * rate) / rate;
    double alpha = std::sin(w) / (2.0 * q), c = std::cos(w);
    double a0 = 1.0 + alpha;
    double b0, b1, b2;
    switch (kind) {
    case SYNTH_LOWPASS: b0 = (1.0 - c) / 2.0, b1 = 1.0 - c, b2 = b0; break;
    case SYNTH_HIGHPASS: b0 = (1.0 + c) / 2.0, b1 = -(1.0 + c), b2 = b0; break;
    default: b0 = alpha, b1 = 0.0, b2 = -alpha; break;
    }
    filter->b0 = b0 / a0;
    filter->b1 = b1 / a0;
    filter->b2 = b2 / a0;
    filter->a1 = -2.0 * c / a0;
    filter->a2 = (1.0 - alpha) / a0;
}

float synth_biquad_run(SynthBiquad *f, float x)
{
    double y = f->b0 * x + f->b1 * f->x1 + f->b2 * f->x2 - f->a1 * f->y1 - f->a2 * f->y2;
    f->x2 = f->x1;
    f->x1 = x;
    f->y2 = f->y1;
    f->y1 = y;
    return float(y);
}

std::vector<float> synth_pluck(DataRandom *random, double hz, int count, double decay, double rate)
{
    int period = std::max(2, int(std::lround(rate / hz)));
    std::vector<float> line(static_cast<size_t>(period));
    for (float &value : line) value = synth_noise(random);
    std::vector<float> out(static_cast<size_t>(std::max(count, 0)));
    for (size_t i = 0; i < out.size(); i++) {
        size_t at = i % size_t(period), next = (i + 1) % size_t(period);
        out[i] = line[at];
        line[at] = float(decay * 0.5 * (double(line[at]) + double(line[next])));
    }
    return out;
}

// ---- whole signals ------------------------------------------------------------------------------

void synth_mix(std::vector<float> &signal, const std::vector<float> &part, int at, float gain)
{
    if (at < 0) return;
    if (signal.size() < size_t(at) + part.size()) signal.resize(size_t(at) + part.size(), 0.0f);
    for (size_t i = 0; i < part.size(); i++) signal[size_t(at) + i] += gain * part[i];
}

void synth_normalise(std::vector<float> &signal, double peak_dbfs)
{
    float peak = 0.0f;
    for (float value : signal) peak = std::max(peak, std::fabs(value));
    if (peak <= 0.0f) return;
    double gain = std::pow(10.0, peak_dbfs / 20.0) / peak;
    for (float &value : signal) value = float(value * gain);
}

void synth_fade_out(std::vector<float> &signal, int fade_from, int silent_from)
{
    int size = int(signal.size());
    silent_from = std::clamp(silent_from, 0, size);
    fade_from = std::clamp(fade_from, 0, silent_from);
    for (int i = fade_from; i < silent_from; i++) {
        double x = double(i - fade_from) / double(silent_from - fade_from);
        signal[size_t(i)] = float(signal[size_t(i)] * 0.5 * (1.0 + std::cos(std::numbers::pi * x)));
    }
    for (int i = silent_from; i < size; i++) signal[size_t(i)] = 0.0f;
}

void synth_fade_in(std::vector<float> &signal, int count)
{
    count = std::min(count, int(signal.size()));
    for (int i = 0; i < count; i++)
        signal[size_t(i)] = float(signal[size_t(i)] * 0.5 * (1.0 - std::cos(std::numbers::pi * i / count)));
}

int synth_samples(double seconds, double rate) { return int(std::lround(seconds * rate)); }

// ---- Ogg Vorbis ---------------------------------------------------------------------------------

namespace {

const int ogg_serial = 0x5A41564F;  // fixed, so that two runs write the same bytes

void append_page(std::string &out, const ogg_page &page)
{
    out.append(reinterpret_cast<const char *>(page.header), size_t(page.header_len));
    out.append(reinterpret_cast<const char *>(page.body), size_t(page.body_len));
}

// Every packet the encoder has ready, paged into `out`; true once the last page is out.
bool drain_encoder(vorbis_dsp_state *dsp, vorbis_block *block, ogg_stream_state *stream, std::string &out)
{
    bool ended = false;
    while (vorbis_analysis_blockout(dsp, block) == 1) {
        vorbis_analysis(block, nullptr);
        vorbis_bitrate_addblock(block);
        ogg_packet packet;
        while (vorbis_bitrate_flushpacket(dsp, &packet)) {
            ogg_stream_packetin(stream, &packet);
            ogg_page page;
            while (ogg_stream_pageout(stream, &page)) {
                append_page(out, page);
                ended = ended || ogg_page_eos(&page);
            }
        }
    }
    return ended;
}

}  // namespace

std::string synth_encode_ogg(const std::vector<float> &samples, int channels, int rate, float quality)
{
    if (channels < 1) return std::string();
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, channels, rate, quality) != 0) {
        vorbis_info_clear(&info);
        return std::string();
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block block;
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, ogg_serial);

    std::string out;
    ogg_packet id, comments, codebooks;
    vorbis_analysis_headerout(&dsp, &comment, &id, &comments, &codebooks);
    ogg_stream_packetin(&stream, &id);
    ogg_stream_packetin(&stream, &comments);
    ogg_stream_packetin(&stream, &codebooks);
    ogg_page page;
    while (ogg_stream_flush(&stream, &page)) append_page(out, page);

    const size_t chunk = 1024, frames = samples.size() / size_t(channels);
    for (size_t done = 0; done < frames; done += chunk) {
        int n = int(std::min(chunk, frames - done));
        float **buffer = vorbis_analysis_buffer(&dsp, n);
        for (int c = 0; c < channels; c++)
            for (int i = 0; i < n; i++) buffer[c][i] = samples[(done + size_t(i)) * size_t(channels) + size_t(c)];
        vorbis_analysis_wrote(&dsp, n);
        drain_encoder(&dsp, &block, &stream, out);
    }
    vorbis_analysis_wrote(&dsp, 0);
    bool ended = drain_encoder(&dsp, &block, &stream, out);
    while (!ended && ogg_stream_flush(&stream, &page)) {
        append_page(out, page);
        ended = ogg_page_eos(&page);
    }

    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return out;
}

double synth_decoded_peak(const std::string &ogg)
{
    FILE *file = fmemopen(const_cast<char *>(ogg.data()), ogg.size(), "rb");
    if (!file) return -1.0;
    OggVorbis_File stream;
    if (ov_open(file, &stream, nullptr, 0) < 0) {
        fclose(file);
        return -1.0;
    }
    int peak = 0, section = 0;
    char chunk[4096];
    for (;;) {
        long got = ov_read(&stream, chunk, sizeof chunk, 0, 1, 1, &section);
        if (got == OV_HOLE) continue;
        if (got <= 0) break;
        for (long i = 0; i < got; i++) peak = std::max(peak, std::abs(int(int8_t(chunk[i]))));
    }
    ov_clear(&stream);  // closes the file
    return peak / 128.0;
}

std::string synth_encode_ogg_at_peak(std::vector<float> signal, double peak_dbfs)
{
    synth_normalise(signal, peak_dbfs);
    std::string bytes = synth_encode_ogg(signal);
    for (int attempt = 0; attempt < 4 && !bytes.empty(); attempt++) {
        double peak = synth_decoded_peak(bytes);
        if (peak <= 0.0) return std::string();
        double off = 20.0 * std::log10(peak) - peak_dbfs;
        if (std::fabs(off) <= 0.25) break;
        float gain = float(std::pow(10.0, -off / 20.0));
        for (float &value : signal) value *= gain;
        bytes = synth_encode_ogg(signal);
    }
    return bytes;
}
