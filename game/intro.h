// The logo intro shown once at start-up, before the presentation pages. Main thread. Its trace
// lines: "intro start", "intro frame 60", "intro skip" (Escape), "intro turned" (the turn is over)
// and "intro end steps N" (frame steps since the skip, or since the start).
#pragma once

#include <cstdint>

// Builds the intro's scene and resources.
void intro_load(void);
// One frame; true once the intro is over (or a quit was seen: g_quit is then set).
bool intro_frame(void);
// Releases everything intro_load made.
void intro_free(void);

// ---- the timeline, a pure function of the frame steps (one step: elapsed ms / 34) ---------------

struct IntroTimeline {
    float turn;      // T: degrees about the vertical axis, 720 down to 0
    float progress;  // P = T / 720
    float fade;      // F: 256 down to 0 during the closing fade to black
    uint8_t skip;    // Escape was pressed: the fade runs while the turn goes on
    int32_t steps;   // frame steps taken since the start, or since the skip (the last one counted)
};

// T = 720, P = 1, F = 256, no skip, no steps.
void intro_timeline_start(IntroTimeline *timeline);
// Sets the skip flag; true when it was not set before (the step count then starts again).
bool intro_timeline_skip(IntroTimeline *timeline);
// Advances by one frame step s; true when the scene is over (F had reached 0 before this step).
bool intro_timeline_step(IntroTimeline *timeline, float s);

// The running intro's timeline (read by tests).
extern IntroTimeline g_intro_timeline;
