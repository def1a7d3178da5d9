// PNG reading and writing over libpng.
#include "codecs/codecs_local.h"
#include "geometry/stream.h"

#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>

namespace {

// libpng reports errors by longjmp back to the setjmp of the decoding function; these functions
// and the ones they call hold no object with a destructor, so nothing is skipped by the jump.
void on_png_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void on_png_warning(png_structp, png_const_charp) {}

void on_png_read(png_structp png, png_bytep out, size_t size)
{
    MemoryReader *reader = (MemoryReader *)png_get_io_ptr(png);
    if (!memory_reader_read(reader, out, size)) png_error(png, "truncated");
}

// Sets the transforms that turn every colour type and depth into 8-bit R, G, B, A.
void expand_to_rgba(png_structp png, png_infop info, int depth, int colour)
{
    int has_trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (depth == 16) png_set_strip_16(png);
    if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colour == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (has_trns) png_set_tRNS_to_alpha(png);
    if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    if (!(colour & PNG_COLOR_MASK_ALPHA) && !has_trns) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
}

int decode_png(MemoryReader *reader, ImageData *image, int alpha_mode)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, on_png_error, on_png_warning);
    if (!png) return 0;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return 0;
    }
    uint8_t *volatile pixels = nullptr;
    png_bytep *volatile rows = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        free(pixels);
        free(rows);
        png_destroy_read_struct(&png, &info, nullptr);
        return 0;
    }
    png_set_user_limits(png, IMAGE_MAX_SIDE, IMAGE_MAX_SIDE);
    png_set_read_fn(png, reader, on_png_read);
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int depth = 0, colour = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colour, nullptr, nullptr, nullptr);
    if (!codecs_image_size_ok(width, height)) png_error(png, "size");
    int has_alpha = (colour & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
    expand_to_rgba(png, info, depth, colour);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != (size_t)width * 4) png_error(png, "layout");

    pixels = (uint8_t *)malloc((size_t)width * height * 4);
    rows = (png_bytep *)malloc(height * sizeof(png_bytep));
    if (!pixels || !rows) png_error(png, "memory");
    for (png_uint_32 y = 0; y < height; y++) rows[y] = pixels + (size_t)y * width * 4;
    png_read_image(png, rows);
    png_read_end(png, nullptr);

    free(rows);
    png_destroy_read_struct(&png, &info, nullptr);
    codecs_image_take(image, pixels, (int32_t)width, (int32_t)height, has_alpha, alpha_mode);
    return 1;
}

int encode_png(FILE *file, const ImageData *image)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, on_png_error, on_png_warning);
    if (!png) return 0;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return 0;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return 0;
    }
    int pixel_size = codecs_image_pixel_size(image);
    int colour = image->one_byte    ? PNG_COLOR_TYPE_GRAY
                 : image->has_alpha ? PNG_COLOR_TYPE_RGB_ALPHA
                                    : PNG_COLOR_TYPE_RGB;
    png_init_io(png, file);
    png_set_IHDR(png, info, image->width, image->height, 8, colour, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    // RGB output from 4-byte pixels: libpng drops the fourth byte.
    if (colour == PNG_COLOR_TYPE_RGB) png_set_filler(png, 0, PNG_FILLER_AFTER);
    size_t stride = (size_t)image->width * pixel_size;
    for (int32_t y = 0; y < image->height; y++) png_write_row(png, image->pixels + y * stride);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return 1;
}

} // namespace

int png_load_memory(const void *data, size_t size, ImageData *image, int alpha_mode)
{
    if (!data || !image) return 0;
    MemoryReader reader;
    memory_reader_init(&reader, data, size);
    return decode_png(&reader, image, alpha_mode);
}

int png_load_file(const char *path, ImageData *image, int alpha_mode)
{
    uint8_t *data;
    size_t size;
    if (!image || !codecs_read_file(path, &data, &size)) return 0;
    int ok = png_load_memory(data, size, image, alpha_mode);
    free(data);
    return ok;
}

int png_write_file(const char *path, const ImageData *image)
{
    if (!codecs_image_writable(image)) return 0;
    CodecsOutput output;
    if (!codecs_output_begin(&output, path)) return 0;
    return codecs_output_end(&output, encode_png(output.file, image));
}

void png_write_debug_font_atlas(const ImageData *image) { png_write_file("c:/programmation/font.png", image); }
