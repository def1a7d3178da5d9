// Interface globals that every widget and text reads: the scale from the 1920 x 1080 virtual screen
// to the render size, and the cross-fade alphas of the main loop. Whole run; the game main sets them.
#pragma once

extern float g_ui_scale_x;  // render width / 1920, also the text scale
extern float g_ui_scale_y;  // render height / 1080
extern float g_ui_alpha;    // applied by widgets during a cross-fade
extern float g_text_alpha;  // applied by the text drawer on top of each font's own alpha
