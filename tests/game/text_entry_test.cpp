// The two key filters of the name fields, fed key by key as the window procedure hands them over.
#include "game/app.h"
#include "game/text_entry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const int RETURN = 13, BACKSPACE = 8;
// Latin-1 letters arrive as signed characters.
const int E_ACUTE = -23, E_GRAVE = -24, C_CEDILLA = -25, A_GRAVE = -32;

enum Filter { WIDE, NAME };

struct Case {
    const char *name;
    Filter filter;
    std::string start;
    std::vector<int> keys;
    uint8_t upper_case;
    std::string text;  // after the keys
    int result;        // of the last key
};

class TextEntryTest : public ::testing::Test {
protected:
    void TearDown() override { g_upper_case = 0; }

    // The keys through one filter (the wide one with a maximum of 14) from `start`, over a buffer
    // whose unwritten bytes must not show: the text left and the last key's result.
    static std::pair<std::string, int> type(Filter filter, const std::string &start, const std::vector<int> &keys)
    {
        char wide[64];
        int32_t length = int32_t(start.size());
        char *text = filter == WIDE ? wide : g_name_entry_text;
        int32_t *n = filter == WIDE ? &length : &g_name_entry_length;
        memset(text, 'X', 64);
        memcpy(text, start.data(), start.size());
        *n = length;
        int result = -1;
        for (int key : keys)
            result = filter == WIDE ? ui_text_entry_key(key, n, text, 14, sizeof wide) : ui_name_entry_key(key);
        EXPECT_EQ(strlen(text), size_t(*n));
        return {text, result};
    }
};

TEST_F(TextEntryTest, KeysGiveTheirText)
{
    const std::string ten = "abcdefghij", fourteen = "abcdefghijklmn", title = "A title read from a file";
    const Case cases[] = {
        {"letter folded without caps or shift", NAME, "", {'A'}, 0, "a", 0},
        {"letter kept with shift", NAME, "", {'A'}, 1, "A", 0},
        {"wide filter folds too", WIDE, "", {'A', 'Z'}, 0, "az", 0},
        {"backspace removes the last", WIDE, "abc", {BACKSPACE}, 0, "ab", 0},
        {"backspace on empty", NAME, "", {BACKSPACE, BACKSPACE}, 0, "", 0},
        {"return on empty gives 0", WIDE, "", {RETURN}, 0, "", 0},
        {"return on empty name gives 0", NAME, "", {RETURN}, 0, "", 0},
        {"return confirms, text kept", NAME, "bob", {RETURN}, 0, "bob", 1},
        {"plus never added", WIDE, "", {'+', '='}, 0, "=", 0},
        {"plus never added to a name", NAME, "", {'+', '1'}, 0, "1", 0},
        {"full name ignores letters", NAME, ten, {'k', '7', E_ACUTE}, 0, ten, 0},
        {"full name still backspaces", NAME, ten, {'k', BACKSPACE, 'z'}, 0, "abcdefghiz", 0},
        {"full name still returns", NAME, ten, {'k', RETURN}, 0, ten, 1},
        {"full wide text ignores letters", WIDE, fourteen, {'o', RETURN}, 0, fourteen, 1},
        {"longer text kept by letters and Return", WIDE, title, {'o', '!', RETURN}, 1, title, 1},
        {"longer text shortened by Backspace only", WIDE, title, {BACKSPACE, 'x'}, 1, title.substr(0, 23), 0},
        {"accents as negative characters", NAME, "", {E_ACUTE, E_GRAVE, C_CEDILLA, A_GRAVE}, 0, "\xe9\xe8\xe7\xe0", 0},
        {"accents in the wide filter", WIDE, "", {E_ACUTE, A_GRAVE}, 0, "\xe9\xe0", 0},
        {"u umlaut dropped, e acute as 233 taken", NAME, "", {-4, 233}, 0, "\xe9", 0},
        {"wide punctuation", WIDE, "", {' ', '\'', '!', '?', ',', '"', '.', '(', ')', ':', ';', '/', '=', '-'}, 0,
         " '!?,\".():;/=-", 0},
        {"name refuses punctuation", NAME, "", {'/', ' ', '.', ':', '\\', '"', '*'}, 0, "", 0},
        {"other characters dropped", WIDE, "", {'\\', '*', '<', '|', '@', 0, 27, 9}, 0, "", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        g_upper_case = c.upper_case;
        auto [text, result] = type(c.filter, c.start, c.keys);
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(result, c.result);
    }
}

TEST_F(TextEntryTest, ALengthOutsideTheTextIsHeldWithinIt)
{
    char buffer[8] = "abcdefg";
    for (int32_t start : {40, -3}) {
        int32_t length = start;
        ui_text_entry_key('z', &length, buffer, 4, sizeof buffer);
        EXPECT_EQ(length, start < 0 ? 1 : 7);
        EXPECT_STREQ(buffer, start < 0 ? "z" : "abcdefg");
    }
}

}  // namespace
