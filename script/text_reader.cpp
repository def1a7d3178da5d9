// The text reader: whole-file load (plain or packed) and the line and word readers.
#include "script/text_reader.h"

#include "codecs/codecs.h"
#include "platform/system.h"

#include <cstdlib>
#include <cstring>

namespace {

const uint32_t PACKED_HEADER_SIZE = 12;
// Larger texts than this are refused: no configuration or script comes near it, and the packed
// header's sizes are not to be trusted.
const uint32_t MAX_TEXT_SIZE = 64u << 20;

bool is_blank(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

uint32_t read_u32(const uint8_t *p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// The whole file, malloc'd with one spare byte; null when it cannot be read.
uint8_t *read_whole(const char *path, uint32_t *length)
{
    FILE *file = sys_fopen(path, "rb");
    if (!file) return nullptr;
    uint8_t *bytes = nullptr;
    long end = -1;
    if (fseek(file, 0, SEEK_END) == 0) end = ftell(file);
    if (end >= 0 && uint64_t(end) <= MAX_TEXT_SIZE && fseek(file, 0, SEEK_SET) == 0) {
        bytes = static_cast<uint8_t *>(malloc(size_t(end) + 1));
        if (bytes && fread(bytes, 1, size_t(end), file) != size_t(end)) {
            free(bytes);
            bytes = nullptr;
        }
    }
    fclose(file);
    if (bytes) *length = uint32_t(end);
    return bytes;
}

// Unpacks a "zzz" or "zzw" file's bytes into a new text buffer of raw size + 1; null when the
// header's sizes do not fit the file or the data does not unpack to the size it announces.
uint8_t *unpack(const uint8_t *file, uint32_t length, bool filtered, uint32_t *size)
{
    if (length < PACKED_HEADER_SIZE) return nullptr;
    uint32_t raw_size = read_u32(file + 4);
    uint32_t packed_size = read_u32(file + 8);
    if (packed_size > length - PACKED_HEADER_SIZE || raw_size > MAX_TEXT_SIZE) return nullptr;
    const uint8_t *packed = file + PACKED_HEADER_SIZE;

    uint8_t *text = static_cast<uint8_t *>(malloc(size_t(raw_size) + 1));
    if (!text) return nullptr;
    bool ok;
    if (filtered) {
        PackedBlock block{1, packed_size, raw_size, const_cast<uint8_t *>(packed)};
        uint8_t *raw = inflate_unpack_block(&block);
        ok = raw != nullptr;
        if (ok) memcpy(text, raw, raw_size);
        free(raw);
    } else {
        g_inflate_output_size = raw_size;
        g_inflate_node_count = 0;
        ok = inflate_decode_raw(packed, packed_size, text) == 1;
        g_inflate_node_count = 0;
    }
    if (!ok) {
        free(text);
        return nullptr;
    }
    *size = raw_size;
    return text;
}

}  // namespace

void text_reader_open(TextReader *reader, const char *path)
{
    reader->mode = 2;
    reader->position = 0;
    reader->line = 0;
    reader->size = 0;
    reader->data = nullptr;

    uint32_t length = 0;
    uint8_t *file = read_whole(path, &length);
    if (file) {
        bool zzz = length >= 4 && memcmp(file, "zzz", 4) == 0;
        bool zzw = length >= 4 && memcmp(file, "zzw", 4) == 0;
        if (zzz || zzw) {
            reader->data = unpack(file, length, zzw, &reader->size);
            free(file);
        } else {
            reader->data = file;
            reader->size = length;
        }
    }
    if (!reader->data) {
        reader->data = static_cast<uint8_t *>(malloc(1));
        reader->size = 0;
    }
    // Every text has a '\n' behind its end, outside the text, as its readers expect.
    if (reader->data) reader->data[reader->size] = '\n';
}

bool text_reader_at_end(const TextReader *reader) { return !reader->data || reader->position >= reader->size; }

void text_reader_gets(TextReader *reader, char *dest, int max)
{
    if (text_reader_at_end(reader) || max <= 0) {
        reader->line++;
        return;
    }
    const uint8_t *text = reader->data;
    uint32_t start = reader->position, end = start;
    while (end < reader->size && text[end] != '\r') end++;
    uint32_t length = end - start;
    if (length > uint32_t(max - 1)) length = uint32_t(max - 1);
    memcpy(dest, text + start, length);
    dest[length] = '\0';

    uint32_t next = end;
    if (next < reader->size) {
        next++;  // the CR
        while (next < reader->size && text[next] == '\n') next++;
    }
    reader->position = next;
    reader->line++;
}

void config_read_line(TextReader *reader, char *dest, int max)
{
    if (text_reader_at_end(reader) || max <= 0) return;
    const uint8_t *text = reader->data;
    uint32_t at = reader->position;
    while (at < reader->size && is_blank(text[at])) {
        if (text[at] == '\r') reader->line++;
        at++;
    }
    uint32_t start = at;
    while (at < reader->size && !is_blank(text[at])) at++;
    uint32_t length = at - start;
    if (length > uint32_t(max - 1)) length = uint32_t(max - 1);
    memcpy(dest, text + start, length);
    dest[length] = '\0';
    // The byte that ended the word goes with it.
    reader->position = at < reader->size ? at + 1 : at;
}

void text_reader_close(TextReader *reader)
{
    free(reader->data);
    *reader = TextReader{};
}
