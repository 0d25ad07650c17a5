#include "ValueParser.h"

#include "CliFailure.h"
#include "RomCodeEntry.h"
#include "TTarvikKomunikator.h"
#include "TargetPosition.h"

#include <QRegularExpression>

int ValueParser::wholeNumber(const QString &text, int min, int max, const QString &error)
{
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok);
    if (!ok || value < min || value > max)
        throw CliFailure::usage(error);
    return int(value);
}

QString ValueParser::baudRateList()
{
    QStringList speeds;
    for (uint16_t value : TTarvikKomunikator::BaudRateTable)
        speeds.append(QString::number(value * 100));
    return speeds.join(QStringLiteral(", "));
}

qint32 ValueParser::baudRate(const QString &text, const QString &what)
{
    bool ok = false;
    const qlonglong baud = text.trimmed().toLongLong(&ok);
    const int index = ok && baud % 100 == 0 && baud / 100 <= 0xFFFF ? TTarvikKomunikator::BaudIndexOf(int(baud / 100)) : -1;
    if (index < 0 || TTarvikKomunikator::BaudAt(index) * 100 != baud)
        throw CliFailure::usage(QStringLiteral("%1 takes a line speed in Bd: %2").arg(what, baudRateList()));
    return qint32(baud);
}

QList<qint32> ValueParser::baudRates(const QString &text)
{
    QList<qint32> speeds;
    for (const QString &part : text.split(QLatin1Char(','))) {
        const qint32 baud = baudRate(part, QStringLiteral("--bauds"));
        if (!speeds.contains(baud))
            speeds.append(baud);
    }
    return speeds;
}

QList<int> ValueParser::addresses(const QString &text, const QString &option)
{
    const QString error = QStringLiteral("%1 takes addresses from 1 to 247 and ranges, e.g. 1-10,17").arg(option);
    QList<int> result;
    for (const QString &part : text.split(QLatin1Char(','))) {
        const QStringList ends = part.split(QLatin1Char('-'));
        if (ends.size() > 2)
            throw CliFailure::usage(error);
        const int first = wholeNumber(ends.first(), 1, 247, error);
        const int last = wholeNumber(ends.last(), 1, 247, error);
        if (last < first)
            throw CliFailure::usage(error);
        for (int a = first; a <= last; ++a)
            if (!result.contains(a))
                result.append(a);
    }
    return result;
}

TParity ValueParser::parity(const QString &text, const QString &what)
{
    const int index = TTarvikKomunikator::ParityNames.indexOf(text.trimmed().toUpper());
    if (index < 0)
        throw CliFailure::usage(QStringLiteral("%1 takes none, odd or even").arg(what));
    return TParity(index);
}

TStopBits ValueParser::stopBits(const QString &text, const QString &what)
{
    const int bits = wholeNumber(text, 1, 2, QStringLiteral("%1 takes 1 or 2").arg(what));
    return bits == 2 ? TStopBits::sbTwo : TStopBits::sbOne;
}

int ValueParser::channel(const QString &text, int numbering)
{
    const auto position = TargetPosition::parseAnyLine(text, numbering);
    if (!position)
        throw CliFailure::usage(TargetPosition::errorTextAnyLine(numbering));
    return *position + 1;
}

int ValueParser::line(const QString &text)
{
    return wholeNumber(text, 1, 2, QStringLiteral("LINE is the 1-Wire line, 1 or 2")) - 1;
}

RomCode::Words ValueParser::romCode(const QString &text)
{
    // As the entry field shows it: eight pairs joined by dashes; the value is the digits.
    static const QRegularExpression pairs(QStringLiteral("^[0-9A-Fa-f]{2}(-[0-9A-Fa-f]{2}){7}$"));
    QString digits = text.trimmed();
    if (pairs.match(digits).hasMatch())
        digits.remove(QLatin1Char('-'));
    RomCode::Words words{};
    if (!RomCode::ParseRomCode(digits, words))
        throw CliFailure::usage(RomCodeEntry::invalidInputText().trimmed()
                                + QStringLiteral(" A ROM code is 16 hex digits, e.g. 28FF15E260160574."));
    return words;
}

std::optional<qint64> ValueParser::integer(const QString &text)
{
    QString digits = text.trimmed();
    const bool negative = digits.startsWith(QLatin1Char('-'));
    if (negative)
        digits.remove(0, 1);
    const bool hex = digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    if (hex)
        digits.remove(0, 2);
    // Digits only: no second sign, no blank, no "+" and nothing QString would skip.
    static const QRegularExpression decimalDigits(QStringLiteral("^[0-9]{1,10}$"));
    static const QRegularExpression hexDigits(QStringLiteral("^[0-9A-Fa-f]{1,8}$"));
    if (!(hex ? hexDigits : decimalDigits).match(digits).hasMatch())
        return std::nullopt;
    const qint64 value = digits.toLongLong(nullptr, hex ? 16 : 10);
    return negative ? -value : value;
}

uint16_t ValueParser::registerNumber(const QString &text, const QString &what)
{
    const auto value = integer(text);
    if (!value || *value < 0 || *value > 0xFFFF)
        throw CliFailure::usage(QStringLiteral("%1 is a register number, 0 to 65535 (or 0x0000 to 0xFFFF)").arg(what));
    return uint16_t(*value);
}

uint16_t ValueParser::registerValue(const QString &text)
{
    const auto value = integer(text);
    if (!value || *value < -0x8000 || *value > 0xFFFF)
        throw CliFailure::usage(QStringLiteral("VALUE \"%1\" is no 16-bit value: give 0 to 65535, -32768 to -1 or 0x0000 to 0xFFFF")
                                    .arg(text));
    // A negative value is the same 16 bits as a signed word.
    return uint16_t(*value & 0xFFFF);
}
