// The first half of a compile: comments stripped, the script walked into its sections, the
// [TECHNIQUE], [VERTEXFORMAT] and [DEFINES] sections read, the built-in constants added and the
// first technique that the device's capabilities allow chosen.
#include "shader/shader_local.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const uint32_t kOptionGlText = 0x1;
const uint32_t kOptionEffectText = 0x2;
const uint32_t kOptionConstOps = 0x4000;
const uint32_t kOptionDeclareInputs = 0x10000;
const uint32_t kOptionForceHlsl = 0x80000;

struct Word {
    const char *word;
    uint32_t bits;
};

const Word kLevelWords[] = {{"DOT3", 0x1}, {"MULTITEXTURE", 0x2}, {"SHADERS", 0x4}, {"MODEL2X", 0x8},
                            {"MODEL3", 0x18}, {"MODEL3NOFLOW", 0x18}};
const Word kFormatWords[] = {{"XYZ", 0x4},    {"NORMAL", 0x8}, {"DIFFUSE", 0x10}, {"SPECULAR", 0x20},
                             {"TEX0", 0x40},  {"TEX1", 0x80},  {"TEX2", 0x100},   {"TEX3", 0x200},
                             {"BLEND", 0x8000}, {"MORPH", 0x20000}};
// A requirement bit and the option bit the device must offer for it: pixel shader 2.0, pixel
// shader 1.4, several texture stages, the dot-product-3 operation.
const uint32_t kRequirementBits[] = {0x8, 0x4, 0x2, 0x1};
const uint32_t kRequiredOptions[] = {0x40000, 0x2000, 0x800, 0x1000};

const char *const kSectionHeaders[SHADER_SECTION_KINDS] = {
    "[POSITION]", "[DIFFUSE]",  "[SPECULAR]", "[MAPPING0]", "[MAPPING1]", "[MAPPING2]",  "[MAPPING3]",
    "[MAPPING4]", "[MAPPING5]", "[MAPPING6]", "[MAPPING7]", "[SHADER]",   "[FUNCTIONS]", "[PSFUNCTIONS]",
};

struct BuiltinConstant {
    const char *name;
    float value[4];
};

const float kPi = 3.14159265358979f;
const BuiltinConstant kBuiltinConstants[] = {
    {"trigo_mod", {kPi, 1.0f / (2.0f * kPi), 2.0f * kPi, 1.5f * kPi}},
    {"trigo_cst", {0.0f, kPi / 2.0f, 1.0f, kPi}},
    {"trigo_cst2", {1.0f / 6.0f, 1.0f / 120.0f, 1.0f / 5040.0f, 0.5f}},
    {"trigo_cst3", {1.0f / 3.0f, 2.0f / 15.0f, 17.0f / 315.0f, 0.1f}},
    {"trigo_cst4", {-1.0f / 3.0f, 1.0f / 5.0f, -1.0f / 7.0f, 1.0f / 4.0f}},
};

// The state of one walk over the script.
struct Walk {
    ShaderCompiler *c;
    const char *text;
    int position;
    uint32_t options;
    ShaderSections sections;
    uint32_t requirements[SHADER_RS_TECHNIQUES];
    int pass_tally[SHADER_RS_TECHNIQUES];
    int technique_count;
    int pass;
    bool ok;
};

std::string clean_upper(const char *word)
{
    std::string w = word;
    str_remove_blanks(w.data());
    w.resize(strlen(w.c_str()));
    str_to_upper(w.data());
    return w;
}

// The next word of a section, upper-cased without blanks; false before a header (the position is
// left before it) or at the end of the text.
bool next_section_word(Walk *walk, std::string *word)
{
    for (;;) {
        int before = walk->position;
        const char *read = str_next_word(walk->text, &walk->position);
        if (!read) return false;
        *word = clean_upper(read);
        if (word->empty()) continue;
        if ((*word)[0] == '[') {
            walk->position = before;
            return false;
        }
        return true;
    }
}

int technique_slot(const Walk *walk)
{
    return walk->technique_count > 0 ? walk->technique_count - 1 : 0;
}

