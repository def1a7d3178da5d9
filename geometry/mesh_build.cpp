// Mesh builders: box, sphere, the drawn ball, quads, and the point grid of a body's mesh.
#include "geometry/geometry_local.h"
#include "geometry/vecmath.h"

#include <cmath>
#include <new>

namespace {

void set_face(MeshObject *mesh, int32_t f, int32_t a, int32_t b, int32_t c)
{
    MeshFace *face = &mesh->faces[f];
    face->v[0] = a;
    face->v[1] = b;
    face->v[2] = c;
    const int32_t corners[3] = {a, b, c};
    for (int k = 0; k < 3; k++) {
        int32_t v = corners[k];
        face->corner[k] = (v >= 0 && v < mesh->vertex_count) ? &mesh->vertices[v] : nullptr;
        // Corner texture coordinates default to the vertex's own pair.
        if (face->corner[k]) {
            face->uv[k * 2] = face->corner[k]->uv0[0];
            face->uv[k * 2 + 1] = face->corner[k]->uv0[1];
        }
    }
    for (float &c4 : face->color) c4 = 1.0f;
}

void set_vertex(MeshVertex *v, float x, float y, float z, float u, float t)
{
    vec3_set(v->position, x, y, z);
    vec3_set(v->world_position, x, y, z);
    v->uv0[0] = u;
    v->uv0[1] = t;
    for (float &c : v->color) c = 1.0f;
}

// A UV sphere of `rings` bands and `segments` columns; see mesh_build_sphere.
MeshObject *build_uv_sphere(float radius, int32_t rings, int32_t segments)
{
    MeshObject *mesh = mesh_new();
    if (!mesh) return nullptr;
    int32_t columns = segments + 1;
    int32_t vertex_count = 2 + (rings - 1) * columns;
    if (!mesh_alloc_arrays(mesh, vertex_count)) {
        mesh_delete(mesh);
        return nullptr;
    }
    mesh->vertex_count = vertex_count;
    const float pi = 3.14159265358979f;
    set_vertex(&mesh->vertices[0], 0.0f, radius, 0.0f, 0.5f, 0.0f);
    for (int32_t i = 1; i < rings; i++) {
        float theta = pi * float(i) / float(rings);
        float ring = radius * sinf(theta);
        for (int32_t j = 0; j < columns; j++) {
            float phi = 2.0f * pi * float(j % segments) / float(segments);
            set_vertex(&mesh->vertices[1 + (i - 1) * columns + j], ring * cosf(phi), radius * cosf(theta),
                       ring * sinf(phi), float(j) / float(segments), float(i) / float(rings));
        }
    }
    int32_t bottom = vertex_count - 1;
    set_vertex(&mesh->vertices[bottom], 0.0f, -radius, 0.0f, 0.5f, 1.0f);

    int32_t f = 0;
    for (int32_t j = 0; j < segments; j++) set_face(mesh, f++, 0, 1 + j, 2 + j);
    for (int32_t i = 1; i < rings - 1; i++) {
        int32_t upper = 1 + (i - 1) * columns;
        int32_t lower = upper + columns;
        for (int32_t j = 0; j < segments; j++) {
            set_face(mesh, f++, upper + j, lower + j, lower + j + 1);
            set_face(mesh, f++, upper + j, lower + j + 1, upper + j + 1);
        }
    }
    int32_t last = 1 + (rings - 2) * columns;
    for (int32_t j = 0; j < segments; j++) set_face(mesh, f++, last + j, bottom, last + j + 1);
    mesh->face_count = f;
    mesh_compute_normals(mesh);
    return mesh;
}

}  // namespace

int mesh_build_box(MeshObject *mesh, float size_x, float size_y, float size_z)
{
    if (!mesh_alloc_arrays(mesh, 8)) return 0;
    const float h[3] = {size_x * 0.5f, size_y * 0.5f, size_z * 0.5f};
    mesh->vertex_count = 8;
    // Vertex i has the sign of bit 0 on x, bit 1 on y, bit 2 on z.
    for (int i = 0; i < 8; i++)
        set_vertex(&mesh->vertices[i], (i & 1) ? h[0] : -h[0], (i & 2) ? h[1] : -h[1], (i & 4) ? h[2] : -h[2],
                   (i & 1) ? 1.0f : 0.0f, (i & 2) ? 1.0f : 0.0f);
    // Each side as a cycle of corners wound so that the face normal points outward.
    static const int32_t sides[6][4] = {
        {0, 2, 6, 4},  // -x
        {1, 5, 7, 3},  // +x
        {0, 4, 5, 1},  // -y
        {2, 3, 7, 6},  // +y
        {0, 1, 3, 2},  // -z
        {4, 6, 7, 5},  // +z
    };
    mesh->face_count = 12;
    for (int s = 0; s < 6; s++) mesh_set_quad(mesh, s * 2, sides[s][0], sides[s][1], sides[s][2], sides[s][3]);
    mesh_compute_normals(mesh);
    return 1;
}

