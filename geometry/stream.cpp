// The paged output stream and the bounded read cursor.
#include "geometry/stream.h"

#include <cstdlib>
#include <cstring>

namespace {

// Makes sure pages exist for the first `end` bytes of the buffer.
int ensure_pages(PagedBuffer *buffer, size_t end)
{
    size_t needed = (end + PAGED_BUFFER_PAGE_SIZE - 1) / PAGED_BUFFER_PAGE_SIZE;
    if (needed > UINT32_MAX) return 0;
    if (needed > buffer->page_capacity) {
        size_t capacity = buffer->page_capacity ? buffer->page_capacity : 16;
        while (capacity < needed) capacity *= 2;
        if (capacity > UINT32_MAX) capacity = UINT32_MAX;
        uint8_t **pages = (uint8_t **)realloc(buffer->pages, capacity * sizeof(uint8_t *));
        if (!pages) return 0;
        buffer->pages = pages;
        buffer->page_capacity = (uint32_t)capacity;
    }
    while (buffer->page_count < needed) {
        uint8_t *page = (uint8_t *)malloc(PAGED_BUFFER_PAGE_SIZE);
        if (!page) return 0;
        buffer->pages[buffer->page_count++] = page;
    }
    return 1;
}

void put_le(uint8_t *out, uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; i++) out[i] = (uint8_t)(value >> (8 * i));
}

uint64_t get_le(const uint8_t *in, int bytes)
{
    uint64_t value = 0;
    for (int i = 0; i < bytes; i++) value |= (uint64_t)in[i] << (8 * i);
    return value;
}

} // namespace

void paged_buffer_init(PagedBuffer *buffer) { memset(buffer, 0, sizeof *buffer); }

void paged_buffer_free(PagedBuffer *buffer)
{
    for (uint32_t i = 0; i < buffer->page_count; i++) free(buffer->pages[i]);
    free(buffer->pages);
    paged_buffer_init(buffer);
}

int paged_buffer_write(PagedBuffer *buffer, const void *data, size_t size)
{
    if (buffer->failed) return 0;
    if (size == 0) return 1;
    if (size > SIZE_MAX - buffer->size || !ensure_pages(buffer, buffer->size + size)) {
        buffer->failed = 1;
        return 0;
    }
    const uint8_t *from = (const uint8_t *)data;
    while (size > 0) {
        size_t offset = buffer->size % PAGED_BUFFER_PAGE_SIZE;
        size_t chunk = PAGED_BUFFER_PAGE_SIZE - offset;
        if (chunk > size) chunk = size;
        memcpy(buffer->pages[buffer->size / PAGED_BUFFER_PAGE_SIZE] + offset, from, chunk);
        buffer->size += chunk;
        from += chunk;
        size -= chunk;
    }
    return 1;
}

int paged_buffer_write_u8(PagedBuffer *buffer, uint8_t value) { return paged_buffer_write(buffer, &value, 1); }

int paged_buffer_write_u16(PagedBuffer *buffer, uint16_t value)
{
    uint8_t bytes[2];
    put_le(bytes, value, 2);
    return paged_buffer_write(buffer, bytes, 2);
}

int paged_buffer_write_u32(PagedBuffer *buffer, uint32_t value)
{
    uint8_t bytes[4];
    put_le(bytes, value, 4);
    return paged_buffer_write(buffer, bytes, 4);
}

int paged_buffer_write_i32(PagedBuffer *buffer, int32_t value)
{
    return paged_buffer_write_u32(buffer, (uint32_t)value);
}

int paged_buffer_write_f32(PagedBuffer *buffer, float value)
{
    uint32_t bits;
    memcpy(&bits, &value, 4);
    return paged_buffer_write_u32(buffer, bits);
}

void paged_buffer_copy_out(const PagedBuffer *buffer, void *out)
{
    uint8_t *to = (uint8_t *)out;
    size_t left = buffer->size;
    for (uint32_t i = 0; left > 0; i++) {
        size_t chunk = left < PAGED_BUFFER_PAGE_SIZE ? left : PAGED_BUFFER_PAGE_SIZE;
        memcpy(to, buffer->pages[i], chunk);
        to += chunk;
        left -= chunk;
    }
}

uint8_t *paged_buffer_flatten(const PagedBuffer *buffer)
{
    uint8_t *out = (uint8_t *)malloc(buffer->size ? buffer->size : 1);
    if (out) paged_buffer_copy_out(buffer, out);
    return out;
}

int paged_buffer_write_file(const PagedBuffer *buffer, FILE *file)
{
    size_t left = buffer->size;
    for (uint32_t i = 0; left > 0; i++) {
        size_t chunk = left < PAGED_BUFFER_PAGE_SIZE ? left : PAGED_BUFFER_PAGE_SIZE;
        if (fwrite(buffer->pages[i], 1, chunk, file) != chunk) return 0;
        left -= chunk;
    }
    return 1;
}

void memory_reader_init(MemoryReader *reader, const void *data, size_t size)
{
    // An absent block reads as an empty one, whose zero-byte reads succeed like any other's.
    static const uint8_t empty = 0;
    reader->data = data ? (const uint8_t *)data : &empty;
    reader->size = data ? size : 0;
    reader->position = 0;
    reader->failed = 0;
}

size_t memory_reader_remaining(const MemoryReader *reader)
{
    return reader->failed ? 0 : reader->size - reader->position;
}

const uint8_t *memory_reader_take(MemoryReader *reader, size_t size)
{
    if (reader->failed || size > reader->size - reader->position) {
        reader->failed = 1;
        return nullptr;
    }
    const uint8_t *at = reader->data + reader->position;
    reader->position += size;
    return at;
}

int memory_reader_read(MemoryReader *reader, void *out, size_t size)
{
    const uint8_t *at = memory_reader_take(reader, size);
    if (!at) {
        memset(out, 0, size);
        return 0;
    }
    if (size) memcpy(out, at, size);
    return 1;
}

int memory_reader_read_u8(MemoryReader *reader, uint8_t *out) { return memory_reader_read(reader, out, 1); }

int memory_reader_read_u16(MemoryReader *reader, uint16_t *out)
{
    const uint8_t *at = memory_reader_take(reader, 2);
    *out = at ? (uint16_t)get_le(at, 2) : 0;
    return at != nullptr;
}

int memory_reader_read_u32(MemoryReader *reader, uint32_t *out)
{
    const uint8_t *at = memory_reader_take(reader, 4);
    *out = at ? (uint32_t)get_le(at, 4) : 0;
    return at != nullptr;
}

int memory_reader_read_i32(MemoryReader *reader, int32_t *out)
{
    uint32_t bits;
    int ok = memory_reader_read_u32(reader, &bits);
    *out = (int32_t)bits;
    return ok;
}

int memory_reader_read_f32(MemoryReader *reader, float *out)
{
    uint32_t bits;
    int ok = memory_reader_read_u32(reader, &bits);
    memcpy(out, &bits, 4);
    return ok;
}

int memory_reader_skip(MemoryReader *reader, size_t size) { return memory_reader_take(reader, size) != nullptr; }

int memory_reader_seek(MemoryReader *reader, size_t position)
{
    if (reader->failed || position > reader->size) {
        reader->failed = 1;
        return 0;
    }
    reader->position = position;
    return 1;
}
