// The world's textures (each with its own copy of the pixels) and its 128 map slots: height data
// from textures 0 to 127 and the normal maps made from it into textures 640 to 767.
#include "scene/scene_local.h"

#include "codecs/codecs.h"
#include "render/render.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int32_t largest_power_of_two_at_most(int32_t n)
{
    int32_t side = 1;
    while (side <= n / 2) side *= 2;
    return side;
}

// Texture id's picture into slot id, at the size and with the options the renderer's variables give.
void upload_texture(SceneWorld *world, int32_t id, const SceneTexture &texture)
{
    RenderContext *context = scene_context(world);
    int32_t side = texture.width < texture.height ? texture.width : texture.height;
    int32_t limit = render_var_get(context, "D");
    if (limit > 0 && side > limit) side = limit;
    side = largest_power_of_two_at_most(side);
    uint8_t flags = (texture.options & 1) ? kTextureAlpha : 0;
    if (render_var_get(context, "X") != 0) flags |= kTextureMipmap;
    if (texture.options & 4) flags |= kTextureClamp;
    texture_create_in_slot(&context->main_textures, id, side, side, texture.pixels, texture.width, texture.height,
                           flags);
}

// Puts `other`'s own picture of texture slot `slot` back; false when it has none there.
bool restore_slot(SceneWorld *other, int32_t slot)
{
    if (slot >= 0 && slot < SCENE_MAX_TEXTURES) {
        const SceneTexture &texture = other->textures[slot];
        if (texture.slot != slot || !texture.pixels) return false;
        upload_texture(other, slot, texture);
        return true;
    }
    const int32_t k = slot - SCENE_MAP_TEXTURE_BASE;
    if (k < 0 || k >= SCENE_MAP_SLOTS) return false;
    MapSlot &map = other->maps[k];
    if (!map.has_texture || map.width <= 0 || map.height <= 0) return false;
    if (map.map) {
        texture_create_in_slot(&scene_context(other)->main_textures, slot, map.width, map.height, map.map, map.width,
                               map.height, kTextureMipmap);
        return true;
    }
    if (!map.height_data) return false;
    // The world let its normal map go after the upload: made again for the slot, and let go again.
    world_build_normal_map_from_height(other, k, nullptr);
    free(map.map);
    map.map = nullptr;
    return true;
}

void free_texture_entry(SceneWorld *world, SceneTexture &texture)
{
    if (texture.slot >= 0) scene_texture_slot_release(world, texture.slot);
    free(texture.pixels);
    texture = SceneTexture{};
}

// Luminance of the picture, one byte a pixel, as map slot k's height data.
void set_height_data(SceneWorld *world, int32_t k, const uint8_t *rgba, int32_t width, int32_t height)
{
    MapSlot &slot = world->maps[k];
    uint8_t *data = static_cast<uint8_t *>(malloc(size_t(width) * size_t(height)));
    if (!data) {
        scene_log("no memory for the height data of map %d", int(k));
        return;
    }
    for (size_t p = 0, n = size_t(width) * size_t(height); p < n; p++) {
        const uint8_t *c = rgba + 4 * p;
        data[p] = uint8_t((299 * c[0] + 587 * c[1] + 114 * c[2]) / 1000);
    }
    free(slot.height_data);
    free(slot.map);
    slot.map = nullptr;
    slot.height_data = data;
    slot.width = width;
    slot.height = height;
    slot.in_use = 1;
    world->map_slot_marker = 0;
}

// Height difference across x (or y) at a pixel: central inside, one-sided at the edges, per pixel.
float slope(const uint8_t *h, int32_t width, int32_t height, int32_t x, int32_t y, bool along_x)
{
    int32_t n = along_x ? width : height;
    int32_t at = along_x ? x : y;
    int32_t lo = at > 0 ? at - 1 : at, hi = at < n - 1 ? at + 1 : at;
    if (hi == lo) return 0.0f;
    auto value = [&](int32_t i) {
        return float(along_x ? h[size_t(y) * size_t(width) + size_t(i)] : h[size_t(i) * size_t(width) + size_t(x)]);
    };
    return (value(hi) - value(lo)) / (255.0f * float(hi - lo));
}

}  // namespace

