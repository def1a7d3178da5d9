// Bodies against a static mesh: spheres, the ball's edge pass, box trees, cylinders, the sweep.
#include "tests/physics/physics_test_util.h"

#include <gtest/gtest.h>

namespace {

// A world with a dummy collider in slot 0 far away and the floor (half size 2, y = 0) in slot 1.
struct FloorWorld {
    std::unique_ptr<PhysicsWorld> world = test_new_world();
    MeshPtr dummy = test_prepared(test_floor(1.0f, 500.0f));
    MeshPtr floor = test_prepared(test_floor(2.0f));
    ColliderSlot *slot = nullptr;
    FloorWorld()
    {
        physics_world_reset(world.get());
        world->frame_time = 0.035f;
        physics_add_static_mesh(world.get(), dummy.get(), 0.9f, 0.9f, 4);
        slot = physics_add_static_mesh(world.get(), floor.get(), 0.4f, 0.6f, 16);
    }
    int32_t collide(RigidBody *body, int32_t mode, int worker = 0)
    {
        world->contact_buffers[worker].count = 0;
        return collide_body_static_mesh(world.get(), body->index, slot, mode, worker);
    }
    ContactBuffer &contacts(int worker = 0) { return world->contact_buffers[worker]; }
};

TEST(PhysicsStaticMesh, SphereRestingOnTheFloorGetsOneContactOfTheSlot)
{
    FloorWorld w;
    RigidBody sphere;
    test_sphere_body(&sphere, 0.5f, 0.3f, -0.4f, -0.2f);
    ASSERT_EQ(physics_add_body(w.world.get(), &sphere), 1);
    EXPECT_EQ(w.collide(&sphere, kModeTest), 1);
    EXPECT_EQ(w.contacts().count, 0);
    ASSERT_EQ(w.collide(&sphere, kModeRecord), 1);
    ContactBuffer &c = w.contacts();
    ASSERT_EQ(c.count, 1);
    EXPECT_EQ(c.kind[0], 3);
    EXPECT_EQ(c.other[0], 16384);  // slot 1's code
    const ColliderSlot &slot = w.world->colliders[c.other[0] / 16384];
    EXPECT_FLOAT_EQ(slot.restitution, 0.4f);
    EXPECT_FLOAT_EQ(slot.friction, 0.6f);
    EXPECT_NEAR(c.depth[0], 0.1f, 1e-6f);
    EXPECT_FLOAT_EQ(c.normal[0][1], -1.0f);  // the face's world normal
    EXPECT_NEAR(c.point[0][0], 0.3f, 1e-6f);
    EXPECT_NEAR(c.point[0][1], 0.0f, 1e-6f);
}

TEST(PhysicsStaticMesh, ContactsCarryTheWorldNormalAndNameTheirSlot)
{
    FloorWorld w;
    w.floor->rotation[0] = 10.0f;  // tilted about x
    physics_collider_update(w.slot);
    RigidBody sphere;
    test_sphere_body(&sphere, 0.5f, 0.5f, -0.4f, -0.5f);
    ASSERT_EQ(physics_add_body(w.world.get(), &sphere), 1);
    ASSERT_EQ(w.collide(&sphere, kModeRecord), 1);
    ContactBuffer &c = w.contacts();
    ASSERT_EQ(c.count, 1);
    const float *n = w.floor->faces[1].world_normal;
    EXPECT_LT(n[2], -0.1f);
    for (int k = 0; k < 3; k++) EXPECT_EQ(c.normal[0][k], n[k]);
    float s = vec3_dot(n, sphere.position) - vec3_dot(n, w.floor->vertices[0].world_position);
    EXPECT_NEAR(c.depth[0], 0.5f - s, 1e-6f);

    EXPECT_EQ(physics_collider_of_tag(w.world.get(), c.other[0]), w.slot);
    EXPECT_EQ(physics_collider_of_tag(w.world.get(), 0), &w.world->colliders[0]);
    EXPECT_EQ(physics_collider_of_tag(w.world.get(), 2 * 16384), nullptr);  // no slot 2 in use
    EXPECT_EQ(physics_collider_of_tag(w.world.get(), 40 * 16384), nullptr);
    EXPECT_EQ(physics_collider_of_tag(w.world.get(), -16384), nullptr);
    EXPECT_EQ(physics_collider_of_tag(w.world.get(), -1), nullptr);
}

TEST(PhysicsStaticMesh, FootOnAnEdgeOrCornerOrCentreBehindGivesNothing)
{
    FloorWorld w;
    RigidBody sphere;
    test_sphere_body(&sphere, 0.5f, 0.25f, -0.4f, 0.25f);  // on the shared diagonal
    ASSERT_EQ(physics_add_body(w.world.get(), &sphere), 1);
    EXPECT_EQ(w.collide(&sphere, kModeRecord), 0);
    EXPECT_EQ(w.contacts().count, 0);
    vec3_set(sphere.position, -2.0f, -0.4f, -2.0f);  // the floor's corner
    EXPECT_EQ(w.collide(&sphere, kModeRecord), 0);
    vec3_set(sphere.position, 2.0f, -0.4f, 0.5f);  // the floor's outer edge
    EXPECT_EQ(w.collide(&sphere, kModeRecord), 0);
    vec3_set(sphere.position, 0.5f, 0.1f, -0.5f);  // centre behind the plane
    EXPECT_EQ(w.collide(&sphere, kModeRecord), 0);
    vec3_set(sphere.position, 0.5f, 0.0f, -0.5f);  // centre on the plane
    EXPECT_EQ(w.collide(&sphere, kModeRecord), 0);
    EXPECT_EQ(w.contacts().count, 0);
}

// Expected edge contacts of the ball: every edge of its mesh crossing the floor inside a face.
int brute_force_edge_contacts(const MeshObject *ball)
{
    int count = 0;
    const MeshEdgeTable *t = ball->edge_table;
    for (int e = 0; e < t->count; e++) {
        const float *a = ball->vertices[t->records[e].a].world_position;
        const float *b = ball->vertices[t->records[e].b].world_position;
        float sa = -a[1], sb = -b[1];
        if (!(sa * sb < 0)) continue;
        float x = a[0] + (b[0] - a[0]) * (-sa / (sb - sa)), z = a[2] + (b[2] - a[2]) * (-sa / (sb - sa));
        if (fabsf(x) <= 2 && fabsf(z) <= 2) count++;
    }
    return count;
}

TEST(PhysicsStaticMesh, BallSunkIntoTheFloorGetsOneContactPerCrossingEdge)
{
    FloorWorld w;
    MeshPtr ball = test_ball(0.5f, -0.09f, -0.5f);
    RigidBody *body = &ball->body;
    ASSERT_EQ(physics_add_body(w.world.get(), body), 1);
    int expected = brute_force_edge_contacts(ball.get());
    ASSERT_GT(expected, 0);
    ASSERT_EQ(w.collide(body, kModeRecord, 2), 1);
    ContactBuffer &c = w.contacts(2);
    EXPECT_EQ(c.count, expected);
    for (int n = 0; n < c.count; n++) {
        EXPECT_EQ(c.kind[n], 3);
        EXPECT_EQ(c.other[n], 16384);
        EXPECT_FLOAT_EQ(c.normal[n][1], -1.0f);
        EXPECT_NEAR(c.point[n][1], 0.0f, 1e-6f);
        EXPECT_GT(c.depth[n], 0.0f);
        EXPECT_LE(c.depth[n], 0.0100001f);
    }
    // Only the cells reaching the floor's plane are marked for worker 2.
    const PointGrid *grid = body->point_grid;
    int marked = 0;
    for (int cell = 0; cell < 64; cell++) {
        bool near = fabsf(grid->cells[cell].world_point[1]) < grid->cells[cell].radius;
        EXPECT_EQ(grid->cells[cell].mark[2], near ? 1 : 0);
        marked += grid->cells[cell].mark[2];
    }
    EXPECT_GT(marked, 0);
    EXPECT_LT(marked, 64);

    // Edges crossing the plane are not tried when their ends' cells lie far from it.
    int far = 0;
    while (far < 64 && (grid->cells[far].mark[2] || (far & 3) >= grid->nx || ((far >> 2) & 3) >= grid->ny ||
                        (far >> 4) >= grid->nz))
        far++;
    ASSERT_LT(far, 64);
    std::vector<int16_t> cells;
    for (int v = 0; v < ball->vertex_count; v++) {
        cells.push_back(ball->vertices[v].grid_cell);
        ball->vertices[v].grid_cell = int16_t(far);
    }
    EXPECT_EQ(w.collide(body, kModeRecord, 2), 0);
    EXPECT_EQ(w.contacts(2).count, 0);
    for (int v = 0; v < ball->vertex_count; v++) ball->vertices[v].grid_cell = cells[size_t(v)];

    // Cell indices that point outside the grid are never used to index it: those edges are tried.
    grid = nullptr;
    body->point_grid->nz = 1;
    ball->vertices[3].grid_cell = 200;
    ball->vertices[4].grid_cell = -7;
    ASSERT_EQ(w.collide(body, kModeRecord, 2), 1);
    EXPECT_EQ(w.contacts(2).count, expected);

    // Without a grid every edge whose box meets the face box is cut.
    PointGrid *saved = body->point_grid;
    body->point_grid = nullptr;
    ASSERT_EQ(w.collide(body, kModeRecord, 2), 1);
    EXPECT_EQ(w.contacts(2).count, expected);
    body->point_grid = saved;

    // Without a collision mesh the faces give nothing.
    body->collision_mesh = nullptr;
    EXPECT_EQ(w.collide(body, kModeRecord, 2), 0);
}

TEST(PhysicsStaticMesh, BallEdgeEndingOnThePlaneGivesNothing)
{
    FloorWorld w;
    // The ball's lowest vertex (local +y, its first) lies exactly on the floor.
    MeshPtr ball = test_ball(0.5f, -0.1f, -0.5f);
    ASSERT_EQ(ball->vertices[0].world_position[1], 0.0f);
    ASSERT_EQ(physics_add_body(w.world.get(), &ball->body), 1);
    EXPECT_EQ(w.collide(&ball->body, kModeRecord), 0);
    EXPECT_EQ(w.contacts().count, 0);
}

TEST(PhysicsStaticMesh, BoxTreeEdgesCrossingTheFloor)
{
    FloorWorld w;
    MeshPtr cube(mesh_new());
    ASSERT_EQ(mesh_build_box(cube.get(), 1, 1, 1), 1);
    RigidBody body;
    mesh_body_init(&body);
    body.shape = kShapeTree;
    body.shape_tree = physics_build_shape_tree(cube.get(), 0, 0);
    body.radius = 0.9f;
    vec3_set(body.position, 1.0f, -0.45f, -1.0f);
    physics_body_prepare(&body);
    ASSERT_EQ(physics_add_body(w.world.get(), &body), 1);
    ASSERT_EQ(w.collide(&body, kModeRecord), 1);
    ContactBuffer &c = w.contacts();
    ASSERT_EQ(c.count, 4);  // the four vertical edges
    for (int n = 0; n < 4; n++) {
        EXPECT_NEAR(c.depth[n], 0.05f, 1e-6f);
        EXPECT_NEAR(c.point[n][1], 0.0f, 1e-6f);
    }
    // Lifted clear of the floor: every corner in front, nothing.
    body.position[1] = -0.6f;
    physics_body_prepare(&body);
    EXPECT_EQ(w.collide(&body, kModeRecord), 0);
    mesh_free_body_shapes(&body);
}

TEST(PhysicsStaticMesh, CylinderLyingOnItsSideTouchesAtTheMidpoint)
{
    FloorWorld w;
    RigidBody body;
    mesh_body_init(&body);
    body.shape = kShapeCylinder;
    body.radius = 0.5f;
    body.cylinder_height = 1.0f;
    vec3_set(body.cylinder_axis, 0, 0, 2);  // any length
    vec3_set(body.position, 1.0f, -0.45f, -1.0f);
    physics_body_prepare(&body);
    ASSERT_EQ(physics_add_body(w.world.get(), &body), 1);
    ASSERT_EQ(w.collide(&body, kModeRecord), 1);
    ContactBuffer &c = w.contacts();
    ASSERT_EQ(c.count, 1);
    EXPECT_NEAR(c.depth[0], 0.05f, 1e-6f);
    EXPECT_NEAR(c.point[0][0], 1.0f, 1e-6f);
    EXPECT_NEAR(c.point[0][1], 0.0f, 1e-6f);
    EXPECT_NEAR(c.point[0][2], -1.0f, 1e-6f);
}

TEST(PhysicsStaticMesh, FastBodiesAreSweptOntoTheFace)
{
    FloorWorld w;
    RigidBody sphere;
    test_sphere_body(&sphere, 0.5f, 0.5f, 0.3f, -0.5f);
    vec3_set(sphere.saved_position, 0.5f, -0.8f, -0.5f);
    vec3_set(sphere.predicted_position, 0.5f, 0.3f, -0.5f);
    vec3_set(sphere.velocity, 0.0f, 20.0f, 0.0f);  // 20 x 0.035 = 0.7 > 0.5
    ASSERT_EQ(physics_add_body(w.world.get(), &sphere), 1);
    EXPECT_EQ(w.collide(&sphere, kModeTest), 1);
    EXPECT_FLOAT_EQ(sphere.position[1], 0.3f);  // test mode moves nothing
    ASSERT_EQ(w.collide(&sphere, kModeRecord), 1);
    ContactBuffer &c = w.contacts();
    ASSERT_EQ(c.count, 1);
    EXPECT_NEAR(sphere.position[1], -0.5f, 1e-6f);
    EXPECT_NEAR(c.depth[0], 0.8f, 1e-6f);
    EXPECT_NEAR(c.point[0][1], 0.0f, 1e-6f);

    // 10 units per second is not swept.
    vec3_set(sphere.position, 0.5f, 0.3f, -0.5f);
    vec3_set(sphere.velocity, 0.0f, 10.0f, 0.0f);
    EXPECT_EQ(w.collide(&sphere, kModeRecord), 0);
    // Zero travel finds nothing even when fast.
    vec3_set(sphere.velocity, 0.0f, 20.0f, 0.0f);
    vec3_set(sphere.saved_position, 0.5f, 0.3f, -0.5f);
    EXPECT_EQ(w.collide(&sphere, kModeRecord), 0);

    // A box body is only ever found by the sweep.
    RigidBody box;
    mesh_body_init(&box);
    box.shape = kShapeBox;
    box.radius = 0.5f;
    vec3_set(box.half_extents, 0.3f, 0.3f, 0.3f);
    vec3_set(box.position, 0.5f, -0.1f, -0.5f);
    ASSERT_EQ(physics_add_body(w.world.get(), &box), 1);
    EXPECT_EQ(w.collide(&box, kModeRecord), 0);
    vec3_set(box.saved_position, 0.5f, -0.8f, -0.5f);
    vec3_set(box.predicted_position, 0.5f, 0.3f, -0.5f);
    vec3_set(box.velocity, 0.0f, 20.0f, 0.0f);
    EXPECT_EQ(w.collide(&box, kModeRecord), 1);
}

TEST(PhysicsStaticMesh, DegenerateFacesAndBadIndicesGiveNoContactAndNoNaN)
{
    auto world = test_new_world();
    physics_world_reset(world.get());
    MeshPtr flat = test_prepared(test_mesh({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {1, 0, 0}}, {{0, 1, 2}, {0, 3, 1}}));
    ColliderSlot *slot = physics_add_static_mesh(world.get(), flat.get(), 0.5f, 0.5f, 4);
    ASSERT_NE(slot, nullptr);
    flat->faces[1].v[1] = 1000;  // a corner index outside the mesh
    MeshPtr ball = test_ball(0.0f, -0.05f, 0.0f);
    ASSERT_EQ(physics_add_body(world.get(), &ball->body), 1);
    RigidBody sphere;
    test_sphere_body(&sphere, 0.5f, 0.0f, -0.1f, 0.0f);
    ASSERT_EQ(physics_add_body(world.get(), &sphere), 1);
    world->contact_buffers[0].count = 0;
    EXPECT_EQ(collide_body_static_mesh(world.get(), 0, slot, kModeRecord, 0), 0);
    EXPECT_EQ(collide_body_static_mesh(world.get(), 1, slot, kModeRecord, 0), 0);
    EXPECT_EQ(collide_body_static_mesh(world.get(), 5, slot, kModeRecord, 0), 0);
    EXPECT_EQ(collide_body_static_mesh(world.get(), 1, slot, kModeRecord, 9), 0);
    EXPECT_EQ(world->contact_buffers[0].count, 0);
}

}  // namespace
