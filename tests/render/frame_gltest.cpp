// The renderer on OpenGL: a fixed frame of batch rectangles, textured and alpha text-like quads and
// built-in 0 against the CPU reference, its TGA screenshot equal to the back buffer and its
// thumbnail the reference's area average; then pictures of the built-in effects, each against the
// reference (screen-aligned) or against probes computed from the effect's formula.
#include "codecs/codecs.h"
#include "game/menu_pictures.h"
#include "geometry/vecmath.h"
#include "render/render_draw.h"
#include "render/render_local.h"
#include "render/render_mesh.h"
#include "tests/gl/gl_test_util.h"
#include "tests/gl/gpu_reference.h"
#include "tests/render/render_mesh_util.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

namespace {

const float kPi = 3.14159265f;

RefColour sample(const GpuTexture *t, const RefFragment &f, int pair, bool wrap, bool *edge)
{
    D3DTEXTUREADDRESS a = wrap ? D3DTADDRESS_WRAP : D3DTADDRESS_CLAMP;
    return ref_sample(t, 0, f.texcoord[pair][0], f.texcoord[pair][1], a, a, 0.05f, edge);
}

// A screen rectangle shaded by `shade` from its two coordinate pairs, given at three corners
// (top-left, top-right, bottom-left); the pixel's position rides in texcoord 7. False from `shade`
// skips the pixel (near a texel edge).
typedef std::function<bool(const RefFragment &, RefColour *)> RectShader;
bool run_rect_shader(const RefFragment &f, void *user, RefColour *out)
{
    return (*static_cast<const RectShader *>(user))(f, out);
}
void reference_rect(RefImage *image, float x, float y, float w, float h, const float (*uv0)[2], const float (*uv1)[2],
                    const RectShader &shade)
{
    RefRect r = {x, y, x + w, y + h, {}, {}, {}};
    RefFragment *corners[3] = {&r.top_left, &r.top_right, &r.bottom_left};
    const float at[3][2] = {{x, y}, {x + w, y}, {x, y + h}};
    for (int k = 0; k < 3; k++) {
        corners[k]->diffuse = RefColour{1, 1, 1, 1};
        for (int c = 0; c < 2; c++) {
            corners[k]->texcoord[0][c] = uv0[k][c];
            corners[k]->texcoord[1][c] = uv1 ? uv1[k][c] : 0.0f;
            corners[k]->texcoord[7][c] = at[k][c];
        }
    }
    ref_draw_rect(image, r, run_rect_shader, const_cast<RectShader *>(&shade));
}

const float kPair0[3][2] = {{0, 0}, {1, 0}, {0, 1}};

// A quad's reference: `colour` times the texture (white without), blended over the picture so
// far when `blend` (source alpha).
void reference_quad(RefImage *image, float x, float y, float w, float h, RefColour colour, const GpuTexture *texture,
                    bool blend)
{
    reference_rect(image, x, y, w, h, kPair0, nullptr, [=](const RefFragment &f, RefColour *out) {
        RefColour t = {1, 1, 1, 1};
        bool edge = false;
        if (texture) t = sample(texture, f, 0, false, &edge);
        RefColour c = {colour.r * t.r, colour.g * t.g, colour.b * t.b, colour.a * t.a};
        if (blend) {
            size_t at = size_t(f.texcoord[7][1]) * size_t(image->width) + size_t(f.texcoord[7][0]);
            RefColour d = ref_colour(image->pixels[at]);
            c = RefColour{c.r * c.a + d.r * (1 - c.a), c.g * c.a + d.g * (1 - c.a), c.b * c.a + d.b * (1 - c.a), 1};
        }
        *out = c;
        return !edge;
    });
}

// Every pixel the reference does not skip, within 2/255; how many were compared.
int compare_with_reference(const std::vector<uint32_t> &got, const RefImage &want, int width)
{
    int compared = 0;
    for (size_t i = 0; i < got.size(); i++) {
        if (want.skip[i]) continue;
        compared++;
        EXPECT_TRUE(gl_colour_near(got[i], want.pixels[i])) << "at " << i % size_t(width) << "," << i / size_t(width);
    }
    return compared;
}

// The vertices and triangles of an object of the given build flags, written by `fill` (vertex i).
RenderObject *make_object(uint32_t flags, int32_t vertices, const std::vector<uint32_t> &indices,
                          const std::function<void(RenderObject *, int32_t)> &fill)
{
    RenderObject *object = render_object_init(new RenderObject);
    object->flags = flags;
    render_object_create_vertex_buffer(object, vertices, int32_t(indices.size()), 0);
    render_object_lock_vertices(object);
    for (int32_t i = 0; i < vertices; i++) fill(object, i);
    render_object_unlock_vertices(object);
    if (render_object_lock_indices(object)) {
        for (size_t i = 0; i < indices.size(); i++) render_object_write_index(object, int32_t(i), indices[i]);
        render_object_unlock_indices(object);
    }
    object->vertices_in_use = vertices;
    object->indices_in_use = int32_t(indices.size());
    return object;
}
void free_object(RenderObject *object)
{
    render_object_free(object);
    delete object;
}

const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
// Corner k of a quad: 0 top-left, 1 top-right, 2 bottom-right, 3 bottom-left.
const uint32_t kQuadIndices[6] = {0, 1, 2, 0, 2, 3};
// The wide pair 1 runs from -0.5 to 1.5 over a 16 x 16 texture on a 32
// pixel quad (one texel a pixel), so the outer quarter on each side shows the clamped edge texels.
const float kPair1[3][2] = {{-0.5f, -0.5f}, {1.5f, -0.5f}, {-0.5f, 1.5f}};

// A quad over pixels (x, y) .. (x + w, y + h) at depth 0.5 under identity transforms, of colour
// `tint`; pair 1 equals pair 0, or is the wide pair when `wide`.
RenderObject *pixel_quad(uint32_t flags, float x, float y, float w, float h, RefColour tint, bool wide = false)
{
    return make_object(flags, 4, {kQuadIndices, kQuadIndices + 6}, [=](RenderObject *o, int32_t i) {
        float u = float(i == 1 || i == 2), v = float(i >= 2);
        render_vertex_set_position(o, i, (x + u * w) / 32 - 1, 1 - (y + v * h) / 32, 0.5f);
        render_vertex_set_color_argb(o, i, tint.r, tint.g, tint.b, tint.a);
        render_vertex_set_texcoord0(o, i, u, v);
        render_vertex_set_second_texcoord(o, i, wide ? 2 * u - 0.5f : u, wide ? 2 * v - 0.5f : v);
    });
}

// A flat quad of half size 0.25 around the origin in the x-y plane, for the glare built-in.
RenderObject *billboard_quad(RefColour tint)
{
    return make_object(0x87, 4, {kQuadIndices, kQuadIndices + 6}, [=](RenderObject *o, int32_t i) {
        float u = float(i == 1 || i == 2), v = float(i >= 2);
        render_vertex_set_position(o, i, u * 0.5f - 0.25f, v * 0.5f - 0.25f, 0);
        render_vertex_set_color_argb(o, i, tint.r, tint.g, tint.b, tint.a);
        render_vertex_set_texcoord0(o, i, u, v);
    });
}

// A ball of `radius` around `centre`: stacks x slices quads, vertex n of unit normal normals[n].
RenderObject *make_ball(int stacks, int slices, float radius, const float *centre,
                        std::vector<std::array<float, 3>> *normals, std::vector<uint32_t> *indices)
{
    for (int i = 0; i <= stacks; i++)
        for (int j = 0; j <= slices; j++) {
            float t = kPi * float(i) / float(stacks), p = 2 * kPi * float(j) / float(slices);
            normals->push_back({std::sin(t) * std::cos(p), std::cos(t), std::sin(t) * std::sin(p)});
        }
    for (int i = 0; i < stacks; i++)
        for (int j = 0; j < slices; j++) {
            uint32_t a = uint32_t(i * (slices + 1) + j), b = a + 1, c = a + uint32_t(slices) + 1, d = c + 1;
            for (uint32_t k : {a, c, b, b, c, d}) indices->push_back(k);
        }
    return make_object(kRenderNormal, int32_t(normals->size()), *indices, [=](RenderObject *o, int32_t i) {
        const auto &n = (*normals)[size_t(i)];
        render_vertex_set_position(o, i, centre[0] + radius * n[0], centre[1] + radius * n[1],
                                   centre[2] + radius * n[2]);
        render_vertex_set_normal(o, i, n[0], n[1], n[2]);
        render_vertex_set_texcoord0(o, i, 0.5f, 0.5f);
    });
}

std::vector<uint8_t> random_pixels(std::mt19937 *rng, int w, int h, bool random_alpha)
{
    std::vector<uint8_t> pixels(size_t(w) * size_t(h) * 4);
    for (size_t i = 0; i < pixels.size(); i++) pixels[i] = i % 4 == 3 && !random_alpha ? 255 : uint8_t((*rng)());
    return pixels;
}
std::vector<uint8_t> plain_pixels(int size, uint32_t rgb)
{
    std::vector<uint8_t> pixels(size_t(size) * size_t(size) * 4);
    for (size_t i = 0; i < pixels.size(); i += 4)
        pixels[i] = uint8_t(rgb >> 16), pixels[i + 1] = uint8_t(rgb >> 8), pixels[i + 2] = uint8_t(rgb), pixels[i + 3] = 255;
    return pixels;
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
    void make_texture(int32_t id, int size, const std::vector<uint8_t> &pixels, uint32_t flags = 0)
    {
        texture_create_in_slot(&context->main_textures, id, size, size, pixels.data(), size, size, flags);
        ASSERT_NE(context->main_textures.slots[id]->texture, nullptr);
    }
    // A frame cleared to `clear` with identity transforms on the device and no culling.
    bool begin_identity_frame(uint32_t clear)
    {
        if (!render_begin_frame(context)) return false;
        context->device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, clear, 1.0f, 0);
        for (D3DTRANSFORMSTATETYPE t : {D3DTS_WORLD, D3DTS_VIEW, D3DTS_PROJECTION})
            context->device->SetTransform(t, kIdentity);
        render_set_mode(4, context, 5);
        return true;
    }
    // A frame cleared to `clear` seen by the game's camera (its y axis down) from (0, 0, eye_z)
    // towards the origin, drawing additive without depth as the intro does.
    bool begin_intro_frame(uint32_t clear, float eye_z)
    {
        if (!render_begin_frame(context)) return false;
        context->device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, clear, 1.0f, 0);
        render_set_projection(context);
        const float up[3] = {g_up_vector[0], g_up_vector[1], g_up_vector[2]};
        vec3_set(g_up_vector, 0, -1, 0);
        const float eye[3] = {0, 0, eye_z}, target[3] = {0, 0, 0};
        float view[16];
        render_set_view_matrix(context, mat4_look_at(view, eye, target));
        vec3_set(g_up_vector, up[0], up[1], up[2]);
        render_set_mode(1, context, 0);
        render_set_mode(6, context, 18);
        return true;
    }
    void end_intro_modes()
    {
        render_set_mode(6, context, 0);
        render_set_mode(1, context, 1);
    }
    void draw(RenderObject *object)
    {
        render_set_current_object(context, object);
        render_draw_current_object(context);
    }
    std::vector<uint32_t> read_and_end()
    {
        std::vector<uint32_t> got = read_pixels();
        render_end_frame(context);
        return got;
    }
};

