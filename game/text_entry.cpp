// The name fields' key filters (see text_entry.h).
#include "game/text_entry.h"

#include "game/app.h"

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

int entry_key(int32_t character, int32_t *length, char *text, int32_t maximum, bool wide)
{
    int c = character & 0xFF;
    if (!g_upper_case && c >= 'A' && c <= 'Z') c += 'a' - 'A';
    int32_t n = *length;
    if (n < 0) n = 0;
    if (n > maximum) n = maximum;
    int result = 0;
    if (c == KEY_RETURN) {
        result = n > 0 ? 1 : 0;
    } else if (c == KEY_BACKSPACE) {
        if (n > 0) n--;
    } else if (n < maximum && (is_letter_or_digit(c) || is_accented(c) || (wide && c != 0 && strchr(" '!?,\".():;/=-", c)))) {
        text[n++] = char(c);
    }
    text[n] = '\0';
    *length = n;
    return result;
}

}  // namespace

int ui_text_entry_key(int32_t character, int32_t *length, char *text, int32_t maximum)
{
    return entry_key(character, length, text, maximum, true);
}

int ui_name_entry_key(int32_t character)
{
    return entry_key(character, &g_name_entry_length, g_name_entry_text, NAME_MAXIMUM, false);
}
