// The device: creation with the options the render variables ask for, frames with the device's
// loss and reset in the registry's order, and shutdown.
#include "render/render_local.h"

#include <cstdlib>
#include <cstring>

namespace {

UINT present_interval(int32_t l)
{
    switch (l) {
    case 1: return D3DPRESENT_INTERVAL_ONE;
    case 2: return D3DPRESENT_INTERVAL_TWO;
    case 3: return D3DPRESENT_INTERVAL_THREE;
    default: return D3DPRESENT_INTERVAL_IMMEDIATE;
    }
}

// Shader versions as (major << 8 | minor).
DWORD shader_version(DWORD version) { return version & 0xFFFF; }

void fill_present(RenderContext *context)
{
    D3DPRESENT_PARAMETERS &p = context->present;
    p = D3DPRESENT_PARAMETERS{};
    p.BackBufferWidth = UINT(context->width);
    p.BackBufferHeight = UINT(context->height);
    p.BackBufferFormat = D3DFMT_UNKNOWN;
    p.BackBufferCount = 1;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.hDeviceWindow = context->window;
    p.Windowed = TRUE;
    p.EnableAutoDepthStencil = TRUE;
    p.AutoDepthStencilFormat = D3DFMT_D24S8;
    p.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;  // screenshots read the back buffer
    p.PresentationInterval = present_interval(render_var_get(context, "L"));
}

// Vertex processing from "R" and the vertex shader version; sets "T" and the dynamic buffers.
DWORD choose_vertex_processing(RenderContext *context, const D3DCAPS9 &caps)
{
    int32_t *t = render_var_ref(context, "T");
    if (render_var_get(context, "R") != 0) {
        if (shader_version(caps.VertexShaderVersion) >= 0x101) {
            *t = 1;
            g_render_dynamic_buffers = 1;
            return D3DCREATE_MIXED_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE;
        }
    }
    *t = 0;
    g_render_dynamic_buffers = 0;
    return D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE;
}

void read_caps(RenderContext *context, const D3DCAPS9 &caps)
{
    DWORD ps = shader_version(caps.PixelShaderVersion);
    *render_var_ref(context, "D") = int32_t(caps.MaxTextureWidth);
    *render_var_ref(context, "A") = (caps.StencilCaps & D3DSTENCILCAPS_TWOSIDED) ? 1 : 0;
    *render_var_ref(context, "S") = (caps.RasterCaps & D3DPRASTERCAPS_MIPMAPLODBIAS) ? 1 : 0;
    *render_var_ref(context, "Pixel Shaders 2.0") = ps >= 0x200 ? 1 : 0;
    g_render_cap_multitexture = caps.MaxSimultaneousTextures > 1;
    g_render_cap_dot3 = (caps.TextureOpCaps & D3DTEXOPCAPS_DOTPRODUCT3) != 0;
    g_render_cap_ps14 = ps >= 0x104;
    g_render_cap_ps20 = ps >= 0x200;
}

// The renderer's own default-pool resources, which must go before a Reset.
void release_surfaces(RenderContext *context)
{
    for (IDirect3DTexture9 *&texture : context->render_textures) {
        if (texture) texture->Release();
        texture = nullptr;
    }
}

// Every texture of a table, whatever its group tag, with the slot array and the record list.
void release_table(TextureTable *table)
{
    texture_release_all(table);
    free(table->slots);
    table->slots = nullptr;
    texture_free_record_list(&table->records);
}

void builtin_effects_lost(RenderContext *context, bool lost)
{
    for (ID3DXEffect *effect : context->effects) {
        if (!effect) continue;
        if (lost)
            effect->OnLostDevice();
        else
            effect->OnResetDevice();
    }
}

}  // namespace

int render_reset_device(RenderContext *context)
{
    IDirect3DDevice9 *device = context->device;
    render_registry_effects_lost(device);
    builtin_effects_lost(context, true);
    if (g_render_dynamic_buffers) render_registry_release_buffers(device);
    release_surfaces(context);
    fill_present(context);
    if (FAILED(device->Reset(&context->present))) return 0;
    if (g_render_dynamic_buffers) render_registry_restore_buffers(device);
    render_registry_effects_reset(device);
    builtin_effects_lost(context, false);
    render_resend_lights(context);
    return 1;
}

int render_create_device(RenderContext *context)
{
    // A second call (new display settings) resets the device the context has.
    if (context->device) return render_reset_device(context);
    if (context->width <= 0 || context->height <= 0) {
        render_log_line("render_create_device: the window has no size");
        return 0;
    }
    if (!context->d3d) context->d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!context->d3d) {
        render_log_line("render_create_device: Direct3D is not available");
        return 0;
    }
    D3DCAPS9 caps = {};
    if (FAILED(context->d3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps))) caps = D3DCAPS9{};
    memset(context->light_used, 0, sizeof context->light_used);
    DWORD behavior = choose_vertex_processing(context, caps);
    fill_present(context);
    if (FAILED(context->d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, context->window, behavior,
                                          &context->present, &context->device))) {
        context->device = nullptr;
        render_log_line("render_create_device: the device could not be created");
        return 0;
    }
    read_caps(context, caps);
    if (!g_render_first_device) g_render_first_device = context->device;
    release_table(&context->main_textures);
    render_resend_lights(context);
    return 1;
}

bool render_begin_frame(RenderContext *context)
{
    if (!context->device) return false;
    HRESULT state = context->device->TestCooperativeLevel();
    if (state == D3DERR_DEVICENOTRESET) {
        render_reset_device(context);
        return false;
    }
    if (FAILED(state)) return false;
    return SUCCEEDED(context->device->BeginScene());
}

void render_end_frame(RenderContext *context)
{
    render_flush_2d_batch(context);
    texture_tables_flush_dirty(context);
    if (context->device) context->device->EndScene();
}

void render_shutdown_device(RenderContext *context)
{
    lightmap_atlas_free(context);
    release_table(&context->main_textures);
    for (RenderObject &object : context->embedded_objects) render_object_free(&object);
    IDirect3DDevice9 *device = context->device;
    if (device && g_shadow_volume_object.device == device) render_object_free(&g_shadow_volume_object);
    if (device) {
        render_registry_release_buffers(device);
        render_registry_remove_device(device);
    }
    for (ID3DXEffect *&effect : context->effects) {
        if (effect) effect->Release();
        effect = nullptr;
    }
    context->current_pair_effect = context->current_third_effect = nullptr;
    release_surfaces(context);
    if (device) device->Release();
    context->device = nullptr;
    if (g_render_first_device == device) g_render_first_device = nullptr;
    if (context->d3d) context->d3d->Release();
    context->d3d = nullptr;
}
