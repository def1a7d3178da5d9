// Fingerprints of what a load and the lighting produce for the test hole: the plants' triangles,
// the loaded objects with their world data and links, and the lit texels. The loader and the
// lighting are tuned for speed; these pin their results to the bytes they gave before, so that a
// faster path that changes a single float fails here. A deliberate change of the plants' shapes or
// of the lighting rule updates the constants.
#include "tests/scene/lighting_test_util.h"
#include "tests/scene/scene_test_util.h"

#include "geometry/mesh.h"
#include "scene/scene_local.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// FNV-1a over the bytes of named fields (never over padding or pointers).
struct Fingerprint {
    uint64_t value = 14695981039346656037ull;
    void add(const void *data, size_t size)
    {
        const uint8_t *p = static_cast<const uint8_t *>(data);
        for (size_t k = 0; k < size; k++) value = (value ^ p[k]) * 1099511628211ull;
    }
    template <class T>
    void add(const T &field)
    {
        add(&field, sizeof field);
    }
};

// Every field of the mesh's vertices and faces; a corner pointer must point at its own vertex.
void add_mesh(Fingerprint &out, const MeshObject *mesh, bool *corners_linked)
{
    out.add(mesh->vertex_count);
    out.add(mesh->face_count);
    for (int32_t v = 0; v < mesh->vertex_count; v++) {
        const MeshVertex &x = mesh->vertices[v];
        out.add(x.position);
        out.add(x.saved_position);
        out.add(x.world_position);
        out.add(x.normal);
        out.add(x.world_normal);
        out.add(x.uv0);
        out.add(x.uv1);
        out.add(x.color);
        out.add(x.blend_weights);
        out.add(x.bone_indices);
        out.add(x.mark);
        out.add(x.grid_cell);
    }
    for (int32_t f = 0; f < mesh->face_count; f++) {
        const MeshFace &x = mesh->faces[f];
        out.add(x.v);
        out.add(x.normal);
        out.add(x.world_normal);
        out.add(x.uv);
        out.add(x.part);
        out.add(x.texture_id);
        out.add(x.texture_id2);
        out.add(x.lightmap_page);
        out.add(x.lightmap_page2);
        out.add(x.material);
        out.add(x.build_flag);
        out.add(x.tag);
        out.add(x.color);
        out.add(x.centre);
        out.add(x.half_extents);
        out.add(x.radius);
        out.add(x.edge_flags);
        out.add(x.mark);
        for (int k = 0; k < 3; k++)
            if (x.corner[k] != &mesh->vertices[x.v[k]]) *corners_linked = false;
    }
}

void add_plants(Fingerprint &out, const SceneWorld *world, bool *corners_linked)
{
    out.add(world->vegetal_count);
    for (int32_t j = 0; j < world->vegetal_count; j++)
        for (int detail = 0; detail < 2; detail++) {
            const VegetalObject &plant = world->vegetal_slots[j][detail];
            out.add(plant.position);
            out.add(plant.bounds_min_y);
            out.add(plant.bounds_max_y);
            out.add(plant.kind);
            out.add(plant.detail);
            out.add(plant.size);
            out.add(plant.crown_pivot);
            out.add(plant.mesh_count);
            for (int k = 0; k < plant.mesh_count; k++) add_mesh(out, plant.meshes[k], corners_linked);
        }
}

std::string hex(uint64_t value)
{
    char text[24];
    snprintf(text, sizeof text, "%016" PRIx64, value);
    return text;
}

}  // namespace

TEST(SceneStableOutput, PlantTriangles)
{
    SceneTestWorld holder;
    scene_test_make_hole(holder.world.get(), 0, 15);
    Fingerprint print;
    bool linked = true;
    add_plants(print, holder.world.get(), &linked);
    EXPECT_TRUE(linked);
    EXPECT_EQ(hex(print.value), "a74bbc5bea894f48");
}

TEST(SceneStableOutput, LoadedHole)
{
    TempDir dir;
    SceneTestWorld source, target;
    scene_test_make_hole(source.world.get(), 60, 4);
    std::string path = dir / "hole.qel";
    ASSERT_EQ(scene_save(source.world.get(), path.c_str(), 0, 0, 0, 2), 1);
    // Appended after an object already there, as tools load.
    MeshObject *first = scene_test_make_block("BLOC", 2.0f, 1.0f, 2.0f);
    first->position[0] = -64.0f;
    first->position[2] = -64.0f;
    ASSERT_GE(scene_add_object(target.world.get(), first), 0);
    SceneWorld *world = target.world.get();
    ASSERT_EQ(scene_load(world, path.c_str(), 0x5C), 0);
    ASSERT_STREQ(scene_last_error(), "");
    Fingerprint print;
    bool linked = true;
    print.add(world->object_count);
    for (int32_t i = 0; i < world->object_count; i++) {
        const MeshObject *mesh = world->objects[i];
        print.add(mesh->name, strlen(mesh->name));
        print.add(mesh->object_type);
        print.add(mesh->position);
        print.add(mesh->rotation);
        print.add(mesh->matrix);
        print.add(mesh->rotation_matrix);
        print.add(mesh->bounds);
        add_mesh(print, mesh, &linked);
        const ObjectLinks *links = world->links[i];
        print.add(links ? links->count : -1);
        if (links) print.add(links->index, sizeof(int32_t) * size_t(links->count));
    }
    add_plants(print, world, &linked);
    EXPECT_TRUE(linked);
    EXPECT_EQ(hex(print.value), "583a9b9ae4028745");
}

TEST(SceneStableOutput, LitTexels)
{
    SceneTestDevice device;
    ASSERT_TRUE(device.made);
    SceneTestWorld holder;
    SceneWorld *world = holder.world.get();
    scene_test_make_hole(world, 30, 2);
    scene_set_light_workers(1);
    lighting_light_all(world);
    Fingerprint print;
    for (int32_t i = 0; i < world->object_count; i++) {
        const ObjectLightmaps *maps = world->lightmaps[i];
        print.add(maps != nullptr);
        if (!maps) continue;
        print.add(maps->texels, size_t(maps->texel_bytes));
        for (int32_t f = 0; f < maps->face_count; f++) {
            print.add(maps->faces[f].cells);
            print.add(maps->faces[f].ab);
        }
    }
    scene_set_light_workers(0);
    scene_shutdown();
    EXPECT_EQ(hex(print.value), "bee837fd1a205c87");
}
