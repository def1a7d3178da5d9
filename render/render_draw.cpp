// The draw of the current render object: its effect (the context's effect object, its own, or the
// built-in for its layout), its draw ranges with their hooks, textures and blending, and the light
// that reaches it; the device's states are given back afterwards.
#include "render/render_draw.h"
#include "render/render_local.h"

#include "geometry/vecmath.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

namespace {

// Whole run: the kinds of objects not drawn that were logged once.
bool g_logged_skinned;
bool g_logged_no_effect;

// A directional light reaches everything; its attenuation range is this.
constexpr float kUnboundedRange = 1e30f;

ID3DXEffect *builtin_for_layout(RenderContext *context, int32_t layout)
{
    switch (layout) {
    case 2: return context->effects[0];
    case 0:
    case 1:
    case 3:
    case 8: return context->effects[1];
    case 4: return context->effects[2];
    case 5: return context->effects[3];
    case 6:
    case 7:
    case 9: return render_var_get(context, "H") == 0 ? context->effects[1] : context->current_pair_effect;
    default: return nullptr;
    }
}

int32_t builtin_index(const RenderContext *context, const ID3DXEffect *effect)
{
    for (int32_t n = 0; n < 9; n++)
        if (context->effects[n] == effect) return n;
    return -1;
}

// Effect parameters receiving the range's textures: texture 1, texture 2, lightmap pages 1 and 2.
struct BindingNames {
    const char *texture1;
    const char *texture2;
    const char *page1;
    const char *page2;
};

BindingNames binding_names(const RenderContext *context, const RenderObject *object, const ID3DXEffect *effect)
{
    switch (builtin_index(context, effect)) {
    case -1: {
        const char *const *names = object->texture_names;
        return BindingNames{names[1], names[2], names[3], names[4]};
    }
    case 1:
    case 3:
    case 4: return BindingNames{"Tex", nullptr, nullptr, nullptr};
    case 2: return BindingNames{"Tex", "Tex2", nullptr, nullptr};
    case 6:
    case 7: return BindingNames{"Tex", nullptr, "Lightmap", nullptr};
    default: return BindingNames{};
    }
}

// The slot of the light that reaches the object, or -1.
int32_t choose_light(RenderContext *context, const RenderObject *object, const float *centre)
{
    if (render_var_get(context, "K") == 0) return -1;
    int32_t own = object->light_slot;
    if (own >= 0 && own < kRenderLightSlots && context->lights[own].enabled) return own;
    for (int32_t i = 0; i < context->lights_on_count; i++)
        if (context->lights[context->lights_on[i]].directional) return context->lights_on[i];
    int32_t nearest = -1;
    float best = 0.0f;
    for (int32_t i = 0; i < context->lights_on_count; i++) {
        const LightSlot &light = context->lights[context->lights_on[i]];
        float d[3];
        vec3_sub(d, light.position, centre);
        float distance = std::sqrt(vec3_dot(d, d));
        if (distance > light.range) continue;
        if (nearest < 0 || distance < best) {
            nearest = context->lights_on[i];
            best = distance;
        }
    }
    return nearest;
}

// The light parameters of the effect, and the object's light vector in its own space.
void set_light_parameters(RenderContext *context, RenderObject *object, ID3DXEffect *effect, const float *world)
{
    float ambient[4] = {context->ambient[0], context->ambient[1], context->ambient[2], 1.0f};
    effect->SetVector("AMBIENT", ambient);
    int32_t slot = choose_light(context, object, world + 12);
    float vec[4] = {0, 0, 0, 0}, colour[4] = {0, 0, 0, 0}, attenuation[4] = {1, 0, 0, 0};
    if (slot >= 0) {
        const LightSlot &light = context->lights[slot];
        float scale = object->light_scale > 0.0f ? object->light_scale : 1.0f;
        for (int i = 0; i < 3; i++) colour[i] = light.current_colour[i] * scale;
        if (light.directional) {
            vec3_set(vec, -light.position[0], -light.position[1], -light.position[2]);
            attenuation[2] = kUnboundedRange;
            memcpy(object->object_vector, light.position, sizeof object->object_vector);
        } else {
            memcpy(vec, light.position, 3 * sizeof(float));
            vec[3] = 1.0f;
            attenuation[1] = light.linear_attenuation;
            attenuation[2] = light.range;
            float inverse[16], p[3];
            vec3_sub(p, light.position, object->reference_point);
            if (D3DXMatrixInverse(inverse, nullptr, world))
                for (int c = 0; c < 3; c++)
                    object->object_vector[c] =
                        p[0] * inverse[c] + p[1] * inverse[4 + c] + p[2] * inverse[8 + c] + inverse[12 + c];
        }
    }
    effect->SetVector("LIGHTVEC", vec);
    effect->SetVector("LIGHTCOLOR", colour);
    effect->SetVector("LIGHTATTEN", attenuation);
}

// The billboard's centre and camera axes (scaled like the world matrix), and the volumes' reach.
void set_view_parameters(RenderContext *context, ID3DXEffect *effect, const float *world)
{
    const float *view = context->view_matrix;
    float sx = std::sqrt(vec3_dot(world, world)), sy = std::sqrt(vec3_dot(world + 4, world + 4));
    float centre[4] = {world[12], world[13], world[14], 1.0f};
    float right[4] = {view[0] * sx, view[4] * sx, view[8] * sx, 0.0f};
    float up[4] = {view[1] * sy, view[5] * sy, view[9] * sy, 0.0f};
    float extrude[4] = {context->far_plane, 0.0f, 0.0f, 0.0f};
    effect->SetVector("CENTRE", centre);
    effect->SetVector("CAMRIGHT", right);
    effect->SetVector("CAMUP", up);
    effect->SetVector("EXTRUDE", extrude);
}

// A range cut to the object: indices [first, first + count) drawn over the vertex window.
struct DrawWindow {
    int32_t first_index;
    int32_t index_count;
    int32_t first_vertex;
    int32_t vertex_count;
};

bool window_of(const RenderObject *object, const RenderDrawRange &r, DrawWindow *w)
{
    int32_t indices = object->indices_in_use < object->index_count ? object->indices_in_use : object->index_count;
    int32_t vertices = object->vertices_in_use < object->vertex_count ? object->vertices_in_use : object->vertex_count;
    if (r.first_index < 0 || r.end_index > indices || r.first_index >= r.end_index || vertices <= 0) return false;
    w->first_index = r.first_index;
    w->index_count = (r.end_index - r.first_index) / 3 * 3;
    // Face groups may carry -1 (or a count) here: then the object's whole window.
    if (r.lowest_vertex >= 0 && r.vertex_end > r.lowest_vertex && r.lowest_vertex < vertices) {
        w->first_vertex = r.lowest_vertex;
        w->vertex_count = (r.vertex_end < vertices ? r.vertex_end : vertices) - r.lowest_vertex;
    } else {
        w->first_vertex = 0;
        w->vertex_count = vertices;
    }
    return w->index_count > 0;
}

// Binds the range's textures, lightmap pages first so that stage 0 ends with texture 1's states.
void bind_range(RenderContext *context, RenderObject *object, const BindingNames &names, const RenderDrawRange &r,
                bool implicit)
{
    bool ranges = object->has_draw_ranges != 0;
    if (ranges && (object->flags & kRenderThreePairs) && names.page2)
        lightmap_bind_to_effect(object, r.lightmap_page2, names.page2);
    if (ranges && (object->flags & kRenderLightmap) && names.page1)
        lightmap_bind_to_effect(object, r.lightmap_page1, names.page1);
    bool second =
        (object->flags & (kRenderSecondPair | kRenderSecondTexture | kRenderSecondTextureB)) || (!ranges && !implicit);
    if (second && names.texture2) texture_bind_to_effect(object, r.texture2, names.texture2);
    if (names.texture1) {
        int32_t id = implicit ? context->bound_texture[0] : int32_t(r.texture1) + context->texture_id_offset;
        texture_bind_to_effect(object, id, names.texture1);
    }
}

void set_blend(IDirect3DDevice9 *device, bool on, DWORD source, DWORD destination)
{
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, on);
    if (!on) return;
    device->SetRenderState(D3DRS_SRCBLEND, source);
    device->SetRenderState(D3DRS_DESTBLEND, destination);
}

