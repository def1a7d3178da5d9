// User functions and macros: [FUNCTIONS] and [PSFUNCTIONS] parsed into records and written as HLSL
// functions or assembler subroutines, their calls, and macros expanded where they are called.
#include "shader/shader_local.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const int kMaxArguments = 16;
// Macros calling macros: deeper than this is taken for a macro that calls itself.
const int kMaxMacroDepth = 16;
// Macros that call others more than once grow with the power of their depth: a compile expands at
// most this many calls.
const int kMaxMacroExpansions = 1024;
int g_macro_depth = 0;
const ShaderMacro *g_macro_stack[kMaxMacroDepth];

struct TypeWord {
    const char *word;
    int value;
};

// Tested in this order; a later hit wins (the words are found anywhere in the text).
const TypeWord kReturnWidths[] = {{"float", 1}, {"vector2", 2}, {"vector3", 3}, {"float2", 2},
                                  {"float3", 3}, {"float4", 4},  {"vec2", 2},    {"vec3", 3}};
const TypeWord kParameterKinds[] = {
    {"float", 1},    {"vector2", 2},   {"vector3", 3},   {"vector4", 4},   {"float2", 2},   {"float3", 3},
    {"float4", 4},   {"vec2", 2},      {"vec3", 3},      {"vec4", 4},      {"iofloat", 5},  {"iofloat2", 6},
    {"iofloat3", 7}, {"iofloat4", 8},  {"iovector2", 6}, {"iovector3", 7}, {"iovector4", 8}, {"iovec2", 6},
    {"iovec3", 7},   {"iovec4", 8},
};
const TypeWord kPrefixLengths[] = {
    {"float", 5},     {"float2", 6},    {"float3", 6},    {"float4", 6},  {"vector2", 7}, {"vector3", 7},
    {"vector4", 7},   {"vec2", 4},      {"vec3", 4},      {"vec4", 4},    {"iofloat", 7}, {"iofloat2", 8},
    {"iofloat3", 8},  {"iofloat4", 8},  {"iovector2", 9}, {"iovector3", 9}, {"iovector4", 9}, {"iovec2", 6},
    {"iovec3", 6},    {"iovec4", 6},
};

template <size_t N>
int last_hit(const TypeWord (&words)[N], const char *text, int none)
{
    int value = none;
    for (const TypeWord &w : words) {
        if (strstr(text, w.word)) value = w.value;
    }
    return value;
}

bool contains(const std::string &text, const char *needle)
{
    return text.find(needle) != std::string::npos;
}

bool copy_field(ShaderCompiler *c, char *field, size_t size, const std::string &text, const char *what)
{
    if (!shader_check_capacity(c, (int64_t)text.size(), 1, (int64_t)size, what)) return false;
    memcpy(field, text.c_str(), text.size() + 1);
    return true;
}

int parse_functions(ShaderCompiler *c, const char *text, ShaderFunction *records, int32_t *count)
{
    if (!text) return 1;
    int result = 1;
    int depth = 0;
    size_t header_start = 0, body_start = 0;
    ShaderFunction *current = nullptr;
    for (size_t i = 0; text[i]; i++) {
        if (text[i] == '{') {
            if (depth++ > 0) continue;
            body_start = i + 1;
            current = nullptr;
            if (!shader_check_capacity(c, *count, 1, SHADER_MAX_FUNCTIONS, "functions in one shader")) {
                result = 0;
                continue;
            }
            std::string header(text + header_start, i - header_start);
            str_remove_blanks(header.data());
            header.resize(strlen(header.c_str()));
            size_t open = header.find('(');
            size_t close = open == std::string::npos ? open : header.find(')', open);
            if (close == std::string::npos) {
                snprintf(c->error_statement, sizeof c->error_statement, "%s", header.c_str());
                c->syntax_error = 1;
                result = 0;
                continue;
            }
            current = &records[(*count)++];
            *current = ShaderFunction{};
            std::string head = header.substr(0, open), params = header.substr(open + 1, close - open - 1);
            shader_parse_return_type(current, head.data());
            head.resize(strlen(head.c_str()));
            bool ok = copy_field(c, current->name, sizeof current->name, head, "characters in a function name");
            ok = ok && copy_field(c, current->params, sizeof current->params, params, "characters in parameters");
            ok = ok && shader_parse_parameter_list(current, current->params);
            if (!ok) {
                shader_capacity_error(c, "parameters of a function");
                result = 0;
            }
        } else if (text[i] == '}' && depth > 0 && --depth == 0) {
            std::string body(text + body_start, i - body_start);
            for (char &ch : body) ch = ch == ';' ? '\n' : ch;
            if (current && !copy_field(c, current->body, sizeof current->body, body, "characters in a function body"))
                result = 0;
            current = nullptr;
            // The line break after the brace closes the function.
            if (text[i + 1]) i++;
            header_start = i + 1;
        }
    }
    return result;
}

