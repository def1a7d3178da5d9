// The menu theme: its scene loaded into the menu world and arranged as the editor's palette, its
// colours, leaf map, normal maps and sky; the reload after the options screen and the release.
#include "game/menu_theme.h"
#include "game/course_mesh.h"
#include "game/files.h"
#include "game/screen.h"

#include "codecs/codecs.h"
#include "geometry/mesh.h"
#include "render/render.h"
#include "scene/scene.h"
#include "script/config_main.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

char g_menu_theme_scene[512];
float g_block_step = 0.5f;
float g_block_snap_x = 0.0f;
float g_block_snap_z = 0.0f;

namespace {

constexpr int32_t kMissingSkySide = 16;

RenderContext *context() { return &g_render_context; }

void log_line(const char *format, ...) __attribute__((format(printf, 1, 2)));
void log_line(const char *format, ...)
{
    char line[768];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    render_log_line(line);
}

// The theme record's scene name, or null when the index has no record or the record no scene.
const char *theme_scene(int32_t theme)
{
    if (theme < 0 || theme >= THEME_MAX) return nullptr;
    const char *name = g_theme_scene_files[theme];
    return name && name[0] && strlen(name) < sizeof g_menu_theme_scene ? name : nullptr;
}

void free_leaf_map(void)
{
    free(g_leaf_alpha_map);
    g_leaf_alpha_map = nullptr;
    g_leaf_alpha_width = g_leaf_alpha_height = 0;
}

// The alpha bytes of the FEUILLES texture, row by row.
void build_leaf_map(const SceneWorld *world)
{
    free_leaf_map();
    int32_t width = 0, height = 0;
    const uint8_t *pixels = scene_texture_pixels(world, g_texture_feuilles, &width, &height);
    if (!pixels || width <= 0 || height <= 0) {
        log_line("theme: no FEUILLES texture (%d), no leaf map", int(g_texture_feuilles));
        return;
    }
    const size_t count = size_t(width) * size_t(height);
    g_leaf_alpha_map = static_cast<uint8_t *>(malloc(count));
    if (!g_leaf_alpha_map) {
        log_line("theme: no memory for the leaf map");
        return;
    }
    for (size_t p = 0; p < count; p++) g_leaf_alpha_map[p] = pixels[4 * p + 3];
    g_leaf_alpha_width = width;
    g_leaf_alpha_height = height;
}

// The normal-map buffers freed, then each map slot in use gets its texture and normal map again
// from the height data that the release keeps.
void rebuild_map_slots(SceneWorld *world)
{
    world_free_maps_and_objects(world);
    for (int32_t k = 0; k < SCENE_MAP_SLOTS; k++) {
        if (!world->maps[k].in_use) continue;
        texture_release_slot(&context()->main_textures, SCENE_MAP_TEXTURE_BASE + k);
        world_build_normal_map_from_height(world, k, nullptr);
    }
}

// Sky picture i as a square texture of its smaller side (at most "D"); a missing picture gives a
// blank one. A picture that is not square gives its top-left square, so no row is read past.
void create_sky(int32_t i, const char *name)
{
    ImageData image{};
    uint8_t *square = nullptr;
    const uint8_t *pixels = nullptr;
    int32_t side = 0;
    if (name && name[0] && image_load_by_base_name(name, &image, 0) && image.width > 0 && image.height > 0) {
        side = image.width < image.height ? image.width : image.height;
        if (image.width == image.height) {
            pixels = image.pixels;
        } else if ((square = static_cast<uint8_t *>(malloc(size_t(side) * size_t(side) * 4)))) {
            for (int32_t y = 0; y < side; y++)
                memcpy(square + size_t(y) * size_t(side) * 4, image.pixels + size_t(y) * size_t(image.width) * 4,
                       size_t(side) * 4);
            pixels = square;
        }
    } else {
        log_line("theme: sky picture \"%s\" missing, a blank one stands in", name ? name : "");
    }
    if (!pixels) {
        free(square);
        side = kMissingSkySide;
        pixels = square = static_cast<uint8_t *>(calloc(size_t(side) * size_t(side) * 4, 1));
    }
    if (pixels) texture_create_square_from_pixels(context(), kMenuSkyFirstSlot + i, pixels, side, 0);
    free(square);
    free(image.pixels);
}

void create_skies(int32_t theme)
{
    const char *const names[kMenuSkySlots] = {g_theme_sky_left[theme], g_theme_sky_front[theme],
                                              g_theme_sky_right[theme], g_theme_sky_back[theme]};
    for (int32_t i = 0; i < kMenuSkySlots; i++) create_sky(i, names[i]);
}

}  // namespace

void menu_theme_apply_colours(SceneWorld *world, int32_t theme)
{
    if (theme < 0 || theme >= THEME_MAX) return;
    const float ambient[4] = {g_theme_ambient_r[theme] * 0.01f, g_theme_ambient_g[theme] * 0.01f,
                              g_theme_ambient_b[theme] * 0.01f, 1.0f};
    const float light[4] = {g_theme_light_r[theme] * 0.01f, g_theme_light_g[theme] * 0.01f,
                            g_theme_light_b[theme] * 0.01f, 1.0f};
    memcpy(world->ambient_colour, ambient, sizeof ambient);
    memcpy(world->light_colour, light, sizeof light);
}


