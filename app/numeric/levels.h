// Levels in decibels for the spectrum's dB scale.
#pragma once

#include <cstdint>

#include "twothreads.h"

// Where the dB scale ends: a magnitude of 0 (whose logarithm is minus
// infinity) and anything below show at this level.
constexpr double kDecibelFloor = -300.0;

// out[k] = 20 log10(v[k] * scale), never below kDecibelFloor; a NaN stays a
// NaN (a gap in the graph).  Long arrays on two threads.  out may be v.
// False when progress asked to stop (out is then partly written).
bool ToDecibels(const double *v, int64_t n, double scale, double *out, const NumProgress &progress);
