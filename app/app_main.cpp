// The game main: start-up in its fixed order (or the troubleshooting page when the graphics device
// cannot be made), the main loop until the player quits, and shut-down.
#include "app/app_loop.h"
#include "app/app_main.h"

#include "course/course.h"
#include "game/app.h"
#include "game/files.h"
#include "game/font.h"
#include "game/intro.h"
#include "game/menu_pictures.h"
#include "game/menu_theme.h"
#include "game/screen.h"
#include "game/sounds.h"
#include "game/ui.h"
#include "game/widgets.h"
#include "physics/physics.h"
#include "render/render_draw.h"
#include "scene/scene.h"
#include "script/config_main.h"
#include "script/texgen.h"
#include "sound/music.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char *const CONFIG_PATH = "data/txt/script.txt";

bool g_sound_started;

// Each of the six menu colours the configuration sets (0..100) replaces the built-in one.
void apply_menu_colours()
{
    const int32_t configured[6] = {g_menu_text_selected_r, g_menu_text_selected_g, g_menu_text_selected_b,
                                   g_menu_text_r,          g_menu_text_g,          g_menu_text_b};
    for (int i = 0; i < 6; i++)
        if (configured[i] >= 0) g_menu_color[i] = float(configured[i]) * 0.01f;
}

void load_player(int index, MenuText name)
{
    std::string file = std::string(menu_text(name)) + ".dat";
    player_record_load(&g_player_record[index], file.c_str());
}

// Names a problem that leaves the game without its texts: on stderr, in the log and on the
// troubleshooting page, which is opened; the game goes on as far as it can.
void report_problem(const char *what)
{
    char folder[1024] = "";
    if (!_getcwd(folder, sizeof folder)) folder[0] = '\0';
    char line[2048];
    snprintf(line, sizeof line, "%s: %s (working folder %s)", g_game_name, what, folder);
    fprintf(stderr, "%s\n", line);
    render_log_line(line);
    char adapter[128];
    app_display_adapter_name(adapter, sizeof adapter);
    if (app_write_troubleshooting_page(adapter, line))
        ShellExecuteA(g_hwnd, "open", g_troubleshooting_path, nullptr, nullptr, SW_SHOWNORMAL);
}

void set_view_distance(RenderContext *context)
{
    context->focal = float(g_setting_distance) * float(context->width) / 1920.0f;
}

// Shows the presentation pages PAGE1.. in order, up to the first that is not set. False when a
// quit came while they showed.
bool show_presentation_pages(RenderContext *context)
{
    PageSlot pages[4]{};
    int count = 0;
    while (count < 4 && g_presentation_pages[count] && g_presentation_pages[count][0]) {
        PageSlot &page = pages[count];
        page.level = 0.0f;
        page.step = 0.01f;
        page.source_type = kPageFromPicture;
        page.mode = kPageFade;
        ui_page_load(&g_page_tiles, &page, g_presentation_pages[count]);
        count++;
    }
    bool quit = false;
    for (int i = 0; i < count; i++) {
        if (!quit) app_trace("page %d start", i + 1);
        while (!quit) {
            g_wheel_delta = 0;
            if (!app_pump_one_message()) {
                quit = true;
                break;
            }
            if (!render_begin_frame(context)) continue;
            render_clear_frame(context);
            render_set_mode(1, context, 1);
            int finished = ui_page_draw(&g_page_tiles, &pages[i]);
            render_end_frame(context);
            render_present_frame(context);
            if (finished) break;
        }
        ui_page_free(&g_page_tiles, &pages[i]);
        if (!quit) app_trace("page %d end", i + 1);
    }
    return !quit;
}

void open_help_page()
{
    char name[1024];
    GetPrivateProfileStringA("Html", "FileName", ".\\html\\index.html", name, sizeof name, ".\\data\\txt\\html.ini");
    _chdir("html");
    ShellExecuteA(g_hwnd, "open", name, nullptr, nullptr, SW_SHOWNORMAL);
    _chdir("..");
}

const char *const TROUBLESHOOTING_HEAD =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\" "
    "\"http://www.w3.org/TR/html4/loose.dtd\">\n"
    "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">\n"
    "<title>TroubleShooting</title>\n</head>\n<body>\n"
    "<h1>Trouble Shooting /  R&eacute;solution des probl&egrave;mes</h1>\n";

