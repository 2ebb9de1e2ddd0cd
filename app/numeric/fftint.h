// Inside the FFT layer: the work area, the transform plan and the stage
// engine.  Not for use outside app/numeric.
#pragma once

#include <cstddef>

#include "fft.h"

namespace kalfft {

// The engine works on rows of kLanes neighbouring values at once: the same
// butterfly on eight independent data sets, in vector instructions.
constexpr int kLanes = 8;
// Stages whose data sets lie within kBlock consecutive points run together,
// block by block, while the block is in cache.
constexpr int kBlock = 32768;
// Later stages run on gathered columns of at most kRows rows of kLanes.
constexpr int kRows = 4096;
// All but the smallest transforms do the digit reversal inside their first
// pass, on kLanes blocks of at most kFirst points at once (sized for the
// level-2 cache).
constexpr int kFirst = 8192;
constexpr int kFusedFrom = 256;
constexpr int kHalfRadix = (FFT_MAX_RADIX + 1) / 2;

} // namespace kalfft

// About 1.5 MB, most of it the column buffer of the passes.
struct FFTWork {
    // One stage's data set gathered as rows of lanes, its twiddles, and the
    // half sums of the general odd kernel.
    alignas(64) double zRe[FFT_MAX_RADIX * kalfft::kLanes];
    alignas(64) double zIm[FFT_MAX_RADIX * kalfft::kLanes];
    alignas(64) double twRe[FFT_MAX_RADIX * kalfft::kLanes];
    alignas(64) double twIm[FFT_MAX_RADIX * kalfft::kLanes];
    alignas(64) double vRe[kalfft::kHalfRadix * kalfft::kLanes];
    alignas(64) double vIm[kalfft::kHalfRadix * kalfft::kLanes];
    alignas(64) double wRe[kalfft::kHalfRadix * kalfft::kLanes];
    alignas(64) double wIm[kalfft::kHalfRadix * kalfft::kLanes];
    // Input offsets of the digit-reversed rows of a large transform's first pass.
    ptrdiff_t rowOffset[kalfft::kFirst];
    alignas(64) double colRe[kalfft::kFirst * kalfft::kLanes];
    // Late stages step through the buffer by a power of two; without this
    // shift the real and imaginary rows of a butterfly would all fall into
    // the same set of the level-1 cache and evict each other.
    double colShift[64];
    alignas(64) double colIm[kalfft::kFirst * kalfft::kLanes];
    // Roots of unity e^(-2 pi i t / tabN) as hi[t >> tabShift] * lo[t & mask]:
    // every twiddle of a transform of tabN points to full accuracy from two
    // tables of about sqrt(tabN) entries.  Kept while the length repeats.
    double *tab = nullptr;
    size_t tabCap = 0;
    long long tabN = 0;
    int tabShift = 0;
    // Trigonometric tables of the odd radices of the current transform.
    double *trig = nullptr;
    size_t trigCap = 0;
};

namespace kalfft {

struct Plan {
    int n = 0;
    int m = 0;
    int f[FFT_MAX_FACTORS] = {};
    int sofar[FFT_MAX_FACTORS] = {};
    int remain[FFT_MAX_FACTORS] = {};
    const double *trigRe[FFT_MAX_FACTORS] = {};
    const double *trigIm[FFT_MAX_FACTORS] = {};
    // Stages passEnd[p-1]+1 .. passEnd[p] form pass p (passEnd[0] = 0).
    int passEnd[FFT_MAX_FACTORS] = {};
    int passes = 0;
    // Non-zero when the first pass does the digit reversal itself: the digits
    // tailStart .. m (contiguous in the input) index its lanes.
    int tailStart = 0;
};

FFTWork *NewWork();
void FreeWork(FFTWork *work);

// Runs every stage of the plan into (re, im): from the input (xr, xi) when
// the plan does the digit reversal in its first pass, otherwise on (re, im)
// already permuted.  The last pass writes into (dstRe, dstIm), which may be
// (re, im) or the input.
#define KAL_STAGE_ARGS const Plan &, FFTWork *, const double *xr, const double *xi, double *re, \
                       double *im, double *dstRe, double *dstIm
using StageEngine = void (*)(KAL_STAGE_ARGS);
namespace base { void RunStages(KAL_STAGE_ARGS); }
namespace avx2 { void RunStages(KAL_STAGE_ARGS); }
namespace avx512 { void RunStages(KAL_STAGE_ARGS); }
#undef KAL_STAGE_ARGS
// For plans whose first pass does the digit reversal (tailStart > 0): the
// stages from float input (xr, xi) into (re, im).
#define KAL_FLOAT_ARGS const Plan &, FFTWork *, const float *xr, const float *xi, double *re, double *im
using FloatStageEngine = void (*)(KAL_FLOAT_ARGS);
namespace base { void RunStagesFromFloat(KAL_FLOAT_ARGS); }
namespace avx2 { void RunStagesFromFloat(KAL_FLOAT_ARGS); }
namespace avx512 { void RunStagesFromFloat(KAL_FLOAT_ARGS); }
#undef KAL_FLOAT_ARGS

// Arrays of n doubles for the transforms: aligned, not cleared (every user
// writes them whole), backed by large pages when the system offers them.
// Null when memory is short.
double *AllocArray(size_t n);
void FreeArray(double *p);
// Makes AllocArray fail above maxElements, for testing the paths where memory
// runs out (SIZE_MAX restores the normal behaviour).
void SetArrayLimit(size_t maxElements);

// True when every prime factor of n fits the work area (the mixed-radix
// engine takes n); otherwise n goes the chirp-z way.
bool MixedRadixTakes(int n);
// The chirp-z transform of (re, im) in place.
int ChirpTransform(double *re, double *im, int n);

} // namespace kalfft

namespace kalfft {

// In-place transform of (re, im) through the mixed-radix engine, with
// (scratchRe, scratchIm) of n doubles as the permutation target.
int MixedRadix(int n, double *re, double *im, double *scratchRe, double *scratchIm,
               FFTWork *work);
// The transform of the floats (xr, xi), widened on the way, into (re, im) of
// n doubles each: the same values as MixedRadix gives for the same samples as
// doubles, with two arrays instead of four.  Lengths with a prime factor of
// 999 or more give FFT_ERR_LENGTH (the chirp-z path needs doubles).
int MixedRadixFromFloat(int n, const float *xr, const float *xi, double *re, double *im,
                        FFTWork *work);

// Instruction-set level of the stage engine: 0 plain x86-64, 1 AVX2+FMA,
// 2 AVX-512.  SetEngineLevel picks one for tests and benchmarks (clamped to
// what the processor has) and returns the level in use.
int EngineLevel();
int SetEngineLevel(int level);

} // namespace kalfft
