// One logic frame of a player's turn: camera, block under the ball, hole-out and water tests, the
// strike, the turning blades, the fixed physics steps with the rolling look, timers and plant sway.
// The play screen calls these between its drawing calls; the headless simulation calls them alone.
#include "course/course_local.h"
#include "course/hole.h"

#include "game/app.h"
#include "game/files.h"
#include "game/play_requests.h"
#include "geometry/mesh_edit.h"
#include "geometry/vecmath.h"
#include "script/config_main.h"

#include <cmath>
#include <cstring>

float g_camera_pivot[3] = {};
float g_camera_pitch = -35.0f;
float g_camera_distance = 5.0f;
int32_t g_camera_last_mouse_x = 0, g_camera_last_mouse_y = 0;

namespace {

// Names left out of the block search, the aim and the camera's turn.
bool decor_or_start(const char *name) { return hole_name_has(name, "DECOR") || hole_name_has(name, "START"); }

void store_strokes(PlayState *state)
{
    // The tables hold 128 holes: later holes are played but not stored.
    if (state->hole_index >= 0 && state->hole_index < kPlayMaxHoles) {
        int32_t *table = state->player == 0 ? g_hole_strokes_p1 : g_hole_strokes_p2;
        table[state->hole_index] = state->strokes;
    }
    state->hole_done = 1;
    if (state->player_count == 1 || state->player == 1) state->hole_index += 1;
}

// The ball back where its last stroke started.
void water_return(PlayState *state)
{
    RigidBody *body = state->ball.body;
    play_ball_reset(body);
    memcpy(body->position, state->stroke_start, sizeof body->position);
    state->block_history[0] = state->block_history[1] = -1;
    g_camera_yaw = float(state->yaw_at_stroke);
}

}  // namespace

void play_camera_update()
{
    if (g_mouse_right_down) {
        if (g_mouse_x != g_camera_last_mouse_x) g_camera_yaw -= float(g_mouse_x - g_camera_last_mouse_x) * 0.35f;
        if (g_mouse_y != g_camera_last_mouse_y) g_camera_pitch += float(g_mouse_y - g_camera_last_mouse_y) * 0.35f;
    }
    g_camera_last_mouse_x = g_mouse_x;
    g_camera_last_mouse_y = g_mouse_y;
    g_camera_distance += float(g_wheel_delta) * 0.5f;
    if (g_camera_distance < 1.6f)
        g_camera_distance = 1.6f;
    else if (g_camera_distance > 10.0f)
        g_camera_distance = 10.0f;
    if (g_camera_pitch > -20.0f)
        g_camera_pitch = -20.0f;
    else if (g_camera_pitch < -65.0f)
        g_camera_pitch = -65.0f;
    const float phi = g_camera_yaw * 3.1415927f * 0.0055555557f, theta = g_camera_pitch * 3.1415927f * 0.0055555557f;
    const float cp = cosf(phi), sp = sinf(phi), ct = cosf(theta), st = sinf(theta);
    g_camera_target[0] = g_camera_pivot[0] - ct * cp;
    g_camera_target[1] = g_camera_pivot[1];
    g_camera_target[2] = g_camera_pivot[2] - sp * ct;
    g_camera_eye[0] = g_camera_target[0] + cp * ct * g_camera_distance;
    g_camera_eye[1] = g_camera_target[1] + st * g_camera_distance;
    g_camera_eye[2] = g_camera_target[2] + sp * ct * g_camera_distance;
}

void play_find_block_under_ball(PlayState *state)
{
    const SceneWorld *world = play_world(state);
    const float *p = state->ball.body->position;
    const float p0[3] = {p[0], p[1] - 1.0f, p[2]}, p1[3] = {p[0], p[1] + 1.0f, p[2]};
    state->block = state->block_face = state->block_material = -1;
    float best = 1000.0f;
    for (int32_t i = kPlayFirstHoleObject; i < world->object_count; i++) {
        MeshObject *o = world->objects[i];
        if (!o || o->rotating || decor_or_start(o->name)) continue;
        const float *b = o->bounds;
        if (!(b[0] < p[0] && p[0] < b[1] && b[4] < p[2] && p[2] < b[5] && p[1] < b[3] + 0.1f)) continue;
        // The topmost object wins, by the centre of its world box.
        const float centre_y = 0.5f * (b[2] + b[3]);
        for (int32_t f = 0; f < o->face_count; f++) {
            if (!(o->faces[f].normal[1] > 0.0f) || !mesh_face_segment_hit(o, f, p0, p1)) continue;
            if (centre_y < best) {
                best = centre_y;
                state->block = i;
                state->block_face = f;
                state->block_material = o->faces[f].material;
            }
        }
    }
}

