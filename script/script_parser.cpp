// Script parser: the program object and the top level of a script block (structures, globals and
// function heads).
#include "script/config.h"
#include "script/script_local.h"
#include "script/text_reader.h"
#include "shader/shader_text.h"

#include <cstdlib>
#include <cstring>

ScriptProgram *g_script_program;

const char *const g_script_kind_names[14] = {
    "TYPE_OPERATION", "TYPE_CONDITION", "TYPE_RETOUR", "TYPE_ACTION", "TYPE_FINCONDITION",
    "TYPE_FOR",       "TYPE_NEXT",      "TYPE_SWITCH", "TYPE_BREAK",  "TYPE_CASE",
    "TYPE_ENDSWITCH", "TYPE_ELSE",      "TYPE_WHILE",  "TYPE_ENDWHILE",
};

const char *const g_script_operators[11] = {"", "==", "<=", ">=", "<", ">", "++", "--", "+=", "-=", "="};

namespace {

// Lines of the configuration text around the block (the key's line, lines before the "{").
const int OUTER_LINE_SIZE = 512;

char *copy_text(const char *text)
{
    size_t length = strlen(text) + 1;
    char *copy = static_cast<char *>(malloc(length));
    if (copy) memcpy(copy, text, length);
    return copy;
}

// Structure 0 "vector" (float x, y, z) and structure 1 "matrix" (float m[16]).
bool add_builtin_structs(ScriptProgram *program)
{
    ScriptStruct &vector = program->structs[0];
    ScriptStruct &matrix = program->structs[1];
    program->struct_count = 2;
    const char *const axes[3] = {"x", "y", "z"};
    bool made = (vector.name = copy_text("vector")) && (matrix.name = copy_text("matrix"));
    for (int m = 0; m < 3; m++) {
        made = made && (vector.member_names[m] = copy_text(axes[m]));
        vector.member_types[m] = SCRIPT_FLOAT;
        vector.member_offsets[m] = m;
    }
    vector.member_count = 3;
    vector.size = 12;
    made = made && (matrix.member_names[0] = copy_text("m"));
    matrix.member_types[0] = SCRIPT_FLOAT_ARRAY;
    matrix.member_count = 1;
    matrix.size = 64;
    return made;
}

void free_function(ScriptFunction *function)
{
    if (!function) return;
    free(function->name);
    for (int i = 0; i < function->statement_count; i++) {
        ScriptStatement &record = function->statements[i];
        free(record.text);
        free(record.text2);
        free(record.text3);
        free(record.text4);
    }
    for (ScriptVariable &local : function->locals) script_variable_free(&local);
    for (ScriptVariable &parameter : function->parameters) script_variable_free(&parameter);
    free(function);
}

ScriptFunction *new_function(ScriptProgram *program, const char *name, int32_t returns_value)
{
    ScriptFunction *function = static_cast<ScriptFunction *>(calloc(1, sizeof(ScriptFunction)));
    if (!function) return nullptr;
    if (!(function->name = copy_text(name))) {
        free(function);
        return nullptr;
    }
    function->returns_value = returns_value;
    for (ScriptVariable &local : function->locals) script_variable_init(&local);
    for (ScriptVariable &parameter : function->parameters) script_variable_init(&parameter);
    function->structs = program->structs;
    function->struct_count = &program->struct_count;
    function->list_head = &program->first_function;
    return function;
}

// A line with "(": "<type> <name>(<parameters>)", the body's "{" on it or on a later line.
bool parse_function(ScriptProgram *program, TextReader *reader, const char *line)
{
    const char *open = strchr(line, '(');
    const char *end = open;
    while (end > line && (end[-1] == ' ' || end[-1] == '\t')) end--;
    const char *begin = end;
    while (begin > line && script_is_name_char(begin[-1])) begin--;
    char name[SCRIPT_TEXT_SIZE], check[SCRIPT_TEXT_SIZE], parameters[SCRIPT_TEXT_SIZE];
    script_copy_trimmed(name, begin, end);
    if (!script_read_name(name, check) || !script_parameter_text(line, parameters)) {
        if (!name[0]) script_copy_trimmed(name, line, open);
        script_listing_add("", "Erreur definition de la fonction [%s]", name);
        return false;
    }

    // The return kind is the word in front of the name.
    const char *first = script_skip_blanks(line);
    int32_t returns_value = script_word_at(first, "int") || script_word_at(first, "float") ? 1 : 0;

    ScriptFunction **special = nullptr;
    if (strcmp(name, "LOOP") == 0) special = &program->loop_function;
    if (strcmp(name, "OPEN") == 0) special = &program->open_function;
    if (strcmp(name, "CLOSE") == 0) special = &program->close_function;
    if (special && *special) {
        script_listing_add(name, "Erreur definition de la fonction [%s] defined twice", name);
        return false;
    }
    ScriptFunction *function = new_function(program, name, returns_value);
    if (!function) {
        script_listing_add(name, "Erreur definition de la fonction [%s] out of memory", name);
        return false;
    }
    if (special) {
        function->list_head = nullptr;  // the special functions belong to no list
        *special = function;
    } else {
        ScriptFunction **tail = &program->first_function;
        while (*tail) tail = &(*tail)->next;
        *tail = function;
    }
    return script_compile_function(function, reader, parameters);
}

// One line of the block's top level, cut at "#". `previous` is emptied when a structure or a
// function took the lines up to its own "}".
bool parse_line(ScriptProgram *program, TextReader *reader, const char *line, char *previous)
{
    if (script_has_word(line, "struct")) {
        if (!strchr(line, '{') && strchr(line, ';')) return script_parse_global_declaration(program, line);
        previous[0] = '\0';
        return script_parse_struct_definition(program, reader, line);
    }
    if (!strchr(line, '(')) {
        if (script_line_has_type(line) == SCRIPT_WORD_NONE) return true;
        return script_parse_global_declaration(program, line);
    }
    previous[0] = '\0';
    return parse_function(program, reader, line);
}

}  // namespace

