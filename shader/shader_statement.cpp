// Statement translation: a normalised code section is translated statement by statement after its
// assignment targets are declared; conditional break, continue and discard, rep loops, "phase"
// and assignments.
#include "shader/shader_local.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const int kMaxLoopDepth = 4;

bool contains(const char *text, const char *needle)
{
    return strstr(text, needle) != nullptr;
}

// Lines whose brace or loop syntax takes no closing ";".
void emit_unclosed(ShaderCompiler *c, TextLineList *lines, const char *line)
{
    uint8_t mode = c->hlsl_statement_mode;
    c->hlsl_statement_mode = 0;
    shader_emit_instruction(c, lines, line);
    c->hlsl_statement_mode = mode;
}

// if(a>=b)break and its kin: one conditional line per flow word the statement holds.
void translate_conditional(ShaderCompiler *c, const char *statement, TextLineList *lines)
{
    const char *inner = str_extract_parenthesised(statement);
    std::string condition = inner ? inner : "";
    size_t at = condition.find('>');
    if (at == std::string::npos) at = condition.find('<');
    if (at == std::string::npos || at == 0) {
        c->syntax_error = 1;
        return;
    }
    std::string op(1, condition[at]);
    size_t right_start = at + 1;
    if (right_start < condition.size() && condition[right_start] == '=') {
        op += "=";
        right_start++;
    }
    std::string left = condition.substr(0, at), right = condition.substr(right_start);
    if (right.empty()) {
        c->syntax_error = 1;
        return;
    }
    const char *a = shader_resolve_operand(c, left.c_str(), 0);
    const char *b = shader_resolve_operand(c, right.c_str(), 0);
    for (const char *word : {"break", "continue", "discard"}) {
        if (contains(statement, word)) shader_emit(c, lines, "if (%s%s%s) %s", a, op.c_str(), b, word);
    }
}

void translate_loop_start(ShaderCompiler *c, const char *statement, TextLineList *lines)
{
    const char *inner = str_extract_parenthesised(statement);
    int count = 0;
    if (!inner || sscanf(inner, "%d", &count) != 1 || c->loop_depth < 0 || c->loop_depth >= kMaxLoopDepth) {
        c->syntax_error = 1;
        return;
    }
    char letter = "abcd"[c->loop_depth];
    int depth = c->loop_depth;
    char line[SHADER_LINE_SIZE];
    // The effect compiler is told to keep the loop; GL text has no attribute for it.
    snprintf(line, sizeof line, "%sfor (int %c%d=0;%c%d<%d;%c%d++)", c->target == 0 ? "[loop] " : "", letter, depth,
             letter, depth, count, letter, depth);
    emit_unclosed(c, lines, line);
    emit_unclosed(c, lines, "{");
    c->loop_depth++;
}

void translate_assignment(ShaderCompiler *c, const char *statement, TextLineList *lines, int last)
{
    std::string text = statement;
    str_remove_blanks(text.data());
    text.resize(strlen(text.c_str()));
    size_t equals = text.find('=');
    std::string dest_text = text.substr(0, equals), expression = text.substr(equals + 1);
    if (dest_text.empty()) c->syntax_error = 1;

    c->dest_in_expression = expression.find(dest_text) != std::string::npos ||
                            shader_is_mapped_register(c, dest_text.c_str());
    c->writes_pixel_output = dest_text == "Out" || dest_text == "Depth";
    const char *dest = shader_resolve_operand(c, dest_text.c_str(), 0);
    if (!c->in_call_arguments) c->statement_variable_mark = c->variable_count;

    if (last && !c->model2) {
        const char *result = shader_translate_expression(c, expression.c_str(), "result.color", lines);
        shader_release_scratch_temps(c);
        if (strcmp(result, "result.color") != 0 && c->target != 2)
            shader_emit(c, lines, "%s %s,%s", shader_mnemonic(c, SHADER_MOV), "result.color", result);
        return;
    }
    const char *result = shader_translate_expression(c, expression.c_str(), dest, lines);
    if (!c->in_call_arguments) shader_release_scratch_temps(c);
    if (strcmp(result, dest) != 0) shader_emit_move(c, lines, dest, result);
}

// The target of an assignment for the declaration pass, or "" when the statement has none.
std::string assignment_target(const char *word)
{
    std::string text = word;
    str_remove_blanks(text.data());
    text.resize(strlen(text.c_str()));
    size_t equals = text.find('=');
    // Flow lines hold "=" in their comparison; indexed targets are never new variables.
    if (equals == std::string::npos || text.find("if(") != std::string::npos) return "";
    size_t cut = equals;
    if (cut > 0 && (text[cut - 1] == '-' || text[cut - 1] == '+')) cut--;
    std::string target = text.substr(0, cut);
    return target.find('[') == std::string::npos ? target : "";
}

void record_statement(ShaderCompiler *c, const char *statement)
{
    if (!c->syntax_error && !c->modifier_error)
        snprintf(c->error_statement, sizeof c->error_statement, "%s", statement);
}

} // namespace

void shader_translate_section(ShaderCompiler *c, const char *section, TextLineList *lines)
{
    c->current_lines = lines;
    c->loop_depth = 0;
    c->in_call_arguments = 0;
    // Expression-style statements of the effect text end with ";".
    if (c->target == 0) c->hlsl_statement_mode = c->hlsl_mode;
    if (!section) return;

    int position = 0;
    while (const char *word = str_next_word(section, &position)) {
        shader_scratch_reset();
        std::string target = assignment_target(word);
        if (!target.empty()) shader_resolve_operand(c, target.c_str(), 1);
    }

    // The word reader returns one piece per statement; count them to find the last one.
    int total = 0;
    position = 0;
    while (const char *word = str_next_word(section, &position)) total += word[0] != 0;

    position = 0;
    int index = 0;
    while (const char *read = str_next_word(section, &position)) {
        if (!read[0]) continue;
        std::string word = read;
        // The word reader cuts a longer statement to fit its buffer.
        if (word.size() >= 1023) shader_capacity_error(c, "characters in one statement");
        index++;
        record_statement(c, word.c_str());
        shader_scratch_reset();
        shader_translate_statement(c, word.c_str(), lines, c->target == 1 && c->pixel_side && index == total);
    }
}

void shader_translate_statement(ShaderCompiler *c, const char *statement, TextLineList *lines, int last)
{
    if (!statement[0]) return;
    if (contains(statement, "if(")) {
        translate_conditional(c, statement, lines);
    } else if (contains(statement, "endrep")) {
        if (c->loop_depth <= 0) c->syntax_error = 1;
        emit_unclosed(c, lines, "}");
        c->loop_depth--;
    } else if (contains(statement, "rep")) {
        translate_loop_start(c, statement, lines);
    } else if (strcmp(statement, "phase") == 0) {
        // A bare "phase" is accepted: it matters only to pixel shader 1.4 text.
        if (!c->model2 && c->target == 0 && !c->hlsl_mode) {
            shader_emit_instruction(c, lines, "phase");
            c->phase_done = 1;
        }
    } else if (!contains(statement, "=")) {
        record_statement(c, statement);
        c->syntax_error = 1;
    } else {
        translate_assignment(c, statement, lines, last);
    }
}
