// Planes, cylinders and joint chains.
#include "geometry/dense.h"
#include "tests/physics/physics_test_util.h"

#include <gtest/gtest.h>

namespace {

void cylinder_body(RigidBody *body, float r, float h, const float *axis, float x, float y, float z)
{
    mesh_body_init(body);
    body->shape = kShapeCylinder;
    body->radius = r;
    body->cylinder_height = h;
    vec3_set(body->cylinder_axis, axis[0], axis[1], axis[2]);
    body->mass = 1.0f;
    body->inverse_mass = 1.0f;
    vec3_set(body->position, x, y, z);
    body_compute_mass_properties(body);
    physics_body_prepare(body);
}

struct PlaneWorld {
    std::unique_ptr<PhysicsWorld> world = test_new_world();
    PlaneWorld(float a, float b, float c, float d)
    {
        physics_world_reset(world.get());
        g_physics_contact_margin = 0.0f;
        world->plane_count = 1;
        world->planes[0][0] = a;
        world->planes[0][1] = b;
        world->planes[0][2] = c;
        world->planes[0][3] = d;
        world->plane_restitution[0] = 0.5f;
        world->plane_friction[0] = 0.0f;
    }
    ContactBuffer &c() { return world->contact_buffers[0]; }
    int32_t collide(int32_t i)
    {
        c().count = 0;
        return collide_body_planes(i, 0, world.get(), 0);
    }
};

TEST(PhysicsPlanes, SphereBoxCylinderAndMeshBodies)
{
    PlaneWorld w(0, 1, 0, 0);
    RigidBody sphere, box, upright, tilted;
    test_sphere_body(&sphere, 1.0f, 0, 0.5f, 0);
    test_box_body(&box, 1.0f, 0.5f, 1.0f, 5, 0.49f, 0);
    const float y_axis_body[3] = {0, 0, 1};
    cylinder_body(&upright, 0.5f, 1.0f, y_axis_body, 0, -1.0f, 0);
    upright.quaternion[0] = sqrtf(0.5f);
    upright.quaternion[1] = -sqrtf(0.5f);  // body z turned onto world y
    physics_body_prepare(&upright);
    cylinder_body(&tilted, 0.5f, 2.0f, y_axis_body, 3, 0.3f, 0);
    MeshPtr ball = test_ball(8, 0.05f, 0);
    for (RigidBody *b : {&sphere, &box, &upright, &tilted, &ball->body}) physics_add_body(w.world.get(), b);

    ASSERT_EQ(w.collide(0), 1);
    ASSERT_EQ(w.c().count, 1);
    EXPECT_EQ(w.c().kind[0], 1);
    EXPECT_EQ(w.c().other[0], 0);
    EXPECT_FLOAT_EQ(w.c().depth[0], 0.5f);
    EXPECT_FLOAT_EQ(w.c().point[0][1], -0.5f);
    sphere.position[1] = 1.0f;
    EXPECT_EQ(w.collide(0), 0);
    g_physics_contact_margin = 0.1f;
    ASSERT_EQ(w.collide(0), 1);
    EXPECT_FLOAT_EQ(w.c().depth[0], 0.0f);
    g_physics_contact_margin = 0.0f;

    // The box's four lower corners, in corner order.
    ASSERT_EQ(w.collide(1), 1);
    ASSERT_EQ(w.c().count, 4);
    const float xs[4] = {6, 4, 6, 4}, zs[4] = {1, 1, -1, -1};
    for (int n = 0; n < 4; n++) {
        EXPECT_NEAR(w.c().depth[n], 0.01f, 1e-6f);
        EXPECT_FLOAT_EQ(w.c().point[n][0], xs[n]);
        EXPECT_FLOAT_EQ(w.c().point[n][2], zs[n]);
    }

    // Upright wholly below: its two cap centres, depth 0. Lying across the plane: one crossing.
    ASSERT_EQ(w.collide(2), 1);
    EXPECT_EQ(w.c().count, 2);
    EXPECT_EQ(w.c().depth[0], 0.0f);
    ASSERT_EQ(w.collide(3), 1);
    ASSERT_EQ(w.c().count, 2);  // lying flat with its side line 0.2 below: both ends below
    tilted.quaternion[0] = cosf(0.3f);
    tilted.quaternion[1] = sinf(0.3f);
    physics_body_prepare(&tilted);
    ASSERT_EQ(w.collide(3), 1);
    ASSERT_EQ(w.c().count, 1);
    EXPECT_NEAR(w.c().point[0][1], 0.0f, 1e-5f);

    EXPECT_EQ(w.collide(4), 0);  // a mesh body never touches a plane
}

TEST(PhysicsPlanes, CollideJobImpulseAndCorrectionPush)
{
    PlaneWorld w(0, -1, 0, 0);  // free side y < 0
    RigidBody sphere;
    test_sphere_body(&sphere, 0.5f, 0, -0.4f, 0);
    physics_add_body(w.world.get(), &sphere);
    sphere.velocity[1] = 2.0f;  // toward the plane
    w.world->substep_time = 0.1f;
    w.world->frame_time = 0.1f;
    physics_set_workers(0, 2);
    physics_start_workers(w.world.get());
    physics_job_collide(0, 0);
    // vn = -2, e = 0.5, K = 1: an impulse of 3 along the normal, which the correction turns into a
    // speed of 1 away.
    EXPECT_NEAR(sphere.contact_impulse[1], -3.0f, 1e-5f);
    EXPECT_EQ(sphere.velocity[1], 2.0f);
    EXPECT_EQ(sphere.contact_flags, 1);
    physics_job_correct(0, 0);
    EXPECT_NEAR(sphere.velocity[1], -1.0f, 1e-5f);
    EXPECT_NEAR(sphere.position[1], -0.4f - 0.2f * 0.1f, 1e-6f);
    physics_stop_workers();
    physics_set_workers(kPhysicsWorkers, 0);
}

TEST(PhysicsCylinders, SphereAgainstACylinderHasUnroundedRims)
{
    auto world = test_new_world();
    physics_world_reset(world.get());
    RigidBody cyl, ball;
    const float axis[3] = {0, 0, 2};  // stored with length 2
    cylinder_body(&cyl, 1.0f, 2.0f, axis, 0, 0, 0);
    test_sphere_body(&ball, 0.5f, 1.0f + 0.45f, 0, 1.0f + 0.45f);  // R + 0.9 r, h/2 + 0.9 r
    physics_add_body(world.get(), &cyl);
    physics_add_body(world.get(), &ball);
    ContactBuffer &c = world->contact_buffers[0];
    c.count = 0;
    ASSERT_EQ(collide_body_pair(world.get(), 0, 1, kModeRecord, 0), 1);
    ASSERT_EQ(collide_body_pair(world.get(), 1, 0, kModeRecord, 0), 1);
    ASSERT_EQ(c.count, 2);
    for (int k = 0; k < 3; k++) {
        EXPECT_FLOAT_EQ(c.normal[0][k], -c.normal[1][k]);
        EXPECT_FLOAT_EQ(c.point[0][k], c.point[1][k]);
    }
    EXPECT_LT(c.normal[0][0], 0.0f);  // the cylinder's contact: from the sphere toward the cylinder
    EXPECT_EQ(c.other[0], 1);
    EXPECT_EQ(c.other[1], 0);
    EXPECT_EQ(c.depth[0], 0.0f);
    vec3_set(ball.position, 1.5f, 0, 0);  // exactly R + r
    EXPECT_EQ(collide_body_pair(world.get(), 0, 1, kModeTest, 0), 0);
    vec3_set(ball.position, 0, 0, 1.5f);  // exactly h/2 + r
    EXPECT_EQ(collide_body_pair(world.get(), 0, 1, kModeTest, 0), 0);
    vec3_set(ball.position, 0, 0, 0);  // coincident centres: a finite normal
    c.count = 0;
    ASSERT_EQ(collide_body_pair(world.get(), 1, 0, kModeRecord, 0), 1);
    EXPECT_TRUE(test_finite(c.normal[0]));
}

TEST(PhysicsCylinders, CylinderPairsParallelAndCrossed)
{
    auto world = test_new_world();
    physics_world_reset(world.get());
    RigidBody a, b;
    const float z[3] = {0, 0, 1};
    cylinder_body(&a, 1.0f, 2.0f, z, 0, 0, 0);
    cylinder_body(&b, 1.0f, 1.0f, z, 1.5f, 0, 0);  // shorter, side by side
    physics_add_body(world.get(), &a);
    physics_add_body(world.get(), &b);
    ContactBuffer &c = world->contact_buffers[0];
    c.count = 0;
    ASSERT_EQ(collide_body_pair(world.get(), 0, 1, kModeRecord, 0), 1);
    int side = 0;
    for (int n = 0; n < c.count; n++)
        if (c.normal[n][0] < -0.99f && fabsf(c.point[n][0] - 0.5f) < 1e-5f) side++;
    EXPECT_EQ(side, 3);  // top, middle and bottom of the shorter one: three identical contacts
    b.position[0] = 2.0f;
    EXPECT_EQ(collide_body_pair(world.get(), 0, 1, kModeTest, 0), 0);

    // b lying across the top cap of a, tilted 5 degrees so that its lowest line dips through the
    // cap's plane: cap pass B gives contacts on a's top disc, normal -u_a.
    const float tilted[3] = {cosf(5.0f * kDegToRad), 0, sinf(5.0f * kDegToRad)};
    cylinder_body(&b, 0.3f, 1.5f, tilted, 0.1f, 0.05f, 1.27f);
    c.count = 0;
    ASSERT_EQ(collide_body_pair(world.get(), 0, 1, kModeRecord, 0), 1);
    int on_cap = 0;
    for (int n = 0; n < c.count; n++)
        if (c.normal[n][2] < -0.99f && fabsf(c.point[n][2] - 1.0f) < 1e-5f) on_cap++;
    EXPECT_GT(on_cap, 0);
    for (int n = 0; n < c.count; n++) EXPECT_TRUE(test_finite(c.normal[n]));
}

TEST(PhysicsCylinders, TreeBoxOnACylinderCap)
{
    auto world = test_new_world();
    physics_world_reset(world.get());
    MeshPtr cube(mesh_new());
    mesh_build_box(cube.get(), 0.4f, 0.4f, 0.4f);
    RigidBody tree, cyl;
    mesh_body_init(&tree);
    tree.shape = kShapeTree;
    tree.shape_tree = physics_build_shape_tree(cube.get(), 0, 0);
    tree.radius = 0.35f;
    vec3_set(tree.position, 0.1f, 0, 1.19f);  // its lower face 0.01 into the top cap
    physics_body_prepare(&tree);
    const float z[3] = {0, 0, 1};
    cylinder_body(&cyl, 1.0f, 2.0f, z, 0, 0, 0);
    physics_add_body(world.get(), &tree);
    physics_add_body(world.get(), &cyl);
    ContactBuffer &c = world->contact_buffers[0];
    c.count = 0;
    ASSERT_EQ(collide_body_pair(world.get(), 1, 0, kModeRecord, 0), 1);  // the cylinder's contacts
    int caps = 0;
    for (int n = 0; n < c.count; n++) {
        EXPECT_EQ(c.other[n], 0);
        EXPECT_TRUE(test_finite(c.normal[n]));
        caps += c.normal[n][2] == -1.0f && fabsf(c.point[n][2] - 1.0f) < 1e-5f;
    }
    EXPECT_EQ(caps, 5);  // the four vertical edges and the vertical centre line through the top disc
    int cylinder_side = c.count;
    c.count = 0;
    ASSERT_EQ(collide_body_pair(world.get(), 0, 1, kModeRecord, 0), 1);  // the tree's: reversed
    ASSERT_EQ(c.count, cylinder_side);
    for (int n = 0; n < c.count; n++) EXPECT_EQ(c.other[n], 1);
    tree.position[2] = 1.5f;
    physics_body_prepare(&tree);
    EXPECT_EQ(collide_body_pair(world.get(), 0, 1, kModeTest, 0), 0);
    mesh_free_body_shapes(&tree);
}

// A pendulum: box 0's anchor held at the origin, boxes 1 and 2 hanging from it by ball joints.
struct Pendulum {
    std::unique_ptr<PhysicsWorld> world = test_new_world();
    RigidBody boxes[3];
    Pendulum()
    {
        g_physics_rest_speed = 0.05f;
        g_physics_rest_spin = 0.125f;
        physics_world_reset(world.get());
        world->base_substeps = 5;
        world->adaptive_substeps = 0;
        world->record_events = 1;
        test_add_pendulum(world.get(), boxes, 0.0f, 0.0f, 0.0f);
    }
    ~Pendulum() { physics_world_reset(world.get()); }
    float gap(const Joint *j) const
    {
        float a[3], b[3], d[3];
        mat4_transform_point(a, j->body_a->rotation_matrix, j->anchor_a);
        vec3_add(a, a, j->body_a->position);
        if (j->type == 2) return vec3_length(vec3_sub(d, a, j->fixed_point));
        mat4_transform_point(b, j->body_b->rotation_matrix, j->anchor_b);
        vec3_add(b, b, j->body_b->position);
        return vec3_length(vec3_sub(d, a, b));
    }
};

TEST(PhysicsJoints, PendulumKeepsItsJointsOver1000Steps)
{
    Pendulum p;
    float worst = 0.0f;
    for (int s = 0; s < 1000; s++) {
        p.world->frame_time = 0.01f;
        physics_world_step(p.world.get());
        for (const Joint *j = p.world->joint_chains[0]; j; j = j->next) worst = std::max(worst, p.gap(j));
        for (const RigidBody &b : p.boxes) ASSERT_TRUE(test_finite(b.position));
        for (CollisionEventNode *e = p.world->events.first; e; e = e->next) EXPECT_NE(e->value.kind, 1);
    }
    EXPECT_LT(worst, 0.02f);
    EXPECT_GT(p.boxes[2].position[1], 0.9f);  // it swung down (+y)
}

TEST(PhysicsJoints, ASingularSystemGivesNoNaN)
{
    Pendulum p;
    // A second fixed-point joint on the same anchor: duplicated rows, a singular system.
    Joint *twin = new Joint{};
    twin->type = 2;
    twin->body_a = &p.boxes[0];
    twin->body_b = new RigidBody;
    mesh_body_init(twin->body_b);
    twin->body_b->joint_owned = 1;
    vec3_set(twin->anchor_a, -0.3f, -0.2f, 0);
    twin->next = p.world->joint_chains[0]->next;
    p.world->joint_chains[0]->next = twin;
    for (int s = 0; s < 20; s++) {
        p.world->frame_time = 0.01f;
        physics_world_step(p.world.get());
    }
    for (const RigidBody &b : p.boxes) {
        EXPECT_TRUE(test_finite(b.position));
        EXPECT_TRUE(test_finite(b.velocity));
        EXPECT_TRUE(test_finite(b.quaternion, 4));
    }
}

}  // namespace
