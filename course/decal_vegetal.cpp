// The projected decal of a plant's shadow texture: a rectangle across the light's direction, laid
// onto each receiving face that the light reaches through it.
#include "course/course_local.h"

#include "geometry/vecmath.h"
#include "render/render.h"

#include <cmath>

namespace {

enum : int32_t { kModeFresh = 1, kModeDetailed = 2, kModeNear = 4 };

// The rectangle of one build: corner k0 and the far corners along its two sides.
struct DecalFrame {
    float light[3];
    float direction[3];  // from the light toward the centre; zero when they meet
    float k0[3], k1[3], k2[3];
    float reach;  // r: the depth filter's bound
};

void make_frame(DecalFrame *frame, const float *light, const float *c, float half_u, float half_v, int32_t mode)
{
    vec3_set(frame->light, light[0], light[1], light[2]);
    float *d = frame->direction;
    vec3_sub(d, c, light);
    if (vec3_length(d) > 0.0f) vec3_normalize(d);
    float a0[3], a1[3], u[3], v[3];
    mat4_orient_to_direction(a0, d, 0);
    mat4_orient_to_direction(a1, d, 1);
    vec3_scale(u, a0, half_u);
    vec3_scale(v, a1, half_v);
    frame->reach = sqrtf(half_u * half_u + half_v * half_v);
    if ((mode & kModeNear) && fabsf(d[1]) <= 0.9f) {
        // A low light: the rectangle starts at the centre and reaches 2 x half_u along the first axis.
        vec3_sub(frame->k0, c, v);
        for (int k = 0; k < 3; k++) frame->k1[k] = c[k] + 2.0f * u[k] - v[k];
        vec3_add(frame->k2, c, v);
    } else {
        for (int k = 0; k < 3; k++) {
            frame->k0[k] = c[k] - u[k] - v[k];
            frame->k1[k] = c[k] + u[k] - v[k];
            frame->k2[k] = c[k] - u[k] + v[k];
        }
    }
}

// Grid point (i, j) of the rectangle.
void grid_point(const DecalFrame &frame, int i, int j, float *p)
{
    for (int k = 0; k < 3; k++)
        p[k] = frame.k0[k] + float(i) * (frame.k1[k] - frame.k0[k]) + float(j) * (frame.k2[k] - frame.k0[k]);
}

// The world box of what the rectangle can shade on the receiver: the light's rays through its
// corners, from nine tenths of the way to it out to the depth of the receiver's farthest corner.
bool near_box(const DecalFrame &frame, const ColliderSlot *slot, const float *world, float *lo, float *hi)
{
    const FaceBsp &bsp = slot->face_bsp;
    if (!bsp.nodes || bsp.node_count <= 0) return false;
    const float *L = frame.light, *D = frame.direction;
    float far_depth = 0.0f;
    for (int c = 0; c < 8; c++) {
        const FaceBspNode &root = bsp.nodes[0];
        float p[3] = {(c & 1) ? root.hi[0] : root.lo[0], (c & 2) ? root.hi[1] : root.lo[1],
                      (c & 4) ? root.hi[2] : root.lo[2]};
        mat4_transform_point(p, world, p);
        float to[3];
        far_depth = fmaxf(far_depth, vec3_dot(vec3_sub(to, p, L), D));
    }
    for (int k = 0; k < 3; k++) {
        lo[k] = INFINITY;
        hi[k] = -INFINITY;
    }
    for (int c = 0; c < 4; c++) {
        float p[3], ray[3];
        grid_point(frame, c & 1, c >> 1, p);
        vec3_sub(ray, p, L);
        float depth = vec3_dot(ray, D);
        if (!(depth > 0.0f)) return false;
        float scale = fmaxf(far_depth / depth, 0.9f);
        for (int k = 0; k < 3; k++) {
            float a = L[k] + 0.9f * ray[k], b = L[k] + scale * ray[k];
            lo[k] = fminf(lo[k], fminf(a, b));
            hi[k] = fmaxf(hi[k], fmaxf(a, b));
        }
    }
    return true;
}

// Lays the rectangle onto one face: clipped to what the light sees of the face, projected onto its
// plane.
void project_onto_face(DecalStorage *s, DecalOutput *out, const MeshObject *mesh, int32_t face_index,
                       const DecalFrame &frame, int32_t mode)
{
    const MeshFace &face = mesh->faces[face_index];
    const float *L = frame.light;
    float plane[4], centroid[3], toward[3];
    if (!decal_face_plane(mesh, face, plane, centroid)) return;
    vec3_sub(toward, centroid, L);
    vec3_normalize(toward);
    if (!(vec3_dot(plane, frame.direction) < 0.0f) || !(vec3_dot(plane, toward) < 0.0f)) return;
    ClipRegion region;
    if (!clip_bsp_query(&region, mesh, face_index, L[0], L[1], L[2])) return;

    ClipBuffer *clip = &s->clip;
    clip->vertex_count = 0;
    clip->triangle_count = 0;
    float f = vec3_dot(plane, L) + plane[3];
    for (int j = 0; j < 2; j++) {
        for (int i = 0; i < 2; i++) {
            ClipVertex &v = clip->vertices[clip->vertex_count++];
            grid_point(frame, i, j, v.position);
            v.s = float(i);
            v.t = float(j);
            v.mark = 0;
            v.depth = 0.0f;
            // The light's ray through the point must meet the face's plane beyond nine tenths of the way.
            float g = vec3_dot(plane, v.position) + plane[3];
            if (!(f - g > 0.0f) || !(f / (f - g) > 0.9f)) return;
        }
    }
    // Corners 0 (0,0), 1 (1,0), 2 (0,1), 3 (1,1).
    clip->triangles[0] = ClipTriangle{{0, 3, 1}, 1, 0, 0};
    clip->triangles[1] = ClipTriangle{{0, 2, 3}, 1, 0, 1};
    clip->triangle_count = 2;
    if (clip_bsp_clip_faces(clip, 0, 2, &region) == 0) return;

    float m[16];
    mat4_planar_shadow(m, plane[0], plane[1], plane[2], plane[3], L[0], L[1], L[2], 1.0f);
    RenderObject *object = out->object;
    for (int32_t v = 0; v < clip->vertex_count; v++) {
        float p[3];
        int32_t at = decal_emit_vertex(s, out, v, m, L, p);
        if (at < 0) continue;
        const ClipVertex &q = clip->vertices[v];
        render_vertex_set_color_argb(object, at, 1.0f, 1.0f, 1.0f, 1.0f);
        if (mode & kModeDetailed) {
            float uv[2];
            decal_face_uv(mesh, face, p, uv);
            render_vertex_set_texcoord0_v(object, at, uv);
            render_vertex_set_second_texcoord(object, at, q.s, q.t);
        } else {
            render_vertex_set_texcoord0(object, at, q.s, q.t);
        }
    }
    for (int32_t t = 0; t < clip->triangle_count; t++) {
        const ClipTriangle &tri = clip->triangles[t];
        int32_t corners[3];
        if (!decal_kept_triangle(s, tri, corners)) continue;
        if (mode & kModeDetailed) {
            bool behind = true;
            for (int32_t v : tri.v) behind = behind && clip->vertices[v].depth > -frame.reach;
            if (!behind) continue;
        }
        if (!decal_add_triangle(out, corners[0], corners[1], corners[2])) return;
    }
}

}  // namespace

