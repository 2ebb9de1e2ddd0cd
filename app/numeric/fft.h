// The FFT layer behind the spectrum display: complex transforms of any
// length on separate real and imaginary arrays of doubles, polar conversion
// and two array helpers.  Every routine returns 0 or a negative code below.
//
// Lengths whose prime factors are all below 999 go through the mixed-radix
// engine; the others through the chirp-z (Bluestein) path, which turns them
// into three power-of-two transforms.  Transforms may run on several threads
// at once; each takes its own work area from a small shared pool.
#pragma once

enum {
    FFT_OK = 0,
    FFT_ERR_MEMORY = -20001, // out of memory
    FFT_ERR_LENGTH = -20003, // a length, count or index is not positive
    FFT_ERR_SHORT = -20006,  // fewer than 2 samples where 2 are needed
    FFT_ERR_RANGE = -20018,  // a sub-range reaches past the end of the array
    FFT_ERR_PARAM = -20027,  // a parameter that must be positive is not
};

// Forward transform X[k] = sum_j x[j] e^(-2 pi i jk/n), unscaled, in place.
int FFT(double *re, double *im, int n);
// Forward transform in place (log2n is accepted for compatibility, unused).
int CxFFT(double *re, double *im, int n, int log2n);
// Inverse transform in place, scaled by 1/n.
int CxInvFFT(double *re, double *im, int n, int log2n);
// a[k] *= b[k] for k < n.
int CxMultiply(double *aRe, double *aIm, const double *bRe, const double *bIm, int n);
// Prepares the chirp-z path for a transform of length n padded to m: fills
// the chirp (n values) and the filter (m values), multiplies the first n
// elements of re/im by the chirp and clears elements n .. m-1.
int Chirp_Z(double *re, double *im, double *chirpRe, double *chirpIm, double *filterRe,
            double *filterIm, int n, int m);

int ToPolar(double x, double y, double *magnitude, double *phase);
int ToPolar1D(const double *x, const double *y, int n, double *magnitude, double *phase);
int Subset1D(const double *src, int n, int index, int length, double *dst);
int Copy1D(const double *src, int n, double *dst);
// floor(log2 n); -1 for n <= 0.
int Log2(int n);

// ---- Mixed-radix engine -------------------------------------------------

constexpr int FFT_MAX_FACTORS = 20; // tables are indexed 1 .. 19
constexpr int FFT_MAX_RADIX = 999;  // largest factor the work area holds

struct FFTWork; // one per running transform, see FFTBufferAcquire

// Factors of n in processing order into f[1 .. count]; returns the count.
int factorize(int n, int f[FFT_MAX_FACTORS]);
// sofar[i] = product of the factors before stage i; remain[i] = n / (sofar[i] f[i]).
void transTableSetup(int n, int count, const int f[], int sofar[FFT_MAX_FACTORS],
                     int remain[FFT_MAX_FACTORS]);
// Mixed-radix digit reversal from (xr, xi) into (yr, yi).
void permute(int n, int count, const int f[], const int remain[], const double *xr,
             const double *xi, double *yr, double *yi);
// trig[k] = e^(-2 pi i k / radix) for k < radix, by recurrence.
void initTrig(int radix, double *trigRe, double *trigIm);
// Transform of n points from (xr, xi) into the distinct arrays (yr, yi).  A
// negative count makes the engine factorize n itself.  0, FFT_ERR_LENGTH for
// n < 1 or a factor the work area cannot hold.
int mixfft(int n, const double *xr, const double *xi, double *yr, double *yi, FFTWork *work,
           int count, const int *f);

// ---- Work-area pool -----------------------------------------------------

constexpr int FFT_POOL_SLOTS = 4;

int CreateFFTBufferCache();
void DestroyFFTBufferCache();
// A work area from the pool, or a fresh one when the pool is empty; null when
// memory is short.
FFTWork *FFTBufferAcquire();
// Returns the area to the pool, or frees it when the pool is full.
void FFTBufferRelease(FFTWork *work);
// Number of areas the pool currently keeps (at most FFT_POOL_SLOTS).
int FFTBufferCached();
