// Declarations of a pass: the register name maps, the vertex shader's constant bindings and input
// declarations (assembler dcl lines or the HLSL VS_INPUT structure), and the pixel shader's header
// (def and dcl lines) or HLSL structures, samplers and pixel constants.
#include "shader/shader_local.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

typedef const char *const NamePairs[][2];

NamePairs kHlslOutputs = {
    {"oPos", "o.p0"},           {"oDiffuse", "o.v0"},       {"oSpecular", "o.v1"},      {"oTexture0", "o.t0"},
    {"oTexture1", "o.t1"},      {"oTexture2", "o.t2"},      {"oTexture3", "o.t3"},      {"oTexture4", "o.t4"},
    {"oTexture5", "o.t5"},      {"oTexture6", "o.t6"},      {"oTexture7", "o.t7"},      {"Position", "i.p0"},
    {"Diffuse", "i.v0"},        {"Specular", "i.v1"},       {"Tex0", "i.t0"},           {"Tex1", "i.t1"},
    {"Tex2", "i.t2"},           {"Tex3", "i.t3"},           {"Tex4", "i.t4"},           {"Tex5", "i.t5"},
    {"Tex6", "i.t6"},           {"Tex7", "i.t7"},           {nullptr, nullptr},
};
NamePairs kHlslArguments = {
    {"Position", "ip0"}, {"Diffuse", "iv0"}, {"Specular", "iv1"}, {"Tex0", "it0"}, {"Tex1", "it1"}, {"Tex2", "it2"},
    {"Tex3", "it3"},     {"Tex4", "it4"},    {"Tex5", "it5"},     {"Tex6", "it6"}, {"Tex7", "it7"}, {nullptr, nullptr},
};
NamePairs kAsmOutputs = {
    {"oPos", "oPos"},   {"oDiffuse", "oD0"}, {"oSpecular", "oD1"}, {"oTexture0", "oT0"}, {"oTexture1", "oT1"},
    {"oTexture2", "oT2"}, {"oTexture3", "oT3"}, {"oTexture4", "oT4"}, {"oTexture5", "oT5"}, {"oTexture6", "oT6"},
    {"oTexture7", "oT7"}, {"Diffuse", "v0"},    {"Specular", "v1"},   {"Tex0", "t0"},       {"Tex1", "t1"},
    {"Tex2", "t2"},     {"Tex3", "t3"},      {"Tex4", "t4"},       {"Tex5", "t5"},       {"Tex6", "t6"},
    {"Tex7", "t7"},     {nullptr, nullptr},
};
NamePairs kAsmInputs = {
    {"iPos", "v0"},    {"iPos2", "v1"},     {"iWeights", "v1"},  {"iWIndices", "v2"}, {"iNorm", "v3"},
    {"iNorm2", "v4"},  {"iDiffuse", "v5"},  {"iSpecular", "v6"}, {"iTexture0", "v7"}, {"iTexture1", "v8"},
    {"iTexture2", "v9"}, {nullptr, nullptr},
};
NamePairs kGlslInputs = {
    {"iPos", "VertexPosition"},      {"iNorm", "VertexNormal"},         {"iPos2", "VertexPosition2"},
    {"iNorm2", "VertexNormal2"},     {"iDiffuse", "VertexColor"},       {"iSpecular", "VertexSecondaryColor"},
    {"iTexture0", "MultiTexCoord0"}, {"iTexture1", "MultiTexCoord1"},   {"iTexture2", "MultiTexCoord2"},
    {"iTexture3", "MultiTexCoord3"}, {"iWeights", "Weights"},           {"iWIndices", "WIndices"},
    {"Address", "A0.x"},             {nullptr, nullptr},
};
NamePairs kGlslOutputs = {
    {"oPos", "gl_Position"},           {"oDiffuse", "gl_FrontColor"},     {"oSpecular", "gl_FrontSecondaryColor"},
    {"oTexture0", "gl_TexCoord[0]"},   {"oTexture1", "gl_TexCoord[1]"},   {"oTexture2", "gl_TexCoord[2]"},
    {"oTexture3", "gl_TexCoord[3]"},   {"oTexture4", "gl_TexCoord[4]"},   {"oTexture5", "gl_TexCoord[5]"},
    {"oTexture6", "gl_TexCoord[6]"},   {"oTexture7", "gl_TexCoord[7]"},   {"Tex0", "gl_TexCoord[0]"},
    {"Tex1", "gl_TexCoord[1]"},        {"Tex2", "gl_TexCoord[2]"},        {"Tex3", "gl_TexCoord[3]"},
    {"Tex4", "gl_TexCoord[4]"},        {"Tex5", "gl_TexCoord[5]"},        {"Tex6", "gl_TexCoord[6]"},
    {"Tex7", "gl_TexCoord[7]"},        {"Diffuse", "gl_Color"},           {"Specular", "gl_SecondaryColor"},
    {"Position", "gl_FragCoord"},      {nullptr, nullptr},
};
NamePairs kArbSelf = {
    {"iPos", "iPos"},       {"iPos2", "iPos2"},         {"iWeights", "iWeights"},   {"iWIndices", "iWIndices"},
    {"iNorm", "iNorm"},     {"iNorm2", "iNorm2"},       {"iDiffuse", "iDiffuse"},   {"iSpecular", "iSpecular"},
    {"iTexture0", "iTexture0"}, {"iTexture1", "iTexture1"}, {"iTexture2", "iTexture2"}, {"Address", "A0.x"},
    {nullptr, nullptr},
};
NamePairs kArbOutputs = {
    {"oPos", "oPos"}, {"oDiffuse", "oDiffuse"}, {"oSpecular", "oSpecular"}, {"oTexture0", "oTexture0"},
    {"oTexture1", "oTexture1"}, {"oTexture2", "oTexture2"}, {"oTexture3", "oTexture3"}, {"oTexture4", "oTexture4"},
    {"Tex0", "fragment.texcoord[0]"}, {"Tex1", "fragment.texcoord[1]"}, {"Tex2", "fragment.texcoord[2]"},
    {"Tex3", "fragment.texcoord[3]"}, {"Tex4", "fragment.texcoord[4]"}, {"Diffuse", "fragment.color"},
    {"Specular", "fragment.color.secondary"}, {nullptr, nullptr},
};

