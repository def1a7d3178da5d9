// Internals of the texture scripts: the script record, the UTF-16 reading and the drawing steps.
#pragma once

#include "script/texgen.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

struct FT_FaceRec_;
struct FT_LibraryRec_;

const int TEXGEN_MAX_ENTRIES = 256;  // fonts, bitmaps and steps of one script
const int TEXGEN_NAME_UNITS = 256;   // font and bitmap names, with the terminator
const int TEXGEN_STEP_NAME_UNITS = 512;
const int TEXGEN_TEXT_UNITS = 256;      // a step's text block
const int TEXGEN_LINE_UNITS = 256;      // one read of a block line
const int TEXGEN_TOP_WORD_UNITS = 512;  // a top-level or section word
const int TEXGEN_WORD_UNITS = 256;      // a composition word
const int TEXGEN_FILE_NAME_BYTES = 256;
// Numbers read from a script are held within +-1,000,000 so that scaled positions stay in range.
const int32_t TEXGEN_NUMBER_LIMIT = 1000000;
// Largest SIZE of a font that loads: the text mask is about this many pixels high.
const int32_t TEXGEN_MAX_FONT_SIZE = 1024;
// Largest script file read.
const size_t TEXGEN_MAX_FILE_BYTES = 16u << 20;
// Largest side of a CLOUDS bitmap, and the most pixels the bitmaps of one script may hold.
const int32_t TEXGEN_MAX_CLOUDS_SIDE = 4096;
const int64_t TEXGEN_MAX_SCRIPT_PIXELS = 32ll << 20;
// Largest text mask; a longer or taller text is not drawn.
const int64_t TEXGEN_MAX_MASK_PIXELS = 16ll << 20;

struct TexgenBitmap {
    char file_name[TEXGEN_FILE_NAME_BYTES];
    char16_t name[TEXGEN_NAME_UNITS];
    int32_t width;
    int32_t height;
    uint8_t *pixels;  // width x height x 4 bytes R, G, B, A, rows top down; owned by the script
    int32_t shadow;
    int32_t shadow_dx;  // design units, times 3 when drawn
    int32_t shadow_dy;
    int32_t frame;  // 1: a white one-pixel frame around the bitmap
};

struct TexgenFont {
    char file_name[TEXGEN_FILE_NAME_BYTES];
    char16_t name[TEXGEN_NAME_UNITS];
    FT_FaceRec_ *face;
    int32_t ascent;        // pixels above the base line
    int32_t bold_advance;  // extra advance a glyph in 1/64 pixel when bold
    int32_t size;          // character height of the text mask in pixels
    int32_t shadow;
    int32_t shadow_dx;  // 640 x 480 design units
    int32_t shadow_dy;
    int32_t outline;      // growing passes of the halo
    int32_t colour_mode;  // 0 none, 1 DEGRADE, 2 SINUS
    int32_t colour_top[3];
    int32_t colour_bottom[3];
    uint8_t bold;
};

enum TexgenStepKind : int32_t {
    TEXGEN_MOSAIC = 1,
    TEXGEN_TEXTE = 2,
    TEXGEN_BITMAP = 3,
    TEXGEN_ETIRER = 4,
    TEXGEN_CARREDEGRADE = 5,
    TEXGEN_CTEXTE = 6,
    TEXGEN_FBITMAP = 7,
    TEXGEN_ONDE = 8,
    TEXGEN_ONDEOMBREE = 9,
    TEXGEN_EMBOSS = 10,
};

struct TexgenStep {
    int32_t kind;
    int32_t x;
    int32_t y;
    char16_t name[TEXGEN_STEP_NAME_UNITS];  // bitmap or font
    char16_t *text;                         // TEXTE and CTEXTE: TEXGEN_TEXT_UNITS units owned by the step
    int32_t size_w;
    int32_t size_h;
    int32_t colour[3];  // CARREDEGRADE colour, or EMBOSS channel weights
    int32_t param_a;    // ONDE amplitude
    int32_t param_b;    // ONDE frequency; EMBOSS spot radius
};

// One heap block, allocated zeroed by the reader; only the first `*_count` entries are valid.
struct TexgenScript {
    int32_t bitmap_count;
    TexgenBitmap bitmaps[TEXGEN_MAX_ENTRIES];
    int32_t font_count;
    TexgenFont fonts[TEXGEN_MAX_ENTRIES];
    int32_t step_count;
    TexgenStep steps[TEXGEN_MAX_ENTRIES];
};

// A script's bytes being read in 16-bit little-endian units; `position` is a byte offset.
struct TexgenFile {
    const uint8_t *data;
    size_t size;
    size_t position;
};

// ---- module state ------------------------------------------------------------------------------

