// A body against one static-mesh collider: the face query, the routine of the body's shape per
// face, and the sweep of a fast body.
#include "physics/physics_local.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr float kThird = 0.33333334f;

// T(a, b) = ((q - a) x (b - a)) . n for the three edges: strict (> 0), closed (>= 0) or tolerant
// (> -epsilon) forms of the inside test.
enum class Inside { kStrict, kClosed, kTolerant };

__attribute__((always_inline)) inline bool inside(const StaticFace &f, const float *q, Inside form)
{
    for (int e = 0; e < 3; e++) {
        const float *a = f.corner[e], *b = f.corner[(e + 1) % 3];
        float qa[3], ba[3], c[3];
        vec3_sub(qa, q, a);
        vec3_sub(ba, b, a);
        float t = vec3_dot(vec3_cross(c, qa, ba), f.normal);
        bool ok = form == Inside::kStrict ? t > 0.0f : (form == Inside::kClosed ? t >= 0.0f : t > -g_bsp_epsilon);
        if (!ok) return false;
    }
    return true;
}

// The closed inside test of n points at once (each as `inside` computes it), verdicts into ok (-1
// inside, 0 not). The points go four at a time: n is a multiple of 4 (the caller pads the arrays).
void inside_closed_points(const StaticFace &f, const float *__restrict px, const float *__restrict py,
                          const float *__restrict pz, int32_t n, int32_t *__restrict ok)
{
    const float n0 = f.normal[0], n1 = f.normal[1], n2 = f.normal[2];
    float a[3][3], ba[3][3];
    for (int e = 0; e < 3; e++) {
        vec3_set(a[e], f.corner[e][0], f.corner[e][1], f.corner[e][2]);
        vec3_sub(ba[e], f.corner[(e + 1) % 3], f.corner[e]);
    }
    for (int32_t k = 0; k < n; k += 4) {
        const PhysicsLanes x = physics_load_lanes(px + k), y = physics_load_lanes(py + k), z = physics_load_lanes(pz + k);
        PhysicsLaneMasks in = {-1, -1, -1, -1};
        for (int e = 0; e < 3; e++) {
            const float *b = ba[e];
            const PhysicsLanes q0 = x - a[e][0], q1 = y - a[e][1], q2 = z - a[e][2];
            const PhysicsLanes t = (q1 * b[2] - q2 * b[1]) * n0 + (q2 * b[0] - q0 * b[2]) * n1 + (q0 * b[1] - q1 * b[0]) * n2;
            in &= t >= 0.0f;
        }
        memcpy(ok + k, &in, sizeof in);
    }
}

void record(PhysicsWorld *world, int32_t worker, const StaticFace &f, const float *point, float depth)
{
    physics_record_contact(world, worker, f.normal, point, kContactMesh, f.tag, depth);
}

// p = a + (b - a) t
void lerp(float *out, const float *a, const float *b, float t)
{
    for (int k = 0; k < 3; k++) out[k] = a[k] + (b[k] - a[k]) * t;
}

// Distance from p, `side` in front of the face's plane, to its triangle; the nearest point into q.
// (Feet and edge points rather than barycentric sums, which lose the distance to rounding on the
// long thin triangles of a rail.)
float face_distance(const StaticFace &f, const float *p, float side, float *q)
{
    const float nn = vec3_dot(f.normal, f.normal);
    for (int k = 0; k < 3; k++) q[k] = p[k] - f.normal[k] * side / nn;
    if (inside(f, q, Inside::kClosed)) return side / sqrtf(nn);
    float best = INFINITY;
    for (int e = 0; e < 3; e++) {
        const float *a = f.corner[e], *b = f.corner[(e + 1) % 3];
        float ab[3], ap[3], on[3], d[3];
        vec3_sub(ab, b, a);
        vec3_sub(ap, p, a);
        const float length2 = vec3_dot(ab, ab);
        float t = length2 > 0.0f ? vec3_dot(ap, ab) / length2 : 0.0f;
        t = t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
        lerp(on, a, b, t);
        const float distance = vec3_length(vec3_sub(d, p, on));
        if (distance < best) {
            best = distance;
            vec3_set(q, on[0], on[1], on[2]);
        }
    }
    return best;
}

// A round body whose centre stands beyond the face (its foot on the face's plane outside the
// triangle) and that comes at the face's edge or corner slower than a contact settles, or leaves
// it, rests on that edge: the face's contacts from `first` on become one, at the face's point
// nearest the centre, its normal the line from there to the centre, its depth the sphere's (none
// when the sphere no longer reaches the face). Met as the face's plane under its centre, an edge
// held a ball up with its centre past the end of a lane, where nothing bears it. A faster approach
// meets the face as a face, so that a cup's far lip turns back a ball that crosses it (along the
// line, the lip would throw it up at most of its speed).
void edge_contact(PhysicsWorld *world, int32_t worker, const RigidBody *body, const StaticFace &f, int32_t first)
{
    const float *c = body->position;
    const float r = body->radius;
    ContactBuffer &buffer = world->contact_buffers[worker];
    if (buffer.count <= first) return;
    const float nn = vec3_dot(f.normal, f.normal);
    if (!(nn > 0.0f)) return;
    const float side = static_face_side(f, c);
    float foot[3];
    for (int k = 0; k < 3; k++) foot[k] = c[k] - f.normal[k] * side / nn;
    if (inside(f, foot, Inside::kClosed)) return;
    float q[3], normal[3];
    const float distance = face_distance(f, c, side, q);
    const float length = distance > 1e-6f * r ? distance : 0.0f;
    // A centre on the edge itself has no line to it: the face's own normal serves.
    for (int k = 0; k < 3; k++) normal[k] = length > 0.0f ? (c[k] - q[k]) / length : f.normal[k] / sqrtf(nn);
    float lever[3], spin[3], u[3];
    vec3_sub(lever, q, c);
    vec3_add(u, body->velocity, vec3_cross(spin, body->angular_velocity, lever));
    if (vec3_dot(u, normal) < -physics_settling_speed(world)) return;
    buffer.count = first;
    if (!(distance < r)) return;
    physics_record_contact(world, worker, normal, q, kContactMeshEdge, f.tag, r - distance);
}

