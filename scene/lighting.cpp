// Lighting: the atlas and light set-up, the face lists, and per object its lightmaps lit by the
// ambient colour and the sun with shadow rays, on all cores, then its lit companion.
//
// Lighting is two-sided: a face takes |n.L| of the sun whichever way it is wound, and its shadow
// rays leave from its sun side, so a face whose sun side looks into a closed solid is shadowed by
// the solid itself. Each texel depends only on its face's inputs and the ray tree's answers, so the
// texels are the same for any number of workers.
#include "scene/scene_local.h"

#include "geometry/mesh.h"
#include "geometry/vecmath.h"
#include "render/render.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

const float SURFACE_OFFSET = 0.02f;  // shadow rays leave this far off the face
const float SUN_DISTANCE = 1000.0f;
const int32_t INLINE_ROWS = 4;     // fewer shadowed texel rows are lit on the calling thread
const int32_t INLINE_CHUNKS = 2;   // and fewer pieces of the uniform tests
const int32_t CHUNK_POINTS = 24;   // lattice points of a face's uniform test per piece, at least

float dot(const float a[3], const float b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

float clamp01(float v) { return v < 0.0f ? 0.0f : v > 1.0f ? 1.0f : v; }

// Normalises v in place; false (v unchanged) when it has no length.
bool normalise(float v[3])
{
    float length = std::sqrt(dot(v, v));
    if (!(length > 1e-12f)) return false;
    for (int a = 0; a < 3; a++) v[a] /= length;
    return true;
}

void cross(const float a[3], const float b[3], float out[3])
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

// A face as the workers see it: a copy of its world corners and unit normal (zero: degenerate).
struct FaceInput {
    float p[3][3];
    float n[3];
};

// What the first pass finds for a face: its plane frame, box, light and size in the atlas.
struct FaceWork {
    float e1[3], e2[3];
    float q[3][2];   // the corners in the frame, q[0] = (0, 0)
    float box[4];    // u0, v0, du, dv
    float lambert;   // |n.L|
    float side[3];   // the normal turned to the sun
    int8_t uniform;  // -1 not uniform; else the one shadow answer (1 lit)
    uint8_t cells;
    int32_t width;  // texels per side: cells x T / 4
};

// The uniform test's shared answer for one face: UNSET until a ray reports, then the first answer
// (0 or 1), or MIXED once two rays disagree. Pieces of the test stop when they see MIXED.
constexpr int32_t VOTE_UNSET = -1, VOTE_MIXED = 2;

// A run of lattice rows of one face's uniform test.
struct TestChunk {
    int32_t face;
    int32_t first_row, rows;
};

struct LightJob {
    const SceneRayTree *tree;
    float light[3];  // unit, the way the light travels
    float ambient[3];
    float sun[3];  // light colour x light factor
    int32_t tile;
    const FaceInput *inputs;
    FaceWork *work;
    const TestChunk *chunks;
    std::atomic<int32_t> *votes;  // per face
    int32_t *row_starts;   // face f's rows are row_starts[f] to row_starts[f + 1] - 1
    int32_t *shadow_rows;  // the rows of faces that are not uniform: the ones with rays
    int32_t *offsets;      // face f's texels from offsets[f]
    uint8_t *texels;
    int32_t face_count;
    ObjectLightmaps *maps;  // receives the texel buffer
    int32_t chunk_count;
    int32_t shadow_count;
    // One run for both passes: the thread that ends the last uniform test sizes the object, then
    // `stage` goes from 0 to 1 (rows ready) or -1 (no memory), and the row items may start.
    std::atomic<int32_t> chunks_left;
    std::atomic<int32_t> stage;
};

void point_at(const FaceInput &in, const FaceWork &w, float u, float v, float out[3])
{
    for (int a = 0; a < 3; a++) out[a] = in.p[0][a] + u * w.e1[a] + v * w.e2[a];
}

// 1 when the sun reaches the point: the segment from its sun side toward the sun is clear.
int reaches_sun(const LightJob &job, const FaceWork &w, const float p[3])
{
    float from[3], to[3];
    for (int a = 0; a < 3; a++) {
        from[a] = p[a] + SURFACE_OFFSET * w.side[a];
        to[a] = from[a] - SUN_DISTANCE * job.light[a];
    }
    return ray_tree_blocked(job.tree, from, to) ? 0 : 1;
}

// The nearest point of segment a-b to p, and its squared distance.
float nearest_on_edge(const float a[2], const float b[2], const float p[2], float out[2])
{
    float d[2] = {b[0] - a[0], b[1] - a[1]};
    float length = d[0] * d[0] + d[1] * d[1];
    float t = length > 0.0f ? ((p[0] - a[0]) * d[0] + (p[1] - a[1]) * d[1]) / length : 0.0f;
    t = clamp01(t);
    out[0] = a[0] + t * d[0];
    out[1] = a[1] + t * d[1];
    return (p[0] - out[0]) * (p[0] - out[0]) + (p[1] - out[1]) * (p[1] - out[1]);
}

// Moves a frame point that lies outside the triangle onto its nearest edge point.
void clamp_into_triangle(const FaceWork &w, float p[2])
{
    const float(*q)[2] = w.q;
    float side[3];
    for (int k = 0; k < 3; k++) {
        const float *a = q[k], *b = q[(k + 1) % 3];
        side[k] = (b[0] - a[0]) * (p[1] - a[1]) - (b[1] - a[1]) * (p[0] - a[0]);
    }
    bool inside = (side[0] >= 0 && side[1] >= 0 && side[2] >= 0) || (side[0] <= 0 && side[1] <= 0 && side[2] <= 0);
    if (inside) return;
    float best[2] = {p[0], p[1]}, distance = INFINITY;
    for (int k = 0; k < 3; k++) {
        float at[2];
        float d = nearest_on_edge(q[k], q[(k + 1) % 3], p, at);
        if (d < distance) {
            distance = d;
            best[0] = at[0];
            best[1] = at[1];
        }
    }
    p[0] = best[0];
    p[1] = best[1];
}

// The face's frame: e1 along its first edge, e2 across it in its plane; corners and box in it.
void face_frame(const FaceInput &in, FaceWork &w)
{
    float e1[3], e2[3];
    for (int a = 0; a < 3; a++) e1[a] = in.p[1][a] - in.p[0][a];
    if (!normalise(e1)) {
        for (int a = 0; a < 3; a++) e1[a] = in.p[2][a] - in.p[0][a];
        if (!normalise(e1)) e1[0] = 1.0f, e1[1] = e1[2] = 0.0f;
    }
    cross(in.n, e1, e2);
    if (!normalise(e2)) {
        // No normal: any direction across e1.
        const float axis[3] = {std::fabs(e1[0]) < 0.9f ? 1.0f : 0.0f, std::fabs(e1[0]) < 0.9f ? 0.0f : 1.0f, 0.0f};
        cross(e1, axis, e2);
        normalise(e2);
    }
    memcpy(w.e1, e1, sizeof e1);
    memcpy(w.e2, e2, sizeof e2);
    float low[2] = {INFINITY, INFINITY}, high[2] = {-INFINITY, -INFINITY};
    for (int k = 0; k < 3; k++) {
        float d[3] = {in.p[k][0] - in.p[0][0], in.p[k][1] - in.p[0][1], in.p[k][2] - in.p[0][2]};
        w.q[k][0] = dot(d, e1);
        w.q[k][1] = dot(d, e2);
        for (int a = 0; a < 2; a++) {
            low[a] = std::min(low[a], w.q[k][a]);
            high[a] = std::max(high[a], w.q[k][a]);
        }
    }
    w.box[0] = low[0];
    w.box[1] = low[1];
    w.box[2] = std::max(high[0] - low[0], 1e-6f);
    w.box[3] = std::max(high[1] - low[1], 1e-6f);
}

// The order of the face's barycentric lattice for its uniform test.
int32_t lattice_order(const FaceWork &w)
{
    float extent = std::max(w.box[2], w.box[3]);
    return std::clamp(int32_t(std::ceil(extent / 0.5f)), 4, 16);
}

// Part of a face's uniform test: one ray per point of lattice rows first_row on, each point pulled
// toward the centroid, voting into the face's shared answer. The answer ends MIXED exactly when two
// points disagree, whatever the order the pieces run in, and a piece stops once it is MIXED.
void uniform_chunk(void *context, int32_t item)
{
    LightJob &job = *static_cast<LightJob *>(context);
    const TestChunk &chunk = job.chunks[item];
    const FaceInput &in = job.inputs[chunk.face];
    const FaceWork &w = job.work[chunk.face];
    std::atomic<int32_t> &vote = job.votes[chunk.face];
    int32_t k = lattice_order(w);
    float centre[3];
    for (int a = 0; a < 3; a++) centre[a] = (in.p[0][a] + in.p[1][a] + in.p[2][a]) / 3.0f;
    for (int32_t i = chunk.first_row; i < chunk.first_row + chunk.rows; i++) {
        for (int32_t j = 0; j <= k - i; j++) {
            if (vote.load(std::memory_order_relaxed) == VOTE_MIXED) return;
            float s = float(i) / float(k), t = float(j) / float(k), p[3];
            for (int a = 0; a < 3; a++) {
                p[a] = in.p[0][a] + s * (in.p[1][a] - in.p[0][a]) + t * (in.p[2][a] - in.p[0][a]);
                p[a] += 0.02f * (centre[a] - p[a]);
            }
            int32_t lit = reaches_sun(job, w, p);
            int32_t seen = VOTE_UNSET;
            if (!vote.compare_exchange_strong(seen, lit) && seen != lit) {
                vote.store(VOTE_MIXED);
                return;
            }
        }
    }
}

// First pass, one face: frame and light.
void prepare_face(const LightJob &job, int32_t f)
{
    const FaceInput &in = job.inputs[f];
    FaceWork &w = job.work[f];
    face_frame(in, w);
    float along = dot(in.n, job.light);
    w.lambert = std::fabs(along);
    float s = along <= 0.0f ? 1.0f : -1.0f;
    for (int a = 0; a < 3; a++) w.side[a] = s * in.n[a];
}

// After the uniform tests: the face's answer and its size in the atlas.
void size_face(const LightJob &job, int32_t f)
{
    FaceWork &w = job.work[f];
    // No sun on the face (no normal, or the light along it): ambient only, no rays.
    int32_t vote = job.votes[f].load();
    w.uniform = w.lambert > 0.0f ? int8_t(vote == VOTE_MIXED ? -1 : vote) : 0;
    float extent = std::max(w.box[2], w.box[3]);
    w.cells = w.uniform >= 0 || extent <= 1.0f ? 1 : extent <= 3.0f ? 2 : 4;
    w.width = std::max(int32_t(w.cells) * job.tile / 4, 1);
}

void texel_colour(const LightJob &job, const FaceWork &w, float lit, uint8_t out[3])
{
    for (int c = 0; c < 3; c++) out[c] = uint8_t(clamp01(job.ambient[c] + job.sun[c] * w.lambert * lit) * 255.0f);
}

// Second pass, one texel row of one face: each texel from 2 x 2 rays around its point.
void light_row(const LightJob &job, int32_t row)
{
    int32_t f =
        int32_t(std::upper_bound(job.row_starts, job.row_starts + job.face_count + 1, row) - job.row_starts) - 1;
    const FaceInput &in = job.inputs[f];
    const FaceWork &w = job.work[f];
    int32_t y = row - job.row_starts[f], width = w.width;
    uint8_t *out = job.texels + job.offsets[f] + size_t(y) * size_t(width) * 3;
    float step_u = width > 1 ? w.box[2] / float(width - 1) : w.box[2];
    float step_v = width > 1 ? w.box[3] / float(width - 1) : w.box[3];
    float v = width > 1 ? w.box[1] + step_v * float(y) : w.box[1] + 0.5f * w.box[3];
    for (int32_t x = 0; x < width; x++, out += 3) {
        if (w.uniform >= 0) {
            texel_colour(job, w, float(w.uniform), out);
            continue;
        }
        float u = width > 1 ? w.box[0] + step_u * float(x) : w.box[0] + 0.5f * w.box[2];
        int lit = 0;
        for (int sample = 0; sample < 4; sample++) {
            float at[2] = {u + (sample & 1 ? 0.25f : -0.25f) * step_u, v + (sample & 2 ? 0.25f : -0.25f) * step_v};
            clamp_into_triangle(w, at);
            float p[3];
            point_at(in, w, at[0], at[1], p);
            lit += reaches_sun(job, w, p);
        }
        texel_colour(job, w, float(lit) / 4.0f, out);
    }
}

void light_shadow_row(void *context, int32_t item)
{
    const LightJob &job = *static_cast<const LightJob *>(context);
    light_row(job, job.shadow_rows[item]);
}

// After the uniform tests: each face's answer and size, where its rows and texels go, the texel
// buffer, the list of rows with rays, and the uniform faces filled. False without memory.
bool size_object(LightJob &job)
{
    const int32_t n = job.face_count;
    int64_t bytes = 0;
    int32_t shadow_count = 0;
    job.row_starts[0] = 0;
    for (int32_t f = 0; f < n; f++) {
        size_face(job, f);
        const FaceWork &w = job.work[f];
        job.offsets[f] = int32_t(bytes);
        bytes += int64_t(w.width) * w.width * 3;
        job.row_starts[f + 1] = job.row_starts[f] + w.width;
        if (w.uniform < 0) shadow_count += w.width;
    }
    job.maps->texels = bytes < INT32_MAX ? static_cast<uint8_t *>(malloc(size_t(bytes))) : nullptr;
    job.maps->texel_bytes = bytes;
    job.shadow_rows = static_cast<int32_t *>(malloc(size_t(std::max(shadow_count, 1)) * sizeof(int32_t)));
    if (!job.maps->texels || !job.shadow_rows) return false;
    job.texels = job.maps->texels;
    job.shadow_count = 0;
    for (int32_t f = 0; f < n; f++) {
        const int32_t first = job.row_starts[f], end = job.row_starts[f + 1];
        if (job.work[f].uniform < 0) {
            for (int32_t row = first; row < end; row++) job.shadow_rows[job.shadow_count++] = row;
        } else {
            for (int32_t row = first; row < end; row++) light_row(job, row);  // one colour: no rays
        }
    }
    return true;
}

// One item of the run of both passes: the uniform test pieces first, then as many row items as
// the object could have rows with rays; those past the real count do nothing. The pool hands
// items out in order, so a row item waits only for pieces already taken.
void light_item(void *context, int32_t item)
{
    LightJob &job = *static_cast<LightJob *>(context);
    if (item < job.chunk_count) {
        uniform_chunk(context, item);
        if (job.chunks_left.fetch_sub(1) == 1) job.stage.store(size_object(job) ? 1 : -1);
        return;
    }
    int32_t stage;
    while ((stage = job.stage.load()) == 0) std::this_thread::yield();
    if (stage == 1 && item - job.chunk_count < job.shadow_count) light_row(job, job.shadow_rows[item - job.chunk_count]);
}

// The workers' copy of the object's faces: world corners and unit world normals.
void gather_faces(const MeshObject *object, FaceInput *inputs)
{
    for (int32_t f = 0; f < object->face_count; f++) {
        const MeshFace &face = object->faces[f];
        FaceInput &in = inputs[f];
        memset(&in, 0, sizeof in);
        bool valid = true;
        for (int32_t v : face.v) valid = valid && v >= 0 && v < object->vertex_count;
        if (!valid) continue;  // all zero: a degenerate face
        for (int k = 0; k < 3; k++) memcpy(in.p[k], object->vertices[face.v[k]].world_position, sizeof in.p[k]);
        memcpy(in.n, face.world_normal, sizeof in.n);
        if (!normalise(in.n)) memset(in.n, 0, sizeof in.n);
    }
}

void drop_lighting(SceneWorld *world, int32_t i)
{
    scene_lightmaps_free(world->lightmaps[i]);
    world->lightmaps[i] = nullptr;
    if (world->companions[i]) mesh_delete(world->companions[i]);
    world->companions[i] = nullptr;
    world->objects[i]->companion = nullptr;
    world->object_marks[i] = 0;
}

// Runs the items on the pool, or here for small amounts of work.
void run_items(int32_t count, bool inline_only, void (*work)(void *, int32_t), LightJob *job)
{
    if (inline_only) {
        for (int32_t k = 0; k < count; k++) work(job, k);
    } else {
        light_pool_run(count, work, job);
    }
}

}  // namespace

