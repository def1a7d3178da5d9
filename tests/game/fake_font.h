// A stand-in for the primary font with known measures: every character (space too) is `advance`
// pixels wide and lines are `line_height` high. With a context, each character is drawn as one quad
// of texture slot 0; without one, nothing is drawn. The real font comes back at the end of scope.
#pragma once

#include "game/font.h"

#include <cstring>

class FakePrimaryFont {
public:
    FakePrimaryFont(int32_t advance, int32_t line_height, RenderContext *context = nullptr)
    {
        memcpy(&saved_, &g_font_primary, sizeof saved_);
        Font fake;
        memset(&fake, 0, sizeof fake);
        fake.context = context;
        fake.last_page = 0;
        fake.line_height = line_height;
        fake.space_width = advance;
        fake.alpha = 1.0f;
        fake.width_divisor = 1.0f;
        for (FontGlyph &glyph : fake.glyphs) glyph.width = advance;
        memcpy(&g_font_primary, &fake, sizeof fake);
    }
    ~FakePrimaryFont() { memcpy(&g_font_primary, &saved_, sizeof saved_); }
    FakePrimaryFont(const FakePrimaryFont &) = delete;
    FakePrimaryFont &operator=(const FakePrimaryFont &) = delete;

private:
    Font saved_;
};
