// Cost of a shader compile: the regression scripts compiled to effect text, against a reference
// measured in the same run (the same scripts only stripped of comments and cut into their
// normalised sections). Prints the ratio of the two times, so that a slow compile shows.
#include "tests/shader/regression_scripts.h"

#include "shader/shader_local.h"

#include "bench/bench_best.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

const uint32_t kOptions = 0x10002 | 0x800 | 0x1000 | 0x2000;

void BM_CompileScripts(benchmark::State &state)
{
    ShaderCompiler *c = shader_compiler_construct(new ShaderCompiler);
    for (auto _ : state) {
        for (const RegressionScript &r : kRegressionScripts) {
            shader_compiler_reset(c);
            bool ok = shader_compile_script(c, r.script, kOptions | (r.ps20 ? 0x40000u : 0u));
            char *text = ok ? shader_build_effect_text(c) : nullptr;
            benchmark::DoNotOptimize(text ? text[0] : 0);
            free(text);
        }
    }
    shader_release_compiler(c);
    delete c;
}
BENCHMARK(BM_CompileScripts)->Unit(benchmark::kMicrosecond);

// The reference: reading each script and cutting it into normalised sections, nothing translated.
void BM_ReadSections(benchmark::State &state)
{
    for (auto _ : state) {
        for (const RegressionScript &r : kRegressionScripts) {
            char *text = shader_strip_comments(r.script);
            int position = 0;
            while (const char *word = str_next_word(text, &position)) {
                if (word[0] != '[' || std::string(word).find("DEFINES") != std::string::npos) continue;
                char *section = shader_normalise_statements(text, &position);
                benchmark::DoNotOptimize(section ? section[0] : 0);
                free(section);
            }
            free(text);
        }
    }
}
BENCHMARK(BM_ReadSections)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    std::map<std::string, double> times = bench_run_best(argc, argv, 5);
    double compile = 0.0, read = 0.0;
    double ratio = bench_ratio(times, "BM_CompileScripts", "BM_ReadSections", &compile, &read);
    if (ratio > 0.0)
        printf("shader: %zu scripts compiled in %.1f us (read into sections %.1f us), ratio compile / read = %.2f\n",
               sizeof kRegressionScripts / sizeof kRegressionScripts[0], compile, read, ratio);
    return 0;
}
