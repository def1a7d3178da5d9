// Stencil shadow volumes: both adjacency paths agree, open edges, keyframe buffers, and the intro's
// simple volume.
#include "tests/render/render_mesh_util.h"
#include "tests/render/render_test_util.h"

#include "geometry/mesh_edit.h"

#include <cmath>

namespace {

// Layout 5: position at 0, normal at 12, pair 0 at 24; 32 bytes.
constexpr size_t kStride = 32;

class RenderShadowTest : public RenderTest {
protected:
    std::vector<MeshObject *> meshes;
    std::vector<RenderObject *> objects;

    void SetUp() override
    {
        RenderTest::SetUp();
        make_device(true);
    }

    void TearDown() override
    {
        for (RenderObject *o : objects) delete_object(o);
        for (MeshObject *m : meshes) mesh_delete(m);
        g_current_mesh = nullptr;
        render_object_free(&g_shadow_volume_object);
        RenderTest::TearDown();
    }

    MeshObject *keep(MeshObject *mesh) { return meshes.push_back(mesh), mesh; }

    RenderObject *volume(const MeshObject *mesh, uint32_t options, bool edge_map = true)
    {
        RenderObject *o = render_object_init(new RenderObject);
        objects.push_back(o);
        render_build_shadow_volume_with(o, mesh, options, edge_map);
        return o;
    }

    static const float *at(const uint8_t *bytes, int32_t vertex, size_t offset)
    {
        return reinterpret_cast<const float *>(bytes + size_t(vertex) * kStride + offset);
    }
};

TEST_F(RenderShadowTest, BothAdjacencyPathsGiveTheSameVolume)
{
    MeshObject *sphere = keep(mesh_build_sphere(1.0f, 3));
    for (MeshObject *mesh : {keep(render_test_tetrahedron()), sphere}) {
        RenderObject *mapped = volume(mesh, 0x200D, true);
        RenderObject *searched = volume(mesh, 0x200D, false);
        ASSERT_EQ(mapped->vertex_count, searched->vertex_count);
        ASSERT_GT(mapped->vertex_count, 0);
        size_t count = size_t(mapped->vertex_count);
        EXPECT_EQ(memcmp(mapped->vertex_copy, searched->vertex_copy, count * kStride), 0);
        EXPECT_EQ(memcmp(mapped->index_copy, searched->index_copy, size_t(mapped->index_count) * 4), 0);
        EXPECT_EQ(memcmp(mapped->array_a, searched->array_a, count * 4), 0);
        EXPECT_EQ(memcmp(mapped->array_b, searched->array_b, count * 4), 0);
    }
}

TEST_F(RenderShadowTest, OpenEdgesTakeTheNegatedNormalAndNoCapsLeaveTheCapIndex)
{
    MeshObject *mesh = keep(render_test_mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}));
    RenderObject *o = render_object_init(new RenderObject);
    objects.push_back(o);
    o->first_cap_index = 77;
    render_build_shadow_volume(o, mesh, 0x100000 | 0x2000 | 0xD);
    EXPECT_EQ(o->vertex_count, 12);
    EXPECT_EQ(o->index_count, 18);
    EXPECT_EQ(o->first_cap_index, 77);
    const float *n = mesh->faces[0].normal;
    for (int edge = 0; edge < 3; edge++) {
        int v = 4 * edge;
        EXPECT_EQ(at(o->vertex_copy, v + 1, 12)[2], n[2]);
        EXPECT_EQ(at(o->vertex_copy, v + 2, 12)[2], -n[2]);
        EXPECT_EQ(at(o->vertex_copy, v + 1, 24)[0], 1.0f);
        EXPECT_EQ(at(o->vertex_copy, v + 3, 24)[0], 0.0f);
        EXPECT_EQ(o->array_b[v + 3], -1);
    }
    // Nothing at all: an empty volume.
    MeshObject *empty = keep(render_test_mesh({{0, 0, 0}}, {}));
    RenderObject *none = volume(empty, 0xD);
    EXPECT_EQ(none->vertex_count, 0);
    EXPECT_EQ(none->vertex_buffer, nullptr);
}

