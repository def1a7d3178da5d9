// Screen state 888: a course set played from its first hole to the score update. The set's holes
// are listed; each gets the score card with its preview and PAR, its music, its opening (lit copy
// and plants' shadows) with the card as the progress frame, then each player's turn on it; after
// the last hole the final card waits for the players and their records are updated.
#include "course/play_screen_local.h"

#include "codecs/codecs.h"
#include "course/editor.h"
#include "course/hole.h"
#include "game/app.h"
#include "game/course_sets.h"
#include "game/files.h"
#include "game/menus.h"
#include "game/screen.h"
#include "game/sounds.h"
#include "geometry/bsp.h"
#include "platform/system.h"
#include "render/render_draw.h"
#include "render/texture.h"
#include "scene/scene.h"
#include "sound/music.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr size_t kPlayPathMax = 1024 + FILE_NAME_MAX + 8;

// Set while a hole opens when its lighting reported progress (the reader's reports carry a text).
bool g_hole_lit_now;

void opening_progress(const char *text, float fraction)
{
    if (!text) g_hole_lit_now = true;
    play_draw_score_card(text, fraction);
}

bool is_separator(char c) { return c == '/' || c == '\\'; }

// The set folder's last part, without its trailing separator.
void read_set_name(char *out, size_t size)
{
    char folder[sizeof g_course_set_folder];
    snprintf(folder, sizeof folder, "%s", g_course_set_folder);
    size_t length = strlen(folder);
    while (length > 0 && is_separator(folder[length - 1])) folder[--length] = '\0';
    size_t start = length;
    while (start > 0 && !is_separator(folder[start - 1])) start--;
    snprintf(out, size, "%s", folder + start);
}

// The preview "<base>.png" (or .jp2, .j2k), else the shared "no preview" picture, into its slot.
void load_preview(RenderContext *c, const char *base)
{
    ImageData image = {};
    if (!image_load_by_base_name(base, &image, 0) || !image.pixels)
        image_load_by_base_name("data/gfx/no_preview.png", &image, 0);
    render_set_mode(7, c, 16);
    if (image.pixels) {
        texture_create_from_pixels(c, 0, kPlayPreviewSlot, image.width, image.height, image.pixels, image.width,
                                   image.height);
    } else {
        // Neither picture: a dark square, not the last hole's preview.
        static const uint8_t dark[4 * 4 * 4] = {};
        texture_create_from_pixels(c, 0, kPlayPreviewSlot, 4, 4, dark, 4, 4);
    }
    render_set_mode(7, c, 15);
    free(image.pixels);
}

void select_hole_music(int32_t hole_index)
{
    const bool music = g_sound_card_on && g_music_on;
    if (music) music_set_fade_mode(3);
    app_music_select(g_music_game[hole_index % 3]);
    if (music) {
        Sleep(100);  // the fade-out's time; without music there is nothing to wait for
        music_set_fade_mode(2);
    }
}

// What opening the hole made: the plants' shadows, the world and the lightmap atlas.
void release_hole(RenderContext *c)
{
    hole_free_shadows();
    world_release_and_reset(&g_hole_world);
    lightmap_atlas_free(c);
}

void restart_clock()
{
    app_frame_clock_start();
    g_frame_factor = 1.0f;
}

// Each player's turn on the opened hole; true when one of them left the course.
bool play_hole(PlayRun *run, int32_t hole)
{
    PlayState *s = &run->state;
    bool left = false;
    s->par = g_hole_par_table[hole];
    for (int32_t player = 0; player < s->player_count && !g_quit; player++) {
        s->player = player;
        run->turn_hole = hole;
        if (!play_setup_hole_collision(s)) break;
        restart_clock();
        // The turn starts here: clicks made before (on the score card, while the hole loaded or
        // the last turn ended) are no strokes of it. A press still held comes up later to no charge.
        if (app_drop_left_button()) app_trace("turn press dropped");
        play_run_turn(run);
        if (s->hole_done == 2) left = true;
        play_teardown_hole(s);
        if (g_sound_card_on && g_music_on) music_set_fade_mode(1);
    }
    return left;
}

