// Reading of effect text: parameter declarations, techniques, passes and their state assignments,
// constant bindings and the shader blocks, which gpu_shader_parse reads. Keywords, state names and
// value names are compared without regard to case.
#include "platform/gpu/gpu_effect_local.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

enum TokenKind { TOKEN_END, TOKEN_WORD, TOKEN_NUMBER, TOKEN_PUNCT };

struct Token {
    TokenKind kind;
    std::string text;
    int line, column;
};

// Kinds of value a state takes; every kind also takes a number.
enum ValueKind { VALUES_NUMBER, VALUES_BOOL, VALUES_BLEND, VALUES_SHADE, VALUES_CULL, VALUES_CMP, VALUES_STENCILOP,
                 VALUES_TOP, VALUES_ARG, VALUES_FILTER, VALUES_ADDRESS };

struct ValueName {
    ValueKind kind;
    const char *name;
    DWORD value;
};

const ValueName VALUE_NAMES[] = {
    {VALUES_BOOL, "True", TRUE}, {VALUES_BOOL, "False", FALSE},
    {VALUES_BLEND, "Zero", D3DBLEND_ZERO}, {VALUES_BLEND, "One", D3DBLEND_ONE},
    {VALUES_BLEND, "SrcColor", D3DBLEND_SRCCOLOR}, {VALUES_BLEND, "InvSrcColor", D3DBLEND_INVSRCCOLOR},
    {VALUES_BLEND, "SrcAlpha", D3DBLEND_SRCALPHA}, {VALUES_BLEND, "InvSrcAlpha", D3DBLEND_INVSRCALPHA},
    {VALUES_BLEND, "DestAlpha", D3DBLEND_DESTALPHA}, {VALUES_BLEND, "InvDestAlpha", D3DBLEND_INVDESTALPHA},
    {VALUES_BLEND, "DestColor", D3DBLEND_DESTCOLOR}, {VALUES_BLEND, "InvDestColor", D3DBLEND_INVDESTCOLOR},
    {VALUES_SHADE, "Flat", D3DSHADE_FLAT}, {VALUES_SHADE, "Gouraud", D3DSHADE_GOURAUD},
    {VALUES_CULL, "None", D3DCULL_NONE}, {VALUES_CULL, "Cw", D3DCULL_CW}, {VALUES_CULL, "Ccw", D3DCULL_CCW},
    {VALUES_CMP, "Never", D3DCMP_NEVER}, {VALUES_CMP, "Less", D3DCMP_LESS}, {VALUES_CMP, "Equal", D3DCMP_EQUAL},
    {VALUES_CMP, "LessEqual", D3DCMP_LESSEQUAL}, {VALUES_CMP, "Greater", D3DCMP_GREATER},
    {VALUES_CMP, "NotEqual", D3DCMP_NOTEQUAL}, {VALUES_CMP, "GreaterEqual", D3DCMP_GREATEREQUAL},
    {VALUES_CMP, "Always", D3DCMP_ALWAYS},
    {VALUES_STENCILOP, "Keep", D3DSTENCILOP_KEEP}, {VALUES_STENCILOP, "Zero", D3DSTENCILOP_ZERO},
    {VALUES_STENCILOP, "Replace", D3DSTENCILOP_REPLACE}, {VALUES_STENCILOP, "IncrSat", D3DSTENCILOP_INCRSAT},
    {VALUES_STENCILOP, "DecrSat", D3DSTENCILOP_DECRSAT}, {VALUES_STENCILOP, "Invert", D3DSTENCILOP_INVERT},
    {VALUES_STENCILOP, "Incr", D3DSTENCILOP_INCR}, {VALUES_STENCILOP, "Decr", D3DSTENCILOP_DECR},
    {VALUES_TOP, "Disable", D3DTOP_DISABLE}, {VALUES_TOP, "SelectArg1", D3DTOP_SELECTARG1},
    {VALUES_TOP, "SelectArg2", D3DTOP_SELECTARG2}, {VALUES_TOP, "Modulate", D3DTOP_MODULATE},
    {VALUES_TOP, "Modulate2x", D3DTOP_MODULATE2X}, {VALUES_TOP, "Modulate4x", D3DTOP_MODULATE4X},
    {VALUES_TOP, "Add", D3DTOP_ADD}, {VALUES_TOP, "AddSigned", D3DTOP_ADDSIGNED},
    {VALUES_TOP, "AddSigned2x", D3DTOP_ADDSIGNED2X}, {VALUES_TOP, "Subtract", D3DTOP_SUBTRACT},
    {VALUES_TOP, "BumpEnvMap", D3DTOP_BUMPENVMAP}, {VALUES_TOP, "DotProduct3", D3DTOP_DOTPRODUCT3},
    {VALUES_ARG, "Diffuse", D3DTA_DIFFUSE}, {VALUES_ARG, "Current", D3DTA_CURRENT},
    {VALUES_ARG, "Texture", D3DTA_TEXTURE}, {VALUES_ARG, "Specular", D3DTA_SPECULAR},
    {VALUES_FILTER, "None", D3DTEXF_NONE}, {VALUES_FILTER, "Point", D3DTEXF_POINT},
    {VALUES_FILTER, "Linear", D3DTEXF_LINEAR},
    {VALUES_ADDRESS, "Wrap", D3DTADDRESS_WRAP}, {VALUES_ADDRESS, "Clamp", D3DTADDRESS_CLAMP},
};

