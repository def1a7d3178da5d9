// The hole editor's frame: the orbit camera, the clicks and keys routed to the model and the file
// actions, the dialogs, the confirmation box before changes are discarded, and leaving.
#include "course/editor_frame.h"

#include "course/course_local.h"
#include "course/hole.h"
#include "course/hole_view.h"
#include "game/app.h"
#include "game/files.h"
#include "game/menu_theme.h"
#include "game/play_requests.h"
#include "game/player_dialog.h"
#include "game/screen.h"
#include "game/widgets.h"
#include "geometry/vecmath.h"
#include "platform/system.h"
#include "render/render_draw.h"
#include "script/config_main.h"

#include <cstdio>
#include <cstring>

EditorFrameState g_editor_frame;

namespace {

constexpr float kKeyPanSpeed = 0.1f;   // look point per frame unit, arrow keys
constexpr float kEdgePanSpeed = 0.3f;  // look point per frame unit, cursor at an edge
constexpr float kEdgeBand = 0.015f;    // of the screen's width or height
constexpr float kLookLimit = 45.0f;
constexpr float kWheelZoom = 0.5f;

float clampf(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }

// The top of the palette band: everything above it is the view.
int32_t band_top() { return g_render_context.height - g_render_context.width / 8; }

bool dialog_open() { return editor_dialog_open() != 0; }

bool take_key(int key)
{
    if (!g_key_down[key]) return false;
    g_key_down[key] = 0;
    return true;
}

bool click_pending() { return g_mouse_left_down == 1; }

void new_hole()
{
    // The shadows go before the grid empties the plants they belong to.
    if (g_editor.lit_view) hole_free_shadows();
    editor_build_ground_grid();
    g_editor.lit_view = 0;
    g_editor.held_palette_index = g_editor.selected_object = g_editor.selected_plant = -1;
    g_editor.changed = 0;
    // The new hole has no file yet: the panel's save and the lighting's thumbnail must not write
    // beside the hole that was shown before.
    editor_name_new_hole();
    editor_show_hint(MENU_TOOLTIP2);
    app_trace("editor new hole");
}

void run(EditorAsk ask)
{
    switch (ask) {
    case kEditorAskLeave: editor_leave(); break;
    case kEditorAskOpen:
        ui_course_open_dialog_init();
        g_load_dialog_open = 1;
        break;
    case kEditorAskNewHole: new_hole(); break;
    case kEditorAskStepHole: editor_open_hole(g_editor_frame.ask_path, 0); break;
    default: break;
    }
}

// Changes since the last open, new course or save (NAME and PAR included) are not dropped
// without an OUI.
void act_or_ask(EditorAsk ask)
{
    if (!editor_has_changes()) {
        run(ask);
        return;
    }
    g_editor_frame.ask = ask;
    leave_requested = 1;  // the box asks CERTAIN
}

// The box while it asks: OUI runs the action, NON or Escape drops it.
void confirm_step()
{
    if (g_editor_frame.ask == kEditorAskNone) return;
    const int32_t answer = take_key(VK_ESCAPE) ? -1 : ui_confirm_box();
    if (answer == 0) return;
    const EditorAsk ask = EditorAsk(g_editor_frame.ask);
    g_editor_frame.ask = kEditorAskNone;
    leave_requested = 0;
    if (answer == 1) run(ask);
}

// Orbit by dragging with the right button, the wheel over the band or the view, the clamps.
void orbit_and_wheel()
{
    if (g_mouse_right_down == 1) {
        g_editor_camera_yaw += float(g_mouse_x - g_editor_frame.last_mouse_x);
        g_editor_camera_pitch += float(g_mouse_y - g_editor_frame.last_mouse_y);
    }
    const int32_t count = g_menu_world.object_count;
    if (!dialog_open() && g_mouse_y > band_top() && g_wheel_delta != 0) {
        g_editor.palette_scroll = 0;
        g_editor.palette_first += g_wheel_delta < 0 ? 1 : -1;
        g_wheel_delta = 0;
        // The lower limit wins over an upper one below it (a short palette).
        if (g_editor.palette_first > count - 7) g_editor.palette_first = count - 7;
        if (g_editor.palette_first < -1) g_editor.palette_first = -1;
    }
    if (!dialog_open() && g_editor.selected_object < 0 && g_wheel_delta != 0) {
        g_editor_camera_distance += float(g_wheel_delta) * kWheelZoom;
        g_wheel_delta = 0;
    }
    g_editor_camera_distance = clampf(g_editor_camera_distance, 10.0f, 30.0f);
    g_editor_camera_pitch = clampf(g_editor_camera_pitch, -75.0f, -20.0f);
}

// The arrow keys and the screen's edges move the look point.
void pan_look_point()
{
    const float f = g_frame_factor, step = f * kKeyPanSpeed;
    float *t = g_camera_target;
    if (g_key_down[VK_UP]) t[2] -= step;
    if (g_key_down[VK_DOWN]) t[2] += step;
    if (g_key_down[VK_LEFT]) t[0] += step;
    if (g_key_down[VK_RIGHT]) t[0] -= step;

    float direction[3], side[3], up[3];
    vec3_sub(direction, g_camera_target, g_camera_eye);
    vec3_normalize(direction);
    mat4_orient_to_direction(side, direction, 1);
    mat4_orient_to_direction(up, direction, 0);
    const float speed = f * kEdgePanSpeed;
    const float w = float(g_render_context.width), h = float(g_render_context.height);
    const float x = float(g_mouse_x), y = float(g_mouse_y);
    float move[3] = {0.0f, 0.0f, 0.0f};
    if (g_mouse_y <= band_top()) {
        if (x < kEdgeBand * w) vec3_scale(move, side, -speed);
        if (x > (1.0f - kEdgeBand) * w) vec3_scale(move, side, speed);
    }
    if (y < kEdgeBand * h) vec3_add(move, move, vec3_scale(up, up, speed));
    if (y > (1.0f - kEdgeBand) * h) vec3_add(move, move, vec3_scale(up, up, -speed));
    vec3_add(t, t, move);
    t[0] = clampf(t[0], -kLookLimit, kLookLimit);
    t[2] = clampf(t[2], -kLookLimit, kLookLimit);
}

void take_start()
{
    if (g_editor.held_palette_index >= 0) return;
    int32_t start = -1;
    for (int32_t k = 0; k < g_menu_world.object_count; k++)
        if (g_menu_world.objects[k] && hole_name_is(g_menu_world.objects[k]->name, "START")) start = k;
    // Refused for a second START, too many blocks, the lit view or a block being moved.
    if (start >= 0 && g_editor.selected_object < 0 && g_editor.selected_plant < 0) editor_take_block(start);
    editor_show_hint(MENU_TOOLTIP7);
}

// What a toolbar click does.
void toolbar_action(int32_t r)
{
    switch (r) {
    case 1: act_or_ask(kEditorAskOpen); break;
    case 2:
        ui_course_open_dialog_init();
        g_save_dialog_mode = 1;
        editor_show_hint(MENU_TOOLTIP3);
        break;
    case 3:
        if (g_editor.lit_view)
            editor_lit_view_off();
        else
            g_editor.lighting_requested = 1;
        break;
    case 4:
        ui_course_open_dialog_init();
        g_save_dialog_mode = 2;
        break;
    case 5: act_or_ask(kEditorAskNewHole); break;
    case 6:
    case 7: editor_add_plant_at(r == 6 ? kVegetalTree : kVegetalBush, 0.0f, 0.0f); break;  // refused when lit or full
    case 8: take_start(); break;
    case 666: act_or_ask(kEditorAskLeave); break;
    default: break;
    }
}

// The save, create and open dialogs. A save that fails shows ERR3; its dialog has closed.
void run_dialogs()
{
    if (g_save_dialog_mode == 1) {
        const char *path = ui_hole_save_dialog();
        if (path && !editor_save_hole_to(path)) {
            g_save_dialog_mode = 0;
            g_editor_frame.message = MENU_ERR3;
        }
    } else if (g_save_dialog_mode == 2) {
        ui_course_create_dialog();
    }
    if (g_load_dialog_open == 1) {
        const char *path = ui_hole_open_dialog();
        if (path) editor_open_hole(path, 1);
    }
}

// The selected block or plant follows the cursor; its keys.
void move_selected(const float *p)
{
    if (g_editor.selected_object < 0 && g_editor.selected_plant < 0) return;
    if (g_editor.selected_object >= 0) {
        if (take_key(VK_PRIOR)) editor_raise_by(1.0f);
        if (take_key(VK_NEXT)) editor_raise_by(-1.0f);
        if (!dialog_open() && g_wheel_delta != 0) {
            editor_raise_by(float(g_wheel_delta));
            g_wheel_delta = 0;
        }
    }
    editor_move_selected(p);
    if (g_editor.selected_object >= 0) editor_draw_cursor_marker(p[0], p[1], p[2]);
    if (!g_editor.lit_view && take_key(VK_DELETE)) editor_delete_selected();
}

// The screen point of a world point under the view of the frame.
void screen_point(const float *world, int32_t *sx, int32_t *sy)
{
    const RenderContext *c = &g_render_context;
    float view[16], q[3] = {world[0], world[1], world[2]};
    hole_view_matrix(view);
    mat4_transform_project(view, q);
    q[1] = -q[1];  // as the renderer hands the view to the device: screen y grows downward
    mat4_transform_project(c->projection_matrix, q);
    *sx = int32_t((q[0] + 1.0f) * 0.5f * float(c->width));
    *sy = int32_t((1.0f - q[1]) * 0.5f * float(c->height));
}

void place_held(const float *p)
{
    const int32_t i = editor_place_held_block(p);
    if (i < 0 || !app_trace_on()) return;
    const MeshObject *o = g_hole_world.objects[i];
    // The centre of its top, where the test looks for it on screen.
    const float top[3] = {0.5f * (o->bounds[0] + o->bounds[1]), o->bounds[2], 0.5f * (o->bounds[4] + o->bounds[5])};
    int32_t sx = 0, sy = 0;
    screen_point(top, &sx, &sy);
    app_trace("editor place %s %.2f %.2f screen %d %d", o->name, double(o->position[0]), double(o->position[2]),
              int(sx), int(sy));
}

// A left click in the view edits the hole; in the band (or lit) it scrolls or takes.
void left_click(const float *p, const EditorArrows &arrows, int32_t hovered)
{
    if (!click_pending() || dialog_open() || editor_panel_contains(g_mouse_x, g_mouse_y)) return;
    g_mouse_left_down = 0;
    if (g_mouse_y <= band_top() && !g_editor.lit_view) {
        if (g_editor.held_palette_index >= 0)
            place_held(p);
        else if (g_editor.selected_plant >= 0 || g_editor.selected_object >= 0)
            editor_drop_selected(p);
        else
            editor_select_at(p);
        return;
    }
    editor_palette_arrow_click(arrows);
    if (hovered >= 0 && g_editor.selected_object < 0 && g_editor.selected_plant < 0 && !g_editor.lit_view)
        editor_take_block(hovered);
}

// The first hint, the objects' frame words, a lighting asked for last frame, the caret.
void begin_frame()
{
    if (g_editor.needs_intro) {
        editor_show_hint(MENU_TOOLTIP1);
        g_editor.needs_intro = 0;
    }
    for (int32_t i = 0; i < g_hole_world.object_count; i++)
        if (g_hole_world.objects[i]) g_hole_world.objects[i]->frame_word = 0;
    if (g_editor.lighting_requested) editor_lighting_run();
    if (++g_caret_blink > 10) g_caret_blink = 0;
}

// The preview asked for by the panel or the lighting: the view just drawn.
void write_thumbnail()
{
    if (!g_editor.thumbnail_requested) return;
    g_editor.thumbnail_requested = 0;
    if (!editor_hole_has_file()) return;  // nowhere for its preview to go
    char path[FOLDER_PATH_MAX + kEditorHoleNameMax + 8];
    snprintf(path, sizeof path, "%s%s.png", g_saves_folder, g_editor.hole_name);
    render_save_thumbnail_png(&g_render_context, path);
}

// A click while a box waits for one only closes the box.
void close_boxes_on_click()
{
    if (!click_pending() || (!g_editor.too_many_blocks && g_editor_frame.message < 0)) return;
    g_mouse_left_down = 0;
    g_editor.too_many_blocks = 0;
    g_editor_frame.message = -1;
}

// PATIENCE while the lighting waits for the next frame, the empty too-many box, the message box.
void draw_boxes()
{
    if (g_editor.lighting_requested) ui_popup_message_box(menu_text(MENU_PATIENCE), nullptr, -1.0f);
    if (g_editor.too_many_blocks && ui_popup_message_box("", nullptr, -1.0f)) g_editor.too_many_blocks = 0;
    if (g_editor_frame.message >= 0 &&
        ui_popup_message_box(menu_text(MenuText(g_editor_frame.message)), nullptr, -1.0f))
        g_editor_frame.message = -1;
}

}  // namespace

