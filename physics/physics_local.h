// Internals of the physics: the narrow-phase routines, the jobs and the worker pool. Every
// contact routine takes the world, a mode (1 records into the worker's ContactBuffer, anything else
// only tests) and the worker index, and returns 1 on contact, 0 otherwise.
#pragma once

#include "physics/physics.h"

#include "geometry/vecmath.h"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

constexpr int32_t kModeTest = 0;
constexpr int32_t kModeRecord = 1;

constexpr int32_t kContactPlane = 1;
constexpr int32_t kContactBody = 2;
constexpr int32_t kContactMesh = 3;
// A round body against a static mesh's edge or corner (its centre beyond the face): the normal is
// the line from the nearest point of the face to the centre, not the face's.
constexpr int32_t kContactMeshEdge = 4;
inline bool physics_contact_on_mesh(int32_t kind) { return kind == kContactMesh || kind == kContactMeshEdge; }

// ---- small helpers shared by the routines -----------------------------------------------------

// Set on a thread while it runs a job of the collide phase (a flag of each thread's own, so that
// the stepping thread need not write a line every worker reads, twice a sub-step).
extern constinit thread_local uint8_t g_physics_use_collide_positions;

// Stores `value` at `at` unless the same bits are there already: a store, even of the same value,
// takes the line from every other processor that reads it.
template <class T>
inline void physics_store_changed(T *at, const T &value)
{
    if (memcmp(at, &value, sizeof value) != 0) memcpy(at, &value, sizeof value);
}

// The position a job reads of body b: the collide phase's snapshot while it runs, else the body's.
inline const float *physics_body_position(const PhysicsWorld *world, const RigidBody *body)
{
    if (g_physics_use_collide_positions && body->index >= 0 && body->index < kPhysicsMaxBodies)
        return world->snapshots[body->index].position;
    return body->position;
}

// A mesh body whose bounding sphere is its shape box's inscribed one, centred: a ball. Its mesh's
// facets put the points where it meets a face off the line through its centre; it meets a face
// where a sphere would.
inline bool physics_body_round(const RigidBody *body)
{
    const ShapeTreeNode *root = body->shape_tree;
    if (body->shape != kShapeMesh || !root || !(body->radius > 0.0f)) return false;
    const float slack = 0.05f * body->radius;
    for (int k = 0; k < 3; k++)
        if (fabsf(root->centre[k]) > slack || root->half_sizes[k] < body->radius - slack) return false;
    return true;
}

// Appends one contact to the worker's buffer; a full buffer (or a worker outside 0..7) drops it.
// (Inline: the edge pass records most contacts, a few at a time.)
inline void physics_record_contact(PhysicsWorld *world, int32_t worker, const float *normal, const float *point,
                                   int32_t kind, int32_t other, float depth)
{
    if (worker < 0 || worker >= kPhysicsWorkers) return;
    ContactBuffer *buffer = &world->contact_buffers[worker];
    int32_t n = buffer->count;
    if (n < 0 || n >= kPhysicsContactCapacity) return;
    vec3_set(buffer->normal[n], normal[0], normal[1], normal[2]);
    vec3_set(buffer->point[n], point[0], point[1], point[2]);
    buffer->kind[n] = kind;
    buffer->other[n] = other;
    buffer->depth[n] = depth;
    buffer->count = n + 1;
}

// The collider slot a static-mesh contact's tag names, or null when the tag is negative or names
// no slot in use (a contact never indexes past the table).
inline ColliderSlot *physics_collider_of_tag(PhysicsWorld *world, int32_t tag)
{
    if (tag < 0) return nullptr;
    int32_t s = tag / kPhysicsColliderTagUnit;
    if (s >= world->collider_count || s >= kPhysicsMaxColliders) return nullptr;
    return &world->colliders[s];
}

// A byte mark several jobs may set at once.
inline void physics_mark_byte(uint8_t *byte) { std::atomic_ref<uint8_t>(*byte).store(1, std::memory_order_relaxed); }
inline uint8_t physics_read_byte(const uint8_t *byte)
{
    return std::atomic_ref<uint8_t>(*const_cast<uint8_t *>(byte)).load(std::memory_order_relaxed);
}

inline float vec3_length_squared(const float *v) { return vec3_dot(v, v); }

