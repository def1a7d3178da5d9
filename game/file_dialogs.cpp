// The editor's course dialogs and the saved-game dialog (see file_dialogs.h).
#include "game/file_dialogs.h"

#include "game/app.h"
#include "game/dialog.h"
#include "game/font.h"
#include "game/menu_pictures.h"
#include "game/screen.h"
#include "game/text_entry.h"
#include "game/text_widgets.h"
#include "game/ui.h"
#include "game/widgets.h"
#include "platform/system.h"
#include "render/render_draw.h"
#include "script/config_main.h"

#include <cctype>
#include <cstdio>
#include <cstring>

int32_t g_load_dialog_open;
int32_t g_save_dialog_mode;
int32_t g_save_refused;
char g_dialog_file_path[FOLDER_PATH_MAX + 160];

namespace {

enum Kind { kOpen, kSave, kCreate, kSaves };
const char *const kKindNames[] = {"open", "save", "create", "saves"};

const float kNameLineBottom = 690.0f;  // units from the box's top, above the bottom bar
const float kConfirmX = 125.0f, kBackX = 375.0f;

// The text the refusal pop-up shows while g_save_refused is 1.
MenuText refusal = MENU_CANTWRITE;

float at_x(float units) { return g_dialog_x + units * g_ui_scale_x; }
float at_y(float units) { return g_dialog_y + units * g_ui_scale_x; }
float line_height() { return (float)g_font_primary.line_height; }

struct Hover {
    DialogHover frame;
    int32_t row;
    bool confirm, back;
};

bool is_up(const char *name) { return strcmp(name, "..") == 0; }
bool is_folder_name(const char *name) { return !strchr(name, '.'); }

// The saves folder as the path layer writes the working folder, for comparing with it.
bool saves_root(char *out, int size)
{
    char here[FOLDER_PATH_MAX];
    if (!_getcwd(here, sizeof here)) return false;
    bool known = _chdir(g_saves_folder) == 0 && _getcwd(out, size) != nullptr;
    _chdir(here);
    return known;
}

// Case and separators aside, no closing separator.
void normalise(char *path)
{
    for (char *c = path; *c; c++) *c = *c == '\\' ? '/' : (char)tolower((unsigned char)*c);
    size_t n = strlen(path);
    while (n > 0 && path[n - 1] == '/') path[--n] = '\0';
}

// The working folder is the saves folder or lies below it.
bool working_folder_in_saves(void)
{
    char here[FOLDER_PATH_MAX], root[FOLDER_PATH_MAX];
    if (!_getcwd(here, sizeof here) || !saves_root(root, sizeof root)) return false;
    normalise(here);
    normalise(root);
    size_t n = strlen(root);
    return strncmp(here, root, n) == 0 && (here[n] == '\0' || here[n] == '/');
}

void list_working_folder(void)
{
    ui_folder_and_scene_list_fill();
    g_dialog_scroll = 0;
}

void open_flag_clear(Kind kind)
{
    if (kind == kOpen || kind == kSaves)
        g_load_dialog_open = 0;
    else
        g_save_dialog_mode = 0;
}

// Closed without a choice (RETOUR or Escape): the working folder goes back to the start folder,
// where the rest of the game finds its data.
void close_dialog(Kind kind)
{
    open_flag_clear(kind);
    g_save_refused = 0;
    if (kind != kSaves) _chdir(g_start_dir);
    app_trace("dialog close %s", kKindNames[kind]);
}

void refuse(MenuText text)
{
    refusal = text;
    g_save_refused = 1;
    app_trace("dialog refused %s", g_menu_text_keys[text]);
}

const char *title_of(Kind kind)
{
    if (kind == kSave) return menu_text(MENU_SAUVER);
    if (kind == kCreate) return menu_text(MENU_EDCREATE);
    return menu_text(MENU_CHARGER);
}

// Folders with their picture (".." with the folder-back one), scenes by their name up to the
// first "."; the hovered row in the selection colour. Returns the hovered entry, or -1.
int32_t draw_browse_rows(void)
{
    RenderContext *c = &g_render_context;
    int32_t hovered = ui_dialog_row_at_cursor(kDialogFileWidth);
    float side = ui_dialog_row_height(), pad = (side - line_height() * g_ui_scale_x) / 2.0f;
    for (int32_t i = 0; i < kDialogRows; i++) {
        int32_t n = g_dialog_scroll + i;
        if (n < 0 || n >= g_file_count) continue;
        const char *name = g_file_names[n];
        const float *colour = n == hovered ? g_menu_color : g_menu_color + 3;
        float top = ui_dialog_row_top(i);
        if (is_up(name) || is_folder_name(name)) {
            render_set_mode(6, c, 1);
            texture_bind(c, is_up(name) ? kSlotFolderBack : kSlotFolder);
            render_draw_2d_quad_rgba(c, g_dialog_x + 5.0f, top, side, side, 0, 0, 1, 1, colour[0], colour[1], colour[2],
                                     g_ui_alpha);
        }
        if (is_up(name)) continue;
        char stem[FILE_NAME_MAX];
        size_t length = strcspn(name, ".");
        memcpy(stem, name, length);
        stem[length] = '\0';
        font_draw_text(&g_font_primary, (int32_t)(g_dialog_x + 10.0f + side), (int32_t)(top + pad), stem, g_ui_scale_x,
                       colour[0], colour[1], colour[2]);
    }
    return hovered;
}

// The typed name on a sunken line under the rows, with the caret while the blink is 5 or less.
void draw_name_line(void)
{
    float sx = g_ui_scale_x, h = 1.2f * line_height() * sx;
    float top = at_y(kNameLineBottom) - h;
    ui_panel_draw_sunken(at_x(10), top, (kDialogFileWidth - kDialogBar - 20.0f) * sx, h, 0.45f);
    char line[sizeof g_name_entry_text + 2];
    snprintf(line, sizeof line, g_caret_blink <= 5 ? "%s_" : "%s", g_name_entry_text);
    font_draw_text(&g_font_primary, (int32_t)at_x(20), (int32_t)(top + 0.1f * line_height() * sx), line, sx,
                   g_menu_color[3], g_menu_color[4], g_menu_color[5]);
}

Hover draw(Kind kind)
{
    Hover hover = {};
    hover.frame = ui_dialog_frame_draw(kDialogFileWidth, kDialogFileHeight, title_of(kind));
    hover.row = kind == kSaves ? ui_dialog_rows_draw_names(kDialogFileWidth) : draw_browse_rows();
    if (kind == kSave || kind == kCreate) draw_name_line();
    float bar_y = at_y(kDialogListBottom + kDialogBar / 2.0f);
    if (kind == kSave) hover.confirm = ui_dialog_text_button(menu_text(MENU_SAUVER), at_x(kConfirmX), bar_y);
    if (kind == kCreate) hover.confirm = ui_dialog_text_button(menu_text(MENU_EDCREATE), at_x(kConfirmX), bar_y);
    hover.back = ui_dialog_text_button(menu_text(MENU_RETOUR), at_x(kBackX), bar_y);
    return hover;
}

// The pop-up over the dialog until the next press; the dialog keeps its place.
void refusal_popup(void)
{
    float x = g_dialog_x, y = g_dialog_y;
    int took = ui_popup_message_box(menu_text(refusal), nullptr, -1.0f);
    g_dialog_x = x, g_dialog_y = y;
    if (took) g_save_refused = 0;
    g_key_printable = 0;
}

void advance_caret(void)
{
    if (++g_caret_blink > 10) g_caret_blink = 0;
}

// Escape closes the three editor dialogs; true when it did.
bool escape(Kind kind)
{
    if (!ui_dialog_escape()) return false;
    close_dialog(kind);
    return true;
}

// A folder row of the open and save dialogs: into that folder (".." up, never above the saves
// folder) and its list. False when the entry is no folder (any more): nothing happens.
bool enter_folder(const char *name)
{
    if (is_up(name)) {
        if (_chdir("..") != 0) return false;
        if (!working_folder_in_saves()) _chdir(g_saves_folder);
    } else if (_chdir(name) != 0) {
        return false;
    }
    list_working_folder();
    return true;
}

void set_name_from_entry(const char *name)
{
    size_t length = strcspn(name, ".");
    if (length >= sizeof g_name_entry_text) length = sizeof g_name_entry_text - 1;
    memcpy(g_name_entry_text, name, length);
    g_name_entry_text[length] = '\0';
    g_name_entry_length = (int32_t)length;
}

bool file_exists(const char *path)
{
    FILE *file = sys_fopen(path, "rb");
    if (!file) return false;
    fclose(file);
    return true;
}

bool name_typed(void) { return g_name_entry_length > 0 && g_name_entry_text[0] != '\0'; }

// SAUVER or Return: the path of the typed name in the working folder, unless that would be a
// nineteenth hole there.
const char *confirm_save(void)
{
    if (!name_typed()) return nullptr;
    char folder[FOLDER_PATH_MAX], pattern[FOLDER_PATH_MAX + 8];
    if (!_getcwd(folder, sizeof folder)) {
        refuse(MENU_ERR3);
        return nullptr;
    }
    snprintf(pattern, sizeof pattern, "%s/*.qel", folder);
    int32_t count = ui_file_count(pattern);
    int length = snprintf(g_dialog_file_path, sizeof g_dialog_file_path, "%s/%s.qel", folder, g_name_entry_text);
    if (length < 0 || size_t(length) >= sizeof g_dialog_file_path) {
        g_dialog_file_path[0] = '\0';
        refuse(MENU_ERR3);
        return nullptr;
    }
    if (count >= kCourseHolesMax && !file_exists(g_dialog_file_path)) {
        refuse(MENU_CANTWRITE);
        return nullptr;
    }
    open_flag_clear(kSave);
    _chdir(g_start_dir);
    app_trace("dialog save %s", g_dialog_file_path);
    return g_dialog_file_path;
}

bool is_folder(const char *name)
{
    _finddata_t entry;
    intptr_t handle = _findfirst(name, &entry);
    if (handle == -1) return false;
    _findclose(handle);
    return (entry.attrib & _A_SUBDIR) != 0;
}

// EDCREATE or Return: the typed name as a folder of the saves folder (an existing one will do).
void confirm_create(void)
{
    if (!name_typed()) return;
    char here[FOLDER_PATH_MAX];
    bool back = _getcwd(here, sizeof here) != nullptr;
    bool made = _chdir(g_saves_folder) == 0 && (_mkdir(g_name_entry_text) == 0 || is_folder(g_name_entry_text));
    if (!made) {
        if (back) _chdir(here);
        refuse(MENU_ERR3);
        return;
    }
    open_flag_clear(kCreate);
    g_save_refused = 0;
    _chdir(g_start_dir);
    app_trace("dialog create %s", g_name_entry_text);
}

// A typed key for the name; true when Return confirmed a name.
bool take_typed_key(void)
{
    if (!g_key_printable) return false;
    int confirmed = ui_name_entry_key(g_key_char);
    g_key_printable = 0;
    return confirmed == 1;
}

}  // namespace

