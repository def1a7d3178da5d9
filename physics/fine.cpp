// The fine tree test of two mesh bodies: near faces of each mesh, then their edges cut against the
// other mesh's triangles in both directions.
#include "physics/physics_local.h"

namespace {

bool face_corners(const MeshObject *mesh, const MeshFace *face, const float *out[3])
{
    for (int k = 0; k < 3; k++) {
        int32_t v = face->v[k];
        if (v < 0 || v >= mesh->vertex_count) return false;
        out[k] = mesh->vertices[v].world_position;
    }
    return true;
}

bool cell_usable(const PointGrid *grid, int32_t cell)
{
    if (cell < 0 || cell >= 64) return false;
    return (cell & 3) < grid->nx && ((cell >> 2) & 3) < grid->ny && (cell >> 4) < grid->nz && grid->nx <= 4 &&
           grid->ny <= 4 && grid->nz <= 4;
}

template <class Visit>
void each_cell(PointGrid *grid, Visit visit)
{
    for (int32_t x = 0; x < grid->nx && x < 4; x++)
        for (int32_t y = 0; y < grid->ny && y < 4; y++)
            for (int32_t z = 0; z < grid->nz && z < 4; z++) visit(&grid->cells[x + 4 * y + 16 * z]);
}

float distance(const float *a, const float *b)
{
    float d[3];
    return vec3_length(vec3_sub(d, a, b));
}

// Marks the faces of `own`'s mesh near `other` for this worker.
void mark_faces(const PhysicsWorld *world, const RigidBody *own, const RigidBody *other, int32_t worker)
{
    MeshObject *mesh = own->collision_mesh;
    const PointGrid *grid = own->point_grid;
    const float *p = physics_body_position(world, other);
    for (int32_t f = 0; f < mesh->face_count; f++) {
        MeshFace *face = &mesh->faces[f];
        face->mark[worker] = 0;
        if (grid) {
            bool near_cell = false;
            for (int k = 0; k < 3 && !near_cell; k++) {
                int32_t v = face->v[k];
                if (v < 0 || v >= mesh->vertex_count) continue;
                int32_t cell = mesh->vertices[v].grid_cell;
                // An unusable cell index gives no verdict: the face stays a candidate.
                near_cell = !cell_usable(grid, cell) || grid->cells[cell].mark[worker];
            }
            if (!near_cell) continue;
        }
        if (distance(face->centre, p) < face->radius + other->radius) face->mark[worker] = 1;
    }
}

int32_t face_edges_face(PhysicsWorld *world, const MeshObject *mesh_a, const MeshFace *a, const MeshObject *mesh_b,
                        const MeshFace *b, int32_t j, float sign, int32_t mode, int32_t worker)
{
    const float *V[3], *A[3];
    if (!face_corners(mesh_b, b, V) || !face_corners(mesh_a, a, A)) return 0;
    const float *n = b->world_normal;
    float s[3], base = vec3_dot(n, V[0]);
    for (int k = 0; k < 3; k++) s[k] = vec3_dot(n, A[k]) - base;
    if ((s[0] > 0 && s[1] > 0 && s[2] > 0) || (s[0] < 0 && s[1] < 0 && s[2] < 0)) return 0;
    int32_t result = 0;
    for (int e = 0; e < 3; e++) {
        if (a->edge_flags[e] == 0) continue;
        int k0 = e, k1 = (e + 1) % 3;
        if (!(s[k0] * s[k1] < 0.0f)) continue;
        float t = -s[k0] / (s[k1] - s[k0]), P[3];
        for (int c = 0; c < 3; c++) P[c] = A[k0][c] + t * (A[k1][c] - A[k0][c]);
        bool inside = true;
        for (int v = 0; v < 3 && inside; v++) {
            float pv[3], edge[3], c[3];
            vec3_sub(pv, P, V[v]);
            vec3_sub(edge, V[(v + 1) % 3], V[v]);
            inside = vec3_dot(vec3_cross(c, pv, edge), n) >= 0.0f;
        }
        if (!inside) continue;
        if (mode == kModeRecord) {
            float normal[3];
            vec3_scale(normal, n, sign);
            physics_record_contact(world, worker, normal, P, kContactBody, j, 0.0f);
        }
        result = 1;
    }
    return result;
}

}  // namespace

int32_t collide_face_edges_face(PhysicsWorld *world, const MeshObject *mesh_a, const MeshFace *a,
                                const MeshObject *mesh_b, const MeshFace *b, int32_t j, int32_t mode, int32_t worker)
{
    return face_edges_face(world, mesh_a, a, mesh_b, b, j, 1.0f, mode, worker);
}

int32_t collide_face_edges_face_flipped(PhysicsWorld *world, const MeshObject *mesh_a, const MeshFace *a,
                                        const MeshObject *mesh_b, const MeshFace *b, int32_t j, int32_t mode,
                                        int32_t worker)
{
    return face_edges_face(world, mesh_a, a, mesh_b, b, j, -1.0f, mode, worker);
}

int32_t collide_tree_fine(PhysicsWorld *world, int32_t i, int32_t j, int32_t mode, int32_t worker)
{
    if (worker < 0 || worker >= kPhysicsWorkers) return 0;
    RigidBody *bi = world->bodies[i], *bj = world->bodies[j];
    MeshObject *mi = bi->collision_mesh, *mj = bj->collision_mesh;
    if (!mi || !mj) return 0;
    PointGrid *gi = bi->point_grid, *gj = bj->point_grid;
    if (gi && gj) {
        for (PointGridCell &c : gi->cells) c.mark[worker] = 0;
        for (PointGridCell &c : gj->cells) c.mark[worker] = 0;
        each_cell(gi, [&](PointGridCell *a) {
            each_cell(gj, [&](PointGridCell *b) {
                if (distance(a->world_point, b->world_point) < 2.0f * b->radius) a->mark[worker] = b->mark[worker] = 1;
            });
        });
    } else {
        const float *pj = physics_body_position(world, bj), *pi = physics_body_position(world, bi);
        if (gi)
            each_cell(gi, [&](PointGridCell *c) {
                c->mark[worker] = distance(pj, c->world_point) < 2.0f * bj->radius ? 1 : 0;
            });
        if (gj)
            each_cell(gj, [&](PointGridCell *c) {
                c->mark[worker] = distance(pi, c->world_point) < 2.0f * bi->radius ? 1 : 0;
            });
    }
    mark_faces(world, bi, bj, worker);
    mark_faces(world, bj, bi, worker);
    int32_t result = 0;
    for (int32_t fa = 0; fa < mi->face_count; fa++) {
        const MeshFace *a = &mi->faces[fa];
        if (!a->mark[worker]) continue;
        for (int32_t fb = 0; fb < mj->face_count; fb++) {
            const MeshFace *b = &mj->faces[fb];
            if (!b->mark[worker]) continue;
            result |= collide_face_edges_face(world, mi, a, mj, b, j, mode, worker);
            result |= collide_face_edges_face_flipped(world, mj, b, mi, a, j, mode, worker);
        }
    }
    return result;
}
