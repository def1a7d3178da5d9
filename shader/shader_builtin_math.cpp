// Built-in functions of the shader language, second group: logarithms, exponentials, rounding,
// roots, tangents and reflection; the trigonometric functions, as power series on the engine's
// constant vectors where the target has no instruction for them; interpolation, clamping, colour
// packing, planes, maxima, minima, powers and comparisons.
#include "shader/shader_local.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool has_selection(const char *operand)
{
    return shader_swizzle_letters(operand) != nullptr;
}

// A vertex output of the assembler forms (oPos, oD0, oT3 ... or result.position ...): write-only.
bool is_output_register(const char *operand)
{
    return (operand[0] == 'o' && operand[1] >= 'A' && operand[1] <= 'Z') || str_starts_with(operand, "result.");
}

const char *copy(ShaderCompiler *c, const char *text)
{
    return shader_scratch_format(c, "%s", text);
}

const char *m(ShaderCompiler *c, ShaderMnemonic mnemonic)
{
    return shader_mnemonic(c, mnemonic);
}

bool expression_form(const ShaderCompiler *c)
{
    ShaderForm form = shader_builtin_form(c);
    return c->target != 2 && (form == SHADER_FORM_HLSL || form == SHADER_FORM_GL);
}

// D widened to the width of `by` (D itself when it has a selection).
const char *widened(ShaderCompiler *c, const char *d, const char *by)
{
    char *w = shader_scratch_take(c);
    shader_match_swizzle_width_1(c, w, d, by);
    return w;
}

// An operand's base (the text before its selection) and one component of it: the selection's
// letter at `index` (its last letter for a shorter one), or `letter` without a selection.
const char *component(ShaderCompiler *c, const char *operand, int index, char letter)
{
    if (str_is_number_literal(operand)) return operand;
    const char *letters = shader_swizzle_letters(operand);
    if (!letters) return shader_scratch_format(c, "%s.%c", operand, letter);
    int n = (int)strlen(letters);
    int dot = shader_find_swizzle_dot(operand);
    return shader_scratch_format(c, "%.*s.%c", dot, operand, letters[index < n ? index : n - 1]);
}

// ---- the unary family ---------------------------------------------------------------------------

struct Unary {
    int translation;
    int op;               // recorded operation, -1 for none
    const char *function; // name in the expression forms
    int instruction;      // 0 none, 1 log, 2 exp, 3 max (abs), 4 floor expansion, 5 rsq
};

const Unary kUnary[] = {
    {27, 21, "log2", 1},    {28, -1, "log", 0},     {29, 20, "exp2", 2},   {30, -1, "exp", 0},
    {31, 27, "abs", 3},     {36, 23, "floor", 4},   {37, -1, "trunc", 0},  {38, -1, "round", 0},
    {39, -1, "degrees", 0}, {40, -1, "radians", 0}, {41, 5, nullptr, 5},   {42, 5, nullptr, 5},
    {43, -1, "sqrt", 0},
};

// x - frac(x) for each selected component of D, expp writing the fraction into T.y.
void write_floor(ShaderCompiler *c, TextLineList *lines, const char *d, const char *x)
{
    const char *t = shader_scratch_temp(c, nullptr);
    const char *d_letters = shader_swizzle_letters(d);
    std::string d_base = d_letters ? std::string(d, (size_t)shader_find_swizzle_dot(d)) : d;
    std::string components = d_letters ? d_letters : "xyzw";
    for (size_t i = 0; i < components.size(); i++) {
        const char *source = component(c, x, (int)i, components[i]);
        shader_emit(c, lines, "%s %s.y,%s", m(c, SHADER_EXPP), t, source);
        shader_emit(c, lines, "%s %s.%c,-%s.y,%s", m(c, SHADER_ADD), d_base.c_str(), components[i], t, source);
    }
}

