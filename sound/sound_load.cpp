// Effect loading: Ogg Vorbis decoded whole to 8-bit samples, else a WAV file with the canonical
// 44-byte header brought to 44100 Hz. Every read is bounded by the file; damage gives no effect.
#include "sound/sound.h"
#include "sound/sound_local.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

int32_t g_ogg_sample_count;
int32_t g_ogg_channel_count;
int32_t g_resampled_sample_count;

namespace {

const int OGG_CHUNK = 1024;

// A little-endian field of `size` bytes (at most 4) into a zeroed 32-bit value; false at the end.
bool read_field(FILE *file, int size, uint32_t *value)
{
    uint8_t bytes[12];
    if (fread(bytes, 1, size_t(size), file) != size_t(size)) return false;
    *value = 0;
    for (int i = 0; i < size && i < 4; i++) *value |= uint32_t(bytes[i]) << (8 * i);
    return true;
}

// Bytes from the current position to the end of the file, or -1.
long bytes_left(FILE *file)
{
    long at = ftell(file);
    if (at < 0 || fseek(file, 0, SEEK_END) != 0) return -1;
    long end = ftell(file);
    if (end < 0 || fseek(file, at, SEEK_SET) != 0) return -1;
    return end - at;
}

// The data of a WAV file as 16-bit samples (malloc), their count in `count`; null when unusable.
int16_t *read_wav_samples(FILE *file, int32_t *rate, int32_t *count)
{
    // Nine reads: RIFF id and size with WAVE id (12), format id, size and tag (10), channels, rate,
    // bytes per second, block align, bits per sample, data id, data size.
    static const int sizes[9] = {12, 10, 2, 4, 4, 2, 2, 4, 4};
    uint32_t field[9];
    for (int i = 0; i < 9; i++)
        if (!read_field(file, sizes[i], &field[i])) return nullptr;
    uint32_t bits = field[6], data_bytes = field[8];
    *rate = int32_t(field[3]);

    long left = bytes_left(file);
    if (left < 0 || data_bytes > uint64_t(left)) return nullptr;
    int64_t samples = bits == 8 ? int64_t(data_bytes) : int64_t(data_bytes / 2);
    if (*rate < 1 || samples < 2 || samples > SOUND_MAX_SAMPLES) return nullptr;

    uint8_t *bytes = static_cast<uint8_t *>(malloc(data_bytes));
    int16_t *out = static_cast<int16_t *>(malloc(size_t(samples) * sizeof(int16_t)));
    if (!bytes || !out || fread(bytes, 1, data_bytes, file) != data_bytes) {
        free(bytes);
        free(out);
        return nullptr;
    }
    for (int64_t i = 0; i < samples; i++) {
        // 8-bit data are unsigned with 128 as silence.
        if (bits == 8) out[i] = int16_t((int(bytes[i]) - 128) * 256);
        else out[i] = int16_t(uint16_t(bytes[2 * i] | bytes[2 * i + 1] << 8));
    }
    free(bytes);
    *count = int32_t(samples);
    return out;
}

}  // namespace

SoundEffect *sound_load_effect(const char *path)
{
    int8_t *decoded = sound_decode_ogg_file(path);
    if (!decoded) return sound_load_wav(path);

    int32_t count = g_ogg_sample_count;
    int16_t *widened = static_cast<int16_t *>(malloc(std::max<size_t>(size_t(count), 1) * sizeof(int16_t)));
    if (!widened) {
        free(decoded);
        return nullptr;
    }
    for (int32_t i = 0; i < count; i++) widened[i] = int16_t(decoded[i] * 256);
    SoundEffect *effect = sound_create_buffer(count * 2);
    sound_fill_buffer(effect, widened, count * 2);
    free(decoded);
    free(widened);
    return effect;
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
    int channels = info->channels;
    size_t capacity = size_t(total) * 2;
    int8_t *data = static_cast<int8_t *>(calloc(std::max<size_t>(capacity, 1), 1));
    if (!data) {
        ov_clear(&stream);
        return nullptr;
    }

    // Decoded bytes beyond the buffer (more than two channels, or more data than the stream's
    // total) are not kept.
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
    return data;
}

SoundEffect *sound_load_wav(const char *path)
{
    return path ? sound_load_wav_stream(sys_fopen(path, "rb")) : nullptr;
}

SoundEffect *sound_load_wav_stream(FILE *file)
{
    if (!file) return nullptr;
    int32_t rate = 0, count = 0;
    int16_t *samples = read_wav_samples(file, &rate, &count);
    fclose(file);
    if (!samples) return nullptr;
    int16_t *resampled = sound_resample_to_44100(samples, count, rate);
    free(samples);
    if (!resampled) return nullptr;
    SoundEffect *effect = sound_create_buffer(g_resampled_sample_count * 2);
    sound_fill_buffer(effect, resampled, g_resampled_sample_count * 2);
    free(resampled);
    return effect;
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