// FreeType, made by the first texgen_script_read and kept for the process.
extern FT_LibraryRec_ *g_texgen_freetype;
// The game's name for "$x$" (texgen_set_game_name); never null.
extern const char *g_texgen_game_name;

// ---- reading (texgen_read.cpp) -----------------------------------------------------------------

// The reader over bytes in memory; `path` names the script in the refusal message.
TexgenScript *texgen_script_read_memory(const void *data, size_t size, const char *path);
// The next run of non-blank units, at most max - 1 kept (the rest of it is skipped); the position
// stays on the blank after it. 0 at the end of the text, with out unchanged.
int texgen_read_word(TexgenFile *file, char16_t *out, int max);
// The next line with its line end, at most max - 1 units a read. 0 at the end, out unchanged.
int texgen_read_line(TexgenFile *file, char16_t *out, int max);
// One font or bitmap block for the name just read; the entry is appended when it is usable.
void texgen_read_fonts(const char16_t *name, TexgenScript *script, TexgenFile *file);
void texgen_read_bitmaps(const char16_t *name, TexgenScript *script, TexgenFile *file);
// The composition block, from the word after "COMPOSITION" to its closing brace.
void texgen_read_composition(TexgenFile *file, TexgenScript *script);
// A step's quoted text from the next words: a new calloc'd block of TEXGEN_TEXT_UNITS units.
char16_t *texgen_read_text(TexgenFile *file);

// ---- UTF-16 texts (texgen_wide.cpp) ------------------------------------------------------------

int texgen_wide_length(const char16_t *text);
// 1 when keyword occurs in text; an empty text contains nothing, an empty keyword is everywhere else.
int texgen_wide_str_contains(const char16_t *text, const char16_t *keyword);
int texgen_wide_equal(const char16_t *a, const char16_t *b);
// Index of the first entry whose name equals `name` exactly, else -1.
int texgen_find_font(const TexgenScript *script, const char16_t *name);
int texgen_find_bitmap(const TexgenScript *script, const char16_t *name);
// Units below 256 become the byte of that value; the first unit of 256 or more ends the text. At
// most out_size - 1 bytes, always terminated.
void texgen_wide_to_narrow(const char16_t *text, char *out, int out_size);
// Formats into at most size - 1 units and a terminator: "%s" takes a UTF-16 text, "%d" an int,
// "%%" is a percent sign. Returns the units written.
int texgen_format_wide(char16_t *buffer, int size, const char16_t *format, ...);
// The path with the extension after its last '.' (in the last path component) replaced by the
// given one, or the extension added when it has none. A static buffer that the next call
// overwrites; "" when the result would not fit.
char *texgen_replace_extension(const char *path, const char *extension);

// ---- fonts and text (texgen_font.cpp, texgen_text.cpp) -------------------------------------------

// Size that the last texgen_text_mask (mask pixels) or texgen_text_measure (output pixels) found.
extern int32_t g_texgen_text_width, g_texgen_text_height;

// Opens g_texgen_font_folder/file_name at the font's size and derives ascent and bold advance.
// 1, or 0 with no face (missing or unreadable file, SIZE outside 1..TEXGEN_MAX_FONT_SIZE).
int texgen_font_load(TexgenFont *font, const char *file_name);
// The text's coverage mask (0 empty to 255 full), at twice the size it is shown; a new malloc'd
// block of g_texgen_text_width x g_texgen_text_height bytes. Null (size 0 x 0) for an empty text
// or one whose mask would exceed TEXGEN_MAX_MASK_PIXELS.
uint8_t *texgen_text_mask(const char16_t *text, const TexgenFont *font);
// Sets g_texgen_text_width and g_texgen_text_height to the text's extent in output pixels.
void texgen_text_measure(const char16_t *text, const TexgenFont *font);
// One growing pass: a new mask where 255 stays and any other inner pixel touching a non-zero one
// becomes 128 (the border stays 0). Frees the given mask; on a failed allocation returns it as is.
uint8_t *texgen_mask_grow(uint8_t *mask, int width, int height);
// `passes` growing passes at once, in time linear in the mask's size whatever their number. Frees
// the given mask; on a failed allocation returns it as is.
uint8_t *texgen_mask_grow_times(uint8_t *mask, int width, int height, int passes);
// The halo (darkening) pass of a text at (x, y) in output pixels; mode 0 normal, 1 shadow.
void texgen_text_halo_pass(const TexgenFont *font, int x, uint8_t *out, const char16_t *text, int y, int mode);
// The fill (colour) pass of a text at (x, y); mode 0 normal, 1 shadow. Returns the drawn width.
int texgen_text_fill_pass(const char16_t *text, uint8_t *out, int x, int y, const TexgenFont *font, int mode);
// TEXTE and CTEXTE steps.
void texgen_draw_text(uint8_t *out, const TexgenFont *font, const TexgenStep *step);

