// Font set-up, last steps: the strip cut into glyph boxes and packed into 256 x 256 pages in the
// font's texture slots; the start-up of both fonts and the release of their pages.
#include "game/font.h"

#include "render/render.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

Font g_font_primary;
Font g_font_secondary;

namespace {

constexpr int32_t kMaxPages = 16;
constexpr int32_t kWidgetSlots = 1015;  // the first fixed slot after the primary font's pages

// Pages stop before the next owner's slots.
int32_t page_limit(int32_t first_slot)
{
    if (first_slot < kWidgetSlots) return std::max(0, std::min(kMaxPages, kWidgetSlots - first_slot));
    return std::min(kMaxPages, kTextureSlots - first_slot);
}

bool column_empty(const uint8_t *pixels, int32_t width, int32_t height, int32_t x)
{
    for (int32_t y = 0; y < height; y++)
        if (pixels[((size_t)y * width + x) * 4 + 3]) return false;
    return true;
}

// Each glyph: the ink columns inside its own span [start[i], start[i + 1]).
void boxes_from_spans(Font *font, const uint8_t *pixels, int32_t width, int32_t height, const int32_t *start)
{
    for (int i = 0; i < kFontGlyphCount; i++) {
        int32_t from = std::clamp(start[i], 0, width), to = std::clamp(start[i + 1], from, width);
        int32_t first = -1, last = -1;
        for (int32_t x = from; x < to; x++)
            if (!column_empty(pixels, width, height, x)) {
                if (first < 0) first = x;
                last = x;
            }
        font->glyphs[i].atlas_x = first < 0 ? from : first;
        font->glyphs[i].width = first < 0 ? 0 : last - first + 1;
    }
}

// Each glyph: the next run of non-empty columns; a scan that reaches the edge leaves width 0.
void boxes_from_scan(Font *font, const uint8_t *pixels, int32_t width, int32_t height)
{
    int32_t x = 0;
    for (int i = 0; i < kFontGlyphCount; i++) {
        while (x < width && column_empty(pixels, width, height, x)) x++;
        font->glyphs[i].atlas_x = x;
        while (x < width && !column_empty(pixels, width, height, x)) x++;
        font->glyphs[i].width = x - font->glyphs[i].atlas_x;
    }
}

// Alpha, with the renderer's rules for mip chains ("X"), clamping ("Y") and the largest side ("D").
void upload_page(Font *font, int32_t page, const uint8_t *pixels)
{
    texture_create_from_pixels(font->context, kTextureAlpha, font->first_texture + page, kFontPageSide,
                               kFontPageSide, pixels, kFontPageSide, kFontPageSide);
}

// Packs the boxes line by line into pages and uploads them; glyphs past the last page get width 0.
void pack_pages(Font *font, const uint8_t *pixels, int32_t width)
{
    const int32_t lh = font->line_height;
    const size_t page_bytes = (size_t)kFontPageSide * kFontPageSide * 4;
    uint8_t *page = (uint8_t *)calloc(page_bytes, 1);
    int32_t limit = page_limit(font->first_texture);
    if (!page || lh > kFontPageSide || limit == 0) {
        free(page);
        for (FontGlyph &g : font->glyphs) g.width = 0;
        return;
    }
    int32_t page_index = 0, y = 0;
    bool full = false;
    for (int i = 0; i < kFontGlyphCount && !full;) {
        int32_t x0 = font->glyphs[i].atlas_x, end = i;
        while (end < kFontGlyphCount && font->glyphs[end].atlas_x + font->glyphs[end].width - x0 < kFontPageSide) {
            FontGlyph &g = font->glyphs[end++];
            g.page_x = g.atlas_x - x0;
            g.page_y = y;
            g.texture = font->first_texture + page_index;
        }
        const FontGlyph &last = font->glyphs[end - 1];
        int32_t columns = std::min(last.atlas_x + last.width, width) - x0;
        for (int32_t row = 0; row < lh && columns > 0; row++)
            memcpy(page + ((size_t)(y + row) * kFontPageSide) * 4, pixels + ((size_t)row * width + x0) * 4,
                   (size_t)columns * 4);
        i = end;
        y += lh + 1;
        if (i < kFontGlyphCount && y + lh > kFontPageSide) {
            upload_page(font, page_index, page);
            if (page_index + 1 == limit) {
                render_log_line("Font: the pages are full; the remaining glyphs are not drawn");
                for (int j = i; j < kFontGlyphCount; j++) font->glyphs[j].width = 0;
                full = true;
                break;
            }
            memset(page, 0, page_bytes);
            page_index++;
            y = 0;
        }
    }
    if (!full) upload_page(font, page_index, page);
    font->last_page = page_index;
    free(page);
}

void build_font(Font *font, FontStyle *style, const char *style_file, int32_t first_slot, RenderContext *context)
{
    font_reset(font);
    font->context = context;
    uint8_t *strip = nullptr;
    if (FT_Init_FreeType(&style->library) != 0) {
        style->library = nullptr;
        render_log_line("Font: FreeType does not start");
    } else if (font_parse_style_file(style_file, style)) {
        strip = font_build_glyph_atlas(style);
    }
    if (strip) font_create_atlas_texture(font, first_slot, strip, style->line_width, style->line_height,
                                         style->glyph_start);
    else font->first_texture = first_slot;
    if (style->face) FT_Done_Face(style->face);
    style->face = nullptr;
    if (style->library) FT_Done_FreeType(style->library);
    style->library = nullptr;
    font->letter_spacing = -2;
    font->space_width = 8;
}

}  // namespace

