// The renderer: the one render context with its named variables, device creation, frames with the
// device's loss and reset, the log, transforms and light slots, and the 2D batch flush. Render
// objects are in render/render_object.h (made from meshes in render/render_mesh.h), textures and
// the lightmap atlas in render/texture.h.
// Everything runs on the main thread.
#pragma once

#include "render/render_mesh.h"
#include "render/render_object.h"
#include "render/texture.h"

#include <cstdint>

constexpr int kRenderLightSlots = 1024;
constexpr int kRenderBuiltinEffects = 19;
constexpr int kRenderTargetSlots = 10;
constexpr int kRenderBatchTriangles = 512;
constexpr int kRenderModes = 40;
constexpr int kRenderLightsOn = 16;
constexpr int kRenderGroupPages = 16;
constexpr int32_t kRenderVarMissing = -666;  // what render_var_get reads for a missing variable
constexpr int32_t kRenderNoTexture = -555;   // a bound texture id of none

// A named 32-bit setting, one node of the context's variable list.
struct RenderVariable {
    char name[64];
    uint32_t hash;  // sum of the name's bytes, compared before the name
    int32_t value;
    uint32_t word;
    uint8_t byte;
    RenderVariable *next;
    RenderVariable *prev;
};
typedef IndexedList<RenderVariable> RenderVariableList;

// The full state of one light; the device's light is a copy of it.
struct LightSlot {
    float position[3];  // point light: position; directional: unit direction
    float colour[3];
    float linear_attenuation;
    float range;
    uint8_t directional;
    uint32_t enabled;  // the device light is switched on
    float current_colour[4];
    float base_colour[4];
    float specular[4];
};

// One vertex of the 2D batch: XYZRHW | DIFFUSE | TEX1, 28 bytes.
struct RenderBatchVertex {
    float x, y, z, rhw;
    uint32_t colour;
    float u, v;
};
static_assert(sizeof(RenderBatchVertex) == 28);

struct RenderContext {
    RenderVariableList variables;
    uint8_t light_used[kRenderLightSlots];  // set by the light setters, cleared at device creation
    LightmapBlockList atlas_blocks;
    uint8_t *occupancy[kTextureSlots];  // per lightmap page, (512 / T)^2 cells (malloc); cells are only
                                        // marked until the page is opened again or freed
    TextureTable main_textures;
    TextureTable lightmap_textures;
    int32_t batch_triangles;
    RenderBatchVertex *batch;  // room for 512 triangles (malloc) while 2D drawing is on
    ID3DXEffect *effects[kRenderBuiltinEffects];
    ID3DXEffect *current_pair_effect;
    ID3DXEffect *current_third_effect;
    IDirect3D9 *d3d;
    IDirect3DDevice9 *device;
    D3DPRESENT_PARAMETERS present;  // as the device was made, for its resets
    IDirect3DTexture9 *render_textures[kRenderTargetSlots];
    HWND window;
    HINSTANCE instance;
    int32_t width;  // of the window, in pixels
    int32_t height;
    LightSlot lights[kRenderLightSlots];
    int32_t bound_texture[4];  // -555 none; the first is stage 0's
    float base_matrix[16];     // behind every world matrix
    float world_matrix[16];
    float view_matrix[16];
    float ambient[3];
    int32_t atlas_tile_size;  // T of the atlas's pages since its reset; 0 before
    int32_t current_group;    // lightmap page group taking the next block
    int32_t group_pages[kRenderGroupPages];
    DrawHookTable *draw_hooks;  // set by a user while it draws, else null
    RenderObject embedded_objects[4];  // 0: the dynamic object, 1: the glare billboard
    // Views and drawing (render/render_draw.h).
    float display_scale;
    float focal;  // pixels; 0 reads as 0.4 x width
    float near_plane;
    float far_plane;
    float projection_matrix[16];
    D3DVIEWPORT9 viewport;
    RenderObject *current_object;
    RenderObject *dynamic_object;
    ID3DXEffect *effect_object;  // when set, every object draws with it
    int32_t texture_id_offset;   // added to the first texture of each draw range (640 or 0)
    float frame_ms;
    float frames_per_second;
    int64_t present_last_count;
    int32_t mode_value[kRenderModes];  // the last value of each render mode; -1 never set
    DWORD alpha_ref;                   // mode 21's three parts, for the replay after a reset
    DWORD alpha_func;
    DWORD alpha_on;
    RenderBatchVertex *batch_parked;  // mode 27 = 88 keeps the array here
    int32_t lights_on[kRenderLightsOn];  // slots switched on, in the order they were
    int32_t lights_on_count;
};