// The eight world corners of a node box (half sizes widened by the contact margin), numbered by
// the signs (x, y, z): 0 (-,+,+), 1 (+,+,+), 2 (+,-,+), 3 (-,-,+), 4 (-,+,-), 5 (+,+,-), 6 (+,-,-),
// 7 (-,-,-).
void node_corners(const RigidBody *body, const ShapeTreeNode *node, float corners[8][3])
{
    static const float signs[8][3] = {{-1, 1, 1},  {1, 1, 1},  {1, -1, 1},  {-1, -1, 1},
                                      {-1, 1, -1}, {1, 1, -1}, {1, -1, -1}, {-1, -1, -1}};
    float h[3];
    for (int k = 0; k < 3; k++) h[k] = node->half_sizes[k] + g_physics_contact_margin;
    // In lanes (lane k: coordinate k), the same operations in the same order as the scalar forms.
    const PhysicsLanes centre = {node->centre[0], node->centre[1], node->centre[2], 0.0f};
    const PhysicsLanes a0 = {node->axes[0][0], node->axes[0][1], node->axes[0][2], 0.0f};
    const PhysicsLanes a1 = {node->axes[1][0], node->axes[1][1], node->axes[1][2], 0.0f};
    const PhysicsLanes a2 = {node->axes[2][0], node->axes[2][1], node->axes[2][2], 0.0f};
    const float *m = body->world_matrix;
    const PhysicsLanes m0 = {m[0], m[1], m[2], 0.0f}, m1 = {m[4], m[5], m[6], 0.0f}, m2 = {m[8], m[9], m[10], 0.0f},
                       m3 = {m[12], m[13], m[14], 0.0f};
    for (int c = 0; c < 8; c++) {
        const PhysicsLanes p = centre + a0 * signs[c][0] * h[0] + a1 * signs[c][1] * h[1] + a2 * signs[c][2] * h[2];
        // mat4_transform_point: p0 m0 + p1 m4 + p2 m8 + m12 in lane 0, and so on.
        physics_store_three(corners[c], p[0] * m0 + p[1] * m1 + p[2] * m2 + m3);
    }
}

// The smaller and larger of two coordinates (no library call in the edge loop).
inline float lesser(float a, float b) { return b < a ? b : a; }
inline float greater(float a, float b) { return b > a ? b : a; }

bool boxes_meet(const float *lo_a, const float *hi_a, const float *lo_b, const float *hi_b)
{
    for (int k = 0; k < 3; k++)
        if (!(lo_a[k] <= hi_b[k] && lo_b[k] <= hi_a[k])) return false;
    return true;
}

// A grid cell index that may be used: 0 to 63 and inside the grid's extents.
bool cell_in_grid(const PointGrid *grid, int32_t cell)
{
    if (cell < 0 || cell >= 64) return false;
    return (cell & 3) < grid->nx && ((cell >> 2) & 3) < grid->ny && (cell >> 4) < grid->nz;
}

// Per worker: the vertex positions as arrays when the step has not placed them so, each vertex's
// signed distance to the face's plane, the vertices behind it, the edges to try and the grid
// cells' verdicts. The storage grows with the largest mesh seen and is kept. Each worker's on cache
// lines of its own.
struct alignas(64) EdgePassScratch {
    std::vector<float> x, y, z;
    std::vector<float> sides;
    std::vector<uint8_t> behind_flags;  // 1: behind; zero past the vertices, to a multiple of 8
    std::vector<int32_t> behind;
    std::vector<int32_t> edges;
    int8_t cell_near[64];
    // The inside verdicts of a plane's crossing points.
    std::vector<int32_t> inside;
    // Per plane met in one body-and-collider test (MeshBodyView::planes of them): what the edge
    // pass finds before it looks at the face's own box and corners.
    struct PlaneEdges {
        float normal[3], d;
        // Per edge across the plane whose cells reach it, in table order: the edge's box (low x, y,
        // z, high x, y, z), its crossing point (px, py, pz: zeros after the last, to a multiple of
        // 4) and depth.
        std::vector<float> box, px, py, pz, depth;
        int32_t count = 0;
    } planes[4];
};
EdgePassScratch g_edge_pass[kPhysicsWorkers];

// Per body: the edge-pass contacts of each face its collide job met, for its correction job in the
// same sub-step, which meets the same faces with the same placed mesh (only the body's centre has
// moved, and the edge pass reads it only in the box test before): the contacts are recorded again
// from here, in the same order, instead of being found again.
struct FaceMemo {
    const MeshFace *face;
    int32_t first, count;  // into contacts
    int32_t result;
};
struct alignas(64) BodyMemo {  // each body's on lines of its own: its worker writes it every sub-step
    uint32_t serial = 0;  // of the sub-step (0: none)
    std::vector<FaceMemo> faces;
    std::vector<float> contacts;  // point x, y, z and depth per contact
};
BodyMemo g_memos[kPhysicsMaxBodies];
// The memo the edge pass of this thread writes (storing) or reads (replaying), if any.
thread_local BodyMemo *t_memo = nullptr;
thread_local bool t_memo_replay = false;