// The step's body preparation: rotation and world matrices, world inertia and its inverse, and
// for a mesh body its collision mesh's world data and its grid's world points.
void physics_body_prepare(RigidBody *body);
// Its two parts: the matrices and world inertia; the mesh body's world data from the world matrix.
void physics_body_prepare_matrices(RigidBody *body);
void physics_body_prepare_mesh(RigidBody *body);
// The vertex world positions of a body's collision mesh as three arrays (what the edge pass reads,
// laid out for it), placed by the step with the mesh; `mesh` null: none.
// Four floats in vector lanes: a vector operation gives each lane the bits the scalar operation
// gives (IEEE, no contraction), so that loops written in lanes keep the results of scalar ones.
typedef float PhysicsLanes __attribute__((vector_size(16)));
typedef int32_t PhysicsLaneMasks __attribute__((vector_size(16)));

// The four floats at p (when only three are wanted, the fourth must lie in the same record).
inline PhysicsLanes physics_load_lanes(const float *p)
{
    PhysicsLanes v;
    memcpy(&v, p, sizeof v);
    return v;
}

inline void physics_store_lanes(float *p, PhysicsLanes v) { memcpy(p, &v, sizeof v); }

inline void physics_store_three(float *p, PhysicsLanes v)
{
    p[0] = v[0];
    p[1] = v[1];
    p[2] = v[2];
}

struct PlacedVertices {
    const MeshObject *mesh = nullptr;
    int32_t count = 0;
    float matrix[16];  // the world matrix they were placed with
    std::vector<float> x, y, z;
    // The object-space positions as arrays, read again when the mesh, its vertex array or its
    // revision is not the one they were read from (`from` null: not yet).
    const MeshObject *from = nullptr;
    const MeshVertex *from_vertices = nullptr;
    uint64_t from_revision = 0;
    std::vector<float> ox, oy, oz;
    // Set: the point grid's world points were not placed with the vertices; the edge pass places
    // a cell with `matrix` when it first reads it (bit c of grid_placed: cell c is placed).
    bool grid_lazy = false;
    uint64_t grid_placed = 0;
};
// Cell c of the body's grid placed with the matrix of `placed` when it is lazy and not yet placed
// (as the whole placement places a cell).
inline void physics_place_grid_cell(PointGrid *grid, PlacedVertices *placed, int32_t c)
{
    if (!placed || !placed->grid_lazy || c < 0 || c >= 64 || (placed->grid_placed >> c & 1)) return;
    PointGridCell *cell = &grid->cells[c];
    const float *m = placed->matrix, *p = cell->point;
    const float x = p[0] * m[0] + p[1] * m[4] + p[2] * m[8] + m[12];
    const float y = p[0] * m[1] + p[1] * m[5] + p[2] * m[9] + m[13];
    const float z = p[0] * m[2] + p[1] * m[6] + p[2] * m[10] + m[14];
    cell->world_point[0] = x;
    cell->world_point[1] = y;
    cell->world_point[2] = z;
    placed->grid_placed |= uint64_t(1) << c;
}
// Per body index, valid inside a step for the world being stepped (cleared at its start and end).
extern PlacedVertices g_physics_placed[kPhysicsMaxBodies];
// Those of body i when placed for `mesh` in this step, else null.
PlacedVertices *physics_placed_vertices(int32_t i, const MeshObject *mesh);

// The collision mesh and point grid placed with the given world and rotation matrices. Whole: all
// of the mesh's world data; else only the point grid (the rest of the mesh is left as it was).
// `placed` (may be null) receives the vertex positions as well.
void physics_body_place_mesh(RigidBody *body, const float *world, const float *rotation, bool whole,
                             PlacedVertices *placed);

// ---- narrow phase (physics/narrow.cpp) --------------------------------------------------------

int32_t collide_body_pair(PhysicsWorld *world, int32_t i, int32_t j, int32_t mode, int32_t worker);
int32_t collide_sphere_sphere(PhysicsWorld *world, int32_t worker, int32_t i, int32_t j, int32_t mode);
int32_t collide_ball_sphere(PhysicsWorld *world, int32_t worker, int32_t j, const float *c, float r, int32_t mode);
int32_t collide_sphere_ball(PhysicsWorld *world, int32_t worker, int32_t i, int32_t j, const float *c, float r,
                            int32_t mode);
int32_t collide_ball_ball(PhysicsWorld *world, int32_t worker, int32_t j, const float *a, float ra, const float *b,
                          float rb, int32_t mode);

