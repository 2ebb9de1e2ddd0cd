// The Spectrum button: linear magnitude spectrum of the current data over
// the bin index, frequency 0 in the middle, in the graph pop-up "Yeah".
#pragma once

// Shows the pop-up, which transforms the samples of s, until it is closed.
// Returns 0, or -1 when there is nothing to show (no pop-up) or memory is
// too short for the transform (the pop-up says so and closes).
int ShowSpectrum();