// Per body and collider slot: the faces of the body's last grown face query of that slot, which
// the queries of the next sub-steps filter while the body stays inside it (its jobs only).
struct FaceKeeps {
    std::vector<FaceBspSphereKeep> slots;
    ~FaceKeeps()
    {
        for (FaceBspSphereKeep &keep : slots) bsp_sphere_keep_free(&keep);
    }
};
FaceKeeps g_face_keeps[kPhysicsMaxBodies];

// The faces of the slot's mesh whose boxes meet the sphere: the face query's result for it. A new
// query for body i keeps the faces of the sphere grown by half the body's radius.
const FaceBspResult *slot_faces(PhysicsWorld *world, int32_t i, const RigidBody *body, ColliderSlot *slot,
                                const float *c, float r, int32_t worker)
{
    // The slot's number in the world's table (a slot of the caller's own has none: no keeping).
    const uintptr_t base = reinterpret_cast<uintptr_t>(world->colliders), at = reinterpret_cast<uintptr_t>(slot);
    int32_t s = -1;
    if (at >= base && at - base < sizeof world->colliders && (at - base) % sizeof(ColliderSlot) == 0)
        s = int32_t((at - base) / sizeof(ColliderSlot));
    if (i < 0 || i >= kPhysicsMaxBodies || s < 0)
        return bsp_query_face_tree_sphere(&slot->face_bsp, c[0], c[1], c[2], r, worker, slot->matrix);
    std::vector<FaceBspSphereKeep> &keeps = g_face_keeps[i].slots;
    if (keeps.size() <= size_t(s)) keeps.resize(size_t(s) + 1, FaceBspSphereKeep{});
    const float grow = body->radius > 0.0f ? 0.5f * body->radius : 0.0f;
    return bsp_query_face_tree_sphere_kept(&slot->face_bsp, c[0], c[1], c[2], r, worker, slot->matrix,
                                           &keeps[size_t(s)], grow);
}

void memo_contact(BodyMemo *memo, const float *p, float depth)
{
    const size_t n = memo->contacts.size();
    memo->contacts.resize(n + 4);
    float *c = &memo->contacts[n];
    c[0] = p[0];
    c[1] = p[1];
    c[2] = p[2];
    c[3] = depth;
    memo->faces.back().count++;
}


// Whether the vertex's cell reaches the face's plane; a vertex whose cell index is unusable gives
// no verdict: its edges are tried. Each cell is decided once per face (-1: not yet).
inline bool vertex_near(PointGrid *grid, const MeshVertex &vertex, const StaticFace &f, int8_t *cell_near,
                        PlacedVertices *placed)
{
    int32_t cell = vertex.grid_cell;
    if (!cell_in_grid(grid, cell)) return true;
    if (cell_near[cell] < 0) {
        physics_place_grid_cell(grid, placed, cell);
        const PointGridCell &c = grid->cells[cell];
        cell_near[cell] = fabsf(static_face_side(f, c.world_point)) < c.radius ? 1 : 0;
    }
    return cell_near[cell] != 0;
}

// What every face of one body-and-collider test shares, made when the first face needs it: the
// corners of the body's shape-tree box and the vertex positions as arrays.
struct MeshBodyView {
    bool corners_placed = false;
    float corners[8][3];
    const float *x = nullptr, *y = nullptr, *z = nullptr;
    PlacedVertices *placed = nullptr;
    // Planes of faces met so far whose edge work is kept (in the worker's scratch), and the next
    // entry to replace.
    int32_t planes = 0, next_plane = 0;
};

int32_t mesh_body_edges(PhysicsWorld *world, int32_t worker, int32_t i, const StaticFace &f, int32_t mode,
                        MeshBodyView &view, const float *face_lo, const float *face_hi, BodyMemo *memo);
void plane_edges(const RigidBody *body, const MeshObject *mesh, MeshBodyView &view, EdgePassScratch &scratch,
                 const StaticFace &f, EdgePassScratch::PlaneEdges *out);

bool straddles(const float corners[8][3], const StaticFace &f)
{
    int front = 0, behind = 0;
    for (int c = 0; c < 8; c++) {
        float s = static_face_side(f, corners[c]);
        if (s > 0.0f)
            front++;
        else if (s < 0.0f)
            behind++;
    }
    return front != 8 && behind != 8;
}

// The edge routine on two end points.
int32_t edge_triangle(PhysicsWorld *world, int32_t worker, const StaticFace &f, const float *pa, const float *pb,
                      int32_t mode, BodyMemo *memo = nullptr)
{
    float sa = static_face_side(f, pa), sb = static_face_side(f, pb);
    if (!(sa * sb < 0.0f)) return 0;
    float p[3];
    lerp(p, pa, pb, -sa / (sb - sa));
    if (!inside(f, p, Inside::kClosed)) return 0;
    if (mode == kModeRecord) {
        const float depth = sa >= 0.0f ? -sb : -sa;
        record(world, worker, f, p, depth);
        if (memo) memo_contact(memo, p, depth);
    }
    return 1;
}

