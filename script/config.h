// The table-driven reader of sectioned configuration text: a key table says which words open a
// section, which lines carry values, of which kind, and where they are stored.
#pragma once

#include <cstdint>

struct TextReader;

enum ConfigKind : uint8_t {
    CONFIG_END = 0,
    CONFIG_SECTION = 1,
    CONFIG_TEXT = 2,      // "quoted text": a new malloc'd copy
    CONFIG_INT = 3,       // %d
    CONFIG_CLAIM = 4,     // claims its line, stores nothing
    CONFIG_CLAIM2 = 5,
    CONFIG_SECTION_END = 6,
    CONFIG_GROUP = 7,
    CONFIG_GROUP_END = 8,
    CONFIG_BOX = 9,       // (x0,y0),(x1,y1) into rect, rect_set = 1
    CONFIG_QUAD = 10,     // (a,b,c,d) into four floats of quad_dest
    CONFIG_BOX_VALUES = 11,  // (a,b,c,d) into values
    CONFIG_INT_LIST = 12,    // a,b,c: at most 31 integers, then -1, in records of 32
    CONFIG_SCRIPT = 13,      // the section's block goes to the script parser
};

struct ConfigBoxRecord {
    float values[4];
    float rect[4];
    int32_t rect_set;
};

struct ConfigKeyDescriptor {
    uint8_t kind;
    const char *key;
    char **text_dest;  // holds null or a malloc'd text: a new value frees the one it replaces
    int32_t *int_dest;
    ConfigBoxRecord *box_dest;
    float *quad_dest;
    // Group rows: how many records the group's destinations hold (0 counts as 1). A group line
    // naming a record outside them is read and stored nowhere.
    int32_t record_count;
};

// Records of a kind-12 list: 31 integers and the closing -1.
const int CONFIG_LIST_RECORD = 32;

// Reads the whole file against the table; what the file does not mention keeps its value.
void config_read_file(const ConfigKeyDescriptor *table, const char *path);
void config_read_section(TextReader *reader, const ConfigKeyDescriptor *table, int section);
// Reads one group block into record `record`; a record outside the group's destinations (negative,
// or past its record_count) is read past and stored nowhere.
void config_read_tuple(TextReader *reader, const ConfigKeyDescriptor *table, int group, int record);
// True when `key` is a prefix of `line` once its blanks are removed (an empty key always matches).
bool config_line_starts_with_key(const char *line, const char *key);
// The text between the line's first two double quotes (to the line's end when the second is
// missing), at most 511 bytes, in a static buffer that the next call overwrites.
char *config_extract_quoted_string(const char *line);

// The script language's entry for a kind-13 section.
void script_parse_block(TextReader *reader);
