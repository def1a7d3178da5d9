// Effect parameters and bindings of render objects: sampler states from the records, render
// textures, empty and unknown ids, the six captured references, the lightmap binder's restore of
// stage 0, texture names and the draw hooks.
#include "tests/render/render_test_util.h"

#include <string>
#include <vector>

namespace {

class RenderEffectTest : public RenderTest {
protected:
    RenderObject *object = nullptr;

    void SetUp() override
    {
        RenderTest::SetUp();
        make_device(false);
        object = make_object(0x2 | 0x4000, 3, 3);
        object->effect = make_effect();
        std::vector<uint8_t> pixels(4 * 4 * 4, 0x40);
        texture_create_in_slot(&context->main_textures, 1, 4, 4, pixels.data(), 4, 4, kTextureClamp);
        texture_create_in_slot(&context->main_textures, 2, 4, 4, pixels.data(), 4, 4, kTextureMipmap);
        texture_create_in_slot(&context->lightmap_textures, 9, 4, 4, pixels.data(), 4, 4, 0);
    }

    void TearDown() override
    {
        delete_object(object);
        RenderTest::TearDown();
    }

    DWORD sampler(D3DSAMPLERSTATETYPE type)
    {
        DWORD value = 0;
        context->device->GetSamplerState(0, type, &value);
        return value;
    }

    IDirect3DBaseTexture9 *stage0()
    {
        IDirect3DBaseTexture9 *texture = nullptr;
        context->device->GetTexture(0, &texture);
        if (texture) texture->Release();
        return texture;
    }

    IDirect3DTexture9 *main_texture(int slot) { return context->main_textures.slots[slot]->texture; }
};

TEST_F(RenderEffectTest, RecordsGiveTheirSamplerStatesAndRenderTexturesClampLinear)
{
    texture_bind_to_effect(object, 1, "Tex");
    EXPECT_EQ(stage0(), main_texture(1));
    EXPECT_EQ(sampler(D3DSAMP_ADDRESSU), DWORD(D3DTADDRESS_CLAMP));
    EXPECT_EQ(sampler(D3DSAMP_ADDRESSV), DWORD(D3DTADDRESS_CLAMP));
    EXPECT_EQ(sampler(D3DSAMP_MIPFILTER), DWORD(D3DTEXF_NONE));
    EXPECT_EQ(object->captured_count, 1);
    EXPECT_EQ(object->captured[0], main_texture(1));

    context->device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    texture_bind_to_effect(object, 2, "Tex");
    EXPECT_EQ(sampler(D3DSAMP_ADDRESSU), DWORD(D3DTADDRESS_WRAP));
    EXPECT_EQ(sampler(D3DSAMP_MIPFILTER), DWORD(D3DTEXF_LINEAR));
    EXPECT_EQ(sampler(D3DSAMP_MINFILTER), DWORD(D3DTEXF_POINT));  // left as it was

    ASSERT_EQ(context->device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                             &context->render_textures[0], nullptr),
              D3D_OK);
    texture_bind_to_effect(object, -1, "Tex");
    EXPECT_EQ(stage0(), context->render_textures[0]);
    EXPECT_EQ(sampler(D3DSAMP_ADDRESSU), DWORD(D3DTADDRESS_CLAMP));
    EXPECT_EQ(sampler(D3DSAMP_MIPFILTER), DWORD(D3DTEXF_NONE));
    EXPECT_EQ(sampler(D3DSAMP_MINFILTER), DWORD(D3DTEXF_LINEAR));
    EXPECT_EQ(sampler(D3DSAMP_MAGFILTER), DWORD(D3DTEXF_LINEAR));
    EXPECT_EQ(object->captured_count, 3);
    render_object_release_captured(object);
    EXPECT_EQ(object->captured_count, 0);
}

TEST_F(RenderEffectTest, AtMostSixReferencesAreHeldAndNoneIsReleasedTwice)
{
    for (int i = 0; i < 9; i++) texture_bind_to_effect(object, 1, "Tex");
    EXPECT_EQ(object->captured_count, 6);
    render_object_release_captured(object);
    render_object_release_captured(object);
    for (IDirect3DBaseTexture9 *texture : object->captured) EXPECT_EQ(texture, nullptr);
    // With the device and the effect holding it no more, releasing the slot frees the texture:
    // no reference of ours is left over.
    int live = gpu_headless_live_resources();
    context->device->SetTexture(0, nullptr);
    object->effect->SetTexture("Tex", nullptr);
    texture_release_slot(&context->main_textures, 1);
    EXPECT_EQ(gpu_headless_live_resources(), live - 1);
}