int find_function(const ShaderFunction *records, int first, int count, const char *call)
{
    const char *open = strchr(call, '(');
    if (!open) return -1;
    std::string name(call, (size_t)(open - call));
    for (int k = first < 0 ? 0 : first; k < count; k++) {
        if (name == records[k].name) return k;
    }
    return -1;
}

// The parameter names of a record, in order.
int parameter_names(const ShaderFunction *f, std::string *names)
{
    return shader_split_arguments(f->params, names, 4);
}

int kind_width(int kind)
{
    return kind >= 5 ? kind - 4 : kind;
}

const char *type_text(int width, bool glsl)
{
    static const char *const kHlsl[5] = {"float4", "float", "float2", "float3", "float4"};
    static const char *const kGlsl[5] = {"vec4", "float", "vec2", "vec3", "vec4"};
    return (glsl ? kGlsl : kHlsl)[width >= 1 && width <= 4 ? width : 0];
}

// Declares every assigned name of a body (one statement per line) as a variable.
void declare_body(ShaderCompiler *c, const char *body)
{
    int position = 0;
    while (const char *word = str_next_word(body, &position)) {
        std::string text = word;
        size_t equals = text.find('=');
        if (equals == std::string::npos || contains(text, "if(")) continue;
        size_t cut = equals;
        if (cut > 0 && (text[cut - 1] == '-' || text[cut - 1] == '+')) cut--;
        std::string target = text.substr(0, cut);
        if (target.empty() || contains(target, "[")) continue;
        shader_resolve_operand(c, target.c_str(), 1);
    }
}

// Registers the parameters as known names (kind 2) before anything of the body is declared, so
// that an assigned parameter stays the parameter.
void register_parameters(ShaderCompiler *c, ShaderFunction *f, bool by_register)
{
    std::string names[4];
    int count = parameter_names(f, names);
    for (int i = 0; i < count && i < 4; i++) {
        snprintf(c->function_param_names[i], sizeof c->function_param_names[i], "%s", names[i].c_str());
        c->function_param_types[i] = (uint32_t)f->param_kinds[i];
        char text[SHADER_SYMBOL_NAME_SIZE];
        if (by_register) {
            int reg = f->param_registers[i];
            if (reg < 0 || reg >= SHADER_TEMP_COUNT) reg = 0;
            snprintf(text, sizeof text, "r%d", reg);
            c->temp_scratch[reg] = SHADER_TEMP_RESERVED;
            c->temp_touched[reg] = 1;
        } else {
            snprintf(text, sizeof text, "%s", names[i].c_str());
        }
        ShaderSymbol symbol = {};
        shader_init_symbol_node(&symbol, 2, text);
        shader_symbol_list_append(&c->variables, symbol, names[i].c_str());
    }
}

std::string signature(ShaderCompiler *c, const ShaderFunction *f, bool glsl)
{
    std::string names[4];
    int count = parameter_names(f, names);
    std::string out = std::string(type_text(f->return_width, glsl)) + " " + f->name + "(";
    for (int i = 0; i < count && i < 4; i++) {
        if (i > 0) out += ",";
        if (f->param_kinds[i] >= 5 && !glsl) out += "inout ";
        out += std::string(type_text(kind_width(f->param_kinds[i]), glsl)) + " " + names[i];
    }
    out += ")";
    if (!copy_field(c, c->function_signature, sizeof c->function_signature, out, "characters in a signature"))
        c->function_signature[0] = 0;
    return out;
}

