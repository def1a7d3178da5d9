// Internals of scene/: shared by its own files only.
#pragma once

#include "scene/scene.h"

#include <cstdint>

// One face's lightmap as the lighting computed it.
struct FaceLightmap {
    uint8_t cells;         // 1, 2 or 4 atlas cells per side
    float ab[6];           // the corners in the block, normalised to 0..1
    int32_t texel_offset;  // into ObjectLightmaps::texels
    int32_t block_id;      // atlas block; <= 0 none
};

// The lighting's buffers of one object: per face its block, and the RGB texels of all faces,
// face after face, w x w x 3 bytes with w = cells x tile_size / 4.
struct ObjectLightmaps {
    int32_t face_count;
    int32_t tile_size;
    FaceLightmap *faces;  // face_count records (malloc)
    uint8_t *texels;      // texel_bytes (malloc)
    int64_t texel_bytes;
};

// The render context a world draws with.
RenderContext *scene_context(const SceneWorld *world);
// Writes "scene: <text>" to the log.
void scene_log(const char *format, ...) __attribute__((format(printf, 1, 2)));
// render_object_free, then delete. Null does nothing.
void scene_render_object_delete(RenderObject *object);
void scene_lightmaps_free(ObjectLightmaps *lightmaps);
// Frees the ray tree of the face lists (scene/light_rays.cpp). Null does nothing.
void ray_tree_free(SceneRayTree *tree);
// The settings of a new world (the caller's fields and the tables untouched).
void scene_world_reset_settings(SceneWorld *world);
