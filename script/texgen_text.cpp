// Text layers of the texture scripts: a text rasterised by FreeType into a coverage mask at twice
// its shown size, then drawn as a darkening halo and a coloured fill, optionally with a shadow.
#include "script/texgen_local.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

int32_t g_texgen_text_width, g_texgen_text_height;

namespace {

// 26.6 values to whole pixels, rounding down or up.
int32_t floor64(FT_Pos value) { return (int32_t)(value >> 6); }
int32_t ceil64(FT_Pos value) { return floor64(value + 63); }

struct TextExtent {
    int32_t xmin, xmax, bottom, top;
    int64_t pen;  // 26.6
    bool any;     // at least one glyph loaded
};

bool load_glyph(FT_Face face, char16_t unit)
{
    return FT_Load_Glyph(face, FT_Get_Char_Index(face, unit), FT_LOAD_IGNORE_TRANSFORM) == 0;
}

int64_t advance(const TexgenFont *font, FT_GlyphSlot slot)
{
    return slot->metrics.horiAdvance + (font->bold ? font->bold_advance : 0);
}

TextExtent text_extent(const char16_t *text, const TexgenFont *font)
{
    TextExtent e = {2024, -2024, 2024, -2024, 0, false};
    FT_Face face = font->face;
    for (; *text; text++) {
        if (!load_glyph(face, *text)) continue;
        const FT_Glyph_Metrics &m = face->glyph->metrics;
        int32_t left = floor64(m.horiBearingX) + (int32_t)(e.pen / 64);
        e.xmin = std::min(e.xmin, left);
        e.xmax = std::max(e.xmax, left + ceil64(m.width));
        e.bottom = std::min(e.bottom, floor64(m.horiBearingY) - ceil64(m.height));
        e.top = std::max(e.top, font->ascent);
        e.pen += advance(font, face->glyph);
        e.any = true;
    }
    return e;
}

// Copies the glyph's rows into the mask from (column, row), clipped to the mask; a row overwrites
// what an earlier glyph left there.
void copy_glyph(uint8_t *mask, int64_t width, int64_t height, const FT_Bitmap &bitmap, int64_t column, int64_t row)
{
    if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY || !bitmap.buffer) return;
    int64_t x0 = std::max<int64_t>(column, 0), x1 = std::min<int64_t>(column + bitmap.width, width);
    if (x0 >= x1) return;
    for (int64_t r = 0; r < (int64_t)bitmap.rows; r++) {
        int64_t y = row + r;
        if (y < 0 || y >= height) continue;
        int64_t source_row = bitmap.pitch >= 0 ? r : (int64_t)bitmap.rows - 1 - r;
        const uint8_t *source = bitmap.buffer + source_row * std::abs(bitmap.pitch);
        memcpy(mask + y * width + x0, source + (x0 - column), (size_t)(x1 - x0));
    }
}

const int32_t FAR = INT32_MAX / 2;

// City-block distance from each pixel to the nearest seed (distance 0 on entry, FAR elsewhere).
void city_block_distances(int32_t *d, int width, int height)
{
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            int32_t *p = d + (size_t)y * width + x;
            if (x > 0) *p = std::min(*p, p[-1] + 1);
            if (y > 0) *p = std::min(*p, p[-width] + 1);
        }
    for (int y = height - 1; y >= 0; y--)
        for (int x = width - 1; x >= 0; x--) {
            int32_t *p = d + (size_t)y * width + x;
            if (x < width - 1) *p = std::min(*p, p[1] + 1);
            if (y < height - 1) *p = std::min(*p, p[width] + 1);
        }
}

}  // namespace