struct StateName {
    const char *name;
    GpuAssignKind kind;
    DWORD state;
    ValueKind values;
    int indices;  // 0: written without an index; n: takes [0] to [n - 1]
};

const StateName STATE_NAMES[] = {
    {"AlphaBlendEnable", GPU_ASSIGN_RENDER, D3DRS_ALPHABLENDENABLE, VALUES_BOOL, 0},
    {"SrcBlend", GPU_ASSIGN_RENDER, D3DRS_SRCBLEND, VALUES_BLEND, 0},
    {"DestBlend", GPU_ASSIGN_RENDER, D3DRS_DESTBLEND, VALUES_BLEND, 0},
    {"ShadeMode", GPU_ASSIGN_RENDER, D3DRS_SHADEMODE, VALUES_SHADE, 0},
    {"CullMode", GPU_ASSIGN_RENDER, D3DRS_CULLMODE, VALUES_CULL, 0},
    {"ZEnable", GPU_ASSIGN_RENDER, D3DRS_ZENABLE, VALUES_BOOL, 0},
    {"ZWriteEnable", GPU_ASSIGN_RENDER, D3DRS_ZWRITEENABLE, VALUES_BOOL, 0},
    {"Zbias", GPU_ASSIGN_RENDER, D3DRS_ZBIAS, VALUES_NUMBER, 0},
    {"ZFunc", GPU_ASSIGN_RENDER, D3DRS_ZFUNC, VALUES_CMP, 0},
    {"AlphaTestEnable", GPU_ASSIGN_RENDER, D3DRS_ALPHATESTENABLE, VALUES_BOOL, 0},
    {"AlphaRef", GPU_ASSIGN_RENDER, D3DRS_ALPHAREF, VALUES_NUMBER, 0},
    {"AlphaFunc", GPU_ASSIGN_RENDER, D3DRS_ALPHAFUNC, VALUES_CMP, 0},
    {"DitherEnable", GPU_ASSIGN_RENDER, D3DRS_DITHERENABLE, VALUES_BOOL, 0},
    {"StencilEnable", GPU_ASSIGN_RENDER, D3DRS_STENCILENABLE, VALUES_BOOL, 0},
    {"StencilRef", GPU_ASSIGN_RENDER, D3DRS_STENCILREF, VALUES_NUMBER, 0},
    {"StencilMask", GPU_ASSIGN_RENDER, D3DRS_STENCILMASK, VALUES_NUMBER, 0},
    {"StencilWriteMask", GPU_ASSIGN_RENDER, D3DRS_STENCILWRITEMASK, VALUES_NUMBER, 0},
    {"StencilFunc", GPU_ASSIGN_RENDER, D3DRS_STENCILFUNC, VALUES_CMP, 0},
    {"StencilPass", GPU_ASSIGN_RENDER, D3DRS_STENCILPASS, VALUES_STENCILOP, 0},
    {"StencilZFail", GPU_ASSIGN_RENDER, D3DRS_STENCILZFAIL, VALUES_STENCILOP, 0},
    {"StencilFail", GPU_ASSIGN_RENDER, D3DRS_STENCILFAIL, VALUES_STENCILOP, 0},
    {"TwoSidedStencilMode", GPU_ASSIGN_RENDER, D3DRS_TWOSIDEDSTENCILMODE, VALUES_BOOL, 0},
    {"Ccw_StencilFunc", GPU_ASSIGN_RENDER, D3DRS_CCW_STENCILFUNC, VALUES_CMP, 0},
    {"Ccw_StencilPass", GPU_ASSIGN_RENDER, D3DRS_CCW_STENCILPASS, VALUES_STENCILOP, 0},
    {"Ccw_StencilZFail", GPU_ASSIGN_RENDER, D3DRS_CCW_STENCILZFAIL, VALUES_STENCILOP, 0},
    {"Ccw_StencilFail", GPU_ASSIGN_RENDER, D3DRS_CCW_STENCILFAIL, VALUES_STENCILOP, 0},
    {"ColorOp", GPU_ASSIGN_STAGE, D3DTSS_COLOROP, VALUES_TOP, GPU_STAGES},
    {"ColorArg1", GPU_ASSIGN_STAGE, D3DTSS_COLORARG1, VALUES_ARG, GPU_STAGES},
    {"ColorArg2", GPU_ASSIGN_STAGE, D3DTSS_COLORARG2, VALUES_ARG, GPU_STAGES},
    {"AlphaOp", GPU_ASSIGN_STAGE, D3DTSS_ALPHAOP, VALUES_TOP, GPU_STAGES},
    {"AlphaArg1", GPU_ASSIGN_STAGE, D3DTSS_ALPHAARG1, VALUES_ARG, GPU_STAGES},
    {"AlphaArg2", GPU_ASSIGN_STAGE, D3DTSS_ALPHAARG2, VALUES_ARG, GPU_STAGES},
    {"TexCoordIndex", GPU_ASSIGN_STAGE, D3DTSS_TEXCOORDINDEX, VALUES_NUMBER, GPU_STAGES},
    {"MagFilter", GPU_ASSIGN_SAMPLER, D3DSAMP_MAGFILTER, VALUES_FILTER, GPU_SAMPLERS},
    {"MinFilter", GPU_ASSIGN_SAMPLER, D3DSAMP_MINFILTER, VALUES_FILTER, GPU_SAMPLERS},
    {"MipFilter", GPU_ASSIGN_SAMPLER, D3DSAMP_MIPFILTER, VALUES_FILTER, GPU_SAMPLERS},
    {"AddressU", GPU_ASSIGN_SAMPLER, D3DSAMP_ADDRESSU, VALUES_ADDRESS, GPU_SAMPLERS},
    {"AddressV", GPU_ASSIGN_SAMPLER, D3DSAMP_ADDRESSV, VALUES_ADDRESS, GPU_SAMPLERS},
    {"Texture", GPU_ASSIGN_TEXTURE, 0, VALUES_NUMBER, GPU_SAMPLERS},
    {"VertexShaderConstant1", GPU_ASSIGN_VS_CONSTANT, 1, VALUES_NUMBER, GPU_VS_CONSTANTS},
    {"VertexShaderConstant2", GPU_ASSIGN_VS_CONSTANT, 2, VALUES_NUMBER, GPU_VS_CONSTANTS},
    {"VertexShaderConstant3", GPU_ASSIGN_VS_CONSTANT, 3, VALUES_NUMBER, GPU_VS_CONSTANTS},
    {"VertexShaderConstant4", GPU_ASSIGN_VS_CONSTANT, 4, VALUES_NUMBER, GPU_VS_CONSTANTS},
    {"VertexShader", GPU_ASSIGN_VERTEX_SHADER, 0, VALUES_NUMBER, 0},
    {"PixelShader", GPU_ASSIGN_PIXEL_SHADER, 0, VALUES_NUMBER, 0},
};

