// Small lit scenes for the lighting tests: a 10 x 10 GROUND tile with a 2 x 2 x 2 box standing on
// its middle, in either winding, lit as the hole opener lights; and the lit colour of a world
// point read back through the companion's lightmap coordinates and the texels.
#pragma once

#include "tests/scene/scene_test_util.h"

#include "scene/scene_local.h"

#include <algorithm>
#include <array>
#include <cmath>

// The tile (object 0) and the box (object 1). The tile as the editor lays it has its normal up; the
// box as hole blocks are stored has its normals inward. Light colour (0.5, 0.4, 0.3), so that
// ambient + light stays below 1.
inline void lighting_make_scene(SceneWorld *world, bool tile_inverted, bool box_inward, const float sun[3])
{
    MeshObject *tile = scene_test_make_tile();
    if (tile_inverted) mesh_invert_in_place(tile);
    scene_add_object(world, tile);
    MeshObject *box = scene_test_make_block("BLOC", 2.0f, 2.0f, 2.0f);
    if (!box_inward) mesh_invert_in_place(box);
    scene_add_object(world, box);
    const float light[4] = {0.5f, 0.4f, 0.3f, 1.0f};
    memcpy(world->light_colour, light, sizeof light);
    memcpy(world->light_vector, sun, sizeof world->light_vector);
}

// Set-up, face lists and every object's lightmaps, in the hole opener's order.
inline void lighting_light_all(SceneWorld *world)
{
    world_setup_lighting_textures(world);
    world_build_object_face_lists(world, -2);
    for (int32_t i = 0; i < world->object_count; i++) lightmap_compute_all(world, i);
}

// The texel colour of object i at world point p (on one of its faces), or {-1, -1, -1}.
inline std::array<int, 3> lighting_colour_at(const SceneWorld *world, int32_t i, const float p[3])
{
    const MeshObject *lit = world->companions[i];
    const ObjectLightmaps *maps = world->lightmaps[i];
    if (!lit || !maps) return {-1, -1, -1};
    for (int32_t f = 0; f < lit->face_count; f++) {
        const MeshVertex *c[3];
        for (int k = 0; k < 3; k++) c[k] = &lit->vertices[lit->faces[f].v[k]];
        // Barycentric coordinates of p in the face's plane, by areas.
        float e1[3], e2[3], d[3], n[3];
        for (int a = 0; a < 3; a++) {
            e1[a] = c[1]->world_position[a] - c[0]->world_position[a];
            e2[a] = c[2]->world_position[a] - c[0]->world_position[a];
            d[a] = p[a] - c[0]->world_position[a];
        }
        n[0] = e1[1] * e2[2] - e1[2] * e2[1];
        n[1] = e1[2] * e2[0] - e1[0] * e2[2];
        n[2] = e1[0] * e2[1] - e1[1] * e2[0];
        float area = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
        if (area <= 0.0f || std::fabs(d[0] * n[0] + d[1] * n[1] + d[2] * n[2]) > 1e-3f * std::sqrt(area)) continue;
        auto twice_area = [&n](const float x[3], const float y[3]) {
            float m[3] = {x[1] * y[2] - x[2] * y[1], x[2] * y[0] - x[0] * y[2], x[0] * y[1] - x[1] * y[0]};
            return m[0] * n[0] + m[1] * n[1] + m[2] * n[2];
        };
        float b1 = twice_area(d, e2) / area, b2 = twice_area(e1, d) / area;
        if (b1 < -1e-4f || b2 < -1e-4f || b1 + b2 > 1.0001f) continue;
        const FaceLightmap &map = maps->faces[f];
        int32_t w = std::max(map.cells * maps->tile_size / 4, 1);
        float u = (1 - b1 - b2) * c[0]->uv1[0] + b1 * c[1]->uv1[0] + b2 * c[2]->uv1[0];
        float v = (1 - b1 - b2) * c[0]->uv1[1] + b1 * c[1]->uv1[1] + b2 * c[2]->uv1[1];
        int32_t x = std::clamp(int32_t(u * float(w)), 0, w - 1), y = std::clamp(int32_t(v * float(w)), 0, w - 1);
        const uint8_t *texel = maps->texels + map.texel_offset + 3 * (y * w + x);
        return {texel[0], texel[1], texel[2]};
    }
    return {-1, -1, -1};
}