void font_reset(Font *font)
{
    free(font->atlas_pixels);
    free(font->chars);
    memset(font, 0, sizeof *font);
    font->last_page = -1;
    font->letter_spacing = 1;
    font->space_width = 4;
    font->alpha = 1.0f;
    font->width_divisor = 1.0f;
}

void font_create_atlas_texture(Font *font, int32_t first_slot, uint8_t *pixels, int32_t width, int32_t height,
                               const int32_t *glyph_start)
{
    font->first_texture = first_slot;
    free(font->atlas_pixels);
    font->atlas_pixels = pixels;
    font->atlas_width = width;
    font->line_height = height;
    free(font->chars);
    font->chars = (char *)malloc(kFontGlyphCount + 1);
    if (font->chars) {
        for (int i = 0; i < kFontGlyphCount; i++) font->chars[i] = (char)(kFontFirstCode + i);
        font->chars[kFontGlyphCount] = '\0';
    }
    font->last_page = -1;
    if (pixels && width > 0 && height > 0) {
        if (glyph_start) boxes_from_spans(font, pixels, width, height, glyph_start);
        else boxes_from_scan(font, pixels, width, height);
        for (FontGlyph &g : font->glyphs)
            if (g.width >= kFontPageSide) g.width = 0;
        pack_pages(font, pixels, width);
    }
    free(font->atlas_pixels);
    font->atlas_pixels = nullptr;
    memset(font->glyph_of_char, 0, sizeof font->glyph_of_char);
    for (int i = 0; i < kFontGlyphCount; i++) font->glyph_of_char[kFontFirstCode + i] = i;
}

void font_init(RenderContext *context)
{
    FontStyle style;
    font_style_init(&style);
    build_font(&g_font_primary, &style, "data/gfx/script_font.txt", kFontPrimarySlot, context);
    build_font(&g_font_secondary, &style, "data/gfx/script_font2.txt", kFontSecondarySlot, context);
    font_style_release(&style);
}

void font_release_textures(Font *font)
{
    if (font->context)
        for (int32_t p = 0; p <= font->last_page; p++)
            texture_release_slot(&font->context->main_textures, font->first_texture + p);
    font->last_page = -1;
}