// Words that begin HLSL declarations; meeting one at the top level means the text is HLSL.
const char *const HLSL_WORDS[] = {"static", "float", "float2", "float3", "float4", "float3x3", "float4x4", "half",
                                  "half4", "int", "int4", "uint", "bool", "struct", "sampler", "sampler2D",
                                  "sampler_state", "SamplerState", "Texture2D", "technique10", "void", "const",
                                  "uniform", "extern", "shared", "cbuffer", "string"};

const char *const HLSL_MESSAGE = "HLSL is not supported: only effects in shader assembler can be created";

bool same(const std::string &a, const char *b) { return strcasecmp(a.c_str(), b) == 0; }

struct Reader {
    const char *text;
    size_t length;
    size_t at;
    int line, column;
    Token token;
    GpuEffectDesc *desc;
    GpuParseError *error;
};

bool fail(Reader &r, int line, int column, const std::string &message)
{
    r.error->line = line;
    r.error->column = column;
    r.error->message = message;
    return false;
}

bool fail_here(Reader &r, const std::string &message) { return fail(r, r.token.line, r.token.column, message); }

char peek(const Reader &r, size_t ahead = 0) { return r.at + ahead < r.length ? r.text[r.at + ahead] : '\0'; }

void advance(Reader &r)
{
    if (r.text[r.at] == '\n') {
        r.line++;
        r.column = 1;
    } else {
        r.column++;
    }
    r.at++;
}

