// The logo intro. Until it lands, the intro is over at once.
#include "game/intro.h"
#include "game/screen.h"

void intro_load(void) { app_trace("intro start"); }

bool intro_frame(void) { return true; }

void intro_free(void) { app_trace("intro end"); }
