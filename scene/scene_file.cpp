// The scene file's container: a 24-byte header, then sections of tag, sizes, CRC-32 and packed
// bytes. The reader takes the whole file, checks and parses it into temporaries and commits them
// to the world only when everything is sound; the writer builds one buffer and writes it whole.
#include "scene/scene_local.h"

#include "codecs/codecs.h"
#include "geometry/mesh.h"
#include "geometry/stream.h"
#include "platform/system.h"

#include <algorithm>
#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>
#endif
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t kMagic = scene_tag("SCNF");
constexpr uint16_t kFormatVersion = 1;
constexpr uint16_t kHeaderBytes = 24;
constexpr size_t kMaxFileBytes = size_t(256) << 20;
constexpr uint64_t kMaxRawBytes = uint64_t(512) << 20;
constexpr int kMaxSections = 4096;

char g_last_error[256];

// One section as the container lists it.
struct SectionRecord {
    uint32_t tag;
    uint32_t raw_size;
    uint32_t packed_size;
    uint32_t crc;
    uint8_t filter;
    const uint8_t *packed;
};

const uint32_t kKnownTags[] = {kSceneTagSettings, kSceneTagTextures, kSceneTagObjects, kSceneTagVegetals,
                               kSceneTagLightmaps};

// Order of a known tag in a file; -1 for a tag this reader does not know (skipped).
int known_order(uint32_t tag)
{
    for (int k = 0; k < int(sizeof kKnownTags / sizeof kKnownTags[0]); k++)
        if (kKnownTags[k] == tag) return k;
    return -1;
}

uint8_t failed(const char *path, const char *reason)
{
    snprintf(g_last_error, sizeof g_last_error, "%s", reason);
    scene_log("%s: %s", path ? path : "(no path)", reason);
    return 0;
}

void report(const SceneWorld *world, float fraction)
{
    if (world->load_progress) world->load_progress("loading", fraction);
}

// The container's sections, checked against the bytes and the limits before anything is inflated.
bool read_sections(const uint8_t *data, size_t size, SectionRecord *records, int *count, const char **reason)
{
    MemoryReader in;
    memory_reader_init(&in, data, size);
    uint32_t magic = 0, zero = 0, flags = 0, a = 0;
    uint16_t version = 0, header_bytes = 0, sections = 0;
    uint8_t b = 0, lightmaps = 0;
    memory_reader_read_u32(&in, &magic);
    memory_reader_read_u16(&in, &version);
    memory_reader_read_u16(&in, &header_bytes);
    memory_reader_read_u32(&in, &flags);
    memory_reader_read_u32(&in, &a);
    memory_reader_read_u8(&in, &b);
    memory_reader_read_u8(&in, &lightmaps);
    memory_reader_read_u16(&in, &sections);
    memory_reader_read_u32(&in, &zero);
    if (in.failed || magic != kMagic) return *reason = "not a scene file", false;
    if (version > kFormatVersion) return *reason = "newer format version", false;
    if (header_bytes < kHeaderBytes || !memory_reader_seek(&in, header_bytes)) return *reason = "bad header", false;
    if (sections > kMaxSections) return *reason = "too many sections", false;
    uint64_t raw_total = 0;
    for (int k = 0; k < sections; k++) {
        SectionRecord &r = records[k];
        memory_reader_read_u32(&in, &r.tag);
        memory_reader_read_u32(&in, &r.raw_size);
        memory_reader_read_u32(&in, &r.packed_size);
        memory_reader_read_u32(&in, &r.crc);
        memory_reader_read_u8(&in, &r.filter);
        memory_reader_skip(&in, 3);
        r.packed = memory_reader_take(&in, r.packed_size);
        if (in.failed || !r.packed) return *reason = "section cut short", false;
        if (known_order(r.tag) >= 0) raw_total += r.raw_size;
    }
    if (raw_total > kMaxRawBytes) return *reason = "sections too large", false;
    *count = sections;
    return true;
}