// The mesh body's edge pass for one face (the face is in front of the body's centre).
int32_t mesh_body_face(PhysicsWorld *world, int32_t worker, int32_t i, const StaticFace &f, int32_t mode,
                       MeshBodyView &view)
{
    const RigidBody *body = world->bodies[i];
    const float *c = body->position;
    const float r = body->radius;
    float face_lo[3], face_hi[3], cube_lo[3], cube_hi[3];
    for (int k = 0; k < 3; k++) {
        face_lo[k] = f.face->centre[k] - f.face->half_extents[k];
        face_hi[k] = f.face->centre[k] + f.face->half_extents[k];
        cube_lo[k] = c[k] - r;
        cube_hi[k] = c[k] + r;
    }
    if (!boxes_meet(face_lo, face_hi, cube_lo, cube_hi)) return 0;
    BodyMemo *memo = mode == kModeRecord ? t_memo : nullptr;
    if (memo && t_memo_replay) {
        for (const FaceMemo &m : memo->faces) {
            if (m.face != f.face) continue;
            for (int32_t k = m.first; k < m.first + m.count; k++)
                record(world, worker, f, &memo->contacts[size_t(k) * 4], memo->contacts[size_t(k) * 4 + 3]);
            return m.result;
        }
        memo = nullptr;
    }
    if (memo) {
        memo->faces.push_back(FaceMemo{f.face, int32_t(memo->contacts.size() / 4), 0, 0});
        const int32_t result = mesh_body_edges(world, worker, i, f, mode, view, face_lo, face_hi, memo);
        memo->faces.back().result = result;
        return result;
    }
    return mesh_body_edges(world, worker, i, f, mode, view, face_lo, face_hi, nullptr);
}

// The edge pass proper of mesh_body_face (nothing in it reads the body's centre); contacts also go
// into `memo` when given.
int32_t mesh_body_edges(PhysicsWorld *world, int32_t worker, int32_t i, const StaticFace &f, int32_t mode,
                        MeshBodyView &view, const float *face_lo, const float *face_hi, BodyMemo *memo)
{
    const RigidBody *body = world->bodies[i];
    if (body->shape_tree) {
        if (!view.corners_placed) {
            node_corners(body, body->shape_tree, view.corners);
            view.corners_placed = true;
        }
        if (!straddles(view.corners, f)) return 0;
    }
    const MeshObject *mesh = body->collision_mesh;
    if (!mesh || !mesh->edge_table) return 0;
    const int32_t vertices = mesh->vertex_count;
    EdgePassScratch &scratch = g_edge_pass[worker];
    if (!view.x) {
        if (PlacedVertices *placed = physics_placed_vertices(i, mesh)) {
            view.placed = placed;
            view.x = placed->x.data();
            view.y = placed->y.data();
            view.z = placed->z.data();
        } else {
            if (scratch.x.size() < size_t(vertices)) {
                scratch.x.resize(size_t(vertices));
                scratch.y.resize(size_t(vertices));
                scratch.z.resize(size_t(vertices));
            }
            for (int32_t v = 0; v < vertices; v++) {
                const float *p = mesh->vertices[v].world_position;
                scratch.x[size_t(v)] = p[0];
                scratch.y[size_t(v)] = p[1];
                scratch.z[size_t(v)] = p[2];
            }
            view.x = scratch.x.data();
            view.y = scratch.y.data();
            view.z = scratch.z.data();
        }
    }
    // Faces of one plane (the two triangles of a quad) share everything up to the face's box and
    // corners: the vertices' sides, the edges across, the cell tests and the crossing points. That
    // work is done once per plane met and kept for the faces after.
    const EdgePassScratch::PlaneEdges *plane = nullptr;
    for (int32_t k = 0; k < view.planes && !plane; k++) {
        const EdgePassScratch::PlaneEdges &p = scratch.planes[k];
        if (memcmp(p.normal, f.normal, sizeof p.normal) == 0 && memcmp(&p.d, &f.d, sizeof p.d) == 0) plane = &p;
    }
    if (!plane) {
        EdgePassScratch::PlaneEdges &p = scratch.planes[view.next_plane];
        view.next_plane = (view.next_plane + 1) % 4;
        if (view.planes < 4) view.planes++;
        memcpy(p.normal, f.normal, sizeof p.normal);
        p.d = f.d;
        plane_edges(body, mesh, view, scratch, f, &p);
        plane = &p;
    }
    if (plane->count == 0) return 0;
    const int32_t most = plane->count;
    // The inside test of every crossing point of the plane (padded to a multiple of 4), then the
    // points whose edge boxes meet the face's box taken in order.
    const int32_t padded = (most + 3) & ~3;
    if (scratch.inside.size() < size_t(padded)) scratch.inside.resize(size_t(padded));
    int32_t *ok = scratch.inside.data();
    const float *px = plane->px.data(), *py = plane->py.data(), *pz = plane->pz.data();
    inside_closed_points(f, px, py, pz, padded, ok);
    const float *box = plane->box.data(), *depth = plane->depth.data();
    int32_t total = 0;
    for (int32_t c = 0; c < most; c++) {
        if (!ok[c] || !boxes_meet(box + c * 6, box + c * 6 + 3, face_lo, face_hi)) continue;
        total++;
        if (mode != kModeRecord) break;
        const float p[3] = {px[c], py[c], pz[c]};
        record(world, worker, f, p, depth[c]);
        if (memo) memo_contact(memo, p, depth[c]);
    }
    return total > 0 ? 1 : 0;
}

