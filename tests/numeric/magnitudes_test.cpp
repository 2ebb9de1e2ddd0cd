// The spectrum's magnitudes straight from the float samples must equal what
// the display computed before, bit for bit: widening to doubles, the
// transform, ToPolar1D's magnitudes and the rotation through Subset1D.
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "numeric/fft.h"
#include "numeric/fftint.h"
#include "numeric/magnitudes.h"

namespace {

struct Samples {
    std::vector<float> i, q;
};

Samples Noise(int n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::normal_distribution<float> u(0.0f, 0.3f);
    Samples x{std::vector<float>(n), std::vector<float>(n)};
    for (int k = 0; k < n; ++k) {
        x.i[k] = u(gen);
        x.q[k] = u(gen);
    }
    return x;
}

// The former path, step by step through the layer's public routines.
std::vector<double> FormerPath(const Samples &x)
{
    const int n = static_cast<int>(x.i.size()), h = n / 2;
    std::vector<double> re(x.i.begin(), x.i.end()), im(x.q.begin(), x.q.end());
    std::vector<double> mag(n), phase(n);
    EXPECT_EQ(FFT(re.data(), im.data(), n), 0);
    EXPECT_EQ(ToPolar1D(re.data(), im.data(), n, mag.data(), phase.data()), 0);
    if (h > 0) {
        Subset1D(mag.data(), n, 0, h, phase.data());
        std::memmove(mag.data(), mag.data() + h, h * sizeof(double));
        Subset1D(phase.data(), n, 0, h, mag.data() + h);
    }
    return mag;
}

std::vector<double> NewPath(const Samples &x)
{
    const int n = static_cast<int>(x.i.size());
    double *mag = nullptr;
    EXPECT_EQ(MagnitudeSpectrum(x.i.data(), x.q.data(), n, &mag), 0);
    std::vector<double> out;
    if (mag != nullptr)
        out.assign(mag, mag + n);
    std::free(mag);
    return out;
}

size_t FirstDifference(const std::vector<double> &a, const std::vector<double> &b)
{
    if (a.size() != b.size())
        return 0;
    for (size_t k = 0; k < a.size(); ++k)
        if (std::memcmp(&a[k], &b[k], sizeof(double)) != 0)
            return k;
    return SIZE_MAX;
}

TEST(Magnitudes, EqualTheFormerPathBitForBit)
{
    // Even, odd and prime lengths; small ones are permuted before the stages,
    // long ones widen in the first pass and take two threads, 1009 goes the
    // chirp-z way and 997 through the general odd kernel.
    const int lengths[] = {1, 2, 5, 8, 200, 997, 1009, 1215, 4096, 131075, 262144, 1048544};
    const int max = kalfft::SetEngineLevel(9);
    for (int level = 0; level <= max; ++level) {
        kalfft::SetEngineLevel(level);
        for (int n : lengths) {
            const Samples x = Noise(n, static_cast<unsigned>(n));
            EXPECT_EQ(FirstDifference(NewPath(x), FormerPath(x)), SIZE_MAX)
                << "n " << n << ", engine level " << level;
        }
    }
    kalfft::SetEngineLevel(max);
}

TEST(Magnitudes, RotationOrderAndErrors)
{
    // Real values: each magnitude is the value's size, at its rotated place.
    std::vector<double> re = {0, 1, 2, 3, 4}, im(5, 0.0);
    RotatedMagnitudes(re.data(), im.data(), 5);
    EXPECT_EQ(re, (std::vector<double>{2, 3, 0, 1, 4}));
    re = {0, -1, 2, 3, 4, 5, 6, 7};
    im.assign(8, 0.0);
    RotatedMagnitudes(re.data(), im.data(), 8);
    EXPECT_EQ(re, (std::vector<double>{4, 5, 6, 7, 0, 1, 2, 3}));
    re = {3, 0};
    im = {4, -2};
    RotatedMagnitudes(re.data(), im.data(), 2);
    EXPECT_EQ(re, (std::vector<double>{2, 5}));

    double *mag = reinterpret_cast<double *>(1);
    float v = 1.0f;
    EXPECT_EQ(MagnitudeSpectrum(&v, &v, 0, &mag), FFT_ERR_LENGTH);
    EXPECT_EQ(mag, nullptr);
    kalfft::SetArrayLimit(100);
    const Samples x = Noise(1000, 1);
    EXPECT_EQ(MagnitudeSpectrum(x.i.data(), x.q.data(), 1000, &mag), FFT_ERR_MEMORY);
    EXPECT_EQ(mag, nullptr);
    kalfft::SetArrayLimit(SIZE_MAX);
}

} // namespace
