// Small meshes for the renderer's builder tests.
#pragma once

#include "geometry/mesh.h"

#include <array>
#include <cstdlib>
#include <vector>

struct TestFace {
    int32_t a, b, c;
    int16_t part = 0;
    int16_t texture = 0;
    uint16_t material = 0;
};

// A mesh of the positions and faces (owned: mesh_delete), normals computed.
inline MeshObject *render_test_mesh(const std::vector<std::array<float, 3>> &positions,
                                    const std::vector<TestFace> &faces)
{
    MeshObject *mesh = mesh_new();
    size_t capacity = positions.size() > faces.size() ? positions.size() : faces.size();
    mesh_alloc_arrays(mesh, int32_t(capacity));
    mesh->vertex_count = int32_t(positions.size());
    for (size_t i = 0; i < positions.size(); i++) {
        MeshVertex &v = mesh->vertices[i];
        for (int k = 0; k < 3; k++) v.position[k] = v.world_position[k] = positions[i][k];
        v.color[0] = v.color[1] = v.color[2] = v.color[3] = 1.0f;
        v.uv0[0] = positions[i][0];
        v.uv0[1] = positions[i][1];
    }
    mesh->face_count = int32_t(faces.size());
    for (size_t f = 0; f < faces.size(); f++) {
        MeshFace &face = mesh->faces[f];
        face.v[0] = faces[f].a;
        face.v[1] = faces[f].b;
        face.v[2] = faces[f].c;
        face.part = faces[f].part;
        face.texture_id = faces[f].texture;
        face.material = faces[f].material;
    }
    mesh_link_face_vertices(mesh);
    mesh_compute_normals(mesh);
    return mesh;
}

// A closed tetrahedron with outward faces (each edge met once in each direction).
inline MeshObject *render_test_tetrahedron()
{
    return render_test_mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
                            {{0, 1, 2}, {0, 3, 1}, {0, 2, 3}, {1, 3, 2}});
}

// Gives the mesh `count` keyframes: keyframe k moves every vertex by (k, 0, 0).
inline void render_test_keyframes(MeshObject *mesh, int32_t count)
{
    mesh->keyframe_count = count;
    for (int32_t k = 0; k < count; k++) {
        mesh->keyframes[k] =
            static_cast<MeshKeyframeVertex *>(calloc(size_t(mesh->vertex_count), sizeof(MeshKeyframeVertex)));
        for (int32_t i = 0; i < mesh->vertex_count; i++) {
            for (int c = 0; c < 3; c++) mesh->keyframes[k][i].position[c] = mesh->vertices[i].position[c];
            mesh->keyframes[k][i].position[0] += float(k);
            mesh->keyframes[k][i].normal[1] = float(k);
        }
    }
}
