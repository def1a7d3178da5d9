// The graphics device's CPU reference (tests/gl/gpu_reference.h), which the OpenGL pictures are
// compared with, agrees with the text interpreter on the vertex programs of the regression
// scripts: a parser fault that OpenGL and the reference would share shows here.
#include "tests/gl/gpu_reference.h"
#include "tests/shader/asm_interpreter.h"
#include "tests/shader/regression_scripts.h"
#include "tests/shader/shader_test_util.h"

#include <cmath>
#include <random>

namespace {

bool near(float a, float b) { return std::fabs(a - b) <= 1e-4f * (1.0f + std::fabs(a)); }

class ReferenceInterpreter : public CompilerTest {};

TEST_F(ReferenceInterpreter, AgreesWithTheTextInterpreter)
{
    int compared = 0;  // scripts with a vertex program
    for (const RegressionScript &r : kRegressionScripts) {
        if (r.outcome != REGRESSION_EFFECT) continue;
        SCOPED_TRACE(r.name);
        shader_compiler_reset(c);
        uint32_t caps = 0x800 | 0x1000 | 0x2000 | (r.ps20 ? 0x40000 : 0);
        ASSERT_TRUE(shader_compile_script(c, r.script, caps | 0x10002));
        char *text = shader_build_effect_text(c);
        std::string effect = text;
        free(text);
        GpuEffectDesc desc;
        GpuParseError error;
        ASSERT_TRUE(gpu_effect_parse(effect.data(), effect.size(), &desc, &error)) << error.message;
        // Parameters with values, so that every constant the program reads is something.
        std::mt19937 rng(7);
        std::map<std::string, std::vector<float>> parameters;
        for (const GpuEffectParameter &p : desc.parameters) {
            std::vector<float> v(p.type == GPU_PARAM_MATRIX ? 16 : 4);
            for (float &x : v) x = float(int(rng() % 200) - 100) / 50.0f;
            parameters[p.name] = v;
        }
        AsmMachine a;
        std::vector<std::string> lines;
        std::string message;
        if (!asm_program_of(effect, false, parameters, &a, &lines, &message)) continue;  // no vertex program
        const GpuProgram *program = nullptr;
        for (const auto &p : desc.programs)
            if (p->kind == GPU_SHADER_VERTEX && !program) program = p.get();
        ASSERT_NE(program, nullptr);
        RefMachine m = {};
        for (int i = 0; i < 256; i++)
            for (int k = 0; k < 4; k++) m.c[i][k] = a.c[i][size_t(k)];
        for (int i = 0; i < 16; i++)
            for (int k = 0; k < 4; k++) m.v[i][k] = a.v[i][size_t(k)] = float(int(rng() % 200) - 100) / 100.0f;
        ASSERT_TRUE(asm_run(&a, lines, &message)) << message << "\n" << effect;
        ref_run(*program, &m, nullptr, nullptr);
        // Outputs the program writes (the two start unwritten outputs differently).
        for (const GpuInstruction &in : program->code) {
            if (!in.has_dest) continue;
            for (int k = 0; k < 4; k++) {
                if (!(in.dest.mask & (1 << k))) continue;
                float ours = 0.0f, theirs = 0.0f;
                if (in.dest.file == GPU_REG_POSITION) {
                    ours = m.o_pos[k];
                    theirs = a.o_pos[size_t(k)];
                } else if (in.dest.file == GPU_REG_COLOR_OUT && in.dest.index < 2) {
                    ours = m.o_d[in.dest.index][k];
                    theirs = a.o_d[in.dest.index][size_t(k)];
                } else if (in.dest.file == GPU_REG_TEXCOORD_OUT && in.dest.index < 8) {
                    ours = m.o_t[in.dest.index][k];
                    theirs = a.o_t[in.dest.index][size_t(k)];
                }
                EXPECT_TRUE(near(ours, theirs)) << "line " << in.line << " component " << k << ": " << ours << " vs " << theirs;
            }
        }
        compared++;
    }
    EXPECT_GE(compared, 5);
}

}  // namespace