uint8_t *texgen_text_mask(const char16_t *text, const TexgenFont *font)
{
    g_texgen_text_width = g_texgen_text_height = 0;
    if (!text || !font->face) return nullptr;
    TextExtent e = text_extent(text, font);
    int32_t xmax = std::max(e.xmax, (int32_t)(e.pen / 64));
    int64_t width = (int64_t)xmax - e.xmin + 1, height = (int64_t)e.top - e.bottom + 1;
    if (!e.any || width < 1 || height < 1 || width * height > TEXGEN_MAX_MASK_PIXELS) return nullptr;
    uint8_t *mask = (uint8_t *)calloc((size_t)(width * height), 1);
    if (!mask) return nullptr;

    FT_Face face = font->face;
    int64_t pen = -64 * (int64_t)e.xmin;
    for (const char16_t *unit = text; *unit; unit++) {
        if (!load_glyph(face, *unit)) continue;
        int64_t row = font->ascent - floor64(face->glyph->metrics.horiBearingY);
        int64_t step = advance(font, face->glyph);
        if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) == 0)
            copy_glyph(mask, width, height, face->glyph->bitmap, e.xmin + pen / 64, row);
        pen += step;
    }
    if (font->bold)
        for (int64_t y = 0; y < height; y++) {
            uint8_t *m = mask + y * width;
            for (int pass = 0; pass < font->bold_advance / 64; pass++)
                for (int64_t x = width - 1; x >= 1; x--) m[x] = (uint8_t)std::min(255, m[x - 1] + m[x]);
        }
    g_texgen_text_width = (int32_t)width;
    g_texgen_text_height = (int32_t)height;
    return mask;
}

void texgen_text_measure(const char16_t *text, const TexgenFont *font)
{
    g_texgen_text_width = g_texgen_text_height = 0;
    if (!text || !font->face) return;
    TextExtent e = text_extent(text, font);
    if (!e.any) return;
    int32_t xmax = std::max((int32_t)(e.pen / 64), e.xmax);
    g_texgen_text_width = (int32_t)((float)(xmax - e.xmin) * g_texgen_scale_x);
    g_texgen_text_height = (int32_t)((float)(e.top - e.bottom) * g_texgen_scale_y);
}

uint8_t *texgen_mask_grow(uint8_t *mask, int width, int height)
{
    uint8_t *grown = (uint8_t *)calloc((size_t)width * height, 1);
    if (!grown) return mask;
    for (int y = 1; y < height - 1; y++)
        for (int x = 1; x < width - 1; x++) {
            const uint8_t *m = mask + (size_t)y * width + x;
            if (*m == 255)
                grown[(size_t)y * width + x] = 255;
            else if (m[1] || m[-1] || m[width] || m[-width])
                grown[(size_t)y * width + x] = 128;
        }
    free(mask);
    return grown;
}

// After n passes an inner pixel that was not 255 is non-zero when a 255 pixel lies within n steps, or
// when a pixel that was non-zero lies exactly n steps away along a path through inner pixels. With
// two inner pixels or more a path can bounce to lengthen by two, and paths are city-block ones, so
// "exactly n" is "within n, at the parity of n". The corners reach no inner pixel.
uint8_t *texgen_mask_grow_times(uint8_t *mask, int width, int height, int passes)
{
    if (passes <= 0) return mask;
    if ((int64_t)(width - 2) * (height - 2) < 2) {
        // Without two inner pixels the border is empty after one pass and the mask settles after two.
        for (int pass = std::min(passes, 2); pass > 0; pass--) mask = texgen_mask_grow(mask, width, height);
        return mask;
    }
    size_t size = (size_t)width * height;
    uint8_t *grown = (uint8_t *)calloc(size, 1);
    int32_t *d = (int32_t *)malloc(size * sizeof(int32_t));
    if (!grown || !d) {
        free(grown);
        free(d);
        return mask;
    }
    auto inner = [&](int x, int y) { return x > 0 && y > 0 && x < width - 1 && y < height - 1; };
    auto corner = [&](int x, int y) { return (x == 0 || x == width - 1) && (y == 0 || y == height - 1); };
    // Three rounds of seeds: the inner 255 pixels, then the non-zero pixels of each colour of the
    // chequerboard, whose distances to a pixel have the parity of the two colours' difference.
    for (int round = 0; round < 3; round++) {
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++) {
                uint8_t m = mask[(size_t)y * width + x];
                bool seed = round == 0 ? m == 255 && inner(x, y) : m && !corner(x, y) && ((x + y) & 1) == round - 1;
                d[(size_t)y * width + x] = seed ? 0 : FAR;
            }
        city_block_distances(d, width, height);
        for (int y = 1; y < height - 1; y++)
            for (int x = 1; x < width - 1; x++) {
                size_t at = (size_t)y * width + x;
                bool counts = round == 0 || (((x + y) & 1) ^ (passes & 1)) == round - 1;
                if (counts && d[at] <= passes) grown[at] = 128;
                if (mask[at] == 255) grown[at] = 255;
            }
    }
    free(d);
    free(mask);
    return grown;
}

