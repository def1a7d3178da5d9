// Operands of the shader-script compiler: the scratch-string pool, emitted lines, resolution of a
// script operand into target text, operand widths and swizzles, and the splitting of operand
// lists.
#include "shader/shader_local.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

char g_shader_scratch_pool[SHADER_SCRATCH_COUNT][SHADER_SCRATCH_SIZE];
int g_shader_scratch_index = 0;

namespace {

// Handed out past the end of the pool: the compile has failed, the caller still gets memory.
char g_scratch_spare[SHADER_SCRATCH_SIZE];

const char *const kMnemonics[][2] = {
    {"mul", "MUL"}, {"dp3", "DP3"}, {"dp4", "DP4"}, {"rsq", "RSQ"}, {"rcp", "RCP"},   {"add", "ADD"},
    {"sub", "SUB"}, {"max", "MAX"}, {"min", "MIN"}, {"mov", "MOV"}, {"sge", "SGE"},   {"exp", "EX2"},
    {"log", "LG2"}, {"expp", "EXP"}, {"mad", "MAD"}, {"slt", "SLT"}, {"lit", "LIT"},
};

// Names that stand for one component of the engine's constant vectors.
const char *const kNamedScalars[][2] = {
    {"SCALAR_1DIV3", "trigo_cst3.x"}, {"SCALAR_1DIV5", "trigo_cst4.y"}, {"SCALAR_1DIV10", "trigo_cst3.w"},
    {"SCALAR_1DIV4", "trigo_cst4.w"}, {"SCALAR_HALF", "trigo_cst2.w"},  {"SCALAR_ZERO", "trigo_cst.x"},
    {"SCALAR_ONE", "trigo_cst.z"},    {"SCALAR_PI", "trigo_cst.w"},
};

bool is_digit(char ch)
{
    return ch >= '0' && ch <= '9';
}

// Constants are named by register in assembler text (and in recorded operations).
bool constants_by_register(const ShaderCompiler *c)
{
    return (c->target == 0 && !c->hlsl_mode) || c->target == 2;
}

// Index expressions are kept in the operand ("%s[%s]") where the target indexes arrays itself.
bool indexes_by_expression(const ShaderCompiler *c)
{
    return (c->target == 0 && c->hlsl_mode) || (c->target == 1 && c->model2);
}

// Index of the "]" that closes the "[" at `open`, or npos.
size_t closing_bracket(const std::string &text, size_t open)
{
    int depth = 0;
    for (size_t i = open; i < text.size(); i++) {
        if (text[i] == '[') depth++;
        else if (text[i] == ']' && --depth == 0) return i;
    }
    return std::string::npos;
}

bool balanced_or_empty(const std::string &text)
{
    return text.empty() || str_parentheses_balanced(text.c_str());
}

// A "+" or "-" right after another operator (or an opening parenthesis or comma) is a sign.
bool is_sign_position(const std::string &text, size_t i)
{
    return i > 0 && strchr("+-*/|^(,", text[i - 1]) != nullptr;
}

// An explicit temporary "rN": marks it and writes its text. Returns null when the text is no
// register name.
char *resolve_register(ShaderCompiler *c, const std::string &base, int modifier)
{
    std::string name = base, swizzle;
    if (name.find('[') == std::string::npos) {
        size_t dot = name.find('.');
        if (dot != std::string::npos) {
            swizzle = name.substr(dot);
            name.resize(dot);
        }
    }
    size_t digits = 1;
    while (digits < name.size() && is_digit(name[digits])) digits++;
    int number = name[1] - '0';
    if (digits >= 3) number = number * 10 + (name[2] - '0');
    // Registers beyond those of the technique would silently alias another one: refused.
    bool valid = digits == name.size() && digits <= 3;
    bool accepted = number <= 11 || (number <= 16 && (c->model2 || c->hlsl_mode)) || (number <= 31 && c->hlsl_mode);
    if (!valid || !accepted) {
        c->syntax_error = 1;
        number = name[1] - '0';
    }
    c->temp_touched[number] = 1;
    if (number >= 12 || !c->in_call_arguments) c->temp_in_use[number] = 1;
    static const char *const kForms[3] = {"r%d%s", "-r%d%s", "1 - r%d%s"};
    return shader_scratch_format(c, kForms[modifier], number, swizzle.c_str());
}

// The parts of a name operand: array or plain name, its index text (when bracketed) and swizzle.
struct NameParts {
    std::string name;
    std::string index;
    std::string swizzle;
    bool indexed = false;
};

bool split_name(const std::string &base, NameParts *parts)
{
    size_t open = base.find('[');
    if (open == std::string::npos) {
        size_t dot = base.find('.');
        parts->name = base.substr(0, dot);
        if (dot != std::string::npos) parts->swizzle = base.substr(dot);
        return true;
    }
    size_t close = closing_bracket(base, open);
    if (close == std::string::npos) return false;
    parts->indexed = true;
    parts->name = base.substr(0, open);
    parts->index = base.substr(open + 1, close - open - 1);
    std::string after = base.substr(close + 1);
    size_t dot = after.find('.');
    if (dot != std::string::npos) parts->swizzle = after.substr(dot);
    return !parts->name.empty() && !parts->index.empty();
}

// Translates a relative index into the address register (or into a temporary the operand keeps);
// returns the temporary text for the operand's "[%s]" form, or "" for the address-register form.
std::string load_index(ShaderCompiler *c, const std::string &index)
{
    int32_t before[SHADER_TEMP_COUNT];
    memcpy(before, c->temp_scratch, sizeof before);
    TextLineList *lines = c->current_lines;
    if (indexes_by_expression(c)) {
        char *temp = shader_scratch_temp_suffixed(c, ".x");
        shader_translate_into(c, index.c_str(), temp, lines);
        return temp;
    }
    char *temp = shader_scratch_temp(c, nullptr);
    shader_translate_into(c, index.c_str(), temp, lines);
    // The index is used once, here: its temporaries go back at once, those of the expression
    // around it stay held.
    shader_release_scratch_since(c, before);
    if (c->target == 2) {
        shader_record_const_op(c, 0, "a0", temp, nullptr);
    } else if (c->target == 1) {
        shader_emit(c, lines, "ARL A0.x,%s", temp);
    } else {
        shader_emit(c, lines, c->model2 ? "mova a0.x,%s" : "mov a0.x,%s", temp);
    }
    return "";
}

std::string register_name(char file, int number)
{
    char name[16];
    snprintf(name, sizeof name, "%c%d", file, number);
    return name;
}

// Step 7 of resolution: the target text of a name, remembered in the variable list in use.
std::string lookup_name(ShaderCompiler *c, const std::string &name, int declare)
{
    ShaderSymbolList *variables = c->in_call_arguments ? &c->call_variables : &c->variables;
    if (ShaderSymbolNode *node = shader_symbol_list_find(variables, name.c_str())) return node->symbol.name;

    std::string text;
    const char *n = name.c_str();
    const NameMapEntry *entry = nullptr;
    if (c->pixel_side ? shader_find_pixel_constant(c, n) != nullptr : shader_find_constant(c, n) != nullptr) {
        if (c->pixel_side)
            c->ps_const_used_end = c->last_found_index + 1;
        else
            c->const_used_end = c->last_found_index + c->last_found_registers;
        text = constants_by_register(c) ? register_name('c', c->last_found_index) : name;
    } else if ((entry = shader_find_register_name(c, n)) || (entry = shader_find_input_name(c, n))) {
        text = entry->to;
    } else if (name == g_shader_work_reg0 || name == g_shader_work_reg1 || name == g_shader_work_reg2) {
        text = name;
        c->temp_touched[atoi(n + 1)] = 1;
    } else {
        if (!declare) c->syntax_error = 1;
        int temp = shader_alloc_temp(c);
        if (temp >= 0) c->temp_touched[temp] = 1;
        text = temp >= 0 ? register_name('r', temp) : std::string(g_shader_work_reg0);
        c->variable_count++;
    }
    if (text.size() >= SHADER_SYMBOL_NAME_SIZE) shader_capacity_error(c, "characters in a name");
    ShaderSymbol symbol = {};
    shader_init_symbol_node(&symbol, 1, text.c_str());
    shader_symbol_list_append(variables, symbol, n);
    return text;
}

// Replaces or adds the swizzle of a 64-byte operand; a number literal is left alone.
void set_swizzle(ShaderCompiler *c, char *operand, const char *letters)
{
    if (str_is_number_literal(operand)) return;
    int dot = shader_find_swizzle_dot(operand);
    std::string base = dot < 0 ? std::string(operand) : std::string(operand, (size_t)dot);
    int n = snprintf(operand, SHADER_SCRATCH_SIZE, "%s.%s", base.c_str(), letters);
    if (n >= SHADER_SCRATCH_SIZE) shader_capacity_error(c, "characters in an operand");
}

const char *const kWidthSwizzles[5] = {"", "x", "xy", "xyz", "xyzw"};

} // namespace

