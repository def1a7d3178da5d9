// Built-in functions of the shader language, first group: constructors, texture sampling, scaled
// and saturated products, dot products, fraction, selection, refraction, interpolation, texture
// coordinates, normalisation, length, lighting and the signed-range expansion; and the helpers
// and dispatch all members share.
#include "shader/shader_local.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool has_selection(const char *operand)
{
    return shader_swizzle_letters(operand) != nullptr;
}

// The operand with `letters` appended when it has no selection of its own.
const char *with_components(ShaderCompiler *c, const char *operand, const char *letters)
{
    if (has_selection(operand) || str_is_number_literal(operand)) return operand;
    return shader_scratch_format(c, "%s.%s", operand, letters);
}

const char *copy(ShaderCompiler *c, const char *text)
{
    return shader_scratch_format(c, "%s", text);
}

const char *mnemonic(ShaderCompiler *c, ShaderMnemonic m)
{
    return shader_mnemonic(c, m);
}

// "%s = <function>( a, b[, c[, d]] )" constructors.
const char *translate_vector(ShaderCall *call, int size)
{
    ShaderCompiler *c = call->c;
    if (!shader_call_arguments(c, call->e, size, size, call)) return call->d;
    ShaderForm form = shader_builtin_form(c);
    if (c->target == 2 || (form != SHADER_FORM_HLSL && form != SHADER_FORM_GL)) return shader_builtin_no_form(call);
    const char *a[4];
    for (int i = 0; i < size; i++) a[i] = copy(c, shader_builtin_operand(call, i, ""));
    const char *r = call->d;
    if (size < 4 && !has_selection(r)) r = shader_scratch_format(c, "%s.%s", r, size == 2 ? "xy" : "xyz");
    bool hlsl = form == SHADER_FORM_HLSL;
    if (size == 2)
        shader_emit(c, call->lines, hlsl ? "%s = float2( %s, %s )" : "%s = vec2( %s, %s )", r, a[0], a[1]);
    else if (size == 3)
        shader_emit(c, call->lines, hlsl ? "%s = float3( %s, %s, %s )" : "%s = vec3( %s, %s, %s )", r, a[0], a[1],
                    a[2]);
    else
        shader_emit(c, call->lines, hlsl ? "%s = float4( %s, %s, %s, %s )" : "%s = vec4( %s, %s, %s,%s )", r, a[0],
                    a[1], a[2], a[3]);
    return r;
}

// The declared texture bound to a stage in [RENDER_STATE], and its sampler index.
const char *stage_texture(int stage)
{
    return stage >= 0 && stage < SHADER_RS_STAGES ? g_shader_rs_block.stage_textures[stage] : nullptr;
}

int sampler_index(const ShaderCompiler *c, int stage)
{
    const char *name = stage_texture(stage);
    int index = 0;
    for (int i = 0; name && i < c->texture_count; i++) {
        if (c->texture_names[i] && strcmp(c->texture_names[i], name) == 0) index = i;
    }
    return index;
}

