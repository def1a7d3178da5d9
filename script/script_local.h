// Internals of the script parser: text helpers, the character-level reading over a TextReader, the
// listing and the declaration steps shared by the top level and the function compiler.
#pragma once

#include "script/script.h"

#include <cstdint>

// ---- messages -------------------------------------------------------------------------------------

// Texts given to script_log_line.
extern const char *const SCRIPT_LOG_DEFINITION;   // "error in definition..."
extern const char *const SCRIPT_LOG_DATA_COUNT;   // "number of data do not match definition..."
extern const char *const SCRIPT_LOG_SYNTAX;       // "syntax error..."
extern const char *const SCRIPT_LOG_NO_IF;        // "no if matching else..."
extern const char *const SCRIPT_LOG_STRUCT;       // "structure definition inside function..."
extern const char *const SCRIPT_LOG_BRACES;       // "accolades missing ???"
extern const char *const SCRIPT_LOG_LIMIT;        // "limit exceeded..."

// The line number used in messages: the line, from 1, of the statement or line being parsed.
extern int32_t g_script_line;

void script_listing_clear();
// Adds "<function>::<message>" and CR LF to the listing; an empty name at the top level.
void script_listing_add(const char *function, const char *format, ...) __attribute__((format(printf, 2, 3)));
// A line that cannot be compiled: logs `log` and adds "Erreur ligne n°<line> [<text>] <reason>".
void script_report_error(const char *function, int line, const char *text, const char *log, const char *reason);
// Logs `log` and adds "Warning ligne n°<line> [<text>]<suffix>".
void script_report_warning(const char *function, int line, const char *text, const char *log, const char *suffix);

// ---- text helpers ----------------------------------------------------------------------------------

// Type keywords of declarations.
enum ScriptTypeWord { SCRIPT_WORD_NONE, SCRIPT_WORD_INT, SCRIPT_WORD_FLOAT, SCRIPT_WORD_TEXT,
                      SCRIPT_WORD_VECTOR, SCRIPT_WORD_MATRIX, SCRIPT_WORD_HASH };

bool script_is_name_char(char c);
// Past spaces, tabs, CR and LF.
const char *script_skip_blanks(const char *text);
// When `text` begins with the whole word `word`, the text behind it; else null.
const char *script_word_at(const char *text, const char *word);
// True when the whole word occurs outside double-quoted texts.
bool script_has_word(const char *text, const char *word);
// Copies the name (letters, digits, "_", not starting with a digit) at `text` into `name`
// (SCRIPT_TEXT_SIZE bytes); the text behind it, or null when no name stands there.
const char *script_read_name(const char *text, char *name);
// The type keyword at the start of `text` (after blanks) and, through `end`, the text behind it.
ScriptTypeWord script_type_word_at(const char *text, const char **end);
// The type keyword that the line starts with ("float", "int", "vector", "matrix", "char *",
// "char*", "hash"), or SCRIPT_WORD_NONE.
ScriptTypeWord script_line_has_type(const char *line);
// Copies [begin, end) without the blanks around it into `dest` (SCRIPT_TEXT_SIZE bytes).
void script_copy_trimmed(char *dest, const char *begin, const char *end);
// A copy of `text` with the inside of every double-quoted text turned into blanks (same length).
void script_blank_quotes(const char *text, char *dest);
// Index of the ")" that closes the "(" at `open` (quotes skipped), or -1.
int script_matching_parenthesis(const char *text, int open);
// The text between the line's first "(" and its matching ")" into `dest`; false when unmatched.
bool script_parameter_text(const char *line, char *dest);
// The assignment operator of a statement (6 to 10: the first of "++" "--" "+=" "-=" "=" that occurs
// outside quotes, parentheses and brackets, an "=" of a comparison not counting) and, through
// `at`, its index; 0 when there is none.
int script_find_operator(const char *statement, int *at);
// True when quotes are closed, parentheses and brackets balance, and no brace stands outside them.
bool script_statement_readable(const char *text);
// A malloc'd SCRIPT_TEXT_SIZE-byte copy (cut to 255 characters).
char *script_text_copy(const char *text);

// ---- character-level reading (mode 2) ---------------------------------------------------------------

// Reads the next line into `dest` (SCRIPT_TEXT_SIZE bytes), recording its start as the mark;
// false when it was longer than 255 characters (dest then holds the cut).
bool script_read_line(TextReader *reader, char *dest);
// Skips blanks and line ends, marks the start, then copies up to and including the next ";" at
// parenthesis depth 0 outside quotes, or up to the line end; "#" outside quotes ends it and the
// line is skipped to its end. Returns the length, 0 for nothing (a comment, or the end of the
// text), -1 when longer than 255 characters (dest holds the cut, the rest is read past).
int script_read_statement(TextReader *reader, char *dest);
// Looks ahead from the current position for the first ";" or "{" at depth 0 (quotes and comments
// skipped) and answers whether it is ";" (also when there is neither); the reader does not move.
bool script_statement_ends_with_semicolon(TextReader *reader);
// Moves past the next balanced group of parentheses; false at the end of the text.
bool script_skip_parenthesised(TextReader *reader);
// Skips blanks, line ends and comments; true when a "{" stands next (it is then read past).
bool script_skip_to_body(TextReader *reader);
// Moves to the end of the line that closes the block whose "{" ends just before `start`, counting
// braces outside quotes and comments (the end of the text when it is not closed). Never moves back.
void script_skip_block_rest(TextReader *reader, uint32_t start);

// ---- declarations ----------------------------------------------------------------------------------

// Every value 0, no array, no structure.
void script_variable_init(ScriptVariable *variable);
void script_variable_free(ScriptVariable *variable);
// Index of the structure named `name`, or -1.
int script_struct_find(const ScriptStruct *structs, int count, const char *name);

// Splits the parameter text at commas into the function's parameters; false with the reason
// (null for a piece that is no parameter, else the limit) when it cannot.
bool script_parse_parameter_list(ScriptFunction *function, const char *text, const char **reason);
// Reads the structure whose head line (cut at "#") is `line`, members up to its "}" line.
bool script_parse_struct_definition(ScriptProgram *program, TextReader *reader, const char *line);
// One global declaration ("int a;", "float t[4];", "vector v;", "struct S s[2];"...).
bool script_parse_global_declaration(ScriptProgram *program, const char *line);
// One local declaration of a function, with an optional initialiser; reports its own errors.
bool script_parse_declaration(ScriptFunction *function, const char *statement);
