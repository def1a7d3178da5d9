// The text a compile produces: the HLSL effect laid out from its per-pass lists (with the line of
// every function noted for error mapping), the GL program text, and the join that indents lines by
// brace depth. Also the release of everything a compiler owns.
#include "shader/shader_local.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void append(TextLineList *list, const char *line, int *count)
{
    shader_line_list_append(list, line);
    (*count)++;
}

// Appends every line of `from`; the line holding `marker` (if any) gives *marked its number.
void append_all(TextLineList *list, const TextLineList &from, int *count, const char *marker, int32_t *marked)
{
    for (const TextLine *line = from.first; line; line = line->next) {
        if (marker && strstr(line->text, marker)) *marked = *count;
        append(list, line->text, count);
    }
}

void layout_hlsl(ShaderCompiler *c)
{
    TextLineList *out = &c->effect_lines;
    shader_line_list_free(out);
    int n = 0;
    append_all(out, c->static_lines, &n, nullptr, nullptr);
    append(out, "", &n);
    append_all(out, c->hlsl_declaration_lines, &n, nullptr, nullptr);
    append(out, "", &n);
    append_all(out, c->vertex_input_lines, &n, nullptr, nullptr);
    append(out, "", &n);
    int passes = c->pass_count < SHADER_MAX_PASSES ? c->pass_count : SHADER_MAX_PASSES;
    for (int p = 0; p < passes; p++) {
        for (int k = 0; k < c->vertex_function_counts[p]; k++)
            c->vertex_function_line_numbers[k * SHADER_MAX_PASSES + p] += n;
        append_all(out, c->vertex_function_lines[p], &n, nullptr, nullptr);
        append(out, "", &n);
        append_all(out, c->vertex_main_lines[p], &n, "RenderPassVS", &c->vertex_main_line_numbers[p]);
        append(out, "", &n);
        for (int k = 0; k < c->pixel_function_counts[p]; k++)
            c->pixel_function_line_numbers[k * SHADER_MAX_PASSES + p] += n;
        append_all(out, c->pixel_function_lines[p], &n, nullptr, nullptr);
        append(out, "", &n);
        append_all(out, c->pixel_main_lines[p], &n, "RenderPassPS", &c->pixel_main_line_numbers[p]);
        append(out, "", &n);
    }
    append(out, "", &n);
    append(out, c->hlsl_forced ? "technique10 T0" : "TECHNIQUE T0", &n);
    append(out, "{", &n);
    char line[SHADER_LINE_SIZE];
    for (int p = 0; p < passes; p++) {
        append(out, "", &n);
        snprintf(line, sizeof line, c->hlsl_forced ? "pass P%d" : "PASS P%d", p);
        append(out, line, &n);
        append(out, "{", &n);
        append(out, "", &n);
        bool pixel = c->pixel_main_lines[p].count > 0;
        if (c->hlsl_forced) {
            snprintf(line, sizeof line, "SetVertexShader(CompileShader(vs_4_0, RenderPassVS%d()));", p);
            append(out, line, &n);
            append(out, "", &n);
            if (pixel) {
                snprintf(line, sizeof line, "SetPixelShader(CompileShader(ps_4_0, RenderPassPS%d()));", p);
                append(out, line, &n);
                append(out, "", &n);
            }
            append(out, "SetGeometryShader(NULL);", &n);
            append(out, "", &n);
        } else {
            snprintf(line, sizeof line, "VertexShader = compile vs_3_0 RenderPassVS%d();", p);
            append(out, line, &n);
            append(out, "", &n);
            if (pixel) {
                snprintf(line, sizeof line, "PixelShader  = compile ps_3_0 RenderPassPS%d();", p);
                append(out, line, &n);
                append(out, "", &n);
            }
        }
        append_all(out, c->pass_state_lines[p], &n, nullptr, nullptr);
        append(out, "", &n);
        append(out, "}", &n);
    }
    append(out, "}", &n);
    append(out, "", &n);
}

// Every line indented by the depth of the braces it stands in.
char *join(ShaderCompiler *c)
{
    size_t size = 1;
    int indent = 0, number = 0;
    for (const TextLine *line = c->effect_lines.first; line; line = line->next, number++) {
        if (line->text[0] == '}' && indent >= 2) indent -= 2;
        for (int m = 0; m < 11; m++) {
            if (c->line_marks[m] == number) c->line_mark_offsets[m] = (int32_t)(size - 1);
        }
        size += (size_t)indent + strlen(line->text) + 1;
        if (line->text[0] == '{') indent += 2;
    }
    char *text = (char *)malloc(size);
    size_t at = 0;
    indent = 0;
    for (const TextLine *line = c->effect_lines.first; line; line = line->next) {
        if (line->text[0] == '}' && indent >= 2) indent -= 2;
        memset(text + at, ' ', (size_t)indent);
        at += (size_t)indent;
        size_t length = strlen(line->text);
        memcpy(text + at, line->text, length);
        at += length;
        text[at++] = '\n';
        if (line->text[0] == '{') indent += 2;
    }
    text[at] = 0;
    return text;
}

} // namespace

