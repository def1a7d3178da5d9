// Stencil shadow volumes: the edges of a mesh with the faces on either side, one quad per edge
// carrying both faces' normals (the extruding effect moves them at draw time), optional caps, and
// one buffer per keyframe for animated meshes.
#include "render/render_local.h"

#include "geometry/mesh.h"
#include "geometry/mesh_edit.h"
#include "geometry/vecmath.h"

#include <cmath>
#include <cstdlib>
#include <unordered_map>
#include <vector>

RenderObject g_shadow_volume_object;

namespace {

// One edge: its vertices, a word kept at 0, the face holding a -> b and the one holding b -> a
// (-1 on an open edge). Five words, as the mesh edge-table search reads records.
struct Edge {
    int32_t a, b, zero, f1, f2;
};
static_assert(sizeof(Edge) == 5 * sizeof(int32_t));

// A face that can hold edges: three valid, different vertex indices.
bool face_usable(const MeshObject *mesh, const MeshFace &face)
{
    for (int32_t index : face.v)
        if (index < 0 || index >= mesh->vertex_count) return false;
    return face.v[0] != face.v[1] && face.v[1] != face.v[2] && face.v[2] != face.v[0];
}

uint64_t edge_key(int32_t a, int32_t b) { return uint64_t(uint32_t(a)) << 32 | uint32_t(b); }

int32_t face_count(const MeshObject *mesh) { return mesh && mesh->faces && mesh->vertices ? mesh->face_count : 0; }

// The edges in the order their first face meets them, with the faces on both sides.
std::vector<Edge> build_edges(const MeshObject *mesh, bool edge_map)
{
    std::vector<Edge> edges;
    std::unordered_map<uint64_t, int32_t> first_face;  // directed edge -> the first face holding it
    for (int32_t f = 0; f < face_count(mesh); f++) {
        const MeshFace &face = mesh->faces[f];
        if (!face_usable(mesh, face)) continue;
        for (int k = 0; k < 3; k++) {
            int32_t a = face.v[k], b = face.v[(k + 1) % 3];
            if (edge_map) {
                bool ab = first_face.count(edge_key(a, b)) != 0, ba = first_face.count(edge_key(b, a)) != 0;
                if (!ab) first_face[edge_key(a, b)] = f;
                if (!ab && !ba) edges.push_back(Edge{a, b, 0, -1, -1});
            } else if (edges.empty() ||
                       mesh_edge_table_find(&edges.front().a, int32_t(edges.size()), 5, a, b) < 0) {
                edges.push_back(Edge{a, b, 0, -1, -1});
            }
        }
    }
    for (Edge &e : edges) {
        if (edge_map) {
            e.f1 = first_face[edge_key(e.a, e.b)];
            auto other = first_face.find(edge_key(e.b, e.a));
            e.f2 = other == first_face.end() ? -1 : other->second;
        } else {
            e.f1 = render_find_face_with_edge(mesh, e.a, e.b);
            e.f2 = render_find_face_with_edge(mesh, e.b, e.a);
        }
    }
    return edges;
}

// Positions and face normals of the mesh, or of one keyframe of it.
struct Shape {
    const MeshObject *mesh;
    const MeshKeyframeVertex *key;  // null: the mesh's own positions
    std::vector<float> normals;     // per face, 3 floats

