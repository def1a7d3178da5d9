// The world step: sub-step counts, the broad phase, integration and sleep, colliders, events,
// and the collide, wake and correction jobs on hand-made cases.
#include "tests/physics/physics_test_util.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct StepWorld {
    std::unique_ptr<PhysicsWorld> world = test_new_world();
    StepWorld(float rest_speed = 0.05f, float rest_spin = 0.125f)
    {
        g_physics_rest_speed = rest_speed;
        g_physics_rest_spin = rest_spin;
        physics_world_reset(world.get());
        world->frame_time = 1.0f;
        world->base_substeps = 5;
        world->gravity = 0.0f;
    }
    ~StepWorld() { physics_world_reset(world.get()); }
};

TEST(PhysicsStep, AdaptiveSubstepCounts)
{
    StepWorld w;
    w.world->adaptive_factor = 1.61f;
    physics_world_step(w.world.get());
    EXPECT_EQ(w.world->substeps_used, 5);  // no bodies
    EXPECT_FLOAT_EQ(w.world->substep_time, 0.2f);

    RigidBody body;
    test_sphere_body(&body, 0.1f, 0, 0, 0);
    body.wake_timer = 100;
    physics_add_body(w.world.get(), &body);
    // Bound for n sub-steps: |v| x 5 x (1 / n) x 0.9; slow, medium and fast bodies get 5, 7, 9.
    const float speeds[] = {0.1f, 0.12f, 10.0f};
    const int expected[] = {5, 7, 9};
    for (int k = 0; k < 3; k++) {
        vec3_set(body.position, 0, 0, 0);
        vec3_set(body.velocity, speeds[k], 0, 0);
        physics_world_step(w.world.get());
        EXPECT_EQ(w.world->substeps_used, expected[k]) << speeds[k];
    }
    w.world->adaptive_substeps = 0;
    physics_world_step(w.world.get());
    EXPECT_EQ(w.world->substeps_used, 5);
    w.world->adaptive_substeps = 1;

    // At or beyond y_limit a body never raises the count.
    vec3_set(body.velocity, 10.0f, 0, 0);
    body.position[1] = w.world->y_limit;
    physics_world_step(w.world.get());
    EXPECT_EQ(w.world->substeps_used, 5);

    // A radius equal to the bound does not count (strict).
    vec3_set(body.position, 0, 0, 0);
    vec3_set(body.velocity, 1.0f, 0, 0);
    body.radius = 1.0f * float(5) * (1.0f / float(5)) * 0.9f;
    physics_world_step(w.world.get());
    EXPECT_EQ(w.world->substeps_used, 5);
}

TEST(PhysicsStep, FreeFallFollowsTheIntegrationOrder)
{
    StepWorld w;
    w.world->gravity = 2.0f;
    w.world->adaptive_substeps = 0;
    RigidBody body;
    test_sphere_body(&body, 0.1f, 0, 0, 0);
    body.velocity[1] = 1.0f;
    body.wake_timer = 100;
    physics_add_body(w.world.get(), &body);
    physics_world_step(w.world.get());
    // Sub-step 0 runs on the stroke's force (none): only the sub-steps after it feel gravity, and
    // each moves by the velocity it started with.
    float dt = 1.0f / 5.0f, y = 0.0f, v = 1.0f;
    for (int k = 0; k < 5; k++) {
        y += v * dt;
        if (k > 0) v += 2.0f * 1.0f * dt;
    }
    EXPECT_EQ(body.position[1], y);
    EXPECT_EQ(body.velocity[1], v);
    EXPECT_EQ(body.predicted_position[1], y);
    EXPECT_EQ(body.asleep, 0);
}

TEST(PhysicsStep, StrokesMoveAwakeBodiesAndOnlyWakeSleepingOnes)
{
    StepWorld w;
    w.world->adaptive_substeps = 0;
    RigidBody body;
    test_sphere_body(&body, 0.1f, 0, 0, 0);
    body.mass = 2.0f;
    body.inverse_mass = 0.5f;
    physics_add_body(w.world.get(), &body);
    vec3_set(body.impulse, 4.0f, 0, 0);
    body.impulse_point[0] = 0.0f;
    physics_world_step(w.world.get());
    EXPECT_FLOAT_EQ(body.velocity[0], 2.0f);  // J x inverse mass, in the first sub-step
    EXPECT_EQ(body.impulse[0], 0.0f);

    RigidBody sleeper;
    test_sphere_body(&sleeper, 0.1f, 5, 0, 0);
    sleeper.asleep = 1;
    physics_add_body(w.world.get(), &sleeper);
    vec3_set(sleeper.impulse, 4.0f, 0, 0);
    physics_world_step(w.world.get());
    EXPECT_EQ(sleeper.velocity[0], 0.0f);
    EXPECT_EQ(sleeper.position[0], 5.0f);
    EXPECT_EQ(sleeper.asleep, 1);  // woken in sub-step 0, not moving afterwards, timer 0
}

