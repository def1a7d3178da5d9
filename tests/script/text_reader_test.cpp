// The text reader: packed files with lying sizes.
#include "codecs/codecs.h"
#include "platform/system.h"
#include "script/text_reader.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

class TextReaderTest : public ::testing::Test {
protected:
    TempDir temp;
    TestPathRestore restore;
    TextReader reader{};

    void SetUp() override { sys_path_reset(temp.path.c_str(), (temp / "user").c_str()); }
    void TearDown() override { text_reader_close(&reader); }

    void open(const std::string &bytes)
    {
        test_write_file(temp / "t.txt", bytes);
        text_reader_close(&reader);
        text_reader_open(&reader, "t.txt");
    }

    std::vector<std::string> lines(int max = 512)
    {
        std::vector<std::string> out;
        std::vector<char> buffer(size_t(max) + 1);
        while (!text_reader_at_end(&reader)) {
            buffer[0] = '\0';
            text_reader_gets(&reader, buffer.data(), max);
            out.push_back(buffer.data());
        }
        return out;
    }

    static std::string packed_file(const char *magic, const std::string &text, int32_t type)
    {
        PackedBlock block{};
        EXPECT_EQ(deflate_pack_block(&block, text.data(), uint32_t(text.size()), type), 1);
        std::string file(magic, 4);
        uint32_t sizes[2] = {uint32_t(text.size()), block.packed_size};
        file.append(reinterpret_cast<const char *>(sizes), 8);
        file.append(reinterpret_cast<const char *>(block.data), block.packed_size);
        free(block.data);
        return file;
    }
};

TEST_F(TextReaderTest, PackedFilesWithLyingSizesReadAsEmpty)
{
    std::string good = packed_file("zzz", "hello\r\n", PACKED_FILTER_NONE);
    std::string huge_raw = good;
    huge_raw[4] = huge_raw[5] = huge_raw[6] = huge_raw[7] = char(0xFF);
    open(huge_raw);
    EXPECT_TRUE(text_reader_at_end(&reader));

    std::string long_packed = good;
    long_packed[8] = char(0x7F);
    long_packed[11] = char(0x7F);
    open(long_packed);
    EXPECT_TRUE(text_reader_at_end(&reader));

    std::string short_raw = good;
    short_raw[4] = 2;  // the data inflates to more than announced
    open(short_raw);
    EXPECT_EQ(reader.size <= 2, true);

    std::string zero = packed_file("zzw", "", PACKED_FILTER_DELTA2);
    open(zero);
    EXPECT_TRUE(text_reader_at_end(&reader));
    open(std::string("zzz\0\1\0\0\0", 8));  // header cut short
    EXPECT_TRUE(text_reader_at_end(&reader));
}

}  // namespace
