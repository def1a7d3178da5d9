// The world step: adaptive sub-steps, the broad phase, integration and sleep. Each sub-step is two
// phases of per-body jobs on the worker pool: wake and collide; then correct, with the next
// sub-step's prepare. Where the step allows, the pool's workers instead take islands of bodies
// through all the sub-steps, the same jobs in one phase.
#include "physics/physics_local.h"

#include <cmath>
#include <cstring>
#include <utility>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Sub-step counts past this are not raised further (a body that is infinitely fast).
constexpr int32_t kMaxSubsteps = 1 << 16;

// Job orders of the phases (main thread only; filled per sub-step without allocating).
int32_t g_index_order[kPhysicsMaxBodies];
int32_t g_y_order[kPhysicsMaxBodies];
// The orientation and position a body's matrices were made from.
struct MatrixInputs {
    float quaternion[4];
    float position[3];
};

// What a body's jobs keep of it within a step, in a record of its own lines: the body's worker
// writes it, and flags of all the bodies side by side would pass their line from worker to worker.
// A field is of this step when its stamp is g_step_stamp, which changes at every step's start and
// end, so that nothing is cleared per step (and jobs called outside a step see nothing kept).
struct alignas(64) BodyStep {
    // The world and rotation matrices the body's collision mesh and grid were placed with in this
    // step (when placed_at is this step's; the caller may move the mesh between steps): a body that
    // did not move since skips the mesh pass, whose result would be the same.
    float mesh_matrices[32];
    uint32_t placed_at = 0;
    // Placed more than once in this step (its matrices changed).
    uint32_t replaced_at = 0;
    // Only the grid and the vertex positions (g_physics_placed) were placed: the contacts of a body
    // with static meshes read nothing else, and only the fine test of two mesh bodies reads the
    // mesh's own world data. That is placed once at the step's end, with the matrices of the last
    // placement, so the mesh leaves the step as if it had been placed whole every time.
    uint8_t partial = 0;
    // The inputs the body's matrices were made from in this step (when made_at is this step's; the
    // caller may change a body's matrices or inertia between steps). The same again gives the same
    // matrices: a body at rest makes them once a step.
    uint32_t made_at = 0;
    MatrixInputs matrix_inputs;
};
BodyStep g_body_step[kPhysicsMaxBodies];
// Every job reads it: on a line of its own, which nothing written during the phases shares.
alignas(64) uint32_t g_step_stamp = 1;

// The last whole placement at a step's end of each body's mesh: what it was placed from. The same
// again at the next step's end (a body at rest) would write the same world data: it is skipped.
struct WholePlacement {
    bool valid = false;
    const MeshObject *mesh = nullptr;
    const MeshVertex *vertices = nullptr;
    const MeshFace *faces = nullptr;
    int32_t vertex_count = 0, face_count = 0;
    uint64_t revision = 0;
    const PointGrid *grid = nullptr;
    float matrices[32];
};
WholePlacement g_whole[kPhysicsMaxBodies];

bool same_whole_placement(const WholePlacement &w, const RigidBody *b, const float *matrices)
{
    const MeshObject *m = b->collision_mesh;
    return w.valid && m && w.mesh == m && w.vertices == m->vertices && w.faces == m->faces &&
           w.vertex_count == m->vertex_count && w.face_count == m->face_count && w.revision == m->revision &&
           w.grid == b->point_grid && memcmp(w.matrices, matrices, sizeof w.matrices) == 0;
}

void keep_whole_placement(WholePlacement *w, const RigidBody *b, const float *matrices)
{
    const MeshObject *m = b->collision_mesh;
    w->valid = m != nullptr;
    if (!m) return;
    w->mesh = m;
    w->vertices = m->vertices;
    w->faces = m->faces;
    w->vertex_count = m->vertex_count;
    w->face_count = m->face_count;
    w->revision = m->revision;
    w->grid = b->point_grid;
    memcpy(w->matrices, matrices, sizeof w->matrices);
}

// Whether the last step ran as islands (main thread).
bool g_islands_last = false;
// Bodies of the step: the row length of the pair matrices the prepare jobs clear.
int32_t g_pair_rows = 0;
// Whether a pair test of this step may read a body's mesh (two bodies that take the fine test).
bool g_place_whole = false;

// Zeroes the first n bytes of a row, writing only from its first mark: the other jobs' marks are
// few, and a row left alone stays in this worker's cache (a write would take the line from
// wherever it was read last).
void clear_row(uint8_t *row, int32_t n)
{
    int32_t k = 0;
    for (; k + 8 <= n; k += 8) {
        uint64_t chunk;
        memcpy(&chunk, row + k, 8);
        if (chunk) break;
    }
    while (k < n && row[k] == 0) k++;
    if (k < n) memset(row + k, 0, size_t(n - k));
}

bool mesh_placed_with(const BodyStep &step, const RigidBody *b)
{
    return step.placed_at == g_step_stamp && memcmp(step.mesh_matrices, b->world_matrix, 16 * sizeof(float)) == 0 &&
           memcmp(step.mesh_matrices + 16, b->rotation_matrix, 16 * sizeof(float)) == 0;
}

void vec3_copy_to(float *out, const float *v) { vec3_set(out, v[0], v[1], v[2]); }

int32_t body_count_of(const PhysicsWorld *world)
{
    int32_t n = world->body_count;
    return n < 0 ? 0 : (n > kPhysicsMaxBodies ? kPhysicsMaxBodies : n);
}

// What the step's serial parts read of every body, gathered by the step's first jobs (so that the
// bodies' own lines stay with the workers that own them): the predicted centres, radii and margins
// of the broad phase, the height and speed of the adaptive sub-steps, and the shape flags. What
// changes from step to step (centres, heights, speeds) is kept body by body: a begin job writes a
// record or two of its body, not a word in each of several arrays whose lines the neighbouring
// range writes too.
struct Predicted {
    float x, y, z, margin;
};
struct Motion {
    float height, speed;
};
struct StepBodies {
    alignas(64) Predicted predicted[kPhysicsMaxBodies];
    alignas(64) Motion motion[kPhysicsMaxBodies];
    float radius[kPhysicsMaxBodies];
    uint8_t no_prediction[kPhysicsMaxBodies];
    uint8_t mesh[kPhysicsMaxBodies];       // a mesh body: its placement is reset at the step's end
    uint8_t fine_mesh[kPhysicsMaxBodies];  // a mesh body with the fine tree test
    uint8_t collision_mesh[kPhysicsMaxBodies];  // placed at the step's end
};
StepBodies g_step_bodies;

int32_t adaptive_substeps(const PhysicsWorld *world, int32_t n, int32_t bodies)
{
    const StepBodies &s = g_step_bodies;
    const float T = world->frame_time;
    const float limit = world->adaptive_factor * float(world->base_substeps);
    while (float(n) < limit && bodies > 0 && n < kMaxSubsteps) {
        float dt = T / float(n);
        int32_t fast = 0;
        for (int32_t i = 0; i < bodies; i++)
            if (s.motion[i].height < world->y_limit &&
                s.radius[i] < s.motion[i].speed * float(world->base_substeps) * dt * 0.9f)
                fast++;
        if (fast == 0) break;
        n += 2;
    }
    return n;
}

void list_candidate(CandidateList *list, int32_t other)
{
    if (list->count < 0) return;
    if (list->count == kPhysicsListedCandidates) {
        list->count = -1;
        return;
    }
    list->body[list->count++] = int16_t(other);
}

// Whether bodies lo < hi are a candidate pair: their predicted centres nearer than their radii and
// margins, or the first one without prediction.
bool candidate_pair(int32_t lo, int32_t hi)
{
    const StepBodies &s = g_step_bodies;
    if (s.no_prediction[lo]) return true;
    const Predicted &a = s.predicted[lo], &b = s.predicted[hi];
    const float reach = s.radius[lo] + s.radius[hi] + a.margin + b.margin;
    float d[3] = {a.x - b.x, a.y - b.y, a.z - b.z};
    return vec3_length(d) < reach;
}