// The edge work of face f's plane into `out`: the edges across it (one end behind), in table
// order, that pass the grid-cell test, with their boxes, crossing points and depths as the edge
// routine finds them.
void plane_edges(const RigidBody *body, const MeshObject *mesh, MeshBodyView &view, EdgePassScratch &scratch,
                 const StaticFace &f, EdgePassScratch::PlaneEdges *out)
{
    out->count = 0;
    const int32_t vertices = mesh->vertex_count;
    // Only an edge whose ends lie on both sides of the plane can give a contact, and one of its
    // ends is behind: the edges of the vertices behind are the only ones tried (the edge routine
    // decides with the sides it computes itself). They are tried in the table's order, which is
    // the order of the contacts. (A side that is not a number is on neither side.)
    if (scratch.sides.size() < size_t(vertices)) scratch.sides.resize(size_t(vertices));
    float *__restrict sides = scratch.sides.data();
    const float *__restrict X = view.x, *__restrict Y = view.y, *__restrict Z = view.z;
    const float n0 = f.normal[0], n1 = f.normal[1], n2 = f.normal[2], d = f.d;
    const size_t words = (size_t(vertices) + 7) / 8;
    if (scratch.behind_flags.size() < words * 8) scratch.behind_flags.assign(words * 8, 0);
    uint8_t *__restrict flags = scratch.behind_flags.data();
    for (int32_t v = 0; v < vertices; v++) {
        sides[v] = n0 * X[v] + n1 * Y[v] + n2 * Z[v] + d;
        flags[v] = sides[v] < 0.0f ? 1 : 0;
    }
    // Few vertices are behind: found eight flags at a time.
    std::vector<int32_t> &behind = scratch.behind;
    behind.clear();
    for (size_t w = 0; w < words; w++) {
        uint64_t bits;
        memcpy(&bits, flags + w * 8, 8);
        while (bits) {
            const int byte = __builtin_ctzll(bits) / 8;
            behind.push_back(int32_t(w * 8) + byte);
            bits &= ~(uint64_t(0xff) << (byte * 8));
        }
    }
    if (behind.empty()) return;
    auto across = [sides](int32_t a, int32_t b) {
        return (sides[a] < 0.0f && sides[b] > 0.0f) || (sides[a] > 0.0f && sides[b] < 0.0f);
    };
    const MeshEdgeTable *table = mesh->edge_table;
    std::vector<int32_t> &edges = scratch.edges;
    edges.clear();
    if (const int32_t *first = mesh_edge_table_vertex_first(table, vertices)) {
        // An edge across the plane has exactly one end behind: it is gathered once.
        for (int32_t v : behind)
            for (int32_t k = first[v]; k < first[v + 1]; k++) {
                const int32_t e = table->vertex_edges[k];
                if (across(table->records[e].a, table->records[e].b)) edges.push_back(e);
            }
        std::sort(edges.begin(), edges.end());
    } else {
        for (int32_t e = 0; e < table->count; e++) {
            const uint32_t a = uint32_t(table->records[e].a), b = uint32_t(table->records[e].b);
            if (a >= uint32_t(vertices) || b >= uint32_t(vertices)) continue;  // negative ones too
            if (across(int32_t(a), int32_t(b))) edges.push_back(e);
        }
    }
    if (edges.empty()) return;
    PointGrid *grid = body->point_grid;
    if (grid) memset(scratch.cell_near, -1, sizeof scratch.cell_near);
    const size_t most = edges.size(), room = (most + 3) & ~size_t(3);
    if (out->depth.size() < room) {
        out->box.resize(room * 6);
        for (std::vector<float> *v : {&out->px, &out->py, &out->pz, &out->depth}) v->resize(room);
    }
    float *__restrict box = out->box.data(), *__restrict depth = out->depth.data();
    float *__restrict px = out->px.data(), *__restrict py = out->py.data(), *__restrict pz = out->pz.data();
    int32_t count = 0;
    for (int32_t e : edges) {
        const int32_t a = table->records[e].a, b = table->records[e].b;
        if (grid && !vertex_near(grid, mesh->vertices[a], f, scratch.cell_near, view.placed) &&
            !vertex_near(grid, mesh->vertices[b], f, scratch.cell_near, view.placed))
            continue;
        // The sides are the face's signed distances of the end points (static_face_side).
        const float sa = sides[a], sb = sides[b];
        if (!(sa * sb < 0.0f)) continue;
        const float pa[3] = {X[a], Y[a], Z[a]}, pb[3] = {X[b], Y[b], Z[b]};
        float *lo = box + count * 6, *hi = lo + 3;
        for (int k = 0; k < 3; k++) {
            lo[k] = lesser(pa[k], pb[k]);
            hi[k] = greater(pa[k], pb[k]);
        }
        const float t = -sa / (sb - sa);
        px[count] = pa[0] + (pb[0] - pa[0]) * t;
        py[count] = pa[1] + (pb[1] - pa[1]) * t;
        pz[count] = pa[2] + (pb[2] - pa[2]) * t;
        depth[count] = sa >= 0.0f ? -sb : -sa;
        count++;
    }
    for (size_t k = size_t(count); k < ((size_t(count) + 3) & ~size_t(3)); k++) px[k] = py[k] = pz[k] = 0.0f;
    out->count = count;
}

}  // namespace

void physics_edge_memo_store(int32_t i, uint32_t serial)
{
    if (i < 0 || i >= kPhysicsMaxBodies || serial == 0) return;
    BodyMemo &memo = g_memos[i];
    memo.serial = serial;
    memo.faces.clear();
    memo.contacts.clear();
    t_memo = &memo;
    t_memo_replay = false;
}

