#include <cmath>
#include <cstdint>
#include <complex>
#include <random>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "numeric/fft.h"
#include "numeric/fftint.h"

#ifdef HAVE_FFTW3
#include <fftw3.h>
#endif

namespace {

struct Signal {
    std::vector<double> re, im;
};

Signal Random(int n, unsigned seed)
{
    std::mt19937_64 gen(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    Signal x{std::vector<double>(n), std::vector<double>(n)};
    for (int k = 0; k < n; ++k) {
        x.re[k] = u(gen);
        x.im[k] = u(gen);
    }
    return x;
}

// Direct transform in long double with exactly reduced angles.
Signal Dft(const Signal &x)
{
    const int n = static_cast<int>(x.re.size());
    std::vector<long double> c(n), s(n);
    for (int t = 0; t < n; ++t) {
        long double a = 2.0L * 3.141592653589793238462643383279502884L * t / n;
        c[t] = cosl(a);
        s[t] = -sinl(a);
    }
    Signal y{std::vector<double>(n), std::vector<double>(n)};
    for (int k = 0; k < n; ++k) {
        long double sr = 0, si = 0;
        long long t = 0;
        for (int j = 0; j < n; ++j) {
            sr += x.re[j] * c[t] - x.im[j] * s[t];
            si += x.re[j] * s[t] + x.im[j] * c[t];
            t += k;
            if (t >= n)
                t -= n;
        }
        y.re[k] = static_cast<double>(sr);
        y.im[k] = static_cast<double>(si);
    }
    return y;
}

// Root-mean-square error over the bins against the root-mean-square of the result.
double RelRms(const Signal &got, const Signal &want)
{
    long double err = 0, ref = 0;
    for (size_t k = 0; k < want.re.size(); ++k) {
        long double dr = got.re[k] - want.re[k], di = got.im[k] - want.im[k];
        err += dr * dr + di * di;
        ref += (long double)want.re[k] * want.re[k] + (long double)want.im[k] * want.im[k];
    }
    return static_cast<double>(sqrtl(err / ref));
}

Signal Forward(Signal x)
{
    EXPECT_EQ(FFT(x.re.data(), x.im.data(), static_cast<int>(x.re.size())), 0);
    return x;
}

std::vector<int> Factors(int n)
{
    int f[FFT_MAX_FACTORS];
    int count = factorize(n, f);
    return std::vector<int>(f + 1, f + 1 + count);
}

// Runs a test body once per instruction-set level the processor offers.
template <class Body> void ForEachEngine(Body body)
{
    const int max = kalfft::SetEngineLevel(9);
    for (int level = 0; level <= max; ++level) {
        SCOPED_TRACE("engine level " + std::to_string(level));
        kalfft::SetEngineLevel(level);
        body();
    }
    kalfft::SetEngineLevel(max);
}

TEST(Fft, FactorListsInProcessingOrder)
{
    EXPECT_EQ(Factors(16), (std::vector<int>{4, 4}));
    EXPECT_EQ(Factors(1024), (std::vector<int>{4, 4, 8, 8}));
    EXPECT_EQ(Factors(12), (std::vector<int>{3, 4}));
    EXPECT_EQ(Factors(30), (std::vector<int>{3, 10}));
    EXPECT_EQ(Factors(2002), (std::vector<int>{13, 11, 7, 2}));
    EXPECT_EQ(Factors(1), (std::vector<int>{1}));
    EXPECT_EQ(Factors(16776704), (std::vector<int>{151, 31, 7, 8, 8, 8}));
    EXPECT_EQ(Factors(997), (std::vector<int>{997}));
    EXPECT_EQ(Factors(2 * 1009), (std::vector<int>{1009, 2}));
}

TEST(Fft, EngineTables)
{
    int f[FFT_MAX_FACTORS], sofar[FFT_MAX_FACTORS], remain[FFT_MAX_FACTORS];
    ASSERT_EQ(factorize(2002, f), 4);
    transTableSetup(2002, 4, f, sofar, remain);
    EXPECT_EQ(std::vector<int>(sofar + 1, sofar + 5), (std::vector<int>{1, 13, 143, 1001}));
    EXPECT_EQ(std::vector<int>(remain, remain + 5), (std::vector<int>{2002, 154, 14, 2, 1}));

    // 12 = 3 * 4: output i = c1 + 3 c2 takes input c1 * 4 + c2.
    ASSERT_EQ(factorize(12, f), 2);
    transTableSetup(12, 2, f, sofar, remain);
    double in[12], out[12], inIm[12] = {}, outIm[12];
    for (int k = 0; k < 12; ++k)
        in[k] = k;
    permute(12, 2, f, remain, in, inIm, out, outIm);
    EXPECT_EQ(std::vector<double>(out, out + 12),
              (std::vector<double>{0, 4, 8, 1, 5, 9, 2, 6, 10, 3, 7, 11}));

    // The recurrence of the trigonometric table stays close to the exact roots
    // even for the largest radix.
    std::vector<double> tr(997), ti(997);
    initTrig(997, tr.data(), ti.data());
    double worst = 0;
    for (int k = 0; k < 997; ++k) {
        long double a = 2.0L * 3.141592653589793238462643383279502884L * k / 997;
        worst = std::max({worst, (double)fabsl(tr[k] - cosl(a)), (double)fabsl(ti[k] + sinl(a))});
    }
    EXPECT_LT(worst, 1e-13);
}

TEST(Fft, TrivialLengths)
{
    double re[1] = {3.5}, im[1] = {-1.25};
    EXPECT_EQ(FFT(re, im, 1), 0);
    EXPECT_EQ(re[0], 3.5);
    EXPECT_EQ(im[0], -1.25);
    EXPECT_EQ(FFT(re, im, 0), FFT_ERR_LENGTH);
    EXPECT_EQ(FFT(re, im, -4), FFT_ERR_LENGTH);
    EXPECT_EQ(CxFFT(re, im, 0, 0), FFT_ERR_LENGTH);
    EXPECT_EQ(CxInvFFT(re, im, 0, 0), FFT_ERR_LENGTH);
    EXPECT_EQ(Log2(0), -1);
    EXPECT_EQ(Log2(1), 0);
    EXPECT_EQ(Log2(1023), 9);
    EXPECT_EQ(Log2(1024), 10);
    EXPECT_EQ(Log2(0x7fffffff), 30);
}

TEST(Fft, ImpulseGivesAllOnes)
{
    ForEachEngine([] {
        for (int n : {2, 4, 8, 16, 64, 1024, 6, 7, 30, 997, 1009, 4096 * 3}) {
            Signal x{std::vector<double>(n), std::vector<double>(n)};
            x.re[0] = 1.0;
            Signal y = Forward(x);
            double worst = 0;
            for (int k = 0; k < n; ++k)
                worst = std::max({worst, std::fabs(y.re[k] - 1.0), std::fabs(y.im[k])});
            EXPECT_LT(worst, 1e-12) << "n = " << n;
        }
    });
}

TEST(Fft, MatchesDirectTransformForEveryLengthUpTo512)
{
    std::vector<Signal> in, want;
    for (int n = 1; n <= 512; ++n) {
        in.push_back(Random(n, n));
        want.push_back(Dft(in.back()));
    }
    ForEachEngine([&] {
        for (size_t t = 0; t < in.size(); ++t)
            EXPECT_LT(RelRms(Forward(in[t]), want[t]), 1e-12) << "n = " << in[t].re.size();
    });
}

TEST(Fft, MatchesDirectTransformForLargeFactorsAndChirpZ)
{
    // 997: the largest odd kernel; 1009: chirp-z; 2002: four odd stages.
    std::vector<Signal> in, want;
    for (int n : {997, 1009, 2002, 4096 * 3, 2 * 1009}) {
        in.push_back(Random(n, 7 * n));
        want.push_back(Dft(in.back()));
    }
    ForEachEngine([&] {
        for (size_t t = 0; t < in.size(); ++t)
            EXPECT_LT(RelRms(Forward(in[t]), want[t]), 1e-12) << "n = " << in[t].re.size();
    });
}

TEST(Fft, InverseAfterForwardGivesTheInputBack)
{
    for (int n : {8, 1000, 1009, 2002, 65536, 1 << 20, 3 * 5 * 7 * 11 * 13 * 17}) {
        Signal x = Random(n, n + 1), y = x;
        ASSERT_EQ(CxFFT(y.re.data(), y.im.data(), n, Log2(n)), 0);
        ASSERT_EQ(CxInvFFT(y.re.data(), y.im.data(), n, Log2(n)), 0);
        EXPECT_LT(RelRms(y, x), 1e-14) << "n = " << n;
    }
}

TEST(Fft, MixfftWithGivenFactorsAndRefusedLists)
{
    const int n = 360;
    Signal x = Random(n, 3), y{std::vector<double>(n), std::vector<double>(n)};
    FFTWork *work = FFTBufferAcquire();
    ASSERT_NE(work, nullptr);
    int f[FFT_MAX_FACTORS] = {0, 2, 3, 3, 4, 5};
    EXPECT_EQ(mixfft(n, x.re.data(), x.im.data(), y.re.data(), y.im.data(), work, 5, f), 0);
    EXPECT_LT(RelRms(y, Dft(x)), 1e-13);
    int wrong[FFT_MAX_FACTORS] = {0, 2, 3, 5};
    EXPECT_EQ(mixfft(n, x.re.data(), x.im.data(), y.re.data(), y.im.data(), work, 3, wrong),
              FFT_ERR_LENGTH);
    int noKernel[FFT_MAX_FACTORS] = {0, 6, 6, 10};
    EXPECT_EQ(mixfft(n, x.re.data(), x.im.data(), y.re.data(), y.im.data(), work, 3, noKernel),
              FFT_ERR_LENGTH);
    // 1009 is more than the work area holds: refused, not overrun.
    Signal p = Random(1009, 4), q = p;
    EXPECT_EQ(mixfft(1009, p.re.data(), p.im.data(), q.re.data(), q.im.data(), work, -1, nullptr),
              FFT_ERR_LENGTH);
    EXPECT_EQ(mixfft(0, p.re.data(), p.im.data(), q.re.data(), q.im.data(), work, -1, nullptr),
              FFT_ERR_LENGTH);
    FFTBufferRelease(work);
    // CxFFT itself takes such a length the chirp-z way.
    Signal r = p;
    ASSERT_EQ(CxFFT(r.re.data(), r.im.data(), 1009, 9), 0);
    EXPECT_LT(RelRms(r, Dft(p)), 1e-12);
}

TEST(Fft, ChirpTablesFollowTheirDefinition)
{
    for (int n : {7, 12, 1009}) {
        const int m = 1 << (Log2(n) + 2);
        Signal w = Random(m, 9);
        std::vector<double> cr(n), ci(n), fr(m), fi(m);
        Signal orig = w;
        ASSERT_EQ(Chirp_Z(w.re.data(), w.im.data(), cr.data(), ci.data(), fr.data(), fi.data(), n, m), 0);
        for (int j = 0; j < m; ++j) {
            long long r = j < n ? j : m - j;
            long double a = 3.141592653589793238462643383279502884L * (r * r) / n;
            EXPECT_NEAR(fr[j], cosl(a), 1e-12) << "n = " << n << " j = " << j;
            EXPECT_NEAR(fi[j], sinl(a), 1e-12) << "n = " << n << " j = " << j;
            if (j < n) {
                EXPECT_EQ(cr[j], fr[j]);
                EXPECT_EQ(ci[j], -fi[j]);
                std::complex<double> want = std::complex<double>(orig.re[j], orig.im[j]) *
                                            std::complex<double>(cr[j], ci[j]);
                EXPECT_NEAR(w.re[j], want.real(), 1e-15);
                EXPECT_NEAR(w.im[j], want.imag(), 1e-15);
            } else {
                EXPECT_EQ(w.re[j], 0.0);
                EXPECT_EQ(w.im[j], 0.0);
            }
        }
    }
}

TEST(Fft, OutOfMemoryLeavesTheDataAlone)
{
    // Mixed radix, power of two, chirp-z, and the inverse (which must not
    // scale data it did not transform).
    for (int n : {1000, 1024, 1009}) {
        Signal x = Random(n, 11), y = x;
        kalfft::SetArrayLimit(100);
        EXPECT_EQ(FFT(y.re.data(), y.im.data(), n), FFT_ERR_MEMORY) << "n = " << n;
        EXPECT_EQ(CxInvFFT(y.re.data(), y.im.data(), n, Log2(n)), FFT_ERR_MEMORY) << "n = " << n;
        kalfft::SetArrayLimit(SIZE_MAX);
        EXPECT_EQ(y.re, x.re) << "n = " << n;
        EXPECT_EQ(y.im, x.im) << "n = " << n;
    }
    // The chirp-z path running out half way, in its padded arrays.
    Signal x = Random(1009, 12), y = x;
    kalfft::SetArrayLimit(1500);
    EXPECT_EQ(FFT(y.re.data(), y.im.data(), 1009), FFT_ERR_MEMORY);
    kalfft::SetArrayLimit(SIZE_MAX);
    EXPECT_EQ(y.re, x.re);
}

TEST(Fft, ArrayHelpers)
{
    double src[5] = {1, 2, 3, 4, 5}, dst[5] = {};
    EXPECT_EQ(Subset1D(src, 5, 2, 3, dst), 0);
    EXPECT_EQ(dst[0], 3);
    EXPECT_EQ(dst[2], 5);
    EXPECT_EQ(Subset1D(src, 5, 2, 4, dst), FFT_ERR_RANGE);
    EXPECT_EQ(Subset1D(src, 5, -1, 2, dst), FFT_ERR_LENGTH);
    EXPECT_EQ(Subset1D(src, 5, 0, 0, dst), FFT_ERR_LENGTH);
    EXPECT_EQ(Subset1D(src, 0, 0, 1, dst), FFT_ERR_LENGTH);
    EXPECT_EQ(Subset1D(src, 5, 0x7fffffff, 0x7fffffff, dst), FFT_ERR_RANGE);
    EXPECT_EQ(Copy1D(src, 5, dst), 0);
    EXPECT_EQ(dst[4], 5);
    EXPECT_EQ(Copy1D(src, 0, dst), FFT_ERR_LENGTH);

    double mag = -1, phase = -1;
    EXPECT_EQ(ToPolar(0.0, 0.0, &mag, &phase), 0);
    EXPECT_EQ(mag, 0.0);
    EXPECT_EQ(phase, 0.0);
    ToPolar(0.0, -1.0, &mag, &phase);
    EXPECT_EQ(mag, 1.0);
    EXPECT_DOUBLE_EQ(phase, -M_PI / 2);
    double x[2] = {3, -1}, y[2] = {4, 0}, m[2], p[2];
    EXPECT_EQ(ToPolar1D(x, y, 2, m, p), 0);
    EXPECT_EQ(m[0], 5.0);
    EXPECT_DOUBLE_EQ(p[1], M_PI);
    EXPECT_EQ(ToPolar1D(x, y, 0, m, p), FFT_ERR_LENGTH);

    double ar[2] = {1, 2}, ai[2] = {1, -1}, br[2] = {0, 3}, bi[2] = {1, 1};
    EXPECT_EQ(CxMultiply(ar, ai, br, bi, 2), 0);
    EXPECT_EQ(ar[0], -1.0); // (1 + i) i
    EXPECT_EQ(ai[0], 1.0);
    EXPECT_EQ(ar[1], 7.0);  // (2 - i)(3 + i)
    EXPECT_EQ(ai[1], -1.0);
}

TEST(Fft, ThreadsShareThePool)
{
    const std::vector<int> lengths = {1024, 1009, 2002, 4096 * 3, 65521, 30, 360, 1 << 16};
    std::vector<Signal> inputs, alone;
    for (size_t t = 0; t < lengths.size(); ++t) {
        inputs.push_back(Random(lengths[t], 100 + t));
        alone.push_back(Forward(inputs.back()));
    }
    // More threads than slots: some transforms must run on fresh areas.
    std::vector<std::vector<Signal>> results(lengths.size());
    std::vector<std::thread> threads;
    for (size_t t = 0; t < lengths.size(); ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 20; ++round) {
                Signal x = inputs[t];
                if (FFT(x.re.data(), x.im.data(), lengths[t]) != 0)
                    return;
                results[t].push_back(std::move(x));
            }
        });
    for (auto &th : threads)
        th.join();
    for (size_t t = 0; t < lengths.size(); ++t) {
        ASSERT_EQ(results[t].size(), 20u) << "length " << lengths[t];
        for (const Signal &r : results[t]) {
            EXPECT_EQ(r.re, alone[t].re) << "length " << lengths[t];
            EXPECT_EQ(r.im, alone[t].im) << "length " << lengths[t];
        }
    }
    EXPECT_EQ(FFTBufferCached(), FFT_POOL_SLOTS);
}

