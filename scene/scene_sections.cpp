// The sections of the scene file: settings, texture list, objects and plants, written from a world
// and parsed, with every count, index, float and name checked, into a SceneFileData.
#include "scene/scene_local.h"

#include "geometry/mesh.h"
#include "geometry/stream.h"

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr uint32_t kVertexBytes = 56;
constexpr uint32_t kFaceBytes = 58;
constexpr uint32_t kVegetalBytes = 4 * (28 + 17 + 3);

// The instance record's words as files hold them: 0 to 8, then 10 to 17 (word 9 is a pointer).
static_assert(offsetof(VegetalInstance, card_size) == 8 * 4);
static_assert(offsetof(VegetalInstance, reserved) + sizeof(VegetalInstance::reserved) -
                  offsetof(VegetalInstance, variant) ==
              8 * 4);

uint32_t le_u32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
float le_f32(const uint8_t *p)
{
    uint32_t bits = le_u32(p);
    float value;
    memcpy(&value, &bits, sizeof value);
    return value;
}
uint16_t le_u16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }

void put_u32(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
void put_f32(uint8_t *p, float v)
{
    uint32_t bits;
    memcpy(&bits, &v, sizeof bits);
    put_u32(p, bits);
}
void put_u16(uint8_t *p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void write_floats(PagedBuffer *out, const float *values, int count)
{
    for (int k = 0; k < count; k++) paged_buffer_write_f32(out, values[k]);
}

void write_name(PagedBuffer *out, const char *name, size_t limit)
{
    size_t length = strnlen(name, limit);
    paged_buffer_write_u8(out, uint8_t(length));
    paged_buffer_write(out, name, length);
}

// Reads `count` floats, each finite.
bool read_floats(MemoryReader *in, float *values, int count)
{
    for (int k = 0; k < count; k++) {
        memory_reader_read_f32(in, &values[k]);
        if (!std::isfinite(values[k])) return false;
    }
    return !in->failed;
}

// A name of at most 127 bytes without NUL, NUL-terminated into out[128].
bool read_name(MemoryReader *in, char *out)
{
    uint8_t length = 0;
    memory_reader_read_u8(in, &length);
    const uint8_t *bytes = memory_reader_take(in, length);
    if (in->failed || !bytes || length > 127 || memchr(bytes, 0, length)) return false;
    memcpy(out, bytes, length);
    out[length] = 0;
    return true;
}

bool fail(char *error, size_t error_size, const char *reason)
{
    snprintf(error, error_size, "%s", reason);
    return false;
}

void write_vertices(PagedBuffer *out, const MeshObject *mesh)
{
    uint8_t record[kVertexBytes];
    for (int32_t v = 0; v < mesh->vertex_count; v++) {
        const MeshVertex &vertex = mesh->vertices[v];
        const float *fields[5] = {vertex.position, vertex.normal, vertex.uv0, vertex.uv1, vertex.color};
        const int sizes[5] = {3, 3, 2, 2, 4};
        uint8_t *p = record;
        for (int f = 0; f < 5; f++)
            for (int k = 0; k < sizes[f]; k++, p += 4) put_f32(p, fields[f][k]);
        paged_buffer_write(out, record, sizeof record);
    }
}

void write_faces(PagedBuffer *out, const MeshObject *mesh)
{
    uint8_t record[kFaceBytes];
    for (int32_t f = 0; f < mesh->face_count; f++) {
        const MeshFace &face = mesh->faces[f];
        uint8_t *p = record;
        for (int k = 0; k < 3; k++, p += 4) put_u32(p, uint32_t(face.v[k]));
        for (int k = 0; k < 3; k++, p += 4) put_f32(p, face.normal[k]);
        for (int k = 0; k < 6; k++, p += 4) put_f32(p, face.uv[k]);
        put_u16(p, face.material);
        put_u16(p + 2, uint16_t(face.texture_id));
        put_u16(p + 4, uint16_t(face.texture_id2));
        put_u16(p + 6, uint16_t(face.part));
        p[8] = face.build_flag;
        p[9] = 0;
        paged_buffer_write(out, record, sizeof record);
    }
}

// Vertices from records of 56 bytes (14 little-endian floats), each vertex written whole; false
// on a float that is not finite.
bool parse_vertices(const uint8_t *bytes, MeshObject *mesh)
{
    uint32_t not_finite = 0;
    for (int32_t v = 0; v < mesh->vertex_count; v++, bytes += kVertexBytes) {
        uint32_t bits[14];
        if constexpr (std::endian::native == std::endian::little) {
            memcpy(bits, bytes, sizeof bits);
        } else {
            for (int k = 0; k < 14; k++) bits[k] = le_u32(bytes + 4 * k);
        }
        // A float is finite unless its exponent bits are all set.
        for (uint32_t b : bits) not_finite |= uint32_t((b & 0x7f800000u) == 0x7f800000u);
        MeshVertex &vertex = mesh->vertices[v];
        scene_clear_record(&vertex);
        memcpy(vertex.position, bits, 12);
        memcpy(vertex.normal, bits + 3, 12);
        memcpy(vertex.uv0, bits + 6, 8);
        memcpy(vertex.uv1, bits + 8, 8);
        memcpy(vertex.color, bits + 10, 16);
    }
    return !not_finite;
}

// Faces from records of 58 bytes, each face written whole with its corner pointers (when all its
// indices are in range).
bool parse_faces(const uint8_t *bytes, MeshObject *mesh, const char **reason)
{
    uint32_t bad_index = 0, not_finite = 0;
    const uint32_t vertices = uint32_t(mesh->vertex_count);
    for (int32_t f = 0; f < mesh->face_count; f++, bytes += kFaceBytes) {
        uint32_t words[12];  // v[3], normal[3], uv[6]
        if constexpr (std::endian::native == std::endian::little) {
            memcpy(words, bytes, sizeof words);
        } else {
            for (int k = 0; k < 12; k++) words[k] = le_u32(bytes + 4 * k);
        }
        MeshFace &face = mesh->faces[f];
        scene_clear_record(&face);
        uint32_t bad = 0;
        for (int k = 0; k < 3; k++) bad |= uint32_t(words[k] >= vertices);
        bad_index |= bad;
        for (int k = 3; k < 12; k++) not_finite |= uint32_t((words[k] & 0x7f800000u) == 0x7f800000u);
        memcpy(face.v, words, 12);
        if (!bad)
            for (int k = 0; k < 3; k++) face.corner[k] = &mesh->vertices[face.v[k]];
        memcpy(face.normal, words + 3, 12);
        memcpy(face.uv, words + 6, 24);
        const uint8_t *p = bytes + 48;
        face.material = le_u16(p);
        face.texture_id = int16_t(le_u16(p + 2));
        face.texture_id2 = int16_t(le_u16(p + 4));
        face.part = int16_t(le_u16(p + 6));
        face.build_flag = p[8];
    }
    if (bad_index)
        *reason = "vertex index out of range";
    else if (not_finite)
        *reason = "face value not finite";
    return !bad_index && !not_finite;
}

// The header of one object record and where its arrays lie; false with a reason.
bool read_object_record(MemoryReader *in, int64_t *face_total, SceneObjectRecord *record, const char **reason)
{
    uint8_t length = 0;
    memory_reader_read_u8(in, &length);
    const uint8_t *name = memory_reader_take(in, length);
    bool ok = !in->failed && name && length <= 127 && !memchr(name, 0, length);
    memory_reader_read_i32(in, &record->object_type);
    ok = ok && read_floats(in, record->position, 3) && read_floats(in, record->rotation, 3);
    memory_reader_read_u32(in, &record->vertices);
    memory_reader_read_u32(in, &record->faces);
    const uint32_t vertices = record->vertices, faces = record->faces;
    if (!ok || in->failed) {
        *reason = in->failed ? "object record cut short" : "bad object name or placement";
    } else if (vertices > kSceneMaxElements || faces > kSceneMaxElements || *face_total + faces > kSceneMaxFileFaces) {
        *reason = "too many vertices or faces";
    } else if (uint64_t(vertices) * kVertexBytes + uint64_t(faces) * kFaceBytes > memory_reader_remaining(in)) {
        *reason = "object arrays cut short";
    } else {
        *face_total += faces;
        record->name = name;
        record->name_length = length;
        record->vertex_bytes = memory_reader_take(in, size_t(vertices) * kVertexBytes);
        record->face_bytes = memory_reader_take(in, size_t(faces) * kFaceBytes);
        return true;
    }
    return false;
}

// A new mesh from one record, arrays of exactly its sizes, world transform and bounds computed (the
// load computes them for every object); null with a reason.
MeshObject *build_object(const SceneObjectRecord &record, const char **reason)
{
    MeshObject *mesh = mesh_new();
    if (!mesh) {
        *reason = "out of memory";
        return nullptr;
    }
    memcpy(mesh->name, record.name, record.name_length);
    mesh->name[record.name_length] = 0;
    mesh->object_type = record.object_type;
    memcpy(mesh->position, record.position, sizeof mesh->position);
    memcpy(mesh->rotation, record.rotation, sizeof mesh->rotation);
    // Every vertex and face is written whole by the parsers: the arrays need no clearing.
    const uint32_t vertices = record.vertices, faces = record.faces;
    mesh->vertices = static_cast<MeshVertex *>(malloc(size_t(vertices ? vertices : 1) * sizeof(MeshVertex)));
    mesh->faces = static_cast<MeshFace *>(malloc(size_t(faces ? faces : 1) * sizeof(MeshFace)));
    if (!mesh->vertices || !mesh->faces) {
        *reason = "out of memory";
    } else {
        mesh->vertex_count = mesh->vertex_capacity = int32_t(vertices);
        mesh->face_count = mesh->face_capacity = int32_t(faces);
        if (!parse_vertices(record.vertex_bytes, mesh)) {
            *reason = "vertex value not finite";
        } else if (parse_faces(record.face_bytes, mesh, reason)) {
            scene_update_object_bounds(mesh);
            return mesh;
        }
    }
    mesh_delete(mesh);
    return nullptr;
}

}  // namespace

bool scene_relative_name(const char *name)
{
    if (!name[0] || name[0] == '/' || name[0] == '\\' || (name[0] && name[1] == ':')) return false;
    for (const char *p = name; *p;) {
        size_t part = strcspn(p, "/\\");
        if (part == 2 && p[0] == '.' && p[1] == '.') return false;
        p += part;
        if (*p) p++;
    }
    return true;
}

bool scene_finite_plant_params(const VegetalParams &params)
{
    // The float words must be numbers; the build clamps their ranges.
    const float *words = &params.leaf_density;
    for (int k = 0; k < 9; k++)
        if (!std::isfinite(words[k])) return false;
    return std::isfinite(params.bend);
}

void scene_file_data_free(SceneFileData *data)
{
    for (int32_t i = 0; i < data->object_count; i++) mesh_delete(data->objects[i]);
    free(data->objects);
    free(data->object_records);
    free(data->object_reasons);
    free(data->textures);
    for (int32_t j = 0; data->plants && j < data->vegetal_count; j++)
        for (VegetalObject &plant : data->plants[j]) vegetal_clear(&plant);
    free(data->plants);
    free(data->vegetals);
    for (int32_t i = 0; data->lightmaps && i < data->lightmap_count; i++) scene_lightmaps_free(data->lightmaps[i]);
    free(data->lightmaps);
    free(data->prepare_modes);
    *data = SceneFileData{};
}

int scene_valid_tile_size(int32_t t) { return t == 4 || t == 8 || t == 16 || t == 32 || t == 64 || t == 128; }

// ---- writers --------------------------------------------------------------------------------------

void scene_write_settings(PagedBuffer *out, const SceneWorld *world)
{
    paged_buffer_write_i32(out, world->first_block_index);
    paged_buffer_write_i32(out, world->scene_word_1);
    write_floats(out, world->view, 3);
    write_floats(out, world->ambient_colour, 4);
    write_floats(out, world->light_colour, 4);
    write_floats(out, world->light_vector, 3);
    paged_buffer_write_f32(out, world->light_factor);
    paged_buffer_write_i32(out, world->lightmap_tile_size);
}

void scene_write_textures(PagedBuffer *out, const SceneWorld *world)
{
    uint32_t count = 0;
    for (const SceneTexture &texture : world->textures) count += texture.name[0] ? 1 : 0;
    paged_buffer_write_u32(out, count);
    for (int32_t id = 0; id < SCENE_MAX_TEXTURES; id++) {
        const SceneTexture &texture = world->textures[id];
        if (!texture.name[0]) continue;
        paged_buffer_write_i32(out, id);
        paged_buffer_write_u8(out, texture.options);
        write_name(out, texture.name, 127);
    }
}

void scene_write_objects(PagedBuffer *out, const SceneWorld *world)
{
    uint32_t count = 0;
    for (int32_t i = 0; i < world->object_count; i++) count += world->objects[i] ? 1 : 0;
    paged_buffer_write_u32(out, count);
    for (int32_t i = 0; i < world->object_count; i++) {
        const MeshObject *mesh = world->objects[i];
        if (!mesh) continue;
        write_name(out, mesh->name, 127);
        paged_buffer_write_i32(out, mesh->object_type);
        write_floats(out, mesh->position, 3);
        write_floats(out, mesh->rotation, 3);
        paged_buffer_write_u32(out, uint32_t(mesh->vertex_count));
        paged_buffer_write_u32(out, uint32_t(mesh->face_count));
        write_vertices(out, mesh);
        write_faces(out, mesh);
    }
}

void scene_write_vegetals(PagedBuffer *out, const SceneWorld *world)
{
    paged_buffer_write_u32(out, uint32_t(world->vegetal_count));
    for (int32_t j = 0; j < world->vegetal_count; j++) {
        uint32_t words[28];
        memcpy(words, &world->vegetal_params[j], sizeof words);
        for (uint32_t word : words) paged_buffer_write_u32(out, word);
        const VegetalInstance &instance = world->vegetal_instances[j];
        uint32_t instance_words[17];
        memcpy(instance_words, &instance, 9 * 4);
        memcpy(instance_words + 9, &instance.variant, 8 * 4);
        for (uint32_t word : instance_words) paged_buffer_write_u32(out, word);
        write_floats(out, world->vegetal_slots[j][0].position, 3);
    }
}

// ---- parsers --------------------------------------------------------------------------------------

int scene_parse_settings(MemoryReader *in, SceneFileData *data, char *error, size_t error_size)
{
    memory_reader_read_i32(in, &data->first_block_index);
    memory_reader_read_i32(in, &data->scene_word_1);
    bool finite = read_floats(in, data->view, 3) && read_floats(in, data->ambient_colour, 4) &&
                  read_floats(in, data->light_colour, 4) && read_floats(in, data->light_vector, 3) &&
                  read_floats(in, &data->light_factor, 1);
    memory_reader_read_i32(in, &data->lightmap_tile_size);
    if (in->failed) return fail(error, error_size, "settings cut short");
    if (!finite) return fail(error, error_size, "setting not finite");
    if (data->first_block_index < -1 || data->first_block_index > SCENE_MAX_OBJECTS)
        return fail(error, error_size, "bad first block index");
    if (!scene_valid_tile_size(data->lightmap_tile_size)) return fail(error, error_size, "bad lightmap tile size");
    return 1;
}

int scene_parse_textures(MemoryReader *in, SceneFileData *data, char *error, size_t error_size)
{
    uint32_t count = 0;
    memory_reader_read_u32(in, &count);
    if (in->failed || count > uint32_t(SCENE_MAX_TEXTURES) || count * 6 > memory_reader_remaining(in))
        return fail(error, error_size, "bad texture count");
    data->textures = static_cast<SceneFileTexture *>(calloc(count ? count : 1, sizeof(SceneFileTexture)));
    if (!data->textures) return fail(error, error_size, "out of memory");
    bool seen[SCENE_MAX_TEXTURES] = {};
    for (uint32_t k = 0; k < count; k++) {
        SceneFileTexture &texture = data->textures[k];
        memory_reader_read_i32(in, &texture.id);
        memory_reader_read_u8(in, &texture.options);
        bool named = read_name(in, texture.name);
        if (in->failed) return fail(error, error_size, "texture list cut short");
        if (texture.id < 0 || texture.id >= SCENE_MAX_TEXTURES || seen[texture.id])
            return fail(error, error_size, "bad or repeated texture id");
        if (!named || !scene_relative_name(texture.name)) return fail(error, error_size, "bad texture name");
        seen[texture.id] = true;
        data->texture_count++;
    }
    return 1;
}

int scene_read_object_records(MemoryReader *in, SceneFileData *data, int32_t room, char *error, size_t error_size)
{
    uint32_t count = 0;
    memory_reader_read_u32(in, &count);
    if (in->failed) return fail(error, error_size, "object count cut short");
    if (count > uint32_t(room)) return fail(error, error_size, "too many objects");
    // The smallest object record has 37 bytes (an empty name, no vertices).
    if (uint64_t(count) * 37 > memory_reader_remaining(in)) return fail(error, error_size, "object count too large");
    const size_t n = count ? count : 1;
    data->objects = static_cast<MeshObject **>(calloc(n, sizeof(MeshObject *)));
    data->object_records = static_cast<SceneObjectRecord *>(malloc(n * sizeof(SceneObjectRecord)));
    data->object_reasons = static_cast<const char **>(calloc(n, sizeof(const char *)));
    if (!data->objects || !data->object_records || !data->object_reasons)
        return fail(error, error_size, "out of memory");
    while (uint32_t(data->object_count) < count &&
           read_object_record(in, &data->face_total, &data->object_records[data->object_count], &data->record_error))
        data->object_count++;
    return 1;
}

void scene_build_object(SceneFileData *data, int32_t k)
{
    data->objects[k] = build_object(data->object_records[k], &data->object_reasons[k]);
    if (!data->objects[k] && !data->object_reasons[k]) data->object_reasons[k] = "bad object";
}

const char *scene_objects_error(const SceneFileData *data)
{
    for (int32_t k = 0; k < data->object_count; k++)
        if (data->object_reasons[k]) return data->object_reasons[k];
    return data->record_error;
}

int scene_parse_vegetals(MemoryReader *in, SceneFileData *data, char *error, size_t error_size)
{
    uint32_t count = 0;
    memory_reader_read_u32(in, &count);
    if (in->failed || uint64_t(count) * kVegetalBytes > memory_reader_remaining(in))
        return fail(error, error_size, "bad plant count");
    data->vegetals = static_cast<SceneFileVegetal *>(calloc(count ? count : 1, sizeof(SceneFileVegetal)));
    if (!data->vegetals) return fail(error, error_size, "out of memory");
    for (uint32_t k = 0; k < count; k++) {
        SceneFileVegetal &plant = data->vegetals[k];
        const uint8_t *bytes = memory_reader_take(in, kVegetalBytes);
        if (!bytes) return fail(error, error_size, "plant cut short");
        uint32_t words[28 + 17];
        for (int w = 0; w < 28 + 17; w++) words[w] = le_u32(bytes + 4 * w);
        memcpy(&plant.params, words, sizeof plant.params);
        memcpy(&plant.instance, words + 28, 9 * 4);
        memcpy(&plant.instance.variant, words + 28 + 9, 8 * 4);
        plant.instance.random = g_vegetal_random;
        bool finite = scene_finite_plant_params(plant.params);
        for (int c = 0; c < 3; c++) {
            plant.position[c] = le_f32(bytes + 4 * (45 + c));
            finite = finite && std::isfinite(plant.position[c]);
        }
        if (!finite) return fail(error, error_size, "plant value not finite");
        data->vegetal_count++;
    }
    return 1;
}
