// Segments are shared out between two threads in two fixed halves, each
// with its own buffers, work area and sums, so the result does not depend
// on which thread was quicker.
#include "averaged.h"

#include <algorithm>
#include <initializer_list>

#include "fftint.h"
#include "magnitudes.h"
#include "window.h"

namespace {

// What one thread needs for its half of the segments.
struct Part {
    explicit Part(int seg)
        : seg(seg), re(kalfft::AllocArray(seg)), im(kalfft::AllocArray(seg)),
          scratchRe(kalfft::AllocArray(seg)), scratchIm(kalfft::AllocArray(seg)),
          sum(kalfft::AllocArray(seg)), work(FFTBufferAcquire())
    {
        if (sum != nullptr)
            std::fill(sum, sum + seg, 0.0);
    }
    ~Part()
    {
        for (double *p : {re, im, scratchRe, scratchIm, sum})
            kalfft::FreeArray(p);
        FFTBufferRelease(work);
    }
    Part(const Part &) = delete;
    Part &operator=(const Part &) = delete;

    bool ready() const { return re && im && scratchRe && scratchIm && sum && work; }

    // The segment starting at (i, q), windowed, transformed, its magnitudes
    // added to the sums.
    void add(const float *i, const float *q, const double *w)
    {
        for (int j = 0; j < seg; ++j) {
            re[j] = w[j] * i[j];
            im[j] = w[j] * q[j];
        }
        const int rc = kalfft::MixedRadixTakes(seg) ? kalfft::MixedRadix(seg, re, im, scratchRe, scratchIm, work)
                                                    : FFT(re, im, seg);
        if (rc != 0) {
            result = rc;
            return;
        }
        for (int j = 0; j < seg; ++j)
            sum[j] += Magnitude(re[j], im[j]);
    }

    int seg;
    double *re, *im, *scratchRe, *scratchIm, *sum;
    FFTWork *work;
    int result = 0;
};

} // namespace

int AveragedSegments(int n, int seg)
{
    if (seg < 2 || seg > n)
        return 0;
    return (n - seg) / (seg / 2) + 1;
}

int AveragedMagnitudes(const float *i, const float *q, int n, int seg, int window, double *out,
                       const NumProgress &progress)
{
    const int count = AveragedSegments(n, seg);
    if (count < 1)
        return FFT_ERR_LENGTH;
    double *w = kalfft::AllocArray(seg);
    Part low(seg), high(seg);
    if (w == nullptr || !low.ready() || !high.ready()) {
        kalfft::FreeArray(w);
        return FFT_ERR_MEMORY;
    }
    for (int j = 0; j < seg; ++j)
        w[j] = 1.0;
    ApplyWindowType(w, seg, window);   // a window that refuses the length leaves ones
    const int hop = seg / 2;
    Part *parts[2] = {&low, &high};
    const bool done = SplitInTwo(
        count, [&](int part, int k) { parts[part]->add(i + static_cast<long long>(k) * hop, q + static_cast<long long>(k) * hop, w); },
        progress);
    kalfft::FreeArray(w);
    if (!done)
        return AVG_STOPPED;
    if (low.result != 0 || high.result != 0)
        return low.result != 0 ? low.result : high.result;
    for (int j = 0; j < seg; ++j)
        out[j] = (low.sum[j] + high.sum[j]) / count;
    RotateHalves(out, seg);
    return 0;
}