// Skips blanks and comments; false on a comment left open.
bool skip_blanks(Reader &r)
{
    while (r.at < r.length) {
        char c = peek(r);
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            advance(r);
        } else if (c == '/' && peek(r, 1) == '/') {
            while (r.at < r.length && peek(r) != '\n') advance(r);
        } else if (c == '/' && peek(r, 1) == '*') {
            int line = r.line, column = r.column;
            advance(r);
            advance(r);
            while (r.at < r.length && !(peek(r) == '*' && peek(r, 1) == '/')) advance(r);
            if (r.at >= r.length) return fail(r, line, column, "comment not closed");
            advance(r);
            advance(r);
        } else {
            break;
        }
    }
    return true;
}

bool is_number_start(const Reader &r)
{
    char c = peek(r), d = peek(r, 1);
    if (isdigit((unsigned char)c)) return true;
    if (c == '.' && isdigit((unsigned char)d)) return true;
    return c == '-' && (isdigit((unsigned char)d) || (d == '.' && isdigit((unsigned char)peek(r, 2))));
}

// Reads the next token into r.token.
bool next(Reader &r)
{
    if (!skip_blanks(r)) return false;
    Token &t = r.token;
    t.line = r.line;
    t.column = r.column;
    t.text.clear();
    if (r.at >= r.length || peek(r) == '\0') {
        t.kind = TOKEN_END;
        return true;
    }
    char c = peek(r);
    if (isalpha((unsigned char)c) || c == '_') {
        t.kind = TOKEN_WORD;
        while (isalnum((unsigned char)peek(r)) || peek(r) == '_') {
            t.text += peek(r);
            advance(r);
        }
        return true;
    }
    if (is_number_start(r)) {
        t.kind = TOKEN_NUMBER;
        if (c == '-') {
            t.text += c;
            advance(r);
        }
        while (isalnum((unsigned char)peek(r)) || peek(r) == '.' ||
               ((peek(r) == '-' || peek(r) == '+') && (t.text.back() == 'e' || t.text.back() == 'E'))) {
            t.text += peek(r);
            advance(r);
        }
        return true;
    }
    if (strchr("{};=<>[],()", c)) {
        t.kind = TOKEN_PUNCT;
        t.text = c;
        advance(r);
        return true;
    }
    return fail(r, t.line, t.column, std::string("unexpected character '") + c + "'");
}

