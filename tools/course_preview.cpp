// The software rasteriser of the hole previews (see course_preview.h).
#include "tools/course_preview.h"

#include "codecs/codecs.h"
#include "geometry/mesh.h"
#include "geometry/vecmath.h"
#include "scene/scene.h"
#include "tools/data_raster.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

namespace {

const int SUPERSAMPLE = 4;
const int DRAWN = DATA_PREVIEW_SIZE * SUPERSAMPLE;
const float ELEVATION_DEGREES = 55.0f;
const float PI = 3.14159265f;
const float BORDER = 0.5f;  // round the blocks, in units

// The camera's axes: right and up on the picture, forward into it (y points down).
struct PreviewView {
    float right[3], up[3], forward[3];
    float centre_x = 0, centre_y = 0, scale = 1;
};

PreviewView make_view()
{
    PreviewView v;
    const float e = ELEVATION_DEGREES * PI / 180.0f, h = std::sqrt(0.5f);
    // Looking north-east (+x, -z) and down (+y).
    vec3_set(v.forward, std::cos(e) * h, std::sin(e), -std::cos(e) * h);
    vec3_set(v.right, h, 0, h);
    vec3_cross(v.up, v.forward, v.right);
    return v;
}

void project(const PreviewView &v, const float *p, float *out)
{
    out[0] = (vec3_dot(p, v.right) - v.centre_x) * v.scale + DRAWN / 2.0f;
    out[1] = DRAWN / 2.0f - (vec3_dot(p, v.up) - v.centre_y) * v.scale;
    out[2] = vec3_dot(p, v.forward);
}

// Frames the blocks as the view sees them, with a narrow border: false without a block. A square
// picture of a hole running across it leaves much meadow round the lanes already.
bool fit(PreviewView *v, const SceneWorld *hole)
{
    float x0 = 1e9f, x1 = -1e9f, y0 = 1e9f, y1 = -1e9f;
    const int32_t first = hole->first_block_index > 0 ? hole->first_block_index : 0;
    for (int32_t i = first; i < hole->object_count; i++) {
        const MeshObject *o = hole->objects[i];
        for (int32_t k = 0; o && k < o->vertex_count; k++) {
            const float *p = o->vertices[k].world_position;
            const float x = vec3_dot(p, v->right), y = vec3_dot(p, v->up);
            x0 = std::fmin(x0, x), x1 = std::fmax(x1, x), y0 = std::fmin(y0, y), y1 = std::fmax(y1, y);
        }
    }
    if (x0 > x1) return false;
    v->centre_x = 0.5f * (x0 + x1);
    v->centre_y = 0.5f * (y0 + y1);
    v->scale = float(DRAWN) / (std::fmax(x1 - x0, y1 - y0) + 2 * BORDER);
    return true;
}

// The mean colour of each texture of the palette (grey for one it lacks), 0..1.
struct MeanColours {
    const SceneWorld *palette;
    std::map<int, DataColour> known;

