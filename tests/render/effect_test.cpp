// Effect parameters and bindings of render objects: sampler states from the records, render
// textures, the six captured references and texture names.
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

}  // namespace