int menu_theme_name_compare(const char *a, const char *b)
{
    const size_t la = strlen(a), lb = strlen(b);
    const size_t n = la < lb ? la : lb;
    for (size_t k = 0; k < n; k++) {
        const signed char ca = static_cast<signed char>(a[k]), cb = static_cast<signed char>(b[k]);
        if (ca != cb) return ca < cb ? 1 : -1;
    }
    return la < lb ? 1 : -1;
}

void menu_theme_arrange_palette(SceneWorld *world)
{
    bool measured = false;
    for (int32_t i = 0; i < world->object_count; i++) {
        MeshObject *o = world->objects[i];
        if (!o || o->vertex_count <= 0) continue;
        course_mesh_compute_bounds(o);
        const float *b = o->bounds;
        // y points down: the bottom is the y maximum, so the block extends toward -y from its origin.
        const float shift[3] = {0.5f * (b[0] + b[1]), b[3] - (strstr(o->name, "PALES") ? 0.2f : 0.0f),
                                0.5f * (b[4] + b[5])};
        for (int32_t v = 0; v < o->vertex_count; v++)
            for (int k = 0; k < 3; k++) o->vertices[v].position[k] -= shift[k];
        if (strstr(o->name, "DECORBLOC")) {
            g_block_step = 0.5f * (b[3] - b[2]);
            g_block_snap_x = (b[1] - b[0]) / 32.0f;
            g_block_snap_z = (b[5] - b[4]) / 32.0f;
            measured = true;
        }
    }
    if (!measured) render_log_line("theme: no DECORBLOC block, the block measures keep their defaults");
    for (int32_t i = 0; i < world->object_count; i++)
        if (world->objects[i]) course_mesh_compute_bounds(world->objects[i]);
    // The exchange sort over every table indexed like the objects.
    for (int32_t i = 0; i < world->object_count; i++) {
        for (int32_t j = i + 1; j < world->object_count; j++) {
            if (!world->objects[i] || !world->objects[j]) continue;
            if (menu_theme_name_compare(world->objects[i]->name, world->objects[j]->name) != 1) continue;
            std::swap(world->objects[i], world->objects[j]);
            std::swap(world->companions[i], world->companions[j]);
            std::swap(world->render_objects[i], world->render_objects[j]);
            std::swap(world->play_render_objects[i], world->play_render_objects[j]);
            std::swap(world->object_marks[i], world->object_marks[j]);
            std::swap(world->prepare_modes[i], world->prepare_modes[j]);
            std::swap(world->links[i], world->links[j]);
            std::swap(world->lightmaps[i], world->lightmaps[j]);
        }
    }
}

void menu_theme_load(void)
{
    SceneWorld *world = &g_menu_world;
    scene_set_option(&g_hole_world, 17);
    scene_set_option(world, 17);
    scene_set_option(world, 10);
    scene_set_option(world, 13);
    // The leaf texture's slot is left to whoever made it last: the hole world shares the slots.
    if (g_texture_feuilles >= 0 && g_texture_feuilles < SCENE_MAX_TEXTURES)
        world->textures[g_texture_feuilles].slot = -1;
    world->renderer = context();
    world_release_and_reset(world);
    world_release_effects(world);
    free_leaf_map();
    g_menu_theme_scene[0] = 0;
    render_end_frame(context());

    const int32_t theme = g_theme_index;
    const char *scene = theme_scene(theme);
    if (!scene) {
        log_line("theme: theme %d has no scene, none loaded", int(theme));
        app_trace("theme none");
        return;
    }
    menu_theme_loading_frame("", 0.5f);
    world->load_progress = menu_theme_loading_frame;
    scene_load(world, scene, kSceneLoadKeepBuffers);
    world->load_progress = nullptr;
    // A failed load leaves the world as the release left it: empty.
    const bool loaded = scene_last_error()[0] == 0;
    menu_theme_apply_colours(world, theme);
    menu_theme_loading_frame("", 1.0f);
    build_leaf_map(world);
    menu_theme_arrange_palette(world);
    for (int32_t i = 0; i < world->object_count; i++)
        if (world->objects[i]) scene_set_render_object(world, i, course_mesh_shade_and_build(world->objects[i], 1));
    rebuild_map_slots(world);
    create_skies(theme);
    if (!loaded) {
        app_trace("theme none");
        return;
    }
    snprintf(g_menu_theme_scene, sizeof g_menu_theme_scene, "%s", scene);
    app_trace("theme loaded %s", scene);
}

void menu_theme_reload(void)
{
    const int32_t theme = g_theme_index;
    const char *scene = theme_scene(theme);
    if (!scene || !g_menu_theme_scene[0] || strcmp(scene, g_menu_theme_scene) != 0) {
        menu_resources_free();
        menu_theme_load();
        return;
    }
    SceneWorld *world = &g_menu_world;
    menu_theme_apply_colours(world, theme);
    world_setup_lighting_textures(world);
    rebuild_map_slots(world);
    create_skies(theme);
    app_trace("theme reload colours");
}

void menu_resources_free(void)
{
    world_release_and_reset(&g_menu_world);
    world_release_effects(&g_menu_world);
    free_leaf_map();
    for (int32_t i = 0; i < kMenuSkySlots; i++) texture_release_slot(&context()->main_textures, kMenuSkyFirstSlot + i);
    g_menu_theme_scene[0] = 0;
}