    const float *position(int32_t i) const { return key ? key[i].position : mesh->vertices[i].position; }
    const float *normal(int32_t f) const { return &normals[size_t(f) * 3]; }
};

// The face normals of a shape: the mesh's own (a non-finite one read as zero), or, for a keyframe,
// normalise((p2 - p0) x (p1 - p0)) with zero for a face of no area.
void shape_normals(Shape *shape)
{
    int32_t faces = face_count(shape->mesh);
    shape->normals.assign(size_t(faces) * 3, 0.0f);
    for (int32_t f = 0; f < faces; f++) {
        const MeshFace &face = shape->mesh->faces[f];
        float *n = &shape->normals[size_t(f) * 3];
        if (!shape->key) {
            for (int c = 0; c < 3; c++) n[c] = std::isfinite(face.normal[c]) ? face.normal[c] : 0.0f;
            continue;
        }
        bool valid = true;
        for (int32_t index : face.v) valid = valid && index >= 0 && index < shape->mesh->vertex_count;
        if (!valid) continue;
        float e1[3], e2[3];
        vec3_sub(e1, shape->position(face.v[2]), shape->position(face.v[0]));
        vec3_sub(e2, shape->position(face.v[1]), shape->position(face.v[0]));
        vec3_cross(n, e1, e2);
        float length = std::sqrt(vec3_dot(n, n));
        if (length > 1e-20f && std::isfinite(length))
            vec3_scale(n, n, 1.0f / length);
        else
            vec3_set(n, 0.0f, 0.0f, 0.0f);
    }
}

// The normal of the edge's second face; on an open edge the negated normal of the first.
void far_normal(const Shape &shape, const Edge &edge, float *out)
{
    const float *n = shape.normal(edge.f2 >= 0 ? edge.f2 : edge.f1);
    float sign = edge.f2 >= 0 ? 1.0f : -1.0f;
    vec3_set(out, sign * n[0], sign * n[1], sign * n[2]);
}

void write_skin(RenderObject *o, const MeshObject *mesh, int32_t out, int32_t source)
{
    if (o->flags & kRenderSkinned)
        render_vertex_set_skin(o, out, mesh->vertices[source].blend_weights, mesh->vertices[source].bone_indices);
}

// Writes the quads of the edges and the caps of the faces into the locked buffer.
void write_volume(RenderObject *o, const Shape &shape, const std::vector<Edge> &edges, bool caps)
{
    const MeshObject *mesh = shape.mesh;
    bool arrays = o->array_a && o->array_b;
    for (size_t i = 0; i < edges.size(); i++) {
        const Edge &e = edges[i];
        int32_t v = int32_t(4 * i);
        const int32_t ends[4] = {e.a, e.b, e.b, e.a};
        const float *n1 = shape.normal(e.f1);
        float n2[3];
        far_normal(shape, e, n2);
        for (int k = 0; k < 4; k++) {
            render_vertex_set_position_v(o, v + k, shape.position(ends[k]));
            render_vertex_set_normal_v(o, v + k, k < 2 ? n1 : n2);
            render_vertex_set_texcoord0(o, v + k, 1.0f - float(k >= 2 && e.f2 < 0), 0.0f);
            write_skin(o, mesh, v + k, ends[k]);
            if (!arrays) continue;
            o->array_a[v + k] = ends[k];
            o->array_b[v + k] = k < 2 ? e.f1 : e.f2 >= 0 ? e.f2 : -1 - e.f1;
        }
    }
    for (int32_t j = 0; caps && j < face_count(mesh); j++) {
        const MeshFace &face = mesh->faces[j];
        int32_t c = int32_t(4 * edges.size()) + 3 * j;
        bool valid = true;
        for (int32_t index : face.v) valid = valid && index >= 0 && index < mesh->vertex_count;
        if (!valid) continue;  // an empty triangle at the origin
        float n[3];
        vec3_scale(n, shape.normal(j), -1.0f);
        for (int k = 0; k < 3; k++) {
            render_vertex_set_position_v(o, c + k, shape.position(face.v[k]));
            render_vertex_set_normal_v(o, c + k, n);
            render_vertex_set_texcoord0(o, c + k, 1.0f, 1.0f);
            write_skin(o, mesh, c + k, face.v[k]);
            if (!arrays) continue;
            o->array_a[c + k] = face.v[k];
            o->array_b[c + k] = -1 - j;
        }
    }
}

}  // namespace

int32_t render_find_face_with_edge(const MeshObject *mesh, int32_t a, int32_t b)
{
    for (int32_t f = 0; f < face_count(mesh); f++) {
        const MeshFace &face = mesh->faces[f];
        if (!face_usable(mesh, face)) continue;
        for (int k = 0; k < 3; k++)
            if (face.v[k] == a && face.v[(k + 1) % 3] == b) return f;
    }
    return -1;
}

