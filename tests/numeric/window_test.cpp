#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "numeric/fft.h"
#include "numeric/window.h"
#include "state/globals.h"

namespace {

// The window factors themselves: a record of ones after the window.
std::vector<double> Factors(int (*window)(double *, int), int n)
{
    std::vector<double> x(n, 1.0);
    EXPECT_EQ(window(x.data(), n), 0);
    return x;
}

void ExpectNear(const std::vector<double> &got, const std::vector<double> &want, double tol)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t k = 0; k < got.size(); ++k)
        EXPECT_NEAR(got[k], want[k], tol) << "k = " << k;
}

TEST(Windows, ExamplesOfTheTable)
{
    ExpectNear(Factors(HanWin, 4), {0, 0.5, 1, 0.5}, 1e-15);
    ExpectNear(Factors(HanWin, 5), {0, 0.3454915, 0.9045085, 0.9045085, 0.3454915}, 1e-7);
    ExpectNear(Factors(TriWin, 4), {0, 0.5, 1, 0.5}, 0);
    ExpectNear(Factors(TriWin, 5), {0, 0.5, 1, 1, 0.5}, 0);
    ExpectNear(Factors(HamWin, 4), {0.08, 0.54, 1, 0.54}, 1e-15);

    std::vector<double> taper(20, 1.0), want(20, 1.0);
    EXPECT_EQ(CosTaperedWin(taper.data(), 20), 0);
    want[0] = want[19] = 0.0;
    want[1] = want[18] = 0.5;
    ExpectNear(taper, want, 1e-15);

    std::vector<double> force(5, 3.0);
    EXPECT_EQ(ForceWin(force.data(), 5, 50.0), 0);
    ExpectNear(force, {3, 3, 0, 0, 0}, 0);

    std::vector<double> decay(7, 2.0);
    EXPECT_EQ(ExpWin(decay.data(), 7, 0.01), 0);
    EXPECT_EQ(decay[0], 2.0);
    EXPECT_NEAR(decay[6], 0.02, 1e-15);
    EXPECT_NEAR(decay[3], 0.2, 1e-14); // halfway: sqrt(0.01)
}

TEST(Windows, StoredFirstValuesAreExact)
{
    // The first factor of each cosine window is a stored constant; the
    // reference tables depend on these exact bits.
    EXPECT_EQ(Factors(HamWin, 8)[0], 0.08);
    EXPECT_EQ(Factors(BkmanWin, 8)[0], -1.3877787807814457e-17);
    EXPECT_EQ(Factors(BlkHarrisWin, 8)[0], 0.004900000000000002);
    EXPECT_EQ(Factors(ExBkmanWin, 8)[0], 0.006878761822871851);
    EXPECT_EQ(Factors(FlatTopWin, 8)[0],
              0.215578948 - 0.41663158 + 0.277263158 - 0.083578947 + 0.006947368);
}

TEST(Windows, CosineWindowsAreSymmetricWithUnitCentre)
{
    int (*windows[])(double *, int) = {HanWin, HamWin, BkmanWin, BlkHarrisWin, ExBkmanWin};
    for (auto window : windows)
        for (int n : {6, 7, 64, 101}) {
            std::vector<double> w = Factors(window, n);
            for (int k = 1; k < n; ++k) {
                EXPECT_EQ(w[k], w[n - k]) << "n = " << n << " k = " << k;
            }
            if (n % 2 == 0) {
                EXPECT_EQ(w[n / 2], 1.0);
            }
        }
    // The flat top multiplies the centre by the plain sum of its coefficients.
    EXPECT_NEAR(Factors(FlatTopWin, 8)[4], 1.000000001, 1e-15);
    // Blackman at a quarter period: u = 0 gives A.
    EXPECT_NEAR(Factors(BkmanWin, 8)[2], 0.34, 1e-15);
}

TEST(Windows, Kaiser)
{
    EXPECT_NEAR(I0(0.0), 1.0, 0);
    EXPECT_NEAR(I0(1.0), 1.2660658777520082, 1e-9);
    EXPECT_NEAR(I0(4.86), 24.042912177565412, 1e-8);
    std::vector<double> x(16, 1.0);
    EXPECT_EQ(KsrWin(x.data(), 16, 4.86), 0);
    EXPECT_EQ(x[0], 1.0 / I0(4.86));
    EXPECT_EQ(x[8], 1.0);
    EXPECT_NEAR(x[4], I0(4.86 * std::sqrt(0.75)) / I0(4.86), 1e-15);
    EXPECT_EQ(x[3], x[13]);
}

