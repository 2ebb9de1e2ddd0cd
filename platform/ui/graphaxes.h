// Numbers along the graph's axes and in its readouts: round tick positions,
// and frequencies written with the prefix (k, M, G) that suits them.
#pragma once

#include <QString>

#include <vector>

namespace kui {

// "Nice" tick positions (1, 2, 5 times a power of ten) covering [lo, hi].
std::vector<double> NiceTicks(double lo, double hi, int maxTicks);

// How one axis writes its numbers: value / scale with `decimals` digits
// after the point, the unit with its prefix ("MHz") beside it.
struct NumberStyle {
    double scale = 1.0;
    int decimals = 0;
    QString unit;
    QString format(double v) const;
    QString withUnit(double v) const;   // "12.5 MHz"
};

// For values up to |largest| that must be told apart at `resolution`
// (the tick step, or the spacing of the points).  A unit of "Hz" takes a
// prefix; other units are written as they are.
NumberStyle StyleFor(double largest, double resolution, const QString &unit);

}  // namespace kui
