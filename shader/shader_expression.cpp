// The expression translator: additive chains, the multiplicative-level operators (component
// product, division, dot and cross products, vector times matrix), and the way to calls of
// built-in functions and plain operands, in the instruction, expression and constant styles.
#include "shader/shader_local.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const char *const kWidthSwizzles[4] = {"", ".x", ".xy", ".xyz"};

char *copy(ShaderCompiler *c, const char *text)
{
    return shader_scratch_format(c, "%s", text);
}

char *null_result(ShaderCompiler *c)
{
    c->syntax_error = 1;
    return copy(c, "null");
}

bool same(const char *a, const char *b)
{
    return strcmp(a, b) == 0;
}

bool is_number(const char *operand)
{
    return str_is_number_literal(operand);
}

// `dest` given the width of `by` when `dest` has no swizzle and `by` has one of 1 to 3 letters.
const char *widen_by(ShaderCompiler *c, const char *dest, const char *by)
{
    const char *letters = shader_swizzle_letters(by);
    size_t n = letters ? strlen(letters) : 0;
    if (shader_swizzle_letters(dest) || n < 1 || n > 3) return dest;
    return shader_scratch_format(c, "%s%s", dest, kWidthSwizzles[n]);
}

// The first "+" or "-" outside parentheses that is not a sign after an operator. A leading sign
// splits off an empty left side unless `skip_leading`, when it stays with the first term.
int split_additive(const std::string &text, bool skip_leading, std::string *left, std::string *right)
{
    std::string rest = skip_leading && !text.empty() && (text[0] == '+' || text[0] == '-') ? text.substr(1) : text;
    std::string first, second;
    int sign = shader_split_two_operands(rest.c_str(), &first, &second);
    if (!sign) return 0;
    *left = text.substr(0, text.size() - rest.size()) + first;
    *right = second;
    return sign;
}

// dest = a op b for add (code 1) or subtract (code 2). `saturate_gl_pixel` gives the "_SAT" form of
// upper-case pixel code.
void emit_additive(ShaderCompiler *c, TextLineList *lines, bool subtract, const char *dest, const char *a,
                   const char *b, bool saturate_gl_pixel)
{
    ShaderMnemonic m = subtract ? SHADER_SUB : SHADER_ADD;
    switch (shader_output_style(c)) {
    case SHADER_STYLE_CONSTANT:
        shader_record_const_op(c, subtract ? 2 : 1, dest, a, b);
        break;
    case SHADER_STYLE_EXPRESSION:
        shader_emit(c, lines, "%s = %s %c %s", dest, a, subtract ? '-' : '+', b);
        break;
    case SHADER_STYLE_INSTRUCTION:
        if (saturate_gl_pixel && c->target == 1 && c->pixel_side)
            shader_emit(c, lines, "%s_SAT %s,%s,%s", shader_mnemonic(c, m), dest, a, b);
        else
            shader_emit(c, lines, "%s %s,%s,%s", shader_mnemonic(c, m), dest, a, b);
        break;
    }
}

// dest = -operand (or operand): an expression with a leading sign.
void emit_signed_move(ShaderCompiler *c, TextLineList *lines, bool negate, const char *dest, const char *operand)
{
    if (!negate) {
        if (!same(dest, operand)) shader_emit_move(c, lines, dest, operand);
        return;
    }
    // A complement cannot be negated by a source modifier.
    if (strncmp(operand, "1-", 2) == 0 || strncmp(operand, "1 - ", 4) == 0) c->syntax_error = 1;
    const char *negated = operand[0] == '-' ? copy(c, operand + 1) : shader_scratch_format(c, "-%s", operand);
    shader_emit_move(c, lines, dest, negated);
}

// A term of a chain: resolved, or translated into the chain's temporary T.
const char *prepare_into(ShaderCompiler *c, const std::string &text, const char *t, TextLineList *lines)
{
    if (shader_is_single_operand(text.c_str())) return shader_resolve_operand(c, text.c_str(), 0);
    return shader_translate_expression(c, text.c_str(), t, lines);
}

