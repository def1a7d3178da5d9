// Script parser: the listing, the faulty-line log and message list, and the text helpers of the
// parser's steps.
#include "platform/system.h"
#include "script/script_local.h"
#include "shader/shader_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

char g_script_listing[SCRIPT_LISTING_SIZE];
int32_t g_script_listing_length;
int32_t g_script_log_mode;
const char *const SCRIPT_LOG_FILE = "script_log.txt";
IndexedList<ListNode<char *>> g_script_messages;
int32_t g_script_line;

const char *const SCRIPT_LOG_DEFINITION = "error in definition...";
const char *const SCRIPT_LOG_DATA_COUNT = "number of data do not match definition...";
const char *const SCRIPT_LOG_SYNTAX = "syntax error...";
const char *const SCRIPT_LOG_NO_IF = "no if matching else...";
const char *const SCRIPT_LOG_STRUCT = "structure definition inside function...";
const char *const SCRIPT_LOG_BRACES = "accolades missing ???";
const char *const SCRIPT_LOG_LIMIT = "limit exceeded...";

namespace {

bool g_listing_full;
const char LISTING_FULL[] = "listing full\r\n";

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Parenthesis and bracket depth of each operator search, quotes already blanked.
bool opens(char c) { return c == '(' || c == '['; }
bool closes(char c) { return c == ')' || c == ']'; }

}  // namespace

// ---- listing and log ------------------------------------------------------------------------------

void script_listing_clear()
{
    g_script_listing[0] = '\0';
    g_script_listing_length = 0;
    g_listing_full = false;
}

void script_listing_add(const char *function, const char *format, ...)
{
    if (g_listing_full) return;
    char message[2 * SCRIPT_TEXT_SIZE + 128];
    va_list args;
    va_start(args, format);
    vsnprintf(message, sizeof message, format, args);
    va_end(args);
    char entry[sizeof message + SCRIPT_TEXT_SIZE + 8];
    int length = snprintf(entry, sizeof entry, "%s::%s\r\n", function ? function : "", message);
    if (length < 0) return;
    if (length >= int(sizeof entry)) length = int(sizeof entry) - 1;

    // Room is always kept for the line that says the listing is full.
    const int reserve = int(sizeof LISTING_FULL) - 1;
    int room = SCRIPT_LISTING_SIZE - 1 - g_script_listing_length;
    if (length > room - reserve) {
        memcpy(g_script_listing + g_script_listing_length, LISTING_FULL, reserve);
        g_script_listing_length += reserve;
        g_listing_full = true;
    } else {
        memcpy(g_script_listing + g_script_listing_length, entry, size_t(length));
        g_script_listing_length += length;
    }
    g_script_listing[g_script_listing_length] = '\0';
}

void script_report_error(const char *function, int line, const char *text, const char *log, const char *reason)
{
    script_log_line(line, text, log);
    script_listing_add(function, "Erreur ligne n\xB0%d [%s] %s", line, text, reason);
}

void script_report_warning(const char *function, int line, const char *text, const char *log, const char *suffix)
{
    script_log_line(line, text, log);
    script_listing_add(function, "Warning ligne n\xB0%d [%s]%s", line, text, suffix);
}

void script_log_line(int line, const char *text, const char *message)
{
    if (g_script_log_mode == 2) {
        char *entry = static_cast<char *>(malloc(SCRIPT_TEXT_SIZE));
        if (!entry) return;
        snprintf(entry, SCRIPT_TEXT_SIZE, "In line %d, \"%s\" -> [%s]", line, text, message);
        char *out = entry;
        for (const char *in = entry; *in; in++) {
            if (*in == '\r' || *in == '\n') continue;
            *out++ = *in == '\t' ? ' ' : *in;
        }
        *out = '\0';
        script_message_list_append(entry);
    } else if (g_script_log_mode == 1) {
        FILE *file = sys_fopen(SCRIPT_LOG_FILE, "a");
        if (!file) return;
        fprintf(file, "In line %d, %c%s%c\n", line, '"', text, '"');
        fprintf(file, "%s\n", message);
        fclose(file);
    }
}

void script_message_list_append(char *text) { list_append(&g_script_messages, text); }

void script_message_list_free()
{
    for (ListNode<char *> *node = g_script_messages.first; node; node = node->next) free(node->value);
    list_clear(&g_script_messages);
}

// ---- words and names ------------------------------------------------------------------------------

