// What the two shadow-decal builders share: their working storage, the placing of meshes, the
// receiving candidates by texture, and the writing of the dynamic render object with its face
// groups and the immediate draw.
#include "course/course_local.h"

#include "geometry/vecmath.h"
#include "render/render_draw.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// Whole run: made by the first build, kept between builds (never per frame), freed on request.
DecalStorage *g_decal_storage = nullptr;

template <class T>
T *cleared_array(int32_t count)
{
    return static_cast<T *>(calloc(size_t(count), sizeof(T)));
}

void storage_free(DecalStorage *s)
{
    clip_buffer_free(&s->clip);
    free(s->remap);
    free(s->faces);
    free(s->face_group);
    free(s->caster_faces);
    free(s->caster_vertices);
    delete s;
}

bool box_meets(const float *lo, const float *hi, const float *box_lo, const float *box_hi)
{
    for (int k = 0; k < 3; k++)
        if (lo[k] > box_hi[k] || hi[k] < box_lo[k]) return false;
    return true;
}

// The group of a texture (pair), made in order of first appearance; -1 when the groups are full.
int32_t group_of(DecalStorage *s, int16_t texture_id, int16_t texture_id2)
{
    for (int32_t g = 0; g < s->group_count; g++)
        if (s->groups[g].texture_id == texture_id && s->groups[g].texture_id2 == texture_id2) return g;
    if (s->group_count == kDecalMaxGroups) return -1;
    s->groups[s->group_count] = DecalGroup{texture_id, texture_id2, 0, 0};
    return s->group_count++;
}

void add_candidate(DecalStorage *s, const MeshObject *mesh, int32_t face, bool pairs)
{
    if (face < 0 || face >= mesh->face_count || s->candidate_count == kDecalMaxCandidates) return;
    const MeshFace &f = mesh->faces[face];
    int32_t g = group_of(s, f.texture_id, pairs ? f.texture_id2 : 0);
    if (g < 0) return;
    s->groups[g].count++;
    s->faces[s->candidate_count] = face;
    s->face_group[s->candidate_count++] = int16_t(g);
}

// Every face whose box meets the box (local frame), down the tree. A triangle query would only
// keep faces straddling its plane and miss faces beside the shadow's middle, so the box is walked.
void collect_box(DecalStorage *s, const FaceBsp *bsp, const MeshObject *mesh, const float *lo, const float *hi,
                 bool pairs)
{
    constexpr int kStack = 64;  // the tree is at most 48 deep
    int32_t stack[kStack];
    int top = 0;
    stack[top++] = 0;
    while (top > 0) {
        int32_t n = stack[--top];
        if (n < 0 || n >= bsp->node_count) continue;
        const FaceBspNode &node = bsp->nodes[n];
        if (!box_meets(lo, hi, node.lo, node.hi)) continue;
        if (node.count == 0) {
            if (top + 2 > kStack) continue;
            stack[top++] = node.first;
            stack[top++] = n + 1;
            continue;
        }
        for (int32_t i = 0; i < node.count; i++) {
            int32_t at = node.first + i;
            if (at < 0 || at >= bsp->face_count) break;
            int32_t face = bsp->leaf_faces[at];
            if (face < 0 || face >= mesh->face_count) continue;
            const float *box = bsp->face_bounds + size_t(face) * 6;
            if (box_meets(lo, hi, box, box + 3)) add_candidate(s, mesh, face, pairs);
        }
    }
}

// Candidates into their groups' ranges, keeping the order of appearance within each group.
void sort_by_group(DecalStorage *s)
{
    int32_t first = 0;
    for (int32_t g = 0; g < s->group_count; g++) {
        s->groups[g].first = first;
        first += s->groups[g].count;
    }
    // The remap table is free until the output starts: it holds the sorted list meanwhile.
    int32_t fill[kDecalMaxGroups];
    for (int32_t g = 0; g < s->group_count; g++) fill[g] = s->groups[g].first;
    for (int32_t i = 0; i < s->candidate_count; i++) s->remap[fill[s->face_group[i]]++] = s->faces[i];
    memcpy(s->faces, s->remap, size_t(s->candidate_count) * sizeof(int32_t));
}

void write_index(RenderObject *object, int32_t at, uint32_t value)
{
    if (at < 0 || at >= object->index_count) return;
    if (object->locked_indices) object->locked_indices[at] = value;
    if (object->index_copy) object->index_copy[at] = value;
}

}  // namespace

