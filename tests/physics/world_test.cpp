// The world: the body and static mesh tables refuse past their capacities; body transforms.
#include "tests/physics/physics_test_util.h"

#include <gtest/gtest.h>

namespace {

TEST(PhysicsWorld, BodyTableRefusesTheBodyPast1024)
{
    auto world = test_new_world();
    physics_world_reset(world.get());
    std::vector<RigidBody> bodies(kPhysicsMaxBodies + 1);
    for (int i = 0; i < kPhysicsMaxBodies; i++) {
        test_sphere_body(&bodies[size_t(i)], 0.1f, float(i), 0, 0);
        ASSERT_EQ(physics_add_body(world.get(), &bodies[size_t(i)]), 1);
    }
    test_sphere_body(&bodies.back(), 0.1f, -5, 0, 0);
    EXPECT_EQ(physics_add_body(world.get(), &bodies.back()), 0);
    EXPECT_EQ(world->body_count, kPhysicsMaxBodies);
}

TEST(PhysicsWorld, StaticMeshesAreTaggedBySlotAndTheTableRefusesThe33rd)
{
    auto world = test_new_world();
    physics_world_reset(world.get());
    std::vector<MeshPtr> meshes;
    for (int s = 0; s < kPhysicsMaxColliders; s++) {
        meshes.push_back(test_prepared(test_floor(1.0f, float(s))));
        meshes.back()->moved = 1;
        ColliderSlot *slot = physics_add_static_mesh(world.get(), meshes.back().get(), 0.25f, 0.75f, 4);
        ASSERT_EQ(slot, &world->colliders[s]);
        EXPECT_EQ(meshes.back()->faces[1].tag, s * 16384);
        EXPECT_EQ(meshes.back()->moved, 0);
        EXPECT_EQ(slot->in_use, 1);
        EXPECT_FLOAT_EQ(slot->restitution, 0.25f);
    }
    EXPECT_EQ(meshes[4]->faces[0].tag, 65536);
    EXPECT_FLOAT_EQ(world->y_limit, 41.0f);
    MeshPtr extra = test_prepared(test_floor(1.0f));
    EXPECT_EQ(physics_add_static_mesh(world.get(), extra.get(), 0.5f, 0.5f, 4), nullptr);
    EXPECT_EQ(world->collider_count, kPhysicsMaxColliders);
    EXPECT_EQ(extra->faces[0].tag, 0);
    physics_world_reset(world.get());
    EXPECT_EQ(world->collider_count, 0);
    EXPECT_EQ(world->colliders[0].face_bsp.nodes, nullptr);
}

TEST(PhysicsBody, QuaternionTimesVectorAndMatrices)
{
    float out[4];
    // (0, 1, 0, 0) (w = 0, x = 1) times the identity rotation is itself.
    physics_quat_multiply_vector(out, 1, 0, 0, 1, 0, 0, 0);
    EXPECT_FLOAT_EQ(out[0], 0);
    EXPECT_FLOAT_EQ(out[1], 1);
    // i x j = k.
    physics_quat_multiply_vector(out, 1, 0, 0, 0, 0, 1, 0);
    EXPECT_FLOAT_EQ(out[3], 1);

    RigidBody body;
    test_sphere_body(&body, 1, 1, 2, 3);
    float s = sqrtf(0.5f);
    body.quaternion[0] = s;
    body.quaternion[3] = s;  // 90 degrees about z
    float world_m[16], rotation[16];
    body_world_matrix(&body, world_m);
    body_rotation_matrix(&body, rotation);
    EXPECT_FLOAT_EQ(world_m[12], 1);
    EXPECT_FLOAT_EQ(world_m[14], 3);
    EXPECT_EQ(rotation[12], 0.0f);
    for (int k = 0; k < 12; k++) EXPECT_FLOAT_EQ(world_m[k], rotation[k]);

    body.velocity[0] = 3;
    body.torque[1] = 2;
    body_reset_motion(&body);
    EXPECT_EQ(body.velocity[0], 0.0f);
    EXPECT_EQ(body.torque[1], 0.0f);
    EXPECT_EQ(body.saved_quaternion[3], s);
}

// A body's mesh placed whole: world positions and normals, face world normals and centres are the
// scalar transforms of the object-space data bit for bit (however the placement computes them),
// and a face with a corner index outside the mesh keeps its centre but still turns its normal.
TEST(PhysicsBody, WholePlacementGivesTheScalarTransformsBitForBit)
{
    MeshPtr ball = test_ball(0.3f, -0.2f, 1.7f);
    RigidBody *body = &ball->body;
    MeshObject *mesh = ball.get();
    // A turn about a slanted unit axis, so that every matrix element counts.
    const float axis[3] = {0.48f, -0.6f, 0.64f}, half = 0.61f;
    body->quaternion[0] = cosf(half);
    for (int k = 0; k < 3; k++) body->quaternion[k + 1] = sinf(half) * axis[k];
    const float kept[3] = {7.0f, 8.0f, 9.0f};
    const int32_t outside[2] = {-1, mesh->vertex_count};
    for (int b = 0; b < 2; b++) {
        mesh->faces[b].v[2] = outside[b];
        memcpy(mesh->faces[b].centre, kept, sizeof kept);
    }
    physics_body_prepare(body);
    const float *m = body->world_matrix, *r = body->rotation_matrix;
    for (int32_t v = 0; v < mesh->vertex_count; v++) {
        SCOPED_TRACE(v);
        const MeshVertex &vertex = mesh->vertices[v];
        float p[3], n[3];
        mat4_transform_point(p, m, vertex.position);
        mat4_transform_vector(n, r, vertex.normal);
        EXPECT_EQ(memcmp(p, vertex.world_position, sizeof p), 0);
        EXPECT_EQ(memcmp(n, vertex.world_normal, sizeof n), 0);
    }
    for (int32_t f = 0; f < mesh->face_count; f++) {
        SCOPED_TRACE(f);
        const MeshFace &face = mesh->faces[f];
        float n[3], c[3];
        mat4_transform_vector(n, r, face.normal);
        EXPECT_EQ(memcmp(n, face.world_normal, sizeof n), 0);
        if (f < 2) {
            EXPECT_EQ(memcmp(kept, face.centre, sizeof kept), 0);
            continue;
        }
        const MeshVertex *corner = mesh->vertices;
        for (int k = 0; k < 3; k++)
            c[k] = (corner[face.v[0]].world_position[k] + corner[face.v[1]].world_position[k] +
                    corner[face.v[2]].world_position[k]) *
                   0.33333334f;
        EXPECT_EQ(memcmp(c, face.centre, sizeof c), 0);
    }
}

}  // namespace
