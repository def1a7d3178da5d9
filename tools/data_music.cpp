// The game's two tracker modules, "sound/menu.zik" (behind the menus) and "sound/music1.zik" (on
// every hole), composed from a fixed seed and written as XM. They follow the player's own rules:
// every note names its instrument, no arpeggio, vibrato or key-off, fadeout 0, volume envelopes
// ending at 0, samples panned 255 with 8xx setting each channel's place at a section's start.
#include "sound/music.h"
#include "sound/music_writer.h"
#include "tools/data_synth.h"
#include "tools/data_writer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

const double two_pi = 2.0 * std::numbers::pi;
const int major_scale[7] = {0, 2, 4, 5, 7, 9, 11};
const int rows_per_bar = 16;
const int drum_midi = 60;  // the note every drum plays, at which its sample sounds as made

// Instruments, numbered as in the module.
enum Instrument { LEAD = 1, BASS, PAD, KICK, SNARE, HAT, COUNTER };

// Channels of a piece; -1 for a part it does not have.
struct Channels {
    int lead, counter, bass, pad, kick, snare, hat, count;
};

// A piece: key, tempo, and sections of bars, each bar a chord given by its root's scale degree.
struct Piece {
    const char *name;
    int tonic;       // MIDI note of the lead's tonic
    int bass_tonic;  // and of the bass and the pad (and counter-melody)
    int pad_tonic;
    int bpm;
    uint64_t seed;
    bool counter_melody;
    std::vector<std::vector<int>> sections;  // distinct sections' chords
    std::vector<int> form;                   // the sections in playing order
};

// MIDI note of a scale degree (any integer, 7 an octave up) above the tonic.
int degree_midi(int tonic, int degree)
{
    int octave = degree >= 0 ? degree / 7 : -((6 - degree) / 7);
    return tonic + 12 * octave + major_scale[degree - 7 * octave];
}

int xm_note(int midi) { return midi - 11; }  // XM note 49 is C4

int wrap7(int degree) { return ((degree % 7) + 7) % 7; }

bool is_chord_tone(int degree, int root) { return wrap7(degree - root) % 2 == 0 && wrap7(degree - root) <= 4; }

bool is_pentatonic(int degree) { return wrap7(degree) != 3 && wrap7(degree) != 6; }

// ---- instruments --------------------------------------------------------------------------------

// A sample of 16-bit values at about a third of full scale.
std::vector<int16_t> to_sample(std::vector<float> signal)
{
    synth_normalise(signal, -9.5);
    std::vector<int16_t> out(signal.size());
    for (size_t i = 0; i < signal.size(); i++) out[i] = int16_t(std::lround(signal[i] * 32767.0f));
    return out;
}

// A pitched, looped sample: `cycles` periods of the note `reference` (MIDI) rendered at the rate
// the player steps it for that note, with the last `loop_cycles` periods looped. The period is a
// whole number of samples, so that the loop has no seam.
MusicWriterSample pitched_sample(int reference, int relative, int cycles, int loop_cycles,
                                 float (*voice)(double phase, void *state), void *state)
{
    double rate = music_xm_note_rate(xm_note(reference), relative, 0);
    double hz = 440.0 * std::pow(2.0, (reference - 69) / 12.0);
    int period = int(std::lround(rate / hz));
    std::vector<float> signal(size_t(period * cycles));
    for (size_t i = 0; i < signal.size(); i++) signal[i] = voice(double(i % size_t(period)) / period, state);
    MusicWriterSample sample;
    sample.data = to_sample(signal);
    sample.loop_start = period * (cycles - loop_cycles);
    sample.loop_length = period * loop_cycles;
    sample.loop_type = 1;
    sample.relative_note = relative;
    sample.sixteen_bit = true;
    return sample;
}

// A pulse through a low-pass; the filter settles during the first cycles, before the loop.
float lead_voice(double phase, void *state)
{
    SynthOscillator pulse = {SYNTH_PULSE, phase, 0.3};
    return synth_biquad_run(static_cast<SynthBiquad *>(state), synth_oscillator_next(&pulse, 0.0));
}

