// The per-body jobs of a sub-step: wake, collide (contacts into force and torque) and correct.
// A job writes only its own body, its worker's contact buffer and event list, and byte marks of 1.
#include "physics/physics_local.h"

#include <cmath>

namespace {

// The environment push moves a body this fraction of its mean contact depth per sub-step. (At 2%
// the per-contact impulses cannot hold a slowly rolling ball once its contacts spread around its
// lowest point: it sinks and falls through the floor; 10% to 30% keep it on the surface.)
constexpr float kPushFraction = 0.2f;

bool same_group(const RigidBody *a, const RigidBody *b)
{
    return a->grouped && b->grouped && a->group_id == b->group_id;
}

bool body_moving(const RigidBody *body)
{
    return vec3_length(body->velocity) > g_physics_rest_speed ||
           vec3_length(body->angular_velocity) > g_physics_rest_spin || vec3_length(body->impulse) > g_bsp_epsilon;
}

// u = v + w x r
void point_velocity(float *u, const float *v, const float *w, const float *r)
{
    float c[3];
    vec3_add(u, v, vec3_cross(c, w, r));
}

// ((I (r x n)) x r) . along, with I applied as a point transform.
float angular_term(const float *inverse_inertia, const float *r, const float *n, const float *along)
{
    float rn[3], i_rn[3], c[3];
    vec3_cross(rn, r, n);
    mat4_transform_point(i_rn, inverse_inertia, rn);
    return vec3_dot(vec3_cross(c, i_rn, r), along);
}

// Everything one impulse needs.
struct Impulse {
    const float *n;
    const float *p;
    float u[3];
    float vn;
    float r[3];   // contact point relative to the body
    float rj[3];  // relative to a fast other body
    float e, mu;
    const RigidBody *fast_other;  // null: the other party counts as immovable
    int32_t kind;
    int32_t other;
    int32_t share;  // contacts of this class that share the impulse
};

void apply_impulse(PhysicsWorld *world, int32_t i, int32_t worker, const Impulse &c)
{
    RigidBody *body = world->bodies[i];
    float P[3];
    if (!physics_contact_impulse(body, c.fast_other, c.n, c.r, c.rj, c.u, c.vn, c.e, c.mu, P)) return;

    if (world->record_events) {
        CollisionEventNode *node = physics_event_append_pooled(&world->worker_events[worker].list, worker);
        CollisionEvent &event = node->value;
        event.kind = uint8_t(c.kind == kContactBody ? 1 : (c.kind == kContactPlane ? 2 : 3));
        event.event_class = fabsf(c.vn) < 0.1f ? 5 : 1;
        vec3_set(event.point, c.p[0], c.p[1], c.p[2]);
        event.body = i;
        event.other = c.kind == kContactMesh ? c.other / kPhysicsColliderTagUnit : c.other;
        event.normal_speed = c.vn;
    }
    if (c.share <= 0 || !(world->substep_time > 0.0f)) return;
    float F[3], torque[3];
    vec3_scale(F, P, 1.0f / (float(c.share) * world->substep_time));
    vec3_add(body->force, body->force, F);
    vec3_add(body->torque, body->torque, vec3_cross(torque, c.r, F));
}

void zero_accumulators(RigidBody *body)
{
    vec3_set(body->force, 0, 0, 0);
    vec3_set(body->torque, 0, 0, 0);
}

// The response to contact c of the worker's buffer.
// `downhill`: the body is on a slope it would roll down (rolls_downhill).
void respond(PhysicsWorld *world, int32_t i, int32_t worker, int32_t c, const float *v, int32_t n_body, int32_t n_env,
             bool downhill)
{
    RigidBody *body = world->bodies[i];
    ContactBuffer &buffer = world->contact_buffers[worker];
    const float eps = g_bsp_epsilon;
    Impulse im{};
    im.n = buffer.normal[c];
    im.p = buffer.point[c];
    im.kind = buffer.kind[c];
    im.other = buffer.other[c];

    float d = vec3_dot(im.n, body->displacement);
    if (d < 0.0f)
        for (int k = 0; k < 3; k++) body->displacement[k] -= d * im.n[k];

    const float *x = body->position;
    vec3_sub(im.r, im.p, x);
    point_velocity(im.u, v, body->angular_velocity, im.r);
    if (im.kind == kContactBody) {
        if (im.other < 0 || im.other >= world->body_count || !world->bodies[im.other]) return;
        const RigidBody *other = world->bodies[im.other];
        const float *xo = physics_body_position(world, other);
        if (x[1] < xo[1]) body->support = const_cast<RigidBody *>(other);
        im.e = other->restitution;
        im.mu = other->friction;
        im.share = n_body;
        if (other->fast) {
            float uo[3];
            vec3_sub(im.rj, im.p, xo);
            point_velocity(uo, world->snapshots[im.other].velocity, other->angular_velocity, im.rj);
            vec3_sub(im.u, im.u, uo);
            im.vn = vec3_dot(im.u, im.n);
            im.fast_other = other;
            if (im.vn < -eps) apply_impulse(world, i, worker, im);
            return;
        }
    } else if (im.kind == kContactPlane) {
        if (im.other < 0 || im.other >= world->plane_count || im.other >= kPhysicsMaxPlanes) return;
        im.e = world->plane_restitution[im.other];
        im.mu = world->plane_friction[im.other];
        im.share = n_env;
    } else {
        const ColliderSlot *slot = physics_collider_of_tag(world, im.other);
        if (!slot) return;
        im.e = slot->restitution;
        im.mu = slot->friction;
        im.share = n_env;
    }
    im.vn = vec3_dot(im.u, im.n);
    // A resting contact. On a slope a wall along the way down, which bears none of the body's
    // weight, does not hold it: wiping gravity there kept a ball still on a ramp beside a rail.
    if (im.vn > -eps && im.vn < 0.0f) {
        if (!downhill || -im.n[1] > 0.5f * vec3_length(im.n)) zero_accumulators(body);
    } else if (im.vn < -eps) {
        apply_impulse(world, i, worker, im);
    }
}

// Whether the environment contacts first .. end - 1 leave the body on a slope it would roll down:
// the most upward-facing contact face (the support) is steeper than 2 degrees and no other contact
// face stands against the way down it, which goes into `down`.
bool rolls_downhill(const ContactBuffer &buffer, int32_t first, int32_t end, float *down)
{
    const float kCos2 = 0.99939083f, kSin2 = 0.034899497f;
    if (first >= end) return false;
    int32_t support = first;
    float lowest = buffer.normal[first][1];  // the support's normal y
    for (int32_t c = first + 1; c < end; c++)
        if (buffer.normal[c][1] < lowest) {
            support = c;
            lowest = buffer.normal[c][1];
        }
    const float *n = buffer.normal[support];
    const float length = vec3_length(n);
    if (!(length > 0.0f) || !(-n[1] < kCos2 * length)) return false;
    // Gravity (+y) less its part along the support's normal.
    const float along = n[1] / (length * length);
    vec3_set(down, 0.0f, 1.0f, 0.0f);
    for (int k = 0; k < 3; k++) down[k] -= along * n[k];
    const float down_length = vec3_length(down);
    if (!(down_length > 0.0f)) return false;
    for (int32_t c = first; c < end; c++) {
        const float *m = buffer.normal[c];
        // The bound below is never above zero: a face not against the way down passes as it is.
        const float against = vec3_dot(m, down);
        if (!(against < 0.0f)) continue;
        const float m_length = vec3_length(m);
        if (m_length > 0.0f && against < -kSin2 * m_length * down_length) return false;
    }
    return true;
}

// The environment push: along the depth-weighted mean normal of the contacts just recorded.
void push_out(PhysicsWorld *world, RigidBody *body, int32_t worker)
{
    ContactBuffer &buffer = world->contact_buffers[worker];
    int32_t count = buffer.count;
    if (count <= 0) return;
    float sum = 0.0f, weighted[3] = {0, 0, 0};
    for (int32_t c = 0; c < count; c++) {
        sum += fabsf(buffer.depth[c]);
        for (int k = 0; k < 3; k++) weighted[k] += buffer.depth[c] * buffer.normal[c][k];
    }
    float mean = sum / float(count);
    float length = vec3_length(weighted);
    // Normals that cancel out give no direction to push along.
    if (!(length > 0.0f) || !std::isfinite(length)) return;
    if (!(mean > g_bsp_epsilon)) return;
    for (int k = 0; k < 3; k++) body->position[k] += kPushFraction * mean * weighted[k] / length;
}

}  // namespace

