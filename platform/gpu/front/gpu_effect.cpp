// The effect runtime: D3DXCreateEffect, the message buffer, handles, parameter values, technique
// choice and validation, and the passes that put their states, textures, constants and shader
// programs on the device, with the states saved at Begin and put back at End.
#include "platform/gpu/gpu_effect.h"
#include "platform/gpu/gpu_effect_local.h"

#include <array>
#include <cstring>
#include <string>

namespace {

struct GpuTextBuffer : ID3DXBuffer {
    std::vector<char> bytes;
};

struct ParameterValue {
    float values[16];
    DWORD dword;
    GpuTexture *texture;  // held
};

// What Begin saved, so that End can put it back.
struct SavedStates {
    struct State {
        GpuAssignKind kind;
        DWORD index, state, value;
    };
    std::vector<State> states;
    std::vector<std::pair<DWORD, GpuTexture *>> textures;  // held
    std::vector<std::pair<DWORD, std::array<float, 4>>> constants;
    bool vertex_saved, pixel_saved;
    GpuProgramRef vertex, pixel;
};

struct GpuEffect : ID3DXEffect {
    GpuDevice *device;
    GpuEffectDesc desc;
    std::vector<ParameterValue> values;
    int technique;
    bool begun;
    int pass;
    bool lost;
    SavedStates saved;
    void release_last() override;
};

GpuEffect *effect(ID3DXEffect *e) { return static_cast<GpuEffect *>(e); }

// A handle the effect gave out (a pointer to the name it keeps), else a name.
int find_technique(const GpuEffect *e, D3DXHANDLE handle)
{
    if (!handle) return -1;
    for (size_t i = 0; i < e->desc.techniques.size(); i++)
        if (handle == e->desc.techniques[i].name.c_str()) return int(i);
    for (size_t i = 0; i < e->desc.techniques.size(); i++)
        if (strcmp(handle, e->desc.techniques[i].name.c_str()) == 0) return int(i);
    return -1;
}

int find_parameter(const GpuEffect *e, D3DXHANDLE handle)
{
    if (!handle) return -1;
    for (size_t i = 0; i < e->desc.parameters.size(); i++)
        if (handle == e->desc.parameters[i].name.c_str()) return int(i);
    for (size_t i = 0; i < e->desc.parameters.size(); i++)
        if (strcmp(handle, e->desc.parameters[i].name.c_str()) == 0) return int(i);
    return -1;
}

D3DXHANDLE technique_handle(const GpuEffect *e, int t) { return e->desc.techniques[size_t(t)].name.c_str(); }

void set_texture(GpuTexture *&slot, GpuTexture *texture)
{
    if (texture) texture->AddRef();
    if (slot) slot->Release();
    slot = texture;
}

void apply_constants(GpuEffect *e, const GpuAssignment &a)
{
    float rows[16] = {};
    if (a.parameter < 0) {
        memcpy(rows, a.constants, sizeof rows);
    } else {
        const ParameterValue &v = e->values[size_t(a.parameter)];
        switch (e->desc.parameters[size_t(a.parameter)].type) {
        case GPU_PARAM_MATRIX:
            // Transposed: register i holds column i, so that m4x4 gives the row vector times the matrix.
            for (int i = 0; i < 4; i++)
                for (int j = 0; j < 4; j++) rows[i * 4 + j] = v.values[j * 4 + i];
            break;
        case GPU_PARAM_VECTOR:
            memcpy(rows, v.values, 4 * sizeof(float));
            break;
        default:
            rows[0] = float(v.dword);
            break;
        }
    }
    gpu_device_set_vs_constants(e->device, a.index, rows, UINT(a.registers));
}

void apply(GpuEffect *e, const GpuAssignment &a)
{
    IDirect3DDevice9 *d = e->device;
    switch (a.kind) {
    case GPU_ASSIGN_RENDER:
        d->SetRenderState(D3DRENDERSTATETYPE(a.state), a.value);
        break;
    case GPU_ASSIGN_STAGE:
        d->SetTextureStageState(a.index, D3DTEXTURESTAGESTATETYPE(a.state), a.value);
        break;
    case GPU_ASSIGN_SAMPLER:
        d->SetSamplerState(a.index, D3DSAMPLERSTATETYPE(a.state), a.value);
        break;
    case GPU_ASSIGN_TEXTURE:
        d->SetTexture(a.index, e->values[size_t(a.parameter)].texture);
        break;
    case GPU_ASSIGN_VS_CONSTANT:
        apply_constants(e, a);
        break;
    case GPU_ASSIGN_VERTEX_SHADER:
        gpu_device_set_vertex_program(e->device, a.program >= 0 ? e->desc.programs[size_t(a.program)] : nullptr);
        break;
    case GPU_ASSIGN_PIXEL_SHADER:
        gpu_device_set_pixel_program(e->device, a.program >= 0 ? e->desc.programs[size_t(a.program)] : nullptr);
        break;
    }
}

bool already_saved(const SavedStates &s, const GpuAssignment &a)
{
    for (const SavedStates::State &state : s.states)
        if (state.kind == a.kind && state.index == a.index && state.state == a.state) return true;
    return false;
}

void save_states(GpuEffect *e, DWORD flags)
{
    SavedStates &s = e->saved;
    GpuState &device = *e->device->state;
    bool shaders = !(flags & D3DXFX_DONOTSAVESHADERSTATE), samplers = !(flags & D3DXFX_DONOTSAVESAMPLERSTATE);
    for (const GpuEffectPass &pass : e->desc.techniques[size_t(e->technique)].passes) {
        for (const GpuAssignment &a : pass.assignments) {
            switch (a.kind) {
            case GPU_ASSIGN_RENDER:
                if (!already_saved(s, a)) s.states.push_back({a.kind, a.index, a.state, device.render[a.state]});
                break;
            case GPU_ASSIGN_STAGE:
                if (!already_saved(s, a))
                    s.states.push_back({a.kind, a.index, a.state, device.stage[a.index][a.state]});
                break;
            case GPU_ASSIGN_SAMPLER:
                if (samplers && !already_saved(s, a))
                    s.states.push_back({a.kind, a.index, a.state, device.sampler[a.index][a.state]});
                break;
            case GPU_ASSIGN_TEXTURE:
                if (!samplers) break;
                s.textures.emplace_back(a.index, device.textures[a.index]);
                if (device.textures[a.index]) device.textures[a.index]->AddRef();
                break;
            case GPU_ASSIGN_VS_CONSTANT:
                for (DWORD r = a.index; shaders && r < a.index + DWORD(a.registers); r++) {
                    std::array<float, 4> row;
                    memcpy(row.data(), device.vs_constants[r], sizeof(float) * 4);
                    s.constants.emplace_back(r, row);
                }
                break;
            case GPU_ASSIGN_VERTEX_SHADER:
                if (shaders && !s.vertex_saved) s.vertex = device.vertex_program;
                s.vertex_saved |= shaders;
                break;
            case GPU_ASSIGN_PIXEL_SHADER:
                if (shaders && !s.pixel_saved) s.pixel = device.pixel_program;
                s.pixel_saved |= shaders;
                break;
            }
        }
    }
}

// Emptied, not replaced: the lists keep their room for the Begin of the next frame.
void clear_saved(SavedStates *s)
{
    s->states.clear();
    s->textures.clear();
    s->constants.clear();
    s->vertex_saved = s->pixel_saved = false;
    s->vertex = GpuProgramRef{};
    s->pixel = GpuProgramRef{};
}

// Puts back what Begin saved, the later entries first so that the oldest values win.
void restore_states(GpuEffect *e)
{
    SavedStates &s = e->saved;
    IDirect3DDevice9 *d = e->device;
    for (const SavedStates::State &state : s.states) {
        if (state.kind == GPU_ASSIGN_RENDER) d->SetRenderState(D3DRENDERSTATETYPE(state.state), state.value);
        if (state.kind == GPU_ASSIGN_STAGE)
            d->SetTextureStageState(state.index, D3DTEXTURESTAGESTATETYPE(state.state), state.value);
        if (state.kind == GPU_ASSIGN_SAMPLER)
            d->SetSamplerState(state.index, D3DSAMPLERSTATETYPE(state.state), state.value);
    }
    for (auto it = s.textures.rbegin(); it != s.textures.rend(); ++it) {
        d->SetTexture(it->first, it->second);
        if (it->second) it->second->Release();
    }
    for (auto it = s.constants.rbegin(); it != s.constants.rend(); ++it)
        gpu_device_set_vs_constants(e->device, it->first, it->second.data(), 1);
    if (s.vertex_saved) gpu_device_set_vertex_program(e->device, s.vertex);
    if (s.pixel_saved) gpu_device_set_pixel_program(e->device, s.pixel);
    clear_saved(&s);
}

ID3DXBuffer *make_messages(const GpuParseError &error)
{
    std::string text = "effect(" + std::to_string(error.line) + "," + std::to_string(error.column) +
                       "): error: " + error.message + "\n";
    GpuTextBuffer *buffer = new GpuTextBuffer;
    buffer->bytes.assign(text.begin(), text.end());
    buffer->bytes.push_back('\0');
    return buffer;
}

}  // namespace