TEST(PhysicsStep, SleepAfterTheWakeTimerRunsOut)
{
    StepWorld w;
    w.world->adaptive_substeps = 0;
    w.world->base_substeps = 1;
    RigidBody body;
    test_sphere_body(&body, 0.1f, 0, 0, 0);
    body.wake_timer = 3;
    physics_add_body(w.world.get(), &body);
    for (int k = 0; k < 3; k++) {
        physics_world_step(w.world.get());
        EXPECT_EQ(body.asleep, 0) << k;
    }
    EXPECT_EQ(body.wake_timer, 0);
    physics_world_step(w.world.get());
    EXPECT_EQ(body.asleep, 1);

    // Moving and asleep: motion zeroed and awake, not integrated.
    body.velocity[0] = 1.0f;
    physics_world_step(w.world.get());
    EXPECT_EQ(body.asleep, 0);
    EXPECT_EQ(body.position[0], 0.0f);
    EXPECT_EQ(body.velocity[0], 0.0f);
}

TEST(PhysicsStep, AMeshMovedBetweenStepsIsPlacedAgainAtTheBody)
{
    // A ball asleep on the floor: its pose does not change, but whatever the caller did to its
    // mesh between steps, each step places the mesh back at the body before it is tested.
    TestGame game;
    TestMeshBuilder floor;
    floor.floor(-3, 3, -3, 3, 0);
    game.add(floor.build());
    RigidBody *ball = game.place_ball(0.2f, -0.1f, 0.3f);
    for (int s = 0; s < 200 && !ball->asleep; s++) game.step();
    ASSERT_TRUE(ball->asleep);
    const MeshVertex &v = game.ball->vertices[0];
    float placed[3] = {v.world_position[0], v.world_position[1], v.world_position[2]};
    for (int32_t n = 0; n < game.ball->vertex_count; n++) game.ball->vertices[n].world_position[1] -= 5.0f;
    for (int32_t c = 0; c < 64; c++) ball->point_grid->cells[c].world_point[1] -= 5.0f;
    game.step();
    EXPECT_EQ(v.world_position[0], placed[0]);
    EXPECT_EQ(v.world_position[1], placed[1]);
    EXPECT_EQ(v.world_position[2], placed[2]);
    EXPECT_NEAR(ball->point_grid->cells[0].world_point[1] - ball->position[1], ball->point_grid->cells[0].point[1],
                1e-5f);
}

TEST(PhysicsStep, BroadPhaseIsStrictAndNoPredictionPairsForward)
{
    StepWorld w;
    RigidBody a, b, c;
    test_sphere_body(&a, 1.0f, 0, 0, 0);
    test_sphere_body(&b, 1.0f, 2.0f, 0, 0);  // exactly touching: not candidates
    test_sphere_body(&c, 1.0f, 50.0f, 0, 0);
    for (RigidBody *body : {&a, &b, &c}) {
        body->wake_timer = 10;
        physics_add_body(w.world.get(), body);
    }
    physics_world_step(w.world.get());
    EXPECT_EQ(w.world->candidate_pairs[0][0], 1);
    EXPECT_EQ(w.world->candidate_pairs[0][1], 0);
    b.position[0] = 1.99f;
    physics_world_step(w.world.get());
    EXPECT_EQ(w.world->candidate_pairs[0][1], 1);
    EXPECT_EQ(w.world->candidate_pairs[1][0], 1);
    EXPECT_EQ(w.world->candidate_pairs[0][2], 0);
    // The no-prediction byte pairs a body with every later one, not with earlier ones.
    b.no_prediction = 1;
    physics_world_step(w.world.get());
    EXPECT_EQ(w.world->candidate_pairs[1][2], 1);
    EXPECT_EQ(w.world->candidate_pairs[2][1], 1);
}

