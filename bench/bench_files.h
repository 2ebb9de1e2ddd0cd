// What the file-format benches share: the folder their files go to and the
// signal they write, the same one the compare_*.py scripts make with numpy.
#pragma once

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

// $KALMIRA_BENCH_DIR, or /tmp when it is not set.
inline std::string BenchDir()
{
    const char *d = std::getenv("KALMIRA_BENCH_DIR");
    return d && *d ? d : "/tmp";
}

inline std::string BenchPath(const char *file) { return BenchDir() + "/" + file; }

// A slow cosine in I and a half-size sine in Q over the largest trace,
// 16,776,704 samples, made once.
struct BenchSignal {
    static constexpr int kSamples = 16776704;
    std::vector<float> i, q;

    static const BenchSignal &Get()
    {
        static const BenchSignal s;
        return s;
    }

private:
    BenchSignal() : i(kSamples), q(kSamples)
    {
        for (int k = 0; k < kSamples; ++k) {
            i[size_t(k)] = float(std::cos(0.001 * k));
            q[size_t(k)] = float(std::sin(0.001 * k) * 0.5);
        }
    }
};
