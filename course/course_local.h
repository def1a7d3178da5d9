// Internals of course/: shared helpers of the play files.
#pragma once

#include "course/course.h"
#include "game/sounds.h"
#include "geometry/clip.h"
#include "render/render.h"
#include "render/render_object.h"
#include "scene/scene.h"

#include <cstdint>

// Render-object builder flags of the rebuilt turning blades.
constexpr uint32_t kCoursePalesBuildFlags = 141;

inline SceneWorld *play_world(const PlayState *state) { return state->world ? state->world : &g_hole_world; }
inline PhysicsWorld *play_physics(const PlayState *state) { return state->physics ? state->physics : &g_physics_world; }

// The render context a hole world draws with.
inline RenderContext *hole_render_context(const SceneWorld *world)
{
    return world->renderer ? world->renderer : &g_render_context;
}

// Render mode 4's value on every hole-drawing path: 5, culling off. Block tops and GROUND tiles
// are wound opposite ways and receivers are inverted copies, so a culled draw loses some of them.
// Whole run; only tests change it, to show that culling would.
extern int32_t g_hole_cull_mode;

// The view matrix of a hole's camera, from g_camera_eye toward g_camera_target. The renderer shows
// the view's +y downward on screen and the world's +y points down, so the look-at takes world +y
// as its up direction: the shared (0, -1, 0) would show the hole turned half a turn. The hole view
// and the editor's cursor use it alike.
float *hole_view_matrix(float *view);

// Object i of the world, or null outside the objects.
inline MeshObject *play_object(const SceneWorld *world, int32_t i)
{
    return i >= 0 && i < world->object_count ? world->objects[i] : nullptr;
}

// Plays one of the game's sounds once, or looping when asked, while
// the sound card and the sound effects are on; the handles are those the sound output loaded, so
// none outlives a stop of the output. Stops a looping one.
void play_sound(GameSound sound, int32_t loop);
void play_sound_stop(GameSound sound);

// The theme world's two light colours and light vector into the world (the editor's holes).
void editor_copy_theme_lights(SceneWorld *world);

// Yaw in degrees (0..360) of the direction (vx, vz): atan with the 0.001 guard, + pi for negative x.
float play_yaw_of(float vx, float vz);

// Ball reset: asleep, orientation (1, 0, 0, 0), no motion, wake timer 0.
void play_ball_reset(RigidBody *body);

// ---- shadow decals: what the two builders share (decal.cpp) --------------------------------------

// Working storage of one build, made once and kept (course_decal_release_storage frees it). A build
// that would pass a bound stops adding there.
constexpr int32_t kDecalTemporaryVertices = 20000;
constexpr int32_t kDecalTemporaryTriangles = 20000;
constexpr int32_t kDecalMaxCandidates = 20000;  // receiving faces of one build
constexpr int32_t kDecalMaxGroups = 256;        // texture lists of one build
constexpr int32_t kDecalMaxCasterFaces = kDecalTemporaryTriangles;

// One texture list: its candidates are faces[first .. first + count).
struct DecalGroup {
    int16_t texture_id;
    int16_t texture_id2;
    int32_t first;
    int32_t count;
};

struct DecalStorage {
    ClipBuffer clip;
    int32_t *remap;         // temporary vertex -> output vertex, -1 none
    int32_t *faces;         // candidates, grouped
    int16_t *face_group;    // candidate -> its group while grouping
    uint8_t *caster_faces;  // per caster face: kDecalTurnedAway, kDecalUsed
    uint8_t *caster_vertices;  // per caster vertex: 1 between the light and the receiving plane
    DecalGroup groups[kDecalMaxGroups];
    int32_t group_count;
    int32_t candidate_count;
};
enum : uint8_t { kDecalTurnedAway = 1, kDecalUsed = 2 };

// The storage, made on first use; null without memory.
DecalStorage *decal_storage();

// World positions and normals of a mesh from its body's matrices (flag 0x100), its stored matrices
// (flag 0x200, when `stored` allows them) or its Euler angles and position; `world` receives the
// matrix used.
void decal_place_mesh(MeshObject *mesh, bool stored, float *world);
// The candidates: every face of the slot's tree, or those whose box meets the world box (lo, hi),
// grouped by texture id (and second id with `pairs`) in order of first appearance.
void decal_collect(DecalStorage *storage, ColliderSlot *slot, const float *world, const float *lo, const float *hi,
                   bool pairs);
// Texture coordinates (pair 0 of its corner vertices) of the face at a point of its plane.
void decal_face_uv(const MeshObject *mesh, const MeshFace &face, const float *point, float *uv);
// The face's world plane (unit normal, d), false for a face with bad corners or no normal.
bool decal_face_plane(const MeshObject *mesh, const MeshFace &face, float *plane, float *centroid);

// The dynamic object being written by one build.
struct DecalOutput {
    RenderContext *context;
    RenderObject *object;
    int32_t first_vertex;  // where this build began
    int32_t first_index;
    int32_t vertices;  // used counts so far
    int32_t triangles;
    int32_t triangle_capacity;
    ListNode<RenderDrawRange> *reuse;  // a fresh start overwrites the old face groups from here
};

// Locks the context's dynamic object and places the build: from 0 when `fresh`, else after its
// used counts. False (nothing locked) without an object or its buffers.
bool decal_open(DecalOutput *out, RenderContext *context, bool fresh);
// The output vertex of temporary vertex v when v is marked and the object has room, else -1 (the
// remap table keeps the answer): its position the projection through m, written out, the depth
// difference |projected - light| - |v - light| kept in v.
int32_t decal_emit_vertex(DecalStorage *s, DecalOutput *out, int32_t v, const float *m, const float *light,
                          float *projected);
// The output vertices of a temporary triangle kept by the clipping whose corners all got one.
bool decal_kept_triangle(const DecalStorage *s, const ClipTriangle &triangle, int32_t *corners);
// Appends a triangle of output vertices (all >= 0) while the index capacity lasts.
bool decal_add_triangle(DecalOutput *out, int32_t a, int32_t b, int32_t c);
void decal_add_group(DecalOutput *out, const RenderDrawRange &group);
// World matrix identity, unlock, used counts; the surplus old face groups of a fresh start go. Then,
// when triangles were made: draws at once when "E" is missing or non-zero, else with
// `call_group` adds one face group for the whole build naming the bound texture.
void decal_close(DecalOutput *out, bool call_group);

// Replay: a frame every 5 units while the ball moves; at a hole-out the last frame and the start
// of the playback from two strokes back (none when no frame was recorded).
void play_replay_record(PlayState *state, float factor);
void play_replay_begin(PlayState *state, float factor);
