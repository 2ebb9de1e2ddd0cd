// The min/max pyramid: level k holds the extremes of blocks of 8^(k+1)
// values; a query takes whole blocks of the highest level that fits and the
// ragged ends from the levels below.
#include "pyramid.h"

#include <algorithm>
#include <limits>

namespace kui {

namespace {

constexpr int kFanOut = 8;
constexpr MinMax kEmpty{std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};

void Merge(MinMax &into, const MinMax &m)
{
    into.lo = std::min(into.lo, m.lo);
    into.hi = std::max(into.hi, m.hi);
}

int64_t BlockSize(int level)
{
    int64_t b = kFanOut;
    for (int i = 0; i < level; ++i)
        b *= kFanOut;
    return b;
}


// The lowest level holds most of the pyramid's work: one typed loop without
// branches, which the compiler turns into vector minima and maxima.  A NaN
// fails both comparisons and so leaves the extremes alone, as in scan().
template <typename T>
std::vector<MinMax> BlockExtremes(const T *v, int64_t count)
{
    std::vector<MinMax> level((count + kFanOut - 1) / kFanOut);
    const int64_t whole = count / kFanOut;
    for (int64_t b = 0; b < whole; ++b) {
        const T *x = v + b * kFanOut;
        double lo = kEmpty.lo, hi = kEmpty.hi;
        for (int i = 0; i < kFanOut; ++i) {
            const double d = x[i];
            lo = d < lo ? d : lo;
            hi = d > hi ? d : hi;
        }
        level[b] = {lo, hi};
    }
    return level;
}

}  // namespace

MinMaxPyramid::MinMaxPyramid(const void *values, int64_t count, bool isFloat)
    : values_(values), count_(std::max<int64_t>(count, 0)), isFloat_(isFloat)
{
    if (count_ <= kFanOut)
        return;
    std::vector<MinMax> level = isFloat ? BlockExtremes(static_cast<const float *>(values), count_)
                                        : BlockExtremes(static_cast<const double *>(values), count_);
    if (count_ % kFanOut != 0)
        level.back() = scan(count_ / kFanOut * kFanOut, count_);
    levels_.push_back(std::move(level));
    while (levels_.back().size() > kFanOut) {
        const std::vector<MinMax> &below = levels_.back();
        std::vector<MinMax> up((below.size() + kFanOut - 1) / kFanOut, kEmpty);
        for (size_t i = 0; i < below.size(); ++i)
            Merge(up[i / kFanOut], below[i]);
        levels_.push_back(std::move(up));
    }
}

double MinMaxPyramid::at(int64_t i) const
{
    return isFloat_ ? static_cast<const float *>(values_)[i] : static_cast<const double *>(values_)[i];
}

MinMax MinMaxPyramid::scan(int64_t first, int64_t last) const
{
    MinMax r = kEmpty;
    for (int64_t i = first; i < last; ++i) {
        const double v = at(i);
        if (v == v) {   // NaN shows as a gap, not as an extreme
            r.lo = std::min(r.lo, v);
            r.hi = std::max(r.hi, v);
        }
    }
    return r;
}

// Whole blocks of the level inside the range, the ragged ends one level down.
MinMax MinMaxPyramid::query(int64_t first, int64_t last, int level) const
{
    if (last <= first)
        return kEmpty;
    if (level < 0)
        return scan(first, last);
    const int64_t b = BlockSize(level);
    const int64_t bs = (first + b - 1) / b, be = last / b;
    if (bs >= be)
        return query(first, last, level - 1);
    MinMax r = kEmpty;
    for (int64_t k = bs; k < be; ++k)
        Merge(r, levels_[level][k]);
    Merge(r, query(first, bs * b, level - 1));
    Merge(r, query(be * b, last, level - 1));
    return r;
}

int MinMaxPyramid::levelFor(int64_t span) const
{
    int level = -1;
    while (level + 1 < static_cast<int>(levels_.size()) && BlockSize(level + 1) <= span)
        ++level;
    return level;
}

MinMax MinMaxPyramid::range(int64_t first, int64_t last) const
{
    first = std::clamp<int64_t>(first, 0, count_);
    last = std::clamp<int64_t>(last, first, count_);
    return query(first, last, levelFor(last - first));
}

// The first index in [first, last) whose value reaches target: the ragged
// start, then the first whole block whose maximum reaches it (searched one
// level down), then the ragged end.  A few dozen steps for any range.
int64_t MinMaxPyramid::find(int64_t first, int64_t last, double target, int level) const
{
    if (last <= first)
        return -1;
    if (level < 0) {
        for (int64_t i = first; i < last; ++i)
            if (at(i) >= target)
                return i;
        return -1;
    }
    const int64_t b = BlockSize(level);
    const int64_t bs = (first + b - 1) / b, be = last / b;
    if (bs >= be)
        return find(first, last, target, level - 1);
    int64_t i = find(first, bs * b, target, level - 1);
    for (int64_t k = bs; i < 0 && k < be; ++k)
        if (levels_[level][k].hi >= target)
            i = find(k * b, (k + 1) * b, target, level - 1);
    return i >= 0 ? i : find(be * b, last, target, level - 1);
}

int64_t MinMaxPyramid::peak(int64_t first, int64_t last) const
{
    first = std::clamp<int64_t>(first, 0, count_);
    last = std::clamp<int64_t>(last, first, count_);
    const MinMax m = range(first, last);
    return m.empty() ? -1 : find(first, last, m.hi, levelFor(last - first));
}

std::vector<MinMax> MinMaxPyramid::columns(int64_t first, int64_t last, int columns) const
{
    std::vector<MinMax> out(std::max(columns, 0), kEmpty);
    const int64_t n = last - first;
    for (int c = 0; c < columns && n > 0; ++c)
        out[c] = range(first + c * n / columns, first + (c + 1) * n / columns);
    return out;
}

}  // namespace kui
