// The hole view on the headless device: box visibility under fixed matrices, the sky and horizon
// tints and where the horizon fill stands, the play view's split of the objects by whether they
// hide the ball, the plants' level of detail, and the shadow receivers' draw (skips, render modes,
// the draw hook and its sway).
#include "course/hole_view.h"
#include "course/hole.h"
#include "game/files.h"
#include "render/render_draw.h"
#include "tests/course/course_test_util.h"
#include "tests/test_util.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace {

struct HoleView : ::testing::Test {
    TestFolders folders;  // the renderer's log goes there
    SceneTestDevice device;
    SceneWorld *world = &g_hole_world;
    RenderContext *context = &g_render_context;
    const int32_t old_drawing = g_option_hole_drawing, old_variant = g_option_hole_variant;

    void SetUp() override
    {
        world_release_and_reset(world);
        world->renderer = context;
        g_current_block = -1;
        g_draw_plants = 1;
        ASSERT_TRUE(render_begin_frame(context));  // the device records draws inside a frame
        gpu_headless_clear_draws();
    }
    // The camera and projection of the horizon tests, render mode 1 set.
    void look_across_the_green()
    {
        render_set_projection(context);
        vec3_set(g_camera_eye, 3, -2, 1);
        vec3_set(g_camera_target, 0, 0, 10);
        float view[16];
        render_set_view_matrix(context, mat4_look_at(view, g_camera_eye, g_camera_target));
        render_set_mode(1, context, 1);
    }
    void TearDown() override
    {
        render_end_frame(context);
        world_release_and_reset(world);
        world_release_effects(world);
        g_option_hole_drawing = old_drawing;
        g_option_hole_variant = old_variant;
        g_current_block = -1;
    }
    // An object whose world bounds are `b` and nothing else; its index.
    int32_t box(const float (&b)[6])
    {
        MeshObject *o = mesh_new();
        memcpy(o->bounds, b, sizeof o->bounds);
        return scene_add_object(world, o);
    }
    // A flat-shaded box block of one texture standing at (x, 0, z), 2 x `height` x 2, world bounds
    // computed.
    int32_t block(float x, float z, float height = 2.0f)
    {
        MeshObject *b = scene_test_make_block("BLOC", 2.0f, height, 2.0f);
        for (int32_t f = 0; f < b->face_count; f++) b->faces[f].texture_id = 1;  // one draw range
        vec3_set(b->position, x, 0.0f, z);
        const int32_t i = scene_add_object(world, b);
        scene_set_render_object(world, i, course_mesh_shade_and_build(b, 0));
        world_compute_object_bounds(world);
        return i;
    }
    // A receiver of one face group (face texture 3, shadow texture of plant 0) for object i, built
    // as g_option_hole_drawing builds them.
    void receiver(int32_t i)
    {
        if (RenderObject *old = world->shadow_receivers[i]) {
            render_object_free(old);
            delete old;
        }
        RenderObject *r = render_object_init(new RenderObject());
        r->context = context;
        r->device = context->device;
        r->flags = g_option_hole_drawing ? kHoleReceiverFlagsDetailed : kHoleReceiverFlagsSimple;
        render_object_create_vertex_buffer(r, 3, 3, 0);
        if (render_object_lock_indices(r)) {
            for (uint32_t k = 0; k < 3; k++) r->locked_indices[k] = k;
            render_object_unlock_indices(r);
        }
        r->vertices_in_use = 3;
        r->indices_in_use = 3;
        ListNode<RenderDrawRange> *group = list_link_last(&r->ranges, new ListNode<RenderDrawRange>{});
        group->value = RenderDrawRange{};
        group->value.end_index = 3;
        group->value.vertex_end = 3;
        group->value.texture1 = 3;
        group->value.texture2 = uint16_t(SCENE_SHADOW_TEXTURE_BASE);
        group->value.lightmap_page1 = 0xFFFF;
        world->shadow_receivers[i] = r;
    }
    static int indexed_draws()
    {
        int n = 0;
        for (int k = 0; k < gpu_headless_draw_count(); k++) n += gpu_headless_draw(k)->indexed;
        return n;
    }
    // Indexed draws whose world matrix places them at x.
    static int draws_at(float x)
    {
        int n = 0;
        for (int k = 0; k < gpu_headless_draw_count(); k++) {
            const GpuDrawRecord *d = gpu_headless_draw(k);
            n += d->indexed && std::fabs(d->world[12] - x) < 1e-4f;
        }
        return n;
    }
};

