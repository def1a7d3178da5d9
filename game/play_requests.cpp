// The play screen's request globals (see play_requests.h).
#include "game/play_requests.h"

int32_t options_open = 0;
int32_t leave_requested = 0;
int32_t restart_requested = 0;
