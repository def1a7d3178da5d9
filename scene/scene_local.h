// Internals of scene/: shared by its own files only.
#pragma once

#include "scene/scene.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) && defined(__GNUC__)
#include <emmintrin.h>
#endif

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
// Lets go of texture slot `slot` (a texture or a normal map) that the world made. The hole and the
// menu worlds share the slots: when the other one holds its own picture for the slot, that goes
// back in instead, so that it still draws with it.
void scene_texture_slot_release(SceneWorld *world, int32_t slot);
// Writes "scene: <text>" to the log.
void scene_log(const char *format, ...) __attribute__((format(printf, 1, 2)));
// render_object_free, then delete. Null does nothing.
void scene_render_object_delete(RenderObject *object);
void scene_lightmaps_free(ObjectLightmaps *lightmaps);
// The ray tree over the meshes' world triangles (those with an area), as they are now; null without
// memory. Its nodes are made by ray_tree_finish, which the first lighting calls.
SceneRayTree *ray_tree_build(MeshObject *const *meshes, int32_t mesh_count);
// Makes the tree's nodes once (main thread, before any query). Null does nothing.
void ray_tree_finish(SceneRayTree *tree);
// 1 when a triangle crosses the open segment p0-p1; 0 when it is clear, there is no tree or it is
// not finished. Read-only once finished: any number of threads may ask at once.
int ray_tree_blocked(const SceneRayTree *tree, const float p0[3], const float p1[3]);
// Frees the ray tree of the face lists (scene/light_rays.cpp). Null does nothing.
void ray_tree_free(SceneRayTree *tree);
// Makes the standard effect when it is missing and the world's context has a device; a failed
// compile is logged and leaves the entry null.
void scene_ensure_standard_effect(SceneWorld *world);
// The object's blocks in the atlas for the faces of the buffers, their texels uploaded; false
// (logged) when the atlas is full.
bool scene_place_lightmap_blocks(SceneWorld *world, int32_t i, ObjectLightmaps *maps);
// The lit companion of an object with lightmaps in the atlas: three vertices per face, lightmap
// coordinates inside each face's block. Null without memory.
MeshObject *scene_make_companion(const MeshObject *object, const ObjectLightmaps *maps);
// Runs work(context, item) for items 0 to count - 1 on the light workers and the calling thread;
// returns when all are done, with the number of items other threads ran. Items must not depend on
// each other.
int32_t light_pool_run(int32_t count, void (*work)(void *context, int32_t item), void *context);
// The object's world transform, then its world box into `bounds` (no vertices: 10000 / -10000).
void scene_update_object_bounds(MeshObject *mesh);
// world_compute_bounds_and_links for a world whose objects from `bounds_known_from` on have just
// had their bounds computed (a load computes them as it reads each object).
void scene_compute_bounds_and_links(SceneWorld *world, int32_t bounds_known_from);

// Zeroes one record in place with 16-byte stores, for arrays written record by record (a load
// writes most of its bytes so, and clearing whole arrays first would write them twice). The
// compiler's own clear of this size is a string instruction, slow to start at every record: the
// zero is hidden from it so that it keeps the plain stores.
template <class T>
inline void scene_clear_record(T *record)
{
#if defined(__SSE2__) && defined(__GNUC__)
    static_assert(sizeof(T) % 8 == 0);
    char *p = reinterpret_cast<char *>(record);
    __m128i zero = _mm_setzero_si128();
    __asm__("" : "+x"(zero));
    size_t k = 0;
    for (; k + 16 <= sizeof(T); k += 16) _mm_storeu_si128(reinterpret_cast<__m128i *>(p + k), zero);
    if (k < sizeof(T)) _mm_storel_epi64(reinterpret_cast<__m128i *>(p + k), zero);
#else
    memset(static_cast<void *>(record), 0, sizeof(T));
#endif
}

// The settings of a new world (the caller's fields and the tables untouched).
void scene_world_reset_settings(SceneWorld *world);

// ---- the scene file -------------------------------------------------------------------------------

struct PagedBuffer;
struct MemoryReader;

// Section tags, in the order a file holds them.
constexpr uint32_t scene_tag(const char (&tag)[5])
{
    return uint32_t(uint8_t(tag[0])) | uint32_t(uint8_t(tag[1])) << 8 | uint32_t(uint8_t(tag[2])) << 16 |
           uint32_t(uint8_t(tag[3])) << 24;
}
constexpr uint32_t kSceneTagSettings = scene_tag("SETS");
constexpr uint32_t kSceneTagTextures = scene_tag("TEXS");
constexpr uint32_t kSceneTagObjects = scene_tag("OBJS");
constexpr uint32_t kSceneTagVegetals = scene_tag("VEGS");
constexpr uint32_t kSceneTagLightmaps = scene_tag("LMAP");
constexpr uint16_t kSceneSectionVersion = 1;

struct SceneFileTexture {
    int32_t id;
    uint8_t options;
    char name[128];
};

struct SceneFileVegetal {
    VegetalParams params;
    VegetalInstance instance;
    float position[3];
};

