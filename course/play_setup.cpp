// One player's set-up on an opened hole: the ball, the collision meshes sorted by face material,
// the turning blades' colliders, the ball on its START, and the teardown after the turn.
#include "course/course_local.h"

#include "game/files.h"
#include "game/play_requests.h"
#include "geometry/mesh_edit.h"
#include "geometry/vecmath.h"
#include "platform/system.h"
#include "render/render.h"
#include "script/config_main.h"
#include "sound/sound.h"

#include <cmath>
#include <cstdio>
#include <cstring>

int32_t g_hole_strokes_p1[kPlayMaxHoles];
int32_t g_hole_strokes_p2[kPlayMaxHoles];
int32_t g_hole_par_table[kPlayMaxHoles];
float g_camera_yaw = 0.0f;
int32_t g_current_block = -1;
float g_camera_eye[3] = {};
float g_camera_target[3] = {};
float g_vegetal_sway_phase[256];

namespace {

constexpr float kPi = 3.14159265f;

// Face tags of the material sorting.
enum : int32_t { kTagOther = 0, kTagSand = 1, kTagGrass = 2, kTagWater = 3 };

// The turf of the START pads rolls as grass. Its material byte is its texture id 1 above the two
// blending bits (a byte of 1 would draw it alpha-blended).
constexpr int32_t kTurfMaterial = 1 << 2;

// ---- material sorting --------------------------------------------------------------------------

int32_t material_tag(int32_t material, bool *sand)
{
    if (material == g_material_sable) {
        *sand = true;
        return kTagSand;
    }
    if (material == g_material_herbe || material == kTurfMaterial) return kTagGrass;
    if (material == g_material_eau) return kTagWater;
    return kTagOther;
}

// The faces of one tag of the world-space copy, appended to the scratch.
void append_tagged(MeshScratch *scratch, const MeshObject *copy, int32_t tag)
{
    MeshObject *part = mesh_extract_tagged_faces(copy, tag);
    if (!part) return;
    if (part->face_count > 0) {
        mesh_update_world_transform(part);
        mesh_scratch_append_object(scratch, part);
    }
    mesh_delete(part);
}

// Objects that take part in the collision: not GROUND, DECOR or END unless a DECORBLOC.
bool collides(const MeshObject *o)
{
    if (hole_name_has(o->name, "DECORBLOC")) return true;
    return !hole_name_has(o->name, "DECOR") && !hole_name_has(o->name, "GROUND") && !hole_name_has(o->name, "END");
}

void sort_faces(PlayState *state, MeshScratch *all, MeshScratch *other, MeshScratch *grass, MeshScratch *sand)
{
    SceneWorld *world = play_world(state);
    for (int32_t i = kPlayFirstHoleObject; i < world->object_count; i++) {
        const MeshObject *o = world->objects[i];
        if (!o || hole_name_has(o->name, "PALES") || !collides(o)) continue;
        MeshObject *copy = mesh_inverted_copy(o);
        if (!copy) continue;
        mesh_update_world_transform(copy);
        mesh_scratch_append_object(all, copy);
        bool object_sand = false;
        for (int32_t f = 0; f < copy->face_count; f++)
            copy->faces[f].tag = material_tag(copy->faces[f].material, &object_sand);
        append_tagged(other, copy, kTagOther);
        append_tagged(grass, copy, kTagGrass);
        if (object_sand) {
            append_tagged(sand, copy, kTagSand);
            state->has_sand = 1;
        }
        mesh_delete(copy);
    }
}

// A prepared physics mesh from the scratch, in world space already; null when empty.
MeshObject *physics_mesh(const MeshScratch *scratch)
{
    if (scratch->face_count == 0) return nullptr;
    MeshObject *mesh = mesh_from_scratch(scratch);
    if (!mesh) return nullptr;
    mesh_compute_normals(mesh);
    memset(mesh->position, 0, sizeof mesh->position);
    memset(mesh->rotation, 0, sizeof mesh->rotation);
    mesh_update_world_transform(mesh);
    physics_prepare_mesh_faces(mesh);
    mesh->moved = 0;
    return mesh;
}

// The turning blades: rotating flag and centre, their render objects rebuilt (faces untagged,
// built inverted); every other object's flag cleared.
void mark_pales(SceneWorld *world)
{
    for (int32_t i = 0; i < world->object_count; i++) {
        MeshObject *o = world->objects[i];
        if (!o) continue;
        o->rotating = hole_name_has(o->name, "PALES");
        if (!o->rotating) continue;
        mesh_center(o);
        if (!g_render_context.device) continue;
        for (int32_t f = 0; f < o->face_count; f++) {
            o->faces[f].tag = 0;
            o->faces[f].build_flag = 0;
        }
        mesh_invert_in_place(o);
        RenderObject *built = render_build_mesh_render_objects(&g_render_context, o, kCoursePalesBuildFlags, nullptr);
        mesh_invert_in_place(o);
        if (built) scene_set_render_object(world, i, built);
    }
}

// The ball shadow's two receivers over every colliding face: grass, and the rest.
void build_shadow_receivers(PlayState *state, const MeshScratch *all)
{
    if (all->face_count == 0) return;
    MeshObject *mesh = mesh_from_scratch(all);
    if (!mesh) return;
    mesh_compute_normals(mesh);
    for (int32_t f = 0; f < mesh->face_count; f++) mesh->faces[f].tag = mesh->faces[f].material == g_material_herbe;
    for (int k = 0; k < 2; k++) {
        MeshObject *part = mesh_extract_tagged_faces(mesh, k);
        ColliderSlot *slot = &state->shadow_slots[k];
        if (part && part->face_count > 0 && physics_collider_init_with_vertices(part, slot, 15)) {
            world_transform_init_identity(slot->matrix);
            slot->use_matrix = 1;
            state->shadow_meshes[k] = part;
        } else {
            mesh_delete(part);
        }
    }
    mesh_delete(mesh);
}

void add_material_colliders(PlayState *state)
{
    PhysicsWorld *physics = play_physics(state);
    struct {
        MeshObject *mesh;
        int32_t restitution, friction, parameter;
    } order[3] = {
        {state->grass_mesh, g_setting_restitution_sol, g_setting_frottement_sol, 16},
        {state->other_mesh, g_setting_restitution_normal, g_setting_frottement_normal, 16},
        {state->sand_mesh, g_setting_restitution_sable, g_setting_frottement_sable, 8},
    };
    for (auto &c : order) {
        if (!c.mesh) continue;
        if (physics_add_static_mesh(physics, c.mesh, float(c.restitution) * 0.001f, float(c.friction) * 0.001f,
                                    c.parameter))
            state->material_colliders++;
    }
}

// Colliding copies of the turning blades, as many as the slots left by the material meshes.
void add_pales_colliders(PlayState *state)
{
    SceneWorld *world = play_world(state);
    PhysicsWorld *physics = play_physics(state);
    int32_t skipped = 0;
    for (int32_t i = 0; i < world->object_count; i++) {
        MeshObject *o = world->objects[i];
        if (!o || !o->rotating) continue;
        if (physics->collider_count >= kPhysicsMaxColliders) {
            skipped++;
            continue;
        }
        MeshObject *copy = mesh_inverted_copy(o);
        if (!copy) continue;
        memcpy(copy->centre, o->centre, sizeof copy->centre);
        mesh_compute_normals(copy);
        mesh_update_world_transform(copy);
        physics_prepare_mesh_faces(copy);
        ColliderSlot *slot = physics_add_static_mesh(physics, copy, 0.5f, 0.5f, 4);
        if (!slot) {
            mesh_delete(copy);
            continue;
        }
        copy->moved = 1;
        state->pales_copies[state->pales_count] = copy;
        state->pales_slots[state->pales_count] = slot;
        state->pales_count++;
    }
    if (skipped) {
        char line[128];
        snprintf(line, sizeof line, "play: %d turning blades beyond the colliders turn without colliding", skipped);
        render_log_line(line);
    }
}

void reset_player_fields(PlayState *state)
{
    state->strokes = 0;
    state->power = -1.0f;
    state->replay_time = 0.0f;
    state->replay_accumulator = 0.0f;
    state->physics_accumulator = 0.0f;
    state->replaying = 0;
    state->holeout_timer = 0;
    state->end_timer = 0;
    state->banner_timer = 120;
    state->hole_done = 0;
    for (int32_t &b : state->block_history) b = -1;
    state->auto_turn_done = 0;
    state->pales_time = 0.0f;
    state->block = state->block_face = state->block_material = -1;
    state->events = 0;
    list_clear(&state->replay_list);
    options_open = 0;
    leave_requested = 0;
    restart_requested = 0;
    g_current_block = -1;
}

void world_settings(PhysicsWorld *physics)
{
    physics->gravity = 4.905f;
    physics->base_substeps = 5;
    physics->adaptive_substeps = 1;
    physics->adaptive_factor = 1.61f;
    physics->record_events = 1;
    physics->wake_time = g_setting_stabilite;
    physics->play_flag_chains = 1;
    physics->play_flag_substeps = 1;
    physics->play_flag_wake = 0;
}

}  // namespace

