// Mixed-radix engine: factorization, tables, digit reversal and the set-up of
// the stage passes.  The stages themselves are in engine.inc.
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "fftint.h"

using kalfft::Plan;

int factorize(int n, int f[FFT_MAX_FACTORS])
{
    static const int radices[] = {10, 8, 5, 4, 3, 2};
    int found[FFT_MAX_FACTORS + 8];
    int count = 0, rest = n;
    if (n == 1) {
        f[1] = 1;
        return 1;
    }
    for (int r : radices)
        while (rest >= 2 && rest % r == 0) {
            found[count++] = r;
            rest /= r;
        }
    // 2 * 8 costs more than 4 * 4.
    if (count > 0 && found[count - 1] == 2) {
        for (int j = count - 2; j >= 0; --j)
            if (found[j] == 8) {
                found[j] = 4;
                found[count - 1] = 4;
                break;
            }
    }
    if (rest >= 2) {
        for (int k = 2; k < std::sqrt(static_cast<double>(rest)) + 1; ++k)
            while (rest % k == 0) {
                found[count++] = k;
                rest /= k;
            }
        if (rest >= 2)
            found[count++] = rest;
    }
    for (int j = 0; j < count; ++j)
        f[j + 1] = found[count - 1 - j];
    return count;
}

void transTableSetup(int n, int count, const int f[], int sofar[FFT_MAX_FACTORS],
                     int remain[FFT_MAX_FACTORS])
{
    sofar[1] = 1;
    remain[0] = n;
    remain[1] = n / f[1];
    for (int i = 2; i <= count; ++i) {
        sofar[i] = sofar[i - 1] * f[i - 1];
        remain[i] = remain[i - 1] / f[i];
    }
}

namespace {

// Widening a float is exact: the spectrum's input permutes straight from its
// float samples.
template <typename In>
void PermuteFrom(int n, const int f[], const int remain[], const In *xr, const In *xi,
                 double *yr, double *yi)
{
    int digit[FFT_MAX_FACTORS] = {};
    long long k = 0;
    for (int i = 0; i < n - 1; ++i) {
        yr[i] = xr[k];
        yi[i] = xi[k];
        k += remain[1];
        ++digit[1];
        int j = 1;
        while (digit[j] >= f[j]) {
            digit[j] = 0;
            k = k - remain[j - 1] + remain[j + 1];
            ++j;
            ++digit[j];
        }
    }
    yr[n - 1] = xr[n - 1];
    yi[n - 1] = xi[n - 1];
}

} // namespace

void permute(int n, int count, const int f[], const int remain[], const double *xr,
             const double *xi, double *yr, double *yi)
{
    PermuteFrom(n, f, remain, xr, xi, yr, yi);
}

void initTrig(int radix, double *trigRe, double *trigIm)
{
    const double w = 2.0 * 3.14159265358979323846 / radix;
    trigRe[0] = 1.0;
    trigIm[0] = 0.0;
    if (radix < 2)
        return;
    const double c = std::cos(w), s = -std::sin(w);
    trigRe[1] = c;
    trigIm[1] = s;
    for (int k = 2; k < radix; ++k) {
        trigRe[k] = c * trigRe[k - 1] - s * trigIm[k - 1];
        trigIm[k] = s * trigRe[k - 1] + c * trigIm[k - 1];
    }
}

