// The shadow decals on the headless device, read back from the dynamic object's system copies: a
// plant's rectangle laid on flat receivers, and a caster's shadow cast onto the faces under it.
#include "tests/course/course_test_util.h"

#include "render/render_draw.h"

#include <array>
#include <cmath>
#include <vector>

namespace {

// A flat square of n x n quads of side 2 x half at height y (up is -y, so it faces a light above),
// vertex (r, c) with texture coordinates (r, c) / n; faces of texture 3 and second id 9.
MeshObject *make_floor(float half, float y, int32_t n)
{
    MeshObject *m = mesh_new();
    mesh_alloc_arrays(m, (n + 1) * (n + 1));
    for (int32_t k = 0; k < (n + 1) * (n + 1); k++) {
        MeshVertex &v = m->vertices[m->vertex_count++];
        float r = float(k / (n + 1)) / float(n), c = float(k % (n + 1)) / float(n);
        vec3_set(v.position, half * (2 * r - 1), y, half * (2 * c - 1));
        v.uv0[0] = r;
        v.uv0[1] = c;
    }
    for (int32_t q = 0; q < n * n; q++) {
        int32_t a = q / n * (n + 1) + q % n, b = a + 1, d = a + n + 1, e = d + 1;
        const int32_t tri[2][3] = {{a, b, e}, {a, e, d}};
        for (const auto &t : tri) {
            MeshFace &f = m->faces[m->face_count++];
            memcpy(f.v, t, sizeof f.v);
            f.texture_id = 3;
            f.texture_id2 = 9;
        }
    }
    mesh_link_face_vertices(m);
    mesh_compute_normals(m);
    return m;
}

// A receiver as the shadow builders get it: a local slot over the mesh, identity matrix.
struct Receiver {
    MeshObject *mesh;
    ColliderSlot slot;
    explicit Receiver(MeshObject *m) : mesh(m)
    {
        physics_collider_init_with_vertices(mesh, &slot, 4);
        slot.use_matrix = 1;
    }
    ~Receiver() { physics_collider_release(&slot), mesh_delete(mesh); }
};

// What one output vertex holds, read from the system copy.
struct OutVertex {
    float p[3];
    uint32_t colour;
    float uv[2];
    float st[2];  // second pair, layouts that have it
};

OutVertex vertex(const RenderObject *o, int32_t i)
{
    OutVertex v = {};
    const uint8_t *at = o->vertex_copy + size_t(i) * size_t(o->stride);
    memcpy(v.p, at, 12);
    memcpy(&v.colour, at + 12, 4);
    memcpy(v.uv, at + 16, 8);
    if (o->stride >= 32) memcpy(v.st, at + 24, 8);
    return v;
}

// A face group, unpacked: first index, end index, first vertex, vertex end, textures 1 and 2, third id.
std::vector<std::array<int32_t, 7>> groups(const RenderObject *o)
{
    std::vector<std::array<int32_t, 7>> out;
    for (const ListNode<RenderDrawRange> *n = o->ranges.first; n; n = n->next) {
        const RenderDrawRange &r = n->value;
        out.push_back({r.first_index, r.end_index, r.lowest_vertex, r.vertex_end, r.texture1, r.texture2, r.lightmap_page1});
    }
    return out;
}

class ShadowDecal : public ::testing::Test {
protected:
    SceneTestDevice device;
    RenderContext *context = &g_render_context;
    std::vector<RenderObject *> made;

    void SetUp() override
    {
        ASSERT_TRUE(device.made);
        ASSERT_TRUE(g_render_dynamic_buffers);  // the system copies are what the tests read
        std::vector<uint8_t> pixels(16 * 4, 0x80);
        for (int32_t id : {5, 1200, 1201}) texture_create_in_slot(&context->main_textures, id, 4, 4, pixels.data(), 4, 4, 0);
        render_set_mode(17, context, 53);  // "E" 0: record, do not draw
    }
    void TearDown() override
    {
        render_set_dynamic_object(context, nullptr);
        for (RenderObject *o : made) {
            render_object_free(o);
            delete o;
        }
        course_decal_release_storage();
    }
    // A receiver object made the current dynamic one.
    RenderObject *dynamic(uint32_t flags, int32_t vertices, int32_t indices)
    {
        RenderObject *o = render_object_init(new RenderObject);
        o->context = context;
        o->device = context->device;
        o->flags = flags;
        render_object_create_vertex_buffer(o, vertices, indices, 0);
        made.push_back(o);
        render_set_dynamic_object(context, o);
        return o;
    }
    void light_at(float x, float y, float z) { light_set_point(context, 1, x, y, z, 1, 1, 1, 0, 50); }
    // The output vertex from `from` on with decal coordinates (s, t) in the pair that carries them.
    static int32_t find_st(const RenderObject *o, float s, float t, bool second, int32_t from = 0)
    {
        for (int32_t i = from; i < o->vertices_in_use; i++) {
            OutVertex v = vertex(o, i);
            const float *st = second ? v.st : v.uv;
            if (st[0] == s && st[1] == t) return i;
        }
        return -1;
    }
};

class BallShadow : public ShadowDecal {};

}  // namespace

