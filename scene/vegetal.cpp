// Plants: the shared random table, the scratch records course play borrows, and the build and
// release of a plant's two meshes.
#include "scene/scene_local.h"

#include "geometry/mesh.h"
#include "geometry/mesh_edit.h"
#include "geometry/vecmath.h"
#include "render/render_object.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// A fixed linear congruential generator, so plants are the same on every run and host.
constexpr std::array<float, kVegetalRandomCount> make_random_table()
{
    std::array<float, kVegetalRandomCount> table{};
    uint32_t state = 0x2545F491u;
    for (float &value : table) {
        state = state * 1664525u + 1013904223u;
        value = float(state >> 8) * (1.0f / 16777216.0f);
    }
    return table;
}

constexpr std::array<float, kVegetalRandomCount> kRandomTable = make_random_table();

}  // namespace

const float *const g_vegetal_random = kRandomTable.data();

uint8_t *g_leaf_alpha_map = nullptr;
int32_t g_leaf_alpha_width = 0;
int32_t g_leaf_alpha_height = 0;

int vegetal_alloc_arrays(MeshScratch *scratch, int32_t n)
{
    if (!scratch) return 0;
    mesh_scratch_free(scratch);
    if (n <= 0 || n > (1 << 24)) return 0;
    scratch->vertices = static_cast<MeshVertex *>(calloc(size_t(n), sizeof(MeshVertex)));
    scratch->faces = static_cast<MeshFace *>(calloc(size_t(n), sizeof(MeshFace)));
    if (!scratch->vertices || !scratch->faces) {
        mesh_scratch_free(scratch);
        return 0;
    }
    scratch->vertex_capacity = n;
    scratch->face_capacity = n;
    return 1;
}

void vegetal_clear(VegetalObject *object)
{
    if (!object) return;
    for (int k = 0; k < 2; k++) {
        mesh_delete(object->meshes[k]);
        object->meshes[k] = nullptr;
        scene_render_object_delete(object->render_objects[k]);
        object->render_objects[k] = nullptr;
    }
    object->mesh_count = 0;
    object->cache_key = 0;
}

// ---- building -------------------------------------------------------------------------------------

