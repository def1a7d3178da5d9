// Fuzz target of the packed-block unpacker and the raw inflater. Input: the filter type (one byte),
// the raw size (four bytes, little-endian), then the packed data.
#include "codecs/codecs.h"
#include "geometry/stream.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    MemoryReader reader;
    memory_reader_init(&reader, data, size);
    uint8_t type;
    PackedBlock block = {};
    memory_reader_read_u8(&reader, &type);
    memory_reader_read_u32(&reader, &block.raw_size);
    if (reader.failed) return 0;
    block.type = type;
    block.packed_size = (uint32_t)memory_reader_remaining(&reader);
    // A copy of exactly the packed size, so that a read past it is reported.
    block.data = (uint8_t *)malloc(block.packed_size ? block.packed_size : 1);
    memcpy(block.data, memory_reader_take(&reader, block.packed_size), block.packed_size);

    uint8_t *raw = inflate_unpack_block(&block);
    if (raw) {
        // Every byte must be there and written; and what came out packs and unpacks to itself.
        uint32_t checked = block.raw_size;
        volatile uint8_t sum = 0;
        for (uint32_t i = 0; i < checked; i++) sum = sum + raw[i];
        PackedBlock again;
        if (checked <= (1u << 18) && deflate_pack_block(&again, raw, checked, block.type)) {
            uint8_t *back = inflate_unpack_block(&again);
            if (!back || memcmp(back, raw, checked) != 0) abort();
            free(back);
            free(again.data);
        }
        free(raw);
    }

    // The bare decoder into a buffer of exactly the size asked.
    if (block.raw_size <= (1u << 20)) {
        uint8_t *out = (uint8_t *)malloc(block.raw_size ? block.raw_size : 1);
        g_inflate_output_size = block.raw_size;
        inflate_decode_raw(block.data, block.packed_size, out);
        free(out);
    }
    free(block.data);
    return 0;
}