float counter_voice(double phase, void *)
{
    SynthOscillator triangle = {SYNTH_TRIANGLE, phase, 0.5};
    return synth_oscillator_next(&triangle, 0.0);
}

float bass_voice(double phase, void *state)
{
    SynthOscillator saw = {SYNTH_SAW, phase, 0.5};
    return synth_biquad_run(static_cast<SynthBiquad *>(state), synth_oscillator_next(&saw, 0.0));
}

// Two saws a few cents apart, low-passed; 16-bit with a ping-pong loop over its second half.
MusicWriterSample pad_sample(int reference)
{
    const int relative = 12;
    double rate = music_xm_note_rate(xm_note(reference), relative, 0);
    double hz = 440.0 * std::pow(2.0, (reference - 69) / 12.0);
    SynthOscillator low = {SYNTH_SAW, 0.0, 0.5}, high = {SYNTH_SAW, 0.37, 0.5};
    SynthBiquad filter = synth_biquad(SYNTH_LOWPASS, 4.0 * hz, 0.7, rate);
    std::vector<float> signal(size_t(rate * 0.8));
    for (float &value : signal) {
        float saws = synth_oscillator_next(&low, hz * 0.9965, rate) + synth_oscillator_next(&high, hz * 1.0035, rate);
        value = synth_biquad_run(&filter, saws);
    }
    MusicWriterSample sample;
    sample.data = to_sample(signal);
    sample.loop_start = int(signal.size() / 2);
    sample.loop_length = int(signal.size()) - sample.loop_start;
    sample.loop_type = 2;
    sample.relative_note = relative;
    sample.sixteen_bit = true;
    return sample;
}

// A one-shot drum, rendered at the rate the player steps it for the drum note.
MusicWriterSample drum_sample(int kind)
{
    const int relative = 29;  // near 44.7 kHz
    double rate = music_xm_note_rate(xm_note(drum_midi), relative, 0);
    DataRandom random;
    data_random_seed(&random, 0xD2A0 + uint64_t(kind), 1);
    std::vector<float> signal;
    if (kind == KICK) {
        // A sine falling from 150 to 48 Hz.
        signal.resize(size_t(0.32 * rate));
        double phase = 0.0;
        for (size_t i = 0; i < signal.size(); i++) {
            double t = double(i) / rate;
            phase += (48.0 + 102.0 * std::exp(-t / 0.03)) / rate;
            signal[i] = float(synth_exp(t, 0.001, 0.09) * std::sin(two_pi * phase));
        }
    } else if (kind == SNARE) {
        // Noise over a 180 Hz body.
        signal.resize(size_t(0.2 * rate));
        SynthBiquad band = synth_biquad(SYNTH_HIGHPASS, 900.0, 0.7, rate);
        for (size_t i = 0; i < signal.size(); i++) {
            double t = double(i) / rate;
            double body = synth_exp(t, 0.001, 0.04) * std::sin(two_pi * 180.0 * t);
            signal[i] = float(0.6 * body + synth_exp(t, 0.001, 0.05) * synth_biquad_run(&band, synth_noise(&random)));
        }
    } else {
        // High-passed noise.
        signal.resize(size_t(0.08 * rate));
        SynthBiquad high = synth_biquad(SYNTH_HIGHPASS, 7000.0, 0.7, rate);
        for (size_t i = 0; i < signal.size(); i++) {
            double t = double(i) / rate;
            signal[i] = float(synth_exp(t, 0.0005, 0.015)) * synth_biquad_run(&high, synth_noise(&random));
        }
    }
    synth_fade_out(signal, int(signal.size()) - int(0.01 * rate), int(signal.size()));
    MusicWriterSample sample;
    sample.data = to_sample(signal);
    sample.relative_note = relative;
    return sample;
}

MusicWriterInstrument instrument(const char *name, MusicWriterSample sample,
                                 std::vector<std::pair<int, int>> envelope)
{
    MusicWriterInstrument out;
    out.name = name;
    sample.name = name;
    sample.panning = 255;  // with the channel's pan, 0.5 by default, the channel sits centred
    out.samples.push_back(sample);
    out.note_map.assign(96, 0);
    out.volume.points = std::move(envelope);
    out.volume.type = 1;
    out.fadeout = 0;
    return out;
}