void play_update_history_and_turn(PlayState *state)
{
    const SceneWorld *world = play_world(state);
    const RigidBody *body = state->ball.body;
    const int32_t block = state->block;
    // A moved cursor or a pressed button cancels the turn.
    const bool touched =
        g_mouse_x != state->last_mouse_x || g_mouse_y != state->last_mouse_y || g_mouse_left_down || g_mouse_right_down;
    state->last_mouse_x = g_mouse_x;
    state->last_mouse_y = g_mouse_y;
    if (block < 0) return;
    g_current_block = block;
    if (!body->asleep) state->auto_turn_done = 0;
    if (touched) state->auto_turn_done = 1;
    const ObjectLinks *links = world->links[block];
    float mx = 0.0f, mz = 0.0f;
    int32_t n = 0;
    for (int32_t k = 0; links && k < links->count && k < SCENE_MAX_LINKS; k++) {
        const int32_t j = links->index[k];
        const MeshObject *o = play_object(world, j);
        if (!o || decor_or_start(o->name)) continue;
        bool seen = false;
        for (int32_t h : state->block_history) seen |= h == j;
        if (seen) continue;
        mx += 0.5f * (o->bounds[0] + o->bounds[1]);
        mz += 0.5f * (o->bounds[4] + o->bounds[5]);
        n++;
    }
    if (n > 0) {
        float vx = body->position[0] - mx / float(n), vz = body->position[2] - mz / float(n);
        const float len = sqrtf(vx * vx + vz * vz);
        if (len > 0.0f) {
            vx /= len;
            vz /= len;
        }
        const float angle = play_yaw_of(vx, vz);
        const int32_t gap = int32_t(g_camera_yaw - angle);
        if (gap >= 180)
            g_camera_yaw -= 360.0f;
        else if (gap <= -180)
            g_camera_yaw += 360.0f;
        if (fabsf(g_camera_yaw - angle) < 3.0f) state->auto_turn_done = 1;
        if (body->asleep && !state->auto_turn_done) {
            g_camera_yaw = (7.0f * g_camera_yaw + angle) / 8.0f;
            if (g_camera_yaw < 0.0f)
                g_camera_yaw += 360.0f;
            else if (g_camera_yaw >= 360.0f)
                g_camera_yaw -= 360.0f;
        }
    }
    if (block != state->block_history[0]) {
        memmove(state->block_history + 1, state->block_history, 3 * sizeof(int32_t));
        state->block_history[0] = block;
    }
}

void play_run_tests(PlayState *state, float factor)
{
    const SceneWorld *world = play_world(state);
    RigidBody *body = state->ball.body;
    const int32_t block = state->block;
    if (block < 0) {
        if (body->position[1] + 0.1f > 0.0f) {
            play_sound(kSoundJingleLost, 0);
            water_return(state);
            state->events |= kPlayEventOutOfCourse;
        }
        return;
    }
    const MeshObject *o = play_object(world, block);
    if (!o || !(body->position[1] + 0.2f > o->bounds[3])) return;
    if (state->block_material == g_material_sol && body->asleep && state->holeout_timer == 0) {
        state->holeout_timer = 150;
        state->events |= kPlayEventHoled;
        if (state->strokes > state->par) {
            play_sound(kSoundJingleLost, 0);
            play_ball_reset(body);
            return;
        }
        if (g_option_replay) play_replay_begin(state, factor);
        play_ball_reset(body);
        play_sound(kSoundJingleEnd, 0);
    } else if (state->block_material == g_material_eau) {
        play_sound(kSoundPlouf, 0);
        play_sound(kSoundJingleLost, 0);
        water_return(state);
        state->events |= kPlayEventWater;
    }
}

