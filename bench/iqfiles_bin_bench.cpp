// Load and save speed of the binary formats (KAL, Tessera .ibn, WAV, SPW
// binary) with 16,776,704 samples, page cache warm.  bench/compare_bin.py runs
// this with JSON output and sets the same work done by numpy and scipy beside
// it.  The files go to $KALMIRA_BENCH_DIR (default /tmp).
//
// Every load also reports peak_over_arrays: how far the process's peak
// resident size rose during the load beyond the two float arrays it returns,
// as a multiple of the file size (0 means no file-sized buffer at all).
#include "VmKalLib.h"
#include "bench_files.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>

namespace {

constexpr int kSamples = 16776704;

// A record with a tone in I and Q, made once.
IqRec &Source()
{
    static IqRec rec = [] {
        IqRec r{};
        r.Len = kSamples;
        r.Rat = 1e6f;
        r.I = static_cast<float *>(std::calloc(kSamples, sizeof(float)));
        r.Q = static_cast<float *>(std::calloc(kSamples, sizeof(float)));
        for (int k = 0; k < kSamples; k++) {
            r.I[k] = float(std::cos(0.001 * k));
            r.Q[k] = float(std::sin(0.001 * k) * 0.5);
        }
        return r;
    }();
    return rec;
}

void Name(IqRec &r, const char *file) { std::snprintf(r.INam, sizeof r.INam, "%s/%s", BenchDir().c_str(), file); }

long long FileBytes(const char *path)
{
    struct stat st;
    return stat(path, &st) == 0 ? st.st_size : 0;
}

// Resident and peak resident size in kB.
long ProcKb(const char *key)
{
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + std::strlen(key));
    return 0;
}

void ResetPeak()
{
    std::ofstream f("/proc/self/clear_refs");
    f << "5";
}

void Save(benchmark::State &st, int (*save)(IqRec), const char *file)
{
    IqRec r = Source();
    Name(r, file);
    for (auto _ : st)
        if (save(r) != 0)
            st.SkipWithError("save failed");
    st.counters["MB"] = double(FileBytes(r.INam)) / 1e6;
}

void Load(benchmark::State &st, int (*save)(IqRec), int (*load)(IqRec *), const char *file)
{
    IqRec src = Source();
    Name(src, file);
    if (save(src) != 0) {
        st.SkipWithError("cannot write the input file");
        return;
    }
    double overArrays = 0;
    for (auto _ : st) {
        IqRec r{};
        std::memcpy(r.INam, src.INam, sizeof r.INam);
        ResetPeak();
        long before = ProcKb("VmRSS:");
        if (load(&r) != 0 || r.Len <= 0)
            st.SkipWithError("load failed");
        long rise = ProcKb("VmHWM:") - before;
        double arraysKb = 2.0 * r.Len * sizeof(float) / 1024;
        overArrays = (rise - arraysKb) * 1024 / double(FileBytes(src.INam));
        FreeIqRec(&r);
    }
    st.counters["peak_over_arrays"] = overArrays;
}

void BM_KalSave(benchmark::State &st) { Save(st, SaveKAL, "bench.kal"); }
void BM_KalLoad(benchmark::State &st) { Load(st, SaveKAL, LoadKAL, "bench.kal"); }
void BM_IbnSave(benchmark::State &st) { Save(st, SaveIBN, "bench.ibn"); }
void BM_IbnLoad(benchmark::State &st) { Load(st, SaveIBN, LoadIbn, "bench.ibn"); }
void BM_WavSave(benchmark::State &st) { Save(st, SaveWav, "bench.wav"); }
void BM_WavLoad(benchmark::State &st) { Load(st, SaveWav, LoadWav, "bench.wav"); }
void BM_SpwBinSave(benchmark::State &st) { Save(st, SaveSPWBin, "bench.sig"); }
void BM_SpwBinLoad(benchmark::State &st) { Load(st, SaveSPWBin, LoadBin, "bench.sig"); }

} // namespace

BENCHMARK(BM_KalLoad)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(7);
BENCHMARK(BM_KalSave)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(7);
BENCHMARK(BM_IbnLoad)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(7);
BENCHMARK(BM_IbnSave)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(7);
BENCHMARK(BM_WavLoad)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(7);
BENCHMARK(BM_WavSave)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(7);
BENCHMARK(BM_SpwBinLoad)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(7);
BENCHMARK(BM_SpwBinSave)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(7);
BENCHMARK_MAIN();
