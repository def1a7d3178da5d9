// The device: creation with the options the render variables ask for, frames with the device's
// loss and reset in the registry's order, and shutdown.
#include "render/render_draw.h"
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

// The context's own objects: the dynamic object that immediate builders fill, and the glare
// billboard (corner offsets -1..1 drawn by built-in 4 with texture 1001).
void make_embedded_objects(RenderContext *context)
{
    RenderObject *dynamic = &context->embedded_objects[0];
    dynamic->context = context;
    dynamic->device = context->device;
    dynamic->flags = 0x87;
    dynamic->dynamic = 1;
    render_object_create_vertex_buffer(dynamic, 20000, 60000, 0);
    context->dynamic_object = dynamic;

    RenderObject *glare = &context->embedded_objects[1];
    glare->context = context;
    glare->device = context->device;
    glare->flags = 0x87;
    render_object_create_vertex_buffer(glare, 4, 6, 0);
    static const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    render_object_lock_vertices(glare);
    for (int32_t i = 0; i < 4; i++) {
        render_vertex_set_position(glare, i, corners[i][0], corners[i][1], 0.0f);
        render_vertex_set_color_argb(glare, i, 1.0f, 1.0f, 1.0f, 1.0f);
        render_vertex_set_texcoord0(glare, i, (corners[i][0] + 1.0f) * 0.5f, (corners[i][1] + 1.0f) * 0.5f);
    }
    render_object_unlock_vertices(glare);
    if (render_object_lock_indices(glare)) {
        static const uint32_t indices[6] = {0, 1, 2, 0, 2, 3};
        for (int32_t i = 0; i < 6; i++) render_object_write_index(glare, i, indices[i]);
        render_object_unlock_indices(glare);
    }
    glare->vertices_in_use = 4;
    glare->indices_in_use = 6;
    glare->effect = context->effects[4];
    glare->shared_effect = 1;
    if (glare->ranges.count == 0) {
        ListNode<RenderDrawRange> *node = list_link_last(&glare->ranges, new ListNode<RenderDrawRange>{});
        node->value = RenderDrawRange{};
        node->value.end_index = 6;
        node->value.vertex_end = 4;
        node->value.texture1 = 1001;
    }
    glare->has_draw_ranges = 0;
}

// What a new device needs before the first frame, beyond the device itself.
void complete_device(RenderContext *context)
{
    render_default_device_state(context);
    render_set_full_viewport(context);
    render_set_mode(27, context, 1);  // every menu draws through the 2D batch
    render_builtin_create(context);
    render_select_effect_techniques(context);
    make_embedded_objects(context);
    render_replay_device_state(context);
}

// After a Reset: the device is back to its defaults, so everything set on it is given again.
void restore_device_state(RenderContext *context)
{
    render_select_effect_techniques(context);
    render_default_device_state(context);
    render_replay_device_state(context);
    const D3DVIEWPORT9 &v = context->viewport;
    if (v.Width > 0 && v.Height > 0 && int64_t(v.X) + v.Width <= context->width &&
        int64_t(v.Y) + v.Height <= context->height)
        context->device->SetViewport(&v);
    else
        render_set_full_viewport(context);
    float m[16];
    memcpy(m, context->world_matrix, sizeof m);
    render_set_world_matrix(context, m);
    memcpy(m, context->view_matrix, sizeof m);
    render_set_view_matrix(context, m);
    if (context->projection_matrix[11] != 0.0f)
        context->device->SetTransform(D3DTS_PROJECTION, context->projection_matrix);
    light_set_ambient(context, context->ambient[0], context->ambient[1], context->ambient[2]);
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
    restore_device_state(context);
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
    context->lights_on_count = 0;
    complete_device(context);
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
    context->dynamic_object = context->current_object = nullptr;
    free(context->batch);
    free(context->batch_parked);
    context->batch = context->batch_parked = nullptr;
    context->batch_triangles = 0;
    release_surfaces(context);
    if (device) device->Release();
    context->device = nullptr;
    if (g_render_first_device == device) g_render_first_device = nullptr;
    if (context->d3d) context->d3d->Release();
    context->d3d = nullptr;
}
