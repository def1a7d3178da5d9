// The configuration reader: sections, groups and value lines of a key table.
#include "script/config.h"

#include "script/text_reader.h"
#include "shader/shader_text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const int LINE_SIZE = 512;
const int MAX_SECTIONS = 128;
const int MAX_GROUPS = 128;
const int MAX_VALUES = 256;
const int MAX_GROUP_VALUES = 64;

struct KeyRef {
    const char *key;
    int row;
};

// Longest keys first, by the exchange rule the configuration files were written against.
void sort_longest_first(KeyRef *keys, int count)
{
    for (int i = 0; i < count; i++)
        for (int j = 0; j < count; j++)
            if (strlen(keys[i].key) > strlen(keys[j].key)) {
                KeyRef swap = keys[i];
                keys[i] = keys[j];
                keys[j] = swap;
            }
}

const char *key_of(const ConfigKeyDescriptor &row) { return row.key ? row.key : ""; }

void cut_at_comment(char *line)
{
    if (char *hash = strchr(line, '#')) *hash = '\0';
}

// Reads lines until one holds "{" (the first line read is the one after the current position).
void find_open_brace(TextReader *reader, char *line)
{
    line[0] = '\0';
    text_reader_gets(reader, line, LINE_SIZE);
    while (!text_reader_at_end(reader)) {
        if (config_str_contains(line, "{")) return;
        text_reader_gets(reader, line, LINE_SIZE);
    }
}

// The next line of a block into `line` (cut at "#"), or false at the block's or data's end.
bool next_block_line(TextReader *reader, char *line, char *previous)
{
    if (text_reader_at_end(reader) || config_str_contains(previous, "}")) return false;
    line[0] = '\0';
    text_reader_gets(reader, line, LINE_SIZE);
    memcpy(previous, line, LINE_SIZE);
    cut_at_comment(line);
    return true;
}

void store_int_list(const ConfigKeyDescriptor &row, const char *value, int record)
{
    if (!row.int_dest || !strchr(value, ',')) return;
    int32_t *out = row.int_dest + record * CONFIG_LIST_RECORD;
    int count = 0;
    const char *piece = value;
    while (count < CONFIG_LIST_RECORD - 1) {
        sscanf(piece, "%d", &out[count]);
        count++;
        const char *comma = strchr(piece, ',');
        if (!comma) break;
        piece = comma + 1;
    }
    out[count] = -1;
}

void store_value(const ConfigKeyDescriptor &row, const char *line, int record)
{
    const char *equals = strchr(line, '=');
    if (!equals) return;
    const char *value = equals + 1;
    switch (row.kind) {
    case CONFIG_TEXT: {
        const char *open = strchr(line, '"');
        if (!row.text_dest || !open || !strchr(open + 1, '"')) return;  // no quoted text: ignored
        const char *text = config_extract_quoted_string(line);
        size_t length = strlen(text);
        char *copy = static_cast<char *>(malloc(length + 1));
        if (!copy) return;
        memcpy(copy, text, length + 1);
        free(row.text_dest[record]);  // a key given twice replaces its text instead of leaking it
        row.text_dest[record] = copy;
        break;
    }
    case CONFIG_INT:
        if (row.int_dest) sscanf(value, "%d", &row.int_dest[record]);
        break;
    case CONFIG_BOX:
        if (row.box_dest) {
            float *rect = row.box_dest[record].rect;
            sscanf(value, " (%f,%f),(%f,%f)", &rect[0], &rect[1], &rect[2], &rect[3]);
            row.box_dest[record].rect_set = 1;
        }
        break;
    case CONFIG_QUAD:
        if (row.quad_dest) {
            float *quad = row.quad_dest + record * 4;
            sscanf(value, " (%f,%f,%f,%f)", &quad[0], &quad[1], &quad[2], &quad[3]);
        }
        break;
    case CONFIG_BOX_VALUES:
        if (row.box_dest) {
            float *v = row.box_dest[record].values;
            sscanf(value, " (%f,%f,%f,%f)", &v[0], &v[1], &v[2], &v[3]);
        }
        break;
    case CONFIG_INT_LIST:
        store_int_list(row, value, record);
        break;
    default:
        break;
    }
}

}  // namespace

