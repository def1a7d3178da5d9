// Runs a program's benchmarks with repetitions taken in random turns, so that a busy machine slows
// every benchmark alike, and keeps the best time of each (the one least disturbed), for programs
// that print a ratio of two benchmarks.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class BestTimeReporter : public benchmark::ConsoleReporter {
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

// Runs every benchmark `repetitions` times in random turns (flags on the command line come after and
// win) and returns the best time of each by name; empty when the command line is not understood.
inline std::map<std::string, double> bench_run_best(int argc, char **argv, int repetitions)
{
    std::vector<char *> args(argv, argv + argc);
    std::string repeat = "--benchmark_repetitions=" + std::to_string(repetitions);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, {repeat.data(), interleave});
    int count = int(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return {};
    BestTimeReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return reporter.times;
}

// The ratio of the best times of two benchmarks, or 0 when either is missing.
inline double bench_ratio(const std::map<std::string, double> &times, const char *a, const char *b, double *time_a,
                          double *time_b)
{
    auto x = times.find(a), y = times.find(b);
    if (x == times.end() || y == times.end() || y->second <= 0.0) return 0.0;
    *time_a = x->second;
    *time_b = y->second;
    return x->second / y->second;
}