void add_pairs(ShaderCompiler *c, NameMap *map, NamePairs pairs)
{
    for (int i = 0; pairs[i][0]; i++) shader_name_map_add(c, map, pairs[i][0], pairs[i][1]);
}

void append(TextLineList *list, const char *line)
{
    shader_line_list_append(list, line);
}

void appendf(ShaderCompiler *c, TextLineList *list, const char *format, ...) __attribute__((format(printf, 3, 4)));
void appendf(ShaderCompiler *c, TextLineList *list, const char *format, ...)
{
    char line[SHADER_LINE_SIZE];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n >= (int)sizeof line) shader_capacity_error(c, "characters in a generated line");
    shader_line_list_append(list, line);
}

// Format bits and the section bits of the output mask.
const uint32_t kXyz = 0x4, kNormal = 0x8, kDiffuse = 0x10, kSpecular = 0x20, kTex0 = 0x40, kTex1 = 0x80,
               kTex2 = 0x100, kTex3 = 0x200, kBlend = 0x8000, kMorph = 0x20000;

struct OutputBit {
    uint32_t bit;
    const char *member;
    const char *semantic;
};
const OutputBit kOutputs[] = {
    {0x10, "v0", "COLOR0"},         {0x20, "v1", "COLOR1"},         {0x40, "t0", "TEXCOORD0"},
    {0x80, "t1", "TEXCOORD1"},      {0x100, "t2", "TEXCOORD2"},     {0x200, "t3", "TEXCOORD3"},
    {0x400, "t4", "TEXCOORD4"},     {0x100000, "t5", "TEXCOORD5"},  {0x200000, "t6", "TEXCOORD6"},
    {0x400000, "t7", "TEXCOORD7"},
};

