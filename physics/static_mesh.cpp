// A body against one static-mesh collider: the face query, the routine of the body's shape per
// face, and the sweep of a fast body.
#include "physics/physics_local.h"

#include <cmath>
#include <vector>

namespace {

constexpr float kThird = 0.33333334f;

// T(a, b) = ((q - a) x (b - a)) . n for the three edges: strict (> 0), closed (>= 0) or tolerant
// (> -epsilon) forms of the inside test.
enum class Inside { kStrict, kClosed, kTolerant };

bool inside(const StaticFace &f, const float *q, Inside form)
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

// The eight world corners of a node box (half sizes widened by the contact margin), numbered by
// the signs (x, y, z): 0 (-,+,+), 1 (+,+,+), 2 (+,-,+), 3 (-,-,+), 4 (-,+,-), 5 (+,+,-), 6 (+,-,-),
// 7 (-,-,-).
void node_corners(const RigidBody *body, const ShapeTreeNode *node, float corners[8][3])
{
    static const float signs[8][3] = {{-1, 1, 1},  {1, 1, 1},  {1, -1, 1},  {-1, -1, 1},
                                      {-1, 1, -1}, {1, 1, -1}, {1, -1, -1}, {-1, -1, -1}};
    float h[3];
    for (int k = 0; k < 3; k++) h[k] = node->half_sizes[k] + g_physics_contact_margin;
    for (int c = 0; c < 8; c++) {
        float p[3];
        for (int k = 0; k < 3; k++)
            p[k] = node->centre[k] + node->axes[0][k] * signs[c][0] * h[0] + node->axes[1][k] * signs[c][1] * h[1] +
                   node->axes[2][k] * signs[c][2] * h[2];
        mat4_transform_point(corners[c], body->world_matrix, p);
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

// Whether the vertex's cell reaches the face's plane (this worker's marks); a vertex whose cell
// index is unusable gives no verdict: its edges are tried.
inline bool vertex_marked(const PointGrid *grid, const MeshVertex &vertex, int32_t worker)
{
    int32_t cell = vertex.grid_cell;
    return !cell_in_grid(grid, cell) || grid->cells[cell].mark[worker] != 0;
}

// Per worker: on which side of the face's plane each vertex lies (kBehind, kInFront, or neither
// when on it). The storage grows with the largest mesh seen and is kept.
constexpr uint8_t kBehind = 1, kInFront = 2;
std::vector<uint8_t> g_vertex_sides[kPhysicsWorkers];

// The mesh body's edge pass for one face (the face is in front of the body's centre).
int32_t mesh_body_face(PhysicsWorld *world, int32_t worker, int32_t i, const StaticFace &f, int32_t mode)
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
    if (body->shape_tree && !collide_tree_box_straddles_face(world, i, body->shape_tree, f)) return 0;
    const MeshObject *mesh = body->collision_mesh;
    if (!mesh || !mesh->edge_table) return 0;
    PointGrid *grid = body->point_grid;
    if (grid) {
        for (int32_t z = 0; z < grid->nz && z < 4; z++)
            for (int32_t y = 0; y < grid->ny && y < 4; y++)
                for (int32_t x = 0; x < grid->nx && x < 4; x++) {
                    PointGridCell *cell = &grid->cells[x + 4 * y + 16 * z];
                    cell->mark[worker] = fabsf(static_face_side(f, cell->world_point)) < cell->radius ? 1 : 0;
                }
    }
    // Only an edge whose ends lie on both sides of the plane can give a contact, so that test goes
    // first (the edge routine decides with the sides it computes itself), and the order of the
    // edges (and so of the contacts) is the table's.
    std::vector<uint8_t> &sides = g_vertex_sides[worker];
    const int32_t vertices = mesh->vertex_count;
    if (sides.size() < size_t(vertices)) sides.resize(size_t(vertices));
    uint8_t seen = 0;
    for (int32_t v = 0; v < vertices; v++) {
        const float side = static_face_side(f, mesh->vertices[v].world_position);
        const uint8_t s = side < 0.0f ? kBehind : (side > 0.0f ? kInFront : 0);
        sides[size_t(v)] = s;
        seen |= s;
    }
    if (!(seen & kBehind)) return 0;
    const MeshEdgeTable *table = mesh->edge_table;
    int32_t total = 0;
    for (int32_t e = 0; e < table->count; e++) {
        const uint32_t a = uint32_t(table->records[e].a), b = uint32_t(table->records[e].b);
        if (a >= uint32_t(vertices) || b >= uint32_t(vertices)) continue;  // negative ones too
        if ((sides[a] | sides[b]) != (kBehind | kInFront)) continue;
        if (grid && !vertex_marked(grid, mesh->vertices[a], worker) && !vertex_marked(grid, mesh->vertices[b], worker))
            continue;
        const float *pa = mesh->vertices[a].world_position, *pb = mesh->vertices[b].world_position;
        float lo[3], hi[3];
        for (int k = 0; k < 3; k++) {
            lo[k] = lesser(pa[k], pb[k]);
            hi[k] = greater(pa[k], pb[k]);
        }
        if (!boxes_meet(lo, hi, face_lo, face_hi)) continue;
        total += collide_edge_triangle(world, worker, f, mesh, a, b, mode);
    }
    return total > 0 ? 1 : 0;
}

}  // namespace

bool static_face_load(const MeshObject *mesh, int32_t index, StaticFace *out)
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

int32_t collide_body_static_mesh(PhysicsWorld *world, int32_t i, ColliderSlot *slot, int32_t mode, int32_t worker)
{
    if (i < 0 || i >= world->body_count || i >= kPhysicsMaxBodies || !world->bodies[i]) return 0;
    if (worker < 0 || worker >= kPhysicsWorkers || !slot || !slot->object || !slot->in_use) return 0;
    RigidBody *body = world->bodies[i];
    const MeshObject *mesh = slot->object;
    const FaceBspResult *list = bsp_query_face_tree_sphere(&slot->face_bsp, body->position[0], body->position[1],
                                                           body->position[2], body->radius, worker, slot->matrix);
    if (!list || list->count == 0) return 0;

    int32_t total = 0;
    const int32_t shape = body->shape;
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
            case kShapeMesh: total += mesh_body_face(world, worker, i, f, mode); break;
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
    int front = 0, behind = 0;
    for (const auto &corner : corners) {
        float s = static_face_side(f, corner);
        if (s > 0.0f)
            front++;
        else if (s < 0.0f)
            behind++;
    }
    return front != 8 && behind != 8;
}

int32_t collide_edge_triangle(PhysicsWorld *world, int32_t worker, const StaticFace &f, const MeshObject *mesh,
                              int32_t a, int32_t b, int32_t mode)
{
    const float *pa = mesh->vertices[a].world_position, *pb = mesh->vertices[b].world_position;
    float sa = static_face_side(f, pa), sb = static_face_side(f, pb);
    if (!(sa * sb < 0.0f)) return 0;
    float p[3];
    lerp(p, pa, pb, -sa / (sb - sa));
    if (!inside(f, p, Inside::kClosed)) return 0;
    if (mode == kModeRecord) record(world, worker, f, p, sa >= 0.0f ? -sb : -sa);
    return 1;
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

int32_t physics_hold_in_front(PhysicsWorld *world, RigidBody *body)
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
        float hit_t = 2.0f, hit_from = 0.0f;
        float near_short = 0.0f, near_direction[3] = {0, 0, 0};
        for (int32_t s = 0; s < world->collider_count && s < kPhysicsMaxColliders; s++) {
            ColliderSlot *slot = &world->colliders[s];
            if (!slot->object || !slot->in_use) continue;
            const FaceBspResult *list = bsp_query_face_tree_sphere(&slot->face_bsp, mid[0], mid[1], mid[2],
                                                                   0.5f * length + keep, 0, slot->matrix);
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
            // the radius) and the velocity into it; the motion along the face stays.
            const float back = -static_face_side(hit, to) + (hit_from < body->radius ? hit_from : body->radius);
            for (int k = 0; k < 3; k++) body->position[k] += hit.normal[k] * back;
            const float into = vec3_dot(body->velocity, hit.normal);
            if (into < 0.0f)
                for (int k = 0; k < 3; k++) body->velocity[k] -= hit.normal[k] * into;
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
