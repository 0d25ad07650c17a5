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

QLocale RecorderRows::localeOf(Form form)
{
    return form == Form::Plain ? QLocale::c() : QLocale();
}

QString RecorderRows::isoTime(const QDateTime &at)
{
    const QDateTime local = at.toLocalTime();
    // Written out rather than by Qt's ISO form, which gives no offset for local time and "Z"
    // for UTC: every row carries its offset the same way.
    const int offset = local.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))
           + QStringLiteral("%1%2:%3")
                 .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                 .arg(minutes / 60, 2, 10, QLatin1Char('0'))
                 .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString RecorderRows::temperature(const TChannelRecord &record, const QLocale &locale, Form form)
{
    // A sensor that failed its last reading (CRC error, timeout, a faulty line) holds no
    // temperature: its Value1 word is whatever the gateway left there, not a measurement.
    if (record.status != ChannelStatus::Ok)
        return {};
    switch (RomCode::familyOf(record.rom)) {
    case 0x10:
    case 0x19:
    case 0x26:
    case 0x28:
        // The ASCII minus, whatever the locale shows, so spreadsheets read the cell as a number.
        if (form == Form::Plain)
            return ChannelText::plainDecimal(int16_t(record.values[0]) / 10.0, 1, QLocale::c());
        return ChannelText::plainDecimal(int16_t(record.values[0]) / 10.0, 1, locale) + QStringLiteral(" °C");
    default:
        return {};
    }
}

QStringList RecorderRows::dataRow(const QDateTime &at, const QList<TChannelRecord> &records, const QList<bool> &fresh,
                                  const QLocale &locale, Form form)
{
    QStringList row{form == Form::Plain ? isoTime(at)
                                        : LocaleText::date(at.date()) + QLatin1Char(' ') + LocaleText::time(at.time(), locale)};
    for (qsizetype i = 0; i < records.size(); ++i)
        row.append(fresh.isEmpty() || fresh.value(i) ? temperature(records[i], locale, form) : QString());
    return row;
}
