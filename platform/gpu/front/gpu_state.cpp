// The graphics front's states and draws: render, stage and sampler states, transforms, lights,
// bindings, vertex formats and declarations, and the checks every draw passes before the back end.
#include "platform/gpu/gpu.h"
#include "platform/gpu/gpu_effect_local.h"
#include "platform/gpu/gpu_local.h"

#include <cstdint>
#include <cstring>

namespace {

float *transform_slot(GpuState &s, D3DTRANSFORMSTATETYPE state)
{
    if (state == D3DTS_WORLD) return s.world;
    if (state == D3DTS_VIEW) return s.view;
    if (state == D3DTS_PROJECTION) return s.projection;
    if (state >= D3DTS_TEXTURE0 && state <= D3DTS_TEXTURE7) return s.texture_matrix[state - D3DTS_TEXTURE0];
    return nullptr;
}

void add_element(GpuVertexLayout *layout, uint16_t offset, D3DDECLTYPE type, D3DDECLUSAGE usage, int index)
{
    layout->elements[layout->count++] = GpuVertexElement{0, offset, uint8_t(type), uint8_t(usage), uint8_t(index)};
}

UINT decl_type_size(uint8_t type)
{
    switch (type) {
    case D3DDECLTYPE_FLOAT1:
    case D3DDECLTYPE_D3DCOLOR:
    case D3DDECLTYPE_UBYTE4:
        return 4;
    case D3DDECLTYPE_FLOAT2:
        return 8;
    case D3DDECLTYPE_FLOAT3:
        return 12;
    case D3DDECLTYPE_FLOAT4:
        return 16;
    default:
        return 0;
    }
}

bool valid_usage(uint8_t usage)
{
    switch (usage) {
    case D3DDECLUSAGE_POSITION:
    case D3DDECLUSAGE_BLENDWEIGHT:
    case D3DDECLUSAGE_BLENDINDICES:
    case D3DDECLUSAGE_NORMAL:
    case D3DDECLUSAGE_PSIZE:
    case D3DDECLUSAGE_TEXCOORD:
    case D3DDECLUSAGE_POSITIONT:
    case D3DDECLUSAGE_COLOR:
        return true;
    default:
        return false;
    }
}

// Vertices the primitives use; 0 for an unknown type.
UINT vertices_for(D3DPRIMITIVETYPE type, UINT count)
{
    switch (type) {
    case D3DPT_POINTLIST:
        return count;
    case D3DPT_LINELIST:
        return count * 2;
    case D3DPT_LINESTRIP:
        return count + 1;
    case D3DPT_TRIANGLELIST:
        return count * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
        return count + 2;
    default:
        return 0;
    }
}

// Every input the vertex program declares must come from the vertex layout.
bool inputs_supplied(const GpuProgram *program, const GpuVertexLayout &layout)
{
    if (!program) return true;
    for (const GpuInstruction &in : program->code) {
        if (in.op != GPU_OP_DCL || in.dest.file != GPU_REG_INPUT) continue;
        bool found = false;
        for (int i = 0; i < layout.count && !found; i++)
            found = layout.elements[i].usage == in.usage && layout.elements[i].usage_index == in.usage_index;
        if (!found) return false;
    }
    return true;
}

// The checks shared by all draws; fills the layout. D3D_OK with *skip set while the device is lost.
HRESULT prepare_draw(GpuDevice *d, D3DPRIMITIVETYPE type, UINT primitive_count, GpuDraw *draw, bool *skip)
{
    *skip = false;
    if (!d->in_scene || primitive_count == 0) return D3DERR_INVALIDCALL;
    UINT vertex_count = vertices_for(type, primitive_count);
    if (vertex_count == 0 || vertex_count < primitive_count) return D3DERR_INVALIDCALL;
    memset(draw, 0, sizeof *draw);
    draw->type = type;
    draw->primitive_count = primitive_count;
    draw->vertex_count = vertex_count;
    GpuState &s = *d->state;
    if (s.declaration) {
        draw->layout = s.declaration->layout;
    } else {
        UINT stride;
        if (s.fvf == 0 || !gpu_fvf_layout(s.fvf, &draw->layout, &stride)) return D3DERR_INVALIDCALL;
    }
    if (!inputs_supplied(s.vertex_program.get(), draw->layout)) return D3DERR_INVALIDCALL;
    if (d->cooperative != D3D_OK) {
        *skip = true;
        return D3D_OK;
    }
    for (GpuTexture *texture : s.textures)
        if (texture) gpu_texture_flush(texture);
    return D3D_OK;
}

// Vertices every stream the layout reads can supply from its offset; -1 when a stream is missing,
// locked, or too narrow for its elements.
int64_t layout_capacity(const GpuState &s, const GpuVertexLayout &layout)
{
    int64_t capacity = INT64_MAX;
    for (int k = 0; k < 2; k++) {
        bool used = false;
        for (int i = 0; i < layout.count; i++) {
            if (layout.elements[i].stream != k) continue;
            used = true;
            if (layout.elements[i].offset + decl_type_size(layout.elements[i].type) > s.stream_stride[k]) return -1;
        }
        if (!used) continue;
        const GpuVertexBuffer *buffer = s.stream[k];
        if (!buffer || buffer->data.lock_count > 0 || s.stream_offset[k] > buffer->data.length) return -1;
        int64_t n = (buffer->data.length - s.stream_offset[k]) / s.stream_stride[k];
        if (n < capacity) capacity = n;
    }
    return capacity;
}

}  // namespace