#if defined(__SSE2__)
// Which of bodies j .. j + 3 make candidate pairs with body i, as the bits of a mask: each pair taken
// as from its lower body (the centres' difference only changes sign, but the reach adds the
// margins in that body's order), with the same operations in the same order as candidate_pair
// (the square root exact in both).
int candidates_of_four(int32_t i, int32_t j)
{
    const StepBodies &s = g_step_bodies;
    const Predicted &p = s.predicted[i];
    // Bodies j .. j + 3 as lanes: x, y, z and margin.
    __m128 xj = _mm_loadu_ps(&s.predicted[j].x), yj = _mm_loadu_ps(&s.predicted[j + 1].x);
    __m128 zj = _mm_loadu_ps(&s.predicted[j + 2].x), mj = _mm_loadu_ps(&s.predicted[j + 3].x);
    _MM_TRANSPOSE4_PS(xj, yj, zj, mj);
    const __m128 dx = _mm_sub_ps(_mm_set1_ps(p.x), xj);
    const __m128 dy = _mm_sub_ps(_mm_set1_ps(p.y), yj);
    const __m128 dz = _mm_sub_ps(_mm_set1_ps(p.z), zj);
    const __m128 length =
        _mm_sqrt_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(dx, dx), _mm_mul_ps(dy, dy)), _mm_mul_ps(dz, dz)));
    const __m128 mi = _mm_set1_ps(p.margin);
    const __m128 radii = _mm_add_ps(_mm_set1_ps(s.radius[i]), _mm_loadu_ps(s.radius + j));
    const __m128i index_i = _mm_set1_epi32(i);
    const __m128i index_j = _mm_add_epi32(_mm_set1_epi32(j), _mm_setr_epi32(0, 1, 2, 3));
    const __m128i later = _mm_cmpgt_epi32(index_j, index_i);  // body i is the lower one
    const __m128 later_f = _mm_castsi128_ps(later);
    const __m128 reach = _mm_or_ps(_mm_and_ps(later_f, _mm_add_ps(_mm_add_ps(radii, mi), mj)),
                                   _mm_andnot_ps(later_f, _mm_add_ps(_mm_add_ps(radii, mj), mi)));
    int32_t bytes;
    memcpy(&bytes, s.no_prediction + j, sizeof bytes);
    const __m128i zero = _mm_setzero_si128();
    const __m128i none_j =
        _mm_cmpgt_epi32(_mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(bytes), zero), zero), zero);
    const __m128i none_i = _mm_set1_epi32(s.no_prediction[i] ? -1 : 0);
    const __m128i none = _mm_or_si128(_mm_and_si128(later, none_i), _mm_andnot_si128(later, none_j));
    __m128i near = _mm_or_si128(_mm_castps_si128(_mm_cmplt_ps(length, reach)), none);
    near = _mm_andnot_si128(_mm_cmpeq_epi32(index_j, index_i), near);
    return _mm_movemask_ps(_mm_castsi128_ps(near));
}
#endif

// The broad phase's pairs on one thread, each pair once: the pair matrix and the lists (pairs come
// in index order, so each list is in index order).
void pairs_all(PhysicsWorld *world, int32_t bodies)
{
    auto mark = [world](int32_t i, int32_t k) {
        world->candidate_pairs[i][k] = world->candidate_pairs[k][i] = 1;
        list_candidate(&world->candidate_lists[i], k);
        list_candidate(&world->candidate_lists[k], i);
    };
    for (int32_t i = 0; i < bodies; i++) {
        memset(world->candidate_pairs[i], 0, size_t(bodies));
        world->candidate_pairs[i][i] = 1;
        world->candidate_lists[i].count = 0;
    }
    for (int32_t i = 0; i < bodies; i++) {
        int32_t j = i + 1;
#if defined(__SSE2__)
        for (; j + 4 <= bodies; j += 4)
            for (int mask = candidates_of_four(i, j); mask; mask &= mask - 1)
                mark(i, j + __builtin_ctz(unsigned(mask)));
#endif
        for (; j < bodies; j++)
            if (candidate_pair(i, j)) mark(i, j);
    }
}

// Body i's row of the pair matrix and its list, in index order: the pool's way, a row a job (every
// pair twice, on two threads). Made aside and stored only where they changed: the islands' threads
// and the stepping thread read these lines, and between steps they seldom change.
void pairs_row(PhysicsWorld *world, int32_t i, int32_t bodies)
{
    uint8_t made[kPhysicsMaxBodies];
    memset(made, 0, size_t(bodies));
    made[i] = 1;
    CandidateList list;
    list.count = 0;
    auto mark = [&made, &list](int32_t k) {
        made[k] = 1;
        list_candidate(&list, k);
    };
    int32_t j = 0;
#if defined(__SSE2__)
    for (; j + 4 <= bodies; j += 4)
        for (int mask = candidates_of_four(i, j); mask; mask &= mask - 1) mark(j + __builtin_ctz(unsigned(mask)));
#endif
    for (; j < bodies; j++)
        if (j != i && candidate_pair(i < j ? i : j, i < j ? j : i)) mark(j);
    uint8_t *row = world->candidate_pairs[i];
    if (memcmp(row, made, size_t(bodies)) != 0) memcpy(row, made, size_t(bodies));
    // The entries listed (all of them when the list overflowed), then the count.
    CandidateList &kept = world->candidate_lists[i];
    const size_t listed = size_t(list.count < 0 ? kPhysicsListedCandidates : list.count) * sizeof list.body[0];
    if (memcmp(kept.body, list.body, listed) != 0) memcpy(kept.body, list.body, listed);
    physics_store_changed(&kept.count, list.count);
}

float interpolated(float previous, float current, float t) { return previous * (1.0f - t) + current * t; }

void interpolate_colliders(PhysicsWorld *world, float t)
{
    for (int32_t s = 0; s < world->collider_count && s < kPhysicsMaxColliders; s++) {
        ColliderSlot *slot = &world->colliders[s];
        MeshObject *mesh = slot->object;
        if (!mesh) continue;
        for (int k = 0; k < 3; k++) {
            physics_store_changed(&mesh->position[k],
                                  interpolated(slot->previous_position[k], slot->current_position[k], t));
            physics_store_changed(&mesh->rotation[k],
                                  interpolated(slot->previous_rotation[k], slot->current_rotation[k], t));
        }
        physics_collider_update(slot);
        physics_store_changed(&slot->applied_valid, uint8_t(1));
    }
}

// The last exchange sort's order, and whether each entry's y equalled the next one's. The sort's
// result depends only on how the heights compare (its entries start in index order), so heights
// that compare as the kept ones did give the kept order without its n^2 comparisons: the common
// case, bodies at rest or moving without passing each other.
// (The islands phase's sort runs on a worker: apart from the stepping thread's lines.)
alignas(64) int32_t g_sorted_count = -1;  // -1: no order kept
int32_t g_sorted_body[kPhysicsMaxBodies];
uint8_t g_sorted_tie[kPhysicsMaxBodies];

bool sort_as_kept(const float *heights, BodyOrderEntry *order, int32_t bodies)
{
    if (g_sorted_count != bodies) return false;
    for (int32_t p = 0; p + 1 < bodies; p++) {
        const float y = heights[g_sorted_body[p]], next = heights[g_sorted_body[p + 1]];
        if (g_sorted_tie[p] ? !(y == next) : !(y > next)) return false;
    }
    // Entries that did not change are not written: the jobs read these lines.
    for (int32_t p = 0; p < bodies; p++)
        physics_store_changed(&order[p], BodyOrderEntry{heights[g_sorted_body[p]], g_sorted_body[p]});
    return true;
}

