// Entry points of the FFT layer and the small array routines.
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <sys/mman.h>

#include "fftint.h"

namespace {

// Permutation target, work area, stages; the last stage writes back into
// (re, im).
int MixedPath(double *re, double *im, int n)
{
    double *outRe = kalfft::AllocArray(n), *outIm = kalfft::AllocArray(n);
    FFTWork *work = outRe && outIm ? FFTBufferAcquire() : nullptr;
    int result = FFT_ERR_MEMORY;
    if (work != nullptr) {
        result = kalfft::MixedRadix(n, re, im, outRe, outIm, work);
        FFTBufferRelease(work);
    }
    kalfft::FreeArray(outRe);
    kalfft::FreeArray(outIm);
    return result;
}

std::atomic<size_t> gArrayLimit{SIZE_MAX};

} // namespace

bool kalfft::MixedRadixTakes(int n)
{
    int f[FFT_MAX_FACTORS];
    int count = factorize(n, f), largest = 1;
    for (int i = 1; i <= count; ++i)
        largest = f[i] > largest ? f[i] : largest;
    return largest < FFT_MAX_RADIX;
}

void kalfft::SetArrayLimit(size_t maxElements) { gArrayLimit.store(maxElements); }

double *kalfft::AllocArray(size_t n)
{
    if (n > gArrayLimit.load(std::memory_order_relaxed))
        return nullptr;
    constexpr size_t kHuge = size_t(2) << 20;
    size_t bytes = (n ? n : 1) * sizeof(double);
    void *p = nullptr;
    if (bytes >= 2 * kHuge) {
        // Large pages spare the stages most of their TLB misses on big records.
        bytes = (bytes + kHuge - 1) / kHuge * kHuge;
        if (posix_memalign(&p, kHuge, bytes) != 0)
            return nullptr;
        madvise(p, bytes, MADV_HUGEPAGE);
    } else if (posix_memalign(&p, 64, bytes) != 0) {
        return nullptr;
    }
    return static_cast<double *>(p);
}

void kalfft::FreeArray(double *p) { std::free(p); }

int FFT(double *re, double *im, int n)
{
    if (n < 1)
        return FFT_ERR_LENGTH;
    if (n == 1)
        return 0;
    if ((n & (n - 1)) == 0)
        return CxFFT(re, im, n, Log2(n));
    if (kalfft::MixedRadixTakes(n))
        return MixedPath(re, im, n);
    return kalfft::ChirpTransform(re, im, n);
}

int CxFFT(double *re, double *im, int n, int)
{
    if (n < 1)
        return FFT_ERR_LENGTH;
    if (n == 1)
        return 0;
    // A prime factor the work area cannot hold goes the chirp-z way here too.
    if ((n & (n - 1)) != 0 && !kalfft::MixedRadixTakes(n))
        return kalfft::ChirpTransform(re, im, n);
    return MixedPath(re, im, n);
}

int CxInvFFT(double *re, double *im, int n, int log2n)
{
    if (n < 1)
        return FFT_ERR_LENGTH;
    // Exchanging the real and imaginary parts turns the forward transform
    // into the inverse one (up to the scale).  A failed transform leaves the
    // data as it was, so it is not scaled either.
    int result = CxFFT(im, re, n, log2n);
    if (result != 0)
        return result;
    const double scale = 1.0 / n;
    for (int k = 0; k < n; ++k) {
        re[k] *= scale;
        im[k] *= scale;
    }
    return result;
}

int CxMultiply(double *aRe, double *aIm, const double *bRe, const double *bIm, int n)
{
    if (n <= 0)
        return FFT_ERR_LENGTH;
    for (int k = 0; k < n; ++k) {
        double xr = aRe[k], xi = aIm[k];
        aRe[k] = xr * bRe[k] - xi * bIm[k];
        aIm[k] = xr * bIm[k] + xi * bRe[k];
    }
    return 0;
}

int ToPolar(double x, double y, double *magnitude, double *phase)
{
    if (x == 0.0 && y == 0.0) {
        *magnitude = 0.0;
        *phase = 0.0;
        return 0;
    }
    *magnitude = std::sqrt(x * x + y * y);
    *phase = std::atan2(y, x);
    return 0;
}

int ToPolar1D(const double *x, const double *y, int n, double *magnitude, double *phase)
{
    if (n <= 0)
        return FFT_ERR_LENGTH;
    for (int k = 0; k < n; ++k)
        ToPolar(x[k], y[k], &magnitude[k], &phase[k]);
    return 0;
}

int Subset1D(const double *src, int n, int index, int length, double *dst)
{
    if (n <= 0 || index < 0 || length <= 0)
        return FFT_ERR_LENGTH;
    if (static_cast<long long>(index) + length > n)
        return FFT_ERR_RANGE;
    std::memmove(dst, src + index, static_cast<size_t>(length) * sizeof(double));
    return 0;
}

int Copy1D(const double *src, int n, double *dst)
{
    if (n <= 0)
        return FFT_ERR_LENGTH;
    std::memmove(dst, src, static_cast<size_t>(n) * sizeof(double));
    return 0;
}

int Log2(int n)
{
    if (n <= 0)
        return -1;
    int doublings = 0;
    for (long long p = 1; p <= n; p *= 2)
        ++doublings;
    return doublings - 1;
}
