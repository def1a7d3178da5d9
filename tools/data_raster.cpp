// The raster kit: generator, images, noise, shapes, compositing, down-sampling and PNG output.
#include "tools/data_raster.h"

#include "codecs/codecs.h"
#include "tools/data_writer.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>

void data_random_seed(DataRandom *random, uint64_t seed, uint64_t stream)
{
    random->state = 0;
    random->increment = (stream << 1) | 1;
    data_random_next(random);
    random->state += seed;
    data_random_next(random);
}

uint32_t data_random_next(DataRandom *random)
{
    uint64_t old = random->state;
    random->state = old * 6364136223846793005ull + random->increment;
    uint32_t shifted = (uint32_t)(((old >> 18) ^ old) >> 27);
    uint32_t rotation = (uint32_t)(old >> 59);
    return (shifted >> rotation) | (shifted << ((32 - rotation) & 31));
}

float data_random_float(DataRandom *random) { return (data_random_next(random) >> 8) * (1.0f / 16777216.0f); }

DataColour data_mix(DataColour from, DataColour to, float t)
{
    return {from.r + (to.r - from.r) * t, from.g + (to.g - from.g) * t, from.b + (to.b - from.b) * t,
            from.a + (to.a - from.a) * t};
}

DataImage data_image_make(int width, int height, DataColour fill)
{
    DataImage image;
    image.width = width;
    image.height = height;
    image.pixels.assign((size_t)width * height, {fill.r * fill.a, fill.g * fill.a, fill.b * fill.a, fill.a});
    return image;
}

void data_blend(DataImage *image, int x, int y, DataColour colour, float coverage)
{
    if (x < 0 || y < 0 || x >= image->width || y >= image->height) return;
    float a = colour.a * coverage;
    DataColour &p = data_pixel(image, x, y);
    p.r = colour.r * a + p.r * (1 - a);
    p.g = colour.g * a + p.g * (1 - a);
    p.b = colour.b * a + p.b * (1 - a);
    p.a = a + p.a * (1 - a);
}

void data_composite(DataImage *under, const DataImage &over)
{
    if (under->width != over.width || under->height != over.height) return;
    for (size_t i = 0; i < under->pixels.size(); i++) {
        const DataColour &o = over.pixels[i];
        DataColour &u = under->pixels[i];
        u.r = o.r + u.r * (1 - o.a);
        u.g = o.g + u.g * (1 - o.a);
        u.b = o.b + u.b * (1 - o.a);
        u.a = o.a + u.a * (1 - o.a);
    }
}

float data_distance_circle(float px, float py, float cx, float cy, float radius)
{
    return std::hypot(px - cx, py - cy) - radius;
}

float data_distance_ellipse(float px, float py, float cx, float cy, float rx, float ry)
{
    float u = (px - cx) / rx, v = (py - cy) / ry;
    float length = std::hypot(u, v);
    if (length < 1e-6f) return -std::fmin(rx, ry);
    // The implicit function over its gradient's length: close to the distance near the edge.
    float gradient = std::hypot(u / rx, v / ry) / length;
    return (length - 1) / gradient;
}

float data_distance_line(float px, float py, float x0, float y0, float x1, float y1, float thickness)
{
    float dx = x1 - x0, dy = y1 - y0;
    float length2 = dx * dx + dy * dy;
    float t = length2 > 0 ? std::clamp(((px - x0) * dx + (py - y0) * dy) / length2, 0.0f, 1.0f) : 0.0f;
    return std::hypot(px - (x0 + t * dx), py - (y0 + t * dy)) - thickness * 0.5f;
}

float data_distance_polygon(float px, float py, const float *points, int count)
{
    float nearest = 1e30f;
    bool inside = false;
    for (int i = 0, j = count - 1; i < count; j = i++) {
        float xi = points[2 * i], yi = points[2 * i + 1], xj = points[2 * j], yj = points[2 * j + 1];
        nearest = std::fmin(nearest, data_distance_line(px, py, xi, yi, xj, yj, 0));
        if ((yi > py) != (yj > py) && px < (xj - xi) * (py - yi) / (yj - yi) + xi) inside = !inside;
    }
    return inside ? -nearest : nearest;
}

namespace {

void polygon_bounds(const std::vector<float> &points, float margin, float box[4])
{
    box[0] = box[1] = 1e30f;
    box[2] = box[3] = -1e30f;
    for (size_t i = 0; i + 1 < points.size(); i += 2) {
        box[0] = std::fmin(box[0], points[i]);
        box[1] = std::fmin(box[1], points[i + 1]);
        box[2] = std::fmax(box[2], points[i]);
        box[3] = std::fmax(box[3], points[i + 1]);
    }
    box[0] -= margin;
    box[1] -= margin;
    box[2] += margin;
    box[3] += margin;
}

}  // namespace

void data_fill_circle(DataImage *image, float cx, float cy, float radius, DataColour colour)
{
    data_paint(
        image, cx - radius, cy - radius, cx + radius, cy + radius,
        [&](float x, float y) { return data_distance_circle(x, y, cx, cy, radius); }, colour);
}

void data_fill_ellipse(DataImage *image, float cx, float cy, float rx, float ry, DataColour colour)
{
    data_paint(
        image, cx - rx, cy - ry, cx + rx, cy + ry,
        [&](float x, float y) { return data_distance_ellipse(x, y, cx, cy, rx, ry); }, colour);
}

