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
    for (size_t i = 0; i < points.size(); i++)
        vec3_set(mesh->vertices[i].position, points[i][0], points[i][1], points[i][2]);
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

// An axis-aligned box body (shape 1) with half extents h at p, mass 1, prepared.
inline void test_box_body(RigidBody *body, float hx, float hy, float hz, float x, float y, float z)
{
    mesh_body_init(body);
    body->shape = kShapeBox;
    for (int k = 0; k < 3; k++) body->box_axes[k][k] = 1.0f;
    vec3_set(body->half_extents, hx, hy, hz);
    body->radius = sqrtf(hx * hx + hy * hy + hz * hz);
    body->mass = 1.0f;
    body->inverse_mass = 1.0f;
    vec3_set(body->position, x, y, z);
    body_compute_mass_properties(body);
    physics_body_prepare(body);
}

inline int g_test_ball_detail = 4;

// The game's ball: a shape-6 body on its own sphere mesh of radius 0.1 (detail 4) with faces
// prepared, a one-box shape tree and a point grid, mass 1, restitution 0.3.
inline MeshPtr test_ball(float x, float y, float z)
{
    MeshPtr mesh(mesh_build_sphere(0.1f, g_test_ball_detail));
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

// ---- the game's scene -------------------------------------------------------------------------

// Faces built from quads whose winding is chosen so that the face normal points along `facing`.
struct TestMeshBuilder {
    std::vector<std::array<float, 3>> points;
    std::vector<std::array<int, 3>> tris;

    void triangle(const std::array<float, 3> &a, const std::array<float, 3> &b, const std::array<float, 3> &c,
                  const std::array<float, 3> &facing)
    {
        float n[3], ab[3], ac[3];
        vec3_sub(ab, b.data(), a.data());
        vec3_sub(ac, c.data(), a.data());
        vec3_cross(n, ac, ab);  // the engine's normal: (p2 - p0) x (p1 - p0)
        int base = int(points.size());
        points.push_back(a);
        points.push_back(b);
        points.push_back(c);
        if (vec3_dot(n, facing.data()) >= 0)
            tris.push_back({base, base + 1, base + 2});
        else
            tris.push_back({base, base + 2, base + 1});
    }
    void quad(const std::array<float, 3> &a, const std::array<float, 3> &b, const std::array<float, 3> &c,
              const std::array<float, 3> &d, const std::array<float, 3> &facing)
    {
        triangle(a, b, c, facing);
        triangle(a, c, d, facing);
    }
    // An axis-aligned rectangle in the plane y = `y` facing up (-y).
    void floor(float x0, float x1, float z0, float z1, float y)
    {
        quad({x0, y, z0}, {x1, y, z0}, {x1, y, z1}, {x0, y, z1}, {0, -1, 0});
    }
    MeshPtr build() { return test_prepared(test_mesh(points, tris)); }
    // A square floor at y = 0 from -half to half in x and z, walled 1 high (up is -y) all round.
    void walled_tray(float half)
    {
        const float h = half;
        floor(-h, h, -h, h, 0);
        quad({-h, 0, -h}, {h, 0, -h}, {h, -1, -h}, {-h, -1, -h}, {0, 0, 1});
        quad({-h, 0, h}, {h, 0, h}, {h, -1, h}, {-h, -1, h}, {0, 0, -1});
        quad({-h, 0, -h}, {-h, 0, h}, {-h, -1, h}, {-h, -1, -h}, {1, 0, 0});
        quad({h, 0, -h}, {h, 0, h}, {h, -1, h}, {h, -1, -h}, {-1, 0, 0});
    }
};

// A pendulum of three boxes (half sizes 0.1, 0.2, 0.1): box 0's top held at (x, y, z), boxes 1 and 2
// hanging from it by ball joints (down is +y), all grouped (moved by the joint pass). It is the
// world's joint chain 0; the world's reset releases the joints.
inline void test_add_pendulum(PhysicsWorld *world, RigidBody *boxes, float x, float y, float z)
{
    for (int k = 0; k < 3; k++) {
        test_box_body(&boxes[k], 0.1f, 0.2f, 0.1f, x + 0.3f * float(k + 1), y + 0.4f * float(k) + 0.2f, z);
        boxes[k].wake_timer = 10;
        physics_add_body(world, &boxes[k]);
        boxes[k].grouped = 1;
    }
    Joint *head = new Joint{};
    head->type = 2;
    head->body_a = &boxes[0];
    head->body_b = new RigidBody;
    mesh_body_init(head->body_b);
    head->body_b->joint_owned = 1;
    head->body_b->mass = 1.0f;
    vec3_set(head->anchor_a, -0.3f, -0.2f, 0);  // box 0's top
    Joint *tail = head;
    for (int k = 1; k < 3; k++) {
        Joint *j = new Joint{};
        j->type = 4;
        j->body_a = &boxes[k - 1];
        j->body_b = &boxes[k];
        vec3_set(j->anchor_a, 0.0f, 0.2f, 0);
        vec3_set(j->anchor_b, -0.3f, -0.2f, 0);
        tail->next = j;
        tail = j;
    }
    world->joint_chains[0] = head;
    world->joint_chain_count = 1;
}

// The game's physics settings and its one ball, stepped as course play steps it.
struct TestGame {
    std::unique_ptr<PhysicsWorld> world = test_new_world();
    std::vector<MeshPtr> meshes;
    MeshPtr ball;

    TestGame()
    {
        g_physics_rest_speed = 0.05f;
        g_physics_rest_spin = 0.125f;
        physics_world_reset(world.get());
    }
    ~TestGame() { physics_world_reset(world.get()); }
    // Ground materials: grass 0.4 / 0.4, normal 0.7 / 0.4, sand 0.001 / 1.5.
    ColliderSlot *add(MeshPtr mesh, float restitution = 0.4f, float friction = 0.4f, int parameter = 16)
    {
        meshes.push_back(std::move(mesh));
        return physics_add_static_mesh(world.get(), meshes.back().get(), restitution, friction, parameter);
    }
    RigidBody *place_ball(float x, float y, float z)
    {
        world->gravity = 4.905f;
        world->base_substeps = 5;
        world->adaptive_substeps = 1;
        world->adaptive_factor = 1.61f;
        world->record_events = 1;
        world->wake_time = 5;
        ball = test_ball(x, y, z);
        RigidBody *body = &ball->body;
        body->velocity[1] = 0.025f;
        body->wake_timer = 5;
        physics_add_body(world.get(), body);
        return body;
    }
    RigidBody *body() { return &ball->body; }
    // One unit of play: the damping below 0.3 units per second, then a step of 0.035.
    void step()
    {
        RigidBody *b = body();
        if (vec3_length(b->velocity) < 0.3f) {
            vec3_scale(b->angular_velocity, b->angular_velocity, 0.9f);
            vec3_scale(b->velocity, b->velocity, 0.9f);
        }
        world->frame_time = 0.035f;
        physics_world_step(world.get());
    }
};

// A slope (x from -1.5 to 0, falling 0.15 toward +x) onto a green (y = 0, x to 2) with a cup of
// 0.3 x 0.3 at x 1.35..1.65, z -0.15..0.15, 0.25 deep, inside walls: grass (0.4 / 0.4) for the
// slope, green and cup, walls of the normal material (0.7 / 0.4).
inline void test_slope_and_cup(TestGame &game)
{
    TestMeshBuilder grass;
    grass.quad({-1.5f, -0.15f, -1}, {0, 0, -1}, {0, 0, 1}, {-1.5f, -0.15f, 1}, {0, -1, 0});
    grass.floor(0, 1.35f, -1, 1, 0);
    grass.floor(1.65f, 2, -1, 1, 0);
    grass.floor(1.35f, 1.65f, -1, -0.15f, 0);
    grass.floor(1.35f, 1.65f, 0.15f, 1, 0);
    grass.floor(1.35f, 1.65f, -0.15f, 0.15f, 0.25f);
    grass.quad({1.35f, 0, -0.15f}, {1.35f, 0, 0.15f}, {1.35f, 0.25f, 0.15f}, {1.35f, 0.25f, -0.15f}, {1, 0, 0});
    grass.quad({1.65f, 0, -0.15f}, {1.65f, 0, 0.15f}, {1.65f, 0.25f, 0.15f}, {1.65f, 0.25f, -0.15f}, {-1, 0, 0});
    grass.quad({1.35f, 0, -0.15f}, {1.65f, 0, -0.15f}, {1.65f, 0.25f, -0.15f}, {1.35f, 0.25f, -0.15f}, {0, 0, 1});
    grass.quad({1.35f, 0, 0.15f}, {1.65f, 0, 0.15f}, {1.65f, 0.25f, 0.15f}, {1.35f, 0.25f, 0.15f}, {0, 0, -1});
    game.add(grass.build(), 0.4f, 0.4f, 16);
    TestMeshBuilder walls;
    walls.quad({-1.5f, 0.3f, -1}, {2, 0.3f, -1}, {2, -0.5f, -1}, {-1.5f, -0.5f, -1}, {0, 0, 1});
    walls.quad({-1.5f, 0.3f, 1}, {2, 0.3f, 1}, {2, -0.5f, 1}, {-1.5f, -0.5f, 1}, {0, 0, -1});
    walls.quad({2, 0.3f, -1}, {2, 0.3f, 1}, {2, -0.5f, 1}, {2, -0.5f, -1}, {-1, 0, 0});
    walls.quad({-1.5f, 0.3f, -1}, {-1.5f, 0.3f, 1}, {-1.5f, -0.5f, 1}, {-1.5f, -0.5f, -1}, {1, 0, 0});
    game.add(walls.build(), 0.7f, 0.4f, 16);
}
