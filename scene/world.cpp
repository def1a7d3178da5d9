// The two worlds, their options, and the helpers that add objects, render objects and plants.
#include "scene/scene_local.h"

#include "geometry/mesh.h"
#include "render/render.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

SceneWorld g_hole_world;
SceneWorld g_menu_world;

RenderContext *scene_context(const SceneWorld *world) { return world->renderer ? world->renderer : &g_render_context; }

void scene_log(const char *format, ...)
{
    char text[512] = "scene: ";
    va_list args;
    va_start(args, format);
    vsnprintf(text + 7, sizeof text - 7, format, args);
    va_end(args);
    render_log_line(text);
}

void scene_render_object_delete(RenderObject *object)
{
    if (!object) return;
    render_object_free(object);
    delete object;
}

void scene_world_reset_settings(SceneWorld *world)
{
    // The values of the member initialisers in scene.h (a test compares the two).
    static const float ambient[4] = {0.35f, 0.35f, 0.40f, 1.0f};
    static const float light[4] = {0.75f, 0.72f, 0.65f, 1.0f};
    static const float vector[3] = {0.35777088f, 0.89442719f, 0.26832816f};
    static const float view[3] = {0.0f, 0.0f, 10.0f};
    world->first_block_index = -1;
    world->scene_word_1 = -1;
    memcpy(world->view, view, sizeof view);
    world->lit = 0;
    memcpy(world->ambient_colour, ambient, sizeof ambient);
    memcpy(world->light_colour, light, sizeof light);
    memcpy(world->light_vector, vector, sizeof vector);
    world->light_factor = 1.0f;
    world->lightmap_tile_size = 16;
    world->lighting_flag = 0;
    world->face_list_byte = 1;
    world->map_slot_marker = 0;
}

void scene_set_option(SceneWorld *world, int32_t id)
{
    if (id < 0 || id > 31) {
        scene_log("option %d out of range", int(id));
        return;
    }
    world->options |= 1u << id;
}

int32_t scene_add_object(SceneWorld *world, MeshObject *mesh)
{
    if (!mesh) return -1;
    if (world->object_count >= SCENE_MAX_OBJECTS) {
        scene_log("more than %d objects: \"%.127s\" refused", int(SCENE_MAX_OBJECTS), mesh->name);
        return -1;
    }
    int32_t i = world->object_count++;
    world->objects[i] = mesh;
    return i;
}

int scene_set_render_object(SceneWorld *world, int32_t i, RenderObject *object)
{
    if (i < 0 || i >= world->object_count) return 0;
    RenderObject *editor = world->render_objects[i];
    RenderObject *play = world->play_render_objects[i];
    // One handle often sits in both tables: free each distinct handle once.
    if (editor != object) scene_render_object_delete(editor);
    if (play != object && play != editor) scene_render_object_delete(play);
    world->render_objects[i] = object;
    world->play_render_objects[i] = object;
    return 1;
}

int32_t scene_add_vegetal(SceneWorld *world, const VegetalParams *params, const VegetalInstance *instance)
{
    if (world->vegetal_count >= SCENE_MAX_VEGETALS) {
        scene_log("more than %d plants: plant refused", int(SCENE_MAX_VEGETALS));
        return -1;
    }
    int32_t j = world->vegetal_count++;
    world->vegetal_params[j] = params ? *params : VegetalParams{};
    world->vegetal_instances[j] = instance ? *instance : VegetalInstance{};
    world->vegetal_instances[j].random = g_vegetal_random;
    for (VegetalObject &object : world->vegetal_slots[j]) {
        object = VegetalObject{};
        object.renderer = world->renderer;
        memcpy(object.textures_a, world->vegetal_params[j].textures_a, sizeof object.textures_a);
        memcpy(object.textures_b, world->vegetal_params[j].textures_b, sizeof object.textures_b);
    }
    return j;
}

int scene_remove_vegetal(SceneWorld *world, int32_t j)
{
    if (j < 0 || j >= world->vegetal_count) return 0;
    for (VegetalObject &object : world->vegetal_slots[j]) vegetal_clear(&object);
    int32_t last = --world->vegetal_count;
    if (j != last) {
        // The objects own their meshes: moving the records moves the ownership.
        for (int k = 0; k < 2; k++) world->vegetal_slots[j][k] = world->vegetal_slots[last][k];
        world->vegetal_params[j] = world->vegetal_params[last];
        world->vegetal_instances[j] = world->vegetal_instances[last];
    }
    for (VegetalObject &object : world->vegetal_slots[last]) object = VegetalObject{};
    world->vegetal_params[last] = VegetalParams{};
    world->vegetal_instances[last] = VegetalInstance{};
    return 1;
}

void world_transform_init_identity(float m[16])
{
    for (int k = 0; k < 16; k++) m[k] = (k % 5 == 0) ? 1.0f : 0.0f;
}
