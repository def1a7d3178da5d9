// Script text utilities: the contract other subsystems rely on, edge cases first.
#include "shader/shader_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Every piece a cursor reader gives until it returns NULL.
template <typename Reader>
std::vector<std::string> read_all(const char *text, Reader reader)
{
    std::vector<std::string> pieces;
    int position = 0;
    while (char *piece = reader(text, &position)) {
        pieces.push_back(piece);
        if (pieces.size() > 100) break;
    }
    return pieces;
}

using Pieces = std::vector<std::string>;

TEST(ShaderText, TopLevelCommaAndSwizzleDot)
{
    EXPECT_EQ(str_find_top_level_comma("max(a,b),c"), 8);
    EXPECT_EQ(str_find_top_level_comma("f(a,b)"), -1);
    EXPECT_EQ(str_find_top_level_comma(""), -1);

    EXPECT_EQ(shader_find_swizzle_dot("c[4].x"), 4);
    EXPECT_EQ(shader_find_swizzle_dot("iPos.xyz"), 4);
    EXPECT_EQ(shader_find_swizzle_dot("c[a.x].y"), 6);
    EXPECT_EQ(shader_find_swizzle_dot("o."), -1);
    EXPECT_EQ(shader_find_swizzle_dot("i.x"), -1); // only from index 2 on
    EXPECT_EQ(shader_find_swizzle_dot("r0"), -1);
    EXPECT_EQ(shader_find_swizzle_dot(""), -1);
}

TEST(ShaderText, InPlaceChanges)
{
    char text[] = "Cull ccw_9{z}";
    str_to_upper(text);
    EXPECT_STREQ(text, "CULL CCW_9{Z}");

    char blanks[] = " a \t+\r\n b ";
    str_remove_blanks(blanks);
    EXPECT_STREQ(blanks, "a+b");

    // No length limit: a long statement keeps every character.
    std::string spaced;
    for (int i = 0; i < 1500; i++) spaced += "x ";
    str_remove_blanks(spaced.data());
    EXPECT_EQ(strlen(spaced.c_str()), 1500u);

    char out[16];
    str_copy_substring(3, "abcdef", 2, out);
    EXPECT_STREQ(out, "cde");
    str_copy_substring(0, "abcdef", 2, out);
    EXPECT_STREQ(out, "");
    str_copy_substring(-4, "abcdef", 2, out);
    EXPECT_STREQ(out, "");
}

TEST(ShaderText, ItemAndArgumentReaders)
{
    EXPECT_EQ(read_all("a=b;c=d;", str_next_semicolon_item), (Pieces{"a=b", "c=d"}));
    EXPECT_EQ(read_all(";x", str_next_semicolon_item), (Pieces{"", "x"}));

    auto until_colon = [](const char *text, int *position) { return str_read_until_char(':', text, position); };
    EXPECT_EQ(read_all("k:v:", until_colon), (Pieces{"k", "v"}));

    EXPECT_EQ(read_all("f(a,b),c", str_next_argument), (Pieces{"f(a,b)", "c"}));
    EXPECT_EQ(read_all("g(h(1,2),3),x,y", str_next_argument), (Pieces{"g(h(1,2),3)", "x", "y"}));
    // Unbalanced: the argument runs to the end; a stray ")" lets the next "," split.
    EXPECT_EQ(read_all("f(a,b", str_next_argument), (Pieces{"f(a,b"}));
    EXPECT_EQ(read_all("a),b", str_next_argument), (Pieces{"a)", "b"}));
}

TEST(ShaderText, LongPiecesAreCutButFullyConsumed)
{
    std::string text = std::string(3000, 'w') + " next";
    int position = 0;
    char *word = str_next_word(text.c_str(), &position);
    EXPECT_EQ(strlen(word), 1023u);
    EXPECT_STREQ(str_next_word(text.c_str(), &position), "next");

    std::string line = std::string(2000, 'l') + "\nz";
    position = 0;
    EXPECT_EQ(strlen(str_next_line(line.c_str(), &position)), 1023u);
    EXPECT_STREQ(str_next_line(line.c_str(), &position), "z");

    std::string inner = "(" + std::string(5000, 'i') + ")";
    EXPECT_EQ(strlen(str_extract_parenthesised(inner.c_str())), 4095u);
}

TEST(ShaderText, Extractors)
{
    EXPECT_STREQ(str_extract_parenthesised("if(max(a,b)>c)x"), "max(a,b)>c");
    EXPECT_EQ(str_extract_parenthesised("abc"), nullptr);
    EXPECT_EQ(str_extract_parenthesised("f(a(b)"), nullptr);
    EXPECT_STREQ(str_extract_bracketed("c[a[1]+2].x"), "a[1]+2");
    EXPECT_EQ(str_extract_bracketed("c[1"), nullptr);
    EXPECT_STREQ(str_extract_quoted("error 'name' here"), "name");
    EXPECT_STREQ(str_extract_quoted("x 'open"), "open");
    EXPECT_EQ(str_extract_quoted("none"), nullptr);
}

TEST(ShaderText, RelativeAddress)
{
    char out[64];
    int index = -5;
    shader_format_relative_address(out, &index, "c[12]");
    EXPECT_STREQ(out, "c[");
    EXPECT_EQ(index, 12);
    shader_format_relative_address(out, &index, "c[a0]");
    EXPECT_STREQ(out, "c[A0.x+");
    EXPECT_EQ(index, 0);
    shader_format_relative_address(out, &index, "PALETTE");
    EXPECT_STREQ(out, "PALETTE[");
    EXPECT_EQ(index, 0);
    index = 7;
    shader_format_relative_address(out, &index, "M[]");
    EXPECT_STREQ(out, "M[");
    EXPECT_EQ(index, 7);
}

} // namespace
