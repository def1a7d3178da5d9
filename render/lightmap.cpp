// The lightmap atlas: 128 x 128 pages of the lightmap table with occupancy maps of (512 / T)^2
// cells, blocks of 1, 2 or 4 cells placed first-fit by the page policy of render variable "B",
// uploads into the pages, the plain colour tiles, resets and release.
#include "render/render_local.h"

#include <cstdlib>
#include <cstring>

int32_t g_lightmap_tile_size = 16;

namespace {

constexpr int32_t kPageSide = 128;
constexpr int32_t kTileSide = 16;  // the colour tiles

int32_t cells_per_side(RenderContext *context) { return 512 / lightmap_atlas_tile(context); }

// Render variable "B", kept within the 16 groups the context has.
int32_t group_count(RenderContext *context)
{
    int32_t k = render_var_get(context, "B");
    return k < 1 ? 1 : k > kRenderGroupPages ? kRenderGroupPages : k;
}

// Rows at the top of a page known to be full, so that a search starts below them: pages fill from
// the top and their cells are only ever marked until the page is opened afresh or freed, which
// forget the count. Kept per page with the context, map and side it was counted on (anything else
// starts again from row 0). Main thread only, as the atlas is.
struct FullRows {
    const RenderContext *context;
    const uint8_t *map;
    int32_t cells;
    int32_t rows;
};
FullRows g_full_rows[kTextureSlots];

void forget_full_rows(const RenderContext *context, int32_t page)
{
    if (g_full_rows[page].context == context) g_full_rows[page] = FullRows{};
}

int32_t full_rows(RenderContext *context, int32_t page, int32_t cells)
{
    FullRows &known = g_full_rows[page];
    const uint8_t *map = context->occupancy[page];
    if (known.context != context || known.map != map || known.cells != cells) known = FullRows{context, map, cells, 0};
    while (known.rows < cells && !memchr(map + size_t(known.rows) * size_t(cells), 0, size_t(cells))) known.rows++;
    return known.rows;
}

void free_maps(RenderContext *context)
{
    for (int32_t page = 0; page < kTextureSlots; page++) {
        forget_full_rows(context, page);
        free(context->occupancy[page]);
        context->occupancy[page] = nullptr;
    }
}

void solid_texture(RenderContext *context, int32_t slot, int32_t side, uint8_t r, uint8_t g, uint8_t b, uint8_t a)
{
    uint8_t *pixels = static_cast<uint8_t *>(malloc(size_t(side) * size_t(side) * 4));
    if (!pixels) return;
    for (int32_t i = 0; i < side * side; i++) {
        pixels[4 * i] = r;
        pixels[4 * i + 1] = g;
        pixels[4 * i + 2] = b;
        pixels[4 * i + 3] = a;
    }
    texture_create_in_slot(&context->lightmap_textures, slot, side, side, pixels, side, side, 0);
    free(pixels);
}

uint8_t colour_byte(float value) { return uint8_t(render_float_to_bits(value * 255.0f)); }

int32_t find_free_cells_from(const uint8_t *map, int32_t cells, int32_t column_step, int32_t row_step,
                             int32_t full_rows);

// Searches a page, opening it when it has no map yet; the position or -1.
int32_t search_page(RenderContext *context, int32_t page, int32_t size)
{
    if (!context->occupancy[page]) lightmap_atlas_new_page(context, page);
    if (!context->occupancy[page]) return -1;
    const int32_t cells = cells_per_side(context);
    return find_free_cells_from(context->occupancy[page], cells, size, size, full_rows(context, page, cells));
}

// The page and position of a new block of size x size cells; false when no page is left.
bool place_block(RenderContext *context, int32_t size, int32_t *page_out, int32_t *position)
{
    int32_t k = group_count(context);
    int32_t page;
    if (k == 1) {
        // The last open page of the run that starts at the first group's page (1 after a reset,
        // 8 after the extended reset).
        page = context->group_pages[0] >= 1 ? context->group_pages[0] : 1;
        while (page + 1 < kTextureSlots && context->occupancy[page] && context->occupancy[page + 1]) page++;
        *position = search_page(context, page, size);
        if (*position < 0 && ++page < kTextureSlots) *position = search_page(context, page, size);
    } else {
        int32_t g = context->current_group;
        if (g < 0 || g >= k) g = 0;
        if (context->group_pages[g] < 1) context->group_pages[g] = g + 1;
        page = context->group_pages[g];
        *position = search_page(context, page, size);
        if (*position < 0) {
            page += k;
            if (page < kTextureSlots) {
                context->group_pages[g] = page;
                *position = search_page(context, page, size);
            }
        }
        context->current_group = (g + 1) % k;
    }
    *page_out = page;
    return *position >= 0 && page < kTextureSlots;
}

int32_t alloc_block(RenderContext *context, int32_t size)
{
    if (size != 1 && size != 2 && size != 4) return -1;
    int32_t page = 0, position = -1;
    if (!place_block(context, size, &page, &position)) {
        render_log_line("lightmap atlas: no page left for a block");
        return 0;
    }
    int32_t row = position >> 16, column = position & 0xFFFF;
    lightmap_atlas_mark_cells(context->occupancy[page], cells_per_side(context), column, row, size);
    LightmapBlock block = {};
    block.page = page;
    block.tile_column = column / 4;
    block.tile_row = row / 4;
    block.cell_column = column % 4;
    block.cell_row = row % 4;
    block.width_cells = block.height_cells = size;
    list_add_atlas_page(&context->atlas_blocks, block);
    return context->atlas_blocks.count - 1;
}

// Block 0 of a reset: the first tile of `page`.
void reset_block(RenderContext *context, int32_t page)
{
    if (context->occupancy[page]) lightmap_atlas_mark_cells(context->occupancy[page], cells_per_side(context), 0, 0, 4);
    LightmapBlock block = {};
    block.page = page;
    block.width_cells = block.height_cells = 4;
    list_add_atlas_page(&context->atlas_blocks, block);
}

// Keeps a copy of the block's pixels when "V" is missing or on; `bytes` per source pixel.
void keep_copy(RenderContext *context, LightmapBlock *block, const uint8_t *pixels, int32_t texels, int bytes)
{
    if (render_var_get(context, "V") == 0) return;
    if (!block->pixel_copy) block->pixel_copy = static_cast<uint8_t *>(calloc(size_t(texels), 4));
    if (!block->pixel_copy) return;
    for (int32_t i = 0; i < texels; i++) memcpy(block->pixel_copy + 4 * i, pixels + size_t(i) * bytes, size_t(bytes));
}

TextureRecord *page_record(RenderContext *context, int32_t page)
{
    const TextureTable &table = context->lightmap_textures;
    return table.slots && page >= 0 && page < kTextureSlots ? table.slots[page] : nullptr;
}

}  // namespace

