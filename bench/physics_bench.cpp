// Cost of the physics step: the game's ball struck down a slope into a cup (inline and on the
// pool), a tray of bodies, and the same ball scene in Bullet for comparison. BM_RatioToBullet
// reports our step time over Bullet's as the counter "ratio".
#include "physics/physics.h"

#include "geometry/mesh_edit.h"
#include "geometry/vecmath.h"

#include <benchmark/benchmark.h>
#include <btBulletDynamicsCommon.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

namespace {

typedef std::array<float, 3> Point;

// Triangles facing `facing`, gathered for both engines.
struct Triangles {
    std::vector<Point> points;  // three per triangle, wound for the engine's normal

    void triangle(Point a, Point b, Point c, Point facing)
    {
        float ab[3], ac[3], n[3];
        vec3_sub(ab, b.data(), a.data());
        vec3_sub(ac, c.data(), a.data());
        vec3_cross(n, ac, ab);
        if (vec3_dot(n, facing.data()) < 0) std::swap(b, c);
        points.push_back(a);
        points.push_back(b);
        points.push_back(c);
    }
    void quad(Point a, Point b, Point c, Point d, Point facing)
    {
        triangle(a, b, c, facing);
        triangle(a, c, d, facing);
    }
    void floor(float x0, float x1, float z0, float z1, float y)
    {
        quad({x0, y, z0}, {x1, y, z0}, {x1, y, z1}, {x0, y, z1}, {0, -1, 0});
    }
    MeshObject *mesh() const
    {
        MeshObject *m = mesh_new();
        int32_t n = int32_t(points.size());
        mesh_alloc_arrays(m, n);
        m->vertex_count = n;
        m->face_count = n / 3;
        for (int32_t i = 0; i < n; i++) vec3_set(m->vertices[i].position, points[i][0], points[i][1], points[i][2]);
        for (int32_t f = 0; f < n / 3; f++)
            for (int k = 0; k < 3; k++) m->faces[f].v[k] = f * 3 + k;
        mesh_link_face_vertices(m);
        mesh_compute_normals(m);
        physics_prepare_mesh_faces(m);
        return m;
    }
};

// The cup scene of the physics tests: slope, green with a 0.3 x 0.3 cup 0.25 deep, walls.
Triangles cup_scene()
{
    Triangles t;
    t.quad({-1.5f, -0.15f, -1}, {0, 0, -1}, {0, 0, 1}, {-1.5f, -0.15f, 1}, {0, -1, 0});
    t.floor(0, 1.35f, -1, 1, 0);
    t.floor(1.65f, 2, -1, 1, 0);
    t.floor(1.35f, 1.65f, -1, -0.15f, 0);
    t.floor(1.35f, 1.65f, 0.15f, 1, 0);
    t.floor(1.35f, 1.65f, -0.15f, 0.15f, 0.25f);
    t.quad({1.35f, 0, -0.15f}, {1.35f, 0, 0.15f}, {1.35f, 0.25f, 0.15f}, {1.35f, 0.25f, -0.15f}, {1, 0, 0});
    t.quad({1.65f, 0, -0.15f}, {1.65f, 0, 0.15f}, {1.65f, 0.25f, 0.15f}, {1.65f, 0.25f, -0.15f}, {-1, 0, 0});
    t.quad({1.35f, 0, -0.15f}, {1.65f, 0, -0.15f}, {1.65f, 0.25f, -0.15f}, {1.35f, 0.25f, -0.15f}, {0, 0, 1});
    t.quad({1.35f, 0, 0.15f}, {1.65f, 0, 0.15f}, {1.65f, 0.25f, 0.15f}, {1.35f, 0.25f, 0.15f}, {0, 0, -1});
    t.quad({-1.5f, 0.3f, -1}, {2, 0.3f, -1}, {2, -0.5f, -1}, {-1.5f, -0.5f, -1}, {0, 0, 1});
    t.quad({-1.5f, 0.3f, 1}, {2, 0.3f, 1}, {2, -0.5f, 1}, {-1.5f, -0.5f, 1}, {0, 0, -1});
    t.quad({2, 0.3f, -1}, {2, 0.3f, 1}, {2, -0.5f, 1}, {2, -0.5f, -1}, {-1, 0, 0});
    t.quad({-1.5f, 0.3f, -1}, {-1.5f, 0.3f, 1}, {-1.5f, -0.5f, 1}, {-1.5f, -0.5f, -1}, {1, 0, 0});
    return t;
}

constexpr int kStepsPerShot = 120;
const float kStart[3] = {-1.3f, -0.235f, 0.0f};
constexpr float kStrike = 1.6f;

// Our world with the game's settings and ball.
struct OurScene {
    std::unique_ptr<PhysicsWorld> world{new PhysicsWorld()};
    MeshObject *ground = nullptr;
    MeshObject *ball = nullptr;
    std::vector<MeshObject *> extra;
    std::vector<RigidBody> spheres;

