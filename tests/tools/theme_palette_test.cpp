// The theme's palette scene as the build wrote it, loaded and arranged as the menus and the editor
// see it: the pieces' order and measures, standing on the ground, the winding the ball's rest tests
// need, closed solids, one floor over every lane and a picture for every material.
#include "tests/config_test_util.h"
#include "tests/tools/data_test_util.h"

#include "game/menu_theme.h"
#include "geometry/mesh.h"
#include "platform/gpu/headless/gpu_headless.h"
#include "render/render.h"
#include "scene/scene.h"
#include "tools/data_palette.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <tuple>
#include <vector>

namespace {

class ThemePaletteTest : public DataRunFolderTest {
protected:
    std::unique_ptr<SceneWorld> world = std::make_unique<SceneWorld>();

    void SetUp() override
    {
        DataRunFolderTest::SetUp();
        gpu_headless_reset();
        render_context_construct(&g_render_context);
        g_render_context.width = 64, g_render_context.height = 64;
        ASSERT_EQ(render_create_device(&g_render_context), 1);
        ASSERT_EQ(scene_load(world.get(), "data/themes/garden/blocs.qel", kSceneLoadKeepBuffers), 0)
            << scene_last_error();
        ASSERT_STREQ(scene_last_error(), "");
        menu_theme_arrange_palette(world.get());
    }
    void TearDown() override
    {
        world_release_and_reset(world.get());
        world_release_effects(world.get());
        render_shutdown_device(&g_render_context);
        render_context_destroy(&g_render_context);
    }

