// Course play and the hole editor's shared operations: mesh utilities on hole objects, the kinds of
// hole objects, the ball, a hole's collision set-up, and the headless play simulation that the play
// screen, the tests and the data tools run alike. Main thread only. The y axis points down.
#pragma once

#include "game/course_mesh.h"
#include "geometry/list.h"
#include "geometry/mesh.h"
#include "physics/physics.h"

#include <cstddef>
#include <cstdint>

struct RenderContext;
struct RenderObject;
struct SceneWorld;

constexpr int32_t kPlayMaxHoles = 128;
constexpr int32_t kPlayFirstHoleObject = 225;  // play's first hole object: the GROUND tiles come before

// Course-run state, cleared when the play screen starts: strokes per hole (-1 not played), PAR per
// hole (-1 not read), the camera's yaw in degrees, the object under the ball (-1 none).
extern int32_t g_hole_strokes_p1[kPlayMaxHoles];
extern int32_t g_hole_strokes_p2[kPlayMaxHoles];
extern int32_t g_hole_par_table[kPlayMaxHoles];
extern float g_camera_yaw;
extern int32_t g_current_block;
// The camera's eye and look-at point; the strike direction is target minus eye.
extern float g_camera_eye[3];
extern float g_camera_target[3];
// The orbit camera: pivot (the ball), pitch in -65..-20, distance in 1.6..10, last cursor seen.
extern float g_camera_pivot[3];
extern float g_camera_pitch;
extern float g_camera_distance;
extern int32_t g_camera_last_mouse_x, g_camera_last_mouse_y;
// Each plant's sway phase, advanced every frame.
extern float g_vegetal_sway_phase[256];
// The editor's first hole block (225 after a new course) and the theme's stacking step (set with
// the palette by game/menu_theme.h).
extern int32_t g_first_block_index;
extern float g_block_step;

// ---- mesh utilities -------------------------------------------------------------------------------

// course_mesh_shade_and_build and course_mesh_compute_bounds: game/course_mesh.h (the menu theme
// shares them).
// Top of the highest hole block strictly under (x, z) in g_hole_world, truncated toward the
// ground to whole g_block_step (unsnapped when the step is not positive); 0 with none. y unused.
float course_ground_height_at(float x, float y, float z);
// Picking: the segment against the object's world box shrunk to 0.7 (or whole), a start inside
// included; writes the hit distance (100000 on a miss).
bool editor_pick_object_box(MeshObject *object, const float *p0, const float *p1);
bool editor_pick_box(MeshObject *object, const float *p0, const float *p1);
// The segment against the box of two opposite corners.
bool course_box_segment_hit(const float *corner_a, const float *corner_b, const float *p0, const float *p1);

// ---- hole-object kinds ---------------------------------------------------------------------------

// 1 when the name contains the word (case-sensitive): how play reads BLOC, START, END, DECOR,
// DECORBLOC, GROUND and PALES.
int hole_name_has(const char *name, const char *word);
// 1 when the name is exactly the word: the editor's one "START", the opener's "PALES".
int hole_name_is(const char *name, const char *word);
// 1 when some object's name contains BLOC and some contains START.
int play_hole_is_playable(const SceneWorld *world);

// ---- play state ------------------------------------------------------------------------------------

// One replay sample: nine 32-bit words.
struct ReplayFrame {
    int32_t stroke;  // strokes when recorded (0 before the first)
    float time;      // replay_time, in frame-factor units
    float position[3];
    float quaternion[4];  // w, x, y, z
};
static_assert(sizeof(ReplayFrame) == 36);
typedef IndexedList<ListNode<ReplayFrame>> ReplayList;

// The ball: the drawn ball, two collision spheres of radius 0.1 (detail 4 carries the body, its
// shape tree and point grid, and is the body's collision mesh; detail 7 is kept prepared).
struct PlayBall {
    MeshObject *drawn = nullptr;
    RenderObject *drawn_render = nullptr;  // null without a device
    MeshObject *sphere = nullptr;
    MeshObject *fine_sphere = nullptr;
    RigidBody *body = nullptr;  // sphere's own body
};

// Per-frame events of play_frame_logic, one bit each.
enum : uint32_t {
    kPlayEventStroke = 1,
    kPlayEventHoled = 2,
    kPlayEventWater = 4,
    kPlayEventOutOfCourse = 8,
};

constexpr int32_t kPlayMaxPalesColliders = kPhysicsMaxColliders;

