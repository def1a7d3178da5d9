// Render objects: the drawable, device-side form of geometry (vertex, index and per-frame buffers,
// system copies, vertex format, effect and texture names), their per-vertex setters, the registry
// that carries them through device loss, and their release.
//
// Ownership: the user allocates a RenderObject (new), calls render_object_init, sets `flags` and
// has the buffers made; render_object_free gives back everything the object owns (its child
// object included, which is deleted) and leaves the record for the user to delete or reuse.
#pragma once

#include "geometry/list.h"
#include "platform/gpu/gpu_effect.h"

#include <cstdint>

struct RenderContext;
struct ShaderCompiler;

// Build flags (RenderObject::flags).
enum : uint32_t {
    kRenderDiffuse = 0x2,
    kRenderTexColour = 0x4,  // adds 1 to the colour layout; the builders take texture pair 0
    kRenderNormal = 0x8,
    kRenderSecondPair = 0x40,
    kRenderVertexPairs = 0x80,  // the simple loader takes texture pairs per vertex
    kRenderWorldSpace = 0x100,
    kRenderLightmap = 0x200,
    kRenderThreePairs = 0x400,
    kRenderSecondTexture = 0x800,
    kRenderKeepSource = 0x2000,  // array A: the source mesh vertex of each vertex
    kRenderOwnEffect = 0x4000,   // effect compiled from a shader script, owned by the object
    kRenderSkinned = 0x8000,
    kRenderSecondTextureB = 0x10000,
    kRenderHandedness = 0x40000,
    kRenderFrames = 0x80000,
    kRenderNoCaps = 0x100000,  // shadow volumes without caps
    kRenderStatic = 0x200000,
    kRenderUngrouped = 0x800000,
    kRenderTweened = 0x1000000,
};

// Vertex format codes: the low four bits are the layout (0..10), 0x20 marks the skinned form.
enum : int32_t { kRenderFormatSkinned = 0x20 };

// One draw range of an object built by render_build_mesh_render_objects: 30 bytes, packed. The
// texture and page fields hold the exact ids; the material key only orders the ranges.
#pragma pack(push, 1)
struct RenderDrawRange {
    int32_t first_index;
    int32_t end_index;
    int32_t lowest_vertex;
    int32_t vertex_end;
    uint16_t texture1;
    uint16_t texture2;
    uint16_t lightmap_page1;
    uint16_t lightmap_page2;
    uint16_t second_draw;  // non-zero: drawn see-through without depth writes (it hides the ball)
    uint16_t material_bits;  // 0 opaque, 1 alpha blended, 2 alpha added
    uint16_t part;
};
#pragma pack(pop)
static_assert(sizeof(RenderDrawRange) == 30);

typedef IndexedList<ListNode<RenderDrawRange>> RenderDrawRangeList;

constexpr int kRenderTextureNames = 10;
constexpr int kRenderCapturedTextures = 6;

struct RenderObject {
    uint32_t flags = 0;
    uint32_t word = 0;
    int32_t vertex_count = 0;
    int32_t index_count = 0;
    RenderObject *child = nullptr;  // owned (allocated with new); released and deleted with this one
    int32_t stride = 0;
    uint8_t has_draw_ranges = 0;
    int32_t vertices_in_use = 0;
    int32_t indices_in_use = 0;
    int32_t format = 0;
    RenderDrawRangeList ranges;
    // Drawing area, owned by the drawing code.
    uint32_t draw_word = 0;
    float reference_point[3] = {};  // subtracted from light positions
    float object_vector[3] = {};
    uint32_t draw_word2 = 0;
    int32_t light_slot = -1;
    uint32_t light_word = 0;
    float light_scale = 0.0f;
    uint32_t light_word2 = 0;
    int32_t *array_a = nullptr;  // malloc'd
    int32_t *array_b = nullptr;  // malloc'd
    ShaderCompiler *compiler = nullptr;
    RenderContext *context = nullptr;
    char *texture_names[kRenderTextureNames] = {};  // malloc'd effect parameter names, slots 1 to 9
    uint8_t reserved_a[12] = {};
    int32_t current_frame = -1;  // per-frame buffer locked; -1 the main buffer
    float tween_factor = 0.0f;
    uint32_t shared_effect = 0;  // non-zero: effect and compiler belong to someone else
    uint8_t reserved_b = 0;
    int32_t dynamic = 0;
    int32_t first_cap_vertex = 0;  // shadow volumes: where the caps begin
    int32_t first_cap_index = 0;
    int32_t stream0_frame = -1;
    int32_t stream1_frame = 0;
    ID3DXEffect *effect = nullptr;
    uint8_t reserved_c[12] = {};
    int32_t captured_count = 0;
    IDirect3DBaseTexture9 *captured[kRenderCapturedTextures] = {};  // one reference each
    uint8_t *locked_vertices = nullptr;
    uint32_t *locked_indices = nullptr;
    uint8_t *vertex_copy = nullptr;  // dynamic-buffer mode only
    uint32_t *index_copy = nullptr;
    uint8_t **frame_copies = nullptr;  // frame_count entries, dynamic-buffer mode only
    IDirect3DVertexBuffer9 **frame_buffers = nullptr;
    int32_t frame_count = 0;
    IDirect3DVertexBuffer9 *vertex_buffer = nullptr;
    IDirect3DIndexBuffer9 *index_buffer = nullptr;
    IDirect3DDevice9 *device = nullptr;
};

