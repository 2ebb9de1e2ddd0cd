#include "graphaxes.h"

#include <algorithm>
#include <cmath>

namespace kui {

std::vector<double> NiceTicks(double lo, double hi, int maxTicks)
{
    std::vector<double> ticks;
    if (!(hi > lo) || maxTicks < 1 || !std::isfinite(lo) || !std::isfinite(hi))
        return ticks;
    const double raw = (hi - lo) / maxTicks;
    const double mag = std::pow(10.0, std::floor(std::log10(raw)));
    double step = mag;
    for (double f : {1.0, 2.0, 5.0, 10.0})
        if (f * mag >= raw) {
            step = f * mag;
            break;
        }
    // Multiples of the step, not a running sum: ticks near 2.4 GHz with a
    // step of 2 MHz would otherwise drift off their round values.
    for (double k = std::ceil(lo / step); k * step <= hi + step * 1e-9; k += 1.0)
        ticks.push_back(std::abs(k) < 0.5 ? 0.0 : k * step);
    return ticks;
}

QString NumberStyle::format(double v) const
{
    return QString::number(v / scale, 'f', decimals);
}

QString NumberStyle::withUnit(double v) const
{
    return unit.isEmpty() ? format(v) : format(v) + ' ' + unit;
}

NumberStyle StyleFor(double largest, double resolution, const QString &unit)
{
    NumberStyle style;
    style.unit = unit;
    if (unit == "Hz") {
        const double a = std::abs(largest);
        const struct { double scale; const char *prefix; } prefixes[] = {
            {1e9, "G"}, {1e6, "M"}, {1e3, "k"}};
        for (const auto &p : prefixes)
            if (a >= p.scale) {
                style.scale = p.scale;
                style.unit = QString(p.prefix) + unit;
                break;
            }
    }
    const double step = std::abs(resolution) / style.scale;
    if (step > 0 && std::isfinite(step))
        style.decimals = std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 9);
    return style;
}

}  // namespace kui
