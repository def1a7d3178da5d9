// Mesh records and their basic operations: construction, builders (closed, outward), normals,
// transforms, the edge table, the point grid and the release of everything a mesh owns.
#include "geometry/mesh.h"
#include "geometry/vecmath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <tuple>

namespace {

typedef std::tuple<float, float, float> Key;

Key key_of(const float *p) { return Key(p[0], p[1], p[2]); }

// Every undirected edge (vertices merged by position) is used by exactly two faces, once in each
// direction: the mesh is closed and consistently wound.
void expect_closed(const MeshObject *mesh)
{
    std::map<Key, int> ids;
    std::map<std::pair<int, int>, int> directed;
    for (int32_t f = 0; f < mesh->face_count; f++) {
        int id[3];
        for (int k = 0; k < 3; k++) {
            Key key = key_of(mesh->vertices[mesh->faces[f].v[k]].position);
            auto found = ids.emplace(key, int(ids.size()));
            id[k] = found.first->second;
        }
        for (int k = 0; k < 3; k++) {
            if (id[k] == id[(k + 1) % 3]) continue;  // a pole's collapsed edge
            directed[{id[k], id[(k + 1) % 3]}]++;
        }
    }
    for (const auto &[edge, count] : directed) {
        EXPECT_EQ(count, 1) << "edge " << edge.first << "-" << edge.second << " used twice in one direction";
        auto back = directed.find({edge.second, edge.first});
        EXPECT_TRUE(back != directed.end()) << "open edge " << edge.first << "-" << edge.second;
    }
}

// Every face normal is a unit vector pointing away from the given centre.
void expect_outward(const MeshObject *mesh, const float *centre)
{
    for (int32_t f = 0; f < mesh->face_count; f++) {
        const MeshFace &face = mesh->faces[f];
        float c[3] = {0, 0, 0};
        for (int k = 0; k < 3; k++)
            for (int i = 0; i < 3; i++) c[i] += mesh->vertices[face.v[k]].position[i] / 3.0f;
        float out[3];
        vec3_sub(out, c, centre);
        EXPECT_NEAR(vec3_length(face.normal), 1.0f, 1e-5f) << "face " << f;
        EXPECT_GT(vec3_dot(face.normal, out), 0.0f) << "face " << f;
    }
}

TEST(Mesh, ConstructGivesIdentityAndAnInitialisedBody)
{
    MeshObject *mesh = mesh_new();
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->matrix[0], 1.0f);
    EXPECT_EQ(mesh->matrix[15], 1.0f);
    EXPECT_EQ(mesh->rotation_matrix[5], 1.0f);
    EXPECT_EQ(mesh->vertex_count, 0);
    EXPECT_EQ(mesh->vertices, nullptr);
    EXPECT_LT(mesh->bounding_radius, 0.0f);
    EXPECT_EQ(mesh->body.environment, 1);
    EXPECT_EQ(mesh->body.fine_tree_test, 0);
    EXPECT_EQ(mesh->body.sphere_tree, nullptr);
    EXPECT_EQ(mesh->body.world_matrix[10], 1.0f);
    EXPECT_EQ(mesh->body.inverse_inertia[0], 1.0f);
    EXPECT_EQ(mesh->body.quaternion[0], 1.0f);
    EXPECT_EQ(mesh->body.saved_quaternion[0], 1.0f);
    EXPECT_EQ(mesh->body.mass, 0.0f);
    mesh_delete(mesh);
}

TEST(Mesh, BoxIsClosedOutwardWithDiagonalCornerNormals)
{
    MeshObject *mesh = mesh_new();
    ASSERT_EQ(mesh_build_box(mesh, 2, 4, 6), 1);
    EXPECT_EQ(mesh->vertex_count, 8);
    EXPECT_EQ(mesh->face_count, 12);
    const float origin[3] = {0, 0, 0};
    expect_closed(mesh);
    expect_outward(mesh, origin);
    for (int32_t i = 0; i < 8; i++) {
        const MeshVertex &v = mesh->vertices[i];
        for (int k = 0; k < 3; k++) {
            EXPECT_NEAR(fabsf(v.position[k]), float(k + 1), 1e-6f);
            // Angle weighting gives each side a quarter turn: the corner diagonal.
            EXPECT_NEAR(v.normal[k], copysignf(1.0f / sqrtf(3.0f), v.position[k]), 1e-5f);
        }
    }
    for (int32_t f = 0; f < 12; f++)
        for (int k = 0; k < 3; k++) EXPECT_EQ(mesh->faces[f].corner[k], &mesh->vertices[mesh->faces[f].v[k]]);
    // Rebuilding replaces the arrays (no leak under the sanitizer).
    ASSERT_EQ(mesh_build_box(mesh, 1, 1, 1), 1);
    EXPECT_EQ(mesh->face_count, 12);
    mesh_delete(mesh);
}