TEST_F(RenderGlTest, FixedFrameWithItsScreenshotAndThumbnail)
{
    std::mt19937 rng(17);
    std::vector<uint8_t> mask(8 * 8 * 4);
    for (size_t i = 0; i < mask.size(); i++) mask[i] = i % 4 == 3 ? uint8_t(rng() % 2 ? 255 : rng() % 256) : 255;
    make_texture(1, 8, random_pixels(&rng, 8, 8, false));
    make_texture(2, 8, mask, kTextureAlpha);

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
    // Built-in 0 (the vertex colour) through the draw routine; clip space is the screen.
    for (D3DTRANSFORMSTATETYPE t : {D3DTS_WORLD, D3DTS_VIEW, D3DTS_PROJECTION})
        context->device->SetTransform(t, kIdentity);
    render_set_mode(4, context, 5);
    const RefColour tint = {0.25f, 0.5f, 0.75f, 1};
    RenderObject *coloured = pixel_quad(kRenderDiffuse, 50, 32, 12, 12, tint);
    draw(coloured);
    free_object(coloured);
    reference_quad(&want, 50, 32, 12, 12, tint, nullptr, false);

    std::vector<uint32_t> got = read_pixels();
    EXPECT_GT(compare_with_reference(got, want, kWidth), kWidth * kHeight / 2);

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
            beyond += !gl_colour_near(uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2], want.pixels[source]);
        }
    free(image.pixels);
    EXPECT_EQ(beyond, 0);
    render_end_frame(context);
}

