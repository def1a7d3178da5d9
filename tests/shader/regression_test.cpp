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

namespace {

// The effect text's line (from 1) of the n-th line holding `word`, or -1.
int line_of(const char *text, const char *word, int n)
{
    int line = 1;
    for (const char *at = text; *at; line++) {
        const char *end = strchr(at, '\n');
        std::string row(at, end ? size_t(end - at) : strlen(at));
        if (row.find(word) != std::string::npos && --n == 0) return line;
        if (!end) break;
        at = end + 1;
    }
    return -1;
}

TEST_F(RegressionTest, SampleAfterArithmeticNamesItsTexldLine)
{
    const RegressionScript *r = nullptr;
    for (const RegressionScript &s : kRegressionScripts)
        if (strcmp(s.name, "sample after arithmetic") == 0) r = &s;
    ASSERT_NE(r, nullptr);
    uint32_t flags = 0;
    ShaderCompiler *compiler = nullptr;
    ID3DXEffect *effect = nullptr;
    ShaderObjectFields object = {&flags, &compiler, &effect, device, {1, 1, 1, 0}, nullptr};
    char *message = shader_compile_object(&object, r->script);
    ASSERT_NE(message, nullptr);
    ASSERT_NE(compiler, nullptr);
    char *text = shader_build_effect_text(compiler);
    int texld = line_of(text, "texld", 2);
    EXPECT_GT(texld, 0) << text;
    EXPECT_NE(std::string(message).find("effect(" + std::to_string(texld) + ","), std::string::npos)
        << message << "\n" << text;
    EXPECT_NE(std::string(message).find("texture instruction after arithmetic"), std::string::npos) << message;
    free(text);
    free(message);
    shader_release_object(&object);
}

} // namespace