struct PlayState {
    // The run.
    int32_t hole_index = 0;
    int32_t player_count = 1;
    int32_t player = 0;
    // One player's turn on one hole; the set-up resets every field below.
    int32_t strokes = 0;
    int32_t par = 5;
    float power = -1.0f;  // -1: not charging
    float stroke_start[3] = {};
    int32_t yaw_at_stroke = 0;
    ReplayList replay_list;
    float replay_time = 0.0f;
    float replay_accumulator = 0.0f;
    float physics_accumulator = 0.0f;
    int32_t replaying = 0;
    int32_t holeout_timer = 0;
    int32_t end_timer = 0;
    int32_t banner_timer = 0;
    int32_t hole_done = 0;  // 1 finished, 2 course abandoned
    int32_t block_history[4] = {-1, -1, -1, -1};
    int32_t auto_turn_done = 0;

    // What the set-up builds; the teardown frees it.
    SceneWorld *world = nullptr;      // null: g_hole_world
    PhysicsWorld *physics = nullptr;  // null: g_physics_world
    PlayBall ball;
    int32_t start_index = -1;
    uint8_t has_sand = 0;
    MeshObject *grass_mesh = nullptr;
    MeshObject *other_mesh = nullptr;
    MeshObject *sand_mesh = nullptr;
    int32_t material_colliders = 0;  // grass, other and sand slots in use
    MeshObject *pales_copies[kPlayMaxPalesColliders] = {};
    ColliderSlot *pales_slots[kPlayMaxPalesColliders] = {};
    int32_t pales_count = 0;            // colliding copies
    MeshObject *shadow_meshes[2] = {};  // the ball shadow's receivers: other faces, grass
    ColliderSlot shadow_slots[2];
    float pales_time = 0.0f;
    // The frame's block search.
    int32_t block = -1;
    int32_t block_face = -1;
    int32_t block_material = -1;
    int32_t last_mouse_x = 0, last_mouse_y = 0;
    uint32_t events = 0;  // kPlayEvent* of the last logic frame
};

// The ball objects (drawn render object only when the render context has a device). 1, or 0
// without memory (nothing kept).
int play_ball_create(PlayBall *ball);
void play_ball_free(PlayBall *ball);

// One player's set-up on the opened hole: collision meshes by material, turning blades, the ball on
// START, the physics world's settings, every per-player field reset. 1, or 0 when the ball is missing.
int play_setup_hole_collision(PlayState *state);
// The ball, upright and still, 0.1 above the last START (nudged 0.3 toward the hole on a START 1.0
// high or more), the camera yaw toward the hole, stroke_start and yaw_at_stroke there.
void play_place_ball_at_start(PlayState *state, int32_t start_index, RigidBody *body);
// Frees what the set-up built; the ball stays.
void play_teardown_hole(PlayState *state);

// ---- shadow decals -----------------------------------------------------------------------------------
// Both builders project from light slot 1 of the render context into its current dynamic render
// object, and record face groups there while render variable "E" is 0; with "E" missing or
// non-zero they draw the object at once with depth bias 4. Vertices and triangles beyond the
// object's capacities are left out. Main thread only.

// Lays the bound texture as a rectangle (half sizes half_u, half_v, centred on (cx, cy, cz) across
// the light's direction) onto the faces of the slot's mesh that the light reaches through it.
// Mode bits: 1 start the object afresh (else append); 2 receiving faces' texture coordinates in
// pair 0, the rectangle's in pair 1, one face group per receiving texture (else the rectangle's
// coordinates, white); 4 only faces near the rectangle, which stretches away from a low light.
void mesh_build_projected_decal(ColliderSlot *slot, float cx, float cy, float cz, float half_u, float half_v,
                                int32_t mode);
// Casts the faces of the caster (its child when it has one) that turn away from the light onto
// the faces of the receiver's mesh within 13 units past it, in the ambient colour, one face group
// per receiving texture pair; the object starts afresh.
void mesh_build_projected_decal_editor(MeshObject *caster, RenderContext *context, ColliderSlot *receiver);
// Releases the builders' working storage, made on their first call and kept between calls; the
// play screen calls it when it ends. A later build makes it again.
void course_decal_release_storage();

// ---- one logic frame, in the play screen's order between its drawing calls -----------------------

// Orbit camera from the mouse (right drag, wheel) about g_camera_pivot: target and eye.
void play_camera_update();
// The block under the ball (state->block, block_face, block_material; -1 none).
void play_find_block_under_ball(PlayState *state);
// g_current_block, the last four blocks, and the camera's easing toward the way on.
void play_update_history_and_turn(PlayState *state);
// Out of course, hole-out and water.
void play_run_tests(PlayState *state, float factor);
// The left button charges; its release strikes along the camera (g_mouse_left_down).
void play_charge_and_strike(PlayState *state, float factor);
// The turning blades' drawn matrices and their colliders' slot matrices.
void play_turn_pales(PlayState *state);
// Replay recording, the fixed physics steps and the rolling look (not while replaying).
void play_advance_physics(PlayState *state, float factor);
// Replay playback at quarter speed; a pending click ends it.
void play_replay_step(PlayState *state, float factor);
// The hole-out, end and banner timers: strokes stored and the hole closed.
void play_run_timers(PlayState *state);
void play_sway_vegetals(PlayState *state, float factor);
// One whole logic frame; returns the frame's kPlayEvent* bits.
uint32_t play_frame_logic(PlayState *state, float factor);

