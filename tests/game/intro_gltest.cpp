// The logo intro drawn with OpenGL: once the turn is over the logo lights the middle of the picture
// in its three parts' colours while the corners stay dark, and the fade ends in black.
#include "game/intro.h"
#include "game/intro_local.h"
#include "tests/game/game_gl_util.h"
#include "tools/data_pictures.h"

namespace {

class IntroGlTest : public GameGlTest {
protected:
    double luminance(int x0, int y0, int x1, int y1) const
    {
        double sum = 0;
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++) sum += 0.299 * at(x, y)[0] + 0.587 * at(x, y)[1] + 0.114 * at(x, y)[2];
        return sum / double((x1 - x0) * (y1 - y0));
    }

    // Pixels of the middle third where the test holds.
    int count_middle(bool (*test)(const uint8_t *)) const
    {
        int n = 0;
        for (int y = height / 3; y < 2 * height / 3; y++)
            for (int x = width / 3; x < 2 * width / 3; x++) n += test(at(x, y));
        return n;
    }
};

TEST_F(IntroGlTest, TheSettledLogoLightsTheMiddleAndTheFadeEndsInBlack)
{
    open(960, 540);
    ASSERT_TRUE(data_write_pictures(folders.run + "/data"));
    uint8_t white[16 * 16 * 4];
    memset(white, 255, sizeof white);
    texture_create_square_from_pixels(context, kSlotWhite, white, 16, 0);
    sys_clock_hold(true);
    srand(3);
    intro_load();
    // Steps of 2: the turn takes 72 frames.
    int frames = 0;
    while (g_intro_timeline.turn > 0.0f && frames++ < 100) {
        sys_clock_advance_ms(68.0);
        ASSERT_FALSE(intro_frame());
    }
    read_back_buffer("intro_gltest_settled.png");
    double middle = luminance(320, 180, 640, 360);
    double corners = (luminance(0, 0, 48, 27) + luminance(912, 0, 960, 27) + luminance(0, 513, 48, 540) +
                      luminance(912, 513, 960, 540)) /
                     4.0;
    EXPECT_GE(middle, 3.0 * corners) << middle << " / " << corners;
    // The letters in gold, the ball in pale blue, the swoosh and flag in green.
    EXPECT_GT(count_middle([](const uint8_t *p) { return p[0] > p[2] + 60 && p[1] > p[2] + 20; }), 200);
    EXPECT_GT(count_middle([](const uint8_t *p) { return p[2] > p[0] + 20 && p[2] > 150; }), 100);
    EXPECT_GT(count_middle([](const uint8_t *p) { return p[1] > p[0] + 40 && p[1] > p[2] + 40; }), 100);

    while (frames++ < 200) {
        sys_clock_advance_ms(68.0);
        if (intro_frame()) break;
    }
    read_back_buffer("intro_gltest_faded.png");
    EXPECT_LT(luminance(0, 0, 960, 540), 1.0);
    intro_free();
    sys_clock_hold(false);
}

}  // namespace
