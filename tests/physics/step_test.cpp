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

}  // namespace
