// The effect stand-in: D3DXCreateEffect reads effect text in shader assembler form (parameters,
// techniques, passes with their states, constant bindings, vs.1.1 / vs.2.x and ps.1.4 / ps.2.x
// programs) and gives an effect object that applies its passes to the device. HLSL is refused.
#pragma once

#include "platform/gpu/gpu.h"

// A parameter or technique: the handle the effect gave out, or the name as a string.
typedef const char *D3DXHANDLE;
typedef D3DMATRIX D3DXMATRIX;

struct D3DXVECTOR4 {
    float x, y, z, w;
};

struct D3DXMACRO {
    const char *Name;
    const char *Definition;
};
struct ID3DXInclude;
struct ID3DXEffectPool;

#define D3DXSHADER_PREFER_FLOW_CONTROL 0x400
#define D3DXFX_DONOTSAVESTATE 0x1
#define D3DXFX_DONOTSAVESHADERSTATE 0x2
#define D3DXFX_DONOTSAVESAMPLERSTATE 0x4

// Text of compile messages: NUL-terminated, the NUL counted in the size.
struct ID3DXBuffer : GpuObject {
    void *GetBufferPointer();
    DWORD GetBufferSize();
};

struct ID3DXEffect : GpuObject {
    // Null when the effect has no technique of that name.
    D3DXHANDLE GetTechniqueByName(const char *name);
    D3DXHANDLE GetParameterByName(D3DXHANDLE parent, const char *name);
    // A null or unknown handle fails and keeps the technique that was set.
    HRESULT SetTechnique(D3DXHANDLE technique);
    D3DXHANDLE GetCurrentTechnique();
    // The first technique after `after` (from the first when null) whose shaders and states the
    // device's caps allow; fails with *next null when there is none.
    HRESULT FindNextValidTechnique(D3DXHANDLE after, D3DXHANDLE *next);

    // Values reach the device when a pass begins or changes are committed. A matrix bound to
    // shader constants is written transposed, so that m4x4 computes the row vector times it.
    HRESULT SetMatrix(D3DXHANDLE parameter, const D3DXMATRIX *matrix);
    HRESULT SetMatrix(D3DXHANDLE parameter, const float *matrix);
    HRESULT SetVector(D3DXHANDLE parameter, const D3DXVECTOR4 *vector);
    HRESULT SetVector(D3DXHANDLE parameter, const float *vector);
    // The effect holds a reference to the texture until another is set or it is released.
    HRESULT SetTexture(D3DXHANDLE parameter, IDirect3DBaseTexture9 *texture);

    // Begin gives the technique's pass count and, unless flags say otherwise, saves the device
    // states the technique sets; End puts them back.
    HRESULT Begin(UINT *passes, DWORD flags);
    HRESULT BeginPass(UINT pass);
    HRESULT CommitChanges();
    HRESULT EndPass();
    HRESULT End();

    // Before the device's Reset, and after it. Between the two the effect cannot begin.
    HRESULT OnLostDevice();
    HRESULT OnResetDevice();
};

// Makes an effect from `length` bytes of effect text. Defines, include handler and pool must be
// null. On failure the effect is null and `errors` (when given) receives lines of the form
// "effect(LINE,COLUMN): error: message", LINE counted from 1.
HRESULT D3DXCreateEffect(IDirect3DDevice9 *device, const void *text, UINT length, const D3DXMACRO *defines,
                         ID3DXInclude *include, DWORD flags, ID3DXEffectPool *pool, ID3DXEffect **effect,
                         ID3DXBuffer **errors);