bool is_punct(const Reader &r, char c) { return r.token.kind == TOKEN_PUNCT && r.token.text[0] == c; }

bool expect(Reader &r, char c)
{
    if (!is_punct(r, c)) {
        std::string found = r.token.kind == TOKEN_END ? "the end of the text" : "'" + r.token.text + "'";
        return fail_here(r, std::string("expected '") + c + "' but found " + found);
    }
    return next(r);
}

// A whole number token: decimal or 0x hexadecimal, within 32 bits.
bool read_dword(const Token &t, DWORD *value)
{
    if (t.kind != TOKEN_NUMBER || t.text[0] == '-') return false;
    const char *s = t.text.c_str();
    bool hex = s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    if (hex && !s[2]) return false;
    char *end;
    unsigned long long v = strtoull(s, &end, hex ? 16 : 10);
    if (*end || v > 0xFFFFFFFFull) return false;
    *value = DWORD(v);
    return true;
}

bool read_float(const Token &t, float *value)
{
    if (t.kind != TOKEN_NUMBER) return false;
    std::string s = t.text;
    if (!s.empty() && (s.back() == 'f' || s.back() == 'F')) s.pop_back();
    char *end;
    *value = strtof(s.c_str(), &end);
    return !s.empty() && *end == '\0';
}

int find_parameter(const GpuEffectDesc &desc, const std::string &name)
{
    for (size_t i = 0; i < desc.parameters.size(); i++)
        if (desc.parameters[i].name == name) return int(i);
    return -1;
}

bool read_parameter(Reader &r, GpuParamType type)
{
    if (!next(r)) return false;
    if (r.token.kind != TOKEN_WORD) return fail_here(r, "expected a parameter name");
    GpuEffectParameter p{r.token.text, type, r.token.line};
    if (find_parameter(*r.desc, p.name) >= 0) return fail_here(r, "parameter '" + p.name + "' is declared twice");
    if (!next(r)) return false;
    if (is_punct(r, '[')) return fail_here(r, "parameter arrays are not supported");
    if (is_punct(r, '=')) return fail_here(r, "parameter values are not supported");
    r.desc->parameters.push_back(p);
    return expect(r, ';');
}

// "<name>": the index of a declared parameter of the types allowed (a bit per GpuParamType).
bool read_parameter_reference(Reader &r, unsigned types, const char *what, int *parameter)
{
    if (!expect(r, '<')) return false;
    if (r.token.kind != TOKEN_WORD) return fail_here(r, "expected a parameter name");
    *parameter = find_parameter(*r.desc, r.token.text);
    if (*parameter < 0) return fail_here(r, "undeclared parameter '" + r.token.text + "'");
    if (!(types & (1u << r.desc->parameters[size_t(*parameter)].type)))
        return fail_here(r, "'" + r.token.text + "' is not " + what);
    if (!next(r)) return false;
    return expect(r, '>');
}

bool read_state_value(Reader &r, const StateName &s, GpuAssignment *a)
{
    if (r.token.kind == TOKEN_NUMBER) {
        if (!read_dword(r.token, &a->value)) return fail_here(r, "'" + r.token.text + "' is not a whole number");
        return next(r);
    }
    if (r.token.kind == TOKEN_WORD) {
        for (const ValueName &v : VALUE_NAMES) {
            if (v.kind == s.values && same(r.token.text, v.name)) {
                a->value = v.value;
                return next(r);
            }
        }
        return fail_here(r, "'" + r.token.text + "' is not a value of " + s.name);
    }
    return fail_here(r, std::string("expected a value for ") + s.name);
}

