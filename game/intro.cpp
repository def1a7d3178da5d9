// The logo intro: its load and release, the timeline, and one frame of the scene (a back flare,
// sparks, the logo's solid, glow and halo passes, lightning, the light volume, a front flare and the
// closing fade to black). Main thread.
#include "game/intro.h"
#include "game/intro_local.h"

#include "codecs/codecs.h"
#include "game/app.h"
#include "game/menu_pictures.h"
#include "game/screen.h"
#include "geometry/list.h"
#include "geometry/mesh.h"
#include "geometry/mesh_edit.h"
#include "geometry/vecmath.h"
#include "render/render.h"
#include "render/render_draw.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

IntroTimeline g_intro_timeline;
MeshObject *g_intro_logo_mesh;
RenderObject *g_intro_flare;
int32_t g_intro_texture[kIntroTextures] = {-1, -1, -1, -1, -1};

namespace {

// The logo parts: vertex format XYZ NORMAL TEX0; a sphere map from the world normal, modulated by
// alpha x color.
const char kLogoScript[] = R"([VERTEXFORMAT] XYZ NORMAL TEX0
[DEFINES] MATRIX WORLD; MATRIX VIEWPROJ; CONST zero=0,0,0,0; CONST one=1,1,1,1; CONST half=0.5,0.5,0.5,0.5;
  VECTOR alpha; VECTOR color; TEXTURE tex;
[TECHNIQUE] All cards
[PASS0]
[POSITION] p=iPos*4WORLD; oPos=p*4VIEWPROJ;
[DIFFUSE] c=alpha*color; c.w=one.w; oDiffuse=c;
[MAPPING0] n=iNorm*3WORLD; t=n*half+half; oTexture0=t;
[RENDER_STATE] SHADEMODE SMOOTH TEXTURE[0] tex COLOROP[0] MODULATE COLORARG1[0] TEXTURE COLORARG2[0] DIFFUSE
  ALPHAOP[0] SELECTARG1 ALPHAARG1[0] DIFFUSE COLOROP[1] DISABLE ALPHAOP[1] DISABLE
  CULL CCW ZBUFFER TRUE ZBUFFERWRITE TRUE
[END]
)";

// The light volume: the vertices of faces turned from the light move away from it by longueur;
// those facing it keep half brightness. Both sides of the volume, added without depth.
#define INTRO_VOLUME_PASS(cull)                                                                     \
    "[POSITION] p=iPos*4WORLD; n=iNorm*3WORLD; u=p-Light; d=u|n; s=sge(d,zero); d=u|u; d=rsq(d);\n" \
    "  u=u*d; u=u*longueur; u=u*s; p=p+u; p.w=one.w; oPos=p*4VIEWPROJ;\n"                           \
    "[DIFFUSE] p=iPos*4WORLD; n=iNorm*3WORLD; u=p-Light; d=u|n; s=sge(d,zero); oDiffuse=half-s;\n"  \
    "[MAPPING0] oTexture0=iTexture0;\n"                                                             \
    "[RENDER_STATE] TEXTURE[0] tex COLOROP[0] MODULATE COLORARG1[0] TEXTURE COLORARG2[0] DIFFUSE\n" \
    "  ALPHAOP[0] SELECTARG1 ALPHAARG1[0] DIFFUSE COLOROP[1] DISABLE ALPHAOP[1] DISABLE\n"          \
    "  BLEND TRUE SRCBLEND SRCALPHA DSTBLEND ONE ZBUFFER FALSE ZBUFFERWRITE FALSE CULL " cull "\n"

const char kVolumeScript[] =
    "[VERTEXFORMAT] XYZ NORMAL TEX0\n"
    "[DEFINES] MATRIX WORLD; MATRIX VIEWPROJ; VECTOR longueur; VECTOR Light; VECTOR Decal;\n"
    "  CONST zero=0,0,0,0; CONST one=1,1,1,1; CONST half=0.5,0.5,0.5,0.5; TEXTURE tex;\n"
    "[TECHNIQUE] All cards\n"
    "[PASS0]\n" INTRO_VOLUME_PASS("CCW") "[PASS1]\n" INTRO_VOLUME_PASS("CW") "[END]\n";