const char *translate_unary(ShaderCall *call, const Unary &u)
{
    ShaderCompiler *c = call->c;
    const char *x = shader_builtin_single_argument(call);
    if (!x) return call->d;
    const char *d = call->d;
    if (u.instruction == 5) {
        // rsq writes a fresh temporary of its own, which the caller moves where needed.
        d = shader_scratch_temp(c, nullptr);
    }
    if (c->target == 2) {
        if (u.op < 0) return shader_builtin_no_form(call);
        shader_record_const_op(c, (uint32_t)u.op, d, x, nullptr);
        return copy(c, d);
    }
    if (expression_form(c)) {
        const char *w = widened(c, d, x);
        if (u.instruction == 5)
            shader_emit(c, call->lines, "%s = 1.0 / sqrt( %s )", w, x);
        else
            shader_emit(c, call->lines, "%s = %s( %s )", w, u.function, x);
        return w;
    }
    switch (u.instruction) {
    case 1: shader_emit(c, call->lines, "%s %s,%s", m(c, SHADER_LOG), d, x); break;
    case 2: shader_emit(c, call->lines, "%s %s,%s", m(c, SHADER_EXP), d, x); break;
    case 3: shader_emit(c, call->lines, "%s %s,%s,%s", m(c, SHADER_MAX), d, x, shader_negated(c, x)); break;
    case 4: write_floor(c, call->lines, d, x); break;
    case 5: shader_emit(c, call->lines, "%s %s,%s", m(c, SHADER_RSQ), d, shader_scalar_source(c, x)); break;
    default: return shader_builtin_no_form(call);
    }
    return copy(c, d);
}

// ---- two-argument members of the unary family and iter ------------------------------------------

// tgt, reflect and mod: when the first argument is a single operand the second is prepared first.
void two_arguments(ShaderCall *call, const char **a, const char **b)
{
    const char *suffix = shader_width_suffix(call->d);
    if (shader_is_single_operand(call->args[0].c_str())) {
        *b = copy(call->c, shader_builtin_operand(call, 1, suffix));
        *a = copy(call->c, shader_resolve_operand(call->c, call->args[0].c_str(), 0));
    } else {
        *a = copy(call->c, shader_builtin_operand(call, 0, suffix));
        *b = copy(call->c, shader_builtin_operand(call, 1, suffix));
    }
}

// A tangent from a vector a and a normal b: a minus b times a.b.
const char *translate_tangent(ShaderCall *call)
{
    ShaderCompiler *c = call->c;
    if (!shader_call_arguments(c, call->e, 2, 2, call)) return call->d;
    const char *a, *b;
    two_arguments(call, &a, &b);
    const char *d = call->d;
    if (c->target == 2) {
        shader_record_const_op(c, 22, d, a, b);
        return d;
    }
    ShaderForm form = shader_builtin_form(c);
    if (form == SHADER_FORM_HLSL || form == SHADER_FORM_GL) {
        const char *t = shader_scratch_temp(c, nullptr);
        shader_emit(c, call->lines, "%s.xyz = cross( %s.xyz, %s.xyz )", d, a, b);
        shader_emit(c, call->lines, form == SHADER_FORM_HLSL ? "%s.xyz = cross( float3(0.0,-%s.z,-%s.y), %s.xyz )"
                                                             : "%s.xyz = cross( vec3(0.0,-%s.z,-%s.y), %s.xyz )",
                    t, a, a, b);
        shader_emit(c, call->lines, "if ( length(%s.xyz) < length(%s.xyz) ) %s.xyz=%s.xyz", d, t, d, t);
        shader_emit(c, call->lines, "%s.w = 0.0", d);
        return d;
    }
    // The product with the normal is taken away, so that the result stands at right angles to it;
    // the dot product may not overwrite an operand before the mad reads it, nor go into an output
    // register, which the mad could not read.
    bool apart = strcmp(d, a) == 0 || strcmp(d, b) == 0 || is_output_register(d);
    const char *y = apart ? shader_scratch_temp(c, nullptr) : d;
    shader_emit(c, call->lines, "%s %s,%s,%s", m(c, SHADER_DP3), y, a, b);
    shader_emit(c, call->lines, "%s %s,-%s,%s,%s", m(c, SHADER_MAD), y, y, b, a);
    return y;
}

const char *translate_reflect_mod(ShaderCall *call, bool reflect)
{
    ShaderCompiler *c = call->c;
    if (!shader_call_arguments(c, call->e, 2, 2, call)) return call->d;
    const char *a, *b;
    two_arguments(call, &a, &b);
    if (!expression_form(c)) return shader_builtin_no_form(call);
    bool hlsl = shader_builtin_form(c) == SHADER_FORM_HLSL;
    const char *format = reflect ? "%s = reflect( %s , %s )" : hlsl ? "%s = fmod( %s , %s )" : "%s = mod( %s , %s )";
    shader_emit(c, call->lines, format, call->d, a, b);
    return call->d;
}

