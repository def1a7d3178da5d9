// The physics world: reset, adding bodies and static meshes, and the body operations.
#include "physics/physics_local.h"

#include <cmath>
#include <cstdio>

PhysicsWorld g_physics_world;
float g_physics_rest_speed = 0.0f;
float g_physics_rest_spin = 0.0f;
float g_physics_contact_margin = 0.0f;

void physics_world_reset(PhysicsWorld *world)
{
    world->y_limit = -100000.0f;
    for (int32_t s = 0; s < world->collider_count && s < kPhysicsMaxColliders; s++)
        physics_collider_release(&world->colliders[s]);
    world->collider_count = 0;
    world->body_count = 0;
    world->plane_count = 0;
    physics_joint_release_chains(world);
}

int32_t physics_add_body(PhysicsWorld *world, RigidBody *body)
{
    if (!body) return 0;
    int32_t index = world->body_count;
    if (index < 0 || index >= kPhysicsMaxBodies) {
        fprintf(stderr, "physics: body table full (%d bodies), body not added\n", kPhysicsMaxBodies);
        return 0;
    }
    world->bodies[index] = body;
    body->index = index;
    body->no_prediction = 0;
    body->grouped = 0;
    body->support = nullptr;
    world->on_slope[index] = 0;
    world->body_count = index + 1;

    float best = 0.0f;
    for (int32_t e = 0; e < index; e++) {
        RigidBody *earlier = world->bodies[e];
        if (earlier->grouped) continue;
        if (collide_body_pair(world, index, e, kModeTest, 0) == 1 && earlier->radius > best) {
            best = earlier->radius;
            body->support = earlier;
        }
    }
    if (body->position[1] + 10.0f > world->y_limit) world->y_limit = body->position[1] + 10.0f;
    return 1;
}

ColliderSlot *physics_add_static_mesh(PhysicsWorld *world, MeshObject *mesh, float restitution, float friction,
                                      int32_t bsp_parameter)
{
    if (!mesh) return nullptr;
    int32_t s = world->collider_count;
    if (s < 0 || s >= kPhysicsMaxColliders) {
        fprintf(stderr, "physics: all %d collider slots in use, mesh \"%.127s\" not added\n", kPhysicsMaxColliders,
                mesh->name);
        return nullptr;
    }
    mesh_update_world_transform(mesh);
    ColliderSlot *slot = &world->colliders[s];
    if (!physics_collider_init(mesh, slot, restitution, friction, bsp_parameter)) {
        fprintf(stderr, "physics: no memory for the face tree of \"%.127s\"\n", mesh->name);
        return nullptr;
    }
    for (int32_t f = 0; f < mesh->face_count; f++) mesh->faces[f].tag = s * kPhysicsColliderTagUnit;
    mesh->moved = 0;
    for (int32_t v = 0; v < mesh->vertex_count; v++) {
        float y = mesh->vertices[v].world_position[1] + 10.0f;
        if (y > world->y_limit) world->y_limit = y;
    }
    for (int k = 0; k < 3; k++) {
        slot->current_position[k] = slot->previous_position[k] = mesh->position[k];
        slot->current_rotation[k] = slot->previous_rotation[k] = mesh->rotation[k];
    }
    world->collider_count = s + 1;
    return slot;
}

float *body_world_matrix(const RigidBody *body, float *out)
{
    mat4_identity(out);
    mat4_rotate_quat(out, body->quaternion);
    return mat4_translate(out, body->position[0], body->position[1], body->position[2]);
}

float *body_rotation_matrix(const RigidBody *body, float *out)
{
    mat4_identity(out);
    return mat4_rotate_quat(out, body->quaternion);
}

namespace {

void box_moments(float mass, const float *half, float *moments)
{
    float a = 2.0f * half[0], b = 2.0f * half[1], c = 2.0f * half[2];
    moments[0] = mass * (b * b + c * c) / 12.0f;
    moments[1] = mass * (a * a + c * c) / 12.0f;
    moments[2] = mass * (a * a + b * b) / 12.0f;
}

void sphere_moments(float mass, float r, float *moments)
{
    moments[0] = moments[1] = moments[2] = 2.0f * mass * r * r * 0.2f;
}

}  // namespace

