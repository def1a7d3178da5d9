// Cost of a shader compile: the regression scripts compiled to effect text, against a reference
// measured in the same run (the same scripts only stripped of comments and cut into their
// normalised sections). Prints the ratio of the two times, so that a slow compile shows.
#include "tests/shader/regression_scripts.h"

#include "shader/shader_local.h"

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

// Keeps the best time per iteration of each benchmark over its repetitions.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> times;

    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
            std::string name = run.run_name.function_name;
            double time = run.GetAdjustedRealTime();
            if (!times.count(name) || time < times[name]) times[name] = time;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char **argv)
{
    // Repetitions taken in random turns, so that a busy machine slows both alike.
    std::vector<char *> args(argv, argv + argc);
    char repetitions[] = "--benchmark_repetitions=5";
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, {repetitions, interleave});
    int count = int(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto compile = reporter.times.find("BM_CompileScripts");
    auto read = reporter.times.find("BM_ReadSections");
    if (compile != reporter.times.end() && read != reporter.times.end() && read->second > 0.0)
        printf("shader: %zu scripts compiled in %.1f us (read into sections %.1f us), ratio compile / read = %.2f\n",
               sizeof kRegressionScripts / sizeof kRegressionScripts[0], compile->second, read->second,
               compile->second / read->second);
    benchmark::Shutdown();
    return 0;
}
