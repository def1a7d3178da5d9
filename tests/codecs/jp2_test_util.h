// JPEG 2000 files in any colour space, written by OpenJPEG's own encoder (not through our writer),
// for the codec tests and the fuzz corpus.
#pragma once

#include <openjpeg.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct TestJp2Output {
    std::string bytes;
    size_t position = 0;
};

inline OPJ_SIZE_T test_jp2_write(void *data, OPJ_SIZE_T size, void *user)
{
    TestJp2Output *out = static_cast<TestJp2Output *>(user);
    if (out->bytes.size() < out->position + size) out->bytes.resize(out->position + size);
    memcpy(&out->bytes[out->position], data, size);
    out->position += size;
    return size;
}

inline OPJ_OFF_T test_jp2_skip(OPJ_OFF_T count, void *user)
{
    static_cast<TestJp2Output *>(user)->position += size_t(count);
    return count;
}

inline OPJ_BOOL test_jp2_seek(OPJ_OFF_T position, void *user)
{
    static_cast<TestJp2Output *>(user)->position = size_t(position);
    return OPJ_TRUE;
}

// A lossless JP2 file of 8-bit planes (one per component, width x height values each) that declares
// `space`; empty when OpenJPEG refuses.
inline std::string test_jp2_encode(const std::vector<std::vector<int>> &planes, int width, int height,
                                   OPJ_COLOR_SPACE space)
{
    std::vector<opj_image_cmptparm_t> parameters(planes.size());
    for (opj_image_cmptparm_t &p : parameters) {
        memset(&p, 0, sizeof p);
        p.dx = p.dy = 1;
        p.w = OPJ_UINT32(width);
        p.h = OPJ_UINT32(height);
        p.prec = 8;
    }
    opj_image_t *image = opj_image_create(OPJ_UINT32(planes.size()), parameters.data(), space);
    image->x1 = OPJ_UINT32(width);
    image->y1 = OPJ_UINT32(height);
    for (size_t c = 0; c < planes.size(); c++)
        for (size_t i = 0; i < planes[c].size(); i++) image->comps[c].data[i] = planes[c][i];
    opj_cparameters_t settings;
    opj_set_default_encoder_parameters(&settings);
    settings.tcp_numlayers = 1;
    settings.tcp_rates[0] = 0;
    settings.cp_disto_alloc = 1;
    settings.numresolution = 2;
    opj_codec_t *codec = opj_create_compress(OPJ_CODEC_JP2);
    opj_stream_t *stream = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_FALSE);
    TestJp2Output out;
    opj_stream_set_user_data(stream, &out, nullptr);
    opj_stream_set_write_function(stream, test_jp2_write);
    opj_stream_set_skip_function(stream, test_jp2_skip);
    opj_stream_set_seek_function(stream, test_jp2_seek);
    bool ok = opj_setup_encoder(codec, &settings, image) && opj_start_compress(codec, image, stream) &&
              opj_encode(codec, stream) && opj_end_compress(codec, stream);
    opj_stream_destroy(stream);
    opj_destroy_codec(codec);
    opj_image_destroy(image);
    return ok ? out.bytes : std::string();
}

// Sets the enumerated colour space of a JP2 file's colour box (12 CMYK, 14 CIELab, 16 sRGB, 17 grey,
// 18 sYCC); false when the file has no such box.
inline bool test_jp2_set_enumerated_space(std::string &bytes, uint32_t space)
{
    size_t at = bytes.find("colr\x01", 0, 5);
    if (at == std::string::npos || at + 11 > bytes.size()) return false;
    for (int i = 0; i < 4; i++) bytes[at + 7 + size_t(i)] = char(space >> (24 - 8 * i));
    return true;
}

