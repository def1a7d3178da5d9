// The options screen (3) and the options panel of course play: sound effects, music and the sound
// output, each change saved at once.
#include "game/menu_options.h"

#include "game/files.h"
#include "game/menu_theme.h"
#include "game/menus.h"
#include "game/screen.h"
#include "game/sounds.h"
#include "game/widgets.h"
#include "script/config_main.h"

int32_t g_options_entry_theme = -1;
void (*g_options_theme_reload)(void) = menu_theme_reload;

namespace {

enum OptionButton { kEffects, kMusic, kOutput, kBack, kNone };

void toggle(int32_t *option)
{
    *option = *option == 1 ? 0 : 1;
    app_options_save();
}

// The three switches and the back button at their virtual ys, later winning where two overlap.
// A click on a switch acts here; kBack is left to the caller. The button clicked, or kNone.
OptionButton option_buttons(const float ys[4])
{
    const char *labels[4] = {
        menu_text(g_sound_effects_on == 1 ? MENU_SOUNDON : MENU_SOUNDOFF),
        menu_text(g_music_on == 1 ? MENU_MUSICON : MENU_MUSICOFF),
        menu_text(g_sound_card_on != 0 ? MENU_SOUNDCARD_ON : MENU_SOUNDCARD_OFF),
        menu_text(MENU_RETOUR),
    };
    int hovered = kNone;
    for (int i = 0; i < 4; i++)
        if (menu_text_button(labels[i], ys[i])) hovered = i;
    if (!menu_take_click(hovered != kNone)) return kNone;
    switch (hovered) {
    case kEffects: toggle(&g_sound_effects_on); break;
    // The main loop's per-frame fade silences or restores the music.
    case kMusic: toggle(&g_music_on); break;
    case kOutput: menu_sound_output_switch(); break;
    default: break;
    }
    return OptionButton(hovered);
}

}  // namespace

void menu_sound_output_switch(void)
{
    if (g_sound_card_on == 1) {
        g_sound_card_on = 0;
        app_sound_stop();
    } else {
        g_sound_card_on = 1;
        if (app_sound_start()) {
            int32_t track = g_music_track >= 0 && g_music_track <= 2 ? g_music_track : 0;
            app_music_select(g_music_game[track]);
        } else {
            g_sound_card_on = 0;
        }
    }
    app_trace("sound %s", g_sound_card_on == 1 ? "on" : "off");
    app_options_save();
}

void menu_options_screen(void)
{
    if (g_options_entry_theme < 0) g_options_entry_theme = g_theme_index;
    static const float ys[4] = {400.0f, 445.0f, 490.0f, 535.0f};
    if (option_buttons(ys) != kBack) return;
    g_screen_state = kScreenMainMenu;
    if (g_theme_index != g_options_entry_theme && g_options_theme_reload) g_options_theme_reload();
    g_options_entry_theme = -1;
}

int menu_ingame_options_screen(void)
{
    static const float ys[4] = {512.0f, 557.0f, 602.0f, 647.0f};
    return option_buttons(ys) == kBack ? 1 : 0;
}