// ---- headless play ---------------------------------------------------------------------------------

// Opens a plain hole file into the state's world (no lighting), set-up and ball on START. 1, or 0
// when it cannot be read, holds an old material that does not fit, or has no BLOC or START.
int play_sim_open(PlayState *state, const char *plain_path);
// Strikes with the camera at (yaw, pitch) about the ball and the given power. 1 struck, 0 when a
// stroke is not allowed now (ball moving, timers, replay, options).
int play_sim_strike(PlayState *state, float yaw, float pitch, float power);
// The ball asleep at (x, y, z), the stroke's start there.
void play_sim_place_ball(PlayState *state, float x, float y, float z);

// ---- listed strokes: the test switch ZAVGOLF_STROKES, beside the trace switch -----------------------
// Unset, nothing changes. Set, course play takes the listed strokes in place of the player's, in
// play order across holes (and across runs of the play screen, until the list is used up): each
// one the first time the ball has lain still through a frame while the turn waits for a shot, as
// play_sim_strike strikes (the camera turned to yaw and pitch about the ball, the charge released
// at the power), so the physics sees what a player's aim and release would give. The text:
//   "yaw,pitch,power;yaw,pitch,power;..."
// decimal numbers (a float printed with "%.9g" reads back exactly), blanks allowed between the
// parts, a last ';' allowed; yaw in degrees as g_camera_yaw (180 strikes along +x) within
// -360..360, pitch within -65..-20 (the play camera's range), power above 0 and at most 27 (the
// charge passes 15 by one step of at most 0.2 x the longest frame's factor of 60). A text that
// does not read so is refused whole, with its reason on stderr: the player plays every stroke.
// `course_solve <run folder> --strokes N` prints the hint plans of the first N holes this way.

constexpr int32_t kPlayListedStrokesMax = 1024;
constexpr float kPlayListedYawMax = 360.0f;
constexpr float kPlayListedPitchMin = -65.0f, kPlayListedPitchMax = -20.0f;
constexpr float kPlayListedPowerMax = 27.0f;

struct PlayListedStroke {
    float yaw, pitch, power;
};
struct PlayStrokeList {
    PlayListedStroke strokes[kPlayListedStrokesMax];
    int32_t count = 0;
    int32_t next = 0;  // the next one to take
};

// Reads the text into the list (emptied first): 1, or 0 with the list empty and the reason in
// `error` (when given). A null or blank text lists nothing and is read.
int play_strokes_parse(const char *text, PlayStrokeList *list, char *error, size_t error_size);
// The next stroke of the list, taken; false when none is left.
bool play_strokes_take(PlayStrokeList *list, PlayListedStroke *out);
// The game's list: ZAVGOLF_STROKES read on first use (traced "strokes listed N" or "strokes
// refused"), kept for the whole run.
PlayStrokeList *play_listed_strokes(void);
// Tests: forgets the list; the next use reads the variable again.
void play_listed_strokes_reset(void);
// The ball lies asleep and the turn waits for the player's shot: no timer, replay, charge, options
// panel or confirmation running, the hole not done.
bool play_waits_for_shot(const PlayState *state);

// ---- scoring ----------------------------------------------------------------------------------------

// Adds the course to each player's record and writes it (player_record_save); a player without a
// scored hole keeps the file untouched. Reads at most min(g_file_count, 128) holes.
void play_score_course();

// ---- the play screen --------------------------------------------------------------------------------

// Screen state 888: plays the course set of g_course_set_folder with its own frame loop and sets
// the next screen state before it returns.
void course_play_screen(void);
// One frame of the score card between holes: the background, the next hole's preview, the load's
// progress bar (0..1) and the table of PARs and scores. It is also the hole world's load-progress
// callback while a hole opens, so it takes the callback's form; the text is not read. Draws
// nothing while the device is lost.
void play_draw_score_card(const char *first, float progress);
// Tests: called after every frame of the play screen's frame loop, before the frame clock is read,
// with the turn's state (input queued there is taken in the frames that follow). Null in the game.
extern void (*g_play_frame_hook)(PlayState *state);
