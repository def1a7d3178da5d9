// Font set-up, second half: the glyph line rasterised through FreeType at twice the size, then
// thresholded, ringed with the outline, shadowed, coloured and halved into an RGBA strip.
#include "game/font.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// Lines wider than this are refused: no style the parser accepts comes near it.
constexpr int32_t kMaxLineWidth = 1 << 20;

int32_t floor64(FT_Pos v) { return (int32_t)(v >> 6); }
int32_t ceil64(FT_Pos v) { return (int32_t)((v + 63) >> 6); }

// The pen advance after one character, in 26.6 units.
int32_t pen_advance(const FontStyle *style, const FT_Glyph_Metrics &m, unsigned char c)
{
    int32_t a = m.width != 0 ? (int32_t)(m.horiAdvance + 128 + 128 * ceil64(m.width)) : (int32_t)(m.horiAdvance + 384);
    int32_t p = a / 3;
    if (style->bold != 0) p += style->bold_strength;
    if (c == ' ') p += 640;
    return p;
}

bool load(FT_Face face, unsigned char c)
{
    return FT_Load_Glyph(face, FT_Get_Char_Index(face, c), 0) == 0;
}

// Copies the rendered bitmap at (row, column) of the line, clipped to it.
void copy_bitmap(const FT_Bitmap &bitmap, uint8_t *line, int32_t width, int32_t height, int32_t row, int32_t column)
{
    if (!bitmap.buffer || bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) return;
    int32_t pitch = std::abs(bitmap.pitch);
    for (int32_t y = 0; y < (int32_t)bitmap.rows; y++) {
        int32_t ly = row + y;
        if (ly < 0 || ly >= height) continue;
        const uint8_t *source = bitmap.buffer + (size_t)y * pitch;
        for (int32_t x = 0; x < (int32_t)bitmap.width; x++) {
            int32_t lx = column + x;
            if (lx >= 0 && lx < width) line[(size_t)ly * width + lx] = source[x];
        }
    }
}

void smear_right(uint8_t *line, int32_t width, int32_t height, int32_t times)
{
    for (int32_t k = 0; k < times; k++)
        for (int32_t y = 0; y < height; y++) {
            uint8_t *row = line + (size_t)y * width;
            for (int32_t x = width - 1; x >= 1; x--) row[x] = (uint8_t)std::min(255, row[x - 1] + row[x]);
        }
}

void lerp_colour(const int32_t *top, const int32_t *bottom, int32_t y, int32_t height, uint8_t *out)
{
    for (int i = 0; i < 3; i++) out[i] = (uint8_t)(top[i] + (bottom[i] - top[i]) * y / height);
}

// The mask coloured into RGBA, over the shadow it casts.
void colour_strip(const FontStyle *style, const uint8_t *mask, uint8_t *rgba, int32_t width, int32_t height)
{
    if (style->shadow_on) {
        for (int32_t y = style->shadow_dy; y < height; y++)
            for (int32_t x = style->shadow_dx; x < width; x++)
                if (mask[(size_t)(y - style->shadow_dy) * width + x - style->shadow_dx]) {
                    uint8_t *p = rgba + ((size_t)y * width + x) * 4;
                    p[0] = p[1] = p[2] = 0;
                    p[3] = (uint8_t)style->shadow_alpha;
                }
    }
    const ImageData &fill = style->fill_image;
    bool filled = style->fill_pixels && style->fill_width > 0 && style->fill_height > 0 &&
                  style->fill_width <= fill.width && style->fill_height <= fill.height;
    for (int32_t y = 0; y < height; y++) {
        uint8_t body[3], outline[3];
        lerp_colour(style->body_top, style->body_bottom, y, height, body);
        lerp_colour(style->outline_top, style->outline_bottom, y, height, outline);
        for (int32_t x = 0; x < width; x++) {
            uint8_t m = mask[(size_t)y * width + x];
            if (m != 255 && m != 128) continue;
            uint8_t *p = rgba + ((size_t)y * width + x) * 4;
            const uint8_t *colour = m == 128 ? outline : body;
            if (m == 255 && filled)
                colour = style->fill_pixels +
                         ((size_t)(y % style->fill_height) * fill.width + x % style->fill_width) * 4;
            memcpy(p, colour, 3);
            p[3] = 255;
        }
    }
}

uint8_t *halve(const uint8_t *rgba, int32_t width, int32_t height)
{
    int32_t w = width / 2, h = height / 2;
    uint8_t *out = (uint8_t *)malloc((size_t)w * h * 4 + 1);
    if (!out) return nullptr;
    for (int32_t j = 0; j < h; j++)
        for (int32_t i = 0; i < w; i++)
            for (int c = 0; c < 4; c++) {
                const uint8_t *s = rgba + ((size_t)(2 * j) * width + 2 * i) * 4 + c;
                size_t row = (size_t)width * 4;
                out[((size_t)j * w + i) * 4 + c] = (uint8_t)((s[0] + s[4] + s[row] + s[row + 4]) / 4);
            }
    return out;
}

}  // namespace

