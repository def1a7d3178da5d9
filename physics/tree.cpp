// Shape-tree recursions: two node boxes against each other, and the walks of one or two trees
// against trees, boxes, spheres and sphere trees.
#include "physics/physics_local.h"

namespace {

// The node-box description of these recursions: corners by their signs along (axis 0, axis 1,
// axis 2), faces with their outward normal and corners q0..q3, and the twelve edges.
const float kCornerSigns[8][3] = {{-1, 1, 1}, {1, 1, 1},  {1, 1, -1},  {-1, 1, -1},
                                  {-1, -1, 1}, {1, -1, 1}, {1, -1, -1}, {-1, -1, -1}};
const int kFaceAxis[6] = {1, 0, 1, 0, 2, 2};
const float kFaceSign[6] = {1, 1, -1, -1, -1, 1};
const int kFaceCorners[6][4] = {{0, 1, 2, 3}, {2, 1, 5, 6}, {6, 5, 4, 7}, {7, 4, 0, 3}, {2, 6, 7, 3}, {5, 1, 0, 4}};
const int kEdges[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                           {6, 7}, {7, 4}, {4, 0}, {5, 1}, {6, 2}, {7, 3}};

struct NodeBox {
    float corner[8][3];
    float normal[6][3];
};

void node_box(NodeBox *box, const RigidBody *body, const ShapeTreeNode *node)
{
    float h[3];
    for (int k = 0; k < 3; k++) h[k] = node->half_sizes[k] + g_physics_contact_margin;
    for (int c = 0; c < 8; c++) {
        float p[3];
        for (int k = 0; k < 3; k++)
            p[k] = node->centre[k] + kCornerSigns[c][0] * h[0] * node->axes[0][k] +
                   kCornerSigns[c][1] * h[1] * node->axes[1][k] + kCornerSigns[c][2] * h[2] * node->axes[2][k];
        mat4_transform_point(box->corner[c], body->world_matrix, p);
    }
    for (int f = 0; f < 6; f++) {
        float axis[3];
        vec3_scale(axis, node->axes[kFaceAxis[f]], kFaceSign[f]);
        mat4_transform_vector(box->normal[f], body->rotation_matrix, axis);
    }
}

// Distances of `points`' corners to the face planes of `planes` (through q3); true when all eight
// lie beyond one face.
bool apart(const NodeBox &points, const NodeBox &planes, float dist[6][8])
{
    bool separated = false;
    for (int f = 0; f < 6; f++) {
        const float *n = planes.normal[f];
        float e = vec3_dot(n, planes.corner[kFaceCorners[f][3]]);
        bool beyond = true;
        for (int c = 0; c < 8; c++) {
            dist[f][c] = vec3_dot(n, points.corner[c]) - e;
            if (!(dist[f][c] > 0.0f)) beyond = false;
        }
        if (beyond) separated = true;
    }
    return separated;
}

// Edges of `cut` crossing a face of `planes` inside it; each is a contact with the face's normal
// times `sign`.
int32_t edges_in_faces(PhysicsWorld *world, int32_t worker, const NodeBox &cut, const NodeBox &planes,
                       const float dist[6][8], float sign, int32_t other, int32_t mode)
{
    static const int kFaceEdges[4][2] = {{3, 2}, {2, 1}, {1, 0}, {0, 3}};
    int32_t found = 0;
    for (int f = 0; f < 6; f++) {
        const float *n = planes.normal[f];
        for (const auto &e : kEdges) {
            float s0 = dist[f][e[0]], s1 = dist[f][e[1]];
            if (!(s0 * s1 < 0.0f)) continue;
            float t = -s0 / (s1 - s0), p[3];
            for (int k = 0; k < 3; k++) p[k] = cut.corner[e[0]][k] + (cut.corner[e[1]][k] - cut.corner[e[0]][k]) * t;
            bool inside = true;
            for (const auto &fe : kFaceEdges) {
                const float *s = planes.corner[kFaceCorners[f][fe[0]]], *u = planes.corner[kFaceCorners[f][fe[1]]];
                float ps[3], us[3], c[3];
                vec3_sub(ps, p, s);
                vec3_sub(us, u, s);
                if (!(vec3_dot(vec3_cross(c, ps, us), n) >= 0.0f)) {
                    inside = false;
                    break;
                }
            }
            if (!inside) continue;
            if (mode == kModeRecord) {
                float normal[3];
                vec3_scale(normal, n, sign);
                physics_record_contact(world, worker, normal, p, kContactBody, other, 0.0f);
            }
            found = 1;
        }
    }
    return found;
}

// Turns the contacts appended since `from` into body i's: normals negated, other = j.
void reverse_contacts(PhysicsWorld *world, int32_t worker, int32_t from, int32_t j)
{
    ContactBuffer &buffer = world->contact_buffers[worker];
    for (int32_t c = from; c < buffer.count; c++) {
        for (int k = 0; k < 3; k++) buffer.normal[c][k] *= -1.0f;
        buffer.other[c] = j;
    }
}

int32_t contact_count(const PhysicsWorld *world, int32_t worker)
{
    return worker >= 0 && worker < kPhysicsWorkers ? world->contact_buffers[worker].count : 0;
}

// The world centre and radius of ball k of body b's sphere tree; false when k names no node.
const SphereTreeNode *ball_of(const RigidBody *body, int32_t k, float *centre)
{
    const SphereTree *tree = body->sphere_tree;
    if (!tree || !tree->nodes || k < 0 || k >= tree->count) return nullptr;
    const SphereTreeNode *node = &tree->nodes[k];
    mat4_transform_point(centre, body->world_matrix, node->centre);
    return node;
}

// A child index of ball k that may be visited: present and before k (the root is last).
bool child_ok(int32_t child, int32_t k) { return child != -1 && child >= 0 && child < k; }

int32_t collide_node_balltree(PhysicsWorld *world, int32_t t, int32_t s, const ShapeTreeNode *node, int32_t k,
                      int32_t mode, int32_t worker);

// Ball k's children against the node (ball k's own test already passed).
int32_t ball_children(PhysicsWorld *world, int32_t t, int32_t s, const ShapeTreeNode *node, int32_t k,
                      const SphereTreeNode *ball, int32_t mode, int32_t worker)
{
    int32_t any = 0;
    for (uint16_t raw : ball->children) {
        int32_t child = int16_t(raw);
        if (child_ok(child, k) && collide_node_balltree(world, t, s, node, child, mode, worker)) any = 1;
    }
    return any;
}

int32_t collide_node_balltree(PhysicsWorld *world, int32_t t, int32_t s, const ShapeTreeNode *node, int32_t k,
                      int32_t mode, int32_t worker)
{
    float c[3];
    const SphereTreeNode *ball = ball_of(world->bodies[s], k, c);
    if (!ball || !node) return 0;
    if (ball->level == 1) return collide_node_ball(world, t, s, node, c, ball->radius, ball->radius, mode, worker);
    if (collide_node_ball(world, t, s, node, c, ball->radius, ball->radius, kModeTest, worker) != 1) return 0;
    return ball_children(world, t, s, node, k, ball, mode, worker);
}

int32_t collide_chain_balltree(PhysicsWorld *world, int32_t t, int32_t s, const ShapeTreeNode *node, int32_t k,
                       int32_t mode, int32_t worker)
{
    if (collide_node_balltree(world, t, s, node, k, kModeTest, worker) != 1) return 0;
    float c[3];
    const SphereTreeNode *ball = ball_of(world->bodies[s], k, c);
    if (!ball) return 0;
    int32_t any = 0;
    for (const ShapeTreeNode *n = node->first; n; n = n->first) {
        if (ball->level == 1) {
            if (collide_node_ball(world, t, s, n, c, ball->radius, ball->radius, mode, worker)) any = 1;
        } else if (collide_node_ball(world, t, s, n, c, ball->radius, ball->radius, kModeTest, worker) == 1) {
            if (ball_children(world, t, s, n, k, ball, mode, worker)) any = 1;
        }
        if (n->type == 2) break;
    }
    return any;
}

int32_t collide_subtree_balltree(PhysicsWorld *world, int32_t t, int32_t s, const ShapeTreeNode *node, int32_t k,
                         int32_t mode, int32_t worker)
{
    if (!node) return 0;
    if (node->type == 2) return collide_node_balltree(world, t, s, node, k, mode, worker);
    if (collide_node_balltree(world, t, s, node, k, kModeTest, worker) != 1) return 0;
    int32_t a = collide_subtree_balltree(world, t, s, node->first, k, mode, worker);
    int32_t b = collide_subtree_balltree(world, t, s, node->second, k, mode, worker);
    return a | b;
}

int32_t tree_balltree_dispatch(PhysicsWorld *world, int32_t t, int32_t s, const ShapeTreeNode *node, int32_t k,
                               int32_t mode, int32_t worker)
{
    if (!node) return 0;
    switch (node->type) {
    case 2:
        return collide_node_balltree(world, t, s, node, k, mode, worker);
    case 4:
        return collide_chain_balltree(world, t, s, node, k, mode, worker);
    case 1:
        return collide_subtree_balltree(world, t, s, node, k, mode, worker);
    default:
        return 0;
    }
}

// The walk of one tree against a box or sphere body: `leaf` is collide_node_box or
// collide_node_sphere with (tree body t, other body o); `reverse` turns recorded contacts into
// body o's (o being the caller's i, the tree j).
typedef int32_t (*LeafTest)(PhysicsWorld *, int32_t, int32_t, const ShapeTreeNode *, int32_t, int32_t);

int32_t walk(PhysicsWorld *world, int32_t t, int32_t o, const ShapeTreeNode *node, LeafTest leaf, int32_t mode,
             int32_t worker, bool reverse)
{
    if (!node) return 0;
    auto recorded = [&](const ShapeTreeNode *n) {
        int32_t from = contact_count(world, worker);
        int32_t r = leaf(world, t, o, n, mode, worker);
        if (reverse && r && mode == kModeRecord) reverse_contacts(world, worker, from, t);
        return r;
    };
    switch (node->type) {
    case 2:
        return recorded(node);
    case 3: {
        int32_t a = recorded(node);
        int32_t b = walk(world, t, o, node->first, leaf, mode, worker, reverse);
        return a | b;
    }
    case 4:
        if (leaf(world, t, o, node, kModeTest, worker) != 1) return 0;
        return walk(world, t, o, node->first, leaf, mode, worker, reverse);
    default: {
        if (leaf(world, t, o, node, kModeTest, worker) != 1) return 0;
        int32_t a = walk(world, t, o, node->first, leaf, mode, worker, reverse);
        int32_t b = walk(world, t, o, node->second, leaf, mode, worker, reverse);
        return a | b;
    }
    }
}

}  // namespace

