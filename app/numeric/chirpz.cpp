// Chirp-z (Bluestein) path for lengths with a prime factor the mixed-radix
// engine does not take: the transform becomes a circular convolution of
// power-of-two length, done with three power-of-two transforms.
#include <cmath>
#include <cstring>

#include "fftint.h"

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;

// e^(i pi q / n) for the index q = j^2 mod 2n.  Reducing j^2 in integers keeps
// the angle exact; summing j * pi / n in floating point would drift by 1e-4
// radians at a million points.
void Chirp(long long q, int n, double *c, double *s)
{
    double angle = static_cast<double>(kPi * q / n);
    *c = std::cos(angle);
    *s = std::sin(angle);
}

} // namespace

int Chirp_Z(double *re, double *im, double *chirpRe, double *chirpIm, double *filterRe,
            double *filterIm, int n, int m)
{
    if (n < 1 || m < n)
        return FFT_ERR_LENGTH;
    const long long twoN = 2LL * n;
    // (n - j)^2 = j^2 + n^2 (mod 2n), and n^2 = n (mod 2n) for odd n: the
    // upper half of the chirp mirrors the lower one, negated for odd n.
    const double mirror = n % 2 ? -1.0 : 1.0;
    for (int j = 0; j <= n / 2; ++j) {
        double c, s;
        Chirp(static_cast<long long>(j) * j % twoN, n, &c, &s);
        filterRe[j] = c;
        filterIm[j] = s;
        if (j > 0 && n - j > n / 2) {
            filterRe[n - j] = mirror * c;
            filterIm[n - j] = mirror * s;
        }
    }
    for (int j = 0; j < n; ++j) {
        chirpRe[j] = filterRe[j];
        chirpIm[j] = -filterIm[j];
        double x = re[j], y = im[j];
        re[j] = x * chirpRe[j] - y * chirpIm[j];
        im[j] = x * chirpIm[j] + y * chirpRe[j];
    }
    // Filter values for negative indices r = m - j: r = u + t n gives
    // r^2 = u^2 + t n^2 (mod 2n), the value at u, negated for odd t and odd n.
    for (int j = n; j < m; ++j) {
        long long r = static_cast<long long>(m) - j;
        long long u = r % n, t = r / n;
        double sign = (t % 2) ? mirror : 1.0;
        filterRe[j] = sign * filterRe[u];
        filterIm[j] = sign * filterIm[u];
        re[j] = 0.0;
        im[j] = 0.0;
    }
    return 0;
}

int kalfft::ChirpTransform(double *re, double *im, int n)
{
    const int bits = Log2(n) + 2;
    if (bits > 30)
        return FFT_ERR_MEMORY; // the padded length would not fit an int
    const int m = 1 << bits;
    double *chirpRe = AllocArray(n), *chirpIm = AllocArray(n);
    double *filterRe = AllocArray(m), *filterIm = AllocArray(m);
    double *workRe = AllocArray(m), *workIm = AllocArray(m);
    int result = FFT_ERR_MEMORY;
    if (chirpRe && chirpIm && filterRe && filterIm && workRe && workIm) {
        std::memcpy(workRe, re, static_cast<size_t>(n) * sizeof(double));
        std::memcpy(workIm, im, static_cast<size_t>(n) * sizeof(double));
        result = Chirp_Z(workRe, workIm, chirpRe, chirpIm, filterRe, filterIm, n, m);
        if (result == 0)
            result = CxFFT(workRe, workIm, m, bits);
        if (result == 0)
            result = CxFFT(filterRe, filterIm, m, bits);
        if (result == 0) {
            CxMultiply(workRe, workIm, filterRe, filterIm, m);
            result = CxInvFFT(workRe, workIm, m, bits);
        }
        if (result == 0) {
            CxMultiply(workRe, workIm, chirpRe, chirpIm, n);
            // Only a finished transform replaces the caller's data.
            std::memcpy(re, workRe, static_cast<size_t>(n) * sizeof(double));
            std::memcpy(im, workIm, static_cast<size_t>(n) * sizeof(double));
        }
    }
    FreeArray(chirpRe);
    FreeArray(chirpIm);
    FreeArray(filterRe);
    FreeArray(filterIm);
    FreeArray(workRe);
    FreeArray(workIm);
    return result;
}
