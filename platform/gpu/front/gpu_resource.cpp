// The graphics front's resources: vertex and index buffers, textures with their levels, locks,
// pitch, the DISCARD fill and the managed pool's dirty rectangles.
#include "platform/gpu/gpu.h"
#include "platform/gpu/gpu_local.h"

#include <cstring>

namespace {

// More rectangles than this waiting on one texture are merged into their bounding box.
const size_t MAX_DIRTY_RECTS = 64;

HRESULT create_buffer(GpuDevice *d, GpuBufferData *data, UINT length, DWORD usage, D3DPOOL pool)
{
    if (length == 0 || (usage & ~DWORD(D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC))) return D3DERR_INVALIDCALL;
    if (pool != D3DPOOL_DEFAULT && pool != D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    // The managed pool keeps its own copy; it cannot be dynamic.
    if (pool == D3DPOOL_MANAGED && (usage & D3DUSAGE_DYNAMIC)) return D3DERR_INVALIDCALL;
    data->device = d;
    data->length = length;
    data->usage = usage;
    data->pool = pool;
    data->memory.assign(length, 0);
    data->lock_count = 0;
    data->lock_offset = data->lock_end = 0;
    data->lock_upload = false;
    data->backend = nullptr;
    if (!d->backend->buffer_create(d, data)) return D3DERR_OUTOFVIDEOMEMORY;
    gpu_device_object_added(d, pool == D3DPOOL_DEFAULT);
    return D3D_OK;
}

void destroy_buffer(GpuBufferData *data)
{
    data->device->backend->buffer_destroy(data->device, data);
}

HRESULT lock_buffer(GpuBufferData *b, UINT offset, UINT size, void **out, DWORD flags)
{
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (offset > b->length) return D3DERR_INVALIDCALL;
    if (size == 0) size = b->length - offset;
    if (uint64_t(offset) + size > b->length) return D3DERR_INVALIDCALL;
    bool dynamic = (b->usage & D3DUSAGE_DYNAMIC) != 0;
    if ((flags & (D3DLOCK_DISCARD | D3DLOCK_NOOVERWRITE)) && !dynamic) return D3DERR_INVALIDCALL;
    if ((flags & D3DLOCK_DISCARD) && (flags & D3DLOCK_READONLY)) return D3DERR_INVALIDCALL;
    if (gpu_fail_point(GPU_FAIL_LOCK)) return D3DERR_INVALIDCALL;
    // DISCARD hands out fresh memory: its old contents are gone.
    int fill = b->device->backend->discard_fill;
    if ((flags & D3DLOCK_DISCARD) && fill >= 0) memset(b->memory.data(), fill, b->length);
    if (b->lock_count == 0 || offset < b->lock_offset) b->lock_offset = offset;
    if (b->lock_count == 0 || offset + size > b->lock_end) b->lock_end = offset + size;
    if (b->lock_count == 0) b->lock_upload = false;
    bool silent = (flags & D3DLOCK_READONLY) || (b->pool == D3DPOOL_MANAGED && (flags & D3DLOCK_NO_DIRTY_UPDATE));
    if (!silent) b->lock_upload = true;
    b->lock_count++;
    *out = b->memory.data() + offset;
    return D3D_OK;
}

HRESULT unlock_buffer(GpuBufferData *b)
{
    if (b->lock_count == 0) return D3DERR_INVALIDCALL;
    if (--b->lock_count > 0) return D3D_OK;
    if (b->lock_upload) b->device->backend->buffer_upload(b->device, b, b->lock_offset, b->lock_end - b->lock_offset);
    return D3D_OK;
}

UINT level_count_for(UINT width, UINT height)
{
    UINT side = width > height ? width : height, levels = 1;
    while (side > 1) {
        side >>= 1;
        levels++;
    }
    return levels;
}

bool rect_inside(const RECT &r, UINT width, UINT height)
{
    return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom && r.right <= long(width) &&
           r.bottom <= long(height);
}

void add_dirty(GpuTexture *t, const RECT &r)
{
    if (t->dirty.size() < MAX_DIRTY_RECTS) {
        t->dirty.push_back(r);
        return;
    }
    RECT all = r;
    for (const RECT &d : t->dirty) {
        if (d.left < all.left) all.left = d.left;
        if (d.top < all.top) all.top = d.top;
        if (d.right > all.right) all.right = d.right;
        if (d.bottom > all.bottom) all.bottom = d.bottom;
    }
    t->dirty.assign(1, all);
}

}  // namespace

UINT gpu_format_bytes(D3DFORMAT format)
{
    switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
        return 4;
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A4R4G4B4:
        return 2;
    default:
        return 0;
    }
}

// ---- buffers -------------------------------------------------------------------------------------

