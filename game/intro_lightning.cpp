// The intro's lightning: short-lived bolts between points of the turning logo, each turned into a
// jagged ribbon by midpoint displacement from a fixed table of random numbers, so that a bolt keeps
// its shape until its age tells it to change. Nothing here allocates per frame.
#include "game/intro_local.h"

#include "game/menu_pictures.h"
#include "geometry/mesh.h"
#include "geometry/vecmath.h"
#include "render/render.h"
#include "render/render_draw.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

int32_t g_intro_random[kIntroRandomCount];
int32_t g_intro_random_cursor;
IntroBolt g_intro_bolts[kIntroMaxBolts];
int32_t g_intro_bolt_count;
float g_intro_bolt_points[kIntroBoltPoints][3];
MeshObject *g_intro_ribbon;

namespace {

int32_t next_random()
{
    int32_t value = g_intro_random[g_intro_random_cursor];
    g_intro_random_cursor = (g_intro_random_cursor + 1) % kIntroRandomCount;
    return value;
}

// A random vertex of the logo turned by r (row vector times the 3 x 3 part plus the translation).
void random_logo_point(const MeshObject *logo, const float *r, float *out)
{
    mat4_transform_point(out, r, logo->vertices[rand() % logo->vertex_count].position);
}

}  // namespace

void intro_lightning_init(void)
{
    for (int32_t &value : g_intro_random) value = rand();
    g_intro_random_cursor = 0;
    g_intro_bolt_count = 0;
    intro_lightning_free();
    MeshObject *ribbon = mesh_new();
    if (!ribbon || !mesh_alloc_arrays(ribbon, 2 * kIntroRibbonPairs)) {
        mesh_delete(ribbon);
        return;
    }
    ribbon->vertex_count = 2 * kIntroRibbonPairs;
    for (int32_t i = 0; i < ribbon->vertex_count; i++) {
        MeshVertex &v = ribbon->vertices[i];
        v.uv0[0] = float(i % 2);  // left 0, right 1
        v.uv0[1] = 0.125f;
    }
    // Each quad twice, once in each winding, so the ribbon shows from both sides.
    for (int32_t k = 0; k + 1 < kIntroRibbonPairs; k++) {
        int32_t left = 2 * k, right = 2 * k + 1, next_left = 2 * k + 2, next_right = 2 * k + 3;
        mesh_set_quad(ribbon, 4 * k, left, right, next_right, next_left);
        mesh_set_quad(ribbon, 4 * k + 2, left, next_left, next_right, right);
    }
    ribbon->face_count = kIntroRibbonFaces;
    // The corners take their vertices' pairs: the thunder picture runs across the ribbon.
    for (int32_t f = 0; f < ribbon->face_count; f++)
        for (int k = 0; k < 3; k++) memcpy(&ribbon->faces[f].uv[2 * k], ribbon->vertices[ribbon->faces[f].v[k]].uv0, 8);
    mesh_link_face_vertices(ribbon);
    g_intro_ribbon = ribbon;
}

void intro_lightning_free(void)
{
    mesh_delete(g_intro_ribbon);
    g_intro_ribbon = nullptr;
}

void intro_add_bolt(float x0, float y0, float z0, float x1, float y1, float z1)
{
    if (g_intro_bolt_count >= kIntroMaxBolts) return;
    g_intro_bolts[g_intro_bolt_count++] = IntroBolt{{x0, y0, z0}, {x1, y1, z1}, 1.0f, g_intro_random_cursor, 0.0f};
}

void intro_bolts_update(const float *r, float s)
{
    for (int32_t i = 0; i < g_intro_bolt_count;) {
        IntroBolt &bolt = g_intro_bolts[i];
        bolt.intensity -= 0.2f * s;
        bolt.age += s;
        if (bolt.age > 1.0f) {
            bolt.age = 0.0f;
            bolt.cursor = (bolt.cursor + 16) % kIntroRandomCount;
        }
        if (bolt.intensity < 0.0f) {
            // The last bolt takes its place and is examined next.
            bolt = g_intro_bolts[--g_intro_bolt_count];
            continue;
        }
        i++;
    }
    const MeshObject *logo = g_intro_logo_mesh;
    if (g_intro_bolt_count >= kIntroMaxBolts || !logo || !logo->vertices || logo->vertex_count <= 0) return;
    float end[3], start[3];
    random_logo_point(logo, r, end);
    if (rand() % 100 < 51)
        random_logo_point(logo, r, start);
    else
        vec3_scale(start, end, 5.0f);  // from outside the logo
    intro_add_bolt(start[0], start[1], start[2], end[0], end[1], end[2]);
}