// The terms of a chain after the first split: each with the sign that stands before it.
struct Term {
    bool subtract;
    std::string text;
};

const char *translate_additive(ShaderCompiler *c, const std::string &left, int sign, const std::string &right,
                               const char *dest, TextLineList *lines)
{
    if (right.empty()) return null_result(c);
    bool subtract = sign == 1;
    if (shader_is_single_operand(right.c_str())) {
        const char *b = shader_resolve_operand(c, right.c_str(), 0);
        if (left.empty()) {
            const char *x = widen_by(c, dest, b);
            emit_signed_move(c, lines, subtract, x, b);
            return x;
        }
        const char *a = shader_prepare_operand(c, left.c_str(), shader_width_suffix(dest), lines);
        if (shader_operand_width_by_name(c, a) != shader_operand_width_by_name(c, b)) c->modifier_error = 1;
        const char *x = dest;
        if (!is_number(a)) x = widen_by(c, x, a);
        x = widen_by(c, x, b);
        emit_additive(c, lines, subtract, x, a, b, !subtract);
        return x;
    }

    // A chain: the value accumulates in P, each further term comes through T.
    std::vector<Term> terms;
    std::string rest = right, first, second;
    bool term_subtract = subtract;
    while (int cut = split_additive(rest, true, &first, &second)) {
        terms.push_back({term_subtract, first});
        term_subtract = cut == 1;
        rest = second;
    }
    terms.push_back({term_subtract, rest});

    const char *p = c->dest_in_expression ? shader_scratch_temp(c, dest) : dest;
    const char *t = shader_scratch_temp(c, dest);
    int32_t saved_mark = c->statement_variable_mark;
    size_t k = 0;
    if (!left.empty() && shader_is_single_operand(left.c_str())) {
        const char *a = shader_resolve_operand(c, left.c_str(), 0);
        const char *into = p;
        if (shader_output_style(c) == SHADER_STYLE_EXPRESSION && is_number(a) && !shader_swizzle_letters(p))
            into = shader_scratch_format(c, "%s.x", p);
        shader_emit_move(c, lines, into, a);
    } else if (!left.empty()) {
        shader_translate_into(c, left.c_str(), p, lines);
    } else {
        // A leading sign: P starts as the first term, signed.
        const char *term = prepare_into(c, terms[0].text, t, lines);
        emit_signed_move(c, lines, terms[0].subtract, terms.size() == 1 ? dest : p, term);
        k = 1;
    }
    for (; k < terms.size(); k++) {
        if (terms[k].text.empty()) c->syntax_error = 1;
        const char *term = prepare_into(c, terms[k].text, t, lines);
        if (shader_operand_width_by_name(c, term) != shader_operand_width_by_name(c, p)) c->modifier_error = 1;
        bool last = k + 1 == terms.size();
        emit_additive(c, lines, terms[k].subtract, last ? dest : p, p, term, last || !terms[k].subtract);
    }
    c->statement_variable_mark = saved_mark;
    return dest;
}

enum MulKind { MUL_MATRIX4, MUL_MATRIX3, MUL_DIVIDE, MUL_PRODUCT, MUL_DOT, MUL_CROSS };

// The first multiplicative-level operator with balanced, non-empty sides.
bool split_multiplicative(const std::string &e, MulKind *kind, std::string *left, std::string *right)
{
    for (size_t i = 0; i < e.size(); i++) {
        size_t length = 1;
        switch (e[i]) {
        case '*':
            // "*4M" and "*3M" are matrix products; "*45" and "*4.0" are products with a number.
            if (i + 2 < e.size() && (e[i + 1] == '4' || e[i + 1] == '3') && !str_is_digit_or_dot(e[i + 2])) {
                *kind = e[i + 1] == '4' ? MUL_MATRIX4 : MUL_MATRIX3;
                length = 2;
            } else {
                *kind = MUL_PRODUCT;
            }
            break;
        case '/': *kind = MUL_DIVIDE; break;
        case '|': *kind = MUL_DOT; break;
        case '^': *kind = MUL_CROSS; break;
        default: continue;
        }
        *left = e.substr(0, i);
        *right = e.substr(i + length);
        if (!left->empty() && !right->empty() && str_parentheses_balanced(left->c_str()) &&
            str_parentheses_balanced(right->c_str()))
            return true;
    }
    return false;
}

