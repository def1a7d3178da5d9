// The renderer's 2D drawing on OpenGL against the CPU reference: a fixed frame of batch rectangles,
// textured quads and alpha text-like quads; its TGA screenshot equals the back buffer and its
// thumbnail the reference's area average.
#include "codecs/codecs.h"
#include "render/render_draw.h"
#include "render/render_local.h"
#include "tests/gl/gl_test_util.h"
#include "tests/gl/gpu_reference.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

namespace {

// A quad's reference shading: vertex colour times the texture (white without), blended over the
// picture so far when `blend` (source alpha); the pixel's position rides in texcoord 7.
struct QuadShading {
    RefImage *image;
    const GpuTexture *texture;
    bool blend;
};

bool shade_quad(const RefFragment &f, void *user, RefColour *out)
{
    const QuadShading &q = *static_cast<const QuadShading *>(user);
    RefColour t = {1, 1, 1, 1};
    bool edge = false;
    if (q.texture) t = ref_sample(q.texture, 0, f.texcoord[0][0], f.texcoord[0][1], D3DTADDRESS_CLAMP, D3DTADDRESS_CLAMP, 0.05f, &edge);
    RefColour c = {f.diffuse.r * t.r, f.diffuse.g * t.g, f.diffuse.b * t.b, f.diffuse.a * t.a};
    if (q.blend) {
        int x = int(f.texcoord[7][0]), y = int(f.texcoord[7][1]);
        RefColour d = ref_colour(q.image->pixels[size_t(y) * size_t(q.image->width) + size_t(x)]);
        c = RefColour{c.r * c.a + d.r * (1 - c.a), c.g * c.a + d.g * (1 - c.a), c.b * c.a + d.b * (1 - c.a), 1};
    }
    *out = c;
    return !edge;
}

void reference_quad(RefImage *image, float x, float y, float w, float h, RefColour colour, const GpuTexture *texture,
                    bool blend)
{
    RefRect r = {x, y, x + w, y + h, {}, {}, {}};
    RefFragment *corners[3] = {&r.top_left, &r.top_right, &r.bottom_left};
    const float at[3][2] = {{x, y}, {x + w, y}, {x, y + h}}, uv[3][2] = {{0, 0}, {1, 0}, {0, 1}};
    for (int k = 0; k < 3; k++) {
        corners[k]->diffuse = colour;
        corners[k]->texcoord[0][0] = uv[k][0];
        corners[k]->texcoord[0][1] = uv[k][1];
        corners[k]->texcoord[7][0] = at[k][0];
        corners[k]->texcoord[7][1] = at[k][1];
    }
    QuadShading q = {image, texture, blend};
    ref_draw_rect(image, r, shade_quad, &q);
}

class RenderGlTest : public GlTest {
protected:
    RenderContext *context = &g_render_context;
    std::string folder;

