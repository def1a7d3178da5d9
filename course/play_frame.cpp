// One player's turn on one hole, frame by frame: a message, the ambience, the hole drawn from the
// play camera with the ball, its light and shadows, then the simulation's logic between the
// drawing steps (block under the ball, camera turn, hole-out and water, the aim line and strike,
// the head-up layer and timers, the turning blades, the physics or the replay), and the frame
// shown. Trace lines on the game's trace switch follow what happens.
#include "course/play_screen_local.h"

#include "course/hole.h"
#include "course/hole_view.h"
#include "game/app.h"
#include "game/files.h"
#include "game/menu_pictures.h"
#include "game/play_requests.h"
#include "game/screen.h"
#include "game/widgets.h"
#include "geometry/mesh_edit.h"
#include "geometry/vecmath.h"
#include "render/render_draw.h"
#include "render/texture.h"
#include "scene/scene.h"
#include "script/config_main.h"
#include "sound/music.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

void (*g_play_frame_hook)(PlayState *state) = nullptr;

namespace {

constexpr int32_t kKeyEscape = 27;
constexpr int32_t kKeyF9 = 120;
// A frame that took longer than a second (a stall, a dragged window) counts as one second: the
// physics then runs 60 steps, not thousands.
constexpr float kMaxFrameFactor = 60.0f;
constexpr int32_t kProbeColumns = 12, kProbeRows = 8;

bool hidden_from_aim(const MeshObject *o)
{
    return o->rotating || hole_name_has(o->name, "DECOR") || hole_name_has(o->name, "START");
}

void ambient_sounds()
{
    if (!g_sound_card_on || !g_sound_effects_on) return;
    if (rand() % 1000 > 998) play_sound(kSoundWind, 0);
    if (rand() % 1000 > 998) play_sound(kSoundBird1, 0);
    if (rand() % 1000 > 998) play_sound(kSoundBird2, 0);
    if (rand() % 1000 > 997) play_sound(kSoundCrickets, 0);
}

// The renderer's dynamic object, filled by a shadow build, drawn with depth bias.
void draw_dynamic_object(RenderContext *c)
{
    RenderObject *object = c->dynamic_object ? c->dynamic_object : &c->embedded_objects[0];
    if (object->indices_in_use <= 0) return;
    render_set_current_object(c, object);
    render_set_mode(11, c, 4);
    render_draw_current_object(c);
    render_set_mode(11, c, 0);
}

// A caster's shadow on the two receivers (other faces, then grass when it has faces).
void cast_shadow(PlayState *s, RenderContext *c, MeshObject *caster)
{
    for (int32_t k = 0; k < 2; k++) {
        if (!s->shadow_meshes[k]) continue;
        mesh_build_projected_decal_editor(caster, c, &s->shadow_slots[k]);
        draw_dynamic_object(c);
    }
}

// The ambient light, the decal light above the ball, the shadows of the ball and of the turning
// blades, and the sun on the ball unless something stands between them.
void lights_and_shadows(PlayState *s, RenderContext *c)
{
    SceneWorld *world = play_world(s);
    const float *p = s->ball.body->position, *sun = world->light_vector;
    const float *ambient = world->ambient_colour;
    static const float white[3] = {1.0f, 1.0f, 1.0f};
    if (g_option_hole_variant) ambient = white;
    light_set_ambient(c, ambient[0], ambient[1], ambient[2]);
    const float *colour = world->light_colour;
    light_set_point(c, 1, p[0] - 50.0f * sun[0], p[1] - 50.0f * sun[1], p[2] - 50.0f * sun[2], colour[0], colour[1],
                    colour[2], 0.0f, 1000.0f);

    MeshObject *ball = s->ball.drawn;
    if (ball) {
        memcpy(ball->position, p, sizeof ball->position);
        memset(ball->rotation, 0, sizeof ball->rotation);
        render_set_dynamic_object(c, nullptr);
        cast_shadow(s, c, ball);
    }
    for (int32_t i = 0; i < world->object_count; i++) {
        MeshObject *o = world->objects[i];
        if (!o || !o->rotating) continue;
        // Cast as it turns now: its drawn matrix, the rotation without the translation.
        const uint32_t flags = o->flags;
        mat4_copy(o->rotation_matrix, o->matrix);
        o->rotation_matrix[12] = o->rotation_matrix[13] = o->rotation_matrix[14] = 0.0f;
        o->flags = (flags & ~uint32_t(kMeshFlagBodyMatrices)) | kMeshFlagStoredMatrices;
        cast_shadow(s, c, o);
        o->flags = flags;
    }

    light_set_directional(c, SCENE_SUN_SLOT, sun[0], sun[1], sun[2], colour[0], colour[1], colour[2]);
    bool lit = bsp_point_inside_solids(&world->light_bsp, p) != 0;
    for (int32_t j = 0; lit && j < world->vegetal_count && j < SCENE_MAX_VEGETALS; j++)
        if (hole_point_in_object_shadow(j, p[0], p[1], p[2])) lit = false;
    if (lit)
        light_enable(c, SCENE_SUN_SLOT);
    else
        light_send_disabled(c, SCENE_SUN_SLOT);
}

// The ball and the turning blades under their matrices.
void draw_ball_and_blades(PlayState *s, RenderContext *c, const float *ball_matrix)
{
    if (s->ball.drawn_render) {
        texture_bind(c, kSlotBall);
        render_set_world_matrix(c, ball_matrix);
        render_set_current_object(c, s->ball.drawn_render);
        render_draw_current_object(c);
    }
    SceneWorld *world = play_world(s);
    hole_view_haze(true);  // blades far off fade as the rest of the hole
    for (int32_t i = 0; i < world->object_count; i++) {
        MeshObject *o = world->objects[i];
        if (!o || !o->rotating || !world->play_render_objects[i]) continue;
        render_set_world_matrix(c, o->matrix);
        render_set_current_object(c, world->play_render_objects[i]);
        render_draw_current_object(c);
    }
    hole_view_haze(false);
    float identity[16];
    render_set_world_matrix(c, mat4_identity(identity));
}

// The strike's horizontal direction (camera target minus eye, y dropped), false when vertical.
bool strike_direction(float *u)
{
    u[0] = g_camera_target[0] - g_camera_eye[0];
    u[1] = 0.0f;
    u[2] = g_camera_target[2] - g_camera_eye[2];
    const float length = sqrtf(u[0] * u[0] + u[2] * u[2]);
    if (!(length > 0.0f)) return false;
    u[0] /= length;
    u[2] /= length;
    return true;
}

// The dashed line from the ball along the strike, to the first thing it meets within 50.
void draw_aim_line(PlayState *s, RenderContext *c)
{
    float u[3];
    if (!strike_direction(u)) return;
    SceneWorld *world = play_world(s);
    const float *ball = s->ball.body->position;
    float end[3] = {ball[0] + 50.0f * u[0], ball[1], ball[2] + 50.0f * u[2]};
    const float far_end[3] = {end[0], end[1], end[2]};
    float nearest = INFINITY;
    for (int32_t i = kPlayFirstHoleObject; i < world->object_count; i++) {
        MeshObject *o = world->objects[i];
        if (!o || hidden_from_aim(o) || !mesh_segment_hit(o, ball, far_end)) continue;
        if (o->hit_distance < nearest) {
            nearest = o->hit_distance;
            memcpy(end, o->hit_point, sizeof end);
        }
    }
    float d[3];
    vec3_sub(d, end, ball);
    const int32_t pieces = int32_t(10.0f * vec3_length(d));
    texture_bind(c, kSlotWhite);
    for (int32_t k = 0; k < pieces; k += 2) {
        float a[3], b[3];
        for (int q = 0; q < 3; q++) {
            a[q] = ball[q] + d[q] * float(k) / float(pieces);
            b[q] = ball[q] + d[q] * float(k + 1) / float(pieces);
        }
        render_draw_3d_line(c, a, b);
    }
}

// A flat arrow under the ball: a small marker while aiming, growing with the power while charging.
void draw_strike_arrow(PlayState *s, RenderContext *c)
{
    float u[3];
    if (!strike_direction(u)) return;
    const float p[3] = {-u[2], 0.0f, u[0]};
    const float *ball = s->ball.body->position;
    const float y = ball[1] + 0.09f;  // just above the ground under the ball
    const float back = s->power > 0.0f ? 0.0f : -0.2f, front = s->power > 0.0f ? 0.25f * s->power : 0.2f;
    float corners[4][3];
    const float along[4] = {front, front, back, back}, across[4] = {-0.2f, 0.2f, 0.2f, -0.2f};
    for (int k = 0; k < 4; k++) {
        corners[k][0] = ball[0] + along[k] * u[0] + across[k] * p[0];
        corners[k][1] = y;
        corners[k][2] = ball[2] + along[k] * u[2] + across[k] * p[2];
    }
    texture_bind(c, kSlotUp);
    render_draw_3d_quad(c, corners, 1.0f, 1.0f, 1.0f, 1.0f);
}

// On a hole's first frame: the points of a coarse screen grid whose view ray first meets a GROUND
// tile, the grass top of a block, or nothing at all (the tests read the picture there).
void trace_view_probes(PlayState *s, RenderContext *c)
{
    SceneWorld *world = play_world(s);
    // The horizon line's pixel row (outside 0..height when it is off the screen).
    app_trace("view horizon %d", int(std::lround((1.0f - hole_view_horizon_y()) * 0.5f * float(c->height))));
    for (int32_t row = 0; row < kProbeRows; row++) {
        for (int32_t column = 0; column < kProbeColumns; column++) {
            const int32_t x = (2 * column + 1) * c->width / (2 * kProbeColumns);
            // Rows from the top edge down, so that the sky above the horizon has its points.
            const int32_t y = row * c->height / kProbeRows + 2;
            // The point at view depth 1, then the ray from the eye through it as far as the view goes.
            float far_point[3], ray[3];
            render_unproject_point(float(x), float(y), far_point);
            vec3_sub(ray, far_point, g_camera_eye);
            const float length = vec3_length(ray);
            if (!(length > 0.0f)) continue;
            for (int k = 0; k < 3; k++) far_point[k] = g_camera_eye[k] + ray[k] * (c->far_plane / length);
            float nearest = INFINITY;
            const MeshObject *hit = nullptr;
            int32_t face = -1;
            for (int32_t i = 0; i < world->object_count; i++) {
                MeshObject *o = world->objects[i];
                if (!o || !mesh_segment_hit(o, g_camera_eye, far_point) || !(o->hit_distance < nearest)) continue;
                nearest = o->hit_distance;
                hit = o;
                face = o->hit_face;
            }
            const char *kind = nullptr;
            if (!hit) {
                kind = "sky";
            } else if (hole_name_has(hit->name, "GROUND")) {
                kind = "ground";
            } else if (hole_name_has(hit->name, "BLOC") && face >= 0 && face < hit->face_count &&
                       hit->faces[face].material == g_material_herbe && hit->faces[face].normal[1] > 0.0f) {
                kind = "top";
            }
            if (kind) app_trace("view probe %s %d %d", kind, x, y);
        }
    }
}

void trace_rest(PlayState *s)
{
    play_find_block_under_ball(s);
    const float *p = s->ball.body->position;
    const MeshObject *block = play_object(play_world(s), s->block);
    app_trace("ball rest %.3f %.3f %.3f block %s material %d", p[0], p[1], p[2], block ? block->name : "none",
              int(s->block_material));
}

void trace_events(const PlayState *s)
{
    if (s->events & kPlayEventHoled) app_trace("holeout %d", s->strokes);
    if (s->events & kPlayEventWater) app_trace("water");
    if (s->events & kPlayEventOutOfCourse) app_trace("out of course");
}

float finite_factor(double factor)
{
    if (!(factor >= 0.0)) return 0.0f;  // NaN too
    return factor > kMaxFrameFactor ? kMaxFrameFactor : float(factor);
}

// A frame between its message and its clock: the drawing, the logic between it, the frame shown.
// `rested`: the ball lay asleep when the frame began (a listed stroke waits for that).
void frame_body(PlayRun *run, RenderContext *c, int32_t frame, bool rested)
{
    PlayState *s = &run->state;
    RigidBody *body = s->ball.body;
    const float factor = g_frame_factor;

    float ball_matrix[16];
    body_world_matrix(body, ball_matrix);
    memcpy(g_camera_pivot, body->position, sizeof g_camera_pivot);
    render_clear_frame(c);
    light_enable(c, SCENE_SUN_SLOT);
    play_camera_update_and_draw(0);  // the hole but what hides the ball
    lights_and_shadows(s, c);

    play_find_block_under_ball(s);
    draw_ball_and_blades(s, c, ball_matrix);
    // The sun's switch was the ball's alone: the hole goes on under the sun.
    light_enable(c, SCENE_SUN_SLOT);
    play_camera_update_and_draw(1);  // what hides the ball, see-through
    hole_view_draw_sun_glare();
    if (frame == 1 && app_trace_on()) trace_view_probes(s, c);
    render_set_mode(1, c, 0);
    render_set_mode(6, c, 1);

    play_update_history_and_turn(s);
    play_run_tests(s, factor);
    trace_events(s);

    if (g_key_down[kKeyF9]) {
        g_key_down[kKeyF9] = 0;
        char base[FOLDER_PATH_MAX + 16];
        snprintf(base, sizeof base, "%sscreenshot", g_folder_captures);
        render_save_screenshot_tga(c, base);
    }

    // The aim line and the arrow lie in the hole: the ball and the blocks hide what is behind them.
    const bool aiming = body->asleep && s->holeout_timer == 0;
    render_set_mode(1, c, 1);
    if (g_option_aim_line && aiming && s->end_timer == 0) draw_aim_line(s, c);
    if (aiming) draw_strike_arrow(s, c);
    render_set_mode(1, c, 0);
    const int32_t hovered = play_hud_side_buttons(s);
    // A press on a side button or on the confirmation box is theirs: it starts no charge.
    const bool press_taken = s->power < 0.0f && (hovered != 0 || leave_requested || restart_requested);
    PlayListedStroke listed;
    if (rested && play_waits_for_shot(s) && play_strokes_take(play_listed_strokes(), &listed)) {
        play_sim_strike(s, listed.yaw, listed.pitch, listed.power);
        if (s->events & kPlayEventStroke)
            app_trace("stroke %d power %.2f yaw %d pitch %d listed", s->strokes, double(listed.power),
                      s->yaw_at_stroke, int(g_camera_pitch));
    } else if (!press_taken) {
        const float power = s->power;
        play_charge_and_strike(s, factor);
        if (s->events & kPlayEventStroke)
            app_trace("stroke %d power %.2f yaw %d", s->strokes, double(power), s->yaw_at_stroke);
    }
    play_hud_act(s, hovered);
    play_hud_draw(s);
    play_hud_timers(s, run->set_name);
    if (s->hole_done == 1) app_trace("hole done %d player %d strokes %d", run->turn_hole, s->player + 1, s->strokes);

    play_turn_pales(s);
    if (s->replaying)
        play_replay_step(s, factor);
    else
        play_advance_physics(s, factor);

    play_sway_vegetals(s, factor);
    s->pales_time += factor * 0.25f;
    ui_pointer_draw();
    render_end_frame(c);
    render_present_frame(c);
}

}  // namespace

void play_run_turn(PlayRun *run)
{
    PlayState *s = &run->state;
    RenderContext *c = &g_render_context;
    int32_t drawn = 0;
    while (!s->hole_done) {
        if (g_sound_card_on) music_set_fade_mode(g_music_on ? 4 : 3);
        if (!app_pump_one_message()) {  // WM_QUIT: the hole and the course end here
            g_quit = 1;
            break;
        }
        ambient_sounds();
        s->events = 0;
        const bool was_asleep = s->ball.body->asleep != 0;
        if (render_begin_frame(c)) {
            frame_body(run, c, ++drawn, was_asleep);
            if (drawn == 1) app_trace("hole frame 1");
            if (!was_asleep && s->ball.body->asleep && app_trace_on()) trace_rest(s);
        }
        if (g_play_frame_hook) g_play_frame_hook(s);
        g_frame_factor = finite_factor(app_frame_factor());
        if (g_key_down[kKeyEscape]) {
            g_key_down[kKeyEscape] = 0;
            leave_requested = 1;
        }
    }
}
