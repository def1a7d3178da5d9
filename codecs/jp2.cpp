// JPEG 2000 reading and writing over OpenJPEG.
#include "codecs/codecs_local.h"
#include "geometry/stream.h"

#include <openjpeg.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

const uint8_t JP2_SIGNATURE[12] = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 13, 10, 0x87, 10};
const uint8_t J2K_SIGNATURE[4] = {0xFF, 0x4F, 0xFF, 0x51};

void on_opj_message(const char *, void *) {}

void quiet(opj_codec_t *codec)
{
    opj_set_info_handler(codec, on_opj_message, nullptr);
    opj_set_warning_handler(codec, on_opj_message, nullptr);
    opj_set_error_handler(codec, on_opj_message, nullptr);
}

// ---- reading from memory ----

OPJ_SIZE_T on_memory_read(void *out, OPJ_SIZE_T size, void *user)
{
    MemoryReader *reader = (MemoryReader *)user;
    size_t left = memory_reader_remaining(reader);
    if (left == 0) return (OPJ_SIZE_T)-1;
    if (size > left) size = left;
    memory_reader_read(reader, out, size);
    return size;
}

OPJ_OFF_T on_memory_skip(OPJ_OFF_T count, void *user)
{
    MemoryReader *reader = (MemoryReader *)user;
    if (count < 0) {
        uint64_t back = 0 - (uint64_t)count;
        if (back > reader->position) return -1;
        memory_reader_seek(reader, reader->position - (size_t)back);
        return count;
    }
    if ((uint64_t)count > memory_reader_remaining(reader)) {
        memory_reader_seek(reader, reader->size);
        return -1;
    }
    memory_reader_seek(reader, reader->position + (size_t)count);
    return count;
}

OPJ_BOOL on_memory_seek(OPJ_OFF_T position, void *user)
{
    MemoryReader *reader = (MemoryReader *)user;
    if (position < 0 || (uint64_t)position > reader->size) return OPJ_FALSE;
    return memory_reader_seek(reader, (size_t)position) ? OPJ_TRUE : OPJ_FALSE;
}

// 1 when OpenJPEG's image is one to four unsubsampled components of one size and a usable precision.
int components_ok(const opj_image_t *image, int need_data)
{
    if (!image || image->numcomps < 1 || image->numcomps > 4 || !image->comps) return 0;
    const opj_image_comp_t *first = &image->comps[0];
    if (!codecs_image_size_ok(first->w, first->h)) return 0;
    for (OPJ_UINT32 c = 0; c < image->numcomps; c++) {
        const opj_image_comp_t *comp = &image->comps[c];
        if (comp->dx != 1 || comp->dy != 1 || comp->w != first->w || comp->h != first->h) return 0;
        if (comp->prec < 1 || comp->prec > 31 || (need_data && !comp->data)) return 0;
    }
    return 1;
}

uint8_t sample_to_byte(OPJ_INT32 value, const opj_image_comp_t *comp)
{
    int64_t v = value;
    int64_t top = ((int64_t)1 << comp->prec) - 1;
    if (comp->sgnd) v += (int64_t)1 << (comp->prec - 1);
    if (v < 0) v = 0;
    if (v > top) v = top;
    if (comp->prec > 8) return (uint8_t)(v >> (comp->prec - 8));
    return (uint8_t)(v * 255 / top);
}

// sYCC (4:4:4, the components of one precision) to RGB in place.
int sycc_to_rgb(opj_image_t *image)
{
    opj_image_comp_t *comps = image->comps;
    if (image->numcomps < 3 || comps[1].prec != comps[0].prec || comps[2].prec != comps[0].prec) return 0;
    int64_t top = ((int64_t)1 << comps[0].prec) - 1, middle = (int64_t)1 << (comps[0].prec - 1);
    size_t count = (size_t)comps[0].w * comps[0].h;
    for (size_t i = 0; i < count; i++) {
        int64_t yc[3];
        for (int c = 0; c < 3; c++) yc[c] = (int64_t)comps[c].data[i] + (comps[c].sgnd ? middle : 0);
        double y = (double)yc[0], cb = (double)(yc[1] - middle), cr = (double)(yc[2] - middle);
        double rgb[3] = {y + 1.402 * cr, y - 0.344136 * cb - 0.714136 * cr, y + 1.772 * cb};
        for (int c = 0; c < 3; c++) {
            double v = rgb[c] + 0.5;
            comps[c].data[i] = (OPJ_INT32)(v < 0 ? 0 : v > (double)top ? top : (int64_t)v);
        }
    }
    for (int c = 0; c < 3; c++) comps[c].sgnd = 0;
    return 1;
}

