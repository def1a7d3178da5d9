// The small typed script language of a kind-13 configuration section: globals, structures and
// functions whose bodies are compiled into statement records. Nothing executes the records; the
// parser is a front end that keeps the configuration format complete. One parse at a time, main
// thread only.
#pragma once

#include "geometry/list.h"

#include <cstdint>

struct TextReader;

// Limits of one script; going past any of them ends the parse with a message in the listing.
const int SCRIPT_TEXT_SIZE = 256;        // lines, statements and statement texts: 255 characters
const int SCRIPT_MAX_STATEMENTS = 4096;  // per function
const int SCRIPT_MAX_LOCALS = 64;        // per function
const int SCRIPT_MAX_PARAMETERS = 12;    // per function
const int SCRIPT_MAX_STRUCTS = 16;       // per program, "vector" and "matrix" included
const int SCRIPT_MAX_MEMBERS = 128;      // per structure
const int SCRIPT_MAX_GLOBALS = 256;      // per program
const int SCRIPT_MAX_DEPTH = 64;         // open blocks inside one function
const int SCRIPT_MAX_STORAGE = 65536;    // bytes of one array, structure or structure variable
const int SCRIPT_LISTING_SIZE = 6144;    // the compile listing, its terminating zero included

// Value types of variables, parameters and structure members.
enum ScriptType : int32_t {
    SCRIPT_INT = 1,
    SCRIPT_FLOAT = 2,
    SCRIPT_TEXT = 3,  // "char*"
    SCRIPT_INT_ARRAY = 4,
    SCRIPT_FLOAT_ARRAY = 6,
    SCRIPT_STRUCT = 7,  // "vector", "matrix" or "struct <name>"
    SCRIPT_HASH = 8,    // locals only
};

// Statement kinds; g_script_kind_names[kind - 1] names each.
enum ScriptKind : uint8_t {
    SCRIPT_TYPE_OPERATION = 1,  // value: operator index; text: left side; text2: right side
    SCRIPT_TYPE_CONDITION,      // text: the condition of "if"
    SCRIPT_TYPE_RETOUR,         // text: the returned text (empty for "return;")
    SCRIPT_TYPE_ACTION,         // text: the statement without its ";"
    SCRIPT_TYPE_FINCONDITION,   // closes an "if" (after its "else" part when there is one)
    SCRIPT_TYPE_FOR,            // text: variable; text2: start; text3: limit; text4: "++", "--" or the step
    SCRIPT_TYPE_NEXT,           // closes a "for"
    SCRIPT_TYPE_SWITCH,         // text: the argument (empty after a "bad argument" warning)
    SCRIPT_TYPE_BREAK,
    SCRIPT_TYPE_CASE,           // text: the case value
    SCRIPT_TYPE_ENDSWITCH,      // closes a "switch"
    SCRIPT_TYPE_ELSE,           // between the two parts of an "if"
    SCRIPT_TYPE_WHILE,          // text: the condition
    SCRIPT_TYPE_ENDWHILE,       // closes a "while"
};
// A closing record (FINCONDITION, NEXT, ENDSWITCH, ENDWHILE) has the text "}" when a brace closed
// it and "" when it closed a body of one statement without braces.

extern const char *const g_script_kind_names[14];
// "", then the comparisons "==" "<=" ">=" "<" ">" (1 to 5), then the assignments "++" "--" "+=" "-=" "="
// (6 to 10).
extern const char *const g_script_operators[11];

struct ScriptVariable {
    int32_t type;  // ScriptType
    char *name;    // malloc'd
    int32_t int_value;
    float float_value;
    int32_t int_value2;
    int32_t int_value3;
    float float_value2;
    void *data;   // malloc'd: array elements of four bytes, or the structure's storage
    void *data2;  // unused by the parser
    int32_t struct_index;  // into the program's structures, -1 when none
    int32_t spare[2];
    int32_t count;  // array length, -1 when not an array (1 for a "struct" global without "[n]")
};