TEST(PhysicsStep, CollidersSweepFromTheirPreviousTransform)
{
    StepWorld w;
    w.world->adaptive_substeps = 0;
    MeshPtr blade = test_prepared(test_floor(0.5f));
    ColliderSlot *slot = physics_add_static_mesh(w.world.get(), blade.get(), 0.5f, 0.5f, 4);
    blade->rotation[1] = 90.0f;
    blade->moved = 1;
    physics_world_step(w.world.get());
    EXPECT_FLOAT_EQ(blade->rotation[1], 72.0f);  // the last sub-step, t = 4 / 5
    EXPECT_FLOAT_EQ(slot->previous_rotation[1], 90.0f);
    EXPECT_EQ(blade->moved, 0);
    // No wrap-around: 350 to 10 goes back through 180.
    slot->previous_rotation[1] = 350.0f;
    blade->rotation[1] = 10.0f;
    physics_world_step(w.world.get());
    EXPECT_FLOAT_EQ(blade->rotation[1], 350.0f + (10.0f - 350.0f) * 0.8f);
    // A mesh the game leaves where its last step began keeps its face data.
    blade->rotation[1] = slot->previous_rotation[1];
    physics_world_step(w.world.get());
    float centre = blade->faces[0].centre[0];
    physics_world_step(w.world.get());
    EXPECT_EQ(blade->faces[0].centre[0], centre);
}

TEST(PhysicsStep, EventsHoldOnlyTheLastStepAndNoneWhenOff)
{
    TestGame game;
    TestMeshBuilder b;
    b.floor(-3, 3, -3, 3, 0);
    game.add(b.build());
    RigidBody *ball = game.place_ball(0.0f, -0.3f, 0.0f);
    int with_events = 0;
    for (int s = 0; s < 30 && !ball->asleep; s++) {
        game.step();
        if (game.world->events.count > 0) with_events++;
        for (int w = 0; w < kPhysicsWorkers; w++) EXPECT_EQ(game.world->worker_events[w].count, 0);
    }
    EXPECT_GT(with_events, 0);
    // Lift the ball clear: the next step has no contact and no events.
    ball->position[1] = -2.0f;
    ball->asleep = 0;
    ball->velocity[1] = 0.0f;
    game.step();
    EXPECT_EQ(game.world->events.count, 0);
    EXPECT_EQ(game.world->events.first, nullptr);

    TestGame quiet;
    TestMeshBuilder f;
    f.floor(-3, 3, -3, 3, 0);
    quiet.add(f.build());
    RigidBody *other = quiet.place_ball(0.0f, -0.3f, 0.0f);
    quiet.world->record_events = 0;
    for (int s = 0; s < 30 && !other->asleep; s++) {
        quiet.step();
        EXPECT_EQ(quiet.world->events.count, 0);
    }
}

// Two spheres and a direct collide job on the first, run as worker 0 on this thread.
struct JobWorld {
    StepWorld w;
    RigidBody a, b;
    JobWorld(float speed)
    {
        test_sphere_body(&a, 1.0f, 0, 0, 0);
        test_sphere_body(&b, 1.0f, 1.9f, 0, 0);
        b.restitution = 0.5f;
        physics_add_body(w.world.get(), &a);
        physics_add_body(w.world.get(), &b);
        w.world->record_events = 1;
        w.world->substep_time = 0.1f;
        w.world->body_count = 2;
        w.world->body_order[0] = BodyOrderEntry{0, 0};
        w.world->body_order[1] = BodyOrderEntry{0, 1};
        for (int i = 0; i < 2; i++)
            for (int j = 0; j < 2; j++) w.world->candidate_pairs[i][j] = 1;
        a.velocity[0] = speed;
        for (RigidBody *body : {&a, &b}) physics_body_prepare(body);
        physics_set_workers(0, 2);
        physics_start_workers(w.world.get());
    }
    ~JobWorld()
    {
        physics_stop_workers();
        physics_set_workers(kPhysicsWorkers, 2);
        physics_event_list_clear(&w.world->worker_events[0]);
    }
};

