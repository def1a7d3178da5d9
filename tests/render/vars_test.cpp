// Render variables, the technique choice of the built-in effects, the log and the 2D batch flush.
#include "tests/render/render_test_util.h"

#include "platform/system.h"
#include "tests/test_util.h"

#include <string>
#include <vector>

namespace {

using RenderVarsTest = RenderTest;

TEST_F(RenderVarsTest, BuiltinVariablesComeInTableOrderWithTheirDefaults)
{
    const std::vector<std::pair<std::string, int>> expected = {
        {"h", 20}, {"f", 1}, {"B", 1}, {"H", 1}, {"I", 0}, {"J", 13}, {"K", 1}, {"L", 1}, {"Q", 1},
        {"M", 1},  {"N", 0}, {"O", 0}, {"P", 0}, {"R", 1}, {"T", 0},  {"S", 0}, {"U", 0}, {"W", 0},
        {"X", 0},  {"Y", 0}, {"Z", 0}, {"D", 256}, {"a", 0}, {"c", 0}, {"b", 0}, {"E", 1}, {"G", 0},
        {"F", 0},  {"d", 1}, {"e", 1}, {"V", 1}, {"A", 0}, {"Pixel Shaders 2.0", 0}};
    auto check = [&] {
        ASSERT_EQ(context->variables.count, int(expected.size()));
        const RenderVariable *v = context->variables.first;
        for (const auto &[name, value] : expected) {
            ASSERT_NE(v, nullptr);
            EXPECT_EQ(v->name, name);
            EXPECT_EQ(v->value, value) << name;
            EXPECT_EQ(v->hash, render_var_name_hash(name.c_str()));
            v = v->next;
        }
    };
    check();

    // Running the set-up again brings the defaults back without new nodes.
    *render_var_ref(context, "J") = 19;
    *render_var_ref(context, "D") = 4096;
    render_vars_create_builtin(context);
    check();
}

TEST_F(RenderVarsTest, LookupsCreateOnlyWhenAsked)
{
    EXPECT_EQ(render_var_get(context, "nope"), kRenderVarMissing);
    int count = context->variables.count;
    *render_var_ref(context, "nope") = 7;
    render_var_create(context, "nope");
    EXPECT_EQ(render_var_get(context, "nope"), 7);
    EXPECT_EQ(context->variables.count, count + 1);

    // Equal byte sums are told apart by the name: "ba" and "ab".
    *render_var_ref(context, "ab") = 1;
    *render_var_ref(context, "ba") = 2;
    EXPECT_EQ(render_var_get(context, "ab"), 1);
    EXPECT_EQ(render_var_get(context, "ba"), 2);

    // A name longer than the record keeps its first 63 bytes and is found by them.
    std::string long_name(100, 'q');
    *render_var_ref(context, long_name.c_str()) = 5;
    EXPECT_EQ(render_var_get(context, long_name.c_str()), 5);
    EXPECT_EQ(strlen(render_var_find(context, long_name.c_str())->name), 63u);
}

struct TechniqueCase {
    int j, a, c, b;  // -666: the variable is missing
    uint8_t multitexture, dot3, ps14;
    const char *pair, *third;
};

class RenderTechniqueTest : public RenderTest {
protected:
    ID3DXEffect *effects[3] = {};

    void SetUp() override
    {
        RenderTest::SetUp();
        make_device(false);
        for (int i = 0; i < 3; i++) context->effects[6 + i] = effects[i] = make_effect();
    }

    void TearDown() override
    {
        g_render_cap_multitexture = g_render_cap_dot3 = g_render_cap_ps14 = 0;
        RenderTest::TearDown();
    }

    void set(const char *name, int value)
    {
        if (value == kRenderVarMissing) {
            RenderVariable *v = render_var_find(context, name);
            if (v) list_delete(&context->variables, v);
        } else {
            *render_var_ref(context, name) = value;
        }
    }

