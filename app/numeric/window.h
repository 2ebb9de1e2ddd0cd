// Window functions applied to captured I/Q samples before they are saved or
// shown as a spectrum.  Every routine multiplies x[0 .. n-1] in place by the
// window and returns 0 or one of the negative codes of fft.h.
#pragma once

// Periodic (DFT-even) forms: the denominators use n, and w[n-k] = w[k].
int TriWin(double *x, int n);
int HanWin(double *x, int n);
int HamWin(double *x, int n);
int BkmanWin(double *x, int n);
int BlkHarrisWin(double *x, int n);
int ExBkmanWin(double *x, int n);
int KsrWin(double *x, int n, double beta);
int FlatTopWin(double *x, int n);
// Raises the first and last tenth of the record as sin^2; shorter records
// (n < 10) are left alone.  Always 0.
int CosTaperedWin(double *x, int n);
// Decays from 1 to finalValue over the record.
int ExpWin(double *x, int n, double finalValue);
// Keeps the first duty per cent of the record and zeroes the rest.
int ForceWin(double *x, int n, double duty);

// General cosine sum w[k] = sum_j (-1)^j a[j] cos(2 pi j k / n).
int GenCosWin(double *x, int n, const double *a, int count);

// Modified Bessel function of the first kind, order 0 (series, 1e-8 cut-off).
double I0(double x);

// The window types of the trace panel's ring, by code: 0 "None" .. 11
// "Force".  The capture and the averaged spectrum offer the same list.
constexpr int kWindowTypes = 12;
// Name of a window code, "" outside 0 .. kWindowTypes-1.
const char *WindowName(int type);
// Multiplies x[0 .. n-1] by the window of the code with the parameters the
// program uses (Kaiser beta 4.86, Exponential down to 0.01, Force 50 %).
// Returns the routine's result; 0 and no change for "None" and unknown codes.
int ApplyWindowType(double *x, int n, int type);

// Windows the I (which == 0) or Q (which != 0) samples of the current record
// with the window selected on the trace panel.
void CnvWin(int which);
