// The texture-script renderer: output size and scales, the steps drawn in file order, and freeing.
#include "script/texgen_local.h"

#include "codecs/codecs.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdlib>

// Output size and scales, for the whole run; changed only by texgen_set_output_size.
int32_t g_texgen_width = 1280, g_texgen_height = 1024;
float g_texgen_scale_x = 1.0f, g_texgen_scale_y = 1.0f;
float g_texgen_scale640_x = 2.0f, g_texgen_scale640_y = 2.1333334f;

void texgen_set_output_size(int32_t width, int32_t height)
{
    g_texgen_width = width;
    g_texgen_height = height;
    g_texgen_scale_x = (float)width / 1280.0f;
    g_texgen_scale_y = (float)height / 1024.0f;
    g_texgen_scale640_x = (float)width * 0.0015625f;
    g_texgen_scale640_y = (float)height * 0.0020833334f;
}

int32_t texgen_design_x(int32_t x) { return (int32_t)((float)x * g_texgen_scale_x); }

int32_t texgen_design_y(int32_t y) { return (int32_t)((float)y * g_texgen_scale_y); }

void texgen_render_step(const TexgenScript *script, const TexgenStep *step, uint8_t *out)
{
    int font = -1, bitmap = -1;
    switch (step->kind) {
    case TEXGEN_TEXTE:
    case TEXGEN_CTEXTE:
        if ((font = texgen_find_font(script, step->name)) < 0) return;
        texgen_draw_text(out, &script->fonts[font], step);
        return;
    case TEXGEN_ONDE:
    case TEXGEN_ONDEOMBREE:
        texgen_draw_ripple(out, step);
        return;
    case TEXGEN_EMBOSS:
        texgen_draw_emboss(out, step);
        return;
    case TEXGEN_CARREDEGRADE:
        texgen_draw_panel(out, step);
        return;
    case TEXGEN_MOSAIC:
    case TEXGEN_BITMAP:
    case TEXGEN_ETIRER:
    case TEXGEN_FBITMAP:
        bitmap = texgen_find_bitmap(script, step->name);
        break;
    default:
        return;
    }
    if (bitmap < 0) return;
    const TexgenBitmap *b = &script->bitmaps[bitmap];
    int32_t x = texgen_design_x(step->x), y = texgen_design_y(step->y);
    if (step->kind == TEXGEN_MOSAIC) texgen_draw_mosaic(out, b, x, y);
    if (step->kind == TEXGEN_ETIRER) texgen_draw_stretched(out, b, x, y);
    if (step->kind == TEXGEN_BITMAP) texgen_draw_bitmap(out, b, step->x, step->y);
    if (step->kind == TEXGEN_FBITMAP) texgen_fbitmap_draw(out, x, y, b->width, b->height, b->pixels);
}

uint8_t *texgen_render(const TexgenScript *script)
{
    int64_t width = g_texgen_width, height = g_texgen_height;
    if (width < 1 || height < 1 || width > IMAGE_MAX_SIDE || height > IMAGE_MAX_SIDE ||
        width * height > IMAGE_MAX_PIXELS)
        return nullptr;
    // Zeroed: a pixel that no step writes is black.
    uint8_t *out = (uint8_t *)calloc((size_t)(width * height), 4);
    if (!out || !script) return out;
    for (int i = 0; i < script->step_count; i++) texgen_render_step(script, &script->steps[i], out);
    return out;
}

void texgen_script_free(TexgenScript *script)
{
    if (!script) return;
    for (int i = 0; i < script->bitmap_count; i++) {
        free(script->bitmaps[i].pixels);
        script->bitmaps[i].pixels = nullptr;
    }
    for (int i = 0; i < script->font_count; i++) {
        if (script->fonts[i].face) FT_Done_Face(script->fonts[i].face);
        script->fonts[i].face = nullptr;
    }
    for (int i = 0; i < script->step_count; i++) free(script->steps[i].text);
    free(script);
}
