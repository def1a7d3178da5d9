// Script parser: a function's body compiled statement by statement into records, with the stack of
// the blocks still open.
//
// Encoding of the blocks: CONDITION, first part, [ELSE, second part,] FINCONDITION; WHILE, body,
// ENDWHILE; FOR, body, NEXT; SWITCH, body, ENDSWITCH. A head not followed by "{" takes the one
// statement behind it as its body, and its closing record follows that statement.
#include "script/script_local.h"
#include "script/text_reader.h"

#include <cstdlib>
#include <cstring>

namespace {

struct Block {
    uint8_t closer;       // kind of the record that closes the block
    bool braced;
    bool awaiting_brace;  // braced, and its "{" is still to come
    bool if_part;         // the first part of an "if", which an "else" may continue
};

struct Compile {
    ScriptFunction *function;
    TextReader *reader;
    char statement[SCRIPT_TEXT_SIZE];  // as read, for messages
    uint32_t statement_start;          // its position and line in the text
    int32_t statement_line;
    Block blocks[SCRIPT_MAX_DEPTH];
    int depth;
    bool else_may_follow;  // the last record closed the first part of an "if"
    bool done;             // the function's own "}" was met
};

void error(Compile &c, const char *log, const char *reason)
{
    script_report_error(c.function->name, g_script_line, c.statement, log, reason);
}

void warning(Compile &c, const char *log, const char *suffix)
{
    script_report_warning(c.function->name, g_script_line, c.statement, log, suffix);
}

bool append(Compile &c, uint8_t kind, int32_t value, const char *text, const char *text2 = nullptr,
            const char *text3 = nullptr, const char *text4 = nullptr)
{
    ScriptFunction *function = c.function;
    if (function->statement_count >= SCRIPT_MAX_STATEMENTS) {
        error(c, SCRIPT_LOG_LIMIT, "too many statements (4096)");
        return false;
    }
    int index = function->statement_count++;
    ScriptStatement &record = function->statements[index];
    record.kind = kind;
    record.value = value;
    record.text = script_text_copy(text);
    record.text2 = text2 ? script_text_copy(text2) : nullptr;
    record.text3 = text3 ? script_text_copy(text3) : nullptr;
    record.text4 = text4 ? script_text_copy(text4) : nullptr;
    function->statement_lines[index] = uint16_t(g_script_line < 65535 ? g_script_line : 65535);
    c.else_may_follow = false;
    return true;
}

void drop_last(Compile &c)
{
    ScriptStatement &record = c.function->statements[--c.function->statement_count];
    free(record.text);
    free(record.text2);
    free(record.text3);
    free(record.text4);
    record = ScriptStatement{};
}

// Closes the bodies without braces that the statement just compiled completes; stops behind the
// first part of an "if", which an "else" may still continue.
bool complete(Compile &c)
{
    while (c.depth > 0 && !c.blocks[c.depth - 1].braced) {
        Block block = c.blocks[--c.depth];
        if (!append(c, block.closer, 0, "")) return false;
        if (block.if_part) {
            c.else_may_follow = true;
            return true;
        }
    }
    return true;
}

// Something other than "else" follows: the blocks left open for an "else" close now.
bool settle(Compile &c)
{
    while (c.else_may_follow) {
        c.else_may_follow = false;
        if (!complete(c)) return false;
    }
    return true;
}

// Opens the block of a head; `rest` is the text behind the head, left behind the block's "{".
bool push(Compile &c, uint8_t closer, bool if_part, const char **rest)
{
    if (c.depth >= SCRIPT_MAX_DEPTH) {
        error(c, SCRIPT_LOG_LIMIT, "blocks nested too deeply (64)");
        return false;
    }
    Block block{closer, false, false, if_part};
    const char *at = script_skip_blanks(*rest);
    if (*at == '{') {
        block.braced = true;
        at++;
    } else if (!*at) {
        block.braced = block.awaiting_brace = !script_statement_ends_with_semicolon(c.reader);
    }
    c.blocks[c.depth++] = block;
    *rest = at;
    return true;
}

// The text inside the "(" group that begins `text` (after blanks) into `dest`; the text behind the
// group, or null when there is none.
const char *parenthesised(const char *text, char *dest)
{
    const char *open = script_skip_blanks(text);
    int close = *open == '(' ? script_matching_parenthesis(open, 0) : -1;
    if (close < 0) return nullptr;
    script_copy_trimmed(dest, open + 1, open + close);
    return open + close + 1;
}

bool close_brace(Compile &c, const char *at)
{
    if (c.depth == 0) {
        // The function's own "}": what follows it belongs to the top level again.
        c.done = true;
        c.reader->position = c.statement_start + uint32_t(at - c.statement) + 1;
        c.reader->line = c.statement_line;
        return true;
    }
    if (!c.blocks[c.depth - 1].braced) {  // a head whose one statement never came
        warning(c, SCRIPT_LOG_BRACES, "");
        return false;
    }
    Block block = c.blocks[--c.depth];
    if (!append(c, block.closer, 0, "}")) return false;
    if (block.if_part) {
        c.else_may_follow = true;
        return true;
    }
    return complete(c);
}

bool else_part(Compile &c, const char **rest)
{
    if (!c.else_may_follow) {
        warning(c, SCRIPT_LOG_NO_IF, " no if matching else");
        return false;
    }
    drop_last(c);  // the first part's FINCONDITION now closes the "else" part
    return append(c, SCRIPT_TYPE_ELSE, 0, "else") && push(c, SCRIPT_TYPE_FINCONDITION, false, rest);
}

// The four texts of "for (<variable> = <start>; <limit>; <step>)"; false when they cannot be read.
bool read_for_head(const char **rest, char texts[4][SCRIPT_TEXT_SIZE])
{
    char head[SCRIPT_TEXT_SIZE], blanked[SCRIPT_TEXT_SIZE];
    if (!(*rest = parenthesised(*rest, head))) return false;
    script_blank_quotes(head, blanked);
    const char *first = strchr(blanked, ';');
    const char *second = first ? strchr(first + 1, ';') : nullptr;
    const char *assign = strchr(blanked, '=');
    if (!second || strchr(second + 1, ';') || !assign || assign > first) return false;
    const char *cuts[5] = {head, head + (assign - blanked), head + (first - blanked), head + (second - blanked),
                           head + strlen(head)};
    for (int i = 0; i < 4; i++) script_copy_trimmed(texts[i], i == 0 ? cuts[0] : cuts[i] + 1, cuts[i + 1]);
    if (strstr(texts[3], "++")) strcpy(texts[3], "++");
    else if (strstr(texts[3], "--")) strcpy(texts[3], "--");
    return texts[0][0] && texts[1][0];
}

enum Step {
    STEP_FAIL,  // an error that ends the parse
    STEP_NONE,  // no head stands there
    STEP_NEXT,  // a head was compiled; the rest of the statement follows
    STEP_DROP,  // warned; the rest of the statement is dropped
};

Step syntax_error(Compile &c)
{
    warning(c, SCRIPT_LOG_SYNTAX, "");
    return STEP_FAIL;
}

// The heads "if", "while", "for" and "switch", and the label "case"; `rest` is left behind them.
Step head(Compile &c, const char *at, const char **rest)
{
    char text[4][SCRIPT_TEXT_SIZE];
    const char *behind;
    if ((behind = script_word_at(at, "if")) || (behind = script_word_at(at, "while"))) {
        bool is_if = at[0] == 'i';
        behind = parenthesised(behind, text[0]);
        if (!behind || !text[0][0] || !script_statement_readable(text[0])) return syntax_error(c);
        if (!append(c, is_if ? SCRIPT_TYPE_CONDITION : SCRIPT_TYPE_WHILE, 0, text[0]) ||
            !push(c, is_if ? SCRIPT_TYPE_FINCONDITION : SCRIPT_TYPE_ENDWHILE, is_if, &behind))
            return STEP_FAIL;
    } else if ((behind = script_word_at(at, "for"))) {
        if (!read_for_head(&behind, text)) return syntax_error(c);
        if (!append(c, SCRIPT_TYPE_FOR, 0, text[0], text[1], text[2], text[3]) ||
            !push(c, SCRIPT_TYPE_NEXT, false, &behind))
            return STEP_FAIL;
    } else if ((behind = script_word_at(at, "switch"))) {
        const char *group = parenthesised(behind, text[0]);
        if (!group || !text[0][0]) {
            warning(c, SCRIPT_LOG_SYNTAX, " bad argument");
            text[0][0] = '\0';
            group = strchr(behind, '{');
            if (!group) group = behind + strlen(behind);
        }
        behind = group;
        if (!append(c, SCRIPT_TYPE_SWITCH, 0, text[0]) || !push(c, SCRIPT_TYPE_ENDSWITCH, false, &behind))
            return STEP_FAIL;
    } else if ((behind = script_word_at(at, "case"))) {
        char blanked[SCRIPT_TEXT_SIZE];
        script_blank_quotes(behind, blanked);
        const char *colon = strchr(blanked, ':');
        if (colon) script_copy_trimmed(text[0], behind, behind + (colon - blanked));
        if (!colon || !text[0][0]) {
            warning(c, SCRIPT_LOG_SYNTAX, " syntax error");
            return STEP_DROP;
        }
        behind += colon - blanked + 1;
        if (!append(c, SCRIPT_TYPE_CASE, 0, text[0])) return STEP_FAIL;
    } else {
        return STEP_NONE;
    }
    *rest = behind;
    return STEP_NEXT;
}

// True for a head "void f(", "int f(" or "float f(" without a ";" at its end: a function begins
// where a block is still open.
bool looks_like_function_head(const char *text)
{
    const char *end = text + strlen(text);
    while (end > text && (end[-1] == ' ' || end[-1] == '\t')) end--;
    if (end > text && end[-1] == ';') return false;
    const char *at = script_word_at(text, "void");
    if (!at) {
        ScriptTypeWord word = script_type_word_at(text, &at);
        if (word != SCRIPT_WORD_INT && word != SCRIPT_WORD_FLOAT) return false;
    }
    char name[SCRIPT_TEXT_SIZE];
    at = script_read_name(script_skip_blanks(at), name);
    return at && *script_skip_blanks(at) == '(';
}

int open_braces(const char *text)
{
    char blanked[SCRIPT_TEXT_SIZE];
    script_blank_quotes(text, blanked);
    int depth = 0;
    for (const char *at = blanked; *at; at++) depth += (*at == '{') - (*at == '}');
    return depth;
}

// A local declaration; an initialiser list may run over several lines.
bool declaration(Compile &c, const char *text)
{
    char declared[SCRIPT_TEXT_SIZE], more[SCRIPT_TEXT_SIZE];
    script_copy_trimmed(declared, text, text + strlen(text));
    while (open_braces(declared) > 0) {
        int length = script_read_statement(c.reader, more);
        size_t used = strlen(declared);
        if (length < 0 || used + 1 + size_t(length) > size_t(SCRIPT_TEXT_SIZE - 1)) {
            error(c, SCRIPT_LOG_LIMIT, "statement longer than 255 characters");
            return false;
        }
        if (length == 0 && text_reader_at_end(c.reader)) {
            script_listing_add(c.function->name, "Erreur d'accolade n\xB0%d", c.function->statement_count - 1);
            return false;
        }
        declared[used] = ' ';
        memcpy(declared + used + 1, more, size_t(length) + 1);
    }
    return script_parse_declaration(c.function, declared) && complete(c);
}

// An operation, an action, "return" or "break": one record, then the bodies it completes close.
bool simple(Compile &c, uint8_t kind, const char *text)
{
    char body[SCRIPT_TEXT_SIZE];
    script_copy_trimmed(body, text, text + strlen(text));
    size_t length = strlen(body);
    if (length > 0 && body[length - 1] == ';') script_copy_trimmed(body, body, body + length - 1);
    if (!script_statement_readable(body) || (kind == SCRIPT_TYPE_BREAK && body[0])) {
        warning(c, SCRIPT_LOG_SYNTAX, "");
        return false;
    }
    int at = 0;
    int op = kind == SCRIPT_TYPE_ACTION ? script_find_operator(body, &at) : 0;
    if (op) {
        char left[SCRIPT_TEXT_SIZE], right[SCRIPT_TEXT_SIZE];
        script_copy_trimmed(left, body, body + at);
        script_copy_trimmed(right, body + at + strlen(g_script_operators[op]), body + strlen(body));
        if (!left[0]) {
            warning(c, SCRIPT_LOG_SYNTAX, "");
            return false;
        }
        if (!append(c, SCRIPT_TYPE_OPERATION, op, left, right)) return false;
    } else if (!append(c, kind, 0, kind == SCRIPT_TYPE_BREAK ? "break" : body)) {
        return false;
    }
    return complete(c);
}

// One statement as read; a statement may hold several pieces ("} else {", "if (a) b = 1;").
bool compile_statement(Compile &c)
{
    const char *at = c.statement;
    for (;;) {
        at = script_skip_blanks(at);
        if (!*at) return true;
        if (c.depth > 0 && c.blocks[c.depth - 1].awaiting_brace) {
            if (*at == '{') {
                c.blocks[c.depth - 1].awaiting_brace = false;
                at++;
                continue;
            }
            warning(c, *at == '}' ? SCRIPT_LOG_BRACES : SCRIPT_LOG_SYNTAX, "");
            return false;
        }
        const char *rest;
        if ((rest = script_word_at(at, "else"))) {
            if (!else_part(c, &rest)) return false;
            at = rest;
            continue;
        }
        if (!settle(c)) return false;
        if (*at == '}') {
            if (!close_brace(c, at)) return false;
            if (c.done) return true;
            at++;
            continue;
        }
        if (*at == ';') {  // an empty statement
            if (!complete(c)) return false;
            at++;
            continue;
        }
        Step step = head(c, at, &rest);
        if (step == STEP_FAIL) return false;
        if (step == STEP_DROP) return true;
        if (step == STEP_NEXT) {
            at = rest;
            continue;
        }
        if (*at == '{') {  // a "{" that no head opens
            syntax_error(c);
            return false;
        }
        if (script_has_word(at, "struct")) {
            script_log_line(g_script_line, c.statement, SCRIPT_LOG_STRUCT);
            script_listing_add(c.function->name, "ERROR: structure definition inside function");
            return false;
        }
        if (looks_like_function_head(at)) {
            warning(c, SCRIPT_LOG_BRACES, "");
            return false;
        }
        if (script_line_has_type(at) != SCRIPT_WORD_NONE) return declaration(c, at);
        if ((rest = script_word_at(at, "return"))) return simple(c, SCRIPT_TYPE_RETOUR, rest);
        if ((rest = script_word_at(at, "break"))) return simple(c, SCRIPT_TYPE_BREAK, rest);
        return simple(c, SCRIPT_TYPE_ACTION, at);
    }
}

}  // namespace