TEST(Mesh, SpheresAndBallAreClosedOutwardAndRound)
{
    const float origin[3] = {0, 0, 0};
    MeshObject *ball = mesh_build_ball();
    ASSERT_NE(ball, nullptr);
    EXPECT_EQ(ball->vertex_count, 257);
    EXPECT_EQ(ball->face_count, 480);
    EXPECT_NEAR(mesh_radius(ball), 0.1f, 1e-6f);
    for (int32_t i = 0; i < ball->vertex_count; i++) {
        EXPECT_NEAR(vec3_length(ball->vertices[i].position), 0.1f, 1e-6f);
        EXPECT_GT(vec3_dot(ball->vertices[i].normal, ball->vertices[i].position), 0.0f);
    }
    expect_closed(ball);
    expect_outward(ball, origin);
    mesh_delete(ball);

    for (int detail : {1, 4, 7}) {
        MeshObject *sphere = mesh_build_sphere(0.1f, detail);
        ASSERT_NE(sphere, nullptr);
        EXPECT_EQ(sphere->face_count, 2 * (4 * detail) * (2 * detail - 1));
        expect_closed(sphere);
        expect_outward(sphere, origin);
        mesh_delete(sphere);
    }
}

TEST(Mesh, DegenerateFacesGetZeroNormals)
{
    MeshObject *mesh = mesh_new();
    ASSERT_EQ(mesh_alloc_arrays(mesh, 4), 1);
    EXPECT_EQ(mesh->vertex_capacity, 4);
    EXPECT_EQ(mesh->face_capacity, 8);
    mesh->vertex_count = 4;
    vec3_set(mesh->vertices[0].position, 0, 0, 0);
    vec3_set(mesh->vertices[1].position, 1, 0, 0);
    vec3_set(mesh->vertices[2].position, 2, 0, 0);  // collinear with 0 and 1
    vec3_set(mesh->vertices[3].position, 0, 1, 0);
    mesh->face_count = 3;
    const int32_t faces[3][3] = {{0, 1, 2}, {0, 0, 0}, {0, 3, 1}};
    for (int f = 0; f < 3; f++)
        for (int k = 0; k < 3; k++) mesh->faces[f].v[k] = faces[f][k];
    EXPECT_EQ(mesh_link_face_vertices(mesh), 1);
    mesh_compute_normals(mesh);
    for (int f = 0; f < 2; f++)
        for (int k = 0; k < 3; k++) EXPECT_EQ(mesh->faces[f].normal[k], 0.0f);
    // The engine's normal: (p2 - p0) x (p1 - p0); (0,0,0), (0,1,0), (1,0,0) gives +z.
    EXPECT_EQ(mesh->faces[2].normal[2], 1.0f);
    EXPECT_EQ(mesh->vertices[2].normal[0], 0.0f);  // only on degenerate faces: stays zero
    EXPECT_EQ(mesh->vertices[0].normal[2], 1.0f);
    // A bad index unlinks the corner and is reported.
    mesh->faces[1].v[2] = 9;
    EXPECT_EQ(mesh_link_face_vertices(mesh), 0);
    EXPECT_EQ(mesh->faces[1].corner[2], nullptr);
    mesh_compute_normals(mesh);
    EXPECT_EQ(mesh->faces[1].normal[0], 0.0f);
    EXPECT_EQ(mesh_alloc_arrays(mesh, -1), 0);
    EXPECT_EQ(mesh->vertices, nullptr);
    mesh_delete(mesh);
}

TEST(Mesh, SetQuadWritesTwoFacesWithinCapacity)
{
    MeshObject *mesh = mesh_new();
    ASSERT_EQ(mesh_alloc_arrays(mesh, 2), 1);  // room for 4 faces
    mesh->vertex_count = 2;
    EXPECT_EQ(mesh_set_quad(mesh, 2, 0, 1, 1, 0), 1);
    EXPECT_EQ(mesh->faces[3].v[1], 1);
    EXPECT_EQ(mesh->faces[3].uv[5], 1.0f);
    EXPECT_EQ(mesh_set_quad(mesh, 3, 0, 1, 1, 0), 0);
    EXPECT_EQ(mesh_set_quad(mesh, -1, 0, 1, 1, 0), 0);
    mesh_delete(mesh);
}