int32_t lightmap_atlas_tile(RenderContext *context)
{
    if (context->atlas_tile_size == 0) {
        int32_t t = g_lightmap_tile_size;
        context->atlas_tile_size = t == 4 || t == 8 || t == 16 || t == 32 || t == 64 || t == 128 ? t : 16;
    }
    return context->atlas_tile_size;
}

int32_t lightmap_atlas_find_free_cells(const uint8_t *map, int32_t cells, int32_t column_step, int32_t row_step)
{
    return find_free_cells_from(map, cells, column_step, row_step, 0);
}

namespace {

// The search of lightmap_atlas_find_free_cells with rows 0 .. full_rows - 1 known to be full: the
// bands wholly inside them hold no candidate, so the answer is the same.
int32_t find_free_cells_from(const uint8_t *map, int32_t cells, int32_t column_step, int32_t row_step,
                             int32_t full_rows)
{
    if (column_step < 1 || row_step < 1) return -1;
    for (int32_t row = full_rows / row_step * row_step; row + row_step <= cells; row += row_step) {
        // A band with a full row holds no candidate: pages fill from the top, so this skips the
        // filled part of a page at one look a row.
        bool band_open = true;
        for (int32_t r = row; r < row + row_step && band_open; r++) band_open = memchr(map + r * cells, 0, size_t(cells)) != nullptr;
        if (!band_open) continue;
        for (int32_t column = 0; column + column_step <= cells; column += column_step) {
            // Every cell of the candidate, so that blocks of mixed sizes never overlap.
            bool free_cells = true;
            for (int32_t r = row; r < row + row_step && free_cells; r++)
                for (int32_t c = column; c < column + column_step && free_cells; c++)
                    free_cells = map[r * cells + c] == 0;
            if (free_cells) return row << 16 | column;
        }
    }
    return -1;
}

}  // namespace

void lightmap_atlas_mark_cells(uint8_t *map, int32_t cells, int32_t column, int32_t row, int32_t size)
{
    if ((size != 1 && size != 2 && size != 4) || column < 0 || row < 0 || column + size > cells ||
        row + size > cells)
        return;
    for (int32_t r = row; r < row + size; r++) memset(map + r * cells + column, 1, size_t(size));
}

void lightmap_atlas_new_page(RenderContext *context, int32_t page)
{
    if (page < 0 || page >= kTextureSlots) return;
    solid_texture(context, page, kPageSide, 0, 0, 0, 0);
    int32_t cells = cells_per_side(context);
    forget_full_rows(context, page);
    free(context->occupancy[page]);
    context->occupancy[page] = static_cast<uint8_t *>(calloc(size_t(cells) * size_t(cells), 1));
}

void lightmap_create_colour_tile(RenderContext *context, int32_t slot, float r, float g, float b)
{
    solid_texture(context, slot, kTileSide, colour_byte(r), colour_byte(g), colour_byte(b), 255);
}

int32_t lightmap_atlas_alloc_block(RenderContext *context) { return alloc_block(context, 4); }