const char *const kTextureNames[kIntroTextures] = {"data/logo/env", "data/logo/env1", "data/logo/env2",
                                                   "data/logo/light", "data/logo/thunder"};

constexpr int32_t kStars = 1500;
constexpr int32_t kDiscRim = 32;
constexpr int32_t kLogoParts = 3;
// The parts draw in this order; part k is the logo's faces of tag k.
constexpr int32_t kPartOrder[kLogoParts] = {1, 2, 0};

// Whole intro (intro_load to intro_free).
float g_stars[kStars][3];
MeshPtr g_part_meshes[kLogoParts];
RenderObject *g_parts[kLogoParts];
float g_saved_focal, g_saved_near, g_saved_far;  // the renderer's view, given back by intro_free
int32_t g_frames;                                // intro_frame calls since the load
bool g_over;                                     // the end was reported

RenderContext *context() { return &g_render_context; }

RenderObject *new_object(uint32_t flags)
{
    RenderObject *object = render_object_init(new RenderObject);
    object->flags = flags;
    object->context = context();
    object->device = context()->device;
    return object;
}

void delete_object(RenderObject *&object)
{
    if (!object) return;
    render_object_free(object);
    delete object;
    object = nullptr;
}

void compile(RenderObject *object, const char *script, const char *what)
{
    char *message = render_object_compile_script(object, script);
    if (!message) return;
    char line[600];
    snprintf(line, sizeof line, "intro: the %s script does not compile: %s", what, message);
    render_log_line(line);
    free(message);
}

// The flare disc: the menu disc's fan of 33 vertices, all white; the rim keeps alpha 0 so that the
// flare fades out to its edge.
void intro_logo_effect_setup()
{
    RenderObject *disc = g_intro_flare = new_object(kRenderDiffuse | kRenderTexColour | kRenderStatic);
    render_object_create_vertex_buffer(disc, kDiscRim + 1, 3 * kDiscRim, 0);
    render_object_lock_vertices(disc);
    render_object_lock_indices(disc);
    render_vertex_set_position(disc, 0, 0.0f, 0.0f, 0.0f);
    render_vertex_set_color_argb(disc, 0, 1.0f, 1.0f, 1.0f, 1.0f);
    for (int32_t k = 1; k <= kDiscRim; k++) {
        double angle = (k - 1) * M_PI / 16.0;
        render_vertex_set_position(disc, k, float(std::cos(angle)), float(std::sin(angle)), 0.0f);
        render_vertex_set_color_argb(disc, k, 1.0f, 1.0f, 1.0f, 0.0f);
        if (!disc->locked_indices) continue;
        disc->locked_indices[3 * (k - 1)] = 0;
        disc->locked_indices[3 * (k - 1) + 1] = uint32_t(k % kDiscRim + 1);
        disc->locked_indices[3 * (k - 1) + 2] = uint32_t(k);
    }
    render_object_unlock_indices(disc);
    render_object_unlock_vertices(disc);
}

void intro_random_points_init()
{
    for (auto &star : g_stars)
        for (float &c : star) c = float(rand() % 1000 - 500) * 3.0f * 0.002f;
}

// The lowest free slot of the main table, or -1.
int32_t free_texture_slot(const TextureTable *table)
{
    if (!table->slots) return 0;
    for (int32_t slot = 0; slot < kTextureSlots; slot++)
        if (!table->slots[slot]) return slot;
    return -1;
}

