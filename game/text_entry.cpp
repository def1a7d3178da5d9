// The name fields' key filters (see text_entry.h).
#include "game/text_entry.h"

#include "game/app.h"

#include <cstdint>
#include <cstring>

char g_name_entry_text[64];
int32_t g_name_entry_length;

namespace {

const int32_t KEY_RETURN = 13;
const int32_t KEY_BACKSPACE = 8;
const int32_t NAME_MAXIMUM = 10;

bool is_letter_or_digit(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// é è ç à in Latin-1.
bool is_accented(int c) { return c == 233 || c == 232 || c == 231 || c == 224; }

int entry_key(int32_t character, int32_t *length, char *text, int32_t maximum, size_t size, bool wide)
{
    if (!text || size == 0) return 0;
    int c = character & 0xFF;
    if (!g_upper_case && c >= 'A' && c <= 'Z') c += 'a' - 'A';
    // A text read from a file may be longer than the maximum: only the buffer bounds it, so that it
    // stays whole until Backspace shortens it.
    const int32_t last = size > size_t(INT32_MAX) ? INT32_MAX : int32_t(size - 1);
    int32_t n = *length;
    if (n < 0) n = 0;
    if (n > last) n = last;
    int result = 0;
    if (c == KEY_RETURN) {
        result = n > 0 ? 1 : 0;
    } else if (c == KEY_BACKSPACE) {
        if (n > 0) n--;
    } else if (n < maximum && n < last &&
               (is_letter_or_digit(c) || is_accented(c) || (wide && c != 0 && strchr(" '!?,\".():;/=-", c)))) {
        text[n++] = char(c);
    }
    text[n] = '\0';
    *length = n;
    return result;
}

}  // namespace

int ui_text_entry_key(int32_t character, int32_t *length, char *text, int32_t maximum, size_t size)
{
    return entry_key(character, length, text, maximum, size, true);
}

int ui_name_entry_key(int32_t character)
{
    return entry_key(character, &g_name_entry_length, g_name_entry_text, NAME_MAXIMUM, sizeof g_name_entry_text, false);
}