const char *translate_sample(ShaderCall *call)
{
    ShaderCompiler *c = call->c;
    if (!shader_call_arguments(c, call->e, 2, 2, call)) return call->d;
    int stage = -1;
    if (sscanf(call->args[0].c_str(), "%d", &stage) != 1 || stage < 0 || stage >= SHADER_RS_STAGES) {
        c->syntax_error = 1;
        return call->d;
    }
    // Texture reads belong to pixel code: vertex shaders 1.1 and 2.x have no texld.
    if (c->target == 2 || (c->target == 0 && !c->hlsl_mode && !c->pixel_side)) return shader_builtin_no_form(call);
    if (!c->model2) {
        // Shader model 1: the coordinate is an operand, and pixel shader 1.4 loads stage n into rn.
        const char *coord = copy(c, shader_resolve_operand(c, call->args[1].c_str(), 0));
        if (c->target != 0) {
            shader_emit(c, call->lines, "TEX %s,%s,texture[%d],2D", call->d, coord, stage);
            return call->d;
        }
        if (stage > 5) {
            shader_error_reason(c, "Pixel shader 1.4 samples stages 0 to 5");
            return call->d;
        }
        if (coord[0] == 'r' && !c->phase_done) {
            shader_emit_instruction(c, call->lines, "phase");
            c->phase_done = 1;
        }
        const char *r = shader_scratch_format(c, "r%d", stage);
        shader_emit(c, call->lines, "texld %s,%s", r, coord);
        return r;
    }
    ShaderForm form = shader_builtin_form(c);
    bool selected = str_starts_with(call->e, "sample.");
    if (form == SHADER_FORM_UPPER || (selected && form == SHADER_FORM_ASSEMBLER)) return shader_builtin_no_form(call);
    const char *coord = copy(c, shader_builtin_operand(call, 1, shader_width_suffix(call->d)));
    const char *target = call->d;
    const char *result = call->d;
    if (selected) {
        const char *t = shader_scratch_temp(c, nullptr);
        const char *dot = strchr(call->e, '.'), *open = strchr(call->e, '(');
        result = shader_scratch_format(c, "%s%.*s", t, (int)(open - dot), dot);
        target = t;
    }
    const char *name = stage_texture(stage);
    if (form == SHADER_FORM_ASSEMBLER) {
        shader_emit(c, call->lines, "texld %s,%s,s%d", target, coord, stage);
    } else if (form == SHADER_FORM_GL) {
        shader_emit(c, call->lines, "%s = texture2D(%s, vec2(%s))", target, name ? name : "", coord);
    } else if (c->hlsl_forced) {
        const char *xy = has_selection(coord) ? "" : ".xy";
        bool point = g_shader_rs_block.words[28 + stage % 8] == 572;
        if (point)
            shader_emit(c, call->lines, "%s = %s.SampleLevel(s0, %s%s,0)", target, name ? name : "", coord, xy);
        else if (selected)
            shader_emit(c, call->lines, "%s = %s.Sample(s%d, %s%s)", target, name ? name : "", stage, coord, xy);
        else
            shader_emit(c, call->lines, "%s = %s.Sample(s0, %s%s)", target, name ? name : "", coord, xy);
    } else {
        shader_emit(c, call->lines, "%s = tex2D(s%d, %s%s)", target, sampler_index(c, stage), coord,
                    has_selection(coord) ? "" : ".xy");
    }
    return result;
}

struct ProductForms {
    const char *assembler;
    const char *gl;
    const char *hlsl;
    const char *upper;
};

// mul_x2, mul_x4, mul_sat and mul: D = scale x a x b.
const char *translate_product(ShaderCall *call, int translation)
{
    static const ProductForms kForms[4] = {
        {"mul_x2 %s,%s,%s", "%s = 2.0 * %s * %s", "%s = 2.0 * %s * %s", "MUL_SAT %s,%s,%s"},
        {"mul_x4 %s,%s,%s", "%s = 4.0 * %s * %s", "%s = 4.0 * %s * %s", "MUL_SAT %s,%s,%s"},
        {"mul_sat %s,%s,%s", "%s = clamp( %s * %s , 0.0, 1.0)", "%s = clamp( %s * %s , 0.0f, 1.0f)",
         "MUL_SAT %s,%s,%s"},
        {"mul %s,%s,%s", "%s = %s * %s", "%s = %s * %s", "MUL %s,%s,%s"},
    };
    int which = translation == 6 ? 0 : translation == 8 ? 1 : translation == 9 ? 2 : 3;
    ShaderCompiler *c = call->c;
    if (!shader_call_arguments(c, call->e, 2, 2, call)) return call->d;
    if (c->target == 2) return shader_builtin_no_form(call);
    const char *suffix = shader_width_suffix(call->d);
    const char *a = copy(c, shader_builtin_operand(call, 0, suffix));
    const char *b = copy(c, shader_builtin_operand(call, 1, suffix));
    const ProductForms &f = kForms[which];
    switch (shader_builtin_form(c)) {
    case SHADER_FORM_ASSEMBLER: shader_emit(c, call->lines, f.assembler, call->d, a, b); break;
    case SHADER_FORM_GL: shader_emit(c, call->lines, f.gl, call->d, a, b); break;
    case SHADER_FORM_HLSL: shader_emit(c, call->lines, f.hlsl, call->d, a, b); break;
    case SHADER_FORM_UPPER:
        if (which <= 1) shader_emit(c, call->lines, "ADD_SAT %s,%s,%s", a, a, a);
        if (which == 1) shader_emit(c, call->lines, "ADD_SAT %s,%s,%s", b, b, b);
        shader_emit(c, call->lines, f.upper, call->d, a, b);
        break;
    }
    return call->d;
}

