// The menu pictures in their fixed slots, the glow spot, and the disc and marker-frame meshes.
#include "game/menu_pictures.h"

#include "codecs/codecs.h"
#include "game/font.h"
#include "render/render.h"
#include "render/render_draw.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

RenderObject *g_menu_disc;
RenderObject *g_menu_marker_frames[2];

namespace {

struct Picture {
    int32_t slot;
    const char *name;
};

const Picture kPictures[] = {
    {kSlotMouse0, "data/gfx/mouse0.png"},   {kSlotMouse1, "data/gfx/mouse1.png"},
    {kSlotArrow, "data/gfx/arrow.png"},     {kSlotArrowHover, "data/gfx/arrow_h.png"},
    {kSlotPanel, "data/gfx/panel.png"},     {kSlotButton, "data/gfx/button.png"},
    {kSlotFolder, "data/gfx/folder.png"},   {kSlotFolderBack, "data/gfx/folder_back.png"},
    {kSlotUp, "data/gfx/up.png"},           {kSlotBall, "data/gfx/ballgolf.png"},
};

constexpr int32_t kMissingSide = 16;

void load_into_slot(RenderContext *context, int32_t slot, const char *name)
{
    int32_t side = 0;
    uint8_t *pixels = menu_load_square_picture(name, &side);
    if (pixels) texture_create_square_from_pixels(context, slot, pixels, side, 1);
    free(pixels);
}

// Buffers for `vertices` and `indices` with the position and colour layout (format 3), locked.
RenderObject *new_locked_object(int32_t vertices, int32_t indices)
{
    RenderObject *object = render_object_init(new RenderObject);
    object->flags = kRenderDiffuse | kRenderTexColour | kRenderStatic;
    object->format = 3;
    render_object_create_vertex_buffer(object, vertices, indices, 0);
    render_object_lock_vertices(object);
    render_object_lock_indices(object);
    return object;
}

void unlock(RenderObject *object)
{
    render_object_unlock_indices(object);
    render_object_unlock_vertices(object);
    object->locked_indices = nullptr;
    object->current_frame = -1;
}

void free_object(RenderObject *&object)
{
    if (!object) return;
    render_object_free(object);
    delete object;
    object = nullptr;
}

}  // namespace

uint8_t *menu_load_square_picture(const char *name, int32_t *side)
{
    ImageData image{};
    if (!image_load_by_base_name(name, &image, 1) || image.width <= 0 || image.height <= 0) {
        free(image.pixels);
        char line[600];
        snprintf(line, sizeof line, "Menu picture %s missing: a transparent one stands in", name);
        render_log_line(line);
        *side = kMissingSide;
        return (uint8_t *)calloc((size_t)kMissingSide * kMissingSide * 4, 1);
    }
    *side = image.width > image.height ? image.width : image.height;
    uint8_t *square = (uint8_t *)calloc((size_t)*side * *side * 4, 1);
    if (square)
        for (int32_t y = 0; y < image.height; y++)
            memcpy(square + (size_t)y * *side * 4, image.pixels + (size_t)y * image.width * 4,
                   (size_t)image.width * 4);
    free(image.pixels);
    return square;
}

uint8_t *menu_glow_spot_pixels(void)
{
    uint8_t *pixels = (uint8_t *)malloc((size_t)kGlowSide * kGlowSide * 4);
    if (!pixels) return nullptr;
    for (int y = 0; y < kGlowSide; y++)
        for (int x = 0; x < kGlowSide; x++) {
            double d = std::sqrt((double)((x - 128) * (x - 128) + (y - 128) * (y - 128))) / 128.0;
            double v = 1.0 - (d > 1.0 ? 1.0 : d);
            uint8_t *p = pixels + ((size_t)y * kGlowSide + x) * 4;
            p[0] = p[1] = p[2] = (uint8_t)(v * 255.0);
            p[3] = (uint8_t)(v * v * 255.0);
        }
    return pixels;
}

