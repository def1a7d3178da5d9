// The draw of the current object: ranges and their bounds, hooks, texture bindings and the id
// offset, effect choice, blending, the second draw, the light, and the states given back.
#include "tests/render/render_test_util.h"

#include "render/render_draw.h"

#include <array>
#include <vector>

namespace {

// What the final hook saw; it vetoes the range whose first texture is `veto`.
struct HookLog {
    std::vector<std::array<int32_t, 3>> calls;
    std::vector<ID3DXEffect *> effects;
    int32_t veto = -1;
} g_hooks;

bool final_hook(RenderObject *object, int32_t a, int32_t b, int32_t c)
{
    g_hooks.calls.push_back({a, b, c});
    g_hooks.effects.push_back(object->effect);
    return a != g_hooks.veto;
}

class RenderDrawTest : public RenderTest {
protected:
    DrawHookTable hooks = {};
    std::vector<RenderObject *> objects;

    void SetUp() override
    {
        RenderTest::SetUp();
        make_device(false);
        g_hooks = HookLog{};
        hooks.final_hook = final_hook;
        std::vector<uint8_t> pixels(4 * 4 * 4, 0x80);
        for (int32_t id : {1, 2, 3, 4, 5, 6, 7, 8, 11, 12, 13, 641, 642, 643})
            texture_create_in_slot(&context->main_textures, id, 4, 4, pixels.data(), 4, 4, 0);
        ASSERT_TRUE(render_begin_frame(context));
    }

    void TearDown() override
    {
        render_end_frame(context);
        for (RenderObject *object : objects) delete_object(object);
        RenderTest::TearDown();
    }

    // `count` ranges of two triangles over four vertices each: textures r + 1 and r + 11.
    RenderObject *make_ranged(uint32_t flags, int32_t count, uint8_t has_ranges = 1)
    {
        RenderObject *object = make_object(flags, 4 * count, 6 * count);
        objects.push_back(object);
        if (!render_object_lock_indices(object)) return object;
        static const uint32_t kQuad[6] = {0, 1, 2, 0, 2, 3};
        for (int32_t r = 0; r < count; r++) {
            for (int32_t i = 0; i < 6; i++) render_object_write_index(object, 6 * r + i, uint32_t(4 * r) + kQuad[i]);
            RenderDrawRange range = {};
            range.first_index = 6 * r;
            range.end_index = 6 * r + 6;
            range.lowest_vertex = 4 * r;
            range.vertex_end = 4 * r + 4;
            range.texture1 = uint16_t(r + 1);
            range.texture2 = uint16_t(r + 11);
            range.lightmap_page1 = 0xFFFF;
            list_add_rec30(&object->ranges, range);
        }
        render_object_unlock_indices(object);
        object->vertices_in_use = 4 * count;
        object->indices_in_use = 6 * count;
        object->has_draw_ranges = has_ranges;
        return object;
    }

    RenderDrawRange &range(RenderObject *object, int32_t i)
    {
        ListNode<RenderDrawRange> *node = object->ranges.first;
        while (i-- > 0) node = node->next;
        return node->value;
    }

    // Draws the object; its indexed draws.
    std::vector<GpuDrawRecord> draw(RenderObject *object)
    {
        gpu_headless_clear_draws();
        render_set_current_object(context, object);
        render_draw_current_object(context);
        std::vector<GpuDrawRecord> draws;
        for (int i = 0; i < gpu_headless_draw_count(); i++)
            if (gpu_headless_draw(i)->indexed) draws.push_back(*gpu_headless_draw(i));
        return draws;
    }

    IDirect3DTexture9 *texture(int32_t id) { return context->main_textures.slots[id]->texture; }