void shader_scratch_reset()
{
    g_shader_scratch_index = 0;
}

char *shader_scratch_take(ShaderCompiler *c)
{
    char *s = g_scratch_spare;
    if (shader_check_capacity(c, g_shader_scratch_index, 1, SHADER_SCRATCH_COUNT, "operand strings in one statement"))
        s = g_shader_scratch_pool[g_shader_scratch_index++];
    s[0] = 0;
    return s;
}

char *shader_scratch_format(ShaderCompiler *c, const char *format, ...)
{
    char *s = shader_scratch_take(c);
    va_list args;
    va_start(args, format);
    int n = vsnprintf(s, SHADER_SCRATCH_SIZE, format, args);
    va_end(args);
    if (n >= SHADER_SCRATCH_SIZE) shader_capacity_error(c, "characters in an operand");
    return s;
}

void shader_emit_instruction(ShaderCompiler *c, TextLineList *list, const char *line)
{
    if (!list) return;
    if (c->hlsl_statement_mode) {
        char closed[SHADER_LINE_SIZE];
        if (snprintf(closed, sizeof closed, "%s;", line) >= (int)sizeof closed)
            shader_capacity_error(c, "characters in a generated line");
        shader_line_list_append(list, closed);
    } else {
        shader_line_list_append(list, line);
    }
    if (c->pixel_side && !config_str_contains(line, "texld")) c->pixel_arith_count++;
}