const char *translate_product(ShaderCompiler *c, const std::string &left, const std::string &right, const char *dest,
                              TextLineList *lines)
{
    const char *dest_letters = shader_swizzle_letters(dest);
    std::string suffix = dest_letters ? std::string(".") + dest_letters : "";
    char *a = copy(c, shader_prepare_operand(c, left.c_str(), suffix.c_str(), lines));
    char *b = copy(c, shader_prepare_operand(c, right.c_str(), suffix.c_str(), lines));
    const char *a_letters = shader_swizzle_letters(a);
    const char *b_letters = shader_swizzle_letters(b);
    bool a_has = a_letters || is_number(a), b_has = b_letters || is_number(b);
    const char *x = dest;
    if ((!a_letters || is_number(a)) && (!b_letters || is_number(b))) {
        // Neither operand narrows the product.
    } else if (!dest_letters && a_has && b_has) {
        if (is_number(a)) {
            x = widen_by(c, dest, b);
        } else if (is_number(b)) {
            x = widen_by(c, dest, a);
        } else {
            const char *longer = strlen(a_letters) > strlen(b_letters) ? a_letters : b_letters;
            x = shader_scratch_format(c, "%s.%s", dest, longer);
        }
    } else {
        shader_format_swizzle(c, a, dest);
        shader_format_swizzle(c, b, dest);
    }
    int wa = shader_operand_width_by_name(c, a), wb = shader_operand_width_by_name(c, b);
    int wx = shader_operand_width_by_name(c, x);
    // A one-component operand multiplies any width.
    if (wa != wb && ((wa != 1 && wa != wx) || (wb != 1 && wb != wx))) c->modifier_error = 1;

    switch (shader_output_style(c)) {
    case SHADER_STYLE_CONSTANT: shader_record_const_op(c, 3, x, a, b); break;
    case SHADER_STYLE_EXPRESSION: shader_emit(c, lines, "%s = %s * %s", x, a, b); break;
    case SHADER_STYLE_INSTRUCTION:
        if (c->target == 1 && c->pixel_side && a[0] != 'c')
            shader_emit(c, lines, "MUL_SAT %s,%s,%s", x, a, b);
        else
            shader_emit(c, lines, "%s %s,%s,%s", shader_mnemonic(c, SHADER_MUL), x, a, b);
        break;
    }
    return x;
}

const char *translate_divide(ShaderCompiler *c, const char *a, const char *b, const char *dest, TextLineList *lines)
{
    ShaderStyle style = shader_output_style(c);
    if (style == SHADER_STYLE_EXPRESSION) {
        shader_emit(c, lines, "%s = %s / %s", dest, a, b);
        return dest;
    }
    const char *t = shader_scratch_temp(c, nullptr);
    if (style == SHADER_STYLE_CONSTANT) {
        shader_record_const_op(c, 4, t, b, nullptr);
        shader_record_const_op(c, 3, dest, a, t);
        return dest;
    }
    shader_emit(c, lines, "%s %s,%s", shader_mnemonic(c, SHADER_RCP), t, shader_scalar_source(c, b));
    shader_emit(c, lines, "%s %s,%s,%s", shader_mnemonic(c, SHADER_MUL), dest, a, t);
    return dest;
}