char *malloc_copy(const std::string &text)
{
    char *copy = (char *)malloc(text.size() + 1);
    memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

// Value text of up to `count` floats, printed as the effect text wants them.
char *value_text(const float *values, int count, bool suffix)
{
    std::string text;
    char number[64];
    for (int i = 0; i < count; i++) {
        snprintf(number, sizeof number, suffix ? "%3.8ff" : "%3.8f", (double)values[i]);
        if (i > 0) text += ",";
        text += number;
    }
    return malloc_copy(text);
}

bool declaration_error(ShaderCompiler *c, const std::string &declaration)
{
    snprintf(c->error_statement, sizeof c->error_statement, "%s", declaration.c_str());
    c->syntax_error = 1;
    return false;
}

// name or name[N]: one constant, an HLSL array, or N assembler constants name0 .. nameN-1.
void declare_constants(Walk *walk, const std::string &text, int type, bool arrays)
{
    ShaderCompiler *c = walk->c;
    size_t open = text.find('[');
    if (open == std::string::npos) {
        if (text.empty()) declaration_error(c, text);
        else shader_add_constant(c, malloc_copy(text), type);
        return;
    }
    std::string name = text.substr(0, open);
    size_t close = text.find(']', open);
    std::string count_text = close == std::string::npos ? "" : text.substr(open + 1, close - open - 1);
    long count = strtol(count_text.c_str(), nullptr, 10);
    if (!arrays || name.empty() || count_text.empty() || !str_is_all_digits(count_text.c_str()) || count < 1 ||
        count > SHADER_CONST_CAPACITY) {
        declaration_error(c, text);
        return;
    }
    if (c->hlsl_mode || c->target == 1) {
        shader_add_constant_array(c, (int)count, type, malloc_copy(name));
        return;
    }
    for (long i = 0; i < count; i++) {
        if (!shader_add_constant(c, malloc_copy(name + std::to_string(i)), type)) return;
    }
}

// One [DEFINES] declaration: its keyword and the text up to ";" without blanks.
void read_declaration(Walk *walk, const std::string &keyword, const std::string &text)
{
    ShaderCompiler *c = walk->c;
    bool suffix = walk->options & kOptionEffectText;
    size_t equals = text.find('=');
    std::string name = text.substr(0, equals);
    std::string values = equals == std::string::npos ? "" : text.substr(equals + 1);
    if (keyword == "MATRIX") {
        declare_constants(walk, text, 1, true);
    } else if (keyword == "VECTOR") {
        declare_constants(walk, text, 2, true);
    } else if (keyword == "DWORD") {
        declare_constants(walk, text, 3, false);
    } else if (keyword == "TEXTURE") {
        if (text.empty()) declaration_error(c, text);
        else shader_add_texture(c, malloc_copy(text));
    } else if (name.empty()) {
        declaration_error(c, text);
    } else if (keyword == "CONST") {
        if (!shader_add_constant(c, malloc_copy(name), 2)) return;
        const float *v = str_parse_float4(values.c_str());
        int slot = shader_set_constant_text(c, name.c_str(), value_text(v, 4, suffix));
        if (!suffix) memcpy(c->const_values[slot], v, sizeof c->const_values[slot]);
    } else if (keyword == "PSCONST") {
        if (!shader_add_pixel_constant(c, malloc_copy(name))) return;
        const float *v = str_parse_float4(values.c_str());
        int index = shader_set_pixel_constant_text(c, name.c_str(), value_text(v, 4, suffix));
        if (!suffix) memcpy(c->ps_const_values[index], v, 4 * sizeof(float));
    } else if (keyword == "PSMATRIX") {
        if (!shader_add_pixel_matrix(c, malloc_copy(name))) return;
        const float *v = str_parse_float_list(values.c_str());
        int index = shader_set_pixel_matrix_text(c, name.c_str(), value_text(v, 16, suffix));
        if (!suffix) memcpy(c->ps_const_values[index], v, 16 * sizeof(float));
    }
}

void read_defines(Walk *walk)
{
    static const char *const kKeywords[] = {"MATRIX", "VECTOR", "DWORD", "CONST", "PSCONST", "PSMATRIX", "TEXTURE"};
    std::string word;
    while (next_section_word(walk, &word)) {
        bool keyword = false;
        for (const char *k : kKeywords) keyword |= word == k;
        if (!keyword) continue;
        const char *text = str_read_until_char(';', walk->text, &walk->position);
        std::string declaration = text ? text : "";
        str_remove_blanks(declaration.data());
        declaration.resize(strlen(declaration.c_str()));
        read_declaration(walk, word, declaration);
    }
}

void read_technique_header(Walk *walk)
{
    ShaderCompiler *c = walk->c;
    walk->pass = 0;
    bool fits = shader_check_capacity(c, walk->technique_count, 1, SHADER_RS_TECHNIQUES, "techniques");
    walk->technique_count++;
    if (!fits) walk->ok = false;
    uint32_t bits = c->hlsl_forced ? 0x18 : 0;
    std::string word;
    while (next_section_word(walk, &word)) {
        for (const Word &w : kLevelWords) {
            if (word == w.word) bits |= w.bits;
        }
        if (word == "DEPTH") c->depth_only = 1;
    }
    if (fits) walk->requirements[walk->technique_count - 1] = bits;
}

void read_vertex_format(Walk *walk)
{
    uint32_t format = 0;
    std::string word;
    while (next_section_word(walk, &word)) {
        for (const Word &w : kFormatWords) {
            if (word == w.word) format |= w.bits;
        }
        if (word == "BLEND") walk->c->skinned = 1;
        if (word == "MORPH") walk->c->morphed = 1;
    }
    walk->c->vertex_format = format;
}

// A normalisation that fails names its statement as the compile's error.
void normalise_failed(ShaderCompiler *c)
{
    if (!c->syntax_error && !c->modifier_error)
        snprintf(c->error_statement, sizeof c->error_statement, "%s", g_shader_normalise_error);
    c->syntax_error = 1;
}

void read_code_section(Walk *walk, int kind)
{
    char *text = shader_normalise_statements(walk->text, &walk->position);
    if (!text) {
        normalise_failed(walk->c);
        return;
    }
    int technique = technique_slot(walk);
    if (technique >= SHADER_RS_TECHNIQUES || walk->pass >= SHADER_RS_PASSES) {
        free(text);
        return;
    }
    char *&slot = walk->sections.text[kind][walk->pass + SHADER_RS_PASSES * technique];
    free(slot);
    slot = text;
}

void read_render_states(Walk *walk)
{
    ShaderCompiler *c = walk->c;
    shader_rs_reset_states(&g_shader_rs_block);
    if (shader_parse_render_states(c, walk->text, &walk->position)) {
        shader_rs_store_block(c, technique_slot(walk), walk->pass);
        return;
    }
    walk->ok = false;
    if (!c->rs_error[0]) snprintf(c->rs_error, sizeof c->rs_error, "%s", g_shader_rs_error);
}

void read_header(Walk *walk, const std::string &header)
{
    if (header == "[TECHNIQUE]") {
        read_technique_header(walk);
        return;
    }
    for (int p = 0; p < SHADER_RS_PASSES; p++) {
        if (header == "[PASS" + std::to_string(p) + "]") walk->pass = p;
    }
    if (header == "[VERTEXFORMAT]") read_vertex_format(walk);
    if (header == "[DEFINES]") read_defines(walk);
    if (header == "[RENDER_STATE]") read_render_states(walk);
    if (header == "[MACROS]") {
        char *text = shader_normalise_lines(walk->text, &walk->position);
        if (!text) {
            normalise_failed(walk->c);
            return;
        }
        if (!shader_parse_macros(walk->c, text)) walk->ok = false;
        free(text);
    }
    for (int kind = 0; kind < SHADER_SECTION_KINDS; kind++) {
        if (header == kSectionHeaders[kind]) read_code_section(walk, kind);
    }
}

// One MODEL3 technique anywhere makes the whole script HLSL (headers compared exactly here).
void prescan(ShaderCompiler *c, const char *text)
{
    if (c->hlsl_forced) {
        c->model2 = c->hlsl_mode = 1;
        shader_set_work_registers(true);
    }
    int position = 0;
    while (const char *word = str_next_word(text, &position)) {
        if (strcmp(word, "[TECHNIQUE]") != 0) continue;
        while (const char *level = str_next_word(text, &position)) {
            std::string w = clean_upper(level);
            if (!w.empty() && w[0] == '[') break;
            if (w == "DEPTH") c->depth_only = 1;
            if (c->hlsl_forced || (w != "MODEL3" && w != "MODEL3NOFLOW")) continue;
            c->hlsl_mode = 1;
            shader_set_work_registers(true);
            if (w == "MODEL3NOFLOW") c->effect_flags = 0;
        }
    }
}

void add_builtin_constants(ShaderCompiler *c, bool suffix)
{
    for (const BuiltinConstant &b : kBuiltinConstants) {
        if (!shader_add_constant(c, malloc_copy(b.name), 2)) return;
        int slot = shader_set_constant_text(c, b.name, value_text(b.value, 4, suffix));
        if (!suffix) memcpy(c->const_values[slot], b.value, sizeof b.value);
    }
}

// Effect-level parameters of the effect text (discarded again in HLSL mode).
void write_declarations(ShaderCompiler *c)
{
    if (c->target != 0) return;
    char line[SHADER_LINE_SIZE];
    if (!c->hlsl_mode) {
        for (int i = 0; i < c->texture_count; i++) {
            snprintf(line, sizeof line, "TEXTURE %s;", c->texture_names[i]);
            shader_line_list_append(&c->effect_lines, line);
        }
    }
    static const char *const kTypes[4] = {nullptr, "MATRIX", "VECTOR", "DWORD"};
    for (int r = 0; r < c->const_register_count; r++) {
        uint32_t type = c->const_types[r] & 0xFFFF;
        if (!c->const_names[r] || c->const_texts[r] || type < 1 || type > 3) continue;
        snprintf(line, sizeof line, "%s %s;", kTypes[type], c->const_names[r]);
        shader_line_list_append(&c->effect_lines, line);
    }
}

// The GL declarations, by the chosen technique's level (GLSL at shader model 2, else ARB).
void write_gl_declarations(ShaderCompiler *c)
{
    char line[SHADER_LINE_SIZE];
    TextLineList *list = &c->gl_declaration_lines;
    int env = 0;
    for (int r = 0; r < c->const_register_count; r++) {
        const char *name = c->const_names[r];
        if (!name) continue;
        uint32_t type = c->const_types[r] & 0xFFFF, count = c->const_types[r] >> 16;
        int registers = shader_type_registers(c->const_types[r]) * (count ? (int)count : 1);
        if (c->model2 && c->const_texts[r])
            snprintf(line, sizeof line, "const vec4 %s = vec4( %s );", name, c->const_texts[r]);
        else if (c->model2 && type == 1 && count)
            snprintf(line, sizeof line, "uniform mat4 %s[%u];", name, count);
        else if (c->model2)
            snprintf(line, sizeof line, "uniform %s %s;", type == 1 ? "mat4" : type == 2 ? "vec4" : "uint", name);
        else if (c->const_texts[r])
            snprintf(line, sizeof line, "PARAM %s = { %s };", name, c->const_texts[r]);
        else if (type == 3)
            snprintf(line, sizeof line, "PARAM %s;", name);
        else if (registers > 1)
            snprintf(line, sizeof line, "PARAM %s[%d] = { program.env[%d..%d] };", name, registers, env,
                     env + registers - 1);
        else
            snprintf(line, sizeof line, "PARAM %s = program.env[%d];", name, env);
        env += registers;
        shader_line_list_append(list, line);
    }
    for (int i = 0; i < c->texture_count && c->model2; i++) {
        snprintf(line, sizeof line, "uniform sampler2D %s;", c->texture_names[i]);
        shader_line_list_append(list, line);
    }
    for (int i = 0; i < c->ps_const_count; i++) {
        if (!c->ps_const_names[i] || !c->ps_const_texts[i]) continue;
        bool one = c->ps_const_registers[i] == 1;
        if (c->model2)
            snprintf(line, sizeof line, one ? "vec4 %s = vec4 ( %s );" : "mat4 %s = mat4 ( %s );", c->ps_const_names[i],
                     c->ps_const_texts[i]);
        else
            snprintf(line, sizeof line, "PARAM %s = { %s };", c->ps_const_names[i], c->ps_const_texts[i]);
        shader_line_list_append(list, line);
    }
    if (!c->model2) shader_line_list_append(list, "PARAM zerocinq = { 0.5,0.5,0.5,0.0 };");
}

// The first technique none of whose requirements the options refuse, or -1.
int choose_technique(const Walk *walk)
{
    int count = walk->technique_count < SHADER_RS_TECHNIQUES ? walk->technique_count : SHADER_RS_TECHNIQUES;
    for (int t = 0; t < count; t++) {
        bool refused = false;
        for (int i = 0; i < 4; i++) {
            refused |= (walk->requirements[t] & kRequirementBits[i]) && !(walk->options & kRequiredOptions[i]);
        }
        if (!refused) return t;
    }
    return -1;
}

void add_pixel_constant_with_text(ShaderCompiler *c, const char *name, const char *text)
{
    if (shader_add_pixel_constant(c, malloc_copy(name))) shader_set_pixel_constant_text(c, name, malloc_copy(text));
}

} // namespace