TEST_F(RenderShadowTest, KeyframesGetTheirOwnVolumeAndTheMeshStaysAsItWas)
{
    MeshObject *mesh = keep(render_test_tetrahedron());
    render_test_keyframes(mesh, 3);
    // Keyframe 2 squashes every vertex onto one point: its faces have no area.
    for (int i = 0; i < 4; i++)
        for (int c = 0; c < 3; c++) mesh->keyframes[2][i].position[c] = 5.0f;
    float world_before = mesh->vertices[1].world_position[0];
    float normal_before = mesh->faces[3].normal[0];
    RenderObject *o = volume(mesh, 0x108000D | 0x2000);
    ASSERT_EQ(o->frame_count, 3);
    for (int k = 0; k < 3; k++) {
        const uint8_t *copy = o->frame_copies[k];
        EXPECT_EQ(memcmp(gpu_headless_vertex_bytes(o->frame_buffers[k]), copy, size_t(o->vertex_count) * kStride), 0);
        for (int v = 0; v < o->vertex_count; v++) {
            int32_t source = o->array_a[v];
            float expected = k == 2 ? 5.0f : mesh->vertices[source].position[0] + float(k);
            EXPECT_EQ(at(copy, v, 0)[0], expected) << k << " " << v;
            for (int c = 0; c < 3; c++) EXPECT_TRUE(std::isfinite(at(copy, v, 12)[c]));
        }
        // Keyframes 0 and 1 only move the mesh: the faces keep the mesh's own normals.
        for (int v = 0; v < 24 && k < 2; v += 4)
            for (int c = 0; c < 3; c++) EXPECT_NEAR(at(copy, v, 12)[c], mesh->faces[o->array_b[v]].normal[c], 1e-6f);
        if (k < 2) EXPECT_NEAR(at(copy, 0, 12)[0] * at(copy, 0, 12)[0] + at(copy, 0, 12)[1] * at(copy, 0, 12)[1] +
                                   at(copy, 0, 12)[2] * at(copy, 0, 12)[2],
                               1.0f, 1e-5f);
        else
            EXPECT_EQ(at(copy, 0, 12)[0], 0.0f);
    }
    EXPECT_EQ(mesh->vertices[1].position[0], 1.0f);
    EXPECT_EQ(mesh->vertices[1].world_position[0], world_before);
    EXPECT_EQ(mesh->faces[3].normal[0], normal_before);
}

TEST_F(RenderShadowTest, TheIntroVolumeOfAnOpenMeshStaysInsideIt)
{
    MeshObject *mesh = keep(render_test_mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}));
    g_current_mesh = mesh;
    render_build_shadow_volume_simple();
    RenderObject &o = g_shadow_volume_object;
    EXPECT_EQ(o.format, 5);
    EXPECT_EQ(o.vertex_count, 12);
    EXPECT_EQ(o.index_count, 18);
    EXPECT_EQ(at(o.vertex_copy, 2, 12)[2], -mesh->faces[0].normal[2]);
    EXPECT_EQ(at(o.vertex_copy, 2, 24)[0], 1.0f);
    EXPECT_EQ(at(o.vertex_copy, 2, 24)[1], 1.0f);
    EXPECT_EQ(o.index_copy[4], 2u);
    EXPECT_EQ(o.index_copy[5], 3u);

    // Built again over the closed tetrahedron, with a compiled effect's flag kept.
    o.flags |= kRenderOwnEffect;
    g_current_mesh = keep(render_test_tetrahedron());
    int live = gpu_headless_live_resources();
    render_build_shadow_volume_simple();
    EXPECT_EQ(gpu_headless_live_resources(), live);
    EXPECT_EQ(o.vertex_count, 24);
    EXPECT_TRUE(o.flags & kRenderOwnEffect);
    g_current_mesh = nullptr;
    render_build_shadow_volume_simple();
    EXPECT_EQ(o.vertex_count, 0);
}

}  // namespace