// Heights that all differ have one order, largest first, whichever sort finds it: from the kept
// order, bodies that passed each other take a few moves of an insertion sort instead of the
// exchange sort's n^2 comparisons (the common case across an islands step's sub-steps). False, with
// nothing written, when two heights are equal or one is not a number.
bool sort_by_insertion(const float *heights, BodyOrderEntry *order, int32_t bodies)
{
    if (g_sorted_count != bodies) return false;
    BodyOrderEntry sorted[kPhysicsMaxBodies];
    for (int32_t p = 0; p < bodies; p++) {
        const int32_t body = g_sorted_body[p];
        const float y = heights[body];
        if (std::isnan(y)) return false;
        int32_t at = p;
        for (; at > 0 && sorted[at - 1].y < y; at--) sorted[at] = sorted[at - 1];
        sorted[at] = BodyOrderEntry{y, body};
    }
    for (int32_t p = 0; p + 1 < bodies; p++)
        if (!(sorted[p].y > sorted[p + 1].y)) return false;
    for (int32_t p = 0; p < bodies; p++) {
        physics_store_changed(&order[p], sorted[p]);
        g_sorted_body[p] = sorted[p].body;
        g_sorted_tie[p] = 0;
    }
    return true;
}

// The first place from q on whose y is greater than c, or n.
int32_t next_greater(const float *y, int32_t q, int32_t n, float c)
{
#if defined(__SSE2__)
    const __m128 champion = _mm_set1_ps(c);
    for (; q + 4 <= n; q += 4) {
        const int mask = _mm_movemask_ps(_mm_cmpgt_ps(_mm_loadu_ps(y + q), champion));
        if (mask) return q + __builtin_ctz(unsigned(mask));
    }
#endif
    for (; q < n; q++)
        if (y[q] > c) return q;
    return n;
}

// The exchange sort, largest y first: for each place p, every later entry greater than the one at
// p is swapped into p, in turn. Each pass is its chain of swaps: the scan skips from one entry
// greater than the current one at p to the next (four at a time), and makes the same swaps.
void exchange_sort(const float *heights, BodyOrderEntry *order, int32_t n)
{
    float y[kPhysicsMaxBodies];
    int32_t body[kPhysicsMaxBodies];
    for (int32_t p = 0; p < n; p++) {
        y[p] = heights[p];
        body[p] = p;
    }
    for (int32_t p = 0; p < n; p++)
        for (int32_t q = next_greater(y, p + 1, n, y[p]); q < n; q = next_greater(y, q + 1, n, y[p])) {
            std::swap(y[p], y[q]);
            std::swap(body[p], body[q]);
        }
    for (int32_t p = 0; p < n; p++) physics_store_changed(&order[p], BodyOrderEntry{y[p], body[p]});
}

void rank_bodies(PhysicsWorld *world, int32_t bodies)
{
    for (int32_t p = 0; p < bodies; p++)
        physics_store_changed(&world->body_rank[world->body_order[p].body], int16_t(p));
}

void stop_motion(RigidBody *b)
{
    vec3_set(b->force, 0, 0, 0);
    vec3_set(b->torque, 0, 0, 0);
    vec3_set(b->velocity, 0, 0, 0);
    vec3_set(b->angular_velocity, 0, 0, 0);
    vec3_copy_to(b->predicted_position, b->position);
}

void integrate(RigidBody *b, float dt)
{
    for (int k = 0; k < 3; k++) {
        b->position[k] += b->velocity[k] * dt;
        b->velocity[k] += b->force[k] * b->inverse_mass * dt;
    }
    vec3_copy_to(b->predicted_position, b->position);
    const float w[4] = {0.0f, b->angular_velocity[0], b->angular_velocity[1], b->angular_velocity[2]};
    float spin[4];
    quat_multiply(spin, w, b->quaternion);
    float length = 0.0f;
    for (int k = 0; k < 4; k++) {
        b->quaternion[k] += dt / 2.0f * spin[k];
        length += b->quaternion[k] * b->quaternion[k];
    }
    length = sqrtf(length);
    if (length > 0.0f && std::isfinite(length))
        for (float &q : b->quaternion) q /= length;
}

void angular_update(RigidBody *b, float dt)
{
    mat4_transform_point(b->angular_acceleration, b->world_inverse_inertia, b->torque);
    for (int k = 0; k < 3; k++) b->angular_velocity[k] += b->angular_acceleration[k] * dt;
}

void save_state(RigidBody *b)
{
    vec3_copy_to(b->saved_position, b->position);
    vec3_copy_to(b->saved_velocity, b->velocity);
    vec3_copy_to(b->saved_angular_velocity, b->angular_velocity);
    memcpy(b->saved_quaternion, b->quaternion, sizeof b->quaternion);
}

void keep_integrated(PhysicsWorld *world, RigidBody *b)
{
    vec3_copy_to(b->integrated_velocity, b->velocity);
    memcpy(b->integrated_quaternion, b->quaternion, sizeof b->quaternion);
    vec3_copy_to(b->integrated_angular_velocity, b->angular_velocity);
    physics_store_changed(&world->snapshots[b->index].velocity, b->velocity);
    vec3_sub(b->displacement, b->position, b->saved_position);
}

// A grouped body after the joint pass: its move is the joints'.
void keep_grouped(RigidBody *b)
{
    vec3_copy_to(b->predicted_position, b->position);
    vec3_sub(b->displacement, b->position, b->saved_position);
    vec3_copy_to(b->integrated_velocity, b->velocity);
    memcpy(b->integrated_quaternion, b->quaternion, sizeof b->quaternion);
    vec3_copy_to(b->integrated_angular_velocity, b->angular_velocity);
}

void integrate_and_sleep(PhysicsWorld *world, int32_t i, RigidBody *b, float dt)
{
    save_state(b);
    bool moving = vec3_length(b->velocity) > g_physics_rest_speed ||
                  vec3_length(b->angular_velocity) > g_physics_rest_spin || vec3_length(b->impulse) > 0.00001f;
    if (moving && !b->asleep) {
        integrate(b, dt);
        if (b->wake_timer < world->wake_time) b->wake_timer = world->wake_time;
        angular_update(b, dt);
    } else if (moving) {
        stop_motion(b);
        b->asleep = 0;
    } else if (world->snapshots[i].on_slope && !b->asleep) {
        // Slow at the top of its travel up a ramp, or creeping down it: it rolls on, so the
        // rest count-down waits until the ground levels out or something stops it.
        integrate(b, dt);
        angular_update(b, dt);
    } else if (b->wake_timer < 1) {
        stop_motion(b);
        b->asleep = 1;
    } else {
        b->wake_timer--;
        b->asleep = 0;
        integrate(b, dt);
        angular_update(b, dt);
    }
    keep_integrated(world, b);
}

// A sub-step from its bodies prepared (by the previous sub-step's correction phase, or the
// step's first phase) to its collide phase; its correction phase follows.
void substep(PhysicsWorld *world, int32_t k, int32_t n, int32_t bodies)
{
    g_physics_substep_serial++;
    // The prepare jobs read no collider: the colliders move only now.
    interpolate_colliders(world, float(k) / float(n));
    physics_mark_jointed_pairs(world);
    physics_sort_body_order(world, bodies);
    // Without joints the prepare jobs have done this for the grouped bodies.
    if (world->joint_chain_count > 0) {
        physics_joint_pass(world);
        for (int32_t i = 0; i < bodies; i++) {
            RigidBody *b = world->bodies[i];
            if (b->grouped) keep_grouped(b);
            physics_keep_collide_snapshot(world, i, b);
        }
    }
    // Inline in y order; on the pool any order gives the same results (a job writes its own body and
    // byte marks, and reads the others' snapshot), and the index order keeps the bodies where the
    // other phases left them, in that worker's cache.
    const bool pool = physics_phase_on_pool(bodies);
    if (!pool)
        for (int32_t i = 0; i < bodies; i++) g_y_order[i] = world->body_order[i].body;
    physics_run_phase(kJobWakeCollide, pool ? g_index_order : g_y_order, bodies);
}