    MeshObject *piece(const char *name)
    {
        for (int32_t i = 0; i < world->object_count; i++)
            if (strcmp(world->objects[i]->name, name) == 0) return world->objects[i];
        return nullptr;
    }
    static const DataPiece *entry(const MeshObject *object)
    {
        for (const DataPiece &p : g_data_pieces)
            if (strcmp(p.name, object->name) == 0) return &p;
        return nullptr;
    }
};

const float *corner(const MeshObject *m, const MeshFace &f, int k) { return m->vertices[f.v[k]].position; }

// The engine's normal, from the stored winding.
void face_normal(const MeshObject *m, const MeshFace &f, float *n)
{
    const float *p0 = corner(m, f, 0), *p1 = corner(m, f, 1), *p2 = corner(m, f, 2);
    float a[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]}, b[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
    n[0] = a[1] * b[2] - a[2] * b[1], n[1] = a[2] * b[0] - a[0] * b[2], n[2] = a[0] * b[1] - a[1] * b[0];
    float l = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    for (int k = 0; k < 3; k++) n[k] = l > 0 ? n[k] / l : 0;
}

// Where the vertical line through (x, z) crosses the face: its y, or false when it misses.
bool vertical_hit(const MeshObject *m, const MeshFace &f, float x, float z, float *y)
{
    const float *a = corner(m, f, 0), *b = corner(m, f, 1), *c = corner(m, f, 2);
    float d = (b[0] - a[0]) * (c[2] - a[2]) - (c[0] - a[0]) * (b[2] - a[2]);
    if (std::fabs(d) < 1e-9f) return false;
    float u = ((x - a[0]) * (c[2] - a[2]) - (c[0] - a[0]) * (z - a[2])) / d;
    float v = ((b[0] - a[0]) * (z - a[2]) - (x - a[0]) * (b[2] - a[2])) / d;
    if (u < 0 || v < 0 || u + v > 1) return false;
    *y = a[1] + u * (b[1] - a[1]) + v * (c[1] - a[1]);
    return true;
}

// The rest surfaces (normal y > 0.5) a vertical line crosses, one per height; and the highest face
// it meets (the smallest y, y pointing down), with its normal's y.
struct LineHits {
    std::set<long> rest_heights;
    bool any = false;
    float first_y = 1e9f, first_normal_y = 0;
};

LineHits line_hits(const MeshObject *m, float x, float z)
{
    LineHits hits;
    for (int32_t i = 0; i < m->face_count; i++) {
        float y, n[3];
        if (!vertical_hit(m, m->faces[i], x, z, &y)) continue;
        face_normal(m, m->faces[i], n);
        if (n[1] > 0.5f) hits.rest_heights.insert(std::lround(y * 1000));
        if (!hits.any || y < hits.first_y - 1e-5f) hits.first_y = y, hits.first_normal_y = n[1];
        hits.any = true;
    }
    return hits;
}

void bounds_of(const MeshObject *m, float lo[3], float hi[3])
{
    for (int k = 0; k < 3; k++) lo[k] = 1e9f, hi[k] = -1e9f;
    for (int32_t i = 0; i < m->vertex_count; i++)
        for (int k = 0; k < 3; k++)
            lo[k] = std::min(lo[k], m->vertices[i].position[k]), hi[k] = std::max(hi[k], m->vertices[i].position[k]);
}

// Grid points over [x0, x1] x [z0, z1] every 0.25, nudged off the grid so that no point lies on an
// edge or a quad's diagonal.
template <typename F> void over_grid(float x0, float x1, float z0, float z1, F f)
{
    for (float x = std::ceil(x0 * 4) / 4 + 0.013f; x < x1; x += 0.25f)
        for (float z = std::ceil(z0 * 4) / 4 + 0.007f; z < z1; z += 0.25f) f(x, z);
}

TEST_F(ThemePaletteTest, OrderAndMeasures)
{
    ASSERT_EQ(world->object_count, DATA_PIECE_COUNT);
    int decor_blocks = 0;
    for (int32_t i = 0; i < world->object_count; i++) {
        decor_blocks += strcmp(world->objects[i]->name, "DECORBLOC") == 0;
        if (i > 0) {
            EXPECT_GT(strcmp(world->objects[i - 1]->name, world->objects[i]->name), 0) << i;
        }
    }
    EXPECT_EQ(decor_blocks, 1);
    EXPECT_FLOAT_EQ(g_block_step, 0.25f);
    EXPECT_FLOAT_EQ(g_block_snap_x, 0.125f);
    EXPECT_FLOAT_EQ(g_block_snap_z, 0.125f);
}

TEST_F(ThemePaletteTest, StandOnTheGround)
{
    for (int32_t i = 0; i < world->object_count; i++) {
        const MeshObject *m = world->objects[i];
        SCOPED_TRACE(m->name);
        float lo[3], hi[3];
        bounds_of(m, lo, hi);
        EXPECT_NEAR(lo[0] + hi[0], 0.0f, 1e-4f);
        EXPECT_NEAR(lo[2] + hi[2], 0.0f, 1e-4f);
        EXPECT_NEAR(hi[1], strcmp(m->name, "PALES") == 0 ? 0.2f : 0.0f, 1e-4f);
        EXPECT_LT(lo[1], hi[1] - 0.2f);
    }
}

TEST_F(ThemePaletteTest, RestSurfacesWoundForPlay)
{
    for (int32_t i = 0; i < world->object_count; i++) {
        const MeshObject *m = world->objects[i];
        const DataPiece *p = entry(m);
        ASSERT_NE(p, nullptr) << m->name;
        if (p->kind != kPieceBloc && p->kind != kPieceStart) continue;
        SCOPED_TRACE(m->name);
        float lo[3], hi[3];
        bounds_of(m, lo, hi);
        int met = 0;
        over_grid(lo[0], hi[0], lo[2], hi[2], [&](float x, float z) {
            LineHits hits = line_hits(m, x, z);
            if (!hits.any) return;
            met++;
            EXPECT_GT(hits.first_normal_y, 0.5f) << x << ", " << z;
        });
        EXPECT_GT(met, 0);
    }
    const MeshObject *end = piece("END");
    ASSERT_NE(end, nullptr);
    for (int32_t f = 0; f < end->face_count; f++) {
        float n[3];
        face_normal(end, end->faces[f], n);
        EXPECT_LE(n[1], 0.5f) << "END face " << f;
    }
    const MeshObject *cup = piece("BLOC_CUP");
    ASSERT_NE(cup, nullptr);
    int floor = 0;
    for (int32_t f = 0; f < cup->face_count; f++) {
        if (cup->faces[f].material != kMatMeadow) continue;
        floor++;
        for (int k = 0; k < 3; k++) EXPECT_LT(std::fabs(corner(cup, cup->faces[f], k)[1]), 0.1f);
    }
    EXPECT_GT(floor, 0);
    LineHits centre = line_hits(cup, 0.013f, 0.007f);
    EXPECT_NEAR(centre.first_y, -0.05f, 1e-4f);
}

// Every edge is met once in each direction (a closed solid, wound alike), but for the flag and the
// water membranes.
TEST_F(ThemePaletteTest, ClosedSolids)
{
    for (int32_t i = 0; i < world->object_count; i++) {
        const MeshObject *m = world->objects[i];
        if (strcmp(m->name, "END") == 0) continue;
        SCOPED_TRACE(m->name);
        auto key = [&](int32_t v) {
            const float *p = m->vertices[v].position;
            return std::make_tuple(std::lround(p[0] * 1e4), std::lround(p[1] * 1e4), std::lround(p[2] * 1e4));
        };
        std::map<std::pair<std::tuple<long, long, long>, std::tuple<long, long, long>>, int> directed;
        for (int32_t f = 0; f < m->face_count; f++) {
            const MeshFace &face = m->faces[f];
            if (face.material == kMatWater) continue;
            for (int k = 0; k < 3; k++) directed[{key(face.v[k]), key(face.v[(k + 1) % 3])}]++;
        }
        int open = 0;
        for (const auto &[edge, count] : directed) {
            auto back = directed.find({edge.second, edge.first});
            open += back == directed.end() || back->second != count;
        }
        EXPECT_EQ(open, 0);
    }
}

TEST_F(ThemePaletteTest, OneFloorEverywhere)
{
    for (const DataPiece &p : g_data_pieces) {
        if (!p.lane) continue;
        const MeshObject *m = piece(p.name);
        ASSERT_NE(m, nullptr) << p.name;
        SCOPED_TRACE(p.name);
        float half = DATA_TILE / 2 - 0.01f;
        over_grid(-half, half, -DATA_LANE_HALF + 0.01f, DATA_LANE_HALF - 0.01f, [&](float x, float z) {
            EXPECT_EQ(line_hits(m, x, z).rest_heights.size(), 1u) << x << ", " << z;
        });
    }
}

TEST_F(ThemePaletteTest, TexturesForEveryMaterial)
{
    std::set<int> missing;
    for (int32_t i = 0; i < world->object_count; i++) {
        const MeshObject *m = world->objects[i];
        for (int32_t f = 0; f < m->face_count; f++) {
            int id = m->faces[f].texture_id;
            ASSERT_TRUE(id >= 0 && id < SCENE_MAX_TEXTURES) << m->name;
            const SceneTexture &t = world->textures[id];
            int32_t w = 0, h = 0;
            if (!t.name[0] || !std::filesystem::exists(std::string(ZAV_RUN_DIR) + "/" + t.name + ".png") ||
                !scene_texture_pixels(world.get(), id, &w, &h))
                missing.insert(id);
        }
    }
    EXPECT_TRUE(missing.empty()) << "texture ids without their picture, the first " << (missing.empty() ? 0 : *missing.begin());
    int32_t w = 0, h = 0;
    const uint8_t *leaves = scene_texture_pixels(world.get(), kTexLeaves, &w, &h);
    ASSERT_NE(leaves, nullptr);
    bool clear = false;
    for (int32_t k = 0; k < w * h; k++) clear |= leaves[4 * k + 3] < 128;
    EXPECT_TRUE(clear) << "the leaves keep their alpha";
}

// The renderer blends a face's draw range by its material's two low bits: every palette face is
// opaque (bits 0) but where its picture is see-through (none of the pieces shows leaves), and the
// byte holds the face's texture id above them, so that the configuration's ids name the faces.
TEST_F(ThemePaletteTest, MaterialBitsOpaqueAboveTheTextureId)
{
    ConfigRestore config;
    config_read_file(g_main_config_table, "data/txt/script.txt");
    data_test_free_config_texts();
    std::set<int> materials;
    for (int32_t i = 0; i < world->object_count; i++) {
        const MeshObject *m = world->objects[i];
        SCOPED_TRACE(m->name);
        for (int32_t f = 0; f < m->face_count; f++) {
            const MeshFace &face = m->faces[f];
            const bool see_through = face.texture_id == kTexLeaves;
            ASSERT_EQ(face.material & 3, see_through ? 1 : 0) << "face " << f << " of texture " << face.texture_id;
            ASSERT_EQ(face.material >> 2, face.texture_id) << "face " << f;
            materials.insert(face.material);
        }
    }
    for (int32_t id : {g_material_sable, g_material_sol, g_material_eau, g_material_herbe})
        EXPECT_TRUE(materials.count(id)) << "no palette face of the configuration's material " << id;
    EXPECT_EQ(g_material_ground & 3, 0);
}

}  // namespace
