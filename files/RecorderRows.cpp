#include "RecorderRows.h"

#include "ChannelText.h"
#include "LocaleText.h"
#include "RomCode.h"

QList<QStringList> RecorderRows::header(const QList<TDescriptionRecord> &channels)
{
    QStringList numbers{QStringLiteral("Channel:")};
    QStringList roms{QStringLiteral("ROM code:")};
    QStringList descriptions{QStringLiteral("Description:")};
    QStringList titles{QStringLiteral("time")};
    for (const TDescriptionRecord &c : channels) {
        numbers.append(QStringLiteral("Ch") + c.numberText);
        roms.append(c.romHex);
        descriptions.append(c.description);
        titles.append(QStringLiteral("value1 [°C]"));
    }
    return {{QStringLiteral("Application:"), QStringLiteral("1-WIRE-TARVIK Tool V1.09 (OBRIX)")},
            {QStringLiteral("File info:"), QStringLiteral("Gateway log file")},
            {},
            numbers,
            roms,
            descriptions,
            titles};
}

QString RecorderRows::temperature(const TChannelRecord &record, const QLocale &locale)
{
    switch (RomCode::familyOf(record.rom)) {
    case 0x10:
    case 0x19:
    case 0x26:
    case 0x28:
        return ChannelText::decimal(int16_t(record.values[0]) / 10.0, 1, locale) + QStringLiteral(" °C");
    default:
        return {};
    }
}

QStringList RecorderRows::dataRow(const QDateTime &at, const QList<TChannelRecord> &records, const QLocale &locale)
{
    QStringList row{LocaleText::date(at.date()) + QLatin1Char(' ') + LocaleText::time(at.time(), locale)};
    for (const TChannelRecord &r : records)
        row.append(temperature(r, locale));
    return row;
}
