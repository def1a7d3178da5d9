// Cylinders: against spheres and sphere-tree balls, against shape-tree nodes, and against each
// other. The cylinder is approximated: rims are not rounded and contacts carry no depth.
#include "physics/physics_local.h"

#include <cmath>

namespace {

constexpr float kSegmentTolerance = 0.00001f;

struct Cylinder {
    const float *P;  // centre
    float u[3];      // unit world axis
    float R, h;
};

// The cylinder as the sphere and cylinder routines see it: the axis turned by a rotation
// computed at the call.
Cylinder cylinder_at_call(const PhysicsWorld *world, const RigidBody *body)
{
    Cylinder c;
    c.P = physics_body_position(world, body);
    float rotation[16];
    body_rotation_matrix(body, rotation);
    mat4_transform_vector(c.u, rotation, body->cylinder_axis);
    vec3_normalize(c.u);
    c.R = body->radius;
    c.h = body->cylinder_height;
    return c;
}

void record(PhysicsWorld *world, int32_t worker, int32_t mode, const float *normal, const float *point, int32_t other)
{
    if (mode != kModeTest) physics_record_contact(world, worker, normal, point, kContactBody, other, 0.0f);
}

void flip_contacts(PhysicsWorld *world, int32_t worker, int32_t from, int32_t other)
{
    if (worker < 0 || worker >= kPhysicsWorkers) return;
    ContactBuffer &buffer = world->contact_buffers[worker];
    for (int32_t c = from; c < buffer.count; c++) {
        for (int k = 0; k < 3; k++) buffer.normal[c][k] *= -1.0f;
        buffer.other[c] = other;
    }
}

int32_t count_of(const PhysicsWorld *world, int32_t worker)
{
    return worker >= 0 && worker < kPhysicsWorkers ? world->contact_buffers[worker].count : 0;
}

// Where the segment A -> B meets the side of a cylinder (centre P, unit axis u, radius R, half height
// half): the quadratic of the side, roots t1 then t2 within the segment and within the height.
// Returns how many points were written into q.
int side_crossings(const float *A, const float *B, const float *P, const float *u, float R, float half, float q[2][3])
{
    float FA[3], FB[3], V[3], W[3], ab[3], fab[3], d[3];
    collide_project_to_plane(FA, A, P, u);
    collide_project_to_plane(FB, B, P, u);
    vec3_sub(fab, FB, FA);
    vec3_sub(ab, B, A);
    vec3_sub(V, fab, ab);
    vec3_sub(W, FA, A);
    float rho_a = vec3_length(vec3_sub(d, FA, A));
    float alpha = vec3_dot(V, V), beta = 2.0f * vec3_dot(V, W), gamma = rho_a * rho_a - R * R;
    float disc = beta * beta - 4.0f * alpha * gamma;
    if (!(disc >= 0.0f) || !(alpha > 0.0f)) return 0;
    float root = sqrtf(disc);
    const float ts[2] = {(root - beta) / (2.0f * alpha), (-beta - root) / (2.0f * alpha)};
    int n = 0;
    for (float t : ts) {
        if (!(t > -kSegmentTolerance && t < 1.0f + kSegmentTolerance)) continue;
        float Q[3], qp[3];
        for (int k = 0; k < 3; k++) Q[k] = A[k] + t * ab[k];
        if (!(fabsf(vec3_dot(u, vec3_sub(qp, Q, P))) < half)) continue;
        vec3_set(q[n++], Q[0], Q[1], Q[2]);
    }
    return n;
}

// The segment L1 -> L2 against the cap disc (centre G, plane normal v, radius R).
bool cap_crossing(const float *L1, const float *L2, const float *G, const float *v, float R, float *Q)
{
    float a[3], b[3], d[3];
    float d1 = vec3_dot(v, vec3_sub(a, L1, G)), d2 = vec3_dot(v, vec3_sub(b, L2, G));
    if (!(d1 * d2 < 0.0f)) return false;
    float t = d1 / (d1 - d2);
    if (!(t > -kSegmentTolerance && t < 1.0f + kSegmentTolerance)) return false;
    for (int k = 0; k < 3; k++) Q[k] = L1[k] + t * (L2[k] - L1[k]);
    return vec3_length(vec3_sub(d, Q, G)) < R;
}

// ((a x w) x a), normalised: the part of w across the axis a.
void across(float *out, const float *a, const float *w)
{
    float c[3];
    vec3_cross(c, a, w);
    vec3_cross(out, c, a);
    vec3_normalize(out);
}

}  // namespace

