// The texture tables: pixel conversions with the format fallbacks, pictures of no size, resampling
// with dither, the front ends and stage 0 binding.
#include "tests/render/render_test_util.h"

#include <vector>

namespace {

class RenderTextureTest : public RenderTest {
protected:
    TextureTable *table = &context->main_textures;

    void SetUp() override
    {
        RenderTest::SetUp();
        make_device(false);
    }

    static std::vector<uint8_t> solid(int32_t width, int32_t height, uint8_t r, uint8_t g, uint8_t b, uint8_t a)
    {
        std::vector<uint8_t> pixels(size_t(width) * size_t(height) * 4);
        for (size_t i = 0; i < pixels.size(); i += 4) {
            pixels[i] = r;
            pixels[i + 1] = g;
            pixels[i + 2] = b;
            pixels[i + 3] = a;
        }
        return pixels;
    }

    // The bits of texel (x, y) of a level as the caller's memory holds them.
    static uint32_t texel(IDirect3DTexture9 *texture, UINT level, int x, int y, int bytes)
    {
        D3DLOCKED_RECT locked;
        if (FAILED(texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY))) return 0xDEADBEEF;
        uint32_t bits = 0;
        memcpy(&bits, static_cast<uint8_t *>(locked.pBits) + y * locked.Pitch + x * bytes, size_t(bytes));
        texture->UnlockRect(level);
        return bits;
    }

    void set_w(int value) { *render_var_ref(context, "W") = value; }

    void draw_with(IDirect3DBaseTexture9 *texture)
    {
        RenderBatchVertex v[3] = {};
        context->device->SetTexture(0, texture);
        context->device->SetFVF(0x144);
        context->device->BeginScene();
        context->device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof v[0]);
        context->device->EndScene();
        context->device->SetTexture(0, nullptr);
    }
};

TEST_F(RenderTextureTest, PixelsBecomeEachFormatWithTheFallbackOrder)
{
    struct Case {
        int w;  // "W", or -666 for missing
        D3DFORMAT refused[2];
        uint8_t options;
        int32_t kind;
        uint32_t white, sample;  // bits of (255, 255, 255, 255) and of (8, 4, 8, 0)
    } cases[] = {
        {0, {}, 0, kPixelR5G6B5, 0xFFFF, 0x0821},
        {0, {D3DFMT_R5G6B5}, 0, kPixelX1R5G5B5, 0x7FFF, 0x0401},
        {0, {D3DFMT_R5G6B5, D3DFMT_X1R5G5B5}, 0, kPixelA4R4G4B4, 0xFFFF, 0x0000},
        {0, {}, kTextureAlpha, kPixelA4R4G4B4, 0xFFFF, 0x0000},
        {1, {}, 0, kPixelX8R8G8B8, 0xFFFFFFFF, 0x00080408},
        {kRenderVarMissing, {}, 0, kPixelX8R8G8B8, 0xFFFFFFFF, 0x00080408},
        {1, {D3DFMT_X8R8G8B8}, 0, kPixelA8R8G8B8, 0xFFFFFFFF, 0x00080408},
        {1, {}, kTextureAlpha, kPixelA8R8G8B8, 0xFFFFFFFF, 0x00080408},
    };
    for (const Case &c : cases) {
        gpu_headless_reset();
        for (D3DFORMAT f : c.refused)
            if (f) gpu_headless_set_format_supported(f, false);
        if (c.w == kRenderVarMissing)
            list_delete(&context->variables, render_var_find(context, "W"));
        else
            set_w(c.w);
        std::vector<uint8_t> pixels = solid(2, 1, 255, 255, 255, 255);
        memcpy(&pixels[4], "\x08\x04\x08\x00", 4);
        texture_create_in_slot(table, 0, 2, 1, pixels.data(), 2, 1, c.options);
        const TextureRecord *record = table->slots[0];
        ASSERT_EQ(record->pixel_kind, c.kind) << c.w;
        int bytes = c.kind < 0 ? 4 : 2;
        EXPECT_EQ(texel(record->texture, 0, 0, 0, bytes), c.white) << c.kind;
        EXPECT_EQ(texel(record->texture, 0, 1, 0, bytes), c.sample) << c.kind;
        render_var_create(context, "W");
    }
    // Every format refused: the slot keeps a record without texture.
    gpu_headless_set_format_supported(D3DFMT_A4R4G4B4, false);
    set_w(0);
    std::vector<uint8_t> pixels = solid(2, 2, 0, 0, 0, 0);
    texture_create_in_slot(table, 1, 2, 2, pixels.data(), 2, 2, kTextureAlpha);
    EXPECT_EQ(table->slots[1]->pixel_kind, kPixelNone16);
    EXPECT_EQ(table->slots[1]->texture, nullptr);
}

TEST_F(RenderTextureTest, PicturesOfNoSizeFailLikeARefusedFormat)
{
    std::vector<uint8_t> pixels = solid(2, 2, 0, 0, 0, 0);
    set_w(1);
    texture_create_in_slot(table, 0, 2, 2, pixels.data(), 0, 2, 0);
    EXPECT_EQ(table->slots[0]->pixel_kind, kPixelNone32);
    texture_create_in_slot(table, 1, 0, 2, pixels.data(), 2, 2, 0);
    EXPECT_EQ(table->slots[1]->pixel_kind, kPixelNone32);
    set_w(0);
    texture_create_in_slot(table, 2, 2, 2, nullptr, 2, 2, 0);
    EXPECT_EQ(table->slots[2]->pixel_kind, kPixelNone16);
    EXPECT_EQ(table->slots[2]->texture, nullptr);
    // Updates of such a record only queue their rectangle.
    const uint8_t rgb[12] = {};
    texture_update_rect_rgb(table->slots[2], 0, 0, 2, 2, rgb);
    EXPECT_EQ(table->slots[2]->dirty.count, 1);
}