char *shader_build_effect_text(ShaderCompiler *c)
{
    if (c->hlsl_mode && c->target == 0)
        layout_hlsl(c);
    else
        shader_build_gl_program_text(c);
    return join(c);
}

void shader_build_gl_program_text(ShaderCompiler *c)
{
    if (c->target == 0) return;
    bool glsl = c->model2;
    TextLineList *out = &c->effect_lines;
    shader_line_list_free(out);
    int n = 0;
    if (!glsl) append(out, "!!ARBvp1.0", &n);
    append_all(out, c->gl_header_lines, &n, nullptr, nullptr);
    uint32_t format = c->vertex_format;
    bool morph = c->morphed;
    if (glsl) {
        append(out, "attribute vec4 VertexPosition;", &n);
        if ((format & 0x8) || morph) append(out, "attribute vec3 VertexNormal;", &n);
        if (morph) {
            append(out, "attribute vec4 VertexPosition2;", &n);
            append(out, "attribute vec3 VertexNormal2;", &n);
        }
        if (format & 0x10) append(out, "attribute vec4 VertexColor;", &n);
        if (format & 0x20) append(out, "attribute vec4 VertexSecondaryColor;", &n);
        if ((format & 0x40) || morph) append(out, "attribute vec2 MultiTexCoord0;", &n);
        if (format & 0x80) append(out, "attribute vec2 MultiTexCoord1;", &n);
        if (format & 0x100) append(out, "attribute vec2 MultiTexCoord2;", &n);
        if (format & 0x200) append(out, "attribute vec2 MultiTexCoord3;", &n);
        if (c->skinned) append(out, "attribute vec4 IWeights;", &n);
        append(out, "", &n);
        if (c->skinned) {
            append(out, "vec4 Weights;", &n);
            append(out, "ivec4 WIndices;", &n);
            append(out, "", &n);
        }
    }
    // The ARB form needs its parameter declarations as much as GLSL does.
    append_all(out, c->gl_declaration_lines, &n, nullptr, nullptr);
    if (glsl) {
        append(out, "", &n);
        append(out, "void main(void)", &n);
        append(out, "{", &n);
        append(out, "", &n);
        char line[SHADER_LINE_SIZE];
        for (int r = 0; r < 16; r++) {
            snprintf(line, sizeof line, "vec4 r%d;", r);
            append(out, line, &n);
        }
        for (const char *r : {"vec4 r29;", "vec4 r30;", "vec4 r31;"}) append(out, r, &n);
        append(out, "", &n);
        if (c->skinned) {
            for (char k : {'x', 'y', 'z', 'w'}) {
                snprintf(line, sizeof line, "WIndices.%c  = int(IWeights.%c/4.0);", k, k);
                append(out, line, &n);
                snprintf(line, sizeof line, "Weights.%c = IWeights.%c - (float(WIndices.%c)*4.0);", k, k, k);
                append(out, line, &n);
            }
            append(out, "", &n);
        }
    }
    append(out, "", &n);
    // Statements get their ";" (a line cut to fit loses the last character for it).
    for (int p = 0; p < SHADER_MAX_PASSES; p++) {
        for (const TextLine *l = c->gl_main_lines[p].first; l; l = l->next)
            append(out, l->text[0] ? (std::string(l->text) + ";").c_str() : "", &n);
    }
    for (int p = 0; p < SHADER_MAX_PASSES; p++) {
        for (const TextLine *l = c->gl_code_lines[p].first; l; l = l->next) {
            bool bare = !l->text[0] || strstr(l->text, "for") || strchr(l->text, '{') || strchr(l->text, '}');
            append(out, bare ? l->text : (std::string(l->text) + ";").c_str(), &n);
        }
    }
    append(out, glsl ? "}" : "END", &n);
    for (int32_t &mark : c->line_marks) mark = -1;
}

void shader_release_compiler(ShaderCompiler *c)
{
    for (PassConstBlock *&block : c->pass_const_blocks) {
        if (!block) continue;
        for (void *&array : block->work_arrays) {
            free(array);
            array = nullptr;
        }
        delete block;
        block = nullptr;
    }
    c->current_const_block = nullptr;
    shader_free_tables(c);
}