// The vs.2.x input registers, given in turn to the inputs the format has (a register is declared
// once, so NORMAL and DIFFUSE take one each).
void write_model2_inputs(ShaderCompiler *c, TextLineList *list, uint32_t format)
{
    static const char *const kRegisters[] = {"v0", "v1", "v2", "v3", "v4", "v5", "v6", "v7", "v8", "v9"};
    c->input_map.count = 0;
    if (format & kMorph) {
        append(list, "dcl_position0 v0");
        append(list, "dcl_position1 v1");
        append(list, "dcl_normal0 v2");
        append(list, "dcl_normal1 v3");
        append(list, "dcl_texcoord v4");
        NamePairs morph = {{"iPos", "v0"}, {"iPos2", "v1"}, {"iNorm", "v2"}, {"iNorm2", "v3"}, {"iTexture0", "v4"},
                           {nullptr, nullptr}};
        add_pairs(c, &c->input_map, morph);
        return;
    }
    shader_name_map_add(c, &c->input_map, "iPos", "v0");
    if (format & kXyz) append(list, "dcl_position v0");
    int next = 1;
    if (format & kBlend) {
        append(list, "dcl_blendweight v1");
        append(list, "dcl_blendindices v2");
        shader_name_map_add(c, &c->input_map, "iWeights", "v1");
        shader_name_map_add(c, &c->input_map, "iWIndices", "v2");
        next = 3;
    }
    const struct {
        uint32_t bit;
        const char *usage;
        const char *name;
    } inputs[] = {{kNormal, "dcl_normal", "iNorm"},           {kDiffuse, "dcl_color0", "iDiffuse"},
                  {kTex0, "dcl_texcoord0", "iTexture0"},     {kTex1, "dcl_texcoord1", "iTexture1"},
                  {kTex2, "dcl_texcoord2", "iTexture2"}};
    for (const auto &input : inputs) {
        if (!(format & input.bit)) continue;
        appendf(c, list, "%s %s", input.usage, kRegisters[next]);
        shader_name_map_add(c, &c->input_map, input.name, kRegisters[next]);
        next++;
    }
}

void write_model1_inputs(TextLineList *list, uint32_t format)
{
    if (format & kMorph) {
        for (const char *line : {"dcl_position0 v0", "dcl_position1 v1", "dcl_normal0 v3", "dcl_normal1 v4",
                                 "dcl_texcoord v7"})
            append(list, line);
        return;
    }
    if (format & kXyz) append(list, "dcl_position v0");
    if (format & kBlend) {
        append(list, "dcl_blendweight v1");
        append(list, "dcl_blendindices v2");
    }
    if (format & kNormal) append(list, "dcl_normal v3");
    if (format & kDiffuse) append(list, "dcl_color0 v5");
    if (format & kSpecular) append(list, "dcl_color1 v6");
    if (format & kTex0) append(list, "dcl_texcoord0 v7");
    if (format & kTex1) append(list, "dcl_texcoord1 v8");
    if (format & kTex2) append(list, "dcl_texcoord2 v9");
}

void write_stream_declaration(TextLineList *list, uint32_t format)
{
    if (format & kMorph) {
        for (const char *line : {"stream 0;", "float v0[3];", "float v3[3];", "float v7[2];", "stream 1;",
                                 "float v1[3];", "float v4[3];", "float v8[2];"})
            append(list, line);
        return;
    }
    if (format & kXyz) append(list, "float v0[3];");
    if (format & kBlend) {
        append(list, "float v1[4];");
        append(list, "ubyte v2[4];");
    }
    if (format & kNormal) append(list, "float v3[3];");
    if (format & kDiffuse) append(list, "d3dcolor v5[1];");
    if (format & kSpecular) append(list, "d3dcolor v6[1];");
    if (format & kTex0) append(list, "float v7[2];");
    if (format & kTex1) append(list, "float v8[2];");
    if (format & kTex2) append(list, "float v9[2];");
}

int constant_slots(const ShaderCompiler *c)
{
    return c->model2 ? SHADER_CONST_CAPACITY : 96;
}

