// Render states of a pass: the [RENDER_STATE] parser, the per-technique-and-pass storage and the
// writer of the effect's state assignments, with the stencil and render-target presets.
#include "shader/shader_local.h"

#include <cstdio>
#include <cstring>

ShaderStateBlock g_shader_rs_block;
char g_shader_rs_error[1024];

namespace {

const int kWordBuffer = 1024;
const int kRenderTargetWord = 81;
const int kStencilWord = 82;

struct Preset {
    const char *value;
    const char *lines[19];
};

const char *const kStencilOne[] = {"StencilRef = 0x1;", "StencilMask = 0xffffffff;", "StencilWriteMask = 0xffffffff;"};

const Preset kStencilPresets[] = {
    {"EQUAL_ZERO", {"StencilRef = 0x0;", "StencilFunc = Equal;", "StencilPass = Replace;"}},
    {"EQUAL_ONE", {"StencilRef = 0x1;", "StencilFunc = Equal;", "StencilPass = Replace;"}},
    {"ALWAYS", {"StencilRef = 0x1;", "StencilFunc = Always;", "StencilPass = Replace;"}},
    {"NOT_ONE", {"StencilRef = 0x1;", "StencilFunc = NotEqual;", "StencilPass = Replace;"}},
    {"NOT_ZERO", {"StencilRef = 0x0;", "StencilFunc = NotEqual;", "StencilPass = Replace;"}},
    {"LEQUAL_ONE", {"StencilRef = 0x1;", "StencilFunc = LessEqual;", "StencilPass = Replace;"}},
    {"GEQUAL_ONE", {"StencilRef = 0x1;", "StencilFunc = GreaterEqual;", "StencilPass = Replace;"}},
};

// INCREMENT, DECREMENT and SET_ONE: the three reference lines, then the pass operation.
const Preset kStencilCounters[] = {
    {"INCREMENT", {"StencilPass = Incr;"}},
    {"DECREMENT", {"StencilPass = Decr;"}},
    {"SET_ONE", {"StencilPass = Replace;"}},
};

const Preset kRenderTargetPresets[] = {
    {"STENCIL",
     {"AlphaBlendEnable = True;", "SrcBlend = Zero;", "DestBlend = One;", "StencilFunc = Always;",
      "StencilZFail = Keep;", "StencilFail = Keep;", "StencilEnable = True;", "ShadeMode = Flat;"}},
    {"TWOSIDED",
     {"AlphaBlendEnable = True;", "SrcBlend = Zero;", "DestBlend = One;", "StencilEnable = True;",
      "ShadeMode = Flat;", "StencilRef = 0x1;", "StencilMask = 0xffffffff;", "StencilWriteMask = 0xffffffff;",
      "TwoSidedStencilMode = True;", "StencilPass = Incr;", "StencilZFail = Keep;", "StencilFunc = Always;",
      "StencilFail = Keep;", "Ccw_StencilPass = Decr;", "Ccw_StencilZFail = Keep;", "Ccw_StencilFunc = Always;",
      "Ccw_StencilFail = Keep;", "CullMode = None;\n"}},
    {"RENDER", {"StencilEnable = False;", "ShadeMode = Gouraud;"}},
    {"BOTH", {"StencilEnable = True;", "StencilZFail = Keep;", "StencilFail = Keep;", "ShadeMode = Gouraud;"}},
    {"STENCIL_NOZTEST",
     {"AlphaBlendEnable = True;", "SrcBlend = Zero;", "DestBlend = One;", "StencilFunc = Always;",
      "StencilZFail = Replace;", "StencilFail = Keep;", "StencilEnable = True;", "ShadeMode = Flat;"}},
    {"ZBUFFER", {"AlphaBlendEnable = True;", "SrcBlend = Zero;", "DestBlend = One;", "ZWriteEnable = True;"}},
};

const RenderStateKeyword *find_keyword(const char *keyword)
{
    for (const RenderStateKeyword *k = g_render_state_keywords; k->keyword; k++) {
        if (strcmp(k->keyword, keyword) == 0) return k;
    }
    return nullptr;
}

const RenderStateKeyword *keyword_of_word(int word)
{
    for (const RenderStateKeyword *k = g_render_state_keywords; k->keyword; k++) {
        if (k->word == word) return k;
    }
    return nullptr;
}

// Appends a preset's lines when `value` names it.
template <size_t N>
bool write_preset(const Preset (&presets)[N], const char *value, TextLineList *list)
{
    for (const Preset &preset : presets) {
        if (strcmp(preset.value, value) != 0) continue;
        for (const char *line : preset.lines) {
            if (line) shader_line_list_append(list, line);
        }
        return true;
    }
    return false;
}

void write_stencil(uint32_t code, TextLineList *list)
{
    const char *value = shader_rs_value_name(code);
    if (!value || write_preset(kStencilPresets, value, list)) return;
    for (const Preset &counter : kStencilCounters) {
        if (strcmp(counter.value, value) != 0) continue;
        for (const char *line : kStencilOne) shader_line_list_append(list, line);
        shader_line_list_append(list, counter.lines[0]);
    }
}

// The next word with its blanks removed, upper-cased unless `keep_case`; null at the end of the
// text or before a section header, with the position left before it.
char *next_value_word(const char *script, int *position, char *out, bool keep_case)
{
    int before = *position;
    char *word = str_next_word(script, position);
    if (!word) return nullptr;
    snprintf(out, kWordBuffer, "%s", word);
    str_remove_blanks(out);
    if (!keep_case) str_to_upper(out);
    if (out[0] == 0 || out[0] == '[') {
        *position = before;
        return nullptr;
    }
    return out;
}

// Records the parser's error text; a word too long for the buffer is a capacity error.
void set_error(ShaderCompiler *c, const char *word)
{
    int n = snprintf(g_shader_rs_error, sizeof g_shader_rs_error, "Error: RS:'%s'", word);
    if (n >= (int)sizeof g_shader_rs_error) shader_capacity_error(c, "characters in a render-state word");
}

// A "TEXTURE[" word: binds the named declared texture to its stage. 0 on error.
int parse_texture_binding(ShaderCompiler *c, const char *word, const char *script, int *position)
{
    int stage = -1;
    char expected[32];
    for (int n = 0; n < SHADER_RS_STAGES; n++) {
        snprintf(expected, sizeof expected, "TEXTURE[%d]", n);
        if (strcmp(word, expected) == 0) stage = n;
    }
    if (stage < 0) {
        set_error(c, word);
        return 0;
    }
    char name[kWordBuffer];
    if (!next_value_word(script, position, name, true)) {
        g_shader_rs_block.stage_textures[stage] = nullptr;
        set_error(c, word);
        return 0;
    }
    const char *bound = nullptr;
    for (int i = 0; i < SHADER_TEXTURE_CAPACITY; i++) {
        if (c->texture_names[i] && strcmp(c->texture_names[i], name) == 0) bound = c->texture_names[i];
    }
    g_shader_rs_block.stage_textures[stage] = bound;
    if (bound) return 1;
    set_error(c, name);
    return 0;
}

} // namespace