    static ULONG references(IDirect3DTexture9 *texture)
    {
        ULONG count = texture->AddRef();
        texture->Release();
        return count - 1;
    }
};

TEST_F(RenderDrawTest, EachRangeIsOneDrawOfItsIndicesAndBadRangesAreSkipped)
{
    RenderObject *object = make_ranged(0x87, 3);
    // Cut, outside, reversed and empty ranges.
    list_add_rec30(&object->ranges, RenderDrawRange{0, 7, 0, 4, 1, 0, 0, 0, 0, 0, 0});
    list_add_rec30(&object->ranges, RenderDrawRange{0, 1000, 0, 4, 1, 0, 0, 0, 0, 0, 0});
    list_add_rec30(&object->ranges, RenderDrawRange{-3, 6, 0, 4, 1, 0, 0, 0, 0, 0, 0});
    list_add_rec30(&object->ranges, RenderDrawRange{12, 6, 0, 4, 1, 0, 0, 0, 0, 0, 0});
    list_add_rec30(&object->ranges, RenderDrawRange{6, 8, 0, 4, 1, 0, 0, 0, 0, 0, 0});
    std::vector<GpuDrawRecord> draws = draw(object);
    ASSERT_EQ(draws.size(), 4u);
    const UINT starts[4] = {0, 6, 12, 0};
    for (int i = 0; i < 4; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(draws[i].type, D3DPT_TRIANGLELIST);
        EXPECT_EQ(draws[i].start, starts[i]);
        EXPECT_EQ(draws[i].primitive_count, 2u);
        EXPECT_EQ(draws[i].vertex_shader_version, DWORD(D3DVS_VERSION(1, 1)));  // built-in 1
        EXPECT_EQ(draws[i].vs_constants[8][3], 1.0f);                           // FADE
    }
    EXPECT_EQ(draws[1].textures[0], texture(2));
    EXPECT_EQ(object->effect, nullptr);  // the built-in was lent for the draw only
}

TEST_F(RenderDrawTest, HooksSeeRawIdsAndVetoOnlyTheirRangeWhileTextureOneBindsWithTheOffset)
{
    for (uint8_t has_ranges : {1, 0}) {
        SCOPED_TRACE(has_ranges ? "draw ranges" : "face groups");
        RenderObject *object = make_ranged(0x87, 3, has_ranges);
        g_hooks = HookLog{};
        g_hooks.veto = 2;
        context->draw_hooks = &hooks;
        context->texture_id_offset = 640;
        std::vector<GpuDrawRecord> draws = draw(object);
        context->draw_hooks = nullptr;
        context->texture_id_offset = 0;
        ASSERT_EQ(g_hooks.calls.size(), 3u);
        int32_t third = has_ranges ? 0xFFFF : -1;  // face groups carry -1 in 16 bits
        for (int32_t r = 0; r < 3; r++) {
            EXPECT_EQ(g_hooks.calls[r][0], r + 1);
            EXPECT_EQ(g_hooks.calls[r][1], r + 11);
            EXPECT_EQ(g_hooks.calls[r][2], third);
        }
        ASSERT_EQ(draws.size(), 2u);
        EXPECT_EQ(draws[0].textures[0], texture(641));
        EXPECT_EQ(draws[1].textures[0], texture(643));
        EXPECT_EQ(draws[1].start, 12u);
    }
}

TEST_F(RenderDrawTest, EveryReferenceTakenForTheDrawIsGivenBack)
{
    RenderObject *object = make_ranged(0x87 | 0x40 | 0x800, 8);  // two textures a range
    render_object_set_texture_name(object, 1, "Tex");
    render_object_set_texture_name(object, 2, "Tex");
    object->effect = make_effect();
    object->flags |= kRenderOwnEffect;
    std::vector<ULONG> before;
    for (int32_t id : {1, 2, 3, 4, 5, 6, 7, 8, 11, 12, 13}) before.push_back(references(texture(id)));
    EXPECT_EQ(draw(object).size(), 8u);
    size_t i = 0;
    for (int32_t id : {1, 2, 3, 4, 5, 6, 7, 8, 11, 12, 13}) EXPECT_EQ(references(texture(id)), before[i++]) << id;
    EXPECT_EQ(object->captured_count, 0);
}

TEST_F(RenderDrawTest, TheEffectComesFromTheContextTheObjectOrTheLayout)
{
    context->draw_hooks = &hooks;
    struct Case {
        uint32_t flags;
        int builtin;  // -1: the pair's current effect
    };
    const Case cases[] = {{0x2, 0}, {0x87, 1}, {0x42, 2}, {0x8, 3}, {0x200, -1}, {0x400, -1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "flags " << std::hex << c.flags);
        RenderObject *object = make_ranged(c.flags, 1);
        g_hooks = HookLog{};
        EXPECT_EQ(draw(object).size(), 1u);  // the built-in reads what the layout holds
        ASSERT_EQ(g_hooks.effects.size(), 1u);
        EXPECT_EQ(g_hooks.effects[0], c.builtin < 0 ? context->current_pair_effect : context->effects[c.builtin]);
    }
    // Lightmapped objects without their lightmap ("H" = 0) take built-in 1.
    *render_var_ref(context, "H") = 0;
    g_hooks = HookLog{};
    draw(make_ranged(0x200, 1));
    EXPECT_EQ(g_hooks.effects[0], context->effects[1]);

    // The object's own effect, then the context's effect object over it.
    RenderObject *own = make_ranged(0x87, 1);
    ID3DXEffect *mine = make_effect();
    ID3DXEffect *theirs = make_effect();
    own->effect = mine;
    own->flags |= kRenderOwnEffect;
    g_hooks = HookLog{};
    draw(own);
    context->effect_object = theirs;
    draw(own);
    context->effect_object = nullptr;
    ASSERT_EQ(g_hooks.effects.size(), 2u);
    EXPECT_EQ(g_hooks.effects[0], mine);
    EXPECT_EQ(g_hooks.effects[1], theirs);
    EXPECT_EQ(own->effect, mine);
    theirs->Release();
    context->draw_hooks = nullptr;
}

TEST_F(RenderDrawTest, MaterialBitsBlendOnlyObjectsWithRanges)
{
    render_set_mode(6, context, 1);
    RenderObject *object = make_ranged(0x87, 3);
    for (int r = 0; r < 3; r++) range(object, r).material_bits = uint16_t(r);
    std::vector<GpuDrawRecord> draws = draw(object);
    ASSERT_EQ(draws.size(), 3u);
    EXPECT_EQ(draws[0].render_states[D3DRS_ALPHABLENDENABLE], DWORD(FALSE));
    EXPECT_EQ(draws[1].render_states[D3DRS_ALPHABLENDENABLE], DWORD(TRUE));
    EXPECT_EQ(draws[1].render_states[D3DRS_DESTBLEND], DWORD(D3DBLEND_INVSRCALPHA));
    EXPECT_EQ(draws[2].render_states[D3DRS_DESTBLEND], DWORD(D3DBLEND_ONE));

    // Face groups carry 0 and keep the blending of mode 6.
    object->has_draw_ranges = 0;
    draws = draw(object);
    ASSERT_EQ(draws.size(), 3u);
    EXPECT_EQ(draws[0].render_states[D3DRS_ALPHABLENDENABLE], DWORD(TRUE));
    EXPECT_EQ(draws[0].render_states[D3DRS_DESTBLEND], DWORD(D3DBLEND_INVSRCALPHA));
}

TEST_F(RenderDrawTest, TheSecondDrawBlendsOncePerPixelWithoutDepthWritesThenClearsItsMarks)
{
    render_set_mode(1, context, 1);
    render_set_mode(6, context, 0);
    RenderObject *object = make_ranged(0x87, 3);
    range(object, 1).second_draw = 1;
    render_set_mode(4, context, 5);  // no culling, as holes are drawn
    std::vector<GpuDrawRecord> draws = draw(object);
    ASSERT_EQ(draws.size(), 5u);
    EXPECT_EQ(draws[0].render_states[D3DRS_ZWRITEENABLE], DWORD(TRUE));
    EXPECT_EQ(draws[0].render_states[D3DRS_STENCILENABLE], DWORD(FALSE));
    EXPECT_FLOAT_EQ(draws[0].vs_constants[8][3], 1.0f);

    // See-through against the depth drawn before, writing none (what is drawn later shows through
    // it); a pixel blends where the stencil bit is clear and marks it, so the range's far faces
    // do not blend again over its near ones: the faces toward the eye of an inward-wound block
    // first (clockwise culling keeps them), then the others, every face drawn once.
    EXPECT_EQ(draws[1].render_states[D3DRS_CULLMODE], DWORD(D3DCULL_CW));
    EXPECT_EQ(draws[2].render_states[D3DRS_CULLMODE], DWORD(D3DCULL_CCW));
    for (int k = 1; k <= 2; k++) {
        SCOPED_TRACE(k);
        EXPECT_EQ(memcmp(draws[k].render_states + D3DRS_STENCILENABLE, draws[1].render_states + D3DRS_STENCILENABLE,
                         sizeof(DWORD) * (D3DRS_STENCILWRITEMASK - D3DRS_STENCILENABLE + 1)),
                  0);
        EXPECT_EQ(draws[k].primitive_count, draws[0].primitive_count);
    }
    const GpuDrawRecord &blend = draws[2];
    EXPECT_EQ(blend.render_states[D3DRS_ZWRITEENABLE], DWORD(FALSE));
    EXPECT_EQ(blend.render_states[D3DRS_ZFUNC], DWORD(D3DCMP_LESSEQUAL));
    EXPECT_EQ(blend.render_states[D3DRS_ALPHABLENDENABLE], DWORD(TRUE));
    EXPECT_EQ(blend.render_states[D3DRS_SRCBLEND], DWORD(D3DBLEND_SRCALPHA));
    EXPECT_EQ(blend.render_states[D3DRS_DESTBLEND], DWORD(D3DBLEND_INVSRCALPHA));
    EXPECT_FLOAT_EQ(blend.vs_constants[8][3], 0.4f);
    EXPECT_EQ(blend.render_states[D3DRS_STENCILENABLE], DWORD(TRUE));
    EXPECT_EQ(blend.render_states[D3DRS_TWOSIDEDSTENCILMODE], DWORD(FALSE));
    EXPECT_EQ(blend.render_states[D3DRS_STENCILFUNC], DWORD(D3DCMP_NOTEQUAL));
    EXPECT_EQ(blend.render_states[D3DRS_STENCILPASS], DWORD(D3DSTENCILOP_REPLACE));
    EXPECT_EQ(blend.render_states[D3DRS_STENCILFAIL], DWORD(D3DSTENCILOP_KEEP));
    EXPECT_EQ(blend.render_states[D3DRS_STENCILZFAIL], DWORD(D3DSTENCILOP_KEEP));
    const DWORD bit = blend.render_states[D3DRS_STENCILREF];
    EXPECT_NE(bit, 0u);
    EXPECT_EQ(bit & (bit - 1), 0u) << "one bit";
    EXPECT_EQ(blend.render_states[D3DRS_STENCILMASK], bit);
    EXPECT_EQ(blend.render_states[D3DRS_STENCILWRITEMASK], bit);

    // The same triangles again, colour kept, clearing the marks they made; no depth.
    const GpuDrawRecord &clear = draws[3];
    EXPECT_EQ(clear.primitive_count, blend.primitive_count);
    EXPECT_EQ(clear.start, blend.start);
    EXPECT_EQ(clear.render_states[D3DRS_ZWRITEENABLE], DWORD(FALSE));
    EXPECT_EQ(clear.render_states[D3DRS_ZFUNC], DWORD(D3DCMP_LESSEQUAL));
    EXPECT_EQ(clear.render_states[D3DRS_SRCBLEND], DWORD(D3DBLEND_ZERO));
    EXPECT_EQ(clear.render_states[D3DRS_DESTBLEND], DWORD(D3DBLEND_ONE));
    EXPECT_EQ(clear.render_states[D3DRS_STENCILENABLE], DWORD(TRUE));
    EXPECT_EQ(clear.render_states[D3DRS_STENCILFUNC], DWORD(D3DCMP_EQUAL));
    EXPECT_EQ(clear.render_states[D3DRS_STENCILPASS], DWORD(D3DSTENCILOP_ZERO));
    EXPECT_EQ(clear.render_states[D3DRS_STENCILREF], bit);
    EXPECT_EQ(clear.render_states[D3DRS_STENCILWRITEMASK], bit);
    EXPECT_EQ(clear.render_states[D3DRS_CULLMODE], DWORD(D3DCULL_NONE));  // every mark the two made

    // The next range is drawn whatever the stencil holds.
    EXPECT_EQ(draws[4].render_states[D3DRS_STENCILENABLE], DWORD(FALSE));
    EXPECT_EQ(draws[4].render_states[D3DRS_CULLMODE], DWORD(D3DCULL_NONE));
}

TEST_F(RenderDrawTest, MissingVertexFieldsDrawTheWholeWindow)
{
    RenderObject *object = make_ranged(0x87, 2, 0);
    range(object, 0).lowest_vertex = -1;
    range(object, 0).vertex_end = -1;
    range(object, 1).lowest_vertex = 4;
    range(object, 1).vertex_end = 4;  // a count stored where the end belongs
    EXPECT_EQ(draw(object).size(), 2u);

    // No ranges at all: the whole object with the bound texture, no offset.
    RenderObject *plain = make_ranged(0x87, 2);
    list_clear(&plain->ranges);
    texture_bind(context, 3);
    context->texture_id_offset = 640;
    std::vector<GpuDrawRecord> draws = draw(plain);
    context->texture_id_offset = 0;
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].primitive_count, 4u);
    EXPECT_EQ(draws[0].textures[0], texture(3));
}

