// Seed inputs of the JPEG 2000 fuzz target: small pictures of one, three and four components from
// the engine's writer, as JP2 files and as raw code streams; sYCC and CMYK files from OpenJPEG's own
// encoder.
#include "codecs/codecs.h"
#include "tests/codecs/codecs_test_util.h"
#include "tests/codecs/jp2_test_util.h"

#include <cstdio>

#include <string>

int main(int argc, char **argv)
{
    if (argc != 2) return 2;
    std::string base = std::string(argv[1]) + "/";
    std::vector<uint8_t> pixels = test_picture(16, 9, 1);
    ImageData rgba = test_image(pixels, 16, 9, 1);
    ImageData rgb = test_image(pixels, 16, 9, 0);
    std::vector<uint8_t> grey_pixels = test_random_bytes(7 * 5, 2);
    ImageData grey = test_image(grey_pixels, 7, 5, 0);
    grey.one_byte = 1;
    int ok = jp2_write_file((base + "rgba.jp2").c_str(), &rgba) && jp2_write_file((base + "rgb.j2k").c_str(), &rgb) &&
             jp2_write_file((base + "rgb.jp2").c_str(), &rgb) && jp2_write_file((base + "grey.j2k").c_str(), &grey) &&
             jp2_write_file((base + "grey.jp2").c_str(), &grey);
    std::vector<std::vector<int>> planes(4, std::vector<int>(8 * 6));
    for (size_t c = 0; c < planes.size(); c++)
        for (size_t i = 0; i < planes[c].size(); i++) planes[c][i] = int((i * 37 + c * 80) % 256);
    std::string sycc = test_jp2_encode({planes[0], planes[1], planes[2]}, 8, 6, OPJ_CLRSPC_SYCC);
    std::string cmyk = test_jp2_encode(planes, 8, 6, OPJ_CLRSPC_CMYK);
    ok = ok && test_jp2_set_enumerated_space(cmyk, 12);
    for (const auto &[name, bytes] : {std::pair{"sycc.jp2", &sycc}, std::pair{"cmyk.jp2", &cmyk}}) {
        FILE *file = fopen((base + name).c_str(), "wb");
        ok = ok && file && fwrite(bytes->data(), 1, bytes->size(), file) == bytes->size();
        if (file) ok = fclose(file) == 0 && ok;
    }
    return ok ? 0 : 1;
}
