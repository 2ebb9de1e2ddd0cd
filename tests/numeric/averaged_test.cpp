// The averaged spectrum against numpy on the same windowed, half-overlapping
// segments, and the dB levels the spectrum's scale uses.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "numeric/averaged.h"
#include "numeric/fft.h"
#include "numeric/levels.h"
#include "numeric/magnitudes.h"

namespace {

// numpy's view of the same computation: the mean over the segments of
// |fft(segment * window)|, centred with fftshift.  The windows are written
// from their textbook formulas, not taken from the program.
const char kScript[] = R"(
import sys
import numpy as np
d = np.fromfile(sys.argv[1], dtype=np.float32)
n = d.size // 2
x = d[:n].astype(np.float64) + 1j * d[n:].astype(np.float64)
seg, kind = int(sys.argv[2]), sys.argv[3]
th = 2 * np.pi * np.arange(seg) / seg
flat = [0.215578948, 0.41663158, 0.277263158, 0.083578947, 0.006947368]
w = {'none': np.ones(seg),
     'hanning': 0.5 - 0.5 * np.cos(th),
     'hamming': 0.54 - 0.46 * np.cos(th),
     'flattop': sum((-1) ** j * a * np.cos(j * th) for j, a in enumerate(flat))}[kind]
hop = seg // 2
count = (n - seg) // hop + 1
segs = np.stack([x[s * hop:s * hop + seg] * w for s in range(count)])
mean = np.abs(np.fft.fft(segs, axis=1)).mean(axis=0)
np.fft.fftshift(mean).astype(np.float64).tofile(sys.argv[4])
)";

const char kPython[] = "/usr/bin/python3";

class AveragedVsNumpy : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string probe = std::string(kPython) + " -c 'import numpy' 2>/dev/null";
        if (std::system(probe.c_str()) != 0)
            GTEST_SKIP() << kPython << " with numpy is not installed (Debian: python3-numpy)";
        dir = std::filesystem::temp_directory_path() /
              ("kalmira-avg-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        std::ofstream(dir / "avg.py") << kScript;
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    std::vector<double> Numpy(const std::vector<float> &i, const std::vector<float> &q, int seg,
                              const char *kind)
    {
        {
            std::ofstream in(dir / "in.f32", std::ios::binary);
            in.write(reinterpret_cast<const char *>(i.data()), i.size() * sizeof(float));
            in.write(reinterpret_cast<const char *>(q.data()), q.size() * sizeof(float));
        }
        const std::string cmd = std::string(kPython) + " " + (dir / "avg.py").string() + " " +
                                (dir / "in.f32").string() + " " + std::to_string(seg) + " " + kind + " " +
                                (dir / "out.f64").string();
        EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        std::vector<double> out(seg);
        std::ifstream(dir / "out.f64", std::ios::binary).read(reinterpret_cast<char *>(out.data()), seg * sizeof(double));
        return out;
    }

    std::filesystem::path dir;
};

// A tone a little off a bin, over noise that keeps every bin well above the
// rounding of either transform.
void ToneInNoise(int n, std::vector<float> &i, std::vector<float> &q)
{
    std::mt19937 gen(11);
    std::normal_distribution<float> noise(0.0f, 0.05f);
    i.resize(n);
    q.resize(n);
    for (int k = 0; k < n; ++k) {
        const double ph = 2 * M_PI * 0.1234 * k;
        i[k] = static_cast<float>(0.7 * std::cos(ph)) + noise(gen);
        q[k] = static_cast<float>(0.7 * std::sin(ph)) + noise(gen);
    }
}

