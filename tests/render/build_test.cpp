// Render objects from meshes: ungrouped objects, lightmap coordinates inside their atlas blocks,
// handedness, keyframe buffers, the simple loader, and meshes with bad part numbers or indices.
#include "tests/render/render_mesh_util.h"
#include "tests/render/render_test_util.h"

#include <set>

namespace {

class RenderBuildTest : public RenderTest {
protected:
    std::vector<MeshObject *> meshes;
    std::vector<RenderObject *> objects;

    void SetUp() override
    {
        RenderTest::SetUp();
        make_device(true);  // dynamic buffers: the system copies show what was written
    }

    void TearDown() override
    {
        for (RenderObject *o : objects) delete_object(o);
        for (MeshObject *m : meshes) mesh_delete(m);
        g_lightmap_tile_size = 16;
        RenderTest::TearDown();
    }

    MeshObject *keep(MeshObject *mesh) { return meshes.push_back(mesh), mesh; }

    RenderObject *build(const MeshObject *mesh, uint32_t flags)
    {
        RenderObject *o = render_build_mesh_render_objects(context, mesh, flags, nullptr);
        if (o) objects.push_back(o);
        return o;
    }

    // The ranges as aligned values (the records are packed).
    struct Range {
        int32_t first_index, end_index, lowest_vertex, vertex_end;
        int texture1, texture2, lightmap_page1, material_bits, part;
    };

    static std::vector<Range> ranges(const RenderObject *o)
    {
        std::vector<Range> out;
        for (const ListNode<RenderDrawRange> *n = o->ranges.first; n; n = n->next) {
            const RenderDrawRange r = n->value;
            out.push_back(Range{r.first_index, r.end_index, r.lowest_vertex, r.vertex_end, r.texture1, r.texture2,
                                r.lightmap_page1, r.material_bits, r.part});
        }
        return out;
    }

    static const float *vertex_floats(const RenderObject *o, int32_t i, int offset)
    {
        return reinterpret_cast<const float *>(o->vertex_copy + size_t(i) * size_t(o->stride) + size_t(offset));
    }
};

// Two parts sharing vertex 2, texture ids below and above 1024, and two ids that the packed key
// cannot tell apart (1 and 1025).
MeshObject *strip_mesh()
{
    return render_test_mesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}, {2, 1, 0}, {3, 0, 0}},
                            {{0, 1, 2, 0, 3},
                             {1, 4, 2, 1, 3},
                             {2, 3, 0, 0, 1100},
                             {4, 5, 2, 1, 1500, 1},
                             {4, 6, 5, 0, 2},
                             {0, 2, 3, 0, 1},
                             {1, 4, 5, 0, 1025}});
}

TEST_F(RenderBuildTest, UngroupedObjectsKeepTheMeshVerticesAndLoseTheirFlag)
{
    MeshObject *mesh = keep(strip_mesh());
    RenderObject *o = build(mesh, 0x800000 | 0x2 | 0x80);
    EXPECT_EQ(o->flags, 0x82u);
    EXPECT_EQ(o->vertex_count, mesh->vertex_count);
    EXPECT_EQ(*vertex_floats(o, 5, 0), 2.0f);
    EXPECT_EQ(build(keep(render_test_mesh({{0, 0, 0}}, {})), 0x2), nullptr);
}

TEST_F(RenderBuildTest, LightmapCoordinatesFallInsideTheirBlocks)
{
    for (int32_t tile : {16, 32}) {
        lightmap_atlas_free(context);
        g_lightmap_tile_size = tile;
        lightmap_atlas_reset(context, 0, 0, 0);
        MeshObject *mesh = keep(strip_mesh());
        for (int f = 0; f < mesh->face_count; f++) {
            int32_t size = f % 3 == 0 ? 4 : f % 3 == 1 ? 2 : 1;
            mesh->faces[f].lightmap_page = size == 4 ? lightmap_atlas_alloc_block(context)
                                                     : lightmap_atlas_alloc_cells(context, size);
            mesh->faces[f].part = 0;
        }
        for (int i = 0; i < mesh->vertex_count; i++) {
            mesh->vertices[i].uv1[0] = float(i % 2);
            mesh->vertices[i].uv1[1] = float((i / 2) % 2);
        }
        // Each face alone, so that no vertex is shared between faces of different blocks.
        for (int f = 0; f < mesh->face_count; f++) {
            MeshObject *one = keep(render_test_mesh({}, {}));
            mesh_alloc_arrays(one, 3);
            one->vertex_count = 3;
            one->face_count = 1;
            for (int k = 0; k < 3; k++) one->vertices[k] = mesh->vertices[mesh->faces[f].v[k]];
            one->faces[0] = mesh->faces[f];
            for (int k = 0; k < 3; k++) one->faces[0].v[k] = k;
            RenderObject *o = build(one, 0x200 | 0x4);
            ASSERT_EQ(o->format, 6);
            const LightmapBlock &block =
                list_get_atlas_page(&context->atlas_blocks, one->faces[0].lightmap_page)->value;
            int32_t rect[4];
            lightmap_block_rect(context, &block, rect);
            for (int k = 0; k < 3; k++) {
                const float *uv = vertex_floats(o, k, 24);
                EXPECT_GE(uv[0] * 128.0f, float(rect[0]) - 1e-3f) << tile << " face " << f;
                EXPECT_LE(uv[0] * 128.0f, float(rect[0] + rect[2]) + 1e-3f) << tile << " face " << f;
                EXPECT_GE(uv[1] * 128.0f, float(rect[1]) - 1e-3f) << tile << " face " << f;
                EXPECT_LE(uv[1] * 128.0f, float(rect[1] + rect[3]) + 1e-3f) << tile << " face " << f;
            }
            EXPECT_EQ(ranges(o)[0].lightmap_page1, block.page);
        }
    }
}

