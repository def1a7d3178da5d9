// Render objects from meshes: the simple loader, the unit box, and the full builder with its
// per-part vertices, lightmap coordinates from the atlas blocks, texture handedness, per-keyframe
// buffers, and indices sorted into draw ranges through the keyed group list.
#include "render/render_local.h"

#include "geometry/mesh.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr int32_t kParts = kRenderGroupParts;

bool face_valid(const MeshObject *mesh, const MeshFace &face)
{
    for (int32_t index : face.v)
        if (index < 0 || index >= mesh->vertex_count) return false;
    return true;
}

int32_t face_part(const MeshFace &face) { return face.part < 0 ? 0 : face.part >= kParts ? kParts - 1 : face.part; }

struct Builder {
    RenderContext *context;
    const MeshObject *mesh;
    LightmapBlock *const *table;
    RenderObject *object;
    uint32_t flags;
    bool grouped;
    float tile;  // a tile's share of a page, T / 128
    float cell;  // a cell's, T / 512
    int32_t highest_part;
    int32_t *remap[kParts];  // grouped: object vertex of each mesh vertex, per part
};

// Writes object vertex `out` from mesh vertex `source`; a keyframe gives its own position and
// normal.
void fill_vertex(const Builder &b, int32_t out, int32_t source, const MeshKeyframeVertex *key)
{
    RenderObject *o = b.object;
    const MeshVertex &v = b.mesh->vertices[source];
    uint32_t f = b.flags;
    bool world = f & kRenderWorldSpace;
    if ((f & kRenderKeepSource) && o->array_a && out < o->vertex_count) o->array_a[out] = source;
    if ((f & kRenderThreePairs) && !(f & kRenderHandedness)) {
        if (b.grouped)
            render_vertex_set_color_argb(o, out, v.color[0], v.color[1], v.color[2], 1.0f);
        else
            render_vertex_set_color_argb(o, out, 1.0f, 1.0f, 1.0f, 1.0f);
        render_vertex_set_position_v(o, out, key ? key->position : v.position);
        render_vertex_set_texcoord0_v(o, out, v.uv0);
        return;
    }
    if (f & kRenderDiffuse) render_vertex_set_color_argb(o, out, v.color[0], v.color[1], v.color[2], v.color[3]);
    if (f & kRenderNormal) render_vertex_set_normal_v(o, out, key ? key->normal : world ? v.world_normal : v.normal);
    render_vertex_set_position_v(o, out, key ? key->position : world ? v.world_position : v.position);
    if (f & kRenderTexColour) render_vertex_set_texcoord0_v(o, out, v.uv0);
    if (f & kRenderSecondPair) render_vertex_set_second_texcoord_v(o, out, v.uv1);
    if (f & kRenderSkinned) render_vertex_set_skin(o, out, v.blend_weights, v.bone_indices);
}

// The block a face's lightmap index names; an index outside the block list reads block 0.
const LightmapBlock *block_for(const Builder &b, int32_t index)
{
    if (index < 0 || index >= b.context->atlas_blocks.count) index = 0;
    if (b.table && b.table[index]) return b.table[index];
    ListNode<LightmapBlock> *node = list_get_atlas_page(&b.context->atlas_blocks, index);
    return node ? &node->value : nullptr;
}

// Pair 1 (or 2) of the corners: their own pair 1 scaled into the block's place on its page.
void write_lightmap(const Builder &b, const int32_t out[3], const int32_t source[3], const LightmapBlock *block,
                    bool second)
{
    float s = float(block->width_cells) * b.cell;
    float u0 = float(block->tile_column) * b.tile + float(block->cell_column) * b.cell;
    float v0 = float(block->tile_row) * b.tile + float(block->cell_row) * b.cell;
    for (int k = 0; k < 3; k++) {
        const float *l = b.mesh->vertices[source[k]].uv1;
        if (second)
            render_vertex_set_third_texcoord(b.object, out[k], l[0] * s + u0, l[1] * s + v0);
        else
            render_vertex_set_second_texcoord(b.object, out[k], l[0] * s + u0, l[1] * s + v0);
    }
}

// The object vertices of a face's corners.
void face_corners(const Builder &b, const MeshFace &face, int32_t out[3])
{
    for (int k = 0; k < 3; k++) out[k] = b.grouped ? b.remap[face_part(face)][face.v[k]] : face.v[k];
}

