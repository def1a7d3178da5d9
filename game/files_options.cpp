// The game folder from ".\repertoire.ini", the options file and the player files.
#include "game/files.h"

#include "platform/system.h"
#include "script/config_main.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

char g_start_dir[512];
char g_folder_captures[FOLDER_PATH_MAX];
char g_saves_folder[FOLDER_PATH_MAX];
char g_players_folder[FOLDER_PATH_MAX];
char g_lit_cache_folder[FOLDER_PATH_MAX];
char g_lit_cache_folder_personal[FOLDER_PATH_MAX];
char g_options_path[FOLDER_PATH_MAX];
char g_troubleshooting_path[FOLDER_PATH_MAX];

int32_t g_music_on = 1;
int32_t g_theme_index = 0;
int32_t g_sound_effects_on = 1;
int32_t g_music_track = 0;
int32_t g_option_resolution = 1;
int32_t g_option_glow = 1;
int32_t g_option_hole_variant = 0;
int32_t g_sound_card_on = 1;
int32_t g_option_aim_line = 0;
int32_t g_option_replay = 1;
int32_t g_option_hole_drawing = 0;
int32_t g_option_vsync = 1;

PlayerRecord g_player_record[2];

namespace {

const char *const INI_FILE = ".\\repertoire.ini";

// The options in file order: the global and its width in the file.
struct OptionField {
    int32_t *value;
    int bytes;
};

const OptionField g_option_fields[] = {
    {&g_music_on, 2},          {&g_theme_index, 2},       {&g_sound_effects_on, 4}, {&g_music_track, 4},
    {&g_option_resolution, 2}, {&g_option_glow, 1},       {&g_option_hole_variant, 1}, {&g_sound_card_on, 2},
    {&g_option_aim_line, 1},   {&g_option_replay, 1},     {&g_option_hole_drawing, 4}, {&g_option_vsync, 4},
};

void put_le(uint8_t *out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; i++) out[i] = uint8_t(value >> (8 * i));
}

uint32_t get_le(const uint8_t *in, int bytes)
{
    uint32_t value = 0;
    for (int i = 0; i < bytes; i++) value |= uint32_t(in[i]) << (8 * i);
    return value;
}

void read_path_setting(const char *key, const char *fallback, char *out)
{
    GetPrivateProfileStringA("Path", key, fallback, out, 1024, INI_FILE);
}

// Creates and enters each folder of `path` from `start`, one component at a time.
void walk_into(const char *path, size_t start)
{
    char part[1024];
    size_t length = strlen(path);
    for (size_t at = start; at < length;) {
        size_t end = at;
        while (end < length && path[end] != '\\' && path[end] != '/') end++;
        size_t n = end - at < sizeof part - 1 ? end - at : sizeof part - 1;
        memcpy(part, path + at, n);
        part[n] = '\0';
        if (n) {
            _mkdir(part);
            _chdir(part);
        }
        at = end + 1;
    }
}

// Joins the parts into one folder string; the sizes make a cut impossible (prefix 600, parts 1024).
void format_folder(char *out, const char *a, const char *b, const char *c, const char *d)
{
    size_t at = 0;
    for (const char *part : {a, b, c, d}) {
        size_t n = strlen(part);
        if (at + n >= size_t(FOLDER_PATH_MAX)) n = size_t(FOLDER_PATH_MAX) - 1 - at;
        memcpy(out + at, part, n);
        at += n;
    }
    out[at] = '\0';
}

void serialize_player(const PlayerRecord &record, uint8_t *out)
{
    memcpy(out, record.name, sizeof record.name);
    put_le(out + 1024, uint16_t(record.total_over_par), 2);
    put_le(out + 1026, uint16_t(record.avatar), 2);
    uint32_t average;
    memcpy(&average, &record.average_sum, 4);
    put_le(out + 1028, average, 4);
    put_le(out + 1032, uint32_t(record.holes_scored), 4);
    put_le(out + 1036, uint32_t(record.courses_finished), 4);
    memcpy(out + 1040, record.reserved, 8);
    put_le(out + 1048, uint32_t(record.marker), 4);
}

void deserialize_player(const uint8_t *in, PlayerRecord *record)
{
    memcpy(record->name, in, sizeof record->name);
    record->name[sizeof record->name - 1] = '\0';
    record->total_over_par = int16_t(get_le(in + 1024, 2));
    record->avatar = int16_t(get_le(in + 1026, 2));
    uint32_t average = get_le(in + 1028, 4);
    memcpy(&record->average_sum, &average, 4);
    record->holes_scored = int32_t(get_le(in + 1032, 4));
    record->courses_finished = int32_t(get_le(in + 1036, 4));
    memcpy(record->reserved, in + 1040, 8);
    record->marker = int32_t(get_le(in + 1048, 4));
}

}  // namespace