// The states a range may change, read before the draw and given back after it.
const D3DRENDERSTATETYPE kSavedStates[] = {D3DRS_ALPHABLENDENABLE, D3DRS_SRCBLEND,        D3DRS_DESTBLEND,
                                           D3DRS_ZWRITEENABLE,     D3DRS_STENCILENABLE,    D3DRS_STENCILFUNC,
                                           D3DRS_STENCILREF,       D3DRS_STENCILMASK,      D3DRS_STENCILWRITEMASK,
                                           D3DRS_STENCILPASS,      D3DRS_STENCILFAIL,      D3DRS_STENCILZFAIL,
                                           D3DRS_TWOSIDEDSTENCILMODE};
constexpr int kSaved = sizeof kSavedStates / sizeof kSavedStates[0];

// The stencil bit that marks the pixels a see-through range has blended; clear outside its draws.
constexpr DWORD kSeeThroughBit = 0x80;


// Stencil on the see-through bit alone: passing where `compare` holds, `pass` where it passed.
void set_see_through_stencil(IDirect3DDevice9 *device, DWORD compare, DWORD pass)
{
    device->SetRenderState(D3DRS_STENCILENABLE, TRUE);
    device->SetRenderState(D3DRS_TWOSIDEDSTENCILMODE, FALSE);
    device->SetRenderState(D3DRS_STENCILFUNC, compare);
    device->SetRenderState(D3DRS_STENCILREF, kSeeThroughBit);
    device->SetRenderState(D3DRS_STENCILMASK, kSeeThroughBit);
    device->SetRenderState(D3DRS_STENCILWRITEMASK, kSeeThroughBit);
    device->SetRenderState(D3DRS_STENCILPASS, pass);
    device->SetRenderState(D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP);
    device->SetRenderState(D3DRS_STENCILZFAIL, D3DSTENCILOP_KEEP);
}