void write_assembler_vertex_input(ShaderCompiler *c, uint32_t declaration)
{
    TextLineList *list = &c->effect_lines;
    uint32_t format = declaration & ~0x10003u;
    append(list, "");
    for (int r = 0; r < constant_slots(c) && r < c->const_register_count; r++) {
        if (!c->const_names[r]) continue;
        int count = shader_type_registers(c->const_types[r]);
        if (c->const_texts[r])
            appendf(c, list, "VertexShaderConstant%d[%d] = { %s };", count, r, c->const_texts[r]);
        else
            appendf(c, list, "VertexShaderConstant%d[%d] = <%s>;", count, r, c->const_names[r]);
    }
    append(list, "");
    append(list, "VertexShader =");
    append(list, "decl");
    append(list, "{");
    if (!(declaration & 0x10000)) write_stream_declaration(list, format);
    append(list, "}");
    append(list, "asm");
    append(list, "{");
    append(list, c->model2 ? "vs.2.x" : "vs.1.1");
    if (!(declaration & 0x10000)) return;
    if (c->model2)
        write_model2_inputs(c, list, format);
    else
        write_model1_inputs(list, format);
}

void write_hlsl_vertex_input(ShaderCompiler *c, int pass, uint32_t declaration)
{
    uint32_t format = declaration & ~0x10003u;
    bool d3d10 = c->hlsl_forced;
    TextLineList *declarations = &c->hlsl_declaration_lines;
    append(&c->effect_lines, "");
    for (int i = 0; i < SHADER_TEXTURE_CAPACITY; i++) {
        if (c->texture_names[i]) appendf(c, declarations, d3d10 ? "Texture2D %s;" : "Texture %s;", c->texture_names[i]);
    }
    append(&c->effect_lines, "");
    for (int r = 0; r < constant_slots(c) && r < c->const_register_count; r++) {
        const char *name = c->const_names[r];
        if (!name) continue;
        uint32_t type = c->const_types[r];
        if (c->const_texts[r])
            appendf(c, declarations, "float4 %s = { %s };", name, c->const_texts[r]);
        else if ((type & 0xFFFF) != 1)
            appendf(c, declarations, "float4 %s;", name);
        else if (type >> 16)
            appendf(c, declarations, "float4x4 %s[%u];", name, type >> 16);
        else
            appendf(c, declarations, "float4x4 %s;", name);
    }
    if (pass == 0) {
        TextLineList *input = &c->vertex_input_lines;
        append(input, "struct VS_INPUT");
        append(input, "{");
        if (format & kMorph) {
            for (const char *line : {"float4 v0 : POSITION0;", "float3 v3 : NORMAL0;", "float2 v7 : TEXCOORD0;",
                                     "float4 v1 : POSITION1;", "float3 v4 : NORMAL1;", "float2 v8 : TEXCOORD1;"})
                append(input, line);
        } else {
            if (format & kXyz) append(input, "float4 v0 : POSITION;");
            if (format & kBlend) {
                append(input, "float4 v1 : BLENDWEIGHT;");
                if (!d3d10) append(input, "DWORD v2 : BLENDINDICES;");
            }
            if (format & kNormal) append(input, "float3 v3 : NORMAL;");
            if (format & kDiffuse) append(input, "float4 v5 : COLOR0;");
            if (format & kSpecular) append(input, "float4 v6 : COLOR1;");
            if (format & kTex0) append(input, "float2 v7 : TEXCOORD0;");
            if (format & kTex1) append(input, "float2 v8 : TEXCOORD1;");
            if (format & kTex2) append(input, "float2 v9 : TEXCOORD2;");
            if (format & kTex3) append(input, "float2 v10 : TEXCOORD3;");
        }
        append(input, "};");
    }
    c->input_map.count = 0;
    shader_name_map_add(c, &c->input_map, "iPos", "i.v0");
    if (format & kMorph) {
        NamePairs morph = {{"iPos2", "i.v1"}, {"iNorm", "i.v3"}, {"iNorm2", "i.v4"}, {"iTexture0", "i.v7"},
                           {nullptr, nullptr}};
        add_pairs(c, &c->input_map, morph);
        return;
    }
    if (format & kBlend) {
        shader_name_map_add(c, &c->input_map, "iWeights", d3d10 ? "Weights" : "i.v1");
        shader_name_map_add(c, &c->input_map, "iWIndices", "WInd");
    }
    NamePairs rest = {{"iNorm", "i.v3"},      {"iDiffuse", "i.v5"},   {"iSpecular", "i.v6"}, {"iTexture0", "i.v7"},
                      {"iTexture1", "i.v8"},  {"iTexture2", "i.v9"},  {"iTexture3", "i.v10"}, {nullptr, nullptr}};
    add_pairs(c, &c->input_map, rest);
}

