// Font set-up, first half: the style file read into the working record, and the face opened.
#include "game/font.h"

#include "platform/system.h"
#include "render/render.h"
#include "script/config.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Bounds that keep the glyph line and its buffers small whatever a style file says.
constexpr int32_t kMinSize = 4, kMaxSize = 96;
constexpr int32_t kMaxOutline = 8;
constexpr int32_t kMaxShadow = 16;

__attribute__((format(printf, 1, 2))) void log_font(const char *format, ...)
{
    char line[600];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    render_log_line(line);
}

void split_colour(int32_t packed, int32_t *out)
{
    out[0] = packed & 255;
    out[1] = (packed >> 8) & 255;
    out[2] = (packed >> 16) & 255;
}

// One channel of a colour read from a style file, as a byte: out-of-range, infinite and NaN
// values would not convert to an integer.
int32_t colour_byte(float c) { return c >= 255.0f ? 255 : c > 0.0f ? int32_t(c) : 0; }

int32_t pack_colour(const float *c)
{
    return (colour_byte(c[2]) * 256 + colour_byte(c[1])) * 256 + colour_byte(c[0]);
}

int32_t clamped(const char *key, int32_t value, int32_t low, int32_t high)
{
    if (value >= low && value <= high) return value;
    int32_t fixed = value < low ? low : high;
    log_font("Font: %s out of range, set to %d", key, (int)fixed);
    return fixed;
}

// What the reader fills for one style file.
struct StyleValues {
    float body[3][4];     // COLOR, UP, DOWN
    float outline[3][4];  // COLOR, UP, DOWN
    int32_t size, bold, outline_size;
    int32_t shadow, shadow_y, force;
    char *bitmap, *name;
};

ConfigKeyDescriptor row(uint8_t kind, const char *key) { return {kind, key, nullptr, nullptr, nullptr, nullptr, 0}; }
ConfigKeyDescriptor quad(const char *key, float *dest) { return {CONFIG_QUAD, key, nullptr, nullptr, nullptr, dest, 0}; }
ConfigKeyDescriptor number(const char *key, int32_t *dest) { return {CONFIG_INT, key, nullptr, dest, nullptr, nullptr, 0}; }
ConfigKeyDescriptor text(const char *key, char **dest) { return {CONFIG_TEXT, key, dest, nullptr, nullptr, nullptr, 0}; }

void read_style(const char *file_name, StyleValues *v)
{
    // SHADOW_X and SHADOW fill one variable: whichever the file gives last holds.
    const ConfigKeyDescriptor table[] = {
        row(CONFIG_SECTION, "DATA"),
        {CONFIG_GROUP, "BODY", nullptr, nullptr, nullptr, nullptr, 1},
        quad("COLOR", v->body[0]),
        quad("UP", v->body[1]),
        quad("DOWN", v->body[2]),
        number("SIZE", &v->size),
        number("BOLD", &v->bold),
        text("BITMAP", &v->bitmap),
        text("NAME", &v->name),
        number("SHADOW_X", &v->shadow),
        number("SHADOW_Y", &v->shadow_y),  // before SHADOW: a group line goes to the first key it starts with
        number("SHADOW", &v->shadow),
        number("FORCE", &v->force),
        row(CONFIG_GROUP_END, "BODY"),
        {CONFIG_GROUP, "OUTLINE", nullptr, nullptr, nullptr, nullptr, 1},
        quad("COLOR", v->outline[0]),
        quad("UP", v->outline[1]),
        quad("DOWN", v->outline[2]),
        number("SIZE", &v->outline_size),
        row(CONFIG_GROUP_END, "OUTLINE"),
        row(CONFIG_SECTION_END, "DATA"),
        row(CONFIG_END, nullptr),
    };
    config_read_file(table, file_name);
}

void store_colours(FontStyle *style, float colours[3][4], int32_t first_code, int32_t top_code, int32_t bottom_code)
{
    const int32_t codes[3] = {first_code, top_code, bottom_code};
    for (int i = 0; i < 3; i++)
        if (colours[i][0] >= 0.0f) font_set_style_field(style, pack_colour(colours[i]), codes[i]);
}

void load_fill_picture(FontStyle *style, const char *file_name)
{
    free(style->fill_image.pixels);
    style->fill_image = ImageData{};
    style->fill_pixels = nullptr;
    if (!png_load_file(file_name, &style->fill_image, 0) || style->fill_image.width <= 0 ||
        style->fill_image.height <= 0 || style->fill_image.width > 65535 || style->fill_image.height > 65535) {
        log_font("Font: fill picture %s not read, body colours used", file_name);
        free(style->fill_image.pixels);
        style->fill_image = ImageData{};
        return;
    }
    font_set_style_field(style, 1, 6);
    font_set_style_field(style, style->fill_image.width * 65536 + style->fill_image.height, 11);
}

}  // namespace

