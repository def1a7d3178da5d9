// The intro's logo: its stroke table (our own artwork: the letters ZAV, a golf ball, a swoosh and a
// flag), the strokes read from it, and the tube mesh built along them.
//
// Face tags pick the logo part a face is drawn with. Strokes are numbered from 1 in list order;
// the faces of a closed stroke take the running count of closed strokes (1 for the first), those
// of an open stroke 0 when its number is at most 5, else 2. Only tags 0 to 2 are drawn.
#include "game/intro_local.h"

#include "geometry/list.h"
#include "geometry/mesh.h"
#include "geometry/vecmath.h"
#include "render/render.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// The logo in the z = 0 plane; the intro's camera sees +x on the left and +y up. ZAV, the ball
// (closed: tag 1), the swoosh and the flag pole (open, numbers 6 and 7: tag 2) and the flag (the
// second closed stroke: tag 2).
// clang-format off
const float kLogo[][3] = {
    // Z (23 points)
    {1.015f, 0.315f, 0.0f}, {0.922f, 0.315f, 0.0f}, {0.830f, 0.315f, 0.0f}, {0.737f, 0.315f, 0.0f},
    {0.644f, 0.315f, 0.0f}, {0.620f, 0.310f, 0.0f}, {0.613f, 0.297f, 0.0f}, {0.622f, 0.274f, 0.0f},
    {0.668f, 0.206f, 0.0f}, {0.714f, 0.137f, 0.0f}, {0.759f, 0.069f, 0.0f}, {0.805f, 0.000f, 0.0f},
    {0.851f, -0.069f, 0.0f}, {0.896f, -0.137f, 0.0f}, {0.942f, -0.206f, 0.0f}, {0.988f, -0.274f, 0.0f},
    {0.997f, -0.297f, 0.0f}, {0.990f, -0.310f, 0.0f}, {0.966f, -0.315f, 0.0f}, {0.873f, -0.315f, 0.0f},
    {0.780f, -0.315f, 0.0f}, {0.688f, -0.315f, 0.0f}, {0.595f, -0.315f, 0.0f},
    {0.0f, 0.0f, -1.0f},
    // A legs (18 points)
    {0.525f, -0.315f, 0.0f}, {0.497f, -0.232f, 0.0f}, {0.469f, -0.148f, 0.0f}, {0.442f, -0.065f, 0.0f},
    {0.414f, 0.018f, 0.0f}, {0.386f, 0.102f, 0.0f}, {0.358f, 0.185f, 0.0f}, {0.330f, 0.269f, 0.0f},
    {0.320f, 0.289f, 0.0f}, {0.310f, 0.289f, 0.0f}, {0.300f, 0.269f, 0.0f}, {0.272f, 0.185f, 0.0f},
    {0.244f, 0.102f, 0.0f}, {0.216f, 0.018f, 0.0f}, {0.188f, -0.065f, 0.0f}, {0.161f, -0.148f, 0.0f},
    {0.133f, -0.232f, 0.0f}, {0.105f, -0.315f, 0.0f},
    {0.0f, 0.0f, -1.0f},
    // A bar (4 points)
    {0.427f, -0.084f, 0.0f}, {0.352f, -0.084f, 0.0f}, {0.278f, -0.084f, 0.0f}, {0.203f, -0.084f, 0.0f},
    {0.0f, 0.0f, -1.0f},
    // V (18 points)
    {0.035f, 0.315f, 0.0f}, {0.007f, 0.232f, 0.0f}, {-0.021f, 0.148f, 0.0f}, {-0.048f, 0.065f, 0.0f},
    {-0.076f, -0.018f, 0.0f}, {-0.104f, -0.102f, 0.0f}, {-0.132f, -0.185f, 0.0f}, {-0.160f, -0.269f, 0.0f},
    {-0.170f, -0.289f, 0.0f}, {-0.180f, -0.289f, 0.0f}, {-0.190f, -0.269f, 0.0f}, {-0.218f, -0.185f, 0.0f},
    {-0.246f, -0.102f, 0.0f}, {-0.274f, -0.018f, 0.0f}, {-0.302f, 0.065f, 0.0f}, {-0.329f, 0.148f, 0.0f},
    {-0.357f, 0.232f, 0.0f}, {-0.385f, 0.315f, 0.0f},
    {0.0f, 0.0f, -1.0f},
    // ball (25 points)
    {-1.050f, -0.014f, 0.0f}, {-1.040f, -0.090f, 0.0f}, {-1.011f, -0.161f, 0.0f}, {-0.964f, -0.222f, 0.0f},
    {-0.903f, -0.269f, 0.0f}, {-0.832f, -0.298f, 0.0f}, {-0.756f, -0.308f, 0.0f}, {-0.680f, -0.298f, 0.0f},
    {-0.609f, -0.269f, 0.0f}, {-0.548f, -0.222f, 0.0f}, {-0.501f, -0.161f, 0.0f}, {-0.472f, -0.090f, 0.0f},
    {-0.462f, -0.014f, 0.0f}, {-0.472f, 0.062f, 0.0f}, {-0.501f, 0.133f, 0.0f}, {-0.548f, 0.194f, 0.0f},
    {-0.609f, 0.241f, 0.0f}, {-0.680f, 0.270f, 0.0f}, {-0.756f, 0.280f, 0.0f}, {-0.832f, 0.270f, 0.0f},
    {-0.903f, 0.241f, 0.0f}, {-0.964f, 0.194f, 0.0f}, {-1.011f, 0.133f, 0.0f}, {-1.040f, 0.062f, 0.0f},
    {-1.050f, -0.014f, 0.0f},
    {0.0f, 0.0f, -1.0f},
    // swoosh (18 points)
    {1.085f, -0.504f, 0.0f}, {0.953f, -0.478f, 0.0f}, {0.821f, -0.452f, 0.0f}, {0.690f, -0.429f, 0.0f},
    {0.558f, -0.408f, 0.0f}, {0.426f, -0.391f, 0.0f}, {0.294f, -0.378f, 0.0f}, {0.163f, -0.370f, 0.0f},
    {0.031f, -0.367f, 0.0f}, {-0.101f, -0.369f, 0.0f}, {-0.233f, -0.376f, 0.0f}, {-0.364f, -0.389f, 0.0f},
    {-0.496f, -0.406f, 0.0f}, {-0.628f, -0.427f, 0.0f}, {-0.760f, -0.452f, 0.0f}, {-0.891f, -0.479f, 0.0f},
    {-1.023f, -0.509f, 0.0f}, {-1.155f, -0.539f, 0.0f},
    {0.0f, 0.0f, -1.0f},
    // pole (6 points)
    {-0.756f, 0.280f, 0.0f}, {-0.756f, 0.361f, 0.0f}, {-0.756f, 0.442f, 0.0f}, {-0.756f, 0.524f, 0.0f},
    {-0.756f, 0.605f, 0.0f}, {-0.756f, 0.686f, 0.0f},
    {0.0f, 0.0f, -1.0f},
    // flag (15 points)
    {-0.756f, 0.602f, 0.0f}, {-0.756f, 0.651f, 0.0f}, {-0.764f, 0.675f, 0.0f}, {-0.790f, 0.676f, 0.0f},
    {-0.865f, 0.655f, 0.0f}, {-0.941f, 0.633f, 0.0f}, {-1.016f, 0.612f, 0.0f}, {-1.033f, 0.602f, 0.0f},
    {-1.016f, 0.592f, 0.0f}, {-0.941f, 0.571f, 0.0f}, {-0.865f, 0.549f, 0.0f}, {-0.790f, 0.528f, 0.0f},
    {-0.764f, 0.529f, 0.0f}, {-0.756f, 0.553f, 0.0f}, {-0.756f, 0.602f, 0.0f},
    {0.0f, 0.0f, -1.0f},
    {0.0f, 0.0f, -1.0f},
};
// clang-format on

