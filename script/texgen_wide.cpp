// UTF-16 text helpers of the texture scripts: search, compare, 8-bit conversion, formatting, and
// the extension change of picture paths.
#include "script/texgen_local.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

int texgen_wide_length(const char16_t *text)
{
    int length = 0;
    while (text[length]) length++;
    return length;
}

int texgen_wide_str_contains(const char16_t *text, const char16_t *keyword)
{
    if (!text || !text[0]) return 0;
    if (!keyword || !keyword[0]) return 1;
    for (const char16_t *start = text; *start; start++) {
        int i = 0;
        while (keyword[i] && start[i] == keyword[i]) i++;
        if (!keyword[i]) return 1;
    }
    return 0;
}

int texgen_wide_equal(const char16_t *a, const char16_t *b)
{
    while (*a && *a == *b) {
        a++;
        b++;
    }
    return *a == *b;
}

int texgen_find_font(const TexgenScript *script, const char16_t *name)
{
    for (int i = 0; i < script->font_count; i++)
        if (texgen_wide_equal(script->fonts[i].name, name)) return i;
    return -1;
}

int texgen_find_bitmap(const TexgenScript *script, const char16_t *name)
{
    for (int i = 0; i < script->bitmap_count; i++)
        if (texgen_wide_equal(script->bitmaps[i].name, name)) return i;
    return -1;
}

void texgen_wide_to_narrow(const char16_t *text, char *out, int out_size)
{
    if (out_size <= 0) return;
    int n = 0;
    while (n < out_size - 1 && text[n] && text[n] < 256) {
        out[n] = (char)(uint8_t)text[n];
        n++;
    }
    out[n] = '\0';
}

int texgen_format_wide(char16_t *buffer, int size, const char16_t *format, ...)
{
    if (size <= 0) return 0;
    int n = 0;
    auto put = [&](char16_t unit) {
        if (n < size - 1) buffer[n++] = unit;
    };
    va_list args;
    va_start(args, format);
    for (const char16_t *f = format; *f; f++) {
        if (*f != u'%' || (f[1] != u's' && f[1] != u'd' && f[1] != u'%')) {
            put(*f);
            continue;
        }
        f++;
        if (*f == u'%') {
            put(u'%');
        } else if (*f == u's') {
            const char16_t *text = va_arg(args, const char16_t *);
            while (text && *text) put(*text++);
        } else {
            char digits[16];
            snprintf(digits, sizeof digits, "%d", va_arg(args, int));
            for (const char *d = digits; *d; d++) put((char16_t)*d);
        }
    }
    va_end(args);
    buffer[n] = 0;
    return n;
}

char *texgen_replace_extension(const char *path, const char *extension)
{
    static char buffer[1024];
    size_t length = strlen(path);
    size_t stem = length;
    for (size_t i = length; i > 0; i--) {
        char c = path[i - 1];
        if (c == '/' || c == '\\') break;
        if (c == '.') {
            stem = i - 1;
            break;
        }
    }
    if (stem + 1 + strlen(extension) >= sizeof buffer) {
        buffer[0] = '\0';
        return buffer;
    }
    memcpy(buffer, path, stem);
    buffer[stem] = '.';
    strcpy(buffer + stem + 1, extension);
    return buffer;
}