    explicit OurScene(int extra_spheres)
    {
        g_physics_rest_speed = 0.05f;
        g_physics_rest_spin = 0.125f;
        physics_world_reset(world.get());
        ground = cup_scene().mesh();
        physics_add_static_mesh(world.get(), ground, 0.4f, 0.4f, 16);
        world->gravity = 4.905f;
        world->base_substeps = 5;
        world->adaptive_substeps = 1;
        world->adaptive_factor = 1.61f;
        world->record_events = 1;
        world->wake_time = 5;
        ball = mesh_build_sphere(0.1f, 4);
        physics_prepare_mesh_faces(ball);
        RigidBody *body = &ball->body;
        body->shape = kShapeMesh;
        body->collision_mesh = ball;
        body->shape_tree = physics_build_shape_tree(ball, 0, 0);
        body->radius = 0.1f;
        body->mass = body->inverse_mass = 1.0f;
        body->restitution = 0.3f;
        body_compute_mass_properties(body);
        body->point_grid = mesh_build_cell_grid(ball);
        physics_add_body(world.get(), body);
        spheres.resize(size_t(extra_spheres));
        for (int k = 0; k < extra_spheres; k++) {
            RigidBody *s = &spheres[size_t(k)];
            mesh_body_init(s);
            s->shape = kShapeSphere;
            s->radius = 0.08f;
            s->mass = s->inverse_mass = 1.0f;
            s->restitution = 0.3f;
            s->friction = 0.2f;
            body_compute_mass_properties(s);
            physics_add_body(world.get(), s);
        }
        shoot();
    }
    ~OurScene()
    {
        physics_world_reset(world.get());
        mesh_delete(ground);
        mesh_delete(ball);
    }
    void shoot()
    {
        RigidBody *body = &ball->body;
        vec3_set(body->position, kStart[0], kStart[1], kStart[2]);
        mesh_body_init_motion(body);
        for (size_t k = 0; k < spheres.size(); k++) {
            RigidBody *s = &spheres[k];
            vec3_set(s->position, 0.1f + 0.2f * float(k % 8), -0.3f - 0.2f * float(k / 8), -0.7f + 0.2f * float(k % 7));
            mesh_body_init_motion(s);
        }
        body->velocity[0] = kStrike;
    }
    static void mesh_body_init_motion(RigidBody *body)
    {
        body_reset_motion(body);
        const float identity[4] = {1, 0, 0, 0};
        for (int k = 0; k < 4; k++) body->quaternion[k] = body->saved_quaternion[k] = identity[k];
        body->asleep = 0;
        body->wake_timer = 5;
    }
    void step()
    {
        RigidBody *b = &ball->body;
        if (vec3_length(b->velocity) < 0.3f) {
            vec3_scale(b->angular_velocity, b->angular_velocity, 0.9f);
            vec3_scale(b->velocity, b->velocity, 0.9f);
        }
        world->frame_time = 0.035f;
        physics_world_step(world.get());
    }
};

// The same ball scene in Bullet: a sphere on a triangle mesh of the same triangles, gravity 4.905
// along +y, 0.035 per step in five fixed sub-steps.
struct BulletScene {
    btDefaultCollisionConfiguration configuration;
    btCollisionDispatcher dispatcher{&configuration};
    btDbvtBroadphase broadphase;
    btSequentialImpulseConstraintSolver solver;
    btDiscreteDynamicsWorld world{&dispatcher, &broadphase, &solver, &configuration};
    btTriangleMesh triangles;
    std::unique_ptr<btBvhTriangleMeshShape> ground_shape;
    std::unique_ptr<btRigidBody> ground;
    btSphereShape ball_shape{0.1f};
    btDefaultMotionState ball_motion;
    std::unique_ptr<btRigidBody> ball;