// ---- boxes (physics/box.cpp) ------------------------------------------------------------------

int32_t collide_box_box(PhysicsWorld *world, int32_t i, int32_t j, int32_t mode, int32_t worker);
int32_t collide_box_sphere(PhysicsWorld *world, int32_t i, int32_t j, int32_t mode, int32_t worker);
int32_t collide_sphere_box(PhysicsWorld *world, int32_t i, int32_t j, int32_t mode, int32_t worker);
// A node of body t's tree against box body b / sphere body s; contacts as seen from t.
int32_t collide_node_box(PhysicsWorld *world, int32_t t, int32_t b, const ShapeTreeNode *node, int32_t mode,
                         int32_t worker);
int32_t collide_node_sphere(PhysicsWorld *world, int32_t t, int32_t s, const ShapeTreeNode *node, int32_t mode,
                            int32_t worker);
// The node against a ball (world centre c, radius r) of body s; `grown` is the radius the tests
// use (r + margin for a sphere body, r for a sphere-tree ball).
int32_t collide_node_ball(PhysicsWorld *world, int32_t t, int32_t s, const ShapeTreeNode *node, const float *c, float r,
                          float grown, int32_t mode, int32_t worker);

// ---- shape-tree recursions (physics/tree.cpp) -------------------------------------------------

int32_t collide_node_node(PhysicsWorld *world, int32_t i, const ShapeTreeNode *a, int32_t j, const ShapeTreeNode *b,
                          int32_t mode, int32_t worker);
int32_t collide_tree_tree(PhysicsWorld *world, int32_t i, int32_t j, const ShapeTreeNode *a, const ShapeTreeNode *b,
                          int32_t mode, int32_t worker);
int32_t collide_node_pair(PhysicsWorld *world, int32_t i, int32_t j, const ShapeTreeNode *a, const ShapeTreeNode *b,
                          int32_t depth, int32_t mode, int32_t worker);
int32_t collide_chain_node(PhysicsWorld *world, int32_t i, int32_t j, const ShapeTreeNode *a, const ShapeTreeNode *b,
                           int32_t mode, int32_t worker);
int32_t collide_node_chain(PhysicsWorld *world, int32_t i, int32_t j, const ShapeTreeNode *a, const ShapeTreeNode *b,
                           int32_t mode, int32_t worker);
int32_t collide_chain_chain(PhysicsWorld *world, int32_t i, int32_t j, const ShapeTreeNode *a, const ShapeTreeNode *b,
                            int32_t mode, int32_t worker);
int32_t collide_tree_box(PhysicsWorld *world, int32_t i, int32_t j, const ShapeTreeNode *node, int32_t mode,
                         int32_t worker);
int32_t collide_box_tree(PhysicsWorld *world, int32_t i, int32_t j, const ShapeTreeNode *node, int32_t mode,
                         int32_t worker);
int32_t collide_tree_sphere(PhysicsWorld *world, int32_t i, int32_t j, const ShapeTreeNode *node, int32_t mode,
                            int32_t worker);
int32_t collide_sphere_tree(PhysicsWorld *world, int32_t i, int32_t j, const ShapeTreeNode *node, int32_t mode,
                            int32_t worker);
int32_t collide_tree_balltree(PhysicsWorld *world, int32_t i, int32_t j, const ShapeTreeNode *node, int32_t k,
                              int32_t mode, int32_t worker);
int32_t collide_balltree_tree(PhysicsWorld *world, int32_t i, int32_t j, int32_t k, const ShapeTreeNode *node,
                              int32_t mode, int32_t worker);

// ---- sphere trees (physics/sphere_tree.cpp) ---------------------------------------------------

int32_t collide_balltree_sphere(PhysicsWorld *world, int32_t i, int32_t j, int32_t k, int32_t mode, int32_t worker);
int32_t collide_sphere_balltree(PhysicsWorld *world, int32_t i, int32_t j, int32_t k, int32_t mode, int32_t worker);
int32_t collide_balltree_balltree(PhysicsWorld *world, int32_t i, int32_t j, int32_t a, int32_t b, int32_t mode,
                                  int32_t worker, int32_t depth);

// ---- cylinders (physics/cylinder.cpp) ---------------------------------------------------------

// The foot of B on the plane through A with normal N (B itself for a zero N). Returns out.
float *collide_project_to_plane(float *out, const float *A, const float *B, const float *N);
int32_t collide_cylinder_sphere(PhysicsWorld *world, int32_t c, int32_t o, const float *S, float r, int32_t mode,
                                int32_t worker);
