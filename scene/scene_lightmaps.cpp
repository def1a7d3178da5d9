// The lightmap section of the scene file (a lit copy): per object its preparation mode and, for
// objects prepared with lightmaps, each face's cells and corners in its block and its texels.
#include "scene/scene_local.h"

#include "geometry/mesh.h"
#include "geometry/stream.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int32_t block_side(int32_t cells, int32_t tile_size) { return cells * tile_size / 4; }

bool fail(char *error, size_t error_size, const char *reason)
{
    snprintf(error, error_size, "%s", reason);
    return false;
}

// The object's lightmaps as a file stores them: whole, of the object's face count and the tile
// size of the others, and not for an object prepared reduced (its lightmaps are never drawn).
bool stored(const SceneWorld *world, int32_t i, int32_t tile_size)
{
    const ObjectLightmaps *maps = world->lightmaps[i];
    return maps && world->objects[i] && world->prepare_modes[i] != 2 && maps->tile_size == tile_size &&
           maps->face_count == world->objects[i]->face_count && maps->faces && maps->texels;
}

int32_t world_tile_size(const SceneWorld *world)
{
    for (int32_t i = 0; i < world->object_count; i++)
        if (world->lightmaps[i] && scene_valid_tile_size(world->lightmaps[i]->tile_size))
            return world->lightmaps[i]->tile_size;
    return 0;
}

// Nearest resampling of a w x w RGB block to side x side.
void resample(const uint8_t *from, int32_t w, uint8_t *to, int32_t side)
{
    for (int32_t y = 0; y < side; y++)
        for (int32_t x = 0; x < side; x++) {
            int32_t sx = x * w / side, sy = y * w / side;
            memcpy(to + 3 * (size_t(y) * size_t(side) + size_t(x)), from + 3 * (size_t(sy) * size_t(w) + size_t(sx)),
                   3);
        }
}

}  // namespace

ObjectLightmaps *scene_lightmaps_new(int32_t face_count, int32_t tile_size, int64_t texel_bytes)
{
    ObjectLightmaps *maps = static_cast<ObjectLightmaps *>(calloc(1, sizeof(ObjectLightmaps)));
    if (!maps) return nullptr;
    maps->face_count = face_count;
    maps->tile_size = tile_size;
    maps->texel_bytes = texel_bytes;
    maps->faces = static_cast<FaceLightmap *>(calloc(size_t(face_count > 0 ? face_count : 1), sizeof(FaceLightmap)));
    maps->texels = static_cast<uint8_t *>(calloc(size_t(texel_bytes > 0 ? texel_bytes : 1), 1));
    if (!maps->faces || !maps->texels) {
        scene_lightmaps_free(maps);
        return nullptr;
    }
    return maps;
}

bool scene_valid_face_lightmap(const FaceLightmap &face)
{
    for (float value : face.ab)
        if (!(value >= 0.0f && value <= 1.0f)) return false;  // NaN fails too
    return face.cells == 1 || face.cells == 2 || face.cells == 4;
}

bool scene_check_lightmaps(const SceneWorld *world, char *why, size_t why_size)
{
    const int32_t t = world_tile_size(world);
    int64_t bytes = 0;
    for (int32_t i = 0; i < world->object_count; i++) {
        const MeshObject *mesh = world->objects[i];
        if (!mesh) continue;
        char name[128];  // filled when a rule is broken
        if (world->prepare_modes[i] > 2) {
            scene_shown_name(mesh->name, name);
            snprintf(why, why_size, "object %d \"%s\": preparation mode %d", int(i), name,
                     int(world->prepare_modes[i]));
            return false;
        }
        if (!stored(world, i, t)) continue;
        const ObjectLightmaps *maps = world->lightmaps[i];
        for (int32_t f = 0; f < maps->face_count; f++) {
            const FaceLightmap &face = maps->faces[f];
            if (!scene_valid_face_lightmap(face)) {
                scene_shown_name(mesh->name, name);
                snprintf(why, why_size, "object %d \"%s\": face %d lightmap cells or corners", int(i), name, int(f));
                return false;
            }
            bytes += int64_t(block_side(face.cells, t)) * block_side(face.cells, t) * 3;
        }
    }
    if (bytes > kSceneMaxTexelBytes) {
        snprintf(why, why_size, "lightmaps: more than %lld texel bytes", (long long)kSceneMaxTexelBytes);
        return false;
    }
    return true;
}

bool scene_has_lightmaps(const SceneWorld *world)
{
    int32_t t = world_tile_size(world);
    for (int32_t i = 0; t && i < world->object_count; i++)
        if (stored(world, i, t)) return true;
    return false;
}

