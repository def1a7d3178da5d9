// The second half of a compile: each pass of the chosen technique with its render states,
// declarations, user functions and translated code, as assembler blocks in the effect text or as
// HLSL functions that the effect text assembly lays out.
#include "shader/shader_local.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Section bits of a pass; the same bits select the members of the output structures.
const uint32_t kSectionBits[SHADER_SECTION_SHADER] = {0x4,   0x10,  0x20,     0x40,     0x80,    0x100,
                                                      0x200, 0x400, 0x100000, 0x200000, 0x400000};
const char *const kOutputMembers[SHADER_SECTION_SHADER] = {nullptr, "v0", "v1", "t0", "t1", "t2",
                                                          "t3",    "t4", "t5", "t6", "t7"};
const int kAlphaTestWord = 76, kAlphaRefWord = 77, kAlphaFuncWord = 78;
const uint32_t kTrue = 508, kLess = 558, kLessEqual = 560, kGreater = 561;

struct Pass {
    ShaderCompiler *c;
    const ShaderSections *sections;
    int technique, index;
    uint32_t requirements;
    uint32_t mask;
};

const char *section(const Pass &p, int kind)
{
    return p.sections->text[kind][p.index + SHADER_RS_PASSES * p.technique];
}

void append(TextLineList *list, const char *line)
{
    shader_line_list_append(list, line);
}

void appendf(TextLineList *list, const char *format, int value)
{
    char line[SHADER_LINE_SIZE];
    snprintf(line, sizeof line, format, value);
    shader_line_list_append(list, line);
}

// Puts `lines` in front of the list, in their order.
void prepend_all(TextLineList *list, const std::vector<std::string> &lines)
{
    for (size_t i = lines.size(); i-- > 0;) shader_line_list_prepend(list, lines[i].c_str());
}

// "float4 r%d;" for each temporary the code used.
void declare_temporaries(const ShaderCompiler *c, std::vector<std::string> *out)
{
    for (int n = 0; n < SHADER_TEMP_COUNT; n++) {
        if (c->temp_touched[n]) out->push_back("float4 r" + std::to_string(n) + ";");
    }
}

void clear_temporaries(ShaderCompiler *c)
{
    shader_clear_locals(c);
    memset(c->temp_touched, 0, sizeof c->temp_touched);
}

void translate_vertex_sections(const Pass &p, TextLineList *list)
{
    for (int kind = SHADER_SECTION_POSITION; kind < SHADER_SECTION_SHADER; kind++) {
        const char *text = section(p, kind);
        if (!text) continue;
        shader_clear_locals(p.c);
        shader_translate_section(p.c, text, list);
    }
}

// Stages the pixel code reads: bound by [RENDER_STATE], or named by a sample call.
uint32_t sampler_stages(const char *pixel_code)
{
    uint32_t stages = 0;
    for (int s = 0; s < SHADER_RS_STAGES; s++) {
        if (g_shader_rs_block.stage_textures[s]) stages |= 1u << s;
    }
    for (const char *at = pixel_code; at && (at = strstr(at, "sample")); at++) {
        const char *open = strchr(at, '(');
        int stage = open ? atoi(open + 1) : -1;
        if (open && stage >= 0 && stage < SHADER_RS_STAGES) stages |= 1u << stage;
    }
    return stages;
}

// Assembler subroutines of one side (the pass's own records), each between its label and ret.
void write_subroutines(ShaderCompiler *c, ShaderFunction *functions, int first, int count, TextLineList *list)
{
    append(list, "ret");
    for (int k = first; k < count; k++) {
        appendf(list, "label l%d", k - first);
        shader_write_function(c, &functions[k], list);
        append(list, "ret");
    }
}

