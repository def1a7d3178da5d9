// The game's own files: its folders (from ".\repertoire.ini"), the options file, the player files,
// the file lists of the dialogs and screens, and the hole description file.
#pragma once

#include <cstdint>

const int FOLDER_PATH_MAX = 2600;

// Folder strings, built once by app_load_folder_settings.
extern char g_start_dir[512];
extern char g_folder_captures[FOLDER_PATH_MAX];
extern char g_saves_folder[FOLDER_PATH_MAX];
extern char g_players_folder[FOLDER_PATH_MAX];
extern char g_lit_cache_folder[FOLDER_PATH_MAX];
extern char g_lit_cache_folder_personal[FOLDER_PATH_MAX];
extern char g_options_path[FOLDER_PATH_MAX];
extern char g_troubleshooting_path[FOLDER_PATH_MAX];

// Options, file "OPTIONS.DAT" of the saves folder (28 bytes); each defaults to its first-run value.
extern int32_t g_music_on;
extern int32_t g_theme_index;
extern int32_t g_sound_effects_on;
extern int32_t g_music_track;
extern int32_t g_option_resolution;
extern int32_t g_option_glow;
extern int32_t g_option_hole_variant;
extern int32_t g_sound_card_on;
extern int32_t g_option_aim_line;
extern int32_t g_option_replay;
extern int32_t g_option_hole_drawing;
extern int32_t g_option_vsync;

const int OPTIONS_FILE_SIZE = 28;

// One player, one file "<name>.dat" in the players folder: 1052 bytes, little-endian.
#pragma pack(push, 1)
struct PlayerRecord {
    char name[1024];
    int16_t total_over_par;
    int16_t avatar;
    float average_sum;
    int32_t holes_scored;
    int32_t courses_finished;
    uint8_t reserved[8];
    int32_t marker;  // -1 a real player, 666 the record that stands for no player
};
#pragma pack(pop)
static_assert(sizeof(PlayerRecord) == 1052, "player file layout");

const int32_t PLAYER_MARKER_REAL = -1;
const int32_t PLAYER_MARKER_NONE = 666;

extern PlayerRecord g_player_record[2];

// Builds the folder strings, creates missing folders; true on the first run (no options file was
// found, and one with the defaults has just been written).
bool app_load_folder_settings(void);
// Writes the options (whole or not at all). 1, or 0 when the file cannot be written.
int app_options_save(void);
// Reads the options; a missing or short file changes nothing. Out-of-range values are reset.
void app_options_load(void);

// Once the themes are known: a theme index past them becomes 0. False when it had to be reset.
bool app_options_check_theme(int32_t theme_count);

// Writes the two default players of a first run, named by the MENUS texts NOM0 and NOM1.
void player_create_default_records(void);
// Reads "<players folder><file name>"; 1, or 0 (record untouched) when missing or short.
int player_record_load(PlayerRecord *record, const char *file_name);
// A name that can be a file name of the players folder: not empty, no leading '.', no path or
// wildcard characters.
bool player_name_is_safe(const char *name);
// Writes the record to "<players folder><name>.dat", whole or not at all. 1, or 0 (also for a name
// that is not safe).
int player_record_save(const PlayerRecord *record);

// File lists: names only, in the listing's order.
const int FILE_LIST_MAX = 512;
const int FILE_NAME_MAX = 128;
extern char g_file_names[FILE_LIST_MAX][FILE_NAME_MAX];
extern int32_t g_file_count;
extern char g_course_set_names[FILE_LIST_MAX][FILE_NAME_MAX];
extern int32_t g_course_set_count;

// Files (not folders) matching the pattern, into g_file_names.
void ui_file_list_fill(const char *pattern);
int32_t ui_file_count(const char *pattern);
// Sub-folders ("." left out, ".." kept), then the ".qel" scene files, of the working folder.
void ui_folder_and_scene_list_fill(void);
// Appends the working folder's sub-folders to the course-set list.
void ui_course_set_list_fill(void);

// The hole description file: NAME "title" and PAR n.
extern char g_hole_name[512];
extern int32_t g_hole_par;
void app_read_hole_description(const char *path);
// Writes it, whole or not at all; a '"' in the title is written as an apostrophe, a line break as a
// blank. 1, or 0.
int app_write_hole_description(const char *path, const char *title, int32_t par);