// The lit copy: three vertices per face, lightmap coordinates inside each face's block. Its world
// data are the object's (both callers have just computed the object's world transform, and the
// copy stands where the object stands), so they are copied rather than computed again.
MeshObject *scene_make_companion(const MeshObject *object, const ObjectLightmaps *maps)
{
    MeshObject *copy = mesh_new();
    if (!copy) return nullptr;
    int32_t n = object->face_count;
    // Every vertex and face is written whole below: the arrays need no clearing.
    copy->vertices = static_cast<MeshVertex *>(malloc(size_t(3 * std::max(n, 1)) * sizeof(MeshVertex)));
    copy->faces = static_cast<MeshFace *>(malloc(size_t(std::max(n, 1)) * sizeof(MeshFace)));
    if (!copy->vertices || !copy->faces) {
        mesh_delete(copy);
        return nullptr;
    }
    copy->vertex_capacity = copy->vertex_count = 3 * n;
    copy->face_capacity = copy->face_count = n;
    memcpy(copy->name, object->name, sizeof copy->name);
    copy->object_type = object->object_type;
    memcpy(copy->position, object->position, sizeof copy->position);
    memcpy(copy->rotation, object->rotation, sizeof copy->rotation);
    memcpy(copy->matrix, object->matrix, sizeof copy->matrix);
    memcpy(copy->rotation_matrix, object->rotation_matrix, sizeof copy->rotation_matrix);
    for (int32_t f = 0; f < n; f++) {
        const MeshFace &source = object->faces[f];
        const FaceLightmap &map = maps->faces[f];
        float w = float(map.cells * maps->tile_size / 4);
        MeshFace &face = copy->faces[f];
        scene_clear_record(&face);
        for (int k = 0; k < 3; k++) {
            MeshVertex &v = copy->vertices[3 * f + k];
            scene_clear_record(&v);
            int32_t from = source.v[k];
            if (from >= 0 && from < object->vertex_count) {
                const MeshVertex &s = object->vertices[from];
                memcpy(v.position, s.position, sizeof v.position);
                memcpy(v.normal, s.normal, sizeof v.normal);
                memcpy(v.uv0, s.uv0, sizeof v.uv0);
                memcpy(v.world_position, s.world_position, sizeof v.world_position);
                memcpy(v.world_normal, s.world_normal, sizeof v.world_normal);
            } else {
                mat4_transform_point(v.world_position, copy->matrix, v.position);
                mat4_transform_vector(v.world_normal, copy->rotation_matrix, v.normal);
            }
            // Texel centres: corner a of the block's width w lies at texel a (w - 1).
            v.uv1[0] = w > 1.0f ? (0.5f + map.ab[2 * k] * (w - 1.0f)) / w : 0.5f;
            v.uv1[1] = w > 1.0f ? (0.5f + map.ab[2 * k + 1] * (w - 1.0f)) / w : 0.5f;
            for (float &channel : v.color) channel = 1.0f;
            face.v[k] = 3 * f + k;
            face.corner[k] = &v;
        }
        memcpy(face.normal, source.normal, sizeof face.normal);
        memcpy(face.world_normal, source.world_normal, sizeof face.world_normal);
        memcpy(face.uv, source.uv, sizeof face.uv);
        memcpy(face.color, source.color, sizeof face.color);
        face.part = source.part;
        face.texture_id = source.texture_id;
        face.texture_id2 = source.texture_id2;
        face.material = source.material;
        face.build_flag = source.build_flag;
        face.lightmap_page = face.lightmap_page2 = map.block_id;
    }
    return copy;
}