TEST_F(AveragedVsNumpy, MeanOfMagnitudesOfWindowedHalfOverlappingSegments)
{
    // 50,001 samples leave a ragged end that no segment covers.
    std::vector<float> i, q;
    ToneInNoise(50001, i, q);
    const struct {
        int seg, window;
        const char *kind;
    } cases[] = {{1024, 0, "none"}, {1024, 2, "hanning"}, {4096, 3, "hamming"}, {2048, 10, "flattop"}};
    for (const auto &c : cases) {
        std::vector<double> ours(c.seg);
        ASSERT_EQ(AveragedMagnitudes(i.data(), q.data(), 50001, c.seg, c.window, ours.data(), nullptr), 0);
        const std::vector<double> want = Numpy(i, q, c.seg, c.kind);
        double worst = 0;
        for (int k = 0; k < c.seg; ++k)
            worst = std::max(worst, std::abs(ours[k] - want[k]) / want[k]);
        EXPECT_LT(worst, 1e-9) << c.kind << ", " << c.seg << " points";
    }
}

TEST(Averaged, SegmentsShortRecordsAndStopping)
{
    EXPECT_EQ(AveragedSegments(50001, 1024), 96);   // (50001 - 1024) / 512 + 1
    EXPECT_EQ(AveragedSegments(1024, 1024), 1);
    EXPECT_EQ(AveragedSegments(1023, 1024), 0);
    std::vector<float> i, q;
    ToneInNoise(4096, i, q);
    std::vector<double> out(8192);
    EXPECT_EQ(AveragedMagnitudes(i.data(), q.data(), 4096, 8192, 2, out.data(), nullptr), FFT_ERR_LENGTH);
    int asked = 0;
    EXPECT_EQ(AveragedMagnitudes(i.data(), q.data(), 4096, 256, 2, out.data(),
                                 [&](double) { return ++asked < 3; }),
              AVG_STOPPED);
    EXPECT_EQ(asked, 3);
}

TEST(Levels, DecibelsWithAFloorAndGaps)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> v = {1.0, 10.0, 0.5, 0.0, 1e-200, nan};
    std::vector<double> out(v.size());
    ASSERT_TRUE(ToDecibels(v.data(), 6, 2.0, out.data(), nullptr));
    EXPECT_NEAR(out[0], 6.0206, 1e-4);
    EXPECT_NEAR(out[1], 26.0206, 1e-4);
    EXPECT_DOUBLE_EQ(out[2], 0.0);
    EXPECT_EQ(out[3], kDecibelFloor);
    EXPECT_EQ(out[4], kDecibelFloor);
    EXPECT_TRUE(std::isnan(out[5]));
    // Long arrays go in chunks over two threads; every element is converted.
    std::vector<double> big(3'000'001, 0.1), dB(big.size(), 1.0);
    ASSERT_TRUE(ToDecibels(big.data(), static_cast<int64_t>(big.size()), 1.0, dB.data(), nullptr));
    for (double d : dB)
        ASSERT_NEAR(d, -20.0, 1e-12);
}

TEST(Levels, FrequencyOrderOfOddLengths)
{
    // Rotated order of 5 bins is 2, 3, 0, 1, 4; by frequency it is -2 .. 2,
    // that is bins 3, 4, 0, 1, 2.
    std::vector<double> v = {2, 3, 0, 1, 4};
    FrequencyOrder(v.data(), 5);
    EXPECT_EQ(v, (std::vector<double>{3, 4, 0, 1, 2}));
    std::vector<double> even = {4, 5, 6, 7, 0, 1, 2, 3};
    FrequencyOrder(even.data(), 8);
    EXPECT_EQ(even, (std::vector<double>{4, 5, 6, 7, 0, 1, 2, 3}));
    std::vector<double> three = {1, 0, 2};   // bins of frequency 1, 0, -1
    FrequencyOrder(three.data(), 3);
    EXPECT_EQ(three, (std::vector<double>{2, 0, 1}));
    std::vector<double> plain = {0, 1, 2, 3, 4};
    RotateHalves(plain.data(), 5);
    EXPECT_EQ(plain, (std::vector<double>{2, 3, 0, 1, 4}));
}

} // namespace
