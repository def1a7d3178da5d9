// The pictures of the 3D scenes: the palette scene's tileable textures and the themes' skies.
#include "tools/data_pictures.h"
#include "tools/data_writer.h"

#include <cmath>

namespace {

const float PI = 3.14159265f;
const int TEX = 256;

// Every texture is periodic over its 256 pixels: noise lattices divide the side.
float fbm(uint32_t seed, float x, float y, int cells_x, int cells_y, int octaves)
{
    return data_fbm(seed, x * cells_x / TEX, y * cells_y / TEX, cells_x, cells_y, octaves);
}

DataColour scaled(DataColour c, float v) { return {c.r * v, c.g * v, c.b * v, c.a}; }

DataImage textured(DataColour base, uint32_t seed, float amount, int cells)
{
    DataImage image = data_image_make(TEX, TEX, base);
    data_shade(&image,
               [&](float x, float y) { return scaled(base, 1 + amount * (fbm(seed, x, y, cells, cells, 5) - 0.5f)); });
    return image;
}

DataImage turf()
{
    DataImage image = data_image_make(TEX, TEX, {1, 1, 1, 1});
    DataColour base = data_rgb(88, 150, 62);
    data_shade(&image, [&](float x, float y) {
        float blades = data_noise(101, x / 2, y / 2, TEX / 2, TEX / 2) - 0.5f;
        return scaled(base, 1 + 0.25f * (fbm(102, x, y, 8, 8, 4) - 0.5f) + 0.12f * blades);
    });
    return image;
}

// The lane: a putting green with mowing stripes, four across the texture.
DataImage grass()
{
    DataImage image = data_image_make(TEX, TEX, {1, 1, 1, 1});
    data_shade(&image, [](float x, float y) {
        float stripe = 0.5f + 0.5f * std::sin(x * 2 * PI * 4 / TEX);
        DataColour c = data_mix(data_rgb(86, 176, 72), data_rgb(104, 194, 84), stripe * stripe);
        float fine = data_noise(111, x / 2, y / 2, TEX / 2, TEX / 2) - 0.5f;
        return scaled(c, 1 + 0.1f * (fbm(112, x, y, 8, 8, 4) - 0.5f) + 0.06f * fine);
    });
    return image;
}

// Rough meadow around the lanes: darker, yellower, with specks of flowers.
DataImage meadow()
{
    DataImage image = data_image_make(TEX, TEX, {1, 1, 1, 1});
    data_shade(&image, [](float x, float y) {
        DataColour c = data_mix(data_rgb(62, 112, 38), data_rgb(112, 128, 46), fbm(121, x, y, 4, 4, 4));
        c = scaled(c, 0.85f + 0.3f * data_noise(123, x / 2, y / 2, TEX / 2, TEX / 2));
        float fleck = data_noise(124, x, y, TEX, TEX);
        if (fleck > 0.93f) c = data_mix(c, data_rgb(235, 225, 120), (fleck - 0.93f) * 10);
        return c;
    });
    return image;
}

DataImage wood()
{
    DataImage image = data_image_make(TEX, TEX, {1, 1, 1, 1});
    data_shade(&image, [](float x, float y) {
        // Eight planks of 32 rows; each its own shade; a dark joint between them.
        int plank = (int)(y / 32);
        float shade = 0.85f + 0.3f * data_noise(131, plank * 1.0f, 0, 8, 1);
        float grain = fbm(132 + plank, x, y * 4, 4, 64, 3);
        float rings = 0.5f + 0.5f * std::sin(grain * 14);
        DataColour c = scaled(data_mix(data_rgb(160, 112, 64), data_rgb(124, 82, 44), rings * 0.7f), shade);
        float edge = std::fmin(std::fmod(y, 32.0f), 32 - std::fmod(y, 32.0f));
        if (edge < 1.5f) c = scaled(c, 0.55f + 0.3f * edge);
        return c;
    });
    return image;
}

// Cobbles: the nearest of jittered cell centres, repeated across the texture's edges.
DataImage stone()
{
    const int CELLS = 6;
    float cx[CELLS][CELLS], cy[CELLS][CELLS];
    DataRandom random;
    data_random_seed(&random, 141, 1);
    for (int j = 0; j < CELLS; j++)
        for (int i = 0; i < CELLS; i++) {
            cx[j][i] = (i + 0.2f + 0.6f * data_random_float(&random)) * TEX / CELLS;
            cy[j][i] = (j + 0.2f + 0.6f * data_random_float(&random)) * TEX / CELLS;
        }
    DataImage image = data_image_make(TEX, TEX, {1, 1, 1, 1});
    data_shade(&image, [&](float x, float y) {
        float best = 1e9f, second = 1e9f;
        int best_cell = 0;
        int ci = (int)(x * CELLS / TEX), cj = (int)(y * CELLS / TEX);
        for (int dj = -1; dj <= 1; dj++)
            for (int di = -1; di <= 1; di++) {
                int i = ci + di, j = cj + dj;
                int wi = (i + CELLS) % CELLS, wj = (j + CELLS) % CELLS;
                float px = cx[wj][wi] + (i - wi) * (float)TEX / CELLS, py = cy[wj][wi] + (j - wj) * (float)TEX / CELLS;
                float d = std::hypot(x - px, y - py);
                if (d < best) {
                    second = best;
                    best = d;
                    best_cell = wj * CELLS + wi;
                } else if (d < second) {
                    second = d;
                }
            }
        float joint = std::clamp((second - best) / 6, 0.0f, 1.0f);
        float tone = 0.85f + 0.25f * data_noise(142, (float)best_cell, 0, CELLS * CELLS, 1);
        DataColour c = scaled(data_rgb(138, 134, 126), tone * (1 + 0.15f * (fbm(143, x, y, 16, 16, 3) - 0.5f)));
        return data_mix(data_rgb(70, 68, 64), c, joint);
    });
    return image;
}

// Kerbs: pale concrete in blocks of 64 pixels.
DataImage kerb()
{
    DataImage image = data_image_make(TEX, TEX, {1, 1, 1, 1});
    data_shade(&image, [](float x, float y) {
        DataColour c = scaled(data_rgb(196, 194, 186), 1 + 0.12f * (fbm(151, x, y, 16, 16, 4) - 0.5f));
        float edge = std::fmin(std::fmod(x + 32, 64.0f), 64 - std::fmod(x + 32, 64.0f));
        if (edge < 1.5f) c = scaled(c, 0.7f + 0.2f * edge);
        return c;
    });
    return image;
}

DataImage water()
{
    DataImage image = data_image_make(TEX, TEX, {1, 1, 1, 1});
    data_shade(&image, [](float x, float y) {
        float swell = fbm(161, x, y, 4, 4, 4);
        float ripple = 0.5f + 0.5f * std::sin((y + 18 * fbm(162, x, y, 4, 4, 2)) * 2 * PI * 8 / TEX);
        DataColour c = data_mix(data_rgb(30, 82, 150), data_rgb(52, 118, 186), swell);
        return data_mix(c, data_rgb(120, 175, 215), std::pow(ripple, 6.0f) * 0.45f);
    });
    return image;
}

DataImage sand()
{
    DataImage image = data_image_make(TEX, TEX, {1, 1, 1, 1});
    data_shade(&image, [](float x, float y) {
        float grain = data_noise(171, x, y, TEX, TEX) - 0.5f;
        return scaled(data_rgb(224, 200, 146), 1 + 0.12f * (fbm(172, x, y, 8, 8, 4) - 0.5f) + 0.14f * grain);
    });
    return image;
}

// Roof tiles: rows of 32 pixels, each tile rounded at its lower edge, rows offset by half a tile.
DataImage roof()
{
    DataImage image = data_image_make(TEX, TEX, {1, 1, 1, 1});
    data_shade(&image, [](float x, float y) {
        int row = (int)(y / 32);
        float u = std::fmod(x + (row % 2 ? 16 : 0), 32.0f) - 16, v = std::fmod(y, 32.0f);
        float lower = 32 - 12 * (1 - std::sqrt(std::fmax(0.0f, 1 - u * u / 256)));
        float shade = v > lower ? 0.55f : 0.75f + 0.35f * v / 32;
        DataColour c = data_rgb(168, 74, 46);
        return scaled(c, shade * (1 + 0.15f * (fbm(181, x, y, 8, 8, 4) - 0.5f)));
    });
    return image;
}

DataImage bark()
{
    DataImage image = data_image_make(TEX, TEX, {1, 1, 1, 1});
    data_shade(&image, [](float x, float y) {
        // Ridges along the trunk: a lattice fine across, long along.
        float ridges = data_fbm(191, x / 8, y / 64, TEX / 8, TEX / 64, 4);
        DataColour c = data_mix(data_rgb(56, 40, 28), data_rgb(112, 84, 58), ridges);
        return scaled(c, 1 + 0.1f * (fbm(192, x, y, 16, 16, 3) - 0.5f));
    });
    return image;
}

// Leaves: clusters of leaf shapes with clear gaps between them; the alpha is the leaf mask.
DataImage leaves()
{
    DataImage image = data_image_make(TEX, TEX, {0, 0, 0, 0});
    DataRandom random;
    data_random_seed(&random, 201, 2);
    for (int i = 0; i < 105; i++) {
        float x = data_random_float(&random) * TEX, y = data_random_float(&random) * TEX;
        float angle = data_random_float(&random) * PI, length = 15 + 7 * data_random_float(&random);
        float tone = data_random_float(&random);
        DataColour c = data_mix(data_rgb(44, 104, 36), data_rgb(98, 156, 58), tone);
        float ca = std::cos(angle), sa = std::sin(angle);
        // Drawn again across the edges it crosses, so the texture repeats.
        for (int oy = -1; oy <= 1; oy++)
            for (int ox = -1; ox <= 1; ox++) {
                float lx = x + ox * TEX, ly = y + oy * TEX;
                if (lx < -25 || ly < -25 || lx > TEX + 25 || ly > TEX + 25) continue;
                data_paint_shaded(
                    &image, lx - length, ly - length, lx + length, ly + length,
                    [&](float px, float py) {
                        float u = (px - lx) * ca + (py - ly) * sa, v = -(px - lx) * sa + (py - ly) * ca;
                        return data_distance_ellipse(u, v, 0, 0, length, length * 0.42f);
                    },
                    [&](float px, float py) {
                        float u = (px - lx) * ca + (py - ly) * sa;
                        return scaled(c, 0.8f + 0.2f * (u / length + 1) * 0.5f + 0.05f * (py - ly) / length);
                    });
            }
    }
    return image;
}

struct TextureFile {
    const char *name;
    DataImage (*paint)();
    bool alpha;
};

DataImage red() { return textured(data_rgb(184, 44, 38), 211, 0.14f, 8); }
DataImage white() { return textured(data_rgb(236, 236, 230), 212, 0.06f, 8); }

// Skies: one 2048 x 512 panorama per theme, going round the world once (column c at the angle
// c / 2048 x 360 degrees, as the hole view's sky panels take them), cut into four quarters.
const int PANO_W = 2048, PANO_H = 512;
// The sun's azimuth: the palette scene's light vector (0.45, 1.0, 0.55) comes from the opposite
// side, and the view's angle runs from +x towards +z.
const float SUN_ANGLE = std::atan2(-0.55f, -0.45f) + 2 * PI;

struct SkyLook {
    DataColour top, horizon, clouds, glow, hills;
    float cloud_amount;
    bool night;
};

float wrapped_angle(float a)
{
    a = std::fmod(a, 2 * PI);
    if (a > PI) a -= 2 * PI;
    if (a < -PI) a += 2 * PI;
    return a;
}

// The sky as it should be seen, before the tint compensation.
DataImage panorama(const SkyLook &look, uint32_t seed)
{
    DataImage sky = data_image_make(PANO_W, PANO_H, {1, 1, 1, 1});
    data_shade(&sky, [&](float x, float y) {
        float t = y / PANO_H;
        DataColour c = data_mix(look.top, look.horizon, std::pow(t, 1.3f));
        float cloud = data_fbm(seed, x / 128, y / 64, PANO_W / 128, PANO_H / 64, 5);
        float density = std::clamp((cloud - 0.52f) * 3.5f, 0.0f, 1.0f) * look.cloud_amount * (1 - t * t);
        c = data_mix(c, look.clouds, density);
        float da = wrapped_angle(x / PANO_W * 2 * PI - SUN_ANGLE);
        float glow = std::exp(-(da * da) / 0.12f - y * y / (260.0f * 260.0f));
        c = data_mix(c, look.glow, glow * (look.night ? 0.35f : 0.8f));
        // Hazy hills in the bottom 15%: two periodic ridges.
        float ridge = PANO_H - 20 - 50 * data_fbm(seed + 7, x / 256, 0, PANO_W / 256, 1, 3);
        float near = PANO_H - 8 - 34 * data_fbm(seed + 8, x / 128, 0.5f, PANO_W / 128, 1, 3);
        c = data_mix(c, data_mix(look.hills, look.horizon, 0.55f), std::clamp(y - ridge + 0.5f, 0.0f, 1.0f));
        c = data_mix(c, data_mix(look.hills, look.horizon, 0.25f), std::clamp(y - near + 0.5f, 0.0f, 1.0f));
        return c;
    });
    if (look.night) {
        DataRandom random;
        data_random_seed(&random, seed, 3);
        for (int i = 0; i < 420; i++) {
            float x = data_random_float(&random) * PANO_W, y = data_random_float(&random) * PANO_H * 0.8f;
            float size = 0.5f + data_random_float(&random) * 0.9f, v = 0.3f + 0.2f * data_random_float(&random);
            for (int o = -1; o <= 1; o++) data_fill_circle(&sky, x + o * PANO_W, y, size, {v, v, v * 1.1f, 1});
        }
        // The moon where the sun would be.
        float mx = SUN_ANGLE / (2 * PI) * PANO_W;
        data_fill_circle(&sky, mx, 80, 24, data_rgb(128, 136, 150));
        data_fill_circle(&sky, mx - 7, 74, 5, data_rgb(112, 118, 132));
        data_fill_circle(&sky, mx + 8, 88, 4, data_rgb(114, 120, 134));
    }
    return sky;
}

const SkyLook g_sky_looks[DATA_THEME_COUNT] = {
    // Garden: a clear blue day, white clouds, a warm glow round the sun.
    {data_rgb(52, 100, 200), data_rgb(146, 160, 210), data_rgb(164, 165, 206), data_rgb(166, 166, 200),
     data_rgb(70, 110, 70), 1.0f, false},
    // Desert: pale, a warm haze towards the horizon.
    {data_rgb(90, 118, 178), data_rgb(182, 150, 112), data_rgb(180, 164, 168), data_rgb(186, 168, 150),
     data_rgb(150, 118, 80), 0.5f, false},
    // Night: deep blue, stars and a pale moon.
    {data_rgb(4, 8, 30), data_rgb(22, 30, 62), data_rgb(24, 28, 52), data_rgb(80, 86, 120), data_rgb(10, 14, 24), 0.6f,
     true},
};

}  // namespace