// The impulse leans along t = n - mu u_t (u_t at most unit length) and its size J = -(1 + e) vn / K
// comes from the normal speed alone. Its normal part is kept. Its tangential part, which can be
// larger than the slip it acts on (a hard hit on a spinning ball), is cut to what brings the slip
// along u_t to zero: friction stops the contact point sliding, it never drives it back (which
// turns a ball's spin into a jump off a wall).
int32_t physics_contact_impulse(const RigidBody *body, const RigidBody *fast_other, const float *n, const float *r,
                                const float *rj, const float *u, float vn, float e, float mu, float *impulse)
{
    float ut[3], t[3];
    for (int k = 0; k < 3; k++) ut[k] = u[k] - vn * n[k];
    const float slip = vec3_length(ut);
    if (slip > 1.0f) vec3_scale(ut, ut, 1.0f / slip);
    for (int k = 0; k < 3; k++) t[k] = n[k] - mu * ut[k];
    const float length = vec3_length(t);
    if (!(length > 0.0f)) return 0;
    vec3_scale(t, t, 1.0f / length);
    float K = body->inverse_mass * vec3_dot(t, n) + angular_term(body->world_inverse_inertia, r, n, n);
    if (fast_other)
        K += fast_other->inverse_mass * vec3_dot(t, n) + angular_term(fast_other->world_inverse_inertia, rj, n, t);
    // A K of zero or below (or not a number) has no meaningful impulse: none is applied.
    if (!(K > 0.0f) || !std::isfinite(K)) return 0;
    const float J = -(1.0f + e) * vn / K;
    const float along_n = J * vec3_dot(t, n);
    float tangential[3];
    for (int k = 0; k < 3; k++) tangential[k] = J * t[k] - along_n * n[k];
    const float friction = vec3_length(tangential);
    float scale = 1.0f;
    if (friction > 0.0f && slip > 0.0f) {
        // The slip's direction, and the contact point's speed along it that a unit impulse against
        // it takes away (both bodies' when the other one moves).
        float s[3];
        vec3_scale(s, ut, slip > 1.0f ? 1.0f : 1.0f / slip);
        float b = body->inverse_mass + angular_term(body->world_inverse_inertia, r, s, s);
        if (fast_other) b += fast_other->inverse_mass + angular_term(fast_other->world_inverse_inertia, rj, s, s);
        if (b > 0.0f && std::isfinite(b) && friction * b > slip) scale = slip / (friction * b);
    }
    for (int k = 0; k < 3; k++) impulse[k] = along_n * n[k] + scale * tangential[k];
    return 1;
}