// Inflates and checks one known section; the payload after its version, or null with a reason.
// Without `check_crc` the caller checks the CRC (a mismatch then comes before a newer version).
uint8_t *unpack_section(const SectionRecord &r, bool check_crc, const char **reason)
{
    if (r.filter != PACKED_FILTER_NONE) return *reason = "unknown section filter", nullptr;
    if (r.raw_size < 2) return *reason = "section too small", nullptr;
    PackedBlock block = {PACKED_FILTER_NONE, r.packed_size, r.raw_size, const_cast<uint8_t *>(r.packed)};
    uint8_t *raw = inflate_unpack_block(&block);
    if (!raw) return *reason = "damaged section", nullptr;
    if (check_crc && codecs_crc32(0, raw, r.raw_size) != r.crc) {
        free(raw);
        return *reason = "section checksum mismatch", nullptr;
    }
    if ((raw[0] | raw[1] << 8) > kSceneSectionVersion) {
        *reason = "newer section version";
        if (check_crc) free(raw), raw = nullptr;
    }
    return raw;
}

// Most of a load is the object and lightmap sections: their CRCs, the objects' meshes and the
// lightmaps are left to the light workers, with the plants, once every section is read. A CRC goes
// in pieces combined after; the objects go a few to an item.
constexpr uint32_t kCrcPiece = 32 << 10;  // at least
constexpr int32_t kCrcItems = 64;          // at most
constexpr int32_t kObjectsPerItem = 8;

// A section inflated and kept for the workers, its CRC still to check.
struct DeferredSection {
    uint8_t *raw;  // null: not read
    uint32_t size;
    uint32_t crc;          // as the file lists it
    uint32_t crc_piece;    // bytes of each CRC item (the last may be shorter)
    int32_t crc_items;
    uint32_t crcs[kCrcItems];
    bool crc_matches;
};

enum { kDeferredObjects, kDeferredLightmaps, kDeferredSections };

struct LoadWork {
    SceneFileData *data;
    DeferredSection sections[kDeferredSections];
    int32_t lightmap_tile_size;  // the one asked for (0: the stored one)
    bool lightmaps_parsed;       // with their fault, if any, in lightmap_error
    char lightmap_error[160];
    int32_t crc_items;           // of both sections, objects first
    int32_t lightmap_items;      // 1 when the lightmaps are parsed
    int32_t object_items;
    int32_t plant_items;  // two per plant: near and far
    bool have_settings;
    bool have_objects;
};

void build_plant(SceneFileData *data, int32_t item)
{
    const SceneFileVegetal &record = data->vegetals[item / 2];
    const int32_t detail = item % 2;
    VegetalObject &plant = data->plants[item / 2][detail];
    memcpy(plant.textures_a, record.params.textures_a, sizeof plant.textures_a);
    memcpy(plant.textures_b, record.params.textures_b, sizeof plant.textures_b);
    memcpy(plant.position, record.position, sizeof plant.position);
    vegetal_build(&plant, &record.instance, record.params.size, detail);
}

void parse_deferred_lightmaps(LoadWork &work)
{
    const DeferredSection &section = work.sections[kDeferredLightmaps];
    MemoryReader in;
    memory_reader_init(&in, section.raw + 2, section.size - 2);
    int ok = scene_parse_lightmaps(&in, work.data, work.lightmap_tile_size, work.lightmap_error,
                                   sizeof work.lightmap_error);
    if (ok && memory_reader_remaining(&in) != 0)
        ok = 0, snprintf(work.lightmap_error, sizeof work.lightmap_error, "section longer than its records");
    work.lightmaps_parsed = ok != 0;
}

void load_item(void *context, int32_t item)
{
    LoadWork &work = *static_cast<LoadWork *>(context);
    if (item < work.crc_items) {
        DeferredSection *section = &work.sections[kDeferredObjects];
        if (item >= section->crc_items) item -= section->crc_items, section = &work.sections[kDeferredLightmaps];
        const size_t at = size_t(item) * section->crc_piece;
        const size_t piece = std::min<size_t>(section->crc_piece, section->size - at);
        section->crcs[item] = codecs_crc32(0, section->raw + at, piece);
        return;
    }
    item -= work.crc_items;
    if (item < work.lightmap_items) return parse_deferred_lightmaps(work);
    item -= work.lightmap_items;
    if (item < work.object_items) {
        const int32_t end = std::min(work.data->object_count, (item + 1) * kObjectsPerItem);
        for (int32_t k = item * kObjectsPerItem; k < end; k++) scene_build_object(work.data, k);
        return;
    }
    build_plant(work.data, item - work.object_items);
}

