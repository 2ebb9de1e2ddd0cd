// Extremes of a long series over any index range: a min/max pyramid built
// once, so a graph of 16 million points costs per pixel column, not per point.
#pragma once

#include <cstdint>
#include <vector>

namespace kui {

struct MinMax {
    double lo, hi;   // lo > hi when the span held no number (empty or all NaN)
    bool empty() const { return lo > hi; }
};

class MinMaxPyramid {
public:
    MinMaxPyramid(const void *values, int64_t count, bool isFloat);
    int64_t size() const { return count_; }
    double at(int64_t i) const;
    MinMax range(int64_t first, int64_t last) const;   // [first, last)
    // Index of the first highest value in [first, last), -1 when it holds no number.
    int64_t peak(int64_t first, int64_t last) const;

    // One entry per column: column c covers [first + c*n/columns,
    // first + (c+1)*n/columns) with n = last - first.
    std::vector<MinMax> columns(int64_t first, int64_t last, int columns) const;

private:
    MinMax query(int64_t first, int64_t last, int level) const;
    MinMax scan(int64_t first, int64_t last) const;
    int64_t find(int64_t first, int64_t last, double target, int level) const;
    int levelFor(int64_t span) const;

    const void *values_;
    int64_t count_;
    bool isFloat_;
    std::vector<std::vector<MinMax>> levels_;   // levels_[k]: blocks of 8^(k+1) values
};

}  // namespace kui