GpuProgram::~GpuProgram()
{
    if (device) device->backend->program_destroy(device, this);
}

// ---- creation ------------------------------------------------------------------------------------

HRESULT D3DXCreateEffect(IDirect3DDevice9 *device, const void *text, UINT length, const D3DXMACRO *defines,
                         ID3DXInclude *include, DWORD, ID3DXEffectPool *pool, ID3DXEffect **out,
                         ID3DXBuffer **errors)
{
    if (errors) *errors = nullptr;
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (!device || !text || (defines && defines[0].Name) || include || pool) return D3DERR_INVALIDCALL;
    GpuDevice *d = gpu_device(device);
    GpuEffectDesc desc;
    GpuParseError error = {1, 1, {}};
    bool ok = gpu_effect_parse(static_cast<const char *>(text), length, &desc, &error);
    for (size_t i = 0; ok && i < desc.programs.size(); i++) {
        GpuProgram &program = *desc.programs[i];
        ok = d->backend->program_create(d, &program);
        if (ok) program.device = d;
        else error = GpuParseError{program.line, 1, "the device cannot run this shader"};
    }
    if (!ok) {
        if (errors) *errors = make_messages(error);
        return D3DXERR_INVALIDDATA;
    }
    GpuEffect *e = new GpuEffect;
    e->device = d;
    e->desc = std::move(desc);
    e->values.assign(e->desc.parameters.size(), ParameterValue{});
    e->technique = e->desc.techniques.empty() ? -1 : 0;
    e->begun = false;
    e->pass = -1;
    e->lost = false;
    gpu_device_object_added(d, true);
    *out = e;
    return D3D_OK;
}