HRESULT IDirect3DDevice9::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                             IDirect3DVertexBuffer9 **buffer, HANDLE *shared)
{
    if (!buffer || shared) return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (fvf != 0) {
        GpuVertexLayout layout;
        UINT stride;
        if (!gpu_fvf_layout(fvf, &layout, &stride) || length < stride) return D3DERR_INVALIDCALL;
    }
    if (gpu_fail_point(GPU_FAIL_CREATE_VERTEX_BUFFER)) return D3DERR_OUTOFVIDEOMEMORY;
    GpuVertexBuffer *vb = new GpuVertexBuffer;
    vb->data.index = false;
    vb->data.fvf = fvf;
    vb->data.format = D3DFMT_UNKNOWN;
    HRESULT hr = create_buffer(gpu_device(this), &vb->data, length, usage, pool);
    if (FAILED(hr)) {
        delete vb;
        return hr;
    }
    *buffer = vb;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                            IDirect3DIndexBuffer9 **buffer, HANDLE *shared)
{
    if (!buffer || shared) return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32) return D3DERR_INVALIDCALL;
    if (gpu_fail_point(GPU_FAIL_CREATE_INDEX_BUFFER)) return D3DERR_OUTOFVIDEOMEMORY;
    GpuIndexBuffer *ib = new GpuIndexBuffer;
    ib->data.index = true;
    ib->data.fvf = 0;
    ib->data.format = format;
    HRESULT hr = create_buffer(gpu_device(this), &ib->data, length, usage, pool);
    if (FAILED(hr)) {
        delete ib;
        return hr;
    }
    *buffer = ib;
    return D3D_OK;
}

void GpuVertexBuffer::release_last()
{
    GpuDevice *d = data.device;
    bool default_pool = data.pool == D3DPOOL_DEFAULT;
    destroy_buffer(&data);
    delete this;
    gpu_device_object_removed(d, default_pool);
}

void GpuIndexBuffer::release_last()
{
    GpuDevice *d = data.device;
    bool default_pool = data.pool == D3DPOOL_DEFAULT;
    destroy_buffer(&data);
    delete this;
    gpu_device_object_removed(d, default_pool);
}

HRESULT IDirect3DVertexBuffer9::Lock(UINT offset, UINT size, void **data, DWORD flags)
{
    return lock_buffer(&static_cast<GpuVertexBuffer *>(this)->data, offset, size, data, flags);
}

HRESULT IDirect3DVertexBuffer9::Unlock() { return unlock_buffer(&static_cast<GpuVertexBuffer *>(this)->data); }

HRESULT IDirect3DIndexBuffer9::Lock(UINT offset, UINT size, void **data, DWORD flags)
{
    return lock_buffer(&static_cast<GpuIndexBuffer *>(this)->data, offset, size, data, flags);
}

HRESULT IDirect3DIndexBuffer9::Unlock() { return unlock_buffer(&static_cast<GpuIndexBuffer *>(this)->data); }

// ---- textures ------------------------------------------------------------------------------------