int shader_rs_state_variable(const char *keyword)
{
    const RenderStateKeyword *k = find_keyword(keyword);
    return k ? k->word : -1;
}

const char *shader_rs_d3d_name(const char *keyword)
{
    const RenderStateKeyword *k = find_keyword(keyword);
    return k ? k->d3d_name : nullptr;
}

const char *shader_rs_emitted_name(const char *keyword)
{
    const RenderStateKeyword *k = find_keyword(keyword);
    return k && k->emit ? k->d3d_name : nullptr;
}

const char *shader_rs_is_value_keyword(const char *word)
{
    for (const StateValueKeyword *v = g_state_value_keywords; v->word; v++) {
        if (strcmp(v->word, word) == 0) return v->effect_name;
    }
    return nullptr;
}

int str_hex_digit_value(char character)
{
    if (character >= '0' && character <= '9') return character - '0';
    if (character >= 'A' && character <= 'F') return character - 'A' + 10;
    return 0;
}

int shader_rs_parse_value(const char *word)
{
    for (const StateValueKeyword *v = g_state_value_keywords; v->word; v++) {
        if (strcmp(v->word, word) == 0) return (int)v->code;
    }
    if (word[0] == '0' && word[1] == 'X') {
        // Two digits are read; a missing second digit counts as 0 and later ones are ignored.
        int high = str_hex_digit_value(word[2]);
        int low = word[2] ? str_hex_digit_value(word[3]) : 0;
        return high * 16 + low;
    }
    return -1;
}

