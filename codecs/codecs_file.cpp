// File access of the codecs through the platform path layer, and the pixel hand-over.
#include "codecs/codecs_local.h"
#include "platform/system.h"

#include <cstdlib>
#include <cstring>

int codecs_read_file(const char *path, uint8_t **data, size_t *size)
{
    if (!path) return 0;
    FILE *file = sys_fopen(path, "rb");
    if (!file) return 0;
    long length = -1;
    if (fseek(file, 0, SEEK_END) == 0) length = ftell(file);
    if (length < 0 || (unsigned long)length > CODECS_MAX_FILE_SIZE || fseek(file, 0, SEEK_SET) != 0) {
        fclose(file);
        return 0;
    }
    uint8_t *bytes = (uint8_t *)malloc(length ? (size_t)length : 1);
    if (!bytes || fread(bytes, 1, (size_t)length, file) != (size_t)length) {
        free(bytes);
        fclose(file);
        return 0;
    }
    fclose(file);
    *data = bytes;
    *size = (size_t)length;
    return 1;
}

int codecs_output_begin(CodecsOutput *output, const char *path)
{
    output->file = nullptr;
    if (!path || !path[0]) return 0;
    int n = snprintf(output->path, sizeof output->path, "%s", path);
    int m = snprintf(output->temp_path, sizeof output->temp_path, "%s.tmp", path);
    if (n < 0 || m < 0 || (size_t)m >= sizeof output->temp_path) return 0;
    output->file = sys_fopen(output->temp_path, "wb");
    return output->file != nullptr;
}

int codecs_output_end(CodecsOutput *output, int ok)
{
    if (!output->file) return 0;
    if (fflush(output->file) != 0 || ferror(output->file)) ok = 0;
    if (fclose(output->file) != 0) ok = 0;
    output->file = nullptr;
    if (ok && sys_rename(output->temp_path, output->path) == 0) return 1;
    sys_remove(output->temp_path);
    return 0;
}

int codecs_image_size_ok(int64_t width, int64_t height)
{
    return width > 0 && height > 0 && width <= IMAGE_MAX_SIDE && height <= IMAGE_MAX_SIDE &&
           width * height <= IMAGE_MAX_PIXELS;
}

int codecs_image_writable(const ImageData *image)
{
    return image && image->pixels && codecs_image_size_ok(image->width, image->height);
}

int codecs_image_pixel_size(const ImageData *image) { return image->one_byte ? 1 : 4; }

void codecs_image_take(ImageData *image, uint8_t *pixels, int32_t width, int32_t height, int has_alpha,
                       int alpha_mode)
{
    size_t count = (size_t)width * (size_t)height;
    if (alpha_mode == 0)
        for (size_t i = 0; i < count; i++) pixels[4 * i + 3] = 255;
    image->pixels = pixels;
    image->width = width;
    image->height = height;
    image->has_alpha = alpha_mode != 0 && has_alpha;
    image->one_byte = 0;
}