// The game's one render context.
extern RenderContext g_render_context;
// The first context constructed and the first device made: objects without their own take them.
extern RenderContext *g_render_first_context;
extern IDirect3DDevice9 *g_render_first_device;
// Default-pool dynamic buffers with system copies (render variable "T"), set at device creation.
extern uint8_t g_render_dynamic_buffers;
// Capabilities, set at device creation: more than one texture stage, the DOTPRODUCT3 texture
// operation, pixel shader 1.4 or later, pixel shader 2.0 or later.
extern uint8_t g_render_cap_multitexture;
extern uint8_t g_render_cap_dot3;
extern uint8_t g_render_cap_ps14;
extern uint8_t g_render_cap_ps20;
// When set, shader compile errors also go to the log. Nothing sets it.
extern uint8_t g_render_log_errors;

// ---- the context and its variables -----------------------------------------------------------------

// Start-up: empty texture tables, lights off, identity matrices, the built-in variables.
void render_context_construct(RenderContext *context);
// Exit: frees the variables and the batch array, and forgets the context as the first one.
void render_context_destroy(RenderContext *context);

uint32_t render_var_name_hash(const char *name);
// Names are significant to 63 bytes. Null when missing.
RenderVariable *render_var_find(RenderContext *context, const char *name);
// A variable of value 0, unless one of that name exists.
void render_var_create(RenderContext *context, const char *name);
// The value, or -666 when missing.
int32_t render_var_get(RenderContext *context, const char *name);
// The value's address, the variable made when missing.
int32_t *render_var_ref(RenderContext *context, const char *name);
// Makes the 33 built-in variables (or resets them) to their defaults, in table order.
void render_vars_create_builtin(RenderContext *context);
// Appends a copy of the record's name, hash, value, word and byte; returns the node.
RenderVariable *render_var_list_append(RenderVariableList *list, const RenderVariable &record);
void render_vars_free_all(RenderContext *context);
// Techniques of built-in effects 6, 7 and 8 from "J", "a", "b", "c" and the capability flags.
void render_select_effect_techniques(RenderContext *context);

// Appends the line and a line feed to "rar3a_log.txt", truncated by the first write of a run.
void render_log_line(const char *text);

// ---- device and frames ----------------------------------------------------------------------------

// Makes the device for the context's window and size (1), or resets the device it has; 0 on failure.
int render_create_device(RenderContext *context);
// False when the device is lost or was just reset (draw nothing this frame); else begins the scene.
bool render_begin_frame(RenderContext *context);
// Flushes the 2D batch, hands queued texture rectangles to the device, ends the scene.
void render_end_frame(RenderContext *context);
// Releases every resource of the renderer and the device.
void render_shutdown_device(RenderContext *context);
// Draws the pending 2D triangles in one call and empties the batch.
void render_flush_2d_batch(RenderContext *context);

// ---- transforms and lights -----------------------------------------------------------------------

// Device WORLD := m x base matrix; the context keeps m.
void render_set_world_matrix(RenderContext *context, const float *m);
// Device VIEW := m with its second column negated; the context keeps m.
void render_set_view_matrix(RenderContext *context, const float *m);
void light_set_ambient(RenderContext *context, float r, float g, float b);
// Fill slot n (0 to 1023) and send it; the light is not switched on.
void light_set_point(RenderContext *context, int32_t n, float x, float y, float z, float r, float g, float b,
                     float linear_attenuation, float range);
void light_set_directional(RenderContext *context, int32_t n, float dx, float dy, float dz, float r, float g,
                           float b);
// Sends slot n from its fields and switches the device light off.
void light_send_disabled(RenderContext *context, int32_t n);
// The world point under a screen position at view depth 1, through g_render_context's device.
float *render_unproject_point(float sx, float sy, float *out);
