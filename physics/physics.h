// The rigid-body physics: one world of bodies, static triangle-mesh colliders, planes and joint
// chains, advanced one frame at a time in adaptive sub-steps whose per-body jobs run on a worker
// pool, with the contacts of each step reported as collision events.
//
// The world's y axis points down: gravity acts along +y. Bodies are not owned by the world: each
// RigidBody lives in a MeshObject (geometry/mesh.h) and the world holds pointers to them. Static
// meshes are held through ColliderSlots inside the world; the caller keeps and frees the meshes.
// All calls here run on the main thread; physics_world_step uses the worker threads internally.
#pragma once

#include "geometry/body.h"
#include "geometry/bsp.h"
#include "geometry/list.h"
#include "geometry/mesh.h"

#include <cstdint>

constexpr int32_t kPhysicsMaxBodies = 1024;
constexpr int32_t kPhysicsMaxColliders = 32;
constexpr int32_t kPhysicsMaxPlanes = 16;
constexpr int32_t kPhysicsMaxJointChains = 128;
constexpr int32_t kPhysicsWorkers = 8;
constexpr int32_t kPhysicsContactCapacity = 16384;
// A static-mesh face's collider tag is its slot number times this.
constexpr int32_t kPhysicsColliderTagUnit = 16384;

constexpr int32_t kPhysicsChainBodies = 32;

// One joint of a chain; the first joint of a chain (its head) carries the chain's fields. Types: 1
// ball joint with twist, 2 anchor held at a fixed point, 3 hinge, 4 ball joint. Whoever registers a
// chain allocates its joints (new) and puts the head in joint_chains; the world reset deletes
// them, with the row arrays and every joint-owned body B (new'd, its shapes released first).
struct Joint {
    int32_t type;
    int32_t joint_index;       // position in the chain
    int32_t chain_body_count;  // head only
    int32_t chain_joint_count;
    RigidBody *chain_bodies[kPhysicsChainBodies];  // head only, in collection order
    int32_t collected_count;
    float fixed_point[3];  // type 2: where anchor A is held
    RigidBody *body_a;
    RigidBody *body_b;
    float anchor_a[3];  // body A's frame
    float anchor_b[3];
    float axis_a[3];  // type 3: hinge direction in A's frame
    float axis_b[3];
    Joint *next;
    int32_t *row_offsets;  // head only (new[]), one per joint
    int32_t *row_counts;
    int32_t total_rows;
};

// A contact reported to the game: kind 1 body against body, 2 body against plane, 3 body against
// static mesh; class 1, or 5 when |normal speed| < 0.1.
struct CollisionEvent {
    uint8_t kind;
    uint8_t event_class;
    float point[3];      // world-space contact point
    int32_t body;        // the body whose collide job recorded it
    int32_t other;       // kind 1: the other body; 2: the plane; 3: the collider slot number
    float normal_speed;  // negative while approaching; the game clicks below -2.0
};

typedef ListNode<CollisionEvent> CollisionEventNode;
typedef IndexedList<CollisionEventNode> CollisionEventList;

// A static triangle mesh taking part in the physics, or a slot that course play keeps for itself.
// When use_matrix is set the mesh follows `matrix` as the caller wrote it instead of its own
// position and Euler angles (course play's turning blades, the local decal slots).
struct ColliderSlot {
    MeshObject *object = nullptr;  // not owned
    float previous_position[3] = {};
    float previous_rotation[3] = {};  // Euler degrees at the end of the last step
    float current_position[3] = {};
    float current_rotation[3] = {};  // Euler degrees taken at the start of this step
    FaceBsp face_bsp = {};           // owned; built in the mesh's local frame
    float matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};  // local to world
    float restitution = 0.0f;
    float friction = 0.0f;
    uint8_t in_use = 0;
    uint8_t use_matrix = 0;  // set: `matrix` is the caller's and the update keeps it
    // The matrix the mesh's world data was last computed with inside the current step (valid while
    // applied_valid is set): an unchanged sub-step transform skips the vertex pass.
    uint8_t applied_valid = 0;
    float applied_matrix[16] = {};
    // The matrix last made from the mesh's position and Euler angles (`transform_input`, valid while
    // transform_valid is set): the same inputs give it again without the trigonometry.
    uint8_t transform_valid = 0;
    float transform_input[6] = {};
    float transform_matrix[16] = {};
    // The mesh as the last vertex pass left it (valid while passed_valid is set): its revision,
    // arrays and counts. The same mesh with `applied_matrix` keeps its world data across steps.
    uint8_t passed_valid = 0;
    uint64_t passed_revision = 0;
    const MeshVertex *passed_vertices = nullptr;
    const MeshFace *passed_faces = nullptr;
    int32_t passed_vertex_count = 0, passed_face_count = 0;
};

