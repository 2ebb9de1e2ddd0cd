// The averaged magnitude spectrum: the record cut into segments of equal
// length that overlap by half, each multiplied by a window and transformed,
// and the magnitudes of each bin averaged over the segments (Welch's
// segmenting; magnitudes, not powers, are averaged, as the display shows
// magnitudes).  A segment that would reach past the record's end is left out.
#pragma once

#include "twothreads.h"

// Returned when progress asked to stop.
constexpr int AVG_STOPPED = -20090;

// Segments of seg points with a step of seg/2 in n samples (0 when seg < 2 or
// seg > n).
int AveragedSegments(int n, int seg);

// out[0 .. seg-1] = the mean over the segments of |X[k]|, unscaled, rotated
// as the whole-record spectrum (bin 0 at index seg/2).  window is a code of
// the trace panel's ring (window.h).  Returns 0, FFT_ERR_LENGTH when no
// segment fits, FFT_ERR_MEMORY, or AVG_STOPPED.
int AveragedMagnitudes(const float *i, const float *q, int n, int seg, int window, double *out,
                       const NumProgress &progress);