TEST_F(RenderGlTest, OneTextureThroughBuiltInOne)
{
    // A 32 x 32 texture drawn one texel a pixel: built-in 1, the texture times the vertex colour.
    std::mt19937 rng(23);
    make_texture(1, 32, random_pixels(&rng, 32, 32, false));
    const RefColour tint = {1.0f, 0.75f, 0.5f, 1};
    RenderObject *object = pixel_quad(0x87, 16, 16, 32, 32, tint);
    ASSERT_TRUE(begin_identity_frame(0x102030));
    texture_bind(context, 1);
    draw(object);
    std::vector<uint32_t> got = read_and_end();
    RefImage want;
    ref_image_init(&want, kWidth, kHeight, 0x102030);
    reference_quad(&want, 16, 16, 32, 32, tint, texture_of(1), false);
    EXPECT_GT(compare_with_reference(got, want, kWidth), kWidth * kHeight / 2);
    free_object(object);
}

TEST_F(RenderGlTest, TwoTexturesThroughBuiltInTwo)
{
    std::mt19937 rng(29);
    make_texture(1, 32, random_pixels(&rng, 32, 32, false));
    make_texture(0, 16, random_pixels(&rng, 16, 16, true));
    RenderObject *object = pixel_quad(kRenderSecondPair, 16, 16, 32, 32, RefColour{1.0f, 0.75f, 0.5f, 1}, true);
    ASSERT_EQ(object->format, 4);
    ASSERT_TRUE(begin_identity_frame(0x203040));
    texture_bind(context, 1);
    draw(object);
    std::vector<uint32_t> got = read_and_end();

    // The vertex colour is not used.
    RefImage want;
    ref_image_init(&want, kWidth, kHeight, 0x203040);
    const GpuTexture *tex = texture_of(1), *tex2 = texture_of(0);
    reference_rect(&want, 16, 16, 32, 32, kPair0, kPair1, [&](const RefFragment &f, RefColour *out) {
        bool edge = false;
        RefColour a = sample(tex, f, 0, true, &edge), b = sample(tex2, f, 1, false, &edge);
        *out = RefColour{a.r * b.r, a.g * b.g, a.b * b.b, b.a};
        return !edge;
    });
    EXPECT_GT(compare_with_reference(got, want, kWidth), kWidth * kHeight / 2);
    free_object(object);
}

