// Full-screen pages: loading at the render size, tiles in their slots, the fade and its modes.
#include "game/pages.h"

#include "codecs/codecs.h"
#include "game/app.h"
#include "platform/system.h"
#include "render/render_draw.h"
#include "script/texgen.h"

#include <cstdlib>
#include <cstring>

PageTileSet g_page_tiles = {&g_render_context, kPageFirstSlot, 1.0f, 0, 0, 0, 256};

namespace {

constexpr int32_t kLargestTile = 4096;

int32_t tile_slot(const PageTileSet *tiles, int32_t c, int32_t r) { return tiles->first_slot + c + tiles->cols * r; }

bool tile_in_range(const PageTileSet *tiles, int32_t c, int32_t r)
{
    return c + tiles->cols * r < kPageSlots;
}

// Every slot, not only the current grid's: the grid follows the render size, which may have
// changed since the tiles were uploaded.
void release_tiles(PageTileSet *tiles)
{
    for (int32_t i = 0; i < kPageSlots; i++) texture_release_slot(&tiles->render->main_textures, tiles->first_slot + i);
}

// Nearest sampling of a picture of any size onto W x H.
void sample_picture(const ImageData &image, uint8_t *out, int32_t width, int32_t height)
{
    for (int32_t j = 0; j < height; j++) {
        const uint8_t *row = image.pixels + (size_t)((int64_t)j * (image.height - 1) / height) * image.width * 4;
        for (int32_t i = 0; i < width; i++)
            memcpy(out + ((size_t)j * width + i) * 4, row + (size_t)((int64_t)i * (image.width - 1) / width) * 4, 4);
    }
}

void render_script(const char *name, uint8_t *out, int32_t width, int32_t height)
{
    texgen_set_output_size(width, height);
    TexgenScript *script = texgen_script_read(name);
    if (!script) return;
    uint8_t *rendered = texgen_render(script);
    texgen_script_free(script);
    if (!rendered) return;
    for (size_t i = 0; i < (size_t)width * height; i++) {
        memcpy(out + i * 4, rendered + i * 4, 3);
        out[i * 4 + 3] = 255;
    }
    free(rendered);
}

// Holding for a click: the press is taken here and left at -1, so no menu takes it later.
int hold_for_click(PageSlot *page)
{
    if (g_mouse_left_down == 1) page->clicked = 1;
    g_mouse_left_down = -1;
    if (g_key_down[13] == 1) {
        g_key_down[13] = 0;
        page->clicked = 1;
    }
    return 0;
}

int finish(PageTileSet *tiles, PageSlot *page)
{
    release_tiles(tiles);
    page->tiles_uploaded = 0;
    return 1;
}

int advance(PageTileSet *tiles, PageSlot *page)
{
    switch (page->mode) {
    case kPageStill: return 0;
    case kPageHoldForClick:
        if (page->level > 1.5f && !page->clicked) return hold_for_click(page);
        page->level += page->step;
        if (page->level < 3.0f) return 0;
        page->level = 3.0f;
        return finish(tiles, page);
    case kPageFadeIn:
        page->level += page->step;
        return page->level <= 1.1f ? 0 : finish(tiles, page);
    default:
        page->level += page->step;
        if (g_key_down[27]) {
            g_key_down[27] = 0;
            page->level = 3.0f - (page->level < 1.0f ? page->level : 1.0f);
        }
        if (page->level >= 1.0f && page->level < 2.0f) Sleep(5);
        if (page->level < 3.0f) return 0;
        page->level = 3.0f;
        return finish(tiles, page);
    }
}

}  // namespace

void ui_page_grid(PageTileSet *tiles)
{
    RenderContext *context = tiles->render;
    int32_t largest = render_var_get(context, "D");
    if (largest <= 0 || largest > kLargestTile) largest = kLargestTile;
    int32_t side = 256;
    while ((context->width / side + 1) * (context->height / side + 1) > kPageSlots && side * 2 <= largest) side *= 2;
    tiles->tile_side = side;
    tiles->cols = context->width / side + 1;
    tiles->rows = context->height / side + 1;
}