std::vector<MusicWriterInstrument> make_instruments()
{
    SynthBiquad lead_filter = synth_biquad(SYNTH_LOWPASS, 2600.0, 0.7, music_xm_note_rate(xm_note(72), 12, 0));
    SynthBiquad bass_filter = synth_biquad(SYNTH_LOWPASS, 700.0, 0.8, music_xm_note_rate(xm_note(48), 12, 0));
    return {
        instrument("lead", pitched_sample(72, 12, 24, 8, lead_voice, &lead_filter), {{0, 64}, {2, 60}, {24, 36}, {64, 0}}),
        instrument("bass", pitched_sample(48, 12, 24, 8, bass_voice, &bass_filter), {{0, 64}, {6, 52}, {48, 0}}),
        instrument("pad", pad_sample(60), {{0, 20}, {6, 64}, {24, 48}, {96, 0}}),
        instrument("kick", drum_sample(KICK), {{0, 64}, {16, 44}, {32, 0}}),
        instrument("snare", drum_sample(SNARE), {{0, 64}, {16, 0}}),
        instrument("hat", drum_sample(HAT), {{0, 64}, {6, 0}}),
        instrument("counter", pitched_sample(60, 12, 8, 8, counter_voice, nullptr), {{0, 64}, {30, 40}, {96, 0}}),
    };
}

// ---- the composer -------------------------------------------------------------------------------

// A two-bar melody: onset rows (0 to 31) and scale degrees.
struct Phrase {
    std::vector<int> rows, degrees;
};

const std::vector<std::vector<int>> rhythms = {
    {0, 4, 8, 10, 12, 16, 20, 24},
    {0, 6, 8, 12, 16, 18, 20, 24},
    {0, 2, 4, 8, 12, 16, 22, 24},
    {0, 4, 6, 8, 12, 14, 16, 24},
};

// Cost of moving from one degree to another: steps are cheap, leaps dear.
double leap_cost(int tonic, int from, int to)
{
    int semitones = std::abs(degree_midi(tonic, to) - degree_midi(tonic, from));
    if (semitones <= 2) return semitones == 0 ? 0.8 : 0.0;
    if (semitones <= 4) return 1.2;
    return 2.0 + 0.5 * semitones;
}

// Pitches for a rhythm over two chords: chord tones on beats 1 and 3, pentatonic tones between
// (so that the phrase moved by a few scale steps keeps its intervals), the last note on `end`
// (a degree, any octave) when it is not -100.
Phrase compose_phrase(DataRandom *random, int tonic, const std::vector<int> &rhythm, int first_chord,
                      int second_chord, int start, int end)
{
    Phrase phrase;
    phrase.rows = rhythm;
    int previous = start;
    for (size_t k = 0; k < rhythm.size(); k++) {
        int row = rhythm[k], chord = row < rows_per_bar ? first_chord : second_chord;
        bool last = k + 1 == rhythm.size();
        int best = previous;
        double best_cost = 1e9;
        for (int degree = -3; degree <= 10; degree++) {
            bool allowed = last && end != -100 ? wrap7(degree) == wrap7(end)
                           : row % 8 == 0      ? is_chord_tone(degree, chord) && is_pentatonic(degree)
                                               : is_pentatonic(degree);
            if (!allowed) continue;
            double cost = leap_cost(tonic, previous, degree) + 1.5 * data_random_float(random) +
                          0.15 * std::abs(degree - 3);  // stay near the middle of the range
            if (cost < best_cost) best_cost = cost, best = degree;
        }
        phrase.degrees.push_back(best);
        previous = best;
    }
    return phrase;
}

Phrase shift_phrase(Phrase phrase, int degrees)
{
    for (int &degree : phrase.degrees) degree += degrees;
    return phrase;
}

