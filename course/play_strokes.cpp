// The listed strokes of the test switch ZAVGOLF_STROKES (see course.h): the text's parser, the
// game's list read once, and the check that a turn waits for the player's shot.
#include "course/course_local.h"

#include "game/play_requests.h"
#include "game/screen.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace {

// Whole run: read on first use, taken in play order; play_listed_strokes_reset forgets it.
PlayStrokeList g_listed;
bool g_listed_read = false;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

const char *skip_blanks(const char *p)
{
    while (is_blank(*p)) p++;
    return p;
}

bool refuse(char *error, size_t error_size, const char *format, ...) __attribute__((format(printf, 3, 4)));
bool refuse(char *error, size_t error_size, const char *format, ...)
{
    if (error && error_size > 0) {
        va_list arguments;
        va_start(arguments, format);
        vsnprintf(error, error_size, format, arguments);
        va_end(arguments);
    }
    return false;
}

// One number at *p (blanks around it skipped), *p moved past it; false when none is there.
bool read_number(const char **p, float *out)
{
    const char *at = skip_blanks(*p);
    // strtof would also take "inf", "nan" and hexadecimal: a listed value is plain decimal.
    const char *c = at;
    if (*c == '+' || *c == '-') c++;
    if (!((*c >= '0' && *c <= '9') || (*c == '.' && c[1] >= '0' && c[1] <= '9'))) return false;
    for (const char *d = c; *d && !is_blank(*d) && *d != ',' && *d != ';'; d++)
        if (*d == 'x' || *d == 'X') return false;
    char *end = nullptr;
    errno = 0;
    const float value = strtof(at, &end);
    if (end == at || errno == ERANGE || !std::isfinite(value)) return false;
    *out = value;
    *p = skip_blanks(end);
    return true;
}

}  // namespace

int play_strokes_parse(const char *text, PlayStrokeList *list, char *error, size_t error_size)
{
    list->count = list->next = 0;
    if (error && error_size > 0) error[0] = '\0';
    if (!text) return 1;
    static const char *const kField[3] = {"yaw", "pitch", "power"};
    PlayStrokeList read;
    read.count = 0;
    const char *p = skip_blanks(text);
    while (*p) {
        const int32_t n = read.count + 1;
        if (read.count == kPlayListedStrokesMax)
            return refuse(error, error_size, "more than %d strokes", int(kPlayListedStrokesMax));
        float v[3];
        for (int k = 0; k < 3; k++) {
            if (!read_number(&p, &v[k]))
                return refuse(error, error_size, "stroke %d: its %s is not a number", int(n), kField[k]);
            if (k < 2 && *p++ != ',')
                return refuse(error, error_size, "stroke %d: a ',' must follow its %s", int(n), kField[k]);
        }
        if (*p == ';')
            p = skip_blanks(p + 1);
        else if (*p)
            return refuse(error, error_size, "stroke %d: a ';' must follow its power", int(n));
        if (!(v[0] >= -kPlayListedYawMax && v[0] <= kPlayListedYawMax))
            return refuse(error, error_size, "stroke %d: yaw %g is outside -360..360", int(n), double(v[0]));
        if (!(v[1] >= kPlayListedPitchMin && v[1] <= kPlayListedPitchMax))
            return refuse(error, error_size, "stroke %d: pitch %g is outside -65..-20", int(n), double(v[1]));
        if (!(v[2] > 0.0f && v[2] <= kPlayListedPowerMax))
            return refuse(error, error_size, "stroke %d: power %g is outside 0..27 (0 excluded)", int(n),
                          double(v[2]));
        read.strokes[read.count++] = {v[0], v[1], v[2]};
    }
    *list = read;
    return 1;
}

bool play_strokes_take(PlayStrokeList *list, PlayListedStroke *out)
{
    if (list->next < 0 || list->next >= list->count) return false;
    *out = list->strokes[list->next++];
    return true;
}

PlayStrokeList *play_listed_strokes(void)
{
    if (g_listed_read) return &g_listed;
    g_listed_read = true;
    const char *text = getenv("ZAVGOLF_STROKES");
    if (!text) return &g_listed;
    char error[160];
    if (!play_strokes_parse(text, &g_listed, error, sizeof error)) {
        fprintf(stderr, "ZAVGOLF_STROKES refused (%s): the player plays every stroke\n", error);
        app_trace("strokes refused");
    } else {
        app_trace("strokes listed %d", int(g_listed.count));
    }
    return &g_listed;
}

void play_listed_strokes_reset(void)
{
    g_listed.count = g_listed.next = 0;
    g_listed_read = false;
}

bool play_waits_for_shot(const PlayState *state)
{
    const RigidBody *body = state->ball.body;
    return body && body->asleep && !state->holeout_timer && !state->end_timer && !state->replaying &&
           !state->hole_done && state->power < 0.0f && !options_open && !leave_requested && !restart_requested;
}