// The counter of the enclosing loop at depth n; null (not taken) outside the expression forms.
const char *translate_iter(ShaderCall *call)
{
    ShaderCompiler *c = call->c;
    const char *inner = str_extract_parenthesised(call->e);
    int n = -1;
    if (!inner || sscanf(inner, "%d", &n) != 1 || n < 0 || !expression_form(c)) return nullptr;
    if (n > 3) {
        shader_error_reason(c, "Loops nest four deep at most");
        return call->d;
    }
    const char *r = has_selection(call->d) ? call->d : shader_scratch_format(c, "%s.x", call->d);
    shader_emit(c, call->lines, "%s = (float) %c%d", r, 'a' + n, n);
    return r;
}

// ---- trigonometric functions --------------------------------------------------------------------

struct Trig {
    int translation;
    int op;
    const char *function;
};

const Trig kTrig[] = {{45, 19, "atan"}, {46, 16, "tan"}, {47, 17, "asin"},
                      {48, 14, "sin"},  {49, 18, "acos"}, {50, 15, "cos"}};

// The series' last line: into D itself when D selects components, else into D.x copied to the rest.
// An output register cannot be read back for that copy: it takes the line whole, its one-letter
// sources giving every component the same value.
void write_last(ShaderCompiler *c, TextLineList *lines, const char *d, const char *format, const char *a,
                const char *b, const char *e)
{
    bool selected = strchr(d, '.') != nullptr || is_output_register(d);
    const char *target = selected ? d : shader_scratch_format(c, "%s.x", d);
    if (e)
        shader_emit(c, lines, format, target, a, b, e);
    else
        shader_emit(c, lines, format, target, a, b);
    if (!selected) shader_emit(c, lines, "%s %s.yzw,%s.x", m(c, SHADER_MOV), d, d);
}

// Powers of the argument in W: W.x = x, W.y = x^7, W.z = x^3, W.w = x^5.
void write_powers(ShaderCompiler *c, TextLineList *lines, const char *w, const char *x1, bool move)
{
    if (move) shader_emit(c, lines, "%s %s.x,%s", m(c, SHADER_MOV), w, x1);
    shader_emit(c, lines, "%s %s.y,%s.x,%s.x", m(c, SHADER_MUL), w, w, w);
    shader_emit(c, lines, "%s %s.z,%s.y,%s.x", m(c, SHADER_MUL), w, w, w);
    shader_emit(c, lines, "%s %s.w,%s.z,%s.y", m(c, SHADER_MUL), w, w, w);
    shader_emit(c, lines, "%s %s.y,%s.w,%s.y", m(c, SHADER_MUL), w, w, w);
}

