// Shape trees over the faces of one tag.
#include "tests/physics/physics_test_util.h"

#include <gtest/gtest.h>

namespace {

TEST(PhysicsShapeTree, UnitCubeAtDepthZeroIsOneLeaf)
{
    MeshPtr cube(mesh_new());
    ASSERT_EQ(mesh_build_box(cube.get(), 1, 1, 1), 1);
    ShapeTreeNode *root = physics_build_shape_tree(cube.get(), 0, 0);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->type, 2);
    for (int k = 0; k < 3; k++) {
        EXPECT_FLOAT_EQ(root->centre[k], 0.0f);
        EXPECT_FLOAT_EQ(root->half_sizes[k], 0.5f);
        EXPECT_FLOAT_EQ(root->lower_offsets[k], -0.5f);
        for (int j = 0; j < 3; j++) EXPECT_EQ(root->axes[k][j], k == j ? 1.0f : 0.0f);
    }
    EXPECT_EQ(root->first, nullptr);
    EXPECT_EQ(root->second, nullptr);
    EXPECT_EQ(root->third, nullptr);
    physics_free_shape_tree(root);
}

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

TEST(PhysicsShapeTree, DepthOneSplitsAtTheMeanAndRestoresTags)
{
    // Three flat triangles along x; the middle one's centroid lies on the mean and goes to neither
    // child. A fourth face of another tag counts only in the ratio's denominator.
    MeshPtr mesh = test_mesh({{-2, 0, 0}, {-1, 0, 1}, {-1, 0, -1}, {-0.5f, 0, 0}, {0.25f, 0, 1}, {0.25f, 0, -1},
                              {2, 0, 0}, {1, 0, 1}, {1, 0, -1}, {50, 0, 0}, {51, 0, 0}, {50, 0, 1}},
                             {{0, 1, 2}, {3, 4, 5}, {6, 7, 8}, {9, 10, 11}});
    mesh->faces[3].tag = 9;
    ShapeTreeNode *root = physics_build_shape_tree(mesh.get(), 0, 1);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->type, 1);
    ASSERT_NE(root->first, nullptr);
    ASSERT_NE(root->second, nullptr);
    EXPECT_EQ(root->first->type, 2);
    EXPECT_FLOAT_EQ(root->first->centre[0], 1.5f);  // the face above the mean only
    EXPECT_FLOAT_EQ(root->first->half_sizes[0], 0.5f);
    EXPECT_FLOAT_EQ(root->second->centre[0], -1.5f);
    EXPECT_FLOAT_EQ(root->half_sizes[0], 2.0f);
    for (int f = 0; f < 3; f++) EXPECT_EQ(mesh->faces[f].tag, 0);
    EXPECT_EQ(mesh->faces[3].tag, 9);
    physics_free_shape_tree(root);

    // Deeper than the faces allow: empty sides get no child, nothing breaks.
    root = physics_build_shape_tree(mesh.get(), 0, 4);
    ASSERT_NE(root, nullptr);
    for (int f = 0; f < 3; f++) EXPECT_EQ(mesh->faces[f].tag, 0);
    physics_free_shape_tree(root);
}

}  // namespace
