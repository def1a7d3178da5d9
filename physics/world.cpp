// The physics world: reset, adding bodies and static meshes, and the body operations.
#include "physics/physics_local.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>

PhysicsWorld g_physics_world;
float g_physics_rest_speed = 0.0f;
float g_physics_rest_spin = 0.0f;
constinit thread_local float g_physics_contact_margin = 0.0f;

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
    world->snapshots[index].on_slope = 0;
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
        body->contact_impulse[k] = 0.0f;
        body->contact_angular_impulse[k] = 0.0f;
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

namespace {

// render_mat4_multiply (the same sums in the same order), inlined here.
// A row of the product in lanes: lane col sums a[row * 4 + k] * b[k * 4 + col] from 0 in the order
// of k, as the scalar form does.
inline void multiply(float *__restrict out, const float *__restrict a, const float *__restrict b)
{
    const PhysicsLanes b0 = physics_load_lanes(b), b1 = physics_load_lanes(b + 4), b2 = physics_load_lanes(b + 8),
                       b3 = physics_load_lanes(b + 12);
    for (int row = 0; row < 4; row++) {
        const float *r = a + row * 4;
        PhysicsLanes sum = {0.0f, 0.0f, 0.0f, 0.0f};
        sum += r[0] * b0;
        sum += r[1] * b1;
        sum += r[2] * b2;
        sum += r[3] * b3;
        physics_store_lanes(out + row * 4, sum);
    }
}

}  // namespace

void physics_body_prepare_matrices(RigidBody *body)
{
    body_rotation_matrix(body, body->rotation_matrix);
    // body_world_matrix: the same rotation, then the translation.
    mat4_copy(body->world_matrix, body->rotation_matrix);
    mat4_translate(body->world_matrix, body->position[0], body->position[1], body->position[2]);
    // World-space inertia and its inverse: R^T I R with row vectors.
    float transposed[16], product[16];
    const float *r = body->rotation_matrix;
    for (int row = 0; row < 4; row++)
        for (int col = 0; col < 4; col++) transposed[row * 4 + col] = r[col * 4 + row];
    float result[16];
    multiply(product, transposed, body->inverse_inertia);
    multiply(result, product, r);
    memcpy(body->world_inverse_inertia, result, sizeof result);
    multiply(product, transposed, body->inertia);
    multiply(result, product, r);
    memcpy(body->world_inertia, result, sizeof result);
}

namespace {

// out = (p, 1) m, written out as mat4_transform_point computes it (the same operations in the same
// order: the same bits) so that the loops below inline it.
inline void place_point(float *__restrict out, const float *__restrict m, const float *__restrict p)
{
    const float x = p[0] * m[0] + p[1] * m[4] + p[2] * m[8] + m[12];
    const float y = p[0] * m[1] + p[1] * m[5] + p[2] * m[9] + m[13];
    const float z = p[0] * m[2] + p[1] * m[6] + p[2] * m[10] + m[14];
    out[0] = x;
    out[1] = y;
    out[2] = z;
}

// The points (ox, oy, oz) placed as place_point computes them, into (x, y, z). (Its own function
// with unaliased arguments, so that the compiler vectorises it.)
void place_arrays(float *__restrict x, float *__restrict y, float *__restrict z, const float *__restrict ox,
                  const float *__restrict oy, const float *__restrict oz, size_t n, const float *world)
{
    const float m0 = world[0], m1 = world[1], m2 = world[2], m4 = world[4], m5 = world[5], m6 = world[6],
                m8 = world[8], m9 = world[9], m10 = world[10], m12 = world[12], m13 = world[13], m14 = world[14];
    for (size_t i = 0; i < n; i++) {
        x[i] = ox[i] * m0 + oy[i] * m4 + oz[i] * m8 + m12;
        y[i] = ox[i] * m1 + oy[i] * m5 + oz[i] * m9 + m13;
        z[i] = ox[i] * m2 + oy[i] * m6 + oz[i] * m10 + m14;
    }
}

// The mesh's world positions and normals, its faces' world normals and centres, as place_point and
// mat4_transform_vector give them (the matrices' elements held in locals: the stores into the mesh
// cannot change them). `same`: the positions placed already as arrays. A normal is turned in lanes
// (x r0 + y r4 + z r8 in lane 0, and so on) and a centre summed in lanes from the world positions
// just written: the same operations in the same order as the scalar forms.
void place_world_data(MeshObject *mesh, const float *world, const float *rotation, const PlacedVertices *same)
{
    const PhysicsLanes R0 = {rotation[0], rotation[1], rotation[2], 0.0f};
    const PhysicsLanes R1 = {rotation[4], rotation[5], rotation[6], 0.0f};
    const PhysicsLanes R2 = {rotation[8], rotation[9], rotation[10], 0.0f};
    float m[16];
    memcpy(m, world, sizeof m);
    const int32_t vertices = mesh->vertex_count;
    MeshVertex *__restrict vertex = mesh->vertices;
    for (int32_t i = 0; i < vertices; i++) {
        MeshVertex *v = &vertex[i];
        if (same) {
            v->world_position[0] = same->x[size_t(i)];
            v->world_position[1] = same->y[size_t(i)];
            v->world_position[2] = same->z[size_t(i)];
        } else {
            place_point(v->world_position, m, v->position);
        }
        const float x = v->normal[0], y = v->normal[1], z = v->normal[2];
        physics_store_three(v->world_normal, R0 * x + R1 * y + R2 * z);
    }
    static_assert(offsetof(MeshVertex, world_position) + sizeof(PhysicsLanes) <= sizeof(MeshVertex));
    const PhysicsLanes third = {0.33333334f, 0.33333334f, 0.33333334f, 0.33333334f};
    const uint32_t limit = vertices > 0 ? uint32_t(vertices) : 0u;
    MeshFace *__restrict faces = mesh->faces;
    const int32_t face_count = mesh->face_count;
    for (int32_t f = 0; f < face_count; f++) {
        MeshFace *face = &faces[f];
        const float x = face->normal[0], y = face->normal[1], z = face->normal[2];
        physics_store_three(face->world_normal, R0 * x + R1 * y + R2 * z);
        const uint32_t a = uint32_t(face->v[0]), b = uint32_t(face->v[1]), c = uint32_t(face->v[2]);
        if ((a >= limit) | (b >= limit) | (c >= limit)) continue;  // negative ones too
        const PhysicsLanes sum = physics_load_lanes(vertex[a].world_position) + physics_load_lanes(vertex[b].world_position) +
                          physics_load_lanes(vertex[c].world_position);
        physics_store_three(face->centre, sum * third);
    }
}

}  // namespace