void write_sine_series(ShaderCompiler *c, TextLineList *lines, bool cosine, const char *d, const char *x1)
{
    const char *km = copy(c, shader_resolve_operand(c, "trigo_mod", 0));
    const char *k0 = copy(c, shader_resolve_operand(c, "trigo_cst", 0));
    const char *k2 = copy(c, shader_resolve_operand(c, "trigo_cst2", 0));
    const char *w = shader_scratch_temp(c, nullptr), *v = shader_scratch_temp(c, nullptr);
    const char *add = m(c, SHADER_ADD), *mul = m(c, SHADER_MUL), *mad = m(c, SHADER_MAD);
    TextLineList *l = lines;
    // Reduce to a in [-pi, pi), then fold |a| into b in [0, pi/2] and keep the sign of a.
    shader_emit(c, l, "%s %s.x,%s,%s.%c", add, v, x1, km, cosine ? 'w' : 'x');
    shader_emit(c, l, "%s %s.x,%s.x,%s.y", mul, v, v, km);
    shader_emit(c, l, "%s %s.y,%s.x", m(c, SHADER_EXPP), w, v);
    shader_emit(c, l, "%s %s.w,%s.y,%s.z,-%s.x", mad, v, w, km, km);
    shader_emit(c, l, "%s %s.x,%s.w,%s.x", m(c, SHADER_SGE), v, v, k0);
    shader_emit(c, l, "%s %s.y,%s.z,-%s.x", add, w, k0, v);
    shader_emit(c, l, "%s %s.x,%s.w,%s.x", mul, w, v, v);
    shader_emit(c, l, "%s %s.x,-%s.w,%s.y,%s.x", mad, w, v, w, w);
    shader_emit(c, l, "%s %s.y,%s.x,%s.y", m(c, SHADER_SGE), w, w, k0);
    shader_emit(c, l, "%s %s.z,%s.w,-%s.x", add, w, k0, w);
    shader_emit(c, l, "%s %s.w,%s.z,-%s.y", add, w, k0, w);
    shader_emit(c, l, "%s %s.y,%s.x,%s.w", mul, v, w, w);
    shader_emit(c, l, "%s %s.y,%s.z,%s.y,%s.y", mad, v, w, w, v);
    shader_emit(c, l, "%s %s.z,%s.w,%s.x", m(c, SHADER_SLT), v, v, k0);
    shader_emit(c, l, "%s %s.x,%s.x,-%s.z", add, v, v, v);
    // b - b^3/6 + b^5/120, signed.
    shader_emit(c, l, "%s %s.x,%s.y,%s.y", mul, w, v, v);
    shader_emit(c, l, "%s %s.y,%s.x,%s.y", mul, w, w, v);
    shader_emit(c, l, "%s %s.z,%s.x,%s.y", mul, w, w, w);
    shader_emit(c, l, "%s %s.x,-%s.y,%s.x,%s.y", mad, w, w, k2, v);
    shader_emit(c, l, "%s %s.x,%s.z,%s.y,%s.x", mad, w, w, k2, w);
    write_last(c, l, d, (std::string(mul) + " %s,%s.x,%s.x").c_str(), v, w, nullptr);
}

void write_series(ShaderCompiler *c, TextLineList *lines, int translation, const char *d, const char *x1)
{
    const char *w = shader_scratch_temp(c, nullptr);
    const char *add = m(c, SHADER_ADD), *mul = m(c, SHADER_MUL), *mad = m(c, SHADER_MAD);
    std::string last_mad = std::string(mad) + " %s,%s.z,%s.y,%s.x";
    if (translation == 46) {
        // tan: reduce to [-pi, pi), then a + a^3/3 + 2a^5/15 + 17a^7/315.
        const char *km = copy(c, shader_resolve_operand(c, "trigo_mod", 0));
        const char *k3 = copy(c, shader_resolve_operand(c, "trigo_cst3", 0));
        shader_emit(c, lines, "%s %s.x,%s,%s.x", add, w, x1, km);
        shader_emit(c, lines, "%s %s.x,%s.x,%s.y", mul, w, w, km);
        shader_emit(c, lines, "%s %s.y,%s.x", m(c, SHADER_EXPP), w, w);
        shader_emit(c, lines, "%s %s.x,%s.y,%s.z,-%s.x", mad, w, w, km, km);
        write_powers(c, lines, w, x1, false);
        shader_emit(c, lines, "%s %s.x,%s.x,%s.z,%s.x", mad, w, k3, w, w);
        shader_emit(c, lines, "%s %s.x,%s.y,%s.w,%s.x", mad, w, k3, w, w);
        write_last(c, lines, d, (std::string(mad) + " %s,%s.z,%s.y,%s.x").c_str(), k3, w, w);
        return;
    }
    // atan: x - x^3/3 + x^5/5 - x^7/7; asin: x + x^3/6 + x^5/120 + x^7/5040; acos: pi/2 - asin.
    const char *k = copy(c, shader_resolve_operand(c, translation == 45 ? "trigo_cst4" : "trigo_cst2", 0));
    write_powers(c, lines, w, x1, true);
    shader_emit(c, lines, "%s %s.x,%s.x,%s.z,%s.x", mad, w, k, w, w);
    shader_emit(c, lines, "%s %s.x,%s.y,%s.w,%s.x", mad, w, k, w, w);
    if (translation != 49) {
        write_last(c, lines, d, last_mad.c_str(), k, w, w);
        return;
    }
    const char *k0 = copy(c, shader_resolve_operand(c, "trigo_cst", 0));
    shader_emit(c, lines, "%s %s.x,%s.z,%s.y,%s.x", mad, w, k, w, w);
    write_last(c, lines, d, (std::string(add) + " %s,%s.y,-%s.x").c_str(), k0, w, nullptr);
}

