// The shadow of a mesh (the ball, a turning blade) cast by light slot 1 onto the faces of one
// receiver: the caster's faces that turn away from the light, clipped to each receiving face and
// flattened onto its plane, in the ambient colour.
#include "course/course_local.h"

#include "geometry/vecmath.h"
#include "render/render.h"

#include <cmath>
#include <cstring>

namespace {

// How far past the caster's centre a shadow is looked for.
constexpr float kShadowReach = 13.0f;

// The world box of the light's cone around the caster, from the caster out to the reach.
void query_box(const float *light, const float *centre, float radius, float *lo, float *hi)
{
    float d[3];
    vec3_sub(d, centre, light);
    float distance = vec3_length(d);
    for (int k = 0; k < 3; k++) {
        lo[k] = centre[k] - radius;
        hi[k] = centre[k] + radius;
    }
    if (!(distance > radius)) {
        // The light inside the caster: everything within the reach around it.
        for (int k = 0; k < 3; k++) {
            lo[k] -= kShadowReach;
            hi[k] += kShadowReach;
        }
        return;
    }
    vec3_scale(d, d, 1.0f / distance);
    float far = distance + kShadowReach;
    // The cone's radius at that depth, rounded up so that its points stay inside the box.
    float spread = far * radius / sqrtf(distance * distance - radius * radius) * 1.001f;
    for (int k = 0; k < 3; k++) {
        float c = light[k] + far * d[k];
        lo[k] = fminf(lo[k], c - spread);
        hi[k] = fmaxf(hi[k], c + spread);
    }
}

// The caster's world vertices into the temporary store (as many as fit) and its faces as the
// triangles to clip; a face whose corners were left out is never cast.
void load_caster(DecalStorage *s, const MeshObject *caster, const float *light)
{
    ClipBuffer *clip = &s->clip;
    int32_t vertices = caster->vertex_count < clip->vertex_capacity ? caster->vertex_count : clip->vertex_capacity;
    for (int32_t v = 0; v < vertices; v++) {
        ClipVertex &c = clip->vertices[v];
        memcpy(c.position, caster->vertices[v].world_position, sizeof c.position);
        c.s = c.t = 0.0f;
        c.mark = 0;
        c.depth = 0.0f;
    }
    clip->vertex_count = vertices;
    int32_t faces = caster->face_count < kDecalMaxCasterFaces ? caster->face_count : kDecalMaxCasterFaces;
    if (faces > clip->triangle_capacity) faces = clip->triangle_capacity;
    for (int32_t f = 0; f < faces; f++) {
        const MeshFace &face = caster->faces[f];
        clip->triangles[f] = ClipTriangle{{face.v[0], face.v[1], face.v[2]}, 0, 0, f};
        s->caster_faces[f] = 0;
        bool inside = true;
        for (int32_t v : face.v) inside = inside && v >= 0 && v < vertices;
        if (!inside) continue;
        float centroid[3] = {0.0f, 0.0f, 0.0f}, to[3];
        for (int32_t v : face.v) vec3_add(centroid, centroid, clip->vertices[v].position);
        vec3_scale(centroid, centroid, 1.0f / 3.0f);
        if (vec3_dot(face.world_normal, vec3_sub(to, centroid, light)) >= 0.0f) s->caster_faces[f] = kDecalTurnedAway;
    }
    clip->triangle_count = faces;
}

// Casts the caster onto one receiving face.
void cast_onto_face(DecalStorage *s, DecalOutput *out, int32_t caster_vertices, int32_t caster_faces,
                    const MeshObject *mesh, int32_t face_index, const float *light)
{
    const MeshFace &face = mesh->faces[face_index];
    float plane[4], centroid[3], toward[3];
    if (!decal_face_plane(mesh, face, plane, centroid)) return;
    if (!(vec3_dot(plane, vec3_sub(toward, centroid, light)) < 0.0f)) return;

    // The caster's vertices between the light and the face's plane.
    ClipBuffer *clip = &s->clip;
    float f = vec3_dot(plane, light) + plane[3];
    bool any = false;
    for (int32_t v = 0; v < caster_vertices; v++) {
        float g = vec3_dot(plane, clip->vertices[v].position) + plane[3];
        bool between = f - g > 0.0f && f / (f - g) > 1.0f - 0.00001f;
        s->caster_vertices[v] = between;
        any = any || between;
    }
    if (!any) return;
    ClipRegion region;
    if (!clip_bsp_query(&region, mesh, face_index, light[0], light[1], light[2])) return;
    clip->vertex_count = caster_vertices;
    clip->triangle_count = caster_faces;
    for (int32_t v = 0; v < caster_vertices; v++) clip->vertices[v].mark = 0;
    int32_t selected = 0;
    for (int32_t t = 0; t < caster_faces; t++) {
        ClipTriangle &tri = clip->triangles[t];
        tri.marker = 0;
        uint8_t flags = s->caster_faces[t];
        if (!(flags & kDecalTurnedAway) || (flags & kDecalUsed)) continue;
        if (s->caster_vertices[tri.v[0]] || s->caster_vertices[tri.v[1]] || s->caster_vertices[tri.v[2]]) {
            tri.marker = 1;
            selected++;
        }
    }
    if (selected == 0 || clip_bsp_clip_vertices(&region, clip) == 0) return;

    float m[16];
    mat4_planar_shadow(m, plane[0], plane[1], plane[2], plane[3], light[0], light[1], light[2], 1.0f);
    const float *ambient = out->context->ambient;
    RenderObject *object = out->object;
    for (int32_t v = 0; v < clip->vertex_count; v++) {
        float p[3], uv[2];
        int32_t at = decal_emit_vertex(s, out, v, m, light, p);
        if (at < 0) continue;
        decal_face_uv(mesh, face, p, uv);
        render_vertex_set_texcoord0_v(object, at, uv);
        render_vertex_set_color_argb(object, at, ambient[0], ambient[1], ambient[2], 1.0f);
    }
    for (int32_t t = 0; t < clip->triangle_count; t++) {
        const ClipTriangle &tri = clip->triangles[t];
        // Cast whole: not cast again onto a later face of this receiver.
        if (tri.marker == -1 && t < caster_faces && tri.cut == 0) s->caster_faces[t] |= kDecalUsed;
        int32_t corners[3];
        if (!decal_kept_triangle(s, tri, corners)) continue;
        if (!decal_add_triangle(out, corners[0], corners[1], corners[2])) break;
    }
}

}  // namespace