// The colour word and position of vertex v of an immediate 3D draw (x, y, z, colour, u, v).
uint32_t vertex_colour(const GpuDrawRecord *d, int v)
{
    uint32_t colour;
    memcpy(&colour, d->user_vertices.data() + 24 * v + 12, 4);
    return colour;
}

void vertex_position(const GpuDrawRecord *d, int v, float *p) { memcpy(p, d->user_vertices.data() + 24 * v, 12); }

}  // namespace

TEST_F(HoleView, BoxVisibilityUnderFixedMatrices)
{
    // Eye at the origin looking along +z; screen x = x / z and y = y / z; near plane 0.5.
    float *v = context->view_matrix, *p = context->projection_matrix;
    mat4_identity(v);
    memset(p, 0, 16 * sizeof(float));
    p[0] = p[5] = p[11] = 1.0f;
    p[10] = 300.0f / 299.5f;
    p[14] = -0.5f * 300.0f / 299.5f;
    context->near_plane = 0.5f;
    const struct {
        const char *what;
        float bounds[6];  // xmin, xmax, ymin, ymax, zmin, zmax
        bool visible;
    } cases[] = {
        {"ahead, on screen", {-1, 1, -1, 1, 5, 7}, true},
        {"behind the eye", {-1, 1, -1, 1, -7, -5}, false},
        {"all corners on the near plane count as behind", {-1, 1, -1, 1, 0.5f, 0.5f}, false},
        {"150 ahead", {-1, 1, -1, 1, 150, 152}, false},
        {"partly nearer than 150", {-1, 1, -1, 1, 149, 151}, true},
        {"straddling left to right, above the top edge", {-10, 10, 5, 6, 2, 3}, false},
        {"straddling top to bottom, beyond the right edge", {4, 5, -10, 10, 2, 3}, false},
        {"one face reaching onto the screen", {-10, 10, 0.5f, 6, 2, 3}, true},
        {"around the eye: corners behind stand at the middle", {-1, 1, -1, 1, -2, 4}, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        world_release_and_reset(world);
        world->renderer = context;
        EXPECT_EQ(hole_view_box_visible(box(c.bounds)), c.visible);
    }
    EXPECT_FALSE(hole_view_box_visible(-1));
    EXPECT_FALSE(hole_view_box_visible(world->object_count));
}

TEST_F(HoleView, SkyAndHorizonTintsFromTheFirstLightColour)
{
    const struct {
        const char *what;
        float ambient[3];
        uint32_t sky;  // packed ARGB of the sky's vertices
        int32_t horizon[3];
    } cases[] = {
        {"black", {0, 0, 0}, 0xFF191919u, {15, 15, 15}},
        {"blue, capped", {0, 0, 0.5f}, 0xFF1919FFu, {15, 15, 100}},
        {"grey", {0.3f, 0.3f, 0.3f}, 0xFFACACD8u, {72, 72, 90}},
    };
    render_set_projection(context);
    float view[16];
    render_set_view_matrix(context, mat4_identity(view));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        memcpy(world->ambient_colour, c.ambient, sizeof c.ambient);
        world->light_colour[0] = 1.0f;  // the second colour tints nothing
        gpu_headless_clear_draws();
        hole_view_draw_sky();
        ASSERT_EQ(gpu_headless_draw_count(), 20);
        for (int k = 0; k < 20; k++) EXPECT_EQ(vertex_colour(gpu_headless_draw(k), 0), c.sky) << k;

        gpu_headless_clear_draws();
        hole_view_fill_horizon(float(context->width), float(context->height), 60.0f);
        EXPECT_EQ(g_horizon_tint[0], c.horizon[0]);
        EXPECT_EQ(g_horizon_tint[1], c.horizon[1]);
        EXPECT_EQ(g_horizon_tint[2], c.horizon[2]);
        ASSERT_EQ(gpu_headless_draw_count(), 1);
        const uint32_t fill = vertex_colour(gpu_headless_draw(0), 0);
        EXPECT_EQ(fill >> 16 & 255, uint32_t(float(c.horizon[0]) * 0.01f * 255.0f));
        EXPECT_EQ(fill & 255, uint32_t(float(c.horizon[2]) * 0.01f * 255.0f));
    }
}

