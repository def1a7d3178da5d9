// Bitmap fonts: two fonts rasterised once at start-up through FreeType from their style files,
// packed into 256 x 256 texture pages and drawn glyph by glyph as alpha-blended 2D quads.
// Main thread only.
#pragma once

#include "codecs/codecs.h"

#include <cstdint>

struct RenderContext;
struct FT_LibraryRec_;
struct FT_FaceRec_;

constexpr int kFontFirstCode = 33;
constexpr int kFontGlyphCount = 223;  // codes 33 to 255
constexpr int kFontPageSide = 256;
constexpr int kFontPrimarySlot = 1002;    // pages 1002..1014, below the widget slots
constexpr int kFontSecondarySlot = 1050;  // pages 1050..1065

struct FontGlyph {
    int32_t atlas_x;  // first column in the strip
    int32_t width;    // ink width in pixels; 0 draws nothing
    int32_t page_x;
    int32_t page_y;
    int32_t texture;  // slot of its page
};

struct Font {
    RenderContext *context;
    uint8_t *atlas_pixels;  // RGBA strip during set-up only
    int32_t atlas_width;
    int32_t line_height;  // of every glyph quad at scale 1
    int32_t first_texture;
    int32_t last_page;  // -1: no pages (an empty font measures 0 and draws nothing)
    int32_t letter_spacing;
    int32_t space_width;
    char *chars;  // codes 33..255, NUL-ended (malloc)
    FontGlyph glyphs[256];
    float alpha;  // callers fade text through it and put back 1.0
    float width_divisor;
    int32_t glyph_of_char[256];  // by unsigned byte; 0 ("!") for codes without a glyph
};

// The working record of the set-up, shared by both fonts in turn.
struct FontStyle {
    FT_FaceRec_ *face;
    FT_LibraryRec_ *library;
    int32_t ascent;
    int32_t bold_strength;  // 1/64 pixel
    int32_t line_width, line_height;
    int32_t body_top[3], body_bottom[3];
    int32_t outline_top[3], outline_bottom[3];
    int32_t shadow_dx, shadow_dy;
    uint8_t shadow_on;
    int32_t size;
    int32_t outline_size;
    uint8_t *fill_pixels;  // points into fill_image; null = the body colours
    int32_t fill_width, fill_height;
    int32_t shadow_alpha;
    int32_t bold;
    ImageData fill_image;
    // Column of the line where each glyph is drawn, and the line's end after the last: a glyph's box
    // is the ink within its own span. Halved with the strip.
    int32_t glyph_start[kFontGlyphCount + 1];
};

extern Font g_font_primary;
extern Font g_font_secondary;

// The record as before the first style file: no face, size 20, outline 1, no bold, shadow off.
void font_style_init(FontStyle *style);
// Frees what the record holds (fill picture, face). The library stays.
void font_style_release(FontStyle *style);
// Both fonts from "data/gfx/script_font.txt" and "data/gfx/script_font2.txt" into slots 1002 and
// 1050. A font whose face cannot be opened stays empty; start-up goes on.
void font_init(RenderContext *context);
// Reads one style file into the record and opens its face; 0 when no face could be opened.
int font_parse_style_file(const char *file_name, FontStyle *style);
void font_set_style_field(FontStyle *style, int32_t value, int32_t code);
// Opens the face (a path of the path layer) at 2 x size pixels per em; 0 on failure.
int font_open_face(const char *file_name, FontStyle *style);
// Coverage of codes 33..255, each followed by two spaces: line_width x line_height bytes (malloc),
// glyph_start filled; null when there is no face.
uint8_t *font_rasterise_text_line(FontStyle *style, const char *text);
// A mask one ring larger (malloc); frees the input. Null stays null.
uint8_t *font_dilate_mask(uint8_t *mask, int32_t width, int32_t height);
// The coloured, halved RGBA strip (malloc) of codes 33..255; null when there is no face.
uint8_t *font_build_glyph_atlas(FontStyle *style);
// The same for any text.
uint8_t *font_build_text_strip(FontStyle *style, const char *text);
// Cuts the strip into glyph boxes, packs and uploads the pages; takes the strip. Boxes come from
// `glyph_start` (span per glyph, 224 entries), or with null from a scan for runs of ink columns.
void font_create_atlas_texture(Font *font, int32_t first_slot, uint8_t *pixels, int32_t width, int32_t height,
                               const int32_t *glyph_start);
// Width in pixels at scale 1; 0 for an empty font or one whose width divisor is not positive.
int32_t font_text_width(const Font *font, const char *text);
// (x, y): top-left of the first glyph in pixels; colour 0..1; alpha Font.alpha x g_text_alpha.
void font_draw_text(Font *font, int32_t x, int32_t y, const char *text, float scale, float r, float g, float b);
// Releases the font's pages; the font is empty afterwards.
void font_release_textures(Font *font);
// Back to the state before set-up (no pages, initial spacing), freeing what it holds.
void font_reset(Font *font);
