// Boxes: box against box, box against sphere in both orders, and a shape-tree node's box against a
// box body or a sphere, all on the shared 14-point box description.
#include "physics/physics_local.h"

#include <cmath>

namespace {

// The box description: 8 corners and 6 face centres by their signs along the box axes, the 15
// segments (12 edges and 3 centre axes), and the 6 faces with their signed axis and corners (the
// plane passes through the first).
const float kPointSigns[14][3] = {{-1, 1, 1}, {1, 1, 1},  {1, -1, 1},  {-1, -1, 1}, {-1, 1, -1},
                                  {1, 1, -1}, {1, -1, -1}, {-1, -1, -1}, {0, 0, 1},  {0, 0, -1},
                                  {1, 0, 0},  {-1, 0, 0},  {0, 1, 0},   {0, -1, 0}};
const int kSegments[15][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {5, 6},  {6, 7},  {7, 4},  {4, 5},
                              {6, 2}, {5, 1}, {4, 0}, {7, 3}, {8, 9}, {10, 11}, {12, 13}};
const int kFaceAxis[6] = {2, 1, 0, 1, 0, 2};
const float kFaceSign[6] = {1, -1, -1, 1, 1, -1};
const int kFaceCorners[6][4] = {{0, 1, 2, 3}, {3, 2, 6, 7}, {0, 3, 7, 4}, {1, 0, 4, 5}, {2, 1, 5, 6}, {4, 7, 6, 5}};

struct BoxShape {
    float point[14][3];  // world
    float normal[6][3];  // world, unit (zero for a zero axis)
    float half_edge[3][3];  // world half-edge vectors h_k a_k
};

// Builds the description from a centre and axes in body space, half sizes, and the body's world
// and rotation matrices.
void box_shape(BoxShape *box, const float *centre, const float axes[3][3], const float *half, const float *world,
               const float *rotation)
{
    for (int k = 0; k < 3; k++) {
        float v[3];
        vec3_scale(v, axes[k], half[k]);
        mat4_transform_vector(box->half_edge[k], rotation, v);
    }
    for (int p = 0; p < 14; p++) {
        float local[3];
        for (int c = 0; c < 3; c++)
            local[c] = centre[c] + kPointSigns[p][0] * half[0] * axes[0][c] + kPointSigns[p][1] * half[1] * axes[1][c] +
                       kPointSigns[p][2] * half[2] * axes[2][c];
        mat4_transform_point(box->point[p], world, local);
    }
    for (int f = 0; f < 6; f++) {
        float signed_axis[3];
        vec3_scale(signed_axis, axes[kFaceAxis[f]], kFaceSign[f]);
        mat4_transform_vector(box->normal[f], rotation, signed_axis);
        vec3_normalize(box->normal[f]);
    }
}

// A body's own box: centred on its position, its box axes and half extents widened by `grow`.
void body_box(BoxShape *box, const float *world, const float *rotation, const RigidBody *body, float grow)
{
    const float origin[3] = {0, 0, 0};
    float half[3];
    for (int k = 0; k < 3; k++) half[k] = body->half_extents[k] + grow;
    box_shape(box, origin, body->box_axes, half, world, rotation);
}

// A node's box with its half sizes widened by the contact margin, in its body's stored matrices.
void node_box(BoxShape *box, const RigidBody *body, const ShapeTreeNode *node)
{
    float half[3];
    for (int k = 0; k < 3; k++) half[k] = node->half_sizes[k] + g_physics_contact_margin;
    box_shape(box, node->centre, node->axes, half, body->world_matrix, body->rotation_matrix);
}

// The matrices of a body as a pair routine computes them at the call, from the position the jobs
// may read.
void call_matrices(const PhysicsWorld *world, const RigidBody *body, float *world_m, float *rotation)
{
    body_rotation_matrix(body, rotation);
    mat4_copy(world_m, rotation);
    const float *p = physics_body_position(world, body);
    mat4_translate(world_m, p[0], p[1], p[2]);
}

float separation_extent(const float *axis, const float half_edge[3][3])
{
    return fabsf(vec3_dot(axis, half_edge[0])) + fabsf(vec3_dot(axis, half_edge[1])) +
           fabsf(vec3_dot(axis, half_edge[2]));
}

// Face directions of both boxes as separating axes: false when one separates.
bool boxes_overlap(const BoxShape &a, const BoxShape &b, const float *d)
{
    for (int box = 0; box < 2; box++)
        for (int k = 0; k < 3; k++) {
            float axis[3];
            const float *h = (box == 0 ? a : b).half_edge[k];
            vec3_set(axis, h[0], h[1], h[2]);
            vec3_normalize(axis);
            if (separation_extent(axis, a.half_edge) + separation_extent(axis, b.half_edge) < fabsf(vec3_dot(axis, d)))
                return false;
        }
    return true;
}

// The segments of `cut` against the face planes of `planes`; sign -1 records the negated normal.
int32_t segments_through_faces(PhysicsWorld *world, int32_t worker, const BoxShape &cut, const BoxShape &planes,
                               float sign, int32_t other)
{
    int32_t result = 0;
    for (int f = 0; f < 6; f++) {
        const float *n = planes.normal[f];
        float e = -vec3_dot(n, planes.point[kFaceCorners[f][0]]);
        float s[14];
        for (int k = 0; k < 14; k++) s[k] = vec3_dot(n, cut.point[k]) + e;
        float normal[3];
        vec3_scale(normal, n, sign);
        for (const auto &seg : kSegments) {
            float sa = s[seg[0]], sb = s[seg[1]];
            if (!(sa * sb < 0.0f)) continue;
            float t = -sa / (sb - sa), p[3];
            for (int c = 0; c < 3; c++) p[c] = cut.point[seg[0]][c] + t * (cut.point[seg[1]][c] - cut.point[seg[0]][c]);
            physics_record_contact(world, worker, normal, p, kContactBody, other, 0.0f);
            result = 1;
        }
    }
    return result;
}

// Whether q lies over face f: ((B - A) x (Q - A)) . n <= 0 along the face's four edges.
bool over_face(const BoxShape &box, int f, const float *q)
{
    for (int e = 0; e < 4; e++) {
        const float *a = box.point[kFaceCorners[f][e]], *b = box.point[kFaceCorners[f][(e + 1) % 4]];
        float ba[3], qa[3], c[3];
        vec3_sub(ba, b, a);
        vec3_sub(qa, q, a);
        if (vec3_dot(vec3_cross(c, ba, qa), box.normal[f]) > 0.0f) return false;
    }
    return true;
}

// The seven axes of a box against a sphere (faces, three edge middles, one corner), or the first
// `count` of them: false when one separates the sphere (centre offset d, radius r) from the box.
bool sphere_overlaps_box(const BoxShape &box, const float *d, float r, int count)
{
    const float(*A)[3] = box.half_edge;
    float axes[7][3];
    for (int k = 0; k < 3; k++) vec3_set(axes[k], A[k][0], A[k][1], A[k][2]);
    vec3_add(axes[3], A[0], A[1]);
    vec3_add(axes[4], A[0], A[2]);
    vec3_add(axes[5], A[1], A[2]);
    vec3_add(axes[6], axes[3], A[2]);
    for (int k = 0; k < count; k++) {
        vec3_normalize(axes[k]);
        if (fabsf(vec3_dot(d, axes[k])) > separation_extent(axes[k], A) + r) return false;
    }
    return true;
}

// Where the segments of the box cross the sphere (c, r); `outward` +1 records (X - c), -1 (c - X).
int32_t segments_through_sphere(PhysicsWorld *world, int32_t worker, const BoxShape &box, const float *c, float r,
                                float outward, int32_t other)
{
    int32_t result = 0;
    for (const auto &seg : kSegments) {
        const float *A = box.point[seg[0]];
        float D[3], m[3];
        vec3_sub(D, box.point[seg[1]], A);
        vec3_sub(m, A, c);
        float alpha = vec3_dot(D, D), beta = vec3_dot(m, D);
        if (!(alpha > 0.0f)) continue;  // a zero-length segment crosses nothing
        float disc = beta * beta - alpha * (vec3_dot(m, m) - r * r);
        if (!(disc >= 0.0f)) continue;
        float s = sqrtf(disc);
        const float ts[2] = {(s - beta) / alpha, (-beta - s) / alpha};
        for (float t : ts) {
            if (!(t >= 0.0f && t <= 1.0f)) continue;
            float X[3], n[3];
            for (int k = 0; k < 3; k++) X[k] = A[k] + t * D[k];
            vec3_sub(n, X, c);
            vec3_scale(n, n, outward);
            vec3_normalize(n);
            physics_record_contact(world, worker, n, X, kContactBody, other, 0.0f);
            result = 1;
        }
    }
    return result;
}

bool pretest(const PhysicsWorld *world, const RigidBody *a, const RigidBody *b)
{
    float d[3];
    vec3_sub(d, physics_body_position(world, b), physics_body_position(world, a));
    return vec3_length(d) < a->radius + b->radius;
}

// Box body b against sphere body s (box-side normals, sign -1, or sphere-side, +1).
int32_t box_sphere(PhysicsWorld *world, const RigidBody *box_body, const RigidBody *sphere, int32_t mode,
                   int32_t worker, bool sphere_first, int32_t other)
{
    if (!pretest(world, box_body, sphere)) return 0;
    float w[16], r_m[16];
    call_matrices(world, box_body, w, r_m);
    BoxShape box;
    body_box(&box, w, r_m, box_body, 0.0f);
    const float *c = physics_body_position(world, sphere);
    const float r = sphere->radius;
    float d[3];
    vec3_sub(d, c, physics_body_position(world, box_body));
    if (!sphere_overlaps_box(box, d, r, sphere_first ? 3 : 7)) return 0;
    if (mode != kModeRecord) return 1;
    const float face_sign = sphere_first ? 1.0f : -1.0f;
    int32_t result = 0;
    for (int f = 0; f < 6; f++) {
        const float *n = box.normal[f];
        float cp[3];
        float dist = vec3_dot(vec3_sub(cp, c, box.point[kFaceCorners[f][0]]), n);
        if (!(dist > 0.0f && dist < r)) continue;
        float q[3], normal[3];
        for (int k = 0; k < 3; k++) q[k] = c[k] - r * n[k];
        if (!over_face(box, f, q)) continue;
        vec3_scale(normal, n, face_sign);
        physics_record_contact(world, worker, normal, q, kContactBody, other, 0.0f);
        result = 1;
    }
    if (segments_through_sphere(world, worker, box, c, r, sphere_first ? -1.0f : 1.0f, other)) result = 1;
    return result;
}

}  // namespace