// The graphics card's page: the adapter's name in both fields.
const char *const TROUBLESHOOTING_DEVICE =
    "<p>The program met a problem while initialising the graphics card. Your graphics driver or "
    "your graphics libraries may be out of date.</p>\n"
    "<p>Le programme a rencontr&eacute; un probl&egrave;me lors de l'initialisation de la carte "
    "graphique. Le pilote graphique ou les biblioth&egrave;ques graphiques ne sont peut-&ecirc;tre pas "
    "&agrave; jour.</p>\n"
    "<p>Your Computer Graphic Card : <i>%s</i></p>\n"
    "<p>Votre carte graphique : <i>%s</i></p>\n"
    "<ul>\n"
    "<li><a href=\"https://www.nvidia.com/Download/index.aspx\">NVIDIA drivers</a></li>\n"
    "<li><a href=\"https://www.amd.com/en/support\">AMD drivers</a></li>\n"
    "<li><a href=\"https://www.intel.com/content/www/us/en/support/detect.html\">Intel drivers</a></li>\n"
    "<li><a href=\"https://docs.mesa3d.org/download.html\">Mesa OpenGL libraries</a></li>\n"
    "</ul>\n"
    "<p>(D3DX9_43.LIB or D3DCompiler_43.LIB missing)</p>\n";

// After another problem, named above it: what to do about the game's files.
const char *const TROUBLESHOOTING_FILES =
    "<p>The program could not read the files it needs. Start it from its own folder, or install it "
    "again.</p>\n"
    "<p>Le programme n'a pas pu lire les fichiers dont il a besoin. Lancez-le depuis son dossier, ou "
    "installez-le &agrave; nouveau.</p>\n";

const char *const TROUBLESHOOTING_TAIL = "</body>\n</html>\n";

std::string html_escape(const char *text)
{
    std::string out;
    for (const char *c = text; c && *c; c++) {
        if (*c == '&') out += "&amp;";
        else if (*c == '<') out += "&lt;";
        else if (*c == '>') out += "&gt;";
        else if (*c == '"') out += "&quot;";
        else out += *c;
    }
    return out;
}

}  // namespace

void app_display_adapter_name(char *out, size_t size)
{
    if (!out || size == 0) return;
    out[0] = '\0';
    sys_display_adapter_name(out, size);
}

int app_write_troubleshooting_page(const char *adapter, const char *problem)
{
    std::string page = TROUBLESHOOTING_HEAD;
    if (problem) {
        // A problem other than the graphics card gets a page about it alone: the driver links
        // would send the player the wrong way.
        page += "<p><b>" + html_escape(problem) + "</b></p>\n" + TROUBLESHOOTING_FILES;
    } else {
        // The adapter's name in place of each "%s".
        const std::string name = html_escape(adapter);
        std::string body = TROUBLESHOOTING_DEVICE;
        for (size_t at = body.find("%s"); at != std::string::npos; at = body.find("%s", at + name.size()))
            body.replace(at, 2, name);
        page += body;
    }
    page += TROUBLESHOOTING_TAIL;
    return sys_write_whole(g_troubleshooting_path, page.data(), page.size()) ? 1 : 0;
}

