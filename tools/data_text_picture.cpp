// Text on pictures, drawn by the game's own texture-script renderer: the painted picture is laid
// as a bitmap and the script's text steps draw over it with the data folder's faces.
#include "tools/data_pictures.h"

#include "script/texgen.h"
#include "tools/data_writer.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {

// A texture script is UTF-16LE after a byte-order mark, lines ended by CR LF.
std::string script_bytes(const std::string &ascii)
{
    std::string text = data_crlf(ascii), bytes = "\xFF\xFE";
    for (char c : text) {
        bytes.push_back(c);
        bytes.push_back('\0');
    }
    return bytes;
}

// A scratch folder removed with the object.
struct Scratch {
    std::string path;
    Scratch()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "zavdata-text-XXXXXX").string();
        if (mkdtemp(pattern.data())) path = pattern;
    }
    ~Scratch()
    {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
};

// The picture one pixel wider and taller (last column and row repeated): ETIRER then steps
// through it one source pixel per output pixel.
std::vector<uint8_t> padded_bytes(const DataImage &base)
{
    std::vector<uint8_t> rgba = data_image_bytes(base, true);
    int w = base.width, h = base.height;
    std::vector<uint8_t> padded((size_t)(w + 1) * (h + 1) * 4);
    for (int y = 0; y <= h; y++)
        for (int x = 0; x <= w; x++) {
            const uint8_t *from = &rgba[((size_t)std::min(y, h - 1) * w + std::min(x, w - 1)) * 4];
            std::copy(from, from + 4, &padded[((size_t)y * (w + 1) + x) * 4]);
        }
    return padded;
}

bool copy_file(const std::string &from, const std::string &to)
{
    std::error_code error;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, error);
    return !error;
}

}  // namespace

bool data_draw_texts(DataImage *picture, const std::string &data_dir, const std::string &fonts,
                     const std::string &steps)
{
    Scratch scratch;
    if (scratch.path.empty()) return false;
    const std::string faces[] = {"DejaVuSans-Bold.ttf", "DejaVuSans.ttf"};
    for (const std::string &face : faces)
        if (!copy_file(data_dir + "/fonts/" + face, scratch.path + "/" + face)) {
            fprintf(stderr, "zavdata: the font faces must be written before the pictures\n");
            return false;
        }
    std::vector<uint8_t> padded = padded_bytes(*picture);
    if (!data_write_png_bytes(scratch.path + "/base.png", padded.data(), picture->width + 1, picture->height + 1, true))
        return false;
    std::string text = "FONTES {\n" + fonts + "}\nBITMAPS {\nBASE\n{\nFICHIER=\"base.png\"\n}\n}\n" +
                       "COMPOSITION {\nETIRER=BASE (0,0)\n" + steps + "}\n";
    if (!data_write_file(scratch.path + "/script.txt", script_bytes(text))) return false;

    g_texgen_font_folder = scratch.path.c_str();
    texgen_set_game_name(g_data_game_name);
    texgen_set_output_size(picture->width, picture->height);
    fflush(stdout);
    TexgenScript *script = texgen_script_read((scratch.path + "/script.txt").c_str());
    uint8_t *pixels = script ? texgen_render(script) : nullptr;
    texgen_script_free(script);
    fflush(stdout);
    g_texgen_font_folder = ".";
    texgen_set_output_size(1280, 1024);
    if (!pixels) return false;
    for (int y = 0; y < picture->height; y++)
        for (int x = 0; x < picture->width; x++) {
            const uint8_t *p = &pixels[((size_t)y * picture->width + x) * 4];
            data_pixel(picture, x, y) = {p[0] / 255.0f, p[1] / 255.0f, p[2] / 255.0f, 1.0f};
        }
    free(pixels);
    return true;
}