int32_t collide_box_box(PhysicsWorld *world, int32_t i, int32_t j, int32_t mode, int32_t worker)
{
    const RigidBody *a = world->bodies[i], *b = world->bodies[j];
    if (!pretest(world, a, b)) return 0;
    float wa[16], ra[16], wb[16], rb[16];
    call_matrices(world, a, wa, ra);
    call_matrices(world, b, wb, rb);
    BoxShape box_a, box_b;
    body_box(&box_a, wa, ra, a, 0.0f);
    body_box(&box_b, wb, rb, b, 0.0f);
    float d[3];
    vec3_sub(d, physics_body_position(world, b), physics_body_position(world, a));
    if (!boxes_overlap(box_a, box_b, d)) return 0;
    if (mode != kModeRecord) return 1;
    int32_t first = segments_through_faces(world, worker, box_a, box_b, 1.0f, j);
    int32_t second = segments_through_faces(world, worker, box_b, box_a, -1.0f, j);
    return first | second;
}

int32_t collide_box_sphere(PhysicsWorld *world, int32_t i, int32_t j, int32_t mode, int32_t worker)
{
    return box_sphere(world, world->bodies[i], world->bodies[j], mode, worker, false, j);
}

int32_t collide_sphere_box(PhysicsWorld *world, int32_t i, int32_t j, int32_t mode, int32_t worker)
{
    return box_sphere(world, world->bodies[j], world->bodies[i], mode, worker, true, j);
}

