// The editor's text widgets on the headless device at 1920 x 1080 (one virtual unit is one pixel),
// measured with a stand-in font whose every character is 10 pixels wide.
#include "game/app.h"
#include "game/text_entry.h"
#include "game/text_widgets.h"
#include "game/ui.h"
#include "platform/gpu/headless/gpu_headless.h"
#include "render/render.h"
#include "render/render_draw.h"
#include "tests/game/fake_font.h"
#include "tests/game/headless_device.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

namespace {

class EditorWidgetTest : public ::testing::Test {
protected:
    RenderContext *context = &g_render_context;

    void SetUp() override
    {
        ASSERT_TRUE(test_headless_device_open(context, 1920, 1080));
        g_ui_scale_x = g_ui_scale_y = 1.0f;
        g_mouse_left_down = g_key_printable = 0;
        g_caret_blink = 0;
        g_edit_par = 4;
    }
    void TearDown() override
    {
        render_shutdown_device(context);
        render_context_destroy(context);
        gpu_headless_reset();
        g_mouse_left_down = g_key_printable = 0;
        g_wrap_text[0] = '\0';
    }

    static void wrap(const std::string &text) { snprintf(g_wrap_text, sizeof g_wrap_text, "%s", text.c_str()); }

    // The primitives the device drew in one frame of `widget` with the cursor at (x, y).
    int primitives(const std::function<void()> &widget, int32_t x, int32_t y)
    {
        g_mouse_x = x, g_mouse_y = y;
        gpu_headless_clear_draws();
        EXPECT_TRUE(render_begin_frame(context));
        widget();
        render_end_frame(context);
        int n = 0;
        for (int i = 0; i < gpu_headless_draw_count(); i++) n += int(gpu_headless_draw(i)->primitive_count);
        return n;
    }
};

TEST_F(EditorWidgetTest, ElevenLongLinesWrapToTen)
{
    FakePrimaryFont font(10, 20);
    std::string text;
    for (int i = 0; i < 12; i++) text += "aaaaaaa" + std::to_string(i % 10) + " ";
    wrap(text);
    // Each word with its space is 90 wide; the next word's first letter makes 100 > 95.
    ASSERT_EQ(text_wrap_lines(95, 1.0f), 10);
    EXPECT_STREQ(g_wrap_lines[0], "aaaaaaa0 ");
    EXPECT_STREQ(g_wrap_lines[9], "aaaaaaa9 ");
    // At half the scale two words fit (the third word's letter makes 190 x 0.5 > 90).
    ASSERT_EQ(text_wrap_lines(90, 0.5f), 6);
    EXPECT_STREQ(g_wrap_lines[0], "aaaaaaa0 aaaaaaa1 ");
    EXPECT_STREQ(g_wrap_lines[6], "");
}

TEST_F(EditorWidgetTest, TextWithoutSpacesIsNeverCut)
{
    FakePrimaryFont font(10, 20);
    const struct {
        size_t length;
        size_t kept;
    } cases[] = {{40, 40}, {300, 300}, {1000, 511}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.length);
        wrap(std::string(c.length, 'x'));
        ASSERT_EQ(text_wrap_lines(50, 1.0f), 1);
        EXPECT_EQ(strlen(g_wrap_lines[0]), c.kept);
        EXPECT_STREQ(g_wrap_lines[1], "");
    }
}

TEST_F(EditorWidgetTest, ALineAfterACutLosesOneLeadingSpace)
{
    FakePrimaryFont font(10, 20);
    const struct {
        const char *text;
        const char *second;
    } cases[] = {
        {"aaaaaaaa  bbbbbbbb", "bbbbbbbb"},
        {"aaaaaaaa   bbbbbbbb", " bbbbbbbb"},
        {"aaaaaaaa bbbbbbbb", "bbbbbbbb"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        wrap(c.text);
        ASSERT_EQ(text_wrap_lines(50, 1.0f), 2);
        EXPECT_STREQ(g_wrap_lines[0], "aaaaaaaa ");
        EXPECT_STREQ(g_wrap_lines[1], c.second);
    }
    wrap(" lead");
    ASSERT_EQ(text_wrap_lines(500, 1.0f), 1);
    EXPECT_STREQ(g_wrap_lines[0], "lead");
}

TEST_F(EditorWidgetTest, SliderEdgesSetParOneAndNine)
{
    FakePrimaryFont font(10, 20);
    // The bar: 192 wide from x, its top at y + 10, 8 high; the hit box's bounds are truncated.
    const struct {
        float x;
        int32_t mx, my, button;
        int32_t par;
    } cases[] = {
        {100.0f, 101, 514, 1, 1}, {100.0f, 291, 514, 1, 9}, {100.7f, 101, 514, 1, 1},
        {100.7f, 291, 514, 1, 9}, {100.0f, 196, 514, 1, 5}, {100.0f, 100, 514, 1, 4},
        {100.0f, 292, 514, 1, 4}, {100.0f, 200, 510, 1, 4}, {100.0f, 200, 514, 0, 4},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << " " << c.mx << "," << c.my << " button " << c.button);
        g_edit_par = 4;
        g_mouse_left_down = c.button;
        primitives([&] { ui_par_slider(c.x, 500.0f); }, c.mx, c.my);
        EXPECT_EQ(g_edit_par, c.par);
        EXPECT_EQ(g_mouse_left_down, c.button);  // left for dragging
    }
}

TEST_F(EditorWidgetTest, FieldTakesKeysOnlyWhileTheCursorIsInside)
{
    FakePrimaryFont font(10, 20);
    snprintf(g_edit_text, sizeof g_edit_text, "Oaks");
    g_edit_length = 4;
    // The box: twenty W (200) at half scale, so (100, 300) to (200, 310).
    for (auto [x, y] : {std::pair{250, 305}, {100, 305}, {150, 310}}) {
        SCOPED_TRACE(testing::Message() << x << "," << y);
        g_key_char = 'x', g_key_printable = 1;
        primitives([] { EXPECT_EQ(ui_text_entry_field(100.0f, 300.0f), 0); }, x, y);
        EXPECT_STREQ(g_edit_text, "Oaks");
        EXPECT_EQ(g_key_printable, 1);  // left for other consumers
    }
    g_key_printable = 0;
    g_upper_case = 0;
    for (const char *c = " \"Ten\" long name"; *c; c++) {
        g_key_char = *c, g_key_printable = 1;
        primitives([] { EXPECT_EQ(ui_text_entry_field(100.0f, 300.0f), 1); }, 150, 305);
        EXPECT_EQ(g_key_printable, 0);
    }
    EXPECT_STREQ(g_edit_text, "Oaks \"ten\" lon");  // 14 characters at most
    EXPECT_EQ(g_edit_length, 14);
}

TEST_F(EditorWidgetTest, CaretShowsOnCountsSixToTen)
{
    FakePrimaryFont font(10, 20, context);
    snprintf(g_edit_text, sizeof g_edit_text, "ab");
    g_edit_length = 2;
    auto field = [] { ui_text_entry_field(100.0f, 300.0f); };
    g_caret_blink = 0;
    const int plain = primitives(field, 150, 305);
    ASSERT_GT(plain, 0);
    for (int32_t blink = 0; blink <= 10; blink++) {
        SCOPED_TRACE(blink);
        g_caret_blink = blink;
        EXPECT_EQ(primitives(field, 150, 305), blink > 5 ? plain * 3 / 2 : plain);
        EXPECT_EQ(primitives(field, 250, 305), plain);  // no caret outside
    }
}

}  // namespace