void write_assembler_pass(const Pass &p, uint32_t declaration)
{
    ShaderCompiler *c = p.c;
    TextLineList *list = &c->effect_lines;
    append(list, "");
    appendf(list, "PASS P%d", p.index);
    append(list, "{");
    if (!c->hlsl_forced) shader_write_pass_states(c, list);
    shader_write_vertex_input(c, p.index, declaration, p.mask);
    c->pixel_side = 0;
    // Each program counts its own registers (subroutine variables keep clear of them).
    memset(c->temp_touched, 0, sizeof c->temp_touched);
    c->vertex_function_first = c->vertex_function_count;
    shader_parse_vertex_functions(c, section(p, SHADER_SECTION_FUNCTIONS));
    translate_vertex_sections(p, list);
    if (section(p, SHADER_SECTION_FUNCTIONS) && c->model2)
        write_subroutines(c, c->vertex_functions, c->vertex_function_first, c->vertex_function_count, list);
    append(list, "};");
    append(list, "");

    const char *pixel = section(p, SHADER_SECTION_SHADER);
    if (pixel) {
        if (p.requirements & 0x8) c->pixel_shader_used = 1;
        c->pixel_side = 1;
        shader_clear_locals(c);
        memset(c->temp_touched, 0, sizeof c->temp_touched);
        c->register_demand = 0;
        c->sampler_stages_used = sampler_stages(pixel);
        shader_write_hlsl_declarations(c, p.index, p.mask);
        c->pixel_function_first = c->pixel_function_count;
        shader_parse_pixel_functions(c, section(p, SHADER_SECTION_PSFUNCTIONS));
        shader_translate_section(c, pixel, list);
        if (c->model2) {
            append(list, "mov oC0,r0");
            if (section(p, SHADER_SECTION_PSFUNCTIONS))
                write_subroutines(c, c->pixel_functions, c->pixel_function_first, c->pixel_function_count, list);
        }
        append(list, "};");
        c->pixel_side = 0;
    }
    append(list, "");
    append(list, "}");
}

// HLSL functions of one side written for pass p, with their line numbers relative to the list.
void write_hlsl_functions(const Pass &p, ShaderFunction *functions, int first, int count, TextLineList *out,
                          int32_t *line_numbers, char (*names)[64], int32_t *written)
{
    ShaderCompiler *c = p.c;
    int line = 0;
    *written = 0;
    for (int k = first; k < count; k++) {
        int slot = *written * SHADER_MAX_PASSES + p.index;
        if (*written >= SHADER_MAX_FUNCTIONS) break;
        clear_temporaries(c);
        const char *name = shader_write_function(c, &functions[k], &c->function_scratch_lines);
        snprintf(names[slot], 64, "%s", name ? name : "");
        std::vector<std::string> front = {c->function_signature, "{"};
        declare_temporaries(c, &front);
        prepend_all(&c->function_scratch_lines, front);
        append(&c->function_scratch_lines, "}");
        line_numbers[slot] = line;
        for (TextLine *l = c->function_scratch_lines.first; l; l = l->next) append(out, l->text);
        line += c->function_scratch_lines.count + 1;
        shader_line_list_free(&c->function_scratch_lines);
        append(out, "");
        (*written)++;
    }
}

void write_skinning_prologue(ShaderCompiler *c, int pass, std::vector<std::string> *front)
{
    if (!c->hlsl_forced) {
        if (pass == 0) append(&c->static_lines, "static int4 WInd;");
        for (const char *line : {"uint twi = i.v2;", "WInd.x  = ((twi*16777216)/16777216);",
                                 "WInd.y  = ((twi*65536)/16777216);", "WInd.z  = ((twi*256)/16777216);",
                                 "WInd.w  = ((twi/16777216));", "WInd.x  = WInd.x / 4.0;", "WInd.y  = WInd.y / 4.0;",
                                 "WInd.z  = WInd.z / 4.0;", "WInd.w  = WInd.w / 4.0;"})
            front->push_back(line);
        return;
    }
    if (pass == 0) {
        append(&c->static_lines, "static int4 WInd;");
        append(&c->static_lines, "static float4 Weights;");
    }
    front->push_back("float4 IWeights = i.v1;");
    for (char k : {'w', 'z', 'y', 'x'}) {
        front->push_back(std::string("WInd.") + k + "  = int(IWeights." + k + "/4.0);");
        front->push_back(std::string("Weights.") + k + " = IWeights." + k + " - (float(WInd." + k + ")*4.0);");
    }
}

void write_hlsl_vertex(const Pass &p, int first_function)
{
    ShaderCompiler *c = p.c;
    TextLineList *main = &c->vertex_main_lines[p.index];
    c->pixel_side = 0;
    c->vertex_function_first = c->vertex_function_count;
    shader_parse_vertex_functions(c, section(p, SHADER_SECTION_FUNCTIONS));
    clear_temporaries(c);
    translate_vertex_sections(p, main);

    std::string pass = std::to_string(p.index);
    std::vector<std::string> front = {"VS_OUTPUT" + pass + " RenderPassVS" + pass + "(VS_INPUT i)", "{",
                                      "VS_OUTPUT" + pass + " o;", ""};
    declare_temporaries(c, &front);
    front.push_back("");
    for (int kind = SHADER_SECTION_DIFFUSE; kind < SHADER_SECTION_SHADER; kind++) {
        if (section(p, kind))
            front.push_back(std::string("o.") + kOutputMembers[kind] + " = float4(0.0f,0.0f,0.0f,0.0f);");
    }
    front.push_back("");
    if (c->skinned) {
        front.push_back("");
        if (c->hlsl_forced) front.push_back("");
        write_skinning_prologue(c, p.index, &front);
    }
    front.push_back("");
    prepend_all(main, front);
    append(main, "");
    if (section(p, SHADER_SECTION_DIFFUSE)) append(main, "o.v0 = clamp( o.v0, 0.0f, 1.0f);");
    append(main, "return o;");
    append(main, "}");

    c->vertex_function_counts[p.index] = 0;
    if (section(p, SHADER_SECTION_FUNCTIONS))
        write_hlsl_functions(p, c->vertex_functions, first_function, c->vertex_function_count,
                             &c->vertex_function_lines[p.index], c->vertex_function_line_numbers,
                             c->vertex_function_names, &c->vertex_function_counts[p.index]);
}

