// Device textures from 32-bit pixels: nearest resampling with the 16-bit ordered dither, the
// format fallbacks, the conversions into each device format, the halving mip chain, and partial
// updates from 24-bit pixels.
#include "render/render_local.h"

#include <cstdlib>
#include <cstring>

namespace {

// Largest side a texture may ask for; the device refuses what it cannot hold anyway.
constexpr int32_t kMaxSide = 16384;

// The 2 x 2 ordered dither: for f = 4 down to 0, t at (even row, even column), (odd, even),
// (even, odd), (odd, odd).
const uint8_t texture_dither_table[5][4] = {{1, 1, 1, 1}, {1, 1, 0, 1}, {1, 0, 0, 1}, {1, 0, 0, 0}, {0, 0, 0, 0}};

struct Format {
    D3DFORMAT format;
    int32_t kind;
};

const Format kSolid16[] = {{D3DFMT_R5G6B5, kPixelR5G6B5}, {D3DFMT_X1R5G5B5, kPixelX1R5G5B5},
                           {D3DFMT_A4R4G4B4, kPixelA4R4G4B4}};
const Format kAlpha16[] = {{D3DFMT_A4R4G4B4, kPixelA4R4G4B4}};
const Format kSolid32[] = {{D3DFMT_X8R8G8B8, kPixelX8R8G8B8}, {D3DFMT_A8R8G8B8, kPixelA8R8G8B8}};
const Format kAlpha32[] = {{D3DFMT_A8R8G8B8, kPixelA8R8G8B8}};

int dither_bit(int f, int row, int column)
{
    return texture_dither_table[4 - f][(row & 1) | (column & 1) << 1];
}

void dither_pixel(uint8_t *p, int row, int column)
{
    for (int c = 0; c < 3; c++) {
        bool green = c == 1;
        int f = green ? p[c] & 3 : p[c] & 7;
        if (f > 4) f = 4;
        int value = (p[c] & (green ? 0xFC : 0xF8)) + (green ? 4 : 8) * dither_bit(f, row, column);
        p[c] = uint8_t(value > 255 ? 255 : value);
    }
}

// The width x height working image, resampled from the source by nearest texels.
uint8_t *working_image(int32_t width, int32_t height, const uint8_t *pixels, int32_t source_width,
                       int32_t source_height, bool dither)
{
    uint8_t *image = static_cast<uint8_t *>(malloc(size_t(width) * size_t(height) * 4));
    if (!image) return nullptr;
    if (width == source_width && height == source_height) {
        memcpy(image, pixels, size_t(width) * size_t(height) * 4);
        return image;
    }
    int64_t step = int64_t(source_width) * 256 / width;
    for (int32_t j = 0; j < height; j++) {
        int32_t row = int32_t(int64_t(j) * source_height / height);
        int64_t at = 0;
        for (int32_t i = 0; i < width; i++, at += step) {
            int32_t column = int32_t(at >> 8);
            uint8_t *out = image + (size_t(j) * size_t(width) + size_t(i)) * 4;
            memcpy(out, pixels + (size_t(row) * size_t(source_width) + size_t(column)) * 4, 4);
            if (dither) dither_pixel(out, row, column);
        }
    }
    return image;
}

// 1 + the lowest set bit above bit 0 of the smaller side: down to the level where it is odd.
UINT mip_levels(int32_t width, int32_t height)
{
    uint32_t side = uint32_t(width < height ? width : height) & ~1u;
    return side ? 1 + UINT(__builtin_ctz(side)) : 1;
}

uint32_t convert(int32_t kind, uint8_t r, uint8_t g, uint8_t b, uint8_t a)
{
    switch (kind) {
    case kPixelR5G6B5: return uint32_t(r & 0xF8) << 8 | uint32_t(g & 0xFC) << 3 | b >> 3;
    case kPixelX1R5G5B5: return uint32_t(r & 0xF8) << 7 | uint32_t(g & 0xF8) << 2 | b >> 3;
    case kPixelA4R4G4B4: return uint32_t(a & 0xF0) << 8 | uint32_t(r & 0xF0) << 4 | (g & 0xF0) | b >> 4;
    default: return uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | b;
    }
}

void store(uint8_t *out, int32_t kind, uint32_t value)
{
    if (kind < 0) {
        memcpy(out, &value, 4);
    } else {
        uint16_t half = uint16_t(value);
        memcpy(out, &half, 2);
    }
}

// Converts an RGBA image into one locked level.
void write_level(IDirect3DTexture9 *texture, UINT level, int32_t kind, const uint8_t *image, int32_t width,
                 int32_t height)
{
    D3DLOCKED_RECT locked;
    if (FAILED(texture->LockRect(level, &locked, nullptr, 0))) return;
    size_t bytes = kind < 0 ? 4 : 2;
    for (int32_t y = 0; y < height; y++) {
        uint8_t *row = static_cast<uint8_t *>(locked.pBits) + size_t(y) * size_t(locked.Pitch);
        for (int32_t x = 0; x < width; x++) {
            const uint8_t *p = image + (size_t(y) * size_t(width) + size_t(x)) * 4;
            store(row + size_t(x) * bytes, kind, convert(kind, p[0], p[1], p[2], p[3]));
        }
    }
    texture->UnlockRect(level);
}

void create_device_texture(TextureRecord *record, uint32_t clamp, int32_t width, int32_t height,
                           const uint8_t *pixels, int32_t source_width, int32_t source_height, bool mipmapped,
                           bool dither, const Format *formats, int format_count, int32_t failed_kind)
{
    if (record->texture) record->texture->Release();
    record->texture = nullptr;
    record->clamp = clamp;
    record->mipmapped = mipmapped ? 1 : 0;
    record->larger_side = width > height ? width : height;
    record->width = width;
    record->height = height;
    record->pixel_kind = 0;
    free(record->pixel_copy);
    record->pixel_copy = nullptr;
    // A picture of no size (a corrupt file) cannot be resampled: the creation fails.
    bool usable = record->device && pixels && width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide &&
                  source_width > 0 && source_height > 0 && source_width <= kMaxSide && source_height <= kMaxSide;
    bool resampling = width != source_width || height != source_height;
    uint8_t *image = usable ? working_image(width, height, pixels, source_width, source_height, dither && resampling)
                            : nullptr;
    UINT levels = mipmapped ? mip_levels(width, height) : 1;
    int32_t kind = failed_kind;
    for (int i = 0; image && i < format_count && !record->texture; i++) {
        if (FAILED(record->device->CreateTexture(UINT(width), UINT(height), levels, 0, formats[i].format,
                                                 D3DPOOL_MANAGED, &record->texture, nullptr)))
            record->texture = nullptr;
        else
            kind = formats[i].kind;
    }
    record->pixel_kind = kind;
    if (!record->texture) {
        free(image);
        return;
    }
    write_level(record->texture, 0, kind, image, width, height);
    uint8_t *level_image = image;
    for (UINT level = 1; level < levels && level_image; level++) {
        uint8_t *half = texture_halve_image(level_image, width, height);
        if (level_image != image) free(level_image);
        level_image = half;
        width /= 2;
        height /= 2;
        if (level_image) write_level(record->texture, level, kind, level_image, width, height);
    }
    if (level_image != image) free(level_image);
    free(image);
}

}  // namespace