const char *translate_reciprocal(ShaderCall *call)
{
    ShaderCompiler *c = call->c;
    if (!shader_call_arguments(c, call->e, 1, 6, call)) return call->d;
    if (c->target == 2) return shader_builtin_no_form(call);
    const char *x = copy(c, shader_builtin_operand(call, 0, shader_width_suffix(call->d)));
    switch (shader_builtin_form(c)) {
    case SHADER_FORM_HLSL: shader_emit(c, call->lines, "%s = 1.0f / %s", call->d, shader_scalar_source(c, x)); break;
    case SHADER_FORM_GL: shader_emit(c, call->lines, "%s = 1.0 / %s", call->d, shader_scalar_source(c, x)); break;
    default:
        shader_emit(c, call->lines, "%s %s,%s", mnemonic(c, SHADER_RCP), call->d, shader_scalar_source(c, x));
        break;
    }
    return call->d;
}

// dot_sat, dot4 and dot.
const char *translate_dot(ShaderCall *call, int translation)
{
    ShaderCompiler *c = call->c;
    if (!shader_call_arguments(c, call->e, 2, 2, call)) return call->d;
    if (c->target == 2) return shader_builtin_no_form(call);
    bool saturate = translation == 11, four = translation == 13;
    const char *suffix = saturate ? shader_width_suffix(call->d) : "";
    const char *a = copy(c, shader_builtin_operand(call, 0, suffix));
    const char *b = copy(c, shader_builtin_operand(call, 1, suffix));
    ShaderForm form = shader_builtin_form(c);
    if (form == SHADER_FORM_ASSEMBLER || form == SHADER_FORM_UPPER) {
        const char *op = saturate ? "dp3_sat" : four ? "dp4" : "dp3";
        if (form == SHADER_FORM_UPPER) op = saturate ? "DP3_SAT" : four ? "DP4" : "DP3";
        shader_emit(c, call->lines, "%s %s,%s,%s", op, call->d, a, b);
        return call->d;
    }
    const char *letters = four ? "xyzw" : "xyz";
    a = with_components(c, a, letters);
    b = with_components(c, b, letters);
    bool hlsl = form == SHADER_FORM_HLSL;
    std::string value = std::string("dot( ") + a + " , " + b + " )";
    if (saturate) value = hlsl ? "saturate( " + value + " )" : "clamp( " + value + " , 0.0, 1.0 )";
    if (has_selection(call->d)) {
        shader_emit(c, call->lines, "%s = %s", call->d, value.c_str());
    } else {
        shader_emit(c, call->lines, "%s.x = %s", call->d, value.c_str());
        shader_emit(c, call->lines, "%s = %s.xxxx", call->d, call->d);
    }
    return call->d;
}

// The dot product of two vectors stored in 0..1 as signed ones: dot(2a - 1, 2b - 1).
const char *translate_dot_bx2(ShaderCall *call)
{
    ShaderCompiler *c = call->c;
    if (!shader_call_arguments(c, call->e, 2, 2, call)) return call->d;
    if (c->target == 2) return shader_builtin_no_form(call);
    const char *suffix = shader_width_suffix(call->d);
    const char *a = copy(c, shader_builtin_operand(call, 0, suffix));
    const char *b = copy(c, shader_builtin_operand(call, 1, suffix));
    ShaderForm form = shader_builtin_form(c);
    if (form == SHADER_FORM_ASSEMBLER && !c->model2) {
        shader_emit(c, call->lines, "dp3 %s,%s_bx2,%s_bx2", call->d, a, b);
        return call->d;
    }
    const char *ta = shader_scratch_temp(c, nullptr), *tb = shader_scratch_temp(c, nullptr);
    if (form == SHADER_FORM_ASSEMBLER) {
        // dot(a - 0.5, b - 0.5) four times over.
        const char *z = copy(c, shader_resolve_operand(c, "zerocinq", 0));
        shader_emit(c, call->lines, "sub %s,%s,%s", ta, a, z);
        shader_emit(c, call->lines, "sub %s,%s,%s", tb, b, z);
        shader_emit(c, call->lines, "dp3 %s,%s,%s", call->d, ta, tb);
        shader_emit(c, call->lines, "add %s,%s,%s", call->d, call->d, call->d);
        shader_emit(c, call->lines, "add %s,%s,%s", call->d, call->d, call->d);
    } else if (form == SHADER_FORM_UPPER) {
        shader_emit(c, call->lines, "SUB %s,%s,zerocinq", ta, a);
        shader_emit(c, call->lines, "SUB %s,%s,zerocinq", tb, b);
        shader_emit(c, call->lines, "DP3_SAT %s,%s,%s", call->d, ta, tb);
    } else {
        bool hlsl = form == SHADER_FORM_HLSL;
        const char *half = hlsl ? "float3( 0.5f, 0.5f, 0.5f)" : "vec3( 0.5, 0.5, 0.5)";
        shader_emit(c, call->lines, "%s.xyz = %s.xyz - %s", ta, a, half);
        shader_emit(c, call->lines, "%s.xyz = %s.xyz - %s", tb, b, half);
        shader_emit(c, call->lines, "%s.x = dot( %s.xyz , %s.xyz )", call->d, ta, tb);
        shader_emit(c, call->lines, hlsl ? "%s = 4.0f * %s.xxxx" : "%s = 4.0 * %s.xxxx", call->d, call->d);
    }
    return call->d;
}

