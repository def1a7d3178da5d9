// Script parser: declarations of globals and locals, parameter lists and structure definitions.
#include "script/script_local.h"
#include "script/text_reader.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char *const REASON_DEFINITION = "error in definition";
const char *const REASON_DATA_COUNT = "number of data do not match definition";
const char *const REASON_STORAGE = "array or structure larger than 65536 bytes";

// The log text that goes with a reason: the two of the declarations, else a limit.
const char *log_of(const char *reason)
{
    if (reason == REASON_DEFINITION) return SCRIPT_LOG_DEFINITION;
    if (reason == REASON_DATA_COUNT) return SCRIPT_LOG_DATA_COUNT;
    return SCRIPT_LOG_LIMIT;
}

void report(const char *function, const char *text, const char *reason)
{
    script_report_error(function, g_script_line, text, log_of(reason), reason);
}

char *copy_name(const char *name)
{
    size_t length = strlen(name) + 1;
    char *copy = static_cast<char *>(malloc(length));
    if (copy) memcpy(copy, name, length);
    return copy;
}

// An integer of 32 bits at `text` (after blanks); the text behind it, or null.
const char *read_int(const char *text, int32_t *value)
{
    char *end;
    errno = 0;
    long number = strtol(text, &end, 10);
    if (end == text || errno == ERANGE || number < INT32_MIN || number > INT32_MAX) return nullptr;
    *value = int32_t(number);
    return end;
}

const char *read_float(const char *text, float *value)
{
    char *end;
    *value = strtof(text, &end);
    return end == text ? nullptr : end;
}

// The value type of a type keyword; an array of it when `count` is above 0.
int32_t type_of(ScriptTypeWord word, int32_t count)
{
    switch (word) {
    case SCRIPT_WORD_INT: return count > 0 ? SCRIPT_INT_ARRAY : SCRIPT_INT;
    case SCRIPT_WORD_FLOAT: return count > 0 ? SCRIPT_FLOAT_ARRAY : SCRIPT_FLOAT;
    case SCRIPT_WORD_TEXT: return SCRIPT_TEXT;
    case SCRIPT_WORD_VECTOR:
    case SCRIPT_WORD_MATRIX: return SCRIPT_STRUCT;
    case SCRIPT_WORD_HASH: return SCRIPT_HASH;
    default: return 0;
    }
}

// "[n]" behind a name: n through `count`, -1 when there is none; null with the reason when bad.
const char *read_array_count(const char *text, int32_t element_size, int32_t *count, const char **reason)
{
    text = script_skip_blanks(text);
    *count = -1;
    if (*text != '[') return text;
    int32_t n = 0;
    const char *end = read_int(text + 1, &n);
    if (!end || *(end = script_skip_blanks(end)) != ']' || n < 1) {
        *reason = REASON_DEFINITION;
        return nullptr;
    }
    if (element_size <= 0 || n > SCRIPT_MAX_STORAGE / element_size) {
        *reason = REASON_STORAGE;
        return nullptr;
    }
    *count = n;
    return end + 1;
}

// "{v, v, ...}" into `count` elements of four bytes; the number of values must be `count`.
const char *read_values(const char *text, bool floats, int32_t count, void *data, const char **reason)
{
    *reason = REASON_DEFINITION;
    text = script_skip_blanks(text);
    if (*text != '{') return nullptr;
    text = script_skip_blanks(text + 1);
    int32_t n = 0;
    if (*text != '}') {
        for (;;) {
            int32_t integer = 0;
            float real = 0;
            const char *end = floats ? read_float(text, &real) : read_int(text, &integer);
            if (!end) return nullptr;
            if (n < count && floats) static_cast<float *>(data)[n] = real;
            if (n < count && !floats) static_cast<int32_t *>(data)[n] = integer;
            n++;
            text = script_skip_blanks(end);
            if (*text == '}') break;
            if (*text != ',') return nullptr;
            text = script_skip_blanks(text + 1);
        }
    }
    if (n != count) {
        *reason = REASON_DATA_COUNT;
        return nullptr;
    }
    return text + 1;
}

