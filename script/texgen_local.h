// Internals of the texture scripts: the script record, the UTF-16 reading and the drawing steps.
#pragma once

#include "script/texgen.h"

#include <cstddef>
#include <cstdint>

struct FT_FaceRec_;
struct FT_LibraryRec_;

const int TEXGEN_MAX_ENTRIES = 256;    // fonts, bitmaps and steps of one script
const int TEXGEN_NAME_UNITS = 256;     // font and bitmap names, with the terminator
const int TEXGEN_STEP_NAME_UNITS = 512;
const int TEXGEN_TEXT_UNITS = 256;     // a step's text block
const int TEXGEN_LINE_UNITS = 256;     // one read of a block line
const int TEXGEN_TOP_WORD_UNITS = 512; // a top-level or section word
const int TEXGEN_WORD_UNITS = 256;     // a composition word
const int TEXGEN_FILE_NAME_BYTES = 256;
// Numbers read from a script are held within +-1,000,000 so that scaled positions stay in range.
const int32_t TEXGEN_NUMBER_LIMIT = 1000000;
// Largest SIZE of a font that loads: the text mask is about this many pixels high.
const int32_t TEXGEN_MAX_FONT_SIZE = 1024;
// Largest script file read.
const size_t TEXGEN_MAX_FILE_BYTES = 16u << 20;

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

// ---- fonts and text (texgen_font.cpp) ------------------------------------------------------------

// Opens g_texgen_font_folder/file_name at the font's size and derives ascent and bold advance.
// 1, or 0 with no face (missing or unreadable file, SIZE outside 1..TEXGEN_MAX_FONT_SIZE).
int texgen_font_load(TexgenFont *font, const char *file_name);

// ---- rendering (texgen_render.cpp) ---------------------------------------------------------------

// Design position to output pixel: trunc(x * g_texgen_scale_x), trunc(y * g_texgen_scale_y).
int32_t texgen_design_x(int32_t x);
int32_t texgen_design_y(int32_t y);
// Draws one step into the picture of the output size; a step whose font or bitmap the script
// lacks draws nothing.
void texgen_render_step(const TexgenScript *script, const TexgenStep *step, uint8_t *out);
