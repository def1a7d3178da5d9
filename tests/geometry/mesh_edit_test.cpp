// Whole-mesh operations: deep copies, tag extraction and segment hits.
#include "geometry/mesh_edit.h"
#include "geometry/vecmath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <set>

namespace {

TEST(MeshEdit, DuplicateIsDeep)
{
    MeshObject *mesh = mesh_new();
    mesh_build_box(mesh, 1, 2, 3);
    snprintf(mesh->name, sizeof mesh->name, "PALES");
    mesh->keyframe_count = 1;
    mesh->keyframes[0] = static_cast<MeshKeyframeVertex *>(calloc(8, sizeof(MeshKeyframeVertex)));
    mesh->keyframes[0][7].position[1] = 5.0f;
    mesh_edge_table_append(mesh_edge_table_reset(mesh, 4), 1, 2, 0);
    mesh->child = mesh_build_ball();
    mesh->body.point_grid = mesh_build_cell_grid(mesh);
    mesh->body.collision_mesh = mesh;

    MeshObject *copy = mesh_duplicate(mesh);
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy->name, "PALES");
    EXPECT_NE(copy->vertices, mesh->vertices);
    EXPECT_EQ(copy->faces[5].corner[2], &copy->vertices[copy->faces[5].v[2]]);
    EXPECT_NE(copy->keyframes[0], mesh->keyframes[0]);
    EXPECT_EQ(copy->keyframes[0][7].position[1], 5.0f);
    ASSERT_NE(copy->edge_table, mesh->edge_table);
    EXPECT_EQ(mesh_edge_table_find(copy->edge_table, 2, 1), 0);
    ASSERT_NE(copy->child, nullptr);
    EXPECT_NE(copy->child, mesh->child);
    EXPECT_EQ(copy->child->face_count, 480);
    EXPECT_EQ(copy->body.point_grid, nullptr);  // shapes stay with the original's body
    EXPECT_EQ(copy->body.collision_mesh, copy);  // not the original, which may go first
    copy->vertices[0].position[0] = 99.0f;
    EXPECT_NE(mesh->vertices[0].position[0], 99.0f);

    MeshObject *simple = mesh_simplify(mesh);
    ASSERT_NE(simple, nullptr);
    EXPECT_EQ(simple->face_count, mesh->face_count);
    EXPECT_NE(simple->faces, mesh->faces);
    mesh_delete(simple);
    mesh_delete(copy);
    mesh_delete(mesh);  // each releases its own: no double free
}

TEST(MeshEdit, TagExtractionKeepsExactlyOneTagWithRemappedVertices)
{
    MeshObject *ball = mesh_build_ball();
    // Tag by hemisphere and side: tag 1 for faces above the equator with x > 0.
    int expected = 0;
    for (int32_t f = 0; f < ball->face_count; f++) {
        MeshFace &face = ball->faces[f];
        float cy = 0, cx = 0;
        for (int32_t v : face.v) {
            cy += ball->vertices[v].position[1];
            cx += ball->vertices[v].position[0];
        }
        face.tag = (cy > 0 && cx > 0) ? 1 : (cy > 0 ? 2 : 3 * 16384);
        if (face.tag == 1) expected++;
    }
    MeshObject *part = mesh_extract_tagged_faces(ball, 1);
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(part->face_count, expected);
    std::set<int32_t> used;
    int32_t next = 0;
    for (int32_t f = 0; f < ball->face_count; f++) {
        if (ball->faces[f].tag != 1) continue;
        const MeshFace &copy = part->faces[next++];
        EXPECT_EQ(copy.tag, 1);
        for (int k = 0; k < 3; k++) {
            used.insert(ball->faces[f].v[k]);
            ASSERT_GE(copy.v[k], 0);
            ASSERT_LT(copy.v[k], part->vertex_count);
            EXPECT_EQ(copy.corner[k], &part->vertices[copy.v[k]]);
            for (int c = 0; c < 3; c++)
                EXPECT_EQ(part->vertices[copy.v[k]].position[c], ball->vertices[ball->faces[f].v[k]].position[c]);
        }
    }
    EXPECT_EQ(part->vertex_count, int32_t(used.size()));
    mesh_delete(part);

    MeshObject *high = mesh_extract_tagged_faces(ball, 3 * 16384);  // 32-bit tags compare whole
    EXPECT_EQ(high->face_count, ball->face_count / 2);
    mesh_delete(high);
    MeshObject *none = mesh_extract_tagged_faces(ball, 7);
    EXPECT_EQ(none->face_count, 0);
    EXPECT_EQ(none->vertex_count, 0);
    mesh_delete(none);

    g_current_mesh = nullptr;
    EXPECT_EQ(mesh_extract_tag_copy(1)->face_count, 0);
    g_current_mesh = ball;
    {
        MeshPtr a = mesh_extract_tag_copy(2);
        MeshPtr b = std::move(a);  // ownership moves; only one release happens
        EXPECT_EQ(a, nullptr);
        EXPECT_GT(b->face_count, 0);
    }
    g_current_mesh = nullptr;
    mesh_delete(ball);
}