void shader_emit(ShaderCompiler *c, TextLineList *list, const char *format, ...)
{
    char line[SHADER_LINE_SIZE];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n >= (int)sizeof line) shader_capacity_error(c, "characters in a generated line");
    shader_emit_instruction(c, list, line);
}

ShaderStyle shader_output_style(const ShaderCompiler *c)
{
    if (c->target == 2) return SHADER_STYLE_CONSTANT;
    if ((c->target == 1 && c->model2) || (c->target == 0 && c->hlsl_mode)) return SHADER_STYLE_EXPRESSION;
    return SHADER_STYLE_INSTRUCTION;
}

const char *shader_mnemonic(const ShaderCompiler *c, ShaderMnemonic m)
{
    return kMnemonics[m][c->target == 0 ? 0 : 1];
}

char *shader_resolve_operand(ShaderCompiler *c, const char *text, int declare)
{
    int modifier = 0;
    const char *base = text;
    if (text[0] == '-') {
        modifier = 1;
        base = text + 1;
    } else if (text[0] == '1' && text[1] == '-') {
        modifier = 2;
        base = text + 2;
    }
    if (str_is_number_literal(modifier == 1 ? base : text)) {
        // HLSL takes a float suffix; a literal that has one keeps it.
        size_t length = strlen(text);
        bool suffix = c->target == 0 && strchr(text, '.') && text[length - 1] != 'f';
        return shader_scratch_format(c, suffix ? "%sf" : "%s", text);
    }

    std::string name = base;
    for (const auto &scalar : kNamedScalars) {
        if (name == scalar[0]) name = scalar[1];
    }
    if (name.size() >= 2 && name[0] == 'r' && is_digit(name[1])) return resolve_register(c, name, modifier);

    NameParts parts;
    if (!split_name(name, &parts)) {
        c->syntax_error = 1;
        return shader_scratch_format(c, "%s", "r0");
    }
    std::string lookup = parts.name;
    std::string index_temp;
    bool relative = false;
    int element = 0;
    if (parts.indexed && str_is_all_digits(parts.index.c_str())) {
        long value = strtol(parts.index.c_str(), nullptr, 10);
        element = value > 0xFFFF ? 0xFFFF : (int)value;
        if (c->target != 1) lookup = parts.name + std::to_string(element);
    } else if (parts.indexed) {
        relative = true;
        index_temp = load_index(c, parts.index);
        if (constants_by_register(c)) lookup = parts.name + "0";
    }

    std::string found = lookup_name(c, lookup, declare);
    char *out;
    if (!relative && parts.indexed && c->target == 1) {
        out = shader_scratch_format(c, "%s[%d]%s", found.c_str(), element * c->last_found_registers,
                                    parts.swizzle.c_str());
    } else if (!relative) {
        out = shader_scratch_format(c, "%s%s", found.c_str(), parts.swizzle.c_str());
    } else if (constants_by_register(c)) {
        // Relative addressing reaches constants only.
        if (found.size() < 2 || found[0] != 'c' || !str_is_all_digits(found.c_str() + 1)) c->syntax_error = 1;
        out = shader_scratch_format(c, "c[%d+a0.x]%s", atoi(found.c_str() + 1), parts.swizzle.c_str());
    } else if (!index_temp.empty()) {
        out = shader_scratch_format(c, "%s[%s]%s", found.c_str(), index_temp.c_str(), parts.swizzle.c_str());
    } else {
        out = shader_scratch_format(c, "%s[A0.x]%s", found.c_str(), parts.swizzle.c_str());
    }
    return modifier ? shader_format_operand_modifier(c, modifier, out) : out;
}