void GpuEffect::release_last()
{
    GpuDevice *d = device;
    bool default_pool = !lost;
    if (begun) restore_states(this);
    for (ParameterValue &v : values) set_texture(v.texture, nullptr);
    delete this;
    gpu_device_object_removed(d, default_pool);
}

void *ID3DXBuffer::GetBufferPointer() { return static_cast<GpuTextBuffer *>(this)->bytes.data(); }

DWORD ID3DXBuffer::GetBufferSize() { return DWORD(static_cast<GpuTextBuffer *>(this)->bytes.size()); }

// ---- handles and techniques ----------------------------------------------------------------------

D3DXHANDLE ID3DXEffect::GetTechniqueByName(const char *name)
{
    GpuEffect *e = effect(this);
    if (!name) return nullptr;
    for (size_t i = 0; i < e->desc.techniques.size(); i++)
        if (e->desc.techniques[i].name == name) return technique_handle(e, int(i));
    return nullptr;
}

D3DXHANDLE ID3DXEffect::GetParameterByName(D3DXHANDLE parent, const char *name)
{
    GpuEffect *e = effect(this);
    if (parent || !name) return nullptr;
    for (const GpuEffectParameter &p : e->desc.parameters)
        if (p.name == name) return p.name.c_str();
    return nullptr;
}

HRESULT ID3DXEffect::SetTechnique(D3DXHANDLE technique)
{
    GpuEffect *e = effect(this);
    int t = find_technique(e, technique);
    if (t < 0 || e->begun) return D3DERR_INVALIDCALL;
    e->technique = t;
    return D3D_OK;
}

D3DXHANDLE ID3DXEffect::GetCurrentTechnique()
{
    GpuEffect *e = effect(this);
    return e->technique >= 0 ? technique_handle(e, e->technique) : nullptr;
}

HRESULT ID3DXEffect::FindNextValidTechnique(D3DXHANDLE after, D3DXHANDLE *next)
{
    GpuEffect *e = effect(this);
    if (!next) return D3DERR_INVALIDCALL;
    *next = nullptr;
    int start = 0;
    if (after) {
        start = find_technique(e, after) + 1;
        if (start == 0) return D3DERR_INVALIDCALL;
    }
    D3DCAPS9 caps;
    e->device->backend->get_caps(&caps);
    for (int t = start; t < int(e->desc.techniques.size()); t++) {
        if (gpu_effect_technique_valid(e->desc, t, caps)) {
            *next = technique_handle(e, t);
            return D3D_OK;
        }
    }
    return E_FAIL;
}

// ---- parameter values ----------------------------------------------------------------------------