// ARB vertex program attribute, output and address declarations.
void write_arb_vertex_input(ShaderCompiler *c)
{
    NamePairs attributes = {{"iPos", "0"},  {"iPos2", "1"},    {"iWeights", "1"},  {"iNorm", "2"},
                            {"iNorm2", "3"}, {"iDiffuse", "3"}, {"iSpecular", "4"}, {"iWIndices", "6"},
                            {"iTexture0", "8"}, {"iTexture1", "9"}, {"iTexture2", "10"}, {nullptr, nullptr}};
    NamePairs outputs = {{"oPos", "result.position"},           {"oDiffuse", "result.color.primary"},
                         {"oSpecular", "result.color.secondary"}, {"oTexture0", "result.texcoord[0]"},
                         {"oTexture1", "result.texcoord[1]"},     {"oTexture2", "result.texcoord[2]"},
                         {"oTexture3", "result.texcoord[3]"},     {"oTexture4", "result.texcoord[4]"},
                         {nullptr, nullptr}};
    for (int i = 0; attributes[i][0]; i++)
        appendf(c, &c->gl_header_lines, "ATTRIB %s = vertex.attrib[%s];", attributes[i][0], attributes[i][1]);
    for (int i = 0; outputs[i][0]; i++)
        appendf(c, &c->gl_header_lines, "OUTPUT %s = %s;", outputs[i][0], outputs[i][1]);
    append(&c->gl_header_lines, "ADDRESS A0;");
}

// "Out" is the first variable of every pixel program (r0, where pixel shader 1.4 leaves its result).
void declare_pixel_output(ShaderCompiler *c)
{
    shader_clear_locals(c);
    shader_scratch_reset();
    shader_resolve_operand(c, "Out", 1);
    c->statement_variable_mark = c->variable_count;
}

} // namespace

void shader_map_register_name(ShaderCompiler *c, uint32_t target_bits)
{
    if (target_bits == 1 && c->model2) {
        add_pairs(c, &c->input_map, kGlslInputs);
        add_pairs(c, &c->register_map, kGlslOutputs);
        if (c->depth_only) shader_name_map_add(c, &c->register_map, "Depth", "gl_FragDepth");
        return;
    }
    if (target_bits == 1) {
        add_pairs(c, &c->input_map, kArbSelf);
        add_pairs(c, &c->register_map, kArbOutputs);
        return;
    }
    if (c->hlsl_mode) {
        add_pairs(c, &c->register_map, kHlslOutputs);
        add_pairs(c, &c->pixel_argument_map, kHlslArguments);
    } else {
        add_pairs(c, &c->register_map, kAsmOutputs);
    }
    if (!c->model2) add_pairs(c, &c->input_map, kAsmInputs);
    shader_name_map_add(c, &c->input_map, "Address", "a0.x");
}

void shader_write_vertex_input(ShaderCompiler *c, int pass, uint32_t declaration, uint32_t output_mask)
{
    (void)output_mask;
    if (c->target == 0 && c->hlsl_mode)
        write_hlsl_vertex_input(c, pass, declaration);
    else if (c->target == 0)
        write_assembler_vertex_input(c, declaration);
    else if (c->target == 1 && !c->model2 && !(declaration & 0x2))
        write_arb_vertex_input(c);
}