TEST(Mesh, WorldTransformRotatesThenTranslates)
{
    MeshObject *mesh = mesh_new();
    ASSERT_EQ(mesh_build_box(mesh, 2, 2, 2), 1);
    vec3_set(mesh->position, 10, 0, 0);
    vec3_set(mesh->rotation, 0, 0, 90);
    mesh_update_world_transform(mesh);
    // Vertex 1 is (1, -1, -1): turned about z to (1, 1, -1), then moved by 10 on x.
    const float *w = mesh->vertices[1].world_position;
    EXPECT_NEAR(w[0], 11.0f, 1e-5f);
    EXPECT_NEAR(w[1], 1.0f, 1e-5f);
    EXPECT_NEAR(w[2], -1.0f, 1e-5f);
    EXPECT_EQ(mesh->matrix[12], 10.0f);
    EXPECT_EQ(mesh->rotation_matrix[12], 0.0f);
    for (int32_t f = 0; f < mesh->face_count; f++) {
        float expected[3];
        mat4_transform_vector(expected, mesh->rotation_matrix, mesh->faces[f].normal);
        for (int k = 0; k < 3; k++) EXPECT_NEAR(mesh->faces[f].world_normal[k], expected[k], 1e-6f);
    }

    float scale[16], identity[16];
    mat4_scale(mat4_identity(scale), 2, 2, 2);
    mesh_transform_by_matrices(mesh, scale, mat4_identity(identity));
    EXPECT_EQ(mesh->vertices[1].world_position[0], 2.0f);
    EXPECT_EQ(mesh->vertices[1].world_normal[0], mesh->vertices[1].normal[0]);
    mesh_delete(mesh);
}

TEST(Mesh, CentreAndRadius)
{
    MeshObject *mesh = mesh_new();
    EXPECT_EQ(mesh_radius(mesh), 0.0f);
    EXPECT_EQ(mesh_center(mesh)[0], 0.0f);
    ASSERT_EQ(mesh_build_box(mesh, 2, 2, 2), 1);
    for (int32_t i = 0; i < 8; i++) mesh->vertices[i].position[0] += 3.0f;
    float *c = mesh_center(mesh);
    EXPECT_EQ(c, mesh->centre);
    EXPECT_FLOAT_EQ(c[0], 3.0f);
    EXPECT_FLOAT_EQ(c[1], 0.0f);
    EXPECT_FLOAT_EQ(mesh_radius(mesh), sqrtf(16 + 1 + 1));
    mesh_delete(mesh);
}

TEST(Mesh, EdgeTableFindsEitherOrderInAnyRecordWidth)
{
    MeshObject *mesh = mesh_new();
    EXPECT_EQ(mesh_edge_table_find(mesh->edge_table, 0, 1), -1);
    MeshEdgeTable *table = mesh_edge_table_reset(mesh, 3);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(mesh_edge_table_append(table, 0, 1, 0), 0);
    EXPECT_EQ(mesh_edge_table_append(table, 1, 2, 0), 1);
    EXPECT_EQ(mesh_edge_table_append(table, 2, 0, 0), 2);
    EXPECT_EQ(mesh_edge_table_append(table, 3, 0, 0), -1);
    EXPECT_EQ(mesh_edge_table_find(table, 2, 1), 1);
    EXPECT_EQ(mesh_edge_table_find(table, 0, 2), 2);
    EXPECT_EQ(mesh_edge_table_find(table, 1, 1), -1);
    // A second reset releases the first table.
    ASSERT_NE(mesh_edge_table_reset(mesh, 6), nullptr);
    EXPECT_EQ(mesh->edge_table->count, 0);

    // The shadow builder's records: a, b, 0, face a->b, face b->a.
    const int32_t five[3][5] = {{4, 7, 0, 1, 2}, {7, 9, 0, 3, -1}, {9, 4, 0, 0, 5}};
    EXPECT_EQ(mesh_edge_table_find(&five[0][0], 3, 5, 9, 7), 1);
    EXPECT_EQ(mesh_edge_table_find(&five[0][0], 3, 5, 4, 9), 2);
    EXPECT_EQ(mesh_edge_table_find(&five[0][0], 3, 5, 0, 1), -1);  // later words are not vertices
    EXPECT_EQ(mesh_edge_table_find(&five[0][0], 3, 1, 4, 7), -1);
    mesh_delete(mesh);
}

