// Sound files made by the tests themselves: Ogg Vorbis through the data tools' encoder, WAV with the
// canonical 44-byte header (every field settable, so that damaged headers can be made too).
#pragma once

#include "tools/data_synth.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

// Interleaved samples (-1..1) of `channels` channels at `rate` as an Ogg Vorbis file.
inline std::string test_encode_ogg(const std::vector<float> &samples, int channels, int rate, float quality = 0.5f)
{
    return synth_encode_ogg(samples, channels, rate, quality);
}

// `frames` frames of a sine of `hz` at `amplitude`, the same on every channel.
inline std::vector<float> test_sine(int frames, int channels, int rate, double hz, double amplitude)
{
    std::vector<float> samples(size_t(frames) * size_t(channels));
    for (int i = 0; i < frames; i++)
        for (int c = 0; c < channels; c++)
            samples[size_t(i) * size_t(channels) + size_t(c)] =
                float(amplitude * std::sin(2.0 * std::numbers::pi * hz * double(i) / double(rate)));
    return samples;
}

// The header fields of a WAV file, canonical by default.
struct TestWavHeader {
    uint16_t format = 1;
    uint16_t channels = 1;
    uint32_t rate = 44100;
    uint16_t bits = 16;
    uint32_t data_size = 0xFFFFFFFF;  // the data's own size unless set
};

inline void test_put_le(std::string &out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; i++) out.push_back(char((value >> (8 * i)) & 0xFF));
}

inline std::string test_wav_file(const TestWavHeader &header, const std::string &data)
{
    uint32_t size = header.data_size == 0xFFFFFFFF ? uint32_t(data.size()) : header.data_size;
    uint32_t align = uint32_t(header.channels) * header.bits / 8;
    std::string out = "RIFF";
    test_put_le(out, 36 + uint32_t(data.size()), 4);
    out += "WAVEfmt ";
    test_put_le(out, 16, 4);
    test_put_le(out, header.format, 2);
    test_put_le(out, header.channels, 2);
    test_put_le(out, header.rate, 4);
    test_put_le(out, header.rate * align, 4);
    test_put_le(out, align, 2);
    test_put_le(out, header.bits, 2);
    out += "data";
    test_put_le(out, size, 4);
    return out + data;
}

inline std::string test_wav_16bit(const std::vector<int16_t> &samples, uint32_t rate)
{
    std::string data;
    for (int16_t sample : samples) test_put_le(data, uint16_t(sample), 2);
    TestWavHeader header;
    header.rate = rate;
    return test_wav_file(header, data);
}

// A format chunk body of 16, 18 or 40 bytes; 40 makes WAVE_FORMAT_EXTENSIBLE with `tag` as the
// sub-format's tag.
inline std::string test_wav_format(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, int size = 16)
{
    std::string out;
    test_put_le(out, size == 40 ? 0xFFFE : tag, 2);
    test_put_le(out, channels, 2);
    test_put_le(out, rate, 4);
    test_put_le(out, rate * channels * bits / 8, 4);
    test_put_le(out, channels * bits / 8, 2);
    test_put_le(out, bits, 2);
    if (size >= 18) test_put_le(out, uint32_t(size - 18), 2);
    if (size == 40) {
        test_put_le(out, bits, 2);
        test_put_le(out, channels == 2 ? 3 : 4, 4);  // speaker mask
        test_put_le(out, tag, 2);
        out += std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    }
    return out;
}

// A RIFF WAVE file of the chunks (id, body) in order, each padded to an even size.
inline std::string test_riff(const std::vector<std::pair<std::string, std::string>> &chunks)
{
    std::string body = "WAVE";
    for (const auto &[id, bytes] : chunks) {
        body += id;
        test_put_le(body, uint32_t(bytes.size()), 4);
        body += bytes;
        if (bytes.size() & 1) body.push_back('\0');
    }
    std::string out = "RIFF";
    test_put_le(out, uint32_t(body.size()), 4);
    return out + body;
}

// Interleaved 16-bit frames of constant channel values.
inline std::string test_pcm16(int frames, const std::vector<int16_t> &channels)
{
    std::string out;
    for (int i = 0; i < frames; i++)
        for (int16_t value : channels) test_put_le(out, uint16_t(value), 2);
    return out;
}