float *collide_project_to_plane(float *out, const float *A, const float *B, const float *N)
{
    float d = -vec3_dot(A, N), Q[3];
    for (int k = 0; k < 3; k++) Q[k] = B[k] + 5.0f * N[k];
    float dB = vec3_dot(B, N) + d, dQ = vec3_dot(Q, N) + d;
    // A zero normal has no plane: the point stays where it is.
    if (!(dQ - dB != 0.0f)) return vec3_set(out, B[0], B[1], B[2]);
    float t = dB / (dQ - dB);
    for (int k = 0; k < 3; k++) out[k] = B[k] - (Q[k] - B[k]) * t;
    return out;
}

int32_t collide_cylinder_sphere(PhysicsWorld *world, int32_t c, int32_t o, const float *S, float r, int32_t mode,
                                int32_t worker)
{
    Cylinder cyl = cylinder_at_call(world, world->bodies[c]);
    float F[3], d[3], sp[3];
    collide_project_to_plane(F, S, cyl.P, cyl.u);
    if (!(vec3_length(vec3_sub(d, S, F)) < cyl.R + r)) return 0;
    if (!(fabsf(vec3_dot(vec3_sub(sp, S, cyl.P), cyl.u)) < cyl.h / 2.0f + r)) return 0;
    if (mode == kModeTest) return 1;
    float n[3], point[3];
    vec3_sub(n, cyl.P, S);
    float length = vec3_length(n);
    // Coincident centres: along the cylinder's axis.
    if (length > 0.0f) vec3_scale(n, n, 1.0f / length);
    else vec3_set(n, cyl.u[0], cyl.u[1], cyl.u[2]);
    for (int k = 0; k < 3; k++) point[k] = S[k] + n[k] * r;
    record(world, worker, mode, n, point, o);
    return 1;
}

int32_t collide_sphere_cylinder(PhysicsWorld *world, int32_t s, int32_t c, const float *S, float r, int32_t mode,
                                int32_t worker)
{
    int32_t from = count_of(world, worker);
    int32_t result = collide_cylinder_sphere(world, c, s, S, r, mode, worker);
    if (mode != kModeTest) flip_contacts(world, worker, from, c);
    return result;
}

int32_t collide_cylinder_balltree(PhysicsWorld *world, int32_t i, int32_t j, int32_t k, int32_t mode, int32_t worker)
{
    const RigidBody *tree_body = world->bodies[j];
    const SphereTree *tree = tree_body->sphere_tree;
    if (!tree || !tree->nodes || k < 0 || k >= tree->count) return 0;
    const SphereTreeNode *node = &tree->nodes[k];
    float W[3];
    mat4_transform_point(W, tree_body->world_matrix, node->centre);
    if (node->level < world->sphere_tree_level)
        return collide_cylinder_sphere(world, i, j, W, node->radius, mode, worker);
    if (!collide_cylinder_sphere(world, i, j, W, node->radius, kModeTest, worker)) return 0;
    int32_t any = 0;
    for (uint16_t raw : node->children) {
        int32_t child = int16_t(raw);
        if (child >= 0 && child < k && collide_cylinder_balltree(world, i, j, child, mode, worker)) any = 1;
    }
    return any;
}

