// Shared by the course-set screen's two files (the frame and the preview loader); nothing else.
#pragma once

#include "game/course_sets.h"

// Loads set `set_index` of g_course_set_names (the list's own index): releases the old thumbnails,
// lists the set's "*.png" (else "*.jp2") pictures, makes their thumbnails, reads "desc.txt". An
// index out of the list or a folder that cannot be entered leaves no preview. The working folder
// returns to the start folder. Restarts the preview counter and the cursor hold.
void menu_course_set_load_preview(int32_t set_index);
// Releases every texture made under the thumbnails' tag; their count.
int32_t menu_course_set_release_thumbnails(void);
