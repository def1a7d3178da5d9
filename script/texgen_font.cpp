// Fonts of the texture scripts: faces opened through FreeType at the size the script gives.
#include "script/texgen_local.h"

#include "platform/system.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <climits>
#include <cstdio>

const char *g_texgen_font_folder = ".";

int texgen_font_load(TexgenFont *font, const char *file_name)
{
    font->face = nullptr;
    if (!g_texgen_freetype || font->size < 1 || font->size > TEXGEN_MAX_FONT_SIZE) return 0;
    char path[1024];
    int length = snprintf(path, sizeof path, "%s/%s", g_texgen_font_folder ? g_texgen_font_folder : ".", file_name);
    char native[PATH_MAX];
    if (length < 0 || length >= (int)sizeof path || !sys_native_path(path, native, sizeof native)) return 0;

    FT_Face face;
    if (FT_New_Face(g_texgen_freetype, native, 0, &face) != 0) return 0;
    // Character height 0.99 times SIZE at FreeType's default resolution.
    if (FT_Set_Char_Size(face, 0, (FT_F26Dot6)(font->size * 64 * 0.99), 0, 0) != 0) {
        FT_Done_Face(face);
        return 0;
    }
    font->face = face;
    FT_Pos top = FT_MulFix(face->bbox.yMax, face->size->metrics.y_scale);
    font->ascent = (int32_t)((top + 63) >> 6);
    font->bold_advance = (int32_t)(face->size->metrics.y_ppem * 6.4);
    return 1;
}
