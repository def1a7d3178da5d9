// The graphics stand-in: a Direct3D 9 shaped device, its buffers, textures and back buffer. Objects
// are reference counted (AddRef / Release) and made only by the device; their calls return D3D_OK
// or a failing HRESULT. The back end is chosen when the first device is made: headless in headless
// mode (platform/gpu/headless/gpu_headless.h), else the real one.
#pragma once

#include "platform/gpu/gpu_types.h"

// Every object: non-copyable, made and freed only by the stand-in.
struct GpuObject {
    ULONG AddRef();
    // Drops one reference; the object goes when none is left. Returns the references left.
    ULONG Release();

protected:
    GpuObject() = default;
    virtual ~GpuObject() = default;
    GpuObject(const GpuObject &) = delete;
    GpuObject &operator=(const GpuObject &) = delete;
    // Runs when the last reference goes.
    virtual void release_last();

    ULONG refs_ = 1;
};

struct IDirect3DBaseTexture9 : GpuObject {
    DWORD GetLevelCount();
};

struct IDirect3DTexture9 : IDirect3DBaseTexture9 {
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC *desc);
    // Locks a level, whole (rect null) or a rectangle of it (right and bottom exclusive). Rows are
    // `Pitch` bytes apart, which may be more than width x bytes per pixel. A managed texture marks
    // what was locked for upload unless the flags hold NO_DIRTY_UPDATE or READONLY.
    HRESULT LockRect(UINT level, D3DLOCKED_RECT *locked, const RECT *rect, DWORD flags);
    HRESULT UnlockRect(UINT level);
    // Marks a rectangle of level 0 (and the matching texels of the other levels) for upload; null
    // marks the whole texture.
    HRESULT AddDirtyRect(const RECT *rect);
};

// The back buffer; it can be locked for reading when the device was made with
// D3DPRESENTFLAG_LOCKABLE_BACKBUFFER. Rows are X8R8G8B8, top to bottom.
struct IDirect3DSurface9 : GpuObject {
    HRESULT GetDesc(D3DSURFACE_DESC *desc);
    HRESULT LockRect(D3DLOCKED_RECT *locked, const RECT *rect, DWORD flags);
    HRESULT UnlockRect();
};

// Vertex and index buffers. Lock(0, 0, ...) locks the whole buffer; DISCARD (dynamic buffers
// only) gives memory whose contents are undefined, 0 keeps them.
struct IDirect3DVertexBuffer9 : GpuObject {
    HRESULT Lock(UINT offset, UINT size, void **data, DWORD flags);
    HRESULT Unlock();
};

struct IDirect3DIndexBuffer9 : GpuObject {
    HRESULT Lock(UINT offset, UINT size, void **data, DWORD flags);
    HRESULT Unlock();
};

struct IDirect3DVertexDeclaration9 : GpuObject {};

// The device. Default-pool buffers and textures, a held back-buffer surface and effects not told
// OnLostDevice must all be released before Reset succeeds; managed resources survive it. Reset
// brings every state back to its default.
struct IDirect3DDevice9 : GpuObject {
    // D3D_OK, D3DERR_DEVICELOST (not yet resettable) or D3DERR_DEVICENOTRESET.
    HRESULT TestCooperativeLevel();
    HRESULT GetDeviceCaps(D3DCAPS9 *caps);
    HRESULT Reset(D3DPRESENT_PARAMETERS *parameters);
    HRESULT Present(const RECT *source, const RECT *dest, HWND window, const void *dirty_region);
    HRESULT BeginScene();
    HRESULT EndScene();
    // Clears the viewport (or the given rectangles within it) of the back buffer, depth or stencil.
    HRESULT Clear(DWORD count, const D3DRECT *rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil);
    HRESULT SetViewport(const D3DVIEWPORT9 *viewport);
    HRESULT GetViewport(D3DVIEWPORT9 *viewport);
    HRESULT GetBackBuffer(UINT swap_chain, UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9 **surface);

    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value);
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD *value);
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value);
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD *value);
    HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value);
    HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD *value);
    // Matrices are 16 floats, row by row (row vectors: the translation in elements 12 to 14).
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX *matrix);
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const float *matrix);
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX *matrix);
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, float *matrix);
    // Light slots 0 to 1023. Enabling a slot never set gives it a white directional light.
    HRESULT SetLight(DWORD index, const D3DLIGHT9 *light);
    HRESULT GetLight(DWORD index, D3DLIGHT9 *light);
    HRESULT LightEnable(DWORD index, BOOL enable);
    HRESULT GetLightEnable(DWORD index, BOOL *enable);

    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9 **buffer,
                               HANDLE *shared);
    HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DIndexBuffer9 **buffer, HANDLE *shared);
    // Fails for a format the device does not support. Levels 0 makes the whole chain down to 1 x 1.
    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DTexture9 **texture, HANDLE *shared);
    HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9 *elements, IDirect3DVertexDeclaration9 **declaration);

    // The device holds a reference to what is bound. GetTexture adds one for the caller.
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9 *texture);
    HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture9 **texture);
    HRESULT SetFVF(DWORD fvf);
    HRESULT GetFVF(DWORD *fvf);
    HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9 *declaration);
    HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9 *buffer, UINT offset, UINT stride);
    HRESULT SetIndices(IDirect3DIndexBuffer9 *buffer);

    // Draws between BeginScene and EndScene; while the device is lost they succeed and do nothing.
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT start_vertex, UINT primitive_count);
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT base_vertex, UINT min_index, UINT vertex_count,
                                 UINT start_index, UINT primitive_count);
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitive_count, const void *vertices, UINT stride);
};

struct IDirect3D9 : GpuObject {
    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9 *caps);
    // One device per window; `behavior` holds one of the vertex-processing flags.
    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND window, DWORD behavior,
                         D3DPRESENT_PARAMETERS *parameters, IDirect3DDevice9 **device);
};

// The entry: null when no back end can start.
IDirect3D9 *Direct3DCreate9(UINT sdk_version);