#ifdef HAVE_FFTW3
Signal Fftw(const Signal &x)
{
    const int n = static_cast<int>(x.re.size());
    fftw_complex *a = fftw_alloc_complex(n);
    fftw_plan plan = fftw_plan_dft_1d(n, a, a, FFTW_FORWARD, FFTW_ESTIMATE);
    for (int k = 0; k < n; ++k) {
        a[k][0] = x.re[k];
        a[k][1] = x.im[k];
    }
    fftw_execute(plan);
    Signal y{std::vector<double>(n), std::vector<double>(n)};
    for (int k = 0; k < n; ++k) {
        y.re[k] = a[k][0];
        y.im[k] = a[k][1];
    }
    fftw_destroy_plan(plan);
    fftw_free(a);
    return y;
}

TEST(Fft, MatchesFftwOnLargeLengths)
{
    std::vector<int> lengths;
    for (int n = 2; n <= (1 << 22); n *= 2)
        lengths.push_back(n);
    // 3^12, 7^7 and 10^6 end in digits that fill the first pass's lanes only
    // in part or not evenly.
    for (int n : {65521, 1000003, 16776704, 531441, 823543, 1000000, 2 * 3 * 5 * 7 * 11 * 13 * 17 * 19})
        lengths.push_back(n);
    for (int n : lengths) {
        Signal x = Random(n, n ^ 0x5a5a);
        EXPECT_LT(RelRms(Forward(x), Fftw(x)), 1e-12) << "n = " << n;
    }
}
#endif

} // namespace
