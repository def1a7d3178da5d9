// Loading a picture by base name, the TGA writer and the numbered names of screenshots.
#include "codecs/codecs_local.h"
#include "platform/system.h"

#include <cstdlib>
#include <cstring>

namespace {

// Length of the name without its extension: a '.' counts only after the last path separator, so
// a folder such as "data.v2/" keeps its dot.
size_t base_length(const char *name)
{
    const char *file = name;
    for (const char *c = name; *c; c++)
        if (*c == '/' || *c == '\\') file = c + 1;
    const char *dot = strrchr(file, '.');
    return dot ? (size_t)(dot - name) : strlen(name);
}

void put_u16(uint8_t *out, uint32_t value)
{
    out[0] = (uint8_t)value;
    out[1] = (uint8_t)(value >> 8);
}

int encode_tga(FILE *file, const ImageData *image)
{
    uint8_t header[18] = {};
    header[2] = 2;  // uncompressed true colour
    put_u16(header + 12, (uint32_t)image->width);
    put_u16(header + 14, (uint32_t)image->height);
    header[16] = 24;
    header[17] = 0;  // origin at the lower left: rows bottom up
    if (fwrite(header, 1, sizeof header, file) != sizeof header) return 0;

    size_t row_size = (size_t)image->width * 3;
    uint8_t *row = (uint8_t *)malloc(row_size);
    if (!row) return 0;
    int pixel_size = codecs_image_pixel_size(image);
    int ok = 1;
    for (int32_t y = image->height - 1; y >= 0 && ok; y--) {
        const uint8_t *in = image->pixels + (size_t)y * image->width * pixel_size;
        for (int32_t x = 0; x < image->width; x++, in += pixel_size) {
            uint8_t *out = row + 3 * x;
            out[0] = in[pixel_size == 1 ? 0 : 2];
            out[1] = in[pixel_size == 1 ? 0 : 1];
            out[2] = in[0];
        }
        ok = fwrite(row, 1, row_size, file) == row_size;
    }
    free(row);
    return ok;
}

} // namespace

int image_load_by_base_name(const char *name, ImageData *image, int alpha_mode)
{
    if (!name || !image) return 0;
    static const char *const extensions[] = {".png", ".jp2", ".j2k"};
    size_t length = base_length(name);
    char path[1024];
    if (length + 5 > sizeof path) return 0;
    for (int i = 0; i < 3; i++) {
        snprintf(path, sizeof path, "%.*s%s", (int)length, name, extensions[i]);
        int ok = i == 0 ? png_load_file(path, image, alpha_mode) : jp2_load_file(path, image, alpha_mode);
        if (ok) return 1;
    }
    return 0;
}

int tga_write_file(const char *path, const ImageData *image)
{
    if (!codecs_image_writable(image)) return 0;
    CodecsOutput output;
    if (!codecs_output_begin(&output, path)) return 0;
    return codecs_output_end(&output, encode_tga(output.file, image));
}

int tga_first_free_name(const char *base, char *out, size_t out_size)
{
    if (!base || !out) return 0;
    for (int i = 0; i < 10000; i++) {
        int n = snprintf(out, out_size, "%s%04d.tga", base, i);
        if (n < 0 || (size_t)n >= out_size) return 0;
        FILE *file = sys_fopen(out, "rb");
        if (!file) return 1;
        fclose(file);
    }
    return 0;
}