TEST_F(HoleView, TheHorizonFillCoversTheScreenAtItsDepthWithoutWritingDepth)
{
    look_across_the_green();
    hole_view_fill_horizon(float(context->width), float(context->height), 60.0f);
    ASSERT_EQ(gpu_headless_draw_count(), 1);
    const GpuDrawRecord *d = gpu_headless_draw(0);
    EXPECT_EQ(d->render_states[D3DRS_ZENABLE], 1u);
    EXPECT_EQ(d->render_states[D3DRS_ZWRITEENABLE], 0u);
    EXPECT_EQ(d->render_states[D3DRS_ALPHABLENDENABLE], 1u);
    // Every vertex at view depth 60 and on a corner of the screen.
    for (int k = 0; k < 6; k++) {
        SCOPED_TRACE(k);
        float q[3], eye_space[3];
        vertex_position(d, k, q);
        mat4_transform_point(q, d->world, q);
        mat4_transform_point(eye_space, d->view, q);
        EXPECT_NEAR(eye_space[2], 60.0f, 1e-3f);
        mat4_transform_project(d->projection, eye_space);
        EXPECT_NEAR(std::fabs(eye_space[0]), 1.0f, 1e-4f);
        EXPECT_NEAR(std::fabs(eye_space[1]), 1.0f, 1e-4f);
    }
    EXPECT_EQ(context->mode_value[1], 1);  // given back
}

// The view depth of an immediate 3D draw's first vertex.
float view_depth(const GpuDrawRecord *d)
{
    float q[3], eye_space[3];
    vertex_position(d, 0, q);
    mat4_transform_point(q, d->world, q);
    mat4_transform_point(eye_space, d->view, q);
    return eye_space[2];
}

// The haze stands for the twenty horizon fills from 60 on: a linear fog by view depth in the
// horizon colour over the hole's objects that reach 60 ahead (nearer ones would take none of it),
// never over the sky, off again after the view and while the haze is switched off.
TEST_F(HoleView, TheHazeIsAFogByViewDepthOverTheFarHoleNotTheSky)
{
    look_across_the_green();
    vec3_set(world->ambient_colour, 0.0f, 0.0f, 0.0f);  // the horizon at 15 %: 38 of 255
    block(0.0f, 10.0f);
    block(0.0f, 80.0f);
    auto as_float = [](DWORD bits) {
        float f;
        memcpy(&f, &bits, 4);
        return f;
    };
    for (int32_t haze : {1, 0}) {
        SCOPED_TRACE(haze);
        g_hole_view_haze = uint8_t(haze);
        gpu_headless_clear_draws();
        hole_view_draw(1, -1);
        g_hole_view_haze = 1;
        int sky = 0, near = 0, far = 0;
        for (int k = 0; k < gpu_headless_draw_count(); k++) {
            const GpuDrawRecord *d = gpu_headless_draw(k);
            const DWORD fog = d->render_states[D3DRS_FOGENABLE];
            if (!d->indexed) {
                sky++;
                EXPECT_EQ(fog, 0u) << "sky panel " << k;
            } else if (d->world[14] < 50.0f) {
                near++;
                EXPECT_EQ(fog, 0u) << "near block draw " << k;
            } else {
                far++;
                EXPECT_EQ(fog, DWORD(haze)) << "far block draw " << k;
                if (!haze) continue;
                EXPECT_EQ(d->render_states[D3DRS_FOGTABLEMODE], DWORD(D3DFOG_LINEAR));
                EXPECT_FLOAT_EQ(as_float(d->render_states[D3DRS_FOGSTART]), 60.0f);
                EXPECT_FLOAT_EQ(as_float(d->render_states[D3DRS_FOGEND]), 800.0f);
                EXPECT_EQ(d->render_states[D3DRS_FOGCOLOR] & 0xFFFFFFu, 0x262626u);
            }
        }
        EXPECT_EQ(sky, haze ? 20 : 0);  // the sky once, not again over fills
        EXPECT_GT(near, 0);
        EXPECT_GT(far, 0);
        DWORD after = 1;
        context->device->GetRenderState(D3DRS_FOGENABLE, &after);
        EXPECT_EQ(after, 0u) << "the fog outlives the view";
    }
}