TEST_F(RenderDrawTest, StatesAfterTheDrawAreThoseBeforeItAndALostEffectDrawsNothing)
{
    context->device->EndScene();  // the probes draw in scenes of their own
    render_set_mode(1, context, 1);
    render_set_mode(6, context, 0);
    texture_bind(context, 5);
    RenderObject *object = make_ranged(0x87, 3);
    range(object, 0).material_bits = 2;
    range(object, 1).second_draw = 1;
    GpuDrawRecord before = render_test_draw_probe(context->device);
    ASSERT_TRUE(render_begin_frame(context));
    EXPECT_EQ(draw(object).size(), 5u);  // the second draw's range thrice: two windings, then its marks cleared
    context->device->EndScene();
    GpuDrawRecord after = render_test_draw_probe(context->device);
    EXPECT_EQ(memcmp(before.render_states, after.render_states, sizeof before.render_states), 0);
    EXPECT_EQ(after.textures[0], texture(5));

    context->effects[1]->OnLostDevice();
    ASSERT_TRUE(render_begin_frame(context));
    EXPECT_EQ(draw(object).size(), 0u);
    context->device->EndScene();
    after = render_test_draw_probe(context->device);
    EXPECT_EQ(memcmp(before.render_states, after.render_states, sizeof before.render_states), 0);
    context->effects[1]->OnResetDevice();
    ASSERT_TRUE(render_begin_frame(context));
}