// Other cores have read the section: its lines leave every cache. The next load's inflate most
// likely gets the same memory from the allocator, and writing lines that other cores still hold
// waits on each of them in turn (several times the inflate's own time).
void evict_from_caches(const uint8_t *bytes, size_t size)
{
#if defined(__x86_64__) || defined(__i386__)
    const uintptr_t line = 64;
    for (uintptr_t at = uintptr_t(bytes) & ~(line - 1); at < uintptr_t(bytes) + size; at += line)
        _mm_clflush(reinterpret_cast<const void *>(at));
#else
    (void)bytes;
    (void)size;
#endif
}

// Runs what is left to the workers: the CRCs of the sections kept, the objects when read, the
// lightmaps when `parse` (and read), the plants when `parse` (a load that has failed builds none).
void run_load_work(LoadWork *work, bool parse)
{
    SceneFileData *data = work->data;
    for (DeferredSection &section : work->sections) {
        if (!section.raw) continue;
        section.crc_piece = std::max(kCrcPiece, (section.size + kCrcItems - 1) / kCrcItems);
        section.crc_items = int32_t((section.size + section.crc_piece - 1) / section.crc_piece);
        work->crc_items += section.crc_items;
    }
    if (work->sections[kDeferredObjects].raw)
        work->object_items = (data->object_count + kObjectsPerItem - 1) / kObjectsPerItem;
    if (parse && work->sections[kDeferredLightmaps].raw) work->lightmap_items = 1;
    if (parse && data->vegetal_count > 0) {
        data->plants = static_cast<VegetalObject(*)[2]>(calloc(size_t(data->vegetal_count), sizeof *data->plants));
        if (data->plants) work->plant_items = 2 * data->vegetal_count;
    }
    const int32_t helped = light_pool_run(
        work->crc_items + work->lightmap_items + work->object_items + work->plant_items, load_item, work);
    for (DeferredSection &section : work->sections) {
        if (!section.raw) continue;
        if (helped > 0) evict_from_caches(section.raw, section.size);
        uint32_t crc = section.crcs[0];
        for (int32_t k = 1; k < section.crc_items; k++) {
            const size_t piece = std::min<size_t>(section.crc_piece, section.size - size_t(k) * section.crc_piece);
            crc = codecs_crc32_combine(crc, section.crcs[k], piece);
        }
        section.crc_matches = crc == section.crc;
    }
}

// Parses every known section into `data`, in the order a file must hold them; the work left to
// the workers is in `work`, not yet run.
bool parse_sections(const SceneWorld *world, const uint8_t *bytes, size_t size, const SectionRecord *records, int count,
                    uint32_t flags, SceneFileData *data, LoadWork *work, char *error, size_t error_size)
{
    int last = -1;
    bool have_objects = false;
    const char *reason = nullptr;
    for (int k = 0; k < count; k++) {
        const SectionRecord &r = records[k];
        int order = known_order(r.tag);
        if (order < 0) continue;
        if (order <= last) return snprintf(error, error_size, "section out of order"), false;
        last = order;
        const bool objects = r.tag == kSceneTagObjects;
        // The lightmaps are checked against the objects' records.
        const bool lightmaps = r.tag == kSceneTagLightmaps && have_objects;
        uint8_t *raw = unpack_section(r, !objects && !lightmaps, &reason);
        if ((objects || lightmaps) && raw) {
            DeferredSection &kept = work->sections[objects ? kDeferredObjects : kDeferredLightmaps];
            kept.raw = raw;
            kept.size = r.raw_size;
            kept.crc = r.crc;
        }
        if (!raw || reason) return snprintf(error, error_size, "%s", reason), false;
        MemoryReader in;
        memory_reader_init(&in, raw + 2, r.raw_size - 2);
        int ok = 0;
        if (r.tag == kSceneTagSettings) {
            ok = scene_parse_settings(&in, data, error, error_size);
            work->have_settings = true;
        } else if (r.tag == kSceneTagTextures) {
            ok = scene_parse_textures(&in, data, error, error_size);
        } else if (objects) {
            ok = scene_read_object_records(&in, data, SCENE_MAX_OBJECTS - world->object_count, error, error_size);
            ok = ok && !data->record_error;  // the reason comes from the objects before it first
            have_objects = work->have_objects = true;
        } else if (r.tag == kSceneTagVegetals) {
            ok = scene_parse_vegetals(&in, data, error, error_size);
        } else if (lightmaps) {
            work->lightmap_tile_size = (flags & kSceneLoadTile16) ? 16 : (flags & kSceneLoadTile4) ? 4 : 0;
            ok = 1;
        } else {
            snprintf(error, error_size, "lightmaps without objects");
        }
        if (ok && !lightmaps && memory_reader_remaining(&in) != 0)
            ok = 0, snprintf(error, error_size, "section longer than its records");
        if (!objects && !lightmaps) free(raw);
        if (!ok) return false;
        report(world, 0.5f * float(r.packed + r.packed_size - bytes) / float(size));
    }
    return true;
}

