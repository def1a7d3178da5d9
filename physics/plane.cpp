// Bodies against the world's infinite planes (a x + b y + c z + d = 0, positive on the free side).
#include "physics/physics_local.h"

#include <cmath>

namespace {

const float kCornerSigns[8][3] = {{-1, 1, 1}, {1, 1, 1},   {1, -1, 1},  {-1, -1, 1},
                                  {-1, 1, -1}, {1, 1, -1}, {1, -1, -1}, {-1, -1, -1}};

float plane_value(const float *plane, const float *p)
{
    return plane[0] * p[0] + plane[1] * p[1] + plane[2] * p[2] + plane[3];
}

// Corner c of a box (centre and axes in body space) in world space.
void box_corner(float *out, const float *world, const float *centre, const float axes[3][3], const float *half, int c)
{
    float p[3];
    for (int k = 0; k < 3; k++)
        p[k] = centre[k] + kCornerSigns[c][0] * half[0] * axes[0][k] + kCornerSigns[c][1] * half[1] * axes[1][k] +
               kCornerSigns[c][2] * half[2] * axes[2][k];
    mat4_transform_point(out, world, p);
}

int32_t collide_node_plane(const ShapeTreeNode *node, int32_t k, PhysicsWorld *world, int32_t i, int32_t mode,
                           int32_t worker)
{
    const RigidBody *body = world->bodies[i];
    const float *plane = world->planes[k];
    int32_t result = 0;
    for (int c = 0; c < 8; c++) {
        float corner[3];
        box_corner(corner, body->world_matrix, node->centre, node->axes, node->half_sizes, c);
        float v = plane_value(plane, corner);
        if (mode != kModeRecord) {
            if (v < 0.0f) return 1;
            continue;
        }
        if (!(v < float(mode) * g_physics_contact_margin)) continue;
        float point[3];
        for (int n = 0; n < 3; n++) point[n] = corner[n] - v * plane[n];
        physics_record_contact(world, worker, plane, point, kContactPlane, k, -v);
        result = 1;
    }
    return result;
}

int32_t collide_tree_plane(PhysicsWorld *world, int32_t i, const ShapeTreeNode *node, int32_t k, int32_t mode,
                           int32_t worker)
{
    if (!node) return 0;
    switch (node->type) {
    case 2:
        return collide_node_plane(node, k, world, i, mode, worker);
    case 3: {
        int32_t a = collide_node_plane(node, k, world, i, mode, worker);
        int32_t b = collide_tree_plane(world, i, node->first, k, mode, worker);
        return a | b;
    }
    case 4:
        if (!collide_node_plane(node, k, world, i, kModeTest, worker)) return 0;
        return collide_tree_plane(world, i, node->first, k, mode, worker);
    default: {
        if (!collide_node_plane(node, k, world, i, kModeTest, worker)) return 0;
        int32_t a = collide_tree_plane(world, i, node->first, k, mode, worker);
        int32_t b = collide_tree_plane(world, i, node->second, k, mode, worker);
        return a | b;
    }
    }
}

int32_t collide_sphere_plane(PhysicsWorld *world, int32_t worker, const float *centre, float r, int32_t k,
                             int32_t mode)
{
    const float *plane = world->planes[k];
    float v = plane_value(plane, centre);
    if (!(v < r)) return 0;
    if (mode != kModeRecord) return 1;
    float point[3];
    for (int n = 0; n < 3; n++) point[n] = centre[n] - r * plane[n];
    physics_record_contact(world, worker, plane, point, kContactPlane, k, r - v);
    return 1;
}

int32_t collide_sphere_tree_plane(PhysicsWorld *world, int32_t i, int32_t node_index, int32_t k, int32_t mode,
                                  int32_t worker)
{
    const RigidBody *body = world->bodies[i];
    const SphereTree *tree = body->sphere_tree;
    if (!tree || !tree->nodes || node_index < 0 || node_index >= tree->count) return 0;
    const SphereTreeNode *node = &tree->nodes[node_index];
    float centre[3];
    mat4_transform_point(centre, body->world_matrix, node->centre);
    if (node->level < 2) return collide_sphere_plane(world, worker, centre, node->radius, k, mode);
    if (!(plane_value(world->planes[k], centre) < node->radius)) return 0;
    int32_t any = 0;
    for (uint16_t raw : node->children) {
        int32_t child = int16_t(raw);
        // Children come before their parent: a link to itself or later is not followed.
        if (child < 0 || child >= node_index) continue;
        if (collide_sphere_tree_plane(world, i, child, k, mode, worker)) any = 1;
    }
    return any;
}

int32_t collide_cylinder_plane(int32_t k, PhysicsWorld *world, int32_t i, int32_t worker)
{
    const RigidBody *body = world->bodies[i];
    const float *plane = world->planes[k];
    const float eps = g_bsp_epsilon;
    float u[3], n[3], s[3], c[3];
    mat4_transform_vector(u, body->rotation_matrix, body->cylinder_axis);
    vec3_normalize(u);
    vec3_set(n, plane[0], plane[1], plane[2]);
    vec3_normalize(n);
    if (fabsf(vec3_dot(u, n)) > 1.0f - eps) {
        vec3_set(s, 0, 0, 0);
    } else {
        vec3_cross(c, u, n);
        vec3_cross(s, c, u);
        vec3_normalize(s);
    }
    const float h = body->cylinder_height, r = body->radius;
    float p1[3], p2[3];
    for (int q = 0; q < 3; q++) {
        p1[q] = body->position[q] + u[q] * h / 2.0f - s[q] * r;
        p2[q] = body->position[q] - u[q] * h / 2.0f - s[q] * r;
    }
    float d1 = plane_value(plane, p1), d2 = plane_value(plane, p2);
    if (d1 * d2 >= 0.0f) {
        if (!(d1 < 0.0f)) return 0;
        physics_record_contact(world, worker, n, p1, kContactPlane, k, 0.0f);
        physics_record_contact(world, worker, n, p2, kContactPlane, k, 0.0f);
        return 1;
    }
    float t = -d1 / (d2 - d1);
    if (!(t > -eps && t < 1.0f + eps)) return 0;
    t = t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
    float q[3];
    for (int a = 0; a < 3; a++) q[a] = p1[a] + (p2[a] - p1[a]) * t;
    physics_record_contact(world, worker, n, q, kContactPlane, k, -(d1 < 0.0f ? d1 : d2));
    return 1;
}

}  // namespace