bool gpu_fvf_layout(DWORD fvf, GpuVertexLayout *layout, UINT *stride)
{
    const DWORD known = D3DFVF_POSITION_MASK | D3DFVF_NORMAL | D3DFVF_PSIZE | D3DFVF_DIFFUSE | D3DFVF_SPECULAR |
                        D3DFVF_TEXCOUNT_MASK | D3DFVF_LASTBETA_UBYTE4;
    if (fvf & ~known) return false;
    layout->count = 0;
    uint16_t at = 0;
    DWORD position = fvf & D3DFVF_POSITION_MASK;
    if (position == D3DFVF_XYZRHW) {
        if (fvf & D3DFVF_LASTBETA_UBYTE4) return false;
        add_element(layout, 0, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT, 0);
        at = 16;
    } else if (position == D3DFVF_XYZ) {
        if (fvf & D3DFVF_LASTBETA_UBYTE4) return false;
        add_element(layout, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0);
        at = 12;
    } else if (position >= D3DFVF_XYZB1 && position <= D3DFVF_XYZB5) {
        int betas = int(position - D3DFVF_XYZB1) / 2 + 1;
        int weights = (fvf & D3DFVF_LASTBETA_UBYTE4) ? betas - 1 : betas;
        if (weights > 4) return false;
        add_element(layout, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0);
        at = 12;
        if (weights > 0) {
            add_element(layout, at, D3DDECLTYPE(D3DDECLTYPE_FLOAT1 + weights - 1), D3DDECLUSAGE_BLENDWEIGHT, 0);
            at = uint16_t(at + 4 * weights);
        }
        if (fvf & D3DFVF_LASTBETA_UBYTE4) {
            add_element(layout, at, D3DDECLTYPE_UBYTE4, D3DDECLUSAGE_BLENDINDICES, 0);
            at = uint16_t(at + 4);
        }
    } else {
        return false;
    }
    if (fvf & D3DFVF_NORMAL) {
        add_element(layout, at, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0);
        at = uint16_t(at + 12);
    }
    if (fvf & D3DFVF_PSIZE) {
        add_element(layout, at, D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_PSIZE, 0);
        at = uint16_t(at + 4);
    }
    if (fvf & D3DFVF_DIFFUSE) {
        add_element(layout, at, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0);
        at = uint16_t(at + 4);
    }
    if (fvf & D3DFVF_SPECULAR) {
        add_element(layout, at, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1);
        at = uint16_t(at + 4);
    }
    int textures = int((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT);
    if (textures > 8) return false;
    for (int t = 0; t < textures; t++) {
        add_element(layout, at, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, t);
        at = uint16_t(at + 8);
    }
    *stride = at;
    return true;
}

// ---- states --------------------------------------------------------------------------------------

HRESULT IDirect3DDevice9::SetRenderState(D3DRENDERSTATETYPE state, DWORD value)
{
    if (unsigned(state) >= GPU_RENDER_STATES) return D3DERR_INVALIDCALL;
    gpu_device(this)->state->render[state] = value;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::GetRenderState(D3DRENDERSTATETYPE state, DWORD *value)
{
    if (unsigned(state) >= GPU_RENDER_STATES || !value) return D3DERR_INVALIDCALL;
    *value = gpu_device(this)->state->render[state];
    return D3D_OK;
}

HRESULT IDirect3DDevice9::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value)
{
    if (stage >= GPU_STAGES || type <= 0 || unsigned(type) >= GPU_STAGE_STATES) return D3DERR_INVALIDCALL;
    gpu_device(this)->state->stage[stage][type] = value;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD *value)
{
    if (stage >= GPU_STAGES || type <= 0 || unsigned(type) >= GPU_STAGE_STATES || !value) return D3DERR_INVALIDCALL;
    *value = gpu_device(this)->state->stage[stage][type];
    return D3D_OK;
}

HRESULT IDirect3DDevice9::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value)
{
    if (sampler >= GPU_SAMPLERS || type <= 0 || unsigned(type) >= GPU_SAMPLER_STATES) return D3DERR_INVALIDCALL;
    gpu_device(this)->state->sampler[sampler][type] = value;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD *value)
{
    if (sampler >= GPU_SAMPLERS || type <= 0 || unsigned(type) >= GPU_SAMPLER_STATES || !value)
        return D3DERR_INVALIDCALL;
    *value = gpu_device(this)->state->sampler[sampler][type];
    return D3D_OK;
}

