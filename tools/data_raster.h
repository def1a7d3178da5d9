// The raster kit of the picture writers: a seeded generator, float RGBA images, periodic noise,
// anti-aliased shapes from signed distances, compositing, box down-sampling and PNG output.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

// PCG32: the same numbers on every machine and run for a seed and stream.
struct DataRandom {
    uint64_t state;
    uint64_t increment;
};

void data_random_seed(DataRandom *random, uint64_t seed, uint64_t stream);
uint32_t data_random_next(DataRandom *random);
// Uniform in [0, 1).
float data_random_float(DataRandom *random);

struct DataColour {
    float r, g, b, a;
};

// A colour from 0..255 components.
inline DataColour data_rgb(int r, int g, int b, float a = 1.0f) { return {r / 255.0f, g / 255.0f, b / 255.0f, a}; }
DataColour data_mix(DataColour from, DataColour to, float t);

// Pixels premultiplied by alpha, rows top down, 0..1.
struct DataImage {
    int width = 0, height = 0;
    std::vector<DataColour> pixels;
};

DataImage data_image_make(int width, int height, DataColour fill);
inline DataColour &data_pixel(DataImage *image, int x, int y) { return image->pixels[(size_t)y * image->width + x]; }
inline const DataColour &data_pixel(const DataImage &image, int x, int y)
{
    return image.pixels[(size_t)y * image.width + x];
}

// Lays the colour (straight alpha) over a pixel with the given coverage.
void data_blend(DataImage *image, int x, int y, DataColour colour, float coverage);
// Lays a whole picture over another of the same size.
void data_composite(DataImage *under, const DataImage &over);

// Sets every pixel from a function of the pixel centre, giving a straight-alpha colour.
template <typename Shade>
void data_shade(DataImage *image, Shade shade)
{
    for (int y = 0; y < image->height; y++)
        for (int x = 0; x < image->width; x++) {
            DataColour c = shade(x + 0.5f, y + 0.5f);
            data_pixel(image, x, y) = {c.r * c.a, c.g * c.a, c.b * c.a, c.a};
        }
}

// Paints a shape given by its signed distance in pixels (negative inside) at pixel centres, over
// the box [x0, x1) x [y0, y1); the edge is anti-aliased over one pixel. The colour may depend on
// the place: `colour(x, y)`.
template <typename Distance, typename Colour>
void data_paint_shaded(DataImage *image, float x0, float y0, float x1, float y1, Distance distance, Colour colour)
{
    int ix0 = std::max(0, (int)std::floor(x0) - 1), iy0 = std::max(0, (int)std::floor(y0) - 1);
    int ix1 = std::min(image->width, (int)std::ceil(x1) + 1), iy1 = std::min(image->height, (int)std::ceil(y1) + 1);
    for (int y = iy0; y < iy1; y++)
        for (int x = ix0; x < ix1; x++) {
            float px = x + 0.5f, py = y + 0.5f;
            float coverage = std::fmin(1.0f, std::fmax(0.0f, 0.5f - distance(px, py)));
            if (coverage > 0) data_blend(image, x, y, colour(px, py), coverage);
        }
}
template <typename Distance>
void data_paint(DataImage *image, float x0, float y0, float x1, float y1, Distance distance, DataColour colour)
{
    data_paint_shaded(image, x0, y0, x1, y1, distance, [&](float, float) { return colour; });
}

// Signed distances (pixels) of the usual shapes.
float data_distance_circle(float px, float py, float cx, float cy, float radius);
// An ellipse: a circle of the design space drawn on a picture whose axes scale differently.
float data_distance_ellipse(float px, float py, float cx, float cy, float rx, float ry);
// A segment of the given thickness with round ends.
float data_distance_line(float px, float py, float x0, float y0, float x1, float y1, float thickness);
// A polygon (x, y pairs), any winding, possibly concave.
float data_distance_polygon(float px, float py, const float *points, int count);

void data_fill_circle(DataImage *image, float cx, float cy, float radius, DataColour colour);
void data_fill_ellipse(DataImage *image, float cx, float cy, float rx, float ry, DataColour colour);
void data_stroke_line(DataImage *image, float x0, float y0, float x1, float y1, float thickness, DataColour colour);
void data_fill_polygon(DataImage *image, const std::vector<float> &points, DataColour colour);
// The polygon's outline drawn `thickness` wide around its edge (half outside, half inside).
void data_stroke_polygon(DataImage *image, const std::vector<float> &points, float thickness, DataColour colour);

// Value noise on a lattice of period_x x period_y cells over [0, period) (it repeats beyond):
// smooth, 0..1.
float data_noise(uint32_t seed, float x, float y, int period_x, int period_y);
// Octaves of that noise, each twice the lattice of the last, halved in weight: 0..1, periodic
// with the first octave's period.
float data_fbm(uint32_t seed, float x, float y, int period_x, int period_y, int octaves);

// Each side divided by `factor`, every pixel the mean of its factor x factor block.
DataImage data_downsample(const DataImage &image, int factor);

// 8-bit RGBA, straight alpha; `opaque` sets every alpha to 255.
std::vector<uint8_t> data_image_bytes(const DataImage &image, bool opaque);
// A PNG file (RGBA, or RGB when opaque) holding the picture, whole or not at all.
bool data_write_png(const std::string &path, const DataImage &image, bool opaque);
// The same from 8-bit RGBA pixels.
bool data_write_png_bytes(const std::string &path, const uint8_t *rgba, int width, int height, bool opaque);
