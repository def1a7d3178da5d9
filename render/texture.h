// Textures of the renderer: the two texture tables of 2048 numbered slots (a texture id is a slot
// number), the lightmap atlas of 128 x 128 pages in the lightmap table, the binding of textures
// to render objects' effects, and the per-draw hook table.
#pragma once

#include "geometry/list.h"
#include "platform/gpu/gpu_effect.h"

#include <cstdint>

struct RenderContext;
struct RenderObject;

constexpr int kTextureSlots = 2048;

// Pixel kinds: the device format a record obtained.
enum : int32_t {
    kPixelR5G6B5 = 0,
    kPixelX1R5G5B5 = 1,
    kPixelA4R4G4B4 = 2,
    kPixelNone16 = 3,
    kPixelX8R8G8B8 = -1,
    kPixelA8R8G8B8 = -2,
    kPixelNone32 = -3,
};

// Creation options.
enum : uint8_t {
    kTextureAlpha = 1,
    kTextureDither = 2,
    kTextureClamp = 4,
    kTextureMipmap = 16,
};

// One occupied slot. The record holds one reference to its device texture.
struct TextureRecord {
    int32_t id;
    uint32_t clamp;  // 1: CLAMP addressing, 0: WRAP
    int32_t pixel_kind;
    int32_t larger_side;
    int32_t width;
    int32_t height;
    uint32_t mipmapped;     // 1: a mip chain sampled with a linear mip filter
    const char *group_tag;  // the table's tag when made (not owned)
    uint8_t *pixel_copy;    // optional CPU copy attached by a user (malloc); freed with the record
    DirtyRectList dirty;    // rectangles written since the last end of frame
    IDirect3DDevice9 *device;
    IDirect3DTexture9 *texture;  // null when creation failed
    TextureRecord *next;
    TextureRecord *prev;
};

struct TextureTable {
    IndexedList<TextureRecord> records;  // every live record
    TextureRecord **slots;               // 2048 entries, made on first use; null = free
    const char *group_tag;               // when set, release-all frees only records made under it
    RenderContext *context;
};

// One block of the lightmap atlas; its index in the context's block list is its id.
struct LightmapBlock {
    int32_t page;         // slot of the page in the lightmap table
    int32_t tile_column;  // in tiles of T texels
    int32_t tile_row;
    void *second_buffer;  // owned (malloc) by the scene code's use; freed with the atlas
    uint8_t *pixel_copy;  // RGBA copy of the block's pixels (malloc), with render variable "V"
    int32_t words[12];    // the scene code's
    int32_t cell_column;  // 0 to 3 within the tile
    int32_t cell_row;
    int32_t width_cells;  // 1, 2 or 4
    int32_t height_cells;
};
typedef IndexedList<ListNode<LightmapBlock>> LightmapBlockList;

// Hooks that a user installs in the render context while it draws; the final one may veto a draw.
typedef void (*DrawEntryHook)(RenderObject *object, uint32_t value, int32_t extra);
typedef bool (*DrawFinalHook)(RenderObject *object, int32_t a, int32_t b, int32_t c);

constexpr int kDrawHookEntries = 128;

struct DrawHookTable {
    int32_t cached_ids[2];
    DrawEntryHook entry_hook1;  // (object, value, a)
    DrawEntryHook entry_hook2;  // (object, value, b)
    DrawEntryHook entry_hook3;  // (object, value, a)
    DrawEntryHook entry_hook4;  // (object, value, b)
    DrawFinalHook final_hook;
    uint32_t values[kDrawHookEntries];
    int32_t count;
};

// Sampler states of an explicit texture binding (stage 0).
struct TextureSamplerStates {
    DWORD address_u;   // D3DTADDRESS_WRAP or D3DTADDRESS_CLAMP
    DWORD address_v;
    DWORD min_filter;  // D3DTEXF_*
    DWORD mag_filter;
    DWORD mip_filter;
};

// The atlas tile size T in texels (4, 8, 16, 32, 64 or 128; anything else reads as 16). The scene
// code sets it before it resets the atlas; the atlas keeps the T of its reset until it is freed.
extern int32_t g_lightmap_tile_size;

// ---- tables and slots ------------------------------------------------------------------------------
// Pixels for creation are 32-bit R, G, B, A rows packed top to bottom; for updates 24-bit R, G, B.

// The record of a slot (0 to 2047), made anew: an old one there is released whole. Null out of range.
TextureRecord *texture_get_record(TextureTable *table, int32_t slot);
// The lowest free slot's new record; null when all 2048 are taken.
TextureRecord *texture_find_free_slot(TextureTable *table);
TextureRecord *texture_list_append_record(IndexedList<TextureRecord> *list);
// A device texture in the slot, 16-bit when render variable "W" is 0, else 32-bit; `options` are
// the kTexture* bits. A failure shows in the record's pixel kind (3 or -3) and a null texture.
void texture_create_in_slot(TextureTable *table, int32_t slot, int32_t width, int32_t height, const uint8_t *pixels,
                            int32_t source_width, int32_t source_height, uint8_t options);
// The same in the lowest free slot; its id, or -1 when the table is full.
int32_t texture_create_in_free_slot(TextureTable *table, int32_t width, int32_t height, const uint8_t *pixels,
                                    int32_t source_width, int32_t source_height, uint8_t options);
void texture_create_device_16bit(TextureRecord *record, uint32_t clamp, int32_t width, int32_t height,
                                 const uint8_t *pixels, int32_t source_width, int32_t source_height, bool alpha,
                                 bool mipmapped, bool dither);
void texture_create_device_32bit(TextureRecord *record, uint32_t clamp, int32_t width, int32_t height,
                                 const uint8_t *pixels, int32_t source_width, int32_t source_height, bool alpha,
                                 bool mipmapped);