void render_build_shadow_volume_with(RenderObject *object, const MeshObject *mesh, uint32_t options, bool edge_map)
{
    std::vector<Edge> edges = build_edges(mesh, edge_map);
    int64_t e = int64_t(edges.size()), faces = face_count(mesh);
    bool caps = !(options & kRenderNoCaps);
    int64_t vertices = 4 * e + (caps ? 3 * faces : 0), indices = 6 * e + (caps ? 3 * faces : 0);
    if (indices > INT32_MAX / 8) {
        // Beyond what a buffer can hold: an empty volume.
        edges.clear();
        vertices = indices = e = faces = 0;
    }
    bool keyframed = (options & kRenderFrames) && (options & kRenderTweened);
    int32_t frames = !(options & kRenderFrames) ? 0 : keyframed && mesh ? mesh->keyframe_count : 1;
    object->flags = render_builder_flags(object, options);
    render_object_create_vertex_buffer(object, int32_t(vertices), int32_t(indices), frames);
    free(object->array_a);
    free(object->array_b);
    object->array_a = object->array_b = nullptr;
    if (options & kRenderKeepSource) {
        object->array_a = static_cast<int32_t *>(calloc(size_t(vertices) + 1, sizeof(int32_t)));
        object->array_b = static_cast<int32_t *>(calloc(size_t(vertices) + 1, sizeof(int32_t)));
    }
    object->has_draw_ranges = 0;
    Shape shape{mesh, nullptr, {}};
    shape_normals(&shape);
    render_object_lock_vertices(object);
    write_volume(object, shape, edges, caps);
    object->first_cap_vertex = int32_t(4 * e);
    render_object_unlock_vertices(object);
    // Every frame buffer holds a whole volume: keyframe k's shape, or the mesh's own.
    for (int32_t k = 0; k < object->frame_count; k++) {
        Shape frame{mesh, keyframed && k < kMeshMaxKeyframes ? mesh->keyframes[k] : nullptr, {}};
        shape_normals(&frame);
        if (!render_object_lock_frame(object, k)) continue;
        write_volume(object, frame.key ? frame : shape, edges, caps);
        render_object_unlock_vertices(object);
    }
    render_object_lock_indices(object);
    for (int32_t i = 0; i < int32_t(e); i++) {
        uint32_t v = uint32_t(4 * i);
        const uint32_t quad[6] = {v, v + 2, v + 1, v, v + 3, v + 2};
        for (int k = 0; k < 6; k++) render_object_write_index(object, 6 * i + k, quad[k]);
    }
    if (caps) {
        object->first_cap_index = int32_t(6 * e);
        for (int32_t j = 0; j < int32_t(faces); j++) {
            uint32_t c = uint32_t(4 * e + 3 * j);
            const uint32_t cap[3] = {c, c + 2, c + 1};
            for (int k = 0; k < 3; k++) render_object_write_index(object, int32_t(6 * e) + 3 * j + k, cap[k]);
        }
    }
    render_object_unlock_indices(object);
}

void render_build_shadow_volume(RenderObject *object, const MeshObject *mesh, uint32_t options)
{
    render_build_shadow_volume_with(object, mesh, options, true);
}

void render_build_shadow_volume_simple()
{
    const MeshObject *mesh = g_current_mesh;
    RenderObject *o = &g_shadow_volume_object;
    std::vector<Edge> edges = build_edges(mesh, true);
    int32_t e = int32_t(edges.size());
    o->flags = render_builder_flags(o, 0x8D);
    render_object_create_vertex_buffer(o, 4 * e, 6 * e, 0);
    o->has_draw_ranges = 0;
    Shape shape{mesh, nullptr, {}};
    shape_normals(&shape);
    render_object_lock_vertices(o);
    const float pairs[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int32_t i = 0; i < e; i++) {
        const Edge &edge = edges[size_t(i)];
        const int32_t ends[4] = {edge.a, edge.b, edge.b, edge.a};
        const float *n1 = shape.normal(edge.f1);
        float n2[3];
        far_normal(shape, edge, n2);
        for (int k = 0; k < 4; k++) {
            render_vertex_set_position_v(o, 4 * i + k, shape.position(ends[k]));
            render_vertex_set_normal_v(o, 4 * i + k, k < 2 ? n1 : n2);
            render_vertex_set_texcoord0_v(o, 4 * i + k, pairs[k]);
        }
    }
    render_object_unlock_vertices(o);
    render_object_lock_indices(o);
    for (int32_t i = 0; i < e; i++) {
        uint32_t v = uint32_t(4 * i);
        const uint32_t quad[6] = {v, v + 1, v + 2, v, v + 2, v + 3};
        for (int k = 0; k < 6; k++) render_object_write_index(o, 6 * i + k, quad[k]);
    }
    render_object_unlock_indices(o);
}
