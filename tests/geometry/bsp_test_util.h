// Meshes and brute-force answers shared by the face-BSP tests.
#pragma once

#include "geometry/mesh.h"

#include <cmath>
#include <random>
#include <vector>

// `count` random triangles of sizes 0 to 2 in the box -5..5, some degenerate.
inline MeshObject *bsp_test_random_mesh(std::mt19937 &random, int32_t count)
{
    std::uniform_real_distribution<float> place(-5, 5), size(-1, 1);
    MeshObject *mesh = mesh_new();
    mesh_alloc_arrays(mesh, count * 3);
    mesh->vertex_count = count * 3;
    for (int32_t f = 0; f < count; f++) {
        float c[3] = {place(random), place(random), place(random)};
        for (int k = 0; k < 3; k++) {
            float *p = mesh->vertices[f * 3 + k].position;
            for (int i = 0; i < 3; i++) p[i] = c[i] + ((f % 17 == 0) ? 0.0f : size(random));
            mesh->faces[f].v[k] = f * 3 + k;
        }
    }
    mesh->face_count = count;
    mesh_link_face_vertices(mesh);
    mesh_compute_normals(mesh);
    return mesh;
}

// An n x n grid of unit squares on y = 0 from (0, 0, 0); faces' texture id = their column.
inline MeshObject *bsp_test_grid_mesh(int n)
{
    MeshObject *mesh = mesh_new();
    mesh_alloc_arrays(mesh, (n + 1) * (n + 1));
    mesh->vertex_count = (n + 1) * (n + 1);
    for (int i = 0; i <= n; i++)
        for (int j = 0; j <= n; j++) {
            float *p = mesh->vertices[i * (n + 1) + j].position;
            p[0] = float(i);
            p[1] = 0.0f;
            p[2] = float(j);
        }
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
            int a = i * (n + 1) + j;
            mesh_set_quad(mesh, (i * n + j) * 2, a, a + 1, a + n + 2, a + n + 1);
            mesh->faces[(i * n + j) * 2].texture_id = int16_t(i);
            mesh->faces[(i * n + j) * 2 + 1].texture_id = int16_t(i);
        }
    mesh->face_count = n * n * 2;
    mesh_link_face_vertices(mesh);
    mesh_compute_normals(mesh);
    return mesh;
}

// Faces whose bounding box meets the sphere, ascending.
inline std::vector<int32_t> bsp_test_brute_sphere(const MeshObject *mesh, const float *c, float radius)
{
    std::vector<int32_t> out;
    for (int32_t f = 0; f < mesh->face_count; f++) {
        const MeshFace &face = mesh->faces[f];
        bool valid = true;
        for (int32_t v : face.v) valid = valid && v >= 0 && v < mesh->vertex_count;
        if (!valid) continue;
        float d2 = 0.0f;
        for (int k = 0; k < 3; k++) {
            float lo = INFINITY, hi = -INFINITY;
            for (int32_t v : face.v) {
                lo = fminf(lo, mesh->vertices[v].position[k]);
                hi = fmaxf(hi, mesh->vertices[v].position[k]);
            }
            float e = c[k] < lo ? lo - c[k] : (c[k] > hi ? c[k] - hi : 0.0f);
            d2 += e * e;
        }
        if (d2 <= radius * radius) out.push_back(f);
    }
    return out;
}

// Faces whose bounding box holds the point (within 1e-4).
inline std::vector<int32_t> bsp_test_faces_under(const MeshObject *mesh, const float *p)
{
    return bsp_test_brute_sphere(mesh, p, 1e-4f);
}
