// Fingerprints of meshes and plants for the scene tests that pin results to their bytes: every
// named field, never padding or pointers (a corner pointer is checked to point at its vertex).
#pragma once

#include "geometry/mesh.h"
#include "scene/scene_local.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

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
inline void add_mesh(Fingerprint &out, const MeshObject *mesh, bool *corners_linked)
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

inline void add_plants(Fingerprint &out, const SceneWorld *world, bool *corners_linked)
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

// Every object: name, placement, matrices, bounds, arrays and links.
inline void add_objects(Fingerprint &print, const SceneWorld *world, bool *linked)
{
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
        add_mesh(print, mesh, linked);
        const ObjectLinks *links = world->links[i];
        print.add(links ? links->count : -1);
        if (links) print.add(links->index, sizeof(int32_t) * size_t(links->count));
    }
}