bool app_load_folder_settings(void)
{
    if (!_getcwd(g_start_dir, sizeof g_start_dir)) g_start_dir[0] = '\0';

    char game_path[1024], sub[5][1024];
    read_path_setting("GamePath", "c:\\ZAV Games\\", game_path);
    const char *keys[5] = {"SubDir1", "SubDir2", "SubDir3", "SubDir4", "SubDir5"};
    const char *defaults[5] = {"Captures", "Saves", "Players", "QEL", "QELPERSO"};
    for (int i = 0; i < 5; i++) read_path_setting(keys[i], defaults[i], sub[i]);

    char prefix[600] = "";
    size_t start = 0;
    if (game_path[0] && game_path[1] == ':') {
        char root[4] = {game_path[0], ':', '/', '\0'};
        _chdir(root);
        start = 3;
    } else if (game_path[0] == '\\' || game_path[0] == '/') {
        char root[4] = {g_start_dir[0], ':', '/', '\0'};
        _chdir(root);
        start = 1;
    } else {
        snprintf(prefix, sizeof prefix, "%s/", g_start_dir);
    }
    walk_into(game_path, start);
    for (char *c = game_path; *c; c++)
        if (*c == '\\') *c = '/';
    // The sub-folders go inside the game folder even when GamePath lacks its closing separator.
    size_t length = strlen(game_path);
    if (length > 0 && game_path[length - 1] != '/' && length + 1 < sizeof game_path) {
        game_path[length] = '/';
        game_path[length + 1] = '\0';
    }
    for (int i = 0; i < 5; i++) _mkdir(sub[i]);

    format_folder(g_folder_captures, prefix, game_path, sub[0], "/");
    format_folder(g_saves_folder, prefix, game_path, sub[1], "/");
    format_folder(g_players_folder, prefix, game_path, sub[2], "/");
    format_folder(g_lit_cache_folder, prefix, game_path, sub[3], "");
    format_folder(g_lit_cache_folder_personal, prefix, game_path, sub[4], "");
    format_folder(g_options_path, "", g_saves_folder, "OPTIONS.DAT", "");
    format_folder(g_troubleshooting_path, prefix, game_path, "troubleshooting.html", "");

    bool first_run = false;
    _chdir(g_saves_folder);
    if (FILE *file = sys_fopen("OPTIONS.DAT", "rb")) {
        fclose(file);
    } else {
        app_options_save();
        first_run = true;
    }
    _chdir(g_start_dir);
    return first_run;
}

int app_options_save(void)
{
    uint8_t bytes[OPTIONS_FILE_SIZE];
    int at = 0;
    for (const OptionField &field : g_option_fields) {
        put_le(bytes + at, uint32_t(*field.value), field.bytes);
        at += field.bytes;
    }
    return sys_write_whole(g_options_path, bytes, sizeof bytes);
}

void app_options_load(void)
{
    FILE *file = sys_fopen(g_options_path, "rb");
    if (!file) return;
    uint8_t bytes[OPTIONS_FILE_SIZE];
    size_t got = fread(bytes, 1, sizeof bytes, file);
    fclose(file);
    if (got != sizeof bytes) return;
    int at = 0;
    for (const OptionField &field : g_option_fields) {
        uint32_t raw = get_le(bytes + at, field.bytes);
        // 16-bit fields widen with their sign, 8-bit ones without.
        if (field.bytes == 2) *field.value = int16_t(raw);
        else if (field.bytes == 1) *field.value = int32_t(raw);
        else *field.value = int32_t(raw);
        at += field.bytes;
    }
    // A file from elsewhere may hold what no screen could have stored.
    if (g_theme_index < 0 || g_theme_index >= THEME_MAX) g_theme_index = 0;
    if (g_music_track < 0 || g_music_track > 2) g_music_track = 0;
}

bool app_options_check_theme(int32_t theme_count)
{
    if (g_theme_index >= 0 && g_theme_index < theme_count) return true;
    g_theme_index = 0;
    return false;
}

bool player_name_is_safe(const char *name)
{
    if (!name || !name[0] || name[0] == '.') return false;
    for (const char *c = name; *c; c++)
        if (strchr("/\\:*?\"<>|", *c) || (unsigned char)*c < 32) return false;
    return true;
}

int player_record_save(const PlayerRecord *record)
{
    if (!record || !player_name_is_safe(record->name)) return 0;
    char path[FOLDER_PATH_MAX + 1100];
    snprintf(path, sizeof path, "%s%s.dat", g_players_folder, record->name);
    uint8_t bytes[sizeof(PlayerRecord)];
    serialize_player(*record, bytes);
    return sys_write_whole(path, bytes, sizeof bytes);
}

int player_record_load(PlayerRecord *record, const char *file_name)
{
    if (!record || !file_name) return 0;
    char path[FOLDER_PATH_MAX + 1100];
    snprintf(path, sizeof path, "%s%s", g_players_folder, file_name);
    FILE *file = sys_fopen(path, "rb");
    if (!file) return 0;
    uint8_t bytes[sizeof(PlayerRecord)];
    size_t got = fread(bytes, 1, sizeof bytes, file);
    fclose(file);
    if (got != sizeof bytes) return 0;
    deserialize_player(bytes, record);
    return 1;
}

void player_create_default_records(void)
{
    const MenuText names[2] = {MENU_NOM0, MENU_NOM1};
    const char *fallbacks[2] = {"Player", "Nobody"};
    const int32_t markers[2] = {PLAYER_MARKER_REAL, PLAYER_MARKER_NONE};
    for (int i = 0; i < 2; i++) {
        PlayerRecord &record = g_player_record[i];
        const char *name = menu_text(names[i]);
        memset(record.name, 0, sizeof record.name);
        snprintf(record.name, sizeof record.name, "%s", name[0] ? name : fallbacks[i]);
        record.total_over_par = 0;
        record.avatar = 0;
        record.average_sum = 0.0f;
        record.holes_scored = 0;
        record.courses_finished = 0;
        memset(record.reserved, 0, sizeof record.reserved);
        record.marker = markers[i];
        player_record_save(&record);
    }
}
