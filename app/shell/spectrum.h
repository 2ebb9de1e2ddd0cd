// The Spectrum button: linear magnitude spectrum of the current data over
// the bin index, frequency 0 in the middle, in the graph pop-up "Yeah".
#pragma once

// Transforms the samples of s and shows the pop-up until it is closed.
// Returns 0, or -1 when there is nothing to show or memory is short (then
// nothing is shown).
int ShowSpectrum();
