#include "AxisTicks.h"

#include <algorithm>
#include <cmath>

AxisTicks::Scale AxisTicks::of(double low, double high, int maxIntervals, double minSpan)
{
    if (!std::isfinite(low) || !std::isfinite(high) || !std::isfinite(minSpan))
        return {};
    if (low > high)
        std::swap(low, high);
    maxIntervals = std::max(maxIntervals, 1);
    minSpan = std::max(minSpan, 1e-9);
    if (high - low < minSpan) {
        const double middle = (low + high) / 2;
        low = middle - minSpan / 2;
        high = middle + minSpan / 2;
    }
    // Values that are whole multiples of a step, give or take the double's rounding, stay
    // on the tick rather than widening the range by a whole step.
    constexpr double slack = 1e-7;
    const double raw = (high - low) / maxIntervals;
    const int exponent = int(std::floor(std::log10(raw)));
    for (int e = exponent; e <= exponent + 3; ++e) {
        for (const double mantissa : {1.0, 2.0, 2.5, 5.0}) {
            const double step = mantissa * std::pow(10.0, e);
            if (step < raw * (1 - slack))
                continue;
            const double first = std::floor(low / step + slack);
            const double last = std::ceil(high / step - slack);
            const int intervals = int(std::lround(last - first));
            if (intervals > maxIntervals)
                continue;
            Scale s;
            s.step = step;
            s.min = first * step;
            s.max = last * step;
            s.intervals = std::max(intervals, 1);
            if (s.max <= s.min)
                s.max = s.min + step;
            s.decimals = std::max(0, -e + (mantissa == 2.5 ? 1 : 0));
            return s;
        }
    }
    return {};
}
