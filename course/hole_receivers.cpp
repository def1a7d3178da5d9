// The plants' shadow receivers drawn each frame (built once per hole by hole_build_shadows), and the
// draw hook that binds a receiver's textures and sways its shadow with its plant.
#include "course/hole_view.h"

#include "course/course_local.h"
#include "course/hole.h"
#include "game/files.h"
#include "geometry/vecmath.h"
#include "render/render_draw.h"

#include <cmath>

namespace {

constexpr int32_t kVariantTextureOffset = 640;  // the hole variant's copies of the face textures

// Consulted by the renderer per face group while the receivers draw with the shadow effect.
DrawHookTable g_receiver_hooks;

void draw_all_receivers(RenderContext *context, const SceneWorld *world)
{
    for (int32_t i = 0; i < world->object_count; i++) {
        RenderObject *receiver = world->shadow_receivers[i];
        const MeshObject *object = world->objects[i];
        if (!receiver || !object || !object->drawn) continue;
        render_set_current_object(context, receiver);
        render_draw_current_object(context);
    }
}

void draw_blended(RenderContext *context, const SceneWorld *world)
{
    render_set_mode(6, context, 1);
    render_set_mode(11, context, 4);
    draw_all_receivers(context, world);
    render_set_mode(11, context, 0);
    render_set_mode(21, context, 265);
    context->texture_id_offset = 0;
}

void draw_alpha_tested(RenderContext *context, const SceneWorld *world)
{
    render_set_mode(6, context, 0);
    render_set_mode(21, context, 264);
    render_set_mode(21, context, 150);
    render_set_mode(21, context, 257);
    if (g_option_hole_variant) context->texture_id_offset = kVariantTextureOffset;
    render_set_mode(11, context, 4);
    draw_all_receivers(context, world);
    render_set_mode(11, context, 0);
    render_set_mode(21, context, 265);
    context->texture_id_offset = 0;
}

void draw_with_effect(RenderContext *context, const SceneWorld *world, RenderObject *effect)
{
    g_receiver_hooks = DrawHookTable{};
    g_receiver_hooks.cached_ids[0] = g_receiver_hooks.cached_ids[1] = -1;
    g_receiver_hooks.final_hook = hole_shadow_effect_callback;
    context->draw_hooks = &g_receiver_hooks;
    context->effect_object = effect->effect;
    render_effect_set_viewproj_matrix(effect);
    render_effect_set_world_matrix(effect);
    render_set_mode(6, context, 0);
    if (g_option_hole_variant) context->texture_id_offset = kVariantTextureOffset;
    render_set_mode(11, context, 4);
    draw_all_receivers(context, world);
    render_set_mode(11, context, 0);
    context->texture_id_offset = 0;
    context->effect_object = nullptr;
    context->draw_hooks = nullptr;
}

}  // namespace

void hole_draw_shadow_receivers(int32_t use_callback)
{
    const SceneWorld *world = &g_hole_world;
    if (world->vegetal_count <= 0) return;
    RenderContext *context = hole_render_context(world);
    float m[16];
    mat4_identity(m);
    const float *sun = world->light_vector;
    mat4_translate(m, -0.001f * sun[0], -0.001f * sun[1], -0.001f * sun[2]);
    render_set_world_matrix(context, m);
    render_set_mode(1, context, 1);
    render_set_mode(1, context, 17);
    render_set_mode(4, context, g_hole_cull_mode);

    RenderObject *effect = world->standard_effects[0];
    if (g_option_hole_drawing == 0)
        draw_blended(context, world);
    else if (use_callback && effect && effect->effect)
        draw_with_effect(context, world, effect);
    else  // without the shadow effect (it did not compile) the alpha-tested draw stands in
        draw_alpha_tested(context, world);
}

bool hole_shadow_effect_callback(RenderObject *receiver, int32_t texture, int32_t shadow_texture, int32_t fourth)
{
    (void)fourth;
    const SceneWorld *world = &g_hole_world;
    // A face group naming no plant's shadow texture sways with phase 0.
    const int32_t j = shadow_texture - SCENE_SHADOW_TEXTURE_BASE;
    const int32_t plants =
        world->vegetal_count < kHoleShadowMaxVegetals ? world->vegetal_count : kHoleShadowMaxVegetals;
    const float t = j >= 0 && j < plants ? g_vegetal_sway_phase[j] : 0.0f;
    float x = 0.0161f * sinf(1.5f * t), y = 0.0103f * sinf(3.5f * t);
    if (world->light_vector[2] >= 0.0f) x = -x;
    if (world->light_vector[0] >= 0.0f) y = -y;
    texture_bind_to_effect(receiver, g_option_hole_variant ? texture + kVariantTextureOffset : texture, "Tex");
    texture_bind_to_effect(receiver, shadow_texture, "Shadow");
    if (receiver->effect) {
        const float decal[4] = {x, y, 0.0f, 0.0f};
        render_effect_set_vector(receiver, "Decal", decal);
    }
    return true;
}