void merge_events(PhysicsWorld *world)
{
    // The workers' lists are linked on whole, not copied: the same events in the same order.
    CollisionEventList &events = world->events;
    for (WorkerEvents &worker : world->worker_events) {
        CollisionEventList &list = worker.list;
        if (list.first && list.last) {
            list.first->prev = events.last;
            if (events.last)
                events.last->next = list.first;
            else
                events.first = list.first;
            events.last = list.last;
            events.count += list.count;
            events.cursor_index = -1;
        }
        list = CollisionEventList{};
    }
}

// A new revision after a whole placement, so that no other record (of another world or caller)
// takes the mesh's world data for its own; the object-space arrays this record read are still the
// mesh's.
void renew_placed_revision(int32_t i, RigidBody *b)
{
    MeshObject *mesh = b->collision_mesh;
    if (!mesh) return;
    PlacedVertices &placed = g_physics_placed[i];
    const bool arrays_current = placed.from == mesh && placed.from_revision == mesh->revision;
    mesh_touch(mesh);
    if (arrays_current) placed.from_revision = mesh->revision;
}


// ---- islands ----
// In a step without joints, whose colliders stand still, a body's sub-steps read only its own data,
// its broad-phase candidates', the static meshes and the body order. The bodies that candidate
// pairs join (an island) are then stepped through all the step's sub-steps by one worker, which
// waits for no other between sub-steps; a worker done with its own range's islands takes those no
// other worker has begun. The body order serves only the order in which a body meets its
// candidates, the highest first: the island's worker knows their heights; only when two of them
// tie and both touch the body does it need the whole order, sorted from every body's height at
// that sub-step once every island has reached it.
constexpr int32_t kIslandMostSubsteps = 16;
// Each body's heights as its prepares of the islands' sub-steps began, on lines of its own.
struct alignas(64) IslandHeights {
    float at[kIslandMostSubsteps];
};
IslandHeights g_island_heights[kPhysicsMaxBodies];
// An island's state: the number of the phase it was last of (bits 32 to 63), whether a thread is
// stepping it (31), and its stages done (0 to 30): stage 0 is its bodies' stroke and first prepare,
// stage k + 1 sub-step k; stage k writes the heights of sub-step k. Of an earlier phase, none done.
// Taken by compare-and-swap with the phase number the thread came for, so that a thread late from
// an earlier phase never takes an island of a later one.
struct alignas(64) IslandUnit {
    std::atomic<uint64_t> state{0};
};
constexpr uint64_t kUnitTaken = uint64_t(1) << 31;
// Each island's phase number once it has written its heights of the last sub-step (its stage
// before the last done), on a line apart from its state: the islands' sort waits on these, and
// polling the state would take its line from the island's thread at every stage.
struct alignas(64) IslandReady {
    std::atomic<uint32_t> phase{0};
};
IslandUnit g_units[kPhysicsMaxBodies];
IslandReady g_unit_ready[kPhysicsMaxBodies];
// Each range's next island to hand out (from range_units[r] on), on a line of its own: the phase's
// number (bits 32 to 63) and the next island (0 to 31); of an earlier phase, the first.
struct alignas(64) IslandNext {
    std::atomic<uint64_t> next{0};
};
IslandNext g_island_next[kPhysicsWorkers];
struct IslandStep {
    int32_t substeps = 0, bodies = 0, ranges = 0;
    uint32_t phase = 0;  // the islands phase's number
    uint32_t first_serial = 0;
    int32_t range_units[kPhysicsWorkers + 1] = {};  // range r's islands: [range_units[r], [r + 1])
};
// Written by the stepping thread before the phase, read by every job: on lines that nothing
// written during the phase shares (each atomic below has a line of its own).
alignas(64) IslandStep g_island;
// Whether the islands may be read (g_island and the islands' arrays), and of which phase; and the
// threads reading them. The stepping thread closes them and waits for every thread out before it
// writes them again, so that a thread late from an earlier islands phase never reads them half
// written (it finds them closed, or of another phase, and leaves).
alignas(64) std::atomic<uint8_t> g_island_open{0};
alignas(64) std::atomic<uint32_t> g_island_phase{0};
alignas(64) std::atomic<int32_t> g_island_threads{0};
// The body order the islands phase leaves, sorted from the last sub-step's heights: the phase's
// number (bits 2 to 33) and whether the sort is taken or made (bits 0 and 1; neither, or of an
// earlier phase: the sort is free). The first thread out of islands takes it and sorts as soon as
// every island has written those heights, while the last islands run their last sub-step; the
// stepping thread sorts after the phase when no thread did.
constexpr uint64_t kSortTaken = 1, kSortMade = 2;
alignas(64) std::atomic<uint64_t> g_island_sort{0};
bool sort_taken(uint64_t sort, uint32_t phase) { return uint32_t(sort >> 2) == phase && (sort & 3) != 0; }
alignas(64) int32_t g_island_order[kPhysicsMaxBodies];
int32_t g_unit_first[kPhysicsMaxBodies + 1];  // island u's bodies: [first[u], first[u + 1]) of the order
// Main thread: the islands (union-find roots), their ranges and numbers.
int32_t g_island_root[kPhysicsMaxBodies];
int32_t g_island_unit[kPhysicsMaxBodies];

// The worker's island run: whether it is in one, its sub-step (-1: none, or the islands' stroke
// and first prepare), the whole order it sorted for one sub-step, and its worker number.
struct IslandThread {
    bool stepping = false;
    int32_t substep = -1;
    int32_t rank_substep = -1;
    int32_t worker = 0;
};
constinit thread_local IslandThread t_island;
constinit thread_local int16_t t_island_rank[kPhysicsMaxBodies];
constinit thread_local BodyOrderEntry t_island_entries[kPhysicsMaxBodies] = {};  // {} for clang's constinit
constinit thread_local float t_island_gathered[kPhysicsMaxBodies];

uint32_t unit_phase(uint64_t state) { return uint32_t(state >> 32); }
int32_t unit_done(uint64_t state) { return int32_t(state & (kUnitTaken - 1)); }
uint64_t unit_state(uint32_t phase, bool taken, int32_t done)
{
    return uint64_t(phase) << 32 | (taken ? kUnitTaken : 0) | uint64_t(done);
}

// Island u's stages done in the phase numbered `phase`.
int32_t unit_progress(int32_t u, uint32_t phase)
{
    const uint64_t state = g_units[u].state.load(std::memory_order_acquire);
    return unit_phase(state) == phase ? unit_done(state) : 0;
}

// Takes island u of the phase numbered `phase` when no thread is stepping it and it is not done:
// true, with its stages done in *done.
bool take_unit(int32_t u, uint32_t phase, int32_t *done)
{
    uint64_t state = g_units[u].state.load(std::memory_order_acquire);
    const int32_t so_far = unit_phase(state) == phase ? unit_done(state) : 0;
    if (unit_phase(state) == phase && ((state & kUnitTaken) || so_far > g_island.substeps)) return false;
    if (!g_units[u].state.compare_exchange_strong(state, unit_state(phase, true, so_far), std::memory_order_acq_rel))
        return false;
    *done = so_far;
    return true;
}

