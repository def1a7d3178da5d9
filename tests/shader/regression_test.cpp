// Whole-script regression: representative scripts compile through the compile entry; those the
// assembler can express become effects on the headless device, the others come back with a
// message.
#include "tests/shader/regression_scripts.h"
#include "tests/shader/shader_test_util.h"

#include "platform/gpu/gpu_effect.h"
#include "platform/gpu/headless/gpu_headless.h"

namespace {

class RegressionTest : public HeadlessDeviceTest {};

TEST_F(RegressionTest, ScriptsCompileOrReportWhy)
{
    for (const RegressionScript &r : kRegressionScripts) {
        uint32_t flags = 0;
        ShaderCompiler *compiler = nullptr;
        ID3DXEffect *effect = nullptr;
        ShaderObjectFields object = {&flags, &compiler, &effect, device, {1, 1, 1, (uint8_t)r.ps20}, nullptr};
        char *message = shader_compile_object(&object, r.script);
        std::string text = message ? message : "";
        free(message);
        switch (r.outcome) {
        case REGRESSION_EFFECT:
            EXPECT_EQ(text, "") << r.name;
            EXPECT_NE(effect, nullptr) << r.name;
            EXPECT_EQ(flags, SHADER_OBJECT_EFFECT_READY) << r.name;
            break;
        case REGRESSION_DEVICE_REFUSES:
            EXPECT_EQ(text.rfind("Error in line (owner script) : ", 0), 0u) << r.name << "\n" << text;
            EXPECT_NE(text.find("effect("), std::string::npos) << r.name;
            EXPECT_EQ(effect, nullptr) << r.name;
            break;
        case REGRESSION_NO_FORM:
            EXPECT_EQ(text.rfind("No form of this built-in function for the target in line : 4 : ", 0), 0u)
                << r.name << "\n" << text;
            break;
        }
        shader_release_object(&object);
    }
}

} // namespace
