// The render context: its construction and end, the renderer's globals, the log and the 2D batch
// flush.
#include "render/render_local.h"

#include "geometry/vecmath.h"
#include "platform/system.h"

#include <cstdlib>
#include <cstring>

// Whole run: the game's context, the first context and device, the options the device chose.
RenderContext g_render_context;
RenderContext *g_render_first_context;
IDirect3DDevice9 *g_render_first_device;
uint8_t g_render_dynamic_buffers;
uint8_t g_render_cap_multitexture;
uint8_t g_render_cap_dot3;
uint8_t g_render_cap_ps14;
uint8_t g_render_cap_ps20;
uint8_t g_render_log_errors;
bool g_render_log_opened;

namespace {

void table_construct(TextureTable *table, RenderContext *context)
{
    table->records = IndexedList<TextureRecord>{};
    table->slots = nullptr;
    table->group_tag = nullptr;
    table->context = context;
}

}  // namespace

void render_context_construct(RenderContext *context)
{
    for (uint8_t &used : context->light_used) used = 0;
    context->atlas_blocks = LightmapBlockList{};
    for (uint8_t *&map : context->occupancy) map = nullptr;
    table_construct(&context->main_textures, context);
    table_construct(&context->lightmap_textures, context);
    context->batch_triangles = 0;
    context->batch = nullptr;
    for (ID3DXEffect *&effect : context->effects) effect = nullptr;
    context->current_pair_effect = context->current_third_effect = nullptr;
    context->d3d = nullptr;
    context->device = nullptr;
    context->present = D3DPRESENT_PARAMETERS{};
    for (IDirect3DTexture9 *&texture : context->render_textures) texture = nullptr;
    for (LightSlot &slot : context->lights) slot = LightSlot{};
    for (int32_t &id : context->bound_texture) id = kRenderNoTexture;
    mat4_identity(context->base_matrix);
    mat4_identity(context->world_matrix);
    mat4_identity(context->view_matrix);
    context->ambient[0] = context->ambient[1] = context->ambient[2] = 0.0f;
    context->atlas_tile_size = 0;
    context->current_group = 0;
    for (int32_t &page : context->group_pages) page = 0;
    context->draw_hooks = nullptr;
    for (RenderObject &object : context->embedded_objects) render_object_init(&object);
    context->display_scale = 1.0f;
    context->focal = 0.0f;
    context->near_plane = 0.5f;  // the game's planes: 0.1 and 5 would clip every hole at 5 units
    context->far_plane = 300.0f;
    memset(context->projection_matrix, 0, sizeof context->projection_matrix);
    context->viewport = D3DVIEWPORT9{};
    context->current_object = nullptr;
    context->dynamic_object = nullptr;
    context->effect_object = nullptr;
    context->texture_id_offset = 0;
    context->frame_ms = 0.0f;
    context->frames_per_second = 0.0f;
    context->present_last_count = 0;
    for (int32_t &value : context->mode_value) value = -1;
    context->alpha_ref = 0;
    context->alpha_func = D3DCMP_ALWAYS;
    context->alpha_on = FALSE;
    context->batch_parked = nullptr;
    context->lights_on_count = 0;
    render_vars_free_all(context);
    render_vars_create_builtin(context);
    if (!g_render_first_context) g_render_first_context = context;
}

void render_context_destroy(RenderContext *context)
{
    render_vars_free_all(context);
    free(context->batch);
    free(context->batch_parked);
    context->batch = context->batch_parked = nullptr;
    context->batch_triangles = 0;
    if (g_render_first_context == context) g_render_first_context = nullptr;
}

void render_log_line(const char *text)
{
    FILE *file = sys_fopen("rar3a_log.txt", g_render_log_opened ? "a" : "w");
    if (!file) return;
    g_render_log_opened = true;
    fprintf(file, "%s\n", text ? text : "");
    fclose(file);
}

void render_flush_2d_batch(RenderContext *context)
{
    if (context->batch_triangles <= 0) return;
    UINT triangles = UINT(context->batch_triangles < kRenderBatchTriangles ? context->batch_triangles
                                                                           : kRenderBatchTriangles);
    if (context->device && context->batch) {
        context->device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
        context->device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, triangles, context->batch, sizeof(RenderBatchVertex));
    }
    context->batch_triangles = 0;
}
