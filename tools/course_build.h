// The course part of course_data: the theme's palette loaded as the editor sees it, each hole of
// the set built with the editor's own block operations and saved by its own save path, then its
// description and preview, and the set's desc.txt. Paths go through the path layer, relative to its
// current folder (the run folder). Main thread; needs the render device.
#pragma once

#include "tools/data_course.h"

#include <string>

// "data/parcours/<set>", where the holes go.
std::string data_course_folder();

// Reads data/txt/script.txt, loads the palette scene into g_menu_world (scene_load flags 4) with
// the first theme's colours, and arranges it as the editor's palette. 1, or 0 (reason on stderr).
bool data_course_load_palette(const char *scene_path);
// The editor's saves go to "data/parcours/" and the lit copies a save deletes are looked for in
// `scratch_folder` (an empty folder of the run folder): nothing of the player's is touched.
void data_course_use_folders(const char *scratch_folder);
// A new course in g_hole_world with the hole's pieces placed through the editor's operations, each
// checked where it lands; nothing saved. 1, or 0 (reason on stderr).
bool data_course_place_hole(const DataHoleLayout &hole, int number);
// Builds hole `number` (1-based) from its layout in g_hole_world through the editor's operations,
// checking where every piece lands; then its plants, NAME and PAR, the save to
// "<folder>/holeNN.qel", "holeNN.txt" and the preview "holeNN.png". 1, or 0 (reason on stderr).
bool data_course_build_hole(const DataHoleLayout &hole, int number);
// "<folder>/desc.txt". 1, or 0.
bool data_course_write_set_description();