struct Point {
    float p[3];
};

float distance(const float *a, const float *b)
{
    float d[3];
    return vec3_length(vec3_sub(d, a, b));
}

// The stroke's points with repeats dropped; a closed stroke loses its closing point.
std::vector<Point> stroke_points(const LogoStroke &stroke)
{
    std::vector<Point> points;
    for (const ListNode<LogoPoint> *node = stroke.points.first; node; node = node->next) {
        Point point{{node->value.x, node->value.y, node->value.z}};
        if (!points.empty() && distance(points.back().p, point.p) < kIntroSamePoint) continue;
        points.push_back(point);
    }
    if (stroke.closed && points.size() > 1 && distance(points.front().p, points.back().p) < kIntroSamePoint)
        points.pop_back();
    return points;
}

// Builds faces into a mesh whose arrays hold enough room (checked by the caller).
struct TubeWriter {
    MeshObject *mesh;
    int32_t tag;

    int32_t vertex(const float *p)
    {
        int32_t index = mesh->vertex_count++;
        MeshVertex &v = mesh->vertices[index];
        memcpy(v.position, p, sizeof v.position);
        for (float &c : v.color) c = 1.0f;
        return index;
    }

    // A ring of radius r about the frame's origin, shifted by `along` on its tangent; its first index.
    int32_t ring(const float *frame, float r, float along)
    {
        int32_t first = mesh->vertex_count;
        for (int32_t k = 0; k < 2 * kIntroRing; k += 2) {
            double angle = k * M_PI * 0.125;
            float c = float(std::cos(angle)) * r, s = float(std::sin(angle)) * r, p[3];
            for (int i = 0; i < 3; i++) p[i] = frame[12 + i] + c * frame[i] + s * frame[4 + i] + along * frame[8 + i];
            vertex(p);
        }
        return first;
    }