TEST_F(RenderTextureTest, TheOrderedDitherWorksOnlyWhileResampling)
{
    set_w(0);
    std::vector<uint8_t> pixels = solid(2, 2, 3, 0, 0, 255);
    texture_create_in_slot(table, 0, 4, 4, pixels.data(), 2, 2, kTextureDither);
    IDirect3DTexture9 *texture = table->slots[0]->texture;
    // Texel (x, y) samples source (x / 2, y / 2): red 3 becomes 8 except on (even row, odd column).
    for (int y = 0; y < 4; y++) {
        for (int x = 0; x < 4; x++) {
            bool even_row_odd_column = (y / 2) % 2 == 0 && (x / 2) % 2 == 1;
            EXPECT_EQ(texel(texture, 0, x, y, 2), even_row_odd_column ? 0u : 0x0800u) << x << "," << y;
        }
    }
    texture_create_in_slot(table, 1, 2, 2, pixels.data(), 2, 2, kTextureDither);
    EXPECT_EQ(texel(table->slots[1]->texture, 0, 1, 0, 2), 0u);
}

TEST_F(RenderTextureTest, FrontEndsApplyTheVariablesAndTheLargestSide)
{
    std::vector<uint8_t> pixels = solid(512, 512, 9, 9, 9, 9);
    *render_var_ref(context, "X") = 1;
    *render_var_ref(context, "Y") = 1;
    *render_var_ref(context, "D") = 256;
    texture_create_from_pixels(context, 0, 800, 512, 512, pixels.data(), 512, 512);
    const TextureRecord *record = table->slots[800];
    EXPECT_EQ(record->width, 256);
    EXPECT_EQ(record->mipmapped, 1u);
    EXPECT_EQ(record->clamp, 1u);
    texture_create_square_from_pixels(context, 801, pixels.data(), 64, 1);
    EXPECT_EQ(table->slots[801]->width, 64);
    int32_t id = texture_create_from_pixels_unclamped(context, pixels.data(), 32, 0);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(table->slots[0]->clamp, 0u);
    EXPECT_EQ(table->slots[0]->mipmapped, 1u);
    *render_var_ref(context, "X") = 0;
    *render_var_ref(context, "Y") = 0;
    texture_create_from_pixels(context, kTextureAlpha, 802, 16, 16, pixels.data(), 16, 16);
    EXPECT_EQ(table->slots[802]->mipmapped, 0u);
    EXPECT_EQ(table->slots[802]->clamp, 0u);
    EXPECT_EQ(table->slots[802]->pixel_kind, kPixelA4R4G4B4);
}

TEST_F(RenderTextureTest, BindingFlushesTheBatchOnAChangeAndFollowsTheRecord)
{
    std::vector<uint8_t> pixels = solid(4, 4, 0, 0, 0, 0);
    texture_create_in_slot(table, 7, 4, 4, pixels.data(), 4, 4, kTextureClamp);
    RenderBatchVertex batch[3] = {};
    free(context->batch);  // the device's own array gives way to the test's
    context->batch = batch;
    ASSERT_TRUE(render_begin_frame(context));
    gpu_headless_clear_draws();
    context->batch_triangles = 1;
    texture_bind(context, 7);
    EXPECT_EQ(gpu_headless_draw_count(), 1);
    EXPECT_EQ(context->bound_texture[0], 7);
    IDirect3DBaseTexture9 *bound = nullptr;
    context->device->GetTexture(0, &bound);
    EXPECT_EQ(bound, table->slots[7]->texture);
    if (bound) bound->Release();
    DWORD state = 0;
    context->device->GetSamplerState(0, D3DSAMP_ADDRESSU, &state);
    EXPECT_EQ(state, DWORD(D3DTADDRESS_CLAMP));
    context->batch_triangles = 1;
    texture_bind(context, 7);  // the same id: no flush
    EXPECT_EQ(gpu_headless_draw_count(), 1);
    context->batch_triangles = 0;

    // Empty and unknown ids bind nothing; explicit states apply while "f" is on.
    for (int32_t id : {100, 5000, -11}) {
        texture_bind(context, id);
        context->device->GetTexture(0, &bound);
        EXPECT_EQ(bound, nullptr) << id;
    }
    TextureSamplerStates states{D3DTADDRESS_WRAP, D3DTADDRESS_CLAMP, D3DTEXF_POINT, D3DTEXF_LINEAR, D3DTEXF_LINEAR};
    texture_bind_with_sampler(context, 7, &states);
    context->device->GetSamplerState(0, D3DSAMP_ADDRESSU, &state);
    EXPECT_EQ(state, DWORD(D3DTADDRESS_WRAP));
    *render_var_ref(context, "f") = 0;
    states.address_u = D3DTADDRESS_CLAMP;
    texture_bind_with_sampler(context, 7, &states);
    context->device->GetSamplerState(0, D3DSAMP_ADDRESSU, &state);
    EXPECT_EQ(state, DWORD(D3DTADDRESS_WRAP));
    render_end_frame(context);
    context->batch = nullptr;
}

}  // namespace