TEST_F(ShadowDecal, FlatReceiver)
{
    Receiver floor(make_floor(5, 0, 1));
    RenderObject *o = &context->embedded_objects[0];
    texture_bind(context, 5);
    // The light straight above a point inside one of the two faces: the rectangle lies on it whole.
    light_at(2.5f, -10, -2.5f);
    mesh_build_projected_decal(&floor.slot, 2.5f, 0, -2.5f, 1.0f, 0.5f, 1);
    ASSERT_EQ(o->indices_in_use, 6);
    EXPECT_EQ(o->vertices_in_use, 4);
    const float corners[4][3] = {{1.5f, 0, -2.0f}, {3.5f, 0, -2.0f}, {1.5f, 0, -3.0f}, {3.5f, 0, -3.0f}};
    for (int k = 0; k < 4; k++) {
        SCOPED_TRACE(k);
        int32_t i = find_st(o, float(k % 2), float(k / 2), false);
        ASSERT_GE(i, 0);
        for (int c = 0; c < 3; c++) EXPECT_NEAR(vertex(o, i).p[c], corners[k][c], 1e-4f);
        EXPECT_EQ(vertex(o, i).colour, 0xFFFFFFFFu);
    }
    ASSERT_EQ(groups(o).size(), 1u);
    EXPECT_EQ(groups(o)[0], (std::array<int32_t, 7>{0, 6, 0, 4, 5, 0, 0xFFFF}));

    // From below every face turns away: a fresh build leaves nothing.
    light_at(2.5f, 10, -2.5f);
    mesh_build_projected_decal(&floor.slot, 2.5f, 0, -2.5f, 1.0f, 0.5f, 1);
    EXPECT_EQ(o->indices_in_use + o->vertices_in_use + o->ranges.count, 0);

    // "E" at 1: drawn once during the call, no face group.
    light_at(2.5f, -10, -2.5f);
    render_set_mode(17, context, 52);
    ASSERT_TRUE(render_begin_frame(context));
    int draws = gpu_headless_draw_count();
    mesh_build_projected_decal(&floor.slot, 2.5f, 0, -2.5f, 1.0f, 0.5f, 1);
    EXPECT_EQ(gpu_headless_draw_count(), draws + 1);
    render_end_frame(context);
    EXPECT_EQ(o->indices_in_use, 6);
    EXPECT_EQ(o->ranges.count, 0);
}

TEST_F(ShadowDecal, TwoVegetalsOnOneReceiver)
{
    Receiver floor(make_floor(40, 0, 1));
    RenderObject *o = dynamic(0x2100C7, 4000, 12000);
    // A steep light: the centred square, corner (0, 0) at centre - U - V on the floor, with the
    // floor's own texture coordinates (x + 40) / 80, (z + 40) / 80.
    texture_bind(context, 1200);
    light_at(-4, -10, 3);
    mesh_build_projected_decal(&floor.slot, -4, 0, 3, 2.8f, 2.8f, 7);
    int32_t vertices = o->vertices_in_use, indices = o->indices_in_use;
    int32_t corner = find_st(o, 0, 0, true);
    ASSERT_GE(corner, 0);
    OutVertex v = vertex(o, corner);
    EXPECT_NEAR(std::hypot(v.p[0] + 4, v.p[2] - 3), 2.8f * std::sqrt(2.0f), 1e-3f);
    EXPECT_NEAR(v.uv[0], (v.p[0] + 40) / 80, 1e-4f);
    EXPECT_NEAR(v.uv[1], (v.p[2] + 40) / 80, 1e-4f);
    std::vector<uint8_t> before(o->vertex_copy, o->vertex_copy + size_t(vertices) * size_t(o->stride));

    // A low light from -x: the rectangle starts at the centre (its near edge on the floor at
    // centre -/+ V) and reaches away from the light.
    texture_bind(context, 1201);
    light_at(-30, -10, 0);
    mesh_build_projected_decal(&floor.slot, 0, 0, 0, 2.0f, 1.0f, 6);
    for (int t = 0; t < 3; t++) {
        const int32_t i = find_st(o, float(t / 2), float(t % 2), true, vertices);
        ASSERT_GE(i, 0);
        if (t == 2) {
            EXPECT_GT(vertex(o, i).p[0], 2.0f);  // reaching away from the light
            continue;
        }
        EXPECT_NEAR(vertex(o, i).p[0], 0.0f, 1e-4f);
        EXPECT_NEAR(std::fabs(vertex(o, i).p[2]), 1.0f, 1e-4f);
    }

    // Mode 6 kept the first build and added a range and group of its own.
    EXPECT_EQ(std::vector<uint8_t>(o->vertex_copy, o->vertex_copy + before.size()), before);
    std::vector<std::array<int32_t, 7>> g = groups(o);
    ASSERT_EQ(g.size(), 2u);
    EXPECT_EQ(g[0], (std::array<int32_t, 7>{0, indices, 0, vertices, 3, 1200, 0xFFFF}));
    EXPECT_EQ(g[1], (std::array<int32_t, 7>{indices, o->indices_in_use, vertices, o->vertices_in_use, 3, 1201, 0xFFFF}));
}