// The lead of one section: the motif over its first two chords, repeated wherever the chords
// move in parallel with them, other phrases made anew on the motif's rhythm, and a closing phrase
// that lands on the tonic.
std::vector<Phrase> compose_lead(DataRandom *random, int tonic, const std::vector<int> &chords, const Phrase &motif)
{
    std::vector<Phrase> phrases;
    int count = int(chords.size()) / 2;
    for (int p = 0; p < count; p++) {
        int a = chords[size_t(2 * p)], b = chords[size_t(2 * p + 1)];
        int shift = wrap7(a - chords[0]);
        int start = phrases.empty() ? 2 : phrases.back().degrees.back();
        if (p == count - 1) {
            phrases.push_back(compose_phrase(random, tonic, motif.rows, a, b, start, 7));
        } else if (wrap7(b - chords[1]) == shift) {
            phrases.push_back(shift_phrase(motif, shift > 3 ? shift - 7 : shift));
        } else {
            phrases.push_back(compose_phrase(random, tonic, motif.rows, a, b, start, b));
        }
    }
    return phrases;
}

struct Writer {
    MusicWriterSong &song;
    const Channels &channels;
    const Piece &piece;

    void note(int pattern, int row, int channel, int midi, int instrument, int volume)
    {
        MusicWriterCell &cell = music_writer_cell(song, pattern, row, channel);
        cell.note = xm_note(midi);
        cell.instrument = instrument;
        cell.volume = 0x10 + volume;
    }
};

// One section's bars from `pattern` on (four bars a pattern).
void write_section(Writer &w, DataRandom *random, int pattern, const std::vector<int> &chords, const Phrase &motif,
                   int counter_start)
{
    const Channels &ch = w.channels;
    const Piece &piece = w.piece;
    std::vector<Phrase> lead = compose_lead(random, piece.tonic, chords, motif);
    // Pans for the section: lead and counter-melody a little apart, the rest in the middle.
    for (int c = 0; c < ch.count; c++) {
        MusicWriterCell &cell = music_writer_cell(w.song, pattern, 0, c);
        cell.effect = 8;
        cell.parameter = c == ch.lead ? 0x70 : c == ch.counter ? 0x90 : 0x80;
    }
    int counter = counter_start;
    int bars = int(chords.size());
    for (int bar = 0; bar < bars; bar++) {
        int p = pattern + bar / 4, base = (bar % 4) * rows_per_bar;
        int root = chords[size_t(bar)], next = bar + 1 < bars ? chords[size_t(bar + 1)] : 0;
        // Bass: root on beat 1 and again before beat 2, fifth or octave on beat 3, an approach
        // note into the next bar.
        int bass_root = degree_midi(piece.bass_tonic, root);
        bool fifth = data_random_float(random) < 0.6;
        w.note(p, base + 0, ch.bass, bass_root, BASS, 56);
        w.note(p, base + 6, ch.bass, bass_root, BASS, 44);
        w.note(p, base + 8, ch.bass, fifth ? degree_midi(piece.bass_tonic, root + 4) : bass_root + 12, BASS, 50);
        int approach = next + (data_random_float(random) < 0.5 ? -1 : 1);
        w.note(p, base + 14, ch.bass, degree_midi(piece.bass_tonic, approach), BASS, 42);
        // Pad: the chord broken into quarter notes.
        const int figure[4] = {0, 2, 4, 2};
        for (int q = 0; q < 4; q++)
            w.note(p, base + 4 * q, ch.pad, degree_midi(piece.pad_tonic, root + figure[q]), PAD, q == 0 ? 34 : 28);
        // Counter-melody: two half notes of chord tones, each the nearest to the note before.
        if (ch.counter >= 0) {
            for (int half = 0; half < 2; half++) {
                int best = counter;
                double best_cost = 1e9;
                for (int d = -2; d <= 8; d++) {
                    if (!is_chord_tone(d, root)) continue;
                    double cost = std::abs(degree_midi(piece.pad_tonic, d) - degree_midi(piece.pad_tonic, counter)) +
                                  (d == counter ? 2.5 : 0.0) + data_random_float(random);
                    if (cost < best_cost) best_cost = cost, best = d;
                }
                counter = best;
                w.note(p, base + 8 * half, ch.counter, degree_midi(piece.pad_tonic + 12, counter), COUNTER, 40);
            }
        }
        // Drums: kick on 1 and 9, snare on 5 and 13, hats on the eighths; the last bar a fill.
        bool fill = bar == bars - 1;
        w.note(p, base, ch.kick, drum_midi, KICK, 60);
        if (!fill) {
            w.note(p, base + 8, ch.kick, drum_midi, KICK, 56);
            w.note(p, base + 4, ch.snare, drum_midi, SNARE, 48);
            w.note(p, base + 12, ch.snare, drum_midi, SNARE, 50);
            for (int e = 0; e < 8; e++) w.note(p, base + 2 * e, ch.hat, drum_midi, HAT, e % 2 ? 24 : 34);
        } else {
            const int rows[7] = {4, 8, 10, 12, 13, 14, 15};
            for (int k = 0; k < 7; k++) w.note(p, base + rows[k], ch.snare, drum_midi, SNARE, 34 + 4 * k);
            for (int e = 0; e < 4; e++) w.note(p, base + 2 * e, ch.hat, drum_midi, HAT, 30);
        }
    }
    for (size_t k = 0; k < lead.size(); k++) {
        for (size_t n = 0; n < lead[k].rows.size(); n++) {
            int row = int(2 * k) * rows_per_bar + lead[k].rows[n];
            int volume = lead[k].rows[n] % 8 == 0 ? 54 : 44;
            w.note(pattern + row / 64, row % 64, ch.lead, degree_midi(piece.tonic, lead[k].degrees[n]), LEAD, volume);
        }
    }
}

