#pragma once

// Round ticks for a value axis: steps of 1, 2, 2.5 or 5 times a power of ten, and a range
// widened to whole steps around the values, so every tick is a round number ("-30.0 ... 40.0"
// rather than "-21.0 / -6.5 / 8.0 / 22.5 / 37.0").
class AxisTicks
{
public:
    struct Scale
    {
        double min = 0;
        double max = 1;
        double step = 0.2;
        int intervals = 5; // ticks: intervals + 1
        int decimals = 1;  // what the step needs on a label
    };

    // The smallest round step that covers low..high in at most maxIntervals steps. A range
    // narrower than minSpan (one value, or values close together) is widened to minSpan around
    // its middle first. Bounds given the wrong way round are swapped; a bound that is not a
    // number gives the default scale.
    static Scale of(double low, double high, int maxIntervals, double minSpan);
};
