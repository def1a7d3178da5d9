// Seed inputs of the JPEG 2000 fuzz target: small pictures of one, three and four components from
// the engine's writer, as JP2 files and as raw code streams, and as sYCC and CMYK files.
#include "codecs/codecs.h"
#include "tests/codecs/codecs_test_util.h"
#include "tests/codecs/jp2_test_util.h"

#include <string>
#include <tuple>

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
    for (const auto &[name, image, space] : {std::tuple{"sycc.jp2", &rgb, 18u}, std::tuple{"cmyk.jp2", &rgba, 12u}}) {
        std::string bytes = test_jp2_in_space(base + name, *image, space);
        ok = ok && !bytes.empty();
        test_write_file(base + name, bytes);
    }
    return ok ? 0 : 1;
}