MeshObject *mesh_build_sphere(float radius, int32_t detail)
{
    if (detail < 1) detail = 1;
    if (detail > 64) detail = 64;
    return build_uv_sphere(radius, detail * 2, detail * 4);
}

MeshObject *mesh_build_ball() { return build_uv_sphere(0.1f, 16, 16); }

int mesh_set_quad(MeshObject *mesh, int32_t face, int32_t a, int32_t b, int32_t c, int32_t d)
{
    if (face < 0 || face > mesh->face_capacity - 2) return 0;
    set_face(mesh, face, a, b, c);
    set_face(mesh, face + 1, a, c, d);
    const float first[6] = {0, 0, 1, 0, 1, 1};
    const float second[6] = {0, 0, 1, 1, 0, 1};
    for (int k = 0; k < 6; k++) {
        mesh->faces[face].uv[k] = first[k];
        mesh->faces[face + 1].uv[k] = second[k];
    }
    mesh_touch(mesh);
    return 1;
}

PointGrid *mesh_build_cell_grid(MeshObject *mesh)
{
    PointGrid *grid = new (std::nothrow) PointGrid{};
    if (!grid) return nullptr;
    float lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
    for (int32_t i = 0; i < mesh->vertex_count; i++) {
        const float *p = mesh->vertices[i].position;
        for (int k = 0; k < 3; k++) {
            lo[k] = i == 0 ? p[k] : fminf(lo[k], p[k]);
            hi[k] = i == 0 ? p[k] : fmaxf(hi[k], p[k]);
        }
    }
    float size[3] = {hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]};
    float longest = fmaxf(size[0], fmaxf(size[1], size[2]));
    int32_t n[3];
    for (int k = 0; k < 3; k++) {
        n[k] = longest > 0.0f ? int32_t(4.0f * size[k] / longest + 0.5f) : 1;
        n[k] = n[k] < 1 ? 1 : (n[k] > 4 ? 4 : n[k]);
    }
    grid->nx = n[0];
    grid->ny = n[1];
    grid->nz = n[2];
    float half_diagonal = 0.0f;
    for (int k = 0; k < 3; k++) half_diagonal += (size[k] / float(n[k])) * (size[k] / float(n[k]));
    half_diagonal = 0.5f * sqrtf(half_diagonal);
    for (int z = 0; z < n[2]; z++) {
        for (int y = 0; y < n[1]; y++) {
            for (int x = 0; x < n[0]; x++) {
                PointGridCell *cell = &grid->cells[x + 4 * y + 16 * z];
                const int index[3] = {x, y, z};
                for (int k = 0; k < 3; k++) cell->point[k] = lo[k] + (float(index[k]) + 0.5f) * size[k] / float(n[k]);
                vec3_set(cell->world_point, cell->point[0], cell->point[1], cell->point[2]);
                cell->radius = half_diagonal;
                cell->in_use = 1;
            }
        }
    }
    for (int32_t i = 0; i < mesh->vertex_count; i++) {
        MeshVertex *v = &mesh->vertices[i];
        int cell_index[3];
        for (int k = 0; k < 3; k++) {
            float t = size[k] > 0.0f ? (v->position[k] - lo[k]) * float(n[k] - 1) / size[k] : 0.0f;
            int c = int(t);
            if (c > n[k] - 1) c = n[k] - 1;
            cell_index[k] = c < 0 ? 0 : c;
        }
        v->grid_cell = int16_t(cell_index[0] + 4 * cell_index[1] + 16 * cell_index[2]);
        // The vertex rule and the cell boxes divide the box differently: grow the radius to cover.
        PointGridCell *cell = &grid->cells[v->grid_cell];
        float d[3];
        cell->radius = fmaxf(cell->radius, vec3_length(vec3_sub(d, v->position, cell->point)));
    }
    mesh_touch(mesh);
    return grid;
}