int32_t collide_balltree_cylinder(PhysicsWorld *world, int32_t i, int32_t j, int32_t k, int32_t mode, int32_t worker)
{
    const RigidBody *tree_body = world->bodies[i];
    const SphereTree *tree = tree_body->sphere_tree;
    if (!tree || !tree->nodes || k < 0 || k >= tree->count) return 0;
    const SphereTreeNode *node = &tree->nodes[k];
    float W[3];
    mat4_transform_point(W, tree_body->world_matrix, node->centre);
    if (node->level < world->sphere_tree_level)
        return collide_sphere_cylinder(world, i, j, W, node->radius, mode, worker);
    if (!collide_cylinder_sphere(world, j, i, W, node->radius, kModeTest, worker)) return 0;
    int32_t any = 0;
    for (uint16_t raw : node->children) {
        int32_t child = int16_t(raw);
        if (child >= 0 && child < k && collide_balltree_cylinder(world, i, j, child, mode, worker)) any = 1;
    }
    return any;
}

int32_t collide_node_cylinder(PhysicsWorld *world, int32_t x, const ShapeTreeNode *node, int32_t y, int32_t mode,
                              int32_t worker)
{
    if (!node) return 0;
    const RigidBody *tree = world->bodies[x], *cyl = world->bodies[y];
    if (cyl->shape_tree) {
        // The two roots as boxes; their contacts (the tree body's) are turned into the cylinder's.
        int32_t from = count_of(world, worker);
        int32_t result = collide_node_node(world, x, tree->shape_tree, y, cyl->shape_tree, mode, worker);
        if (mode != kModeTest) flip_contacts(world, worker, from, x);
        return result;
    }
    static const float signs[14][3] = {{-1, 1, 1}, {1, 1, 1},  {1, -1, 1},  {-1, -1, 1}, {-1, 1, -1},
                                       {1, 1, -1}, {1, -1, -1}, {-1, -1, -1}, {0, 0, 1},  {0, 0, -1},
                                       {1, 0, 0},  {-1, 0, 0},  {0, 1, 0},   {0, -1, 0}};
    static const int segments[15][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {5, 6},  {6, 7},  {7, 4},  {4, 5},
                                        {6, 2}, {5, 1}, {4, 0}, {7, 3}, {8, 9}, {10, 11}, {12, 13}};
    static const int face_axis[6] = {2, 1, 0, 1, 0, 2};
    static const float face_sign[6] = {1, -1, -1, 1, 1, -1};
    static const int face_corner[6] = {0, 3, 0, 1, 2, 4};
    const float m = g_physics_contact_margin;
    const float *P = physics_body_position(world, cyl);
    const float R = cyl->radius, h = cyl->cylinder_height;

    float c[3], b[3][3], axis_body[3], u[3], p1[3], p2[3], e1[3], e2[3], e3[3], d[3];
    mat4_transform_point(c, tree->world_matrix, node->centre);
    for (int k = 0; k < 3; k++) {
        float v[3];
        vec3_scale(v, node->axes[k], node->half_sizes[k] + m);
        mat4_transform_vector(b[k], tree->rotation_matrix, v);
    }
    vec3_set(axis_body, cyl->cylinder_axis[0], cyl->cylinder_axis[1], cyl->cylinder_axis[2]);
    vec3_normalize(axis_body);
    mat4_transform_vector(u, cyl->rotation_matrix, axis_body);
    float e3_dir[3];
    vec3_set(e3_dir, u[0], u[1], u[2]);
    vec3_normalize(u);
    float perp[3];
    vec3_perpendicular_unit(perp, axis_body[0], axis_body[1], axis_body[2], 0);
    vec3_normalize(perp);
    mat4_transform_vector(p1, cyl->rotation_matrix, perp);
    vec3_perpendicular_unit(perp, axis_body[0], axis_body[1], axis_body[2], 1);
    vec3_normalize(perp);
    mat4_transform_vector(p2, cyl->rotation_matrix, perp);
    vec3_scale(e1, p1, R + m);
    vec3_scale(e2, p2, R + m);
    vec3_scale(e3, e3_dir, h / 2.0f + m);
    vec3_sub(d, c, P);

    // Thirteen separating axes, the cylinder taken as the box (e1, e2, e3).
    float axes[13][3];
    const float *singles[6] = {e1, e2, e3, b[0], b[1], b[2]};
    for (int k = 0; k < 6; k++) vec3_set(axes[k], singles[k][0], singles[k][1], singles[k][2]);
    vec3_add(axes[6], b[0], b[1]);
    vec3_add(axes[7], b[1], b[2]);
    vec3_add(axes[8], b[0], b[2]);
    vec3_add(axes[9], axes[6], b[2]);
    vec3_add(axes[10], e1, e2);
    vec3_add(axes[11], e2, e3);
    vec3_add(axes[12], e1, e3);
    for (auto &L : axes) {
        vec3_normalize(L);
        float S = 0.0f;
        for (const float *v : singles) S += fabsf(vec3_dot(L, v));
        if (S - fabsf(vec3_dot(L, d)) < 0.0f) return 0;
    }

    int32_t result = 0;
    float w[3], e[3], S1[3], S2[3];
    vec3_sub(w, c, P);
    vec3_normalize(w);
    if (fabsf(vec3_dot(u, w)) > 0.9f) vec3_set(e, 0, 0, 0);
    else across(e, u, w);
    for (int k = 0; k < 3; k++) {
        S1[k] = P[k] + u[k] * h / 2.0f + e[k] * R;
        S2[k] = P[k] - u[k] * h / 2.0f + e[k] * R;
    }
    float pts[14][3], normals[6][3];
    for (int p = 0; p < 14; p++) {
        float local[3];
        for (int k = 0; k < 3; k++)
            local[k] = node->centre[k] + signs[p][0] * (node->half_sizes[0] + m) * node->axes[0][k] +
                       signs[p][1] * (node->half_sizes[1] + m) * node->axes[1][k] +
                       signs[p][2] * (node->half_sizes[2] + m) * node->axes[2][k];
        mat4_transform_point(pts[p], tree->world_matrix, local);
    }
    for (int f = 0; f < 6; f++) {
        float a[3];
        vec3_scale(a, node->axes[face_axis[f]], face_sign[f]);
        mat4_transform_vector(normals[f], tree->rotation_matrix, a);
        vec3_normalize(normals[f]);
    }
    // Face pass: the side line facing the box against the box's face planes.
    for (int f = 0; f < 6; f++) {
        const float *n = normals[f], *q = pts[face_corner[f]];
        float a[3], bq[3], ac[3], bc[3];
        float d1 = vec3_dot(n, vec3_sub(a, S1, q)), d2 = vec3_dot(n, vec3_sub(bq, S2, q));
        float t = d1 / (d1 - d2);
        if (!(t > 0.0f && t < 1.0f)) continue;
        if (!(vec3_dot(n, vec3_sub(ac, S1, c)) > 0.0f && vec3_dot(n, vec3_sub(bc, S2, c)) > 0.0f)) continue;
        float normal[3], mid[3];
        vec3_scale(normal, e, -1.0f);
        for (int k = 0; k < 3; k++) mid[k] = (S1[k] + S2[k]) * 0.5f;
        record(world, worker, mode, normal, mid, x);
        result = 1;
    }
    // Segment pass: the box's segments against the side and the caps.
    for (const auto &seg : segments) {
        const float *A = pts[seg[0]], *B = pts[seg[1]];
        float FA[3], FB[3], da[3], db[3];
        collide_project_to_plane(FA, A, P, u);
        collide_project_to_plane(FB, B, P, u);
        float rho_a = vec3_length(vec3_sub(da, FA, A)), rho_b = vec3_length(vec3_sub(db, FB, B));
        if (R <= rho_a || R <= rho_b) {
            float q[2][3];
            int n = side_crossings(A, B, P, u, R, h / 2.0f, q);
            for (int k = 0; k < n; k++) {
                float normal[3];
                vec3_sub(normal, P, q[k]);
                vec3_normalize(normal);
                record(world, worker, mode, normal, q[k], x);
                result = 1;
            }
        } else {
            float mid[3], normal[3];
            for (int k = 0; k < 3; k++) mid[k] = (A[k] + B[k]) * 0.5f;
            vec3_scale(normal, w, -1.0f);
            record(world, worker, mode, normal, mid, x);
            result = 1;
        }
        for (int cap = 0; cap < 2; cap++) {
            float sign = cap == 0 ? 1.0f : -1.0f, G[3], v[3], Q[3];
            for (int k = 0; k < 3; k++) {
                G[k] = P[k] + sign * u[k] * h / 2.0f;
                v[k] = sign * u[k];
            }
            if (!cap_crossing(A, B, G, v, R, Q)) continue;
            float normal[3];
            vec3_scale(normal, v, -1.0f);
            record(world, worker, mode, normal, Q, x);
            result = 1;
        }
    }
    return result;
}