// The islands phase's body heights and order on this thread if no other has taken them: false when
// taken. It waits for every island's heights of the last sub-step (written by its stage before
// the last).
bool island_sort(uint32_t phase)
{
    uint64_t free = g_island_sort.load(std::memory_order_relaxed);
    if (sort_taken(free, phase) ||
        !g_island_sort.compare_exchange_strong(free, uint64_t(phase) << 2 | kSortTaken, std::memory_order_acq_rel))
        return false;
    const int32_t units = g_island.range_units[g_island.ranges], n = g_island.substeps;
    for (int32_t u = 0; u < units; u++)
        for (int spins = 0; g_unit_ready[u].phase.load(std::memory_order_acquire) != phase; spins++)
            physics_spin_wait(spins);
    PhysicsWorld *world = g_physics_world_pointer;
    for (int32_t i = 0; i < g_island.bodies; i++)
        physics_store_changed(&world->body_heights[i], g_island_heights[i].at[n - 1]);
    physics_sort_body_order(world, g_island.bodies);
    g_island_sort.store(uint64_t(phase) << 2 | kSortMade, std::memory_order_release);
    return true;
}

// Island u's stages from `done` up to `target` on this thread, which has it; then let go. The
// island's bodies when it is finished, else 0.
int32_t step_unit(int32_t u, int32_t done, int32_t target)
{
    const int32_t first = g_unit_first[u], end = g_unit_first[u + 1];
    const int32_t n = g_island.substeps, worker = t_island.worker;
    int32_t stage = done;
    for (; stage < target; stage++) {
        if (stage == 0) {
            // Outside any sub-step (this may run for a lookup inside another island's collide job).
            t_island.substep = -1;
            g_physics_island_serial = 0;
            g_physics_use_collide_positions = 0;
            for (int32_t c = first; c < end; c++) physics_job_stroke_and_prepare(g_island_order[c], worker);
        } else {
            const int32_t k = stage - 1;
            t_island.substep = k;
            g_physics_island_serial = g_island.first_serial + uint32_t(k);
            for (int32_t c = first; c < end; c++) physics_job_wake_and_collide(g_island_order[c], worker);
            for (int32_t c = first; c < end; c++) {
                if (k + 1 < n)
                    physics_job_correct_hold_and_prepare(g_island_order[c], worker);
                else
                    physics_job_correct_and_hold(g_island_order[c], worker);
            }
            t_island.substep = -1;
            g_physics_island_serial = 0;
        }
        if (stage + 1 == n) g_unit_ready[u].phase.store(g_island.phase, std::memory_order_release);
        if (stage + 1 < target)
            g_units[u].state.store(unit_state(g_island.phase, true, stage + 1), std::memory_order_release);
    }
    g_units[u].state.store(unit_state(g_island.phase, false, stage), std::memory_order_release);
    return done <= n && stage == n + 1 ? end - first : 0;
}

// What a job puts aside while its thread steps another island: the island run's state, and the
// contacts its worker's buffer holds.
struct PutAside {
    IslandThread island;
    uint32_t serial;
    uint8_t use_collide_positions;
    int32_t contacts;
    std::vector<float> floats;
    std::vector<int32_t> ints;

    explicit PutAside(ContactBuffer &buffer)
        : island(t_island), serial(g_physics_island_serial), use_collide_positions(g_physics_use_collide_positions),
          contacts(buffer.count < 0 ? 0 : buffer.count)
    {
        floats.resize(size_t(contacts) * 7);
        ints.resize(size_t(contacts) * 2);
        for (int32_t c = 0; c < contacts; c++) {
            float *f = &floats[size_t(c) * 7];
            f[0] = buffer.depth[c];
            memcpy(f + 1, buffer.normal[c], 3 * sizeof(float));
            memcpy(f + 4, buffer.point[c], 3 * sizeof(float));
            ints[size_t(c) * 2] = buffer.kind[c];
            ints[size_t(c) * 2 + 1] = buffer.other[c];
        }
    }
    void restore(ContactBuffer &buffer) const
    {
        for (int32_t c = 0; c < contacts; c++) {
            const float *f = &floats[size_t(c) * 7];
            buffer.depth[c] = f[0];
            memcpy(buffer.normal[c], f + 1, 3 * sizeof(float));
            memcpy(buffer.point[c], f + 4, 3 * sizeof(float));
            buffer.kind[c] = ints[size_t(c) * 2];
            buffer.other[c] = ints[size_t(c) * 2 + 1];
        }
        buffer.count = contacts;
        t_island = island;
        g_physics_island_serial = serial;
        g_physics_use_collide_positions = use_collide_positions;
    }
};

// The whole body order's ranks at sub-step k of the islands, once every island has written its
// heights of that sub-step (done its stage k). An island behind it that no worker has is stepped up
// to it here, the job's state put aside (its stages up to k wait only for islands at lower
// sub-steps: this ends).
const int16_t *island_rank(int32_t k)
{
    if (t_island.rank_substep == k) return t_island_rank;
    g_physics_island_lookups.fetch_add(1, std::memory_order_relaxed);
    const int32_t units = g_island.range_units[g_island.ranges];
    for (int32_t u = 0; u < units; u++)
        for (int spins = 0;; spins++) {
            if (unit_progress(u, g_island.phase) > k) break;
            int32_t done = 0;
            if (take_unit(u, g_island.phase, &done)) {
                ContactBuffer &buffer = g_physics_world_pointer->contact_buffers[t_island.worker];
                const PutAside aside(buffer);
                // Never the island's last stage (k is below the sub-steps): it finishes nothing.
                step_unit(u, done, k + 1);
                aside.restore(buffer);
                continue;
            }
            physics_spin_wait(spins);
        }
    for (int32_t i = 0; i < g_island.bodies; i++) t_island_gathered[i] = g_island_heights[i].at[k];
    exchange_sort(t_island_gathered, t_island_entries, g_island.bodies);
    for (int32_t p = 0; p < g_island.bodies; p++) t_island_rank[t_island_entries[p].body] = int16_t(p);
    t_island.rank_substep = k;
    return t_island_rank;
}

int32_t island_find(int32_t i)
{
    while (g_island_root[i] != i) {
        g_island_root[i] = g_island_root[g_island_root[i]];
        i = g_island_root[i];
    }
    return i;
}

// Whether the colliders stand still through the step's n sub-steps: each one's interpolated
// transform is the one it has, so that interpolating it would change nothing.
bool colliders_still(const PhysicsWorld *world, int32_t n)
{
    for (int32_t s = 0; s < world->collider_count && s < kPhysicsMaxColliders; s++) {
        const ColliderSlot *slot = &world->colliders[s];
        const MeshObject *mesh = slot->object;
        if (!mesh) continue;
        if (!slot->applied_valid) return false;
        for (int32_t k = 0; k < n; k++) {
            const float t = float(k) / float(n);
            for (int c = 0; c < 3; c++) {
                const float position = interpolated(slot->previous_position[c], slot->current_position[c], t);
                const float rotation = interpolated(slot->previous_rotation[c], slot->current_rotation[c], t);
                if (memcmp(&position, &mesh->position[c], sizeof position) != 0 ||
                    memcmp(&rotation, &mesh->rotation[c], sizeof rotation) != 0)
                    return false;
            }
        }
    }
    return true;
}

// Main thread: the lists, bodies and ranges the islands were last shared out from (-1: none).
CandidateList g_shared_lists[kPhysicsMaxBodies];
int32_t g_shared_bodies = -1, g_shared_ranges = -1;

// Main thread: the order and island starts as share_islands makes them, before they are stored.
int32_t g_made_order[kPhysicsMaxBodies];
int32_t g_made_first[kPhysicsMaxBodies + 1];