// Per-worker contact store, parallel arrays; every contact routine appends at `count`. A full
// buffer drops further contacts. Each worker's on cache lines of its own (the count, written at
// every contact, would otherwise share a line with the next worker's first contacts).
struct alignas(64) ContactBuffer {
    int32_t count;
    alignas(64) float depth[kPhysicsContactCapacity];
    float normal[kPhysicsContactCapacity][3];  // points from the other party toward the body
    float point[kPhysicsContactCapacity][3];
    int32_t kind[kPhysicsContactCapacity];   // 1 plane, 2 body, 3 static mesh
    int32_t other[kPhysicsContactCapacity];  // plane index, body index, or collider tag
};

// A worker's event list, on cache lines of its own.
struct alignas(64) WorkerEvents {
    CollisionEventList list;
};

struct BodyOrderEntry {
    float y;
    int32_t body;
};
// Compared bit by bit (the step rewrites an entry only when it changed): no padding.
static_assert(sizeof(BodyOrderEntry) == sizeof(float) + sizeof(int32_t), "no padding");

// A body's candidates: the other bodies of its candidate pairs, in index order; count -1 when there
// are more than the list holds (the pair matrix is read instead).
constexpr int32_t kPhysicsListedCandidates = 15;
struct CandidateList {
    int16_t count;
    int16_t body[kPhysicsListedCandidates];
};

// What the step keeps of a body in a sub-step, on a line of its own: the body's jobs write it every
// sub-step, the other bodies' collide jobs read it.
struct alignas(64) BodySnapshot {
    // Velocity and position as the collide phase began: what the jobs read of the other bodies, so
    // that a job moving its own body (the sweep) never races with another job's reads.
    float velocity[3];
    float position[3];
    // 1 while the body, awake and moving as the sub-step's collide phase begins, wakes the asleep
    // bodies it touches (set with the rest of the snapshot).
    uint8_t wakes_others;
    // 1 while the body's last contacts held it on a face steeper than 2 degrees (or on an edge it
    // leans past) with nothing in the way downhill, or while a ball meets nothing: it rolls or
    // falls on, so its rest count-down waits (set by its collide job).
    uint8_t on_slope;
};

struct PhysicsWorld {
    uint8_t candidate_pairs[kPhysicsMaxBodies][kPhysicsMaxBodies] = {};  // broad phase, per step
    CandidateList candidate_lists[kPhysicsMaxBodies] = {};               // the same, per body
    uint8_t handled_pairs[kPhysicsMaxBodies][kPhysicsMaxBodies] = {};    // per sub-step
    uint8_t record_events = 0;
    int32_t sphere_tree_level = 3;
    CollisionEventList events;  // the last step's events, worker 0's first
    WorkerEvents worker_events[kPhysicsWorkers];
    int32_t play_flag_chains = 1;  // stored by course play; nothing here reads it
    Joint *joint_chains[kPhysicsMaxJointChains] = {};
    int32_t joint_chain_count = 0;
    ColliderSlot colliders[kPhysicsMaxColliders];
    int32_t collider_count = 0;
    RigidBody *bodies[kPhysicsMaxBodies] = {};
    int32_t body_count = 0;
    float planes[kPhysicsMaxPlanes][4] = {};  // a x + b y + c z + d = 0
    int32_t plane_count = 0;
    float plane_restitution[kPhysicsMaxPlanes] = {};
    float plane_friction[kPhysicsMaxPlanes] = {};
    float gravity = 9.81f;  // along +y
    float frame_time = 1.0f;
    int32_t base_substeps = 0;
    uint8_t play_flag_substeps = 0;  // stored by course play; nothing here reads it
    uint8_t reserved_flag = 0;
    uint8_t adaptive_substeps = 1;
    int32_t wake_time = 0;       // sub-steps a body stays awake after moving; 0: no wake tests
    uint8_t play_flag_wake = 0;  // stored by course play; nothing here reads it
    float adaptive_factor = 16.0f;
    int32_t substeps_used = 0;
    float substep_time = 0.0f;
    float y_limit = 0.0f;
    // Written by the bodies' jobs: on lines apart from the settings every job reads.
    alignas(64) float body_heights[kPhysicsMaxBodies] = {};  // each body's y as its prepare began
    BodyOrderEntry body_order[kPhysicsMaxBodies] = {};       // lowest body (largest y) first
    int16_t body_rank[kPhysicsMaxBodies] = {};               // each body's place in body_order
    ContactBuffer contact_buffers[kPhysicsWorkers] = {};
    BodySnapshot snapshots[kPhysicsMaxBodies] = {};

    PhysicsWorld() = default;
    PhysicsWorld(const PhysicsWorld &) = delete;
    PhysicsWorld &operator=(const PhysicsWorld &) = delete;
    // The event lists and the colliders' face trees are the world's own; joint chains are released
    // by the reset.
    ~PhysicsWorld()
    {
        list_clear(&events);
        for (WorkerEvents &worker : worker_events) list_clear(&worker.list);
        for (ColliderSlot &slot : colliders) bsp_free_face_tree(&slot.face_bsp);
    }
};

// The program's one world (large: allocate other worlds on the heap, value-initialised).
extern PhysicsWorld g_physics_world;
// Linear and angular speed at or below which a body counts as at rest (course play: 0.05, 0.125).
extern float g_physics_rest_speed;
extern float g_physics_rest_spin;
// Extra radius of the bounding-sphere contact tests: 0.001 during the wake tests, else 0. Each
// thread has its own (a worker's wake tests run beside another's collide tests).
extern constinit thread_local float g_physics_contact_margin;