TEST(PhysicsJobs, CollideJobImpulseEventClassAndSupport)
{
    JobWorld near_speed(0.1f);
    physics_job_collide(0, 0);
    EXPECT_EQ(near_speed.a.contact_flags, 2);
    ASSERT_EQ(near_speed.w.world->worker_events[0].count, 1);
    const CollisionEvent &e = near_speed.w.world->worker_events[0].first->value;
    EXPECT_EQ(e.kind, 1);
    EXPECT_EQ(e.event_class, 1);  // |vn| = 0.1 is not below 0.1
    EXPECT_EQ(e.other, 1);
    EXPECT_FLOAT_EQ(e.normal_speed, -0.1f);
    // J = (1 + e) x 0.1 / K with K = 1 (the contact lies on the line of centres): F = J / (1 x h).
    EXPECT_NEAR(near_speed.a.force[0], -1.5f * 0.1f / 0.1f, 1e-5f);

    JobWorld slow(0.09f);
    physics_job_collide(0, 0);
    ASSERT_EQ(slow.w.world->worker_events[0].count, 1);
    EXPECT_EQ(slow.w.world->worker_events[0].first->value.event_class, 5);

    // A separating contact does nothing; a resting one zeroes force and torque.
    JobWorld apart(-0.5f);
    apart.a.force[1] = 3.0f;
    physics_job_collide(0, 0);
    EXPECT_EQ(apart.a.force[1], 3.0f);
    EXPECT_EQ(apart.w.world->worker_events[0].count, 0);
    JobWorld resting(0.000005f);
    resting.a.force[1] = 3.0f;
    resting.a.torque[2] = 1.0f;
    physics_job_collide(0, 0);
    EXPECT_EQ(resting.a.force[1], 0.0f);
    EXPECT_EQ(resting.a.torque[2], 0.0f);
    EXPECT_EQ(resting.w.world->worker_events[0].count, 0);

    // The other body lies lower (greater y): it becomes the support body.
    JobWorld support(0.1f);
    support.b.position[1] = 0.3f;
    physics_job_collide(0, 0);
    EXPECT_EQ(support.a.support, &support.b);

    // An asleep body tests nothing and keeps its support body.
    JobWorld asleep(0.1f);
    asleep.a.asleep = 1;
    asleep.a.support = &asleep.b;
    physics_job_collide(0, 0);
    EXPECT_EQ(asleep.a.contact_flags, 0);
    EXPECT_EQ(asleep.a.support, &asleep.b);
}

TEST(PhysicsJobs, ImpulseWithNoPositiveKIsSkipped)
{
    JobWorld w(1.0f);
    w.a.inverse_mass = 0.0f;
    mat4_identity(w.a.world_inverse_inertia);
    for (int k = 0; k < 3; k++) w.a.world_inverse_inertia[k * 5] = 0.0f;
    physics_job_collide(0, 0);
    EXPECT_TRUE(test_finite(w.a.force));
    EXPECT_TRUE(test_finite(w.a.torque));
    EXPECT_EQ(w.a.force[0], 0.0f);
    EXPECT_EQ(w.w.world->worker_events[0].count, 0);
    w.a.inverse_mass = -1.0f;  // K below zero
    physics_job_collide(0, 0);
    EXPECT_EQ(w.a.force[0], 0.0f);
}

TEST(PhysicsJobs, PairsFoundApartAreMarkedForBothJobs)
{
    JobWorld w(0.1f);
    w.b.position[0] = 5.0f;
    physics_job_collide(0, 0);
    EXPECT_EQ(w.w.world->handled_pairs[0][1], 1);
    EXPECT_EQ(w.w.world->handled_pairs[1][0], 1);
    EXPECT_EQ(w.a.contact_flags, 0);
}

TEST(PhysicsJobs, ContactsNamingNoColliderAreIgnored)
{
    TestGame game;
    TestMeshBuilder b;
    b.floor(-3, 3, -3, 3, 0);
    game.add(b.build());
    for (int f = 0; f < game.meshes[0]->face_count; f++) game.meshes[0]->faces[f].tag = 40 * 16384;
    RigidBody *ball = game.place_ball(0.5f, -0.3f, -0.5f);
    for (int s = 0; s < 20; s++) game.step();
    EXPECT_TRUE(test_finite(ball->position));
    EXPECT_EQ(game.world->events.count, 0);
    EXPECT_GT(ball->position[1], -0.1f);  // nothing held it up
}