void shader_write_hlsl_declarations(ShaderCompiler *c, int pass, uint32_t output_mask)
{
    if (c->target != 0) return;
    if (c->hlsl_mode) {
        TextLineList *declarations = &c->hlsl_declaration_lines;
        bool d3d10 = c->hlsl_forced;
        declare_pixel_output(c);
        if (c->depth_only) shader_name_map_add(c, &c->register_map, "Depth", "o.Depth");
        c->phase_done = 1;
        if (pass == 0) {
            for (int i = 0; i < c->ps_const_count; i++) {
                if (!c->ps_const_names[i] || !c->ps_const_texts[i]) continue;
                const char *format = c->ps_const_registers[i] == 1 ? "float4  %s = { %s };" : "float4x4  %s = { %s };";
                appendf(c, declarations, format, c->ps_const_names[i], c->ps_const_texts[i]);
            }
        }
        append(declarations, "");
        if (pass == 0) {
            append(declarations, "struct PS_OUTPUT");
            append(declarations, "{");
            append(declarations, d3d10 ? "float4 Out : SV_Target;" : "float4 Out : COLOR0;");
            if (c->depth_only) append(declarations, d3d10 ? "float Depth : SV_Depth;" : "float Depth : DEPTH;");
            append(declarations, "};");
            append(declarations, "");
        }
        appendf(c, declarations, "struct VS_OUTPUT%d", pass);
        append(declarations, "{");
        append(declarations, d3d10 ? "float4 p0 : SV_POSITION;" : "float4 p0 : POSITION;");
        for (const OutputBit &o : kOutputs) {
            if (output_mask & o.bit) appendf(c, declarations, "float4 %s : %s;", o.member, o.semantic);
        }
        append(declarations, "};");
        append(declarations, "");
        if (pass != 0) return;
        if (d3d10) {
            for (const char *line : {"SamplerState s0", "{", "Filter = MIN_MAG_MIP_LINEAR;", "AddressU = Wrap;",
                                     "AddressV = Wrap;", "};"})
                append(declarations, line);
            return;
        }
        for (int i = 0; i < c->texture_count; i++) {
            appendf(c, declarations, "sampler s%d = ", i);
            append(declarations, "sampler_state");
            append(declarations, "{");
            appendf(c, declarations, "Texture = <%s>;", c->texture_names[i]);
            append(declarations, "MipFilter = LINEAR;");
            append(declarations, "MinFilter = LINEAR;");
            append(declarations, "MagFilter = LINEAR;");
            append(declarations, "};");
        }
        return;
    }

    TextLineList *list = &c->effect_lines;
    append(list, "PixelShader =");
    append(list, "asm");
    append(list, "{");
    append(list, c->model2 ? "ps.2.x" : "ps.1.4");
    append(list, "");
    declare_pixel_output(c);
    if (c->model2) {
        shader_name_map_add(c, &c->register_map, "Depth", "oDepth");
        c->phase_done = 1;
        for (int i = 0; i < c->ps_const_count; i++) {
            if (c->ps_const_names[i] && c->ps_const_texts[i]) appendf(c, list, "def  c%d, %s", i, c->ps_const_texts[i]);
        }
        append(list, "");
        if (output_mask & 0x10) append(list, "dcl v0");
        if (output_mask & 0x20) append(list, "dcl v1");
        for (int t = 0; t < 8; t++) {
            if (output_mask & kOutputs[t + 2].bit) appendf(c, list, "dcl t%d", t);
        }
        append(list, "");
        for (int s = 0; s < SHADER_RS_STAGES; s++) {
            if (c->sampler_stages_used & (1u << s)) appendf(c, list, "dcl_2d s%d", s);
        }
    } else {
        // Pixel shader 1.4 has the constant registers c0 to c7.
        c->phase_done = 0;
        for (int i = 0; i < c->ps_const_count && i < 8; i++) {
            if (c->ps_const_names[i] && c->ps_const_texts[i]) appendf(c, list, "def  c%d, %s", i, c->ps_const_texts[i]);
        }
    }
    append(list, "");
}
