// Measures of sounds for the data tests: levels in 5 ms windows, spectra with parabolic peak
// interpolation, centroid and flatness, onset times and pitch. Signals are float, 1 = full scale.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

struct MeasurePeak {
    double hz, magnitude;
};

inline double measure_db(double ratio) { return 20.0 * std::log10(std::max(ratio, 1e-12)); }

// Root mean square of [from, from + count), clipped to the signal.
inline double measure_rms(const std::vector<float> &signal, size_t from, size_t count)
{
    double sum = 0.0;
    size_t end = std::min(signal.size(), from + count), n = 0;
    for (size_t i = from; i < end; i++, n++) sum += double(signal[i]) * signal[i];
    return n ? std::sqrt(sum / double(n)) : 0.0;
}

// The length of a window of about `ms` milliseconds: a whole number of samples, in seconds.
inline double measure_window_seconds(double rate, double ms = 5.0) { return double(std::lround(rate * ms / 1000.0)) / rate; }

// RMS in consecutive windows of about `ms` milliseconds (measure_window_seconds).
inline std::vector<double> measure_rms_windows(const std::vector<float> &signal, double rate, double ms = 5.0)
{
    size_t size = size_t(std::lround(rate * ms / 1000.0));
    std::vector<double> out;
    for (size_t at = 0; at + size <= signal.size(); at += size) out.push_back(measure_rms(signal, at, size));
    return out;
}

// In-place radix-2 FFT; the size is a power of two.
inline void measure_fft(std::vector<std::complex<double>> &data)
{
    size_t n = data.size();
    for (size_t i = 1, j = 0; i < n; i++) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(data[i], data[j]);
    }
    for (size_t length = 2; length <= n; length <<= 1) {
        std::complex<double> turn = std::polar(1.0, -2.0 * std::numbers::pi / double(length));
        for (size_t i = 0; i < n; i += length) {
            std::complex<double> w = 1.0;
            for (size_t k = 0; k < length / 2; k++, w *= turn) {
                std::complex<double> a = data[i + k], b = data[i + k + length / 2] * w;
                data[i + k] = a + b;
                data[i + k + length / 2] = a - b;
            }
        }
    }
}

// Magnitude spectrum (bins 0 to size / 2) of [from, from + count) under a Hann window, zero-padded
// to `size`, a power of two no smaller than the count.
inline std::vector<double> measure_spectrum(const std::vector<float> &signal, size_t from, size_t count, size_t size)
{
    std::vector<std::complex<double>> data(size, 0.0);
    count = std::min(count, std::min(size, signal.size() - std::min(from, signal.size())));
    for (size_t i = 0; i < count; i++) {
        double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * (double(i) + 0.5) / double(count));
        data[i] = w * signal[from + i];
    }
    measure_fft(data);
    std::vector<double> out(size / 2 + 1);
    for (size_t k = 0; k < out.size(); k++) out[k] = std::abs(data[k]);
    return out;
}

// Local maxima between `low` and `high` Hz, strongest first, each placed by a parabola through
// its bin and the two beside it (on log magnitudes).
inline std::vector<MeasurePeak> measure_peaks(const std::vector<double> &spectrum, double rate, double low,
                                              double high)
{
    double bin_hz = rate / double(2 * (spectrum.size() - 1));
    std::vector<MeasurePeak> peaks;
    for (size_t k = 1; k + 1 < spectrum.size(); k++) {
        double hz = double(k) * bin_hz;
        if (hz < low || hz > high || spectrum[k] <= 0.0) continue;
        if (spectrum[k] < spectrum[k - 1] || spectrum[k] <= spectrum[k + 1]) continue;
        double a = std::log(spectrum[k - 1] + 1e-30), b = std::log(spectrum[k]), c = std::log(spectrum[k + 1] + 1e-30);
        double denominator = a - 2.0 * b + c;
        double offset = denominator < 0.0 ? 0.5 * (a - c) / denominator : 0.0;
        peaks.push_back({(double(k) + offset) * bin_hz, spectrum[k]});
    }
    std::sort(peaks.begin(), peaks.end(), [](const MeasurePeak &x, const MeasurePeak &y) { return x.magnitude > y.magnitude; });
    return peaks;
}

// The strongest peak's frequency in [from, from + count), 0 when there is none.
inline double measure_pitch(const std::vector<float> &signal, double rate, size_t from, size_t count,
                            double low = 50.0, double high = 8000.0)
{
    std::vector<MeasurePeak> peaks = measure_peaks(measure_spectrum(signal, from, count, 32768), rate, low, high);
    return peaks.empty() ? 0.0 : peaks[0].hz;
}

// Power-weighted mean frequency of a spectrum (so that the flat floor of 8-bit rounding, far
// below the sound, does not pull it up).
inline double measure_centroid(const std::vector<double> &spectrum, double rate)
{
    double bin_hz = rate / double(2 * (spectrum.size() - 1)), sum = 0.0, weighted = 0.0;
    for (size_t k = 0; k < spectrum.size(); k++) {
        double power = spectrum[k] * spectrum[k];
        sum += power;
        weighted += power * double(k) * bin_hz;
    }
    return sum > 0.0 ? weighted / sum : 0.0;
}

// Geometric over arithmetic mean of the power between `low` and `high` Hz: 1 for flat noise, near 0
// for tones.
inline double measure_flatness(const std::vector<double> &spectrum, double rate, double low, double high)
{
    double bin_hz = rate / double(2 * (spectrum.size() - 1)), logs = 0.0, sum = 0.0;
    int n = 0;
    for (size_t k = 0; k < spectrum.size(); k++) {
        double hz = double(k) * bin_hz;
        if (hz < low || hz > high) continue;
        double power = spectrum[k] * spectrum[k] + 1e-30;
        logs += std::log(power);
        sum += power;
        n++;
    }
    return n ? std::exp(logs / n) / (sum / n) : 0.0;
}

// Times (seconds) where the level in windows of `window_ms` rises by `rise_db` or more over the
// lowest of the four windows before it and stands within `floor_db` of the loudest window; onsets
// closer than `gap` seconds count once.
inline std::vector<double> measure_onsets(const std::vector<float> &signal, double rate, double rise_db = 4.0,
                                          double floor_db = 30.0, double gap = 0.05, double window_ms = 5.0)
{
    std::vector<double> rms = measure_rms_windows(signal, rate, window_ms);
    double loudest = rms.empty() ? 0.0 : *std::max_element(rms.begin(), rms.end());
    std::vector<double> out;
    for (size_t i = 0; i < rms.size(); i++) {
        double before = i ? rms[i - 1] : 0.0;  // silence before the start
        for (size_t j = i >= 4 ? i - 4 : 0; j < i; j++) before = std::min(before, rms[j]);
        if (measure_db(rms[i] / loudest) < -floor_db || measure_db(rms[i] / std::max(before, 1e-9)) < rise_db) continue;
        double t = double(i) * measure_window_seconds(rate, window_ms);
        if (out.empty() || t - out.back() >= gap) out.push_back(t);
    }
    return out;
}

// Distance from `hz` to `reference` in cents.
inline double measure_cents(double hz, double reference) { return 1200.0 * std::log2(hz / reference); }

inline double measure_midi_hz(double midi) { return 440.0 * std::pow(2.0, (midi - 69.0) / 12.0); }
