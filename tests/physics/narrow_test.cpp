// The narrow phase of body pairs: coincident centres, unsupported pairs and bad indices.
#include "tests/physics/physics_test_util.h"

#include <gtest/gtest.h>

namespace {

struct TwoBodies {
    std::unique_ptr<PhysicsWorld> world = test_new_world();
    RigidBody a, b;
    TwoBodies(float ra, float rb, float distance)
    {
        physics_world_reset(world.get());
        test_sphere_body(&a, ra, 0, 0, 0);
        test_sphere_body(&b, rb, distance, 0, 0);
        physics_add_body(world.get(), &a);
        physics_add_body(world.get(), &b);
    }
};

TEST(PhysicsNarrow, CoincidentCentresGiveAFiniteNormal)
{
    TwoBodies same(1.0f, 1.0f, 0.0f);
    ContactBuffer &buffer = test_contacts(same.world.get());
    buffer.count = 0;
    ASSERT_EQ(collide_body_pair(same.world.get(), 0, 1, kModeRecord, 0), 1);
    EXPECT_TRUE(test_finite(buffer.normal[0]));
    EXPECT_TRUE(test_finite(buffer.point[0]));
    EXPECT_FLOAT_EQ(buffer.normal[0][1], -1.0f);

    float centre[3] = {0, 0, 0};
    buffer.count = 0;
    EXPECT_EQ(collide_ball_ball(same.world.get(), 0, 1, centre, 0.5f, centre, 0.5f, kModeRecord), 1);
    EXPECT_EQ(collide_ball_sphere(same.world.get(), 0, 1, centre, 0.5f, kModeRecord), 1);
    EXPECT_EQ(collide_sphere_ball(same.world.get(), 0, 0, 1, centre, 0.5f, kModeRecord), 1);
    ASSERT_EQ(buffer.count, 3);
    for (int c = 0; c < 3; c++) {
        EXPECT_TRUE(test_finite(buffer.normal[c]));
        EXPECT_TRUE(test_finite(buffer.point[c]));
    }
    // A centre that is not a number touches nothing.
    same.b.position[0] = NAN;
    EXPECT_EQ(collide_body_pair(same.world.get(), 0, 1, kModeRecord, 0), 0);
}

TEST(PhysicsNarrow, UnsupportedPairsAndBadIndicesGiveNothing)
{
    TwoBodies pair(1.0f, 1.0f, 0.5f);
    ContactBuffer &buffer = test_contacts(pair.world.get());
    buffer.count = 0;
    const int32_t none[][2] = {{1, 5}, {5, 1}, {1, 4}, {4, 1}, {6, 1}, {1, 6}, {6, 5}, {5, 6}, {6, 4}, {4, 6},
                               {0, 2}, {2, 7}, {-1, 2}};
    for (const auto &p : none) {
        pair.a.shape = p[0];
        pair.b.shape = p[1];
        EXPECT_EQ(collide_body_pair(pair.world.get(), 0, 1, kModeRecord, 0), 0) << p[0] << "," << p[1];
    }
    pair.a.shape = pair.b.shape = kShapeSphere;
    EXPECT_EQ(collide_body_pair(pair.world.get(), 0, 2, kModeRecord, 0), 0);
    EXPECT_EQ(collide_body_pair(pair.world.get(), -1, 1, kModeRecord, 0), 0);
    EXPECT_EQ(collide_body_pair(pair.world.get(), 0, 1, kModeRecord, 8), 1);  // no buffer for worker 8
    EXPECT_EQ(buffer.count, 0);
}

}  // namespace