const char *translate_fraction(ShaderCall *call)
{
    ShaderCompiler *c = call->c;
    if (!shader_call_arguments(c, call->e, 1, 1, call)) return call->d;
    if (c->target == 2) return shader_builtin_no_form(call);
    const char *x = copy(c, shader_builtin_operand(call, 0, ""));
    ShaderForm form = shader_builtin_form(c);
    if (form == SHADER_FORM_ASSEMBLER || form == SHADER_FORM_UPPER) {
        shader_emit(c, call->lines, form == SHADER_FORM_UPPER ? "FRC %s,%s" : "frc %s,%s", call->d, x);
        return call->d;
    }
    char *w = shader_scratch_take(c);
    shader_match_swizzle_width_1(c, w, call->d, x);
    shader_emit(c, call->lines, form == SHADER_FORM_HLSL ? "%s = frac( %s )" : "%s = fract( %s )", w, x);
    return w;
}

// cmp, lrp and their kin: three arguments of the destination's width.
const char *translate_select(ShaderCall *call, int translation)
{
    ShaderCompiler *c = call->c;
    if (!shader_call_arguments(c, call->e, 3, 3, call)) return call->d;
    if (c->target == 2) return shader_builtin_no_form(call);
    const char *suffix = shader_width_suffix(call->d);
    const char *a = copy(c, shader_builtin_operand(call, 0, suffix));
    const char *b = copy(c, shader_builtin_operand(call, 1, suffix));
    const char *t = copy(c, shader_builtin_operand(call, 2, suffix));
    ShaderForm form = shader_builtin_form(c);
    const char *d = call->d;
    TextLineList *lines = call->lines;
    bool hlsl = form == SHADER_FORM_HLSL, gl = form == SHADER_FORM_GL, instruction = !hlsl && !gl;
    switch (translation) {
    case 16: // cmp: b where a >= 0, else c
        if (instruction) {
            shader_emit(c, lines, form == SHADER_FORM_UPPER ? "CMP %s,%s,%s,%s" : "cmp %s,%s,%s,%s", d, a, b, t);
        } else if (hlsl) {
            shader_emit(c, lines, "%s = ( %s >= 0.0f ) ? %s : %s", d, a, b, t);
        } else if (!has_selection(a)) {
            for (char k : {'x', 'y', 'z', 'w'})
                shader_emit(c, lines, "%s.%c = ( %s.%c >= 0.0 ) ? %s.%c : %s.%c", d, k, a, k, b, k, t, k);
        } else {
            shader_emit(c, lines, "%s = ( %s >= 0.0 ) ? %s : %s", d, a, b, t);
        }
        return d;
    case 17: // refract
        if (instruction) return shader_builtin_no_form(call);
        shader_emit(c, lines, "%s = refract( %s , %s , %s)", d, a, b, t);
        return d;
    case 20: // smoothstep
        if (instruction) return shader_builtin_no_form(call);
        shader_emit(c, lines, "%s = smoothstep( %s , %s , %s )", d, a, b, t);
        return d;
    }
    // mix and mix_sat: a + t (b - a). lrp d,s0,s1,s2 gives s0 s1 + (1 - s0) s2, so b comes first.
    bool saturate = translation == 18;
    if (instruction) {
        const char *op = form == SHADER_FORM_UPPER ? (saturate ? "LRP_SAT" : "LRP") : (saturate ? "lrp_sat" : "lrp");
        shader_emit(c, lines, "%s %s,%s,%s,%s", op, d, t, b, a);
    } else if (hlsl) {
        const char *format = saturate ? "%s = saturate( lerp( %s , %s , %s) )" : "%s = lerp( %s , %s , %s)";
        shader_emit(c, lines, format, d, a, b, t);
    } else {
        const char *format = saturate ? "%s =  saturate( mix( %s , %s , %s  ) )" : "%s =  mix( %s , %s , %s  )";
        shader_emit(c, lines, format, d, a, b, t);
    }
    return d;
}

