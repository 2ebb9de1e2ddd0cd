// The magnitude spectrum the Spectrum display draws: |X[k]| of the unscaled,
// unwindowed transform of complex float samples, with frequency 0 moved to
// the middle.  The phases are never computed: nothing shows them.
#pragma once

#include <cmath>

// The same formula as ToPolar's magnitude, so the values match it bit for
// bit (sqrt is correctly rounded; the sum is not contracted into an FMA
// because the numeric layer is built without FMA instructions outside the
// transform's engines).
inline double Magnitude(double x, double y)
{
    return std::sqrt(x * x + y * y);
}

// Transforms the n samples (i, q) and puts the magnitudes into a new array
// of n doubles (*mag, release with std::free), rotated as RotatedMagnitudes
// does.  0, or FFT_ERR_LENGTH for n < 1, FFT_ERR_MEMORY when memory is short
// (then *mag is null).
int MagnitudeSpectrum(const float *i, const float *q, int n, double **mag);

// In place: re receives |re[k] + i im[k]| rotated so that bin 0 lands at
// index n/2 (integer division): bins n/2 .. 2(n/2)-1 move to the front, the
// first half follows them, and an odd n keeps its last bin last.  Long
// arrays are split between two threads.
void RotatedMagnitudes(double *re, const double *im, int n);

// The same rotation of plain values: v[n/2 .. 2(n/2)-1] moves to the front.
void RotateHalves(double *v, int n);

// Rotated order to ascending frequency: index j then holds the frequency
// (j - n/2) / n of the sample rate.  For even n the rotation is that order
// already; for odd n bin n-1 (frequency -1/n) moves in front of bin 0 and bin
// n/2 (the highest positive frequency) to the end.
void FrequencyOrder(double *v, int n);