TEST(Windows, ErrorsAndShortRecords)
{
    double x[2] = {1.0, 1.0};
    EXPECT_EQ(HanWin(x, 0), FFT_ERR_LENGTH);
    EXPECT_EQ(KsrWin(x, 0, 4.86), FFT_ERR_LENGTH);
    EXPECT_EQ(FlatTopWin(x, -1), FFT_ERR_LENGTH);
    EXPECT_EQ(GenCosWin(x, 2, x, 0), FFT_ERR_LENGTH);
    EXPECT_EQ(ExpWin(x, 1, 0.01), FFT_ERR_SHORT);
    EXPECT_EQ(ExpWin(x, 2, 0.0), FFT_ERR_PARAM);
    EXPECT_EQ(ForceWin(x, 1, 50), FFT_ERR_SHORT);

    // One sample: Force and Exponential refuse, Tapered Cosine does nothing,
    // the others multiply by their first factor.
    struct { int (*window)(double *, int); double factor; } cases[] = {
        {HanWin, 0.0}, {TriWin, 0.0}, {HamWin, 0.08}, {BkmanWin, -1.3877787807814457e-17},
        {CosTaperedWin, 1.0}};
    for (auto c : cases) {
        double one = 5.0;
        c.window(&one, 1);
        EXPECT_EQ(one, 5.0 * c.factor);
    }
    double one = 5.0;
    EXPECT_EQ(ForceWin(&one, 1, 50), FFT_ERR_SHORT);
    EXPECT_EQ(ExpWin(&one, 1, 0.01), FFT_ERR_SHORT);
    EXPECT_EQ(one, 5.0);

    // Out-of-range duties keep everything or nothing, never index past the end.
    std::vector<double> all(4, 1.0), none(4, 1.0), nan(4, 1.0);
    ForceWin(all.data(), 4, 1e12);
    ForceWin(none.data(), 4, -30);
    ForceWin(nan.data(), 4, std::nan(""));
    ExpectNear(all, {1, 1, 1, 1}, 0);
    ExpectNear(none, {0, 0, 0, 0}, 0);
    ExpectNear(nan, {0, 0, 0, 0}, 0);
}

// ---------------------------------------------------------------------------
// Every window against its formula, written here in its textbook form (sums
// of cosines, fractions, powers), not in the quadratic form the routines use,
// so that a changed constant or sign cannot hide in both.

constexpr double kPi = 3.14159265358979323846;

double Tri(int k, int n) { return double(std::min(k, n - k)) / (n / 2); }
double Han(int k, int n) { return 0.5 - 0.5 * std::cos(2 * kPi * k / n); }
double Ham(int k, int n) { return 0.54 - 0.46 * std::cos(2 * kPi * k / n); }
double Blackman(int k, int n)
{
    double t = 2 * kPi * k / n;
    return 0.42 - 0.5 * std::cos(t) + 0.08 * std::cos(2 * t);
}
double BlackmanHarris(int k, int n)
{
    double t = 2 * kPi * k / n;
    return 0.42323 - 0.49755 * std::cos(t) + 0.07922 * std::cos(2 * t);
}
double ExactBlackman(int k, int n)
{
    double t = 2 * kPi * k / n;
    return (7938 - 9240 * std::cos(t) + 1430 * std::cos(2 * t)) / 18608;
}
double Kaiser(int k, int n)
{
    double r = 1 - 2.0 * k / n;
    return std::cyl_bessel_i(0.0, 4.86 * std::sqrt(1 - r * r)) / std::cyl_bessel_i(0.0, 4.86);
}
double FlatTop(int k, int n)
{
    static const double a[] = {0.215578948, 0.41663158, 0.277263158, 0.083578947, 0.006947368};
    double t = 2 * kPi * k / n, w = 0;
    for (int j = 0; j < 5; ++j)
        w += (j % 2 ? -1 : 1) * a[j] * std::cos(j * t);
    return w;
}
double Taper(int k, int n)
{
    int m = n / 10, j = std::min(k, n - 1 - k);
    return j < m ? std::pow(std::sin(kPi * j / (2.0 * m)), 2) : 1.0;
}
double Decay(int k, int n) { return std::pow(0.01, double(k) / (n - 1)); }
double Force(int k, int n) { return k < int(0.5 * n) ? 1.0 : 0.0; }
double None(int, int) { return 1.0; }

struct Formula {
    const char *name;
    double (*w)(int k, int n);
    double tol; // the Kaiser routine's Bessel series stops at terms of 1e-8
};

// The windows by trace-panel code (win), as CnvWin must apply them.
const Formula kByCode[] = {
    {"None", None, 0},
    {"Triangular", Tri, 1e-15},
    {"Hanning", Han, 1e-14},
    {"Hamming", Ham, 1e-14},
    {"Blackman", Blackman, 1e-14},
    {"Kaiser 4.86", Kaiser, 1e-8},
    {"Blackman-Harris", BlackmanHarris, 1e-14},
    {"Tapered Cosine", Taper, 1e-14},
    {"Exact Blackman", ExactBlackman, 1e-14},
    {"Exponential 0.01", Decay, 1e-14},
    {"Flat Top", FlatTop, 1e-14},
    {"Force 50 %", Force, 0},
};