void body_compute_mass_properties(RigidBody *body)
{
    float moments[3];
    float m = body->mass;
    switch (body->shape) {
    case kShapeBox:
        box_moments(m, body->half_extents, moments);
        break;
    case kShapeSphere:
        sphere_moments(m, body->radius, moments);
        break;
    case kShapeTree:
    case kShapeSphereTree:
    case kShapeMesh:
        if (body->shape == kShapeMesh && body->sphere_flag) {
            sphere_moments(m, body->radius, moments);
            break;
        }
        // Without a tree there is no box to take the moments from: keep the previous contents.
        if (!body->shape_tree) return;
        box_moments(m, body->shape_tree->half_sizes, moments);
        break;
    case kShapeCylinder: {
        float r = body->radius, h = body->cylinder_height;
        moments[0] = moments[1] = m * (r * r + h * h / 3.0f) / 4.0f;
        moments[2] = m * r * r / 2.0f;
        break;
    }
    default:
        return;
    }
    mat4_identity(body->inertia);
    mat4_identity(body->inverse_inertia);
    for (int k = 0; k < 3; k++) {
        body->inertia[k * 5] = moments[k];
        // A flat or massless body has a zero moment: it does not turn about that axis.
        body->inverse_inertia[k * 5] = moments[k] > 0.0f && std::isfinite(moments[k]) ? 1.0f / moments[k] : 0.0f;
    }
}

void body_reset_motion(RigidBody *body)
{
    for (int k = 0; k < 3; k++) {
        body->velocity[k] = 0.0f;
        body->angular_velocity[k] = 0.0f;
        body->force[k] = 0.0f;
        body->torque[k] = 0.0f;
        body->spin_axis[k] = 0.0f;
    }
    for (int k = 0; k < 4; k++) {
        body->saved_quaternion[k] = body->quaternion[k];
        body->integrated_quaternion[k] = body->quaternion[k];
    }
}

float *physics_quat_multiply_vector(float *out, float x, float y, float z, float q0, float q1, float q2, float q3)
{
    const float v[4] = {0.0f, x, y, z};
    const float q[4] = {q0, q1, q2, q3};
    return quat_multiply(out, v, q);
}

void physics_body_prepare(RigidBody *body)
{
    physics_body_prepare_matrices(body);
    physics_body_prepare_mesh(body);
}

void physics_body_prepare_matrices(RigidBody *body)
{
    body_rotation_matrix(body, body->rotation_matrix);
    body_world_matrix(body, body->world_matrix);
    // World-space inertia and its inverse: R^T I R with row vectors.
    float transposed[16], product[16];
    const float *r = body->rotation_matrix;
    for (int row = 0; row < 4; row++)
        for (int col = 0; col < 4; col++) transposed[row * 4 + col] = r[col * 4 + row];
    render_mat4_multiply(product, transposed, body->inverse_inertia);
    render_mat4_multiply(body->world_inverse_inertia, product, r);
    render_mat4_multiply(product, transposed, body->inertia);
    render_mat4_multiply(body->world_inertia, product, r);
}

void physics_body_prepare_mesh(RigidBody *body)
{
    MeshObject *mesh = body->collision_mesh;
    if (body->shape == kShapeMesh && mesh) {
        mesh_transform_by_matrices(mesh, body->world_matrix, body->rotation_matrix);
        for (int32_t f = 0; f < mesh->face_count; f++) {
            MeshFace *face = &mesh->faces[f];
            const int32_t *v = face->v;
            if (v[0] < 0 || v[1] < 0 || v[2] < 0 || v[0] >= mesh->vertex_count || v[1] >= mesh->vertex_count ||
                v[2] >= mesh->vertex_count)
                continue;
            for (int k = 0; k < 3; k++)
                face->centre[k] = (mesh->vertices[v[0]].world_position[k] + mesh->vertices[v[1]].world_position[k] +
                                   mesh->vertices[v[2]].world_position[k]) *
                                  0.33333334f;
        }
    }
    PointGrid *grid = body->point_grid;
    if (body->shape == kShapeMesh && grid) {
        for (int32_t z = 0; z < grid->nz && z < 4; z++)
            for (int32_t y = 0; y < grid->ny && y < 4; y++)
                for (int32_t x = 0; x < grid->nx && x < 4; x++) {
                    PointGridCell *cell = &grid->cells[x + 4 * y + 16 * z];
                    mat4_transform_point(cell->world_point, body->world_matrix, cell->point);
                }
    }
}