// The hole's blocks are drawn before the GROUND tiles (the first 225 objects), and the tiles with a
// strict depth test, so that a tile level with a block's face leaves the block's pixels.
TEST_F(HoleView, BlocksAreDrawnBeforeTheGroundWhichTestsDepthStrictly)
{
    look_across_the_green();
    for (int32_t i = 0; i < kPlayFirstHoleObject - 1; i++) box({0, 1, 0, 1, 0, 1});  // not drawn: no form
    const int32_t tile = block(-3.0f, 10.0f);
    const int32_t hole_block = block(3.0f, 10.0f);
    ASSERT_EQ(tile, kPlayFirstHoleObject - 1);
    ASSERT_EQ(hole_block, kPlayFirstHoleObject);
    for (int32_t pass : {-1, 0}) {
        SCOPED_TRACE(pass);
        gpu_headless_clear_draws();
        hole_view_draw(1, pass);
        int first_tile = -1, last_block = -1;
        for (int k = 0; k < gpu_headless_draw_count(); k++) {
            const GpuDrawRecord *d = gpu_headless_draw(k);
            if (!d->indexed) continue;
            const bool is_tile = d->world[12] < 0.0f;
            if (is_tile && first_tile < 0) first_tile = k;
            if (!is_tile) last_block = k;
            EXPECT_EQ(d->render_states[D3DRS_ZFUNC], DWORD(is_tile ? D3DCMP_LESS : D3DCMP_LESSEQUAL)) << k;
        }
        ASSERT_GE(first_tile, 0);
        ASSERT_GE(last_block, 0);
        EXPECT_LT(last_block, first_tile);
        DWORD after = 0;
        context->device->GetRenderState(D3DRS_ZFUNC, &after);
        EXPECT_EQ(after, DWORD(D3DCMP_LESSEQUAL));
    }
}

