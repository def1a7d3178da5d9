// Mesh records: degenerate faces, centre and radius, the point grid.
#include "geometry/mesh.h"
#include "geometry/vecmath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

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

TEST(Mesh, EdgeTableIndexListsEachVertexsRecordsInTableOrder)
{
    MeshObject *mesh = mesh_new();
    MeshEdgeTable *table = mesh_edge_table_reset(mesh, 8);
    ASSERT_NE(table, nullptr);
    // Records 0..5: ordinary, a self edge, ends out of range (never listed), a duplicate.
    const int32_t records[6][2] = {{0, 1}, {2, 0}, {1, 1}, {-1, 2}, {3, 4}, {0, 1}};
    for (const auto &r : records) mesh_edge_table_append(table, r[0], r[1], 0);
    EXPECT_EQ(mesh_edge_table_vertex_first(table, 4), nullptr);  // not built yet
    ASSERT_EQ(mesh_edge_table_index_vertices(table, 4), 1);
    const int32_t *first = mesh_edge_table_vertex_first(table, 4);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(mesh_edge_table_vertex_first(table, 5), nullptr);  // another vertex count
    const std::vector<std::vector<int32_t>> expected = {{0, 1, 5}, {0, 2, 5}, {1}, {}};
    for (int32_t v = 0; v < 4; v++) {
        SCOPED_TRACE(v);
        EXPECT_EQ(std::vector<int32_t>(table->vertex_edges + first[v], table->vertex_edges + first[v + 1]),
                  expected[size_t(v)]);
    }
    // An appended record makes the index stale until it is built again.
    mesh_edge_table_append(table, 2, 3, 0);
    EXPECT_EQ(mesh_edge_table_vertex_first(table, 4), nullptr);
    EXPECT_EQ(mesh_edge_table_index_vertices(table, -1), 0);
    EXPECT_EQ(mesh_edge_table_vertex_first(table, 4), nullptr);
    mesh_delete(mesh);
}

}  // namespace