// The islands shared out among the ranges of the phase: each to the range that holds its first body
// in the other phases (whose cache has its data; a worker done with its range takes others'
// islands). Fills the order (range by range, island by island) and the islands, storing only what
// changed: every worker reads these lines, and the islands change seldom from step to step.
void share_islands(const PhysicsWorld *world, int32_t bodies, int32_t ranges)
{
    for (int32_t i = 0; i < bodies; i++) g_island_root[i] = i;
    for (int32_t i = 0; i < bodies; i++) {
        const CandidateList &list = world->candidate_lists[i];
        for (int32_t c = 0; c < list.count; c++) {
            const int32_t j = list.body[c];
            if (j < 0 || j >= bodies) continue;
            const int32_t a = island_find(i), b = island_find(j);
            if (a != b) g_island_root[a > b ? a : b] = a < b ? a : b;
        }
    }
    // Every body's root, its island's lowest body: a body's parent is never above it, so one pass
    // in body order finds them. A root is its island's first body met; its island's range is
    // noted in g_island_unit for now.
    int32_t islands[kPhysicsWorkers] = {};
    int32_t home = 0, home_end = bodies / ranges;
    for (int32_t i = 0; i < bodies; i++) {
        g_island_root[i] = g_island_root[g_island_root[i]];
        while (i >= home_end) home_end = bodies * (++home + 1) / ranges;
        if (g_island_root[i] != i) continue;
        g_island_unit[i] = home;
        islands[home]++;
    }
    // The islands numbered range by range, in the order of their first bodies; their bodies laid
    // out island by island.
    g_island.range_units[0] = 0;
    for (int32_t r = 0; r < ranges; r++) g_island.range_units[r + 1] = g_island.range_units[r] + islands[r];
    int32_t next[kPhysicsWorkers];
    for (int32_t r = 0; r < ranges; r++) next[r] = g_island.range_units[r];
    const int32_t units = g_island.range_units[ranges];
    for (int32_t i = 0; i < bodies; i++)
        if (g_island_root[i] == i) g_island_unit[i] = next[g_island_unit[i]]++;
    // Sizes, their running sums, then each body placed (taking its island's next place).
    int32_t *first = g_made_first;
    for (int32_t u = 0; u <= units; u++) first[u] = 0;
    for (int32_t i = 0; i < bodies; i++) first[g_island_unit[g_island_root[i]] + 1]++;
    for (int32_t u = 0; u < units; u++) first[u + 1] += first[u];
    for (int32_t i = 0; i < bodies; i++) g_made_order[first[g_island_unit[g_island_root[i]]]++] = i;
    // The starts were moved on by the placing: each is now the next island's.
    for (int32_t u = units; u > 0; u--) first[u] = first[u - 1];
    first[0] = 0;
    for (int32_t u = 0; u <= units; u++) physics_store_changed(&g_unit_first[u], first[u]);
    for (int32_t k = 0; k < bodies; k++) physics_store_changed(&g_island_order[k], g_made_order[k]);
}

// Whether the step's n sub-steps may run as islands on the pool (the broad phase's lists allowing).
// (A worker waiting for an island's heights steps it itself when no worker has it: no island waits
// for a thread to come.)
bool islands_allowed(const PhysicsWorld *world, int32_t n, int32_t bodies)
{
    const int32_t ranges = physics_phase_ranges(bodies);
    return ranges >= 2 && ranges <= kPhysicsWorkers && n <= kIslandMostSubsteps && world->joint_chain_count <= 0 &&
           colliders_still(world, n);
}

// The step's strokes, first prepares and sub-steps as islands on the pool, when the broad phase's
// lists allow it (islands_allowed holding): false, with nothing done, when not.
bool run_islands(PhysicsWorld *world, int32_t n, int32_t bodies)
{
    const int32_t ranges = physics_phase_ranges(bodies);
    for (int32_t i = 0; i < bodies; i++)
        if (world->candidate_lists[i].count < 0) return false;
    g_island_open.store(0);
    for (int spins = 0; g_island_threads.load() != 0; spins++) physics_spin_wait(spins);
    g_island.substeps = n;
    g_island.bodies = bodies;
    g_island.ranges = ranges;
    g_island.phase = physics_next_phase_number();
    g_island.first_serial = g_physics_substep_serial + 1;
    // The islands change only with the lists: most steps keep them.
    const size_t lists = size_t(bodies) * sizeof(CandidateList);
    if (bodies != g_shared_bodies || ranges != g_shared_ranges ||
        memcmp(g_shared_lists, world->candidate_lists, lists) != 0) {
        share_islands(world, bodies, ranges);
        memcpy(g_shared_lists, world->candidate_lists, lists);
        g_shared_bodies = bodies;
        g_shared_ranges = ranges;
    }
    // Opened for the phase. (Its publication orders these stores before the reads of the threads
    // that take it; a thread late from an earlier islands phase, which does not read it, finds the
    // new phase's number once it finds the islands open.)
    g_island_phase.store(g_island.phase, std::memory_order_relaxed);
    g_island_open.store(1, std::memory_order_release);
    g_physics_island_steps++;
    physics_run_phase(kJobIslands, g_island_order, bodies);
    g_physics_substep_serial += uint32_t(n);
    // The order of the last sub-step's heights, as the sub-steps one by one leave it: here when no
    // worker has taken it, else waited for at the step's end (island_sort_wait).
    island_sort(g_island.phase);
    return true;
}

// The islands phase's body order made (the step's end: nothing before reads the order).
void island_sort_wait()
{
    const uint64_t made = uint64_t(g_island.phase) << 2 | kSortMade;
    for (int spins = 0; g_island_sort.load(std::memory_order_acquire) != made; spins++) physics_spin_wait(spins);
}

}  // namespace

void physics_sort_body_order(PhysicsWorld *world, int32_t bodies)
{
    BodyOrderEntry *order = world->body_order;
    const float *heights = world->body_heights;
    if (sort_as_kept(heights, order, bodies) || sort_by_insertion(heights, order, bodies)) {
        rank_bodies(world, bodies);
        return;
    }
    exchange_sort(heights, order, bodies);
    rank_bodies(world, bodies);
    // Kept only when sorted: a y that is not a number compares with nothing.
    g_sorted_count = -1;
    for (int32_t p = 0; p < bodies; p++) {
        if (std::isnan(order[p].y) || (p + 1 < bodies && !(order[p].y >= order[p + 1].y))) return;
        g_sorted_body[p] = order[p].body;
        g_sorted_tie[p] = p + 1 < bodies && order[p].y == order[p + 1].y ? 1 : 0;
    }
    g_sorted_count = bodies;
}

alignas(64) uint32_t g_physics_substep_serial = 1;
uint64_t g_physics_island_steps = 0;
std::atomic<uint64_t> g_physics_island_lookups{0};
constinit thread_local uint8_t g_physics_use_collide_positions = 0;
constinit thread_local uint32_t g_physics_island_serial = 0;

namespace {

void order_by_rank(int16_t *bodies, int32_t n, const int16_t *rank)
{
    for (int32_t c = 1; c < n; c++) {
        const int16_t j = bodies[c];
        int32_t at = c;
        for (; at > 0 && rank[bodies[at - 1]] > rank[j]; at--) bodies[at] = bodies[at - 1];
        bodies[at] = j;
    }
}

}  // namespace

void physics_order_tied(int16_t *bodies, int32_t count)
{
    if (t_island.substep >= 0) order_by_rank(bodies, count, island_rank(t_island.substep));
}