void physics_job_collide(int32_t i, int32_t worker)
{
    PhysicsWorld *world = g_physics_world_pointer;
    RigidBody *body = world->bodies[i];
    ContactBuffer &buffer = world->contact_buffers[worker];
    // Other bodies' jobs read this line of the body: written only when it changes.
    if (body->contact_flags != 0) body->contact_flags = 0;
    buffer.count = 0;

    // The candidates in the body order (lowest body first).
    bool body_contact = false;
    auto collide_with = [&](int32_t j) {
        if (physics_read_byte(&world->handled_pairs[j][i])) return;
        const RigidBody *other = world->bodies[j];
        if (same_group(body, other) && !(body->group_collision && other->group_collision)) return;
        if (collide_body_pair(world, i, j, kModeRecord, worker) == 1) {
            body_contact = true;
        } else {
            physics_mark_byte(&world->handled_pairs[j][i]);
            physics_mark_byte(&world->handled_pairs[i][j]);
        }
    };
    const CandidateList &candidates = world->candidate_lists[i];
    if (body->asleep) {
        // An asleep body meets no other.
    } else if (candidates.count >= 0) {
        int16_t ranked[kPhysicsListedCandidates];
        uint8_t tied[kPhysicsListedCandidates];
        const int32_t n = physics_rank_candidates(world, i, candidates, ranked, tied);
        for (int32_t c = 0, end = 1; c < n; c = end++) {
            while (end < n && tied[end - 1]) end++;
            if (end - c == 1) {
                collide_with(ranked[c]);
                continue;
            }
            // Bodies of one height in some order: their contacts' order is that of the body order,
            // which is looked up only when two of them add contacts (or the buffer filled). A pair
            // tested again gives the same contacts and marks.
            const int32_t start = buffer.count;
            int32_t adding = 0;
            for (int32_t m = c; m < end; m++) {
                const int32_t before = buffer.count;
                collide_with(ranked[m]);
                if (buffer.count > before) adding++;
            }
            if (adding >= 2 || buffer.count >= kPhysicsContactCapacity) {
                buffer.count = start;
                physics_order_tied(ranked + c, end - c);
                for (int32_t m = c; m < end; m++) collide_with(ranked[m]);
            }
        }
    } else {
        const int32_t bodies = world->body_count < kPhysicsMaxBodies ? world->body_count : kPhysicsMaxBodies;
        for (int32_t e = 0; e < bodies; e++) {
            const int32_t j = world->body_order[e].body;
            if (j == i || j < 0 || j >= world->body_count || world->candidate_pairs[j][i] != 1) continue;
            collide_with(j);
        }
    }
    if (body_contact) {
        body->contacts++;
        body->contact_flags += 2;
    }
    const int32_t n_body = buffer.count;

    bool env_contact = false;
    if (body->environment && !body->asleep) {
        for (int32_t k = 0; k < world->plane_count && k < kPhysicsMaxPlanes; k++)
            if (world->plane_restitution[k] >= 0.0f && collide_body_planes(i, k, world, worker) == 1)
                env_contact = true;
        physics_edge_memo_store(i, physics_substep_serial());
        for (int32_t s = 0; s < world->collider_count && s < kPhysicsMaxColliders; s++)
            if (collide_body_static_mesh(world, i, &world->colliders[s], kModeRecord, worker) == 1) env_contact = true;
        physics_edge_memo_end();
        if (env_contact) body->contact_flags += 1;
    }
    const int32_t n_env = buffer.count - n_body;
    // The flags of the neighbouring bodies share this cache line: written only when it changes.
    if (!body_contact && !env_contact) {
        if (world->snapshots[i].on_slope) world->snapshots[i].on_slope = 0;
        return;
    }

    float v[3];
    vec3_set(v, body->velocity[0], body->velocity[1], body->velocity[2]);
    body->support = nullptr;
    float down[3];
    const bool downhill = env_contact && rolls_downhill(buffer, n_body, buffer.count, down);
    for (int32_t c = 0; c < buffer.count; c++) respond(world, i, worker, c, v, n_body, n_env, downhill);
    // It rolls on while its force (gravity and the impulses) has a part down the slope; a resting
    // contact that wiped the force holds it where it is.
    const uint8_t on_slope = downhill && vec3_dot(body->force, down) > 0.0f ? 1 : 0;
    if (world->snapshots[i].on_slope != on_slope) world->snapshots[i].on_slope = on_slope;
}

