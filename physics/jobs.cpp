// The per-body jobs of a sub-step: wake, collide (contacts into impulses) and correct (the impulses
// into the velocities, the body out of its contacts).
// A job writes only its own body, its worker's contact buffer and event list, and byte marks of 1.
#include "physics/physics_local.h"

#include <cmath>
#include <cstring>

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

// The impulses of one collide job, summed: linear, and angular about the body's centre. They are
// kept apart from the body's force and torque, so that a resting contact, which wipes the force
// that holds the body into its support (gravity), never wipes another contact's bounce.
struct ImpulseSum {
    float linear[3];
    float angular[3];
};

void add_impulse(ImpulseSum *sum, const float *r, const float *P, float scale)
{
    float L[3];
    vec3_cross(L, r, P);
    for (int k = 0; k < 3; k++) {
        sum->linear[k] += scale * P[k];
        sum->angular[k] += scale * L[k];
    }
}

void record_event(PhysicsWorld *world, int32_t i, int32_t worker, int32_t kind, int32_t other, const float *p,
                  float vn)
{
    if (!world->record_events) return;
    CollisionEventNode *node = physics_event_append_pooled(&world->worker_events[worker].list, worker);
    CollisionEvent &event = node->value;
    event.kind = uint8_t(kind == kContactBody ? 1 : (kind == kContactPlane ? 2 : 3));
    event.event_class = fabsf(vn) < 0.1f ? 5 : 1;
    vec3_set(event.point, p[0], p[1], p[2]);
    event.body = i;
    event.other = physics_contact_on_mesh(kind) ? other / kPhysicsColliderTagUnit : other;
    event.normal_speed = vn;
}

void zero_accumulators(RigidBody *body)
{
    vec3_set(body->force, 0, 0, 0);
    vec3_set(body->torque, 0, 0, 0);
}

// Removes from the body's displacement its part against the contact's normal.
void clamp_displacement(RigidBody *body, const float *n)
{
    const float d = vec3_dot(n, body->displacement);
    if (d < 0.0f)
        for (int k = 0; k < 3; k++) body->displacement[k] -= d * n[k];
}

// A resting contact holds the body where it is, unless the body is on a slope it would roll down:
// there it rolls on. (A wall along the way down bears none of its weight; and since a settling
// contact leaves the body no normal speed, the support itself is met resting in every sub-step,
// which held a ball still halfway up a ramp once it stopped climbing.)
void rest_on(RigidBody *body, bool downhill)
{
    if (!downhill) zero_accumulators(body);
}

// The response to body contact c of the worker's buffer: its impulse, shared by the body contacts.
void respond_to_body(PhysicsWorld *world, int32_t i, int32_t worker, int32_t c, const float *v, int32_t n_body,
                     bool downhill, ImpulseSum *sum)
{
    RigidBody *body = world->bodies[i];
    const ContactBuffer &buffer = world->contact_buffers[worker];
    const float eps = g_bsp_epsilon;
    const float *n = buffer.normal[c], *p = buffer.point[c];
    const int32_t j = buffer.other[c];
    clamp_displacement(body, n);
    if (j < 0 || j >= world->body_count || !world->bodies[j]) return;
    const RigidBody *other = world->bodies[j];
    const float *x = body->position;
    const float *xo = physics_body_position(world, other);
    if (x[1] < xo[1]) body->support = const_cast<RigidBody *>(other);
    float r[3], rj[3] = {0, 0, 0}, u[3];
    vec3_sub(r, p, x);
    point_velocity(u, v, body->angular_velocity, r);
    const RigidBody *fast_other = nullptr;
    if (other->fast) {
        float uo[3];
        vec3_sub(rj, p, xo);
        point_velocity(uo, world->snapshots[j].velocity, other->angular_velocity, rj);
        vec3_sub(u, u, uo);
        fast_other = other;
    }
    const float vn = vec3_dot(u, n);
    if (!fast_other && vn > -eps && vn < 0.0f) {
        rest_on(body, downhill);
        return;
    }
    float P[3];
    if (!(vn < -eps) || !physics_contact_impulse(body, fast_other, n, r, rj, u, vn, other->restitution,
                                                 other->friction, P))
        return;
    record_event(world, i, worker, kContactBody, j, p, vn);
    if (n_body > 0) add_impulse(sum, r, P, 1.0f / float(n_body));
}