// Parses the file into `data`, its objects and plants built. A fault is the one that reading the
// file in order meets first.
bool parse_file(const SceneWorld *world, const uint8_t *bytes, size_t size, uint32_t flags, SceneFileData *data,
                char *error, size_t error_size)
{
    static SectionRecord records[kMaxSections];
    int count = 0;
    const char *reason = nullptr;
    if (!read_sections(bytes, size, records, &count, &reason)) return snprintf(error, error_size, "%s", reason), false;
    LoadWork work = {};
    work.data = data;
    const bool read = parse_sections(world, bytes, size, records, count, flags, data, &work, error, error_size);
    // Run even after a fault in a later section: a fault of the objects comes before it.
    run_load_work(&work, read);
    const DeferredSection &objects = work.sections[kDeferredObjects], &lightmaps = work.sections[kDeferredLightmaps];
    const char *first = objects.raw && !objects.crc_matches ? "section checksum mismatch" : nullptr;
    if (!first && objects.raw) first = scene_objects_error(data);
    if (!first && lightmaps.raw && !lightmaps.crc_matches) first = "section checksum mismatch";
    if (!first && !read) first = error;
    if (!first && work.lightmap_items && !work.lightmaps_parsed) first = work.lightmap_error;
    if (!first && (!work.have_settings || !work.have_objects)) first = "settings or objects missing";
    if (!first && data->vegetal_count > 0 && !data->plants) first = "out of memory";
    if (first && first != error) snprintf(error, error_size, "%s", first);
    for (DeferredSection &section : work.sections) free(section.raw);
    return !first;
}

// Moves the parsed file into the world but the lightmaps; nothing here can fail. The file's
// objects start at `first`.
void commit(SceneWorld *world, SceneFileData *data, uint32_t flags, int32_t first)
{
    world->first_block_index = data->first_block_index;
    world->scene_word_1 = data->scene_word_1;
    memcpy(world->view, data->view, sizeof world->view);
    world->light_factor = data->light_factor;
    if (!(flags & kSceneLoadKeepColours)) {
        memcpy(world->ambient_colour, data->ambient_colour, sizeof world->ambient_colour);
        memcpy(world->light_colour, data->light_colour, sizeof world->light_colour);
    }
    if (!(flags & kSceneLoadKeepLightVector))
        memcpy(world->light_vector, data->light_vector, sizeof world->light_vector);
    world->lightmap_tile_size = (flags & kSceneLoadTile16)  ? 16
                                : (flags & kSceneLoadTile4) ? 4
                                : data->stored_tile_size    ? data->stored_tile_size
                                                            : data->lightmap_tile_size;

    for (int32_t k = 0; k < data->texture_count; k++) {
        const SceneFileTexture &texture = data->textures[k];
        scene_set_texture(world, texture.id, texture.name, texture.options);
    }
    for (int32_t i = 0; i < data->object_count; i++) {
        scene_add_object(world, data->objects[i]);  // room was checked while parsing
        data->objects[i] = nullptr;
    }
    data->object_count = 0;
    for (int32_t i = 0; i < data->lightmap_count; i++) world->prepare_modes[first + i] = data->prepare_modes[i];
    for (int32_t j = 0; j < data->vegetal_count; j++) {
        const SceneFileVegetal &plant = data->vegetals[j];
        int32_t slot = scene_add_vegetal(world, &plant.params, &plant.instance);
        if (slot < 0) {
            scene_log("plants beyond %d ignored", int(SCENE_MAX_VEGETALS));
            break;
        }
        // Built from the records while the file was read, near then far: moved in whole.
        for (int32_t detail = 0; detail < 2; detail++) {
            VegetalObject &object = world->vegetal_slots[slot][detail];
            object = data->plants[j][detail];
            object.renderer = world->renderer;
            data->plants[j][detail] = VegetalObject{};
        }
    }
}

