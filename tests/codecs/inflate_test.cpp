// Raw Deflate, the stride-2 delta filter and packed blocks.
#include "codecs/codecs.h"
#include "geometry/stream.h"
#include "tests/codecs/codecs_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> unpack(const PackedBlock &block)
{
    uint8_t *raw = inflate_unpack_block(&block);
    if (!raw) return {0xDE, 0xAD};  // never a valid result of the blocks below
    std::vector<uint8_t> out(raw, raw + block.raw_size);
    free(raw);
    return out;
}

// Text-like bytes: compressible, with structure at stride 2 as the filter expects.
std::vector<uint8_t> text_bytes(size_t size)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; i++) bytes[i] = (uint8_t)("ZAV golf: par 3, 12 holes\r\n"[i % 27] + (i / 270) % 3);
    return bytes;
}

TEST(PackedBlockTest, PackThenUnpackGivesTheBytesBackForEverySize)
{
    for (int32_t type : {PACKED_FILTER_NONE, PACKED_FILTER_DELTA2})
        for (size_t size : {0, 1, 2, 3, 4, 5, 255, 4097, 300001}) {
            for (const std::vector<uint8_t> &data : {test_random_bytes(size, (uint32_t)size), text_bytes(size)}) {
                PackedBlock block;
                ASSERT_EQ(deflate_pack_block(&block, data.data(), (uint32_t)size, type), 1);
                EXPECT_EQ(block.type, type);
                EXPECT_EQ(block.raw_size, size);
                EXPECT_GT(block.packed_size, 0u);
                EXPECT_EQ(unpack(block), data) << "type " << type << " size " << size;
                EXPECT_EQ(g_inflate_node_count, 0u);
                free(block.data);
            }
        }
}

// Pins the stored layout: the delta plane of the even bytes first, and with an odd size the even
// plane holds the extra byte.
TEST(PackedBlockTest, DeltaFilterStoresEvenPlaneFirstWithTheExtraByte)
{
    const uint8_t raw[] = {10, 20, 13, 25, 16};
    PackedBlock block;
    ASSERT_EQ(deflate_pack_block(&block, raw, 5, PACKED_FILTER_DELTA2), 1);
    block.type = PACKED_FILTER_NONE;  // read back the filtered bytes as stored
    std::vector<uint8_t> stored = {10, 3, 3, 20, 5};
    EXPECT_EQ(unpack(block), stored);

    // And a block made by hand in that layout unfilters to the original, wrapping modulo 256.
    const uint8_t filtered[] = {200, 100, 255, 0, 1, 255};  // even plane 200, 100, 255; odd 0, 1, 255
    PackedBlock by_hand;
    ASSERT_EQ(deflate_pack_block(&by_hand, filtered, 6, PACKED_FILTER_NONE), 1);
    by_hand.type = PACKED_FILTER_DELTA2;
    std::vector<uint8_t> expected = {200, 0, 44, 1, 43, 0};
    EXPECT_EQ(unpack(by_hand), expected);
    free(block.data);
    free(by_hand.data);
}

TEST(PackedBlockTest, PagedBufferPacksLikeTheFlatBlock)
{
    std::vector<uint8_t> data = text_bytes(3 * PAGED_BUFFER_PAGE_SIZE + 17);
    PagedBuffer buffer = {};
    paged_buffer_write(&buffer, data.data(), data.size());
    for (int32_t type : {PACKED_FILTER_NONE, PACKED_FILTER_DELTA2}) {
        PackedBlock block;
        ASSERT_EQ(deflate_pack_paged_buffer(&block, &buffer, type), 1);
        EXPECT_EQ(unpack(block), data);
        free(block.data);
    }
    PagedBuffer empty = {};
    PackedBlock block;
    ASSERT_EQ(deflate_pack_paged_buffer(&block, &empty, PACKED_FILTER_NONE), 1);
    EXPECT_EQ(unpack(block), std::vector<uint8_t>());
    free(block.data);
    paged_buffer_free(&buffer);
}

TEST(InflateTest, DecodesStoredAndFixedBlocksMadeElsewhere)
{
    // A stored block holding "hello", and "a" and "hello hello hello hello" in fixed-code blocks.
    const uint8_t stored[] = {0x01, 0x05, 0x00, 0xFA, 0xFF, 'h', 'e', 'l', 'l', 'o'};
    const uint8_t fixed_a[] = {0x4B, 0x04, 0x00};
    const uint8_t fixed_hello[] = {0xCB, 0x48, 0xCD, 0xC9, 0xC9, 0x57, 0xC8, 0x40, 0x27, 0x01};
    struct Case {
        const uint8_t *src;
        uint32_t size;
        std::string text;
    } cases[] = {{stored, sizeof stored, "hello"},
                 {fixed_a, sizeof fixed_a, "a"},
                 {fixed_hello, sizeof fixed_hello, "hello hello hello hello"}};
    for (const Case &c : cases) {
        // The destination is exactly the size asked: a write past it is a sanitizer report.
        std::vector<uint8_t> dst(c.text.size());
        g_inflate_output_size = (uint32_t)c.text.size();
        EXPECT_EQ(inflate_decode_raw(c.src, c.size, dst.data()), 1);
        EXPECT_EQ(std::string(dst.begin(), dst.end()), c.text);
    }
}