// The listed holes in order until the list ends, a file cannot be read, a player leaves the
// course or a quit comes. True when the course was left.
bool play_holes(PlayRun *run, RenderContext *c)
{
    PlayState *s = &run->state;
    bool left = false;
    s->hole_index = 0;
    while (s->hole_index < run->hole_count && !left && !g_quit) {
        const int32_t hole = s->hole_index;
        if (g_sound_card_on) music_set_fade_mode(g_music_on ? 4 : 3);
        char path[kPlayPathMax];
        snprintf(path, sizeof path, "%s%s", g_course_set_folder, g_file_names[hole]);
        FILE *file = sys_fopen(path, "rb");
        if (!file) break;  // taken as the end of the list
        fclose(file);

        char base[kPlayPathMax];
        snprintf(base, sizeof base, "%s", path);
        editor_strip_extension(base);  // a dot in a folder's name stays
        load_preview(c, base);
        char text_path[kPlayPathMax + 8];
        snprintf(text_path, sizeof text_path, "%s.txt", base);
        g_hole_par = 5;
        app_read_hole_description(text_path);
        g_hole_par_table[hole] = g_hole_par;
        select_hole_music(hole);
        play_draw_score_card(nullptr, 0.0f);
        app_trace("score card %d", hole + 1);

        char name[FILE_NAME_MAX];
        snprintf(name, sizeof name, "%s", g_file_names[hole]);
        editor_strip_extension(name);
        g_menu_world.load_progress = nullptr;
        g_hole_world.load_progress = opening_progress;
        g_hole_lit_now = false;
        const int opened = hole_open(name, run->set_name, g_course_set_is_personal);
        g_hole_world.load_progress = nullptr;
        play_draw_score_card(nullptr, 1.0f);
        if (opened) app_trace("hole open %s/%s %s", run->set_name, name, g_hole_lit_now ? "lit" : "copy");
        render_clear_effect_render_list(c);

        // A hole that cannot be read, or has no block or start, is passed without play.
        if (!opened || !play_hole_is_playable(&g_hole_world) || s->player_count == 0) {
            s->hole_index += 1;
            release_hole(c);
            continue;
        }
        left = play_hole(run, hole);
        release_hole(c);
        if (g_sound_card_on) {
            Sleep(500);
            music_set_fade_mode(3);
        }
    }
    return left;
}

// The final card, the players' answer, and their records updated unless Escape skipped them. A
// quit on the card scores first, then ends the game.
void final_card()
{
    app_trace("final card");
    play_draw_final_card();
    const PlayCardAnswer answer = play_wait_on_final_card();
    if (answer != kPlayCardSkip) play_score_course();
    if (answer == kPlayCardQuit) g_quit = 1;
}

}  // namespace

void course_play_screen(void)
{
    app_trace("course play %s", g_course_set_folder);
    play_listed_strokes();  // the test switch read (and traced) before the first hole
    RenderContext *c = &g_render_context;
    PlayRun *run = new (std::nothrow) PlayRun();
    if (!run || !play_ball_create(&run->state.ball)) {
        render_log_line("course play: no memory for the ball");
        delete run;
        g_screen_state = kScreenMainMenu;
        return;
    }
    PlayState *s = &run->state;
    g_face_bsp_split = 0.5f;
    g_face_bsp_builder = 1;
    read_set_name(run->set_name, sizeof run->set_name);
    s->player_count = play_player_count();
    for (int32_t i = 0; i < kPlayMaxHoles; i++) g_hole_strokes_p1[i] = g_hole_strokes_p2[i] = g_hole_par_table[i] = -1;
    char pattern[sizeof g_course_set_folder + 8];
    snprintf(pattern, sizeof pattern, "%s*.qel", g_course_set_folder);
    ui_file_list_fill(pattern);
    run->hole_count = play_card_columns();  // at most 128 holes are played, stored and scored
    music_set_fade_step(0.025f);

    const bool left = play_holes(run, c);
    if (!left && !g_quit) final_card();

    course_decal_release_storage();
    texture_release_slot(&c->main_textures, kPlayPreviewSlot);
    if (g_sound_card_on) {
        if (g_music_on) music_set_fade_mode(1);
        Sleep(500);
        music_set_fade_mode(3);
    }
    g_screen_state = kScreenMainMenu;
    app_music_select(g_music_menu);
    if (g_sound_card_on && g_music_on) {
        Sleep(100);
        music_set_fade_mode(2);
    }
    g_current_block = -1;
    play_ball_free(&s->ball);
    delete run;
}