void physics_edge_memo_replay(int32_t i, uint32_t serial)
{
    if (i < 0 || i >= kPhysicsMaxBodies || serial == 0 || g_memos[i].serial != serial) return;
    t_memo = &g_memos[i];
    t_memo_replay = true;
}

void physics_edge_memo_end() { t_memo = nullptr; }


int32_t collide_body_static_mesh(PhysicsWorld *world, int32_t i, ColliderSlot *slot, int32_t mode, int32_t worker)
{
    if (i < 0 || i >= world->body_count || i >= kPhysicsMaxBodies || !world->bodies[i]) return 0;
    if (worker < 0 || worker >= kPhysicsWorkers || !slot || !slot->object || !slot->in_use) return 0;
    RigidBody *body = world->bodies[i];
    const MeshObject *mesh = slot->object;
    const FaceBspResult *list = slot_faces(world, i, body, slot, body->position, body->radius, worker);
    if (!list || list->count == 0) return 0;

    int32_t total = 0;
    const int32_t shape = body->shape;
    MeshBodyView view;
    const bool round = shape == kShapeMesh && physics_body_round(body);
    if (shape >= kShapeSphere && shape <= kShapeMesh) {
        for (int32_t n = 0; n < list->count; n++) {
            StaticFace f;
            if (!static_face_load(mesh, list->faces[n], &f)) continue;
            const float *c = body->position;
            if (!(static_face_side(f, c) > 0.0f)) continue;
            switch (shape) {
            case kShapeSphere: total += collide_sphere_triangle(world, worker, f, c, body->radius, mode); break;
            case kShapeTree: total += collide_tree_triangle(world, worker, i, body->shape_tree, f, mode); break;
            case kShapeSphereTree:
                if (body->sphere_tree && body->sphere_tree->count > 0)
                    total += collide_sphere_tree_triangle(world, worker, i, body->sphere_tree->count - 1, f, mode);
                break;
            case kShapeCylinder: total += collide_cylinder_triangle(world, worker, i, f, mode); break;
            case kShapeMesh: {
                const int32_t before = world->contact_buffers[worker].count;
                const int32_t met = mesh_body_face(world, worker, i, f, mode, view);
                if (met && round && mode == kModeRecord) edge_contact(world, worker, body, f, before);
                total += met;
                break;
            }
            }
        }
    }
    if (total > 0) return 1;

    if (!(vec3_length(body->velocity) * world->frame_time > body->radius)) return 0;
    int32_t swept = 0;
    for (int32_t n = 0; n < list->count; n++) {
        StaticFace f;
        if (!static_face_load(mesh, list->faces[n], &f)) continue;
        swept += collide_sphere_sweep_triangle(world, worker, i, f, mode);
    }
    return swept > 0 ? 1 : 0;
}

int32_t collide_sphere_triangle(PhysicsWorld *world, int32_t worker, const StaticFace &f, const float *c, float r,
                                int32_t mode)
{
    // The foot point of c on the face's plane, projected along the normal. (Cutting a line from
    // c + 1000 n to c - 1000 n finds the same point but rounds it to about 1e-4.)
    float nn = vec3_dot(f.normal, f.normal);
    if (!(nn > 0.0f)) return 0;
    float s = static_face_side(f, c) / nn, foot[3];
    for (int k = 0; k < 3; k++) foot[k] = c[k] - f.normal[k] * s;
    float d[3];
    float dist = vec3_length(vec3_sub(d, foot, c));
    if (!(r > dist)) return 0;
    if (!inside(f, foot, Inside::kStrict)) return 0;
    if (mode == kModeRecord) record(world, worker, f, foot, r - dist);
    return 1;
}

int32_t collide_tree_triangle(PhysicsWorld *world, int32_t worker, int32_t i, const ShapeTreeNode *node,
                              const StaticFace &f, int32_t mode)
{
    if (!node) return 0;
    switch (node->type) {
    case 2: return collide_node_triangle(world, worker, i, node, f, mode);
    case 3: {
        int32_t a = collide_node_triangle(world, worker, i, node, f, mode);
        int32_t b = collide_tree_triangle(world, worker, i, node->first, f, mode);
        return a + b > 0 ? 1 : 0;
    }
    case 4:
        if (collide_node_triangle(world, worker, i, node, f, kModeTest) != 1) return 0;
        return collide_tree_triangle(world, worker, i, node->first, f, mode);
    default: {
        if (collide_node_triangle(world, worker, i, node, f, kModeTest) != 1) return 0;
        int32_t a = collide_tree_triangle(world, worker, i, node->first, f, mode);
        int32_t b = collide_tree_triangle(world, worker, i, node->second, f, mode);
        return a + b > 0 ? 1 : 0;
    }
    }
}

int32_t collide_node_triangle(PhysicsWorld *world, int32_t worker, int32_t i, const ShapeTreeNode *node,
                              const StaticFace &f, int32_t mode)
{
    static const int edges[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {5, 6}, {6, 7},
                                     {7, 4}, {4, 5}, {6, 2}, {5, 1}, {4, 0}, {7, 3}};
    float corners[8][3], s[8];
    node_corners(world->bodies[i], node, corners);
    bool all_front = true;
    for (int c = 0; c < 8; c++) {
        s[c] = static_face_side(f, corners[c]);
        if (!(s[c] > 0.0f)) all_front = false;
    }
    if (all_front) return 0;
    int32_t found = 0;
    for (const auto &e : edges) {
        float sa = s[e[0]], sb = s[e[1]];
        if (!(sa * sb < 0.0f)) continue;
        float p[3];
        lerp(p, corners[e[0]], corners[e[1]], -sa / (sb - sa));
        if (!inside(f, p, Inside::kStrict)) continue;
        if (mode == kModeRecord) record(world, worker, f, p, sa < 0.0f ? -sa : -sb);
        found = 1;
    }
    return found;
}