void data_stroke_line(DataImage *image, float x0, float y0, float x1, float y1, float thickness, DataColour colour)
{
    float h = thickness * 0.5f;
    data_paint(
        image, std::fmin(x0, x1) - h, std::fmin(y0, y1) - h, std::fmax(x0, x1) + h, std::fmax(y0, y1) + h,
        [&](float x, float y) { return data_distance_line(x, y, x0, y0, x1, y1, thickness); }, colour);
}

void data_fill_polygon(DataImage *image, const std::vector<float> &points, DataColour colour)
{
    float box[4];
    polygon_bounds(points, 0, box);
    int count = (int)points.size() / 2;
    data_paint(
        image, box[0], box[1], box[2], box[3],
        [&](float x, float y) { return data_distance_polygon(x, y, points.data(), count); }, colour);
}

void data_stroke_polygon(DataImage *image, const std::vector<float> &points, float thickness, DataColour colour)
{
    float box[4];
    polygon_bounds(points, thickness, box);
    int count = (int)points.size() / 2;
    data_paint(
        image, box[0], box[1], box[2], box[3],
        [&](float x, float y) {
            return std::fabs(data_distance_polygon(x, y, points.data(), count)) - thickness * 0.5f;
        },
        colour);
}

namespace {

float lattice(uint32_t seed, int x, int y)
{
    uint32_t h = seed * 0x9E3779B1u ^ (uint32_t)x * 0x85EBCA77u ^ (uint32_t)y * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return (h >> 8) * (1.0f / 16777215.0f);
}

int wrap(int v, int period) { return ((v % period) + period) % period; }

float smooth(float t) { return t * t * t * (t * (t * 6 - 15) + 10); }

}  // namespace

float data_noise(uint32_t seed, float x, float y, int period_x, int period_y)
{
    float fx = std::floor(x), fy = std::floor(y);
    int x0 = wrap((int)fx, period_x), y0 = wrap((int)fy, period_y);
    int x1 = wrap(x0 + 1, period_x), y1 = wrap(y0 + 1, period_y);
    float tx = smooth(x - fx), ty = smooth(y - fy);
    float top = lattice(seed, x0, y0) + (lattice(seed, x1, y0) - lattice(seed, x0, y0)) * tx;
    float bottom = lattice(seed, x0, y1) + (lattice(seed, x1, y1) - lattice(seed, x0, y1)) * tx;
    return top + (bottom - top) * ty;
}

float data_fbm(uint32_t seed, float x, float y, int period_x, int period_y, int octaves)
{
    float sum = 0, weight = 0.5f, total = 0;
    for (int o = 0; o < octaves; o++) {
        sum += data_noise(seed + (uint32_t)o * 101u, x, y, period_x, period_y) * weight;
        total += weight;
        x *= 2;
        y *= 2;
        period_x *= 2;
        period_y *= 2;
        weight *= 0.5f;
    }
    return sum / total;
}

DataImage data_downsample(const DataImage &image, int factor)
{
    DataImage out = data_image_make(image.width / factor, image.height / factor, {0, 0, 0, 0});
    float scale = 1.0f / (factor * factor);
    for (int y = 0; y < out.height; y++)
        for (int x = 0; x < out.width; x++) {
            DataColour sum = {0, 0, 0, 0};
            for (int j = 0; j < factor; j++)
                for (int i = 0; i < factor; i++) {
                    const DataColour &p = data_pixel(image, x * factor + i, y * factor + j);
                    sum.r += p.r;
                    sum.g += p.g;
                    sum.b += p.b;
                    sum.a += p.a;
                }
            data_pixel(&out, x, y) = {sum.r * scale, sum.g * scale, sum.b * scale, sum.a * scale};
        }
    return out;
}

std::vector<uint8_t> data_image_bytes(const DataImage &image, bool opaque)
{
    std::vector<uint8_t> bytes(image.pixels.size() * 4);
    auto byte = [](float v) { return (uint8_t)std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f); };
    for (size_t i = 0; i < image.pixels.size(); i++) {
        const DataColour &p = image.pixels[i];
        float a = opaque ? 1.0f : p.a;
        float unmultiply = opaque ? 1.0f : (p.a > 1e-6f ? 1.0f / p.a : 0.0f);
        bytes[i * 4 + 0] = byte(p.r * unmultiply);
        bytes[i * 4 + 1] = byte(p.g * unmultiply);
        bytes[i * 4 + 2] = byte(p.b * unmultiply);
        bytes[i * 4 + 3] = byte(a);
    }
    return bytes;
}

bool data_write_png_bytes(const std::string &path, const uint8_t *rgba, int width, int height, bool opaque)
{
    // The encoder writes files only: it writes a scratch file, whose bytes then go whole to `path`.
    static std::atomic<int> counter{0};
    std::string scratch = (std::filesystem::temp_directory_path() /
                           ("zavdata-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".png"))
                              .string();
    std::vector<uint8_t> pixels(rgba, rgba + (size_t)width * height * 4);
    ImageData image = {pixels.data(), width, height, opaque ? 0 : 1, 0};
    std::string bytes;
    bool ok = png_write_file(scratch.c_str(), &image) == 1 && data_read_file(scratch, &bytes);
    std::error_code ignored;
    std::filesystem::remove(scratch, ignored);
    return ok && data_write_file(path, bytes);
}

bool data_write_png(const std::string &path, const DataImage &image, bool opaque)
{
    std::vector<uint8_t> bytes = data_image_bytes(image, opaque);
    return data_write_png_bytes(path, bytes.data(), image.width, image.height, opaque);
}