const char *translate_trig(ShaderCall *call, const Trig &t)
{
    ShaderCompiler *c = call->c;
    const char *x = shader_builtin_single_argument(call);
    if (!x) return call->d;
    const char *d = call->d;
    if (c->target == 2) {
        shader_record_const_op(c, (uint32_t)t.op, d, x, nullptr);
        return d;
    }
    if (expression_form(c)) {
        bool hlsl = shader_builtin_form(c) == SHADER_FORM_HLSL;
        const char *w = hlsl && t.translation == 45 ? d : widened(c, d, x);
        shader_emit(c, call->lines, !hlsl && t.translation == 45 ? "%s = %s( %s , 1.0 )" : "%s = %s( %s )", w,
                    t.function, x);
        return w;
    }
    const char *x1 = strchr(x, '.') ? x : shader_scratch_format(c, "%s.x", x);
    bool sine = t.translation == 48 || t.translation == 50;
    if (sine && c->model2 && c->pixel_side && c->target == 0) {
        const char *w = shader_scratch_temp(c, nullptr);
        const char *sc1 = copy(c, shader_resolve_operand(c, "sc1", 0));
        const char *sc2 = copy(c, shader_resolve_operand(c, "sc2", 0));
        char part = t.translation == 48 ? 'y' : 'x';
        shader_emit(c, call->lines, "sincos %s.%c,%s,%s,%s", w, part, x1, sc1, sc2);
        shader_emit(c, call->lines, "mov %s,%s.%c", d, w, part);
        return d;
    }
    if (sine)
        write_sine_series(c, call->lines, t.translation == 50, d, x1);
    else
        write_series(c, call->lines, t.translation, d, x1);
    return d;
}

const char *translate_atan2(ShaderCall *call)
{
    ShaderCompiler *c = call->c;
    if (!shader_call_arguments(c, call->e, 2, 2, call)) return call->d;
    const char *suffix = shader_width_suffix(call->d);
    const char *a = copy(c, shader_builtin_operand(call, 0, suffix));
    const char *b = copy(c, shader_builtin_operand(call, 1, suffix));
    if (!expression_form(c)) return shader_builtin_no_form(call);
    bool hlsl = shader_builtin_form(c) == SHADER_FORM_HLSL;
    shader_emit(c, call->lines, hlsl ? "%s = atan2( %s, %s )" : "%s = atan( %s , %s )", call->d, a, b);
    return call->d;
}

// ---- interpolation ------------------------------------------------------------------------------

// The upper-case rows of a matrix product: base and first row index of the matrix operand.
void write_rows(ShaderCompiler *c, TextLineList *lines, const char *op, int rows, const char *d, const char *t,
                const char *matrix)
{
    std::string base(strlen(matrix) + 8, '\0');
    int index = 0;
    shader_format_relative_address(base.data(), &index, matrix);
    base.resize(strlen(base.c_str()));
    for (int i = 0; i < rows; i++)
        shader_emit(c, lines, "%s %s.%c,%s,%s%d]", op, d, "xyzw"[i], t, base.c_str(), index + i);
}

