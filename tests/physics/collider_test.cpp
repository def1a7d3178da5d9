// Static mesh colliders: face preparation, the edge table and its merge, slot refresh.
#include "tests/physics/physics_test_util.h"

#include <gtest/gtest.h>

namespace {

TEST(PhysicsPrepare, SquareGivesFiveEdgesWithTheDiagonalFlaggedOnTheEarlierFace)
{
    MeshPtr floor = test_prepared(test_floor(1.0f, 2.0f));
    ASSERT_NE(floor->edge_table, nullptr);
    EXPECT_EQ(floor->edge_table->count, 5);
    EXPECT_EQ(floor->edge_table->capacity, 6);
    // Face 0 (0, 3, 2) holds the diagonal as (2, 0); face 1 (0, 2, 1) runs it the other way.
    EXPECT_EQ(floor->faces[0].edge_flags[2], 1);
    EXPECT_EQ(floor->faces[1].edge_flags[0], 0);
    EXPECT_EQ(floor->faces[1].edge_flags[1], 1);
    for (int e = 0; e < floor->edge_table->count; e++) EXPECT_EQ(floor->edge_table->records[e].flag, 0);

    // Centre, half extents (0 across the plane y = 2) and the local radius.
    const MeshFace &f = floor->faces[1];
    EXPECT_FLOAT_EQ(f.centre[1], 2.0f);
    EXPECT_EQ(f.half_extents[1], 0.0f);
    EXPECT_NEAR(f.centre[0], 1.0f / 3.0f, 1e-6f);
    EXPECT_NEAR(f.half_extents[0], 4.0f / 3.0f, 1e-6f);
    float expected_radius = sqrtf((1 + 1.0f / 3) * (1 + 1.0f / 3) + (1 - 1.0f / 3) * (1 - 1.0f / 3));
    EXPECT_NEAR(f.radius, expected_radius, 1e-5f);

    // A second preparation replaces the table (the sanitizer sees a leak otherwise).
    physics_prepare_mesh_faces(floor.get());
    EXPECT_EQ(floor->edge_table->count, 5);

    // Moving the mesh moves the centres but never the radius.
    floor->position[0] = 10.0f;
    physics_prepare_mesh_faces(floor.get());
    EXPECT_NEAR(floor->faces[1].centre[0], 10.0f + 1.0f / 3.0f, 1e-5f);
    EXPECT_NEAR(floor->faces[1].radius, expected_radius, 1e-5f);
}

// Two triangles whose shared edge is made of separate vertices `gap` apart.
int edges_with_gap(float gap)
{
    MeshPtr mesh = test_mesh({{0, 0, 0}, {0, 0, 1}, {1, 0, 0}, {gap, 0, 0}, {1 + gap, 0, 0}, {1, 0, -1}},
                             {{0, 1, 2}, {3, 4, 5}});
    physics_prepare_mesh_faces(mesh.get());
    return mesh->edge_table->count;
}

TEST(PhysicsPrepare, VerticesCloserThanTheToleranceMerge)
{
    EXPECT_EQ(edges_with_gap(0.001f), 5);  // squared distance 1e-6
    EXPECT_EQ(edges_with_gap(0.01f), 6);   // 1e-4
    EXPECT_EQ(edges_with_gap(0.0f), 5);
}

TEST(PhysicsPrepare, MergePicksTheLastEarlierRepresentative)
{
    // Vertices 0 and 1 are 0.004 apart (not merged); 2 lies within reach of both and merges into
    // 1, the later one, so its edge with 3 is recorded as (1, 3).
    MeshPtr mesh = test_mesh({{0, 0, 0}, {0.004f, 0, 0}, {0.002f, 0, 0}, {0, 0, 1}, {5, 0, 5}},
                             {{2, 3, 4}});
    physics_prepare_mesh_faces(mesh.get());
    ASSERT_EQ(mesh->edge_table->count, 3);
    EXPECT_EQ(mesh->edge_table->records[0].a, 1);
    EXPECT_EQ(mesh->edge_table->records[0].b, 3);
}

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
