// The engine's memory streams: a growable output stream of 4096-byte pages, and a bounded read
// cursor over a loaded block. Multi-byte values are little-endian in both, whatever the host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr size_t PAGED_BUFFER_PAGE_SIZE = 4096;

// Output stream. Zero-initialised (or `paged_buffer_init`) it is empty; pages are malloc'd as the
// writes need them and released by `paged_buffer_free`.
struct PagedBuffer {
    uint8_t **pages;
    uint32_t page_count;     // pages allocated
    uint32_t page_capacity;  // entries of `pages`
    size_t size;             // bytes written
    int failed;              // 1 once a write could not get memory; later writes are refused
};

void paged_buffer_init(PagedBuffer *buffer);
// Frees every page; the buffer is empty again.
void paged_buffer_free(PagedBuffer *buffer);
// Appends bytes: 1, or 0 when memory ran out (nothing of this write is kept, `failed` is set).
int paged_buffer_write(PagedBuffer *buffer, const void *data, size_t size);
int paged_buffer_write_u8(PagedBuffer *buffer, uint8_t value);
int paged_buffer_write_u16(PagedBuffer *buffer, uint16_t value);
int paged_buffer_write_u32(PagedBuffer *buffer, uint32_t value);
int paged_buffer_write_i32(PagedBuffer *buffer, int32_t value);
int paged_buffer_write_f32(PagedBuffer *buffer, float value);
// Copies the `size` bytes written so far to `out`.
void paged_buffer_copy_out(const PagedBuffer *buffer, void *out);
// A new malloc'd copy of the written bytes (at least one byte allocated), or null when memory runs
// out. The caller frees it.
uint8_t *paged_buffer_flatten(const PagedBuffer *buffer);
// Writes the written bytes to an open file: 1, or 0 when the file took fewer.
int paged_buffer_write_file(const PagedBuffer *buffer, FILE *file);

// Read cursor over a block the caller keeps alive. A read that would pass the end of the block
// reads nothing, zeroes its destination and sets `failed`; once failed, every later read fails the
// same way, so a loader may read a whole record and test `failed` once.
struct MemoryReader {
    const uint8_t *data;
    size_t size;
    size_t position;
    int failed;
};

void memory_reader_init(MemoryReader *reader, const void *data, size_t size);
// Copies `size` bytes to `out` and advances: 1, or 0 (out zeroed) when fewer remain.
int memory_reader_read(MemoryReader *reader, void *out, size_t size);
int memory_reader_read_u8(MemoryReader *reader, uint8_t *out);
int memory_reader_read_u16(MemoryReader *reader, uint16_t *out);
int memory_reader_read_u32(MemoryReader *reader, uint32_t *out);
int memory_reader_read_i32(MemoryReader *reader, int32_t *out);
int memory_reader_read_f32(MemoryReader *reader, float *out);
// A pointer to the next `size` bytes inside the block, advancing past them; null when fewer remain.
const uint8_t *memory_reader_take(MemoryReader *reader, size_t size);
// Advances by `size` bytes: 1, or 0 when fewer remain.
int memory_reader_skip(MemoryReader *reader, size_t size);
// Moves to an absolute position within the block (the end included): 1, or 0 beyond it.
int memory_reader_seek(MemoryReader *reader, size_t position);
size_t memory_reader_remaining(const MemoryReader *reader);