int32_t collide_node_node(PhysicsWorld *world, int32_t i, const ShapeTreeNode *a, int32_t j, const ShapeTreeNode *b,
                          int32_t mode, int32_t worker)
{
    if (!a || !b) return 0;
    NodeBox box_a, box_b;
    node_box(&box_a, world->bodies[i], a);
    node_box(&box_b, world->bodies[j], b);
    float a_to_b[6][8], b_to_a[6][8];
    bool apart_b = apart(box_a, box_b, a_to_b);
    bool apart_a = apart(box_b, box_a, b_to_a);
    if (apart_b || apart_a) return 0;
    int32_t first = edges_in_faces(world, worker, box_a, box_b, a_to_b, 1.0f, j, mode);
    int32_t second = edges_in_faces(world, worker, box_b, box_a, b_to_a, -1.0f, j, mode);
    return first | second;
}

int32_t collide_node_pair(PhysicsWorld *world, int32_t i, int32_t j, const ShapeTreeNode *a, const ShapeTreeNode *b,
                          int32_t depth, int32_t mode, int32_t worker)
{
    if (!a || !b) return 0;
    if (a->type == 2 && b->type == 2) return collide_node_node(world, i, a, j, b, mode, worker);
    if (collide_node_node(world, i, a, j, b, kModeTest, worker) != 1) return 0;
    bool split_a = depth % 2 == 0 ? a->type != 2 : b->type == 2;
    int32_t r1, r2;
    if (split_a) {
        r1 = collide_node_pair(world, i, j, a->first, b, depth + 1, mode, worker);
        r2 = collide_node_pair(world, i, j, a->second, b, depth + 1, mode, worker);
    } else {
        r1 = collide_node_pair(world, i, j, a, b->first, depth + 1, mode, worker);
        r2 = collide_node_pair(world, i, j, a, b->second, depth + 1, mode, worker);
    }
    return r1 | r2;
}