TEST_F(RenderGlTest, LitBallThroughBuiltInThree)
{
    // A ball of radius 0.45 around (0, 0, 0.5) seen along +z through identity transforms, lit by
    // a directional light from the viewer's side and the ambient colour, over a plain texture.
    constexpr int kStacks = 24, kSlices = 32;
    constexpr float kRadius = 0.45f;
    const float centre[3] = {0, 0, 0.5f};
    std::vector<std::array<float, 3>> normals;
    std::vector<uint32_t> indices;
    RenderObject *ball = make_ball(kStacks, kSlices, kRadius, centre, &normals, &indices);
    ASSERT_EQ(ball->format, 5);
    make_texture(1, 4, plain_pixels(4, 0xE699CC));
    const float ambient[3] = {0.2f, 0.15f, 0.1f}, light[3] = {0.9f, 0.8f, 0.7f};
    float towards[3] = {-0.5f, 0.6f, -0.8f};  // from the surface to the light
    float length = std::sqrt(towards[0] * towards[0] + towards[1] * towards[1] + towards[2] * towards[2]);
    for (float &c : towards) c /= length;

    ASSERT_TRUE(begin_identity_frame(0x102030));
    light_set_ambient(context, ambient[0], ambient[1], ambient[2]);
    light_set_directional(context, 0, -towards[0], -towards[1], -towards[2], light[0], light[1], light[2]);
    light_enable(context, 0);
    texture_bind(context, 1);
    draw(ball);
    std::vector<uint32_t> got = read_and_end();

    // Each vertex lit (saturated) as the program does, interpolated over the nearest triangle under
    // the pixel centre, times the texture's colour.
    const RefColour texel = ref_colour(0xE699CC);
    int inside = 0, outside = 0;
    for (int py = 0; py < kHeight; py++)
        for (int px = 0; px < kWidth; px++) {
            float x = (float(px) + 0.5f) / 32 - 1, y = 1 - (float(py) + 0.5f) / 32;
            float r = std::sqrt(x * x + y * y), pixel = 1.0f / 32;
            uint32_t actual = got[size_t(py) * kWidth + size_t(px)];
            if (r > kRadius + pixel) {
                outside++;
                EXPECT_TRUE(gl_colour_near(actual, 0x102030)) << "outside at " << px << "," << py;
                continue;
            }
            if (r > kRadius * std::cos(kPi / kStacks) - pixel) continue;
            float best = 2, colour[3] = {};
            for (size_t f = 0; f + 2 < indices.size(); f += 3) {
                const std::array<float, 3> *v[3] = {&normals[indices[f]], &normals[indices[f + 1]],
                                                    &normals[indices[f + 2]]};
                float ax = (*v[0])[0] * kRadius, ay = (*v[0])[1] * kRadius;
                float bx = (*v[1])[0] * kRadius - ax, by = (*v[1])[1] * kRadius - ay;
                float cx = (*v[2])[0] * kRadius - ax, cy = (*v[2])[1] * kRadius - ay;
                float det = bx * cy - by * cx;
                if (std::fabs(det) < 1e-9f) continue;
                float s = ((x - ax) * cy - (y - ay) * cx) / det, t = (bx * (y - ay) - by * (x - ax)) / det;
                if (s < -1e-4f || t < -1e-4f || s + t > 1 + 1e-4f) continue;
                float w[3] = {1 - s - t, s, t}, z = 0;
                for (int k = 0; k < 3; k++) z += w[k] * (*v[k])[2];
                if (z >= best) continue;
                best = z;
                for (int c = 0; c < 3; c++) colour[c] = 0;
                for (int k = 0; k < 3; k++) {
                    float lit =
                        std::max(0.0f, (*v[k])[0] * towards[0] + (*v[k])[1] * towards[1] + (*v[k])[2] * towards[2]);
                    for (int c = 0; c < 3; c++) colour[c] += w[k] * std::min(1.0f, ambient[c] + light[c] * lit);
                }
            }
            ASSERT_LT(best, 2.0f);
            RefColour want = {colour[0] * texel.r, colour[1] * texel.g, colour[2] * texel.b, 1};
            inside++;
            EXPECT_TRUE(gl_colour_near(actual, ref_pack(want), 4)) << "inside at " << px << "," << py;
        }
    EXPECT_GT(inside, 500);
    EXPECT_GT(outside, 1000);
    free_object(ball);
}

TEST_F(RenderGlTest, GlareBillboardFacesTheCameraFromFourYaws)
{
    // Built-in 4 spreads the corners along the camera's axes, scaled like the world matrix: from
    // every yaw the quad stands square to the screen, 2 x 0.25 each way around its centre.
    std::mt19937 rng(31);
    make_texture(1, 32, random_pixels(&rng, 32, 32, false));
    RenderObject *quad = billboard_quad(RefColour{1.0f, 0.875f, 0.75f, 1.0f});
    RefImage want;
    ref_image_init(&want, kWidth, kHeight, 0x101010);
    const GpuTexture *tex = texture_of(1);
    reference_rect(&want, 16, 16, 32, 32, kPair0, nullptr, [&](const RefFragment &f, RefColour *out) {
        bool edge = false;
        RefColour t = sample(tex, f, 0, true, &edge);
        *out = RefColour{t.r, t.g * 0.875f, t.b * 0.75f, 1};
        return !edge;
    });
    const float world[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1};
    for (float yaw : {0.0f, 1.5707964f, 3.1415927f, 4.712389f}) {
        SCOPED_TRACE(yaw);
        float c = std::cos(yaw), s = std::sin(yaw);
        const float view[16] = {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0.5f, 1};
        ASSERT_TRUE(begin_identity_frame(0x101010));
        render_set_world_matrix(context, world);
        render_set_view_matrix(context, view);
        context->effect_object = context->effects[4];
        texture_bind(context, 1);
        draw(quad);
        context->effect_object = nullptr;
        EXPECT_GT(compare_with_reference(read_and_end(), want, kWidth), kWidth * kHeight / 2);
    }
    free_object(quad);
}

