// The interface pictures: pointer, arrows, panel, button, folders, strike arrow, ball, the six
// avatars and the intro's sphere maps, light and bolt.
#include "tools/data_pictures.h"

#include <cmath>

namespace {

const DataColour CLEAR = {0, 0, 0, 0};
const DataColour WHITE = {1, 1, 1, 1};
const DataColour INK = data_rgb(25, 30, 40);

// A polygon with a dark rim `rim` pixels wide outside its edge.
void outlined_polygon(DataImage *image, const std::vector<float> &points, float rim, DataColour fill)
{
    float box[4] = {1e30f, 1e30f, -1e30f, -1e30f};
    for (size_t i = 0; i + 1 < points.size(); i += 2) {
        box[0] = std::fmin(box[0], points[i] - rim);
        box[1] = std::fmin(box[1], points[i + 1] - rim);
        box[2] = std::fmax(box[2], points[i] + rim);
        box[3] = std::fmax(box[3], points[i + 1] + rim);
    }
    int count = (int)points.size() / 2;
    data_paint(
        image, box[0], box[1], box[2], box[3],
        [&](float x, float y) { return data_distance_polygon(x, y, points.data(), count) - rim; }, INK);
    data_fill_polygon(image, points, fill);
}

// A polyline `thickness` wide with round joins, with a dark rim around it.
void outlined_polyline(DataImage *image, const std::vector<float> &points, float thickness, float rim, DataColour fill)
{
    for (int pass = 0; pass < 2; pass++)
        for (size_t i = 0; i + 3 < points.size(); i += 2)
            data_stroke_line(image, points[i], points[i + 1], points[i + 2], points[i + 3],
                             pass == 0 ? thickness + 2 * rim : thickness, pass == 0 ? INK : fill);
}

DataImage pointer(DataColour fill)
{
    DataImage image = data_image_make(64, 64, CLEAR);
    // Tip at (2, 2): the hot spot.
    outlined_polygon(&image, {2.5f, 2.5f, 2.5f, 46, 13, 36, 21, 54, 29, 50, 21, 33, 35, 33}, 2.2f, fill);
    return image;
}

DataImage chevron(bool left)
{
    DataImage image = data_image_make(64, 64, CLEAR);
    std::vector<float> points = {14, 42, 32, 22, 50, 42};
    if (left) points = {42, 14, 22, 32, 42, 50};
    outlined_polyline(&image, points, 10, 3, WHITE);
    return image;
}

DataImage panel()
{
    DataImage image = data_image_make(128, 128, WHITE);
    DataColour base = data_rgb(230, 224, 210);
    data_shade(&image, [&](float x, float y) {
        // Periodic over the picture: 8 cells of 16 pixels, fibres stretched along x.
        float grain = data_fbm(11, x / 16, y / 16, 8, 8, 4) - 0.5f;
        float fibre = data_noise(12, x / 32, y / 4, 4, 32) - 0.5f;
        float v = 1 + grain * 0.07f + fibre * 0.03f;
        return DataColour{base.r * v, base.g * v, base.b * v, 1};
    });
    return image;
}

std::vector<float> folder_shape() { return {6, 14, 24, 14, 29, 20, 58, 20, 58, 54, 6, 54}; }

DataImage folder(bool back)
{
    DataImage image = data_image_make(64, 64, CLEAR);
    outlined_polygon(&image, folder_shape(), 2, WHITE);
    data_stroke_line(&image, 8, 26, 56, 26, 1.5f, data_rgb(150, 150, 150));
    if (back) {
        // A curved-back arrow: to the parent folder.
        data_stroke_line(&image, 44, 46, 44, 36, 4, INK);
        data_stroke_line(&image, 44, 36, 24, 36, 4, INK);
        data_fill_polygon(&image, {16, 36, 26, 29, 26, 43}, INK);
    }
    return image;
}

DataImage strike_arrow()
{
    DataImage image = data_image_make(64, 64, CLEAR);
    std::vector<float> shape = {32, 4, 56, 30, 41, 30, 41, 60, 23, 60, 23, 30, 8, 30};
    // Soft edges: it lies on the ground, seen at a slant.
    data_paint(
        &image, 0, 0, 64, 64,
        [&](float x, float y) { return (data_distance_polygon(x, y, shape.data(), 7) + 1.5f) / 3.0f; }, WHITE);
    return image;
}

DataImage ball()
{
    DataImage image = data_image_make(256, 256, WHITE);
    data_shade(&image, [](float x, float y) {
        // Dimples on a staggered grid, periodic across the picture.
        float row = std::floor(y / 16);
        float dx = std::fmod(x + (std::fmod(row, 2.0f) ? 8 : 0), 16.0f) - 8, dy = std::fmod(y, 16.0f) - 8;
        float dimple = std::fmax(0.0f, 1 - std::hypot(dx, dy) / 5.5f);
        float v = 0.97f - 0.09f * dimple * dimple + 0.03f * (data_noise(21, x / 32, y / 32, 8, 8) - 0.5f);
        return DataColour{v, v, v * 0.99f, 1};
    });
    // The band shows the ball rolling.
    data_paint(
        &image, 0, 108, 256, 148, [](float, float y) { return std::fabs(y - 128) - 18; }, data_rgb(205, 35, 40));
    return image;
}

// Avatars: an emblem on a coloured disc over a dark ground.
struct Avatar {
    DataColour disc;
    void (*emblem)(DataImage *);
};

void star_points(std::vector<float> *points, float cx, float cy, float outer, float inner, int tips)
{
    for (int i = 0; i < tips * 2; i++) {
        float angle = -1.5707963f + i * 3.14159265f / tips, r = i % 2 ? inner : outer;
        points->push_back(cx + r * std::cos(angle));
        points->push_back(cy + r * std::sin(angle));
    }
}

void emblem_ball_face(DataImage *image)
{
    data_fill_circle(image, 64, 64, 36, WHITE);
    data_fill_circle(image, 52, 56, 5, INK);
    data_fill_circle(image, 76, 56, 5, INK);
    data_paint(
        image, 40, 66, 88, 90,
        [](float x, float y) { return std::fabs(std::hypot(x - 64, y - 64) - 18) - 2.5f + (y < 70 ? 40 : 0); }, INK);
}

void emblem_cap(DataImage *image)
{
    DataColour cap = data_rgb(235, 235, 240);
    data_paint(
        image, 30, 34, 98, 80,
        [](float x, float y) { return std::fmax(data_distance_ellipse(x, y, 64, 74, 32, 38), y - 74); }, cap);
    data_fill_polygon(image, {28, 72, 104, 72, 112, 84, 28, 84}, cap);
    data_fill_circle(image, 64, 37, 4, data_rgb(200, 60, 50));
    data_stroke_line(image, 40, 62, 88, 62, 3, data_rgb(200, 60, 50));
}

void emblem_flag(DataImage *image)
{
    data_fill_ellipse(image, 64, 100, 24, 7, INK);
    data_stroke_line(image, 58, 26, 58, 100, 5, WHITE);
    data_fill_polygon(image, {60, 26, 100, 40, 60, 54}, data_rgb(230, 50, 45));
}

void emblem_putter(DataImage *image)
{
    data_stroke_line(image, 84, 20, 52, 92, 6, data_rgb(230, 230, 235));
    data_fill_polygon(image, {34, 90, 60, 90, 60, 102, 34, 102}, data_rgb(230, 230, 235));
    data_fill_circle(image, 84, 96, 9, WHITE);
}

void emblem_star(DataImage *image)
{
    std::vector<float> points;
    star_points(&points, 64, 67, 40, 17, 5);
    data_fill_polygon(image, points, data_rgb(255, 225, 70));
}

void emblem_sun(DataImage *image)
{
    std::vector<float> points;
    star_points(&points, 64, 64, 44, 28, 12);
    data_fill_polygon(image, points, data_rgb(255, 200, 60));
    data_fill_circle(image, 64, 64, 26, data_rgb(255, 235, 120));
}

DataImage avatar(const Avatar &a)
{
    DataImage image = data_image_make(128, 128, data_rgb(34, 44, 40));
    data_fill_circle(&image, 64, 64, 60, data_mix(a.disc, data_rgb(0, 0, 0), 0.35f));
    data_fill_circle(&image, 64, 64, 56, a.disc);
    a.emblem(&image);
    return image;
}

// A chrome sphere map: the reflection of a sky over a ground, tinted by the metal.
DataImage sphere_map(DataColour metal, uint32_t seed)
{
    DataImage image = data_image_make(256, 256, WHITE);
    data_shade(&image, [&](float x, float y) {
        float nx = (x - 128) / 128, ny = (y - 128) / 128;
        float r = std::fmin(1.0f, std::hypot(nx, ny));
        // Towards the rim the reflection bends: the horizon curves and everything darkens a little.
        float v = ny / (0.35f + 0.65f * std::sqrt(std::fmax(0.0f, 1 - r * r)) + 0.3f);
        DataColour c;
        if (v < 0) {
            float t = std::fmin(1.0f, -v);
            float cloud = data_fbm(seed, x / 32, y / 32, 8, 8, 4);
            c = data_mix(data_rgb(250, 250, 255), data_rgb(70, 90, 140), t);
            c = data_mix(c, WHITE, std::fmax(0.0f, cloud - 0.55f) * 1.5f);
        } else {
            float t = std::fmin(1.0f, v);
            c = data_mix(data_rgb(120, 100, 80), data_rgb(25, 20, 15), std::sqrt(t));
        }
        c = {c.r * metal.r, c.g * metal.g, c.b * metal.b, 1};
        float highlight = std::exp(-(std::pow(nx + 0.35f, 2.0f) + std::pow(ny + 0.4f, 2.0f)) * 18);
        float rim = 1 - 0.35f * r * r;
        return DataColour{std::fmin(1.0f, c.r * rim + highlight), std::fmin(1.0f, c.g * rim + highlight),
                          std::fmin(1.0f, c.b * rim + highlight), 1};
    });
    return image;
}

DataImage light()
{
    DataImage image = data_image_make(128, 128, WHITE);
    data_shade(&image, [](float x, float y) {
        float d = std::fmin(1.0f, std::hypot(x - 64, y - 64) / 64);
        float v = (1 - d) * (1 - d);
        return DataColour{v, v, v * 0.95f + 0.05f * (1 - d), 1};
    });
    return image;
}

DataImage thunder()
{
    DataImage image = data_image_make(64, 64, CLEAR);
    data_shade(&image, [](float x, float) {
        float t = std::fabs(x - 32) / 32;  // 0 on the core, 1 at the edges
        DataColour c = data_mix(WHITE, data_rgb(150, 80, 255), std::fmin(1.0f, t * 2.2f));
        c.a = t < 0.2f ? 1.0f : std::fmax(0.0f, 1 - (t - 0.2f) / 0.7f);
        c.a *= c.a;
        return c;
    });
    return image;
}

}  // namespace