int32_t physics_rank_candidates(const PhysicsWorld *world, int32_t i, const CandidateList &candidates,
                                int16_t *ranked, uint8_t *tied)
{
    int32_t n = 0;
    for (int32_t c = 0; c < candidates.count && c < kPhysicsListedCandidates; c++) {
        const int16_t j = candidates.body[c];
        if (j != i && j >= 0 && j < world->body_count) {
            tied[n] = 0;
            ranked[n++] = j;
        }
    }
    if (n < 2) return n;
    const int16_t *rank = world->body_rank;
    if (t_island.substep >= 0) {
        // Highest first: the whole order's, when every two heights compare.
        const int32_t k = t_island.substep;
        float height[kPhysicsListedCandidates];
        for (int32_t c = 0; c < n; c++) height[c] = g_island_heights[ranked[c]].at[k];
        for (int32_t c = 1; c < n; c++) {
            const int16_t j = ranked[c];
            const float y = height[c];
            int32_t at = c;
            for (; at > 0 && height[at - 1] < y; at--) {
                ranked[at] = ranked[at - 1];
                height[at] = height[at - 1];
            }
            ranked[at] = j;
            height[at] = y;
        }
        // Heights that are numbers place every candidate but those of equal heights, whose order
        // matters only when two of them touch the body (the collide job's to find out). A height
        // that is not a number compares with none: the whole order places them all.
        bool numbers = true;
        for (int32_t c = 0; c < n; c++) numbers = numbers && !std::isnan(height[c]);
        if (numbers) {
            for (int32_t c = 0; c + 1 < n; c++) tied[c] = height[c] > height[c + 1] ? 0 : 1;
            return n;
        }
        rank = island_rank(k);
    }
    order_by_rank(ranked, n, rank);
    return n;
}

int32_t physics_job_islands(int32_t worker, uint32_t phase)
{
    g_island_threads.fetch_add(1);
    if (!g_island_open.load() || phase != g_island_phase.load(std::memory_order_relaxed)) {
        g_island_threads.fetch_sub(1, std::memory_order_release);
        return 0;
    }
    t_island.stepping = true;
    t_island.worker = worker;
    int32_t finished = 0;
    const int32_t ranges = g_island.ranges;
    // Its own range's islands, then the other ranges' from the next one on (the stepping thread is
    // worker 0). An island handed out is this thread's to finish; another thread may step it part
    // of the way for a lookup meanwhile, and let it go.
    const int32_t own = worker < ranges ? worker : 0;
    for (int32_t q = 0; q < ranges; q++) {
        const int32_t r = (own + q) % ranges;
        const int32_t first = g_island.range_units[r], count = g_island.range_units[r + 1] - first;
        std::atomic<uint64_t> &next = g_island_next[r].next;
        uint64_t word = next.load(std::memory_order_relaxed);
        for (;;) {
            const int32_t at = uint32_t(word >> 32) == phase ? int32_t(uint32_t(word)) : 0;
            if (at >= count) break;
            if (!next.compare_exchange_weak(word, uint64_t(phase) << 32 | uint32_t(at + 1), std::memory_order_relaxed))
                continue;
            const int32_t u = first + at;
            int32_t done = 0;
            for (int spins = 0; !take_unit(u, phase, &done); spins++) physics_spin_wait(spins);
            finished += step_unit(u, done, g_island.substeps + 1);
            word = next.load(std::memory_order_relaxed);
        }
    }
    t_island = IslandThread{};
    g_island_threads.fetch_sub(1, std::memory_order_release);
    return finished;
}

void physics_islands_sort(uint32_t phase)
{
    if (sort_taken(g_island_sort.load(std::memory_order_relaxed), phase)) return;
    // Counted among the islands' readers, as their jobs are: the stepping thread writes the
    // islands' state again only once every reader is out.
    g_island_threads.fetch_add(1);
    if (g_island_open.load() && phase == g_island_phase.load(std::memory_order_relaxed)) island_sort(phase);
    g_island_threads.fetch_sub(1, std::memory_order_release);
}

void physics_job_begin(int32_t i, int32_t worker)
{
    (void)worker;
    PhysicsWorld *world = g_physics_world_pointer;
    RigidBody *b = world->bodies[i];
    if (b->index != i) b->index = i;
    if (g_physics_placed[i].mesh) g_physics_placed[i].mesh = nullptr;
    const float T = world->frame_time;
    // Other bodies' jobs read these lines of the body: written only when they change.
    for (int k = 0; k < 3; k++)
        physics_store_changed(&b->predicted_position[k],
                              b->position[k] + (b->no_prediction ? 0.0f : b->velocity[k] * T));
    physics_store_changed(&b->prediction_margin, T * T * vec3_length(b->force) * b->inverse_mass);
    if (b->contacts != 0) b->contacts = 0;
    // Every worker reads these lines (the pair rows) and their bytes are the neighbouring bodies'
    // too: a value that did not change is not written.
    StepBodies &s = g_step_bodies;
    const float *c = b->predicted_position;
    physics_store_changed(&s.predicted[i], Predicted{c[0], c[1], c[2], b->prediction_margin});
    physics_store_changed(&s.radius[i], b->radius);
    physics_store_changed(&s.no_prediction[i], b->no_prediction);
    physics_store_changed(&s.motion[i], Motion{b->position[1], vec3_length(b->velocity)});
    physics_store_changed(&s.mesh[i], uint8_t(b->shape == kShapeMesh ? 1 : 0));
    physics_store_changed(&s.fine_mesh[i], uint8_t(b->shape == kShapeMesh && b->fine_tree_test ? 1 : 0));
    physics_store_changed(&s.collision_mesh[i], uint8_t(b->collision_mesh ? 1 : 0));
}

void physics_job_stroke_and_prepare(int32_t i, int32_t worker)
{
    PhysicsWorld *world = g_physics_world_pointer;
    RigidBody *b = world->bodies[i];
    const float dt = world->substep_time;
    float lever[3], torque[3], force[3];
    vec3_sub(lever, b->impulse_point, b->position);
    vec3_scale(torque, vec3_cross(torque, lever, b->impulse), 1.0f / dt);
    vec3_scale(force, b->impulse, 1.0f / dt);
    if (b->accumulate) {
        vec3_add(b->force, b->force, force);
        vec3_add(b->torque, b->torque, torque);
    } else {
        vec3_set(b->force, force[0], force[1], force[2]);
        vec3_set(b->torque, torque[0], torque[1], torque[2]);
    }
    physics_job_prepare(i, worker);
}

void physics_job_pairs(int32_t i, int32_t worker)
{
    (void)worker;
    pairs_row(g_physics_world_pointer, i, g_pair_rows);
}

void physics_job_pairs_stroke_and_prepare(int32_t i, int32_t worker)
{
    pairs_row(g_physics_world_pointer, i, g_pair_rows);
    physics_job_stroke_and_prepare(i, worker);
}

void physics_job_prepare(int32_t i, int32_t worker)
{
    (void)worker;
    PhysicsWorld *world = g_physics_world_pointer;
    RigidBody *b = world->bodies[i];
    BodyStep &step = g_body_step[i];
    MatrixInputs &inputs = step.matrix_inputs;
    // The joint pass makes its bodies' matrices too, from what it moved them to: made here always.
    if (world->joint_chain_count > 0 || step.made_at != g_step_stamp ||
        memcmp(inputs.quaternion, b->quaternion, sizeof inputs.quaternion) != 0 ||
        memcmp(inputs.position, b->position, sizeof inputs.position) != 0) {
        physics_body_prepare_matrices(b);
        memcpy(inputs.quaternion, b->quaternion, sizeof inputs.quaternion);
        memcpy(inputs.position, b->position, sizeof inputs.position);
        step.made_at = g_step_stamp;
    }
    if (!mesh_placed_with(step, b)) {
        physics_body_place_mesh(b, b->world_matrix, b->rotation_matrix, g_place_whole, &g_physics_placed[i]);
        if (g_place_whole) {
            g_whole[i].valid = false;
            renew_placed_revision(i, b);
        }
        memcpy(step.mesh_matrices, b->world_matrix, 16 * sizeof(float));
        memcpy(step.mesh_matrices + 16, b->rotation_matrix, 16 * sizeof(float));
        if (step.placed_at == g_step_stamp) step.replaced_at = g_step_stamp;
        step.placed_at = g_step_stamp;
        step.partial = g_place_whole ? 0 : 1;
    }
    // Islands keep each sub-step's heights (the first one's from the step's first prepare) on
    // lines of their own, and the world's are gathered from the last one's by the islands' sort:
    // the world's lines hold other workers' bodies too.
    const int32_t substep = t_island.substep + 1;
    if (t_island.stepping) {
        if (substep < kIslandMostSubsteps) g_island_heights[i].at[substep] = b->position[1];
    } else if (t_island.substep < 0) {
        physics_store_changed(&world->body_heights[i], b->position[1]);
    }
    if (b->grouped) {
        save_state(b);
        if (world->joint_chain_count <= 0) keep_grouped(b);
    } else {
        integrate_and_sleep(world, i, b, world->substep_time);
    }
    if (world->joint_chain_count <= 0) physics_keep_collide_snapshot(world, i, b);
    // Other bodies' jobs read this line of the body: written only when it changes.
    if (world->wake_time != 0 && b->woken != 0) b->woken = 0;
    clear_row(world->handled_pairs[i], g_pair_rows);
}