namespace {

bool Grow(double *&buf, size_t &cap, size_t need)
{
    if (cap >= need)
        return true;
    double *p = static_cast<double *>(std::realloc(buf, need * sizeof(double)));
    if (p == nullptr)
        return false;
    buf = p;
    cap = need;
    return true;
}

// e^(-2 pi i t / n) for every t < n from two tables of about sqrt(n) entries.
bool RootTable(FFTWork *work, long long n)
{
    if (work->tabN == n)
        return true;
    int shift = 0;
    while ((1LL << (2 * shift)) < n)
        ++shift;
    const long long lo = 1LL << shift, hi = (n + lo - 1) / lo;
    if (!Grow(work->tab, work->tabCap, 2 * static_cast<size_t>(lo + hi)))
        return false;
    auto root = [n](long long t, double *out) {
        long double a = 6.283185307179586476925286766559L * t / n;
        double angle = static_cast<double>(a);
        out[0] = std::cos(angle);
        out[1] = -std::sin(angle);
    };
    for (long long t = 0; t < lo; ++t)
        root(t, work->tab + 2 * t);
    for (long long h = 0; h < hi; ++h)
        root(h * lo, work->tab + 2 * (lo + h));
    work->tabN = n;
    work->tabShift = shift;
    return true;
}

// Stages are grouped into passes over the data.  A large transform starts
// with the digit reversal fused into its first pass (blocks of at most
// kFirst points, kLanes at a time); a smaller one is permuted first and then
// runs every stage whose data sets fit a cache-sized block.  The remaining
// stages follow in runs on gathered columns of at most kRows rows.
void PlanPasses(Plan &plan)
{
    auto blockEnd = [&plan](long long limit) {
        int k = 1;
        while (k < plan.m && static_cast<long long>(plan.sofar[k + 1]) * plan.f[k + 1] <= limit)
            ++k;
        return k;
    };
    int k = blockEnd(kalfft::kBlock);
    plan.tailStart = 0;
    if (plan.n >= kalfft::kFusedFrom) {
        // Leave at least kLanes points of tail for the lanes.
        int first = blockEnd(kalfft::kFirst);
        while (first > 1 && plan.remain[first] < kalfft::kLanes)
            --first;
        if (first < plan.m && plan.remain[first] >= kalfft::kLanes) {
            k = first;
            int t = plan.m;
            long long lanes = plan.f[t];
            while (lanes < kalfft::kLanes && t - 1 > k)
                lanes *= plan.f[--t];
            plan.tailStart = t;
        }
    }
    plan.passes = 1;
    plan.passEnd[0] = 0;
    plan.passEnd[1] = k;
    while (k < plan.m) {
        const long long width = plan.sofar[k + 1];
        int last = k + 1;
        while (last < plan.m &&
               static_cast<long long>(plan.sofar[last + 1]) * plan.f[last + 1] / width <= kalfft::kRows)
            ++last;
        plan.passEnd[++plan.passes] = last;
        k = last;
    }
}

// 0, FFT_ERR_LENGTH for a factor list that does not fit n or the work area,
// FFT_ERR_MEMORY when the tables cannot grow.
int BuildPlan(Plan &plan, FFTWork *work, int n, int count, const int *f)
{
    plan.n = n;
    if (count < 0) {
        plan.m = factorize(n, plan.f);
    } else {
        if (count < 1 || count >= FFT_MAX_FACTORS || f == nullptr)
            return FFT_ERR_LENGTH;
        long long product = 1;
        for (int i = 1; i <= count; ++i) {
            if (f[i] < 2)
                return FFT_ERR_LENGTH;
            plan.f[i] = f[i];
            product *= f[i];
            if (product > n)
                return FFT_ERR_LENGTH;
        }
        if (product != n)
            return FFT_ERR_LENGTH;
        plan.m = count;
    }
    size_t trigSize = 0;
    for (int i = 1; i <= plan.m; ++i) {
        // Even radices other than these have no kernel (the general one is for odd ones).
        const int r = plan.f[i];
        if (r > FFT_MAX_RADIX || (r % 2 == 0 && r != 2 && r != 4 && r != 8 && r != 10))
            return FFT_ERR_LENGTH;
        trigSize += 2 * static_cast<size_t>(plan.f[i]);
    }
    transTableSetup(n, plan.m, plan.f, plan.sofar, plan.remain);
    if (!Grow(work->trig, work->trigCap, trigSize) || !RootTable(work, n))
        return FFT_ERR_MEMORY;
    size_t off = 0;
    for (int i = 1; i <= plan.m; ++i) {
        plan.trigRe[i] = work->trig + off;
        plan.trigIm[i] = work->trig + off + plan.f[i];
        initTrig(plan.f[i], work->trig + off, work->trig + off + plan.f[i]);
        off += 2 * static_cast<size_t>(plan.f[i]);
    }
    PlanPasses(plan);
    return 0;
}

int MaxLevel()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx2") &&
        __builtin_cpu_supports("fma"))
        return 2;
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"))
        return 1;
