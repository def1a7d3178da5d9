// Shared set-up of the renderer's tests: the game's render context on a headless device, and
// checks that every test leaves no device resource and no registry node behind.
#pragma once

#include "platform/gpu/headless/gpu_headless.h"
#include "render/render.h"
#include "render/render_local.h"

#include <gtest/gtest.h>

#include <cstring>

// Effect text with techniques T0 to T7; T2 is valid only with two-sided stencil.
inline const char *render_test_effect_text()
{
    return "TEXTURE Tex;\nTEXTURE Lightmap;\nMATRIX WORLD;\nMATRIX VIEWPROJ;\nMATRIX DISTORT;\n"
           "TECHNIQUE T0\n{\n  PASS P0\n  {\n    CullMode = None;\n  }\n}\n"
           "TECHNIQUE T1\n{\n  PASS P0\n  {\n    CullMode = None;\n  }\n}\n"
           "TECHNIQUE T2\n{\n  PASS P0\n  {\n    TwoSidedStencilMode = True;\n  }\n}\n"
           "TECHNIQUE T3\n{\n  PASS P0\n  {\n    CullMode = None;\n  }\n}\n"
           "TECHNIQUE T4\n{\n  PASS P0\n  {\n    CullMode = None;\n  }\n}\n"
           "TECHNIQUE T5\n{\n  PASS P0\n  {\n    CullMode = None;\n  }\n}\n"
           "TECHNIQUE T6\n{\n  PASS P0\n  {\n    CullMode = None;\n  }\n}\n"
           "TECHNIQUE T7\n{\n  PASS P0\n  {\n    CullMode = None;\n  }\n}\n";
}

class RenderTest : public ::testing::Test {
protected:
    RenderContext *context = &g_render_context;

    void SetUp() override
    {
        gpu_headless_reset();
        render_context_construct(context);
        context->width = 64;
        context->height = 32;
    }

    void TearDown() override
    {
        render_shutdown_device(context);
        render_context_destroy(context);
        EXPECT_EQ(g_render_registry.count, 0);
        EXPECT_EQ(gpu_headless_live_resources(), 0);
        g_render_dynamic_buffers = 0;
        gpu_headless_reset();
    }

    // A device with dynamic buffers (variable "R" on) or managed ones.
    void make_device(bool dynamic)
    {
        *render_var_ref(context, "R") = dynamic ? 1 : 0;
        ASSERT_EQ(render_create_device(context), 1);
        ASSERT_EQ(g_render_dynamic_buffers, dynamic ? 1 : 0);
    }

    ID3DXEffect *make_effect()
    {
        ID3DXEffect *effect = nullptr;
        const char *text = render_test_effect_text();
        EXPECT_EQ(D3DXCreateEffect(context->device, text, UINT(strlen(text)), nullptr, nullptr, 0, nullptr, &effect,
                                   nullptr),
                  D3D_OK);
        return effect;
    }

    // A new object with the flags, its buffers made.
    RenderObject *make_object(uint32_t flags, int32_t vertices, int32_t indices, int32_t frames = 0)
    {
        RenderObject *object = render_object_init(new RenderObject);
        object->flags = flags;
        render_object_create_vertex_buffer(object, vertices, indices, frames);
        return object;
    }

    // The registry's objects other than the context's own (the dynamic object, the glare).
    bool is_embedded(const RenderObject *object) const
    {
        return object >= context->embedded_objects && object < context->embedded_objects + 4;
    }
    int user_registry_count() const
    {
        int count = 0;
        for (RenderRegistryNode *n = g_render_registry.first; n; n = n->next) count += !is_embedded(n->object);
        return count;
    }
    RenderObject *first_user_object() const
    {
        for (RenderRegistryNode *n = g_render_registry.first; n; n = n->next)
            if (!is_embedded(n->object)) return n->object;
        return nullptr;
    }

    static void delete_object(RenderObject *object)
    {
        render_object_free(object);
        delete object;
    }
};

// One screen triangle drawn straight on the device, in its own scene: a copy of its record, which
// holds the device states every draw sees.
inline GpuDrawRecord render_test_draw_probe(IDirect3DDevice9 *device)
{
    const RenderBatchVertex v[3] = {{0, 0, 0, 1, 0xFFFFFFFF, 0, 0}, {8, 0, 0, 1, 0xFFFFFFFF, 1, 0},
                                    {0, 8, 0, 1, 0xFFFFFFFF, 0, 1}};
    gpu_headless_clear_draws();
    device->BeginScene();
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(RenderBatchVertex));
    device->EndScene();
    const GpuDrawRecord *record = gpu_headless_draw(gpu_headless_draw_count() - 1);
    return record ? *record : GpuDrawRecord{};
}

// Reads a value of type T at a byte offset.
template <class T>
T render_test_read(const uint8_t *bytes, size_t offset)
{
    T value;
    memcpy(&value, bytes + offset, sizeof value);
    return value;
}
