// The picture writers of the default data and what they share with their tests.
#pragma once

#include "tools/data_raster.h"

#include <string>

// Draws texts over the picture through a texture script: `fonts` holds the FONTES entries (faces
// "DejaVuSans-Bold.ttf" and "DejaVuSans.ttf" of the data folder), `steps` the composition steps,
// whose positions are in the renderer's 1280 x 1024 design space spread over the picture. Glyphs
// come out (width / 1280) / (height / 1024) as wide as the face draws them. The data folder's
// fonts must exist.
bool data_draw_texts(DataImage *picture, const std::string &data_dir, const std::string &fonts,
                     const std::string &steps);

// Where presentation1 draws the game's name, in its pixels: x0, y0, x1, y1.
extern const int g_data_title_box[4];

// "gfx/" widgets, "perso/" avatars and "logo/" intro pictures.
bool data_write_pictures(const std::string &data_dir);
// "gfx/background.png", "gfx/presentation1.png" and "gfx/no_preview.png".
bool data_write_pages(const std::string &data_dir);

// The colour the hole view multiplies its sky pictures by, from the world's first light-colour
// quadruple, the ambient colour: normalised, then r + 0.1, g + 0.1, b x 1.3 + 0.1, capped at 1.
void data_sky_tint(const int ambient[3], float tint[3]);
// "themes/garden/tex/NN_name.png": the palette scene's textures by material number.
bool data_write_theme_textures(const std::string &data_dir);
// "themes/<folder>/sky_{left,front,right,back}.png" of every theme.
bool data_write_skies(const std::string &data_dir);