    void SetUp() override
    {
        ASSERT_NE(s_window, nullptr);
        render_context_construct(context);
        context->window = s_window;
        context->width = kWidth;
        context->height = kHeight;
        *render_var_ref(context, "W") = 1;  // 32-bit textures
        ASSERT_EQ(render_create_device(context), 1);
        device = context->device;  // read_pixels reads through it
        errors_before = gpu_gl_stats()->errors;
        char pattern[] = "/tmp/render-gl-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override
    {
        std::filesystem::remove_all(folder);
        render_shutdown_device(context);
        render_context_destroy(context);
        EXPECT_EQ(gpu_gl_stats()->errors, errors_before) << "GL reported errors";
        EXPECT_EQ(gpu_live_objects(), 0);
    }
    const GpuTexture *texture_of(int32_t id) { return gpu_texture(context->main_textures.slots[id]->texture); }
};

TEST_F(RenderGlTest, FixedFrameWithItsScreenshotAndThumbnail)
{
    std::mt19937 rng(17);
    std::vector<uint8_t> opaque(8 * 8 * 4), mask(8 * 8 * 4);
    for (size_t i = 0; i < opaque.size(); i++) opaque[i] = i % 4 == 3 ? 255 : uint8_t(rng());
    for (size_t i = 0; i < mask.size(); i++) mask[i] = i % 4 == 3 ? uint8_t(rng() % 2 ? 255 : rng() % 256) : 255;
    texture_create_in_slot(&context->main_textures, 1, 8, 8, opaque.data(), 8, 8, 0);
    texture_create_in_slot(&context->main_textures, 2, 8, 8, mask.data(), 8, 8, kTextureAlpha);
    ASSERT_NE(context->main_textures.slots[1]->texture, nullptr);
    ASSERT_NE(context->main_textures.slots[2]->texture, nullptr);

    ASSERT_TRUE(render_begin_frame(context));
    context->device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x302010, 1.0f, 0);
    RefImage want;
    ref_image_init(&want, kWidth, kHeight, 0x302010);
    // Rectangles of colour, no texture bound.
    render_batch_add_2d_rect(context, 4, 4, 24, 12, 1.0f, 0.5f, 0.25f);
    reference_quad(&want, 4, 4, 24, 12, RefColour{1.0f, 0.5f, 0.25f, 1}, nullptr, false);
    // Textured quads, one texel a pixel, plain and tinted.
    texture_bind(context, 1);
    render_draw_2d_quad(context, 32, 4, 8, 8, 0, 0, 1, 1, 1, 1, 1);
    reference_quad(&want, 32, 4, 8, 8, RefColour{1, 1, 1, 1}, texture_of(1), false);
    render_draw_2d_quad(context, 44, 4, 8, 8, 0, 0, 1, 1, 0.5f, 1.0f, 0.75f);
    reference_quad(&want, 44, 4, 8, 8, RefColour{0.5f, 1.0f, 0.75f, 1}, texture_of(1), false);
    // Alpha text-like quads over what is there, as text is drawn.
    render_set_mode(6, context, 1);
    texture_bind(context, 2);
    for (int i = 0; i < 6; i++) {
        float x = 4.0f + 10.0f * float(i), a = 0.5f + 0.1f * float(i % 5);
        render_draw_2d_quad_rgba(context, x, 10, 8, 8, 0, 0, 1, 1, 1, 1, 0.5f, a);
        reference_quad(&want, x, 10, 8, 8, RefColour{1, 1, 0.5f, a}, texture_of(2), true);
    }
    render_set_mode(6, context, 0);
    texture_bind(context, kRenderNoTexture);
    render_batch_add_2d_rect(context, 16, 32, 32, 24, 0.25f, 0.75f, 1.0f);
    reference_quad(&want, 16, 32, 32, 24, RefColour{0.25f, 0.75f, 1.0f, 1}, nullptr, false);
    render_flush_2d_batch(context);

    std::vector<uint32_t> got = read_pixels();
    int compared = 0;
    for (size_t i = 0; i < got.size(); i++) {
        if (want.skip[i]) continue;
        compared++;
        EXPECT_TRUE(gl_colour_near(got[i], want.pixels[i])) << "at " << i % kWidth << "," << i / kWidth;
    }
    EXPECT_GT(compared, kWidth * kHeight / 2);