const char *translate_interpolation(ShaderCall *call, int translation)
{
    ShaderCompiler *c = call->c;
    // normal_interpolation and interpolation blend with two weights, the other two with one factor.
    bool weights = translation == 51 || translation == 52;
    bool normal = translation == 51 || translation == 53;
    int count = weights ? 5 : 4;
    if (!shader_call_arguments(c, call->e, count, 6, call)) return call->d;
    const char *r[5];
    for (int i = 0; i < count; i++) r[i] = copy(c, shader_resolve_operand(c, call->args[i].c_str(), 0));
    const char *matrix = r[count - 1];
    const char *t = shader_scratch_temp(c, nullptr);
    const char *d = call->d;
    const char *k0 = copy(c, shader_resolve_operand(c, "trigo_cst", 0));
    TextLineList *l = call->lines;
    ShaderForm form = shader_builtin_form(c);
    if (c->target == 2) {
        if (weights) {
            shader_record_const_op(c, 3, t, r[0], r[2]);
            shader_record_const_op(c, 3, d, r[1], r[3]);
            shader_record_const_op(c, 1, t, t, d);
        } else {
            shader_record_const_op(c, 2, t, r[1], r[0]);
            shader_record_const_op(c, 3, d, t, r[2]);
            shader_record_const_op(c, 1, t, r[0], d);
        }
        shader_record_const_op(c, normal ? 9 : 8, d, t, matrix);
        return d;
    }
    if (form == SHADER_FORM_HLSL || form == SHADER_FORM_GL) {
        bool hlsl = form == SHADER_FORM_HLSL;
        if (weights) {
            shader_emit(c, l, "%s.xyz = %s.xyz * %s.xyz", t, r[0], r[2]);
            shader_emit(c, l, "%s.xyz = %s.xyz * %s.xyz + %s.xyz", t, r[1], r[3], t);
        } else {
            shader_emit(c, l, "%s.xyz = %s.xyz - %s.xyz", t, r[1], r[0]);
            if (normal)
                shader_emit(c, l, "%s.xyz = %s.xyz * %s.xyz + %s.xyz", t, t, r[2], r[0]);
            else
                shader_emit(c, l, "%s.xyz = %s.xyz * %s.xyz + %s.xyz", t, r[2], t, r[0]);
        }
        shader_emit(c, l, hlsl ? (normal ? "%s.w = 0.0f" : "%s.w = 1.0f") : (normal ? "%s.w = 0.0" : "%s.w = 1.0"), t);
        if (hlsl) {
            const char *product = translation == 51 ? "%s = mul( %s , %s )"
                                  : translation == 52 ? "%s = mul( %s ,  %s )"
                                  : translation == 53 ? "%s = mul( %s , %s)"
                                                      : "%s = mul( %s , %s )";
            shader_emit(c, l, product, d, t, matrix);
        } else if (translation == 51) {
            for (int i = 0; i < 3; i++)
                shader_emit(c, l, "%s.%c = dot( %s[%d].xyz , %s.xyz )", d, "xyz"[i], matrix, i, t);
            shader_emit(c, l, "%s.w = 0.0", d);
        } else {
            shader_emit(c, l, "%s = %s * %s", d, matrix, t);
        }
        return d;
    }
    bool upper = form == SHADER_FORM_UPPER;
    const char *mask = normal ? ".xyz" : "";
    if (weights) {
        shader_emit(c, l, "%s %s%s,%s,%s", m(c, SHADER_MUL), t, mask, r[0], r[2]);
        shader_emit(c, l, "%s %s%s,%s,%s,%s", m(c, SHADER_MAD), t, mask, r[1], r[3], t);
    } else if (upper) {
        shader_emit(c, l, "SUB %s%s,%s,%s", t, mask, r[1], r[0]);
        shader_emit(c, l, "MAD %s%s,%s,%s,%s", t, mask, t, r[2], r[0]);
    } else {
        // All four components are interpolated, w included.
        shader_emit(c, l, "mov %s%s,%s", t, mask, r[1]);
        shader_emit(c, l, "sub %s%s,%s,%s", t, mask, t, r[0]);
        shader_emit(c, l, "mad %s%s,%s,%s,%s", t, mask, t, r[2], r[0]);
    }
    if (upper) {
        write_rows(c, l, normal ? "DP3" : "DP4", normal ? 3 : 4, d, t, matrix);
        if (normal) shader_emit(c, l, "MOV %s.w,%s.x", d, k0);
    } else if (!normal) {
        shader_emit(c, l, "m4x4 %s,%s,%s", d, t, matrix);
    } else if (has_selection(d)) {
        shader_emit(c, l, "m3x3 %s,%s,%s", d, t, matrix);
    } else {
        shader_emit(c, l, "m3x3 %s.xyz,%s,%s", d, t, matrix);
        shader_emit(c, l, "mov %s.w,%s.x", d, k0);
    }
    return d;
}

// ---- clamping, colour packing, maxima, planes, powers, comparisons ------------------------------