const char *translate_coord(ShaderCall *call)
{
    ShaderCompiler *c = call->c;
    if (!shader_call_arguments(c, call->e, 1, 1, call)) return call->d;
    if (c->target == 2) return shader_builtin_no_form(call);
    const char *x = copy(c, shader_resolve_operand(c, call->args[0].c_str(), 0));
    const char *d = call->d;
    if (c->target == 0 && !c->model2)
        shader_emit(c, call->lines, has_selection(d) ? "texcrd %s,%s" : "texcrd %s.rgb,%s", d, x);
    else if (c->target == 0)
        shader_emit(c, call->lines, c->hlsl_mode ? "%s = %s" : "mov %s,%s", d, x);
    else
        shader_emit(c, call->lines, c->model2 ? "%s = %s" : "MOV %s,%s", d, x);
    return d;
}

// normalize, norm (length) and inv (inverse length), through x.x, its reciprocal square root.
const char *translate_length(ShaderCall *call, int translation)
{
    ShaderCompiler *c = call->c;
    if (!shader_call_arguments(c, call->e, 1, 1, call)) return call->d;
    const char *x = copy(c, shader_builtin_operand(call, 0, translation == 24 ? "" : shader_width_suffix(call->d)));
    const char *t = shader_scratch_temp(c, nullptr);
    const char *d = call->d;
    ShaderForm form = shader_builtin_form(c);
    if (c->target == 2) {
        shader_record_const_op(c, 13, t, x, x);
        if (translation == 22) {
            shader_record_const_op(c, 5, t, t, nullptr);
            shader_record_const_op(c, 3, d, x, t);
        } else if (translation == 23) {
            shader_record_const_op(c, 5, t, t, nullptr);
            shader_record_const_op(c, 4, d, t, nullptr);
        } else {
            shader_record_const_op(c, 5, d, t, nullptr);
        }
    } else if (form == SHADER_FORM_HLSL || form == SHADER_FORM_GL) {
        bool hlsl = form == SHADER_FORM_HLSL;
        if (translation == 22) shader_emit(c, call->lines, "%s = normalize( %s )", d, x);
        if (translation == 23) shader_emit(c, call->lines, "%s = length( %s )", d, x);
        if (translation == 24)
            shader_emit(c, call->lines, hlsl ? "%s = 1.0f / length(%s.xyz)" : "%s = 1.0 / length(%s.xyz)", d, x);
    } else {
        shader_emit(c, call->lines, "%s %s,%s,%s", mnemonic(c, SHADER_DP3), t, x, x);
        const char *root = translation == 24 ? d : t;
        shader_emit(c, call->lines, "%s %s,%s.w", mnemonic(c, SHADER_RSQ), root, t);
        if (translation == 22) shader_emit(c, call->lines, "%s %s,%s,%s", mnemonic(c, SHADER_MUL), d, x, t);
        if (translation == 23) shader_emit(c, call->lines, "%s %s,%s.w", mnemonic(c, SHADER_RCP), d, t);
    }
    return copy(c, d);
}

const char *translate_lit(ShaderCall *call)
{
    ShaderCompiler *c = call->c;
    if (!shader_call_arguments(c, call->e, 1, 1, call)) return call->d;
    const char *x = copy(c, shader_builtin_operand(call, 0, shader_width_suffix(call->d)));
    ShaderForm form = shader_builtin_form(c);
    if (c->target == 2)
        shader_record_const_op(c, 24, call->d, x, nullptr);
    else if (form == SHADER_FORM_HLSL || form == SHADER_FORM_GL)
        shader_emit(c, call->lines, "%s = %s", call->d, x);
    else
        shader_emit(c, call->lines, "%s %s,%s", mnemonic(c, SHADER_LIT), call->d, x);
    return copy(c, call->d);
}