uint8_t *font_rasterise_text_line(FontStyle *style, const char *text)
{
    FT_Face face = style->face;
    if (!face || !text) return nullptr;
    size_t length = strlen(text);
    int32_t min_x = 2024, max_x = -2024, min_y = 2024, max_y = -2024;
    int64_t p = 0;
    for (size_t i = 0; i < length; i++) {
        unsigned char c = (unsigned char)text[i];
        FT_Glyph_Metrics m{};
        if (load(face, c)) m = face->glyph->metrics;
        int32_t top = floor64(m.horiBearingY);
        int32_t bottom = top - ceil64(m.height);
        int32_t left = floor64(m.horiBearingX);
        int32_t right = left + ceil64(m.width);
        int32_t pp = (int32_t)(p / 64);
        min_x = std::min(min_x, left + pp);
        max_x = std::max(max_x, right + pp);
        min_y = std::min(min_y, bottom);
        max_y = std::max(max_y, style->ascent);
        p += pen_advance(style, m, c);
        if (p / 64 > kMaxLineWidth) return nullptr;
    }
    max_x = std::max(max_x, (int32_t)(p / 64));
    int64_t width = (int64_t)max_x - min_x + 2, height = (int64_t)max_y - min_y + 1;
    if (style->shadow_on) width += style->shadow_dx, height += style->shadow_dy;
    width += width & 1;
    height += height & 1;
    if (length == 0 || width <= 0 || height <= 0 || width > kMaxLineWidth || height > 4096) return nullptr;
    style->line_width = (int32_t)width;
    style->line_height = (int32_t)height;
    uint8_t *line = (uint8_t *)calloc((size_t)width * height, 1);
    if (!line) return nullptr;

    int32_t glyph = 0;
    p = -64 * (int64_t)min_x;
    for (size_t i = 0; i < length; i++) {
        unsigned char c = (unsigned char)text[i];
        FT_Glyph_Metrics m{};
        int32_t column = min_x + (int32_t)(p / 64) + 1;
        if (load(face, c)) {
            m = face->glyph->metrics;
            if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) == 0)
                copy_bitmap(face->glyph->bitmap, line, style->line_width, style->line_height,
                            style->ascent - floor64(m.horiBearingY), column);
        }
        if (c != ' ' && glyph < kFontGlyphCount) style->glyph_start[glyph++] = column;
        p += pen_advance(style, m, c);
    }
    int32_t end = std::min(style->line_width, min_x + (int32_t)(p / 64) + 1);
    while (glyph <= kFontGlyphCount) style->glyph_start[glyph++] = end;
    if (style->bold != 0) smear_right(line, style->line_width, style->line_height, style->bold_strength / 64);
    return line;
}

uint8_t *font_dilate_mask(uint8_t *mask, int32_t width, int32_t height)
{
    if (!mask) return nullptr;
    uint8_t *out = (uint8_t *)calloc((size_t)width * height + 1, 1);
    if (!out) return mask;
    for (int32_t y = 1; y < height - 1; y++)
        for (int32_t x = 1; x < width - 1; x++) {
            size_t i = (size_t)y * width + x;
            if (mask[i] == 255) out[i] = 255;
            else if (mask[i - 1] || mask[i + 1] || mask[i - width] || mask[i + width]) out[i] = 128;
        }
    free(mask);
    return out;
}

uint8_t *font_build_glyph_atlas(FontStyle *style)
{
    char text[kFontGlyphCount * 3 + 1];
    for (int i = 0; i < kFontGlyphCount; i++) {
        text[3 * i] = (char)(kFontFirstCode + i);
        text[3 * i + 1] = text[3 * i + 2] = ' ';
    }
    text[kFontGlyphCount * 3] = '\0';
    return font_build_text_strip(style, text);
}

uint8_t *font_build_text_strip(FontStyle *style, const char *text)
{
    uint8_t *mask = font_rasterise_text_line(style, text);
    if (!mask) return nullptr;
    int32_t width = style->line_width, height = style->line_height;
    size_t count = (size_t)width * height;
    for (size_t i = 0; i < count; i++) mask[i] = mask[i] > 120 ? 255 : 0;
    for (int32_t ring = 0; ring < style->outline_size && mask; ring++) mask = font_dilate_mask(mask, width, height);
    uint8_t *rgba = mask ? (uint8_t *)calloc(count * 4, 1) : nullptr;
    if (!rgba) {
        free(mask);
        return nullptr;
    }
    colour_strip(style, mask, rgba, width, height);
    free(mask);
    uint8_t *strip = halve(rgba, width, height);
    free(rgba);
    style->line_width = width / 2;
    style->line_height = height / 2;
    // A glyph's outline reaches left of where it was drawn.
    for (int i = 0; i <= kFontGlyphCount; i++)
        style->glyph_start[i] = std::max(0, style->glyph_start[i] - style->outline_size) / 2;
    return strip;
}