// The pairs a face writes on its corners: lightmap coordinates and texture handedness.
void write_face_pairs(const Builder &b, const MeshFace &face)
{
    int32_t out[3];
    face_corners(b, face, out);
    const LightmapBlock *first = (b.flags & kRenderLightmap) ? block_for(b, face.lightmap_page) : nullptr;
    const LightmapBlock *second = (b.flags & kRenderThreePairs) ? block_for(b, face.lightmap_page2) : nullptr;
    if (first) write_lightmap(b, out, face.v, first, false);
    if (second) write_lightmap(b, out, face.v, second, true);
    if (b.flags & kRenderHandedness) {
        const float *t0 = b.mesh->vertices[face.v[0]].uv0, *t1 = b.mesh->vertices[face.v[1]].uv0,
                    *t2 = b.mesh->vertices[face.v[2]].uv0;
        float turn = (t2[1] - t0[1]) * (t1[0] - t0[0]) - (t2[0] - t0[0]) * (t1[1] - t0[1]);
        for (int32_t corner : out) render_vertex_set_fourth_texcoord(b.object, corner, turn <= 0.0f ? -1.0f : 1.0f);
    }
}

// The exact fields of a face's group, and the packed key that orders the groups.
RenderGroupFields group_fields(const Builder &b, const MeshFace &face, uint32_t *key)
{
    RenderGroupFields g = {};
    uint32_t f = b.flags;
    g.texture1 = uint16_t(face.texture_id);
    g.material = face.material;
    int second_texture_flags = ((f & kRenderSecondPair) != 0) + ((f & kRenderSecondTexture) != 0) +
                               ((f & kRenderSecondTextureB) != 0);
    if (second_texture_flags) g.texture2 = uint16_t(face.texture_id2);
    const LightmapBlock *first = (f & kRenderLightmap) ? block_for(b, face.lightmap_page) : nullptr;
    const LightmapBlock *second = (f & kRenderThreePairs) ? block_for(b, face.lightmap_page2) : nullptr;
    if (first) g.page1 = uint16_t(first->page);
    if (second) g.page2 = uint16_t(second->page);
    uint32_t k = uint32_t(int32_t(face.texture_id)) * 1024u;
    if (first) k += uint32_t(first->page);
    k += uint32_t(int32_t(face.texture_id2)) * uint32_t(second_texture_flags);
    k = k * 1024u + (second ? uint32_t(second->page) : 0u);
    *key = k * 4u + face.material;
    return g;
}

void append_face(RenderGroupNode *node, int32_t part, int32_t face)
{
    if (node->face_counts[part] == node->capacities[part]) {
        int32_t capacity = node->capacities[part] ? node->capacities[part] * 2 : 16;
        void *grown = realloc(node->face_lists[part], size_t(capacity) * sizeof(int32_t));
        if (!grown) return;
        node->face_lists[part] = static_cast<int32_t *>(grown);
        node->capacities[part] = capacity;
    }
    node->face_lists[part][node->face_counts[part]++] = face;
}

// Writes the indices of every group, part by part, and a draw range for each.
void write_ranges(Builder &b, RenderGroupList *groups)
{
    RenderObject *o = b.object;
    render_object_lock_indices(o);
    int32_t at = 0;
    for (RenderGroupNode *node = groups->first; node; node = node->next) {
        for (int32_t part = 0; part <= b.highest_part; part++) {
            if (node->face_counts[part] <= 0) continue;
            int32_t first = at, lowest = o->vertex_count, highest = -1;
            for (int32_t n = 0; n < node->face_counts[part]; n++) {
                int32_t out[3];
                face_corners(b, b.mesh->faces[node->face_lists[part][n]], out);
                for (int32_t vertex : out) {
                    render_object_write_index(o, at++, uint32_t(vertex));
                    if (vertex < lowest) lowest = vertex;
                    if (vertex > highest) highest = vertex;
                }
            }
            RenderDrawRange range = {};
            range.first_index = first;
            range.end_index = at;
            range.lowest_vertex = lowest - 1 < 0 ? 0 : lowest - 1;
            range.vertex_end = highest + 1 > o->vertex_count ? o->vertex_count : highest + 1;
            range.texture1 = node->fields.texture1;
            range.texture2 = node->fields.texture2;
            range.lightmap_page1 = node->fields.page1;
            range.lightmap_page2 = node->fields.page2;
            range.material_bits = uint16_t(node->fields.material & 3);
            range.part = uint16_t(part);
            list_add_rec30(&o->ranges, range);
        }
    }
    o->indices_in_use = at;
    render_object_unlock_indices(o);
}