const char *translate_bx2(ShaderCall *call)
{
    ShaderCompiler *c = call->c;
    const char *x = shader_builtin_single_argument(call);
    if (!x) return call->d;
    ShaderForm form = shader_builtin_form(c);
    if (c->target == 2 || form == SHADER_FORM_UPPER) return shader_builtin_no_form(call);
    if (form == SHADER_FORM_ASSEMBLER) {
        shader_emit(c, call->lines, "mov %s,%s_bx2", call->d, x);
        return call->d;
    }
    static const char *const kHalf[2][5] = {
        {"", "0.5f", "float2(0.5f,0.5f)", "float3(0.5f,0.5f,0.5f)", "float4(0.5f,0.5f,0.5f,0.5f)"},
        {"", "0.5", "vec2(0.5,0.5)", "vec3(0.5,0.5,0.5)", "vec4(0.5,0.5,0.5,0.5)"}};
    int w = shader_operand_width(call->d);
    if (w >= 1 && w <= 4)
        shader_emit(c, call->lines, "%s = 2.0 * (%s - %s)", call->d, x, kHalf[form == SHADER_FORM_GL][w]);
    return call->d;
}

} // namespace

ShaderForm shader_builtin_form(const ShaderCompiler *c)
{
    if (c->target == 0) return c->hlsl_mode ? SHADER_FORM_HLSL : SHADER_FORM_ASSEMBLER;
    return c->target == 1 && c->model2 ? SHADER_FORM_GL : SHADER_FORM_UPPER;
}

bool shader_call_arguments(ShaderCompiler *c, const char *e, int least, int most, ShaderCall *call)
{
    const char *inner = str_extract_parenthesised(e);
    if (!inner) {
        c->syntax_error = 1;
        return false;
    }
    std::string text = inner;
    call->count = shader_split_arguments(text.c_str(), call->args, 6);
    if (call->count < least || call->count > most) {
        shader_error_reason(c, "Wrong number of arguments");
        return false;
    }
    return true;
}

const char *shader_builtin_no_form(ShaderCall *call)
{
    shader_error_reason(call->c, "No form of this built-in function for the target");
    return call->d;
}

const char *shader_builtin_operand(ShaderCall *call, int index, const char *suffix)
{
    return shader_prepare_operand(call->c, call->args[index].c_str(), suffix, call->lines);
}

const char *shader_builtin_single_argument(ShaderCall *call)
{
    ShaderCompiler *c = call->c;
    if (!shader_call_arguments(c, call->e, 1, 1, call)) return nullptr;
    const char *temp = shader_scratch_temp(c, call->d);
    const char *argument = call->args[0].c_str();
    const char *x = shader_scratch_format(c, "%s", shader_is_single_operand(argument)
                                                       ? shader_resolve_operand(c, argument, 0)
                                                       : shader_translate_expression(c, argument, temp, call->lines));
    if (shader_operand_width_by_name(c, x) > shader_operand_width_by_name(c, call->d)) c->modifier_error = 1;
    return x;
}

const char *shader_negated(ShaderCompiler *c, const char *operand)
{
    if (operand[0] == '-') return shader_scratch_format(c, "%s", operand + 1);
    return shader_scratch_format(c, "-%s", operand);
}

const char *shader_scalar_source(ShaderCompiler *c, const char *operand)
{
    if (str_is_number_literal(operand)) return operand;
    const char *letters = shader_swizzle_letters(operand);
    if (!letters) return shader_scratch_format(c, "%s.w", operand);
    int dot = shader_find_swizzle_dot(operand);
    // A dot with no letters after it selects nothing: .w as without a selection.
    char last = letters[0] ? letters[strlen(letters) - 1] : 'w';
    return shader_scratch_format(c, "%.*s.%c", dot, operand, last);
}

const char *shader_translate_builtin(ShaderCompiler *c, int translation, const char *expression, const char *dest,
                                     TextLineList *lines)
{
    ShaderCall call;
    call.c = c;
    call.e = expression;
    call.d = dest;
    call.lines = lines;
    call.count = 0;
    switch (translation) {
    case 1: case 2: case 3: return translate_vector(&call, translation + 1);
    case 5: return translate_sample(&call);
    case 6: case 8: case 9: case 10: return translate_product(&call, translation);
    case 7: return translate_reciprocal(&call);
    case 11: case 13: case 14: return translate_dot(&call, translation);
    case 12: return translate_dot_bx2(&call);
    case 15: return translate_fraction(&call);
    case 16: case 17: case 18: case 19: case 20: return translate_select(&call, translation);
    case 21: return translate_coord(&call);
    case 22: case 23: case 24: return translate_length(&call, translation);
    case 25: return translate_lit(&call);
    case 26: return translate_bx2(&call);
    }
    return shader_translate_math_builtin(&call, translation);
}