bool config_line_starts_with_key(const char *line, const char *key)
{
    const char *k = key;
    for (const char *p = line; *k; p++) {
        if (!*p) return false;
        if (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') continue;
        if (*p != *k) return false;
        k++;
    }
    return true;
}

char *config_extract_quoted_string(const char *line)
{
    static char buffer[LINE_SIZE];
    buffer[0] = '\0';
    const char *open = line ? strchr(line, '"') : nullptr;
    if (!open) return buffer;
    const char *start = open + 1;
    const char *close = strchr(start, '"');
    size_t length = close ? size_t(close - start) : strlen(start);
    if (length > LINE_SIZE - 1) length = LINE_SIZE - 1;
    memcpy(buffer, start, length);
    buffer[length] = '\0';
    return buffer;
}

void config_read_tuple(TextReader *reader, const ConfigKeyDescriptor *table, int group, int record)
{
    int capacity = table[group].record_count > 0 ? table[group].record_count : 1;
    if (record >= capacity) record = -1;
    int rows[MAX_GROUP_VALUES];
    int count = 0;
    for (int i = group + 1; table[i].kind != CONFIG_GROUP_END && table[i].kind != CONFIG_END; i++)
        if (count < MAX_GROUP_VALUES) rows[count++] = i;

    char line[LINE_SIZE], previous[LINE_SIZE];
    find_open_brace(reader, line);
    previous[0] = '\0';
    while (next_block_line(reader, line, previous)) {
        if (record < 0) continue;  // a record outside the destinations: the block is skipped
        for (int i = 0; i < count; i++) {
            const ConfigKeyDescriptor &row = table[rows[i]];
            if (!config_line_starts_with_key(line, key_of(row))) continue;
            store_value(row, line, record);
            break;
        }
    }
}

void config_read_section(TextReader *reader, const ConfigKeyDescriptor *table, int section)
{
    KeyRef groups[MAX_GROUPS], values[MAX_VALUES];
    int group_count = 0, value_count = 0;
    for (int i = section + 1; table[i].kind != CONFIG_SECTION_END && table[i].kind != CONFIG_END; i++) {
        if (table[i].kind == CONFIG_GROUP) {
            if (group_count < MAX_GROUPS) groups[group_count++] = {key_of(table[i]), i};
            while (table[i + 1].kind != CONFIG_GROUP_END && table[i + 1].kind != CONFIG_END) i++;
            if (table[i + 1].kind == CONFIG_GROUP_END) i++;
        } else if (value_count < MAX_VALUES) {
            values[value_count++] = {key_of(table[i]), i};
        }
    }
    sort_longest_first(groups, group_count);
    sort_longest_first(values, value_count);

    char line[LINE_SIZE], previous[LINE_SIZE];
    line[0] = '\0';
    text_reader_gets(reader, line, LINE_SIZE);  // the rest of the section key's line
    while (!text_reader_at_end(reader) && !config_str_contains(line, "{")) text_reader_gets(reader, line, LINE_SIZE);

    previous[0] = '\0';
    while (next_block_line(reader, line, previous)) {
        bool taken = false;
        for (int g = 0; g < group_count && !taken; g++) {
            if (!config_str_contains(line, groups[g].key)) continue;
            taken = true;
            int record = 0;
            if (const char *colon = strchr(line, ':')) sscanf(colon + 1, "%d", &record);
            config_read_tuple(reader, table, groups[g].row, record);
        }
        for (int v = 0; v < value_count && !taken; v++) {
            if (!config_line_starts_with_key(line, values[v].key)) continue;
            taken = true;
            store_value(table[values[v].row], line, 0);
        }
    }
}

void config_read_file(const ConfigKeyDescriptor *table, const char *path)
{
    KeyRef sections[MAX_SECTIONS];
    int count = 0;
    for (int i = 0; table[i].kind != CONFIG_END; i++)
        if ((table[i].kind == CONFIG_SECTION || table[i].kind == CONFIG_SCRIPT) && count < MAX_SECTIONS)
            sections[count++] = {key_of(table[i]), i};
    sort_longest_first(sections, count);

    TextReader reader{};
    text_reader_open(&reader, path);
    char word[LINE_SIZE], rest[LINE_SIZE];
    while (!text_reader_at_end(&reader)) {
        word[0] = '\0';
        config_read_line(&reader, word, LINE_SIZE);
        if (text_reader_at_end(&reader)) continue;
        if (strchr(word, '#')) {
            uint8_t ended_by = reader.data[reader.position - 1];
            if (ended_by == ' ' || ended_by == '\t') text_reader_gets(&reader, rest, LINE_SIZE);
            continue;
        }
        if (!word[0]) continue;
        for (int s = 0; s < count; s++) {
            if (!config_str_contains(word, sections[s].key)) continue;
            if (table[sections[s].row].kind == CONFIG_SCRIPT) script_parse_block(&reader);
            else config_read_section(&reader, table, sections[s].row);
            break;
        }
    }
    text_reader_close(&reader);
}