// The end of a declaration: an optional ";", then blanks (and, on a global's line, the "}" that
// closes the block).
bool declaration_ends(const char *text, bool global)
{
    text = script_skip_blanks(text);
    if (*text == ';') text = script_skip_blanks(text + 1);
    if (global && *text == '}') text = script_skip_blanks(text + 1);
    return *text == '\0';
}

// One variable "<type> <name>[n] = <initialiser>" into `variable`; false with the reason.
bool declare(const ScriptStruct *structs, int struct_count, const char *text, bool local, ScriptVariable *variable,
             const char **reason)
{
    *reason = REASON_DEFINITION;
    script_variable_init(variable);
    const char *at;
    ScriptTypeWord word = script_type_word_at(text, &at);
    int struct_index = -1;
    if (word == SCRIPT_WORD_VECTOR || word == SCRIPT_WORD_MATRIX)
        struct_index = script_struct_find(structs, struct_count, word == SCRIPT_WORD_VECTOR ? "vector" : "matrix");
    bool structure = word == SCRIPT_WORD_VECTOR || word == SCRIPT_WORD_MATRIX;
    bool usable = word != SCRIPT_WORD_NONE && (word != SCRIPT_WORD_HASH || local) && (!structure || struct_index >= 0);
    if (!usable) return false;
    char name[SCRIPT_TEXT_SIZE];
    if (!(at = script_read_name(script_skip_blanks(at), name))) return false;
    int32_t element_size = structure ? structs[struct_index].size : 4;
    int32_t count;
    if (!(at = read_array_count(at, element_size > 0 ? element_size : 1, &count, reason))) return false;
    *reason = REASON_DEFINITION;
    if (count > 0 && (word == SCRIPT_WORD_TEXT || word == SCRIPT_WORD_HASH)) return false;

    variable->type = type_of(word, structure ? -1 : count);
    variable->count = count;
    variable->struct_index = struct_index;
    size_t bytes = structure ? size_t(element_size) * size_t(count > 0 ? count : 1) : count > 0 ? 4 * size_t(count) : 0;
    if (bytes > 0 && !(variable->data = calloc(bytes, 1))) return false;

    at = script_skip_blanks(at);
    if (*at == '=') {
        at++;
        if (!local || structure || word == SCRIPT_WORD_TEXT || word == SCRIPT_WORD_HASH) {
            at = nullptr;
        } else if (count > 0) {
            at = read_values(at, word == SCRIPT_WORD_FLOAT, count, variable->data, reason);
        } else if (word == SCRIPT_WORD_FLOAT) {
            at = read_float(script_skip_blanks(at), &variable->float_value);
        } else {
            at = read_int(script_skip_blanks(at), &variable->int_value);
        }
    }
    if (at && !declaration_ends(at, !local)) {
        at = nullptr;
        *reason = REASON_DEFINITION;
    }
    if (at) variable->name = copy_name(name);
    if (!at || !variable->name) {
        script_variable_free(variable);
        return false;
    }
    return true;
}

// "struct <structure> <name>[n];" of the top level; the count is 1 without "[n]".
bool declare_struct_variable(const ScriptProgram *program, const char *line, ScriptVariable *variable,
                             const char **reason)
{
    *reason = REASON_DEFINITION;
    script_variable_init(variable);
    char type[SCRIPT_TEXT_SIZE], name[SCRIPT_TEXT_SIZE];
    const char *at = script_word_at(script_skip_blanks(line), "struct");
    if (!at || !(at = script_read_name(script_skip_blanks(at), type))) return false;
    if (!(at = script_read_name(script_skip_blanks(at), name))) return false;
    int index = script_struct_find(program->structs, program->struct_count, type);
    if (index < 0) return false;
    int32_t size = program->structs[index].size, count;
    if (!(at = read_array_count(at, size > 0 ? size : 1, &count, reason))) return false;
    *reason = REASON_DEFINITION;
    if (!declaration_ends(at, true)) return false;
    variable->type = SCRIPT_STRUCT;
    variable->struct_index = index;
    variable->count = count > 0 ? count : 1;
    size_t bytes = size_t(size) * size_t(variable->count);
    if (bytes > 0) variable->data = calloc(bytes, 1);
    variable->name = copy_name(name);
    if (!variable->name || (bytes > 0 && !variable->data)) {
        script_variable_free(variable);
        return false;
    }
    return true;
}