#endif
    return 0;
}

std::atomic<int> gLevel{-1};

kalfft::StageEngine Engine()
{
    int level = gLevel.load(std::memory_order_relaxed);
    if (level < 0) {
        level = MaxLevel();
        gLevel.store(level, std::memory_order_relaxed);
    }
    return level == 2 ? kalfft::avx512::RunStages
           : level == 1 ? kalfft::avx2::RunStages
                        : kalfft::base::RunStages;
}

kalfft::FloatStageEngine FloatEngine()
{
    Engine();
    const int level = gLevel.load(std::memory_order_relaxed);
    return level == 2 ? kalfft::avx512::RunStagesFromFloat
           : level == 1 ? kalfft::avx2::RunStagesFromFloat
                        : kalfft::base::RunStagesFromFloat;
}

void Permute(const Plan &plan, const double *xr, const double *xi, double *yr, double *yi)
{
    permute(plan.n, plan.m, plan.f, plan.remain, xr, xi, yr, yi);
}

} // namespace

int kalfft::EngineLevel()
{
    Engine();
    return gLevel.load();
}

int kalfft::SetEngineLevel(int level)
{
    int max = MaxLevel();
    gLevel.store(level < 0 ? 0 : level > max ? max : level);
    return gLevel.load();
}

int mixfft(int n, const double *xr, const double *xi, double *yr, double *yi, FFTWork *work,
           int count, const int *f)
{
    if (n < 1)
        return FFT_ERR_LENGTH;
    if (work == nullptr)
        return FFT_ERR_MEMORY;
    if (n == 1) {
        yr[0] = xr[0];
        yi[0] = xi[0];
        return 0;
    }
    Plan plan;
    if (int r = BuildPlan(plan, work, n, count, f))
        return r;
    if (plan.tailStart == 0)
        Permute(plan, xr, xi, yr, yi);
    Engine()(plan, work, xr, xi, yr, yi, yr, yi);
    return 0;
}

int kalfft::MixedRadix(int n, double *re, double *im, double *scratchRe, double *scratchIm,
                       FFTWork *work)
{
    if (n < 2)
        return n < 1 ? FFT_ERR_LENGTH : 0;
    Plan plan;
    if (int r = BuildPlan(plan, work, n, -1, nullptr))
        return r;
    if (plan.tailStart == 0)
        Permute(plan, re, im, scratchRe, scratchIm);
    // With a single pass the result is copied back from the scratch arrays;
    // otherwise the last pass writes it over the input, which is no longer
    // needed by then.
    Engine()(plan, work, re, im, scratchRe, scratchIm, re, im);
    return 0;
}

int kalfft::MixedRadixFromFloat(int n, const float *xr, const float *xi, double *re, double *im,
                                FFTWork *work)
{
    if (n < 2) {
        if (n == 1) {
            re[0] = xr[0];
            im[0] = xi[0];
        }
        return n < 1 ? FFT_ERR_LENGTH : 0;
    }
    Plan plan;
    if (int r = BuildPlan(plan, work, n, -1, nullptr))
        return r;
    if (plan.tailStart > 0) {
        FloatEngine()(plan, work, xr, xi, re, im);
        return 0;
    }
    // Small or awkward lengths: the permutation widens, the stages run in place.
    PermuteFrom(n, plan.f, plan.remain, xr, xi, re, im);
    Engine()(plan, work, nullptr, nullptr, re, im, re, im);
    return 0;
}
