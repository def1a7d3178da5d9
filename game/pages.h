// Full-screen pages: a picture or texture-script result at the render size, cut into square tiles
// in slots 1950..2029 and drawn with its own fade (level 0..1 in, 1..2 hold, 2..3 out). Main thread.
#pragma once

#include <cstdint>

struct RenderContext;

// How a page holds and ends.
enum : uint8_t {
    kPageFade = 0,          // fade in, hold, fade out; Escape skips to the fade-out
    kPageFadeIn = 1,        // finished once the level passes 1.1
    kPageStill = 2,         // drawn at the level its owner sets; reads no input, never finishes
    kPageHoldForClick = 4,  // holds above 1.5 until a click or Return
};

enum : uint8_t { kPageFromPicture = 0, kPageFromScript = 2 };

constexpr int32_t kPageFirstSlot = 1950;
constexpr int32_t kPageSlots = 80;  // 1950..2029: the ball's slot 2030 stays clear

struct PageSlot {
    uint8_t *pixels;  // W x H RGBA (malloc), freed by ui_page_free
    float level;
    float step;  // added per draw that advances
    uint8_t source_type;
    uint8_t mode;
    uint8_t clicked;
    uint32_t tiles_uploaded;
    int32_t width, height;  // of pixels: the render size when loaded, which may change before a draw
};

struct PageTileSet {
    RenderContext *render;
    int32_t first_slot;  // tile (c, r) uses first_slot + c + cols x r
    float brightness;
    int32_t tiles_alpha;
    int32_t cols, rows;  // set by the draw
    int32_t tile_side;   // 256, doubled until the grid fits its slots; set by the draw
};

// The one tile set of the background and presentation pages.
extern PageTileSet g_page_tiles;

// Pixels at the render size from a picture's base name or a script file; transparent black when
// the source is missing or of another type.
void ui_page_load(PageTileSet *tiles, PageSlot *page, const char *name);
// Releases the tiles and frees the pixels.
void ui_page_free(PageTileSet *tiles, PageSlot *page);
// The grid for the render size: cols, rows and tile side.
void ui_page_grid(PageTileSet *tiles);
void ui_page_tile_upload(PageTileSet *tiles, int32_t col, int32_t row, const uint8_t *pixels, int32_t width,
                         int32_t height);
// Draws the page and advances its fade; 1 on the draw that finishes it (its tiles released).
int ui_page_draw(PageTileSet *tiles, PageSlot *page);
