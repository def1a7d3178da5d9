// Static mesh colliders: degenerate faces and bad indices.
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

}  // namespace