const char *translate_dot(ShaderCompiler *c, const char *a, const char *b, const char *dest, TextLineList *lines)
{
    switch (shader_output_style(c)) {
    case SHADER_STYLE_CONSTANT: shader_record_const_op(c, 13, dest, a, b); break;
    case SHADER_STYLE_EXPRESSION:
        // "|" is the three-component product; HLSL's dot of two float4 would take four.
        if (!shader_swizzle_letters(a) && !is_number(a)) a = shader_scratch_format(c, "%s.xyz", a);
        if (!shader_swizzle_letters(b) && !is_number(b)) b = shader_scratch_format(c, "%s.xyz", b);
        if (shader_swizzle_letters(dest)) {
            shader_emit(c, lines, "%s = dot(%s,%s)", dest, a, b);
        } else {
            const char *t = shader_scratch_temp(c, nullptr);
            shader_emit(c, lines, "%s.x = dot(%s,%s)", t, a, b);
            shader_emit(c, lines, "%s = %s.xxxx", dest, t);
        }
        break;
    case SHADER_STYLE_INSTRUCTION:
        if (c->target == 1 && c->pixel_side)
            shader_emit(c, lines, "DP3_SAT %s,%s,%s", dest, a, b);
        else
            shader_emit(c, lines, "%s %s,%s,%s", shader_mnemonic(c, SHADER_DP3), dest, a, b);
        break;
    }
    return dest;
}

const char *translate_cross(ShaderCompiler *c, const char *a, const char *b, const char *dest, TextLineList *lines)
{
    // The destination may not be overwritten while an operand is still read from it.
    const char *y = same(dest, a) || same(dest, b) ? shader_scratch_temp(c, nullptr) : dest;
    const char *t = shader_scratch_temp(c, nullptr);
    switch (shader_output_style(c)) {
    case SHADER_STYLE_CONSTANT: shader_record_const_op(c, 10, y, a, b); break;
    case SHADER_STYLE_EXPRESSION:
        shader_emit(c, lines, "%s.xyz = cross( %s.xyz , %s.xyz )", y, a, b);
        shader_emit(c, lines, "%s.w = 0.0", y);
        break;
    case SHADER_STYLE_INSTRUCTION:
        shader_emit(c, lines, "%s %s,%s.yzxw,%s.zxyw", shader_mnemonic(c, SHADER_MUL), t, a, b);
        shader_emit(c, lines, "%s %s,-%s.zxyw,%s.yzxw,%s", shader_mnemonic(c, SHADER_MAD), y, a, b, t);
        break;
    }
    return y;
}

// Four (or three) DP4/DP3 lines of the upper-case assembler, one per matrix register.
void emit_matrix_rows(ShaderCompiler *c, TextLineList *lines, const char *mnemonic, int rows, const char *y,
                      const char *v, const char *matrix)
{
    std::string prefix(strlen(matrix) + 8, '\0');
    int index = 0;
    shader_format_relative_address(prefix.data(), &index, matrix);
    prefix.resize(strlen(prefix.c_str()));
    static const char kRow[] = "xyzw";
    for (int i = 0; i < rows; i++)
        shader_emit(c, lines, "%s %s.%c,%s,%s%d]", mnemonic, y, kRow[i], v, prefix.c_str(), index + i);
}

