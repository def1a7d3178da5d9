// Byte-string utilities of the shader-script compiler and of its neighbours.
#include "shader/shader_text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int g_str_line_counter = 0;

namespace {

const int kPieceSize = 1024;
const int kExtractSize = 4096;

char g_word_buffer[kPieceSize];
char g_line_buffer[kPieceSize];
char g_argument_buffer[kPieceSize];
char g_extract_buffer[kExtractSize];
float g_float4[4];
float g_float_list[16];

// Copies text[start, end) into a buffer of `size` bytes, cut to fit.
char *copy_piece(char *buffer, int size, const char *text, int start, int end)
{
    int n = end - start;
    if (n > size - 1) n = size - 1;
    if (n < 0) n = 0;
    memcpy(buffer, text + start, (size_t)n);
    buffer[n] = 0;
    return buffer;
}

// Reads the piece from *position up to the first `stop` byte (or NUL) into the shared line
// buffer; the position ends one past the stop byte, or at the NUL.
char *read_until(char stop, const char *text, int *position)
{
    int start = *position;
    if (!text || text[start] == 0) return nullptr;
    int end = start;
    while (text[end] && text[end] != stop) end++;
    copy_piece(g_line_buffer, kPieceSize, text, start, end);
    *position = text[end] ? end + 1 : end;
    return g_line_buffer;
}

bool has_operator(const char *text)
{
    return strpbrk(text, "+-*/|(^") != nullptr;
}

// The text between the first `open` and its matching `close` into the extract buffer.
char *extract_between(const char *text, char open, char close)
{
    if (!text) return nullptr;
    const char *start = strchr(text, open);
    if (!start) return nullptr;
    int depth = 0;
    for (const char *p = start; *p; p++) {
        if (*p == open) depth++;
        else if (*p == close && --depth == 0) {
            return copy_piece(g_extract_buffer, kExtractSize, start + 1, 0, (int)(p - start - 1));
        }
    }
    return nullptr;
}

// Reads ","-separated floats with "%f" into `out` (already cleared), at most `count`.
void parse_floats(const char *text, float *out, int count)
{
    if (!text) return;
    char item[kPieceSize];
    int position = 0;
    for (int i = 0; i < count; i++) {
        int start = position;
        if (text[start] == 0) break;
        int end = start;
        while (text[end] && text[end] != ',') end++;
        copy_piece(item, kPieceSize, text, start, end);
        // strtof reads what "%f" reads, and well-defined beyond the float range.
        char *after;
        float value = strtof(item, &after);
        if (after != item) out[i] = value;
        position = text[end] ? end + 1 : end;
    }
}

} // namespace

bool str_is_all_digits(const char *text)
{
    for (; *text; text++) {
        if (*text < '0' || *text > '9') return false;
    }
    return true;
}

int str_starts_with(const char *text, const char *prefix)
{
    return strncmp(text, prefix, strlen(prefix)) == 0 ? 1 : 0;
}

int str_is_prefix_of(const char *prefix, const char *text)
{
    return str_starts_with(text, prefix);
}

int str_index_of_char(char character, const char *text)
{
    if (!text || character == 0) return -1;
    const char *found = strchr(text, character);
    return found ? (int)(found - text) : -1;
}

int str_count_dots(const char *text)
{
    int count = 0;
    for (; *text; text++) count += *text == '.';
    return count;
}

int str_find_top_level_comma(const char *text)
{
    int depth = 0;
    for (int i = 0; text[i]; i++) {
        if (text[i] == '(') depth++;
        else if (text[i] == ')') depth--;
        else if (text[i] == ',' && depth == 0) return i;
    }
    return -1;
}

int shader_find_swizzle_dot(const char *operand)
{
    if (operand[0] == 'i' || operand[0] == 'o') {
        if (strlen(operand) < 3) return -1;
        const char *dot = strchr(operand + 2, '.');
        return dot ? (int)(dot - operand) : -1;
    }
    int depth = 0;
    for (int i = 0; operand[i]; i++) {
        if (operand[i] == '[') depth++;
        else if (operand[i] == ']') depth--;
        else if (operand[i] == '.' && depth == 0) return i;
    }
    return -1;
}

int str_has_substring(const char *text, const char *needle)
{
    if (!needle || !needle[0]) return 1;
    if (!text) return 0;
    return strstr(text, needle) ? 1 : 0;
}

int config_str_contains(const char *text, const char *needle)
{
    if (!text || !text[0]) return 0;
    return str_has_substring(text, needle);
}

bool str_parentheses_balanced(const char *text)
{
    if (!text[0]) return false;
    int round = 0, square = 0;
    for (; *text; text++) {
        round += (*text == '(') - (*text == ')');
        square += (*text == '[') - (*text == ']');
    }
    return round == 0 && square == 0;
}