// Grouped vertices: each part's vertices in mesh order, a vertex used by two parts written twice.
bool build_grouped_vertices(Builder &b)
{
    const MeshObject *mesh = b.mesh;
    int32_t total = 0;
    b.highest_part = 0;
    for (int32_t f = 0; f < mesh->face_count; f++)
        if (face_valid(mesh, mesh->faces[f]) && face_part(mesh->faces[f]) > b.highest_part)
            b.highest_part = face_part(mesh->faces[f]);
    uint8_t *marks = static_cast<uint8_t *>(calloc(size_t(mesh->vertex_count) + 1, 1));
    if (!marks) return false;
    for (int32_t part = 0; part <= b.highest_part; part++) {
        b.remap[part] = static_cast<int32_t *>(malloc((size_t(mesh->vertex_count) + 1) * sizeof(int32_t)));
        if (!b.remap[part]) {
            free(marks);
            return false;
        }
        memset(marks, 0, size_t(mesh->vertex_count));
        for (int32_t f = 0; f < mesh->face_count; f++) {
            const MeshFace &face = mesh->faces[f];
            if (face_valid(mesh, face) && face_part(face) == part)
                for (int32_t index : face.v) marks[index] = 1;
        }
        for (int32_t i = 0; i < mesh->vertex_count; i++) {
            b.remap[part][i] = marks[i] ? total : -1;
            total += marks[i];
        }
    }
    free(marks);
    if (b.flags & kRenderKeepSource) b.object->array_a = static_cast<int32_t *>(calloc(size_t(total) + 1, 4));
    render_object_create_vertex_buffer(b.object, total, 3 * mesh->face_count, 0);
    render_object_lock_vertices(b.object);
    for (int32_t part = 0; part <= b.highest_part; part++)
        for (int32_t i = 0; i < mesh->vertex_count; i++)
            if (b.remap[part][i] >= 0) fill_vertex(b, b.remap[part][i], i, nullptr);
    return true;
}

void build_ungrouped_vertices(Builder &b)
{
    const MeshObject *mesh = b.mesh;
    b.highest_part = kParts - 1;
    int32_t frames = (b.flags & kRenderTweened) ? mesh->keyframe_count : 0;
    if (b.flags & kRenderKeepSource)
        b.object->array_a = static_cast<int32_t *>(calloc(size_t(mesh->vertex_count) + 1, 4));
    render_object_create_vertex_buffer(b.object, mesh->vertex_count, 3 * mesh->face_count, frames);
    // Each keyframe's buffer holds the whole vertex at that keyframe.
    for (int32_t k = 0; k < b.object->frame_count && k < kMeshMaxKeyframes; k++) {
        if (!mesh->keyframes[k] || !render_object_lock_frame(b.object, k)) continue;
        for (int32_t i = 0; i < mesh->vertex_count; i++) fill_vertex(b, i, i, &mesh->keyframes[k][i]);
        for (int32_t f = 0; f < mesh->face_count; f++)
            if (face_valid(mesh, mesh->faces[f])) write_face_pairs(b, mesh->faces[f]);
        render_object_unlock_vertices(b.object);
    }
    render_object_lock_vertices(b.object);
    for (int32_t i = 0; i < mesh->vertex_count; i++) fill_vertex(b, i, i, nullptr);
}

}  // namespace

// ---- the keyed group list ------------------------------------------------------------------------

void render_keyed_node_clear(RenderGroupNode *node)
{
    for (int32_t part = 0; part < kParts; part++) {
        node->face_lists[part] = nullptr;
        node->face_counts[part] = 0;
        node->capacities[part] = 0;
    }
}

RenderGroupNode *render_keyed_list_append(RenderGroupList *list, uint32_t key)
{
    RenderGroupNode *node = new RenderGroupNode{};
    node->key = key;
    return list_link_last(list, node);
}

RenderGroupNode *render_keyed_list_find_or_insert(RenderGroupList *list, uint32_t key,
                                                  const RenderGroupFields &fields)
{
    if (!list->first) return render_keyed_list_append(list, key)->set(fields);
    auto same = [&](const RenderGroupNode *n) {
        return n->key == key && memcmp(&n->fields, &fields, sizeof fields) == 0;
    };
    RenderGroupNode *start = list->cursor ? list->cursor : list->first;
    bool backward = start->key > key;
    RenderGroupNode *stop = start;
    for (RenderGroupNode *n = start; n; n = backward ? n->prev : n->next) {
        stop = n;
        if (same(n)) {
            list->cursor = n;
            return n;
        }
    }
    list->cursor = stop;
    if (!backward) return render_keyed_list_append(list, key)->set(fields);
    RenderGroupNode *node = new RenderGroupNode{};
    node->key = key;
    return list_link_first(list, node)->set(fields);
}