TEST(InflateTest, StopsAtTheOutputSizeAndFailsWhenTheDataEndsFirst)
{
    const uint8_t fixed_hello[] = {0xCB, 0x48, 0xCD, 0xC9, 0xC9, 0x57, 0xC8, 0x40, 0x27, 0x01};
    std::vector<uint8_t> dst(5);
    g_inflate_output_size = 5;
    EXPECT_EQ(inflate_decode_raw(fixed_hello, sizeof fixed_hello, dst.data()), 1);
    EXPECT_EQ(std::string(dst.begin(), dst.end()), "hello");

    // Asking for more than the stream holds fails, and leaves no stale bytes behind.
    std::vector<uint8_t> big(40, 0x55);
    g_inflate_output_size = 40;
    EXPECT_EQ(inflate_decode_raw(fixed_hello, sizeof fixed_hello, big.data()), 0);
    EXPECT_EQ(big, std::vector<uint8_t>(40, 0));

    // A zero output size succeeds without touching anything.
    g_inflate_output_size = 0;
    EXPECT_EQ(inflate_decode_raw(fixed_hello, sizeof fixed_hello, nullptr), 1);
    EXPECT_EQ(inflate_decode_raw(nullptr, 0, nullptr), 1);
}

TEST(InflateTest, TruncatedCorruptedOrOverclaimingBlocksFailCleanly)
{
    std::vector<uint8_t> data = test_random_bytes(5000, 9);
    std::vector<uint8_t> text = text_bytes(5000);
    data.insert(data.end(), text.begin(), text.end());
    PackedBlock block;
    ASSERT_EQ(deflate_pack_block(&block, data.data(), (uint32_t)data.size(), PACKED_FILTER_DELTA2), 1);

    // Every cut either fails or (when only the final end code is lost) still gives the right bytes.
    for (uint32_t cut = 0; cut < block.packed_size; cut += cut < 64 ? 1 : 97) {
        std::vector<uint8_t> part(block.data, block.data + cut);
        PackedBlock short_block = {block.type, cut, block.raw_size, part.data()};
        uint8_t *raw = inflate_unpack_block(&short_block);
        if (raw) {
            EXPECT_EQ(std::vector<uint8_t>(raw, raw + data.size()), data) << "cut " << cut;
        }
        free(raw);
    }
    PackedBlock half = block;
    half.packed_size /= 2;
    EXPECT_EQ(inflate_unpack_block(&half), nullptr);

    // Flipped bytes: a failure or some output, never a sanitizer report.
    for (uint32_t at = 0; at < block.packed_size; at += 13) {
        std::vector<uint8_t> bad(block.data, block.data + block.packed_size);
        bad[at] ^= 0x5A;
        PackedBlock bad_block = {block.type, block.packed_size, block.raw_size, bad.data()};
        free(inflate_unpack_block(&bad_block));
    }

    // Claims no Deflate data could keep, and unknown filters, fail before any allocation of the size.
    PackedBlock huge = {PACKED_FILTER_NONE, 10, 0xFFFFFFFFu, block.data};
    EXPECT_EQ(inflate_unpack_block(&huge), nullptr);
    PackedBlock unknown = block;
    unknown.type = 2;
    EXPECT_EQ(inflate_unpack_block(&unknown), nullptr);
    PackedBlock missing = {PACKED_FILTER_NONE, 10, 10, nullptr};
    EXPECT_EQ(inflate_unpack_block(&missing), nullptr);
    EXPECT_EQ(inflate_unpack_block(nullptr), nullptr);
    PackedBlock refused;
    EXPECT_EQ(deflate_pack_block(&refused, data.data(), 10, 7), 0);
    EXPECT_EQ(refused.data, nullptr);
    free(block.data);
}

TEST(InflateTest, Crc32IsZlibsAndContinues)
{
    const char *digits = "123456789";
    EXPECT_EQ(codecs_crc32(0, digits, 9), 0xCBF43926u);
    EXPECT_EQ(codecs_crc32(codecs_crc32(0, digits, 4), digits + 4, 5), 0xCBF43926u);
    EXPECT_EQ(codecs_crc32(0, nullptr, 0), 0u);
}

} // namespace
