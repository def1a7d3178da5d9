// The compile entry: a script compiled into a render object's effect, the messages of a failure
// with the script line it maps to, and the per-compile reset of the compiler.
#include "shader/shader_local.h"

#include "platform/gpu/gpu_effect.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

const uint32_t kOptions = 0x10002;
const size_t kListingSize = 131072;
const int kLineSize = 1024;

char *malloc_copy(const std::string &text)
{
    char *copy = (char *)malloc(text.size() + 1);
    memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

uint32_t caps_options(const ShaderDeviceCaps &caps)
{
    uint32_t options = 0;
    if (caps.multitexture) options |= 0x800;
    if (caps.dot3) options |= 0x1000;
    if (caps.ps14) options |= 0x2000;
    if (caps.ps20) options |= 0x40000;
    return options;
}

std::string upper_key(const char *text)
{
    std::string key = text;
    str_to_upper(key.data());
    return key;
}

// The key itself and its compound form (X=X+Y also found as X+=Y).
void keys_of(const char *text, std::string *key1, std::string *key2)
{
    *key1 = upper_key(text);
    std::vector<char> out(key1->size() + 2, 0);
    memcpy(out.data(), key1->c_str(), key1->size() + 1);
    shader_split_state_assignment(key1->c_str(), out.data(), out.size());
    *key2 = out.data();
}

// A script line as the searches compare it: blanks removed, upper case, cut at its comment.
std::string compared_line(const char *line, bool keep_comment = false)
{
    std::string text = line;
    str_remove_blanks(text.data());
    text.resize(strlen(text.c_str()));
    str_to_upper(text.data());
    if (!keep_comment) text = text.substr(0, text.find('#'));
    return text;
}

bool holds(const std::string &line, const std::string &key)
{
    return !key.empty() && line.find(key) != std::string::npos;
}

std::string compile_failure_message(ShaderCompiler *c, const char *script)
{
    c->error_line = shader_find_error_line(c->error_statement, script);
    char line[64];
    snprintf(line, sizeof line, "%d", c->error_line);
    std::string quoted = std::string(" : \"") + c->error_statement + "\"";
    if (c->capacity_error[0]) return std::string(c->capacity_error) + " in line : " + line + quoted;
    if (c->rs_error[0]) return c->rs_error;
    if (c->syntax_error) return std::string("Syntax error in line : ") + line + quoted;
    if (c->modifier_error) return std::string("Syntax error on modifiers in line : ") + line + quoted;
    if (c->no_technique) return "No technique of the script fits the device";
    return std::string("Syntax error in line : ") + line + quoted;
}

std::string effect_failure_report(ShaderCompiler *c, const char *script, const char *effect_text, ID3DXBuffer *errors)
{
    std::string messages;
    if (errors && errors->GetBufferPointer()) {
        const char *text = (const char *)errors->GetBufferPointer();
        messages.assign(text, strnlen(text, errors->GetBufferSize()));
    }
    int line;
    if (messages.find("subscript") != std::string::npos) {
        const char *quoted = str_extract_quoted(messages.c_str());
        std::string name = quoted ? quoted : "";
        int start = shader_map_effect_line_to_script(c, script, shader_number_in_parentheses(messages.c_str()),
                                                     effect_text);
        line = shader_find_script_line_in_block(name.c_str(), script, start);
    } else {
        line = shader_map_effect_line_to_script(c, script, shader_number_in_parentheses(messages.c_str()),
                                                effect_text);
    }
    c->error_line = line;
    char *plain = shader_make_line_listing(messages.c_str(), 0);
    char *numbered = shader_make_line_listing(effect_text, 1);
    std::string report =
        "Error in line (owner script) : " + std::to_string(line) + "\n" + plain + "\n" + numbered + "\n";
    free(plain);
    free(numbered);
    return report;
}

char *report(const ShaderObjectFields *object, const std::string &message)
{
    if (object->log_line) object->log_line(message.c_str());
    return malloc_copy(message);
}

} // namespace