const char *translate_clamp(ShaderCall *call)
{
    ShaderCompiler *c = call->c;
    if (!shader_call_arguments(c, call->e, 3, 3, call)) return call->d;
    const char *suffix = shader_width_suffix(call->d);
    const char *x = copy(c, shader_builtin_operand(call, 0, suffix));
    const char *lo = copy(c, shader_builtin_operand(call, 1, suffix));
    const char *hi = copy(c, shader_builtin_operand(call, 2, suffix));
    if (c->target == 2) return shader_builtin_no_form(call);
    // The one text of clamp, in every form (the assembler's effect compiler refuses it).
    const char *w = widened(c, call->d, x);
    shader_emit(c, call->lines, "%s = clamp( %s , %s , %s )", w, x, lo, hi);
    return w;
}

// sat, ValueToRGB and RGBToValue: expression forms only.
const char *translate_packing(ShaderCall *call, int translation)
{
    ShaderCompiler *c = call->c;
    if (!shader_call_arguments(c, call->e, 1, 1, call)) return call->d;
    const char *x = copy(c, shader_builtin_operand(call, 0, shader_width_suffix(call->d)));
    if (!expression_form(c)) return shader_builtin_no_form(call);
    bool hlsl = shader_builtin_form(c) == SHADER_FORM_HLSL;
    const char *d = call->d;
    TextLineList *l = call->lines;
    if (translation == 56) {
        const char *w = widened(c, d, x);
        shader_emit(c, l, hlsl ? "%s = saturate( %s )" : "%s = clamp( %s, 0.0, 1.0 )", w, x);
        return w;
    }
    if (translation == 57) {
        const char *v = component(c, x, 0, 'x');
        shader_emit(c, l, hlsl ? "%s.x = frac( 256.0f * %s )" : "%s.x = fract( 256.0 * %s )", d, v);
        shader_emit(c, l, hlsl ? "%s.y = trunc( 256.0f * %s) / 256.0f" : "%s.y = trunc( 256.0 * %s) / 256.0", d, v);
        shader_emit(c, l, hlsl ? "%s.zw = float2(0.0f,0.0f)" : "%s.zw = vec2(0.0,0.0)", d);
        return d;
    }
    const char *g = has_selection(x) ? component(c, x, 1, 'y') : shader_scratch_format(c, "%s.g", x);
    const char *r = has_selection(x) ? component(c, x, 0, 'x') : shader_scratch_format(c, "%s.r", x);
    shader_emit(c, l, hlsl ? "%s.x = (256.0f * %s + %s)/256.0f" : "%s.x = (256.0 * %s + %s)/256.0", d, g, r);
    shader_emit(c, l, "%s = %s.xxxx", d, d);
    return d;
}

// max, min and pow.
const char *translate_extreme(ShaderCall *call, int translation)
{
    ShaderCompiler *c = call->c;
    if (!shader_call_arguments(c, call->e, 2, 2, call)) return call->d;
    const char *suffix = shader_width_suffix(call->d);
    const char *a = copy(c, shader_builtin_operand(call, 0, suffix));
    const char *b = copy(c, shader_builtin_operand(call, 1, suffix));
    const char *name = translation == 59 ? "max" : translation == 62 ? "min" : "pow";
    if (expression_form(c)) {
        char *w = shader_scratch_take(c);
        shader_match_swizzle_width_2(c, w, call->d, a, b);
        shader_emit(c, call->lines, "%s = %s( %s , %s )", w, name, a, b);
        return w;
    }
    if (translation == 63) return shader_builtin_no_form(call);
    if (c->target == 2)
        shader_record_const_op(c, translation == 59 ? 11 : 12, call->d, a, b);
    else
        shader_emit(c, call->lines, "%s %s,%s,%s", m(c, translation == 59 ? SHADER_MAX : SHADER_MIN), call->d, a, b);
    return call->d;
}