const char *shader_rs_value_name(uint32_t code)
{
    static char hex[5];
    if (code < 256) {
        snprintf(hex, sizeof hex, "0x%02X", code);
        return hex;
    }
    for (const StateValueKeyword *v = g_state_value_keywords; v->word; v++) {
        if (v->code == code) return v->word;
    }
    return nullptr;
}

void shader_rs_reset_states(ShaderStateBlock *block)
{
    for (uint32_t &word : block->words) word = SHADER_RS_UNDEFINED;
    for (const char *&texture : block->stage_textures) texture = nullptr;
}

void shader_rs_reset_all(ShaderCompiler *c)
{
    shader_rs_reset_states(&g_shader_rs_block);
    for (ShaderStateBlock &block : c->render_states) shader_rs_reset_states(&block);
}

int shader_rs_store_block(ShaderCompiler *c, int technique, int pass)
{
    if (!shader_check_capacity(c, technique, 1, SHADER_RS_TECHNIQUES, "techniques") ||
        !shader_check_capacity(c, pass, 1, SHADER_RS_PASSES, "passes in one technique"))
        return 0;
    c->render_states[technique * SHADER_RS_PASSES + pass] = g_shader_rs_block;
    return 1;
}

int shader_rs_load_block(ShaderCompiler *c, int technique, int pass)
{
    if (!shader_check_capacity(c, technique, 1, SHADER_RS_TECHNIQUES, "techniques") ||
        !shader_check_capacity(c, pass, 1, SHADER_RS_PASSES, "passes in one technique"))
        return 0;
    g_shader_rs_block = c->render_states[technique * SHADER_RS_PASSES + pass];
    return 1;
}

int shader_parse_render_states(ShaderCompiler *c, const char *script, int *position)
{
    int result = 1;
    char word[kWordBuffer];
    char value[kWordBuffer];
    for (;;) {
        int before = *position;
        char *read = str_next_word(script, position);
        if (!read) {
            *position = before;
            return result;
        }
        snprintf(word, sizeof word, "%s", read);
        str_remove_blanks(word);
        str_to_upper(word);
        if (word[0] == '[') {
            *position = before;
            return result;
        }
        if (strstr(word, "TEXTURE[")) {
            if (!parse_texture_binding(c, word, script, position)) result = 0;
            continue;
        }
        const RenderStateKeyword *keyword = find_keyword(word);
        if (!keyword) continue; // not a state keyword: skipped
        if (!next_value_word(script, position, value, false)) return result; // no value: the section ends
        int code = shader_rs_parse_value(value);
        if (code < 0) {
            set_error(c, value);
            result = 0;
            continue;
        }
        g_shader_rs_block.words[keyword->word] = (uint32_t)code;
    }
}

void shader_write_pass_states(ShaderCompiler *c, TextLineList *list)
{
    const ShaderStateBlock &block = g_shader_rs_block;
    char line[SHADER_LINE_SIZE];
    if (!c->hlsl_mode) {
        for (int stage = 0; stage < SHADER_RS_STAGES; stage++) {
            if (!block.stage_textures[stage]) continue;
            snprintf(line, sizeof line, "Texture[%d] = <%s>;", stage, block.stage_textures[stage]);
            shader_line_list_append(list, line);
        }
    }
    for (int w = 0; w < kRenderTargetWord; w++) {
        uint32_t code = block.words[w];
        const RenderStateKeyword *keyword = keyword_of_word(w);
        if (code == SHADER_RS_UNDEFINED || !keyword) continue;
        const char *name = c->hlsl_mode ? shader_rs_emitted_name(keyword->keyword) : shader_rs_d3d_name(keyword->keyword);
        const char *value_word = shader_rs_value_name(code);
        const char *value = code < 256 ? value_word : value_word ? shader_rs_is_value_keyword(value_word) : nullptr;
        if (!name || !value) continue;
        snprintf(line, sizeof line, "%s = %s;", name, value);
        shader_line_list_append(list, line);
    }
    if (block.words[kStencilWord] != SHADER_RS_UNDEFINED) write_stencil(block.words[kStencilWord], list);
    if (block.words[kRenderTargetWord] != SHADER_RS_UNDEFINED) {
        const char *value = shader_rs_value_name(block.words[kRenderTargetWord]);
        if (value) write_preset(kRenderTargetPresets, value, list);
    }
    shader_line_list_append(list, "");
}