// ---- shared helpers ---------------------------------------------------------------------------------

void play_sound(GameSound sound, int32_t loop)
{
    if (g_sound_card_on && g_sound_effects_on) sound_play_effect(g_game_sounds[sound], loop);
}

void play_sound_stop(GameSound sound) { sound_stop_effect(g_game_sounds[sound]); }

float play_yaw_of(float vx, float vz)
{
    float angle;
    if (vx > 0.001f)
        angle = atanf(vz / vx);
    else if (vx < -0.001f)
        angle = atanf(vz / vx) + kPi;
    else
        angle = vz >= 0.0f ? 0.5f * kPi : -0.5f * kPi;
    if (angle < 0.0f) angle += 2.0f * kPi;
    return angle * 180.0f / kPi;
}

void play_ball_reset(RigidBody *body)
{
    body->asleep = 1;
    body->quaternion[0] = 1.0f;
    body->quaternion[1] = body->quaternion[2] = body->quaternion[3] = 0.0f;
    memset(body->velocity, 0, sizeof body->velocity);
    memset(body->angular_velocity, 0, sizeof body->angular_velocity);
    body->wake_timer = 0;
}

// ---- the ball ---------------------------------------------------------------------------------------

int play_ball_create(PlayBall *ball)
{
    *ball = PlayBall();
    ball->drawn = mesh_build_ball();
    ball->sphere = mesh_build_sphere(0.1f, 4);
    ball->fine_sphere = mesh_build_sphere(0.1f, 7);
    if (!ball->drawn || !ball->sphere || !ball->fine_sphere) {
        play_ball_free(ball);
        return 0;
    }
    mesh_invert_in_place(ball->drawn);
    mesh_compute_normals_welded(ball->drawn);
    if (g_render_context.device) {
        ball->drawn_render = new RenderObject();
        render_object_init(ball->drawn_render);
        render_object_load_mesh_vertices(ball->drawn_render, ball->drawn, kRenderNormal | kRenderVertexPairs);
    }
    for (MeshObject *sphere : {ball->sphere, ball->fine_sphere}) {
        physics_prepare_mesh_faces(sphere);
        physics_prepare_mesh_faces(sphere);
    }
    RigidBody *body = &ball->sphere->body;
    mesh_body_init(body);
    body->shape = kShapeMesh;
    body->sphere_flag = 0;
    body->fine_tree_test = 0;
    body->collision_mesh = ball->sphere;
    body->shape_tree = physics_build_shape_tree(ball->sphere, 0, 0);
    body->radius = 0.1f;
    body->mass = 1.0f;
    body->inverse_mass = 1.0f;
    body->restitution = 0.3f;
    body_compute_mass_properties(body);
    body->point_grid = mesh_build_cell_grid(ball->sphere);
    ball->body = body;
    return 1;
}