TEST_F(RenderGlTest, LightmapTechniquesZeroTwoThreeGiveOnePicture)
{
    // The lightmapped quad (texture x lightmap x vertex colour) through the ps.1.4 technique, the
    // two-stage one and the two-pass one that multiplies the lightmap into the frame.
    std::mt19937 rng(37);
    make_texture(1, 32, random_pixels(&rng, 32, 32, false));
    std::vector<uint8_t> page = random_pixels(&rng, 16, 16, false);
    texture_create_in_slot(&context->lightmap_textures, 0, 16, 16, page.data(), 16, 16, 0);
    ASSERT_NE(context->lightmap_textures.slots[0], nullptr);
    RenderObject *object = pixel_quad(kRenderLightmap, 16, 16, 32, 32, RefColour{1.0f, 0.75f, 0.5f, 1}, true);
    ASSERT_EQ(object->format, 6);
    list_add_rec30(&object->ranges, RenderDrawRange{0, 6, 0, 4, 1, 0, 0, 0, 0, 0, 0});
    object->has_draw_ranges = 1;
    *render_var_ref(context, "H") = 1;
    *render_var_ref(context, "b") = 0;

    RefImage want;
    ref_image_init(&want, kWidth, kHeight, 0x204060);
    const GpuTexture *tex = texture_of(1), *lightmap = gpu_texture(context->lightmap_textures.slots[0]->texture);
    reference_rect(&want, 16, 16, 32, 32, kPair0, kPair1, [&](const RefFragment &f, RefColour *out) {
        bool edge = false;
        RefColour a = sample(tex, f, 0, true, &edge), b = sample(lightmap, f, 1, false, &edge);
        *out = RefColour{a.r * b.r, a.g * b.g * 0.75f, a.b * b.b * 0.5f, 1};
        return !edge;
    });
    // T0 on a device with pixel shader 1.4; with "a" set, T2 with two stages, T3 without.
    const uint8_t multitexture = g_render_cap_multitexture;
    for (const char *technique : {"T0", "T2", "T3"}) {
        SCOPED_TRACE(technique);
        *render_var_ref(context, "a") = technique[1] != '0';
        g_render_cap_multitexture = technique[1] != '3';
        ASSERT_TRUE(begin_identity_frame(0x204060));
        draw(object);
        EXPECT_EQ(context->effects[6]->GetCurrentTechnique(), context->effects[6]->GetTechniqueByName(technique));
        EXPECT_GT(compare_with_reference(read_and_end(), want, kWidth), kWidth * kHeight / 2);
    }
    g_render_cap_multitexture = multitexture;
    free_object(object);
}

// A box of the given corners (corner i takes `high` on the axes of its bits) as a mesh whose
// faces wind as the builders expect: the cross product of the first two edges points outward.
MeshObject *box_mesh(const float *low, const float *high)
{
    std::vector<std::array<float, 3>> positions;
    for (int i = 0; i < 8; i++)
        positions.push_back({i & 1 ? high[0] : low[0], i & 2 ? high[1] : low[1], i & 4 ? high[2] : low[2]});
    return render_test_mesh(positions, {{0, 3, 1}, {0, 2, 3}, {4, 7, 6}, {4, 5, 7}, {0, 5, 4}, {0, 1, 5},
                                        {2, 7, 3}, {2, 6, 7}, {0, 6, 2}, {0, 4, 6}, {1, 7, 5}, {1, 3, 7}});
}