// The reader's own lighting from the file's lightmaps: blocks of the stored sizes in a fresh atlas,
// companions, marks, face lists when the face-list byte is set, and every object prepared (with
// its lightmaps when its mode is 1 and it has them).
void light_from_file(SceneWorld *world, SceneFileData *data, int32_t first)
{
    const char *text = "ligthing and shadows...";  // the callers' spelling
    if (world->load_progress) world->load_progress(text, 0.5f);
    if (world->lighting_flag) world_clear_keep_default(world);
    world_setup_lighting_textures(world);
    const int32_t n = data->lightmap_count;
    for (int32_t k = 0; k < n; k++) {
        const int32_t i = first + k;
        world->prepare_modes[i] = data->prepare_modes[k];
        ObjectLightmaps *maps = data->lightmaps[k];
        data->lightmaps[k] = nullptr;
        MeshObject *companion = nullptr;
        if (maps && scene_place_lightmap_blocks(world, i, maps))
            companion = scene_make_companion(world->objects[i], maps);
        if (!companion) {
            scene_lightmaps_free(maps);  // the object is prepared reduced
        } else {
            scene_lightmaps_free(world->lightmaps[i]);
            world->lightmaps[i] = maps;
            world->companions[i] = companion;
            world->objects[i]->companion = companion;
            world->object_marks[i] = 1;
            world->lighting_flag = 1;
        }
        if (world->load_progress) world->load_progress(text, 0.5f + 0.5f * float(k) / float(n));
    }
    if (world->face_list_byte) world_build_object_face_lists(world, -2);
    for (int32_t i = 0; i < world->object_count; i++) mesh_prepare_world_object(world, i, world->prepare_modes[i] == 1);
    world->lit = 1;
}

uint8_t load_bytes(SceneWorld *world, const char *path, const uint8_t *bytes, size_t size, uint32_t flags)
{
    if (!bytes) return failed(path, "no data");
    report(world, 0.0f);
    SceneFileData data = {};
    char error[160] = "";
    if (!parse_file(world, bytes, size, flags, &data, error, sizeof error)) {
        scene_file_data_free(&data);
        return failed(path, error);
    }
    const int32_t first = world->object_count;
    commit(world, &data, flags, first);
    // A lightmap section with faces: the world is lit from it (result 1); without, `lit` stays.
    uint8_t result = data.lightmap_faces > 0 ? 1 : 0;
    if (result) light_from_file(world, &data, first);
    scene_file_data_free(&data);
    scene_compute_bounds_and_links(world, first);  // the file's objects have their bounds
    scene_ensure_standard_effect(world);
    if (!(flags & kSceneLoadKeepBuffers)) world_free_maps_and_objects(world);
    report(world, 1.0f);
    return result;
}

// The whole file, at most 256 MB (malloc'd for the caller), or null with a reason.
uint8_t *read_whole(const char *path, size_t *size, const char **reason)
{
    FILE *file = sys_fopen(path, "rb");
    if (!file) return *reason = "cannot open", nullptr;
    size_t capacity = 1 << 16, used = 0;
    uint8_t *data = static_cast<uint8_t *>(malloc(capacity));
    while (data) {
        used += fread(data + used, 1, capacity - used, file);
        if (ferror(file)) {
            *reason = "cannot read";
            break;
        }
        if (used < capacity) {
            fclose(file);
            *size = used;
            return data;
        }
        // A full buffer at the limit: one byte more makes the file too large.
        if (capacity >= kMaxFileBytes) {
            const int next = fgetc(file);
            if (next == EOF && !ferror(file)) {
                fclose(file);
                *size = used;
                return data;
            }
            *reason = next == EOF ? "cannot read" : "file too large";
            break;
        }
        uint8_t *larger = static_cast<uint8_t *>(realloc(data, capacity * 2));
        if (!larger) break;
        data = larger;
        capacity *= 2;
    }
    if (!data || !*reason) *reason = "out of memory";
    free(data);
    fclose(file);
    return nullptr;
}