bool app_startup(bool *device_made)
{
    *device_made = false;
    app_loop_reset();
    app_trace("loading");
    bool first_run = app_load_folder_settings();
    app_options_load();
    FILE *config = sys_fopen(CONFIG_PATH, "rb");
    bool config_readable = config != nullptr;
    if (config) fclose(config);
    config_read_file(g_main_config_table, CONFIG_PATH);
    apply_menu_colours();
    app_options_check_theme(config_theme_count());
    texgen_set_game_name(g_game_name);
    if (first_run) player_create_default_records();
    load_player(0, MENU_NOM0);
    load_player(1, MENU_NOM1);
    g_screen_state = kScreenMainMenu;
    g_quit_request = 0;

    RenderContext *context = &g_render_context;
    render_context_construct(context);
    render_set_mode(22, context, 1);
    render_set_mode(8, context, 0);
    render_set_mode(7, context, 15);
    render_set_mode(7, context, 67);  // 32-bit textures
    render_set_mode(28, context, g_option_vsync ? 68 : 69);
    context->window = g_hwnd;
    context->instance = g_instance;
    context->width = g_screen_width;
    context->height = g_screen_height;
    if (!render_create_device(context)) {
        char adapter[128];
        app_display_adapter_name(adapter, sizeof adapter);
        fprintf(stderr, "%s: the graphics device cannot be made; see %s\n", g_game_name, g_troubleshooting_path);
        render_log_line("app_game_main: the graphics device cannot be made");
        if (app_write_troubleshooting_page(adapter, nullptr))
            ShellExecuteA(g_hwnd, "open", g_troubleshooting_path, nullptr, nullptr, SW_SHOWNORMAL);
        render_shutdown_device(context);
        render_context_destroy(context);
        return false;
    }
    *device_made = true;
    texgen_set_output_size(context->width, context->height);
    render_set_full_viewport(context);
    context->display_scale = g_display_scale;
    render_set_mode(4, context, 1);
    g_ui_scale_x = float(context->width) * (1.0f / 1920.0f);
    g_ui_scale_y = float(context->height) * (1.0f / 1080.0f);
    set_view_distance(context);
    render_set_mode(32, context, 0);
    scene_set_option(&g_menu_world, 5);
    scene_set_option(&g_hole_world, 2);
    scene_set_option(&g_hole_world, 5);
    menu_load_pictures(context);
    if (!config_readable) report_problem("cannot read data/txt/script.txt");
    else if (g_font_primary.last_page < 0 && g_font_secondary.last_page < 0) report_problem("both fonts are empty");
    if (first_run) {
        g_option_hole_drawing = 1;
        app_options_save();
    }
    app_loading_frame();
    app_frame_clock_start();

    if (render_begin_frame(context)) {
        render_clear_frame(context);
        render_end_frame(context);
        render_present_frame(context);
    }
    intro_load();
    while (!g_quit && !intro_frame()) {
    }
    intro_free();
    if (g_quit || !show_presentation_pages(context)) {
        app_trace("quit");
        g_quit = 1;
        return true;
    }

    set_view_distance(context);
    context->near_plane = 0.5f;
    context->far_plane = 300.0f;
    g_quit = 0;
    menu_marker_frames_build();
    const int32_t modes[][2] = {{6, 0}, {3, 1}, {5, 1}, {5, 6}, {1, 1}, {4, 1}, {4, 5}};
    for (const auto &mode : modes) render_set_mode(mode[0], context, mode[1]);
    g_camera_eye[0] = g_camera_eye[2] = 0.0f;

    g_background_page = PageSlot{};
    g_background_page.level = 0.0f;
    g_background_page.step = 0.01f;
    g_background_page.source_type = kPageFromPicture;
    g_background_page.mode = kPageStill;  // drawn at the loop's level, never reading input
    ui_page_load(&g_page_tiles, &g_background_page, "data/gfx/background.png");
    menu_theme_load();

    if (g_sound_card_on == 1) {
        g_sound_started = app_sound_start() == 1;
        if (!g_sound_started) g_sound_card_on = 0;
        else if (g_music_on == 1) app_music_select(g_music_menu);
    }
    app_trace("sound %s", g_sound_card_on == 1 ? "on" : "off");

    for (float &v : g_camera_target) v = 0.0f;
    app_frame_clock_start();
    g_quit = 0;
    return true;
}

void app_shutdown(bool device_made)
{
    // Screens still shown let go of what they hold.
    int32_t shown[2] = {g_screen_state, g_fade_busy ? g_fade_previous_state : g_screen_state};
    g_screen_state = g_fade_previous_state = -1;
    g_fade_busy = 0;
    for (int i = 0; i < 2; i++) {
        if (i == 1 && shown[1] == shown[0]) break;
        for (const ScreenRow &row : g_screen_rows)
            if (row.state == shown[i] && row.leave) row.leave();
    }
    if (device_made) {
        RenderContext *context = &g_render_context;
        ui_page_free(&g_page_tiles, &g_background_page);
        menu_resources_free();
        menu_pictures_free();
        font_release_textures(&g_font_primary);
        font_release_textures(&g_font_secondary);
        texture_release_all(&context->main_textures);
        // The options screen may have switched the output on or off since start-up.
        if (g_sound_card_on == 1 || g_sound_started) app_sound_stop();
        g_sound_started = false;
        texture_release_all(&context->main_textures);
        render_shutdown_device(context);
        render_context_destroy(context);
    }
    // The worker pools end before static destruction.
    scene_shutdown();
    physics_shutdown();
    if (device_made) open_help_page();
}

void app_game_main(void)
{
    bool device_made = false;
    if (app_startup(&device_made) && !g_quit) {
        while (!g_quit) app_loop_pass();
        app_trace("quit");
    }
    app_shutdown(device_made);
    app_trace("exit");
}