void render_keyed_list_free(RenderGroupList *list)
{
    RenderGroupNode *node = list->first;
    while (node) {
        RenderGroupNode *next = node->next;
        for (int32_t *faces : node->face_lists) free(faces);
        delete node;
        node = next;
    }
    *list = RenderGroupList{};
}

// ---- builders ------------------------------------------------------------------------------------

RenderObject *render_build_mesh_render_objects(RenderContext *context, const MeshObject *mesh, uint32_t flags,
                                               LightmapBlock *const *block_table)
{
    if (!mesh || mesh->face_count <= 0 || !mesh->faces || !mesh->vertices) return nullptr;
    Builder b = {};
    b.context = context;
    b.mesh = mesh;
    b.table = block_table;
    b.grouped = !(flags & (kRenderUngrouped | kRenderTweened));
    b.flags = flags & ~kRenderUngrouped;
    float t = float(lightmap_atlas_tile(context));
    b.tile = t / 128.0f;
    b.cell = t / 512.0f;
    RenderObject *object = render_object_init(new RenderObject);
    object->context = context;
    object->device = context->device;
    object->flags = b.flags;
    b.object = object;

    if (b.grouped) {
        if (!build_grouped_vertices(b)) b.highest_part = -1;
    } else {
        build_ungrouped_vertices(b);
    }
    RenderGroupList groups = {};
    for (int32_t f = 0; f < mesh->face_count && b.highest_part >= 0; f++) {
        const MeshFace &face = mesh->faces[f];
        if (!face_valid(mesh, face)) continue;
        write_face_pairs(b, face);
        uint32_t key;
        RenderGroupFields fields = group_fields(b, face, &key);
        append_face(render_keyed_list_find_or_insert(&groups, key, fields), face_part(face), f);
    }
    render_object_unlock_vertices(object);
    if (b.highest_part >= 0) write_ranges(b, &groups);
    render_keyed_list_free(&groups);
    for (int32_t *remap : b.remap) free(remap);
    object->has_draw_ranges = 1;
    return object;
}

void render_object_load_mesh_vertices(RenderObject *object, const MeshObject *mesh, uint32_t flags)
{
    object->has_draw_ranges = 0;
    object->flags = render_builder_flags(object, flags);
    int32_t vertices = mesh->vertices ? mesh->vertex_count : 0, faces = mesh->faces ? mesh->face_count : 0;
    int32_t frames = (flags & kRenderFrames) && (flags & kRenderNormal) ? 1 : 0;
    render_object_create_vertex_buffer(object, vertices, 3 * faces, frames);
    render_object_lock_vertices(object);
    render_object_lock_indices(object);
    bool world = flags & kRenderWorldSpace;
    for (int32_t i = 0; i < vertices; i++) {
        const MeshVertex &v = mesh->vertices[i];
        render_vertex_set_position_v(object, i, world ? v.world_position : v.position);
        if (flags & kRenderVertexPairs) {
            render_vertex_set_texcoord0_v(object, i, v.uv0);
            if (flags & kRenderSecondPair) render_vertex_set_second_texcoord_v(object, i, v.uv1);
        }
        if (flags & kRenderNormal) render_vertex_set_normal_v(object, i, world ? v.world_normal : v.normal);
        if (flags & kRenderDiffuse)
            render_vertex_set_color_argb(object, i, v.color[0], v.color[1], v.color[2], v.color[3]);
        if (flags & kRenderSkinned) render_vertex_set_skin(object, i, v.blend_weights, v.bone_indices);
    }
    for (int32_t f = 0; f < faces; f++) {
        const MeshFace &face = mesh->faces[f];
        // A face naming a vertex the mesh lacks becomes an empty triangle.
        bool valid = face_valid(mesh, face);
        for (int k = 0; k < 3; k++) render_object_write_index(object, 3 * f + k, valid ? uint32_t(face.v[k]) : 0u);
        if (valid && !(flags & kRenderVertexPairs) && (flags & kRenderTexColour))
            for (int k = 0; k < 3; k++) render_vertex_set_texcoord0_v(object, face.v[k], &face.uv[2 * k]);
    }
    render_object_unlock_vertices(object);
    render_object_unlock_indices(object);
}

void render_object_from_primitive(RenderObject *object)
{
    MeshObject *mesh = mesh_new();
    if (!mesh) return;
    if (mesh_build_box(mesh, 1.0f, 1.0f, 1.0f))
        render_object_load_mesh_vertices(object, mesh, kRenderVertexPairs | kRenderTexColour | kRenderDiffuse | 0x1);
    mesh_delete(mesh);
}
