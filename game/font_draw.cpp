// Text measured and drawn glyph by glyph as alpha-blended 2D quads.
#include "game/font.h"
#include "game/ui.h"

#include "render/render_draw.h"

namespace {

const FontGlyph &glyph_of(const Font *font, char c)
{
    return font->glyphs[font->glyph_of_char[(unsigned char)c]];
}

}  // namespace

int32_t font_text_width(const Font *font, const char *text)
{
    if (!text || font->last_page < 0) return 0;
    float width = 0.0f;
    for (const char *c = text; *c; c++) {
        if (*c == ' ') width += (float)font->space_width;
        else width += (float)glyph_of(font, *c).width / font->width_divisor + (float)font->letter_spacing;
    }
    return (int32_t)width;
}

void font_draw_text(Font *font, int32_t x, int32_t y, const char *text, float scale, float r, float g, float b)
{
    RenderContext *context = font->context;
    if (!text || !context || font->last_page < 0) return;
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