HRESULT ID3DXEffect::SetMatrix(D3DXHANDLE parameter, const float *matrix)
{
    GpuEffect *e = effect(this);
    int p = find_parameter(e, parameter);
    if (p < 0 || !matrix || e->desc.parameters[size_t(p)].type != GPU_PARAM_MATRIX) return D3DERR_INVALIDCALL;
    memcpy(e->values[size_t(p)].values, matrix, 16 * sizeof(float));
    return D3D_OK;
}

HRESULT ID3DXEffect::SetMatrix(D3DXHANDLE parameter, const D3DXMATRIX *matrix)
{
    return SetMatrix(parameter, matrix ? &matrix->m[0][0] : nullptr);
}

HRESULT ID3DXEffect::SetVector(D3DXHANDLE parameter, const float *vector)
{
    GpuEffect *e = effect(this);
    int p = find_parameter(e, parameter);
    if (p < 0 || !vector || e->desc.parameters[size_t(p)].type != GPU_PARAM_VECTOR) return D3DERR_INVALIDCALL;
    memcpy(e->values[size_t(p)].values, vector, 4 * sizeof(float));
    return D3D_OK;
}

HRESULT ID3DXEffect::SetVector(D3DXHANDLE parameter, const D3DXVECTOR4 *vector)
{
    if (!vector) return D3DERR_INVALIDCALL;
    const float values[4] = {vector->x, vector->y, vector->z, vector->w};
    return SetVector(parameter, values);
}

HRESULT ID3DXEffect::SetTexture(D3DXHANDLE parameter, IDirect3DBaseTexture9 *texture)
{
    GpuEffect *e = effect(this);
    int p = find_parameter(e, parameter);
    GpuTexture *t = texture ? gpu_texture(texture) : nullptr;
    if (p < 0 || e->desc.parameters[size_t(p)].type != GPU_PARAM_TEXTURE || (t && t->device != e->device))
        return D3DERR_INVALIDCALL;
    set_texture(e->values[size_t(p)].texture, t);
    return D3D_OK;
}

// ---- passes --------------------------------------------------------------------------------------

HRESULT ID3DXEffect::Begin(UINT *passes, DWORD flags)
{
    GpuEffect *e = effect(this);
    if (e->technique < 0 || e->begun || e->lost) return D3DERR_INVALIDCALL;
    if (passes) *passes = UINT(e->desc.techniques[size_t(e->technique)].passes.size());
    clear_saved(&e->saved);
    if (!(flags & D3DXFX_DONOTSAVESTATE)) save_states(e, flags);
    e->begun = true;
    e->pass = -1;
    return D3D_OK;
}

HRESULT ID3DXEffect::BeginPass(UINT pass)
{
    GpuEffect *e = effect(this);
    if (!e->begun || e->pass >= 0) return D3DERR_INVALIDCALL;
    const GpuEffectTechnique &t = e->desc.techniques[size_t(e->technique)];
    if (pass >= t.passes.size()) return D3DERR_INVALIDCALL;
    for (const GpuAssignment &a : t.passes[pass].assignments) apply(e, a);
    e->pass = int(pass);
    return D3D_OK;
}

HRESULT ID3DXEffect::CommitChanges()
{
    GpuEffect *e = effect(this);
    if (!e->begun || e->pass < 0) return D3DERR_INVALIDCALL;
    const GpuEffectPass &pass = e->desc.techniques[size_t(e->technique)].passes[size_t(e->pass)];
    for (const GpuAssignment &a : pass.assignments)
        if (a.parameter >= 0) apply(e, a);
    return D3D_OK;
}

HRESULT ID3DXEffect::EndPass()
{
    GpuEffect *e = effect(this);
    if (!e->begun || e->pass < 0) return D3DERR_INVALIDCALL;
    e->pass = -1;
    return D3D_OK;
}

HRESULT ID3DXEffect::End()
{
    GpuEffect *e = effect(this);
    if (!e->begun) return D3DERR_INVALIDCALL;
    restore_states(e);
    e->begun = false;
    e->pass = -1;
    return D3D_OK;
}

HRESULT ID3DXEffect::OnLostDevice()
{
    GpuEffect *e = effect(this);
    if (!e->lost) e->device->default_pool--;
    e->lost = true;
    return D3D_OK;
}

HRESULT ID3DXEffect::OnResetDevice()
{
    GpuEffect *e = effect(this);
    if (e->lost) e->device->default_pool++;
    e->lost = false;
    return D3D_OK;
}
