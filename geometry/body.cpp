// Initialisation and release of the rigid body embedded in every mesh object.
#include "geometry/body.h"

#include "geometry/vecmath.h"

#include <cstdlib>
#include <cstring>

void mesh_body_init(RigidBody *body)
{
    memset(static_cast<void *>(body), 0, sizeof *body);
    mat4_identity(body->inertia);
    mat4_identity(body->inverse_inertia);
    mat4_identity(body->world_inverse_inertia);
    mat4_identity(body->world_inertia);
    mat4_identity(body->world_matrix);
    mat4_identity(body->rotation_matrix);
    // A zero quaternion is no rotation at all and would never turn when integrated.
    body->quaternion[0] = 1.0f;
    body->integrated_quaternion[0] = 1.0f;
    body->saved_quaternion[0] = 1.0f;
    body->environment = 1;
}

void physics_free_shape_tree(ShapeTreeNode *node)
{
    if (!node) return;
    physics_free_shape_tree(node->third);
    physics_free_shape_tree(node->first);
    physics_free_shape_tree(node->second);
    delete node;
}

void mesh_free_body_shapes(RigidBody *body)
{
    physics_free_shape_tree(body->shape_tree);
    body->shape_tree = nullptr;
    if (body->sphere_tree) {
        free(body->sphere_tree->nodes);
        free(body->sphere_tree);
        body->sphere_tree = nullptr;
    }
    delete body->point_grid;
    body->point_grid = nullptr;
}
