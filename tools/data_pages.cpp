// The full pages (the menus' painted meadow, the title card) and the card shown for a hole
// without a preview. Pages are painted in a 1920 x 1080 design space mapped onto 1280 x 1024:
// the game stretches them over a 16:9 window.
#include "tools/data_pictures.h"

#include <cmath>

namespace {

const float PI = 3.14159265f;
const int PAGE_W = 1280, PAGE_H = 1024;
// Design units to page pixels.
const float SX = PAGE_W / 1920.0f, SY = PAGE_H / 1080.0f;

// The part of a picture in the box, and putting it back.
DataImage crop(const DataImage &image, int x0, int y0, int w, int h)
{
    DataImage part = data_image_make(w, h, {0, 0, 0, 0});
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) data_pixel(&part, x, y) = data_pixel(image, x0 + x, y0 + y);
    return part;
}

void paste(DataImage *image, const DataImage &part, int x0, int y0)
{
    for (int y = 0; y < part.height; y++)
        for (int x = 0; x < part.width; x++) data_pixel(image, x0 + x, y0 + y) = data_pixel(part, x, y);
}

// Texts keep the face's proportions on a 16:9 window when the script draws them into a window of
// the page of 1280 x 1080 / 1920 = 900 pixels per 1024 rows: narrower by the page's stretch.
const int TEXT_WINDOW_W = 900, TEXT_WINDOW_X = (PAGE_W - TEXT_WINDOW_W) / 2;

bool page_texts(DataImage *page, const std::string &data_dir, const std::string &fonts, const std::string &steps)
{
    DataImage window = crop(*page, TEXT_WINDOW_X, 0, TEXT_WINDOW_W, PAGE_H);
    if (!data_draw_texts(&window, data_dir, fonts, steps)) return false;
    paste(page, window, TEXT_WINDOW_X, 0);
    return true;
}

// Periodic hill lines across the 1920 design units: the skyline repeats.
float hill_far(float X)
{
    return 575 + 38 * std::sin(2 * PI * X / 1920 * 2 + 0.7f) + 22 * std::sin(2 * PI * X / 1920 * 5 + 2.1f);
}
float hill_near(float X)
{
    return 650 + 45 * std::sin(2 * PI * X / 1920 * 1 + 2.6f) + 18 * std::sin(2 * PI * X / 1920 * 4 + 0.3f);
}

// The lane winds from the bottom of the page to the flag on the near hill.
float lane_centre(float Y) { return 820 + 330 * std::sin((1080 - Y) / 150.0f) * (Y - 690) / 390; }
float lane_width(float Y) { return 30 + (Y - 690) * 0.75f; }
const float FLAG_Y = 700;

float smoothstep(float a, float b, float v)
{
    float t = std::clamp((v - a) / (b - a), 0.0f, 1.0f);
    return t * t * (3 - 2 * t);
}

DataColour meadow_at(float X, float Y)
{
    float cloud = data_fbm(41, X / 240, Y / 120, 8, 9, 5);
    DataColour sky =
        data_mix(data_rgb(62, 118, 205), data_rgb(196, 218, 238), std::pow(std::clamp(Y / 640, 0.0f, 1.0f), 1.4f));
    sky = data_mix(sky, data_rgb(250, 250, 252), smoothstep(0.5f, 0.8f, cloud) * 0.85f * (1 - Y / 700));
    DataColour c = sky;
    // Layers over the sky, each edge softened over about a pixel.
    float far = std::clamp((Y - hill_far(X)) * SY + 0.5f, 0.0f, 1.0f);
    float haze = data_fbm(42, X / 160, Y / 160, 12, 7, 3);
    c = data_mix(c, data_mix(data_rgb(118, 160, 150), data_rgb(135, 175, 160), haze), far);
    float near = std::clamp((Y - hill_near(X)) * SY + 0.5f, 0.0f, 1.0f);
    float grass = data_fbm(43, X / 60, Y / 30, 32, 36, 4);
    DataColour field = data_mix(data_rgb(96, 165, 70), data_rgb(58, 120, 45), std::clamp((Y - 650) / 430, 0.0f, 1.0f));
    field = data_mix(field, data_rgb(120, 180, 80), (grass - 0.5f) * 0.6f + 0.2f);
    c = data_mix(c, field, near);
    if (Y > FLAG_Y - 2) {
        float d = (std::fabs(X - lane_centre(Y)) - lane_width(Y) / 2) * SX;
        float lane = std::clamp(0.5f - d, 0.0f, 1.0f);
        float stripe = 0.5f + 0.5f * std::sin((Y - 690) * 0.06f * (1 + (Y - 690) / 200));
        c = data_mix(c, data_mix(data_rgb(150, 212, 100), data_rgb(136, 200, 92), stripe), lane);
    }
    return c;
}