void texgen_text_halo_pass(const TexgenFont *font, int x, uint8_t *out, const char16_t *text, int y, int mode)
{
    uint8_t *mask = texgen_text_mask(text, font);
    if (!mask) return;
    int wm = g_texgen_text_width, hm = g_texgen_text_height;
    int pw = wm + 6, ph = hm + 6;
    uint8_t *padded = (uint8_t *)calloc((size_t)pw * ph, 1);
    if (padded)
        for (int r = 0; r < hm; r++) memcpy(padded + (size_t)(r + 3) * pw + 3, mask + (size_t)r * wm, (size_t)wm);
    free(mask);
    if (!padded) return;
    padded = texgen_mask_grow_times(padded, pw, ph, font->outline);

    int dw = (int)((float)(pw / 2) * g_texgen_scale_x);
    int dh = (int)((float)(ph / 2) * g_texgen_scale_y);
    texgen_for_rect(out, x - 2, y - 2, dw, dh, 0, dw, 0, dh, [&](int i, int j, uint8_t *p) {
        int64_t c = (int64_t)i * (wm + 5) / dw, r = (int64_t)j * (hm + 5) / dh;
        const uint8_t *s = padded + r * pw + c;
        const uint8_t samples[4] = {s[0], s[1], s[pw], s[pw + 1]};
        for (int k = 0; k < 3; k++) {
            int background = p[k], sum = 0;
            for (uint8_t sample : samples) sum += !sample ? background : mode == 1 ? 0 : background >> 1;
            p[k] = (uint8_t)(sum >> 2);
        }
    });
    free(padded);
}

int texgen_text_fill_pass(const char16_t *text, uint8_t *out, int x, int y, const TexgenFont *font, int mode)
{
    uint8_t *mask = texgen_text_mask(text, font);
    if (!mask) return 0;
    int wm = g_texgen_text_width, hm = g_texgen_text_height;
    int dw = (int)((float)(wm / 2) * g_texgen_scale_x);
    int dh = (int)((float)(hm / 2) * g_texgen_scale_y);
    int half = font->size >> 1;
    texgen_for_rect(out, x, y, dw, dh, 0, dw, 0, dh, [&](int i, int j, uint8_t *p) {
        int64_t c = (int64_t)i * (wm - 1) / dw, r = (int64_t)j * (hm - 1) / dh;
        const uint8_t *s = mask + r * wm + c;
        float a = (float)((s[0] + s[1] + s[wm] + s[wm + 1]) >> 2) / 255.0f;
        float f = 0.0f;
        if (mode == 0) {
            int t = j;
            if (font->colour_mode == 2) t = std::clamp(j - (int)(-7.0 * std::sin(i * 3.14159 / 90.0)), 0, half);
            // Rows below the gradient's end keep its bottom colour.
            f = std::min((float)t / (float)(half + 1), 1.0f);
        }
        for (int k = 0; k < 3; k++) {
            int colour = p[k] >> 1;
            if (mode == 0) {
                float top = (float)font->colour_top[k], bottom = (float)font->colour_bottom[k];
                colour = std::clamp((int)(top + (bottom - top) * f), 0, 255);
            }
            p[k] = (uint8_t)((float)p[k] * (1.0f - a) + (float)colour * a);
        }
    });
    free(mask);
    return dw;
}

void texgen_draw_text(uint8_t *out, const TexgenFont *font, const TexgenStep *step)
{
    if (!step->text) return;
    bool centred = step->kind == TEXGEN_CTEXTE;
    int x = texgen_design_x(step->x), y = texgen_design_y(step->y);
    if (font->shadow == 1) {
        int xs = (int)((float)x + (float)font->shadow_dx * g_texgen_scale640_x);
        int ys = (int)((float)y + (float)font->shadow_dy * g_texgen_scale640_y);
        if (centred) {
            texgen_text_measure(step->text, font);
            xs -= g_texgen_text_width / 4;
        }
        texgen_text_halo_pass(font, xs, out, step->text, ys, 1);
        texgen_text_fill_pass(step->text, out, xs, ys, font, 1);
    }
    if (centred) {
        texgen_text_measure(step->text, font);
        x -= g_texgen_text_width / 4;
    }
    texgen_text_halo_pass(font, x, out, step->text, y, 0);
    texgen_text_fill_pass(step->text, out, x, y, font, 0);
}