void mesh_build_projected_decal(ColliderSlot *slot, float cx, float cy, float cz, float half_u, float half_v,
                                int32_t mode)
{
    RenderContext *context = &g_render_context;
    if (!slot || !slot->object) return;
    DecalStorage *s = decal_storage();
    if (!s) return;
    MeshObject *mesh = slot->object;
    physics_collider_update(slot);
    float world[16];
    decal_place_mesh(mesh, false, world);
    DecalFrame frame;
    const float centre[3] = {cx, cy, cz};
    make_frame(&frame, context->lights[1].position, centre, half_u, half_v, mode);

    float lo[3], hi[3];
    if (!(mode & kModeNear)) decal_collect(s, slot, world, nullptr, nullptr, false);
    else if (near_box(frame, slot, world, lo, hi)) decal_collect(s, slot, world, lo, hi, false);
    else s->group_count = s->candidate_count = 0;

    DecalOutput out;
    if (!decal_open(&out, context, (mode & kModeFresh) != 0)) return;
    for (int32_t g = 0; g < s->group_count; g++) {
        const DecalGroup &group = s->groups[g];
        int32_t first_index = 3 * out.triangles, first_vertex = out.vertices;
        for (int32_t i = 0; i < group.count; i++) project_onto_face(s, &out, mesh, s->faces[group.first + i], frame, mode);
        if (!(mode & kModeDetailed) || 3 * out.triangles == first_index) continue;
        RenderDrawRange record = {};
        record.first_index = first_index;
        record.end_index = 3 * out.triangles;
        record.lowest_vertex = first_vertex;
        record.vertex_end = out.vertices;  // first vertex + the list's count
        record.texture1 = uint16_t(group.texture_id);
        record.texture2 = uint16_t(context->bound_texture[0]);
        record.lightmap_page1 = 0xFFFF;  // third id -1
        decal_add_group(&out, record);
    }
    decal_close(&out, !(mode & kModeDetailed));
}
