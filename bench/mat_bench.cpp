// MAT v5 files of VmKalLib on 16,776,704 samples: SaveMLabMix writes the
// variables "I" and "Q" as 1 x N doubles, LoadMLabMix reads them back.
//
// Files go to $KALMIRA_BENCH_DIR (default /tmp); bench/compare_mat.py runs
// this program and times scipy.io and Octave on the same data.  The save
// includes the flush to disk that every writer of the library performs
// before it replaces the destination.
#include "VmKalLib.h"
#include "bench_files.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int N = BenchSignal::kSamples;

IqRec Rec(const char *file, const BenchSignal *s)
{
    IqRec r;
    std::memset(&r, 0, sizeof r);
    std::snprintf(r.INam, sizeof r.INam, "%s", BenchPath(file).c_str());
    if (s) {
        r.Len = N;
        r.I = const_cast<float *>(s->i.data());
        r.Q = const_cast<float *>(s->q.data());
    }
    return r;
}

void MatSave(benchmark::State &state)
{
    const BenchSignal &sig = BenchSignal::Get();
    for (auto _ : state)
        if (SaveMLabMix(Rec("kalmira_bench.mat", &sig)) != 0)
            state.SkipWithError("SaveMLabMix failed");
    state.SetItemsProcessed(state.iterations() * N);
}

void MatLoad(benchmark::State &state)
{
    {
        const BenchSignal &sig = BenchSignal::Get();
        if (SaveMLabMix(Rec("kalmira_bench.mat", &sig)) != 0)
            state.SkipWithError("SaveMLabMix failed");
    }
    for (auto _ : state) {
        IqRec r = Rec("kalmira_bench.mat", nullptr);
        if (LoadMLabMix(&r) != 0 || r.Len != N)
            state.SkipWithError("LoadMLabMix failed");
        FreeIqRec(&r);
    }
    state.SetItemsProcessed(state.iterations() * N);
}

} // namespace

// One call per repetition, so that compare_mat.py can take the best of five
// as it does for the other tools.
BENCHMARK(MatSave)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);
BENCHMARK(MatLoad)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);
BENCHMARK_MAIN();