void play_ball_free(PlayBall *ball)
{
    if (ball->drawn_render) {
        render_object_free(ball->drawn_render);
        delete ball->drawn_render;
    }
    mesh_delete(ball->drawn);
    mesh_delete(ball->sphere);
    mesh_delete(ball->fine_sphere);
    *ball = PlayBall();
}

// ---- placement -------------------------------------------------------------------------------------

void play_place_ball_at_start(PlayState *state, int32_t start_index, RigidBody *body)
{
    SceneWorld *world = play_world(state);
    // Upright, as a new ball: the ball's sphere is its collision mesh, and a replay or the last
    // hole's roll would otherwise make the same stroke end elsewhere.
    body->quaternion[0] = 1.0f;
    body->quaternion[1] = body->quaternion[2] = body->quaternion[3] = 0.0f;
    body_reset_motion(body);
    float c[3] = {0.0f, 0.0f, 0.0f};
    float d[2] = {0.0f, 0.0f};
    MeshObject *start = play_object(world, start_index);
    if (start && start->vertex_count > 0) {
        mesh_update_world_transform(start);
        for (int32_t i = 0; i < start->vertex_count; i++) {
            c[0] += start->vertices[i].world_position[0];
            c[2] += start->vertices[i].world_position[2];
        }
        c[0] /= float(start->vertex_count);
        c[2] /= float(start->vertex_count);
    }
    // The aim: the mean position of the hole's objects that are not decoration.
    float a[2] = {0.0f, 0.0f};
    int32_t n = 0;  // the aim exists once objects gave it
    for (int32_t i = kPlayFirstHoleObject; i < world->object_count; i++) {
        const MeshObject *o = world->objects[i];
        if (!o || hole_name_has(o->name, "DECOR")) continue;
        a[0] += o->position[0];
        a[1] += o->position[2];
        n++;
    }
    if (n > 0) {
        a[0] /= float(n);
        a[1] /= float(n);
        float dx = a[0] - c[0], dz = a[1] - c[2], len = sqrtf(dx * dx + dz * dz);
        if (len > 0.0f) {
            d[0] = dx / len;
            d[1] = dz / len;
        }
    }
    float ymin = 0.0f;
    bool low = false;
    for (int32_t i = kPlayFirstHoleObject; i < world->object_count; i++) {
        const MeshObject *o = world->objects[i];
        if (!o || !hole_name_has(o->name, "START")) continue;
        ymin = o->bounds[2];
        if (o->bounds[3] - o->bounds[2] < 1.0f) low = true;
    }
    if (!low) {
        c[0] += 0.3f * d[0];
        c[2] += 0.3f * d[1];
    }
    vec3_set(body->position, c[0], ymin - 0.1f, c[2]);
    // The yaw: away from the linked objects of the block the ball stands on; without one (a START
    // on bare ground or on decoration), away from the hole's mean.
    bool aimed = n > 0;
    for (int32_t i = kPlayFirstHoleObject; i < world->object_count; i++) {
        MeshObject *o = world->objects[i];
        if (!o || hole_name_has(o->name, "DECOR") || hole_name_has(o->name, "END") || hole_name_has(o->name, "START"))
            continue;
        const float *b = o->bounds, *p = body->position;
        if (!(b[0] < p[0] && p[0] < b[1] && b[4] < p[2] && p[2] < b[5])) continue;
        mesh_update_world_transform(o);
        const float p0[3] = {p[0], p[1] - 1.2f, p[2]}, p1[3] = {p[0], p[1] + 1.2f, p[2]};
        const ObjectLinks *links = world->links[i];
        if (!mesh_segment_hit(o, p0, p1) || !links || links->count <= 0) continue;
        a[0] = a[1] = 0.0f;
        int32_t m = 0;
        for (int32_t k = 0; k < links->count && k < SCENE_MAX_LINKS; k++) {
            const MeshObject *l = play_object(world, links->index[k]);
            if (!l) continue;
            a[0] += l->position[0];
            a[1] += l->position[2];
            m++;
        }
        if (m > 0) {
            a[0] /= float(m);
            a[1] /= float(m);
            aimed = true;
        }
    }
    if (aimed) {
        float vx = body->position[0] - a[0], vz = body->position[2] - a[1], len = sqrtf(vx * vx + vz * vz);
        if (len > 0.0f) g_camera_yaw = play_yaw_of(vx / len, vz / len);
    }
    mat4_rotate_euler_deg(body->rotation_matrix, 0.0f, 0.0f, 0.0f);
    vec3_set(body->velocity, 0.0f, 0.025f, 0.0f);
    memset(body->angular_velocity, 0, sizeof body->angular_velocity);
    memcpy(body->saved_position, body->position, sizeof body->position);
    body->asleep = 0;
    body->wake_timer = g_setting_stabilite;
    // A ball that leaves the course before its first stroke comes back here.
    memcpy(state->stroke_start, body->position, sizeof state->stroke_start);
    state->yaw_at_stroke = int32_t(g_camera_yaw);
}