void write_alpha_test(ShaderCompiler *c, TextLineList *list)
{
    const ShaderStateBlock &block = g_shader_rs_block;
    if (block.words[kAlphaTestWord] != kTrue) return;
    uint32_t ref = block.words[kAlphaRefWord];
    double reference = ref < 256 ? ref * 0.003921569 : 0.0627451;
    uint32_t func = block.words[kAlphaFuncWord];
    const char *format = func == kLess        ? "if (r0.a>=%3.3ff) discard"
                         : func == kLessEqual ? "if (r0.a>%3.3ff) discard"
                         : func == kGreater   ? "if (r0.a<=%3.3ff) discard"
                                              : "if (r0.a<%3.3ff) discard";
    char line[SHADER_LINE_SIZE];
    snprintf(line, sizeof line, format, reference);
    shader_emit_instruction(c, list, line);
}

void write_hlsl_pixel(const Pass &p, int first_function)
{
    ShaderCompiler *c = p.c;
    const char *pixel = section(p, SHADER_SECTION_SHADER);
    TextLineList *declarations = &c->hlsl_declaration_lines;
    std::string pass = std::to_string(p.index);
    if (!pixel) {
        if (c->hlsl_forced) {
            c->pixel_side = 1;
            shader_clear_locals(c);
            c->pixel_shader_used = 1;
        }
        append(declarations, ("struct VS_OUTPUT" + pass).c_str());
        append(declarations, "{");
        append(declarations, c->hlsl_forced ? "float4 p0 : SV_POSITION;" : "float4 p0 : POSITION;");
        for (int kind = SHADER_SECTION_DIFFUSE; kind < SHADER_SECTION_SHADER; kind++) {
            if (!(p.mask & kSectionBits[kind])) continue;
            int texture = kind - SHADER_SECTION_MAPPING0;
            std::string semantic = kind == SHADER_SECTION_DIFFUSE    ? "COLOR0"
                                   : kind == SHADER_SECTION_SPECULAR ? "COLOR1"
                                                                     : "TEXCOORD" + std::to_string(texture);
            append(declarations, ("float4 " + std::string(kOutputMembers[kind]) + " : " + semantic + ";").c_str());
        }
        append(declarations, "};");
        append(declarations, "");
        c->pixel_side = 0;
        return;
    }
    if (p.requirements & 0x8) c->pixel_shader_used = 1;
    c->pixel_side = 1;
    clear_temporaries(c);
    c->register_demand = 0;
    c->sampler_stages_used = sampler_stages(pixel);
    shader_write_hlsl_declarations(c, p.index, p.mask);
    c->pixel_function_first = c->pixel_function_count;
    shader_parse_pixel_functions(c, section(p, SHADER_SECTION_PSFUNCTIONS));
    if (p.index == 0) {
        for (int kind = SHADER_SECTION_SHADER - 1; kind >= SHADER_SECTION_DIFFUSE; kind--) {
            if (section(p, kind))
                append(&c->static_lines, ("static float4 i" + std::string(kOutputMembers[kind]) + ";").c_str());
        }
        if (c->depth_only) append(&c->static_lines, "static float4 ip0;");
    }
    TextLineList *main = &c->pixel_main_lines[p.index];
    shader_translate_section(c, pixel, main);
    if (c->hlsl_forced) write_alpha_test(c, main);
    shader_emit_instruction(c, main, "o.Out = r0");

    std::vector<std::string> front = {"PS_OUTPUT RenderPassPS" + pass + "(VS_OUTPUT" + pass + " i)", "{",
                                      "PS_OUTPUT o;"};
    if (c->depth_only) front.push_back("ip0 = i.p0;");
    for (int kind = SHADER_SECTION_DIFFUSE; kind < SHADER_SECTION_SHADER; kind++) {
        if (section(p, kind))
            front.push_back(std::string(1, 'i') + kOutputMembers[kind] + " = i." + kOutputMembers[kind] + ";");
    }
    front.push_back("");
    declare_temporaries(c, &front);
    front.push_back("");
    prepend_all(main, front);
    append(main, "return o;");
    append(main, "}");

    c->pixel_function_counts[p.index] = 0;
    if (section(p, SHADER_SECTION_PSFUNCTIONS))
        write_hlsl_functions(p, c->pixel_functions, first_function, c->pixel_function_count,
                             &c->pixel_function_lines[p.index], c->pixel_function_line_numbers,
                             c->pixel_function_names, &c->pixel_function_counts[p.index]);
    c->pixel_side = 0;
}

