// Clip regions from a light point through a face's edges, and triangles clipped to them.
#include "geometry/clip.h"
#include "geometry/mesh.h"
#include "geometry/vecmath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

// One face (0,0,0), (4,0,0), (0,0,4) on the plane y = 0, in world positions.
MeshObject *one_face()
{
    MeshObject *mesh = mesh_new();
    mesh_alloc_arrays(mesh, 3);
    mesh->vertex_count = 3;
    vec3_set(mesh->vertices[0].position, 0, 0, 0);
    vec3_set(mesh->vertices[1].position, 4, 0, 0);
    vec3_set(mesh->vertices[2].position, 0, 0, 4);
    mesh->face_count = 1;
    mesh->faces[0].v[0] = 0;
    mesh->faces[0].v[1] = 1;
    mesh->faces[0].v[2] = 2;
    mesh_link_face_vertices(mesh);
    mesh_compute_normals(mesh);
    mesh_update_world_transform(mesh);
    return mesh;
}

int32_t add_vertex(ClipBuffer *b, float x, float y, float z, float s, float t)
{
    ClipVertex &v = b->vertices[b->vertex_count];
    vec3_set(v.position, x, y, z);
    v.s = s;
    v.t = t;
    v.mark = 0;
    v.depth = 0;
    return b->vertex_count++;
}

void add_triangle(ClipBuffer *b, int32_t a, int32_t c, int32_t d)
{
    b->triangles[b->triangle_count++] = ClipTriangle{{a, c, d}, 1, 0, -1};
}

float kept_area(const ClipBuffer &b)
{
    float area = 0.0f;
    for (int32_t i = 0; i < b.triangle_count; i++) {
        const ClipTriangle &t = b.triangles[i];
        if (t.marker != -1) continue;
        float e1[3], e2[3], n[3];
        vec3_sub(e1, b.vertices[t.v[1]].position, b.vertices[t.v[0]].position);
        vec3_sub(e2, b.vertices[t.v[2]].position, b.vertices[t.v[0]].position);
        area += 0.5f * vec3_length(vec3_cross(n, e1, e2));
    }
    return area;
}

TEST(Clip, TriangleKeepsOnlyItsPartInsideThePyramid)
{
    MeshObject *face = one_face();
    ClipRegion region;
    // Light at height -10 (y down: above the face) over its corner.
    ASSERT_EQ(clip_bsp_query(&region, face, 0, 0, -10, 0), 1);
    EXPECT_EQ(region.plane_count, 3);

    ClipBuffer b;
    ASSERT_EQ(clip_buffer_init(&b, 64, 64), 1);
    // A big triangle half way up: the pyramid's section there is the face halved, area 2.
    int32_t a = add_vertex(&b, -20, -5, -20, 0, 0);
    int32_t c = add_vertex(&b, 40, -5, -20, 1, 0);
    int32_t d = add_vertex(&b, -20, -5, 40, 0, 1);
    add_triangle(&b, a, c, d);
    int32_t kept = clip_bsp_clip_faces(&b, 0, 1, &region);
    EXPECT_GE(kept, 1);
    EXPECT_EQ(b.triangles[0].marker, 0);  // replaced by its pieces
    EXPECT_NEAR(kept_area(b), 2.0f, 0.1f);
    // Every kept vertex is marked, lies within the section and projects into the face.
    float shadow[16];
    mat4_planar_shadow(shadow, 0, 1, 0, 0, 0, -10, 0, 1);
    for (int32_t i = 1; i < b.triangle_count; i++) {
        const ClipTriangle &t = b.triangles[i];
        EXPECT_EQ(t.marker, -1);
        EXPECT_EQ(t.cut, 1);
        EXPECT_EQ(t.source, 0);
        for (int32_t v : t.v) {
            EXPECT_EQ(b.vertices[v].mark, 1);
            float p[3] = {b.vertices[v].position[0], b.vertices[v].position[1], b.vertices[v].position[2]};
            // The decal coordinates follow the position (s = (x + 20) / 60).
            EXPECT_NEAR(b.vertices[v].s, (p[0] + 20) / 60.0f, 1e-4f);
            mat4_transform_project(shadow, p);
            EXPECT_GE(p[0], -0.05f);
            EXPECT_GE(p[2], -0.05f);
            EXPECT_LE(p[0] + p[2], 4.05f);
        }
    }

    // Wholly inside: kept whole; wholly outside: dropped; nothing appended for either.
    b.vertex_count = b.triangle_count = 0;
    a = add_vertex(&b, 0.2f, -5, 0.2f, 0, 0);
    c = add_vertex(&b, 1.0f, -5, 0.2f, 0, 0);
    d = add_vertex(&b, 0.2f, -5, 1.0f, 0, 0);
    add_triangle(&b, a, c, d);
    int32_t e = add_vertex(&b, 30, -5, 30, 0, 0);
    int32_t f = add_vertex(&b, 31, -5, 30, 0, 0);
    int32_t g = add_vertex(&b, 30, -5, 31, 0, 0);
    add_triangle(&b, e, f, g);
    add_triangle(&b, a, c, d);
    b.triangles[2].marker = 0;  // not selected: left alone
    EXPECT_EQ(clip_bsp_clip_vertices(&region, &b), 1);
    EXPECT_EQ(b.triangle_count, 3);
    EXPECT_EQ(b.triangles[0].marker, -1);
    EXPECT_EQ(b.triangles[0].cut, 0);
    EXPECT_EQ(b.triangles[1].marker, 0);
    EXPECT_EQ(b.triangles[2].marker, 0);
    EXPECT_EQ(b.vertices[a].mark, 1);
    EXPECT_EQ(b.vertices[e].mark, 0);
    clip_buffer_free(&b);
    mesh_delete(face);
}