// One member "int n", "float t[3]" of a structure.
bool add_member(ScriptStruct *structure, const char *text, const char **reason)
{
    *reason = REASON_DEFINITION;
    const char *at;
    ScriptTypeWord word = script_type_word_at(text, &at);
    char name[SCRIPT_TEXT_SIZE];
    if (word != SCRIPT_WORD_INT && word != SCRIPT_WORD_FLOAT) return false;
    if (!(at = script_read_name(script_skip_blanks(at), name))) return false;
    int32_t count;
    if (!(at = read_array_count(at, 4, &count, reason))) return false;
    *reason = REASON_DEFINITION;
    if (*script_skip_blanks(at)) return false;
    if (structure->member_count >= SCRIPT_MAX_MEMBERS) {
        *reason = "too many members (128)";
        return false;
    }
    int32_t bytes = 4 * (count > 0 ? count : 1);
    if (structure->size + bytes > SCRIPT_MAX_STORAGE) {
        *reason = REASON_STORAGE;
        return false;
    }
    int m = structure->member_count;
    if (!(structure->member_names[m] = copy_name(name))) return false;
    structure->member_types[m] = uint8_t(type_of(word, count));
    structure->member_offsets[m] = structure->size / 4;
    structure->size += bytes;
    structure->member_count++;
    return true;
}

// The members of one line of a structure: ";"-ended pieces up to `end`; whatever stands after the
// last ";" must be blank.
bool add_members(ScriptStruct *structure, const char *text, const char *end, const char *line)
{
    char piece[SCRIPT_TEXT_SIZE];
    for (;;) {
        const char *semicolon = static_cast<const char *>(memchr(text, ';', size_t(end - text)));
        script_copy_trimmed(piece, text, semicolon ? semicolon : end);
        if (!semicolon) {
            if (!piece[0]) return true;
            report("", line, REASON_DEFINITION);
            return false;
        }
        const char *reason;
        if (!add_member(structure, piece, &reason)) {
            report("", line, reason);
            return false;
        }
        text = semicolon + 1;
    }
}

void free_struct(ScriptStruct *structure)
{
    free(structure->name);
    for (int m = 0; m < structure->member_count; m++) free(structure->member_names[m]);
    *structure = ScriptStruct{};
}

// Reads the lines of a structure definition from its "{" to its "}" into `structure`.
bool read_struct_body(TextReader *reader, const char *head, const char *after_name, ScriptStruct *structure)
{
    char buffer[SCRIPT_TEXT_SIZE];
    const char *line = head;
    const char *members = strchr(after_name, '{');  // the text behind the "{", once it was met
    if (members) {
        members++;
    } else if (*script_skip_blanks(after_name)) {
        report("", line, REASON_DEFINITION);
        return false;
    }
    for (;;) {
        if (members) {
            const char *close = strchr(members, '}');
            if (!add_members(structure, members, close ? close : members + strlen(members), line)) return false;
            if (close) {
                if (declaration_ends(close + 1, false)) return true;
                report("", line, REASON_DEFINITION);
                return false;
            }
        }
        if (text_reader_at_end(reader)) {
            script_report_warning("", g_script_line, line, SCRIPT_LOG_BRACES, "");
            return false;
        }
        bool fits = script_read_line(reader, buffer);
        g_script_line = reader->mark_line + 1;
        line = buffer;
        if (!fits) {
            report("", line, "line longer than 255 characters");
            return false;
        }
        if (char *hash = strchr(buffer, '#')) *hash = '\0';
        if (members) {
            members = buffer;
            continue;
        }
        // Only blank lines may stand between the head and its "{".
        const char *first = script_skip_blanks(buffer);
        if (*first == '{') {
            members = first + 1;
        } else if (*first) {
            report("", line, REASON_DEFINITION);
            return false;
        }
    }
}

}  // namespace