HRESULT IDirect3DDevice9::SetTransform(D3DTRANSFORMSTATETYPE state, const float *matrix)
{
    float *slot = transform_slot(*gpu_device(this)->state, state);
    if (!slot || !matrix) return D3DERR_INVALIDCALL;
    memcpy(slot, matrix, 16 * sizeof(float));
    return D3D_OK;
}

HRESULT IDirect3DDevice9::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX *matrix)
{
    return SetTransform(state, matrix ? &matrix->m[0][0] : nullptr);
}

HRESULT IDirect3DDevice9::GetTransform(D3DTRANSFORMSTATETYPE state, float *matrix)
{
    const float *slot = transform_slot(*gpu_device(this)->state, state);
    if (!slot || !matrix) return D3DERR_INVALIDCALL;
    memcpy(matrix, slot, 16 * sizeof(float));
    return D3D_OK;
}

HRESULT IDirect3DDevice9::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX *matrix)
{
    return GetTransform(state, matrix ? &matrix->m[0][0] : nullptr);
}

HRESULT IDirect3DDevice9::SetLight(DWORD index, const D3DLIGHT9 *light)
{
    if (index >= GPU_LIGHTS || !light || light->Type < D3DLIGHT_POINT || light->Type > D3DLIGHT_DIRECTIONAL)
        return D3DERR_INVALIDCALL;
    GpuState &s = *gpu_device(this)->state;
    s.lights[index] = *light;
    s.light_set[index] = true;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::GetLight(DWORD index, D3DLIGHT9 *light)
{
    GpuState &s = *gpu_device(this)->state;
    if (index >= GPU_LIGHTS || !light || !s.light_set[index]) return D3DERR_INVALIDCALL;
    *light = s.lights[index];
    return D3D_OK;
}

HRESULT IDirect3DDevice9::LightEnable(DWORD index, BOOL enable)
{
    if (index >= GPU_LIGHTS) return D3DERR_INVALIDCALL;
    GpuState &s = *gpu_device(this)->state;
    if (!s.light_set[index]) {
        D3DLIGHT9 light = {};
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse = D3DCOLORVALUE{1, 1, 1, 0};
        light.Direction = D3DVECTOR{0, 0, 1};
        s.lights[index] = light;
        s.light_set[index] = true;
    }
    s.light_enabled[index] = enable != FALSE;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::GetLightEnable(DWORD index, BOOL *enable)
{
    GpuState &s = *gpu_device(this)->state;
    if (index >= GPU_LIGHTS || !enable || !s.light_set[index]) return D3DERR_INVALIDCALL;
    *enable = s.light_enabled[index] ? TRUE : FALSE;
    return D3D_OK;
}

// ---- bindings ------------------------------------------------------------------------------------

HRESULT IDirect3DDevice9::SetTexture(DWORD stage, IDirect3DBaseTexture9 *texture)
{
    GpuDevice *d = gpu_device(this);
    GpuTexture *t = texture ? gpu_texture(texture) : nullptr;
    if (stage >= GPU_SAMPLERS || (t && t->device != d)) return D3DERR_INVALIDCALL;
    GpuTexture *&slot = d->state->textures[stage];
    if (t) t->AddRef();
    if (slot) slot->Release();
    slot = t;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::GetTexture(DWORD stage, IDirect3DBaseTexture9 **texture)
{
    if (stage >= GPU_SAMPLERS || !texture) return D3DERR_INVALIDCALL;
    GpuTexture *t = gpu_device(this)->state->textures[stage];
    if (t) t->AddRef();
    *texture = t;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::SetFVF(DWORD fvf)
{
    GpuState &s = *gpu_device(this)->state;
    GpuVertexLayout layout;
    UINT stride;
    if (fvf != 0 && !gpu_fvf_layout(fvf, &layout, &stride)) return D3DERR_INVALIDCALL;
    if (s.declaration) s.declaration->Release();
    s.declaration = nullptr;
    s.fvf = fvf;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::GetFVF(DWORD *fvf)
{
    if (!fvf) return D3DERR_INVALIDCALL;
    *fvf = gpu_device(this)->state->fvf;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::CreateVertexDeclaration(const D3DVERTEXELEMENT9 *elements,
                                                  IDirect3DVertexDeclaration9 **declaration)
{
    if (!elements || !declaration) return D3DERR_INVALIDCALL;
    *declaration = nullptr;
    GpuVertexLayout layout = {};
    for (int i = 0; elements[i].Stream != 0xFF; i++) {
        const D3DVERTEXELEMENT9 &e = elements[i];
        if (i >= 16 || e.Stream > 1 || decl_type_size(e.Type) == 0 || e.Method != D3DDECLMETHOD_DEFAULT ||
            !valid_usage(e.Usage) || e.UsageIndex > 15)
            return D3DERR_INVALIDCALL;
        for (int j = 0; j < layout.count; j++)
            if (layout.elements[j].usage == e.Usage && layout.elements[j].usage_index == e.UsageIndex)
                return D3DERR_INVALIDCALL;
        layout.elements[layout.count++] = GpuVertexElement{uint8_t(e.Stream), e.Offset, e.Type, e.Usage, e.UsageIndex};
    }
    if (layout.count == 0) return D3DERR_INVALIDCALL;
    GpuDevice *d = gpu_device(this);
    GpuDeclaration *decl = new GpuDeclaration;
    decl->device = d;
    decl->layout = layout;
    gpu_device_object_added(d, false);
    *declaration = decl;
    return D3D_OK;
}

void GpuDeclaration::release_last()
{
    GpuDevice *d = device;
    delete this;
    gpu_device_object_removed(d, false);
}

HRESULT IDirect3DDevice9::SetVertexDeclaration(IDirect3DVertexDeclaration9 *declaration)
{
    GpuDevice *d = gpu_device(this);
    GpuDeclaration *decl = static_cast<GpuDeclaration *>(declaration);
    if (decl && decl->device != d) return D3DERR_INVALIDCALL;
    GpuState &s = *d->state;
    if (decl) decl->AddRef();
    if (s.declaration) s.declaration->Release();
    s.declaration = decl;
    s.fvf = 0;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::SetStreamSource(UINT stream, IDirect3DVertexBuffer9 *buffer, UINT offset, UINT stride)
{
    GpuDevice *d = gpu_device(this);
    GpuVertexBuffer *b = static_cast<GpuVertexBuffer *>(buffer);
    if (stream > 1 || (b && b->data.device != d)) return D3DERR_INVALIDCALL;
    GpuState &s = *d->state;
    if (b) b->AddRef();
    if (s.stream[stream]) s.stream[stream]->Release();
    s.stream[stream] = b;
    s.stream_offset[stream] = offset;
    s.stream_stride[stream] = stride;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::SetIndices(IDirect3DIndexBuffer9 *buffer)
{
    GpuDevice *d = gpu_device(this);
    GpuIndexBuffer *b = static_cast<GpuIndexBuffer *>(buffer);
    if (b && b->data.device != d) return D3DERR_INVALIDCALL;
    GpuState &s = *d->state;
    if (b) b->AddRef();
    if (s.indices) s.indices->Release();
    s.indices = b;
    return D3D_OK;
}

void gpu_device_set_vertex_program(GpuDevice *device, const GpuProgramRef &program)
{
    device->state->vertex_program = program;
}

void gpu_device_set_pixel_program(GpuDevice *device, const GpuProgramRef &program)
{
    device->state->pixel_program = program;
}

void gpu_device_set_vs_constants(GpuDevice *device, UINT start, const float *values, UINT count)
{
    if (start >= GPU_VS_CONSTANTS) return;
    if (count > GPU_VS_CONSTANTS - start) count = GPU_VS_CONSTANTS - start;
    memcpy(device->state->vs_constants[start], values, count * 4 * sizeof(float));
}

// ---- draws ---------------------------------------------------------------------------------------

HRESULT IDirect3DDevice9::DrawPrimitive(D3DPRIMITIVETYPE type, UINT start_vertex, UINT primitive_count)
{
    GpuDevice *d = gpu_device(this);
    GpuDraw draw;
    bool skip;
    HRESULT hr = prepare_draw(d, type, primitive_count, &draw, &skip);
    if (FAILED(hr) || skip) return hr;
    int64_t capacity = layout_capacity(*d->state, draw.layout);
    if (capacity < 0 || int64_t(start_vertex) + draw.vertex_count > capacity) return D3DERR_INVALIDCALL;
    draw.start = start_vertex;
    d->backend->draw(d, draw);
    return D3D_OK;
}

HRESULT IDirect3DDevice9::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT base_vertex, UINT min_index,
                                               UINT vertex_count, UINT start_index, UINT primitive_count)
{
    GpuDevice *d = gpu_device(this);
    if (vertex_count == 0) return D3DERR_INVALIDCALL;
    GpuDraw draw;
    bool skip;
    HRESULT hr = prepare_draw(d, type, primitive_count, &draw, &skip);
    if (FAILED(hr) || skip) return hr;
    const GpuState &s = *d->state;
    const GpuIndexBuffer *ib = s.indices;
    if (!ib || ib->data.lock_count > 0) return D3DERR_INVALIDCALL;
    UINT size = ib->data.format == D3DFMT_INDEX32 ? 4 : 2;
    if ((uint64_t(start_index) + draw.vertex_count) * size > ib->data.length) return D3DERR_INVALIDCALL;
    int64_t capacity = layout_capacity(s, draw.layout);
    int64_t first = int64_t(base_vertex) + min_index;
    if (first < 0 || first + vertex_count > capacity) return D3DERR_INVALIDCALL;
    // Every index must name a vertex the streams hold, so that no draw reads past a buffer.
    const uint8_t *at = ib->data.memory.data() + size_t(start_index) * size;
    for (UINT i = 0; i < draw.vertex_count; i++) {
        uint32_t index;
        if (size == 4) {
            memcpy(&index, at + size_t(i) * 4, 4);
        } else {
            uint16_t small;
            memcpy(&small, at + size_t(i) * 2, 2);
            index = small;
        }
        int64_t vertex = int64_t(base_vertex) + index;
        if (vertex < 0 || vertex >= capacity) return D3DERR_INVALIDCALL;
    }
    draw.indexed = true;
    draw.start = start_index;
    draw.base_vertex = base_vertex;
    d->backend->draw(d, draw);
    return D3D_OK;
}

HRESULT IDirect3DDevice9::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitive_count, const void *vertices,
                                          UINT stride)
{
    GpuDevice *d = gpu_device(this);
    if (!vertices || stride == 0) return D3DERR_INVALIDCALL;
    GpuDraw draw;
    bool skip;
    HRESULT hr = prepare_draw(d, type, primitive_count, &draw, &skip);
    if (FAILED(hr)) return hr;
    for (int i = 0; i < draw.layout.count; i++)
        if (draw.layout.elements[i].stream != 0 ||
            draw.layout.elements[i].offset + decl_type_size(draw.layout.elements[i].type) > stride)
            return D3DERR_INVALIDCALL;
    if (!skip) {
        draw.user_vertices = vertices;
        draw.user_stride = stride;
        d->backend->draw(d, draw);
    }
    // As on the platform, a draw from memory leaves stream 0 unbound.
    SetStreamSource(0, nullptr, 0, 0);
    return D3D_OK;
}