int32_t collide_chain_node(PhysicsWorld *world, int32_t i, int32_t j, const ShapeTreeNode *a, const ShapeTreeNode *b,
                           int32_t mode, int32_t worker)
{
    if (!a || !b) return 0;
    if (b->type == 1) {
        if (collide_node_node(world, i, a, j, b, kModeTest, worker) != 1) return 0;
        int32_t r1 = collide_chain_node(world, i, j, a, b->first, mode, worker);
        int32_t r2 = collide_chain_node(world, i, j, a, b->second, mode, worker);
        return r1 | r2;
    }
    if (b->type != 2) return 0;
    for (const ShapeTreeNode *c = a->first; c; c = c->first) {
        if (collide_node_node(world, i, c, j, b, mode, worker)) return 1;
        if (c->type == 2) break;
    }
    return 0;
}

int32_t collide_node_chain(PhysicsWorld *world, int32_t i, int32_t j, const ShapeTreeNode *a, const ShapeTreeNode *b,
                           int32_t mode, int32_t worker)
{
    if (!a || !b) return 0;
    if (a->type == 1) {
        if (collide_node_node(world, i, a, j, b, kModeTest, worker) != 1) return 0;
        int32_t r1 = collide_node_chain(world, i, j, a->first, b, mode, worker);
        int32_t r2 = collide_node_chain(world, i, j, a->second, b, mode, worker);
        return r1 | r2;
    }
    if (a->type != 2) return 0;
    for (const ShapeTreeNode *c = b->first; c; c = c->first) {
        if (collide_node_node(world, i, a, j, c, mode, worker)) return 1;
        if (c->type == 2) break;
    }
    return 0;
}

