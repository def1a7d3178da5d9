// JPEG 2000 files in other colour spaces, as other programs write them: a lossless JP2 from the
// codec's own writer whose colour box then declares another enumerated space.
#pragma once

#include "codecs/codecs.h"
#include "tests/test_util.h"

#include <cstdint>
#include <string>

// The JP2 file of `image`, written at `path`, declaring `space` (12 CMYK, 14 CIELab, 16 sRGB,
// 17 grey, 18 sYCC, 24 e-YCC): its planes are then read as that space's components. Empty when it
// cannot be written.
inline std::string test_jp2_in_space(const std::string &path, const ImageData &image, uint32_t space)
{
    if (!jp2_write_file(path.c_str(), &image)) return std::string();
    std::string bytes = test_read_file(path);
    size_t at = bytes.find("colr\x01", 0, 5);
    if (at == std::string::npos || at + 11 > bytes.size()) return std::string();
    for (int i = 0; i < 4; i++) bytes[at + 7 + size_t(i)] = char(space >> (24 - 8 * i));
    return bytes;
}
