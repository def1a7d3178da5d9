// The logo intro shown once at start-up, before the presentation pages. Main thread.
#pragma once

// Builds the intro's scene and resources.
void intro_load(void);
// One frame; true once the intro is over (or a quit was seen: g_quit is then set).
bool intro_frame(void);
// Releases everything intro_load made.
void intro_free(void);