// Targets 1 and 2: GL program lines, or recorded constant operations.
void write_other_target(const Pass &p, uint32_t declaration)
{
    ShaderCompiler *c = p.c;
    shader_write_vertex_input(c, p.index, declaration, p.mask);
    c->pixel_side = 0;
    if (c->target == 2) {
        PassConstBlock *block = shader_pass_block_construct(new PassConstBlock);
        c->pass_const_blocks[p.index] = c->current_const_block = block;
        for (int r = 0; r < c->const_register_count && r < SHADER_CONST_CAPACITY; r++) {
            bool vector = (c->const_types[r] & 0xFFFF) == 2;
            if (!c->const_names[r] || (!c->const_texts[r] && !vector)) continue;
            memcpy(block->constants[r], c->const_values[r], sizeof block->constants[r]);
            block->valid[r] = 1;
        }
        translate_vertex_sections(p, &c->effect_lines);
        return;
    }
    c->vertex_function_first = c->vertex_function_count;
    shader_parse_vertex_functions(c, section(p, SHADER_SECTION_FUNCTIONS));
    translate_vertex_sections(p, &c->gl_code_lines[p.index]);
    if (const char *pixel = section(p, SHADER_SECTION_SHADER)) {
        c->pixel_side = 1;
        shader_clear_locals(c);
        shader_scratch_reset();
        const char *out = shader_resolve_operand(c, "Out", 1);
        std::string result = out;
        c->pixel_function_first = c->pixel_function_count;
        shader_parse_pixel_functions(c, section(p, SHADER_SECTION_PSFUNCTIONS));
        shader_translate_section(c, pixel, &c->gl_main_lines[p.index]);
        if (c->model2) {
            shader_line_list_append(&c->gl_main_lines[p.index], ("gl_FragColor = " + result).c_str());
        }
        c->pixel_side = 0;
    }
    if (!c->model2) {
        for (int n = 0; n < 12; n++) {
            if (c->temp_touched[n]) appendf(&c->gl_header_lines, "TEMP r%d;", n);
        }
    }
}

} // namespace

void shader_generate_passes(ShaderCompiler *c, const ShaderSections *sections, int technique, int passes,
                            uint32_t requirements)
{
    bool hlsl = c->target == 0 && c->hlsl_mode;
    shader_map_register_name(c, c->target == 0 ? 2 : c->target == 1 ? 1 : 0x4000);
    if (c->target == 0) {
        append(&c->effect_lines, "");
        append(&c->effect_lines, "TECHNIQUE T0");
        append(&c->effect_lines, "{");
    }
    c->pass_count = c->target == 0 && !hlsl ? 1 : passes;
    uint32_t flag = c->vertex_format_flag ? 0x10000 : 0;
    for (int index = 0; index < passes && index < SHADER_RS_PASSES; index++) {
        Pass p = {c, sections, technique, index, requirements, 0};
        shader_symbol_list_free(&c->variables);
        shader_symbol_list_free(&c->call_variables);
        shader_clear_locals(c);
        shader_rs_load_block(c, technique, index);
        for (int kind = SHADER_SECTION_POSITION; kind < SHADER_SECTION_SHADER; kind++) {
            if (section(p, kind)) p.mask |= kSectionBits[kind];
        }
        c->pass_section_masks[index] = p.mask;
        uint32_t declaration = (flag + (uint32_t)(2 - (int)c->target)) | c->vertex_format;
        if (c->target != 0) {
            write_other_target(p, declaration);
            continue;
        }
        if (!hlsl) {
            write_assembler_pass(p, declaration);
            continue;
        }
        if (index == 0) shader_write_vertex_input(c, index, declaration, p.mask);
        if (!c->hlsl_forced) shader_write_pass_states(c, &c->pass_state_lines[index]);
        int first_vertex = c->vertex_function_count, first_pixel = c->pixel_function_count;
        write_hlsl_vertex(p, first_vertex);
        write_hlsl_pixel(p, first_pixel);
    }
    if (c->target == 0) {
        append(&c->effect_lines, "}");
        append(&c->effect_lines, "");
    }
}