// The pointer, arrows, folders and strike arrow carry their transparency in the files: the menus
// load them keeping it, or they would draw as opaque squares.
bool data_write_pictures(const std::string &data_dir)
{
    std::string gfx = data_dir + "/gfx/";
    const Avatar avatars[] = {
        {data_rgb(60, 150, 70), emblem_ball_face}, {data_rgb(50, 100, 190), emblem_cap},
        {data_rgb(240, 200, 80), emblem_flag},     {data_rgb(150, 70, 160), emblem_putter},
        {data_rgb(210, 80, 60), emblem_star},      {data_rgb(70, 170, 200), emblem_sun},
    };
    bool ok =
        data_write_png(gfx + "mouse0.png", pointer(WHITE), false) &&
        data_write_png(gfx + "mouse1.png", pointer(data_rgb(255, 220, 60)), false) &&
        data_write_png(gfx + "arrow.png", chevron(false), false) &&
        data_write_png(gfx + "arrow_h.png", chevron(true), false) && data_write_png(gfx + "panel.png", panel(), true) &&
        data_write_png(gfx + "button.png", data_image_make(64, 64, WHITE), true) &&
        data_write_png(gfx + "folder.png", folder(false), false) &&
        data_write_png(gfx + "folder_back.png", folder(true), false) &&
        data_write_png(gfx + "up.png", strike_arrow(), false) && data_write_png(gfx + "ballgolf.png", ball(), true);
    for (int i = 0; i < 6 && ok; i++)
        ok = data_write_png(data_dir + "/perso/perso0" + std::to_string(i + 1) + ".png", avatar(avatars[i]), true);
    std::string logo = data_dir + "/logo/";
    return ok && data_write_png(logo + "env.png", sphere_map(data_rgb(255, 205, 110), 31), true) &&
           data_write_png(logo + "env1.png", sphere_map(data_rgb(200, 215, 255), 32), true) &&
           data_write_png(logo + "env2.png", sphere_map(data_rgb(150, 235, 140), 33), true) &&
           data_write_png(logo + "light.png", light(), true) && data_write_png(logo + "thunder.png", thunder(), false);
}