void texture_create_device_16bit(TextureRecord *record, uint32_t clamp, int32_t width, int32_t height,
                                 const uint8_t *pixels, int32_t source_width, int32_t source_height, bool alpha,
                                 bool mipmapped, bool dither)
{
    if (alpha)
        create_device_texture(record, clamp, width, height, pixels, source_width, source_height, mipmapped, dither,
                              kAlpha16, 1, kPixelNone16);
    else
        create_device_texture(record, clamp, width, height, pixels, source_width, source_height, mipmapped, dither,
                              kSolid16, 3, kPixelNone16);
}

void texture_create_device_32bit(TextureRecord *record, uint32_t clamp, int32_t width, int32_t height,
                                 const uint8_t *pixels, int32_t source_width, int32_t source_height, bool alpha,
                                 bool mipmapped)
{
    if (alpha)
        create_device_texture(record, clamp, width, height, pixels, source_width, source_height, mipmapped, false,
                              kAlpha32, 1, kPixelNone32);
    else
        create_device_texture(record, clamp, width, height, pixels, source_width, source_height, mipmapped, false,
                              kSolid32, 2, kPixelNone32);
}

uint8_t *texture_halve_image(const uint8_t *pixels, int32_t width, int32_t height)
{
    int32_t w = width / 2, h = height / 2;
    if (w <= 0 || h <= 0) return nullptr;
    uint8_t *out = static_cast<uint8_t *>(malloc(size_t(w) * size_t(h) * 4));
    if (!out) return nullptr;
    auto at = [&](int32_t x, int32_t y) { return pixels + (size_t(y) * size_t(width) + size_t(x)) * 4; };
    for (int32_t y = 0; y < h; y++) {
        for (int32_t x = 0; x < w; x++) {
            const uint8_t *centre = at(2 * x, 2 * y);
            const uint8_t *left = x > 0 ? at(2 * x - 1, 2 * y) : centre;
            const uint8_t *right = at(2 * x + 1, 2 * y);
            const uint8_t *up = y > 0 ? at(2 * x, 2 * y - 1) : centre;
            const uint8_t *down = at(2 * x, 2 * y + 1);
            uint8_t *o = out + (size_t(y) * size_t(w) + size_t(x)) * 4;
            for (int c = 0; c < 4; c++) o[c] = uint8_t((4 * centre[c] + left[c] + right[c] + up[c] + down[c]) >> 3);
        }
    }
    return out;
}

void texture_update_rect_rgb(TextureRecord *record, int32_t x, int32_t y, int32_t width, int32_t height,
                             const uint8_t *rgb)
{
    if (!record || !rgb || width <= 0 || height <= 0 || x < 0 || y < 0 || x > record->width - width ||
        y > record->height - height)
        return;
    render_list_append_rect(&record->dirty, x, y, x + width, y + height);
    if (!record->texture) return;
    D3DLOCKED_RECT locked;
    RECT rect{x, y, x + width, y + height};
    if (FAILED(record->texture->LockRect(0, &locked, &rect, D3DLOCK_NO_DIRTY_UPDATE | D3DLOCK_NOSYSLOCK))) return;
    int32_t kind = record->pixel_kind;
    size_t bytes = kind < 0 ? 4 : 2;
    for (int32_t row = 0; row < height; row++) {
        uint8_t *out = static_cast<uint8_t *>(locked.pBits) + size_t(row) * size_t(locked.Pitch);
        const uint8_t *in = rgb + size_t(row) * size_t(width) * 3;
        for (int32_t column = 0; column < width; column++, in += 3) {
            // Alpha 0 in the 32-bit formats, a full nibble in A4R4G4B4.
            uint32_t value = convert(kind, in[0], in[1], in[2], kind == kPixelA4R4G4B4 ? 0xFF : 0);
            store(out + size_t(column) * bytes, kind, value);
        }
    }
    record->texture->UnlockRect(0);
}