    BulletScene()
    {
        world.setGravity(btVector3(0, 4.905f, 0));
        Triangles t = cup_scene();
        for (size_t i = 0; i < t.points.size(); i += 3) {
            const Point &a = t.points[i], &b = t.points[i + 1], &c = t.points[i + 2];
            triangles.addTriangle(btVector3(a[0], a[1], a[2]), btVector3(b[0], b[1], b[2]),
                                  btVector3(c[0], c[1], c[2]));
        }
        ground_shape.reset(new btBvhTriangleMeshShape(&triangles, true));
        ground.reset(new btRigidBody(0.0f, nullptr, ground_shape.get()));
        ground->setRestitution(0.4f);
        ground->setFriction(0.4f);
        world.addRigidBody(ground.get());
        btVector3 inertia;
        ball_shape.calculateLocalInertia(1.0f, inertia);
        ball.reset(new btRigidBody(1.0f, &ball_motion, &ball_shape, inertia));
        ball->setRestitution(0.3f);
        ball->setFriction(0.4f);
        ball->setRollingFriction(0.01f);
        world.addRigidBody(ball.get());
        shoot();
    }
    ~BulletScene()
    {
        world.removeRigidBody(ball.get());
        world.removeRigidBody(ground.get());
    }
    void shoot()
    {
        btTransform start;
        start.setIdentity();
        start.setOrigin(btVector3(kStart[0], kStart[1], kStart[2]));
        ball->setWorldTransform(start);
        ball_motion.setWorldTransform(start);
        ball->setLinearVelocity(btVector3(kStrike, 0, 0));
        ball->setAngularVelocity(btVector3(0, 0, 0));
        ball->activate(true);
    }
    void step() { world.stepSimulation(0.035f, 10, 0.035f / 5.0f); }
};

template <class Scene>
void run_steps(benchmark::State &state, Scene &scene)
{
    int steps = 0;
    for (auto _ : state) {
        scene.step();
        if (++steps == kStepsPerShot) {
            state.PauseTiming();
            scene.shoot();
            steps = 0;
            state.ResumeTiming();
        }
    }
}

void BM_BallInline(benchmark::State &state)
{
    physics_set_workers(0, 2);
    OurScene scene(0);
    run_steps(state, scene);
}
BENCHMARK(BM_BallInline);

void BM_BallDefaultExecutor(benchmark::State &state)
{
    physics_set_workers(kPhysicsWorkers, 0);
    OurScene scene(0);
    run_steps(state, scene);
}
BENCHMARK(BM_BallDefaultExecutor);

void BM_BallOnThePool(benchmark::State &state)
{
    physics_set_workers(int32_t(state.range(0)), 1);
    OurScene scene(0);
    run_steps(state, scene);
    physics_set_workers(kPhysicsWorkers, 0);
}
BENCHMARK(BM_BallOnThePool)->Arg(1)->Arg(2)->Arg(8);

// Bodies, workers (0: inline); the default executor's choice of pool or inline per phase.
void BM_BodiesOnTheGreen(benchmark::State &state)
{
    physics_set_workers(int32_t(state.range(1)), 0);
    OurScene scene(int(state.range(0)));
    run_steps(state, scene);
    physics_set_workers(kPhysicsWorkers, 0);
}
BENCHMARK(BM_BodiesOnTheGreen)->Args({24, 0})->Args({24, 8})->Args({64, 0})->Args({64, 4})->Args({64, 8});

// Bodies, workers, with every phase on the pool however little work it has: over /N/0 of the
// green, what handing a phase over costs.
void BM_BodiesOnThePool(benchmark::State &state)
{
    physics_set_workers(int32_t(state.range(1)), 2);
    OurScene scene(int(state.range(0)));
    run_steps(state, scene);
    physics_set_workers(kPhysicsWorkers, 0);
}
BENCHMARK(BM_BodiesOnThePool)->Args({64, 2})->Args({64, 4})->Args({64, 8});

void BM_BulletBall(benchmark::State &state)
{
    BulletScene scene;
    run_steps(state, scene);
}
BENCHMARK(BM_BulletBall);

// Our step time (game's default executor) over Bullet's, both timed over the same shots.
template <class Scene>
double seconds_per_step(Scene &scene, int shots)
{
    auto start = std::chrono::steady_clock::now();
    for (int s = 0; s < shots; s++) {
        for (int k = 0; k < kStepsPerShot; k++) scene.step();
        scene.shoot();
    }
    std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / double(shots * kStepsPerShot);
}

void BM_RatioToBullet(benchmark::State &state)
{
    physics_set_workers(kPhysicsWorkers, 0);
    OurScene ours(0);
    BulletScene bullet;
    double ratio = 0.0;
    for (auto _ : state) {
        double a = seconds_per_step(ours, 10);
        double b = seconds_per_step(bullet, 10);
        ratio = a / b;
    }
    state.counters["ratio"] = ratio;
}
BENCHMARK(BM_RatioToBullet)->Iterations(3)->Unit(benchmark::kMillisecond);

// The bodies on the green with 8 workers over inline, timed in turns in the same run (the median
// of the turns' ratios): "ratio24" and "ratio64", and the processor count "cores".
void BM_PoolRatios(benchmark::State &state)
{
    auto per_step = [](int bodies, int32_t workers) {
        physics_set_workers(workers, 0);
        OurScene scene(bodies);
        seconds_per_step(scene, 10);  // warm: threads, caches, measured costs
        return seconds_per_step(scene, 6);
    };
    auto median_ratio = [&](int bodies) {
        std::vector<double> ratios;
        for (int turn = 0; turn < 5; turn++) ratios.push_back(per_step(bodies, 8) / per_step(bodies, 0));
        std::sort(ratios.begin(), ratios.end());
        return ratios[ratios.size() / 2];
    };
    double r24 = 0.0, r64 = 0.0;
    for (auto _ : state) {
        r24 = median_ratio(24);
        r64 = median_ratio(64);
    }
    physics_set_workers(kPhysicsWorkers, 0);
    state.counters["ratio24"] = r24;
    state.counters["ratio64"] = r64;
    state.counters["cores"] = double(std::thread::hardware_concurrency());
    printf("bodies on the green, 8 workers / inline: 24 bodies %.3f, 64 bodies %.3f, on %u cores\n", r24, r64,
           std::thread::hardware_concurrency());
}
BENCHMARK(BM_PoolRatios)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