TEST_F(HoleView, TheBackgroundIsAColourClearOnlyWhenAnOpaqueFillCoversTheView)
{
    render_set_projection(context);
    float view[16];
    render_set_view_matrix(context, mat4_identity(view));
    vec3_set(world->ambient_colour, 0.0f, 0.0f, 0.0f);  // the horizon at 15 %: 38 of 255
    const float w = float(context->width), h = float(context->height);
    auto back_buffer_pixel = [&](int x, int y) {
        IDirect3DSurface9 *surface = nullptr;
        uint32_t p = 0;
        if (context->device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface) != D3D_OK) return p;
        D3DLOCKED_RECT locked;
        if (surface->LockRect(&locked, nullptr, D3DLOCK_READONLY) == D3D_OK) {
            memcpy(&p, static_cast<uint8_t *>(locked.pBits) + y * locked.Pitch + 4 * x, 4);
            surface->UnlockRect();
        }
        surface->Release();
        return p;
    };
    context->device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);

    hole_view_fill_background(w, h);
    EXPECT_EQ(gpu_headless_draw_count(), 0);
    EXPECT_EQ(back_buffer_pixel(0, 0) & 0xFFFFFFu, 0x262626u);
    EXPECT_EQ(back_buffer_pixel(context->width - 1, context->height - 1) & 0xFFFFFFu, 0x262626u);

    // Part of the view: the fill itself, behind the sky.
    context->device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    hole_view_fill_background(w * 0.5f, h);
    ASSERT_EQ(gpu_headless_draw_count(), 1);
    EXPECT_NEAR(view_depth(gpu_headless_draw(0)), 150.0f, 1e-2f);
    EXPECT_EQ(back_buffer_pixel(0, 0), 0u);

    // A picture in the horizon's slot: the blended fill, whatever it covers, over the rows where the
    // picture shows (the horizon level with the eye: across the middle of the view), and none when
    // the horizon is above the view (looking straight down).
    const std::vector<uint8_t> half(8 * 8 * 4, 128);
    texture_create_from_pixels(context, kTextureAlpha, 1000, 8, 8, half.data(), 8, 8);
    vec3_set(g_camera_eye, 0, 0, 0);
    vec3_set(g_camera_target, 0, 0, 1);
    gpu_headless_clear_draws();
    hole_view_fill_background(w, h);
    ASSERT_EQ(gpu_headless_draw_count(), 1);
    EXPECT_EQ(gpu_headless_draw(0)->render_states[D3DRS_ALPHABLENDENABLE], 1u);
    vec3_set(g_camera_target, 0, 1, 0);
    gpu_headless_clear_draws();
    hole_view_fill_background(w, h);
    EXPECT_EQ(gpu_headless_draw_count(), 0);
    texture_release_slot(&context->main_textures, 1000);
    texture_bind(context, kRenderNoTexture);
}