char *shader_format_operand_modifier(ShaderCompiler *c, int modifier, const char *text)
{
    static const char *const kForms[3] = {"%s", "-%s", "1-%s"};
    if (modifier < 0 || modifier > 2) return shader_scratch_take(c);
    return shader_scratch_format(c, kForms[modifier], text);
}

int shader_is_mapped_register(ShaderCompiler *c, const char *destination)
{
    const char *name = destination;
    if (name[0] == '-') name++;
    else if (name[0] == '1' && name[1] == '-') name += 2;
    std::string cut = name;
    if (cut.find('[') == std::string::npos) cut = cut.substr(0, cut.find('.'));
    return shader_find_register_name(c, cut.c_str()) ? 1 : 0;
}

const char *shader_swizzle_letters(const char *operand)
{
    if (str_is_number_literal(operand)) return nullptr;
    int dot = shader_find_swizzle_dot(operand);
    return dot < 0 ? nullptr : operand + dot + 1;
}

int shader_operand_width(const char *operand)
{
    if (str_is_number_literal(operand)) return 0;
    const char *letters = shader_swizzle_letters(operand);
    return letters ? (int)strlen(letters) : 4;
}

int shader_operand_width_by_name(const ShaderCompiler *c, const char *operand)
{
    if (str_is_number_literal(operand)) return 1;
    for (int i = 0; i < 4; i++) {
        if (!c->function_param_names[i][0] || strcmp(c->function_param_names[i], operand) != 0) continue;
        switch (c->function_param_types[i]) {
        case 1: case 5: return 1;
        case 2: case 6: return 2;
        case 3: case 7: return 3;
        default: return 4;
        }
    }
    const char *letters = shader_swizzle_letters(operand);
    return letters ? (int)strlen(letters) : 4;
}

// An operand without swizzle gets the reference's first components; a one-letter swizzle is
// repeated to the reference's width; longer swizzles stay.
void shader_format_swizzle(ShaderCompiler *c, char *operand, const char *reference)
{
    const char *ref = shader_swizzle_letters(reference);
    int n = ref ? (int)strlen(ref) : 0;
    if (n < 1 || n > 4 || str_is_number_literal(operand)) return;
    const char *letters = shader_swizzle_letters(operand);
    if (!letters) {
        set_swizzle(c, operand, kWidthSwizzles[n]);
    } else if (strlen(letters) == 1) {
        char repeated[5] = {};
        for (int i = 0; i < n; i++) repeated[i] = letters[0];
        set_swizzle(c, operand, repeated);
    }
}