const char *translate_matrix(ShaderCompiler *c, bool four, const std::string &left, const std::string &right,
                             const char *dest, TextLineList *lines)
{
    const char *v = shader_prepare_operand(c, left.c_str(), "", lines);
    const char *m = shader_resolve_operand(c, right.c_str(), 0);
    // m4x4 and m3x3 may not write the register they read.
    const char *y = same(dest, v) ? shader_scratch_temp(c, nullptr) : dest;
    bool gl_expression = c->target == 1 && c->model2;
    if (c->target == 2) {
        shader_record_const_op(c, four ? 8 : 9, y, v, m);
    } else if (four && gl_expression) {
        shader_emit(c, lines, "%s = %s * %s", y, m, v);
    } else if (four && c->target == 0) {
        shader_emit(c, lines, c->hlsl_mode ? "%s = mul(%s,%s)" : "m4x4 %s,%s,%s", y, v, m);
    } else if (four) {
        emit_matrix_rows(c, lines, "DP4", 4, y, v, m);
    } else if (c->target == 0 && c->hlsl_mode) {
        const char *t = shader_scratch_temp(c, nullptr);
        shader_emit(c, lines, "%s.xyz = %s.xyz", t, v);
        shader_emit(c, lines, "%s.w = 0.0f", t);
        shader_emit(c, lines, "%s = mul(%s,%s)", y, t, m);
    } else if (gl_expression) {
        const char *t = shader_scratch_temp(c, nullptr);
        shader_emit(c, lines, "%s.xyz = %s.xyz", t, v);
        shader_emit(c, lines, "%s.w = 0.0", t);
        shader_emit(c, lines, "%s = %s * %s", y, m, t);
        shader_emit(c, lines, "%s.w = 0.0", y);
    } else {
        // The fourth component is 0, taken from the engine constant that holds it.
        const char *zero = shader_resolve_operand(c, "SCALAR_ZERO", 0);
        const char *letters = shader_swizzle_letters(y);
        if (c->target == 0 && !letters) {
            shader_emit(c, lines, "m3x3 %s.xyz,%s,%s", y, v, m);
            shader_emit(c, lines, "mov %s.w,%s", y, zero);
        } else if (c->target == 0) {
            shader_emit(c, lines, "m3x3 %s,%s,%s", y, v, m);
        } else {
            emit_matrix_rows(c, lines, "DP3", 3, y, v, m);
            shader_emit(c, lines, "MOV %s.w,%s", y, zero);
        }
    }
    return y;
}

const char *translate_multiplicative(ShaderCompiler *c, MulKind kind, const std::string &left,
                                     const std::string &right, const char *dest, TextLineList *lines)
{
    switch (kind) {
    case MUL_MATRIX4: return translate_matrix(c, true, left, right, dest, lines);
    case MUL_MATRIX3: return translate_matrix(c, false, left, right, dest, lines);
    case MUL_PRODUCT: return translate_product(c, left, right, dest, lines);
    default: break;
    }
    const char *a = shader_prepare_operand(c, left.c_str(), "", lines);
    const char *b = shader_prepare_operand(c, right.c_str(), "", lines);
    if (kind == MUL_DIVIDE) return translate_divide(c, a, b, dest, lines);
    if (kind == MUL_DOT) return translate_dot(c, a, b, dest, lines);
    return translate_cross(c, a, b, dest, lines);
}

// Calls of built-in functions, and a plain operand.
const char *translate_call(ShaderCompiler *c, const std::string &e, const char *dest, TextLineList *lines)
{
    if (const char *result = shader_translate_user_call(c, e.c_str(), dest, lines)) return result;
    for (const ShaderBuiltinName *b = g_shader_builtin_names; b->name; b++) {
        if (!str_is_prefix_of(b->name, e.c_str())) continue;
        // "normal..." is no length call; "phase" writes its line and the tests go on.
        if (b->translation == 23 && str_starts_with(e.c_str(), "normal")) continue;
        if (b->translation == 4) {
            if (!c->model2 && c->target == 0 && !c->hlsl_mode) {
                shader_emit_instruction(c, lines, "phase");
                c->phase_done = 1;
            }
            continue;
        }
        if (const char *result = shader_translate_builtin(c, b->translation, e.c_str(), dest, lines)) return result;
    }
    const char *operand = shader_resolve_operand(c, e.c_str(), 0);
    if (!c->writes_pixel_output && shader_operand_width_by_name(c, operand) > shader_operand_width_by_name(c, dest))
        c->modifier_error = 1;
    return operand;
}

} // namespace