void ui_page_load(PageTileSet *tiles, PageSlot *page, const char *name)
{
    int32_t width = tiles->render->width, height = tiles->render->height;
    free(page->pixels);
    page->pixels = (uint8_t *)calloc((size_t)width * height * 4, 1);
    page->width = page->pixels ? width : 0;
    page->height = page->pixels ? height : 0;
    if (!page->pixels || !name) return;
    if (page->source_type == kPageFromPicture) {
        ImageData image{};
        if (image_load_by_base_name(name, &image, 0) && image.width > 0 && image.height > 0)
            sample_picture(image, page->pixels, width, height);
        free(image.pixels);
    } else if (page->source_type == kPageFromScript) {
        render_script(name, page->pixels, width, height);
    }
}

void ui_page_free(PageTileSet *tiles, PageSlot *page)
{
    release_tiles(tiles);
    page->tiles_uploaded = 0;
    free(page->pixels);
    page->pixels = nullptr;
    page->width = page->height = 0;
}

void ui_page_tile_upload(PageTileSet *tiles, int32_t col, int32_t row, const uint8_t *pixels, int32_t width,
                         int32_t height)
{
    if (!tile_in_range(tiles, col, row)) return;
    const int32_t side = tiles->tile_side;
    uint8_t *tile = (uint8_t *)calloc((size_t)side * side * 4, 1);
    if (!tile) return;
    int32_t x0 = side * col, y0 = side * row;
    int32_t w = width - x0 < side ? width - x0 : side, h = height - y0 < side ? height - y0 : side;
    for (int32_t y = 0; pixels && w > 0 && y < h; y++)
        memcpy(tile + (size_t)y * side * 4, pixels + ((size_t)(y0 + y) * width + x0) * 4, (size_t)w * 4);
    RenderContext *context = tiles->render;
    render_set_mode(7, context, 8);
    render_set_mode(7, context, 16);
    texture_create_from_pixels(context, tiles->tiles_alpha ? kTextureAlpha : 0, tile_slot(tiles, col, row), side,
                               side, tile, side, side);
    render_set_mode(7, context, 9);
    render_set_mode(7, context, 15);
    free(tile);
}

int ui_page_draw(PageTileSet *tiles, PageSlot *page)
{
    RenderContext *context = tiles->render;
    ui_page_grid(tiles);
    if (!page->tiles_uploaded) {
        for (int32_t c = 0; c < tiles->cols; c++)
            for (int32_t r = 0; r < tiles->rows; r++)
                ui_page_tile_upload(tiles, c, r, page->pixels, page->width, page->height);
        page->tiles_uploaded = 1;
    }
    if (page->mode != kPageStill) Sleep(5);
    float level = page->level, k = tiles->brightness;
    float a = level <= 1.0f ? level : (level <= 2.0f ? 1.0f : 3.0f - level);
    float b = level < 1.5f ? level * (2.0f / 3.0f) * k : k;
    if (page->clicked == 1 && level > 1.5f) b = (1.0f - (level - 1.5f) * (2.0f / 3.0f)) * k;

    render_set_mode(6, context, 1);
    render_set_mode(13, context, 1);
    const float side = (float)tiles->tile_side;
    for (int32_t c = 0; c < tiles->cols; c++)
        for (int32_t r = 0; r < tiles->rows; r++) {
            if (!tile_in_range(tiles, c, r)) continue;
            texture_bind(context, tile_slot(tiles, c, r));
            render_draw_2d_quad_rgba(context, side * c, side * r, side, side, 0.0f, 0.0f, 1.0f, 1.0f, a, a, a, b);
        }
    render_set_mode(13, context, 0);
    render_set_mode(6, context, 0);
    return advance(tiles, page);
}