TEST(Mesh, CellGridExtentsClampAndEveryVertexFitsItsCell)
{
    MeshObject *ball = mesh_build_ball();
    PointGrid *grid = mesh_build_cell_grid(ball);
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->nx, 4);
    EXPECT_EQ(grid->ny, 4);
    EXPECT_EQ(grid->nz, 4);
    // Cell (x, y, z) at the centre of its share of the box.
    EXPECT_NEAR(grid->cells[0].point[0], -0.1f + 0.025f, 1e-6f);
    EXPECT_NEAR(grid->cells[3 + 4 * 2 + 16].point[1], -0.1f + 2.5f * 0.05f, 1e-6f);
    for (int32_t i = 0; i < ball->vertex_count; i++) {
        const MeshVertex &v = ball->vertices[i];
        ASSERT_GE(v.grid_cell, 0);
        ASSERT_LT(v.grid_cell, 64);
        const PointGridCell &cell = grid->cells[v.grid_cell];
        EXPECT_EQ(cell.in_use, 1);
        float d[3];
        EXPECT_LE(vec3_length(vec3_sub(d, v.position, cell.point)), cell.radius + 1e-6f);
    }
    ball->body.point_grid = grid;
    mesh_delete(ball);

    // A flat, long box: 4 along x, 1 along the flat side, 2 along the half-length side.
    MeshObject *slab = mesh_new();
    ASSERT_EQ(mesh_build_box(slab, 8, 0, 4), 1);
    grid = mesh_build_cell_grid(slab);
    EXPECT_EQ(grid->nx, 4);
    EXPECT_EQ(grid->ny, 1);
    EXPECT_EQ(grid->nz, 2);
    EXPECT_EQ(grid->cells[4].in_use, 0);  // y = 1 is outside the extents
    // Vertex cells stay within the extents: x = (coordinate + 4) x 3 / 8, z = (coordinate + 2) / 4.
    EXPECT_EQ(slab->vertices[0].grid_cell, 0);
    EXPECT_EQ(slab->vertices[7].grid_cell, 3 + 16 * 1);
    delete grid;

    // All vertices at one point: one cell, no NaN.
    ASSERT_EQ(mesh_build_box(slab, 0, 0, 0), 1);
    grid = mesh_build_cell_grid(slab);
    EXPECT_EQ(grid->nx + grid->ny + grid->nz, 3);
    EXPECT_EQ(grid->cells[0].radius, 0.0f);
    EXPECT_EQ(slab->vertices[7].grid_cell, 0);
    delete grid;
    mesh_delete(slab);
}

TEST(Mesh, FreeingReleasesEverythingOwned)
{
    MeshObject *mesh = mesh_new();
    ASSERT_EQ(mesh_build_box(mesh, 1, 1, 1), 1);
    mesh->keyframe_count = 2;
    for (int k = 0; k < 2; k++)
        mesh->keyframes[k] = static_cast<MeshKeyframeVertex *>(calloc(8, sizeof(MeshKeyframeVertex)));
    mesh_edge_table_reset(mesh, 36);
    mesh->child = mesh_new();
    mesh_build_box(mesh->child, 1, 1, 1);
    mesh->child->child = mesh_new();

    RigidBody &body = mesh->body;
    body.shape_tree = new ShapeTreeNode{};
    body.shape_tree->first = new ShapeTreeNode{};
    body.shape_tree->first->third = new ShapeTreeNode{};
    body.shape_tree->second = new ShapeTreeNode{};
    body.sphere_tree = static_cast<SphereTree *>(malloc(sizeof(SphereTree)));
    body.sphere_tree->count = 2;
    body.sphere_tree->nodes = static_cast<SphereTreeNode *>(calloc(2, sizeof(SphereTreeNode)));
    body.point_grid = mesh_build_cell_grid(mesh);

    mesh_free_arrays(mesh);
    EXPECT_EQ(mesh->vertex_count, 0);
    EXPECT_EQ(mesh->keyframe_count, 0);
    EXPECT_EQ(mesh->keyframes[1], nullptr);
    EXPECT_EQ(mesh->edge_table, nullptr);
    EXPECT_EQ(mesh->child, nullptr);
    mesh_free_body_shapes(&body);
    EXPECT_EQ(body.shape_tree, nullptr);
    EXPECT_EQ(body.sphere_tree, nullptr);
    EXPECT_EQ(body.point_grid, nullptr);
    mesh_free_body_shapes(&body);  // twice is harmless
    physics_free_shape_tree(nullptr);
    mesh_delete(mesh);
}

}  // namespace
