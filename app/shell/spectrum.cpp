// The spectrum of the current data: FFT without window or scaling, magnitude,
// and the rotation that puts frequency 0 in the middle of the graph.
#include "shell/spectrum.h"

#include "fft.h"
#include "state/globals.h"
#include "userint.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>

namespace {

double *Doubles(int n)
{
    return static_cast<double *>(std::calloc(static_cast<size_t>(n), sizeof(double)));
}

// Second half first: elements n/2 .. 2(n/2)-1 move to the front and the first
// half follows them; an odd n keeps its last element in place.
void Rotate(double *mag, double *scratch, int n)
{
    const int h = n / 2;
    if (h == 0)
        return;
    Subset1D(mag, n, 0, h, scratch);
    std::memmove(mag, mag + h, static_cast<size_t>(h) * sizeof(double));
    Subset1D(scratch, n, 0, h, mag + h);
}

// ToPolar1D over the two halves at once: the arc tangents of its phases are
// most of its time, and the halves are independent.
int Polar(const double *re, const double *im, int n, double *mag, double *phase)
{
    const int h = n / 2;
    if (h < 65536)
        return ToPolar1D(re, im, n, mag, phase);
    int rcLow = 0;
    std::thread low;
    try {
        low = std::thread([&] { rcLow = ToPolar1D(re, im, h, mag, phase); });
    } catch (const std::system_error &) {
        return ToPolar1D(re, im, n, mag, phase); // no thread to be had
    }
    const int rcHigh = ToPolar1D(re + h, im + h, n - h, mag + h, phase + h);
    low.join();
    return rcLow != 0 ? rcLow : rcHigh;
}

}  // namespace

int SpectrumMagnitudes(const float *i, const float *q, int n, double *mag)
{
    double *re = Doubles(n), *im = Doubles(n), *phase = nullptr;
    int rc = -1;
    if (re && im) {
        for (int k = 0; k < n; ++k) {
            re[k] = i[k];
            im[k] = q[k];
        }
        // The phase array is taken only after the transform, which needs two
        // arrays of its own: 16.7 million points stay below five arrays.
        if (FFT(re, im, n) == 0 && (phase = Doubles(n)) != nullptr &&
            Polar(re, im, n, mag, phase) == 0) {
            std::free(re);
            std::free(im);
            re = im = nullptr;
            Rotate(mag, phase, n);
            rc = 0;
        }
    }
    std::free(re);
    std::free(im);
    std::free(phase);
    return rc;
}

int ShowSpectrum()
{
    const int n = HeldSamples();
    if (n < 1)
        return -1;
    double *mag = Doubles(n);
    if (!mag)
        return -1;
    const int rc = SpectrumMagnitudes(s.I, s.Q, n, mag);
    if (rc == 0)
        YGraphPopup("Yeah", mag, n, VAL_DOUBLE);
    std::free(mag);
    return rc;
}