void mesh_build_projected_decal_editor(MeshObject *caster, RenderContext *context, ColliderSlot *receiver)
{
    if (!caster || !context || !receiver || !receiver->object) return;
    if (caster->child) caster = caster->child;
    DecalStorage *s = decal_storage();
    if (!s) return;
    MeshObject *mesh = receiver->object;
    if (caster->bounding_radius < 0.0f) caster->bounding_radius = mesh_radius(caster);
    if (mesh->bounding_radius < 0.0f) mesh->bounding_radius = mesh_radius(mesh);
    physics_collider_update(receiver);
    float world[16], caster_world[16];
    decal_place_mesh(mesh, false, world);
    decal_place_mesh(caster, true, caster_world);
    float identity[16];
    render_set_world_matrix(context, mat4_identity(identity));

    const float *light = context->lights[1].position;
    load_caster(s, caster, light);
    int32_t caster_vertices = s->clip.vertex_count, caster_faces = s->clip.triangle_count;
    // The caster's origin: its bounding radius is measured from there.
    const float centre[3] = {caster_world[12], caster_world[13], caster_world[14]};
    float lo[3], hi[3];
    query_box(light, centre, caster->bounding_radius, lo, hi);
    decal_collect(s, receiver, world, lo, hi, true);

    DecalOutput out;
    if (!decal_open(&out, context, true)) return;
    for (int32_t g = 0; g < s->group_count; g++) {
        const DecalGroup &group = s->groups[g];
        int32_t first_index = 3 * out.triangles;
        for (int32_t i = 0; i < group.count; i++)
            cast_onto_face(s, &out, caster_vertices, caster_faces, mesh, s->faces[group.first + i], light);
        if (3 * out.triangles == first_index) continue;
        RenderDrawRange record = {};
        record.first_index = first_index;
        record.end_index = 3 * out.triangles;
        record.lowest_vertex = -1;  // the whole object's vertices
        record.vertex_end = -1;
        record.texture1 = uint16_t(group.texture_id);
        record.texture2 = uint16_t(group.texture_id2);
        decal_add_group(&out, record);
    }
    decal_close(&out, false);
}
