// Image and compression codecs: raw Deflate and packed blocks (zlib), PNG (libpng), JPEG 2000
// (OpenJPEG) and 24-bit TGA. Every file is opened through the platform path layer; every file
// written is written to a temporary beside it and renamed, so it is whole or absent.
#pragma once

#include <cstddef>
#include <cstdint>

struct PagedBuffer;

// ---- raw Deflate and packed blocks ---------------------------------------------------------------

// Filter types of a packed block.
enum {
    PACKED_FILTER_NONE = 0,
    // Bytes delta-coded with stride 2 (each the difference to the byte two places before it, the
    // first two against 0), then split into two planes: the even bytes first, the odd bytes after.
    // An odd size gives the even plane the extra byte: (raw_size + 1) / 2 bytes, then raw_size / 2.
    PACKED_FILTER_DELTA2 = 1,
};

// A byte block stored filtered and Deflate-packed; `data` holds `packed_size` bytes of raw Deflate.
struct PackedBlock {
    int32_t type;
    uint32_t packed_size;
    uint32_t raw_size;
    uint8_t *data;
};

// Bytes that `inflate_decode_raw` must produce.
extern uint32_t g_inflate_output_size;
// Kept for callers that reset it around a decode; zlib keeps its own tables, so it stays 0.
extern uint32_t g_inflate_node_count;

// Decodes raw Deflate (no zlib header or checksum) from the `src_size` bytes at src into dst, which
// has room for `g_inflate_output_size` bytes, and stops once that many are produced. 1 when they
// were; 0 when the data is corrupt or ends first, and then dst is zero-filled. One decode at a time.
int inflate_decode_raw(const uint8_t *src, uint32_t src_size, uint8_t *dst);
// Inflates the block to `raw_size` bytes and undoes its filter: a new malloc'd buffer of raw_size
// bytes (at least one allocated) that the caller frees, or null when the block is corrupt, short,
// of an unknown type, or claims more bytes than its packed data can hold. The block stays the
// caller's.
uint8_t *inflate_unpack_block(const PackedBlock *block);
// Filters `size` bytes with `type` and deflates them into the block (its data malloc'd; the caller
// frees it). 1, or 0 with the block zeroed.
int deflate_pack_block(PackedBlock *block, const void *data, uint32_t size, int32_t type);
// The same for the bytes written to a paged buffer.
int deflate_pack_paged_buffer(PackedBlock *block, const PagedBuffer *buffer, int32_t type);
// zlib's CRC-32 of the bytes, continuing from `crc` (0 to start).
uint32_t codecs_crc32(uint32_t crc, const void *data, size_t size);
// The CRC-32 of two runs of bytes one after the other from the CRC of each and the second's length.
uint32_t codecs_crc32_combine(uint32_t first, uint32_t second, size_t second_size);

// ---- pictures -----------------------------------------------------------------------------------

// A decoded picture. Loaders fill `pixels` with width x height x 4 bytes R, G, B, A, rows top
// down, malloc'd for the caller, who frees them; they leave the image untouched on failure.
struct ImageData {
    uint8_t *pixels;
    int32_t width;
    int32_t height;
    int32_t has_alpha;   // 1 when the alpha bytes carry the picture's transparency
    uint8_t one_byte;    // 1 when `pixels` holds one grey byte a pixel (writers only; loaders set 0)
};

// Largest side and pixel count a loader accepts; larger pictures are refused before decoding.
constexpr int32_t IMAGE_MAX_SIDE = 16384;
constexpr int64_t IMAGE_MAX_PIXELS = 32ll * 1024 * 1024;

// Loads "<name>.png", else "<name>.jp2", else "<name>.j2k", where name loses its extension (a '.'
// after the last path separator). Alpha mode 0 makes every alpha byte 255. 1, or 0 when none loads.
int image_load_by_base_name(const char *name, ImageData *image, int alpha_mode);

// PNG of any colour type, bit depth and interlace, decoded to RGBA as above. 1, or 0 (image
// untouched) when the file is missing or not a valid PNG.
int png_load_file(const char *path, ImageData *image, int alpha_mode);
int png_load_memory(const void *data, size_t size, ImageData *image, int alpha_mode);
// Writes RGBA (has_alpha 1), RGB (has_alpha 0) or grey (one_byte 1). 1, or 0.
int png_write_file(const char *path, const ImageData *image);
// Writes the font atlas to "c:/programmation/font.png" for inspection; a failure is not reported.
void png_write_debug_font_atlas(const ImageData *image);

// JPEG 2000 file (JP2 box format) or raw code stream (J2K), told apart by their first bytes; one
// to four components of equal size, any precision, give RGBA as above. 1, or 0 (image untouched).
int jp2_load_file(const char *path, ImageData *image, int alpha_mode);
int jp2_load_memory(const void *data, size_t size, ImageData *image, int alpha_mode);
// Writes the image losslessly, as a raw code stream when the path ends in ".j2k" (any case), else
// as a JP2 file. 1, or 0.
int jp2_write_file(const char *path, const ImageData *image);

// Writes a 24-bit uncompressed TGA (rows bottom up, as the format's default). 1, or 0.
int tga_write_file(const char *path, const ImageData *image);
// The first name "<base>NNNN.tga" (four digits, "%s000%d.tga" for the first ten) that does not
// name an existing file, into out. 1, or 0 when all 10000 exist or out is too small.
int tga_first_free_name(const char *base, char *out, size_t out_size);