TEST_F(ShadowDecal, CapacityAndWorkingStorage)
{
    {
        Receiver floor(make_floor(4, 0, 16));
        RenderObject *o = dynamic(0x87, 40, 60);
        light_at(0, -10, 0);
        mesh_build_projected_decal(&floor.slot, 0, 0, 0, 3, 3, 1);
        EXPECT_GT(o->indices_in_use, 0);
        EXPECT_LE(o->vertices_in_use, 40);
        EXPECT_LE(o->indices_in_use, 60);
        for (int32_t i = 0; i < o->indices_in_use; i++) EXPECT_LT(o->index_copy[i], uint32_t(o->vertices_in_use));
    }
    // More faces than the working storage holds, then a caster of more vertices than it holds.
    Receiver big(make_floor(50, 0, 110));
    ASSERT_GT(big.mesh->face_count, kDecalMaxCandidates);
    RenderObject *o = &context->embedded_objects[0];
    render_set_dynamic_object(context, nullptr);
    light_at(0, -10, 0);
    mesh_build_projected_decal(&big.slot, 0, 0, 0, 40, 40, 1);
    EXPECT_GT(o->indices_in_use, 0);
    MeshObject *caster = mesh_build_sphere(0.1f, 64);
    ASSERT_GT(caster->vertex_count, kDecalTemporaryVertices);
    vec3_set(caster->position, 0, -0.5f, 0);
    light_at(0, -50.5f, 0);
    mesh_build_projected_decal_editor(caster, context, &big.slot);
    EXPECT_LE(o->vertices_in_use, o->vertex_count);
    mesh_delete(caster);
}

TEST_F(BallShadow, OverAPlane)
{
    // The floor's two faces carry different texture pairs; the shadow falls across their diagonal.
    Receiver floor(make_floor(5, 0, 1));
    floor.mesh->faces[1].texture_id = 4;
    MeshObject *ball = mesh_build_sphere(0.1f, 4);
    RenderObject *o = &context->embedded_objects[0];
    light_set_ambient(context, 0.2f, 0.4f, 0.6f);
    for (float height : {0.5f, 12.0f, 14.0f}) {
        SCOPED_TRACE(height);
        vec3_set(ball->position, 0, -height, 0);
        light_at(0, -height - 50, 0);
        mesh_build_projected_decal_editor(ball, context, &floor.slot);
        if (height > 13) {
            EXPECT_EQ(o->indices_in_use + o->ranges.count, 0);
            continue;
        }
        ASSERT_GT(o->indices_in_use, 0);
        for (int32_t i = 0; i < o->vertices_in_use; i++) {
            OutVertex v = vertex(o, i);
            EXPECT_NEAR(v.p[1], 0.0f, 1e-4f);
            EXPECT_LT(std::hypot(v.p[0], v.p[2]), 0.14f);
            EXPECT_EQ(v.colour >> 24, 0xFFu);
            for (int k = 0; k < 3; k++) EXPECT_NEAR(double(v.colour >> (16 - 8 * k) & 255), 51.0 * (k + 1), 1.0);
        }
        std::vector<std::array<int32_t, 7>> g = groups(o);
        ASSERT_EQ(g.size(), 2u);
        EXPECT_EQ(g[0], (std::array<int32_t, 7>{0, g[1][0], -1, -1, g[0][4], 9, 0}));
        EXPECT_EQ(g[1], (std::array<int32_t, 7>{g[0][1], o->indices_in_use, -1, -1, 7 - g[0][4], 9, 0}));
    }
    mesh_delete(ball);
}


TEST_F(BallShadow, CasterFaceCastWholeIsNotCastAgain)
{
    // One caster triangle turned away from a light above, over two floors one under the other.
    MeshScratch scratch = {};
    for (float y : {0.0f, 1.0f}) {
        MeshObject *floor = make_floor(5, y, 1);
        mesh_update_world_transform(floor);
        mesh_scratch_append_object(&scratch, floor);
        mesh_delete(floor);
    }
    Receiver both(mesh_from_scratch(&scratch));
    mesh_scratch_free(&scratch);
    mesh_compute_normals(both.mesh);
    MeshObject *caster = make_floor(0.5f, 0, 1);
    caster->face_count = 1;  // corners (0, 0), (0, 1), (1, 1) of the square, turned to face down
    std::swap(caster->faces[0].v[1], caster->faces[0].v[2]);
    mesh_link_face_vertices(caster);
    mesh_compute_normals(caster);
    RenderObject *o = &context->embedded_objects[0];
    // Wholly over one face of each floor: cast once. Across their diagonal: cut, so cast on both sides.
    const struct {
        float x, z;
        bool once;
    } cases[] = {{-3, 1, true}, {0.1f, -0.1f, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.x);
        vec3_set(caster->position, c.x, -1, c.z);
        light_at(c.x + 0.3f, -40, c.z + 0.3f);
        mesh_build_projected_decal_editor(caster, context, &both.slot);
        if (c.once) EXPECT_EQ(o->indices_in_use, 3);
        else EXPECT_GT(o->indices_in_use, 6);
    }
    mesh_delete(caster);
}