// The environment contacts of one face plane of one party: the points where the body's mesh crosses
// it are one contact at their centre. (Each point taken alone, sharing an impulse with every other
// environment contact, gave a ball rolling into a rail a bounce of a fraction of the rail's: the
// floor's points took their shares, and the off-centre points spun the ball instead of stopping it.)
struct ContactGroup {
    int32_t first;  // the first contact of the group: its normal, kind and party
    int32_t count;
    float point[3];  // the sum of the points, then their centre
    float lo[3], hi[3];  // the box of the points
};

constexpr int32_t kContactGroups = 32;
// A face bears the body when its normal is within 60 degrees of straight up.
constexpr float kSupportUp = 0.5f;
// An edge contact this near (in radii) to the plane of a face the body meets is a seam.
constexpr float kSeamTolerance = 0.01f;
// Normals of one plane agree to rounding; neighbouring faces of a cup's wall differ by degrees.
constexpr float kSamePlaneCos = 0.9999f;

int32_t group_contacts(const ContactBuffer &buffer, int32_t first, int32_t end, ContactGroup *groups)
{
    int32_t count = 0;
    for (int32_t c = first; c < end; c++) {
        const float *n = buffer.normal[c];
        int32_t best = -1;
        float best_cos = -2.0f;
        for (int32_t g = 0; g < count; g++) {
            const int32_t f = groups[g].first;
            const float cos = vec3_dot(n, buffer.normal[f]);
            const bool same_party = buffer.kind[f] == buffer.kind[c] &&
                                    (physics_contact_on_mesh(buffer.kind[c])
                                         ? buffer.other[f] / kPhysicsColliderTagUnit ==
                                               buffer.other[c] / kPhysicsColliderTagUnit
                                         : buffer.other[f] == buffer.other[c]);
            if (same_party && cos > kSamePlaneCos) {
                best = g;
                break;
            }
            // A buffer with more planes than groups: the last ones join the nearest in direction.
            if (count == kContactGroups && same_party && cos > best_cos) {
                best = g;
                best_cos = cos;
            }
        }
        if (best < 0 && count < kContactGroups) {
            best = count++;
            const float *p = buffer.point[c];
            groups[best] = ContactGroup{c, 0, {0, 0, 0}, {p[0], p[1], p[2]}, {p[0], p[1], p[2]}};
        }
        if (best < 0) continue;  // no group of its party and none free: its neighbours answer for it
        ContactGroup &g = groups[best];
        const float *p = buffer.point[c];
        g.count++;
        vec3_add(g.point, g.point, p);
        for (int k = 0; k < 3; k++) {
            g.lo[k] = fminf(g.lo[k], p[k]);
            g.hi[k] = fmaxf(g.hi[k], p[k]);
        }
    }
    for (int32_t g = 0; g < count; g++) vec3_scale(groups[g].point, groups[g].point, 1.0f / float(groups[g].count));
    return count;
}

// Whether a round body's group g meets a face hidden under the ground it rolls on: a face that
// does not bear it (the side of the next tile, flush with this one) all of whose points lie behind
// a bearing face whose points are centred under the body. Met as a wall, a seam between two tiles
// stopped a rolling ball dead.
bool hidden_under_support(const ContactBuffer &buffer, const ContactGroup *groups, int32_t count, int32_t g,
                          const float *x, float radius)
{
    for (int32_t s = 0; s < count; s++) {
        const float *n = buffer.normal[groups[s].first], *q = groups[s].point;
        if (s == g || !(-n[1] > kSupportUp * vec3_length(n))) continue;
        float off[3];
        vec3_sub(off, q, x);
        const float along = vec3_dot(off, n);
        for (int k = 0; k < 3; k++) off[k] -= along * n[k];
        if (!(vec3_length(off) < 0.5f * radius)) continue;
        bool behind = true;
        for (int corner = 0; corner < 8 && behind; corner++) {
            const float p[3] = {corner & 1 ? groups[g].hi[0] : groups[g].lo[0],
                                corner & 2 ? groups[g].hi[1] : groups[g].lo[1],
                                corner & 4 ? groups[g].hi[2] : groups[g].lo[2]};
            float d[3];
            behind = vec3_dot(vec3_sub(d, p, q), n) <= 0.02f * radius;
        }
        if (behind) return true;
    }
    return false;
}

