// Bitmap layers of the texture scripts: generated clouds, tiled, stretched, blended and faded
// bitmaps, and the feathered rectangles that lay a colour or darken.
#include "script/texgen_local.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// The scripts' own generator, so that the same script always gives the same clouds.
uint32_t g_random_state = 1;

uint8_t clamp_byte(int64_t value) { return (uint8_t)std::clamp<int64_t>(value, 0, 255); }

// A midpoint from the ends p and q of a span of n cells, stored only in a cell still 0.
void set_midpoint(uint8_t *cell, int p, int q, int n)
{
    int value = texgen_rand() % n + (p + q) / 2 - n / 2;
    if (*cell == 0) *cell = clamp_byte(value);
}

int64_t wrap(int64_t value, int32_t size)
{
    value %= size;
    return value < 0 ? value + size : value;
}

// The five parts of a feathered rectangle: inner(pixel) inside, band(pixel, a) in the four bands.
template <typename Inner, typename Band>
void feather_rect(uint8_t *out, int x, int y, int w, int h, int k, Inner inner, Band band)
{
    if (k < h - k && k < w - k)
        texgen_for_rect(out, x, y, w, h, k, w - k, k, h - k, [&](int, int, uint8_t *p) { inner(p); });
    auto weighted = [&](int i, int j, uint8_t *p) { band(p, texgen_feather_weight(i, j, w, h, k)); };
    texgen_for_rect(out, x, y, w, h, 0, w, 0, k, weighted);
    texgen_for_rect(out, x, y, w, h, w - k, w, k, h - k, weighted);
    texgen_for_rect(out, x, y, w, h, 0, k, k, h - k, weighted);
    texgen_for_rect(out, x, y, w, h, 0, w, h - k, h, weighted);
}

const uint8_t *bitmap_pixel(const TexgenBitmap *bitmap, int64_t column, int64_t row)
{
    return bitmap->pixels + ((size_t)row * bitmap->width + (size_t)column) * 4;
}

}  // namespace

void texgen_srand(uint32_t seed) { g_random_state = seed; }

int texgen_rand(void)
{
    g_random_state = g_random_state * 214013u + 2531011u;
    return (int)((g_random_state >> 16) & 0x7FFF);
}

void texgen_random_fill_b(uint8_t *map, int x0, int x1, int row, int stride)
{
    uint8_t *line = map + (size_t)row * stride;
    for (int n = x1 - x0 + 1; n > 1; n = x1 - x0 + 1) {
        int m = (x0 + x1) / 2;
        set_midpoint(&line[m], line[x0], line[x1], n);
        if (n < 3) return;
        texgen_random_fill_b(map, x0, m, row, stride);
        x0 = m;
    }
}

void texgen_random_fill_c(uint8_t *map, int y0, int y1, int column, int stride)
{
    auto at = [&](int y) -> uint8_t & { return map[(size_t)y * stride + column]; };
    for (int n = y1 - y0 + 1; n > 1; n = y1 - y0 + 1) {
        int m = (y0 + y1) / 2;
        set_midpoint(&at(m), at(y0), at(y1), n);
        if (n < 3) return;
        texgen_random_fill_c(map, y0, m, column, stride);
        y0 = m;
    }
}

void texgen_random_fill_a(uint8_t *map, int x0, int y0, int x1, int y1, int stride)
{
    auto at = [&](int x, int y) -> uint8_t & { return map[(size_t)y * stride + x]; };
    for (;;) {
        int nx = x1 - x0 + 1, ny = y1 - y0 + 1;
        if (nx < 2 || ny < 2) return;
        int mx = (x0 + x1) / 2, my = (y0 + y1) / 2;
        set_midpoint(&at(mx, y0), at(x0, y0), at(x1, y0), nx);
        set_midpoint(&at(mx, y1), at(x0, y1), at(x1, y1), nx);
        set_midpoint(&at(x0, my), at(x0, y0), at(x0, y1), ny);
        set_midpoint(&at(x1, my), at(x1, y0), at(x1, y1), ny);
        int m = std::max(nx, ny);
        int sum = at(x0, y0) + at(x1, y0) + at(x0, y1) + at(x1, y1);
        // Like the midpoints, the centre keeps a value already there: on a span of two cells it is an
        // edge cell, and the edges must stay as set for the tile to wrap.
        int centre = texgen_rand() % m + sum / 4 - m / 2;
        if (at(mx, my) == 0) at(mx, my) = clamp_byte(centre);
        if (nx < 3 || ny < 3) return;
        texgen_random_fill_a(map, x0, y0, mx, my, stride);
        texgen_random_fill_a(map, mx, y0, x1, my, stride);
        texgen_random_fill_a(map, x0, my, mx, y1, stride);
        x0 = mx;
        y0 = my;
    }
}