void load_textures()
{
    for (int32_t t = 0; t < kIntroTextures; t++) {
        bool alpha = t == kIntroThunder;
        ImageData image{};
        int32_t slot = free_texture_slot(&context()->main_textures);
        if (slot < 0 || !image_load_by_base_name(kTextureNames[t], &image, alpha ? 1 : 0) || !image.pixels) {
            char line[160];
            snprintf(line, sizeof line, "intro: picture %s missing", kTextureNames[t]);
            render_log_line(line);
            free(image.pixels);
            g_intro_texture[t] = -1;
            continue;
        }
        texture_create_from_pixels(context(), alpha ? kTextureAlpha : 0, slot, image.width, image.height, image.pixels,
                                   image.width, image.height);
        free(image.pixels);
        g_intro_texture[t] = slot;
    }
}

// The faces of tags 0 to 2 as three render objects with the logo script.
void load_parts()
{
    for (int32_t k = 0; k < kLogoParts; k++) {
        g_part_meshes[k] = mesh_extract_tag_copy(k);
        RenderObject *part = g_parts[k] = new_object(kRenderNormal | kRenderVertexPairs | kRenderStatic);
        // A part without faces gets no buffers and no effect (a device reset needs both), and is not drawn.
        if (!g_part_meshes[k] || g_part_meshes[k]->face_count <= 0) continue;
        render_object_load_mesh_vertices(part, g_part_meshes[k].get(), part->flags);
        compile(part, kLogoScript, "logo");
    }
}

void set_vector(RenderObject *object, const char *name, float x, float y, float z, float w)
{
    const float v[4] = {x, y, z, w};
    render_effect_set_vector(object, name, v);
}

void draw_object(RenderObject *object)
{
    render_set_current_object(context(), object);
    render_draw_current_object(context());
    render_set_current_object(context(), nullptr);
}

// world := the matrix, the part gets its texture and colours, drawn in the parts' order.
void draw_logo(const float *world, float alpha, float r, float g, float b)
{
    render_set_world_matrix(context(), world);
    for (int32_t k : kPartOrder) {
        RenderObject *part = g_parts[k];
        if (!part->effect) continue;
        render_effect_set_world_matrix(part);
        render_effect_set_viewproj_matrix(part);
        texture_bind_to_effect(part, g_intro_texture[k], "tex");
        set_vector(part, "alpha", alpha, alpha, alpha, 0.0f);
        set_vector(part, "color", r, g, b, 0.0f);
        draw_object(part);
    }
}

// The sparks flying toward the camera, wrapping round from the near end to the far one.
void intro_scene_draw_part(float s)
{
    for (auto &star : g_stars) {
        star[2] -= 0.1f * s;
        if (star[2] < -3.0f) star[2] += 6.0f;
        float c = star[2] < 0.0f ? 1.0f : std::max(0.0f, 1.0f - star[2] / 3.0f);
        float m[16];
        mat4_identity(m);
        mat4_scale(m, 0.02f, 0.02f, 0.02f);
        mat4_translate(m, star[0], star[1], star[2]);
        intro_draw_flare(m, 0.8f * c, 0.9f * c, c, c);
    }
    // The logo's solid pass that follows draws opaque and depth-tested.
    render_set_mode(6, context(), 0);
    render_set_mode(1, context(), 1);
}

void draw_light_volume(const float *r, float p)
{
    RenderObject *volume = &g_shadow_volume_object;
    if (!volume->effect) return;
    render_set_world_matrix(context(), r);
    render_effect_set_world_matrix(volume);
    render_effect_set_viewproj_matrix(volume);
    texture_bind_to_effect(volume, g_intro_texture[kIntroLight], "tex");
    set_vector(volume, "Light", 0.0f, 0.0f, 25.0f, 0.0f);
    set_vector(volume, "Decal", 0.2f, 0.2f, 0.2f, 0.0f);
    set_vector(volume, "longueur", 3.0f * p, 3.0f * p, 3.0f * p, 0.0f);
    draw_object(volume);
}

void draw_fade(float fade)
{
    RenderContext *c = context();
    render_set_mode(6, c, 1);
    render_set_mode(5, c, 0);
    texture_bind(c, kSlotWhite);
    render_draw_2d_quad_rgba(c, 0.0f, 0.0f, float(c->width), float(c->height), 0.0f, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f, 0.0f,
                             1.0f - fade / 256.0f);
}

