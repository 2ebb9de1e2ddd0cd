#include "levels.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int64_t kChunk = 1 << 20;

void Chunk(const double *v, int64_t first, int64_t last, double scale, double *out)
{
    for (int64_t k = first; k < last; ++k) {
        const double d = 20.0 * std::log10(v[k] * scale);
        out[k] = d < kDecibelFloor ? kDecibelFloor : d;
    }
}

} // namespace

bool ToDecibels(const double *v, int64_t n, double scale, double *out, const NumProgress &progress)
{
    const int chunks = static_cast<int>((n + kChunk - 1) / kChunk);
    return SplitInTwo(
        chunks, [&](int, int c) { Chunk(v, c * kChunk, std::min(n, (c + 1) * kChunk), scale, out); }, progress);
}