uint8_t *texgen_clouds_height_map(int32_t width, int32_t height)
{
    int stride = width + 1;
    uint8_t *map = (uint8_t *)calloc((size_t)stride * (height + 1), 1);
    if (!map) return nullptr;
    auto at = [&](int x, int y) -> uint8_t & { return map[(size_t)y * stride + x]; };
    at(0, 0) = (uint8_t)(128 + texgen_rand() % 127);
    at(width, 0) = (uint8_t)(128 + texgen_rand() % 127);
    at(0, height) = at(width, 0);
    texgen_random_fill_b(map, 0, width, 0, stride);
    texgen_random_fill_c(map, 0, height, 0, stride);
    // Opposite edges equal, all four corners equal to the first: the picture tiles without seams.
    for (int x = 0; x <= width; x++) at(x, height) = at(x, 0);
    for (int y = 0; y <= height; y++) at(width, y) = at(0, y);
    texgen_random_fill_a(map, 0, 0, width, height, stride);
    return map;
}

int texgen_clouds_make(TexgenBitmap *bitmap, int32_t red, int32_t green, int32_t blue, int32_t width, int32_t height)
{
    if (width < 1 || height < 1 || width > TEXGEN_MAX_CLOUDS_SIDE || height > TEXGEN_MAX_CLOUDS_SIDE) return 0;
    uint8_t *map = texgen_clouds_height_map(width, height);
    uint8_t *pixels = map ? (uint8_t *)malloc((size_t)width * height * 4) : nullptr;
    if (!pixels) {
        free(map);
        return 0;
    }
    int32_t colour[3] = {red, green, blue};
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            uint8_t *p = pixels + ((size_t)y * width + x) * 4;
            int64_t v = map[(size_t)y * (width + 1) + x];
            for (int k = 0; k < 3; k++) p[k] = clamp_byte(v * colour[k] / 255);
            p[3] = 255;  // opaque, so that BITMAP draws it
        }
    free(map);
    bitmap->width = width;
    bitmap->height = height;
    bitmap->pixels = pixels;
    return 1;
}

bool texgen_bitmap_fits(const TexgenScript *script, int32_t width, int32_t height)
{
    int64_t total = (int64_t)std::max(width, 0) * std::max(height, 0);
    for (int i = 0; i < script->bitmap_count; i++)
        total += (int64_t)script->bitmaps[i].width * script->bitmaps[i].height;
    return total <= TEXGEN_MAX_SCRIPT_PIXELS;
}

float texgen_feather_weight(int i, int j, int w, int h, int k)
{
    if (k <= 0) return 1.0f;
    float area =
        (float)(std::min(i + k, w - 1) - std::max(i - k, 0)) * (float)(std::min(j + k, h - 1) - std::max(j - k, 0));
    float twice_k2 = 2.0f * (float)k * (float)k;
    return std::clamp((area - twice_k2) / twice_k2, 0.0f, 1.0f);
}

void texgen_feather_rect_colour(uint8_t *out, int x, int y, int w, int h, int red, int green, int blue)
{
    int k = (int)(24.0f * g_texgen_scale_x);
    uint8_t colour[3] = {clamp_byte(red), clamp_byte(green), clamp_byte(blue)};
    auto inner = [&](uint8_t *p) {
        for (int c = 0; c < 3; c++) p[c] = colour[c];
    };
    auto band = [&](uint8_t *p, float a) {
        float a2 = a * a;
        for (int c = 0; c < 3; c++) p[c] = (uint8_t)((float)colour[c] * a2 + (float)p[c] * (1.0f - a2));
    };
    feather_rect(out, x, y, w, h, k, inner, band);
}

void texgen_feather_rect_darken(uint8_t *out, int x, int y, int w, int h, int k)
{
    auto inner = [](uint8_t *p) {
        for (int c = 0; c < 3; c++) p[c] >>= 1;
    };
    auto band = [](uint8_t *p, float a) {
        for (int c = 0; c < 3; c++) p[c] = (uint8_t)((float)p[c] * (1.0f - a * a * 0.5f));
    };
    feather_rect(out, x, y, w, h, k, inner, band);
}

void texgen_draw_mosaic(uint8_t *out, const TexgenBitmap *bitmap, int32_t x, int32_t y)
{
    float inverse_x = 1.0f / g_texgen_scale_x, inverse_y = 1.0f / g_texgen_scale_y;
    for (int r = 0; r < g_texgen_height; r++) {
        int64_t row = wrap((int64_t)((float)(r + y) * inverse_y), bitmap->height);
        uint8_t *p = out + (size_t)r * g_texgen_width * 4;
        for (int c = 0; c < g_texgen_width; c++, p += 4) {
            const uint8_t *s = bitmap_pixel(bitmap, wrap((int64_t)((float)(c + x) * inverse_x), bitmap->width), row);
            p[0] = s[0], p[1] = s[1], p[2] = s[2];
        }
    }
}