int32_t collide_node_cylinder_flipped(PhysicsWorld *world, int32_t x, const ShapeTreeNode *node, int32_t y,
                                      int32_t mode, int32_t worker)
{
    int32_t from = count_of(world, worker);
    int32_t result = collide_node_cylinder(world, x, node, y, mode, worker);
    if (mode != kModeTest) flip_contacts(world, worker, from, y);
    return result;
}

int32_t collide_tree_cylinder(PhysicsWorld *world, int32_t i, int32_t j, const ShapeTreeNode *node, int32_t mode,
                              int32_t worker)
{
    if (!node) return 0;
    switch (node->type) {
    case 4:
        if (collide_node_cylinder(world, i, node, j, kModeTest, worker) != 1) return 0;
        return collide_tree_cylinder(world, i, j, node->first, mode, worker);
    case 3: {
        int32_t a = collide_node_cylinder_flipped(world, i, node, j, mode, worker);
        int32_t b = collide_tree_cylinder(world, i, j, node->first, mode, worker);
        return a | b;
    }
    case 2:
        return collide_node_cylinder_flipped(world, i, node, j, mode, worker);
    default: {
        if (collide_node_cylinder(world, i, node, j, kModeTest, worker) != 1) return 0;
        int32_t a = collide_tree_cylinder(world, i, j, node->first, mode, worker);
        int32_t b = collide_tree_cylinder(world, i, j, node->second, mode, worker);
        return b | a;
    }
    }
}