// The object's blocks in the atlas; false (logged) when the atlas is full.
bool scene_place_lightmap_blocks(SceneWorld *world, int32_t i, ObjectLightmaps *maps)
{
    RenderContext *context = scene_context(world);
    for (int32_t f = 0; f < maps->face_count; f++) {
        FaceLightmap &face = maps->faces[f];
        face.block_id =
            face.cells == 4 ? lightmap_atlas_alloc_block(context) : lightmap_atlas_alloc_cells(context, face.cells);
        if (face.block_id <= 0) {
            scene_log("lightmap atlas full: \"%.127s\" gets no lightmaps", world->objects[i]->name);
            return false;
        }
    }
    for (int32_t f = 0; f < maps->face_count; f++)
        lightmap_atlas_upload_block_rgb(maps->faces[f].block_id, context, maps->texels + maps->faces[f].texel_offset);
    return true;
}

void world_setup_lighting_textures(SceneWorld *world)
{
    RenderContext *context = scene_context(world);
    const float *ambient = world->ambient_colour, *light = world->light_colour;
    g_lightmap_tile_size = world->lightmap_tile_size;
    light_set_ambient(context, ambient[0], ambient[1], ambient[2]);
    float direction[3] = {world->light_vector[0], world->light_vector[1], world->light_vector[2]};
    normalise(direction);
    light_set_directional(context, SCENE_SUN_SLOT, direction[0], direction[1], direction[2], light[0], light[1],
                          light[2]);
    float full[3];
    for (int c = 0; c < 3; c++) full[c] = clamp01(ambient[c] + light[c] * world->light_factor);
    // A reset keeps the old blocks; the owners of lightmaps have let them go before this.
    lightmap_atlas_free(context);
    lightmap_atlas_reset_ex(context, ambient[0], ambient[1], ambient[2], full[0], full[1], full[2], light[0], light[1],
                            light[2]);
}