void font_style_init(FontStyle *style)
{
    memset(style, 0, sizeof *style);
    style->size = 20;
    style->outline_size = 1;
    style->shadow_alpha = 128;
}

void font_style_release(FontStyle *style)
{
    if (style->face) FT_Done_Face(style->face);
    style->face = nullptr;
    free(style->fill_image.pixels);
    style->fill_image = ImageData{};
    style->fill_pixels = nullptr;
}

void font_set_style_field(FontStyle *style, int32_t value, int32_t code)
{
    switch (code) {
    case 0: split_colour(value, style->body_top), split_colour(value, style->body_bottom); break;
    case 1: style->size = value; break;
    case 2: split_colour(value, style->body_top); break;
    case 3: split_colour(value, style->body_bottom); break;
    case 4: style->outline_size = value; break;
    case 5:
        style->shadow_dx = value & 0xFFFF;
        style->shadow_dy = (value >> 16) & 0xFFFF;
        style->shadow_on = 1;
        break;
    // A pointer does not fit the packed value: non-zero selects the record's own fill picture.
    case 6: style->fill_pixels = value ? style->fill_image.pixels : nullptr; break;
    case 7: split_colour(value, style->outline_top), split_colour(value, style->outline_bottom); break;
    case 8: split_colour(value, style->outline_top); break;
    case 9: split_colour(value, style->outline_bottom); break;
    case 10: style->bold = value; break;
    case 11:
        style->fill_width = (value >> 16) & 0xFFFF;
        style->fill_height = value & 0xFFFF;
        break;
    case 12: style->shadow_alpha = value; break;
    default: break;
    }
}

int font_parse_style_file(const char *file_name, FontStyle *style)
{
    StyleValues v;
    for (int i = 0; i < 3; i++) v.body[i][0] = v.outline[i][0] = -1.0f;
    // Values the file leaves out keep what the record holds.
    v.size = style->size;
    v.bold = style->bold;
    v.outline_size = style->outline_size;
    v.shadow = v.shadow_y = -1;
    v.force = 128;
    v.bitmap = v.name = nullptr;
    read_style(file_name, &v);

    store_colours(style, v.outline, 7, 8, 9);
    font_set_style_field(style, clamped("OUTLINE SIZE", v.outline_size, 0, kMaxOutline), 4);
    if (v.shadow >= 0) {
        int32_t dx = clamped("SHADOW", v.shadow, 0, kMaxShadow);
        int32_t dy = v.shadow_y >= 0 ? clamped("SHADOW_Y", v.shadow_y, 0, kMaxShadow) : -1;
        font_set_style_field(style, dy >= 0 ? dx * 65536 + dy : dx * 65537, 5);
        font_set_style_field(style, clamped("FORCE", v.force, 0, 255), 12);
    }
    store_colours(style, v.body, 0, 2, 3);
    font_set_style_field(style, clamped("SIZE", v.size, kMinSize, kMaxSize), 1);
    font_set_style_field(style, clamped("BOLD", v.bold, 0, 100), 10);
    if (v.bitmap) load_fill_picture(style, v.bitmap);

    int opened = 0;
    if (v.name) opened = font_open_face(v.name, style);
    else log_font("Font: style file %s names no face", file_name);
    free(v.bitmap);
    free(v.name);
    return opened;
}

int font_open_face(const char *file_name, FontStyle *style)
{
    if (style->face) FT_Done_Face(style->face);
    style->face = nullptr;
    char native[PATH_MAX];
    FT_Face face = nullptr;
    if (!style->library || !sys_native_path(file_name, native, sizeof native) ||
        FT_New_Face(style->library, native, 0, &face) != 0) {
        log_font("Font: face %s cannot be opened", file_name);
        return 0;
    }
    if (FT_Set_Char_Size(face, style->size * 128, 0, 0, 0) != 0) {
        log_font("Font: face %s has no size %d", file_name, (int)style->size);
        FT_Done_Face(face);
        return 0;
    }
    style->face = face;
    FT_Pos top = FT_MulFix(face->bbox.yMax, face->size->metrics.y_scale);
    style->ascent = (int32_t)((top + 63) >> 6);
    style->bold_strength = (int32_t)(face->size->metrics.y_ppem * 6.4 * style->bold * 0.1);
    return 1;
}
