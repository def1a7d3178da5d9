// The registry of render objects that own device resources, and the hooks that carry them through
// the loss and reset of a device: effects told of the loss, default-pool buffers released and made
// again from their system copies.
#include "render/render_local.h"

#include <cstring>
#include <new>
#include <unordered_map>

// Whole run: every object whose buffers were made, until it is released.
RenderRegistry g_render_registry;

namespace {

// An effect the object owns and must tell of a loss or reset.
bool owns_effect(const RenderObject *object)
{
    return (object->flags & kRenderOwnEffect) && !object->shared_effect && object->effect;
}

// Refills one buffer of the object from its system copy; false when it cannot be made again.
bool restore_object(RenderObject *object)
{
    int32_t layout = object->format & 15;
    bool skinned = (object->format & kRenderFormatSkinned) != 0;
    if (!render_create_device_vertex_buffer(object->device, object->vertex_count, layout, skinned, true,
                                            object->dynamic, &object->vertex_buffer))
        return false;
    size_t vertex_bytes = size_t(object->stride) * size_t(object->vertex_count);
    if (object->index_count > 0 &&
        FAILED(object->device->CreateIndexBuffer(UINT(object->index_count) * 4, 0, D3DFMT_INDEX32, D3DPOOL_DEFAULT,
                                                 &object->index_buffer, nullptr)))
        object->index_buffer = nullptr;
    render_object_lock_vertices(object);
    if (object->locked_vertices && object->vertex_copy)
        memcpy(object->locked_vertices, object->vertex_copy, vertex_bytes);
    render_object_unlock_vertices(object);
    if (render_object_lock_indices(object) && object->index_copy)
        memcpy(object->locked_indices, object->index_copy, size_t(object->index_count) * 4);
    render_object_unlock_indices(object);
    for (int32_t k = 0; k < object->frame_count && object->frame_buffers; k++) {
        render_create_device_vertex_buffer(object->device, object->vertex_count, layout, skinned, true,
                                           object->dynamic, &object->frame_buffers[k]);
        // The frame lock copies the frame's system copy back in.
        if (render_object_lock_frame(object, k) && object->frame_copies && object->frame_copies[k])
            memcpy(object->locked_vertices, object->frame_copies[k], vertex_bytes);
        render_object_unlock_vertices(object);
    }
    return true;
}

// The nodes by their object. Opening a hole makes a render object for every mesh, and finding
// each in the list would cost the square of their number. A node whose object was set by its maker
// (render_registry_append_node) is not in the index: while one is in the list, lookups walk it.
std::unordered_map<const RenderObject *, RenderRegistryNode *> g_index;

bool all_indexed() { return int32_t(g_index.size()) == g_render_registry.count; }

void index_node(RenderRegistryNode *node)
{
    try {
        g_index[node->object] = node;
    } catch (const std::bad_alloc &) {
        // Without room the node stays out of the index, and lookups walk the list.
    }
}

RenderRegistryNode *walk_for(const RenderObject *object)
{
    for (RenderRegistryNode *node = g_render_registry.first; node; node = node->next)
        if (node->object == object) return node;
    return nullptr;
}

void delete_node(RenderRegistryNode *node)
{
    auto found = g_index.find(node->object);
    if (found != g_index.end() && found->second == node) g_index.erase(found);
    list_delete(&g_render_registry, node);
}

}  // namespace

RenderRegistryNode *render_registry_find_or_add(RenderObject *object)
{
    auto found = g_index.find(object);
    if (found != g_index.end()) return found->second;
    RenderRegistryNode *node = all_indexed() ? nullptr : walk_for(object);
    if (node) return node;
    node = list_link_last(&g_render_registry, new RenderRegistryNode{object, nullptr, nullptr});
    index_node(node);
    return node;
}

void render_registry_remove(RenderObject *object)
{
    auto found = g_index.find(object);
    RenderRegistryNode *node = found != g_index.end() ? found->second : all_indexed() ? nullptr : walk_for(object);
    if (node) delete_node(node);
}

void render_registry_remove_device(IDirect3DDevice9 *device)
{
    g_render_registry.iter = g_render_registry.first;
    while (g_render_registry.iter) {
        if (g_render_registry.iter->object->device == device)
            render_registry_remove_current();
        else
            g_render_registry.iter = g_render_registry.iter->next;
    }
}

RenderRegistryNode *render_registry_append_node()
{
    return list_link_last(&g_render_registry, new RenderRegistryNode{nullptr, nullptr, nullptr});
}

void render_registry_remove_head()
{
    if (g_render_registry.first) delete_node(g_render_registry.first);
}

void render_registry_remove_tail()
{
    if (g_render_registry.last) delete_node(g_render_registry.last);
}

RenderRegistryNode *render_registry_remove_current()
{
    RenderRegistryNode *node = g_render_registry.iter;
    if (!node) return nullptr;
    RenderRegistryNode *next = node->next;
    delete_node(node);
    g_render_registry.iter = next;
    return next;
}

void render_registry_effects_lost(IDirect3DDevice9 *device)
{
    for (RenderRegistryNode *node = g_render_registry.first; node; node = node->next)
        if (node->object->device == device && owns_effect(node->object)) node->object->effect->OnLostDevice();
}

void render_registry_effects_reset(IDirect3DDevice9 *device)
{
    for (RenderRegistryNode *node = g_render_registry.first; node; node = node->next) {
        RenderObject *object = node->object;
        if (object->device != device || !owns_effect(object)) continue;
        object->effect->OnResetDevice();
        D3DXHANDLE technique = nullptr;
        if (SUCCEEDED(object->effect->FindNextValidTechnique(nullptr, &technique)))
            object->effect->SetTechnique(technique);
    }
}

void render_registry_release_buffers(IDirect3DDevice9 *device)
{
    for (RenderRegistryNode *node = g_render_registry.first; node; node = node->next) {
        RenderObject *object = node->object;
        if (object->device != device) continue;
        render_object_unlock_vertices(object);
        render_object_unlock_indices(object);
        if (object->index_buffer) object->index_buffer->Release();
        if (object->vertex_buffer) object->vertex_buffer->Release();
        object->index_buffer = nullptr;
        object->vertex_buffer = nullptr;
        for (int32_t k = 0; k < object->frame_count && object->frame_buffers; k++) {
            if (object->frame_buffers[k]) object->frame_buffers[k]->Release();
            object->frame_buffers[k] = nullptr;
        }
    }
}

void render_registry_restore_buffers(IDirect3DDevice9 *device)
{
    g_render_registry.iter = g_render_registry.first;
    while (g_render_registry.iter) {
        RenderObject *object = g_render_registry.iter->object;
        if (object->device == device && !restore_object(object))
            render_registry_remove_current();
        else
            g_render_registry.iter = g_render_registry.iter->next;
    }
}
