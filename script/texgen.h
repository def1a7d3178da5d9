// Texture scripts: small UTF-16 texts that compose a full picture from fonts, bitmaps and effects.
// Calling order: texgen_set_output_size, texgen_script_read, texgen_render, texgen_script_free.
// Main thread only: the module state below is unguarded.
#pragma once

#include <cstdint>

struct TexgenScript;

// Output size and the scales from the 1280 x 1024 design space (and from 640 x 480 for text shadow
// offsets); set by texgen_set_output_size, 1280 x 1024 until then.
extern int32_t g_texgen_width, g_texgen_height;
extern float g_texgen_scale_x, g_texgen_scale_y;
extern float g_texgen_scale640_x, g_texgen_scale640_y;

// Folder (path layer form) that scripts' fonts and bitmaps are opened from; "." unless the host
// points it at another string, which must outlive the reads.
extern const char *g_texgen_font_folder;

// The game's name that "$x$" in a script's texts stands for. The text is read at each use, so hand
// over the game's own buffer once at start-up (texgen_set_game_name(g_game_name)); null reads as "".
void texgen_set_game_name(const char *name);

// Sets the output size and the four scales.
void texgen_set_output_size(int32_t width, int32_t height);

// Reads the script file (8-bit path): its fonts, bitmaps and composition steps. Null when the file
// cannot be read or is not UTF-16 (then a message on the standard error stream). Writes each
// top-level word of the script to the standard output.
TexgenScript *texgen_script_read(const char *path);

// Draws the script's steps in file order into a new picture of the output size: 4 bytes a pixel,
// R, G, B and a fourth byte that stays 0, rows top down, black where no step draws. malloc'd for
// the caller, who frees it; null when the output size is not a valid picture size.
uint8_t *texgen_render(const TexgenScript *script);

// Frees the script with its pictures, fonts and texts; nothing for null.
void texgen_script_free(TexgenScript *script);
