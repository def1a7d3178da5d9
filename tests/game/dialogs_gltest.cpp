// The save dialog and a wrapped message drawn with OpenGL at 960 x 540, the input coming through
// the game's window procedure: the back buffer (kept as dialogs_gltest.png and
// dialogs_wrap_gltest.png) is probed for the box's shadow, the title's colour and the folder
// pictures; a click on a course, a typed name and SAUVER give the hole's path and its trace line.
#include "game/app.h"
#include "game/dialog.h"
#include "game/file_dialogs.h"
#include "game/files.h"
#include "game/screen.h"
#include "game/text_entry.h"
#include "game/text_widgets.h"
#include "game/ui.h"
#include "game/widgets.h"
#include "script/config_main.h"
#include "tests/game/game_gl_util.h"
#include "tools/data_writer.h"

#include <cstdlib>

namespace {

class DialogsGlTest : public GameGlTest {
protected:
    std::string saves;
    const char *trace_was = getenv("ZAVGOLF_TRACE");  // what the run set, put back at the end
    std::string trace_value = trace_was ? trace_was : "";

    void TearDown() override
    {
        for (char *&text : g_menu_texts) text = nullptr;
        GameGlTest::TearDown();
        g_ui_scale_x = g_ui_scale_y = 1.0f;
        g_save_dialog_mode = 0;
        memset(g_key_down, 0, sizeof g_key_down);
        g_mouse_left_down = g_key_printable = 0;
        if (trace_was)
            setenv("ZAVGOLF_TRACE", trace_value.c_str(), 1);
        else
            unsetenv("ZAVGOLF_TRACE");
    }

    void write_picture(const std::string &name, uint8_t r, uint8_t g, uint8_t b)
    {
        std::vector<uint8_t> pixels;
        for (int i = 0; i < 16 * 16; i++) pixels.insert(pixels.end(), {r, g, b, 255});
        std::filesystem::create_directories(std::filesystem::path(folders.run + "/" + name).parent_path());
        ImageData image = {pixels.data(), 16, 16, 1, 0};
        ASSERT_EQ(png_write_file((folders.run + "/" + name).c_str(), &image), 1);
    }

    void set_up_screen(void)
    {
        open(960, 540, app_window_proc);
        g_hwnd = window;
        render_set_mode(7, context, 67);  // 32-bit textures
        g_ui_scale_x = 960.0f / 1920.0f, g_ui_scale_y = 540.0f / 1080.0f;
        write_picture("data/gfx/panel.png", 160, 160, 160);
        write_picture("data/gfx/arrow.png", 255, 255, 255);
        write_picture("data/gfx/button.png", 255, 255, 255);
        write_picture("data/gfx/folder.png", 255, 160, 0);
        write_picture("data/gfx/folder_back.png", 0, 200, 80);
        ASSERT_TRUE(data_write_fonts(folders.run + "/data"));
        menu_load_pictures(context);
        ASSERT_GT(g_font_primary.line_height, 0);
        for (MenuText t : {MENU_SAUVER, MENU_RETOUR, MENU_CANTWRITE, MENU_ERR3})
            g_menu_texts[t] = const_cast<char *>(g_menu_text_keys[t]);
        saves = folders.temp / "Saves";
        for (const char *course : {"course1", "course2"}) std::filesystem::create_directories(saves + "/" + course);
        snprintf(g_saves_folder, sizeof g_saves_folder, "%s/", saves.c_str());
        ASSERT_NE(_getcwd(g_start_dir, sizeof g_start_dir), nullptr);
        pump();
    }

    // Whatever waits in the queue, through the window procedure.
    static void pump(void)
    {
        MSG msg;
        for (int i = 0; i < 64 && PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE); i++) app_pump_one_message();
    }
    static void move_to(int x, int y)
    {
        SetCursorPos(x, y);
        window_headless_push(WM_MOUSEMOVE, 0, LPARAM(x | (y << 16)));
        pump();
    }
    static void key(int vk)
    {
        window_headless_push(WM_KEYDOWN, WPARAM(vk), 0);
        pump();
    }

    // One frame: a grey background, then the dialog or the message.
    const char *frame(bool dialog, const char *png_name = nullptr)
    {
        const char *result = nullptr;
        EXPECT_TRUE(render_begin_frame(context));
        render_clear_frame(context);
        render_set_mode(1, context, 0);
        render_set_mode(6, context, 0);
        texture_bind(context, kSlotWhite);
        render_draw_2d_quad(context, 0, 0, float(width), float(height), 0, 0, 1, 1, 0.5f, 0.5f, 0.5f);
        if (dialog)
            result = ui_hole_save_dialog();
        else
            text_draw_wrapped(100.0f, 100.0f);
        render_end_frame(context);
        if (png_name) read_back_buffer(png_name);
        g_mouse_prev_x = g_mouse_x, g_mouse_prev_y = g_mouse_y;
        return result;
    }

    bool any_pixel(int x0, int y0, int x1, int y1, int r, int g, int b, int tolerance) const
    {
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++)
                if (gl_pixel_near(at(x, y), r, g, b, tolerance)) return true;
        return false;
    }
    // The rightmost pixel in rows y0..y1 that is not the grey background, or -1.
    int rightmost_ink(int y0, int y1) const
    {
        int right = -1;
        for (int y = y0; y < y1; y++)
            for (int x = 0; x < width; x++)
                if (!gl_pixel_near(at(x, y), 128, 128, 128, 40) && x > right) right = x;
        return right;
    }
};

