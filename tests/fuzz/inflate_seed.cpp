// Seed inputs of the inflate fuzz target: blocks packed by the engine's packer, and blocks of each
// Deflate kind made elsewhere.
#include "codecs/codecs.h"
#include "geometry/stream.h"
#include "tests/codecs/codecs_test_util.h"

#include <cstdio>
#include <string>

namespace {

int write_seed(const char *folder, const char *name, uint8_t type, uint32_t raw_size, const uint8_t *data,
               uint32_t size)
{
    PagedBuffer buffer = {};
    paged_buffer_write_u8(&buffer, type);
    paged_buffer_write_u32(&buffer, raw_size);
    paged_buffer_write(&buffer, data, size);
    std::string path = std::string(folder) + "/" + name;
    FILE *file = fopen(path.c_str(), "wb");
    int ok = file && paged_buffer_write_file(&buffer, file);
    if (file) ok = fclose(file) == 0 && ok;
    paged_buffer_free(&buffer);
    return ok;
}

int write_packed(const char *folder, const char *name, const std::vector<uint8_t> &raw, int32_t type)
{
    PackedBlock block;
    if (!deflate_pack_block(&block, raw.data(), (uint32_t)raw.size(), type)) return 0;
    int ok = write_seed(folder, name, (uint8_t)type, block.raw_size, block.data, block.packed_size);
    free(block.data);
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) return 2;
    const char *folder = argv[1];
    std::string text = "PARAMS\r\n{\r\n  DISTANCE 1.5\r\n  THEME:0 NAME \"Jardin\"\r\n}\r\n";
    std::vector<uint8_t> text_bytes(text.begin(), text.end());
    const uint8_t stored[] = {0x01, 0x05, 0x00, 0xFA, 0xFF, 'h', 'e', 'l', 'l', 'o'};
    const uint8_t fixed[] = {0xCB, 0x48, 0xCD, 0xC9, 0xC9, 0x57, 0xC8, 0x40, 0x27, 0x01};
    int ok = write_packed(folder, "text-none", text_bytes, PACKED_FILTER_NONE) &&
             write_packed(folder, "text-delta", text_bytes, PACKED_FILTER_DELTA2) &&
             write_packed(folder, "random-delta", test_random_bytes(301, 1), PACKED_FILTER_DELTA2) &&
             write_packed(folder, "picture-none", test_picture(16, 16, 2), PACKED_FILTER_NONE) &&
             write_packed(folder, "empty", {}, PACKED_FILTER_DELTA2) &&
             write_packed(folder, "one", {7}, PACKED_FILTER_DELTA2) &&
             write_seed(folder, "stored", 0, 5, stored, sizeof stored) &&
             write_seed(folder, "fixed", 0, 23, fixed, sizeof fixed);
    return ok ? 0 : 1;
}
