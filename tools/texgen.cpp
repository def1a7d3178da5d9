// Renders a texture script into a PNG: texgen <script> <out.png> <width> <height> [folder].
// Fonts and bitmaps are opened from the folder, by default the script's own.
#include "codecs/codecs.h"
#include "script/texgen.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool parse_side(const char *text, int32_t *side)
{
    char *end;
    long value = strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || value < 1 || value > IMAGE_MAX_SIDE) return false;
    *side = (int32_t)value;
    return true;
}

std::string folder_of(const std::string &path)
{
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

int main(int argc, char **argv)
{
    int32_t width, height;
    if (argc < 5 || argc > 6 || !parse_side(argv[3], &width) || !parse_side(argv[4], &height)) {
        fprintf(stderr, "usage: texgen <script> <out.png> <width> <height> [folder]\n");
        return 2;
    }
    std::string folder = argc == 6 ? argv[5] : folder_of(argv[1]);
    g_texgen_font_folder = folder.c_str();
    texgen_set_output_size(width, height);

    TexgenScript *script = texgen_script_read(argv[1]);
    if (!script) {
        fprintf(stderr, "texgen: cannot read the script %s\n", argv[1]);
        return 1;
    }
    uint8_t *picture = texgen_render(script);
    texgen_script_free(script);
    ImageData image = {picture, width, height, 0, 0};
    int written = picture && png_write_file(argv[2], &image);
    free(picture);
    if (!written) {
        fprintf(stderr, "texgen: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
