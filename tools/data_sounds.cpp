// The game's fourteen sound effects, synthesised and written as mono 44100 Hz Ogg Vorbis files
// under data/sound/. The game decodes them to 8 bits, so peaks sit high; each one starts at zero
// and ends in exact silence, but windloop, which loops and is seamless instead.
#include "tools/data_synth.h"
#include "tools/data_writer.h"

#include <cmath>
#include <numbers>

namespace {

const double two_pi = 2.0 * std::numbers::pi;

double midi_hz(double midi) { return 440.0 * std::pow(2.0, (midi - 69.0) / 12.0); }

// An empty signal of `seconds`.
std::vector<float> silence(double seconds) { return std::vector<float>(size_t(synth_samples(seconds)), 0.0f); }

// The signal's end: a fade to `silent_at` seconds and exact zeros after it.
void finish(std::vector<float> &signal, double fade_at, double silent_at)
{
    synth_fade_out(signal, synth_samples(fade_at), synth_samples(silent_at));
}

// A decaying sine partial added at `at` seconds.
void add_partial(std::vector<float> &signal, double at, double hz, double amplitude, double attack, double tau)
{
    int start = synth_samples(at);
    for (int i = start; i < int(signal.size()); i++) {
        double t = double(i - start) / SYNTH_RATE;
        signal[size_t(i)] += float(amplitude * synth_exp(t, attack, tau) * std::sin(two_pi * hz * t));
    }
}

// A struck bell: a strong fundamental with weaker, faster partials (the last one slightly stretched).
void add_bell(std::vector<float> &signal, double at, double hz, double amplitude, double tau)
{
    add_partial(signal, at, hz, amplitude, 0.002, tau);
    add_partial(signal, at, 2.0 * hz, 0.3 * amplitude, 0.002, 0.6 * tau);
    add_partial(signal, at, 3.0 * hz, 0.12 * amplitude, 0.002, 0.4 * tau);
    add_partial(signal, at, 4.17 * hz, 0.06 * amplitude, 0.002, 0.3 * tau);
}

// Noise through a filter under an exponential envelope, added at `at` seconds.
void add_noise_burst(std::vector<float> &signal, DataRandom *random, double at, SynthBiquad filter,
                     double amplitude, double attack, double tau)
{
    int start = synth_samples(at);
    for (int i = start; i < int(signal.size()); i++) {
        double t = double(i - start) / SYNTH_RATE;
        signal[size_t(i)] += float(amplitude * synth_exp(t, attack, tau)) * synth_biquad_run(&filter, synth_noise(random));
    }
}

// ---- the effects --------------------------------------------------------------------------------

// Menu click: a 2 kHz blip with a short noise tick on its front.
std::vector<float> make_son1(DataRandom *random)
{
    std::vector<float> s = silence(0.040);
    add_partial(s, 0.001, 2000.0, 1.0, 0.0015, 0.004);
    add_noise_burst(s, random, 0.001, synth_biquad(SYNTH_HIGHPASS, 3000.0, 0.7), 0.1, 0.0005, 0.0012);
    // Short, so that the codec's noise leaves the last 10 ms silent.
    finish(s, 0.012, 0.016);
    return s;
}

// The softer 1 kHz tock.
std::vector<float> make_son2(DataRandom *random)
{
    std::vector<float> s = silence(0.060);
    add_partial(s, 0.001, 1000.0, 1.0, 0.002, 0.012);
    add_partial(s, 0.001, 2000.0, 0.15, 0.002, 0.006);
    add_noise_burst(s, random, 0.001, synth_biquad(SYNTH_BANDPASS, 1500.0, 1.0), 0.1, 0.0008, 0.002);
    finish(s, 0.038, 0.046);
    return s;
}

// The stroke: a noise transient and two bright partials.
std::vector<float> make_hit(DataRandom *random)
{
    std::vector<float> s = silence(0.120);
    // A millisecond of silence first: the codec smears a transient on the very first sample.
    add_noise_burst(s, random, 0.001, synth_biquad(SYNTH_BANDPASS, 2500.0, 0.8), 0.8, 0.0008, 0.003);
    add_partial(s, 0.001, 1800.0, 1.0, 0.001, 0.024);
    add_partial(s, 0.001, 3200.0, 0.75, 0.001, 0.016);
    finish(s, 0.092, 0.104);
    return s;
}

// A wall bounce: a short woody knock.
std::vector<float> make_tok(DataRandom *random)
{
    std::vector<float> s = silence(0.060);
    add_noise_burst(s, random, 0.001, synth_biquad(SYNTH_BANDPASS, 1000.0, 1.5), 0.3, 0.0008, 0.002);
    add_partial(s, 0.001, 700.0, 1.0, 0.0008, 0.011);
    add_partial(s, 0.001, 1400.0, 0.6, 0.0008, 0.007);
    finish(s, 0.040, 0.048);
    return s;
}

// Hole start: a bell arpeggio C5 E5 G5 C6.
std::vector<float> make_jingle_start(DataRandom *)
{
    std::vector<float> s = silence(1.0);
    const double notes[4] = {72, 76, 79, 84};
    for (int k = 0; k < 4; k++) add_bell(s, 0.003 + 0.15 * k, midi_hz(notes[k]), 1.0, 0.2);
    finish(s, 0.84, 0.96);
    return s;
}

// Hole-out at or under par: a cup rattle, a rising arpeggio, the chord, then a sparkle.
std::vector<float> make_jingle_end(DataRandom *random)
{
    std::vector<float> s = silence(2.0);
    // The rattle: noise, gently high-passed so that it stays broad, struck five times.
    const double rattle[5] = {0.002, 0.017, 0.033, 0.050, 0.064};
    SynthOnePole thin = synth_one_pole(400.0);
    for (int i = 0; i < synth_samples(0.082); i++) {
        double t = double(i) / SYNTH_RATE, level = 0.0;
        for (double at : rattle) level += synth_exp(t - at, 0.0006, 0.008);
        s[size_t(i)] = float(0.6 * level) * synth_one_pole_highpass(&thin, synth_noise(random));
    }
    synth_fade_out(s, synth_samples(0.076), synth_samples(0.082));
    s.resize(size_t(synth_samples(2.0)), 0.0f);
    const double notes[4] = {72, 76, 79, 84};
    for (int k = 0; k < 4; k++) add_bell(s, 0.09 + 0.11 * k, midi_hz(notes[k]), 0.8, 0.18);
    for (double note : notes) add_bell(s, 0.56, midi_hz(note), 0.45, 0.45);
    const double sparkle[6] = {96, 100, 103, 98, 108, 105};
    for (int k = 0; k < 6; k++)
        synth_mix(s, synth_pluck(random, midi_hz(sparkle[k]), synth_samples(0.55), 0.996),
                  synth_samples(0.72 + 0.09 * k + 0.01 * (k % 2)), 0.3f);
    finish(s, 1.78, 1.95);
    return s;
}

// Par plus one reached: a soft G4 then E4.
std::vector<float> make_jingle(DataRandom *)
{
    std::vector<float> s = silence(0.8);
    add_partial(s, 0.0, midi_hz(67), 1.0, 0.015, 0.25);
    add_partial(s, 0.0, 2.0 * midi_hz(67), 0.15, 0.015, 0.15);
    add_partial(s, 0.3, midi_hz(64), 1.0, 0.015, 0.3);
    add_partial(s, 0.3, 2.0 * midi_hz(64), 0.15, 0.015, 0.18);
    finish(s, 0.68, 0.78);
    return s;
}

// Water, off course or over par: three falling notes of a minor chord on a saw through a
// low-pass that opens and closes ("wah"), the last held and bent down.
std::vector<float> make_jingle_lost(DataRandom *)
{
    std::vector<float> s = silence(1.2);
    struct Note {
        double at, length, midi, wahs;
    };
    const Note notes[3] = {{0.0, 0.28, 67, 1}, {0.30, 0.28, 63, 1}, {0.60, 0.52, 60, 2}};
    SynthOscillator saw = {SYNTH_SAW, 0.0, 0.5};
    SynthBiquad filter = synth_biquad(SYNTH_LOWPASS, 500.0, 1.0);
    for (const Note &note : notes) {
        int start = synth_samples(note.at), count = synth_samples(note.length);
        saw.phase = 0.0;
        for (int i = 0; i < count; i++) {
            double t = double(i) / SYNTH_RATE, x = t / note.length;
            double bend = note.wahs > 1 && x > 0.5 ? -1.0 * (x - 0.5) / 0.5 : 0.0;
            double hz = midi_hz(note.midi + bend);
            double wah = 0.5 - 0.5 * std::cos(two_pi * note.wahs * x);
            synth_biquad_tune(&filter, SYNTH_LOWPASS, hz * (1.3 + 2.7 * wah), 1.0);
            double level = synth_adsr(t, 0.02, 0.05, 0.8, note.length - 0.04, 0.04);
            s[size_t(start + i)] += float(level) * synth_biquad_run(&filter, synth_oscillator_next(&saw, hz));
        }
    }
    finish(s, 1.10, 1.16);
    return s;
}

// A splash: low-passed noise closing down, then rising bubble chirps.
std::vector<float> make_plouf(DataRandom *random)
{
    std::vector<float> s = silence(0.8);
    SynthBiquad filter = synth_biquad(SYNTH_LOWPASS, 2500.0, 0.7);
    for (size_t i = 0; i < s.size(); i++) {
        double t = double(i) / SYNTH_RATE;
        synth_biquad_tune(&filter, SYNTH_LOWPASS, 300.0 + 2200.0 * std::exp(-t / 0.08), 0.7);
        s[i] = float(synth_exp(t, 0.003, 0.07)) * synth_biquad_run(&filter, synth_noise(random));
    }
    const double bubbles[6] = {0.10, 0.17, 0.25, 0.31, 0.40, 0.50};
    for (int k = 0; k < 6; k++) {
        int start = synth_samples(bubbles[k]);
        double low = 450.0 + 60.0 * k, phase = 0.0;
        for (int i = 0; i < synth_samples(0.06) && start + i < int(s.size()); i++) {
            double t = double(i) / SYNTH_RATE;
            phase += low * (1.0 + 1.2 * t / 0.06) / SYNTH_RATE;
            s[size_t(start + i)] += float(0.35 * synth_exp(t, 0.002, 0.02) * std::sin(two_pi * phase));
        }
    }
    finish(s, 0.64, 0.74);
    return s;
}

// A gust: low-passed noise whose corner moves, under a swell that peaks in the middle.
std::vector<float> make_wind(DataRandom *random)
{
    std::vector<float> s = silence(3.0);
    SynthBiquad first = synth_biquad(SYNTH_LOWPASS, 400.0, 0.7), second = first;
    for (size_t i = 0; i < s.size(); i++) {
        double t = double(i) / SYNTH_RATE;
        double hz = 320.0 + 180.0 * std::sin(two_pi * 0.7 * t);
        synth_biquad_tune(&first, SYNTH_LOWPASS, hz, 0.9);
        synth_biquad_tune(&second, SYNTH_LOWPASS, hz, 0.7);
        double swell = std::pow(std::sin(std::numbers::pi * t / 3.0), 2.0);
        s[i] = float(swell) * synth_biquad_run(&second, synth_biquad_run(&first, synth_noise(random)));
    }
    finish(s, 2.94, 2.98);
    return s;
}

// The hole's wind loop: noise made periodic over its 8 s (the filters run over it twice and only
// the second, settled pass is kept), so that every partial is a whole multiple of 1/8 Hz and the
// loop has no seam; gusts at 1/8 and 3/8 Hz keep it periodic.
std::vector<float> make_windloop(DataRandom *random)
{
    const size_t count = size_t(synth_samples(8.0));
    std::vector<float> noise(count), s(count);
    for (float &value : noise) value = synth_noise(random);
    SynthBiquad first = synth_biquad(SYNTH_LOWPASS, 380.0, 0.7), second = first;
    SynthBiquad rumble = synth_biquad(SYNTH_HIGHPASS, 50.0, 0.7);
    for (int pass = 0; pass < 2; pass++) {
        for (size_t i = 0; i < count; i++) {
            float x = synth_biquad_run(&rumble, synth_biquad_run(&second, synth_biquad_run(&first, noise[i])));
            if (pass == 1) s[i] = x;
        }
    }
    for (size_t i = 0; i < count; i++) {
        double t = double(i) / SYNTH_RATE;
        s[i] = float(s[i] * (1.0 + 0.35 * std::cos(two_pi * t / 8.0) + 0.2 * std::cos(two_pi * 3.0 * t / 8.0)));
    }
    return s;
}

// One chirp of an FM voice: a carrier sliding from `from` to `to` Hz under a sine-squared swell.
void add_chirp(std::vector<float> &signal, double at, double length, double from, double to)
{
    SynthFm fm = {0.0, 0.0};
    int start = synth_samples(at), count = synth_samples(length);
    for (int i = 0; i < count && start + i < int(signal.size()); i++) {
        double x = double(i) / count;
        double hz = from + (to - from) * x * x * (3.0 - 2.0 * x);
        double swell = std::pow(std::sin(std::numbers::pi * x), 2.0);
        signal[size_t(start + i)] += float(swell) * synth_fm_next(&fm, hz, 2.0, 0.4);
    }
}

// A bird: five rising chirps.
std::vector<float> make_bird1(DataRandom *)
{
    std::vector<float> s = silence(1.0);
    for (int k = 0; k < 5; k++) add_chirp(s, 0.04 + 0.17 * k, 0.08, 2700.0 + 60.0 * k, 4200.0 - 40.0 * k);
    finish(s, 0.92, 0.95);
    return s;
}

// Another bird: three falling calls, then a quick trill.
std::vector<float> make_bird2(DataRandom *)
{
    std::vector<float> s = silence(1.0);
    for (int k = 0; k < 3; k++) add_chirp(s, 0.04 + 0.15 * k, 0.10, 4700.0, 3300.0 + 100.0 * k);
    for (int k = 0; k < 6; k++) add_chirp(s, 0.52 + 0.06 * k, 0.05, 3000.0, 3800.0);
    finish(s, 0.92, 0.95);
    return s;
}

// Crickets: a 4.5 kHz carrier pulsed 30 times a second, in chirps of eight pulses.
std::vector<float> make_crickets(DataRandom *)
{
    std::vector<float> s = silence(2.0);
    const double pulse = 1.0 / 30.0;
    for (size_t i = 0; i < s.size(); i++) {
        double t = double(i) / SYNTH_RATE;
        int n = int(t / pulse);
        if (n % 12 >= 8 || t > 1.9) continue;
        double x = (t - n * pulse) / pulse;
        double gate = x < 0.6 ? std::pow(std::sin(std::numbers::pi * x / 0.6), 2.0) : 0.0;
        s[i] = float(gate * std::sin(two_pi * 4500.0 * t));
    }
    finish(s, 1.9, 1.9);
    return s;
}

struct Effect {
    const char *name;
    std::vector<float> (*make)(DataRandom *);
    double peak_dbfs;  // as decoded
};

const Effect effects[] = {
    {"son1", make_son1, -6.0},
    {"son2", make_son2, -6.0},
    {"hit", make_hit, -3.0},
    {"tok", make_tok, -6.0},
    {"jingle_start", make_jingle_start, -3.0},
    {"jingle_end", make_jingle_end, -3.0},
    {"jingle", make_jingle, -4.0},
    {"jingle_lost", make_jingle_lost, -4.0},
    {"plouf", make_plouf, -3.0},
    {"wind", make_wind, -9.0},
    {"windloop", make_windloop, -12.0},
    {"bird1", make_bird1, -12.0},
    {"bird2", make_bird2, -12.0},
    {"crickets", make_crickets, -15.0},
};

}  // namespace

bool data_write_sounds(const std::string &data_dir)
{
    for (size_t k = 0; k < sizeof effects / sizeof effects[0]; k++) {
        // Each effect has its own seed, so that changing one leaves the others' bytes alone.
        DataRandom random;
        data_random_seed(&random, 0x50DA7A00 + k, 1);
        std::string bytes = synth_encode_ogg_at_peak(effects[k].make(&random), effects[k].peak_dbfs);
        if (bytes.empty()) return false;
        if (!data_write_file(data_dir + "/sound/" + effects[k].name + ".ogg", bytes)) return false;
    }
    return true;
}