TEST_F(HoleView, AnOccluderIsDrawnInPassOneOnly)
{
    // The ball 0.5 above the ground at the origin, the eye behind a block on the way to it.
    vec3_set(g_camera_pivot, 0, -0.5f, 0);
    vec3_set(g_camera_eye, 0, -3, -10);
    vec3_set(g_camera_target, 0, -0.5f, 0);
    const int32_t hides = block(0, -5);
    block(5, 3);  // clear of the way
    const struct {
        const char *what;
        int32_t rests_on;
        int32_t pass;
        int hides_draws, clear_draws;
        int32_t hides_occluding;
    } cases[] = {
        {"pass 0", -1, 0, 0, 1, 1},
        {"pass 1", -1, 1, 3, 0, 1},  // its colour, a winding at a time, then its stencil marks cleared
        {"pass 0, resting on it", hides, 0, 1, 1, 0},
        {"pass 1, resting on it", hides, 1, 0, 0, 0},
        {"single pass", -1, -1, 1, 1, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        g_current_block = c.rests_on;
        gpu_headless_clear_draws();
        hole_view_draw(1, c.pass);
        EXPECT_EQ(draws_at(0.0f), c.hides_draws);
        EXPECT_EQ(draws_at(5.0f), c.clear_draws);
        EXPECT_EQ(world->objects[hides]->occluding, c.hides_occluding);
        EXPECT_EQ(world->objects[hides]->drawn, 1);
        for (const ListNode<RenderDrawRange> *n = world->play_render_objects[hides]->ranges.first; n; n = n->next)
            EXPECT_EQ(n->value.second_draw, 0);  // cleared after the pass
    }
    // Pass 1 draws the occluder see-through, then its stencil marks away, neither writing depth,
    // and nothing else: no sky, no fill.
    g_current_block = -1;
    gpu_headless_clear_draws();
    hole_view_draw(1, 1);
    ASSERT_EQ(gpu_headless_draw_count(), 3);
    for (int k = 0; k < 2; k++) {
        EXPECT_EQ(gpu_headless_draw(k)->render_states[D3DRS_ZWRITEENABLE], 0u);
        EXPECT_EQ(gpu_headless_draw(k)->render_states[D3DRS_ALPHABLENDENABLE], 1u);
        EXPECT_EQ(gpu_headless_draw(k)->render_states[D3DRS_DESTBLEND], DWORD(D3DBLEND_INVSRCALPHA));
        EXPECT_EQ(gpu_headless_draw(k)->render_states[D3DRS_STENCILENABLE], 1u);
    }
    EXPECT_EQ(gpu_headless_draw(2)->render_states[D3DRS_ZWRITEENABLE], 0u);
    EXPECT_EQ(gpu_headless_draw(2)->render_states[D3DRS_DESTBLEND], DWORD(D3DBLEND_ONE));
    EXPECT_EQ(gpu_headless_draw(2)->render_states[D3DRS_CULLMODE], DWORD(D3DCULL_NONE));
    EXPECT_EQ(context->mode_value[4], 5);
}

TEST_F(HoleView, AHoleWithoutPlantsDrawsNoReceiverAndKeepsEveryMode)
{
    const int32_t i = block(0, 0);
    receiver(i);
    world->objects[i]->drawn = 1;
    render_set_mode(1, context, 1);
    render_set_mode(4, context, 1);
    render_set_mode(6, context, 2);
    std::vector<int32_t> modes(context->mode_value, context->mode_value + kRenderModes);
    for (int32_t drawing : {0, 1}) {
        g_option_hole_drawing = drawing;
        for (int32_t use_callback : {0, 1}) {
            hole_draw_shadow_receivers(use_callback);
            EXPECT_EQ(gpu_headless_draw_count(), 0);
            EXPECT_EQ(std::vector<int32_t>(context->mode_value, context->mode_value + kRenderModes), modes);
        }
    }
}

TEST_F(HoleView, ReceiversOfObjectsNotDrawnThisFrameAreSkipped)
{
    world_clear_for_editor(world);  // the world's shadow effect
    ASSERT_NE(world->standard_effects[0], nullptr);
    world->vegetal_count = 1;
    const int32_t a = block(0, 0), b = block(4, 0), c = block(8, 0);
    world->objects[a]->drawn = 1;
    world->objects[b]->drawn = 0;
    world->objects[c]->drawn = 1;
    const struct {
        const char *what;
        int32_t drawing, variant, use_callback;
    } variants[] = {
        {"blended", 0, 0, 1},
        {"shadow effect", 1, 0, 1},
        {"shadow effect, variant", 1, 1, 1},
        {"alpha-tested", 1, 1, 0},
    };
    for (const auto &v : variants) {
        SCOPED_TRACE(v.what);
        g_option_hole_drawing = v.drawing;
        g_option_hole_variant = v.variant;
        for (int32_t i : {a, b, c}) receiver(i);
        gpu_headless_clear_draws();
        hole_draw_shadow_receivers(v.use_callback);
        EXPECT_EQ(indexed_draws(), 2);
        // Lifted a thousandth of the light vector toward the sun.
        EXPECT_NEAR(gpu_headless_draw(0)->world[13], -0.001f * world->light_vector[1], 1e-7f);
        EXPECT_EQ(gpu_headless_draw(0)->render_states[D3DRS_CULLMODE], DWORD(D3DCULL_NONE));
        EXPECT_EQ(context->texture_id_offset, 0);
        EXPECT_EQ(context->effect_object, nullptr);
        EXPECT_EQ(context->draw_hooks, nullptr);
        EXPECT_EQ(context->mode_value[11], 0);
        EXPECT_EQ(context->mode_value[4], 5);
    }
}

TEST_F(HoleView, TheDrawHookReadsOnlyThePlantsPhases)
{
    world_clear_for_editor(world);
    RenderObject *effect = world->standard_effects[0];
    ASSERT_NE(effect, nullptr);
    world->vegetal_count = 2;
    g_vegetal_sway_phase[1] = 0.5f;
    // Shadow textures before the first plant's, past the plants and past the phase table.
    for (int32_t shadow : {SCENE_SHADOW_TEXTURE_BASE - 1, SCENE_SHADOW_TEXTURE_BASE + 1, SCENE_SHADOW_TEXTURE_BASE + 2,
                           SCENE_SHADOW_TEXTURE_BASE + 300, 0, -5})
        EXPECT_TRUE(hole_shadow_effect_callback(effect, 3, shadow, 0)) << shadow;
    world->vegetal_count = 1000;  // more plants than have shadows
    EXPECT_TRUE(hole_shadow_effect_callback(effect, 3, SCENE_SHADOW_TEXTURE_BASE + 400, 0));
    world->vegetal_count = 0;
    render_object_release_captured(effect);
}

TEST_F(HoleView, PlantsDrawNearOrFarByTheEyesDistanceAndOnlyWhenAsked)
{
    scene_test_add_plant(world, 0);
    ASSERT_EQ(world->vegetal_count, 1);
    const float *at = world->vegetal_slots[0][0].position;
    // Indices drawn by the plant (its draws are the only indexed ones in an empty hole).
    auto drawn_indices = [] {
        int n = 0;
        for (int k = 0; k < gpu_headless_draw_count(); k++)
            if (gpu_headless_draw(k)->indexed) n += int(gpu_headless_draw(k)->vertex_count);
        return n;
    };
    auto indices_of = [](const VegetalObject &plant) {
        int n = 0;
        for (const RenderObject *r : plant.render_objects) n += r ? r->indices_in_use : 0;
        return n;
    };
    const struct {
        float distance;
        int32_t detail;
    } cases[] = {{44.9f, 0}, {45.0f, 1}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.distance);
        vec3_set(g_camera_eye, at[0] + c.distance, at[1] - 1.0f, at[2]);
        vec3_set(g_camera_target, at[0], at[1] - 1.0f, at[2]);
        gpu_headless_clear_draws();
        hole_view_draw(1, -1);
        const int want = indices_of(world->vegetal_slots[0][c.detail]);
        EXPECT_GT(want, 0);
        EXPECT_NE(want, indices_of(world->vegetal_slots[0][1 - c.detail]));
        EXPECT_EQ(drawn_indices(), want);
    }
    g_draw_plants = 0;
    gpu_headless_clear_draws();
    hole_view_draw(1, -1);
    EXPECT_EQ(drawn_indices(), 0);
}

