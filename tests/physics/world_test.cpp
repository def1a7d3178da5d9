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

}  // namespace