int scene_set_texture(SceneWorld *world, int32_t id, const char *name, uint8_t options)
{
    if (id < 0 || id >= SCENE_MAX_TEXTURES || !name || !name[0] || strlen(name) > 127) {
        scene_log("texture %d: bad id or name", int(id));
        return 0;
    }
    SceneTexture &texture = world->textures[id];
    if (texture.pixels && texture.options == options && strcmp(texture.name, name) == 0) return 1;
    free_texture_entry(world, texture);
    snprintf(texture.name, sizeof texture.name, "%s", name);
    texture.options = options;

    ImageData image = {};
    if (!image_load_by_base_name(name, &image, options & 1)) {
        scene_log("texture %d: picture \"%s\" missing", int(id), name);
        return 0;
    }
    texture.pixels = image.pixels;
    texture.width = image.width;
    texture.height = image.height;
    upload_texture(world, id, texture);
    texture.slot = id;
    if (id < SCENE_MAP_SLOTS) set_height_data(world, id, image.pixels, image.width, image.height);
    return 1;
}

void scene_texture_slot_release(SceneWorld *world, int32_t slot)
{
    RenderContext *context = scene_context(world);
    SceneWorld *const worlds[] = {&g_hole_world, &g_menu_world};
    for (SceneWorld *other : worlds)
        if (other != world && scene_context(other) == context && restore_slot(other, slot)) return;
    texture_release_slot(&context->main_textures, slot);
}

const uint8_t *scene_texture_pixels(const SceneWorld *world, int32_t id, int32_t *width, int32_t *height)
{
    if (id < 0 || id >= SCENE_MAX_TEXTURES || !world->textures[id].pixels) return nullptr;
    *width = world->textures[id].width;
    *height = world->textures[id].height;
    return world->textures[id].pixels;
}

void world_build_normal_map_from_height(SceneWorld *world, int32_t k, const uint8_t *height)
{
    if (k < 0 || k >= SCENE_MAP_SLOTS) return;
    MapSlot &slot = world->maps[k];
    if (!height) height = slot.height_data;
    if (!height || slot.width <= 0 || slot.height <= 0) return;
    uint8_t *map = static_cast<uint8_t *>(malloc(size_t(slot.width) * size_t(slot.height) * 4));
    if (!map) {
        scene_log("no memory for normal map %d", int(k));
        return;
    }
    // The surface z = 2 x height (scale 2): normal (-2 dh/dx, -2 dh/dy, 1), normalised and packed.
    for (int32_t y = 0; y < slot.height; y++) {
        for (int32_t x = 0; x < slot.width; x++) {
            float n[3] = {-2.0f * slope(height, slot.width, slot.height, x, y, true),
                          -2.0f * slope(height, slot.width, slot.height, x, y, false), 1.0f};
            float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            uint8_t *texel = map + 4 * (size_t(y) * size_t(slot.width) + size_t(x));
            for (int c = 0; c < 3; c++) texel[c] = uint8_t((n[c] / length * 0.5f + 0.5f) * 255.0f);
            texel[3] = 255;
        }
    }
    free(slot.map);
    slot.map = map;
    RenderContext *context = scene_context(world);
    texture_create_in_slot(&context->main_textures, SCENE_MAP_TEXTURE_BASE + k, slot.width, slot.height, map,
                           slot.width, slot.height, kTextureMipmap);
    slot.has_texture = 1;
}

void world_alloc_all_map_slots(SceneWorld *world)
{
    if (world->map_slot_marker) return;
    for (int32_t k = 0; k < SCENE_MAP_SLOTS; k++)
        if (world->maps[k].in_use && !world->maps[k].map) world_build_normal_map_from_height(world, k, nullptr);
    world->map_slot_marker = 1;
}
