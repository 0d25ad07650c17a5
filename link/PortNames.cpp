#include "PortNames.h"

#include <QRegularExpression>

namespace {
QRegularExpressionMatch matchComName(const QString &name)
{
    static const QRegularExpression re(QStringLiteral("^COM(-?\\d+)$"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re.match(name.trimmed());
}
} // namespace

bool PortNames::isComName(const QString &name)
{
    return matchComName(name).hasMatch();
}

int PortNames::comNumberOf(const QString &name)
{
    const auto m = matchComName(name);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

QString PortNames::fromComNumber(int n)
{
    return QStringLiteral("COM%1").arg(n);
}

QString PortNames::windowsDevicePath(int n)
{
    return n > 9 ? QStringLiteral("\\\\.\\COM%1").arg(n) : fromComNumber(n);
}

QString PortNames::displayName(const QString &name)
{
    const int n = comNumberOf(name);
    return n > 0 ? QStringLiteral("COM %1").arg(n) : name;
}

QString PortNames::inMessage(const QString &name)
{
    return isComName(name) ? fromComNumber(comNumberOf(name)) : name;
}
