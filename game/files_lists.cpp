// File lists of the dialogs and screens, and the hole description file.
#include "game/files.h"

#include "platform/system.h"
#include "script/config.h"

#include <cstdio>
#include <cstring>

char g_file_names[FILE_LIST_MAX][FILE_NAME_MAX];
int32_t g_file_count;
char g_course_set_names[FILE_LIST_MAX][FILE_NAME_MAX];
int32_t g_course_set_count;

char g_hole_name[512];
int32_t g_hole_par = 5;

namespace {

enum class Want { FILES, FOLDERS_BUT_DOT, SUB_FOLDERS };

bool wanted(const _finddata_t &entry, Want want)
{
    bool folder = entry.attrib & _A_SUBDIR;
    switch (want) {
    case Want::FILES: return !folder;
    case Want::FOLDERS_BUT_DOT: return folder && strlen(entry.name) > 1;
    case Want::SUB_FOLDERS: return folder && strcmp(entry.name, ".") != 0 && strcmp(entry.name, "..") != 0;
    }
    return false;
}

// Appends the entries of `pattern` that `want` keeps to `names` from *count on; stops at the list's
// end and skips names too long for a slot. With `names` null it only counts.
void list(const char *pattern, Want want, char (*names)[FILE_NAME_MAX], int32_t *count)
{
    _finddata_t entry;
    intptr_t handle = _findfirst(pattern, &entry);
    if (handle == -1) return;
    do {
        if (!wanted(entry, want)) continue;
        if (!names) {
            (*count)++;
            continue;
        }
        if (*count >= FILE_LIST_MAX) break;
        size_t length = strlen(entry.name);
        if (length >= size_t(FILE_NAME_MAX)) continue;
        memcpy(names[*count], entry.name, length + 1);
        (*count)++;
    } while (_findnext(handle, &entry) == 0);
    _findclose(handle);
}

}  // namespace

void ui_file_list_fill(const char *pattern)
{
    g_file_count = 0;
    list(pattern, Want::FILES, g_file_names, &g_file_count);
}

int32_t ui_file_count(const char *pattern)
{
    int32_t count = 0;
    list(pattern, Want::FILES, nullptr, &count);
    return count;
}

void ui_folder_and_scene_list_fill(void)
{
    g_file_count = 0;
    list("*.", Want::FOLDERS_BUT_DOT, g_file_names, &g_file_count);
    list("*.qel", Want::FILES, g_file_names, &g_file_count);
}

void ui_course_set_list_fill(void)
{
    if (g_course_set_count < 0) g_course_set_count = 0;
    list("*.", Want::SUB_FOLDERS, g_course_set_names, &g_course_set_count);
}

void app_read_hole_description(const char *path)
{
    FILE *file = sys_fopen(path, "rb");
    if (!file) {
        g_hole_par = 5;
        return;
    }
    char line[1024] = "";
    if (fgets(line, sizeof line, file)) {
        const char *open = strchr(line, '"');
        bool quoted = open && strchr(open + 1, '"');
        snprintf(g_hole_name, sizeof g_hole_name, "%s", quoted ? config_extract_quoted_string(line) : "");
        char keyword[1024];
        if (fscanf(file, "%1023s", keyword) == 1) fscanf(file, "%d", &g_hole_par);
    }
    fclose(file);
}

int app_write_hole_description(const char *path, const char *title, int32_t par)
{
    char text[1200];
    int length = snprintf(text, sizeof text, "NAME %c%s%c\nPAR %d\n", '"', title ? title : "", '"', par);
    if (length < 0 || size_t(length) >= sizeof text) return 0;
    // The reader takes the title up to its second quote, from the first line: a quote inside it
    // becomes an apostrophe and a line break a blank, so that it reads back whole with its PAR.
    char *last = strrchr(text, '"');
    for (char *c = strchr(text, '"') + 1; c < last; c++) {
        if (*c == '"') *c = '\'';
        if (*c == '\n' || *c == '\r') *c = ' ';
    }
    return sys_write_whole(path, text, size_t(length));
}