void texgen_draw_stretched(uint8_t *out, const TexgenBitmap *bitmap, int32_t x, int32_t y)
{
    float step_x = (float)(bitmap->width - 1) / (float)g_texgen_width;
    float step_y = (float)(bitmap->height - 1) / (float)g_texgen_height;
    float v = 0.0f;
    for (int r = 0; r < g_texgen_height; r++, v += step_y) {
        int64_t row = std::clamp<int64_t>(std::min((int64_t)v, (int64_t)bitmap->height - 1) + y, 0, bitmap->height - 1);
        uint8_t *p = out + (size_t)r * g_texgen_width * 4;
        float u = 0.0f;
        for (int c = 0; c < g_texgen_width; c++, p += 4, u += step_x) {
            int64_t column =
                std::clamp<int64_t>(std::min((int64_t)u, (int64_t)bitmap->width - 1) + x, 0, bitmap->width - 1);
            const uint8_t *s = bitmap_pixel(bitmap, column, row);
            p[0] = s[0], p[1] = s[1], p[2] = s[2];
        }
    }
}

void texgen_draw_bitmap(uint8_t *out, const TexgenBitmap *bitmap, int32_t x, int32_t y)
{
    int dw = (int)((float)bitmap->width * g_texgen_scale_x);
    int dh = (int)((float)bitmap->height * g_texgen_scale_y);
    if (bitmap->shadow == 1)
        texgen_feather_rect_darken(out, texgen_design_x(x + 3 * bitmap->shadow_dx),
                                   texgen_design_y(y + 3 * bitmap->shadow_dy), dw, dh, 6);
    int X = texgen_design_x(x), Y = texgen_design_y(y);
    texgen_for_rect(out, X, Y, dw, dh, 0, dw, 0, dh, [&](int c, int r, uint8_t *p) {
        int column = std::min((int)((float)c / g_texgen_scale_x), bitmap->width - 1);
        int row = std::min((int)((float)r / g_texgen_scale_y), bitmap->height - 1);
        const uint8_t *s = bitmap_pixel(bitmap, column, row);
        float a = (float)s[3] * (1.0f / 255.0f);
        for (int k = 0; k < 3; k++) p[k] = (uint8_t)((float)s[k] * a + (float)p[k] * (1.0f - a));
    });
    if (bitmap->frame != 1) return;
    auto white = [](int, int, uint8_t *p) { p[0] = p[1] = p[2] = 255; };
    // Rows above and below, then columns left and right; the frame rectangle starts at (X-1, Y-1).
    int fw = dw + 2, fh = dh + 2;
    texgen_for_rect(out, X - 1, Y - 1, fw, fh, 0, fw, 0, 1, white);
    texgen_for_rect(out, X - 1, Y - 1, fw, fh, 0, fw, fh - 1, fh, white);
    texgen_for_rect(out, X - 1, Y - 1, fw, fh, 0, 1, 1, fh, white);
    texgen_for_rect(out, X - 1, Y - 1, fw, fh, fw - 1, fw, 1, fh, white);
}

void texgen_fbitmap_draw(uint8_t *out, int x, int y, int w, int h, const uint8_t *pixels)
{
    int dw = (int)((float)w * g_texgen_scale_x);
    int dh = (int)((float)h * g_texgen_scale_y);
    if (dh < 1) return;
    // The fade is taken on the bitmap's own pixels, so at any output size the drawn bitmap is the
    // one drawn at 1280 x 1024, scaled: the border is a tenth of the bitmap's diagonal.
    int b = (int)(std::sqrt((double)w * w + (double)h * h) * 0.1);
    texgen_for_rect(out, x, y, dw, dh, 0, dw, 0, dh, [&](int i, int j, uint8_t *p) {
        int si = std::min((int)((float)i / g_texgen_scale_x), w - 1);
        int sj = std::min((int)((float)j / g_texgen_scale_y), h - 1);
        const uint8_t *s = pixels + ((size_t)sj * w + si) * 4;
        if (sj >= h - b || sj <= b || si >= w - b || si <= b) {
            float a = texgen_feather_weight(si, sj, w, h, b);
            float a2 = a * a;
            for (int k = 0; k < 3; k++) p[k] = (uint8_t)((float)s[k] * a2 + (float)p[k] * (1.0f - a2));
        } else {
            p[0] = s[0], p[1] = s[1], p[2] = s[2];
        }
    });
}

void texgen_draw_panel(uint8_t *out, const TexgenStep *step)
{
    int X = texgen_design_x(step->x), Y = texgen_design_y(step->y);
    int w = texgen_design_x(step->size_w), h = texgen_design_y(step->size_h);
    texgen_feather_rect_darken(out, X + 16, Y + 16, w, h, 24);
    texgen_feather_rect_colour(out, X, Y, w, h, step->colour[0], step->colour[1], step->colour[2]);
}