HRESULT IDirect3DDevice9::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                        D3DPOOL pool, IDirect3DTexture9 **texture, HANDLE *shared)
{
    if (!texture || shared) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    GpuDevice *d = gpu_device(this);
    D3DCAPS9 caps;
    d->backend->get_caps(&caps);
    if (width == 0 || height == 0 || width > caps.MaxTextureWidth || height > caps.MaxTextureHeight)
        return D3DERR_INVALIDCALL;
    if ((usage & ~DWORD(D3DUSAGE_DYNAMIC)) || (pool != D3DPOOL_DEFAULT && pool != D3DPOOL_MANAGED))
        return D3DERR_INVALIDCALL;
    if (pool == D3DPOOL_MANAGED && (usage & D3DUSAGE_DYNAMIC)) return D3DERR_INVALIDCALL;
    UINT bytes = gpu_format_bytes(format);
    if (bytes == 0) return D3DERR_INVALIDCALL;
    if (!d->backend->format_supported(format)) return D3DERR_NOTAVAILABLE;
    UINT most = level_count_for(width, height);
    if (levels == 0) levels = most;
    if (levels > most) return D3DERR_INVALIDCALL;
    if (gpu_fail_point(GPU_FAIL_CREATE_TEXTURE)) return D3DERR_OUTOFVIDEOMEMORY;
    GpuTexture *t = new GpuTexture;
    t->device = d;
    t->format = format;
    t->usage = usage;
    t->pool = pool;
    t->bytes_per_pixel = bytes;
    t->backend = nullptr;
    t->levels.resize(levels);
    for (UINT l = 0; l < levels; l++) {
        GpuLevel &level = t->levels[l];
        level.width = width >> l ? width >> l : 1;
        level.height = height >> l ? height >> l : 1;
        level.pitch = level.width * bytes + UINT(d->backend->pitch_padding);
        level.memory.assign(size_t(level.pitch) * level.height, 0);
        level.locked = false;
        level.lock_rect = RECT{0, 0, 0, 0};
        level.lock_flags = 0;
    }
    if (!d->backend->texture_create(d, t)) {
        delete t;
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    gpu_device_object_added(d, pool == D3DPOOL_DEFAULT);
    *texture = t;
    return D3D_OK;
}

void GpuTexture::release_last()
{
    GpuDevice *d = device;
    bool default_pool = pool == D3DPOOL_DEFAULT;
    d->backend->texture_destroy(d, this);
    delete this;
    gpu_device_object_removed(d, default_pool);
}

DWORD IDirect3DBaseTexture9::GetLevelCount() { return DWORD(gpu_texture(this)->levels.size()); }

HRESULT IDirect3DTexture9::GetLevelDesc(UINT level, D3DSURFACE_DESC *desc)
{
    GpuTexture *t = static_cast<GpuTexture *>(this);
    if (!desc || level >= t->levels.size()) return D3DERR_INVALIDCALL;
    *desc = D3DSURFACE_DESC{t->format, D3DRTYPE_SURFACE, t->usage, t->pool, t->levels[level].width,
                            t->levels[level].height};
    return D3D_OK;
}

HRESULT IDirect3DTexture9::LockRect(UINT level, D3DLOCKED_RECT *locked, const RECT *rect, DWORD flags)
{
    GpuTexture *t = static_cast<GpuTexture *>(this);
    if (!locked || level >= t->levels.size()) return D3DERR_INVALIDCALL;
    GpuLevel &l = t->levels[level];
    RECT r = rect ? *rect : RECT{0, 0, long(l.width), long(l.height)};
    if (l.locked || !rect_inside(r, l.width, l.height)) return D3DERR_INVALIDCALL;
    bool dynamic = (t->usage & D3DUSAGE_DYNAMIC) != 0;
    if (t->pool == D3DPOOL_DEFAULT && !dynamic) return D3DERR_INVALIDCALL;
    if ((flags & D3DLOCK_DISCARD) && !dynamic) return D3DERR_INVALIDCALL;
    if (gpu_fail_point(GPU_FAIL_LOCK)) return D3DERR_INVALIDCALL;
    int fill = t->device->backend->discard_fill;
    if ((flags & D3DLOCK_DISCARD) && fill >= 0) memset(l.memory.data(), fill, l.memory.size());
    l.locked = true;
    l.lock_rect = r;
    l.lock_flags = flags;
    locked->Pitch = INT(l.pitch);
    locked->pBits = l.memory.data() + size_t(r.top) * l.pitch + size_t(r.left) * t->bytes_per_pixel;
    return D3D_OK;
}

HRESULT IDirect3DTexture9::UnlockRect(UINT level)
{
    GpuTexture *t = static_cast<GpuTexture *>(this);
    if (level >= t->levels.size() || !t->levels[level].locked) return D3DERR_INVALIDCALL;
    GpuLevel &l = t->levels[level];
    l.locked = false;
    if (l.lock_flags & D3DLOCK_READONLY) return D3D_OK;
    if (t->pool == D3DPOOL_DEFAULT) {
        t->device->backend->texture_upload(t->device, t, level, l.lock_rect);
        return D3D_OK;
    }
    if (l.lock_flags & D3DLOCK_NO_DIRTY_UPDATE) return D3D_OK;
    // Dirty regions are kept in level-0 texels, as AddDirtyRect takes them.
    const GpuLevel &top = t->levels[0];
    RECT r = l.lock_rect;
    r.left <<= level;
    r.top <<= level;
    r.right = (r.right << level) < long(top.width) ? r.right << level : long(top.width);
    r.bottom = (r.bottom << level) < long(top.height) ? r.bottom << level : long(top.height);
    add_dirty(t, r);
    return D3D_OK;
}

HRESULT IDirect3DTexture9::AddDirtyRect(const RECT *rect)
{
    GpuTexture *t = static_cast<GpuTexture *>(this);
    const GpuLevel &top = t->levels[0];
    RECT r = rect ? *rect : RECT{0, 0, long(top.width), long(top.height)};
    if (t->pool != D3DPOOL_MANAGED || !rect_inside(r, top.width, top.height)) return D3DERR_INVALIDCALL;
    add_dirty(t, r);
    return D3D_OK;
}

void gpu_texture_flush(GpuTexture *texture)
{
    if (texture->dirty.empty()) return;
    for (const RECT &d : texture->dirty) {
        for (UINT level = 0; level < texture->levels.size(); level++) {
            const GpuLevel &l = texture->levels[level];
            long round = (1L << level) - 1;
            RECT r{d.left >> level, d.top >> level, (d.right + round) >> level, (d.bottom + round) >> level};
            if (r.right > long(l.width)) r.right = long(l.width);
            if (r.bottom > long(l.height)) r.bottom = long(l.height);
            if (r.left < r.right && r.top < r.bottom)
                texture->device->backend->texture_upload(texture->device, texture, level, r);
        }
    }
    texture->dirty.clear();
}