int32_t collide_sphere_cylinder(PhysicsWorld *world, int32_t s, int32_t c, const float *S, float r, int32_t mode,
                                int32_t worker);
int32_t collide_cylinder_balltree(PhysicsWorld *world, int32_t i, int32_t j, int32_t k, int32_t mode, int32_t worker);
int32_t collide_balltree_cylinder(PhysicsWorld *world, int32_t i, int32_t j, int32_t k, int32_t mode, int32_t worker);
// A node of tree body x against cylinder body y: the cylinder's contacts (other = x); flipped: x's.
int32_t collide_node_cylinder(PhysicsWorld *world, int32_t x, const ShapeTreeNode *node, int32_t y, int32_t mode,
                              int32_t worker);
int32_t collide_node_cylinder_flipped(PhysicsWorld *world, int32_t x, const ShapeTreeNode *node, int32_t y,
                                      int32_t mode, int32_t worker);
int32_t collide_tree_cylinder(PhysicsWorld *world, int32_t i, int32_t j, const ShapeTreeNode *node, int32_t mode,
                              int32_t worker);
int32_t collide_cylinder_tree(PhysicsWorld *world, int32_t i, int32_t j, const ShapeTreeNode *node, int32_t mode,
                              int32_t worker);
int32_t collide_cylinder_cylinder(PhysicsWorld *world, int32_t i, int32_t j, int32_t mode, int32_t worker);

// ---- fine tree test (physics/fine.cpp) --------------------------------------------------------

int32_t collide_tree_fine(PhysicsWorld *world, int32_t i, int32_t j, int32_t mode, int32_t worker);
// The edges of face a (mesh_a) cut against triangle b (mesh_b): normal b's, or minus it (flipped).
int32_t collide_face_edges_face(PhysicsWorld *world, const MeshObject *mesh_a, const MeshFace *a,
                                const MeshObject *mesh_b, const MeshFace *b, int32_t j, int32_t mode, int32_t worker);
int32_t collide_face_edges_face_flipped(PhysicsWorld *world, const MeshObject *mesh_a, const MeshFace *a,
                                        const MeshObject *mesh_b, const MeshFace *b, int32_t j, int32_t mode,
                                        int32_t worker);

// ---- body against static mesh (physics/static_mesh.cpp) ---------------------------------------

int32_t collide_body_static_mesh(PhysicsWorld *world, int32_t i, ColliderSlot *slot, int32_t mode, int32_t worker);

// One face of a collider as the routines see it: world corners, world normal, plane offset and tag.
struct StaticFace {
    const MeshFace *face;
    const float *corner[3];
    float normal[3];
    float d;
    int32_t tag;
};

// The face's corners and plane; false for a face index or vertex index outside the mesh.
inline bool static_face_load(const MeshObject *mesh, int32_t index, StaticFace *out)
{
    if (!mesh || index < 0 || index >= mesh->face_count) return false;
    const MeshFace *face = &mesh->faces[index];
    for (int k = 0; k < 3; k++) {
        int32_t v = face->v[k];
        if (v < 0 || v >= mesh->vertex_count) return false;
        out->corner[k] = mesh->vertices[v].world_position;
    }
    out->face = face;
    vec3_set(out->normal, face->world_normal[0], face->world_normal[1], face->world_normal[2]);
    out->d = -vec3_dot(out->normal, out->corner[0]);
    out->tag = face->tag;
    return true;
}
inline float static_face_side(const StaticFace &f, const float *p) { return vec3_dot(f.normal, p) + f.d; }

int32_t collide_sphere_triangle(PhysicsWorld *world, int32_t worker, const StaticFace &face, const float *c, float r,
                                int32_t mode);
// A ball's centre never passes a static face: when the sub-step's move (saved position to
// position) leaves a face's front inside the triangle, the move into the face and the velocity
// into it are cancelled. Nor is the centre left nearer than half the radius to a face it is in
// front of: it is put back that far, its velocity kept. As a job of the body (its face queries use
// the worker's results). The number of holds made.
int32_t physics_hold_in_front(PhysicsWorld *world, RigidBody *body, int32_t worker = 0);
int32_t collide_tree_triangle(PhysicsWorld *world, int32_t worker, int32_t i, const ShapeTreeNode *node,
                              const StaticFace &face, int32_t mode);
