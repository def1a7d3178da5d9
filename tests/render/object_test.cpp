// Render objects: failed creation, compiled scripts and their named vectors, and the registry carrying
// objects through a device loss and reset.
#include "render/render_draw.h"
#include "tests/render/render_test_util.h"

#include <vector>

namespace {

using RenderObjectTest = RenderTest;

TEST_F(RenderObjectTest, FailedCreationLeavesNullHandlesThatLocksAndSettersTolerate)
{
    make_device(true);
    for (RenderObject &own : context->embedded_objects) render_object_free(&own);  // failures hit ours only
    gpu_headless_fail_next(GPU_FAIL_CREATE_VERTEX_BUFFER, 1);
    gpu_headless_fail_next(GPU_FAIL_CREATE_INDEX_BUFFER, 1);
    RenderObject *object = make_object(0x8 | 0x4, 3, 3);
    EXPECT_EQ(object->vertex_buffer, nullptr);
    EXPECT_EQ(object->index_buffer, nullptr);
    EXPECT_EQ(g_render_registry.count, 1);
    render_object_lock_vertices(object);
    EXPECT_EQ(object->locked_vertices, nullptr);
    EXPECT_FALSE(render_object_lock_indices(object));
    render_vertex_set_position(object, 0, 1.0f, 2.0f, 3.0f);
    render_vertex_set_normal(object, 0, 1.0f, 0.0f, 0.0f);
    render_object_unlock_vertices(object);

    // No vertices at all: nothing is made, nothing is written.
    RenderObject *empty = make_object(0x2, 0, 0);
    EXPECT_EQ(empty->vertex_buffer, nullptr);
    render_object_lock_vertices(empty);
    render_vertex_set_color_rgb(empty, 0, 1.0f, 1.0f, 1.0f);

    // A failed lock leaves the pointer null too.
    RenderObject *locked = make_object(0x2, 2, 3);
    gpu_headless_fail_next(GPU_FAIL_LOCK, 1);
    render_object_lock_vertices(locked);
    EXPECT_EQ(locked->locked_vertices, nullptr);
    render_vertex_set_color_rgb(locked, 0, 1.0f, 1.0f, 1.0f);
    EXPECT_EQ(render_test_read<uint32_t>(locked->vertex_copy, 12), 0u);

    // Objects whose buffers cannot be made again leave the registry; the walk goes on.
    gpu_headless_lose_device(context->device, true);
    gpu_headless_fail_next(GPU_FAIL_CREATE_VERTEX_BUFFER, 1);
    EXPECT_FALSE(render_begin_frame(context));
    EXPECT_EQ(g_render_registry.count, 1);
    EXPECT_EQ(g_render_registry.first->object, locked);
    delete_object(object);
    delete_object(empty);
    delete_object(locked);
}

TEST_F(RenderObjectTest, CompiledScriptsGoWithTheObjectAlsoAfterAFailedCompile)
{
    const char *script = "[VERTEXFORMAT]\nXYZ NORMAL TEX0\n[DEFINES]\nCONST one=1.0,1.0,1.0,1.0;\nMATRIX WORLD;\n"
                         "MATRIX VIEWPROJ;\n[TECHNIQUE]\nAll Cards\n[PASS0]\n[POSITION]\ntmp=iPos*4WORLD;\n"
                         "oPos=tmp*4VIEWPROJ;\n[DIFFUSE]\noDiffuse=one;\n[END]\n";
    make_device(false);
    RenderObject *good = make_object(0x8 | 0x4, 3, 3);
    char *message = render_object_compile_script(good, script);
    EXPECT_EQ(message, nullptr) << message;
    free(message);
    ASSERT_NE(good->effect, nullptr);
    EXPECT_TRUE(good->flags & kRenderOwnEffect);
    EXPECT_NE(good->compiler, nullptr);

    // A failed compile leaves its compiler without the own-effect flag: it goes all the same.
    RenderObject *bad = make_object(0x8 | 0x4, 3, 3);
    message = render_object_compile_script(bad, "[VERTEXFORMAT]\nXYZ\n[TECHNIQUE]\nAll Cards\n[PASS0]\n"
                                                "[POSITION]\noPos=nothing*4WORLD;\n[END]\n");
    ASSERT_NE(message, nullptr);
    free(message);
    EXPECT_FALSE(bad->flags & kRenderOwnEffect);
    EXPECT_EQ(bad->effect, nullptr);
    EXPECT_NE(bad->compiler, nullptr);

    int live = gpu_headless_live_resources();
    delete_object(good);
    EXPECT_EQ(gpu_headless_live_resources(), live - 3);
    render_object_free(bad);
    EXPECT_EQ(bad->compiler, nullptr);
    delete bad;
}

TEST_F(RenderObjectTest, NamedVectorsReachTheCompiledEffect)
{
    make_device(false);
    RenderObject *object = make_object(0x8 | 0x4, 3, 3);
    render_effect_set_vector(object, "tint", nullptr);  // no effect yet: nothing happens
    char *message = render_object_compile_script(
        object, "[VERTEXFORMAT] XYZ NORMAL TEX0\n[DEFINES] MATRIX WORLD; MATRIX VIEWPROJ; VECTOR tint;\n"
                "[TECHNIQUE] All\n[PASS0]\n[POSITION] p=iPos*4WORLD; oPos=p*4VIEWPROJ;\n[DIFFUSE] oDiffuse=tint;\n");
    ASSERT_EQ(message, nullptr) << message;
    const float tint[4] = {0.25f, 0.5f, 0.75f, 1.0f};
    render_effect_set_vector(object, "tint", tint);
    render_object_lock_indices(object);
    render_object_unlock_indices(object);
    ASSERT_TRUE(render_begin_frame(context));
    gpu_headless_clear_draws();
    render_set_current_object(context, object);
    render_draw_current_object(context);
    render_end_frame(context);
    ASSERT_EQ(gpu_headless_draw_count(), 1);
    // The constants follow the declarations: WORLD in 0 to 3, VIEWPROJ in 4 to 7, then tint.
    for (int c = 0; c < 4; c++) EXPECT_EQ(gpu_headless_draw(0)->vs_constants[8][c], tint[c]);
    render_set_current_object(context, nullptr);
    delete_object(object);
}

TEST_F(RenderObjectTest, ADynamicObjectSurvivesLossAndResetFromItsCopies)
{
    make_device(true);
    RenderObject *object = make_object(0x2 | 0x4 | 0x80000 | 0x4000, 4, 6, 2);
    object->effect = make_effect();
    object->effect->SetTechnique(object->effect->GetTechniqueByName("T3"));
    render_object_lock_vertices(object);
    for (int i = 0; i < 4; i++) {
        render_vertex_set_position(object, i, float(i), float(2 * i), 1.0f);
        render_vertex_set_color_argb(object, i, 1.0f, 0.0f, 0.0f, 1.0f);
        render_vertex_set_texcoord0(object, i, 0.25f * float(i), 0.5f);
    }
    render_object_unlock_vertices(object);
    for (int k = 0; k < 2; k++) {
        ASSERT_TRUE(render_object_lock_frame(object, k));
        for (int i = 0; i < 4; i++) render_vertex_set_position(object, i, float(k), float(i), 7.0f);
        render_object_unlock_vertices(object);
    }
    ASSERT_TRUE(render_object_lock_indices(object));
    const uint32_t indices[6] = {0, 1, 2, 0, 2, 3};
    memcpy(object->locked_indices, indices, sizeof indices);
    memcpy(object->index_copy, indices, sizeof indices);
    render_object_unlock_indices(object);

    gpu_headless_lose_device(context->device, false);
    EXPECT_FALSE(render_begin_frame(context));  // lost, not yet resettable
    gpu_headless_lose_device(context->device, true);
    EXPECT_FALSE(render_begin_frame(context));  // reset now
    ASSERT_EQ(context->device->TestCooperativeLevel(), D3D_OK);

    size_t bytes = 4 * 24;
    ASSERT_NE(object->vertex_buffer, nullptr);
    EXPECT_EQ(memcmp(gpu_headless_vertex_bytes(object->vertex_buffer), object->vertex_copy, bytes), 0);
    EXPECT_EQ(render_test_read<float>(object->vertex_copy, 3 * 24 + 4), 6.0f);
    EXPECT_EQ(render_test_read<float>(object->vertex_copy, 2 * 24 + 16), 0.5f);
    ASSERT_NE(object->index_buffer, nullptr);
    EXPECT_EQ(memcmp(gpu_headless_index_bytes(object->index_buffer), indices, sizeof indices), 0);
    for (int k = 0; k < 2; k++) {
        ASSERT_NE(object->frame_buffers[k], nullptr);
        EXPECT_EQ(memcmp(gpu_headless_vertex_bytes(object->frame_buffers[k]), object->frame_copies[k], bytes), 0);
        EXPECT_EQ(render_test_read<float>(object->frame_copies[k], 24 * 3 + 4), 3.0f);
    }
    // The effect was told of the loss (else Reset fails) and of the reset, and took its first
    // valid technique.
    EXPECT_EQ(object->effect->GetCurrentTechnique(), object->effect->GetTechniqueByName("T0"));
    UINT passes = 0;
    EXPECT_EQ(object->effect->Begin(&passes, 0), D3D_OK);
    object->effect->End();
    EXPECT_TRUE(render_begin_frame(context));
    render_end_frame(context);
    delete_object(object);
}


// Every render object has one node, found by its object whichever way nodes came and went: many
// objects, removal in the middle, a node whose object its maker set, and the cursor walk.
TEST(RenderRegistry, NodesAreFoundByTheirObjectsThroughEveryPath)
{
    const int32_t base = g_render_registry.count;
    std::vector<RenderObject> objects(300);
    for (RenderObject &object : objects) render_registry_find_or_add(&object);
    ASSERT_EQ(g_render_registry.count, base + 300);
    EXPECT_EQ(render_registry_find_or_add(&objects[17])->object, &objects[17]);
    EXPECT_EQ(g_render_registry.count, base + 300);

    render_registry_remove(&objects[17]);
    render_registry_remove(&objects[17]);  // already gone
    EXPECT_EQ(g_render_registry.count, base + 299);
    EXPECT_EQ(render_registry_find_or_add(&objects[17]), g_render_registry.last);

    RenderObject extra{};
    RenderRegistryNode *made = render_registry_append_node();
    made->object = &extra;
    EXPECT_EQ(render_registry_find_or_add(&extra), made);
    EXPECT_EQ(render_registry_find_or_add(&objects[40])->object, &objects[40]);
    EXPECT_EQ(g_render_registry.count, base + 301);
    render_registry_remove(&extra);

    // The cursor walk removes ours; none is found afterwards, and each is added once again.
    g_render_registry.iter = g_render_registry.first;
    while (g_render_registry.iter) {
        const RenderObject *object = g_render_registry.iter->object;
        if (object >= objects.data() && object < objects.data() + objects.size())
            render_registry_remove_current();
        else
            g_render_registry.iter = g_render_registry.iter->next;
    }
    EXPECT_EQ(g_render_registry.count, base);
    render_registry_find_or_add(&objects[3]);
    render_registry_find_or_add(&objects[3]);
    EXPECT_EQ(g_render_registry.count, base + 1);
    render_registry_remove(&objects[3]);
    EXPECT_EQ(g_render_registry.count, base);
}

}  // namespace