    void tag_faces(int32_t first)
    {
        for (int32_t f = first; f < mesh->face_count; f++) mesh->faces[f].tag = tag;
    }

    // Joins ring a to ring b lying further along the tangent; the faces look outward.
    void join(int32_t a, int32_t b)
    {
        int32_t first = mesh->face_count;
        for (int32_t j = 0; j < kIntroRing; j++) {
            int32_t k = (j + 1) % kIntroRing;
            mesh_set_quad(mesh, mesh->face_count, a + j, b + j, b + k, a + k);
            mesh->face_count += 2;
        }
        tag_faces(first);
    }

    // A fan between a ring and its tip; `tip_ahead`: the tip lies further along the tangent.
    void fan(int32_t ring_first, int32_t tip, bool tip_ahead)
    {
        int32_t first = mesh->face_count;
        for (int32_t j = 0; j < kIntroRing; j++) {
            int32_t a = ring_first + j, b = ring_first + (j + 1) % kIntroRing;
            MeshFace &face = mesh->faces[mesh->face_count++];
            const int32_t corners[3] = {tip_ahead ? a : tip, tip_ahead ? tip : a, b};
            memcpy(face.v, corners, sizeof face.v);
        }
        tag_faces(first);
    }

    // The rounded end at a ring: rings at phi = pi/8 and 2pi/8 and the tip at 3pi/8, beyond the
    // end point along `outward` (+1 past the last point, -1 before the first).
    void dome(const float *frame, int32_t end_ring, float outward)
    {
        int32_t rings[2];
        for (int n = 0; n < 2; n++) {
            double phi = (n + 1) * M_PI / 8.0;
            rings[n] =
                ring(frame, kIntroTubeRadius * float(std::cos(phi)), outward * kIntroTubeRadius * float(std::sin(phi)));
        }
        float tip[3];
        float along = outward * kIntroTubeRadius * float(std::sin(3.0 * M_PI / 8.0));
        for (int i = 0; i < 3; i++) tip[i] = frame[12 + i] + along * frame[8 + i];
        int32_t tip_index = vertex(tip);
        if (outward > 0) {
            join(end_ring, rings[0]);
            join(rings[0], rings[1]);
            fan(rings[1], tip_index, true);
        } else {
            join(rings[0], end_ring);
            join(rings[1], rings[0]);
            fan(rings[1], tip_index, false);
        }
    }
};

// Vertices and faces of a tube through n points.
int32_t tube_vertices(int32_t n, bool wrapped) { return kIntroRing * n + (wrapped ? 0 : 2 * (2 * kIntroRing + 1)); }
int32_t tube_faces(int32_t n, bool wrapped)
{
    return 2 * kIntroRing * (wrapped ? n : n - 1) + (wrapped ? 0 : 2 * 5 * kIntroRing);
}

void build_tube(TubeWriter *w, const std::vector<Point> &points, bool wrapped)
{
    int32_t n = int32_t(points.size());
    std::vector<int32_t> rings(size_t(n), 0);
    float frame[16], first_frame[16] = {}, last_frame[16] = {};  // n >= 2: both are set
    for (int32_t i = 0; i < n; i++) {
        const float *here = points[size_t(i)].p;
        if (wrapped) {
            intro_segment_matrix(frame, points[size_t((i + n - 1) % n)].p, here, points[size_t((i + 1) % n)].p);
        } else if (i == 0) {
            intro_segment_matrix_normalised(frame, here, points[1].p);
        } else if (i == n - 1) {
            intro_segment_matrix_normalised(frame, points[size_t(n - 2)].p, here);
            memcpy(frame + 12, here, 3 * sizeof(float));
        } else {
            intro_segment_matrix(frame, points[size_t(i - 1)].p, here, points[size_t(i + 1)].p);
        }
        if (i == 0) memcpy(first_frame, frame, sizeof frame);
        if (i == n - 1) memcpy(last_frame, frame, sizeof frame);
        rings[size_t(i)] = w->ring(frame, kIntroTubeRadius, 0.0f);
    }
    for (int32_t i = 0; i + 1 < n; i++) w->join(rings[size_t(i)], rings[size_t(i + 1)]);
    if (wrapped) {
        w->join(rings[size_t(n - 1)], rings[0]);
        return;
    }
    w->dome(first_frame, rings[0], -1.0f);
    w->dome(last_frame, rings[size_t(n - 1)], 1.0f);
}

