// Helpers of the script parser's tests: a block parsed from a text in memory, and the records of a
// function written out one line each.
#pragma once

#include "script/script.h"
#include "script/text_reader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

class ScriptParserTest : public ::testing::Test {
protected:
    TextReader reader{};

    // Every test starts with a new program (another reader of kind-13 sections may have left one).
    void SetUp() override
    {
        script_program_free(g_script_program);
        g_script_program = nullptr;
    }

    void TearDown() override
    {
        script_program_free(g_script_program);
        g_script_program = nullptr;
        script_message_list_free();
        g_script_log_mode = 0;
        free(reader.data);
    }

    // Loads `text` (its lines joined with CR LF) as the reader's memory copy, positioned as the
    // configuration reader leaves it behind a section key, for a new program.
    void load(const std::string &text)
    {
        script_program_free(g_script_program);
        g_script_program = nullptr;
        std::string crlf;
        for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        free(reader.data);
        reader = TextReader{};
        reader.mode = 2;
        reader.size = uint32_t(crlf.size());
        reader.data = static_cast<uint8_t *>(malloc(crlf.size() + 1));
        memcpy(reader.data, crlf.data(), crlf.size());
        reader.data[crlf.size()] = '\n';
    }

    // Parses `text` as a block (a "{" line, the script, a "}" line); false when the listing is not empty.
    bool parse(const std::string &text)
    {
        load(text);
        script_parse_block(&reader);
        return g_script_listing_length == 0;
    }

    std::string listing() const { return g_script_listing; }

    ScriptFunction *function(const char *name) const
    {
        for (ScriptFunction *f = g_script_program->first_function; f; f = f->next)
            if (strcmp(f->name, name) == 0) return f;
        return nullptr;
    }

    // One line per record: its kind without "TYPE_", then its texts that are set, " | " between
    // them, or, for an operation, its operator between its two sides.
    static std::string records(const ScriptFunction *f)
    {
        std::string out;
        for (int i = 0; f && i < f->statement_count; i++) {
            const ScriptStatement &s = f->statements[i];
            out += std::string(g_script_kind_names[s.kind - 1] + 5);
            const char *texts[4] = {s.text, s.text2, s.text3, s.text4};
            for (int t = 0; t < 4; t++) {
                if (!texts[t]) continue;
                if (t == 0)
                    out += " ";
                else if (s.kind == SCRIPT_TYPE_OPERATION)
                    out += std::string(" ") + g_script_operators[s.value] + " ";
                else
                    out += " | ";
                out += texts[t];
            }
            out += "\n";
        }
        return out;
    }
};