// A section's payload, packed, its raw size added to `raw_total`: 1, or 0 without memory.
int pack_section(PagedBuffer *file, uint32_t tag, void (*writer)(PagedBuffer *, const SceneWorld *),
                 const SceneWorld *world, uint64_t *raw_total)
{
    PagedBuffer payload = {};
    paged_buffer_write_u16(&payload, kSceneSectionVersion);
    writer(&payload, world);
    uint8_t *raw = payload.failed ? nullptr : paged_buffer_flatten(&payload);
    *raw_total += payload.size;
    // Past the reader's limit the section is not written at all (the caller refuses the save).
    if (*raw_total > kMaxRawBytes) {
        free(raw);
        raw = nullptr;
    }
    uint32_t raw_size = uint32_t(payload.size);
    paged_buffer_free(&payload);
    PackedBlock block = {};
    int ok = raw && deflate_pack_block(&block, raw, raw_size, PACKED_FILTER_NONE);
    if (ok) {
        paged_buffer_write_u32(file, tag);
        paged_buffer_write_u32(file, raw_size);
        paged_buffer_write_u32(file, block.packed_size);
        paged_buffer_write_u32(file, codecs_crc32(0, raw, raw_size));
        paged_buffer_write_u32(file, PACKED_FILTER_NONE);  // the filter byte and three zero bytes
        paged_buffer_write(file, block.data, block.packed_size);
    }
    free(block.data);
    free(raw);
    return ok;
}

}  // namespace

const char *scene_last_error() { return g_last_error; }

uint8_t scene_load_memory(SceneWorld *world, const void *bytes, size_t size, uint32_t flags)
{
    g_last_error[0] = 0;
    return load_bytes(world, "(memory)", static_cast<const uint8_t *>(bytes), size, flags);
}

uint8_t scene_load(SceneWorld *world, const char *path, uint32_t flags)
{
    g_last_error[0] = 0;
    if (!path || !path[0]) return failed(path, "no path");
    size_t size = 0;
    const char *reason = nullptr;
    uint8_t *bytes = read_whole(path, &size, &reason);
    if (!bytes) return failed(path, reason);
    uint8_t result = load_bytes(world, path, bytes, size, flags);
    free(bytes);
    return result;
}

uint8_t scene_save(const SceneWorld *world, const char *path, uint8_t lit, uint32_t a, uint8_t b, uint32_t flags)
{
    g_last_error[0] = 0;
    if (!path || !path[0]) return failed(path, "no path");
    bool textures = false;
    for (const SceneTexture &texture : world->textures) textures = textures || texture.name[0];
    // A lit copy (or a save in lit view) carries the lightmaps.
    const bool lightmaps = lit && (flags & 0x8) && scene_has_lightmaps(world);
    uint16_t sections = uint16_t(2 + (textures ? 1 : 0) + (world->vegetal_count > 0 ? 1 : 0) + (lightmaps ? 1 : 0));
    // A file its own reader refuses would lose the hole: such a world is not saved.
    char why[sizeof g_last_error];
    if (!scene_check_world(world, lightmaps, why, sizeof why)) return failed(path, why);

    PagedBuffer file = {};
    paged_buffer_write_u32(&file, kMagic);
    paged_buffer_write_u16(&file, kFormatVersion);
    paged_buffer_write_u16(&file, kHeaderBytes);
    paged_buffer_write_u32(&file, flags);
    paged_buffer_write_u32(&file, a);
    paged_buffer_write_u8(&file, b);
    paged_buffer_write_u8(&file, lightmaps ? 1 : 0);
    paged_buffer_write_u16(&file, sections);
    paged_buffer_write_u32(&file, 0);
    uint64_t raw = 0;
    int ok = pack_section(&file, kSceneTagSettings, scene_write_settings, world, &raw);
    if (ok && textures) ok = pack_section(&file, kSceneTagTextures, scene_write_textures, world, &raw);
    ok = ok && pack_section(&file, kSceneTagObjects, scene_write_objects, world, &raw);
    if (ok && world->vegetal_count > 0) ok = pack_section(&file, kSceneTagVegetals, scene_write_vegetals, world, &raw);
    if (ok && lightmaps) ok = pack_section(&file, kSceneTagLightmaps, scene_write_lightmaps, world, &raw);
    if (raw > kMaxRawBytes || file.size > kMaxFileBytes) {
        paged_buffer_free(&file);
        return failed(path, "world too large for a scene file");
    }
    uint8_t *bytes = ok && !file.failed ? paged_buffer_flatten(&file) : nullptr;
    size_t size = file.size;
    paged_buffer_free(&file);
    if (!bytes) return failed(path, "out of memory");
    ok = sys_write_whole(path, bytes, size);
    free(bytes);
    return ok ? 1 : failed(path, "cannot write");
}
