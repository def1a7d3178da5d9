// The play screen's requests that the confirmation box answers, and whether its in-game options
// panel is open. Course play sets them; the confirmation box clears both requests when answered.
#pragma once

#include <cstdint>

extern int32_t options_open;
extern int32_t leave_requested;
extern int32_t restart_requested;