void physics_job_wake(int32_t i, int32_t worker)
{
    PhysicsWorld *world = g_physics_world_pointer;
    RigidBody *body = world->bodies[i];
    if (!body->asleep) return;
    // Each body finds what wakes it, so that it alone writes its woken byte.
    const float margin = g_physics_contact_margin;
    g_physics_contact_margin = 0.001f;
    bool woken = false;
    for (int32_t s = 0; s < world->collider_count && s < kPhysicsMaxColliders && !woken; s++) {
        ColliderSlot *slot = &world->colliders[s];
        woken = slot->object && slot->object->moved && collide_body_static_mesh(world, i, slot, kModeTest, worker) == 1;
    }
    // A moving body wakes one asleep that it touches (the test from the moving body's side).
    auto wakes = [&](int32_t k) {
        if (k == i || k < 0 || k >= world->body_count || !world->snapshots[k].wakes_others) return false;
        return !same_group(world->bodies[k], body) && collide_body_pair(world, k, i, kModeTest, worker) != 0;
    };
    const CandidateList &candidates = world->candidate_lists[i];
    if (body->asleep != 1) {
        // Only a body asleep as 1 is woken by another.
    } else if (candidates.count >= 0) {
        for (int32_t c = 0; c < candidates.count && !woken; c++) woken = wakes(candidates.body[c]);
    } else {
        // The pair matrix is symmetric: the body's own row, read along.
        const int32_t bodies = world->body_count < kPhysicsMaxBodies ? world->body_count : kPhysicsMaxBodies;
        for (int32_t k = 0; k < bodies && !woken; k++) woken = world->candidate_pairs[i][k] == 1 && wakes(k);
    }
    g_physics_contact_margin = margin;
    if (woken) body->woken = 1;
}

