// Tests that read a configuration file into the game's globals put them back when they end, so that
// the tests after them, in the same program, see the values they started with.
#pragma once

#include "script/config.h"
#include "script/config_main.h"

#include <cstdlib>
#include <cstring>
#include <vector>

// Saves every destination of a key table (the main one by default) when made, and restores them
// when it goes: the texts read meanwhile are freed and copies of the earlier ones take their
// place. Texts in the destinations must be malloc'd (as the reader leaves them) at both ends.
struct ConfigRestore {
    struct Saved {
        const ConfigKeyDescriptor *row;
        int32_t records;
        std::vector<char> bytes;      // numbers, lists, quads and boxes as they were
        std::vector<char *> texts;    // malloc'd copies, or null
    };
    std::vector<Saved> saved;

    explicit ConfigRestore(const ConfigKeyDescriptor *table = g_main_config_table)
    {
        int32_t records = 1;
        for (const ConfigKeyDescriptor *row = table; row->kind != CONFIG_END; row++) {
            if (row->kind == CONFIG_GROUP) records = row->record_count > 0 ? row->record_count : 1;
            if (row->kind == CONFIG_GROUP_END) records = 1;
            Saved s{row, records, {}, {}};
            if (row->kind == CONFIG_TEXT && row->text_dest) {
                for (int32_t r = 0; r < records; r++) s.texts.push_back(copy(row->text_dest[r]));
            } else if (void *dest = destination(row)) {
                s.bytes.resize(size_t(records) * record_size(row));
                memcpy(s.bytes.data(), dest, s.bytes.size());
            } else {
                continue;
            }
            saved.push_back(std::move(s));
        }
    }
    ~ConfigRestore()
    {
        for (Saved &s : saved) {
            if (s.row->kind == CONFIG_TEXT) {
                for (int32_t r = 0; r < s.records; r++) {
                    free(s.row->text_dest[r]);
                    s.row->text_dest[r] = s.texts[size_t(r)];
                }
            } else {
                memcpy(destination(s.row), s.bytes.data(), s.bytes.size());
            }
        }
    }
    ConfigRestore(const ConfigRestore &) = delete;
    ConfigRestore &operator=(const ConfigRestore &) = delete;

    static char *copy(const char *text) { return text ? strdup(text) : nullptr; }
    static void *destination(const ConfigKeyDescriptor *row)
    {
        switch (row->kind) {
        case CONFIG_INT:
        case CONFIG_INT_LIST: return row->int_dest;
        case CONFIG_QUAD: return row->quad_dest;
        case CONFIG_BOX:
        case CONFIG_BOX_VALUES: return row->box_dest;
        default: return nullptr;
        }
    }
    static size_t record_size(const ConfigKeyDescriptor *row)
    {
        switch (row->kind) {
        case CONFIG_INT: return sizeof(int32_t);
        case CONFIG_INT_LIST: return sizeof(int32_t) * CONFIG_LIST_RECORD;
        case CONFIG_QUAD: return sizeof(float) * 4;
        default: return sizeof(ConfigBoxRecord);
        }
    }
};