// Whether edge contact e lies on the plane of a face the body meets at its interior (a contact of
// first .. end - 1 that is no edge): then it is the seam between that face and a neighbour flush
// with it (the next tile's top or side), which the body rolls across as it would across one face.
bool on_bearing_plane(const ContactBuffer &buffer, int32_t first, int32_t end, int32_t e, float tolerance)
{
    for (int32_t c = first; c < end; c++) {
        if (buffer.kind[c] == kContactMeshEdge || buffer.kind[c] == kContactBody) continue;
        const float *n = buffer.normal[c];
        const float length = vec3_length(n);
        float d[3];
        if (length > 0.0f && fabsf(vec3_dot(vec3_sub(d, buffer.point[e], buffer.point[c]), n)) < tolerance * length)
            return true;
    }
    return false;
}

}  // namespace

int32_t physics_drop_seam_edges(ContactBuffer *buffer, int32_t first, int32_t end, float tolerance)
{
    // The contacts after the range move down with it.
    int32_t kept = first, dropped = 0;
    for (int32_t c = first; c < buffer->count; c++) {
        if (c < end && buffer->kind[c] == kContactMeshEdge && on_bearing_plane(*buffer, first, end, c, tolerance)) {
            dropped++;
            continue;
        }
        if (kept != c) {
            buffer->depth[kept] = buffer->depth[c];
            vec3_set(buffer->normal[kept], buffer->normal[c][0], buffer->normal[c][1], buffer->normal[c][2]);
            vec3_set(buffer->point[kept], buffer->point[c][0], buffer->point[c][1], buffer->point[c][2]);
            buffer->kind[kept] = buffer->kind[c];
            buffer->other[kept] = buffer->other[c];
        }
        kept++;
    }
    buffer->count = kept;
    return end - dropped;
}