void physics_keep_collide_snapshot(PhysicsWorld *world, int32_t i, RigidBody *b)
{
    BodySnapshot &snapshot = world->snapshots[i];
    physics_store_changed(&snapshot.velocity, b->velocity);
    const int32_t fast = vec3_length(b->velocity) > 2.0f * g_physics_rest_speed &&
                                 vec3_length(b->angular_velocity) > 4.0f * g_physics_rest_spin
                             ? 1
                             : 0;
    physics_store_changed(&snapshot.position, b->position);
    physics_store_changed(&b->fast, fast);
    physics_store_changed(&snapshot.wakes_others, uint8_t(!b->asleep && body_moving(b) ? 1 : 0));
}

void physics_job_correct(int32_t i, int32_t worker)
{
    PhysicsWorld *world = g_physics_world_pointer;
    RigidBody *body = world->bodies[i];
    const float eps = g_bsp_epsilon;
    if ((body->contact_flags & 2) && !body->asleep && body->support) {
        float d[3];
        float travel = vec3_length(vec3_sub(d, body->predicted_position, body->saved_position));
        float ratio = 1.0f;
        if (!(travel < eps)) ratio = vec3_length(body->displacement) / travel;
        if (travel < eps || ratio > 1.0f) ratio = 1.0f;
        float t;
        if (ratio >= eps) {
            t = (ratio * 1.5f + 1.0f) * 0.4f;
        } else {
            vec3_set(body->velocity, 0, 0, 0);
            vec3_set(body->angular_velocity, 0, 0, 0);
            t = ratio;
        }
        for (int k = 0; k < 3; k++) body->position[k] = body->saved_position[k] + body->displacement[k] * t;
        quat_slerp(body->quaternion, body->integrated_quaternion, body->saved_quaternion, t);
    }
    if (body->contact_flags & 1) {
        ContactBuffer &buffer = world->contact_buffers[worker];
        for (int32_t k = 0; k < world->plane_count && k < kPhysicsMaxPlanes; k++) {
            buffer.count = 0;
            if (collide_body_planes(i, k, world, worker) == 1) push_out(world, body, worker);
        }
        physics_edge_memo_replay(i, physics_substep_serial());
        for (int32_t s = 0; s < world->collider_count && s < kPhysicsMaxColliders; s++) {
            buffer.count = 0;
            if (collide_body_static_mesh(world, i, &world->colliders[s], kModeRecord, worker) == 1)
                push_out(world, body, worker);
        }
        physics_edge_memo_end();
    }
}