namespace {

// Words from files are clamped into the ranges the build supports; NaN gives the low end.
float clamp_word(float value, float low, float high)
{
    if (!(value >= low)) return low;
    return value > high ? high : value;
}

int32_t clamp_count(int32_t value, int32_t low, int32_t high)
{
    return value < low ? low : value > high ? high : value;
}

// The plant's measures, from the instance record and the size.
struct PlantShape {
    bool tree;
    float height;        // of the trunk
    float trunk_radius;  // at its foot
    float crown_radius;
    float crown_centre[3];
    int32_t sides;
    int32_t branches;
    int32_t cards;
    float card_side;
};

PlantShape plant_shape(const VegetalInstance *instance, float size, int32_t detail)
{
    PlantShape s = {};
    s.tree = instance->kind == kVegetalTree;
    size = clamp_word(size, 0.0f, 20.0f);
    // A bush's size is small (under 1): a short stem under a wide, flat crown.
    s.height = s.tree ? clamp_word(size, 0.5f, 20.0f) : 0.2f + 0.4f * size;
    float scale = clamp_word(instance->crown_scale, 0.1f, 2.0f);
    s.crown_radius = s.tree ? 0.4f * scale * s.height : scale * (0.8f + size);
    s.trunk_radius = clamp_word(instance->trunk_radius, 0.01f, 0.2f) * (s.tree ? s.height : 2.0f);
    s.crown_centre[1] = -(s.height + (s.tree ? 0.5f : 0.3f) * s.crown_radius);
    s.sides = detail == 0 ? 6 : 3;
    s.branches = s.tree ? (detail == 0 ? clamp_count(instance->values[0], 0, 32) : 4) : 0;
    int32_t near_cards = clamp_count(instance->values[1], 0, 400);
    s.cards = detail == 0 ? near_cards : std::max(6, near_cards / 4);
    s.card_side = 2.0f * clamp_word(instance->card_size, 0.05f, 2.0f) * (detail == 0 ? 1.0f : 1.6f);
    return s;
}

// The same numbers for both levels of one plant: a start in the random table from its words.
uint32_t random_start(const VegetalInstance *instance, float size)
{
    uint32_t words[17], bits;
    memcpy(words, instance, 9 * 4);
    memcpy(words + 9, &instance->variant, 8 * 4);
    memcpy(&bits, &size, 4);
    uint32_t hash = 2166136261u ^ bits;
    for (uint32_t word : words) hash = (hash ^ word) * 16777619u;
    return hash % uint32_t(kVegetalRandomCount);
}

struct RandomCursor {
    uint32_t at;
    float next() { return g_vegetal_random[at++ % uint32_t(kVegetalRandomCount)]; }
};

// A mesh with arrays of exactly the given sizes, counts 0. The arrays are not cleared: the builder
// writes every vertex and face whole, once, and fills them to those sizes (a plant's arrays are
// most of what a load writes, so clearing them first would write them twice).
MeshObject *exact_mesh(int32_t vertices, int32_t faces)
{
    MeshObject *mesh = mesh_new();
    if (!mesh) return nullptr;
    mesh->vertices = static_cast<MeshVertex *>(malloc(size_t(vertices > 0 ? vertices : 1) * sizeof(MeshVertex)));
    mesh->faces = static_cast<MeshFace *>(malloc(size_t(faces > 0 ? faces : 1) * sizeof(MeshFace)));
    if (!mesh->vertices || !mesh->faces) {
        mesh_delete(mesh);
        return nullptr;
    }
    mesh->vertex_capacity = vertices;
    mesh->face_capacity = faces;
    mesh->object_type = 2;
    return mesh;
}

// The plant's highest point (y down: the least y) over every vertex in the order they are made.
struct PlantTop {
    float y = 0.0f;
};

void add_vertex(MeshObject *mesh, const float *p, const float *normal, float u, float v, PlantTop *top)
{
    MeshVertex &vertex = mesh->vertices[mesh->vertex_count++];
    scene_clear_record(&vertex);
    memcpy(vertex.position, p, sizeof vertex.position);
    memcpy(vertex.normal, normal, sizeof vertex.normal);
    vertex.uv0[0] = u;
    vertex.uv0[1] = v;
    for (float &c : vertex.color) c = 1.0f;
    top->y = std::min(top->y, p[1]);
}

// The face (a, b, c) with its unit normal; its corner pointers set as mesh_link_face_vertices sets them.
void put_face(MeshObject *mesh, int32_t a, int32_t b, int32_t c, const float *normal, int16_t texture)
{
    MeshFace &face = mesh->faces[mesh->face_count++];
    scene_clear_record(&face);
    face.v[0] = a;
    face.v[1] = b;
    face.v[2] = c;
    memcpy(face.normal, normal, sizeof face.normal);
    for (int k = 0; k < 3; k++) {
        MeshVertex *corner = &mesh->vertices[face.v[k]];
        face.corner[k] = corner;
        face.uv[2 * k] = corner->uv0[0];
        face.uv[2 * k + 1] = corner->uv0[1];
    }
    face.texture_id = texture;
    face.material = uint16_t(uint32_t(uint16_t(texture)) << 2);  // opaque; the crown's cards are made see-through
}

// The triangle (p0, p1, p2) as the mesh rule sees it: n = (p2 - p0) x (p1 - p0), whether it points
// along `outward` (d = n . outward), and its unit normal (zero when it has no length).
struct Winding {
    float d;
    float unit[3];
};

Winding winding(const float *p0, const float *p1, const float *p2, const float *outward)
{
    float e1[3], e2[3], n[3];
    Winding w = {};
    vec3_sub(e1, p2, p0);
    vec3_sub(e2, p1, p0);
    vec3_cross(n, e1, e2);
    w.d = vec3_dot(n, outward);
    float length = std::sqrt(vec3_dot(n, n));  // the same for -n
    if (length > 0.0f) vec3_scale(w.unit, n, 1.0f / length);
    return w;
}

// The face (a, b, c) of winding w, wound the other way (and its normal negated) when `flip`.
// Negating is exact, so this gives the bytes of computing the flipped face afresh.
void add_wound_face(MeshObject *mesh, int32_t a, int32_t b, int32_t c, const Winding &w, bool flip, int16_t texture)
{
    float normal[3];
    memcpy(normal, w.unit, sizeof normal);
    if (flip) {
        // A zero normal (no length) stays as it is, as the mesh rule leaves it.
        if (normal[0] != 0.0f || normal[1] != 0.0f || normal[2] != 0.0f) vec3_scale(normal, normal, -1.0f);
        std::swap(b, c);
    }
    put_face(mesh, a, b, c, normal, texture);
}

// A face whose normal (the mesh rule) points along `outward`: wound the other way when it does not.
void add_face(MeshObject *mesh, int32_t a, int32_t b, int32_t c, const float *outward, int16_t texture)
{
    const Winding w =
        winding(mesh->vertices[a].position, mesh->vertices[b].position, mesh->vertices[c].position, outward);
    add_wound_face(mesh, a, b, c, w, w.d < 0.0f, texture);
}

// A tapered prism along the segment from `foot` (radius r0) to `tip` (radius r1), sides open.
void add_prism(MeshObject *mesh, const float *foot, const float *tip, float r0, float r1, int32_t sides,
               int16_t texture, PlantTop *top)
{
    float axis[3], a0[3], a1[3];
    vec3_sub(axis, tip, foot);
    vec3_normalize(axis);
    mat4_orient_to_direction(a0, axis, 0);
    mat4_orient_to_direction(a1, axis, 1);
    int32_t first = mesh->vertex_count;
    for (int32_t k = 0; k < sides; k++) {
        float angle = 6.2831853f * float(k) / float(sides);
        float radial[3];
        for (int c = 0; c < 3; c++) radial[c] = std::cos(angle) * a0[c] + std::sin(angle) * a1[c];
        float p[3];
        for (int c = 0; c < 3; c++) p[c] = foot[c] + r0 * radial[c];
        add_vertex(mesh, p, radial, float(k) / float(sides), 0.0f, top);
        for (int c = 0; c < 3; c++) p[c] = tip[c] + r1 * radial[c];
        add_vertex(mesh, p, radial, float(k) / float(sides), 1.0f, top);
    }
    for (int32_t k = 0; k < sides; k++) {
        int32_t b0 = first + 2 * k, t0 = b0 + 1, b1 = first + 2 * ((k + 1) % sides), t1 = b1 + 1;
        float middle[3], outward[3];
        for (int c = 0; c < 3; c++)
            middle[c] = 0.25f * (mesh->vertices[b0].position[c] + mesh->vertices[t0].position[c] +
                                 mesh->vertices[b1].position[c] + mesh->vertices[t1].position[c]);
        for (int c = 0; c < 3; c++) outward[c] = middle[c] - 0.5f * (foot[c] + tip[c]);
        add_face(mesh, b0, b1, t1, outward, texture);
        add_face(mesh, b0, t1, t0, outward, texture);
    }
}

MeshObject *build_trunk(const PlantShape &s, RandomCursor random, int16_t texture, PlantTop *top)
{
    MeshObject *mesh = exact_mesh(2 * s.sides + 6 * s.branches, 2 * s.sides + 6 * s.branches);
    if (!mesh) return nullptr;
    const float foot[3] = {0.0f, 0.0f, 0.0f}, tip[3] = {0.0f, -s.height, 0.0f};
    add_prism(mesh, foot, tip, s.trunk_radius, 0.5f * s.trunk_radius, s.sides, texture, top);
    for (int32_t k = 0; k < s.branches; k++) {
        // From the upper half of the trunk, outward and up into the crown.
        float along = 0.5f + 0.45f * random.next(), angle = 6.2831853f * random.next();
        float reach = s.crown_radius * (0.5f + 0.4f * random.next());
        float from[3] = {0.0f, -s.height * along, 0.0f};
        float to[3] = {reach * std::cos(angle), from[1] - 0.6f * reach, reach * std::sin(angle)};
        add_prism(mesh, from, to, 0.3f * s.trunk_radius, 0.1f * s.trunk_radius, 3, texture, top);
    }
    // The normals are set: radial at the vertices, by the winding on the faces.
    return mesh;
}

// Leaf cards: two crossed quads each, in both windings over the same corners, all four corners
// of a card with the normal pointing out of the crown through its centre.
MeshObject *build_crown(const PlantShape &s, RandomCursor random, int16_t texture, PlantTop *top)
{
    MeshObject *mesh = exact_mesh(8 * s.cards, 8 * s.cards);
    if (!mesh) return nullptr;
    const float flat = s.tree ? 1.0f : 0.6f;  // a bush's crown is flatter
    const float corners[4][2] = {{-0.5f, -0.5f}, {0.5f, -0.5f}, {0.5f, 0.5f}, {-0.5f, 0.5f}};
    for (int32_t k = 0; k < s.cards; k++) {
        float centre[3], direction[3];
        // A point of the crown's ellipsoid, denser toward its surface.
        for (int c = 0; c < 3; c++) direction[c] = 2.0f * random.next() - 1.0f;
        if (vec3_dot(direction, direction) < 1e-6f) direction[1] = -1.0f;
        vec3_normalize(direction);
        float r = s.crown_radius * (0.35f + 0.65f * random.next());
        for (int c = 0; c < 3; c++) centre[c] = s.crown_centre[c] + r * direction[c] * (c == 1 ? flat : 1.0f);
        float outward[3];
        vec3_sub(outward, centre, s.crown_centre);
        if (vec3_dot(outward, outward) < 1e-12f) outward[1] = -1.0f;
        vec3_normalize(outward);
        float angle = 3.14159265f * random.next();
        for (int quad = 0; quad < 2; quad++) {
            float turn = angle + 1.5707963f * float(quad);
            const float across[3] = {std::cos(turn), 0.0f, std::sin(turn)}, up[3] = {0.0f, 1.0f, 0.0f};
            int32_t first = mesh->vertex_count;
            float p[4][3];
            for (int k = 0; k < 4; k++) {
                for (int c = 0; c < 3; c++)
                    p[k][c] = centre[c] + s.card_side * (corners[k][0] * across[c] + corners[k][1] * up[c]);
                add_vertex(mesh, p[k], outward, corners[k][0] + 0.5f, corners[k][1] + 0.5f, top);
            }
            float facing[3];
            vec3_cross(facing, across, up);
            // The back side's faces are the front's turned over: facing . n changes sign exactly.
            const Winding w0 = winding(p[0], p[1], p[2], facing);
            const Winding w1 = winding(p[0], p[2], p[3], facing);
            add_wound_face(mesh, first, first + 1, first + 2, w0, w0.d < 0.0f, texture);
            add_wound_face(mesh, first, first + 2, first + 3, w1, w1.d < 0.0f, texture);
            add_wound_face(mesh, first, first + 1, first + 2, w0, w0.d > 0.0f, texture);
            add_wound_face(mesh, first, first + 2, first + 3, w1, w1.d > 0.0f, texture);
        }
    }
    // The leaves' cards blend over what lies behind them (the material's low bits: 1, alpha over).
    for (int32_t f = 0; f < mesh->face_count; f++) mesh->faces[f].material |= 1u;
    return mesh;
}

}  // namespace