void draw_ranges(RenderContext *context, RenderObject *object, ID3DXEffect *effect, UINT passes)
{
    IDirect3DDevice9 *device = context->device;
    BindingNames names = binding_names(context, object, effect);
    RenderDrawRange implicit_range = {};
    const ListNode<RenderDrawRange> *node = object->ranges.first;
    bool implicit = node == nullptr;
    if (implicit) {
        implicit_range.end_index = object->indices_in_use;
        implicit_range.vertex_end = object->vertices_in_use;
        implicit_range.lightmap_page1 = 0xFFFF;
    }
    for (const RenderDrawRange *r = implicit ? &implicit_range : &node->value; r;
         r = implicit ? nullptr : ((node = node->next) ? &node->value : nullptr)) {
        DrawWindow w;
        if (!window_of(object, *r, &w)) continue;
        // Face groups carry their third id as 16 bits; 0xFFFF is -1.
        int32_t third = object->has_draw_ranges ? int32_t(r->lightmap_page1) : int32_t(int16_t(r->lightmap_page1));
        if (context->draw_hooks &&
            !render_run_stage_callbacks(context->draw_hooks, object, r->texture1, r->texture2, third))
            continue;
        bind_range(context, object, names, *r, implicit);
        // Face groups carry material 0 and are drawn under mode 6's blending.
        if (object->has_draw_ranges) {
            uint16_t bits = r->material_bits;
            set_blend(device, bits == 1 || bits == 2, D3DBLEND_SRCALPHA,
                      bits == 2 ? D3DBLEND_ONE : D3DBLEND_INVSRCALPHA);
        }
        float fade[4] = {1.0f, 1.0f, 1.0f, 1.0f};
        DWORD stencil_on = FALSE, cull = D3DCULL_NONE;
        auto draw_passes = [&]() {
            effect->SetVector("FADE", fade);
            for (UINT pass = 0; pass < passes; pass++) {
                if (FAILED(effect->BeginPass(pass))) continue;
                effect->CommitChanges();
                device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, UINT(w.first_vertex), UINT(w.vertex_count),
                                             UINT(w.first_index), UINT(w.index_count / 3));
                effect->EndPass();
            }
        };
        if (r->second_draw) {
            // Drawn without culling, a see-through range would blend its far faces and its near
            // ones over each other, in index order, into stripes. The stencil lets each pixel take
            // one blend: the first surface there marks it, the others find it marked. No depth is
            // written, so what is drawn after it shows through it; a last draw, colour kept, takes
            // the marks away again. Every face is drawn, one winding after the other.
            device->GetRenderState(D3DRS_STENCILENABLE, &stencil_on);
            device->GetRenderState(D3DRS_CULLMODE, &cull);
            set_blend(device, true, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
            device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
            set_see_through_stencil(device, D3DCMP_NOTEQUAL, D3DSTENCILOP_REPLACE);
            fade[3] = 0.4f;
            // Blocks are wound inward, so the faces toward the eye are those that clockwise culling
            // keeps: they blend first, the others only where none of those lies.
            for (DWORD side : {DWORD(D3DCULL_CW), DWORD(D3DCULL_CCW)}) {
                device->SetRenderState(D3DRS_CULLMODE, side);
                draw_passes();
            }
            device->SetRenderState(D3DRS_CULLMODE, cull);
            set_blend(device, true, D3DBLEND_ZERO, D3DBLEND_ONE);
            set_see_through_stencil(device, D3DCMP_EQUAL, D3DSTENCILOP_ZERO);
        }
        draw_passes();
        if (r->second_draw) device->SetRenderState(D3DRS_STENCILENABLE, stencil_on);
        render_object_release_captured(object);
    }
    // The effect lets go of the textures too: a texture released later is not kept alive by it.
    for (const char *name : {names.texture1, names.texture2, names.page1, names.page2})
        if (name) effect->SetTexture(name, nullptr);
}

}  // namespace