PlacedVertices g_physics_placed[kPhysicsMaxBodies];

PlacedVertices *physics_placed_vertices(int32_t i, const MeshObject *mesh)
{
    if (i < 0 || i >= kPhysicsMaxBodies || !mesh) return nullptr;
    PlacedVertices *placed = &g_physics_placed[i];
    return placed->mesh == mesh && placed->count == mesh->vertex_count ? placed : nullptr;
}

void physics_body_place_mesh(RigidBody *body, const float *world, const float *rotation, bool whole,
                             PlacedVertices *placed)
{
    MeshObject *mesh = body->collision_mesh;
    // Arrays placed for this mesh with this matrix in this step are kept.
    const bool kept = placed && placed->mesh == mesh && mesh && placed->count == mesh->vertex_count &&
                      memcmp(placed->matrix, world, sizeof placed->matrix) == 0;
    // The neighbouring bodies' records share these lines: fields are written when they change.
    if (placed && !kept && placed->mesh) placed->mesh = nullptr;
    if (body->shape == kShapeMesh && mesh) {
        if (placed && !kept && mesh->vertex_count >= 0) {
            const size_t n = size_t(mesh->vertex_count);
            if (placed->from != mesh || placed->from_vertices != mesh->vertices ||
                placed->from_revision != mesh->revision || placed->ox.size() < n) {
                for (std::vector<float> *v : {&placed->x, &placed->y, &placed->z, &placed->ox, &placed->oy, &placed->oz})
                    if (v->size() < n) v->resize(n);
                for (size_t i = 0; i < n; i++) {
                    placed->ox[i] = mesh->vertices[i].position[0];
                    placed->oy[i] = mesh->vertices[i].position[1];
                    placed->oz[i] = mesh->vertices[i].position[2];
                }
                placed->from = mesh;
                placed->from_vertices = mesh->vertices;
                placed->from_revision = mesh->revision;
            }
            place_arrays(placed->x.data(), placed->y.data(), placed->z.data(), placed->ox.data(), placed->oy.data(),
                         placed->oz.data(), n, world);
            placed->mesh = mesh;
            placed->count = mesh->vertex_count;
            memcpy(placed->matrix, world, sizeof placed->matrix);
        }
        // Positions placed with these matrices already, as arrays, are the same values.
        const PlacedVertices *same = placed && placed->mesh == mesh ? placed : nullptr;
        if (whole) place_world_data(mesh, world, rotation, same);
    }
    PointGrid *grid = body->point_grid;
    if (placed && placed->grid_lazy) placed->grid_lazy = false;
    if (body->shape == kShapeMesh && grid && !whole && placed && placed->mesh == mesh) {
        // Only the edge pass reads the cells until the mesh is placed whole: it places those it
        // reads (a face meets few of them).
        placed->grid_lazy = true;
        placed->grid_placed = 0;
    } else if (body->shape == kShapeMesh && grid) {
        for (int32_t z = 0; z < grid->nz && z < 4; z++)
            for (int32_t y = 0; y < grid->ny && y < 4; y++)
                for (int32_t x = 0; x < grid->nx && x < 4; x++) {
                    PointGridCell *cell = &grid->cells[x + 4 * y + 16 * z];
                    place_point(cell->world_point, world, cell->point);
                }
    }
}

void physics_body_prepare_mesh(RigidBody *body)
{
    physics_body_place_mesh(body, body->world_matrix, body->rotation_matrix, true, nullptr);
    // Its world data is no longer the one a step's end left (which a step may keep).
    if (body->shape == kShapeMesh && body->collision_mesh) mesh_touch(body->collision_mesh);
}