int32_t collide_node_triangle(PhysicsWorld *world, int32_t worker, int32_t i, const ShapeTreeNode *node,
                              const StaticFace &face, int32_t mode);
int32_t collide_sphere_tree_triangle(PhysicsWorld *world, int32_t worker, int32_t i, int32_t node,
                                     const StaticFace &face, int32_t mode);
int32_t collide_cylinder_triangle(PhysicsWorld *world, int32_t worker, int32_t i, const StaticFace &face, int32_t mode);
bool collide_tree_box_straddles_face(const PhysicsWorld *world, int32_t i, const ShapeTreeNode *node,
                                     const StaticFace &face);
int32_t collide_edge_triangle(PhysicsWorld *world, int32_t worker, const StaticFace &face, const MeshObject *mesh,
                              int32_t a, int32_t b, int32_t mode);
int32_t collide_sphere_sweep_triangle(PhysicsWorld *world, int32_t worker, int32_t i, const StaticFace &face,
                                      int32_t mode);

// ---- planes (physics/plane.cpp) ---------------------------------------------------------------

int32_t collide_body_planes(int32_t i, int32_t k, PhysicsWorld *world, int32_t worker);

// ---- jobs (physics/jobs.cpp) and the worker pool (physics/pool.cpp) ---------------------------

// The phases' jobs. (The wake and collide jobs alone read the other bodies' snapshot only inside
// the wake-and-collide job, which sets the flag for them.)
enum : int32_t {
    kJobBegin = 0,
    kJobStrokePrepare = 1,
    kJobPairsStrokePrepare = 2,
    kJobWakeCollide = 3,
    kJobCorrectHold = 4,
    kJobCorrectHoldPrepare = 5,
    kJobIslands = 6,    // a worker's islands through every sub-step (physics_job_islands)
    kJobPairs = 7,      // the body's row of the broad phase's pairs alone
    kJobBeginPairs = 8  // the begin jobs, then at once the pairs jobs (physics_phase_start)
};
constexpr int32_t kJobKinds = 9;

// The world the jobs work on, set by physics_start_workers.
extern PhysicsWorld *g_physics_world_pointer;
// Job slots of each worker: -1 free, else the body to process. Each on its own cache line: a worker
// writes its own twice a phase.
struct alignas(64) PhysicsJobSlot {
    std::atomic<int32_t> body{-1};
};
extern PhysicsJobSlot g_physics_collide_slots[kPhysicsWorkers];
extern PhysicsJobSlot g_physics_wake_slots[kPhysicsWorkers];
extern PhysicsJobSlot g_physics_correct_slots[kPhysicsWorkers];
extern std::atomic<int32_t> g_physics_worker_running[kPhysicsWorkers];
extern std::atomic<uint8_t> g_physics_workers_started;
extern std::atomic<int32_t> g_physics_workers_ended;

void physics_job_collide(int32_t i, int32_t worker);
// The impulse on `body` of one contact approaching at normal speed vn < 0 (normal n toward the
// body, contact point at r from it, contact-point velocity u relative to the other party; a fast
// other body at rj from the point, else null), restitution e and friction mu, into `impulse`:
// the collide job's impulse with its tangential part cut to what stops the slip. 0 when the
// contact has no meaningful impulse (nothing written).
int32_t physics_contact_impulse(const RigidBody *body, const RigidBody *fast_other, const float *n, const float *r,
                                const float *rj, const float *u, float vn, float e, float mu, float *impulse);
// The restitution a face of restitution e gives a body meeting it at normal speed vn (< 0): none for
// an approach slower than what gravity gives in a step, which is a body settling, not a hit (else a
// ball on the floor hops in every step and never rests).
float physics_bounce_restitution(const PhysicsWorld *world, float e, float vn);
// The approach speed below which a contact settles instead of bouncing: what gravity gives in a step.
float physics_settling_speed(const PhysicsWorld *world);
// Drops from contacts first .. end - 1 the edge contacts that lie (within `tolerance`) on the plane
// of another contact of the range that is no edge: seams between flush faces. Later contacts move
// down; returns the range's new end.
int32_t physics_drop_seam_edges(ContactBuffer *buffer, int32_t first, int32_t end, float tolerance);
// The same impulse sized to raise the contact's normal speed by `change` (> 0) instead.
int32_t physics_contact_impulse_change(const RigidBody *body, const RigidBody *fast_other, const float *n,
                                       const float *r, const float *rj, const float *u, float vn, float change,
                                       float mu, float *impulse);
