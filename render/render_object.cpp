// Render objects: starting values, vertex formats and sizes, the creation and locking of their
// buffers, and their release.
#include "render/render_local.h"

#include <cstdlib>
#include <cstring>

namespace {

// FVF codes by layout, plain and skinned (XYZB5 with LASTBETA_UBYTE4: four weights, four bones).
const DWORD kPlainFvf[10] = {0x142, 0x142, 0x42, 0x142, 0x242, 0x112, 0x242, 0x342, 0x252, 0x452};
const DWORD kSkinnedFvf[10] = {0x114E, 0x114E, 0x104E, 0x114E, 0x124E, 0x111E, 0x124E, 0x134E, 0x125E, 0x145E};

// Largest byte size a buffer or system copy may have.
constexpr int64_t kMaxBufferBytes = int64_t(1) << 30;

void *zeroed(int64_t bytes) { return bytes > 0 && bytes <= kMaxBufferBytes ? calloc(1, size_t(bytes)) : nullptr; }

bool dynamic_locks(const RenderObject *object) { return g_render_dynamic_buffers && object->dynamic == 1; }

IDirect3DVertexBuffer9 *locked_buffer(const RenderObject *object)
{
    int32_t frame = object->current_frame;
    if (frame >= 0)
        return object->frame_buffers && frame < object->frame_count ? object->frame_buffers[frame] : nullptr;
    return object->vertex_buffer;
}

}  // namespace

RenderObject *render_object_init(RenderObject *object)
{
    object->child = nullptr;
    object->has_draw_ranges = 0;
    object->ranges = RenderDrawRangeList{};
    object->light_slot = -1;
    object->array_a = object->array_b = nullptr;
    object->compiler = nullptr;
    object->context = nullptr;
    for (char *&name : object->texture_names) name = nullptr;
    memset(object->reserved_a, 0, sizeof object->reserved_a);
    object->current_frame = -1;
    object->tween_factor = 0.0f;
    object->shared_effect = 0;
    object->reserved_b = 0;
    object->dynamic = 0;
    object->stream0_frame = -1;
    object->stream1_frame = 0;
    object->effect = nullptr;
    object->captured_count = 0;
    for (IDirect3DBaseTexture9 *&texture : object->captured) texture = nullptr;
    object->vertex_copy = nullptr;
    object->index_copy = nullptr;
    object->frame_copies = nullptr;
    object->frame_buffers = nullptr;
    object->vertex_buffer = nullptr;
    object->index_buffer = nullptr;
    object->device = nullptr;
    return object;
}

int32_t render_vertex_size_for_format(int32_t format)
{
    switch (format) {
    case 0: case 1: case 3: return 24;
    case 2: return 16;
    case 4: case 5: case 6: return 32;
    case 7: return 40;
    case 8: return 44;
    case 9: return 60;
    case 10: return 52;
    case 32: case 33: case 35: return 44;
    case 34: return 36;
    case 36: case 37: case 38: return 52;
    case 39: return 60;
    case 40: return 64;
    case 41: return 80;
    default: return 0;
    }
}

int32_t render_format_for_flags(uint32_t flags)
{
    int32_t format = 0;
    if (flags & kRenderDiffuse) format = 2;
    if (flags & kRenderTexColour) format += 1;
    if (flags & kRenderSecondPair) format = 4;
    if (flags & kRenderNormal) format = 5;
    if (flags & kRenderLightmap) format = 6;
    if (flags & kRenderThreePairs) format = (flags & kRenderNormal) && (flags & kRenderHandedness) ? 9 : 7;
    if (flags & kRenderSkinned) format += kRenderFormatSkinned;
    return format;
}

DWORD render_fvf_for_format(int32_t format)
{
    int32_t layout = format & ~kRenderFormatSkinned;
    if (layout < 0 || layout > 9) return 0;
    return (format & kRenderFormatSkinned) ? kSkinnedFvf[layout] : kPlainFvf[layout];
}

