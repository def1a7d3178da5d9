// The theme's objects arranged as the editor's palette.
#include "game/menu_theme.h"
#include "game/course_mesh.h"
#include "game/screen.h"

#include "geometry/mesh.h"
#include "render/render.h"
#include "scene/scene.h"

#include <cstring>
#include <utility>

float g_block_step = 0.5f;
float g_block_snap_x = 0.0f;
float g_block_snap_z = 0.0f;

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
        }
    }
}

// Until the theme's loading lands, the menus run without a theme.
void menu_theme_load(void) { app_trace("theme none"); }

void menu_theme_reload(void) {}

void menu_resources_free(void) {}