// Sets the woken byte of body i, asleep, when a moved collider touches it, or (asleep as 1) when a
// body that wakes others touches it; the tests have the wake margin. Reads the other bodies'
// collide snapshot, so it may run beside their collide jobs.
void physics_job_wake(int32_t i, int32_t worker);
// What the other bodies' jobs of the collide phase read of body i, taken as the phase begins:
// velocity, position, whether fast, whether it wakes others.
void physics_keep_collide_snapshot(PhysicsWorld *world, int32_t i, RigidBody *b);
// A zeroed event node appended to `list`, from the worker's pool of spent nodes when it has one
// (the job of that worker only).
CollisionEventNode *physics_event_append_pooled(CollisionEventList *list, int32_t worker);
// Empties the list into the pools (main thread, no job running).
void physics_event_list_clear_pooled(CollisionEventList *list);
// The sub-step's serial: bumped by the step before each sub-step and at its end (main thread).
extern uint32_t g_physics_substep_serial;
// A worker stepping its islands: the serial of its sub-step (0: none, the step's serial holds;
// physics/islands.cpp).
extern constinit thread_local uint32_t g_physics_island_serial;
inline uint32_t physics_substep_serial()
{
    return g_physics_island_serial != 0 ? g_physics_island_serial : g_physics_substep_serial;
}
// The edge passes of this thread's calls of collide_body_static_mesh in record mode for body i, up
// to physics_edge_memo_end: stored (the collide job), or replayed when stored in this sub-step (the
// correction job), which gives the same contacts in the same order.
void physics_edge_memo_store(int32_t i, uint32_t serial);
void physics_edge_memo_replay(int32_t i, uint32_t serial);
void physics_edge_memo_end();
void physics_job_correct(int32_t i, int32_t worker);
// The step's per-body work before the collide phase: matrices, the mesh's placement, the body's
// height (for the body order), integration and sleep (saving for a grouped body), and the clearing
// of its row of the handled pairs; without joints, the snapshot the other bodies' collide jobs read
// (else the step takes it after the joint pass).
void physics_job_prepare(int32_t i, int32_t worker);
// After the wake tests: the wake-up and the body's own forces of the collide phase.
void physics_job_forces(int32_t i, int32_t worker);
// The correction job, then physics_hold_in_front for a body that has it.
void physics_job_correct_and_hold(int32_t i, int32_t worker);
// The jobs of the sub-step's two phases: wake (when the world has a wake time), forces and collide;
// correct and hold, then the next sub-step's prepare.
void physics_job_wake_and_collide(int32_t i, int32_t worker);
void physics_job_correct_hold_and_prepare(int32_t i, int32_t worker);
// The step's first phases: the body's part of the broad phase and what the step's serial parts read
// of it; then its stroke and its first prepare, with its row of the broad phase's pairs on the pool
// (the row alone when islands stroke and prepare their bodies).
void physics_job_begin(int32_t i, int32_t worker);
void physics_job_stroke_and_prepare(int32_t i, int32_t worker);
void physics_job_pairs_stroke_and_prepare(int32_t i, int32_t worker);
void physics_job_pairs(int32_t i, int32_t worker);
void physics_run_job(int32_t kind, int32_t body, int32_t worker);
// The number the next phase the pool publishes will have (main thread).
uint32_t physics_next_phase_number();

