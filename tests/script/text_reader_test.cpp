// The text reader: plain and packed files, line and word reading on their edge cases.
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

TEST_F(TextReaderTest, OnlyCarriageReturnEndsALine)
{
    open("a\r\nb\r\n");
    EXPECT_EQ(lines(), (std::vector<std::string>{"a", "b"}));
    open("a\rb");
    EXPECT_EQ(lines(), (std::vector<std::string>{"a", "b"}));
    open("a\nb");
    EXPECT_EQ(lines(), (std::vector<std::string>{"a\nb"}));
    open("a\r\n\n\nb");
    EXPECT_EQ(lines(), (std::vector<std::string>{"a", "b"}));
    open("a\r\r\nb");
    EXPECT_EQ(lines(), (std::vector<std::string>{"a", "", "b"}));
}

TEST_F(TextReaderTest, LongLinesAreCutAndTheRestSkipped)
{
    open(std::string(512, 'x') + "\r\nnext\r\n");
    std::vector<std::string> got = lines(512);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], std::string(511, 'x'));
    EXPECT_EQ(got[1], "next");
}

TEST_F(TextReaderTest, ReadingAtTheEndLeavesDestAndCountsTheLine)
{
    open("");
    EXPECT_TRUE(text_reader_at_end(&reader));
    EXPECT_EQ(reader.size, 0u);
    EXPECT_EQ(reader.data[0], '\n');
    char dest[8] = "keep";
    text_reader_gets(&reader, dest, sizeof dest);
    EXPECT_STREQ(dest, "keep");
    EXPECT_EQ(reader.line, 1);
    config_read_line(&reader, dest, sizeof dest);
    EXPECT_STREQ(dest, "keep");
}

TEST_F(TextReaderTest, MissingFileReadsAsEmpty)
{
    text_reader_open(&reader, "no/such/file.txt");
    EXPECT_EQ(reader.mode, 2);
    EXPECT_TRUE(text_reader_at_end(&reader));
}

TEST_F(TextReaderTest, WordsConsumeTheirDelimiterAndCountSkippedReturns)
{
    open("  KEY  {");
    char word[16];
    config_read_line(&reader, word, sizeof word);
    EXPECT_STREQ(word, "KEY");
    EXPECT_EQ(reader.data[reader.position - 1], ' ');
    config_read_line(&reader, word, sizeof word);
    EXPECT_STREQ(word, "{");

    open("a\r\n\r\nb");
    config_read_line(&reader, word, sizeof word);
    config_read_line(&reader, word, sizeof word);
    EXPECT_STREQ(word, "b");
    EXPECT_EQ(reader.line, 1);
}

TEST_F(TextReaderTest, OverlongWordsAreCutButConsumedWhole)
{
    open(std::string(600, 'w') + " next");
    char word[512];
    config_read_line(&reader, word, sizeof word);
    EXPECT_EQ(strlen(word), 511u);
    config_read_line(&reader, word, sizeof word);
    EXPECT_STREQ(word, "next");
}

TEST_F(TextReaderTest, PlainFileThatOnlyLooksPacked)
{
    open(std::string("zzzX\r\nline", 10));
    EXPECT_EQ(lines(), (std::vector<std::string>{"zzzX", "line"}));
}

TEST_F(TextReaderTest, PackedFilesReadAsTheirText)
{
    std::string text = "FIRST line\r\nsecond\r\n";
    for (int i = 0; i < 50; i++) text += "filler " + std::to_string(i) + "\r\n";
    open(text);
    std::vector<std::string> plain = lines();
    open(packed_file("zzz", text, PACKED_FILTER_NONE));
    EXPECT_EQ(lines(), plain);
    open(packed_file("zzw", text, PACKED_FILTER_DELTA2));
    EXPECT_EQ(lines(), plain);
    EXPECT_EQ(reader.data[reader.size], '\n');
}

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