void intro_lightning_subdivide(int32_t i0, int32_t i1, const float *a, const float *b)
{
    if (i0 == i1 || i0 < 0 || i1 < 0 || i0 >= kIntroBoltPoints || i1 >= kIntroBoltPoints) return;
    int32_t ra = next_random(), rb = next_random();
    float d[3];
    vec3_sub(d, b, a);
    float length = vec3_length(d);
    if (length > 0.0f) vec3_scale(d, d, 1.0f / length);
    float u[3], v[3];
    vec3_perpendicular_unit(u, d[0], d[1], d[2], 0);
    vec3_perpendicular_unit(v, d[0], d[1], d[2], 1);
    memcpy(g_intro_bolt_points[i0], a, 3 * sizeof(float));
    memcpy(g_intro_bolt_points[i1], b, 3 * sizeof(float));
    float ku = float(ra % 100 - 50) * length / 450.0f, kv = float(rb % 100 - 50) * length / 450.0f;
    float m[3];
    for (int i = 0; i < 3; i++) m[i] = (a[i] + b[i]) * 0.5f + u[i] * ku + v[i] * kv;
    if (i1 - i0 > 1) {
        int32_t middle = (i0 + i1) / 2;
        intro_lightning_subdivide(i0, middle, a, m);
        intro_lightning_subdivide(middle, i1, m, b);
    }
}

void intro_lightning_build(const float *a, const float *b, float intensity)
{
    intro_lightning_subdivide(0, kIntroBoltPoints - 1, a, b);
    MeshObject *ribbon = g_intro_ribbon;
    if (!ribbon) return;
    float d[3];
    float w = vec3_length(vec3_sub(d, b, a)) / 90.0f;
    for (int32_t k = 0; k < kIntroRibbonPairs; k++) {
        const float *p = g_intro_bolt_points[k];
        float d1[3], d2[3], t[3];
        vec3_normalize(vec3_sub(d1, g_intro_bolt_points[k + 1], p));
        vec3_normalize(vec3_sub(d2, g_intro_bolt_points[k + 2], g_intro_bolt_points[k + 1]));
        vec3_normalize(vec3_scale(t, vec3_add(t, d1, d2), 0.5f));
        float *left = ribbon->vertices[2 * k].position, *right = ribbon->vertices[2 * k + 1].position;
        vec3_set(left, p[0] - t[1] * w, p[1] + t[0] * w, std::max(p[2] - t[2] * w, 0.15f));
        vec3_set(right, p[0] + t[1] * w, p[1] - t[0] * w, std::max(p[2] + t[2] * w, 0.15f));
    }
    for (int32_t f = 0; f < ribbon->face_count; f++) {
        float *colour = ribbon->faces[f].color;
        colour[0] = colour[1] = colour[2] = 1.0f;
        colour[3] = intensity;
    }
}

void intro_draw_bolts(void)
{
    RenderContext *context = &g_render_context;
    render_set_mode(1, context, 0);
    float identity[16];
    mat4_identity(identity);
    for (int32_t i = 0; i < g_intro_bolt_count; i++) {
        const IntroBolt &bolt = g_intro_bolts[i];
        texture_bind(context, g_intro_texture[kIntroThunder]);
        render_set_mode(6, context, 18);
        render_set_world_matrix(context, identity);
        g_intro_random_cursor = bolt.cursor;
        intro_lightning_build(bolt.start, bolt.end, bolt.intensity);
        if (g_intro_ribbon) {
            // The ribbon's two windings show it from both sides; culling would still drop one.
            int32_t cull = intro_cull_off();
            for (int32_t f = 0; f < g_intro_ribbon->face_count; f++)
                render_draw_3d_triangle(context, &g_intro_ribbon->faces[f]);
            intro_cull_restore(cull);
        }
        for (const float *at : {bolt.start, bolt.end}) {
            float m[16];
            mat4_identity(m);
            mat4_scale(m, 0.1f, 0.1f, 0.1f);
            mat4_translate(m, at[0], at[1], at[2]);
            intro_draw_flare(m, 1.0f, 1.0f, 1.0f, bolt.intensity);
        }
    }
    render_set_mode(1, context, 1);
}
