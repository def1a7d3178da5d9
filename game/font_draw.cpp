// Text measured and drawn glyph by glyph as alpha-blended 2D quads.
#include "game/font.h"
#include "game/ui.h"

#include "render/render_draw.h"

#include <cstdint>

namespace {

const FontGlyph &glyph_of(const Font *font, char c)
{
    return font->glyphs[font->glyph_of_char[(unsigned char)c]];
}

// A divisor that is not positive would divide by zero (or measure backwards): such a font is
// measured and drawn as an empty one.
bool usable(const Font *font) { return font->last_page >= 0 && font->width_divisor > 0.0f; }

}  // namespace

int32_t font_text_width(const Font *font, const char *text)
{
    if (!text || !usable(font)) return 0;
    float width = 0.0f;
    for (const char *c = text; *c; c++) {
        if (*c == ' ') width += (float)font->space_width;
        else width += (float)glyph_of(font, *c).width / font->width_divisor + (float)font->letter_spacing;
    }
    // A tiny divisor can pass the integers' range; the conversion would then be undefined.
    if (!(width < 2147483520.0f)) return INT32_MAX;
    return width > -2147483520.0f ? (int32_t)width : INT32_MIN;
}

void font_draw_text(Font *font, int32_t x, int32_t y, const char *text, float scale, float r, float g, float b)
{
    RenderContext *context = font->context;
    if (!text || !context || !usable(font)) return;
    const float alpha = font->alpha * g_text_alpha;
    const float side = (float)kFontPageSide;
    float pen = (float)x;
    // Blending once around the whole text: glyphs of one page then share one draw.
    render_set_mode(6, context, 1);
    for (const char *c = text; *c; c++) {
        if (*c == ' ') {
            pen += (float)font->space_width * scale;
            continue;
        }
        const FontGlyph &glyph = glyph_of(font, *c);
        float w = (float)glyph.width * scale / font->width_divisor;
        if (glyph.width > 0) {
            texture_bind(context, glyph.texture);
            render_draw_2d_quad_rgba(context, pen, (float)y, w, (float)font->line_height * scale,
                                     (float)glyph.page_x / side, (float)glyph.page_y / side,
                                     (float)(glyph.page_x + glyph.width) / side,
                                     (float)(glyph.page_y + font->line_height) / side, r, g, b, alpha);
        }
        pen += w + (float)font->letter_spacing * scale;
    }
    render_set_mode(6, context, 0);
}
