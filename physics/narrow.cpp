// The narrow phase of a body pair: bounding-sphere pretest, dispatch on the two shape codes, and
// the sphere recorders.
#include "physics/physics_local.h"

#include <cmath>

namespace {

// The recorders' common end: d points from body i's centre (or ball) toward the other one, L is
// its length; the normal points back toward body i. Coincident centres push body i up (-y).
int32_t record_sphere_contact(PhysicsWorld *world, int32_t worker, const float *d, float length,
                              const float *centre, float radius, int32_t other, int32_t mode)
{
    if (mode != kModeRecord) return 1;
    float dir[3];
    if (length > 0.0f) vec3_scale(dir, d, 1.0f / length);
    else vec3_set(dir, 0.0f, 1.0f, 0.0f);
    float normal[3] = {-dir[0], -dir[1], -dir[2]};
    float point[3];
    vec3_add(point, centre, vec3_scale(point, dir, radius));
    // Body-pair contacts carry no depth; 0 keeps the slot defined.
    physics_record_contact(world, worker, normal, point, kContactBody, other, 0.0f);
    return 1;
}

bool valid_pair(const PhysicsWorld *world, int32_t i, int32_t j)
{
    return i >= 0 && j >= 0 && i < world->body_count && j < world->body_count && i < kPhysicsMaxBodies &&
           j < kPhysicsMaxBodies && world->bodies[i] && world->bodies[j];
}

}  // namespace

int32_t collide_sphere_sphere(PhysicsWorld *world, int32_t worker, int32_t i, int32_t j, int32_t mode)
{
    const RigidBody *a = world->bodies[i], *b = world->bodies[j];
    const float *pa = physics_body_position(world, a);
    float d[3];
    vec3_sub(d, physics_body_position(world, b), pa);
    float length = vec3_length(d);
    if (!(a->radius + b->radius + g_physics_contact_margin > length)) return 0;
    return record_sphere_contact(world, worker, d, length, pa, a->radius, j, mode);
}

int32_t collide_ball_sphere(PhysicsWorld *world, int32_t worker, int32_t j, const float *c, float r, int32_t mode)
{
    const RigidBody *b = world->bodies[j];
    float d[3];
    vec3_sub(d, physics_body_position(world, b), c);
    float length = vec3_length(d);
    if (!(r + b->radius > length)) return 0;
    return record_sphere_contact(world, worker, d, length, c, r, j, mode);
}

int32_t collide_sphere_ball(PhysicsWorld *world, int32_t worker, int32_t i, int32_t j, const float *c, float r,
                            int32_t mode)
{
    const RigidBody *a = world->bodies[i];
    const float *pa = physics_body_position(world, a);
    float d[3];
    vec3_sub(d, c, pa);
    float length = vec3_length(d);
    if (!(a->radius + r > length)) return 0;
    return record_sphere_contact(world, worker, d, length, pa, a->radius, j, mode);
}

int32_t collide_ball_ball(PhysicsWorld *world, int32_t worker, int32_t j, const float *a, float ra, const float *b,
                          float rb, int32_t mode)
{
    float d[3];
    vec3_sub(d, b, a);
    float length = vec3_length(d);
    // Twice the radius of body j's ball, not ra + rb.
    if (!(2.0f * rb > length)) return 0;
    return record_sphere_contact(world, worker, d, length, a, ra, j, mode);
}

