// Byte-string utilities of the shader-script compiler, shared with the configuration and script
// readers, the scene code, the game shell and course play.
//
// Bytes only: no locale, upper-casing touches a to z alone. Positions are int indices from 0 and
// -1 means "not found". The cursor readers copy into static buffers that the next call of the same
// family overwrites (word: 1,024 bytes; line, semicolon item and read-until share one 1,024-byte
// buffer; argument: 1,024 bytes; the three extractors share one 4,096-byte buffer); a longer piece
// is cut to fit while the position still moves past all of it. Not re-entrant: one thread.
#pragma once

// Lines read by str_next_line; set it to 0 before a walk that needs line numbers.
extern int g_str_line_counter;

// ---- tests and searches (the text is not changed) ------------------------------------------------

// True when every character is 0 to 9 (also for an empty text).
bool str_is_all_digits(const char *text);
// 1 when the text begins with the prefix (1 for an empty prefix), else 0.
int str_starts_with(const char *text, const char *prefix);
// str_starts_with with the arguments swapped.
int str_is_prefix_of(const char *prefix, const char *text);
// Index of the first occurrence of the character, or -1 (also for an empty text and for NUL).
int str_index_of_char(char character, const char *text);
// Number of "." characters.
int str_count_dots(const char *text);
// Index of the first "," outside parentheses, or -1.
int str_find_top_level_comma(const char *text);
// Index of an operand's swizzle dot: for names beginning with "i" or "o" the first "." from index
// 2 on; for others the first "." outside square brackets; -1 when there is none.
int shader_find_swizzle_dot(const char *operand);
// 1 when the needle occurs in the text, else 0; an empty needle is found in any text, the empty
// text included. Needles of any length are compared in place.
int str_has_substring(const char *text, const char *needle);
// 1 when the needle occurs in the text, else 0; an empty text gives 0, an empty needle in a
// non-empty text gives 1.
int config_str_contains(const char *text, const char *needle);
// False for an empty text; else true when "(" and ")" are as many, and "[" and "]" too (order
// plays no part).
bool str_parentheses_balanced(const char *text);
// True when the text starts with "(" whose depth comes back to 0 nowhere before the last
// character (so a lone "(" and an unclosed "(a" count too).
bool str_is_fully_parenthesised(const char *text);
// True for 0 to 9 and ".".
bool str_is_digit_or_dot(char character);
// Number literal as the compiler sees it: only 0-9, "." and "-", with at most one "f" as the last
// (not the first) character. "1.2.3" and "3-" pass; "f1" and "f" do not.
bool str_is_number_literal(const char *text);
// True when the text can stand as one operand: a literal, a negated literal, or a text with no
// operator character (+ - * / | ( ^) after an optional leading "-" or "1-".
bool shader_is_single_operand(const char *text);

// ---- changes in place ----------------------------------------------------------------------------

// a to z become A to Z.
void str_to_upper(char *text);
// Removes every space, TAB, CR and LF.
void str_remove_blanks(char *text);
// Copies n characters from source + offset to destination and ends it with NUL; n <= 0 gives an
// empty text. The caller makes room for n + 1 bytes and keeps offset + n inside the source.
void str_copy_substring(int n, const char *source, int offset, char *destination);

// ---- cursor readers (NULL when the character at the position is NUL) -----------------------------

// Skips space, TAB and LF, then takes the word up to the next space, TAB, LF or NUL (a CR stays in
// the word); the position ends one past the ending character, or at the NUL.
char *str_next_word(const char *text, int *position);
// The line up to the next LF (a CR stays in it); adds 1 to g_str_line_counter.
char *str_next_line(const char *text, int *position);
// The text up to the next ";".
char *str_next_semicolon_item(const char *text, int *position);
// The text up to the next occurrence of the character.
char *str_read_until_char(char character, const char *text, int *position);
// The text up to the next "," met outside parentheses opened since the position (depth below 1).
char *str_next_argument(const char *text, int *position);

// ---- numbers and extractors ----------------------------------------------------------------------

// Up to four ","-separated floats; missing or unreadable items are 0. Static 4-float result.
float *str_parse_float4(const char *text);
// Up to sixteen ","-separated floats; the rest are 0. Static 16-float result.
float *str_parse_float_list(const char *text);
// The text between the first "(" and its matching ")", or NULL when either is missing.
char *str_extract_parenthesised(const char *text);
// The same with "[" and "]".
char *str_extract_bracketed(const char *text);
// The text after the first "'" up to the next one (or the end), or NULL without "'".
char *str_extract_quoted(const char *text);
// Splits an array operand for the upper-case assembler: "c[12]" gives "c[" and index 12, "c[a0]"
// gives "c[A0.x+" and index 0, "c" gives "c[" and index 0; an empty index leaves *index as it was.
// `output` must hold strlen(operand) + 8 bytes.
void shader_format_relative_address(char *output, int *index, const char *operand);