// The statements of a function body; the statement without "=" is the result.
void write_body(ShaderCompiler *c, const ShaderFunction *f, TextLineList *list, bool returns)
{
    int position = 0;
    while (const char *read = str_next_word(f->body, &position)) {
        std::string statement = read;
        if (statement.empty()) continue;
        if (!c->syntax_error && !c->modifier_error)
            snprintf(c->error_statement, sizeof c->error_statement, "%s", statement.c_str());
        shader_scratch_reset();
        if (contains(statement, "if(") || contains(statement, "rep") || contains(statement, "=")) {
            shader_translate_statement(c, statement.c_str(), list, 0);
            shader_release_scratch_temps(c);
            continue;
        }
        if (returns) {
            // The result is one operand.
            if (statement.find_first_of("+-/*()") != std::string::npos || str_count_dots(statement.c_str()) > 1)
                c->syntax_error = 1;
            shader_emit(c, list, "return %s", shader_resolve_operand(c, statement.c_str(), 0));
        } else {
            const char *result = shader_resolve_operand(c, statement.c_str(), 0);
            if (strcmp(result, g_shader_work_reg2) != 0) shader_emit(c, list, "mov %s,%s", g_shader_work_reg2, result);
        }
    }
}

// Deletes the symbols appended after `last` (null: all), so that a function's names do not
// outlive it in the code around it.
void drop_symbols_after(ShaderSymbolList *list, ShaderSymbolNode *last)
{
    ShaderSymbolNode *node = last ? last->next : list->first;
    while (node) {
        ShaderSymbolNode *next = node->next;
        list_delete(list, node);
        node = next;
    }
}

void end_function(ShaderCompiler *c, int32_t saved_count)
{
    shader_symbol_list_free(&c->call_variables);
    c->in_call_arguments = 0;
    c->variable_count = c->statement_variable_mark = saved_count;
    shader_release_scratch_temps(c);
    for (int32_t &mark : c->temp_scratch) {
        if (mark == SHADER_TEMP_RESERVED) mark = 0;
    }
    c->in_hlsl_function = 0;
    memset(c->function_param_names, 0, sizeof c->function_param_names);
    memset(c->function_param_types, 0, sizeof c->function_param_types);
}

// An argument of a call in the caller's scope: resolved, or translated into `temp`.
const char *call_operand(ShaderCompiler *c, const std::string &argument, const char *temp, TextLineList *list)
{
    if (shader_is_single_operand(argument.c_str())) return shader_resolve_operand(c, argument.c_str(), 0);
    return shader_translate_expression(c, argument.c_str(), temp, list);
}

const char *call_function(ShaderCompiler *c, const char *e, const char *dest, TextLineList *lines, ShaderFunction *f,
                          int index)
{
    if (shader_output_style(c) == SHADER_STYLE_INSTRUCTION) {
        int32_t before[SHADER_TEMP_COUNT];
        memcpy(before, c->temp_scratch, sizeof before);
        shader_copy_call_arguments(c, e, f, lines);
        shader_emit(c, lines, "call l%d", index);
        shader_release_scratch_since(c, before);
        c->temp_touched[atoi(g_shader_work_reg2 + 1)] = 1;
        // A second call in the same expression writes r11 again: the result moves out at once.
        if (strcmp(dest, g_shader_work_reg2) != 0) shader_emit_move(c, lines, dest, g_shader_work_reg2);
        return dest;
    }
    const char *inner = str_extract_parenthesised(e);
    std::string arguments = shader_translate_arguments(c, inner ? std::string(inner).c_str() : "", f, lines);
    static const char *const kWidths[5] = {"", ".x", ".xy", ".xyz", ""};
    int width = f->return_width >= 1 && f->return_width <= 4 ? f->return_width : 4;
    const char *suffix = shader_swizzle_letters(dest) ? "" : kWidths[width];
    shader_emit(c, lines, "%s%s = %s(%s)", dest, suffix, f->name, arguments.c_str());
    return dest;
}

} // namespace

