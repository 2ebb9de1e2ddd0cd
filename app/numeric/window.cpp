#include "window.h"

#include <cmath>

#include "fft.h"

namespace {

constexpr double Pi = 3.14159265358979323846;

// The symmetric windows compute w[k] for k = 1 .. ceil(n/2)-1 and apply it to
// both halves; an even record's centre has the value 1 and is left alone.
int HalfCount(int n) { return (n + 1) / 2 - 1; }

void ApplyPair(double *x, int n, int k, double w)
{
    x[k] *= w;
    x[n - k] *= w;
}

// A - B u + C u^2 with u = cos(2 pi k / n).  The quadratic form and the stored
// first value are what the tables of reference results were made with.
int ThreeTerm(double *x, int n, double A, double B, double C, double w0)
{
    if (n <= 0)
        return FFT_ERR_LENGTH;
    x[0] *= w0;
    for (int k = 1; k <= HalfCount(n); ++k) {
        double u = std::cos(2.0 * Pi * k / n);
        ApplyPair(x, n, k, A - B * u + C * u * u);
    }
    return 0;
}

} // namespace

int TriWin(double *x, int n)
{
    if (n <= 0)
        return FFT_ERR_LENGTH;
    x[0] = 0.0;
    int half = n / 2;
    for (int k = 1; k <= HalfCount(n); ++k)
        ApplyPair(x, n, k, static_cast<double>(k) / half);
    return 0;
}

int HanWin(double *x, int n)
{
    if (n <= 0)
        return FFT_ERR_LENGTH;
    x[0] = 0.0;
    for (int k = 1; k <= HalfCount(n); ++k) {
        double s = std::sin(Pi * k / n);
        ApplyPair(x, n, k, s * s);
    }
    return 0;
}

int HamWin(double *x, int n) { return ThreeTerm(x, n, 0.54, 0.46, 0.0, 0.08); }

int BkmanWin(double *x, int n)
{
    return ThreeTerm(x, n, 0.34, 0.5, 0.16, -1.3877787807814457e-17);
}

int BlkHarrisWin(double *x, int n)
{
    return ThreeTerm(x, n, 0.34401, 0.49755, 0.15844, 0.004900000000000002);
}

int ExBkmanWin(double *x, int n)
{
    return ThreeTerm(x, n, 0.3497420464316423, 0.4965606190885641, 0.15369733447979364,
                     0.006878761822871851);
}

double I0(double x)
{
    double sum = 1.0, term = 1.0, x2 = x * x;
    for (int m = 1; m <= 25; ++m) {
        term *= x2 / ((2.0 * m) * (2.0 * m));
        sum += term;
        if (term <= 1e-8)
            break;
    }
    return sum;
}

int KsrWin(double *x, int n, double beta)
{
    if (n < 1)
        return FFT_ERR_LENGTH;
    double norm = I0(beta);
    x[0] *= 1.0 / norm;
    for (int k = 1; k <= HalfCount(n); ++k) {
        double r = 1.0 - 2.0 * k / n;
        ApplyPair(x, n, k, I0(beta * std::sqrt(1.0 - r * r)) / norm);
    }
    return 0;
}

int GenCosWin(double *x, int n, const double *a, int count)
{
    if (n < 1 || count < 1)
        return FFT_ERR_LENGTH;
    double alt = 0.0, plain = 0.0;
    for (int j = 0; j < count; ++j) {
        alt += (j % 2 ? -a[j] : a[j]);
        plain += a[j];
    }
    x[0] *= alt;
    for (int k = 1; k <= HalfCount(n); ++k) {
        double theta = 2.0 * Pi * k / n, w = 0.0;
        for (int j = 0; j < count; ++j)
            w += (j % 2 ? -a[j] : a[j]) * std::cos(j * theta);
        ApplyPair(x, n, k, w);
    }
    if (n % 2 == 0 && n > 1)
        x[n / 2] *= plain;
    return 0;
}

int FlatTopWin(double *x, int n)
{
    static const double a[5] = {0.215578948, 0.41663158, 0.277263158, 0.083578947, 0.006947368};
    return GenCosWin(x, n, a, 5);
}

int CosTaperedWin(double *x, int n)
{
    int m = n / 10;
    for (int j = 0; j < m; ++j) {
        double s = std::sin(Pi * j / (2.0 * m));
        x[j] *= s * s;
        x[n - 1 - j] *= s * s;
    }
    return 0;
}

int ExpWin(double *x, int n, double finalValue)
{
    if (n < 2)
        return FFT_ERR_SHORT;
    if (finalValue <= 0.0)
        return FFT_ERR_PARAM;
    double step = std::log(finalValue) / (n - 1), e = 0.0;
    for (int k = 0; k < n; ++k) {
        x[k] *= std::exp(e);
        e += step;
    }
    return 0;
}

int ForceWin(double *x, int n, double duty)
{
    if (n < 2)
        return FFT_ERR_SHORT;
    double edge = std::trunc(duty * 0.01 * n);
    // Clamped before the conversion: a NaN or huge duty must not become an
    // out-of-range index.
    int b = !(edge > 0.0) ? 0 : edge >= n ? n : static_cast<int>(edge);
    for (int k = b; k < n; ++k)
        x[k] = 0.0;
    return 0;
}

const char *WindowName(int type)
{
    static const char *const names[kWindowTypes] = {
        "None",           "Triangular",     "Hanning",     "Hamming",
        "Blackman",       "Kaiser",         "Blackman-Harris", "Tapered Cosine",
        "Exact Blackman", "Exponential",    "Flat Top",    "Force"};
    return type >= 0 && type < kWindowTypes ? names[type] : "";
}

int ApplyWindowType(double *x, int n, int type)
{
    switch (type) {
    case 1: return TriWin(x, n);
    case 2: return HanWin(x, n);
    case 3: return HamWin(x, n);
    case 4: return BkmanWin(x, n);
    case 5: return KsrWin(x, n, 4.86);
    case 6: return BlkHarrisWin(x, n);
    case 7: return CosTaperedWin(x, n);
    case 8: return ExBkmanWin(x, n);
    case 9: return ExpWin(x, n, 0.01);
    case 10: return FlatTopWin(x, n);
    case 11: return ForceWin(x, n, 50.0);
    default: return 0;
    }
}
