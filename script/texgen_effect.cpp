// Picture effects of the texture scripts: a ripple from the centre (plain or shaded) and an emboss
// lit by a round spot. Each works from a copy of the picture taken when the step starts.
#include "script/texgen_local.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

struct Ripple {
    double amplitude, frequency, reach;  // reach: centre to corner
};

// Height of the ripple at an offset from the centre: highest there, 0 at the corners.
double ripple_height(const Ripple &ripple, double ex, double ey)
{
    if (ripple.reach <= 0.0) return 0.0;
    double d = std::clamp(std::sqrt(ex * ex + ey * ey) / ripple.reach, 0.0, 1.0);
    return ripple.amplitude * (1.0 - d) * (std::sin(ripple.frequency * 3.14159 * d) + 1.0) * 0.5;
}

uint8_t *snapshot(const uint8_t *out)
{
    size_t size = (size_t)g_texgen_width * g_texgen_height * 4;
    uint8_t *copy = (uint8_t *)malloc(size);
    if (copy) memcpy(copy, out, size);
    return copy;
}

}  // namespace

void texgen_draw_ripple(uint8_t *out, const TexgenStep *step)
{
    uint8_t *source = snapshot(out);
    if (!source) return;
    int hw = g_texgen_width / 2, hh = g_texgen_height / 2;
    Ripple ripple = {(double)step->param_a, (double)step->param_b, std::sqrt((double)hw * hw + (double)hh * hh)};
    bool shaded = step->kind == TEXGEN_ONDEOMBREE;
    for (int r = 0; r < g_texgen_height; r++)
        for (int c = 0; c < g_texgen_width; c++) {
            double dx = c - hw, dy = r - hh;
            double gx = ripple_height(ripple, dx + 1, dy) - ripple_height(ripple, dx - 1, dy);
            double gy = ripple_height(ripple, dx, dy + 1) - ripple_height(ripple, dx, dy - 1);
            int column = (int)std::clamp(std::trunc(c + gx), 0.0, (double)(g_texgen_width - 1));
            int row = (int)std::clamp(std::trunc(r + gy), 0.0, (double)(g_texgen_height - 1));
            const uint8_t *s = source + ((size_t)row * g_texgen_width + column) * 4;
            uint8_t *p = out + ((size_t)r * g_texgen_width + c) * 4;
            if (!shaded) {
                p[0] = s[0], p[1] = s[1], p[2] = s[2];
                continue;
            }
            // The slope against the light direction, in 2048ths.
            double f = 1.0 + std::trunc(gx * step->x + gy * step->y) / 2048.0;
            for (int k = 0; k < 3; k++) p[k] = (uint8_t)std::clamp(std::trunc(s[k] * f), 0.0, 255.0);
        }
    free(source);
}

void texgen_draw_emboss(uint8_t *out, const TexgenStep *step)
{
    // The spot's distance is divided by its radius.
    if (step->param_b < 1) return;
    int W = g_texgen_width, H = g_texgen_height, hw = W / 2, hh = H / 2;
    uint8_t *source = snapshot(out);
    uint8_t *light = (uint8_t *)malloc((size_t)4 * W * H);
    if (!source || !light) {
        free(source);
        free(light);
        return;
    }
    float spot_x = (float)step->x * g_texgen_scale_x, spot_y = (float)step->y * g_texgen_scale_y;
    for (int j = 0; j < 2 * H; j++) {
        double ey = std::trunc(spot_y - (float)j + (float)hh);
        for (int i = 0; i < 2 * W; i++) {
            double ex = std::trunc(spot_x - (float)i + (float)hw);
            double t = std::clamp(std::sqrt(ex * ex + ey * ey) / step->param_b, 0.0, 1.0);
            light[(size_t)j * 2 * W + i] = (uint8_t)std::min(255.0, std::trunc(300.0 * (1.0 - t)));
        }
    }
    const int32_t *weight = step->colour;
    auto relief = [&](int c, int r) {
        const uint8_t *s = source + ((size_t)r * W + c) * 4;
        return (int64_t)s[0] * weight[0] + (int64_t)s[1] * weight[1] + (int64_t)s[2] * weight[2];
    };
    for (int r = 0; r < H; r++)
        for (int c = 0; c < W; c++) {
            int64_t h0 = relief(c, r);
            int right = c + 1 < W ? c + 1 : c;
            int64_t hr = relief(right, r);
            int64_t hd = r + 1 < H ? relief(c, r + 1) : hr;
            int64_t lx = std::clamp<int64_t>(hr - h0 + c + hw, 0, 2 * W - 1);
            int64_t ly = std::clamp<int64_t>(hd - h0 + r + hh, 0, 2 * H - 1);
            float m = (float)light[(size_t)ly * 2 * W + (size_t)lx] / 255.0f;
            const uint8_t *s = source + ((size_t)r * W + c) * 4;
            uint8_t *p = out + ((size_t)r * W + c) * 4;
            for (int k = 0; k < 3; k++) p[k] = (uint8_t)std::clamp((int)(2.0f * (float)s[k] * m), 0, 255);
        }
    free(light);
    free(source);
}