TEST(MeshEdit, SegmentHitsTheNearestAndMissesPastAnEdge)
{
    // Two unit squares stacked at y = 0 and y = 1.
    MeshObject *mesh = mesh_new();
    mesh_alloc_arrays(mesh, 8);
    mesh->vertex_count = 8;
    for (int i = 0; i < 8; i++)
        vec3_set(mesh->vertices[i].position, (i & 1) ? 1.0f : 0.0f, (i & 4) ? 1.0f : 0.0f, (i & 2) ? 1.0f : 0.0f);
    mesh->face_count = 4;
    mesh_set_quad(mesh, 0, 0, 1, 3, 2);
    mesh_set_quad(mesh, 2, 4, 5, 7, 6);
    mesh_update_world_transform(mesh);

    const float above[3] = {0.25f, 5, 0.5f}, below[3] = {0.25f, -5, 0.5f};
    ASSERT_EQ(mesh_segment_hit(mesh, above, below), 1);
    EXPECT_NEAR(mesh->hit_distance, 4.0f, 1e-5f);
    EXPECT_NEAR(mesh->hit_point[1], 1.0f, 1e-6f);
    EXPECT_GE(mesh->hit_face, 2);
    ASSERT_EQ(mesh_segment_hit(mesh, below, above), 1);  // either side of a face counts
    EXPECT_NEAR(mesh->hit_distance, 5.0f, 1e-5f);
    EXPECT_LT(mesh->hit_face, 2);

    const float past_a[3] = {1.001f, 5, 0.5f}, past_b[3] = {1.001f, -5, 0.5f};
    EXPECT_EQ(mesh_segment_hit(mesh, past_a, past_b), 0);
    EXPECT_NEAR(mesh->hit_distance, 5.0f, 1e-5f);  // a miss leaves the last hit
    const float on_edge_a[3] = {1.0f, 5, 0.5f}, on_edge_b[3] = {1.0f, -5, 0.5f};
    EXPECT_EQ(mesh_segment_hit(mesh, on_edge_a, on_edge_b), 1);
    const float short_end[3] = {0.25f, 1.5f, 0.5f};
    EXPECT_EQ(mesh_segment_hit(mesh, above, short_end), 0);
    const float level_a[3] = {-1, 0.5f, 0.5f}, level_b[3] = {2, 0.5f, 0.5f};
    EXPECT_EQ(mesh_segment_hit(mesh, level_a, level_b), 0);

    // One face at a time.
    EXPECT_EQ(mesh_face_segment_hit(mesh, 0, above, below) + mesh_face_segment_hit(mesh, 1, above, below), 1);
    EXPECT_NEAR(mesh->hit_point[1], 0.0f, 1e-6f);
    EXPECT_EQ(mesh_face_segment_hit(mesh, 4, above, below), 0);
    EXPECT_EQ(mesh_face_segment_hit(mesh, -1, above, below), 0);

    // A segment starting inside a box meets the face it leaves by.
    mesh_build_box(mesh, 2, 2, 2);
    mesh_update_world_transform(mesh);
    const float inside[3] = {0, 0, 0}, outside[3] = {0, 0, 5};
    ASSERT_EQ(mesh_segment_hit(mesh, inside, outside), 1);
    EXPECT_NEAR(mesh->hit_distance, 1.0f, 1e-6f);
    mesh_delete(mesh);
}

}  // namespace
