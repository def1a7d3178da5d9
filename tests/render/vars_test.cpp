// The technique choice of the built-in effects.
#include "tests/render/render_test_util.h"

#include "platform/system.h"
#include "tests/test_util.h"

#include <string>
#include <vector>

namespace {

using RenderVarsTest = RenderTest;

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
        for (int i = 0; i < 3; i++) {
            if (context->effects[6 + i]) context->effects[6 + i]->Release();  // the built-ins give way
            context->effects[6 + i] = effects[i] = make_effect();
        }
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

}  // namespace
