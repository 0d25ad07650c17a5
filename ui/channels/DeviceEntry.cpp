#include "DeviceEntry.h"

#include "ChannelNumbering.h"
#include "ChannelText.h"
#include "LinkMessages.h"
#include "Prompts.h"
#include "RomCodeEntry.h"
#include "TTarvikKomunikator.h"
#include "TargetPosition.h"

QString DeviceEntry::freeQuestion(int channel, const RomCode::Words &held)
{
    return QStringLiteral("Channel %1 holds %2. Free it?").arg(ChannelNumbering::displayNumber(channel)).arg(RomCode::toText(held));
}

QString DeviceEntry::replaceQuestion(int channel, const RomCode::Words &held, const std::optional<RomCode::Words> &found)
{
    return QStringLiteral("Channel %1 holds %2. Replace it with %3?")
        .arg(ChannelNumbering::displayNumber(channel))
        .arg(RomCode::toText(held), found ? RomCode::toText(*found) : QStringLiteral("the device found"));
}

bool DeviceEntry::mayReplace(int channel, const std::optional<RomCode::Words> &found, bool freeing)
{
    if (!LastRecord)
        return true;
    const TChannelRecord record = LastRecord(channel);
    if (record.channel != channel)
        return true; // not read yet: nothing known to lose
    const auto held = ChannelText::heldRom(record);
    if (!held || (!freeing && found && *found == *held))
        return true;
    return Prompts::current().confirm(freeing ? freeQuestion(channel, *held) : replaceQuestion(channel, *held, found),
                                      Prompts::Question::WarningNoByDefault);
}

void DeviceEntry::SaveFoundDevice(int line, int index, const RomCode::Words &rom)
{
    if (!m_komunikator.Active()) {
        Prompts::current().information(QString::fromLatin1(kPortInactiveMessage));
        return;
    }
    const int numbering = ChannelNumbering::flag();
    const auto text = Prompts::current().inputQuery(TargetPosition::caption(index),
                                                    TargetPosition::prompt(line, numbering), QString());
    if (!text)
        return;
    const auto position = TargetPosition::parse(*text, line, numbering);
    if (!position) {
        // Not asked again: the user clicks Save once more.
        Prompts::current().error(TargetPosition::errorText(line, numbering));
        return;
    }
    const std::optional<RomCode::Words> found = RomCode::isEmpty(rom) ? std::nullopt : std::optional(rom);
    if (!mayReplace(*position + 1, found, false))
        return;
    m_komunikator.SaveFoundDevice(index, *position);
}

void DeviceEntry::SaveNewDevice(int channel, const std::optional<RomCode::Words> &found)
{
    // A closed port is said by the write itself, before any question.
    if (m_komunikator.Active() && !mayReplace(channel, found, false))
        return;
    m_komunikator.SaveNewDevice(channel);
}

void DeviceEntry::DeletePosition(int channel)
{
    if (m_komunikator.Active() && !mayReplace(channel, std::nullopt, true))
        return;
    m_komunikator.DeletePosition(channel);
}

void DeviceEntry::EditRomCode(int channel, int displayNumber, const QString &currentRom)
{
    QString text = currentRom;
    for (;;) {
        const auto entered = Prompts::current().maskedInput(RomCodeEntry::caption(displayNumber),
                                                            RomCodeEntry::prompt(), text);
        if (!entered)
            return;
        text = *entered;
        RomCode::Words words{};
        if (RomCode::ParseRomCode(text, words)) {
            // A code no device can have is written only when the user says so; No (the
            // default) goes back to the entry to mend it.
            if (RomCode::failsCrc(words)
                && !Prompts::current().confirm(RomCodeEntry::crcQuestion(RomCode::toText(words)),
                                               Prompts::Question::WarningNoByDefault))
                continue;
            m_komunikator.WriteRomCode(words, channel);
            return;
        }
        // Asked again with what the user typed, so a pasted code can be mended.
        Prompts::current().error(RomCodeEntry::invalidInputText());
    }
}
