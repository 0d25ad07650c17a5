#include "LinkFault.h"

namespace {
struct Words
{
    const char *title;
    const char *one;
    const char *many;
};
// In the order of LinkFault, from Timeout.
constexpr Words kWords[LinkFaults::Kinds] = {
    {"Timeouts", "timeout", "timeouts"},
    {"CRC errors", "CRC error", "CRC errors"},
    {"Exceptions", "exception", "exceptions"},
    {"Foreign answers", "foreign answer", "foreign answers"},
    {"Noise", "noise", "noise"},
};
} // namespace

QString LinkFaults::counted(LinkFault kind, int count)
{
    const int i = index(kind);
    if (i < 0)
        return {};
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? kWords[i].one : kWords[i].many));
}

QString LinkFaults::title(LinkFault kind)
{
    const int i = index(kind);
    return i < 0 ? QString() : QLatin1String(kWords[i].title);
}