    DataColour of(int id)
    {
        auto found = known.find(id);
        if (found != known.end()) return found->second;
        int32_t w = 0, h = 0;
        const uint8_t *pixels = id >= 0 && id < SCENE_MAX_TEXTURES ? scene_texture_pixels(palette, id, &w, &h) : nullptr;
        DataColour mean = {0.5f, 0.5f, 0.5f, 1.0f};
        if (pixels && w > 0 && h > 0) {
            double sum[3] = {};
            for (int64_t k = 0; k < int64_t(w) * h; k++)
                for (int c = 0; c < 3; c++) sum[c] += pixels[4 * k + c];
            const double n = double(w) * h * 255.0;
            mean = {float(sum[0] / n), float(sum[1] / n), float(sum[2] / n), 1.0f};
        }
        return known[id] = mean;
    }
};

struct Canvas {
    DataImage image = data_image_make(DRAWN, DRAWN, {0, 0, 0, 1});
    std::vector<float> depth = std::vector<float>(size_t(DRAWN) * DRAWN, INFINITY);
};

// Fills the projected triangle (picture x, y and depth per corner) at pixel centres where it is
// nearer than what is there.
void fill_triangle(Canvas *canvas, const float a[3], const float b[3], const float c[3], DataColour colour)
{
    const float area = (b[0] - a[0]) * (c[1] - a[1]) - (c[0] - a[0]) * (b[1] - a[1]);
    if (std::fabs(area) < 1e-8f) return;
    const int x0 = std::max(0, int(std::floor(std::fmin(a[0], std::fmin(b[0], c[0])))));
    const int x1 = std::min(DRAWN - 1, int(std::ceil(std::fmax(a[0], std::fmax(b[0], c[0])))));
    const int y0 = std::max(0, int(std::floor(std::fmin(a[1], std::fmin(b[1], c[1])))));
    const int y1 = std::min(DRAWN - 1, int(std::ceil(std::fmax(a[1], std::fmax(b[1], c[1])))));
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++) {
            const float px = x + 0.5f, py = y + 0.5f;
            // Barycentric weights of b and c, and of a.
            const float wb = ((px - a[0]) * (c[1] - a[1]) - (c[0] - a[0]) * (py - a[1])) / area;
            const float wc = ((b[0] - a[0]) * (py - a[1]) - (px - a[0]) * (b[1] - a[1])) / area;
            const float wa = 1.0f - wb - wc;
            if (wa < 0 || wb < 0 || wc < 0) continue;
            const float z = wa * a[2] + wb * b[2] + wc * c[2];
            float &nearest = canvas->depth[size_t(y) * DRAWN + x];
            if (z >= nearest) continue;
            nearest = z;
            data_pixel(&canvas->image, x, y) = colour;
        }
}

// The face's colour: its texture's mean, times the ambient colour plus the sun on the side seen.
DataColour shade(const SceneWorld *hole, const PreviewView &v, const float *p0, const float *p1, const float *p2,
                 DataColour base)
{
    float e1[3], e2[3], n[3], light[3];
    vec3_sub(e1, p2, p0);
    vec3_sub(e2, p1, p0);
    vec3_cross(n, e1, e2);
    if (vec3_length(n) <= 0) return base;
    vec3_normalize(n);
    if (vec3_dot(n, v.forward) > 0) vec3_scale(n, n, -1);  // toward the camera
    memcpy(light, hole->light_vector, sizeof light);
    if (vec3_length(light) <= 0) vec3_set(light, 0, 1, 0);
    vec3_normalize(light);
    // The light travels along its vector: a face is lit by the part of it coming against it.
    const float lambert = std::fmax(0.0f, -vec3_dot(n, light));
    float out[3] = {base.r, base.g, base.b};
    for (int c = 0; c < 3; c++)
        out[c] = std::fmin(1.0f, out[c] * (hole->ambient_colour[c] + hole->light_colour[c] * lambert));
    return {out[0], out[1], out[2], 1.0f};
}

}  // namespace

std::vector<uint8_t> data_course_preview(SceneWorld *hole, const SceneWorld *palette)
{
    for (int32_t i = 0; i < hole->object_count; i++)
        if (hole->objects[i]) mesh_update_world_transform(hole->objects[i]);
    PreviewView view = make_view();
    if (!fit(&view, hole)) return {};
    Canvas canvas;
    MeanColours means{palette, {}};
    for (int32_t i = 0; i < hole->object_count; i++) {
        const MeshObject *o = hole->objects[i];
        for (int32_t f = 0; o && f < o->face_count; f++) {
            const MeshFace &face = o->faces[f];
            float corners[3][3];
            const float *world[3];
            bool valid = true;
            for (int k = 0; k < 3; k++) {
                valid &= face.v[k] >= 0 && face.v[k] < o->vertex_count;
                if (!valid) break;
                world[k] = o->vertices[face.v[k]].world_position;
                project(view, world[k], corners[k]);
            }
            if (!valid) continue;
            DataColour colour = shade(hole, view, world[0], world[1], world[2], means.of(face.texture_id));
            fill_triangle(&canvas, corners[0], corners[1], corners[2], colour);
        }
    }
    return data_image_bytes(data_downsample(canvas.image, SUPERSAMPLE), true);
}

bool data_course_write_preview(SceneWorld *hole, const SceneWorld *palette, const char *path)
{
    std::vector<uint8_t> pixels = data_course_preview(hole, palette);
    if (pixels.empty()) return false;
    ImageData image = {pixels.data(), DATA_PREVIEW_SIZE, DATA_PREVIEW_SIZE, 0, 0};
    return png_write_file(path, &image) == 1;
}