    std::string technique(ID3DXEffect *effect)
    {
        for (int i = 0; i < 8; i++) {
            std::string name = "T" + std::to_string(i);
            if (effect->GetCurrentTechnique() == effect->GetTechniqueByName(name.c_str())) return name;
        }
        return "none";
    }
};

TEST_F(RenderTechniqueTest, EveryRowOfTheChoiceGivesItsTechnique)
{
    const int M = kRenderVarMissing;
    const TechniqueCase cases[] = {
        // "J" = 19 wins over everything; the third effect then goes on to the next valid one.
        {19, 1, 3, 0, 1, 1, 1, "T4", "T7"},
        {19, 0, 0, 1, 0, 0, 0, "T4", "T7"},
        // "a" 1 or 2: T2 with multitexture, else T3.
        {13, 1, 0, 0, 1, 1, 1, "T2", "none"},
        {13, 2, 0, 0, 0, 1, 1, "T3", "none"},
        // Otherwise by the best capability.
        {13, 0, 0, 0, 1, 1, 1, "T0", "none"},
        {13, 0, 0, 0, 1, 1, 0, "T1", "none"},
        {13, M, 0, 0, 1, 0, 0, "T2", "none"},
        {13, 0, 0, 0, 0, 0, 0, "T3", "none"},
        // "c" >= 3: T4 when "a" is missing or non-zero, else T2; the next valid one after it.
        {13, 1, 3, 0, 1, 0, 0, "T2", "T5"},
        {13, M, 4, 0, 1, 0, 0, "T2", "T5"},
        {13, 0, 3, 0, 1, 0, 0, "T2", "T3"},
        // "c" 1 or 2 names T(c - 1); a missing "c" names T-667, which the effect lacks.
        {13, 0, 1, 0, 1, 0, 0, "T2", "T1"},
        {13, 0, 2, 0, 1, 0, 0, "T2", "T3"},
        {13, 0, M, 0, 1, 0, 0, "T2", "T0"},
    };
    // Without two-sided stencil T2 is not valid: the search from T1 ends on T3.
    D3DCAPS9 caps;
    gpu_headless_default_caps(&caps);
    caps.StencilCaps = 0;
    gpu_headless_set_caps(&caps);
    for (const TechniqueCase &t : cases) {
        for (ID3DXEffect *effect : effects) effect->SetTechnique(effect->GetTechniqueByName("T6"));
        context->current_third_effect = nullptr;
        set("J", t.j);
        set("a", t.a);
        set("c", t.c);
        set("b", t.b);
        g_render_cap_multitexture = t.multitexture;
        g_render_cap_dot3 = t.dot3;
        g_render_cap_ps14 = t.ps14;
        render_select_effect_techniques(context);
        std::string label = "J " + std::to_string(t.j) + " a " + std::to_string(t.a) + " c " + std::to_string(t.c);
        EXPECT_EQ(technique(effects[0]), t.pair) << label;
        EXPECT_EQ(technique(effects[1]), t.pair) << label;
        EXPECT_EQ(context->current_pair_effect, t.b == 0 ? effects[0] : effects[1]) << label;
        // "c" = 0 sets no technique by name and then searches from the first.
        const char *third = std::string(t.third) == "none" ? "T0" : t.third;
        EXPECT_EQ(technique(effects[2]), third) << label;
        // After T7 no technique follows: it stays set and the current third effect is not changed.
        EXPECT_EQ(context->current_third_effect, t.j == 19 ? nullptr : effects[2]) << label;
    }
}

TEST_F(RenderTechniqueTest, WithoutEffectSixThePairIsLeftAlone)
{
    context->effects[6] = nullptr;
    effects[0]->SetTechnique(effects[0]->GetTechniqueByName("T6"));
    set("J", 19);
    render_select_effect_techniques(context);
    EXPECT_EQ(technique(effects[0]), "T6");
    EXPECT_EQ(context->current_pair_effect, nullptr);
    EXPECT_EQ(technique(effects[2]), "T7");
    context->effects[6] = effects[0];
}

TEST(RenderLogTest, FirstLineOfARunTruncatesTheFileThenLinesAreAppended)
{
    TempDir dir;
    sys_path_reset(dir.path.c_str(), (dir / "c").c_str());
    test_write_file(dir / "rar3a_log.txt", "old contents\n");
    g_render_log_opened = false;
    render_log_line("first");
    render_log_line("second");
    EXPECT_EQ(test_read_file(dir / "rar3a_log.txt"), "first\nsecond\n");
}

TEST_F(RenderVarsTest, TheBatchFlushDrawsOnceAndEmptiesTheBatch)
{
    make_device(false);
    RenderBatchVertex batch[6] = {};
    batch[0].colour = 0xFF00FF00u;
    context->batch = batch;
    gpu_headless_clear_draws();
    render_flush_2d_batch(context);  // empty: no call
    EXPECT_EQ(gpu_headless_draw_count(), 0);

    ASSERT_TRUE(render_begin_frame(context));
    context->batch_triangles = 2;
    render_flush_2d_batch(context);
    render_flush_2d_batch(context);
    context->device->EndScene();
    context->batch = nullptr;
    ASSERT_EQ(gpu_headless_draw_count(), 1);
    const GpuDrawRecord *draw = gpu_headless_draw(0);
    EXPECT_TRUE(draw->user_pointer);
    EXPECT_EQ(draw->type, D3DPT_TRIANGLELIST);
    EXPECT_EQ(draw->primitive_count, 2u);
    EXPECT_EQ(draw->stride, 28u);
    EXPECT_EQ(draw->fvf, 0x144u);
    EXPECT_EQ(draw->user_vertices.size(), 6u * 28);
    EXPECT_EQ(render_test_read<uint32_t>(draw->user_vertices.data(), 16), 0xFF00FF00u);
    EXPECT_EQ(context->batch_triangles, 0);
}

}  // namespace