// Steps 7 to 17 of a frame the device can draw: everything from the camera to the present.
void draw_scene(const float *r, float s, const float *eye)
{
    RenderContext *c = context();
    const IntroTimeline &t = g_intro_timeline;
    float p = t.progress;
    float view[16];
    const float origin[3] = {0.0f, 0.0f, 0.0f};
    render_set_view_matrix(c, mat4_look_at(view, eye, origin));
    render_set_projection(c);

    float m[16];
    mat4_identity(m);
    mat4_scale(m, 3.0f * p, 3.0f * p, 3.0f * p);
    mat4_translate(m, 0.0f, 0.0f, 25.0f);
    render_set_mode(5, c, 0);
    intro_draw_flare(m, p, p, p, p);  // behind the logo
    render_set_mode(6, c, 0);
    render_set_mode(1, c, 1);

    intro_scene_draw_part(s);

    draw_logo(r, 1.0f, 1.0f, 1.0f, 1.0f);  // solid
    mat4_identity(m);
    mat4_scale(m, 2.0f * p + 1.0f, 2.0f * p + 1.0f, 1.0f + 5.0f * p);
    render_mat4_multiply(m, m, r);
    if (rand() % 100 < 10) mat4_translate(m, float((rand() % 3) / 2), 0.0f, 0.0f);  // a jolt now and then
    render_set_mode(6, c, 18);
    draw_logo(m, p, 1.0f, 0.5f, 1.0f);  // glow
    mat4_identity(m);
    mat4_scale(m, 1.0f + 4.0f * p, 1.0f + 4.0f * p, 1.0f + 4.0f * p);
    render_mat4_multiply(m, m, r);
    draw_logo(m, 0.5f * p, 1.0f, 0.1f, 0.1f);  // halo

    intro_draw_bolts();
    draw_light_volume(r, p);

    mat4_identity(m);
    mat4_scale(m, 5.0f * p, 5.0f * p, 5.0f * p);
    mat4_translate(m, 0.0f, 0.0f, 0.5f);
    intro_draw_flare(m, p, p, p, 0.5f * p);  // in front of the logo
    render_set_mode(6, c, 0);

    if (t.turn <= 0.0f || t.skip) draw_fade(t.fade);
    render_set_mode(1, c, 1);
    render_end_frame(c);
    render_present_frame(c);
}

void report_end()
{
    if (g_over) return;
    g_over = true;
    app_trace("intro end steps %d", int(g_intro_timeline.steps));
}

}  // namespace

void intro_timeline_start(IntroTimeline *timeline) { *timeline = IntroTimeline{720.0f, 1.0f, 256.0f, 0, 0}; }

bool intro_timeline_skip(IntroTimeline *timeline)
{
    if (timeline->skip) return false;
    timeline->skip = 1;
    timeline->steps = 0;
    return true;
}

bool intro_timeline_step(IntroTimeline *timeline, float s)
{
    IntroTimeline &t = *timeline;
    t.steps++;
    bool fading = t.skip || t.turn <= 0.0f;
    if (t.turn > 0.0f) {
        t.turn = std::max(0.0f, t.turn - 5.0f * s);
        t.progress = std::max(0.0f, t.turn / 720.0f);
    }
    if (fading) {
        if (t.fade <= 0.0f) return true;
        t.fade = std::max(0.0f, t.fade - 4.0f * s);
    }
    return false;
}

int32_t intro_cull_off(void)
{
    int32_t mode = context()->mode_value[4];
    render_set_mode(4, context(), 5);
    return mode;
}

void intro_cull_restore(int32_t mode) { render_set_mode(4, context(), mode >= 0 ? mode : 1); }