DecalStorage *decal_storage()
{
    if (g_decal_storage) return g_decal_storage;
    DecalStorage *s = new (std::nothrow) DecalStorage();
    if (!s) return nullptr;
    clip_buffer_init(&s->clip, kDecalTemporaryVertices, kDecalTemporaryTriangles);
    s->remap = cleared_array<int32_t>(kDecalTemporaryVertices > kDecalMaxCandidates ? kDecalTemporaryVertices
                                                                                    : kDecalMaxCandidates);
    s->faces = cleared_array<int32_t>(kDecalMaxCandidates);
    s->face_group = cleared_array<int16_t>(kDecalMaxCandidates);
    s->caster_faces = cleared_array<uint8_t>(kDecalMaxCasterFaces);
    s->caster_vertices = cleared_array<uint8_t>(kDecalTemporaryVertices);
    if (!s->clip.vertices || !s->remap || !s->faces || !s->face_group || !s->caster_faces || !s->caster_vertices) {
        storage_free(s);
        return nullptr;
    }
    g_decal_storage = s;
    return s;
}

void course_decal_release_storage()
{
    if (g_decal_storage) storage_free(g_decal_storage);
    g_decal_storage = nullptr;
}

void decal_place_mesh(MeshObject *mesh, bool stored, float *world)
{
    if (mesh->flags & kMeshFlagBodyMatrices) {
        float rotation[16];
        body_world_matrix(&mesh->body, world);
        body_rotation_matrix(&mesh->body, rotation);
        mesh_transform_by_matrices(mesh, world, rotation);
    } else if (stored && (mesh->flags & kMeshFlagStoredMatrices)) {
        mat4_copy(world, mesh->matrix);
        mesh_transform_by_matrices(mesh, mesh->matrix, mesh->rotation_matrix);
    } else {
        mesh_update_world_transform(mesh);
        mat4_copy(world, mesh->matrix);
    }
}

void decal_collect(DecalStorage *s, ColliderSlot *slot, const float *world, const float *lo, const float *hi,
                   bool pairs)
{
    s->group_count = 0;
    s->candidate_count = 0;
    const MeshObject *mesh = slot->object;
    FaceBsp *bsp = &slot->face_bsp;
    if (!mesh || !bsp->nodes || !bsp->face_bounds) return;
    if (!lo) {
        for (int32_t i = 0; i < bsp->face_count; i++) add_candidate(s, mesh, bsp->leaf_faces[i], pairs);
    } else {
        // The tree is in the mesh's own frame: the world box's corners taken there.
        float inverse[16];
        if (!mat4_invert(world, inverse)) return;
        float local_lo[3] = {INFINITY, INFINITY, INFINITY}, local_hi[3] = {-INFINITY, -INFINITY, -INFINITY};
        for (int c = 0; c < 8; c++) {
            float p[3] = {(c & 1) ? hi[0] : lo[0], (c & 2) ? hi[1] : lo[1], (c & 4) ? hi[2] : lo[2]};
            mat4_transform_point(p, inverse, p);
            for (int k = 0; k < 3; k++) {
                local_lo[k] = fminf(local_lo[k], p[k]);
                local_hi[k] = fmaxf(local_hi[k], p[k]);
            }
        }
        collect_box(s, bsp, mesh, local_lo, local_hi, pairs);
    }
    sort_by_group(s);
}

bool decal_face_plane(const MeshObject *mesh, const MeshFace &face, float *plane, float *centroid)
{
    for (int32_t v : face.v)
        if (v < 0 || v >= mesh->vertex_count) return false;
    const float *n = face.world_normal;
    if (!(vec3_dot(n, n) > 0.0f)) return false;
    vec3_set(plane, n[0], n[1], n[2]);
    vec3_normalize(plane);
    const float *p0 = mesh->vertices[face.v[0]].world_position;
    plane[3] = -vec3_dot(plane, p0);
    vec3_set(centroid, 0.0f, 0.0f, 0.0f);
    for (int32_t v : face.v) vec3_add(centroid, centroid, mesh->vertices[v].world_position);
    vec3_scale(centroid, centroid, 1.0f / 3.0f);
    return true;
}

void decal_face_uv(const MeshObject *mesh, const MeshFace &face, const float *point, float *uv)
{
    const MeshVertex &a = mesh->vertices[face.v[0]], &b = mesh->vertices[face.v[1]], &c = mesh->vertices[face.v[2]];
    float e0[3], e1[3], ep[3];
    vec3_sub(e0, b.world_position, a.world_position);
    vec3_sub(e1, c.world_position, a.world_position);
    vec3_sub(ep, point, a.world_position);
    float d00 = vec3_dot(e0, e0), d01 = vec3_dot(e0, e1), d11 = vec3_dot(e1, e1);
    float dp0 = vec3_dot(ep, e0), dp1 = vec3_dot(ep, e1);
    float den = d00 * d11 - d01 * d01;
    float wb = 0.0f, wc = 0.0f;
    if (den != 0.0f) {
        wb = (d11 * dp0 - d01 * dp1) / den;
        wc = (d00 * dp1 - d01 * dp0) / den;
    }
    float wa = 1.0f - wb - wc;
    for (int k = 0; k < 2; k++) uv[k] = wa * a.uv0[k] + wb * b.uv0[k] + wc * c.uv0[k];
}

