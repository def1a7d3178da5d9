// Effect loading: Ogg Vorbis decoded whole to 8-bit samples, else a PCM WAV file; either is mixed
// down to mono and brought to 44100 Hz. Every read is bounded by the file; damage gives no effect.
#include "sound/sound.h"
#include "sound/sound_local.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

int32_t g_ogg_sample_count;
int32_t g_ogg_channel_count;
int32_t g_ogg_sample_rate;
int32_t g_resampled_sample_count;

namespace {

const int OGG_CHUNK = 1024;

uint32_t le16(const uint8_t *p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t le32(const uint8_t *p) { return le16(p) | le16(p + 2) << 16; }

// Bytes from the current position to the end of the file, or -1.
long bytes_left(FILE *file)
{
    long at = ftell(file);
    if (at < 0 || fseek(file, 0, SEEK_END) != 0) return -1;
    long end = ftell(file);
    if (end < 0 || fseek(file, at, SEEK_SET) != 0) return -1;
    return end - at;
}

// Moves `count` bytes on, failing at the end of the file.
bool skip(FILE *file, uint64_t count)
{
    long left = bytes_left(file);
    return left >= 0 && count <= uint64_t(left) && fseek(file, long(count), SEEK_CUR) == 0;
}

struct WavFormat {
    uint32_t tag, channels, rate, bits;
};

// Reads a format chunk body of `size` bytes. WAVE_FORMAT_EXTENSIBLE names its real format in the
// first two bytes of its sub-format id.
bool read_wav_format(FILE *file, uint32_t size, WavFormat *format)
{
    uint8_t b[40] = {};
    uint32_t kept = size < sizeof b ? size : uint32_t(sizeof b);
    if (size < 16 || fread(b, 1, kept, file) != kept || !skip(file, size - kept)) return false;
    format->tag = le16(b);
    format->channels = le16(b + 2);
    format->rate = le32(b + 4);
    format->bits = le16(b + 14);
    if (format->tag == 0xFFFE && kept >= 40) format->tag = le16(b + 24);
    return true;
}

// Walks the RIFF chunks to "fmt " and "data", leaving the file at the data; their order and the
// chunks around them (LIST, fact, ...) do not matter.
bool find_wav_chunks(FILE *file, WavFormat *format, uint32_t *data_bytes)
{
    uint8_t header[12];
    if (fread(header, 1, sizeof header, file) != sizeof header || memcmp(header, "RIFF", 4) != 0 ||
        memcmp(header + 8, "WAVE", 4) != 0)
        return false;
    bool have_format = false;
    long data_at = -1;
    for (;;) {
        uint8_t chunk[8];
        if (fread(chunk, 1, sizeof chunk, file) != sizeof chunk) return false;
        uint32_t size = le32(chunk + 4);
        if (memcmp(chunk, "fmt ", 4) == 0) {
            if (!read_wav_format(file, size, format)) return false;
            have_format = true;
            if (size & 1) skip(file, 1);
        } else if (memcmp(chunk, "data", 4) == 0) {
            data_at = ftell(file);
            *data_bytes = size;
            if (data_at < 0) return false;
            if (!have_format && !skip(file, uint64_t(size) + (size & 1))) return false;
        } else if (!skip(file, uint64_t(size) + (size & 1))) {
            return false;
        }
        if (have_format && data_at >= 0) return fseek(file, data_at, SEEK_SET) == 0;
    }
}

// The data of a WAV file as 16-bit mono samples (malloc), their count in `count`; null when
// unusable. Channels are averaged into one.
int16_t *read_wav_samples(FILE *file, const char *name, int32_t *rate, int32_t *count)
{
    WavFormat format = {};
    uint32_t data_bytes = 0;
    if (!find_wav_chunks(file, &format, &data_bytes)) return nullptr;
    if (format.tag != 1) {
        fprintf(stderr, "sound: %s: format tag %u is not PCM, not loaded\n", name, unsigned(format.tag));
        return nullptr;
    }
    if ((format.bits != 8 && format.bits != 16) || format.channels < 1) {
        fprintf(stderr, "sound: %s: PCM of %u bits per sample and %u channels is not loaded\n", name,
                unsigned(format.bits), unsigned(format.channels));
        return nullptr;
    }
    *rate = int32_t(format.rate);
    long left = bytes_left(file);
    if (left < 0 || data_bytes > uint64_t(left)) return nullptr;
    uint32_t width = format.bits / 8, frame = width * format.channels;
    int64_t samples = int64_t(data_bytes / frame);
    if (*rate < 1 || samples < 2 || samples > SOUND_MAX_SAMPLES) return nullptr;

    uint8_t *bytes = static_cast<uint8_t *>(malloc(data_bytes));
    int16_t *out = static_cast<int16_t *>(malloc(size_t(samples) * sizeof(int16_t)));
    if (!bytes || !out || fread(bytes, 1, data_bytes, file) != data_bytes) {
        free(bytes);
        free(out);
        return nullptr;
    }
    for (int64_t i = 0; i < samples; i++) {
        const uint8_t *at = bytes + size_t(i) * frame;
        int64_t sum = 0;
        for (uint32_t c = 0; c < format.channels; c++, at += width) {
            // 8-bit data are unsigned with 128 as silence.
            if (width == 1) sum += (int(at[0]) - 128) * 256;
            else sum += int16_t(uint16_t(at[0] | at[1] << 8));
        }
        out[i] = int16_t(sum / int64_t(format.channels));
    }
    free(bytes);
    *count = int32_t(samples);
    return out;
}

// Makes an effect of `count` samples, which it takes.
SoundEffect *effect_from_samples(int16_t *samples, int32_t count)
{
    SoundEffect *effect = sound_create_buffer(count * 2);
    sound_fill_buffer(effect, samples, count * 2);
    free(samples);
    return effect;
}

}  // namespace

SoundEffect *sound_load_effect(const char *path)
{
    int8_t *decoded = sound_decode_ogg_file(path);
    return decoded ? sound_effect_from_ogg(decoded) : sound_load_wav(path);
}

SoundEffect *sound_effect_from_ogg(int8_t *decoded)
{
    int32_t count = g_ogg_sample_count, channels = g_ogg_channel_count;
    int16_t *mono = static_cast<int16_t *>(malloc(std::max<size_t>(size_t(count), 1) * sizeof(int16_t)));
    if (!mono || channels < 1) {
        free(decoded);
        free(mono);
        return nullptr;
    }
    // Each decoded byte is the high byte of a 16-bit sample; the channels are averaged into one.
    for (int32_t i = 0; i < count; i++) {
        int32_t sum = 0;
        for (int32_t c = 0; c < channels; c++) sum += decoded[size_t(i) * size_t(channels) + size_t(c)];
        mono[i] = int16_t(sum * 256 / channels);
    }
    free(decoded);
    if (g_ogg_sample_rate == 44100) return effect_from_samples(mono, count);
    int16_t *resampled = sound_resample_to_44100(mono, count, g_ogg_sample_rate);
    free(mono);
    return resampled ? effect_from_samples(resampled, g_resampled_sample_count) : nullptr;
}

int8_t *sound_decode_ogg_file(const char *path)
{
    return path ? sound_decode_ogg_stream(sys_fopen(path, "rb")) : nullptr;
}

int8_t *sound_decode_ogg_stream(FILE *file)
{
    if (!file) return nullptr;
    OggVorbis_File stream;
    if (ov_open(file, &stream, nullptr, 0) < 0) {
        fclose(file);
        return nullptr;
    }
    // From here on ov_clear closes the file; closing it again would free it twice.
    ov_comment(&stream, -1);
    vorbis_info *info = ov_info(&stream, -1);
    ogg_int64_t total = ov_pcm_total(&stream, -1);
    if (!info || total < 0 || total > SOUND_MAX_SAMPLES) {
        ov_clear(&stream);
        return nullptr;
    }
    // Every channel is kept for the down-mix, within the memory of ten minutes of stereo.
    int channels = info->channels;
    long rate = info->rate;
    size_t capacity = size_t(total) * size_t(std::max(channels, 2));
    if (channels < 1 || rate < 1 || rate > INT32_MAX || capacity > size_t(2) * SOUND_MAX_SAMPLES) {
        ov_clear(&stream);
        return nullptr;
    }
    int8_t *data = static_cast<int8_t *>(calloc(std::max<size_t>(capacity, 1), 1));
    if (!data) {
        ov_clear(&stream);
        return nullptr;
    }

    // Decoded bytes beyond the stream's total are not kept.
    size_t written = 0;
    char chunk[OGG_CHUNK];
    int section = 0;
    while (written < capacity) {
        long got = ov_read(&stream, chunk, OGG_CHUNK, 0, 1, 1, &section);
        if (got == 0) break;
        if (got == OV_HOLE) continue;  // a gap in the data; decoding goes on after it
        if (got < 0) {
            ov_clear(&stream);
            free(data);
            return nullptr;
        }
        size_t take = std::min(size_t(got), capacity - written);
        memcpy(data + written, chunk, take);
        written += take;
    }
    ov_clear(&stream);
    g_ogg_sample_count = int32_t(total);
    g_ogg_channel_count = channels;
    g_ogg_sample_rate = int32_t(rate);
    return data;
}

SoundEffect *sound_load_wav(const char *path)
{
    return path ? sound_load_wav_stream(sys_fopen(path, "rb"), path) : nullptr;
}

SoundEffect *sound_load_wav_stream(FILE *file, const char *name)
{
    if (!file) return nullptr;
    int32_t rate = 0, count = 0;
    int16_t *samples = read_wav_samples(file, name, &rate, &count);
    fclose(file);
    if (!samples) return nullptr;
    int16_t *resampled = sound_resample_to_44100(samples, count, rate);
    free(samples);
    return resampled ? effect_from_samples(resampled, g_resampled_sample_count) : nullptr;
}

int16_t *sound_resample_to_44100(const int16_t *samples, int32_t count, int32_t rate)
{
    g_resampled_sample_count = 0;
    if (!samples || count < 2 || rate < 1) return nullptr;
    double length = (44100.0 / double(rate)) * double(count);
    if (length > double(SOUND_MAX_SAMPLES)) return nullptr;
    int32_t m = int32_t(length);
    int16_t *out = static_cast<int16_t *>(malloc(std::max<size_t>(size_t(std::max(m, 0)), 1) * sizeof(int16_t)));
    if (!out) return nullptr;
    g_resampled_sample_count = std::max(m, 0);
    // Positions span 0 to just below count - 2, also at 44100 Hz.
    for (int32_t i = 0; i < m; i++) {
        double position = double(i) * double(count - 2) / double(m);
        int32_t k = int32_t(position);
        double fraction = position - double(k);
        int32_t a = k < count ? samples[k] : 0;
        int32_t b = k + 1 < count ? samples[k + 1] : a;
        out[i] = int16_t(int32_t(fraction * double(b - a) + double(a)));
    }
    return out;
}