bool read_constants(Reader &r, const StateName &s, GpuAssignment *a)
{
    a->registers = int(s.state);
    if (a->index + DWORD(a->registers) > GPU_VS_CONSTANTS) return fail_here(r, "constant register out of range");
    if (is_punct(r, '<')) {
        if (!read_parameter_reference(r, 1u << GPU_PARAM_MATRIX | 1u << GPU_PARAM_VECTOR | 1u << GPU_PARAM_DWORD,
                                      "a matrix, vector or dword", &a->parameter))
            return false;
        bool matrix = r.desc->parameters[size_t(a->parameter)].type == GPU_PARAM_MATRIX;
        if (a->registers > (matrix ? 4 : 1)) return fail_here(r, "the parameter fills fewer registers");
        return true;
    }
    if (!expect(r, '{')) return false;
    int count = 0;
    while (!is_punct(r, '}')) {
        if (count > 0 && !expect(r, ',')) return false;
        if (count >= 4 * a->registers || !read_float(r.token, &a->constants[count]))
            return fail_here(r, "expected " + std::to_string(4 * a->registers) + " numbers");
        count++;
        if (!next(r)) return false;
    }
    if (count != 4 * a->registers) return fail_here(r, "expected " + std::to_string(4 * a->registers) + " numbers");
    return next(r);
}

// Finds the '}' that closes an assembler block: the first line whose first non-blank character is
// '}'. Leaves the reader after it and gives the block's text.
bool take_block(Reader &r, size_t *start, size_t *end, int *line, int *column)
{
    *start = r.at;
    *line = r.line;
    *column = r.column;
    size_t at = r.at;
    bool line_start = true;
    while (at < r.length && r.text[at] != '\0') {
        char c = r.text[at];
        if (c == '\n') {
            line_start = true;
        } else if (c == '}' && line_start) {
            *end = at;
            while (r.at < at) advance(r);
            advance(r);
            return true;
        } else if (c != ' ' && c != '\t' && c != '\r') {
            line_start = false;
        }
        at++;
    }
    return fail(r, *line, *column, "assembler block not closed");
}

// decl { stream n; float vN[3]; ... }
bool read_stream_decl(Reader &r, GpuProgram *program)
{
    if (!expect(r, '{')) return false;
    int stream = 0;
    while (!is_punct(r, '}')) {
        if (r.token.kind != TOKEN_WORD) return fail_here(r, "expected a stream declaration");
        std::string type = r.token.text;
        if (!next(r)) return false;
        DWORD number;
        if (same(type, "stream")) {
            if (!read_dword(r.token, &number) || number > 1) return fail_here(r, "expected stream 0 or 1");
            stream = int(number);
            if (!next(r) || !expect(r, ';')) return false;
            continue;
        }
        if (r.token.kind != TOKEN_WORD || tolower(r.token.text[0]) != 'v' || r.token.text.size() < 2)
            return fail_here(r, "expected an input register");
        char *end;
        long input = strtol(r.token.text.c_str() + 1, &end, 10);
        if (*end || input < 0 || input > 15) return fail_here(r, "expected an input register v0 to v15");
        if (!next(r) || !expect(r, '[')) return false;
        if (!read_dword(r.token, &number)) return fail_here(r, "expected a component count");
        uint8_t decl_type;
        if (same(type, "float") && number >= 1 && number <= 4)
            decl_type = uint8_t(D3DDECLTYPE_FLOAT1 + number - 1);
        else if (same(type, "d3dcolor") && number == 1)
            decl_type = D3DDECLTYPE_D3DCOLOR;
        else if (same(type, "ubyte") && number == 4)
            decl_type = D3DDECLTYPE_UBYTE4;
        else
            return fail_here(r, "unknown stream element type");
        program->streams.push_back(GpuStreamDecl{uint8_t(stream), uint8_t(input), decl_type});
        if (!next(r) || !expect(r, ']') || !expect(r, ';')) return false;
    }
    return next(r);
}