const ShaderBuiltinName g_shader_builtin_names[] = {
    {"vec2", 1},        {"vector2", 1},     {"vec3", 2},         {"vector3", 2},       {"vec4", 3},
    {"vector4", 3},     {"phase", 4},       {"sample", 5},       {"mul_x2", 6},        {"reciprocal", 7},
    {"rcp", 7},         {"mul_x4", 8},      {"mul_sat", 9},      {"mul", 10},          {"dot_sat", 11},
    {"dotofbx2", 12},   {"dotbx2", 12},     {"dot4", 13},        {"dot", 14},          {"fractionnal", 15},
    {"frac", 15},       {"fract", 15},      {"cmp", 16},         {"compare", 16},      {"refract", 17},
    {"mix_sat", 18},    {"lerp_sat", 18},   {"mix", 19},         {"lerp", 19},         {"smoothstep", 20},
    {"coord", 21},      {"normalise", 22},  {"normalize", 22},   {"norme", 23},        {"norm", 23},
    {"inv", 24},        {"lit", 25},        {"bx2", 26},         {"log2", 27},         {"log", 28},
    {"exp2", 29},       {"exp", 30},        {"abs", 31},         {"tgt", 32},          {"tangent", 32},
    {"reflect", 33},    {"mod", 34},        {"iter", 35},        {"floor", 36},        {"trunc", 37},
    {"round", 38},      {"degrees", 39},    {"radians", 40},     {"rsq", 41},          {"rsqrt", 42},
    {"sqrt", 43},       {"atan2", 44},      {"atan", 45},        {"tan", 46},          {"asin", 47},
    {"sin", 48},        {"acos", 49},       {"cos", 50},         {"normal_interpolation", 51},
    {"interpolation", 52}, {"normal_interpolate", 53}, {"interpolate", 54}, {"clamp", 55}, {"sat", 56},
    {"saturate", 56},   {"ValueToRGB", 57}, {"RGBToValue", 58},  {"max", 59},          {"equation", 60},
    {"plane", 61},      {"min", 62},        {"pow", 63},         {"sge", 64},          {"slt", 65},
    {nullptr, 0},
};

const char *shader_translate_expression(ShaderCompiler *c, const char *expression, const char *dest,
                                        TextLineList *lines)
{
    std::string e = expression;
    if (e.find('=') != std::string::npos) c->syntax_error = 1;
    // One outer pair of parentheses goes, not more.
    if (e.size() >= 2 && e.back() == ')' && str_is_fully_parenthesised(e.c_str())) e = e.substr(1, e.size() - 2);
    if (e.empty()) return null_result(c);
    if (e.find_first_of("+^-*/|") == std::string::npos) return translate_call(c, e, dest, lines);

    std::string left, right;
    if (int sign = split_additive(e, false, &left, &right))
        return translate_additive(c, left, sign, right, dest, lines);
    MulKind kind;
    if (split_multiplicative(e, &kind, &left, &right))
        return translate_multiplicative(c, kind, left, right, dest, lines);
    return translate_call(c, e, dest, lines);
}

const char *shader_translate_into(ShaderCompiler *c, const char *expression, const char *dest, TextLineList *lines)
{
    const char *result = shader_translate_expression(c, expression, dest, lines);
    if (!same(result, dest)) shader_emit_move(c, lines, dest, result);
    return dest;
}

const char *shader_prepare_operand(ShaderCompiler *c, const char *text, const char *temp_suffix, TextLineList *lines)
{
    if (shader_is_single_operand(text)) return shader_resolve_operand(c, text, 0);
    return shader_translate_expression(c, text, shader_scratch_temp_suffixed(c, temp_suffix), lines);
}

void shader_emit_move(ShaderCompiler *c, TextLineList *lines, const char *dest, const char *source)
{
    switch (shader_output_style(c)) {
    case SHADER_STYLE_CONSTANT: shader_record_const_op(c, 0, dest, source, nullptr); break;
    case SHADER_STYLE_EXPRESSION: shader_emit(c, lines, "%s = %s", dest, source); break;
    case SHADER_STYLE_INSTRUCTION:
        shader_emit(c, lines, "%s %s,%s", shader_mnemonic(c, SHADER_MOV), dest, source);
        break;
    }
}
