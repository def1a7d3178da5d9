// The play screen's head-up layer: the side buttons and what their clicks ask for, the options
// panel, the confirmation of a leave or restart, the player's texts, and the timers' and banner's
// centred texts.
#include "course/play_screen_local.h"

#include "game/app.h"
#include "game/files.h"
#include "game/font.h"
#include "game/menu_pictures.h"
#include "game/menus.h"
#include "game/play_requests.h"
#include "game/player_dialog.h"
#include "game/ui.h"
#include "game/widgets.h"
#include "script/config_main.h"

#include <cstdio>

namespace {

enum : int32_t { kButtonOptions = 1, kButtonNext = 2, kButtonRedo = 3, kButtonLeave = 666 };

constexpr float kAvatarSide = 56.0f;  // virtual units, left of the player's name

// "<text> <value>", with a sign before a value above zero when `signed_value`.
void line_with_value(char *out, size_t size, MenuText text, int32_t value, bool signed_value)
{
    snprintf(out, size, signed_value && value >= 0 ? "%s +%d" : "%s %d", menu_text(text), value);
}

// GAMEWIN or GAMELOST, the score against PAR and the PAR, centred.
void result_texts(const PlayState *state, bool lost)
{
    const MenuText verdict = lost ? MENU_GAMELOST : MENU_GAMEWIN;
    if (g_menu_texts[verdict]) menu_text_label(g_menu_texts[verdict], 512.0f);
    char line[1200];
    // Under PAR the score shows its own minus sign; at PAR and over it a plus.
    line_with_value(line, sizeof line, MENU_SCORE, state->strokes - state->par, state->strokes >= state->par);
    menu_text_label(line, 562.0f);
    line_with_value(line, sizeof line, MENU_EDPAR, state->par, false);
    menu_text_label(line, 612.0f);
}

}  // namespace

int32_t play_hud_side_buttons(const PlayState *state)
{
    if (options_open) {
        g_hud_top_text = g_menu_texts[MENU_MENU];
        ui_hud_top_line();
        g_hud_top_text = nullptr;
        return 0;
    }
    struct Row {
        MenuText text;
        int32_t code;
    };
    // NEXT is offered only once the strokes are past PAR + 4.
    static const Row with_next[4] = {{MENU_REDO, kButtonRedo},
                                     {MENU_NEXT, kButtonNext},
                                     {MENU_OPTIONS, kButtonOptions},
                                     {MENU_RETOUR, kButtonLeave}};
    static const Row without_next[3] = {
        {MENU_REDO, kButtonRedo}, {MENU_OPTIONS, kButtonOptions}, {MENU_RETOUR, kButtonLeave}};
    const bool next = state->strokes > state->par + 4;
    const Row *rows = next ? with_next : without_next;
    int32_t hovered = 0;
    for (int32_t k = 0; k < (next ? 4 : 3); k++)
        if (ui_hud_text_box(g_menu_texts[rows[k].text], 45.0f * float(k + 1))) hovered = rows[k].code;
    return hovered;
}

void play_hud_act(PlayState *state, int32_t hovered)
{
    if (!options_open && hovered && g_mouse_left_down && !state->replaying) {
        g_mouse_left_down = 0;
        const bool timers_idle = state->banner_timer == 0 && state->holeout_timer == 0 && state->end_timer == 0;
        switch (hovered) {
        case kButtonLeave:
            if (timers_idle) leave_requested = 1;
            break;
        case kButtonRedo:
            if (!leave_requested) restart_requested = 1;
            break;
        case kButtonNext: state->end_timer = 150; break;
        case kButtonOptions:
            if (timers_idle && !leave_requested && !restart_requested) options_open = 1;
            break;
        default: break;
        }
    }
    if (options_open && !leave_requested && !restart_requested && menu_ingame_options_screen()) options_open = 0;

    if (leave_requested) {
        if (ui_confirm_box() == 1) state->hole_done = 2;
    } else if (restart_requested) {
        if (ui_confirm_box() == 1) {
            list_clear(&state->replay_list);
            play_place_ball_at_start(state, state->start_index, state->ball.body);
            state->strokes = 0;
            // The hole starts over: a hole-out or NEXT countdown running would store its 0 strokes.
            state->holeout_timer = state->end_timer = 0;
            state->replaying = 0;
            state->power = -1.0f;
        }
    }
}

void play_hud_draw(const PlayState *state)
{
    const PlayerRecord &player = g_player_record[state->player == 1 ? 1 : 0];
    char name[sizeof player.name];
    snprintf(name, sizeof name, "%.*s", int(sizeof player.name - 1), player.name);
    ui_hud_text_right(name, 30.0f);
    // The avatar in its frame, left of the right-aligned name.
    const float sx = g_ui_scale_x, sy = g_ui_scale_y;
    const float name_left = 1920.0f * sx - 5.0f * sx - float(font_text_width(&g_font_primary, name)) * sx;
    const int32_t avatar = player.avatar >= 0 && player.avatar < 6 ? player.avatar : 0;
    ui_frame_draw(kSlotAvatarFirst + avatar, name_left - (kAvatarSide + 12.0f) * sx,
                  30.0f * sy - kAvatarSide * sx / 2.0f, kAvatarSide * sx, kAvatarSide * sx);

    char line[1200];
    line_with_value(line, sizeof line, MENU_SCORE2, state->strokes, false);
    ui_hud_text_right(line, 200.0f);
    line_with_value(line, sizeof line, MENU_EDPAR, state->par, false);
    ui_hud_text_right(line, 250.0f);
    if (state->replaying && state->ball.body && state->ball.body->asleep) {
        g_hud_message = g_menu_texts[MENU_REPLAY];
        ui_hud_message_line();
        g_hud_message = nullptr;
    }
}

void play_hud_banner_hole_line(const PlayState *state, char *out, size_t size)
{
    // Counted from 1, as the score card counts the holes.
    snprintf(out, size, "%s n\xb0%d", menu_text(MENU_NIV), state->hole_index + 1);
}

void play_hud_timers(PlayState *state, const char *set_name)
{
    play_run_timers(state);
    if (state->holeout_timer > 0 || state->replaying)
        result_texts(state, state->strokes > state->par);
    else if (state->end_timer > 0)
        result_texts(state, true);
    if (state->banner_timer > 0 && !leave_requested && !options_open) {
        menu_text_label(set_name, 562.0f);
        char line[1200];
        play_hud_banner_hole_line(state, line, sizeof line);
        menu_text_label(line, 612.0f);
        line_with_value(line, sizeof line, MENU_EDPAR, state->par, false);
        menu_text_label(line, 662.0f);
    }
}