// Row 0 := normalise(-t.y, t.x, 0), row 1 := (0, 0, 1), row 2 := t, row 3 := (at, 1). A tangent
// along z (or none) takes the x axis as the ring's first axis, so the frame never collapses.
void frame_from_tangent(float *out, const float *t, const float *at)
{
    float a[3] = {-t[1], t[0], 0.0f};
    if (vec3_length(a) < 1e-6f)
        vec3_set(a, 1.0f, 0.0f, 0.0f);
    else
        vec3_normalize(a);
    mat4_identity(out);
    memcpy(out, a, sizeof a);
    vec3_set(out + 4, 0.0f, 0.0f, 1.0f);
    memcpy(out + 8, t, 3 * sizeof(float));
    memcpy(out + 12, at, 3 * sizeof(float));
}

}  // namespace

void intro_segment_matrix(float *out, const float *p0, const float *p1, const float *p2)
{
    float d_in[3], d_out[3], t[3];
    vec3_normalize(vec3_sub(d_in, p1, p0));
    vec3_normalize(vec3_sub(d_out, p2, p1));
    vec3_scale(t, vec3_add(t, d_in, d_out), 0.5f);
    // A stroke turning straight back has no mean direction: the ring stands across the way in.
    if (vec3_length(t) < 1e-6f) memcpy(t, d_in, sizeof t);
    frame_from_tangent(out, vec3_normalize(t), p1);
}

void intro_segment_matrix_normalised(float *out, const float *p0, const float *p1)
{
    float t[3];
    vec3_normalize(vec3_sub(t, p1, p0));
    frame_from_tangent(out, t, p0);
}

void intro_collect_logo_points_from(const float (*table)[3], int32_t triples)
{
    list_free_logo_strokes();
    bool in_stroke = false, after_end = false;
    for (int32_t i = 0; i < triples; i++) {
        const float *p = table[i];
        if (p[2] < -0.5f) {
            if (after_end) break;
            after_end = true;
            in_stroke = false;
            continue;
        }
        after_end = false;
        if (!in_stroke) list_append_node61_global();
        in_stroke = true;
        list_add_point(p[0], p[1], p[2]);
    }
    for (ListNode<LogoStroke> *node = g_logo_strokes.first; node; node = node->next) {
        const IndexedList<ListNode<LogoPoint>> &points = node->value.points;
        if (points.count < 2) continue;
        const float first[3] = {points.first->value.x, points.first->value.y, points.first->value.z};
        const float last[3] = {points.last->value.x, points.last->value.y, points.last->value.z};
        if (distance(first, last) < kIntroSamePoint) node->value.closed = 1;
    }
}

void intro_collect_logo_points(void) { intro_collect_logo_points_from(kLogo, int32_t(sizeof kLogo / sizeof kLogo[0])); }

MeshObject *intro_build_logo_tubes(void)
{
    MeshObject *mesh = mesh_new();
    if (!mesh) return nullptr;
    snprintf(mesh->name, sizeof mesh->name, "logo");
    if (!mesh_alloc_arrays(mesh, kIntroLogoCapacity)) return mesh;
    TubeWriter writer{mesh, 0};
    int32_t number = 0, closed_count = 0;
    for (const ListNode<LogoStroke> *node = g_logo_strokes.first; node; node = node->next) {
        number++;
        if (node->value.closed) closed_count++;
        writer.tag = node->value.closed ? closed_count : number <= 5 ? 0 : 2;
        std::vector<Point> points = stroke_points(node->value);
        int32_t n = int32_t(points.size());
        if (n < 2) continue;  // a single point has no direction to build a tube along
        bool wrapped = node->value.closed && n >= 3;
        if (mesh->vertex_count + tube_vertices(n, wrapped) > mesh->vertex_capacity ||
            mesh->face_count + tube_faces(n, wrapped) > mesh->face_capacity) {
            char line[96];
            snprintf(line, sizeof line, "intro: logo stroke %d left out: the logo mesh is full", int(number));
            render_log_line(line);
            continue;
        }
        build_tube(&writer, points, wrapped);
    }
    mesh_link_face_vertices(mesh);
    mesh_compute_normals(mesh);
    return mesh;
}