std::string compose(const Piece &piece)
{
    DataRandom random;
    data_random_seed(&random, piece.seed, 1);
    Channels ch = piece.counter_melody ? Channels{0, 1, 2, 3, 4, 5, 6, 7} : Channels{0, -1, 1, 2, 3, 4, 5, 6};
    MusicWriterSong song;
    song.name = piece.name;
    song.channels = ch.count;
    song.speed = 6;
    song.bpm = piece.bpm;
    song.flags = 0;  // Amiga periods, as the player plays any XM
    song.instruments = make_instruments();
    if (!piece.counter_melody) song.instruments.pop_back();
    Writer w = {song, ch, piece};

    // One motif per distinct section, on a rhythm of the library.
    std::vector<Phrase> motifs;
    for (const std::vector<int> &chords : piece.sections) {
        const std::vector<int> &rhythm = rhythms[data_random_next(&random) % rhythms.size()];
        motifs.push_back(compose_phrase(&random, piece.tonic, rhythm, chords[0], chords[1], 4, chords[1]));
    }
    int pattern = 0;
    for (int section : piece.form) {
        const std::vector<int> &chords = piece.sections[size_t(section)];
        write_section(w, &random, pattern, chords, motifs[size_t(section)], 2);
        pattern += int(chords.size()) / 4;
    }
    for (int p = 0; p < pattern; p++) song.orders.push_back(p);
    return music_write_xm(song);
}

}  // namespace

bool data_write_music(const std::string &data_dir)
{
    // Scale degrees of the chord roots: 0 I, 1 ii, 2 iii, 3 IV, 4 V, 5 vi.
    const Piece menu = {"Meadow Menu", 72, 36, 60, 100, 0x4D454E55, false,
                        {{0, 5, 3, 4, 0, 5, 4, 0}, {0, 5, 3, 1, 4, 2, 4, 0}}, {0, 0, 1, 0}};
    const Piece game = {"Meadow Game", 65, 41, 53, 112, 0x47414D45, true,
                        {{0, 3, 1, 4, 0, 3, 1, 4, 0, 3, 4, 0},
                         {5, 3, 0, 4, 5, 3, 0, 4, 5, 3, 4, 0},
                         {3, 4, 2, 5, 3, 4, 2, 5, 3, 4, 4, 0}},
                        {0, 1, 0, 2}};
    return data_write_file(data_dir + "/sound/menu.zik", compose(menu)) &&
           data_write_file(data_dir + "/sound/music1.zik", compose(game));
}
