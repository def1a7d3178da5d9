// What a render object's effect is fed before a draw: its matrices, its named textures bound on
// stage 0 with their records' sampler states and captured for the draw, and the draw hooks.
#include "render/render_local.h"

#include "geometry/vecmath.h"

#include <cstdlib>
#include <cstring>

namespace {

RenderContext *object_context(const RenderObject *object)
{
    return object->context ? object->context : g_render_first_context;
}

// Hands what stage 0 holds to the parameter; the reference is kept for the draw while there is a
// free captured slot, else given back at once (the effect holds its own).
void capture_stage0(RenderObject *object, const char *parameter)
{
    IDirect3DBaseTexture9 *texture = nullptr;
    object->device->GetTexture(0, &texture);
    object->effect->SetTexture(parameter, texture);
    if (object->captured_count >= 0 && object->captured_count < kRenderCapturedTextures)
        object->captured[object->captured_count++] = texture;
    else if (texture)
        texture->Release();
}

const TextureRecord *table_record(const TextureTable &table, int32_t id)
{
    if (id < 0 || id >= kTextureSlots || !table.slots) return nullptr;
    return table.slots[id];
}

}  // namespace

void render_effect_set_distort_matrix(RenderObject *object, const float *m)
{
    if (object->effect) object->effect->SetMatrix("DISTORT", m);
}

void render_effect_set_viewproj_matrix(RenderObject *object)
{
    if (!object->effect || !object->device) return;
    float view[16], projection[16], product[16];
    object->device->GetTransform(D3DTS_VIEW, view);
    object->device->GetTransform(D3DTS_PROJECTION, projection);
    D3DXMatrixMultiply(product, view, projection);
    object->effect->SetMatrix("VIEWPROJ", product);
}

void render_effect_set_world_matrix(RenderObject *object)
{
    if (!object->effect || !object->device) return;
    float world[16];
    object->device->GetTransform(D3DTS_WORLD, world);
    object->effect->SetMatrix("WORLD", world);
}

void render_effect_set_vector(RenderObject *object, const char *name, const float v[4])
{
    if (object->effect && name && v) object->effect->SetVector(name, v);
}

void render_object_set_texture_name(RenderObject *object, int32_t slot, const char *name)
{
    if (!name || slot < 1 || slot >= kRenderTextureNames) return;
    char *copy = static_cast<char *>(malloc(strlen(name) + 1));
    if (!copy) return;
    strcpy(copy, name);
    free(object->texture_names[slot]);
    object->texture_names[slot] = copy;
}

void render_object_free_texture_names(RenderObject *object)
{
    for (int slot = 1; slot < kRenderTextureNames; slot++) {
        free(object->texture_names[slot]);
        object->texture_names[slot] = nullptr;
    }
}

void texture_bind_to_effect(RenderObject *object, int32_t id, const char *parameter)
{
    RenderContext *context = object_context(object);
    if (!object->effect || !object->device || !context) return;
    IDirect3DDevice9 *device = object->device;
    const TextureRecord *record = table_record(context->main_textures, id);
    if (record) {
        device->SetTexture(0, record->texture);
        DWORD address = record->clamp ? D3DTADDRESS_CLAMP : D3DTADDRESS_WRAP;
        device->SetSamplerState(0, D3DSAMP_ADDRESSU, address);
        device->SetSamplerState(0, D3DSAMP_ADDRESSV, address);
        device->SetSamplerState(0, D3DSAMP_MIPFILTER, record->mipmapped == 1 ? D3DTEXF_LINEAR : D3DTEXF_NONE);
    } else if (id < 0 && id >= -kRenderTargetSlots) {
        device->SetTexture(0, context->render_textures[-id - 1]);
        device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
        device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
        device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
        device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    }
    // An empty slot, or an id out of range: stage 0 keeps what it held.
    capture_stage0(object, parameter);
}

void lightmap_bind_to_effect(RenderObject *object, int32_t id, const char *parameter)
{
    RenderContext *context = object_context(object);
    if (!object->effect || !object->device || !context) return;
    IDirect3DDevice9 *device = object->device;
    if (id >= 0) {
        const TextureRecord *record = table_record(context->lightmap_textures, id);
        device->SetTexture(0, record ? record->texture : nullptr);
        device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
        device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    }
    capture_stage0(object, parameter);
    if (context->bound_texture[0] != kRenderNoTexture) texture_bind(context, context->bound_texture[0]);
}

void render_object_release_captured(RenderObject *object)
{
    for (IDirect3DBaseTexture9 *&texture : object->captured) {
        if (texture) texture->Release();
        texture = nullptr;
    }
    object->captured_count = 0;
}

bool render_run_stage_callbacks(const DrawHookTable *table, RenderObject *object, int32_t a, int32_t b, int32_t c)
{
    if (!table) return true;
    int32_t count = table->count < 0 ? 0 : table->count > kDrawHookEntries ? kDrawHookEntries : table->count;
    for (int32_t i = 0; i < count; i++) {
        uint32_t value = table->values[i];
        if (table->entry_hook1) table->entry_hook1(object, value, a);
        if (table->entry_hook2) table->entry_hook2(object, value, b);
        if (table->entry_hook3) table->entry_hook3(object, value, a);
        if (table->entry_hook4) table->entry_hook4(object, value, b);
    }
    return table->final_hook ? table->final_hook(object, a, b, c) : true;
}
