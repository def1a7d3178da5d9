// The synth kit of the data tools: oscillators, envelopes, filters, plucked strings and FM voices
// that build the game's sound effects and the music's instruments, and the Ogg Vorbis writer.
// Signals are mono float vectors at a given rate, -1 to 1 being full scale.
#pragma once

#include "tools/data_raster.h"

#include <cstdint>
#include <string>
#include <vector>

#define SYNTH_RATE 44100

// Uniform in [-1, 1): white noise from the data tools' seeded generator.
float synth_noise(DataRandom *random);

enum SynthWave { SYNTH_SINE, SYNTH_TRIANGLE, SYNTH_SAW, SYNTH_PULSE };

// An oscillator whose frequency may change every sample; the phase counts cycles.
struct SynthOscillator {
    SynthWave wave;
    double phase;
    double width;  // the pulse's high share of a cycle
};
// The value at the current phase, then the phase advanced by `hz` at `rate`.
float synth_oscillator_next(SynthOscillator *oscillator, double hz, double rate = SYNTH_RATE);

// Two-operator FM: a sine carrier whose phase a sine modulator at `ratio` times its frequency
// moves by `index` radians at most.
struct SynthFm {
    double carrier_phase, modulator_phase;
};
float synth_fm_next(SynthFm *fm, double hz, double ratio, double index, double rate = SYNTH_RATE);

// Envelope gains at `t` seconds after the note's start. ADSR: linear attack and decay to the
// sustain level, held until `release_at`, then a linear release; 0 afterwards.
double synth_adsr(double t, double attack, double decay, double sustain, double release_at, double release);
// A linear attack over `attack` seconds, then exp(-t / tau).
double synth_exp(double t, double attack, double tau);

// A one-pole low-pass (y += a (x - y)); its high-pass is the input less the low-pass.
struct SynthOnePole {
    double a, y;
};
SynthOnePole synth_one_pole(double cutoff_hz, double rate = SYNTH_RATE);
float synth_one_pole_lowpass(SynthOnePole *filter, float x);
float synth_one_pole_highpass(SynthOnePole *filter, float x);

// A biquad of the usual cookbook forms, direct form I.
struct SynthBiquad {
    double b0, b1, b2, a1, a2;
    double x1, x2, y1, y2;
};
enum SynthBiquadKind { SYNTH_LOWPASS, SYNTH_HIGHPASS, SYNTH_BANDPASS };
SynthBiquad synth_biquad(SynthBiquadKind kind, double hz, double q, double rate = SYNTH_RATE);
// Moves the corner of a running filter without clearing its memory.
void synth_biquad_tune(SynthBiquad *filter, SynthBiquadKind kind, double hz, double q, double rate = SYNTH_RATE);
float synth_biquad_run(SynthBiquad *filter, float x);

// A Karplus-Strong plucked string: `count` samples of a noise burst circulating in a delay line
// of one period, averaged and damped by `decay` per pass.
std::vector<float> synth_pluck(DataRandom *random, double hz, int count, double decay, double rate = SYNTH_RATE);

// Adds `part` into `signal` from sample `at` on, growing the signal when needed.
void synth_mix(std::vector<float> &signal, const std::vector<float> &part, int at, float gain = 1.0f);
// Scales the signal so that its largest magnitude is `peak_dbfs` decibels under full scale.
void synth_normalise(std::vector<float> &signal, double peak_dbfs);
// A raised-cosine fade from `fade_from` to `silent_from` (samples), then exact zeros to the end;
// and a fade-in over the first `count` samples, so that the signal starts at zero.
void synth_fade_out(std::vector<float> &signal, int fade_from, int silent_from);
void synth_fade_in(std::vector<float> &signal, int count);
// Samples in `seconds` at the rate.
int synth_samples(double seconds, double rate = SYNTH_RATE);

// Interleaved samples of `channels` channels at `rate` encoded as Ogg Vorbis at VBR `quality`, with
// a fixed stream serial so that the bytes repeat; empty when the encoder refuses.
std::string synth_encode_ogg(const std::vector<float> &samples, int channels = 1, int rate = SYNTH_RATE,
                             float quality = 0.4f);
// The largest magnitude (1 = full scale) of an Ogg Vorbis file decoded as the game decodes it, to
// signed 8 bits; -1 when it does not decode.
double synth_decoded_peak(const std::string &ogg);
// The signal encoded with its gain set so that the decoded peak lies within 0.25 dB of `peak_dbfs`
// (the codec moves peaks by a few decibels); empty when the encoder refuses.
std::string synth_encode_ogg_at_peak(std::vector<float> signal, double peak_dbfs);
