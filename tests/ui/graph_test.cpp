#include "graphview.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

kui::MinMax Direct(const std::vector<float> &v, int64_t a, int64_t b)
{
    kui::MinMax m{std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
    for (int64_t i = a; i < b; ++i)
        if (!std::isnan(v[i])) {
            m.lo = std::min<double>(m.lo, v[i]);
            m.hi = std::max<double>(m.hi, v[i]);
        }
    return m;
}

TEST(GraphReduction, ColumnsHoldTheExtremesOfTheirIndexSpan)
{
    // A tone with noise and a few spikes that only a true min/max keeps.
    const int64_t n = 1000003;
    std::vector<float> v(n);
    std::mt19937 rng(7);
    std::normal_distribution<float> noise(0, 0.1f);
    for (int64_t i = 0; i < n; ++i)
        v[i] = std::sin(i * 0.001f) + noise(rng);
    v[123457] = 50;
    v[999999] = -40;
    v[5] = std::numeric_limits<float>::quiet_NaN();
    const kui::MinMaxPyramid pyr(v.data(), n, true);

    for (auto [first, last, cols] : {std::tuple<int64_t, int64_t, int>{0, n, 733}, {0, n, 1},
                                     {123000, 124000, 97}, {999990, n, 13}, {17, 4113, 4096}}) {
        const auto c = pyr.columns(first, last, cols);
        ASSERT_EQ(static_cast<int>(c.size()), cols);
        for (int k = 0; k < cols; ++k) {
            const auto want = Direct(v, first + k * (last - first) / cols, first + (k + 1) * (last - first) / cols);
            ASSERT_EQ(c[k].lo, want.lo) << first << ".." << last << " column " << k;
            ASSERT_EQ(c[k].hi, want.hi) << first << ".." << last << " column " << k;
        }
    }
    EXPECT_EQ(pyr.range(0, n).hi, 50);
    EXPECT_EQ(pyr.range(0, n).lo, -40);
    EXPECT_TRUE(pyr.range(5, 6).empty());   // a NaN alone holds no number
    EXPECT_TRUE(pyr.range(10, 10).empty());
}

TEST(GraphReduction, DoublesAndTinySeriesAndRandomRanges)
{
    std::vector<double> d(5000);
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-1e6, 1e6);
    for (double &x : d)
        x = u(rng);
    const kui::MinMaxPyramid pyr(d.data(), static_cast<int64_t>(d.size()), false);
    std::uniform_int_distribution<int> pick(0, 5000);
    for (int t = 0; t < 300; ++t) {
        int a = pick(rng), b = pick(rng);
        if (a > b)
            std::swap(a, b);
        const auto got = pyr.range(a, b);
        double lo = std::numeric_limits<double>::infinity(), hi = -lo;
        for (int i = a; i < b; ++i) {
            lo = std::min(lo, d[i]);
            hi = std::max(hi, d[i]);
        }
        ASSERT_EQ(got.lo, lo);
        ASSERT_EQ(got.hi, hi);
    }
    const double one = 3.0;
    const kui::MinMaxPyramid single(&one, 1, false);
    const auto c = single.columns(0, 1, 4);   // more columns than points: only one holds it
    int filled = 0;
    for (const auto &m : c)
        filled += !m.empty();
    EXPECT_EQ(filled, 1);
}

TEST(GraphReduction, PeakIsTheFirstHighestPointOfAnyRange)
{
    // Repeated values, so that the first of equal maxima must be found.
    std::vector<float> v(100003);
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> level(0, 40);
    for (float &x : v)
        x = static_cast<float>(level(rng));
    v[77] = std::numeric_limits<float>::quiet_NaN();
    const kui::MinMaxPyramid pyr(v.data(), static_cast<int64_t>(v.size()), true);
    std::uniform_int_distribution<int> pick(0, static_cast<int>(v.size()));
    for (int t = 0; t < 300; ++t) {
        int a = pick(rng), b = pick(rng);
        if (a > b)
            std::swap(a, b);
        int64_t want = -1;
        for (int i = a; i < b; ++i)
            if (!std::isnan(v[i]) && (want < 0 || v[i] > v[want]))
                want = i;
        ASSERT_EQ(pyr.peak(a, b), want) << a << ".." << b;
    }
    EXPECT_EQ(pyr.peak(77, 78), -1);
}

TEST(GraphReduction, FrequenciesTakeAPrefixAndEnoughDecimals)
{
    // 2.4 GHz told apart at 9.5 Hz: nine decimals of GHz.
    kui::NumberStyle s = kui::StyleFor(2.405e9, 9.5367, "Hz");
    EXPECT_EQ(s.unit.toStdString(), "GHz");
    EXPECT_EQ(s.withUnit(2400625000.0).toStdString(), "2.400625000 GHz");
    s = kui::StyleFor(-5e6, 2e6, "Hz");
    EXPECT_EQ(s.withUnit(-4e6).toStdString(), "-4 MHz");
    s = kui::StyleFor(500, 0.25, "Hz");   // one decimal tells quarters apart
    EXPECT_EQ(s.withUnit(12.75).toStdString(), "12.8 Hz");
    s = kui::StyleFor(16776703, 1, "");
    EXPECT_EQ(s.withUnit(1234567).toStdString(), "1234567");
}

TEST(GraphReduction, TicksAreRoundAndCoverTheRange)
{
    const auto t = kui::NiceTicks(-0.3, 2.7, 6);
    ASSERT_FALSE(t.empty());
    EXPECT_DOUBLE_EQ(t.front(), 0.0);
    EXPECT_DOUBLE_EQ(t.back(), 2.5);
    EXPECT_DOUBLE_EQ(t[1] - t[0], 0.5);
    EXPECT_TRUE(kui::NiceTicks(1, 1, 5).empty());
    EXPECT_EQ(kui::NiceTicks(0, 16776703, 8).back(), 15000000);   // steps of 5 million
    // Far from 0 the ticks stay on their round values.
    for (double t : kui::NiceTicks(2.395e9, 2.405e9, 6))
        EXPECT_EQ(std::fmod(t, 2e6), 0.0) << t;
}

}  // namespace