int32_t collide_body_pair(PhysicsWorld *world, int32_t i, int32_t j, int32_t mode, int32_t worker)
{
    if (!valid_pair(world, i, j)) return 0;
    const RigidBody *a = world->bodies[i], *b = world->bodies[j];
    const int32_t si = a->shape, sj = b->shape;
    if (si < 1 || si > 6 || sj < 1 || sj > 6) return 0;
    const bool tree_i = si == 3 || si == 6, tree_j = sj == 3 || sj == 6;

    // Pairs that no routine handles: nothing is tested.
    if ((si == 6 && (sj == 1 || sj == 4 || sj == 5)) || (sj == 6 && (si == 1 || si == 4 || si == 5)) ||
        (si == 1 && (sj == 4 || sj == 5)) || (sj == 1 && (si == 4 || si == 5)))
        return 0;

    // Pairs without the bounding-sphere pretest.
    const bool no_pretest = (si == 2 && sj == 2) || (si == 5 && (sj == 5 || sj == 4 || sj == 2)) ||
                            (si == 4 && sj == 5) || (si == 2 && sj == 5) || (si == 2 && sj == 1) ||
                            (si == 1 && (sj == 2 || sj == 1));
    if (!no_pretest) {
        float d[3];
        vec3_sub(d, physics_body_position(world, b), physics_body_position(world, a));
        if (!(vec3_length(d) < a->radius + b->radius)) return 0;
    }

    if (si == 6 && sj == 6) {
        if (a->fine_tree_test && b->fine_tree_test) {
            if (collide_node_node(world, i, a->shape_tree, j, b->shape_tree, kModeTest, worker) != 1) return 0;
            return collide_tree_fine(world, i, j, mode, worker);
        }
        return collide_node_node(world, i, a->shape_tree, j, b->shape_tree, mode, worker);
    }
    if (tree_i && tree_j) return collide_tree_tree(world, i, j, a->shape_tree, b->shape_tree, mode, worker);
    if (tree_i && sj == 2) return collide_tree_sphere(world, i, j, a->shape_tree, mode, worker);
    if (si == 2 && tree_j) return collide_sphere_tree(world, i, j, b->shape_tree, mode, worker);
    if (si == 2 && sj == 2) return collide_sphere_sphere(world, worker, i, j, mode);
    const int32_t root_i = a->sphere_tree ? a->sphere_tree->count - 1 : -1;
    const int32_t root_j = b->sphere_tree ? b->sphere_tree->count - 1 : -1;
    if (si == 4 && sj == 2) return collide_balltree_sphere(world, i, j, root_i, mode, worker);
    if (si == 2 && sj == 4) return collide_sphere_balltree(world, i, j, root_j, mode, worker);
    if (si == 4 && sj == 4) {
        if (collide_node_node(world, i, a->shape_tree, j, b->shape_tree, kModeTest, worker) != 1) return 0;
        return collide_balltree_balltree(world, i, j, root_i, root_j, mode, worker, 0);
    }
    if (si == 4 && sj == 3) return collide_balltree_tree(world, i, j, root_i, b->shape_tree, mode, worker);
    if (si == 3 && sj == 4) return collide_tree_balltree(world, i, j, a->shape_tree, root_j, mode, worker);
    if (si == 2 && sj == 1) return collide_sphere_box(world, i, j, mode, worker);
    if (si == 1 && sj == 2) return collide_box_sphere(world, i, j, mode, worker);
    if (si == 1 && sj == 1) return collide_box_box(world, i, j, mode, worker);
    if (si == 3 && sj == 1) return collide_tree_box(world, i, j, a->shape_tree, mode, worker);
    if (si == 1 && sj == 3) return collide_box_tree(world, i, j, b->shape_tree, mode, worker);
    if (si == 5 && sj == 5) return collide_cylinder_cylinder(world, i, j, mode, worker);
    if (si == 5 && sj == 4) return collide_cylinder_balltree(world, i, j, root_j, mode, worker);
    if (si == 4 && sj == 5) return collide_balltree_cylinder(world, i, j, root_i, mode, worker);
    if (si == 3 && sj == 5) return collide_tree_cylinder(world, i, j, a->shape_tree, mode, worker);
    if (si == 5 && sj == 3) return collide_cylinder_tree(world, i, j, b->shape_tree, mode, worker);
    if (si == 5 && sj == 2)
        return collide_cylinder_sphere(world, i, j, physics_body_position(world, b), b->radius, mode, worker);
    if (si == 2 && sj == 5)
        return collide_sphere_cylinder(world, i, j, physics_body_position(world, a), a->radius, mode, worker);
    return 0;
}