int32_t collide_chain_chain(PhysicsWorld *world, int32_t i, int32_t j, const ShapeTreeNode *a,
                            const ShapeTreeNode *b, int32_t mode, int32_t worker)
{
    if (!a || !b) return 0;
    if (collide_node_node(world, i, a, j, b, kModeTest, worker) != 1) return 0;
    for (const ShapeTreeNode *ca = a->first; ca; ca = ca->first) {
        for (const ShapeTreeNode *cb = b->first; cb; cb = cb->first) {
            if (collide_node_node(world, i, ca, j, cb, mode, worker)) return 1;
            if (cb->type == 2) break;
        }
        if (ca->type == 2) break;
    }
    return 0;
}

int32_t collide_tree_tree(PhysicsWorld *world, int32_t i, int32_t j, const ShapeTreeNode *a, const ShapeTreeNode *b,
                          int32_t mode, int32_t worker)
{
    if (!a || !b) return 0;
    const int ta = a->type, tb = b->type;
    if (ta == 2 && tb == 2) return collide_node_node(world, i, a, j, b, mode, worker);
    if (ta == 4 && (tb == 1 || tb == 2)) return collide_chain_node(world, i, j, a, b, mode, worker);
    if ((ta == 1 || ta == 2) && tb == 4) return collide_node_chain(world, i, j, a, b, mode, worker);
    if ((ta == 1 && (tb == 1 || tb == 2)) || (ta == 2 && tb == 1))
        return collide_node_pair(world, i, j, a, b, 0, mode, worker);
    if (ta == 4 && tb == 4) return collide_chain_chain(world, i, j, a, b, mode, worker);
    return 0;
}

int32_t collide_tree_box(PhysicsWorld *world, int32_t i, int32_t j, const ShapeTreeNode *node, int32_t mode,
                         int32_t worker)
{
    return walk(world, i, j, node, collide_node_box, mode, worker, false);
}

int32_t collide_box_tree(PhysicsWorld *world, int32_t i, int32_t j, const ShapeTreeNode *node, int32_t mode,
                         int32_t worker)
{
    return walk(world, j, i, node, collide_node_box, mode, worker, true);
}

int32_t collide_tree_sphere(PhysicsWorld *world, int32_t i, int32_t j, const ShapeTreeNode *node, int32_t mode,
                            int32_t worker)
{
    return walk(world, i, j, node, collide_node_sphere, mode, worker, false);
}

int32_t collide_sphere_tree(PhysicsWorld *world, int32_t i, int32_t j, const ShapeTreeNode *node, int32_t mode,
                            int32_t worker)
{
    return walk(world, j, i, node, collide_node_sphere, mode, worker, true);
}

int32_t collide_tree_balltree(PhysicsWorld *world, int32_t i, int32_t j, const ShapeTreeNode *node, int32_t k,
                              int32_t mode, int32_t worker)
{
    return tree_balltree_dispatch(world, i, j, node, k, mode, worker);
}

int32_t collide_balltree_tree(PhysicsWorld *world, int32_t i, int32_t j, int32_t k, const ShapeTreeNode *node,
                              int32_t mode, int32_t worker)
{
    int32_t from = contact_count(world, worker);
    int32_t result = tree_balltree_dispatch(world, j, i, node, k, mode, worker);
    if (result == 1 && mode == kModeRecord) reverse_contacts(world, worker, from, j);
    return result;
}