TEST_F(DialogsGlTest, SaveDialogOverTwoCourses)
{
    ASSERT_NO_FATAL_FAILURE(set_up_screen());
    ui_course_open_dialog_init();
    g_save_dialog_mode = 1;
    move_to(900, 500);
    frame(true, "dialogs_gltest.png");

    const float sx = g_ui_scale_x, lh = float(g_font_primary.line_height);
    const int x0 = int(g_dialog_x), y0 = int(g_dialog_y), w = int(500 * sx), h = int(746 * sx);
    ASSERT_EQ(x0, 195);
    ASSERT_EQ(y0, 10);
    // The shadow, 6 pixels right of and below the box, halves the background.
    for (auto [x, y] : {std::pair{x0 + w + 3, y0 + h / 2}, {x0 + w / 2, y0 + h + 3}}) {
        SCOPED_TRACE(testing::Message() << x << "," << y);
        EXPECT_TRUE(gl_pixel_near(at(x, y), 64, 64, 64, 6));
        EXPECT_TRUE(gl_pixel_near(at(x + 40, y + 40), 128, 128, 128, 3));
    }
    // The title's top strokes in (0.1, 0.9, 1.0).
    EXPECT_TRUE(any_pixel(x0, y0, x0 + w, y0 + int(48 * sx), 25, 230, 255, 12));
    // Rows: ".." with the folder-back picture, both courses with the folder picture.
    ASSERT_EQ(g_file_count, 3);
    float side = 1.2f * lh * sx;
    for (int i = 0; i < 3; i++) {
        SCOPED_TRACE(i);
        int cx = x0 + 5 + int(side / 2), cy = int(ui_dialog_row_top(i) + side / 2);
        if (i == 0)
            EXPECT_TRUE(gl_pixel_near(at(cx, cy), 0, 200, 80, 4));
        else
            EXPECT_TRUE(gl_pixel_near(at(cx, cy), 255, 160, 0, 4));
    }

    // Into the first course, "hole3" typed, SAUVER.
    setenv("ZAVGOLF_TRACE", "1", 1);
    testing::internal::CaptureStdout();
    move_to(x0 + 100, int(ui_dialog_row_top(1) + side / 2));
    window_headless_push(WM_LBUTTONDOWN, 0, 0);
    pump();
    frame(true);
    char here[1024];
    ASSERT_NE(_getcwd(here, sizeof here), nullptr);
    EXPECT_NE(std::string(here).find("course1"), std::string::npos);
    Sleep(60);
    window_headless_push(WM_LBUTTONUP, 0, 0);
    pump();
    for (int vk : {'H', 'O', 'L', 'E', '3'}) {
        key(vk);
        frame(true);
    }
    EXPECT_STREQ(g_name_entry_text, "hole3");
    move_to(x0 + int(125 * sx), y0 + int(722 * sx));
    window_headless_push(WM_LBUTTONDOWN, 0, 0);
    pump();
    const char *path = frame(true);
    std::string out = testing::internal::GetCapturedStdout();
    ASSERT_NE(path, nullptr);
    std::string chosen = path;
    EXPECT_EQ(chosen.substr(chosen.size() - 17), "course1/hole3.qel");
    EXPECT_NE(out.find("trace dialog save " + chosen + "\n"), std::string::npos) << out;
    char native[4096];
    ASSERT_EQ(sys_native_path(path, native, sizeof native), 1);
    EXPECT_EQ(std::filesystem::weakly_canonical(native),
              std::filesystem::weakly_canonical(saves + "/course1/hole3.qel"));
    EXPECT_EQ(g_save_dialog_mode, 0);
}

TEST_F(DialogsGlTest, WrappedMessageInThreeBands)
{
    ASSERT_NO_FATAL_FAILURE(set_up_screen());
    // Words until the message takes a third line, which then holds the last word alone.
    const int32_t max_width = int32_t(960 * 0.8f - 100.0f);
    std::string text;
    do {
        text += text.empty() ? "golf" : " golf";
        snprintf(g_wrap_text, sizeof g_wrap_text, "%s", text.c_str());
    } while (text_wrap_lines(max_width, g_ui_scale_x * 2.0f / 3.0f) < 3 && text.size() < 900);
    frame(false, "dialogs_wrap_gltest.png");

    const float step = 0.5f * g_ui_scale_x * float(g_font_primary.line_height);
    const int half = int(step / 2);
    int rights[3];
    for (int i = 0; i < 3; i++) {
        int top = int(100 + step * i);
        rights[i] = rightmost_ink(top, top + half);
        SCOPED_TRACE(testing::Message() << "band " << i << " from " << top << ", ink to x " << rights[i]);
        EXPECT_GT(rights[i], 100);
    }
    EXPECT_GT(rights[0], 100 + max_width / 2);
    EXPECT_GT(rights[1], 100 + max_width / 2);
    EXPECT_LT(rights[2], 100 + max_width / 4);
    EXPECT_EQ(rightmost_ink(0, 99), -1);
    EXPECT_EQ(rightmost_ink(int(100 + step * 3.5f), height), -1);
}

}  // namespace