int32_t collide_cylinder_tree(PhysicsWorld *world, int32_t i, int32_t j, const ShapeTreeNode *node, int32_t mode,
                              int32_t worker)
{
    if (!node) return 0;
    switch (node->type) {
    case 4:
        if (collide_node_cylinder(world, j, node, i, kModeTest, worker) != 1) return 0;
        return collide_cylinder_tree(world, i, j, node->first, mode, worker);
    case 3: {
        int32_t a = collide_node_cylinder(world, j, node, i, mode, worker);
        int32_t b = collide_cylinder_tree(world, i, j, node->first, mode, worker);
        return a | b;
    }
    case 2:
        return collide_node_cylinder(world, j, node, i, mode, worker);
    default: {
        if (collide_node_cylinder(world, j, node, i, kModeTest, worker) != 1) return 0;
        int32_t a = collide_cylinder_tree(world, i, j, node->first, mode, worker);
        int32_t b = collide_cylinder_tree(world, i, j, node->second, mode, worker);
        return b | a;
    }
    }
}

int32_t collide_cylinder_cylinder(PhysicsWorld *world, int32_t i, int32_t j, int32_t mode, int32_t worker)
{
    const Cylinder ci = cylinder_at_call(world, world->bodies[i]), cj = cylinder_at_call(world, world->bodies[j]);
    int32_t result = 0;
    auto contact = [&](const float *normal, const float *point) {
        record(world, worker, mode, normal, point, j);
        result = 1;
    };
    const float cosine = fabsf(vec3_dot(ci.u, cj.u));
    if (cosine > 0.9f) {
        float D[3], n[3];
        vec3_sub(D, ci.P, cj.P);
        float L = vec3_length(D);
        if (L > 0.0f) vec3_scale(n, D, 1.0f / L);
        else vec3_set(n, 0.0f, -1.0f, 0.0f);  // coincident centres: up
        float top[3], bottom[3], middle[3];
        for (int k = 0; k < 3; k++) {
            top[k] = cj.P[k] + cj.u[k] * cj.h / 2.0f;
            bottom[k] = cj.P[k] - cj.u[k] * cj.h / 2.0f;
            middle[k] = (top[k] + bottom[k]) * 0.5f;
        }
        const float *points[3] = {top, middle, bottom};
        for (const float *p : points) {
            float F[3], fp[3];
            collide_project_to_plane(F, p, ci.P, ci.u);
            if (!(vec3_length(vec3_sub(fp, F, ci.P)) < ci.h / 2.0f && L < ci.R + cj.R)) continue;
            float point[3];
            for (int k = 0; k < 3; k++) point[k] = cj.P[k] + n[k] * cj.R;
            contact(n, point);
        }
    } else {
        float w[3], e[3], S1[3], S2[3];
        vec3_sub(w, cj.P, ci.P);
        vec3_normalize(w);
        if (fabsf(vec3_dot(cj.u, w)) > 0.99999f) vec3_set(e, 0, 0, 0);
        else across(e, cj.u, w);
        for (int k = 0; k < 3; k++) {
            S1[k] = cj.P[k] + cj.u[k] * cj.h / 2.0f - e[k] * cj.R;
            S2[k] = cj.P[k] - cj.u[k] * cj.h / 2.0f - e[k] * cj.R;
        }
        float F1[3], F2[3], a[3], b[3];
        collide_project_to_plane(F1, S1, ci.P, ci.u);
        collide_project_to_plane(F2, S2, ci.P, ci.u);
        float rho1 = vec3_length(vec3_sub(a, F1, S1)), rho2 = vec3_length(vec3_sub(b, F2, S2));
        if (ci.R <= rho1 || ci.R <= rho2) {
            float q[2][3];
            int n = side_crossings(S1, S2, ci.P, ci.u, ci.R, ci.h / 2.0f, q);
            for (int k = 0; k < n; k++) {
                float normal[3];
                vec3_sub(normal, ci.P, q[k]);
                vec3_normalize(normal);
                contact(normal, q[k]);
            }
        } else {
            float mid[3], normal[3];
            for (int k = 0; k < 3; k++) mid[k] = (S1[k] + S2[k]) * 0.5f;
            vec3_scale(normal, w, -1.0f);
            contact(normal, mid);
        }
    }
    // Cap passes: each cylinder's side line facing the other against the other's cap discs.
    for (int pass = 0; pass < 2; pass++) {
        const Cylinder &line = pass == 0 ? ci : cj, &caps = pass == 0 ? cj : ci;
        float w[3], e[3], L1[3], L2[3];
        vec3_sub(w, caps.P, line.P);
        vec3_normalize(w);
        across(e, line.u, w);  // from the line's axis toward the other cylinder
        for (int k = 0; k < 3; k++) {
            L1[k] = line.P[k] + line.u[k] * line.h / 2.0f + e[k] * line.R;
            L2[k] = line.P[k] - line.u[k] * line.h / 2.0f + e[k] * line.R;
        }
        for (int cap = 0; cap < 2; cap++) {
            float s = cap == 0 ? 1.0f : -1.0f, G[3], v[3], Q[3];
            for (int k = 0; k < 3; k++) {
                G[k] = caps.P[k] + s * caps.u[k] * caps.h / 2.0f;
                v[k] = s * caps.u[k];
            }
            if (!cap_crossing(L1, L2, G, v, caps.R, Q)) continue;
            float normal[3];
            vec3_scale(normal, v, pass == 0 ? 1.0f : -1.0f);
            record(world, worker, mode, normal, Q, j);
            result = 1;
        }
    }
    return result;
}