TEST_F(RenderGlTest, VolumeDarkensTheSameAfterOneAndTwoStencilPasses)
{
    // A box from z 0.3 to 0.6 over the centre square (pixels 24 to 40), the light travelling
    // along +z: its volume is the square from z 0.3 on (the far side is pushed past the far
    // plane). A receiver at z 0.5 on the left and one at z 0.2 at the top (in front of the
    // volume); built-in 5 then halves the colour wherever a volume counted.
    const float low[3] = {-0.25f, -0.25f, 0.3f}, high[3] = {0.25f, 0.25f, 0.6f};
    MeshObject *mesh = box_mesh(low, high);
    RenderObject *volume = render_object_init(new RenderObject);
    render_build_shadow_volume(volume, mesh, kRenderNormal);
    ASSERT_EQ(volume->format, 5);
    RenderObject *darkening =
        make_object(kRenderDiffuse, 4, {kQuadIndices, kQuadIndices + 6}, [](RenderObject *o, int32_t i) {
            render_vertex_set_position(o, i, i == 1 || i == 2 ? 1.0f : -1.0f, i >= 2 ? -1.0f : 1.0f, 0.5f);
            render_vertex_set_color_argb(o, i, 1, 1, 1, 1);
        });
    const uint32_t clear = 0x4080C0, left = 0xC08040, top = 0x40C080;
    auto expected = [&](int x, int y) {
        uint32_t base = y >= 8 && y < 30 && x >= 8 && x < 56   ? top
                        : x >= 8 && x < 32 && y >= 8 && y < 56 ? left
                                                               : clear;
        bool shadowed = base != top && x >= 24 && x < 40 && y >= 24 && y < 40;
        return shadowed ? (base >> 1) & 0x7F7F7F : base;
    };
    std::vector<uint32_t> pictures[2];
    for (int technique = 0; technique < 2; technique++) {
        SCOPED_TRACE(technique);
        *render_var_ref(context, "c") = technique;  // the technique after "T(c - 1)", or the first
        ASSERT_TRUE(begin_identity_frame(clear));
        render_set_view_matrix(context, kIdentity);  // screen y downward, as the game's views
        light_set_directional(context, 0, 0, 0, 1, 1, 1, 1);
        light_enable(context, 0);
        device->SetTexture(0, nullptr);
        draw_screen_quad(8, 8, 32, 56, left, 0.5f);
        draw_screen_quad(8, 8, 56, 30, top, 0.2f);
        context->effect_object = context->effects[8];
        draw(volume);
        EXPECT_EQ(context->effects[8]->GetCurrentTechnique(),
                  context->effects[8]->GetTechniqueByName(technique ? "T1" : "T0"));
        const float alpha[4] = {0.5f, 0, 0, 0};
        context->effects[5]->SetVector("SHADOWALPHA", alpha);
        context->effect_object = context->effects[5];
        draw(darkening);
        context->effect_object = nullptr;
        pictures[technique] = read_pixels();
        render_end_frame(context);
        int compared = 0;
        for (int y = 0; y < kHeight; y++)
            for (int x = 0; x < kWidth; x++) {
                bool edge = false;
                for (int e : {8, 24, 30, 32, 40, 56}) edge |= std::abs(x - e) <= 1 || std::abs(y - e) <= 1;
                if (edge) continue;
                compared++;
                EXPECT_TRUE(gl_colour_near(pictures[technique][size_t(y) * kWidth + size_t(x)], expected(x, y)))
                    << "at " << x << "," << y;
            }
        EXPECT_GT(compared, kWidth * kHeight / 2);
    }
    int different = 0;
    for (size_t i = 0; i < pictures[0].size(); i++) different += !gl_colour_near(pictures[0][i], pictures[1][i]);
    EXPECT_EQ(different, 0);
    free_object(darkening);
    free_object(volume);
    mesh_delete(mesh);
}

TEST_F(RenderGlTest, FlareDiscAsTheIntroDrawsIt)
{
    // The menu's unit disc (a fan around a centre vertex, transparent rim) scaled to radius 1.5,
    // 2 ahead of the game's camera, drawn as the intro draws its flare: additive, depth off, wrap
    // off. Its fan winds clockwise in the x-y plane, so the game's camera (y down, half a turn)
    // sees its back: culling mode 4 = 1 drops it whole and only mode 4 = 5 shows it. There a
    // pixel adds w^2 (centre colour x alpha), w the centre's weight in its fan triangle: colour
    // and alpha both fade with it.
    menu_disc_mesh_build();
    ASSERT_NE(g_menu_disc, nullptr);
    const float centre[4] = {0.8f, 0.9f, 1.0f, 0.75f};
    render_object_lock_vertices(g_menu_disc);
    render_vertex_set_color_argb(g_menu_disc, 0, centre[0], centre[1], centre[2], centre[3]);
    render_object_unlock_vertices(g_menu_disc);
    make_texture(1, 16, plain_pixels(16, 0xFFFFFF));
    const uint32_t background = 0x201008;
    const float radius = 1.5f, depth = 2.0f;
    std::vector<uint32_t> got;
    for (int32_t culling : {1, 5}) {
        ASSERT_TRUE(begin_intro_frame(background, -depth));
        const float world[16] = {radius, 0, 0, 0, 0, radius, 0, 0, 0, 0, radius, 0, 0, 0, 0, 1};
        render_set_world_matrix(context, world);
        render_set_mode(4, context, culling);
        render_set_mode(5, context, 0);
        texture_bind(context, 1);
        draw(g_menu_disc);
        end_intro_modes();
        got = read_and_end();
        if (culling == 1) {
            int drawn = 0;
            for (uint32_t pixel : got) drawn += pixel != background;
            EXPECT_EQ(drawn, 0);
        }
    }

    const float *p = context->projection_matrix;
    const float pi = kPi;
    float rim = 32 * p[0] * radius / depth;  // pixels
    ASSERT_GT(rim, 12.0f);
    RefColour base = ref_colour(background);
    int inside = 0, outside = 0;
    for (int py = 0; py < kHeight; py++)
        for (int px = 0; px < kWidth; px++) {
            // The point of the disc's plane under the pixel centre, in disc units: the view (y
            // down, turned half a turn) leaves world x mirrored on the screen.
            float x = -((float(px) + 0.5f) / 32 - 1) * depth / p[0] / radius;
            float y = (1 - (float(py) + 0.5f) / 32) * depth / p[5] / radius;
            float r = std::sqrt(x * x + y * y), angle = std::atan2(y, x);
            uint32_t actual = got[size_t(py) * kWidth + size_t(px)];
            if (r * rim > rim + 1) {
                outside++;
                EXPECT_TRUE(gl_colour_near(actual, background)) << "outside at " << px << "," << py;
                continue;
            }
            if (r * rim > rim * std::cos(pi / 32) - 1) continue;
            float sector = std::floor((angle < 0 ? angle + 2 * pi : angle) / (pi / 16));
            float middle = (sector + 0.5f) * pi / 16;
            float w = 1 - r * std::cos(angle - middle) / std::cos(pi / 32);
            RefColour want = base;
            want.r = std::min(1.0f, base.r + w * w * centre[0] * centre[3]);
            want.g = std::min(1.0f, base.g + w * w * centre[1] * centre[3]);
            want.b = std::min(1.0f, base.b + w * w * centre[2] * centre[3]);
            inside++;
            EXPECT_TRUE(gl_colour_near(actual, ref_pack(want), 4)) << "inside at " << px << "," << py;
        }
    EXPECT_GT(inside, 400);
    EXPECT_GT(outside, 1000);
    menu_pictures_free();
}

