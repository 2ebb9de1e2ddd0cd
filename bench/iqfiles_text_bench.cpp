// Text formats of VmKalLib on 16,776,704 samples: one number per line (I and
// Q files) and one "I Q" pair per line, saved and loaded, beside the usual
// way of writing such files (fprintf("%0.7e\n") per value).
//
// Files go to $KALMIRA_BENCH_DIR (default /tmp); bench/compare_text.py runs
// this program and times numpy and pandas on the same files.
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

IqRec Rec(const char *fi, const char *fq = "")
{
    IqRec r;
    std::memset(&r, 0, sizeof r);
    std::snprintf(r.INam, sizeof r.INam, "%s", BenchPath(fi).c_str());
    std::snprintf(r.QNam, sizeof r.QNam, "%s", fq[0] ? BenchPath(fq).c_str() : "");
    r.Len = N;
    r.I = const_cast<float *>(BenchSignal::Get().i.data());
    r.Q = const_cast<float *>(BenchSignal::Get().q.data());
    r.Rat = 1e6f;
    return r;
}

void Save(benchmark::State &st, int (*save)(IqRec), IqRec r)
{
    for (auto _ : st)
        if (save(r) != 0)
            st.SkipWithError("save failed");
}

void Load(benchmark::State &st, int (*load)(IqRec *), const char *fi, const char *fq = "")
{
    BenchSignal::Get(); // made once, outside the timing, when a load runs on its own
    for (auto _ : st) {
        IqRec r = Rec(fi, fq);
        r.I = r.Q = nullptr;
        r.Len = 0;
        if (load(&r) != 0 || r.Len != N)
            st.SkipWithError("load failed");
        FreeIqRec(&r);
    }
}

void BM_SglSave(benchmark::State &st) { Save(st, SaveMCadSgl, Rec("bench_text.i", "bench_text.q")); }
void BM_SglLoad(benchmark::State &st) { Load(st, LoadMCadSgl, "bench_text.i", "bench_text.q"); }
void BM_MixSave(benchmark::State &st) { Save(st, SaveMCadMix, Rec("bench_text.asc")); }
void BM_MixLoad(benchmark::State &st) { Load(st, LoadCsapMix, "bench_text.asc"); }

// How such files are usually written: one fprintf per value.
void BM_SglFprintf(benchmark::State &st)
{
    const BenchSignal &s = BenchSignal::Get();
    for (auto _ : st) {
        for (const auto &[name, a] : {std::pair{"bench_fprintf.i", &s.i}, std::pair{"bench_fprintf.q", &s.q}}) {
            FILE *f = std::fopen(BenchPath(name).c_str(), "w");
            for (float v : *a)
                std::fprintf(f, "%0.7e\n", double(v));
            std::fclose(f);
        }
    }
}

void BM_MixFprintf(benchmark::State &st)
{
    const BenchSignal &s = BenchSignal::Get();
    for (auto _ : st) {
        FILE *f = std::fopen(BenchPath("bench_fprintf.asc").c_str(), "w");
        for (int k = 0; k < N; ++k)
            std::fprintf(f, "%0.7e %0.7e\n", double(s.i[k]), double(s.q[k]));
        std::fclose(f);
    }
}

} // namespace

BENCHMARK(BM_SglSave)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SglLoad)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SglFprintf)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_MixSave)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MixLoad)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MixFprintf)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_MAIN();
