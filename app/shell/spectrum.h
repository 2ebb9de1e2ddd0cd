// The Spectrum button: linear magnitude spectrum of the current data over
// the bin index, frequency 0 in the middle, in the graph pop-up "Yeah".
#pragma once

// Transforms the samples of s and shows the pop-up until it is closed.
// Returns 0, or -1 when there is nothing to show or memory is short (then
// nothing is shown).
int ShowSpectrum();

// Magnitudes of the n-point transform of (i, q), rotated so that bin 0 lands
// at index n/2 (for odd n the last bin stays last).  mag receives n values.
// Returns 0, or -1 when memory is short or the transform fails.
int SpectrumMagnitudes(const float *i, const float *q, int n, double *mag);