int editor_hole_has_file(void) { return strcmp(g_editor.hole_name, menu_text(MENU_NIVONULL)) != 0 ? 1 : 0; }

int editor_dialog_open(void)
{
    return g_load_dialog_open || g_save_dialog_mode || g_editor_frame.ask != kEditorAskNone ? 1 : 0;
}

void hole_editor_frame(void)
{
    RenderContext *c = &g_render_context;
    if (!g_editor_frame.started) {
        editor_start_new_course();
        g_editor_frame = EditorFrameState{};
        g_editor_frame.started = 1;
        g_editor_frame.last_mouse_x = g_mouse_x, g_editor_frame.last_mouse_y = g_mouse_y;
    }
    begin_frame();
    orbit_and_wheel();
    pan_look_point();
    render_set_mode(1, c, 1);
    hole_view_draw_from_orbit(true);
    write_thumbnail();
    close_boxes_on_click();

    render_set_mode(1, c, 0);
    const int32_t r = editor_draw_toolbar();
    if (!dialog_open() && take_key(VK_ESCAPE)) {
        act_or_ask(kEditorAskLeave);
        if (!g_editor_frame.started) return;
    }
    if (r >= 0 && click_pending() && !dialog_open()) {
        g_mouse_left_down = 0;
        toolbar_action(r);
        if (!g_editor_frame.started) return;
    }
    editor_palette_slide();
    editor_draw_panel();
    const int32_t hovered = editor_draw_palette_slots();

    float p[3];
    editor_cursor_ground_point(g_mouse_x, g_mouse_y, p);
    if (g_editor.held_palette_index >= 0 && !g_editor.lit_view && g_mouse_y <= band_top()) {
        editor_draw_held_block(p);
        editor_draw_cursor_marker(p[0], p[1], p[2]);
    }
    editor_palette_hover(hovered);
    const EditorArrows arrows = editor_draw_palette_arrows();
    editor_draw_hint();
    run_dialogs();
    move_selected(p);
    editor_function_keys();
    left_click(p, arrows, hovered);
    if (g_mouse_right_down == 1 && (g_editor.held_palette_index >= 0 || g_editor.selected_object >= 0)) {
        editor_turn();
        g_mouse_right_down = 0;
    }
    g_editor_frame.last_mouse_x = g_mouse_x, g_editor_frame.last_mouse_y = g_mouse_y;
    draw_boxes();
    confirm_step();
    if (!g_editor_frame.started) return;
    editor_update_object_transforms();
}

