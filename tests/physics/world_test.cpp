// The world: mass properties, adding bodies and static meshes with their capacities, events.
#include "tests/physics/physics_test_util.h"

#include <gtest/gtest.h>

namespace {

TEST(PhysicsMass, BoxCylinderSphereAndMeshBody)
{
    RigidBody body;
    mesh_body_init(&body);
    body.shape = kShapeBox;
    body.mass = 12.0f;
    vec3_set(body.half_extents, 1, 2, 3);
    body_compute_mass_properties(&body);
    EXPECT_FLOAT_EQ(body.inertia[0], 52.0f);
    EXPECT_FLOAT_EQ(body.inertia[5], 40.0f);
    EXPECT_FLOAT_EQ(body.inertia[10], 20.0f);
    EXPECT_FLOAT_EQ(body.inertia[15], 1.0f);
    EXPECT_FLOAT_EQ(body.inverse_inertia[0], 1.0f / 52.0f);

    body.shape = kShapeCylinder;
    body.radius = 1.0f;
    body.cylinder_height = 3.0f;
    body_compute_mass_properties(&body);
    EXPECT_FLOAT_EQ(body.inertia[0], 12.0f);
    EXPECT_FLOAT_EQ(body.inertia[5], 12.0f);
    EXPECT_FLOAT_EQ(body.inertia[10], 6.0f);

    // The ball: sphere flag clear takes the root box of its sphere mesh, set takes 0.4 m r^2.
    MeshPtr ball = test_ball(0, 0, 0);
    RigidBody *b = &ball->body;
    const ShapeTreeNode *root = b->shape_tree;
    ASSERT_NE(root, nullptr);
    float a = 2 * root->half_sizes[0], c = 2 * root->half_sizes[2], h = 2 * root->half_sizes[1];
    EXPECT_FLOAT_EQ(b->inertia[0], (h * h + c * c) / 12.0f);
    EXPECT_FLOAT_EQ(b->inertia[10], (a * a + h * h) / 12.0f);
    b->sphere_flag = 1;
    body_compute_mass_properties(b);
    EXPECT_FLOAT_EQ(b->inertia[0], 2.0f * 0.1f * 0.1f * 0.2f);

    // A massless box has zero moments: the inverse is zero, never infinite.
    body.shape = kShapeBox;
    body.mass = 0.0f;
    body_compute_mass_properties(&body);
    for (int k = 0; k < 16; k++) EXPECT_TRUE(std::isfinite(body.inverse_inertia[k]));
    EXPECT_EQ(body.inverse_inertia[0], 0.0f);
}

TEST(PhysicsWorld, NewWorldDefaultsAndReset)
{
    auto world = test_new_world();
    EXPECT_EQ(world->sphere_tree_level, 3);
    EXPECT_FLOAT_EQ(world->gravity, 9.81f);
    EXPECT_FLOAT_EQ(world->frame_time, 1.0f);
    EXPECT_EQ(world->adaptive_substeps, 1);
    EXPECT_FLOAT_EQ(world->adaptive_factor, 16.0f);
    EXPECT_EQ(world->y_limit, 0.0f);
    EXPECT_EQ(world->colliders[31].matrix[15], 1.0f);
    physics_world_reset(world.get());
    EXPECT_EQ(world->y_limit, -100000.0f);

    RigidBody body;
    test_sphere_body(&body, 0.5f, 0, -3, 0);
    ASSERT_EQ(physics_add_body(world.get(), &body), 1);
    EXPECT_FLOAT_EQ(world->y_limit, 7.0f);
}

TEST(PhysicsWorld, SupportBodyIsTheTouchingEarlierBodyOfLargestRadius)
{
    auto world = test_new_world();
    physics_world_reset(world.get());
    RigidBody bodies[5];
    test_sphere_body(&bodies[0], 1.0f, 0, 0, 0);
    test_sphere_body(&bodies[1], 1.0f, 0.5f, 0, 0);  // touches 0 with equal radius: 0 wins
    test_sphere_body(&bodies[2], 0.5f, 0, -1.4f, 0);  // above 0 and 1
    test_sphere_body(&bodies[3], 0.5f, 10, 0, 0);     // touches nobody
    ASSERT_EQ(physics_add_body(world.get(), &bodies[0]), 1);
    EXPECT_EQ(bodies[0].support, nullptr);
    ASSERT_EQ(physics_add_body(world.get(), &bodies[1]), 1);
    EXPECT_EQ(bodies[1].support, &bodies[0]);
    ASSERT_EQ(physics_add_body(world.get(), &bodies[2]), 1);
    EXPECT_EQ(bodies[2].support, &bodies[0]);
    EXPECT_EQ(bodies[2].index, 2);
    ASSERT_EQ(physics_add_body(world.get(), &bodies[3]), 1);
    EXPECT_EQ(bodies[3].support, nullptr);

    // A grouped earlier body is never tested.
    bodies[0].grouped = 1;
    test_sphere_body(&bodies[4], 0.5f, -1.2f, 0.6f, 0);  // touches only body 0
    ASSERT_EQ(physics_add_body(world.get(), &bodies[4]), 1);
    EXPECT_EQ(bodies[4].support, nullptr);
}

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

TEST(PhysicsEvents, AppendCopyAndClear)
{
    CollisionEventList list;
    CollisionEventNode *first = physics_event_list_append_new(&list);
    first->value.kind = 3;
    list.cursor_index = 0;
    CollisionEvent event{1, 5, {1, 2, 3}, 4, 7, -0.05f};
    CollisionEventNode *second = physics_event_list_append_copy(&list, event);
    EXPECT_EQ(list.count, 2);
    EXPECT_EQ(list.cursor_index, -1);
    EXPECT_EQ(list.first, first);
    EXPECT_EQ(list.last, second);
    EXPECT_EQ(first->next, second);
    EXPECT_EQ(second->prev, first);
    EXPECT_EQ(second->next, nullptr);
    EXPECT_EQ(second->value.other, 7);
    EXPECT_FLOAT_EQ(second->value.point[2], 3.0f);
    event.other = 99;  // the node holds its own copy
    EXPECT_EQ(second->value.other, 7);
    physics_event_list_clear(&list);
    EXPECT_EQ(list.count, 0);
    EXPECT_EQ(list.first, nullptr);
    EXPECT_EQ(list.last, nullptr);
    EXPECT_EQ(list.cursor_index, -1);
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