void script_variable_init(ScriptVariable *variable)
{
    *variable = ScriptVariable{};
    variable->struct_index = -1;
    variable->count = -1;
}

void script_variable_free(ScriptVariable *variable)
{
    free(variable->name);
    free(variable->data);
    free(variable->data2);
    script_variable_init(variable);
}

int script_struct_find(const ScriptStruct *structs, int count, const char *name)
{
    for (int i = 0; i < count; i++)
        if (structs[i].name && strcmp(structs[i].name, name) == 0) return i;
    return -1;
}

bool script_parse_parameter_list(ScriptFunction *function, const char *text, const char **reason)
{
    *reason = nullptr;
    char piece[SCRIPT_TEXT_SIZE];
    if (!*script_skip_blanks(text)) return true;
    for (;;) {
        const char *comma = strchr(text, ',');
        script_copy_trimmed(piece, text, comma ? comma : text + strlen(text));
        if (function->parameter_count >= SCRIPT_MAX_PARAMETERS) {
            *reason = "too many parameters (12)";
            return false;
        }
        ScriptVariable *parameter = &function->parameters[function->parameter_count];
        const char *at;
        char name[SCRIPT_TEXT_SIZE];
        ScriptTypeWord word = script_type_word_at(piece, &at);
        if (word == SCRIPT_WORD_NONE || word == SCRIPT_WORD_HASH) return false;
        if (!(at = script_read_name(script_skip_blanks(at), name)) || *script_skip_blanks(at)) return false;
        int struct_index = -1;
        if (word == SCRIPT_WORD_VECTOR || word == SCRIPT_WORD_MATRIX) {
            struct_index = script_struct_find(function->structs, *function->struct_count,
                                              word == SCRIPT_WORD_VECTOR ? "vector" : "matrix");
            if (struct_index < 0) return false;
        }
        script_variable_init(parameter);
        parameter->type = type_of(word, -1);
        parameter->struct_index = struct_index;
        if (!(parameter->name = copy_name(name))) return false;
        function->parameter_count++;
        if (!comma) return true;
        text = comma + 1;
    }
}

bool script_parse_struct_definition(ScriptProgram *program, TextReader *reader, const char *line)
{
    char name[SCRIPT_TEXT_SIZE], blanked[SCRIPT_TEXT_SIZE];
    script_blank_quotes(line, blanked);
    const char *at = blanked;
    while ((at = strstr(at, "struct")) && ((at > blanked && script_is_name_char(at[-1])) || script_is_name_char(at[6])))
        at++;
    if (!at || !(at = script_read_name(script_skip_blanks(at + 6), name))) {
        report("", line, REASON_DEFINITION);
        return false;
    }
    if (program->struct_count >= SCRIPT_MAX_STRUCTS) {
        report("", line, "too many structures (16)");
        return false;
    }
    ScriptStruct structure{};
    const char *after_name = line + (at - blanked);
    if (!read_struct_body(reader, line, after_name, &structure) || !(structure.name = copy_name(name))) {
        free_struct(&structure);
        return false;
    }
    program->structs[program->struct_count++] = structure;
    return true;
}

bool script_parse_global_declaration(ScriptProgram *program, const char *line)
{
    if (program->global_count >= SCRIPT_MAX_GLOBALS) {
        report("", line, "too many globals (256)");
        return false;
    }
    ScriptVariable *variable = &program->globals[program->global_count];
    const char *reason;
    bool declared = script_has_word(line, "struct")
                        ? declare_struct_variable(program, line, variable, &reason)
                        : declare(program->structs, program->struct_count, line, false, variable, &reason);
    if (!declared) {
        report("", line, reason);
        return false;
    }
    program->global_count++;
    return true;
}

bool script_parse_declaration(ScriptFunction *function, const char *statement)
{
    if (function->local_count >= SCRIPT_MAX_LOCALS) {
        report(function->name, statement, "too many locals (64)");
        return false;
    }
    const char *reason;
    if (!declare(function->structs, *function->struct_count, statement, true, &function->locals[function->local_count],
                 &reason)) {
        report(function->name, statement, reason);
        return false;
    }
    function->local_count++;
    return true;
}
