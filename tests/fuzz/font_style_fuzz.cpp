// Fuzz target of the font style files: any text read as a style file into the set-up record, then
// the glyph strip built and packed into pages of the headless texture table. The face is DejaVu Sans
// whatever the file names: when the named face does not open, the set-up opens it.
#include "game/font.h"
#include "platform/gpu/headless/gpu_headless.h"
#include "render/render.h"
#include "tests/test_util.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// Kept for the whole run: the working folder with the face, and the device.
TempDir *g_folder;
FT_Library g_library;

void leave()
{
    font_reset(&g_font_primary);
    render_shutdown_device(&g_render_context);
    render_context_destroy(&g_render_context);
    FT_Done_FreeType(g_library);
    delete g_folder;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    setenv("ZAVGOLF_HEADLESS", "1", 1);
    g_folder = new TempDir;
    test_write_file(*g_folder / "DejaVuSans.ttf", test_read_file(ZAV_DEJAVU_SANS));
    sys_path_reset(g_folder->path.c_str(), (*g_folder / "user").c_str());
    gpu_headless_reset();
    render_context_construct(&g_render_context);
    g_render_context.width = g_render_context.height = 32;
    if (render_create_device(&g_render_context) != 1 || FT_Init_FreeType(&g_library) != 0) abort();
    font_reset(&g_font_primary);
    atexit(leave);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *file = fopen((*g_folder / "style.txt").c_str(), "wb");
    if (!file) return 0;
    fwrite(data, 1, size, file);
    fclose(file);

    FontStyle style;
    font_style_init(&style);
    style.library = g_library;
    if (font_parse_style_file("style.txt", &style) || font_open_face("DejaVuSans.ttf", &style)) {
        uint8_t *strip = font_build_glyph_atlas(&style);
        if (strip) {
            g_font_primary.context = &g_render_context;
            font_create_atlas_texture(&g_font_primary, kFontPrimarySlot, strip, style.line_width, style.line_height,
                                      style.glyph_start);
            if (font_text_width(&g_font_primary, "Ab \xe9!") < 0 && g_font_primary.last_page >= 0) abort();
            font_release_textures(&g_font_primary);
        }
    }
    style.library = nullptr;
    font_style_release(&style);
    return 0;
}