int shader_parse_vertex_functions(ShaderCompiler *c, const char *text)
{
    return parse_functions(c, text, c->vertex_functions, &c->vertex_function_count);
}

int shader_parse_pixel_functions(ShaderCompiler *c, const char *text)
{
    return parse_functions(c, text, c->pixel_functions, &c->pixel_function_count);
}

void shader_parse_return_type(ShaderFunction *f, char *header)
{
    f->return_width = last_hit(kReturnWidths, header, 4);
    int skip = shader_type_prefix_length(header);
    memmove(header, header + skip, strlen(header + skip) + 1);
}

int shader_parse_parameter_list(ShaderFunction *f, char *params)
{
    std::string pieces[5];
    int count = shader_split_arguments(params, pieces, 5);
    if (count > 4) return 0;
    std::string joined;
    for (int i = 0; i < count; i++) {
        f->param_kinds[i] = last_hit(kParameterKinds, pieces[i].c_str(), 4);
        if (i > 0) joined += ",";
        joined += pieces[i].substr((size_t)shader_type_prefix_length(pieces[i].c_str()));
    }
    // The joined names are never longer than the text they came from.
    memcpy(params, joined.c_str(), joined.size() + 1);
    return 1;
}

int shader_type_prefix_length(const char *text)
{
    return last_hit(kPrefixLengths, text, 0);
}

int shader_find_vertex_function(ShaderCompiler *c, const char *call)
{
    return find_function(c->vertex_functions, c->vertex_function_first, c->vertex_function_count, call);
}

int shader_find_pixel_function(ShaderCompiler *c, const char *call)
{
    return find_function(c->pixel_functions, c->pixel_function_first, c->pixel_function_count, call);
}

const char *shader_write_function(ShaderCompiler *c, ShaderFunction *f, TextLineList *list)
{
    bool hlsl = c->target == 0 && c->hlsl_mode;
    bool glsl = c->target == 1;
    memset(c->function_param_names, 0, sizeof c->function_param_names);
    c->loop_depth = 0;
    c->current_lines = list;
    shader_scratch_reset();
    if (hlsl || glsl) {
        c->in_hlsl_function = hlsl;
        c->hlsl_statement_mode = 1;
        shader_clear_locals(c);
        c->statement_variable_mark = 0;
        register_parameters(c, f, false);
        declare_body(c, f->body);
        std::string line = signature(c, f, glsl);
        if (glsl) {
            shader_line_list_append(list, line.c_str());
            shader_line_list_append(list, "{");
            char declaration[32];
            for (int n = 0; n <= 16; n++) {
                snprintf(declaration, sizeof declaration, "vec4 r%d;", n);
                shader_line_list_append(list, declaration);
            }
            if (c->hlsl_mode) {
                for (const char *reg : {"vec4 r29;", "vec4 r30;", "vec4 r31;"}) shader_line_list_append(list, reg);
            }
        }
        write_body(c, f, list, true);
        end_function(c, 0);
        if (glsl) {
            shader_line_list_append(list, "}");
            shader_line_list_append(list, "");
        }
        c->hlsl_statement_mode = hlsl;
        return hlsl ? f->name : nullptr;
    }

    // Assembler: a subroutine of the program. Its variables take registers that the program's
    // own code never touches, since that code's values live on across the call.
    int32_t saved_count = c->variable_count;
    c->statement_variable_mark = saved_count;
    ShaderSymbolNode *last = c->variables.last;
    int32_t in_use[SHADER_TEMP_COUNT];
    memcpy(in_use, c->temp_in_use, sizeof in_use);
    for (int n = 0; n < SHADER_TEMP_COUNT; n++) {
        if (c->temp_touched[n]) c->temp_in_use[n] = 1;
    }
    register_parameters(c, f, true);
    declare_body(c, f->body);
    signature(c, f, false);
    write_body(c, f, list, false);
    end_function(c, saved_count);
    drop_symbols_after(&c->variables, last);
    memcpy(c->temp_in_use, in_use, sizeof in_use);
    return nullptr;
}