int32_t collide_sphere_tree_triangle(PhysicsWorld *world, int32_t worker, int32_t i, int32_t k, const StaticFace &f,
                                     int32_t mode)
{
    const RigidBody *body = world->bodies[i];
    const SphereTree *tree = body->sphere_tree;
    if (!tree || !tree->nodes || k < 0 || k >= tree->count) return 0;
    const SphereTreeNode *node = &tree->nodes[k];
    float centre[3];
    mat4_transform_point(centre, body->world_matrix, node->centre);
    if (node->level < 2) return collide_sphere_triangle(world, worker, f, centre, node->radius, mode);
    if (collide_sphere_triangle(world, worker, f, centre, node->radius, kModeTest) == 0) return 0;
    int32_t sum = 0;
    for (int c = 0; c < 3; c++) {
        int16_t child = int16_t(node->children[c]);
        // Children come before their parent in the array (the root is last): a link to the node
        // itself or a later one would never end.
        if (child == -1 || child >= k) continue;
        sum += collide_sphere_tree_triangle(world, worker, i, child, f, mode);
    }
    return sum > 0 ? 1 : 0;
}

int32_t collide_cylinder_triangle(PhysicsWorld *world, int32_t worker, int32_t i, const StaticFace &f, int32_t mode)
{
    const RigidBody *body = world->bodies[i];
    const float *c = body->position;
    const float r = body->radius, h = body->cylinder_height;
    const float eps = g_bsp_epsilon;
    float a[3], n[3], u[3], tmp[3];
    mat4_transform_vector(a, body->rotation_matrix, body->cylinder_axis);
    vec3_normalize(a);
    vec3_set(n, f.normal[0], f.normal[1], f.normal[2]);
    vec3_normalize(n);

    // The rim segment on the side u: P1 = c + a h/2 - u r, P2 = c - a h/2 - u r.
    auto rim = [&](const float *side, float *p1, float *p2) {
        for (int k = 0; k < 3; k++) {
            p1[k] = c[k] + a[k] * h / 2.0f - side[k] * r;
            p2[k] = c[k] - a[k] * h / 2.0f - side[k] * r;
        }
    };
    // Stage 1: the deepest rim line.
    if (fabsf(vec3_dot(a, n)) > 1.0f - eps)
        vec3_set(u, 0, 0, 0);
    else {
        vec3_cross(tmp, a, n);
        vec3_cross(u, tmp, a);
        vec3_normalize(u);
    }
    float p1[3], p2[3];
    rim(u, p1, p2);
    float s1 = static_face_side(f, p1), s2 = static_face_side(f, p2);
    if (s1 * s2 < 0.0f) {
        float t = -s1 / (s2 - s1);
        if (t > -eps && t < 1.0f + eps) {
            t = t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
            float q[3];
            lerp(q, p1, p2, t);
            if (inside(f, q, Inside::kTolerant)) {
                if (mode == kModeRecord) record(world, worker, f, q, -2.0f * (s1 < 0.0f ? s1 : s2));
                return 1;
            }
        }
    } else if (s1 < 0.0f) {
        float m[3], q[3];
        lerp(m, p1, p2, 0.5f);
        float sm = vec3_dot(n, m) + f.d;
        for (int k = 0; k < 3; k++) q[k] = m[k] - n[k] * sm;
        if (inside(f, q, Inside::kTolerant)) {
            if (mode == kModeRecord) record(world, worker, f, q, -sm);
            return 1;
        }
    }
    // Stage 2: the rim line toward the face's centroid.
    float centroid[3];
    for (int k = 0; k < 3; k++) centroid[k] = (f.corner[0][k] + f.corner[1][k] + f.corner[2][k]) * kThird;
    vec3_sub(u, centroid, c);
    vec3_normalize(u);
    rim(u, p1, p2);
    s1 = static_face_side(f, p1);
    s2 = static_face_side(f, p2);
    if (s1 * s2 < 0.0f) {
        float t = -s1 / (s2 - s1);
        if (t > -eps && t < 1.0f + eps) {
            t = t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
            float q[3];
            lerp(q, p1, p2, t);
            if (inside(f, q, Inside::kTolerant)) {
                if (mode == kModeRecord) record(world, worker, f, q, -(s1 < 0.0f ? s1 : s2));
                return 1;
            }
        }
    }
    // Stage 3: the caps against the face's edges.
    int32_t found = 0;
    for (int cap = 0; cap < 2; cap++) {
        float centre[3], normal[3];
        float sign = cap == 0 ? 1.0f : -1.0f;
        for (int k = 0; k < 3; k++) {
            centre[k] = c[k] + sign * a[k] * h / 2.0f;
            normal[k] = sign * a[k];
        }
        for (int e = 0; e < 3; e++) {
            const float *ea = f.corner[e], *eb = f.corner[(e + 1) % 3];
            float da[3], db[3];
            float sa = vec3_dot(vec3_sub(da, ea, centre), normal), sb = vec3_dot(vec3_sub(db, eb, centre), normal);
            if (!(sa * sb < 0.0f)) continue;
            float t = -sa / (sb - sa);
            if (!(t > -eps && t < 1.0f + eps)) continue;
            float q[3], d[3];
            lerp(q, ea, eb, t);
            if (!(vec3_length(vec3_sub(d, q, centre)) < r)) continue;
            if (mode == kModeRecord) record(world, worker, f, q, 0.0f);
            found = 1;
        }
    }
    return found;
}