// One object record as the section lists it: its header read and checked, its arrays still in the
// section's bytes.
struct SceneObjectRecord {
    const uint8_t *name;
    uint8_t name_length;
    int32_t object_type;
    float position[3];
    float rotation[3];
    uint32_t vertices;
    uint32_t faces;
    const uint8_t *vertex_bytes;
    const uint8_t *face_bytes;
};

// Everything a file holds, parsed and checked before any of it reaches the world. The objects are
// owned here until they are committed.
struct SceneFileData {
    int32_t first_block_index;
    int32_t scene_word_1;
    float view[3];
    float ambient_colour[4];
    float light_colour[4];
    float light_vector[3];
    float light_factor;
    int32_t lightmap_tile_size;
    SceneFileTexture *textures;  // texture_count (malloc)
    int32_t texture_count;
    MeshObject **objects;  // object_count (malloc)
    int32_t object_count;
    // The objects' records, read in order before their meshes are built (object_count, malloc),
    // the reason each object that could not be built gives (null: built), and the reason of the
    // record that ended the reading (null: all read).
    SceneObjectRecord *object_records;
    const char **object_reasons;
    const char *record_error;
    int64_t face_total;
    SceneFileVegetal *vegetals;  // vegetal_count (malloc)
    int32_t vegetal_count;
    VegetalObject (*plants)[2];  // vegetal_count, built near and far from the records (malloc)
    // The lightmap section, per object of this file: its buffers (null: none stored) and mode.
    ObjectLightmaps **lightmaps;  // lightmap_count = the file's object count (malloc)
    uint8_t *prepare_modes;       // lightmap_count (malloc)
    int32_t lightmap_count;
    int32_t stored_tile_size;  // 0: no lightmap section
    int64_t lightmap_faces;    // faces with lightmaps
};

void scene_file_data_free(SceneFileData *data);

// Section payloads (after the section version): each writer appends to the buffer; each parser
// reads a whole payload into the data, or returns 0 with a reason in `error`.
void scene_write_settings(PagedBuffer *out, const SceneWorld *world);
void scene_write_textures(PagedBuffer *out, const SceneWorld *world);
void scene_write_objects(PagedBuffer *out, const SceneWorld *world);
void scene_write_vegetals(PagedBuffer *out, const SceneWorld *world);
int scene_parse_settings(MemoryReader *in, SceneFileData *data, char *error, size_t error_size);
int scene_parse_textures(MemoryReader *in, SceneFileData *data, char *error, size_t error_size);
// The object section in two passes: the count and the records read in order (0 with a reason in
// `error` for a bad count; a bad record ends the reading with its reason in data->record_error),
// then each object's mesh built from its record by scene_build_object, on any thread, one thread
// per object. scene_objects_error gives the reason of the first object, in file order, that could
// not be read or built: what reading them one by one would have stopped at; null when none.
int scene_read_object_records(MemoryReader *in, SceneFileData *data, int32_t room, char *error, size_t error_size);
void scene_build_object(SceneFileData *data, int32_t k);
const char *scene_objects_error(const SceneFileData *data);
int scene_parse_vegetals(MemoryReader *in, SceneFileData *data, char *error, size_t error_size);
// The lightmap section: written for a lit world holding lightmaps. Parsed after the object records,
// against their face counts (the meshes may still be in the making); the faces' texels are
// resampled (nearest) to `tile_size` when it differs from the stored one.
bool scene_has_lightmaps(const SceneWorld *world);
void scene_write_lightmaps(PagedBuffer *out, const SceneWorld *world);
int scene_parse_lightmaps(MemoryReader *in, SceneFileData *data, int32_t tile_size, char *error, size_t error_size);
// A new buffer of the face count and tile size, texels `texel_bytes` (malloc'd, zeroed); null
// without memory.
ObjectLightmaps *scene_lightmaps_new(int32_t face_count, int32_t tile_size, int64_t texel_bytes);

// 1 for a lightmap tile size the atlas takes: 4, 8, 16, 32, 64 or 128.
int scene_valid_tile_size(int32_t t);

// ---- the reader's rules, which the writer checks a world against before it saves -------------------

constexpr uint32_t kSceneMaxElements = 1000000;              // vertices or faces of one object
constexpr int64_t kSceneMaxFileFaces = 4000000;              // faces of one file
constexpr int64_t kSceneMaxTexelBytes = int64_t(512) << 20;  // lightmap texels of a file, all objects

// No leading separator, no drive letter, no ".." component: the name stays under the data folder.
bool scene_relative_name(const char *name);
// The float words of a plant's parameter block are numbers (the build clamps their ranges).
bool scene_finite_plant_params(const VegetalParams &params);
// A stored face lightmap: 1, 2 or 4 cells, corners within 0..1.
bool scene_valid_face_lightmap(const FaceLightmap &face);
// The world breaks none of the reader's rules for the sections a save writes (the lightmap section
// when `lightmaps`); else false with the object and field that break one in `why`.
bool scene_check_world(const SceneWorld *world, bool lightmaps, char *why, size_t why_size);
// A name as the writer stores it (at most 127 bytes), control bytes shown as '?' (one log line).
void scene_shown_name(const char *name, char out[128]);
// The lightmap section's part of that check (scene_lightmaps.cpp).
bool scene_check_lightmaps(const SceneWorld *world, char *why, size_t why_size);
