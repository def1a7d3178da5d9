// Render objects: formats, buffer creation in both buffer modes, failures, release with children,
// and the registry carrying objects through a device loss and reset.
#include "tests/render/render_test_util.h"

namespace {

using RenderObjectTest = RenderTest;

TEST(RenderFormatTest, FlagsGiveFormatStrideAndFvf)
{
    struct Case {
        uint32_t flags;
        int32_t format, stride;
        DWORD fvf;
    } cases[] = {
        {0x0, 0, 24, 0x142},         {0x4, 1, 24, 0x142},      {0x2, 2, 16, 0x42},
        {0x2 | 0x4 | 0x80, 3, 24, 0x142}, {0x40 | 0x2, 4, 32, 0x242}, {0x8 | 0x4, 5, 32, 0x112},
        {0x200 | 0x8, 6, 32, 0x242}, {0x400 | 0x8, 7, 40, 0x342}, {0x8 | 0x400 | 0x40000, 9, 60, 0x452},
        {0x400 | 0x40000, 7, 40, 0x342},
    };
    for (const Case &c : cases) {
        int32_t format = render_format_for_flags(c.flags);
        EXPECT_EQ(format, c.format) << std::hex << c.flags;
        EXPECT_EQ(render_vertex_size_for_format(format), c.stride) << std::hex << c.flags;
        EXPECT_EQ(render_fvf_for_format(format), c.fvf) << std::hex << c.flags;
        // Skinned: 32 more on the code, 20 more bytes, XYZB5 with UBYTE4 bones.
        int32_t skinned = render_format_for_flags(c.flags | 0x8000);
        EXPECT_EQ(skinned, c.format + 32);
        EXPECT_EQ(render_vertex_size_for_format(skinned), c.stride + 20);
        EXPECT_EQ(render_fvf_for_format(skinned), (c.fvf & ~DWORD(0xE)) | 0x100E);
    }
    EXPECT_EQ(render_vertex_size_for_format(8), 44);
    EXPECT_EQ(render_vertex_size_for_format(10), 52);
    EXPECT_EQ(render_vertex_size_for_format(40), 64);
    EXPECT_EQ(render_vertex_size_for_format(11), 0);
    EXPECT_EQ(render_vertex_size_for_format(-1), 0);
    EXPECT_EQ(render_fvf_for_format(10), 0u);
}

TEST_F(RenderObjectTest, ManagedModeMakesNoCopiesAndSurvivesResetAsItIs)
{
    make_device(false);
    RenderObject *object = make_object(0x2 | 0x4, 3, 3);
    EXPECT_EQ(object->device, context->device);
    ASSERT_NE(object->vertex_buffer, nullptr);
    ASSERT_NE(object->index_buffer, nullptr);
    EXPECT_EQ(object->vertex_copy, nullptr);
    EXPECT_EQ(g_render_registry.count, 1);

    render_object_lock_vertices(object);
    ASSERT_NE(object->locked_vertices, nullptr);
    render_vertex_set_position(object, 2, 1.0f, 2.0f, 3.0f);
    render_object_unlock_vertices(object);
    // Managed buffers live through a reset with their contents.
    gpu_headless_lose_device(context->device, true);
    EXPECT_FALSE(render_begin_frame(context));
    EXPECT_EQ(context->device->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(render_test_read<float>(gpu_headless_vertex_bytes(object->vertex_buffer), 48 + 4), 2.0f);
    delete_object(object);
}

TEST_F(RenderObjectTest, DynamicModeUsesTheDefaultPoolWithCopiesAndStaticObjectsLockPlainly)
{
    make_device(true);
    RenderObject *object = make_object(0x2, 4, 6);
    RenderObject *still = make_object(0x2 | 0x200000, 4, 6);
    ASSERT_NE(object->vertex_copy, nullptr);
    ASSERT_NE(object->index_copy, nullptr);
    EXPECT_EQ(still->dynamic, 0);
    void *memory = nullptr;
    // Only the dynamic one may be locked with DISCARD.
    ASSERT_EQ(object->vertex_buffer->Lock(0, 0, &memory, D3DLOCK_DISCARD), D3D_OK);
    object->vertex_buffer->Unlock();
    EXPECT_TRUE(FAILED(still->vertex_buffer->Lock(0, 0, &memory, D3DLOCK_DISCARD)));
    render_object_lock_vertices(still);
    EXPECT_NE(still->locked_vertices, nullptr);
    render_object_unlock_vertices(still);

    // A lock hands back every vertex of the copy over the discarded memory.
    render_object_lock_vertices(object);
    render_vertex_set_color_rgb(object, 1, 1.0f, 1.0f, 1.0f);
    render_object_unlock_vertices(object);
    render_object_lock_vertices(object);
    EXPECT_EQ(render_test_read<uint32_t>(object->locked_vertices, 16 + 12), 0xFFFFFFFFu);
    EXPECT_EQ(render_test_read<uint32_t>(object->locked_vertices, 12), 0u);
    render_object_unlock_vertices(object);

    // Default-pool buffers block a Reset until they are released.
    D3DPRESENT_PARAMETERS p = context->present;
    EXPECT_TRUE(FAILED(context->device->Reset(&p)));
    delete_object(object);
    delete_object(still);
}

TEST_F(RenderObjectTest, FramesNeedTheirFlagAndCountZeroMakesNone)
{
    make_device(true);
    // Without 0x80000 a frame count makes nothing, so nothing later walks missing arrays.
    RenderObject *plain = make_object(0x2, 4, 3, 3);
    EXPECT_EQ(plain->frame_count, 0);
    EXPECT_EQ(plain->frame_buffers, nullptr);
    RenderObject *none = make_object(0x2 | 0x80000, 4, 3, 0);
    EXPECT_EQ(none->frame_count, 0);
    RenderObject *framed = make_object(0x2 | 0x80000, 4, 3, 2);
    ASSERT_EQ(framed->frame_count, 2);
    for (int k = 0; k < 2; k++) {
        EXPECT_NE(framed->frame_buffers[k], nullptr);
        EXPECT_NE(framed->frame_copies[k], nullptr);
    }
    EXPECT_FALSE(render_object_lock_frame(framed, 2));
    EXPECT_FALSE(render_object_lock_frame(plain, 0));
    gpu_headless_lose_device(context->device, true);
    EXPECT_FALSE(render_begin_frame(context));
    EXPECT_EQ(context->device->TestCooperativeLevel(), D3D_OK);
    EXPECT_NE(framed->frame_buffers[1], nullptr);
    delete_object(plain);
    delete_object(none);
    delete_object(framed);
}

TEST_F(RenderObjectTest, FailedCreationLeavesNullHandlesThatLocksAndSettersTolerate)
{
    make_device(true);
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

TEST_F(RenderObjectTest, MakingBuffersAgainReleasesTheOldOnes)
{
    make_device(false);
    RenderObject *object = make_object(0x2, 8, 6);
    int live = gpu_headless_live_resources();
    render_object_create_vertex_buffer(object, 4, 3, 0);
    EXPECT_EQ(gpu_headless_live_resources(), live);
    EXPECT_EQ(object->vertex_count, 4);
    EXPECT_EQ(g_render_registry.count, 1);
    delete_object(object);
}

TEST_F(RenderObjectTest, ReleaseIsSafeTwiceAndTakesChildrenToAnyDepth)
{
    make_device(true);
    int before = gpu_headless_live_resources();
    RenderObject *object = make_object(0x2 | 0x80000, 4, 3, 2);
    object->child = make_object(0x2, 4, 3);
    object->child->child = make_object(0x8, 4, 3);
    object->child->child->array_a = static_cast<int32_t *>(malloc(16));
    object->array_b = static_cast<int32_t *>(malloc(16));
    char name[] = "Tex";
    object->texture_names[1] = strdup(name);
    list_add_rec30(&object->ranges, RenderDrawRange{});
    object->has_draw_ranges = 1;
    EXPECT_EQ(g_render_registry.count, 3);

    render_object_free(object);
    EXPECT_EQ(g_render_registry.count, 0);
    EXPECT_EQ(gpu_headless_live_resources(), before);
    EXPECT_EQ(object->child, nullptr);
    EXPECT_EQ(object->vertex_buffer, nullptr);
    EXPECT_EQ(object->frame_buffers, nullptr);
    EXPECT_EQ(object->frame_count, 0);
    EXPECT_EQ(object->ranges.count, 0);
    EXPECT_EQ(object->texture_names[1], nullptr);
    render_object_free(object);
    EXPECT_EQ(g_render_registry.count, 0);
    delete object;
}

TEST_F(RenderObjectTest, OwnEffectsAreReleasedAndSharedOnesKept)
{
    make_device(false);
    ID3DXEffect *shared = make_effect();
    RenderObject *owner = make_object(0x2 | 0x4000, 3, 3);
    owner->effect = make_effect();
    RenderObject *user = make_object(0x2 | 0x4000, 3, 3);
    user->effect = shared;
    user->shared_effect = 1;
    int live = gpu_headless_live_resources();
    delete_object(owner);
    EXPECT_EQ(gpu_headless_live_resources(), live - 3);  // its effect and two buffers
    delete_object(user);
    EXPECT_EQ(gpu_headless_live_resources(), live - 5);
    UINT passes = 0;
    EXPECT_EQ(shared->Begin(&passes, 0), D3D_OK);
    shared->End();
    shared->Release();
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

TEST_F(RenderObjectTest, HooksTouchOnlyTheirDevicesObjectsAndSkipSharedEffects)
{
    make_device(true);
    IDirect3DDevice9 *other = nullptr;
    D3DPRESENT_PARAMETERS p = context->present;
    ASSERT_EQ(context->d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &other),
              D3D_OK);
    RenderObject *mine[2], *theirs[2];
    for (RenderObject *&object : mine) object = make_object(0x2 | 0x4000, 3, 3);
    for (RenderObject *&object : theirs) {
        object = render_object_init(new RenderObject);
        object->flags = 0x2 | 0x4000;
        object->device = other;
        render_object_create_vertex_buffer(object, 3, 3, 0);
    }
    ID3DXEffect *effect = make_effect();
    mine[1]->effect = effect;
    mine[1]->shared_effect = 1;
    ASSERT_EQ(D3DXCreateEffect(other, render_test_effect_text(), UINT(strlen(render_test_effect_text())), nullptr,
                               nullptr, 0, nullptr, &theirs[0]->effect, nullptr),
              D3D_OK);

    UINT passes;
    render_registry_effects_lost(context->device);
    EXPECT_EQ(effect->Begin(&passes, 0), D3D_OK);  // shared: not told
    effect->End();
    EXPECT_EQ(theirs[0]->effect->Begin(&passes, 0), D3D_OK);  // other device: not told
    theirs[0]->effect->End();

    render_registry_release_buffers(context->device);
    EXPECT_EQ(mine[0]->vertex_buffer, nullptr);
    EXPECT_NE(theirs[0]->vertex_buffer, nullptr);
    render_registry_restore_buffers(context->device);
    EXPECT_NE(mine[0]->vertex_buffer, nullptr);

    // Removing a device's nodes removes all of them, and only them.
    render_registry_remove_device(context->device);
    ASSERT_EQ(g_render_registry.count, 2);
    EXPECT_EQ(g_render_registry.first->object, theirs[0]);
    EXPECT_EQ(g_render_registry.last->object, theirs[1]);
    for (RenderObject *object : mine) delete_object(object);
    for (RenderObject *object : theirs) delete_object(object);
    effect->Release();
    other->Release();
}

}  // namespace
