// The listed strokes' text (ZAVGOLF_STROKES): what reads, what is refused with its reason, and the
// list taken in order.
#include "course/course.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Refused {
    const char *text;
    const char *reason;  // a part of the reason given
};

}  // namespace

TEST(PlayStrokes, ReadsStrokesInOrderWithBlanksAndALastSemicolon)
{
    PlayStrokeList list;
    char error[160] = "x";
    ASSERT_EQ(play_strokes_parse(" 180,-20,5.59999895 ; 3.40781522 , -20 , 1.2;\n-90.5,-65,27;", &list, error,
                                 sizeof error),
              1);
    EXPECT_STREQ(error, "");
    ASSERT_EQ(list.count, 3);
    EXPECT_EQ(list.next, 0);
    // "%.9g" of a float reads back as that float.
    EXPECT_EQ(list.strokes[0].power, 5.59999895f);
    EXPECT_EQ(list.strokes[1].yaw, 3.40781522f);
    EXPECT_EQ(list.strokes[1].pitch, -20.0f);
    EXPECT_EQ(list.strokes[2].yaw, -90.5f);
    EXPECT_EQ(list.strokes[2].pitch, -65.0f);
    EXPECT_EQ(list.strokes[2].power, 27.0f);

    PlayListedStroke taken;
    for (int k = 0; k < 3; k++) {
        ASSERT_TRUE(play_strokes_take(&list, &taken));
        EXPECT_EQ(taken.yaw, list.strokes[k].yaw);
    }
    EXPECT_FALSE(play_strokes_take(&list, &taken));
    EXPECT_EQ(list.next, 3);
}

TEST(PlayStrokes, AnEmptyOrBlankTextListsNothing)
{
    for (const char *text : {"", "  \t", static_cast<const char *>(nullptr)}) {
        SCOPED_TRACE(text ? text : "(null)");
        PlayStrokeList list;
        list.count = 5;
        EXPECT_EQ(play_strokes_parse(text, &list, nullptr, 0), 1);
        EXPECT_EQ(list.count, 0);
        PlayListedStroke taken;
        EXPECT_FALSE(play_strokes_take(&list, &taken));
    }
}

TEST(PlayStrokes, BadTextIsRefusedWholeWithItsReason)
{
    const Refused cases[] = {
        {"180,-20", "stroke 1: a ',' must follow its pitch"},
        {"180,-20,5,", "stroke 1: a ';' must follow its power"},
        {"180;-20;5", "a ',' must follow its yaw"},
        {"180,-20,5;;", "stroke 2: its yaw is not a number"},
        {"180,-20,5 6", "a ';' must follow its power"},
        {"abc,-20,5", "its yaw is not a number"},
        {"180,,5", "its pitch is not a number"},
        {"180,-20,nan", "its power is not a number"},
        {"inf,-20,5", "its yaw is not a number"},
        {"180,-20,0x10", "its power is not a number"},
        {"180,-20,1e40", "its power is not a number"},
        {"361,-20,5", "yaw 361 is outside"},
        {"180,-19.5,5", "pitch -19.5 is outside"},
        {"180,-66,5", "pitch -66 is outside"},
        {"180,-20,0", "power 0 is outside"},
        {"180,-20,-1", "power -1 is outside"},
        {"180,-20,27.5", "power 27.5 is outside"},
        {"1,-20,1;2,-20,2;3,-30,99", "stroke 3: power 99"},
    };
    for (const Refused &c : cases) {
        SCOPED_TRACE(c.text);
        PlayStrokeList list;
        char error[160] = "";
        EXPECT_EQ(play_strokes_parse(c.text, &list, error, sizeof error), 0);
        EXPECT_NE(std::string(error).find(c.reason), std::string::npos) << error;
        EXPECT_EQ(list.count, 0) << "a refused text lists none of its strokes";
    }
}

TEST(PlayStrokes, MoreStrokesThanTheListHoldsAreRefused)
{
    std::string text;
    for (int k = 0; k <= kPlayListedStrokesMax; k++) text += "10,-20,1;";
    PlayStrokeList list;
    char error[160] = "";
    EXPECT_EQ(play_strokes_parse(text.c_str(), &list, error, sizeof error), 0);
    EXPECT_NE(std::string(error).find("more than 1024"), std::string::npos) << error;
    // Exactly as many as it holds read.
    text.resize(text.size() - 9);
    EXPECT_EQ(play_strokes_parse(text.c_str(), &list, error, sizeof error), 1);
    EXPECT_EQ(list.count, kPlayListedStrokesMax);
}

TEST(PlayStrokes, TheGameReadsTheVariableOnceAndKeepsItsPlace)
{
    setenv("ZAVGOLF_STROKES", "10,-20,1;20,-30,2", 1);
    play_listed_strokes_reset();
    PlayListedStroke taken;
    ASSERT_TRUE(play_strokes_take(play_listed_strokes(), &taken));
    EXPECT_EQ(taken.yaw, 10.0f);
    setenv("ZAVGOLF_STROKES", "99,-20,1", 1);  // read already: the list goes on where it was
    ASSERT_TRUE(play_strokes_take(play_listed_strokes(), &taken));
    EXPECT_EQ(taken.yaw, 20.0f);
    EXPECT_FALSE(play_strokes_take(play_listed_strokes(), &taken));

    setenv("ZAVGOLF_STROKES", "10,-20", 1);  // refused: the player plays
    play_listed_strokes_reset();
    EXPECT_EQ(play_listed_strokes()->count, 0);
    unsetenv("ZAVGOLF_STROKES");
    play_listed_strokes_reset();
    EXPECT_EQ(play_listed_strokes()->count, 0);
}