int32_t collide_node_box(PhysicsWorld *world, int32_t t, int32_t b, const ShapeTreeNode *node, int32_t mode,
                         int32_t worker)
{
    if (!node) return 0;
    const RigidBody *tree = world->bodies[t], *box_body = world->bodies[b];
    BoxShape nb, bb;
    node_box(&nb, tree, node);
    body_box(&bb, box_body->world_matrix, box_body->rotation_matrix, box_body, g_physics_contact_margin);
    float g[3], d[3];
    mat4_transform_point(g, tree->world_matrix, node->centre);
    vec3_sub(d, physics_body_position(world, box_body), g);
    if (!boxes_overlap(nb, bb, d)) return 0;
    if (mode != kModeRecord) return 1;
    int32_t first = segments_through_faces(world, worker, nb, bb, 1.0f, b);
    int32_t second = segments_through_faces(world, worker, bb, nb, -1.0f, b);
    return first | second;
}

int32_t collide_node_ball(PhysicsWorld *world, int32_t t, int32_t s, const ShapeTreeNode *node, const float *c,
                          float r, float grown, int32_t mode, int32_t worker)
{
    if (!node) return 0;
    const RigidBody *tree = world->bodies[t];
    BoxShape nb;
    node_box(&nb, tree, node);
    float g[3], d[3];
    mat4_transform_point(g, tree->world_matrix, node->centre);
    vec3_sub(d, c, g);
    if (!sphere_overlaps_box(nb, d, grown, 7)) return 0;
    if (mode != kModeRecord) return 1;
    int32_t result = 0;
    for (int f = 0; f < 6; f++) {
        const float *n = nb.normal[f];
        float cp[3];
        float dist = vec3_dot(vec3_sub(cp, c, nb.point[kFaceCorners[f][0]]), n);
        if (!(dist > 0.0f && dist < grown)) continue;
        float q[3], foot[3], normal[3];
        for (int k = 0; k < 3; k++) {
            q[k] = c[k] - r * n[k];
            foot[k] = c[k] - dist * n[k];
        }
        if (!over_face(nb, f, q)) continue;
        vec3_scale(normal, n, -1.0f);
        physics_record_contact(world, worker, normal, foot, kContactBody, s, 0.0f);
        result = 1;
    }
    if (result) return 1;
    return segments_through_sphere(world, worker, nb, c, grown, 1.0f, s);
}

int32_t collide_node_sphere(PhysicsWorld *world, int32_t t, int32_t s, const ShapeTreeNode *node, int32_t mode,
                            int32_t worker)
{
    const RigidBody *sphere = world->bodies[s];
    return collide_node_ball(world, t, s, node, physics_body_position(world, sphere), sphere->radius,
                             sphere->radius + g_physics_contact_margin, mode, worker);
}