// ---- bitmap layers (texgen_bitmap.cpp) ---------------------------------------------------------

// The scripts' 15-bit generator (0..32767); texgen_script_read seeds it with 1, so that a script
// always gives the same clouds.
void texgen_srand(uint32_t seed);
int texgen_rand(void);
// Midpoint subdivision of a clouds height map with `stride` bytes a row: a square, a row, a column.
void texgen_random_fill_a(uint8_t *map, int x0, int y0, int x1, int y1, int stride);
void texgen_random_fill_b(uint8_t *map, int x0, int x1, int row, int stride);
void texgen_random_fill_c(uint8_t *map, int y0, int y1, int column, int stride);
// The clouds' (width + 1) x (height + 1) height map, malloc'd: its last row equals its first and its
// last column its first.
uint8_t *texgen_clouds_height_map(int32_t width, int32_t height);
// A seamless clouds bitmap of the colour (alpha 255); 1, or 0 for sides outside 1..TEXGEN_MAX_CLOUDS_SIDE.
int texgen_clouds_make(TexgenBitmap *bitmap, int32_t red, int32_t green, int32_t blue, int32_t width, int32_t height);
// True when one more bitmap of width x height, from a file or clouds, keeps the script's bitmaps
// within TEXGEN_MAX_SCRIPT_PIXELS.
bool texgen_bitmap_fits(const TexgenScript *script, int32_t width, int32_t height);
// Weight 0..1 of pixel (i, j) of a w x h rectangle feathered over a border of k pixels (1 for k <= 0).
float texgen_feather_weight(int i, int j, int w, int h, int k);
// Feathered rectangles in output pixels, clipped to the picture: one lays a colour with a border of
// 24 design pixels, the other halves the picture inside and darkens less over a border of k.
void texgen_feather_rect_colour(uint8_t *out, int x, int y, int w, int h, int red, int green, int blue);
void texgen_feather_rect_darken(uint8_t *out, int x, int y, int w, int h, int k);
// FBITMAP: the w x h bitmap scaled to the output at (x, y), its edges faded into the picture.
void texgen_fbitmap_draw(uint8_t *out, int x, int y, int w, int h, const uint8_t *pixels);
// MOSAIC and ETIRER at an output-pixel offset (x, y) into the bitmap; BITMAP at a design position.
void texgen_draw_mosaic(uint8_t *out, const TexgenBitmap *bitmap, int32_t x, int32_t y);
void texgen_draw_stretched(uint8_t *out, const TexgenBitmap *bitmap, int32_t x, int32_t y);
void texgen_draw_bitmap(uint8_t *out, const TexgenBitmap *bitmap, int32_t x, int32_t y);
// CARREDEGRADE: a colour panel with its drop shadow.
void texgen_draw_panel(uint8_t *out, const TexgenStep *step);

// ---- picture effects (texgen_effect.cpp) ---------------------------------------------------------

// ONDE and ONDEOMBREE: the picture bent by a ripple from its centre, shaded for ONDEOMBREE.
void texgen_draw_ripple(uint8_t *out, const TexgenStep *step);
// EMBOSS: the picture's brightness lit as relief by a round spot; nothing for a radius below 1.
void texgen_draw_emboss(uint8_t *out, const TexgenStep *step);

// ---- rendering (texgen_render.cpp) ---------------------------------------------------------------

// Design position to output pixel: trunc(x * g_texgen_scale_x), trunc(y * g_texgen_scale_y).
int32_t texgen_design_x(int32_t x);
int32_t texgen_design_y(int32_t y);
// Draws one step into the picture of the output size; a step whose font or bitmap the script
// lacks draws nothing.
void texgen_render_step(const TexgenScript *script, const TexgenStep *step, uint8_t *out);

// Visits the pixels of rows j0..j1-1 and columns i0..i1-1 of the w x h rectangle at (x, y), in output
// pixels, that lie inside both the rectangle and the picture: f(i, j, pixel).
template <typename F>
void texgen_for_rect(uint8_t *out, int x, int y, int w, int h, int i0, int i1, int j0, int j1, F f)
{
    i0 = std::max({i0, 0, -x});
    i1 = std::min({i1, w, g_texgen_width - x});
    j0 = std::max({j0, 0, -y});
    j1 = std::min({j1, h, g_texgen_height - y});
    for (int j = j0; j < j1; j++) {
        uint8_t *row = out + (size_t)(y + j) * g_texgen_width * 4;
        for (int i = i0; i < i1; i++) f(i, j, row + (size_t)(x + i) * 4);
    }
}