TEST(Clip, FullStoreDropsPiecesAndDegenerateRegionsHoldNothing)
{
    MeshObject *face = one_face();
    ClipRegion region;
    ASSERT_EQ(clip_bsp_query(&region, face, 0, 0, -10, 0), 1);
    ClipBuffer b;
    ASSERT_EQ(clip_buffer_init(&b, 3, 1), 1);
    int32_t a = add_vertex(&b, -20, -5, -20, 0, 0);
    int32_t c = add_vertex(&b, 40, -5, -20, 0, 0);
    int32_t d = add_vertex(&b, -20, -5, 40, 0, 0);
    add_triangle(&b, a, c, d);
    EXPECT_EQ(clip_bsp_clip_faces(&b, 0, 1, &region), 0);
    EXPECT_EQ(b.vertex_count, 3);
    EXPECT_EQ(b.triangle_count, 1);
    EXPECT_EQ(b.triangles[0].marker, 0);

    // A light in the face's plane, a bad face: empty regions, which keep nothing.
    EXPECT_EQ(clip_bsp_query(&region, face, 10, 0, 10, 0), 0);
    EXPECT_EQ(region.plane_count, 0);
    EXPECT_EQ(clip_bsp_query(&region, face, 1, 0, -10, 0), 0);
    b.triangles[0].marker = 1;
    EXPECT_EQ(clip_bsp_clip_faces(&b, 0, 1, &region), 0);
    EXPECT_EQ(b.triangles[0].marker, 0);
    // Ranges outside the store are cut to it.
    EXPECT_EQ(clip_bsp_clip_faces(&b, -5, 1000000, &region), 0);
    clip_buffer_free(&b);
    EXPECT_EQ(clip_buffer_init(&b, -1, 4), 0);
    mesh_delete(face);
}

TEST(Clip, TrianglesLyingOnTheRegionsBoundaryStayWithinTheirPieces)
{
    // Three planes nearly parallel to a triangle that lies on their common boundary: rounding
    // decides the side of every corner, and the sides may alternate around the polygon.
    std::mt19937 random(1);
    std::uniform_real_distribution<float> u(-1, 1);
    ClipBuffer b;
    ASSERT_EQ(clip_buffer_init(&b, 64, 64), 1);
    for (int i = 0; i < 70000; i++) {
        b.vertex_count = b.triangle_count = 0;
        float n[3] = {u(random), u(random), u(random)};
        vec3_normalize(n);
        ClipRegion region{};
        region.plane_count = 3;
        for (float *plane : region.planes) {
            vec3_set(plane, n[0] + u(random) * 1e-6f, n[1] + u(random) * 1e-6f, n[2] + u(random) * 1e-6f);
            vec3_normalize(plane);
            plane[3] = 0.0f;
        }
        for (int k = 0; k < 3; k++) {
            float p[3] = {u(random), u(random), u(random)};
            float along = vec3_dot(p, n) + g_clip_epsilon;
            add_vertex(&b, p[0] - along * n[0], p[1] - along * n[1], p[2] - along * n[2], 0, 0);
        }
        add_triangle(&b, 0, 1, 2);
        int32_t kept = clip_bsp_clip_faces(&b, 0, 1, &region);
        ASSERT_LE(kept, 7);
        ASSERT_EQ(b.triangle_count, 1 + (b.triangles[0].marker == 0 ? kept : 0));
    }
    clip_buffer_free(&b);
}

}  // namespace
