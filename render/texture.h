// Textures of the renderer: the two texture tables of 2048 numbered slots (a texture id is a slot
// number), the lightmap atlas of 128 x 128 pages in the lightmap table, the binding of textures
// to render objects' effects, and the per-draw hook table.
#pragma once

#include "geometry/list.h"
#include "platform/gpu_effect.h"

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
