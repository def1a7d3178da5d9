// The paged output stream and the bounded read cursor.
#include "geometry/stream.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> pattern(size_t size, uint32_t seed)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; i++) {
        seed = seed * 1664525u + 1013904223u;
        bytes[i] = (uint8_t)(seed >> 24);
    }
    return bytes;
}

std::vector<uint8_t> flatten(const PagedBuffer &buffer)
{
    uint8_t *flat = paged_buffer_flatten(&buffer);
    std::vector<uint8_t> out(flat, flat + buffer.size);
    free(flat);
    return out;
}

TEST(PagedBufferTest, ValuesAreLittleEndian)
{
    PagedBuffer buffer = {};
    paged_buffer_write_u8(&buffer, 0xAB);
    paged_buffer_write_u16(&buffer, 0x1234);
    paged_buffer_write_u32(&buffer, 0xDEADBEEF);
    paged_buffer_write_i32(&buffer, -2);
    paged_buffer_write_f32(&buffer, 1.0f);
    std::vector<uint8_t> expected = {0xAB, 0x34, 0x12, 0xEF, 0xBE, 0xAD, 0xDE, 0xFE,
                                     0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x80, 0x3F};
    EXPECT_EQ(flatten(buffer), expected);
    paged_buffer_free(&buffer);
}

TEST(MemoryReaderTest, ReadsValuesUpToTheExactEnd)
{
    const uint8_t block[] = {0xAB, 0x34, 0x12, 0xEF, 0xBE, 0xAD, 0xDE, 0xFE, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x80, 0x3F};
    MemoryReader reader;
    memory_reader_init(&reader, block, sizeof block);
    uint8_t u8;
    uint16_t u16;
    uint32_t u32;
    int32_t i32;
    float f32;
    EXPECT_EQ(memory_reader_read_u8(&reader, &u8), 1);
    EXPECT_EQ(memory_reader_read_u16(&reader, &u16), 1);
    EXPECT_EQ(memory_reader_read_u32(&reader, &u32), 1);
    EXPECT_EQ(memory_reader_read_i32(&reader, &i32), 1);
    EXPECT_EQ(memory_reader_read_f32(&reader, &f32), 1);
    EXPECT_EQ(u8, 0xAB);
    EXPECT_EQ(u16, 0x1234);
    EXPECT_EQ(u32, 0xDEADBEEFu);
    EXPECT_EQ(i32, -2);
    EXPECT_EQ(f32, 1.0f);
    EXPECT_EQ(memory_reader_remaining(&reader), 0u);
    EXPECT_EQ(reader.failed, 0);
}

TEST(MemoryReaderTest, ReadPastTheEndFailsZeroesAndStaysFailed)
{
    const uint8_t block[] = {1, 2, 3, 4, 5, 6};
    MemoryReader reader;
    memory_reader_init(&reader, block, sizeof block);
    uint32_t value = 77;
    ASSERT_EQ(memory_reader_read_u32(&reader, &value), 1);
    // Two bytes remain: a four-byte read must not take them.
    uint8_t out[4] = {9, 9, 9, 9};
    EXPECT_EQ(memory_reader_read(&reader, out, 4), 0);
    EXPECT_EQ(out[0] | out[1] | out[2] | out[3], 0);
    EXPECT_EQ(reader.failed, 1);
    // Once failed, even a read that would fit fails, and so do seeks.
    EXPECT_EQ(memory_reader_read_u16(&reader, (uint16_t *)&value), 0);
    EXPECT_EQ(memory_reader_seek(&reader, 0), 0);
    EXPECT_EQ(memory_reader_take(&reader, 0), nullptr);
    EXPECT_EQ(memory_reader_remaining(&reader), 0u);
}

TEST(MemoryReaderTest, TakeSkipAndSeekStayInsideTheBlock)
{
    std::vector<uint8_t> block = pattern(100, 5);
    MemoryReader reader;
    memory_reader_init(&reader, block.data(), block.size());
    EXPECT_EQ(memory_reader_take(&reader, 10), block.data());
    EXPECT_EQ(memory_reader_skip(&reader, 90), 1);
    EXPECT_EQ(memory_reader_take(&reader, 0), block.data() + 100);
    EXPECT_EQ(memory_reader_seek(&reader, 100), 1);
    EXPECT_EQ(memory_reader_seek(&reader, 40), 1);
    EXPECT_EQ(memory_reader_take(&reader, 1), block.data() + 40);
    // Sizes that would wrap a position must fail, not wrap.
    EXPECT_EQ(memory_reader_skip(&reader, SIZE_MAX), 0);
    EXPECT_EQ(reader.failed, 1);

    memory_reader_init(&reader, block.data(), block.size());
    EXPECT_EQ(memory_reader_seek(&reader, 101), 0);

    memory_reader_init(&reader, nullptr, 50);
    EXPECT_EQ(memory_reader_remaining(&reader), 0u);
    uint8_t none[1];
    EXPECT_EQ(memory_reader_read(&reader, none, 0), 1);  // an empty read of an empty block succeeds
    EXPECT_EQ(reader.failed, 0);
    EXPECT_EQ(memory_reader_skip(&reader, 1), 0);
}

} // namespace