    // The screenshot is the back buffer exactly (rows bottom-up, B, G, R).
    std::string base = folder + "/frame";
    ASSERT_EQ(render_save_screenshot_tga(context, base.c_str()), 1);
    std::ifstream file(base + "0000.tga", std::ios::binary);
    std::vector<uint8_t> tga((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_EQ(tga.size(), 18u + size_t(kWidth) * kHeight * 3);
    int different = 0;
    for (int y = 0; y < kHeight; y++)
        for (int x = 0; x < kWidth; x++) {
            const uint8_t *p = tga.data() + 18 + (size_t(kHeight - 1 - y) * kWidth + size_t(x)) * 3;
            uint32_t pixel = uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
            different += pixel != got[size_t(y) * kWidth + size_t(x)];
        }
    EXPECT_EQ(different, 0);

    // The thumbnail: the reference's pixels under each of its cells (64 to 256: one each).
    std::string thumb = folder + "/thumb.png";
    ASSERT_EQ(render_save_thumbnail_png(context, thumb.c_str()), 1);
    ImageData image = {};
    ASSERT_EQ(png_load_file(thumb.c_str(), &image, 0), 1);
    ASSERT_EQ(image.width, 256);
    int beyond = 0;
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            size_t source = size_t(y / 4) * kWidth + size_t(x / 4);
            if (want.skip[source]) continue;
            const uint8_t *p = image.pixels + (size_t(y) * 256 + size_t(x)) * 4;
            uint32_t pixel = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
            beyond += !gl_colour_near(pixel, want.pixels[source]);
        }
    free(image.pixels);
    EXPECT_EQ(beyond, 0);
    render_end_frame(context);
}

TEST_F(RenderGlTest, OneTextureThroughBuiltInOne)
{
    // A 32 x 32 texture drawn one texel a pixel by the draw routine: built-in 1 (the texture
    // times the vertex colour) under identity transforms, so clip space is the screen.
    std::mt19937 rng(23);
    std::vector<uint8_t> pixels(32 * 32 * 4);
    for (size_t i = 0; i < pixels.size(); i++) pixels[i] = i % 4 == 3 ? 255 : uint8_t(rng());
    texture_create_in_slot(&context->main_textures, 1, 32, 32, pixels.data(), 32, 32, 0);
    RenderObject *object = render_object_init(new RenderObject);
    object->flags = 0x87;
    render_object_create_vertex_buffer(object, 4, 6, 0);
    render_object_lock_vertices(object);
    const float corners[4][2] = {{-0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, -0.5f}, {-0.5f, -0.5f}};
    for (int i = 0; i < 4; i++) {
        render_vertex_set_position(object, i, corners[i][0], corners[i][1], 0.5f);
        render_vertex_set_color_argb(object, i, 1.0f, 0.75f, 0.5f, 1.0f);
        render_vertex_set_texcoord0(object, i, float(i == 1 || i == 2), float(i >= 2));
    }
    render_object_unlock_vertices(object);
    ASSERT_TRUE(render_object_lock_indices(object));
    const uint32_t quad[6] = {0, 1, 2, 0, 2, 3};
    for (int i = 0; i < 6; i++) render_object_write_index(object, i, quad[i]);
    render_object_unlock_indices(object);
    object->vertices_in_use = 4;
    object->indices_in_use = 6;

    ASSERT_TRUE(render_begin_frame(context));
    context->device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x102030, 1.0f, 0);
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    for (D3DTRANSFORMSTATETYPE t : {D3DTS_WORLD, D3DTS_VIEW, D3DTS_PROJECTION}) context->device->SetTransform(t, identity);
    render_set_mode(4, context, 5);  // no culling
    texture_bind(context, 1);
    render_set_current_object(context, object);
    render_draw_current_object(context);
    std::vector<uint32_t> got = read_pixels();
    render_end_frame(context);

    RefImage want;
    ref_image_init(&want, kWidth, kHeight, 0x102030);
    reference_quad(&want, 16, 16, 32, 32, RefColour{1.0f, 0.75f, 0.5f, 1}, texture_of(1), false);
    int compared = 0;
    for (size_t i = 0; i < got.size(); i++) {
        if (want.skip[i]) continue;
        compared++;
        EXPECT_TRUE(gl_colour_near(got[i], want.pixels[i])) << "at " << i % kWidth << "," << i / kWidth;
    }
    EXPECT_GT(compared, kWidth * kHeight / 2);
    render_object_free(object);
    delete object;
}

}  // namespace
