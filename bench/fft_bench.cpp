// Transform times of the numeric layer against FFTW on the lengths the
// spectrum display meets: the largest record (16,776,704 = 2^9 7 31 151),
// 2^24, a round million, and two primes that take the chirp-z path.
// compare_fft.py runs this program and adds numpy.fft and scipy.fft.
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "fft.h"
#include "fftint.h"

#ifdef HAVE_FFTW3
#include <fftw3.h>
#endif

namespace {

// Processor time of this thread: the transforms are single-threaded, and on a
// shared machine the wall clock also counts other programs' time slices.
double ThreadSeconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + 1e-9 * t.tv_nsec;
}

const int kLengths[] = {16776704, 1 << 24, 1000000, 1000003, 1009};

void Fill(double *re, double *im, int n)
{
    std::mt19937_64 gen(n);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int k = 0; k < n; ++k) {
        re[k] = u(gen);
        im[k] = u(gen);
    }
}

// The transform is in place, so every iteration starts from a fresh copy of
// the input; only the transform is timed.
void Ours(benchmark::State &state)
{
    const int n = static_cast<int>(state.range(0));
    std::vector<double> re0(n), im0(n), re(n), im(n);
    Fill(re0.data(), im0.data(), n);
    for (auto _ : state) {
        std::memcpy(re.data(), re0.data(), n * sizeof(double));
        std::memcpy(im.data(), im0.data(), n * sizeof(double));
        double t0 = ThreadSeconds();
        int r = FFT(re.data(), im.data(), n);
        double t1 = ThreadSeconds();
        if (r != 0)
            state.SkipWithError("FFT failed");
        benchmark::DoNotOptimize(re.data());
        state.SetIterationTime(t1 - t0);
    }
    state.counters["level"] = kalfft::EngineLevel();
}

#ifdef HAVE_FFTW3
// FFTW with an estimated plan (no measuring), planned outside the timing.
void Fftw(benchmark::State &state)
{
    const int n = static_cast<int>(state.range(0));
    fftw_complex *in = fftw_alloc_complex(n), *out = fftw_alloc_complex(n);
    fftw_plan plan = fftw_plan_dft_1d(n, in, out, FFTW_FORWARD, FFTW_ESTIMATE);
    std::vector<double> re(n), im(n);
    Fill(re.data(), im.data(), n);
    for (int k = 0; k < n; ++k) {
        in[k][0] = re[k];
        in[k][1] = im[k];
    }
    for (auto _ : state) {
        double t0 = ThreadSeconds();
        fftw_execute(plan);
        double t1 = ThreadSeconds();
        benchmark::DoNotOptimize(out);
        state.SetIterationTime(t1 - t0);
    }
    fftw_destroy_plan(plan);
    fftw_free(in);
    fftw_free(out);
}
#endif

void Register()
{
    for (int n : kLengths) {
#ifdef HAVE_FFTW3
        benchmark::RegisterBenchmark("fftw", Fftw)->Arg(n)->UseManualTime()->Unit(benchmark::kMillisecond);
#endif
        benchmark::RegisterBenchmark("ours", Ours)->Arg(n)->UseManualTime()->Unit(benchmark::kMillisecond);
    }
}

} // namespace

// --engine-level=N runs our transforms on a lower instruction-set level
// (0 SSE2, 1 AVX2, 2 AVX-512), to see how machines without the wider
// registers fare.
int main(int argc, char **argv)
{
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--engine-level=", 15) == 0)
            kalfft::SetEngineLevel(std::atoi(argv[i] + 15));
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    Register();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