TEST(PhysicsJobs, WakeJobWakesOnMovedMeshesAndTouchingMovers)
{
    TestGame game;
    TestMeshBuilder b;
    b.floor(-3, 3, -3, 3, 0);
    ColliderSlot *slot = game.add(b.build());
    RigidBody *ball = game.place_ball(0.5f, -0.095f, -0.5f);
    for (int s = 0; s < 50 && !ball->asleep; s++) game.step();
    ASSERT_EQ(ball->asleep, 1);
    for (int s = 0; s < 3; s++) game.step();
    EXPECT_EQ(ball->asleep, 1);  // an unmoved mesh wakes nobody
    // A turning blade: the slot follows its matrix and the moved byte wakes the ball.
    slot->use_matrix = 1;
    mat4_translate(mat4_identity(slot->matrix), 0, -0.01f, 0);  // raised into the ball
    game.meshes[0]->moved = 1;
    game.step();
    EXPECT_EQ(ball->asleep, 0);
    EXPECT_EQ(game.meshes[0]->moved, 0);

    StepWorld w;
    w.world->wake_time = 5;
    RigidBody mover, sleeper, resting;
    test_sphere_body(&mover, 1.0f, 0, 0, 0);
    test_sphere_body(&sleeper, 1.0f, 1.9995f, 0, 0);  // within the wake margin
    test_sphere_body(&resting, 1.0f, 0, 10, 0);
    for (RigidBody *body : {&mover, &sleeper, &resting}) physics_add_body(w.world.get(), body);
    sleeper.asleep = 1;
    resting.wake_timer = 100;
    mover.velocity[0] = 0.001f;  // not moving: wakes nobody
    mover.wake_timer = 100;
    physics_world_step(w.world.get());
    EXPECT_EQ(sleeper.asleep, 1);
    mover.velocity[0] = 0.06f;
    physics_world_step(w.world.get());
    EXPECT_EQ(sleeper.asleep, 0);
    EXPECT_EQ(sleeper.wake_timer, 5 - 4);  // woken in sub-step 0, then counted down
}

TEST(PhysicsJobs, CorrectionPullsBackSupportedBodies)
{
    JobWorld w(0.0f);
    RigidBody &a = w.a;
    vec3_set(a.saved_position, 0, 0, 0);
    vec3_set(a.predicted_position, 1, 0, 0);
    vec3_set(a.displacement, 1, 0, 0);
    a.contact_flags = 2;
    a.support = &w.b;
    vec3_set(a.velocity, 1, 0, 0);
    float s = sqrtf(0.5f);
    const float turned[4] = {s, 0, 0, s};
    memcpy(a.integrated_quaternion, turned, sizeof turned);
    physics_job_correct(0, 0);  // ratio 1: keeps the integrated pose
    EXPECT_FLOAT_EQ(a.position[0], 1.0f);
    EXPECT_FLOAT_EQ(a.quaternion[3], s);
    EXPECT_EQ(a.velocity[0], 1.0f);

    vec3_set(a.displacement, 0.000001f, 0, 0);  // ratio below 1e-5: stopped at the ratio
    physics_job_correct(0, 0);
    EXPECT_EQ(a.velocity[0], 0.0f);
    EXPECT_FLOAT_EQ(a.position[0], 0.000001f * 0.000001f);
    EXPECT_FLOAT_EQ(a.quaternion[0], 1.0f);

    // Without a body contact nothing is pulled back, support body or not.
    a.contact_flags = 0;
    vec3_set(a.position, 7, 0, 0);
    physics_job_correct(0, 0);
    EXPECT_EQ(a.position[0], 7.0f);
}

TEST(PhysicsJobs, PushAlongOpposedNormalsIsSkipped)
{
    // A sphere sunk equally between a floor and a ceiling: the weighted normals cancel.
    StepWorld w;
    TestMeshBuilder b;
    b.floor(-2, 2, -2, 2, 0);
    b.quad({-2, -1, -2}, {2, -1, -2}, {2, -1, 2}, {-2, -1, 2}, {0, 1, 0});
    MeshPtr mesh = b.build();
    physics_add_static_mesh(w.world.get(), mesh.get(), 0.5f, 0.5f, 16);
    RigidBody sphere;
    test_sphere_body(&sphere, 0.6f, 0.5f, -0.5f, -0.5f);
    physics_add_body(w.world.get(), &sphere);
    sphere.contact_flags = 1;
    physics_set_workers(0, 2);
    physics_start_workers(w.world.get());
    physics_job_correct(0, 0);
    EXPECT_EQ(w.world->contact_buffers[0].count, 2);
    EXPECT_TRUE(test_finite(sphere.position));
    EXPECT_EQ(sphere.position[1], -0.5f);
    // Depths 0.15 below and 0.05 above: pushed up 0.2 x their mean depth 0.1.
    sphere.position[1] = -0.45f;
    physics_job_correct(0, 0);
    EXPECT_NEAR(sphere.position[1], -0.45f - 0.2f * 0.1f, 1e-6f);
    physics_stop_workers();
    physics_set_workers(kPhysicsWorkers, 2);
}

}  // namespace