// ---- world (main thread) ----------------------------------------------------------------------

// Empties the world: releases the colliders' face BSPs and the joint chains; counts 0; y_limit
// -100000. Events, pair matrices, planes and the bodies themselves stay.
void physics_world_reset(PhysicsWorld *world);
// Appends the body and picks its support body among the earlier ones. Returns 1, or 0 when the
// table already holds 1024 bodies (the body is not added).
int32_t physics_add_body(PhysicsWorld *world, RigidBody *body);
// Registers the mesh as the next collider (face BSP built with the parameter, faces tagged slot x
// 16384, moved byte cleared). Returns the slot, or null when all 32 are in use or the face BSP
// cannot be built (nothing is registered then).
ColliderSlot *physics_add_static_mesh(PhysicsWorld *world, MeshObject *mesh, float restitution, float friction,
                                      int32_t bsp_parameter);
// Advances the world by frame_time: adaptive sub-steps, broad phase, integration, sleep, the wake,
// collide and correction jobs; events of this step only are left in `events`.
void physics_world_step(PhysicsWorld *world);

// The executor of the step's job phases: `count` 0 or 1 runs every job on the stepping thread; 2 to
// 8 share each phase's jobs among that many workers, the stepping thread and count - 1 pool
// threads. A phase of one job runs on the stepping thread, and so does one of fewer than
// `pool_min_jobs` jobs; `pool_min_jobs` 0 leaves it to measurement instead: each step runs inline
// or on 2, 4 or up to `count` workers, whichever has been fastest as the steps run (the results
// are the same either way). The default is 8 workers and 0, so a one-body world never
// wakes a thread.
void physics_set_workers(int32_t count, int32_t pool_min_jobs);
// Ends the worker threads (they otherwise stay parked between steps until the process ends).
void physics_shutdown();

// ---- bodies -----------------------------------------------------------------------------------

// Rotation by the quaternion, then translation by the position. Returns out.
float *body_world_matrix(const RigidBody *body, float *out);
// The rotation alone. Returns out.
float *body_rotation_matrix(const RigidBody *body, float *out);
// Inertia and inverse inertia from mass and shape (shape 6: solid sphere when sphere_flag is set,
// else the shape tree's root box). A zero moment gives a zero inverse, never infinity.
void body_compute_mass_properties(RigidBody *body);
// Velocity, angular velocity, force, torque and spin axis 0; saved quaternions = the quaternion.
void body_reset_motion(RigidBody *body);
// out = (0, x, y, z) times q (Hamilton product, scalar first). Returns out.
float *physics_quat_multiply_vector(float *out, float x, float y, float z, float q0, float q1, float q2, float q3);

// ---- collider slots ---------------------------------------------------------------------------

// Fills a slot over the mesh: face BSP, world transform, matrix from the mesh's Euler angles and
// position. Returns 1, or 0 when the face BSP cannot be built (the slot is then not in use).
int32_t physics_collider_init(MeshObject *object, ColliderSlot *slot, float restitution, float friction,
                              int32_t bsp_parameter);
// The same for a slot kept outside the world: restitution and friction 0, the BSP's per-leaf
// vertices built too.
int32_t physics_collider_init_with_vertices(MeshObject *object, ColliderSlot *slot, int32_t bsp_parameter);
// Refreshes the slot's mesh world data and per-face centres and half extents, from `matrix` when
// use_matrix is set, else from the mesh's own Euler angles and position (which rebuild `matrix`).
// Nothing is redone while that matrix and the mesh's revision stay as the last refresh left them:
// whoever writes a collider mesh's vertices or faces outside the geometry functions calls
// mesh_touch.
void physics_collider_update(ColliderSlot *slot);
// Per-face centre, half extents and radius, and the mesh's edge table with the edge flags. Run
// on every collider mesh and on a mesh body's own mesh before use.
void physics_prepare_mesh_faces(MeshObject *object);
// Releases a slot's face BSP and marks it unused (the mesh stays the caller's).
void physics_collider_release(ColliderSlot *slot);

// ---- shape trees ------------------------------------------------------------------------------

// A new box tree over the faces tagged `tag` (depth 0: one leaf box); faces' tags are unchanged
// afterwards. Null when no face carries the tag or memory runs out. Released with
// physics_free_shape_tree (geometry/body.h).
ShapeTreeNode *physics_build_shape_tree(MeshObject *mesh, int32_t tag, int32_t depth);

// ---- events -----------------------------------------------------------------------------------

// Appends an unfilled event node (the caller fills the record) and returns it.
CollisionEventNode *physics_event_list_append_new(CollisionEventList *list);
// Appends a node holding a copy of the event and returns it.
CollisionEventNode *physics_event_list_append_copy(CollisionEventList *list, CollisionEvent event);
// Deletes every node.
void physics_event_list_clear(CollisionEventList *list);