void world_build_object_face_lists(SceneWorld *world, int32_t value)
{
    ray_tree_free(world->ray_tree);
    world->ray_tree = nullptr;
    memset(world->light_meshes, 0, sizeof world->light_meshes);
    int32_t count = 0;
    for (int32_t i = 0; i < world->object_count; i++) {
        MeshObject *object = world->objects[i];
        if (!object || object->object_type != 2 || i == value) continue;
        mesh_update_world_transform(object);
        world->light_meshes[count++] = object;
    }
    world->light_bsp.meshes = world->light_meshes;
    world->light_bsp.mesh_count = count;
    memcpy(world->light_bsp.light_vector, world->light_vector, sizeof world->light_vector);
    world->light_bsp.reach = SUN_DISTANCE;
    world->ray_tree = ray_tree_build(world->light_meshes, count);
}

void lightmap_compute_all(SceneWorld *world, int32_t i)
{
    if (i < 0 || i >= world->object_count || !world->objects[i]) return;
    MeshObject *object = world->objects[i];
    drop_lighting(world, i);
    int32_t n = object->face_count;
    if (n <= 0 || !object->faces || !object->vertices) return;
    mesh_update_world_transform(object);

    RenderContext *context = scene_context(world);
    LightJob job = {};
    ray_tree_finish(world->ray_tree);
    job.tree = world->ray_tree;
    memcpy(job.light, world->light_vector, sizeof job.light);
    if (!normalise(job.light)) job.light[0] = 0.0f, job.light[1] = 1.0f, job.light[2] = 0.0f;
    for (int c = 0; c < 3; c++) {
        job.ambient[c] = world->ambient_colour[c];
        job.sun[c] = world->light_colour[c] * world->light_factor;
    }
    job.tile = context->atlas_tile_size > 0 ? context->atlas_tile_size : 16;
    job.face_count = n;

    FaceInput *inputs = static_cast<FaceInput *>(malloc(size_t(n) * sizeof(FaceInput)));
    FaceWork *work = static_cast<FaceWork *>(calloc(size_t(n), sizeof(FaceWork)));
    int32_t *row_starts = static_cast<int32_t *>(malloc(size_t(n + 1) * sizeof(int32_t)));
    ObjectLightmaps *maps = static_cast<ObjectLightmaps *>(calloc(1, sizeof(ObjectLightmaps)));
    FaceLightmap *faces = static_cast<FaceLightmap *>(calloc(size_t(n), sizeof(FaceLightmap)));
    int32_t *offsets = static_cast<int32_t *>(malloc(size_t(n) * sizeof(int32_t)));
    // At most 17 lattice rows a face, so at most 17 pieces.
    TestChunk *chunks = static_cast<TestChunk *>(malloc(size_t(n) * 17 * sizeof(TestChunk)));
    std::atomic<int32_t> *votes = new (std::nothrow) std::atomic<int32_t>[size_t(n)];
    int32_t *shadow_rows = nullptr;
    bool ok = inputs && work && row_starts && maps && faces && offsets && chunks && votes;
    if (ok) {
        gather_faces(object, inputs);
        job.inputs = inputs;
        job.work = work;
        job.votes = votes;
        job.chunks = chunks;
        // The uniform tests of the lit faces in pieces of a few lattice rows, spread over the
        // workers: a large face's test is no longer one worker's.
        int32_t chunk_count = 0;
        for (int32_t f = 0; f < n; f++) {
            prepare_face(job, f);
            votes[f].store(VOTE_UNSET, std::memory_order_relaxed);
            if (!(work[f].lambert > 0.0f)) continue;
            int32_t k = lattice_order(work[f]);
            for (int32_t row = 0; row <= k;) {
                TestChunk &chunk = chunks[chunk_count++];
                chunk.face = f;
                chunk.first_row = row;
                for (int32_t points = 0; row <= k && points < CHUNK_POINTS; row++) points += k - row + 1;
                chunk.rows = row - chunk.first_row;
            }
        }
        job.row_starts = row_starts;
        job.offsets = offsets;
        job.maps = maps;
        job.chunk_count = chunk_count;
        // Both passes in one run when the tests are worth the workers: a face has at most
        // max(T, 1) rows.
        int64_t row_room = 0;
        for (int32_t f = 0; f < n; f++)
            if (work[f].lambert > 0.0f) row_room += std::max(job.tile, 1);
        if (chunk_count < INLINE_CHUNKS || chunk_count + row_room > INT32_MAX) {
            run_items(chunk_count, chunk_count < INLINE_CHUNKS, uniform_chunk, &job);
            ok = size_object(job);
            if (ok) run_items(job.shadow_count, job.shadow_count < INLINE_ROWS, light_shadow_row, &job);
        } else {
            job.chunks_left.store(chunk_count);
            job.stage.store(0);
            run_items(int32_t(chunk_count + row_room), false, light_item, &job);
            ok = job.stage.load() == 1;
        }
        shadow_rows = job.shadow_rows;
    }
    if (ok) {
        maps->face_count = n;
        maps->tile_size = job.tile;
        maps->faces = faces;
        faces = nullptr;
        for (int32_t f = 0; f < n; f++) {
            maps->faces[f].cells = work[f].cells;
            maps->faces[f].texel_offset = offsets[f];
            for (int k = 0; k < 3; k++) {
                maps->faces[f].ab[2 * k] = (work[f].q[k][0] - work[f].box[0]) / work[f].box[2];
                maps->faces[f].ab[2 * k + 1] = (work[f].q[k][1] - work[f].box[1]) / work[f].box[3];
            }
        }
        ok = scene_place_lightmap_blocks(world, i, maps);
    }
    MeshObject *companion = ok ? scene_make_companion(object, maps) : nullptr;
    if (companion) {
        world->lightmaps[i] = maps;
        world->companions[i] = companion;
        object->companion = companion;
        world->object_marks[i] = 1;
        world->lighting_flag = 1;
    } else {
        scene_lightmaps_free(maps);
    }
    free(inputs);
    free(work);
    free(row_starts);
    free(faces);
    free(offsets);
    free(chunks);
    delete[] votes;
    free(shadow_rows);
}
