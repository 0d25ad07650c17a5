#pragma once

#include "LineSettings.h"
#include "RomCode.h"

#include <QList>
#include <QString>
#include <optional>

// The values the command line takes, each checked before anything is sent: a bad one throws a
// usage CliFailure whose text says what is expected. error is the text for a value outside
// its range or not a number.
class ValueParser
{
public:
    static int wholeNumber(const QString &text, int min, int max, const QString &error);
    // A line speed in Bd that the gateway offers (1200 ... 230400).
    static qint32 baudRate(const QString &text, const QString &what);
    // Speeds separated by commas: "9600,38400".
    static QList<qint32> baudRates(const QString &text);
    // Addresses 1..247 as numbers and ranges separated by commas: "1-10,17".
    static QList<int> addresses(const QString &text, const QString &option = QStringLiteral("--addresses"));
    static TParity parity(const QString &text, const QString &what);
    static TStopBits stopBits(const QString &text, const QString &what);
    // A channel as shown in the numbering mode (0..39, or 1..40), given back as 1..40.
    static int channel(const QString &text, int numbering);
    // A 1-Wire line, 1 or 2, given back as 0 or 1.
    static int line(const QString &text);
    // Sixteen hex digits, also written in eight pairs joined by dashes.
    static RomCode::Words romCode(const QString &text);
    // A whole number written in decimal or as 0x hex digits, with an optional minus; nullopt
    // when it is neither (a leading 0 is decimal, never octal).
    static std::optional<qint64> integer(const QString &text);
    // A register number 0..65535, decimal or 0x hex; what names it in the message.
    static uint16_t registerNumber(const QString &text, const QString &what);
    // A register's value: 0..65535, or -32768..-1 for the same 16 bits as a signed word;
    // decimal or 0x hex.
    static uint16_t registerValue(const QString &text);
    // "1200, 1800, ..., 230400"
    static QString baudRateList();
};