// Readies the pool for a step (threads made on first use); with every phase on the pool, wakes the
// parked workers (else physics_step_begin wakes those its way uses).
void physics_start_workers(PhysicsWorld *world);
// Parks the workers at the end of a step.
void physics_stop_workers();
void physics_worker_loop(int32_t w);
uint8_t physics_collide_jobs_pending();
uint8_t physics_wake_jobs_pending();
uint8_t physics_correct_jobs_pending();
int32_t physics_free_collide_slot();
int32_t physics_free_wake_slot();
int32_t physics_free_correct_slot();
// Runs job `kind` for the `count` bodies of `order` and returns when every one is done.
void physics_run_phase(int32_t kind, const int32_t *order, int32_t count);
// kJobBeginPairs: the begin jobs of the `count` bodies of `order`, then their pairs jobs, handed out
// once. physics_phase_start returns when this thread's begin jobs are done, physics_phase_pairs
// when its pairs jobs are (after every begin job), so that it may do other work in between and
// after, before physics_phase_finish returns with every job done. The pool's workers go from the
// begin jobs to the pairs jobs as soon as every begin job is done, without waiting for this thread.
// (Another kind runs whole in physics_phase_start.)
void physics_phase_start(int32_t kind, const int32_t *order, int32_t count);
void physics_phase_pairs();
void physics_phase_finish();
// The body order of the first `bodies` heights (as the prepare jobs leave them): the exchange sort
// of the entries (height, body) in index order, largest y first; and each body's rank in it.
void physics_sort_body_order(PhysicsWorld *world, int32_t bodies);
// The exchange sort of the entries (heights[p], p) for p below n into `order`, largest y first
// (entries that did not change are not written).
void physics_sort_exchange(const float *heights, BodyOrderEntry *order, int32_t n);
// A collider's transform component at t of the way from the previous to the current one.
inline float physics_interpolated(float previous, float current, float t)
{
    return previous * (1.0f - t) + current * t;
}
// Whether physics_run_phase runs a phase of `count` jobs on the pool in this step.
bool physics_phase_on_pool(int32_t count);
// The workers (job ranges) a phase of `count` jobs runs on: 1 inline.
int32_t physics_phase_ranges(int32_t count);
// A hint to the processor that this is a spin loop.
inline void physics_pause()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}
// One more wait of a thread for another: a pause at first, then the processor given up (the other
// thread may be preempted).
inline void physics_spin_wait(int spins)
{
    if (spins < 4096)
        physics_pause();
    else
        std::this_thread::yield();
}
// Around each step, after physics_start_workers (main thread): the executor times the steps and
// runs each one's phases on the pool or on the stepping thread, whichever has been faster.
void physics_step_begin(int32_t bodies);
void physics_step_end(int32_t substeps);
// Worker threads that exist.
int32_t physics_worker_threads();

// ---- islands (physics/islands.cpp) ------------------------------------------------------------

// The step's side (main thread): whether the step's n sub-steps may run as islands on the pool;
// then, when the broad phase's lists allow it, its strokes, first prepares and sub-steps run so
// (false, with nothing done, when not); at the step's end, the wait for the body order they leave.
bool physics_islands_allowed(const PhysicsWorld *world, int32_t n, int32_t bodies);
bool physics_islands_run(PhysicsWorld *world, int32_t n, int32_t bodies);
void physics_islands_sort_wait();
// A worker's part of the islands phase numbered `phase`: its own range's islands, then any other
// that no worker has begun, each through every sub-step; the bodies of the islands it finished.
int32_t physics_job_islands(int32_t worker, uint32_t phase);
// After its islands (their jobs reported): the body order the islands phase numbered `phase`
// leaves, if no other thread has taken it.
void physics_islands_sort(uint32_t phase);
// The height y of body i as its prepare job begins a sub-step, kept for the body order: the
// island's own record on a worker stepping islands, else the world's.
void physics_islands_keep_height(PhysicsWorld *world, int32_t i, float y);
// Body i's candidates of its list (the bodies of the world other than i) into `ranked`, in the body
// order of the sub-step: their number. A worker stepping islands may leave candidates of one height
// in any order: tied[c] is 1 when ranked[c] and ranked[c + 1] are such (physics_order_tied puts
// them in the body order).
int32_t physics_rank_candidates(const PhysicsWorld *world, int32_t i, const CandidateList &candidates,
                                int16_t *ranked, uint8_t *tied);
void physics_order_tied(int16_t *bodies, int32_t count);
// Steps whose sub-steps ran as islands, and the islands' lookups of the whole body order (counts
// for the tests).
extern uint64_t g_physics_island_steps;
extern std::atomic<uint64_t> g_physics_island_lookups;

// ---- joints (physics/joint.cpp) ---------------------------------------------------------------

struct DenseMatrix;

void physics_joint_release_chains(PhysicsWorld *world);
// Gathers the chain's distinct bodies into the head and numbers their column groups.
int32_t physics_joint_collect_bodies(Joint *head);
// The chain's constraint matrix J (new; matrix_delete); sets the head's row offsets and counts.
DenseMatrix *physics_joint_build_system(Joint *head);
void physics_mark_jointed_pairs(PhysicsWorld *world);
void physics_joint_pass(PhysicsWorld *world);