void play_charge_and_strike(PlayState *state, float factor)
{
    RigidBody *body = state->ball.body;
    if (!body->asleep || state->holeout_timer || state->end_timer || state->replaying || options_open) return;
    if (g_mouse_left_down == 1) {
        if (state->power < 0.0f) {
            state->power = 0.2f;
            state->yaw_at_stroke = int32_t(g_camera_yaw);
        } else if (state->power > 0.0f && state->power < 15.0f) {
            state->power += factor * 0.2f;
        }
        return;
    }
    if (g_mouse_left_down != 0 || !(state->power > 0.0f)) return;
    float d[3];
    vec3_sub(d, g_camera_target, g_camera_eye);
    const float len = vec3_length(d), power = state->power;
    // The vertical part is dropped after normalising: a steeper camera strikes softer.
    if (len > 0.0f)
        vec3_set(body->velocity, d[0] * power / len, 0.0f, d[2] * power / len);
    else
        vec3_set(body->velocity, d[0] * power, 0.0f, d[2] * power);
    body->asleep = 0;
    body->wake_timer = 1;
    if (state->strokes == 0) {
        list_clear(&state->replay_list);
        ReplayFrame first = {0,
                             0.0f,
                             {body->position[0], body->position[1], body->position[2]},
                             {body->quaternion[0], body->quaternion[1], body->quaternion[2], body->quaternion[3]}};
        list_append_value9(&state->replay_list, first);
        state->replay_time = 0.0f;
    }
    state->strokes += 1;
    state->power = -1.0f;
    memcpy(state->stroke_start, body->position, sizeof state->stroke_start);
    state->events |= kPlayEventStroke;
    play_sound(kSoundHit, 0);
    if (state->strokes == state->par + 1) play_sound(kSoundJingle, 0);
}

void play_turn_pales(PlayState *state)
{
    SceneWorld *world = play_world(state);
    int32_t k = 0, copy = 0;
    for (int32_t i = 0; i < world->object_count; i++) {
        MeshObject *o = world->objects[i];
        if (!o || !o->rotating) continue;
        const float angle = 0.25f * (180.0f * float(k)) + state->pales_time;
        float *m = o->matrix;
        mat4_identity(m);
        mat4_translate(m, -o->centre[0], -o->centre[1], -o->centre[2]);
        mat4_translate(m, 0.15f, 0.0f, 0.0f);
        mat4_rotate_euler_deg(m, angle, 0.0f, 0.0f);
        mat4_translate(m, o->centre[0], o->centre[1], o->centre[2]);
        mat4_rotate_euler_deg(m, o->rotation[0], o->rotation[1], o->rotation[2]);
        mat4_translate(m, o->position[0], o->position[1], o->position[2]);
        if (copy < state->pales_count && state->pales_slots[copy] && state->pales_copies[copy]) {
            memcpy(state->pales_slots[copy]->matrix, m, 16 * sizeof(float));
            state->pales_slots[copy]->use_matrix = 1;
            state->pales_copies[copy]->moved = 1;  // a turning blade wakes a resting ball
            copy++;
        }
        k++;
    }
}

namespace {

// The rolling look after one physics step: the ball turned about the horizontal axis across its
// motion by a step's worth. Done per step, not per frame: the ball's sphere is its collision
// mesh, so a frame's worth at once made a stroke end elsewhere at another frame rate.
void roll_ball(RigidBody *body)
{
    const float *v = body->velocity;
    if (!(vec3_length(v) > 0.85f * (2.0f * g_physics_rest_speed))) return;
    const float k = -0.31f * 0.035f;  // a step is a frame factor of 1
    const float axis[3] = {v[2] * k * 0.1f, 0.0f, -v[0] * k * 0.1f};
    float turned[3], dq[4];
    mat4_transform_vector(turned, body->world_inverse_inertia, axis);
    float *q = body->quaternion;
    physics_quat_multiply_vector(dq, turned[0], turned[1], turned[2], q[0], q[1], q[2], q[3]);
    float sum = 0.0f;
    for (int c = 0; c < 4; c++) {
        q[c] += 0.5f * dq[c];
        sum += q[c] * q[c];
    }
    const float norm = sqrtf(sum);
    if (norm > 0.0f)
        for (int c = 0; c < 4; c++) q[c] /= norm;
}

}  // namespace