namespace {

// The environment's restitution and friction of contact c; 0 when its party is unknown.
bool environment_material(PhysicsWorld *world, const ContactBuffer &buffer, int32_t c, float *e, float *mu)
{
    const int32_t other = buffer.other[c];
    if (buffer.kind[c] == kContactPlane) {
        if (other < 0 || other >= world->plane_count || other >= kPhysicsMaxPlanes) return false;
        *e = world->plane_restitution[other];
        *mu = world->plane_friction[other];
        return true;
    }
    const ColliderSlot *slot = physics_collider_of_tag(world, other);
    if (!slot) return false;
    *e = slot->restitution;
    *mu = slot->friction;
    return true;
}

// The velocities a body's contacts have left it with so far.
struct Motion {
    float v[3];
    float w[3];
};

void apply_to(const RigidBody *body, Motion *now, const float *r, const float *P, ImpulseSum *sum)
{
    float L[3], dw[3];
    add_impulse(sum, r, P, 1.0f);
    for (int k = 0; k < 3; k++) now->v[k] += body->inverse_mass * P[k];
    mat4_transform_point(dw, body->world_inverse_inertia, vec3_cross(L, r, P));
    vec3_add(now->w, now->w, dw);
}

// A face that does not bear the body (a wall) grips its spin, not its run along the face: the slip
// its friction acts on is the spin's alone (with the normal speed vn kept). Gripping the run as well
// took a third of the speed along a rail from a ball banked off it, and in a corner the second
// wall's grip took from the first one's bounce all the speed it gave.
void spin_slip(float *u, const float *w, const float *r, const float *n, float vn)
{
    float spin[3];
    vec3_cross(spin, w, r);
    const float along = vec3_dot(spin, n);
    for (int k = 0; k < 3; k++) u[k] = spin[k] - along * n[k] + vn * n[k];
}

// A face that does not bear the body (a wall) rubs it only along the level: its friction takes
// nothing from the spin's slip up or down the face. (A rolling ball's top spin slides down a rail
// it meets: friction against that threw the ball up by a third of its speed, over the rails at
// speed and off the far lip of a cup it crossed.)
void no_lift(const float *n, float *P)
{
    float up[3] = {n[1] * n[0], -1.0f + n[1] * n[1], n[1] * n[2]};  // -y less its part along n
    const float length = vec3_length(up);
    if (!(length > 1e-6f)) return;
    const float lift = vec3_dot(P, up) / (length * length);
    for (int k = 0; k < 3; k++) P[k] -= lift * up[k];
}

// A ball rolling on a face is held back: the face bears it a little ahead of the point under its
// centre, by kRollingLever x the face's friction x its radius, so that the face's push turns against
// its roll (which friction then takes from its speed). Never more than stops the roll.
constexpr float kRollingLever = 0.14f;

void roll_resistance(const RigidBody *body, const float *n, float pushed, float mu, const float *v, float *w,
                     ImpulseSum *sum)
{
    float along[3], axis[3], L[3], dw[3];
    const float vn = vec3_dot(v, n);
    for (int k = 0; k < 3; k++) along[k] = v[k] - vn * n[k];
    const float speed = vec3_length(along);
    if (!(speed > g_physics_rest_speed) || !(pushed > 0.0f)) return;
    vec3_scale(along, along, 1.0f / speed);
    vec3_cross(axis, along, n);  // the roll's spin is along -axis
    const float rolling = -vec3_dot(w, axis);
    if (!(rolling > 0.0f)) return;
    vec3_scale(L, axis, kRollingLever * mu * body->radius * pushed);
    mat4_transform_point(dw, body->world_inverse_inertia, L);
    const float slowed = vec3_dot(dw, axis);
    if (!(slowed > 0.0f)) return;
    const float scale = slowed > rolling ? rolling / slowed : 1.0f;
    for (int k = 0; k < 3; k++) {
        sum->angular[k] += scale * L[k];
        w[k] += scale * dw[k];
    }
}

// The environment contacts first .. end - 1, a group at a time in buffer order, each group's
// impulse taken against the velocities the groups before it left: a group that an earlier one
// already sent away at its own restitution's speed takes nothing more (two faces of a crease, the
// floor and a rail, do not both answer for one approach).
void respond_to_environment(PhysicsWorld *world, int32_t i, int32_t worker, int32_t first, int32_t end,
                            const float *v, bool downhill, ImpulseSum *sum)
{
    RigidBody *body = world->bodies[i];
    const ContactBuffer &buffer = world->contact_buffers[worker];
    const float eps = g_bsp_epsilon;
    for (int32_t c = first; c < end; c++) clamp_displacement(body, buffer.normal[c]);
    ContactGroup groups[kContactGroups];
    const int32_t count = group_contacts(buffer, first, end, groups);
    const float *x = body->position;
    const bool round = physics_body_round(body);

    Motion now;
    const float *w = body->angular_velocity;
    vec3_set(now.v, v[0], v[1], v[2]);
    vec3_set(now.w, w[0], w[1], w[2]);
    float lever[kContactGroups][3], leave[kContactGroups];
    int32_t hits[kContactGroups], hit_count = 0;
    for (int32_t g = 0; g < count; g++) {
        const int32_t c = groups[g].first;
        const float *n = buffer.normal[c], *p = groups[g].point;
        float e, mu;
        if (!environment_material(world, buffer, c, &e, &mu)) continue;
        const bool support = -n[1] > kSupportUp * vec3_length(n);
        if (round && !support && hidden_under_support(buffer, groups, count, g, x, body->radius)) continue;
        float *r = lever[g], u[3];
        vec3_sub(r, p, x);
        if (round) vec3_scale(r, n, vec3_dot(r, n));
        point_velocity(u, v, body->angular_velocity, r);
        const float vn = vec3_dot(u, n);
        if (vn > -eps && vn < 0.0f) {
            rest_on(body, downhill);
            continue;
        }
        if (!(vn < -eps)) continue;
        // The normal speed it leaves with is e times the one it came with, whatever came before.
        leave[g] = -physics_bounce_restitution(world, e, vn) * vn;
        hits[hit_count++] = g;
        point_velocity(u, now.v, now.w, r);
        const float vn_now = vec3_dot(u, n);
        if (!support) spin_slip(u, now.w, r, n, vn_now);
        float P[3];
        if (!(leave[g] > vn_now) ||
            !physics_contact_impulse_change(body, nullptr, n, r, nullptr, u, vn_now, leave[g] - vn_now, mu, P))
            continue;
        if (!support) no_lift(n, P);
        record_event(world, i, worker, buffer.kind[c], buffer.other[c], p, vn);
        apply_to(body, &now, r, P, sum);
        if (round && support) roll_resistance(body, n, vec3_dot(P, n), mu, now.v, now.w, sum);
    }
    // The friction of a face met after another can take from the speed the other sent the body
    // away with (a corner's two walls): each face struck gives back, along its normal alone, what
    // it lost so.
    for (int32_t h = 0; h < hit_count; h++) {
        const int32_t g = hits[h];
        const float *n = buffer.normal[groups[g].first], *r = lever[g];
        float u[3], P[3];
        point_velocity(u, now.v, now.w, r);
        const float vn_now = vec3_dot(u, n);
        if (leave[g] > vn_now &&
            physics_contact_impulse_change(body, nullptr, n, r, nullptr, u, vn_now, leave[g] - vn_now, 0.0f, P))
            apply_to(body, &now, r, P, sum);
    }
}

// Whether the environment contacts first .. end - 1 leave the body on a slope it would roll down:
// the most upward-facing contact face (the support) is steeper than 2 degrees, or is an edge the
// body leans past, and no other contact face stands against the way down it, which goes into
// `down`.
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
    // An edge bears a ball that leans past it however little it leans: it rolls off.
    const float level = buffer.kind[support] == kContactMeshEdge ? 1.0f : kCos2;
    if (!(length > 0.0f) || !(-n[1] < level * length)) return false;
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

// The environment push: along the depth-weighted mean normal of contacts from .. to - 1, less the
// seams among them (the edges on the plane of a face of all's contacts, when all is given).
void push_out(RigidBody *body, const ContactBuffer &buffer, int32_t from, int32_t to, int32_t all = 0)
{
    const float tolerance = kSeamTolerance * body->radius;
    int32_t count = 0;
    float sum = 0.0f, weighted[3] = {0, 0, 0};
    for (int32_t c = from; c < to; c++) {
        if (all > 0 && buffer.kind[c] == kContactMeshEdge && on_bearing_plane(buffer, 0, all, c, tolerance)) continue;
        count++;
        sum += fabsf(buffer.depth[c]);
        for (int k = 0; k < 3; k++) weighted[k] += buffer.depth[c] * buffer.normal[c][k];
    }
    if (count <= 0) return;
    float mean = sum / float(count);
    float length = vec3_length(weighted);
    // Normals that cancel out give no direction to push along.
    if (!(length > 0.0f) || !std::isfinite(length)) return;
    if (!(mean > g_bsp_epsilon)) return;
    for (int k = 0; k < 3; k++) body->position[k] += kPushFraction * mean * weighted[k] / length;
}

}  // namespace

