// The graphics front: object lifetimes, the Direct3D object, device creation, loss and reset,
// frames, clears, viewport and the back buffer.
#include "platform/gpu/gpu.h"
#include "platform/gpu/gpu_local.h"

#include <cstring>

namespace {

struct GpuDirect3D : IDirect3D9 {
    const GpuBackend *backend;
};

int g_gpu_live_objects;  // whole run: objects alive on every device

bool valid_interval(UINT interval)
{
    switch (interval) {
    case D3DPRESENT_INTERVAL_DEFAULT:
    case D3DPRESENT_INTERVAL_ONE:
    case D3DPRESENT_INTERVAL_TWO:
    case D3DPRESENT_INTERVAL_THREE:
    case D3DPRESENT_INTERVAL_FOUR:
    case D3DPRESENT_INTERVAL_IMMEDIATE:
        return true;
    default:
        return false;
    }
}

// Checks present parameters and fills in what the device chooses (format, buffer count).
bool check_parameters(D3DPRESENT_PARAMETERS *p)
{
    if (!p || p->BackBufferWidth == 0 || p->BackBufferHeight == 0) return false;
    if (p->BackBufferWidth > 16384 || p->BackBufferHeight > 16384) return false;
    if (p->BackBufferFormat == D3DFMT_UNKNOWN && !p->Windowed) return false;
    if (p->BackBufferFormat != D3DFMT_UNKNOWN && p->BackBufferFormat != D3DFMT_X8R8G8B8 &&
        p->BackBufferFormat != D3DFMT_A8R8G8B8)
        return false;
    if (p->BackBufferCount > 3 || p->MultiSampleType != D3DMULTISAMPLE_NONE) return false;
    if (p->SwapEffect < D3DSWAPEFFECT_DISCARD || p->SwapEffect > D3DSWAPEFFECT_COPY) return false;
    if (p->EnableAutoDepthStencil && p->AutoDepthStencilFormat != D3DFMT_D16 &&
        p->AutoDepthStencilFormat != D3DFMT_D24S8 && p->AutoDepthStencilFormat != D3DFMT_D24X8)
        return false;
    if (!valid_interval(p->PresentationInterval)) return false;
    if (p->BackBufferFormat == D3DFMT_UNKNOWN) p->BackBufferFormat = D3DFMT_X8R8G8B8;
    if (p->BackBufferCount == 0) p->BackBufferCount = 1;
    return true;
}

void set_identity(float *m)
{
    memset(m, 0, 16 * sizeof(float));
    m[0] = m[5] = m[10] = m[15] = 1.0f;
}

// Drops every reference the device holds through its bindings.
void drop_bindings(GpuDevice *device)
{
    GpuState &s = *device->state;
    for (GpuTexture *&texture : s.textures) {
        if (texture) texture->Release();
        texture = nullptr;
    }
    for (GpuVertexBuffer *&stream : s.stream) {
        if (stream) stream->Release();
        stream = nullptr;
    }
    if (s.indices) s.indices->Release();
    if (s.declaration) s.declaration->Release();
    s.indices = nullptr;
    s.declaration = nullptr;
    s.vertex_program.reset();
    s.pixel_program.reset();
}

// Frees a closed device once nothing points at it any more.
void destroy_device(GpuDevice *device)
{
    device->live_objects++;  // keeps the record while the bindings go
    drop_bindings(device);
    if (--device->live_objects > 0) return;
    device->backend->device_close(device);
    delete device;
}

// The part of the back buffer a clear rectangle covers inside the viewport; false when empty.
bool clip_to_viewport(const D3DVIEWPORT9 &v, const D3DRECT *rect, RECT *out)
{
    long left = long(v.X), top = long(v.Y), right = long(v.X + v.Width), bottom = long(v.Y + v.Height);
    if (rect) {
        if (rect->x1 > left) left = rect->x1;
        if (rect->y1 > top) top = rect->y1;
        if (rect->x2 < right) right = rect->x2;
        if (rect->y2 < bottom) bottom = rect->y2;
    }
    if (left >= right || top >= bottom) return false;
    *out = RECT{left, top, right, bottom};
    return true;
}

// Every state at its documented default, bindings dropped.
void state_defaults(GpuDevice *device)
{
    drop_bindings(device);
    GpuState &s = *device->state;
    memset(s.render, 0, sizeof s.render);
    s.render[D3DRS_ZENABLE] = device->parameters.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
    s.render[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    s.render[D3DRS_ZWRITEENABLE] = TRUE;
    s.render[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    s.render[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    s.render[D3DRS_CULLMODE] = D3DCULL_CCW;
    s.render[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    s.render[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    s.render[D3DRS_STENCILFAIL] = s.render[D3DRS_STENCILZFAIL] = s.render[D3DRS_STENCILPASS] = D3DSTENCILOP_KEEP;
    s.render[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    s.render[D3DRS_STENCILMASK] = s.render[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFFu;
    s.render[D3DRS_LIGHTING] = TRUE;
    const float fog_end = 1.0f;
    memcpy(&s.render[D3DRS_FOGEND], &fog_end, sizeof fog_end);
    s.render[D3DRS_CCW_STENCILFAIL] = s.render[D3DRS_CCW_STENCILZFAIL] = D3DSTENCILOP_KEEP;
    s.render[D3DRS_CCW_STENCILPASS] = D3DSTENCILOP_KEEP;
    s.render[D3DRS_CCW_STENCILFUNC] = D3DCMP_ALWAYS;
    memset(s.stage, 0, sizeof s.stage);
    for (int stage = 0; stage < GPU_STAGES; stage++) {
        DWORD *t = s.stage[stage];
        t[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        t[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        t[D3DTSS_COLORARG1] = t[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        t[D3DTSS_COLORARG2] = t[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        t[D3DTSS_TEXCOORDINDEX] = DWORD(stage);
    }
    memset(s.sampler, 0, sizeof s.sampler);
    for (DWORD *sampler : s.sampler) {
        sampler[D3DSAMP_ADDRESSU] = sampler[D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
        sampler[D3DSAMP_MAGFILTER] = sampler[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        sampler[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
    }
    set_identity(s.world);
    set_identity(s.view);
    set_identity(s.projection);
    for (float *m : s.texture_matrix) set_identity(m);
    memset(s.lights, 0, sizeof s.lights);
    memset(s.light_set, 0, sizeof s.light_set);
    memset(s.light_enabled, 0, sizeof s.light_enabled);
    s.viewport = D3DVIEWPORT9{0, 0, device->parameters.BackBufferWidth, device->parameters.BackBufferHeight, 0, 1};
    s.fvf = 0;
    memset(s.stream_offset, 0, sizeof s.stream_offset);
    memset(s.stream_stride, 0, sizeof s.stream_stride);
    memset(s.vs_constants, 0, sizeof s.vs_constants);
    memset(s.ps_constants, 0, sizeof s.ps_constants);
}

}  // namespace

// ---- objects -------------------------------------------------------------------------------------

ULONG GpuObject::AddRef() { return ++refs_; }

ULONG GpuObject::Release()
{
    if (refs_ == 0) return 0;
    if (--refs_ > 0) return refs_;
    release_last();
    return 0;
}

void GpuObject::release_last() { delete this; }

int gpu_live_objects(void) { return g_gpu_live_objects; }

void gpu_device_object_added(GpuDevice *device, bool default_pool)
{
    g_gpu_live_objects++;
    device->live_objects++;
    if (default_pool) device->default_pool++;
}

void gpu_device_object_removed(GpuDevice *device, bool default_pool)
{
    g_gpu_live_objects--;
    device->live_objects--;
    if (default_pool) device->default_pool--;
    if (device->closed && device->live_objects == 0) destroy_device(device);
}

void GpuDevice::release_last()
{
    closed = true;
    destroy_device(this);
}

// ---- the Direct3D object -------------------------------------------------------------------------

IDirect3D9 *Direct3DCreate9(UINT sdk_version)
{
    if (sdk_version != D3D_SDK_VERSION || gpu_fail_point(GPU_FAIL_DIRECT3D)) return nullptr;
    const GpuBackend *backend = gpu_select_backend();
    if (!backend) return nullptr;
    GpuDirect3D *d3d = new GpuDirect3D;
    d3d->backend = backend;
    return d3d;
}

HRESULT IDirect3D9::GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9 *caps)
{
    if (adapter != D3DADAPTER_DEFAULT || !caps) return D3DERR_INVALIDCALL;
    if (type != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
    static_cast<GpuDirect3D *>(this)->backend->get_caps(caps);
    return D3D_OK;
}

HRESULT IDirect3D9::CreateDevice(UINT adapter, D3DDEVTYPE type, HWND window, DWORD behavior,
                                 D3DPRESENT_PARAMETERS *parameters, IDirect3DDevice9 **device)
{
    if (!device) return D3DERR_INVALIDCALL;
    *device = nullptr;
    DWORD processing = behavior & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                                   D3DCREATE_MIXED_VERTEXPROCESSING);
    bool one_processing = processing == D3DCREATE_SOFTWARE_VERTEXPROCESSING ||
                          processing == D3DCREATE_HARDWARE_VERTEXPROCESSING ||
                          processing == D3DCREATE_MIXED_VERTEXPROCESSING;
    if (adapter != D3DADAPTER_DEFAULT || !one_processing || !check_parameters(parameters)) return D3DERR_INVALIDCALL;
    if (type != D3DDEVTYPE_HAL || gpu_fail_point(GPU_FAIL_CREATE_DEVICE)) return D3DERR_NOTAVAILABLE;
    GpuDevice *d = new GpuDevice;
    d->backend = static_cast<GpuDirect3D *>(this)->backend;
    d->backend_data = nullptr;
    d->parameters = *parameters;
    d->behavior = behavior;
    d->window = window ? window : parameters->hDeviceWindow;
    d->state.reset(new GpuState());
    d->cooperative = D3D_OK;
    d->in_scene = false;
    d->closed = false;
    d->live_objects = 0;
    d->default_pool = 0;
    d->back_buffer = nullptr;
    if (!d->backend->device_open(d)) {
        delete d;
        return D3DERR_NOTAVAILABLE;
    }
    state_defaults(d);
    *device = d;
    return D3D_OK;
}

// ---- loss, reset and frames ----------------------------------------------------------------------

HRESULT IDirect3DDevice9::TestCooperativeLevel() { return gpu_device(this)->cooperative; }

HRESULT IDirect3DDevice9::GetDeviceCaps(D3DCAPS9 *caps)
{
    if (!caps) return D3DERR_INVALIDCALL;
    gpu_device(this)->backend->get_caps(caps);
    return D3D_OK;
}

HRESULT IDirect3DDevice9::Reset(D3DPRESENT_PARAMETERS *parameters)
{
    GpuDevice *d = gpu_device(this);
    if (d->cooperative == D3DERR_DEVICELOST) return D3DERR_DEVICELOST;
    if (d->in_scene) return D3DERR_INVALIDCALL;
    D3DPRESENT_PARAMETERS p = parameters ? *parameters : D3DPRESENT_PARAMETERS{};
    if (!check_parameters(&p)) return D3DERR_INVALIDCALL;
    drop_bindings(d);
    // What lives in the default pool must go first; a failed reset leaves the device lost.
    if (d->default_pool > 0 || gpu_fail_point(GPU_FAIL_RESET)) {
        d->cooperative = D3DERR_DEVICENOTRESET;
        return D3DERR_INVALIDCALL;
    }
    D3DPRESENT_PARAMETERS old = d->parameters;
    d->parameters = p;
    if (!d->backend->device_reset(d)) {
        d->parameters = old;
        d->cooperative = D3DERR_DEVICENOTRESET;
        return D3DERR_NOTAVAILABLE;
    }
    *parameters = p;
    state_defaults(d);
    d->cooperative = D3D_OK;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::Present(const RECT *, const RECT *, HWND, const void *)
{
    GpuDevice *d = gpu_device(this);
    if (d->cooperative != D3D_OK) return D3DERR_DEVICELOST;
    if (d->in_scene) return D3DERR_INVALIDCALL;
    d->backend->present(d);
    return D3D_OK;
}

HRESULT IDirect3DDevice9::BeginScene()
{
    GpuDevice *d = gpu_device(this);
    if (d->in_scene) return D3DERR_INVALIDCALL;
    d->in_scene = true;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::EndScene()
{
    GpuDevice *d = gpu_device(this);
    if (!d->in_scene) return D3DERR_INVALIDCALL;
    d->in_scene = false;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::Clear(DWORD count, const D3DRECT *rects, DWORD flags, D3DCOLOR color, float z,
                                DWORD stencil)
{
    GpuDevice *d = gpu_device(this);
    if ((count > 0 && !rects) || flags == 0 ||
        (flags & ~DWORD(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)))
        return D3DERR_INVALIDCALL;
    const D3DPRESENT_PARAMETERS &p = d->parameters;
    if ((flags & D3DCLEAR_ZBUFFER) && !p.EnableAutoDepthStencil) return D3DERR_INVALIDCALL;
    if ((flags & D3DCLEAR_STENCIL) && (!p.EnableAutoDepthStencil || p.AutoDepthStencilFormat != D3DFMT_D24S8))
        return D3DERR_INVALIDCALL;
    if (z < 0.0f || z > 1.0f) return D3DERR_INVALIDCALL;
    if (d->cooperative != D3D_OK) return D3D_OK;
    RECT area;
    if (count == 0) {
        if (clip_to_viewport(d->state->viewport, nullptr, &area)) d->backend->clear(d, area, flags, color, z, stencil);
        return D3D_OK;
    }
    for (DWORD i = 0; i < count; i++) {
        if (clip_to_viewport(d->state->viewport, &rects[i], &area))
            d->backend->clear(d, area, flags, color, z, stencil);
    }
    return D3D_OK;
}

HRESULT IDirect3DDevice9::SetViewport(const D3DVIEWPORT9 *viewport)
{
    GpuDevice *d = gpu_device(this);
    if (!viewport || viewport->Width == 0 || viewport->Height == 0) return D3DERR_INVALIDCALL;
    if (uint64_t(viewport->X) + viewport->Width > d->parameters.BackBufferWidth ||
        uint64_t(viewport->Y) + viewport->Height > d->parameters.BackBufferHeight)
        return D3DERR_INVALIDCALL;
    if (viewport->MinZ < 0.0f || viewport->MaxZ > 1.0f || viewport->MinZ > viewport->MaxZ) return D3DERR_INVALIDCALL;
    d->state->viewport = *viewport;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::GetViewport(D3DVIEWPORT9 *viewport)
{
    if (!viewport) return D3DERR_INVALIDCALL;
    *viewport = gpu_device(this)->state->viewport;
    return D3D_OK;
}

// ---- the back buffer -----------------------------------------------------------------------------

HRESULT IDirect3DDevice9::GetBackBuffer(UINT swap_chain, UINT index, D3DBACKBUFFER_TYPE type,
                                        IDirect3DSurface9 **surface)
{
    GpuDevice *d = gpu_device(this);
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (swap_chain != 0 || index >= d->parameters.BackBufferCount || type != D3DBACKBUFFER_TYPE_MONO)
        return D3DERR_INVALIDCALL;
    if (d->back_buffer) {
        d->back_buffer->AddRef();
    } else {
        GpuSurface *s = new GpuSurface;
        s->device = d;
        s->width = d->parameters.BackBufferWidth;
        s->height = d->parameters.BackBufferHeight;
        s->pitch = s->width * 4 + UINT(d->backend->pitch_padding);
        s->locked = false;
        d->back_buffer = s;
        gpu_device_object_added(d, true);
    }
    *surface = d->back_buffer;
    return D3D_OK;
}

void GpuSurface::release_last()
{
    GpuDevice *d = device;
    if (d->back_buffer == this) d->back_buffer = nullptr;
    delete this;
    gpu_device_object_removed(d, true);
}

HRESULT IDirect3DSurface9::GetDesc(D3DSURFACE_DESC *desc)
{
    GpuSurface *s = static_cast<GpuSurface *>(this);
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = D3DSURFACE_DESC{s->device->parameters.BackBufferFormat, D3DRTYPE_SURFACE, 0, D3DPOOL_DEFAULT, s->width,
                            s->height};
    return D3D_OK;
}

HRESULT IDirect3DSurface9::LockRect(D3DLOCKED_RECT *locked, const RECT *rect, DWORD)
{
    GpuSurface *s = static_cast<GpuSurface *>(this);
    if (!locked || s->locked || !(s->device->parameters.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER))
        return D3DERR_INVALIDCALL;
    RECT r = rect ? *rect : RECT{0, 0, long(s->width), long(s->height)};
    if (r.left < 0 || r.top < 0 || r.left >= r.right || r.top >= r.bottom || r.right > long(s->width) ||
        r.bottom > long(s->height))
        return D3DERR_INVALIDCALL;
    s->memory.assign(size_t(s->pitch) * s->height, 0);
    s->device->backend->read_back_buffer(s->device, s->memory.data(), s->pitch);
    s->locked = true;
    locked->Pitch = INT(s->pitch);
    locked->pBits = s->memory.data() + size_t(r.top) * s->pitch + size_t(r.left) * 4;
    return D3D_OK;
}

HRESULT IDirect3DSurface9::UnlockRect()
{
    GpuSurface *s = static_cast<GpuSurface *>(this);
    if (!s->locked) return D3DERR_INVALIDCALL;
    s->locked = false;
    return D3D_OK;
}