void play_advance_physics(PlayState *state, float factor)
{
    RigidBody *body = state->ball.body;
    PhysicsWorld *physics = play_physics(state);
    if (!body->asleep) play_replay_record(state, factor);
    state->physics_accumulator += factor;
    while (state->physics_accumulator > 1.0f) {
        if (vec3_length(body->velocity) < 3.0f * (2.0f * g_physics_rest_speed)) {
            vec3_scale(body->angular_velocity, body->angular_velocity, 0.9f);
            vec3_scale(body->velocity, body->velocity, 0.9f);
        }
        physics->frame_time = 0.035f;
        physics_world_step(physics);
        for (CollisionEventNode *e = physics->events.first; e; e = e->next) {
            if (e->value.normal_speed < -2.0f) {
                play_sound(kSoundTok, 0);
                break;
            }
        }
        roll_ball(body);
        state->physics_accumulator -= 1.0f;
    }
    if (state->strokes == 0) state->replay_time = 0.0f;
}

void play_run_timers(PlayState *state)
{
    if (state->holeout_timer > 0 && !state->replaying) {
        state->holeout_timer -= 1;
        if (state->holeout_timer == 0) store_strokes(state);
    }
    if (state->end_timer > 0) {
        state->end_timer -= 1;
        if (state->end_timer == 0) store_strokes(state);
    }
    if (state->banner_timer > 0) state->banner_timer -= 1;
}

void play_sway_vegetals(PlayState *state, float factor)
{
    SceneWorld *world = play_world(state);
    for (int32_t i = 0; i < world->vegetal_count && i < SCENE_MAX_VEGETALS; i++) {
        float &phase = g_vegetal_sway_phase[i];
        phase += factor * 0.0025f;
        const float sway[3] = {4.0f * sinf(1.5f * phase), 3.0f * sinf(-2.5f * phase), 5.0f * sinf(3.5f * phase)};
        for (VegetalObject &object : world->vegetal_slots[i]) memcpy(object.sway, sway, sizeof sway);
    }
}

uint32_t play_frame_logic(PlayState *state, float factor)
{
    state->events = 0;
    memcpy(g_camera_pivot, state->ball.body->position, sizeof g_camera_pivot);
    play_camera_update();
    play_find_block_under_ball(state);
    play_update_history_and_turn(state);
    play_run_tests(state, factor);
    play_charge_and_strike(state, factor);
    play_run_timers(state);
    play_turn_pales(state);
    if (state->replaying)
        play_replay_step(state, factor);
    else
        play_advance_physics(state, factor);
    play_sway_vegetals(state, factor);
    state->pales_time += factor * 0.25f;
    return state->events;
}

// ---- headless play ---------------------------------------------------------------------------------

int play_sim_open(PlayState *state, const char *plain_path)
{
    SceneWorld *world = play_world(state);
    play_teardown_hole(state);
    world_release_and_reset(world);
    scene_load(world, plain_path,
               kSceneLoadKeepBuffers | kSceneLoadKeepColours | kSceneLoadTile16 | kSceneLoadKeepLightVector);
    if (hole_upgrade_old_materials(world) < 0 || !play_hole_is_playable(world)) return 0;
    if (!state->ball.body && !play_ball_create(&state->ball)) return 0;
    return play_setup_hole_collision(state);
}

int play_sim_strike(PlayState *state, float yaw, float pitch, float power)
{
    g_camera_yaw = yaw;
    g_camera_pitch = pitch;
    memcpy(g_camera_pivot, state->ball.body->position, sizeof g_camera_pivot);
    const int32_t right = g_mouse_right_down, wheel = g_wheel_delta;
    g_mouse_right_down = 0;
    g_wheel_delta = 0;
    play_camera_update();
    g_mouse_right_down = right;
    g_wheel_delta = wheel;
    const int32_t held = g_mouse_left_down;
    g_mouse_left_down = 1;
    play_charge_and_strike(state, 0.0f);
    const bool charging = state->power > 0.0f;
    if (charging) state->power = power;
    g_mouse_left_down = 0;
    play_charge_and_strike(state, 0.0f);
    g_mouse_left_down = held;
    return charging;
}

void play_sim_place_ball(PlayState *state, float x, float y, float z)
{
    RigidBody *body = state->ball.body;
    body_reset_motion(body);
    play_ball_reset(body);
    vec3_set(body->position, x, y, z);
    memcpy(body->saved_position, body->position, sizeof body->position);
    memcpy(state->stroke_start, body->position, sizeof state->stroke_start);
}