const char *shader_expand_macro(ShaderCompiler *c, const ShaderMacro *macro, TextLineList *list, const char *arguments)
{
    if (g_macro_depth >= kMaxMacroDepth) {
        c->syntax_error = 1;
        return nullptr;
    }
    for (int i = 0; i < g_macro_depth; i++) {
        if (g_macro_stack[i] == macro) {
            shader_error_reason(c, "A macro calls itself");
            return nullptr;
        }
    }
    if (!shader_check_capacity(c, c->macro_expansions, 1, kMaxMacroExpansions, "macro calls expanded")) return nullptr;
    c->macro_expansions++;
    // Arguments are read in the caller's scope, where its variables are known.
    std::string args[kMaxArguments], params[kMaxArguments];
    int arg_count = shader_split_arguments(arguments, args, kMaxArguments);
    int param_count = shader_split_arguments(macro->params, params, kMaxArguments);
    if (!shader_check_capacity(c, arg_count, 0, kMaxArguments, "arguments of a macro") ||
        !shader_check_capacity(c, param_count, 0, kMaxArguments, "parameters of a macro"))
        return nullptr;
    if (arg_count != param_count) c->syntax_error = 1;
    int32_t before[SHADER_TEMP_COUNT];
    memcpy(before, c->temp_scratch, sizeof before);
    std::string operands[kMaxArguments];
    for (int i = 0; i < arg_count; i++) operands[i] = shader_prepare_operand(c, args[i].c_str(), "", list);

    // The caller's scratch temporaries stay out of reach of the macro's variables.
    uint8_t held[SHADER_TEMP_COUNT] = {};
    for (int n = 0; n < SHADER_TEMP_COUNT; n++) {
        held[n] = c->temp_scratch[n] != 0 && !c->temp_in_use[n];
        if (held[n]) c->temp_in_use[n] = 1;
    }
    g_macro_stack[g_macro_depth++] = macro;
    uint8_t saved_in_call = c->in_call_arguments;
    int32_t saved_mark = c->statement_variable_mark;
    TextLineList *saved_lines = c->current_lines;
    ShaderSymbolNode *last = c->call_variables.last;
    c->statement_variable_mark = c->variable_count;
    c->current_lines = list;
    c->in_call_arguments = 1;

    for (int i = 0; i < param_count && i < arg_count; i++) {
        const char *param = shader_resolve_operand(c, params[i].c_str(), 1);
        if (strcmp(param, operands[i].c_str()) != 0) shader_emit_move(c, list, param, operands[i].c_str());
    }
    declare_body(c, macro->body);
    std::string result;
    bool has_result = false;
    int position = 0;
    while (const char *read = str_next_word(macro->body, &position)) {
        std::string statement = read;
        if (statement.empty()) continue;
        if (contains(statement, "if(") || contains(statement, "rep") || contains(statement, "=")) {
            shader_translate_statement(c, statement.c_str(), list, 0);
        } else {
            result = shader_resolve_operand(c, statement.c_str(), 0);
            has_result = true;
        }
    }

    // The macro's own names end with it; its result register stays held for the statement.
    for (ShaderSymbolNode *node = last ? last->next : c->call_variables.first; node; node = node->next) {
        int reg = node->symbol.name[0] == 'r' ? atoi(node->symbol.name + 1) : -1;
        if (reg >= 0 && reg < SHADER_TEMP_COUNT && node->symbol.kind == 1 && !held[reg]) c->temp_in_use[reg] = 0;
    }
    drop_symbols_after(&c->call_variables, last);
    shader_release_scratch_since(c, before);
    for (int n = 0; n < SHADER_TEMP_COUNT; n++) {
        if (held[n]) c->temp_in_use[n] = 0;
    }
    if (has_result && result.size() >= 2 && result[0] == 'r' && result.find_first_not_of("0123456789", 1) > 1) {
        int reg = atoi(result.c_str() + 1);
        if (reg < SHADER_TEMP_COUNT && !c->temp_in_use[reg] && c->temp_scratch[reg] == 0) c->temp_scratch[reg] = 1;
    }
    c->in_call_arguments = saved_in_call;
    c->statement_variable_mark = saved_mark;
    c->current_lines = saved_lines;
    g_macro_depth--;
    return has_result ? shader_scratch_format(c, "%s", result.c_str()) : nullptr;
}