TEST_F(RenderDrawTest, TheLightIsTheObjectsOwnThenDirectionalThenTheNearestInRange)
{
    light_set_point(context, 2, 10, 0, 0, 1, 0, 0, 0.5f, 100);
    light_set_point(context, 4, 0, 0, 50, 0, 1, 0, 0, 5);
    light_set_directional(context, 5, 0, -2, 0, 0, 0, 1);
    light_set_point(context, 6, 3, 0, 0, 1, 1, 0, 0, 20);
    const float world[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 0, 0, 1};
    render_set_world_matrix(context, world);
    RenderObject *object = make_ranged(0x8, 1);  // normals: built-in 3
    struct Case {
        const char *name;
        int32_t own;
        std::vector<int32_t> on;
        int32_t k;
        float vec[4], colour[3];
    };
    const Case cases[] = {
        {"own slot", 2, {6, 5, 2}, 1, {10, 0, 0, 1}, {2, 0, 0}},
        {"first directional", -1, {6, 5, 2}, 1, {0, 1, 0, 0}, {0, 0, 2}},
        {"nearest in range", -1, {4, 2, 6}, 1, {3, 0, 0, 1}, {2, 2, 0}},
        {"own slot off", 4, {}, 1, {0, 0, 0, 0}, {0, 0, 0}},
        {"lights off", 2, {2}, 0, {0, 0, 0, 0}, {0, 0, 0}},
    };
    object->light_scale = 2.0f;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        for (int32_t n : {2, 4, 5, 6}) light_send_disabled(context, n);
        for (int32_t n : c.on) light_enable(context, n);
        *render_var_ref(context, "K") = c.k;
        object->light_slot = c.own;
        std::vector<GpuDrawRecord> draws = draw(object);
        ASSERT_EQ(draws.size(), 1u);
        for (int i = 0; i < 4; i++) EXPECT_FLOAT_EQ(draws[0].vs_constants[10][i], c.vec[i]) << "LIGHTVEC " << i;
        for (int i = 0; i < 3; i++) EXPECT_FLOAT_EQ(draws[0].vs_constants[11][i], c.colour[i]) << "LIGHTCOLOR " << i;
    }
    // The own point light in the object's space, from its reference point.
    *render_var_ref(context, "K") = 1;
    light_enable(context, 2);
    object->light_slot = 2;
    object->reference_point[0] = 0.5f;
    draw(object);
    EXPECT_FLOAT_EQ(object->object_vector[0], 8.5f);
}

}  // namespace
