// The menu screens: one handler per screen state, called once per frame by the main loop, and the
// leave functions the loop runs whenever their screen is left (by a handler, Escape or play).
#pragma once

#include <cstdint>

void menu_main_screen(void);          // 0
void menu_play_screen(void);          // 1
void menu_course_set_screen(void);    // 2
void menu_options_screen(void);       // 3
void menu_credits_screen(void);       // 4
void menu_high_scores_screen(void);   // 555
void menu_course_set_leave(void);
void menu_high_scores_leave(void);

// The options panel of course play: 1 on the frame its back button is clicked.
int menu_ingame_options_screen(void);

// The chosen course set, "data/parcours/<set>/", read by course play.
extern char g_course_set_folder[1024];