bool read_shader(Reader &r, GpuShaderKind kind, GpuAssignment *a)
{
    auto program = std::make_shared<GpuProgram>();
    program->kind = kind;
    program->device = nullptr;
    program->backend = nullptr;
    if (r.token.kind == TOKEN_WORD && same(r.token.text, "compile")) return fail_here(r, HLSL_MESSAGE);
    if (r.token.kind == TOKEN_WORD && same(r.token.text, "NULL")) {
        a->program = -1;
        return next(r);
    }
    if (kind == GPU_SHADER_VERTEX && r.token.kind == TOKEN_WORD && same(r.token.text, "decl")) {
        if (!next(r) || !read_stream_decl(r, program.get())) return false;
    }
    if (r.token.kind != TOKEN_WORD || !same(r.token.text, "asm")) return fail_here(r, "expected an asm block");
    if (!skip_blanks(r)) return false;
    if (peek(r) != '{') return fail(r, r.line, r.column, "expected '{' after asm");
    advance(r);
    size_t start, end;
    int line, column;
    if (!take_block(r, &start, &end, &line, &column)) return false;
    if (!gpu_shader_parse(r.text + start, end - start, line, column, kind, program.get(), r.error)) return false;
    a->program = int(r.desc->programs.size());
    r.desc->programs.push_back(program);
    return next(r);
}

bool read_assignment(Reader &r, GpuEffectPass *pass)
{
    if (r.token.kind != TOKEN_WORD) return fail_here(r, "expected a state name");
    const StateName *s = nullptr;
    for (const StateName &candidate : STATE_NAMES)
        if (same(r.token.text, candidate.name)) s = &candidate;
    if (!s) return fail_here(r, "unknown state '" + r.token.text + "'");
    GpuAssignment a = {};
    a.kind = s->kind;
    a.state = s->state;
    a.parameter = -1;
    a.program = -1;
    a.line = r.token.line;
    if (!next(r)) return false;
    if (s->indices > 0) {
        if (!is_punct(r, '[')) return fail_here(r, std::string(s->name) + " needs an index");
        if (!next(r)) return false;
        if (!read_dword(r.token, &a.index) || a.index >= DWORD(s->indices))
            return fail_here(r, std::string("index out of range for ") + s->name);
        if (!next(r) || !expect(r, ']')) return false;
    } else if (is_punct(r, '[')) {
        return fail_here(r, std::string(s->name) + " takes no index");
    }
    if (!expect(r, '=')) return false;
    bool ok;
    switch (s->kind) {
    case GPU_ASSIGN_TEXTURE:
        ok = read_parameter_reference(r, 1u << GPU_PARAM_TEXTURE, "a texture", &a.parameter);
        break;
    case GPU_ASSIGN_VS_CONSTANT:
        ok = read_constants(r, *s, &a);
        break;
    case GPU_ASSIGN_VERTEX_SHADER:
        ok = read_shader(r, GPU_SHADER_VERTEX, &a);
        break;
    case GPU_ASSIGN_PIXEL_SHADER:
        ok = read_shader(r, GPU_SHADER_PIXEL, &a);
        break;
    default:
        ok = read_state_value(r, *s, &a);
        break;
    }
    if (!ok || !expect(r, ';')) return false;
    pass->assignments.push_back(a);
    return true;
}

// "NAME [name] { ... } [;]" of a technique or pass; the name is optional.
bool read_block_head(Reader &r, std::string *name, int *line)
{
    *line = r.token.line;
    if (!next(r)) return false;
    if (r.token.kind == TOKEN_WORD) {
        *name = r.token.text;
        if (!next(r)) return false;
    }
    return expect(r, '{');
}

bool read_block_end(Reader &r)
{
    if (!expect(r, '}')) return false;
    return !is_punct(r, ';') || next(r);
}

bool read_pass(Reader &r, GpuEffectTechnique *technique)
{
    GpuEffectPass pass;
    if (!read_block_head(r, &pass.name, &pass.line)) return false;
    while (!is_punct(r, '}')) {
        if (r.token.kind == TOKEN_END) return fail_here(r, "pass not closed");
        if (!read_assignment(r, &pass)) return false;
    }
    technique->passes.push_back(pass);
    return read_block_end(r);
}

