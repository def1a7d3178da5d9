// Fuzz target of the PNG reader; the input's size chooses the alpha mode. The system's libpng has no
// coverage instrumentation, so the target repairs each chunk's CRC before decoding: mutations then
// reach the decoder instead of stopping at the first checksum.
#include "codecs/codecs.h"
#include "geometry/stream.h"

#include <cstdlib>
#include <cstring>

namespace {

void repair_chunk_crcs(uint8_t *data, size_t size)
{
    MemoryReader reader;
    memory_reader_init(&reader, data, size);
    memory_reader_skip(&reader, 8);
    for (;;) {
        const uint8_t *length_bytes = memory_reader_take(&reader, 4);
        if (!length_bytes) return;
        uint32_t length = (uint32_t)length_bytes[0] << 24 | length_bytes[1] << 16 | length_bytes[2] << 8 | length_bytes[3];
        size_t start = reader.position;
        if (!memory_reader_skip(&reader, (size_t)length + 4) || memory_reader_remaining(&reader) < 4) return;
        uint32_t crc = codecs_crc32(0, data + start, (size_t)length + 4);
        uint8_t *out = data + reader.position;
        for (int i = 0; i < 4; i++) out[i] = (uint8_t)(crc >> (24 - 8 * i));
        memory_reader_skip(&reader, 4);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    uint8_t *copy = (uint8_t *)malloc(size ? size : 1);
    if (size) memcpy(copy, data, size);
    repair_chunk_crcs(copy, size);
    ImageData image = {};
    if (png_load_memory(copy, size, &image, (int)(size & 1))) {
        // Every byte of the picture must be there and written.
        volatile uint8_t sum = 0;
        for (size_t i = 0; i < (size_t)image.width * image.height * 4; i++) sum = sum + image.pixels[i];
        free(image.pixels);
    }
    free(copy);
    return 0;
}
