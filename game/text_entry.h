// The two key filters of every name field, and the shared name being typed. Callers pass
// g_key_char, and call only while g_key_printable is set. Characters compare by their low byte:
// "é" arrives as -23.
#pragma once

#include <cstddef>
#include <cstdint>

extern char g_name_entry_text[64];
extern int32_t g_name_entry_length;

// Letters (folded to lower case unless g_upper_case), digits, space and ' ! ? , " é è ç à . ( ) :
// ; / = -, up to `maximum` characters; Backspace removes one. 1 when Return confirms a non-empty
// text, else 0. The text stays NUL-terminated within its buffer of `size` bytes; a longer text
// than the maximum (one read from a file) is kept until Backspace shortens it.
int ui_text_entry_key(int32_t character, int32_t *length, char *text, int32_t maximum, size_t size);
// The same on g_name_entry_text, at most 10 letters, digits, é è ç à: a file name's characters.
int ui_name_entry_key(int32_t character);