void ui_course_open_dialog_init(void)
{
    g_file_count = 0;
    if (_chdir(g_saves_folder) == 0) ui_folder_and_scene_list_fill();
    g_dialog_scroll = 0;
    g_dialog_dragging = 0;
    g_save_refused = 0;
    g_dialog_x = 390.0f * g_ui_scale_x;
    g_dialog_y = 10.0f;
    g_name_entry_text[0] = '\0';
    g_name_entry_length = 0;
}

const char *ui_hole_open_dialog(void)
{
    if (g_load_dialog_open != 1) return nullptr;
    Hover hover = draw(kOpen);
    if (escape(kOpen)) return nullptr;
    ui_dialog_wheel();
    const char *chosen = nullptr;
    if (ui_dialog_take_press(&hover.frame)) {
        if (hover.row >= 0) {
            const char *name = g_file_names[hover.row];
            if (is_up(name) || is_folder_name(name)) {
                if (enter_folder(name)) ui_play_click_sound();
            } else {
                char folder[FOLDER_PATH_MAX];
                int length = -1;
                if (_getcwd(folder, sizeof folder))
                    length = snprintf(g_dialog_file_path, sizeof g_dialog_file_path, "%s/%s", folder, name);
                if (length > 0 && size_t(length) < sizeof g_dialog_file_path) {
                    ui_play_click_sound();
                    open_flag_clear(kOpen);
                    _chdir(g_start_dir);
                    app_trace("dialog open %s", g_dialog_file_path);
                    chosen = g_dialog_file_path;
                }
            }
        } else if (hover.back) {
            ui_play_click_sound();
            close_dialog(kOpen);
        }
    }
    ui_dialog_drag_step();
    return chosen;
}

