// The writers of the game's default data folder, one per kind of file, and what they share.
#pragma once

#include <string>

// Writes the bytes to `path` (a POSIX path), creating its folders; whole or not at all.
bool data_write_file(const std::string &path, const std::string &bytes);
// The whole file at `path` (a POSIX path); false when it cannot be read or is empty.
bool data_read_file(const std::string &path, std::string *bytes);
// The text with every line ended by CR LF, as the game's text reader wants.
std::string data_crlf(const std::string &text);

// "txt/script.txt" and "txt/nameofgame.ini" under the data folder.
bool data_write_script(const std::string &data_dir);
// The game's name, first line of "txt/nameofgame.ini".
extern const char *const g_data_game_name;

// The THEMES of script.txt: name, folder under "themes/", the world's ambient and light colours.
struct DataTheme {
    const char *name;
    const char *folder;
    int ambient[3];
    int light[3];
};
const int DATA_THEME_COUNT = 3;
extern const DataTheme g_data_themes[DATA_THEME_COUNT];

// "fonts/" (the two DejaVu faces and their licence) and the style files "gfx/script_font.txt" and
// "gfx/script_font2.txt".
bool data_write_fonts(const std::string &data_dir);
// The DejaVu copyright and licence notice, as the font package gives it.
bool data_read_font_licence(std::string *text);

// "txt/html.ini" and the help page "html/index.html" beside the data folder.
bool data_write_help(const std::string &data_dir);

// The fourteen effects, "sound/*.ogg" under the data folder.
bool data_write_sounds(const std::string &data_dir);
// The two music modules, "sound/menu.zik" and "sound/music1.zik".
bool data_write_music(const std::string &data_dir);
