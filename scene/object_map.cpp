// The byte map of a plant as the sun sees it: course play's shadow mask, laid out so that its
// point-in-shadow test (a point carried from the sun onto the plane through the plant) reads it.
#include "scene/scene_local.h"

#include "geometry/mesh.h"
#include "geometry/vecmath.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr float kMaskReach = 9.8f;  // the mask spans 9.8 units along a0 and 4.9 either side along a1
constexpr int32_t kMaxSide = 4096;

// Where a point lands in the mask: the plane through the plant's position P, met by the line from
// the sun Q = P - 1000 L through the point, in mask pixels.
struct MaskProjection {
    float p[3], q[3], n[3], a0[3], a1[3];
    float width, height;

    bool place(const float *point, float *column, float *row) const
    {
        float denominator = vec3_dot(n, point) - vec3_dot(n, q);
        if (std::fabs(denominator) < 1e-12f) return false;
        float t = -(vec3_dot(n, q) - vec3_dot(n, p)) / denominator;
        float d[3];
        for (int c = 0; c < 3; c++) d[c] = q[c] + t * (point[c] - q[c]) - p[c];
        *column = vec3_dot(d, a0) / kMaskReach * width;
        *row = (vec3_dot(d, a1) / kMaskReach + 0.5f) * height;
        return std::isfinite(*column) && std::isfinite(*row);
    }
};

// Leaf coverage at texture coordinates (u, v), wrapped; opaque without a leaf picture.
float leaf_alpha(float u, float v)
{
    if (!g_leaf_alpha_map || g_leaf_alpha_width <= 0 || g_leaf_alpha_height <= 0) return 255.0f;
    float fu = u - std::floor(u), fv = v - std::floor(v);
    int32_t x = std::min(int32_t(fu * float(g_leaf_alpha_width)), g_leaf_alpha_width - 1);
    int32_t y = std::min(int32_t(fv * float(g_leaf_alpha_height)), g_leaf_alpha_height - 1);
    return float(g_leaf_alpha_map[size_t(y) * size_t(g_leaf_alpha_width) + size_t(x)]);
}

// Covers the samples (2 x 2 per pixel) inside the projected triangle with the trunk's full cover
// or the leaf picture's alpha; overlapping faces keep the larger cover.
void raster_face(const MaskProjection &projection, const MeshObject *mesh, const MeshFace &face, const float *origin,
                 bool leaves, int32_t w, int32_t h, std::vector<float> &samples)
{
    float x[3], y[3], uv[3][2];
    for (int k = 0; k < 3; k++) {
        const MeshVertex &vertex = mesh->vertices[face.v[k]];
        float world[3];
        for (int c = 0; c < 3; c++) world[c] = origin[c] + vertex.position[c];
        if (!projection.place(world, &x[k], &y[k])) return;
        uv[k][0] = vertex.uv0[0];
        uv[k][1] = vertex.uv0[1];
    }
    float area = (x[1] - x[0]) * (y[2] - y[0]) - (x[2] - x[0]) * (y[1] - y[0]);
    if (std::fabs(area) < 1e-9f) return;
    const int32_t sw = 2 * w, sh = 2 * h;
    int32_t x0 = std::max(0, int32_t(std::floor(2.0f * std::min({x[0], x[1], x[2]}))));
    int32_t x1 = std::min(sw - 1, int32_t(std::ceil(2.0f * std::max({x[0], x[1], x[2]}))));
    int32_t y0 = std::max(0, int32_t(std::floor(2.0f * std::min({y[0], y[1], y[2]}))));
    int32_t y1 = std::min(sh - 1, int32_t(std::ceil(2.0f * std::max({y[0], y[1], y[2]}))));
    // Barycentric weights by edge functions (either winding), linear in the sample's position:
    // b = (c + px dx + py dy) / area.
    const float inverse = 1.0f / area;
    const float c0 = (x[1] * y[2] - x[2] * y[1]) * inverse, dx0 = (y[1] - y[2]) * inverse,
                dy0 = (x[2] - x[1]) * inverse;
    const float c1 = (x[2] * y[0] - x[0] * y[2]) * inverse, dx1 = (y[2] - y[0]) * inverse,
                dy1 = (x[0] - x[2]) * inverse;
    // Along a row, each edge's b crosses 0 at one sample index: -2 v / dx - 0.5 for b = v + px dx.
    const float dx2 = -(dx0 + dx1);
    const float step0 = dx0 != 0.0f ? -2.0f / dx0 : 0.0f, step1 = dx1 != 0.0f ? -2.0f / dx1 : 0.0f,
                step2 = dx2 != 0.0f ? -2.0f / dx2 : 0.0f;
    for (int32_t sy = y0; sy <= y1; sy++) {
        const float py = (float(sy) + 0.5f) * 0.5f;
        float *row = &samples[size_t(sy) * size_t(sw)];
        // The row's span inside all three edges, widened by two samples against rounding; the
        // test below still decides each sample, so the span only skips samples that lie outside.
        const float v0 = c0 + py * dy0, v1 = c1 + py * dy1;
        float low = float(x0), high = float(x1);
        const float edges[3][3] = {{v0, dx0, step0}, {v1, dx1, step1}, {1.0f - v0 - v1, dx2, step2}};
        for (const auto &edge : edges) {
            if (edge[1] == 0.0f) continue;
            const float at = edge[0] * edge[2] - 0.5f;
            if (edge[1] > 0.0f) low = std::max(low, at - 2.0f);
            else high = std::min(high, at + 2.0f);
        }
        if (!(low <= high)) continue;
        const int32_t first = int32_t(std::floor(low)), last = int32_t(std::ceil(high));
        for (int32_t sx = std::max(x0, first); sx <= std::min(x1, last); sx++) {
            const float px = (float(sx) + 0.5f) * 0.5f;
            float b0 = c0 + px * dx0 + py * dy0, b1 = c1 + px * dx1 + py * dy1, b2 = 1.0f - b0 - b1;
            if (b0 < 0.0f || b1 < 0.0f || b2 < 0.0f) continue;
            float cover = 255.0f;
            if (leaves)
                cover = leaf_alpha(b0 * uv[0][0] + b1 * uv[1][0] + b2 * uv[2][0],
                                   b0 * uv[0][1] + b1 * uv[1][1] + b2 * uv[2][1]);
            row[sx] = std::max(row[sx], cover);
        }
    }
}

}  // namespace

