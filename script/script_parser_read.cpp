// Script parser: character-level reading over the text reader's memory copy. Every CR passed
// raises the reader's line counter, so that the counter stays the number of lines behind the
// position.
#include "script/script_local.h"
#include "script/text_reader.h"

#include <cstring>

namespace {

int peek(const TextReader *reader) { return reader->position < reader->size ? reader->data[reader->position] : -1; }

int take(TextReader *reader)
{
    int c = peek(reader);
    if (c < 0) return c;
    reader->position++;
    if (c == '\r') reader->line++;
    return c;
}

bool is_line_end(int c) { return c == '\r' || c == '\n'; }

// Up to the line end, which stays unread.
void skip_comment(TextReader *reader)
{
    while (peek(reader) >= 0 && !is_line_end(peek(reader))) reader->position++;
}

}  // namespace

bool script_read_line(TextReader *reader, char *dest)
{
    reader->mark_position = reader->position;
    reader->mark_line = reader->line;
    uint32_t end = reader->position;
    while (end < reader->size && reader->data[end] != '\r') end++;
    dest[0] = '\0';
    text_reader_gets(reader, dest, SCRIPT_TEXT_SIZE);
    return end - reader->mark_position < uint32_t(SCRIPT_TEXT_SIZE);
}

int script_read_statement(TextReader *reader, char *dest)
{
    for (int c = peek(reader); c == ' ' || c == '\t' || is_line_end(c); c = peek(reader)) take(reader);
    reader->mark_position = reader->position;
    reader->mark_line = reader->line;

    int length = 0, depth = 0;
    bool quoted = false, cut = false;
    for (int c = peek(reader); c >= 0 && !is_line_end(c); c = peek(reader)) {
        if (c == '#' && !quoted) {
            skip_comment(reader);
            break;
        }
        take(reader);
        if (length < SCRIPT_TEXT_SIZE - 1)
            dest[length++] = char(c);
        else
            cut = true;
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        if (c == '(') depth++;
        if (c == ')') depth--;
        if (c == ';' && depth <= 0) break;
    }
    dest[length] = '\0';
    return cut ? -1 : length;
}

bool script_statement_ends_with_semicolon(TextReader *reader)
{
    int depth = 0;
    bool quoted = false;
    for (uint32_t at = reader->position; at < reader->size; at++) {
        uint8_t c = reader->data[at];
        if (is_line_end(c)) quoted = false;
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        if (c == '#') {
            while (at + 1 < reader->size && !is_line_end(reader->data[at + 1])) at++;
        } else if (c == '(') {
            depth++;
        } else if (c == ')') {
            depth--;
        } else if (depth <= 0 && (c == ';' || c == '{')) {
            return c == ';';
        }
    }
    return true;
}

bool script_skip_parenthesised(TextReader *reader)
{
    int c;
    while ((c = take(reader)) != '(')
        if (c < 0) return false;
    int depth = 1;
    bool quoted = false;
    while (depth > 0) {
        c = take(reader);
        if (c < 0) return false;
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        if (c == '(') depth++;
        if (c == ')') depth--;
    }
    return true;
}

bool script_skip_to_body(TextReader *reader)
{
    for (;;) {
        int c = peek(reader);
        if (c == ' ' || c == '\t' || is_line_end(c)) {
            take(reader);
        } else if (c == '#') {
            skip_comment(reader);
        } else {
            if (c != '{') return false;
            take(reader);
            return true;
        }
    }
}

void script_skip_block_rest(TextReader *reader, uint32_t start)
{
    const uint8_t *text = reader->data;
    uint32_t at = start;
    int depth = 1;
    bool quoted = false;
    while (at < reader->size && depth > 0) {
        uint8_t c = text[at++];
        if (is_line_end(c)) quoted = false;
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        if (c == '#') {
            while (at < reader->size && !is_line_end(text[at])) at++;
        }
        if (c == '{') depth++;
        if (c == '}') depth--;
    }
    // The rest of the closing line goes with the block, as the line reader would take it.
    while (at < reader->size && text[at] != '\r') at++;
    if (at < reader->size) at++;
    while (at < reader->size && text[at] == '\n') at++;
    for (; reader->position < at; reader->position++)
        if (text[reader->position] == '\r') reader->line++;
}
