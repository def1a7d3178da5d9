// The reader of text files: plain, or packed ("zzz" raw Deflate, "zzw" filtered packed block), read
// whole into memory and handed out line by line (only CR ends a line) or word by word.
#pragma once

#include <cstdint>

struct TextReader {
    int32_t mode;  // 0 before opening, 2 once the text is in memory
    uint8_t *data;  // the text, malloc'd by text_reader_open; the caller frees it (text_reader_close)
    uint32_t position;
    uint32_t size;
    uint32_t mark_position;  // where the statement being parsed began (script parser)
    int32_t line;
    int32_t mark_line;
};

// Loads the file into the reader. A file that cannot be opened or unpacked reads as an empty text.
void text_reader_open(TextReader *reader, const char *path);
// True when every byte has been handed out.
bool text_reader_at_end(const TextReader *reader);
// Copies the next line (at most max - 1 bytes, the rest of the line skipped) into dest. At the
// end, dest is left as it was; the line counter still rises.
void text_reader_gets(TextReader *reader, char *dest, int max);
// Copies the next blank-delimited word (at most max - 1 bytes; the whole word is consumed with the
// one blank or line end behind it). At the end, dest is left as it was.
void config_read_line(TextReader *reader, char *dest, int max);
// Frees the memory copy and zeroes the reader.
void text_reader_close(TextReader *reader);