int vegetal_build(VegetalObject *object, const VegetalInstance *instance, float size, int32_t detail)
{
    if (!object || !instance) return 0;
    vegetal_clear(object);
    detail = detail == 0 ? 0 : 1;
    const PlantShape s = plant_shape(instance, size, detail);
    const int32_t *textures = detail == 0 ? object->textures_a : object->textures_b;
    RandomCursor branches = {random_start(instance, size)};
    RandomCursor cards = {branches.at + uint32_t(kVegetalRandomCount / 2)};
    PlantTop top;
    object->meshes[0] = build_trunk(s, branches, int16_t(textures[0]), &top);
    object->meshes[1] = build_crown(s, cards, int16_t(textures[3]), &top);
    if (!object->meshes[0] || !object->meshes[1]) {
        scene_log("no memory for a plant");
        vegetal_clear(object);
        return 0;
    }
    object->mesh_count = 2;
    object->kind = s.tree ? kVegetalTree : kVegetalBush;
    object->detail = detail;
    object->size = clamp_word(size, 0.0f, 20.0f);
    object->crown_pivot[0] = object->crown_pivot[2] = 0.0f;
    object->crown_pivot[1] = -s.height;
    object->bounds_min_y = top.y;
    object->bounds_max_y = 0.0f;
    return 1;
}