void render_set_current_object(RenderContext *context, RenderObject *object) { context->current_object = object; }

void render_set_dynamic_object(RenderContext *context, RenderObject *object)
{
    context->dynamic_object = object ? object : &context->embedded_objects[0];
}

void render_draw_current_object(RenderContext *context)
{
    RenderObject *object = context->current_object;
    IDirect3DDevice9 *device = context->device;
    if (!object || !device || !object->vertex_buffer || !object->index_buffer || object->indices_in_use <= 0) return;
    if (object->format & kRenderFormatSkinned) {
        if (!g_logged_skinned) render_log_line("render_draw_current_object: skinned objects are not drawn");
        g_logged_skinned = true;
        return;
    }
    render_flush_2d_batch(context);
    ID3DXEffect *effect = context->effect_object ? context->effect_object
                          : object->effect       ? object->effect
                                                 : builtin_for_layout(context, object->format & 15);
    if (!effect) {
        if (!g_logged_no_effect) render_log_line("render_draw_current_object: an object has no effect to draw with");
        g_logged_no_effect = true;
        return;
    }
    DWORD saved_states[kSaved];
    for (int i = 0; i < kSaved; i++) device->GetRenderState(kSavedStates[i], &saved_states[i]);
    ID3DXEffect *saved_effect = object->effect;
    object->effect = effect;  // the binders and hooks reach the effect in use
    if (effect == context->effects[6] || effect == context->effects[7] || effect == context->effects[8])
        render_select_effect_techniques(context);

    UINT passes = 0;
    if (SUCCEEDED(effect->Begin(&passes, 0))) {
        render_effect_set_world_matrix(object);
        render_effect_set_viewproj_matrix(object);
        float world[16];
        device->GetTransform(D3DTS_WORLD, world);
        set_light_parameters(context, object, effect, world);
        set_view_parameters(context, effect, world);
        device->SetFVF(render_fvf_for_format(object->format));
        int32_t frame = object->stream0_frame;
        IDirect3DVertexBuffer9 *stream = frame >= 0 && frame < object->frame_count && object->frame_buffers
                                             ? object->frame_buffers[frame]
                                             : object->vertex_buffer;
        device->SetStreamSource(0, stream, 0, UINT(object->stride));
        device->SetIndices(object->index_buffer);
        draw_ranges(context, object, effect, passes);
        effect->End();
    }
    for (int i = 0; i < kSaved; i++) device->SetRenderState(kSavedStates[i], saved_states[i]);
    // The binders set stage 0 outside the effect's own save and restore.
    texture_bind(context, context->bound_texture[0]);
    object->effect = saved_effect;
}