TEST_F(RenderGlTest, BoltRibbonSeenFromBothSides)
{
    // A ribbon of eight quads from x -0.5 to 1.75 (half height 0.5) at z 0, drawn face by face
    // through the 3D triangle operation as the intro draws a bolt: additive, depth off, no
    // culling, world identity. The game's camera 2 away looks at it from the front and from
    // behind; each time the rectangle its corners project to adds texture x colour x alpha.
    constexpr int kSegments = 8;
    MeshVertex corners[2 * (kSegments + 1)] = {};
    for (int k = 0; k <= kSegments; k++)
        for (int side = 0; side < 2; side++) {
            float *p = corners[2 * k + side].position;
            vec3_set(p, -0.5f + 2.25f * float(k) / kSegments, side ? -0.5f : 0.5f, 0);
        }
    MeshFace faces[2 * kSegments] = {};
    for (int k = 0; k < kSegments; k++) {
        MeshVertex *a = &corners[2 * k], *b = &corners[2 * k + 1], *c = &corners[2 * k + 2], *d = &corners[2 * k + 3];
        MeshVertex *tri[2][3] = {{a, c, b}, {b, c, d}};
        for (int t = 0; t < 2; t++) {
            MeshFace &f = faces[2 * k + t];
            for (int i = 0; i < 3; i++) f.corner[i] = tri[t][i];
            f.color[0] = f.color[1] = f.color[2] = 1;
            f.color[3] = 0.75f;
        }
    }
    make_texture(1, 16, plain_pixels(16, 0xFF8040));
    const uint32_t background = 0x102040;
    const RefColour base = ref_colour(background), thunder = ref_colour(0xFF8040);
    const uint32_t lit =
        ref_pack(RefColour{std::min(1.0f, base.r + 0.75f * thunder.r), std::min(1.0f, base.g + 0.75f * thunder.g),
                           std::min(1.0f, base.b + 0.75f * thunder.b), 1});
    for (float side : {-2.0f, 2.0f}) {
        SCOPED_TRACE(side);
        ASSERT_TRUE(begin_intro_frame(background, side));
        render_set_world_matrix(context, kIdentity);
        render_set_mode(4, context, 5);
        texture_bind(context, 1);
        for (const MeshFace &f : faces) render_draw_3d_triangle(context, &f);
        end_intro_modes();
        float device_view[16], projection[16], clip[16];
        context->device->GetTransform(D3DTS_VIEW, device_view);
        context->device->GetTransform(D3DTS_PROJECTION, projection);
        D3DXMatrixMultiply(clip, device_view, projection);
        std::vector<uint32_t> got = read_and_end();

        // The screen rectangle of the ribbon's corners.
        float x0 = 1e9f, x1 = -1e9f, y0 = 1e9f, y1 = -1e9f;
        for (const MeshVertex &v : corners) {
            const float *p = v.position;
            float h[4];
            for (int j = 0; j < 4; j++) h[j] = p[0] * clip[j] + p[1] * clip[4 + j] + p[2] * clip[8 + j] + clip[12 + j];
            float sx = (h[0] / h[3] + 1) * 32, sy = (1 - h[1] / h[3]) * 32;
            x0 = std::min(x0, sx), x1 = std::max(x1, sx), y0 = std::min(y0, sy), y1 = std::max(y1, sy);
        }
        ASSERT_GT(x1 - x0, 16.0f);
        int inside = 0, outside = 0;
        for (int py = 0; py < kHeight; py++)
            for (int px = 0; px < kWidth; px++) {
                float cx = float(px) + 0.5f, cy = float(py) + 0.5f;
                uint32_t actual = got[size_t(py) * kWidth + size_t(px)];
                if (cx > x0 + 1 && cx < x1 - 1 && cy > y0 + 1 && cy < y1 - 1) {
                    inside++;
                    EXPECT_TRUE(gl_colour_near(actual, lit, 4)) << "inside at " << px << "," << py;
                } else if (cx < x0 - 1 || cx > x1 + 1 || cy < y0 - 1 || cy > y1 + 1) {
                    outside++;
                    EXPECT_TRUE(gl_colour_near(actual, background, 4)) << "outside at " << px << "," << py;
                }
            }
        EXPECT_GT(inside, 200);
        EXPECT_GT(outside, 1000);
    }
}

// What the hole view's callback record last saw of a range: its texture ids as the range holds them.
int32_t g_hook_ids[3] = {-1, -1, -1};
bool record_hook_ids(RenderObject *, int32_t a, int32_t b, int32_t c)
{
    g_hook_ids[0] = a, g_hook_ids[1] = b, g_hook_ids[2] = c;
    return true;
}

