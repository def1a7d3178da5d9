// Static mesh colliders: face preparation, the edge table and its merge, slot refresh.
#include "tests/physics/physics_test_util.h"

#include <gtest/gtest.h>

namespace {

TEST(PhysicsPrepare, DegenerateFaceAndBadIndicesStayFinite)
{
    MeshPtr mesh = test_mesh({{1, 2, 3}, {1, 2, 3}, {1, 2, 3}, {0, 0, 0}}, {{0, 1, 2}, {0, 1, 3}});
    mesh->faces[1].v[2] = 99;  // outside the vertex array
    physics_prepare_mesh_faces(mesh.get());
    const MeshFace &f = mesh->faces[0];
    EXPECT_FLOAT_EQ(f.centre[0], 1.0f);
    EXPECT_FLOAT_EQ(f.centre[2], 3.0f);
    EXPECT_EQ(f.half_extents[0], 0.0f);
    EXPECT_EQ(f.radius, 0.0f);
    ASSERT_EQ(mesh->edge_table->count, 1);
    EXPECT_EQ(mesh->edge_table->records[0].a, mesh->edge_table->records[0].b);
    for (int k = 0; k < 3; k++) EXPECT_TRUE(std::isfinite(f.world_normal[k]));
}

TEST(PhysicsCollider, UpdateFollowsTheMeshOrTheSlotMatrix)
{
    MeshPtr floor = test_prepared(test_floor(1.0f));
    ColliderSlot slot;
    ASSERT_EQ(physics_collider_init(floor.get(), &slot, 0.5f, 0.25f, 4), 1);
    EXPECT_EQ(slot.in_use, 1);
    EXPECT_EQ(slot.use_matrix, 0);

    floor->position[1] = 3.0f;
    floor->rotation[1] = 90.0f;
    physics_collider_update(&slot);
    EXPECT_FLOAT_EQ(slot.matrix[13], 3.0f);
    EXPECT_FLOAT_EQ(floor->vertices[0].world_position[1], 3.0f);
    EXPECT_FLOAT_EQ(floor->faces[0].centre[1], 3.0f);

    // With the slot matrix the mesh's own transform is ignored and the matrix kept.
    mat4_translate(mat4_identity(slot.matrix), 0.0f, -5.0f, 0.0f);
    slot.use_matrix = 1;
    physics_collider_update(&slot);
    EXPECT_FLOAT_EQ(slot.matrix[13], -5.0f);
    EXPECT_FLOAT_EQ(floor->vertices[2].world_position[1], -5.0f);
    EXPECT_FLOAT_EQ(floor->vertices[2].world_position[0], 1.0f);
    EXPECT_FLOAT_EQ(floor->faces[1].centre[1], -5.0f);
    EXPECT_FLOAT_EQ(floor->faces[1].world_normal[1], -1.0f);
    physics_collider_release(&slot);
    EXPECT_EQ(slot.face_bsp.nodes, nullptr);

    ColliderSlot local;
    ASSERT_EQ(physics_collider_init_with_vertices(floor.get(), &local, 15), 1);
    EXPECT_EQ(local.restitution, 0.0f);
    EXPECT_NE(local.face_bsp.leaf_vertices, nullptr);
    physics_collider_release(&local);
}

}  // namespace