bool str_is_fully_parenthesised(const char *text)
{
    if (text[0] != '(') return false;
    int length = (int)strlen(text);
    int depth = 1;
    for (int i = 1; i < length; i++) {
        if (text[i] == '(') depth++;
        else if (text[i] == ')') depth--;
        if (depth == 0 && i != length - 1) return false;
    }
    return true;
}

bool str_is_digit_or_dot(char character)
{
    return (character >= '0' && character <= '9') || character == '.';
}

bool str_is_number_literal(const char *text)
{
    const char *f = strchr(text, 'f');
    int length = (int)strlen(text);
    int end = length;
    if (f) {
        int at = (int)(f - text);
        if (at != length - 1 || at == 0) return false;
        end = at;
    }
    for (int i = 0; i < end; i++) {
        if (!str_is_digit_or_dot(text[i]) && text[i] != '-') return false;
    }
    return true;
}

bool shader_is_single_operand(const char *text)
{
    if (str_is_number_literal(text)) return true;
    if (text[0] == '-') return str_is_number_literal(text + 1) || !has_operator(text + 1);
    if (text[0] == '1' && text[1] == '-') return !has_operator(text + 2);
    return !has_operator(text);
}

void str_to_upper(char *text)
{
    for (; *text; text++) {
        if (*text >= 'a' && *text <= 'z') *text = (char)(*text - 'a' + 'A');
    }
}

void str_remove_blanks(char *text)
{
    // Compacted in place: no length limit, nothing cut.
    char *out = text;
    for (const char *in = text; *in; in++) {
        if (*in != ' ' && *in != '\t' && *in != '\r' && *in != '\n') *out++ = *in;
    }
    *out = 0;
}

void str_copy_substring(int n, const char *source, int offset, char *destination)
{
    if (n <= 0) {
        destination[0] = 0;
        return;
    }
    memcpy(destination, source + offset, (size_t)n);
    destination[n] = 0;
}

char *str_next_word(const char *text, int *position)
{
    int start = *position;
    if (!text || text[start] == 0) return nullptr;
    while (text[start] == ' ' || text[start] == '\t' || text[start] == '\n') start++;
    int end = start;
    while (text[end] && text[end] != ' ' && text[end] != '\t' && text[end] != '\n') end++;
    copy_piece(g_word_buffer, kPieceSize, text, start, end);
    *position = text[end] ? end + 1 : end;
    return g_word_buffer;
}

char *str_next_line(const char *text, int *position)
{
    char *line = read_until('\n', text, position);
    if (line) g_str_line_counter++;
    return line;
}

char *str_next_semicolon_item(const char *text, int *position)
{
    return read_until(';', text, position);
}

char *str_read_until_char(char character, const char *text, int *position)
{
    return read_until(character, text, position);
}

char *str_next_argument(const char *text, int *position)
{
    int start = *position;
    if (!text || text[start] == 0) return nullptr;
    int depth = 0;
    int end = start;
    for (; text[end]; end++) {
        if (text[end] == '(') depth++;
        else if (text[end] == ')') depth--;
        else if (text[end] == ',' && depth < 1) break;
    }
    copy_piece(g_argument_buffer, kPieceSize, text, start, end);
    *position = text[end] ? end + 1 : end;
    return g_argument_buffer;
}

float *str_parse_float4(const char *text)
{
    memset(g_float4, 0, sizeof g_float4);
    parse_floats(text, g_float4, 4);
    return g_float4;
}

float *str_parse_float_list(const char *text)
{
    memset(g_float_list, 0, sizeof g_float_list);
    parse_floats(text, g_float_list, 16);
    return g_float_list;
}

char *str_extract_parenthesised(const char *text)
{
    return extract_between(text, '(', ')');
}

char *str_extract_bracketed(const char *text)
{
    return extract_between(text, '[', ']');
}

char *str_extract_quoted(const char *text)
{
    if (!text) return nullptr;
    const char *start = strchr(text, '\'');
    if (!start) return nullptr;
    start++;
    const char *end = strchr(start, '\'');
    int n = end ? (int)(end - start) : (int)strlen(start);
    return copy_piece(g_extract_buffer, kExtractSize, start, 0, n);
}

void shader_format_relative_address(char *output, int *index, const char *operand)
{
    const char *open = strchr(operand, '[');
    if (!open) {
        sprintf(output, "%s[", operand);
        *index = 0;
        return;
    }
    int name_length = (int)(open - operand);
    char *inner = str_extract_bracketed(operand);
    if (!inner || str_is_all_digits(inner)) {
        // An unclosed "[" is read like an empty index: the name and "[" alone.
        sprintf(output, "%.*s[", name_length, operand);
        if (inner && inner[0]) {
            long value = strtol(inner, nullptr, 10);
            *index = value > 0x7fffffff ? 0x7fffffff : (int)value;
        }
        return;
    }
    *index = 0;
    sprintf(output, "%.*s[A0.x+", name_length, operand);
}