void scene_write_lightmaps(PagedBuffer *out, const SceneWorld *world)
{
    const int32_t t = world_tile_size(world);
    uint32_t count = 0;
    for (int32_t i = 0; i < world->object_count; i++) count += world->objects[i] ? 1 : 0;
    paged_buffer_write_i32(out, t);
    paged_buffer_write_u32(out, count);
    for (int32_t i = 0; i < world->object_count; i++) {
        if (!world->objects[i]) continue;
        bool faces = stored(world, i, t);
        paged_buffer_write_u8(out, world->prepare_modes[i]);
        paged_buffer_write_u32(out, faces ? uint32_t(world->lightmaps[i]->face_count) : 0);
        if (!faces) continue;
        for (int32_t f = 0; f < world->lightmaps[i]->face_count; f++) {
            const FaceLightmap &face = world->lightmaps[i]->faces[f];
            paged_buffer_write_u8(out, face.cells);
            for (float value : face.ab) paged_buffer_write_f32(out, value);
        }
    }
    for (int32_t i = 0; i < world->object_count; i++) {
        if (!world->objects[i] || !stored(world, i, t)) continue;
        const ObjectLightmaps *maps = world->lightmaps[i];
        for (int32_t f = 0; f < maps->face_count; f++) {
            const FaceLightmap &face = maps->faces[f];
            int64_t bytes = int64_t(block_side(face.cells, t)) * block_side(face.cells, t) * 3;
            if (face.texel_offset >= 0 && face.texel_offset + bytes <= maps->texel_bytes)
                paged_buffer_write(out, maps->texels + face.texel_offset, size_t(bytes));
            else
                for (int64_t k = 0; k < bytes; k++) paged_buffer_write_u8(out, 0);
        }
    }
}

int scene_parse_lightmaps(MemoryReader *in, SceneFileData *data, int32_t tile_size, char *error, size_t error_size)
{
    int32_t t = 0;
    uint32_t count = 0;
    memory_reader_read_i32(in, &t);
    memory_reader_read_u32(in, &count);
    if (in->failed) return fail(error, error_size, "lightmaps cut short");
    if (!scene_valid_tile_size(t)) return fail(error, error_size, "bad lightmap tile size");
    if (count != uint32_t(data->object_count)) return fail(error, error_size, "lightmaps of another object count");
    if (!scene_valid_tile_size(tile_size)) tile_size = t;
    data->stored_tile_size = t;
    data->lightmaps = static_cast<ObjectLightmaps **>(calloc(count ? count : 1, sizeof(ObjectLightmaps *)));
    data->prepare_modes = static_cast<uint8_t *>(calloc(count ? count : 1, 1));
    if (!data->lightmaps || !data->prepare_modes) return fail(error, error_size, "out of memory");
    data->lightmap_count = int32_t(count);

    // Per object its mode and faces; the texels of all of them come after.
    int64_t stored_bytes = 0, resampled_bytes = 0;
    for (uint32_t i = 0; i < count; i++) {
        uint32_t faces = 0;
        memory_reader_read_u8(in, &data->prepare_modes[i]);
        memory_reader_read_u32(in, &faces);
        if (in->failed) return fail(error, error_size, "lightmaps cut short");
        if (data->prepare_modes[i] > 2) return fail(error, error_size, "bad preparation mode");
        if (faces == 0) continue;
        if (faces != data->object_records[i].faces)
            return fail(error, error_size, "lightmaps of another face count");
        if (uint64_t(faces) * 25 > memory_reader_remaining(in)) return fail(error, error_size, "lightmaps cut short");
        // The texel offsets are known once the faces are read; the buffer is made after them.
        FaceLightmap *records = static_cast<FaceLightmap *>(calloc(faces, sizeof(FaceLightmap)));
        if (!records) return fail(error, error_size, "out of memory");
        int64_t object_bytes = 0;
        for (uint32_t f = 0; f < faces; f++) {
            FaceLightmap &face = records[f];
            memory_reader_read_u8(in, &face.cells);
            for (float &value : face.ab) memory_reader_read_f32(in, &value);
            if (in->failed || !scene_valid_face_lightmap(face)) {
                free(records);
                return fail(error, error_size, in->failed ? "lightmaps cut short" : "bad lightmap face");
            }
            int64_t side = block_side(face.cells, tile_size);
            face.texel_offset = int32_t(object_bytes);
            face.block_id = 0;
            object_bytes += side * side * 3;
            stored_bytes += int64_t(block_side(face.cells, t)) * block_side(face.cells, t) * 3;
        }
        resampled_bytes += object_bytes;
        if (resampled_bytes > kSceneMaxTexelBytes) {
            free(records);
            return fail(error, error_size, "lightmaps too large");
        }
        ObjectLightmaps *maps = scene_lightmaps_new(int32_t(faces), tile_size, object_bytes);
        if (!maps) {
            free(records);
            return fail(error, error_size, "out of memory");
        }
        memcpy(maps->faces, records, faces * sizeof(FaceLightmap));
        free(records);
        data->lightmaps[i] = maps;
        data->lightmap_faces += faces;
    }
    if (int64_t(memory_reader_remaining(in)) != stored_bytes)
        return fail(error, error_size, "wrong lightmap texel count");
    for (uint32_t i = 0; i < count; i++) {
        ObjectLightmaps *maps = data->lightmaps[i];
        if (!maps) continue;
        for (int32_t f = 0; f < maps->face_count; f++) {
            const FaceLightmap &face = maps->faces[f];
            int32_t w = block_side(face.cells, t), side = block_side(face.cells, tile_size);
            const uint8_t *texels = memory_reader_take(in, size_t(w) * size_t(w) * 3);
            if (!texels) return fail(error, error_size, "lightmaps cut short");
            if (w == side)
                memcpy(maps->texels + face.texel_offset, texels, size_t(w) * size_t(w) * 3);
            else
                resample(texels, w, maps->texels + face.texel_offset, side);
        }
    }
    return 1;
}