char *shader_compile_object(const ShaderObjectFields *object, const char *script)
{
    uint32_t options = caps_options(object->caps);
    if (*object->compiler && *object->effect) {
        *object->flags |= SHADER_OBJECT_EFFECT_READY;
        return nullptr;
    }
    // A compiler without an effect is what a failed compile left: it compiles again.
    if (!*object->compiler) {
        ShaderCompiler *made = new (std::nothrow) ShaderCompiler;
        if (!made) return report(object, "ERROR: no memory for the shader compiler");
        *object->compiler = shader_compiler_construct(made);
    }
    ShaderCompiler *c = *object->compiler;
    *object->flags &= ~SHADER_OBJECT_EFFECT_READY;
    shader_compiler_reset(c);
    if (!script) return report(object, "ERROR: no shader script");
    if (!shader_compile_script(c, script, options | kOptions))
        return report(object, compile_failure_message(c, script));

    char *text = shader_build_effect_text(c);
    *object->effect = nullptr;
    ID3DXBuffer *errors = nullptr;
    HRESULT result = D3DXCreateEffect(object->device, text, (UINT)strlen(text), nullptr, nullptr, c->effect_flags << 10,
                                      nullptr, object->effect, &errors);
    if (FAILED(result)) {
        std::string message = effect_failure_report(c, script, text, errors);
        if (errors) errors->Release();
        if (*object->effect) (*object->effect)->Release();
        *object->effect = nullptr;
        free(text);
        return report(object, message);
    }
    if (errors) errors->Release();
    free(text);
    if (!*object->effect) return report(object, "ERROR");
    ID3DXEffect *effect = *object->effect;
    effect->SetTechnique(effect->GetTechniqueByName("T0"));
    *object->flags |= SHADER_OBJECT_EFFECT_READY;
    return nullptr;
}

void shader_release_object(const ShaderObjectFields *object)
{
    if (*object->effect) (*object->effect)->Release();
    *object->effect = nullptr;
    if (*object->compiler) {
        shader_release_compiler(*object->compiler);
        delete *object->compiler;
        *object->compiler = nullptr;
    }
    *object->flags &= ~SHADER_OBJECT_EFFECT_READY;
}

void shader_compiler_reset(ShaderCompiler *c)
{
    shader_release_compiler(c);
    shader_compiler_construct(c);
}

int shader_find_error_line(const char *error, const char *script)
{
    if (!error || !script) return -1;
    std::string key1, key2;
    keys_of(error, &key1, &key2);
    std::string previous;
    int k = 1;
    int position = 0;
    g_str_line_counter = 0;
    while (const char *read = str_next_line(script, &position)) {
        std::string line = compared_line(read);
        if (holds(line, key1) || holds(line, key2)) return g_str_line_counter - 1;
        // A statement over two lines is reported at the earlier one.
        if (holds(previous + line, key1)) return g_str_line_counter - k - 1;
        if (!line.empty()) {
            previous = line;
            k = 1;
        } else {
            k++;
        }
    }
    return -1;
}

int shader_map_effect_line_to_script(ShaderCompiler *c, const char *script, int effect_line, const char *effect_text)
{
    if (effect_line < 0 || !effect_text) return -1;
    // Messages count lines from 1, the recorded lines from 0.
    int L = effect_line > 0 ? effect_line - 1 : 0;
    int passes = c->pass_count < SHADER_MAX_PASSES ? c->pass_count : SHADER_MAX_PASSES;
    const int P = SHADER_MAX_PASSES;
    int32_t *vertex = c->vertex_function_line_numbers, *pixel = c->pixel_function_line_numbers;
    // Each pass's main function stands as one more entry after its functions.
    auto extras = [&](int p) {
        int nv = std::min(c->vertex_function_counts[p], SHADER_MAX_FUNCTIONS - 1);
        int np = std::min(c->pixel_function_counts[p], SHADER_MAX_FUNCTIONS - 1);
        vertex[nv * P + p] = c->vertex_main_line_numbers[p];
        pixel[np * P + p] = c->pixel_main_line_numbers[p];
        return std::make_pair(nv, np);
    };
    for (int p = 0; p < passes; p++) extras(p);
    int previous = passes > 0 && c->vertex_function_counts[0] == 0 ? c->vertex_main_line_numbers[0] : vertex[0];
    int total = shader_count_text_lines(effect_text);
    for (int p = 0; p < passes; p++) {
        int end = p == passes - 1 ? total : shader_text_line_at(effect_text, previous);
        if (c->pixel_main_line_numbers[p] < c->vertex_main_line_numbers[p]) end = c->pixel_main_line_numbers[p];
        auto [nv, np] = extras(p);
        previous = end;
        if (L <= vertex[p]) continue;
        std::string label;
        if (L < c->vertex_main_line_numbers[p]) {
            for (int k = 0; k < nv; k++) {
                if (vertex[k * P + p] < L && L < vertex[(k + 1) * P + p]) label = c->vertex_function_names[k * P + p];
            }
        } else if (L < pixel[p]) {
            label = "[PASS" + std::to_string(p) + "]";
        } else if (L < c->pixel_main_line_numbers[p]) {
            for (int k = 0; k < np; k++) {
                if (pixel[k * P + p] < L && L < pixel[(k + 1) * P + p]) label = c->pixel_function_names[k * P + p];
            }
        }
        if (label.empty() && L < end) label = "[SHADER]";
        if (!label.empty()) return shader_find_script_line_in_pass(label.c_str(), script, p);
    }
    return -1;
}