std::string shader_translate_arguments(ShaderCompiler *c, const char *arguments, const ShaderFunction *f,
                                       TextLineList *list)
{
    std::string names[4], args[4];
    int param_count = parameter_names(f, names);
    int arg_count = shader_split_arguments(arguments, args, 4);
    if (arg_count != param_count) c->syntax_error = 1;
    std::string joined;
    for (int i = 0; i < param_count && i < arg_count; i++) {
        if (i > 0) joined += ",";
        joined += shader_prepare_operand(c, args[i].c_str(), "", list);
    }
    return joined;
}

void shader_copy_call_arguments(ShaderCompiler *c, const char *call, ShaderFunction *f, TextLineList *list)
{
    static const char *const kMoves[4][2] = {{"mov %s.xyzw,%s.x", "mov %s.xyzw,%s"},
                                             {"mov %s.xy,%s.xy", "mov %s.xy,%s"},
                                             {"mov %s.xyz,%s.xyz", "mov %s.xyz,%s"},
                                             {"mov %s,%s", "mov %s,%s"}};
    const char *inner = str_extract_parenthesised(call);
    std::string arguments = inner ? inner : "";
    std::string names[4], args[4];
    int param_count = parameter_names(f, names);
    int arg_count = shader_split_arguments(arguments.c_str(), args, 4);
    if (arg_count != param_count) c->syntax_error = 1;
    size_t rest = 0;
    for (int i = 0; i < param_count && i < arg_count; i++) {
        int reg;
        if (f->registers_fixed) {
            // The subroutine reads its parameters where the first call put them.
            reg = f->param_registers[i];
            if (c->temp_in_use[reg] || c->temp_scratch[reg]) c->syntax_error = 1;
            c->temp_scratch[reg] = 1;
        } else {
            reg = shader_alloc_scratch_temp(c);
            if (reg < 0) return;
            f->param_registers[i] = reg;
        }
        c->temp_touched[reg] = 1;
        char temp[8];
        snprintf(temp, sizeof temp, "r%d", reg);
        const char *operand = call_operand(c, args[i], temp, list);
        // Whether the arguments from this one on name components.
        bool dotted = arguments.find('.', rest) != std::string::npos;
        rest += args[i].size() + 1;
        if (strcmp(operand, temp) == 0) continue;
        int width = kind_width(f->param_kinds[i]);
        shader_emit(c, list, kMoves[width >= 1 && width <= 4 ? width - 1 : 3][dotted ? 1 : 0], temp, operand);
    }
    if (param_count > 0) f->registers_fixed = 1;
}

const char *shader_translate_user_call(ShaderCompiler *c, const char *expression, const char *dest,
                                       TextLineList *lines)
{
    const char *open = strchr(expression, '(');
    if (!open) return nullptr;
    std::string name(expression, (size_t)(open - expression));
    for (ShaderMacroNode *node = c->macros.first; node; node = node->next) {
        if (name != node->value.name) continue;
        const char *inner = str_extract_parenthesised(expression);
        std::string arguments = inner ? inner : "";
        const char *result = shader_expand_macro(c, &node->value, lines, arguments.c_str());
        if (result) return result;
        // A macro without a result gives the expression no value.
        c->syntax_error = 1;
        return dest;
    }
    if (!c->model2) return nullptr;
    bool instruction = shader_output_style(c) == SHADER_STYLE_INSTRUCTION;
    // An assembler call reaches only the subroutines of its own program.
    if (!instruction || c->pixel_side) {
        int k = shader_find_pixel_function(c, expression);
        if (k >= 0) return call_function(c, expression, dest, lines, &c->pixel_functions[k], k - c->pixel_function_first);
    }
    if (!instruction || !c->pixel_side) {
        int k = shader_find_vertex_function(c, expression);
        if (k >= 0)
            return call_function(c, expression, dest, lines, &c->vertex_functions[k], k - c->vertex_function_first);
    }
    return nullptr;
}
