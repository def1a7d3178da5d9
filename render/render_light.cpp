// World and view transforms, the ambient colour, the 1024 light slots sent to the device's fixed
// function lights, and the unprojection of a screen point.
#include "render/render_local.h"

#include "geometry/vecmath.h"

#include <cmath>
#include <cstring>

namespace {

bool valid_slot(int32_t n) { return n >= 0 && n < kRenderLightSlots; }

void set4(float *out, float a, float b, float c, float d)
{
    out[0] = a;
    out[1] = b;
    out[2] = c;
    out[3] = d;
}

void fill_slot(LightSlot *slot, float r, float g, float b)
{
    vec3_set(slot->colour, r, g, b);
    set4(slot->current_colour, r, g, b, 1.0f);
    set4(slot->base_colour, r, g, b, 1.0f);
    set4(slot->specular, 1.0f, 1.0f, 1.0f, 1.0f);
}

void send_light(RenderContext *context, int32_t n, const D3DLIGHT9 &light)
{
    if (context->device) context->device->SetLight(DWORD(n), &light);
}

}  // namespace

void render_set_world_matrix(RenderContext *context, const float *m)
{
    float world[16];
    render_mat4_multiply(world, m, context->base_matrix);
    memcpy(context->world_matrix, m, sizeof world);
    if (context->device) context->device->SetTransform(D3DTS_WORLD, world);
}

void render_set_view_matrix(RenderContext *context, const float *m)
{
    float view[16];
    memcpy(view, m, sizeof view);
    memcpy(context->view_matrix, m, sizeof view);
    // The second column negated: screen y grows downward.
    for (int i = 1; i < 16; i += 4) view[i] = -view[i];
    if (context->device) context->device->SetTransform(D3DTS_VIEW, view);
}

void light_set_ambient(RenderContext *context, float r, float g, float b)
{
    D3DCOLOR colour = (render_float_to_bits(r * 255.0f) & 255) << 16 | (render_float_to_bits(g * 255.0f) & 255) << 8 |
                      (render_float_to_bits(b * 255.0f) & 255);
    vec3_set(context->ambient, r, g, b);
    if (context->device) context->device->SetRenderState(D3DRS_AMBIENT, colour);
}

void light_set_point(RenderContext *context, int32_t n, float x, float y, float z, float r, float g, float b,
                     float linear_attenuation, float range)
{
    if (!valid_slot(n)) return;
    context->light_used[n] = 1;
    LightSlot *slot = &context->lights[n];
    vec3_set(slot->position, x, y, z);
    fill_slot(slot, r, g, b);
    slot->directional = 0;
    slot->linear_attenuation = linear_attenuation;
    slot->range = range;
    D3DLIGHT9 light = {};
    light.Type = D3DLIGHT_POINT;
    light.Diffuse = D3DCOLORVALUE{r, g, b, 0.0f};
    light.Specular = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 0.0f};
    light.Position = D3DVECTOR{x, y, z};
    light.Attenuation0 = 1.0f;
    light.Attenuation1 = linear_attenuation;
    light.Range = range;
    send_light(context, n, light);
}

void light_set_directional(RenderContext *context, int32_t n, float dx, float dy, float dz, float r, float g,
                           float b)
{
    if (!valid_slot(n)) return;
    context->light_used[n] = 1;
    LightSlot *slot = &context->lights[n];
    float length = std::sqrt(dx * dx + dy * dy + dz * dz);
    if (length > 0.0f) {
        dx /= length;
        dy /= length;
        dz /= length;
    }
    vec3_set(slot->position, dx, dy, dz);
    fill_slot(slot, r, g, b);
    slot->linear_attenuation = 0.0f;
    slot->directional = 1;
    D3DLIGHT9 light = {};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = D3DCOLORVALUE{r, g, b, 0.0f};
    light.Specular = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 0.0f};
    light.Direction = D3DVECTOR{dx, dy, dz};
    send_light(context, n, light);
}

void light_send_disabled(RenderContext *context, int32_t n)
{
    if (!valid_slot(n)) return;
    LightSlot *slot = &context->lights[n];
    memcpy(slot->current_colour, slot->base_colour, sizeof slot->current_colour);
    D3DLIGHT9 light = {};
    light.Diffuse = D3DCOLORVALUE{slot->base_colour[0], slot->base_colour[1], slot->base_colour[2], 0.0f};
    light.Specular = D3DCOLORVALUE{slot->specular[0], slot->specular[1], slot->specular[2], 0.0f};
    const float *p = slot->position;
    if (slot->directional) {
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Direction = D3DVECTOR{p[0], p[1], p[2]};
    } else {
        light.Type = D3DLIGHT_POINT;
        light.Position = D3DVECTOR{p[0], p[1], p[2]};
        light.Attenuation0 = 1.0f;
        light.Attenuation1 = slot->linear_attenuation;
        light.Range = slot->range;
    }
    send_light(context, n, light);
    if (context->device) context->device->LightEnable(DWORD(n), FALSE);
    slot->enabled = 0;
    for (int32_t i = 0; i < context->lights_on_count; i++) {
        if (context->lights_on[i] != n) continue;
        memmove(&context->lights_on[i], &context->lights_on[i + 1],
                sizeof(int32_t) * size_t(context->lights_on_count - i - 1));
        context->lights_on_count--;
        break;
    }
}

void render_resend_lights(RenderContext *context)
{
    for (int32_t n = 0; n < kRenderLightSlots; n++) {
        if (!context->light_used[n]) continue;
        LightSlot slot = context->lights[n];
        const float *c = slot.current_colour;
        if (slot.directional)
            light_set_directional(context, n, slot.position[0], slot.position[1], slot.position[2], c[0], c[1], c[2]);
        else
            light_set_point(context, n, slot.position[0], slot.position[1], slot.position[2], c[0], c[1], c[2],
                            slot.linear_attenuation, slot.range);
        if (slot.enabled) {
            if (context->device) context->device->LightEnable(DWORD(n), TRUE);
        } else {
            light_send_disabled(context, n);
        }
    }
}

float *render_unproject_point(float sx, float sy, float *out)
{
    RenderContext *context = &g_render_context;
    vec3_set(out, 0.0f, 0.0f, 0.0f);
    if (!context->device || context->width <= 0 || context->height <= 0) return out;
    float view[16], projection[16], inverse[16];
    context->device->GetTransform(D3DTS_VIEW, view);
    context->device->GetTransform(D3DTS_PROJECTION, projection);
    if (projection[0] == 0.0f || projection[5] == 0.0f) return out;
    float vx = (sx * 2.0f / float(context->width) - 1.0f) / projection[0];
    float vy = -((sy * 2.0f / float(context->height) - 1.0f) / projection[5]);
    if (!D3DXMatrixInverse(inverse, nullptr, view)) return out;
    out[0] = vx * inverse[0] + vy * inverse[4] + inverse[8] + inverse[12];
    out[1] = vx * inverse[1] + vy * inverse[5] + inverse[9] + inverse[13];
    out[2] = vx * inverse[2] + vy * inverse[6] + inverse[10] + inverse[14];
    return out;
}
