// The mesh kit of the data tools (see data_mesh.h).
#include "tools/data_mesh.h"
#include "tools/data_palette.h"

#include "geometry/mesh.h"
#include "geometry/mesh_edit.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

const float PI = 3.14159265358979f;
const float UV_SCALE = 0.5f;  // one repeat per 2 units

const float *point_of(const DataMesh *mesh, int32_t i) { return &mesh->points[size_t(i) * 3]; }

// The engine's face normal direction: (p2 - p0) x (p1 - p0).
void engine_normal(const float *p0, const float *p1, const float *p2, float *n)
{
    float a[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
    float b[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
    n[0] = a[1] * b[2] - a[2] * b[1];
    n[1] = a[2] * b[0] - a[0] * b[2];
    n[2] = a[0] * b[1] - a[1] * b[0];
}

// Planar projection along the normal's largest component.
void planar_uv(const float *p, const float *n, float *uv)
{
    float ax = std::fabs(n[0]), ay = std::fabs(n[1]), az = std::fabs(n[2]);
    if (ay >= ax && ay >= az) uv[0] = p[0], uv[1] = p[2];
    else if (ax >= az) uv[0] = p[2], uv[1] = p[1];
    else uv[0] = p[0], uv[1] = p[1];
    uv[0] *= UV_SCALE, uv[1] *= UV_SCALE;
}

float circle_x(float cx, float radius, int32_t k, int32_t sides) { return cx + radius * std::cos(2.0f * PI * k / sides); }
float circle_z(float cz, float radius, int32_t k, int32_t sides) { return cz + radius * std::sin(2.0f * PI * k / sides); }

}  // namespace

int32_t data_mesh_point(DataMesh *mesh, float x, float y, float z)
{
    for (size_t i = 0; i < mesh->points.size(); i += 3)
        if (mesh->points[i] == x && mesh->points[i + 1] == y && mesh->points[i + 2] == z) return int32_t(i / 3);
    mesh->points.insert(mesh->points.end(), {x, y, z});
    return int32_t(mesh->points.size() / 3 - 1);
}

void data_mesh_polygon(DataMesh *mesh, std::vector<int32_t> points, int32_t texture, float ox, float oy, float oz)
{
    mesh->polygons.push_back({std::move(points), texture, {ox, oy, oz}});
}

void data_mesh_box(DataMesh *mesh, float x0, float x1, float y0, float y1, float z0, float z1, int32_t top,
                   int32_t sides, int32_t bottom)
{
    auto p = [&](float x, float y, float z) { return data_mesh_point(mesh, x, y, z); };
    data_mesh_polygon(mesh, {p(x0, y0, z0), p(x1, y0, z0), p(x1, y0, z1), p(x0, y0, z1)}, top, 0, -1, 0);
    data_mesh_polygon(mesh, {p(x0, y1, z0), p(x1, y1, z0), p(x1, y1, z1), p(x0, y1, z1)}, bottom, 0, 1, 0);
    data_mesh_polygon(mesh, {p(x0, y0, z0), p(x1, y0, z0), p(x1, y1, z0), p(x0, y1, z0)}, sides, 0, 0, -1);
    data_mesh_polygon(mesh, {p(x0, y0, z1), p(x1, y0, z1), p(x1, y1, z1), p(x0, y1, z1)}, sides, 0, 0, 1);
    data_mesh_polygon(mesh, {p(x0, y0, z0), p(x0, y0, z1), p(x0, y1, z1), p(x0, y1, z0)}, sides, -1, 0, 0);
    data_mesh_polygon(mesh, {p(x1, y0, z0), p(x1, y0, z1), p(x1, y1, z1), p(x1, y1, z0)}, sides, 1, 0, 0);
}

void data_mesh_turned_box(DataMesh *mesh, float cx, float cz, float length, float width, float y0, float y1,
                          float degrees, int32_t material)
{
    float c = std::cos(degrees * PI / 180.0f), s = std::sin(degrees * PI / 180.0f);
    float hx = length / 2, hz = width / 2;
    // Corners round the box's footprint, and the outward direction of the side after each.
    const float local[4][2] = {{-hx, -hz}, {hx, -hz}, {hx, hz}, {-hx, hz}};
    const float side_out[4][2] = {{0, -1}, {1, 0}, {0, 1}, {-1, 0}};
    int32_t top[4], bottom[4];
    for (int k = 0; k < 4; k++) {
        float x = cx + local[k][0] * c - local[k][1] * s, z = cz + local[k][0] * s + local[k][1] * c;
        top[k] = data_mesh_point(mesh, x, y0, z);
        bottom[k] = data_mesh_point(mesh, x, y1, z);
    }
    data_mesh_polygon(mesh, {top[0], top[1], top[2], top[3]}, material, 0, -1, 0);
    data_mesh_polygon(mesh, {bottom[0], bottom[1], bottom[2], bottom[3]}, material, 0, 1, 0);
    for (int k = 0; k < 4; k++) {
        int n = (k + 1) % 4;
        float ox = side_out[k][0] * c - side_out[k][1] * s, oz = side_out[k][0] * s + side_out[k][1] * c;
        data_mesh_polygon(mesh, {top[k], top[n], bottom[n], bottom[k]}, material, ox, 0, oz);
    }
}

void data_mesh_cylinder(DataMesh *mesh, float cx, float cz, float radius, float y0, float y1, int32_t sides,
                        bool capped, int32_t side_material, int32_t cap_material)
{
    std::vector<int32_t> top, bottom;
    for (int32_t k = 0; k < sides; k++) {
        float x = circle_x(cx, radius, k, sides), z = circle_z(cz, radius, k, sides);
        top.push_back(data_mesh_point(mesh, x, y0, z));
        bottom.push_back(data_mesh_point(mesh, x, y1, z));
    }
    for (int32_t k = 0; k < sides; k++) {
        int32_t n = (k + 1) % sides;
        float mid = 2.0f * PI * (k + 0.5f) / sides;
        data_mesh_polygon(mesh, {top[k], top[n], bottom[n], bottom[k]}, side_material, std::cos(mid), 0,
                          std::sin(mid));
    }
    if (!capped) return;
    data_mesh_polygon(mesh, top, cap_material, 0, -1, 0);
    data_mesh_polygon(mesh, bottom, cap_material, 0, 1, 0);
}

void data_mesh_disc(DataMesh *mesh, float cx, float cz, float radius, float y, int32_t sides, int32_t material)
{
    std::vector<int32_t> ring;
    for (int32_t k = 0; k < sides; k++)
        ring.push_back(data_mesh_point(mesh, circle_x(cx, radius, k, sides), y, circle_z(cz, radius, k, sides)));
    data_mesh_polygon(mesh, ring, material, 0, -1, 0);
}

void data_mesh_holed_plate(DataMesh *mesh, float half, float radius, float y0, float y1, float floor_y, int32_t sides,
                           int32_t top, int32_t sides_material, int32_t wall, int32_t floor)
{
    const bool shaft = floor_y >= y1;
    const float wall_end = shaft ? y1 : floor_y;
    std::vector<int32_t> rim, low;
    for (int32_t k = 0; k < sides; k++) {
        float x = circle_x(0, radius, k, sides), z = circle_z(0, radius, k, sides);
        rim.push_back(data_mesh_point(mesh, x, y0, z));
        low.push_back(data_mesh_point(mesh, x, wall_end, z));
    }
    // Corner q sits at 45 + 90 q degrees; it fans over the arc from 90 q to 90 (q + 1), and the
    // triangle of two corners meets the circle where its side faces it.
    auto annulus = [&](float y, const std::vector<int32_t> &ring, int32_t material, float oy) {
        const float corner[4][2] = {{half, half}, {-half, half}, {-half, -half}, {half, -half}};
        int32_t quarter = sides / 4;
        for (int q = 0; q < 4; q++) {
            int32_t c = data_mesh_point(mesh, corner[q][0], y, corner[q][1]);
            for (int32_t k = q * quarter; k < (q + 1) * quarter; k++)
                data_mesh_polygon(mesh, {c, ring[size_t(k)], ring[size_t(k + 1) % size_t(sides)]}, material, 0, oy, 0);
            int next = (q + 1) % 4;
            int32_t d = data_mesh_point(mesh, corner[next][0], y, corner[next][1]);
            data_mesh_polygon(mesh, {c, ring[size_t(((q + 1) * quarter) % sides)], d}, material, 0, oy, 0);
        }
    };
    annulus(y0, rim, top, -1);
    if (shaft) {
        annulus(y1, low, sides_material, 1);
    } else {
        int32_t a = data_mesh_point(mesh, -half, y1, -half), b = data_mesh_point(mesh, half, y1, -half);
        int32_t c = data_mesh_point(mesh, half, y1, half), d = data_mesh_point(mesh, -half, y1, half);
        data_mesh_polygon(mesh, {a, b, c, d}, sides_material, 0, 1, 0);
        data_mesh_polygon(mesh, low, floor, 0, -1, 0);
    }
    for (int32_t k = 0; k < sides; k++) {
        int32_t n = (k + 1) % sides;
        float mid = 2.0f * PI * (k + 0.5f) / sides;
        data_mesh_polygon(mesh, {rim[size_t(k)], rim[size_t(n)], low[size_t(n)], low[size_t(k)]}, wall,
                          -std::cos(mid), 0, -std::sin(mid));
    }
    auto p = [&](float x, float y, float z) { return data_mesh_point(mesh, x, y, z); };
    const float h = half;
    data_mesh_polygon(mesh, {p(-h, y0, -h), p(h, y0, -h), p(h, y1, -h), p(-h, y1, -h)}, sides_material, 0, 0, -1);
    data_mesh_polygon(mesh, {p(-h, y0, h), p(h, y0, h), p(h, y1, h), p(-h, y1, h)}, sides_material, 0, 0, 1);
    data_mesh_polygon(mesh, {p(-h, y0, -h), p(-h, y0, h), p(-h, y1, h), p(-h, y1, -h)}, sides_material, -1, 0, 0);
    data_mesh_polygon(mesh, {p(h, y0, -h), p(h, y0, h), p(h, y1, h), p(h, y1, -h)}, sides_material, 1, 0, 0);
}

MeshObject *data_mesh_object(const DataMesh *mesh, const char *name)
{
    int32_t vertex_count = int32_t(mesh->points.size() / 3), face_count = 0;
    for (const DataMeshPolygon &polygon : mesh->polygons) face_count += int32_t(polygon.points.size()) - 2;
    MeshObject *object = mesh_new();
    if (!object) return nullptr;
    int32_t capacity = vertex_count > face_count / 2 + 1 ? vertex_count : face_count / 2 + 1;
    if (!mesh_alloc_arrays(object, capacity)) {
        mesh_delete(object);
        return nullptr;
    }
    snprintf(object->name, sizeof object->name, "%s", name);
    object->object_type = 2;
    object->vertex_count = vertex_count;
    for (int32_t i = 0; i < vertex_count; i++) {
        MeshVertex *v = &object->vertices[i];
        memcpy(v->position, point_of(mesh, i), sizeof v->position);
        for (float &c : v->color) c = 1.0f;
    }
    for (const DataMeshPolygon &polygon : mesh->polygons) {
        const std::vector<int32_t> &ring = polygon.points;
        // Listed so that the engine's normal points out of the solid; the inversion below turns it in.
        float n[3];
        engine_normal(point_of(mesh, ring[0]), point_of(mesh, ring[1]), point_of(mesh, ring[2]), n);
        bool reverse = n[0] * polygon.outward[0] + n[1] * polygon.outward[1] + n[2] * polygon.outward[2] < 0.0f;
        for (size_t k = 1; k + 1 < ring.size(); k++) {
            MeshFace *face = &object->faces[object->face_count++];
            face->v[0] = ring[0];
            face->v[1] = ring[reverse ? k + 1 : k];
            face->v[2] = ring[reverse ? k : k + 1];
            face->material = uint16_t(data_material_of(polygon.texture));
            face->texture_id = int16_t(polygon.texture);
            face->texture_id2 = -1;
            for (float &c : face->color) c = 1.0f;
            for (int c = 0; c < 3; c++) planar_uv(point_of(mesh, face->v[c]), polygon.outward, &face->uv[2 * c]);
        }
    }
    mesh_link_face_vertices(object);
    mesh_compute_normals(object);
    mesh_invert_in_place(object);
    mesh_update_world_transform(object);
    return object;
}