TEST_F(RenderEffectTest, TheLightmapBinderRestoresTheBoundTexture)
{
    texture_bind_to_effect(object, 1, "Tex");
    lightmap_bind_to_effect(object, 9, "Lightmap");
    // Nothing was bound through texture_bind: the lightmap stays on stage 0.
    IDirect3DTexture9 *lightmap = context->lightmap_textures.slots[9]->texture;
    EXPECT_EQ(stage0(), lightmap);
    EXPECT_EQ(sampler(D3DSAMP_ADDRESSU), DWORD(D3DTADDRESS_CLAMP));
    EXPECT_EQ(object->captured_count, 2);
    EXPECT_EQ(object->captured[1], lightmap);

    texture_bind(context, 2);
    lightmap_bind_to_effect(object, 9, "Lightmap");
    EXPECT_EQ(object->captured[2], lightmap);
    EXPECT_EQ(object->captured_count, 3);
    EXPECT_EQ(stage0(), main_texture(2));
    EXPECT_EQ(sampler(D3DSAMP_ADDRESSU), DWORD(D3DTADDRESS_WRAP));

    // An id past the table binds no lightmap; a negative one leaves stage 0 alone.
    lightmap_bind_to_effect(object, 4000, "Lightmap");
    EXPECT_EQ(object->captured[3], nullptr);
    lightmap_bind_to_effect(object, -1, "Lightmap");
    EXPECT_EQ(object->captured[4], main_texture(2));

    // Objects without an effect bind nothing.
    RenderObject *plain = make_object(0x2, 3, 3);
    texture_bind_to_effect(plain, 1, "Tex");
    lightmap_bind_to_effect(plain, 9, "Lightmap");
    EXPECT_EQ(plain->captured_count, 0);
    delete_object(plain);
}

TEST_F(RenderEffectTest, TextureNamesAreCopiesInSlotsOneToNine)
{
    char name[] = "Tex%d";
    render_object_set_texture_name(object, 1, name);
    name[0] = 'X';
    render_object_set_texture_name(object, 1, nullptr);
    EXPECT_STREQ(object->texture_names[1], "Tex%d");
    render_object_set_texture_name(object, 10, "Outside");
    render_object_set_texture_name(object, 0, "Unused");
    EXPECT_EQ(object->texture_names[0], nullptr);
    render_object_free_texture_names(object);
    EXPECT_EQ(object->texture_names[1], nullptr);
}

std::vector<std::string> g_calls;

void hook(const char *which, uint32_t value, int32_t extra)
{
    g_calls.push_back(std::string(which) + " " + std::to_string(value) + " " + std::to_string(extra));
}

TEST_F(RenderEffectTest, HooksRunPerEntryInOrderAndTheFinalOneDecides)
{
    DrawHookTable table = {};
    EXPECT_TRUE(render_run_stage_callbacks(&table, object, 1, 2, 3));
    EXPECT_TRUE(render_run_stage_callbacks(nullptr, object, 1, 2, 3));
    g_calls.clear();
    table.entry_hook1 = [](RenderObject *, uint32_t v, int32_t x) { hook("1", v, x); };
    table.entry_hook2 = [](RenderObject *, uint32_t v, int32_t x) { hook("2", v, x); };
    table.entry_hook4 = [](RenderObject *, uint32_t v, int32_t x) { hook("4", v, x); };
    table.final_hook = [](RenderObject *, int32_t a, int32_t b, int32_t c) {
        hook("final", uint32_t(a), b + c);
        return false;
    };
    table.values[0] = 10;
    table.values[1] = 20;
    table.count = 2;
    EXPECT_FALSE(render_run_stage_callbacks(&table, object, 5, 6, 7));
    const std::vector<std::string> expected = {"1 10 5", "2 10 6", "4 10 6", "1 20 5", "2 20 6", "4 20 6",
                                               "final 5 13"};
    EXPECT_EQ(g_calls, expected);
    // A count beyond the table's values is held to them.
    table.count = 100000;
    table.final_hook = nullptr;
    EXPECT_TRUE(render_run_stage_callbacks(&table, object, 0, 0, 0));
}

}  // namespace
