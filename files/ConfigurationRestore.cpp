#include "ConfigurationRestore.h"

#include "ChannelNumbering.h"
#include "ChannelText.h"
#include "RomCode.h"

#include <algorithm>

QString ConfigurationRestore::refusal(const QList<TChannelRecord> &records)
{
    // Record k holds channel k + 1 or nothing, so no channel can be named twice either.
    for (int k = 0; k < records.size(); ++k) {
        const int channel = records[k].channel;
        if (channel != 0 && channel != k + 1)
            return QStringLiteral("Record %1 of the file names channel position %2 where position %1 belongs: the file is "
                                  "damaged and nothing was written.")
                .arg(k + 1)
                .arg(channel);
    }
    return {};
}

QList<int> ConfigurationRestore::badRomCodes(const QList<TChannelRecord> &records)
{
    QList<int> bad;
    for (const TChannelRecord &r : records)
        if (ChannelMap::isChannel(r.channel) && RomCode::failsCrc(r.rom))
            bad.append(r.channel);
    return bad;
}

int ConfigurationRestore::channelsNamed(const QList<TChannelRecord> &records)
{
    return int(std::count_if(records.begin(), records.end(), [](const TChannelRecord &r) { return ChannelMap::isChannel(r.channel); }));
}

QString ConfigurationRestore::changes(const QList<TChannelRecord> &records, const QList<TChannelRecord> &current)
{
    QList<int> changed;
    QList<int> unread;
    for (const TChannelRecord &r : records) {
        // A record of a position never read is not written: its channel stays.
        if (!ChannelMap::isChannel(r.channel))
            continue;
        const TChannelRecord now = current.value(r.channel - 1);
        if (now.channel != r.channel)
            unread.append(r.channel);
        else if (ChannelText::heldRom(now) != ChannelText::heldRom(r))
            changed.append(r.channel);
    }
    if (std::none_of(current.begin(), current.end(), [](const TChannelRecord &r) { return ChannelMap::isChannel(r.channel); }))
        return QStringLiteral("No channel was read yet: what the file changes is not known.");
    const int same = ChannelMap::ChannelCount - int(changed.size()) - int(unread.size());
    QString text;
    if (changed.isEmpty())
        text = QStringLiteral("From the last read, no channel's ROM code changes; %1 stay the same.").arg(same);
    else
        text = QStringLiteral("From the last read, the ROM code%1 of %2 change%3 (%4 channel%5); %6 stay the same.")
                   .arg(changed.size() == 1 ? QString() : QStringLiteral("s"), channelList(changed),
                        changed.size() == 1 ? QStringLiteral("s") : QString())
                   .arg(changed.size())
                   .arg(changed.size() == 1 ? QString() : QStringLiteral("s"))
                   .arg(same);
    if (!unread.isEmpty()) {
        QString list = channelList(unread);
        list[0] = list[0].toUpper();
        text += QStringLiteral(" %1 %2 not read yet.").arg(list, unread.size() == 1 ? QStringLiteral("was") : QStringLiteral("were"));
    }
    return text;
}

QString ConfigurationRestore::channelList(const QList<int> &channels)
{
    QStringList parts;
    for (qsizetype i = 0; i < channels.size();) {
        qsizetype j = i;
        while (j + 1 < channels.size() && channels[j + 1] == channels[j] + 1)
            ++j;
        const QString first = QString::number(ChannelNumbering::displayNumber(channels[i]));
        parts.append(j == i ? first : first + QLatin1Char('-') + QString::number(ChannelNumbering::displayNumber(channels[j])));
        i = j + 1;
    }
    return (channels.size() == 1 ? QStringLiteral("channel ") : QStringLiteral("channels ")) + parts.join(QStringLiteral(", "));
}

QString ConfigurationRestore::outcome(const TTarvikKomunikator::ImportResult &r)
{
    using R = TTarvikKomunikator::ImportResult;
    if (r.status == R::Completed)
        return QStringLiteral("Serial numbers have been rewritten.");
    if (r.status == R::InTimeout)
        return QStringLiteral("The gateway does not answer (the link shows Timeout): nothing was sent. Restore once "
                              "it answers again.");
    const QString channel = QString::number(ChannelNumbering::displayNumber(r.failedChannel));
    QString what;
    switch (r.status) {
    case R::Completed:
    case R::InTimeout:
        break;
    case R::Stopped:
        what = QStringLiteral("Restore stopped.");
        break;
    case R::Refused:
        what = r.failedAtFree
                   ? QStringLiteral("The gateway refused to free channel %1 (Modbus exception %2): it keeps what it held.")
                   : QStringLiteral("The gateway refused the ROM code of channel %1 (Modbus exception %2): channel %1 was "
                                    "freed and is now free.");
        what = what.arg(channel).arg(r.exceptionCode);
        break;
    case R::NoAnswer:
        what = r.failedAtFree ? QStringLiteral("The gateway did not answer the freeing of channel %1: it may be free now.")
                              : QStringLiteral("The gateway did not answer the ROM code write of channel %1: channel %1 "
                                               "was freed and may be left free.");
        what = what.arg(channel);
        break;
    case R::PortLost:
        what = QStringLiteral("The port went away at channel %1: it may be left free.").arg(channel);
        break;
    }
    const QString done = r.rewritten.isEmpty()
                             ? QStringLiteral("No channel was rewritten.")
                             : QStringLiteral("Rewritten: %1 (%2).").arg(channelList(r.rewritten)).arg(r.rewritten.size());
    return what + QLatin1Char(' ') + done
           + QStringLiteral(" The channels not reached keep what they held. Running the restore again finishes the job.");
}