bool script_compile_function(ScriptFunction *function, TextReader *reader, const char *parameters)
{
    const char *reason;
    if (!script_parse_parameter_list(function, parameters, &reason)) {
        script_listing_add(function->name, "Erreur definition de la fonction [%s]%s%s", function->name,
                           reason ? " " : "", reason ? reason : "");
        return false;
    }
    // Back to the head, past its parameter list, to the body's "{".
    reader->position = reader->mark_position;
    reader->line = reader->mark_line;
    if (!script_skip_parenthesised(reader) || !script_skip_to_body(reader)) {
        script_listing_add(function->name, "Erreur definition de la fonction [%s]", function->name);
        return false;
    }
    Compile c{};
    c.function = function;
    c.reader = reader;
    while (!c.done) {
        int length = script_read_statement(reader, c.statement);
        c.statement_start = reader->mark_position;
        c.statement_line = reader->mark_line;
        g_script_line = reader->mark_line + 1;
        if (length < 0) {
            error(c, SCRIPT_LOG_LIMIT, "statement longer than 255 characters");
            return false;
        }
        if (length == 0) {
            if (!text_reader_at_end(reader)) continue;
            script_listing_add(function->name, "Erreur d'accolade n\xB0%d", function->statement_count - 1);
            return false;
        }
        if (!compile_statement(c)) return false;
    }
    return true;
}
