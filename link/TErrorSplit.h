#pragma once

#include "LinkFault.h"

#include <QString>
#include <array>
#include <cstdint>

// The error counter's count told apart by kind; the kinds always add up to Err.
struct TErrorSplit
{
    std::array<int32_t, LinkFaults::Kinds> counts{};

    int32_t of(LinkFault kind) const
    {
        const int i = LinkFaults::index(kind);
        return i < 0 ? 0 : counts[size_t(i)];
    }
    int32_t total() const;
    // One line: "Err = 12: 5 timeouts, 3 CRC errors, 1 exception, 2 foreign answers, 1 noise".
    QString summary() const;
    // The counters' tooltip: what Err counts, then one kind a line.
    QString toolTip() const;

    friend bool operator==(const TErrorSplit &, const TErrorSplit &) = default;
};