void physics_job_forces(int32_t i, int32_t worker)
{
    (void)worker;
    PhysicsWorld *world = g_physics_world_pointer;
    RigidBody *b = world->bodies[i];
    if (world->wake_time != 0 && b->woken == 1) {
        b->asleep = 0;
        b->wake_timer = world->wake_time;
    }
    vec3_set(b->torque, 0, 0, 0);
    vec3_set(b->force, 0, b->asleep ? 0.0f : world->gravity * b->mass, 0);
    vec3_set(b->impulse, 0, 0, 0);
}

void physics_job_correct_and_hold(int32_t i, int32_t worker)
{
    physics_job_correct(i, worker);
    PhysicsWorld *world = g_physics_world_pointer;
    RigidBody *b = world->bodies[i];
    if (b->environment && !b->grouped && (b->shape == kShapeSphere || b->shape == kShapeMesh))
        physics_hold_in_front(world, b, worker);
}

void physics_job_wake_and_collide(int32_t i, int32_t worker)
{
    g_physics_use_collide_positions = 1;
    if (g_physics_world_pointer->wake_time != 0) physics_job_wake(i, worker);
    physics_job_forces(i, worker);
    physics_job_collide(i, worker);
    g_physics_use_collide_positions = 0;
}

void physics_job_correct_hold_and_prepare(int32_t i, int32_t worker)
{
    physics_job_correct_and_hold(i, worker);
    physics_job_prepare(i, worker);
}

void physics_world_step(PhysicsWorld *world)
{
    // Settings no step can run with: nothing moves.
    if (!(world->frame_time > 0.0f) || !std::isfinite(world->frame_time)) return;
    const int32_t bodies = body_count_of(world);
    g_step_stamp++;
    for (int32_t i = 0; i < bodies; i++)
        if (g_index_order[i] != i) g_index_order[i] = i;
    physics_start_workers(world);
    physics_step_begin(bodies);
    int32_t n = world->base_substeps < 1 ? 1 : world->base_substeps;
    const float T = world->frame_time;
    physics_store_changed(&world->substeps_used, n);
    // The jobs read these: written only when they change.
    if (g_pair_rows != bodies) g_pair_rows = bodies;
    // The broad phase's pairs: on the pool a row in each body's job, else in one loop. A step like
    // the last one, which ran as islands, likely runs so too: its pairs jobs follow the begin jobs
    // in one hand-off, while this thread readies the sub-steps.
    const bool pool = physics_phase_on_pool(bodies);
    const bool chained = pool && g_islands_last && world->joint_chain_count <= 0;
    physics_phase_start(chained ? kJobBeginPairs : kJobBegin, g_index_order, bodies);
    // What reads no body's begin job first, while the workers finish theirs.
    for (int32_t s = 0; s < world->collider_count && s < kPhysicsMaxColliders; s++) {
        ColliderSlot *slot = &world->colliders[s];
        if (!slot->object) continue;
        slot->applied_valid = 0;
        physics_collider_update(slot);
        slot->applied_valid = 1;
        for (int k = 0; k < 3; k++) {
            slot->current_position[k] = slot->object->position[k];
            slot->current_rotation[k] = slot->object->rotation[k];
        }
    }
    physics_event_list_clear_pooled(&world->events);
    for (WorkerEvents &worker : world->worker_events) physics_event_list_clear_pooled(&worker.list);

    physics_phase_pairs();
    int32_t fine_bodies = 0;
    for (int32_t i = 0; i < bodies; i++) fine_bodies += g_step_bodies.fine_mesh[i];
    if (g_place_whole != (fine_bodies > 1)) g_place_whole = fine_bodies > 1;
    if (world->adaptive_substeps) n = adaptive_substeps(world, n, bodies);
    physics_store_changed(&world->substeps_used, n);
    const float dt = T / float(n);
    physics_store_changed(&world->substep_time, dt);

    physics_phase_finish();
    // Else the pairs: alone for islands (which stroke and prepare their own bodies), else in the
    // bodies' first jobs.
    const bool islands = pool && islands_allowed(world, n, bodies);
    if (islands && !chained) {
        physics_run_phase(kJobPairs, g_index_order, bodies);
    } else if (pool && !chained) {
        physics_run_phase(kJobPairsStrokePrepare, g_index_order, bodies);
    } else if (!pool) {
        pairs_all(world, bodies);
        physics_run_phase(kJobStrokePrepare, g_index_order, bodies);
    }
    // Each correction phase but the last prepares the next sub-step's bodies in the same jobs: a
    // body's correction and its next preparation read and write that body alone.
    g_islands_last = islands && run_islands(world, n, bodies);
    if (!g_islands_last) {
        if (islands || chained) physics_run_phase(kJobStrokePrepare, g_index_order, bodies);
        for (int32_t k = 0; k < n; k++) {
            substep(world, k, n, bodies);
            const bool last = k + 1 == n;
            physics_run_phase(last ? kJobCorrectHold : kJobCorrectHoldPrepare, g_index_order, bodies);
        }
    }
    g_physics_substep_serial++;
    for (int32_t i = 0; i < bodies; i++) {
        // A body without a collision mesh has no world data to place (nor a revision to renew).
        if (!g_step_bodies.collision_mesh[i]) continue;
        const BodyStep &step = g_body_step[i];
        if (step.placed_at != g_step_stamp || !step.partial) continue;
        RigidBody *b = world->bodies[i];
        // Placed with one pose all through the step, the pose of the last step's end, from the same
        // mesh: its world data (the lazily placed grid cells too) is what the placement would write.
        const float *matrices = step.mesh_matrices;
        if (step.replaced_at != g_step_stamp && same_whole_placement(g_whole[i], b, matrices)) continue;
        physics_body_place_mesh(b, matrices, matrices + 16, true, &g_physics_placed[i]);
        renew_placed_revision(i, b);
        keep_whole_placement(&g_whole[i], b, matrices);
    }

    for (int32_t s = 0; s < world->collider_count && s < kPhysicsMaxColliders; s++) {
        ColliderSlot *slot = &world->colliders[s];
        for (int k = 0; k < 3; k++) {
            slot->previous_position[k] = slot->current_position[k];
            slot->previous_rotation[k] = slot->current_rotation[k];
        }
        slot->applied_valid = 0;
        if (slot->object && slot->object->moved) slot->object->moved = 0;
    }
    for (int32_t i = 0; i < bodies; i++)
        if (g_step_bodies.mesh[i] && g_physics_placed[i].mesh) g_physics_placed[i].mesh = nullptr;
    // Jobs called outside a step (tests, tools) make the matrices again.
    g_step_stamp++;
    physics_stop_workers();
    merge_events(world);
    if (g_islands_last) island_sort_wait();
    physics_step_end(world->substeps_used);
}
