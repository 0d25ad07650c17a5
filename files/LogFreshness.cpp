#include "LogFreshness.h"

QString LogFreshness::shortPeriodNote(qint64 periodMs, int cycleMs, qint32 baud)
{
    if (periodMs >= cycleMs)
        return {};
    return QStringLiteral("values change at most every %1 s at %2 Bd").arg(QString::number(cycleMs / 1000.0, 'g', 3)).arg(baud);
}
