// Body pairs: boxes, spheres, shape trees, sphere trees and the fine test of two mesh bodies.
#include "tests/physics/physics_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

namespace {

// A shape-tree body (shape 3) over a box mesh of the given full sizes.
struct TreeBody {
    MeshPtr mesh{mesh_new()};
    RigidBody body;
    TreeBody(float sx, float sy, float sz, float x, float y, float z, int depth = 0)
    {
        mesh_build_box(mesh.get(), sx, sy, sz);
        mesh_body_init(&body);
        body.shape = kShapeTree;
        body.shape_tree = physics_build_shape_tree(mesh.get(), 0, depth);
        body.radius = 0.5f * sqrtf(sx * sx + sy * sy + sz * sz);
        vec3_set(body.position, x, y, z);
        physics_body_prepare(&body);
    }
    ~TreeBody() { mesh_free_body_shapes(&body); }
};

struct PairWorld {
    std::unique_ptr<PhysicsWorld> world = test_new_world();
    PairWorld(std::initializer_list<RigidBody *> bodies)
    {
        physics_world_reset(world.get());
        g_physics_contact_margin = 0.0f;
        for (RigidBody *b : bodies) physics_add_body(world.get(), b);
        world->contact_buffers[0].count = 0;
    }
    ContactBuffer &c() { return world->contact_buffers[0]; }
    int32_t record(int32_t i, int32_t j)
    {
        c().count = 0;
        return collide_body_pair(world.get(), i, j, kModeRecord, 0);
    }
    int32_t test(int32_t i, int32_t j) { return collide_body_pair(world.get(), i, j, kModeTest, 0); }
};

TEST(PhysicsBoxes, SphereOnABoxFromBothSides)
{
    RigidBody box, ball;
    test_box_body(&box, 1.0f, 0.5f, 1.0f, 0, 0, 0);
    test_sphere_body(&ball, 0.3f, 0.2f, -0.79f, 0.1f);
    PairWorld w({&box, &ball});
    ASSERT_EQ(w.record(1, 0), 1);  // sphere first
    ASSERT_EQ(w.c().count, 1);
    EXPECT_FLOAT_EQ(w.c().normal[0][1], -1.0f);
    EXPECT_NEAR(w.c().point[0][1], -0.49f, 1e-6f);
    EXPECT_EQ(w.c().other[0], 0);
    ASSERT_EQ(w.record(0, 1), 1);  // box first: the same point, the opposite normal
    ASSERT_EQ(w.c().count, 1);
    EXPECT_FLOAT_EQ(w.c().normal[0][1], 1.0f);
    EXPECT_NEAR(w.c().point[0][1], -0.49f, 1e-6f);
    EXPECT_EQ(w.c().other[0], 1);

    // On the face's centre axis and sunk a little: the face contact and the axis crossing.
    vec3_set(ball.position, 0, -0.79f, 0);
    ASSERT_EQ(w.record(1, 0), 1);
    ASSERT_EQ(w.c().count, 2);
    for (int k = 0; k < 3; k++) EXPECT_NEAR(w.c().point[0][k], w.c().point[1][k], 1e-6f);

    // Near an edge, beyond it along the edge's diagonal: the box side sees the gap, the sphere
    // side (three axes only) does not; neither records anything.
    RigidBody cube, small;
    test_box_body(&cube, 1, 1, 1, 0, 0, 0);
    float off = 1.0f + 0.12f / sqrtf(2.0f);
    test_sphere_body(&small, 0.1f, off, off, 0);
    PairWorld e({&cube, &small});
    EXPECT_EQ(e.test(0, 1), 0);
    EXPECT_EQ(e.test(1, 0), 1);
    EXPECT_EQ(e.record(0, 1), 0);
    EXPECT_EQ(e.record(1, 0), 0);
    EXPECT_EQ(e.c().count, 0);
    // Clearly apart.
    small.position[0] = 3.0f;
    EXPECT_EQ(e.test(1, 0), 0);
}

TEST(PhysicsTrees, NodeAgainstBoxAndSphereBothWays)
{
    TreeBody tree(1, 1, 1, 0.3f, -0.99f, 0.2f);
    RigidBody base, ball;
    test_box_body(&base, 2.0f, 0.5f, 2.0f, 0, 0, 0);
    test_sphere_body(&ball, 0.3f, 0.3f, -1.78f, 0.2f);  // sunk 0.01 into the tree's top face
    PairWorld w({&tree.body, &base, &ball});
    ASSERT_EQ(w.record(0, 1), 1);
    EXPECT_FLOAT_EQ(w.c().normal[0][1], -1.0f);
    EXPECT_EQ(w.c().other[0], 1);
    int tree_side = w.c().count;
    ASSERT_EQ(w.record(1, 0), 1);  // from the box: the same contacts reversed
    ASSERT_EQ(w.c().count, tree_side);
    EXPECT_FLOAT_EQ(w.c().normal[0][1], 1.0f);
    EXPECT_EQ(w.c().other[0], 0);

    ASSERT_EQ(w.record(0, 2), 1);
    ASSERT_EQ(w.c().count, 1);  // one face contact; the centre axis adds none
    EXPECT_FLOAT_EQ(w.c().normal[0][1], 1.0f);
    EXPECT_NEAR(w.c().point[0][1], -1.49f, 1e-5f);
    ASSERT_EQ(w.record(2, 0), 1);
    ASSERT_EQ(w.c().count, 1);
    EXPECT_FLOAT_EQ(w.c().normal[0][1], -1.0f);
    EXPECT_EQ(w.c().other[0], 0);

    // Faces 0.01 apart touch within a margin of 0.006, not without one.
    tree.body.position[1] = -1.01f;
    physics_body_prepare(&tree.body);
    EXPECT_EQ(collide_node_box(w.world.get(), 0, 1, tree.body.shape_tree, kModeTest, 0), 0);
    g_physics_contact_margin = 0.006f;
    physics_body_prepare(&base);
    EXPECT_EQ(collide_node_box(w.world.get(), 0, 1, tree.body.shape_tree, kModeTest, 0), 1);
    g_physics_contact_margin = 0.0f;
}

typedef std::tuple<float, float, float, float, float, float> ContactKey;

std::vector<ContactKey> contacts_of(const ContactBuffer &c)
{
    std::vector<ContactKey> out;
    for (int n = 0; n < c.count; n++)
        out.emplace_back(c.point[n][0], c.point[n][1], c.point[n][2], c.normal[n][0], c.normal[n][1], c.normal[n][2]);
    std::sort(out.begin(), out.end());
    return out;
}

// The leaf pairs the alternating descent reaches, found by walking every pair of leaves.
void reference_pairs(PhysicsWorld *world, const ShapeTreeNode *a, const ShapeTreeNode *b, int depth)
{
    if (!a || !b) return;
    if (a->type == 2 && b->type == 2) {
        collide_node_node(world, 0, a, 1, b, kModeRecord, 1);
        return;
    }
    if (collide_node_node(world, 0, a, 1, b, kModeTest, 1) != 1) return;
    bool split_a = depth % 2 == 0 ? a->type != 2 : b->type == 2;
    if (split_a) {
        reference_pairs(world, a->first, b, depth + 1);
        reference_pairs(world, a->second, b, depth + 1);
    } else {
        reference_pairs(world, a, b->first, depth + 1);
        reference_pairs(world, a, b->second, depth + 1);
    }
}

TEST(PhysicsTrees, TreeAgainstTreeFindsTheLeafPairContacts)
{
    MeshPtr ma(mesh_build_sphere(1.0f, 3)), mb(mesh_build_sphere(0.8f, 3));
    RigidBody a, b;
    for (auto [body, mesh, x] : {std::tuple{&a, ma.get(), 0.0f}, std::tuple{&b, mb.get(), 1.5f}}) {
        mesh_body_init(body);
        body->shape = kShapeTree;
        body->shape_tree = physics_build_shape_tree(mesh, 0, 3);
        body->radius = 1.0f;
        vec3_set(body->position, x, 0.1f, 0.05f);
        physics_body_prepare(body);
    }
    PairWorld w({&a, &b});
    ASSERT_EQ(a.shape_tree->type, 1);
    ASSERT_EQ(w.record(0, 1), 1);
    std::vector<ContactKey> got = contacts_of(w.c());
    EXPECT_GT(got.size(), 0u);
    w.world->contact_buffers[1].count = 0;
    reference_pairs(w.world.get(), a.shape_tree, b.shape_tree, 0);
    EXPECT_EQ(got, contacts_of(w.world->contact_buffers[1]));
    mesh_free_body_shapes(&a);
    mesh_free_body_shapes(&b);
}

TEST(PhysicsSphereTrees, LeavesRecordAndLevelsPrune)
{
    // A root (level 3) over two leaf balls (level 0) 1 apart.
    RigidBody tree, ball;
    mesh_body_init(&tree);
    tree.shape = kShapeSphereTree;
    tree.radius = 1.5f;
    tree.sphere_tree = static_cast<SphereTree *>(malloc(sizeof(SphereTree)));
    tree.sphere_tree->count = 3;
    tree.sphere_tree->nodes = static_cast<SphereTreeNode *>(malloc(3 * sizeof(SphereTreeNode)));
    tree.sphere_tree->nodes[0] = SphereTreeNode{{-0.5f, 0, 0}, 0.5f, {65535, 65535, 65535}, 0};
    tree.sphere_tree->nodes[1] = SphereTreeNode{{0.5f, 0, 0}, 0.5f, {65535, 65535, 65535}, 0};
    tree.sphere_tree->nodes[2] = SphereTreeNode{{0, 0, 0}, 1.0f, {0, 1, 65535}, 3};
    physics_body_prepare(&tree);
    test_sphere_body(&ball, 0.3f, 0, -0.6f, 0);  // touches both leaves
    PairWorld w({&tree, &ball});
    ASSERT_EQ(w.record(1, 0), 1);
    ASSERT_EQ(w.c().count, 2);
    EXPECT_EQ(w.c().kind[0], 2);
    EXPECT_EQ(w.c().other[1], 0);
    ASSERT_EQ(w.record(0, 1), 1);
    EXPECT_EQ(w.c().count, 2);
    // A root below the world's level acts as one ball.
    tree.sphere_tree->nodes[2].level = 2;
    ASSERT_EQ(w.record(1, 0), 1);
    EXPECT_EQ(w.c().count, 1);
    // A childless root at the level gives nothing.
    tree.sphere_tree->nodes[2] = SphereTreeNode{{0, 0, 0}, 1.0f, {65535, 65535, 65535}, 3};
    EXPECT_EQ(w.record(1, 0), 0);
    // A child link to the node itself is not followed.
    tree.sphere_tree->nodes[2].children[0] = 2;
    EXPECT_EQ(w.record(1, 0), 0);
    mesh_free_body_shapes(&tree);
}

TEST(PhysicsFine, ATriangleEdgeThroughATriangle)
{
    // i: a horizontal triangle; j: a thin upright one piercing it.
    MeshPtr flat = test_prepared(test_mesh({{-1, 0, -1}, {1, 0, -1}, {0, 0, 1}}, {{0, 1, 2}}));
    MeshPtr upright = test_prepared(test_mesh({{-0.2f, -1, 0}, {0.2f, -1, 0}, {0, 1, 0}}, {{0, 1, 2}}));
    RigidBody a, b;
    for (auto [body, mesh] : {std::pair{&a, flat.get()}, std::pair{&b, upright.get()}}) {
        mesh_body_init(body);
        body->shape = kShapeMesh;
        body->collision_mesh = mesh;
        body->radius = 1.5f;
        body->fine_tree_test = 1;
        physics_body_prepare(body);
    }
    PairWorld w({&a, &b});
    ASSERT_EQ(collide_tree_fine(w.world.get(), 0, 1, kModeRecord, 0), 1);
    ASSERT_EQ(w.c().count, 2);  // j's two long edges through i's triangle
    for (int n = 0; n < 2; n++) {
        EXPECT_NEAR(w.c().point[n][1], 0.0f, 1e-6f);
        EXPECT_NEAR(fabsf(w.c().point[n][0]), 0.1f, 1e-6f);
        for (int k = 0; k < 3; k++) EXPECT_EQ(w.c().normal[n][k], -flat->faces[0].world_normal[k]);
        EXPECT_EQ(w.c().other[n], 1);
    }
    // An edge whose flag is 0 is never cut.
    upright->faces[0].edge_flags[1] = 0;
    w.c().count = 0;
    EXPECT_EQ(collide_tree_fine(w.world.get(), 0, 1, kModeRecord, 0), 1);
    EXPECT_EQ(w.c().count, 1);
    // Without a mesh: nothing, and no mark written.
    b.collision_mesh = nullptr;
    flat->faces[0].mark[0] = 7;
    EXPECT_EQ(collide_tree_fine(w.world.get(), 0, 1, kModeRecord, 0), 0);
    EXPECT_EQ(flat->faces[0].mark[0], 7);
}

TEST(PhysicsBoxes, BoxDroppedOnAFixedBoxComesToRest)
{
    g_physics_rest_speed = 0.05f;
    g_physics_rest_spin = 0.125f;
    auto world = test_new_world();
    physics_world_reset(world.get());
    world->gravity = 4.905f;
    world->base_substeps = 5;
    world->wake_time = 5;
    RigidBody base, box;
    test_box_body(&base, 2.0f, 0.5f, 2.0f, 0, 0, 0);
    base.restitution = 0.3f;
    base.friction = 0.5f;
    test_box_body(&box, 0.3f, 0.3f, 0.3f, 0.2f, -1.5f, -0.1f);
    box.wake_timer = 5;
    physics_add_body(world.get(), &base);
    physics_add_body(world.get(), &box);
    base.grouped = 1;
    int s = 0;
    float deepest = -10.0f;
    for (; s < 1000 && !box.asleep; s++) {
        world->frame_time = 0.035f;
        physics_world_step(world.get());
        deepest = std::max(deepest, box.position[1]);
        ASSERT_TRUE(test_finite(box.position));
    }
    EXPECT_TRUE(box.asleep);
    EXPECT_NEAR(box.position[1], -0.8f, 0.05f);
    EXPECT_LT(deepest, -0.7f);
    EXPECT_EQ(base.position[1], 0.0f);  // grouped: never integrated
}

}  // namespace
