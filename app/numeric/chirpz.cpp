// Chirp-z (Bluestein) path for lengths with a prime factor the mixed-radix
// engine does not take: the transform becomes a circular convolution of
// power-of-two length, done with three power-of-two transforms.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "fftint.h"

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;

// e^(i pi q / n) for q < 2n, as lo[q mod L] * hi[q / L] from two tables of
// about sqrt(2n) exactly computed entries.  The index q = j^2 mod 2n is
// reduced in integers, which keeps every angle exact; summing pi / n in
// floating point would drift by 1e-4 radians at a million points.
class ChirpRoots {
public:
    explicit ChirpRoots(int n) : n_(n)
    {
        const long long twoN = 2LL * n;
        while ((1LL << (2 * shift_)) < twoN)
            ++shift_;
        const long long lo = 1LL << shift_, hi = (twoN + lo - 1) / lo;
        table_ = static_cast<double *>(std::malloc(2 * (lo + hi) * sizeof(double)));
        if (table_ == nullptr)
            return;
        hi_ = table_ + 2 * lo;
        for (long long q = 0; q < lo; ++q)
            Exact(q, table_ + 2 * q);
        for (long long h = 0; h < hi; ++h)
            Exact(h * lo, hi_ + 2 * h);
    }
    ~ChirpRoots() { std::free(table_); }
    ChirpRoots(const ChirpRoots &) = delete;
    ChirpRoots &operator=(const ChirpRoots &) = delete;

    bool ok() const { return table_ != nullptr; }
    void at(long long q, double *c, double *s) const
    {
        const double *a = table_ + 2 * (q & ((1LL << shift_) - 1)), *b = hi_ + 2 * (q >> shift_);
        *c = a[0] * b[0] - a[1] * b[1];
        *s = a[0] * b[1] + a[1] * b[0];
    }

private:
    void Exact(long long q, double *out) const
    {
        double angle = static_cast<double>(kPi * q / n_);
        out[0] = std::cos(angle);
        out[1] = std::sin(angle);
    }
    int n_;
    int shift_ = 0;
    double *table_ = nullptr;
    double *hi_ = nullptr;
};

// The three power-of-two transforms of the path share one work area and one
// pair of scratch arrays.
struct PowerOfTwo {
    int m;
    double *scratchRe, *scratchIm;
    FFTWork *work;

    int Forward(double *re, double *im) const
    {
        return kalfft::MixedRadix(m, re, im, scratchRe, scratchIm, work);
    }
    // Exchanged parts turn the forward transform into the inverse one.
    int Inverse(double *re, double *im) const
    {
        int result = Forward(im, re);
        const double scale = 1.0 / m;
        for (int k = 0; k < m; ++k) {
            re[k] *= scale;
            im[k] *= scale;
        }
        return result;
    }
};

} // namespace

int Chirp_Z(double *re, double *im, double *chirpRe, double *chirpIm, double *filterRe,
            double *filterIm, int n, int m)
{
    if (n < 1 || m < n)
        return FFT_ERR_LENGTH;
    ChirpRoots roots(n);
    if (!roots.ok())
        return FFT_ERR_MEMORY;
    const long long twoN = 2LL * n;
    // (n - j)^2 = j^2 + n^2 (mod 2n), and n^2 = n (mod 2n) for odd n: the
    // upper half of the chirp mirrors the lower one, negated for odd n.
    const double mirror = n % 2 ? -1.0 : 1.0;
    for (int j = 0; j <= n / 2; ++j) {
        double c, s;
        roots.at(static_cast<long long>(j) * j % twoN, &c, &s);
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
    double *scratchRe = AllocArray(m), *scratchIm = AllocArray(m);
    FFTWork *work = nullptr;
    int result = FFT_ERR_MEMORY;
    if (chirpRe && chirpIm && filterRe && filterIm && workRe && workIm && scratchRe && scratchIm)
        work = FFTBufferAcquire();
    if (work != nullptr) {
        const PowerOfTwo pow2{m, scratchRe, scratchIm, work};
        std::memcpy(workRe, re, static_cast<size_t>(n) * sizeof(double));
        std::memcpy(workIm, im, static_cast<size_t>(n) * sizeof(double));
        result = Chirp_Z(workRe, workIm, chirpRe, chirpIm, filterRe, filterIm, n, m);
        if (result == 0)
            result = pow2.Forward(workRe, workIm);
        if (result == 0)
            result = pow2.Forward(filterRe, filterIm);
        if (result == 0) {
            CxMultiply(workRe, workIm, filterRe, filterIm, m);
            result = pow2.Inverse(workRe, workIm);
        }
        if (result == 0) {
            CxMultiply(workRe, workIm, chirpRe, chirpIm, n);
            // Only a finished transform replaces the caller's data.
            std::memcpy(re, workRe, static_cast<size_t>(n) * sizeof(double));
            std::memcpy(im, workIm, static_cast<size_t>(n) * sizeof(double));
        }
        FFTBufferRelease(work);
    }
    for (double *p : {chirpRe, chirpIm, filterRe, filterIm, workRe, workIm, scratchRe, scratchIm})
        FreeArray(p);
    return result;
}