char *shader_strip_comments(const char *script)
{
    std::string out;
    bool comment = false;
    for (const char *p = script; *p; p++) {
        if (*p == '\n' || *p == '\r') comment = false;
        else if (*p == '#' || (p[0] == '/' && p[1] == '/')) comment = true;
        if (!comment) out += *p;
    }
    return malloc_copy(out);
}

bool shader_compile_script(ShaderCompiler *c, const char *script, uint32_t options)
{
    Walk *walk = new Walk();
    walk->c = c;
    walk->options = options;
    walk->ok = true;
    char *text = shader_strip_comments(script);
    walk->text = text;
    c->model2 = c->hlsl_mode = 0;
    c->effect_flags = 1;
    shader_set_work_registers(false);
    if (options & kOptionEffectText) c->target = 0;
    if (options & kOptionGlText) c->target = 1;
    if (options & kOptionConstOps) c->target = 2;
    c->hlsl_forced = (options & kOptionForceHlsl) != 0;
    c->vertex_format_flag = (options & (kOptionDeclareInputs | kOptionForceHlsl)) != 0;
    prescan(c, text);

    while (const char *read = str_next_word(text, &walk->position)) {
        int technique = technique_slot(walk);
        if (technique < SHADER_RS_TECHNIQUES && walk->pass + 1 > walk->pass_tally[technique])
            walk->pass_tally[technique] = walk->pass + 1;
        std::string word = clean_upper(read);
        if (!word.empty() && word[0] == '[') read_header(walk, word);
    }

    bool suffix = options & kOptionEffectText;
    add_builtin_constants(c, suffix);
    write_declarations(c);

    int chosen = choose_technique(walk);
    if (chosen < 0) {
        c->no_technique = 1;
    } else {
        uint32_t requirements = walk->requirements[chosen];
        c->technique_index = chosen;
        c->pixel_shader_used = (requirements & 0x4) != 0;
        c->model2 = (requirements & 0x8) != 0;
        if (requirements & 0x10) c->hlsl_mode = 1;
        if (c->model2 && suffix) {
            if (!c->hlsl_mode) {
                add_pixel_constant_with_text(c, "sc1",
                                             "-1.5500992e-006f, -2.1701389e-005f,  0.0026041667f, 0.00026041668f");
                add_pixel_constant_with_text(c, "sc2", "-0.020833334f, -0.12500000f, 1.0f, 0.50000000f");
            }
            add_pixel_constant_with_text(c, "zerocinq", "0.5f,0.5f,0.5f,0.0f");
        }
        if (c->target == 1) write_gl_declarations(c);
        shader_generate_passes(c, &walk->sections, chosen, walk->pass_tally[chosen], requirements);
    }

    for (auto &kind : walk->sections.text) {
        for (char *&section : kind) free(section);
    }
    free(text);
    bool ok = walk->ok && !c->syntax_error && !c->modifier_error && !c->no_technique;
    delete walk;
    return ok;
}
