// The world step: adaptive sub-steps, the broad phase, integration and sleep. Each sub-step is two
// phases of per-body jobs on the worker pool: wake and collide; then correct, with the next
// sub-step's prepare. Where the step allows, the pool's workers instead take islands of bodies
// through all the sub-steps, the same jobs in one phase (physics/islands.cpp).
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

void interpolate_colliders(PhysicsWorld *world, float t)
{
    for (int32_t s = 0; s < world->collider_count && s < kPhysicsMaxColliders; s++) {
        ColliderSlot *slot = &world->colliders[s];
        MeshObject *mesh = slot->object;
        if (!mesh) continue;
        for (int k = 0; k < 3; k++) {
            physics_store_changed(&mesh->position[k],
                                  physics_interpolated(slot->previous_position[k], slot->current_position[k], t));
            physics_store_changed(&mesh->rotation[k],
                                  physics_interpolated(slot->previous_rotation[k], slot->current_rotation[k], t));
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

}  // namespace

// The exchange sort, largest y first: for each place p, every later entry greater than the one at
// p is swapped into p, in turn. Each pass is its chain of swaps: the scan skips from one entry
// greater than the current one at p to the next (four at a time), and makes the same swaps.
void physics_sort_exchange(const float *heights, BodyOrderEntry *order, int32_t n)
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

namespace {

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

}  // namespace

void physics_sort_body_order(PhysicsWorld *world, int32_t bodies)
{
    BodyOrderEntry *order = world->body_order;
    const float *heights = world->body_heights;
    if (sort_as_kept(heights, order, bodies) || sort_by_insertion(heights, order, bodies)) {
        rank_bodies(world, bodies);
        return;
    }
    physics_sort_exchange(heights, order, bodies);
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
constinit thread_local uint8_t g_physics_use_collide_positions = 0;

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
    physics_islands_keep_height(world, i, b->position[1]);
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
    const bool islands = pool && physics_islands_allowed(world, n, bodies);
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
    g_islands_last = islands && physics_islands_run(world, n, bodies);
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
    if (g_islands_last) physics_islands_sort_wait();
    physics_step_end(world->substeps_used);
}