void windmill(DataImage *page)
{
    DataColour shade = data_rgb(62, 70, 82, 0.92f);
    float bx = 1560, by = hill_near(1560) + 10;
    std::vector<float> tower = {bx - 60, by, bx + 60, by, bx + 32, by - 250, bx - 32, by - 250};
    for (size_t i = 0; i < tower.size(); i += 2) {
        tower[i] *= SX;
        tower[i + 1] *= SY;
    }
    data_fill_polygon(page, tower, shade);
    data_fill_ellipse(page, bx * SX, (by - 255) * SY, 40 * SX, 30 * SY, shade);
    float hx = bx, hy = by - 255;
    for (int s = 0; s < 4; s++) {
        float a = 0.5f + s * PI / 2;
        float ex = hx + 210 * std::cos(a), ey = hy + 210 * std::sin(a);
        data_stroke_line(page, hx * SX, hy * SY, ex * SX, ey * SY, 9 * SX, shade);
        // The sail's lattice: a thin frame beside the arm.
        float px = -std::sin(a) * 30, py = std::cos(a) * 30;
        std::vector<float> sail = {(hx + 40 * std::cos(a)) * SX,
                                   (hy + 40 * std::sin(a)) * SY,
                                   ex * SX,
                                   ey * SY,
                                   (ex + px) * SX,
                                   (ey + py) * SY,
                                   (hx + 40 * std::cos(a) + px) * SX,
                                   (hy + 40 * std::sin(a) + py) * SY};
        data_stroke_polygon(page, sail, 4 * SX, shade);
    }
    data_fill_ellipse(page, hx * SX, hy * SY, 14 * SX, 14 * SY, shade);
}

void flag(DataImage *page, float X, float Y, float height)
{
    data_fill_ellipse(page, X * SX, Y * SY, height * 0.12f * SX, height * 0.035f * SY, data_rgb(30, 45, 25));
    data_stroke_line(page, X * SX, Y * SY, X * SX, (Y - height) * SY, std::fmax(1.5f, height * 0.03f * SX),
                     data_rgb(240, 240, 235));
    data_fill_polygon(page,
                      {X * SX, (Y - height) * SY, (X + height * 0.45f) * SX, (Y - height * 0.87f) * SY, X * SX,
                       (Y - height * 0.74f) * SY},
                      data_rgb(225, 45, 40));
}

DataImage background()
{
    DataImage page = data_image_make(PAGE_W, PAGE_H, {1, 1, 1, 1});
    data_shade(&page, [](float x, float y) { return meadow_at(x / SX, y / SY); });
    windmill(&page);
    flag(&page, lane_centre(FLAG_Y), FLAG_Y, 80);
    // The menus write over the middle third: darker there so the texts stand out.
    for (int y = 0; y < PAGE_H; y++)
        for (int x = 0; x < PAGE_W; x++) {
            float X = (x + 0.5f) / SX;
            float k = 1 - 0.3f * smoothstep(560, 720, X) * (1 - smoothstep(1200, 1360, X));
            DataColour &p = data_pixel(&page, x, y);
            p = {p.r * k, p.g * k, p.b * k, 1};
        }
    return page;
}

// The emblem of the title card: a ball before a flag, in design units.
void emblem(DataImage *page, float X, float Y, float r)
{
    flag(page, X + r * 0.7f, Y + r * 0.95f, r * 2.9f);
    data_fill_ellipse(page, (X + 8) * SX, (Y + r * 0.98f) * SY, r * 1.05f * SX, r * 0.25f * SY,
                      data_rgb(10, 35, 15, 0.5f));
    data_paint_shaded(
        page, (X - r) * SX, (Y - r) * SY, (X + r) * SX, (Y + r) * SY,
        [&](float x, float y) { return data_distance_ellipse(x, y, X * SX, Y * SY, r * SX, r * SY); },
        [&](float x, float y) {
            float nx = (x / SX - X) / r, ny = (y / SY - Y) / r;
            float nz = std::sqrt(std::fmax(0.0f, 1 - nx * nx - ny * ny));
            float lambert = std::fmax(0.0f, -0.45f * nx - 0.55f * ny + 0.7f * nz);
            float dimples = 0.5f + 0.5f * std::sin(nx * 38) * std::sin(ny * 38);
            float v = 0.45f + 0.55f * lambert - 0.05f * dimples * nz;
            return DataColour{v, v, v * 0.98f, 1};
        });
}