uint8_t *world_rasterise_object_map(int32_t width, int32_t height, const SceneWorld *world, int32_t j)
{
    if (!world || j < 0 || j >= world->vegetal_count || width <= 0 || height <= 0 || width > kMaxSide ||
        height > kMaxSide)
        return nullptr;
    const size_t pixels = size_t(width) * size_t(height);
    uint8_t *map = static_cast<uint8_t *>(calloc(pixels, 1));
    if (!map) return nullptr;
    const VegetalObject &plant = world->vegetal_slots[j][0];
    MaskProjection projection = {};
    memcpy(projection.n, world->light_vector, sizeof projection.n);
    float length = std::sqrt(vec3_dot(projection.n, projection.n));
    if (!(length > 1e-12f) || !std::isfinite(length)) return map;  // no light: no shadow
    vec3_scale(projection.n, projection.n, 1.0f / length);
    memcpy(projection.p, plant.position, sizeof projection.p);
    for (int c = 0; c < 3; c++) projection.q[c] = projection.p[c] - 1000.0f * world->light_vector[c];
    mat4_orient_to_direction(projection.a0, projection.n, 0);
    mat4_orient_to_direction(projection.a1, projection.n, 1);
    projection.width = float(width);
    projection.height = float(height);

    std::vector<float> samples(4 * pixels, 0.0f);
    for (int32_t k = 0; k < plant.mesh_count && k < 2; k++) {
        const MeshObject *mesh = plant.meshes[k];
        if (!mesh) continue;
        // Faces turned away from the sun add nothing: the leaf cards have both windings and the
        // trunk's near side covers its far side.
        for (int32_t f = 0; f < mesh->face_count; f++)
            if (vec3_dot(mesh->faces[f].normal, projection.n) <= 0.0f)
                raster_face(projection, mesh, mesh->faces[f], plant.position, k == 1, width, height, samples);
    }
    // The 2 x 2 samples of each pixel averaged, then one 3 x 3 blur (edges take what lies inside).
    std::vector<float> average(pixels);
    for (int32_t y = 0; y < height; y++)
        for (int32_t x = 0; x < width; x++) {
            const float *top = &samples[size_t(2 * y) * size_t(2 * width) + size_t(2 * x)];
            const float *bottom = top + 2 * width;
            average[size_t(y) * size_t(width) + size_t(x)] = 0.25f * (top[0] + top[1] + bottom[0] + bottom[1]);
        }
    // The blur as a column sum then a row sum: every value is a multiple of 0.25 below 2^12, so
    // the sums are exact in any order.
    std::vector<float> column(size_t(width) + 2, 0.0f);
    for (int32_t y = 0; y < height; y++) {
        const int32_t top = std::max(0, y - 1), bottom = std::min(height - 1, y + 1);
        for (int32_t x = 0; x < width; x++) {
            float sum = 0.0f;
            for (int32_t yy = top; yy <= bottom; yy++) sum += average[size_t(yy) * size_t(width) + size_t(x)];
            column[size_t(x) + 1] = sum;
        }
        const float rows = float(bottom - top + 1);
        for (int32_t x = 0; x < width; x++) {
            const float columns = float((x > 0) + 1 + (x + 1 < width));
            const float sum = column[size_t(x)] + column[size_t(x) + 1] + column[size_t(x) + 2];
            map[size_t(y) * size_t(width) + size_t(x)] = uint8_t(std::min(255.0f, sum / (rows * columns) + 0.5f));
        }
    }
    return map;
}
