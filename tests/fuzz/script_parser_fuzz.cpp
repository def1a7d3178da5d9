// Fuzz target of the script parser: the input is the text behind a kind-13 section key, parsed from
// memory as the configuration reader hands it over; odd sizes also send messages to the list.
#include "script/script.h"
#include "script/text_reader.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

void check_text(const char *text)
{
    if (text && strnlen(text, SCRIPT_TEXT_SIZE) >= size_t(SCRIPT_TEXT_SIZE)) abort();
}

void check_function(const ScriptFunction *f)
{
    if (f->statement_count > SCRIPT_MAX_STATEMENTS || f->local_count > SCRIPT_MAX_LOCALS ||
        f->parameter_count > SCRIPT_MAX_PARAMETERS)
        abort();
    for (int i = 0; i < f->statement_count; i++) {
        const ScriptStatement &s = f->statements[i];
        if (s.kind < 1 || s.kind > 14) abort();
        check_text(s.text);
        check_text(s.text2);
        check_text(s.text3);
        check_text(s.text4);
    }
}

// Everything the parse left must lie within its tables and be readable.
void check_program(const ScriptProgram *program)
{
    if (program->struct_count > SCRIPT_MAX_STRUCTS || program->global_count > SCRIPT_MAX_GLOBALS) abort();
    for (const ScriptFunction *f : {program->loop_function, program->open_function, program->close_function})
        if (f) check_function(f);
    for (const ScriptFunction *f = program->first_function; f; f = f->next) check_function(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TextReader reader{};
    reader.mode = 2;
    reader.data = static_cast<uint8_t *>(malloc(size + 1));
    if (size) memcpy(reader.data, data, size);
    reader.data[size] = '\n';
    reader.size = uint32_t(size);
    g_script_log_mode = size & 1 ? 2 : 0;

    script_parse_block(&reader);
    if (reader.position > reader.size) abort();
    if (g_script_listing_length >= SCRIPT_LISTING_SIZE || strlen(g_script_listing) != size_t(g_script_listing_length))
        abort();
    if (g_script_program) check_program(g_script_program);
    for (ListNode<char *> *node = g_script_messages.first; node; node = node->next) check_text(node->value);

    // The configuration reader reads on from where the parser left.
    char line[512];
    while (!text_reader_at_end(&reader)) text_reader_gets(&reader, line, sizeof line);

    script_program_free(g_script_program);
    g_script_program = nullptr;
    script_message_list_free();
    free(reader.data);
    return 0;
}