int32_t collide_body_planes(int32_t i, int32_t k, PhysicsWorld *world, int32_t worker)
{
    if (i < 0 || i >= world->body_count || i >= kPhysicsMaxBodies || !world->bodies[i]) return 0;
    if (k < 0 || k >= world->plane_count || k >= kPhysicsMaxPlanes) return 0;
    RigidBody *body = world->bodies[i];
    const float *plane = world->planes[k];
    const float e = plane_value(plane, body->position);
    const float r = body->radius, margin = g_physics_contact_margin;
    switch (body->shape) {
    case kShapeCylinder:
        return collide_cylinder_plane(k, world, i, worker);
    case kShapeSphere: {
        if (!(e < r + margin)) return 0;
        float point[3];
        for (int n = 0; n < 3; n++) point[n] = body->position[n] - r * plane[n];
        physics_record_contact(world, worker, plane, point, kContactPlane, k, r - e);
        return 1;
    }
    case kShapeSphereTree:
        if (!(e < r + margin) || !body->sphere_tree) return 0;
        return collide_sphere_tree_plane(world, i, body->sphere_tree->count - 1, k, kModeRecord, worker);
    case kShapeBox: {
        if (!(e < r)) return 0;
        const float origin[3] = {0, 0, 0};
        int32_t result = 0;
        for (int c = 0; c < 8; c++) {
            float corner[3];
            box_corner(corner, body->world_matrix, origin, body->box_axes, body->half_extents, c);
            float v = plane_value(plane, corner);
            if (!(v < 0.0f)) continue;
            physics_record_contact(world, worker, plane, corner, kContactPlane, k, -v);
            result = 1;
        }
        return result;
    }
    case kShapeTree:
        if (!(e < r)) return 0;
        return collide_tree_plane(world, i, body->shape_tree, k, kModeRecord, worker);
    default:
        return 0;
    }
}
