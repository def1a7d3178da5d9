// Internals of the logo intro shared by its files (and read by its tests): the logo's strokes and
// tube mesh, the lightning bolts, and the resources the scene draws with. Main thread.
#pragma once

#include <cstdint>

struct MeshObject;
struct RenderObject;

// ---- logo strokes and tubes (intro_tubes.cpp) ---------------------------------------------------

constexpr float kIntroTubeRadius = 0.05f;
constexpr int32_t kIntroRing = 8;              // vertices of one ring
constexpr int32_t kIntroLogoCapacity = 10000;  // vertices of the logo mesh
constexpr float kIntroSamePoint = 0.00001f;    // points closer than this are one point

// Reads a stroke table into g_logo_strokes (emptied first): (x, y, z) triples, a triple whose z is
// below -0.5 ends a stroke and a second one in a row ends the table; no more than `triples` are
// read. A stroke whose first and last points coincide is marked closed.
void intro_collect_logo_points_from(const float (*table)[3], int32_t triples);
// The same with the intro's own logo.
void intro_collect_logo_points(void);
// A new mesh (the caller deletes it) of tubes along every stroke of g_logo_strokes: 8-vertex
// rings, domed ends on open strokes, closed strokes wrapped; faces tagged 0, 1 or 2 and more by
// stroke (see the file). A stroke that no longer fits the 10000 vertices is left out (logged).
MeshObject *intro_build_logo_tubes(void);
// The frame of a ring at P1 between P0 and P2: row 0 the ring's first axis, row 1 (0, 0, 1),
// row 2 the tangent, row 3 (P1, 1).
void intro_segment_matrix(float *out, const float *p0, const float *p1, const float *p2);
// The frame at P0 of the segment P0 -> P1 (the end of a stroke).
void intro_segment_matrix_normalised(float *out, const float *p0, const float *p1);

// ---- lightning (intro_lightning.cpp) --------------------------------------------------------------

constexpr int32_t kIntroRandomCount = 1024;
constexpr int32_t kIntroMaxBolts = 15;
constexpr int32_t kIntroBoltPoints = 34;
constexpr int32_t kIntroRibbonPairs = 32;
constexpr int32_t kIntroRibbonFaces = 124;

struct IntroBolt {
    float start[3];
    float end[3];
    float intensity;  // 1 when added, fading by 0.2 a step
    int32_t cursor;   // the random table's cursor the bolt's shape starts from
    float age;        // steps since the shape last changed
};
static_assert(sizeof(IntroBolt) == 36);

// Whole intro: the random table and its cursor, the live bolts, the points of the bolt being
// built and the ribbon mesh its faces are drawn from (made by intro_lightning_init).
extern int32_t g_intro_random[kIntroRandomCount];
extern int32_t g_intro_random_cursor;
extern IntroBolt g_intro_bolts[kIntroMaxBolts];
extern int32_t g_intro_bolt_count;
extern float g_intro_bolt_points[kIntroBoltPoints][3];
extern MeshObject *g_intro_ribbon;

// Fills the random table from rand(), empties the bolts and makes the ribbon mesh.
void intro_lightning_init(void);
// Frees the ribbon mesh.
void intro_lightning_free(void);
// Appends a bolt (intensity 1, the current cursor, age 0); nothing when 15 live.
void intro_add_bolt(float x0, float y0, float z0, float x1, float y1, float z1);
// Ages and removes the bolts, then spawns one at the logo mesh turned by r when fewer than 15 live.
void intro_bolts_update(const float *r, float s);
// Midpoint displacement of the bolt points i0 to i1 between a and b, from the random table.
void intro_lightning_subdivide(int32_t i0, int32_t i1, const float *a, const float *b);
// The 34 bolt points from a to b and the ribbon's vertices and face colours (alpha = intensity).
void intro_lightning_build(const float *a, const float *b, float intensity);
// Draws every live bolt and its two end flares.
void intro_draw_bolts(void);

// ---- the scene's resources (intro.cpp) -----------------------------------------------------------

enum IntroTexture { kIntroEnv, kIntroEnv1, kIntroEnv2, kIntroLight, kIntroThunder, kIntroTextures };

// Whole intro: the logo mesh (bolts start on its vertices), the flare disc, and the ids of the five
// textures (-1 when a picture did not load).
extern MeshObject *g_intro_logo_mesh;
extern RenderObject *g_intro_flare;
extern int32_t g_intro_texture[kIntroTextures];

// Culling off (render mode 4 = 5) for the flare discs and bolt ribbons, whose fans face away from
// the camera; returns the cull mode in force, which intro_cull_restore sets again.
int32_t intro_cull_off(void);
void intro_cull_restore(int32_t mode);
// Draws the flare disc with the world matrix m and the centre colour (r, g, b, a), additively and
// without depth test.
void intro_draw_flare(const float *m, float r, float g, float b, float a);