const char *ui_hole_save_dialog(void)
{
    if (g_save_dialog_mode != 1) return nullptr;
    advance_caret();
    Hover hover = draw(kSave);
    if (escape(kSave)) return nullptr;
    if (g_save_refused) {
        refusal_popup();
        return nullptr;
    }
    ui_dialog_wheel();
    const char *chosen = nullptr;
    if (ui_dialog_take_press(&hover.frame)) {
        if (hover.row >= 0) {
            const char *name = g_file_names[hover.row];
            if (is_up(name) || is_folder_name(name)) {
                if (enter_folder(name)) ui_play_click_sound();
            } else {
                ui_play_click_sound();
                set_name_from_entry(name);
            }
        } else if (hover.confirm) {
            ui_play_click_sound();
            chosen = confirm_save();
        } else if (hover.back) {
            ui_play_click_sound();
            close_dialog(kSave);
        }
    }
    ui_dialog_drag_step();
    if (g_save_dialog_mode == 1 && !g_save_refused && take_typed_key()) chosen = confirm_save();
    return chosen;
}

void ui_course_create_dialog(void)
{
    if (g_save_dialog_mode != 2) return;
    advance_caret();
    Hover hover = draw(kCreate);
    if (escape(kCreate)) return;
    if (g_save_refused) {
        refusal_popup();
        return;
    }
    if (ui_dialog_take_press(&hover.frame)) {
        if (hover.confirm) {
            ui_play_click_sound();
            confirm_create();
        } else if (hover.back) {
            ui_play_click_sound();
            close_dialog(kCreate);
        }
    }
    ui_dialog_drag_step();
    if (g_save_dialog_mode == 2 && !g_save_refused && take_typed_key()) confirm_create();
}

void ui_saves_dialog_init(void)
{
    char here[FOLDER_PATH_MAX];
    bool back = _getcwd(here, sizeof here) != nullptr;
    g_file_count = 0;
    if (_chdir(g_saves_folder) == 0) ui_file_list_fill("*.sav");
    if (back) _chdir(here);
    g_dialog_scroll = 0;
    g_dialog_dragging = 0;
    g_dialog_x = 390.0f * g_ui_scale_x;
    g_dialog_y = 10.0f;
}

void ui_saves_dialog(void)
{
    if (g_load_dialog_open != 1) return;
    Hover hover = draw(kSaves);
    if (ui_dialog_take_press(&hover.frame) && (hover.row >= 0 || hover.back)) {
        ui_play_click_sound();
        close_dialog(kSaves);
    }
    ui_dialog_drag_step();
}
