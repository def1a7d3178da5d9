// Internals shared by the renderer's own files.
#pragma once

#include "render/render.h"
#include "render/render_mesh.h"

#include "geometry/list.h"

// The format code the build flags give (layouts 0..7 and 9, +32 skinned).
int32_t render_format_for_flags(uint32_t flags);
// The FVF code of a format's vertex buffer; 0 for formats without one.
DWORD render_fvf_for_format(int32_t format);
// The four blend weights and bone indices of a skinned vertex (bytes 12 to 31), mirrored like the
// position.
void render_vertex_set_skin(RenderObject *object, int32_t i, const float *weights, const uint8_t *bones);
// The flags a builder gives a caller's object: its options, and the own-effect bit when a script
// was compiled into the object before, so that the effect is still released and carried through
// device resets.
inline uint32_t render_builder_flags(const RenderObject *object, uint32_t options)
{
    return options | (object->flags & kRenderOwnEffect);
}
// Stores index `at` in the locked index buffer and the index copy; indices outside the object's
// count are dropped.
void render_object_write_index(RenderObject *object, int32_t at, uint32_t value);
// Releases the object's buffers, frame buffers and system copies (not its effect, names or
// registry node); handles and counts of frames go back to null and 0.
void render_object_release_buffers(RenderObject *object);

// Truncates a float toward zero into 32 bits, as a C cast does for values in range; values out of
// range (or NaN) give 0 instead of undefined behaviour.
uint32_t render_float_to_bits(float value);

// Releases everything a compiler attached to a render object owns, and deletes it.
void render_release_compiler(ShaderCompiler *compiler);

// Sends every used light slot again (after creation or reset): its light, then on or off.
void render_resend_lights(RenderContext *context);
// The reset of an existing device in the registry's order; 1 when Reset succeeded.
int render_reset_device(RenderContext *context);
// States every draw relies on, given at creation and after each reset: lighting off (lighting is in
// effects), linear filtering, stage 0 alpha from texture x diffuse.
void render_default_device_state(RenderContext *context);
// Sends the device states of modes 1, 4, 5, 6, 11, 12, 13 and 21 again, those that were ever set.
void render_replay_device_state(RenderContext *context);
// Built-in effects 0 to 8 from their effect texts; a failure is logged and leaves its slot null.
void render_builtin_create(RenderContext *context);
// The effect text of built-in n; null for the slots without one.
const char *render_builtin_text(int32_t n);

// The atlas's tile size T, fixed from g_lightmap_tile_size (validated) when the atlas first needs it.
int32_t lightmap_atlas_tile(RenderContext *context);
// First-fit search of a map of `cells` x `cells` for a free block of step x step cells aligned to
// the step; (row << 16) | column, or -1.
int32_t lightmap_atlas_find_free_cells(const uint8_t *map, int32_t cells, int32_t column_step, int32_t row_step);
// Marks size x size cells (size 1, 2 or 4) from (column, row) as taken.
void lightmap_atlas_mark_cells(uint8_t *map, int32_t cells, int32_t column, int32_t row, int32_t size);
// Hands every queued rectangle of both texture tables to its texture and empties the queues.
void texture_tables_flush_dirty(RenderContext *context);

// ---- the full mesh builder's group list (ordered by the packed material key) ---------------------

constexpr int32_t kRenderGroupParts = 9;  // parts 0 to 8

// What a draw range carries exactly; two faces share a group only when all of it is equal.
struct RenderGroupFields {
    uint16_t texture1;
    uint16_t texture2;
    uint16_t page1;
    uint16_t page2;
    uint32_t material;
};

struct RenderGroupNode {
    int32_t *face_lists[kRenderGroupParts];  // malloc'd face indices per part
    int32_t face_counts[kRenderGroupParts];
    int32_t capacities[kRenderGroupParts];
    uint32_t key;
    RenderGroupFields fields;
    RenderGroupNode *next;
    RenderGroupNode *prev;

    RenderGroupNode *set(const RenderGroupFields &f)
    {
        fields = f;
        return this;
    }
};

// The cursor node is the search's own; the list's cursor index is not used.
using RenderGroupList = IndexedList<RenderGroupNode>;

// The node of a group, searched from the cursor towards the end the key points to (the list is not
// sorted, so a group behind the cursor can get a second node); a new one goes to the end the
// search reached. The cursor stays where the search stopped.
RenderGroupNode *render_keyed_list_find_or_insert(RenderGroupList *list, uint32_t key,
                                                  const RenderGroupFields &fields);
RenderGroupNode *render_keyed_list_append(RenderGroupList *list, uint32_t key);
void render_keyed_node_clear(RenderGroupNode *node);
// Frees every node with its face lists.
void render_keyed_list_free(RenderGroupList *list);

// The shadow-volume builder with its adjacency path chosen: an edge map, or the linear search.
void render_build_shadow_volume_with(RenderObject *object, const MeshObject *mesh, uint32_t options, bool edge_map);

// Set once the log has been opened in this run (then lines are appended).
extern bool g_render_log_opened;