bool read_technique(Reader &r)
{
    GpuEffectTechnique technique;
    if (!read_block_head(r, &technique.name, &technique.line)) return false;
    while (!is_punct(r, '}')) {
        if (r.token.kind != TOKEN_WORD || !same(r.token.text, "PASS")) return fail_here(r, "expected PASS");
        if (!read_pass(r, &technique)) return false;
    }
    r.desc->techniques.push_back(technique);
    return read_block_end(r);
}

bool read_top_level(Reader &r)
{
    const std::string &word = r.token.text;
    if (r.token.kind != TOKEN_WORD) return fail_here(r, "unexpected '" + word + "'");
    if (same(word, "TEXTURE")) return read_parameter(r, GPU_PARAM_TEXTURE);
    if (same(word, "MATRIX")) return read_parameter(r, GPU_PARAM_MATRIX);
    if (same(word, "VECTOR")) return read_parameter(r, GPU_PARAM_VECTOR);
    if (same(word, "DWORD")) return read_parameter(r, GPU_PARAM_DWORD);
    if (same(word, "TECHNIQUE")) return read_technique(r);
    for (const char *hlsl : HLSL_WORDS)
        if (same(word, hlsl)) return fail_here(r, HLSL_MESSAGE);
    return fail_here(r, "unexpected '" + word + "'");
}

}  // namespace

bool gpu_effect_parse(const char *text, size_t length, GpuEffectDesc *desc, GpuParseError *error)
{
    Reader r = {text, length, 0, 1, 1, {}, desc, error};
    if (!next(r)) return false;
    while (r.token.kind != TOKEN_END)
        if (!read_top_level(r)) return false;
    return true;
}

bool gpu_effect_technique_valid(const GpuEffectDesc &desc, int technique, const D3DCAPS9 &caps)
{
    if (technique < 0 || technique >= int(desc.techniques.size())) return false;
    for (const GpuEffectPass &pass : desc.techniques[size_t(technique)].passes) {
        bool pixel_shader = false;
        for (const GpuAssignment &a : pass.assignments) {
            if ((a.kind == GPU_ASSIGN_VERTEX_SHADER || a.kind == GPU_ASSIGN_PIXEL_SHADER) && a.program >= 0) {
                const GpuProgram &p = *desc.programs[size_t(a.program)];
                DWORD have = a.kind == GPU_ASSIGN_VERTEX_SHADER ? caps.VertexShaderVersion : caps.PixelShaderVersion;
                if ((p.version & 0xFFFF) > (have & 0xFFFF)) return false;
                pixel_shader |= a.kind == GPU_ASSIGN_PIXEL_SHADER;
            }
        }
        for (const GpuAssignment &a : pass.assignments) {
            bool op = a.kind == GPU_ASSIGN_STAGE && (a.state == D3DTSS_COLOROP || a.state == D3DTSS_ALPHAOP);
            if (op && a.value != D3DTOP_DISABLE && a.index >= caps.MaxSimultaneousTextures) return false;
            if (op && a.value == D3DTOP_DOTPRODUCT3 && !(caps.TextureOpCaps & D3DTEXOPCAPS_DOTPRODUCT3)) return false;
            if (op && a.value == D3DTOP_BUMPENVMAP && !(caps.TextureOpCaps & D3DTEXOPCAPS_BUMPENVMAP)) return false;
            if (a.kind == GPU_ASSIGN_RENDER && a.state == D3DRS_TWOSIDEDSTENCILMODE && a.value &&
                !(caps.StencilCaps & D3DSTENCILCAPS_TWOSIDED))
                return false;
            if (a.kind == GPU_ASSIGN_TEXTURE && !pixel_shader && a.index >= caps.MaxSimultaneousTextures) return false;
        }
    }
    return true;
}