void data_sky_tint(const int ambient[3], float tint[3])
{
    float r = (float)ambient[0], g = (float)ambient[1], b = (float)ambient[2];
    float length = std::sqrt(r * r + g * g + b * b);
    if (length > 0) {
        r /= length;
        g /= length;
        b /= length;
    }
    tint[0] = std::fmin(1.0f, r + 0.1f);
    tint[1] = std::fmin(1.0f, g + 0.1f);
    tint[2] = std::fmin(1.0f, b * 1.3f + 0.1f);
}

bool data_write_theme_textures(const std::string &data_dir)
{
    const TextureFile textures[] = {
        {"01_turf", turf, false},    {"02_wood", wood, false}, {"03_stone", stone, false},
        {"05_grass", grass, false},  {"06_kerb", kerb, false}, {"07_meadow", meadow, false},
        {"08_water", water, false},  {"09_red", red, false},   {"10_white", white, false},
        {"11_sand", sand, false},    {"12_roof", roof, false}, {"16_bark", bark, false},
        {"17_leaves", leaves, true},
    };
    for (const TextureFile &t : textures)
        if (!data_write_png(data_dir + "/themes/garden/tex/" + t.name + ".png", t.paint(), !t.alpha)) return false;
    return true;
}

bool data_write_skies(const std::string &data_dir)
{
    const char *quarters[] = {"left", "front", "right", "back"};
    for (int t = 0; t < DATA_THEME_COUNT; t++) {
        const DataTheme &theme = g_data_themes[t];
        float tint[3];
        data_sky_tint(theme.ambient, tint);
        DataImage sky = panorama(g_sky_looks[t], 301 + t);
        // The view multiplies the picture by the tint: divide it out. The looks stay within the
        // tint, so nothing clips.
        for (DataColour &p : sky.pixels) p = {p.r / tint[0], p.g / tint[1], p.b / tint[2], 1};
        for (int q = 0; q < 4; q++) {
            DataImage quarter = data_image_make(PANO_H, PANO_H, {1, 1, 1, 1});
            for (int y = 0; y < PANO_H; y++)
                for (int x = 0; x < PANO_H; x++) data_pixel(&quarter, x, y) = data_pixel(sky, q * PANO_H + x, y);
            std::string path = data_dir + "/themes/" + theme.folder + "/sky_" + quarters[q] + ".png";
            if (!data_write_png(path, quarter, true)) return false;
        }
    }
    return true;
}
