// Sphere trees: a body's tree of balls against a sphere body and against another sphere tree.
#include "physics/physics_local.h"

namespace {

// Ball k of the body's sphere tree with its world centre, or null when k names no node.
const SphereTreeNode *ball(const RigidBody *body, int32_t k, float *centre)
{
    const SphereTree *tree = body->sphere_tree;
    if (!tree || !tree->nodes || k < 0 || k >= tree->count) return nullptr;
    const SphereTreeNode *node = &tree->nodes[k];
    mat4_transform_point(centre, body->world_matrix, node->centre);
    return node;
}

// A child slot that may be visited: present, and before its parent (the root is last), so that a
// malformed array cannot recurse for ever.
int32_t child_of(const SphereTreeNode *node, int slot, int32_t k)
{
    int32_t child = int16_t(node->children[slot]);
    return child >= 0 && child < k ? child : -1;
}

}  // namespace

int32_t collide_balltree_sphere(PhysicsWorld *world, int32_t i, int32_t j, int32_t k, int32_t mode, int32_t worker)
{
    float c[3];
    const SphereTreeNode *node = ball(world->bodies[i], k, c);
    if (!node) return 0;
    if (node->level < world->sphere_tree_level) return collide_ball_sphere(world, worker, j, c, node->radius, mode);
    float d[3];
    vec3_sub(d, physics_body_position(world, world->bodies[j]), c);
    if (!(vec3_length(d) < node->radius + world->bodies[j]->radius)) return 0;
    int32_t any = 0;
    for (int slot = 0; slot < 3; slot++) {
        int32_t child = child_of(node, slot, k);
        if (child >= 0 && collide_balltree_sphere(world, i, j, child, mode, worker) == 1) any = 1;
    }
    return any;
}

int32_t collide_sphere_balltree(PhysicsWorld *world, int32_t i, int32_t j, int32_t k, int32_t mode, int32_t worker)
{
    float c[3];
    const SphereTreeNode *node = ball(world->bodies[j], k, c);
    if (!node) return 0;
    if (node->level < world->sphere_tree_level) return collide_sphere_ball(world, worker, i, j, c, node->radius, mode);
    if (collide_sphere_ball(world, worker, i, j, c, node->radius, kModeTest) == 0) return 0;
    int32_t any = 0;
    for (int slot = 0; slot < 3; slot++) {
        int32_t child = child_of(node, slot, k);
        if (child >= 0 && collide_sphere_balltree(world, i, j, child, mode, worker) == 1) any = 1;
    }
    return any;
}

int32_t collide_balltree_balltree(PhysicsWorld *world, int32_t i, int32_t j, int32_t a, int32_t b, int32_t mode,
                                  int32_t worker, int32_t depth)
{
    float ca[3], cb[3];
    const SphereTreeNode *na = ball(world->bodies[i], a, ca), *nb = ball(world->bodies[j], b, cb);
    if (!na || !nb) return 0;
    const int32_t level = world->sphere_tree_level;
    if (na->level < level && nb->level < level)
        return collide_ball_ball(world, worker, j, ca, na->radius, cb, nb->radius, mode);
    float d[3];
    vec3_sub(d, cb, ca);
    if (!(2.0f * nb->radius > vec3_length(d))) return 0;
    bool split_a = depth % 2 == 0 ? !(na->level < level) : nb->level < level;
    int32_t any = 0;
    for (int slot = 0; slot < 3; slot++) {
        int32_t child = split_a ? child_of(na, slot, a) : child_of(nb, slot, b);
        if (child < 0) continue;
        int32_t r = split_a ? collide_balltree_balltree(world, i, j, child, b, mode, worker, depth + 1)
                            : collide_balltree_balltree(world, i, j, a, child, mode, worker, depth + 1);
        if (r == 1) any = 1;
    }
    return any;
}
