// Fuzz target of the texture-script reader. A script that reads is also rendered small (when its
// text is small), so the steps run on whatever the reader made of the input. Fonts and pictures come from a folder made
// at start: DejaVuSans.ttf, "fond.png" and "pic.jp2".
#include "codecs/codecs.h"
#include "script/texgen_local.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::string g_folder;

void remove_folder() { std::filesystem::remove_all(g_folder); }

bool make_folder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "texgen-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return false;
    g_folder = pattern;
    atexit(remove_folder);
    std::error_code error;
    std::filesystem::copy_file(ZAV_DEJAVU_SANS, g_folder + "/DejaVuSans.ttf", error);
    std::vector<uint8_t> pixels(8 * 6 * 4);
    for (size_t i = 0; i < pixels.size(); i++) pixels[i] = (uint8_t)(i * 37);
    ImageData image = {pixels.data(), 8, 6, 1, 0};
    return !error && png_write_file((g_folder + "/fond.png").c_str(), &image) &&
           jp2_write_file((g_folder + "/pic.jp2").c_str(), &image);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    if (!make_folder()) abort();
    if (!freopen("/dev/null", "w", stdout)) abort();
    g_texgen_font_folder = g_folder.c_str();
    texgen_set_game_name("Golf $x$");
    texgen_set_output_size(96, 64);
    return 0;
}

namespace {

// Text work grows with the font's size squared and the number of text steps (the halo grows in one
// sweep whatever its width); the target renders the scripts whose text stays small.
bool cheap_to_render(const TexgenScript *script)
{
    if (script->step_count > 24) return false;
    for (int i = 0; i < script->font_count; i++)
        if (script->fonts[i].size > 48) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TexgenScript *script = texgen_script_read_memory(data, size, "fuzz");
    if (!script) return 0;
    if (cheap_to_render(script)) free(texgen_render(script));
    texgen_script_free(script);
    return 0;
}