// ---- set-up and teardown -----------------------------------------------------------------------------

int play_setup_hole_collision(PlayState *state)
{
    if (!state->ball.body) return 0;
    play_teardown_hole(state);  // what a set-up without its teardown left
    SceneWorld *world = play_world(state);
    PhysicsWorld *physics = play_physics(state);
    reset_player_fields(state);
    state->has_sand = 0;
    state->material_colliders = 0;
    state->pales_count = 0;

    MeshScratch all = {}, other = {}, grass = {}, sand = {};
    sort_faces(state, &all, &other, &grass, &sand);
    mark_pales(world);
    build_shadow_receivers(state, &all);
    state->other_mesh = physics_mesh(&other);
    state->grass_mesh = physics_mesh(&grass);
    state->sand_mesh = state->has_sand ? physics_mesh(&sand) : nullptr;
    for (MeshScratch *s : {&all, &other, &grass, &sand}) mesh_scratch_free(s);

    state->start_index = -1;
    for (int32_t i = 0; i < world->object_count; i++)
        if (world->objects[i] && hole_name_has(world->objects[i]->name, "START")) state->start_index = i;
    play_place_ball_at_start(state, state->start_index, state->ball.body);

    g_physics_rest_speed = 0.05f;
    g_physics_rest_spin = 0.125f;
    physics_world_reset(physics);
    add_material_colliders(state);
    add_pales_colliders(state);
    world_settings(physics);
    physics_add_body(physics, state->ball.body);

    for (int32_t i = 0; i < world->vegetal_count && i < SCENE_MAX_VEGETALS; i++)
        g_vegetal_sway_phase[i] = 5.0f * sinf(5.0f * float(i) * kPi / float(world->vegetal_count));
    play_sound(kSoundJingleStart, 0);
    play_sound(kSoundWindLoop, 1);
    for (int32_t i = 0; i < world->object_count; i++)
        if (world->objects[i]) mesh_update_world_transform(world->objects[i]);
    return 1;
}

void play_teardown_hole(PlayState *state)
{
    play_sound_stop(kSoundWindLoop);
    list_clear(&state->replay_list);
    PhysicsWorld *physics = play_physics(state);
    physics_world_reset(physics);
    for (int32_t k = 0; k < state->pales_count; k++) {
        mesh_delete(state->pales_copies[k]);
        state->pales_copies[k] = nullptr;
        state->pales_slots[k] = nullptr;
    }
    state->pales_count = 0;
    for (int k = 0; k < 2; k++) {
        physics_collider_release(&state->shadow_slots[k]);
        mesh_delete(state->shadow_meshes[k]);
        state->shadow_meshes[k] = nullptr;
    }
    mesh_delete(state->grass_mesh);
    mesh_delete(state->other_mesh);
    mesh_delete(state->sand_mesh);
    state->grass_mesh = state->other_mesh = state->sand_mesh = nullptr;
    state->material_colliders = 0;
}