void shader_match_swizzle_width(ShaderCompiler *c, char *operand, const char *reference)
{
    const char *ref = shader_swizzle_letters(reference);
    int n = ref ? (int)strlen(ref) : 4;
    if (n >= 1 && n <= 3 && !shader_swizzle_letters(operand)) set_swizzle(c, operand, kWidthSwizzles[n]);
}

void shader_match_swizzle_width_1(ShaderCompiler *c, char *result, const char *text, const char *reference)
{
    if (snprintf(result, SHADER_SCRATCH_SIZE, "%s", text) >= SHADER_SCRATCH_SIZE)
        shader_capacity_error(c, "characters in an operand");
    if (shader_swizzle_letters(result)) return;
    const char *ref = shader_swizzle_letters(reference);
    int n = ref ? (int)strlen(ref) : 0;
    if (n >= 1 && n <= 4) set_swizzle(c, result, kWidthSwizzles[n]);
    else if (str_is_number_literal(reference)) set_swizzle(c, result, "x");
}

void shader_match_swizzle_width_2(ShaderCompiler *c, char *result, const char *text, const char *reference1,
                                  const char *reference2)
{
    if (snprintf(result, SHADER_SCRATCH_SIZE, "%s", text) >= SHADER_SCRATCH_SIZE)
        shader_capacity_error(c, "characters in an operand");
    if (shader_swizzle_letters(result)) return;
    const char *ref = shader_swizzle_letters(reference1);
    if (!ref) ref = shader_swizzle_letters(reference2);
    int n = ref ? (int)strlen(ref) : 0;
    if (n >= 1 && n <= 4) set_swizzle(c, result, kWidthSwizzles[n]);
    else if (str_is_number_literal(reference1) || str_is_number_literal(reference2)) set_swizzle(c, result, "x");
}

char *shader_scratch_temp_suffixed(ShaderCompiler *c, const char *suffix)
{
    int n = shader_alloc_scratch_temp(c);
    // Out of temporaries the compile has failed already; no register -1 is written.
    if (n < 0) return shader_scratch_format(c, "%s%s", g_shader_work_reg0, suffix);
    c->temp_touched[n] = 1;
    return shader_scratch_format(c, "r%d%s", n, suffix);
}

const char *shader_width_suffix(const char *reference)
{
    static const char *const kSuffixes[4] = {"", ".x", ".xy", ".xyz"};
    const char *letters = reference ? shader_swizzle_letters(reference) : nullptr;
    size_t n = letters ? strlen(letters) : 4;
    return n >= 1 && n <= 3 ? kSuffixes[n] : "";
}

char *shader_scratch_temp(ShaderCompiler *c, const char *reference)
{
    return shader_scratch_temp_suffixed(c, shader_width_suffix(reference));
}

void shader_release_scratch_since(ShaderCompiler *c, const int32_t *before)
{
    for (int n = 0; n < SHADER_TEMP_COUNT; n++) {
        if (c->temp_scratch[n] == 1 && before[n] == 0) c->temp_scratch[n] = 0;
    }
}

int shader_split_two_operands(const char *text, std::string *first, std::string *second)
{
    std::string t = text;
    for (size_t i = 0; i < t.size(); i++) {
        if ((t[i] != '+' && t[i] != '-') || is_sign_position(t, i)) continue;
        std::string left = t.substr(0, i), right = t.substr(i + 1);
        if (!balanced_or_empty(left) || !balanced_or_empty(right)) continue;
        *first = left;
        *second = right;
        return t[i] == '-' ? 1 : 2;
    }
    return 0;
}

int shader_split_arguments(const char *text, std::string *arguments, int capacity)
{
    int count = 0;
    int position = 0;
    while (const char *argument = str_next_argument(text, &position)) {
        if (count < capacity) arguments[count] = argument;
        count++;
    }
    return count;
}