bool render_create_device_vertex_buffer(IDirect3DDevice9 *device, int32_t vertex_count, int32_t layout,
                                        bool skinned, bool default_pool, int32_t dynamic,
                                        IDirect3DVertexBuffer9 **out)
{
    *out = nullptr;
    if (!device || layout < 0 || layout > 9 || vertex_count <= 0) return false;
    int32_t format = layout + (skinned ? kRenderFormatSkinned : 0);
    int64_t bytes = int64_t(vertex_count) * render_vertex_size_for_format(format);
    if (bytes > kMaxBufferBytes) return false;
    DWORD usage = D3DUSAGE_WRITEONLY | (default_pool && dynamic ? D3DUSAGE_DYNAMIC : 0);
    DWORD fvf = render_fvf_for_format(format);
    HRESULT hr = device->CreateVertexBuffer(UINT(bytes), usage, fvf, default_pool ? D3DPOOL_DEFAULT : D3DPOOL_MANAGED,
                                            out, nullptr);
    if (FAILED(hr)) *out = nullptr;
    return *out != nullptr;
}

void render_object_create_vertex_buffer(RenderObject *object, int32_t vertex_count, int32_t index_count,
                                        int32_t frame_count)
{
    if (!object->context) object->context = g_render_first_context;
    render_object_release_buffers(object);
    uint32_t flags = object->flags;
    object->dynamic = (flags & kRenderStatic) ? 0 : 1;
    if (vertex_count < 0) vertex_count = 0;
    if (index_count < 0) index_count = 0;
    object->vertex_count = object->vertices_in_use = vertex_count;
    object->index_count = object->indices_in_use = index_count;
    object->locked_vertices = nullptr;
    object->locked_indices = nullptr;
    object->has_draw_ranges = 0;
    // Frames exist only with their flag, so that no count ever outlives missing frame arrays.
    object->frame_count = (flags & kRenderFrames) && frame_count > 0 ? frame_count : 0;
    if (!object->device) object->device = g_render_first_device;
    object->format = render_format_for_flags(flags);
    object->stride = render_vertex_size_for_format(object->format);

    int32_t layout = object->format & 15;
    bool skinned = (object->format & kRenderFormatSkinned) != 0;
    bool default_pool = g_render_dynamic_buffers != 0;
    int64_t vertex_bytes = int64_t(object->stride) * vertex_count;
    if (default_pool) {
        object->vertex_copy = static_cast<uint8_t *>(zeroed(vertex_bytes));
        object->index_copy = static_cast<uint32_t *>(zeroed(int64_t(index_count) * 4));
    }
    render_registry_find_or_add(object);
    render_create_device_vertex_buffer(object->device, vertex_count, layout, skinned, default_pool, object->dynamic,
                                       &object->vertex_buffer);
    if (object->frame_count > 0) {
        size_t frames = size_t(object->frame_count);
        object->frame_buffers =
            static_cast<IDirect3DVertexBuffer9 **>(calloc(frames, sizeof(IDirect3DVertexBuffer9 *)));
        if (default_pool) object->frame_copies = static_cast<uint8_t **>(calloc(frames, sizeof(uint8_t *)));
        if (!object->frame_buffers || (default_pool && !object->frame_copies)) {
            free(object->frame_buffers);
            free(object->frame_copies);
            object->frame_buffers = nullptr;
            object->frame_copies = nullptr;
            object->frame_count = 0;
        }
        for (int32_t k = 0; k < object->frame_count; k++) {
            if (default_pool) object->frame_copies[k] = static_cast<uint8_t *>(zeroed(vertex_bytes));
            render_create_device_vertex_buffer(object->device, vertex_count, layout, skinned, default_pool,
                                               object->dynamic, &object->frame_buffers[k]);
        }
    }
    if (object->device && index_count > 0 && int64_t(index_count) * 4 <= kMaxBufferBytes) {
        HRESULT hr = object->device->CreateIndexBuffer(UINT(index_count) * 4, 0, D3DFMT_INDEX32,
                                                       default_pool ? D3DPOOL_DEFAULT : D3DPOOL_MANAGED,
                                                       &object->index_buffer, nullptr);
        if (FAILED(hr)) object->index_buffer = nullptr;
    }
    if (object->vertex_buffer) {
        render_object_lock_vertices(object);
        render_object_unlock_vertices(object);
    }
    object->current_frame = -1;
}