TEST_F(RenderGlTest, SyntheticHoleViewFrame)
{
    // One frame under identity transforms, a quarter each: an editor object (built-in 1) top left;
    // a receiver (built-in 2) top right, its range's texture 3 drawn as 643 (offset 640) times the
    // shadow texture 1200, through a callback record that sees the range's own ids; the glare
    // billboard (built-in 4) bottom left; the ball (built-in 3, ambient white) bottom right; then
    // alpha text-like quads across the top two.
    std::mt19937 rng(41);
    for (int32_t id : {5, 643, 1200, 6}) make_texture(id, 32, random_pixels(&rng, 32, 32, false));
    make_texture(7, 4, plain_pixels(4, 0xF0E6C8));
    make_texture(8, 8, random_pixels(&rng, 8, 8, true), kTextureAlpha);
    const RefColour white = {1, 1, 1, 1};
    RenderObject *editor_object = pixel_quad(0x87, 0, 0, 32, 32, white);
    RenderObject *receiver = pixel_quad(kRenderSecondPair, 32, 0, 32, 32, white);
    list_add_rec30(&receiver->ranges, RenderDrawRange{0, 6, 0, 4, 3, 1200, 0xFFFF, 0, 0, 0, 0});
    receiver->has_draw_ranges = 1;
    RenderObject *billboard = billboard_quad(white);
    constexpr int kSlices = 16;
    const float ball_centre[3] = {0.5f, -0.5f, 0.5f};  // 12 pixels around (48, 48)
    std::vector<std::array<float, 3>> normals;
    std::vector<uint32_t> ball_indices;
    RenderObject *ball = make_ball(12, kSlices, 0.375f, ball_centre, &normals, &ball_indices);

    const uint32_t background = 0x183048;
    ASSERT_TRUE(begin_identity_frame(background));
    light_set_ambient(context, 1, 1, 1);
    texture_bind(context, 5);
    draw(editor_object);
    DrawHookTable hooks = {};
    hooks.final_hook = record_hook_ids;
    context->draw_hooks = &hooks;
    context->texture_id_offset = 640;
    draw(receiver);
    context->texture_id_offset = 0;
    context->draw_hooks = nullptr;
    const float glare_world[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, -0.5f, -0.5f, 0.5f, 1};
    context->device->SetTransform(D3DTS_WORLD, glare_world);
    context->effect_object = context->effects[4];
    texture_bind(context, 6);
    draw(billboard);
    context->effect_object = nullptr;
    context->device->SetTransform(D3DTS_WORLD, kIdentity);
    texture_bind(context, 7);
    draw(ball);
    render_set_mode(6, context, 1);
    texture_bind(context, 8);
    for (int i = 0; i < 6; i++)
        render_draw_2d_quad_rgba(context, 4.0f + 10.0f * float(i), 12, 8, 8, 0, 0, 1, 1, 1, 1, 1, 0.6f);
    render_set_mode(6, context, 0);
    render_flush_2d_batch(context);
    std::vector<uint32_t> got = read_and_end();
    EXPECT_EQ(g_hook_ids[0], 3);
    EXPECT_EQ(g_hook_ids[1], 1200);

    RefImage want;
    ref_image_init(&want, kWidth, kHeight, background);
    const GpuTexture *editor_texture = texture_of(5), *ground_texture = texture_of(643),
                     *shadow_texture = texture_of(1200), *glare_texture = texture_of(6);
    reference_rect(&want, 0, 0, 32, 32, kPair0, nullptr, [&](const RefFragment &f, RefColour *out) {
        bool edge = false;
        *out = sample(editor_texture, f, 0, false, &edge);
        return !edge;
    });
    reference_rect(&want, 32, 0, 32, 32, kPair0, kPair0, [&](const RefFragment &f, RefColour *out) {
        bool edge = false;
        RefColour a = sample(ground_texture, f, 0, false, &edge), b = sample(shadow_texture, f, 1, false, &edge);
        *out = RefColour{a.r * b.r, a.g * b.g, a.b * b.b, 1};
        return !edge;
    });
    // The billboard's corners keep world up on screen: texture v grows upward.
    const float flipped[3][2] = {{0, 1}, {1, 1}, {0, 0}};
    reference_rect(&want, 0, 32, 32, 32, flipped, nullptr, [&](const RefFragment &f, RefColour *out) {
        bool edge = false;
        *out = sample(glare_texture, f, 0, false, &edge);
        return !edge;
    });
    for (int i = 0; i < 6; i++)
        reference_quad(&want, 4.0f + 10.0f * float(i), 12, 8, 8, RefColour{1, 1, 1, 0.6f}, texture_of(8), true);
    int compared = 0, ball_inside = 0;
    for (int y = 0; y < kHeight; y++)
        for (int x = 0; x < kWidth; x++) {
            float r = std::hypot(float(x) + 0.5f - 48, float(y) + 0.5f - 48);
            size_t at = size_t(y) * kWidth + size_t(x);
            if (r < 12 * std::cos(kPi / kSlices) - 1) {
                ball_inside++;
                EXPECT_TRUE(gl_colour_near(got[at], 0xF0E6C8, 4)) << "ball at " << x << "," << y;
            } else if (r > 13 && !want.skip[at]) {
                compared++;
                EXPECT_TRUE(gl_colour_near(got[at], want.pixels[at])) << "at " << x << "," << y;
            }
        }
    EXPECT_GT(ball_inside, 300);
    EXPECT_GT(compared, kWidth * kHeight / 2);
    for (RenderObject *o : {editor_object, receiver, billboard, ball}) free_object(o);
}

}  // namespace