bool collide_tree_box_straddles_face(const PhysicsWorld *world, int32_t i, const ShapeTreeNode *node,
                                     const StaticFace &f)
{
    float corners[8][3];
    node_corners(world->bodies[i], node, corners);
    return straddles(corners, f);
}

int32_t collide_edge_triangle(PhysicsWorld *world, int32_t worker, const StaticFace &f, const MeshObject *mesh,
                              int32_t a, int32_t b, int32_t mode)
{
    return edge_triangle(world, worker, f, mesh->vertices[a].world_position, mesh->vertices[b].world_position, mode);
}

int32_t collide_sphere_sweep_triangle(PhysicsWorld *world, int32_t worker, int32_t i, const StaticFace &f, int32_t mode)
{
    RigidBody *body = world->bodies[i];
    const float r = body->radius;
    float dir[3], start[3], end[3];
    vec3_sub(dir, body->predicted_position, body->saved_position);
    vec3_normalize(dir);
    for (int k = 0; k < 3; k++) {
        start[k] = body->saved_position[k] - dir[k] * r;
        end[k] = body->predicted_position[k] + dir[k] * r;
    }
    float ss = static_face_side(f, start), se = static_face_side(f, end);
    if (!(ss > 0.0f && se < 0.0f)) return 0;
    float p[3];
    lerp(p, start, end, -ss / (se - ss));
    if (!inside(f, p, Inside::kClosed)) return 0;
    if (mode == kModeRecord) {
        for (int k = 0; k < 3; k++) body->position[k] = p[k] + f.normal[k] * r;
        record(world, worker, f, p, -se);
    }
    return 1;
}

int32_t physics_hold_in_front(PhysicsWorld *world, RigidBody *body, int32_t worker)
{
    // After a move the centre is no nearer than half the radius to a face it is in front of:
    // deeper, the ball is drawn mostly inside the wall.
    const float keep = 0.5f * body->radius;
    // Up to four faces in a sub-step (a corner holds the centre with two or three).
    int32_t held = 0;
    for (int pass = 0; pass < 4; pass++) {
        const float *from = body->saved_position, *to = body->position;
        float move[3];
        vec3_sub(move, to, from);
        const float length = vec3_length(move);
        if (!(length > 0.0f) || !std::isfinite(length)) return held;
        float mid[3];
        for (int k = 0; k < 3; k++) mid[k] = 0.5f * (from[k] + to[k]);
        // The earliest face whose front the centre left inside the triangle; else the face the
        // centre came nearest to past the kept distance.
        StaticFace hit = {};
        float hit_t = 2.0f, hit_from = 0.0f, hit_e = 0.0f;
        float near_short = 0.0f, near_direction[3] = {0, 0, 0};
        for (int32_t s = 0; s < world->collider_count && s < kPhysicsMaxColliders; s++) {
            ColliderSlot *slot = &world->colliders[s];
            if (!slot->object || !slot->in_use) continue;
            const FaceBspResult *list = slot_faces(world, body->index, body, slot, mid, 0.5f * length + keep, worker);
            for (int32_t n = 0; list && n < list->count; n++) {
                StaticFace f;
                if (!static_face_load(slot->object, list->faces[n], &f)) continue;
                const float sa = static_face_side(f, from), sb = static_face_side(f, to);
                if (sa > 0.0f && sb <= 0.0f) {
                    const float t = sa / (sa - sb);
                    float p[3];
                    lerp(p, from, to, t);
                    if (t < hit_t && inside(f, p, Inside::kTolerant)) {
                        hit = f;
                        hit_t = t;
                        hit_from = sa;
                        hit_e = slot->restitution;
                    }
                    continue;
                }
                // The distance to the face is at least the distance to its plane.
                if (!(sb > 0.0f && sb < keep)) continue;
                float q[3], away[3];
                const float d_to = face_distance(f, to, sb, q);
                const float shortfall = keep - d_to;
                if (!(shortfall > near_short)) continue;
                vec3_sub(away, to, q);
                if (d_to > 1e-6f)
                    vec3_scale(away, away, 1.0f / d_to);
                else
                    vec3_set(away, f.normal[0], f.normal[1], f.normal[2]);
                near_short = shortfall;
                vec3_set(near_direction, away[0], away[1], away[2]);
            }
        }
        if (hit_t <= 1.0f) {
            // Cancel the move into the face (the centre goes back to its start's distance, at most
            // the radius). The velocity into it is the hit the contacts missed, a sub-step's move
            // having carried the centre past the face: it comes back at the face's restitution; the
            // motion along the face stays.
            const float back = -static_face_side(hit, to) + (hit_from < body->radius ? hit_from : body->radius);
            for (int k = 0; k < 3; k++) body->position[k] += hit.normal[k] * back;
            const float into = vec3_dot(body->velocity, hit.normal);
            const float bounce = physics_bounce_restitution(world, hit_e, into);
            if (into < 0.0f)
                for (int k = 0; k < 3; k++) body->velocity[k] -= hit.normal[k] * (1.0f + bounce) * into;
        } else if (near_short > 0.0f) {
            // Only the position: the contacts turn the velocity, as for any touch.
            for (int k = 0; k < 3; k++) body->position[k] += near_direction[k] * near_short;
        } else {
            return held;
        }
        held++;
    }
    return held;
}