TEST_F(HoleView, TheDecalSwaysWithItsPlantAgainstTheSun)
{
    world_clear_for_editor(world);
    ASSERT_NE(world->standard_effects[0], nullptr);
    g_option_hole_drawing = 1;
    g_option_hole_variant = 0;
    world->vegetal_count = 1;
    const int32_t i = block(0, 0);
    receiver(i);
    world->objects[i]->drawn = 1;
    g_vegetal_sway_phase[0] = 0.5f;
    const float x = 0.0161f * std::sin(0.75f), y = 0.0103f * std::sin(1.75f);
    const struct {
        const char *what;
        float light[3];
        float decal[2];
    } cases[] = {
        {"x and z of the light negative: signs kept", {-0.5f, 0.7f, -0.5f}, {x, y}},
        {"straight down: both negated", {0.0f, 1.0f, 0.0f}, {-x, -y}},
        {"x positive, z negative", {0.5f, 0.7f, -0.5f}, {x, -y}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        vec3_set(world->light_vector, c.light[0], c.light[1], c.light[2]);
        gpu_headless_clear_draws();
        hole_draw_shadow_receivers(1);
        ASSERT_EQ(indexed_draws(), 1);
        // The vector reaches the effect's vertex constants for the draw.
        const GpuDrawRecord *d = gpu_headless_draw(0);
        bool found = false;
        for (const float *v : d->vs_constants)
            found = found || (std::fabs(v[0] - c.decal[0]) < 1e-6f && std::fabs(v[1] - c.decal[1]) < 1e-6f &&
                              v[2] == 0.0f && v[3] == 0.0f);
        EXPECT_TRUE(found);
    }
    g_vegetal_sway_phase[0] = 0.0f;
}