bool decal_open(DecalOutput *out, RenderContext *context, bool fresh)
{
    *out = DecalOutput{};
    RenderObject *object = context->dynamic_object;
    if (!object || !object->vertex_buffer || !object->index_buffer) return false;
    render_object_lock_vertices(object);
    if (!object->locked_vertices) return false;
    if (!render_object_lock_indices(object)) {
        render_object_unlock_vertices(object);
        return false;
    }
    out->context = context;
    out->object = object;
    out->triangle_capacity = object->index_count / 3;
    if (fresh) {
        out->reuse = object->ranges.first;
    } else {
        out->vertices = object->vertices_in_use < 0 ? 0 : object->vertices_in_use;
        out->triangles = object->indices_in_use < 0 ? 0 : object->indices_in_use / 3;
        if (out->vertices > object->vertex_count) out->vertices = object->vertex_count;
        if (out->triangles > out->triangle_capacity) out->triangles = out->triangle_capacity;
    }
    out->first_vertex = out->vertices;
    out->first_index = 3 * out->triangles;
    return true;
}

int32_t decal_emit_vertex(DecalStorage *s, DecalOutput *out, int32_t v, const float *m, const float *light,
                          float *projected)
{
    ClipVertex &q = s->clip.vertices[v];
    s->remap[v] = -1;
    if (!q.mark || out->vertices >= out->object->vertex_count) return -1;
    int32_t at = out->vertices++;
    s->remap[v] = at;
    vec3_set(projected, q.position[0], q.position[1], q.position[2]);
    mat4_transform_project(m, projected);
    render_vertex_set_position_v(out->object, at, projected);
    float a[3], b[3];
    q.depth = vec3_length(vec3_sub(a, projected, light)) - vec3_length(vec3_sub(b, q.position, light));
    return at;
}

bool decal_kept_triangle(const DecalStorage *s, const ClipTriangle &triangle, int32_t *corners)
{
    if (triangle.marker != -1) return false;
    for (int k = 0; k < 3; k++) {
        corners[k] = s->remap[triangle.v[k]];
        if (corners[k] < 0) return false;
    }
    return true;
}

bool decal_add_triangle(DecalOutput *out, int32_t a, int32_t b, int32_t c)
{
    if (out->triangles >= out->triangle_capacity) return false;
    int32_t at = 3 * out->triangles++;
    write_index(out->object, at, uint32_t(a));
    write_index(out->object, at + 1, uint32_t(b));
    write_index(out->object, at + 2, uint32_t(c));
    return true;
}

void decal_add_group(DecalOutput *out, const RenderDrawRange &group)
{
    // A fresh start overwrites the old records before it makes new ones: no allocation per frame.
    if (out->reuse) {
        out->reuse->value = group;
        out->reuse = out->reuse->next;
    } else {
        list_append(&out->object->ranges, group);
    }
}

void decal_close(DecalOutput *out, bool call_group)
{
    RenderContext *context = out->context;
    RenderObject *object = out->object;
    float identity[16];
    render_set_world_matrix(context, mat4_identity(identity));
    render_object_unlock_vertices(object);
    render_object_unlock_indices(object);
    object->vertices_in_use = out->vertices;
    object->indices_in_use = 3 * out->triangles;
    bool made = 3 * out->triangles > out->first_index;
    bool draw_now = made && render_var_get(context, "E") != 0;  // -666 when missing: draw
    if (made && !draw_now && call_group) {
        RenderDrawRange group = {};
        group.first_index = out->first_index;
        group.end_index = 3 * out->triangles;
        group.lowest_vertex = out->first_vertex;
        group.vertex_end = out->vertices;  // first vertex + the build's count
        group.texture1 = uint16_t(context->bound_texture[0]);
        group.lightmap_page1 = 0xFFFF;  // third id -1
        decal_add_group(out, group);
    }
    while (out->reuse) {
        ListNode<RenderDrawRange> *next = out->reuse->next;
        list_delete(&object->ranges, out->reuse);
        out->reuse = next;
    }
    if (draw_now) {
        render_set_current_object(context, object);
        render_set_mode(11, context, 4);
        render_draw_current_object(context);
        render_set_mode(11, context, 0);
    }
}
