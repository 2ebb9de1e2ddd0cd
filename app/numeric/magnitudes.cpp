// Magnitudes and the rotation in one pass over the transform, on two
// threads, straight from the float samples through a transform that widens
// them as it reads: two arrays of doubles in all, of which the first becomes
// the result.
#include "magnitudes.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "fftint.h"
#include "twothreads.h"

namespace {

// Bins k and k + h trade places, so each pair is read before it is written
// and the pairs [first, last) touch no other thread's elements.
void SwapPairs(double *re, const double *im, int h, int first, int last)
{
    for (int k = first; k < last; ++k) {
        const double low = Magnitude(re[k], im[k]);
        re[k] = Magnitude(re[k + h], im[k + h]);
        re[k + h] = low;
    }
}

// Widening and the chirp-z transform, for lengths the float path does not take.
int WidenedTransform(const float *i, const float *q, int n, double *re, double *im)
{
    for (int k = 0; k < n; ++k) {
        re[k] = i[k];
        im[k] = q[k];
    }
    return FFT(re, im, n);
}

int Transform(const float *i, const float *q, int n, double *re, double *im)
{
    if (!kalfft::MixedRadixTakes(n))
        return WidenedTransform(i, q, n, re, im);
    FFTWork *work = FFTBufferAcquire();
    if (work == nullptr)
        return FFT_ERR_MEMORY;
    const int rc = kalfft::MixedRadixFromFloat(n, i, q, re, im, work);
    FFTBufferRelease(work);
    return rc;
}

} // namespace

void RotatedMagnitudes(double *re, const double *im, int n)
{
    const int h = n / 2;
    if (n % 2 != 0)
        re[n - 1] = Magnitude(re[n - 1], im[n - 1]);
    if (h < 65536) {
        SwapPairs(re, im, h, 0, h);
        return;
    }
    const int mid = h / 2;
    SplitInTwo(2, [&](int, int k) { SwapPairs(re, im, h, k == 0 ? 0 : mid, k == 0 ? mid : h); }, nullptr);
}

void RotateHalves(double *v, int n)
{
    const int h = n / 2;
    std::rotate(v, v + h, v + 2 * h);
}

void FrequencyOrder(double *v, int n)
{
    const int h = n / 2;
    if (n % 2 == 0 || h == 0)
        return;
    const double highest = v[0];
    std::memmove(v, v + 1, static_cast<size_t>(h - 1) * sizeof(double));
    v[h - 1] = v[2 * h];
    v[2 * h] = highest;
}

int MagnitudeSpectrum(const float *i, const float *q, int n, double **mag)
{
    *mag = nullptr;
    if (n < 1)
        return FFT_ERR_LENGTH;
    double *re = kalfft::AllocArray(n), *im = kalfft::AllocArray(n);
    int rc = FFT_ERR_MEMORY;
    if (re != nullptr && im != nullptr)
        rc = Transform(i, q, n, re, im);
    if (rc == 0) {
        RotatedMagnitudes(re, im, n);
        *mag = re;
        re = nullptr;
    }
    kalfft::FreeArray(re);
    kalfft::FreeArray(im);
    return rc;
}
