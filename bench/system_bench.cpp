// Cost of the path layer on the calls the game makes while loading: opens and folder listings.
#include "platform/system.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

std::string make_tree()
{
    std::string root = (std::filesystem::temp_directory_path() / "zavbench-system").string();
    std::filesystem::create_directories(root + "/data/parcours/Set1");
    for (int i = 0; i < 18; i++) {
        FILE *f = fopen((root + "/data/parcours/Set1/hole" + std::to_string(i) + ".qel").c_str(), "wb");
        if (f) fclose(f);
    }
    sys_path_reset(root.c_str(), (root + "/user").c_str());
    return root;
}

void BM_OpenExactCase(benchmark::State &state)
{
    make_tree();
    for (auto _ : state) {
        FILE *f = sys_fopen("data\\parcours\\Set1\\hole7.qel", "rb");
        benchmark::DoNotOptimize(f);
        if (f) fclose(f);
    }
}
BENCHMARK(BM_OpenExactCase);

void BM_OpenOtherCase(benchmark::State &state)
{
    make_tree();
    for (auto _ : state) {
        FILE *f = sys_fopen("DATA\\PARCOURS\\SET1\\HOLE7.QEL", "rb");
        benchmark::DoNotOptimize(f);
        if (f) fclose(f);
    }
}
BENCHMARK(BM_OpenOtherCase);

void BM_ListHoles(benchmark::State &state)
{
    make_tree();
    for (auto _ : state) {
        _finddata_t data;
        intptr_t h = _findfirst("data/parcours/Set1/*.qel", &data);
        int n = 0;
        if (h != -1) {
            do n++;
            while (_findnext(h, &data) == 0);
            _findclose(h);
        }
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_ListHoles);

}  // namespace