int shader_find_script_line_in_pass(const char *label, const char *script, int pass)
{
    std::string key1, key2;
    keys_of(label, &key1, &key2);
    int pass_counter = -1;
    int position = 0;
    g_str_line_counter = 0;
    while (const char *read = str_next_line(script, &position)) {
        std::string line = compared_line(read, true);
        // The pass count comes before the comment is cut: "PASS" in a comment counts too.
        if (line.find("PASS") != std::string::npos) pass_counter++;
        line = line.substr(0, line.find('#'));
        line = line.substr(0, line.find('='));
        if (pass_counter == pass && (holds(line, key1) || holds(line, key2))) return g_str_line_counter - 1;
    }
    return -1;
}

int shader_find_script_line_in_block(const char *name, const char *script, int start)
{
    std::string key1, key2;
    keys_of(name, &key1, &key2);
    int position = 0;
    int number = 0;
    while (const char *read = shader_read_line_at(script, &position)) {
        number++;
        if (number <= start) continue;
        std::string line = compared_line(read);
        if (holds(line, key1) || holds(line, key2)) return number - 1;
    }
    return -1;
}

void shader_split_state_assignment(const char *text, char *out, size_t out_size)
{
    const char *equals = strchr(text, '=');
    if (!equals || equals == text) return;
    std::string name(text, (size_t)(equals - text)), rest = equals + 1;
    size_t j = rest.find_first_of("+-");
    if (j == std::string::npos || rest.compare(0, j, name) != 0 || j != name.size()) return;
    snprintf(out, out_size, "%s%c=%s", name.c_str(), rest[j], rest.c_str() + j + 1);
}

int shader_number_in_parentheses(const char *text)
{
    const char *open = strchr(text, '('), *comma = strchr(text, ',');
    if (!open || !comma || comma <= open) return -1;
    std::string number(open + 1, (size_t)(comma - open - 1));
    int value;
    return sscanf(number.c_str(), "%d", &value) == 1 ? value : -1;
}

int shader_count_text_lines(const char *text)
{
    int lines = 0;
    size_t length = strlen(text);
    for (size_t i = 0; i < length; i++) lines += text[i] == '\n';
    if (length > 0 && text[length - 1] != '\n') lines++;
    return lines;
}

int shader_text_line_at(const char *text, int line)
{
    int number = 0;
    int position = 0;
    while (const char *read = shader_read_line_at(text, &position)) {
        number++;
        if (number > line && strchr(read, '}')) return number;
    }
    return shader_count_text_lines(text);
}

char *shader_read_line_at(const char *text, int *position)
{
    static char line[kLineSize];
    if (!text || !text[*position]) return nullptr;
    const char *start = text + *position;
    const char *end = strchr(start, '\n');
    size_t length = end ? (size_t)(end - start) : strlen(start);
    snprintf(line, sizeof line, "%.*s", (int)(length < kLineSize - 1 ? length : kLineSize - 1), start);
    *position += (int)length + (end ? 1 : 0);
    return line;
}

char *shader_make_line_listing(const char *text, int numbered)
{
    std::string listing;
    int number = 0;
    const char *at = text;
    while (*at && listing.size() < kListingSize) {
        const char *end = strchr(at, '\n');
        size_t length = end ? (size_t)(end - at) : strlen(at);
        if (numbered) {
            char label[16];
            snprintf(label, sizeof label, "%04d", ++number);
            listing.append(label, 4);
            listing += '\t';
        }
        listing.append(at, length);
        listing += "\r\n";
        at += length + (end ? 1 : 0);
    }
    // The listing is cut at its buffer's size.
    if (listing.size() > kListingSize - 1) listing.resize(kListingSize - 1);
    return malloc_copy(listing);
}