// Brings the decoded components to grey or RGB: sYCC is converted; CMYK, e-YCC and CIELab (which
// OpenJPEG marks by a profile of no length) cannot be shown and are refused. Unspecified and
// ICC-described spaces are taken by their component count.
int to_displayable(opj_image_t *image)
{
    const char *refused = nullptr;
    if (image->color_space == OPJ_CLRSPC_CMYK) refused = "CMYK";
    else if (image->color_space == OPJ_CLRSPC_EYCC) refused = "e-YCC";
    else if (image->icc_profile_buf && image->icc_profile_len == 0) refused = "CIELab";
    else if (image->color_space == OPJ_CLRSPC_SYCC && !sycc_to_rgb(image)) refused = "sYCC of this layout";
    if (!refused) return 1;
    fprintf(stderr, "jpeg 2000: colour space %s cannot be shown, picture not loaded\n", refused);
    return 0;
}

// One component is grey, two grey and alpha, three RGB, four RGBA.
uint8_t *to_rgba(const opj_image_t *image)
{
    const opj_image_comp_t *comps = image->comps;
    size_t count = (size_t)comps[0].w * comps[0].h;
    uint8_t *pixels = (uint8_t *)malloc(count * 4);
    if (!pixels) return nullptr;
    int n = (int)image->numcomps;
    for (size_t i = 0; i < count; i++) {
        uint8_t *p = pixels + 4 * i;
        if (n <= 2) {
            p[0] = p[1] = p[2] = sample_to_byte(comps[0].data[i], &comps[0]);
            p[3] = n == 2 ? sample_to_byte(comps[1].data[i], &comps[1]) : 255;
        } else {
            for (int c = 0; c < 3; c++) p[c] = sample_to_byte(comps[c].data[i], &comps[c]);
            p[3] = n == 4 ? sample_to_byte(comps[3].data[i], &comps[3]) : 255;
        }
    }
    return pixels;
}

opj_image_t *decode_jp2(opj_codec_t *codec, opj_stream_t *stream)
{
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    opj_image_t *image = nullptr;
    if (!opj_setup_decoder(codec, &parameters) || !opj_decoder_set_strict_mode(codec, OPJ_TRUE) ||
        !opj_read_header(stream, codec, &image))
        return image;
    // Refuse from the header alone what would not be kept, before OpenJPEG allocates for it.
    if (!components_ok(image, 0) || !opj_decode(codec, stream, image) || !opj_end_decompress(codec, stream) ||
        !components_ok(image, 1)) {
        opj_image_destroy(image);
        return nullptr;
    }
    return image;
}

// ---- writing to a file ----

OPJ_SIZE_T on_file_write(void *data, OPJ_SIZE_T size, void *user)
{
    return fwrite(data, 1, size, (FILE *)user) == size ? size : (OPJ_SIZE_T)-1;
}

OPJ_OFF_T on_file_skip(OPJ_OFF_T count, void *user)
{
    return fseeko((FILE *)user, count, SEEK_CUR) == 0 ? count : -1;
}

OPJ_BOOL on_file_seek(OPJ_OFF_T position, void *user)
{
    return fseeko((FILE *)user, position, SEEK_SET) == 0 ? OPJ_TRUE : OPJ_FALSE;
}

opj_image_t *image_to_opj(const ImageData *image)
{
    int count = image->one_byte ? 1 : image->has_alpha ? 4 : 3;
    opj_image_cmptparm_t parameters[4];
    memset(parameters, 0, sizeof parameters);
    for (int c = 0; c < count; c++) {
        parameters[c].dx = parameters[c].dy = 1;
        parameters[c].w = (OPJ_UINT32)image->width;
        parameters[c].h = (OPJ_UINT32)image->height;
        parameters[c].prec = 8;
    }
    opj_image_t *out = opj_image_create(count, parameters, count == 1 ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB);
    if (!out) return nullptr;
    out->x1 = (OPJ_UINT32)image->width;
    out->y1 = (OPJ_UINT32)image->height;
    if (count == 4) out->comps[3].alpha = 1;
    int pixel_size = codecs_image_pixel_size(image);
    size_t total = (size_t)image->width * image->height;
    for (int c = 0; c < count; c++)
        for (size_t i = 0; i < total; i++) out->comps[c].data[i] = image->pixels[i * pixel_size + c];
    return out;
}