// A (width / 2) x (height / 2) image (malloc, the caller frees), each texel weighted from its
// source texel and four neighbours; null when the result is empty.
uint8_t *texture_halve_image(const uint8_t *pixels, int32_t width, int32_t height);
// Writes a block of RGB pixels at (x, y) of level 0 and queues its rectangle for the frame end.
// A block not wholly inside the texture is refused.
void texture_update_rect_rgb(TextureRecord *record, int32_t x, int32_t y, int32_t width, int32_t height,
                             const uint8_t *rgb);
void texture_release_slot(TextureTable *table, int32_t slot);
// Every occupied slot, or with the table's group tag set only the records made under an equal tag.
void texture_release_all(TextureTable *table);
// Destroys every record of the list (slot arrays are the caller's).
void texture_free_record_list(IndexedList<TextureRecord> *list);
// Unlinks and destroys a record of the table, clearing the slot that holds it.
void render_list_remove_node120(TextureTable *table, TextureRecord *record);
void texture_list_remove_last(IndexedList<TextureRecord> *list);
// Releases the texture, frees the pixel copy and the rectangle queue, deletes the record.
void texture_record_destroy(TextureRecord *record);

// ---- front ends (the main table; options gain mip chains with "X" and clamping with "Y") --------

// Sizes are clamped to render variable "D"; the caller keeps its pixels.
void texture_create_from_pixels(RenderContext *context, uint8_t options, int32_t slot, int32_t width, int32_t height,
                                const uint8_t *pixels, int32_t source_width, int32_t source_height);
void texture_create_square_from_pixels(RenderContext *context, int32_t slot, const uint8_t *pixels, int32_t side,
                                       int32_t alpha);
// A texture without clamping in a free slot; its id, or -1.
int32_t texture_create_from_pixels_unclamped(RenderContext *context, const uint8_t *pixels, int32_t side,
                                             int32_t alpha);
// Binds a main-table texture (id -k: render texture k - 1) to stage 0 and records it as bound,
// flushing the 2D batch when the id changes. With render variable "f" on, the sampler states
// follow the record (or the given states); an empty or unknown id binds no texture.
void texture_bind(RenderContext *context, int32_t id);
void texture_bind_with_sampler(RenderContext *context, int32_t id, const TextureSamplerStates *states);

// ---- effect parameters and bindings of render objects ------------------------------------------

void render_effect_set_distort_matrix(RenderObject *object, const float *m);
// VIEWPROJ := the device's view x projection.
void render_effect_set_viewproj_matrix(RenderObject *object);
void render_effect_set_world_matrix(RenderObject *object);
// A named vector parameter of the object's effect ("alpha", "Light"...); nothing without an effect.
void render_effect_set_vector(RenderObject *object, const char *name, const float v[4]);
// Texture-name slots 1 to 9 (effect parameter names such as "Tex"); a null name changes nothing.
void render_object_set_texture_name(RenderObject *object, int32_t slot, const char *name);
void render_object_free_texture_names(RenderObject *object);
// Stage 0 := the texture with its record's sampler states, then handed to the effect parameter
// and captured (one reference, at most six per draw) until render_object_release_captured.
void texture_bind_to_effect(RenderObject *object, int32_t id, const char *parameter);
// The same from the lightmap table with clamping; stage 0 then gets the bound texture back.
void lightmap_bind_to_effect(RenderObject *object, int32_t id, const char *parameter);
// After a draw: releases the captured textures.
void render_object_release_captured(RenderObject *object);
// Runs the entry hooks over the table's values, then the final hook: false vetoes the draw.
bool render_run_stage_callbacks(const DrawHookTable *table, RenderObject *object, int32_t a, int32_t b, int32_t c);

// ---- lightmap atlas ------------------------------------------------------------------------------

// Opens page n (1 to 2047): a black 128 x 128 texture and an empty occupancy map.
void lightmap_atlas_new_page(RenderContext *context, int32_t page);
// A 16 x 16 texture of one colour in slot n of the lightmap table.
void lightmap_create_colour_tile(RenderContext *context, int32_t slot, float r, float g, float b);
// A block of one tile (4 x 4 cells), or of s x s cells (1, 2 or 4), first-fit on the page that
// render variable "B" chooses; its id (0 when no page is left, -1 for a bad size).
int32_t lightmap_atlas_alloc_block(RenderContext *context);
int32_t lightmap_atlas_alloc_cells(RenderContext *context, int32_t size);
// The block's texel rectangle on its page: x, y, width, height.
void lightmap_block_rect(const RenderContext *context, const LightmapBlock *block, int32_t rect[4]);
// Writes a block's pixels (its width x height, row-major) into its page; with "V" on keeps a copy.
void lightmap_atlas_upload_block(int32_t id, RenderContext *context, const uint8_t *rgba);
void lightmap_atlas_upload_block_rgb(int32_t id, RenderContext *context, const uint8_t *rgb);
// Colour tile 0 and the first page of each group, block 0 on page 1.
void lightmap_atlas_reset(RenderContext *context, float r, float g, float b);
// Colour tiles 0 to 7 (first, second, white, third, white...) and pages from 8, block 0 on page 8.
void lightmap_atlas_reset_ex(RenderContext *context, float r1, float g1, float b1, float r2, float g2, float b2,
                             float r3, float g3, float b3);
// Frees the blocks' pixel copies and second buffers; the blocks stay.
void lightmap_atlas_free_page_pixels(RenderContext *context);
// Releases the whole atlas: blocks, page textures, occupancy maps.
void lightmap_atlas_free(RenderContext *context);