void intro_draw_flare(const float *m, float r, float g, float b, float a)
{
    RenderObject *disc = g_intro_flare;
    if (!disc) return;
    RenderContext *c = context();
    render_object_lock_vertices(disc);
    render_vertex_set_color_argb(disc, 0, r, g, b, a);
    render_object_unlock_vertices(disc);
    render_set_world_matrix(c, m);
    render_set_mode(1, c, 0);
    render_set_mode(6, c, 18);
    texture_bind(c, kSlotWhite);
    int32_t cull = intro_cull_off();
    draw_object(disc);
    intro_cull_restore(cull);
}

void intro_load(void)
{
    app_trace("intro start");
    RenderContext *c = context();
    intro_timeline_start(&g_intro_timeline);
    g_frames = 0;
    g_over = false;
    g_saved_focal = c->focal, g_saved_near = c->near_plane, g_saved_far = c->far_plane;
    c->focal = float(c->width * 768 / 1024);

    intro_collect_logo_points();
    intro_logo_effect_setup();
    g_intro_logo_mesh = intro_build_logo_tubes();
    intro_random_points_init();
    g_current_mesh = g_intro_logo_mesh;

    load_parts();
    c->near_plane = 0.1f;
    c->far_plane = 5.0f;
    render_set_mode(7, c, 16);
    load_textures();

    render_object_init(&g_shadow_volume_object);
    g_shadow_volume_object.context = c;
    g_shadow_volume_object.device = c->device;
    render_build_shadow_volume_simple();
    if (g_shadow_volume_object.vertex_buffer) compile(&g_shadow_volume_object, kVolumeScript, "light volume");

    app_frame_clock_start();
    intro_lightning_init();
}

bool intro_frame(void)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    int64_t frequency = g_frame_counter_frequency > 0 ? g_frame_counter_frequency : 1;
    float s = float(double(now.QuadPart - g_frame_last_count) * 1000.0 / double(frequency) / 17.0 * 0.5);
    g_frame_last_count = now.QuadPart;
    if (++g_frames == 60) app_trace("intro frame 60");

    IntroTimeline &t = g_intro_timeline;
    float r[16];
    mat4_identity(r);
    mat4_rotate_euler_deg(r, 0.0f, t.turn, 0.0f);
    intro_bolts_update(r, s);

    if (!app_pump_one_message()) {
        // A quit (F12, the window closed) ends the intro at once; the game main then shuts down.
        g_quit = 1;
        report_end();
        return true;
    }
    if (g_key_down[27]) {
        g_key_down[27] = 0;
        if (intro_timeline_skip(&t)) app_trace("intro skip");
    }
    bool turning = t.turn > 0.0f;
    bool over = intro_timeline_step(&t, s);
    if (turning && t.turn <= 0.0f) app_trace("intro turned");
    if (over) report_end();
    float eye[3] = {0.0f, 0.0f, 3.0f * t.progress - 3.1f};

    RenderContext *c = context();
    if (!render_begin_frame(c)) return over;
    render_set_mode(1, c, 1);
    render_clear_frame(c);
    draw_scene(r, s, eye);
    return over;
}

void intro_free(void)
{
    RenderContext *c = context();
    // The device lets go of the last buffers and picture it drew with, so that they go with their owners.
    if (c->device) {
        c->device->SetStreamSource(0, nullptr, 0, 0);
        c->device->SetIndices(nullptr);
    }
    texture_bind(c, kRenderNoTexture);
    render_object_free(&g_shadow_volume_object);
    for (RenderObject *&part : g_parts) delete_object(part);
    for (MeshPtr &mesh : g_part_meshes) mesh.reset();
    delete_object(g_intro_flare);
    if (g_current_mesh == g_intro_logo_mesh) g_current_mesh = nullptr;
    mesh_delete(g_intro_logo_mesh);
    g_intro_logo_mesh = nullptr;
    list_free_logo_strokes();
    intro_lightning_free();
    for (int32_t &id : g_intro_texture) {
        if (id >= 0) texture_release_slot(&c->main_textures, id);
        id = -1;
    }
    c->focal = g_saved_focal, c->near_plane = g_saved_near, c->far_plane = g_saved_far;
    report_end();
}
