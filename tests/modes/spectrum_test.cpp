// The Spectrum button: magnitudes of the unwindowed, unscaled transform,
// frequency 0 moved to the middle, shown in the graph pop-up "Yeah".
#include "modesfixture.h"

#include "shell/spectrum.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

namespace {

// Time signal whose transform has magnitude k + 1 in bin k.
void SignalWithRampSpectrum(int n, std::vector<float> &i, std::vector<float> &q)
{
    i.assign(n, 0);
    q.assign(n, 0);
    for (int j = 0; j < n; ++j) {
        std::complex<double> x = 0;
        for (int k = 0; k < n; ++k)
            x += (k + 1.0) * std::polar(1.0, 2 * M_PI * j * k / n);
        i[j] = static_cast<float>(x.real() / n);
        q[j] = static_cast<float>(x.imag() / n);
    }
}

class SpectrumTest : public ModesTest {
protected:
    std::vector<double> Press()
    {
        ui_test::ClearPopups();
        EXPECT_EQ(ui_test::UserClick(hRun, RN_SPEC), 0);
        for (const ui_test::Popup &p : ui_test::Popups())
            if (p.kind == "graph") {
                EXPECT_EQ(p.title, "Yeah");
                EXPECT_EQ(p.count, static_cast<int>(p.values.size()));
                return p.values;
            }
        return {};
    }

    // Magnitude k + 1 identifies bin k.
    std::vector<int> BinOrder(int n)
    {
        std::vector<float> i, q;
        SignalWithRampSpectrum(n, i, q);
        Hold(i.data(), q.data(), n);
        std::vector<int> bins;
        for (double m : Press())
            bins.push_back(static_cast<int>(std::lround(m)) - 1);
        return bins;
    }
};

TEST_F(SpectrumTest, RotationPutsFrequencyZeroInTheMiddle)
{
    EXPECT_EQ(BinOrder(8), (std::vector<int>{4, 5, 6, 7, 0, 1, 2, 3}));
    EXPECT_EQ(BinOrder(5), (std::vector<int>{2, 3, 0, 1, 4}));
    EXPECT_EQ(BinOrder(2), (std::vector<int>{1, 0}));
    EXPECT_EQ(BinOrder(1), (std::vector<int>{0}));
    // A length with a prime factor above 998 takes the chirp-z path.
    std::vector<int> bins = BinOrder(1009);
    ASSERT_EQ(bins.size(), 1009u);
    EXPECT_EQ(bins[0], 504);
    EXPECT_EQ(bins[503], 1007);
    EXPECT_EQ(bins[504], 0);
    EXPECT_EQ(bins[1007], 503);
    EXPECT_EQ(bins[1008], 1008);
}

TEST_F(SpectrumTest, ToneInBinKPeaksAtKPlusOrMinusHalfN)
{
    const int n = 96;
    for (int k : {0, 1, 17, 47, 48, 60, 95}) {
        std::vector<float> i(n), q(n);
        for (int j = 0; j < n; ++j) {
            i[j] = static_cast<float>(std::cos(2 * M_PI * k * j / n));
            q[j] = static_cast<float>(std::sin(2 * M_PI * k * j / n));
        }
        Hold(i.data(), q.data(), n);
        const std::vector<double> mag = Press();
        ASSERT_EQ(mag.size(), static_cast<size_t>(n));
        const int expect = k < n / 2 ? k + n / 2 : k - n / 2;
        for (int b = 0; b < n; ++b) {
            // Linear and unscaled: a unit tone gives n in its bin.
            if (b == expect)
                EXPECT_NEAR(mag[b], n, 1e-3) << "tone " << k;
            else
                EXPECT_NEAR(mag[b], 0, 1e-3) << "tone " << k << " bin " << b;
        }
    }
}

TEST_F(SpectrumTest, LongRecordsKeepEveryBinWhereItBelongs)
{
    // Long enough for the magnitudes to be taken in two halves at once; one
    // tone in each half of the transform, and an odd length whose last bin
    // stays last.
    const int n = 131075;
    const int k1 = 1000, k2 = 100000, kLast = n - 1;
    std::vector<float> i(n), q(n);
    for (int j = 0; j < n; ++j) {
        std::complex<double> x = std::polar(1.0, 2 * M_PI * double(k1) * j / n) +
                                 std::polar(2.0, 2 * M_PI * double(k2) * j / n) +
                                 std::polar(3.0, 2 * M_PI * double(kLast) * j / n);
        i[j] = static_cast<float>(x.real());
        q[j] = static_cast<float>(x.imag());
    }
    Hold(i.data(), q.data(), n);
    const std::vector<double> mag = Press();
    ASSERT_EQ(mag.size(), static_cast<size_t>(n));
    const int h = n / 2;
    EXPECT_NEAR(mag[k1 + h], 1.0 * n, 1.0);
    EXPECT_NEAR(mag[k2 - h], 2.0 * n, 1.0);
    EXPECT_NEAR(mag[n - 1], 3.0 * n, 1.0);
    double rest = 0;
    for (int b = 0; b < n; ++b)
        if (b != k1 + h && b != k2 - h && b != n - 1)
            rest = std::max(rest, mag[b]);
    EXPECT_LT(rest, 1.0);
}

TEST_F(SpectrumTest, NothingToShowGivesNoPopup)
{
    s.Len = 0;
    SetCtrlAttribute(hRun, RN_SPEC, ATTR_DIMMED, 0);
    EXPECT_TRUE(Press().empty());
    EXPECT_EQ(ShowSpectrum(), -1);
}

TEST_F(SpectrumTest, CountRaisedForTheNextCaptureReadsOnlyTheHeldSamples)
{
    const float i[4] = {1, 0, -1, 0}, q[4] = {0, 1, 0, -1};
    Hold(i, q, 4);
    // The Beryl's count changed after the trace was taken.
    s.Len = 130560;
    const std::vector<double> mag = Press();
    EXPECT_EQ(mag.size(), 4u);
}

TEST_F(SpectrumTest, SpectrumIsRefusedWhileALoadFillsTheRecord)
{
    const float i[2] = {1, 1}, q[2] = {0, 0};
    Hold(i, q, 2);
    IoBusy = 1;
    EXPECT_TRUE(Press().empty());
    IoBusy = 0;
    EXPECT_EQ(Press().size(), 2u);
}

}  // namespace