void render_object_lock_vertices(RenderObject *object)
{
    if (object->locked_vertices) render_object_unlock_vertices(object);
    object->current_frame = -1;
    if (!object->vertex_buffer) return;
    void *memory = nullptr;
    if (dynamic_locks(object)) {
        if (FAILED(object->vertex_buffer->Lock(0, 0, &memory, D3DLOCK_DISCARD | D3DLOCK_NO_DIRTY_UPDATE)))
            memory = nullptr;
        // The discarded buffer gets every vertex back, so callers may rewrite only some.
        if (memory && object->vertex_copy)
            memcpy(memory, object->vertex_copy, size_t(object->stride) * size_t(object->vertex_count));
    } else if (FAILED(object->vertex_buffer->Lock(0, 0, &memory, 0))) {
        memory = nullptr;
    }
    object->locked_vertices = static_cast<uint8_t *>(memory);
}

bool render_object_lock_frame(RenderObject *object, int32_t frame)
{
    if (object->locked_vertices) render_object_unlock_vertices(object);
    if (frame < 0 || frame >= object->frame_count || !object->frame_buffers || !object->frame_buffers[frame])
        return false;
    void *memory = nullptr;
    DWORD flags = dynamic_locks(object) ? D3DLOCK_DISCARD | D3DLOCK_NO_DIRTY_UPDATE : 0;
    if (FAILED(object->frame_buffers[frame]->Lock(0, 0, &memory, flags)) || !memory) return false;
    if (flags && object->frame_copies && object->frame_copies[frame])
        memcpy(memory, object->frame_copies[frame], size_t(object->stride) * size_t(object->vertex_count));
    object->locked_vertices = static_cast<uint8_t *>(memory);
    object->current_frame = frame;
    return true;
}

void render_object_unlock_vertices(RenderObject *object)
{
    if (object->locked_vertices) {
        IDirect3DVertexBuffer9 *buffer = locked_buffer(object);
        if (buffer) buffer->Unlock();
    }
    object->locked_vertices = nullptr;
    object->current_frame = -1;
}

bool render_object_lock_indices(RenderObject *object)
{
    if (object->locked_indices) render_object_unlock_indices(object);
    if (!object->index_buffer) return false;
    void *memory = nullptr;
    if (FAILED(object->index_buffer->Lock(0, 0, &memory, 0))) memory = nullptr;
    object->locked_indices = static_cast<uint32_t *>(memory);
    return memory != nullptr;
}

void render_object_unlock_indices(RenderObject *object)
{
    if (object->locked_indices && object->index_buffer) object->index_buffer->Unlock();
    object->locked_indices = nullptr;
}

void render_object_write_index(RenderObject *object, int32_t at, uint32_t value)
{
    if (at < 0 || at >= object->index_count) return;
    if (object->locked_indices) object->locked_indices[at] = value;
    if (object->index_copy) object->index_copy[at] = value;
}

void render_object_release_buffers(RenderObject *object)
{
    render_object_unlock_vertices(object);
    render_object_unlock_indices(object);
    if (object->vertex_buffer) object->vertex_buffer->Release();
    if (object->index_buffer) object->index_buffer->Release();
    for (int32_t k = 0; k < object->frame_count; k++) {
        if (object->frame_buffers && object->frame_buffers[k]) object->frame_buffers[k]->Release();
        if (object->frame_copies) free(object->frame_copies[k]);
    }
    free(object->frame_buffers);
    free(object->frame_copies);
    free(object->vertex_copy);
    free(object->index_copy);
    object->frame_buffers = nullptr;
    object->frame_copies = nullptr;
    object->frame_count = 0;
    object->vertex_copy = nullptr;
    object->index_copy = nullptr;
    object->vertex_buffer = nullptr;
    object->index_buffer = nullptr;
}

void render_object_free(RenderObject *object)
{
    for (char *&name : object->texture_names) {
        free(name);
        name = nullptr;
    }
    // A compiler is released whatever the own-effect flag says: a failed compile leaves one
    // behind without the flag.
    if (!object->shared_effect) {
        if ((object->flags & kRenderOwnEffect) && object->effect) object->effect->Release();
        if (object->compiler) render_release_compiler(object->compiler);
    }
    object->compiler = nullptr;
    object->effect = nullptr;
    render_object_release_captured(object);
    render_object_release_buffers(object);
    render_registry_remove(object);
    list_clear(&object->ranges);
    object->has_draw_ranges = 0;
    free(object->array_a);
    free(object->array_b);
    object->array_a = nullptr;
    object->array_b = nullptr;
    RenderObject *child = object->child;
    object->child = nullptr;
    if (child && child != object) {
        render_object_free(child);
        delete child;
    }
}
