#include "TErrorSplit.h"

#include <QStringList>
#include <numeric>

int32_t TErrorSplit::total() const
{
    return std::accumulate(counts.begin(), counts.end(), int32_t(0));
}

QString TErrorSplit::summary() const
{
    QStringList kinds;
    for (int i = 0; i < LinkFaults::Kinds; ++i)
        kinds.append(LinkFaults::counted(LinkFaults::fromIndex(i), counts[size_t(i)]));
    return QStringLiteral("Err = %1: %2").arg(total()).arg(kinds.join(QStringLiteral(", ")));
}

QString TErrorSplit::toolTip() const
{
    QStringList lines{QStringLiteral("Err = %1: reads that failed, and noise on the line").arg(total())};
    for (int i = 0; i < LinkFaults::Kinds; ++i)
        lines.append(QStringLiteral("%1: %2").arg(LinkFaults::title(LinkFaults::fromIndex(i))).arg(counts[size_t(i)]));
    return lines.join(QLatin1Char('\n'));
}
