// Internals shared by the codec files: whole-file reading, the temporary-then-rename writer, and
// the hand-over of decoded pixels.
#pragma once

#include "codecs/codecs.h"

#include <cstdio>

// Largest file a loader reads into memory.
constexpr size_t CODECS_MAX_FILE_SIZE = 256u * 1024 * 1024;

// Reads a whole file through the path layer into a new malloc'd buffer (at least one byte) that the
// caller frees. 1, or 0 when it cannot be opened or read, or is larger than CODECS_MAX_FILE_SIZE.
int codecs_read_file(const char *path, uint8_t **data, size_t *size);

// A file being written: `file` is open on `temp_path`, which becomes `path` when it ends well.
struct CodecsOutput {
    FILE *file;
    char path[1024];
    char temp_path[1024];
};

// Opens the temporary beside `path`: 1, or 0 (nothing created).
int codecs_output_begin(CodecsOutput *output, const char *path);
// Closes the temporary and, when `ok` and every write reached the disk, renames it to the target;
// otherwise removes it and leaves any earlier target as it was. 1 when the target was written.
int codecs_output_end(CodecsOutput *output, int ok);

// 1 when a writer can take the image: pixels present, sides within the loaders' limits.
int codecs_image_writable(const ImageData *image);
// The picture's bytes a pixel: 1 for a grey image, else 4.
int codecs_image_pixel_size(const ImageData *image);

// 1 when a width x height picture is within IMAGE_MAX_SIDE and IMAGE_MAX_PIXELS.
int codecs_image_size_ok(int64_t width, int64_t height);
// Gives the decoded RGBA pixels to the image; alpha mode 0 makes every alpha byte 255 first.
void codecs_image_take(ImageData *image, uint8_t *pixels, int32_t width, int32_t height, int has_alpha,
                       int alpha_mode);