// equation (-dot(a, b)) and plane (dot3(a, b) + b.w): an expression argument's temporary holds
// the result.
const char *translate_plane(ShaderCall *call, int translation)
{
    ShaderCompiler *c = call->c;
    if (!shader_call_arguments(c, call->e, 2, 2, call)) return call->d;
    const char *r = copy(c, call->d);
    const char *operands[2];
    for (int i = 0; i < 2; i++) {
        if (shader_is_single_operand(call->args[i].c_str())) {
            operands[i] = copy(c, shader_resolve_operand(c, call->args[i].c_str(), 0));
            continue;
        }
        const char *temp = shader_scratch_temp(c, nullptr);
        operands[i] = copy(c, shader_translate_expression(c, call->args[i].c_str(), temp, call->lines));
        if (strcmp(r, call->d) == 0) r = temp;
    }
    const char *a = operands[0], *b = operands[1];
    bool plane = translation == 61;
    const char *t = plane ? shader_scratch_temp(c, nullptr) : nullptr;
    if (c->target == 2) {
        shader_record_const_op(c, plane ? 25 : 26, r, a, b);
    } else if (expression_form(c)) {
        shader_emit(c, call->lines, plane ? "%s = dot( %s , %s )" : "%s = -dot( %s , %s )", r, a, b);
    } else if (!plane) {
        shader_emit(c, call->lines, "%s %s,%s,%s", m(c, SHADER_DP3), r, a, shader_negated(c, b));
    } else {
        const char *k0 = copy(c, shader_resolve_operand(c, "trigo_cst", 0));
        shader_emit(c, call->lines, "%s %s,%s", m(c, SHADER_MOV), t, a);
        shader_emit(c, call->lines, "%s %s.w,%s.z", m(c, SHADER_MOV), t, k0);
        shader_emit(c, call->lines, "%s %s,%s,%s", m(c, SHADER_DP4), r, t, b);
    }
    return r;
}

const char *translate_compare(ShaderCall *call, bool less)
{
    ShaderCompiler *c = call->c;
    if (!shader_call_arguments(c, call->e, 2, 2, call)) return call->d;
    const char *d = call->d;
    // One expression argument is computed in D; two get a temporary each, or the second would
    // overwrite the first.
    bool both = !shader_is_single_operand(call->args[0].c_str()) && !shader_is_single_operand(call->args[1].c_str());
    const char *operands[2];
    for (int i = 0; i < 2; i++) {
        const char *text = call->args[i].c_str();
        if (shader_is_single_operand(text)) {
            operands[i] = copy(c, shader_resolve_operand(c, text, 0));
            continue;
        }
        const char *into = both ? shader_scratch_temp(c, d) : d;
        operands[i] = copy(c, shader_translate_expression(c, text, into, call->lines));
    }
    const char *a = operands[0], *b = operands[1];
    const char *op = less ? "<" : ">=";
    ShaderForm form = shader_builtin_form(c);
    if (c->target == 2) {
        shader_record_const_op(c, less ? 7 : 6, d, a, b);
    } else if (form == SHADER_FORM_HLSL) {
        shader_emit(c, call->lines, "%s = ( %s %s %s ) ? 1.0f : 0.0f", d, a, op, b);
    } else if (form == SHADER_FORM_GL && shader_find_swizzle_dot(a) < 0 && shader_find_swizzle_dot(b) < 0) {
        for (char k : {'x', 'y', 'z', 'w'})
            shader_emit(c, call->lines, "%s.%c = ( %s.%c %s %s.%c ) ? 1.0 : 0.0", d, k, a, k, op, b, k);
    } else if (form == SHADER_FORM_GL) {
        shader_emit(c, call->lines, "%s = ( %s %s %s ) ? 1.0 : 0.0", d, a, op, b);
    } else {
        shader_emit(c, call->lines, "%s %s,%s,%s", m(c, less ? SHADER_SLT : SHADER_SGE), d, a, b);
    }
    return d;
}

} // namespace

const char *shader_translate_math_builtin(ShaderCall *call, int translation)
{
    for (const Unary &u : kUnary) {
        if (u.translation == translation) return translate_unary(call, u);
    }
    for (const Trig &t : kTrig) {
        if (t.translation == translation) return translate_trig(call, t);
    }
    switch (translation) {
    case 32: return translate_tangent(call);
    case 33: return translate_reflect_mod(call, true);
    case 34: return translate_reflect_mod(call, false);
    case 35: return translate_iter(call);
    case 44: return translate_atan2(call);
    case 51: case 52: case 53: case 54: return translate_interpolation(call, translation);
    case 55: return translate_clamp(call);
    case 56: case 57: case 58: return translate_packing(call, translation);
    case 59: case 62: case 63: return translate_extreme(call, translation);
    case 60: case 61: return translate_plane(call, translation);
    case 64: return translate_compare(call, false);
    case 65: return translate_compare(call, true);
    }
    call->c->syntax_error = 1;
    return call->d;
}
