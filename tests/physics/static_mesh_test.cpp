// Bodies against a static mesh: box trees, cylinders, the sweep, degenerate faces and bad indices.
#include "tests/physics/physics_test_util.h"

#include <gtest/gtest.h>

#include <cstring>

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

// A collider's world data follows its mesh's transform from step to step, back to a transform it
// had before too (the matrix made from a transform is kept and made again only when it changes).
TEST(PhysicsStaticMesh, ColliderWorldDataFollowsItsTransformEachStep)
{
    auto world = test_new_world();
    MeshPtr floor = test_prepared(test_floor(1.0f));
    ASSERT_NE(physics_add_static_mesh(world.get(), floor.get(), 0.5f, 0.5f, 4), nullptr);
    world->frame_time = 0.035f;
    world->base_substeps = 5;
    const float heights[] = {0.0f, 0.5f, 0.5f, 0.0f, 0.5f, -0.25f};
    for (float y : heights) {
        SCOPED_TRACE(y);
        floor->position[1] = y;
        physics_world_step(world.get());
        // The step leaves the mesh at its last sub-step's place between the two transforms.
        const float at = floor->position[1];
        EXPECT_EQ(floor->vertices[0].world_position[1], at);
        EXPECT_NEAR(floor->faces[0].centre[1], at, 1e-6f);
        EXPECT_NEAR(floor->faces[1].centre[1], at, 1e-6f);
    }
}

// A collider's world data is redone at a step only when its mesh or matrix changed: every way of
// changing the mesh between steps shows in the next step's world data, and a step over an
// unchanged collider leaves the mesh as it was (no write, so no new revision).
TEST(PhysicsStaticMesh, ColliderWorldDataFollowsEveryChangeOfItsMesh)
{
    struct Case {
        const char *name;
        void (*change)(MeshObject *mesh, ColliderSlot *slot);
        float y;   // every vertex's world y after the next step
        float ny;  // face 0's world normal y after it
    };
    const Case cases[] = {
        {"vertices written, then touched",
         [](MeshObject *m, ColliderSlot *) {
             for (int32_t v = 0; v < m->vertex_count; v++) m->vertices[v].position[1] = 0.25f;
             mesh_touch(m);
         },
         0.25f, -1.0f},
        {"winding turned over", [](MeshObject *m, ColliderSlot *) { mesh_invert_in_place(m); }, 0.0f, 1.0f},
        {"world data placed elsewhere by another caller",
         [](MeshObject *m, ColliderSlot *) {
             float lifted[16];
             mat4_identity(lifted);
             mat4_translate(lifted, 0.0f, 3.0f, 0.0f);
             mesh_transform_by_matrices(m, lifted, m->rotation_matrix);
         },
         0.0f, -1.0f},
        {"arrays made again at another height",
         [](MeshObject *m, ColliderSlot *) {
             MeshPtr other = test_floor(1.0f, -0.5f);
             const int32_t vertices = other->vertex_count, faces = other->face_count;
             mesh_alloc_arrays(m, vertices);
             m->vertex_count = vertices;
             m->face_count = faces;
             memcpy(m->vertices, other->vertices, sizeof(MeshVertex) * size_t(vertices));
             memcpy(static_cast<void *>(m->faces), other->faces, sizeof(MeshFace) * size_t(faces));
             mesh_link_face_vertices(m);
         },
         -0.5f, -1.0f},
        {"the caller's matrix moved",
         [](MeshObject *, ColliderSlot *s) {
             s->use_matrix = 1;
             mat4_identity(s->matrix);
             mat4_translate(s->matrix, 0.0f, 0.75f, 0.0f);
         },
         0.75f, -1.0f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto world = test_new_world();
        MeshPtr floor = test_prepared(test_floor(1.0f));
        ColliderSlot *slot = physics_add_static_mesh(world.get(), floor.get(), 0.5f, 0.5f, 4);
        ASSERT_NE(slot, nullptr);
        world->frame_time = 0.035f;
        physics_world_step(world.get());
        const uint64_t kept = floor->revision;
        physics_world_step(world.get());
        EXPECT_EQ(floor->revision, kept);
        c.change(floor.get(), slot);
        physics_world_step(world.get());
        for (int32_t v = 0; v < floor->vertex_count; v++) EXPECT_EQ(floor->vertices[v].world_position[1], c.y);
        EXPECT_FLOAT_EQ(floor->faces[0].centre[1], c.y);
        EXPECT_EQ(floor->faces[0].world_normal[1], c.ny);
    }
}

// The ball with its centre beyond the floor's side meets the floor's edge: one contact at the edge,
// along the line from it to the centre, the sphere's depth; with its centre over the floor, or
// coming at the edge fast, it meets the face. A ball over one triangle near the diagonal meets the
// other triangle's edge there, which is a seam: dropped.
TEST(PhysicsStaticMesh, BallBeyondAFaceMeetsItsEdgeAlongTheLineToItsCentre)
{
    FloorWorld w;
    MeshPtr ball = test_ball(2.05f, -0.08f, 0.5f);
    RigidBody *body = &ball->body;
    ASSERT_EQ(physics_add_body(w.world.get(), body), 1);
    ContactBuffer &c = w.contacts();
    struct Case {
        const char *what;
        float x, z, vx;
        int kind;
    } cases[] = {
        {"past the side, at rest", 2.05f, 0.5f, 0.0f, kContactMeshEdge},
        {"past the side, leaving it", 2.05f, 0.5f, 1.0f, kContactMeshEdge},
        {"over the floor", 1.95f, 0.5f, 0.0f, kContactMesh},
        {"past the side, coming at it fast", 2.05f, 0.5f, -3.0f, kContactMesh},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        vec3_set(body->position, k.x, -0.08f, k.z);
        vec3_set(body->velocity, k.vx, 0.0f, 0.0f);
        physics_body_prepare(body);
        ASSERT_EQ(w.collide(body, kModeRecord), 1);
        ASSERT_GE(c.count, 1);
        for (int32_t n = 0; n < c.count; n++) EXPECT_EQ(c.kind[n], k.kind);
        if (k.kind != kContactMeshEdge) continue;
        ASSERT_EQ(c.count, 1);
        const float d = hypotf(0.05f, 0.08f);
        EXPECT_NEAR(c.point[0][0], 2.0f, 1e-5f);
        EXPECT_NEAR(c.point[0][1], 0.0f, 1e-5f);
        EXPECT_NEAR(c.normal[0][0], 0.05f / d, 1e-4f);
        EXPECT_NEAR(c.normal[0][1], -0.08f / d, 1e-4f);
        EXPECT_NEAR(c.depth[0], 0.1f - d, 1e-5f);
    }

    // Over the triangle (0, 3, 2) (x < z), 0.02 from the diagonal.
    vec3_set(body->position, 0.49f, -0.08f, 0.51f);
    vec3_set(body->velocity, 0, 0, 0);
    physics_body_prepare(body);
    ASSERT_EQ(w.collide(body, kModeRecord), 1);
    int faces = 0, edges = 0;
    for (int32_t n = 0; n < c.count; n++) (c.kind[n] == kContactMeshEdge ? edges : faces)++;
    EXPECT_EQ(edges, 1);
    EXPECT_GT(faces, 0);
    EXPECT_EQ(physics_drop_seam_edges(&c, 0, c.count, 0.001f), faces);
    EXPECT_EQ(c.count, faces);
    for (int32_t n = 0; n < c.count; n++) EXPECT_EQ(c.kind[n], kContactMesh);
}
