// Statement normalisation: code sections become one blank-free statement per line, compound
// assignments are written out, and if/else blocks become straight-line selects built with sge and
// slt on the work registers, with break, continue and discard as single conditional lines.
// Also the cutting of [MACROS] text into macro records.
#include "shader/shader_local.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

const char *g_shader_work_reg0 = "r9";
const char *g_shader_work_reg1 = "r10";
const char *g_shader_work_reg2 = "r11";
char g_shader_normalise_error[SHADER_ERROR_STATEMENT_SIZE];

namespace {

char *to_malloc(const std::string &text)
{
    char *copy = (char *)malloc(text.size() + 1);
    memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

bool contains(const std::string &text, const char *needle)
{
    return text.find(needle) != std::string::npos;
}

void remove_blanks(std::string *text)
{
    str_remove_blanks(text->data());
    text->resize(strlen(text->c_str()));
}

// The pieces between separators; nothing after a final separator.
std::vector<std::string> split(const std::string &text, char separator)
{
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string::npos) end = text.size();
        pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

// Index of the ")" matching the "(" at `open`, or npos.
size_t matching_parenthesis(const std::string &text, size_t open)
{
    int depth = 0;
    for (size_t i = open; i < text.size(); i++) {
        if (text[i] == '(') depth++;
        else if (text[i] == ')' && --depth == 0) return i;
    }
    return std::string::npos;
}

// Where the statement proper begins after a leading "if(...)", "else", "{" or "}".
size_t statement_start(const std::string &text)
{
    size_t i = 0;
    for (;;) {
        if (text.compare(i, 3, "if(") == 0) {
            size_t close = matching_parenthesis(text, i + 2);
            if (close == std::string::npos) return i;
            i = close + 1;
        } else if (text.compare(i, 4, "else") == 0) {
            i += 4;
        } else if (i < text.size() && (text[i] == '{' || text[i] == '}')) {
            i++;
        } else {
            return i;
        }
    }
}

// True when only blanks stand between a line break and `at` (after `start`).
bool starts_line(const char *script, int start, int at)
{
    int i = at - 1;
    while (i >= start && (script[i] == ' ' || script[i] == '\t')) i--;
    return i >= start && (script[i] == '\n' || script[i] == '\r');
}

// Reads up to `stop` (or to a section header at the start of a line, or the end) from *position;
// the position ends past `stop`, or before the header. False at the end of the text.
bool read_item(const char *script, int *position, char stop, std::string *item)
{
    int start = *position;
    if (!script[start]) return false;
    int end = start;
    while (script[end] && script[end] != stop) {
        if (script[end] == '[' && starts_line(script, start, end)) {
            item->assign(script + start, (size_t)(end - start));
            *position = end;
            return true;
        }
        end++;
    }
    item->assign(script + start, (size_t)(end - start));
    *position = script[end] ? end + 1 : end;
    return true;
}

// Collects the items of a section up to its next header, blanks removed, each followed by
// `separator`; empty items are dropped when `drop_empty` is set.
std::string collect_section(const char *script, int *position, char stop, const char *separator, bool drop_empty)
{
    std::string out, item;
    for (;;) {
        int before = *position;
        if (!read_item(script, position, stop, &item)) break;
        remove_blanks(&item);
        if (!item.empty() && item[0] == '[') {
            *position = before;
            break;
        }
        if (drop_empty && item.empty()) continue;
        out += item;
        out += separator;
    }
    return out;
}

const char *invert(const std::string &op)
{
    if (op == ">") return "<=";
    if (op == ">=") return "<";
    if (op == "<") return ">=";
    return ">";
}

// Splits a condition at its first ">" (or, without one, its first "<"), a following "=" going with
// the operator. False when there is no comparison or a side is empty.
bool split_condition(const std::string &condition, std::string *left, std::string *op, std::string *right)
{
    size_t at = condition.find('>');
    if (at == std::string::npos) at = condition.find('<');
    if (at == std::string::npos) return false;
    *left = condition.substr(0, at);
    *op = condition.substr(at, 1);
    size_t after = at + 1;
    if (after < condition.size() && condition[after] == '=') {
        *op += "=";
        after++;
    }
    *right = condition.substr(after);
    return !left->empty() && !right->empty();
}

// The two scratch operands of an assigned name by its number of components; false beyond four.
bool scratch_operands(const std::string &name, std::string *s1, std::string *s2)
{
    int dot = shader_find_swizzle_dot(name.c_str());
    int count = dot < 0 ? 4 : (int)name.size() - dot - 1;
    std::string w1 = g_shader_work_reg2, w2 = g_shader_work_reg1, w3 = g_shader_work_reg0;
    switch (count) {
    case 1: *s1 = w1 + ".z"; *s2 = w1 + ".w"; return true;
    case 2: *s1 = w2 + ".xy"; *s2 = w2 + ".zw"; return true;
    case 3: *s1 = w2 + ".xyz"; *s2 = w3 + ".xyz"; return true;
    case 4: *s1 = w2; *s2 = w3; return true;
    }
    return false;
}

// Writes the lowered form of one block whose entries are in `labels`.
bool write_block(const std::string &condition, ShaderLabelList *labels, std::string *out)
{
    std::string left, op, right;
    if (!split_condition(condition, &left, &op, &right)) return false;
    std::string w1 = g_shader_work_reg2;
    bool any_assignment = false;
    for (ShaderLabel *entry = labels->first; entry; entry = entry->next) {
        any_assignment |= !entry->break_word && !entry->continue_word && !entry->discard_word;
    }
    if (any_assignment) {
        const std::string &a = op[0] == '>' ? left : right;
        const std::string &b = op[0] == '>' ? right : left;
        *out += w1 + ".x=sge(" + a + "," + b + ")\n";
        *out += w1 + ".y=slt(" + a + "," + b + ")\n";
    }
    for (ShaderLabel *entry = labels->first; entry; entry = entry->next) {
        const char *word = entry->break_word ? entry->break_word
                         : entry->continue_word ? entry->continue_word
                                                : entry->discard_word;
        if (word) {
            // A flow statement of the else body runs where the condition does not hold.
            std::string entry_op = entry->branch ? op : invert(op);
            *out += "if(" + left + entry_op + right + ")" + word + ";\n";
            continue;
        }
        std::string name = entry->name, s1, s2;
        if (name.empty() || !scratch_operands(name, &s1, &s2)) return false;
        std::string then_value = entry->then_value ? entry->then_value : name;
        std::string else_value = entry->else_value ? entry->else_value : name;
        *out += s1 + "=(" + then_value + ")*" + w1 + ".x\n";
        *out += s2 + "=(" + else_value + ")*" + w1 + ".y\n";
        *out += name + "=" + s1 + "+" + s2 + "\n";
    }
    return true;
}

// Adds the ";"-items of a braced body to the labels. False for nested braces.
bool label_body(const std::string &body, ShaderLabelList *labels, uint32_t branch)
{
    if (contains(body, "{")) return false;
    for (const std::string &item : split(body, ';')) shader_label_flow_statements(item.c_str(), labels, branch);
    return true;
}

// Lowers the if block that starts at `start` of the braced text; `next` gets the index after it.
bool lower_block(const std::string &text, size_t start, size_t *next, std::string *out)
{
    size_t open = text.find('{', start);
    if (open == std::string::npos) return false;
    const char *condition = str_extract_parenthesised(text.substr(start, open - start).c_str());
    size_t close = text.find('}', open);
    if (!condition || close == std::string::npos) return false;
    std::string condition_text = condition;

    ShaderLabelList labels;
    bool ok = label_body(text.substr(open + 1, close - open - 1), &labels, 1);
    *next = close + 1;
    size_t after = close + 1;
    while (after < text.size() && text[after] == ';') after++;
    if (ok && text.compare(after, 4, "else") == 0) {
        size_t else_open = text.find('{', after);
        size_t else_close = else_open == std::string::npos ? else_open : text.find('}', else_open);
        ok = else_close != std::string::npos && else_open == after + 4 &&
             label_body(text.substr(else_open + 1, else_close - else_open - 1), &labels, 0);
        *next = else_close + 1;
    }
    ok = ok && write_block(condition_text, &labels, out);
    shader_label_list_free(&labels);
    return ok;
}

void set_normalise_error(const std::string &statement)
{
    snprintf(g_shader_normalise_error, sizeof g_shader_normalise_error, "%s", statement.c_str());
}

// Splits a normalised text through the lowering; null (with the error set) when it fails.
char *finish(const std::string &text, bool expand)
{
    char *expanded = expand ? shader_expand_compound_assignment(text.c_str()) : nullptr;
    char *lowered = shader_lower_if_else(expanded ? expanded : text.c_str());
    free(expanded);
    return lowered;
}

} // namespace

void shader_set_work_registers(bool hlsl)
{
    g_shader_work_reg0 = hlsl ? "r29" : "r9";
    g_shader_work_reg1 = hlsl ? "r30" : "r10";
    g_shader_work_reg2 = hlsl ? "r31" : "r11";
}

char *shader_normalise_statements(const char *script, int *position)
{
    return finish(collect_section(script, position, ';', ";", false), true);
}

char *shader_normalise_lines(const char *script, int *position)
{
    return finish(collect_section(script, position, '\n', "", true), false);
}

char *shader_expand_compound_assignment(const char *text)
{
    std::string out;
    for (const std::string &statement : split(text, ';')) {
        // The target follows any leading if(...), else and braces of the statement.
        size_t start = statement_start(statement);
        std::string head = statement.substr(0, start), body = statement.substr(start);
        size_t plus = body.find("+="), minus = body.find("-=");
        size_t compound = plus != std::string::npos ? plus : minus;
        if (compound == std::string::npos) {
            out += statement + ";";
            continue;
        }
        char sign = plus != std::string::npos ? '+' : '-';
        std::string name = body.substr(0, body.find(sign));
        std::string rest = body.substr(compound + 2);
        out += head + name + "=" + name + sign + rest + ";;";
    }
    return to_malloc(out);
}

char *shader_brace_if_else(const char *text)
{
    std::string out;
    for (const std::string &statement : split(text, ';')) {
        size_t at_if = statement.find("if(");
        size_t at_else = statement.find("else");
        bool braced = contains(statement, "{");
        if (at_if != std::string::npos && !braced) {
            size_t close = matching_parenthesis(statement, at_if + 2);
            if (close != std::string::npos) {
                out += statement.substr(0, close) + "){" + statement.substr(close + 1) + ";};";
                continue;
            }
        } else if (at_if == std::string::npos && at_else != std::string::npos && !braced) {
            out += statement.substr(0, at_else) + "else{" + statement.substr(at_else + 4) + ";};";
            continue;
        }
        out += statement + ";";
    }
    return to_malloc(out);
}

char *shader_lower_if_else(const char *text)
{
    char *braced_text = shader_brace_if_else(text);
    std::string braced = braced_text;
    free(braced_text);

    std::string out;
    size_t i = 0;
    while (i < braced.size()) {
        size_t semicolon = braced.find(';', i);
        if (semicolon == std::string::npos) semicolon = braced.size();
        std::string statement = braced.substr(i, semicolon - i);
        size_t at_if = statement.find("if(");
        if (at_if == std::string::npos) {
            if (!statement.empty()) out += statement + "\n";
            i = semicolon + 1;
            continue;
        }
        // Text before the "if(" (a macro's header) stays on a line of its own.
        if (at_if > 0) out += statement.substr(0, at_if) + "\n";
        size_t next = 0;
        if (!lower_block(braced, i + at_if, &next, &out)) {
            set_normalise_error(statement);
            return nullptr;
        }
        i = next;
    }
    return to_malloc(out);
}

void shader_label_flow_statements(const char *statement, ShaderLabelList *list, uint32_t branch)
{
    static const char *const kFlow[3][2] = {{"break", "bk%d"}, {"continue", "co%d"}, {"discard", "di%d"}};
    for (int k = 0; k < 3; k++) {
        if (!strstr(statement, kFlow[k][0])) continue;
        char name[32];
        snprintf(name, sizeof name, kFlow[k][1], list->count);
        ShaderLabel *entry = shader_label_list_append(list, name);
        if (k == 0) entry->break_word = kFlow[k][0];
        if (k == 1) entry->continue_word = kFlow[k][0];
        if (k == 2) entry->discard_word = kFlow[k][0];
        entry->branch = branch;
        return;
    }
    const char *equals = strchr(statement, '=');
    if (!equals) return;
    std::string name(statement, (size_t)(equals - statement));
    remove_blanks(&name);
    ShaderLabel *entry = shader_label_list_append(list, name.c_str());
    if (branch)
        shader_set_label_text_a(entry, equals + 1);
    else
        shader_set_label_text_b(entry, equals + 1);
}

void shader_set_label_text_a(ShaderLabel *entry, const char *text)
{
    free(entry->then_value);
    entry->then_value = to_malloc(text);
}

void shader_set_label_text_b(ShaderLabel *entry, const char *text)
{
    free(entry->else_value);
    entry->else_value = to_malloc(text);
}

int shader_parse_macros(ShaderCompiler *c, const char *text)
{
    int result = 1;
    int depth = 0;
    size_t header_start = 0, body_start = 0;
    std::string header;
    for (size_t i = 0; text[i]; i++) {
        if (text[i] == '{') {
            if (depth == 0) {
                header.assign(text + header_start, i - header_start);
                body_start = i + 1;
            }
            depth++;
        } else if (text[i] == '}' && depth > 0 && --depth == 0) {
            remove_blanks(&header);
            size_t open = header.find('(');
            size_t close = open == std::string::npos ? open : header.find(')', open);
            std::string name = header.substr(0, open);
            std::string params = open == std::string::npos ? "" : header.substr(open + 1, close - open - 1);
            std::string body(text + body_start, i - body_start);
            for (char &ch : body) ch = ch == ';' ? '\n' : ch;
            header_start = i + 1;

            ShaderMacro *record = new ShaderMacro();
            if (shader_check_capacity(c, (int64_t)name.size(), 1, sizeof record->name, "characters in a macro name") &&
                shader_check_capacity(c, (int64_t)params.size(), 1, sizeof record->params, "characters in macro parameters") &&
                shader_check_capacity(c, (int64_t)body.size(), 1, sizeof record->body, "characters in a macro body")) {
                memcpy(record->name, name.c_str(), name.size() + 1);
                memcpy(record->params, params.c_str(), params.size() + 1);
                memcpy(record->body, body.c_str(), body.size() + 1);
                shader_new_macro_record(&c->macros, *record);
            } else {
                result = 0;
            }
            delete record;
        }
    }
    return result;
}
