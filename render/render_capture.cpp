// Captures of the back buffer: the pixels as RGBA, TGA screenshots under the first free name, and
// 256 x 256 PNG thumbnails. Callers capture before the frame is presented.
#include "codecs/codecs.h"
#include "render/render_draw.h"
#include "render/render_local.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const int kThumbnailSide = 256;

int fail(const char *what)
{
    render_log_line(what);
    return 0;
}

// The average of the source pixels under one thumbnail pixel (at least one pixel each way).
void average_cell(const ImageData &source, int x0, int y0, int x1, int y1, uint8_t *out)
{
    uint32_t sum[3] = {0, 0, 0};
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++) {
            const uint8_t *p = source.pixels + (size_t(y) * size_t(source.width) + size_t(x)) * 4;
            for (int c = 0; c < 3; c++) sum[c] += p[c];
        }
    uint32_t n = uint32_t((x1 - x0) * (y1 - y0));
    for (int c = 0; c < 3; c++) out[c] = uint8_t((sum[c] + n / 2) / n);
    out[3] = 255;
}

}  // namespace

int render_read_back_buffer(RenderContext *context, ImageData *image)
{
    if (!context->device) return fail("render_read_back_buffer: no device");
    render_flush_2d_batch(context);
    IDirect3DSurface9 *surface = nullptr;
    if (FAILED(context->device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface)))
        return fail("render_read_back_buffer: no back buffer");
    D3DSURFACE_DESC desc = {};
    D3DLOCKED_RECT locked = {};
    surface->GetDesc(&desc);
    uint8_t *pixels = nullptr;
    if (desc.Width > 0 && desc.Height > 0 && SUCCEEDED(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
        pixels = static_cast<uint8_t *>(malloc(size_t(desc.Width) * desc.Height * 4));
        for (UINT y = 0; pixels && y < desc.Height; y++) {
            const uint8_t *row = static_cast<const uint8_t *>(locked.pBits) + size_t(y) * size_t(locked.Pitch);
            uint8_t *out = pixels + size_t(y) * desc.Width * 4;
            for (UINT x = 0; x < desc.Width; x++) {
                // X8R8G8B8 in memory: B, G, R, X.
                out[x * 4 + 0] = row[x * 4 + 2];
                out[x * 4 + 1] = row[x * 4 + 1];
                out[x * 4 + 2] = row[x * 4 + 0];
                out[x * 4 + 3] = 255;
            }
        }
        surface->UnlockRect();
    }
    // Released at once: a held back buffer would block the device's Reset.
    surface->Release();
    if (!pixels) return fail("render_read_back_buffer: the back buffer cannot be read");
    *image = ImageData{pixels, int32_t(desc.Width), int32_t(desc.Height), 0, 0};
    return 1;
}

int render_save_screenshot_tga(RenderContext *context, const char *base)
{
    char name[1024];
    if (!base || !tga_first_free_name(base, name, sizeof name)) return fail("render_save_screenshot_tga: no free name");
    ImageData image;
    if (!render_read_back_buffer(context, &image)) return 0;
    int ok = tga_write_file(name, &image);
    free(image.pixels);
    if (!ok) return fail((std::string("render_save_screenshot_tga: cannot write ") + name).c_str());
    return 1;
}

int render_save_thumbnail_png(RenderContext *context, const char *path)
{
    if (!path) return fail("render_save_thumbnail_png: no path");
    ImageData source;
    if (!render_read_back_buffer(context, &source)) return 0;
    // An area average, so that the thin lines of the editor's text do not alias.
    uint8_t *pixels = static_cast<uint8_t *>(malloc(size_t(kThumbnailSide) * kThumbnailSide * 4));
    if (!pixels) {
        free(source.pixels);
        return fail("render_save_thumbnail_png: no memory");
    }
    for (int y = 0; y < kThumbnailSide; y++) {
        int y0 = y * source.height / kThumbnailSide, y1 = (y + 1) * source.height / kThumbnailSide;
        if (y1 <= y0) y1 = y0 + 1;
        for (int x = 0; x < kThumbnailSide; x++) {
            int x0 = x * source.width / kThumbnailSide, x1 = (x + 1) * source.width / kThumbnailSide;
            if (x1 <= x0) x1 = x0 + 1;
            average_cell(source, x0, y0, x1, y1, pixels + (size_t(y) * kThumbnailSide + size_t(x)) * 4);
        }
    }
    free(source.pixels);
    ImageData thumbnail = {pixels, kThumbnailSide, kThumbnailSide, 0, 0};
    int ok = png_write_file(path, &thumbnail);
    free(pixels);
    if (!ok) return fail((std::string("render_save_thumbnail_png: cannot write ") + path).c_str());
    return 1;
}
