// Meshes, bodies and worlds built in code for the physics tests. The world's y axis points down:
// a floor's normal is (0, -1, 0) and a body above it has a smaller y.
#pragma once

#include "geometry/mesh.h"
#include "geometry/mesh_edit.h"
#include "geometry/vecmath.h"
#include "physics/physics.h"
#include "physics/physics_local.h"

#include <array>
#include <cmath>
#include <memory>
#include <vector>

// A value-initialised world on the heap (a new world: the defaults of the record).
inline std::unique_ptr<PhysicsWorld> test_new_world() { return std::unique_ptr<PhysicsWorld>(new PhysicsWorld()); }

// A mesh from corner positions and triangles; face normals from the winding.
inline MeshPtr test_mesh(const std::vector<std::array<float, 3>> &points, const std::vector<std::array<int, 3>> &tris)
{
    MeshPtr mesh(mesh_new());
    int32_t capacity = int32_t(points.size());
    if (int32_t(tris.size()) > 2 * capacity) capacity = int32_t(tris.size() + 1) / 2;
    mesh_alloc_arrays(mesh.get(), capacity);
    mesh->vertex_count = int32_t(points.size());
    for (size_t i = 0; i < points.size(); i++) vec3_set(mesh->vertices[i].position, points[i][0], points[i][1], points[i][2]);
    mesh->face_count = int32_t(tris.size());
    for (size_t f = 0; f < tris.size(); f++)
        for (int k = 0; k < 3; k++) mesh->faces[f].v[k] = tris[f][k];
    mesh_link_face_vertices(mesh.get());
    mesh_compute_normals(mesh.get());
    return mesh;
}

// A square floor in the plane y = `y`, facing up (normal (0, -1, 0)), from -half to +half on x
// and z: two triangles (0, 3, 2) and (0, 2, 1) sharing the diagonal from (-h, -h) to (h, h).
inline MeshPtr test_floor(float half, float y = 0.0f)
{
    return test_mesh({{-half, y, -half}, {half, y, -half}, {half, y, half}, {-half, y, half}}, {{0, 3, 2}, {0, 2, 1}});
}

// A prepared static mesh.
inline MeshPtr test_prepared(MeshPtr mesh)
{
    physics_prepare_mesh_faces(mesh.get());
    return mesh;
}

// A sphere body at p (shape 2), mass 1.
inline void test_sphere_body(RigidBody *body, float radius, float x, float y, float z)
{
    mesh_body_init(body);
    body->shape = kShapeSphere;
    body->radius = radius;
    body->mass = 1.0f;
    body->inverse_mass = 1.0f;
    vec3_set(body->position, x, y, z);
    body_compute_mass_properties(body);
}

// The game's ball: a shape-6 body on its own sphere mesh of radius 0.1 (detail 4) with faces
// prepared, a one-box shape tree and a point grid, mass 1, restitution 0.3.
inline MeshPtr test_ball(float x, float y, float z)
{
    MeshPtr mesh(mesh_build_sphere(0.1f, 4));
    physics_prepare_mesh_faces(mesh.get());
    RigidBody *body = &mesh->body;
    mesh_body_init(body);
    body->shape = kShapeMesh;
    body->collision_mesh = mesh.get();
    body->shape_tree = physics_build_shape_tree(mesh.get(), 0, 0);
    body->radius = 0.1f;
    body->mass = 1.0f;
    body->inverse_mass = 1.0f;
    body->restitution = 0.3f;
    body_compute_mass_properties(body);
    body->point_grid = mesh_build_cell_grid(mesh.get());
    vec3_set(body->position, x, y, z);
    physics_body_prepare(body);
    return mesh;
}

inline ContactBuffer &test_contacts(PhysicsWorld *world, int worker = 0) { return world->contact_buffers[worker]; }

inline bool test_finite(const float *v, int n = 3)
{
    for (int k = 0; k < n; k++)
        if (!std::isfinite(v[k])) return false;
    return true;
}