void editor_function_keys(void)
{
    const struct {
        int key;
        int32_t delta;
    } keys[] = {{VK_F1, -1}, {VK_F1 + 1, 1}};
    for (const auto &k : keys) {
        // A press is used or dropped here, so that it never waits for a dialog to close.
        if (!take_key(k.key) || dialog_open()) continue;
        if (editor_step_hole_path(k.delta, g_editor_frame.ask_path, sizeof g_editor_frame.ask_path))
            act_or_ask(kEditorAskStepHole);
        return;
    }
}

void editor_leave(void)
{
    g_key_down[VK_ESCAPE] = 0;  // else the main loop would take it for a quit
    g_screen_state = kScreenMainMenu;
    hole_editor_leave();
}

void hole_editor_leave(void)
{
    if (!g_editor_frame.started) return;
    RenderContext *c = &g_render_context;
    g_editor_frame = EditorFrameState{};
    leave_requested = 0;
    // The open flag is the play menu's saved-game dialog's too.
    g_load_dialog_open = 0;
    g_save_dialog_mode = 0;
    g_save_refused = 0;
    if (g_editor.lit_view) hole_free_shadows();
    g_draw_plants = 1;
    world_release_and_reset(&g_hole_world);
    world_release_effects(&g_hole_world);
    lightmap_atlas_free(c);
    render_set_mode(29, c, 0x48);
    _chdir(g_start_dir);
    g_editor.held_palette_index = g_editor.selected_object = g_editor.selected_plant = -1;
    g_editor.lit_view = 0;
    g_editor.lighting_requested = 0;
    g_editor.thumbnail_requested = 0;
    g_editor.too_many_blocks = 0;
    g_editor.needs_intro = 1;
}