// ---- formats and buffers --------------------------------------------------------------------------

// Gives a new record its starting values (handles null, current frame -1, light slot -1); flags,
// counts, stride, format and the locked pointers are left as they are. Returns the object.
RenderObject *render_object_init(RenderObject *object);
// Vertex size in bytes of a format code; 0 for codes without one.
int32_t render_vertex_size_for_format(int32_t format);
// One vertex buffer of a layout (0..9), plain or skinned, in the default pool (usage dynamic when
// `dynamic` is set too) or the managed one. False when the layout has no buffer or creation fails.
bool render_create_device_vertex_buffer(IDirect3DDevice9 *device, int32_t vertex_count, int32_t layout,
                                        bool skinned, bool default_pool, int32_t dynamic,
                                        IDirect3DVertexBuffer9 **out);
// Makes every device resource of an object whose flags are set, and registers it; buffers it held
// before are released first. Frames are made only with kRenderFrames. Failures leave null handles.
void render_object_create_vertex_buffer(RenderObject *object, int32_t vertex_count, int32_t index_count,
                                        int32_t frame_count);
// Locks the main vertex buffer into `locked_vertices` (null when there is none or the lock fails);
// current frame -1. In dynamic-buffer mode the system copy is copied in first.
void render_object_lock_vertices(RenderObject *object);
// Locks per-frame buffer k into `locked_vertices` and makes it current; false when it has none.
bool render_object_lock_frame(RenderObject *object, int32_t frame);
// Unlocks whichever vertex buffer is locked; locked pointer null, current frame -1.
void render_object_unlock_vertices(RenderObject *object);
// Locks and unlocks the index buffer (`locked_indices`); lock gives false when there is none.
bool render_object_lock_indices(RenderObject *object);
void render_object_unlock_indices(RenderObject *object);
// Gives back everything the object owns; safe to call twice.
void render_object_free(RenderObject *object);
// Compiles a shader script into the object's effect (technique "T0", flag kRenderOwnEffect) on
// its device with the capability flags; null on success, else a malloc'd message naming the
// script line (also logged while g_render_log_errors is set). The caller frees it.
char *render_object_compile_script(RenderObject *object, const char *script);

// ---- per-vertex setters (vertex i of the locked buffer, mirrored into the system copy) ----------
// A setter writes nothing when the layout lacks the element, nothing is locked, or i is outside
// the object's vertices. Colours are 0..1 floats, packed as ARGB.

void render_vertex_set_position(RenderObject *object, int32_t i, float x, float y, float z);
void render_vertex_set_position_v(RenderObject *object, int32_t i, const float *p);
void render_vertex_set_normal(RenderObject *object, int32_t i, float x, float y, float z);
void render_vertex_set_normal_v(RenderObject *object, int32_t i, const float *n);
void render_vertex_set_color_rgb(RenderObject *object, int32_t i, float r, float g, float b);
void render_vertex_set_color_argb(RenderObject *object, int32_t i, float r, float g, float b, float a);
void render_vertex_set_texcoord0(RenderObject *object, int32_t i, float u, float v);
void render_vertex_set_texcoord0_v(RenderObject *object, int32_t i, const float *uv);
void render_vertex_set_second_texcoord(RenderObject *object, int32_t i, float u, float v);
void render_vertex_set_second_texcoord_v(RenderObject *object, int32_t i, const float *uv);
void render_vertex_set_third_texcoord(RenderObject *object, int32_t i, float u, float v);
void render_vertex_set_fourth_texcoord(RenderObject *object, int32_t i, float u);  // v is 1.0

// ---- registry (device loss) ---------------------------------------------------------------------

struct RenderRegistryNode {
    RenderObject *object;
    RenderRegistryNode *next;
    RenderRegistryNode *prev;
};
typedef IndexedList<RenderRegistryNode> RenderRegistry;

// Every object that owns device resources; whole run, main thread only.
extern RenderRegistry g_render_registry;

RenderRegistryNode *render_registry_find_or_add(RenderObject *object);
void render_registry_remove(RenderObject *object);
// Removes every node whose object belongs to the device.
void render_registry_remove_device(IDirect3DDevice9 *device);
RenderRegistryNode *render_registry_append_node();
void render_registry_remove_head();
void render_registry_remove_tail();
// Removes the node at the iteration cursor; the cursor moves to the next node, which is returned.
RenderRegistryNode *render_registry_remove_current();
// The device-loss hooks, in the order the device code calls them around Reset.
void render_registry_effects_lost(IDirect3DDevice9 *device);
void render_registry_release_buffers(IDirect3DDevice9 *device);
void render_registry_restore_buffers(IDirect3DDevice9 *device);
void render_registry_effects_reset(IDirect3DDevice9 *device);
