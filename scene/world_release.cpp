// The release operations: what each frees of a world and what it keeps. After any of them the
// tables hold null for what was freed.
#include "scene/scene_local.h"

#include "geometry/mesh.h"
#include "render/render.h"

#include <cstdlib>
#include <cstring>

void scene_lightmaps_free(ObjectLightmaps *lightmaps)
{
    if (!lightmaps) return;
    free(lightmaps->faces);
    free(lightmaps->texels);
    free(lightmaps);
}

namespace {

void free_render_objects(SceneWorld *world, int32_t i)
{
    RenderObject *editor = world->render_objects[i];
    RenderObject *play = world->play_render_objects[i];
    scene_render_object_delete(editor);
    if (play != editor) scene_render_object_delete(play);
    world->render_objects[i] = nullptr;
    world->play_render_objects[i] = nullptr;
}

void free_lightmaps(SceneWorld *world, int32_t i)
{
    scene_lightmaps_free(world->lightmaps[i]);
    world->lightmaps[i] = nullptr;
}

// Entries past the object count belong to nobody: whoever moves an entry nulls its old place.
int32_t object_count(const SceneWorld *world)
{
    return world->object_count < 0                   ? 0
           : world->object_count > SCENE_MAX_OBJECTS ? SCENE_MAX_OBJECTS
                                                     : world->object_count;
}

void clear_derived(SceneWorld *world)
{
    int32_t count = object_count(world);
    for (int32_t i = 0; i < count; i++) {
        free_render_objects(world, i);
        if (world->companions[i]) {
            mesh_delete(world->companions[i]);
            world->companions[i] = nullptr;
        }
        if (world->objects[i]) world->objects[i]->companion = nullptr;
        free_lightmaps(world, i);
        free(world->links[i]);
        world->links[i] = nullptr;
    }
    memset(world->object_marks, 0, size_t(count));
    memset(world->prepare_modes, 0, size_t(count));
}

void free_face_lists(SceneWorld *world)
{
    ray_tree_free(world->ray_tree);
    world->ray_tree = nullptr;
    world->light_bsp = LightBsp{};
    memset(world->light_meshes, 0, sizeof world->light_meshes);
}

void free_maps(SceneWorld *world, bool keep_height_data)
{
    for (int32_t k = 0; k < SCENE_MAP_SLOTS; k++) {
        MapSlot &slot = world->maps[k];
        free(slot.map);
        slot.map = nullptr;
        if (keep_height_data) continue;
        if (slot.has_texture) scene_texture_slot_release(world, SCENE_MAP_TEXTURE_BASE + k);
        free(slot.height_data);
        slot = MapSlot{};
    }
    world->map_slot_marker = 0;
}

void free_textures(SceneWorld *world)
{
    for (SceneTexture &texture : world->textures) {
        if (texture.slot >= 0) scene_texture_slot_release(world, texture.slot);
        free(texture.pixels);
        texture = SceneTexture{};
    }
}

void free_vegetals(SceneWorld *world)
{
    for (int32_t j = 0; j < SCENE_MAX_VEGETALS; j++) {
        for (VegetalObject &object : world->vegetal_slots[j]) {
            vegetal_clear(&object);
            object = VegetalObject{};
        }
        world->vegetal_params[j] = VegetalParams{};
        world->vegetal_instances[j] = VegetalInstance{};
    }
    world->vegetal_count = 0;
}

// Course play frees its shadows when it leaves a hole; this catches a path that skipped that.
void free_leftover_shadows(SceneWorld *world)
{
    RenderContext *context = scene_context(world);
    for (int32_t j = 0; j < SCENE_MAX_OBJECTS; j++) {
        if (world->shadow_masks[j]) {
            free(world->shadow_masks[j]);
            world->shadow_masks[j] = nullptr;
            // Masks and their textures are made together; another world's textures are not ours.
            if (j < SCENE_MAX_VEGETALS) texture_release_slot(&context->main_textures, SCENE_SHADOW_TEXTURE_BASE + j);
        }
        world->shadow_mask_sizes[j] = 0;
        scene_render_object_delete(world->shadow_receivers[j]);
        world->shadow_receivers[j] = nullptr;
    }
}

}  // namespace

void world_clear_keep_default(SceneWorld *world) { clear_derived(world); }

void world_clear_for_editor(SceneWorld *world)
{
    clear_derived(world);
    free_face_lists(world);
    world->lit = 0;
    world->lighting_flag = 0;
    scene_ensure_standard_effect(world);
}

void world_free_maps_and_objects(SceneWorld *world)
{
    free_maps(world, true);
    for (int32_t i = 0, count = object_count(world); i < count; i++) free_lightmaps(world, i);
}

void world_release_effects(SceneWorld *world)
{
    for (RenderObject *&effect : world->standard_effects) {
        scene_render_object_delete(effect);
        effect = nullptr;
    }
}

void world_release_and_reset(SceneWorld *world)
{
    clear_derived(world);
    free_face_lists(world);
    for (int32_t i = 0, count = object_count(world); i < count; i++) {
        mesh_delete(world->objects[i]);
        world->objects[i] = nullptr;
    }
    world->object_count = 0;
    free_maps(world, false);
    free_textures(world);
    free_vegetals(world);
    free_leftover_shadows(world);
    scene_world_reset_settings(world);
}
