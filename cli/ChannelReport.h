#pragma once

#include "RegisterMap.h"
#include "TChannelRecord.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <array>

// The 40 channels, both lines and the versions as the window decodes them, for the terminal
// (a table) and for other programs (JSON). A channel that has no device to show (a free
// position, or nothing readable on a faulty line) shows only its status, as its box does. The
// JSON gives a failed sensor's values as null and a thermometer's reading also as a number.
class ChannelReport
{
public:
    using Block = std::array<uint16_t, PollBlockSize>;

    ChannelReport(const QList<TChannelRecord> &records, const Block &service);

    QJsonObject json() const;
    QString table() const;

    static QString tableHeader();
    static QString tableRow(const TChannelRecord &record);
    static QJsonObject channelJson(const TChannelRecord &record);
    // "DS18B20": the short part of the family hint.
    static QString familyName(uint8_t family);

private:
    QString firmware() const;
    QString hardware() const;
    // The state of line 0 or 1 ("OK", "Line in high", "Short circuit").
    QString lineState(int line) const;

    QList<TChannelRecord> m_records;
    Block m_service;
};