int encode_jp2(FILE *file, const ImageData *image, OPJ_CODEC_FORMAT format)
{
    opj_image_t *source = image_to_opj(image);
    if (!source) return 0;
    opj_cparameters_t parameters;
    opj_set_default_encoder_parameters(&parameters);
    parameters.tcp_numlayers = 1;
    parameters.tcp_rates[0] = 0;  // lossless
    parameters.cp_disto_alloc = 1;
    parameters.tcp_mct = source->numcomps >= 3 ? 1 : 0;
    // Every resolution level needs at least one sample along the shorter side.
    int32_t side = image->width < image->height ? image->width : image->height;
    while (parameters.numresolution > 1 && (side >> (parameters.numresolution - 1)) == 0) parameters.numresolution--;

    opj_codec_t *codec = opj_create_compress(format);
    opj_stream_t *stream = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_FALSE);
    int ok = 0;
    if (codec && stream) {
        quiet(codec);
        opj_stream_set_user_data(stream, file, nullptr);
        opj_stream_set_write_function(stream, on_file_write);
        opj_stream_set_skip_function(stream, on_file_skip);
        opj_stream_set_seek_function(stream, on_file_seek);
        ok = opj_setup_encoder(codec, &parameters, source) && opj_start_compress(codec, source, stream) &&
             opj_encode(codec, stream) && opj_end_compress(codec, stream);
    }
    if (stream) opj_stream_destroy(stream);
    if (codec) opj_destroy_codec(codec);
    opj_image_destroy(source);
    return ok;
}

} // namespace

int jp2_load_memory(const void *data, size_t size, ImageData *image, int alpha_mode)
{
    if (!data || !image) return 0;
    OPJ_CODEC_FORMAT format;
    if (size >= sizeof JP2_SIGNATURE && memcmp(data, JP2_SIGNATURE, sizeof JP2_SIGNATURE) == 0)
        format = OPJ_CODEC_JP2;
    else if (size >= sizeof J2K_SIGNATURE && memcmp(data, J2K_SIGNATURE, sizeof J2K_SIGNATURE) == 0)
        format = OPJ_CODEC_J2K;
    else
        return 0;

    MemoryReader reader;
    memory_reader_init(&reader, data, size);
    opj_codec_t *codec = opj_create_decompress(format);
    opj_stream_t *stream = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_TRUE);
    opj_image_t *decoded = nullptr;
    if (codec && stream) {
        quiet(codec);
        opj_stream_set_user_data(stream, &reader, nullptr);
        opj_stream_set_user_data_length(stream, size);
        opj_stream_set_read_function(stream, on_memory_read);
        opj_stream_set_skip_function(stream, on_memory_skip);
        opj_stream_set_seek_function(stream, on_memory_seek);
        decoded = decode_jp2(codec, stream);
    }
    if (stream) opj_stream_destroy(stream);
    if (codec) opj_destroy_codec(codec);
    if (!decoded) return 0;
    if (!to_displayable(decoded)) {
        opj_image_destroy(decoded);
        return 0;
    }

    uint8_t *pixels = to_rgba(decoded);
    int has_alpha = decoded->numcomps == 2 || decoded->numcomps == 4;
    int32_t width = (int32_t)decoded->comps[0].w, height = (int32_t)decoded->comps[0].h;
    opj_image_destroy(decoded);
    if (!pixels) return 0;
    codecs_image_take(image, pixels, width, height, has_alpha, alpha_mode);
    return 1;
}

int jp2_load_file(const char *path, ImageData *image, int alpha_mode)
{
    uint8_t *data;
    size_t size;
    if (!image || !codecs_read_file(path, &data, &size)) return 0;
    int ok = jp2_load_memory(data, size, image, alpha_mode);
    free(data);
    return ok;
}

int jp2_write_file(const char *path, const ImageData *image)
{
    if (!path || !codecs_image_writable(image)) return 0;
    size_t length = strlen(path);
    int raw = length >= 4 && strcasecmp(path + length - 4, ".j2k") == 0;
    CodecsOutput output;
    if (!codecs_output_begin(&output, path)) return 0;
    return codecs_output_end(&output, encode_jp2(output.file, image, raw ? OPJ_CODEC_J2K : OPJ_CODEC_JP2));
}