TEST_F(RenderBuildTest, HandednessFollowsTheWindingOfTheFirstPair)
{
    // uv0 = (x, y): (0,0), (1,0), (1,1) turns one way, (0,0), (1,1), (1,0) the other.
    MeshObject *mesh = keep(render_test_mesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {5, 0, 0}, {6, 1, 0}, {6, 0, 0}},
                                             {{0, 1, 2}, {3, 4, 5}}));
    RenderObject *o = build(mesh, 0x8 | 0x400 | 0x40000 | 0x4);
    ASSERT_EQ(o->format, 9);
    // Pair 3 of layout 9 sits at byte 52.
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(vertex_floats(o, i, 52)[0], 1.0f);
        EXPECT_EQ(vertex_floats(o, i + 3, 52)[0], -1.0f);
        EXPECT_EQ(vertex_floats(o, i + 3, 52)[1], 1.0f);
    }
}

TEST_F(RenderBuildTest, AKeyframedMeshGetsOneFilledBufferPerKeyframe)
{
    MeshObject *mesh = keep(render_test_tetrahedron());
    render_test_keyframes(mesh, 3);
    RenderObject *o = build(mesh, 0x1000000 | 0x80000 | 0x8 | 0x4);
    ASSERT_EQ(o->frame_count, 3);
    EXPECT_EQ(o->flags & 0x1000000u, 0x1000000u);
    for (int k = 0; k < 3; k++) {
        const uint8_t *device_bytes = gpu_headless_vertex_bytes(o->frame_buffers[k]);
        ASSERT_NE(device_bytes, nullptr);
        EXPECT_EQ(memcmp(device_bytes, o->frame_copies[k], size_t(o->stride) * 4), 0);
        EXPECT_EQ(render_test_read<float>(o->frame_copies[k], size_t(o->stride) + 0), 1.0f + float(k));
        EXPECT_EQ(render_test_read<float>(o->frame_copies[k], size_t(o->stride) + 16), float(k));  // normal y
    }
    EXPECT_EQ(*vertex_floats(o, 1, 0), 1.0f);
}

TEST_F(RenderBuildTest, BadPartNumbersAndIndicesNeverLeaveTheMesh)
{
    MeshObject *mesh = keep(render_test_mesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}},
                                             {{0, 1, 2, 12}, {0, 2, 3, -3}, {0, 1, 3, 8}, {0, 1, 99, 7}, {0, -1, 2}}));
    RenderObject *o = build(mesh, 0x2);
    std::vector<Range> r = ranges(o);
    std::set<int> parts;
    int32_t indices = 0;
    for (const Range &range : r) {
        parts.insert(range.part);
        indices += range.end_index - range.first_index;
    }
    EXPECT_EQ(parts, (std::set<int>{0, 8}));
    EXPECT_EQ(indices, 9);  // the two faces with bad indices are left out
    EXPECT_EQ(o->indices_in_use, 9);

    RenderObject *loaded = render_object_init(new RenderObject);
    objects.push_back(loaded);
    render_object_load_mesh_vertices(loaded, mesh, 0x2);
    EXPECT_EQ(loaded->index_count, 15);
    for (int k = 9; k < 15; k++) EXPECT_EQ(loaded->index_copy[k], 0u);
}

TEST_F(RenderBuildTest, TheSimpleLoaderTakesSharedVerticesAndCornerPairs)
{
    MeshObject *mesh = keep(strip_mesh());
    for (int f = 0; f < mesh->face_count; f++)
        for (int k = 0; k < 6; k++) mesh->faces[f].uv[k] = float(10 * f + k);
    RenderObject *o = render_object_init(new RenderObject);
    objects.push_back(o);
    render_object_load_mesh_vertices(o, mesh, 0x2 | 0x4);
    EXPECT_EQ(o->has_draw_ranges, 0);
    EXPECT_EQ(o->vertex_count, mesh->vertex_count);
    EXPECT_EQ(o->index_count, 3 * mesh->face_count);
    for (int f = 0; f < mesh->face_count; f++)
        for (int k = 0; k < 3; k++) EXPECT_EQ(o->index_copy[3 * f + k], uint32_t(mesh->faces[f].v[k]));
    // A shared vertex keeps the pair of the last face that names it: vertex 1 is corner 0 of face 6.
    EXPECT_EQ(vertex_floats(o, 1, 16)[0], 60.0f);
    EXPECT_EQ(vertex_floats(o, 1, 16)[1], 61.0f);

    // Loading again keeps an effect compiled into the object its own.
    o->flags |= kRenderOwnEffect;
    o->effect = make_effect();
    render_object_load_mesh_vertices(o, mesh, 0x2 | 0x4);
    EXPECT_TRUE(o->flags & kRenderOwnEffect);
    EXPECT_EQ(o->format, 3);

    RenderObject box;
    render_object_from_primitive(&box);
    EXPECT_EQ(box.format, 3);
    EXPECT_EQ(box.vertex_count, 8);
    EXPECT_EQ(box.index_count, 36);
    EXPECT_NE(box.vertex_buffer, nullptr);
    render_object_free(&box);
}

}  // namespace