bool script_is_name_char(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

const char *script_skip_blanks(const char *text)
{
    while (is_blank(*text)) text++;
    return text;
}

const char *script_word_at(const char *text, const char *word)
{
    size_t length = strlen(word);
    if (strncmp(text, word, length) != 0 || script_is_name_char(text[length])) return nullptr;
    return text + length;
}

bool script_has_word(const char *text, const char *word)
{
    char blanked[SCRIPT_TEXT_SIZE];
    script_blank_quotes(text, blanked);
    size_t length = strlen(word);
    for (const char *at = strstr(blanked, word); at; at = strstr(at + 1, word)) {
        bool starts = at == blanked || !script_is_name_char(at[-1]);
        if (starts && !script_is_name_char(at[length])) return true;
    }
    return false;
}

const char *script_read_name(const char *text, char *name)
{
    if (!script_is_name_char(*text) || (*text >= '0' && *text <= '9')) return nullptr;
    int length = 0;
    while (script_is_name_char(*text)) {
        if (length < SCRIPT_TEXT_SIZE - 1) name[length++] = *text;
        text++;
    }
    name[length] = '\0';
    return text;
}

ScriptTypeWord script_type_word_at(const char *text, const char **end)
{
    static const struct {
        const char *word;
        ScriptTypeWord type;
    } words[] = {{"int", SCRIPT_WORD_INT},       {"float", SCRIPT_WORD_FLOAT},   {"vector", SCRIPT_WORD_VECTOR},
                 {"matrix", SCRIPT_WORD_MATRIX}, {"hash", SCRIPT_WORD_HASH}};
    text = script_skip_blanks(text);
    for (const auto &entry : words) {
        if (const char *behind = script_word_at(text, entry.word)) {
            *end = behind;
            return entry.type;
        }
    }
    // "char*" or "char *"
    if (const char *behind = script_word_at(text, "char")) {
        while (*behind == ' ' || *behind == '\t') behind++;
        if (*behind == '*') {
            *end = behind + 1;
            return SCRIPT_WORD_TEXT;
        }
    }
    *end = text;
    return SCRIPT_WORD_NONE;
}

ScriptTypeWord script_line_has_type(const char *line)
{
    const char *end;
    return script_type_word_at(line, &end);
}

void script_copy_trimmed(char *dest, const char *begin, const char *end)
{
    while (begin < end && is_blank(*begin)) begin++;
    while (end > begin && is_blank(end[-1])) end--;
    size_t length = size_t(end - begin);
    if (length > size_t(SCRIPT_TEXT_SIZE - 1)) length = SCRIPT_TEXT_SIZE - 1;
    memcpy(dest, begin, length);
    dest[length] = '\0';
}

char *script_text_copy(const char *text)
{
    char *copy = static_cast<char *>(malloc(SCRIPT_TEXT_SIZE));
    if (copy) snprintf(copy, SCRIPT_TEXT_SIZE, "%s", text);
    return copy;
}

// ---- quotes, parentheses and operators ---------------------------------------------------------------

void script_blank_quotes(const char *text, char *dest)
{
    bool quoted = false;
    int i = 0;
    for (; text[i] && i < SCRIPT_TEXT_SIZE - 1; i++) {
        char c = text[i];
        if (c == '"') quoted = !quoted;
        dest[i] = quoted && c != '"' ? ' ' : c;
    }
    dest[i] = '\0';
}

int script_matching_parenthesis(const char *text, int open)
{
    int depth = 0;
    bool quoted = false;
    for (int i = open; text[i]; i++) {
        char c = text[i];
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        if (c == '(') depth++;
        if (c == ')' && --depth == 0) return i;
    }
    return -1;
}

bool script_parameter_text(const char *line, char *dest)
{
    int open = str_index_of_char('(', line);
    int close = open < 0 ? -1 : script_matching_parenthesis(line, open);
    if (close < 0) return false;
    script_copy_trimmed(dest, line + open + 1, line + close);
    return true;
}

int script_find_operator(const char *statement, int *at)
{
    char blanked[SCRIPT_TEXT_SIZE];
    script_blank_quotes(statement, blanked);
    for (int op = 6; op <= 10; op++) {
        const char *text = g_script_operators[op];
        size_t length = strlen(text);
        int depth = 0;
        for (int i = 0; blanked[i]; i++) {
            char c = blanked[i];
            if (opens(c)) depth++;
            if (closes(c)) depth--;
            if (depth != 0 || strncmp(blanked + i, text, length) != 0) continue;
            // "=" of "==", "<=", ">=", "!=" and of compound operators is no assignment.
            if (op == 10 && (blanked[i + 1] == '=' || (i > 0 && strchr("=<>!+-*/", blanked[i - 1])))) continue;
            *at = i;
            return op;
        }
    }
    return 0;
}

bool script_statement_readable(const char *text)
{
    int depth = 0;
    bool quoted = false;
    for (const char *c = text; *c; c++) {
        if (*c == '"') quoted = !quoted;
        if (quoted) continue;
        if (opens(*c)) depth++;
        if (closes(*c) && --depth < 0) return false;
        if (*c == '{' || *c == '}') return false;
    }
    return !quoted && depth == 0;
}
