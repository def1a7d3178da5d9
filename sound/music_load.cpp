// The module table and the XM and MOD readers. Every read is bounded by the file: a module cut
// short or holding impossible sizes fails to load and is freed, never read past.
#include "platform/system.h"
#include "sound/music_local.h"

#include <cstring>
#include <new>

MusicModule *g_music_modules[MUSIC_MAX_MODULES];
std::atomic<int32_t> g_music_module_count{0};
std::atomic<int32_t> g_music_current_index{0};
std::atomic<MusicModule *> g_music_current_module{nullptr};
std::atomic<int32_t> g_music_module_loaded{0};
std::atomic<int32_t> g_music_song_ended{0};

namespace {

uint32_t le16(const uint8_t *p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t le32(const uint8_t *p) { return le16(p) | le16(p + 2) << 16; }
uint32_t be16(const uint8_t *p) { return uint32_t(p[0]) << 8 | uint32_t(p[1]); }

bool read_bytes(FILE *file, void *out, size_t count) { return count == 0 || fread(out, 1, count, file) == count; }

// Bytes between the read position and the end of the file, or -1 when the file cannot seek.
int64_t bytes_left(FILE *file)
{
    long here = ftell(file);
    if (here < 0 || fseek(file, 0, SEEK_END) != 0) return -1;
    long end = ftell(file);
    if (fseek(file, here, SEEK_SET) != 0 || end < here) return -1;
    return int64_t(end) - here;
}

// Skips bytes inside the file; fails when that would go past its end.
bool skip_bytes(FILE *file, int64_t count)
{
    if (count <= 0) return true;
    int64_t left = bytes_left(file);
    if (left < count) return false;
    return fseek(file, long(count), SEEK_CUR) == 0;
}

int32_t clamp(int32_t value, int32_t low, int32_t high) { return value < low ? low : value > high ? high : value; }

// Keeps a loop inside the sample data, whatever the header says.
void clamp_loop(MusicSample *sample, int64_t loop_start, int64_t loop_length)
{
    if (loop_start > sample->length) loop_start = sample->length;
    if (loop_length > sample->length - loop_start) loop_length = sample->length - loop_start;
    sample->loop_start = int32_t(loop_start);
    sample->loop_length = int32_t(loop_length);
}

// File note byte to a cell note: 0 (no note) and values past key off hold no note.
uint16_t xm_note(uint8_t value) { return value == 0 || value > MUSIC_KEY_OFF ? MUSIC_NO_NOTE : value; }

void read_envelope(const uint8_t *bytes, MusicEnvelopePoint *points)
{
    for (int i = 0; i < 12; i++) {
        points[i].position = uint16_t(le16(bytes + 4 * i));
        points[i].value = int16_t(le16(bytes + 4 * i + 2) > 64 ? 64 : le16(bytes + 4 * i + 2));
    }
}

MusicCell empty_cell()
{
    MusicCell cell = {};
    cell.note = MUSIC_NO_NOTE;
    return cell;
}

// ---- MOD forms ----

const size_t MOD_HEAD_BYTES = 1212;  // up to the tag of the 16-channel layout

// Channels of a 31-sample MOD's tag at offset 1080: the common tags, counted as the channel rule
// reads them; 0 for bytes that are no MOD tag.
int32_t mod_tag_channels(const uint8_t *tag)
{
    for (const char *four : {"M.K.", "M!K!", "FLT4", "4CHN"})
        if (memcmp(tag, four, 4) == 0) return 4;
    if ((tag[0] == '6' || tag[0] == '8') && memcmp(tag + 1, "CHN", 3) == 0) return tag[0] - '0';
    // Two digits and "CH": 10 to 16 channels are read in the 16-channel layout.
    bool digits = tag[0] >= '0' && tag[0] <= '9' && tag[1] >= '0' && tag[1] <= '9';
    int32_t count = digits ? (tag[0] - '0') * 10 + tag[1] - '0' : 0;
    if (memcmp(tag + 2, "CH", 2) == 0 && count >= 10 && count <= 16) return 16;
    return 0;
}

// 1 when the first 600 bytes of a file of `size` bytes hold a plausible 15-sample module (no tag):
// sample headers within their ranges, a song of 1 to 128 orders each below 128, and the patterns
// and sample data that those promise inside the file.
bool mod_is_fifteen_sample(const uint8_t *head, size_t got, int64_t size)
{
    if (got < 600) return false;
    int64_t need = 600;
    for (int s = 0; s < 15; s++) {
        const uint8_t *h = head + 20 + 30 * s;
        if (h[24] > 15 || h[25] > 64) return false;
        need += int64_t(be16(h + 22)) * 2;
    }
    const uint8_t *song = head + 470;
    if (song[0] < 1 || song[0] > 128) return false;
    int32_t highest = 0;
    for (int i = 0; i < 128; i++) {
        if (song[2 + i] >= 128) return false;
        if (i < song[0] && song[2 + i] > highest) highest = song[2 + i];
    }
    return size >= need + int64_t(highest + 1) * 1024;
}

// The form of the MOD file at the read position: 31 or 15 samples, or 0 when it is no MOD. The
// read position is kept.
int32_t mod_form(FILE *file)
{
    uint8_t head[MOD_HEAD_BYTES];
    long start = ftell(file);
    int64_t size = bytes_left(file);
    if (start < 0 || size < 0) return 0;
    size_t got = fread(head, 1, sizeof head, file);
    if (fseek(file, start, SEEK_SET) != 0) return 0;
    if (got >= 1084 && mod_tag_channels(head + 1080)) return 31;
    if (got >= MOD_HEAD_BYTES && memcmp(head + 1208, "16CH", 4) == 0) return 31;
    return mod_is_fifteen_sample(head, got, size) ? 15 : 0;
}

int32_t add_module(const char *path, int32_t (*loader)(FILE *, MusicModule *))
{
    int32_t index = g_music_module_count;
    if (index >= MUSIC_MAX_MODULES) {
        fprintf(stderr, "music: table full, %s not loaded\n", path);
        return -1;
    }
    FILE *file = sys_fopen(path, "rb");
    if (!file) {
        fprintf(stderr, "music: cannot open %s\n", path);
        return -1;
    }
    MusicModule *module = new (std::nothrow) MusicModule();
    int32_t ok = module ? loader(file, module) : 0;
    fclose(file);
    if (!ok) {
        fprintf(stderr, "music: %s is cut short or corrupt\n", path);
        music_free_module(module);
        return -1;
    }
    g_music_modules[index] = module;
    g_music_module_count = index + 1;
    g_music_module_loaded = 1;
    g_music_current_index = 0;
    g_music_current_module = g_music_modules[0];
    g_music_song_ended = 0;
    return index;
}

}  // namespace

// ---- the table ----------------------------------------------------------------------------------

void music_reset_player(void)
{
    for (MusicModule *&entry : g_music_modules) entry = nullptr;
    g_music_module_count = 0;
    g_music_current_index = 0;
    g_music_current_module = nullptr;
    music_build_period_table();
}

int32_t music_check_xm_file(const char *path)
{
    FILE *file = sys_fopen(path, "rb");
    if (!file) return 0;
    char id[17] = {};
    size_t got = fread(id, 1, sizeof id, file);
    fclose(file);
    return got >= 10 && memcmp(id, "Extended M", 10) == 0 ? 1 : 0;
}

int32_t music_load_module(const char *path)
{
    if (!path) return -1;
    if (music_check_xm_file(path)) return music_add_xm_module(path);
    FILE *file = sys_fopen(path, "rb");
    int32_t form = file ? mod_form(file) : 0;
    if (file) fclose(file);
    if (file && !form) {
        fprintf(stderr, "music: %s is not an XM or MOD module\n", path);
        return -1;
    }
    return music_add_mod_module(path);
}

int32_t music_add_xm_module(const char *path) { return add_module(path, music_load_xm); }
int32_t music_add_mod_module(const char *path) { return add_module(path, music_load_mod); }

void music_free_module(MusicModule *module)
{
    if (!module) return;
    if (module->patterns) {
        for (int32_t p = 0; p < module->pattern_count; p++)
            for (MusicCell *column : module->patterns[p].columns) delete[] column;
        delete[] module->patterns;
    }
    if (module->type == 0) {
        for (int32_t s = 1; s <= 31; s++) delete[] module->samples[s].data;
    } else {
        for (int32_t i = 1; i <= module->instrument_count && i <= 128; i++) {
            MusicInstrument &instrument = module->instruments[i];
            if (!instrument.samples) continue;
            for (int32_t s = 0; s < instrument.sample_count; s++) delete[] instrument.samples[s].data;
            delete[] instrument.samples;
        }
    }
    delete module;
}

// ---- XM -----------------------------------------------------------------------------------------

int32_t music_load_xm(FILE *file, MusicModule *module)
{
    uint8_t header[80];
    if (!read_bytes(file, header, sizeof header)) return 0;
    module->type = 1;
    memcpy(module->name, header + 17, sizeof module->name);
    uint32_t header_size = le32(header + 60);
    module->song_length = clamp(int32_t(le16(header + 64)), 0, 256);
    module->restart_position = int32_t(le16(header + 66));
    module->channel_count = int32_t(le16(header + 68));
    uint32_t pattern_count = le16(header + 70);
    uint32_t instrument_count = le16(header + 72);
    module->linear_frequency = int32_t(le16(header + 74) & 1);
    module->default_speed = int32_t(le16(header + 76));
    // A BPM of 0 has no tick rate, and below 9 a tick outgrows the channel buffers.
    module->default_bpm = clamp(int32_t(le16(header + 78)), 32, 255);
    if (header_size < 20 || module->channel_count < 1 || module->channel_count > MUSIC_CHANNELS) return 0;
    if (pattern_count > 256) return 0;

    uint32_t order_bytes = header_size - 20;
    uint8_t orders[256];
    uint32_t kept = order_bytes < 256 ? order_bytes : 256;
    if (!read_bytes(file, orders, kept) || !skip_bytes(file, int64_t(order_bytes) - kept)) return 0;
    for (uint32_t i = 0; i < kept; i++) module->orders[i] = orders[i];

    if (pattern_count > 0) {
        module->patterns = new (std::nothrow) MusicPattern[pattern_count]();
        if (!module->patterns) return 0;
        module->pattern_count = int32_t(pattern_count);
    }
    for (int32_t p = 0; p < module->pattern_count; p++)
        if (!music_read_xm_pattern(file, module, p)) return 0;

    // Instruments come last: those past 128 are left unread.
    int32_t instruments = instrument_count > 128 ? 128 : int32_t(instrument_count);
    for (int32_t i = 1; i <= instruments; i++) {
        module->instrument_count = i;
        if (!music_read_xm_instrument(file, module, i)) return 0;
    }
    return 1;
}

int32_t music_read_xm_pattern(FILE *file, MusicModule *module, int32_t pattern)
{
    uint8_t header[9];
    if (!read_bytes(file, header, sizeof header)) return 0;
    uint32_t header_length = le32(header);
    uint32_t rows = le16(header + 5);
    uint32_t packed_size = le16(header + 7);
    if (header_length < 9 || !skip_bytes(file, int64_t(header_length) - 9)) return 0;
    // No rows would leave nothing to play; the format's limit is 256.
    if (rows == 0) rows = 64;
    if (rows > 256) rows = 256;

    MusicPattern &target = module->patterns[pattern];
    target.row_count = rows;
    for (int32_t c = 0; c < module->channel_count; c++) {
        target.columns[c] = new (std::nothrow) MusicCell[rows];
        if (!target.columns[c]) return 0;
        for (uint32_t r = 0; r < rows; r++) target.columns[c][r] = empty_cell();
    }

    uint8_t data[65536];
    if (!read_bytes(file, data, packed_size)) return 0;
    uint32_t taken = 0;
    uint8_t last = 0;
    // Once the data run out, a field still due gets the last field byte again.
    auto field = [&]() -> uint8_t {
        if (taken < packed_size) last = data[taken++];
        return last;
    };
    for (uint32_t r = 0; r < rows && taken < packed_size; r++) {
        for (int32_t c = 0; c < module->channel_count && taken < packed_size; c++) {
            MusicCell &cell = target.columns[c][r];
            uint8_t b = data[taken++];
            uint8_t mask = 0x1F;
            if (b & 0x80) {
                mask = b;
            } else {
                last = b;
                cell.note = xm_note(b);
                mask = 0x1E;
            }
            if (mask & 0x01) cell.note = xm_note(field());
            if (mask & 0x02) cell.instrument = field();
            if (mask & 0x04) cell.volume = field();
            if (mask & 0x08) cell.effect = field();
            if (mask & 0x10) cell.parameter = field();
        }
    }
    return 1;
}

int32_t music_read_xm_instrument(FILE *file, MusicModule *module, int32_t index)
{
    MusicInstrument &instrument = module->instruments[index];
    uint8_t b[243];  // offsets from the instrument's start
    if (!read_bytes(file, b, 29)) return 0;
    uint32_t size = le32(b);
    memcpy(instrument.name, b + 4, sizeof instrument.name);
    uint32_t count = le16(b + 27);
    if (count == 0) return skip_bytes(file, int64_t(size) - 29) ? 1 : 0;
    if (count > 256) return 0;

    if (!read_bytes(file, b + 29, sizeof b - 29) || !skip_bytes(file, int64_t(size) - 243)) return 0;
    uint32_t header_size = le32(b + 29);
    for (int n = 0; n < 96; n++) instrument.note_map[n] = b[33 + n];
    read_envelope(b + 129, instrument.volume_envelope);
    read_envelope(b + 177, instrument.panning_envelope);
    instrument.volume_point_count = clamp(b[225], 0, 12);
    instrument.panning_point_count = clamp(b[226], 0, 12);
    // Point numbers index 12 points.
    instrument.volume_sustain = clamp(b[227], 0, 11);
    instrument.volume_loop_start = clamp(b[228], 0, 11);
    instrument.volume_loop_end = clamp(b[229], 0, 11);
    instrument.panning_sustain = clamp(b[230], 0, 11);
    instrument.panning_loop_start = clamp(b[231], 0, 11);
    instrument.panning_loop_end = clamp(b[232], 0, 11);
    instrument.volume_type = b[233];
    instrument.panning_type = b[234];
    instrument.vibrato_type = b[235];
    instrument.vibrato_sweep = b[236];
    instrument.vibrato_depth = b[237];
    instrument.vibrato_rate = b[238];
    instrument.fadeout = int32_t(le16(b + 239));
    if (header_size < 40) return 0;

    instrument.samples = new (std::nothrow) MusicSample[count]();
    if (!instrument.samples) return 0;
    instrument.sample_count = int32_t(count);
    for (uint32_t s = 0; s < count; s++)
        if (!music_read_xm_sample_header(file, module, &instrument.samples[s], int32_t(header_size))) return 0;
    for (uint32_t s = 0; s < count; s++)
        if (!music_read_xm_sample_data(file, module, &instrument.samples[s])) return 0;
    return 1;
}

int32_t music_read_xm_sample_header(FILE *file, MusicModule *, MusicSample *sample, int32_t header_size)
{
    uint8_t b[40];
    if (!read_bytes(file, b, sizeof b) || !skip_bytes(file, int64_t(header_size) - 40)) return 0;
    int64_t length = le32(b), loop_start = le32(b + 4), loop_length = le32(b + 8);
    // The data follow the headers: a length beyond the file is corrupt.
    int64_t left = bytes_left(file);
    if (left < 0 || length > left) return 0;
    uint8_t type = b[14];
    sample->is_16bit = (type & 0x10) ? 1 : 0;
    if (sample->is_16bit) {
        length >>= 1;
        loop_start >>= 1;
        loop_length >>= 1;
    }
    sample->length = int32_t(length);
    sample->volume = clamp(b[12], 0, 64);
    sample->finetune = int8_t(b[13]);
    sample->loop_type = (type & 3) == 0 ? 0 : (type & 1) ? 1 : 2;
    sample->panning = b[15];
    sample->relative_note = int8_t(b[16]);
    memcpy(sample->name, b + 18, sizeof sample->name);
    clamp_loop(sample, loop_start, loop_length);
    // A loop of no length would divide by zero when played: play such a sample once.
    if (sample->loop_length == 0) sample->loop_type = 0;
    return 1;
}

int32_t music_read_xm_sample_data(FILE *file, MusicModule *, MusicSample *sample)
{
    if (sample->length <= 0) return 1;
    int32_t width = sample->is_16bit ? 2 : 1;
    int64_t left = bytes_left(file);
    if (left < 0 || int64_t(sample->length) * width > left) return 0;
    sample->data = new (std::nothrow) int16_t[sample->length];
    if (!sample->data) return 0;
    uint8_t chunk[4096];
    uint16_t previous = 0;
    for (int32_t done = 0; done < sample->length;) {
        int32_t count = sample->length - done;
        if (count > int32_t(sizeof chunk) / width) count = int32_t(sizeof chunk) / width;
        if (!read_bytes(file, chunk, size_t(count) * width)) return 0;
        for (int32_t i = 0; i < count; i++) {
            if (width == 2) {
                previous = uint16_t(previous + le16(chunk + 2 * i));
                sample->data[done + i] = int16_t(previous);
            } else {
                previous = uint8_t(previous + chunk[i]);
                sample->data[done + i] = int16_t(int8_t(previous) * 256);
            }
        }
        done += count;
    }
    return 1;
}

// ---- MOD ----------------------------------------------------------------------------------------

int32_t music_load_mod(FILE *file, MusicModule *module)
{
    // Notes are found by period in the finetune-0 row.
    if (g_music_period_table[8][36] == 0) music_build_period_table();
    int32_t sample_count = mod_form(file);
    if (!sample_count) return 0;
    module->type = 0;
    module->default_speed = 6;
    module->default_bpm = 125;
    if (!read_bytes(file, module->name, sizeof module->name)) return 0;
    for (int32_t s = 1; s <= sample_count; s++)
        if (!music_read_mod_sample_header(file, module, s)) return 0;
    uint8_t song[2];
    if (!read_bytes(file, song, sizeof song)) return 0;

    long position = ftell(file);
    uint8_t orders[256 + 4];
    bool sixteen =
        sample_count == 31 && read_bytes(file, orders, sizeof orders) && memcmp(orders + 256, "16CH", 4) == 0;
    int32_t order_count = 256, channels = 16;
    if (!sixteen) {
        // The 15-sample form has no tag: four channels, its patterns right after the orders.
        order_count = 128;
        size_t tag_bytes = sample_count == 31 ? 4 : 0;
        if (position < 0 || fseek(file, position, SEEK_SET) != 0) return 0;
        if (!read_bytes(file, orders, 128 + tag_bytes)) return 0;
        channels = tag_bytes ? mod_tag_channels(orders + 128) : 4;
    }
    // Orders past the table are not in the file.
    module->song_length = song[0] > order_count ? order_count : song[0];
    int32_t highest = 0;
    for (int32_t i = 0; i < order_count; i++) module->orders[i] = orders[i];
    for (int32_t i = 0; i < module->song_length; i++)
        if (orders[i] > highest) highest = orders[i];

    module->patterns = new (std::nothrow) MusicPattern[highest + 1]();
    if (!module->patterns) return 0;
    module->pattern_count = highest + 1;
    for (int32_t p = 0; p < module->pattern_count; p++)
        if (!music_read_mod_pattern(file, module, p, channels)) return 0;
    for (int32_t s = 1; s <= sample_count; s++)
        if (!music_read_mod_sample_data(file, module, s)) return 0;
    module->channel_count = channels;
    return 1;
}

int32_t music_read_mod_sample_header(FILE *file, MusicModule *module, int32_t index)
{
    uint8_t b[30];
    if (!read_bytes(file, b, sizeof b)) return 0;
    MusicSample *sample = &module->samples[index];
    memcpy(sample->name, b, sizeof sample->name);
    sample->length = int32_t(be16(b + 22)) * 2;
    // The finetune is the low nibble, 8 to 15 standing for -8 to -1.
    int32_t finetune = b[24] & 0x0F;
    sample->finetune = finetune >= 8 ? finetune - 16 : finetune;
    sample->volume = clamp(int8_t(b[25]), 0, 64);
    // Loops running past the data are common in MOD files: keep them inside.
    clamp_loop(sample, int64_t(be16(b + 26)) * 2, int64_t(be16(b + 28)) * 2);
    return 1;
}

int32_t music_read_mod_pattern(FILE *file, MusicModule *module, int32_t pattern, int32_t channel_count)
{
    uint8_t bytes[64 * 16 * 4];
    if (!read_bytes(file, bytes, size_t(64 * channel_count * 4))) return 0;
    MusicPattern &target = module->patterns[pattern];
    target.row_count = 64;
    for (int32_t c = 0; c < channel_count; c++) {
        target.columns[c] = new (std::nothrow) MusicCell[64];
        if (!target.columns[c]) return 0;
    }
    for (int32_t r = 0; r < 64; r++) {
        for (int32_t c = 0; c < channel_count; c++) {
            const uint8_t *b = bytes + 4 * (r * channel_count + c);
            MusicCell &cell = target.columns[c][r];
            cell = empty_cell();
            int32_t sample = (b[0] & 0xF0) + (b[2] >> 4);
            cell.instrument = uint8_t(sample <= 31 ? sample : 0);  // no sample past 31
            cell.period = uint16_t((b[0] & 0x0F) * 256 + b[1]);
            cell.effect = b[2] & 0x0F;
            cell.parameter = b[3];
            for (int32_t n = 0; n < 108; n++) {
                if (music_compute_abs(g_music_period_table[8][n] / 2 - cell.period) < 3) {
                    cell.note = uint16_t(n);
                    break;
                }
            }
        }
    }
    return 1;
}

int32_t music_read_mod_sample_data(FILE *file, MusicModule *module, int32_t index)
{
    MusicSample *sample = &module->samples[index];
    if (sample->length < 1) return 1;
    sample->data = new (std::nothrow) int16_t[sample->length + 10]();
    if (!sample->data) return 0;
    uint8_t chunk[4096];
    for (int32_t done = 0; done < sample->length;) {
        int32_t count = sample->length - done < int32_t(sizeof chunk) ? sample->length - done : int32_t(sizeof chunk);
        if (!read_bytes(file, chunk, size_t(count))) return 0;
        for (int32_t i = 0; i < count; i++) sample->data[done + i] = int16_t(int8_t(chunk[i]) * 256);
        done += count;
    }
    return 1;
}