int32_t lightmap_atlas_alloc_cells(RenderContext *context, int32_t size) { return alloc_block(context, size); }

void lightmap_block_rect(const RenderContext *context, const LightmapBlock *block, int32_t rect[4])
{
    int64_t t = context->atlas_tile_size ? context->atlas_tile_size : 16;
    int64_t x = int64_t(block->cell_column) * t / 4 + int64_t(block->tile_column) * t;
    int64_t y = int64_t(block->cell_row) * t / 4 + int64_t(block->tile_row) * t;
    int64_t w = int64_t(block->width_cells) * t / 4, h = int64_t(block->height_cells) * t / 4;
    // A block read back from a file may name texels off its page: it then has none.
    bool inside = x >= 0 && y >= 0 && w > 0 && h > 0 && x + w <= kPageSide && y + h <= kPageSide;
    rect[0] = inside ? int32_t(x) : 0;
    rect[1] = inside ? int32_t(y) : 0;
    rect[2] = inside ? int32_t(w) : 0;
    rect[3] = inside ? int32_t(h) : 0;
}

void lightmap_atlas_upload_block(int32_t id, RenderContext *context, const uint8_t *rgba)
{
    ListNode<LightmapBlock> *node = list_get_atlas_page(&context->atlas_blocks, id);
    if (!node || !rgba) return;
    LightmapBlock *block = &node->value;
    int32_t rect[4];
    lightmap_block_rect(context, block, rect);
    int32_t texels = rect[2] * rect[3];
    if (texels <= 0) return;
    keep_copy(context, block, rgba, texels, 4);
    uint8_t *rgb = static_cast<uint8_t *>(malloc(size_t(texels) * 3));
    if (!rgb) return;
    for (int32_t i = 0; i < texels; i++) memcpy(rgb + 3 * i, rgba + 4 * i, 3);
    texture_update_rect_rgb(page_record(context, block->page), rect[0], rect[1], rect[2], rect[3], rgb);
    free(rgb);
}

void lightmap_atlas_upload_block_rgb(int32_t id, RenderContext *context, const uint8_t *rgb)
{
    ListNode<LightmapBlock> *node = list_get_atlas_page(&context->atlas_blocks, id);
    if (!node || !rgb) return;
    LightmapBlock *block = &node->value;
    int32_t rect[4];
    lightmap_block_rect(context, block, rect);
    if (rect[2] * rect[3] <= 0) return;
    keep_copy(context, block, rgb, rect[2] * rect[3], 3);
    texture_update_rect_rgb(page_record(context, block->page), rect[0], rect[1], rect[2], rect[3], rgb);
}

void lightmap_atlas_reset(RenderContext *context, float r, float g, float b)
{
    free_maps(context);
    context->atlas_tile_size = 0;
    lightmap_atlas_tile(context);
    int32_t k = group_count(context);
    lightmap_create_colour_tile(context, 0, r, g, b);
    for (int32_t i = 1; i <= k; i++) {
        context->group_pages[i - 1] = i;
        lightmap_atlas_new_page(context, i);
    }
    reset_block(context, 1);
    context->current_group = 1 % k;
}

void lightmap_atlas_reset_ex(RenderContext *context, float r1, float g1, float b1, float r2, float g2, float b2,
                             float r3, float g3, float b3)
{
    free_maps(context);
    context->atlas_tile_size = 0;
    lightmap_atlas_tile(context);
    int32_t k = group_count(context);
    const float colours[8][3] = {{r1, g1, b1}, {r2, g2, b2}, {1, 1, 1}, {r3, g3, b3},
                                 {1, 1, 1},    {1, 1, 1},    {1, 1, 1}, {1, 1, 1}};
    for (int32_t slot = 0; slot < 8; slot++)
        lightmap_create_colour_tile(context, slot, colours[slot][0], colours[slot][1], colours[slot][2]);
    context->current_group = 0;
    for (int32_t i = 0; i < k; i++) {
        context->group_pages[i] = 8 + i;
        lightmap_atlas_new_page(context, 8 + i);
    }
    reset_block(context, 8);
    context->current_group = 1 % k;
}

void lightmap_atlas_free_page_pixels(RenderContext *context)
{
    for (ListNode<LightmapBlock> *node = context->atlas_blocks.first; node; node = node->next) {
        free(node->value.pixel_copy);
        free(node->value.second_buffer);
        node->value.pixel_copy = nullptr;
        node->value.second_buffer = nullptr;
    }
}

void lightmap_atlas_free(RenderContext *context)
{
    lightmap_atlas_free_page_pixels(context);
    list_clear_atlas_pages(&context->atlas_blocks);
    TextureTable *table = &context->lightmap_textures;
    texture_release_all(table);
    free(table->slots);
    table->slots = nullptr;
    texture_free_record_list(&table->records);
    free_maps(context);
    context->atlas_tile_size = 0;
    for (int32_t &page : context->group_pages) page = 0;
    context->current_group = 0;
}
