// The render variables: lookups by name, the built-in set with its defaults, and the technique
// choice of built-in effects 6, 7 and 8 from the variables and the capability flags.
#include "render/render_local.h"

#include <cstdio>
#include <cstring>

namespace {

struct BuiltinVariable {
    const char *name;
    int32_t value;
};

// In creation order; the comments say who sets each and who reads it.
const BuiltinVariable kBuiltins[] = {
    {"h", 20},                // render target switch; the drawing routine tests 19
    {"f", 1},                 // texture binders
    {"B", 1},                 // lightmap page groups
    {"H", 1},                 // drawing routine
    {"I", 0},                 // no reader
    {"J", 13},                // current render target: 13 back buffer, 19 the special techniques
    {"K", 1},                 // drawing routine
    {"L", 1},                 // present interval at device creation
    {"Q", 1},                 // last z-buffer setting
    {"M", 1},                 // 0: aspect 1.0 off the back buffer
    {"N", 0},                 // blending preset
    {"O", 0},                 // no reader
    {"P", 0},                 // last cull setting
    {"R", 1},                 // ask for hardware vertex processing
    {"T", 0},                 // dynamic vertex buffers in use
    {"S", 0},                 // mip-map LOD bias supported
    {"U", 0},                 // stencil z-fail increments
    {"W", 0},                 // 0: 16-bit textures
    {"X", 0},                 // front-end textures get a mip chain
    {"Y", 0},                 // front-end textures clamp
    {"Z", 0},                 // no reader
    {"D", 256},               // largest texture side
    {"a", 0},                 // technique level of the effect pair
    {"c", 0},                 // technique number of the third effect
    {"b", 0},                 // which effect of the pair is current
    {"E", 1},                 // decal builders draw at once
    {"G", 0},                 // no reader
    {"F", 0},                 // drawing routine
    {"d", 1},                 // drawing routine
    {"e", 1},                 // drawing routine
    {"V", 1},                 // lightmap uploads keep a CPU copy
    {"A", 0},                 // two-sided stencil supported
    {"Pixel Shaders 2.0", 0}, // pixel shader 2.0 or later
};

constexpr size_t kNameBytes = sizeof(RenderVariable::name);

// The stored form of a name: at most 63 bytes.
void copy_name(char *out, const char *name)
{
    size_t n = strnlen(name, kNameBytes - 1);
    memcpy(out, name, n);
    out[n] = '\0';
}

uint32_t stored_name_hash(const char *name)
{
    uint32_t sum = 0;
    for (size_t i = 0; i < kNameBytes - 1 && name[i]; i++) sum += uint8_t(name[i]);
    return sum;
}

// Technique of one effect of the pair.
const char *pair_technique(RenderContext *context)
{
    if (render_var_get(context, "J") == 19) return "T4";
    int32_t a = render_var_get(context, "a");
    if (a == 1 || a == 2) return g_render_cap_multitexture ? "T2" : "T3";
    if (g_render_cap_ps14) return "T0";
    if (g_render_cap_dot3) return "T1";
    if (g_render_cap_multitexture) return "T2";
    return "T3";
}

void set_pair_technique(RenderContext *context, ID3DXEffect *effect)
{
    if (!effect) return;
    effect->SetTechnique(effect->GetTechniqueByName(pair_technique(context)));
}

void select_third_technique(RenderContext *context, ID3DXEffect *effect)
{
    D3DXHANDLE handle = nullptr;
    int32_t c = render_var_get(context, "c");
    if (render_var_get(context, "J") == 19) {
        handle = effect->GetTechniqueByName("T7");
    } else if (c >= 3) {
        handle = effect->GetTechniqueByName(render_var_get(context, "a") != 0 ? "T4" : "T2");
    } else if (c != 0) {
        char name[16];
        snprintf(name, sizeof name, "T%d", int(c - 1));
        handle = effect->GetTechniqueByName(name);
    }
    effect->SetTechnique(handle);
    D3DXHANDLE next = nullptr;
    if (SUCCEEDED(effect->FindNextValidTechnique(handle, &next)) && next) {
        effect->SetTechnique(next);
        context->current_third_effect = effect;
    }
}

}  // namespace

uint32_t render_var_name_hash(const char *name)
{
    uint32_t sum = 0;
    for (const char *p = name; *p; p++) sum += uint8_t(*p);
    return sum;
}

RenderVariable *render_var_find(RenderContext *context, const char *name)
{
    if (!name) return nullptr;
    uint32_t hash = stored_name_hash(name);
    for (RenderVariable *v = context->variables.first; v; v = v->next)
        if (v->hash == hash && strncmp(v->name, name, kNameBytes - 1) == 0) return v;
    return nullptr;
}

void render_var_create(RenderContext *context, const char *name)
{
    if (!name || render_var_find(context, name)) return;
    RenderVariable record = {};
    copy_name(record.name, name);
    record.hash = render_var_name_hash(record.name);
    record.byte = 1;
    render_var_list_append(&context->variables, record);
}

int32_t render_var_get(RenderContext *context, const char *name)
{
    const RenderVariable *v = render_var_find(context, name);
    return v ? v->value : kRenderVarMissing;
}

int32_t *render_var_ref(RenderContext *context, const char *name)
{
    static int32_t unnamed;  // what a null name refers to
    if (!name) return &unnamed;
    RenderVariable *v = render_var_find(context, name);
    if (!v) {
        render_var_create(context, name);
        v = render_var_find(context, name);
    }
    return &v->value;
}

void render_vars_create_builtin(RenderContext *context)
{
    for (const BuiltinVariable &b : kBuiltins) *render_var_ref(context, b.name) = b.value;
}

RenderVariable *render_var_list_append(RenderVariableList *list, const RenderVariable &record)
{
    RenderVariable *node = new RenderVariable{};
    memcpy(node->name, record.name, kNameBytes);
    node->name[kNameBytes - 1] = '\0';
    node->hash = record.hash;
    node->value = record.value;
    node->word = record.word;
    node->byte = record.byte;
    return list_link_last(list, node);
}

void render_vars_free_all(RenderContext *context) { list_clear(&context->variables); }

void render_select_effect_techniques(RenderContext *context)
{
    ID3DXEffect *first = context->effects[6];
    if (first) {
        set_pair_technique(context, context->effects[7]);
        set_pair_technique(context, first);
        context->current_pair_effect = render_var_get(context, "b") == 0 ? first : context->effects[7];
    }
    if (context->effects[8]) select_third_technique(context, context->effects[8]);
}
