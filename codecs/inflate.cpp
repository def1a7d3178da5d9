// Raw Deflate over zlib, the stride-2 delta filter, and packed blocks.
#include "codecs/codecs_local.h"
#include "geometry/stream.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>

uint32_t g_inflate_output_size;
uint32_t g_inflate_node_count;

namespace {

// Deflate turns one input bit into at most 129 output bytes (a one-bit length code for 258 bytes and
// a one-bit distance code), so a block claiming more than this is corrupt; refusing it early keeps a
// bad header from asking for a huge buffer.
constexpr uint64_t MAX_RATIO = 1032;

// Windows bits for raw Deflate: no zlib header, no Adler-32.
constexpr int RAW_WINDOW_BITS = -15;

int inflate_into(const uint8_t *src, uint32_t src_size, uint8_t *dst, uint32_t want)
{
    z_stream z;
    memset(&z, 0, sizeof z);
    if (inflateInit2(&z, RAW_WINDOW_BITS) != Z_OK) return 0;
    z.next_in = const_cast<Bytef *>(src);
    z.avail_in = src ? src_size : 0;
    z.next_out = dst;
    z.avail_out = want;
    int result = inflate(&z, Z_FINISH);
    inflateEnd(&z);
    // Full output is success even when the stream goes on: the decode stops at the size asked.
    return z.avail_out == 0 && (result == Z_STREAM_END || result == Z_OK || result == Z_BUF_ERROR);
}

void delta2_encode(const uint8_t *in, uint32_t size, uint8_t *out)
{
    uint32_t even = (size + 1) / 2;
    for (uint32_t i = 0; i < size; i++) {
        uint8_t delta = (uint8_t)(in[i] - (i >= 2 ? in[i - 2] : 0));
        out[(i & 1) ? even + i / 2 : i / 2] = delta;
    }
}

void delta2_decode(const uint8_t *in, uint32_t size, uint8_t *out)
{
    uint32_t even = (size + 1) / 2;
    for (uint32_t i = 0; i < size; i++) {
        uint8_t delta = (i & 1) ? in[even + i / 2] : in[i / 2];
        out[i] = (uint8_t)(delta + (i >= 2 ? out[i - 2] : 0));
    }
}

// Deflates `size` bytes handed out as consecutive parts of `part_size` bytes (the last one shorter)
// into the block.
int deflate_parts(PackedBlock *block, int32_t type, uint32_t size, const uint8_t *const *parts, size_t part_size)
{
    z_stream z;
    memset(&z, 0, sizeof z);
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, RAW_WINDOW_BITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return 0;
    uLong bound = deflateBound(&z, size);
    uint8_t *out = bound <= UINT32_MAX ? (uint8_t *)malloc(bound) : nullptr;
    if (!out) {
        deflateEnd(&z);
        return 0;
    }
    z.next_out = out;
    z.avail_out = (uInt)bound;
    int result = Z_OK;
    uint32_t left = size;
    for (size_t i = 0; result == Z_OK; i++) {
        uint32_t chunk = left < part_size ? left : (uint32_t)part_size;
        z.next_in = const_cast<Bytef *>(chunk ? parts[i] : nullptr);
        z.avail_in = chunk;
        left -= chunk;
        result = deflate(&z, left ? Z_NO_FLUSH : Z_FINISH);
        if (left == 0) break;
        if (z.avail_in != 0) result = Z_BUF_ERROR;
    }
    uint32_t packed = (uint32_t)z.total_out;
    deflateEnd(&z);
    if (result != Z_STREAM_END) {
        free(out);
        return 0;
    }
    uint8_t *shrunk = (uint8_t *)realloc(out, packed ? packed : 1);
    block->type = type;
    block->packed_size = packed;
    block->raw_size = size;
    block->data = shrunk ? shrunk : out;
    return 1;
}

bool known_type(int32_t type) { return type == PACKED_FILTER_NONE || type == PACKED_FILTER_DELTA2; }

} // namespace

int inflate_decode_raw(const uint8_t *src, uint32_t src_size, uint8_t *dst)
{
    uint32_t want = g_inflate_output_size;
    if (want == 0) return 1;
    if (!dst) return 0;
    if (!inflate_into(src, src_size, dst, want)) {
        memset(dst, 0, want);
        return 0;
    }
    return 1;
}

uint8_t *inflate_unpack_block(const PackedBlock *block)
{
    if (!block || !known_type(block->type) || (block->packed_size && !block->data)) return nullptr;
    if (block->raw_size > (uint64_t)block->packed_size * MAX_RATIO + MAX_RATIO) return nullptr;
    uint32_t size = block->raw_size;
    uint8_t *raw = (uint8_t *)malloc(size ? size : 1);
    if (!raw) return nullptr;
    g_inflate_output_size = size;
    g_inflate_node_count = 0;
    int ok = inflate_decode_raw(block->data, block->packed_size, raw);
    g_inflate_node_count = 0;
    if (!ok) {
        free(raw);
        return nullptr;
    }
    if (block->type == PACKED_FILTER_NONE) return raw;
    uint8_t *out = (uint8_t *)malloc(size ? size : 1);
    if (out) delta2_decode(raw, size, out);
    free(raw);
    return out;
}

int deflate_pack_block(PackedBlock *block, const void *data, uint32_t size, int32_t type)
{
    memset(block, 0, sizeof *block);
    if (!known_type(type) || (size && !data)) return 0;
    const uint8_t *source = (const uint8_t *)data;
    uint8_t *filtered = nullptr;
    if (type == PACKED_FILTER_DELTA2) {
        filtered = (uint8_t *)malloc(size ? size : 1);
        if (!filtered) return 0;
        delta2_encode(source, size, filtered);
        source = filtered;
    }
    int ok = deflate_parts(block, type, size, &source, size);
    free(filtered);
    return ok;
}

int deflate_pack_paged_buffer(PackedBlock *block, const PagedBuffer *buffer, int32_t type)
{
    memset(block, 0, sizeof *block);
    if (!buffer || buffer->size > UINT32_MAX) return 0;
    if (type != PACKED_FILTER_NONE) {
        // The filter's planes span the whole block: flatten first.
        uint8_t *flat = paged_buffer_flatten(buffer);
        if (!flat) return 0;
        int ok = deflate_pack_block(block, flat, (uint32_t)buffer->size, type);
        free(flat);
        return ok;
    }
    return deflate_parts(block, type, (uint32_t)buffer->size, buffer->pages, PAGED_BUFFER_PAGE_SIZE);
}

uint32_t codecs_crc32(uint32_t crc, const void *data, size_t size)
{
    const Bytef *bytes = (const Bytef *)data;
    while (size > 0) {
        uInt chunk = size > 0x40000000u ? 0x40000000u : (uInt)size;
        crc = (uint32_t)crc32(crc, bytes, chunk);
        bytes += chunk;
        size -= chunk;
    }
    return crc;
}

uint32_t codecs_crc32_combine(uint32_t first, uint32_t second, size_t second_size)
{
    return (uint32_t)crc32_combine64(first, second, (z_off64_t)second_size);
}