TEST(Windows, EveryWindowFollowsItsFormulaAtEveryPoint)
{
    struct Routine {
        int code;
        std::function<int(double *, int)> apply;
    } routines[] = {
        {1, TriWin},
        {2, HanWin},
        {3, HamWin},
        {4, BkmanWin},
        {5, [](double *x, int n) { return KsrWin(x, n, 4.86); }},
        {6, BlkHarrisWin},
        {7, CosTaperedWin},
        {8, ExBkmanWin},
        {9, [](double *x, int n) { return ExpWin(x, n, 0.01); }},
        {10, FlatTopWin},
        {11, [](double *x, int n) { return ForceWin(x, n, 50.0); }},
    };
    for (const Routine &r : routines) {
        const Formula &f = kByCode[r.code];
        for (int n : {8, 9, 40, 101, 1024}) {
            std::vector<double> x(size_t(n), 1.0);
            ASSERT_EQ(r.apply(x.data(), n), 0) << f.name;
            for (int k = 0; k < n; ++k)
                ASSERT_NEAR(x[size_t(k)], f.w(k, n), f.tol) << f.name << ", n = " << n << ", k = " << k;
        }
    }
}

// CnvWin applies, for every code of the trace panel's ring, that code's
// window to the chosen channel, rounded to float; other codes change nothing.
TEST(Windows, CnvWinAppliesTheWindowOfEveryCode)
{
    for (int n : {40, 37}) {
        for (int code = -1; code <= 12; ++code) {
            const Formula &f = code >= 0 && code <= 11 ? kByCode[code] : kByCode[0];
            std::vector<float> i(size_t(n), 2.0f), q(size_t(n), -3.0f);
            s.Len = n;
            s.I = i.data();
            s.Q = q.data();
            win = code;
            CnvWin(0);
            CnvWin(1);
            for (int k = 0; k < n; ++k) {
                ASSERT_NEAR(s.I[k], 2.0 * f.w(k, n), 2e-6) << f.name << ", code " << code << ", n = " << n << ", k = " << k;
                ASSERT_NEAR(s.Q[k], -3.0 * f.w(k, n), 3e-6) << f.name << ", code " << code << ", n = " << n << ", k = " << k;
            }
        }
    }
    s.I = s.Q = nullptr;
    s.Len = 0;
    win = 0;
}

class CnvWinTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        s.Len = 5;
        s.I = static_cast<float *>(std::calloc(5, sizeof(float)));
        s.Q = static_cast<float *>(std::calloc(5, sizeof(float)));
        for (int k = 0; k < 5; ++k) {
            s.I[k] = 1.0f + 0.1f * k;
            s.Q[k] = -2.0f + 0.3f * k;
        }
        std::memcpy(i0, s.I, sizeof i0);
        std::memcpy(q0, s.Q, sizeof q0);
    }
    void TearDown() override
    {
        std::free(s.I);
        std::free(s.Q);
        s.I = s.Q = nullptr;
        s.Len = 0;
        win = 0;
    }
    float i0[5], q0[5];
};

TEST_F(CnvWinTest, NoWindowAndUnknownCodesLeaveTheDataAlone)
{
    for (int code : {0, 12, -1}) {
        win = code;
        CnvWin(0);
        CnvWin(1);
        EXPECT_EQ(std::memcmp(s.I, i0, sizeof i0), 0);
        EXPECT_EQ(std::memcmp(s.Q, q0, sizeof q0), 0);
    }
}

TEST_F(CnvWinTest, WindowsTheChosenArrayOnly)
{
    win = 2; // Hanning
    CnvWin(1);
    EXPECT_EQ(std::memcmp(s.I, i0, sizeof i0), 0);
    std::vector<double> w = Factors(HanWin, 5);
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(s.Q[k], static_cast<float>(q0[k] * w[k]));
    win = 11; // Force, 50 %: the first two samples stay
    CnvWin(0);
    EXPECT_EQ(s.I[1], i0[1]);
    EXPECT_EQ(s.I[2], 0.0f);
}

TEST_F(CnvWinTest, ShortAndEmptyRecords)
{
    s.Len = 1;
    win = 9; // Exponential refuses one sample
    CnvWin(0);
    EXPECT_EQ(s.I[0], i0[0]);
    win = 5; // Kaiser scales it by 1 / I0(4.86)
    CnvWin(0);
    EXPECT_EQ(s.I[0], static_cast<float>(i0[0] * (1.0 / I0(4.86))));
    s.Len = 0;
    CnvWin(1);
    EXPECT_EQ(std::memcmp(s.Q, q0, sizeof q0), 0);
}

} // namespace
