// Shape trees over the faces of one tag.
#include "tests/physics/physics_test_util.h"

#include <gtest/gtest.h>

namespace {

TEST(PhysicsShapeTree, BoundsExactlyTheFacesOfItsTag)
{
    // A cube off the origin (the corner mean is not the box middle) plus a far face of another tag.
    MeshPtr mesh = test_mesh({{5, 1, 1}, {6, 1, 1}, {6, 3, 1}, {5, 1, 4}, {100, 100, 100}, {101, 100, 100},
                              {100, 101, 100}},
                             {{0, 1, 2}, {0, 1, 3}, {0, 2, 3}, {4, 5, 6}});
    mesh->faces[3].tag = 7;
    ShapeTreeNode *root = physics_build_shape_tree(mesh.get(), 0, 0);
    ASSERT_NE(root, nullptr);
    EXPECT_FLOAT_EQ(root->centre[0], 5.5f);
    EXPECT_FLOAT_EQ(root->centre[1], 2.0f);
    EXPECT_FLOAT_EQ(root->centre[2], 2.5f);
    EXPECT_FLOAT_EQ(root->half_sizes[0], 0.5f);
    EXPECT_FLOAT_EQ(root->half_sizes[1], 1.0f);
    EXPECT_FLOAT_EQ(root->half_sizes[2], 1.5f);
    physics_free_shape_tree(root);
    // Tag 7 alone gives the far face's box; a tag no face carries gives no tree.
    root = physics_build_shape_tree(mesh.get(), 7, 0);
    ASSERT_NE(root, nullptr);
    EXPECT_FLOAT_EQ(root->centre[0], 100.5f);
    physics_free_shape_tree(root);
    EXPECT_EQ(physics_build_shape_tree(mesh.get(), 3, 0), nullptr);
}

}  // namespace