// The impulse leans along t = n - mu u_t (u_t at most unit length) and its size J = change / K
// makes the normal speed grow by `change`. Its normal part is kept. Its tangential part, which can be
// larger than the slip it acts on (a hard hit on a spinning ball), is cut to what brings the slip
// along u_t to zero: friction stops the contact point sliding, it never drives it back (which
// turns a ball's spin into a jump off a wall).
int32_t physics_contact_impulse_change(const RigidBody *body, const RigidBody *fast_other, const float *n,
                                       const float *r, const float *rj, const float *u, float vn, float change,
                                       float mu, float *impulse)
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
    const float J = change / K;
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

int32_t physics_contact_impulse(const RigidBody *body, const RigidBody *fast_other, const float *n, const float *r,
                                const float *rj, const float *u, float vn, float e, float mu, float *impulse)
{
    return physics_contact_impulse_change(body, fast_other, n, r, rj, u, vn, -(1.0f + e) * vn, mu, impulse);
}

float physics_settling_speed(const PhysicsWorld *world)
{
    return fmaxf(g_physics_rest_speed, fabsf(world->gravity * world->frame_time));
}

float physics_bounce_restitution(const PhysicsWorld *world, float e, float vn)
{
    return -vn > physics_settling_speed(world) ? e : 0.0f;
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
    const bool round = physics_body_round(body);
    if (env_contact && round) physics_drop_seam_edges(&buffer, n_body, buffer.count, kSeamTolerance * body->radius);
    const int32_t n_env = buffer.count - n_body;
    // The flags of the neighbouring bodies share this cache line: written only when it changes.
    if (!body_contact && n_env == 0) {
        // A ball that meets nothing is not at rest, however slow: in the air, or leaving an edge.
        const uint8_t unborne = round && !body->asleep && body->environment ? 1 : 0;
        if (world->snapshots[i].on_slope != unborne) world->snapshots[i].on_slope = unborne;
        return;
    }

    float v[3];
    vec3_set(v, body->velocity[0], body->velocity[1], body->velocity[2]);
    body->support = nullptr;
    float down[3] = {0, 0, 0};
    const bool downhill = env_contact && rolls_downhill(buffer, n_body, buffer.count, down);
    ImpulseSum sum{};
    for (int32_t c = 0; c < n_body; c++) respond_to_body(world, i, worker, c, v, n_body, downhill, &sum);
    if (n_env > 0) respond_to_environment(world, i, worker, n_body, buffer.count, v, downhill, &sum);
    // The impulses change the velocities in this sub-step's correction: kept as a force for the
    // next sub-step's integration, those of a step's last sub-step were lost to the next step's
    // stroke, which replaces the force.
    physics_store_changed(&body->contact_impulse, sum.linear);
    physics_store_changed(&body->contact_angular_impulse, sum.angular);
    // It rolls on while its force (gravity and the impulses) has a part down the slope; a resting
    // contact that wiped the force holds it where it is.
    const float h = world->substep_time > 0.0f ? world->substep_time : 1.0f;
    const float pull = vec3_dot(body->force, down) + vec3_dot(sum.linear, down) / h;
    const uint8_t on_slope = downhill && pull > 0.0f ? 1 : 0;
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

namespace {

// The velocities the collide job's impulses give (cleared once taken).
void take_contact_impulses(RigidBody *body)
{
    static const float zero[3] = {0, 0, 0};
    float *P = body->contact_impulse, *L = body->contact_angular_impulse;
    if (!memcmp(P, zero, sizeof zero) && !memcmp(L, zero, sizeof zero)) return;
    float dw[3];
    for (int k = 0; k < 3; k++) body->velocity[k] += body->inverse_mass * P[k];
    vec3_add(body->angular_velocity, body->angular_velocity, mat4_transform_point(dw, body->world_inverse_inertia, L));
    vec3_set(P, 0, 0, 0);
    vec3_set(L, 0, 0, 0);
}

}  // namespace

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
    take_contact_impulses(body);
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
            if (collide_body_planes(i, k, world, worker) == 1) push_out(body, buffer, 0, buffer.count);
        }
        physics_edge_memo_replay(i, physics_substep_serial());
        if (physics_body_round(body)) {
            // A seam is known only from all the meshes' contacts: they are found first, then each
            // mesh's push follows.
            int32_t ends[kPhysicsMaxColliders + 1] = {0};
            int32_t meshes = 0;
            buffer.count = 0;
            for (; meshes < world->collider_count && meshes < kPhysicsMaxColliders; meshes++) {
                collide_body_static_mesh(world, i, &world->colliders[meshes], kModeRecord, worker);
                ends[meshes + 1] = buffer.count;
            }
            for (int32_t m = 0; m < meshes; m++) push_out(body, buffer, ends[m], ends[m + 1], buffer.count);
        } else {
            for (int32_t s = 0; s < world->collider_count && s < kPhysicsMaxColliders; s++) {
                buffer.count = 0;
                if (collide_body_static_mesh(world, i, &world->colliders[s], kModeRecord, worker) == 1)
                    push_out(body, buffer, 0, buffer.count);
            }
        }
        physics_edge_memo_end();
    }
}