ScriptProgram *script_program_create()
{
    ScriptProgram *program = static_cast<ScriptProgram *>(calloc(1, sizeof(ScriptProgram)));
    if (!program) return nullptr;
    program->globals = static_cast<ScriptVariable *>(calloc(SCRIPT_MAX_GLOBALS, sizeof(ScriptVariable)));
    if (!program->globals || !add_builtin_structs(program)) {
        script_program_free(program);
        return nullptr;
    }
    for (int i = 0; i < SCRIPT_MAX_GLOBALS; i++) script_variable_init(&program->globals[i]);
    return program;
}

void script_program_free(ScriptProgram *program)
{
    if (!program) return;
    free_function(program->loop_function);
    free_function(program->open_function);
    free_function(program->close_function);
    for (ScriptFunction *function = program->first_function; function;) {
        ScriptFunction *next = function->next;
        free_function(function);
        function = next;
    }
    if (program->globals)
        for (int i = 0; i < program->global_count; i++) script_variable_free(&program->globals[i]);
    free(program->globals);
    for (ScriptStruct &structure : program->structs) {
        free(structure.name);
        for (int m = 0; m < structure.member_count; m++) free(structure.member_names[m]);
    }
    free(program);
}

void script_parse_block(TextReader *reader)
{
    script_listing_clear();
    if (!g_script_program) g_script_program = script_program_create();
    ScriptProgram *program = g_script_program;
    if (!reader->data) return;

    // Line numbers in messages are the text's own, whatever the readers before counted.
    reader->line = 0;
    for (uint32_t at = 0; at < reader->position && at < reader->size; at++) reader->line += reader->data[at] == '\r';

    // The rest of the key's line, then lines up to the one holding the block's "{".
    char outer[OUTER_LINE_SIZE] = "";
    uint32_t line_start = reader->position;
    text_reader_gets(reader, outer, OUTER_LINE_SIZE);
    while (!text_reader_at_end(reader) && !config_str_contains(outer, "{")) {
        line_start = reader->position;
        text_reader_gets(reader, outer, OUTER_LINE_SIZE);
    }
    int brace = str_index_of_char('{', outer);
    if (brace < 0) return;
    uint32_t block_start = line_start + uint32_t(brace) + 1;

    char line[SCRIPT_TEXT_SIZE], previous[SCRIPT_TEXT_SIZE] = "";
    bool parsed = program != nullptr;
    while (parsed && !text_reader_at_end(reader) && !config_str_contains(previous, "}")) {
        bool fits = script_read_line(reader, line);
        g_script_line = reader->mark_line + 1;
        memcpy(previous, line, sizeof line);
        if (!fits) {
            script_report_error("", g_script_line, line, SCRIPT_LOG_LIMIT, "line longer than 255 characters");
            parsed = false;
            break;
        }
        if (char *hash = strchr(line, '#')) *hash = '\0';
        parsed = parse_line(program, reader, line, previous);
    }
    if (!parsed) script_skip_block_rest(reader, block_start);
}