const char *const TITLE_FONTS =
    "TITRE\n{\nFICHIER=\"DejaVuSans-Bold.ttf\"\nSIZE=230\nOMBRAGE=(3,3)\nOUTLINE=7\n"
    "DEGRADE=(255,255,255)/(214,236,190)\n}\n"
    "SOUS\n{\nFICHIER=\"DejaVuSans.ttf\"\nSIZE=100\nOUTLINE=4\nDEGRADE=(235,245,225)/(235,245,225)\n}\n";

DataImage presentation(const std::string &data_dir, bool *ok)
{
    DataImage page = data_image_make(PAGE_W, PAGE_H, {1, 1, 1, 1});
    data_shade(&page, [](float x, float y) {
        float X = x / SX, Y = y / SY;
        float glow = std::exp(-(std::pow((X - 960) / 700, 2.0f) + std::pow((Y - 330) / 420, 2.0f)));
        DataColour c = data_mix(data_rgb(18, 62, 38), data_rgb(50, 128, 62), Y / 1080);
        c = data_mix(c, data_rgb(92, 168, 92), glow * 0.5f);
        float grain = data_fbm(51, X / 90, Y / 90, 22, 12, 3) - 0.5f;
        return DataColour{c.r + grain * 0.04f, c.g + grain * 0.05f, c.b + grain * 0.04f, 1};
    });
    emblem(&page, 960, 300, 125);
    *ok = page_texts(&page, data_dir, TITLE_FONTS,
                     "CTEXTE=TITRE (640,570) \"$x$\"\nCTEXTE=SOUS (640,790) \"A mini-golf game\"\n");
    return page;
}

DataImage no_preview(const std::string &data_dir, bool *ok)
{
    // Painted at four times the size, the caption drawn there, then boxed down.
    const int S = 1024;
    DataImage card = data_image_make(S, S, {1, 1, 1, 1});
    data_shade(&card, [](float x, float y) {
        float d = std::hypot(x - 512, y - 430) / 700;
        float grain = data_fbm(61, x / 64, y / 64, 16, 16, 3) - 0.5f;
        DataColour c = data_mix(data_rgb(40, 92, 56), data_rgb(16, 44, 28), std::fmin(1.0f, d));
        return DataColour{c.r + grain * 0.03f, c.g + grain * 0.04f, c.b + grain * 0.03f, 1};
    });
    data_stroke_polygon(&card, {24, 24, 1000, 24, 1000, 1000, 24, 1000}, 10, data_rgb(120, 170, 120, 0.8f));
    data_fill_ellipse(&card, 512, 520, 120, 34, data_rgb(8, 22, 12));
    data_stroke_line(&card, 490, 520, 490, 140, 16, data_rgb(235, 235, 230));
    data_fill_polygon(&card, {498, 140, 720, 205, 498, 270}, data_rgb(215, 55, 45));
    // Square glyphs in the card: the script's 1280 x 1024 space over 1024 x 819 pixels.
    const int WINDOW_H = S * 1024 / 1280, WINDOW_Y = S - WINDOW_H;
    DataImage window = crop(card, 0, WINDOW_Y, S, WINDOW_H);
    *ok = data_draw_texts(&window, data_dir,
                          "LEGENDE\n{\nFICHIER=\"DejaVuSans-Bold.ttf\"\nSIZE=300\nOUTLINE=6\n"
                          "DEGRADE=(240,244,232)/(214,228,205)\n}\n",
                          "CTEXTE=LEGENDE (640,560) \"No preview\"\n");
    paste(&card, window, 0, WINDOW_Y);
    return data_downsample(card, 4);
}

}  // namespace

const int g_data_title_box[4] = {220, 590, 1060, 750};

bool data_write_pages(const std::string &data_dir)
{
    bool title_ok = false, card_ok = false;
    DataImage title = presentation(data_dir, &title_ok);
    DataImage card = no_preview(data_dir, &card_ok);
    return title_ok && card_ok && data_write_png(data_dir + "/gfx/background.png", background(), true) &&
           data_write_png(data_dir + "/gfx/presentation1.png", title, true) &&
           data_write_png(data_dir + "/gfx/no_preview.png", card, true);
}