struct ScriptStruct {
    char *name;  // malloc'd
    uint8_t member_types[SCRIPT_MAX_MEMBERS];  // SCRIPT_INT, SCRIPT_FLOAT, or their arrays
    char *member_names[SCRIPT_MAX_MEMBERS];    // malloc'd
    int32_t member_count;
    int32_t size;  // bytes
    int32_t member_offsets[SCRIPT_MAX_MEMBERS];  // four-byte words from the start of the storage
};

struct ScriptStatement {
    uint8_t kind;  // ScriptKind; 0 = empty slot
    int32_t value;
    char *text;  // the texts are malloc'd blocks of SCRIPT_TEXT_SIZE bytes, or null when unused
    char *text2;
    char *text3;
    char *text4;
};

struct ScriptFunction {
    char *name;  // malloc'd
    int32_t returns_value;  // 0 for "void", 1 for "int" and "float"
    int32_t local_count;
    int32_t statement_count;
    ScriptStatement statements[SCRIPT_MAX_STATEMENTS];
    uint16_t statement_lines[SCRIPT_MAX_STATEMENTS];  // line of each statement in the file, from 1
    ScriptVariable locals[SCRIPT_MAX_LOCALS];
    ScriptVariable parameters[SCRIPT_MAX_PARAMETERS];
    int32_t parameter_count;
    ScriptStruct *structs;  // the program's structure table and count
    int32_t *struct_count;
    ScriptFunction *next;         // the program's other functions, in order of definition
    ScriptFunction **list_head;   // the program's first_function; null for LOOP, OPEN and CLOSE
};

struct ScriptProgram {
    ScriptFunction *loop_function;  // "LOOP", "OPEN" and "CLOSE"
    ScriptFunction *open_function;
    ScriptFunction *close_function;
    ScriptFunction *first_function;
    ScriptVariable *globals;  // SCRIPT_MAX_GLOBALS slots
    int32_t global_count;
    ScriptStruct structs[SCRIPT_MAX_STRUCTS];  // 0 "vector" (float x, y, z), 1 "matrix" (float m[16])
    int32_t struct_count;
};

// The program that script_parse_block fills; created by it when null. The caller frees it.
extern ScriptProgram *g_script_program;

// The compile listing: entries "<function>::<message>" ended by CR LF, cleared by each
// script_parse_block. When an entry no longer fits, "listing full" ends it.
extern char g_script_listing[SCRIPT_LISTING_SIZE];
extern int32_t g_script_listing_length;

// Where script_log_line writes: 0 nowhere (the default), 1 appended to SCRIPT_LOG_FILE, 2 the
// message list.
extern int32_t g_script_log_mode;
extern const char *const SCRIPT_LOG_FILE;
// Mode-2 messages, each a malloc'd text of at most 255 characters; script_message_list_free empties it.
extern IndexedList<ListNode<char *>> g_script_messages;

// A new program holding the structures "vector" and "matrix" and room for the globals.
ScriptProgram *script_program_create();
// Frees the program with everything it owns; null is allowed.
void script_program_free(ScriptProgram *program);

// Parses the block of the section whose key the configuration reader has just read: the first
// "{" after it up to the "}" line at its top level. After an error the rest of the block is read
// past, so that the configuration text behind it still reads.
void script_parse_block(TextReader *reader);

// Compiles one function whose head line starts at the reader's mark: the parameter text fills
// its parameters, then the body from the "{" behind the head is compiled up to its closing "}".
// False after an error that ends the parse (the listing says why).
bool script_compile_function(ScriptFunction *function, TextReader *reader, const char *parameters);

// Reports a faulty line by g_script_log_mode.
void script_log_line(int line, const char *text, const char *message);
// Appends a malloc'd text to g_script_messages, which takes it.
void script_message_list_append(char *text);
void script_message_list_free();