uint8_t *menu_horizon_pixels(void)
{
    uint8_t *pixels = (uint8_t *)malloc((size_t)kHorizonSide * kHorizonSide * 4);
    if (!pixels) return nullptr;
    const int line = kHorizonSide / 2;
    for (int y = 0; y < kHorizonSide; y++) {
        // 0 on the horizon line, 1 at the top row or kHorizonFoot of the way down to the bottom
        // one; smooth at both ends of the fade, so that neither end draws a line.
        const double below = kHorizonFoot * (kHorizonSide - 1 - line);
        const double t = y < line ? (double)(line - y) / line : std::fmin(1.0, (y - line) / below);
        const double a = kHorizonAlpha * (1.0 - t * t * (3.0 - 2.0 * t));
        for (int x = 0; x < kHorizonSide; x++) {
            uint8_t *p = pixels + ((size_t)y * kHorizonSide + x) * 4;
            p[0] = p[1] = p[2] = 255;
            p[3] = (uint8_t)(a * 255.0 + 0.5);
        }
    }
    return pixels;
}

void menu_disc_mesh_build(void)
{
    free_object(g_menu_disc);
    RenderObject *disc = g_menu_disc = new_locked_object(33, 96);
    render_vertex_set_position(disc, 0, 0.0f, 0.0f, 0.0f);
    render_vertex_set_color_argb(disc, 0, 1.0f, 1.0f, 1.0f, 1.0f);
    for (int k = 1; k <= 32; k++) {
        double angle = (k - 1) * M_PI / 16.0;
        render_vertex_set_position(disc, k, (float)std::cos(angle), (float)std::sin(angle), 0.0f);
        render_vertex_set_color_argb(disc, k, 0.0f, 0.0f, 0.0f, 0.0f);
        if (disc->locked_indices) {
            disc->locked_indices[3 * (k - 1)] = 0;
            disc->locked_indices[3 * (k - 1) + 1] = (uint32_t)(k % 32 + 1);
            disc->locked_indices[3 * (k - 1) + 2] = (uint32_t)k;
        }
    }
    unlock(disc);
}

void menu_marker_frames_build(void)
{
    static const float kCorners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    static const uint32_t kTriangles[24] = {0, 1, 5, 0, 5, 4, 1, 2, 6, 1, 6, 5, 2, 3, 7, 2, 7, 6, 7, 3, 0, 7, 0, 4};
    for (int f = 0; f < 2; f++) {
        free_object(g_menu_marker_frames[f]);
        RenderObject *frame = g_menu_marker_frames[f] = new_locked_object(8, 24);
        for (int i = 0; i < 8; i++) {
            float half = i < 4 ? 0.5f : 0.47f;
            render_vertex_set_position(frame, i, kCorners[i % 4][0] * half, 0.0f, kCorners[i % 4][1] * half);
            render_vertex_set_color_argb(frame, i, f == 0 ? 1.0f : 0.0f, 0.0f, f == 0 ? 0.0f : 1.0f, 0.5f);
        }
        if (frame->locked_indices) memcpy(frame->locked_indices, kTriangles, sizeof kTriangles);
        unlock(frame);
    }
}

void menu_pictures_free(void)
{
    free_object(g_menu_disc);
    free_object(g_menu_marker_frames[0]);
    free_object(g_menu_marker_frames[1]);
}

void menu_load_pictures(RenderContext *context)
{
    texture_release_all(&context->main_textures);
    menu_disc_mesh_build();
    render_set_mode(7, context, 16);
    for (const Picture &picture : kPictures) load_into_slot(context, picture.slot, picture.name);

    uint8_t white[kMissingSide * kMissingSide * 4];
    memset(white, 255, sizeof white);
    texture_create_square_from_pixels(context, kSlotWhite, white, kMissingSide, 0);

    font_init(context);

    for (int i = 1; i <= 6; i++) {
        char name[64];
        snprintf(name, sizeof name, i < 10 ? "data/perso/perso0%d.png" : "data/perso/perso%d.png", i);
        load_into_slot(context, kSlotWhite + i, name);
    }

    uint8_t *horizon = menu_horizon_pixels();
    if (horizon)
        texture_create_from_pixels(context, kTextureAlpha, kSlotHorizon, kHorizonSide, kHorizonSide, horizon,
                                   kHorizonSide, kHorizonSide);
    free(horizon);

    uint8_t *glow = menu_glow_spot_pixels();
    if (glow) texture_create_from_pixels(context, kTextureAlpha, kSlotGlow, kGlowSide, kGlowSide, glow, kGlowSide,
                                         kGlowSide);
    free(glow);

    const int32_t modes[][2] = {{7, 15}, {20, 128}, {25, 256}, {26, 384}, {16, 50}, {23, 62}, {19, 56}};
    for (const auto &m : modes) render_set_mode(m[0], context, m[1]);
}
